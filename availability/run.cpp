#include "run.h"

#include <unistd.h>

#include <climits>
#include <cstring>
#include <ctime>

#include "outputs.h"
#include "process.h"
#include "replace.h"
#include "state.h"

namespace korvane {
namespace {

// The run's large records: not on the stack.
replacement out;         // the file being replaced (with its buffer)
survey found;            // this run's survey
survey_record earlier;   // the last complete survey before this run, from the state file
survey_record latest;    // this run's survey and its changes
summary sum;

double seconds(const timespec& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9; }

// One run's failures and its report.
class reporter {
public:
    // report: where the first failure is printed; nullptr, nowhere.
    explicit reporter(std::FILE* report) : report_(report) {}

    // Prints "FATAL ERROR <what> <path>", and keeps it for the outputs.
    // Only the first: the outputs written after it carry that report, and
    // a run that failed says so once.
    void fatal(const char* what, const char* path) {
        if (failed()) return;
        std::snprintf(first_, sizeof first_, "FATAL ERROR %s %s", what, path);
        if (report_ != nullptr) std::fprintf(report_, "%s\n", first_);
    }
    [[nodiscard]] bool failed() const { return first_[0] != '\0'; }
    [[nodiscard]] const char* message() const { return first_; }

    // Commits the file being replaced; reports its failure. A file that
    // replaced the old one but whose folder could not be synced is in
    // place: the message says so rather than claim the old file stays.
    // Returns replace_commit's status.
    int commit(const char* path) {
        const int status = replace_commit(&out);
        if (status == commit_unsynced) fatal("SYNC", path);
        else if (status != 0) fatal("WRITE", path);
        return status;
    }

    // Replaces the file at path with what write puts in its stream.
    template <class Write>
    int replace(const char* path, Write write) {
        if (replace_open(path, &out) != 0) {
            fatal("OPEN WRITE MODE", path);
            return commit_failed;
        }
        if (write(out.stream) != 0) {
            replace_abandon(&out);
            fatal("WRITE", path);
            return commit_failed;
        }
        return commit(path);
    }

private:
    std::FILE* report_;
    char first_[PATH_MAX + 32] = "";
};

// The survey and the page. A store whose root is gone (an unmounted disk)
// is not an empty store: the page that showed the data stays. Neither is
// an empty folder where the last complete survey found files: a mount
// point whose disk is not mounted.
bool survey_and_page(const config& c, const local_time& now, const survey_record* last, reporter* r) {
    if (replace_open(c.page_path, &out) != 0) {
        r->fatal("OPEN WRITE MODE", c.page_path);
        return false;
    }
    bool usable = store_searchable(c.data_root);
    if (usable) {
        take_survey(c.data_root, &found);
        usable = store_answered(found) || last == nullptr || files_found(last->found) == 0;
    }
    if (!usable) {
        replace_abandon(&out);
        r->fatal("DATA STORE", c.data_root);
        return false;
    }
    if (write_page(out.stream, found, now, c.banner) != 0) {
        replace_abandon(&out);
        r->fatal("WRITE", c.page_path);
        return false;
    }
    return r->commit(c.page_path) == 0;
}

// What every output is written from.
struct report_input {
    reported_survey last;
    run_outcome outcome;
    overview_links links;
};

// The outputs made from the last complete survey, in the order they are
// replaced. The status file and the metrics publish its changes.
struct output {
    const char* config::*path;
    int (*write)(std::FILE*, const report_input&);
    bool publishes;
};
constexpr output outputs[] = {
    {&config::overview_path,
     [](std::FILE* f, const report_input& in) { return write_overview(f, in.last, in.outcome, in.links); }, false},
    {&config::status_path, [](std::FILE* f, const report_input& in) { return write_status(f, in.last, in.outcome); },
     true},
    {&config::metrics_path,
     [](std::FILE* f, const report_input& in) { return write_metrics(f, in.last, in.outcome); }, true},
};

}  // namespace

int run(const config& c, std::FILE* report) {
    reporter r(report);
    if (!switch_account(c.run_as)) {
        r.fatal("ACCOUNT", c.run_as);
        return 255;
    }
    timespec started{}, wall{};
    clock_gettime(CLOCK_MONOTONIC, &started);
    clock_gettime(CLOCK_REALTIME, &wall);
    timestamp now{};
    local_time_at(wall.tv_sec, &now.local, &now.utc_offset);

    // One run at a time: two would each take the other's state for the
    // survey before, and publish each other's changes half. The lock is
    // kept beside the state (the page when no state is kept), whose folder
    // is made first where it is missing. A run never goes on unlocked.
    const bool have_state = c.state_path[0] != '\0';
    const char* locked = have_state ? c.state_path : c.page_path;
    char folder[PATH_MAX];
    folder_of(locked, folder);
    if (have_state) make_folder(folder);
    const int lock = lock_runs(locked, c.lock_wait_seconds);
    if (lock < 0) {
        r.fatal("LOCK", folder);
        // Seen at once, not hours later as a stale run: the lock's own
        // metrics, beside what the run holding the lock writes.
        if (c.lock_metrics_path[0] != '\0') {
            reporter quiet(nullptr);
            (void)quiet.replace(c.lock_metrics_path, [](std::FILE* f) { return write_lock_metrics(f, true); });
        }
        return 255;
    }
    if (c.lock_metrics_path[0] != '\0')
        (void)r.replace(c.lock_metrics_path, [](std::FILE* f) { return write_lock_metrics(f, false); });

    // A state that cannot be read or trusted is no state: a first run. It
    // is read where it is written, through the links a replacement follows.
    char state_file[PATH_MAX] = "";
    if (have_state && !follow_links(c.state_path, state_file)) state_file[0] = '\0';
    const bool have_earlier = state_file[0] != '\0' && read_state(state_file, c.data_root, &earlier);
    // The last complete survey: this run's once the page and the state
    // have it, else the one before, if any.
    const survey_record* last = have_earlier ? &earlier : nullptr;
    bool page_written = survey_and_page(c, now.local, last, &r);
    if (page_written) {
        compare_surveys(last, found, now, &latest);
        const int kept =
            have_state ? r.replace(c.state_path, [&c](std::FILE* f) { return write_state(f, latest, c.data_root); })
                       : 0;
        // A state in place but not synced is what the next run reads.
        if (kept == 0 || kept == commit_unsynced) last = &latest;
    }
    if (last != nullptr) summarise(last->found, &sum);

    report_input in{{last, last != nullptr ? &sum : nullptr}, {}, {c.page_name, c.status_name}};
    in.links.page = page_written || access(c.page_path, F_OK) == 0 ? c.page_name : nullptr;
    bool published = true;
    for (const output& o : outputs) {
        const char* path = c.*o.path;
        if (path[0] == '\0') continue;
        timespec t{};
        clock_gettime(CLOCK_MONOTONIC, &t);
        in.outcome = run_outcome{now, seconds(wall), seconds(t) - seconds(started), !r.failed(), r.message()};
        const int status = r.replace(path, [&](std::FILE* f) { return o.write(f, in); });
        published = published && (status == 0 || !o.publishes);
    }
    // The state on disk is the last complete survey's: its changes have
    // now been reported. Should this fail, the next run reports them again.
    if (have_state && published && last != nullptr && !last->published && state_file[0] != '\0')
        mark_published(state_file, last->taken);
    close(lock);
    if (r.failed()) return 255;
    std::fprintf(report, "http://%s/%s\n", c.web_host, c.page_name);
    // The address is the run's only report: a caller must not take a lost
    // one for success.
    return std::fflush(report) == 0 && std::ferror(report) == 0 ? 0 : 255;
}

}  // namespace korvane
