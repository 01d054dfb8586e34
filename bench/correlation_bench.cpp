// Reading -> TU through a correlation table of 4096 records against the
// same conversion with a single calibration, readings spread over the
// whole table (bench/correlation.sh prints both and their ratio).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "temps.h"

namespace {

constexpr double span = 86400.0 * 1000.0;  // a day of readings at 1000 units a second

// Records of a day each; or, uneven, of an hour to a hundred days, so
// that the first guess misses and the binary search does the work (the
// spans are scaled to cover the same readings).
std::unique_ptr<temps::correlation> make_table(bool uneven) {
    auto c = std::make_unique<temps::correlation>();
    c->count = temps::correlation_capacity;
    std::mt19937_64 rng(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same tables every run
    std::uniform_real_distribution<double> exponent(-1.4, 2.0);
    std::vector<double> spans(c->count, span);
    double total = 0.0;
    for (double& s : spans) total += s = uneven ? span * std::pow(10.0, exponent(rng)) : span;
    double from = 0.0;
    for (int i = 0; i < c->count; ++i) {
        const double to = from + spans[i] * (temps::correlation_capacity * span / total);
        c->records[i] = {1, from, to, {from, {2004, 7, 5, 0, 0, 0, 0}, 1000.0 + i * 1e-6}};
        from = to;
    }
    c->records[c->count - 1].to_tb = temps::correlation_capacity * span + 1.0;
    return c;
}

std::vector<double> readings() {
    std::mt19937_64 rng(4096);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same readings every run
    std::uniform_real_distribution<double> u(0.0, temps::correlation_capacity * span);
    std::vector<double> r(8192);
    for (double& x : r) x = u(rng);
    return r;
}

void single_calibration(benchmark::State& state) {
    const temps::calibration c{0.0, {2004, 7, 5, 0, 0, 0, 0}, 1000.0};
    const std::vector<double> tb = readings();
    std::size_t i = 0;
    for (auto _ : state) {
        temps::date_heure out{};
        benchmark::DoNotOptimize(temps::tb_to_tu(c, tb[i++ & 8191], &out));
        benchmark::DoNotOptimize(out);
    }
}

void table_of_4096(benchmark::State& state) {
    const auto c = make_table(state.range(0) != 0);
    const std::vector<double> tb = readings();
    std::size_t i = 0;
    for (auto _ : state) {
        temps::date_heure out{};
        benchmark::DoNotOptimize(temps::tb_to_tu(*c, 1, tb[i++ & 8191], &out));
        benchmark::DoNotOptimize(out);
    }
}

}  // namespace

BENCHMARK(single_calibration);
BENCHMARK(table_of_4096)->Arg(0)->Arg(1);
BENCHMARK_MAIN();
