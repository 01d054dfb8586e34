// NAIF text kernels: comments, and between \begindata and \begintext the
// assignments NAME = value, NAME = ( values ), NAME += ( values ).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>

#include "calendar.h"
#include "spice.h"

namespace temps {
namespace {

constexpr const char* month_names[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// The month of a name (three letters or more of it, any case) or number.
int month_of(std::string_view m) {
    int n = 0;
    if (const auto [end, ec] = std::from_chars(m.data(), m.data() + m.size(), n); ec == std::errc{} && end == m.data() + m.size())
        return n >= 1 && n <= 12 ? n : 0;
    if (m.size() < 3) return 0;
    for (int i = 0; i < 12; ++i) {
        bool same = true;
        for (std::size_t k = 0; k < m.size() && same; ++k)
            same = k < 3 ? std::toupper(static_cast<unsigned char>(m[k])) == month_names[i][k]
                         : std::isalpha(static_cast<unsigned char>(m[k])) != 0;
        if (same) return i + 1;
    }
    return 0;
}

// An @date: YYYY-MON-DD or YYYY-MM-DD, then optionally a T, '-', '/' or
// blank and HH:MM[:SS[.fraction]]; its seconds past J2000 (days of 86400 s
// from 2000-01-01T12:00:00 of the same calendar).
bool read_date(std::string_view d, long double* seconds) {
    const std::size_t a = d.find('-');
    const std::size_t b = a == std::string_view::npos ? a : d.find('-', a + 1);
    if (b == std::string_view::npos) return false;
    std::size_t end = b + 1;
    while (end < d.size() && std::isdigit(static_cast<unsigned char>(d[end])) != 0) ++end;
    int year = 0, day = 0;
    const int month = month_of(d.substr(a + 1, b - a - 1));
    if (std::from_chars(d.data(), d.data() + a, year).ptr != d.data() + a || month == 0 ||
        std::from_chars(d.data() + b + 1, d.data() + end, day).ptr != d.data() + end || day < 1 || day > 31)
        return false;
    double clock = 0.0;
    if (end < d.size()) {
        if (std::strchr("T-/ ", d[end]) == nullptr) return false;
        int h = 0, m = 0;
        double s = 0.0;
        const std::string_view t = d.substr(end + 1);
        const auto [p1, e1] = std::from_chars(t.data(), t.data() + t.size(), h);
        if (e1 != std::errc{} || p1 == t.data() + t.size() || *p1 != ':') return false;
        const auto [p2, e2] = std::from_chars(p1 + 1, t.data() + t.size(), m);
        if (e2 != std::errc{}) return false;
        if (p2 != t.data() + t.size()) {
            if (*p2 != ':' || std::from_chars(p2 + 1, t.data() + t.size(), s).ptr != t.data() + t.size()) return false;
        }
        clock = h * 3600.0 + m * 60.0 + s;
    }
    int jd = 0;
    if (julday(month, day, year, &jd) != 0) return false;
    *seconds = (jd - 2451545) * 86400.0L - 43200.0L + clock;
    return true;
}

// 10^k for k = 0 to 27, each exact in a long double (5^27 < 2^64).
constexpr auto powers_of_ten = [] {
    std::array<long double, 28> p{};
    long double x = 1;
    for (long double& v : p) v = x, x *= 10;
    return p;
}();

// A number of up to 19 digits and a power of ten within 10^27 either way:
// its digits as a whole number times or over that power, one rounding of
// two exact numbers, which is the correctly rounded value strtold gives.
// false for any other text, which std::from_chars then reads.
bool read_short_number(std::string_view v, long double* x) {
    std::size_t i = 0;
    const bool negative = i < v.size() && v[i] == '-';
    if (negative) ++i;
    std::uint64_t digits = 0;
    int count = 0, scale = 0;  // digits read; of them after the point
    bool point = false;
    for (; i < v.size(); ++i) {
        if (v[i] == '.' && !point) {
            point = true;
        } else if (v[i] >= '0' && v[i] <= '9') {
            if (++count > 19) return false;
            digits = digits * 10 + static_cast<unsigned>(v[i] - '0');
            scale += point ? 1 : 0;
        } else {
            break;
        }
    }
    if (count == 0) return false;
    int exponent = 0;
    if (i < v.size()) {
        if (std::strchr("EeDd", v[i]) == nullptr || ++i == v.size()) return false;
        const bool down = v[i] == '-';
        if (v[i] == '-' || v[i] == '+') ++i;
        if (i == v.size() || v.size() - i > 4) return false;
        for (; i < v.size(); ++i) {
            if (v[i] < '0' || v[i] > '9') return false;
            exponent = exponent * 10 + (v[i] - '0');
        }
        exponent = down ? -exponent : exponent;
    }
    const int k = exponent - scale;
    if (k < -27 || k > 27) return false;
    const auto m = static_cast<long double>(digits);
    *x = k >= 0 ? m * powers_of_ten[static_cast<std::size_t>(k)] : m / powers_of_ten[static_cast<std::size_t>(-k)];
    if (negative) *x = -*x;
    return true;
}

// A number as kernels write them: D or d for E.
bool read_number(std::string_view v, long double* x) {
    if (!v.empty() && v[0] == '+') v.remove_prefix(1);
    if (read_short_number(v, x)) return true;
    std::string s(v);
    for (char& c : s)
        if (c == 'D' || c == 'd') c = 'E';
    const char* p = s.c_str();
    const auto [end, ec] = std::from_chars(p, s.c_str() + s.size(), *x);
    return ec == std::errc{} && end == s.c_str() + s.size();
}

// What separates the values of a list.
constexpr bool separator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == ','; }

class parser {
public:
    parser(std::string_view text, const char* name, kernel_pool* pool) : text_(text), name_(name), pool_(pool) {}

    // 0, or -1 with the message in error.
    int parse(char* error, int error_size) {
        const bool ok = run();
        if (!ok && error != nullptr && error_size > 0)
            std::snprintf(error, static_cast<std::size_t>(error_size), "%s:%d: %s", name_, line_, why_.c_str());
        return ok ? 0 : -1;
    }

private:
    bool fail(const std::string& why) {
        why_ = why;
        return false;
    }

    // The lines of data, each given to assignments; comments skipped.
    bool run() {
        bool data = false;
        std::size_t at = 0;
        while (at <= text_.size()) {
            const std::size_t nl = std::min(text_.find('\n', at), text_.size());
            std::string_view l = text_.substr(at, nl - at);
            ++line_;
            at = nl + 1;
            const std::size_t first = l.find_first_not_of(" \t\r");
            const std::string_view word = first == std::string_view::npos ? std::string_view() : l.substr(first);
            if (word.rfind("\\begindata", 0) == 0) {
                data = true;
            } else if (word.rfind("\\begintext", 0) == 0) {
                if (!statement_.empty()) return fail("an assignment not ended before \\begintext");
                data = false;
            } else if (data && !line(l)) {
                return false;
            }
            if (nl == text_.size()) break;
        }
        if (!statement_.empty()) return fail("an assignment not ended at the end of the kernel");
        return true;
    }

    // Gathers the text of an assignment, which may run over lines, and
    // assigns it once complete. Each line's text is scanned once: a list
    // of thousands of lines is read in as many steps. An assignment of one
    // line is read where it is, not copied.
    bool line(std::string_view l) {
        const bool fresh = statement_.empty();
        if (!fresh) {
            statement_ += ' ';
            statement_ += l;
        }
        const std::string_view text = fresh ? l : std::string_view(statement_);
        for (std::size_t& i = scanned_; i < text.size(); ++i) {
            const char c = text[i];
            if (quoted_) {
                if (c == '\'') quoted_ = !(i + 1 < text.size() && text[i + 1] == '\'') ? false : (++i, true);
                continue;
            }
            if (c == '\'') quoted_ = true;
            else if (c == '=' && values_at_ == 0) values_at_ = i + 1;
            else if (c == '(') ++depth_;
            else if (c == ')' && depth_ > 0) --depth_;
        }
        if (values_at_ == 0 && text.find_first_not_of(" \t\r") == std::string::npos) {
            start_statement();
            return true;
        }
        // Complete: a single value, or the parentheses closed.
        const std::size_t open = values_at_ == 0 ? std::string::npos : text.find_first_not_of(" \t\r", values_at_);
        if (values_at_ == 0 || quoted_ || open == std::string::npos || (text[open] == '(' && depth_ > 0)) {
            if (fresh) statement_.assign(l);  // the rest on the lines to come
            return true;
        }
        const bool ok = assign(text, values_at_);
        start_statement();
        return ok;
    }

    void start_statement() {
        statement_.clear();
        scanned_ = depth_ = values_at_ = 0;
        quoted_ = false;
    }

    bool assign(std::string_view s, std::size_t values_at) {
        std::size_t name_end = values_at - 1;
        bool append = false;
        if (name_end > 0 && s[name_end - 1] == '+') append = true, --name_end;
        const std::size_t b = s.find_first_not_of(" \t\r");
        std::size_t e = name_end;
        while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
        const std::string name(s.substr(b, e - b));
        if (name.empty() || name.find_first_of(" \t(),'") != std::string::npos || name.size() > 32)
            return fail("not a variable name: " + name);
        // Room for as many values as there are words: a list of thousands
        // is not moved as it grows.
        std::vector<kernel_value> values;
        std::size_t words = 0;
        for (std::size_t k = values_at; k + 1 < s.size(); ++k)
            words += (separator(s[k]) || s[k] == '(') && !separator(s[k + 1]) && s[k + 1] != '(' && s[k + 1] != ')' ? 1 : 0;
        values.reserve(words);
        std::size_t i = s.find_first_not_of(" \t\r", values_at);
        const bool list = s[i] == '(';
        if (list) ++i;
        for (;;) {
            while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == ',')) ++i;
            if (i >= s.size()) {
                if (list) return fail("no ')' after the values of " + name);
                break;
            }
            if (s[i] == ')') {
                if (!list) return fail("a ')' without '(' in " + name);
                if (s.find_first_not_of(" \t\r", i + 1) != std::string::npos) return fail("text after the values of " + name);
                break;
            }
            kernel_value v;
            if (s[i] == '\'') {
                v.is = kernel_value::kind::text;
                for (++i; i < s.size(); ++i) {
                    if (s[i] == '\'') {
                        if (i + 1 < s.size() && s[i + 1] == '\'') {
                            v.text += '\'';
                            ++i;
                            continue;
                        }
                        break;
                    }
                    v.text += s[i];
                }
                ++i;
            } else {
                std::size_t end = i;
                while (end < s.size() && !separator(s[end]) && s[end] != ')') ++end;
                if (end == s.size()) end = std::string::npos;
                const std::string_view token = std::string_view(s).substr(i, (end == std::string::npos ? s.size() : end) - i);
                i = end == std::string::npos ? s.size() : end;
                if (token[0] == '@') {
                    v.is = kernel_value::kind::date;
                    v.text = std::string(token.substr(1));
                    if (!read_date(token.substr(1), &v.number)) return fail("not a date: " + std::string(token));
                } else if (!read_number(token, &v.number)) {
                    return fail("not a number: " + std::string(token));
                }
            }
            values.push_back(std::move(v));
            if (!list) {
                if (s.find_first_not_of(" \t\r", i) != std::string::npos) return fail("more than one value without ( )");
                break;
            }
        }
        auto& slot = pool_->variables[name];
        if (!append || slot.empty()) slot = std::move(values);
        else slot.insert(slot.end(), std::make_move_iterator(values.begin()), std::make_move_iterator(values.end()));
        return true;
    }

    std::string_view text_;
    const char* name_;
    kernel_pool* pool_;
    int line_ = 0;
    std::string statement_;
    // How far statement_ is scanned, and what was seen: the depth of
    // parentheses, inside a string, and where the values start after the
    // '=' (0: no '=' yet).
    std::size_t scanned_ = 0, depth_ = 0, values_at_ = 0;
    bool quoted_ = false;
    std::string why_;
};

}  // namespace

int read_text_kernel_text(std::string_view text, const char* name, kernel_pool* pool, char* error,
                          int error_size) noexcept {
    try {
        kernel_pool read = *pool;
        parser p(text, name, &read);
        if (p.parse(error, error_size) != 0) return -1;
        *pool = std::move(read);
        return 0;
    } catch (const std::bad_alloc&) {
        if (error != nullptr && error_size > 0) std::snprintf(error, static_cast<std::size_t>(error_size), "%s:0: out of memory", name);
        return -1;
    }
}

int read_text_kernel(const char* path, kernel_pool* pool, char* error, int error_size) noexcept {
    auto fail = [&](const char* why, const char* detail) {
        if (error != nullptr && error_size > 0)
            std::snprintf(error, static_cast<std::size_t>(error_size), "%s:0: %s%s", path, why, detail);
        return -1;
    };
    // Only a regular file is read: a FIFO or a device must not block or
    // flood the reader.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return fail("cannot read: ", std::strerror(errno));
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail("not a regular file", "");
    }
    try {
        std::string text(static_cast<std::size_t>(st.st_size), '\0');
        std::size_t n = 0;
        while (n < text.size()) {
            const ssize_t got = ::read(fd, text.data() + n, text.size() - n);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            n += static_cast<std::size_t>(got);
        }
        const int why = errno;
        ::close(fd);
        if (n != text.size()) return fail("cannot read: ", std::strerror(why));
        return read_text_kernel_text(text, path, pool, error, error_size);
    } catch (const std::bad_alloc&) {
        ::close(fd);
        return fail("out of memory", "");
    }
}

}  // namespace temps
