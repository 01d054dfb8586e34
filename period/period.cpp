#include "period.h"

#include <cstdio>
#include <cstring>

#include "temps.h"

namespace periode {

bool read_date(const char* text, int* jd) {
    int year = 0, month = 0, day = 0, month_at = 0, day_at = 0;
    // scanf's own field rules are the date format (blanks skipped, a sign
    // counted in the width); fields of at most four characters cannot
    // overflow, so nothing is lost by its lack of range errors. The %n
    // mark where the month and the day start, after their blanks.
    if (std::sscanf(text, "%4d %n%2d %n%2d", &year, &month_at, &month, &day_at, &day) != 3)  // NOLINT(cert-err34-c)
        return false;
    // A sign is the year's alone: "2004-01-01" would read month "-0" and
    // list December 2003.
    auto signed_field = [text](int at) { return text[at] == '-' || text[at] == '+'; };
    if (signed_field(month_at) || signed_field(day_at)) return false;
    return temps::julday(month, day, year, jd) == 0;  // fails for year 0
}

namespace {

// Day numbers whose dates have four-digit years, 0001-01-01 to 9999-12-31:
// there a date steps to the next by the library's calendar rules, exactly
// as caldat would give it, and its line is made from a digit table.
constexpr int fast_first = temps::jd_0001;
constexpr int fast_last = temps::jd_9999;

constexpr const auto& pairs = temps::detail::digit_pairs;

// "YYYYMMDD\n" of a date with a four-digit year.
void put_fast(output* out, const temps::date& t) {
    char* p = out->room(9);
    if (out->failed) return;
    std::memcpy(p, pairs.at[t.year / 100], 2);
    std::memcpy(p + 2, pairs.at[t.year % 100], 2);
    std::memcpy(p + 4, pairs.at[t.month], 2);
    std::memcpy(p + 6, pairs.at[t.day], 2);
    p[8] = '\n';
    out->len += 9;
}

// One "%04d%02d%02d\n" line, for any date caldat can give.
void out_date(output* out, int year, int month, int day) {
    char line[48];  // three ints of at most 11 characters each, and '\n'
    const int n = std::snprintf(line, sizeof line, "%04d%02d%02d\n", year, month, day);
    if (n > 0) out->put(line, static_cast<std::size_t>(n));
}

void out_str(output* out, const char* text) { out->put(text, std::strlen(text)); }

// "Date incorrecte : <text>", the text whole however long.
void date_error(output* out, const char* text) {
    out_str(out, "Date incorrecte : ");
    out_str(out, text);
    out_str(out, "\n");
}

}  // namespace

void list_days(output* out, int jd_start, int jd_end) {
    const int dir = jd_start <= jd_end ? 1 : -1;
    temps::date t{};
    bool stepping = false;  // t holds the date of the previous day number
    for (long long jd = jd_start;; jd += dir) {
        const int n = static_cast<int>(jd);
        if (stepping && n >= fast_first && n <= fast_last) {
            t = dir > 0 ? temps::next_day(t) : temps::previous_day(t);
        } else {
            temps::caldat(&t.month, &t.day, &t.year, n);
            stepping = n >= fast_first && n <= fast_last;
        }
        if (stepping) put_fast(out, t);
        else out_date(out, t.year, t.month, t.day);
        // A reader that has gone away ends the listing at once.
        if (out->failed || n == jd_end) return;
    }
}

int Affiche_periode(output* out, const char* debut, const char* fin) {
    int jd_start = 0, jd_end = 0;
    if (!read_date(debut, &jd_start)) {
        date_error(out, debut);
        return -1;
    }
    if (!read_date(fin, &jd_end)) {
        date_error(out, fin);
        return -1;
    }
    list_days(out, jd_start, jd_end);
    return 0;
}

int run(output* out, int argc, const char* const* argv) {
    int status = 0;
    if (argc != 3) {
        out_str(out, "Usage : ");
        out_str(out, argc > 0 ? argv[0] : "PERIODE");
        out_str(out, " <date-deb> <date-fin>\n\nAffiche la liste des dates comprises dans la periode\n"
                     "\nLes dates doivent etre au format YYYYMMDD\n");
        status = -1;
    } else {
        status = Affiche_periode(out, argv[1], argv[2]);
    }
    // A listing that did not reach its reader is a failure whatever else.
    if (!out->flush()) status = -1;
    return status == 0 ? 0 : 255;
}

}  // namespace periode
