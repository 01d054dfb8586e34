// The temps command's options: its argument vector read into settings and
// the values to convert, and the messages it writes.
#ifndef CONVERSION_OPTIONS_H
#define CONVERSION_OPTIONS_H

#include <string>
#include <string_view>
#include <vector>

#include "temps.h"

namespace conversion {

// What becomes of a value that cannot be converted, besides its message.
enum class on_error { skip, empty, stop };

struct settings {
    temps::format from{}, to{};
    int precision = 3;  // digits of a label's fraction of a second
    const char* leap_path = temps::default_leap_seconds_path();
    bool leap_given = false;                 // --leap-seconds given (else an --lsk's leap seconds)
    const char* correlation_path = nullptr;  // needed by obt
    const char* sclk_path = nullptr;         // a SPICE clock kernel, needed by sclk
    const char* lsk_path = nullptr;          // a SPICE leap-second kernel, needed by et and TDB clocks
    const char* clock = nullptr;             // the clock of a kernel with more than one
    on_error when_failed = on_error::skip;
    temps::time_code_layout out_layout{};  // of cds and cuc output
    bool implicit = false;                 // input codes carry no P-field, but in_layout's
    temps::time_code_layout in_layout{};
    bool have_epoch = false;  // --agency-epoch given
    temps::date epoch{};
    std::vector<const char*> values;  // none: read standard input
};

// read_options: argv into *s. -1 when the run goes on; otherwise the exit
// status of a run that ends here (--help, --version, a usage error, its
// message written).
int read_options(int argc, const char* const* argv, int out_fd, int err_fd, settings* s);

// v as a message shows it: quoted, with control bytes, quotes, backslashes
// and bytes that are not UTF-8 escaped (\ooo), so that no input reaches a
// terminal raw. Cut after 200 bytes.
std::string quoted(std::string_view v);

// "temps: <text>" and a line end on fd.
void say(int fd, const std::string& text);

}  // namespace conversion

#endif
