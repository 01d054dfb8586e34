#include "outputs.h"

namespace korvane {
namespace {

void write_files(std::FILE* f, const summary& sum) {
    std::fputs("# HELP korvane_l2_files Days of the availability window whose L2 file of the product "
               "was found under its first name (primary), only under its fallback name, not at all (missing), "
               "or could not be looked for (unreadable: its folder could not be searched), in the last complete "
               "survey.\n"
               "# TYPE korvane_l2_files gauge\n",
               f);
    for (int p = 0; p < product_count; ++p) {
        const status_counts& t = sum.totals[p];
        const struct {
            const char* name;
            int n;
        } rows[] = {{"primary", t.primary}, {"fallback", t.fallback}, {"missing", t.missing},
                    {"unreadable", t.unreadable}};
        for (const auto& r : rows)
            std::fprintf(f, "korvane_l2_files{product=\"%s\",status=\"%s\"} %d\n", products[p].heading, r.name, r.n);
    }
    std::fprintf(f,
                 "# HELP korvane_l2_window_dates Days in the availability window, %s to %s.\n"
                 "# TYPE korvane_l2_window_dates gauge\nkorvane_l2_window_dates %d\n",
                 window_first_text, window_last_text, window_days);
}

void write_changes(std::FILE* f, const survey_record& r) {
    std::fputs("# HELP korvane_l2_changes Days whose L2 file of the product vanished, appeared, changed "
               "(other name or status-change time) or turned unreadable since the survey whose changes were "
               "last reported.\n"
               "# TYPE korvane_l2_changes gauge\n",
               f);
    for (int p = 0; p < product_count; ++p)
        for (const change c : reported_changes)
            std::fprintf(f, "korvane_l2_changes{product=\"%s\",change=\"%s\"} %d\n", products[p].heading,
                         change_name(c), change_count(r, p, c));
}

}  // namespace

int write_metrics(std::FILE* f, const reported_survey& last, const run_outcome& run) {
    if (last.record != nullptr) {
        write_files(f, *last.sum);
        write_changes(f, *last.record);
    }
    std::fprintf(f,
                 "# HELP korvane_l2_last_run_timestamp_seconds Start of the last run of check_korvane_web.\n"
                 "# TYPE korvane_l2_last_run_timestamp_seconds gauge\n"
                 "korvane_l2_last_run_timestamp_seconds %.3f\n"
                 "# HELP korvane_l2_run_duration_seconds Duration of the last run of check_korvane_web.\n"
                 "# TYPE korvane_l2_run_duration_seconds gauge\n"
                 "korvane_l2_run_duration_seconds %.6f\n"
                 "# HELP korvane_l2_last_run_success 1 when the last run replaced every output, else 0.\n"
                 "# TYPE korvane_l2_last_run_success gauge\n"
                 "korvane_l2_last_run_success %d\n",
                 run.unix_time, run.duration, run.success ? 1 : 0);
    return std::ferror(f) != 0 ? -1 : 0;
}

int write_lock_metrics(std::FILE* f, bool locked_out) {
    std::fprintf(f,
                 "# HELP korvane_l2_run_locked_out Whether the last run of check_korvane_web was kept out by its "
                 "run lock (1: another process held it past the wait, or it could not be taken; the run surveyed "
                 "nothing) or took it (0).\n"
                 "# TYPE korvane_l2_run_locked_out gauge\n"
                 "korvane_l2_run_locked_out %d\n",
                 locked_out ? 1 : 0);
    return std::ferror(f) != 0 ? -1 : 0;
}

}  // namespace korvane
