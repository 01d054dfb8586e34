// libFuzzer target: the state file, which a run reads back and must never
// trust. The input is the survey, then after a 0x01 byte what follows its
// end line; the survey gets a correct checksum line, so that the fuzzer
// reaches the parser behind it. Whatever the parser accepts must write
// back to the very same survey, published exactly when the text after
// the end line was the published line, and a file it refuses must not
// crash it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "state.h"

namespace {

constexpr char root[] = "/DATA/KORVANE/DATA/L2/";

// A file of its own in the temporary folder: the reader follows no link,
// so a /proc/self/fd name would not do.
const char* state_path() {
    static std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string p = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/fuzz_state.XXXXXX";
        const int fd = mkstemp(p.data());
        if (fd < 0) std::abort();
        close(fd);
        return p;
    }();
    static const int removed_at_exit = std::atexit([] { unlink(path.c_str()); });
    (void)removed_at_exit;
    return path.c_str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto record = std::make_unique<korvane::survey_record>();
    std::string text(reinterpret_cast<const char*>(data), size), after;
    if (const std::size_t cut = text.find('\x01'); cut != std::string::npos) {
        after = text.substr(cut + 1);
        text.resize(cut);
    }
    auto seal = [](std::string t) {
        std::uint64_t h = 14695981039346656037ULL;
        for (const char c : t) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        char end[32];
        std::snprintf(end, sizeof end, "end %016llx\n", static_cast<unsigned long long>(h));
        return t + end;
    };
    // A state of version 2 is read, and written back as version 3.
    constexpr std::string_view v2 = "korvane-watch survey state 2\n";
    std::string written = text;
    if (written.compare(0, v2.size(), v2) == 0) written[v2.size() - 2] = '3';
    text = seal(text);
    written = seal(written);
    std::FILE* in = std::fopen(state_path(), "w");
    if (in == nullptr || std::fwrite(text.data(), 1, text.size(), in) != text.size() ||
        std::fwrite(after.data(), 1, after.size(), in) != after.size() || std::fclose(in) != 0)
        std::abort();
    if (!korvane::read_state(state_path(), root, record.get())) return 0;
    char* back = nullptr;
    std::size_t back_size = 0;
    std::FILE* f = open_memstream(&back, &back_size);
    if (f == nullptr || korvane::write_state(f, *record, root) != 0 || std::fclose(f) != 0) std::abort();
    const std::string expected = written + (record->published ? after : "");
    if (back_size != expected.size() || std::memcmp(back, expected.data(), back_size) != 0) std::abort();
    std::free(back);
    return 0;
}
