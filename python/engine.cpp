#include "engine.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace pytemps {
namespace {

struct format_row {
    std::string_view name;
    format f;
    holder h;
    std::int64_t minus_tai_ns;  // a continuous scale's offset from TAI
};

constexpr format_row rows[] = {
    {"utc", format::utc, holder::text, 0},
    {"tai", format::tai, holder::text, 0},
    {"tt", format::tt, holder::text, temps::tt_minus_tai_ns},
    {"gps", format::gps, holder::text, temps::gps_minus_tai_ns},
    {"tu", format::tu, holder::float64, 0},
    {"jd", format::jd, holder::int64, 0},
    {"obt", format::obt, holder::text, 0},
    {"cds", format::cds, holder::bytes, 0},
    {"cuc", format::cuc, holder::bytes, 0},
    {"tt2000", format::tt2000, holder::int64, 0},
    {"epoch", format::epoch, holder::float64, 0},
    {"epoch16", format::epoch16, holder::complex128, 0},
    {"datetime64", format::datetime64, holder::datetime64, 0},
};

const format_row& row_of(format f) {
    for (const format_row& r : rows)
        if (r.f == f) return r;
    return rows[0];
}

bool is_scale(format f) { return f == format::tai || f == format::tt || f == format::gps; }
bool is_label(format f) { return f == format::utc || is_scale(f); }

constexpr std::int64_t ns_per_day = 86400LL * 1000000000;

std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

}  // namespace

bool format_named(std::string_view name, format* f) {
    for (const format_row& r : rows)
        if (r.name == name) {
            *f = r.f;
            return true;
        }
    return false;
}

holder holder_of(format f) { return row_of(f).h; }

engine::engine(const settings& s) : s_(s) {
    days_ = std::make_unique<temps::day_memo>(s_.leaps ? *s_.leaps : none_);
}

const char* engine::read(const value& v, instant* at) {
    *at = instant{};
    const temps::leap_second_table& leaps = s_.leaps ? *s_.leaps : none_;
    temps::civil_time c{};
    switch (s_.source) {
    case format::utc:
    case format::tai:
    case format::tt:
    case format::gps: {
        if (s_.target == format::tt2000 && (at->marker = conversion::marker_named(v.text)) != 0) return nullptr;
        if (!conversion::parse_iso(v.text, &c, &read_date_)) return "not a time YYYY-MM-DDTHH:MM:SS[.fraction][Z]";
        if (is_scale(s_.source)) {
            temps::scale_time t0{};
            if (temps::count_of(c, &t0) != 0) return "not a time YYYY-MM-DDTHH:MM:SS[.fraction][Z]";
            at->tai_count = true;
            at->tai = temps::shifted(t0, -row_of(s_.source).minus_tai_ns);
            return nullptr;
        }
        // Whether UTC had that time, and its TAI for the target.
        const int r = days_->utc_to_tai(c, &at->tai);
        if (r == temps::status_no_leap) return "no leap second at this time";
        if (r == temps::status_skipped) return "a UTC time that a step of the 1960s skipped";
        if (r < 0) return "no such UTC time";
        at->utc = c;
        at->tai_known = true;
        return nullptr;
    }
    case format::tu:
        if (temps::tu_to_utc(v.real, &c) != 0) return "a TU time beyond the years 1 to 9999";
        at->utc = c;
        return nullptr;
    case format::jd:
        if (v.integer < temps::jd_0001 || v.integer > temps::jd_9999) return "a Julian day number beyond the years 1 to 9999";
        temps::caldat(&c.month, &c.day, &c.year, static_cast<int>(v.integer));
        at->utc = c;
        return nullptr;
    case format::obt:
        if (!s_.correlation) return "no record covers this reading";
        if (const char* why = conversion::obt_to_utc(*s_.correlation, v.text, &c)) return why;
        at->utc = c;
        return nullptr;
    case format::cds:
    case format::cuc: {
        temps::time_code code{};
        const char* why = nullptr;
        const auto* octets = reinterpret_cast<const std::uint8_t*>(v.text.data());
        if (temps::decode(octets, v.text.size(), nullptr, &code, &why) != 0) return why;
        const bool cds = s_.source == format::cds;
        if (code.layout.cds != cds) return cds ? "not a CDS code" : "not a CUC code";
        const temps::date* agency = s_.have_agency ? &s_.agency : nullptr;
        if (!cds) {
            if (temps::code_to_tai(code, leaps, agency, &at->tai, &why) < 0) return why;
            at->tai_count = true;
            return nullptr;
        }
        if (days_->cds_to_utc(code, agency, &c, &why) != 0) return why;
        temps::scale_time tai{};
        if (c.second == 60 && temps::utc_to_tai(leaps, c, &tai) < 0)
            return "a millisecond of day past 86,399,999 on a day without a leap second";
        at->utc = c;
        return nullptr;
    }
    case format::tt2000:
        if (v.integer <= temps::tt2000_pad) return at->marker = v.integer, nullptr;
        static_cast<void>(temps::tt2000_to_tai(v.integer, &at->tai));
        at->tai_count = true;
        return nullptr;
    case format::epoch:
        if (temps::epoch_to_utc(v.real, &c) != 0) return "a CDF epoch beyond the years 1 to 9999";
        at->utc = c;
        return nullptr;
    case format::epoch16:
        if (temps::epoch16_to_utc({v.real, v.imag}, &c) != 0) return "not a CDF epoch16 of the years 1 to 9999";
        at->utc = c;
        at->picoseconds = static_cast<int>(std::fmod(v.imag, 1000.0));
        return nullptr;
    case format::datetime64: {
        if (v.integer == INT64_MIN) return "NaT, not an instant";
        const std::int64_t day = floor_div(v.integer, ns_per_day);
        const std::int64_t ns = v.integer - day * ns_per_day;
        if (day != last_day_) {
            const std::int64_t jd = day + temps::jd_1970;
            if (jd < temps::jd_0001 || jd > temps::jd_9999) return "beyond the years 1 to 9999";
            temps::caldat(&last_date_.month, &last_date_.day, &last_date_.year, static_cast<int>(jd));
            last_day_ = day;
        }
        const auto s = static_cast<int>(ns / 1000000000);
        at->utc = {last_date_.year, last_date_.month, last_date_.day, s / 3600, s / 60 % 60, s % 60,
                   static_cast<std::int32_t>(ns % 1000000000)};
        return nullptr;
    }
    }
    return "an unknown format";
}

const char* engine::utc_of(const instant& at, temps::civil_time* c) {
    if (!at.tai_count) {
        *c = at.utc;
        return nullptr;
    }
    return days_->tai_to_utc(at.tai, c) < 0 ? "beyond the years 1 to 9999" : nullptr;
}

const char* engine::tai_of(const instant& at, temps::scale_time* tai) {
    if (at.tai_count || at.tai_known) {
        *tai = at.tai;
        return nullptr;
    }
    return days_->utc_to_tai(at.utc, tai) < 0 ? "no such UTC time" : nullptr;
}

const char* engine::write_text(const instant& at, std::string* out) {
    temps::civil_time c{};
    char line[400];
    if (at.marker != 0) {
        if (!is_label(s_.target))
            return conversion::marker_refused(at.marker);
        out->assign(line, conversion::put_iso(line, conversion::marker_label(at.marker), s_.precision));
        return nullptr;
    }
    if (is_scale(s_.target)) {
        temps::scale_time tai{};
        if (const char* why = tai_of(at, &tai)) return why;
        if (days_->label_of(temps::shifted(tai, row_of(s_.target).minus_tai_ns), &c) != 0) return "beyond the years 1 to 9999";
        out->assign(line, conversion::put_iso(line, c, s_.precision));
        return nullptr;
    }
    if (s_.target == format::cds || s_.target == format::cuc) {
        temps::scale_time tai{};
        temps::time_code code{};
        const char* why = tai_of(at, &tai);
        if (why != nullptr) return why;
        if (temps::tai_to_code(tai, s_.out_layout, s_.leaps ? *s_.leaps : none_, s_.have_agency ? &s_.agency : nullptr,
                               &code, &why) < 0)
            return why;
        std::uint8_t octets[32];
        const int n = temps::encode(code, false, octets, sizeof octets);
        out->assign(reinterpret_cast<const char*>(octets), static_cast<std::size_t>(n));
        return nullptr;
    }
    if (const char* why = utc_of(at, &c)) return why;
    if (s_.target == format::utc) {
        out->assign(line, conversion::put_iso(line, c, s_.precision));
        return nullptr;
    }
    if (!s_.correlation) return "no record covers this instant";
    return conversion::utc_to_obt(*s_.correlation, c, out);
}

const char* engine::write_int64(const instant& at, std::int64_t* out) {
    if (s_.target == format::tt2000) {
        if (at.marker != 0) return *out = at.marker, nullptr;
        temps::scale_time tai{};
        if (const char* why = tai_of(at, &tai)) return why;
        return temps::tai_to_tt2000(tai, out) != 0 ? "beyond what a TT2000 names (1707-09-22 to 2292-04-11)" : nullptr;
    }
    if (at.marker != 0) return conversion::marker_refused(at.marker);
    temps::civil_time c{};
    if (const char* why = utc_of(at, &c)) return why;
    int jd = 0;
    if (temps::julday(c.month, c.day, c.year, &jd) != 0) return "no such date";
    if (s_.target == format::jd) return *out = jd, nullptr;
    if (c.second == 60) return "a leap second, which datetime64 has not";
    const std::int64_t in_day = ((std::int64_t{c.hour} * 60 + c.minute) * 60 + c.second) * 1000000000 + c.nanosecond;
    __extension__ const __int128 ns = static_cast<__int128>(std::int64_t{jd} - temps::jd_1970) * ns_per_day + in_day;
    if (ns > INT64_MAX || ns <= INT64_MIN)  // INT64_MIN is NaT
        return "beyond what datetime64[ns] holds (1677-09-21 to 2262-04-11)";
    return *out = static_cast<std::int64_t>(ns), nullptr;
}

const char* engine::write_float64(const instant& at, double* out) {
    if (at.marker != 0) return conversion::marker_refused(at.marker);
    temps::civil_time c{};
    if (const char* why = utc_of(at, &c)) return why;
    const int r = s_.target == format::tu ? temps::utc_to_tu(c, out) : temps::utc_to_epoch(c, out);
    return r != 0 ? "no such UTC time" : nullptr;
}

const char* engine::write_complex(const instant& at, double* seconds, double* picoseconds) {
    if (at.marker != 0) return conversion::marker_refused(at.marker);
    temps::civil_time c{};
    temps::epoch16 e{};
    if (const char* why = utc_of(at, &c)) return why;
    if (temps::utc_to_epoch16(c, &e) != 0) return "no such UTC time";
    *seconds = e.seconds;
    *picoseconds = e.picoseconds + (c.second == 60 ? 0 : at.picoseconds);
    return nullptr;
}

}  // namespace pytemps
