// libFuzzer target: on-board clock calibration on arbitrary calibrations
// and on-board times. Checks: no undefined behaviour, and either a valid
// record (month 1..12, day 1..31, and hour, minute, second and millisecond
// in range when the instant is after the reference day's midnight) or -1
// with the sentinel record.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "temps.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    struct input {
        double tb_ref, k, tb;
        temps::date_heure ref;
    } in{};
    std::memcpy(&in, data, size < sizeof in ? size : sizeof in);

    temps::init_recalage(in.tb_ref, &in.ref, in.k);
    temps::date_heure out{};
    const int status = temps::tb_en_tu(in.tb, &out);
    if (status == -1) {
        const bool sentinel = out.annee == 9999 && out.mois == 99 && out.jour == 99 &&
                              out.heure == 99 && out.minute == 99 && out.seconde == 99 &&
                              out.milliseconde == 999;
        if (!sentinel) std::abort();
        return 0;
    }
    if (status != 0) std::abort();
    // A real reference day with a real time of day, and an instant after
    // its midnight: the result is a real date and time. Past some 280,000
    // years a double no longer holds the milliseconds of the day.
    int ref_jd = 0;
    const bool real_reference = in.ref.mois >= 1 && in.ref.mois <= 12 && in.ref.jour >= 1 &&
                                in.ref.jour <= 28 && in.ref.annee >= 1 && in.ref.annee <= 9999 &&
                                in.ref.heure >= 0 && in.ref.heure < 24 && in.ref.minute >= 0 &&
                                in.ref.minute < 60 && in.ref.seconde >= 0 && in.ref.seconde < 60 &&
                                in.ref.milliseconde >= 0 && in.ref.milliseconde < 1000 &&
                                temps::julday(in.ref.mois, in.ref.jour, in.ref.annee, &ref_jd) == 0;
    const bool after = (in.tb - in.tb_ref) / in.k >= 0.0;
    if (real_reference && after && out.annee > 0 && out.annee <= 100000) {
        const bool valid = out.mois >= 1 && out.mois <= 12 && out.jour >= 1 && out.jour <= 31 &&
                           out.heure >= 0 && out.heure < 24 && out.minute >= 0 && out.minute < 60 &&
                           out.seconde >= 0 && out.seconde < 60 && out.milliseconde >= 0 &&
                           out.milliseconde < 1000;
        if (!valid) std::abort();
    }
    return 0;
}
