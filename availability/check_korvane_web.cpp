// check_korvane_web: surveys the L2 data store over the mission's window,
// replaces the availability page, keeps the survey in the state file, then
// from the last complete survey replaces the overview page, the status file
// and the metrics file (those configured), and prints the page's public
// address.
//
// Exit status 0 after a complete run; 255 when the page cannot be opened
// ("FATAL ERROR OPEN WRITE MODE <page>") or written ("FATAL ERROR WRITE
// <page>"), or when the store's root cannot be searched or holds no file
// of the window while the last complete survey found some ("FATAL ERROR
// DATA STORE <root>"), the previous page then left as it was; 255 also
// when the address cannot be printed. Another output or the state file
// that cannot be replaced gives the same messages with its path; outputs
// already replaced stay. "FATAL ERROR SYNC <path>": that file was replaced
// but its folder could not be synced. Only the first failure is printed.
// After a failure the overview, the status file and the metrics are still
// written, from the last complete survey, and report it. --help and
// --version answer without a run; any other argument prints the usage and
// exits with 255, touching nothing.
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "korvane_config.h"
#include "outputs.h"
#include "page.h"
#include "probe.h"
#include "publish.h"
#include "state.h"

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
korvane::survey found;             // this run's survey
korvane::survey_record earlier;    // the last complete survey before this run, from the state file
korvane::survey_record latest;     // this run's survey and its changes since the earlier one
korvane::summary sum;

// The run's first failure, without its line break: every output reports it.
char first_failure[PATH_MAX + 32] = "";

// Prints the failure line "FATAL ERROR <what> <path>", the run's report,
// and keeps it for the outputs. Only the first: the outputs written after
// it carry that report, and a run that failed says so once.
void fatal(const char* what, const char* path) {
    if (first_failure[0] != '\0') return;
    std::snprintf(first_failure, sizeof first_failure, "FATAL ERROR %s %s", what, path);
    std::printf("%s\n", first_failure);
}

// Commits the file being replaced; prints the failure message of path.
// A file that replaced the old one but whose folder could not be synced is
// in place: the message says so rather than claim the old file stays.
int last_commit = 0;  // page_commit's status for the last file replaced

bool commit(const char* path) {
    const int status = last_commit = korvane::page_commit(&out);
    if (status == korvane::commit_unsynced) fatal("SYNC", path);
    else if (status != 0) fatal("WRITE", path);
    return status == 0;
}

// Replaces the output at path with what write puts in its stream; prints
// the failure message of that output.
template <class Write>
bool replace(const char* path, Write write) {
    if (korvane::page_open(path, &out) != 0) {
        fatal("OPEN WRITE MODE", path);
        return false;
    }
    if (write(out.stream) != 0) {
        korvane::page_abandon(&out);
        fatal("WRITE", path);
        return false;
    }
    return commit(path);
}

// The survey and the page. A store whose root is gone (an unmounted disk)
// is not an empty store: the page that showed the data stays. Neither is
// an empty folder where the last complete survey found files: a mount
// point whose disk is not mounted.
bool survey_and_page(const korvane::local_time& now, bool have_earlier) {
    if (korvane::page_open(cfg::page_path, &out) != 0) {
        fatal("OPEN WRITE MODE", cfg::page_path);
        return false;
    }
    bool usable = korvane::store_searchable(cfg::data_root);
    if (usable) {
        korvane::take_survey(cfg::data_root, &found);
        usable = korvane::files_found(found) > 0 || !have_earlier || korvane::files_found(earlier.found) == 0;
    }
    if (!usable) {
        korvane::page_abandon(&out);
        fatal("DATA STORE", cfg::data_root);
        return false;
    }
    korvane::fd = out.stream;
    const korvane::banner_identity who{cfg::program_path, cfg::account, cfg::machine};
    const bool written = korvane::write_page(found, now, who) == 0;
    korvane::fd = nullptr;
    if (!written) {
        korvane::page_abandon(&out);
        fatal("WRITE", cfg::page_path);
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
    korvane::timestamp now{};
    korvane::local_time_at(wall.tv_sec, &now.local, &now.utc_offset);

    // A state that cannot be read or trusted is no state: a first run.
    const bool have_state = cfg::state_path[0] != '\0';
    const bool have_earlier = have_state && korvane::read_state(cfg::state_path, &earlier);
    // The last complete survey: this run's once the page and the state
    // have it, else the one before, if any.
    const korvane::survey_record* last = have_earlier ? &earlier : nullptr;
    bool ok = survey_and_page(now.local, have_earlier);
    if (ok) {
        korvane::compare_surveys(last, found, now, &latest);
        ok = !have_state ||
             replace(cfg::state_path, [](std::FILE* f) { return korvane::write_state(f, latest); });
        // A state in place but not synced is what the next run reads.
        if (ok || last_commit == korvane::commit_unsynced) last = &latest;
    }
    if (last != nullptr) korvane::summarise(last->found, &sum);
    const korvane::reported_survey reported{last, last != nullptr ? &sum : nullptr};
    auto outcome = [&] {
        timespec t{};
        clock_gettime(CLOCK_MONOTONIC, &t);
        return korvane::run_outcome{now, seconds(wall), seconds(t) - seconds(started), ok, first_failure};
    };
    // After a failure the outputs still go out: each says the run failed.
    if (cfg::overview_path[0] != '\0') {
        const korvane::overview_links links{cfg::page_name, cfg::status_name};
        const korvane::run_outcome run = outcome();
        ok = replace(cfg::overview_path, [&](std::FILE* f) { return korvane::write_overview(f, reported, run, links); }) &&
             ok;
    }
    if (cfg::status_path[0] != '\0') {
        const korvane::run_outcome run = outcome();
        ok = replace(cfg::status_path, [&](std::FILE* f) { return korvane::write_status(f, reported, run); }) && ok;
    }
    if (cfg::metrics_path[0] != '\0') {
        const korvane::run_outcome run = outcome();
        ok = replace(cfg::metrics_path, [&](std::FILE* f) { return korvane::write_metrics(f, reported, run); }) && ok;
    }
    if (!ok) return 255;
    std::printf("http://%s/%s\n", cfg::web_host, cfg::page_name);
    // The address is the run's only report: a caller must not take a lost
    // one for success.
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 255;
}
