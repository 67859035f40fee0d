// Decimal and string results: the decimal text of a bound column as an exact
// java.math.BigDecimal, and a bound column's text as a java.lang.String.
#include "qvjdbc/codes.h"
#include "qvjdbc/idcache.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/results.h"

#include <cstdlib>

using qv::BoundColBuffer;
using qv::ids;

namespace {

// The character classes of the decimal text, as the C locale has them
// (whatever locale the JVM set for the process).
bool isSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// An unsigned little-endian base-256 magnitude of at most 31 bytes: its
// invariant is "validbytes < 32".
struct Magnitude {
    static constexpr int kBytes = 32;
    unsigned char bytes[kBytes] = {};
    int validbytes = 0;

    // magnitude := magnitude * 10 + digit (the first digit starts it, even
    // a 0). False when the value would need a 32nd byte.
    bool push(unsigned digit) {
        if (validbytes == 0) {
            bytes[0] = static_cast<unsigned char>(digit);
            validbytes = 1;
            return true;
        }
        unsigned carry = digit;
        for (int i = 0; i < validbytes; ++i) {
            const unsigned v = bytes[i] * 10u + carry;
            bytes[i] = static_cast<unsigned char>(v & 0xFF);
            carry = v >> 8;
        }
        if (carry == 0) return true;
        if (validbytes + 1 >= kBytes) return false;
        bytes[validbytes++] = static_cast<unsigned char>(carry);
        return true;
    }
};

// The parsed decimal text: sign, magnitude and scale.
struct Decimal {
    bool negative = false;
    Magnitude magnitude;
    int scale = 0;
};

// Parses the text by the accepted grammar: leading whitespace, an optional
// sign, digits with at most one point, trailing whitespace. Trailing zeros of
// the fraction are dropped; zeros of the integer part stay.
bool parseDecimal(const unsigned char* p, SQLLEN length, Decimal& d) {
    SQLLEN i = 0;
    while (i < length && isSpace(p[i])) ++i;
    const SQLLEN start = i;
    SQLLEN fraction = 0;  // 0 while no point was seen, then 1 + fraction digits
    SQLLEN zeros = 0;     // trailing zeros of the fraction
    for (; i < length && !isSpace(p[i]); ++i) {
        const unsigned char c = p[i];
        if (c == '.') {
            if (fraction) return false;
            fraction = 1;
        } else if (c == '-' || c == '+') {
            if (i != start) return false;
            d.negative = c == '-';
        } else if (isDigit(c)) {
            if (fraction) {
                ++fraction;
                zeros = c == '0' ? zeros + 1 : 0;
            }
        } else {
            return false;
        }
    }
    if (i == start) return false;
    for (SQLLEN k = i; k < length; ++k)
        if (!isSpace(p[k])) return false;
    const SQLLEN end = i - zeros;
    fraction -= zeros;
    for (SQLLEN k = start; k < end; ++k)
        if (isDigit(p[k]) && !d.magnitude.push(static_cast<unsigned>(p[k] - '0'))) return false;
    if (d.magnitude.validbytes == 0 && zeros == 0) return false;
    d.scale = fraction ? static_cast<int>(fraction - 1) : 0;
    return true;
}

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
    env->SetObjectField(retVal, ids.retValObj, s);
    env->DeleteLocalRef(s);
    if (text.truncated) env->SetByteField(retVal, ids.retValErr1, qv::kStatusUnusable);
}
