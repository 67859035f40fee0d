// The statement batch: a list of SQL texts run one after the other on one
// statement handle in a single call, with per-command update counts and the
// driver's warnings delivered to the Java statement.
#include "qvjdbc/batch.h"

#include "qvjdbc/codes.h"
#include "qvjdbc/driver.h"
#include "qvjdbc/frame.h"
#include "qvjdbc/jni_exports.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using qv::drv;

namespace qv {
namespace {

constexpr jint kFailedCommand = -3;  // the JDBC value of a failed batch command

// Decodes UTF-8 into UTF-16 units at out (room for as many units as the
// text has bytes: a sequence never gives more units than bytes); false when
// the bytes are not valid UTF-8. Sets the number of units written.
bool decodeUtf8(const unsigned char* s, jchar* out, std::size_t& units) {
    units = 0;
    while (*s) {
        uint32_t c = *s;
        int extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
        if (extra < 0) return false;
        if (extra > 0) c &= (0x3F >> extra);
        ++s;
        for (int i = 0; i < extra; ++i, ++s) {
            if ((*s & 0xC0) != 0x80) return false;
            c = (c << 6) | (*s & 0x3F);
        }
        if ((extra == 1 && c < 0x80) || (extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000) || c > 0x10FFFF ||
            (c >= 0xD800 && c <= 0xDFFF))
            return false;
        if (c >= 0x10000) {
            c -= 0x10000;
            out[units++] = static_cast<jchar>(0xD800 + (c >> 10));
            out[units++] = static_cast<jchar>(0xDC00 + (c & 0x3FF));
        } else {
            out[units++] = static_cast<jchar>(c);
        }
    }
    return true;
}

// Clears a pending exception; true when there was one.
bool clearPending(JNIEnv* env) {
    if (!env->ExceptionCheck()) return false;
    env->ExceptionClear();
    return true;
}

}  // namespace

jstring newStringFromDriverText(JNIEnv* env, const char* text) {
    // No C++ allocation (whose failure would throw across the entry point):
    // the units go to the stack, or to a heap block for a long text.
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const std::size_t n = std::strlen(text);
    jchar small[1024];
    jchar* wide = small;
    if (n > sizeof small / sizeof small[0]) {
        wide = static_cast<jchar*>(n <= SIZE_MAX / sizeof(jchar) ? std::malloc(n * sizeof(jchar)) : nullptr);
        if (!wide) {
            throwOutOfMemory(env);
            return nullptr;
        }
    }
    std::size_t units = 0;
    if (!decodeUtf8(bytes, wide, units)) {
        for (units = 0; units < n; ++units) wide[units] = bytes[units];
    }
    jstring s = env->NewString(wide, static_cast<jsize>(units));
    if (wide != small) std::free(wide);
    return s;
}

bool reportBatchWarnings(JNIEnv* env, jobject statement, SQLHSTMT hStmt, jint position) {
    if (!statement) return false;
    // Looked up on every call: the routine needs nothing from the ID cache.
    // A failed lookup ends the delivery; its exception is cleared so that the
    // batch can go on with JNI calls.
    jclass warningClass = env->FindClass("java/sql/SQLWarning");
    if (!warningClass) {
        clearPending(env);
        return false;
    }
    jmethodID warningInit = env->GetMethodID(warningClass, "<init>", "(Ljava/lang/String;Ljava/lang/String;I)V");
    if (!warningInit) {
        clearPending(env);
        env->DeleteLocalRef(warningClass);
        return false;
    }
    jclass statementClass = env->GetObjectClass(statement);
    jmethodID setWarning = env->GetMethodID(statementClass, "setWarning", "(Ljava/sql/SQLWarning;)V");
    if (!setWarning) {
        clearPending(env);
        env->DeleteLocalRef(statementClass);
        env->DeleteLocalRef(warningClass);
        return false;
    }
    bool prepared = false;
    jclass preparedClass = env->FindClass("com/quorvane/jdbc/JdbcOdbcPreparedStatement");
    if (preparedClass) {
        prepared = env->IsInstanceOf(statement, preparedClass);
        env->DeleteLocalRef(preparedClass);
    } else {
        // Not found: treated as a statement that is not prepared.
        clearPending(env);
    }

    char state[16] = {};
    char message[512] = {};
    char text[560] = {};
    SQLINTEGER nativeError = 0;
    SQLSMALLINT length = 0;
    bool delivered = true;
    while (drv.SQLError(SQL_NULL_HENV, SQL_NULL_HDBC, hStmt, reinterpret_cast<SQLCHAR*>(state), &nativeError,
                        reinterpret_cast<SQLCHAR*>(message), 511, &length) == SQL_SUCCESS) {
        message[511] = '\0';
        if (prepared)
            std::snprintf(text, sizeof text, "Batch command warning: %s", message);
        else
            std::snprintf(text, sizeof text, "Batch command %d warning: %s", static_cast<int>(position), message);
        jstring reason = newStringFromDriverText(env, text);
        jstring sqlState = reason ? newStringFromDriverText(env, state) : nullptr;
        jobject warning =
            sqlState ? env->NewObject(warningClass, warningInit, reason, sqlState, nativeError) : nullptr;
        if (warning) env->CallVoidMethod(statement, setWarning, warning);
        if (warning) env->DeleteLocalRef(warning);
        if (sqlState) env->DeleteLocalRef(sqlState);
        if (reason) env->DeleteLocalRef(reason);
        if (!warning || clearPending(env)) {
            clearPending(env);
            delivered = false;
            break;
        }
        std::memset(state, 0, sizeof state);
        std::memset(message, 0, sizeof message);
    }
    env->DeleteLocalRef(statementClass);
    env->DeleteLocalRef(warningClass);
    return delivered;
}

}  // namespace qv

QV_ENTRY(jshort)
Java_com_quorvane_jdbc_JdbcOdbcClient_execStatementBatch(JNIEnv* env, jobject, jint hStmt, jobject statement,
                                                         jobjectArray sqlTexts, jintArray updateCounts) {
    const SQLHSTMT h = qv::hstmt(hStmt);
    if (!updateCounts) return qv::packBatch(qv::kStatusUnusable, 0);
    const jsize n = env->GetArrayLength(updateCounts);
    // Every command must be there before the first one runs: a missing text
    // array, a shorter one, or a null text is refused and nothing runs.
    if (n > 0) {
        if (!sqlTexts || env->GetArrayLength(sqlTexts) < n) return qv::packBatch(qv::kStatusUnusable, 0);
        for (jsize i = 0; i < n; ++i) {
            jobject text = env->GetObjectArrayElement(sqlTexts, i);
            if (!text) return qv::packBatch(env->ExceptionCheck() ? qv::kStatusNoMemory : qv::kStatusUnusable, 0);
            env->DeleteLocalRef(text);
        }
    }
    qv::Frame f(env);
    jint* counts = f.ints(updateCounts);
    if (!counts) return qv::packBatch(qv::kStatusNoMemory, 0);

    SQLLEN rows = 0;
    SQLSMALLINT cols = 0;
    SQLRETURN last = SQL_SUCCESS;
    for (jsize i = 0; i < n; ++i) {
        auto text = static_cast<jstring>(env->GetObjectArrayElement(sqlTexts, i));
        qv::UtfChars sql(env, text);
        if (!sql) {
            counts[i] = qv::kFailedCommand;
            return qv::packBatch(qv::kStatusNoMemory, 0);
        }
        last = drv.SQLExecDirect(h, sql.sql(), SQL_NTS);
        if (last == SQL_ERROR) {
            counts[i] = qv::kFailedCommand;
            return qv::packBatch(qv::kStatusOk, SQL_ERROR);
        }
        if (last == SQL_SUCCESS_WITH_INFO) qv::reportBatchWarnings(env, statement, h, i);
        sql.release();
        env->DeleteLocalRef(text);
        drv.SQLRowCount(h, &rows);
        counts[i] = qv::saturateToJint(rows);
        drv.SQLNumResultCols(h, &cols);
        if (cols > 0) {
            drv.SQLFreeStmt(h, SQL_CLOSE);
            counts[i] = qv::kFailedCommand;
            return qv::packBatch(qv::kStatusResultSet, 0);
        }
    }
    return qv::packBatch(qv::kStatusOk, last);
}
