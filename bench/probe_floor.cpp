// probe_floor: the system calls of one check_korvane_web run and nothing
// else: for every day of the window and every product, access() on the
// first file name, on the fallback when the first is missing, then stat()
// on the one found; then, for each output file, the durable replacement of a
// file of that size: write, fsync, rename over it, fsync the folder. The
// floor that a full run is measured against.
//
// Usage: probe_floor ROOT [FILE SIZE]...    (ROOT ends in '/')
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <cstdio>
#include <cstring>

#include "mission.h"
#include "temps.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc % 2 != 0) return 255;
    const temps::date from = korvane::window_first_day, to = korvane::window_last_day;
    int jd0 = 0, jd1 = 0;
    if (temps::julday(from.month, from.day, from.year, &jd0) != 0 || temps::julday(to.month, to.day, to.year, &jd1) != 0)
        return 255;
    long found = 0;
    for (int jd = jd0; jd <= jd1; ++jd) {
        int y = 0, m = 0, d = 0;
        temps::caldat(&m, &d, &y, jd);
        // The day's directory and date once; each file only appends its name.
        char path[1024], date[16];
        std::snprintf(date, sizeof date, "%04d%02d%02d", y, m, d);
        const int prefix = std::snprintf(path, sizeof path, "%s%s/%s", argv[1], date, korvane::file_prefix);
        if (prefix <= 0 || prefix > 900) return 255;
        auto name_file = [&](const char* name) {
            char* out = path + prefix;
            const std::size_t n = std::strlen(name);
            std::memcpy(out, name, n);
            out[n] = '_';
            std::memcpy(out + n + 1, date, 8);
            std::memcpy(out + n + 9, korvane::file_suffix, sizeof korvane::file_suffix);
        };
        for (const korvane::product& p : korvane::products) {
            name_file(p.first);
            if (access(path, F_OK) != 0) {
                if (p.fallback == nullptr) continue;
                name_file(p.fallback);
                if (access(path, F_OK) != 0) continue;
            }
            struct stat st {};
            found += stat(path, &st) == 0 ? 1 : 0;
        }
    }
    // The durable replacement of each output, as a run makes it.
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string target = argv[i], temp = target + ".floor";
        const std::vector<char> bytes(std::strtoul(argv[i + 1], nullptr, 10), 'x');
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
            fsync(fd) != 0 || close(fd) != 0 || rename(temp.c_str(), target.c_str()) != 0)
            return 255;
        const std::string dir = target.substr(0, target.rfind('/') + 1);
        const int dfd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd < 0 || fsync(dfd) != 0) return 255;
        close(dfd);
    }
    std::printf("%ld\n", found);
    return 0;
}
