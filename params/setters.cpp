// The scalar parameter setters: numeric values in place in the record, SQL
// NULL, and timestamps in the driver's 8-byte form. A setter calls the
// driver only when the parameter's current binding does not fit its value.
#include "local.h"

#include "qvjdbc/frame.h"
#include "qvjdbc/jni_exports.h"

#include <cstring>

using qv::Frame;
using qv::params::ParamArray;

namespace {

// The routine of the four numeric setters: store the value in place, and
// bind the in-place storage when the parameter is bound with another C type.
// The result is the library status read unsigned: 0, or 159 when there is no
// array or no such parameter. A failed binding does not reach Java; the C
// type stays, so the next call binds again.
template <typename T>
jint setNumeric(jint hStmt, jint params, T value, jint paramNumber, SQLSMALLINT cType, SQLSMALLINT valueSqlType) {
    ParamArray* a = qv::params::findFor(params, hStmt);
    qv::BoundParam* r = a ? a->record(paramNumber) : nullptr;
    if (!r) return qv::kUnsignedStatus(qv::kStatusUnusable);
    std::memcpy(&r->inlineValue, &value, sizeof value);
    r->lengthInd = sizeof value;
    if (r->cType == cType) return 0;
    const SQLSMALLINT sqlType = r->typeFromValue == 1 ? valueSqlType : r->sqlType;
    r->sqlType = sqlType;
    SQLRETURN rc = qv::params::bindInput(qv::hstmt(hStmt), paramNumber, cType, sqlType, r->columnSize, r->scale,
                                         &r->inlineValue, sizeof value, &r->lengthInd);
    if (SQL_SUCCEEDED(rc)) {
        r->cType = cType;
        a->boundSqlType(paramNumber) = sqlType;
    }
    return 0;
}

}  // namespace

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_setInteger(JNIEnv*, jobject, jint hStmt, jint params, jint value,
                                                 jint paramNumber) {
    return setNumeric<int32_t>(hStmt, params, value, paramNumber, SQL_C_SLONG, SQL_INTEGER);
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_setLong(JNIEnv*, jobject, jint hStmt, jint params, jlong value,
                                              jint paramNumber) {
    return setNumeric<int64_t>(hStmt, params, value, paramNumber, SQL_C_SBIGINT, SQL_BIGINT);
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_setFloat(JNIEnv*, jobject, jint hStmt, jint params, jfloat value,
                                               jint paramNumber) {
    return setNumeric<float>(hStmt, params, value, paramNumber, SQL_C_FLOAT, SQL_REAL);
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_setDouble(JNIEnv*, jobject, jint hStmt, jint params, jdouble value,
                                                jint paramNumber) {
    return setNumeric<double>(hStmt, params, value, paramNumber, SQL_C_DOUBLE, SQL_FLOAT);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_setNull(JNIEnv* env, jobject, jint hStmt, jint params, jbyteArray errorCode,
                                              jint paramNumber) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    ParamArray* a = qv::params::findFor(params, hStmt);
    qv::BoundParam* r = a ? a->record(paramNumber) : nullptr;
    if (!r) return f.status(qv::kStatusUnusable);
    f.status(qv::kStatusOk);
    if (r->bufferLength == qv::kDataAtExecMarker) {
        // A parameter bound for data at execution becomes an ordinary input
        // first, so that execution does not ask for its data.
        SQLRETURN rc = qv::params::bindInput(qv::hstmt(hStmt), paramNumber, qv::sword(r->cType), SQL_INTEGER,
                                             r->columnSize, r->scale, &r->inlineValue, 0, &r->lengthInd);
        f.store(rc);
        if (!SQL_SUCCEEDED(rc)) return;
        a->boundSqlType(paramNumber) = SQL_INTEGER;
    }
    r->lengthInd = SQL_NULL_DATA;
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_setTimestamp(JNIEnv* env, jobject, jint hStmt, jint params, jlong value,
                                                   jbyteArray errorCode, jint paramNumber) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    ParamArray* a = qv::params::findFor(params, hStmt);
    qv::BoundParam* r = a ? a->record(paramNumber) : nullptr;
    if (!r) return f.status(qv::kStatusUnusable);
    f.status(qv::kStatusOk);
    // The 8 bytes in the platform's byte order (least significant first).
    static_assert(RUVA70_TIMESTAMP_FORM_BYTES == sizeof value, "the driver's timestamp form is 8 bytes");
    // Only a binding of 8 bytes of SQL_C_BINARY as SQL_TIMESTAMP carries the
    // driver's form; binary data bound as such would be sent as raw bytes.
    if (r->cType == SQL_C_BINARY && r->ownedBuffer && r->bufferLength >= 8 &&
        a->boundSqlType(paramNumber) == SQL_TIMESTAMP) {
        std::memcpy(r->ownedBuffer, &value, sizeof value);
        r->lengthInd = sizeof value;
        return;
    }
    void* buffer = qv::params::allocateBuffer(sizeof value);
    if (!buffer) return f.status(qv::kStatusNoMemory);
    SQLRETURN rc = qv::params::bindInput(qv::hstmt(hStmt), paramNumber, SQL_C_BINARY, SQL_TIMESTAMP, r->columnSize,
                                         r->scale, buffer, sizeof value, &r->lengthInd);
    f.store(rc);
    if (!SQL_SUCCEEDED(rc)) {
        qv::params::memory.release(buffer);
        return;
    }
    qv::params::adoptBuffer(*r, buffer, sizeof value);
    r->cType = SQL_C_BINARY;
    a->boundSqlType(paramNumber) = SQL_TIMESTAMP;
    std::memcpy(buffer, &value, sizeof value);
    r->lengthInd = sizeof value;
}
