#include "record.h"

namespace korvane {
namespace {

change of(const survey_day& then, const survey_day& now, int p) {
    const file_status was = then.status[p], is = now.status[p];
    if (is == file_status::unreadable) return was == file_status::unreadable ? change::none : change::unreadable;
    // What could not be read then is no evidence that a file was there.
    if (was == file_status::unreadable) return present(is) ? change::appeared : change::none;
    if (present(was) != present(is)) return present(was) ? change::vanished : change::appeared;
    if (!present(is)) return change::none;
    // A time that could not be read (0) is no evidence of a change.
    const bool retimed = then.ctime[p] != 0 && now.ctime[p] != 0 && then.ctime[p] != now.ctime[p];
    return was != is || retimed ? change::changed : change::none;
}

// The change since the survey before earlier, where earlier's own change
// pending was not published: pending tells what that survey held (a file
// for vanished and changed, none for appeared), direct is the change
// from earlier to now.
change carried(change pending, change direct, file_status now) {
    if (now == file_status::unreadable) return pending != change::none ? change::unreadable : direct;
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
            const change direct = known ? of(earlier->found.day[i], now.day[i], p) : change::none;
            out->mark[i][p] = known && carry ? carried(earlier->mark[i][p], direct, now.day[i].status[p]) : direct;
        }
}

int change_count(const survey_record& r, int product, change c) {
    int n = 0;
    for (int i = 0; i < r.found.days; ++i) n += r.mark[i][product] == c ? 1 : 0;
    return n;
}

}  // namespace korvane
