// What one run finds in the store: every day of the mission's window with
// the status of each product's file and that file's status-change time.
// Taken once, before any output is written, so that every output tells
// the same story.
#ifndef AVAILABILITY_SURVEY_H
#define AVAILABILITY_SURVEY_H

#include "probe.h"

namespace korvane {

struct survey_day {
    int year, month, day;
    file_status status[product_count];  // in column order
    int ctime[product_count];           // probe_time of each: 0 when missing or unreadable
};

struct survey {
    int days;  // window_days once the survey is complete
    survey_day day[window_days];
};

// take_survey: probes the store under root (ending in '/') for every day
// of the window and every product, in the page's order.
void take_survey(const char* root, survey* out);

// files_found: how many files the survey found, all products together.
[[nodiscard]] int files_found(const survey& s);

// store_answered: whether the store showed anything of the window: a file
// found, or a folder that would not be searched. An empty mount point
// (the store's disk not mounted on it) shows nothing.
[[nodiscard]] bool store_answered(const survey& s);

}  // namespace korvane

#endif
