// Reads and writes ISO 8601 labels with the installed time library, and
// converts them with its converter: UTC labels, one an argument, to TAI,
// TT2000 and POSIX time, each label also read back from its TT2000.
// Usage: labels LEAP_SECONDS_FILE LABEL...
#include <temps/temps.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: labels LEAP_SECONDS_FILE LABEL...\n");
        return 2;
    }
    temps::leap_second_table leaps;
    char error[256];
    if (temps::read_leap_seconds(argv[1], &leaps, error, sizeof error) != 0) {
        std::fprintf(stderr, "%s\n", error);
        return 2;
    }
    // One converter per pair of formats, set up once.
    auto to = [&leaps](temps::format target) {
        temps::converter_settings s;
        s.from = temps::format::utc, s.to = target, s.precision = 3, s.leaps = &leaps;
        return s;
    };
    temps::converter to_tai(to(temps::format::tai)), to_tt2000(to(temps::format::tt2000)),
        to_unix(to(temps::format::posix));
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        // The label's own fields, and the label written back from them.
        temps::civil_time c{};
        char text[temps::label_capacity];
        if (temps::read_label(argv[i], &c) != 0) {
            std::printf("%s: not a label\n", argv[i]);
            status = 1;
            continue;
        }
        std::printf("%s", std::string(text, temps::write_label(c, 9, text)).c_str());
        for (temps::converter* cv : {&to_tai, &to_tt2000, &to_unix}) {
            char out[64];
            std::size_t n = 0;
            if (cv->convert_text(argv[i], out, &n) == temps::refusal::none) {
                std::printf(" %.*s", static_cast<int>(n), out);
            } else {
                std::printf(" (%s)", cv->reason());
                status = 1;
            }
        }
        std::printf("\n");
    }
    return status;
}
