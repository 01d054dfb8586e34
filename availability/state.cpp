#include "state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace korvane {
namespace {

constexpr char magic[] = "korvane-watch survey state 3\n";
// Version 2 wrote an unreadable cell as "?" alone, which version 3 reads
// as a file no survey could read yet.
constexpr char magic_2[] = "korvane-watch survey state 2\n";
// Far more than a state of the window takes (some 200 KB): a larger file
// is not one.
constexpr std::size_t largest_state = 1 << 20;

std::uint64_t fnv1a(std::string_view bytes, std::uint64_t h = 14695981039346656037ULL) {
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ULL;
    }
    return h;
}

// The window line, made from the mission's facts: a state of another
// window or other products is of another version.
std::string window_line() {
    std::string line = std::string("window ") + window_first_text + " " + window_last_text;
    for (const product& p : products) line += std::string(" ") + p.heading;
    return line + "\n";
}

constexpr char change_letters[] = "\0vacu";  // by change, none first
static_assert(sizeof change_letters - 1 == change_kinds + 1);

char change_letter(change c) { return change_letters[static_cast<int>(c)]; }

std::string store_line(const char* root) { return std::string("store ") + root + "\n"; }

std::string published_line(const timestamp& taken) {
    char t[timestamp_text_size];
    format_timestamp(taken, t);
    return std::string("published ") + t + "\n";
}

// A cell's status and time: '-' missing, 'p' or 'f' and the time.
void put_status(std::string* line, file_status st, int ctime) {
    if (st == file_status::missing) {
        *line += '-';
        return;
    }
    *line += st == file_status::primary ? 'p' : 'f';
    *line += std::to_string(static_cast<std::uint32_t>(ctime));
}

// Appends day i's line to out.
void put_day(std::string* out, const survey_record& r, int i) {
    const survey_day& d = r.found.day[i];
    char date[8];
    put_date(date, d.year, d.month, d.day);
    out->append(date, sizeof date);
    for (int p = 0; p < product_count; ++p) {
        *out += ' ';
        if (d.status[p] == file_status::unreadable) {
            *out += '?';
            if (r.read_status[i][p] != file_status::unreadable) put_status(out, r.read_status[i][p], r.read_ctime[i][p]);
        } else {
            put_status(out, d.status[p], d.ctime[p]);
        }
        if (const char c = change_letter(r.mark[i][p]); c != '\0') *out += c;
    }
    *out += '\n';
}

// Reads what put_status wrote; false when s is not that.
bool read_status(std::string_view s, file_status* st, int* ctime) {
    *ctime = 0;
    if (s == "-") {
        *st = file_status::missing;
        return true;
    }
    // One spelling per cell: no leading zero.
    if (s.size() < 2 || s.size() > 11 || (s[0] != 'p' && s[0] != 'f') || (s[1] == '0' && s.size() > 2)) return false;
    *st = s[0] == 'p' ? file_status::primary : file_status::fallback;
    std::uint64_t v = 0;
    for (const char c : s.substr(1)) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > UINT32_MAX) return false;
    *ctime = static_cast<int>(static_cast<std::uint32_t>(v));
    return true;
}

// Whether a file of status st can have come to the change c.
bool can_have(file_status st, change c) {
    switch (c) {
    case change::none: return true;
    case change::vanished: return st == file_status::missing;
    case change::appeared:
    case change::changed: return present(st);
    case change::unreadable: return st == file_status::unreadable;
    }
    return false;
}

// One cell of a day: its status now, its status when last read, and its
// change.
struct cell {
    file_status status;
    int ctime;
    file_status read_status;
    int read_ctime;
    change mark;
};

// Reads one cell at s (up to the next space or the line's end); false when
// it is not one, or names a change its status cannot have.
bool read_cell(std::string_view s, cell* c) {
    if (s.empty()) return false;
    c->mark = change::none;
    for (int k = 1; k <= change_kinds; ++k)
        if (s.back() == change_letters[k]) {
            c->mark = static_cast<change>(k);
            s.remove_suffix(1);
            break;
        }
    if (s.empty() || s[0] != '?') {
        if (!read_status(s, &c->status, &c->ctime) || !can_have(c->status, c->mark)) return false;
        c->read_status = c->status;
        c->read_ctime = c->ctime;
        return true;
    }
    // Unreadable, then how it was last read ("?" alone: never). A change
    // seen while it was readable stays until it is reported.
    c->status = file_status::unreadable;
    c->ctime = 0;
    s.remove_prefix(1);
    c->read_status = file_status::unreadable;
    c->read_ctime = 0;
    if (!s.empty() && !read_status(s, &c->read_status, &c->read_ctime)) return false;
    return c->mark == change::unreadable || can_have(c->read_status, c->mark);
}

bool read_day(std::string_view line, temps::date expected, int i, survey_record* r) {
    survey_day* d = &r->found.day[i];
    char date[8];
    put_date(date, expected.year, expected.month, expected.day);
    if (line.substr(0, 8) != std::string_view(date, 8)) return false;
    *d = survey_day{expected.year, expected.month, expected.day, {}, {}};
    line.remove_prefix(8);
    for (int p = 0; p < product_count; ++p) {
        if (line.empty() || line[0] != ' ') return false;
        line.remove_prefix(1);
        const std::size_t end = std::min(line.find(' '), line.size());
        cell c{};
        if (!read_cell(line.substr(0, end), &c)) return false;
        d->status[p] = c.status;
        d->ctime[p] = c.ctime;
        r->read_status[i][p] = c.read_status;
        r->read_ctime[i][p] = c.read_ctime;
        r->mark[i][p] = c.mark;
        line.remove_prefix(end);
    }
    return line.empty();
}

// Reads the whole file at path, if it is a regular file of a sane size. A
// link is not followed, and a FIFO or a device put there must not block or
// flood the run (O_PATH opens nothing: a device is never opened).
bool slurp(const char* path, std::string* out) {
    const int probe = open(path, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (probe < 0) return false;
    struct stat first {};
    const bool regular = fstat(probe, &first) == 0 && S_ISREG(first.st_mode);
    close(probe);
    if (!regular) return false;
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) <= largest_state;
    if (ok) {
        // One byte more than the file holds: a file that grew meanwhile
        // fills it, and is not trusted.
        out->resize(static_cast<std::size_t>(st.st_size) + 1);
        std::size_t n = 0;
        while (n < out->size()) {
            const ssize_t got = read(fd, out->data() + n, out->size() - n);
            if (got <= 0) {
                ok = got == 0;
                break;
            }
            n += static_cast<std::size_t>(got);
        }
        ok = ok && n < out->size();
        out->resize(n);
    }
    close(fd);
    return ok;
}

}  // namespace

int write_state(std::FILE* f, const survey_record& r, const char* root) {
    std::string text = magic + window_line() + store_line(root);
    char t[timestamp_text_size];
    format_timestamp(r.taken, t);
    text += std::string("taken ") + t + "\n";
    if (r.has_since) format_timestamp(r.since, t);
    text += std::string("since ") + (r.has_since ? t : "-") + "\n";
    text.reserve(text.size() + static_cast<std::size_t>(r.found.days) * 80 + 32);
    for (int i = 0; i < r.found.days; ++i) put_day(&text, r, i);
    char end[32];
    std::snprintf(end, sizeof end, "end %016llx\n", static_cast<unsigned long long>(fnv1a(text)));
    text += end;
    if (r.published) text += published_line(r.taken);
    std::fwrite(text.data(), 1, text.size(), f);
    return std::ferror(f) != 0 ? -1 : 0;
}

bool read_state(const char* path, const char* root, survey_record* out) {
    std::string text;
    if (!slurp(path, &text)) return false;
    std::string_view rest = text;
    // The checksum line closes the survey: a truncated file has none. What
    // follows it says whether its changes were published.
    const std::size_t end_at = rest.find("\nend ");
    if (end_at == std::string_view::npos || rest.size() < end_at + 22 || rest[end_at + 21] != '\n') return false;
    const std::string_view after = rest.substr(end_at + 22);
    char sum[17];
    std::snprintf(sum, sizeof sum, "%016llx", static_cast<unsigned long long>(fnv1a(rest.substr(0, end_at + 1))));
    if (rest.substr(end_at + 5, 16) != std::string_view(sum, 16)) return false;
    rest = rest.substr(0, end_at + 1);

    auto line = [&rest](std::string_view* l) {
        const std::size_t nl = rest.find('\n');
        if (nl == std::string_view::npos) return false;
        *l = rest.substr(0, nl);
        rest.remove_prefix(nl + 1);
        return true;
    };
    std::string_view l;
    const std::string window = window_line();
    if (!line(&l) || (l != std::string_view(magic, sizeof magic - 2) && l != std::string_view(magic_2, sizeof magic_2 - 2)))
        return false;
    if (!line(&l) || l != std::string_view(window).substr(0, window.size() - 1)) return false;
    const std::string store = store_line(root);
    if (!line(&l) || l != std::string_view(store).substr(0, store.size() - 1)) return false;
    if (!line(&l) || l.size() != 6 + 25 || l.substr(0, 6) != "taken " ||
        !parse_timestamp(std::string(l.substr(6)).c_str(), &out->taken))
        return false;
    if (!line(&l) || l.substr(0, 6) != "since ") return false;
    out->has_since = l != "since -";
    if (out->has_since && (l.size() != 6 + 25 || !parse_timestamp(std::string(l.substr(6)).c_str(), &out->since)))
        return false;
    if (!out->has_since) out->since = timestamp{};
    temps::date d = window_first_day;
    out->found.days = 0;
    for (int i = 0; i < window_days; ++i, d = temps::next_day(d)) {
        if (!line(&l) || !read_day(l, d, i, out)) return false;
        out->found.days = i + 1;
    }
    out->published = after == published_line(out->taken);
    return rest.empty();
}

bool mark_published(const char* path, const timestamp& taken) {
    const int fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    const std::string line = published_line(taken);
    struct stat st {};
    const bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                    write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) && fsync(fd) == 0;
    return close(fd) == 0 && ok;
}

}  // namespace korvane
