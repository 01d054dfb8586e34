// libFuzzer target: the state file, which a run reads back and must never
// trust. The input gets a correct checksum line, so that the fuzzer reaches
// the parser behind it; whatever the parser accepts must write back to the
// very same bytes, and a file it refuses must not crash it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("state", 0);
    static auto record = std::make_unique<korvane::survey_record>();
    std::string text(reinterpret_cast<const char*>(data), size);
    std::uint64_t h = 14695981039346656037ULL;
    for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    char end[32];
    std::snprintf(end, sizeof end, "end %016llx\n", static_cast<unsigned long long>(h));
    text += end;
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
        return 0;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    if (!korvane::read_state(path, record.get())) return 0;
    char* back = nullptr;
    std::size_t back_size = 0;
    std::FILE* f = open_memstream(&back, &back_size);
    if (f == nullptr || korvane::write_state(f, *record) != 0 || std::fclose(f) != 0) std::abort();
    if (back_size != text.size() || std::memcmp(back, text.data(), back_size) != 0) std::abort();
    std::free(back);
    return 0;
}
