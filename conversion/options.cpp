#include "options.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "convert.h"

namespace conversion {
namespace {

constexpr char usage_text[] =
    "Usage: temps [--leap-seconds FILE] [--correlation FILE] [--sclk FILE [--clock ID]] [--lsk FILE]\n"
    "             [-p|--precision N]\n"
    "             [--on-error=skip|empty|stop] -f|--from FORMAT -t|--to FORMAT [--] [VALUE...]\n"
    "Converts each VALUE, or each line of standard input, from one time format to another.\n"
    "Formats:\n%s"
    "--pfield HEX: the P-field of output codes (default 40 for CDS, 1E for CUC);\n"
    "--implicit-pfield HEX: input codes carry no P-field, this one; --agency-epoch YYYY-MM-DD.\n"
    "--precision N: digits of the fraction of a second of a label or a yday (0 to 9, default 3),\n"
    "  truncated; unix is printed to the nanosecond,\n"
    "  TU to the microsecond, truncated, and an on-board reading to 6 decimals.\n"
    "--on-error: a value that cannot be converted gets its message and no line (skip, the\n"
    "  default), an empty line (empty: the output stays aligned with the input), or ends the\n"
    "  run (stop).\n"
    "--leap-seconds FILE: the leap-second list (default %s; with --lsk and no\n"
    "  --leap-seconds, the LSK's leap seconds).\n"
    "--sclk FILE: a SPICE clock kernel (type 1), for sclk; --clock ID: its clock, where it has several.\n"
    "--lsk FILE: a SPICE leap-second kernel, for et and for clocks of TDB.\n";

// What the options gave, beyond the settings.
struct given {
    bool from = false, to = false, pfield = false, precision = false;
    temps::time_code_layout out_pfield{};
};

// Sets an option that takes a value: nullptr, or what the value should be.
const char* set_option(std::string_view name, std::string_view value, settings* s, given* g) {
    bool ok = true;
    const char* expected = "";
    if (name == "--from" || name == "--to") {
        // Every format of the library that has a text form.
        const temps::format_info* f = temps::format_named(value);
        ok = f != nullptr && f->has_text, expected = "a format";
        if (ok) (name == "--from" ? s->from : s->to) = f->id;
        (name == "--from" ? g->from : g->to) = ok;
    } else if (name == "--leap-seconds" || name == "--correlation" || name == "--sclk" || name == "--lsk") {
        ok = !value.empty(), expected = "a file";
        (name == "--leap-seconds" ? s->leap_path
         : name == "--correlation" ? s->correlation_path
         : name == "--sclk"        ? s->sclk_path
                                   : s->lsk_path) = value.data();
        s->leap_given = s->leap_given || name == "--leap-seconds";
    } else if (name == "--clock") {
        ok = !value.empty(), expected = "a clock's id";
        s->clock = value.data();
    } else if (name == "--precision") {
        ok = value.size() == 1 && value[0] >= '0' && value[0] <= '9', expected = "a digit 0 to 9";
        s->precision = ok ? value[0] - '0' : 3;
        g->precision = true;
    } else if (name == "--on-error") {
        expected = "skip, empty or stop";
        ok = value == "skip" || value == "empty" || value == "stop";
        s->when_failed = value == "empty" ? on_error::empty : value == "stop" ? on_error::stop : on_error::skip;
    } else if (name == "--pfield" || name == "--implicit-pfield") {
        std::uint8_t p[2];
        const int n = temps::read_hex(value, p, sizeof p);
        temps::time_code_layout* l = name == "--pfield" ? &g->out_pfield : &s->in_layout;
        ok = n > 0 && temps::read_pfield(p, static_cast<std::size_t>(n), l, nullptr) == 0 && l->pfield_octets == n;
        expected = "a P-field in hexadecimal";
        (name == "--pfield" ? g->pfield : s->implicit) = true;
    } else {
        temps::civil_time d{};
        temps::scale_time check{};
        ok = temps::read_label(std::string(value) + "T00:00:00", &d) == 0 && temps::count_of(d, &check) == 0;
        expected = "a date YYYY-MM-DD";
        s->epoch = {d.year, d.month, d.day};
        s->have_epoch = true;
    }
    return ok ? nullptr : expected;
}

// Checks the settings as a whole and completes them: "" or a usage error.
std::string settled(settings* s, given& g) {
    if (!g.from || !g.to) return std::string("--") + (g.from ? "to" : "from") + " is needed";
    if (g.precision && !temps::info_of(s->to).takes_precision)
        return "--precision applies to labels only (--to utc, tai, tt, gps or yday)";
    // The output code's layout: --pfield, else 40 (CDS: 1958 epoch, 16-bit
    // day, milliseconds) or 1E (CUC level 1, 4 coarse and 2 fine octets).
    using temps::format;
    const std::uint8_t default_pfield = s->to == format::cds ? 0x40 : 0x1E;
    if (!g.pfield) static_cast<void>(temps::read_pfield(&default_pfield, 1, &g.out_pfield, nullptr));
    if ((s->to == format::cds || s->to == format::cuc) && g.out_pfield.cds != (s->to == format::cds))
        return "--pfield does not describe a " + std::string(s->to == format::cds ? "CDS" : "CUC") + " code";
    if ((temps::info_of(s->from).needs_correlation || temps::info_of(s->to).needs_correlation) &&
        s->correlation_path == nullptr)
        return "obt needs --correlation FILE";
    if ((temps::info_of(s->from).needs_clock || temps::info_of(s->to).needs_clock) && s->sclk_path == nullptr)
        return "sclk needs --sclk FILE";
    s->out_layout = g.out_pfield;
    return "";
}

}  // namespace

std::string quoted(std::string_view v) {
    std::string q = "'";
    const std::size_t shown = std::min<std::size_t>(v.size(), 200);
    for (std::size_t i = 0; i < shown;) {
        const auto c = static_cast<unsigned char>(v[i]);
        // The length of a well-formed UTF-8 sequence at i, 0 for none.
        std::size_t len = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        for (std::size_t k = 1; k < len; ++k)
            if (i + k >= v.size() || (static_cast<unsigned char>(v[i + k]) & 0xC0) != 0x80) len = 0;
        if (len == 3 && ((c == 0xE0 && static_cast<unsigned char>(v[i + 1]) < 0xA0) ||
                         (c == 0xED && static_cast<unsigned char>(v[i + 1]) >= 0xA0)))
            len = 0;  // overlong, or a surrogate
        if (len == 4 && ((c == 0xF0 && static_cast<unsigned char>(v[i + 1]) < 0x90) ||
                         (c == 0xF4 && static_cast<unsigned char>(v[i + 1]) >= 0x90)))
            len = 0;  // overlong, or past U+10FFFF
        if (len == 1 && c >= 0x20 && c != 0x7F && c != '\'' && c != '\\') {
            q += static_cast<char>(c);
        } else if (len > 1) {
            q.append(v.substr(i, len));
        } else {
            char e[8];
            std::snprintf(e, sizeof e, c == '\'' || c == '\\' ? "\\%c" : "\\%03o", c);
            q += e;
            len = 1;
        }
        i += len;
    }
    return q + (v.size() > shown ? "'..." : "'");
}

void say(int fd, const std::string& text) {
    const std::string line = "temps: " + text + "\n";
    static_cast<void>(write(fd, line.data(), line.size()));
}

int read_options(int argc, const char* const* argv, int out_fd, int err_fd, settings* s) {
    auto usage = [&](int fd) {
        // The formats, from the library's table.
        std::string formats;
        for (const temps::format_info& f : temps::formats()) {
            if (!f.has_text) continue;
            std::string name = "  " + std::string(f.name);
            name.resize(std::max<std::size_t>(name.size() + 1, 11), ' ');
            formats += name + std::string(f.what) + "\n";
        }
        std::string text(sizeof usage_text + formats.size() + 256, '\0');
        const int n = std::snprintf(text.data(), text.size(), usage_text, formats.c_str(), temps::default_leap_seconds_path());
        return write(fd, text.data(), static_cast<std::size_t>(n)) == n;
    };
    // A usage error: one line that names it, and where to read more.
    auto usage_error = [&](const std::string& what) {
        say(err_fd, what);
        const char more[] = "Try 'temps --help'.\n";
        static_cast<void>(write(err_fd, more, sizeof more - 1));
        return 2;
    };
    // What was written to standard output must have reached it.
    auto answered = [&](bool written) {
        if (written) return 0;
        say(err_fd, std::string("standard output: ") + std::strerror(errno));
        return 1;
    };
    // Options may come anywhere before "--"; the other arguments are
    // values. A value may start with '-' (a TU or a JD before its epoch):
    // an option is "--" and a name, or '-' and a letter.
    bool options = true;
    given g;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (options && a == "--") {
            options = false;
            continue;
        }
        const bool long_option = a.size() > 2 && a.substr(0, 2) == "--";
        const bool short_option = a.size() >= 2 && a[0] == '-' && ((a[1] >= 'a' && a[1] <= 'z') || (a[1] >= 'A' && a[1] <= 'Z'));
        if (!options || (!long_option && !short_option)) {
            s->values.push_back(argv[i]);
            continue;
        }
        if (a == "--help") return answered(usage(out_fd));
        if (a == "--version") {
            const char text[] = "temps " TEMPS_VERSION "\n";
            return answered(write(out_fd, text, sizeof text - 1) == sizeof text - 1);
        }
        std::string_view name = a, value;
        bool has_value = false;
        if (short_option) {
            constexpr struct {
                char letter;
                std::string_view name;
            } letters[] = {{'f', "--from"}, {'t', "--to"}, {'p', "--precision"}};
            name = {};
            for (const auto& l : letters)
                if (a[1] == l.letter) name = l.name;
            if (name.empty()) return usage_error("unknown option " + quoted(a.substr(0, 2)));
            if (a.size() > 2) value = a.substr(2), has_value = true;
        } else if (const auto eq = a.find('='); eq != std::string_view::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            has_value = true;
        }
        constexpr std::string_view known[] = {"--from",  "--to",     "--leap-seconds",    "--correlation", "--precision",
                                              "--pfield", "--on-error", "--implicit-pfield", "--agency-epoch",
                                              "--sclk",   "--lsk",      "--clock"};
        if (std::find(std::begin(known), std::end(known), name) == std::end(known))
            return usage_error("unknown option " + quoted(name));
        if (!has_value) {
            if (i + 1 >= argc) return usage_error("option " + std::string(name) + " needs a value");
            value = argv[++i];
        }
        if (const char* expected = set_option(name, value, s, &g))
            return usage_error(std::string(name) + ": " + quoted(value) + " is not " + expected);
    }
    if (const std::string wrong = settled(s, g); !wrong.empty()) return usage_error(wrong);
    return -1;
}

}  // namespace conversion
