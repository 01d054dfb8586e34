#include "run.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "convert.h"
#include "lines.h"
#include "options.h"
#include "text_output.h"

namespace conversion {

int run(int argc, const char* const* argv, int in_fd, int out_fd, int err_fd) {
    settings s;
    if (const int ended = read_options(argc, argv, out_fd, err_fd, &s); ended >= 0) return ended;
    auto out = std::make_unique<temps::detail::block_output>(temps::detail::block_output{out_fd});
    auto cv = std::make_unique<converter>(s, err_fd, out.get());
    if (!cv->open()) return cv->status();
    if (s.values.empty()) each_line(in_fd, *cv);
    for (std::size_t v = 0; v < s.values.size() && !cv->done(); ++v) cv->convert(s.values[v]);
    cv->warn();
    if (!out->flush()) {
        say(err_fd, std::string("standard output: ") + std::strerror(errno));
        return 1;
    }
    return cv->status();
}

}  // namespace conversion
