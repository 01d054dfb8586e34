// The period lister: every date from one YYYYMMDD date to another, both
// included, one per line, upward or downward.
#ifndef PERIOD_PERIOD_H
#define PERIOD_PERIOD_H

#include <cstddef>

namespace periode {

// Standard output written in large blocks, every write checked. A write
// that fails marks the output failed; later writes are dropped.
struct output {
    int fd;             // where the blocks go; -1 drops them (a sink)
    std::size_t len;    // bytes waiting in buf
    bool failed;        // a write failed: the listing did not arrive
    char buf[1 << 16];
};

void out_put(output* out, const char* text, std::size_t n);
// Writes what is waiting; false when anything written to out was lost.
bool out_flush(output* out);

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
