// Prepare and execute, counts, further results, parameter description and
// the data-at-execution exchange. Each method is one ODBC call.
#include "qvjdbc/codes.h"
#include "qvjdbc/driver.h"
#include "qvjdbc/frame.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/jni_util.h"

#include <cstring>

using qv::drv;
using qv::Frame;

namespace {

// What may reach SQLPutData for a value of `available` units of the pinned
// array: a length within the array, or SQL_NULL_DATA. Anything else would
// let the driver read outside the array, and is refused.
bool putDataLengthFits(jint length, jsize available) {
    return length == SQL_NULL_DATA || (length >= 0 && length <= available);
}

}  // namespace

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_prepare(JNIEnv* env, jobject, jint hStmt, jstring sql, jbyteArray errorCode) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    if (!sql) return f.refuseNull();
    qv::UtfChars text(env, sql);
    if (!text) return;
    f.store(drv.SQLPrepare(qv::hstmt(hStmt), text.sql(), SQL_NTS));
    f.releaseAll();
}

QV_ENTRY(jshort) Java_com_quorvane_jdbc_JdbcOdbcClient_execDirect(JNIEnv* env, jobject, jint hStmt, jstring sql) {
    // A null text is refused as a failed execution (255), without a driver call.
    if (!sql) return static_cast<jshort>(static_cast<uint8_t>(qv::lowByte(SQL_ERROR)));
    qv::UtfChars text(env, sql);
    if (!text) return 0;
    SQLRETURN rc = drv.SQLExecDirect(qv::hstmt(hStmt), text.sql(), SQL_NTS);
    return static_cast<jshort>(static_cast<uint8_t>(qv::lowByte(rc)));
}

QV_ENTRY(jshort) Java_com_quorvane_jdbc_JdbcOdbcClient_execute(JNIEnv*, jobject, jint hStmt) {
    return drv.SQLExecute(qv::hstmt(hStmt));
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_numParams(JNIEnv* env, jobject, jint hStmt, jbyteArray errorCode) {
    SQLSMALLINT count = 0;
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    f.store(drv.SQLNumParams(qv::hstmt(hStmt), &count));
    return count;
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_numResultCols(JNIEnv* env, jobject, jint hStmt, jbyteArray errorCode) {
    SQLSMALLINT count = 0;
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    f.store(drv.SQLNumResultCols(qv::hstmt(hStmt), &count));
    return count;
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_rowCount(JNIEnv* env, jobject, jint hStmt, jbyteArray errorCode) {
    SQLLEN count = 0;
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    f.store(drv.SQLRowCount(qv::hstmt(hStmt), &count));
    return qv::saturateToJint(count);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_moreResults(JNIEnv* env, jobject, jint hStmt, jbyteArray errorCode) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    f.store(drv.SQLMoreResults(qv::hstmt(hStmt)));
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_describeParam(JNIEnv* env, jobject, jint hStmt, jint param, jint which,
                                                    jbyteArray errorCode) {
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT scale = 0;
    SQLSMALLINT nullable = 0;
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    f.store(drv.SQLDescribeParam(qv::hstmt(hStmt), qv::uword(param), &type, &size, &scale, &nullable));
    switch (which) {
        case 1:
            return type;
        // The size is unsigned; it travels in an int, saturated at 32 bits.
        case 2:
            return static_cast<jint>(size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size));
        case 3:
            return scale;
        case 4:
            return nullable;
        default:
            return 0;
    }
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_paramData(JNIEnv* env, jobject, jint hStmt, jbyteArray errorCode) {
    jint result = -1;
    SQLPOINTER token = nullptr;
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    SQLRETURN rc = drv.SQLParamData(qv::hstmt(hStmt), &token);
    // The token is the value buffer bound for data at execution: its first
    // four bytes hold the parameter number.
    if (rc == SQL_NEED_DATA && token) std::memcpy(&result, token, sizeof result);
    f.store(rc);
    return result;
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_putData__I_3BI_3B(JNIEnv* env, jobject, jint hStmt, jbyteArray data,
                                                        jint length, jbyteArray errorCode) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    jbyte* elems = f.bytes(data);
    if (!elems) {
        if (f.nullArgument()) f.refuseNull();
        return;
    }
    if (!putDataLengthFits(length, env->GetArrayLength(data))) return f.refuseNull();
    f.store(drv.SQLPutData(qv::hstmt(hStmt), elems, qv::sdword(length)));
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_putData__I_3CI_3B(JNIEnv* env, jobject, jint hStmt, jcharArray data,
                                                        jint length, jbyteArray errorCode) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    jchar* elems = f.chars(data);
    if (!elems) {
        if (f.nullArgument()) f.refuseNull();
        return;
    }
    if (!putDataLengthFits(length, env->GetArrayLength(data))) return f.refuseNull();
    // UTF-16 units as they are in memory, two bytes each; a null stays a null.
    const SQLLEN bytes = length == SQL_NULL_DATA ? SQL_NULL_DATA : 2 * static_cast<SQLLEN>(length);
    f.store(drv.SQLPutData(qv::hstmt(hStmt), elems, bytes));
}
