// Internal to the time library: the lookup structures of a correlation
// table, built once and shared by the copies of the table.
#ifndef TEMPS_CORRELATION_INDEX_H
#define TEMPS_CORRELATION_INDEX_H

#include <cstdint>
#include <vector>

#include "correlation.h"

namespace temps {

namespace detail {

// A calibration with its reference day number and time of day worked out
// once, for conversions in a loop.
struct prepared_calibration {
    double tb_ref, k;
    double ref_ms;     // milliseconds of the reference time of day, whole seconds
    double ref_milli;  // and its milliseconds field
    int jd_ref;        // day number of the reference date
};

// The lookup structures of a table, built by read_correlation and
// index_correlation; private to the library.
struct correlation_index {
    // Buckets cut a span [lo, hi) of values in count equal parts; the
    // bucket of v is (v/2 - lo/2) * scale, clamped to [0, count).
    struct grid {
        double lo = 0.0, scale = 0.0;
        std::uint32_t count = 0;
    };
    // A record as the search of readings needs it, in one cache line.
    struct alignas(64) reading_entry {
        double from_tb, to_tb;
        prepared_calibration cal;
        bool calibrated;  // false: tb_to_tu fails whatever the reading
    };
    struct partition_span {
        int partition;
        std::uint32_t first, last;   // its records [first, last)
        double lo, hi;               // readings it covers: from_tb of the first, to_tb of the last
        grid cut;                    // 2 * (last - first) buckets over [lo, hi)
        std::uint32_t bucket_first;  // where its buckets start in readings
    };
    struct instant_span {
        double first_ms, last_ms;  // TU milliseconds the record's readings reach, a little wider
        double reach;              // the largest last_ms up to this one
        std::uint32_t record;
    };
    std::vector<partition_span> partitions;  // by partition number
    std::vector<reading_entry> entries;      // one per record
    std::vector<std::uint32_t> readings;     // per bucket: first record that may hold its readings
    std::vector<instant_span> instants;      // by first_ms
    grid instant_cut;                        // over the first_ms of instants
    std::vector<std::uint32_t> instant_buckets;  // per bucket: first instant of it or later; one more
    std::vector<std::uint32_t> wide;         // records whose instants span too much to sort
    std::size_t built_for = 0;               // records.size() when built; else the index is unused
};

}  // namespace detail

}  // namespace temps

#endif
