// The library's converter, as a C++ program calls it: values in the text
// forms and held, rows for the faults a face or a memo could bring in, the
// span against one value at a time, datetime64 in its own units, and the
// leap-second list loaded only where a value needs it.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "convert_impl.h"
#include "digits.h"
#include "leap_list.h"
#include "support.h"
#include "temps.h"

namespace {

using temps::format;
using temps::refusal;

const std::string shipped = KORVANE_TEST_DATA "/leap-seconds.list";

const temps::leap_second_table& table_of(const std::string& path) {
    static std::vector<std::unique_ptr<std::pair<std::string, temps::leap_second_table>>> kept;
    for (const auto& k : kept)
        if (k->first == path) return k->second;
    auto k = std::make_unique<std::pair<std::string, temps::leap_second_table>>(path, temps::leap_second_table{});
    char error[256];
    EXPECT_EQ(temps::read_leap_seconds(path.c_str(), &k->second, error, sizeof error), 0) << error;
    kept.push_back(std::move(k));
    return kept.back()->second;
}

temps::converter_settings settings(format from, format to, const temps::leap_second_table* leaps, int precision = 9) {
    temps::converter_settings s;
    s.from = from, s.to = to;
    s.precision = precision;
    s.leaps = leaps;
    const std::uint8_t p = to == format::cds ? 0x40 : 0x1E;
    static_cast<void>(temps::read_pfield(&p, 1, &s.out_layout, nullptr));
    return s;
}

// One value through the text forms: its text, or "refused: <reason>".
std::string text_of(temps::converter& c, const std::string& in) {
    char out[400];
    std::size_t n = 0;
    return c.convert_text(in, out, &n) == refusal::none ? std::string(out, n) : std::string("refused: ") + c.reason();
}

TEST(Converter, TextFormsBothWays) {
    test::temp_dir dir;
    test::write_file(dir.path() / "negative", test::with_negative_leap_second(shipped));
    const temps::leap_second_table* leaps = &table_of(shipped);
    const temps::leap_second_table* negative = &table_of((dir.path() / "negative").string());
    const struct row {
        const char* what;
        format from, to;
        const temps::leap_second_table* leaps;
        int precision;
        std::vector<std::pair<std::string, std::string>> values;  // in a run of one converter
    } rows[] = {
        {"a label's sub-millisecond fraction in TU (a unit slip)", format::utc, format::tu, leaps, 9,
         {{"2004-07-05T00:00:00.0005", "1467676800000.500"}, {"2004-07-05T00:00:00.000999999", "1467676800000.999"}}},
        {"a fraction that would round up into a leap second stays before it", format::utc, format::tu, leaps, 9,
         {{"2016-12-31T23:59:59.9999999", "1861919999999.999"}, {"2016-12-31T23:59:60.9999999", "1861919999999.000"}}},
        {"a day, then the same day of the next month (a date memo that ignored the month)", format::utc, format::jd,
         leaps, 9, {{"2004-07-05T01:00:00", "2453192"}, {"2004-08-05T01:00:00", "2453223"}, {"2005-08-05T01:00:00", "2453588"}}},
        {"labels of fields out of range", format::utc, format::tai, leaps, 3,
         {{"2004-07-05T00:60:00", "refused: not a UTC time YYYY-MM-DDTHH:MM:SS[.fraction][Z]"},
          {"2004-07-05T24:00:00", "refused: not a UTC time YYYY-MM-DDTHH:MM:SS[.fraction][Z]"},
          {"2004-07-05T23:59:59", "2004-07-06T00:00:31.000"},
          {"2004-07-05T23:59:60", "refused: no leap second at this time"},
          {"2016-12-31T12:00:60", "refused: no leap second at this time"},
          {"2016-12-31T23:58:59.5", "2016-12-31T23:59:35.500"},
          {"", "refused: an empty value"}}},
        {"the negative leap second holds for every output: TAI", format::utc, format::tai, negative, 3,
         {{"2025-12-31T23:59:58.5", "2026-01-01T00:00:35.500"}, {"2025-12-31T23:59:59", "refused: no leap second at this time"}}},
        {"the negative leap second holds for every output: TU", format::utc, format::tu, negative, 3,
         {{"2025-12-31T23:59:59.5", "refused: no leap second at this time"}, {"2024-12-31T23:59:59.5", "2114380799500.000"}}},
        {"the negative leap second holds for every output: UTC", format::utc, format::utc, negative, 3,
         {{"2025-12-31T23:59:59", "refused: no leap second at this time"}}},
        {"a CDS code of 23:59:60 on a day without a leap second", format::cds, format::utc, leaps, 3,
         {{"40542C05265C00", "refused: a millisecond of day past 86,399,999 on a day without a leap second"},
          {"40542D05265DF4", "2016-12-31T23:59:60.500"}}},
        {"a fine CUC code is rounded to the label's digit, not truncated", format::cuc, format::tai, leaps, 4,
         {{"1E577AF8A00034", "2004-07-05T00:00:32.0008"}}},
        {"POSIX seconds, to the nanosecond both ways", format::posix, format::utc, leaps, 9,
         {{"1.5", "1970-01-01T00:00:01.500000000"}, {"-0.5", "1969-12-31T23:59:59.500000000"},
          {"1089030896.789123456", "2004-07-05T12:34:56.789123456"}, {"1e3", "refused: not POSIX seconds since 1970-01-01 (a decimal to the nanosecond)"},
          {"1.0000000001", "refused: not POSIX seconds since 1970-01-01 (a decimal to the nanosecond)"}}},
        {"a leap second has no POSIX time", format::utc, format::posix, leaps, 9,
         {{"2016-12-31T23:59:59.999999999", "1483228799.999999999"}, {"2016-12-31T23:59:60", "refused: a leap second, which POSIX time has not"},
          {"1969-12-31T23:59:59.5", "-0.500000000"}}},
        {"day-of-year labels, a Z and a leap second", format::yday, format::utc, leaps, 3,
         {{"2016-366T23:59:60.5Z", "2016-12-31T23:59:60.500"}, {"2015-366T00:00:00", "refused: not a UTC time YYYY-DDDTHH:MM:SS[.fraction][Z]"},
          {"1582-355T00:00:00", "1582-12-31T00:00:00.000"}, {"2016-365T23:59:60", "refused: no leap second at this time"}}},
        {"labels to day of year", format::utc, format::yday, leaps, 3,
         {{"2004-07-05T01:02:03.456789", "2004-187T01:02:03.456"}, {"2016-12-31T23:59:60.5", "2016-366T23:59:60.500"}}},
        {"epoch16 keeps its picoseconds", format::epoch16, format::epoch16, leaps, 9,
         {{"63113904000.000000001999", "63113904000.000000001999"}}},
    };
    for (const row& r : rows) {
        temps::converter c(settings(r.from, r.to, r.leaps, r.precision));
        for (const auto& [in, want] : r.values) EXPECT_EQ(text_of(c, in), want) << r.what << ": " << in;
    }
    // A CUC coarse counter beyond its octets is refused by the encoder
    // itself: one coarse octet holds 255 s after 1958.
    temps::converter_settings s = settings(format::tai, format::cuc, leaps);
    const std::uint8_t one_octet = 0x10;
    ASSERT_EQ(temps::read_pfield(&one_octet, 1, &s.out_layout, nullptr), 0);
    temps::converter c(s);
    EXPECT_EQ(text_of(c, "1958-01-01T00:04:15"), "10FF");
    EXPECT_EQ(text_of(c, "1958-01-01T00:04:16").rfind("refused: ", 0), 0u);
}

// The span gives what one value at a time gives, memos and all: labels in
// and out of order over decades, in a zone west of UTC.
TEST(Converter, TheSpanAnswersAsOneValueAtATime) {
    const temps::leap_second_table* leaps = &table_of(shipped);
    std::mt19937_64 rng(31);
    std::vector<std::string> labels;
    for (int i = 0; i < 4000; ++i) {
        char text[40];
        const int year = 1960 + static_cast<int>(rng() % 70), month = 1 + static_cast<int>(rng() % 12);
        const int day = 1 + static_cast<int>(rng() % 28);
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%09d", year, month, day,
                      i % 7 == 0 ? 23 : static_cast<int>(rng() % 24), i % 7 == 0 ? 59 : static_cast<int>(rng() % 60),
                      i % 7 == 0 ? 59 : static_cast<int>(rng() % 60), static_cast<int>(rng() % 1000000000));
        labels.emplace_back(text);
    }
    std::sort(labels.begin(), labels.begin() + 2000);  // a time series, then random order
    for (const format to : {format::tt2000, format::tai, format::tu, format::datetime64, format::cds}) {
        std::vector<temps::held_value> in(labels.size());
        for (std::size_t i = 0; i < labels.size(); ++i) in[i].text = labels[i];
        std::vector<temps::held_result> out(labels.size());
        std::vector<refusal> status(labels.size());
        std::vector<char> texts(labels.size() * 64);
        temps::converter span(settings(format::utc, to, leaps));
        span.convert(in, out, status, texts.data(), 64);
        for (std::size_t i = 0; i < labels.size(); ++i) {
            temps::converter one(settings(format::utc, to, leaps));  // a fresh memo each time
            temps::held_result r;
            char text[64];
            ASSERT_EQ(one.convert(in[i], &r, text), status[i]) << labels[i];
            if (status[i] != refusal::none) continue;
            EXPECT_EQ(r.integer, out[i].integer) << labels[i];
            EXPECT_EQ(r.real, out[i].real) << labels[i];
            EXPECT_EQ(std::string(text, r.text_size), std::string(texts.data() + i * 64, out[i].text_size)) << labels[i];
        }
    }
}

// A run of datetime64 to TT2000 goes by whole days: each answer, status
// and warning as one value at a time gives them, on both sides of every
// day's ends, leap-second days, a negative leap second, the 1960s and
// past the list's expiry, sorted and not.
TEST(Converter, TheRunOfDaysAnswersAsOneValueAtATime) {
    test::temp_dir dir;
    test::write_file(dir.path() / "negative", test::with_negative_leap_second(shipped));
    constexpr std::int64_t day = 86400LL * 1000000000;
    std::mt19937_64 rng(64);
    std::vector<std::int64_t> values;
    for (const std::int64_t d : std::initializer_list<std::int64_t>{-3653, 0, 730, 912, 13878, 17166, 20453, 24000})  // 1960 ... 2035
        for (const std::int64_t at : std::initializer_list<std::int64_t>{0, 1, day - 1, day, day - 1000000000})
            values.push_back(d * day + at);
    for (int i = 0; i < 20000; ++i) values.push_back(static_cast<std::int64_t>(rng() % (75 * 365 * day)) - 10 * 365 * day);
    values.push_back(temps::datetime64_nat);
    std::sort(values.begin() + 40, values.begin() + 10040);
    for (const std::string& list : {shipped, (dir.path() / "negative").string()}) {
        temps::converter_settings s = settings(format::datetime64, format::tt2000, &table_of(list));
        temps::converter run(s), one(s);
        std::vector<std::int64_t> out(values.size());
        std::vector<refusal> status(values.size());
        run.convert(values, out, status);
        for (std::size_t i = 0; i < values.size(); ++i) {
            temps::held_result r;
            ASSERT_EQ(one.convert({{}, values[i]}, &r, nullptr), status[i]) << values[i];
            if (status[i] == refusal::none) {
                EXPECT_EQ(out[i], r.integer) << values[i];
            }
        }
        EXPECT_EQ(run.warnings(), one.warnings()) << list;
    }
}

// UTC labels to TT2000 and back go by whole days: each answer and warning
// as the plain calls give them, on both sides of each day's last second,
// of leap-second days (a negative one too), 1972 and the list's expiry,
// with fractions below the millisecond, sorted and not, at precisions 9,
// 3 and 0.
TEST(Converter, LabelsOfWholeDaysAnswerAsThePlainCalls) {
    test::temp_dir dir;
    test::write_file(dir.path() / "negative", test::with_negative_leap_second(shipped));
    std::mt19937_64 rng(72);
    std::vector<std::string> labels;
    for (const char* d : {"1958-01-01", "1971-12-31", "1972-01-01", "2005-12-31", "2006-01-01", "2016-12-31", "2025-12-31", "2026-01-01",
                          "2026-06-27", "2026-06-28", "2026-06-29",
                          "2050-11-01", "2061-09-18"})  // in 1972-01-01's slot, read and written
        for (const char* t : {"00:00:00", "00:00:00.000000001", "12:00:60", "23:59:58.999999999", "23:59:59",
                              "23:59:59.999999999", "23:59:60.5"})
            labels.push_back(std::string(d) + "T" + t);
    const std::size_t edges = labels.size();
    for (int i = 0; i < 6000; ++i) {
        char text[40];
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%09d", 1970 + static_cast<int>(rng() % 70),
                      1 + static_cast<int>(rng() % 12), 1 + static_cast<int>(rng() % 31), static_cast<int>(rng() % 24),
                      static_cast<int>(rng() % 60), static_cast<int>(rng() % 61), static_cast<int>(rng() % 1000000000));
        labels.emplace_back(text);
    }
    std::sort(labels.begin() + static_cast<std::ptrdiff_t>(edges), labels.begin() + 3000 + static_cast<std::ptrdiff_t>(edges));
    for (const std::string& list : {shipped, (dir.path() / "negative").string()}) {
        const temps::leap_second_table& t = table_of(list);
        temps::converter in(settings(format::utc, format::tt2000, &t));
        bool dubious = false;
        std::vector<std::int64_t> counts;
        for (std::size_t i = 0; i < labels.size(); ++i) {
            const std::string& label = labels[i];
            const bool edge = i < edges;  // the next nanosecond of each; of the others, one at random
            temps::civil_time c{};
            temps::scale_time tai{};
            std::int64_t want = 0;
            const int r = temps::read_label(label, &c) == 0 ? temps::utc_to_tai(t, c, &tai) : temps::status_field;
            const bool plain = r >= 0 && temps::tai_to_tt2000(tai, &want) == 0;
            dubious |= plain && r == temps::status_dubious;
            temps::held_result got;
            ASSERT_EQ(in.convert({label}, &got, nullptr) == refusal::none, plain) << label << " on " << list;
            ASSERT_EQ(in.warnings() != 0, dubious) << label << " on " << list;
            if (!plain) continue;
            EXPECT_EQ(got.integer, want) << label << " on " << list;
            counts.push_back(want);
            counts.push_back(want + (edge ? 1 : 1 + static_cast<std::int64_t>(rng() % 86400000000000)));
        }
        for (const int precision : {9, 3, 0}) {
            temps::converter out(settings(format::tt2000, format::utc, &t, precision));
            dubious = false;
            for (const std::int64_t n : counts) {
                temps::scale_time tai{};
                temps::civil_time c{};
                ASSERT_EQ(temps::tt2000_to_tai(n, &tai), 0);
                const int r = temps::tai_to_utc(t, tai, &c);
                dubious |= r == temps::status_dubious;
                char want[64], got[64];
                const std::size_t want_size = r >= 0 ? temps::write_label(c, precision, want) : 0;
                temps::held_result h;
                ASSERT_EQ(out.convert({{}, n}, &h, got) == refusal::none, r >= 0) << n;
                ASSERT_EQ(out.warnings() != 0, dubious) << n;
                EXPECT_EQ(std::string(got, h.text_size), std::string(want, want_size)) << n << " at precision " << precision;
            }
        }
    }
}

// Every byte at every place of a label's clock, for each length the
// reader reads its own way (none, milliseconds, nanoseconds, other
// fractions): read as a plain reading of its fields would, or refused.
TEST(Labels, EveryByteOfTheClock) {
    for (const std::string good : {"2004-07-05T12:34:56", "2004-07-05T12:34:56.789", "2004-07-05T12:34:56.123456789",
                                   "2004-07-05T23:59:60.12345", "2004-07-05T01:02:03.4Z"}) {
        for (std::size_t at = 11; at < good.size(); ++at)
            for (int byte = 0; byte < 256; ++byte) {
                std::string label = good;
                label[at] = static_cast<char>(byte);
                // The plain reading: two digits, ':', two, ':', two, then
                // '.' and 1 to 9 digits or nothing, a Z allowed at the end.
                std::string_view v = label;
                if (v.back() == 'Z') v.remove_suffix(1);
                const auto digits = [&v](std::size_t from, std::size_t n) {
                    for (std::size_t i = from; i < from + n; ++i)
                        if (i >= v.size() || v[i] < '0' || v[i] > '9') return false;
                    return true;
                };
                const std::size_t fraction = v.size() > 20 ? v.size() - 20 : 0;
                const bool plain = v.size() >= 19 && digits(11, 2) && v[13] == ':' && digits(14, 2) && v[16] == ':' &&
                                   digits(17, 2) && (v.size() == 19 || (v[19] == '.' && fraction >= 1 && fraction <= 9 &&
                                                                        digits(20, fraction)));
                const auto field = [&v](std::size_t from) { return (v[from] - '0') * 10 + (v[from + 1] - '0'); };
                const bool in_range = plain && field(11) <= 23 && field(14) <= 59 && field(17) <= 60;
                temps::civil_time c{};
                ASSERT_EQ(temps::read_label(label, &c) == 0, in_range) << good << " with byte " << byte << " at " << at;
                if (!in_range) continue;
                std::int32_t ns = 0;
                for (std::size_t i = 0; i < 9; ++i) ns = ns * 10 + (i < fraction ? v[20 + i] - '0' : 0);
                EXPECT_EQ(c.hour * 10000 + c.minute * 100 + c.second, field(11) * 10000 + field(14) * 100 + field(17)) << label;
                EXPECT_EQ(c.nanosecond, ns) << label;
            }
    }
}

// datetime64 is read in its own unit, its range checked: nothing wraps.
TEST(Converter, Datetime64InItsOwnUnit) {
    const struct {
        const char* unit;
        std::int64_t value;
        std::string label;  // or "refused: ..."
    } rows[] = {
        {"s", 32503680000, "3000-01-01T00:00:00.000000000"},  // beyond what [ns] holds
        {"D", -354285, "0999-12-27T00:00:00.000000000"},      // Gregorian 1000-01-01, a Julian label
        {"D", 2932896, "9999-12-31T00:00:00.000000000"},
        {"D", 2932897, "refused: beyond the years 1 to 9999"},
        {"Y", 34, "2004-01-01T00:00:00.000000000"},
        {"M", -1, "1969-12-01T00:00:00.000000000"},
        {"10s", 3, "1970-01-01T00:00:30.000000000"},
        {"ps", 1500, "1970-01-01T00:00:00.000000001"},
        {"fs", 1500, "refused: finer than a picosecond"},
        {"us", INT64_MAX, "refused: beyond the years 1 to 9999"},
        {"ns", temps::datetime64_nat, "refused: NaT, not an instant"},
    };
    for (const auto& r : rows) {
        temps::converter_settings s = settings(format::datetime64, format::utc, nullptr);
        ASSERT_TRUE(temps::datetime64_unit_named(r.unit, &s.in_unit)) << r.unit;
        temps::converter c(s);
        temps::held_result out;
        char text[64];
        const refusal why = c.convert({{}, r.value}, &out, text);
        EXPECT_EQ(why == refusal::none ? std::string(text, out.text_size) : std::string("refused: ") + c.reason(), r.label)
            << r.unit << " " << r.value;
    }
    temps::datetime64_unit u;
    EXPECT_FALSE(temps::datetime64_unit_named("0s", &u));
    EXPECT_FALSE(temps::datetime64_unit_named("sec", &u));
}

// The list is loaded at the first value that needs one, once; the others
// convert without it.
TEST(Converter, TheListIsLoadedOnlyWhereAValueNeedsIt) {
    struct counter {
        int calls = 0;
        const temps::leap_second_table* table = nullptr;
        static const temps::leap_second_table* load(void* self) noexcept {
            auto* c = static_cast<counter*>(self);
            ++c->calls;
            return c->table;
        }
    };
    const struct {
        format from, to;
        const char* first;   // needs no list
        const char* second;  // needs one
    } rows[] = {
        {format::tai, format::tt, "2004-07-05T00:00:00", nullptr},
        {format::utc, format::tu, "2004-07-05T12:00:00", "2004-07-05T23:59:59"},
        {format::utc, format::jd, "2004-07-05T12:00:00", "2016-12-31T23:59:60"},
        {format::tt2000, format::tai, "0", nullptr},
        {format::tai, format::cuc, "2004-07-05T00:00:00", nullptr},
        {format::tu, format::utc, "0", nullptr},
        {format::utc, format::tai, nullptr, "2004-07-05T12:00:00"},
    };
    for (const auto& r : rows)
        for (const bool usable : {true, false}) {
            counter count{0, usable ? &table_of(shipped) : nullptr};
            temps::converter_settings s = settings(r.from, r.to, nullptr);
            s.load_leaps = counter::load, s.load_context = &count;
            temps::converter c(s);
            if (r.first != nullptr) {
                EXPECT_EQ(text_of(c, r.first).rfind("refused", 0), std::string::npos) << r.first;
            }
            EXPECT_EQ(count.calls, 0) << r.first;
            if (r.second == nullptr) continue;
            const std::string got = text_of(c, r.second);
            EXPECT_EQ(got == "refused: the leap-second list cannot be used", !usable) << r.second << ": " << got;
            static_cast<void>(text_of(c, r.second));
            EXPECT_EQ(count.calls, 1) << r.second;
        }
}

TEST(Converter, FormatsByName) {
    for (const temps::format_info& f : temps::formats()) {
        ASSERT_EQ(temps::format_named(f.name), &f);
        EXPECT_EQ(&temps::info_of(f.id), &f);
    }
    EXPECT_EQ(temps::format_named("UTC"), nullptr);
    EXPECT_EQ(temps::format_named("unix")->id, format::posix);
    for (int r = 0; r <= static_cast<int>(refusal::no_memory); ++r)
        EXPECT_NE(std::string(temps::refusal_text(static_cast<refusal>(r))).empty(), r != 0) << r;
}

}  // namespace

namespace {

// NAIF text kernels: what is data and what is comment, the values, and
// where a kernel is refused.
TEST(SpiceKernels, TextKernelsReadAsNaifWritesThem) {
    temps::kernel_pool pool;
    char error[256] = "";
    const std::string text = "A = ( 1 )   is a comment before any data\n"
                             "\\begindata\n"
                             "A = ( 1.5D3, -2.5d-1 +3E2 )\n"
                             "A += 4\n"
                             "B/C = ( 'it''s', @1972-JAN-1, @2000-01-01T12:00:00 )\n"
                             "D = (\n 1\n 2 )\n"
                             "E = ( 'x)=('\n\n 7 )\nF =\n 8\n"  // parentheses and '=' in a string
                             "\\begintext\n"
                             "A = ( 9 ) is a comment again\n";
    ASSERT_EQ(temps::read_text_kernel_text(text, "k", &pool, error, sizeof error), 0) << error;
    const auto& a = pool.variables.at("A");
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[0].number, 1500);
    EXPECT_EQ(a[1].number, -0.25L);
    EXPECT_EQ(a[2].number, 300);
    EXPECT_EQ(a[3].number, 4);
    const auto& b = pool.variables.at("B/C");
    ASSERT_EQ(b.size(), 3u);
    EXPECT_EQ(b[0].text, "it's");
    EXPECT_EQ(b[1].number, -883656000.0L);  // 1972-01-01T00:00:00, seconds past J2000
    EXPECT_EQ(b[2].number, 0.0L);
    EXPECT_EQ(pool.variables.at("D").size(), 2u);
    const auto& e = pool.variables.at("E");
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].text, "x)=(");
    EXPECT_EQ(e[1].number, 7);
    EXPECT_EQ(pool.variables.at("F").at(0).number, 8);
    // Numbers to the long double std::from_chars gives: decimal fractions
    // that no binary one holds, both sides of 19 digits and of 10^27.
    const std::string numbers[] = {"1.0000001", "0.999999", "-2.5d-1", "1.41566400E+08", "2.8147497671066E+14",
                                   "1.657D-3", "6.239996D0", "1.99096871D-7", "-0", ".5", "5.", "0.1",
                                   "9999999999999999999", "18446744073709551615", "1844674407370955161.7",
                                   "1e27", "1e28", "1.7e-27", "1.7e-28", "123456789012345678.9e-10",
                                   "0.0000000000000000000000000001", "1E+0010", "+7.25", "3.3333333333333333e-12",
                                   "3064661269460675587e-28", "307413207671831467e28", "1234567890123456789e10"};
    temps::kernel_pool listed;
    std::string list = "\\begindata\nN = (";
    for (const std::string& n : numbers) list += " " + n;
    ASSERT_EQ(temps::read_text_kernel_text(list + " )\n", "k", &listed, error, sizeof error), 0) << error;
    for (std::size_t i = 0; i < std::size(numbers); ++i) {
        std::string n = numbers[i].substr(numbers[i][0] == '+' ? 1 : 0);
        for (char& c : n) c = c == 'D' || c == 'd' ? 'E' : c;
        long double want = 0;
        std::from_chars(n.data(), n.data() + n.size(), want);
        EXPECT_EQ(listed.variables.at("N").at(i).number, want) << numbers[i];
        EXPECT_EQ(std::signbit(listed.variables.at("N").at(i).number), std::signbit(want)) << numbers[i];
    }
    const struct {
        const char* text;
        const char* error;
    } refused[] = {
        {"\\begindata\nA = ( 1 2\n\\begintext\n", "k:3: an assignment not ended before \\begintext"},
        {"\\begindata\nA = ( 1 x2 )\n", "k:2: not a number: x2"},
        {"\\begindata\nA = ( @1972-FOO-1 )\n", "k:2: not a date: @1972-FOO-1"},
        {"\\begindata\nA = 1 2\n", "k:2: more than one value without ( )"},
        {"\\begindata\nA = ( 1 ) )\n", "k:2: text after the values of A"},
    };
    for (const auto& r : refused) {
        temps::kernel_pool p = pool;
        EXPECT_EQ(temps::read_text_kernel_text(r.text, "k", &p, error, sizeof error), -1) << r.text;
        EXPECT_STREQ(error, r.error) << r.text;
        EXPECT_EQ(p.variables.size(), pool.variables.size()) << "a refused kernel changed the pool";
    }
}

}  // namespace

namespace {

// Counts written and read eight digits at a time, against std::to_chars
// and std::from_chars: each length of a run, both sides of each power of
// ten, the ends of 64 bits, and every kind of byte after a run.
TEST(Digits, CountsAsTheStandardLibraryWritesAndReadsThem) {
    std::vector<long long> values = {0, INT64_MAX, INT64_MIN, INT64_MIN + 1};
    for (long long p = 1; p <= INT64_MAX / 10; p *= 10)
        for (const long long v : {p - 1, p, p + 1, 10 * p - 1}) values.insert(values.end(), {v, -v});
    std::mt19937_64 random(7);
    for (int i = 0; i < 1000; ++i) values.push_back(static_cast<long long>(random()) >> (random() % 64));
    for (const long long v : values) {
        char want[24], got[24];
        const std::size_t n = static_cast<std::size_t>(std::to_chars(want, want + sizeof want, v).ptr - want);
        ASSERT_EQ(std::string(got, temps::detail::write_int64(got, v)), std::string(want, n)) << v;
    }
    const std::string after[] = {"", "/", ":", ".", " ", std::string(1, '\0'), "\xff", "\x80", "a"};
    std::vector<std::string> texts = {"18446744073709551615", "18446744073709551616", "99999999999999999999",
                                      "00000000000000000000000000001", "0000000000000000018446744073709551615x"};
    for (std::size_t digits = 0; digits <= 21; ++digits)
        for (const std::string& a : after) {
            std::string t;
            for (std::size_t i = 0; i < digits; ++i) t += static_cast<char>('0' + (random() % 10));
            texts.push_back(t + a);
            texts.push_back(t + "1" + a);
        }
    for (const std::string& t : texts) {
        std::uint64_t want = 0;
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), want);
        const bool ok = ec == std::errc{};
        const std::size_t used = static_cast<std::size_t>(end - t.data());
        // Read a word at a time from the start of the text, or from digits
        // before it, with digits after its end that are not its own.
        for (const std::string_view before : {"", "7", "1234567", "12345678"}) {
            const std::string around = std::string(before) + t + "98765432";
            std::string_view r = std::string_view(around).substr(before.size(), t.size());
            std::uint64_t got = 0;
            const bool read = temps::detail::take_count_within(&r, around.data(), &got);
            ASSERT_EQ(read, ok) << t << " after " << before;
            if (!ok) continue;
            EXPECT_EQ(got, want) << t;
            EXPECT_EQ(r.size(), t.size() - used) << t;
        }
    }
}

}  // namespace

namespace {

// Readings of a clock of three fields to parallel time, against the sum
// of the fields worked exactly here: each delimiter, fields left out or
// beyond their modulus, long readings, counts beyond 64 bits, and the
// memo against the plain call.
__extension__ typedef unsigned __int128 exact;  // ticks of more than 64 bits, held exactly

TEST(SpiceKernels, ReadingsAsTheExactSumOfTheirFields) {
    const std::string kernel = "\\begindata\n"
                               "SCLK_DATA_TYPE_5 = ( 1 )\nSCLK01_N_FIELDS_5 = ( 3 )\n"
                               "SCLK01_MODULI_5 = ( 4294967296 256 10 )\nSCLK01_OFFSETS_5 = ( 0 0 1 )\n"
                               "SCLK01_OUTPUT_DELIM_5 = ( 2 )\nSCLK01_TIME_SYSTEM_5 = ( 2 )\n"
                               "SCLK_PARTITION_START_5 = ( 0 1.0D13 )\nSCLK_PARTITION_END_5 = ( 1.0995116277760D13 1.0D30 )\n"
                               "SCLK01_COEFFICIENTS_5 = ( 0 1.0D8 1.0  2560 1.1D8 1.0000001  3.0D13 1.2D8 0.999999 )\n";
    temps::kernel_pool pool;
    temps::sclk_clock c;
    char error[256] = "";
    ASSERT_EQ(temps::read_text_kernel_text(kernel, "k", &pool, error, sizeof error), 0) << error;
    ASSERT_EQ(temps::read_sclk(pool, "5", &c, error, sizeof error), 0) << error;
    using st = temps::sclk_status;
    const std::string zeros(70, '0');
    const struct {
        std::string reading;
        st status;
        std::uint64_t f0, f1, f2;  // the fields, where it is read
        int partition;
    } rows[] = {
        {"1/5.3.2", st::ok, 5, 3, 2, 1},
        {" 1/5,3 2 ", st::ok, 5, 3, 2, 1},
        {"1/5-3:2", st::ok, 5, 3, 2, 1},
        {"5.3.2", st::ok, 5, 3, 2, 1},
        {"1/5:3", st::ok, 5, 3, 1, 1},  // fields left out count their offset
        {"1/1", st::ok, 1, 0, 1, 1},
        {"1/0.300.11", st::ok, 0, 300, 11, 1},  // beyond their moduli: carried
        {"1/" + zeros + "5.3.2", st::ok, 5, 3, 2, 1},
        {"1/5." + zeros + "3.2", st::ok, 5, 3, 2, 1},
        {"1/4095.255.10", st::ok, 4095, 255, 10, 1},
        {"1/4294967295.255.10", st::ok, 4294967295, 255, 10, 1},  // a tick before the partition's end
        {"1/4294967296.0.1", st::outside_partition, 0, 0, 0, 0},  // its end
        {"3906250000.0.1", st::ok, 3906250000, 0, 1, 1},         // in both: the earliest
        {"2/3906250000.0.1", st::ok, 3906250000, 0, 1, 2},        // the second's start
        {"2/3906249999.255.10", st::outside_partition, 0, 0, 0, 0},
        {"2/4294967296.0.1", st::ok, 4294967296, 0, 1, 2},
        {"2/18446744073709551615.255.10", st::ok, 18446744073709551615ULL, 255, 10, 2},
        {"2/7205759403792793.255.10", st::ok, 7205759403792793, 255, 10, 2},  // 2^64 ticks less some
        {"2/7205759403792794.0.1", st::ok, 7205759403792794, 0, 1, 2},        // beyond 2^64 ticks
        {"2/1.18446744073709551615.1", st::ok, 1, 18446744073709551615ULL, 1, 2},
        {"1/0.0.0", st::below_offset, 0, 0, 0, 0},
        {"1/5.3.2.1", st::not_reading, 0, 0, 0, 0},
        {"1/5.3.2.", st::not_reading, 0, 0, 0, 0},
        {"1/5..2", st::not_reading, 0, 0, 0, 0},
        {std::string("1/5\0" "3.2", 7), st::not_reading, 0, 0, 0, 0},  // a NUL is no delimiter
        {"1/5/3", st::not_reading, 0, 0, 0, 0},
        {"1/18446744073709551616", st::not_reading, 0, 0, 0, 0},
        {"18446744073709551617/1", st::not_reading, 0, 0, 0, 0},
        {"/1", st::not_reading, 0, 0, 0, 0},
        {"0/1", st::no_partition, 0, 0, 0, 0},
        {"3/1", st::no_partition, 0, 0, 0, 0},
    };
    temps::sclk_memo memo;
    for (const auto& r : rows) {
        long double plain = 0, memoized = 0;
        const st got = temps::sclk_to_parallel(c, r.reading, &plain);
        ASSERT_EQ(got, r.status) << r.reading;
        ASSERT_EQ(temps::sclk_to_parallel(c, r.reading, &memoized, &memo), r.status) << r.reading;
        if (r.status != st::ok) continue;
        EXPECT_EQ(memoized, plain) << r.reading;
        const exact ticks = (exact{r.f0} * 256 + r.f1) * 10 + (r.f2 - 1);
        const long double start = r.partition == 1 ? 0 : 1e13L;
        const long double encoded = (r.partition == 1 ? 0 : 1.0995116277760e13L) + (static_cast<long double>(ticks) - start);
        const long double t[3][3] = {{0, 1e8L, 1}, {2560, 1.1e8L, 1.0000001L}, {3e13L, 1.2e8L, 0.999999L}};
        const auto& k = encoded >= t[2][0] ? t[2] : encoded >= t[1][0] ? t[1] : t[0];
        const long double want = k[1] + k[2] / 2560 * (encoded - k[0]);
        if (ticks >> 64 == 0) EXPECT_EQ(plain, want) << r.reading;  // exact: the same long double
        else EXPECT_NEAR(static_cast<double>(plain / want), 1.0, 1e-15) << r.reading;
    }
    // A clock made by hand that no kernel gives: eleven fields, or fewer
    // offsets than moduli. Neither read nor written, rather than read past
    // the ends of its fields.
    temps::sclk_clock eleven = c, short_offsets = c;
    eleven.moduli.resize(11, 2), eleven.offsets.resize(11, 0);
    short_offsets.offsets.pop_back();
    for (const temps::sclk_clock* odd : {&eleven, &short_offsets}) {
        long double parallel = 0;
        EXPECT_EQ(temps::sclk_to_parallel(*odd, "1/5.3.2.1.1.1.1.1.1.1.1", &parallel), st::not_reading);
        EXPECT_EQ(temps::sclk_to_parallel(*odd, "1/5.3.2", &parallel), st::not_reading);
        char text[128];
        st status = st::ok;
        EXPECT_EQ(temps::parallel_to_sclk(*odd, 1.1e8L, text, &status), 0u);
        EXPECT_NE(status, st::ok);
    }
}

// ET - TT against the formula worked in long double on the same double M
// (within 2e-18 s and the long double rounding of E), quarter turns of M
// on both sides, an orbit of EB 0.05; beyond the reduction's range, and
// for an orbit of EB above 0.05, as the C library gives it.
TEST(SpiceKernels, EphemerisTimeAsTheFormulaGivesIt) {
    temps::lsk l;
    l.k = 1.657e-3, l.eb = 1.671e-2, l.m0 = 6.239996, l.m1 = 1.99096871e-7;
    const double quarter = 0.78539816339744831 / l.m1;  // ET of a quarter turn of M
    const double at_m0 = -l.m0 / l.m1;                   // ET where M is 0
    const double edge = (0x1p18 - l.m0) / l.m1;          // M of 2^18 radians: the C library's beyond
    for (const double et : {0.0, -1.0, 1.5e-9, 536500868.684, -9e8, 4.1e9, at_m0, at_m0 + 1e-3, at_m0 - 1e-3,
                            at_m0 + quarter - 1, at_m0 + quarter + 1, at_m0 + 3 * quarter + 1e-6,
                            at_m0 - 5 * quarter - 1e-6, at_m0 + 4000 * quarter + 0.5, 1.3e12, -1.3e12, edge - 10,
                            // within each quarter turn, either side of M = 0
                            at_m0 + 0.4 * quarter, at_m0 + 1.4 * quarter, at_m0 + 2.4 * quarter,
                            at_m0 + 3.4 * quarter, at_m0 - 0.6 * quarter, at_m0 - 1.6 * quarter,
                            at_m0 - 2.6 * quarter, at_m0 - 3.6 * quarter}) {
        const double m = l.m0 + l.m1 * et;
        const long double want = l.k * sinl(m + l.eb * sinl(static_cast<long double>(m)));
        EXPECT_LE(std::fabs(temps::et_minus_tt(l, et) - want), 2e-18L + l.k * std::fabs(m) * 0x1p-63L) << et;
        // Three steps of TT = ET - (ET - TT) give the ET back.
        const double tt = et - temps::et_minus_tt(l, et);
        EXPECT_NEAR(temps::tt_to_et(l, tt), et, std::fabs(et) * 2.3e-16 + 1e-18) << et;
    }
    temps::lsk eccentric = l;
    eccentric.eb = 0.05;
    for (const double et : {1e8, 1e8 + quarter, 1e8 + 3.5 * quarter}) {
        const double m = eccentric.m0 + eccentric.m1 * et;
        const long double want = eccentric.k * sinl(m + eccentric.eb * sinl(static_cast<long double>(m)));
        EXPECT_LE(std::fabs(temps::et_minus_tt(eccentric, et) - want), 2e-18L) << et;
    }
    eccentric.eb = 0.0501;
    for (const auto& [k, et] : {std::pair{l, edge + 10}, {l, -2.7e12}, {l, 1e15}, {eccentric, 1e8}}) {
        const double m = k.m0 + k.m1 * et;
        EXPECT_EQ(temps::et_minus_tt(k, et), k.k * std::sin(m + k.eb * std::sin(m))) << et;
    }
    // Two at a time as one at a time: pairs within the series' range, with
    // one beyond it, an odd one last; and an orbit beyond the series'.
    const std::vector<double> ets = {0.0, 536500868.684, at_m0 + 0.4 * quarter, at_m0 + 3.4 * quarter, edge - 10,
                                     edge + 10, -2.6e12, 4.1e9, at_m0 - 2.6 * quarter, 1.5e-9, -9e8};
    for (const temps::lsk& k : {l, eccentric}) {
        std::vector<double> each(ets.size());
        temps::detail::et_minus_tt_each(k, ets.data(), each.data(), ets.size());
        for (std::size_t i = 0; i < ets.size(); ++i) EXPECT_EQ(each[i], temps::et_minus_tt(k, ets[i])) << ets[i];
    }
}

// A run of texts answers as one value at a time: SCLK readings to TT2000
// in stages, of a TDB and a TT clock, sorted and not, with refusals of
// each stage among them (a reading not read, outside its partition, below
// an offset, empty; beyond TT2000's years); and labels, value by value.
TEST(Converter, TheRunOfTextsAnswersAsOneValueAtATime) {
    const std::string clock = "\\begindata\nSCLK_DATA_TYPE_7 = ( 1 )\nSCLK01_N_FIELDS_7 = ( 2 )\n"
                              "SCLK01_MODULI_7 = ( 4294967296 65536 )\nSCLK01_OFFSETS_7 = ( 0 1 )\n"
                              "SCLK01_OUTPUT_DELIM_7 = ( 1 )\nSCLK_PARTITION_START_7 = ( 0 1.0D14 )\n"
                              "SCLK_PARTITION_END_7 = ( 1.0D14 2.8D14 )\nSCLK01_COEFFICIENTS_7 = ( 0 1.0D8 1.0000001 "
                              "6.5536D13 2.0D8 0.9999999  1.5D14 9.2233D9 1.0 )\n";
    const std::string lsk = "\\begindata\nDELTET/DELTA_T_A = 32.184\nDELTET/K = 1.657D-3\nDELTET/EB = 1.671D-2\n"
                            "DELTET/M = ( 6.239996D0 1.99096871D-7 )\nDELTET/DELTA_AT = ( 10, @1972-JAN-1 )\n";
    temps::kernel_pool pool, lsk_pool;
    temps::sclk_clock tdb, tt;
    temps::lsk kernel;
    char error[256] = "";
    ASSERT_EQ(temps::read_text_kernel_text(clock, "k", &pool, error, sizeof error), 0) << error;
    ASSERT_EQ(temps::read_sclk(pool, "7", &tdb, error, sizeof error), 0) << error;
    ASSERT_EQ(temps::read_text_kernel_text(lsk, "l", &lsk_pool, error, sizeof error), 0) << error;
    ASSERT_EQ(temps::read_lsk(lsk_pool, &kernel, error, sizeof error), 0) << error;
    tt = tdb;
    tt.tdb = false;
    std::mt19937_64 rng(5);
    std::vector<std::string> readings;
    for (int i = 0; i < 3000; ++i) {
        char text[48];
        const unsigned long long count = rng() % 1600000000, ticks = 1 + rng() % 65536;
        if (i % 97 == 0) std::snprintf(text, sizeof text, "2/%010llu.%05llu", 2288818359ULL + count % 1000, ticks);
        else std::snprintf(text, sizeof text, "1/%010llu:%05llu", count, ticks);
        readings.emplace_back(text);
    }
    std::sort(readings.begin(), readings.begin() + 1500);  // in time order, then at random
    // Beside readings as the kernel writes them, ones it does not: of the
    // right size but a byte amiss, a partition it lacks, a field below its
    // offset or beyond its modulus, a field a digit short.
    for (const char* odd : {"x", "", "1/1525878906.00001", "1/5.0", "3/1.1", " 1/5.2 ", "1/5.70000", "2/1525878906.1",
                            "1/000000000x.00001", "1/0000000001/00001", "0/0000000001.00001", "3/0000000001.00001",
                            "1/0000000001.00000", "1/0000000000.00000", "1/0000000001.99999", "1/00000000010.0001", "1/0000000001 00001",
                            "1/0000000001.0001 ", "1/0000000001.0000/", "+/0000000001.00001"})
        readings.insert(readings.begin() + static_cast<std::ptrdiff_t>(rng() % readings.size()), odd);
    // In time order, the last tick of the first triple and the first of the
    // second; the last of the first partition and its end, in the second
    // triple, which runs on into the second partition.
    readings.insert(readings.begin() + 700, {"1/0999999999.65536", "1/1000000000.00001"});
    readings.insert(readings.begin() + 1400, {"1/1525878906.16384", "1/1525878906.16385", "2/1525878906.16385"});
    for (const temps::sclk_clock* c : {&tdb, &tt}) {
        temps::converter_settings s;
        s.from = format::sclk, s.to = format::tt2000, s.clock = c, s.kernel = &kernel;
        temps::converter run(s), one(s);
        const std::vector<std::string_view> in(readings.begin(), readings.end());
        std::vector<char> texts(in.size() * (run.text_capacity() + 1));
        std::size_t refused = 0;
        for (std::size_t at = 0; at < in.size();) {
            refusal why = refusal::none;
            std::size_t n = 0;
            const std::span<const std::string_view> rest(in.begin() + static_cast<std::ptrdiff_t>(at), in.end());
            const std::size_t k = run.convert_texts(rest, '\n', texts.data(), &n, &why);
            std::string want;
            for (std::size_t i = 0; i < k; ++i) want += text_of(one, readings[at + i]) + "\n";
            ASSERT_EQ(std::string(texts.data(), n), want) << readings[at];
            if (k == rest.size()) break;
            ASSERT_EQ(std::string("refused: ") + run.reason(), text_of(one, readings[at + k])) << readings[at + k];
            ASSERT_NE(why, refusal::none);
            at += k + 1, ++refused;
        }
        EXPECT_GE(refused, 30u);  // each kind of refusal, the readings beyond TT2000's years
    }
    // Labels, one by one through convert_text.
    temps::converter labels(settings(format::utc, format::tai, &table_of(shipped)));
    const std::vector<std::string_view> in = {"2016-12-31T23:59:60.5", "2017-01-01T00:00:00", "x", "1999-01-01"};
    std::vector<char> texts(in.size() * (labels.text_capacity() + 1));
    std::size_t n = 0;
    refusal why = refusal::none;
    ASSERT_EQ(labels.convert_texts(in, '\n', texts.data(), &n, &why), 2u);
    EXPECT_EQ(std::string(texts.data(), n), "2017-01-01T00:00:36.500000000\n2017-01-01T00:00:37.000000000\n");
    EXPECT_EQ(why, refusal::not_utc_label);
}

}  // namespace
