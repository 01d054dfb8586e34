// The temps command's conversions: one table of the formats a value takes
// (a name, how to read it, how to write it) and one of the continuous
// scales (a name and the offset from TAI), and a converter that reads each
// value in one format and writes its line in another.
#ifndef CONVERSION_CONVERT_H
#define CONVERSION_CONVERT_H

#include <memory>
#include <string_view>

#include "options.h"
#include "temps.h"
#include "text_output.h"

namespace conversion {

// format_named: the format of a name ("utc", "tai", ...); false for none.
bool format_named(std::string_view name, format* f);

// Whether a format is an ISO 8601 label, the formats --precision applies to.
bool is_label(format f);

// An instant as a value was given: a TAI count, or a UTC label.
// An instant as a value was given: a TAI count, or a UTC label; or one of
// CDF's TT2000 markers, which are no instant.
struct instant {
    bool tai_count;
    temps::scale_time tai;  // when tai_count
    temps::civil_time utc;  // otherwise
    std::int64_t marker;    // temps::tt2000_fill or tt2000_pad; 0: none
};

struct format_row;

class converter {
public:
    friend struct format_rows;

    converter(const settings& s, int err_fd, temps::detail::block_output* out)
        : s_(s), err_fd_(err_fd), out_(out), from_(row_of(s.from)), to_(row_of(s.to)) {}
    // Reads the correlation file where a format needs it; false after its
    // message (the run ends with status 2).
    bool open();
    // Converts one value: its line on the output, or its message (and an
    // empty line with --on-error=empty).
    void convert(std::string_view v);
    // A message about the input itself ("line too long", a read error).
    bool fail(std::string_view value, const char* reason);
    void say(const std::string& text) const { conversion::say(err_fd_, text); }
    // The input could not be read: its message, and status 1.
    void fail_input(const std::string& text) {
        say(text);
        status_ = 1;
    }

    // 0, 1 after a value failed, or 2 after a file the conversions need
    // could not be used.
    int status() const { return fatal_ ? 2 : status_; }
    // No more values: a file could not be used, or --on-error=stop.
    bool done() const { return fatal_ || stopped_; }

    // A format's reader and writer: false after the value's message.
    using reader = bool (converter::*)(std::string_view v, instant* at);
    using writer = bool (converter::*)(std::string_view v, const instant& at);

private:
    bool read_utc(std::string_view v, instant* at);
    bool read_scale(std::string_view v, instant* at);
    bool read_count(std::string_view v, int (*to_utc)(double, temps::civil_time*) noexcept, const char* not_one,
                    const char* beyond, instant* at);
    bool read_tu(std::string_view v, instant* at);
    bool read_jd(std::string_view v, instant* at);
    bool read_code(std::string_view v, instant* at);
    bool read_obt(std::string_view v, instant* at);
    bool read_tt2000(std::string_view v, instant* at);
    bool read_epoch(std::string_view v, instant* at);
    bool read_epoch16(std::string_view v, instant* at);
    bool read_marker(std::string_view v, instant* at);
    bool write_utc(std::string_view v, const instant& at);
    bool write_scale(std::string_view v, const instant& at);
    bool write_tu(std::string_view v, const instant& at);
    bool write_jd(std::string_view v, const instant& at);
    bool write_code(std::string_view v, const instant& at);
    bool write_obt(std::string_view v, const instant& at);
    bool write_tt2000(std::string_view v, const instant& at);
    bool write_epoch(std::string_view v, const instant& at);
    bool write_epoch16(std::string_view v, const instant& at);
    bool write_marker(std::string_view v, const instant& at);

    const temps::leap_second_table* leap_table();
    void dubious(int result, const temps::civil_time& utc);
    bool in_leap_second(std::string_view v, const temps::civil_time& c, const char* otherwise);
    bool exists(std::string_view v, const instant& at);
    bool utc_of(std::string_view v, const instant& at, temps::civil_time* c);
    bool tai_of(std::string_view v, const instant& at, temps::scale_time* tai);
    bool utc_day_of(std::string_view v, const instant& at, temps::civil_time* c, int* jd);
    bool put_line(const char* text, std::size_t n);
    bool put_label(const temps::civil_time& c);
    temps::day_memo& days();
    static const format_row* row_of(format f);
    const temps::date* agency() const { return s_.have_epoch ? &s_.epoch : nullptr; }

    const settings& s_;
    int err_fd_;
    temps::detail::block_output* out_;
    const format_row* from_;  // the formats read and written
    const format_row* to_;
    int status_ = 0;
    bool fatal_ = false;         // a file the conversions need cannot be used
    bool failed_value_ = false;  // the value being converted failed
    bool stopped_ = false;       // --on-error=stop after a failure
    bool table_tried_ = false;
    bool warned_expiry_ = false, warned_1960_ = false;
    temps::leap_second_table table_;
    std::unique_ptr<temps::day_memo> days_;  // made at first use, and again once table_ is read
    temps::correlation correlation_;
    date_text read_date_, written_date_;
    bool have_last_pfield_ = false;  // a one-octet P-field read before, and its layout
    temps::time_code_layout last_layout_{};
};

}  // namespace conversion

#endif
