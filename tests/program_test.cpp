// check_korvane_web as a program: a copy built against a store and a page
// in the build tree, run as cron would run it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <string>

#include "support.h"

namespace {

namespace fs = test::fs;

const fs::path work = KORVANE_TEST_WORK;  // holds DATA/ (the store) and www/
const fs::path store = work / "DATA";
const fs::path www = work / "www";
const fs::path page = www / "check_korvane_web.html";
const std::string open_failure = "FATAL ERROR OPEN WRITE MODE " + page.string() + "\n";
const std::string write_failure = "FATAL ERROR WRITE " + page.string() + "\n";
const std::string address = "http://test.host/check_korvane_web.html\n";

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        std::error_code ec;
        fs::permissions(www, fs::perms::owner_all, ec);
        fs::remove_all(work);
        fs::create_directories(www);
    }
    void TearDown() override { SetUp(); }

    static test::run_result run(const test::run_options& options = {}) {
        return test::run({KORVANE_TEST_BIN}, options);
    }
    // The folder's entries other than the page: leftovers of a run.
    static int strays() {
        int n = 0;
        for (const auto& e : fs::directory_iterator(www)) n += e.path() != page;
        return n;
    }
};

mode_t mode_of(const fs::path& p) {
    struct stat st {};
    stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

TEST_F(Program, EmptyStoreGivesACompleteAllRedPage) {
    const test::run_result r = run();
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
}

TEST_F(Program, SecondRunReplacesThePageKeepingItsMode) {
    test::add_data_file(store, "VAK_BURSTx", 2004, 7, 5);
    test::add_data_file(store, "VAK_ORBITO", 2004, 7, 5);
    test::write_file(page, std::string(600000, 'x'));
    fs::permissions(page, fs::perms(0640));
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
    EXPECT_EQ(strays(), 0);
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
    struct row {
        const char* what;
        void (*arrange)();
        test::run_options options;
        std::string out;
    };
    const row rows[] = {
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
        SetUp();
        test::write_file(page, "previous page");
        r.arrange();
        const test::run_result got = run(r.options);
        EXPECT_EQ(got.out, r.out) << r.what;
        EXPECT_EQ(got.status, 255) << r.what;
        if (fs::exists(www)) {
            fs::permissions(www, fs::perms::owner_all, fs::perm_options::add);
            EXPECT_EQ(test::read_file(page), "previous page") << r.what;
            EXPECT_EQ(strays(), 0) << r.what;
        }
    }
}

TEST_F(Program, LostAddressIsAFailure) {
    const test::run_result r = run({"/dev/full", -1, false});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(test::count(test::read_file(page), "<td>Date</td>"), 81);
}

}  // namespace
