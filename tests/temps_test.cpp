// The time library against fixed points, an independent calendar (chrono)
// and exhaustive day walks.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <random>

#include "temps.h"

namespace {

using temps::caldat;
using temps::date_to_tu;
using temps::julday;
using temps::tu_to_date;

struct ymd {
    int y, m, d;
    bool operator==(const ymd&) const = default;
};

ymd from_jd(int jd) {
    ymd r{};
    caldat(&r.m, &r.d, &r.y, jd);
    return r;
}

// Month lengths of the mission's calendar: Julian leap years before the
// reform, Gregorian from 1582 on (1582 itself is common in both).
int month_length(int y, int m) {
    static constexpr int len[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = y < 1582 ? y % 4 == 0 : (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : len[m - 1];
}

TEST(Julday, FixedPointsAndRunOnDates) {
    struct row {
        const char* what;
        int month, day, year, jd;
    };
    const row rows[] = {
        {"TU epoch", 1, 1, 1958, 2436205},
        {"J2000 day", 1, 1, 2000, 2451545},
        {"window start", 7, 5, 2004, 2453192},
        {"window end", 3, 14, 2011, 2453192 + 2443},
        {"first Gregorian day", 10, 15, 1582, 2299161},
        {"last Julian day", 10, 4, 1582, 2299160},
        {"dropped day 1582-10-05 numbered as 10-15", 10, 5, 1582, 2299161},
        {"dropped day 1582-10-14 numbered as 10-24", 10, 14, 1582, 2299170},
        {"30 February runs on to 1 March", 2, 30, 2004, 2453066},
        {"month 13 is January of the next year", 13, 1, 2004, 2453372},
        {"day 0 is the last of the previous month", 3, 0, 2004, 2453065},
        {"month 0 is December of the year before", 0, 31, 2004, 2453005},
        {"year -1 is the year before year 1", 1, 1, -1, 1721059},
        {"year 1", 1, 1, 1, 1721424},
        {"far future", 12, 31, 9999, 5373484},
    };
    for (const row& r : rows) {
        int jd = -7;
        EXPECT_EQ(julday(r.month, r.day, r.year, &jd), 0) << r.what;
        EXPECT_EQ(jd, r.jd) << r.what;
    }
}

TEST(Julday, FailsWithoutTouchingTheResult) {
    struct row {
        const char* what;
        int month, day, year;
    };
    const row rows[] = {
        {"year 0 does not exist", 1, 1, 0},
        {"year 0 with odd fields", 13, 45, 0},
        {"day number above the int range", 1, 1, std::numeric_limits<int>::max()},
        {"day number below the int range", 1, 1, std::numeric_limits<int>::min()},
        {"huge day count", 1, std::numeric_limits<int>::max(), 2000},
    };
    for (const row& r : rows) {
        int jd = 12345;
        EXPECT_EQ(julday(r.month, r.day, r.year, &jd), -1) << r.what;
        EXPECT_EQ(jd, 12345) << r.what;
    }
}

TEST(Caldat, FixedPoints) {
    struct row {
        int jd;
        ymd date;
    };
    const row rows[] = {
        {2299160, {1582, 10, 4}}, {2299161, {1582, 10, 15}}, {2299162, {1582, 10, 16}},
        {0, {-4713, 1, 1}},       {2436205, {1958, 1, 1}},   {2453066, {2004, 3, 1}},
        {2453372, {2005, 1, 1}},  {1721059, {-1, 1, 2}},
    };
    for (const row& r : rows) EXPECT_EQ(from_jd(r.jd), r.date) << r.jd;
}

// Every day of years 1 to 9999: day numbers rise by exactly one, match
// chrono's proleptic Gregorian count after the reform, and come back
// unchanged through caldat.
TEST(Calendar, EveryDayOfYears1To9999RoundTrips) {
    using namespace std::chrono;
    constexpr int jd_1970 = 2440588;
    int prev = 0;
    ASSERT_EQ(julday(12, 31, -1, &prev), 0);
    temps::date before{-1, 12, 31};
    int failures = 0;
    for (int y = 1; y <= 9999 && failures < 10; ++y) {
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= month_length(y, m); ++d) {
                if (y == 1582 && m == 10 && d > 4 && d < 15) continue;  // dropped by the reform
                int jd = 0;
                const bool numbered = julday(m, d, y, &jd) == 0;
                const bool gregorian = jd >= 2299161;
                const int chrono_jd = sys_days{year{y} / m / d}.time_since_epoch().count() + jd_1970;
                // The library's day stepping agrees with the day numbers.
                const temps::date today{y, m, d}, after = temps::next_day(before), back = temps::previous_day(today);
                const bool steps = after.year == y && after.month == m && after.day == d && back.year == before.year &&
                                   back.month == before.month && back.day == before.day;
                before = today;
                if (!numbered || !steps || jd != prev + 1 || from_jd(jd) != ymd{y, m, d} ||
                    (gregorian && jd != chrono_jd)) {
                    ADD_FAILURE() << y << '-' << m << '-' << d << " jd " << jd << " after " << prev;
                    ++failures;
                }
                prev = jd;
            }
        }
    }
}

// The calendar in constant expressions: fixed points, the reform, a leap
// February of each calendar, and the years around the missing year 0.
constexpr temps::date date_of(int jd) {
    temps::date t{};
    temps::caldat(&t.month, &t.day, &t.year, jd);
    return t;
}
constexpr int jd_of(int y, int m, int d) {
    int jd = 0;
    return julday(m, d, y, &jd) == 0 ? jd : -1;
}
constexpr bool same(temps::date a, temps::date b) { return a.year == b.year && a.month == b.month && a.day == b.day; }
static_assert(jd_of(1958, 1, 1) == temps::jd_1958 && jd_of(2004, 7, 5) == 2453192);
static_assert(jd_of(0, 1, 1) == -1, "no year 0");
static_assert(same(date_of(2299160), {1582, 10, 4}) && same(date_of(2299161), {1582, 10, 15}));
static_assert(same(temps::next_day({1582, 10, 4}), {1582, 10, 15}));
static_assert(same(temps::previous_day({1582, 10, 15}), {1582, 10, 4}));
static_assert(temps::days_in_month(1582, 10) == 21 && temps::days_in_month(1582, 13) == 0);
static_assert(temps::days_in_month(1500, 2) == 29 && temps::days_in_month(1900, 2) == 28);
static_assert(temps::days_in_month(2000, 2) == 29 && temps::days_in_month(2004, 2) == 29);
static_assert(temps::days_in_month(-1, 2) == 29 && temps::days_in_month(-2, 2) == 28);
static_assert(same(temps::next_day({-1, 12, 31}), {1, 1, 1}) && same(temps::previous_day({1, 1, 1}), {-1, 12, 31}));
static_assert(same(temps::next_day({2004, 2, 28}), {2004, 2, 29}) && same(temps::next_day({1900, 2, 28}), {1900, 3, 1}));

// julday and caldat on std::chrono dates: proleptic Gregorian throughout,
// so the int forms' day numbers from the reform on, and the Julian
// calendar's own dates before it; no date that is not valid().
constexpr int jd_of(std::chrono::year_month_day ymd) {
    int jd = 0;
    return temps::julday(ymd, &jd) == 0 ? jd : -1;
}
static_assert(jd_of(std::chrono::year{2004} / 7 / 5) == 2453192 && jd_of(std::chrono::year{1582} / 10 / 15) == temps::jd_reform);
static_assert(jd_of(std::chrono::year{1000} / 1 / 1) == jd_of(999, 12, 27), "Gregorian before the reform");
static_assert(jd_of(std::chrono::year{2005} / 2 / 29) == -1 && jd_of(std::chrono::year{2004} / 2 / 29) == 2453065);

// A time point finer than a millisecond keeps its fraction in TU.
static_assert(temps::to_tu(std::chrono::sys_days{std::chrono::year{1970} / 1 / 1} + std::chrono::microseconds{1500}) ==
              temps::days_1958_to_1970 * temps::ms_per_day + 1.5);

TEST(Calendar, ChronoDatesWalkWithTheIntForms) {
    std::chrono::year_month_day ymd{};
    temps::caldat(temps::jd_0001, &ymd);
    EXPECT_EQ(ymd, std::chrono::year{0} / 12 / 30);  // 0001-01-01 Julian, proleptic Gregorian
    for (int jd = temps::jd_reform - 1; jd <= temps::jd_9999 + 1; ++jd) {
        temps::caldat(jd, &ymd);
        ASSERT_EQ(jd_of(ymd), jd);
        if (jd < temps::jd_reform) continue;
        const temps::date t = date_of(jd);
        ASSERT_EQ(ymd, std::chrono::year{t.year} / t.month / t.day) << jd;
    }
}

// The chrono bridge against chrono's own calendar, both sides of 1958 and
// 1970: the same instant, and back.
TEST(Chrono, BridgeAgreesWithYearMonthDay) {
    using namespace std::chrono;
    static_assert(temps::to_tu(sys_days{1958y / January / 1}) == 0.0);
    static_assert(temps::to_tu(sys_days{1970y / January / 1}) == 4383 * temps::ms_per_day);
    std::mt19937 rng(1958);
    std::uniform_int_distribution<int> day(sys_days{1900y / 1 / 1}.time_since_epoch().count(),
                                           sys_days{2100y / 1 / 1}.time_since_epoch().count());
    std::uniform_int_distribution<int> ms_of_day(0, 86399999);
    for (int i = 0; i < 20000; ++i) {
        const sys_days d{days{day(rng)}};
        const sys_time<milliseconds> t = d + milliseconds{ms_of_day(rng)};
        const year_month_day ymd{d};
        const hh_mm_ss hms{t - d};
        const double tu = temps::calendar_to_tu(int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())),
                                                int(hms.hours().count()), int(hms.minutes().count()),
                                                double(hms.seconds().count()) + hms.subseconds().count() / 1000.0);
        ASSERT_EQ(temps::to_tu(t), tu) << t.time_since_epoch().count() << " ms since 1970";
        ASSERT_EQ(floor<milliseconds>(temps::to_sys(tu)).time_since_epoch().count(), t.time_since_epoch().count());
    }
}

TEST(Calendar, DroppedReformDaysComeBackTenDaysLater) {
    for (int d = 5; d <= 14; ++d) {
        int jd = 0;
        ASSERT_EQ(julday(10, d, 1582, &jd), 0);
        EXPECT_EQ(from_jd(jd), (ymd{1582, 10, d + 10}));
    }
}

TEST(Caldat, EveryIntDayNumberIsSafe) {
    // Sampled across the whole int range: no overflow (checked by the
    // sanitizer build), and from day 0 on a month and day in range (before
    // it the classical formula gives no real calendar date).
    for (long long n = std::numeric_limits<int>::min(); n <= std::numeric_limits<int>::max();
         n += 65521) {
        const ymd r = from_jd(static_cast<int>(n));
        if (n < 0) continue;
        ASSERT_TRUE(r.m >= 1 && r.m <= 12 && r.d >= 1 && r.d <= 31) << n;
    }
}

struct instant {
    int y, mo, d, h, mi;
    double s;
};

TEST(Tu, FixedPoints) {
    struct row {
        const char* what;
        instant at;
        double tu;
    };
    const row rows[] = {
        {"epoch", {1958, 1, 1, 0, 0, 0.0}, 0.0},
        {"fractional second", {1958, 1, 1, 12, 30, 15.25}, 45015250.0},
        {"window start", {2004, 7, 5, 0, 0, 0.0}, 1467676800000.0},
        {"window end", {2011, 3, 14, 0, 0, 0.0}, 1678752000000.0},
        {"hour 25 is 01:00 next day", {2004, 7, 4, 25, 0, 0.0}, 1467676800000.0 + 3600000.0},
        {"half millisecond rounds up", {1958, 1, 1, 0, 0, 0.0005}, 1.0},
        {"below half rounds down", {1958, 1, 1, 0, 0, 0.0004}, 0.0},
        {"before the epoch", {1957, 12, 31, 0, 0, 0.0}, -86400000.0},
        {"negative seconds truncate toward zero", {1958, 1, 1, 0, 1, -0.0012}, 60000.0},
        {"negative half millisecond", {1958, 1, 1, 0, 1, -0.0015}, 59999.0},
    };
    for (const row& r : rows) {
        const instant& a = r.at;
        EXPECT_EQ(tu_to_date(a.y, a.mo, a.d, a.h, a.mi, a.s), r.tu) << r.what;
    }
}

TEST(Tu, NoInstantGivesNaN) {
    EXPECT_TRUE(std::isnan(tu_to_date(0, 1, 1, 0, 0, 0.0)));   // year 0
    EXPECT_TRUE(std::isnan(tu_to_date(2004, 1, 1, 0, 0, 1e12)));  // seconds beyond int ms
    EXPECT_TRUE(std::isnan(tu_to_date(2004, 1, 1, 1000, 0, 0.0)));
    EXPECT_TRUE(std::isnan(tu_to_date(2004, 1, 1, 0, 0, std::nan(""))));
}

TEST(Tu, BackToCalendarFields) {
    struct row {
        const char* what;
        double tu;
        instant at;
    };
    const row rows[] = {
        {"epoch", 0.0, {1958, 1, 1, 0, 0, 0.0}},
        {"fraction kept", 45015250.0, {1958, 1, 1, 12, 30, 15.25}},
        {"window end", 1678752000000.0, {2011, 3, 14, 0, 0, 0.0}},
        {"last millisecond of a day", 86399999.0, {1958, 1, 1, 23, 59, 59.999}},
        {"a second before the epoch", -1000.0, {1957, 12, 31, 23, 59, 59.0}},
        {"a nanosecond before the epoch is the epoch", -1e-9, {1958, 1, 1, 0, 0, 0.0}},
        {"the double just below a midnight", std::nextafter(1467676800000.0, 0.0), {2004, 7, 4, 23, 59, 59.999999755862518}},
        {"before the epoch, whole day", -86400000.0 * 365, {1957, 1, 1, 0, 0, 0.0}},
        {"NaN", std::nan(""), {9999, 99, 99, 99, 99, 99.999}},
        {"infinity", std::numeric_limits<double>::infinity(), {9999, 99, 99, 99, 99, 99.999}},
        {"beyond the int day range", 2e17, {9999, 99, 99, 99, 99, 99.999}},
    };
    for (const row& r : rows) {
        instant got{};
        date_to_tu(r.tu, &got.y, &got.mo, &got.d, &got.h, &got.mi, &got.s);
        EXPECT_EQ((ymd{got.y, got.mo, got.d}), (ymd{r.at.y, r.at.mo, r.at.d})) << r.what;
        EXPECT_EQ(got.h, r.at.h) << r.what;
        EXPECT_EQ(got.mi, r.at.mi) << r.what;
        EXPECT_NEAR(got.s, r.at.s, 1e-9) << r.what;
    }
}

TEST(Tu, WholeMillisecondsRoundTripOver1900To2100) {
    // A prime step through two centuries touches every time of day field.
    for (double tu = -1.8e12; tu < 4.5e12; tu += 104729123.0) {
        instant a{};
        date_to_tu(tu, &a.y, &a.mo, &a.d, &a.h, &a.mi, &a.s);
        ASSERT_EQ(tu_to_date(a.y, a.mo, a.d, a.h, a.mi, a.s), tu);
    }
}

}  // namespace
