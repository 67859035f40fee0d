// Streams: a column value converted in place in a Java byte array for a byte
// stream (hexadecimal text, wide characters, or 16-bit units swapped),
// taken from the bound buffer or read with SQLGetData.
#include "qvjdbc/codes.h"
#include "qvjdbc/frame.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/jni_util.h"
#include "qvjdbc/results.h"

#include <algorithm>
#include <cstring>

using qv::BoundColBuffer;
using qv::Frame;

using qv::results::renderStreamBytes;
using qv::results::streamFactor;

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_getStream(JNIEnv* env, jobject, jint boundCols, jbyteArray buffer,
                                                jbyteArray errorCode, jint column, jint streamType) {
    const jsize length = qv::lengthOf(env, buffer);
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    qv::results::Column col = qv::results::boundColumn(boundCols, column);
    if (!col) return f.status(qv::kStatusUnusable);
    f.status(qv::kStatusOk);
    jbyte* out = f.bytes(buffer);
    if (!out) {
        // A null array is refused; after a failed pin errorCode still
        // carries what was stored (released with mode 0).
        if (f.nullArgument())
            f.refuseNull();
        else
            f.clearFailure();
        return;
    }
    if (col.rec->lengthInd == SQL_NULL_DATA) return f.status(qv::kStatusNull);
    const qv::results::HeldValue held = qv::results::heldValue(*col.rec, *col.store);
    // What the record holds, and of that what the array takes once converted.
    SQLLEN n = held.data ? held.size : 0;
    const SQLLEN room = length / streamFactor(streamType);
    if (n > room || held.truncated) f.status(qv::kStatusUnusable);
    n = std::min(n, room);
    if (n > 0) std::memcpy(out, held.data, static_cast<size_t>(n));
    renderStreamBytes(reinterpret_cast<unsigned char*>(out), static_cast<jint>(n), streamType);
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_getDataStream(JNIEnv* env, jobject, jint hStmt, jint boundCols, jint column,
                                                    jint cType, jbyteArray buffer, jint bufferSize, jint streamType,
                                                    jbyteArray errorCode) {
    const jsize length = qv::lengthOf(env, buffer);
    Frame f(env);
    jbyte* out = f.bytes(buffer);
    if (!out) {
        if (f.nullArgument()) qv::results::refuseRead(env, errorCode);
        return 0;
    }
    // The driver writes bufferSize bytes into the array, and the conversion
    // expands what it stores (character data without its terminator) by the
    // stream type's factor: both must fit.
    const int factor = streamFactor(streamType);
    const SQLSMALLINT type = qv::sword(cType);
    bool unused = false;
    const long long rendered =
        static_cast<long long>(qv::results::storedBytes(type, bufferSize, SQL_NO_TOTAL, &unused)) * factor;
    if (bufferSize < 0 || bufferSize > length || rendered > length) {
        f.mode(out, JNI_ABORT);
        qv::results::refuseRead(env, errorCode);
        return 0;
    }
    SQLLEN indicator = 0;
    const jint rr =
        qv::results::readColumnData(env, hStmt, boundCols, errorCode, column, out, bufferSize, type, &indicator);
    if (rr != 0) {
        f.mode(out, JNI_ABORT);
        return rr == -1 ? 0 : qv::saturateToJint(indicator);
    }
    // Only the bytes SQLGetData stored are converted; the indicator still
    // reports the value's remaining length.
    bool truncated = false;
    const SQLLEN stored = qv::results::storedBytes(type, bufferSize, indicator, &truncated);
    renderStreamBytes(reinterpret_cast<unsigned char*>(out), static_cast<jint>(stored), streamType);
    return qv::saturateToJint(indicator);
}
