// Internal to the time library: the lookup structures of a correlation
// table, built once and shared by the copies of the table.
#ifndef TEMPS_CORRELATION_INDEX_H
#define TEMPS_CORRELATION_INDEX_H

#include <cstdint>
#include <vector>

#include <temps/correlation.h>

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
        int partition;
    };
    static_assert(sizeof(reading_entry) == 64);
    struct partition_span {
        int partition;
        std::uint32_t first, last;   // its records [first, last)
        double lo, hi;               // readings it covers: from_tb of the first, to_tb of the last
        grid cut;                    // 2 * (last - first) buckets over [lo, hi)
        std::uint32_t bucket_first;  // where its buckets start in readings
    };
    // The instants of TU a table answers, cut into pieces each of which one
    // record holds: the last in the table of those whose readings reach
    // the piece's instants. A stabbing query for the largest index, worked
    // out once, so a lookup is one search among the piece starts.
    struct piece {
        std::int64_t first_ms;  // its first instant, milliseconds since day 0
        std::uint32_t record;   // the record that holds it; no_record: none
    };
    // A bucket of instants: its first piece, and the record that holds
    // every instant of it when no piece starts inside it (mixed: search).
    struct piece_bucket {
        std::uint32_t first_piece;
        std::uint32_t holder;
    };
    static constexpr std::uint32_t no_record = 0xffffffffU;
    static constexpr std::uint32_t mixed = 0xfffffffeU;
    std::vector<partition_span> partitions;  // by partition number
    std::vector<reading_entry> entries;      // one per record
    std::vector<std::uint32_t> readings;     // per bucket: first record that may hold its readings
    std::vector<piece> pieces;               // by first_ms, the first one from the earliest instant
    grid piece_cut;                          // four buckets a piece over their first_ms
    std::vector<piece_bucket> piece_buckets;  // per bucket; one more at the end
    std::size_t built_for = 0;               // records.size() when built; else the index is unused
};

}  // namespace detail

}  // namespace temps

#endif
