// TU conversions and calibrations. Like the day-number routines of
// calendar.h they follow the mission's original arithmetic step by step
// (products with fractional constants made in double, truncated toward
// zero), so that results agree bit for bit with its stored values.
// Intermediates are held in 64 bits so that no input can overflow;
// wherever a 32-bit result would not fit, the routine reports failure
// instead of inventing a value.

#include "tu.h"

#include "calibration.h"
#include "legacy.h"
#include "instant.h"

#include <cmath>
#include <limits>

namespace temps {
namespace {

// True for a finite, already truncated double that an int can hold. NaN fails.
bool whole_int(double v) {
    return v >= -2147483648.0 && v <= 2147483647.0;
}

}  // namespace

double calendar_to_tu(int year, int month, int day, int hour, int minute, double second) noexcept {
    constexpr double none = std::numeric_limits<double>::quiet_NaN();
    int jd = 0;
    if (julday(month, day, year, &jd) != 0) return none;
    // Seconds rounded to whole milliseconds, halves upward.
    const double ms_s = std::trunc(1000.0 * second + 0.5);
    if (!whole_int(ms_s)) return none;
    const double ms_day = std::trunc(static_cast<double>(static_cast<int>(ms_s)) +
                                     (3600000.0 * hour + 60000.0 * minute));
    if (!whole_int(ms_day)) return none;
    return static_cast<double>(static_cast<int>(ms_day)) +
           ms_per_day * static_cast<double>(std::int64_t{jd} - jd_1958);
}

void tu_to_calendar(double tu, int* year, int* month, int* day, int* hour, int* minute,
                    double* second) noexcept {
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

void init_recalage(double tb_ref, const date_heure* tu_ref, double k) noexcept {
    rtb = tb_ref;
    rtu = *tu_ref;
    K = k;
}

int tb_en_tu(double tb, date_heure* out) noexcept { return tb_to_tu(calibration{rtb, rtu, K}, tb, out); }

namespace detail {

bool prepare(const calibration& c, prepared_calibration* p) noexcept {
    const date_heure& rtu = c.tu_ref;
    if (c.k == 0.0 || !std::isfinite(c.k)) return false;
    if (julday(rtu.mois, rtu.jour, rtu.annee, &p->jd_ref) != 0) return false;
    // Milliseconds of the reference time of day, an int in the original
    // arithmetic; when the result fits, 32-bit wrap-around and exact 64-bit
    // arithmetic agree, so only the result needs checking.
    const std::int64_t ref_ms = ((std::int64_t{rtu.heure} * 60 + rtu.minute) * 60 + rtu.seconde) * 1000;
    if (!fits_int(ref_ms)) return false;
    p->ref_ms = static_cast<double>(ref_ms);
    p->ref_milli = static_cast<double>(rtu.milliseconde);
    p->tb_ref = c.tb_ref;
    p->k = c.k;
    return true;
}

bool offset_of(const prepared_calibration& p, double tb, int* days, int* ms) noexcept {
    // Milliseconds from 00:00 of the reference day to the instant sought.
    const double x = p.ref_ms + ((tb - p.tb_ref) * 1000.0 / p.k + p.ref_milli);
    const double d = std::trunc(x / ms_per_day);  // NaN and infinities fail below
    if (!whole_int(d) || !fits_int(std::int64_t{p.jd_ref} + static_cast<std::int64_t>(d))) return false;
    const double r_ms = std::trunc(x - static_cast<double>(d) * 3600.0 * 24.0 * 1000.0);
    if (!whole_int(r_ms)) return false;
    *days = static_cast<int>(d);
    *ms = static_cast<int>(r_ms);  // within one day of 00:00, either sign
    return true;
}

namespace {

// The record tb_to_tu writes for day number jd and milliseconds r of that
// day (either sign).
date_heure fields(int jd, int r) {
    date_heure t{};
    caldat(&t.mois, &t.jour, &t.annee, jd);
    t.heure = r / 3600000;
    r -= t.heure * 3600000;
    t.minute = r / 60000;
    r -= t.minute * 60000;
    t.seconde = r / 1000;
    t.milliseconde = r - t.seconde * 1000;
    return t;
}

// Day numbers of years 1 to 9999, where julday gives back the day number
// of caldat's date: there the instant of a result is found without them.
constexpr int round_trip_first = jd_0001, round_trip_last = jd_9999;

}  // namespace

bool instant_at(const prepared_calibration& p, double tb, std::int64_t* at) noexcept {
    int days = 0, r = 0;
    if (!offset_of(p, tb, &days, &r)) return false;
    const int jd = p.jd_ref + days;
    if (jd >= round_trip_first && jd <= round_trip_last) {
        *at = std::int64_t{jd} * 86400000 + r;
        return true;
    }
    const date_heure back = fields(jd, r);
    int jd_back = 0;
    *at = julday(back.mois, back.jour, back.annee, &jd_back) == 0 ? instant_ms(jd_back, back) : -1;
    return true;
}

bool reading_for(const prepared_calibration& p, std::int64_t want, double* tb) noexcept {
    // The instant as milliseconds from 00:00 of the reference day, exact
    // in 64 bits, then the reading that tb_to_tu maps to it. The reading of
    // the instant itself where it maps back exactly; else, since tb_to_tu
    // drops the fraction of a millisecond toward zero, aim at the middle
    // of the millisecond, then step by a quarter where rounding of the
    // reading missed it.
    const std::int64_t x = want - std::int64_t{p.jd_ref} * 86400000;
    const double base = static_cast<double>(x) - p.ref_ms - p.ref_milli;
    constexpr double aims[] = {0.0, 0.5, 0.25, 0.75, 0.125, 0.875};
    for (const double aim : aims) {
        const double ms = base + (x >= 0 ? aim : -aim);
        const double r = p.tb_ref + ms * p.k / 1000.0;
        std::int64_t at = 0;
        if (!std::isfinite(r) || !instant_at(p, r, &at)) return false;
        if (at == want) {
            *tb = r;
            return true;
        }
    }
    return false;
}

}  // namespace detail

int detail::convert(const prepared_calibration& p, double tb, date_heure* out) noexcept {
    constexpr date_heure sentinel{9999, 99, 99, 99, 99, 99, 999};
    int days = 0, r = 0;
    if (!offset_of(p, tb, &days, &r)) {
        *out = sentinel;
        return -1;
    }
    *out = fields(p.jd_ref + days, r);
    return 0;
}

int tb_to_tu(const calibration& c, double tb, date_heure* out) noexcept {
    detail::prepared_calibration p{};
    if (detail::prepare(c, &p)) return detail::convert(p, tb, out);
    *out = date_heure{9999, 99, 99, 99, 99, 99, 999};
    return -1;
}

int tu_to_tb(const calibration& c, const date_heure& tu, double* tb) noexcept {
    detail::prepared_calibration p{};
    int jd = 0;
    if (!detail::prepare(c, &p) || julday(tu.mois, tu.jour, tu.annee, &jd) != 0) return -1;
    return detail::reading_for(p, detail::instant_ms(jd, tu), tb) ? 0 : -1;
}

}  // namespace temps
