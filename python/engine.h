// The conversions of the Python module: one value at a time between the
// formats of the temps command and NumPy's datetime64, on plain values.
// No Python here: the module's loops call it without the interpreter's
// lock.
#ifndef PYTHON_ENGINE_H
#define PYTHON_ENGINE_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "formats.h"
#include "temps.h"

namespace pytemps {

enum class format { utc, tai, tt, gps, tu, jd, obt, cds, cuc, tt2000, epoch, epoch16, datetime64 };

// How the values of a format are held in NumPy.
enum class holder { text, bytes, int64, float64, complex128, datetime64 };

// format_named: false for an unknown name.
bool format_named(std::string_view name, format* f);
holder holder_of(format f);

// One value as read: bytes of text or octets, or a number, or two.
struct value {
    std::string_view text;     // text and bytes holders
    std::int64_t integer = 0;  // int64, datetime64
    double real = 0.0, imag = 0.0;  // float64; complex128 (seconds, picoseconds)
};

// An instant: a TAI count or a UTC label, or one of CDF's markers.
struct instant {
    bool tai_count = false;
    temps::scale_time tai{};
    temps::civil_time utc{};
    std::int64_t marker = 0;  // temps::tt2000_fill or tt2000_pad; 0: none
    int picoseconds = 0;      // below the label's nanosecond (0 to 999), from an epoch16
    bool tai_known = false;   // a UTC label's TAI, worked out as it was read
};

// What a conversion needs besides its values; shared by the threads of a
// call, never changed while they run.
struct settings {
    format source{}, target{};
    int precision = 9;
    std::shared_ptr<const temps::leap_second_table> leaps;  // null: none needed
    std::shared_ptr<const temps::correlation> correlation;
    bool have_agency = false;
    temps::date agency{};
    temps::time_code_layout out_layout{};
};

// A converter for one thread: settings and the memos of the days seen.
class engine {
public:
    explicit engine(const settings& s);
    // read: the instant of a value; nullptr, or why it is refused.
    const char* read(const value& v, instant* at);
    // write_*: the value of an instant in the target's holder; nullptr, or
    // why it cannot be.
    const char* write_text(const instant& at, std::string* out);  // labels, obt; bytes for cds, cuc
    const char* write_int64(const instant& at, std::int64_t* out);  // tt2000, jd, datetime64
    const char* write_float64(const instant& at, double* out);      // tu, epoch
    const char* write_complex(const instant& at, double* seconds, double* picoseconds);  // epoch16

private:
    const char* utc_of(const instant& at, temps::civil_time* c);
    const char* tai_of(const instant& at, temps::scale_time* tai);
    const settings& s_;
    std::unique_ptr<temps::day_memo> days_;
    temps::leap_second_table none_;
    std::int64_t last_day_ = INT64_MIN;  // datetime64 days: the last one read, and its date
    temps::date last_date_{};
    conversion::date_text read_date_;    // the date of the label read last
};

}  // namespace pytemps

#endif
