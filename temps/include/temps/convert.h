// temps: one conversion engine for every format of an instant. A format is
// a name and how its values are held (text, octets, an int64, a double,
// two doubles); a converter, set up once with its tables and options,
// converts values of one format to another and says for each its result
// or why there is none. The temps command and the Python module are faces
// of it: they read lines and arrays, it holds every rule of time. Part of
// <temps/temps.h>.
//
//   format      held as   what
//   utc         text      ISO 8601 label of UTC (23:59:60 in a leap second)
//   tai tt gps  text      ISO 8601 label of that continuous scale
//   tu          float64   TU: milliseconds since 1958-01-01, no leap seconds
//   jd          int64     the Julian day number of the UTC date
//   obt         text      "PARTITION/READING" of the on-board clock
//   cds cuc     octets    a CCSDS time code, P-field first
//   tt2000      int64     CDF_TIME_TT2000: nanoseconds since J2000
//   epoch       float64   CDF_EPOCH: milliseconds since 0000-01-01
//   epoch16     epoch16   CDF_EPOCH16: seconds and picoseconds since then
//   datetime64  int64     NumPy's datetime64 of UTC, in a unit of the settings
//   unix        float64   POSIX seconds since 1970-01-01 UTC, no leap seconds
//   yday        text      CCSDS ASCII time code B, YYYY-DDDTHH:MM:SS.fff of UTC
//   sclk        text      a reading of a SPICE type 1 clock, p/f1.f2... (<temps/spice.h>)
//   et          float64   SPICE's ephemeris time: TDB seconds past J2000, by the LSK
//
// Every format but datetime64 also has a text form, the one the temps
// command reads and writes: numbers in decimal (unix to the nanosecond),
// codes in hexadecimal, epoch16 as SECONDS.PICOSECONDS (12 digits).
#ifndef TEMPS_CONVERT_H
#define TEMPS_CONVERT_H

#if __cplusplus < 202002L
#error "the temps library needs C++20 or later (-std=c++20)"
#endif

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "ccsds.h"
#include "correlation.h"
#include "timescales.h"

namespace temps {

struct sclk_clock;  // <temps/spice.h>
struct lsk;

enum class format : std::uint8_t {
    utc, tai, tt, gps, tu, jd, obt, cds, cuc, tt2000, epoch, epoch16, datetime64, posix, yday, sclk, et
};

// How the values of a format are held.
enum class holding : std::uint8_t {
    text,     // bytes of text
    octets,   // bytes of a code
    int64,    // held_value::integer
    float64,  // held_value::real
    epoch16,  // held_value::real (seconds) and imag (picoseconds)
};

struct format_info {
    std::string_view name;   // as the command and the module name it
    format id;
    holding held;
    bool label;              // an ISO label of a scale
    bool takes_precision;    // the precision applies (labels, yday)
    bool has_text;           // a text form (the command's)
    bool needs_correlation;  // a correlation table, always
    bool needs_clock;        // a clock kernel (SCLK), always
    std::string_view what;   // what its values are, in a line
};

// formats: every format, in the order of the table above.
[[nodiscard]] std::span<const format_info> formats() noexcept;
// format_named: the format of a name; nullptr for none.
[[nodiscard]] const format_info* format_named(std::string_view name) noexcept;
[[nodiscard]] const format_info& info_of(format f) noexcept;

// The unit of datetime64 values, as NumPy's dtype names it: a count of a
// unit ("datetime64[10s]" is {s, 10}). Y and M count calendar years and
// months from 1970-01; W and the others are fixed lengths.
enum class time_unit : std::uint8_t { Y, M, W, D, h, m, s, ms, us, ns, ps, fs, as };
struct datetime64_unit {
    time_unit unit = time_unit::ns;
    std::int64_t count = 1;  // 1 or more
};
// datetime64_unit_named: the unit of a dtype's bracket ("ns", "10s");
// false for none.
[[nodiscard]] bool datetime64_unit_named(std::string_view text, datetime64_unit* out) noexcept;
// The int64 that datetime64 reserves for NaT (not a time).
inline constexpr std::int64_t datetime64_nat = INT64_MIN;

// Why a value gives no result: one value per cause, one text each
// (refusal_text), the same whichever face prints it.
enum class refusal : std::uint8_t {
    none,
    empty,               // an empty value
    not_utc_label,       // not a UTC label
    not_label,           // not a label of a continuous scale
    no_leap_second,      // second 60 outside a leap second, or 23:59:59 before a negative one
    leap_second_ends,    // second 60 past the end of a leap second shorter than a second (reason() says where)
    skipped,             // a UTC label that a step of the 1960s skipped
    no_such_utc,         // a UTC label the table refuses otherwise
    beyond_years,        // an instant beyond the years 1 to 9999
    not_tu, tu_beyond,
    not_jd, jd_beyond,
    not_obt, obt_not_covered, obt_instant_not_covered, obt_out_of_range,
    no_correlation,      // obt without a correlation table
    not_hex,
    bad_code,            // a code the codec refuses (reason() says why)
    not_cds, not_cuc,
    cds_no_leap,         // a CDS millisecond of day past 86,399,999 on a day without a leap second
    not_tt2000, tt2000_beyond,
    fill_marker, pad_marker,  // CDF's TT2000 markers, which are no instant
    not_epoch, epoch_beyond, epoch_out_of_range,
    not_epoch16, epoch16_beyond,
    nat,                 // datetime64's NaT
    datetime64_leap, datetime64_beyond, datetime64_finer,
    not_unix, unix_beyond, unix_leap,
    not_yday,
    not_sclk, sclk_no_partition, sclk_below_offset, sclk_outside_partition, sclk_outside_map,
    no_sclk,             // sclk without a clock kernel
    no_lsk,              // et, or a TDB clock, without a leap-second kernel
    not_et,
    no_leap_seconds,     // the conversion needs a leap-second table and has none
    leap_seconds_unusable,  // the table's loader failed (the face says why)
    no_memory,
};
[[nodiscard]] const char* refusal_text(refusal r) noexcept;

// A value as its format holds it (the fields its holding names).
struct held_value {
    std::string_view text;     // text, octets
    std::int64_t integer = 0;  // int64
    double real = 0.0;         // float64; epoch16 seconds
    double imag = 0.0;         // epoch16 picoseconds
};

// A result as the target holds it; text and octets go to a buffer of the
// caller's, text_size bytes of it.
struct held_result {
    std::int64_t integer = 0;
    double real = 0.0, imag = 0.0;
    std::size_t text_size = 0;
};

// Warnings a converter met, once each: answers that are the best there is
// but not exact (utc_to_tai's status 1).
inline constexpr unsigned warned_expired = 1;      // an instant past the leap-second table's expiry
inline constexpr unsigned warned_before_1960 = 2;  // an instant before UTC began: TAI - UTC taken as 0

struct converter_settings {
    format from = format::utc, to = format::utc;
    int precision = 9;  // digits of a label's fraction written, 0 to 9
    // The leap-second table: given, or loaded by load_leaps(load_context)
    // at the first value that needs one (nullptr: it could not be). Only
    // what needs UTC's leap seconds asks for it: a label of 23:59:59 or
    // 23:59:60, UTC from or to a continuous scale, CDS codes.
    const leap_second_table* leaps = nullptr;
    const leap_second_table* (*load_leaps)(void* context) noexcept = nullptr;
    void* load_context = nullptr;
    const correlation* table = nullptr;         // for obt
    const date* agency_epoch = nullptr;         // for codes whose P-field names one
    time_code_layout out_layout{};              // of cds and cuc written (a one-octet P-field read)
    const time_code_layout* in_layout = nullptr;  // codes read without their P-field, in this layout
    datetime64_unit in_unit{}, out_unit{};      // of datetime64 read and written
    const sclk_clock* clock = nullptr;          // for sclk: a SPICE clock kernel's clock
    const lsk* kernel = nullptr;                // for et and TDB clocks: a leap-second kernel
};

// converter: converts values from settings.from to settings.to. One per
// thread: it keeps memos of the days seen. The tables it refers to must
// outlive it.
class converter {
public:
    explicit converter(const converter_settings& s) noexcept;
    ~converter();
    converter(const converter&) = delete;
    converter& operator=(const converter&) = delete;

    // convert: one value held as from holds it, into to's holding; a text
    // or octets result goes to text (text_capacity() bytes). refusal::none
    // and *out, or why not (*out then holds nothing to use).
    [[nodiscard]] refusal convert(const held_value& in, held_result* out, char* text) noexcept;
    // convert: the span: in[i] to out[i] and status[i], the texts at
    // texts + i * stride (stride at least text_capacity()). Returns how
    // many were refused.
    std::size_t convert(std::span<const held_value> in, std::span<held_result> out, std::span<refusal> status,
                        char* texts, std::size_t stride) noexcept;
    // convert: the span of a count (tt2000, jd, datetime64) to a count,
    // in[i] to out[i] and status[i]. A run of datetime64 (ns) values to
    // TT2000 goes by the offset of each whole UTC day worked out once,
    // each answer the one value's. Returns how many were refused.
    std::size_t convert(std::span<const std::int64_t> in, std::span<std::int64_t> out,
                        std::span<refusal> status) noexcept;
    // convert_text: one value from from's text form to to's, into out
    // (text_capacity() bytes), *n bytes of it.
    [[nodiscard]] refusal convert_text(std::string_view in, char* out, std::size_t* n) noexcept;
    // convert_texts: in[i] as convert_text converts it, the results one
    // after another at out, each followed by the byte end (a line's
    // '\n'), up to the first value refused; out holds in.size() *
    // (text_capacity() + 1) bytes, *n of them written. Returns how many
    // came before it (in.size() when none was); *why and reason() say why
    // that one was not. A run of SCLK readings to TT2000 goes in stages,
    // many readings at a time: each answer convert_text's.
    [[nodiscard]] std::size_t convert_texts(std::span<const std::string_view> in, char end, char* out,
                                            std::size_t* n, refusal* why) noexcept;

    // The bytes a result's text takes at the most, held or as text.
    [[nodiscard]] std::size_t text_capacity() const noexcept;
    // The last refusal's text, with what it names (the reason a code was
    // refused, where a short leap second ends).
    [[nodiscard]] const char* reason() const noexcept;
    // The warnings met so far (warned_*).
    [[nodiscard]] unsigned warnings() const noexcept;

    struct impl;  // the library's own: out of the public layout

private:
    impl* impl_;
};

}  // namespace temps

#endif
