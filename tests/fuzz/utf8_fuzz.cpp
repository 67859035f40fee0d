// The SQL text conversion to UTF-8: the output decodes back to exactly the
// input units (C0 80 as U+0000, a four-byte sequence as its surrogate pair,
// three-byte surrogates as themselves), holds no zero byte before its
// terminator, uses four bytes only for a pair, and stays within its
// capacity (an exact heap block).
#include "qvjdbc/text.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t n = size / 2;
    std::vector<jchar> units(n);
    for (size_t i = 0; i < n; ++i) units[i] = static_cast<jchar>(data[2 * i] | (data[2 * i + 1] << 8));
    const size_t capacity = qv::utf8Capacity(n);
    auto* out = static_cast<unsigned char*>(std::malloc(capacity));
    const size_t length = qv::utf16ToUtf8(units.data(), n, reinterpret_cast<char*>(out));
    if (length >= capacity || out[length] != 0 || std::memchr(out, 0, length)) std::abort();
    std::vector<jchar> back;
    for (size_t i = 0; i < length;) {
        const unsigned char b = out[i];
        if (b < 0x80) {
            back.push_back(b);
            i += 1;
        } else if ((b & 0xE0) == 0xC0 && i + 1 < length && (out[i + 1] & 0xC0) == 0x80) {
            const jchar c = static_cast<jchar>(((b & 0x1F) << 6) | (out[i + 1] & 0x3F));
            if (c >= 0x80 ? false : c != 0) std::abort();  // only U+0000 may be written short
            back.push_back(c);
            i += 2;
        } else if ((b & 0xF0) == 0xE0 && i + 2 < length && (out[i + 1] & 0xC0) == 0x80 &&
                   (out[i + 2] & 0xC0) == 0x80) {
            const jchar c = static_cast<jchar>(((b & 0x0F) << 12) | ((out[i + 1] & 0x3F) << 6) | (out[i + 2] & 0x3F));
            if (c < 0x800) std::abort();
            back.push_back(c);
            i += 3;
        } else if ((b & 0xF8) == 0xF0 && i + 3 < length) {
            const uint32_t c = ((b & 0x07u) << 18) | ((out[i + 1] & 0x3Fu) << 12) | ((out[i + 2] & 0x3Fu) << 6) |
                               (out[i + 3] & 0x3Fu);
            if (c < 0x10000 || c > 0x10FFFF) std::abort();
            back.push_back(static_cast<jchar>(0xD800 + ((c - 0x10000) >> 10)));
            back.push_back(static_cast<jchar>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            i += 4;
        } else {
            std::abort();
        }
    }
    if (back != units) std::abort();
    // A pair written as two three-byte surrogates would decode back too:
    // the four-byte form must be used for every pair.
    size_t pairs = 0, four = 0;
    for (size_t i = 0; i < n; ++i)
        if (units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
            ++pairs, ++i;
    for (size_t i = 0; i < length; ++i)
        if ((out[i] & 0xF8) == 0xF0) ++four;
    if (pairs != four) std::abort();
    std::free(out);
    return 0;
}
