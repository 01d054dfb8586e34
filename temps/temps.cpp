// The day-number routines follow the classical floating-point formulas
// step by step: every product with a fractional constant is made in double
// and truncated toward zero, so that results agree bit for bit with the
// stored values of the mission's tools. Intermediates are held in 64 bits
// so that no input can overflow; wherever a 32-bit result would not fit,
// the routine reports failure instead of inventing a value.
#include "temps.h"

#include "instant.h"

#include <cmath>
#include <limits>

namespace temps {
namespace {

// The Gregorian reform: day + 31 * (month + 12 * year) of 1582-10-15.
constexpr std::int64_t reform_key = 15 + 31 * (10 + 12 * 1582);  // 588829
constexpr int reform_jd = 2299161;                                // 1582-10-15

constexpr bool fits_int(std::int64_t v) {
    return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
}

// True for a finite, already truncated double that an int can hold. NaN fails.
bool fits_int(double v) {
    return v >= -2147483648.0 && v <= 2147483647.0;
}

// (long long)trunc(v) for |v| far below 2^63, the only values passed here.
std::int64_t trunc64(double v) { return static_cast<std::int64_t>(v); }

}  // namespace

int julday(int month, int day, int year, int* jd) {
    if (year == 0) return -1;
    // There is no year 0: year -1 counts as astronomical year 0.
    const std::int64_t y = year < 0 ? std::int64_t{year} + 1 : year;  // [-2^31+1, 2^31-1]
    std::int64_t jy = y;
    std::int64_t jm = std::int64_t{month} + 1;
    if (month <= 2) {
        jy = y - 1;
        jm = std::int64_t{month} + 13;
    }
    // 365.25 * jy is exact in double (|jy| < 2^32, 2 fraction bits).
    std::int64_t jul = trunc64(365.25 * static_cast<double>(jy)) +   // |.| < 2^41
                       trunc64(30.6001 * static_cast<double>(jm)) +  // |.| < 2^37
                       day + 1720995;
    if (day + 31 * (month + 12 * y) >= reform_key) {  // |.| < 2^45
        const std::int64_t ja = trunc64(0.01 * static_cast<double>(jy));
        jul += 2 - ja + trunc64(0.25 * static_cast<double>(ja));
    }
    if (!fits_int(jul)) return -1;
    *jd = static_cast<int>(jul);
    return 0;
}

void caldat(int* month, int* day, int* year, int jd) {
    const std::int64_t n = jd;
    std::int64_t a = n;
    if (n >= reform_jd) {
        const std::int64_t jalpha =
            trunc64((static_cast<double>(n - 1867216) - 0.25) / 36524.25);  // [11, 58756]
        a = n + 1 + jalpha - trunc64(0.25 * static_cast<double>(jalpha));
    }
    const std::int64_t b = a + 1524;  // |b| < 2^32
    const std::int64_t c =
        trunc64((static_cast<double>(b - 2439870) - 122.1) / 365.25 + 6680.0);  // |c| < 2^24
    const std::int64_t d = 365 * c + trunc64(0.25 * static_cast<double>(c));
    const std::int64_t e = trunc64(static_cast<double>(b - d) / 30.6001);  // days left in 4 months
    std::int64_t m = e - 1;
    if (m > 12) m -= 12;
    std::int64_t y = c - 4715;
    if (m > 2) --y;
    if (y <= 0) --y;
    *day = static_cast<int>(b - d - trunc64(30.6001 * static_cast<double>(e)));
    *month = static_cast<int>(m);
    *year = static_cast<int>(y);
}

double tu_to_date(int year, int month, int day, int hour, int minute, double second) {
    constexpr double none = std::numeric_limits<double>::quiet_NaN();
    int jd = 0;
    if (julday(month, day, year, &jd) != 0) return none;
    // Seconds rounded to whole milliseconds, halves upward.
    const double ms_s = std::trunc(1000.0 * second + 0.5);
    if (!fits_int(ms_s)) return none;
    const double ms_day = std::trunc(static_cast<double>(static_cast<int>(ms_s)) +
                                     (3600000.0 * hour + 60000.0 * minute));
    if (!fits_int(ms_day)) return none;
    return static_cast<double>(static_cast<int>(ms_day)) +
           ms_per_day * static_cast<double>(std::int64_t{jd} - jd_1958);
}

void date_to_tu(double tu, int* year, int* month, int* day, int* hour, int* minute,
                double* second) {
    // Whole days since the epoch, rounded down: a time before the epoch
    // falls on its own day with a positive time of day (for times from the
    // epoch on this is the plain truncation).
    const double days = std::floor(tu / ms_per_day);
    const std::int64_t lo = std::int64_t{std::numeric_limits<int>::min()} - jd_1958;
    const std::int64_t hi = std::int64_t{std::numeric_limits<int>::max()} - jd_1958;
    if (!(days >= static_cast<double>(lo) && days <= static_cast<double>(hi))) {
        *year = 9999;
        *month = *day = *hour = *minute = 99;
        *second = 99.999;
        return;
    }
    int jd = jd_1958 + static_cast<int>(days);
    // Seconds since the start of that day, in [0, 86400) once the rounding
    // of the division and of the subtraction is undone.
    double s = (tu - static_cast<double>(jd - jd_1958) * ms_per_day) / 1000.0;
    if (s < 0.0) s = 0.0;  // tu / ms_per_day rounded up to a whole day
    if (s >= 86400.0 && jd < std::numeric_limits<int>::max()) {
        ++jd;  // so close to the next midnight that it is that midnight
        s = (tu - static_cast<double>(jd - jd_1958) * ms_per_day) / 1000.0;
        if (s < 0.0) s = 0.0;
    }
    caldat(month, day, year, jd);
    const int h = static_cast<int>(s / 3600.0);
    s -= static_cast<double>(h * 3600);
    const int mi = static_cast<int>(s / 60.0);
    s -= static_cast<double>(mi * 60);
    *hour = h;
    *minute = mi;
    *second = s;
}

date_heure rtu{};
double rtb = 0.0;
double K = 0.0;

void init_recalage(double tb_ref, const date_heure* tu_ref, double k) {
    rtb = tb_ref;
    rtu = *tu_ref;
    K = k;
}

int tb_en_tu(double tb, date_heure* out) { return tb_to_tu(calibration{rtb, rtu, K}, tb, out); }

namespace {

// Milliseconds of a time of day, exact; false when out of the int range
// that the conversion's arithmetic works in.
bool ref_ms_of(const date_heure& t, std::int64_t* ms) {
    *ms = ((std::int64_t{t.heure} * 60 + t.minute) * 60 + t.seconde) * 1000;
    return fits_int(*ms);
}

using detail::instant_ms;

}  // namespace

int tb_to_tu(const calibration& c, double tb, date_heure* out) {
    constexpr date_heure sentinel{9999, 99, 99, 99, 99, 99, 999};
    const date_heure& rtu = c.tu_ref;
    const double rtb = c.tb_ref, K = c.k;
    *out = sentinel;
    if (K == 0.0 || !std::isfinite(K)) return -1;
    int jd_ref = 0;
    if (julday(rtu.mois, rtu.jour, rtu.annee, &jd_ref) != 0) return -1;
    // Milliseconds of the reference time of day, an int in the original
    // arithmetic; when the result fits, 32-bit wrap-around and exact 64-bit
    // arithmetic agree, so only the result needs checking.
    std::int64_t ref_ms = 0;
    if (!ref_ms_of(rtu, &ref_ms)) return -1;
    // Milliseconds from 00:00 of the reference day to the instant sought.
    const double x = static_cast<double>(ref_ms) +
                     ((tb - rtb) * 1000.0 / K + static_cast<double>(rtu.milliseconde));
    const double days = std::trunc(x / ms_per_day);  // NaN and infinities fail below
    if (!fits_int(days) || !fits_int(std::int64_t{jd_ref} + static_cast<std::int64_t>(days)))
        return -1;
    const double r_ms = std::trunc(x - static_cast<double>(days) * 3600.0 * 24.0 * 1000.0);
    if (!fits_int(r_ms)) return -1;

    date_heure t{};
    caldat(&t.mois, &t.jour, &t.annee, jd_ref + static_cast<int>(days));
    int r = static_cast<int>(r_ms);  // within one day of 00:00, either sign
    t.heure = r / 3600000;
    r -= t.heure * 3600000;
    t.minute = r / 60000;
    r -= t.minute * 60000;
    t.seconde = r / 1000;
    t.milliseconde = r - t.seconde * 1000;
    *out = t;
    return 0;
}

int tu_to_tb(const calibration& c, const date_heure& tu, double* tb) {
    if (c.k == 0.0 || !std::isfinite(c.k)) return -1;
    int jd_ref = 0, jd = 0;
    std::int64_t ref_ms = 0;
    if (julday(c.tu_ref.mois, c.tu_ref.jour, c.tu_ref.annee, &jd_ref) != 0 ||
        julday(tu.mois, tu.jour, tu.annee, &jd) != 0 || !ref_ms_of(c.tu_ref, &ref_ms))
        return -1;
    // The instant as milliseconds from 00:00 of the reference day, exact
    // in 64 bits, then the reading that tb_to_tu maps to it.
    const std::int64_t x = instant_ms(jd, tu) - instant_ms(jd_ref, date_heure{});
    const std::int64_t want = instant_ms(jd, tu);
    // tb_to_tu drops the fraction of a millisecond toward zero: aim at the
    // middle of the millisecond, then step by a quarter where rounding of
    // the reading missed it.
    const double base = static_cast<double>(x - ref_ms - c.tu_ref.milliseconde);
    const double aims[] = {0.5, 0.25, 0.75, 0.125, 0.875};
    for (const double aim : aims) {
        const double ms = base + (x >= 0 ? aim : -aim);
        const double r = c.tb_ref + ms * c.k / 1000.0;
        date_heure back{};
        if (!std::isfinite(r) || tb_to_tu(c, r, &back) != 0) return -1;
        int jd_back = 0;
        julday(back.mois, back.jour, back.annee, &jd_back);
        if (instant_ms(jd_back, back) == want) {
            *tb = r;
            return 0;
        }
    }
    return -1;
}

}  // namespace temps
