// Internal to the time library: the converter's state, the instant a value
// is read into, and the table of formats with a reader and a writer each.
#ifndef TEMPS_CONVERT_IMPL_H
#define TEMPS_CONVERT_IMPL_H

#include <cstdint>
#include <span>
#include <string_view>

#include <temps/convert.h>
#include <temps/day_memo.h>
#include <temps/labels.h>
#include <temps/spice.h>

#include "sclk_fields.h"

namespace temps {

// An instant as a value gives it exactly: a TAI count, or a UTC label (and
// the picoseconds below its nanosecond, from an epoch16 or a datetime64);
// or one of CDF's TT2000 markers, which are no instant.
struct instant {
    bool tai_count = false;
    scale_time tai{};       // when tai_count
    civil_time utc{};       // otherwise
    std::int64_t marker = 0;  // tt2000_fill or tt2000_pad; 0: none
    int picoseconds = 0;    // 0 to 999
};

struct format_row;

struct converter::impl {
    explicit impl(const converter_settings& s) noexcept;

    converter_settings s;
    const format_row* from;
    const format_row* to;
    const leap_second_table* leaps;  // nullptr until given or loaded
    bool load_tried = false;
    leap_second_table none;          // no leap seconds: what needs no table reads
    day_memo memo{none};             // through leaps once there is one, else none
    bool memo_for_leaps = false;
    label_day read_day, written_day;
    bool have_last_pfield = false;   // a one-octet P-field read before, and its layout
    time_code_layout last_layout{};
    // The offsets of whole UTC days (datetime64 ns to TT2000), by day
    // since 1970: out = in + offset for in in [first, end).
    struct day_offset {
        std::int64_t first = 0, end = 0, offset = 0;
    };
    day_offset* day_offsets = nullptr;  // made at the first run of counts
    sclk_memo clock_memo;  // the clock's triple used last
    detail::sclk_fields clock_fields;  // its fields, when there is a clock
    // The partition and triple of the last reading of a run laid out as
    // the kernel writes it, in whole ticks: a reading inside both is
    // mapped by the triple without looking again (text_runs.cpp).
    struct sclk_window {
        std::size_t partition = 0;                   // 0: none
        std::uint64_t start = 0, end = 0, base = 0;  // the partition's ticks; its first encoded SCLK
        std::uint64_t from = 0, to = 0;              // the triple's encoded SCLK, [from, to)
        long double t1 = 0, rate = 0;                // its parallel time at from, and rate a tick
    } window;
    // Whole UTC days of labels, read for a count on TAI and written from
    // one (label_days.cpp); made at the first label that uses them.
    struct label_day_in;
    struct label_day_out;
    bool by_day_in = false, by_day_out = false;
    label_day_in* days_in = nullptr;
    label_day_out* days_out = nullptr;
    const char* reason = "";
    char detail[128] = "";
    unsigned warnings = 0;

    ~impl();
    impl(const impl&) = delete;
    impl& operator=(const impl&) = delete;

    // The leap-second table, loaded at the first call; nullptr with
    // *why set when there is none.
    const leap_second_table* table(refusal* why) noexcept {
        if (leaps == nullptr && !load_tried && s.load_leaps != nullptr) {
            load_tried = true;
            leaps = s.load_leaps(s.load_context);
        }
        if (leaps == nullptr) *why = s.load_leaps != nullptr ? refusal::leap_seconds_unusable : refusal::no_leap_seconds;
        return leaps;
    }
    // The memo of days, through the table where there is one: a memo keeps
    // what it worked out through one table.
    day_memo& days() noexcept {
        if (leaps != nullptr && !memo_for_leaps) {
            memo.rebind(*leaps);
            memo_for_leaps = true;
        }
        return memo;
    }
    // Refuses with r (its text, or the detail given).
    refusal fail(refusal r, const char* why = nullptr) noexcept;
    // A dubious answer (status 1) of a UTC label: its warning.
    void dubious(int status, const civil_time& utc) noexcept;

    // What every instant read must be: a time UTC had (second 60 inside a
    // leap second, no 23:59:59 before a negative one, no label a step of
    // the 1960s skipped).
    refusal exists(const instant& at) noexcept;
    refusal in_leap_second(const civil_time& c, refusal otherwise) noexcept;
    refusal utc_of(const instant& at, civil_time* c) noexcept;
    refusal tai_of(const instant& at, scale_time* tai) noexcept;

    refusal read(const held_value& v, instant* at) noexcept;
    refusal convert(const held_value& v, held_result* out, char* text) noexcept;
    // The offset of the whole UTC day of value v (datetime64 ns to TT2000),
    // from the plain conversion of its first and last nanoseconds; false
    // for a day that is not whole (before 1972, a negative leap second, a
    // dubious answer, a refusal).
    bool whole_day(std::int64_t v, day_offset* d) noexcept;
    refusal write(const instant& at, held_result* out, char* text) noexcept;
    // A UTC label of a whole day read as TAI, a TAI count written as one;
    // false where the day is not whole (then the plain way answers).
    bool read_by_day(std::string_view text, instant* at) noexcept;
    bool write_by_day(const instant& at, held_result* out, char* text) noexcept;
    void free_label_days() noexcept;
    refusal read_text(std::string_view v, instant* at) noexcept;
    refusal write_text(const instant& at, char* out, std::size_t* n) noexcept;
    // SCLK readings to TT2000 in stages (text_runs.cpp), as convert_texts.
    std::size_t sclk_texts(std::span<const std::string_view> in, char end, char* out, std::size_t* n,
                           refusal* why) noexcept;
};

// One format: what it is, how a held value is read and written, and how
// its text is read and written where that is not the held value's own.
struct format_row {
    format_info info;
    std::int64_t minus_tai_ns;  // a continuous scale: its offset from TAI
    refusal (*read)(converter::impl&, const held_value&, instant*) noexcept;
    refusal (*write)(converter::impl&, const instant&, held_result*, char*) noexcept;
    // Text forms: nullptr where the text is the held value (text) or its
    // octets in hexadecimal.
    refusal (*read_text)(converter::impl&, std::string_view, instant*) noexcept;
    refusal (*write_text)(converter::impl&, const instant&, char*, std::size_t*) noexcept;
};

const format_row& row_of(format f) noexcept;

namespace detail {

// A reading of the clock to its parallel seconds (TDB or TT), refused as
// the sclk format refuses it (written: one laid out as the kernel writes
// it read in fixed steps, the same answer); TT seconds past J2000 to the
// TT2000 of the instant, to the nearest nanosecond. The sclk row's reader
// is the two.
refusal sclk_parallel(converter::impl& c, std::string_view reading, long double* parallel,
                      bool written = false) noexcept;
refusal tt_to_tt2000(converter::impl& c, long double tt_seconds, std::int64_t* tt2000) noexcept;
// et_minus_tt of each of n values at et, into out: the same answers,
// two at a time.
void et_minus_tt_each(const lsk& l, const double* et, double* out, std::size_t n) noexcept;
// TT seconds of a clock's parallel seconds (less ET - TT for TDB).
inline long double clock_tt(const converter::impl& c, long double parallel) noexcept {
    return c.s.clock->tdb ? parallel - et_minus_tt(*c.s.kernel, static_cast<double>(parallel)) : parallel;
}

// obt_to_utc, utc_to_obt: "PARTITION/READING" through a correlation table
// and back (the reading to 6 decimals, the instant taken to the
// millisecond and, inside a leap second, its last millisecond before).
refusal obt_to_utc(const correlation& table, std::string_view text, civil_time* c) noexcept;
refusal utc_to_obt(const correlation& table, const civil_time& c, char* out, std::size_t* n) noexcept;
inline constexpr std::size_t obt_capacity = 340;  // a partition, '/', any double to 6 decimals

// CDF's TT2000 markers as labels.
std::int64_t marker_named(std::string_view label) noexcept;
const civil_time& marker_label(std::int64_t marker) noexcept;

}  // namespace detail
}  // namespace temps

#endif
