// temps: clock-correlation tables, the calibrations that held over a
// mission's life, one record per span of on-board readings. Part of
// <temps/temps.h>. Every function here is reentrant; a table may be read
// by many threads at once.
#ifndef TEMPS_CORRELATION_H
#define TEMPS_CORRELATION_H

#if __cplusplus < 202002L
#error "the temps library needs C++20 or later (-std=c++20)"
#endif

#include <cstdint>
#include <memory>
#include <vector>

#include "calibration.h"

namespace temps {

struct correlation_record {
    int partition;    // 1, 2, ...: a reset of the on-board clock starts a new partition
    double from_tb;   // first on-board reading the record covers
    double to_tb;     // first reading it no longer covers
    calibration cal;  // the calibration that holds over [from_tb, to_tb)
};

namespace detail {
struct correlation_index;  // the lookup structures; private to the library
}  // namespace detail

// A table: records in increasing order of partition then from_tb, not
// overlapping within a partition, any number of them. A table filled or
// changed by hand must be indexed again by index_correlation; until then,
// one whose count of records differs from the indexed one is searched
// record by record (tu_to_tb then scans it).
struct correlation {
    std::vector<correlation_record> records;
    // Built by read_correlation and index_correlation, shared by copies
    // and never changed once built: its layout is not part of this one.
    std::shared_ptr<const detail::correlation_index> index;
};

// read_correlation: reads a correlation file (temps_correlation(5)) in one
// pass and indexes it. Returns 0 and replaces *out, or -1 with *out
// untouched and one message "<path>:<line>: <reason>" in error (cut to
// error_size bytes; line 0 when the file cannot be read, holds no record,
// or memory runs out at its end). The file must not change while it is
// read.
[[nodiscard]] int read_correlation(const char* path, correlation* out, char* error, int error_size) noexcept;

// index_correlation: checks the order of a table filled by hand and builds
// its index. Returns 0, or -1 (index left unbuilt) when records are out of
// order, overlap, are not finite, or memory runs out.
[[nodiscard]] int index_correlation(correlation* c) noexcept;

// tb_to_tu: reading -> TU with the record of that partition that covers
// tb (from_tb <= tb < to_tb): exactly tb_to_tu(record.cal, tb, out).
// -1 and the sentinel record when no record covers it (before the first,
// in a gap, after the last, an unknown partition, NaN).
[[nodiscard]] int tb_to_tu(const correlation& c, int partition, double tb, date_heure* out) noexcept;

// tu_to_tb: TU instant -> a partition and a reading inside a record that
// maps back to tu to the millisecond. A record reaches the instants
// between those of its two end readings; where several reach the instant,
// the later record in the table holds it. -1 with the outputs untouched
// when no record reaches it, or when no reading of the one that holds it
// maps to that millisecond (readings too coarse for its rate). O(log n)
// on an indexed table.
[[nodiscard]] int tu_to_tb(const correlation& c, const date_heure& tu, int* partition, double* tb) noexcept;

}  // namespace temps

#endif
