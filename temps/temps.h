// temps 2: calendar dates, Julian day numbers, TU time and on-board clock
// time for the KORVANE mission's programs.
//
// TU time is a double holding milliseconds since 1958-01-01 00:00:00, in
// days of 86,400 seconds: like std::chrono::sys_time, it knows no leap
// seconds. Dates up to 1582-10-04 are Julian, dates from 1582-10-15 on
// Gregorian; years before year 1 are negative and there is no year 0.
//
// Conventions: plain values in, results through pointer out-parameters,
// an int status that must be looked at ([[nodiscard]]): 0 on success, -1
// when no result was produced. Nothing throws (noexcept everywhere).
//
// Threads: every function is reentrant and may be called from many threads
// at once. The one exception, the process-wide calibration, is fenced off
// in <temps/legacy.h> (included below): prefer a calibration value.
#ifndef TEMPS_TEMPS_H
#define TEMPS_TEMPS_H

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
inline constexpr double tu_of_unix_epoch = 4383.0 * ms_per_day;

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

// On-board clock time (TB) is a reading of the spacecraft clock in its own
// units; a calibration maps it to TU with one reference pair and a rate.
struct date_heure {
    int annee;         // year
    int mois;          // month, 1..12
    int jour;          // day of month
    int heure;         // 0..23
    int minute;
    int seconde;
    int milliseconde;  // 0..999
};

// One calibration as a value: the on-board reading tb_ref taken at the TU
// instant tu_ref, and the rate k in on-board units per second.
// calibration{} is uncalibrated (k == 0).
struct calibration {
    double tb_ref;
    date_heure tu_ref;
    double k;
};

// tb_to_tu: on-board reading -> TU date and time with calibration c, the
// fraction of a millisecond dropped. Returns 0, or -1 with the sentinel
// record 9999-99-99 99:99:99.999 when uncalibrated (k == 0), when the rate
// is not finite, when the reference year is 0, or when the arithmetic
// would leave the int range (NaN or infinite readings, absurd rates or
// reference fields). Readings before 00:00 of the reference day count
// whole days toward zero: less than a day before, the reference date with
// negative time fields (999.0 against a midnight reference at 1000.0 is
// 00:00:-1.000); further back, an earlier date, still with negative fields
// for a partial day.
[[nodiscard]] int tb_to_tu(const calibration& c, double tb, date_heure* out) noexcept;

// tu_to_tb: TU instant -> the on-board reading at that instant with
// calibration c, such that tb_to_tu(c, *tb) gives back the same instant to
// the millisecond (fields as tb_to_tu writes them: before 00:00 of the
// reference day, negative time fields). Returns 0, or -1 with *tb
// untouched where no reading exists: uncalibrated, a non-finite rate, a
// reference or instant with year 0, or an instant beyond the range
// tb_to_tu can give. tu's fields need not be in range (minute 75 is
// 01:15).
[[nodiscard]] int tu_to_tb(const calibration& c, const date_heure& tu, double* tb) noexcept;

}  // namespace temps

#include "correlation.h"
#include "legacy.h"
#include "timescales.h"
#include "ccsds.h"

#endif
