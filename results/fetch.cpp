// Fetch: advances the cursor, then hands the row's null markers and its
// values of the five numeric C types to the Java column objects.
#include "qvjdbc/codes.h"
#include "qvjdbc/driver.h"
#include "qvjdbc/idcache.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/results.h"

#include <algorithm>
#include <atomic>

using qv::BoundColBuffer;
using qv::drv;
using qv::ids;

namespace {

// Sets the cached value of one column in its Java object; the value (or
// the null marker) always lands before hasCachedValue. Returns false when a
// Java exception is pending.
bool cacheColumn(JNIEnv* env, jobjectArray objects, jint i, const BoundColBuffer& rec, bool checkEach) {
    const bool isNull = rec.lengthInd == SQL_NULL_DATA;
    if (!isNull) {
        switch (rec.cType) {
            case SQL_C_SSHORT:
            case SQL_C_SLONG:
            case SQL_C_SBIGINT:
            case SQL_C_FLOAT:
            case SQL_C_DOUBLE:
                break;
            default:
                return true;  // not cached: the object is not even read
        }
    }
    jobject obj = env->GetObjectArrayElement(objects, i);
    if (env->ExceptionCheck()) return false;
    // A missing column object has nowhere to take the value, nor has an
    // object of another class (whose fields these are not).
    if (!obj) return true;
    if (checkEach && !env->IsInstanceOf(obj, ids.boundCol)) {
        env->DeleteLocalRef(obj);
        return true;
    }
    const qv::InlineValue& v = rec.inlineValue;
    if (isNull) {
        env->SetBooleanField(obj, ids.cachedNull, JNI_TRUE);
    } else {
        switch (rec.cType) {
            case SQL_C_SSHORT:
                env->SetShortField(obj, ids.cachedShort, v.i16);
                break;
            case SQL_C_SLONG:
                env->SetIntField(obj, ids.cachedInt, v.i32);
                break;
            case SQL_C_SBIGINT:
                env->SetLongField(obj, ids.cachedLong, v.i64);
                break;
            case SQL_C_FLOAT:
                env->SetFloatField(obj, ids.cachedReal, v.f32);
                break;
            default:
                env->SetDoubleField(obj, ids.cachedDouble, v.f64);
                break;
        }
    }
    bool ok = !env->ExceptionCheck();
    if (ok) {
        env->SetBooleanField(obj, ids.hasCachedValue, JNI_TRUE);
        ok = !env->ExceptionCheck();
    }
    env->DeleteLocalRef(obj);
    return ok;
}

// The class JdbcOdbcBoundCol[], made once from the cached element class. A
// thread that loses the race to store it drops its own reference.
jclass boundColArrayClass(JNIEnv* env) {
    static std::atomic<jclass> cached{nullptr};
    jclass c = cached.load(std::memory_order_acquire);
    if (c) return c;
    jobjectArray probe = env->NewObjectArray(0, ids.boundCol, nullptr);
    if (!probe) {
        env->ExceptionClear();
        return nullptr;
    }
    jclass local = env->GetObjectClass(probe);
    auto global = static_cast<jclass>(env->NewGlobalRef(local));
    env->DeleteLocalRef(local);
    env->DeleteLocalRef(probe);
    if (!global) return nullptr;
    jclass expected = nullptr;
    if (!cached.compare_exchange_strong(expected, global, std::memory_order_acq_rel)) {
        env->DeleteGlobalRef(global);
        return expected;
    }
    return global;
}

}  // namespace

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_fetch(JNIEnv* env, jobject, jint hStmt, jint boundCols,
                                            jobjectArray boundColObjects, jint numCols) {
    const SQLRETURN rc = drv.SQLFetch(qv::hstmt(hStmt));
    qv::results::BoundColumns* cols = qv::results::boundColumns(boundCols);
    if (!cols) return rc;
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) qv::results::afterFetch(cols);
    if (rc != SQL_SUCCESS || !boundColObjects || !ids.boundCol) return rc;
    // The fields are written only into JdbcOdbcBoundCol objects: one check
    // of the array's class per call; an array of another class has each
    // element checked instead.
    jclass arrayClass = boundColArrayClass(env);
    const bool checkEach = !arrayClass || !env->IsInstanceOf(boundColObjects, arrayClass);
    // Never beyond the records the array holds.
    const jint n = std::min(numCols, static_cast<jint>(cols->numCols));
    for (jint i = 0; i < n; ++i)
        if (!cacheColumn(env, boundColObjects, i, cols->records()[i], checkEach)) return 0;
    return rc;
}
