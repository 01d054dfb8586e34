// The overview page: what an operator reads at a glance. No script and no
// external resource; readable on a phone (the tables scroll sideways) and
// on paper.
#include "outputs.h"
#include "overview_parts.h"

namespace korvane {
namespace {

constexpr int gaps_listed = 10;  // per product, the longest

constexpr char head[] =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<title>KORVANE L2 availability</title>\n<style>\n"
    "body{font-family:sans-serif;margin:1em;color:#222}\n"
    "h1{font-size:1.4em}h2{font-size:1.15em;margin-top:1.5em}h3{font-size:1em}\n"
    ".wrap{overflow-x:auto}\n"
    "table{border-collapse:collapse}th,td{border:1px solid #999;padding:.2em .45em;text-align:right}\n"
    "th{background:#eee}td.c4{background:#00b000;color:#fff}td.c3{background:#9ad89a}\n"
    "td.c2{background:#f0c040}td.c1{background:#e07030;color:#fff}td.c0{background:#b00000;color:#fff}\n"
    "td.fb{outline:2px dashed #2050c0;outline-offset:-3px}\n"
    ".failed{background:#b00000;color:#fff;padding:.5em}h3.vanished{color:#b00000}\n"
    "time{white-space:nowrap}\n"
    ".legend span{display:inline-block;padding:0 .5em;margin-right:.3em}\n"
    "@media print{a{color:#000}.wrap{overflow:visible}}\n"
    "</style>\n</head>\n<body>\n";

// The colour class of a month cell: the share of days with a file.
const char* completeness(int present, int days) {
    if (present == days) return "c4";
    if (present * 10 >= days * 9) return "c3";
    if (present * 2 >= days) return "c2";
    return present > 0 ? "c1" : "c0";
}

void percent(std::FILE* f, int n, int of) {
    std::fprintf(f, "<td>%d (%.1f&nbsp;%%)</td>", n, of > 0 ? 100.0 * n / of : 0.0);
}

void write_totals(std::FILE* f, const summary& sum) {
    std::fputs("<h2>Per product</h2>\n<div class=\"wrap\"><table>\n<tr><th>Product</th><th>Primary</th>"
               "<th>Fallback only</th><th>Missing</th><th>Unreadable</th></tr>\n",
               f);
    for (int p = 0; p < product_count; ++p) {
        const status_counts& t = sum.totals[p];
        const int days = t.primary + t.fallback + t.missing + t.unreadable;
        std::fprintf(f, "<tr><th>%s</th>", products[p].heading);
        percent(f, t.primary, days);
        percent(f, t.fallback, days);
        percent(f, t.missing, days);
        percent(f, t.unreadable, days);
        std::fputs("</tr>\n", f);
    }
    std::fputs("</table></div>\n", f);
}

void write_grid(std::FILE* f, const summary& sum) {
    std::fputs("<h2>By month</h2>\n<p class=\"legend\">Days with a file, of the month's days in the window: "
               "<span class=\"c4\" style=\"background:#00b000;color:#fff\">all</span>"
               "<span style=\"background:#9ad89a\">90&nbsp;% or more</span>"
               "<span style=\"background:#f0c040\">half or more</span>"
               "<span style=\"background:#e07030;color:#fff\">less</span>"
               "<span style=\"background:#b00000;color:#fff\">none</span>"
               "<span style=\"outline:2px dashed #2050c0\">some only under the fallback name</span>"
               " &mdash; a cell reads primary+fallback/days.</p>\n"
               "<div class=\"wrap\"><table class=\"grid\">\n<tr><th>Month</th>",
               f);
    for (const product& p : products) std::fprintf(f, "<th>%s</th>", p.heading);
    std::fputs("</tr>\n", f);
    for (int m = 0; m < sum.months; ++m) {
        const month_cell& c = sum.month[m];
        std::fprintf(f, "<tr><th>%04d-%02d</th>", c.year, c.month);
        for (int p = 0; p < product_count; ++p) {
            const status_counts& n = c.product[p];
            std::fprintf(f, "<td class=\"%s%s\" title=\"%s %04d-%02d: %d primary, %d fallback, %d missing",
                         completeness(n.primary + n.fallback, c.days), n.fallback > 0 ? " fb" : "",
                         products[p].heading, c.year, c.month, n.primary, n.fallback, n.missing);
            if (n.unreadable > 0) std::fprintf(f, ", %d unreadable", n.unreadable);
            std::fputs("\">", f);
            if (n.fallback > 0) std::fprintf(f, "%d+%d/%d</td>", n.primary, n.fallback, c.days);
            else std::fprintf(f, "%d/%d</td>", n.primary, c.days);
        }
        std::fputs("</tr>\n", f);
    }
    std::fputs("</table></div>\n", f);
}

void write_gaps(std::FILE* f, const survey& s) {
    std::fputs("<h2>Gaps</h2>\n<p>Runs of consecutive days without a file, longest first.</p>\n", f);
    for (int p = 0; p < product_count; ++p) {
        gap longest[gaps_listed];
        const int n = gap_runs(s, p, longest, gaps_listed);
        int missing = 0;
        for (int i = 0; i < s.days; ++i) missing += present(s.day[i].status[p]) ? 0 : 1;
        std::fprintf(f, "<h3>%s: %d gaps, %d days</h3>\n", products[p].heading, n, missing);
        if (n == 0) continue;
        std::fputs("<div class=\"wrap\"><table>\n<tr><th>First day</th><th>Last day</th><th>Days</th></tr>\n", f);
        for (int i = 0; i < n && i < gaps_listed; ++i) {
            const survey_day& a = s.day[longest[i].first];
            const survey_day& b = s.day[longest[i].first + longest[i].length - 1];
            std::fprintf(f, "<tr><td><time>%04d-%02d-%02d</time></td><td><time>%04d-%02d-%02d</time></td><td>%d</td></tr>\n", a.year,
                         a.month, a.day, b.year, b.month, b.day, longest[i].length);
        }
        std::fputs("</table></div>\n", f);
        if (n > gaps_listed) std::fprintf(f, "<p>and %d shorter gaps.</p>\n", n - gaps_listed);
    }
}

}  // namespace

int write_overview(std::FILE* f, const reported_survey& last, const run_outcome& run, const overview_links& links) {
    std::fputs(head, f);
    std::fputs("<h1>KORVANE L2 data availability</h1>\n", f);
    write_run_line(f, run, last.record != nullptr);
    const survey_record* r = last.record;
    if (r == nullptr) {
        std::fprintf(f, "<p>%s to %s.", window_first_text, window_last_text);
        if (links.page != nullptr) std::fprintf(f, " <a href=\"%s\">Daily table</a>", links.page);
        std::fputs("</p>\n</body>\n</html>\n", f);
        return std::ferror(f) != 0 ? -1 : 0;
    }
    char taken[readable_text_size];
    format_readable(r->taken, taken);
    std::fprintf(f, "<p>Survey of <time>%s</time>, %s to %s (%d days).", taken, window_first_text, window_last_text,
                 r->found.days);
    if (links.page != nullptr) std::fprintf(f, " <a href=\"%s\">Daily table</a>", links.page);
    if (links.status[0] != '\0') std::fprintf(f, " &middot; <a href=\"%s\">status file (JSON)</a>", links.status);
    std::fputs("</p>\n", f);
    write_changes_section(f, *r);
    write_totals(f, *last.sum);
    write_grid(f, *last.sum);
    write_gaps(f, r->found);
    std::fputs("</body>\n</html>\n", f);
    return std::ferror(f) != 0 ? -1 : 0;
}

}  // namespace korvane
