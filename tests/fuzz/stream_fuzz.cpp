// The stream rendering: each stream type's output, byte for byte, from the
// input, written within n times the type's factor bytes and nowhere else.
#include "qvjdbc/results.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static constexpr char kHex[] = "0123456789ABCDEF";
    const jint type = 19 + data[0] % 11;  // 19..29: the stream types and some that are none
    const unsigned char* in = data + 1;
    const jint n = static_cast<jint>(size - 1);
    const int factor = qv::results::streamFactor(type);
    // The area the getters hand over: exactly n * factor bytes.
    const size_t bytes = static_cast<size_t>(n) * static_cast<size_t>(factor);
    auto* p = static_cast<unsigned char*>(std::malloc(bytes ? bytes : 1));
    std::memset(p, 0xA5, bytes);
    if (n) std::memcpy(p, in, static_cast<size_t>(n));
    qv::results::renderStreamBytes(p, n, type);
    std::vector<unsigned char> want(bytes, 0xA5);
    if (n) std::memcpy(want.data(), in, static_cast<size_t>(n));
    for (jint i = 0; i < n; ++i) {
        const unsigned char b = in[i];
        switch (type) {
            case 21:
                want[2 * i] = kHex[b >> 4];
                want[2 * i + 1] = kHex[b & 15];
                break;
            case 22:
            case 25:
                want[4 * i] = 0;
                want[4 * i + 1] = kHex[b >> 4];
                want[4 * i + 2] = 0;
                want[4 * i + 3] = kHex[b & 15];
                break;
            case 23:
            case 26:
                want[2 * i] = 0;
                want[2 * i + 1] = b;
                break;
            case 24:
            case 27:
                want[i] = (i % 2 == 0) ? (i + 1 < n ? in[i + 1] : b) : in[i - 1];
                break;
            default:
                break;
        }
    }
    if (bytes > 0 && std::memcmp(p, want.data(), bytes) != 0) std::abort();
    std::free(p);
    return 0;
}
