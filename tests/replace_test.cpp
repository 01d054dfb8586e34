// Replacing an output file: what stays in its folder however a run ends.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "replace.h"
#include "support.h"

namespace {

namespace fs = test::fs;

korvane::replacement pf;  // large: not on the stack

int entries(const fs::path& dir) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

TEST(Replace, LongestNamesStillGetATemporaryName) {
    test::temp_dir dir;
    for (const auto kind : {korvane::temp_kind::unnamed_if_possible, korvane::temp_kind::named_only}) {
        const fs::path page = dir.path() / std::string(250, 'p');
        ASSERT_EQ(korvane::replace_open(page.c_str(), &pf, kind), 0);
        std::fputs("new", pf.stream);
        ASSERT_EQ(korvane::replace_commit(&pf), 0);
        EXPECT_EQ(test::read_file(page), "new");
        EXPECT_EQ(entries(dir.path()), 1);
    }
    // A name no folder can hold cannot be checked, so it is not taken as absent.
    const fs::path too_long = dir.path() / std::string(NAME_MAX + 1, 'p');
    EXPECT_EQ(korvane::replace_open(too_long.c_str(), &pf), -1);
    EXPECT_EQ(entries(dir.path()), 1);
}

TEST(Replace, AKilledRunLeavesNothing) {
    test::temp_dir dir;
    const fs::path page = dir.path() / "page.html";
    test::write_file(page, "previous");
    for (const int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
        for (const auto kind : {korvane::temp_kind::unnamed_if_possible, korvane::temp_kind::named_only}) {
            const pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                if (korvane::replace_open(page.c_str(), &pf, kind) != 0) _exit(1);
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

// A signal its caller ignores (nohup) stays ignored: the run goes on.
TEST(Replace, AnIgnoredSignalStaysIgnored) {
    test::temp_dir dir;
    const fs::path page = dir.path() / "page.html";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGHUP, SIG_IGN);
        if (korvane::replace_open(page.c_str(), &pf) != 0) _exit(1);
        raise(SIGHUP);
        std::fputs("new", pf.stream);
        _exit(korvane::replace_commit(&pf) == 0 ? 3 : 2);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
    EXPECT_EQ(test::read_file(page), "new");
}

TEST(Replace, ACommitThatFailsLeavesNothing) {
    test::temp_dir dir;
    const fs::path page = dir.path() / "page.html";
    for (const auto kind : {korvane::temp_kind::unnamed_if_possible, korvane::temp_kind::named_only}) {
        test::write_file(page, "previous");
        ASSERT_EQ(korvane::replace_open(page.c_str(), &pf, kind), 0);
        std::fputs("new", pf.stream);
        // The page becomes a folder that holds a file: the rename fails.
        fs::remove(page);
        test::write_file(page / "in-the-way");
        EXPECT_EQ(korvane::replace_commit(&pf), korvane::commit_failed);
        EXPECT_EQ(entries(dir.path()), 1);
        fs::remove_all(page);
    }
}

// Runs at once where unnamed files are not available: one run's sweep
// must never cost another run its file.
TEST(Replace, ConcurrentNamedRunsAllSucceed) {
    test::temp_dir dir;
    const fs::path page = dir.path() / "page.html";
    constexpr int runs = 12, commits = 40;
    pid_t pids[runs];
    for (pid_t& pid : pids) {
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid != 0) continue;
        int failed = 0;
        for (int i = 0; i < commits; ++i) {
            if (korvane::replace_open(page.c_str(), &pf, korvane::temp_kind::named_only) != 0) {
                ++failed;
                continue;
            }
            std::fputs("new", pf.stream);
            failed += korvane::replace_commit(&pf) != 0;
        }
        _exit(failed > 0 ? 1 : 0);
    }
    int failed_runs = 0;
    for (const pid_t pid : pids) {
        int status = 0;
        waitpid(pid, &status, 0);
        failed_runs += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(failed_runs, 0);
    EXPECT_EQ(entries(dir.path()), 1);
}

TEST(Replace, DebrisGoesALiveRunsFileStays) {
    test::temp_dir dir;
    const fs::path page = dir.path() / "page.html";
    struct row {
        const char* name;
        bool locked;   // held by a live run
        bool foreign;  // another account's (when root)
        bool stays;
    };
    const row rows[] = {
        {".page.html.korvane-new.AbC123", false, false, false},  // a killed run's file
        {".page.html.korvane-new.live01", true, false, true},    // another run, still writing
        {".page.html.korvane-new.nobody", false, true, true},    // not this account's
        {".page.html.backup", false, false, true},               // an operator's
        {".page.html.korvane-new.toolong", false, false, true},  // not a temporary name
        {".other.html.korvane-new.AbC123", false, false, true},  // another page's
    };
    const bool root = geteuid() == 0;
    std::vector<int> held;
    for (const row& r : rows) {
        test::write_file(dir.path() / r.name, "x");
        if (r.foreign && root) {
            ASSERT_EQ(chown((dir.path() / r.name).c_str(), 65534, 65534), 0);
        }
        if (!r.locked) continue;
        held.push_back(open((dir.path() / r.name).c_str(), O_RDONLY));
        ASSERT_EQ(flock(held.back(), LOCK_EX), 0);
    }
    ASSERT_EQ(korvane::replace_open(page.c_str(), &pf), 0);
    ASSERT_EQ(korvane::replace_commit(&pf), 0);
    for (const row& r : rows) {
        if (root || !r.foreign) {
            EXPECT_EQ(fs::exists(dir.path() / r.name), r.stays) << r.name;
        }
    }
    for (const int fd : held) close(fd);
}

}  // namespace
