// libFuzzer target: the calendar and TU conversions on arbitrary integers
// and doubles. Checks: no undefined behaviour anywhere; every existing date
// of years 1 to 9999 outside the 1582 gap comes back through julday and
// caldat; whole-millisecond instants of 1900..2100 come back through
// tu_to_date and date_to_tu.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "temps.h"

namespace {

template <typename T>
T take(const std::uint8_t*& data, std::size_t& size) {
    T v{};
    const std::size_t n = size < sizeof v ? size : sizeof v;
    std::memcpy(&v, data, n);
    data += n;
    size -= n;
    return v;
}

int month_length(int y, int m) {
    static constexpr int len[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = y <= 1582 ? y % 4 == 0 : (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : len[m - 1];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int a = take<int>(data, size), b = take<int>(data, size), c = take<int>(data, size);
    const int h = take<int>(data, size), mi = take<int>(data, size);
    const double s = take<double>(data, size), t = take<double>(data, size);

    // Anything goes: only undefined behaviour (caught by the sanitizers) fails.
    int jd = 0, y = 0, m = 0, d = 0, hh = 0, mm = 0;
    double ss = 0.0;
    [[maybe_unused]] const int status = temps::julday(a, b, c, &jd);
    temps::caldat(&m, &d, &y, a);
    temps::tu_to_date(a, b, c, h, mi, s);
    temps::date_to_tu(t, &y, &m, &d, &hh, &mm, &ss);

    // A real date of years 1..9999: the day-number round trip.
    const int year = 1 + static_cast<int>(static_cast<unsigned>(a) % 9999u);
    const int month = 1 + static_cast<int>(static_cast<unsigned>(b) % 12u);
    const int day = 1 + static_cast<int>(static_cast<unsigned>(c) % static_cast<unsigned>(month_length(year, month)));
    if (!(year == 1582 && month == 10 && day > 4 && day < 15)) {
        if (temps::julday(month, day, year, &jd) != 0) std::abort();
        temps::caldat(&m, &d, &y, jd);
        if (y != year || m != month || d != day) std::abort();
    }

    // A whole-millisecond instant of 1900..2100: the TU round trip.
    const int ty = 1900 + static_cast<int>(static_cast<unsigned>(a) % 201u);
    const int th = static_cast<int>(static_cast<unsigned>(h) % 24u);
    const int tmi = static_cast<int>(static_cast<unsigned>(mi) % 60u);
    const int tms = static_cast<int>(static_cast<unsigned>(c) % 60000u);
    const double tu = temps::tu_to_date(ty, month, day, th, tmi, tms / 1000.0);
    if (day <= month_length(ty, month)) {
        temps::date_to_tu(tu, &y, &m, &d, &hh, &mm, &ss);
        const bool same = y == ty && m == month && d == day && hh == th && mm == tmi &&
                          std::llround(ss * 1000.0) == tms;
        if (!same) std::abort();
    }
    return 0;
}
