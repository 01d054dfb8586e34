// temps: TU time, milliseconds since 1958-01-01 00:00:00 in days of
// 86,400 seconds (no leap seconds, like std::chrono::sys_time), to and from
// calendar dates and std::chrono time points. Part of <temps/temps.h>.
#ifndef TEMPS_TU_H
#define TEMPS_TU_H

#if __cplusplus < 202002L
#error "the temps library needs C++20 or later (-std=c++20)"
#endif

#include <chrono>

#include "calendar.h"

namespace temps {

// calendar_to_tu: calendar date and time of day -> TU time.
//   second becomes whole milliseconds by truncating 1000 * second + 0.5
//   toward zero: rounding to nearest with halves upward for seconds >= 0;
//   a negative second within half a millisecond or more of 0 still counts
//   toward zero (minute 1, second -0.0012 is 60000.0 ms, not 59999.0).
//   Hour and minute are not range-checked (hour 25 is 01:00 of the next day).
//   Returns NaN when there is no such instant: year 0, or a time of day
//   whose milliseconds do not fit in an int (|hour| beyond about 596).
double calendar_to_tu(int year, int month, int day, int hour, int minute, double second) noexcept;

// tu_to_calendar: TU time -> calendar date and time of day, second with its
// fraction. Times before the epoch get their own day and a time of day in
// range (-1000.0 is 1957-12-31 23:59:59.0). Hour, minute and second are
// always in range: a time so close to the next midnight that its seconds
// round to 86400 is that midnight (-1e-9 is 1958-01-01 00:00:00). A NaN,
// an infinity or a time whose day number does not fit in an int yields the
// sentinel 9999-99-99 99:99 and second 99.999, a date that never
// round-trips.
void tu_to_calendar(double tu, int* year, int* month, int* day, int* hour, int* minute,
                    double* second) noexcept;

// The bridge to std::chrono. TU and Unix time both count days of 86,400
// seconds; 1970-01-01 is TU day 4383.
using tu_duration = std::chrono::duration<double, std::milli>;
inline constexpr double tu_of_unix_epoch = days_1958_to_1970 * ms_per_day;

// to_sys: a TU time as a std::chrono time point (same instant, same day
// length).
constexpr std::chrono::sys_time<tu_duration> to_sys(double tu) noexcept {
    return std::chrono::sys_time<tu_duration>(tu_duration(tu - tu_of_unix_epoch));
}

// to_tu: a std::chrono time point of any duration as a TU time.
template <class Duration>
constexpr double to_tu(std::chrono::sys_time<Duration> t) noexcept {
    return std::chrono::duration_cast<tu_duration>(t.time_since_epoch()).count() + tu_of_unix_epoch;
}

}  // namespace temps

#endif
