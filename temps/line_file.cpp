#include "line_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace temps::detail {

line_file::~line_file() {
    std::free(text_);  // NOLINT(cppcoreguidelines-no-malloc): getline's buffer
    if (file_ != nullptr) std::fclose(file_);
}

int line_file::open() noexcept {
    // A FIFO or a device named as a file must not block or flood the
    // reader: only a regular file is read (opened without waiting, then
    // looked at).
    const int fd = ::open(path_, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return fail("cannot read: ", std::strerror(errno));
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail("not a regular file");
    }
    file_ = fdopen(fd, "r");
    if (file_ == nullptr) {
        const int why = errno;
        ::close(fd);
        return fail("cannot read: ", std::strerror(why));
    }
    return 0;
}

char* line_file::next(int* status) noexcept {
    ++line;
    errno = 0;
    const ssize_t n = getline(&text_, &size_, file_);
    if (n >= 0) {
        if (std::memchr(text_, '\0', static_cast<std::size_t>(n)) == nullptr) return text_;
        *status = fail("NUL byte in the line");
        return nullptr;
    }
    const int why = errno;
    if (why == ENOMEM) {
        *status = fail("out of memory");
    } else if (std::ferror(file_) != 0) {
        line = 0;
        *status = fail("cannot read: ", std::strerror(why));
    } else {
        *status = 0;
    }
    return nullptr;
}

int line_file::fail(const char* reason, const char* detail) const noexcept {
    if (error_ != nullptr && error_size_ > 0)
        std::snprintf(error_, static_cast<std::size_t>(error_size_), "%s:%d: %s%s", path_, line, reason, detail);
    return -1;
}

}  // namespace temps::detail
