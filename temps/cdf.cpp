// CDF epochs: CDF_EPOCH and CDF_EPOCH16 counted from 0000-01-01 of the
// proleptic Gregorian calendar. The count of a day is its day number less
// that of 0000-01-01, whatever calendar names the date, so labels go
// through julday and caldat.
#include "cdf.h"

#include <cmath>

namespace temps {
namespace {

constexpr std::int64_t day_ms = 86400000;

// The label of ns nanoseconds into the day of day number jd.
int label_at(std::int64_t jd, std::int64_t ns, civil_time* utc) {
    if (jd < jd_0001 || jd > jd_9999) return status_years;
    civil_time c{};
    caldat(&c.month, &c.day, &c.year, static_cast<int>(jd));
    const std::int64_t s = ns / 1000000000;
    c.hour = static_cast<int>(s / 3600);
    c.minute = static_cast<int>(s / 60 % 60);
    c.second = static_cast<int>(s % 60);
    c.nanosecond = static_cast<std::int32_t>(ns % 1000000000);
    *utc = c;
    return 0;
}

// The day number of a label and its nanoseconds into the day, checked as
// utc_to_tu checks it; inside a leap second, last_ns.
int day_and_ns(const civil_time& utc, std::int64_t last_ns, int* jd, std::int64_t* ns) {
    double tu = 0.0;
    if (const int bad = utc_to_tu(utc, &tu); bad != 0) return bad;
    if (julday(utc.month, utc.day, utc.year, jd) != 0) return status_years;
    *ns = utc.second == 60 ? last_ns
                           : ((std::int64_t{utc.hour} * 60 + utc.minute) * 60 + utc.second) * 1000000000 + utc.nanosecond;
    return 0;
}

}  // namespace

int utc_to_epoch(const civil_time& utc, double* epoch) noexcept {
    int jd = 0;
    std::int64_t ns = 0;
    if (const int bad = day_and_ns(utc, (day_ms - 1) * 1000000, &jd, &ns); bad != 0) return bad;
    const std::int64_t whole_ms = (jd - std::int64_t{jd_0000_gregorian}) * day_ms + ns / 1000000;
    *epoch = static_cast<double>(whole_ms) + static_cast<double>(ns % 1000000) / 1e6;
    return 0;
}

int epoch_to_utc(double epoch, civil_time* utc) noexcept {
    constexpr double first = static_cast<double>((jd_0001 - std::int64_t{jd_0000_gregorian}) * day_ms);
    constexpr double end = static_cast<double>((jd_9999 + 1 - std::int64_t{jd_0000_gregorian}) * day_ms);
    if (!(epoch >= first && epoch < end)) return status_years;  // also NaN
    const double whole = std::floor(epoch);
    std::int64_t ms = static_cast<std::int64_t>(whole);
    std::int64_t ns = std::llround((epoch - whole) * 1e6);
    if (ns == 1000000) ++ms, ns = 0;
    const std::int64_t day = ms / day_ms;
    return label_at(day + jd_0000_gregorian, (ms - day * day_ms) * 1000000 + ns, utc);
}

int utc_to_epoch16(const civil_time& utc, epoch16* e) noexcept {
    int jd = 0;
    std::int64_t ns = 0;
    if (const int bad = day_and_ns(utc, 86399999999999, &jd, &ns); bad != 0) return bad;
    const std::int64_t seconds = (jd - std::int64_t{jd_0000_gregorian}) * 86400 + ns / 1000000000;
    // Inside a leap second, the last picosecond before it.
    *e = {static_cast<double>(seconds),
          utc.second == 60 ? 999999999999.0 : static_cast<double>(ns % 1000000000 * 1000)};
    return 0;
}

int epoch16_to_utc(epoch16 e, civil_time* utc) noexcept {
    if (e.seconds != std::floor(e.seconds) || e.picoseconds != std::floor(e.picoseconds) || !(e.picoseconds >= 0.0) ||
        !(e.picoseconds < 1e12))
        return status_field;  // also NaN and infinities
    if (!(e.seconds >= 0.0 && e.seconds < 1e12)) return status_years;
    const auto s = static_cast<std::int64_t>(e.seconds);
    const std::int64_t day = s / 86400;
    return label_at(day + jd_0000_gregorian, (s - day * 86400) * 1000000000 + static_cast<std::int64_t>(e.picoseconds) / 1000,
                    utc);
}

}  // namespace temps
