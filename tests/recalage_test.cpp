// On-board clock calibration: one table of calibrations and on-board times,
// including the inputs whose arithmetic would leave the int range.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "temps.h"

namespace temps {
// Printed by failing expectations.
std::ostream& operator<<(std::ostream& os, const date_heure& t) {
    return os << t.annee << '-' << t.mois << '-' << t.jour << ' ' << t.heure << ':' << t.minute
              << ':' << t.seconde << '.' << t.milliseconde;
}
}  // namespace temps

namespace {

using temps::date_heure;

bool same(const date_heure& a, const date_heure& b) {
    return a.annee == b.annee && a.mois == b.mois && a.jour == b.jour && a.heure == b.heure &&
           a.minute == b.minute && a.seconde == b.seconde && a.milliseconde == b.milliseconde;
}

constexpr date_heure sentinel{9999, 99, 99, 99, 99, 99, 999};

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
    }
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
