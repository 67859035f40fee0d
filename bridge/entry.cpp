// Entry points without ODBC work: platform byte order and the product version.
#include "qvjdbc/jni_exports.h"

namespace {
constexpr const char kProductVersion[] = "7.0.2.0.0";
}

QV_ENTRY(jboolean) Java_com_quorvane_jdbc_JdbcOdbcClient_isLittleEndianPlatform(JNIEnv*, jobject) {
    return JNI_TRUE;
}

QV_ENTRY(jstring) Java_com_quorvane_jdbc_JdbcOdbcClient_getFullZirUrorVersion(JNIEnv* env, jobject) {
    return env->NewStringUTF(kProductVersion);
}
