// The facts of the KORVANE mission that the watch is built on, in one
// place: the availability window, the products with their file names, and
// the shape of a file's name in the L2 store. The program, the demo store
// tool and the benchmarks all take them from here.
#ifndef AVAILABILITY_MISSION_H
#define AVAILABILITY_MISSION_H

#include "temps.h"

namespace korvane {

// The availability window, both days included.
inline constexpr temps::date window_first_day{2004, 7, 5};
inline constexpr temps::date window_last_day{2011, 3, 14};
inline constexpr char window_first_text[] = "2004-07-05";
inline constexpr char window_last_text[] = "2011-03-14";
inline constexpr int window_days = 2444;
inline constexpr int window_months = 81;  // July 2004 to March 2011

// The window in TU milliseconds: 00:00 of its first and of its last day.
inline constexpr double window_first = 1467676800000.0;
inline constexpr double window_last = 1678752000000.0;

namespace detail {
constexpr int day_number(temps::date d) {
    int jd = 0;
    return temps::julday(d.month, d.day, d.year, &jd) == 0 ? jd : -1;
}
}  // namespace detail
static_assert(detail::day_number(window_last_day) - detail::day_number(window_first_day) + 1 == window_days);
static_assert((window_last_day.year - window_first_day.year) * 12 + window_last_day.month - window_first_day.month + 1 ==
              window_months);
static_assert(window_first == (detail::day_number(window_first_day) - temps::jd_1958) * temps::ms_per_day);
static_assert(window_last == (detail::day_number(window_last_day) - temps::jd_1958) * temps::ms_per_day);

// One column of the availability page: its heading, the file name tried
// first, and the fallback tried when the first file does not exist.
struct product {
    const char* heading;
    const char* first;
    const char* fallback;  // nullptr: no fallback
};

inline constexpr int product_count = 6;

// The products in the order of the page's columns. The orbit product (WYT)
// is filed under the VAK code with the mode word ORBITO.
inline constexpr product products[product_count] = {
    {"VAK", "VAK_SURVEY", "VAK_BURSTx"},    {"TOQ", "TOQ_HFx1024", "TOQ_VLF1024"},
    {"ZELK", "ZEL_VLF1024", nullptr},       {"HUV", "HUV_BURSTx", "HUV_SURVEY"},
    {"PEX", "PEX_xxxxxx", nullptr},         {"WYT", "VAK_ORBITO", nullptr},
};

// A file of the store: "<root>YYYYMMDD/" + file_prefix + name + "_" +
// "YYYYMMDD" + file_suffix, name being a product's first or fallback name.
inline constexpr char file_prefix[] = "KORVANE_";
inline constexpr char file_suffix[] = "_V01.bin";

}  // namespace korvane

#endif
