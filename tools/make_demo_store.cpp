// make_demo_store: fills a demo L2 data store under ROOT for the whole
// availability window, the same way every run. The pattern reads like a
// real mission: an instrument commissioned late (PEX from 2005), one that
// failed (ZELK after September 2010), two ground-segment outages of a whole
// month, whole days lost, single products missing, days served only by a
// fallback file name, days with both names, and a few empty files.
//
// Usage: make_demo_store [--full] ROOT    (ROOT is created if missing)
// With --full every product's first file exists for every day of the
// window: the heaviest store a run can meet, for benchmarks.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "mission.h"
#include "temps.h"

namespace {

// A fixed mixing function: the same day and salt always give the same value.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// A draw in [0, 1000) for one day and one purpose.
int draw(int jd, int salt) {
    return static_cast<int>(mix(static_cast<std::uint64_t>(jd) * 64 + static_cast<unsigned>(salt)) % 1000);
}

bool make_dir(const char* path) { return mkdir(path, 0755) == 0 || errno == EEXIST; }

bool make_file(const char* root, const char* date, const char* name, bool empty) {
    char path[1024];
    std::snprintf(path, sizeof path, "%s%s/%s%s_%s%s", root, date, korvane::file_prefix, name, date,
                  korvane::file_suffix);
    std::FILE* f = std::fopen(path, "w");
    if (f == nullptr) return false;
    if (!empty) std::fprintf(f, "KORVANE L2 %s %s demo\n", name, date);
    return std::fclose(f) == 0;
}

// Which of a product's two names a day carries.
enum names { none, first_only, fallback_only, both };

names pick(int jd, int salt, int fallback_per_mille, int both_per_mille) {
    const int r = draw(jd, salt);
    if (r < 30) return none;  // 3 % single-product gaps
    if (r < 30 + fallback_per_mille) return fallback_only;
    if (r < 30 + fallback_per_mille + both_per_mille) return both;
    return first_only;
}

void usage(const char* self) {
    std::printf("Usage : %s [--full] ROOT\n\n"
                "Fills a demo KORVANE L2 data store under ROOT (created if missing).\n"
                "--full: every product's first file on every day, for benchmarks.\n",
                self);
}

}  // namespace

int main(int argc, char** argv) {
    // Options first, then exactly one root that is not an option: a
    // mistyped option must not become a folder of 13,000 files.
    bool full = false;
    const char* arg = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            usage(argv[0]);
            return 0;
        }
        if (std::strcmp(argv[i], "--full") == 0 && arg == nullptr) {
            full = true;
        } else if (argv[i][0] == '-' || arg != nullptr) {
            usage(argv[0]);
            return 2;
        } else {
            arg = argv[i];
        }
    }
    if (arg == nullptr) {
        usage(argv[0]);
        return 2;
    }
    char root[900];
    const std::size_t len = std::strlen(arg);
    if (len == 0 || len + 2 > sizeof root) {
        std::printf("root too long: %s\n", arg);
        return 255;
    }
    std::snprintf(root, sizeof root, "%s%s", arg, arg[len - 1] == '/' ? "" : "/");
    // Create ROOT and its parents.
    for (char* p = root + 1; *p != '\0'; ++p) {
        if (*p != '/') continue;
        *p = '\0';
        const bool ok = make_dir(root);
        *p = '/';
        if (!ok) {
            std::printf("cannot create %s\n", root);
            return 255;
        }
    }

    int first = 0, last = 0, files = 0;
    const temps::date from = korvane::window_first_day, to = korvane::window_last_day;
    if (temps::julday(from.month, from.day, from.year, &first) != 0 || temps::julday(to.month, to.day, to.year, &last) != 0)
        return 255;
    for (int jd = first; jd <= last; ++jd) {
        int y = 0, m = 0, d = 0;
        temps::caldat(&m, &d, &y, jd);
        if (!full && ((y == 2005 && m == 2) || (y == 2009 && m == 8))) continue;  // outages
        if (!full && draw(jd, 0) < 17) continue;                                // lost days
        char date[16], dir[1024];
        std::snprintf(date, sizeof date, "%04d%02d%02d", y, m, d);
        std::snprintf(dir, sizeof dir, "%s%s", root, date);
        if (!make_dir(dir)) {
            std::printf("cannot create %s\n", dir);
            return 255;
        }
        struct product_names {
            const char* first;
            const char* fallback;
            names which;
        };
        const product_names day[] = {
            {"VAK_SURVEY", "VAK_BURSTx", pick(jd, 1, 100, 30)},
            {"TOQ_HFx1024", "TOQ_VLF1024", pick(jd, 2, 150, 50)},
            {"ZEL_VLF1024", nullptr, y > 2010 || (y == 2010 && m > 9) ? none : pick(jd, 3, 0, 0)},
            {"HUV_BURSTx", "HUV_SURVEY", pick(jd, 4, 200, 40)},
            {"PEX_xxxxxx", nullptr, y < 2005 ? none : pick(jd, 5, 0, 0)},
            {"VAK_ORBITO", nullptr, pick(jd, 6, 0, 0)},
        };
        int salt = 10;
        for (product_names p : day) {
            if (full) p.which = first_only;
            const bool empty = draw(jd, ++salt) < 10;  // 1 % empty files
            bool ok = true;
            if (p.which == first_only || p.which == both) ok = make_file(root, date, p.first, empty);
            if (ok && (p.which == fallback_only || p.which == both))
                ok = make_file(root, date, p.fallback, empty);
            if (!ok) {
                std::printf("cannot write in %s\n", dir);
                return 255;
            }
            files += p.which == both ? 2 : p.which == none ? 0 : 1;
        }
    }
    std::printf("demo store: %d files under %s\n", files, root);
    return 0;
}
