// Fetch: advances the cursor, then hands the row's null markers and its
// values of the five numeric C types to the Java column objects.
#include "qvjdbc/codes.h"
#include "qvjdbc/driver.h"
#include "qvjdbc/idcache.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/results.h"

#include <algorithm>

using qv::BoundColBuffer;
using qv::drv;
using qv::ids;

namespace {

// Sets the cached value of one column in its Java object; the value (or
// the null marker) always lands before hasCachedValue. Returns false when a
// Java exception is pending.
bool cacheColumn(JNIEnv* env, jobjectArray objects, jint i, const BoundColBuffer& rec) {
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
    // A missing column object has nowhere to take the value.
    if (!obj) return true;
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

}  // namespace

QV_ENTRY(jint)
Java_com_quorvane_jdbc_JdbcOdbcClient_fetch(JNIEnv* env, jobject, jint hStmt, jint boundCols,
                                            jobjectArray boundColObjects, jint numCols) {
    const SQLRETURN rc = drv.SQLFetch(qv::hstmt(hStmt));
    qv::results::BoundColumns* cols = qv::results::boundColumns(boundCols);
    if (!cols) return rc;
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) qv::results::afterFetch(cols);
    if (rc != SQL_SUCCESS || !boundColObjects) return rc;
    // Never beyond the records the array holds.
    const jint n = std::min(numCols, static_cast<jint>(cols->numCols));
    for (jint i = 0; i < n; ++i)
        if (!cacheColumn(env, boundColObjects, i, cols->records()[i])) return 0;
    return rc;
}
