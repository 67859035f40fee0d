// SQL text from Java strings as standard UTF-8.
#include "qvjdbc/frame.h"
#include "qvjdbc/idcache.h"

#include <cstdlib>

namespace qv {

UtfChars::UtfChars(JNIEnv* env, jstring s) {
    if (!s) return;
    const jsize n = env->GetStringLength(s);
    // At most three bytes per UTF-16 unit, and the terminator.
    const size_t size = 3 * static_cast<size_t>(n) + 1;
    if (static_cast<size_t>(n) > (SIZE_MAX - 1) / 3) {
        throwOutOfMemory(env);
        return;
    }
    char* out = small_;
    if (size > sizeof small_) {
        heap_ = static_cast<char*>(std::malloc(size));
        if (!heap_) {
            throwOutOfMemory(env);
            return;
        }
        out = heap_;
    }
    const jchar* units = env->GetStringChars(s, nullptr);
    if (!units) {
        release();
        return;
    }
    char* q = out;
    for (jsize i = 0; i < n; ++i) {
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
    env->ReleaseStringChars(s, units);
    p_ = out;
}

void UtfChars::release() {
    std::free(heap_);
    heap_ = nullptr;
    p_ = nullptr;
}

}  // namespace qv
