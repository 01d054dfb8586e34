// Converts a date, a TU time and an on-board reading with the installed
// time library: two instruments, two clocks, two calibrations; then, given
// a correlation file (clock.correlation), readings of a mission's clock.
// Usage: convert [CORRELATION_FILE]
#include <temps/temps.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    int jd = 0;
    if (temps::julday(7, 5, 2004, &jd) != 0) return 1;
    std::printf("2004-07-05 is day %d\n", jd);

    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    double s = 0.0;
    temps::tu_to_calendar(1467676800000.0 + 45015250.0, &y, &mo, &d, &h, &mi, &s);
    std::printf("TU 1467721815250 is %04d-%02d-%02d %02d:%02d:%06.3f\n", y, mo, d, h, mi, s);
    // The same instant for std::chrono, which like TU has no leap seconds.
    const std::chrono::year_month_day day{std::chrono::floor<std::chrono::days>(temps::to_sys(1467721815250.0))};
    std::printf("std::chrono says %d-%02u-%02u\n", int(day.year()), unsigned(day.month()), unsigned(day.day()));

    const temps::calibration clocks[] = {
        {1000.0, {2004, 7, 5, 0, 0, 0, 0}, 1.0},      // one unit a second
        {0.0, {2008, 1, 1, 12, 0, 0, 0}, 65536.0},    // 2^16 units a second
    };
    for (const temps::calibration& c : clocks) {
        temps::date_heure t{};
        double back = 0.0;
        if (temps::tb_to_tu(c, 87400.5, &t) != 0 || temps::tu_to_tb(c, t, &back) != 0) return 1;
        std::printf("reading 87400.5 at rate %g is %04d-%02d-%02d %02d:%02d:%02d.%03d\n", c.k,
                    t.annee, t.mois, t.jour, t.heure, t.minute, t.seconde, t.milliseconde);
    }
    if (argc < 2) return 0;
    temps::correlation table;
    char error[256];
    if (temps::read_correlation(argv[1], &table, error, sizeof error) != 0) {
        std::printf("%s\n", error);
        return 1;
    }
    const struct { int partition; double tb; } readings[] = {{1, 86400000.0}, {2, 1024.0}, {1, 2e8}};
    for (const auto& r : readings) {
        temps::date_heure t{};
        if (temps::tb_to_tu(table, r.partition, r.tb, &t) != 0) {
            std::printf("partition %d reading %.0f: no calibration covers it\n", r.partition, r.tb);
            continue;
        }
        std::printf("partition %d reading %.0f is %04d-%02d-%02d %02d:%02d:%02d.%03d\n", r.partition,
                    r.tb, t.annee, t.mois, t.jour, t.heure, t.minute, t.seconde, t.milliseconde);
    }
    return 0;
}
