// CCSDS time codes: the faults found in other codecs, every refusal, a leap
// second in CDS, the window's first day in CUC, both P-field octets, an
// agency epoch, and random round trips through every kind of layout.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "temps.h"

namespace {

using temps::scale_time;
using temps::time_code;

const std::string leaps = KORVANE_TEST_DATA "/leap-seconds.list";

temps::leap_second_table table() {
    temps::leap_second_table t;
    EXPECT_EQ(temps::read_leap_seconds(leaps.c_str(), &t, nullptr, 0), 0);
    return t;
}

std::vector<std::uint8_t> hex(const std::string& s) {
    std::vector<std::uint8_t> v;
    for (std::size_t i = 0; i + 1 < s.size(); i += 2) v.push_back(static_cast<std::uint8_t>(std::stoi(s.substr(i, 2), nullptr, 16)));
    return v;
}

TEST(Ccsds, DecodesWhatOthersGetWrong) {
    const temps::leap_second_table t = table();
    const temps::date epoch{2000, 1, 1};
    struct row {
        const char* what;
        std::string code;
        bool with_epoch;
        std::string utc;     // the instant, as a UTC label with nanoseconds; "" for a refusal
        const char* reason;  // of the refusal
    };
    const row rows[] = {
        {"CDS in a leap second", "40542D05265DF4", false, "2016-12-31 23:59:60.500000000", nullptr},
        {"CUC at the window's first day", "1E577AF8A00000", false, "2004-07-05 00:00:00.000000000", nullptr},
        {"a fine octet 0x80 is half a second", "1D577AF8A080", false, "2004-07-05 00:00:00.500000000", nullptr},
        {"0xFF is 0.99609375 s, not a second", "1D577AF8A0FF", false, "2004-07-05 00:00:00.996093750", nullptr},
        {"the second P-field octet: 5 coarse, 3 fine", "9E2400577AF8A0800000", false, "2004-07-05 00:00:00.500000000", nullptr},
        {"a day before 1970", "40111F00000000", false, "1970-01-01 00:00:00.000000000", nullptr},
        {"day 0", "40000000000000", false, "1958-01-01 00:00:00.000000000", nullptr},
        {"microseconds in the low 16 bits", "41542C0000000103E7", false, "2016-12-30 00:00:00.001999000", nullptr},
        {"picoseconds above 999,999", "42542C000000013B9AC618", false, "2016-12-30 00:00:00.001999999", nullptr},
        {"a 24-bit day", "4400542C00000000", false, "2016-12-30 00:00:00.000000000", nullptr},
        {"CUC level 2 from the agency epoch", "2E000000010000", true, "1999-12-31 23:59:29.000000000", nullptr},
        {"CDS from the agency epoch", "4800010000000A", true, "2000-01-02 00:00:00.010000000", nullptr},
        {"a 1958 CDS, an agency epoch given", "40542D05265DF4", true, "2016-12-31 23:59:60.500000000", nullptr},
        {"seven more fine octets (three bits of the second octet)", "9F1C577AF8A080000000000000000000", false,
         "2004-07-05 00:00:00.500000000", nullptr},
        {"no agency epoch given", "2E000000010000", false, "", "no agency epoch given"},
        {"too short", "40542D05265D", false, "", "shorter than its P-field says"},
        {"too long", "40542D05265DF400", false, "", "longer than its P-field says"},
        {"an unknown time-code id", "70542D05265DF4", false, "", "an unknown time-code id"},
        {"CCS", "50542D05265DF4", false, "", "CCS (calendar segmented) codes are not supported"},
        {"the reserved sub-millisecond code", "43542D05265DF400000000", false, "", "the reserved sub-millisecond code 11"},
        {"an extension bit in a CDS P-field", "C0542D05265DF4", false, "", "an extension bit in a CDS P-field"},
        {"microseconds above 999", "41542C0000000103E8", false, "", "microseconds above 999"},
        {"picoseconds above 999,999,999", "42542C000000013B9ACA00", false, "", "picoseconds above 999,999,999"},
        {"86,400,000 ms on a day without a leap second", "40542C05265C00", false, "",
         "a millisecond of day past 86,399,999 on a day without a leap second"},
        {"beyond any leap second", "40542D0526621C", false, "", "a millisecond of day beyond any leap second"},
    };
    for (const row& r : rows) {
        const std::vector<std::uint8_t> octets = hex(r.code);
        time_code c{};
        const char* why = "";
        scale_time tai{};
        int status = temps::decode(octets.data(), octets.size(), nullptr, &c, &why);
        if (status == 0) status = temps::code_to_tai(c, t, r.with_epoch ? &epoch : nullptr, &tai, &why);
        if (r.reason != nullptr) {
            EXPECT_LT(status, 0) << r.what;
            EXPECT_STREQ(why, r.reason) << r.what;
            continue;
        }
        ASSERT_GE(status, 0) << r.what << ": " << why;
        temps::civil_time u{};
        ASSERT_GE(temps::tai_to_utc(t, tai, &u), 0);
        char text[40];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%09d", u.year, u.month, u.day, u.hour, u.minute,
                      u.second, u.nanosecond);
        EXPECT_EQ(text, r.utc) << r.what;
        // And back to the same octets.
        time_code again{};
        std::uint8_t out[32];
        ASSERT_GE(temps::tai_to_code(tai, c.layout, t, r.with_epoch ? &epoch : nullptr, &again, &why), 0) << r.what << ": " << why;
        const int n = temps::encode(again, false, out, sizeof out);
        EXPECT_EQ(std::vector<std::uint8_t>(out, out + (n > 0 ? n : 0)), octets) << r.what;
        // Into a buffer of exactly its length, and not one octet less.
        std::vector<std::uint8_t> exact(octets.size());
        EXPECT_EQ(temps::encode(again, false, exact.data(), exact.size()), static_cast<int>(octets.size())) << r.what;
        EXPECT_EQ(exact, octets) << r.what;
        EXPECT_EQ(temps::encode(again, false, exact.data(), exact.size() - 1), -1) << r.what;
    }
    // Never wrapped: day 65,536 does not fit 16 bits; before the epoch.
    time_code c{};
    const char* why = "";
    const temps::time_code_layout cds16{true, false, 0, 0, 2, 0, 1, {}};
    EXPECT_EQ(temps::tai_to_code({65536LL * 86400 + 40, 0}, cds16, t, nullptr, &c, &why), -1);
    EXPECT_STREQ(why, "beyond the day counter");
    EXPECT_EQ(temps::tai_to_code({-1, 0}, cds16, t, nullptr, &c, &why), -1);
    EXPECT_STREQ(why, "before the epoch");
}

// Random instants through every kind of layout: back within half the
// code's resolution (CUC codes are the nearest unit; CDS codes, exact
// decimals, truncate and so are never after the instant).
TEST(Ccsds, RandomRoundTrips) {
    const temps::leap_second_table t = table();
    std::mt19937_64 rng(301);
    std::uniform_int_distribution<std::int64_t> second(14 * 365 * 86400LL, 130 * 365 * 86400LL);
    std::uniform_int_distribution<std::int32_t> nano(0, 999999999);
    struct layout {
        const char* pfield;
        std::int64_t resolution_ns;
    };
    const layout layouts[] = {{"40", 1000000}, {"41", 1000}, {"42", 1}, {"44", 1000000}, {"1E", 15259},
                              {"1F", 60}, {"1D", 3906250}, {"9E08", 1}, {"9F1C", 1}};
    for (const layout& l : layouts) {
        temps::time_code_layout lay{};
        const std::vector<std::uint8_t> p = hex(l.pfield);
        ASSERT_EQ(temps::read_pfield(p.data(), p.size(), &lay, nullptr), 0) << l.pfield;
        for (int i = 0; i < 2000; ++i) {
            const scale_time x{second(rng), nano(rng)};
            time_code c{};
            scale_time back{};
            ASSERT_GE(temps::tai_to_code(x, lay, t, nullptr, &c, nullptr), 0) << l.pfield;
            ASSERT_GE(temps::code_to_tai(c, t, nullptr, &back, nullptr), 0) << l.pfield;
            const std::int64_t behind = (x.second - back.second) * 1000000000 + (x.nanosecond - back.nanosecond);
            if (lay.cds) {
                ASSERT_TRUE(behind >= 0 && behind < l.resolution_ns) << l.pfield << ": " << behind << " ns behind";
            } else {
                ASSERT_LE(2 * std::abs(behind), l.resolution_ns + 1) << l.pfield << ": " << behind << " ns behind";
            }
        }
    }
}

}  // namespace
