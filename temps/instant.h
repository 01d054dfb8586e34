// Internal to the time library: an instant as whole milliseconds, exact.
#ifndef TEMPS_INSTANT_H
#define TEMPS_INSTANT_H

#include <cstdint>

#include "temps.h"

namespace temps::detail {

// Milliseconds from 00:00 of day number 0 to the instant of t on day jd,
// exact for any int fields (|result| < 2^63).
inline std::int64_t instant_ms(int jd, const date_heure& t) {
    return std::int64_t{jd} * 86400000 +
           ((std::int64_t{t.heure} * 60 + t.minute) * 60 + t.seconde) * 1000 + t.milliseconde;
}

}  // namespace temps::detail

#endif
