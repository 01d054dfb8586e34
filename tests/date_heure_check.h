// Helpers of the time library's tests for date_heure records: printing,
// comparing, the failure sentinel, and the instant a record names.
#ifndef TESTS_DATE_HEURE_CHECK_H
#define TESTS_DATE_HEURE_CHECK_H

#include <ostream>

#include "temps.h"

namespace temps {
// Printed by failing expectations.
inline std::ostream& operator<<(std::ostream& os, const date_heure& t) {
    return os << t.annee << '-' << t.mois << '-' << t.jour << ' ' << t.heure << ':' << t.minute
              << ':' << t.seconde << '.' << t.milliseconde;
}
}  // namespace temps

namespace test {

inline bool same(const temps::date_heure& a, const temps::date_heure& b) {
    return a.annee == b.annee && a.mois == b.mois && a.jour == b.jour && a.heure == b.heure &&
           a.minute == b.minute && a.seconde == b.seconde && a.milliseconde == b.milliseconde;
}

inline constexpr temps::date_heure sentinel{9999, 99, 99, 99, 99, 99, 999};

// Milliseconds from the start of day number 0, exact whatever the fields'
// signs: two records name the same instant when these are equal.
inline long long instant_ms(const temps::date_heure& t) {
    int jd = 0;
    if (temps::julday(t.mois, t.jour, t.annee, &jd) != 0) return -1;  // no instant: never equal to one
    return jd * 86400000LL + ((t.heure * 60LL + t.minute) * 60 + t.seconde) * 1000 + t.milliseconde;
}

}  // namespace test

#endif
