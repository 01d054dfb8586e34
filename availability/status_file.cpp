#include <cstdlib>

#include "outputs.h"

namespace korvane {
namespace {

const char* status_name(file_status st) {
    return st == file_status::primary ? "primary" : st == file_status::fallback ? "fallback" : "missing";
}

}  // namespace

int write_status(std::FILE* f, const survey& s, const summary& sum, const local_time& now,
                 long utc_offset) {
    const long off = std::labs(utc_offset) / 60;
    std::fprintf(f, "{\"generated\": \"%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld\",\n", now.year,
                 now.month, now.day, now.hour, now.minute, now.second, utc_offset < 0 ? '-' : '+',
                 off / 60, off % 60);
    std::fprintf(f, " \"window\": {\"first\": \"%s\", \"last\": \"%s\"},\n \"products\": [", window_first_text,
                 window_last_text);
    for (int p = 0; p < product_count; ++p)
        std::fprintf(f, "%s\"%s\"", p == 0 ? "" : ", ", products[p].heading);
    std::fputs("],\n \"days\": [\n", f);
    for (int i = 0; i < s.days; ++i) {
        const survey_day& d = s.day[i];
        std::fprintf(f, "  {\"date\": \"%04d-%02d-%02d\", \"status\": [", d.year, d.month, d.day);
        for (int p = 0; p < product_count; ++p)
            std::fprintf(f, "%s\"%s\"", p == 0 ? "" : ", ", status_name(d.status[p]));
        std::fputs(i + 1 < s.days ? "]},\n" : "]}\n", f);
    }
    std::fputs(" ],\n \"totals\": {", f);
    for (int p = 0; p < product_count; ++p) {
        const status_counts& t = sum.totals[p];
        std::fprintf(f, "%s\n  \"%s\": {\"primary\": %d, \"fallback\": %d, \"missing\": %d}",
                     p == 0 ? "" : ",", products[p].heading, t.primary, t.fallback, t.missing);
    }
    std::fputs("}}\n", f);
    return std::ferror(f) != 0 ? -1 : 0;
}

}  // namespace korvane
