// The overview's news: a banner when the last run failed, and what changed
// between the last two complete surveys, per kind of change and product.
#include "outputs.h"
#include "overview_parts.h"

namespace korvane {
namespace {

constexpr int days_listed = 50;  // per change and product; then a count

void put_when(std::FILE* f, const local_time& t) {
    std::fprintf(f, "%02d/%02d/%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour, t.minute, t.second);
}

void write_kind(std::FILE* f, const survey_record& r, change c, int total) {
    static const char* const titles[] = {"", "Vanished", "Appeared", "Changed"};
    std::fprintf(f, "<h3 class=\"%s\">%s: %d file%s</h3>\n<ul>\n", change_name(c),
                 titles[static_cast<int>(c)], total, total == 1 ? "" : "s");
    for (int p = 0; p < product_count; ++p) {
        const int n = change_count(r, p, c);
        if (n == 0) continue;
        std::fprintf(f, "<li>%s (%d): ", products[p].heading, n);
        int listed = 0;
        for (int i = 0; i < r.found.days && listed < days_listed; ++i) {
            if (r.mark[i][p] != c) continue;
            const survey_day& d = r.found.day[i];
            std::fprintf(f, "%s%04d-%02d-%02d", listed == 0 ? "" : ", ", d.year, d.month, d.day);
            ++listed;
        }
        if (n > listed) std::fprintf(f, " and %d more", n - listed);
        std::fputs("</li>\n", f);
    }
    std::fputs("</ul>\n", f);
}

}  // namespace

void write_html_text(std::FILE* f, const char* s) {
    for (; *s != '\0'; ++s) {
        switch (*s) {
        case '<': std::fputs("&lt;", f); break;
        case '>': std::fputs("&gt;", f); break;
        case '&': std::fputs("&amp;", f); break;
        case '"': std::fputs("&quot;", f); break;
        default: std::fputc(*s, f);
        }
    }
}

void write_failure_banner(std::FILE* f, const run_outcome& run, bool has_survey) {
    if (run.success) return;
    std::fputs("<p class=\"failed\" role=\"alert\"><strong>The run of ", f);
    put_when(f, run.time.local);
    std::fputs(" failed:</strong> ", f);
    write_html_text(f, run.message);
    std::fputs(has_survey ? "<br>What follows is the last complete survey.</p>\n"
                          : "<br>No complete survey has been kept yet.</p>\n",
               f);
}

void write_changes_section(std::FILE* f, const survey_record& r) {
    if (!r.has_since) {
        std::fputs("<h2>Changes</h2>\n<p>No earlier complete survey to compare with.</p>\n", f);
        return;
    }
    std::fputs("<h2>Changes since the survey of ", f);
    put_when(f, r.since.local);
    std::fputs("</h2>\n", f);
    int any = 0;
    for (const change c : reported_changes) {
        int total = 0;
        for (int p = 0; p < product_count; ++p) total += change_count(r, p, c);
        if (total > 0) write_kind(f, r, c, total);
        any += total;
    }
    if (any == 0) std::fputs("<p>No file vanished, appeared or changed.</p>\n", f);
}

}  // namespace korvane
