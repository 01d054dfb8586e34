// libFuzzer target: the temps command over random clock-correlation tables
// and values. The input is a byte choosing the conversion, then the table's
// text, then after a 0x01 byte the values, one a line. Checks: no
// undefined behaviour and no write past a buffer (the sanitizers), an exit
// status of 0, 1 or 2, and output lines that hold no NUL byte.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../../conversion/run.h"  // the command's, not the watch's run.h

namespace {

// A file of its own in the temporary folder, rewritten for each input.
std::string temp_file(const char* name) {
    const char* tmp = std::getenv("TMPDIR");
    std::string p = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/" + name + ".XXXXXX";
    const int fd = mkstemp(p.data());
    if (fd < 0) std::abort();
    close(fd);
    return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string table = temp_file("fuzz_command");
    static const int removed_at_exit = std::atexit([] { unlink(table.c_str()); });
    (void)removed_at_exit;
    if (size < 1) return 0;
    // The conversions that read or write on-board readings, and a label one.
    static const char* const pairs[][2] = {{"utc", "obt"}, {"obt", "utc"}, {"obt", "tai"}, {"tu", "obt"},
                                           {"obt", "cds"}, {"cuc", "obt"}, {"jd", "obt"},  {"obt", "tu"}};
    const auto& pair = pairs[data[0] % (sizeof pairs / sizeof pairs[0])];
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t cut = rest.find('\x01');
    const std::string text = rest.substr(0, cut), values = cut == std::string::npos ? "" : rest.substr(cut + 1);
    const int tfd = open(table.c_str(), O_WRONLY | O_TRUNC);
    if (tfd < 0 || write(tfd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) || close(tfd) != 0)
        std::abort();
    const int in = memfd_create("in", 0), out = memfd_create("out", 0), err = memfd_create("err", 0);
    if (in < 0 || out < 0 || err < 0 || write(in, values.data(), values.size()) != static_cast<ssize_t>(values.size()) ||
        lseek(in, 0, SEEK_SET) != 0)
        std::abort();
    const char* argv[] = {"temps", "--leap-seconds", KORVANE_LEAP_SECONDS, "--correlation", table.c_str(),
                          "--from", pair[0], "--to", pair[1]};
    const int status = conversion::run(static_cast<int>(sizeof argv / sizeof argv[0]), argv, in, out, err);
    if (status < 0 || status > 2) std::abort();
    const off_t n = lseek(out, 0, SEEK_END);
    std::string written(static_cast<std::size_t>(n), '\0');
    if (pread(out, written.data(), written.size(), 0) != n) std::abort();
    if (written.find('\0') != std::string::npos) std::abort();
    close(in);
    close(out);
    close(err);
    return 0;
}
