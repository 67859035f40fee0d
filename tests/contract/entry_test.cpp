// The entry points without driver work: byte order, product version and the
// performance-timer hooks.
#include "jvm.h"

#include "qvjdbc/jni_exports.h"

#include <gtest/gtest.h>

namespace {

TEST(LibraryEntry, ReportsLittleEndianAsTheValueOne) {
    EXPECT_EQ(Java_com_quorvane_jdbc_JdbcOdbcClient_isLittleEndianPlatform(qvt::env(), nullptr), 1);
}

TEST(LibraryEntry, VersionIsANewEqualStringOnEveryCall) {
    qvt::LocalFrame frame;
    JNIEnv* env = qvt::env();
    jstring a = Java_com_quorvane_jdbc_JdbcOdbcClient_getFullZirUrorVersion(env, nullptr);
    jstring b = Java_com_quorvane_jdbc_JdbcOdbcClient_getFullZirUrorVersion(env, nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(qvt::read(a), u"7.0.2.0.0");
    EXPECT_EQ(qvt::read(b), u"7.0.2.0.0");
    EXPECT_FALSE(env->IsSameObject(a, b)) << "each call makes its own string object";
    EXPECT_NO_JAVA_EXCEPTION();
}

TEST(LibraryEntry, PerfHooksDoNothingAndTheCurrentTimerReadsZero) {
    JNIEnv* env = qvt::env();
    Java_com_quorvane_jdbc_Perf_timerClear(env, nullptr);
    Java_com_quorvane_jdbc_Perf_timerStart(env, nullptr, 7);
    Java_com_quorvane_jdbc_Perf_timerRef(env, nullptr, 7, INT64_MIN);
    Java_com_quorvane_jdbc_Perf_timerEnd(env, nullptr, 7);
    EXPECT_EQ(Java_com_quorvane_jdbc_Perf_timerCurrent(env, nullptr), 0);
    Java_com_quorvane_jdbc_Perf_timerSummary(env, nullptr);
    EXPECT_EQ(Java_com_quorvane_jdbc_Perf_timerCurrent(env, nullptr), 0);
    EXPECT_NO_JAVA_EXCEPTION();
}

}  // namespace
