// temps: the mission's original interface, kept name for name and result
// for result for the programs written against it. New code uses the
// reentrant forms of <temps/temps.h> instead. Included by <temps/temps.h>.
#ifndef TEMPS_LEGACY_H
#define TEMPS_LEGACY_H

#if __cplusplus < 202002L
#error "the temps library needs C++20 or later (-std=c++20)"
#endif

#include "calibration.h"
#include "tu.h"

namespace temps {

// tu_to_date: calendar_to_tu under its original name, which runs backwards
// (it takes a date and returns a TU time).
inline double tu_to_date(int year, int month, int day, int hour, int minute, double second) noexcept {
    return calendar_to_tu(year, month, day, hour, minute, second);
}

// date_to_tu: tu_to_calendar under its original name (it takes a TU time
// and yields a date).
inline void date_to_tu(double tu, int* year, int* month, int* day, int* hour, int* minute,
                       double* second) noexcept {
    tu_to_calendar(tu, year, month, day, hour, minute, second);
}

// The process-wide calibration: reference TU instant, the on-board time
// read at that instant and the clock rate in on-board units per second.
// All zero at start; K == 0 means uncalibrated. Not synchronised: callers
// must not share it between threads. A calibration value with tb_to_tu
// does the same without these limits.
extern date_heure rtu;
extern double rtb;
extern double K;

// init_recalage: replaces the whole calibration. Checks nothing: a rate of 0
// or a reference year of 0 show up as failures of tb_en_tu.
void init_recalage(double tb_ref, const date_heure* tu_ref, double k) noexcept;

// tb_en_tu: tb_to_tu with the process-wide calibration, statuses and
// sentinel included.
[[nodiscard]] int tb_en_tu(double tb, date_heure* out) noexcept;

}  // namespace temps

#endif
