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
    std::size_t fields = 0;          // of the clock, at most 10
    bool whole = false;              // ticks_per_count below 2^64, each modulus below it
    std::uint64_t modulus[10] = {};  // the moduli, the first taken as 1
    std::uint64_t offset[10] = {};   // the offsets below 2^64
    bool offset_beyond[10] = {};     // an offset of 2^64 or more: no count reaches it
    // A reading as the kernel writes it, "p/" and each field zero-padded
    // to the digits of its largest value: its size (0: no such layout is
    // read in fixed steps), where each field starts, its digits.
    std::size_t written_size = 0;
    std::size_t partitions = 0;
    std::uint8_t field_at[10] = {}, width[10] = {};
};

// The fields of clock c.
void prepare_fields(const sclk_clock& c, sclk_fields* w) noexcept;

// The layout of readings as the kernel writes them, of a prepared clock.
void prepare_written(const sclk_clock& c, sclk_fields* w) noexcept;

// written_ticks: a reading of one digit's partition laid out as the kernel
// writes it, read in fixed steps, its partition and ticks; false for any
// other text, and for a reading sclk_to_parallel would refuse or sum in
// long double: the plain reading then answers.
bool written_ticks(const sclk_fields& w, std::string_view r, std::size_t* partition,
                   std::uint64_t* ticks) noexcept;

// sclk_to_parallel with the clock's fields prepared: the same answer.
// written: try written_ticks first.
sclk_status sclk_to_parallel(const sclk_clock& c, const sclk_fields& w, std::string_view r,
                             long double* parallel, sclk_memo* memo, bool written = false) noexcept;

}  // namespace temps::detail

#endif
