// check_korvane_web as a program: a copy built against a store and a page
// in the build tree, run as cron would run it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <thread>
#include <sstream>
#include <string>

#include "support.h"

namespace {

namespace fs = test::fs;

// A world-searchable folder of its own under /tmp: holds DATA/ (the store),
// www/ and bin/ (the program, where an unprivileged account may run it).
const fs::path work = KORVANE_TEST_WORK;
const fs::path store = work / "DATA";
const fs::path www = work / "www";
const fs::path page = www / "check_korvane_web.html";
const fs::path staged_bin = work / "bin" / "check_korvane_web";
const fs::path overview = www / "check_korvane_web_overview.html";
const fs::path status_file = www / "check_korvane_web.json";
const fs::path metrics = work / "metrics" / "korvane_l2.prom";
const fs::path state = work / "state" / "survey.state";
const std::string open_failure = "FATAL ERROR OPEN WRITE MODE " + page.string() + "\n";
const std::string write_failure = "FATAL ERROR WRITE " + page.string() + "\n";
const std::string store_failure = "FATAL ERROR DATA STORE " + store.string() + "/\n";
const std::string address = "http://test.host/check_korvane_web.html\n";

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        remove_work();
        fs::create_directories(www);
        fs::create_directories(store);
        fs::create_directories(staged_bin.parent_path());
        fs::create_directories(metrics.parent_path());
        fs::create_directories(state.parent_path());
        fs::copy_file(KORVANE_TEST_BIN, staged_bin);
        for (const fs::path& p : {work, www, store, staged_bin.parent_path(), metrics.parent_path()})
            fs::permissions(p, fs::perms(0755));
        fs::permissions(metrics.parent_path(), fs::perms(0777));  // for runs as nobody too
        fs::permissions(state.parent_path(), fs::perms(0777));
    }
    void TearDown() override { remove_work(); }
    static void remove_work() {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(work, ec); !ec && it != fs::end(it); ++it)
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::permissions(work, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(work, ec);
    }

    static test::run_result run(const test::run_options& options = {}, const char* arg = nullptr) {
        if (arg != nullptr) return test::run({staged_bin.string(), arg}, options);
        return test::run({staged_bin.string()}, options);
    }
    // The folder's entries other than the page and the outputs beside it:
    // leftovers of a run.
    static int strays() {
        int n = 0;
        for (const auto& e : fs::directory_iterator(www))
            n += e.path() != page && e.path() != overview && e.path() != status_file;
        return n;
    }
};

#ifdef __SANITIZE_ADDRESS__
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

mode_t mode_of(const fs::path& p) {
    struct stat st {};
    stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

// The local time as the banner writes it, year first so that it sorts.
std::string sortable_now() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char s[32];
    std::strftime(s, sizeof s, "%Y%m%d%H%M%S", &tm);
    return s;
}

TEST_F(Program, EmptyStoreGivesACompleteAllRedPage) {
    const std::string before = sortable_now();
    const test::run_result r = run();
    const std::string after = sortable_now();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, address);
    const std::string text = test::read_file(page);
    // The banner: the local time of the run ('9' stands for a digit), then
    // the build's fixed texts.
    const std::string shape = "<html>\n<body>\n99/99/9999 99:99:99 (";
    ASSERT_GT(text.size(), shape.size());
    for (std::size_t i = 0; i < shape.size(); ++i)
        EXPECT_TRUE(shape[i] == '9' ? std::isdigit(static_cast<unsigned char>(text[i])) != 0
                                    : text[i] == shape[i])
            << "banner byte " << i << " in " << text.substr(0, 60);
    // DD/MM/YYYY hh:mm:ss, read around the run.
    const std::string shown = text.substr(20, 4) + text.substr(17, 2) + text.substr(14, 2) +
                              text.substr(25, 2) + text.substr(28, 2) + text.substr(31, 2);
    EXPECT_LE(before, shown);
    EXPECT_LE(shown, after);
    EXPECT_EQ(text.find(KORVANE_TEST_IDENTITY ")<br><br>\n<br>\n<br>\n<table border=1>\n"), 34u);
    EXPECT_EQ(test::count(text, "<td>Date</td>"), 81);
    EXPECT_EQ(test::count(text, "</td></tr>"), 2444 + 81);
    EXPECT_EQ(test::count(text, "<td bgcolor=\"#b00000\"></td>"), 14664);
    EXPECT_EQ(text.find("#00b000"), std::string::npos);
    EXPECT_EQ(text.rfind("</table></body></html>"), text.size() - 22);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(mode_of(page), 0666 & ~mask);
    EXPECT_EQ(strays(), 0);
    // Still empty: not an unmounted disk, since no survey ever found a file.
    EXPECT_EQ(run().status, 0);
}

TEST_F(Program, SecondRunReplacesThePageKeepingItsMode) {
    test::add_data_file(store, "VAK_BURSTx", 2004, 7, 5);
    test::add_data_file(store, "VAK_ORBITO", 2004, 7, 5);
    test::write_file(page, std::string(600000, 'x'));
    fs::permissions(page, fs::perms(0640));
    // Root keeps another account's page as it was: its owner and group too.
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(page.c_str(), 65534, 65534), 0);
    }
    const test::run_result r = run();
    EXPECT_EQ(r.status, 0);
    const std::string text = test::read_file(page);
    EXPECT_EQ(text.find('x' + std::string("xxxx")), std::string::npos);
    EXPECT_NE(text.find("<td>05/07/2004</td><td bgcolor=\"#00b000\"></td>"
                        "<td bgcolor=\"#b00000\"></td><td bgcolor=\"#b00000\"></td>"
                        "<td bgcolor=\"#b00000\"></td><td bgcolor=\"#b00000\"></td>"
                        "<td bgcolor=\"#00b000\"></td></tr>"),
              std::string::npos);
    EXPECT_EQ(test::count(text, "#00b000"), 2);
    EXPECT_EQ(mode_of(page), 0640u);
    struct stat st {};
    ASSERT_EQ(stat(page.c_str(), &st), 0);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
    EXPECT_EQ(strays(), 0);
}

// Every output of one run tells the same story: each day of the status
// file is the page's row, and the totals are the metrics.
TEST_F(Program, OutputsAgreeWithThePage) {
    test::add_data_file(store, "VAK_SURVEY", 2004, 7, 5);
    test::add_data_file(store, "VAK_BURSTx", 2004, 7, 6);   // fallback only
    test::add_data_file(store, "HUV_SURVEY", 2008, 2, 29);  // fallback only
    test::add_data_file(store, "PEX_xxxxxx", 2011, 3, 14);
    setenv("TZ", "UTC", 1);
    const test::run_result r = run();
    unsetenv("TZ");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string text = test::read_file(page), json = test::read_file(status_file),
                      prom = test::read_file(metrics);
    EXPECT_EQ(json.find("{\"generated\": \""), 0u);
    EXPECT_EQ(json.substr(34, 6), "+00:00") << json.substr(0, 45);  // RFC 3339 has no -00:00
    if (std::system("command -v python3 >/dev/null") == 0) {
        EXPECT_EQ(std::system(("python3 -m json.tool " + status_file.string() + " >/dev/null").c_str()), 0);
    }
    int days = 0, totals[6][3] = {};
    const char* names[] = {"primary", "fallback", "missing"};
    for (std::size_t at = json.find("{\"date\": \""); at != std::string::npos;
         at = json.find("{\"date\": \"", at + 1), ++days) {
        const std::string date = json.substr(at + 10, 10);  // YYYY-MM-DD
        std::string row = "<td>" + date.substr(8, 2) + "/" + date.substr(5, 2) + "/" + date.substr(0, 4) + "</td>";
        std::size_t pos = json.find('[', at);
        for (int p = 0; p < 6; ++p) {
            const std::size_t q = json.find('"', pos) + 1;
            const std::string st = json.substr(q, json.find('"', q) - q);
            pos = json.find('"', q) + 1;
            const int k = st == "primary" ? 0 : st == "fallback" ? 1 : 2;
            ++totals[p][k];
            row += k == 2 ? "<td bgcolor=\"#b00000\"></td>" : "<td bgcolor=\"#00b000\"></td>";
        }
        EXPECT_NE(text.find(row + "</tr>"), std::string::npos) << date;
    }
    EXPECT_EQ(days, 2444);
    EXPECT_EQ(totals[0][1], 1);
    EXPECT_EQ(totals[3][1], 1);
    const char* headings[] = {"VAK", "TOQ", "ZELK", "HUV", "PEX", "WYT"};
    for (int p = 0; p < 6; ++p)
        for (int k = 0; k < 3; ++k) {
            const std::string line = "korvane_l2_files{product=\"" + std::string(headings[p]) +
                                     "\",status=\"" + names[k] + "\"} " + std::to_string(totals[p][k]) + "\n";
            EXPECT_NE(prom.find(line), std::string::npos) << line;
            EXPECT_NE(json.find("\"" + std::string(headings[p]) + "\": {\"primary\": " + std::to_string(totals[p][0]) +
                                ", \"fallback\": " + std::to_string(totals[p][1])),
                      std::string::npos);
        }
    EXPECT_NE(prom.find("\nkorvane_l2_window_dates 2444\n"), std::string::npos);
    EXPECT_NE(prom.find("\nkorvane_l2_last_run_success 1\n"), std::string::npos);
    const std::string grid = test::read_file(overview);
    EXPECT_EQ(test::count(grid, "<tr><th>20"), 81);  // a row per month
    EXPECT_NE(grid.find("title=\"VAK 2004-07: 1 primary, 1 fallback, 25 missing\">1+1/27</td>"), std::string::npos);
}

TEST_F(Program, AnOutputThatCannotBeReplacedFailsTheRun) {
    fs::create_directories(overview / "in-the-way");  // a folder where the overview goes
    const test::run_result r = run();
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "FATAL ERROR OPEN WRITE MODE " + overview.string() + "\n");
    EXPECT_EQ(test::count(test::read_file(page), "<td>Date</td>"), 81);  // replaced before
    // The survey is kept, and the status file carries the failure.
    EXPECT_NE(test::read_file(status_file).find("\"success\": false, \"message\": \"FATAL ERROR OPEN WRITE MODE " +
                                                overview.string() + "\"}}\n"),
              std::string::npos);
    EXPECT_NE(test::read_file(metrics).find("\nkorvane_l2_last_run_success 0\n"), std::string::npos);
    EXPECT_NE(test::read_file(metrics).find("\nkorvane_l2_window_dates 2444\n"), std::string::npos);
    // A state that cannot be kept fails the run: the page is replaced, the
    // other outputs report the failure.
    fs::remove_all(overview);
    fs::remove(state);
    fs::create_directories(state / "in-the-way");
    const test::run_result s = run();
    EXPECT_EQ(s.status, 255);
    EXPECT_EQ(s.out, "FATAL ERROR OPEN WRITE MODE " + state.string() + "\n");
    EXPECT_NE(test::read_file(overview).find("OPEN WRITE MODE " + state.string() + "<br>"), std::string::npos);
}

std::chrono::sys_days parse_day(const std::string& iso) {
    using namespace std::chrono;
    return sys_days{year{std::stoi(iso.substr(0, 4))} / std::stoi(iso.substr(5, 2)) / std::stoi(iso.substr(8, 2))};
}

std::string format_day(std::chrono::sys_days d) {
    const std::chrono::year_month_day ymd{d};
    char s[16];
    std::snprintf(s, sizeof s, "%04d-%02u-%02u", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()));
    return s;
}

// The changes one run reports, read from each output: "<kind> <product>
// <date>" from the status file, the overview's lists and the metrics'
// counts ("<kind> <product> <n>").
struct reported {
    std::set<std::string> json, overview, metrics;
};
reported changes_reported() {
    reported r;
    const std::string json = test::read_file(status_file), html = test::read_file(overview),
                      prom = test::read_file(metrics);
    for (const std::string kind : {"vanished", "appeared", "changed", "unreadable"}) {
        const std::size_t from = json.find("\"" + kind + "\": ["), to = json.find(']', from);
        for (std::size_t at = json.find("{\"date\": \"", from); at < to; at = json.find("{\"date\": \"", at + 1))
            r.json.insert(kind + " " + json.substr(at + 35, json.find('"', at + 35) - at - 35) + " " +
                          json.substr(at + 10, 10));
        const std::size_t h3 = html.find("<h3 class=\"" + kind + "\">");
        for (std::size_t li = html.find("<li>", h3); h3 != std::string::npos && li < html.find("</ul>", h3);
             li = html.find("<li>", li + 1)) {
            const std::string product = html.substr(li + 4, html.find(' ', li) - li - 4);
            const std::size_t li_end = html.find("</li>", li);
            for (std::size_t d = html.find("<time>", li); d < li_end; d = html.find("<time>", d + 1)) {
                std::chrono::sys_days day = parse_day(html.substr(d + 6, 10));
                r.overview.insert(kind + " " + product + " " + html.substr(d + 6, 10));
                if (html.compare(d + 23, 10, " to <time>") != 0) continue;
                d += 27;  // a run of days: every day up to its last
                for (const auto last = parse_day(html.substr(d + 6, 10)); day < last;) {
                    day += std::chrono::days{1};
                    r.overview.insert(kind + " " + product + " " + format_day(day));
                }
            }
        }
        for (const char* product : {"VAK", "TOQ", "ZELK", "HUV", "PEX", "WYT"}) {
            const std::string series = "korvane_l2_changes{product=\"" + std::string(product) + "\",change=\"" + kind + "\"} ";
            const std::size_t at = prom.find(series);
            const std::string n = at == std::string::npos ? "absent" : prom.substr(at + series.size(), prom.find('\n', at) - at - series.size());
            if (n != "0") r.metrics.insert(kind + " " + product + " " + n);
        }
    }
    return r;
}

// Sets TZ for one test: the run's times must keep their zone's offset.
class zone {
public:
    explicit zone(const char* tz) { setenv("TZ", tz, 1); }
    ~zone() { unsetenv("TZ"); }
    zone(const zone&) = delete;
    zone& operator=(const zone&) = delete;
};

// Runs in sequence over a store that loses, gains and replaces files, with
// a failed run and an empty mount point between them: each good run
// reports the changes since the last complete survey, in every output.
// West of Greenwich, so that an offset's sign and unit are read back.
TEST_F(Program, ChangesSinceTheLastCompleteSurveyAreReportedEverywhere) {
    const zone west("EST5");
    for (const char* name : {"VAK_SURVEY", "TOQ_HFx1024", "HUV_BURSTx"})
        for (int day = 5; day <= 7; ++day) test::add_data_file(store, name, 2004, 7, day);
    ASSERT_EQ(run().status, 0);
    EXPECT_NE(test::read_file(status_file).find("\"changes\": {\"since\": null,\n  \"vanished\": [],\n  \"appeared\": [],"
                                                "\n  \"changed\": [],\n  \"unreadable\": []},\n \"last_run\": {\"time\": \""),
              std::string::npos);
    EXPECT_EQ(test::count(test::read_file(metrics), "korvane_l2_changes{"), 24);
    EXPECT_TRUE(changes_reported().metrics.empty());
    const std::string first_json = test::read_file(status_file), first_page = test::read_file(page);
    EXPECT_EQ(first_json.substr(34, 6), "-05:00");

    // The store is gone, then an empty folder stands in its place: both fail,
    // and every output still shows the first survey.
    const fs::path kept = work / "kept";
    fs::rename(store, kept);
    for (const bool empty_mount : {false, true}) {
        if (empty_mount) fs::create_directories(store);
        const test::run_result r = run();
        EXPECT_EQ(r.status, 255) << empty_mount;
        EXPECT_EQ(r.out, store_failure) << empty_mount;
        EXPECT_EQ(test::read_file(page), first_page);
        const std::string json = test::read_file(status_file);
        EXPECT_EQ(json.substr(0, json.find("\"last_run\"")), first_json.substr(0, first_json.find("\"last_run\"")));
        EXPECT_NE(json.find("\"success\": false, \"message\": \"" + store_failure.substr(0, store_failure.size() - 1) + "\"}}"),
                  std::string::npos);
        const std::string prom = test::read_file(metrics);
        EXPECT_NE(prom.find("korvane_l2_files{product=\"VAK\",status=\"primary\"} 3\n"), std::string::npos);
        EXPECT_NE(prom.find("\nkorvane_l2_last_run_success 0\n"), std::string::npos);
        EXPECT_NE(test::read_file(overview).find("<p class=\"failed\" role=\"alert\">"), std::string::npos);
        fs::remove_all(store);
    }
    fs::rename(kept, store);

    // Two files vanish, two appear, two are renamed to their fallback, two
    // get a new status-change time (a second later: ctime has seconds).
    for (int day = 5; day <= 6; ++day) {
        fs::remove(store / ("2004070" + std::to_string(day) + "/KORVANE_VAK_SURVEY_2004070" + std::to_string(day) + "_V01.bin"));
        test::add_data_file(store, "PEX_xxxxxx", 2011, 3, 8 + day);
        fs::rename(store / ("2004070" + std::to_string(day) + "/KORVANE_TOQ_HFx1024_2004070" + std::to_string(day) + "_V01.bin"),
                   store / ("2004070" + std::to_string(day) + "/KORVANE_TOQ_VLF1024_2004070" + std::to_string(day) + "_V01.bin"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    for (int day = 5; day <= 6; ++day)
        fs::permissions(store / ("2004070" + std::to_string(day) + "/KORVANE_HUV_BURSTx_2004070" + std::to_string(day) + "_V01.bin"),
                        fs::perms(0600));
    ASSERT_EQ(run().status, 0);
    const std::set<std::string> want = {"vanished VAK 2004-07-05", "vanished VAK 2004-07-06", "appeared PEX 2011-03-13",
                                        "appeared PEX 2011-03-14", "changed TOQ 2004-07-05", "changed TOQ 2004-07-06",
                                        "changed HUV 2004-07-05",  "changed HUV 2004-07-06"};
    const std::set<std::string> counts = {"vanished VAK 2", "appeared PEX 2", "changed TOQ 2", "changed HUV 2"};
    const reported got = changes_reported();
    EXPECT_EQ(got.json, want);
    EXPECT_EQ(got.overview, want);
    EXPECT_EQ(got.metrics, counts);
    if (std::system("command -v python3 >/dev/null") == 0) {
        EXPECT_EQ(std::system(("python3 -m json.tool " + status_file.string() + " >/dev/null").c_str()), 0);
    }
    const std::string json = test::read_file(status_file);
    EXPECT_EQ(json.substr(json.find("\"since\": ") + 10, 25), first_json.substr(15, 25));  // the first survey's time
    EXPECT_NE(json.find("\"last_run\": {\"time\": \"" + json.substr(15, 25) + "\", \"success\": true}}\n"),
              std::string::npos);

    // A failed run still reports the last survey and its changes, as the
    // state kept them.
    fs::rename(store, kept);
    ASSERT_EQ(run().status, 255);
    fs::rename(kept, store);
    EXPECT_EQ(changes_reported().json, want);
    EXPECT_EQ(changes_reported().metrics, counts);

    // Unchanged since: nothing to report. A damaged state is no state,
    // even where the damage still reads as a state: a digit of a time, or
    // a file's name (p and f), under the same end line.
    ASSERT_EQ(run().status, 0);
    EXPECT_TRUE(changes_reported().json.empty());
    const std::string good = test::read_file(state);
    const std::size_t time_digit = good.find(" p") + 5, name = good.find(" p") + 1;
    std::string retimed = good, renamed = good;
    retimed[time_digit] = retimed[time_digit] == '1' ? '2' : '1';
    renamed[name] = 'f';
    for (const std::string& damaged : {good.substr(0, good.size() / 2), std::string(good).replace(5000, 1, "x"),
                                       std::string(4096, '\xA7'), std::string(), retimed, renamed}) {
        test::write_file(state, damaged);
        ASSERT_EQ(run().status, 0);
        EXPECT_NE(test::read_file(status_file).find("\"since\": null"), std::string::npos);
        EXPECT_NE(test::read_file(state).find("\nsince -\n"), std::string::npos);  // a fresh state
    }
}

// A day folder the running account may not search: its files are
// unreadable, never vanished, and the page shows them red.
TEST_F(Program, AnUnsearchableDayIsUnreadableNotVanished) {
    for (const fs::path& p : {www, store, metrics.parent_path(), state.parent_path()})
        fs::permissions(p, fs::perms::all);
    for (const char* name : {"VAK_SURVEY", "TOQ_HFx1024", "ZEL_VLF1024", "HUV_BURSTx", "PEX_xxxxxx", "VAK_ORBITO"})
        test::add_data_file(store, name, 2004, 7, 6);
    const test::run_options nobody{nullptr, -1, true};
    ASSERT_EQ(run(nobody).status, 0);
    fs::permissions(store / "20040706", fs::perms::none);
    const test::run_result r = run(nobody);
    fs::permissions(store / "20040706", fs::perms(0755));
    ASSERT_EQ(r.status, 0) << r.out;
    std::string red_row = "<td>06/07/2004</td>";
    for (int i = 0; i < 6; ++i) red_row += "<td bgcolor=\"#b00000\"></td>";
    EXPECT_NE(test::read_file(page).find(red_row + "</tr>"), std::string::npos);
    std::set<std::string> want, counts;
    for (const char* p : {"VAK", "TOQ", "ZELK", "HUV", "PEX", "WYT"}) {
        want.insert(std::string("unreadable ") + p + " 2004-07-06");
        counts.insert(std::string("unreadable ") + p + " 1");
    }
    const reported got = changes_reported();
    EXPECT_EQ(got.json, want);
    EXPECT_EQ(got.overview, want);
    EXPECT_EQ(got.metrics, counts);
    EXPECT_NE(test::read_file(metrics).find("korvane_l2_files{product=\"WYT\",status=\"unreadable\"} 1\n"),
              std::string::npos);
    EXPECT_NE(test::read_file(status_file).find("{\"date\": \"2004-07-06\", \"status\": [\"unreadable\", \"unreadable\""),
              std::string::npos);
    // Still unreadable: reported once, not at every run.
    fs::permissions(store / "20040706", fs::perms::none);
    ASSERT_EQ(run(nobody).status, 0);
    EXPECT_TRUE(changes_reported().metrics.empty());
    // Readable again, as the last survey that read it found it: nothing
    // appeared, nothing vanished.
    fs::permissions(store / "20040706", fs::perms(0755));
    ASSERT_EQ(run(nobody).status, 0);
    EXPECT_TRUE(changes_reported().metrics.empty());
    // A file deleted while its folder could not be read has vanished, and
    // the others have not appeared.
    fs::permissions(store / "20040706", fs::perms::none);
    ASSERT_EQ(run(nobody).status, 0);
    fs::permissions(store / "20040706", fs::perms(0755));
    fs::remove(store / "20040706/KORVANE_VAK_SURVEY_20040706_V01.bin");
    ASSERT_EQ(run(nobody).status, 0);
    EXPECT_EQ(changes_reported().json, std::set<std::string>{"vanished VAK 2004-07-06"});
    EXPECT_EQ(changes_reported().metrics, std::set<std::string>{"vanished VAK 1"});
}

TEST_F(Program, FilesCountByExistenceAlone) {
    // Mode 000: the running account (nobody, when the tests run as root)
    // may not read it, yet it exists.
    test::add_data_file(store, "ZEL_VLF1024", 2004, 7, 6);
    fs::permissions(store / "20040706/KORVANE_ZEL_VLF1024_20040706_V01.bin", fs::perms::none);
    fs::permissions(www, fs::perms::all);
    const test::run_result r = run({nullptr, -1, true});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(test::read_file(page).find("<td>06/07/2004</td><td bgcolor=\"#b00000\"></td>"
                                         "<td bgcolor=\"#b00000\"></td><td bgcolor=\"#00b000\"></td>"),
              std::string::npos);
}

TEST_F(Program, ADanglingLinkKeepsItsPlaceAndGetsItsTarget) {
    fs::create_directories(work / "pages");
    fs::create_symlink("../pages/new.html", page);
    EXPECT_EQ(run().status, 0);
    EXPECT_TRUE(fs::is_symlink(page));
    EXPECT_EQ(test::count(test::read_file(work / "pages" / "new.html"), "<td>Date</td>"), 81);
    EXPECT_EQ(strays(), 0);
}

TEST_F(Program, HelpAndVersionAnswerWithoutARun) {
    for (const char* arg : {"--help", "--version"}) {
        const test::run_result r = run({}, arg);
        EXPECT_EQ(r.status, 0) << arg;
        EXPECT_EQ(r.out.rfind(arg[2] == 'h' ? "Usage : check_korvane_web\n" : "check_korvane_web 4.", 0), 0u)
            << r.out;
        EXPECT_FALSE(fs::exists(page)) << arg;
    }
    // A mistyped option is refused before anything is touched.
    const test::run_result r = run({}, "--hlep");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out.rfind("Usage : check_korvane_web\n", 0), 0u) << r.out;
    EXPECT_FALSE(fs::exists(page));
    EXPECT_FALSE(fs::exists(metrics));
}

TEST_F(Program, ALinkedPageIsWrittenThroughTheLink) {
    const fs::path real = work / "pages" / "real.html";
    test::write_file(real, "old");
    fs::create_symlink(real, page);
    EXPECT_EQ(run().status, 0);
    EXPECT_TRUE(fs::is_symlink(page));
    EXPECT_EQ(test::count(test::read_file(real), "<td>Date</td>"), 81);
}

TEST_F(Program, FailuresLeaveThePreviousPageAndNoTemporaryFile) {
    // A file size limit one byte short of the page: the last buffered
    // block fails, after everything else went well.
    ASSERT_EQ(run().status, 0);
    const long page_size = static_cast<long>(fs::file_size(page));
    struct row {
        const char* what;
        void (*arrange)();
        test::run_options options;
        std::string out;
        bool needs_root = false;
        bool set_id = false;  // a sanitizer's runtime cannot run set-id
    };
    const row rows[] = {
        {"store root missing (a mount gone)", [] { fs::remove_all(store); }, {}, store_failure},
        {"store root is a file", [] { fs::remove_all(store); test::write_file(store, "x"); }, {},
         store_failure},
        {"store root not searchable",
         [] {
             fs::permissions(store, fs::perms::owner_read);
             fs::permissions(www, fs::perms::all);
             fs::permissions(page, fs::perms(0666));
         },
         {nullptr, -1, true}, store_failure},
        {"another account's page in a sticky folder",
         [] {
             fs::permissions(www, fs::perms(01777));
             fs::permissions(page, fs::perms(0666));
         },
         {nullptr, -1, true}, open_failure, true},
        {"another account's link to a root file in a shared folder",
         [] {
             fs::permissions(www, fs::perms(01777));
             test::write_file(work / "victim", "previous page");
             fs::remove(page);
             fs::create_symlink(work / "victim", page);
             ASSERT_EQ(lchown(page.c_str(), 65534, 65534), 0);
         },
         {}, open_failure, true},
        {"a set-id copy checks the page with its effective ids",
         [] {
             fs::permissions(www, fs::perms::all);
             ASSERT_EQ(chown(staged_bin.c_str(), 65534, 65534), 0);
             fs::permissions(staged_bin, fs::perms(04755));
         },
         {}, open_failure, true, true},
        {"last buffered block fails", [] {}, {nullptr, page_size - 1, false}, write_failure},
        {"page folder missing", [] { fs::remove_all(www); }, {}, open_failure},
        {"page read-only for the account",
         [] {
             fs::permissions(page, fs::perms(0444));
             fs::permissions(www, fs::perms::all);  // the folder itself is writable
         },
         {nullptr, -1, true}, open_failure},
        {"page folder read-only", [] { fs::permissions(www, fs::perms(0555)); },
         {nullptr, -1, true}, open_failure},
        {"write fails part way (file size limit)", [] {}, {nullptr, 100000, false}, write_failure},
    };
    for (const row& r : rows) {
        if ((r.needs_root && geteuid() != 0) || (r.set_id && sanitized)) continue;
        SetUp();
        test::write_file(page, "previous page");
        r.arrange();
        const test::run_result got = run(r.options);
        EXPECT_EQ(got.out, r.out) << r.what;
        EXPECT_EQ(got.status, 255) << r.what;
        // The metrics file still tells the failure.
        EXPECT_NE(test::read_file(metrics).find("\nkorvane_l2_last_run_success 0\n"), std::string::npos)
            << r.what;
        if (fs::exists(www)) {
            fs::permissions(www, fs::perms::owner_all, fs::perm_options::add);
            EXPECT_EQ(test::read_file(page), "previous page") << r.what;
            EXPECT_EQ(strays(), 0) << r.what;
        }
    }
}

TEST_F(Program, UnusualButSoundSetupsSucceed) {
    struct row {
        const char* what;
        void (*arrange)();
        bool as_nobody;
        bool needs_root;
        mode_t page_mode;  // the page's mode after the run
    };
    const row rows[] = {
        {"page folder not readable (synced through its file system)",
         [] {
             fs::permissions(www, fs::perms(0333));
             fs::permissions(page, fs::perms(0666));
         },
         true, false, 0666},
        {"store root searchable, not readable",
         [] {
             fs::permissions(www, fs::perms::all);
             fs::permissions(page, fs::perms(0666));
             fs::permissions(store, fs::perms(0111));
         },
         true, false, 0666},
        {"root replaces another account's page in a sticky folder",
         [] {
             fs::permissions(www, fs::perms(01777));
             ASSERT_EQ(chown(page.c_str(), 65534, 65534), 0);
         },
         false, true, 0644},
        {"a set-id page loses its set-id bits", [] { fs::permissions(page, fs::perms(06755)); }, false,
         false, 0755},
        {"an operator's backup beside the page stays",
         [] { test::write_file(www / ".check_korvane_web.html.backup", "mine"); }, false, false, 0644},
    };
    for (const row& r : rows) {
        if (r.needs_root && geteuid() != 0) continue;
        SetUp();
        test::add_data_file(store, "PEX_xxxxxx", 2004, 7, 5);
        test::write_file(page, "previous page");
        fs::permissions(page, fs::perms(0644));
        r.arrange();
        const test::run_result got = run({nullptr, -1, r.as_nobody});
        EXPECT_EQ(got.status, 0) << r.what << ": " << got.out;
        fs::permissions(www, fs::perms::owner_all, fs::perm_options::add);
        fs::permissions(store, fs::perms::owner_all, fs::perm_options::add);
        EXPECT_EQ(test::count(test::read_file(page), "#00b000"), 1) << r.what;
        EXPECT_EQ(mode_of(page), r.page_mode) << r.what;
        EXPECT_EQ(strays(), fs::exists(www / ".check_korvane_web.html.backup") ? 1 : 0) << r.what;
    }
}

// Each output reaches the disk before it is renamed over the old one, and
// the rename reaches it before the next output: file fsync, then rename,
// then fsync of the folder.
TEST_F(Program, EachReplacementIsSyncedInOrder) {
    const char* strace = "/usr/bin/strace";
    if (access(strace, X_OK) != 0) GTEST_SKIP() << "strace is not installed";
    const fs::path trace = work / "trace";
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // the leak checker cannot run under ptrace
    const test::run_result r = test::run({strace, "-f", "-qq", "-o", trace.string(), "-e",
                                          "trace=fsync,fdatasync,syncfs,rename,renameat,renameat2",
                                          staged_bin.string()});
    ASSERT_EQ(r.status, 0) << r.out;
    std::istringstream lines(test::read_file(trace));
    int renames = 0;
    bool file_synced = false;
    std::string pending_dir;  // the folder of the last rename, until synced
    for (std::string line; std::getline(lines, line);) {
        const std::size_t open = line.find('('), comma = line.find(',', open);
        if (open == std::string::npos) continue;
        const std::string call = line.substr(line.rfind(' ', open) + 1, open - line.rfind(' ', open) - 1);
        const std::string first = line.substr(open + 1, std::min(comma, line.find(')')) - open - 1);
        if (call.rfind("rename", 0) == 0) {
            EXPECT_TRUE(file_synced && pending_dir.empty()) << "unsynced before: " << line;
            pending_dir = first;
            file_synced = false;
            ++renames;
        } else if (!pending_dir.empty()) {
            EXPECT_EQ(first, pending_dir) << "the folder must be synced next: " << line;
            pending_dir.clear();
        } else {
            file_synced = true;
        }
    }
    EXPECT_TRUE(pending_dir.empty());
    EXPECT_EQ(renames, 6);  // the lock's metrics, page, state, overview, status file, metrics
}

// A run killed at any of its renames (systemd's stop, or a timeout),
// then a clean run: the change it found is published all the same, in
// the status file and the metrics, and once published is not repeated.
// A state in place but not synced is the survey the outputs report.
TEST_F(Program, AKilledRunLosesNoChange) {
    const char* strace = "/usr/bin/strace";
    if (access(strace, X_OK) != 0) GTEST_SKIP() << "strace is not installed";
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // the leak checker cannot run under ptrace
    // Days 11 to 16 of July 2004, one vanishing in each case.
    auto name = [](int day) { return "200407" + std::to_string(day) + "/KORVANE_VAK_SURVEY_200407" + std::to_string(day) + "_V01.bin"; };
    for (int day = 11; day <= 17; ++day) test::add_data_file(store, "VAK_SURVEY", 2004, 7, day);
    ASSERT_EQ(run().status, 0);
    // Renames 2 to 6: the page, the state, the overview, the status file,
    // the metrics (the first is the lock's metrics).
    for (int n = 1; n <= 5; ++n) {
        fs::remove(store / name(n + 10));
        const std::string inject = "inject=renameat:signal=SIGKILL:when=" + std::to_string(n + 1);
        const test::run_result killed =
            test::run({strace, "-f", "-qq", "-o", "/dev/null", "-e", "trace=renameat", "-e", inject, staged_bin.string()});
        EXPECT_NE(killed.status, 0) << n;
        EXPECT_EQ(run().status, 0) << n;
        const std::string vanished = "vanished VAK 2004-07-" + std::to_string(n + 10);
        EXPECT_EQ(changes_reported().json, std::set<std::string>{vanished}) << "killed at rename " << n;
        EXPECT_EQ(changes_reported().metrics, std::set<std::string>{"vanished VAK 1"}) << "killed at rename " << n;
        EXPECT_EQ(run().status, 0);
        EXPECT_TRUE(changes_reported().metrics.empty()) << "published twice after rename " << n;
    }
    // The state's folder not synced (its fsync is the 6th: file and folder
    // of the lock's metrics, of the page, then of the state): reported,
    // and what the outputs say.
    fs::remove(store / name(16));
    const test::run_result unsynced =
        test::run({strace, "-f", "-qq", "-o", "/dev/null", "-e", "trace=fsync", "-e", "inject=fsync:error=EIO:when=6",
                   staged_bin.string()});
    EXPECT_EQ(unsynced.out, "FATAL ERROR SYNC " + state.string() + "\n");
    EXPECT_EQ(changes_reported().json, std::set<std::string>{"vanished VAK 2004-07-16"});
    const std::string json = test::read_file(status_file);
    EXPECT_EQ(json.substr(15, 25), json.substr(json.find("\"last_run\": {\"time\": \"") + 22, 25));  // this run's survey
}

// A second run waits for the first to end, then runs.
TEST_F(Program, RunsFollowEachOther) {
    const test::run_result first = run();
    ASSERT_EQ(first.status, 0);
    const int held = open((state.parent_path() / ".survey.state.lock").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    const auto start = std::chrono::steady_clock::now();
    std::thread release([held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        close(held);
    });
    const test::run_result second = run();
    release.join();
    EXPECT_EQ(second.status, 0) << second.out;
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(700));
}

TEST_F(Program, LostAddressIsAFailure) {
    const test::run_result r = run({"/dev/full", -1, false});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(test::count(test::read_file(page), "<td>Date</td>"), 81);
}

}  // namespace
