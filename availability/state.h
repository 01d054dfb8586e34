// The state file: the last complete survey, kept between runs so that the
// next run can say what changed and a failed run can still report it.
//
// A text file, one line per day of the window, ended by a checksum line:
//
//   korvane-watch survey state 1
//   window 2004-07-05 2011-03-14 VAK TOQ ZELK HUV PEX WYT
//   taken 2026-12-09T06:00:02+01:00
//   since 2026-12-09T05:00:01+01:00          ("since -": nothing to compare)
//   20040705 p1733712345 f1733712345c - -v p1733712345a -
//   ...
//   end 9f2c4d1e0b7a3c55
//
// A cell is '-' (missing), or 'p' (first name) or 'f' (fallback name)
// followed by the status-change time cut to 32 bits (0: unreadable); then
// 'v', 'a' or 'c' when the file vanished, appeared or changed since the
// survey before. The last line is the FNV-1a 64 hash of every byte before
// it.
#ifndef AVAILABILITY_STATE_H
#define AVAILABILITY_STATE_H

#include <cstdio>

#include "record.h"

namespace korvane {

// write_state: writes r to f. Returns 0, or -1 once a write has failed.
[[nodiscard]] int write_state(std::FILE* f, const survey_record& r);

// read_state: reads the state file at path into *out. False when there is
// no usable state: the file is missing, unreadable, not a regular file,
// truncated, of another version or window, or damaged anywhere (then *out
// holds nothing to trust).
[[nodiscard]] bool read_state(const char* path, survey_record* out);

}  // namespace korvane

#endif
