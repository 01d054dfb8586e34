// Clock-correlation tables: the file format and its errors, readings across
// record boundaries, gaps and partitions, and random round trips.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <cstdio>
#include <random>
#include <string>

#include "date_heure_check.h"
#include "support.h"

namespace {

using temps::date_heure;

// Two partitions: the clock was reset at 2008-01-01. Partition 1 has a gap
// between 2000 and 3000.
const char* const good =
    "# partition from_tb to_tb tb_ref tu_ref rate\n"
    "1 0    1000 0    2004-07-05T00:00:00.000 1.0\n"
    "1 1000 2000 1000 2004-07-05T00:16:40.500 2.0   # the clock ran fast\n"
    "\n"
    "1 3000 1e9  3000 2004-07-06T00:00:00.000 1.0\n"
    "2 0    1e9  0    2008-01-01T00:00:00.000 1024.0\n";

std::unique_ptr<temps::correlation> table(const std::string& text, std::string* error = nullptr) {
    test::temp_dir dir;
    test::write_file(dir.path() / "c.txt", text);
    auto c = std::make_unique<temps::correlation>();
    c->records.push_back({77, 0.0, 1.0, {}});  // what a refusal must leave
    char message[256] = "";
    const int status = temps::read_correlation((dir.path() / "c.txt").c_str(), c.get(), message, sizeof message);
    if (error != nullptr) {
        *error = message;
        const std::size_t colon = error->find(".txt:");
        if (colon != std::string::npos) *error = error->substr(colon + 5);
    }
    if (status != 0) {
        EXPECT_TRUE(c->records.size() == 1 && c->records[0].partition == 77)
            << "a refused table must leave the output untouched";
        return nullptr;
    }
    return c;
}

TEST(Correlation, FilesAndTheirErrors) {
    const std::string ref = " 2004-07-05T00:00:00.000 ";
    struct row {
        const char* what;
        std::string text;
        const char* error;  // nullptr: accepted
    };
    const row rows[] = {
        {"a good table", good, nullptr},
        {"empty", "", "0: no record"},
        {"comments only", "# nothing yet\n\n", "0: no record"},
        {"a byte-order mark first", "\xEF\xBB\xBF" + std::string(good), nullptr},
        {"hexadecimal", "1 0 0x100 0" + ref + "1\n", "1: to_tb is not a number"},
        {"hexadecimal float", "1 0 10 0" + ref + "0x1p10\n", "1: rate is not a number"},
        {"decimal comma", "1 0 10 0" + ref + "1000,5\n", "1: rate is not a number"},
        {"a NUL byte", "1 0 10 0" + ref + std::string("1\0\n", 3), "1: NUL byte in the line"},
        {"beyond a double", "1 0 1e999 0" + ref + "1\n", "1: to_tb is out of range"},
        {"too few fields", "1 0 10 0 2004-07-05T00:00:00.000\n", "1: 6 fields expected, 5 found"},
        {"too many fields", "1 0 10 0" + ref + "1 7\n", "1: 6 fields expected, 7 found"},
        {"partition not a number", "x 0 10 0" + ref + "1\n", "1: partition is not a whole number: x"},
        {"partition 0", "\n0 0 10 0" + ref + "1\n", "2: partition below 1: 0"},
        {"reading not a number", "1 0 ten 0" + ref + "1\n", "1: to_tb is not a number"},
        {"infinite reading", "1 -inf 10 0" + ref + "1\n", "1: from_tb is not finite"},
        {"NaN rate", "1 0 10 0" + ref + "nan\n", "1: rate is not finite"},
        {"zero rate", "1 0 10 0" + ref + "0\n", "1: rate is zero"},
        {"empty span", "1 10 10 0" + ref + "1\n", "1: from_tb is not below to_tb"},
        {"30 February", "1 0 10 0 2004-02-30T00:00:00.000 1\n",
         "1: tu_ref is not a real YYYY-MM-DDTHH:MM:SS.mmm: 2004-02-30T00:00:00.000"},
        {"hour 24", "1 0 10 0 2004-02-03T24:00:00.000 1\n",
         "1: tu_ref is not a real YYYY-MM-DDTHH:MM:SS.mmm: 2004-02-03T24:00:00.000"},
        {"year 0", "1 0 10 0 0000-01-01T00:00:00.000 1\n",
         "1: tu_ref is not a real YYYY-MM-DDTHH:MM:SS.mmm: 0000-01-01T00:00:00.000"},
        {"partitions out of order", "2 0 10 0" + ref + "1\n1 0 10 0" + ref + "1\n", "2: record out of order"},
        {"readings out of order", "1 20 30 0" + ref + "1\n1 0 10 0" + ref + "1\n", "2: record out of order"},
        {"overlap", "1 0 10 0" + ref + "1\n# gap\n1 9 20 0" + ref + "1\n", "3: record overlaps the one before"},
        {"a long line", "1 0 10 0" + ref + "1" + std::string(5000, ' ') + "\n", nullptr},
    };
    for (const row& r : rows) {
        std::string error;
        const auto c = table(r.text, &error);
        if (r.error == nullptr) {
            EXPECT_TRUE(c != nullptr) << r.what << ": " << error;
        } else {
            EXPECT_TRUE(c == nullptr) << r.what;
            EXPECT_EQ(error, r.error) << r.what;
        }
    }
    temps::correlation c{};
    char message[128];
    EXPECT_EQ(temps::read_correlation("/nonexistent/c.txt", &c, message, sizeof message), -1);
    EXPECT_STREQ(message, "/nonexistent/c.txt:0: cannot read: No such file or directory");
}

TEST(Correlation, ReadingsAcrossRecordsGapsAndPartitions) {
    const auto c = table(good);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->records.size(), 4u);
    struct row {
        const char* what;
        int partition;
        double tb;
        int status;
        date_heure want;
    };
    const row rows[] = {
        {"first reading", 1, 0.0, 0, {2004, 7, 5, 0, 0, 0, 0}},
        {"last reading of the first record", 1, 999.5, 0, {2004, 7, 5, 0, 16, 39, 500}},
        {"first reading of the second record", 1, 1000.0, 0, {2004, 7, 5, 0, 16, 40, 500}},
        {"second record at rate 2", 1, 1001.0, 0, {2004, 7, 5, 0, 16, 41, 0}},
        {"in the gap", 1, 2500.0, -1, test::sentinel},
        {"after the gap", 1, 3000.0, 0, {2004, 7, 6, 0, 0, 0, 0}},
        {"before the first", 1, -0.001, -1, test::sentinel},
        {"after the last", 1, 1e9, -1, test::sentinel},
        {"the same reading after the reset", 2, 1024.0, 0, {2008, 1, 1, 0, 0, 1, 0}},
        {"an unknown partition", 3, 10.0, -1, test::sentinel},
        {"NaN", 1, std::nan(""), -1, test::sentinel},
    };
    for (const row& r : rows) {
        date_heure out{1, 2, 3, 4, 5, 6, 7};
        EXPECT_EQ(temps::tb_to_tu(*c, r.partition, r.tb, &out), r.status) << r.what;
        EXPECT_TRUE(test::same(out, r.want)) << r.what << ": " << out;
    }
    // Tables at the edges of the search: a span wider than any double, and
    // the last partition number.
    const auto wide = table("1 -1e308 1e308 0 2004-07-05T00:00:00.000 1\n");
    const auto last = table("1 0 10 0 2004-07-05T00:00:00.000 1\n2147483647 0 10 0 2004-07-05T00:00:00.000 1\n");
    ASSERT_TRUE(wide && last);
    date_heure out{};
    EXPECT_EQ(temps::tb_to_tu(*wide, 1, 9e307, &out), -1);
    EXPECT_EQ(temps::tb_to_tu(*wide, 1, 5.0, &out), 0);
    EXPECT_EQ(temps::tb_to_tu(*last, 2147483647, 5.0, &out), 0);
    EXPECT_TRUE(test::same(out, {2004, 7, 5, 0, 0, 5, 0})) << out;

    // Instants: in the gap none; covered by both partitions, the later wins.
    int partition = 0;
    double tb = 0.0;
    EXPECT_EQ(temps::tu_to_tb(*c, date_heure{2004, 7, 5, 0, 50, 0, 0}, &partition, &tb), -1);
    ASSERT_EQ(temps::tu_to_tb(*c, date_heure{2008, 1, 5, 0, 0, 0, 0}, &partition, &tb), 0);
    EXPECT_EQ(partition, 2);
    // At a record's end, before a gap: a reading inside it, never to_tb.
    const auto end = table("1 0 1000.0002 0 2004-07-05T00:00:00.000 1\n");
    ASSERT_EQ(temps::tu_to_tb(*end, date_heure{2004, 7, 5, 0, 16, 40, 0}, &partition, &tb), 0);
    EXPECT_LT(tb, 1000.0002);
    EXPECT_EQ(temps::tb_to_tu(*end, 1, tb, &out), 0) << tb;
}

// Records of several partitions reaching the same instants: the later in
// the table holds each, on both sides of every record's ends, indexed or
// searched one by one; a holder whose readings are too coarse for the
// millisecond answers none, and an earlier record does not stand in.
TEST(Correlation, TheLaterRecordHoldsAnInstant) {
    const auto c = table(
        "1 0 864000 0 2004-07-05T00:00:00.000 1\n"              // ten days
        "2 0 86400 0 2004-07-07T00:00:00.000 1\n"               // the third of them
        "3 0 43200000 0 2004-07-05T00:00:00.000 1000\n"         // its first half day, in ms
        "4 1e20 1.00000000001e20 1e20 2004-07-10T00:00:00.000 1\n");  // 16384 s a reading step
    ASSERT_NE(c, nullptr);
    temps::correlation plain = *c;
    plain.index.reset();
    struct row {
        date_heure at;
        int partition;  // 0: none
    };
    const row rows[] = {
        {{2004, 7, 4, 23, 59, 59, 999}, 0},  {{2004, 7, 5, 0, 0, 0, 0}, 3},     {{2004, 7, 5, 11, 59, 59, 999}, 3},
        {{2004, 7, 5, 12, 0, 0, 0}, 1},      {{2004, 7, 6, 23, 59, 59, 999}, 1}, {{2004, 7, 7, 0, 0, 0, 0}, 2},
        {{2004, 7, 7, 23, 59, 59, 999}, 2},  {{2004, 7, 8, 0, 0, 0, 0}, 1},      {{2004, 7, 9, 23, 59, 59, 999}, 1},
        {{2004, 7, 10, 0, 0, 0, 0}, 4},      {{2004, 7, 10, 0, 0, 0, 1}, 0},     {{2004, 7, 14, 23, 59, 59, 999}, 0},
        {{2004, 7, 15, 0, 0, 0, 0}, 0},
    };
    for (const row& r : rows)
        for (const temps::correlation* t : {c.get(), &plain}) {
            int partition = 0;
            double tb = -1.0;
            const int status = temps::tu_to_tb(*t, r.at, &partition, &tb);
            ASSERT_EQ(status, r.partition == 0 ? -1 : 0) << r.at << (t == &plain ? " searched" : " indexed");
            if (status != 0) continue;
            EXPECT_EQ(partition, r.partition) << r.at;
            date_heure back{};
            ASSERT_EQ(temps::tb_to_tu(*t, partition, tb, &back), 0) << r.at;
            EXPECT_TRUE(test::same(back, r.at)) << r.at << " came back as " << back;
        }
}

// Random tables of many records: every instant that tu_to_tb answers comes
// back through tb_to_tu to the millisecond, and most instants are covered.
TEST(Correlation, RandomRoundTrips) {
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> rate(0.5, 65536.0), step(1e3, 1e7), unit(0.0, 1.0);
    auto c = std::make_unique<temps::correlation>();
    double tb = 0.0;
    double tu_ms = 1467676800000.0;  // 2004-07-05, in TU milliseconds
    for (int i = 0; i < 4096; ++i) {
        const int partition = i < 2048 ? 1 : 2;
        if (i == 2048) tb = 0.0;  // the reset
        const double k = rate(rng), span = step(rng);
        int y, mo, d, h, mi;
        double s;
        temps::date_to_tu(std::floor(tu_ms), &y, &mo, &d, &h, &mi, &s);
        const date_heure ref{y, mo, d, h, mi, static_cast<int>(s), static_cast<int>(std::lround((s - std::floor(s)) * 1000)) % 1000};
        c->records.push_back({partition, tb, tb + span * k, {tb, ref, k}});
        tb += span * k * (unit(rng) < 0.1 ? 1.5 : 1.0);  // a gap now and then
        tu_ms += span * 1000.0 * 0.999;                  // neighbours overlap a little in TU
    }
    // Searched as they are, then through their index: the same answers.
    const temps::correlation plain = *c;
    ASSERT_EQ(temps::index_correlation(c.get()), 0);
    int answered = 0;
    for (int i = 0; i < 2000; ++i) {
        const double t = 1467676800000.0 + unit(rng) * (tu_ms - 1467676800000.0);
        int y, mo, d, h, mi;
        double s;
        temps::date_to_tu(std::floor(t), &y, &mo, &d, &h, &mi, &s);
        const date_heure at{y, mo, d, h, mi, static_cast<int>(s), static_cast<int>(std::fmod(s, 1.0) * 1000 + 0.5) % 1000};
        int partition = 0, plain_partition = 0;
        double reading = 0.0, plain_reading = 0.0;
        const int status = temps::tu_to_tb(*c, at, &partition, &reading);
        ASSERT_EQ(temps::tu_to_tb(plain, at, &plain_partition, &plain_reading), status) << at;
        if (status != 0) continue;
        ASSERT_TRUE(partition == plain_partition && reading == plain_reading) << at;
        ++answered;
        date_heure back{};
        ASSERT_EQ(temps::tb_to_tu(*c, partition, reading, &back), 0);
        ASSERT_EQ(test::instant_ms(back), test::instant_ms(at))
            << at << " came back as " << back << " (partition " << partition << ", reading " << reading << ")";
    }
    EXPECT_GT(answered, 1800);
    // Readings at every record's edges, gaps after some: the plain search
    // and the index agree (a record holds from_tb, not to_tb).
    int refused = 0;
    for (const temps::correlation_record& r : c->records)
        for (const double tb : {r.from_tb, r.to_tb, std::nextafter(r.to_tb, r.from_tb)}) {
            date_heure indexed{}, searched{};
            const int status = temps::tb_to_tu(*c, r.partition, tb, &indexed);
            ASSERT_EQ(temps::tb_to_tu(plain, r.partition, tb, &searched), status) << tb;
            if (status == 0) {
                ASSERT_EQ(test::instant_ms(indexed), test::instant_ms(searched)) << tb;
            }
            refused += status != 0;
        }
    EXPECT_GT(refused, 100);  // the ends of the records before a gap
}

// A table as large as a long mission's kernel allows, read from its file:
// every record answers exactly as its own calibration, at both ends.
TEST(Correlation, AHundredThousandRecords) {
    std::string text;
    text.reserve(100000 * 60);
    for (int i = 0; i < 100000; ++i) {
        const int partition = 1 + i / 40000, day = i % 40000;
        char line[128];
        int y = 0, mo = 0, d = 0;
        temps::caldat(&mo, &d, &y, temps::jd_1958 + 10000 * (partition - 1) + day / 4);
        std::snprintf(line, sizeof line, "%d %d %d %d %04d-%02d-%02dT%02d:00:00.000 %d\n", partition, day * 21600,
                      day * 21600 + 21600, day * 21600, y, mo, d, day % 4 * 6, 1 + i % 3);
        text += line;
    }
    const auto c = table(text);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->records.size(), 100000u);
    for (const temps::correlation_record& r : c->records) {
        for (const double tb : {r.from_tb, r.to_tb - 0.5}) {
            date_heure want{}, got{};
            ASSERT_EQ(temps::tb_to_tu(r.cal, tb, &want), 0);
            ASSERT_EQ(temps::tb_to_tu(*c, r.partition, tb, &got), 0) << r.partition << ' ' << tb;
            ASSERT_TRUE(test::same(got, want)) << got << " instead of " << want;
        }
    }
}

}  // namespace
