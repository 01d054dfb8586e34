#include "clock.h"

#include <cstdlib>

#include "calendar.h"

namespace korvane {
namespace {

// Reads n decimal digits at s; -1 when one is not a digit.
int digits(const char* s, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (s[i] < '0' || s[i] > '9') return -1;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

// Writes t as "YYYY-MM-DD<between>HH:MM:SS<before>+HH:MM" with its NUL.
// Fields outside their range (a broken clock) are cut to their digits.
void put_fields(char* p, const timestamp& t, const char* between, const char* before_offset) {
    const local_time& l = t.local;
    const long off = std::labs(t.utc_offset) / 60;
    const struct {
        const char* before;
        long value;
        int width;
    } fields[] = {{"", l.year, 4},     {"-", l.month, 2},  {"-", l.day, 2},      {between, l.hour, 2},
                  {":", l.minute, 2}, {":", l.second, 2}, {before_offset, off / 60, 2}, {":", off % 60, 2}};
    constexpr int offset_hours = 6;
    for (int n = 0; n < 8; ++n) {
        const auto& f = fields[n];
        for (const char* b = f.before; *b != '\0'; ++b) *p++ = *b;
        if (n == offset_hours) *p++ = t.utc_offset < 0 ? '-' : '+';
        long v = std::labs(f.value);
        for (int i = f.width - 1; i >= 0; --i, v /= 10) p[i] = static_cast<char>('0' + v % 10);
        p += f.width;
    }
    *p = '\0';
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

void format_timestamp(const timestamp& t, char (&out)[timestamp_text_size]) { put_fields(out, t, "T", ""); }

void format_readable(const timestamp& t, char (&out)[readable_text_size]) { put_fields(out, t, " ", " "); }

// Refuses -00:00, which format_timestamp never writes (RFC 3339's "offset
// unknown"), so that a text reads back to itself.
bool parse_timestamp(const char* s, timestamp* out) {
    const int fields[] = {digits(s, 4),      digits(s + 5, 2),  digits(s + 8, 2),  digits(s + 11, 2),
                          digits(s + 14, 2), digits(s + 17, 2), digits(s + 20, 2), digits(s + 23, 2)};
    for (const int f : fields)
        if (f < 0) return false;
    if (s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':' || s[22] != ':' ||
        (s[19] != '+' && s[19] != '-'))
        return false;
    const local_time l{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]};
    if (l.year < 1 || l.month < 1 || l.month > 12 || l.day < 1 || l.day > temps::days_in_month(l.year, l.month) ||
        l.hour > 23 || l.minute > 59 || l.second > 60 || fields[6] > 23 || fields[7] > 59 ||
        (s[19] == '-' && fields[6] == 0 && fields[7] == 0))
        return false;
    const long offset = (fields[6] * 3600L + fields[7] * 60L) * (s[19] == '-' ? -1 : 1);
    *out = timestamp{l, offset};
    return true;
}

char* put_date(char* out, int year, int month, int day) {
    const int v[] = {year / 1000, year / 100 % 10, year / 10 % 10, year % 10,
                     month / 10,  month % 10,      day / 10,       day % 10};
    for (const int digit : v) *out++ = static_cast<char>('0' + digit);
    return out;
}

}  // namespace korvane
