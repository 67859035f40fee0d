// Fetch: advances the cursor, then hands the row's null markers and its
// values of the five numeric C types to the Java column objects.
//
// This runs once per row, so its JNI traffic is kept to what Java can
// observe: per cached column one element read and two field stores. With
// valid field IDs, an element index inside the array (checked once per call)
// and the object array's declared element class, none of those calls can
// raise, so they are not followed by ExceptionCheck; and a row of up to
// kLocalRefBudget columns stays within the local references every native
// frame is guaranteed, so their references are left to the call's return.
// An array shorter than the columns to cache takes the checked path, which
// raises the JVM's index exception at the first column beyond its end, and
// so does an array of another class than JdbcOdbcBoundCol[], whose elements
// are then each checked (the fields are written only into JdbcOdbcBoundCol
// objects).
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

// Local references a native frame always has (JNI guarantees 16), less a few
// for the caller's arguments.
constexpr jint kLocalRefBudget = 12;

bool isCached(const BoundColBuffer& rec) {
    if (rec.lengthInd == SQL_NULL_DATA) return true;
    switch (rec.cType) {
        case SQL_C_SSHORT:
        case SQL_C_SLONG:
        case SQL_C_SBIGINT:
        case SQL_C_FLOAT:
        case SQL_C_DOUBLE:
            return true;
        default:
            return false;  // not cached: the object is not even read
    }
}

// The value (or the null marker) of one column into its object; the value
// always lands before hasCachedValue.
void storeColumn(JNIEnv* env, jobject obj, const BoundColBuffer& rec) {
    const qv::InlineValue& v = rec.inlineValue;
    if (rec.lengthInd == SQL_NULL_DATA) {
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
    env->SetBooleanField(obj, ids.hasCachedValue, JNI_TRUE);
}

// The checked form, for an array shorter than the columns or of another
// class: stops with 0 at the first pending exception (the index exception of
// the first cached column beyond the array's end).
jint cacheChecked(JNIEnv* env, jobjectArray objects, jint n, const BoundColBuffer* recs, SQLRETURN rc,
                  bool checkEach) {
    for (jint i = 0; i < n; ++i) {
        if (!isCached(recs[i])) continue;
        jobject obj = env->GetObjectArrayElement(objects, i);
        if (env->ExceptionCheck()) return 0;
        // A missing column object has nowhere to take the value, nor has an
        // object of another class (whose fields these are not).
        if (!obj) continue;
        if (checkEach && !env->IsInstanceOf(obj, ids.boundCol)) {
            env->DeleteLocalRef(obj);
            continue;
        }
        storeColumn(env, obj, recs[i]);
        env->DeleteLocalRef(obj);
        if (env->ExceptionCheck()) return 0;
    }
    return rc;
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
    // Never beyond the records the array holds.
    const jint n = std::min(numCols, static_cast<jint>(cols->numCols));
    if (n <= 0) return rc;
    const BoundColBuffer* recs = cols->records();
    // One check of the array's class per call; an array of another class
    // has each element checked instead.
    jclass arrayClass = boundColArrayClass(env);
    const bool checkEach = !arrayClass || !env->IsInstanceOf(boundColObjects, arrayClass);
    if (checkEach || env->GetArrayLength(boundColObjects) < n)
        return cacheChecked(env, boundColObjects, n, recs, rc, checkEach);
    const bool keepRefs = n <= kLocalRefBudget;
    for (jint i = 0; i < n; ++i) {
        if (!isCached(recs[i])) continue;
        jobject obj = env->GetObjectArrayElement(boundColObjects, i);
        if (!obj) continue;
        storeColumn(env, obj, recs[i]);
        if (!keepRefs) env->DeleteLocalRef(obj);
    }
    return rc;
}
