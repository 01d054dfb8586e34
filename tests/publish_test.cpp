// Replacing an output file: what stays in its folder however a run ends.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "publish.h"
#include "support.h"

namespace {

namespace fs = test::fs;

korvane::page_file pf;  // large: not on the stack

int entries(const fs::path& dir) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

TEST(Publish, LongestNamesStillGetATemporaryName) {
    test::temp_dir dir;
    for (const auto kind : {korvane::temp_kind::unnamed_if_possible, korvane::temp_kind::named_only}) {
        const fs::path page = dir.path() / std::string(250, 'p');
        ASSERT_EQ(korvane::page_open(page.c_str(), &pf, kind), 0);
        std::fputs("new", pf.stream);
        ASSERT_EQ(korvane::page_commit(&pf), 0);
        EXPECT_EQ(test::read_file(page), "new");
        EXPECT_EQ(entries(dir.path()), 1);
    }
}

TEST(Publish, AKilledRunLeavesNothing) {
    test::temp_dir dir;
    const fs::path page = dir.path() / "page.html";
    test::write_file(page, "previous");
    for (const int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGXFSZ}) {
        for (const auto kind : {korvane::temp_kind::unnamed_if_possible, korvane::temp_kind::named_only}) {
            const pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                if (korvane::page_open(page.c_str(), &pf, kind) != 0) _exit(1);
                std::fputs("half a page", pf.stream);
                std::fflush(pf.stream);
                raise(sig);
                _exit(2);
            }
            int status = 0;
            waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig << ": " << status;
            EXPECT_EQ(entries(dir.path()), 1) << "signal " << sig;
            EXPECT_EQ(test::read_file(page), "previous");
        }
    }
}

TEST(Publish, DebrisGoesALiveRunsFileStays) {
    test::temp_dir dir;
    const fs::path page = dir.path() / "page.html";
    struct row {
        const char* name;
        bool locked;  // held by a live run
        bool stays;
    };
    const row rows[] = {
        {".page.html.AbC123", false, false},  // a killed run's file
        {".page.html.live01", true, true},    // another run, still writing
        {".page.html.toolong", false, true},  // not a temporary name
        {".other.html.AbC123", false, true},  // another page's
    };
    int held[4] = {-1, -1, -1, -1};
    for (int i = 0; i < 4; ++i) {
        test::write_file(dir.path() / rows[i].name, "x");
        if (!rows[i].locked) continue;
        held[i] = open((dir.path() / rows[i].name).c_str(), O_RDONLY);
        ASSERT_EQ(flock(held[i], LOCK_EX), 0);
    }
    ASSERT_EQ(korvane::page_open(page.c_str(), &pf), 0);
    ASSERT_EQ(korvane::page_commit(&pf), 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(fs::exists(dir.path() / rows[i].name), rows[i].stays) << rows[i].name;
        if (held[i] >= 0) close(held[i]);
    }
}

}  // namespace
