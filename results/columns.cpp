// Column description and bound-column buffers: describing the result
// columns, binding each to a record of the bound-column array, rebinding,
// freeing, and the two column-attribute queries.
#include "qvjdbc/codes.h"
#include "qvjdbc/driver.h"
#include "qvjdbc/frame.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/jni_util.h"
#include "qvjdbc/registry.h"
#include "qvjdbc/results.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

using qv::BoundColBuffer;
using qv::drv;
using qv::Frame;
using qv::results::BoundColumns;
using qv::results::ColumnStore;

namespace qv::results {

BoundColumns* allocBoundColumns(jint numCols) {
    if (numCols < 0) return nullptr;
    const size_t n = static_cast<size_t>(numCols);
    const size_t perColumn = sizeof(BoundColBuffer) + sizeof(ColumnStore);
    if (n > (SIZE_MAX - sizeof(BoundColumns)) / perColumn) return nullptr;
    void* block = std::calloc(1, sizeof(BoundColumns) + n * perColumn);
    if (!block) return nullptr;
    auto* cols = new (block) BoundColumns{static_cast<int32_t>(numCols), false, nullptr};
    for (size_t i = 0; i < n; ++i) {
        new (cols->records() + i) BoundColBuffer{};
        new (cols->stores() + i) ColumnStore{};
    }
    return cols;
}

void forgetColumnObjects(JNIEnv* env, BoundColumns* cols) {
    if (!cols->array) return;
    for (int32_t i = 0; i < cols->numCols; ++i) {
        ColumnStore& st = cols->stores()[i];
        if (st.column) env->DeleteGlobalRef(st.column);
        st.column = nullptr;
        st.columnRead = false;
    }
    env->DeleteGlobalRef(cols->array);
    cols->array = nullptr;
}

void freeBoundColumns(JNIEnv* env, BoundColumns* cols) {
    if (!cols) return;
    forgetColumnObjects(env, cols);
    for (int32_t i = 0; i < cols->numCols; ++i) {
        std::free(cols->records()[i].ownedBuffer);
        std::free(cols->stores()[i].held);
    }
    std::free(cols);
}

BoundColumns* boundColumns(jint token) {
    if (token == 0) return nullptr;
    return registry::lookupAs<BoundColumns>(registry::Kind::BoundColumns, token);
}

Column boundColumn(jint token, jint column) {
    BoundColumns* cols = boundColumns(token);
    if (!cols || column < 1 || column > cols->numCols) return Column{};
    return Column{cols->records() + (column - 1), cols->stores() + (column - 1), cols};
}

SQLLEN storedBytes(SQLSMALLINT cType, SQLLEN size, SQLLEN indicator, bool* truncated) {
    SQLLEN room = size;
    if (cType == SQL_C_CHAR) room = size - 1;
    if (cType == SQL_C_WCHAR) room = (size - 2) / 2 * 2;  // whole UTF-16 units before the terminator
    if (room < 0) room = 0;
    *truncated = false;
    if (indicator == SQL_NO_TOTAL || indicator > room) {
        *truncated = true;
        return room;
    }
    return indicator < 0 ? 0 : indicator;
}

HeldValue heldValue(const BoundColBuffer& rec, const ColumnStore& store) {
    const auto* data = static_cast<const unsigned char*>(rec.ownedBuffer);
    if (!data) return HeldValue{nullptr, 0, false};
    if (store.deposited) {
        const SQLLEN n = rec.lengthInd < 0 ? 0 : std::min(rec.lengthInd, store.ownedCapacity);
        return HeldValue{data, n, store.truncated || rec.lengthInd < 0};
    }
    // The value the last fetch wrote: at most what the bound buffer holds.
    bool truncated = false;
    const SQLLEN size = std::min(static_cast<SQLLEN>(rec.bufferLength), store.ownedCapacity);
    SQLLEN n = storedBytes(rec.cType, size, rec.lengthInd, &truncated);
    if (rec.lengthInd < 0 && rec.lengthInd != SQL_NO_TOTAL) truncated = true;
    return HeldValue{data, n, truncated};
}

void afterFetch(BoundColumns* cols) {
    // A fetch loop without reads does no work per column.
    if (!cols->readSinceFetch) return;
    cols->readSinceFetch = false;
    for (int32_t i = 0; i < cols->numCols; ++i) {
        BoundColBuffer& rec = cols->records()[i];
        ColumnStore& st = cols->stores()[i];
        if (st.held) {
            std::free(rec.ownedBuffer);
            rec.ownedBuffer = st.held;
            st.ownedCapacity = st.heldCapacity;
            st.held = nullptr;
            st.heldCapacity = 0;
            st.deposited = st.truncated = false;
        }
        if (rec.dataPtr == rec.ownedBuffer) st.deposited = st.truncated = false;
        // A deposit outside the bound buffer stays one until the next fetch
        // after a read.
        if (st.deposited) cols->readSinceFetch = true;
    }
}

}  // namespace qv::results

namespace {

constexpr SQLUSMALLINT kDriverTypesOption = RUVA70_STMT_DRIVER_TYPES;
constexpr jint kLibraryCodeRefused = qv::kStatusUnusable;

// Bound buffers. A binary column, and a character column whose size the
// data source does not report, get room for values of this many bytes at
// least; values longer than a bound buffer arrive cut at fetch and whole
// through the reads, in pieces. No bound buffer exceeds kMostBufferBytes
// (plus the terminator), whatever size a column declares.
constexpr long long kUnreportedBytes = 8192;
constexpr long long kMostBufferBytes = 1 << 20;
// Time text with nine digits of fraction and an offset ("13:45:56.123456789+05:30:00"),
// and the terminator.
constexpr long long kTimeTextBytes = 32;
// Characters of decimal text that every decimal buffer holds at least: a
// value of 74 digits (the most getBigDecimal converts) with sign, point and
// leading zero, for decimals whose precision the data source does not
// report exactly (psqlODBC describes an unconstrained numeric with 28).
constexpr long long kLeastDecimalChars = 77;

jint saturate(long long v) {
    return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<jint>(v));
}

// The lengths entry of a column from its standard SQL type and column size
// (the display size for the numeric types), computed at full width and
// narrowed for Java.
jint lengthEntry(SQLHSTMT h, SQLUSMALLINT column, SQLSMALLINT type, SQLULEN size) {
    const long long wide = size > static_cast<SQLULEN>(INT64_MAX / 4) ? INT64_MAX / 4 : static_cast<long long>(size);
    switch (type) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
            return saturate(2 * wide);
        case SQL_TINYINT:
            return 1;
        case SQL_SMALLINT:
            return 2;
        case SQL_INTEGER:
            return 4;
        case SQL_BIGINT:
            return 20;
        case SQL_DATE:
        case SQL_TIME:
            return 6;
        case SQL_TIMESTAMP:
            return 16;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
        case SQL_FLOAT:
        case SQL_REAL:
        case SQL_DOUBLE: {
            // The display size replaces the column size; when the driver writes
            // nothing the column size stays.
            SQLLEN display = static_cast<SQLLEN>(wide);
            drv.SQLColAttributes(h, column, SQL_COLUMN_DISPLAY_SIZE, nullptr, 0, nullptr, &display);
            return saturate(display);
        }
        default:
            return saturate(wide);  // binary, bit, type 0 and anything else
    }
}

// Runs the two describe passes over pinned arrays. Returns true when the
// standard pass went through every column.
bool describeColumns(Frame& f, SQLHSTMT h, jint* sqlTypes, jint* driverTypes, jint* lengths, jint numCols) {
    f.status(qv::kStatusOk);
    // The column's name is not used: no buffer is offered for it, so that no
    // name is ever too long for the description.
    SQLSMALLINT type = 0, scale = 0, nullable = 0;
    SQLULEN size = 0;

    SQLRETURN rc = drv.SQLSetStmtOption(h, kDriverTypesOption, 1);
    if (rc != SQL_SUCCESS) {
        f.store(rc);
        f.status(kLibraryCodeRefused);
        return false;
    }
    for (jint c = 1; c <= numCols; ++c) {
        rc = drv.SQLDescribeCol(h, qv::uword(c), nullptr, 0, nullptr, &type, &size, &scale, &nullable);
        if (rc != SQL_SUCCESS) {
            f.store(rc);
            f.status(kLibraryCodeRefused);
            // Leave the statement reporting standard types, as every other
            // describe on it expects.
            drv.SQLSetStmtOption(h, kDriverTypesOption, 0);
            return false;
        }
        driverTypes[c - 1] = type;
    }
    rc = drv.SQLSetStmtOption(h, kDriverTypesOption, 0);
    if (rc != SQL_SUCCESS) {
        f.store(rc);
        f.status(kLibraryCodeRefused);
        return false;
    }
    for (jint c = 1; c <= numCols; ++c) {
        size = static_cast<SQLULEN>(-1);
        rc = drv.SQLDescribeCol(h, qv::uword(c), nullptr, 0, nullptr, &type, &size, &scale, &nullable);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
            f.store(rc);
            return false;
        }
        sqlTypes[c - 1] = type;
        lengths[c - 1] = lengthEntry(h, qv::uword(c), type, size);
    }
    return true;
}

// True when every int array holds numCols elements, so no write of the
// describe step lands outside a Java array.
bool arraysHold(JNIEnv* env, jint numCols, std::initializer_list<jintArray> arrays) {
    if (numCols < 0) return false;
    for (jintArray a : arrays)
        if (env->GetArrayLength(a) < numCols) return false;
    return true;
}

// How a column of a standard SQL type is bound: C type, buffer length, and
// whether the buffer is a new block of the record's own.
struct Binding {
    SQLSMALLINT cType;
    long long length;
    bool owned;
};

enum class Choice { Ok, Refused, AttributeFailed };

// The characters of the longest decimal text of that precision and scale:
// sign, the digits (at least one before the point) and the point.
long long decimalChars(SQLLEN precision, SQLLEN scale) {
    const long long p = std::clamp<long long>(precision, 0, kMostBufferBytes);
    const long long s = std::clamp<long long>(scale, -kMostBufferBytes, kMostBufferBytes);
    return 1 + std::max(p - s, 1LL) + (s > 0 ? s + 1 : 0);
}

Choice chooseBinding(SQLHSTMT h, SQLUSMALLINT column, jint sqlType, jint driverType, jint lengthsEntry, Binding& b,
                     SQLRETURN& rc) {
    const long long entry = std::max<long long>(lengthsEntry, 0);
    switch (sqlType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
        case SQL_WLONGVARCHAR: {
            // Sizes count characters, and a character outside the Basic
            // Multilingual Plane takes two UTF-16 units: 4 bytes each, and
            // the terminator.
            const long long chars = sqlType == SQL_WLONGVARCHAR ? entry : entry / 2;
            const long long bytes = chars == 0 ? kUnreportedBytes : std::min(4 * chars, kMostBufferBytes);
            b = {SQL_C_WCHAR, bytes + 2, true};
            return Choice::Ok;
        }
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            // Binary sizes say little about the values: psqlODBC reports
            // bytea with 0, the SQLite driver every blob with 255.
            b = {SQL_C_BINARY, std::min(std::max(entry, kUnreportedBytes), kMostBufferBytes), true};
            return Choice::Ok;
        case SQL_NUMERIC:
        case SQL_DECIMAL: {
            SQLLEN n = 0;
            rc = drv.SQLColAttributes(h, column, SQL_COLUMN_LENGTH, nullptr, 0, nullptr, &n);
            if (rc != SQL_SUCCESS) return Choice::AttributeFailed;
            // Every value of the declared precision and scale, with its sign,
            // leading zero and point: the length alone counts no leading
            // zero (numeric(5,5) holds -0.50000).
            SQLLEN precision = 0, scale = 0;
            drv.SQLColAttributes(h, column, SQL_COLUMN_PRECISION, nullptr, 0, nullptr, &precision);
            drv.SQLColAttributes(h, column, SQL_COLUMN_SCALE, nullptr, 0, nullptr, &scale);
            const long long chars =
                std::max({static_cast<long long>(n), decimalChars(precision, scale), kLeastDecimalChars});
            b = {SQL_C_CHAR, std::min(chars, kMostBufferBytes) + 1, true};
            return Choice::Ok;
        }
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
            // An integer column whose values may be wider than its type
            // (SQLite's) is bound 64 bits wide, so that every value arrives.
            if (driverType == RUVA70_TYPE_WIDE_INTEGER)
                b = {SQL_C_SBIGINT, 8, false};
            else if (sqlType == SQL_INTEGER)
                b = {SQL_C_SLONG, 4, false};
            else
                b = {SQL_C_SSHORT, 2, false};
            return Choice::Ok;
        case SQL_BIGINT:
            b = {SQL_C_SBIGINT, 8, false};
            return Choice::Ok;
        case SQL_REAL:
            b = {SQL_C_FLOAT, 4, false};
            return Choice::Ok;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            b = {SQL_C_DOUBLE, 8, false};
            return Choice::Ok;
        case SQL_DATE:
            b = {SQL_C_DATE, 6, false};
            return Choice::Ok;
        case SQL_TIME:
            // A time with a fraction of a second arrives as its text
            // ("13:45:56.789"): the ODBC time structure has no fraction.
            if (driverType == RUVA70_TYPE_TIME_TEXT)
                b = {SQL_C_CHAR, kTimeTextBytes, true};
            else
                b = {SQL_C_TIME, 6, false};
            return Choice::Ok;
        case SQL_TIMESTAMP:
            if (driverType == RUVA70_TYPE_TIMESTAMP || driverType == RUVA70_TYPE_DATETIME)
                b = {SQL_C_TIMESTAMP, 16, false};
            else
                b = {SQL_C_BINARY, RUVA70_TIMESTAMP_FORM_BYTES, true};
            return Choice::Ok;
        default:
            return Choice::Refused;  // SQL_BIT, type 0, below -10 or above 12
    }
}

bool bindableType(jint sqlType) {
    switch (sqlType) {
        case SQL_BIT:
        case 0:
            return false;
        default:
            return sqlType >= SQL_WLONGVARCHAR && sqlType <= SQL_VARCHAR;
    }
}

}  // namespace

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_allocAndBindAllCols(JNIEnv* env, jobject, jint, jint hStmt, jintArray sqlTypesA,
                                                          jintArray driverTypesA, jintArray lengthsA,
                                                          jintArray cTypesA, jbyteArray errorCode, jint numCols) {
    Frame f(env);
    jint* sqlTypes = f.ints(sqlTypesA);
    jint* driverTypes = f.ints(driverTypesA);
    jint* lengths = f.ints(lengthsA);
    jbyte* ec = f.errorCode(errorCode);
    jint* cTypes = f.ints(cTypesA);
    if (!sqlTypes || !driverTypes || !lengths || !ec || !cTypes) {
        if (f.nullArgument()) f.refuseNull();
        return 0;
    }
    auto fail = [&](jbyte status) {
        if (status) f.status(status);
        for (const void* a : {static_cast<const void*>(sqlTypes), static_cast<const void*>(driverTypes),
                              static_cast<const void*>(lengths), static_cast<const void*>(cTypes)})
            f.mode(a, JNI_ABORT);
        return jint{0};
    };
    if (!arraysHold(env, numCols, {sqlTypesA, driverTypesA, lengthsA, cTypesA})) {
        f.status(qv::kStatusOk);
        return fail(kLibraryCodeRefused);
    }
    const SQLHSTMT h = qv::hstmt(hStmt);
    if (!describeColumns(f, h, sqlTypes, driverTypes, lengths, numCols)) return fail(0);
    // A type that cannot be bound refuses the result set before any column
    // is bound.
    for (jint i = 0; i < numCols; ++i)
        if (!bindableType(sqlTypes[i])) return fail(kLibraryCodeRefused);

    BoundColumns* cols = qv::results::allocBoundColumns(numCols);
    if (!cols) return fail(qv::kStatusNoMemory);
    // On a failure after some columns were bound, the statement lets go of
    // them before their buffers are freed.
    auto unwind = [&](jint bound, jbyte status) {
        if (bound > 0) drv.SQLFreeStmt(h, SQL_UNBIND);
        qv::results::freeBoundColumns(f.env(), cols);
        return fail(status);
    };
    SQLRETURN rc = SQL_SUCCESS;
    for (jint i = 0; i < numCols; ++i) {
        const SQLUSMALLINT column = qv::uword(i + 1);
        BoundColBuffer& rec = cols->records()[i];
        ColumnStore& st = cols->stores()[i];
        rec.ownedBuffer = nullptr;
        Binding b{};
        SQLRETURN attrRc = SQL_SUCCESS;
        switch (chooseBinding(h, column, sqlTypes[i], driverTypes[i], lengths[i], b, attrRc)) {
            case Choice::Ok:
                break;
            case Choice::Refused:
                return unwind(i, kLibraryCodeRefused);
            case Choice::AttributeFailed:
                f.store(attrRc);
                return unwind(i, 0);
        }
        void* buffer = &rec.inlineValue;
        if (b.owned) {
            if (b.length < 0 || b.length > INT32_MAX) return unwind(i, qv::kStatusNoMemory);
            buffer = std::calloc(1, static_cast<size_t>(std::max(b.length, 1LL)));
            if (!buffer) return unwind(i, qv::kStatusNoMemory);
            rec.ownedBuffer = buffer;
            st.ownedCapacity = static_cast<SQLLEN>(b.length);
        }
        rc = drv.SQLBindCol(h, column, b.cType, buffer, static_cast<SQLLEN>(b.length), &rec.lengthInd);
        rec.lengthInd = static_cast<SQLLEN>(b.length);
        rec.bufferLength = static_cast<int32_t>(b.length);
        rec.cType = b.cType;
        rec.dataPtr = buffer;
        cTypes[i] = b.cType;
    }
    const jint token = qv::registry::issue(qv::registry::Kind::BoundColumns, cols);
    if (token == 0) return unwind(numCols, qv::kStatusNoMemory);
    f.store(rc);
    return token;
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_getStmtTypeInfo(JNIEnv* env, jobject, jint, jint hStmt, jintArray sqlTypesA,
                                                      jintArray driverTypesA, jintArray lengthsA,
                                                      jbyteArray errorCode, jint numCols) {
    Frame f(env);
    jint* sqlTypes = f.ints(sqlTypesA);
    jint* driverTypes = f.ints(driverTypesA);
    jint* lengths = f.ints(lengthsA);
    jbyte* ec = f.errorCode(errorCode);
    if (!sqlTypes || !driverTypes || !lengths || !ec) {
        if (f.nullArgument()) f.refuseNull();
        return;
    }
    bool ok = arraysHold(env, numCols, {sqlTypesA, driverTypesA, lengthsA});
    if (!ok)
        f.status(kLibraryCodeRefused);
    else
        ok = describeColumns(f, qv::hstmt(hStmt), sqlTypes, driverTypes, lengths, numCols);
    if (!ok)
        for (const void* a : {static_cast<const void*>(sqlTypes), static_cast<const void*>(driverTypes),
                              static_cast<const void*>(lengths)})
            f.mode(a, JNI_ABORT);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_justReBindAllCols(JNIEnv* env, jobject, jint hStmt, jint boundCols,
                                                        jint numCols, jbyteArray errorCode) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    f.store(SQL_SUCCESS);
    f.status(qv::kStatusOk);
    BoundColumns* cols = qv::results::boundColumns(boundCols);
    if (!cols || numCols < 0 || numCols > cols->numCols) return f.status(kLibraryCodeRefused);
    for (jint i = 0; i < numCols; ++i) {
        BoundColBuffer& rec = cols->records()[i];
        drv.SQLBindCol(qv::hstmt(hStmt), qv::uword(i + 1), rec.cType, rec.dataPtr, rec.bufferLength, &rec.lengthInd);
    }
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_bindCol(JNIEnv* env, jobject, jint hStmt, jint boundCols, jint cType,
                                              jint length, jint column, jbyteArray errorCode) {
    constexpr jint kRefused = -4;
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    qv::results::Column col = qv::results::boundColumn(boundCols, column);
    if (!col) {
        f.status(kLibraryCodeRefused);
        return kRefused;
    }
    BoundColBuffer& rec = *col.rec;
    ColumnStore& st = *col.store;
    long long bufferLength = length;
    bool owned = true;
    switch (cType) {
        case SQL_C_CHAR:
            bufferLength += 1;
            break;
        case SQL_C_WCHAR:
            bufferLength += 2;
            break;
        case SQL_C_BINARY:
            break;
        case SQL_C_SBIGINT:
        case SQL_C_SLONG:
        case SQL_C_SSHORT:
        case SQL_C_BIT:
        case SQL_C_FLOAT:
        case SQL_C_DOUBLE:
        case SQL_C_DATE:
        case SQL_C_TIME:
        case SQL_C_TIMESTAMP:
            owned = false;
            break;
        default:
            f.status(kLibraryCodeRefused);
            return kRefused;
    }
    if (owned) {
        // The column's own buffer again, if a read displaced it.
        if (st.held) {
            std::free(rec.ownedBuffer);
            rec.ownedBuffer = st.held;
            st.ownedCapacity = st.heldCapacity;
            st.held = nullptr;
            st.heldCapacity = 0;
            st.deposited = st.truncated = false;
        }
        // The driver will write up to bufferLength bytes there at every
        // fetch: the buffer must exist and hold them.
        if (!rec.ownedBuffer || bufferLength < 0 || bufferLength > st.ownedCapacity) {
            f.status(kLibraryCodeRefused);
            return kRefused;
        }
    }
    f.status(qv::kStatusOk);
    rec.dataPtr = owned ? rec.ownedBuffer : static_cast<void*>(&rec.inlineValue);
    rec.bufferLength = static_cast<int32_t>(bufferLength);
    rec.cType = static_cast<int16_t>(cType);
    f.store(drv.SQLBindCol(qv::hstmt(hStmt), qv::uword(column), rec.cType, rec.dataPtr, rec.bufferLength,
                           &rec.lengthInd));
    return qv::saturateToJint(rec.lengthInd);
}

QV_ENTRY(void) Java_com_quorvane_jdbc_JdbcOdbcClient_freeBoundColBuffers(JNIEnv* env, jobject, jint boundCols, jint) {
    // The stored count says how many records there are, whatever Java passes.
    if (boundCols == 0) return;
    qv::results::freeBoundColumns(
        env, static_cast<BoundColumns*>(qv::registry::release(qv::registry::Kind::BoundColumns, boundCols)));
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_colAttributes(JNIEnv* env, jobject, jint hStmt, jint column, jint descType,
                                                    jbyteArray errorCode) {
    SQLLEN value = 0;
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    f.store(
        drv.SQLColAttributes(qv::hstmt(hStmt), qv::uword(column), qv::uword(descType), nullptr, 0, nullptr, &value));
    return qv::saturateToJint(value);
}

QV_ENTRY(jshort)
Java_com_quorvane_jdbc_JdbcOdbcClient_colAttributesString(JNIEnv* env, jobject, jint hStmt, jint column,
                                                          jint descType, jbyteArray buffer) {
    const SQLSMALLINT size = qv::bufferLength16(qv::lengthOf(env, buffer));
    Frame f(env);
    jbyte* out = f.bytes(buffer);
    if (!out) return f.nullArgument() ? static_cast<jshort>(SQL_ERROR) : jshort{0};
    // A driver may write the numeric result even for a text attribute: it
    // gets a cell of its own rather than a null address.
    SQLLEN numeric = 0;
    SQLSMALLINT textLength = 0;
    // The text lands in a native area: an empty array has no address the
    // driver may write at, and a driver may write a number there.
    qv::OutArea text(out, static_cast<size_t>(size));
    const SQLRETURN rc = drv.SQLColAttributes(qv::hstmt(hStmt), qv::uword(column), qv::uword(descType), text.get(),
                                              size, &textLength, &numeric);
    text.finish(false);
    return rc;
}
