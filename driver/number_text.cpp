#include "number_text.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace ruva::number {
namespace {

bool blank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool digit(char c) {
    return c >= '0' && c <= '9';
}
bool sameWord(const char* p, size_t n, const char* word) {
    if (n != std::strlen(word)) return false;
    for (size_t i = 0; i < n; ++i)
        if ((p[i] | 0x20) != word[i]) return false;
    return true;
}

// A number's text taken apart: value = 0.digits... shifted so that the
// first `point` digits stand before the decimal point.
struct Scan {
    enum Kind { Bad, Number, Infinite, NotANumber } kind = Bad;
    bool negative = false;
    std::string digits;    // the digits before and after the point, in order
    long long point = 0;   // digits before the point, the exponent applied
    bool hugeCut = false;  // cut among the digits before the point: too long for any type here
    bool fractionCut = false;
    const char* start = nullptr;  // the number without blanks and sign, for the floating-point parse
    size_t length = 0;
};

Scan scan(const char* p, size_t n, bool cut) {
    Scan s;
    size_t i = 0, end = n;
    while (i < end && blank(p[i])) ++i;
    while (end > i && blank(p[end - 1])) --end;
    if (i < end && (p[i] == '+' || p[i] == '-')) s.negative = p[i++] == '-';
    s.start = p + i;
    s.length = end - i;
    if (sameWord(p + i, end - i, "inf") || sameWord(p + i, end - i, "infinity")) {
        s.kind = cut ? Scan::Bad : Scan::Infinite;
        return s;
    }
    if (sameWord(p + i, end - i, "nan")) {
        s.kind = cut ? Scan::Bad : Scan::NotANumber;
        return s;
    }
    long long before = 0;
    bool point = false;
    for (; i < end && (digit(p[i]) || (p[i] == '.' && !point)); ++i) {
        if (p[i] == '.') {
            point = true;
            continue;
        }
        s.digits += p[i];
        if (!point) ++before;
    }
    if (s.digits.empty()) return s;
    if (i == end && cut && end == n) {
        // The text went on beyond the cell, among its digits.
        if (point)
            s.fractionCut = true;
        else
            s.hugeCut = true;
    }
    long long exponent = 0;
    if (i < end && (p[i] == 'e' || p[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < end && (p[i] == '+' || p[i] == '-')) negativeExponent = p[i++] == '-';
        if (i == end || !digit(p[i])) return s;
        for (; i < end && digit(p[i]); ++i)
            if (exponent < 1000000) exponent = exponent * 10 + (p[i] - '0');
        if (negativeExponent) exponent = -exponent;
        if (cut && end == n) return s;  // the exponent itself may be cut
    }
    if (i != end) return s;
    s.point = before + exponent;
    s.kind = Scan::Number;
    return s;
}

// The integer part of a scanned number as a magnitude, and whether a
// non-zero fraction was dropped. False when the magnitude exceeds 64 bits.
bool integerPart(const Scan& s, uint64_t& magnitude, bool& fraction) {
    magnitude = 0;
    fraction = s.fractionCut;
    const long long n = static_cast<long long>(s.digits.size());
    long long first = 0;
    while (first < n && s.digits[static_cast<size_t>(first)] == '0') ++first;
    if (first == n) return true;  // zero
    if (s.point <= first) {
        fraction = true;
        return true;
    }
    if (s.point - first > 20) return false;
    for (long long k = first; k < s.point; ++k) {
        const unsigned d = k < n ? static_cast<unsigned>(s.digits[static_cast<size_t>(k)] - '0') : 0u;
        if (magnitude > (UINT64_MAX - d) / 10) return false;
        magnitude = magnitude * 10 + d;
    }
    for (long long k = s.point; k < n; ++k)
        if (s.digits[static_cast<size_t>(k)] != '0') fraction = true;
    return true;
}

struct Range {
    long long low;
    unsigned long long high;
    SQLLEN size;
};

bool integerRange(SQLSMALLINT cType, Range& r) {
    switch (cType) {
        case SQL_C_BIT:
            r = {0, 1, 1};
            return true;
        case SQL_C_TINYINT:
        case SQL_C_STINYINT:
            r = {INT8_MIN, INT8_MAX, 1};
            return true;
        case SQL_C_UTINYINT:
            r = {0, UINT8_MAX, 1};
            return true;
        case SQL_C_SHORT:
        case SQL_C_SSHORT:
            r = {INT16_MIN, INT16_MAX, 2};
            return true;
        case SQL_C_USHORT:
            r = {0, UINT16_MAX, 2};
            return true;
        case SQL_C_LONG:
        case SQL_C_SLONG:
            r = {INT32_MIN, INT32_MAX, 4};
            return true;
        case SQL_C_ULONG:
            r = {0, UINT32_MAX, 4};
            return true;
        case SQL_C_SBIGINT:
            r = {INT64_MIN, INT64_MAX, 8};
            return true;
        default:
            return false;
    }
}

void store(long long v, SQLLEN size, void* out) {
    switch (size) {
        case 1: {
            const auto b = static_cast<uint8_t>(v);
            std::memcpy(out, &b, 1);
            break;
        }
        case 2: {
            const auto h = static_cast<uint16_t>(v);
            std::memcpy(out, &h, 2);
            break;
        }
        case 4: {
            const auto w = static_cast<uint32_t>(v);
            std::memcpy(out, &w, 4);
            break;
        }
        default:
            std::memcpy(out, &v, 8);
            break;
    }
}

constexpr Outcome kOk{SQL_SUCCESS, nullptr};
constexpr Outcome kTruncated{SQL_SUCCESS_WITH_INFO, "01S07"};
constexpr Outcome kOutOfRange{SQL_ERROR, "22003"};
constexpr Outcome kNoNumber{SQL_ERROR, "22005"};

Outcome toInteger(const Scan& s, const Range& r, void* out) {
    if (s.kind != Scan::Number || s.hugeCut) return kOutOfRange;
    uint64_t magnitude = 0;
    bool fraction = false;
    if (!integerPart(s, magnitude, fraction)) return kOutOfRange;
    long long value = 0;
    if (s.negative && (magnitude > 0 || fraction)) {
        // Below zero: SQL_C_BIT takes no negative value, not even -0.5.
        if (r.low == 0 && r.high == 1) return kOutOfRange;
        if (magnitude > static_cast<uint64_t>(INT64_MAX) + 1) return kOutOfRange;
        value = magnitude == static_cast<uint64_t>(INT64_MAX) + 1 ? INT64_MIN : -static_cast<long long>(magnitude);
        if (value < r.low) return kOutOfRange;
    } else {
        if (magnitude > r.high) return kOutOfRange;
        value = static_cast<long long>(magnitude);
    }
    store(value, r.size, out);
    return fraction ? kTruncated : kOk;
}

template <typename T>
Outcome toFloating(const Scan& s, void* out) {
    if (s.kind == Scan::Bad) return kNoNumber;
    if (s.hugeCut) return kOutOfRange;
    T v{};
    if (s.kind == Scan::Infinite) {
        v = std::numeric_limits<T>::infinity();
    } else if (s.kind == Scan::NotANumber) {
        v = std::numeric_limits<T>::quiet_NaN();
    } else {
        // The C locale's number form whatever the process's locale says.
        const auto [end, ec] = std::from_chars(s.start, s.start + s.length, v, std::chars_format::general);
        if (ec == std::errc::result_out_of_range) {
            long long first = 0;
            while (first < static_cast<long long>(s.digits.size()) && s.digits[static_cast<size_t>(first)] == '0')
                ++first;
            if (s.point - first > 0) return kOutOfRange;
            // Smaller than the type's least value: zero, as a fraction cut.
            v = T{0};
            if (s.negative) v = -v;
            std::memcpy(out, &v, sizeof v);
            return kTruncated;
        }
        if (ec != std::errc{} || end != s.start + s.length) return kNoNumber;
    }
    if (s.negative) v = -v;
    std::memcpy(out, &v, sizeof v);
    return kOk;
}

// The common texts without the full scan: an integer of up to 18 digits,
// and a floating-point number the C locale's parse takes whole. False when
// the text needs the full scan.
bool quickConvert(const char* p, size_t n, SQLSMALLINT cType, void* out, Outcome& o) {
    while (n > 0 && blank(*p)) ++p, --n;
    while (n > 0 && blank(p[n - 1])) --n;
    if (n == 0) return false;
    Range r{};
    if (integerRange(cType, r)) {
        const bool negative = *p == '-';
        const size_t first = negative ? 1 : 0;
        if (n - first == 0 || n - first > 18) return false;
        long long v = 0;
        for (size_t i = first; i < n; ++i) {
            if (!digit(p[i])) return false;
            v = v * 10 + (p[i] - '0');
        }
        if (negative) v = -v;
        if (v < r.low || (v > 0 && static_cast<unsigned long long>(v) > r.high)) {
            o = kOutOfRange;
            return true;
        }
        store(v, r.size, out);
        o = kOk;
        return true;
    }
    if (*p == '+') return false;
    auto parse = [&](auto v) {
        const auto [end, ec] = std::from_chars(p, p + n, v, std::chars_format::general);
        if (ec != std::errc{} || end != p + n) return false;
        std::memcpy(out, &v, sizeof v);
        o = kOk;
        return true;
    };
    if (cType == SQL_C_DOUBLE) return parse(double{});
    if (cType == SQL_C_FLOAT) return parse(float{});
    return false;
}

}  // namespace

bool isConverted(SQLSMALLINT cType) {
    return valueSize(cType) != 0;
}

SQLLEN valueSize(SQLSMALLINT cType) {
    Range r{};
    if (integerRange(cType, r)) return r.size;
    if (cType == SQL_C_FLOAT) return sizeof(SQLREAL);
    if (cType == SQL_C_DOUBLE) return sizeof(SQLDOUBLE);
    return 0;
}

Outcome convert(const char* text, size_t len, bool cut, SQLSMALLINT cType, void* out) {
    Outcome quick{};
    if (!cut && quickConvert(text, len, cType, out, quick)) return quick;
    const Scan s = scan(text, len, cut);
    Range r{};
    if (integerRange(cType, r)) return s.kind == Scan::Bad ? kNoNumber : toInteger(s, r, out);
    if (cType == SQL_C_DOUBLE) return toFloating<double>(s, out);
    if (cType == SQL_C_FLOAT) return toFloating<float>(s, out);
    return kNoNumber;
}

}  // namespace ruva::number
