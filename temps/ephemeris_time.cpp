// Ephemeris time by the leap-second kernel: ET - TT = K sin E, with
// E = M + EB sin M and M = M0 + M1 ET.
//
// The sines are worked here rather than by the C library: sin M and cos M
// from one reduction of M to a 64th of a turn and a table, then
// sin E = sin(M + d) with d = EB sin M by the sum rule, d being small.
// That is a third of the work of two library sines, gives the same answer
// on every machine, and is within 1e-18 s of the formula worked in long
// double (the double M itself, as the kernel's constants give it, is the
// larger error).
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "convert_impl.h"
#include "spice.h"

namespace temps {
namespace {

// 1 / n!, for the series below.
constexpr double inverse_factorial(int n) {
    double f = 1;
    for (int i = 2; i <= n; ++i) f *= i;
    return 1 / f;
}

// What follows the first term of sin y = y - y^3/3! + y^5/5! - y^7/7!
// and of cos y = 1 - y^2/2! + ... - y^8/8!, in z = y^2: for |y| <= 0.05
// the terms after them are below 6e-18 and 3e-20. In pairs, each pair
// worked beside the other rather than after it.
// Of a double, or of two at once.
template <class T>
T sin_tail(T z) {
    return (inverse_factorial(3) - z * inverse_factorial(5)) + (z * z) * inverse_factorial(7);
}
template <class T>
T cos_tail(T z) {
    return (inverse_factorial(2) - z * inverse_factorial(4)) +
           (z * z) * (inverse_factorial(6) - z * inverse_factorial(8));
}

constexpr double round_bias = 0x1.8p52;  // adding it rounds to a whole number

// sin(j pi/32) for j = 0 to 16, each the double nearest it.
constexpr double sin_32nds[17] = {0.0, 0.0980171403295606, 0.19509032201612828, 0.2902846772544624,
                                  0.3826834323650898, 0.47139673682599764, 0.5555702330196022,
                                  0.6343932841636455, 0.7071067811865476, 0.773010453362737,
                                  0.8314696123025452, 0.881921264348355, 0.9238795325112867,
                                  0.9569403357322088, 0.9807852804032304, 0.9951847266721969, 1.0};

// sin(j pi/32) for a whole turn, j = 0 to 63.
constexpr auto sin_turn = [] {
    std::array<double, 64> t{};
    for (int j = 0; j < 64; ++j) {
        const int r = j % 32;
        const double v = sin_32nds[r <= 16 ? r : 32 - r];
        t[static_cast<std::size_t>(j)] = j < 32 ? v : -v;
    }
    return t;
}();

// pi/32 in three parts, the first of 31 bits: k times it is exact for
// |k| below 2^22.
constexpr double pi_32_1 = 1.57079632673412561417e+00 / 16, pi_32_2 = 6.07710050630396597660e-11 / 16,
                 pi_32_3 = 2.02226624879595063154e-21 / 16;

}  // namespace

double et_minus_tt(const lsk& l, double et) noexcept {
    const double m = l.m0 + l.m1 * et;
    if (!(std::fabs(m) < 0x1p18) || !(std::fabs(l.eb) <= 0.05))  // far from any mission, or not the Earth's orbit
        return l.k * std::sin(m + l.eb * std::sin(m));
    // M to the nearest 32nd of a half turn, k of them, and what is left
    // (|x| <= pi/64): sin M and cos M from the table and the series of x.
    const double k = (m * 10.185916357881302 + round_bias) - round_bias;
    const double x = ((m - k * pi_32_1) - k * pi_32_2) - k * pi_32_3, x2 = x * x;
    const double sin_x = x - (x * x2) * sin_tail(x2), cos_x = 1 - x2 * cos_tail(x2);
    const auto j = static_cast<std::size_t>(static_cast<std::int64_t>(k) & 63);
    const double sin_j = sin_turn[j], cos_j = sin_turn[(j + 16) & 63];
    const double sin_m = sin_j * cos_x + cos_j * sin_x, cos_m = cos_j * cos_x - sin_j * sin_x;
    // sin(M + d), |d| <= |EB| <= 0.05, by the same series of d.
    const double d = l.eb * sin_m, z = d * d;
    const double sin_d = d - (d * z) * sin_tail(z), cos_d = 1 - z * cos_tail(z);
    return l.k * (sin_m * cos_d + cos_m * sin_d);
}

void detail::et_minus_tt_each(const lsk& l, const double* et, double* out, std::size_t n) noexcept {
    // Two at a time, each step of each the one et_minus_tt takes (each
    // operation on a pair is the operation on each of its doubles).
    using pair = double __attribute__((vector_size(16)));
    std::size_t i = 0;
    for (; i + 2 <= n && std::fabs(l.eb) <= 0.05; i += 2) {
        const pair e = {et[i], et[i + 1]};
        const pair m = l.m0 + l.m1 * e;
        if (!(std::fabs(m[0]) < 0x1p18 && std::fabs(m[1]) < 0x1p18)) {
            out[i] = et_minus_tt(l, et[i]), out[i + 1] = et_minus_tt(l, et[i + 1]);
            continue;
        }
        const pair k = (m * 10.185916357881302 + round_bias) - round_bias;
        const pair x = ((m - k * pi_32_1) - k * pi_32_2) - k * pi_32_3, x2 = x * x;
        const pair sin_x = x - (x * x2) * sin_tail(x2), cos_x = 1.0 - x2 * cos_tail(x2);
        const auto j0 = static_cast<std::size_t>(static_cast<std::int64_t>(k[0]) & 63);
        const auto j1 = static_cast<std::size_t>(static_cast<std::int64_t>(k[1]) & 63);
        const pair sin_j = {sin_turn[j0], sin_turn[j1]}, cos_j = {sin_turn[(j0 + 16) & 63], sin_turn[(j1 + 16) & 63]};
        const pair sin_m = sin_j * cos_x + cos_j * sin_x, cos_m = cos_j * cos_x - sin_j * sin_x;
        const pair d = l.eb * sin_m, z = d * d;
        const pair sin_d = d - (d * z) * sin_tail(z), cos_d = 1.0 - z * cos_tail(z);
        const pair r = l.k * (sin_m * cos_d + cos_m * sin_d);
        out[i] = r[0], out[i + 1] = r[1];
    }
    for (; i < n; ++i) out[i] = et_minus_tt(l, et[i]);
}

double tt_to_et(const lsk& l, double tt) noexcept {
    // ET - TT changes by some 1e-10 of ET: three steps find it.
    double et = tt;
    for (int i = 0; i < 3; ++i) et = tt + et_minus_tt(l, et);
    return et;
}

}  // namespace temps
