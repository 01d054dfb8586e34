// temps: on-board clock time (TB) and one calibration of it against TU.
// Part of <temps/temps.h>.
#ifndef TEMPS_CALIBRATION_H
#define TEMPS_CALIBRATION_H

#if __cplusplus < 202002L
#error "the temps library needs C++20 or later (-std=c++20)"
#endif

namespace temps {

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

#endif
