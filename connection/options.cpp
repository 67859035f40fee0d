// Connection and statement options, driver information, the data store's
// state, native SQL text and cursor names. Each method is one ODBC call in
// the common frame; no option, information type or value is interpreted.
#include "qvjdbc/codes.h"
#include "qvjdbc/driver.h"
#include "qvjdbc/frame.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/jni_util.h"

#include <algorithm>
#include <cstring>

using qv::drv;
using qv::Frame;

namespace {

// Numeric options and information values land in a zeroed 8-byte cell: some
// options and information types write 8 bytes whatever the length says.
// Java receives the low 32 bits.
union ValueCell {
    SQLULEN wide;
    SQLUINTEGER u32;
    SQLUSMALLINT u16;
};

// Option strings are written without a length: the driver may write up to
// SQL_MAX_OPTION_STRING_LENGTH bytes and a terminator (more for some
// drivers), so they land in a native buffer and reach Java truncated to the
// array and terminated.
constexpr size_t kOptionStringScratch = 4096;

// A connection option's value read with the numeric getter: options whose
// value is text (105, 106, 109 and any the driver answers with text) are
// written without a length, so the cell has the room of the largest option
// text a driver writes. Java receives the low 32 bits of its start.
union OptionCell {
    SQLULEN wide;
    SQLUINTEGER u32;
    char text[4096];
};

// Options whose value ODBC defines as a pointer or a string. The numeric
// setters would hand the driver a Java int as that pointer, which it reads or
// writes at a later call: they are refused there (the string setter and the
// getters serve them).
bool pointerValued(SQLUSMALLINT option) {
    switch (option) {
        // Connection options: trace file, translation library, current
        // catalog, quiet-mode window, DTC and XA enlistment, and the
        // asynchronous-notification pointers.
        case 105:
        case 106:
        case 109:
        case 111:
        case 118:
        case 119:
        case 120:
        case 121:
        case 1207:
        case 1208:
        // libruva70's current schema (RUVA70_CONN_SCHEMA), a name.
        case 3003:
        // Statement options: bookmark, binding offset, operation, status and
        // count pointers, asynchronous-notification pointers, descriptors.
        case 16:
        case 17:
        case 19:
        case 20:
        case 21:
        case 23:
        case 24:
        case 25:
        case 26:
        case 29:
        case 30:
        case 31:
        case 10010:
        case 10011:
        case 10012:
        case 10013:
            return true;
        default:
            return false;
    }
}

// Refuses a call whose array argument is null, or returns quietly when a pin
// failed (the JVM's exception is pending).
void refuseIfNull(Frame& f) {
    if (f.nullArgument()) f.refuseNull();
}

}  // namespace

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_getConnectOption(JNIEnv* env, jobject, jint hDbc, jint option,
                                                       jbyteArray errorCode) {
    OptionCell value{};
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    f.store(drv.SQLGetConnectOption(qv::hdbc(hDbc), qv::uword(option), &value));
    return static_cast<jint>(value.u32);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_getConnectOptionString(JNIEnv* env, jobject, jint hDbc, jint option,
                                                             jbyteArray buffer, jbyteArray errorCode) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    jbyte* out = f.bytes(buffer);
    if (!out) return refuseIfNull(f);
    const jsize outSize = env->GetArrayLength(buffer);
    alignas(8) char scratch[kOptionStringScratch] = {};
    f.store(drv.SQLGetConnectOption(qv::hdbc(hDbc), qv::uword(option), scratch));
    scratch[kOptionStringScratch - 1] = '\0';
    if (outSize > 0) {
        size_t n = std::min(std::strlen(scratch), static_cast<size_t>(outSize) - 1);
        std::memcpy(out, scratch, n);
        out[n] = 0;
    }
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_setConnectOption(JNIEnv* env, jobject, jint hDbc, jint option, jint value,
                                                       jbyteArray errorCode) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    if (pointerValued(qv::uword(option))) return f.refuseNull();
    f.store(drv.SQLSetConnectOption(qv::hdbc(hDbc), qv::uword(option), qv::udword(value)));
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_setConnectOptionString(JNIEnv* env, jobject, jint hDbc, jint option,
                                                             jbyteArray value, jbyteArray errorCode) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    jbyte* text = f.bytes(value);
    if (!text) return refuseIfNull(f);
    if (!qv::terminatedText(env, value, text)) return f.refuseNull();
    f.store(drv.SQLSetConnectOption(qv::hdbc(hDbc), qv::uword(option),
                                    static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(text))));
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_getStmtOption(JNIEnv* env, jobject, jint hStmt, jint option,
                                                    jbyteArray errorCode) {
    ValueCell value{};
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    f.store(drv.SQLGetStmtOption(qv::hstmt(hStmt), qv::uword(option), &value));
    return static_cast<jint>(value.u32);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_setStmtOption(JNIEnv* env, jobject, jint hStmt, jint option, jint value,
                                                    jbyteArray errorCode) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    if (pointerValued(qv::uword(option))) return f.refuseNull();
    f.store(drv.SQLSetStmtOption(qv::hstmt(hStmt), qv::uword(option), qv::udword(value)));
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_getInfo(JNIEnv* env, jobject, jint hDbc, jint infoType, jbyteArray errorCode) {
    ValueCell value{};
    SQLSMALLINT length = 0;
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    f.store(drv.SQLGetInfo(qv::hdbc(hDbc), qv::uword(infoType), &value, 4, &length));
    return static_cast<jint>(value.u32);
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_getInfoShort(JNIEnv* env, jobject, jint hDbc, jint infoType,
                                                   jbyteArray errorCode) {
    ValueCell value{};
    SQLSMALLINT length = 0;
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    f.store(drv.SQLGetInfo(qv::hdbc(hDbc), qv::uword(infoType), &value, 2, &length));
    return static_cast<jint>(value.u16);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_getInfoString(JNIEnv* env, jobject, jint hDbc, jint infoType, jbyteArray buffer,
                                                    jbyteArray errorCode) {
    SQLSMALLINT length = 0;
    const SQLSMALLINT size = qv::bufferLength16(qv::lengthOf(env, buffer));
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    jbyte* out = f.bytes(buffer);
    if (!out) return refuseIfNull(f);
    // A numeric information type is written at its own size whatever the
    // length says: the value lands in a native area and reaches Java cut to
    // the array.
    qv::OutArea value(out, static_cast<size_t>(size));
    const SQLRETURN rc = drv.SQLGetInfo(qv::hdbc(hDbc), qv::uword(infoType), value.get(), size, &length);
    value.finish(SQL_SUCCEEDED(rc));
    f.store(rc);
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDataStoreState(JNIEnv* env, jobject, jint hDbc, jbyteArray errorCode) {
    ValueCell value{};
    SQLSMALLINT length = 0;
    Frame f(env);
    if (!f.errorCode(errorCode)) return 0;
    f.store(drv.SQLGetInfo(qv::hdbc(hDbc), RUVA70_INFO_DATA_STORE_STATE, &value, 4, &length));
    return static_cast<jint>(value.u32);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_nativeSql(JNIEnv* env, jobject, jint hDbc, jbyteArray sqlIn, jbyteArray sqlOut,
                                                jbyteArray errorCode) {
    const SQLINTEGER outSize = qv::lengthOf(env, sqlOut);
    SQLINTEGER outLength = 0;
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    jbyte* in = f.bytes(sqlIn);
    jbyte* out = f.bytes(sqlOut);
    if (!in || !out) return refuseIfNull(f);
    if (!qv::terminatedText(env, sqlIn, in)) return f.refuseNull();
    qv::OutArea text(out, static_cast<size_t>(outSize));
    if (!text.get()) return f.status(qv::kStatusNoMemory);
    const SQLRETURN rc = drv.SQLNativeSql(qv::hdbc(hDbc), reinterpret_cast<SQLCHAR*>(in), SQL_NTS,
                                          reinterpret_cast<SQLCHAR*>(text.get()), outSize, &outLength);
    text.finish(SQL_SUCCEEDED(rc));
    f.store(rc);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_getCursorName(JNIEnv* env, jobject, jint hStmt, jbyteArray buffer,
                                                    jbyteArray errorCode) {
    SQLSMALLINT length = 0;
    const SQLSMALLINT size = qv::bufferLength16(qv::lengthOf(env, buffer));
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    jbyte* out = f.bytes(buffer);
    if (!out) return refuseIfNull(f);
    qv::OutArea text(out, static_cast<size_t>(size));
    const SQLRETURN rc =
        drv.SQLGetCursorName(qv::hstmt(hStmt), reinterpret_cast<SQLCHAR*>(text.get()), size, &length);
    text.finish(SQL_SUCCEEDED(rc));
    f.store(rc);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_setCursorName(JNIEnv* env, jobject, jint hStmt, jbyteArray cursorName,
                                                    jbyteArray errorCode) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    jbyte* name = f.bytes(cursorName);
    if (!name) return refuseIfNull(f);
    if (!qv::terminatedText(env, cursorName, name)) return f.refuseNull();
    f.store(drv.SQLSetCursorName(qv::hstmt(hStmt), reinterpret_cast<SQLCHAR*>(name), SQL_NTS));
}
