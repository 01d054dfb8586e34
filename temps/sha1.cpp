// SHA-1 (FIPS 180-4), for the checksum of leap-second files: written here
// so that the library needs nothing beyond the standard library.
#include "sha1.h"

#include <cstring>

namespace temps::detail {
namespace {

constexpr std::uint32_t rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

void sha1::block(const unsigned char* p) noexcept {
    std::uint32_t w[80];
    for (std::size_t i = 0; i < 16; ++i)
        w[i] = std::uint32_t{p[4 * i]} << 24 | std::uint32_t{p[4 * i + 1]} << 16 |
               std::uint32_t{p[4 * i + 2]} << 8 | std::uint32_t{p[4 * i + 3]};
    for (int i = 16; i < 80; ++i) w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f = 0, k = 0;
        if (i < 20) f = (b & c) | (~b & d), k = 0x5A827999;
        else if (i < 40) f = b ^ c ^ d, k = 0x6ED9EBA1;
        else if (i < 60) f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
        else f = b ^ c ^ d, k = 0xCA62C1D6;
        const std::uint32_t t = rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = t;
    }
    h_[0] += a;
    h_[1] += b;
    h_[2] += c;
    h_[3] += d;
    h_[4] += e;
}

void sha1::update(const char* data, std::size_t n) noexcept {
    length_ += n;
    while (n > 0) {
        const std::size_t k = n < 64 - used_ ? n : 64 - used_;
        std::memcpy(buf_ + used_, data, k);
        used_ += k;
        data += k;
        n -= k;
        if (used_ == 64) {
            block(buf_);
            used_ = 0;
        }
    }
}

std::array<std::uint32_t, 5> sha1::digest() noexcept {
    const std::uint64_t bits = length_ * 8;
    const unsigned char pad = 0x80;
    update(reinterpret_cast<const char*>(&pad), 1);
    const unsigned char zero = 0;
    while (used_ != 56) update(reinterpret_cast<const char*>(&zero), 1);
    unsigned char len[8];
    for (int i = 0; i < 8; ++i) len[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    update(reinterpret_cast<const char*>(len), 8);
    return h_;
}

}  // namespace temps::detail
