// On-board clock calibration: one table of calibrations and on-board times,
// including the inputs whose arithmetic would leave the int range.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <thread>

#include "date_heure_check.h"

namespace {

using temps::date_heure;
using test::instant_ms;
using test::same;
using test::sentinel;

TEST(Recalage, UncalibratedAtStart) {
    EXPECT_EQ(temps::K, 0.0);
    EXPECT_EQ(temps::rtb, 0.0);
    EXPECT_TRUE(same(temps::rtu, date_heure{}));
    date_heure out{1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(temps::tb_en_tu(12345.0, &out), -1);
    EXPECT_TRUE(same(out, sentinel)) << out;
}

TEST(Recalage, Conversions) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    const date_heure midnight{2004, 7, 5, 0, 0, 0, 0};
    struct row {
        const char* what;
        double tb_ref;
        date_heure ref;
        double k;
        double tb;
        int status;
        date_heure want;
    };
    const row rows[] = {
        {"a day and half a second later", 1000.0, midnight, 1.0, 87400.5, 0, {2004, 7, 6, 0, 0, 0, 500}},
        {"fraction of a millisecond dropped", 1000.0, midnight, 1.0, 1000.0009999, 0,
         {2004, 7, 5, 0, 0, 0, 0}},
        {"rate 2 rolls over to the next day", 0.0, {2004, 7, 5, 23, 59, 59, 500}, 2.0, 1.0, 0,
         {2004, 7, 6, 0, 0, 0, 0}},
        {"across a year end at rate 1024", 0.0, {2010, 12, 31, 23, 0, 0, 0}, 1024.0,
         3600.0 * 1024.0 + 1024.0, 0, {2011, 1, 1, 0, 0, 1, 0}},
        {"before the reference midnight keeps the day", 1000.0, midnight, 1.0, 999.0, 0,
         {2004, 7, 5, 0, 0, -1, 0}},
        {"a day before: negative day count", 86400.0, midnight, 1.0, 0.0, 0, {2004, 7, 4, 0, 0, 0, 0}},
        {"rate 0: uncalibrated", 0.0, midnight, 0.0, 5.0, -1, sentinel},
        {"reference year 0", 0.0, {0, 7, 5, 0, 0, 0, 0}, 1.0, 5.0, -1, sentinel},
        {"NaN on-board time", 0.0, midnight, 1.0, nan, -1, sentinel},
        {"infinite on-board time", 0.0, midnight, 1.0, inf, -1, sentinel},
        {"minus infinite on-board time", 0.0, midnight, 1.0, -inf, -1, sentinel},
        {"NaN rate", 0.0, midnight, nan, 5.0, -1, sentinel},
        {"infinite rate", 0.0, midnight, inf, 5.0, -1, sentinel},
        {"minus infinite rate", 0.0, midnight, -inf, 5.0, -1, sentinel},
        {"over a day before: earlier date, negative fields", 1000.0, midnight, 1.0, 1000.0 - 86400.0 - 1.5,
         0, {2004, 7, 4, 0, 0, -1, -500}},
        {"infinite reference on-board time", inf, midnight, 1.0, 5.0, -1, sentinel},
        {"day count beyond int", 0.0, midnight, 1.0, 1e300, -1, sentinel},
        {"tiny rate", 0.0, midnight, 1e-300, 1.0, -1, sentinel},
        {"day number beyond int", 0.0, midnight, 1.0, 86400.0 * 2147000000.0, -1, sentinel},
        {"reference time of day beyond int", 0.0, {2004, 7, 5, INT_MAX, 0, 0, 0}, 1.0, 0.0, -1,
         sentinel},
        {"reference fields that cancel stay exact", 0.0, {2004, 7, 5, 600, -36000, 0, 0}, 1.0, 0.0,
         0, {2004, 7, 5, 0, 0, 0, 0}},
        {"reference day beyond int", 0.0, {INT_MAX, 1, 1, 0, 0, 0, 0}, 1.0, 0.0, -1, sentinel},
    };
    for (const row& r : rows) {
        temps::init_recalage(r.tb_ref, &r.ref, r.k);
        date_heure out{1, 2, 3, 4, 5, 6, 7};
        EXPECT_EQ(temps::tb_en_tu(r.tb, &out), r.status) << r.what;
        EXPECT_TRUE(same(out, r.want)) << r.what << ": got " << out << ", want " << r.want;
        // The same calibration held as a value gives the same answer.
        date_heure as_value{1, 2, 3, 4, 5, 6, 7};
        EXPECT_EQ(temps::tb_to_tu(temps::calibration{r.tb_ref, r.ref, r.k}, r.tb, &as_value), r.status);
        EXPECT_TRUE(same(as_value, r.want)) << r.what << ": got " << as_value;
    }
}

// Random calibrations and readings: the value form and the process-wide
// form agree everywhere; a reading made from an instant converts back to
// that instant.
TEST(Calibration, AgreesWithTheProcessWideFormAndRoundTrips) {
    std::mt19937_64 rng(20261208);
    std::uniform_int_distribution<int> year(1958, 2100), month(1, 12), day(1, 28), hour(0, 23),
        minute(0, 59), ms(0, 999);
    // Readings of a clock counted from its reset: up to 2^32 units and a
    // few more, at rates from 0.5 to 65536 units per second.
    std::uniform_real_distribution<double> rate(0.5, 65536.0), tb(-1e10, 1e10);
    const double rates[] = {1.0, 1024.0, 65536.0, 0.5, -16.0};
    for (int i = 0; i < 20000; ++i) {
        const date_heure ref{year(rng), month(rng), day(rng), hour(rng), minute(rng), minute(rng), ms(rng)};
        const temps::calibration c{tb(rng), ref, i < 5 ? rates[i] : rate(rng)};
        const double reading = c.tb_ref + (tb(rng) / 1e3) * c.k;
        temps::init_recalage(c.tb_ref, &c.tu_ref, c.k);
        date_heure a{}, b{};
        ASSERT_EQ(temps::tb_en_tu(reading, &a), temps::tb_to_tu(c, reading, &b));
        ASSERT_TRUE(same(a, b)) << a << " vs " << b;

        const date_heure at{year(rng), month(rng), day(rng), hour(rng), minute(rng), minute(rng), ms(rng)};
        double back_tb = 0.0;
        ASSERT_EQ(temps::tu_to_tb(c, at, &back_tb), 0) << at << " rate " << c.k;
        date_heure back{};
        ASSERT_EQ(temps::tb_to_tu(c, back_tb, &back), 0);
        // The same instant: equal fields, or the reference day's negative
        // fields for an instant before its midnight.
        ASSERT_EQ(instant_ms(at), instant_ms(back)) << at << " came back as " << back;
    }
}

TEST(Calibration, NoReadingWithoutACalibration) {
    const date_heure midnight{2004, 7, 5, 0, 0, 0, 0};
    const struct {
        const char* what;
        temps::calibration c;
        date_heure at;
    } rows[] = {
        {"uncalibrated", temps::calibration{}, midnight},
        {"infinite rate", {0.0, midnight, std::numeric_limits<double>::infinity()}, midnight},
        {"NaN rate", {0.0, midnight, std::numeric_limits<double>::quiet_NaN()}, midnight},
        {"reference year 0", {0.0, {0, 7, 5, 0, 0, 0, 0}, 1.0}, midnight},
        {"instant of year 0", {0.0, midnight, 1.0}, {0, 7, 5, 0, 0, 0, 0}},
        {"readings too coarse to tell instants apart", {1e6, midnight, 1e-300}, {2005, 1, 1, 0, 0, 0, 0}},
    };
    for (const auto& r : rows) {
        double tb = 42.0;
        EXPECT_EQ(temps::tu_to_tb(r.c, r.at, &tb), -1) << r.what;
        EXPECT_EQ(tb, 42.0) << r.what;
    }
}

// Two instruments, two clocks, two threads: no shared state (run under
// ThreadSanitizer by make test-tsan).
TEST(Calibration, ThreadsWithTheirOwnCalibrations) {
    const temps::calibration clocks[2] = {{1000.0, {2004, 7, 5, 0, 0, 0, 0}, 1.0},
                                          {0.0, {2008, 1, 1, 12, 0, 0, 0}, 4.0}};
    const date_heure want[2] = {{2004, 7, 6, 0, 0, 0, 500}, {2008, 1, 1, 12, 0, 2, 0}};
    const double readings[2] = {87400.5, 8.0};
    int wrong[2] = {0, 0};
    auto convert = [&](int i) {
        for (int n = 0; n < 20000; ++n) {
            date_heure out{};
            double tb = 0.0;
            if (temps::tb_to_tu(clocks[i], readings[i], &out) != 0 || !same(out, want[i]) ||
                temps::tu_to_tb(clocks[i], want[i], &tb) != 0)
                ++wrong[i];
        }
    };
    std::thread a(convert, 0), b(convert, 1);
    a.join();
    b.join();
    EXPECT_EQ(wrong[0], 0);
    EXPECT_EQ(wrong[1], 0);
}

TEST(Recalage, EachCalibrationReplacesTheLast) {
    const date_heure first{2004, 7, 5, 0, 0, 0, 0}, second{2008, 1, 1, 12, 0, 0, 0};
    temps::init_recalage(1000.0, &first, 1.0);
    temps::init_recalage(0.0, &second, 4.0);
    EXPECT_EQ(temps::rtb, 0.0);
    EXPECT_EQ(temps::K, 4.0);
    EXPECT_TRUE(same(temps::rtu, second));
    date_heure out{};
    ASSERT_EQ(temps::tb_en_tu(8.0, &out), 0);
    EXPECT_TRUE(same(out, date_heure{2008, 1, 1, 12, 0, 2, 0})) << out;
    temps::init_recalage(0.0, &second, 0.0);  // back to uncalibrated
    EXPECT_EQ(temps::tb_en_tu(8.0, &out), -1);
    EXPECT_TRUE(same(out, sentinel)) << out;
}

}  // namespace
