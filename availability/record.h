// A complete survey as the outputs report it and the state file keeps it:
// the survey, when it was taken, and what changed since the last survey
// whose changes were published.
//
// Changes are reported at least once: a record's changes count as
// published once a run has replaced both the status file and the metrics
// with them. Until then the next record carries them on, so that a run
// killed between the state and those outputs loses no change.
#ifndef AVAILABILITY_RECORD_H
#define AVAILABILITY_RECORD_H

#include "clock.h"
#include "survey.h"

namespace korvane {

// What became of one product's file of one day since the survey before:
// vanished (found then, not now), appeared (not then, found now), changed
// (found both times, but under the other name or with another
// status-change time), unreadable (the store would not say: its folder
// could not be searched or read). A file that turns unreadable is never
// taken for a vanished one. Across an unreadable spell a file is compared
// with the last survey that could read it: one deleted meanwhile has
// vanished, the others have not appeared. A file no survey could read yet
// has, like every file of a first survey, no change.
enum class change : unsigned char { none, vanished, appeared, changed, unreadable };
inline constexpr int change_kinds = 4;
inline constexpr change reported_changes[change_kinds] = {change::vanished, change::appeared, change::changed,
                                                          change::unreadable};
const char* change_name(change c);

struct survey_record {
    timestamp taken;
    bool has_since;   // false: no earlier complete survey to compare with
    timestamp since;  // when the survey the changes are counted from was taken
    bool published;   // the status file and the metrics have reported these changes
    survey found;     // complete: window_days days
    change mark[window_days][product_count];
    // Each file as the last survey that could read it found it: its status
    // and time (found's own where it was read; unreadable where no survey
    // could read it yet).
    file_status read_status[window_days][product_count];
    int read_ctime[window_days][product_count];
};

// compare_surveys: the record of the complete survey now, taken at t,
// against the earlier record (nullptr when there is none). Where the
// earlier record's changes were not published, they are carried on: the
// changes are then counted from the survey the earlier record counted
// from. Not published yet.
void compare_surveys(const survey_record* earlier, const survey& now, const timestamp& t, survey_record* out);

// change_count: the days of the product (a column index) whose file had
// the change c.
[[nodiscard]] int change_count(const survey_record& r, int product, change c);

}  // namespace korvane

#endif
