// Dates and times of a run: the local time it started, that zone's offset
// from UTC, and the texts the outputs and the state file give them.
#ifndef AVAILABILITY_CLOCK_H
#define AVAILABILITY_CLOCK_H

#include <ctime>

namespace korvane {

// A broken-down local time, as the page's banner shows it.
struct local_time {
    int year, month, day, hour, minute, second;
};

// A run's local time and that zone's offset from UTC in seconds.
struct timestamp {
    local_time local;
    long utc_offset;
};

// local_time_at: t broken down in the process's local time zone, and that
// zone's offset from UTC in seconds. Every field 0 when it cannot be.
void local_time_at(std::time_t t, local_time* out, long* utc_offset);

// The RFC 3339 text of t, "YYYY-MM-DDTHH:MM:SS+HH:MM" (25 bytes and a NUL).
inline constexpr int timestamp_text_size = 26;
void format_timestamp(const timestamp& t, char (&out)[timestamp_text_size]);

// The same for people: "YYYY-MM-DD HH:MM:SS +HH:MM" (26 bytes and a NUL).
inline constexpr int readable_text_size = 27;
void format_readable(const timestamp& t, char (&out)[readable_text_size]);

// parse_timestamp: reads the 25 bytes at s that format_timestamp writes;
// false when they are not such a text of a real date and time (a month
// of 1 to 12, a day its month has, a year from 1) with a real offset.
[[nodiscard]] bool parse_timestamp(const char* s, timestamp* out);

// put_date: writes the eight digits YYYYMMDD of a date with a four-digit
// year (the store's folder and file names, the state's lines); returns
// the end.
char* put_date(char* out, int year, int month, int day);

}  // namespace korvane

#endif
