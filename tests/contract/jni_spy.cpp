#include "jni_spy.h"

#include "jvm.h"

#include <gtest/gtest.h>

namespace qvt {
namespace {

JniSpy* g_spy = nullptr;
const JNINativeInterface_* g_real = nullptr;

#define QVT_SPY_ARRAY(Type, jtype, jarr)                                                       \
    jtype* JNICALL spyGet##Type(JNIEnv* env, jarr a, jboolean* isCopy) {                       \
        if (isCopy) *isCopy = JNI_TRUE;                                                        \
        return static_cast<jtype*>(g_spy->recordPin(env, a, [](JNIEnv* e, jarray x) -> void* { \
            return g_real->Get##Type##ArrayElements(e, static_cast<jarr>(x), nullptr);         \
        }));                                                                                   \
    }                                                                                          \
    void JNICALL spyRelease##Type(JNIEnv* env, jarr a, jtype* elems, jint mode) {              \
        g_spy->recordRelease(a, elems, mode);                                                  \
        g_real->Release##Type##ArrayElements(env, a, elems, mode);                             \
    }

QVT_SPY_ARRAY(Byte, jbyte, jbyteArray)
QVT_SPY_ARRAY(Short, jshort, jshortArray)
QVT_SPY_ARRAY(Int, jint, jintArray)
QVT_SPY_ARRAY(Char, jchar, jcharArray)
QVT_SPY_ARRAY(Long, jlong, jlongArray)
QVT_SPY_ARRAY(Double, jdouble, jdoubleArray)
#undef QVT_SPY_ARRAY

jobject JNICALL spyNewGlobalRef(JNIEnv* env, jobject o) {
    jobject g = g_real->NewGlobalRef(env, o);
    g_spy->recordMade(g);
    return g;
}

void JNICALL spyDeleteGlobalRef(JNIEnv* env, jobject g) {
    g_spy->recordDeleted(g);
    g_real->DeleteGlobalRef(env, g);
}

const jchar* JNICALL spyGetStringChars(JNIEnv* env, jstring s, jboolean* isCopy) {
    if (isCopy) *isCopy = JNI_TRUE;
    return g_spy->recordStringPin(env, s);
}

void JNICALL spyReleaseStringChars(JNIEnv* env, jstring s, const jchar* chars) {
    g_spy->recordStringRelease();
    g_real->ReleaseStringChars(env, s, chars);
}

void throwOutOfMemory(JNIEnv* e, const char* message) {
    jclass oom = g_real->FindClass(e, "java/lang/OutOfMemoryError");
    g_real->ThrowNew(e, oom, message);
    g_real->DeleteLocalRef(e, oom);
}

}  // namespace

const JNINativeInterface_* JniSpy::real() {
    return g_real;
}
JniSpy* JniSpy::current() {
    return g_spy;
}

JniSpy::JniSpy() {
    JNIEnv* e = env();
    saved_ = e->functions;
    g_real = saved_;
    table_ = *saved_;
    table_.GetByteArrayElements = spyGetByte;
    table_.GetShortArrayElements = spyGetShort;
    table_.GetIntArrayElements = spyGetInt;
    table_.GetCharArrayElements = spyGetChar;
    table_.GetLongArrayElements = spyGetLong;
    table_.GetDoubleArrayElements = spyGetDouble;
    table_.ReleaseByteArrayElements = spyReleaseByte;
    table_.ReleaseShortArrayElements = spyReleaseShort;
    table_.ReleaseIntArrayElements = spyReleaseInt;
    table_.ReleaseCharArrayElements = spyReleaseChar;
    table_.ReleaseLongArrayElements = spyReleaseLong;
    table_.ReleaseDoubleArrayElements = spyReleaseDouble;
    table_.NewGlobalRef = spyNewGlobalRef;
    table_.DeleteGlobalRef = spyDeleteGlobalRef;
    table_.GetStringChars = spyGetStringChars;
    table_.ReleaseStringChars = spyReleaseStringChars;
    g_spy = this;
    e->functions = &table_;
}

JniSpy::~JniSpy() {
    env()->functions = saved_;
    g_spy = nullptr;
}

void* JniSpy::recordPin(JNIEnv* e, jarray a, void* (*get)(JNIEnv*, jarray)) {
    const int n = static_cast<int>(pins_.size());
    void* p = nullptr;
    if (n == failPin_) {
        throwOutOfMemory(e, "spy: pin refused");
    } else {
        p = get(e, a);
    }
    pins_.push_back(Pin{a, p});
    return p;
}

const jchar* JniSpy::recordStringPin(JNIEnv* e, jstring s) {
    if (failStringChars_) {
        throwOutOfMemory(e, "spy: characters refused");
        return nullptr;
    }
    const jchar* p = g_real->GetStringChars(e, s, nullptr);
    if (p) ++stringPins_;
    return p;
}

void JniSpy::recordDeleted(jobject g) {
    if (onDelete_) onDelete_(g);
    deleted_.push_back(g);
}

}  // namespace qvt
