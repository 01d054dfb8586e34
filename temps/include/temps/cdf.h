// temps: the epochs of CDF, the files in which space physics keeps its
// data: CDF_TIME_TT2000, CDF_EPOCH and CDF_EPOCH16. Part of
// <temps/temps.h>. Statuses as in <temps/timescales.h>.
#ifndef TEMPS_CDF_H
#define TEMPS_CDF_H

#if __cplusplus < 202002L
#error "the temps library needs C++20 or later (-std=c++20)"
#endif

#include <cstdint>

#include "timescales.h"

namespace temps {

// CDF_TIME_TT2000: SI nanoseconds since J2000 (2000-01-01T12:00:00 TT,
// 2000-01-01T11:59:27.816 TAI), any int64 but the two below: instants from
// 1707-09-22 to 2292-04-11. Through UTC, with its leap seconds and the
// drift of the 1960s, it is the TAI count of the library's time scales.
inline constexpr std::int64_t tt2000_fill = INT64_MIN;     // a value missing: not an instant
inline constexpr std::int64_t tt2000_pad = INT64_MIN + 1;  // no value written: not an instant
inline constexpr scale_time tt2000_epoch_tai{15340LL * 86400 + 43167, 816000000};  // J2000, as a TAI count

// tai_to_tt2000: 0, or status_years beyond the instants a TT2000 names.
[[nodiscard]] constexpr int tai_to_tt2000(scale_time tai, std::int64_t* tt2000) noexcept {
    const std::int64_t s = tai.second - tt2000_epoch_tai.second;
    const std::int64_t ns = std::int64_t{tai.nanosecond} - tt2000_epoch_tai.nanosecond;
    // s * 1e9 + ns, within int64 and above the two markers: the whole
    // seconds but one multiplied (|core| <= limit, no overflow), the rest
    // (-2e9 to 2e9) added only where it fits.
    constexpr std::int64_t limit = INT64_MAX / 1000000000;  // 9223372036
    if (s > limit + 1 || s < -limit - 1) return status_years;
    const std::int64_t core = s > 0 ? s - 1 : s < 0 ? s + 1 : 0;
    const std::int64_t base = core * 1000000000;
    const std::int64_t rest = (s - core) * 1000000000 + ns;
    if (rest > 0 ? base > INT64_MAX - rest : base < INT64_MIN - rest) return status_years;
    const std::int64_t v = base + rest;
    if (v <= tt2000_pad) return status_years;
    *tt2000 = v;
    return 0;
}

// tt2000_to_tai: 0, or status_field for the fill and pad markers.
[[nodiscard]] constexpr int tt2000_to_tai(std::int64_t tt2000, scale_time* tai) noexcept {
    if (tt2000 <= tt2000_pad) return status_field;
    std::int64_t s = tt2000 / 1000000000, ns = tt2000 % 1000000000;
    if (ns < 0) ns += 1000000000, --s;
    *tai = shifted({tt2000_epoch_tai.second + s, 0}, ns + tt2000_epoch_tai.nanosecond);
    return 0;
}

// CDF_EPOCH: milliseconds since 0000-01-01T00:00:00 of the proleptic
// Gregorian calendar, without leap seconds. The library's labels are
// Julian before 1582-10-15: the same day is 1500-03-10 in them and
// 1500-03-20 in CDF's reckoning; only the count matters here.
inline constexpr int jd_0000_gregorian = 1721060;  // day number of 0000-01-01, proleptic Gregorian

// utc_to_epoch: a UTC label (years 1 to 9999) -> CDF_EPOCH; inside a leap
// second, the last millisecond before it (as utc_to_tu). Statuses as
// utc_to_tu's.
[[nodiscard]] int utc_to_epoch(const civil_time& utc, double* epoch) noexcept;
// epoch_to_utc: CDF_EPOCH -> its UTC label (never second 60), to the
// nanosecond nearest the double. 0, or status_years (NaN, infinities,
// beyond the years 1 to 9999).
[[nodiscard]] int epoch_to_utc(double epoch, civil_time* utc) noexcept;

// CDF_EPOCH16: whole seconds since 0000-01-01T00:00:00 (proleptic
// Gregorian, no leap seconds) and picoseconds, both doubles.
struct epoch16 {
    double seconds;
    double picoseconds;  // 0 to 999,999,999,999
};
// utc_to_epoch16: inside a leap second, the last picosecond before it.
// Statuses as utc_to_tu's.
[[nodiscard]] int utc_to_epoch16(const civil_time& utc, epoch16* e) noexcept;
// epoch16_to_utc: the label, its nanoseconds truncated from the
// picoseconds. 0, status_field (a part not whole, picoseconds out of
// range) or status_years.
[[nodiscard]] int epoch16_to_utc(epoch16 e, civil_time* utc) noexcept;

}  // namespace temps

#endif
