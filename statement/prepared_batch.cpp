// The prepared-statement batch: one execution over many parameter sets with
// ODBC parameter arrays, and the restoring of the single-row bindings.
//
// For every parameter a native column holds the values of all rows side by
// side; the columns are bound in place of the single-row bindings, the
// driver is told the number of rows, the statement runs once, and the
// single-row bindings are restored on every path before a column is
// released, so the driver never holds the address of released memory or of
// the call's row-number variable.
#include "qvjdbc/batch.h"
#include "qvjdbc/codes.h"
#include "qvjdbc/driver.h"
#include "qvjdbc/frame.h"
#include "qvjdbc/idcache.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/params.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

using qv::drv;

namespace {

constexpr jint kFailedRow = -3;

// One parameter's batch column.
struct BatchColumn {
    SQLSMALLINT cType = 0;
    void* data = nullptr;       // heap block of numRows slots, or the pinned Java elements
    SQLLEN* lengths = nullptr;  // numRows native length/indicator words
    SQLLEN width = 0;           // bytes per slot; 0 for the numeric columns
    jarray pinned = nullptr;    // the long[] or double[] whose elements are `data`
};

bool isBatchCType(jshort t) {
    return t == SQL_C_CHAR || t == SQL_C_WCHAR || t == SQL_C_BINARY || t == SQL_C_SBIGINT || t == SQL_C_DOUBLE;
}

// A heap block of count * size bytes plus one spare byte (so that no block
// is asked for with zero bytes), or null when the size overflows or memory
// is not obtained.
void* allocateBlock(std::size_t count, std::size_t size) {
    std::size_t bytes = 0;
    if (__builtin_mul_overflow(count, size, &bytes) || __builtin_add_overflow(bytes, 1u, &bytes)) return nullptr;
    return std::malloc(bytes);
}

void releaseColumn(JNIEnv* env, BatchColumn& c) {
    if (c.pinned) {
        if (c.cType == SQL_C_SBIGINT)
            env->ReleaseLongArrayElements(static_cast<jlongArray>(c.pinned), static_cast<jlong*>(c.data), JNI_ABORT);
        else
            env->ReleaseDoubleArrayElements(static_cast<jdoubleArray>(c.pinned), static_cast<jdouble*>(c.data),
                                            JNI_ABORT);
    } else {
        std::free(c.data);
    }
    std::free(c.lengths);
    c = BatchColumn{};
}

// The character, wide and binary columns: a first pass finds each row's
// length and the widest value, a second copies every value into its slot.
// Rows are fetched again for the copy instead of holding one local
// reference per row.
jbyte buildVariableColumn(JNIEnv* env, jobjectArray values, jint numRows, SQLSMALLINT cType, BatchColumn& c) {
    c.cType = cType;
    c.lengths = static_cast<SQLLEN*>(allocateBlock(static_cast<std::size_t>(numRows), sizeof(SQLLEN)));
    if (!c.lengths) return qv::kStatusNoMemory;
    SQLLEN widest = -1;
    for (jint r = 0; r < numRows; ++r) {
        jobject v = env->GetObjectArrayElement(values, r);
        if (!v) {
            c.lengths[r] = SQL_NULL_DATA;
            continue;
        }
        const SQLLEN n = cType == SQL_C_BINARY ? env->GetArrayLength(static_cast<jarray>(v))
                                               : env->GetStringLength(static_cast<jstring>(v));
        c.lengths[r] = cType == SQL_C_WCHAR ? 2 * n : n;
        if (c.lengths[r] > widest) widest = c.lengths[r];
        env->DeleteLocalRef(v);
    }
    c.width = widest < 0 ? 0 : (cType == SQL_C_CHAR ? widest + 1 : widest);
    c.data = allocateBlock(static_cast<std::size_t>(numRows), static_cast<std::size_t>(c.width));
    if (!c.data) return qv::kStatusNoMemory;
    auto* base = static_cast<char*>(c.data);
    for (jint r = 0; r < numRows; ++r) {
        if (c.lengths[r] == SQL_NULL_DATA) continue;
        jobject v = env->GetObjectArrayElement(values, r);
        char* slot = base + static_cast<std::size_t>(r) * static_cast<std::size_t>(c.width);
        jbyte status = qv::kStatusOk;
        if (!v) {
            status = qv::kStatusUnusable;  // the array changed under the call
        } else if (cType == SQL_C_CHAR) {
            // A string that became shorter since the first pass would leave
            // the slot's old bytes behind its text, sent with the old length.
            if (env->GetStringLength(static_cast<jstring>(v)) != c.lengths[r])
                status = qv::kStatusUnusable;
            else
                status = static_cast<jbyte>(
                    qv::copyStringTo8Bit(env, slot, static_cast<int>(c.lengths[r] + 1), static_cast<jstring>(v)));
        } else if (cType == SQL_C_WCHAR) {
            const jsize n = env->GetStringLength(static_cast<jstring>(v));
            if (2 * static_cast<SQLLEN>(n) != c.lengths[r])
                status = qv::kStatusUnusable;
            else
                env->GetStringRegion(static_cast<jstring>(v), 0, n, reinterpret_cast<jchar*>(slot));
        } else {
            const jsize n = env->GetArrayLength(static_cast<jarray>(v));
            if (n != c.lengths[r])
                status = qv::kStatusUnusable;
            else
                env->GetByteArrayRegion(static_cast<jbyteArray>(v), 0, n, reinterpret_cast<jbyte*>(slot));
        }
        if (v) env->DeleteLocalRef(v);
        if (status != qv::kStatusOk) return status;
        if (env->ExceptionCheck()) return qv::kStatusNoMemory;
    }
    return qv::kStatusOk;
}

// The long and double columns: the Java array's elements are pinned and
// handed to the driver as they are; the int[] indicators are widened into a
// native SQLLEN column.
jbyte buildNumericColumn(JNIEnv* env, jarray values, jintArray indicators, jint numRows, SQLSMALLINT cType,
                         BatchColumn& c) {
    c.cType = cType;
    c.lengths = static_cast<SQLLEN*>(allocateBlock(static_cast<std::size_t>(numRows), sizeof(SQLLEN)));
    if (!c.lengths) return qv::kStatusNoMemory;
    // The 32-bit indicators land in the upper half of the SQLLEN column and
    // are widened in place, front to back: entry r is read before slot r is
    // written, and slot r never reaches the indicators still to be read.
    static_assert(sizeof(SQLLEN) >= 2 * sizeof(jint) || sizeof(SQLLEN) == sizeof(jint), "indicator widths");
    if constexpr (sizeof(SQLLEN) == sizeof(jint)) {
        env->GetIntArrayRegion(indicators, 0, numRows, reinterpret_cast<jint*>(c.lengths));
    } else {
        jint* narrow = reinterpret_cast<jint*>(c.lengths) + numRows;
        env->GetIntArrayRegion(indicators, 0, numRows, narrow);
        for (jint r = 0; r < numRows; ++r) c.lengths[r] = narrow[r];
    }
    c.data = cType == SQL_C_SBIGINT
                 ? static_cast<void*>(env->GetLongArrayElements(static_cast<jlongArray>(values), nullptr))
                 : static_cast<void*>(env->GetDoubleArrayElements(static_cast<jdoubleArray>(values), nullptr));
    if (!c.data) return qv::kStatusNoMemory;
    c.pinned = values;
    return qv::kStatusOk;
}

// Restores the single-row binding of every parameter from its record, and
// one row per execution, with no row-number variable. When a step fails, the
// statement's parameters are reset instead and every record is marked
// unbound (C type 0), so that its next setter binds it afresh. Returns
// false when neither worked: the driver may still hold the batch columns and
// the row-number variable, which must then not be released.
bool restoreSingleRow(SQLHSTMT h, qv::params::ParamArray* a, const jshort* sqlTypes, jint numParams) {
    bool restored = SQL_SUCCEEDED(drv.SQLParamOptions(h, 1, nullptr));
    const bool rowsReset = restored;
    for (jint i = 0; a && i < numParams; ++i)
        restored = SQL_SUCCEEDED(qv::params::rebindFromRecord(h, *a, i + 1, sqlTypes[i])) && restored;
    if (restored) return true;
    const SQLRETURN reset = drv.SQLFreeStmt(h, SQL_RESET_PARAMS);
    if (SQL_SUCCEEDED(reset)) qv::params::forgetStatementBindings(qv::handleToJava(h));
    for (jint i = 0; a && i < numParams; ++i) {
        a->records()[i].cType = 0;
        a->boundSqlType(i + 1) = 0;
    }
    return rowsReset && SQL_SUCCEEDED(reset);
}

// Ends an execution the driver has not finished: a data-at-execution
// exchange it waits for, or an asynchronous execution still running. The
// driver lets go of the batch only once the statement is cancelled (and, for
// an asynchronous one, the execution answers something else).
void endExecution(SQLHSTMT h, SQLRETURN& rc) {
    if (rc != SQL_NEED_DATA && rc != SQL_STILL_EXECUTING) return;
    drv.SQLCancel(h);
    for (int polls = 0; rc == SQL_STILL_EXECUTING && polls < 1000; ++polls) {
        rc = drv.SQLExecute(h);
        if (rc == SQL_STILL_EXECUTING) usleep(1000);
    }
    if (rc == SQL_NEED_DATA) rc = SQL_ERROR;
}

// The numeric columns' indicators: a value, or SQL_NULL_DATA. Anything else
// (data at execution, -2 or -100 and below, or a length the driver would
// take from the value) is refused before anything is bound.
bool usableIndicators(JNIEnv* env, jintArray indicators, jint numRows) {
    jint chunk[256];
    for (jint at = 0; at < numRows;) {
        const jint n = std::min<jint>(numRows - at, static_cast<jint>(sizeof chunk / sizeof chunk[0]));
        env->GetIntArrayRegion(indicators, at, n, chunk);
        for (jint i = 0; i < n; ++i)
            if (chunk[i] < 0 && chunk[i] != SQL_NULL_DATA) return false;
        at += n;
    }
    return true;
}

// Whether `a` is a non-null array of the class named, with at least n elements.
bool arrayOf(JNIEnv* env, jobject a, const char* className, jint n) {
    if (!a) return false;
    jclass c = env->FindClass(className);
    if (!c) {
        env->ExceptionClear();
        return false;
    }
    const bool ok = env->IsInstanceOf(a, c) && env->GetArrayLength(static_cast<jarray>(a)) >= n;
    env->DeleteLocalRef(c);
    return ok;
}

const char* valueClassOf(jshort cType) {
    switch (cType) {
        case SQL_C_CHAR:
        case SQL_C_WCHAR:
            return "[Ljava/lang/String;";
        case SQL_C_BINARY:
            return "[[B";
        case SQL_C_SBIGINT:
            return "[J";
        default:
            return "[D";
    }
}

}  // namespace

QV_ENTRY(jshort)
Java_com_quorvane_jdbc_JdbcOdbcClient_execPreparedStatementBatch(JNIEnv* env, jobject, jint hStmt, jobject statement,
                                                                 jint params, jshortArray paramSqlTypes,
                                                                 jint numParams, jint numRows,
                                                                 jshortArray batchCTypes, jobjectArray valueColumns,
                                                                 jobjectArray indicatorColumns,
                                                                 jintArray updateCounts) {
    const SQLHSTMT h = qv::hstmt(hStmt);
    const jshort refused = qv::packBatch(qv::kStatusUnusable, 0);

    // Everything the batch reads is checked before anything is bound or run.
    if (numParams < 0 || numRows < 1) return refused;
    // The count is the array's (a live array bound on this very statement)
    // and the statement's own: a statement with more parameters than are
    // bound here would read single-row records as arrays of numRows rows.
    qv::params::ParamArray* array = qv::params::findFor(params, hStmt);
    if ((numParams > 0 || params != 0) && (!array || array->numParams != numParams)) return refused;
    SQLSMALLINT statementParams = 0;
    if (!SQL_SUCCEEDED(drv.SQLNumParams(h, &statementParams)) || statementParams != numParams) return refused;
    if (!arrayOf(env, updateCounts, "[I", numRows)) return refused;
    // One local reference per numeric column stays alive while its elements
    // are pinned.
    if (numParams > 0 && env->EnsureLocalCapacity(numParams + 16) != 0) return qv::packBatch(qv::kStatusNoMemory, 0);
    // Native work areas without C++ exceptions: a failed allocation is the
    // out-of-memory code.
    std::unique_ptr<jshort[]> sqlTypesBlock(new (std::nothrow) jshort[static_cast<std::size_t>(numParams) + 1]);
    std::unique_ptr<jshort[]> cTypesBlock(new (std::nothrow) jshort[static_cast<std::size_t>(numParams) + 1]);
    std::unique_ptr<BatchColumn[]> columnBlock(new (std::nothrow)
                                                   BatchColumn[static_cast<std::size_t>(numParams) + 1]);
    if (!sqlTypesBlock || !cTypesBlock || !columnBlock) return qv::packBatch(qv::kStatusNoMemory, 0);
    jshort* const sqlTypes = sqlTypesBlock.get();
    jshort* const cTypes = cTypesBlock.get();
    if (numParams > 0) {
        if (!arrayOf(env, paramSqlTypes, "[S", numParams) || !arrayOf(env, batchCTypes, "[S", numParams) ||
            !arrayOf(env, valueColumns, "[Ljava/lang/Object;", numParams) ||
            !arrayOf(env, indicatorColumns, "[Ljava/lang/Object;", numParams))
            return refused;
        env->GetShortArrayRegion(paramSqlTypes, 0, numParams, sqlTypes);
        env->GetShortArrayRegion(batchCTypes, 0, numParams, cTypes);
        for (jint i = 0; i < numParams; ++i) {
            const jshort t = cTypes[i];
            if (!isBatchCType(t)) return refused;
            jobject values = env->GetObjectArrayElement(valueColumns, i);
            bool ok = arrayOf(env, values, valueClassOf(t), numRows);
            env->DeleteLocalRef(values);
            if (ok && (t == SQL_C_SBIGINT || t == SQL_C_DOUBLE)) {
                jobject ind = env->GetObjectArrayElement(indicatorColumns, i);
                ok = arrayOf(env, ind, "[I", numRows) && usableIndicators(env, static_cast<jintArray>(ind), numRows);
                env->DeleteLocalRef(ind);
            }
            if (!ok) return refused;
        }
    }

    BatchColumn* const columns = columnBlock.get();
    // The row-number variable lives on the heap: when the single-row state
    // cannot be restored, the driver keeps its address, and it is then kept
    // (with the columns' native blocks) rather than freed.
    auto* rowNumber = static_cast<SQLULEN*>(std::calloc(1, sizeof(SQLULEN)));
    if (!rowNumber) return qv::packBatch(qv::kStatusNoMemory, 0);
    auto releaseColumns = [&](bool restored) {
        // Nothing the driver may still hold is given back: neither the
        // native blocks nor the pinned elements (a leak, on a path where the
        // driver refused both the restore and the reset).
        if (!restored) return;
        for (jint i = 0; i < numParams; ++i) releaseColumn(env, columns[i]);
        std::free(rowNumber);
    };
    qv::BoundParam* records = array ? array->records() : nullptr;
    for (jint i = 0; i < numParams; ++i) {
        BatchColumn& c = columns[i];
        const SQLSMALLINT t = cTypes[i];
        jobject values = env->GetObjectArrayElement(valueColumns, i);
        jbyte status;
        if (t == SQL_C_SBIGINT || t == SQL_C_DOUBLE) {
            auto ind = static_cast<jintArray>(env->GetObjectArrayElement(indicatorColumns, i));
            status = buildNumericColumn(env, static_cast<jarray>(values), ind, numRows, t, c);
            env->DeleteLocalRef(ind);
        } else {
            status = buildVariableColumn(env, static_cast<jobjectArray>(values), numRows, t, c);
        }
        if (!c.pinned) env->DeleteLocalRef(values);
        if (status != qv::kStatusOk) {
            // The parameters bound so far go back to their single rows
            // before their columns are released.
            releaseColumns(restoreSingleRow(h, array, sqlTypes, numParams));
            return qv::packBatch(status, 0);
        }
        const qv::BoundParam& r = records[i];
        const bool fromValue = r.typeFromValue == 1;
        const SQLULEN columnSize =
            fromValue ? static_cast<SQLULEN>(t == SQL_C_WCHAR ? c.width / 2 : c.width) : qv::udword(r.columnSize);
        qv::params::forgetBinding(hStmt, i + 1);
        drv.SQLBindParameter(h, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, t, r.sqlType, columnSize,
                             fromValue ? 0 : r.scale, c.data, c.width, c.lengths);
    }

    drv.SQLParamOptions(h, static_cast<SQLULEN>(numRows), rowNumber);
    SQLRETURN rc = drv.SQLExecute(h);
    endExecution(h, rc);

    jint failedRow = -1;
    bool resultSet = false;
    if (rc == SQL_ERROR) {
        // The row the driver was processing when it failed.
        failedRow =
            *rowNumber > 0 && *rowNumber <= static_cast<SQLULEN>(numRows) ? static_cast<jint>(*rowNumber - 1) : 0;
    } else {
        if (rc == SQL_SUCCESS_WITH_INFO) qv::reportBatchWarnings(env, statement, h, 0);
        if (numRows == 1) {
            SQLSMALLINT cols = 0;
            drv.SQLNumResultCols(h, &cols);
            if (cols > 0) {
                drv.SQLFreeStmt(h, SQL_CLOSE);
                resultSet = true;
                failedRow = 0;
            }
        }
    }
    releaseColumns(restoreSingleRow(h, array, sqlTypes, numParams));

    if (failedRow >= 0) {
        const jint failed = kFailedRow;
        env->SetIntArrayRegion(updateCounts, failedRow, 1, &failed);
    }
    if (resultSet) return qv::packBatch(qv::kStatusResultSet, 0);
    return qv::packBatch(qv::kStatusOk, rc);
}

QV_ENTRY(jshort)
Java_com_quorvane_jdbc_JdbcOdbcClient_rebindAllParams(JNIEnv* env, jobject, jint hStmt, jint params,
                                                      jshortArray paramSqlTypes, jint numParams) {
    const SQLHSTMT h = qv::hstmt(hStmt);
    drv.SQLParamOptions(h, 1, nullptr);
    if (numParams == 0) return 0;
    qv::params::ParamArray* array = qv::params::findFor(params, hStmt);
    if (numParams < 0 || !array || numParams > array->numParams || !paramSqlTypes ||
        env->GetArrayLength(paramSqlTypes) < numParams)
        return qv::packBatch(qv::kStatusUnusable, 0);
    qv::Frame f(env);
    jshort* types = f.shorts(paramSqlTypes);
    if (!types) return qv::packBatch(qv::kStatusNoMemory, 0);
    for (jint i = 0; i < numParams; ++i) qv::params::rebindFromRecord(h, *array, i + 1, types[i]);
    f.mode(types, JNI_ABORT);
    return 0;
}
