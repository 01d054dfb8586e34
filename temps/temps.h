// temps: calendar dates, Julian day numbers, TU time and on-board clock time.
//
// TU time is a double holding milliseconds since 1958-01-01 00:00:00.
// Dates up to 1582-10-04 are Julian, dates from 1582-10-15 on Gregorian;
// years before year 1 are negative and there is no year 0.
//
// Conventions: inputs by value, results through pointer out-parameters,
// int status 0 on success and -1 when no result was produced.
//
// Threads: every function is reentrant and may be called from many threads
// at once, except the process-wide calibration (rtu, rtb, K, init_recalage
// and tb_en_tu), which callers must not share between threads. A
// calibration held as a value (struct calibration, tb_to_tu, tu_to_tb)
// has no such limit.
#ifndef TEMPS_TEMPS_H
#define TEMPS_TEMPS_H

#include <climits>
#include <cstdint>

namespace temps {

static_assert(sizeof(int) == 4 && INT_MAX == 2147483647, "day numbers are 32-bit");
static_assert(sizeof(double) == 8, "TU times are IEEE doubles");

inline constexpr int jd_1958 = 2436205;   // 1958-01-01, the TU epoch
inline constexpr double ms_per_day = 86400000.0;

// julday: calendar date -> Julian day number (classical 30.6001 formula).
//   month, day: not range-checked; day 0 is the last day of the previous
//     month, month 13 is January of the next year, month 0 December of the
//     year before.
//   Returns 0 and stores the day number in *jd; returns -1 and leaves *jd
//     untouched when year is 0 or the day number does not fit in an int.
//   Exact for every date of years 1 to 9999; 1582-10-05..14 (dropped by the
//   reform) get the numbers of 1582-10-15..24.
int julday(int month, int day, int year, int* jd);

// caldat: Julian day number -> calendar date (Gregorian from 2299161,
// Julian before). Safe for every int; a real date (month 1..12, a day that
// month has) for every day number from -1401 on: below, the classical
// formula leaves its range (-1404..-1402 give 29..31 February of -4716).
// For negative years it does not always invert julday (julday(1, 1, -1)
// comes back as -1-01-02).
void caldat(int* month, int* day, int* year, int jd);

// tu_to_date: calendar date and time of day -> TU time.
//   second becomes whole milliseconds by truncating 1000 * second + 0.5
//   toward zero: rounding to nearest with halves upward for seconds >= 0;
//   a negative second within half a millisecond or more of 0 still counts
//   toward zero (minute 1, second -0.0012 is 60000.0 ms, not 59999.0).
//   Hour and minute are not range-checked (hour 25 is 01:00 of the next day).
//   Returns NaN when there is no such instant: year 0, or a time of day
//   whose milliseconds do not fit in an int (|hour| beyond about 596).
double tu_to_date(int year, int month, int day, int hour, int minute, double second);

// date_to_tu: TU time -> calendar date and time of day, second with its
// fraction. Times before the epoch get their own day and a time of day in
// range (-1000.0 is 1957-12-31 23:59:59.0). Hour, minute and second are
// always in range: a time so close to the next midnight that its seconds
// round to 86400 is that midnight (-1e-9 is 1958-01-01 00:00:00). A NaN, an infinity or a time whose
// day number does not fit in an int yields the sentinel 9999-99-99
// 99:99 and second 99.999, a date that never round-trips.
void date_to_tu(double tu, int* year, int* month, int* day, int* hour, int* minute,
                double* second);

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

// Process-wide calibration: reference TU instant, the on-board time read at
// that instant and the clock rate in on-board units per second. All zero at
// start; K == 0 means uncalibrated. Not synchronised: the one part of the
// library that is not reentrant (see struct calibration below for the
// reentrant form).
extern date_heure rtu;
extern double rtb;
extern double K;

// init_recalage: replaces the whole calibration. Checks nothing: a rate of 0
// or a reference year of 0 show up as failures of tb_en_tu.
void init_recalage(double tb_ref, const date_heure* tu_ref, double k);

// tb_en_tu: on-board time -> TU date and time, the fraction of a millisecond
// dropped. Returns 0, or -1 with the sentinel record 9999-99-99
// 99:99:99.999 when uncalibrated (rate 0), when the rate is not finite,
// when the reference year is 0, or when the arithmetic would leave the int
// range (NaN or infinite times, absurd rates or reference fields).
// Times before 00:00 of the reference day count whole days toward zero:
// less than a day before, the reference date with negative time fields
// (999.0 against a midnight reference at 1000.0 is 00:00:-1.000); further
// back, an earlier date, still with negative fields for a partial day.
int tb_en_tu(double tb, date_heure* out);

// One calibration as a value: the on-board reading tb_ref taken at the TU
// instant tu_ref, and the rate k in on-board units per second.
// calibration{} is uncalibrated (k == 0).
struct calibration {
    double tb_ref;
    date_heure tu_ref;
    double k;
};

// tb_to_tu: on-board reading -> TU date and time with calibration c.
// Exactly what tb_en_tu gives after init_recalage(c.tb_ref, &c.tu_ref,
// c.k), statuses and sentinel included. Reentrant.
int tb_to_tu(const calibration& c, double tb, date_heure* out);

// tu_to_tb: TU instant -> the on-board reading at that instant with
// calibration c, such that tb_to_tu(c, *tb) gives back the same instant to
// the millisecond (fields as tb_to_tu writes them: before 00:00 of the
// reference day, negative time fields). Returns 0, or -1 with *tb
// untouched where no reading exists: uncalibrated, a non-finite rate, a
// reference or instant with year 0, or an instant beyond the range
// tb_to_tu can give. tu's fields need not be in range (minute 75 is
// 01:15). Reentrant.
int tu_to_tb(const calibration& c, const date_heure& tu, double* tb);

// A clock-correlation table: the calibrations that held over a mission's
// life, one record per span of on-board readings. A reset of the on-board
// clock starts a new partition, in which readings count again from the
// start. Plain data of fixed capacity (about 300 KB: keep it static or on
// the heap, not on a small stack); every function below is reentrant.
struct correlation_record {
    int partition;    // 1, 2, ...: a reset of the on-board clock starts a new partition
    double from_tb;   // first on-board reading the record covers
    double to_tb;     // first reading it no longer covers
    calibration cal;  // the calibration that holds over [from_tb, to_tb)
};
inline constexpr int correlation_capacity = 4096;
struct correlation {
    int count;
    correlation_record records[correlation_capacity];
};

// read_correlation: reads a correlation file (temps_correlation(5)): one
// record a line, "partition from_tb to_tb tb_ref tu_ref rate", tu_ref as
// YYYY-MM-DDTHH:MM:SS.mmm, '#' comments, blank lines ignored; records in
// increasing order of partition then from_tb, not overlapping within a
// partition. Returns 0 and fills *out, or -1 with *out untouched and one
// message "<path>:<line>: <reason>" in error (cut to error_size bytes;
// line 0 when the file cannot be read). The file must not change while it
// is read.
int read_correlation(const char* path, correlation* out, char* error, int error_size);

// tb_to_tu: reading -> TU with the record of that partition that covers
// tb (from_tb <= tb < to_tb): exactly tb_to_tu(record.cal, tb, out).
// -1 and the sentinel record when no record covers it (before the first,
// in a gap, after the last, an unknown partition, NaN).
int tb_to_tu(const correlation& c, int partition, double tb, date_heure* out);

// tu_to_tb: TU instant -> a partition and a reading inside a record that
// maps back to tu to the millisecond. Where records of several partitions
// cover the instant, the later record in the table wins. -1 with the
// outputs untouched when no record covers it.
int tu_to_tb(const correlation& c, const date_heure& tu, int* partition, double* tb);

}  // namespace temps

#endif
