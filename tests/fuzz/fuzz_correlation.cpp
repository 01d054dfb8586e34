// libFuzzer target: clock-correlation files. Whatever the text, reading it
// gives a table or one message; over a table, tb_to_tu at and around every
// record gives a record or -1 with the sentinel, the same with and without
// the table's index, and every instant that tu_to_tb answers (the same
// with and without the index) comes back through tb_to_tu to the
// millisecond.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "temps.h"

namespace {

std::int64_t instant_ms(const temps::date_heure& t) {
    int jd = 0;
    if (temps::julday(t.mois, t.jour, t.annee, &jd) != 0) std::abort();
    return std::int64_t{jd} * 86400000 + ((std::int64_t{t.heure} * 60 + t.minute) * 60 + t.seconde) * 1000 +
           t.milliseconde;
}

bool same(const temps::date_heure& a, const temps::date_heure& b) {
    return a.annee == b.annee && a.mois == b.mois && a.jour == b.jour && a.heure == b.heure &&
           a.minute == b.minute && a.seconde == b.seconde && a.milliseconde == b.milliseconde;
}

void check_reading(const temps::correlation& c, const temps::correlation& plain, int partition, double tb) {
    temps::date_heure out{}, plain_out{};
    const int status = temps::tb_to_tu(c, partition, tb, &out);
    if (temps::tb_to_tu(plain, partition, tb, &plain_out) != status || !same(out, plain_out)) std::abort();
    if (status == -1 && !(out.annee == 9999 && out.mois == 99 && out.milliseconde == 999)) std::abort();
    if (status != 0 && status != -1) std::abort();
    if (status != 0 || out.annee <= 0 || out.annee > 9999) return;
    int back_partition = 0, plain_partition = 0;
    double back = 0.0, plain_back = 0.0;
    const int found = temps::tu_to_tb(c, out, &back_partition, &back);
    if (temps::tu_to_tb(plain, out, &plain_partition, &plain_back) != found) std::abort();
    if (found != 0) return;
    if (plain_partition != back_partition || plain_back != back) std::abort();
    temps::date_heure again{};
    if (temps::tb_to_tu(c, back_partition, back, &again) != 0 || instant_ms(again) != instant_ms(out))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("correlation", 0);
    static auto table = std::make_unique<temps::correlation>();
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    char path[64], error[128];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    if (temps::read_correlation(path, table.get(), error, sizeof error) != 0) return 0;
    temps::correlation plain{table->records, {}};  // searched without an index
    for (std::size_t i = 0; i < table->records.size() && i < 64; ++i) {
        const temps::correlation_record& r = table->records[i];
        for (const double tb : {r.from_tb, std::nextafter(r.to_tb, r.from_tb), r.to_tb,
                                0.9 * r.to_tb + 0.1 * r.from_tb, 0.5 * r.to_tb + 0.5 * r.from_tb})
            for (const int partition : {r.partition, r.partition + (r.partition < 2147483647 ? 1 : 0)})
                check_reading(*table, plain, partition, tb);
    }
    return 0;
}
