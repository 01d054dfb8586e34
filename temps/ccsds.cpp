// CCSDS time codes: P-fields, the octets of CUC and CDS codes, and the
// instants they name.
#include "ccsds.h"

#include <cstring>

#include "instant.h"

namespace temps {
namespace {

constexpr int id_cuc_1958 = 1, id_cuc_agency = 2, id_cds = 4, id_ccs = 5;
constexpr std::int64_t ns_per_s = 1000000000;
__extension__ typedef unsigned __int128 u128;

std::uint64_t big_endian(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | p[i];
    return v;
}

std::uint8_t* put_big_endian(std::uint8_t* out, std::uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i, v >>= 8) out[i] = static_cast<std::uint8_t>(v);
    return out + n;
}

// Seconds on the TAI count, or days since 1958-01-01, of an agency epoch
// (its 00:00:00); false when it is no real date.
bool epoch_day(const date* epoch, std::int64_t* day) {
    if (epoch == nullptr) {
        *day = 0;
        return true;
    }
    scale_time t{};
    if (count_of(civil_time{epoch->year, epoch->month, epoch->day, 0, 0, 0, 0}, &t) != 0) return false;
    *day = t.second / 86400;
    return true;
}

int fail(const char** reason, const char* why) {
    if (reason != nullptr) *reason = why;
    return -1;
}

}  // namespace

int read_pfield(const std::uint8_t* p, std::size_t n, time_code_layout* out, const char** reason) noexcept {
    if (n < 1) return fail(reason, "no P-field");
    const bool extended = (p[0] & 0x80) != 0;
    const int id = p[0] >> 4 & 7;
    time_code_layout l{};
    l.pfield_octets = 1;
    if (id == id_cds) {
        l.pfield[0] = p[0];
        if (extended) return fail(reason, "an extension bit in a CDS P-field");
        if ((p[0] & 3) == 3) return fail(reason, "the reserved sub-millisecond code 11");
        l.cds = true;
        l.agency = (p[0] & 8) != 0;
        l.day_octets = (p[0] & 4) != 0 ? 3 : 2;
        l.sub_octets = (p[0] & 3) == 1 ? 2 : (p[0] & 3) == 2 ? 4 : 0;
        *out = l;
        return 0;
    }
    if (id == id_ccs) return fail(reason, "CCS (calendar segmented) codes are not supported");
    if (id != id_cuc_1958 && id != id_cuc_agency) return fail(reason, "an unknown time-code id");
    l.agency = id == id_cuc_agency;
    l.coarse = (p[0] >> 2 & 3) + 1;
    l.fine = p[0] & 3;
    if (extended) {
        if (n < 2) return fail(reason, "the P-field's second octet is missing");
        if ((p[1] & 0x80) != 0) return fail(reason, "a P-field of more than two octets");
        if ((p[1] & 3) != 0) return fail(reason, "reserved bits set in the P-field's second octet");
        l.coarse += p[1] >> 5 & 3;
        l.fine += p[1] >> 2 & 7;
        l.pfield_octets = 2;
        l.pfield[1] = p[1];
    }
    l.pfield[0] = p[0];
    *out = l;
    return 0;
}

int write_pfield(const time_code_layout& l, std::uint8_t* out) noexcept {
    if (l.cds) {
        if ((l.day_octets != 2 && l.day_octets != 3) || (l.sub_octets != 0 && l.sub_octets != 2 && l.sub_octets != 4))
            return -1;
        out[0] = static_cast<std::uint8_t>(id_cds << 4 | (l.agency ? 8 : 0) | (l.day_octets == 3 ? 4 : 0) |
                                           (l.sub_octets == 2 ? 1 : l.sub_octets == 4 ? 2 : 0));
        return 1;
    }
    if (l.coarse < 1 || l.coarse > 7 || l.fine < 0 || l.fine > 10) return -1;
    if (l.pfield[0] != 0) {  // as read
        time_code_layout again{};
        if (read_pfield(l.pfield, static_cast<std::size_t>(l.pfield_octets), &again, nullptr) == 0 &&
            again.coarse == l.coarse && again.fine == l.fine && again.agency == l.agency && !again.cds) {
            std::memcpy(out, l.pfield, static_cast<std::size_t>(l.pfield_octets));
            return l.pfield_octets;
        }
    }
    const int base_coarse = l.coarse < 4 ? l.coarse : 4, base_fine = l.fine < 3 ? l.fine : 3;
    const bool extended = l.pfield_octets == 2 || l.coarse > 4 || l.fine > 3;
    out[0] = static_cast<std::uint8_t>((extended ? 0x80 : 0) | (l.agency ? id_cuc_agency : id_cuc_1958) << 4 |
                                       (base_coarse - 1) << 2 | base_fine);
    if (!extended) return 1;
    out[1] = static_cast<std::uint8_t>((l.coarse - base_coarse) << 5 | (l.fine - base_fine) << 2);
    return 2;
}

int decode(const std::uint8_t* p, std::size_t n, const time_code_layout* implicit, time_code* out,
           const char** reason) noexcept {
    time_code c{};
    if (implicit != nullptr) {
        c.layout = *implicit;
    } else {
        if (read_pfield(p, n, &c.layout, reason) != 0) return -1;
        p += c.layout.pfield_octets;
        n -= static_cast<std::size_t>(c.layout.pfield_octets);
    }
    const auto want = static_cast<std::size_t>(t_field_octets(c.layout));
    if (n != want) return fail(reason, n < want ? "shorter than its P-field says" : "longer than its P-field says");
    if (!c.layout.cds) {
        c.coarse = big_endian(p, c.layout.coarse);
        std::memcpy(c.fine, p + c.layout.coarse, static_cast<std::size_t>(c.layout.fine));
        *out = c;
        return 0;
    }
    c.day = static_cast<std::uint32_t>(big_endian(p, c.layout.day_octets));
    c.ms = static_cast<std::uint32_t>(big_endian(p + c.layout.day_octets, 4));
    c.sub = static_cast<std::uint32_t>(big_endian(p + c.layout.day_octets + 4, c.layout.sub_octets));
    if (c.layout.sub_octets == 2 && c.sub > 999) return fail(reason, "microseconds above 999");
    if (c.layout.sub_octets == 4 && c.sub > 999999999) return fail(reason, "picoseconds above 999,999,999");
    if (c.ms > 86400999) return fail(reason, "a millisecond of day beyond any leap second");
    *out = c;
    return 0;
}

int encode(const time_code& c, bool implicit, std::uint8_t* out, std::size_t capacity) noexcept {
    std::uint8_t pfield[2];
    const int pn = write_pfield(c.layout, pfield);
    const int tn = t_field_octets(c.layout);
    const int total = (implicit ? 0 : pn) + tn;
    if (pn < 0 || static_cast<std::size_t>(total) > capacity) return -1;
    std::uint8_t* o = out;
    if (!implicit) o = static_cast<std::uint8_t*>(std::memcpy(o, pfield, static_cast<std::size_t>(pn))) + pn;
    if (c.layout.cds) {
        o = put_big_endian(o, c.day, c.layout.day_octets);
        o = put_big_endian(o, c.ms, 4);
        put_big_endian(o, c.sub, c.layout.sub_octets);
    } else {
        o = put_big_endian(o, c.coarse, c.layout.coarse);
        std::memcpy(o, c.fine, static_cast<std::size_t>(c.layout.fine));
    }
    return total;
}

int code_to_tai(const time_code& c, const leap_second_table& t, const date* agency_epoch, scale_time* tai,
                const char** reason) noexcept {
    if (c.layout.agency && agency_epoch == nullptr) return fail(reason, "no agency epoch given");
    std::int64_t epoch = 0;
    if (!epoch_day(c.layout.agency ? agency_epoch : nullptr, &epoch))
        return fail(reason, "the agency epoch is not a real date");
    if (!c.layout.cds) {
        const int bits = 8 * c.layout.fine;
        u128 f = 0;
        for (int i = 0; i < c.layout.fine; ++i) f = f << 8 | c.fine[i];
        // The fraction to the nearest nanosecond (halves up), which the
        // nearest code encodes back to.
        const u128 scaled = f * static_cast<u128>(ns_per_s);
        auto ns = static_cast<std::int64_t>((scaled + (bits > 0 ? u128{1} << (bits - 1) : 0)) >> bits);
        const std::int64_t second = epoch * 86400 + static_cast<std::int64_t>(c.coarse);
        // Within half a nanosecond of the next second: the code's own last
        // nanosecond, which encodes back (the next second may not fit).
        if (ns == ns_per_s) ns = ns_per_s - 1;
        civil_time check{};
        if (label_of({second, static_cast<std::int32_t>(ns)}, &check) != 0)
            return fail(reason, "beyond the years 1 to 9999");
        *tai = {second, static_cast<std::int32_t>(ns)};
        return 0;
    }
    civil_time utc{};
    if (cds_to_utc(c, agency_epoch, &utc, reason) != 0) return -1;
    const int status = utc_to_tai(t, utc, tai);
    if (status < 0) {
        fail(reason, status == status_no_leap ? "a millisecond of day past 86,399,999 on a day without a leap second"
                     : status == status_skipped ? "a UTC time that a step of the 1960s skipped"
                                                : "beyond the years 1 to 9999");
        return status;
    }
    return status;
}

int cds_to_utc(const time_code& c, const date* agency_epoch, civil_time* utc, const char** reason) noexcept {
    if (!c.layout.cds) return fail(reason, "not a CDS code");
    if (c.layout.agency && agency_epoch == nullptr) return fail(reason, "no agency epoch given");
    std::int64_t epoch = 0;
    if (!epoch_day(c.layout.agency ? agency_epoch : nullptr, &epoch)) return fail(reason, "the agency epoch is not a real date");
    const std::int64_t day = epoch + c.day;
    if (day + jd_1958 > jd_9999) return fail(reason, "beyond the years 1 to 9999");
    civil_time u{};
    detail::date_of(day, &u.year, &u.month, &u.day);
    detail::cds_time_of_day(c, &u);
    *utc = u;
    return 0;
}

void detail::cds_time_of_day(const time_code& c, civil_time* u) noexcept {
    const std::uint32_t s = c.ms / 1000;  // 86,400 and more only in a leap second
    u->hour = static_cast<int>(s >= 86400 ? 23 : s / 3600);
    u->minute = static_cast<int>(s >= 86400 ? 59 : s / 60 % 60);
    u->second = static_cast<int>(s >= 86400 ? 60 + (s - 86400) : s % 60);
    const std::int64_t sub_ns = c.layout.sub_octets == 2   ? std::int64_t{c.sub} * 1000
                                : c.layout.sub_octets == 4 ? std::int64_t{c.sub} / 1000
                                                           : 0;
    u->nanosecond = static_cast<std::int32_t>(std::int64_t{c.ms % 1000} * 1000000 + sub_ns);
}

int tai_to_code(scale_time tai, const time_code_layout& l, const leap_second_table& t, const date* agency_epoch,
                time_code* out, const char** reason) noexcept {
    if (l.agency && agency_epoch == nullptr) return fail(reason, "no agency epoch given");
    std::uint8_t check[2];
    if (write_pfield(l, check) < 0) return fail(reason, "a layout no P-field describes");
    std::int64_t epoch = 0;
    if (!epoch_day(l.agency ? agency_epoch : nullptr, &epoch))
        return fail(reason, "the agency epoch is not a real date");
    time_code c{};
    c.layout = l;
    if (!l.cds) {
        const std::int64_t s = tai.second - epoch * 86400;
        if (s < 0) return fail(reason, "before the epoch");
        if (l.coarse < 8 && static_cast<std::uint64_t>(s) >> (8 * l.coarse) != 0)
            return fail(reason, "beyond the coarse octets");
        // The nearest code unit (halves up): round(ns * 2^bits / 1e9), which
        // may carry into the coarse time.
        u128 f = ((static_cast<u128>(tai.nanosecond) << (8 * l.fine)) + static_cast<u128>(ns_per_s / 2)) /
                 static_cast<u128>(ns_per_s);
        std::uint64_t coarse = static_cast<std::uint64_t>(s);
        if (f >> (8 * l.fine) != 0) f = 0, ++coarse;
        if (l.coarse < 8 && coarse >> (8 * l.coarse) != 0) return fail(reason, "beyond the coarse octets");
        c.coarse = coarse;
        for (int i = l.fine - 1, k = 0; i >= 0; --i, ++k) c.fine[i] = static_cast<std::uint8_t>(f >> (8 * k));
        *out = c;
        return 0;
    }
    civil_time utc{};
    const int status = tai_to_utc(t, tai, &utc);
    if (status < 0) return fail(reason, "beyond the years 1 to 9999");
    int jd = 0;
    if (julday(utc.month, utc.day, utc.year, &jd) != 0) return fail(reason, "beyond the years 1 to 9999");
    const std::int64_t day = jd - std::int64_t{jd_1958} - epoch;
    if (day < 0) return fail(reason, "before the epoch");
    if (day >> (8 * l.day_octets) != 0) return fail(reason, "beyond the day counter");
    c.day = static_cast<std::uint32_t>(day);
    c.ms = static_cast<std::uint32_t>(((utc.hour * 60 + utc.minute) * 60 + utc.second) * 1000 + utc.nanosecond / 1000000);
    c.sub = l.sub_octets == 2 ? static_cast<std::uint32_t>(utc.nanosecond / 1000 % 1000)
            : l.sub_octets == 4 ? static_cast<std::uint32_t>(utc.nanosecond % 1000000) * 1000 : 0;
    *out = c;
    return status;
}

}  // namespace temps
