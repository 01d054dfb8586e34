// Readings of a type 1 clock as its kernel writes them, "1/0531684900.128":
// of a known size, each field at a known place with a known count of
// digits. Such a reading is read a word at a time without looking for
// where its fields end; any other goes the plain way.
#include "digits.h"
#include "sclk_fields.h"

namespace temps::detail {
namespace {

constexpr std::uint64_t zeros = 0x3030303030303030;
constexpr std::uint64_t powers[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// The width digits of text[at, at + width), or false where a byte is no
// digit. text has 8 bytes or more; no byte outside it is read.
bool fixed_digits(std::string_view text, std::size_t at, std::size_t width, std::uint64_t* v) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::uint64_t n = 0;
    std::size_t i = 0;
    for (; width - i >= 8; i += 8) {
        const std::uint64_t w = word_at(p + at + i) - zeros;
        if (!all_digits(w)) return false;
        n = n * 100000000 + eight_digits(w);
    }
    if (const std::size_t k = width - i; k > 0) {
        // The last k digits from the word that ends where they do (or the
        // text's first, where there are not 8 bytes before their end),
        // moved to its top with zeros below: '0' taken from those bytes
        // alone, so that no byte before them borrows from the first.
        const std::size_t end = at + width, start = end >= 8 ? end - 8 : 0;
        const std::uint64_t bytes = word_at(p + start) >> (8 * (at + i - start));
        const std::uint64_t top = (bytes << (64 - 8 * k)) - (zeros << (64 - 8 * k));
        if (!all_digits(top)) return false;
        n = n * powers[k] + eight_digits(top);
    }
    *v = n;
    return true;
}

bool is_delimiter(char d) { return d == '.' || d == ':' || d == '-' || d == ',' || d == ' '; }

}  // namespace

bool written_ticks(const sclk_fields& w, std::string_view r, std::size_t* partition, std::uint64_t* ticks) noexcept {
    if (w.written_size == 0 || r.size() != w.written_size) return false;
    const auto p = static_cast<std::size_t>(static_cast<unsigned char>(r[0]) - '0');
    if (p < 1 || p > w.partitions || r[1] != '/') return false;
    std::uint64_t sum = 0;
    for (std::size_t f = 0; f < w.fields; ++f) {
        const std::size_t at = w.field_at[f];
        std::uint64_t v = 0;
        if ((f > 0 && !is_delimiter(r[at - 1])) || !fixed_digits(r, at, w.width[f], &v)) return false;
        if (w.offset_beyond[f] || v < w.offset[f] || __builtin_mul_overflow(sum, w.modulus[f], &sum) ||
            __builtin_add_overflow(sum, v - w.offset[f], &sum))
            return false;
    }
    *partition = p;
    *ticks = sum;
    return true;
}

void prepare_written(const sclk_clock& c, sclk_fields* w) noexcept {
    w->written_size = 0;
    w->partitions = c.partition_start.size();
    if (!w->whole || w->fields == 0 || w->partitions > 9) return;
    std::size_t size = 2;  // "p/"
    for (std::size_t f = 0; f < w->fields; ++f) {
        // As wide as the field's largest value, to 19 digits.
        const long double largest = c.moduli[f] - 1 + c.offsets[f];
        if (!(largest < 1e19L)) return;
        std::size_t digits = 1;
        for (auto x = static_cast<std::uint64_t>(largest); x >= 10; x /= 10) ++digits;
        w->field_at[f] = static_cast<std::uint8_t>(size);
        w->width[f] = static_cast<std::uint8_t>(digits);
        size += digits + (f + 1 < w->fields ? 1 : 0);
    }
    if (size >= 8) w->written_size = size;
}

}  // namespace temps::detail
