#include "lines.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

namespace conversion {
namespace {

bool blank(std::string_view line) {
    return line.empty() || ((line[0] == ' ' || line[0] == '\t') && line.find_first_not_of(" \t") == std::string_view::npos);
}

// The lines of the buffer waiting to be converted, in runs: a blank line
// or a refused one comes after the values before it.
class runs {
public:
    explicit runs(converter& cv) : cv_(cv) {}
    // One line without its line end: a CR before it (or at the end of the
    // input) is part of the line end, and a line of blanks is blank.
    void line(std::string_view l) {
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        if (blank(l)) {
            flush();
            if (!cv_.done()) cv_.blank();
            return;
        }
        run_[size_++] = l;
        if (size_ == converter::run_size) flush();
    }
    // Converts what is waiting: before its text in the buffer changes.
    void flush() {
        if (size_ > 0) cv_.convert_run({run_, size_});
        size_ = 0;
    }

private:
    converter& cv_;
    std::string_view run_[converter::run_size];
    std::size_t size_ = 0;
};

}  // namespace

// Values one a line from fd, blank lines skipped, in constant memory.
void each_line(int fd, converter& cv) {
    auto buf = std::make_unique<char[]>(1 << 16);
    constexpr std::size_t size = 1 << 16;
    std::size_t have = 0;
    bool too_long = false;  // skipping the rest of a line longer than the buffer
    runs waiting(cv);
    for (;;) {
        const ssize_t n = read(fd, buf.get() + have, size - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            cv.fail_input(std::string("standard input: ") + std::strerror(errno));
            return;
        }
        const bool end = n == 0;
        have += static_cast<std::size_t>(n);
        std::size_t start = 0;
        while (!cv.done()) {
            const void* nl = std::memchr(buf.get() + start, '\n', have - start);
            if (nl == nullptr) break;
            const std::size_t i = static_cast<std::size_t>(static_cast<const char*>(nl) - buf.get());
            if (!too_long) waiting.line(std::string_view(buf.get() + start, i - start));
            too_long = false;
            start = i + 1;
        }
        waiting.flush();
        if (cv.done()) return;
        if (end) {
            if (start < have && !too_long) waiting.line(std::string_view(buf.get() + start, have - start));
            waiting.flush();
            return;
        }
        if (start == 0 && have == size) {  // a line longer than the buffer
            if (!too_long) cv.refuse(std::string_view(buf.get(), 40), "line too long");
            too_long = true;
            have = 0;
            continue;
        }
        std::memmove(buf.get(), buf.get() + start, have - start);
        have -= start;
    }
}

}  // namespace conversion
