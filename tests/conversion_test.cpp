// The temps command: rows of arguments, input, output, messages and exit
// status, run in-process on files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "run.h"
#include "support.h"
#include "temps.h"

namespace {

const std::string leaps = KORVANE_TEST_DATA "/leap-seconds.list";
const std::string clock = KORVANE_SOURCE_DIR "/examples/clock.correlation";

struct result {
    std::string out, err;
    int status;
};

result temps_command(std::vector<std::string> args, const std::string& input = "") {
    test::temp_dir dir;
    test::write_file(dir.path() / "in", input);
    args.insert(args.begin(), "temps");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    const int in = open((dir.path() / "in").c_str(), O_RDONLY);
    const int out = open((dir.path() / "out").c_str(), O_WRONLY | O_CREAT, 0600);
    const int err = open((dir.path() / "err").c_str(), O_WRONLY | O_CREAT, 0600);
    const int status = conversion::run(static_cast<int>(argv.size()), argv.data(), in, out, err);
    close(in);
    close(out);
    close(err);
    return {test::read_file(dir.path() / "out"), test::read_file(dir.path() / "err"), status};
}

TEST(TempsCommand, Transcripts) {
    const std::string table = "--leap-seconds=" + leaps;
    struct row {
        const char* what;
        std::vector<std::string> args;
        std::string input, out, err;
        int status;
    };
    const row rows[] = {
        {"a leap second to TAI", {table, "--from", "utc", "--to", "tai", "2016-12-31T23:59:60.500"}, "",
         "2017-01-01T00:00:36.500\n", "", 0},
        {"and back", {table, "--from", "tai", "--to", "utc", "2017-01-01T00:00:36.500Z"}, "",
         "2016-12-31T23:59:60.500\n", "", 0},
        {"the window's first day on every scale",
         {table, "--from", "utc", "--to", "tt", "--precision", "0", "2004-07-05T00:00:00"}, "",
         "2004-07-05T00:01:04\n", "", 0},
        {"GPS, nanoseconds", {table, "--from", "tai", "--to", "gps", "--precision=9", "2004-07-05T00:00:32.000000001"},
         "", "2004-07-05T00:00:13.000000001\n", "", 0},
        {"truncated, never rounded", {table, "--from", "utc", "--to", "utc", "2016-12-31T23:59:59.9996"}, "",
         "2016-12-31T23:59:59.999\n", "", 0},
        // Days out of order, and the label after midnight on TAI keeps its
        // own date; 1972-01-15 and 2050-11-15 share a slot of the day memo,
        // not an offset.
        {"days out of order", {table, "--from", "utc", "--to", "tai"},
         "2005-12-31T12:00:00\n2015-10-31T12:00:00\n2005-12-31T23:59:60\n2005-12-31T23:59:40.5\n2015-10-31T12:00:01\n",
         "2005-12-31T12:00:32.000\n2015-10-31T12:00:36.000\n2006-01-01T00:00:32.000\n2006-01-01T00:00:12.500\n"
         "2015-10-31T12:00:37.000\n", "", 0},
        {"two days of one memo slot", {table, "-f", "utc", "-t", "tai"},
         "1972-01-15T12:00:00\n2050-11-15T12:00:00\n1972-01-15T12:00:01\n",
         "1972-01-15T12:00:10.000\n2050-11-15T12:00:37.000\n1972-01-15T12:00:11.000\n",
         "temps: warning: " + leaps + " expired on 2026-06-28: later instants keep its last offset\n", 0},
        {"a leap second in TU", {table, "--from", "utc", "--to", "tu", "2016-12-31T23:59:60.500"}, "",
         "1861919999999.000\n", "", 0},
        // TU to the microsecond, truncated toward the past as labels are:
        // never rounded into the next microsecond, millisecond or day.
        {"TU truncated", {table, "--from", "utc", "--to", "tu"},
         "2004-07-05T12:34:56.123456789\n2005-12-31T23:59:59.999999999\n2004-07-05T00:00:00.0005\n"
         "1957-12-31T23:59:59.9995\n",
         "1467722096123.456\n1514764799999.999\n1467676800000.500\n-0.500\n", "", 0},
        {"no precision for TU", {table, "--precision", "6", "--from", "utc", "--to", "tu", "2004-07-05T00:00:00"}, "",
         "", "", 2},
        // Numbers with an exponent; a number out of range is told apart
        // from text that is none.
        {"exponents", {"-f", "tu", "-t", "utc", "1.5e12", "1e300", "1.5e"}, "", "2005-07-14T02:40:00.000\n",
         "temps: '1e300': a TU time beyond the years 1 to 9999\ntemps: '1.5e': not a TU time in milliseconds\n", 1},
        {"a day number with an exponent", {"-f", "jd", "-t", "utc", "2.453192e6", "2453192.5", "1e9"}, "",
         "2004-07-05T00:00:00.000\n",
         "temps: '2453192.5': not a Julian day number\ntemps: '1e9': a Julian day number beyond the years 1 to 9999\n", 1},
        // A leap of less than a second: where it ends.
        {"the short leap second of 1971", {table, "-f", "utc", "-t", "tai", "1971-12-31T23:59:60.1", "1971-12-31T23:59:60.2"},
         "", "1972-01-01T00:00:09.992\n",
         "temps: '1971-12-31T23:59:60.2': the leap second of 1971-12-31 ends at 23:59:60.10775803\n", 1},
        // A time UTC skipped (1961-08-01 stepped 0.05 s forward) is refused
        // whatever the output; the code of the same day before it is not.
        {"a skipped time, to UTC", {table, "-f", "cds", "-t", "utc", "40051B05265BC8", "40051B05265BD8"}, "",
         "1961-07-31T23:59:59.944\n", "temps: '40051B05265BD8': a UTC time that a step of the 1960s skipped\n", 1},
        {"a skipped time, to TU", {table, "-f", "utc", "-t", "tu", "1961-07-31T23:59:59.960"}, "", "",
         "temps: '1961-07-31T23:59:59.960': a UTC time that a step of the 1960s skipped\n", 1},
        // Second 60 exists on UTC alone; TT to TAI borrows a second below
        // .184; the last millisecond of a leap second is one.
        {"second 60 on TAI", {table, "-f", "tai", "-t", "utc", "2004-07-05T00:00:60"}, "", "",
         "temps: '2004-07-05T00:00:60': not a time YYYY-MM-DDTHH:MM:SS[.fraction][Z]\n", 1},
        {"TT below .184 s", {table, "-f", "tt", "-t", "tai", "2004-07-05T00:01:04.100"}, "", "2004-07-05T00:00:31.916\n",
         "", 0},
        {"the last millisecond of a leap second", {table, "-f", "cds", "-t", "utc", "40542D05265FE7"}, "",
         "2016-12-31T23:59:60.999\n", "", 0},
        // The command's memos: one day of month in two months; codes of one
        // day, with milliseconds, then microseconds, then without again.
        {"a day of month in two months", {table, "-f", "utc", "-t", "tai", "2004-07-05T12:00:00", "2004-08-05T12:00:00",
                                           "2004-07-05T12:00:01"}, "",
         "2004-07-05T12:00:32.000\n2004-08-05T12:00:32.000\n2004-07-05T12:00:33.000\n", "", 0},
        {"codes of one day, P-fields mixed", {table, "-f", "cds", "-t", "utc", "-p", "6", "40542D05265DF4",
                                               "41542D05265DF40001", "40542D05265DF4"}, "",
         "2016-12-31T23:59:60.500000\n2016-12-31T23:59:60.500001\n2016-12-31T23:59:60.500000\n", "", 0},
        {"a coarse counter too short for the instant", {table, "-f", "utc", "-t", "cuc", "--pfield", "14",
                                                          "2004-07-05T00:00:00"}, "", "",
         "temps: '2004-07-05T00:00:00': beyond the coarse octets\n", 1},
        {"the last line without its line end", {"-f", "jd", "-t", "utc"}, "2453192\n2453193",
         "2004-07-05T00:00:00.000\n2004-07-06T00:00:00.000\n", "", 0},
        {"a TU fraction carried into the next millisecond", {"-f", "tu", "-t", "utc", "1467676800000.9999999"}, "",
         "2004-07-05T00:00:00.001\n", "", 0},
        {"an unusable correlation file", {"--correlation", "/nonexistent", "-f", "obt", "-t", "utc", "1/0"}, "", "",
         "temps: /nonexistent:0: cannot read: No such file or directory\n", 2},
        {"TU to UTC needs no table", {"--leap-seconds", "/nonexistent", "--from", "tu", "--to", "utc", "1467676800000"},
         "", "2004-07-05T00:00:00.000\n", "", 0},
        {"a table that cannot be read", {"--leap-seconds", "/nonexistent", "--from", "utc", "--to", "tai", "2004-07-05T00:00:00"},
         "", "", "temps: /nonexistent:0: cannot read: No such file or directory\n", 2},
        {"a day without a leap second", {table, "--from", "utc", "--to", "tai", "2016-12-30T23:59:60", "2004-07-05T00:00:00"},
         "", "2004-07-05T00:00:32.000\n", "temps: '2016-12-30T23:59:60': no leap second at this time\n", 1},
        {"values from the input, blank lines skipped", {table, "--from", "jd", "--to", "utc"}, "2453192\n\n2455635\r\n",
         "2004-07-05T00:00:00.000\n2011-03-14T00:00:00.000\n", "", 0},
        {"a malformed value among good ones", {table, "--from", "utc", "--to", "jd"}, "2004-07-05T12:00:00\nnoon\n",
         "2453192\n", "temps: 'noon': not a UTC time YYYY-MM-DDTHH:MM:SS[.fraction][Z]\n", 1},
        {"after the expiry: converted, warned once",
         {table, "--from", "utc", "--to", "tai", "2030-01-01T00:00:00", "2031-01-01T00:00:00"}, "",
         "2030-01-01T00:00:37.000\n2031-01-01T00:00:37.000\n",
         "temps: warning: " + leaps + " expired on 2026-06-28: later instants keep its last offset\n", 0},
        {"an on-board reading", {"--correlation", clock, "--from", "obt", "--to", "utc", "1/86400000", "3/5"}, "",
         "2004-07-06T00:00:00.002\n", "temps: '3/5': no record covers this reading\n", 1},
        {"to an on-board reading", {"--correlation", clock, "--from", "utc", "--to", "obt", "2008-01-01T00:00:01"}, "",
         "2/1024.000000\n", "", 0},
        {"a CDS code in a leap second", {table, "--from", "cds", "--to", "utc", "40542d05265df4"}, "",
         "2016-12-31T23:59:60.500\n", "", 0},
        {"UTC to CUC", {table, "--from", "utc", "--to", "cuc", "2004-07-05T00:00:00"}, "", "1E577AF8A00000\n", "", 0},
        // A label through a CUC code finer than its last digit comes back
        // as itself: the nearest unit out, the label rounded in.
        {"labels to CUC, the nearest unit", {table, "-f", "utc", "-t", "cuc"},
         "2004-07-05T12:34:56.789\n2004-07-05T00:00:00.002\n2004-07-05T23:59:59.999\n",
         "1E577BA990C9FC\n1E577AF8A00083\n1E577C4A1FFFBE\n", "", 0},
        {"and back", {table, "-f", "cuc", "-t", "utc"}, "1E577BA990C9FC\n1E577AF8A00083\n1E577C4A1FFFBE\n",
         "2004-07-05T12:34:56.789\n2004-07-05T00:00:00.002\n2004-07-05T23:59:59.999\n", "", 0},
        {"a code coarser than the label: truncated", {table, "-f", "cuc", "-t", "utc", "-p", "6", "1E577AF8A00083"}, "",
         "2004-07-05T00:00:00.001998\n", "", 0},
        {"an implicit P-field", {table, "--implicit-pfield", "40", "--from", "cds", "--to", "utc", "542D05265DF4"}, "",
         "2016-12-31T23:59:60.500\n", "", 0},
        {"an agency epoch", {table, "--agency-epoch", "2000-01-01", "--pfield", "48", "--from", "utc", "--to", "cds",
                             "2000-01-02T00:00:00.010"}, "", "4800010000000A\n", "", 0},
        {"a millisecond of a leap second on a day without one", {table, "--from", "cds", "--to", "utc", "40542C05265C00"}, "",
         "", "temps: '40542C05265C00': a millisecond of day past 86,399,999 on a day without a leap second\n", 1},
        {"a P-field of the other code", {table, "--pfield", "1E", "--from", "utc", "--to", "cds", "x"}, "", "",
         "temps: --pfield does not describe a CDS code\nTry 'temps --help'.\n", 2},
        {"obt without a table", {"--from", "obt", "--to", "utc", "1/0"}, "", "", "", 2},
        {"an unknown format", {"--from", "utc", "--to", "tcb", "x"}, "", "", "", 2},
        {"no --to", {"--from", "utc", "x"}, "", "", "", 2},
        {"a precision out of range", {"--from", "utc", "--to", "tai", "--precision", "10"}, "", "", "", 2},
        {"an unknown option", {"--frm", "utc", "--to", "tai", "x"}, "", "", "", 2},
        {"an unknown short option", {"-x", "utc"}, "", "", "", 2},
        // Short options, and "--" before values that look like options.
        {"short options", {table, "-f", "utc", "-ttai", "-p", "0", "2004-07-05T00:00:00.9"}, "",
         "2004-07-05T00:00:32\n", "", 0},
        {"-- ends the options", {"-f", "tu", "-t", "utc", "--", "--to", "-86400000"}, "", "1957-12-31T00:00:00.000\n",
         "temps: '--to': not a TU time in milliseconds\n", 1},
        // A value is quoted in its message, control and non-UTF-8 bytes
        // escaped; UTF-8 text stays.
        {"escaped in messages", {"-f", "jd", "-t", "utc", "bad\001x", "\xff'\\", "é"}, "", "",
         "temps: 'bad\\001x': not a Julian day number\n"
         "temps: '\\377\\'\\\\': not a Julian day number\n"
         "temps: 'é': not a Julian day number\n", 1},
        {"an empty argument", {"-f", "jd", "-t", "utc", "", "2453192"}, "", "2004-07-05T00:00:00.000\n",
         "temps: '': an empty value\n", 1},
        // Lines: a CR at the end of the input ends a line; blanks are blank.
        {"CR and blanks", {"-f", "jd", "-t", "utc"}, "2453192\r\n \t \n2453193\r",
         "2004-07-05T00:00:00.000\n2004-07-06T00:00:00.000\n", "", 0},
        // What becomes of a refused value's line.
        {"--on-error=empty keeps the lines aligned", {"--on-error=empty", "-f", "jd", "-t", "utc"}, "2453192\nx\n2453193\n",
         "2004-07-05T00:00:00.000\n\n2004-07-06T00:00:00.000\n", "temps: 'x': not a Julian day number\n", 1},
        {"--on-error=stop", {"--on-error", "stop", "-f", "jd", "-t", "utc", "2453192", "x", "2453193"}, "",
         "2004-07-05T00:00:00.000\n", "temps: 'x': not a Julian day number\n", 1},
        {"--on-error of no kind", {"--on-error=drop", "-f", "jd", "-t", "utc", "1"}, "", "", "", 2},
        // CDF epochs: TT2000 both sides of J2000 and of a leap second, its
        // markers both ways and refused where no marker exists; EPOCH and
        // EPOCH16 with fractions below the millisecond.
        {"TT2000", {table, "-f", "utc", "-t", "tt2000"}, "2001-01-01T00:00:00\n2000-01-01T11:58:55.815999999\n"
         "2016-12-31T23:59:60.999999999\n9999-12-31T23:59:59.999999999\n0000-01-01T00:00:00.000\n",
         "31579264184000000\n-1\n536500869183999999\n-9223372036854775808\n-9223372036854775807\n", "", 0},
        {"TT2000 to labels", {table, "-f", "tt2000", "-t", "tai", "-p", "9"}, "0\n-9223372036854775808\n-9223372036854775807\n",
         "2000-01-01T11:59:27.816000000\n9999-12-31T23:59:59.999999999\n0000-01-01T00:00:00.000000000\n", "", 0},
        {"TT2000 limits", {table, "-f", "tt2000", "-t", "tu", "-9223372036854775808", "9223372036854775808"}, "", "",
         "temps: '-9223372036854775808': CDF's fill value, not an instant\n"
         "temps: '9223372036854775808': not a TT2000 (nanoseconds since J2000, an int64)\n", 1},
        {"EPOCH and back", {"-f", "utc", "-t", "epoch", "2004-07-05T00:00:00.0005", "0001-01-01T00:00:00"}, "",
         "63256204800000.5\n31449600000\n", "", 0},
        {"EPOCH to labels", {"-f", "epoch", "-t", "utc", "-p", "7", "63256204800000.5", "3.14496e10", "31449599999"}, "",
         "2004-07-05T00:00:00.0005000\n0001-01-01T00:00:00.0000000\n",
         "temps: '31449599999': a CDF epoch beyond the years 1 to 9999\n", 1},
        {"--on-error=empty keeps a line for a blank line and a line too long",
         {table, "--on-error=empty", "-f", "tai", "-t", "tt", "-p", "0"},
         "2004-07-05T00:00:00\n\n" + std::string(70000, '1') + "\n   \n2004-07-05T00:00:01\n",
         "2004-07-05T00:00:32\n\n\n\n2004-07-05T00:00:33\n", "temps: '" + std::string(40, '1') + "': line too long\n", 1},
        {"--on-error=stop stops at a line too long", {table, "--on-error=stop", "-f", "tai", "-t", "tt", "-p", "0"},
         "2004-07-05T00:00:00\n" + std::string(70000, '1') + "\n2004-07-05T00:00:01\n", "2004-07-05T00:00:32\n",
         "temps: '" + std::string(40, '1') + "': line too long\n", 1},
        {"a fine CUC code is rounded to the label's last digit", {table, "-f", "cuc", "-t", "utc", "-p", "4", "1E577AF8A00034"},
         "", "2004-07-05T00:00:00.0008\n", "", 0},
        {"an instant inside a leap second to obt: the last millisecond before it",
         {table, "--correlation", clock, "-f", "utc", "-t", "obt", "2008-12-31T23:59:60.5", "2008-12-31T23:59:59.999"}, "",
         "2/32381337598.976002\n2/32381337598.976002\n", "", 0},
        {"unix and yday, one row each", {table, "-f", "unix", "-t", "yday", "1483228799.5", "-1.25", "x"}, "",
         "2016-366T23:59:59.500\n1969-365T23:59:58.750\n",
         "temps: 'x': not POSIX seconds since 1970-01-01 (a decimal to the nanosecond)\n", 1},
        {"and back", {table, "-f", "yday", "-t", "unix", "2016-366T23:59:59.5Z", "2016-366T23:59:60"}, "",
         "1483228799.500000000\n", "temps: '2016-366T23:59:60': a leap second, which POSIX time has not\n", 1},
        {"datetime64 has no text: not a format of the command", {"-f", "datetime64", "-t", "utc", "0"}, "", "",
         "temps: --from: 'datetime64' is not a format\nTry 'temps --help'.\n", 2},
        {"EPOCH16 both ways, to the picosecond", {"-f", "epoch16", "-t", "epoch16", "63113904000.000000001999", "63113904000.1"}, "",
         "63113904000.000000001999\n", "temps: '63113904000.1': not a CDF epoch16 <seconds>.<12 digits of picoseconds>\n", 1},
    };
    for (const row& r : rows) {
        const result got = temps_command(r.args, r.input);
        EXPECT_EQ(got.status, r.status) << r.what << ": " << got.err;
        EXPECT_EQ(got.out, r.out) << r.what;
        // A usage error: one line that names it, then where to read more.
        const bool usage = r.status == 2 && r.err.empty();
        const std::string more = "Try 'temps --help'.\n";
        EXPECT_EQ(usage ? test::count(got.err, "\n") == 2 && got.err.rfind("temps: ", 0) == 0 &&
                              got.err.size() > more.size() && got.err.substr(got.err.size() - more.size()) == more
                        : got.err == r.err,
                  true)
            << r.what << ": " << got.err;
    }
    // A legal record whose readings run to hundreds of digits: each line
    // whole, one after the other, nothing past the output's buffer.
    test::temp_dir dir;
    test::write_file(dir.path() / "wide.correlation", "1 0 1e300 0 2004-07-05T00:00:00.000 1e290\n");
    const std::string wide = (dir.path() / "wide.correlation").string();
    const result readings = temps_command({"--correlation", wide, "--from", "utc", "--to", "obt"},
                                          std::string(300, '\n') + "2004-07-05T00:00:01\n2004-07-05T00:00:02\n");
    EXPECT_EQ(readings.status, 0) << readings.err;
    EXPECT_EQ(readings.out.find('\0'), std::string::npos);
    EXPECT_EQ(test::count(readings.out, "\n"), 2);
    EXPECT_EQ(readings.out.rfind("1/10000000000000000", 0), 0u) << readings.out.substr(0, 40);
    EXPECT_GT(readings.out.size(), 600u);
    // A reading that maps exactly to the instant is that reading, not one
    // half a millisecond later.
    test::write_file(dir.path() / "seconds.correlation", "1 0 1e9 0 2004-07-05T00:00:00.000 1\n");
    const std::string seconds = (dir.path() / "seconds.correlation").string();
    EXPECT_EQ(temps_command({"--correlation", seconds, "--from", "utc", "--to", "obt", "2004-07-06T00:00:00.250"}).out,
              "1/86400.250000\n");
    const result help = temps_command({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: temps", 0), 0u);
    for (const char* format : {"\n  unix     POSIX seconds", "\n  yday     YYYY-DDDT", "\n  tt2000   CDF_TIME_TT2000"})
        EXPECT_NE(help.out.find(format), std::string::npos) << format;
    EXPECT_EQ(help.out.find("datetime64"), std::string::npos);
    // An answer that cannot be written says why.
    for (const char* option : {"--help", "--version"}) {
        const int full = open("/dev/full", O_WRONLY);
        const char* argv[] = {"temps", option};
        test::temp_dir dir;
        const int err = open((dir.path() / "err").c_str(), O_WRONLY | O_CREAT, 0600);
        EXPECT_EQ(conversion::run(2, argv, -1, full, err), 1) << option;
        close(full);
        close(err);
        EXPECT_EQ(test::read_file(dir.path() / "err"), "temps: standard output: No space left on device\n") << option;
    }
}

// Random labels of 1972 to 2030, in time order and not, through the
// command's memos: each line as the library's own calls give it, both ways.
TEST(TempsCommand, AgreesWithTheLibraryInAnyOrder) {
    temps::leap_second_table table;
    char error[256];
    ASSERT_EQ(temps::read_leap_seconds(leaps.c_str(), &table, error, sizeof error), 0) << error;
    std::mt19937_64 rng(25);
    std::uniform_int_distribution<std::int64_t> second(14 * 365 * 86400LL, 72 * 365 * 86400LL);
    std::uniform_int_distribution<std::int32_t> ms(0, 999);
    std::vector<temps::civil_time> labels;
    for (int i = 0; i < 3000; ++i) {
        temps::civil_time c{};
        ASSERT_EQ(temps::label_of({second(rng), ms(rng) * 1000000}, &c), 0);
        labels.push_back(c);
    }
    std::sort(labels.begin(), labels.begin() + 1500, [](const temps::civil_time& a, const temps::civil_time& b) {
        return std::tie(a.year, a.month, a.day, a.hour, a.minute, a.second) <
               std::tie(b.year, b.month, b.day, b.hour, b.minute, b.second);
    });
    auto text = [](const temps::civil_time& c) {
        char s[40];
        std::snprintf(s, sizeof s, "%04d-%02d-%02dT%02d:%02d:%02d.%03d\n", c.year, c.month, c.day, c.hour, c.minute,
                      c.second, c.nanosecond / 1000000);
        return std::string(s);
    };
    std::string input, tai_labels;
    for (const temps::civil_time& c : labels) {
        temps::scale_time tai{};
        temps::civil_time t{};
        ASSERT_GE(temps::utc_to_tai(table, c, &tai), 0);
        ASSERT_EQ(temps::label_of(tai, &t), 0);
        input += text(c);
        tai_labels += text(t);
    }
    EXPECT_EQ(temps_command({"--leap-seconds=" + leaps, "-f", "utc", "-t", "tai"}, input).out, tai_labels);
    EXPECT_EQ(temps_command({"--leap-seconds=" + leaps, "-f", "tai", "-t", "utc"}, tai_labels).out, input);
    // Output that cannot be written: a full disk, a reader gone.
    test::temp_dir dir;
    test::write_file(dir.path() / "in", input);
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    close(pipe_fds[0]);
    const auto old = std::signal(SIGPIPE, SIG_IGN);
    for (const int out : {open("/dev/full", O_WRONLY), pipe_fds[1]}) {
        const int in = open((dir.path() / "in").c_str(), O_RDONLY);
        const int err = open((dir.path() / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const std::string l = "--leap-seconds=" + leaps;
        const char* argv[] = {"temps", l.c_str(), "-f", "utc", "-t", "tai"};
        EXPECT_EQ(conversion::run(6, argv, in, out, err), 1);
        close(in), close(out), close(err);
        EXPECT_NE(test::read_file(dir.path() / "err").find("\ntemps: standard output: "), std::string::npos);  // after the expiry warning
    }
    std::signal(SIGPIPE, old);
}

}  // namespace
