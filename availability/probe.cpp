#include "probe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace korvane {
namespace {

// Formats the path of one file into buf; false when it does not fit.
bool file_path(char (&buf)[1024], const char* root, const char* name, int year, int month,
               int day) {
    const int n = std::snprintf(buf, sizeof buf, "%s%04d%02d%02d/KORVANE_%s_%04d%02d%02d_V01.bin",
                                root, year, month, day, name, year, month, day);
    return n > 0 && static_cast<unsigned>(n) < sizeof buf;
}

}  // namespace

int probe(const char* root, const product& p, int year, int month, int day) {
    char path[1024];
    if (!file_path(path, root, p.first, year, month, day)) return 0;
    if (access(path, F_OK) != 0) {
        if (p.fallback == nullptr) return 0;
        if (!file_path(path, root, p.fallback, year, month, day)) return 0;
        if (access(path, F_OK) != 0) return 0;
    }
    struct stat st {};
    if (stat(path, &st) != 0) return 0;
    // Seconds since 1970 cut to 32 bits (modular in C++20).
    return static_cast<int>(static_cast<std::uint32_t>(st.st_ctim.tv_sec));
}

int get_dernier_VAK(const char* root, int y, int m, int d) { return probe(root, products[0], y, m, d); }
int get_dernier_TOQ(const char* root, int y, int m, int d) { return probe(root, products[1], y, m, d); }
int get_dernier_ZEL(const char* root, int y, int m, int d) { return probe(root, products[2], y, m, d); }
int get_dernier_HUV(const char* root, int y, int m, int d) { return probe(root, products[3], y, m, d); }
int get_dernier_PEX(const char* root, int y, int m, int d) { return probe(root, products[4], y, m, d); }
int get_dernier_WYT(const char* root, int y, int m, int d) { return probe(root, products[5], y, m, d); }

}  // namespace korvane
