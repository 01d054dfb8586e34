#include "record.h"

namespace korvane {
namespace {

// The change of day i's file of product p from the earlier record to now.
change of(const survey_record& then, int i, const survey_day& now, int p) {
    const file_status is = now.status[p];
    // Turning unreadable is news once, not at every run it stays so.
    if (is == file_status::unreadable)
        return then.found.day[i].status[p] == file_status::unreadable ? change::none : change::unreadable;
    // Readable: against the last survey that read it, across any spell in
    // which it could not be read.
    const file_status was = then.read_status[i][p];
    if (was == file_status::unreadable) return change::none;
    if (present(was) != present(is)) return present(was) ? change::vanished : change::appeared;
    if (!present(is)) return change::none;
    // A time that could not be read (0) is no evidence of a change.
    const int then_ctime = then.read_ctime[i][p];
    const bool retimed = then_ctime != 0 && now.ctime[p] != 0 && then_ctime != now.ctime[p];
    return was != is || retimed ? change::changed : change::none;
}

// The change since the survey before earlier, where earlier's own change
// pending was not published: pending tells what that survey held (a file
// for vanished and changed, none for appeared), direct is the change
// from earlier to now.
// A change seen while the file could be read is not lost when it turns
// unreadable before the change was reported.
change carried(change pending, change direct, file_status now) {
    if (now == file_status::unreadable) return pending != change::none ? pending : direct;
    switch (pending) {
    case change::vanished:
    case change::changed: return present(now) ? change::changed : change::vanished;
    case change::appeared: return present(now) ? change::appeared : change::none;
    case change::unreadable:
    case change::none: break;
    }
    return direct;
}

}  // namespace

const char* change_name(change c) {
    switch (c) {
    case change::vanished: return "vanished";
    case change::appeared: return "appeared";
    case change::changed: return "changed";
    case change::unreadable: return "unreadable";
    case change::none: break;
    }
    return "none";
}

void compare_surveys(const survey_record* earlier, const survey& now, const timestamp& t, survey_record* out) {
    // A first survey has nothing pending: its changes are counted from it.
    const bool carry = earlier != nullptr && !earlier->published && earlier->has_since;
    out->taken = t;
    out->has_since = carry ? earlier->has_since : earlier != nullptr;
    out->since = carry ? earlier->since : earlier != nullptr ? earlier->taken : timestamp{};
    out->published = false;
    out->found = now;
    for (int i = 0; i < now.days; ++i)
        for (int p = 0; p < product_count; ++p) {
            const bool known = earlier != nullptr && i < earlier->found.days;
            const survey_day& d = now.day[i];
            const change direct = known ? of(*earlier, i, d, p) : change::none;
            out->mark[i][p] = known && carry ? carried(earlier->mark[i][p], direct, d.status[p]) : direct;
            const bool read = d.status[p] != file_status::unreadable;
            out->read_status[i][p] = read ? d.status[p] : known ? earlier->read_status[i][p] : file_status::unreadable;
            out->read_ctime[i][p] = read ? d.ctime[p] : known ? earlier->read_ctime[i][p] : 0;
        }
}

int change_count(const survey_record& r, int product, change c) {
    int n = 0;
    for (int i = 0; i < r.found.days; ++i) n += r.mark[i][product] == c ? 1 : 0;
    return n;
}

}  // namespace korvane
