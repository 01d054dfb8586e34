#include "formats.h"

#include "text_output.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <charconv>
#include <cstring>

namespace conversion {
namespace {

char* put_digits(char* out, int v, int n) {
    for (int i = n - 1; i >= 0; --i, v /= 10) out[i] = static_cast<char>('0' + v % 10);
    return out + n;
}

constexpr const auto& pairs = temps::detail::digit_pairs;

char* put2(char* out, int v, char after) {
    out[0] = pairs.at[v][0];
    out[1] = pairs.at[v][1];
    out[2] = after;
    return out + 3;
}

}  // namespace

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

int parse_hex(std::string_view s, std::uint8_t* out, std::size_t capacity) {
    if (s.size() % 2 != 0 || s.size() / 2 > capacity) return -1;
    unsigned bad = 0;
    for (std::size_t i = 0; i < s.size(); i += 2) {
        const unsigned hi = hex_value.of[static_cast<unsigned char>(s[i])], lo = hex_value.of[static_cast<unsigned char>(s[i + 1])];
        bad |= hi | lo;
        out[i / 2] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return (bad & 16) != 0 ? -1 : static_cast<int>(s.size() / 2);
}

std::size_t put_hex(char* out, const std::uint8_t* p, std::size_t n) {
    constexpr char digit[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < n; ++i) {
        out[2 * i] = digit[p[i] >> 4];
        out[2 * i + 1] = digit[p[i] & 15];
    }
    return 2 * n;
}

// Whether every value (a byte less '0') is a digit, tested without a branch
// for each.
template <class... V>
bool digits(V... v) {
    return ((v <= 9) & ...);
}

// Nanoseconds of a unit in the last of n digits of a fraction.
constexpr unsigned fraction_scale[] = {0, 100000000, 10000000, 1000000, 100000, 10000, 1000, 100, 10, 1};

bool parse_iso(std::string_view s, temps::civil_time* c, date_text* last) {
    if (!s.empty() && s.back() == 'Z') s.remove_suffix(1);
    if (s.size() < 19 || s[13] != ':' || s[16] != ':') return false;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    auto d = [p](int i) { return static_cast<unsigned>(p[i]) - '0'; };  // > 9 when not a digit
    temps::civil_time t{};
    if (last != nullptr && last->year != 0 && std::memcmp(s.data(), last->text, sizeof last->text) == 0) {
        t.year = last->year;
        t.month = last->month;
        t.day = last->day;
    } else {
        if (s[4] != '-' || s[7] != '-' || s[10] != 'T') return false;
        const unsigned y0 = d(0), y1 = d(1), y2 = d(2), y3 = d(3), mo0 = d(5), mo1 = d(6), d0 = d(8), d1 = d(9);
        if (!digits(y0, y1, y2, y3, mo0, mo1, d0, d1)) return false;
        t.year = static_cast<int>(y0 * 1000 + y1 * 100 + y2 * 10 + y3);
        t.month = static_cast<int>(mo0 * 10 + mo1);
        t.day = static_cast<int>(d0 * 10 + d1);
        if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return false;
        if (last != nullptr) {
            std::memcpy(last->text, s.data(), sizeof last->text);
            last->year = t.year;
            last->month = t.month;
            last->day = t.day;
        }
    }
    const unsigned h0 = d(11), h1 = d(12), mi0 = d(14), mi1 = d(15), s0 = d(17), s1 = d(18);
    if (!digits(h0, h1, mi0, mi1, s0, s1)) return false;
    t.hour = static_cast<int>(h0 * 10 + h1);
    t.minute = static_cast<int>(mi0 * 10 + mi1);
    t.second = static_cast<int>(s0 * 10 + s1);
    if (s.size() > 19) {
        // A point and 1 to 9 digits of the fraction.
        const std::size_t n = s.size() - 20;
        if (s[19] != '.' || n < 1 || n > 9) return false;
        unsigned fraction = 0;
        for (std::size_t i = 20; i < s.size(); ++i) {
            const unsigned digit = static_cast<unsigned>(p[i]) - '0';
            if (digit > 9) return false;
            fraction = fraction * 10 + digit;
        }
        t.nanosecond = static_cast<std::int32_t>(fraction * fraction_scale[n]);
    }
    if (t.hour > 23 || t.minute > 59 || t.second > 60) return false;
    *c = t;
    return true;
}

std::size_t put_iso(char* out, const temps::civil_time& c, int precision, date_text* last) {
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
    p = put2(p, c.hour, ':');
    p = put2(p, c.minute, ':');
    p = put2(p, c.second, '.') - 1;
    if (precision == 3) {  // the default: milliseconds
        const int ms = c.nanosecond / 1000000;
        p[0] = '.';
        p[1] = static_cast<char>('0' + ms / 100);
        p[2] = pairs.at[ms % 100][0];
        p[3] = pairs.at[ms % 100][1];
        return static_cast<std::size_t>(p + 4 - out);
    }
    if (precision > 0) {
        *p++ = '.';
        int v = c.nanosecond;
        for (int i = precision; i < 9; ++i) v /= 10;  // truncated, never rounded
        p = put_digits(p, v, precision);
    }
    return static_cast<std::size_t>(p - out);
}

const char* obt_to_utc(const temps::correlation& table, std::string_view text, temps::civil_time* c) {
    int partition = 0;
    double reading = 0.0;
    const char* p = text.data();
    const char* e = p + text.size();
    const auto [slash, ec1] = std::from_chars(p, e, partition);
    if (ec1 != std::errc{} || slash == e || *slash != '/') return "not PARTITION/READING";
    const auto [end, ec2] = std::from_chars(slash + 1, e, reading);
    if (ec2 != std::errc{} || end != e) return "not PARTITION/READING";
    temps::date_heure d{};
    if (temps::tb_to_tu(table, partition, reading, &d) != 0) return "no record covers this reading";
    const double tu = temps::calendar_to_tu(d.annee, d.mois, d.jour, d.heure, d.minute, d.seconde);
    if (std::isnan(tu) || temps::tu_to_utc(tu + d.milliseconde, c) != 0) return "out of range";
    return nullptr;
}

const char* utc_to_obt(const temps::correlation& table, const temps::civil_time& c, std::string* text) {
    double tu = 0.0;
    if (temps::utc_to_tu(c, &tu) != 0) return "no such UTC time";
    const temps::date_heure at_ms{c.year, c.month, c.day, c.hour, c.minute, std::min(c.second, 59),
                                  c.second == 60 ? 999 : c.nanosecond / 1000000};
    int partition = 0;
    double reading = 0.0;
    if (temps::tu_to_tb(table, at_ms, &partition, &reading) != 0) return "no record covers this instant";
    // A reading may be any double: up to some 320 characters.
    const int need = std::snprintf(nullptr, 0, "%d/%.6f", partition, reading);
    text->assign(static_cast<std::size_t>(need) + 1, '\0');
    std::snprintf(text->data(), text->size(), "%d/%.6f", partition, reading);
    text->resize(static_cast<std::size_t>(need));
    return nullptr;
}

namespace {

constexpr temps::civil_time fill_label{9999, 12, 31, 23, 59, 59, 999999999};
constexpr temps::civil_time pad_label{0, 1, 1, 0, 0, 0, 0};

}  // namespace

std::int64_t marker_named(std::string_view label) {
    std::string_view v = label;
    if (!v.empty() && v.back() == 'Z') v.remove_suffix(1);
    if (v == "9999-12-31T23:59:59.999999999") return temps::tt2000_fill;
    constexpr std::string_view pad = "0000-01-01T00:00:00";
    if (v.substr(0, pad.size()) != pad) return 0;
    v.remove_prefix(pad.size());
    const bool zeros = v.empty() || (v.size() >= 2 && v.size() <= 10 && v[0] == '.' &&
                                     v.find_first_not_of('0', 1) == std::string_view::npos);
    return zeros ? temps::tt2000_pad : 0;
}

const temps::civil_time& marker_label(std::int64_t marker) {
    return marker == temps::tt2000_fill ? fill_label : pad_label;
}

const char* marker_refused(std::int64_t marker) {
    return marker == temps::tt2000_fill ? "CDF's fill value, not an instant" : "CDF's pad value, not an instant";
}

}  // namespace conversion
