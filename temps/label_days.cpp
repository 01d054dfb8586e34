// Labels of whole UTC days, read and written as an offset. From 1972 on,
// every label of a day before its 23:59:59 is its 00:00 in TAI and the
// seconds since: UTC's steps fall at the end of a day. So a UTC label read
// for a count on TAI (tt2000, tai, tt, gps) is its day's TAI at 00:00 plus
// its time of day, and a TAI count written as a UTC label is its day's
// text and the time since that 00:00. Each day is worked out once by the
// plain calls at both ends of it, and kept only where they give it whole,
// without a warning; anything else (the last second of a day, a day
// before 1972, past the list's expiry, a label refused) goes the plain way.
#include <cstdlib>
#include <cstring>

#include "convert_impl.h"

namespace temps {
namespace {

constexpr std::size_t slot_count = 32768;    // 78 years of days (89 of TAI days), none two in a slot
constexpr std::int64_t whole_seconds = 86399;  // 00:00:00 to 23:59:59, which is left out
constexpr int first_whole_year = 1972;

constexpr std::uint32_t key_of(int year, int month, int day) {
    return static_cast<std::uint32_t>(year) * 416 + static_cast<std::uint32_t>(month) * 32 +
           static_cast<std::uint32_t>(day);
}

constexpr bool same(const civil_time& a, const civil_time& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
           a.second == b.second && a.nanosecond == b.nanosecond;
}

// The TAI of the day's 00:00 where every label of it before 23:59:59 is
// that and its time of day, with no warning, by the plain calls; -1 for
// none.
std::int64_t whole_day_start(const leap_second_table& t, int year, int month, int day) noexcept {
    if (year < first_whole_year || year > 9999) return -1;
    scale_time first{}, last{};
    civil_time back_first{}, back_last{};
    const civil_time midnight{year, month, day, 0, 0, 0, 0}, late{year, month, day, 23, 59, 58, 999999999};
    if (utc_to_tai(t, midnight, &first) != 0 || utc_to_tai(t, late, &last) != 0 ||
        last.second - first.second != whole_seconds - 1 || first.nanosecond != 0 || last.nanosecond != 999999999)
        return -1;
    if (tai_to_utc(t, first, &back_first) != 0 || tai_to_utc(t, last, &back_last) != 0 ||
        !same(back_first, midnight) || !same(back_last, late))
        return -1;
    return first.second;
}

}  // namespace

struct converter::impl::label_day_in {
    std::uint32_t key = 0;  // of its date; 0: none
    std::int64_t tai = 0;   // TAI seconds (since 1958) at its 00:00
};

// The slots of both tables come from calloc, "none" being all zero bits:
// the pages of days never seen are never touched.
struct converter::impl::label_day_out {
    std::int64_t tai = 0;  // TAI seconds at its 00:00 (of 1972 or later); 0: none
    std::int64_t number = 0;  // tai / 86400
    label_day text;
};

void converter::impl::free_label_days() noexcept {
    std::free(days_in);
    std::free(days_out);
}

bool converter::impl::read_by_day(std::string_view text, instant* at) noexcept {
    civil_time c{};
    if (read_label(text, &c, &read_day) != 0 || c.year < first_whole_year) return false;
    const std::int64_t into = (std::int64_t{c.hour} * 60 + c.minute) * 60 + c.second;
    if (c.second == 60 || into >= whole_seconds) return false;  // second 60: a leap second or none
    const std::uint32_t key = key_of(c.year, c.month, c.day);
    if (days_in == nullptr &&
        (days_in = static_cast<label_day_in*>(std::calloc(slot_count, sizeof(label_day_in)))) == nullptr)
        return false;
    label_day_in& slot = days_in[key % slot_count];
    if (slot.key != key) {
        refusal why = refusal::none;
        const leap_second_table* t = table(&why);
        if (t == nullptr) return false;
        const std::int64_t start = whole_day_start(*t, c.year, c.month, c.day);
        if (start < 0) return false;
        slot = {key, start};
    }
    at->tai_count = true;
    at->tai = {slot.tai + into, c.nanosecond};
    return true;
}

bool converter::impl::write_by_day(const instant& at, held_result* out, char* text) noexcept {
    const std::int64_t t = at.tai.second;
    if (t < 0 || at.tai.nanosecond < 0 || at.tai.nanosecond >= 1000000000) return false;
    if (days_out == nullptr &&
        (days_out = static_cast<label_day_out*>(std::calloc(slot_count, sizeof(label_day_out)))) == nullptr)
        return false;
    // The UTC day of a TAI second starts on its TAI day or the one before.
    const std::int64_t n = t / 86400;
    const label_day_out* d = &days_out[static_cast<std::size_t>(n) % slot_count];
    if (d->number != n || t < d->tai) d = &days_out[static_cast<std::size_t>(n + slot_count - 1) % slot_count];
    if (d->tai <= 0 || t < d->tai || t >= d->tai + whole_seconds) {
        refusal why = refusal::none;
        const leap_second_table* table_of = table(&why);
        civil_time c{};
        if (table_of == nullptr || tai_to_utc(*table_of, {t, 0}, &c) != 0) return false;
        const std::int64_t start = whole_day_start(*table_of, c.year, c.month, c.day);
        if (start < 0 || t >= start + whole_seconds) return false;
        label_day_out& slot = days_out[static_cast<std::size_t>(start / 86400) % slot_count];
        slot.tai = start;
        slot.number = start / 86400;
        slot.text = {};
        char day_text[label_capacity];
        static_cast<void>(write_label({c.year, c.month, c.day, 0, 0, 0, 0}, 0, day_text, &slot.text));
        d = &slot;
    }
    const auto into = static_cast<int>(t - d->tai);
    const civil_time c{d->text.year, d->text.month, d->text.day, into / 3600, into / 60 % 60, into % 60, at.tai.nanosecond};
    label_day memo = d->text;
    out->text_size = write_label(c, s.precision, text, &memo);
    return true;
}

}  // namespace temps
