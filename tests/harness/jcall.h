// Calls of the JNI entry points from the tests: JC(name, args...) calls
// Java_com_quorvane_jdbc_JdbcOdbcClient_<name>(env, null receiver, args...),
// XAC(...) the XAJdbcOdbcClient one, PERF(...) the Perf one.
#pragma once

#include "jvm.h"
#include "qvjdbc/codes.h"
#include "qvjdbc/jni_exports.h"

#define JC(name, ...) Java_com_quorvane_jdbc_JdbcOdbcClient_##name(::qvt::env(), nullptr, ##__VA_ARGS__)
#define XAC(name, ...) Java_com_quorvane_jdbc_xa_XAJdbcOdbcClient_##name(::qvt::env(), nullptr, ##__VA_ARGS__)
#define PERF(name, ...) Java_com_quorvane_jdbc_Perf_##name(::qvt::env(), nullptr, ##__VA_ARGS__)
