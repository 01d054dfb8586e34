// The temps command's face of the library's converter: each value of a
// line or an argument converted, its line written or its message, and
// what --on-error says of a value that fails. The leap-second list is read
// at the first value that needs it, the correlation table before any.
#ifndef CONVERSION_CONVERT_H
#define CONVERSION_CONVERT_H

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "options.h"
#include "temps.h"
#include "text_output.h"

namespace conversion {

class converter {
public:
    converter(const settings& s, int err_fd, temps::detail::block_output* out) : s_(s), err_fd_(err_fd), out_(out) {}
    // Reads the correlation table where a format needs it and sets up the
    // library's converter; false after the message (the run ends with 2).
    bool open();
    // Converts one value: its line on the output, or its message.
    void convert(std::string_view v);
    // Converts a run of values (at most run_size), each as convert does.
    static constexpr std::size_t run_size = 64;
    void convert_run(std::span<const std::string_view> values);
    // A line that is no value (too long): its message, and what --on-error
    // does of a failed value.
    void refuse(std::string_view shown, const char* reason);
    // A blank line: no value, but with --on-error=empty its place is kept.
    void blank();
    // The input could not be read: its message, and status 1.
    void fail_input(const std::string& text) {
        say(err_fd_, text);
        status_ = 1;
    }

    // 0, 1 after a value failed, or 2 after a file the conversions need
    // could not be used.
    int status() const { return fatal_ ? 2 : status_; }
    // Says the warnings met since the last look (at each refusal and at
    // the end, so that each comes before the messages that follow it).
    void warn() {
        if (engine_ && engine_->warnings() != warned_) warn(engine_->warnings());
    }
    // No more values: a file could not be used, or --on-error=stop.
    bool done() const { return fatal_ || stopped_; }

private:
    static const temps::leap_second_table* load_leaps(void* self) noexcept;
    void failed(std::string_view value, const char* reason);
    void warn(unsigned warnings);

    const settings& s_;
    int err_fd_;
    temps::detail::block_output* out_;
    std::unique_ptr<temps::converter> engine_;
    temps::leap_second_table table_;
    temps::correlation correlation_;
    temps::sclk_clock clock_;
    temps::lsk kernel_;
    unsigned warned_ = 0;
    std::size_t room_ = 0;  // bytes a result's line takes at the most
    int status_ = 0;
    bool fatal_ = false;    // a file the conversions need cannot be used
    bool stopped_ = false;  // --on-error=stop after a failure
};

}  // namespace conversion

#endif
