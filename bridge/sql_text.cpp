// SQL text from Java strings as standard UTF-8.
#include "qvjdbc/frame.h"
#include "qvjdbc/idcache.h"
#include "qvjdbc/text.h"

#include <cstdlib>

namespace qv {

UtfChars::UtfChars(JNIEnv* env, jstring s) {
    if (!s) return;
    const jsize n = env->GetStringLength(s);
    // At most three bytes per UTF-16 unit, and the terminator.
    const size_t size = utf8Capacity(static_cast<size_t>(n));
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
    utf16ToUtf8(units, static_cast<size_t>(n), out);
    env->ReleaseStringChars(s, units);
    p_ = out;
}

void UtfChars::release() {
    std::free(heap_);
    heap_ = nullptr;
    p_ = nullptr;
}

}  // namespace qv
