// Internal to the time library: the text files it reads (leap-second
// lists, correlation tables) line by line, every fault reported once as
// "<path>:<line>: <reason>".
#ifndef TEMPS_LINE_FILE_H
#define TEMPS_LINE_FILE_H

#include <cstddef>
#include <cstdio>

namespace temps::detail {

class line_file {
public:
    // Messages go to error, cut to error_size bytes (none when null).
    line_file(const char* path, char* error, int error_size) noexcept
        : path_(path), error_(error), error_size_(error_size) {}
    ~line_file();
    line_file(const line_file&) = delete;
    line_file& operator=(const line_file&) = delete;

    // Opens the file; -1 with "cannot read: <why>" at line 0.
    [[nodiscard]] int open() noexcept;
    // The next line, NUL-terminated, of any length; nullptr at the end of
    // the file, or for a fault (a NUL byte in the line, memory, a read
    // error), which *status tells: 0 at the end, -1 with its message.
    [[nodiscard]] char* next(int* status) noexcept;
    // A fault of the current line (line 0: of the whole file). Returns -1.
    int fail(const char* reason, const char* detail = "") const noexcept;
    // The number of the line last read; 0 to speak of the whole file.
    int line = 0;

private:
    const char* path_;
    char* error_;
    int error_size_;
    std::FILE* file_ = nullptr;
    char* text_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace temps::detail

#endif
