// temps: CCSDS time codes (CCSDS 301.0-B-4): CUC, an unsegmented count of
// TAI seconds and binary fractions, and CDS, days of UTC, milliseconds of
// the day and optional microseconds or picoseconds. Part of
// <temps/temps.h>. The codec works on plain buffers, allocates nothing and
// keeps every field exact; conversions to and from instants go through the
// time scales of <temps/timescales.h>.
//
// CCS (calendar segmented) is not supported: its octets are BCD in some
// data and binary in others, and the code itself does not say which.
#ifndef TEMPS_CCSDS_H
#define TEMPS_CCSDS_H

#if __cplusplus < 202002L
#error "the temps library needs C++20 or later (-std=c++20)"
#endif

#include <cstddef>
#include <cstdint>

#include "calendar.h"
#include "timescales.h"

namespace temps {

// The layout a P-field describes.
struct time_code_layout {
    bool cds;          // CDS (id 100); otherwise CUC (id 001 or 010)
    bool agency;       // counted from an agency epoch (CUC level 2, or the CDS epoch bit)
    int coarse, fine;  // CUC: octets of whole seconds (1 to 7) and of fraction (0 to 10)
    int day_octets;    // CDS: 2 or 3
    int sub_octets;    // CDS: 0, 2 (microseconds) or 4 (picoseconds)
    int pfield_octets; // 1 or 2 (CUC with the extension bit)
    // The P-field as read, written back as it was (a layout of more than
    // four coarse or three fine octets may split them either way); 0 when
    // the layout was made by hand.
    std::uint8_t pfield[2];
};

// A time code as its octets hold it, every field exact.
struct time_code {
    time_code_layout layout;
    std::uint64_t coarse;   // CUC: whole seconds since the epoch
    std::uint8_t fine[10];  // CUC: the binary fraction, most significant octet first
    std::uint32_t day;      // CDS: days since the epoch
    std::uint32_t ms;       // CDS: milliseconds of the day (86,400,000 and more in a leap second)
    std::uint32_t sub;      // CDS: microseconds (0 to 999) or picoseconds (0 to 999,999,999)
};

// t_field_octets: the length of the T-field of a layout.
constexpr int t_field_octets(const time_code_layout& l) noexcept {
    return l.cds ? l.day_octets + 4 + l.sub_octets : l.coarse + l.fine;
}

// read_pfield: the layout of the P-field at p (n octets available).
// Returns 0, or -1 with a reason: an unknown time-code id, CCS, the
// reserved sub-millisecond code, an extension bit in a CDS P-field, a
// second octet missing.
[[nodiscard]] int read_pfield(const std::uint8_t* p, std::size_t n, time_code_layout* out, const char** reason) noexcept;

// write_pfield: the P-field of a layout into out (2 octets of room);
// returns its length, or -1 for a layout no P-field describes.
[[nodiscard]] int write_pfield(const time_code_layout& l, std::uint8_t* out) noexcept;

// decode: the code in the n octets at p: its own P-field first, or, when
// implicit is not null, the T-field alone with that layout. Returns 0, or
// -1 with a reason: a bad P-field, a length that does not match it,
// microseconds above 999, picoseconds above 999,999,999, a millisecond of
// day of 86,401,000 or more. (Whether a day holds a leap second is the
// table's to say: code_to_tai.)
[[nodiscard]] int decode(const std::uint8_t* p, std::size_t n, const time_code_layout* implicit, time_code* out,
                         const char** reason) noexcept;

// encode: the octets of c (its P-field first unless implicit) into out,
// which has room for capacity octets. Returns the length, or -1.
[[nodiscard]] int encode(const time_code& c, bool implicit, std::uint8_t* out, std::size_t capacity) noexcept;

// code_to_tai: the instant a code names. CUC counts TAI seconds from
// 1958-01-01 00:00:00 TAI or from 00:00:00 TAI of the agency epoch; its
// fraction is read to the nearest nanosecond (halves up, but never into
// the next second), which tai_to_code encodes back to a code of the same
// instant.
// CDS counts UTC days from 1958-01-01 or the agency epoch; a millisecond
// of day past 86,399,999 must fall in that day's leap second. Status 0, 1
// (dubious, as utc_to_tai) or a negative status with a reason: -1 for a
// code it cannot read (no agency epoch given), else utc_to_tai's
// (status_no_leap: no leap second on that day; status_years).
[[nodiscard]] int code_to_tai(const time_code& c, const leap_second_table& t, const date* agency_epoch,
                              scale_time* tai, const char** reason) noexcept;

// cds_to_utc: the UTC label of a CDS code, without a leap-second table: a
// millisecond of day past 86,399,999 gives second 60, which only a day
// ending with a leap second holds (utc_to_tai tells). -1 with a reason for
// a CUC code, no agency epoch given, or a day beyond the years 1 to 9999.
[[nodiscard]] int cds_to_utc(const time_code& c, const date* agency_epoch, civil_time* utc, const char** reason) noexcept;

// tai_to_code: the code of an instant in a layout. A CUC code is the
// nearest unit of its fraction (halves up, carried into the coarse time);
// a CDS code, in decimal units, is truncated to its resolution (never the
// next day). Status 0, 1 or -1 with a reason: before the epoch, a counter
// beyond its octets, no agency epoch given.
[[nodiscard]] int tai_to_code(scale_time tai, const time_code_layout& l, const leap_second_table& t,
                              const date* agency_epoch, time_code* out, const char** reason) noexcept;

namespace detail {
// The time of day of a CDS code read (cds_to_utc's, but for the date).
void cds_time_of_day(const time_code& c, civil_time* u) noexcept;
}  // namespace detail

}  // namespace temps

#endif
