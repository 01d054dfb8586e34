// The availability page: a banner with the time of the run, then one table
// row per day of the mission's window and one green or red cell per product.
#ifndef AVAILABILITY_PAGE_H
#define AVAILABILITY_PAGE_H

#include <cstdio>
#include <ctime>

#include "survey.h"

namespace korvane {

// The page stream that table_debut and write_page write to.
extern std::FILE* fd;

// A broken-down local time, as shown in the banner.
struct local_time {
    int year, month, day, hour, minute, second;
};

// Who made the page: fixed texts of the banner.
struct banner_identity {
    const char* program_path;  // where the program is installed
    const char* account;       // the account it runs under
    const char* machine;       // the machine it runs on
};

// local_time_at: t broken down in the process's local time zone, and that
// zone's offset from UTC in seconds. Every field 0 when it cannot be.
void local_time_at(std::time_t t, local_time* out, long* utc_offset);

// get_tu: the current local date and time. When the clock cannot be read
// or broken down, every field is 0 (the banner then shows 00/00/0000).
void get_tu(int* year, int* month, int* day, int* hour, int* minute, int* second);

// table_debut: writes a month's heading block to fd: an empty separator
// row, then the row of column headings.
void table_debut();

// write_page: writes the whole page of the survey s to fd: the banner,
// then a month's heading block before each month's first day and a row per
// day. Returns 0, or -1 as soon as a write to fd has failed (the stream's
// error flag is set).
int write_page(const survey& s, const local_time& now, const banner_identity& who);

}  // namespace korvane

#endif
