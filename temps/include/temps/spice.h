// temps: a mission's own SPICE clock kernels. NAIF text kernels (their
// assignments between \begindata and \begintext), the type 1 spacecraft
// clock of an SCLK kernel, and the leap-second kernel's (LSK) leap seconds
// and ephemeris time. The converter's formats sclk and et use them. Part of
// <temps/temps.h>.
#ifndef TEMPS_SPICE_H
#define TEMPS_SPICE_H

#if __cplusplus < 202002L
#error "the temps library needs C++20 or later (-std=c++20)"
#endif

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "timescales.h"

namespace temps {

// One value of a kernel variable: a number (D or E exponents read), a
// string ('...', '' for a quote), or an @date, kept as its text and as
// its seconds past J2000 (2000-01-01T12:00:00 of the date's own scale:
// a count of days and seconds, no scale implied).
struct kernel_value {
    enum class kind : unsigned char { number, text, date } is = kind::number;
    long double number = 0.0;  // a number (to a long double's 64 bits: decimal rates hold their digits); an @date's seconds past J2000
    std::string text;      // a string's, or an @date's text
};

// The variables of text kernels, by name; += appends to a variable.
struct kernel_pool {
    std::map<std::string, std::vector<kernel_value>, std::less<>> variables;
};

// read_text_kernel: the assignments of the text kernel at path, added to
// *pool (a variable assigned again with = is replaced). 0, or -1 with one
// message "<path>:<line>: <reason>" in error and *pool as it was.
[[nodiscard]] int read_text_kernel(const char* path, kernel_pool* pool, char* error, int error_size) noexcept;

// read_text_kernel_text: the same from the text itself (name in messages).
[[nodiscard]] int read_text_kernel_text(std::string_view text, const char* name, kernel_pool* pool, char* error,
                                        int error_size) noexcept;

// A type 1 spacecraft clock of an SCLK kernel: fields cascading from the
// most significant, partitions of ticks, and the map from encoded SCLK
// (ticks since the clock's start, across partitions) to its parallel time
// (TDB or TT seconds past J2000), a line between each triple's point and
// the next.
struct sclk_clock {
    std::string id;                 // the kernel's suffix: "82" of SCLK_DATA_TYPE_82
    std::vector<long double> moduli;   // each field's, most significant first
    std::vector<long double> offsets;  // each field's first value
    char delimiter = '.';           // written between fields
    std::vector<long double> partition_start, partition_end;  // ticks; each partition is [start, end)
    std::vector<long double> partition_base;  // encoded SCLK at each partition's start
    bool tdb = true;                // parallel time TDB (1, the default), else TT (2)
    std::vector<long double> coefficients;  // triples: encoded SCLK, parallel seconds, rate a most significant count
    long double ticks_per_count = 1.0;   // ticks in one count of the most significant field
    bool parallel_ascending = true;      // each triple's parallel time after the one before
};

// read_sclk: the type 1 clock of the pool (the one it holds, or the id
// given, with or without its sign: "-82" and "82" are one clock). 0, or
// -1 with the reason in error.
[[nodiscard]] int read_sclk(const kernel_pool& pool, const char* id, sclk_clock* out, char* error,
                            int error_size) noexcept;

// Why a reading or a time gives no answer.
enum class sclk_status : unsigned char {
    ok,
    not_reading,       // not PARTITION/FIELD<d>FIELD...
    no_partition,      // a partition the kernel lacks
    below_offset,      // a field below its offset
    outside_partition, // ticks outside the partition (its end included)
    outside_map,       // before the first coefficient, or no partition holds the encoded SCLK
};

// sclk_to_parallel: a reading "p/f1<d>f2..." (any of . : - , and space
// between fields; fields after the first may be left out, and may exceed
// their modulus) to its parallel seconds past J2000. Without "p/", the
// earliest partition that holds its ticks. In long double: a double of
// some 1e8 s would not hold its nanoseconds.
[[nodiscard]] sclk_status sclk_to_parallel(const sclk_clock& c, std::string_view reading, long double* parallel) noexcept;

// sclk_memo: the triple used last, which readings in time order use again,
// and the rate a tick last worked out; each answer the plain call's. One
// per thread.
struct sclk_memo {
    std::size_t triple = 0;  // 1 + the index of the triple used last; 0: none
    long double rate_of = 0, ticks_per_count = 0;  // what rate_per_tick was worked out from
    long double rate_per_tick = 0;                 // rate_of / ticks_per_count
};
[[nodiscard]] sclk_status sclk_to_parallel(const sclk_clock& c, std::string_view reading, long double* parallel,
                                           sclk_memo* memo) noexcept;

// parallel_to_sclk: parallel seconds to the reading, through the last
// triple whose parallel time is at or before it, to the nearest tick,
// written as the kernel writes it (each field zero-padded to the digits of
// its largest value, the output delimiter between). At most 128 bytes;
// returns how many, 0 when no partition holds it (*status says why).
std::size_t parallel_to_sclk(const sclk_clock& c, long double parallel, char* out, sclk_status* status) noexcept;

// The leap-second kernel: TAI - UTC from its DELTET/DELTA_AT, and the
// constants of ET - TT = K sin E, E = M + EB sin M, M = M0 + M1 ET.
struct lsk {
    leap_second_table leaps;  // entries from DELTA_AT; no expiry (an LSK names none)
    double delta_t_a = 32.184, k = 0.0, eb = 0.0, m0 = 0.0, m1 = 0.0;
};

// read_lsk: the LSK of the pool. 0, or -1 with the reason in error.
[[nodiscard]] int read_lsk(const kernel_pool& pool, lsk* out, char* error, int error_size) noexcept;

// et_minus_tt: ET - TT in seconds at ET (seconds past J2000).
[[nodiscard]] double et_minus_tt(const lsk& l, double et) noexcept;
// tt_to_et: the ET of a TT (seconds past J2000), the formula solved for ET.
[[nodiscard]] double tt_to_et(const lsk& l, double tt) noexcept;

}  // namespace temps

#endif
