#include "summary.h"

#include <algorithm>

namespace korvane {
namespace {

void count(status_counts* c, file_status st) {
    if (st == file_status::primary) ++c->primary;
    else if (st == file_status::fallback) ++c->fallback;
    else if (st == file_status::unreadable) ++c->unreadable;
    else ++c->missing;
}

}  // namespace

void summarise(const survey& s, summary* out) {
    *out = summary{};
    for (int i = 0; i < s.days; ++i) {
        const survey_day& d = s.day[i];
        month_cell* m = out->months > 0 ? &out->month[out->months - 1] : nullptr;
        if (m == nullptr || m->year != d.year || m->month != d.month) {
            if (out->months == window_months) break;
            m = &out->month[out->months++];
            m->year = d.year;
            m->month = d.month;
        }
        ++m->days;
        for (int p = 0; p < product_count; ++p) {
            count(&m->product[p], d.status[p]);
            count(&out->totals[p], d.status[p]);
        }
    }
}

int gap_runs(const survey& s, int product, gap* out, int capacity) {
    int n = 0;
    for (int i = 0; i < s.days;) {
        if (present(s.day[i].status[product])) {
            ++i;
            continue;
        }
        const int first = i;
        while (i < s.days && !present(s.day[i].status[product])) ++i;
        // Keep the longest: once full, a new run replaces the shortest kept.
        const gap g{first, i - first};
        if (n < capacity) {
            out[n] = g;
        } else if (capacity > 0) {
            gap* shortest = std::min_element(out, out + capacity, [](const gap& a, const gap& b) {
                return a.length < b.length || (a.length == b.length && a.first > b.first);
            });
            if (g.length > shortest->length) *shortest = g;
        }
        ++n;
    }
    std::sort(out, out + std::min(n, capacity), [](const gap& a, const gap& b) {
        return a.length > b.length || (a.length == b.length && a.first < b.first);
    });
    return n;
}

}  // namespace korvane
