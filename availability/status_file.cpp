#include "outputs.h"

namespace korvane {
namespace {

const char* status_name(file_status st) {
    switch (st) {
    case file_status::primary: return "primary";
    case file_status::fallback: return "fallback";
    case file_status::unreadable: return "unreadable";
    case file_status::missing: break;
    }
    return "missing";
}

// s as a JSON string, quotes included.
void json_string(std::FILE* f, const char* s) {
    std::fputc('"', f);
    for (; *s != '\0'; ++s) {
        const auto c = static_cast<unsigned char>(*s);
        if (c == '"' || c == '\\') std::fprintf(f, "\\%c", c);
        else if (c < 0x20) std::fprintf(f, "\\u%04x", c);
        else std::fputc(c, f);
    }
    std::fputc('"', f);
}

void json_time(std::FILE* f, const timestamp& t) {
    char text[timestamp_text_size];
    format_timestamp(t, text);
    std::fprintf(f, "\"%s\"", text);
}

void write_days(std::FILE* f, const survey& s) {
    for (int i = 0; i < s.days; ++i) {
        const survey_day& d = s.day[i];
        std::fprintf(f, "  {\"date\": \"%04d-%02d-%02d\", \"status\": [", d.year, d.month, d.day);
        for (int p = 0; p < product_count; ++p)
            std::fprintf(f, "%s\"%s\"", p == 0 ? "" : ", ", status_name(d.status[p]));
        std::fputs(i + 1 < s.days ? "]},\n" : "]}\n", f);
    }
}

void write_changes(std::FILE* f, const survey_record* r) {
    std::fputs(" \"changes\": {\"since\": ", f);
    if (r != nullptr && r->has_since) json_time(f, r->since);
    else std::fputs("null", f);
    for (const change c : reported_changes) {
        std::fprintf(f, ",\n  \"%s\": [", change_name(c));
        const char* sep = "";
        for (int i = 0; r != nullptr && i < r->found.days; ++i)
            for (int p = 0; p < product_count; ++p) {
                if (r->mark[i][p] != c) continue;
                const survey_day& d = r->found.day[i];
                std::fprintf(f, "%s\n   {\"date\": \"%04d-%02d-%02d\", \"product\": \"%s\"}", sep, d.year, d.month,
                             d.day, products[p].heading);
                sep = ",";
            }
        std::fputs(*sep != '\0' ? "\n  ]" : "]", f);
    }
    std::fputs("},\n", f);
}

}  // namespace

int write_status(std::FILE* f, const reported_survey& last, const run_outcome& run) {
    const survey_record* r = last.record;
    std::fputs("{\"generated\": ", f);
    if (r != nullptr) json_time(f, r->taken);
    else std::fputs("null", f);
    std::fprintf(f, ",\n \"window\": {\"first\": \"%s\", \"last\": \"%s\"},\n \"products\": [", window_first_text,
                 window_last_text);
    for (int p = 0; p < product_count; ++p)
        std::fprintf(f, "%s\"%s\"", p == 0 ? "" : ", ", products[p].heading);
    std::fputs("],\n \"days\": [\n", f);
    if (r != nullptr) write_days(f, r->found);
    std::fputs(" ],\n \"totals\": {", f);
    for (int p = 0; r != nullptr && p < product_count; ++p) {
        const status_counts& t = last.sum->totals[p];
        std::fprintf(f, "%s\n  \"%s\": {\"primary\": %d, \"fallback\": %d, \"missing\": %d, \"unreadable\": %d}",
                     p == 0 ? "" : ",", products[p].heading, t.primary, t.fallback, t.missing, t.unreadable);
    }
    std::fputs("},\n", f);
    write_changes(f, r);
    std::fputs(" \"last_run\": {\"time\": ", f);
    json_time(f, run.time);
    std::fprintf(f, ", \"success\": %s", run.success ? "true" : "false");
    if (!run.success) {
        std::fputs(", \"message\": ", f);
        json_string(f, run.message);
    }
    std::fputs("}}\n", f);
    return std::ferror(f) != 0 ? -1 : 0;
}

}  // namespace korvane
