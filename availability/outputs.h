// The machine-readable outputs of a run and its overview page, made from
// the survey recorded while the page was written. Each writes to a stream
// and returns 0, or -1 once a write to it has failed.
#ifndef AVAILABILITY_OUTPUTS_H
#define AVAILABILITY_OUTPUTS_H

#include <cstdio>

#include "page.h"
#include "summary.h"

namespace korvane {

// write_status: the status file, JSON in UTF-8: the run's local time with
// its UTC offset, the window, the products, every day's statuses (one day
// a line) and the totals.
int write_status(std::FILE* f, const survey& s, const summary& sum, const local_time& now,
                 long utc_offset);

// What the metrics file reports of a run.
struct run_report {
    double timestamp;     // start of the run, seconds since 1970 UTC
    double duration;      // seconds
    bool success;         // every output replaced
    const summary* sum;   // null when the survey did not complete
};

// write_metrics: a Prometheus textfile-collector file: HELP and TYPE for
// every metric, no timestamps, base units.
int write_metrics(std::FILE* f, const run_report& run);

// Where the overview's links lead: names beside it in the same folder.
struct overview_links {
    const char* page;    // the full daily table
    const char* status;  // the status file, or "" when there is none
};

// write_overview: the overview page, HTML5 without script or external
// resource: totals per product, a month by product grid coloured by
// completeness, and the gaps of each product, longest first.
int write_overview(std::FILE* f, const survey& s, const summary& sum, const local_time& now,
                   const overview_links& links);

}  // namespace korvane

#endif
