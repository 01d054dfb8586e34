// The formats of the converter, one row each: how a held value is read
// into an instant and an instant written, and the text form where it is
// not the held value itself. A new format is one row and its functions.
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "cdf.h"
#include "convert_impl.h"
#include "spice.h"

namespace temps {
namespace {

using impl = converter::impl;

constexpr std::int64_t ns_per_day = 86400LL * 1000000000;

constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

// A number in decimal, or with an exponent (1.5e12): the double, or
// not_one (no number) or beyond (too large for a double).
refusal parse_double(impl& c, std::string_view v, double* x, refusal not_one, refusal beyond) {
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), *x);
    if ((ec != std::errc{} && ec != std::errc::result_out_of_range) || end != v.data() + v.size()) return c.fail(not_one);
    return ec != std::errc{} ? c.fail(beyond) : refusal::none;
}

// The UTC label's day number and its time of day in nanoseconds (second
// 60 counted as such).
bool day_and_time(const civil_time& u, int* jd, std::int64_t* ns) {
    *ns = ((std::int64_t{u.hour} * 60 + u.minute) * 60 + u.second) * 1000000000 + u.nanosecond;
    return julday(u.month, u.day, u.year, jd) == 0;
}

// The label of a day (since 1970-01-01) and nanoseconds of it; false
// beyond the years 1 to 9999.
bool label_of_day(std::int64_t day, std::int64_t ns, civil_time* out) {
    const std::int64_t jd = day + jd_1970;
    if (jd < jd_0001 || jd > jd_9999) return false;
    civil_time c{};
    caldat(&c.month, &c.day, &c.year, static_cast<int>(jd));
    const auto s = static_cast<int>(ns / 1000000000);
    c.hour = s / 3600, c.minute = s / 60 % 60, c.second = s % 60;
    c.nanosecond = static_cast<std::int32_t>(ns % 1000000000);
    *out = c;
    return true;
}

// Labels.

refusal read_utc(impl& c, const held_value& v, instant* at) noexcept {
    if (read_label(v.text, &at->utc, &c.read_day) != 0) return c.fail(refusal::not_utc_label);
    return refusal::none;
}

refusal read_scale(impl& c, const held_value& v, instant* at) noexcept {
    civil_time l{};
    scale_time t{};
    if (read_label(v.text, &l, &c.read_day) != 0 || count_of(l, &t) != 0) return c.fail(refusal::not_label);
    at->tai_count = true;
    at->tai = shifted(t, -c.from->minus_tai_ns);
    return refusal::none;
}

// A label's text; on the date of the label read last, its text as read.
refusal put_label(impl& c, const civil_time& l, held_result* out, char* text) {
    if (l.year == c.read_day.year && l.month == c.read_day.month && l.day == c.read_day.day) c.written_day = c.read_day;
    out->text_size = write_label(l, c.s.precision, text, &c.written_day);
    return refusal::none;
}

refusal write_utc(impl& c, const instant& at, held_result* out, char* text) noexcept {
    civil_time l{};
    const refusal r = c.utc_of(at, &l);
    return r != refusal::none ? r : put_label(c, l, out, text);
}

refusal write_scale(impl& c, const instant& at, held_result* out, char* text) noexcept {
    scale_time tai{};
    civil_time l{};
    if (const refusal r = c.tai_of(at, &tai); r != refusal::none) return r;
    if (c.days().label_of(shifted(tai, c.to->minus_tai_ns), &l) != 0) return c.fail(refusal::beyond_years);
    return put_label(c, l, out, text);
}

refusal read_yday(impl& c, const held_value& v, instant* at) noexcept {
    return read_day_of_year(v.text, &at->utc) == 0 ? refusal::none : c.fail(refusal::not_yday);
}

refusal write_yday(impl& c, const instant& at, held_result* out, char* text) noexcept {
    civil_time l{};
    if (const refusal r = c.utc_of(at, &l); r != refusal::none) return r;
    out->text_size = write_day_of_year(l, c.s.precision, text);
    return refusal::none;
}

// TU.

refusal read_tu(impl& c, const held_value& v, instant* at) noexcept {
    return tu_to_utc(v.real, &at->utc) == 0 ? refusal::none : c.fail(refusal::tu_beyond);
}

// The text of a format held as a double: the double, read as held.
template <refusal (*read)(impl&, const held_value&, instant*) noexcept, refusal not_one, refusal beyond>
refusal read_double_text(impl& c, std::string_view v, instant* at) noexcept {
    held_value h;
    const refusal r = parse_double(c, v, &h.real, not_one, beyond);
    return r != refusal::none ? r : read(c, h, at);
}

// The instant's UTC label, one TU has, and its day number.
refusal utc_day_of(impl& c, const instant& at, civil_time* l, int* jd) {
    double tu = 0.0;
    if (const refusal r = c.utc_of(at, l); r != refusal::none) return r;
    if (utc_to_tu(*l, &tu) != 0) return c.fail(refusal::no_such_utc);
    return julday(l->month, l->day, l->year, jd) == 0 ? refusal::none : c.fail(refusal::no_such_utc);
}

refusal write_tu(impl& c, const instant& at, held_result* out, char*) noexcept {
    civil_time l{};
    if (const refusal r = c.utc_of(at, &l); r != refusal::none) return r;
    return utc_to_tu(l, &out->real) == 0 ? refusal::none : c.fail(refusal::no_such_utc);
}

// TU as text: from the label's integers, to the microsecond, truncated
// toward the past as labels are: a double of some 1.5e12 ms cannot hold
// nanoseconds, and rounding it would carry the last one of a day into the
// next. Inside a leap second, the last millisecond before it, as
// utc_to_tu gives.
refusal write_tu_text(impl& c, const instant& at, char* out, std::size_t* n) noexcept {
    civil_time l{};
    int jd = 0;
    if (const refusal r = utc_day_of(c, at, &l, &jd); r != refusal::none) return r;
    const std::int64_t in_day_us =
        l.second == 60 ? 86399999000 : (((l.hour * 60LL + l.minute) * 60 + l.second) * 1000000 + l.nanosecond / 1000);
    const std::int64_t us = (jd - jd_1958) * 86400000000LL + in_day_us;  // |us| < 2^59
    const std::uint64_t magnitude = us < 0 ? 0 - static_cast<std::uint64_t>(us) : static_cast<std::uint64_t>(us);
    *n = static_cast<std::size_t>(std::snprintf(out, 32, "%s%llu.%03llu", us < 0 ? "-" : "",
                                                static_cast<unsigned long long>(magnitude / 1000),
                                                static_cast<unsigned long long>(magnitude % 1000)));
    return refusal::none;
}

constexpr auto read_tu_text = read_double_text<read_tu, refusal::not_tu, refusal::tu_beyond>;

// Julian day numbers.

refusal read_jd(impl& c, const held_value& v, instant* at) noexcept {
    if (v.integer < jd_0001 || v.integer > jd_9999) return c.fail(refusal::jd_beyond);
    caldat(&at->utc.month, &at->utc.day, &at->utc.year, static_cast<int>(v.integer));
    return refusal::none;
}

refusal read_jd_text(impl& c, std::string_view v, instant* at) noexcept {
    // A whole number, written as such or with an exponent (2.453192e6).
    double number = 0.0;
    const refusal r = parse_double(c, v, &number, refusal::not_jd, refusal::jd_beyond);
    if (r != refusal::none) return r;
    if (number != std::floor(number)) return c.fail(refusal::not_jd);
    if (!(number >= jd_0001 && number <= jd_9999)) return c.fail(refusal::jd_beyond);
    return read_jd(c, {{}, static_cast<std::int64_t>(number)}, at);
}

refusal write_jd(impl& c, const instant& at, held_result* out, char*) noexcept {
    civil_time l{};
    int jd = 0;
    if (const refusal r = utc_day_of(c, at, &l, &jd); r != refusal::none) return r;
    out->integer = jd;
    return refusal::none;
}

// On-board time.

refusal read_obt(impl& c, const held_value& v, instant* at) noexcept {
    if (c.s.table == nullptr) return c.fail(refusal::no_correlation);
    const refusal r = detail::obt_to_utc(*c.s.table, v.text, &at->utc);
    return r != refusal::none ? c.fail(r) : r;
}

refusal write_obt(impl& c, const instant& at, held_result* out, char* text) noexcept {
    civil_time l{};
    if (c.s.table == nullptr) return c.fail(refusal::no_correlation);
    if (const refusal r = c.utc_of(at, &l); r != refusal::none) return r;
    const refusal r = detail::utc_to_obt(*c.s.table, l, text, &out->text_size);
    return r != refusal::none ? c.fail(r) : r;
}

// CCSDS time codes.

refusal read_code(impl& c, const held_value& v, instant* at) noexcept {
    const auto* octets = reinterpret_cast<const std::uint8_t*>(v.text.data());
    const std::size_t n = v.text.size();
    time_code code{};
    const char* why = "";
    // Codes of a file share their P-field: one octet like the last one's
    // is read as that layout.
    const bool implicit = c.s.in_layout != nullptr;
    const bool same_pfield = !implicit && n > 1 && c.have_last_pfield && octets[0] == c.last_layout.pfield[0];
    const int status = implicit      ? decode(octets, n, c.s.in_layout, &code, &why)
                       : same_pfield ? decode(octets + 1, n - 1, &c.last_layout, &code, &why)
                                     : decode(octets, n, nullptr, &code, &why);
    if (status != 0) return c.fail(refusal::bad_code, why);
    if (!implicit && !same_pfield) {
        c.have_last_pfield = code.layout.pfield_octets == 1;
        c.last_layout = code.layout;
    }
    const bool cds = c.s.from == format::cds;
    if (code.layout.cds != cds) return c.fail(cds ? refusal::not_cds : refusal::not_cuc);
    if (cds)
        return c.days().cds_to_utc(code, c.s.agency_epoch, &at->utc, &why) == 0 ? refusal::none
                                                                                : c.fail(refusal::bad_code, why);
    if (code_to_tai(code, c.none, c.s.agency_epoch, &at->tai, &why) < 0) return c.fail(refusal::bad_code, why);
    at->tai_count = true;
    // A CUC code is the nearest unit to its instant. Where its unit is
    // finer than a label's last digit, the label is rounded to that digit
    // rather than truncated, so that a label comes back through such a
    // code as itself.
    const int precision = c.s.precision;
    if (c.to->info.label && precision < 9 && std::ldexp(1.0, 8 * code.layout.fine) > std::pow(10.0, precision)) {
        std::int64_t half = 500000000;  // half of the label's last digit, in nanoseconds
        for (int p = 0; p < precision; ++p) half /= 10;
        at->tai = shifted(at->tai, half);
    }
    return refusal::none;
}

refusal write_code(impl& c, const instant& at, held_result* out, char* text) noexcept {
    scale_time tai{};
    const bool cds = c.s.to == format::cds;
    // UTC's days need the table; a CUC of a TAI count does not.
    refusal why = refusal::none;
    const leap_second_table* t = cds || !at.tai_count ? c.table(&why) : &c.none;
    if (t == nullptr) return c.fail(why);
    if (const refusal r = c.tai_of(at, &tai); r != refusal::none) return r;
    time_code code{};
    const char* reason = "";
    if (tai_to_code(tai, c.s.out_layout, *t, c.s.agency_epoch, &code, &reason) < 0)
        return c.fail(refusal::bad_code, reason);
    const int n = encode(code, false, reinterpret_cast<std::uint8_t*>(text), 32);
    if (n < 0) return c.fail(refusal::bad_code);
    out->text_size = static_cast<std::size_t>(n);
    return refusal::none;
}

// CDF epochs.

refusal read_tt2000(impl&, const held_value& v, instant* at) noexcept {
    if (v.integer <= tt2000_pad) return at->marker = v.integer, refusal::none;
    static_cast<void>(tt2000_to_tai(v.integer, &at->tai));
    at->tai_count = true;
    return refusal::none;
}

refusal read_tt2000_text(impl& c, std::string_view v, instant* at) noexcept {
    std::int64_t n = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (ec != std::errc{} || end != v.data() + v.size()) return c.fail(refusal::not_tt2000);
    return read_tt2000(c, {{}, n}, at);
}

refusal write_tt2000(impl& c, const instant& at, held_result* out, char*) noexcept {
    scale_time tai{};
    if (const refusal r = c.tai_of(at, &tai); r != refusal::none) return r;
    return tai_to_tt2000(tai, &out->integer) == 0 ? refusal::none : c.fail(refusal::tt2000_beyond);
}

refusal read_epoch(impl& c, const held_value& v, instant* at) noexcept {
    return epoch_to_utc(v.real, &at->utc) == 0 ? refusal::none : c.fail(refusal::epoch_beyond);
}

constexpr auto read_epoch_text = read_double_text<read_epoch, refusal::not_epoch, refusal::epoch_beyond>;

refusal write_epoch(impl& c, const instant& at, held_result* out, char*) noexcept {
    civil_time l{};
    if (const refusal r = c.utc_of(at, &l); r != refusal::none) return r;
    return utc_to_epoch(l, &out->real) == 0 ? refusal::none : c.fail(refusal::no_such_utc);
}

// The shortest decimal that reads back as the same double.
refusal write_epoch_text(impl& c, const instant& at, char* out, std::size_t* n) noexcept {
    held_result h;
    if (const refusal r = write_epoch(c, at, &h, nullptr); r != refusal::none) return r;
    const auto [end, ec] = std::to_chars(out, out + 64, h.real, std::chars_format::fixed);
    if (ec != std::errc{}) return c.fail(refusal::epoch_out_of_range);
    *n = static_cast<std::size_t>(end - out);
    return refusal::none;
}

refusal read_epoch16(impl& c, const held_value& v, instant* at) noexcept {
    // Whole seconds and picoseconds, each in its range: anything else is
    // no epoch16 read exactly.
    if (!(v.real >= 0 && v.real <= 999999999999.0 && v.real == std::floor(v.real) && v.imag >= 0 &&
          v.imag < 1e12 && v.imag == std::floor(v.imag)))
        return c.fail(v.real > 999999999999.0 && v.imag >= 0 && v.imag < 1e12 ? refusal::epoch16_beyond
                                                                              : refusal::not_epoch16);
    if (epoch16_to_utc({v.real, v.imag}, &at->utc) != 0) return c.fail(refusal::epoch16_beyond);
    at->picoseconds = static_cast<int>(std::fmod(v.imag, 1000.0));
    return refusal::none;
}

refusal read_epoch16_text(impl& c, std::string_view v, instant* at) noexcept {
    // "<seconds>.<12 digits of picoseconds>"
    const auto point = v.find('.');
    std::uint64_t seconds = 0, ps = 0;
    if (point == std::string_view::npos || v.size() - point - 1 != 12) return c.fail(refusal::not_epoch16);
    const auto [s_end, s_ec] = std::from_chars(v.data(), v.data() + point, seconds);
    const auto [p_end, p_ec] = std::from_chars(v.data() + point + 1, v.data() + v.size(), ps);
    if (point == 0 || s_ec != std::errc{} || s_end != v.data() + point || p_ec != std::errc{} ||
        p_end != v.data() + v.size() || v[point + 1] == '+' || v[point + 1] == '-')
        return c.fail(refusal::not_epoch16);
    if (seconds > 999999999999) return c.fail(refusal::epoch16_beyond);
    return read_epoch16(c, {{}, 0, static_cast<double>(seconds), static_cast<double>(ps)}, at);
}

refusal write_epoch16(impl& c, const instant& at, held_result* out, char*) noexcept {
    civil_time l{};
    epoch16 e{};
    if (const refusal r = c.utc_of(at, &l); r != refusal::none) return r;
    if (utc_to_epoch16(l, &e) != 0) return c.fail(refusal::no_such_utc);
    out->real = e.seconds;
    out->imag = e.picoseconds + (l.second == 60 ? 0 : at.picoseconds);
    return refusal::none;
}

refusal write_epoch16_text(impl& c, const instant& at, char* out, std::size_t* n) noexcept {
    held_result h;
    if (const refusal r = write_epoch16(c, at, &h, nullptr); r != refusal::none) return r;
    *n = static_cast<std::size_t>(std::snprintf(out, 48, "%.0f.%012.0f", h.real, h.imag));
    return refusal::none;
}

// NumPy's datetime64, in the unit of the settings.

// Picoseconds in one of a unit; 0 for the calendar units Y and M.
constexpr std::int64_t unit_ps[] = {0, 0, 7 * 86400'000000000000, 86400'000000000000, 3600'000000000000,
                                    60'000000000000, 1'000000000000, 1'000000000, 1'000000, 1'000, 1, 0, 0};

refusal read_datetime64(impl& c, const held_value& v, instant* at) noexcept {
    if (v.integer == datetime64_nat) return c.fail(refusal::nat);
    const datetime64_unit u = c.s.in_unit;
    __extension__ using wide = __int128;
    const wide n = static_cast<wide>(v.integer) * u.count;
    if (u.unit == time_unit::Y || u.unit == time_unit::M) {
        const wide months = u.unit == time_unit::Y ? n * 12 : n;
        if (months < wide{-12} * 1970 || months > wide{12} * (9999 - 1970) + 11) return c.fail(refusal::beyond_years);
        const auto m = static_cast<int>(months);
        const int year = 1970 + (m >= 0 ? m / 12 : -((11 - m) / 12));
        const int month = m - (year - 1970) * 12 + 1;
        at->utc = {year, month, 1, 0, 0, 0, 0};
        return refusal::none;
    }
    wide ps = 0;
    if (u.unit == time_unit::fs || u.unit == time_unit::as) {
        const wide per_ps = u.unit == time_unit::fs ? 1000 : 1000000;
        if (n % per_ps != 0) return c.fail(refusal::datetime64_finer);
        ps = n / per_ps;
    } else {
        ps = n * unit_ps[static_cast<int>(u.unit)];
    }
    constexpr wide ps_per_day = wide{86400} * 1000000000000;
    wide day = ps / ps_per_day;
    wide rest = ps % ps_per_day;
    if (rest < 0) rest += ps_per_day, --day;
    if (day < -(wide{1} << 40) || day > (wide{1} << 40) ||
        !label_of_day(static_cast<std::int64_t>(day), static_cast<std::int64_t>(rest / 1000), &at->utc))
        return c.fail(refusal::beyond_years);
    at->picoseconds = static_cast<int>(rest % 1000);
    return refusal::none;
}

// The instant's UTC day number and nanoseconds of the day, for a count
// without leap seconds: inside one, the refusal leap.
refusal leapless_of(impl& c, const instant& at, refusal leap, int* jd, std::int64_t* in_day) {
    civil_time l{};
    if (const refusal r = c.utc_of(at, &l); r != refusal::none) return r;
    if (l.second == 60) return c.fail(leap);
    return day_and_time(l, jd, in_day) ? refusal::none : c.fail(refusal::no_such_utc);
}

refusal write_datetime64(impl& c, const instant& at, held_result* out, char*) noexcept {
    int jd = 0;
    std::int64_t in_day = 0;
    if (const refusal r = leapless_of(c, at, refusal::datetime64_leap, &jd, &in_day); r != refusal::none) return r;
    __extension__ const __int128 ns = static_cast<__int128>(std::int64_t{jd} - jd_1970) * ns_per_day + in_day;
    if (ns > INT64_MAX || ns <= INT64_MIN)  // INT64_MIN is NaT
        return c.fail(refusal::datetime64_beyond);
    out->integer = static_cast<std::int64_t>(ns);
    return refusal::none;
}

// POSIX time: seconds since 1970-01-01 UTC, days of 86,400 s.

refusal unix_instant(impl& c, std::int64_t seconds, std::int64_t ns, instant* at) {
    const std::int64_t day = floor_div(seconds, 86400);
    if (day < -(std::int64_t{1} << 40) || day > (std::int64_t{1} << 40) ||
        !label_of_day(day, (seconds - day * 86400) * 1000000000 + ns, &at->utc))
        return c.fail(refusal::unix_beyond);
    return refusal::none;
}

refusal read_unix(impl& c, const held_value& v, instant* at) noexcept {
    // The double's own value, to the nearest nanosecond.
    if (!std::isfinite(v.real) || std::fabs(v.real) > 1e15) return c.fail(refusal::unix_beyond);
    const double whole = std::floor(v.real);
    auto ns = static_cast<std::int64_t>(std::llround((v.real - whole) * 1e9));
    auto seconds = static_cast<std::int64_t>(whole);
    if (ns == 1000000000) ns = 0, ++seconds;
    return unix_instant(c, seconds, ns, at);
}

// "[-]SECONDS[.FRACTION]", the fraction of 1 to 9 digits, read exactly:
// the sign, the whole seconds and the nanoseconds of the magnitude.
enum class decimal { ok, bad_whole, whole_overflow, bad_fraction };
decimal read_decimal(std::string_view v, bool* negative, std::uint64_t* seconds, std::uint64_t* ns) {
    *negative = !v.empty() && v[0] == '-';
    const std::string_view body = v.substr(*negative ? 1 : 0);
    const std::size_t point = body.find('.');
    const std::string_view whole = body.substr(0, point);
    *seconds = *ns = 0;
    const auto [s_end, s_ec] = std::from_chars(whole.data(), whole.data() + whole.size(), *seconds);
    if (s_ec == std::errc::result_out_of_range) return decimal::whole_overflow;
    if (whole.empty() || s_ec != std::errc{} || s_end != whole.data() + whole.size()) return decimal::bad_whole;
    if (point == std::string_view::npos) return decimal::ok;
    const std::string_view frac = body.substr(point + 1);
    const auto [f_end, f_ec] = std::from_chars(frac.data(), frac.data() + frac.size(), *ns);
    if (frac.empty() || frac.size() > 9 || f_ec != std::errc{} || f_end != frac.data() + frac.size())
        return decimal::bad_fraction;
    for (std::size_t i = frac.size(); i < 9; ++i) *ns *= 10;
    return decimal::ok;
}

refusal read_unix_text(impl& c, std::string_view v, instant* at) noexcept {
    bool negative = false;
    std::uint64_t s = 0, f = 0;
    const decimal d = read_decimal(v, &negative, &s, &f);
    if (d != decimal::ok) return c.fail(d == decimal::whole_overflow ? refusal::unix_beyond : refusal::not_unix);
    if (s > (std::uint64_t{1} << 50)) return c.fail(refusal::unix_beyond);
    auto seconds = static_cast<std::int64_t>(s);
    auto ns = static_cast<std::int64_t>(f);
    if (negative && (seconds != 0 || ns != 0)) {
        seconds = -seconds;
        if (ns != 0) ns = 1000000000 - ns, --seconds;
    }
    return unix_instant(c, seconds, ns, at);
}

// The instant's POSIX seconds, whole (toward the past) and nanoseconds.
refusal unix_of(impl& c, const instant& at, std::int64_t* seconds, std::int64_t* ns) {
    int jd = 0;
    std::int64_t in_day = 0;
    if (const refusal r = leapless_of(c, at, refusal::unix_leap, &jd, &in_day); r != refusal::none) return r;
    *seconds = (std::int64_t{jd} - jd_1970) * 86400 + in_day / 1000000000;
    *ns = in_day % 1000000000;
    return refusal::none;
}

refusal write_unix(impl& c, const instant& at, held_result* out, char*) noexcept {
    std::int64_t seconds = 0, ns = 0;
    if (const refusal r = unix_of(c, at, &seconds, &ns); r != refusal::none) return r;
    // The double nearest the instant: one rounding, from the wider sum.
    out->real = static_cast<double>(static_cast<long double>(seconds) + static_cast<long double>(ns) / 1e9L);
    return refusal::none;
}

refusal write_unix_text(impl& c, const instant& at, char* out, std::size_t* n) noexcept {
    std::int64_t seconds = 0, ns = 0;
    if (const refusal r = unix_of(c, at, &seconds, &ns); r != refusal::none) return r;
    const bool negative = seconds < 0;
    if (negative && ns != 0) ++seconds, ns = 1000000000 - ns;
    *n = static_cast<std::size_t>(std::snprintf(out, 40, "%s%lld.%09lld", negative ? "-" : "",
                                                static_cast<long long>(negative ? -seconds : seconds),
                                                static_cast<long long>(ns)));
    return refusal::none;
}

// SPICE: a clock kernel's readings, and ephemeris time by the LSK. Both
// go through TT seconds past J2000, which TT2000 counts in nanoseconds.

refusal tt_instant(impl& c, long double tt_seconds, instant* at) {
    std::int64_t tt2000 = 0;
    if (const refusal r = detail::tt_to_tt2000(c, tt_seconds, &tt2000); r != refusal::none) return r;
    static_cast<void>(tt2000_to_tai(tt2000, &at->tai));
    at->tai_count = true;
    return refusal::none;
}

// The instant's TT seconds past J2000, and its nanoseconds exactly.
refusal tt_of(impl& c, const instant& at, std::int64_t* ns) {
    scale_time tai{};
    if (const refusal r = c.tai_of(at, &tai); r != refusal::none) return r;
    return tai_to_tt2000(tai, ns) == 0 ? refusal::none : c.fail(refusal::tt2000_beyond);
}

constexpr refusal sclk_refusals[] = {refusal::none, refusal::not_sclk, refusal::sclk_no_partition,
                                     refusal::sclk_below_offset, refusal::sclk_outside_partition,
                                     refusal::sclk_outside_map};

refusal read_sclk_reading(impl& c, const held_value& v, instant* at) noexcept {
    long double parallel = 0.0;
    if (const refusal r = detail::sclk_parallel(c, v.text, &parallel); r != refusal::none) return r;
    return tt_instant(c, detail::clock_tt(c, parallel), at);
}

refusal write_sclk_reading(impl& c, const instant& at, held_result* out, char* text) noexcept {
    if (c.s.clock == nullptr) return c.fail(refusal::no_sclk);
    if (c.s.clock->tdb && c.s.kernel == nullptr) return c.fail(refusal::no_lsk);
    std::int64_t ns = 0;
    if (const refusal r = tt_of(c, at, &ns); r != refusal::none) return r;
    const long double tt = static_cast<long double>(ns) / 1e9L;
    const auto tt_double = static_cast<double>(tt);
    const long double parallel = c.s.clock->tdb ? tt + (tt_to_et(*c.s.kernel, tt_double) - tt_double) : tt;
    sclk_status st = sclk_status::ok;
    out->text_size = parallel_to_sclk(*c.s.clock, parallel, text, &st);
    return st == sclk_status::ok ? refusal::none : c.fail(sclk_refusals[static_cast<int>(st)]);
}

refusal read_et(impl& c, const held_value& v, instant* at) noexcept {
    if (c.s.kernel == nullptr) return c.fail(refusal::no_lsk);
    if (!std::isfinite(v.real)) return c.fail(refusal::tt2000_beyond);
    // The double to the nearest nanosecond, as its text would give it: its
    // whole seconds and its fraction apart, each exact.
    const double whole = std::floor(v.real);
    const long double et = whole + std::round(static_cast<long double>(v.real - whole) * 1e9L) / 1e9L;
    return tt_instant(c, et - et_minus_tt(*c.s.kernel, static_cast<double>(et)), at);
}

refusal read_et_text(impl& c, std::string_view v, instant* at) noexcept {
    // "[-]SECONDS[.FRACTION]", to the nanosecond: exact, then less ET - TT.
    if (c.s.kernel == nullptr) return c.fail(refusal::no_lsk);
    bool negative = false;
    std::uint64_t s = 0, f = 0;
    const decimal d = read_decimal(v, &negative, &s, &f);
    if (d == decimal::bad_whole || d == decimal::whole_overflow) return c.fail(refusal::not_et);
    if (s > 9223372036) return c.fail(refusal::tt2000_beyond);
    if (d != decimal::ok) return c.fail(refusal::not_et);
    const long double et = (static_cast<long double>(s) + static_cast<long double>(f) / 1e9L) * (negative ? -1 : 1);
    return tt_instant(c, et - et_minus_tt(*c.s.kernel, static_cast<double>(et)), at);
}

// The instant's ET in nanoseconds past J2000: TT's, exactly, and ET - TT.
refusal et_ns_of(impl& c, const instant& at, long double* et_ns) {
    if (c.s.kernel == nullptr) return c.fail(refusal::no_lsk);
    std::int64_t ns = 0;
    if (const refusal r = tt_of(c, at, &ns); r != refusal::none) return r;
    const double tt = static_cast<double>(ns) / 1e9;
    *et_ns = static_cast<long double>(ns) + std::round((tt_to_et(*c.s.kernel, tt) - tt) * 1e9L);
    return refusal::none;
}

refusal write_et(impl& c, const instant& at, held_result* out, char*) noexcept {
    long double ns = 0;
    if (const refusal r = et_ns_of(c, at, &ns); r != refusal::none) return r;
    out->real = static_cast<double>(ns / 1e9L);
    return refusal::none;
}

refusal write_et_text(impl& c, const instant& at, char* out, std::size_t* n) noexcept {
    long double ns = 0;
    if (const refusal r = et_ns_of(c, at, &ns); r != refusal::none) return r;
    const auto whole = static_cast<std::int64_t>(std::fabs(ns));
    *n = static_cast<std::size_t>(std::snprintf(out, 40, "%s%lld.%09lld", ns < 0 ? "-" : "",
                                                static_cast<long long>(whole / 1000000000),
                                                static_cast<long long>(whole % 1000000000)));
    return refusal::none;
}

// name, id, held as, label, takes a precision, has text, needs a
// correlation, needs a clock, what; offset from TAI;
// reader, writer; text reader, text writer (nullptr: the held value's).
constexpr format_row rows[] = {
    {{"utc", format::utc, holding::text, true, true, true, false, false,
      "YYYY-MM-DDTHH:MM:SS[.fraction][Z] of UTC (second 60 in a leap second)"},
     0, read_utc, write_utc, nullptr, nullptr},
    {{"tai", format::tai, holding::text, true, true, true, false, false,
      "YYYY-MM-DDTHH:MM:SS[.fraction][Z] of TAI"},
     0, read_scale, write_scale, nullptr, nullptr},
    {{"tt", format::tt, holding::text, true, true, true, false, false,
      "YYYY-MM-DDTHH:MM:SS[.fraction][Z] of TT (TAI + 32.184 s)"},
     tt_minus_tai_ns, read_scale, write_scale, nullptr, nullptr},
    {{"gps", format::gps, holding::text, true, true, true, false, false,
      "YYYY-MM-DDTHH:MM:SS[.fraction][Z] of GPS time (TAI - 19 s)"},
     gps_minus_tai_ns, read_scale, write_scale, nullptr, nullptr},
    {{"tu", format::tu, holding::float64, false, false, true, false, false,
      "TU milliseconds since 1958-01-01 00:00:00, without leap seconds"},
     0, read_tu, write_tu, read_tu_text, write_tu_text},
    {{"jd", format::jd, holding::int64, false, false, true, false, false,
      "Julian day number of the UTC date (as input, 00:00:00 of that day)"},
     0, read_jd, write_jd, read_jd_text, nullptr},
    {{"obt", format::obt, holding::text, false, false, true, true, false,
      "PARTITION/READING of the on-board clock, through a correlation table"},
     0, read_obt, write_obt, nullptr, nullptr},
    {{"cds", format::cds, holding::octets, false, false, true, false, false,
      "a CCSDS day segmented time code, P-field first (hexadecimal as text)"},
     0, read_code, write_code, nullptr, nullptr},
    {{"cuc", format::cuc, holding::octets, false, false, true, false, false,
      "a CCSDS unsegmented time code, P-field first (hexadecimal as text)"},
     0, read_code, write_code, nullptr, nullptr},
    {{"tt2000", format::tt2000, holding::int64, false, false, true, false, false,
      "CDF_TIME_TT2000: nanoseconds since J2000 (fill, pad: 9999-12-31T23:59:59.999999999, 0000-01-01T00:00:00)"},
     0, read_tt2000, write_tt2000, read_tt2000_text, nullptr},
    {{"epoch", format::epoch, holding::float64, false, false, true, false, false,
      "CDF_EPOCH: milliseconds since 0000-01-01 (proleptic Gregorian), no leap seconds"},
     0, read_epoch, write_epoch, read_epoch_text, write_epoch_text},
    {{"epoch16", format::epoch16, holding::epoch16, false, false, true, false, false,
      "CDF_EPOCH16: SECONDS.PICOSECONDS (12 digits) since 0000-01-01, no leap seconds"},
     0, read_epoch16, write_epoch16, read_epoch16_text, write_epoch16_text},
    {{"datetime64", format::datetime64, holding::int64, false, false, false, false, false,
      "NumPy's datetime64 of UTC, without leap seconds"},
     0, read_datetime64, write_datetime64, nullptr, nullptr},
    {{"unix", format::posix, holding::float64, false, false, true, false, false,
      "POSIX seconds since 1970-01-01 UTC, no leap seconds (to the nanosecond)"},
     0, read_unix, write_unix, read_unix_text, write_unix_text},
    {{"yday", format::yday, holding::text, false, true, true, false, false,
      "YYYY-DDDTHH:MM:SS[.fraction][Z] of UTC, day of year (CCSDS ASCII code B)"},
     0, read_yday, write_yday, nullptr, nullptr},
    {{"sclk", format::sclk, holding::text, false, false, true, false, true,
      "a reading of the SPICE clock kernel's clock, PARTITION/FIELD.FIELD..."},
     0, read_sclk_reading, write_sclk_reading, nullptr, nullptr},
    {{"et", format::et, holding::float64, false, false, true, false, false,
      "SPICE's ephemeris time: TDB seconds past J2000, by the leap-second kernel"},
     0, read_et, write_et, read_et_text, write_et_text},
};

constexpr std::size_t format_count = std::size(rows);
using format_infos = std::array<format_info, format_count>;
constexpr format_infos infos_of_rows() {
    format_infos all{};
    for (std::size_t i = 0; i != format_count; ++i) all[i] = rows[i].info;
    return all;
}
constexpr format_infos infos = infos_of_rows();

constexpr bool in_order() {
    for (std::size_t i = 0; i < std::size(rows); ++i)
        if (static_cast<std::size_t>(rows[i].info.id) != i) return false;
    return true;
}
static_assert(in_order(), "rows are indexed by their format");

}  // namespace

const format_row& row_of(format f) noexcept { return rows[static_cast<std::size_t>(f) % std::size(rows)]; }

std::span<const format_info> formats() noexcept { return infos; }

refusal detail::sclk_parallel(impl& c, std::string_view reading, long double* parallel, bool written) noexcept {
    if (c.s.clock == nullptr) return c.fail(refusal::no_sclk);
    if (c.s.clock->tdb && c.s.kernel == nullptr) return c.fail(refusal::no_lsk);
    const sclk_status st = detail::sclk_to_parallel(*c.s.clock, c.clock_fields, reading, parallel, &c.clock_memo, written);
    return st == sclk_status::ok ? refusal::none : c.fail(sclk_refusals[static_cast<int>(st)]);
}

refusal detail::tt_to_tt2000(impl& c, long double tt_seconds, std::int64_t* tt2000) noexcept {
    // To the nearest nanosecond (halves to even), in the rounding mode
    // already set: no change of the x87 control word at each value. (The
    // one long double between the pad marker and the next count is half
    // way, and goes to the even count above.)
    const long double scaled = tt_seconds * 1e9L;
    if (!(scaled > static_cast<long double>(tt2000_pad) && scaled < 9.2e18L)) return c.fail(refusal::tt2000_beyond);
    *tt2000 = std::llrint(scaled);
    return refusal::none;
}

}  // namespace temps
