// The Java ID cache (initIDs), the library's two exceptions, and the shared
// conversion of a Java String to 8-bit text.
#include "qvjdbc/idcache.h"
#include "qvjdbc/text.h"

#include "qvjdbc/codes.h"
#include "qvjdbc/jni_exports.h"

namespace qv {

IdCache ids{};

namespace {

// Stores a new global reference into a cache entry before deleting the one
// it replaces, so a repeated initIDs leaks nothing. Returns false when the
// reference was not made (the entry then holds null).
template <typename T>
bool storeGlobal(JNIEnv* env, T& entry, jobject local) {
    T old = entry;
    entry = static_cast<T>(env->NewGlobalRef(local));
    if (old) env->DeleteGlobalRef(old);
    return entry != nullptr;
}

// FindClass and its global reference into a class entry. A failed lookup
// leaves the JVM's exception pending; a failed global reference raises
// OutOfMemoryError with the cached class.
bool cacheClass(JNIEnv* env, jclass& entry, const char* name) {
    jclass local = env->FindClass(name);
    if (!local) return false;
    if (!storeGlobal(env, entry, local)) {
        throwOutOfMemory(env);
        return false;
    }
    return true;
}

// The driver's own classes are held weakly: a global reference would keep
// their class loader, and so the driver, from ever being collected (a
// container's redeployed application). The classes live as long as their
// loader, which outlives every call into this copy of the library.
bool cacheOwnClass(JNIEnv* env, jclass& entry, const char* name) {
    jclass local = env->FindClass(name);
    if (!local) return false;
    jclass old = entry;
    entry = static_cast<jclass>(env->NewWeakGlobalRef(local));
    if (old) env->DeleteWeakGlobalRef(old);
    env->DeleteLocalRef(local);
    if (!entry) {
        throwOutOfMemory(env);
        return false;
    }
    return true;
}

bool cacheString(JNIEnv* env, jstring& entry, const char* text) {
    jstring local = env->NewStringUTF(text);
    if (!local) return false;
    if (!storeGlobal(env, entry, local)) {
        throwOutOfMemory(env);
        return false;
    }
    return true;
}

bool cacheMethod(JNIEnv* env, jmethodID& entry, jclass cls, const char* name, const char* sig) {
    entry = env->GetMethodID(cls, name, sig);
    return entry != nullptr;
}

bool cacheField(JNIEnv* env, jfieldID& entry, jclass cls, const char* name, const char* sig) {
    entry = env->GetFieldID(cls, name, sig);
    return entry != nullptr;
}

}  // namespace

void throwOutOfMemory(JNIEnv* env) {
    if (ids.outOfMemoryError) {
        env->ThrowNew(ids.outOfMemoryError, kOutOfMemoryMessage);
        return;
    }
    // Before initIDs (or after it failed at its first step) the class is
    // looked up here, so the failure still reaches Java.
    jclass oom = env->FindClass("java/lang/OutOfMemoryError");
    if (oom) env->ThrowNew(oom, kOutOfMemoryMessage);
}

void throwAssignmentError(JNIEnv* env) {
    jobject e = env->NewObject(ids.sqlException, ids.sqlExceptionInit, ids.assignmentReason, ids.assignmentSqlState);
    if (e) env->Throw(static_cast<jthrowable>(e));
}

int copyStringTo8Bit(JNIEnv* env, char* dest, int destSize, jstring s) {
    if (!s) return kStatusUnusable;
    const jsize n = env->GetStringLength(s);
    if (static_cast<long long>(n) + 1 > destSize) return kStatusUnusable;
    const jchar* chars = env->GetStringChars(s, nullptr);
    if (!chars) return kStatusNoMemory;
    const jbyte status = narrowTo8Bit(chars, n, dest, destSize);
    env->ReleaseStringChars(s, chars);
    return status;
}

}  // namespace qv

using qv::ids;

QV_ENTRY(void) Java_com_quorvane_jdbc_JdbcOdbcClient_initIDs(JNIEnv* env, jobject) {
    jclass oom = env->FindClass("java/lang/OutOfMemoryError");
    if (!oom) return;
    if (!qv::storeGlobal(env, ids.outOfMemoryError, oom)) {
        env->ThrowNew(oom, qv::kOutOfMemoryMessage);
        return;
    }
    if (!qv::cacheClass(env, ids.sqlException, "java/sql/SQLException")) return;
    if (!qv::cacheMethod(env, ids.sqlExceptionInit, ids.sqlException, "<init>",
                         "(Ljava/lang/String;Ljava/lang/String;)V"))
        return;
    if (!qv::cacheString(env, ids.assignmentReason, "Error in assignment")) return;
    if (!qv::cacheString(env, ids.assignmentSqlState, "22005")) return;
    if (!qv::cacheClass(env, ids.bigInteger, "java/math/BigInteger")) return;
    if (!qv::cacheMethod(env, ids.bigIntegerInit, ids.bigInteger, "<init>", "(I[B)V")) return;
    if (!qv::cacheClass(env, ids.bigDecimal, "java/math/BigDecimal")) return;
    if (!qv::cacheMethod(env, ids.bigDecimalInit, ids.bigDecimal, "<init>", "(Ljava/math/BigInteger;I)V")) return;
    if (!qv::cacheClass(env, ids.timestamp, "java/sql/Timestamp")) return;
    if (!qv::cacheMethod(env, ids.timestampInit, ids.timestamp, "<init>", "(J)V")) return;
    if (!qv::cacheMethod(env, ids.timestampSetNanos, ids.timestamp, "setNanos", "(I)V")) return;
    if (!qv::cacheOwnClass(env, ids.retVal, "com/quorvane/jdbc/RetVal")) return;
    if (!qv::cacheField(env, ids.retValObj, ids.retVal, "obj", "Ljava/lang/Object;")) return;
    if (!qv::cacheField(env, ids.retValErr0, ids.retVal, "err0", "B")) return;
    if (!qv::cacheField(env, ids.retValErr1, ids.retVal, "err1", "B")) return;
    if (!qv::cacheOwnClass(env, ids.boundCol, "com/quorvane/jdbc/JdbcOdbcBoundCol")) return;
    if (!qv::cacheField(env, ids.hasCachedValue, ids.boundCol, "hasCachedValue", "Z")) return;
    if (!qv::cacheField(env, ids.cachedNull, ids.boundCol, "cachedNull", "Z")) return;
    if (!qv::cacheField(env, ids.cachedInt, ids.boundCol, "cachedInt", "I")) return;
    if (!qv::cacheField(env, ids.cachedShort, ids.boundCol, "cachedShort", "S")) return;
    if (!qv::cacheField(env, ids.cachedLong, ids.boundCol, "cachedLong", "J")) return;
    if (!qv::cacheField(env, ids.cachedReal, ids.boundCol, "cachedReal", "F")) return;
    qv::cacheField(env, ids.cachedDouble, ids.boundCol, "cachedDouble", "D");
}
