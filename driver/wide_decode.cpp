// UTF-8 to UTF-16 for the text read as UTF-8 (wide_text.h); no driver calls,
// so the tests link it on its own.
#include "wide_text.h"

#include <algorithm>

namespace ruva {
namespace widetext {

size_t decode(const unsigned char* p, size_t n, std::u16string& out, bool& bad) {
    bad = false;
    size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            // A run of ASCII, the common case, without the general steps.
            size_t j = i + 1;
            while (j < n && p[j] < 0x80) ++j;
            out.append(p + i, p + j);
            i = j;
            continue;
        }
        size_t len = 0;
        char32_t c = 0;
        char32_t least = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
            c = b & 0x1F;
            least = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            c = b & 0x0F;
            least = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            c = b & 0x07;
            least = 0x10000;
        } else {
            bad = true;  // a continuation byte alone, C0/C1, F5..FF
            return i;
        }
        // The bytes at hand must continue the sequence even when it is cut.
        const size_t have = std::min(len, n - i);
        for (size_t k = 1; k < have; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) {
                bad = true;
                return i;
            }
            c = (c << 6) | (p[i + k] & 0x3F);
        }
        if (have < len) {
            // Overlong and out-of-range forms show in the first two bytes.
            if (have >= 2 && ((b == 0xE0 && p[i + 1] < 0xA0) || (b == 0xED && p[i + 1] > 0x9F) ||
                              (b == 0xF0 && p[i + 1] < 0x90) || (b == 0xF4 && p[i + 1] > 0x8F)))
                bad = true;
            return i;
        }
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            bad = true;
            return i;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += len;
    }
    return i;
}

}  // namespace widetext

}  // namespace ruva
