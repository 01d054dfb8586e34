// Leap-second files in the IERS/IANA leap-seconds.list form, read and
// checked (their SHA-1 included) into a table value.
#include "timescales.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <system_error>
#include <utility>

#include "line_file.h"
#include "sha1.h"

#ifndef TEMPS_LEAP_SECONDS_PATH
#define TEMPS_LEAP_SECONDS_PATH "/usr/share/zoneinfo/leap-seconds.list"
#endif

namespace temps {
namespace {

// NTP counts seconds from 1900-01-01, Unix from 1970-01-01, the table's
// days from 1958-01-01.
constexpr std::int64_t ntp_unix = 2208988800;
constexpr std::int64_t ntp_1958 = 1830297600;
constexpr std::int64_t ntp_1972 = 2272060800;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The next blank-separated field of *p, cut off by a NUL; "" at the end.
const char* field(char** p) {
    char* s = *p;
    while (is_blank(*s)) ++s;
    char* e = s;
    while (*e != '\0' && !is_blank(*e)) ++e;
    if (*e != '\0') *e++ = '\0';
    *p = e;
    return s;
}

template <class Int>
bool whole(const char* s, Int* v) {
    const char* end = s + std::strlen(s);
    const auto [at, ec] = std::from_chars(s, end, *v);
    return s != end && ec == std::errc{} && at == end;
}

// "#h" holds five 32-bit words in hexadecimal, leading zeros optional.
bool hash_words(char* text, std::uint32_t (&w)[5]) {
    for (std::uint32_t& x : w) {
        const char* f = field(&text);
        const char* end = f + std::strlen(f);
        const auto [at, ec] = std::from_chars(f, end, x, 16);
        if (f == end || ec != std::errc{} || at != end) return false;
    }
    return *field(&text) == '\0';
}

int read_all(detail::line_file& rd, leap_second_table* out) {
    detail::sha1 hash;
    std::int64_t updated = -1, expires = -1;
    std::uint32_t want[5] = {};
    bool hashed = false;
    std::string data;  // the data lines' fields, hashed after the dates
    int status = 0;
    while (char* p = rd.next(&status)) {
        if (p[0] == '#') {
            const char kind = p[1];
            p += 2;
            if (kind == '$' || kind == '@') {
                const char* v = field(&p);
                std::int64_t& date = kind == '$' ? updated : expires;
                if (date >= 0) return rd.fail(kind == '$' ? "second #$ line" : "second #@ line");
                if (!whole(v, &date) || date < 0) return rd.fail("not an NTP time: ", v);
                hash.update(v, std::strlen(v));
            } else if (kind == 'h') {
                if (hashed || !hash_words(p, want)) return rd.fail("#h is not five hexadecimal words");
                hashed = true;
            }
            continue;
        }
        const char* when = field(&p);
        if (*when == '\0') continue;  // a blank line
        const char* offset = field(&p);
        const char* rest = field(&p);
        std::int64_t ntp = 0;
        int seconds = 0;
        if (!whole(when, &ntp) || !whole(offset, &seconds) || (*rest != '\0' && *rest != '#'))
            return rd.fail("not \"NTP-seconds offset\"");
        if (ntp % 86400 != 0) return rd.fail("not at 00:00 UTC: ", when);
        if (out->entries.empty() ? ntp != ntp_1972 || seconds != 10
                                 : ntp <= (out->entries.back().day * 86400 + ntp_1958) ||
                                       (seconds != out->entries.back().tai_minus_utc + 1 &&
                                        seconds != out->entries.back().tai_minus_utc - 1))
            return rd.fail(out->entries.empty() ? "the first entry is not 1972-01-01, 10 s"
                                                : "not one second more or less, later than the entry before");
        out->entries.push_back({(ntp - ntp_1958) / 86400, seconds});
        data += when;
        data += offset;
    }
    if (status != 0) return status;
    rd.line = 0;
    if (out->entries.empty()) return rd.fail("no leap second");
    if (expires < 0) return rd.fail("no expiry (#@)");
    if (updated < 0) return rd.fail("no last update (#$)");
    if (!hashed) return rd.fail("no hash (#h)");
    hash.update(data.data(), data.size());
    const auto got = hash.digest();
    for (int i = 0; i < 5; ++i)
        if (got[i] != want[i]) return rd.fail("the hash (#h) does not match the data: file damaged");
    out->updated = std::chrono::sys_seconds{std::chrono::seconds{updated - ntp_unix}};
    out->expires = std::chrono::sys_seconds{std::chrono::seconds{expires - ntp_unix}};
    return 0;
}

}  // namespace

const char* default_leap_seconds_path() noexcept { return TEMPS_LEAP_SECONDS_PATH; }

int read_leap_seconds(const char* path, leap_second_table* out, char* error, int error_size) noexcept {
    detail::line_file rd(path, error, error_size);
    if (rd.open() != 0) return -1;
    leap_second_table table;
    int status = -1;
    try {
        status = read_all(rd, &table);
    } catch (const std::exception&) {  // bad_alloc
        status = rd.fail("out of memory");
    }
    if (status == 0) *out = std::move(table);
    return status;
}

}  // namespace temps
