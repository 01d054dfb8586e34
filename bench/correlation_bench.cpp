// Conversions through clock-correlation tables of 1,877, 4,096 and 100,000
// records in three partitions, against tb_to_tu with a single calibration
// (bench/correlation.sh prints the figures and their ratios). Records are
// of even spans (a day each) or of uneven ones (log-uniform between an
// hour and a hundred days). Two tables no clock makes bound the worst
// case: a million records of which 40 % are a hundred times longer than
// the others, and 100,000 records in 100 partitions that each cover the
// same instants. Readings and instants are drawn at random
// over the whole table, 65,536 of them (with fewer, the lookups of the
// largest table stay in the cache). The memory floor is one calibration
// after one dependent random read of a 64-byte line from an array the
// size of the table: a lookup that must reach a record it has not touched
// before cannot be cheaper.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "temps.h"

namespace {

constexpr double rate = 1000.0;  // on-board units a second
constexpr int draws = 65536;     // readings and instants, cycled through

struct fixture {
    temps::correlation table;
    std::vector<std::pair<int, double>> readings;  // partition, reading
    std::vector<temps::date_heure> instants;
};

temps::date_heure at(double tu_ms) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    double s = 0.0;
    temps::tu_to_calendar(std::floor(tu_ms), &y, &mo, &d, &h, &mi, &s);
    const int ms = static_cast<int>(std::lround(s * 1000.0));
    return {y, mo, d, h, mi, ms / 1000, ms % 1000};
}

enum shape : int { even, uneven, mixed, overlapping };

fixture make(int records, int shape) {
    fixture f;
    const int partitions = shape == overlapping ? 100 : 3;
    std::mt19937_64 rng(static_cast<unsigned>(records) * 4 + static_cast<unsigned>(shape));  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same tables every run
    std::uniform_real_distribution<double> exponent(std::log(3600.0), std::log(100.0 * 86400.0));
    const double first_ms = temps::calendar_to_tu(2004, 7, 5, 0, 0, 0.0);
    double tu_ms = first_ms, last_ms = first_ms;
    double tb = 0.0;
    std::vector<double> partition_end;  // readings each partition covers
    for (int i = 0; i < records; ++i) {
        const int partition = 1 + static_cast<int>(std::int64_t{i} * partitions / records);
        if (i > 0 && partition != f.table.records.back().partition) {
            partition_end.push_back(tb);
            tb = 0.0;  // a reset of the clock
            if (shape == overlapping) tu_ms = first_ms;
        }
        const double seconds = shape == uneven  ? std::exp(exponent(rng))
                               : shape == mixed ? (rng() % 5 < 2 ? 100.0 : 1.0) * 3600.0
                                                : 86400.0;
        const double k = rate * (1.0 + 1e-7 * (i % 13));  // a drifting clock
        f.table.records.push_back({partition, tb, tb + seconds * k, {tb, at(tu_ms), k}});
        tb += seconds * k;
        tu_ms = std::floor(tu_ms) + seconds * 1000.0;
        last_ms = std::max(last_ms, tu_ms);
    }
    partition_end.push_back(tb);
    if (temps::index_correlation(&f.table) != 0) std::abort();

    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double total = 0.0;
    for (const double e : partition_end) total += e;
    for (int i = 0; i < draws; ++i) {
        double u = unit(rng) * total;
        int p = 0;
        while (p + 1 < static_cast<int>(partition_end.size()) && u >= partition_end[p]) u -= partition_end[p++];
        f.readings.emplace_back(p + 1, u);
        f.instants.push_back(at(first_ms + unit(rng) * (last_ms - first_ms)));
    }
    return f;
}

void single_calibration(benchmark::State& state) {
    const fixture f = make(1877, even);
    const temps::calibration c = f.table.records[0].cal;
    std::size_t i = 0;
    for (auto _ : state) {
        temps::date_heure out{};
        benchmark::DoNotOptimize(temps::tb_to_tu(c, f.readings[i++ % draws].second, &out));
        benchmark::DoNotOptimize(out);
    }
}

void tb_to_tu_table(benchmark::State& state) {
    const fixture f = make(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& [partition, tb] = f.readings[i++ % draws];
        temps::date_heure out{};
        benchmark::DoNotOptimize(temps::tb_to_tu(f.table, partition, tb, &out));
        benchmark::DoNotOptimize(out);
    }
}

void tu_to_tb_table(benchmark::State& state) {
    const fixture f = make(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::size_t i = 0;
    for (auto _ : state) {
        int partition = 0;
        double tb = 0.0;
        benchmark::DoNotOptimize(temps::tu_to_tb(f.table, f.instants[i++ % draws], &partition, &tb));
        benchmark::DoNotOptimize(tb);
    }
}

// One calibration after one dependent random read: lines of 64 bytes, as
// many as the table has records, chained in a random cycle.
void memory_floor(benchmark::State& state) {
    const fixture f = make(1877, even);
    const temps::calibration c = f.table.records[0].cal;
    struct alignas(64) line {
        std::uint32_t next;
    };
    const auto n = static_cast<std::uint32_t>(state.range(0));
    std::vector<line> lines(n);
    std::vector<std::uint32_t> order(n);
    for (std::uint32_t k = 0; k < n; ++k) order[k] = k;
    std::mt19937_64 rng(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same cycle every run
    std::shuffle(order.begin(), order.end(), rng);
    for (std::uint32_t k = 0; k < n; ++k) lines[order[k]].next = order[(k + 1) % n];
    std::uint32_t j = order[0];
    std::size_t i = 0;
    for (auto _ : state) {
        j = lines[j].next;
        temps::date_heure out{};
        benchmark::DoNotOptimize(temps::tb_to_tu(c, f.readings[(i++ + (j & 1U)) % draws].second, &out));
        benchmark::DoNotOptimize(out);
    }
}

}  // namespace

BENCHMARK(single_calibration);
BENCHMARK(memory_floor)->Arg(1877)->Arg(4096)->Arg(100000);
BENCHMARK(tb_to_tu_table)->ArgsProduct({{1877, 4096, 100000}, {0, 1}});
BENCHMARK(tu_to_tb_table)->ArgsProduct({{1877, 4096, 100000}, {0, 1}});
BENCHMARK(tu_to_tb_table)->Args({1000000, mixed})->Args({100000, overlapping});
BENCHMARK_MAIN();
