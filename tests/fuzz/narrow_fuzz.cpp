// The byte logic of copyStringTo8Bit: text that fits and has no unit above
// 255 arrives whole and terminated; otherwise the right refusal, and never a
// byte written outside the destination (an exact heap block).
#include "qvjdbc/text.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int destSize = data[0] % 64;  // often too small, sometimes exact
    const jsize n = static_cast<jsize>((size - 1) / 2);
    auto* units = static_cast<jchar*>(std::malloc(static_cast<size_t>(n) * 2 + 1));
    for (jsize i = 0; i < n; ++i) units[i] = static_cast<jchar>(data[1 + 2 * i] | (data[2 + 2 * i] << 8));
    auto* dest = static_cast<char*>(std::malloc(destSize ? static_cast<size_t>(destSize) : 1));
    std::memset(dest, 0x5A, static_cast<size_t>(destSize));
    const jbyte status = qv::narrowTo8Bit(units, n, dest, destSize);
    jsize above = -1;
    for (jsize i = 0; i < n && above < 0; ++i)
        if (units[i] > 255) above = i;
    if (n + 1 > destSize) {
        if (status != qv::kStatusUnusable) std::abort();
        for (int i = 0; i < destSize; ++i)
            if (dest[i] != 0x5A) std::abort();
    } else if (above >= 0) {
        if (status != qv::kStatusAbove255) std::abort();
        for (jsize i = 0; i < above; ++i)
            if (static_cast<unsigned char>(dest[i]) != units[i]) std::abort();
    } else {
        if (status != qv::kStatusOk || dest[n] != 0) std::abort();
        for (jsize i = 0; i < n; ++i)
            if (static_cast<unsigned char>(dest[i]) != units[i]) std::abort();
    }
    std::free(dest);
    std::free(units);
    return 0;
}
