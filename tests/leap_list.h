// Leap-second lists the tests make from the shipped one, with the hash the
// reader checks.
#ifndef TESTS_LEAP_LIST_H
#define TESTS_LEAP_LIST_H

#include <cstdio>
#include <sstream>
#include <string>

#include "sha1.h"
#include "support.h"

namespace test {

// The shipped list at path with TAI - UTC falling by one second at the end
// of 2025 (a negative leap second: 2025-12-31T23:59:59 is skipped).
inline std::string with_negative_leap_second(const std::string& shipped) {
    std::string text = read_file(shipped);
    const std::string last = "3692217600      37      # 1 Jan 2017\n";
    text.insert(text.find(last) + last.size(), "3976214400\t36\t# 1 Jan 2026\n");
    // The hash of the update, the expiry and every data line's two fields.
    temps::detail::sha1 h;
    for (const char* date : {"3960835200", "3991593600"}) h.update(date, 10);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string when, offset;
        if (line.empty() || line[0] == '#' || !(fields >> when >> offset)) continue;
        h.update(when.data(), when.size());
        h.update(offset.data(), offset.size());
    }
    char hash[64];
    const auto d = h.digest();
    std::snprintf(hash, sizeof hash, "#h\t%08x %08x %08x %08x %08x", d[0], d[1], d[2], d[3], d[4]);
    text.replace(text.find("#h\t"), text.find('\n', text.find("#h\t")) - text.find("#h\t"), hash);
    return text;
}

}  // namespace test

#endif
