// Time scales: UTC labels and TAI counts to the nanosecond, through the
// built-in steps and drift of 1960 to 1971 and a leap-second table after.
//
// A UTC day D (days since 1958-01-01) is tied to TAI by the offset in
// force at its start: TAI - UTC = A + (D + t / 86400 s - ref) * rate before
// 1972, a whole number of seconds after. Where the offset of D + 1 differs
// from that of D carried to its end, UTC steps: a positive step lengthens
// D's last minute (23:59:60.xxx, a leap second from 1972 on), a negative
// one (1961-08-01, 1968-02-01) skips the labels at the end of D.
#include "timescales.h"

#include "tu.h"
#include <algorithm>
#include <cmath>

#include "instant.h"

namespace temps {
namespace {

constexpr std::int64_t ns_per_s = 1000000000;
constexpr std::int64_t ns_per_day = 86400 * ns_per_s;
constexpr std::int64_t day_1960 = 730, day_1972 = 5113;
// Years 1 to 9999, in days since 1958-01-01.
constexpr std::int64_t first_day = jd_0001 - jd_1958, last_day = jd_9999 - jd_1958;

// TAI - UTC from 1960-01-01 to 1971-12-31, as the IERS and the USNO
// publish it: A seconds + (MJD - ref) x rate seconds a day, here in
// nanoseconds and days since 1958-01-01 (MJD 36204).
struct drift_row {
    std::int64_t day, offset_ns, ref_day, rate_ns;
};
constexpr drift_row drift[] = {
    {730, 1417818000, 1096, 1296000},   // 1960-01-01  1.4178180 s + (MJD - 37300) x 0.001296 s
    {1096, 1422818000, 1096, 1296000},  // 1961-01-01  1.4228180
    {1308, 1372818000, 1096, 1296000},  // 1961-08-01  1.3728180
    {1461, 1845858000, 1461, 1123200},  // 1962-01-01  1.8458580 s + (MJD - 37665) x 0.0011232 s
    {2130, 1945858000, 1461, 1123200},  // 1963-11-01  1.9458580
    {2191, 3240130000, 2557, 1296000},  // 1964-01-01  3.2401300 s + (MJD - 38761) x 0.001296 s
    {2282, 3340130000, 2557, 1296000},  // 1964-04-01  3.3401300
    {2435, 3440130000, 2557, 1296000},  // 1964-09-01  3.4401300
    {2557, 3540130000, 2557, 1296000},  // 1965-01-01  3.5401300
    {2616, 3640130000, 2557, 1296000},  // 1965-03-01  3.6401300
    {2738, 3740130000, 2557, 1296000},  // 1965-07-01  3.7401300
    {2800, 3840130000, 2557, 1296000},  // 1965-09-01  3.8401300
    {2922, 4313170000, 2922, 2592000},  // 1966-01-01  4.3131700 s + (MJD - 39126) x 0.002592 s
    {3683, 4213170000, 2922, 2592000},  // 1968-02-01  4.2131700
};

// Each rate is a whole number of nanoseconds a second (15, 13, 30), so
// that the drift within a day is exact in 64 bits.
constexpr bool whole_ns_per_second() {
    for (const drift_row& r : drift)
        if (r.rate_ns % 86400 != 0) return false;
    return true;
}
static_assert(whole_ns_per_second());

constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

// The row in force on a day from 1960-01-01 on.
const drift_row* drift_row_of(std::int64_t day) {
    return std::upper_bound(std::begin(drift), std::end(drift), day,
                            [](std::int64_t d, const drift_row& x) { return d < x.day; }) - 1;
}

// The entry in force on day (on or after the first entry's): a search
// without branches, since labels come in any order.
const leap_entry* entry_of(const std::vector<leap_entry>& e, std::int64_t day) {
    const leap_entry* base = e.data();
    for (std::size_t n = e.size(); n > 1;) {
        const std::size_t half = n / 2;
        base = base[half].day <= day ? base + half : base;
        n -= half;
    }
    return base;
}

std::int64_t expiry_second(const leap_second_table& t) {  // seconds since 1958-01-01 UTC
    return t.expires.time_since_epoch().count() + days_1958_to_1970 * std::int64_t{86400};
}

// TAI - UTC at t nanoseconds into UTC day `day`, with the offset in force
// at the day's start; 1 when dubious.
int offset_at(const leap_second_table& table, std::int64_t day, std::int64_t t, std::int64_t* ns) {
    if (day < day_1960) {
        *ns = 0;
        return 1;
    }
    if (day < day_1972 || table.entries.empty()) {
        const drift_row* r = drift_row_of(day);
        *ns = r->offset_ns + (day - r->ref_day) * r->rate_ns + floor_div(t * (r->rate_ns / 86400), ns_per_s);
        return table.entries.empty() && day >= day_1972 ? 1 : 0;
    }
    const auto& e = table.entries;
    const leap_entry* at = entry_of(e, day);
    *ns = std::int64_t{at->tai_minus_utc} * ns_per_s;
    return day * 86400 + floor_div(t, ns_per_s) >= expiry_second(table) ? 1 : 0;
}

// Checks a label's fields (second at most max_second) and gives its day:
// julday's day number, by whole-number arithmetic for Gregorian dates
// (days from civil, after Howard Hinnant's algorithm).
int label_day(const civil_time& c, int max_second, std::int64_t* day) {
    if (c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31 || c.hour < 0 || c.hour > 23 || c.minute < 0 ||
        c.minute > 59 || c.second < 0 || c.second > max_second || c.nanosecond < 0 || c.nanosecond >= ns_per_s)
        return status_field;
    if (c.year == 0 || c.day > detail::month_end(c.year, c.month) ||
        (c.year == 1582 && c.month == 10 && c.day > 4 && c.day < 15))
        return status_not_a_date;
    if (c.year < 1 || c.year > 9999) return status_years;
    if (c.year < 1582 || (c.year == 1582 && (c.month < 10 || (c.month == 10 && c.day < 15)))) {
        int jd = 0;
        if (julday(c.month, c.day, c.year, &jd) != 0) return status_years;
        *day = jd - std::int64_t{jd_1958};
        return 0;
    }
    const std::int64_t y = c.year - (c.month <= 2 ? 1 : 0);
    const std::int64_t era = y / 400;                                        // y >= 1581
    const std::int64_t yoe = y - era * 400;                                  // [0, 399]
    const std::int64_t doy = (153 * (c.month > 2 ? c.month - 3 : c.month + 9) + 2) / 5 + c.day - 1;  // [0, 365]
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;          // [0, 146096]
    *day = era * 146097 + doe - 719468 + days_1958_to_1970;                  // days since 1958-01-01
    return 0;
}

std::int64_t ns_of_day(const civil_time& c) {
    return ((std::int64_t{c.hour} * 60 + c.minute) * 60 + c.second) * ns_per_s + c.nanosecond;
}

// The label of t nanoseconds into day `day` (t up to a leap second more).
civil_time label(std::int64_t day, std::int64_t t) {
    civil_time c{};
    detail::date_of(day, &c.year, &c.month, &c.day);
    const std::int64_t s = t / ns_per_s;
    c.nanosecond = static_cast<std::int32_t>(t % ns_per_s);
    c.hour = static_cast<int>(std::min<std::int64_t>(s / 3600, 23));
    c.minute = static_cast<int>(std::min<std::int64_t>((s - std::int64_t{c.hour} * 3600) / 60, 59));
    c.second = static_cast<int>(s - std::int64_t{c.hour} * 3600 - std::int64_t{c.minute} * 60);
    return c;
}

// TAI of t nanoseconds into UTC day `day`, as nanoseconds from its 00:00
// on the TAI count.
std::int64_t tai_into_day(const leap_second_table& table, std::int64_t day, std::int64_t t) {
    std::int64_t off = 0;
    static_cast<void>(offset_at(table, day, t, &off));
    return t + off;
}

scale_time count(std::int64_t day, std::int64_t ns) {
    return {day * 86400 + floor_div(ns, ns_per_s), static_cast<std::int32_t>(ns - floor_div(ns, ns_per_s) * ns_per_s)};
}

}  // namespace

int tai_minus_utc(const leap_second_table& t, const civil_time& utc, std::int64_t* ns) noexcept {
    std::int64_t day = 0;
    if (const int bad = label_day(utc, 60, &day); bad != 0) return bad;
    return offset_at(t, day, ns_of_day(utc), ns);
}

int utc_to_tai(const leap_second_table& t, const civil_time& utc, scale_time* tai) noexcept {
    std::int64_t day = 0;
    if (const int bad = label_day(utc, 60, &day); bad != 0) return bad;
    const std::int64_t into = ns_of_day(utc);
    const auto& e = t.entries;
    if (day >= day_1972 && !e.empty()) {  // whole seconds: one search gives the offset and the leap
        const leap_entry* next = entry_of(e, day) + 1;
        // The day's last minute: 61 seconds before a leap second, 59
        // before a negative one (TAI - UTC falling by one second).
        const int step = next != e.data() + e.size() && next->day == day + 1 ? next->tai_minus_utc - (next - 1)->tai_minus_utc : 0;
        const bool last_minute = utc.hour == 23 && utc.minute == 59;
        if ((utc.second == 60 && (!last_minute || step <= 0)) || (utc.second == 59 && last_minute && step < 0))
            return status_no_leap;
        *tai = count(day, into + std::int64_t{(next - 1)->tai_minus_utc} * ns_per_s);
        return day * 86400 + into / ns_per_s >= expiry_second(t) ? 1 : 0;
    }
    // A label exists while its TAI comes before the next day's 00:00: not
    // 23:59:60 outside a step up, nor the end of a day UTC stepped over.
    std::int64_t off = 0, next = 0;
    const int status = offset_at(t, day, into, &off);
    static_cast<void>(offset_at(t, day + 1, 0, &next));
    if (utc.second == 60 && (utc.hour != 23 || utc.minute != 59 || into + off >= ns_per_day + next)) return status_no_leap;
    if (into + off >= ns_per_day + next) return status_skipped;
    *tai = count(day, into + off);
    return status;
}

int tai_to_utc(const leap_second_table& t, scale_time tai, civil_time* utc) noexcept {
    std::int64_t day = floor_div(tai.second, 86400);  // UTC is never ahead of TAI
    if (tai.nanosecond < 0 || tai.nanosecond >= ns_per_s) return status_field;
    if (day < first_day || day > last_day + 1) return status_years;
    auto since = [&](std::int64_t d) { return (tai.second - d * 86400) * ns_per_s + tai.nanosecond; };
    while (tai_into_day(t, day, 0) > since(day)) --day;
    if (day < first_day || day > last_day) return status_years;
    // Solve t + offset(t) = x; the drift makes the offset grow with t.
    const std::int64_t x = since(day);
    std::int64_t off0 = 0;
    static_cast<void>(offset_at(t, day, 0, &off0));
    const std::int64_t rate = day >= day_1960 && (day < day_1972 || t.entries.empty()) ? drift_row_of(day)->rate_ns : 0;
    __extension__ typedef __int128 wide;
    std::int64_t into = static_cast<std::int64_t>(wide{x - off0} * ns_per_day / (ns_per_day + rate));
    while (tai_into_day(t, day, into + 1) <= x) ++into;
    while (into > 0 && tai_into_day(t, day, into) > x) --into;
    *utc = label(day, into);
    std::int64_t off = 0;
    return offset_at(t, day, into, &off);
}

int label_of(scale_time t, civil_time* label_out) noexcept {
    const std::int64_t day = floor_div(t.second, 86400);
    if (t.nanosecond < 0 || t.nanosecond >= ns_per_s) return status_field;
    if (day < first_day || day > last_day) return status_years;
    *label_out = label(day, (t.second - day * 86400) * ns_per_s + t.nanosecond);
    return 0;
}

int count_of(const civil_time& label, scale_time* t) noexcept {
    std::int64_t day = 0;
    if (const int bad = label_day(label, 59, &day); bad != 0) return bad;
    *t = count(day, ns_of_day(label));
    return 0;
}

int utc_to_tu(const civil_time& utc, double* tu) noexcept {
    std::int64_t day = 0;
    if (const int bad = label_day(utc, 60, &day); bad != 0) return bad;
    if (utc.second == 60 && (utc.hour != 23 || utc.minute != 59)) return status_no_leap;
    if (utc.second == 60) {  // the last millisecond before the leap second
        *tu = static_cast<double>(day * 86400000 + 86399999);
        return 0;
    }
    const std::int64_t ns = ns_of_day(utc);
    const std::int64_t whole_ms = day * 86400000 + ns / 1000000;  // exact; the rest a fraction of a millisecond
    *tu = static_cast<double>(whole_ms) + static_cast<double>(ns % 1000000) / 1e6;
    return 0;
}

int tu_to_utc(double tu, civil_time* utc) noexcept {
    if (!(tu >= static_cast<double>(first_day) * ms_per_day && tu < static_cast<double>(last_day + 1) * ms_per_day))
        return status_years;  // also NaN
    const double whole = std::floor(tu);
    std::int64_t ms = static_cast<std::int64_t>(whole);
    std::int64_t ns = std::llround((tu - whole) * 1e6);
    if (ns == 1000000) ++ms, ns = 0;
    const std::int64_t day = floor_div(ms, 86400000);
    if (day > last_day) return status_years;
    *utc = label(day, (ms - day * 86400000) * 1000000 + ns);
    return 0;
}

}  // namespace temps
