// Internal to the time library: SHA-1, fed piece by piece.
#ifndef TEMPS_SHA1_H
#define TEMPS_SHA1_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace temps::detail {

class sha1 {
public:
    void update(const char* data, std::size_t n) noexcept;
    // The five 32-bit words of the digest; the object is spent after.
    std::array<std::uint32_t, 5> digest() noexcept;

private:
    void block(const unsigned char* p) noexcept;
    std::array<std::uint32_t, 5> h_{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    unsigned char buf_[64]{};
    std::size_t used_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace temps::detail

#endif
