// Describing and binding every parameter of a prepared statement to the
// records of a bound-parameter array, and freeing that array.
#include "local.h"

#include "qvjdbc/frame.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/jni_util.h"

#include <algorithm>
#include <cstring>

using qv::drv;
using qv::Frame;
using qv::params::ParamArray;

namespace {

// Parameter numbers travel to the driver in 16 bits, and SQLNumParams counts
// in a signed 16-bit value.
constexpr jint kMaxParams = 32767;

// The largest owned buffer made before any value is known. A described size
// that would need more (psqlODBC describes bytea and text parameters with an
// unknown size, 0xFFFFFFFF) gets the buffer of an empty value instead; the
// setters grow it to the values they are given.
constexpr int64_t kMaxInitialBuffer = 1 << 20;

// One row of the binding table: the C type, buffer length and column size a
// parameter is bound with, chosen from its SQL type (and, for timestamps and
// decimals, its driver type code).
struct Binding {
    bool refused = false;
    SQLSMALLINT cType = 0;
    int64_t bufferLength = 0;   // bytes; checked before allocating
    bool owned = false;         // a new owned buffer of bufferLength bytes; in place otherwise
    int64_t adjustedSize = -1;  // the column size passed instead of the described one, or -1
};

// The characters of the longest text of a decimal of that precision and
// scale: sign, the digits (at least one before the point) and the point.
int64_t decimalChars(int64_t precision, SQLSMALLINT scale) {
    const int64_t whole = precision - scale > 1 ? precision - scale : 1;
    return 1 + whole + (scale > 0 ? scale + 1 : 0);
}

Binding chooseBinding(SQLSMALLINT sqlType, SQLSMALLINT driverType, int32_t described, SQLSMALLINT scale) {
    // Column sizes are unsigned: a size above INT32_MAX reads as such, and
    // a buffer made from it is refused as too large.
    const int64_t size = static_cast<int64_t>(static_cast<uint32_t>(described));
    switch (sqlType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
        case SQL_WLONGVARCHAR:
            return {false, SQL_C_WCHAR, size + 2, true};
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            return {false, SQL_C_BINARY, size, true};
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            if (driverType == RUVA70_TYPE_DECIMAL_UNSIZED) return {false, SQL_C_CHAR, 66, true, 65};
            {
                // The text of every value of the described precision and scale,
                // with sign, leading zero and point (numeric(5,5) holds -0.50000,
                // one more than size + 2), and never less than the column size
                // of size + 2.
                const int64_t chars = std::max(size + 2, decimalChars(size, scale));
                return {false, SQL_C_CHAR, chars + 1, true, chars};
            }
        case SQL_DATE:
        case SQL_TIME:
            return {false, SQL_C_CHAR, size + 1, true};
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
            return {false, SQL_C_SLONG, 4, false};
        case SQL_BIGINT:
            return {false, SQL_C_SBIGINT, 8, false};
        case SQL_REAL:
            return {false, SQL_C_FLOAT, 4, false};
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return {false, SQL_C_DOUBLE, 8, false};
        case SQL_TIMESTAMP:
            if (driverType == RUVA70_TYPE_TIMESTAMP || driverType == RUVA70_TYPE_DATETIME)
                return {false, SQL_C_TIMESTAMP, 16, false};
            return {false, SQL_C_BINARY, 8, true};
        default:
            return {true};  // SQL_BIT, 0, below -10 or above 12
    }
}

Binding chooseInitialBinding(SQLSMALLINT sqlType, SQLSMALLINT driverType, int32_t described, SQLSMALLINT scale) {
    Binding b = chooseBinding(sqlType, driverType, described, scale);
    if (b.owned && b.bufferLength > kMaxInitialBuffer) b.bufferLength -= static_cast<uint32_t>(described);
    return b;
}

// Releases the three per-parameter arrays of bindAllParams without copying
// back (the failure paths after the array exists).
void discardDescriptions(Frame& f, const void* a, const void* b, const void* c) {
    f.mode(a, JNI_ABORT);
    f.mode(b, JNI_ABORT);
    f.mode(c, JNI_ABORT);
}

// The worst result of the binding pass: the first failure if any binding
// failed, else the last result.
SQLRETURN worse(SQLRETURN kept, SQLRETURN next, bool first) {
    if (first) return next;
    return SQL_SUCCEEDED(kept) ? next : kept;
}

}  // namespace

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_bindAllParams(JNIEnv* env, jobject, jint hStmt, jshortArray sqlTypes,
                                                    jshortArray driverTypes, jintArray columnSizes,
                                                    jbyteArray errorCode, jint numParams) {
    Frame f(env);
    if (!sqlTypes || !driverTypes || !columnSizes) {
        if (f.errorCode(errorCode)) f.refuseNull();
        return 0;
    }
    jshort* types = f.shorts(sqlTypes);
    jshort* dtypes = f.shorts(driverTypes);
    jint* sizes = f.ints(columnSizes);
    if (!f.errorCode(errorCode)) return 0;
    f.status(qv::kStatusOk);
    if (numParams < 0) {
        // A negative count is a negative allocation size: out of memory.
        f.status(qv::kStatusNoMemory);
        return 0;
    }
    if (numParams > kMaxParams || env->GetArrayLength(sqlTypes) < numParams ||
        env->GetArrayLength(driverTypes) < numParams || env->GetArrayLength(columnSizes) < numParams) {
        f.refuseNull();
        return 0;
    }
    const SQLHSTMT h = qv::hstmt(hStmt);

    // Driver-type pass.
    SQLRETURN rc = drv.SQLSetStmtOption(h, RUVA70_STMT_DRIVER_TYPES, 1);
    for (jint p = 1; rc == SQL_SUCCESS && p <= numParams; ++p) {
        SQLULEN size = 0;
        SQLSMALLINT scale = 0;
        SQLSMALLINT nullable = 0;
        rc = drv.SQLDescribeParam(h, qv::uword(p), &dtypes[p - 1], &size, &scale, &nullable);
    }
    if (rc == SQL_SUCCESS) rc = drv.SQLSetStmtOption(h, RUVA70_STMT_DRIVER_TYPES, 0);
    union {
        SQLULEN wide;
        SQLUINTEGER u32;
    } typeFromValue{};
    if (rc == SQL_SUCCESS) rc = drv.SQLGetStmtOption(h, RUVA70_STMT_TYPE_FROM_VALUE, &typeFromValue);
    if (rc != SQL_SUCCESS) {
        f.store(rc);
        return 0;
    }

    // The array: header, records and bound SQL types in one zeroed block.
    const std::size_t n = static_cast<std::size_t>(numParams);
    const std::size_t bytes = sizeof(ParamArray) + n * sizeof(qv::BoundParam) + n * sizeof(int16_t);
    auto* a = static_cast<ParamArray*>(qv::params::memory.allocate(bytes));
    if (!a) {
        f.status(qv::kStatusNoMemory);
        return 0;
    }
    std::memset(static_cast<void*>(a), 0, bytes);
    a->numParams = numParams;
    a->hStmt = hStmt;
    const jint token = qv::registry::issue(qv::registry::Kind::BoundParams, a);
    if (!token) {
        qv::params::memory.release(a);
        f.status(qv::kStatusNoMemory);
        return 0;
    }
    qv::BoundParam* records = a->records();

    // Describe pass.
    for (jint p = 1; p <= numParams; ++p) {
        SQLULEN size = 0;
        SQLSMALLINT scale = 0;
        SQLSMALLINT nullable = 0;
        rc = drv.SQLDescribeParam(h, qv::uword(p), &types[p - 1], &size, &scale, &nullable);
        if (rc != SQL_SUCCESS) {
            f.store(rc);
            discardDescriptions(f, types, dtypes, sizes);
            return token;
        }
        const int32_t described = static_cast<int32_t>(size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size));
        sizes[p - 1] = described;
        qv::BoundParam& r = records[p - 1];
        r.sqlType = types[p - 1];
        r.columnSize = described;
        r.scale = scale;
        r.typeFromValue = static_cast<int32_t>(typeFromValue.u32);
    }

    // Binding pass.
    SQLRETURN reported = SQL_SUCCESS;
    for (jint p = 1; p <= numParams; ++p) {
        qv::BoundParam& r = records[p - 1];
        r.ownedBuffer = nullptr;
        const Binding b = chooseInitialBinding(types[p - 1], dtypes[p - 1], sizes[p - 1], r.scale);
        if (b.refused) {
            f.status(qv::kStatusUnusable);
            discardDescriptions(f, types, dtypes, sizes);
            return token;
        }
        const int32_t length = qv::params::checkedBufferLength(b.bufferLength);
        const int32_t columnSize =
            b.adjustedSize < 0 ? sizes[p - 1] : qv::params::checkedBufferLength(b.adjustedSize);
        void* buffer = b.owned && length >= 0 ? qv::params::allocateBuffer(length) : nullptr;
        if (length < 0 || (b.adjustedSize >= 0 && columnSize < 0) || (b.owned && !buffer)) {
            qv::params::memory.release(buffer);
            f.status(qv::kStatusNoMemory);
            discardDescriptions(f, types, dtypes, sizes);
            return token;
        }
        sizes[p - 1] = columnSize;
        r.columnSize = columnSize;
        r.ownedBuffer = buffer;
        r.bufferLength = length;
        SQLPOINTER value = b.owned ? buffer : static_cast<SQLPOINTER>(&r.inlineValue);
        rc = qv::params::bindInput(h, p, b.cType, types[p - 1], sizes[p - 1], r.scale, value, qv::sdword(length),
                                   &r.lengthInd);
        reported = worse(reported, rc, p == 1);
        // A parameter the driver did not bind keeps C type 0, so that its
        // first setter binds it.
        if (SQL_SUCCEEDED(rc)) {
            r.cType = b.cType;
            a->boundSqlType(p) = types[p - 1];
        }
    }
    if (numParams > 0) f.store(reported);
    return token;
}

QV_ENTRY(void) Java_com_quorvane_jdbc_JdbcOdbcClient_freeBoundParams(JNIEnv*, jobject, jint params, jint) {
    // The stored count, not the argument, says how many records there are.
    auto* a = static_cast<ParamArray*>(qv::registry::release(qv::registry::Kind::BoundParams, params));
    if (!a) return;
    // The statement's bindings point into the records and their buffers: the
    // driver lets go of them before they are freed. A statement already
    // freed answers SQL_INVALID_HANDLE. While a data-at-execution exchange
    // is pending the driver refuses the reset (a sequence error): the
    // exchange is cancelled first. If the driver still refuses, it may still
    // read the records, and they are kept rather than freed.
    const SQLHSTMT h = qv::hstmt(a->hStmt);
    SQLRETURN rc = drv.SQLFreeStmt(h, SQL_RESET_PARAMS);
    if (rc == SQL_ERROR) {
        drv.SQLCancel(h);
        rc = drv.SQLFreeStmt(h, SQL_RESET_PARAMS);
    }
    if (rc == SQL_ERROR) return;
    qv::params::forgetStatementBindings(a->hStmt);
    qv::BoundParam* records = a->records();
    for (int32_t i = 0; i < a->numParams; ++i) qv::params::memory.release(records[i].ownedBuffer);
    qv::params::memory.release(a);
}
