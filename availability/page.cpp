#include "page.h"

#include <cstring>
#include <ctime>


namespace korvane {

std::FILE* fd = nullptr;

namespace {

constexpr char row_open[] = "<tr ALIGN=\"CENTER\">";
constexpr char green[] = "<td bgcolor=\"#00b000\"></td>";
constexpr char red[] = "<td bgcolor=\"#b00000\"></td>";

void put(const char* s) { std::fputs(s, fd); }

// Appends s to the row being built at *end.
char* append(char* end, const char* s, std::size_t n) {
    std::memcpy(end, s, n);
    return end + n;
}

// One day's row, without a line break: the date, then a cell per product.
void write_row(const survey_day& today) {
    char row[512];
    char* end = append(row, row_open, sizeof row_open - 1);
    const int n = std::snprintf(end, 64, "<td>%02d/%02d/%04d</td>", today.day, today.month, today.year);
    end += n > 0 ? n : 0;
    for (const file_status st : today.status)
        end = st != file_status::missing ? append(end, green, sizeof green - 1) : append(end, red, sizeof red - 1);
    end = append(end, "</tr>", 5);
    std::fwrite(row, 1, static_cast<std::size_t>(end - row), fd);
}

}  // namespace

void local_time_at(std::time_t t, local_time* out, long* utc_offset) {
    std::tm tm{};
    *out = local_time{};
    *utc_offset = 0;
    if (t == static_cast<std::time_t>(-1) || localtime_r(&t, &tm) == nullptr) return;
    *out = local_time{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    *utc_offset = tm.tm_gmtoff;
}

void get_tu(int* year, int* month, int* day, int* hour, int* minute, int* second) {
    local_time now{};
    long offset = 0;
    local_time_at(std::time(nullptr), &now, &offset);
    *year = now.year;
    *month = now.month;
    *day = now.day;
    *hour = now.hour;
    *minute = now.minute;
    *second = now.second;
}

void table_debut() {
    put(row_open);
    put("</tr>\n");
    put(row_open);
    put("<td>Date</td>");
    for (const product& p : products) std::fprintf(fd, "<td>%s</td>", p.heading);
    put("</tr>\n");
}

int write_page(const survey& s, const local_time& now, const banner_identity& who) {
    put("<html>\n");
    put("<body>\n");
    std::fprintf(fd, "%02d/%02d/%04d %02d:%02d:%02d ", now.day, now.month, now.year, now.hour,
                 now.minute, now.second);
    std::fprintf(fd, "(%s, utilisateur %s, machine %s)<br><br>\n", who.program_path, who.account,
                 who.machine);
    put("<br>\n");
    put("<br>\n");
    put("<table border=1>\n");

    int last_month = -1;
    for (int i = 0; i < s.days; ++i) {
        if (s.day[i].month != last_month) table_debut();
        last_month = s.day[i].month;
        write_row(s.day[i]);
        if (std::ferror(fd) != 0) return -1;
    }
    put("</table>");
    put("</body>");
    put("</html>");
    return std::ferror(fd) != 0 ? -1 : 0;
}

}  // namespace korvane
