// The byte logic of the library's text conversions, free of JNI so that the
// fuzz targets can run it alone: UTF-16 units narrowed to 8-bit text, and
// UTF-16 units turned into the UTF-8 of SQL text.
#pragma once

#include "qvjdbc/codes.h"

#include <cstddef>
#include <cstdint>

namespace qv {

// n UTF-16 units into destSize bytes of zero-terminated 8-bit text. Returns
// kStatusUnusable when n units and the terminator do not fit (nothing is
// written), kStatusAbove255 at the first unit above 255 (the bytes before it
// are written), else kStatusOk.
inline jbyte narrowTo8Bit(const jchar* units, jsize n, char* dest, int destSize) {
    if (n < 0 || static_cast<long long>(n) + 1 > destSize) return kStatusUnusable;
    for (jsize i = 0; i < n; ++i) {
        if (units[i] > 255) return kStatusAbove255;
        dest[i] = static_cast<char>(units[i]);
    }
    dest[n] = '\0';
    return kStatusOk;
}

// The most bytes utf16ToUtf8 writes for n units, terminator included.
inline std::size_t utf8Capacity(std::size_t n) {
    return 3 * n + 1;
}

// n UTF-16 units as zero-terminated UTF-8 at out (utf8Capacity(n) bytes): a
// surrogate pair becomes its one four-byte sequence; U+0000 stays the two
// bytes C0 80, so that the text still ends at its terminator; a lone
// surrogate keeps its three bytes, as the JVM encodes them. Returns the
// number of bytes before the terminator.
inline std::size_t utf16ToUtf8(const jchar* units, std::size_t n, char* out) {
    char* q = out;
    for (std::size_t i = 0; i < n; ++i) {
        uint32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
            *q++ = static_cast<char>(0xF0 | (c >> 18));
            *q++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *q++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *q++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c != 0 && c < 0x80) {
            *q++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *q++ = static_cast<char>(0xC0 | (c >> 6));
            *q++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *q++ = static_cast<char>(0xE0 | (c >> 12));
            *q++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *q++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    *q = '\0';
    return static_cast<std::size_t>(q - out);
}

}  // namespace qv
