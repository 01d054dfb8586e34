// The command's conversions: the library's converter on each value's text,
// the command's own being the lines, the messages and --on-error.
#include "convert.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace conversion {

bool converter::open() {
    if (temps::info_of(s_.from).needs_correlation || temps::info_of(s_.to).needs_correlation) {
        char error[512];
        if (temps::read_correlation(s_.correlation_path, &correlation_, error, sizeof error) != 0) {
            say(err_fd_, error);
            fatal_ = true;
            return false;
        }
    }
    // The SPICE kernels named, each read whole before any value.
    const auto kernel = [this](const char* path, auto read) {
        temps::kernel_pool pool;
        char error[512];
        if (temps::read_text_kernel(path, &pool, error, sizeof error) != 0) {
            say(err_fd_, error);
        } else if (read(pool, error) != 0) {
            say(err_fd_, std::string(path) + ": " + error);
        } else {
            return true;
        }
        fatal_ = true;
        return false;
    };
    if (s_.sclk_path != nullptr && !kernel(s_.sclk_path, [this](const temps::kernel_pool& pool, char* error) {
            return temps::read_sclk(pool, s_.clock, &clock_, error, 512);
        }))
        return false;
    if (s_.lsk_path != nullptr && !kernel(s_.lsk_path, [this](const temps::kernel_pool& pool, char* error) {
            return temps::read_lsk(pool, &kernel_, error, 512);
        }))
        return false;
    temps::converter_settings c;
    c.from = s_.from, c.to = s_.to;
    c.precision = s_.precision;
    c.load_leaps = load_leaps, c.load_context = this;
    c.table = &correlation_;
    c.agency_epoch = s_.have_epoch ? &s_.epoch : nullptr;
    c.out_layout = s_.out_layout;
    c.in_layout = s_.implicit ? &s_.in_layout : nullptr;
    c.clock = s_.sclk_path != nullptr ? &clock_ : nullptr;
    c.kernel = s_.lsk_path != nullptr ? &kernel_ : nullptr;
    if (s_.lsk_path != nullptr && !s_.leap_given) c.leaps = &kernel_.leaps, c.load_leaps = nullptr;
    engine_ = std::make_unique<temps::converter>(c);
    room_ = engine_->text_capacity() + 1;
    return true;
}

// The leap-second list, read when the first value needs it; a file that
// cannot be used ends the run.
const temps::leap_second_table* converter::load_leaps(void* self) noexcept {
    auto* cv = static_cast<converter*>(self);
    char error[512];
    if (temps::read_leap_seconds(cv->s_.leap_path, &cv->table_, error, sizeof error) == 0) return &cv->table_;
    say(cv->err_fd_, error);
    cv->fatal_ = true;
    return nullptr;
}

// Each warning once: an answer kept for an instant past the list's
// expiry, or before UTC began.
void converter::warn(unsigned warnings) {
    const unsigned fresh = warnings & ~warned_;
    warned_ |= warnings;
    if ((fresh & temps::warned_before_1960) != 0) say(err_fd_, "warning: there was no UTC before 1960: TAI - UTC taken as 0");
    if ((fresh & temps::warned_expired) != 0) {
        const std::chrono::year_month_day d{std::chrono::floor<std::chrono::days>(table_.expires)};
        char text[96];
        std::snprintf(text, sizeof text, " expired on %04d-%02u-%02u: later instants keep its last offset", int(d.year()),
                      unsigned(d.month()), unsigned(d.day()));
        say(err_fd_, std::string("warning: ") + s_.leap_path + text);
    }
}

void converter::failed(std::string_view value, const char* reason) {
    warn();
    say(err_fd_, quoted(value) + ": " + reason);
    status_ = 1;
    if (s_.when_failed == on_error::empty) out_->put("\n", 1);
    stopped_ = s_.when_failed == on_error::stop;
}

void converter::refuse(std::string_view shown, const char* reason) { failed(shown, reason); }

void converter::blank() {
    if (s_.when_failed == on_error::empty) out_->put("\n", 1);
}

void converter::convert(std::string_view v) {
    // The line is written in place in the output's buffer.
    char* line = out_->room(room_);
    std::size_t n = 0;
    const temps::refusal r = engine_->convert_text(v, line, &n);
    if (r == temps::refusal::none) {
        line[n] = '\n';
        out_->len += n + 1;
        return;
    }
    warn();
    if (fatal_) return;  // the list's own message said why
    failed(v, engine_->reason());
}

void converter::convert_run(std::span<const std::string_view> values) {
    while (!values.empty() && !done()) {
        // The lines written in place in the output's buffer.
        std::size_t n = 0;
        temps::refusal why{};
        const std::size_t k = engine_->convert_texts(values, '\n', out_->room(values.size() * room_), &n, &why);
        out_->len += n;
        if (k == values.size()) return;
        warn();
        if (fatal_) return;  // the list's own message said why
        failed(values[k], engine_->reason());
        values = values.subspan(k + 1);
    }
}

}  // namespace conversion
