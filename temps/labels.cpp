#include "labels.h"

#include <bit>
#include <cstring>

#include "calendar.h"
#include "digits.h"
#include "text_output.h"

namespace temps {
namespace {

constexpr const auto& pairs = detail::digit_pairs;

char* put_digits(char* out, int v, int n) {
    for (int i = n - 1; i >= 0; --i, v /= 10) out[i] = static_cast<char>('0' + v % 10);
    return out + n;
}

char* put2(char* out, int v, char after) {
    out[0] = pairs.at[v][0];
    out[1] = pairs.at[v][1];
    out[2] = after;
    return out + 3;
}

// Whether every value (a byte less '0') is a digit, tested without a branch
// for each.
template <class... V>
bool digits(V... v) {
    return ((v <= 9) & ...);
}

// Nanoseconds of a unit in the last of n digits of a fraction.
constexpr unsigned fraction_scale[] = {0, 100000000, 10000000, 1000000, 100000, 10000, 1000, 100, 10, 1};

using detail::all_digits;
using detail::eight_digits;
using detail::word_at;

// "HH:MM:SS[.fraction]" at s (what follows the date and its 'T'), any Z
// already taken off: fields in range, second up to 60.
bool read_clock(std::string_view s, civil_time* t) {
    if (s.size() < 8) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    // "HH:MM:SS" as one word, less "00:00:00": digits 0 to 9, the colons 0.
    const std::uint64_t hms = word_at(p) ^ 0x30303A30303A3030;
    if (!all_digits(hms) || (hms & 0x0000FF0000FF0000) != 0) return false;
    const std::uint64_t pairs10 = hms * 10 + (hms >> 8);  // HH in byte 0, MM in 3, SS in 6
    t->hour = static_cast<int>(pairs10 & 0xFF);
    t->minute = static_cast<int>(pairs10 >> 24 & 0xFF);
    t->second = static_cast<int>(pairs10 >> 48 & 0xFF);
    t->nanosecond = 0;
    auto d = [p](std::size_t i) { return static_cast<unsigned>(p[i]) - '0'; };  // > 9 when not a digit
    if (s.size() == 12) {
        // Milliseconds, as telemetry writes them.
        const unsigned f0 = d(9), f1 = d(10), f2 = d(11);
        if (s[8] != '.' || !digits(f0, f1, f2)) return false;
        t->nanosecond = static_cast<std::int32_t>((f0 * 100 + f1 * 10 + f2) * 1000000);
    } else if (s.size() == 18) {
        // Nanoseconds, all nine digits: eight as one word, then the last.
        const std::uint64_t f = word_at(p + 9) - 0x3030303030303030;
        const unsigned f8 = d(17);
        if (s[8] != '.' || !all_digits(f) || f8 > 9) return false;
        t->nanosecond = static_cast<std::int32_t>(eight_digits(f) * 10 + f8);
    } else if (s.size() > 8) {
        // A point and 1 to 9 digits of the fraction.
        const std::size_t n = s.size() - 9;
        if (s[8] != '.' || n < 1 || n > 9) return false;
        unsigned fraction = 0;
        for (std::size_t i = 9; i < s.size(); ++i) {
            const unsigned digit = d(i);
            if (digit > 9) return false;
            fraction = fraction * 10 + digit;
        }
        t->nanosecond = static_cast<std::int32_t>(fraction * fraction_scale[n]);
    }
    return t->hour <= 23 && t->minute <= 59 && t->second <= 60;
}

// "HH:MM:SS[.fraction]" of c with precision digits, after p; the end.
char* put_clock(char* p, const civil_time& c, int precision) {
    p = put2(p, c.hour, ':');
    p = put2(p, c.minute, ':');
    p = put2(p, c.second, '.') - 1;
    if (precision == 3) {  // the usual: milliseconds
        const int ms = c.nanosecond / 1000000;
        p[0] = '.';
        p[1] = static_cast<char>('0' + ms / 100);
        p[2] = pairs.at[ms % 100][0];
        p[3] = pairs.at[ms % 100][1];
        return p + 4;
    }
    if (precision > 0) {
        // All nine digits, a pair at a time, of which precision are kept
        // (truncated, never rounded).
        const auto ns = static_cast<std::uint32_t>(c.nanosecond);
        char nine[10];
        std::memcpy(nine, pairs.at[ns / 10000000], 2);
        std::memcpy(nine + 2, pairs.at[ns / 100000 % 100], 2);
        std::memcpy(nine + 4, pairs.at[ns / 1000 % 100], 2);
        std::memcpy(nine + 6, pairs.at[ns / 10 % 100], 2);
        nine[8] = static_cast<char>('0' + ns % 10);
        *p++ = '.';
        std::memcpy(p, nine, static_cast<std::size_t>(precision));
        p += precision;
    }
    return p;
}

// The day of year of a date (1 for January 1), through the day numbers:
// the Julian 1582 has ten days less.
int day_of_year(int year, int month, int day) {
    int jd = 0, jan1 = 0;
    if (julday(month, day, year, &jd) != 0 || julday(1, 1, year, &jan1) != 0) return 0;
    return jd - jan1 + 1;
}

}  // namespace

int read_label(std::string_view text, civil_time* out, label_day* day) noexcept {
    std::string_view s = text;
    label_day* last = day;
    civil_time* c = out;
    if (!s.empty() && s.back() == 'Z') s.remove_suffix(1);
    if (s.size() < 19) return status_field;
    civil_time t{};
    if (last != nullptr && last->year != 0 && std::memcmp(s.data(), last->text, sizeof last->text) == 0) {
        t.year = last->year;
        t.month = last->month;
        t.day = last->day;
    } else {
        if (s[4] != '-' || s[7] != '-' || s[10] != 'T') return status_field;
        const auto* p = reinterpret_cast<const unsigned char*>(s.data());
        auto d = [p](int i) { return static_cast<unsigned>(p[i]) - '0'; };
        const unsigned y0 = d(0), y1 = d(1), y2 = d(2), y3 = d(3), mo0 = d(5), mo1 = d(6), d0 = d(8), d1 = d(9);
        if (!digits(y0, y1, y2, y3, mo0, mo1, d0, d1)) return status_field;
        t.year = static_cast<int>(y0 * 1000 + y1 * 100 + y2 * 10 + y3);
        t.month = static_cast<int>(mo0 * 10 + mo1);
        t.day = static_cast<int>(d0 * 10 + d1);
        if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return status_field;
        if (last != nullptr) {
            std::memcpy(last->text, s.data(), sizeof last->text);
            last->year = t.year;
            last->month = t.month;
            last->day = t.day;
        }
    }
    if (!read_clock(s.substr(11), &t)) return status_field;
    *c = t;
    return 0;
}

std::size_t write_label(const civil_time& c, int precision, char* out, label_day* day) noexcept {
    label_day* last = day;
    char* p = out;
    if (last != nullptr && c.year == last->year && c.month == last->month && c.day == last->day) {
        p = static_cast<char*>(std::memcpy(p, last->text, sizeof last->text)) + sizeof last->text;
    } else {
        p = put2(out, c.year / 100, pairs.at[c.year % 100][0]);
        p = put2(p - 1, c.year % 100, '-');
        p = put2(p, c.month, '-');
        p = put2(p, c.day, 'T');
        if (last != nullptr) {
            std::memcpy(last->text, out, sizeof last->text);
            last->year = c.year;
            last->month = c.month;
            last->day = c.day;
        }
    }
    return static_cast<std::size_t>(put_clock(p, c, precision) - out);
}

int read_day_of_year(std::string_view text, civil_time* out) noexcept {
    std::string_view s = text;
    if (!s.empty() && s.back() == 'Z') s.remove_suffix(1);
    if (s.size() < 17 || s[4] != '-' || s[8] != 'T') return status_field;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    auto d = [p](int i) { return static_cast<unsigned>(p[i]) - '0'; };
    const unsigned y0 = d(0), y1 = d(1), y2 = d(2), y3 = d(3), d0 = d(5), d1 = d(6), d2 = d(7);
    if (!digits(y0, y1, y2, y3, d0, d1, d2)) return status_field;
    civil_time t{};
    t.year = static_cast<int>(y0 * 1000 + y1 * 100 + y2 * 10 + y3);
    const int doy = static_cast<int>(d0 * 100 + d1 * 10 + d2);
    int jan1 = 0, next_jan1 = 0;
    if (t.year < 1 || doy < 1 || julday(1, 1, t.year, &jan1) != 0 || julday(1, 1, t.year + 1, &next_jan1) != 0 ||
        doy > next_jan1 - jan1)
        return status_field;
    caldat(&t.month, &t.day, &t.year, jan1 + doy - 1);
    if (!read_clock(s.substr(9), &t)) return status_field;
    *out = t;
    return 0;
}

std::size_t write_day_of_year(const civil_time& c, int precision, char* out) noexcept {
    char* p = put2(out, c.year / 100, pairs.at[c.year % 100][0]);
    p = put2(p - 1, c.year % 100, '-');
    p = put_digits(p, day_of_year(c.year, c.month, c.day), 3);
    *p++ = 'T';
    return static_cast<std::size_t>(put_clock(p, c, precision) - out);
}

namespace {

// The value of a hexadecimal digit, 16 for any other byte.
constexpr struct hex_digits {
    std::uint8_t of[256];
    constexpr hex_digits() : of{} {
        for (int i = 0; i < 256; ++i)
            of[i] = static_cast<std::uint8_t>(i >= '0' && i <= '9'   ? i - '0'
                                              : i >= 'a' && i <= 'f' ? i - 'a' + 10
                                              : i >= 'A' && i <= 'F' ? i - 'A' + 10
                                                                     : 16);
    }
} hex_value;

}  // namespace

int read_hex(std::string_view text, std::uint8_t* out, std::size_t capacity) noexcept {
    const std::string_view s = text;
    if (s.size() % 2 != 0 || s.size() / 2 > capacity) return -1;
    unsigned bad = 0;
    for (std::size_t i = 0; i < s.size(); i += 2) {
        const unsigned hi = hex_value.of[static_cast<unsigned char>(s[i])],
                       lo = hex_value.of[static_cast<unsigned char>(s[i + 1])];
        bad |= hi | lo;
        out[i / 2] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return (bad & 16) != 0 ? -1 : static_cast<int>(s.size() / 2);
}

std::size_t write_hex(const std::uint8_t* octets, std::size_t n, char* out) noexcept {
    constexpr char digit[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < n; ++i) {
        out[2 * i] = digit[octets[i] >> 4];
        out[2 * i + 1] = digit[octets[i] & 15];
    }
    return 2 * n;
}

}  // namespace temps
