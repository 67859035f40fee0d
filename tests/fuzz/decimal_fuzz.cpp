// The decimal text parser of getBigDecimal against java.math.BigDecimal, in
// an embedded JVM: every text it accepts gives Java's value with the
// fraction's trailing zeros dropped, and it refuses exactly the texts Java
// refuses, those with an exponent, and magnitudes beyond 31 bytes.
#include "decimal_text.h"

#include <jni.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

JNIEnv* env = nullptr;
jclass oracle = nullptr;
jmethodID check = nullptr;

bool cSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string classPath = std::string("-Djava.class.path=") + QVF_ORACLE_CLASSES;
    JavaVMOption options[] = {{const_cast<char*>(classPath.c_str()), nullptr}, {const_cast<char*>("-Xrs"), nullptr}};
    JavaVMInitArgs args{JNI_VERSION_1_8, 2, options, JNI_FALSE};
    JavaVM* vm = nullptr;
    if (JNI_CreateJavaVM(&vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) std::abort();
    oracle = env->FindClass("DecimalOracle");
    if (!oracle) std::abort();
    check = env->GetStaticMethodID(oracle, "check", "(Ljava/lang/String;ZZ[BI)Ljava/lang/String;");
    if (!check) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    // The text at an exact heap block, so that a read past it is reported.
    auto* text = static_cast<unsigned char*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(text, data, size);
    qv::results::Decimal d;
    const bool accepted = qv::results::parseDecimal(text, static_cast<SQLLEN>(size), d);
    if (accepted && (d.magnitude.validbytes < 0 || d.magnitude.validbytes >= 32 || d.scale < 0)) std::abort();

    size_t from = 0, to = size;
    while (from < to && cSpace(text[from])) ++from;
    while (to > from && cSpace(text[to - 1])) --to;
    env->PushLocalFrame(16);
    jchar units[4096];
    for (size_t i = from; i < to; ++i) units[i - from] = text[i];
    jstring trimmed = env->NewString(units, static_cast<jsize>(to - from));
    jbyte bigEndian[32];
    const int n = accepted ? d.magnitude.validbytes : 0;
    for (int i = 0; i < n; ++i) bigEndian[i] = static_cast<jbyte>(d.magnitude.bytes[n - 1 - i]);
    jbyteArray magnitude = env->NewByteArray(n);
    env->SetByteArrayRegion(magnitude, 0, n, bigEndian);
    auto verdict = static_cast<jstring>(
        env->CallStaticObjectMethod(oracle, check, trimmed, accepted ? JNI_TRUE : JNI_FALSE,
                                    d.negative ? JNI_TRUE : JNI_FALSE, magnitude, static_cast<jint>(d.scale)));
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        std::abort();
    }
    if (verdict) {
        const char* why = env->GetStringUTFChars(verdict, nullptr);
        std::fprintf(stderr, "decimal text of %zu bytes: %s\n", size, why);
        std::abort();
    }
    env->PopLocalFrame(nullptr);
    std::free(text);
    return 0;
}
