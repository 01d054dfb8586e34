// The page's exact bytes, checked against a page built independently from
// chrono's calendar, and the write-failure report.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <tuple>

#include "page.h"
#include "support.h"

namespace {

using namespace std::chrono;

const korvane::banner_identity who{"/opt/bin/check_korvane_web", "ops", "sol"};
const korvane::local_time now{2026, 3, 9, 7, 5, 2};

// The page a store holding exactly `present` (day number in the window,
// column) must give, built day by day with std::chrono.
std::string expected_page(const std::set<std::pair<int, int>>& present) {
    std::string page =
        "<html>\n<body>\n09/03/2026 07:05:02 (/opt/bin/check_korvane_web, utilisateur ops, "
        "machine sol)<br><br>\n<br>\n<br>\n<table border=1>\n";
    const std::string heading =
        "<tr ALIGN=\"CENTER\"></tr>\n<tr ALIGN=\"CENTER\"><td>Date</td><td>VAK</td><td>TOQ</td>"
        "<td>ZELK</td><td>HUV</td><td>PEX</td><td>WYT</td></tr>\n";
    const sys_days first = 2004y / July / 5, last = 2011y / March / 14;
    unsigned month = 0;
    for (sys_days day = first; day <= last; day += days{1}) {
        const year_month_day ymd{day};
        if (unsigned(ymd.month()) != month) page += heading;
        month = unsigned(ymd.month());
        char date[32];
        std::snprintf(date, sizeof date, "<td>%02u/%02u/%04d</td>", unsigned(ymd.day()), month,
                      int(ymd.year()));
        page += std::string("<tr ALIGN=\"CENTER\">") + date;
        for (int col = 0; col < 6; ++col)
            page += present.count({(day - first).count(), col}) ? "<td bgcolor=\"#00b000\"></td>"
                                                                : "<td bgcolor=\"#b00000\"></td>";
        page += "</tr>";
    }
    return page + "</table></body></html>";
}

std::string render(const std::string& root, int* status) {
    char* text = nullptr;
    std::size_t size = 0;
    static korvane::survey found;
    korvane::take_survey(root.c_str(), &found);
    std::FILE* f = open_memstream(&text, &size);
    *status = korvane::write_page(f, found, now, who);
    // The mission's table_debut writes the same heading block to fd.
    korvane::fd = f;
    korvane::table_debut();
    korvane::fd = nullptr;
    std::fclose(f);
    std::string page(text, size);
    std::free(text);
    const std::size_t heading = page.find("<tr ALIGN=\"CENTER\"></tr>\n");
    const std::string block = page.substr(heading, page.find("</tr>\n", heading + 25) + 6 - heading);
    EXPECT_EQ(page.substr(page.size() - block.size()), block);
    return page.substr(0, page.size() - block.size());
}

TEST(Page, ExactBytesOnAnEmptyStore) {
    test::temp_dir store;
    int status = -1;
    const std::string page = render(store.root(), &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(page, expected_page({}));
    EXPECT_EQ(test::count(page, "<td>Date</td>"), 81);
    EXPECT_EQ(test::count(page, "#b00000"), 14664);
}

TEST(Page, ExactBytesOnASmallStore) {
    test::temp_dir store;
    struct file {
        const char* name;
        int y, m, d;
        int day_index, column;  // where it must show green
    };
    const file files[] = {
        {"VAK_SURVEY", 2004, 7, 5, 0, 0},       {"VAK_ORBITO", 2004, 7, 5, 0, 5},
        {"TOQ_VLF1024", 2004, 7, 31, 26, 1},    {"ZEL_VLF1024", 2004, 8, 1, 27, 2},
        {"HUV_SURVEY", 2008, 2, 29, 1334, 3},   {"PEX_xxxxxx", 2011, 3, 14, 2443, 4},
        {"VAK_BURSTx", 2011, 3, 14, 2443, 0},
        // Outside the window or not a real day: never shown.
        {"VAK_SURVEY", 2004, 7, 4, -1, -1},     {"VAK_SURVEY", 2011, 3, 15, -1, -1},
        {"VAK_SURVEY", 2005, 2, 29, -1, -1},    {"VAK_SURVEY", 2004, 4, 31, -1, -1},
    };
    std::set<std::pair<int, int>> present;
    for (const file& f : files) {
        test::add_data_file(store.path(), f.name, f.y, f.m, f.d);
        if (f.day_index >= 0) present.insert({f.day_index, f.column});
    }
    int status = -1;
    const std::string page = render(store.root(), &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(page, expected_page(present));
    // The example day: VAK and WYT green, the four others red.
    EXPECT_NE(page.find("<td>05/07/2004</td><td bgcolor=\"#00b000\"></td>"
                        "<td bgcolor=\"#b00000\"></td><td bgcolor=\"#b00000\"></td>"
                        "<td bgcolor=\"#b00000\"></td><td bgcolor=\"#b00000\"></td>"
                        "<td bgcolor=\"#00b000\"></td></tr>"),
              std::string::npos);
}

TEST(Page, AFailedWriteIsReported) {
    test::temp_dir store;
    static korvane::survey found;
    korvane::take_survey(store.root().c_str(), &found);
    std::FILE* f = std::fopen("/dev/full", "w");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(korvane::write_page(f, found, now, who), -1);
    std::fclose(f);
}

}  // namespace
