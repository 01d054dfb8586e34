// The converter: what every value goes through whatever its format. A
// value is read into an instant (a TAI count, or a UTC label, whichever
// its format gives exactly), checked to be a time UTC had, and written
// from it; every step between scales is the time scales'.
#include "convert.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "cdf.h"
#include "convert_impl.h"
#include "digits.h"
#include "tu.h"

namespace temps {
namespace {

constexpr const char* refusal_texts[] = {
    "",
    "an empty value",
    "not a UTC time YYYY-MM-DDTHH:MM:SS[.fraction][Z]",
    "not a time YYYY-MM-DDTHH:MM:SS[.fraction][Z]",
    "no leap second at this time",
    "past the end of a leap second shorter than a second",
    "a UTC time that a step of the 1960s skipped",
    "no such UTC time",
    "beyond the years 1 to 9999",
    "not a TU time in milliseconds",
    "a TU time beyond the years 1 to 9999",
    "not a Julian day number",
    "a Julian day number beyond the years 1 to 9999",
    "not PARTITION/READING",
    "no record covers this reading",
    "no record covers this instant",
    "out of range",
    "obt needs a correlation table",
    "not hexadecimal octets",
    "not a time code",
    "not a CDS code",
    "not a CUC code",
    "a millisecond of day past 86,399,999 on a day without a leap second",
    "not a TT2000 (nanoseconds since J2000, an int64)",
    "beyond what a TT2000 names (1707-09-22 to 2292-04-11)",
    "CDF's fill value, not an instant",
    "CDF's pad value, not an instant",
    "not a CDF epoch in milliseconds",
    "a CDF epoch beyond the years 1 to 9999",
    "out of range",
    "not a CDF epoch16 <seconds>.<12 digits of picoseconds>",
    "a CDF epoch16 beyond the years 1 to 9999",
    "NaT, not an instant",
    "a leap second, which datetime64 has not",
    "beyond what datetime64[ns] holds (1677-09-21 to 2262-04-11)",
    "finer than a picosecond",
    "not POSIX seconds since 1970-01-01 (a decimal to the nanosecond)",
    "POSIX seconds beyond the years 1 to 9999",
    "a leap second, which POSIX time has not",
    "not a UTC time YYYY-DDDTHH:MM:SS[.fraction][Z]",
    "not a clock reading PARTITION/FIELD.FIELD...",
    "a partition the clock kernel lacks",
    "a field below its offset",
    "ticks outside their partition",
    "an instant the clock kernel does not map",
    "sclk needs a clock kernel (SCLK)",
    "needs a leap-second kernel (LSK)",
    "not ephemeris seconds past J2000 (a decimal to the nanosecond)",
    "needs a leap-second list",
    "the leap-second list cannot be used",
    "out of memory",
};
static_assert(std::size(refusal_texts) == static_cast<std::size_t>(refusal::no_memory) + 1);

// 1972-01-01, when UTC's steps of less than a second ended.
constexpr int year_leaps_whole = 1972;

}  // namespace

const char* refusal_text(refusal r) noexcept {
    const auto i = static_cast<std::size_t>(r);
    return i < std::size(refusal_texts) ? refusal_texts[i] : "";
}

const format_info* format_named(std::string_view name) noexcept {
    for (const format_info& f : formats())
        if (f.name == name) return &f;
    return nullptr;
}

const format_info& info_of(format f) noexcept {
    const std::span<const format_info> all = formats();
    return all[static_cast<std::size_t>(f) % all.size()];
}

bool datetime64_unit_named(std::string_view text, datetime64_unit* out) noexcept {
    std::int64_t count = 1;
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits > 0) {
        const auto [end, ec] = std::from_chars(text.data(), text.data() + digits, count);
        if (ec != std::errc{} || count < 1) return false;
    }
    constexpr std::string_view names[] = {"Y", "M", "W", "D", "h", "m", "s", "ms", "us", "ns", "ps", "fs", "as"};
    const std::string_view unit = text.substr(digits);
    for (std::size_t i = 0; i < std::size(names); ++i)
        if (unit == names[i]) {
            *out = {static_cast<time_unit>(i), count};
            return true;
        }
    return false;
}

converter::impl::impl(const converter_settings& settings) noexcept
    : s(settings), from(&row_of(settings.from)), to(&row_of(settings.to)), leaps(settings.leaps) {
    s.precision = std::clamp(s.precision, 0, 9);
    by_day_in = s.from == format::utc && (s.to == format::tt2000 || (to->info.label && s.to != format::utc));
    by_day_out = s.to == format::utc;
    if (s.clock != nullptr) detail::prepare_fields(*s.clock, &clock_fields);
}

refusal converter::impl::fail(refusal r, const char* why) noexcept {
    reason = why != nullptr ? why : refusal_text(r);
    return r;
}

void converter::impl::dubious(int status, const civil_time& utc) noexcept {
    if (status == status_dubious) warnings |= utc.year < 1960 ? warned_before_1960 : warned_expired;
}

refusal converter::impl::in_leap_second(const civil_time& c, refusal otherwise) noexcept {
    refusal why = refusal::none;
    const leap_second_table* t = table(&why);
    if (t == nullptr) return fail(why);
    scale_time tai{};
    const int r = utc_to_tai(*t, c, &tai);
    if (r >= 0) return refusal::none;
    if (r != status_no_leap) return fail(refusal::no_such_utc);
    // A leap of less than a second (the 1960s, and the end of 1971): say
    // where it ends. Its length is the TAI from 23:59:59 to the next day's
    // 00:00:00, less the one second of the labels.
    civil_time last = c;
    last.second = 59, last.nanosecond = 0;
    const date tomorrow = next_day({c.year, c.month, c.day});
    scale_time before{}, after{};
    if (c.hour == 23 && c.minute == 59 && utc_to_tai(*t, last, &before) >= 0 &&
        utc_to_tai(*t, {tomorrow.year, tomorrow.month, tomorrow.day, 0, 0, 0, 0}, &after) >= 0) {
        const std::int64_t leap = (after.second - before.second - 1) * 1000000000 + after.nanosecond - before.nanosecond;
        if (leap > 0 && leap < 1000000000) {
            int n = std::snprintf(detail, sizeof detail, "the leap second of %04d-%02d-%02d ends at 23:59:60.%09lld",
                                  c.year, c.month, c.day, static_cast<long long>(leap));
            while (detail[n - 1] == '0') detail[--n] = '\0';
            return fail(refusal::leap_second_ends, detail);
        }
    }
    return fail(otherwise);
}

refusal converter::impl::exists(const instant& at) noexcept {
    const civil_time& c = at.utc;
    // Most labels: before 23:59:59, of a year of whole leap seconds.
    if (at.tai_count || at.marker != 0 ||
        (c.year >= year_leaps_whole && (c.second < 59 || (c.second == 59 && (c.minute < 59 || c.hour < 23)))))
        return refusal::none;
    if (c.second == 60)
        return in_leap_second(c, s.from == format::cds ? refusal::cds_no_leap : refusal::no_leap_second);
    // The last second of a day that ends with a negative leap second is
    // a label UTC never had, whatever the output.
    if (c.hour == 23 && c.minute == 59 && c.second == 59 && c.year >= year_leaps_whole) {
        refusal why = refusal::none;
        const leap_second_table* t = table(&why);
        if (t == nullptr) return fail(why);
        scale_time tai{};
        return days().utc_to_tai(c, &tai) == status_no_leap ? fail(refusal::no_leap_second) : refusal::none;
    }
    // The steps of the 1960s skipped some labels: UTC's own rows, which
    // need no table.
    if (c.year < 1960 || c.year >= year_leaps_whole) return refusal::none;
    scale_time tai{};
    return utc_to_tai(none, c, &tai) >= 0 ? refusal::none : fail(refusal::skipped);
}

refusal converter::impl::utc_of(const instant& at, civil_time* c) noexcept {
    if (!at.tai_count) {
        *c = at.utc;
        return refusal::none;
    }
    refusal why = refusal::none;
    if (table(&why) == nullptr) return fail(why);
    const int r = days().tai_to_utc(at.tai, c);
    if (r < 0) return fail(refusal::beyond_years);
    dubious(r, *c);
    return refusal::none;
}

refusal converter::impl::tai_of(const instant& at, scale_time* tai) noexcept {
    if (at.tai_count) {
        *tai = at.tai;
        return refusal::none;
    }
    refusal why = refusal::none;
    if (table(&why) == nullptr) return fail(why);
    const int r = days().utc_to_tai(at.utc, tai);
    if (r < 0) return fail(refusal::no_such_utc);
    dubious(r, at.utc);
    return refusal::none;
}

refusal converter::impl::read(const held_value& v, instant* at) noexcept {
    *at = instant{};
    if ((from->info.held == holding::text || from->info.held == holding::octets) && v.text.empty())
        return fail(refusal::empty);
    if (by_day_in && read_by_day(v.text, at)) return refusal::none;
    // A label read for a TT2000 may name one of its markers (which begin
    // with 9999 or 0000).
    if (from->info.label && s.to == format::tt2000 && (v.text[0] == '9' || v.text[0] == '0'))
        if (const std::int64_t m = detail::marker_named(v.text); m != 0) return at->marker = m, refusal::none;
    const refusal r = from->read(*this, v, at);
    return r != refusal::none ? r : exists(*at);
}

refusal converter::impl::write(const instant& at, held_result* out, char* text) noexcept {
    *out = held_result{};
    if (at.marker != 0) {
        if (s.to == format::tt2000) return out->integer = at.marker, refusal::none;
        if (!to->info.label) return fail(at.marker == tt2000_fill ? refusal::fill_marker : refusal::pad_marker);
        out->text_size = write_label(detail::marker_label(at.marker), s.precision, text);
        return refusal::none;
    }
    if (by_day_out && at.tai_count && write_by_day(at, out, text)) return refusal::none;
    return to->write(*this, at, out, text);
}

refusal converter::impl::read_text(std::string_view v, instant* at) noexcept {
    if (v.empty()) return fail(refusal::empty);
    if (from->read_text == nullptr) {
        if (from->info.held == holding::text) return read({v}, at);  // the text is the value
        std::uint8_t octets[32];
        const int n = read_hex(v, octets, sizeof octets);
        if (n < 0) return fail(refusal::not_hex);
        return read({std::string_view(reinterpret_cast<const char*>(octets), static_cast<std::size_t>(n))}, at);
    }
    *at = instant{};
    const refusal r = from->read_text(*this, v, at);
    return r != refusal::none ? r : exists(*at);
}

refusal converter::impl::write_text(const instant& at, char* out, std::size_t* n) noexcept {
    if (to->write_text == nullptr || at.marker != 0) {
        held_result h{};
        char octets[64];
        const bool hex = to->info.held == holding::octets;
        const refusal r = write(at, &h, hex ? octets : out);
        if (r != refusal::none) return r;
        if (to->info.held == holding::int64) {
            *n = detail::write_int64(out, h.integer);
            return refusal::none;
        }
        *n = hex ? write_hex(reinterpret_cast<const std::uint8_t*>(octets), h.text_size, out) : h.text_size;
        return refusal::none;
    }
    return to->write_text(*this, at, out, n);
}

converter::impl::~impl() {
    std::free(day_offsets);
    free_label_days();
}

refusal converter::impl::convert(const held_value& v, held_result* out, char* text) noexcept {
    instant at;
    const refusal r = read(v, &at);
    return r != refusal::none ? r : write(at, out, text);
}

namespace {
constexpr std::int64_t ns_per_day = 86400LL * 1000000000;
constexpr std::size_t offset_slots = 8192;  // 22 years of days without two in one slot
constexpr std::int64_t not_whole = INT64_MIN;  // the offset of a day that is not whole
}  // namespace

bool converter::impl::whole_day(std::int64_t v, day_offset* d) noexcept {
    const std::int64_t day = v / ns_per_day - (v % ns_per_day < 0 ? 1 : 0);
    if (day < (year_leaps_whole - 1970) * 365 + 1 || day > (INT64_MAX / ns_per_day) - 2) return false;
    const unsigned before = warnings;
    held_result first, last;
    const std::int64_t start = day * ns_per_day;
    const bool whole = convert({{}, start}, &first, nullptr) == refusal::none &&
                       convert({{}, start + ns_per_day - 1}, &last, nullptr) == refusal::none && warnings == before &&
                       last.integer - first.integer == ns_per_day - 1;
    // A day that is not whole is marked so, its values converted one by
    // one; the warnings are theirs, not this look's.
    warnings = before;
    *d = {start, start + ns_per_day, whole ? first.integer - start : not_whole};
    return whole;
}

converter::converter(const converter_settings& s) noexcept : impl_(new (std::nothrow) impl(s)) {}

converter::~converter() { delete impl_; }

refusal converter::convert(const held_value& in, held_result* out, char* text) noexcept {
    return impl_ == nullptr ? refusal::no_memory : impl_->convert(in, out, text);
}

std::size_t converter::convert(std::span<const std::int64_t> in, std::span<std::int64_t> out,
                               std::span<refusal> status) noexcept {
    const std::size_t n = std::min({in.size(), out.size(), status.size()});
    if (impl_ == nullptr) {
        std::fill_n(status.begin(), n, refusal::no_memory);
        return n;
    }
    impl& c = *impl_;
    std::size_t refused = 0;
    const bool by_days = c.s.from == format::datetime64 && c.s.to == format::tt2000 &&
                         c.s.in_unit.unit == time_unit::ns && c.s.in_unit.count == 1 &&
                         (c.day_offsets != nullptr || (c.day_offsets = static_cast<impl::day_offset*>(
                                                     std::calloc(offset_slots, sizeof(impl::day_offset)))) != nullptr);
    impl::day_offset last{};  // the day of the value before: a time series stays in it
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t v = in[i];
        if (by_days) {
            if (v >= last.first && v < last.end) {
                out[i] = v + last.offset;
                status[i] = refusal::none;
                continue;
            }
            if (v != datetime64_nat) {
                const std::int64_t day = v / ns_per_day - (v % ns_per_day < 0 ? 1 : 0);
                impl::day_offset& slot = c.day_offsets[static_cast<std::uint64_t>(day) % offset_slots];
                const bool known = v >= slot.first && v < slot.end;
                if ((known && slot.offset != not_whole) || (!known && c.whole_day(v, &slot))) {
                    last = slot;
                    out[i] = v + last.offset;
                    status[i] = refusal::none;
                    continue;
                }
            }
        }
        held_result r;
        status[i] = c.convert({{}, v}, &r, nullptr);
        out[i] = r.integer;
        refused += status[i] != refusal::none ? 1 : 0;
    }
    return refused;
}

std::size_t converter::convert(std::span<const held_value> in, std::span<held_result> out, std::span<refusal> status,
                               char* texts, std::size_t stride) noexcept {
    std::size_t refused = 0;
    const std::size_t n = std::min({in.size(), out.size(), status.size()});
    for (std::size_t i = 0; i < n; ++i) {
        status[i] = convert(in[i], &out[i], texts != nullptr ? texts + i * stride : nullptr);
        refused += status[i] != refusal::none ? 1 : 0;
    }
    return refused;
}

refusal converter::convert_text(std::string_view in, char* out, std::size_t* n) noexcept {
    if (impl_ == nullptr) return refusal::no_memory;
    *n = 0;
    instant at;
    const refusal r = impl_->read_text(in, &at);
    return r != refusal::none ? r : impl_->write_text(at, out, n);
}

std::size_t converter::text_capacity() const noexcept {
    return impl_ != nullptr && impl_->s.to == format::obt ? detail::obt_capacity : 64;
}

const char* converter::reason() const noexcept { return impl_ != nullptr ? impl_->reason : refusal_text(refusal::no_memory); }

unsigned converter::warnings() const noexcept { return impl_ != nullptr ? impl_->warnings : 0; }

namespace detail {

refusal obt_to_utc(const correlation& table, std::string_view text, civil_time* c) noexcept {
    int partition = 0;
    double reading = 0.0;
    const char* p = text.data();
    const char* e = p + text.size();
    const auto [slash, ec1] = std::from_chars(p, e, partition);
    if (ec1 != std::errc{} || slash == e || *slash != '/') return refusal::not_obt;
    const auto [end, ec2] = std::from_chars(slash + 1, e, reading);
    if (ec2 != std::errc{} || end != e) return refusal::not_obt;
    date_heure d{};
    if (tb_to_tu(table, partition, reading, &d) != 0) return refusal::obt_not_covered;
    const double tu = calendar_to_tu(d.annee, d.mois, d.jour, d.heure, d.minute, d.seconde);
    if (std::isnan(tu) || tu_to_utc(tu + d.milliseconde, c) != 0) return refusal::obt_out_of_range;
    return refusal::none;
}

refusal utc_to_obt(const correlation& table, const civil_time& c, char* out, std::size_t* n) noexcept {
    double tu = 0.0;
    if (utc_to_tu(c, &tu) != 0) return refusal::no_such_utc;
    const date_heure at_ms{c.year, c.month, c.day, c.hour, c.minute, std::min(c.second, 59),
                           c.second == 60 ? 999 : c.nanosecond / 1000000};
    int partition = 0;
    double reading = 0.0;
    if (tu_to_tb(table, at_ms, &partition, &reading) != 0) return refusal::obt_instant_not_covered;
    const int k = std::snprintf(out, obt_capacity, "%d/%.6f", partition, reading);
    if (k < 0 || static_cast<std::size_t>(k) >= obt_capacity) return refusal::obt_out_of_range;
    *n = static_cast<std::size_t>(k);
    return refusal::none;
}

namespace {
constexpr civil_time fill_label{9999, 12, 31, 23, 59, 59, 999999999};
constexpr civil_time pad_label{0, 1, 1, 0, 0, 0, 0};
}  // namespace

std::int64_t marker_named(std::string_view label) noexcept {
    std::string_view v = label;
    if (!v.empty() && v.back() == 'Z') v.remove_suffix(1);
    if (v == "9999-12-31T23:59:59.999999999") return tt2000_fill;
    constexpr std::string_view pad = "0000-01-01T00:00:00";
    if (v.substr(0, pad.size()) != pad) return 0;
    v.remove_prefix(pad.size());
    const bool zeros = v.empty() || (v.size() >= 2 && v.size() <= 10 && v[0] == '.' &&
                                     v.find_first_not_of('0', 1) == std::string_view::npos);
    return zeros ? tt2000_pad : 0;
}

const civil_time& marker_label(std::int64_t marker) noexcept { return marker == tt2000_fill ? fill_label : pad_label; }

}  // namespace detail
}  // namespace temps
