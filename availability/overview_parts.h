// Parts of the overview page written by overview_changes.cpp.
#ifndef AVAILABILITY_OVERVIEW_PARTS_H
#define AVAILABILITY_OVERVIEW_PARTS_H

#include <cstdio>

#include "outputs.h"

namespace korvane {

// write_html_text: s with the characters HTML gives a meaning escaped.
void write_html_text(std::FILE* f, const char* s);

// write_run_line: when the last run succeeded; or a banner with the
// failed run's time and message, and whether a survey follows.
void write_run_line(std::FILE* f, const run_outcome& run, bool has_survey);

// write_changes_section: the changes of r since the survey they count
// from: the first runs of days of each product and kind, then a count.
void write_changes_section(std::FILE* f, const survey_record& r);

}  // namespace korvane

#endif
