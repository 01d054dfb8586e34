// temps: time scales. UTC with its leap seconds (and, from 1960 to 1971,
// its fractional steps and drift), TAI, TT and GPS, counted exactly in
// nanoseconds; the bridge between UTC and TU. Part of <temps/temps.h>.
//
// Statuses, one value per cause, as ERFA's routines document theirs:
//    1  dubious: an answer, for an instant before 1960 (there was no UTC:
//       TAI - UTC taken as 0) or after the leap-second table's expiry
//       (its last offset kept)
//    0  exact
//   -1  status_field: a field out of its range (month 13, minute 60, a
//       negative nanosecond, second 61)
//   -2  status_not_a_date: fields in range but no such day (02-30,
//       1582-10-10, year 0)
//   -3  status_no_leap: second 60 outside a leap second, or 23:59:59
//       before a negative one
//   -4  status_skipped: a label a step back of UTC in the 1960s skipped
//   -5  status_years: beyond the years 1 to 9999
// Each function names the ones it returns; every negative status means no
// answer and leaves the outputs untouched.
#ifndef TEMPS_TIMESCALES_H
#define TEMPS_TIMESCALES_H

#if __cplusplus < 202002L
#error "the temps library needs C++20 or later (-std=c++20)"
#endif

#include <chrono>
#include <cstdint>
#include <vector>

#include "calendar.h"

namespace temps {

inline constexpr int status_dubious = 1;
inline constexpr int status_field = -1;
inline constexpr int status_not_a_date = -2;
inline constexpr int status_no_leap = -3;
inline constexpr int status_skipped = -4;
inline constexpr int status_years = -5;

// A count of a continuous scale (TAI, TT or GPS): seconds and nanoseconds
// since 1958-01-01 00:00:00 of that scale. nanosecond is 0..999,999,999.
struct scale_time {
    std::int64_t second;
    std::int32_t nanosecond;
};

// A calendar label on a scale: the date (Julian before 1582-10-15), the
// time of day and nanoseconds. Second 60 exists only on UTC days that end
// with a leap second, and only as long as that leap lasts.
struct civil_time {
    int year, month, day, hour, minute, second;
    std::int32_t nanosecond;
};

// One entry of a leap-second table: from 00:00 UTC of day (days since
// 1958-01-01), TAI - UTC is tai_minus_utc seconds.
struct leap_entry {
    std::int64_t day;
    int tai_minus_utc;
};

// A leap-second table as the IERS and IANA publish it (leap-seconds.list).
struct leap_second_table {
    std::vector<leap_entry> entries;     // from 1972-01-01 (10 s) on, each one second more or less
    std::chrono::sys_seconds updated{};  // when the file was last updated
    std::chrono::sys_seconds expires{};  // after this, instants are dubious
};

// default_leap_seconds_path: the file this build reads unless told
// otherwise (Debian's tzdata ships /usr/share/zoneinfo/leap-seconds.list).
const char* default_leap_seconds_path() noexcept;

// read_leap_seconds: reads a leap-seconds.list file: "#$" the last update
// and "#@" the expiry (NTP seconds since 1900), data lines "NTP-seconds
// offset", "#h" the SHA-1 of the update, the expiry and the first two
// fields of every data line. Checks the hash, the expiry's presence, that
// entries start on 1972-01-01 with 10 s and each follows the last by one
// second more (a leap second) or less (a negative one, which UTC allows
// though none has been made yet: the day's 23:59:59 is skipped). Returns 0 and replaces *out, or -1 with *out untouched and one
// message "<path>:<line>: <reason>" in error (line 0 for the whole file).
[[nodiscard]] int read_leap_seconds(const char* path, leap_second_table* out, char* error,
                                    int error_size) noexcept;

// tai_minus_utc: TAI - UTC in nanoseconds at a UTC label (the drift of
// the 1960s counted to the nanosecond, truncated): what ERFA's eraDat
// gives. Status 0, 1 (before 1960: 0; after the expiry: the last offset),
// status_field, status_not_a_date or status_years.
[[nodiscard]] int tai_minus_utc(const leap_second_table& t, const civil_time& utc, std::int64_t* ns) noexcept;

// utc_to_tai: a UTC label -> TAI. Status 0, 1 (dubious, as above),
// status_field, status_not_a_date, status_years, status_no_leap (second 60
// outside a leap second, 23:59:59 before a negative one) or status_skipped
// (a label a negative step of the 1960s skipped).
[[nodiscard]] int utc_to_tai(const leap_second_table& t, const civil_time& utc, scale_time* tai) noexcept;

// tai_to_utc: TAI -> the UTC label of that instant (23:59:60.xxx inside a
// leap second): the latest label whose TAI is not after it. Status 0, 1,
// status_field (a nanosecond out of range) or status_years.
[[nodiscard]] int tai_to_utc(const leap_second_table& t, scale_time tai, civil_time* utc) noexcept;

// The continuous scales: TT = TAI + 32.184 s, GPS = TAI - 19 s.
constexpr scale_time shifted(scale_time t, std::int64_t ns) noexcept {
    std::int64_t s = t.second + ns / 1000000000, n = t.nanosecond + ns % 1000000000;
    if (n < 0) n += 1000000000, --s;
    if (n >= 1000000000) n -= 1000000000, ++s;
    return {s, static_cast<std::int32_t>(n)};
}
inline constexpr std::int64_t tt_minus_tai_ns = 32184000000;
inline constexpr std::int64_t gps_minus_tai_ns = -19000000000;
constexpr scale_time tai_to_tt(scale_time tai) noexcept { return shifted(tai, tt_minus_tai_ns); }
constexpr scale_time tt_to_tai(scale_time tt) noexcept { return shifted(tt, -tt_minus_tai_ns); }
constexpr scale_time tai_to_gps(scale_time tai) noexcept { return shifted(tai, gps_minus_tai_ns); }
constexpr scale_time gps_to_tai(scale_time gps) noexcept { return shifted(gps, -gps_minus_tai_ns); }

// label_of: the calendar label of a count of a continuous scale. 0,
// status_field (a nanosecond out of range) or status_years.
[[nodiscard]] int label_of(scale_time t, civil_time* label_out) noexcept;

// count_of: the count of a label on a continuous scale (second 0..59).
// 0, status_field, status_not_a_date or status_years.
[[nodiscard]] int count_of(const civil_time& label, scale_time* t) noexcept;

// utc_to_tu: a UTC label -> TU. TU has no leap seconds: a label
// 23:59:60.xxx gives the TU of 23:59:59.999, the last millisecond before
// the leap second (the rule of std::chrono::utc_clock::to_sys). 0,
// status_field, status_not_a_date, status_years or status_no_leap (second
// 60 outside 23:59). Needs no table.
[[nodiscard]] int utc_to_tu(const civil_time& utc, double* tu) noexcept;

// tu_to_utc: TU -> its UTC label (never second 60), to the nanosecond
// nearest the double. 0, or status_years for NaN, infinities and TU
// beyond the years 1 to 9999.
[[nodiscard]] int tu_to_utc(double tu, civil_time* utc) noexcept;

}  // namespace temps

#endif
