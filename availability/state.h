// The state file: the last complete survey, kept between runs so that the
// next run can say what changed and a failed run can still report it.
//
// A text file, one line per day of the window, ended by a checksum line:
//
//   korvane-watch survey state 3
//   window 2004-07-05 2011-03-14 VAK TOQ ZELK HUV PEX WYT
//   store /DATA/KORVANE/DATA/L2/
//   taken 2026-12-09T06:00:02+01:00
//   since 2026-12-09T05:00:01+01:00          ("since -": nothing to compare)
//   20040705 p1733712345 f1733712345c - -v p1733712345a ?p1733712345u
//   ...
//   end 9f2c4d1e0b7a3c55
//   published 2026-12-09T06:00:02+01:00      (once the changes were reported)
//
// A cell is '-' (missing), or 'p' (first name) or 'f' (fallback name)
// followed by the status-change time cut to 32 bits (0: its status could
// not be read), or '?' (unreadable) followed by the cell as the last
// survey that could read it found it (nothing: none could yet); then 'v',
// 'a', 'c' or 'u' when the file vanished, appeared, changed or turned
// unreadable since the survey the changes count from. A state of version
// 2, whose unreadable cells say nothing more, is read too. The end line holds the FNV-1a 64 hash of every byte
// before it. The published line is appended once the status file and the
// metrics hold the changes; anything else after the end line (an append
// cut short) leaves the changes unpublished.
#ifndef AVAILABILITY_STATE_H
#define AVAILABILITY_STATE_H

#include <cstdio>

#include "record.h"

namespace korvane {

// write_state: writes r, a survey of the store under root, to f. Returns
// 0, or -1 once a write has failed.
[[nodiscard]] int write_state(std::FILE* f, const survey_record& r, const char* root);

// read_state: reads the state file at path into *out. False when there is
// no usable state: the file is missing, unreadable, not a regular file (a
// symbolic link is not followed), truncated, of another version, window
// or store, or damaged anywhere (then *out holds nothing to trust).
[[nodiscard]] bool read_state(const char* path, const char* root, survey_record* out);

// mark_published: appends the published line of the record taken at
// taken to the state file at path, and syncs it. False when it could not;
// the changes are then reported again by the next run.
bool mark_published(const char* path, const timestamp& taken);

}  // namespace korvane

#endif
