// Small JNI helpers shared by the entry points.
#pragma once

#include <jni.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace qv {

// The length of a Java array, 0 for a null array (GetArrayLength must not see
// null).
inline jsize lengthOf(JNIEnv* env, jarray a) {
    return a ? env->GetArrayLength(a) : 0;
}

}  // namespace qv

namespace qv {

// True when the pinned text holds its terminating zero byte within the
// array, so a driver reading it with SQL_NTS stays inside the array.
inline bool terminatedText(JNIEnv* env, jbyteArray a, const jbyte* p) {
    const jsize n = env->GetArrayLength(a);
    for (jsize i = 0; i < n; ++i)
        if (p[i] == 0) return true;
    return false;
}

}  // namespace qv

namespace qv {

// Makes sure text a driver wrote into an output array of n bytes is
// terminated within it: a driver that fills the whole array without a zero
// byte (the SQLite driver does so when it cuts a value) would leave the Java
// side reading past the text. A correct driver's text is left as it is.
inline void terminateWithin(jbyte* p, jsize n) {
    if (!p || n <= 0) return;
    for (jsize i = 0; i < n; ++i)
        if (p[i] == 0) return;
    p[n - 1] = 0;
}

}  // namespace qv

namespace qv {

// The native area an output array's bytes are written into by the driver,
// instead of the Java array itself. It starts as a copy of the pinned
// elements, so that bytes the driver leaves alone reach Java unchanged; it
// has room beyond the length offered to the driver, because some drivers
// write a fixed-size value (a number, a handle) whatever the length says;
// and it is never the JVM's address of an empty array, before which a
// driver manager may write. finish() copies the offered bytes back into the
// pinned elements, terminating text within them only when the driver wrote
// text (the call succeeded).
class OutArea {
public:
    // Bytes beyond the offered length: the widest fixed-size value a driver
    // writes for an information type or option.
    static constexpr std::size_t kSlack = 64;

    OutArea(jbyte* pinned, std::size_t offered) : pinned_(pinned), offered_(offered) {
        const std::size_t size = offered + kSlack;
        area_ = size <= sizeof small_ ? small_ : static_cast<char*>(std::calloc(size, 1));
        if (area_ == small_) std::memset(small_, 0, size);
        if (area_ && pinned_ && offered_ > 0) std::memcpy(area_, pinned_, offered_);
    }
    OutArea(const OutArea&) = delete;
    OutArea& operator=(const OutArea&) = delete;
    ~OutArea() {
        if (area_ != small_) std::free(area_);
    }

    // Null when the area could not be had (a large nativeSql output).
    char* get() const { return area_; }

    void finish(bool wroteText) {
        if (!area_ || !pinned_ || offered_ == 0) return;
        if (wroteText) terminateWithin(reinterpret_cast<jbyte*>(area_), static_cast<jsize>(offered_));
        std::memcpy(pinned_, area_, offered_);
    }

private:
    jbyte* pinned_;
    std::size_t offered_;
    char* area_ = nullptr;
    char small_[4096 + kSlack];
};

}  // namespace qv
