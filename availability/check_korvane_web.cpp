// check_korvane_web: surveys the L2 data store over the mission's window,
// replaces the availability page and prints its public address.
//
// Exit status 0 after a complete run; 255 when the page cannot be opened
// ("FATAL ERROR OPEN WRITE MODE <page>") or written ("FATAL ERROR WRITE
// <page>"), the previous page then left as it was; 255 also when the
// address cannot be printed.
#include <cstdio>

#include "korvane_config.h"
#include "page.h"
#include "publish.h"

int main() {
    namespace cfg = korvane::config;
    korvane::page_file pf{};
    if (korvane::page_open(cfg::page_path, &pf) != 0) {
        std::printf("FATAL ERROR OPEN WRITE MODE %s\n", cfg::page_path);
        return 255;
    }
    korvane::fd = pf.stream;

    korvane::local_time now{};
    korvane::get_tu(&now.year, &now.month, &now.day, &now.hour, &now.minute, &now.second);
    const korvane::banner_identity who{cfg::program_path, cfg::account, cfg::machine};
    const bool written = korvane::write_page(cfg::data_root, now, who) == 0;
    korvane::fd = nullptr;
    if (!written || korvane::page_commit(&pf) != 0) {
        korvane::page_abandon(&pf);
        std::printf("FATAL ERROR WRITE %s\n", cfg::page_path);
        return 255;
    }
    std::printf("http://%s/%s\n", cfg::web_host, cfg::page_name);
    // The address is the run's only report: a caller must not take a lost
    // one for success.
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 255;
}
