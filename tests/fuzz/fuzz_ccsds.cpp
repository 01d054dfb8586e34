// libFuzzer target: CCSDS time codes. Whatever decodes (its own P-field
// first, or the T-field alone under an implicit one) encodes back to the
// same octets; its instant, where it has one, gives back a code of the
// same layout whose instant is the same; nothing is undefined behaviour.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "temps.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first octet says whether the rest carries its P-field (even) or
    // is read under the P-field in the octets after it (odd).
    const bool implicit = (data[0] & 1) != 0;
    temps::time_code_layout layout{};
    const std::uint8_t* p = data + 1;
    std::size_t n = size - 1;
    if (implicit) {
        if (temps::read_pfield(p, n, &layout, nullptr) != 0) return 0;
        p += layout.pfield_octets;
        n -= static_cast<std::size_t>(layout.pfield_octets);
    }
    temps::time_code code{};
    const char* why = nullptr;
    if (temps::decode(p, n, implicit ? &layout : nullptr, &code, &why) != 0) {
        if (why == nullptr) std::abort();
        return 0;
    }
    std::uint8_t out[32];
    const int len = temps::encode(code, implicit, out, sizeof out);
    if (len < 0 || static_cast<std::size_t>(len) != n || std::memcmp(out, p, n) != 0) std::abort();

    // With an empty leap-second table every instant after 1971 is dubious,
    // but answered; an agency epoch for the codes that need one.
    static const temps::leap_second_table table{};
    const temps::date epoch{2000, 1, 1};
    temps::scale_time tai{};
    if (temps::code_to_tai(code, table, &epoch, &tai, &why) < 0) return 0;
    temps::time_code again{};
    temps::scale_time back{};
    if (temps::tai_to_code(tai, code.layout, table, &epoch, &again, &why) < 0) std::abort();
    if (temps::code_to_tai(again, table, &epoch, &back, &why) < 0 || back.second != tai.second ||
        back.nanosecond != tai.nanosecond)
        std::abort();
    return 0;
}
