// Internal to the time library: a type 1 clock's fields as whole numbers,
// worked out once, for readings read in 64-bit integers.
#ifndef TEMPS_SCLK_FIELDS_H
#define TEMPS_SCLK_FIELDS_H

#include <cstddef>
#include <cstdint>
#include <string_view>

#include <temps/spice.h>

namespace temps::detail {

struct sclk_fields {
    bool whole = false;              // ticks_per_count below 2^64, each modulus below it
    std::uint64_t modulus[10] = {};  // the moduli, the first taken as 1
    std::uint64_t offset[10] = {};   // the offsets below 2^64
    bool offset_beyond[10] = {};     // an offset of 2^64 or more: no count reaches it
};

// The fields of clock c.
void prepare_fields(const sclk_clock& c, sclk_fields* f) noexcept;

// sclk_to_parallel with the clock's fields prepared: the same answer.
sclk_status sclk_to_parallel(const sclk_clock& c, const sclk_fields& f, std::string_view reading,
                             long double* parallel, sclk_memo* memo) noexcept;

}  // namespace temps::detail

#endif
