// The generated JNI declarations of the three Java classes, so that every
// entry point's definition is checked against its Java declaration.
#pragma once

#include <jni.h>

#include "com_quorvane_jdbc_JdbcOdbcClient.h"
#include "com_quorvane_jdbc_Perf.h"
#include "com_quorvane_jdbc_xa_XAJdbcOdbcClient.h"

// Definitions of entry points: exported, C linkage, JNI calling convention.
#define QV_ENTRY(ret) extern "C" JNIEXPORT ret JNICALL
