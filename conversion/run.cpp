#include "run.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats.h"
#include "temps.h"

namespace conversion {
namespace {

constexpr char usage_text[] =
    "Usage: temps [--leap-seconds FILE] [--correlation FILE] [-p|--precision N]\n"
    "             [--on-error=skip|empty|stop] -f|--from FORMAT -t|--to FORMAT [--] [VALUE...]\n"
    "Converts each VALUE, or each line of standard input, from one time format to another.\n"
    "Formats:\n"
    "  utc, tai, tt, gps  YYYY-MM-DDTHH:MM:SS[.fraction][Z] on that scale (second 60 in a UTC leap second)\n"
    "  tu                 TU milliseconds since 1958-01-01 00:00:00, without leap seconds\n"
    "  jd                 Julian day number of the date (as input, 00:00:00 UTC of that day)\n"
    "  obt                PARTITION/READING of the on-board clock, with --correlation FILE\n"
    "  cds, cuc           a CCSDS time code in hexadecimal, P-field first\n"
    "--pfield HEX: the P-field of output codes (default 40 for CDS, 1E for CUC);\n"
    "--implicit-pfield HEX: input codes carry no P-field, this one; --agency-epoch YYYY-MM-DD.\n"
    "--precision N: digits of the fraction of a second of a label (0 to 9, default 3), truncated;\n"
    "  TU is printed to the microsecond, truncated, and an on-board reading to 6 decimals.\n"
    "--on-error: a value that cannot be converted gets its message and no line (skip, the\n"
    "  default), an empty line (empty: the output stays aligned with the input), or ends the\n"
    "  run (stop).\n"
    "--leap-seconds FILE: the leap-second list (default %s).\n";

// Days from 1958-01-01 to 1972-01-01, when UTC's steps of less than a
// second ended.
constexpr std::int64_t days_to_1972 = temps::days_1958_to_1970 + 730;

// What becomes of a value that cannot be converted, besides its message.
enum class on_error { skip, empty, stop };

// v as a message shows it: quoted, with control bytes, quotes, backslashes
// and bytes that are not UTF-8 escaped (\ooo), so that no input reaches a
// terminal raw. Cut after 200 bytes.
std::string quoted(std::string_view v) {
    std::string q = "'";
    const std::size_t shown = std::min<std::size_t>(v.size(), 200);
    for (std::size_t i = 0; i < shown;) {
        const auto c = static_cast<unsigned char>(v[i]);
        // The length of a well-formed UTF-8 sequence at i, 0 for none.
        std::size_t len = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        for (std::size_t k = 1; k < len; ++k)
            if (i + k >= v.size() || (static_cast<unsigned char>(v[i + k]) & 0xC0) != 0x80) len = 0;
        if (len == 3 && ((c == 0xE0 && static_cast<unsigned char>(v[i + 1]) < 0xA0) ||
                         (c == 0xED && static_cast<unsigned char>(v[i + 1]) >= 0xA0)))
            len = 0;  // overlong, or a surrogate
        if (len == 4 && ((c == 0xF0 && static_cast<unsigned char>(v[i + 1]) < 0x90) ||
                         (c == 0xF4 && static_cast<unsigned char>(v[i + 1]) >= 0x90)))
            len = 0;  // overlong, or past U+10FFFF
        if (len == 1 && c >= 0x20 && c != 0x7F && c != '\'' && c != '\\') {
            q += static_cast<char>(c);
        } else if (len > 1) {
            q.append(v.substr(i, len));
        } else {
            char e[8];
            std::snprintf(e, sizeof e, c == '\'' || c == '\\' ? "\\%c" : "\\%03o", c);
            q += e;
            len = 1;
        }
        i += len;
    }
    return q + (v.size() > shown ? "'..." : "'");
}

// Standard output in large blocks, every write checked.
struct output {
    int fd;
    std::size_t len = 0;
    bool failed = false;
    char buf[1 << 16];

    void flush() {
        for (std::size_t done = 0; done < len && !failed;) {
            const ssize_t n = write(fd, buf + done, len - done);
            if (n > 0) done += static_cast<std::size_t>(n);
            else if (n < 0 && errno == EINTR) continue;
            else failed = true;
        }
        len = 0;
    }
    char* room(std::size_t n) {
        if (sizeof buf - len < n) flush();
        return buf + len;
    }
};

// Real files hold times in order (telemetry), many to a day; others are
// sorted otherwise (by product, by packet). What a UTC day's labels share
// is kept for the days seen, and the date of an output day from one line
// to the next while it holds.
struct utc_day_memo {
    std::uint32_t key = 0;       // day_key of its date; 0: none
    int status = 0;
    std::int64_t tai_start = 0;  // TAI count (s) of 00:00:00, the day's offset being whole seconds
};
// A date's key: distinct for every date, and consecutive days of a span
// up to 78 years (1972 to 2049, say) fall in distinct slots of the day
// memos (16 bytes a slot: 512 KiB).
constexpr std::uint32_t day_key(int year, int month, int day) {
    return static_cast<std::uint32_t>(year) * 416 + static_cast<std::uint32_t>(month) * 32 + static_cast<std::uint32_t>(day);
}
constexpr std::size_t day_slots = 32768;
struct date_memo {
    std::int64_t day = -1;  // days since 1958-01-01 of the scale; -1: none
    int year = 0, month = 0, day_of_month = 0;
};

struct converter {
    format from{}, to{};
    int precision = 3;
    const char* leap_path = temps::default_leap_seconds_path();
    const char* correlation_path = nullptr;
    int err_fd = 2;
    int status = 0;
    bool fatal = false;  // a file the conversions need cannot be used
    on_error when_failed = on_error::skip;
    bool failed_value = false;  // the value being converted failed
    bool stopped = false;       // --on-error=stop after a failure
    bool table_tried = false;
    bool midnight_expiry = false;  // the table expires at 00:00 UTC, as published ones do
    bool warned_expiry = false, warned_1960 = false;
    temps::leap_second_table table;
    temps::correlation correlation;
    output* out = nullptr;
    utc_day_memo utc_days[day_slots];
    const utc_day_memo* utc_day = nullptr;  // that of the last label converted to TAI, if kept
    date_memo out_day;
    date_text read_date, written_date;
    bool have_last_pfield = false;  // a one-octet P-field read before, and its layout
    std::uint8_t last_pfield = 0;
    temps::time_code_layout last_layout{};
    std::int64_t cds_day = -1;  // the day of the last CDS code read, whose date is in cds_date
    temps::civil_time cds_date{};
    temps::time_code_layout out_layout{};  // of cds and cuc output
    bool implicit = false;                 // input codes carry no P-field
    temps::time_code_layout in_layout{};
    bool have_epoch = false;
    temps::date epoch{};
    const temps::date* agency() const { return have_epoch ? &epoch : nullptr; }

    void say(const std::string& text) const {
        const std::string line = "temps: " + text + "\n";
        static_cast<void>(write(err_fd, line.data(), line.size()));
    }
    bool fail(std::string_view value, const char* reason) {
        say(quoted(value) + ": " + reason);
        status = 1;
        failed_value = true;
        return false;
    }

    // The leap-second table, read at the first conversion that needs it.
    const temps::leap_second_table* leap_table() {
        if (!table_tried) {
            table_tried = true;
            char error[512];
            if (temps::read_leap_seconds(leap_path, &table, error, sizeof error) != 0) {
                say(error);
                fatal = true;
            }
            midnight_expiry = table.expires.time_since_epoch().count() % 86400 == 0;
        }
        return fatal ? nullptr : &table;
    }

    // A dubious answer (status 1): warn once of each kind.
    void dubious(int result, const temps::civil_time& utc) {
        if (result != 1) return;
        if (utc.year < 1960) {
            if (!warned_1960) say("warning: there was no UTC before 1960: TAI - UTC taken as 0");
            warned_1960 = true;
            return;
        }
        if (warned_expiry) return;
        warned_expiry = true;
        const std::chrono::year_month_day d{std::chrono::floor<std::chrono::days>(table.expires)};
        char text[96];
        std::snprintf(text, sizeof text, " expired on %04d-%02u-%02u: later instants keep its last offset",
                      int(d.year()), unsigned(d.month()), unsigned(d.day()));
        say(std::string("warning: ") + leap_path + text);
    }

    // A UTC label with second 60 must fall inside a leap second, which
    // the table says; the others need no table.
    bool in_leap_second(std::string_view v, const temps::civil_time& c, const char* otherwise) {
        if (c.second != 60) return true;
        const temps::leap_second_table* t = leap_table();
        temps::scale_time tai{};
        if (t == nullptr) return false;
        const int r = temps::utc_to_tai(*t, c, &tai);
        if (r >= 0) return true;
        if (r != temps::status_no_leap) return fail(v, "no such UTC time");
        // A leap of less than a second (the 1960s, and the end of 1971):
        // say where it ends. Its length is the TAI from 23:59:59 to the
        // next day's 00:00:00, less the one second of the labels.
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
    bool read(std::string_view v, instant* at);
    // Whether a UTC label read is a time UTC had, whatever the output:
    // the steps back of the 1960s skipped some (UTC's own rows, which need
    // no table).
    bool exists(std::string_view v, const instant& at) {
        // Second 60 was checked against the table when it was read.
        if (at.tai_count || at.utc.year < 1960 || at.utc.year > 1971 || at.utc.second == 60) return true;
        static const temps::leap_second_table no_leaps{};
        temps::scale_time tai{};
        return temps::utc_to_tai(no_leaps, at.utc, &tai) >= 0 || fail(v, "a UTC time that a step of the 1960s skipped");
    }
    bool write_line(std::string_view v, instant at);
    template <class... Args>
    std::size_t put_number(char** line, const char* format, Args... args);
    int to_tai(const temps::leap_second_table& t, const temps::civil_time& utc, temps::scale_time* tai);
    bool label(temps::scale_time s, temps::civil_time* c);
    // A label on TAI, TT or GPS falls on the date of the UTC label it came
    // from but for the seconds the offset carries over midnight: that date,
    // and its text as read, serve the output's date memos, so that labels
    // out of time order are not each given their date anew.
    void same_date_as_input(const temps::civil_time& utc) {
        if (utc_day == nullptr || utc_day->key != day_key(utc.year, utc.month, utc.day)) return;
        // From 1972 on the day starts 10 to 37 s later on TAI: its count
        // divided by a day's seconds is the day's number.
        out_day = {utc_day->tai_start / 86400, utc.year, utc.month, utc.day};
        if (read_date.year == utc.year && read_date.month == utc.month && read_date.day == utc.day)
            written_date = read_date;
    }
    void convert(std::string_view v) {
        instant at{};
        failed_value = false;
        if (v.empty()) fail(v, "an empty value");
        else if (read(v, &at) && !fatal && exists(v, at)) write_line(v, at);
        if (!failed_value || fatal) return;
        if (when_failed == on_error::empty) *out->room(1) = '\n', ++out->len;
        stopped = when_failed == on_error::stop;
    }
};

bool converter::read(std::string_view v, instant* at) {
    temps::civil_time c{};
    switch (from) {
    case format::utc:
        if (!parse_iso(v, &c, &read_date)) return fail(v, "not a UTC time YYYY-MM-DDTHH:MM:SS[.fraction][Z]");
        if (!in_leap_second(v, c, "no leap second at this time")) return false;
        *at = {false, {}, c};
        return true;
    case format::tai:
    case format::tt:
    case format::gps: {
        temps::scale_time t{};
        if (!parse_iso(v, &c, &read_date) || temps::count_of(c, &t) != 0) return fail(v, "not a time YYYY-MM-DDTHH:MM:SS[.fraction][Z]");
        *at = {true, from == format::tai ? t : from == format::tt ? temps::tt_to_tai(t) : temps::gps_to_tai(t), {}};
        return true;
    }
    case format::tu: {
        // Decimal, or with an exponent (1.5e12).
        double tu = 0.0;
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), tu);
        if ((ec != std::errc{} && ec != std::errc::result_out_of_range) || end != v.data() + v.size())
            return fail(v, "not a TU time in milliseconds");
        if (ec != std::errc{} || temps::tu_to_utc(tu, &c) != 0) return fail(v, "a TU time beyond the years 1 to 9999");
        *at = {false, {}, c};
        return true;
    }
    case format::jd: {
        // A whole number, written as such or with an exponent (2.453192e6).
        double number = 0.0;
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), number);
        if ((ec != std::errc{} && ec != std::errc::result_out_of_range) || end != v.data() + v.size() ||
            number != std::floor(number))
            return fail(v, "not a Julian day number");
        if (ec != std::errc{} || !(number >= temps::jd_0001 && number <= temps::jd_9999))
            return fail(v, "a Julian day number beyond the years 1 to 9999");
        const int jd = static_cast<int>(number);
        temps::caldat(&c.month, &c.day, &c.year, jd);
        *at = {false, {}, c};
        return true;
    }
    case format::cds:
    case format::cuc: {
        std::uint8_t octets[32];
        temps::time_code code{};
        const char* why = "not hexadecimal octets";
        const int n = parse_hex(v, octets, sizeof octets);
        if (n < 0) return fail(v, why);
        // The P-field of the code before, read once for a run of codes.
        const bool same_pfield = !implicit && n > 0 && have_last_pfield && octets[0] == last_pfield;
        const int status = implicit ? temps::decode(octets, static_cast<std::size_t>(n), &in_layout, &code, &why)
                           : same_pfield
                               ? temps::decode(octets + 1, static_cast<std::size_t>(n - 1), &last_layout, &code, &why)
                               : temps::decode(octets, static_cast<std::size_t>(n), nullptr, &code, &why);
        if (status != 0) return fail(v, why);
        if (!implicit && !same_pfield) {
            have_last_pfield = (octets[0] & 0x80) == 0;  // one octet only
            last_pfield = octets[0];
            last_layout = code.layout;
        }
        if (code.layout.cds != (from == format::cds)) return fail(v, from == format::cds ? "not a CDS code" : "not a CUC code");
        if (from == format::cds) {
            if (code.day == cds_day && code.ms < 86400000 && code.sub == 0 && !code.layout.agency && cds_day >= days_to_1972) {
                // The day of the code before: its date, and the time of day.
                const std::uint32_t s = code.ms / 1000;
                c = {cds_date.year, cds_date.month, cds_date.day, static_cast<int>(s / 3600),
                     static_cast<int>(s / 60 % 60), static_cast<int>(s % 60), static_cast<std::int32_t>(code.ms % 1000 * 1000000)};
                *at = {false, {}, c};
                return true;
            }
            if (temps::cds_to_utc(code, agency(), &c, &why) != 0) return fail(v, why);
            cds_day = code.layout.agency ? -1 : code.day;
            cds_date = c;
            if (!in_leap_second(v, c, "a millisecond of day past 86,399,999 on a day without a leap second")) return false;
            *at = {false, {}, c};
            return true;
        }
        temps::scale_time tai{};
        if (temps::code_to_tai(code, table, agency(), &tai, &why) < 0) return fail(v, why);
        // A CUC code is the nearest unit to its instant. Where its unit is
        // finer than the label's last digit, the label is rounded to that
        // digit rather than truncated, so that a label comes back through
        // such a code as itself.
        if (!code.layout.cds && is_label(to) && precision < 9 && std::ldexp(1.0, 8 * code.layout.fine) > std::pow(10.0, precision)) {
            std::int64_t half = 500000000;  // half of the label's last digit, in nanoseconds
            for (int p = 0; p < precision; ++p) half /= 10;
            tai = temps::shifted(tai, half);
        }
        *at = {true, tai, {}};
        return true;
    }
    case format::obt: {
        int partition = 0;
        double reading = 0.0;
        const char* p = v.data();
        const char* e = p + v.size();
        const auto [slash, ec1] = std::from_chars(p, e, partition);
        if (ec1 != std::errc{} || slash == e || *slash != '/') return fail(v, "not PARTITION/READING");
        const auto [end, ec2] = std::from_chars(slash + 1, e, reading);
        temps::date_heure d{};
        if (ec2 != std::errc{} || end != e) return fail(v, "not PARTITION/READING");
        if (temps::tb_to_tu(correlation, partition, reading, &d) != 0) return fail(v, "no record covers this reading");
        double tu = temps::calendar_to_tu(d.annee, d.mois, d.jour, d.heure, d.minute, d.seconde);
        if (std::isnan(tu) || temps::tu_to_utc(tu + d.milliseconde, &c) != 0) return fail(v, "out of range");
        *at = {false, {}, c};
        return true;
    }
    }
    return false;
}

// utc_to_tai, through the memo of the label's day where the day's offset
// is whole seconds (from 1972 on).
int converter::to_tai(const temps::leap_second_table& t, const temps::civil_time& utc, temps::scale_time* tai) {
    const std::int64_t into = (std::int64_t{utc.hour} * 60 + utc.minute) * 60 + utc.second;
    const std::uint32_t key = day_key(utc.year, utc.month, utc.day);
    utc_day_memo& memo = utc_days[key % day_slots];
    if (memo.key == key && utc.second < 60 && utc.nanosecond >= 0 && utc.nanosecond < 1000000000) {
        *tai = {memo.tai_start + into, utc.nanosecond};
        utc_day = &memo;
        return memo.status;
    }
    utc_day = nullptr;
    const int r = temps::utc_to_tai(t, utc, tai);
    // From 1972 on the offset is whole seconds all day (and the status the
    // same all day where the table expires at midnight, as published ones do).
    if (r >= 0 && utc.second < 60 && utc.year >= 1972 && midnight_expiry && tai->nanosecond == utc.nanosecond) {
        memo = {key, r, tai->second - into};
        utc_day = &memo;
    }
    return r;
}

// label_of, through the memo of the last output day's date.
bool converter::label(temps::scale_time s, temps::civil_time* c) {
    const std::int64_t day = s.second >= 0 ? s.second / 86400 : -1;
    if (day < 0 || day != out_day.day) {
        if (temps::label_of(s, c) != 0) return false;
        if (day >= 0) out_day = {day, c->year, c->month, c->day};
        return true;
    }
    const auto into = static_cast<int>(s.second - day * 86400);
    *c = {out_day.year, out_day.month, out_day.day_of_month, into / 3600, into / 60 % 60, into % 60, s.nanosecond};
    return true;
}

// Formats a number at *line, which it first makes room for as long as the
// text is, and its line end.
template <class... Args>
std::size_t converter::put_number(char** line, const char* format, Args... args) {
    const int need = std::snprintf(nullptr, 0, format, args...);
    if (need < 0) return 0;
    *line = out->room(static_cast<std::size_t>(need) + 2);
    std::snprintf(*line, static_cast<std::size_t>(need) + 1, format, args...);
    return static_cast<std::size_t>(need);
}

bool converter::write_line(std::string_view v, instant at) {
    char* line = out->room(64);
    std::size_t n = 0;
    temps::civil_time c = at.utc;
    if (to == format::cds || to == format::cuc) {
        // A code: from the TAI count (the table needed for CDS and for UTC input).
        const temps::leap_second_table* t = leap_table();
        if (t == nullptr) return false;
        if (!at.tai_count) {
            const int r = to_tai(*t, at.utc, &at.tai);
            if (r < 0) return fail(v, "no such UTC time");
            dubious(r, at.utc);
        }
        temps::time_code code{};
        const char* why = "";
        std::uint8_t octets[32];
        if (temps::tai_to_code(at.tai, out_layout, *t, agency(), &code, &why) < 0) return fail(v, why);
        const int len = temps::encode(code, false, octets, sizeof octets);
        n = put_hex(line, octets, static_cast<std::size_t>(len));
    } else if (on_tai(to)) {
        if (!at.tai_count) {
            const temps::leap_second_table* t = leap_table();
            if (t == nullptr) return false;
            const int r = to_tai(*t, at.utc, &at.tai);
            if (r < 0) return fail(v, "no such UTC time");
            dubious(r, at.utc);
            same_date_as_input(at.utc);
        }
        const temps::scale_time s = to == format::tai ? at.tai : to == format::tt ? temps::tai_to_tt(at.tai) : temps::tai_to_gps(at.tai);
        if (!label(s, &c)) return fail(v, "beyond the years 1 to 9999");
        n = put_iso(line, c, precision, &written_date);
    } else {
        if (at.tai_count) {
            const temps::leap_second_table* t = leap_table();
            if (t == nullptr) return false;
            const int r = temps::tai_to_utc(*t, at.tai, &c);
            if (r < 0) return fail(v, "beyond the years 1 to 9999");
            dubious(r, c);
        }
        double tu = 0.0;
        if (to == format::utc) {
            n = put_iso(line, c, precision, &written_date);
        } else if (temps::utc_to_tu(c, &tu) != 0) {
            return fail(v, "no such UTC time");
        } else if (to == format::tu) {
            // From the label's integers, to the microsecond, truncated
            // toward the past as labels are: a double of some 1.5e12 ms
            // cannot hold nanoseconds, and rounding it would carry the
            // last one of a day into the next.
            int jd = 0;
            if (temps::julday(c.month, c.day, c.year, &jd) != 0) return fail(v, "no such date");
            const std::int64_t in_day_ms =
                c.second == 60 ? 86399999 : ((c.hour * 60LL + c.minute) * 60 + c.second) * 1000 + c.nanosecond / 1000000;
            const std::int64_t us = ((jd - temps::jd_1958) * 86400000LL + in_day_ms) * 1000 +
                                    (c.second == 60 ? 0 : c.nanosecond / 1000 % 1000);  // |us| < 2^59
            const std::uint64_t magnitude = us < 0 ? 0 - static_cast<std::uint64_t>(us) : static_cast<std::uint64_t>(us);
            n = put_number(&line, "%s%llu.%03llu", us < 0 ? "-" : "", static_cast<unsigned long long>(magnitude / 1000),
                           static_cast<unsigned long long>(magnitude % 1000));
        } else if (to == format::jd) {
            int jd = 0;
            if (temps::julday(c.month, c.day, c.year, &jd) != 0) return fail(v, "no such date");
            n = put_number(&line, "%d", jd);
        } else {
            // An on-board reading: the instant to the millisecond.
            const temps::date_heure at_ms{c.year, c.month, c.day, c.hour, c.minute, std::min(c.second, 59),
                                          c.second == 60 ? 999 : c.nanosecond / 1000000};
            int partition = 0;
            double reading = 0.0;
            if (temps::tu_to_tb(correlation, at_ms, &partition, &reading) != 0)
                return fail(v, "no record covers this instant");
            // A reading may be any double: up to some 320 characters.
            n = put_number(&line, "%d/%.6f", partition, reading);
        }
    }
    line[n++] = '\n';
    out->len += n;
    return true;
}

// One line of input without its line end: a CR before it (or at the end
// of the input) is part of the line end, and a line of blanks is blank.
void convert_line(converter& cv, std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || ((line[0] == ' ' || line[0] == '\t') && line.find_first_not_of(" \t") == std::string_view::npos))
        return;
    cv.convert(line);
}

// Values one a line from fd, blank lines skipped, in constant memory.
void each_line(int fd, converter& cv) {
    auto buf = std::make_unique<char[]>(1 << 16);
    constexpr std::size_t size = 1 << 16;
    std::size_t have = 0;
    bool too_long = false;  // skipping the rest of a line longer than the buffer
    for (;;) {
        const ssize_t n = read(fd, buf.get() + have, size - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            cv.say(std::string("standard input: ") + std::strerror(errno));
            cv.status = 1;
            return;
        }
        const bool end = n == 0;
        have += static_cast<std::size_t>(n);
        std::size_t start = 0;
        while (!cv.fatal && !cv.stopped) {
            const void* nl = std::memchr(buf.get() + start, '\n', have - start);
            if (nl == nullptr) break;
            const std::size_t i = static_cast<std::size_t>(static_cast<const char*>(nl) - buf.get());
            if (!too_long) convert_line(cv, std::string_view(buf.get() + start, i - start));
            too_long = false;
            start = i + 1;
        }
        if (cv.fatal || cv.stopped) return;
        if (end) {
            if (start < have && !too_long) convert_line(cv, std::string_view(buf.get() + start, have - start));
            return;
        }
        if (start == 0 && have == size) {  // a line longer than the buffer
            if (!too_long) cv.fail(std::string_view(buf.get(), 40), "line too long");
            too_long = true;
            have = 0;
            continue;
        }
        std::memmove(buf.get(), buf.get() + start, have - start);
        have -= start;
    }
}

}  // namespace

int run(int argc, const char* const* argv, int in_fd, int out_fd, int err_fd) {
    auto cv = std::make_unique<converter>();
    cv->err_fd = err_fd;
    auto usage = [&](int fd) {
        char text[sizeof usage_text + 256];
        const int n = std::snprintf(text, sizeof text, usage_text, temps::default_leap_seconds_path());
        return write(fd, text, static_cast<std::size_t>(n)) == n;
    };
    // A usage error: one line that names it, and where to read more.
    auto usage_error = [&](const std::string& what) {
        cv->say(what);
        const char more[] = "Try 'temps --help'.\n";
        static_cast<void>(write(err_fd, more, sizeof more - 1));
        return 2;
    };
    // What was written to standard output must have reached it.
    auto answered = [&](bool written) {
        if (written) return 0;
        cv->say(std::string("standard output: ") + std::strerror(errno));
        return 1;
    };
    // Options may come anywhere before "--"; the other arguments are
    // values. A value may start with '-' (a TU or a JD before its epoch):
    // an option is "--" and a name, or '-' and a letter.
    bool have_from = false, have_to = false, options = true, have_pfield = false, have_precision = false;
    temps::time_code_layout out_pfield{};
    std::vector<const char*> values;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (options && a == "--") {
            options = false;
            continue;
        }
        const bool long_option = a.size() > 2 && a.substr(0, 2) == "--";
        const bool short_option = a.size() >= 2 && a[0] == '-' && ((a[1] >= 'a' && a[1] <= 'z') || (a[1] >= 'A' && a[1] <= 'Z'));
        if (!options || (!long_option && !short_option)) {
            values.push_back(argv[i]);
            continue;
        }
        if (a == "--help") return answered(usage(out_fd));
        if (a == "--version") {
            const char text[] = "temps " TEMPS_VERSION "\n";
            return answered(write(out_fd, text, sizeof text - 1) == sizeof text - 1);
        }
        std::string_view name = a, value;
        bool has_value = false;
        if (short_option) {
            constexpr struct {
                char letter;
                std::string_view name;
            } letters[] = {{'f', "--from"}, {'t', "--to"}, {'p', "--precision"}};
            name = {};
            for (const auto& l : letters)
                if (a[1] == l.letter) name = l.name;
            if (name.empty()) return usage_error("unknown option " + quoted(a.substr(0, 2)));
            if (a.size() > 2) value = a.substr(2), has_value = true;
        } else if (const auto eq = a.find('='); eq != std::string_view::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            has_value = true;
        }
        constexpr std::string_view known[] = {"--from",  "--to",     "--leap-seconds",    "--correlation", "--precision",
                                              "--pfield", "--on-error", "--implicit-pfield", "--agency-epoch"};
        if (std::find(std::begin(known), std::end(known), name) == std::end(known))
            return usage_error("unknown option " + quoted(name));
        if (!has_value) {
            if (i + 1 >= argc) return usage_error("option " + std::string(name) + " needs a value");
            value = argv[++i];
        }
        bool ok = true;
        const char* expected = "";
        if (name == "--from") ok = have_from = format_named(value, &cv->from), expected = "a format";
        else if (name == "--to") ok = have_to = format_named(value, &cv->to), expected = "a format";
        else if (name == "--leap-seconds" || name == "--correlation") {
            ok = !value.empty(), expected = "a file";
            (name == "--leap-seconds" ? cv->leap_path : cv->correlation_path) = value.data();
        } else if (name == "--precision") {
            ok = value.size() == 1 && value[0] >= '0' && value[0] <= '9', expected = "a digit 0 to 9";
            cv->precision = ok ? value[0] - '0' : 3;
            have_precision = true;
        } else if (name == "--on-error") {
            expected = "skip, empty or stop";
            ok = value == "skip" || value == "empty" || value == "stop";
            cv->when_failed = value == "empty" ? on_error::empty : value == "stop" ? on_error::stop : on_error::skip;
        } else if (name == "--pfield" || name == "--implicit-pfield") {
            std::uint8_t p[2];
            const int n = parse_hex(value, p, sizeof p);
            temps::time_code_layout* l = name == "--pfield" ? &out_pfield : &cv->in_layout;
            ok = n > 0 && temps::read_pfield(p, static_cast<std::size_t>(n), l, nullptr) == 0 && l->pfield_octets == n;
            expected = "a P-field in hexadecimal";
            (name == "--pfield" ? have_pfield : cv->implicit) = true;
        } else {
            temps::civil_time d{};
            temps::scale_time check{};
            ok = parse_iso(std::string(value) + "T00:00:00", &d) && temps::count_of(d, &check) == 0;
            expected = "a date YYYY-MM-DD";
            cv->epoch = {d.year, d.month, d.day};
            cv->have_epoch = true;
        }
        if (!ok) return usage_error(std::string(name) + ": " + quoted(value) + " is not " + expected);
    }
    if (!have_from || !have_to) return usage_error(std::string("--") + (have_from ? "to" : "from") + " is needed");
    if (have_precision && !is_label(cv->to)) return usage_error("--precision applies to labels only (--to utc, tai, tt or gps)");
    // The output code's layout: --pfield, else 40 (CDS: 1958 epoch, 16-bit
    // day, milliseconds) or 1E (CUC level 1, 4 coarse and 2 fine octets).
    const std::uint8_t default_pfield = cv->to == format::cds ? 0x40 : 0x1E;
    if (!have_pfield) static_cast<void>(temps::read_pfield(&default_pfield, 1, &out_pfield, nullptr));
    if ((cv->to == format::cds || cv->to == format::cuc) && out_pfield.cds != (cv->to == format::cds))
        return usage_error("--pfield does not describe a " + std::string(cv->to == format::cds ? "CDS" : "CUC") + " code");
    cv->out_layout = out_pfield;
    if (cv->from == format::obt || cv->to == format::obt) {
        char error[512];
        if (cv->correlation_path == nullptr) return usage_error("obt needs --correlation FILE");
        if (temps::read_correlation(cv->correlation_path, &cv->correlation, error, sizeof error) != 0) {
            cv->say(error);
            return 2;
        }
    }
    auto out = std::make_unique<output>();
    out->fd = out_fd;
    cv->out = out.get();
    if (!values.empty()) {
        for (std::size_t v = 0; v < values.size() && !cv->fatal && !cv->stopped; ++v) cv->convert(values[v]);
    } else {
        each_line(in_fd, *cv);
    }
    out->flush();
    if (out->failed) {
        cv->say(std::string("standard output: ") + std::strerror(errno));
        return 1;
    }
    return cv->fatal ? 2 : cv->status;
}

}  // namespace conversion
