// Unbound column retrieval: one column of the current row read on demand
// with SQLGetData, handed to Java, and deposited in the column's record so
// that getDataLength and the bound getters see the value last read.
#include "qvjdbc/codes.h"
#include "qvjdbc/error_bytes.h"
#include "qvjdbc/driver.h"
#include "qvjdbc/frame.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/jni_util.h"
#include "qvjdbc/results.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

using qv::BoundColBuffer;
using qv::drv;
using qv::Frame;

namespace qv::results {
namespace {

size_t fixedSize(SQLSMALLINT cType) {
    switch (cType) {
        case SQL_C_SSHORT:
            return sizeof(int16_t);
        case SQL_C_SLONG:
            return sizeof(int32_t);
        case SQL_C_SBIGINT:
            return sizeof(int64_t);
        case SQL_C_FLOAT:
            return sizeof(float);
        case SQL_C_DOUBLE:
            return sizeof(double);
        case SQL_C_DATE:
            return sizeof(DATE_STRUCT);
        case SQL_C_TIME:
            return sizeof(TIME_STRUCT);
        case SQL_C_TIMESTAMP:
            return sizeof(TIMESTAMP_STRUCT);
        default:
            return 0;
    }
}

// Deposits a character or binary value read into target in the record.
// Returns false when no memory could be had for it.
bool depositVariable(BoundColBuffer& rec, ColumnStore& st, const void* target, SQLLEN targetSize, SQLSMALLINT cType,
                     SQLLEN indicator) {
    bool truncated = false;
    const SQLLEN stored = storedBytes(cType, targetSize, indicator, &truncated);
    SQLLEN n = stored;
    // The record's own buffer takes the value when it has room for it: never
    // more than it was bound with, nor than it holds.
    const SQLLEN room = std::min(static_cast<SQLLEN>(std::max(rec.bufferLength, int32_t{0})), st.ownedCapacity);
    if (cType == rec.cType && rec.ownedBuffer && stored <= room) {
        std::memcpy(rec.ownedBuffer, target, static_cast<size_t>(n));
    } else {
        // A block of the read's own. The column's own buffer stays aside: the
        // driver may write it at the next fetch (the column is bound to it),
        // or bindCol may bind the column to it again (the column is bound to
        // an inline type now); the next fetch or that bindCol takes it back.
        if (rec.ownedBuffer && !st.held && (rec.ownedBuffer == rec.dataPtr || !st.deposited)) {
            st.held = rec.ownedBuffer;
            st.heldCapacity = st.ownedCapacity;
        } else {
            std::free(rec.ownedBuffer);
        }
        rec.ownedBuffer = nullptr;
        st.ownedCapacity = 0;
        const SQLLEN size = std::max(targetSize, SQLLEN{0});
        void* block = std::malloc(static_cast<size_t>(std::max(size, SQLLEN{1})));
        if (!block) return false;
        std::memcpy(block, target, static_cast<size_t>(n));
        rec.ownedBuffer = block;
        st.ownedCapacity = size;
    }
    rec.lengthInd = n;
    st.deposited = true;
    st.truncated = truncated;
    return true;
}

}  // namespace

jint readColumnData(JNIEnv* env, jint hStmt, jint boundCols, jbyteArray errorCode, jint column, void* target,
                    SQLLEN targetSize, SQLSMALLINT cType, SQLLEN* indicator) {
    // errorCode's bytes reach Java with one region copy at the end.
    qv::ErrorBytes f(env, errorCode);
    if (!f) return -1;
    Column col = boundColumn(boundCols, column);
    if (!col) {
        f.status(kStatusUnusable);
        return JNI_ABORT;
    }
    f.status(kStatusOk);
    // For a fixed-size C type the driver writes the type's whole size
    // whatever the buffer length says: it writes into a native cell large
    // enough for every ODBC C type, and the target receives what fits it.
    const bool variable = cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY;
    alignas(8) unsigned char cell[64] = {};
    void* into = variable ? target : cell;
    const SQLLEN intoSize = variable ? targetSize : static_cast<SQLLEN>(sizeof cell);
    const SQLRETURN rc = drv.SQLGetData(qv::hstmt(hStmt), qv::uword(column), cType, into, intoSize, indicator);
    // Only the value's own bytes reach the target: bytes after it stay as
    // they were.
    if (!variable && target && targetSize > 0)
        std::memcpy(target, cell, std::min(static_cast<size_t>(targetSize), fixedSize(cType)));
    f.store(rc);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return JNI_ABORT;
    BoundColBuffer& rec = *col.rec;
    // A NULL is a NULL, also when the driver adds a warning to it.
    if (*indicator == SQL_NULL_DATA) {
        f.status(kStatusNull);
        rec.lengthInd = SQL_NULL_DATA;
        return JNI_ABORT;
    }
    switch (cType) {
        case SQL_C_CHAR:
        case SQL_C_WCHAR:
        case SQL_C_BINARY:
            col.array->readSinceFetch = true;
            if (!depositVariable(rec, *col.store, target, targetSize, cType, *indicator)) {
                f.status(kStatusNoMemory);
                return JNI_ABORT;
            }
            return 0;
        default: {
            const size_t size = fixedSize(cType);
            if (size == 0) {
                f.status(kStatusUnusable);
                return JNI_ABORT;
            }
            std::memcpy(&rec.inlineValue, cell, size);
            return 0;
        }
    }
}

void refuseRead(JNIEnv* env, jbyteArray errorCode) {
    Frame f(env);
    if (f.errorCode(errorCode)) f.refuseNull();
}

}  // namespace qv::results

namespace {

using qv::results::readColumnData;

using qv::results::refuseRead;

// Java buffers up to this many characters are read through the stack.
constexpr size_t kSmallText = 4096;

template <typename T>
T readScalar(JNIEnv* env, jint hStmt, jint boundCols, jint column, jbyteArray errorCode, SQLSMALLINT cType) {
    T value{};
    SQLLEN indicator = 0;
    readColumnData(env, hStmt, boundCols, errorCode, column, &value, sizeof value, cType, &indicator);
    return value;
}

// Reads a date, time or timestamp structure and writes its fields into the
// Java array (year sign-extended, the other 16-bit fields zero-extended).
template <typename S>
void readDateTime(JNIEnv* env, jint hStmt, jint boundCols, jint column, jintArray values, jbyteArray errorCode,
                  SQLSMALLINT cType, jsize elements, void (*write)(const S&, jint*)) {
    const jsize length = qv::lengthOf(env, values);
    Frame f(env);
    jint* out = f.ints(values);
    if (!out) {
        if (f.nullArgument()) refuseRead(env, errorCode);
        return;
    }
    if (length < elements) return refuseRead(env, errorCode);
    S s{};
    SQLLEN indicator = 0;
    if (readColumnData(env, hStmt, boundCols, errorCode, column, &s, sizeof s, cType, &indicator) == 0) write(s, out);
}

bool wideSqlType(jint sqlType) {
    switch (sqlType) {
        case SQL_WLONGVARCHAR:
        case SQL_WVARCHAR:
        case SQL_WCHAR:
        case SQL_LONGVARCHAR:
        case SQL_CHAR:
        case SQL_VARCHAR:
            return true;
        default:
            return false;
    }
}

}  // namespace

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDataInteger(JNIEnv* env, jobject, jint hStmt, jint boundCols, jint column,
                                                     jbyteArray errorCode) {
    return readScalar<SQLINTEGER>(env, hStmt, boundCols, column, errorCode, SQL_C_SLONG);
}

QV_ENTRY(jshort)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDataShort(JNIEnv* env, jobject, jint hStmt, jint boundCols, jint column,
                                                   jbyteArray errorCode) {
    return readScalar<SQLSMALLINT>(env, hStmt, boundCols, column, errorCode, SQL_C_SSHORT);
}

QV_ENTRY(jlong)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDataLong(JNIEnv* env, jobject, jint hStmt, jint boundCols, jint column,
                                                  jbyteArray errorCode) {
    return readScalar<SQLBIGINT>(env, hStmt, boundCols, column, errorCode, SQL_C_SBIGINT);
}

QV_ENTRY(jfloat)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDataFloat(JNIEnv* env, jobject, jint hStmt, jint boundCols, jint column,
                                                   jbyteArray errorCode) {
    return readScalar<SQLREAL>(env, hStmt, boundCols, column, errorCode, SQL_C_FLOAT);
}

QV_ENTRY(jdouble)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDataDouble(JNIEnv* env, jobject, jint hStmt, jint boundCols, jint column,
                                                    jbyteArray errorCode) {
    return readScalar<SQLDOUBLE>(env, hStmt, boundCols, column, errorCode, SQL_C_DOUBLE);
}

QV_ENTRY(jlong)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDataTimestampRaw(JNIEnv* env, jobject, jint hStmt, jint boundCols,
                                                          jbyteArray errorCode, jint column) {
    unsigned char raw[8] = {};
    SQLLEN indicator = 0;
    if (readColumnData(env, hStmt, boundCols, errorCode, column, raw, sizeof raw, SQL_C_BINARY, &indicator) != 0)
        return 0;
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | raw[i];
    return static_cast<jlong>(v);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDataDate(JNIEnv* env, jobject, jint hStmt, jint boundCols, jint column,
                                                  jintArray values, jbyteArray errorCode) {
    readDateTime<DATE_STRUCT>(env, hStmt, boundCols, column, values, errorCode, SQL_C_DATE, 3,
                              [](const DATE_STRUCT& d, jint* out) {
                                  out[0] = d.year;
                                  out[1] = d.month;
                                  out[2] = d.day;
                              });
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDataTime(JNIEnv* env, jobject, jint hStmt, jint boundCols, jint column,
                                                  jintArray values, jbyteArray errorCode) {
    readDateTime<TIME_STRUCT>(env, hStmt, boundCols, column, values, errorCode, SQL_C_TIME, 3,
                              [](const TIME_STRUCT& t, jint* out) {
                                  out[0] = t.hour;
                                  out[1] = t.minute;
                                  out[2] = t.second;
                              });
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDataTimestamp(JNIEnv* env, jobject, jint hStmt, jint boundCols, jint column,
                                                       jintArray values, jbyteArray errorCode) {
    readDateTime<TIMESTAMP_STRUCT>(env, hStmt, boundCols, column, values, errorCode, SQL_C_TIMESTAMP, 7,
                                   [](const TIMESTAMP_STRUCT& t, jint* out) {
                                       out[0] = t.year;
                                       out[1] = t.month;
                                       out[2] = t.day;
                                       out[3] = t.hour;
                                       out[4] = t.minute;
                                       out[5] = t.second;
                                       out[6] = static_cast<jint>(t.fraction);
                                   });
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDataBinary(JNIEnv* env, jobject, jint hStmt, jint boundCols, jint column,
                                                    jint cType, jbyteArray buffer, jint bufferSize,
                                                    jbyteArray errorCode) {
    const jsize length = qv::lengthOf(env, buffer);
    Frame f(env);
    jbyte* out = f.bytes(buffer);
    if (!out) {
        if (f.nullArgument()) refuseRead(env, errorCode);
        return 0;
    }
    // The driver writes up to bufferSize bytes into the array.
    if (bufferSize < 0 || bufferSize > length) {
        f.mode(out, JNI_ABORT);
        refuseRead(env, errorCode);
        return 0;
    }
    SQLLEN indicator = 0;
    const jint rr =
        readColumnData(env, hStmt, boundCols, errorCode, column, out, bufferSize, qv::sword(cType), &indicator);
    f.mode(out, rr == 0 ? 0 : JNI_ABORT);
    return rr == -1 ? 0 : qv::saturateToJint(indicator);
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDataString(JNIEnv* env, jobject, jint hStmt, jint boundCols, jint column,
                                                    jcharArray buffer, jbyteArray errorCode, jint sqlType) {
    if (!buffer) {
        refuseRead(env, errorCode);
        return 0;
    }
    const jsize length = env->GetArrayLength(buffer);
    const bool wide = wideSqlType(sqlType);
    // The driver gets the array's length and the terminator's room, as
    // bytes. The work area is length + 1 Java characters: at least that, and
    // room for narrow text to be widened in place. Values reach the array by
    // one region copy of the characters read, so the array is neither pinned
    // nor copied whole.
    const size_t units = static_cast<size_t>(length) + 1;
    const SQLLEN size = static_cast<SQLLEN>(length) + (wide ? 2 : 1);
    jchar small[kSmallText + 1];
    std::unique_ptr<jchar, decltype(&std::free)> large(nullptr, &std::free);
    if (units > kSmallText + 1 && units <= SIZE_MAX / sizeof(jchar))
        large.reset(static_cast<jchar*>(std::malloc(units * sizeof(jchar))));
    jchar* work = units <= kSmallText + 1 ? small : large.get();
    jbyte code = qv::kStatusOk;
    jint result = 0;
    if (!work) {
        code = qv::kStatusNoMemory;
    } else {
        SQLLEN indicator = 0;
        const jint rr = readColumnData(env, hStmt, boundCols, errorCode, column, work, size,
                                       wide ? SQL_C_WCHAR : SQL_C_CHAR, &indicator);
        if (rr == -1) return 0;
        // A NULL answers SQL_NULL_DATA.
        result = qv::saturateToJint(indicator);
        if (rr == 0) {
            // A value fits when its bytes fit the array's length; an unknown
            // length means it did not fit the work area.
            if (indicator == SQL_NO_TOTAL || indicator > length) {
                code = qv::kStatusUnusable;
            } else {
                result = static_cast<jint>(wide ? indicator / 2 : indicator);
                if (!wide) {
                    // Each byte becomes one character, from the end, so no
                    // byte is overwritten before it is read.
                    const auto* bytes = reinterpret_cast<const unsigned char*>(work);
                    for (jint i = result; i-- > 0;) work[i] = bytes[i];
                }
                if (result > 0) env->SetCharArrayRegion(buffer, 0, result, work);
            }
        }
    }
    if (code == qv::kStatusOk) return result;
    Frame f(env);
    if (f.errorCode(errorCode)) f.status(code);
    return 0;
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDataLength(JNIEnv* env, jobject, jint boundCols, jbyteArray errorCode,
                                                    jint column) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    qv::results::Column col = qv::results::boundColumn(boundCols, column);
    if (!col) {
        f.status(qv::kStatusUnusable);
        return 0;
    }
    f.status(qv::kStatusOk);
    return qv::saturateToJint(col.rec->lengthInd);
}
