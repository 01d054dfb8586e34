// temps._temps: the compiled half of the Python module, a face of the
// library's converter. temps.convert (in the package around it) checks
// the array and gives it here contiguous, in native byte order and in the
// holding of the source format; the loop converts it without the
// interpreter's lock into a new array of the target's holding, of the same
// shape. Every rule of time is the library's.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <sys/stat.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "temps.h"

namespace py = pybind11;
using temps::format;
using temps::holding;

namespace {

// A file kept as what it is: its real path's device, inode, size and time
// of change. A file changed since is read again.
struct file_identity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    std::int64_t mtime_ns = 0;
    bool operator==(const file_identity&) const = default;
};

// The tables read, by path, kept with the identity they were read at.
template <class Table>
struct kept_file {
    file_identity id;
    std::shared_ptr<const Table> table;
};

// The table at path, read again when the file is not what it was; nullptr
// and *error where it cannot be used (a FIFO or a device is refused
// without being opened). Safe without the interpreter's lock.
template <class Table, class Read>
std::shared_ptr<const Table> kept(const std::string& path, Read read, std::string* error, const std::string& key_extra = "") {
    static std::mutex lock;
    static std::map<std::string, kept_file<Table>> files;
    const std::string key = path + '\n' + key_extra;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        *error = path + ":0: cannot read: " + std::strerror(errno);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = path + ":0: not a regular file";
        return nullptr;
    }
    const file_identity id{st.st_dev, st.st_ino, st.st_size, std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec};
    {
        const std::lock_guard<std::mutex> hold(lock);
        if (const auto it = files.find(key); it != files.end() && it->second.id == id) return it->second.table;
    }
    auto table = std::make_shared<Table>();
    char text[512];
    if (read(path.c_str(), table.get(), text, sizeof text) != 0) {
        *error = text;
        return nullptr;
    }
    const std::lock_guard<std::mutex> hold(lock);
    files[key] = {id, table};
    return table;
}

// A SPICE kernel file read into what it holds: its clock, or its leap
// seconds and ephemeris time.
int read_clock(const char* path, const std::string& clock, temps::sclk_clock* out, char* error, int size) {
    temps::kernel_pool pool;
    if (temps::read_text_kernel(path, &pool, error, size) != 0) return -1;
    char why[400];
    if (temps::read_sclk(pool, clock.empty() ? nullptr : clock.c_str(), out, why, sizeof why) == 0) return 0;
    std::snprintf(error, static_cast<std::size_t>(size), "%s: %s", path, why);
    return -1;
}
int read_lsk_file(const char* path, temps::lsk* out, char* error, int size) {
    temps::kernel_pool pool;
    if (temps::read_text_kernel(path, &pool, error, size) != 0) return -1;
    char why[400];
    if (temps::read_lsk(pool, out, why, sizeof why) == 0) return 0;
    std::snprintf(error, static_cast<std::size_t>(size), "%s: %s", path, why);
    return -1;
}

// The leap-second list of a call, read at the first value that needs it
// (from the loop, without the interpreter's lock).
struct leap_source {
    std::string path;
    std::shared_ptr<const temps::leap_second_table> table;
    std::string error;
    static const temps::leap_second_table* load(void* self) noexcept {
        auto* s = static_cast<leap_source*>(self);
        try {
            s->table = kept<temps::leap_second_table>(s->path, temps::read_leap_seconds, &s->error);
        } catch (...) {
            s->error = s->path + ": out of memory";
        }
        return s->table.get();
    }
};

// The text of element i of a 'U' array (UCS-4, NUL-padded) as bytes: a
// character beyond ASCII becomes 0xFF, which no format accepts, and a NUL
// with text after it stays in, which no format accepts either. The copy
// does not alias the array, so that it goes a vector at a time.
void narrow(const std::uint32_t* __restrict u, char* __restrict b, std::size_t n) {
    std::size_t k = 0;
#ifdef __SSE2__
    // Eight characters at a time where all eight are ASCII.
    for (; k + 8 <= n; k += 8) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + k));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + k + 4));
        const __m128i over = _mm_or_si128(_mm_srli_epi32(lo, 7), _mm_srli_epi32(hi, 7));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(over, _mm_setzero_si128())) != 0xFFFF) break;
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(lo, hi), _mm_setzero_si128());
        _mm_storel_epi64(reinterpret_cast<__m128i*>(b + k), bytes);
    }
#endif
    for (; k < n; ++k) b[k] = static_cast<char>(u[k] < 128 ? u[k] : 0xFF);
}

// Text of n bytes into a 'U' element of width characters, NUL-padded;
// eight characters at a time.
void widen(const char* __restrict b, std::size_t n, std::uint32_t* __restrict u, std::size_t width) {
    std::size_t k = 0;
#ifdef __SSE2__
    for (; k + 8 <= n && k + 8 <= width; k += 8) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + k));
        const __m128i words = _mm_unpacklo_epi8(bytes, _mm_setzero_si128());
        _mm_storeu_si128(reinterpret_cast<__m128i*>(u + k), _mm_unpacklo_epi16(words, _mm_setzero_si128()));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(u + k + 4), _mm_unpackhi_epi16(words, _mm_setzero_si128()));
    }
#endif
    for (; k < width; ++k) u[k] = k < n ? static_cast<unsigned char>(b[k]) : 0;
}

std::string_view text_at(const char* base, std::size_t width, std::size_t i, std::string* buf) {
    const auto* u = reinterpret_cast<const std::uint32_t*>(base + i * width);
    std::size_t n = width / 4;
#ifdef __SSE2__
    // The NUL padding four characters at a time.
    while (n >= 4 && _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u + n - 4)),
                                                       _mm_setzero_si128())) == 0xFFFF)
        n -= 4;
#endif
    while (n > 0 && u[n - 1] == 0) --n;
    // Narrowed up to a whole vector where the element has it: what lies
    // past n is padding.
    const std::size_t whole = std::min((n + 7) / 8 * 8, width / 4);
    if (buf->size() < whole) buf->resize(whole);
    narrow(u, buf->data(), whole);
    return {buf->data(), n};
}

// The bytes of element i of an 'S' array, trailing NUL padding off.
std::string_view bytes_at(const char* base, std::size_t width, std::size_t i) {
    const char* p = base + i * width;
    std::size_t n = width;
    while (n > 0 && p[n - 1] == '\0') --n;
    return {p, n};
}

// The octets of element i of an 'S' array, to the length its P-field
// gives: NumPy pads an element with NULs, and drops the NULs it ends with
// (a code of a whole second ends with zero octets). What is not padding is
// kept, for the codec to refuse.
std::string_view octets_at(const char* base, std::size_t width, std::size_t i, char (&buf)[64]) {
    const char* p = base + i * width;
    temps::time_code_layout l{};
    const std::string_view held = bytes_at(base, width, i);
    if (temps::read_pfield(reinterpret_cast<const std::uint8_t*>(p), held.size(), &l, nullptr) != 0) return held;
    const std::size_t n = static_cast<std::size_t>(l.pfield_octets) + static_cast<std::size_t>(temps::t_field_octets(l));
    if (held.size() > n || n > sizeof buf) return held;
    std::memset(buf, 0, n);
    std::memcpy(buf, held.data(), held.size());
    return {buf, n};
}

// The width of a text result of a target, in characters.
std::size_t text_width(format f, int precision, const temps::time_code_layout& out_layout) {
    if (f == format::yday) return 17 + (precision > 0 ? 1 + static_cast<std::size_t>(precision) : 0);
    if (temps::info_of(f).held == holding::octets) return 1 + static_cast<std::size_t>(temps::t_field_octets(out_layout));
    return 19 + (precision > 0 ? 1 + static_cast<std::size_t>(precision) : 0);
}

py::array empty_of(format f, const std::vector<py::ssize_t>& shape, std::size_t width) {
    switch (temps::info_of(f).held) {
    case holding::text: return py::array(py::dtype("U" + std::to_string(width)), shape);
    case holding::octets: return py::array(py::dtype("S" + std::to_string(width)), shape);
    case holding::int64: return py::array(py::dtype(f == format::datetime64 ? "datetime64[ns]" : "int64"), shape);
    case holding::float64: return py::array(py::dtype("float64"), shape);
    case holding::epoch16: return py::array(py::dtype("complex128"), shape);
    }
    return {};
}

// convert: values (contiguous, native, of the source's holding; datetime64
// as int64 of unit) to a new array of the target's. Returns (array, index
// of the first refusal or None, its reason, the file error that stopped
// the loop or None, the refused elements under coerce, the warnings met).
py::tuple convert(const py::array& values, const std::string& source, const std::string& target, int precision,
                  const std::string& leap_seconds, std::optional<std::string> correlation,
                  std::optional<std::string> agency_epoch, std::optional<int> pfield, bool coerce,
                  std::optional<py::array> mask, const std::string& unit, std::optional<std::string> sclk,
                  std::optional<std::string> lsk, std::optional<std::string> clock) {
    const temps::format_info* from = temps::format_named(source);
    const temps::format_info* to = temps::format_named(target);
    if (from == nullptr || to == nullptr) throw py::value_error("unknown format");
    temps::converter_settings s;
    s.from = from->id, s.to = to->id;
    s.precision = precision;
    if (!temps::datetime64_unit_named(unit, &s.in_unit)) throw py::value_error("not a datetime64 unit: " + unit);
    leap_source leaps{leap_seconds, nullptr, ""};
    s.load_leaps = leap_source::load, s.load_context = &leaps;
    // With an LSK and no list named, UTC's leap seconds are the LSK's.
    const bool lsk_leaps = lsk && leap_seconds.empty();
    std::shared_ptr<const temps::correlation> table;
    if (from->needs_correlation || to->needs_correlation) {
        if (!correlation) throw py::value_error("obt needs a correlation file (correlation=)");
        std::string error;
        table = kept<temps::correlation>(*correlation, temps::read_correlation, &error);
        if (!table) throw py::value_error(error);
        s.table = table.get();
    }
    std::shared_ptr<const temps::sclk_clock> kernel_clock;
    if (from->needs_clock || to->needs_clock) {
        if (!sclk) throw py::value_error("sclk needs a clock kernel (sclk=)");
        std::string error;
        kernel_clock = kept<temps::sclk_clock>(
            *sclk, [&clock](const char* path, temps::sclk_clock* out, char* e, int n) { return read_clock(path, clock.value_or(""), out, e, n); },
            &error, clock.value_or(""));
        if (!kernel_clock) throw py::value_error(error);
        s.clock = kernel_clock.get();
    }
    std::shared_ptr<const temps::lsk> kernel_lsk;
    if (lsk) {
        std::string error;
        kernel_lsk = kept<temps::lsk>(*lsk, read_lsk_file, &error);
        if (!kernel_lsk) throw py::value_error(error);
        s.kernel = kernel_lsk.get();
        if (lsk_leaps) s.leaps = &kernel_lsk->leaps, s.load_leaps = nullptr;
    }
    temps::date agency{};
    if (agency_epoch) {
        temps::civil_time d{};
        temps::scale_time check{};
        if (temps::read_label(*agency_epoch + "T00:00:00", &d) != 0 || temps::count_of(d, &check) != 0)
            throw py::value_error("agency_epoch is not a date YYYY-MM-DD");
        agency = {d.year, d.month, d.day};
        s.agency_epoch = &agency;
    }
    const std::uint8_t p = pfield ? static_cast<std::uint8_t>(*pfield) : s.to == format::cds ? 0x40 : 0x1E;
    const bool code_out = to->held == holding::octets;
    if ((pfield && (*pfield < 0 || *pfield > 255)) || temps::read_pfield(&p, 1, &s.out_layout, nullptr) != 0 ||
        s.out_layout.pfield_octets != 1 || (code_out && s.out_layout.cds != (s.to == format::cds)))
        throw py::value_error("pfield is not a one-octet P-field of the target's code");

    const std::size_t count = static_cast<std::size_t>(values.size());
    const std::vector<py::ssize_t> shape(values.shape(), values.shape() + values.ndim());
    const void* in_data = values.data();
    const char* in = static_cast<const char*>(in_data);
    const auto* in_i64 = static_cast<const std::int64_t*>(in_data);
    const auto* in_f64 = static_cast<const double*>(in_data);
    const std::size_t in_width = static_cast<std::size_t>(values.itemsize());
    const bool unicode = values.dtype().kind() == 'U';
    const bool* skip = mask ? static_cast<const bool*>(mask->data()) : nullptr;

    // Texts of any width (obt) are gathered first; the others are written
    // in place.
    const bool gather = s.to == format::obt;
    const std::size_t out_width = gather ? 1 : text_width(s.to, precision, s.out_layout);
    py::array out = empty_of(s.to, shape, out_width);
    void* out_data = out.mutable_data();
    auto* o = static_cast<char*>(out_data);
    auto* o_i64 = static_cast<std::int64_t*>(out_data);
    auto* o_f64 = static_cast<double*>(out_data);
    std::vector<std::string> texts(gather ? count : 0);
    // Which were refused, for a masked array's mask.
    py::array_t<bool> refused_out = skip != nullptr ? py::array_t<bool>(shape) : py::array_t<bool>(0);
    bool* refused = skip != nullptr ? refused_out.mutable_data() : nullptr;
    auto mark = [&](std::size_t i, bool r) {
        if (refused != nullptr) refused[i] = r;
    };

    std::size_t refused_at = count;
    std::string reason;
    unsigned warnings = 0;
    bool stopped = false;  // the leap-second list could not be used
    {
        const py::gil_scoped_release free;
        temps::converter cv(s);
        if (from->held == holding::int64 && to->held == holding::int64 && skip == nullptr) {
            // Counts to counts: the library's run over the whole span.
            const std::unique_ptr<temps::refusal[]> status(new temps::refusal[count]);
            const std::size_t failed = cv.convert({in_i64, count}, {o_i64, count}, {status.get(), count});
            for (std::size_t i = 0; failed > 0 && i < count && refused_at == count && !stopped; ++i) {
                if (status[i] == temps::refusal::none) continue;
                const bool missing = s.from == format::datetime64 && in_i64[i] == temps::datetime64_nat;
                stopped = status[i] == temps::refusal::leap_seconds_unusable;
                if (!missing && !coerce) {
                    temps::held_result r;
                    static_cast<void>(cv.convert(temps::held_value{{}, in_i64[i]}, &r, nullptr));  // for its reason
                    refused_at = i;
                    reason = cv.reason();
                }
                o_i64[i] = s.to == format::tt2000 ? temps::tt2000_fill : INT64_MIN;
            }
        }
        const std::size_t first = from->held == holding::int64 && to->held == holding::int64 && skip == nullptr ? count : 0;
        std::string buf;
        std::vector<char> text(cv.text_capacity());
        char octets[64];
        for (std::size_t i = first; i < count; ++i) {
            temps::held_value v;
            switch (from->held) {
            case holding::text: v.text = unicode ? text_at(in, in_width, i, &buf) : bytes_at(in, in_width, i); break;
            case holding::octets: v.text = octets_at(in, in_width, i, octets); break;
            case holding::int64: v.integer = in_i64[i]; break;
            case holding::float64: v.real = in_f64[i]; break;
            case holding::epoch16:
                v.real = in_f64[2 * i];
                v.imag = in_f64[2 * i + 1];
                break;
            }
            temps::held_result r;
            // Masked, and NaT, are missing values: missing in the output.
            const bool missing = (skip != nullptr && skip[i]) || (s.from == format::datetime64 && v.integer == temps::datetime64_nat);
            const temps::refusal why = missing ? temps::refusal::nat : cv.convert(v, &r, text.data());
            const bool refusal = !missing && why != temps::refusal::none;
            mark(i, refusal);
            if (why == temps::refusal::leap_seconds_unusable) {
                stopped = true;
                break;
            }
            if (refusal && !coerce) {
                refused_at = i;
                reason = cv.reason();
                break;
            }
            if (why != temps::refusal::none) {
                // The target's missing value.
                constexpr double nan = std::numeric_limits<double>::quiet_NaN();
                r = {};
                if (to->held == holding::int64) r.integer = s.to == format::tt2000 ? temps::tt2000_fill : INT64_MIN;
                r.real = r.imag = nan;
            }
            switch (to->held) {
            case holding::text:
                if (gather) {
                    texts[i].assign(text.data(), r.text_size);
                } else {
                    widen(text.data(), r.text_size, reinterpret_cast<std::uint32_t*>(o + i * out_width * 4), out_width);
                }
                break;
            case holding::octets: {
                char* b = o + i * out_width;
                for (std::size_t k = 0; k < out_width; ++k) b[k] = k < r.text_size ? text[k] : '\0';
                break;
            }
            case holding::int64: o_i64[i] = r.integer; break;
            case holding::float64: o_f64[i] = r.real; break;
            case holding::epoch16:
                o_f64[2 * i] = r.real;
                o_f64[2 * i + 1] = r.imag;
                break;
            }
        }
        warnings = cv.warnings();
    }
    if (stopped) return py::make_tuple(py::none(), py::none(), py::none(), leaps.error, py::none(), warnings);
    if (refused_at < count) return py::make_tuple(py::none(), refused_at, reason, py::none(), py::none(), warnings);
    if (gather) {
        std::size_t width = 1;
        for (const std::string& t : texts) width = std::max(width, t.size());
        out = py::array(py::dtype("U" + std::to_string(width)), shape);
        auto* u = static_cast<std::uint32_t*>(out.mutable_data());
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t k = 0; k < width; ++k)
                u[i * width + k] = k < texts[i].size() ? static_cast<unsigned char>(texts[i][k]) : 0;
    }
    return py::make_tuple(out, py::none(), py::none(), py::none(), skip != nullptr ? py::object(refused_out) : py::object(py::none()),
                          warnings);
}

// The formats, from the library's table: (name, holding) each.
py::list format_list() {
    py::list all;
    constexpr const char* held[] = {"text", "octets", "int64", "float64", "epoch16"};
    for (const temps::format_info& f : temps::formats())
        all.append(py::make_tuple(std::string(f.name), held[static_cast<int>(f.held)]));
    return all;
}

}  // namespace

PYBIND11_MODULE(_temps, m) {
    m.doc() = "The compiled conversions of temps; use temps.convert.";
    m.def("convert", &convert, py::arg("values"), py::arg("source"), py::arg("target"), py::arg("precision"),
          py::arg("leap_seconds"), py::arg("correlation"), py::arg("agency_epoch"), py::arg("pfield"), py::arg("coerce"),
          py::arg("mask"), py::arg("unit"), py::arg("sclk"), py::arg("lsk"), py::arg("clock"));
    m.def("formats", &format_list);
    m.attr("default_leap_seconds") = temps::default_leap_seconds_path();
    m.attr("warned_expired") = temps::warned_expired;
    m.attr("warned_before_1960") = temps::warned_before_1960;
}
