// The overview's news: how the last run went, and what changed
// between the last two complete surveys, per kind of change and product.
#include "outputs.h"
#include "overview_parts.h"

namespace korvane {
namespace {

constexpr int runs_listed = 50;  // per change and product; then a count of the days left

void put_day(std::FILE* f, const survey_day& d) {
    std::fprintf(f, "<time>%04d-%02d-%02d</time>", d.year, d.month, d.day);
}

// The days of the product whose file had the change c, consecutive days
// merged into one run ("<first> to <last> (N days)"): the survey's days
// follow each other.
void write_kind(std::FILE* f, const survey_record& r, change c, int total) {
    static const char* const titles[] = {"", "Vanished", "Appeared", "Changed", "Unreadable"};
    static_assert(sizeof titles / sizeof titles[0] == change_kinds + 1);
    std::fprintf(f, "<h3 class=\"%s\">%s: %d file%s</h3>\n<ul>\n", change_name(c),
                 titles[static_cast<int>(c)], total, total == 1 ? "" : "s");
    for (int p = 0; p < product_count; ++p) {
        const int n = change_count(r, p, c);
        if (n == 0) continue;
        std::fprintf(f, "<li>%s (%d): ", products[p].heading, n);
        int runs = 0, listed_days = 0;
        for (int i = 0; i < r.found.days && runs < runs_listed; ++i) {
            if (r.mark[i][p] != c) continue;
            int last = i;
            while (last + 1 < r.found.days && r.mark[last + 1][p] == c) ++last;
            if (runs++ > 0) std::fputs(", ", f);
            put_day(f, r.found.day[i]);
            if (last > i) {
                std::fputs(" to ", f);
                put_day(f, r.found.day[last]);
                std::fprintf(f, " (%d days)", last - i + 1);
            }
            listed_days += last - i + 1;
            i = last;
        }
        if (n > listed_days) std::fprintf(f, " and %d more day%s", n - listed_days, n - listed_days == 1 ? "" : "s");
        std::fputs("</li>\n", f);
    }
    std::fputs("</ul>\n", f);
}

void put_when(std::FILE* f, const timestamp& t) {
    char text[readable_text_size];
    format_readable(t, text);
    std::fprintf(f, "<time>%s</time>", text);
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

void write_run_line(std::FILE* f, const run_outcome& run, bool has_survey) {
    if (run.success) {
        std::fputs("<p class=\"succeeded\">The last run, ", f);
        put_when(f, run.time);
        std::fputs(", succeeded.</p>\n", f);
        return;
    }
    std::fputs("<p class=\"failed\" role=\"alert\"><strong>The run of ", f);
    put_when(f, run.time);
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
    put_when(f, r.since);
    std::fputs("</h2>\n", f);
    int any = 0;
    for (const change c : reported_changes) {
        int total = 0;
        for (int p = 0; p < product_count; ++p) total += change_count(r, p, c);
        if (total > 0) write_kind(f, r, c, total);
        any += total;
    }
    if (any == 0) std::fputs("<p>No file vanished, appeared, changed or turned unreadable.</p>\n", f);
}

}  // namespace korvane
