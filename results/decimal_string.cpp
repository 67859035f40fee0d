// Decimal and string results: the decimal text of a bound column as an exact
// java.math.BigDecimal, and a bound column's text as a java.lang.String.
#include "qvjdbc/codes.h"
#include "qvjdbc/idcache.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/results.h"
#include "decimal_text.h"

#include <cstdlib>

using qv::BoundColBuffer;
using qv::ids;

namespace {

using qv::results::Decimal;
using qv::results::Magnitude;
using qv::results::parseDecimal;

jobject newBigDecimal(JNIEnv* env, const Decimal& d) {
    const Magnitude& m = d.magnitude;
    jbyteArray bytes = env->NewByteArray(m.validbytes);
    if (!bytes) return nullptr;
    jbyte bigEndian[Magnitude::kBytes];
    for (int i = 0; i < m.validbytes; ++i) bigEndian[i] = static_cast<jbyte>(m.bytes[m.validbytes - 1 - i]);
    env->SetByteArrayRegion(bytes, 0, m.validbytes, bigEndian);
    // A zero value keeps its sign as +1 or -1: BigInteger takes that as zero.
    jobject unscaled = env->NewObject(ids.bigInteger, ids.bigIntegerInit, d.negative ? -1 : 1, bytes);
    env->DeleteLocalRef(bytes);
    if (!unscaled) return nullptr;
    jobject result = env->NewObject(ids.bigDecimal, ids.bigDecimalInit, unscaled, static_cast<jint>(d.scale));
    env->DeleteLocalRef(unscaled);
    return result;
}

}  // namespace

QV_ENTRY(jobject)
Java_com_quorvane_jdbc_JdbcOdbcClient_getBigDecimal(JNIEnv* env, jobject, jint boundCols, jint column) {
    qv::results::Column col = qv::results::boundColumn(boundCols, column);
    if (!col) {
        qv::throwAssignmentError(env);
        return nullptr;
    }
    if (col.rec->lengthInd == SQL_NULL_DATA) return nullptr;
    const qv::results::HeldValue text = qv::results::heldValue(*col.rec, *col.store);
    // A value that the buffer holds only in part is not the number it reads
    // as: refused like a malformed text.
    Decimal d;
    if (!text.data || text.truncated || !parseDecimal(text.data, text.size, d)) {
        qv::throwAssignmentError(env);
        return nullptr;
    }
    return newBigDecimal(env, d);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_getString(JNIEnv* env, jobject, jint boundCols, jint column, jobject retVal,
                                                jint cType) {
    if (!retVal) return;
    env->SetByteField(retVal, ids.retValErr0, 0);
    auto refuse = [&](jbyte code) {
        env->SetObjectField(retVal, ids.retValObj, nullptr);
        env->SetByteField(retVal, ids.retValErr1, code);
    };
    qv::results::Column col = qv::results::boundColumn(boundCols, column);
    if (!col) return refuse(qv::kStatusUnusable);
    if (col.rec->lengthInd == SQL_NULL_DATA) return refuse(qv::kStatusNull);
    // A truncated value gives the part the buffer holds, with err1 saying
    // that the value did not fit.
    const qv::results::HeldValue text = qv::results::heldValue(*col.rec, *col.store);
    if (!text.data) return refuse(qv::kStatusUnusable);
    jstring s = nullptr;
    if (cType == SQL_C_WCHAR) {
        s = env->NewString(reinterpret_cast<const jchar*>(text.data), static_cast<jsize>(text.size / 2));
    } else {
        constexpr SQLLEN kFixed = 128;
        jchar fixed[kFixed];
        jchar* wide = fixed;
        if (text.size >= kFixed) {
            wide = static_cast<jchar*>(std::malloc(static_cast<size_t>(text.size) * sizeof(jchar)));
            if (!wide) return refuse(qv::kStatusNoMemory);
        }
        for (SQLLEN i = 0; i < text.size; ++i) wide[i] = text.data[i];
        s = env->NewString(wide, static_cast<jsize>(text.size));
        if (wide != fixed) std::free(wide);
    }
    if (!s) return;
    // The string's local reference goes with the call's frame.
    env->SetObjectField(retVal, ids.retValObj, s);
    if (text.truncated) env->SetByteField(retVal, ids.retValErr1, qv::kStatusUnusable);
}
