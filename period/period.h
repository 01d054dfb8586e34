// The period lister: every date from one YYYYMMDD date to another, both
// included, one per line, upward or downward.
#ifndef PERIOD_PERIOD_H
#define PERIOD_PERIOD_H

#include "text_output.h"

namespace periode {

// Standard output in large blocks, every write checked; a failed write
// marks it failed and later ones are dropped.
using output = temps::detail::block_output;

// read_date: reads text as the scanf pattern "%4d%2d%2d" does and gives its
// Julian day number (out-of-range months and days run on). false when
// fewer than three fields convert, the month or the day has a sign, or the
// year is 0.
bool read_date(const char* text, int* jd);

// list_days: one "%04d%02d%02d" line per day from jd_start to jd_end, both
// included, in the direction from the one to the other.
void list_days(output* out, int jd_start, int jd_end);

// Affiche_periode: reads both dates (the start first: an unreadable start
// is reported before the end is looked at) and lists the period. Returns 0,
// or -1 after "Date incorrecte : <text>" when a date cannot be read.
int Affiche_periode(output* out, const char* debut, const char* fin);

// run: the whole program on its argument vector; returns the exit status
// (0, or 255 after the usage text, an unreadable date, or lost output).
int run(output* out, int argc, const char* const* argv);

}  // namespace periode

#endif
