// check_korvane_web: surveys the L2 data store over the mission's window,
// replaces the availability page, then from the same survey the overview
// page, the status file and the metrics file (those configured), and
// prints the page's public address.
//
// Exit status 0 after a complete run; 255 when the page cannot be opened
// ("FATAL ERROR OPEN WRITE MODE <page>") or written ("FATAL ERROR WRITE
// <page>"), or when the store's root cannot be searched ("FATAL ERROR DATA
// STORE <root>"), the previous page then left as it was; 255 also when the
// address cannot be printed. Another output that cannot be replaced gives
// the same messages with its path; outputs already replaced stay. "FATAL
// ERROR SYNC <path>": that file was replaced but its folder could not be
// synced. The metrics file is written even after a failure, reporting it.
// --help and --version answer without a run; any other argument prints the
// usage and exits with 255, touching nothing.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "korvane_config.h"
#include "outputs.h"
#include "page.h"
#include "probe.h"
#include "publish.h"

namespace {

namespace cfg = korvane::config;

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

korvane::page_file out;  // the file being replaced; large (its buffer): not on the stack
korvane::survey found;
korvane::summary sum;

// Commits the file being replaced; prints the failure message of path.
// A file that replaced the old one but whose folder could not be synced is
// in place: the message says so rather than claim the old file stays.
bool commit(const char* path) {
    const int status = korvane::page_commit(&out);
    if (status == korvane::commit_unsynced) std::printf("FATAL ERROR SYNC %s\n", path);
    else if (status != 0) std::printf("FATAL ERROR WRITE %s\n", path);
    return status == 0;
}

// Replaces the output at path with what write puts in its stream; prints
// the failure message of that output.
template <class Write>
bool replace(const char* path, Write write) {
    if (korvane::page_open(path, &out) != 0) {
        std::printf("FATAL ERROR OPEN WRITE MODE %s\n", path);
        return false;
    }
    if (write(out.stream) != 0) {
        korvane::page_abandon(&out);
        std::printf("FATAL ERROR WRITE %s\n", path);
        return false;
    }
    return commit(path);
}

// The survey and the page. A store whose root is gone (an unmounted disk)
// is not an empty store: the page that showed the data stays.
bool survey_and_page(const korvane::local_time& now) {
    if (korvane::page_open(cfg::page_path, &out) != 0) {
        std::printf("FATAL ERROR OPEN WRITE MODE %s\n", cfg::page_path);
        return false;
    }
    if (!korvane::store_searchable(cfg::data_root)) {
        korvane::page_abandon(&out);
        std::printf("FATAL ERROR DATA STORE %s\n", cfg::data_root);
        return false;
    }
    korvane::fd = out.stream;
    const korvane::banner_identity who{cfg::program_path, cfg::account, cfg::machine};
    const bool written = korvane::write_page(cfg::data_root, now, who, &found) == 0;
    korvane::fd = nullptr;
    if (!written) {
        korvane::page_abandon(&out);
        std::printf("FATAL ERROR WRITE %s\n", cfg::page_path);
        return false;
    }
    return commit(cfg::page_path);
}

double seconds(const timespec& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9; }

}  // namespace

int main(int argc, char** argv) {
    if (const int status = answered(argc, argv); status >= 0) return status;
    timespec started{}, wall{};
    clock_gettime(CLOCK_MONOTONIC, &started);
    clock_gettime(CLOCK_REALTIME, &wall);
    korvane::local_time now{};
    long utc_offset = 0;
    korvane::local_time_at(wall.tv_sec, &now, &utc_offset);

    bool ok = survey_and_page(now);
    const bool surveyed = found.days == korvane::window_days;
    if (surveyed) korvane::summarise(found, &sum);
    if (ok && cfg::overview_path[0] != '\0') {
        const korvane::overview_links links{cfg::page_name, cfg::status_name};
        ok = replace(cfg::overview_path, [&](std::FILE* f) {
            return korvane::write_overview(f, found, sum, now, links);
        });
    }
    if (ok && cfg::status_path[0] != '\0')
        ok = replace(cfg::status_path, [&](std::FILE* f) {
            return korvane::write_status(f, found, sum, now, utc_offset);
        });
    if (cfg::metrics_path[0] != '\0') {
        timespec ended{};
        clock_gettime(CLOCK_MONOTONIC, &ended);
        const korvane::run_report run{seconds(wall), seconds(ended) - seconds(started), ok,
                                      surveyed ? &sum : nullptr};
        ok = replace(cfg::metrics_path, [&](std::FILE* f) { return korvane::write_metrics(f, run); }) && ok;
    }
    if (!ok) return 255;
    std::printf("http://%s/%s\n", cfg::web_host, cfg::page_name);
    // The address is the run's only report: a caller must not take a lost
    // one for success.
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 255;
}
