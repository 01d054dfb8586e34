// Internal to the time library: an instant as whole milliseconds, exact,
// and what the reading and the indexing of correlation tables share.
#ifndef TEMPS_INSTANT_H
#define TEMPS_INSTANT_H

#include <cstdint>
#include <vector>

#include <temps/calendar.h>
#include "correlation_index.h"

namespace temps::detail {

// Milliseconds from 00:00 of day number 0 to the instant of t on day jd,
// exact for any int fields (|result| < 2^63).
constexpr std::int64_t instant_ms(int jd, const date_heure& t) noexcept {
    return std::int64_t{jd} * 86400000 +
           ((std::int64_t{t.heure} * 60 + t.minute) * 60 + t.seconde) * 1000 + t.milliseconde;
}

// prepare: false where tb_to_tu fails whatever the reading (uncalibrated,
// a rate not finite, reference year 0, a reference time out of range).
bool prepare(const calibration& c, prepared_calibration* p) noexcept;

// convert: tb_to_tu with a prepared calibration.
int convert(const prepared_calibration& p, double tb, date_heure* out) noexcept;

// offset_of: the day offset from the reference day and the milliseconds of
// that day (either sign) that tb_to_tu gives for tb; false when it fails.
bool offset_of(const prepared_calibration& p, double tb, int* days, int* ms) noexcept;

// instant_at: the instant (milliseconds since day 0) of the record
// tb_to_tu gives for tb; false when it fails.
bool instant_at(const prepared_calibration& p, double tb, std::int64_t* at) noexcept;

// reading_for: what tu_to_tb gives for the instant want (milliseconds
// since day 0); false for -1.
bool reading_for(const prepared_calibration& p, std::int64_t want, double* tb) noexcept;

// The date of a day (since 1958-01-01) of years 1 to 9999: caldat's
// answer, by whole-number arithmetic for Gregorian days (days from
// 1970-01-01 to civil, after Howard Hinnant's algorithm).
inline void date_of(std::int64_t day, int* year, int* month, int* dom) noexcept {
    if (day + jd_1958 < jd_reform) {
        caldat(month, dom, year, static_cast<int>(day + jd_1958));
        return;
    }
    const std::int64_t z = day - days_1958_to_1970 + 719468;  // days since 0000-03-01
    const std::int64_t era = z / 146097;                // z >= 0 here
    const std::int64_t doe = z - era * 146097;          // [0, 146096]
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                 // [0, 365]
    const std::int64_t mp = (5 * doy + 2) / 153;                                      // [0, 11]
    *dom = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yoe + era * 400 + (*month <= 2 ? 1 : 0));
}

// Why r may not follow prev in a table (nullptr: it may; prev nullptr for
// the first record).
const char* order_fault(const correlation_record* prev, const correlation_record& r) noexcept;

// Builds the index of records, which are in order. Throws std::bad_alloc.
void index_records(const std::vector<correlation_record>& records, std::shared_ptr<const correlation_index>* out);

}  // namespace temps::detail

#endif
