// temps: the calendar, usable in constant expressions. Dates up to
// 1582-10-04 are Julian, dates from 1582-10-15 on Gregorian; years before
// year 1 are negative and there is no year 0. Part of <temps/temps.h>.
#ifndef TEMPS_CALENDAR_H
#define TEMPS_CALENDAR_H

#if __cplusplus < 202002L
#error "the temps library needs C++20 or later (-std=c++20)"
#endif

#include <chrono>
#include <climits>
#include <cstdint>

namespace temps {

static_assert(sizeof(int) == 4 && INT_MAX == 2147483647, "day numbers are 32-bit");
static_assert(sizeof(double) == 8, "TU times are IEEE doubles");

inline constexpr int jd_1958 = 2436205;      // 1958-01-01, the TU epoch
inline constexpr int jd_reform = 2299161;    // 1582-10-15, the first Gregorian day
inline constexpr int jd_0001 = 1721424;      // 0001-01-01 (Julian), the first day of four-digit years
inline constexpr int jd_9999 = 5373484;      // 9999-12-31, the last
inline constexpr int days_1958_to_1970 = 4383;  // 1970-01-01 is TU day 4383
inline constexpr int jd_1970 = jd_1958 + days_1958_to_1970;  // the Unix epoch, and std::chrono's
inline constexpr double ms_per_day = 86400000.0;

namespace detail {

constexpr bool fits_int(std::int64_t v) noexcept { return v >= INT_MIN && v <= INT_MAX; }

// (int64)trunc(v) for |v| far below 2^63, the only values passed here.
constexpr std::int64_t trunc64(double v) noexcept { return static_cast<std::int64_t>(v); }

// The Gregorian reform: day + 31 * (month + 12 * year) of 1582-10-15.
inline constexpr std::int64_t reform_key = 15 + 31 * (10 + 12 * 1582);  // 588829

// The last day's number of a month (1..12): 31 for October 1582 too,
// whose days 5 to 14 do not exist.
inline constexpr int month_lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

constexpr int month_end(int year, int month) noexcept {
    if (month != 2) return month_lengths[month - 1];
    // Julian leap years up to the reform, Gregorian after; year -1 is
    // astronomical year 0, a Julian leap year.
    const std::int64_t y = year < 0 ? std::int64_t{year} + 1 : year;
    const bool leap = year <= 1582 ? y % 4 == 0 : (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return leap ? 29 : 28;
}

}  // namespace detail

// julday: calendar date -> Julian day number (classical 30.6001 formula,
// every product with a fractional constant made in double and truncated).
//   month, day: not range-checked; day 0 is the last day of the previous
//     month, month 13 is January of the next year, month 0 December of the
//     year before.
//   Returns 0 and stores the day number in *jd; returns -1 and leaves *jd
//     untouched when year is 0 or the day number does not fit in an int.
//   Exact for every date of years 1 to 9999; 1582-10-05..14 (dropped by the
//   reform) get the numbers of 1582-10-15..24.
[[nodiscard]] constexpr int julday(int month, int day, int year, int* jd) noexcept {
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
    std::int64_t jul = detail::trunc64(365.25 * static_cast<double>(jy)) +   // |.| < 2^41
                       detail::trunc64(30.6001 * static_cast<double>(jm)) +  // |.| < 2^37
                       day + 1720995;
    if (day + 31 * (month + 12 * y) >= detail::reform_key) {  // |.| < 2^45
        const std::int64_t ja = detail::trunc64(0.01 * static_cast<double>(jy));
        jul += 2 - ja + detail::trunc64(0.25 * static_cast<double>(ja));
    }
    if (!detail::fits_int(jul)) return -1;
    *jd = static_cast<int>(jul);
    return 0;
}

// caldat: Julian day number -> calendar date (Gregorian from 2299161,
// Julian before). Safe for every int; a real date (month 1..12, a day that
// month has) for every day number from -1401 on: below, the classical
// formula leaves its range (-1404..-1402 give 29..31 February of -4716).
// For negative years it does not always invert julday (julday(1, 1, -1)
// comes back as -1-01-02).
constexpr void caldat(int* month, int* day, int* year, int jd) noexcept {
    const std::int64_t n = jd;
    std::int64_t a = n;
    if (n >= jd_reform) {
        const std::int64_t jalpha =
            detail::trunc64((static_cast<double>(n - 1867216) - 0.25) / 36524.25);  // [11, 58756]
        a = n + 1 + jalpha - detail::trunc64(0.25 * static_cast<double>(jalpha));
    }
    const std::int64_t b = a + 1524;  // |b| < 2^32
    const std::int64_t c =
        detail::trunc64((static_cast<double>(b - 2439870) - 122.1) / 365.25 + 6680.0);  // |c| < 2^24
    const std::int64_t d = 365 * c + detail::trunc64(0.25 * static_cast<double>(c));
    const std::int64_t e = detail::trunc64(static_cast<double>(b - d) / 30.6001);  // days left in 4 months
    std::int64_t m = e - 1;
    if (m > 12) m -= 12;
    std::int64_t y = c - 4715;
    if (m > 2) --y;
    if (y <= 0) --y;
    *day = static_cast<int>(b - d - detail::trunc64(30.6001 * static_cast<double>(e)));
    *month = static_cast<int>(m);
    *year = static_cast<int>(y);
}

// A calendar date, for the day-stepping helpers below.
struct date {
    int year;   // no year 0: -1 is followed by 1
    int month;  // 1..12
    int day;    // 1..days of the month
};

// days_in_month: the days month (1..12) of year has in the calendar of its
// time: 29 in February 1500 (Julian), 28 in February 1900, 21 in October
// 1582 (the reform dropped the 5th to the 14th). 0 for another month.
constexpr int days_in_month(int year, int month) noexcept {
    if (month < 1 || month > 12) return 0;
    return detail::month_end(year, month) - (year == 1582 && month == 10 ? 10 : 0);
}

// next_day, previous_day: the day after or before a real date, 1582-10-04
// and 1582-10-15 next to each other, -1-12-31 and 1-01-01 too. What
// caldat(jd + 1) or caldat(jd - 1) gives for the date's day number jd,
// without the floating-point formulas (years -4713 to INT_MAX - 1).
constexpr date next_day(date t) noexcept {
    if (t.year == 1582 && t.month == 10 && t.day == 4) return {1582, 10, 15};
    if (t.day < detail::month_end(t.year, t.month)) return {t.year, t.month, t.day + 1};
    if (t.month < 12) return {t.year, t.month + 1, 1};
    return {t.year == -1 ? 1 : t.year + 1, 1, 1};
}

constexpr date previous_day(date t) noexcept {
    if (t.year == 1582 && t.month == 10 && t.day == 15) return {1582, 10, 4};
    if (t.day > 1) return {t.year, t.month, t.day - 1};
    if (t.month > 1) return {t.year, t.month - 1, detail::month_end(t.year, t.month - 1)};
    return {t.year == 1 ? -1 : t.year - 1, 12, 31};
}

// julday, caldat on std::chrono dates: the fields cannot be given in the
// wrong order (julday(2004, 7, 5, &jd), in ISO order, reads month 2004 and
// succeeds with another day). A std::chrono date is proleptic Gregorian,
// before 1582-10-15 too, unlike the int forms: 1000-01-01 here is the day
// the Julian calendar called 0999-12-27. -1 with *jd untouched for a date
// that is not valid() or whose number does not fit in an int; caldat
// gives every day number a date.
[[nodiscard]] constexpr int julday(std::chrono::year_month_day ymd, int* jd) noexcept {
    if (!ymd.ok()) return -1;
    const std::int64_t n = std::int64_t{std::chrono::sys_days(ymd).time_since_epoch().count()} + jd_1970;
    if (!detail::fits_int(n)) return -1;
    *jd = static_cast<int>(n);
    return 0;
}

constexpr void caldat(int jd, std::chrono::year_month_day* ymd) noexcept {
    *ymd = std::chrono::year_month_day{std::chrono::sys_days{std::chrono::days{std::int64_t{jd} - jd_1970}}};
}

}  // namespace temps

#endif
