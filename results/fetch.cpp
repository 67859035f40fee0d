// Fetch: advances the cursor, then hands the row's null markers and its
// values of the five numeric C types to the Java column objects.
//
// This runs once per row, so its JNI traffic is kept to what Java can
// observe: per cached column two field stores, and one element read per
// column and array (the column objects are kept while fetches pass the same
// array). The
// array's class is the one the Java declaration names (JdbcOdbcBoundCol[]:
// the JVM refuses any other from Java code, bytecode, reflection and method
// handles alike), so every element is a column object or null, and with
// valid field IDs the field stores cannot raise. An element read raises
// only for an index beyond the array's end, and then returns null: a null
// element is the one case that asks ExceptionCheck, so an array shorter
// than the columns leaves the JVM's index exception pending and the call
// returns 0 at the first cached column beyond its end, without a length
// query per call. A row of up to kLocalRefBudget columns stays within the
// local references every native frame is guaranteed, so their references
// are left to the call's return.
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

// A row's values into the column objects kept for the array, each element
// read (and kept as a global reference) the first time its column is cached.
// The Java layer never replaces an element of its array: a caller that does
// so between fetches has the values land in the object read before.
jint storeKept(JNIEnv* env, qv::results::BoundColumns* cols, jobjectArray array, jint n, SQLRETURN rc) {
    const BoundColBuffer* recs = cols->records();
    qv::results::ColumnStore* stores = cols->stores();
    for (jint i = 0; i < n; ++i) {
        if (!isCached(recs[i])) continue;
        qv::results::ColumnStore& st = stores[i];
        if (!st.columnRead) {
            jobject local = env->GetObjectArrayElement(array, i);
            if (!local) {
                if (env->ExceptionCheck()) return 0;
                st.columnRead = true;
                continue;
            }
            st.column = env->NewGlobalRef(local);
            // Without memory for the reference, this row's value goes to the
            // element directly and the next row reads it again.
            st.columnRead = st.column != nullptr;
            storeColumn(env, local, recs[i]);
            env->DeleteLocalRef(local);
            continue;
        }
        if (st.column) storeColumn(env, st.column, recs[i]);
    }
    return rc;
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
    // The array of the last fetch again (a result read row by row): each
    // element is read once and kept. A new array (a new result on columns
    // kept bound) is remembered, and this row reads its elements as they are.
    if (cols->array && env->IsSameObject(boundColObjects, cols->array))
        return storeKept(env, cols, boundColObjects, n, rc);
    qv::results::forgetColumnObjects(env, cols);
    cols->array = env->NewGlobalRef(boundColObjects);
    const bool keepRefs = n <= kLocalRefBudget;
    for (jint i = 0; i < n; ++i) {
        if (!isCached(recs[i])) continue;
        jobject obj = env->GetObjectArrayElement(boundColObjects, i);
        if (!obj) {
            // The index exception of an array shorter than the columns, or
            // a missing column object (nowhere to take the value).
            if (env->ExceptionCheck()) return 0;
            continue;
        }
        storeColumn(env, obj, recs[i]);
        if (!keepRefs) env->DeleteLocalRef(obj);
    }
    return rc;
}
