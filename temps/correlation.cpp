// Clock-correlation tables: their index, and conversions with the record
// that held at a reading or an instant.
//
// Readings: each partition's span of readings is cut into twice as many
// equal buckets as it has records; a bucket names the first record that
// may hold a reading falling in it, and the records after it are stepped
// through. Whatever the spread of the records' spans, a reading drawn over
// the table lands on a long record, whose bucket names it or a neighbour.
//
// Instants: each record reaches the instants between those of its two end
// readings. Swept once in order of time, these give the pieces of TU that
// one record holds (the later record in the table wins), so a lookup is a
// bucket, a binary search among the few piece starts in it, and one
// calibration: O(log n) whatever the records' spans and overlaps.
#include "correlation.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <queue>
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

// Milliseconds since day 0 of the first and last instants of years 1 to
// 9999: between them instant_at is exact and never decreasing.
constexpr std::int64_t window_first = std::int64_t{jd_0001} * 86400000;
constexpr std::int64_t window_last = (std::int64_t{jd_9999} + 1) * 86400000 - 1;

// The first and last instants (milliseconds since day 0) that the readings
// of record r reach, p its prepared calibration: those of its two end
// readings. Ends beyond years 1 to 9999 are estimated with two
// milliseconds to spare, so that no instant is left out.
bool instant_range(const correlation_record& r, const detail::prepared_calibration& p, std::int64_t* first,
                   std::int64_t* last) {
    std::int64_t a = 0, b = 0;
    if (detail::instant_at(p, r.from_tb, &a) && detail::instant_at(p, std::nextafter(r.to_tb, r.from_tb), &b) &&
        std::min(a, b) >= window_first && std::max(a, b) <= window_last) {
        *first = std::min(a, b);
        *last = std::max(a, b);
        return true;
    }
    const double ref = static_cast<double>(std::int64_t{p.jd_ref} * 86400000) + p.ref_ms + p.ref_milli;
    const double x = ref + (r.from_tb - p.tb_ref) * 1000.0 / p.k;
    const double y = ref + (r.to_tb - p.tb_ref) * 1000.0 / p.k;
    if (std::isnan(x) || std::isnan(y)) return false;
    constexpr double limit = 0x1p62;  // far beyond any instant a date gives, and room for +1
    auto clamp = [&](double v) { return static_cast<std::int64_t>(std::clamp(v, -limit, limit)); };
    *first = clamp(std::fmin(x, y) - 2.0);
    *last = clamp(std::fmax(x, y) + 2.0);
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

// Whether a record (its readings [from_tb, to_tb), p its prepared
// calibration) holds a reading that maps to the instant at (milliseconds
// since day 0); the reading in *tb.
bool reading_in(double from_tb, double to_tb, const detail::prepared_calibration& p, std::int64_t at, double* tb) {
    double x = 0.0;
    if (!detail::reading_for(p, at, &x)) return false;
    if (!(x >= from_tb && x < to_tb)) {
        // Just outside the record: its own end reading may still map to
        // the instant.
        x = x < from_tb ? from_tb : std::nextafter(to_tb, from_tb);
        std::int64_t back = 0;
        if (!detail::instant_at(p, x, &back) || back != at) return false;
    }
    *tb = x;
    return true;
}

// The pieces of TU that the records hold, from the instants each reaches.
void cut_pieces(const std::vector<correlation_record>& records, index_type* idx) {
    struct span {
        std::int64_t first, last;
        std::uint32_t record;
    };
    std::vector<span> spans;
    spans.reserve(records.size());
    for (std::uint32_t i = 0; i < records.size(); ++i) {
        span s{0, 0, i};
        if (idx->entries[i].calibrated && instant_range(records[i], idx->entries[i].cal, &s.first, &s.last))
            spans.push_back(s);
    }
    if (spans.empty()) return;
    std::sort(spans.begin(), spans.end(), [](const span& a, const span& b) { return a.first < b.first; });
    // A sweep over time with the records that reach it, the latest on top;
    // one that has ended leaves when it comes to the top. The holder
    // changes only where a record starts or the top one ends.
    auto later = [](const span& a, const span& b) { return a.record < b.record; };
    std::priority_queue<span, std::vector<span>, decltype(later)> open(later);
    std::size_t next = 0;
    std::int64_t at = spans.front().first;
    for (;;) {
        while (next < spans.size() && spans[next].first <= at) open.push(spans[next++]);
        while (!open.empty() && open.top().last < at) open.pop();
        const std::uint32_t holder = open.empty() ? index_type::no_record : open.top().record;
        if (idx->pieces.empty() || idx->pieces.back().record != holder) idx->pieces.push_back({at, holder});
        if (open.empty()) {
            if (next == spans.size()) break;
            at = spans[next].first;
        } else {
            at = open.top().last + 1;
            if (next < spans.size()) at = std::min(at, spans[next].first);
        }
    }
    const auto count = static_cast<std::uint32_t>(idx->pieces.size());
    idx->piece_cut = grid_over(static_cast<double>(idx->pieces.front().first_ms),
                               static_cast<double>(idx->pieces.back().first_ms), 4 * count);
    std::uint32_t i = 0;
    for (std::uint32_t b = 0; b <= idx->piece_cut.count; ++b) {
        while (i < count && bucket_of(idx->piece_cut, static_cast<double>(idx->pieces[i].first_ms)) < b) ++i;
        idx->piece_buckets.push_back({i, index_type::mixed});
    }
    // Bucket 0 holds the first start, so a bucket where none starts has a
    // piece before it, which holds all of it.
    for (std::uint32_t b = 0; b < idx->piece_cut.count; ++b) {
        index_type::piece_bucket& k = idx->piece_buckets[b];
        if (k.first_piece == idx->piece_buckets[b + 1].first_piece) k.holder = idx->pieces[k.first_piece - 1].record;
    }
}

// The record that holds the instant at (milliseconds since day 0), or
// no_record.
std::uint32_t holder_of(const index_type& idx, std::int64_t at) {
    if (idx.pieces.empty()) return index_type::no_record;
    // Pieces of earlier buckets start before at, those of later ones after.
    const std::uint32_t b = bucket_of(idx.piece_cut, static_cast<double>(at));
    const index_type::piece_bucket k = idx.piece_buckets[b];
    if (k.holder != index_type::mixed) return k.holder;
    const auto after = std::upper_bound(idx.pieces.begin() + k.first_piece,
                                        idx.pieces.begin() + idx.piece_buckets[b + 1].first_piece, at,
                                        [](std::int64_t t, const index_type::piece& p) { return t < p.first_ms; });
    return after == idx.pieces.begin() ? index_type::no_record : (after - 1)->record;
}

}  // namespace

namespace detail {

void index_records(const std::vector<correlation_record>& records, std::shared_ptr<const correlation_index>* out) {
    correlation_index idx;
    const std::size_t n = records.size();
    if (n > std::numeric_limits<std::uint32_t>::max() / 2) throw std::bad_alloc();
    idx.entries.reserve(n);
    for (const correlation_record& r : records) {
        index_type::reading_entry e{r.from_tb, r.to_tb, {}, false, r.partition};
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

    cut_pieces(records, &idx);
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
    // The later record in the table that reaches the instant holds it; if
    // no reading of it maps to that millisecond, none answers.
    double x = 0.0;
    if (indexed(c)) {
        const std::uint32_t i = holder_of(*c.index, at);
        if (i == index_type::no_record) return -1;
        const index_type::reading_entry& e = c.index->entries[i];
        if (!reading_in(e.from_tb, e.to_tb, e.cal, at, &x)) return -1;
        *partition = e.partition;
        *tb = x;
        return 0;
    }
    for (auto r = c.records.rbegin(); r != c.records.rend(); ++r) {
        detail::prepared_calibration p{};
        std::int64_t first = 0, last = 0;
        if (!detail::prepare(r->cal, &p) || !instant_range(*r, p, &first, &last) || at < first || at > last) continue;
        if (!reading_in(r->from_tb, r->to_tb, p, at, &x)) return -1;
        *partition = r->partition;
        *tb = x;
        return 0;
    }
    return -1;
}

}  // namespace temps
