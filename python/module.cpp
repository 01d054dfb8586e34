// temps._temps: the compiled half of the Python module. temps.convert (in
// the package around it) gives it contiguous arrays of the holder of the
// source format; it converts them without the interpreter's lock into a
// new array of the target's holder, of the same shape.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine.h"

namespace py = pybind11;
using pytemps::format;
using pytemps::holder;

namespace {

// Files read once per path and kept: the module's callers convert array
// after array with the same table.
template <class Table>
std::shared_ptr<const Table> kept(const std::string& path, int (*read)(const char*, Table*, char*, int) noexcept) {
    static std::mutex lock;
    static std::map<std::string, std::shared_ptr<const Table>> tables;
    {
        const std::lock_guard<std::mutex> hold(lock);
        if (const auto it = tables.find(path); it != tables.end()) return it->second;
    }
    auto table = std::make_shared<Table>();
    char error[512];
    int status = 0;
    {
        const py::gil_scoped_release free;
        status = read(path.c_str(), table.get(), error, sizeof error);
    }
    if (status != 0) throw py::value_error(error);
    const std::lock_guard<std::mutex> hold(lock);
    return tables.emplace(path, std::move(table)).first->second;
}

// The text of element i of a 'U' array (UCS-4, NUL-padded) as bytes; a
// character beyond ASCII becomes 0xFF, which no format accepts.
std::string_view text_at(const char* base, std::size_t width, std::size_t i, std::string* buf) {
    const auto* u = reinterpret_cast<const std::uint32_t*>(base + i * width);
    const std::size_t n = width / 4;
    if (buf->size() < n) buf->resize(n);
    char* b = buf->data();
    std::size_t k = 0;
    for (; k < n && u[k] != 0; ++k) b[k] = u[k] < 128 ? static_cast<char>(u[k]) : '\xFF';
    return {b, k};
}

// The octets of element i of an 'S' array: as many as its P-field says,
// when the rest is NUL padding; otherwise all of them, which decode
// refuses with its reason.
std::string_view octets_at(const char* base, std::size_t width, std::size_t i) {
    const char* p = base + i * width;
    temps::time_code_layout l{};
    if (temps::read_pfield(reinterpret_cast<const std::uint8_t*>(p), width, &l, nullptr) == 0) {
        const std::size_t n = static_cast<std::size_t>(l.pfield_octets) + static_cast<std::size_t>(temps::t_field_octets(l));
        bool padded = n <= width;
        for (std::size_t k = n; padded && k < width; ++k) padded = p[k] == '\0';
        if (padded) return {p, n};
    }
    std::size_t n = width;
    while (n > 0 && p[n - 1] == '\0') --n;
    return {p, n};
}

// The width of a label of a precision, in characters.
std::size_t label_width(int precision) { return 19 + (precision > 0 ? 1 + static_cast<std::size_t>(precision) : 0); }

py::tuple convert(const py::array& values, const std::string& source, const std::string& target, int precision,
                  std::optional<std::string> leap_seconds, std::optional<std::string> correlation,
                  std::optional<std::string> agency_epoch, std::optional<int> pfield, bool coerce) {
    pytemps::settings s;
    if (!pytemps::format_named(source, &s.source)) throw py::value_error("unknown source format '" + source + "'");
    if (!pytemps::format_named(target, &s.target)) throw py::value_error("unknown target format '" + target + "'");
    if (precision < 0 || precision > 9) throw py::value_error("precision is not 0 to 9");
    s.precision = precision;
    auto plain = [](format f) {
        return f == format::tu || f == format::jd || f == format::epoch || f == format::epoch16 ||
               f == format::datetime64 || f == format::obt;
    };
    if (!plain(s.source) || !plain(s.target))
        s.leaps = kept<temps::leap_second_table>(leap_seconds ? *leap_seconds : temps::default_leap_seconds_path(),
                                                 temps::read_leap_seconds);
    if (s.source == format::obt || s.target == format::obt) {
        if (!correlation) throw py::value_error("obt needs a correlation file");
        s.correlation = kept<temps::correlation>(*correlation, temps::read_correlation);
    }
    if (agency_epoch) {
        temps::civil_time d{};
        temps::scale_time check{};
        if (!conversion::parse_iso(*agency_epoch + "T00:00:00", &d) || temps::count_of(d, &check) != 0)
            throw py::value_error("agency_epoch is not a date YYYY-MM-DD");
        s.have_agency = true;
        s.agency = {d.year, d.month, d.day};
    }
    const std::uint8_t p = pfield ? static_cast<std::uint8_t>(*pfield) : s.target == format::cds ? 0x40 : 0x1E;
    if ((pfield && (*pfield < 0 || *pfield > 255)) || temps::read_pfield(&p, 1, &s.out_layout, nullptr) != 0 ||
        s.out_layout.pfield_octets != 1 ||
        ((s.target == format::cds || s.target == format::cuc) && s.out_layout.cds != (s.target == format::cds)))
        throw py::value_error("pfield is not a one-octet P-field of the target's code");

    const std::size_t count = static_cast<std::size_t>(values.size());
    const std::vector<py::ssize_t> shape(values.shape(), values.shape() + values.ndim());
    // The buffers, typed once from NumPy's untyped pointers.
    const void* in_data = values.data();
    const char* in = static_cast<const char*>(in_data);
    const auto* in_i64 = static_cast<const std::int64_t*>(in_data);
    const auto* in_f64 = static_cast<const double*>(in_data);
    const std::size_t in_width = static_cast<std::size_t>(values.itemsize());
    const bool unicode = values.dtype().kind() == 'U';
    const holder from = pytemps::holder_of(s.source), to = pytemps::holder_of(s.target);

    // The output, of the target's holder; texts of any width (obt) are
    // gathered first.
    py::array out;
    std::size_t out_width = 0;
    if (to == holder::text && s.target != format::obt) {
        out_width = label_width(precision);
        out = py::array(py::dtype("U" + std::to_string(out_width)), shape);
    } else if (to == holder::bytes) {
        out_width = 1 + static_cast<std::size_t>(temps::t_field_octets(s.out_layout));
        out = py::array(py::dtype("S" + std::to_string(out_width)), shape);
    } else if (to == holder::int64) {
        out = py::array(py::dtype("int64"), shape);
    } else if (to == holder::datetime64) {
        out = py::array(py::dtype("datetime64[ns]"), shape);
    } else if (to == holder::float64) {
        out = py::array(py::dtype("float64"), shape);
    } else if (to == holder::complex128) {
        out = py::array(py::dtype("complex128"), shape);
    }
    void* out_data = out ? out.mutable_data() : nullptr;
    auto* o = static_cast<char*>(out_data);
    auto* o_i64 = static_cast<std::int64_t*>(out_data);
    auto* o_f64 = static_cast<double*>(out_data);
    std::vector<std::string> texts(s.target == format::obt ? count : 0);

    std::size_t refused_at = count;
    std::string reason;
    {
        const py::gil_scoped_release free;
        pytemps::engine e(s);
        std::string buf, text;
        for (std::size_t i = 0; i < count; ++i) {
            pytemps::value v;
            switch (from) {
            case holder::text: v.text = unicode ? text_at(in, in_width, i, &buf) : std::string_view(in + i * in_width, strnlen(in + i * in_width, in_width)); break;
            case holder::bytes: v.text = octets_at(in, in_width, i); break;
            case holder::int64:
            case holder::datetime64: v.integer = in_i64[i]; break;
            case holder::float64: v.real = in_f64[i]; break;
            case holder::complex128:
                v.real = in_f64[2 * i];
                v.imag = in_f64[2 * i + 1];
                break;
            }
            pytemps::instant at;
            const char* why = e.read(v, &at);
            if (why == nullptr) {
                switch (to) {
                case holder::text:
                case holder::bytes: why = e.write_text(at, &text); break;
                case holder::int64:
                case holder::datetime64: why = e.write_int64(at, o_i64 + i); break;
                case holder::float64: why = e.write_float64(at, o_f64 + i); break;
                case holder::complex128:
                    why = e.write_complex(at, o_f64 + 2 * i, o_f64 + 2 * i + 1);
                    break;
                }
            }
            if (why != nullptr) {
                if (!coerce) {
                    refused_at = i;
                    reason = why;
                    break;
                }
                text.clear();  // the target's missing value
                constexpr double nan = std::numeric_limits<double>::quiet_NaN();
                if (to == holder::int64) o_i64[i] = s.target == format::tt2000 ? temps::tt2000_fill : INT64_MIN;
                if (to == holder::datetime64) o_i64[i] = INT64_MIN;  // NaT
                if (to == holder::float64) o_f64[i] = nan;
                if (to == holder::complex128) o_f64[2 * i] = o_f64[2 * i + 1] = nan;
            }
            if (s.target == format::obt) {
                texts[i] = text;
            } else if (to == holder::text) {
                auto* u = reinterpret_cast<std::uint32_t*>(o + i * out_width * 4);
                for (std::size_t k = 0; k < out_width; ++k) u[k] = k < text.size() ? static_cast<unsigned char>(text[k]) : 0;
            } else if (to == holder::bytes) {
                char* b = o + i * out_width;
                for (std::size_t k = 0; k < out_width; ++k) b[k] = k < text.size() ? text[k] : '\0';
            }
        }
    }
    if (s.target == format::obt && refused_at == count) {
        std::size_t width = 1;
        for (const std::string& t : texts) width = std::max(width, t.size());
        out = py::array(py::dtype("U" + std::to_string(width)), shape);
        auto* u = static_cast<std::uint32_t*>(out.mutable_data());
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t k = 0; k < width; ++k) u[i * width + k] = k < texts[i].size() ? static_cast<unsigned char>(texts[i][k]) : 0;
    }
    if (refused_at < count) return py::make_tuple(py::none(), refused_at, reason);
    return py::make_tuple(out, py::none(), py::none());
}

}  // namespace

PYBIND11_MODULE(_temps, m) {
    m.doc() = "The compiled conversions of temps; use temps.convert.";
    m.def("convert", &convert, py::arg("values"), py::arg("source"), py::arg("target"), py::arg("precision"),
          py::arg("leap_seconds"), py::arg("correlation"), py::arg("agency_epoch"), py::arg("pfield"), py::arg("coerce"));
    m.attr("default_leap_seconds") = temps::default_leap_seconds_path();
}
