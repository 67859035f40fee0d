// The conversion of a byte stream's bytes in place: hexadecimal text, wide
// characters, or 16-bit units swapped. Pure byte logic, shared by the stream
// getters and the fuzz target.
#include "qvjdbc/results.h"

#include <utility>

namespace qv::results {

int streamFactor(jint streamType) {
    switch (streamType) {
        case 21:
            return 2;
        case 22:
        case 25:
            return 4;
        case 23:
        case 26:
            return 2;
        default:
            return 1;
    }
}

void renderStreamBytes(unsigned char* p, jint n, jint streamType) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    if (n <= 0) return;
    switch (streamType) {
        case 21:
            // Backwards: the output of byte i starts at 2i, never before i.
            for (jint i = n - 1; i >= 0; --i) {
                const unsigned char b = p[i];
                p[2 * i] = kHex[b >> 4];
                p[2 * i + 1] = kHex[b & 0x0F];
            }
            break;
        case 22:
        case 25:
            for (jint i = n - 1; i >= 0; --i) {
                const unsigned char b = p[i];
                p[4 * i] = 0;
                p[4 * i + 1] = kHex[b >> 4];
                p[4 * i + 2] = 0;
                p[4 * i + 3] = kHex[b & 0x0F];
            }
            break;
        case 23:
        case 26:
            for (jint i = n - 1; i >= 0; --i) {
                p[2 * i + 1] = p[i];
                p[2 * i] = 0;
            }
            break;
        case 24:
        case 27:
            // Whole 16-bit units only: an odd last byte stays as it is.
            for (jint i = 0; i + 1 < n; i += 2) std::swap(p[i], p[i + 1]);
            break;
        default:
            break;
    }
}

}  // namespace qv::results
