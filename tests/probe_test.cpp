// The six probes on a temporary store.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>

#include "probe.h"
#include "support.h"

namespace {

using korvane::probe;
using korvane::products;

int ctime_of(const test::fs::path& root, const char* name, int y, int m, int d) {
    char rel[128];
    std::snprintf(rel, sizeof rel, "%04d%02d%02d/KORVANE_%s_%04d%02d%02d_V01.bin", y, m, d, name,
                  y, m, d);
    struct stat st {};
    return stat((root / rel).c_str(), &st) == 0 ? static_cast<int>(st.st_ctim.tv_sec) : 0;
}

enum column { VAK, TOQ, ZEL, HUV, PEX, WYT };

TEST(Probe, FirstNameWinsThenFallback) {
    test::temp_dir store;
    const auto& root = store.path();
    // First names now, fallbacks a second later, so that their status-change
    // times differ and tell which file a probe answered with.
    test::add_data_file(root, "VAK_SURVEY", 2004, 7, 6);
    test::add_data_file(root, "HUV_BURSTx", 2004, 7, 6);
    test::add_data_file(root, "TOQ_HFx1024", 2004, 7, 6);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    for (const char* name : {"VAK_BURSTx", "HUV_SURVEY", "TOQ_VLF1024"}) {
        test::add_data_file(root, name, 2004, 7, 6);
        test::add_data_file(root, name, 2004, 7, 7);
    }
    test::add_data_file(root, "VAK_ORBITO", 2004, 7, 8);
    test::add_data_file(root, "ZEL_VLF1024", 2004, 7, 8);
    test::add_data_file(root, "PEX_xxxxxx", 2004, 7, 8);

    struct row {
        const char* what;
        column col;
        int day;
        const char* answering_file;  // nullptr: absent
    };
    const row rows[] = {
        {"VAK both present: SURVEY answers", VAK, 6, "VAK_SURVEY"},
        {"HUV both present: BURSTx answers", HUV, 6, "HUV_BURSTx"},
        {"TOQ both present: HFx1024 answers", TOQ, 6, "TOQ_HFx1024"},
        {"VAK fallback only", VAK, 7, "VAK_BURSTx"},
        {"HUV fallback only", HUV, 7, "HUV_SURVEY"},
        {"TOQ fallback only", TOQ, 7, "TOQ_VLF1024"},
        {"ZELK has no fallback", ZEL, 7, nullptr},
        {"orbit file answers WYT, not VAK", WYT, 8, "VAK_ORBITO"},
        {"orbit file does not make VAK present", VAK, 8, nullptr},
        {"ZELK present (an empty file counts)", ZEL, 8, "ZEL_VLF1024"},
        {"PEX present", PEX, 8, "PEX_xxxxxx"},
        {"PEX absent", PEX, 7, nullptr},
    };
    for (const row& r : rows) {
        const int want = r.answering_file ? ctime_of(root, r.answering_file, 2004, 7, r.day) : 0;
        ASSERT_TRUE(!r.answering_file || want != 0) << r.what;
        EXPECT_EQ(probe(store.root().c_str(), products[r.col], 2004, 7, r.day), want) << r.what;
    }
    EXPECT_NE(ctime_of(root, "VAK_SURVEY", 2004, 7, 6), ctime_of(root, "VAK_BURSTx", 2004, 7, 6));

    // The status-change time, not the modification time.
    const test::fs::path pex = root / "20040708/KORVANE_PEX_xxxxxx_20040708_V01.bin";
    const timespec epoch[2] = {{0, 0}, {0, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, pex.c_str(), epoch, 0), 0);
    EXPECT_EQ(probe(store.root().c_str(), products[PEX], 2004, 7, 8), ctime_of(root, "PEX_xxxxxx", 2004, 7, 8));
    EXPECT_NE(ctime_of(root, "PEX_xxxxxx", 2004, 7, 8), 0);
}

TEST(Probe, PathsThatExactlyFillTheBuffer) {
    // Roots whose longest path (ZEL_VLF1024, 45 bytes after the root) takes
    // 1023 bytes and the NUL, or one byte more.
    test::temp_dir store;
    std::string root = store.root();
    while (root.size() + 200 < 1023 - 45) root += std::string(199, 'd') + "/";
    const std::string fits = root + std::string(1023 - 45 - root.size() - 1, 'r') + "/";
    ASSERT_EQ(fits.size() + 45, 1023u);
    test::add_data_file(fits, "ZEL_VLF1024", 2004, 7, 5);
    EXPECT_NE(probe(fits.c_str(), products[ZEL], 2004, 7, 5), 0);
    EXPECT_EQ(korvane::probe_file(fits.c_str(), products[ZEL], 2004, 7, 5).status,
              korvane::file_status::primary);
    const std::string over = fits.substr(0, fits.size() - 1) + "s/";
    test::add_data_file(over, "ZEL_VLF1024", 2004, 7, 5);
    EXPECT_EQ(probe(over.c_str(), products[ZEL], 2004, 7, 5), 0);
}

// Each product present on a day of its own: a probe that looked for
// another product's names would answer on the wrong day.
TEST(Probe, EachNamedProbeLooksForItsOwnProduct) {
    test::temp_dir store;
    const char* names[] = {"VAK_SURVEY", "TOQ_VLF1024", "ZEL_VLF1024", "HUV_BURSTx", "PEX_xxxxxx", "VAK_ORBITO"};
    for (int p = 0; p < 6; ++p) test::add_data_file(store.path(), names[p], 2004, 7, 5 + p);
    int (*const probes[])(const char*, int, int, int) = {
        korvane::get_dernier_VAK, korvane::get_dernier_TOQ, korvane::get_dernier_ZEL,
        korvane::get_dernier_HUV, korvane::get_dernier_PEX, korvane::get_dernier_WYT};
    for (int p = 0; p < 6; ++p)
        for (int day = 0; day < 6; ++day)
            EXPECT_EQ(probes[p](store.root().c_str(), 2004, 7, 5 + day) != 0, day == p) << names[p] << " day " << day;
}

TEST(Probe, AnswerOfAProbe) {
    using korvane::file_status;
    struct row {
        const char* what;
        korvane::probe_result r;
        int want;
    };
    const row rows[] = {
        {"found", {file_status::primary, 1700000000, true}, 1700000000},
        {"found with a status-change time of 0", {file_status::fallback, 0, true}, 1},
        {"found, status unreadable", {file_status::primary, 0, false}, 0},
        {"missing", {file_status::missing, 0, false}, 0},
    };
    for (const row& r : rows) EXPECT_EQ(korvane::probe_time(r.r), r.want) << r.what;
}

TEST(Probe, NothingFoundGivesZero) {
    test::temp_dir store;
    test::add_data_file(store.path(), "VAK_SURVEY", 2004, 7, 5);
    const std::string long_root = store.root() + std::string(1000, 'x') + "/";
    for (const korvane::product& p : products) {
        EXPECT_EQ(probe(store.root().c_str(), p, 2004, 7, 9), 0) << "missing day, " << p.heading;
        EXPECT_EQ(probe((store.root() + "nowhere/").c_str(), p, 2004, 7, 5), 0) << p.heading;
        EXPECT_EQ(probe(long_root.c_str(), p, 2004, 7, 5), 0) << "path over 1024, " << p.heading;
    }
}

}  // namespace
