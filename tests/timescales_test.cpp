// Time scales: the leap-second file and its checks, every leap second both
// ways, the steps of the 1960s, the expiry, TU around leap seconds, and
// TAI - UTC against ERFA's eraDat for every day from 1960 to 2035.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <memory>
#include <random>
#include <string>

#include "leap_list.h"
#include "sha1.h"
#include "support.h"
#include "temps.h"

#ifdef KORVANE_HAVE_ERFA
#include <erfa.h>
#endif

namespace {

using temps::civil_time;
using temps::scale_time;

// The file Debian's tzdata 2025b ships, kept with the tests so that they
// do not depend on the machine's own.
const std::string shipped = KORVANE_TEST_DATA "/leap-seconds.list";

temps::leap_second_table load(const std::string& path = shipped) {
    temps::leap_second_table t;
    char error[256] = "";
    EXPECT_EQ(temps::read_leap_seconds(path.c_str(), &t, error, sizeof error), 0) << error;
    return t;
}

std::int64_t ns_between(scale_time a, scale_time b) {
    return (b.second - a.second) * 1000000000 + (b.nanosecond - a.nanosecond);
}

TEST(LeapSeconds, FileChecks) {
    const std::string text = test::read_file(shipped);
    struct row {
        const char* what;
        std::string from, to;  // an edit of the shipped file
        const char* error;     // the end of the message; nullptr: accepted
    };
    const row rows[] = {
        {"the shipped file", "", "", nullptr},
        {"a digit of the last update changed", "3960835200", "3960835201", "hash (#h) does not match the data: file damaged"},
        {"a digit of the hash changed", "#h\t49db2447", "#h\t49db2448", "hash (#h) does not match the data: file damaged"},
        {"no expiry", "#@\t3991593600", "#x\t3991593600", ":0: no expiry (#@)"},
        {"an offset that jumps", "37      # 1 Jan 2017", "38      # 1 Jan 2017", "not one second more or less, later than the entry before"},
        {"a date not at midnight", "3692217600 ", "3692217601 ", "not at 00:00 UTC: 3692217601"},
        {"a first offset of 11 s", "2272060800      10", "2272060800      11", "the first entry is not 1972-01-01, 10 s"},
    };
    for (const row& r : rows) {
        std::string edited = text;
        if (!r.from.empty()) edited.replace(edited.find(r.from), r.from.size(), r.to);
        test::temp_dir dir;
        test::write_file(dir.path() / "l", edited);
        temps::leap_second_table t;
        t.entries.push_back({1, 77});
        char error[256] = "";
        const int status = temps::read_leap_seconds((dir.path() / "l").c_str(), &t, error, sizeof error);
        if (r.error == nullptr) {
            EXPECT_EQ(status, 0) << r.what << ": " << error;
            EXPECT_EQ(t.entries.size(), 28u);
            EXPECT_EQ(t.expires, std::chrono::sys_days{std::chrono::year{2026} / 6 / 28});
            EXPECT_EQ(t.updated, std::chrono::sys_days{std::chrono::year{2025} / 7 / 7});
        } else {
            EXPECT_EQ(status, -1) << r.what;
            EXPECT_TRUE(std::string(error).ends_with(r.error)) << r.what << ": " << error;
            EXPECT_EQ(t.entries.size(), 1u) << "a refused file leaves the table as it was";
        }
    }
}

// SHA-1 on the FIPS 180 vectors, one of them ending 56 bytes into its
// block, where the padding takes a block of its own.
TEST(LeapSeconds, Sha1OnTheStandardVectors) {
    const struct {
        std::string text;
        const char* digest;
    } rows[] = {
        {"abc", "a9993e36 4706816a ba3e2571 7850c26c 9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e44 1c3bd26e baae4aa1 f95129e5 e54670f1"},
        {"", "da39a3ee 5e6b4b0d 3255bfef 95601890 afd80709"},
    };
    for (const auto& r : rows) {
        temps::detail::sha1 h;
        h.update(r.text.data(), r.text.size());
        const auto d = h.digest();
        char hex[64];
        std::snprintf(hex, sizeof hex, "%08x %08x %08x %08x %08x", d[0], d[1], d[2], d[3], d[4]);
        EXPECT_STREQ(hex, r.digest) << r.text.size() << " bytes";
    }
}

// TAI - UTC may fall by one second (the format and UTC allow it): a list
// with a negative leap second at the end of 2025 is read, and 23:59:59 of
// 2025-12-31 is skipped, 23:59:58 then followed by 00:00:00.
TEST(LeapSeconds, ANegativeLeapSecondSkipsTheDaysLastSecond) {
    const std::string text = test::with_negative_leap_second(shipped);
    test::temp_dir dir;
    test::write_file(dir.path() / "l", text);
    const temps::leap_second_table t = load((dir.path() / "l").string());
    ASSERT_EQ(t.entries.size(), 29u);
    scale_time before{}, after{}, tai{};
    ASSERT_EQ(temps::utc_to_tai(t, {2025, 12, 31, 23, 59, 58, 999999999}, &before), 0);
    ASSERT_EQ(temps::utc_to_tai(t, {2026, 1, 1, 0, 0, 0, 0}, &after), 0);
    EXPECT_EQ(ns_between(before, after), 1);
    for (const civil_time skipped : {civil_time{2025, 12, 31, 23, 59, 59, 0}, civil_time{2025, 12, 31, 23, 59, 60, 0}})
        EXPECT_EQ(temps::utc_to_tai(t, skipped, &tai), temps::status_no_leap) << skipped.second;
    EXPECT_EQ(temps::utc_to_tai(t, {2025, 12, 30, 23, 59, 59, 500000000}, &tai), 0);  // the day before keeps it
    // Through the memo, after an earlier label of the same day.
    auto memo = std::make_unique<temps::day_memo>(t);
    ASSERT_EQ(memo->utc_to_tai({2025, 12, 31, 12, 0, 0, 0}, &tai), 0);
    EXPECT_EQ(memo->utc_to_tai({2025, 12, 31, 23, 59, 59, 0}, &tai), temps::status_no_leap);
    civil_time back{};
    ASSERT_EQ(temps::tai_to_utc(t, after, &back), 0);
    EXPECT_EQ(back.year * 10000 + back.month * 100 + back.day, 20260101);
    EXPECT_EQ(back.hour * 3600 + back.minute * 60 + back.second, 0);
    ASSERT_EQ(temps::tai_to_utc(t, before, &back), 0);
    EXPECT_EQ(back.hour * 3600 + back.minute * 60 + back.second, 86398);
    EXPECT_EQ(back.nanosecond, 999999999);
}

// Every leap second of the list: 23:59:60.5 is half a second after
// 23:59:59.5 and half a second before 00:00:00 the next day, and comes
// back as itself; on the day before, there is no 23:59:60.
TEST(LeapSeconds, EveryLeapSecondBothWays) {
    const temps::leap_second_table t = load();
    for (std::size_t i = 1; i < t.entries.size(); ++i) {
        civil_time last{};
        temps::caldat(&last.month, &last.day, &last.year, static_cast<int>(t.entries[i].day - 1 + temps::jd_1958));
        civil_time before = last, leap = last, after{};
        before.hour = leap.hour = 23;
        before.minute = leap.minute = 59;
        before.second = 59;
        before.nanosecond = leap.nanosecond = 500000000;
        leap.second = 60;
        temps::caldat(&after.month, &after.day, &after.year, static_cast<int>(t.entries[i].day + temps::jd_1958));
        scale_time a{}, b{}, c{};
        ASSERT_EQ(temps::utc_to_tai(t, before, &a), 0) << last.year << '-' << last.month;
        ASSERT_EQ(temps::utc_to_tai(t, leap, &b), 0) << last.year << '-' << last.month;
        ASSERT_EQ(temps::utc_to_tai(t, after, &c), 0);
        EXPECT_EQ(ns_between(a, b), 1000000000);
        EXPECT_EQ(ns_between(b, c), 500000000);
        civil_time back{};
        ASSERT_EQ(temps::tai_to_utc(t, b, &back), 0);
        EXPECT_TRUE(back.second == 60 && back.nanosecond == 500000000 && back.day == last.day) << last.year;
        civil_time day_before = leap;
        temps::caldat(&day_before.month, &day_before.day, &day_before.year,
                      static_cast<int>(t.entries[i].day - 2 + temps::jd_1958));
        EXPECT_EQ(temps::utc_to_tai(t, day_before, &a), temps::status_no_leap) << "no leap second the day before";
        double tu_leap = 0.0, tu_last_ms = 0.0;
        civil_time last_ms = before;
        last_ms.nanosecond = 999000000;
        ASSERT_EQ(temps::utc_to_tu(leap, &tu_leap), 0);
        ASSERT_EQ(temps::utc_to_tu(last_ms, &tu_last_ms), 0);
        EXPECT_EQ(tu_leap, tu_last_ms) << "TU has no leap second";
    }
}

// The steps of the 1960s: negative ones skip labels, positive ones make a
// short 23:59:60; and the instants before 1960 and after the expiry are
// answered, but dubious.
TEST(LeapSeconds, StepsAndDubiousInstants) {
    const temps::leap_second_table t = load();
    struct row {
        const char* what;
        civil_time utc;
        int status;
    };
    const row rows[] = {
        // The drift runs on during a step: its edge is a few nanoseconds off.
        {"1961-08-01 skipped 0.05 s: before it", {1961, 7, 31, 23, 59, 59, 949999990}, 0},
        {"1961-08-01 skipped 0.05 s: inside", {1961, 7, 31, 23, 59, 59, 950000010}, temps::status_skipped},
        {"1968-02-01 skipped 0.1 s: before it", {1968, 1, 31, 23, 59, 59, 899999990}, 0},
        {"1968-02-01 skipped 0.1 s: inside", {1968, 1, 31, 23, 59, 59, 900000010}, temps::status_skipped},
        {"1963-11-01 added 0.1 s", {1963, 10, 31, 23, 59, 60, 99999990}, 0},
        {"1963-11-01 added only 0.1 s", {1963, 10, 31, 23, 59, 60, 100000000}, temps::status_no_leap},
        {"1972-01-01 added 0.107758 s", {1971, 12, 31, 23, 59, 60, 107757990}, 0},
        {"1972-01-01 added only 0.107758 s", {1971, 12, 31, 23, 59, 60, 107758000}, temps::status_no_leap},
        {"no step on 1962-01-01", {1961, 12, 31, 23, 59, 60, 0}, temps::status_no_leap},
        {"before 1960: no UTC", {1959, 12, 31, 12, 0, 0, 0}, 1},
        {"the last nanosecond before the expiry", {2026, 6, 27, 23, 59, 59, 999999999}, 0},
        {"the expiry", {2026, 6, 28, 0, 0, 0, 0}, 1},
        {"not a real date", {2005, 2, 29, 0, 0, 0, 0}, temps::status_not_a_date},
        {"1582-10-10, which the reform dropped", {1582, 10, 10, 12, 0, 0, 0}, temps::status_not_a_date},
        {"year 0", {0, 6, 1, 0, 0, 0, 0}, temps::status_not_a_date},
        {"minute 60", {2004, 7, 5, 23, 60, 0, 0}, temps::status_field},
        {"second 60 before 23:59", {2016, 12, 31, 12, 59, 60, 0}, temps::status_no_leap},
        {"a nanosecond out of range", {2004, 7, 5, 0, 0, 0, 1000000000}, temps::status_field},
        {"year 10000", {10000, 1, 1, 0, 0, 0, 0}, temps::status_years},
        {"second 60 at noon of a leap day", {2016, 12, 31, 12, 59, 60, 0}, temps::status_no_leap},
    };
    for (const row& r : rows) {
        scale_time tai{};
        EXPECT_EQ(temps::utc_to_tai(t, r.utc, &tai), r.status) << r.what;
        if (r.status < 0) continue;
        civil_time back{};
        EXPECT_EQ(temps::tai_to_utc(t, tai, &back), r.status) << r.what;
        EXPECT_TRUE(back.year == r.utc.year && back.day == r.utc.day && back.second == r.utc.second &&
                    back.nanosecond == r.utc.nanosecond)
            << r.what << ": " << back.hour << ':' << back.minute << ':' << back.second << '.' << back.nanosecond;
    }
    // Without a table, an instant after 1971 is dubious, not exact.
    scale_time tai{};
    EXPECT_EQ(temps::utc_to_tai(temps::leap_second_table{}, {2004, 7, 5, 0, 0, 0, 0}, &tai), temps::status_dubious);
    // The mission's two leap seconds, in TAI - UTC, and the other scales.
    std::int64_t ns = 0;
    EXPECT_EQ(temps::tai_minus_utc(t, {2005, 12, 31, 23, 59, 60, 0}, &ns), 0);
    EXPECT_EQ(ns, 32000000000);
    EXPECT_EQ(temps::tai_minus_utc(t, {2009, 1, 1, 0, 0, 0, 0}, &ns), 0);
    EXPECT_EQ(ns, 34000000000);
    static_assert(temps::tai_to_tt({0, 900000000}).second == 33 && temps::tai_to_tt({0, 900000000}).nanosecond == 84000000);
    static_assert(temps::tai_to_gps({0, 0}).second == -19 && temps::gps_to_tai(temps::tai_to_gps({5, 1})).nanosecond == 1);
}

// Random instants from 1960 to 2030: a TAI count comes back through its
// UTC label at most a nanosecond early (the drift of the 1960s makes some
// TAI nanoseconds fall between two UTC ones), and a label exactly.
TEST(LeapSeconds, RandomRoundTrips) {
    const temps::leap_second_table t = load();
    std::mt19937_64 rng(1960);
    std::uniform_int_distribution<std::int64_t> second(730 * 86400LL, 26298 * 86400LL);
    std::uniform_int_distribution<std::int32_t> nano(0, 999999999);
    for (int i = 0; i < 20000; ++i) {
        const scale_time tai{second(rng), nano(rng)};
        civil_time utc{};
        scale_time back{};
        ASSERT_GE(temps::tai_to_utc(t, tai, &utc), 0);
        ASSERT_GE(temps::utc_to_tai(t, utc, &back), 0) << tai.second;
        const std::int64_t early = ns_between(back, tai);
        ASSERT_TRUE(early >= 0 && early <= 1) << tai.second << '.' << tai.nanosecond << " came back " << early << " ns early";
        civil_time again{};
        ASSERT_GE(temps::tai_to_utc(t, back, &again), 0);
        ASSERT_TRUE(again.second == utc.second && again.nanosecond == utc.nanosecond && again.day == utc.day);
    }
}

// The day memo against the plain calls, labels in and out of order over
// days it has seen and not: the shipped table, one that expires at noon,
// and none. Fields out of range too (hour 24, minute 60, second 60 and 61,
// a nanosecond below 0 or of a whole second).
TEST(LeapSeconds, TheDayMemoAnswersAsThePlainCalls) {
    temps::leap_second_table noon = load();
    noon.expires = std::chrono::sys_days{std::chrono::year{2009} / 3 / 3} + std::chrono::hours{12};
    const temps::leap_second_table tables[] = {load(), noon, {}};
    std::mt19937_64 rng(1972);
    std::uniform_int_distribution<int> day(0, 40), year(1958, 2040), month(1, 12), dom(1, 31), pick(0, 99);
    const auto same = [](const civil_time& a, const civil_time& b) {
        return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
               a.second == b.second && a.nanosecond == b.nanosecond;
    };
    for (const temps::leap_second_table& t : tables) {
        // A fresh memo's empty slots, and those of a memo bound again to
        // another table, hold no day: not day 0 of 1958 nor the days that
        // share its slot, nor what the other table gave.
        auto fresh = std::make_unique<temps::day_memo>(tables[0]);
        for (const bool again : {false, true}) {
            if (again) fresh->rebind(t);
            for (const std::int64_t day : {0LL, 1LL, 32768LL, 32767LL, 18688LL, 4294967295LL}) {
                civil_time plain{}, memoed{};
                temps::time_code code{};
                const std::uint8_t pfield = 0x40;
                ASSERT_EQ(temps::read_pfield(&pfield, 1, &code.layout, nullptr), 0);
                code.day = static_cast<std::uint32_t>(day), code.ms = 3723005;
                ASSERT_EQ(fresh->cds_to_utc(code, nullptr, &memoed, nullptr), temps::cds_to_utc(code, nullptr, &plain, nullptr));
                EXPECT_TRUE(same(plain, memoed)) << day << ": " << memoed.year;
                const scale_time at{day * 86400 + 3723, 5};
                ASSERT_EQ(fresh->label_of(at, &memoed), temps::label_of(at, &plain)) << day;
                EXPECT_TRUE(same(plain, memoed)) << day << ": " << memoed.year;
                const int r = temps::tai_to_utc(again ? t : tables[0], at, &plain);
                ASSERT_EQ(fresh->tai_to_utc(at, &memoed), r) << day;
                EXPECT_TRUE(r < 0 || same(plain, memoed)) << day << ": " << memoed.year;
            }
        }
        auto memo = std::make_unique<temps::day_memo>(t);
        for (int i = 0; i < 40000; ++i) {
            // Forty days seen again and again, among others.
            civil_time c = day(rng) < 40 ? civil_time{2009, 3, 1 + day(rng) % 3, 0, 0, 0, 0}
                                         : civil_time{year(rng), month(rng), dom(rng), 0, 0, 0, 0};
            if (day(rng) == 0) c = {2008, 12, 31, 23, 59, 60, 0};
            c.hour = pick(rng) == 0 ? 24 : pick(rng) % 24;
            c.minute = pick(rng) == 0 ? 60 : pick(rng) % 60;
            c.second = pick(rng) == 0 ? 60 + pick(rng) % 2 : pick(rng) % 60;
            c.nanosecond = pick(rng) == 0 ? (pick(rng) < 50 ? -1 : 1000000000) : static_cast<std::int32_t>(rng() % 1000000000);
            scale_time plain{-1, -1}, memoed{-1, -1};
            const int status = temps::utc_to_tai(t, c, &plain);
            ASSERT_EQ(memo->utc_to_tai(c, &memoed), status) << c.year << '-' << c.month << '-' << c.day << ' ' << c.hour
                                                            << ':' << c.minute << ':' << c.second << '.' << c.nanosecond;
            ASSERT_TRUE(status < 0 || (plain.second == memoed.second && plain.nanosecond == memoed.nanosecond)) << c.year;
            civil_time label{}, label_memoed{};
            const scale_time s{plain.second + pick(rng) * 86400, pick(rng) == 0 ? -1 : plain.nanosecond};
            // TAI to UTC, around the same instants: a leap second's among them.
            const scale_time back_at = status < 0 ? s : temps::shifted(plain, (pick(rng) - 50) * 20000000LL);
            civil_time utc_plain{}, utc_memoed{};
            const int back_status = temps::tai_to_utc(t, back_at, &utc_plain);
            ASSERT_EQ(memo->tai_to_utc(back_at, &utc_memoed), back_status) << back_at.second;
            ASSERT_TRUE(back_status < 0 ||
                        (utc_plain.year == utc_memoed.year && utc_plain.month == utc_memoed.month &&
                         utc_plain.day == utc_memoed.day && utc_plain.hour == utc_memoed.hour &&
                         utc_plain.minute == utc_memoed.minute && utc_plain.second == utc_memoed.second &&
                         utc_plain.nanosecond == utc_memoed.nanosecond))
                << back_at.second << '.' << back_at.nanosecond;
            const int label_status = temps::label_of(s, &label);
            ASSERT_EQ(memo->label_of(s, &label_memoed), label_status) << s.second;
            ASSERT_TRUE(label_status != 0 || (label.year == label_memoed.year && label.month == label_memoed.month &&
                                              label.day == label_memoed.day && label.hour == label_memoed.hour &&
                                              label.minute == label_memoed.minute && label.second == label_memoed.second &&
                                              label.nanosecond == label_memoed.nanosecond))
                << s.second;
            // A CDS code of one of the days seen, or of another, with
            // milliseconds, microseconds or picoseconds; from 1958 or an
            // agency's epoch.
            temps::time_code code{};
            const std::uint8_t pfields[] = {0x40, 0x41, 0x42, 0x48, 0x44};
            const std::uint8_t pfield = pfields[pick(rng) % 5];
            ASSERT_EQ(temps::read_pfield(&pfield, 1, &code.layout, nullptr), 0);
            code.day = static_cast<std::uint32_t>(pick(rng) < 50 ? 18688 + day(rng) % 3 : rng() % 3000000);
            code.ms = static_cast<std::uint32_t>(rng() % 86401000);
            code.sub = static_cast<std::uint32_t>(code.layout.sub_octets == 2 ? rng() % 1000 : rng() % 1000000000);
            const temps::date agency{2000, 1, 1};
            civil_time cds{}, cds_memoed{};
            const int cds_status = temps::cds_to_utc(code, &agency, &cds, nullptr);
            ASSERT_EQ(memo->cds_to_utc(code, &agency, &cds_memoed, nullptr), cds_status) << code.day;
            ASSERT_TRUE(cds_status != 0 || (cds.year == cds_memoed.year && cds.month == cds_memoed.month &&
                                            cds.day == cds_memoed.day && cds.hour == cds_memoed.hour &&
                                            cds.minute == cds_memoed.minute && cds.second == cds_memoed.second &&
                                            cds.nanosecond == cds_memoed.nanosecond))
                << code.day << ' ' << code.ms;
        }
        // Across the leap second of 2008-12-31, in TAI steps of 100 ms.
        scale_time leap{};
        if (temps::utc_to_tai(t, {2008, 12, 31, 23, 59, 60, 0}, &leap) < 0) continue;
        for (int k = -30; k < 30; ++k) {
            const scale_time x = temps::shifted(leap, k * 100000000LL);
            civil_time a{}, b{};
            const int r = temps::tai_to_utc(t, x, &a);
            ASSERT_EQ(memo->tai_to_utc(x, &b), r) << k;
            ASSERT_TRUE(a.day == b.day && a.hour == b.hour && a.minute == b.minute && a.second == b.second &&
                        a.nanosecond == b.nanosecond)
                << k << ": " << b.second;
        }
    }
}

TEST(LeapSeconds, AgreesWithErfaEveryDay) {
#ifndef KORVANE_HAVE_ERFA
    GTEST_SKIP() << "ERFA (Debian liberfa-dev) is not installed";
#else
    const temps::leap_second_table t = load();
    int first = 0, last = 0;
    ASSERT_EQ(temps::julday(1, 1, 1960, &first), 0);
    ASSERT_EQ(temps::julday(12, 31, 2035, &last), 0);
    for (int jd = first; jd <= last; ++jd) {
        civil_time c{};
        temps::caldat(&c.month, &c.day, &c.year, jd);
        for (const int hour : {0, 12}) {
            c.hour = hour;
            std::int64_t ns = 0;
            double erfa = 0.0;
            ASSERT_GE(temps::tai_minus_utc(t, c, &ns), 0);
            ASSERT_GE(eraDat(c.year, c.month, c.day, hour / 24.0, &erfa), 0);
            ASSERT_NEAR(static_cast<double>(ns), erfa * 1e9, 1.0) << c.year << '-' << c.month << '-' << c.day << ' ' << hour;
        }
    }
#endif
}

}  // namespace

namespace {

// CDF epochs. TT2000 from UTC labels through the shipped table, both sides
// of a leap second and of the int64 limits; EPOCH and EPOCH16 counted from
// 0000-01-01 of the proleptic Gregorian calendar, while labels before
// 1582-10-15 are Julian; fractions below the millisecond kept.
TEST(Cdf, EpochsOfLabels) {
    const temps::leap_second_table t = load();
    struct row {
        civil_time utc;
        std::int64_t tt2000;  // tt2000_fill: not checked
        double epoch;         // NaN: not checked
        temps::epoch16 e16;
    };
    const double none = std::nan("");
    const row rows[] = {
        {{2001, 1, 1, 0, 0, 0, 0}, 31579264184000000, 63145526400000.0, {63145526400, 0}},
        {{2000, 1, 1, 11, 58, 55, 816000000}, 0, none, {}},
        {{2000, 1, 1, 11, 58, 55, 815999999}, -1, none, {}},
        {{2000, 1, 1, 0, 0, 0, 1}, temps::tt2000_fill, 63113904000000.000001, {63113904000, 1000}},
        {{2004, 7, 5, 0, 0, 0, 500000}, temps::tt2000_fill, 63256204800000.5, {63256204800, 500000000}},
        {{2016, 12, 31, 23, 59, 60, 500000000}, 536500868684000000, 63650447999999.0, {63650447999, 999999999999}},
        {{2016, 12, 31, 23, 59, 59, 500000000}, 536500867684000000, 63650447999500.0, {63650447999, 500000000000}},
        {{2017, 1, 1, 0, 0, 0, 0}, 536500869184000000, 63650448000000.0, {63650448000, 0}},
        {{1582, 10, 15, 0, 0, 0, 0}, temps::tt2000_fill, 49947926400000.0, {49947926400, 0}},
        {{1582, 10, 4, 23, 59, 59, 0}, temps::tt2000_fill, 49947926399000.0, {49947926399, 0}},
        {{1, 1, 1, 0, 0, 0, 0}, temps::tt2000_fill, 31449600000.0, {31449600, 0}},  // Gregorian 0000-12-30
        {{9999, 12, 31, 23, 59, 59, 999000000}, temps::tt2000_fill, 315569519999999.0, {315569519999, 999000000000}},
    };
    for (const row& r : rows) {
        if (r.tt2000 != temps::tt2000_fill) {
            scale_time tai{}, back{};
            std::int64_t got = 0;
            ASSERT_GE(temps::utc_to_tai(t, r.utc, &tai), 0) << r.utc.year;
            ASSERT_EQ(temps::tai_to_tt2000(tai, &got), 0);
            EXPECT_EQ(got, r.tt2000) << r.utc.year << ' ' << r.utc.second << '.' << r.utc.nanosecond;
            ASSERT_EQ(temps::tt2000_to_tai(got, &back), 0);
            EXPECT_TRUE(back.second == tai.second && back.nanosecond == tai.nanosecond) << got;
        }
        double epoch = 0.0;
        temps::epoch16 e16{};
        civil_time back{};
        if (!std::isnan(r.epoch)) {
            ASSERT_EQ(temps::utc_to_epoch(r.utc, &epoch), 0) << r.utc.year;
            EXPECT_EQ(epoch, r.epoch) << r.utc.year << '-' << r.utc.month << '-' << r.utc.day;
            ASSERT_EQ(temps::utc_to_epoch16(r.utc, &e16), 0);
            EXPECT_TRUE(e16.seconds == r.e16.seconds && e16.picoseconds == r.e16.picoseconds)
                << r.utc.year << ": " << e16.seconds << " s " << e16.picoseconds << " ps";
            if (r.utc.second == 60) continue;
            ASSERT_EQ(temps::epoch16_to_utc(e16, &back), 0);
            EXPECT_TRUE(back.year == r.utc.year && back.month == r.utc.month && back.day == r.utc.day &&
                        back.second == r.utc.second && back.nanosecond == r.utc.nanosecond)
                << r.utc.year;
            ASSERT_EQ(temps::epoch_to_utc(epoch, &back), 0);
            EXPECT_TRUE(back.day == r.utc.day && back.second == r.utc.second &&
                        std::abs(back.nanosecond - r.utc.nanosecond) <= 8000)  // a double of ms holds some 8 us
                << r.utc.year << ": " << back.nanosecond;
        }
    }
    // The int64 ends, the markers, and the values CDF refuses.
    scale_time tai{};
    std::int64_t v = 0;
    for (const std::int64_t edge : {INT64_MAX, temps::tt2000_pad + 1, std::int64_t{-1}}) {
        ASSERT_EQ(temps::tt2000_to_tai(edge, &tai), 0) << edge;
        ASSERT_EQ(temps::tai_to_tt2000(tai, &v), 0) << edge;
        EXPECT_EQ(v, edge);
    }
    ASSERT_EQ(temps::tt2000_to_tai(INT64_MAX, &tai), 0);
    EXPECT_EQ(temps::tai_to_tt2000(temps::shifted(tai, 1), &v), temps::status_years);
    ASSERT_EQ(temps::tt2000_to_tai(temps::tt2000_pad + 1, &tai), 0);
    EXPECT_EQ(temps::tai_to_tt2000(temps::shifted(tai, -1), &v), temps::status_years);
    EXPECT_EQ(temps::tt2000_to_tai(temps::tt2000_fill, &tai), temps::status_field);
    EXPECT_EQ(temps::tt2000_to_tai(temps::tt2000_pad, &tai), temps::status_field);
    civil_time c{};
    for (const temps::epoch16 bad : {temps::epoch16{0.5, 0}, temps::epoch16{1, 1e12}, temps::epoch16{1, -1}, temps::epoch16{1, 0.5}})
        EXPECT_EQ(temps::epoch16_to_utc(bad, &c), temps::status_field) << bad.seconds << ' ' << bad.picoseconds;
    EXPECT_EQ(temps::epoch_to_utc(31449600000.0 - 0.001, &c), temps::status_years);
    EXPECT_EQ(temps::epoch_to_utc(315569520000000.0, &c), temps::status_years);
    EXPECT_EQ(temps::epoch_to_utc(std::nan(""), &c), temps::status_years);
}

}  // namespace
