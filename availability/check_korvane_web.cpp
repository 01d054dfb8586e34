// check_korvane_web: surveys the L2 data store over the mission's window,
// replaces the availability page, keeps the survey in the state file, then
// from the last complete survey replaces the overview page, the status file
// and the metrics file (those configured), and prints the page's public
// address. Everything it uses is fixed when it is built (korvane_config.h);
// run() in run.h says what a run does and how it fails.
//
// --help and --version answer without a run; any other argument prints
// the usage and exits with 255, touching nothing.
#include <cstdio>
#include <cstring>

#include "korvane_config.h"
#include "probe.h"
#include "run.h"

namespace {

namespace cfg = korvane::fixed;

// Every path a run names is fixed when the program is built: refuse a
// store root whose file paths cannot be formatted (they would all be red).
static_assert(sizeof cfg::data_root - 1 + korvane::longest_path_tail < korvane::path_capacity,
              "KORVANE_DATA_ROOT is too long for the probes' paths");

void usage() {
    std::printf("Usage : check_korvane_web\n\n"
                "Surveys the KORVANE L2 data store %s from %s to %s,\n"
                "replaces the availability page %s\n"
                "and prints its address. Takes no arguments; exits with 255 after a\n"
                "FATAL ERROR line when the page or the store cannot be used.\n",
                cfg::data_root, korvane::window_first_text, korvane::window_last_text, cfg::page_path);
}

// The exit status of a run that answers its arguments instead of
// surveying, or -1 for a survey. A mistyped option (--hlep) must not run.
int answered(int argc, char** argv) {
    if (argc < 2) return -1;
    const bool version = std::strcmp(argv[1], "--version") == 0;
    const bool help = std::strcmp(argv[1], "--help") == 0;
    if (version) std::printf("check_korvane_web %s\n", cfg::version);
    else usage();
    const bool flushed = std::fflush(stdout) == 0;
    return (version || help) && argc == 2 && flushed ? 0 : 255;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = answered(argc, argv); status >= 0) return status;
    const korvane::config c{cfg::data_root,     cfg::page_path,   cfg::page_name,   cfg::web_host,
                            cfg::overview_path, cfg::status_path, cfg::status_name, cfg::metrics_path,
                            cfg::state_path,    cfg::run_as,      {cfg::program_path, cfg::account, cfg::machine},
                            60.0,               cfg::lock_metrics_path};
    return korvane::run(c, stdout);
}
