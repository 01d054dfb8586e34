// Type 1 spacecraft clocks of SCLK kernels, and the leap-second kernel.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "calendar.h"
#include "digits.h"
#include "sclk_fields.h"
#include "spice.h"

namespace temps {
namespace {

int fail(char* error, int size, const std::string& why) {
    if (error != nullptr && size > 0) std::snprintf(error, static_cast<std::size_t>(size), "%s", why.c_str());
    return -1;
}

// The numbers of a variable; nullptr when it is missing or holds other values.
const std::vector<kernel_value>* numbers(const kernel_pool& pool, const std::string& name) {
    const auto it = pool.variables.find(name);
    if (it == pool.variables.end()) return nullptr;
    for (const kernel_value& v : it->second)
        if (v.is != kernel_value::kind::number) return nullptr;
    return &it->second;
}

bool whole(long double x) { return std::isfinite(x) && x == std::floor(x); }

// The delimiters a reading may have between fields, and the output
// delimiters by their code 1 to 5.
constexpr char delimiters[] = ".:-, ";

}  // namespace

int read_sclk(const kernel_pool& pool, const char* id, sclk_clock* out, char* error, int error_size) noexcept {
    try {
        // The clocks of the pool, by their SCLK_DATA_TYPE_<id>.
        constexpr std::string_view type_prefix = "SCLK_DATA_TYPE_";
        std::vector<std::string> ids;
        for (const auto& [name, values] : pool.variables)
            if (name.rfind(type_prefix, 0) == 0) ids.push_back(name.substr(type_prefix.size()));
        std::string want = id != nullptr ? id : "";
        if (!want.empty() && want[0] == '-') want.erase(0, 1);
        if (want.empty()) {
            if (ids.size() != 1)
                return fail(error, error_size,
                            ids.empty() ? "no clock in the kernel (no SCLK_DATA_TYPE_<id>)"
                                        : "the kernel has " + std::to_string(ids.size()) + " clocks: name one");
            want = ids[0];
        } else if (std::find(ids.begin(), ids.end(), want) == ids.end()) {
            return fail(error, error_size, "no clock " + want + " in the kernel");
        }
        sclk_clock c;
        c.id = want;
        auto need = [&](const char* stem, std::size_t count, const std::vector<kernel_value>** v) {
            *v = numbers(pool, std::string(stem) + want);
            return *v != nullptr && (count == 0 ? !(*v)->empty() : (*v)->size() == count);
        };
        const std::vector<kernel_value>* v = nullptr;
        if (!need("SCLK_DATA_TYPE_", 1, &v) || (*v)[0].number != 1)
            return fail(error, error_size, "SCLK_DATA_TYPE_" + want + " is not 1: only type 1 clocks are read");
        if (!need("SCLK01_N_FIELDS_", 1, &v) || !whole((*v)[0].number) || (*v)[0].number < 1 || (*v)[0].number > 10)
            return fail(error, error_size, "SCLK01_N_FIELDS_" + want + " is not 1 to 10");
        const auto fields = static_cast<std::size_t>((*v)[0].number);
        if (!need("SCLK01_MODULI_", fields, &v)) return fail(error, error_size, "SCLK01_MODULI_" + want + " has not one modulus a field");
        for (const kernel_value& m : *v) {
            if (!whole(m.number) || m.number < 1) return fail(error, error_size, "SCLK01_MODULI_" + want + ": a modulus not a whole number of 1 or more");
            c.moduli.push_back(m.number);
        }
        if (!need("SCLK01_OFFSETS_", fields, &v)) return fail(error, error_size, "SCLK01_OFFSETS_" + want + " has not one offset a field");
        for (const kernel_value& o : *v) {
            if (!whole(o.number) || o.number < 0) return fail(error, error_size, "SCLK01_OFFSETS_" + want + ": an offset not a whole number");
            c.offsets.push_back(o.number);
        }
        if (!need("SCLK01_OUTPUT_DELIM_", 1, &v) || !whole((*v)[0].number) || (*v)[0].number < 1 || (*v)[0].number > 5)
            return fail(error, error_size, "SCLK01_OUTPUT_DELIM_" + want + " is not 1 to 5");
        c.delimiter = delimiters[static_cast<int>((*v)[0].number) - 1];
        const std::vector<kernel_value>* start = nullptr;
        const std::vector<kernel_value>* end = nullptr;
        if (!need("SCLK_PARTITION_START_", 0, &start) || !need("SCLK_PARTITION_END_", start->size(), &end))
            return fail(error, error_size, "SCLK_PARTITION_START_" + want + " and _END_ are not one each a partition");
        long double base = 0.0;
        for (std::size_t p = 0; p < start->size(); ++p) {
            const long double a = (*start)[p].number, b = (*end)[p].number;
            if (!(a >= 0 && b > a)) return fail(error, error_size, "partition " + std::to_string(p + 1) + " ends before it starts");
            c.partition_start.push_back(a);
            c.partition_end.push_back(b);
            c.partition_base.push_back(base);
            base += b - a;
        }
        if (const auto* system = numbers(pool, "SCLK01_TIME_SYSTEM_" + want)) {
            if (system->size() != 1 || ((*system)[0].number != 1 && (*system)[0].number != 2))
                return fail(error, error_size, "SCLK01_TIME_SYSTEM_" + want + " is not 1 (TDB) or 2 (TDT)");
            c.tdb = (*system)[0].number == 1;
        }
        if (!need("SCLK01_COEFFICIENTS_", 0, &v) || v->size() % 3 != 0)
            return fail(error, error_size, "SCLK01_COEFFICIENTS_" + want + " is not triples");
        c.coefficients.reserve(v->size());
        for (std::size_t i = 0; i < v->size(); i += 3) {
            if (i > 0 && !((*v)[i].number > c.coefficients[i - 3]))
                return fail(error, error_size, "SCLK01_COEFFICIENTS_" + want + ": encoded SCLK not increasing");
            if (!((*v)[i + 2].number > 0)) return fail(error, error_size, "SCLK01_COEFFICIENTS_" + want + ": a rate not above 0");
            for (std::size_t k = 0; k < 3; ++k) c.coefficients.push_back((*v)[i + k].number);
        }
        for (std::size_t f = 1; f < fields; ++f) c.ticks_per_count *= c.moduli[f];
        for (std::size_t i = 3; i < c.coefficients.size(); i += 3)
            c.parallel_ascending = c.parallel_ascending && c.coefficients[i + 1] > c.coefficients[i - 2];
        *out = std::move(c);
        return 0;
    } catch (const std::bad_alloc&) {
        return fail(error, error_size, "out of memory");
    }
}

sclk_status sclk_to_parallel(const sclk_clock& c, std::string_view r, long double* parallel) noexcept {
    return sclk_to_parallel(c, r, parallel, nullptr);
}

namespace {

bool is_delimiter(char d) { return d == '.' || d == ':' || d == '-' || d == ',' || d == ' '; }

using detail::take_count;

// The fields of a reading to its ticks: each field's count less its
// offset, times the product of the moduli to its right. Worked in 64-bit
// integers (Horner's rule, the fields left out as zeros) where the clock
// and the reading fit them, in which case each product and sum of the
// long double sum is an integer below 2^64, held exactly: the same ticks.
// Otherwise the long double sum itself.
// begin: where the reading starts, which its digits may be read from.
sclk_status field_ticks(const sclk_clock& c, const detail::sclk_fields& w, std::string_view r, const char* begin,
                        long double* ticks) {
    const std::size_t fields = c.moduli.size();
    const std::string_view reading = r;
    bool exact = w.whole;
    std::uint64_t sum = 0;
    std::size_t field = 0;
    for (;;) {
        std::uint64_t f = 0;
        if (!detail::take_count_within(&r, begin, &f) || field >= fields)
            return sclk_status::not_reading;
        if (w.offset_beyond[field] || f < w.offset[field]) return sclk_status::below_offset;
        exact = exact && !__builtin_mul_overflow(sum, w.modulus[field], &sum) &&
                !__builtin_add_overflow(sum, f - w.offset[field], &sum);
        ++field;
        if (r.empty()) break;
        if (!is_delimiter(r[0]) || r.size() == 1) return sclk_status::not_reading;
        r.remove_prefix(1);
    }
    for (std::size_t f = field; f < fields && exact; ++f) exact = !__builtin_mul_overflow(sum, w.modulus[f], &sum);
    if (exact) {
        *ticks = static_cast<long double>(sum);
        return sclk_status::ok;
    }
    // The sum in long double, rounded as it goes: fields far beyond their
    // moduli, or a clock of more than 2^64 ticks a count.
    long double t = 0;
    long double weight = c.ticks_per_count;
    r = reading;
    for (field = 0; !r.empty(); ++field) {
        std::uint64_t f = 0;
        static_cast<void>(take_count(&r, &f));
        t += (static_cast<long double>(f) - c.offsets[field]) * weight;
        if (field + 1 < fields) weight /= c.moduli[field + 1];
        if (!r.empty()) r.remove_prefix(1);
    }
    *ticks = t;
    return sclk_status::ok;
}

}  // namespace

void detail::prepare_fields(const sclk_clock& c, sclk_fields* w) noexcept {
    *w = sclk_fields{};
    if (c.moduli.size() > std::size(w->modulus) || c.offsets.size() != c.moduli.size()) return;  // read as no reading
    w->fields = c.moduli.size();
    w->whole = c.ticks_per_count < 0x1p64L;
    for (std::size_t f = 0; f < w->fields; ++f) {
        // (A modulus after the first is below ticks_per_count, so below
        // 2^64 where the clock is whole.)
        w->modulus[f] = f == 0 || !w->whole ? 1 : static_cast<std::uint64_t>(c.moduli[f]);
        w->offset_beyond[f] = !(c.offsets[f] < 0x1p64L);
        w->offset[f] = w->offset_beyond[f] ? 0 : static_cast<std::uint64_t>(c.offsets[f]);
    }
    prepare_written(c, w);
}

sclk_status sclk_to_parallel(const sclk_clock& c, std::string_view r, long double* parallel, sclk_memo* memo) noexcept {
    detail::sclk_fields w;
    detail::prepare_fields(c, &w);
    return detail::sclk_to_parallel(c, w, r, parallel, memo);
}

namespace {

// A reading's partition (0: none named) and ticks, read as they come.
sclk_status plain_ticks(const sclk_clock& c, const detail::sclk_fields& w, std::string_view r, std::size_t* partition,
                        long double* ticks) {
    while (!r.empty() && r.front() == ' ') r.remove_prefix(1);
    while (!r.empty() && r.back() == ' ') r.remove_suffix(1);
    const char* const begin = r.data();  // its digits are read a word at a time from here
    // "p/" before the fields: digits and a slash. A slash anywhere else is
    // in no field and is no delimiter.
    std::string_view fields = r;
    if (std::uint64_t p = 0; detail::take_count_within(&fields, begin, &p) && !fields.empty() && fields[0] == '/') {
        if (p < 1 || p > c.partition_start.size()) return sclk_status::no_partition;
        *partition = static_cast<std::size_t>(p);
        r = fields.substr(1);
    } else if (!fields.empty() && fields[0] == '/') {
        return sclk_status::not_reading;  // no partition, or one beyond 64 bits
    }
    return field_ticks(c, w, r, begin, ticks);
}

}  // namespace

sclk_status detail::sclk_to_parallel(const sclk_clock& c, const sclk_fields& w, std::string_view r,
                                     long double* parallel, sclk_memo* memo, bool written) noexcept {
    if (c.moduli.size() > std::size(w.modulus) || c.offsets.size() != c.moduli.size()) return sclk_status::not_reading;
    std::size_t partition = 0;  // 0: the earliest that holds it
    long double ticks = 0;
    if (std::uint64_t t = 0; written && written_ticks(w, r, &partition, &t)) {
        ticks = static_cast<long double>(t);
    } else if (const sclk_status st = plain_ticks(c, w, r, &partition, &ticks); st != sclk_status::ok) {
        return st;
    }
    const auto holds = [&](std::size_t p) { return ticks >= c.partition_start[p] && ticks < c.partition_end[p]; };
    if (partition == 0) {
        for (std::size_t p = 0; p < c.partition_start.size() && partition == 0; ++p)
            if (holds(p)) partition = p + 1;
        if (partition == 0) return sclk_status::outside_partition;
    } else if (!holds(partition - 1)) {
        return sclk_status::outside_partition;
    }
    const long double encoded = c.partition_base[partition - 1] + (ticks - c.partition_start[partition - 1]);
    // The last triple at or before it: the one used last where it still
    // is, else by bisection.
    const std::size_t triples = c.coefficients.size() / 3;
    std::size_t lo = 0;
    if (memo != nullptr && memo->triple > 0 && c.coefficients[3 * (memo->triple - 1)] <= encoded &&
        (memo->triple == triples || encoded < c.coefficients[3 * memo->triple])) {
        lo = memo->triple;
    } else {
        std::size_t hi = triples;  // the first triple after it
        while (lo < hi) {
            const std::size_t mid = (lo + hi) / 2;
            if (c.coefficients[3 * mid] <= encoded) lo = mid + 1;
            else hi = mid;
        }
        if (memo != nullptr) memo->triple = lo;
    }
    if (lo == 0) return sclk_status::outside_map;
    const long double* t = &c.coefficients[3 * (lo - 1)];
    // The triple's rate a tick, kept with what it is worked from.
    long double rate = 0;
    if (memo != nullptr && memo->rate_of == t[2] && memo->ticks_per_count == c.ticks_per_count) {
        rate = memo->rate_per_tick;
    } else {
        rate = t[2] / c.ticks_per_count;
        if (memo != nullptr) *memo = {memo->triple, t[2], c.ticks_per_count, rate};
    }
    *parallel = t[1] + rate * (encoded - t[0]);
    return sclk_status::ok;
}

std::size_t parallel_to_sclk(const sclk_clock& c, long double parallel, char* out, sclk_status* status) noexcept {
    *status = sclk_status::outside_map;
    if (c.moduli.size() > 10 || c.offsets.size() != c.moduli.size()) return 0;  // no clock read_sclk gives
    // The last triple whose parallel time is at or before it, in the
    // kernel's order: a map that jumps back is followed as it is.
    const std::size_t triples = c.coefficients.size() / 3;
    std::size_t i = triples;
    if (c.parallel_ascending) {  // the same triple, found by bisection
        std::size_t lo = 0;
        while (lo < i) {
            const std::size_t mid = (lo + i) / 2;
            if (c.coefficients[3 * mid + 1] <= parallel) lo = mid + 1;
            else i = mid;
        }
    } else {
        while (i > 0 && !(c.coefficients[3 * (i - 1) + 1] <= parallel)) --i;
    }
    if (i == 0 || !std::isfinite(parallel)) return 0;
    const long double* t = &c.coefficients[3 * (i - 1)];
    const long double encoded =
        std::round(t[0] + (parallel - t[1]) * c.ticks_per_count / t[2]);
    // The partition that holds it.
    std::size_t p = c.partition_base.size();
    while (p > 0 && !(c.partition_base[p - 1] <= encoded)) --p;
    if (p == 0 || encoded >= c.partition_base[p - 1] + (c.partition_end[p - 1] - c.partition_start[p - 1])) return 0;
    long double ticks = c.partition_start[p - 1] + (encoded - c.partition_base[p - 1]);
    // Fields from the least significant; the first is not reduced.
    long double value[10] = {};
    for (std::size_t f = c.moduli.size(); f-- > 1;) {
        const long double q = std::floor(ticks / c.moduli[f]);
        value[f] = ticks - q * c.moduli[f] + c.offsets[f];
        ticks = q;
    }
    value[0] = ticks + c.offsets[0];
    int n = std::snprintf(out, 128, "%zu/", p);
    for (std::size_t f = 0; f < c.moduli.size(); ++f) {
        // As wide as the field's largest value.
        const int width = std::snprintf(nullptr, 0, "%.0Lf", c.moduli[f] - 1 + c.offsets[f]);
        if (f > 0) out[n++] = c.delimiter;
        n += std::snprintf(out + n, 128 - static_cast<std::size_t>(n), "%0*.0Lf", width, value[f]);
        if (n >= 120) return 0;
    }
    *status = sclk_status::ok;
    return static_cast<std::size_t>(n);
}

int read_lsk(const kernel_pool& pool, lsk* out, char* error, int error_size) noexcept {
    try {
        lsk l;
        const auto it = pool.variables.find("DELTET/DELTA_AT");
        if (it == pool.variables.end() || it->second.size() < 2 || it->second.size() % 2 != 0)
            return fail(error, error_size, "no DELTET/DELTA_AT pairs of seconds and @dates: not a leap-second kernel");
        for (std::size_t i = 0; i < it->second.size(); i += 2) {
            const kernel_value& offset = it->second[i];
            const kernel_value& when = it->second[i + 1];
            if (offset.is != kernel_value::kind::number || when.is != kernel_value::kind::date || !whole(offset.number))
                return fail(error, error_size, "DELTET/DELTA_AT is not pairs of whole seconds and @dates");
            // The day since 1958-01-01 of the date (its seconds past J2000
            // at 00:00 are a whole number of days less half a day).
            const long double day = (when.number + 43200.0L) / 86400.0L + (2451545 - jd_1958);
            if (!whole(day)) return fail(error, error_size, "DELTET/DELTA_AT: a date not at 00:00");
            l.leaps.entries.push_back({static_cast<std::int64_t>(day), static_cast<int>(offset.number)});
        }
        const auto one = [&](const char* name, double* x) {
            const auto* v = numbers(pool, name);
            if (v == nullptr || v->size() != 1) return false;
            *x = static_cast<double>((*v)[0].number);
            return true;
        };
        const auto* m = numbers(pool, "DELTET/M");
        if (!one("DELTET/DELTA_T_A", &l.delta_t_a) || !one("DELTET/K", &l.k) || !one("DELTET/EB", &l.eb) ||
            m == nullptr || m->size() != 2)
            return fail(error, error_size, "DELTET/DELTA_T_A, K, EB or M (two values) missing");
        if (std::fabs(l.delta_t_a - 32.184) > 1e-9) return fail(error, error_size, "DELTET/DELTA_T_A is not 32.184 (TT - TAI)");
        l.m0 = static_cast<double>((*m)[0].number), l.m1 = static_cast<double>((*m)[1].number);
        // An LSK names no expiry: its last offset holds until a new kernel.
        l.leaps.expires = std::chrono::sys_seconds{std::chrono::seconds{253402300799}};  // 9999-12-31T23:59:59
        l.leaps.updated = l.leaps.expires;
        *out = std::move(l);
        return 0;
    } catch (const std::bad_alloc&) {
        return fail(error, error_size, "out of memory");
    }
}

}  // namespace temps
