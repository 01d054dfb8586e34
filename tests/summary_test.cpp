// The survey's summaries: month grid, gaps across month and year ends, and
// fallback counting, on surveys built day by day.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>

#include "outputs.h"
#include "summary.h"

namespace {

using korvane::file_status;
using namespace std::chrono;

// A survey of the whole window where product `p` is missing on the listed
// days (index from 2004-07-05) and found under its fallback on others.
std::unique_ptr<korvane::survey> make(int p, const std::set<int>& missing, const std::set<int>& fallback) {
    auto s = std::make_unique<korvane::survey>();
    s->days = 0;
    for (sys_days d = 2004y / July / 5; d <= 2011y / March / 14; d += days{1}) {
        const year_month_day ymd{d};
        korvane::survey_day day{int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())), {}, {}};
        for (auto& st : day.status) st = file_status::primary;
        const int i = s->days;
        day.status[p] = missing.count(i) ? file_status::missing
                        : fallback.count(i) ? file_status::fallback : file_status::primary;
        s->day[s->days++] = day;
    }
    return s;
}

TEST(Summary, MonthGridAndTotals) {
    // Day 26 is 2004-07-31, 27 is 2004-08-01; 179 is 2004-12-31, 180 2005-01-01.
    const auto s = make(2, {26, 27, 180}, {0, 1, 2443});
    auto sum = std::make_unique<korvane::summary>();
    korvane::summarise(*s, sum.get());
    ASSERT_EQ(sum->months, 81);
    struct row {
        int month_index, year, month, days, primary, fallback, missing;
    };
    const row rows[] = {
        {0, 2004, 7, 27, 24, 2, 1},   // starts on the 5th
        {1, 2004, 8, 31, 30, 0, 1},
        {6, 2005, 1, 31, 30, 0, 1},
        {43, 2008, 2, 29, 29, 0, 0},  // a leap February
        {80, 2011, 3, 14, 13, 1, 0},  // ends on the 14th
    };
    for (const row& r : rows) {
        const korvane::month_cell& c = sum->month[r.month_index];
        EXPECT_EQ(c.year, r.year);
        EXPECT_EQ(c.month, r.month);
        EXPECT_EQ(c.days, r.days) << r.year << '-' << r.month;
        EXPECT_EQ(c.product[2].primary, r.primary) << r.year << '-' << r.month;
        EXPECT_EQ(c.product[2].fallback, r.fallback) << r.year << '-' << r.month;
        EXPECT_EQ(c.product[2].missing, r.missing) << r.year << '-' << r.month;
        EXPECT_EQ(c.product[0].primary, r.days);
    }
    EXPECT_EQ(sum->totals[2].primary, 2444 - 6);
    EXPECT_EQ(sum->totals[2].fallback, 3);
    EXPECT_EQ(sum->totals[2].missing, 3);
}

TEST(Summary, GapsLongestFirstAcrossMonthAndYearEnds) {
    // Runs: 26-27 (July into August), 178-182 (across the new year), 300,
    // 2440-2443 (to the window's end), 0 (its first day).
    const auto s = make(4, {0, 26, 27, 178, 179, 180, 181, 182, 300, 2440, 2441, 2442, 2443}, {301});
    korvane::gap g[8];
    ASSERT_EQ(korvane::gap_runs(*s, 4, g, 8), 5);
    const korvane::gap want[] = {{178, 5}, {2440, 4}, {26, 2}, {0, 1}, {300, 1}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(g[i].first, want[i].first) << i;
        EXPECT_EQ(g[i].length, want[i].length) << i;
    }
    // Kept to the two longest when there is room for two only.
    korvane::gap two[2];
    EXPECT_EQ(korvane::gap_runs(*s, 4, two, 2), 5);
    EXPECT_EQ(two[0].first, 178);
    EXPECT_EQ(two[1].first, 2440);
    EXPECT_EQ(korvane::gap_runs(*s, 0, two, 2), 0);  // a product never missing
}

// The overview's figures: shares in tenths of a percent, the colour
// boundaries, the fallback outline and the gaps' ends.
TEST(Summary, OverviewShowsWhatTheSurveyHolds) {
    const auto s = make(4, {60, 61, 62}, {});  // PEX: September 2004 at exactly 90 %
    s->day[26].status[2] = s->day[27].status[2] = file_status::missing;  // ZELK: 2004-07-31..08-01
    s->day[0].status[0] = file_status::fallback;                         // VAK: one day in July
    auto sum = std::make_unique<korvane::summary>();
    korvane::summarise(*s, sum.get());
    // Against an earlier survey where every file was there, under its first
    // name, and ZELK's first day had another time: 5 vanished, 2 changed.
    auto earlier = std::make_unique<korvane::survey_record>(), r = std::make_unique<korvane::survey_record>();
    const korvane::timestamp then{{2026, 12, 9, 5, 0, 0}, 3600}, now{{2026, 12, 9, 6, 0, 0}, 3600};
    korvane::compare_surveys(nullptr, *make(4, {}, {}), then, earlier.get());
    earlier->found.day[0].ctime[2] = earlier->read_ctime[0][2] = 7;
    s->day[0].ctime[2] = 8;
    korvane::compare_surveys(earlier.get(), *s, now, r.get());
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* f = open_memstream(&text, &size);
    ASSERT_EQ(korvane::write_overview(f, {r.get(), sum.get()}, {now, 0, 0, true, ""}, {"page.html", ""}), 0);
    std::fclose(f);
    const std::string page(text, size);
    std::free(text);
    for (const char* want : {
             "<td>3 (0.1&nbsp;%)</td>",                                                // PEX missing
             "<td class=\"c3\" title=\"PEX 2004-09: 27 primary, 0 fallback, 3 missing\">",  // 90 % is c3
             "<td class=\"c4 fb\" title=\"VAK 2004-07: 26 primary, 1 fallback, 0 missing\">",
             "<tr><td><time>2004-07-31</time></td><td><time>2004-08-01</time></td><td>2</td></tr>",
             "<p class=\"succeeded\">The last run, <time>2026-12-09 06:00:00 +01:00</time>, succeeded.</p>",
             "<p>Survey of <time>2026-12-09 06:00:00 +01:00</time>, 2004-07-05 to 2011-03-14 (2444 days). "
             "<a href=\"page.html\">Daily table</a></p>",
             "<h2>Changes since the survey of <time>2026-12-09 05:00:00 +01:00</time></h2>",
             "<h3 class=\"vanished\">Vanished: 5 files</h3>\n<ul>\n"
             "<li>ZELK (2): <time>2004-07-31</time> to <time>2004-08-01</time> (2 days)</li>\n"
             "<li>PEX (3): <time>2004-09-03</time> to <time>2004-09-05</time> (3 days)</li>",
             "<h3 class=\"changed\">Changed: 2 files</h3>\n<ul>\n<li>VAK (1): <time>2004-07-05</time></li>\n"
             "<li>ZELK (1): <time>2004-07-05</time></li>",
         })
        EXPECT_NE(page.find(want), std::string::npos) << want;
    EXPECT_EQ(page.find("Appeared"), std::string::npos);
    // The last kinds have nothing: the others still have.
    EXPECT_EQ(page.find("No file"), std::string::npos);
}

// Fifty runs of days of a product and change are named, then the days
// left are counted; a failed run's banner escapes its message and says the
// survey is the last one; no link leads to a page that does not exist.
TEST(Summary, OverviewListsTheFirstFiftyChangesAndTheFailure) {
    std::set<int> gone;
    for (int i = 100; i < 220; i += 2) gone.insert(i);  // 60 runs of one day
    auto earlier = std::make_unique<korvane::survey_record>(), r = std::make_unique<korvane::survey_record>();
    const korvane::timestamp then{{2026, 12, 9, 5, 0, 0}, 0}, now{{2026, 12, 9, 6, 0, 0}, 0};
    korvane::compare_surveys(nullptr, *make(1, {}, {}), then, earlier.get());
    korvane::compare_surveys(earlier.get(), *make(1, gone, {}), now, r.get());
    EXPECT_EQ(korvane::change_count(*r, 1, korvane::change::vanished), 60);
    auto sum = std::make_unique<korvane::summary>();
    korvane::summarise(r->found, sum.get());
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* f = open_memstream(&text, &size);
    const korvane::run_outcome failed{now, 0, 0, false, "FATAL ERROR DATA STORE /a<b>/"};
    ASSERT_EQ(korvane::write_overview(f, {r.get(), sum.get()}, failed, {nullptr, ""}), 0);
    std::fclose(f);
    const std::string page(text, size);
    std::free(text);
    EXPECT_NE(page.find(", <time>2005-01-19</time> and 10 more days</li>"), std::string::npos);  // day 198 is the 50th
    EXPECT_EQ(page.find("Daily table"), std::string::npos);
    EXPECT_NE(page.find("failed:</strong> FATAL ERROR DATA STORE /a&lt;b&gt;/<br>What follows is the last"),
              std::string::npos);
    EXPECT_LT(page.find("class=\"failed\""), page.find("<h2>"));
}

}  // namespace

namespace {

// A survey's time reads back as written, in any zone, and only a real
// time reads: the state holds nothing else.
TEST(Clock, TimestampsReadBackOnlyAsRealTimes) {
    const struct {
        const char* text;
        bool real;
        const char* readable;  // format_readable of what was read
    } rows[] = {
        {"2026-12-09T12:40:02-05:00", true, "2026-12-09 12:40:02 -05:00"},
        {"2026-12-09T12:40:02+05:30", true, "2026-12-09 12:40:02 +05:30"},
        {"2026-12-09T00:00:00-00:30", true, "2026-12-09 00:00:00 -00:30"},
        {"2024-02-29T23:59:60+00:00", true, "2024-02-29 23:59:60 +00:00"},
        {"2023-02-29T12:00:00+00:00", false, ""},
        {"2026-02-31T12:00:00+00:00", false, ""},
        {"2026-04-31T12:00:00+00:00", false, ""},
        {"0000-01-01T12:00:00+00:00", false, ""},
        {"2026-13-01T12:00:00+00:00", false, ""},
        {"2026-12-09T24:00:00+00:00", false, ""},
        {"2026-12-09T12:00:00-00:00", false, ""},
        {"2026-12-09T12:00:00+24:00", false, ""},
        {"2026-12-09 12:00:00+00:00", false, ""},
    };
    for (const auto& r : rows) {
        korvane::timestamp t{};
        ASSERT_EQ(korvane::parse_timestamp(r.text, &t), r.real) << r.text;
        if (!r.real) continue;
        char back[korvane::timestamp_text_size], readable[korvane::readable_text_size];
        korvane::format_timestamp(t, back);
        korvane::format_readable(t, readable);
        EXPECT_STREQ(back, r.text);
        EXPECT_STREQ(readable, r.readable);
    }
}

}  // namespace
