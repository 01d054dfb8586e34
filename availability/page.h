// The availability page: a banner with the time of the run, then one table
// row per day of the mission's window and one green or red cell per product.
#ifndef AVAILABILITY_PAGE_H
#define AVAILABILITY_PAGE_H

#include <cstdio>

#include "clock.h"
#include "survey.h"

namespace korvane {

// Who made the page: fixed texts of the banner.
struct banner_identity {
    const char* program_path;  // where the program is installed
    const char* account;       // the account it runs under
    const char* machine;       // the machine it runs on
};

// write_heading: writes a month's heading block to f: an empty separator
// row, then the row of column headings.
void write_heading(std::FILE* f);

// write_page: writes the whole page of the survey s to f: the banner,
// then a month's heading block before each month's first day and a row per
// day. Returns 0, or -1 as soon as a write to f has failed (the stream's
// error flag is set).
[[nodiscard]] int write_page(std::FILE* f, const survey& s, const local_time& now, const banner_identity& who);

// The mission's own names for the page's stream and its heading block:
// table_debut writes write_heading's block to fd.
extern std::FILE* fd;
void table_debut();

}  // namespace korvane

#endif
