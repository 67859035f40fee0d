// Diagnostics: one SQLError record per call, for JdbcOdbcClient and for
// XAJdbcOdbcClient alike.
#include "qvjdbc/codes.h"
#include "qvjdbc/driver.h"
#include "qvjdbc/frame.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/jni_util.h"

#include <algorithm>
#include <cstring>

namespace {

// SQLError writes the SQLSTATE (five characters and a zero byte) without a
// length; it lands in a native buffer and reaches Java cut to the array, so
// a short sqlState array is never written past its end.
constexpr size_t kSqlStateBytes = 6;

jint errorRecord(JNIEnv* env, jint hEnv, jint hDbc, jint hStmt, jbyteArray sqlState, jbyteArray errorMsg,
                 jbyteArray errorCode) {
    SQLINTEGER nativeError = 0;
    SQLSMALLINT messageLength = 0;
    const SQLSMALLINT bufferLength = qv::bufferLength16(qv::lengthOf(env, errorMsg));
    qv::Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    jbyte* state = f.bytes(sqlState);
    jbyte* message = f.bytes(errorMsg);
    if (!state || !message) {
        if (f.nullArgument()) f.refuseNull();
        return 0;
    }
    SQLCHAR stateText[kSqlStateBytes + 2] = {};
    // The message lands in a native area too: an empty errorMsg has no
    // address a driver manager may write before.
    qv::OutArea text(message, static_cast<size_t>(bufferLength));
    SQLRETURN rc = qv::drv.SQLError(qv::henv(hEnv), qv::hdbc(hDbc), qv::hstmt(hStmt), stateText, &nativeError,
                                    reinterpret_cast<SQLCHAR*>(text.get()), bufferLength, &messageLength);
    text.finish(SQL_SUCCEEDED(rc));
    std::memcpy(state, stateText, std::min(kSqlStateBytes, static_cast<size_t>(env->GetArrayLength(sqlState))));
    f.store(rc);
    f.status(messageLength >= bufferLength ? qv::kStatusTruncated : qv::kStatusOk);
    return nativeError;
}

}  // namespace

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_error(JNIEnv* env, jobject, jint hEnv, jint hDbc, jint hStmt,
                                            jbyteArray sqlState, jbyteArray errorMsg, jbyteArray errorCode) {
    return errorRecord(env, hEnv, hDbc, hStmt, sqlState, errorMsg, errorCode);
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_xa_XAJdbcOdbcClient_error(JNIEnv* env, jobject, jint hEnv, jint hDbc, jint hStmt,
                                                 jbyteArray sqlState, jbyteArray errorMsg, jbyteArray errorCode) {
    return errorRecord(env, hEnv, hDbc, hStmt, sqlState, errorMsg, errorCode);
}
