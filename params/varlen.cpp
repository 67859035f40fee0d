// The setters of values that vary in length: strings (UTF-16 or 8-bit text)
// and byte arrays, copied into the parameter's owned buffer, which grows and
// is rebound only when a value needs it.
#include "local.h"

#include "qvjdbc/frame.h"
#include "qvjdbc/jni_exports.h"

#include <algorithm>

using qv::Frame;
using qv::params::ParamArray;

namespace {

// Copies a string's units into 8-bit text through a small stack window, so
// that no copy of the characters is made on the heap. Returns false at the
// first unit above 255; the bytes before it are written.
bool copyNarrow(JNIEnv* env, jstring s, jsize len, char* out) {
    jchar window[256];
    for (jsize at = 0; at < len;) {
        const jsize n = std::min<jsize>(len - at, static_cast<jsize>(sizeof window / sizeof window[0]));
        env->GetStringRegion(s, at, n, window);
        for (jsize i = 0; i < n; ++i) {
            if (window[i] > 255) return false;
            out[at + i] = static_cast<char>(window[i]);
        }
        at += n;
    }
    return true;
}

}  // namespace

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_setString(JNIEnv* env, jobject, jint hStmt, jint params, jstring value,
                                                jbyteArray errorCode, jint paramNumber) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    ParamArray* a = qv::params::findFor(params, hStmt);
    qv::BoundParam* r = a ? a->record(paramNumber) : nullptr;
    if (!r) return f.status(qv::kStatusUnusable);
    if (!value) return f.refuseNull();
    f.status(qv::kStatusOk);
    const jsize len = env->GetStringLength(value);

    // The C type and buffer the value needs.
    SQLSMALLINT cType = static_cast<SQLSMALLINT>(r->cType);
    bool newBuffer = true;
    if (cType != SQL_C_WCHAR && cType != SQL_C_CHAR) {
        cType = qv::params::isCharacterSqlType(r->sqlType) ? SQL_C_WCHAR : SQL_C_CHAR;
        newBuffer = true;
    }
    const int64_t wanted = cType == SQL_C_WCHAR ? 2 * static_cast<int64_t>(len) + 2 : static_cast<int64_t>(len) + 1;
    const int32_t needed = qv::params::checkedBufferLength(wanted);
    if (needed < 0) return f.status(qv::kStatusNoMemory);
    if (cType == r->cType) newBuffer = !r->ownedBuffer || r->bufferLength < needed;
    const int32_t length = newBuffer ? needed : r->bufferLength;

    // The binding's SQL type, column size and scale.
    SQLSMALLINT sqlType = r->sqlType;
    int32_t columnSize = r->columnSize;
    SQLSMALLINT scale = r->scale;
    bool rebind = newBuffer;
    if (r->typeFromValue == 1) {
        sqlType = cType == SQL_C_WCHAR ? SQL_WCHAR : SQL_CHAR;
        columnSize = len;
        scale = 0;
        // The binding's column size covers every value set since it was
        // made; a longer value, a change of SQL type, or a previous value
        // without a length (null) needs a new one.
        const SQLLEN previous = r->lengthInd < 0 ? -1 : (cType == SQL_C_WCHAR ? r->lengthInd / 2 : r->lengthInd);
        rebind = rebind || sqlType != a->boundSqlType(paramNumber) || previous < 0 || len > previous;
    }

    void* buffer = r->ownedBuffer;
    if (rebind) {
        if (newBuffer) {
            buffer = qv::params::allocateBuffer(length);
            if (!buffer) return f.status(qv::kStatusNoMemory);
        }
        SQLRETURN rc = qv::params::bindInput(qv::hstmt(hStmt), paramNumber, cType, sqlType, columnSize, scale, buffer,
                                             length, &r->lengthInd);
        f.store(rc);
        if (!SQL_SUCCEEDED(rc)) {
            if (newBuffer) qv::params::memory.release(buffer);
            return;
        }
        qv::params::adoptBuffer(*r, buffer, length);
        r->cType = cType;
        r->sqlType = sqlType;
        a->boundSqlType(paramNumber) = sqlType;
    }

    // The value, straight from the string into the buffer.
    if (cType == SQL_C_WCHAR) {
        r->lengthInd = 2 * static_cast<SQLLEN>(len);
        auto* units = static_cast<jchar*>(buffer);
        env->GetStringRegion(value, 0, len, units);
        units[len] = 0;
    } else {
        r->lengthInd = len;
        auto* text = static_cast<char*>(buffer);
        if (!copyNarrow(env, value, len, text)) return f.status(qv::kStatusAbove255);
        text[len] = 0;
    }
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_setBytes(JNIEnv* env, jobject, jint hStmt, jint params, jbyteArray value,
                                               jbyteArray errorCode, jint paramNumber) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    if (!value) return f.refuseNull();
    const jsize len = env->GetArrayLength(value);
    ParamArray* a = qv::params::findFor(params, hStmt);
    qv::BoundParam* r = a ? a->record(paramNumber) : nullptr;
    if (!r) return f.status(qv::kStatusUnusable);
    f.status(qv::kStatusOk);

    const SQLSMALLINT sqlType = r->typeFromValue == 1 ? static_cast<SQLSMALLINT>(SQL_BINARY) : r->sqlType;
    bool rebind = true;
    if (r->cType == SQL_C_BINARY && r->ownedBuffer && r->bufferLength >= 0) {
        rebind = r->bufferLength < len || (r->typeFromValue == 1 && len > r->lengthInd) ||
                 // A binding of another SQL type (the driver's timestamp form)
                 // would not carry these bytes as they are.
                 a->boundSqlType(paramNumber) != sqlType;
    }
    if (rebind) {
        // At least the old buffer's length, so that the buffer never shrinks;
        // a buffer that already has that length is bound again as it is.
        const int32_t length = std::max<int32_t>(len, r->bufferLength);
        const bool reuse = r->ownedBuffer && length == r->bufferLength;
        void* buffer = reuse ? r->ownedBuffer : qv::params::allocateBuffer(length);
        if (!buffer) return f.status(qv::kStatusNoMemory);
        SQLRETURN rc = qv::params::bindInput(qv::hstmt(hStmt), paramNumber, SQL_C_BINARY, sqlType, len, 0, buffer,
                                             length, &r->lengthInd);
        f.store(rc);
        if (!SQL_SUCCEEDED(rc)) {
            if (!reuse) qv::params::memory.release(buffer);
            return;
        }
        qv::params::adoptBuffer(*r, buffer, length);
        r->cType = SQL_C_BINARY;
        r->sqlType = sqlType;
        a->boundSqlType(paramNumber) = sqlType;
    }
    r->lengthInd = len;
    env->GetByteArrayRegion(value, 0, len, static_cast<jbyte*>(r->ownedBuffer));
}
