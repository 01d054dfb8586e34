// Internal to the project, not installed: what the programs share to
// write text fast and never lose it unseen. Standard output in large
// blocks with every write checked, and the digit pairs that dates and
// times are written with. Header-only, so that the programs depend on the
// time library alone.
#ifndef TEMPS_TEXT_OUTPUT_H
#define TEMPS_TEXT_OUTPUT_H

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace temps::detail {

// "00" to "99": fixed fields go out two digits at a time.
inline constexpr struct digit_pair_table {
    char at[100][2];
    constexpr digit_pair_table() : at{} {
        for (int i = 0; i < 100; ++i) {
            at[i][0] = static_cast<char>('0' + i / 10);
            at[i][1] = static_cast<char>('0' + i % 10);
        }
    }
} digit_pairs;

// Output in blocks of 64 KiB. A write that fails (EPIPE, ENOSPC, EIO...)
// marks it failed, and what follows is dropped: the reader gets nothing
// more, and the program says so in its status.
struct block_output {
    int fd;                  // where the blocks go; -1 drops them (a sink)
    std::size_t len = 0;     // bytes waiting in buf
    bool failed = false;     // a write failed: the text did not arrive
    char buf[1 << 16] = {};

    // Writes what is waiting; false when anything written was lost.
    bool flush() noexcept {
        for (std::size_t done = 0; done < len && !failed && fd >= 0;) {
            const ssize_t n = ::write(fd, buf + done, len - done);
            if (n > 0) done += static_cast<std::size_t>(n);
            else if (n < 0 && errno == EINTR) continue;
            else failed = true;
        }
        len = 0;
        return !failed;
    }
    // Room for n bytes (n at most the block) at the result; the caller
    // writes there and adds what it wrote to len.
    char* room(std::size_t n) noexcept {
        if (sizeof buf - len < n) flush();
        return buf + len;
    }
    void put(const char* text, std::size_t n) noexcept {
        while (n > 0 && !failed) {
            if (len == sizeof buf && !flush()) return;
            const std::size_t k = n < sizeof buf - len ? n : sizeof buf - len;
            std::memcpy(buf + len, text, k);
            len += k;
            text += k;
            n -= k;
        }
    }
};

}  // namespace temps::detail

#endif
