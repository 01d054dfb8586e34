// A run in-process, through run() with a configuration of the test's own:
// the account it runs as, the lock between runs, the state's folder and
// store, and links it must not follow.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "run.h"
#include "support.h"

namespace {

namespace fs = test::fs;

// A store, a web folder and a state folder in a temporary folder, all
// open to the unprivileged account a root run may become.
class Run : public ::testing::Test {
protected:
    Run() {
        for (const char* d : {"DATA", "www", "state"}) fs::create_directories(dir.path() / d);
        for (const char* d : {"", "DATA", "www", "state"}) fs::permissions(dir.path() / d, fs::perms::all);
        test::add_data_file(dir.path() / "DATA", "VAK_SURVEY", 2004, 7, 5);
    }
    std::string path(const char* name) const { return (dir.path() / name).string(); }
    korvane::config config() {
        root = dir.root() + "DATA/";
        page = path("www/page.html"), overview = path("www/overview.html"), status = path("www/status.json");
        state = path("state/survey.state");
        return {root.c_str(), page.c_str(), "page.html", "test.host", overview.c_str(), status.c_str(),
                "status.json", "", state.c_str(), "", {"/bin/x", "zirpal", "korvane"}, 0.3};
    }
    // Runs c in a child process (an account switch is for good); its
    // report and exit status.
    static std::pair<std::string, int> run_apart(const korvane::config& c) {
        std::fflush(nullptr);
        char report[4096] = "";
        std::FILE* out = std::tmpfile();
        const pid_t pid = fork();
        if (pid == 0) {
            const int status = korvane::run(c, out);
            _exit(std::fflush(out) == 0 ? status : 254);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        std::rewind(out);
        const std::size_t n = std::fread(report, 1, sizeof report - 1, out);
        std::fclose(out);
        return {std::string(report, n), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
    }
    uid_t owner(const char* name) const {
        struct stat st {};
        return stat(path(name).c_str(), &st) == 0 ? st.st_uid : static_cast<uid_t>(-1);
    }

    test::temp_dir dir;
    std::string root, page, overview, status, state;
};

TEST_F(Run, ARootRunBecomesTheServiceAccount) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to switch accounts";
    korvane::config c = config();
    c.run_as = "nobody";
    const auto [report, status] = run_apart(c);
    ASSERT_EQ(status, 0) << report;
    for (const char* file : {"www/page.html", "www/overview.html", "www/status.json", "state/survey.state"})
        EXPECT_EQ(owner(file), 65534u) << file;
    // An account that does not exist: refused before anything is touched.
    fs::remove_all(dir.path() / "www");
    fs::create_directories(dir.path() / "www");
    c.run_as = "no-such-korvane-account";
    EXPECT_EQ(run_apart(c), std::make_pair(std::string("FATAL ERROR ACCOUNT no-such-korvane-account\n"), 255));
    EXPECT_TRUE(fs::is_empty(dir.path() / "www"));
}

TEST_F(Run, AnotherRunHoldingTheLockFailsTheRunUntouched) {
    const korvane::config c = config();
    const int held = open(path("state").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    EXPECT_EQ(run_apart(c), std::make_pair("FATAL ERROR LOCK " + path("state") + "\n", 255));
    EXPECT_TRUE(fs::is_empty(dir.path() / "www"));
    close(held);
    EXPECT_EQ(run_apart(c).second, 0);
}

TEST_F(Run, TheStateIsKeptForItsOwnStoreOnly) {
    // A missing state folder is made, the account's, searchable by all.
    fs::remove_all(dir.path() / "state");
    const korvane::config c = config();
    ASSERT_EQ(run_apart(c).second, 0);
    struct stat st {};
    ASSERT_EQ(stat(path("state").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_EQ(st.st_uid, geteuid());
    // Another store's state (a rebuild with another root, a shared
    // machine) is no state: a first run.
    korvane::config other = c;
    const std::string other_root = dir.root() + "DATA/../DATA/";
    other.data_root = other_root.c_str();
    ASSERT_EQ(run_apart(other).second, 0);
    EXPECT_NE(test::read_file(status).find("\"since\": null"), std::string::npos);
    ASSERT_EQ(run_apart(other).second, 0);
    EXPECT_EQ(test::read_file(status).find("\"since\": null"), std::string::npos);
    // A state that is a link is not followed, even to a state of this store.
    fs::rename(state, path("state/real.state"));
    fs::create_symlink("real.state", state);
    ASSERT_EQ(run_apart(other).second, 0);
    EXPECT_NE(test::read_file(status).find("\"since\": null"), std::string::npos);
}

// An output that is a link is followed only when the link is this
// account's or root's, wherever it is.
TEST_F(Run, AnotherAccountsLinkIsNeverFollowed) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to own links as two accounts";
    const korvane::config c = config();
    test::write_file(path("victim"), "kept");
    fs::create_symlink(path("victim"), page);
    ASSERT_EQ(lchown(page.c_str(), 65534, 65534), 0);
    EXPECT_EQ(run_apart(c), std::make_pair("FATAL ERROR OPEN WRITE MODE " + page + "\n", 255));
    EXPECT_EQ(test::read_file(path("victim")), "kept");
    // Root's link, followed by a run of another account.
    ASSERT_EQ(lchown(page.c_str(), 0, 0), 0);
    fs::permissions(path("victim"), fs::perms(0666));
    fs::remove(overview);  // root's, from the failed run
    fs::remove(status);
    korvane::config as_nobody = c;
    as_nobody.run_as = "nobody";
    const auto [report, code] = run_apart(as_nobody);
    EXPECT_EQ(code, 0) << report;
    EXPECT_NE(test::read_file(path("victim")).find("<table border=1>"), std::string::npos);
}

}  // namespace
