// The forms a time takes on the temps command's lines: reading one value
// in a format, writing it in another. Plain functions over the library's
// values; the command (run.h) feeds them.
#ifndef CONVERSION_FORMATS_H
#define CONVERSION_FORMATS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "temps.h"

namespace conversion {

// The formats a value takes; convert.h has their names and what they are.
enum class format { utc, tai, tt, gps, tu, jd, obt, cds, cuc, tt2000, epoch, epoch16 };

// parse_iso: "YYYY-MM-DDTHH:MM:SS[.fraction of 1 to 9 digits][Z]", fields
// checked for range (second up to 60; the caller decides where 60 may
// stand). false for anything else.
// A date as last read or written, "YYYY-MM-DDT": a run of labels of one
// day (telemetry is in time order) reads and writes it once.
struct date_text {
    char text[11] = {};
    int year = 0, month = 0, day = 0;  // year 0: none yet
};
bool parse_iso(std::string_view s, temps::civil_time* c, date_text* last = nullptr);

// parse_hex: octets from hexadecimal digits (upper or lower case, no
// spaces) into out; their count, or -1 (odd count, not a digit, more than
// capacity).
int parse_hex(std::string_view s, std::uint8_t* out, std::size_t capacity);

// put_hex: octets as upper-case hexadecimal digits; returns 2 * n.
std::size_t put_hex(char* out, const std::uint8_t* p, std::size_t n);

// put_iso: "YYYY-MM-DDTHH:MM:SS" and, with precision 1 to 9, a point and
// that many digits of the fraction, truncated. Writes at most 30 bytes;
// returns how many.
std::size_t put_iso(char* out, const temps::civil_time& c, int precision, date_text* last = nullptr);

// obt_to_utc: "PARTITION/READING" through a correlation table to its UTC
// label; nullptr, or why it cannot be.
const char* obt_to_utc(const temps::correlation& table, std::string_view text, temps::civil_time* c);

// utc_to_obt: a UTC label to "PARTITION/READING" (the reading to 6
// decimals), the instant taken to the millisecond and, inside a leap
// second, its last millisecond before; nullptr, or why it cannot be.
const char* utc_to_obt(const temps::correlation& table, const temps::civil_time& c, std::string* text);

// CDF's TT2000 markers as labels: the fill value (a value missing) as
// 9999-12-31T23:59:59.999999999, the pad value (none written) as
// 0000-01-01T00:00:00[.000...]. marker_named: the marker a label names,
// or 0; marker_label: the label of a marker; marker_refused: why a marker
// is no instant.
std::int64_t marker_named(std::string_view label);
const temps::civil_time& marker_label(std::int64_t marker);
const char* marker_refused(std::int64_t marker);

}  // namespace conversion

#endif
