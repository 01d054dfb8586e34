#include "record.h"

#include <cstdio>
#include <cstdlib>

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

change of(const survey_day& then, const survey_day& now, int p) {
    const bool was = then.status[p] != file_status::missing, is = now.status[p] != file_status::missing;
    if (was != is) return was ? change::vanished : change::appeared;
    if (!is) return change::none;
    // A time that could not be read (0) is no evidence of a change.
    const bool retimed = then.ctime[p] != 0 && now.ctime[p] != 0 && then.ctime[p] != now.ctime[p];
    return then.status[p] != now.status[p] || retimed ? change::changed : change::none;
}

}  // namespace

void format_timestamp(const timestamp& t, char (&out)[timestamp_text_size]) {
    const local_time& l = t.local;
    const long off = std::labs(t.utc_offset) / 60;
    // Fields outside their range (a broken clock) are cut to their digits.
    const struct {
        long value;
        int width;
        char after;
    } fields[] = {{l.year, 4, '-'},   {l.month, 2, '-'},  {l.day, 2, 'T'},       {l.hour, 2, ':'},
                  {l.minute, 2, ':'}, {l.second, 2, t.utc_offset < 0 ? '-' : '+'}, {off / 60, 2, ':'},
                  {off % 60, 2, '\0'}};
    char* p = out;
    for (const auto& f : fields) {
        long v = std::labs(f.value);
        for (int i = f.width - 1; i >= 0; --i, v /= 10) p[i] = static_cast<char>('0' + v % 10);
        p += f.width;
        *p++ = f.after;
    }
}

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
    if (l.month < 1 || l.month > 12 || l.day < 1 || l.day > 31 || l.hour > 23 || l.minute > 59 || l.second > 60 ||
        fields[6] > 23 || fields[7] > 59 || (s[19] == '-' && fields[6] == 0 && fields[7] == 0))
        return false;
    const long offset = (fields[6] * 3600L + fields[7] * 60L) * (s[19] == '-' ? -1 : 1);
    *out = timestamp{l, offset};
    return true;
}

const char* change_name(change c) {
    switch (c) {
    case change::vanished: return "vanished";
    case change::appeared: return "appeared";
    case change::changed: return "changed";
    case change::none: break;
    }
    return "none";
}

void compare_surveys(const survey_record* earlier, const survey& now, const timestamp& t, survey_record* out) {
    out->taken = t;
    out->has_since = earlier != nullptr;
    out->since = earlier != nullptr ? earlier->taken : timestamp{};
    out->found = now;
    for (int i = 0; i < now.days; ++i)
        for (int p = 0; p < product_count; ++p)
            out->mark[i][p] = earlier != nullptr && i < earlier->found.days
                                  ? of(earlier->found.day[i], now.day[i], p) : change::none;
}

int change_count(const survey_record& r, int product, change c) {
    int n = 0;
    for (int i = 0; i < r.found.days; ++i) n += r.mark[i][product] == c ? 1 : 0;
    return n;
}

}  // namespace korvane
