#include "page.h"

#include <cstring>

namespace korvane {

std::FILE* fd = nullptr;

namespace {

constexpr char row_open[] = "<tr ALIGN=\"CENTER\">";
constexpr char green[] = "<td bgcolor=\"#00b000\"></td>";
constexpr char red[] = "<td bgcolor=\"#b00000\"></td>";

// Appends s to the row being built at *end.
char* append(char* end, const char* s, std::size_t n) {
    std::memcpy(end, s, n);
    return end + n;
}

// One day's row, without a line break: the date, then a cell per product.
void write_row(std::FILE* f, const survey_day& today) {
    char row[512];
    char* end = append(row, row_open, sizeof row_open - 1);
    const int n = std::snprintf(end, 64, "<td>%02d/%02d/%04d</td>", today.day, today.month, today.year);
    end += n > 0 ? n : 0;
    for (const file_status st : today.status)
        end = present(st) ? append(end, green, sizeof green - 1) : append(end, red, sizeof red - 1);
    end = append(end, "</tr>", 5);
    std::fwrite(row, 1, static_cast<std::size_t>(end - row), f);
}

}  // namespace

void write_heading(std::FILE* f) {
    std::fputs(row_open, f);
    std::fputs("</tr>\n", f);
    std::fputs(row_open, f);
    std::fputs("<td>Date</td>", f);
    for (const product& p : products) std::fprintf(f, "<td>%s</td>", p.heading);
    std::fputs("</tr>\n", f);
}

void table_debut() { write_heading(fd); }

int write_page(std::FILE* f, const survey& s, const local_time& now, const banner_identity& who) {
    std::fputs("<html>\n<body>\n", f);
    std::fprintf(f, "%02d/%02d/%04d %02d:%02d:%02d ", now.day, now.month, now.year, now.hour, now.minute,
                 now.second);
    std::fprintf(f, "(%s, utilisateur %s, machine %s)<br><br>\n", who.program_path, who.account, who.machine);
    std::fputs("<br>\n<br>\n<table border=1>\n", f);
    int last_month = -1;
    for (int i = 0; i < s.days; ++i) {
        if (s.day[i].month != last_month) write_heading(f);
        last_month = s.day[i].month;
        write_row(f, s.day[i]);
        if (std::ferror(f) != 0) return -1;
    }
    std::fputs("</table></body></html>", f);
    return std::ferror(f) != 0 ? -1 : 0;
}

}  // namespace korvane
