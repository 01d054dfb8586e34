// libFuzzer target: PERIODE's reading and listing on arbitrary argument
// bytes. The input is split at its first NUL into the two arguments.
// Checks: no crash, no undefined behaviour, and for two readable dates the
// listing has |jd_end - jd_start| + 1 lines, the renderings of consecutive
// day numbers. Periods longer than 4000 days are not listed (only read).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "period.h"
#include "temps.h"

namespace {

periode::output out;
char listing[4001 * 16];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string start = input.substr(0, nul);
    const std::string end = nul == std::string::npos ? std::string() : input.substr(nul + 1);

    static const int fd = memfd_create("listing", 0);
    if (fd < 0) std::abort();
    int jd_start = 0, jd_end = 0;
    const bool readable = periode::read_date(start.c_str(), &jd_start) &&
                          periode::read_date(end.c_str(), &jd_end);
    const long long span = static_cast<long long>(jd_end) - jd_start;
    if (readable && (span > 4000 || span < -4000)) return 0;

    if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) std::abort();
    out = periode::output{fd, 0, false, {}};
    const char* argv[] = {"PERIODE", start.c_str(), end.c_str()};
    const int status = periode::run(&out, 3, argv);
    if (status != (readable ? 0 : 255)) std::abort();
    if (!readable) return 0;

    const off_t n = lseek(fd, 0, SEEK_CUR);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof listing) std::abort();
    if (pread(fd, listing, static_cast<std::size_t>(n), 0) != n) std::abort();
    listing[n] = '\0';
    const int step = span >= 0 ? 1 : -1;
    long long lines = 0;
    char want[48];
    const char* line = listing;
    for (long long jd = jd_start;; jd += step) {
        int y = 0, m = 0, d = 0;
        temps::caldat(&m, &d, &y, static_cast<int>(jd));
        const int w = std::snprintf(want, sizeof want, "%04d%02d%02d\n", y, m, d);
        if (std::strncmp(line, want, static_cast<std::size_t>(w)) != 0) std::abort();
        line += w;
        ++lines;
        if (jd == jd_end) break;
    }
    if (*line != '\0' || lines != (span >= 0 ? span : -span) + 1) std::abort();
    return 0;
}
