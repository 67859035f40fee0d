// Small JNI helpers shared by the entry points.
#pragma once

#include <jni.h>

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
