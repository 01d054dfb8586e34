// Internal to the library, not installed: decimal digits read and written
// eight at a time, in one 64-bit word.
#ifndef TEMPS_DIGITS_H
#define TEMPS_DIGITS_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace temps::detail {

// Eight bytes of text as one little-endian word, the first byte lowest.
inline std::uint64_t word_at(const unsigned char* p) noexcept {
    std::uint64_t w = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&w, p, sizeof w);
    } else {
        for (int i = 7; i >= 0; --i) w = w << 8 | p[i];
    }
    return w;
}

// Whether every byte of w is 0 to 9: a byte of 10 or more carries into
// its top bit when 0x76 is added, one of 0x80 or more has it already.
constexpr bool all_digits(std::uint64_t w) noexcept {
    return ((w | (w + 0x7676767676767676)) & 0x8080808080808080) == 0;
}

// The value of eight digits (bytes 0 to 9, the first most significant).
constexpr std::uint32_t eight_digits(std::uint64_t w) noexcept {
    w = (w * 2561) >> 8;                               // pairs: 10 * first + second
    w = ((w & 0x00FF00FF00FF00FF) * 6553601) >> 16;     // fours
    return static_cast<std::uint32_t>(((w & 0x0000FFFF0000FFFF) * 42949672960001) >> 32);
}

// The eight digits of v (below 10^8), zero-padded, as bytes 0 to 9 with
// the first (most significant) lowest: split in fours, the fours in pairs,
// the pairs in digits, each lane of the word at once.
constexpr std::uint64_t digit_bytes(std::uint32_t v) noexcept {
    const std::uint64_t fours = (v / 10000) | static_cast<std::uint64_t>(v % 10000) << 32;
    const std::uint64_t hundreds = (fours * 5243 >> 19) & 0x0000007F0000007F;          // x / 100 for x < 10^4
    const std::uint64_t pairs = hundreds | (fours - hundreds * 100) << 16;
    const std::uint64_t tens = (pairs * 103 >> 10) & 0x000F000F000F000F;               // y / 10 for y < 100
    return tens | (pairs - tens * 10) << 8;
}

// The eight bytes of w as text, the lowest first.
inline void put_word(char* out, std::uint64_t w) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &w, sizeof w);
    } else {
        for (int i = 0; i < 8; ++i, w >>= 8) out[i] = static_cast<char>(w & 0xFF);
    }
}

// The digits of v (below 10^8) without its leading zeros ("0" for 0), in
// eight bytes at out, what follows them to be written over.
inline std::size_t write_short(char* out, std::uint32_t v) noexcept {
    const std::uint64_t d = digit_bytes(v);
    const int zeros = v == 0 ? 7 : std::countr_zero(d) / 8;
    put_word(out, (d + 0x3030303030303030) >> (8 * zeros));
    return static_cast<std::size_t>(8 - zeros);
}

// A signed count in decimal, as std::to_chars writes it: out holds at
// least 20 bytes, which may all be written. Returns how many are the count.
inline std::size_t write_int64(char* out, long long v) noexcept {
    constexpr std::uint64_t ascii = 0x3030303030303030, e8 = 100000000;
    std::size_t n = 0;
    if (v < 0) out[n++] = '-';
    // The magnitude in unsigned arithmetic: the most negative count has no
    // positive twin.
    std::uint64_t u = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    if (u < e8) return n + write_short(out + n, static_cast<std::uint32_t>(u));
    // Then eight digits at a time: one more eight, or two (u below 2^64).
    const auto low = static_cast<std::uint32_t>(u % e8);
    u /= e8;
    if (u < e8) {
        n += write_short(out + n, static_cast<std::uint32_t>(u));
    } else {
        n += write_short(out + n, static_cast<std::uint32_t>(u / e8));
        put_word(out + n, digit_bytes(static_cast<std::uint32_t>(u % e8)) + ascii);
        n += 8;
    }
    put_word(out + n, digit_bytes(low) + ascii);
    return n + 8;
}

// The leading digits of *r as a count, consumed, as std::from_chars reads
// them: false when there are none or they exceed 64 bits.
inline bool take_count(std::string_view* r, std::uint64_t* v) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(r->data());
    const std::size_t size = r->size();
    std::size_t i = 0;
    std::uint64_t n = 0;
    // Up to sixteen digits eight at a time (below 10^16: no overflow),
    // the rest one by one.
    for (std::uint64_t w; i + 8 <= size && i < 16 && all_digits(w = word_at(p + i) - 0x3030303030303030); i += 8)
        n = n * 100000000 + eight_digits(w);
    bool fits = true;
    for (unsigned d; i < size && (d = static_cast<unsigned>(p[i]) - '0') <= 9; ++i)
        fits = fits && !__builtin_mul_overflow(n, 10, &n) && !__builtin_add_overflow(n, d, &n);
    r->remove_prefix(i);
    *v = n;
    return i > 0 && fits;
}

// take_count a word at a time, reading no byte outside [begin, end of
// *r): where fewer than eight bytes are left, the word that ends where the
// text does, moved down, slashes (no digit) after the end. Runs of up to
// 19 digits cannot overflow; longer ones, and texts of fewer than eight
// bytes from begin, go to take_count.
[[gnu::always_inline]] inline bool take_count_within(std::string_view* r, const char* begin, std::uint64_t* v) noexcept {
    static constexpr std::uint64_t scale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
    constexpr std::uint64_t zeros = 0x3030303030303030, slashes = 0x2F2F2F2F2F2F2F2F;
    const auto* p = reinterpret_cast<const unsigned char*>(r->data());
    const std::size_t size = r->size();
    if (size + static_cast<std::size_t>(r->data() - begin) < 8) return take_count(r, v);
    std::uint64_t n = 0;
    std::size_t i = 0;
    for (;;) {
        const std::size_t left = size - i;
        const std::uint64_t text = left >= 8   ? word_at(p + i)
                                   : left == 0 ? slashes
                                               : word_at(p + size - 8) >> (64 - 8 * left) | slashes << (8 * left);
        const std::uint64_t w = text - zeros;
        // The top bit of each byte that is no digit; a borrow runs only
        // into the bytes after the first of them.
        const std::uint64_t other = (w | (w + 0x7676767676767676)) & 0x8080808080808080;
        const std::size_t k = other == 0 ? 8 : static_cast<std::size_t>(std::countr_zero(other) / 8);
        if (i + k > 19) return take_count(r, v);
        if (k == 8) {
            n = n * 100000000 + eight_digits(w);
            i += 8;
            continue;
        }
        // The k digits at the bottom of the word, moved to its top with
        // zeros before them.
        if (k > 0) n = n * scale[k] + eight_digits(w << (64 - 8 * k));
        i += k;
        break;
    }
    r->remove_prefix(i);
    *v = n;
    return i > 0;
}

}  // namespace temps::detail

#endif
