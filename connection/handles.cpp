// Handles and the connection: allocation and release of environment,
// connection and statement handles, connecting, transactions and cancel.
// Each method is one ODBC call in the common frame.
#include "qvjdbc/codes.h"
#include "qvjdbc/driver.h"
#include "qvjdbc/frame.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/jni_util.h"
#include "qvjdbc/params.h"

using qv::drv;
using qv::Frame;

namespace {

// The completed connection string of driverConnect stays in the call.
constexpr SQLSMALLINT kCompletedConnStrSize = 1024;

}  // namespace

QV_ENTRY(jint) Java_com_quorvane_jdbc_JdbcOdbcClient_allocEnv(JNIEnv* env, jobject, jbyteArray errorCode) {
    SQLHENV h = SQL_NULL_HENV;
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    f.store(drv.SQLAllocEnv(&h));
    return qv::handleToJava(h);
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_allocConnect(JNIEnv* env, jobject, jint hEnv, jbyteArray errorCode) {
    SQLHDBC h = SQL_NULL_HDBC;
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    f.store(drv.SQLAllocConnect(qv::henv(hEnv), &h));
    return qv::handleToJava(h);
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_allocStmt(JNIEnv* env, jobject, jint hDbc, jbyteArray errorCode) {
    SQLHSTMT h = SQL_NULL_HSTMT;
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    SQLRETURN rc = drv.SQLAllocStmt(qv::hdbc(hDbc), &h);
    // On success errorCode[0] keeps what the caller put there.
    if (rc != SQL_SUCCESS) f.store(rc);
    return qv::handleToJava(h);
}

QV_ENTRY(void) Java_com_quorvane_jdbc_JdbcOdbcClient_freeEnv(JNIEnv* env, jobject, jint hEnv, jbyteArray errorCode) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    f.store(drv.SQLFreeEnv(qv::henv(hEnv)));
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_freeConnect(JNIEnv* env, jobject, jint hDbc, jbyteArray errorCode) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    f.store(drv.SQLFreeConnect(qv::hdbc(hDbc)));
}

QV_ENTRY(jshort) Java_com_quorvane_jdbc_JdbcOdbcClient_freeStmt(JNIEnv*, jobject, jint hStmt, jint option) {
    const SQLRETURN rc = drv.SQLFreeStmt(qv::hstmt(hStmt), qv::uword(option));
    if (SQL_SUCCEEDED(rc) && (qv::uword(option) == SQL_DROP || qv::uword(option) == SQL_RESET_PARAMS))
        qv::params::forgetStatementBindings(hStmt);
    return rc;
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_driverConnect(JNIEnv* env, jobject, jint hDbc, jbyteArray connStr,
                                                    jbyteArray errorCode) {
    SQLSMALLINT completedLength = 0;
    SQLCHAR completed[kCompletedConnStrSize];
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    jbyte* in = f.bytes(connStr);
    if (!in || !qv::terminatedText(env, connStr, in)) {
        if (in || f.nullArgument()) f.refuseNull();
        return;
    }
    f.store(drv.SQLDriverConnect(qv::hdbc(hDbc), nullptr, reinterpret_cast<SQLCHAR*>(in), SQL_NTS, completed,
                                 kCompletedConnStrSize, &completedLength, SQL_DRIVER_NOPROMPT));
}

QV_ENTRY(jshort)
Java_com_quorvane_jdbc_JdbcOdbcClient_browseConnect(JNIEnv* env, jobject, jint hDbc, jbyteArray connStrIn,
                                                    jbyteArray connStrOut) {
    SQLSMALLINT outLength = 0;
    // Without an errorCode array a null argument can only be refused through
    // the result: SQL_ERROR, never the 0 of a failed pin, which reads as success.
    if (!connStrIn || !connStrOut) return SQL_ERROR;
    Frame f(env);
    jbyte* out = f.bytes(connStrOut);
    if (!out) return 0;
    const SQLSMALLINT outSize = qv::bufferLength16(env->GetArrayLength(connStrOut));
    jbyte* in = f.bytes(connStrIn);
    if (!in) return 0;
    if (!qv::terminatedText(env, connStrIn, in)) return SQL_ERROR;
    qv::OutArea text(out, static_cast<size_t>(outSize));
    SQLRETURN rc = drv.SQLBrowseConnect(qv::hdbc(hDbc), reinterpret_cast<SQLCHAR*>(in), SQL_NTS,
                                        reinterpret_cast<SQLCHAR*>(text.get()), outSize, &outLength);
    // SQL_NEED_DATA also carries text: the attributes still to be given.
    text.finish(SQL_SUCCEEDED(rc) || rc == SQL_NEED_DATA);
    return rc;
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_disconnect(JNIEnv* env, jobject, jint hDbc, jbyteArray errorCode) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    f.store(drv.SQLDisconnect(qv::hdbc(hDbc)));
}

QV_ENTRY(jshort)
Java_com_quorvane_jdbc_JdbcOdbcClient_transact(JNIEnv*, jobject, jint hEnv, jint hDbc, jint completionType) {
    return drv.SQLTransact(qv::henv(hEnv), qv::hdbc(hDbc), qv::uword(completionType));
}

QV_ENTRY(jshort) Java_com_quorvane_jdbc_JdbcOdbcClient_cancel(JNIEnv*, jobject, jint hStmt) {
    return drv.SQLCancel(qv::hstmt(hStmt));
}
