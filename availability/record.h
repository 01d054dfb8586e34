// A complete survey as the outputs report it and the state file keeps it:
// the survey, when it was taken, and what changed since the complete
// survey before it.
#ifndef AVAILABILITY_RECORD_H
#define AVAILABILITY_RECORD_H

#include "page.h"
#include "survey.h"

namespace korvane {

// A run's local time and that zone's offset from UTC in seconds.
struct timestamp {
    local_time local;
    long utc_offset;
};

// The RFC 3339 text of t, "YYYY-MM-DDTHH:MM:SS+HH:MM" (25 bytes and a NUL).
inline constexpr int timestamp_text_size = 26;
void format_timestamp(const timestamp& t, char (&out)[timestamp_text_size]);

// parse_timestamp: reads the 25 bytes at s that format_timestamp writes; false
// when they are not such a text of a real local time.
[[nodiscard]] bool parse_timestamp(const char* s, timestamp* out);

// What became of one product's file of one day since the survey before:
// vanished (found then, not now), appeared (not then, found now), changed
// (found both times, but under the other name or with another
// status-change time).
enum class change : unsigned char { none, vanished, appeared, changed };
inline constexpr int change_kinds = 3;  // vanished, appeared, changed
inline constexpr change reported_changes[change_kinds] = {change::vanished, change::appeared, change::changed};
const char* change_name(change c);

struct survey_record {
    timestamp taken;
    bool has_since;   // false: no earlier complete survey to compare with
    timestamp since;  // when that earlier survey was taken
    survey found;     // complete: window_days days
    change mark[window_days][product_count];
};

// compare_surveys: the record of the complete survey now, taken at t,
// against the earlier record (nullptr when there is none).
void compare_surveys(const survey_record* earlier, const survey& now, const timestamp& t, survey_record* out);

// change_count: the days of the product (a column index) whose file had
// the change c.
[[nodiscard]] int change_count(const survey_record& r, int product, change c);

}  // namespace korvane

#endif
