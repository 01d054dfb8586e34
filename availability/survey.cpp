#include "survey.h"

namespace korvane {

void take_survey(const char* root, survey* out) {
    out->days = 0;
    temps::date d = window_first_day;
    for (int i = 0; i < window_days; ++i, d = temps::next_day(d)) {
        survey_day& today = out->day[i];
        today.year = d.year;
        today.month = d.month;
        today.day = d.day;
        for (int p = 0; p < product_count; ++p) {
            const probe_result r = probe_file(root, products[p], d.year, d.month, d.day);
            today.status[p] = r.status;
            today.ctime[p] = probe_time(r);
        }
        out->days = i + 1;
    }
}

int files_found(const survey& s) {
    int n = 0;
    for (int i = 0; i < s.days; ++i)
        for (const file_status st : s.day[i].status) n += present(st) ? 1 : 0;
    return n;
}

bool store_answered(const survey& s) {
    for (int i = 0; i < s.days; ++i)
        for (const file_status st : s.day[i].status)
            if (st != file_status::missing) return true;
    return false;
}

}  // namespace korvane
