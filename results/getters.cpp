// Bound-column getters: copy one column's value from its record into a Java
// result or array, without a driver call.
#include "qvjdbc/codes.h"
#include "qvjdbc/error_bytes.h"
#include "qvjdbc/frame.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/jni_util.h"
#include "qvjdbc/results.h"

#include <algorithm>
#include <cstring>

using qv::BoundColBuffer;
using qv::ErrorBytes;

namespace qv::results {

jint readBoundColumn(JNIEnv* env, jint boundCols, jbyteArray errorCode, jint column, void* target, SQLLEN targetSize,
                     SQLSMALLINT cType, jbyteArray into) {
    // errorCode's status byte reaches Java with one region copy at the end.
    ErrorBytes f(env, errorCode);
    if (!f) return -1;
    Column col = boundColumn(boundCols, column);
    if (!col) {
        f.status(kStatusUnusable);
        return JNI_ABORT;
    }
    f.status(kStatusOk);
    const BoundColBuffer& rec = *col.rec;
    if (rec.lengthInd == SQL_NULL_DATA) {
        f.status(kStatusNull);
        return JNI_ABORT;
    }
    const InlineValue& v = rec.inlineValue;
    auto* out = static_cast<jint*>(target);
    auto fits = [&](SQLLEN bytes) { return targetSize >= bytes; };
    switch (cType) {
        case SQL_C_SSHORT:
            std::memcpy(target, &v.i16, sizeof v.i16);
            return 0;
        case SQL_C_SLONG:
            std::memcpy(target, &v.i32, sizeof v.i32);
            return 0;
        case SQL_C_SBIGINT:
            std::memcpy(target, &v.i64, sizeof v.i64);
            return 0;
        case SQL_C_FLOAT:
            std::memcpy(target, &v.f32, sizeof v.f32);
            return 0;
        case SQL_C_DOUBLE:
            std::memcpy(target, &v.f64, sizeof v.f64);
            return 0;
        case SQL_C_DATE:
            if (!fits(3 * sizeof(jint))) break;
            out[0] = v.date.year;
            out[1] = v.date.month;
            out[2] = v.date.day;
            return 0;
        case SQL_C_TIME:
            if (!fits(3 * sizeof(jint))) break;
            out[0] = v.time.hour;
            out[1] = v.time.minute;
            out[2] = v.time.second;
            return 0;
        case SQL_C_TIMESTAMP:
            if (!fits(7 * sizeof(jint))) break;
            out[0] = v.timestamp.year;
            out[1] = v.timestamp.month;
            out[2] = v.timestamp.day;
            out[3] = v.timestamp.hour;
            out[4] = v.timestamp.minute;
            out[5] = v.timestamp.second;
            out[6] = static_cast<jint>(v.timestamp.fraction);
            return 0;
        case SQL_C_BINARY: {
            // The bytes the buffer holds, never more than the target takes. A
            // value that the record or the target holds only in part is copied
            // as far as it goes and reported as not fitting.
            const HeldValue held = heldValue(rec, *col.store);
            if (!held.data) break;
            const SQLLEN n = std::min(held.size, targetSize);
            if (into)
                env->SetByteArrayRegion(into, 0, static_cast<jsize>(n), reinterpret_cast<const jbyte*>(held.data));
            else
                std::memcpy(target, held.data, static_cast<size_t>(n));
            if (held.truncated || held.size > targetSize) f.status(kStatusUnusable);
            return 0;
        }
        default:
            break;
    }
    f.status(kStatusUnusable);
    return JNI_ABORT;
}

}  // namespace qv::results

namespace {

using qv::results::readBoundColumn;

template <typename T>
T readScalar(JNIEnv* env, jint boundCols, jbyteArray errorCode, jint column, SQLSMALLINT cType) {
    T value{};
    readBoundColumn(env, boundCols, errorCode, column, &value, sizeof value, cType);
    return value;
}

// The fields land in a native area and reach the Java array with one
// region copy after a successful read; a NULL or an error leaves the array
// as it was. No pin: the array is not copied in and back for 3 or 7 values.
void readIntoValues(JNIEnv* env, jint boundCols, jbyteArray errorCode, jint column, jintArray values,
                    SQLSMALLINT cType) {
    if (!values) return qv::results::refuseRead(env, errorCode);
    const jsize length = env->GetArrayLength(values);
    const SQLLEN size = static_cast<SQLLEN>(length) * static_cast<SQLLEN>(sizeof(jint));
    jint fields[7] = {};
    // Nothing is written when no value was copied, also when errorCode
    // could not be pinned.
    if (readBoundColumn(env, boundCols, errorCode, column, fields, size, cType) != 0) return;
    const jsize count = cType == SQL_C_TIMESTAMP ? 7 : 3;
    if (length >= count && !env->ExceptionCheck()) env->SetIntArrayRegion(values, 0, count, fields);
}

}  // namespace

QV_ENTRY(jshort)
Java_com_quorvane_jdbc_JdbcOdbcClient_getShort(JNIEnv* env, jobject, jint boundCols, jbyteArray errorCode,
                                               jint column) {
    return readScalar<jshort>(env, boundCols, errorCode, column, SQL_C_SSHORT);
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_getInteger(JNIEnv* env, jobject, jint boundCols, jbyteArray errorCode,
                                                 jint column) {
    return readScalar<jint>(env, boundCols, errorCode, column, SQL_C_SLONG);
}

QV_ENTRY(jlong)
Java_com_quorvane_jdbc_JdbcOdbcClient_getLong(JNIEnv* env, jobject, jint boundCols, jbyteArray errorCode,
                                              jint column) {
    return readScalar<jlong>(env, boundCols, errorCode, column, SQL_C_SBIGINT);
}

QV_ENTRY(jfloat)
Java_com_quorvane_jdbc_JdbcOdbcClient_getFloat(JNIEnv* env, jobject, jint boundCols, jbyteArray errorCode,
                                               jint column) {
    return readScalar<jfloat>(env, boundCols, errorCode, column, SQL_C_FLOAT);
}

QV_ENTRY(jdouble)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDouble(JNIEnv* env, jobject, jint boundCols, jbyteArray errorCode,
                                                jint column) {
    return readScalar<jdouble>(env, boundCols, errorCode, column, SQL_C_DOUBLE);
}

QV_ENTRY(jlong)
Java_com_quorvane_jdbc_JdbcOdbcClient_getTimestampRaw(JNIEnv* env, jobject, jint boundCols, jbyteArray errorCode,
                                                      jint column) {
    unsigned char raw[8] = {};
    // Without a value of its own (also when errorCode could not be pinned)
    // the result is 0.
    if (readBoundColumn(env, boundCols, errorCode, column, raw, sizeof raw, SQL_C_BINARY) != 0) return 0;
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | raw[i];
    return static_cast<jlong>(v);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDate(JNIEnv* env, jobject, jint boundCols, jbyteArray errorCode, jint column,
                                              jintArray values) {
    readIntoValues(env, boundCols, errorCode, column, values, SQL_C_DATE);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_getTime(JNIEnv* env, jobject, jint boundCols, jbyteArray errorCode, jint column,
                                              jintArray values) {
    readIntoValues(env, boundCols, errorCode, column, values, SQL_C_TIME);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_getTimestamp(JNIEnv* env, jobject, jint boundCols, jbyteArray errorCode,
                                                   jint column, jintArray values) {
    readIntoValues(env, boundCols, errorCode, column, values, SQL_C_TIMESTAMP);
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_getBytes(JNIEnv* env, jobject, jint boundCols, jbyteArray buffer,
                                               jbyteArray errorCode, jint column) {
    // The value's bytes go into the array with one region copy: no pin, so
    // a large buffer is not copied in and back for each row.
    if (!buffer) {
        qv::results::refuseRead(env, errorCode);
        return 0;
    }
    readBoundColumn(env, boundCols, errorCode, column, nullptr, env->GetArrayLength(buffer), SQL_C_BINARY, buffer);
    return 0;
}
