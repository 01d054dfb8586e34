// Runs of values as text: each converted as convert_text converts it, up
// to the first refused. SCLK readings to TT2000 go in stages over a few
// dozen readings at a time, each stage a short loop whose readings do not
// wait on one another: the reading of the fields, ET - TT, the rounding
// to a count, its digits. One after the other, each reading's chain of
// steps would wait on the last.
#include <algorithm>
#include <cmath>

#include "convert_impl.h"
#include "digits.h"

namespace temps {
namespace {

// x as a count of ticks: a whole number below 2^64.
bool whole_ticks(long double x, std::uint64_t* u) {
    if (!(x >= 0 && x < 0x1p64L && x == std::floor(x))) return false;
    *u = static_cast<std::uint64_t>(x);
    return true;
}

// The window of partition p and of the triple the clock's memo used last.
void open_window(const sclk_clock& c, std::size_t p, const sclk_memo& m, converter::impl::sclk_window* w) {
    w->partition = 0;
    const std::size_t triples = c.coefficients.size() / 3;
    if (p == 0 || p > c.partition_start.size() || m.triple == 0 || m.triple > triples) return;
    const long double* t = &c.coefficients[3 * (m.triple - 1)];
    const long double next = m.triple < triples ? std::ceil(t[3]) : 0x1p64L;
    if (!whole_ticks(c.partition_start[p - 1], &w->start) || !whole_ticks(c.partition_end[p - 1], &w->end) ||
        !whole_ticks(c.partition_base[p - 1], &w->base) || !whole_ticks(t[0], &w->from) ||
        w->end - w->start > UINT64_MAX - w->base)
        return;
    // (Encoded SCLK is whole: below a triple's next, below its ceiling.)
    w->to = next < 0x1p64L ? static_cast<std::uint64_t>(next) : UINT64_MAX;
    w->t1 = t[1], w->rate = m.rate_per_tick;
    w->partition = p;
}

}  // namespace

std::size_t converter::convert_texts(std::span<const std::string_view> in, char end, char* out, std::size_t* n,
                                     refusal* why) noexcept {
    *why = refusal::none;
    *n = 0;
    if (impl_ == nullptr) return *why = refusal::no_memory, 0;
    const converter_settings& s = impl_->s;
    if (s.from == format::sclk && s.to == format::tt2000 && s.clock != nullptr &&
        (!s.clock->tdb || s.kernel != nullptr))
        return impl_->sclk_texts(in, end, out, n, why);
    for (std::size_t i = 0; i < in.size(); ++i) {
        std::size_t size = 0;
        if ((*why = convert_text(in[i], out + *n, &size)) != refusal::none) return i;
        out[*n + size] = end;
        *n += size + 1;
    }
    return in.size();
}

std::size_t converter::impl::sclk_texts(std::span<const std::string_view> in, char end, char* out, std::size_t* n,
                                        refusal* why) noexcept {
    constexpr std::size_t stage = 32;
    long double tt[stage];
    std::int64_t counts[stage];
    for (std::size_t first = 0; first < in.size(); first += stage) {
        const std::size_t count = std::min(stage, in.size() - first);
        // Each stage stops at its first refusal: no later value is seen
        // after it, and its reason is the one kept.
        std::size_t good = count;
        for (std::size_t i = 0; i < good; ++i) {
            const std::string_view v = in[first + i];
            // A reading as the kernel writes it in the window: its
            // encoded SCLK and the triple's line, as the plain reading
            // works them out (each sum and difference whole, exact).
            std::size_t p = 0;
            std::uint64_t ticks = 0;
            const bool written = detail::written_ticks(clock_fields, v, &p, &ticks);
            if (written && p == window.partition && ticks >= window.start && ticks < window.end) {
                const std::uint64_t encoded = window.base + (ticks - window.start);
                if (encoded >= window.from && encoded < window.to) {
                    tt[i] = window.t1 + window.rate * static_cast<long double>(encoded - window.from);
                    continue;
                }
            }
            const refusal r = v.empty() ? fail(refusal::empty) : detail::sclk_parallel(*this, v, &tt[i], true);
            if (r != refusal::none) *why = r, good = i;
            else if (written) open_window(*s.clock, p, clock_memo, &window);
        }
        // ET - TT of a TDB clock, two readings at a time.
        if (s.clock->tdb) {
            double et[stage], minus_tt[stage];
            for (std::size_t i = 0; i < good; ++i) et[i] = static_cast<double>(tt[i]);
            detail::et_minus_tt_each(*s.kernel, et, minus_tt, good);
            for (std::size_t i = 0; i < good; ++i) tt[i] -= minus_tt[i];
        }
        for (std::size_t i = 0; i < good; ++i)
            if (const refusal r = detail::tt_to_tt2000(*this, tt[i], &counts[i]); r != refusal::none) *why = r, good = i;
        // (A count takes 20 bytes at the most, as write_int64 may write:
        // fewer than a result's room.)
        for (std::size_t i = 0; i < good; ++i) {
            *n += detail::write_int64(out + *n, counts[i]);
            out[(*n)++] = end;
        }
        if (good < count) return first + good;
    }
    return in.size();
}

}  // namespace temps
