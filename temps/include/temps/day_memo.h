// temps: conversions in a loop over many labels, through memos of the UTC
// days seen. Part of <temps/temps.h>.
#ifndef TEMPS_DAY_MEMO_H
#define TEMPS_DAY_MEMO_H

#if __cplusplus < 202002L
#error "the temps library needs C++20 or later (-std=c++20)"
#endif

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
// must outlive it and not change while it is used. Its slots (768 KiB) are
// allocated apart.
class day_memo {
public:
    explicit day_memo(const leap_second_table& t) noexcept;
    ~day_memo();
    day_memo(const day_memo&) = delete;
    day_memo& operator=(const day_memo&) = delete;
    // rebind: forgets every day seen, and answers through t from now on.
    void rebind(const leap_second_table& t) noexcept;
    [[nodiscard]] int utc_to_tai(const civil_time& utc, scale_time* tai) noexcept;
    [[nodiscard]] int label_of(scale_time t, civil_time* label_out) noexcept;
    [[nodiscard]] int tai_to_utc(scale_time tai, civil_time* utc) noexcept;
    // cds_to_utc, with the dates of the days of codes counted from 1958.
    [[nodiscard]] int cds_to_utc(const time_code& c, const date* agency_epoch, civil_time* utc,
                                 const char** reason) noexcept;

private:
    struct slots;  // the days kept: the library's own, out of the public layout
    const leap_second_table* table_;
    std::int64_t expiry_;  // the table's expiry, seconds since 1958-01-01 UTC
    slots* slots_;         // nullptr where they could not be had: every answer is then the plain call's
};

}  // namespace temps

#endif
