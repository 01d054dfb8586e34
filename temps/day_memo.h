// temps: conversions in a loop over many labels, through memos of the UTC
// days seen. Part of <temps/temps.h>.
#ifndef TEMPS_DAY_MEMO_H
#define TEMPS_DAY_MEMO_H

#include <cstdint>

#include "ccsds.h"
#include "timescales.h"

namespace temps {

// day_memo: utc_to_tai and label_of with what they work out for a day
// (from 1972 on, its TAI at 00:00 and its status; on any scale, its date),
// tai_to_utc with the offset of each TAI day that one offset maps whole,
// and cds_to_utc with the same dates,
// kept for the days seen, 32,768 slots of them: consecutive days of 78 years
// never share a slot, so labels in any order over 1972 to 2049 are each
// worked out once. Every answer is the plain call's, status included.
//
// One per thread: it changes at each call. It refers to the table, which
// must outlive it and not change while it is used. It is large (768 KiB):
// allocate it rather than put it on the stack.
class day_memo {
public:
    explicit day_memo(const leap_second_table& t) noexcept;
    [[nodiscard]] int utc_to_tai(const civil_time& utc, scale_time* tai) noexcept;
    [[nodiscard]] int label_of(scale_time t, civil_time* label_out) noexcept;
    [[nodiscard]] int tai_to_utc(scale_time tai, civil_time* utc) noexcept;
    // cds_to_utc, with the dates of the days of codes counted from 1958.
    [[nodiscard]] int cds_to_utc(const time_code& c, const date* agency_epoch, civil_time* utc,
                                 const char** reason) noexcept;

private:
    static constexpr std::uint32_t slots = 32768;
    // Eight bytes a day, so that the days of decades stay in the cache.
    struct utc_day {
        std::uint32_t key = 0;  // 0: none
        // Its day (since 1958-01-01) << 10 | TAI - UTC (0 to 511 s) << 1 | its status (0 or 1).
        std::uint32_t packed = 0;
    };
    struct scale_day {
        std::int32_t day = -1;  // days since 1958-01-01; -1: none
        std::int16_t year = 0;
        std::int8_t month = 0, day_of_month = 0;
    };
    // A TAI day (86,400 s of the count) that one offset maps to UTC whole.
    struct tai_day {
        std::int32_t day = -1;  // TAI seconds / 86400; -1: none
        std::int16_t offset = 0;  // TAI - UTC, whole seconds
        std::int16_t status = 0;
    };
    const leap_second_table* table_;
    std::int64_t expiry_;  // the table's expiry, seconds since 1958-01-01 UTC
    utc_day utc_[slots] = {};
    scale_day scale_[slots] = {};
    tai_day tai_[slots] = {};
};

}  // namespace temps

#endif
