// The conversions of the temps command. A value is read into an instant
// (a TAI count, or a UTC label, whichever its format gives exactly), and
// written from it; every step between scales is the library's.
#include "convert.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace conversion {

// The formats: a name, whether it is a label, its reader and writer, and
// for a continuous scale its offset from TAI (scale = TAI + offset).
struct format_row {
    std::string_view name;
    format f;
    bool label;
    converter::reader read;
    converter::writer write;
    std::int64_t minus_tai_ns;
};

struct format_rows {
    static constexpr format_row all[] = {
        {"utc", format::utc, true, &converter::read_utc, &converter::write_utc, 0},
        {"tai", format::tai, true, &converter::read_scale, &converter::write_scale, 0},
        {"tt", format::tt, true, &converter::read_scale, &converter::write_scale, temps::tt_minus_tai_ns},
        {"gps", format::gps, true, &converter::read_scale, &converter::write_scale, temps::gps_minus_tai_ns},
        {"tu", format::tu, false, &converter::read_tu, &converter::write_tu, 0},
        {"jd", format::jd, false, &converter::read_jd, &converter::write_jd, 0},
        {"obt", format::obt, false, &converter::read_obt, &converter::write_obt, 0},
        {"cds", format::cds, false, &converter::read_code, &converter::write_code, 0},
        {"cuc", format::cuc, false, &converter::read_code, &converter::write_code, 0},
        {"tt2000", format::tt2000, false, &converter::read_tt2000, &converter::write_tt2000, 0},
        {"epoch", format::epoch, false, &converter::read_epoch, &converter::write_epoch, 0},
        {"epoch16", format::epoch16, false, &converter::read_epoch16, &converter::write_epoch16, 0},
    };
    static const format_row& of(format f) {
        for (const format_row& r : all)
            if (r.f == f) return r;
        return all[0];
    }
};

bool format_named(std::string_view name, format* f) {
    for (const format_row& r : format_rows::all)
        if (r.name == name) {
            *f = r.f;
            return true;
        }
    return false;
}

bool is_label(format f) { return format_rows::of(f).label; }

const format_row* converter::row_of(format f) { return &format_rows::of(f); }

namespace {

// Days from 1958-01-01 to 1972-01-01, when UTC's steps of less than a
// second ended.
constexpr int year_leaps_whole = 1972;

}  // namespace

bool converter::open() {
    if (s_.from != format::obt && s_.to != format::obt) return true;
    char error[512];
    if (temps::read_correlation(s_.correlation_path, &correlation_, error, sizeof error) == 0) return true;
    say(error);
    fatal_ = true;
    return false;
}

bool converter::fail(std::string_view value, const char* reason) {
    say(quoted(value) + ": " + reason);
    status_ = 1;
    failed_value_ = true;
    return false;
}

void converter::convert(std::string_view v) {
    instant at{};
    failed_value_ = false;
    if (v.empty()) {
        fail(v, "an empty value");
    } else if (read_marker(v, &at) || ((this->*from_->read)(v, &at) && !fatal_ && exists(v, at))) {
        static_cast<void>(at.marker != 0 ? write_marker(v, at) : (this->*to_->write)(v, at));
    }
    if (!failed_value_ || fatal_) return;
    if (s_.when_failed == on_error::empty) static_cast<void>(put_line("", 0));
    stopped_ = s_.when_failed == on_error::stop;
}

// The leap-second table, read at the first conversion that needs it.
const temps::leap_second_table* converter::leap_table() {
    if (!table_tried_) {
        table_tried_ = true;
        char error[512];
        if (temps::read_leap_seconds(s_.leap_path, &table_, error, sizeof error) != 0) {
            say(error);
            fatal_ = true;
        } else {
            days_.reset();  // made anew through the table
        }
    }
    return fatal_ ? nullptr : &table_;
}

// A dubious answer (status 1): warn once of each kind.
void converter::dubious(int result, const temps::civil_time& utc) {
    if (result != temps::status_dubious) return;
    if (utc.year < 1960) {
        if (!warned_1960_) say("warning: there was no UTC before 1960: TAI - UTC taken as 0");
        warned_1960_ = true;
        return;
    }
    if (warned_expiry_) return;
    warned_expiry_ = true;
    const std::chrono::year_month_day d{std::chrono::floor<std::chrono::days>(table_.expires)};
    char text[96];
    std::snprintf(text, sizeof text, " expired on %04d-%02u-%02u: later instants keep its last offset",
                  int(d.year()), unsigned(d.month()), unsigned(d.day()));
    say(std::string("warning: ") + s_.leap_path + text);
}

// A UTC label with second 60 must fall inside a leap second, which the
// table says; the others need no table.
bool converter::in_leap_second(std::string_view v, const temps::civil_time& c, const char* otherwise) {
    if (c.second != 60) return true;
    const temps::leap_second_table* t = leap_table();
    temps::scale_time tai{};
    if (t == nullptr) return false;
    const int r = temps::utc_to_tai(*t, c, &tai);
    if (r >= 0) return true;
    if (r != temps::status_no_leap) return fail(v, "no such UTC time");
    // A leap of less than a second (the 1960s, and the end of 1971): say
    // where it ends. Its length is the TAI from 23:59:59 to the next day's
    // 00:00:00, less the one second of the labels.
    temps::civil_time last = c;
    last.second = 59, last.nanosecond = 0;
    const temps::date tomorrow = temps::next_day({c.year, c.month, c.day});
    temps::scale_time before{}, after{};
    if (c.hour == 23 && c.minute == 59 && temps::utc_to_tai(*t, last, &before) >= 0 &&
        temps::utc_to_tai(*t, {tomorrow.year, tomorrow.month, tomorrow.day, 0, 0, 0, 0}, &after) >= 0) {
        const std::int64_t leap = (after.second - before.second - 1) * 1000000000 + after.nanosecond - before.nanosecond;
        if (leap > 0 && leap < 1000000000) {
            char ends[96];
            int n = std::snprintf(ends, sizeof ends, "the leap second of %04d-%02d-%02d ends at 23:59:60.%09lld",
                                  c.year, c.month, c.day, static_cast<long long>(leap));
            while (ends[n - 1] == '0') ends[--n] = '\0';
            return fail(v, ends);
        }
    }
    return fail(v, otherwise);
}

// Whether a UTC label read is a time UTC had, whatever the output: the
// steps back of the 1960s skipped some (UTC's own rows, which need no
// table). Second 60 was checked against the table when it was read.
bool converter::exists(std::string_view v, const instant& at) {
    if (at.tai_count || at.marker != 0 || at.utc.year < 1960 || at.utc.year >= year_leaps_whole || at.utc.second == 60) return true;
    static const temps::leap_second_table no_leaps{};
    temps::scale_time tai{};
    return temps::utc_to_tai(no_leaps, at.utc, &tai) >= 0 || fail(v, "a UTC time that a step of the 1960s skipped");
}

// The instant as a UTC label, through the table for a TAI count.
bool converter::utc_of(std::string_view v, const instant& at, temps::civil_time* c) {
    if (!at.tai_count) {
        *c = at.utc;
        return true;
    }
    const temps::leap_second_table* t = leap_table();
    if (t == nullptr) return false;
    const int r = days().tai_to_utc(at.tai, c);
    if (r < 0) return fail(v, "beyond the years 1 to 9999");
    dubious(r, *c);
    return true;
}

// The instant as a TAI count, through the table for a UTC label.
bool converter::tai_of(std::string_view v, const instant& at, temps::scale_time* tai) {
    if (at.tai_count) {
        *tai = at.tai;
        return true;
    }
    const temps::leap_second_table* t = leap_table();
    if (t == nullptr) return false;
    const int r = days().utc_to_tai(at.utc, tai);
    if (r < 0) return fail(v, "no such UTC time");
    dubious(r, at.utc);
    return true;
}

// A line of n bytes and its line end.
bool converter::put_line(const char* text, std::size_t n) {
    if (n >= sizeof out_->buf) {
        out_->put(text, n);
        out_->put("\n", 1);
        return true;
    }
    char* p = out_->room(n + 1);
    std::memcpy(p, text, n);
    p[n] = '\n';
    out_->len += n + 1;
    return true;
}

temps::day_memo& converter::days() {
    if (!days_) days_ = std::make_unique<temps::day_memo>(table_);
    return *days_;
}

// A label's line. On the date of the label read last, its text as read.
bool converter::put_label(const temps::civil_time& c) {
    if (c.year == read_date_.year && c.month == read_date_.month && c.day == read_date_.day) written_date_ = read_date_;
    char line[32];
    const std::size_t n = put_iso(line, c, s_.precision, &written_date_);
    return put_line(line, n);
}

bool converter::read_utc(std::string_view v, instant* at) {
    temps::civil_time c{};
    if (!parse_iso(v, &c, &read_date_)) return fail(v, "not a UTC time YYYY-MM-DDTHH:MM:SS[.fraction][Z]");
    if (!in_leap_second(v, c, "no leap second at this time")) return false;
    *at = {false, {}, c, 0};
    return true;
}

bool converter::read_scale(std::string_view v, instant* at) {
    temps::civil_time c{};
    temps::scale_time t{};
    if (!parse_iso(v, &c, &read_date_) || temps::count_of(c, &t) != 0)
        return fail(v, "not a time YYYY-MM-DDTHH:MM:SS[.fraction][Z]");
    *at = {true, temps::shifted(t, -from_->minus_tai_ns), {}, 0};
    return true;
}

// A count written in decimal or with an exponent (1.5e12), to its UTC
// label by to_utc.
bool converter::read_count(std::string_view v, int (*to_utc)(double, temps::civil_time*) noexcept, const char* not_one,
                           const char* beyond, instant* at) {
    double x = 0.0;
    temps::civil_time c{};
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), x);
    if ((ec != std::errc{} && ec != std::errc::result_out_of_range) || end != v.data() + v.size()) return fail(v, not_one);
    if (ec != std::errc{} || to_utc(x, &c) != 0) return fail(v, beyond);
    *at = {false, {}, c, 0};
    return true;
}

bool converter::read_tu(std::string_view v, instant* at) {
    return read_count(v, temps::tu_to_utc, "not a TU time in milliseconds", "a TU time beyond the years 1 to 9999", at);
}

bool converter::read_jd(std::string_view v, instant* at) {
    // A whole number, written as such or with an exponent (2.453192e6).
    double number = 0.0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), number);
    if ((ec != std::errc{} && ec != std::errc::result_out_of_range) || end != v.data() + v.size() ||
        number != std::floor(number))
        return fail(v, "not a Julian day number");
    if (ec != std::errc{} || !(number >= temps::jd_0001 && number <= temps::jd_9999))
        return fail(v, "a Julian day number beyond the years 1 to 9999");
    temps::civil_time c{};
    temps::caldat(&c.month, &c.day, &c.year, static_cast<int>(number));
    *at = {false, {}, c, 0};
    return true;
}

bool converter::read_code(std::string_view v, instant* at) {
    std::uint8_t octets[32];
    temps::time_code code{};
    const char* why = "not hexadecimal octets";
    const int n = parse_hex(v, octets, sizeof octets);
    if (n < 0) return fail(v, why);
    const bool cds = s_.from == format::cds;
    // Codes of a file share their P-field: one octet like the last one's
    // is read as that layout.
    const bool same_pfield = !s_.implicit && n > 1 && have_last_pfield_ && octets[0] == last_layout_.pfield[0];
    const int status = s_.implicit   ? temps::decode(octets, static_cast<std::size_t>(n), &s_.in_layout, &code, &why)
                       : same_pfield ? temps::decode(octets + 1, static_cast<std::size_t>(n - 1), &last_layout_, &code, &why)
                                     : temps::decode(octets, static_cast<std::size_t>(n), nullptr, &code, &why);
    if (status != 0) return fail(v, why);
    if (!s_.implicit && !same_pfield) {
        have_last_pfield_ = code.layout.pfield_octets == 1;
        last_layout_ = code.layout;
    }
    if (code.layout.cds != cds) return fail(v, cds ? "not a CDS code" : "not a CUC code");
    if (cds) {
        temps::civil_time c{};
        if (days().cds_to_utc(code, agency(), &c, &why) != 0) return fail(v, why);
        if (!in_leap_second(v, c, "a millisecond of day past 86,399,999 on a day without a leap second")) return false;
        *at = {false, {}, c, 0};
        return true;
    }
    temps::scale_time tai{};
    if (temps::code_to_tai(code, table_, agency(), &tai, &why) < 0) return fail(v, why);
    // A CUC code is the nearest unit to its instant. Where its unit is
    // finer than the label's last digit, the label is rounded to that
    // digit rather than truncated, so that a label comes back through such
    // a code as itself.
    if (is_label(s_.to) && s_.precision < 9 && std::ldexp(1.0, 8 * code.layout.fine) > std::pow(10.0, s_.precision)) {
        std::int64_t half = 500000000;  // half of the label's last digit, in nanoseconds
        for (int p = 0; p < s_.precision; ++p) half /= 10;
        tai = temps::shifted(tai, half);
    }
    *at = {true, tai, {}, 0};
    return true;
}

bool converter::read_obt(std::string_view v, instant* at) {
    temps::civil_time c{};
    if (const char* why = obt_to_utc(correlation_, v, &c)) return fail(v, why);
    *at = {false, {}, c, 0};
    return true;
}

bool converter::write_utc(std::string_view v, const instant& at) {
    temps::civil_time c{};
    return utc_of(v, at, &c) && put_label(c);
}

bool converter::write_scale(std::string_view v, const instant& at) {
    temps::scale_time tai{};
    temps::civil_time c{};
    if (!tai_of(v, at, &tai)) return false;
    if (days().label_of(temps::shifted(tai, to_->minus_tai_ns), &c) != 0)
        return fail(v, "beyond the years 1 to 9999");
    return put_label(c);
}

// The instant's UTC label, a time TU has, and its day number.
bool converter::utc_day_of(std::string_view v, const instant& at, temps::civil_time* c, int* jd) {
    double tu = 0.0;
    if (!utc_of(v, at, c)) return false;
    if (temps::utc_to_tu(*c, &tu) != 0) return fail(v, "no such UTC time");
    return temps::julday(c->month, c->day, c->year, jd) == 0 || fail(v, "no such date");
}

bool converter::write_tu(std::string_view v, const instant& at) {
    temps::civil_time c{};
    int jd = 0;
    if (!utc_day_of(v, at, &c, &jd)) return false;
    // From the label's integers, to the microsecond, truncated toward the
    // past as labels are: a double of some 1.5e12 ms cannot hold
    // nanoseconds, and rounding it would carry the last one of a day into
    // the next. Inside a leap second, the last millisecond before it, as
    // utc_to_tu gives.
    const std::int64_t in_day_us =
        c.second == 60 ? 86399999000 : (((c.hour * 60LL + c.minute) * 60 + c.second) * 1000000 + c.nanosecond / 1000);
    const std::int64_t us = (jd - temps::jd_1958) * 86400000000LL + in_day_us;  // |us| < 2^59
    const std::uint64_t magnitude = us < 0 ? 0 - static_cast<std::uint64_t>(us) : static_cast<std::uint64_t>(us);
    char line[32];
    const int n = std::snprintf(line, sizeof line, "%s%llu.%03llu", us < 0 ? "-" : "",
                                static_cast<unsigned long long>(magnitude / 1000),
                                static_cast<unsigned long long>(magnitude % 1000));
    return put_line(line, static_cast<std::size_t>(n));
}

bool converter::write_jd(std::string_view v, const instant& at) {
    temps::civil_time c{};
    int jd = 0;
    if (!utc_day_of(v, at, &c, &jd)) return false;
    char line[16];
    const int n = std::snprintf(line, sizeof line, "%d", jd);
    return put_line(line, static_cast<std::size_t>(n));
}

bool converter::write_obt(std::string_view v, const instant& at) {
    temps::civil_time c{};
    std::string line;
    if (!utc_of(v, at, &c)) return false;
    if (const char* why = utc_to_obt(correlation_, c, &line)) return fail(v, why);
    return put_line(line.data(), line.size());
}

bool converter::write_code(std::string_view v, const instant& at) {
    // From the TAI count: the table is needed for CDS and for UTC input.
    const temps::leap_second_table* t = leap_table();
    temps::scale_time tai{};
    if (t == nullptr || !tai_of(v, at, &tai)) return false;
    temps::time_code code{};
    const char* why = "";
    std::uint8_t octets[32];
    if (temps::tai_to_code(tai, s_.out_layout, *t, agency(), &code, &why) < 0) return fail(v, why);
    const int len = temps::encode(code, false, octets, sizeof octets);
    char line[64];
    const std::size_t n = put_hex(line, octets, static_cast<std::size_t>(len));
    return put_line(line, n);
}

// A label read for a TT2000 that names one of its markers.
bool converter::read_marker(std::string_view v, instant* at) {
    if (s_.to != format::tt2000 || !from_->label) return false;
    const std::int64_t marker = marker_named(v);
    if (marker != 0) *at = {false, {}, {}, marker};
    return marker != 0;
}

bool converter::write_marker(std::string_view v, const instant& at) {
    if (s_.to == format::tt2000) {
        char line[24];
        const int n = std::snprintf(line, sizeof line, "%lld", static_cast<long long>(at.marker));
        return put_line(line, static_cast<std::size_t>(n));
    }
    if (to_->label) {
        char line[32];
        const std::size_t n = put_iso(line, marker_label(at.marker), s_.precision);
        return put_line(line, n);
    }
    return fail(v, marker_refused(at.marker));
}

bool converter::read_tt2000(std::string_view v, instant* at) {
    std::int64_t n = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (ec != std::errc{} || end != v.data() + v.size()) return fail(v, "not a TT2000 (nanoseconds since J2000, an int64)");
    if (n <= temps::tt2000_pad) {
        *at = {false, {}, {}, n};
        return true;
    }
    temps::scale_time tai{};
    static_cast<void>(temps::tt2000_to_tai(n, &tai));
    *at = {true, tai, {}, 0};
    return true;
}

bool converter::write_tt2000(std::string_view v, const instant& at) {
    temps::scale_time tai{};
    std::int64_t n = 0;
    if (!tai_of(v, at, &tai)) return false;
    if (temps::tai_to_tt2000(tai, &n) != 0) return fail(v, "beyond what a TT2000 names (1707-09-22 to 2292-04-11)");
    char line[24];
    const int k = std::snprintf(line, sizeof line, "%lld", static_cast<long long>(n));
    return put_line(line, static_cast<std::size_t>(k));
}

bool converter::read_epoch(std::string_view v, instant* at) {
    return read_count(v, temps::epoch_to_utc, "not a CDF epoch in milliseconds", "a CDF epoch beyond the years 1 to 9999",
                      at);
}

bool converter::write_epoch(std::string_view v, const instant& at) {
    temps::civil_time c{};
    double epoch = 0.0;
    if (!utc_of(v, at, &c)) return false;
    if (temps::utc_to_epoch(c, &epoch) != 0) return fail(v, "no such UTC time");
    // The shortest decimal that reads back as the same double.
    char line[400];
    const auto [end, ec] = std::to_chars(line, line + sizeof line, epoch, std::chars_format::fixed);
    if (ec != std::errc{}) return fail(v, "out of range");
    return put_line(line, static_cast<std::size_t>(end - line));
}

bool converter::read_epoch16(std::string_view v, instant* at) {
    // "<seconds>.<12 digits of picoseconds>"
    const auto point = v.find('.');
    std::uint64_t seconds = 0, ps = 0;
    const char* why = "not a CDF epoch16 <seconds>.<12 digits of picoseconds>";
    if (point == std::string_view::npos || v.size() - point - 1 != 12) return fail(v, why);
    const auto [s_end, s_ec] = std::from_chars(v.data(), v.data() + point, seconds);
    const auto [p_end, p_ec] = std::from_chars(v.data() + point + 1, v.data() + v.size(), ps);
    if (point == 0 || s_ec != std::errc{} || s_end != v.data() + point || p_ec != std::errc{} ||
        p_end != v.data() + v.size() || v[point + 1] == '+' || v[point + 1] == '-')
        return fail(v, why);
    temps::civil_time c{};
    if (seconds > 999999999999 ||
        temps::epoch16_to_utc({static_cast<double>(seconds), static_cast<double>(ps)}, &c) != 0)
        return fail(v, "a CDF epoch16 beyond the years 1 to 9999");
    *at = {false, {}, c, 0};
    return true;
}

bool converter::write_epoch16(std::string_view v, const instant& at) {
    temps::civil_time c{};
    temps::epoch16 e{};
    if (!utc_of(v, at, &c)) return false;
    if (temps::utc_to_epoch16(c, &e) != 0) return fail(v, "no such UTC time");
    char line[48];
    const int n = std::snprintf(line, sizeof line, "%.0f.%012.0f", e.seconds, e.picoseconds);
    return put_line(line, static_cast<std::size_t>(n));
}

}  // namespace conversion
