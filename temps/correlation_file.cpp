// Clock-correlation files: their text form read in one pass into a table
// (temps_correlation(5)), every fault one "<path>:<line>: <reason>".
#include "correlation.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <exception>
#include <system_error>
#include <utility>

#include "instant.h"
#include "line_file.h"

namespace temps {
namespace {

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

// Records of a correlation file, one a line, through rd's messages.
struct reader {
    detail::line_file& rd;

    int fail(const char* reason, const char* detail = "") const { return rd.fail(reason, detail); }

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

    // Reads every record into out, checking their order. Lines may be of
    // any length. Returns 0, or -1. Throws std::bad_alloc.
    int records(std::vector<correlation_record>* out) const {
        correlation_record r{};
        int status = 0;
        while (char* start = rd.next(&status)) {
            // A byte-order mark that some editors write first.
            if (rd.line == 1 && std::strncmp(start, "\xEF\xBB\xBF", 3) == 0) start += 3;
            const int got = record(start, &r);
            if (got < 0) return -1;
            if (got == 0) continue;
            if (const char* fault = detail::order_fault(out->empty() ? nullptr : &out->back(), r))
                return fail(fault);
            out->push_back(r);
        }
        if (status != 0) return status;
        if (out->empty()) {
            rd.line = 0;
            return fail("no record");
        }
        return 0;
    }
};

}  // namespace

int read_correlation(const char* path, correlation* out, char* error, int error_size) noexcept {
    detail::line_file file(path, error, error_size);
    if (file.open() != 0) return -1;
    const reader rd{file};
    correlation table;
    int status = -1;
    try {
        status = rd.records(&table.records);
        if (status == 0) {
            file.line = 0;
            detail::index_records(table.records, &table.index);
        }
    } catch (const std::exception&) {  // bad_alloc, or length_error for a table beyond memory
        status = rd.fail("out of memory");
    }
    if (status == 0) *out = std::move(table);
    return status;
}

}  // namespace temps
