// Summaries of a survey for people and machines: totals per product, a
// month by product grid, and the gaps (runs of missing days).
#ifndef AVAILABILITY_SUMMARY_H
#define AVAILABILITY_SUMMARY_H

#include "survey.h"

namespace korvane {

struct status_counts {
    int primary, fallback, missing, unreadable;
};

struct month_cell {
    int year, month;
    int days;  // days of the month inside the window
    status_counts product[product_count];
};

struct summary {
    status_counts totals[product_count];
    int months;
    month_cell month[window_months];
};

// summarise: the totals and the month grid of the days recorded in s.
void summarise(const survey& s, summary* out);

// A run of consecutive days without a file (missing or unreadable) of one
// product: indices into the
// survey's days, which follow each other across month and year ends.
struct gap {
    int first;
    int length;
};

// gap_runs: the gaps of one product, longest first (of equal length, the
// earlier first). Writes at most capacity of them; returns how many there
// are in all.
int gap_runs(const survey& s, int product, gap* out, int capacity);

}  // namespace korvane

#endif
