// Clock-correlation tables: their index, and conversions with the record
// that held at a reading or an instant.
//
// Readings: each partition's span of readings is cut into twice as many
// equal buckets as it has records; a bucket names the first record that
// may hold a reading falling in it, and the records after it are stepped
// through. Whatever the spread of the records' spans, a reading drawn over
// the table lands on a long record, whose bucket names it or a neighbour.
//
// Instants: the TU instants each record's readings reach, sorted by their
// start, with the running maximum of their ends: the records covering an
// instant are found by one binary search and a walk back over the few
// that reach it. Records whose instants span far more than the others'
// (an absurd rate or span) are kept apart and tried every time.
#include "correlation.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <utility>

#include "instant.h"

namespace temps {

using detail::instant_ms;

namespace detail {

const char* order_fault(const correlation_record* prev, const correlation_record& r) noexcept {
    if (prev == nullptr) return nullptr;
    if (r.partition < prev->partition || (r.partition == prev->partition && r.from_tb < prev->from_tb))
        return "record out of order";
    if (r.partition == prev->partition && r.from_tb < prev->to_tb) return "record overlaps the one before";
    return nullptr;
}

}  // namespace detail

namespace {

using index_type = detail::correlation_index;

// The bucket of v: the same at building and at looking up, and never
// decreasing as v grows. Halves keep the difference finite for any two
// finite values.
std::uint32_t bucket_of(const index_type::grid& g, double v) {
    const double at = (0.5 * v - 0.5 * g.lo) * g.scale;  // [0, count] for v in [lo, hi]
    if (!(at > 0.0)) return 0;
    if (at >= static_cast<double>(g.count - 1)) return g.count - 1;
    return static_cast<std::uint32_t>(at);
}

index_type::grid grid_over(double lo, double hi, std::uint32_t count) {
    index_type::grid g{lo, count / (0.5 * hi - 0.5 * lo), count};
    if (!std::isfinite(g.scale) || g.scale < 0.0) g.scale = 0.0;  // every value in bucket 0
    return g;
}

// The first and last TU milliseconds (since day 0) that a record's
// readings reach, with two milliseconds to spare; false when its
// calibration gives none.
bool instants_of(const correlation_record& r, double* first, double* last) {
    detail::prepared_calibration p{};
    if (!detail::prepare(r.cal, &p)) return false;
    const double ref = static_cast<double>(std::int64_t{p.jd_ref} * 86400000) + p.ref_ms + p.ref_milli;
    const double a = ref + (r.from_tb - r.cal.tb_ref) * 1000.0 / r.cal.k;
    const double b = ref + (r.to_tb - r.cal.tb_ref) * 1000.0 / r.cal.k;
    *first = std::fmin(a, b) - 2.0;
    *last = std::fmax(a, b) + 2.0;
    return true;
}

bool indexed(const correlation& c) { return !c.records.empty() && c.index && c.index->built_for == c.records.size(); }

// The entry of the record of the partition that covers tb.
const index_type::reading_entry* find_indexed(const correlation& c, int partition, double tb) {
    const auto& parts = c.index->partitions;
    const auto p = std::lower_bound(parts.begin(), parts.end(), partition,
                                    [](const index_type::partition_span& s, int n) { return s.partition < n; });
    if (p == parts.end() || p->partition != partition || !(tb >= p->lo && tb < p->hi)) return nullptr;
    const index_type::reading_entry* r = &c.index->entries[c.index->readings[p->bucket_first + bucket_of(p->cut, tb)]];
    const index_type::reading_entry* const last = c.index->entries.data() + p->last;
    while (r < last && r->to_tb <= tb) ++r;
    return r < last && r->from_tb <= tb ? r : nullptr;
}

// The same without an index: a binary search on the records.
const correlation_record* find_unindexed(const correlation& c, int partition, double tb) {
    const auto& r = c.records;
    const auto first = std::lower_bound(r.begin(), r.end(), partition,
                                        [](const correlation_record& x, int p) { return x.partition < p; });
    const auto last = std::upper_bound(first, r.end(), partition,
                                       [](int p, const correlation_record& x) { return p < x.partition; });
    if (first == last || !(tb >= first->from_tb)) return nullptr;  // also NaN
    const auto after = std::upper_bound(first, last, tb, [](double t, const correlation_record& x) {
        return t < x.from_tb;
    });
    const correlation_record& found = *(after - 1);
    return tb < found.to_tb ? &found : nullptr;
}

// Whether record r holds a reading that maps to the instant at
// (milliseconds since day 0); the reading in *tb.
bool reading_in(const correlation_record& r, std::int64_t at, double* tb) {
    detail::prepared_calibration p{};
    double x = 0.0;
    if (!detail::prepare(r.cal, &p) || !detail::reading_for(p, at, &x)) return false;
    if (!(x >= r.from_tb && x < r.to_tb)) {
        // Just outside the record: its own end reading may still map to
        // the instant.
        x = x < r.from_tb ? r.from_tb : std::nextafter(r.to_tb, r.from_tb);
        std::int64_t back = 0;
        if (!detail::instant_at(p, x, &back) || back != at) return false;
    }
    *tb = x;
    return true;
}

}  // namespace

namespace detail {

void index_records(const std::vector<correlation_record>& records, std::shared_ptr<const correlation_index>* out) {
    correlation_index idx;
    const std::size_t n = records.size();
    if (n > std::numeric_limits<std::uint32_t>::max() / 2) throw std::bad_alloc();
    idx.entries.reserve(n);
    for (const correlation_record& r : records) {
        index_type::reading_entry e{r.from_tb, r.to_tb, {}, false};
        e.calibrated = prepare(r.cal, &e.cal);
        idx.entries.push_back(e);
    }

    for (std::uint32_t first = 0; first < n;) {
        std::uint32_t last = first + 1;
        while (last < n && records[last].partition == records[first].partition) ++last;
        const double lo = records[first].from_tb, hi = records[last - 1].to_tb;
        const index_type::partition_span p{records[first].partition, first, last, lo, hi,
                                           grid_over(lo, hi, last - first),
                                           static_cast<std::uint32_t>(idx.readings.size())};
        // Bucket b names the first record whose end falls in bucket b or
        // later: a reading of bucket b lies in that record or after it.
        std::uint32_t i = first;
        for (std::uint32_t b = 0; b < p.cut.count; ++b) {
            while (i + 1 < last && bucket_of(p.cut, records[i].to_tb) < b) ++i;
            idx.readings.push_back(i);
        }
        idx.partitions.push_back(p);
        first = last;
    }

    // Instants: records whose span is beyond 64 times the median's are
    // tried apart, so that one of them cannot make every walk back long.
    std::vector<index_type::instant_span> spans;
    spans.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        index_type::instant_span s{0.0, 0.0, 0.0, i};
        if (instants_of(records[i], &s.first_ms, &s.last_ms)) spans.push_back(s);
    }
    std::vector<double> widths(spans.size());
    for (std::size_t i = 0; i < spans.size(); ++i) widths[i] = spans[i].last_ms - spans[i].first_ms;
    double limit = std::numeric_limits<double>::infinity();
    if (!widths.empty()) {
        std::nth_element(widths.begin(), widths.begin() + static_cast<std::ptrdiff_t>(widths.size() / 2), widths.end());
        limit = 64.0 * widths[widths.size() / 2];
    }
    for (const index_type::instant_span& s : spans) {
        if (s.last_ms - s.first_ms <= limit) idx.instants.push_back(s);
        else idx.wide.push_back(s.record);
    }
    std::sort(idx.instants.begin(), idx.instants.end(),
              [](const index_type::instant_span& a, const index_type::instant_span& b) {
                  return a.first_ms < b.first_ms;
              });
    double reach = -std::numeric_limits<double>::infinity();
    for (index_type::instant_span& s : idx.instants) s.reach = reach = std::fmax(reach, s.last_ms);
    if (!idx.instants.empty()) {
        const auto count = static_cast<std::uint32_t>(2 * idx.instants.size());
        idx.instant_cut = grid_over(idx.instants.front().first_ms, idx.instants.back().first_ms, count);
        std::uint32_t i = 0;
        for (std::uint32_t b = 0; b <= count; ++b) {
            while (i < idx.instants.size() && bucket_of(idx.instant_cut, idx.instants[i].first_ms) < b) ++i;
            idx.instant_buckets.push_back(i);
        }
    }
    idx.built_for = n;
    *out = std::make_shared<const correlation_index>(std::move(idx));
}

}  // namespace detail

int index_correlation(correlation* c) noexcept {
    const correlation_record* prev = nullptr;
    for (const correlation_record& r : c->records) {
        if (!std::isfinite(r.from_tb) || !std::isfinite(r.to_tb) || !(r.from_tb < r.to_tb) ||
            detail::order_fault(prev, r) != nullptr)
            return -1;
        prev = &r;
    }
    try {
        detail::index_records(c->records, &c->index);
    } catch (const std::exception&) {
        return -1;
    }
    return 0;
}

int tb_to_tu(const correlation& c, int partition, double tb, date_heure* out) noexcept {
    if (indexed(c)) {
        const index_type::reading_entry* e = find_indexed(c, partition, tb);
        if (e != nullptr && e->calibrated) return detail::convert(e->cal, tb, out);
    } else if (const correlation_record* r = find_unindexed(c, partition, tb)) {
        return tb_to_tu(r->cal, tb, out);
    }
    return tb_to_tu(calibration{}, tb, out);  // the sentinel and -1
}

int tu_to_tb(const correlation& c, const date_heure& tu, int* partition, double* tb) noexcept {
    int jd = 0;
    if (julday(tu.mois, tu.jour, tu.annee, &jd) != 0) return -1;
    const std::int64_t at = instant_ms(jd, tu);
    const double t = static_cast<double>(at);
    // The later record in the table wins: only records after the best so
    // far are tried.
    const correlation_record* best = nullptr;
    double best_tb = 0.0;
    auto consider = [&](const correlation_record& r) {
        double x = 0.0;
        if ((best == nullptr || &r > best) && reading_in(r, at, &x)) {
            best = &r;
            best_tb = x;
        }
    };
    if (indexed(c)) {
        const auto& spans = c.index->instants;
        if (!spans.empty()) {
            // Every span from this one on starts after t.
            std::size_t i = c.index->instant_buckets[bucket_of(c.index->instant_cut, t) + 1];
            for (; i > 0 && spans[i - 1].reach >= t; --i) {
                const index_type::instant_span& s = spans[i - 1];
                if (s.first_ms <= t && t <= s.last_ms) consider(c.records[s.record]);
            }
        }
        for (const std::uint32_t w : c.index->wide) consider(c.records[w]);
    } else {
        for (auto r = c.records.rbegin(); r != c.records.rend() && best == nullptr; ++r) {
            double first = 0.0, last = 0.0;
            if (instants_of(*r, &first, &last) && t >= first && t <= last) consider(*r);
        }
    }
    if (best == nullptr) return -1;
    *partition = best->partition;
    *tb = best_tb;
    return 0;
}

}  // namespace temps
