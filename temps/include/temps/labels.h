// temps: the text of instants. ISO 8601 labels on any scale
// ("2016-12-31T23:59:60.5"), the CCSDS ASCII time code B of day of year
// ("2016-366T23:59:60.500"), and octets in hexadecimal. Part of
// <temps/temps.h>.
#ifndef TEMPS_LABELS_H
#define TEMPS_LABELS_H

#if __cplusplus < 202002L
#error "the temps library needs C++20 or later (-std=c++20)"
#endif

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "timescales.h"

namespace temps {

// The date text of the label read or written last ("YYYY-MM-DDT"): labels
// of one day, as telemetry has them, read and write it once. Start it
// empty ({}); one per thread.
struct label_day {
    char text[11] = {};
    int year = 0, month = 0, day = 0;  // year 0: none yet
};

// Bytes a label takes at the most: "YYYY-MM-DDTHH:MM:SS.nnnnnnnnn".
inline constexpr std::size_t label_capacity = 29;

// read_label: text "YYYY-MM-DDTHH:MM:SS[.fraction][Z]" (a fraction of 1 to
// 9 digits, the Z allowed) into *out. 0, or status_field for anything
// else: another shape, a year 0, month 13, day 32, hour 24, minute 60,
// second 61. Which days have a second 60, or a day 31, is the time
// scale's to say (utc_to_tai, count_of). day: the date memo, or nullptr.
[[nodiscard]] int read_label(std::string_view text, civil_time* out, label_day* day = nullptr) noexcept;

// write_label: "YYYY-MM-DDTHH:MM:SS" and, with precision 1 to 9, a point
// and that many digits of the fraction, truncated (never rounded up into
// the next second). Writes at most label_capacity bytes to out; returns
// how many. Fields must be in read_label's ranges, year 0 included (CDF's
// pad marker is 0000-01-01T00:00:00).
std::size_t write_label(const civil_time& c, int precision, char* out, label_day* day = nullptr) noexcept;

// Bytes a day-of-year label takes at the most: "YYYY-DDDTHH:MM:SS.nnnnnnnnn".
inline constexpr std::size_t day_of_year_capacity = 27;

// read_day_of_year: the CCSDS ASCII time code B, "YYYY-DDDTHH:MM:SS" and
// optionally a point and 1 to 9 digits, a trailing Z allowed, into the
// calendar label of that day of the year (day 1 is January 1; the Julian
// year 1582 has 355 days). 0, or status_field for another shape or a day
// the year has not.
[[nodiscard]] int read_day_of_year(std::string_view text, civil_time* out) noexcept;

// write_day_of_year: the same, with precision digits of the fraction
// (truncated); at most day_of_year_capacity bytes; returns how many.
std::size_t write_day_of_year(const civil_time& c, int precision, char* out) noexcept;

// read_hex: octets from hexadecimal digits (either case, no spaces) into
// out; their count, or -1 (an odd count, a byte not a digit, more than
// capacity octets).
[[nodiscard]] int read_hex(std::string_view text, std::uint8_t* out, std::size_t capacity) noexcept;

// write_hex: octets as upper-case hexadecimal digits; returns 2 * n.
std::size_t write_hex(const std::uint8_t* octets, std::size_t n, char* out) noexcept;

}  // namespace temps

#endif
