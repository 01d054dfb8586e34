#include "probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace korvane {
namespace {

// Formats "<root>%04d%02d%02d/KORVANE_<name>_%04d%02d%02d_V01.bin" into
// buf; false when it does not fit. Dates of the store (four-digit years)
// take a fast path: a run formats some 20000 paths, and their formatting
// would otherwise cost as much as the file-system calls it prepares.
bool file_path(char (&buf)[path_capacity], const char* root, const char* name, int year, int month,
               int day) {
    const std::size_t root_len = std::strlen(root), name_len = std::strlen(name);
    constexpr std::size_t fixed = 8 + 1 + (sizeof file_prefix - 1) + 1 + 8 + (sizeof file_suffix - 1);  // dates, '/', '_
    if (year < 0 || year > 9999 || month < 0 || month > 99 || day < 0 || day > 99) {
        const int n = std::snprintf(buf, sizeof buf, "%s%04d%02d%02d/%s%s_%04d%02d%02d%s", root, year, month, day,
                                    file_prefix, name, year, month, day, file_suffix);
        return n > 0 && static_cast<unsigned>(n) < sizeof buf;
    }
    if (root_len + name_len + fixed >= sizeof buf) return false;
    char* out = buf;
    out = std::copy_n(root, root_len, out);
    out = put_date(out, year, month, day);
    *out++ = '/';
    out = std::copy_n(file_prefix, sizeof file_prefix - 1, out);
    out = std::copy_n(name, name_len, out);
    *out++ = '_';
    out = put_date(out, year, month, day);
    out = std::copy_n(file_suffix, sizeof file_suffix, out);  // with its terminating NUL
    return true;
}

}  // namespace

probe_result probe_file(const char* root, const product& p, int year, int month, int day) {
    char path[path_capacity];
    constexpr probe_result missing{file_status::missing, 0, false};
    probe_result r{file_status::primary, 0, false};
    if (!file_path(path, root, p.first, year, month, day)) return missing;
    // Whether a test failed for another reason than the file's absence.
    auto untold = [] { return errno == EACCES || errno == EIO; };
    if (access(path, F_OK) != 0) {
        bool unreadable = untold();
        r.status = file_status::fallback;
        if (p.fallback == nullptr || !file_path(path, root, p.fallback, year, month, day) ||
            access(path, F_OK) != 0) {
            unreadable = unreadable || (p.fallback != nullptr && untold());
            return unreadable ? probe_result{file_status::unreadable, 0, false} : missing;
        }
    }
    struct stat st {};
    r.ctime_read = stat(path, &st) == 0;
    // Seconds since 1970 cut to 32 bits (modular in C++20).
    if (r.ctime_read) r.ctime = static_cast<int>(static_cast<std::uint32_t>(st.st_ctim.tv_sec));
    return r;
}

int probe_time(const probe_result& r) {
    if (r.status == file_status::missing || r.status == file_status::unreadable || !r.ctime_read) return 0;
    // A time that is 0 once cut to 32 bits would read as absent.
    return r.ctime != 0 ? r.ctime : 1;
}

int probe(const char* root, const product& p, int year, int month, int day) {
    return probe_time(probe_file(root, p, year, month, day));
}

bool store_searchable(const char* root) {
    struct stat st {};
    const bool setid = geteuid() != getuid() || getegid() != getgid();
    return stat(root, &st) == 0 && S_ISDIR(st.st_mode) &&
           faccessat(AT_FDCWD, root, X_OK, setid ? AT_EACCESS : 0) == 0;
}

int get_dernier_VAK(const char* root, int y, int m, int d) { return probe(root, products[0], y, m, d); }
int get_dernier_TOQ(const char* root, int y, int m, int d) { return probe(root, products[1], y, m, d); }
int get_dernier_ZEL(const char* root, int y, int m, int d) { return probe(root, products[2], y, m, d); }
int get_dernier_HUV(const char* root, int y, int m, int d) { return probe(root, products[3], y, m, d); }
int get_dernier_PEX(const char* root, int y, int m, int d) { return probe(root, products[4], y, m, d); }
int get_dernier_WYT(const char* root, int y, int m, int d) { return probe(root, products[5], y, m, d); }

}  // namespace korvane
