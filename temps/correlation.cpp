// Clock-correlation tables: reading them from their text form and
// converting with the record that held at a reading or an instant.
#include <sys/types.h>

#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <cstring>
#include <initializer_list>

#include "instant.h"
#include "temps.h"

namespace temps {
namespace {

using detail::instant_ms;

constexpr const char* field_names[] = {"partition", "from_tb", "to_tb", "tb_ref", "tu_ref", "rate"};

bool is_blank(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

// Decimal numbers only, whatever the locale of the calling program:
// from_chars knows no decimal comma and no hexadecimal without asking.
enum class number { ok, malformed, out_of_range };

number parse_double(const char* tok, double* v) {
    const char* end = tok + std::strlen(tok);
    const auto [at, ec] = std::from_chars(tok, end, *v);
    if (ec == std::errc::result_out_of_range && at == end) return number::out_of_range;
    return ec == std::errc{} && at == end ? number::ok : number::malformed;
}

// "YYYY-MM-DDTHH:MM:SS.mmm", every field in range and the date real (it
// comes back unchanged through julday and caldat).
bool parse_tu(const char* tok, date_heure* t) {
    static constexpr char shape[] = "dddd-dd-ddTdd:dd:dd.ddd";
    if (std::strlen(tok) != sizeof shape - 1) return false;
    for (std::size_t i = 0; i < sizeof shape - 1; ++i)
        if (shape[i] == 'd' ? (tok[i] < '0' || tok[i] > '9') : tok[i] != shape[i]) return false;
    auto num = [tok](int at, int n) {
        int v = 0;
        for (int i = 0; i < n; ++i) v = v * 10 + (tok[at + i] - '0');
        return v;
    };
    *t = date_heure{num(0, 4), num(5, 2), num(8, 2), num(11, 2), num(14, 2), num(17, 2), num(20, 3)};
    int jd = 0, y = 0, m = 0, d = 0;
    if (julday(t->mois, t->jour, t->annee, &jd) != 0) return false;
    caldat(&m, &d, &y, jd);
    return y == t->annee && m == t->mois && d == t->jour && t->heure < 24 && t->minute < 60 &&
           t->seconde < 60;
}

struct reader {
    const char* path;
    char* error;
    int error_size;
    int line;

    int fail(const char* reason, const char* detail = "") const {
        if (error != nullptr && error_size > 0)
            std::snprintf(error, static_cast<std::size_t>(error_size), "%s:%d: %s%s", path, line,
                          reason, detail);
        return -1;
    }

    // One line's record into *r; 1 for a record, 0 for nothing, -1 wrong.
    int record(char* text, correlation_record* r) const {
        if (char* hash = std::strchr(text, '#')) *hash = '\0';
        const char* fields[7];
        int n = 0;
        for (char* p = text; *p != '\0';) {
            while (is_blank(*p)) *p++ = '\0';
            if (*p == '\0') break;
            if (n < 7) fields[n] = p;
            ++n;
            while (*p != '\0' && !is_blank(*p)) ++p;
        }
        if (n == 0) return 0;
        if (n != 6) {
            char detail[48];
            std::snprintf(detail, sizeof detail, "6 fields expected, %d found", n);
            return fail(detail);
        }
        int part = 0;
        const char* tok = fields[0];
        const auto [at, ec] = std::from_chars(tok, tok + std::strlen(tok), part);
        if (ec != std::errc{} || *at != '\0') return fail("partition is not a whole number: ", tok);
        if (part < 1) return fail("partition below 1: ", fields[0]);
        double v[6] = {};
        for (const int i : {1, 2, 3, 5}) {
            const number got = parse_double(fields[i], &v[i]);
            if (got == number::malformed) return fail(field_names[i], " is not a number");
            if (got == number::out_of_range) return fail(field_names[i], " is out of range");
            if (!std::isfinite(v[i])) return fail(field_names[i], " is not finite");
        }
        if (v[1] >= v[2]) return fail("from_tb is not below to_tb");
        date_heure tu{};
        if (!parse_tu(fields[4], &tu)) return fail("tu_ref is not a real YYYY-MM-DDTHH:MM:SS.mmm: ", fields[4]);
        if (v[5] == 0.0) return fail("rate is zero");
        *r = correlation_record{part, v[1], v[2], calibration{v[3], tu, v[5]}};
        return 1;
    }

    // Reads every record, checking their order; stores them in out unless
    // it is null. Lines may be of any length. Returns the count, or -1.
    int all(std::FILE* f, correlation* out) {
        char* text = nullptr;
        std::size_t size = 0;
        const int count = records(f, out, &text, &size);
        std::free(text);  // NOLINT(cppcoreguidelines-no-malloc): getline's buffer
        return count;
    }

    int records(std::FILE* f, correlation* out, char** text, std::size_t* size) {
        int count = 0;
        correlation_record prev{}, r{};
        for (line = 1;; ++line) {
            errno = 0;
            const ssize_t n = getline(text, size, f);
            if (n < 0) break;
            char* start = *text;
            // A byte-order mark that some editors write first.
            if (line == 1 && std::strncmp(start, "\xEF\xBB\xBF", 3) == 0) start += 3;
            if (std::memchr(*text, '\0', static_cast<std::size_t>(n)) != nullptr)
                return fail("NUL byte in the line");
            const int got = record(start, &r);
            if (got < 0) return -1;
            if (got == 0) continue;
            if (count > 0 && (r.partition < prev.partition ||
                              (r.partition == prev.partition && r.from_tb < prev.from_tb)))
                return fail("record out of order");
            if (count > 0 && r.partition == prev.partition && r.from_tb < prev.to_tb)
                return fail("record overlaps the one before");
            if (count == correlation_capacity) return fail("more records than the capacity, 4096");
            if (out != nullptr) out->records[count] = r;
            prev = r;
            ++count;
        }
        if (errno == ENOMEM) return fail("out of memory");
        if (std::ferror(f) != 0) {
            line = 0;
            return fail("cannot read: ", std::strerror(errno));
        }
        if (count == 0) {
            line = 0;
            return fail("no record");
        }
        return count;
    }
};

// An instant as milliseconds since day 0, and whether tb maps to it.
bool maps_to(const calibration& c, double tb, std::int64_t at) {
    date_heure back{};
    int jd = 0;
    return tb_to_tu(c, tb, &back) == 0 && julday(back.mois, back.jour, back.annee, &jd) == 0 &&
           instant_ms(jd, back) == at;
}

int records_in(const correlation& c) {
    return c.count < 0 ? 0 : c.count > correlation_capacity ? correlation_capacity : c.count;
}

// The records [first, last) of a partition: at once for a table of one
// partition, else by two searches on the partition numbers.
void partition_range(const correlation& c, int partition, int* first, int* last) {
    const int n = records_in(c);
    *first = 0;
    *last = n;
    if (n == 0 || (c.records[0].partition == partition && c.records[n - 1].partition == partition))
        return;
    // The first record for which before(record) is false.
    auto search = [&](auto before) {
        int lo = 0, len = n;
        while (len > 0) {
            const int half = len / 2;
            if (before(c.records[lo + half].partition)) {
                lo += half + 1;
                len -= half + 1;
            } else {
                len = half;
            }
        }
        return lo;
    };
    *first = search([partition](int p) { return p < partition; });
    *last = search([partition](int p) { return p <= partition; });
}

// The record of the partition that covers tb, or nullptr. Calibrations are
// published at a steady pace, so the records of a partition cover spans
// of similar length: the first guess interpolates, and a binary search
// without branches on the comparisons settles the rest.
const correlation_record* find_record(const correlation& c, int partition, double tb) {
    int first = 0, last = 0;
    partition_range(c, partition, &first, &last);
    if (first >= last || !(tb >= c.records[first].from_tb && tb < c.records[last - 1].to_tb))
        return nullptr;  // also NaN
    const double lo = c.records[first].from_tb, width = c.records[last - 1].to_tb - lo;
    const int count = last - first;
    // A span wider than any double (-1e308 to 1e308) makes the share NaN
    // or infinite: then the search alone decides.
    const double share = (tb - lo) / width * count;  // [0, count] when finite
    const int guess = first + (share >= 0.0 && share < count ? static_cast<int>(share) : 0);
    const correlation_record* r = &c.records[guess];
    if (!(r->from_tb <= tb && tb < r->to_tb)) {
        // The last record whose from_tb <= tb.
        const correlation_record* base = &c.records[first];
        for (int len = count; len > 1;) {
            const int half = len / 2;
            base = base[half].from_tb <= tb ? base + half : base;
            len -= half;
        }
        r = base;
    }
    return r->from_tb <= tb && tb < r->to_tb ? r : nullptr;
}

}  // namespace

int read_correlation(const char* path, correlation* out, char* error, int error_size) {
    reader rd{path, error, error_size, 0};
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr) return rd.fail("cannot read: ", std::strerror(errno));
    // Check the whole file before touching *out, then read it again into it.
    int count = rd.all(f, nullptr);
    if (count >= 0) {
        std::rewind(f);
        count = rd.all(f, out);
    }
    std::fclose(f);
    if (count < 0) return -1;
    out->count = count;
    return 0;
}

int tb_to_tu(const correlation& c, int partition, double tb, date_heure* out) {
    const correlation_record* r = find_record(c, partition, tb);
    if (r != nullptr) return tb_to_tu(r->cal, tb, out);
    return tb_to_tu(calibration{}, tb, out);  // the sentinel and -1
}

int tu_to_tb(const correlation& c, const date_heure& tu, int* partition, double* tb) {
    int jd = 0;
    if (julday(tu.mois, tu.jour, tu.annee, &jd) != 0) return -1;
    const std::int64_t at = instant_ms(jd, tu);
    for (int i = records_in(c) - 1; i >= 0; --i) {
        const correlation_record& r = c.records[i];
        // A cheap look at the record's span first: the instants of its two
        // ends, in double, with a millisecond to spare.
        int jd_ref = 0;
        if (r.cal.k == 0.0 || julday(r.cal.tu_ref.mois, r.cal.tu_ref.jour, r.cal.tu_ref.annee, &jd_ref) != 0)
            continue;
        const double ref = static_cast<double>(instant_ms(jd_ref, r.cal.tu_ref));
        const double a = ref + (r.from_tb - r.cal.tb_ref) * 1000.0 / r.cal.k;
        const double b = ref + (r.to_tb - r.cal.tb_ref) * 1000.0 / r.cal.k;
        const double t = static_cast<double>(at);
        if (!(t >= std::fmin(a, b) - 2.0 && t <= std::fmax(a, b) + 2.0)) continue;

        double x = 0.0;
        if (tu_to_tb(r.cal, tu, &x) != 0) continue;
        if (!(x >= r.from_tb && x < r.to_tb)) {
            // Just outside the record: its own end reading may still map to
            // the instant.
            x = x < r.from_tb ? r.from_tb : std::nextafter(r.to_tb, r.from_tb);
            if (!maps_to(r.cal, x, at)) continue;
        }
        *partition = r.partition;
        *tb = x;
        return 0;
    }
    return -1;
}

}  // namespace temps
