// temps 4: calendar dates, Julian day numbers, TU time and on-board clock
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
// in <temps/legacy.h>: prefer a calibration value.
#ifndef TEMPS_TEMPS_H
#define TEMPS_TEMPS_H

#if __cplusplus < 202002L
#error "the temps library needs C++20 or later (-std=c++20)"
#endif

// The whole library; each header also stands alone.
#include "calendar.h"     // dates and Julian day numbers
#include "tu.h"           // TU time and the bridge to std::chrono
#include "calibration.h"  // on-board time and one calibration
#include "correlation.h"  // clock-correlation tables
#include "timescales.h"   // UTC with leap seconds, TAI, TT, GPS
#include "day_memo.h"     // the same over many labels, through memos of their days
#include "ccsds.h"        // CCSDS time codes
#include "cdf.h"          // CDF epochs: TT2000, EPOCH, EPOCH16
#include "labels.h"       // the text of instants: ISO labels, day of year, hexadecimal
#include "convert.h"      // one converter for every format
#include "spice.h"        // SPICE clock and leap-second kernels
#include "legacy.h"       // the mission's original names and process-wide calibration

#endif
