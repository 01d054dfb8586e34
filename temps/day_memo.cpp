#include "day_memo.h"

#include <cstdint>
#include <cstdlib>

namespace temps {
namespace {
// Consecutive days of 78 years never share a slot.
constexpr std::uint32_t slot_count = 32768;
}  // namespace

// Every slot's "none" is all zero bits: the slots come from calloc, whose
// large blocks are fresh pages that the system zeroes only as they are
// first touched. A converter set up for a few values touches a few pages,
// not 768 KiB.
struct day_memo::slots {
    // Eight bytes a day, so that the days of decades stay in the cache.
    struct utc_day {
        std::uint32_t key = 0;  // 0: none
        // Its day (since 1958-01-01) << 10 | TAI - UTC (0 to 511 s) << 1 | its status (0 or 1).
        std::uint32_t packed = 0;
    };
    struct scale_day {
        std::uint32_t day1 = 0;  // 1 + days since 1958-01-01; 0: none
        std::int16_t year = 0;
        std::int8_t month = 0, day_of_month = 0;
    };
    // A TAI day (86,400 s of the count) that one offset maps to UTC whole.
    struct tai_day {
        std::uint32_t day1 = 0;  // 1 + TAI seconds / 86400; 0: none
        std::int16_t offset = 0;  // TAI - UTC, whole seconds
        std::int16_t status = 0;
    };
    utc_day utc[slot_count];
    scale_day scale[slot_count];
    tai_day tai[slot_count];
};

namespace {


// A date's key: distinct for every date of years 1 to 9999, never 0, and
// consecutive days up to 78 years apart fall in distinct slots.
constexpr std::uint32_t key_of(int year, int month, int day) {
    return static_cast<std::uint32_t>(year) * 416 + static_cast<std::uint32_t>(month) * 32 +
           static_cast<std::uint32_t>(day);
}

constexpr std::int64_t first_whole_day = days_1958_to_1970 + 730;  // 1972-01-01: whole seconds from then on

}  // namespace

day_memo::day_memo(const leap_second_table& t) noexcept
    : table_(&t), expiry_(t.expires.time_since_epoch().count() + days_1958_to_1970 * std::int64_t{86400}),
      slots_(static_cast<struct slots*>(std::calloc(1, sizeof(struct slots)))) {}

day_memo::~day_memo() { std::free(slots_); }

void day_memo::rebind(const leap_second_table& t) noexcept {
    table_ = &t;
    expiry_ = t.expires.time_since_epoch().count() + days_1958_to_1970 * std::int64_t{86400};
    std::free(slots_);
    slots_ = static_cast<struct slots*>(std::calloc(1, sizeof(struct slots)));
}

int day_memo::utc_to_tai(const civil_time& utc, scale_time* tai) noexcept {
    const bool plain_time = utc.hour >= 0 && utc.hour <= 23 && utc.minute >= 0 && utc.minute <= 59 &&
                            utc.second >= 0 && utc.second <= 59 && utc.nanosecond >= 0 && utc.nanosecond < 1000000000;
    const bool plain_date = utc.year >= 1972 && utc.year <= 9999 && utc.month >= 1 && utc.month <= 12 &&
                            utc.day >= 1 && utc.day <= 31;
    const std::int64_t into = (std::int64_t{utc.hour} * 60 + utc.minute) * 60 + utc.second;
    const std::uint32_t key = plain_date ? key_of(utc.year, utc.month, utc.day) : 0;
    if (slots_ == nullptr) return temps::utc_to_tai(*table_, utc, tai);
    slots::utc_day& memo = slots_->utc[key % slot_count];
    if (key != 0 && plain_time && memo.key == key) {
        const std::int64_t start = std::int64_t{memo.packed >> 10} * 86400 + (memo.packed >> 1 & 511);
        *tai = {start + into, utc.nanosecond};
        return static_cast<int>(memo.packed & 1);
    }
    const int r = temps::utc_to_tai(*table_, utc, tai);
    if (r < 0 || key == 0 || !plain_time) return r;
    // Kept where the whole day answers alike: its offset whole seconds
    // (from the table's first entry, 1972, on), its 23:59:59 a time it had
    // with the same status (no negative leap second at its end, and the
    // table's expiry not inside it).
    const std::int64_t start = tai->second - into;
    const std::int64_t day_start = (start / 86400) * 86400;  // 00:00 UTC, in seconds since 1958
    scale_time last{};
    const bool whole_day = !table_->entries.empty() && day_start / 86400 >= first_whole_day &&
                           !(expiry_ > day_start && expiry_ < day_start + 86400) &&
                           temps::utc_to_tai(*table_, {utc.year, utc.month, utc.day, 23, 59, 59, 0}, &last) == r;
    const std::int64_t offset = start - day_start;
    if (whole_day && offset >= 0 && offset < 512)
        memo = {key, static_cast<std::uint32_t>(day_start / 86400) << 10 | static_cast<std::uint32_t>(offset) << 1 |
                         static_cast<std::uint32_t>(r)};
    return r;
}

int day_memo::label_of(scale_time t, civil_time* label_out) noexcept {
    const std::int64_t day = t.second >= 0 ? t.second / 86400 : -1;
    if (slots_ == nullptr) return temps::label_of(t, label_out);
    slots::scale_day& memo = slots_->scale[static_cast<std::uint64_t>(day) % slot_count];
    if (day < 0 || day >= UINT32_MAX || memo.day1 != day + 1 || t.nanosecond < 0 || t.nanosecond >= 1000000000) {
        const int r = temps::label_of(t, label_out);
        if (r == 0 && day >= 0 && day < UINT32_MAX)
            memo = {static_cast<std::uint32_t>(day + 1), static_cast<std::int16_t>(label_out->year),
                    static_cast<std::int8_t>(label_out->month), static_cast<std::int8_t>(label_out->day)};
        return r;
    }
    const auto into = static_cast<int>(t.second - day * 86400);
    *label_out = {memo.year, memo.month, memo.day_of_month, into / 3600, into / 60 % 60, into % 60, t.nanosecond};
    return 0;
}

int day_memo::tai_to_utc(scale_time tai, civil_time* utc) noexcept {
    const std::int64_t day = tai.second >= 0 ? tai.second / 86400 : -1;
    if (slots_ == nullptr || day < 0 || day > INT32_MAX || tai.nanosecond < 0 || tai.nanosecond >= 1000000000)
        return temps::tai_to_utc(*table_, tai, utc);
    slots::tai_day& memo = slots_->tai[static_cast<std::uint64_t>(day) % slot_count];
    if (memo.day1 != day + 1) {
        // Kept where the day's first and last nanoseconds map through one
        // whole-second offset with one status: no leap second inside it
        // (one UTC midnight falls in a TAI day), nor the table's expiry.
        civil_time first{}, last{};
        scale_time a{}, b{};
        const int r = temps::tai_to_utc(*table_, {day * 86400, 0}, &first);
        if (r < 0 || temps::tai_to_utc(*table_, {day * 86400 + 86399, 999999999}, &last) != r || first.second == 60 ||
            last.second == 60 || first.nanosecond != 0 || count_of(first, &a) != 0 || count_of(last, &b) != 0 ||
            day * 86400 - a.second != day * 86400 + 86399 - b.second || day * 86400 - a.second > INT16_MAX ||
            day * 86400 - a.second < 0)
            return temps::tai_to_utc(*table_, tai, utc);
        memo = {static_cast<std::uint32_t>(day + 1), static_cast<std::int16_t>(day * 86400 - a.second),
                static_cast<std::int16_t>(r)};
    }
    if (label_of({tai.second - memo.offset, tai.nanosecond}, utc) != 0) return temps::tai_to_utc(*table_, tai, utc);
    return memo.status;
}

int day_memo::cds_to_utc(const time_code& c, const date* agency_epoch, civil_time* utc, const char** reason) noexcept {
    // Days of codes from 1958 are the days of the label memo.
    if (slots_ == nullptr) return temps::cds_to_utc(c, agency_epoch, utc, reason);
    slots::scale_day& memo = slots_->scale[c.day % slot_count];
    const bool kept = c.day < UINT32_MAX;  // (day1 of the last day would be 0)
    if (!c.layout.cds || c.layout.agency || !kept || memo.day1 != c.day + 1) {
        const int r = temps::cds_to_utc(c, agency_epoch, utc, reason);
        if (r == 0 && c.layout.cds && !c.layout.agency && kept)
            memo = {c.day + 1, static_cast<std::int16_t>(utc->year),
                    static_cast<std::int8_t>(utc->month), static_cast<std::int8_t>(utc->day)};
        return r;
    }
    civil_time u{memo.year, memo.month, memo.day_of_month, 0, 0, 0, 0};
    detail::cds_time_of_day(c, &u);
    *utc = u;
    return 0;
}

}  // namespace temps
