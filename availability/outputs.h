// The machine-readable outputs of a run and its overview page, made from
// the last complete survey (this run's, or the one before when this run
// failed) and the run's outcome. Each writes to a stream and returns 0, or
// -1 once a write to it has failed.
#ifndef AVAILABILITY_OUTPUTS_H
#define AVAILABILITY_OUTPUTS_H

#include <cstdio>

#include "record.h"
#include "summary.h"

namespace korvane {

// How the run went, as every output reports it.
struct run_outcome {
    timestamp time;       // start of the run, local
    double unix_time;     // the same, seconds since 1970 UTC
    double duration;      // seconds so far
    bool success;         // every output replaced so far
    const char* message;  // the first FATAL line without its line break; "" on success
};

// The last complete survey and its summary; survey null when there has
// been none (a failed first run, or a lost state).
struct reported_survey {
    const survey_record* record;
    const summary* sum;
};

// write_status: the status file, JSON in UTF-8: when the survey was taken,
// the window, the products, every day's statuses (one day a line), the
// totals, the changes since the survey before and the last run's outcome.
int write_status(std::FILE* f, const reported_survey& last, const run_outcome& run);

// write_metrics: a Prometheus textfile-collector file: HELP and TYPE for
// every metric, no timestamps, base units. The survey's series stay after
// a failed run, so that dashboards show the last known state.
int write_metrics(std::FILE* f, const reported_survey& last, const run_outcome& run);

// write_lock_metrics: the run lock's own textfile-collector file: whether
// the last run that wanted to survey was kept out by the lock (another
// process held it past the wait, or it could not be taken). Written by
// runs that hold no lock too, so it never touches what the lock guards.
int write_lock_metrics(std::FILE* f, bool locked_out);

// Where the overview's links lead: names beside it in the same folder.
struct overview_links {
    const char* page;    // the full daily table, or nullptr while there is none
    const char* status;  // the status file, or "" when there is none
};

// write_overview: the overview page, HTML5 without script or external
// resource: a banner when the run failed (else a line that says when the
// run succeeded), the changes since the survey before (consecutive days
// merged), totals per product, a month by product grid coloured by
// completeness, and the gaps of each product, longest first.
int write_overview(std::FILE* f, const reported_survey& last, const run_outcome& run, const overview_links& links);

}  // namespace korvane

#endif
