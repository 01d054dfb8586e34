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
                "status.json", "", state.c_str(), "", {"/bin/x", "zirpal", "korvane"}, 0.3, ""};
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

// The run lock is a folder of this account's beside the state: a run
// that cannot hold it surveys nothing, touches no output, and says so in
// its report and in the lock's metrics at once; whatever the state
// folder's mode, no run goes on unlocked.
TEST_F(Run, ARunThatCannotLockFailsAtOnceAndTouchesNothing) {
    korvane::config c = config();
    const std::string lock_metrics = path("lock.prom"), lock = path("state/.survey.state.lock");
    c.lock_metrics_path = lock_metrics.c_str();
    const std::string refused = "FATAL ERROR LOCK " + path("state") + "\n";
    auto hold = [](const std::string& dir) {
        const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        return fd >= 0 && flock(fd, LOCK_EX) == 0 ? fd : -1;
    };
    auto locked_out = [&] { return test::read_file(lock_metrics).find("\nkorvane_l2_run_locked_out 1\n") != std::string::npos; };
    ASSERT_EQ(run_apart(c).second, 0);
    EXPECT_FALSE(locked_out());
    struct stat st {};
    ASSERT_EQ(lstat(lock.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    fs::remove_all(dir.path() / "www");
    fs::create_directories(dir.path() / "www");
    const struct {
        const char* name;
        bool (*arrange)(const std::string& state_dir, const std::string& lock);
        bool locks;  // the run still takes its lock
    } rows[] = {
        {"the state's folder held (flock by any account)", [](const std::string&, const std::string&) { return true; }, true},
        {"a state folder it may write but not read",
         [](const std::string& state_dir, const std::string& lock) {
             fs::remove_all(lock);
             return chmod(state_dir.c_str(), 0333) == 0;
         }, true},
        {"the lock folder widened by hand",
         [](const std::string&, const std::string& lock) { return chmod(lock.c_str(), 0777) == 0; }, true},
        {"the lock folder a link",
         [](const std::string& state_dir, const std::string& lock) {
             fs::remove_all(lock);
             fs::create_directory(state_dir + "/elsewhere");
             return symlink("elsewhere", lock.c_str()) == 0;
         }, false},
        {"the lock folder another account's",
         [](const std::string&, const std::string& lock) {
             fs::remove_all(lock);
             return geteuid() == 0 && mkdir(lock.c_str(), 0700) == 0 && chown(lock.c_str(), 65534, 65534) == 0;
         }, false},
    };
    for (const auto& r : rows) {
        if (!r.arrange(path("state"), lock)) {
            std::printf("  (not as root: row skipped: %s)\n", r.name);
            continue;
        }
        if (r.locks) {
            // Nobody else's flock on the state's folder stops a run (where
            // the folder can be opened at all: 0333 cannot, but by root).
            const int outside = hold(path("state"));
            EXPECT_EQ(run_apart(c).second, 0) << r.name;
            EXPECT_FALSE(locked_out()) << r.name;
            if (outside >= 0) close(outside);
            // The lock itself, held by another run of this account.
            const int held = hold(lock);
            ASSERT_GE(held, 0) << r.name;
            fs::remove_all(dir.path() / "www");
            fs::create_directories(dir.path() / "www");
            EXPECT_EQ(run_apart(c), std::make_pair(refused, 255)) << r.name;
            close(held);
        } else {
            EXPECT_EQ(run_apart(c), std::make_pair(refused, 255)) << r.name;
        }
        EXPECT_TRUE(fs::is_empty(dir.path() / "www")) << r.name;
        EXPECT_TRUE(locked_out()) << r.name;
        chmod(path("state").c_str(), 0777);
        fs::remove_all(lock);
        fs::remove_all(path("state/elsewhere"));
        // Released: the next run goes on, and clears the alarm.
        EXPECT_EQ(run_apart(c).second, 0) << r.name;
        EXPECT_FALSE(locked_out()) << r.name;
        fs::remove_all(dir.path() / "www");
        fs::create_directories(dir.path() / "www");
    }
    // No other account can even open the lock.
    if (geteuid() == 0 && fork() == 0) _exit(setuid(65534) == 0 && open(lock.c_str(), O_RDONLY | O_DIRECTORY) < 0 ? 0 : 1);
    int child = 0;
    if (geteuid() == 0) {
        wait(&child);
        EXPECT_EQ(child, 0) << "another account opened the lock";
    }
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
    // A state that is this account's link is read where it is written,
    // through the link: its changes are reported, run after run.
    fs::rename(state, path("state/real.state"));
    fs::create_symlink("real.state", state);
    for (int run = 0; run < 2; ++run) {
        test::add_data_file(dir.path() / "DATA", "PEX_xxxxxx", 2004, 7, 6 + run);
        ASSERT_EQ(run_apart(other).second, 0);
        EXPECT_NE(test::read_file(status).find("\"appeared\": [\n   {\"date\": \"2004-07-0" + std::to_string(6 + run)),
                  std::string::npos) << run;
        EXPECT_TRUE(fs::is_symlink(state));
        EXPECT_NE(test::read_file(path("state/real.state")).find("\npublished "), std::string::npos);
    }
}

// A change is published only once the status file really holds it: a
// run whose status file cannot be replaced hands it on. A file that
// appeared and went again before any run published it was never there
// for the outputs: nothing is reported. A failed run's overview still
// links the last good daily table.
TEST_F(Run, ChangesArePublishedOnlyWhereTheStatusFileWasReplaced) {
    const korvane::config c = config();
    ASSERT_EQ(run_apart(c).second, 0);
    auto appeared = [this] { return test::read_file(status).find("\"appeared\": [\n   {\"date\": \"2004-07-06\""); };
    for (const bool goes_again : {false, true}) {
        test::add_data_file(dir.path() / "DATA", "PEX_xxxxxx", 2004, 7, 6);
        fs::remove(status);
        fs::create_directory(status);  // cannot be replaced by a file
        EXPECT_EQ(run_apart(c), std::make_pair("FATAL ERROR OPEN WRITE MODE " + status + "\n", 255)) << goes_again;
        fs::remove(status);
        if (goes_again) fs::remove(dir.path() / "DATA/20040706/KORVANE_PEX_xxxxxx_20040706_V01.bin");
        ASSERT_EQ(run_apart(c).second, 0);
        EXPECT_EQ(appeared() != std::string::npos, !goes_again) << goes_again;
        EXPECT_NE(test::read_file(status).find("\"vanished\": [],"), std::string::npos) << goes_again;
        ASSERT_EQ(run_apart(c).second, 0);
        EXPECT_EQ(appeared(), std::string::npos) << "reported twice";
        fs::remove_all(dir.path() / "DATA/20040706");
        ASSERT_EQ(run_apart(c).second, 0);
    }
    fs::rename(dir.path() / "DATA", dir.path() / "gone");
    EXPECT_EQ(run_apart(c).second, 255);
    EXPECT_NE(test::read_file(overview).find("<a href=\"page.html\">Daily table</a>"), std::string::npos);
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
    fs::remove_all(path("state/.survey.state.lock"));
    korvane::config as_nobody = c;
    as_nobody.run_as = "nobody";
    const auto [report, code] = run_apart(as_nobody);
    EXPECT_EQ(code, 0) << report;
    EXPECT_NE(test::read_file(path("victim")).find("<table border=1>"), std::string::npos);
}

}  // namespace
