// What one run found: every day of the window with the status of each
// product's file, recorded while the page is written, so that every other
// output comes from the same probes.
#ifndef AVAILABILITY_SURVEY_H
#define AVAILABILITY_SURVEY_H

#include "probe.h"

namespace korvane {

struct survey_day {
    int year, month, day;
    file_status status[product_count];  // in column order
};

struct survey {
    int days;  // filled so far; window_days once the page is complete
    survey_day day[window_days];
};

}  // namespace korvane

#endif
