// check_korvane_web: surveys the L2 data store over the mission's window,
// replaces the availability page and prints its public address.
//
// Exit status 0 after a complete run; 255 when the page cannot be opened
// ("FATAL ERROR OPEN WRITE MODE <page>") or written ("FATAL ERROR WRITE
// <page>"), or when the store's root cannot be searched ("FATAL ERROR DATA
// STORE <root>"), the previous page then left as it was; 255 also when the
// address cannot be printed. --help and --version answer without a run;
// other arguments are ignored.
#include <cstdio>
#include <cstring>

#include "korvane_config.h"
#include "page.h"
#include "probe.h"
#include "publish.h"

namespace {

namespace cfg = korvane::config;

// Every path a run names is fixed when the program is built: refuse a
// store root whose file paths cannot be formatted (they would all be red).
static_assert(sizeof cfg::data_root - 1 + korvane::longest_path_tail < korvane::path_capacity,
              "KORVANE_DATA_ROOT is too long for the probes' paths");

bool answered(int argc, char** argv) {
    if (argc < 2) return false;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("check_korvane_web %s\n", cfg::version);
        return true;
    }
    if (std::strcmp(argv[1], "--help") != 0) return false;
    std::printf("Usage : check_korvane_web\n\n"
                "Surveys the KORVANE L2 data store %s from 2004-07-05 to 2011-03-14,\n"
                "replaces the availability page %s\n"
                "and prints its address. Takes no arguments; exits with 255 after a\n"
                "FATAL ERROR line when the page or the store cannot be used.\n",
                cfg::data_root, cfg::page_path);
    return true;
}

korvane::page_file page;  // large (its stream buffer): not on the stack

}  // namespace

int main(int argc, char** argv) {
    if (answered(argc, argv)) return std::fflush(stdout) == 0 ? 0 : 255;
    if (korvane::page_open(cfg::page_path, &page) != 0) {
        std::printf("FATAL ERROR OPEN WRITE MODE %s\n", cfg::page_path);
        return 255;
    }
    // A store whose root is gone (an unmounted disk) is not an empty store:
    // the page that showed the data stays.
    if (!korvane::store_searchable(cfg::data_root)) {
        korvane::page_abandon(&page);
        std::printf("FATAL ERROR DATA STORE %s\n", cfg::data_root);
        return 255;
    }
    korvane::fd = page.stream;

    korvane::local_time now{};
    korvane::get_tu(&now.year, &now.month, &now.day, &now.hour, &now.minute, &now.second);
    const korvane::banner_identity who{cfg::program_path, cfg::account, cfg::machine};
    const bool written = korvane::write_page(cfg::data_root, now, who) == 0;
    korvane::fd = nullptr;
    if (!written || korvane::page_commit(&page) != 0) {
        korvane::page_abandon(&page);
        std::printf("FATAL ERROR WRITE %s\n", cfg::page_path);
        return 255;
    }
    std::printf("http://%s/%s\n", cfg::web_host, cfg::page_name);
    // The address is the run's only report: a caller must not take a lost
    // one for success.
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 255;
}
