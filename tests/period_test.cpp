// PERIODE end to end: the real binary's output and status, and every day
// of years 1 to 9999 listed in both directions against caldat.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "period.h"
#include "support.h"
#include "temps.h"

namespace {

const std::string bin = KORVANE_PERIODE_BIN;
const std::string usage = "Usage : " + bin +
                          " <date-deb> <date-fin>\n\nAffiche la liste des dates comprises dans la "
                          "periode\n\nLes dates doivent etre au format YYYYMMDD\n";

TEST(Periode, Transcripts) {
    struct row {
        const char* name;
        std::vector<std::string> args;
        std::string out;
        int status;
    };
    const row rows[] = {
        {"up-across-leap-day", {"20040227", "20040302"},
         "20040227\n20040228\n20040229\n20040301\n20040302\n", 0},
        {"down-across-february", {"20050302", "20050227"}, "20050302\n20050301\n20050228\n20050227\n", 0},
        {"single-day", {"20040101", "20040101"}, "20040101\n", 0},
        {"up-across-year-end", {"20041230", "20050102"}, "20041230\n20041231\n20050101\n20050102\n", 0},
        {"reform-gap-up", {"15821003", "15821016"}, "15821003\n15821004\n15821015\n15821016\n", 0},
        {"reform-gap-down", {"15821016", "15821003"}, "15821016\n15821015\n15821004\n15821003\n", 0},
        {"julian-leap-1500", {"15000228", "15000301"}, "15000228\n15000229\n15000301\n", 0},
        {"impossible-day-runs-on", {"20040230", "20040302"}, "20040301\n20040302\n", 0},
        {"month-13-is-next-january", {"20041301", "20050102"}, "20050101\n20050102\n", 0},
        {"seven-characters", {"2004013", "20040104"}, "20040103\n20040104\n", 0},
        {"blanks-and-trailing-text", {"  20040227", "20040228xyz"}, "20040227\n20040228\n", 0},
        {"plus-sign-counts-in-width", {"+0010101", "00010102"}, "00010101\n00010102\n", 0},
        {"sign-cuts-the-year-short", {"+2004", "20040101"}, "Date incorrecte : +2004\n", 255},
        {"year-one-zero-padded", {"00010101", "00010102"}, "00010101\n00010102\n", 0},
        {"before-year-one", {"-0011231", "00010101"}, "-0011231\n00010101\n", 0},
        {"beyond-9999", {"99991231", "99991301"}, "99991231\n100000101\n", 0},
        {"signed-month-refused", {"2004-01-01", "2004-01-03"}, "Date incorrecte : 2004-01-01\n", 255},
        {"signed-day-refused", {"20040101", "200401+3"}, "Date incorrecte : 200401+3\n", 255},
        {"bad-start-not-reading-end", {"2004AB01", "junk"}, "Date incorrecte : 2004AB01\n", 255},
        {"bad-end", {"20040101", "2004"}, "Date incorrecte : 2004\n", 255},
        {"empty-start", {"", "20040101"}, "Date incorrecte : \n", 255},
        {"year-zero-start", {"00000101", "20040101"}, "Date incorrecte : 00000101\n", 255},
        {"year-zero-end", {"20040101", "00001231"}, "Date incorrecte : 00001231\n", 255},
        {"no-arguments", {}, usage, 255},
        {"one-argument", {"20040101"}, usage, 255},
        {"three-arguments", {"20040101", "20040102", "20040103"}, usage, 255},
    };
    for (const row& r : rows) {
        std::vector<std::string> argv{bin};
        argv.insert(argv.end(), r.args.begin(), r.args.end());
        const test::run_result got = test::run(argv);
        EXPECT_EQ(got.out, r.out) << r.name;
        EXPECT_EQ(got.status, r.status) << r.name;
    }
}

TEST(Periode, LostOutputIsAFailure) {
    struct row {
        const char* name;
        test::run_options options;
    };
    const row rows[] = {
        {"full-disk", {"/dev/full", -1, false, false}},
        {"reader-gone", {nullptr, -1, false, true}},
    };
    for (const row& r : rows) {
        EXPECT_EQ(test::run({bin, "00010101", "99991231"}, r.options).status, 255) << r.name;
        EXPECT_EQ(test::run({bin, "20040101", "20040102"}, r.options).status, 255) << r.name;
    }
    // Like any filter, ended by SIGPIPE when the shell leaves it at its default.
    EXPECT_EQ(test::run({bin, "00010101", "99991231"}, {nullptr, -1, false, true, true}).status, 128 + SIGPIPE);
}

// Every day of years 1 to 9999 and a stretch before year 1, each listing
// checked line by line against caldat and printf.
TEST(Periode, EveryDayMatchesCaldatBothWays) {
    int first = 0, last = 0;
    ASSERT_EQ(temps::julday(1, 1, -50, &first), 0);
    ASSERT_EQ(temps::julday(12, 31, 9999, &last), 0);
    for (const bool up : {true, false}) {
        std::FILE* sink = std::tmpfile();
        ASSERT_NE(sink, nullptr);
        static periode::output out;
        out = periode::output{fileno(sink)};
        periode::list_days(&out, up ? first : last, up ? last : first);
        ASSERT_TRUE(out.flush());
        std::rewind(sink);
        char line[32], want[32];
        long long lines = 0;
        for (int jd = up ? first : last; std::fgets(line, sizeof line, sink); jd += up ? 1 : -1) {
            int y = 0, m = 0, d = 0;
            temps::caldat(&m, &d, &y, jd);
            std::snprintf(want, sizeof want, "%04d%02d%02d\n", y, m, d);
            ++lines;
            if (std::string(line) != want) {
                ADD_FAILURE() << "day number " << jd << ": " << line << " instead of " << want;
                break;
            }
        }
        EXPECT_EQ(lines, static_cast<long long>(last) - first + 1);
        std::fclose(sink);
    }
}

}  // namespace
