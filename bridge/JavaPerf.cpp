// The performance-timer hooks of Perf: they do nothing.
#include "qvjdbc/jni_exports.h"

QV_ENTRY(void) Java_com_quorvane_jdbc_Perf_timerStart(JNIEnv*, jclass, jint) {}
QV_ENTRY(void) Java_com_quorvane_jdbc_Perf_timerEnd(JNIEnv*, jclass, jint) {}
QV_ENTRY(void) Java_com_quorvane_jdbc_Perf_timerSummary(JNIEnv*, jclass) {}
QV_ENTRY(void) Java_com_quorvane_jdbc_Perf_timerClear(JNIEnv*, jclass) {}
QV_ENTRY(jlong) Java_com_quorvane_jdbc_Perf_timerCurrent(JNIEnv*, jclass) {
    return 0;
}
QV_ENTRY(void) Java_com_quorvane_jdbc_Perf_timerRef(JNIEnv*, jclass, jint, jlong) {}
