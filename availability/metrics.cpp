#include "outputs.h"

namespace korvane {

int write_metrics(std::FILE* f, const run_report& run) {
    if (run.sum != nullptr) {
        std::fputs("# HELP korvane_l2_files Days of the availability window whose L2 file of the product "
                   "was found under its first name (primary), only under its fallback name, or not at all.\n"
                   "# TYPE korvane_l2_files gauge\n",
                   f);
        for (int p = 0; p < product_count; ++p) {
            const status_counts& t = run.sum->totals[p];
            const struct {
                const char* name;
                int n;
            } rows[] = {{"primary", t.primary}, {"fallback", t.fallback}, {"missing", t.missing}};
            for (const auto& r : rows)
                std::fprintf(f, "korvane_l2_files{product=\"%s\",status=\"%s\"} %d\n", products[p].heading,
                             r.name, r.n);
        }
        std::fprintf(f,
                     "# HELP korvane_l2_window_dates Days in the availability window, %s to %s.\n"
                     "# TYPE korvane_l2_window_dates gauge\nkorvane_l2_window_dates %d\n",
                     window_first_text, window_last_text, window_days);
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
                 run.timestamp, run.duration, run.success ? 1 : 0);
    return std::ferror(f) != 0 ? -1 : 0;
}

}  // namespace korvane
