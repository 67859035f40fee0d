// The decimal text of a bound column, parsed into sign, magnitude and
// scale without a Java call: the part of getBigDecimal that the fuzz target
// checks against java.math.BigDecimal.
#pragma once

#include <sql.h>

namespace qv::results {

// The character classes of the decimal text, as the C locale has them
// (whatever locale the JVM set for the process).
inline bool isSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
inline bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// An unsigned little-endian base-256 magnitude of at most 31 bytes: its
// invariant is "validbytes < 32".
struct Magnitude {
    static constexpr int kBytes = 32;
    unsigned char bytes[kBytes] = {};
    int validbytes = 0;

    // magnitude := magnitude * 10 + digit (the first digit starts it, even
    // a 0). False when the value would need a 32nd byte.
    bool push(unsigned digit) {
        if (validbytes == 0) {
            bytes[0] = static_cast<unsigned char>(digit);
            validbytes = 1;
            return true;
        }
        unsigned carry = digit;
        for (int i = 0; i < validbytes; ++i) {
            const unsigned v = bytes[i] * 10u + carry;
            bytes[i] = static_cast<unsigned char>(v & 0xFF);
            carry = v >> 8;
        }
        if (carry == 0) return true;
        if (validbytes + 1 >= kBytes) return false;
        bytes[validbytes++] = static_cast<unsigned char>(carry);
        return true;
    }
};

// The parsed decimal text: sign, magnitude and scale.
struct Decimal {
    bool negative = false;
    Magnitude magnitude;
    int scale = 0;
};

// Parses the text by the accepted grammar: leading whitespace, an optional
// sign, digits with at most one point, trailing whitespace. Trailing zeros of
// the fraction are dropped; zeros of the integer part stay.
inline bool parseDecimal(const unsigned char* p, SQLLEN length, Decimal& d) {
    SQLLEN i = 0;
    while (i < length && isSpace(p[i])) ++i;
    const SQLLEN start = i;
    SQLLEN fraction = 0;  // 0 while no point was seen, then 1 + fraction digits
    SQLLEN zeros = 0;     // trailing zeros of the fraction
    for (; i < length && !isSpace(p[i]); ++i) {
        const unsigned char c = p[i];
        if (c == '.') {
            if (fraction) return false;
            fraction = 1;
        } else if (c == '-' || c == '+') {
            if (i != start) return false;
            d.negative = c == '-';
        } else if (isDigit(c)) {
            if (fraction) {
                ++fraction;
                zeros = c == '0' ? zeros + 1 : 0;
            }
        } else {
            return false;
        }
    }
    if (i == start) return false;
    for (SQLLEN k = i; k < length; ++k)
        if (!isSpace(p[k])) return false;
    const SQLLEN end = i - zeros;
    fraction -= zeros;
    for (SQLLEN k = start; k < end; ++k)
        if (isDigit(p[k]) && !d.magnitude.push(static_cast<unsigned>(p[k] - '0'))) return false;
    if (d.magnitude.validbytes == 0 && zeros == 0) return false;
    d.scale = fraction ? static_cast<int>(fraction - 1) : 0;
    return true;
}

}  // namespace qv::results
