// XAJdbcOdbc: the XA methods of XAJdbcOdbcClient. Each builds the XID in its
// own frame, calls one XA entry point of the driver and hands the outcome to
// the QuorvaneXAError object: setRetCode with the low byte of the entry
// point's result, then setXAErrCode with the XA code it wrote. xaRecover
// turns the XIDs the driver reports into QuorvaneXid objects. The classes and
// methods they need live in the XA ID cache, filled on the first XA call.
#include "qvjdbc/codes.h"
#include "qvjdbc/driver.h"
#include "qvjdbc/idcache.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/records.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The XA ID cache. Written without a lock: two threads making their first XA
// call at once both fill it; a class entry keeps the first global reference
// stored (the other thread deletes its own), method IDs are the same values
// either way, and the flag only goes from 1 to 0, after every entry.
struct XaIdCache {
    std::atomic<jclass> outOfMemoryError{nullptr};
    std::atomic<jclass> xid{nullptr};
    std::atomic<jmethodID> xidInit{nullptr};
    std::atomic<jclass> xaError{nullptr};
    std::atomic<jmethodID> setRetCode{nullptr};
    std::atomic<jmethodID> setXAErrCode{nullptr};
    std::atomic<int32_t> notInitialised{1};
};

XaIdCache xaIds;

// Limits of the XID's two parts (X/Open: at most 64 bytes each).
constexpr jint kMaxPartLength = 64;

// A class entry: FindClass and a global reference. An entry filled by an
// earlier attempt that failed at a later step is kept as it is, so retries
// make no second reference. A failed global reference raises
// OutOfMemoryError "Thrown from native code" with `oom` (or, for the
// out-of-memory class itself, with the class just found).
bool cacheClass(JNIEnv* env, std::atomic<jclass>& entry, const char* name, bool isOutOfMemoryClass) {
    if (entry.load(std::memory_order_acquire)) return true;
    jclass local = env->FindClass(name);
    if (!local) return false;
    auto global = static_cast<jclass>(env->NewGlobalRef(local));
    if (!global) {
        env->ThrowNew(isOutOfMemoryClass ? local : xaIds.outOfMemoryError.load(std::memory_order_acquire),
                      qv::kOutOfMemoryMessage);
        env->DeleteLocalRef(local);
        return false;
    }
    env->DeleteLocalRef(local);
    jclass expected = nullptr;
    if (!entry.compare_exchange_strong(expected, global, std::memory_order_acq_rel)) env->DeleteGlobalRef(global);
    return true;
}

bool cacheMethod(JNIEnv* env, std::atomic<jmethodID>& entry, const std::atomic<jclass>& cls, const char* name,
                 const char* sig) {
    jmethodID id = env->GetMethodID(cls.load(std::memory_order_acquire), name, sig);
    if (!id) return false;
    entry.store(id, std::memory_order_release);
    return true;
}

// Fills the XA ID cache; on failure the JVM's exception (or the
// out-of-memory error) is pending and the flag stays set.
bool initXaIds(JNIEnv* env) {
    if (!cacheClass(env, xaIds.outOfMemoryError, "java/lang/OutOfMemoryError", true)) return false;
    if (!cacheClass(env, xaIds.xid, "com/quorvane/jdbc/xa/QuorvaneXid", false)) return false;
    if (!cacheMethod(env, xaIds.xidInit, xaIds.xid, "<init>", "(III[B)V")) return false;
    if (!cacheClass(env, xaIds.xaError, "com/quorvane/jdbc/xa/QuorvaneXAError", false)) return false;
    if (!cacheMethod(env, xaIds.setRetCode, xaIds.xaError, "setRetCode", "(B)V")) return false;
    if (!cacheMethod(env, xaIds.setXAErrCode, xaIds.xaError, "setXAErrCode", "(I)V")) return false;
    xaIds.notInitialised.store(0, std::memory_order_release);
    return true;
}

bool ensureXaIds(JNIEnv* env) {
    return xaIds.notInitialised.load(std::memory_order_acquire) == 0 || initXaIds(env);
}

void callRetCode(JNIEnv* env, jobject xaError, jbyte retCode) {
    env->CallVoidMethod(xaError, xaIds.setRetCode.load(std::memory_order_relaxed), retCode);
}

void callXAErrCode(JNIEnv* env, jobject xaError, jint code) {
    env->CallVoidMethod(xaError, xaIds.setXAErrCode.load(std::memory_order_relaxed), code);
}

// Runs the reporting calls with no exception pending (JNI allows no Java call
// while one is), then leaves the first exception pending again: the one that
// was pending on entry, else one that a setter raised.
class Report {
public:
    Report(JNIEnv* env, jobject xaError) : env_(env), xaError_(xaError), held_(env->ExceptionOccurred()) {
        if (held_) env_->ExceptionClear();
    }
    ~Report() {
        if (!held_) return;
        if (env_->ExceptionCheck()) env_->ExceptionClear();
        env_->Throw(held_);
        env_->DeleteLocalRef(held_);
    }
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    void retCode(jbyte b) {
        call([&] { callRetCode(env_, xaError_, b); });
    }
    void xaErrCode(jint code) {
        call([&] { callXAErrCode(env_, xaError_, code); });
    }

private:
    // No exception raised by a setter stops the next call: it is held.
    template <typename F>
    void call(F f) {
        f();
        if (jthrowable t = env_->ExceptionOccurred()) {
            env_->ExceptionClear();
            if (held_)
                env_->DeleteLocalRef(t);
            else
                held_ = t;
        }
    }

    JNIEnv* env_;
    jobject xaError_;
    jthrowable held_;
};

// The outcome of a driver call: the low byte of its result (signed), then
// the XA code.
void report(JNIEnv* env, jobject xaError, SQLINTEGER rc, jint code) {
    Report r(env, xaError);
    r.retCode(qv::lowByte(static_cast<SQLRETURN>(rc)));
    r.xaErrCode(code);
}

// The XA code to report for a driver call. A handle the driver does not
// know (a connection already freed by a pool, a forged value) comes back as
// SQL_INVALID_HANDLE, and a driver that writes nothing then would leave the
// preset 0, XA_OK: a transaction manager would record a prepare or commit of
// a branch the server never saw. Such an answer becomes XAER_RMFAIL (the
// resource manager is not available on that handle); every other code passes
// unchanged.
jint xaCodeOf(SQLINTEGER rc, SQLINTEGER code) {
    if (qv::lowByte(static_cast<SQLRETURN>(rc)) == qv::lowByte(SQL_INVALID_HANDLE) &&
        (code == RUVA70_XA_OK || code == RUVA70_XA_RDONLY))
        return RUVA70_XAER_RMFAIL;
    return static_cast<jint>(code);
}

// An XID that cannot be built is refused before the driver sees it.
void refuse(JNIEnv* env, jobject xaError) {
    report(env, xaError, SQL_ERROR, RUVA70_XAER_INVAL);
}

// Builds the XID from the Java values: false when the lengths do not fit
// the XID or xidData is null, shorter than them or cannot be pinned.
bool buildXid(JNIEnv* env, qv::XID& xid, jint formatId, jint gtridLength, jint bqualLength, jbyteArray xidData) {
    if (gtridLength < 0 || bqualLength < 0 || gtridLength > kMaxPartLength || bqualLength > kMaxPartLength)
        return false;
    if (!xidData) return false;
    const jsize n = static_cast<jsize>(gtridLength + bqualLength);
    if (env->GetArrayLength(xidData) < n) return false;
    std::memset(&xid, 0, sizeof xid);
    xid.formatID = static_cast<int32_t>(formatId);
    xid.gtrid_length = static_cast<int32_t>(gtridLength);
    xid.bqual_length = static_cast<int32_t>(bqualLength);
    jbyte* data = env->GetByteArrayElements(xidData, nullptr);
    if (!data) return false;
    std::memcpy(xid.data, data, static_cast<size_t>(n));
    env->ReleaseByteArrayElements(xidData, data, 0);
    return true;
}

// xaStart, xaEnd, xaPrepare, xaForget: XID, flags, XA code.
using FlagsEntry = decltype(qv::DriverTable::xa_start);

jint branchCall(JNIEnv* env, FlagsEntry entry, jint hDbc, jint formatId, jint gtridLength, jint bqualLength,
                jbyteArray xidData, jint flags, jobject xaError) {
    if (!ensureXaIds(env)) return RUVA70_XAER_RMFAIL;
    // Without the object the outcome cannot reach Java: nothing is done.
    if (!xaError) return RUVA70_XAER_INVAL;
    qv::XID xid;
    if (!buildXid(env, xid, formatId, gtridLength, bqualLength, xidData)) {
        refuse(env, xaError);
        return RUVA70_XAER_INVAL;
    }
    SQLINTEGER code = 0;
    SQLINTEGER rc = entry(qv::hdbc(hDbc), &xid, static_cast<SQLINTEGER>(flags), &code);
    const jint xaCode = xaCodeOf(rc, code);
    report(env, xaError, rc, xaCode);
    return xaCode;
}

// xaCommit, xaRollback: XID, two options, XA code.
using OptionsEntry = decltype(qv::DriverTable::xa_commit);

void completionCall(JNIEnv* env, OptionsEntry entry, jint hDbc, jint formatId, jint gtridLength, jint bqualLength,
                    jbyteArray xidData, jint option1, jint option2, jobject xaError) {
    if (!ensureXaIds(env) || !xaError) return;
    qv::XID xid;
    if (!buildXid(env, xid, formatId, gtridLength, bqualLength, xidData)) {
        refuse(env, xaError);
        return;
    }
    SQLINTEGER code = 0;
    SQLINTEGER rc =
        entry(qv::hdbc(hDbc), &xid, static_cast<SQLINTEGER>(option1), static_cast<SQLINTEGER>(option2), &code);
    report(env, xaError, rc, xaCodeOf(rc, code));
}

// One recovered XID as a QuorvaneXid stored at xids[k]. False, with the
// JVM's exception pending, when an object could not be made (`made` false:
// NewByteArray, the pin or the constructor yielded null) or not stored.
bool storeXid(JNIEnv* env, jobjectArray xids, jsize k, const qv::XID& x, bool& made) {
    const jsize n = static_cast<jsize>(x.gtrid_length + x.bqual_length);
    made = false;
    jbyteArray data = env->NewByteArray(n);
    if (!data) return false;
    jbyte* p = env->GetByteArrayElements(data, nullptr);
    if (!p) {
        env->DeleteLocalRef(data);
        return false;
    }
    std::memcpy(p, x.data, static_cast<size_t>(n));
    env->ReleaseByteArrayElements(data, p, 0);
    jobject obj = env->NewObject(xaIds.xid.load(std::memory_order_relaxed),
                                 xaIds.xidInit.load(std::memory_order_relaxed), static_cast<jint>(x.formatID),
                                 static_cast<jint>(x.gtrid_length), static_cast<jint>(x.bqual_length), data);
    env->DeleteLocalRef(data);
    if (!obj) return false;
    made = true;
    env->SetObjectArrayElement(xids, k, obj);
    env->DeleteLocalRef(obj);
    return !env->ExceptionCheck();
}

bool fits(const qv::XID& x) {
    return x.gtrid_length >= 0 && x.bqual_length >= 0 && x.gtrid_length <= kMaxPartLength &&
           x.bqual_length <= kMaxPartLength;
}

}  // namespace

QV_ENTRY(void)
Java_com_quorvane_jdbc_xa_XAJdbcOdbcClient_xaStart(JNIEnv* env, jobject, jint hDbc, jint formatId, jint gtridLength,
                                                   jint bqualLength, jbyteArray xidData, jint flags,
                                                   jobject xaError) {
    branchCall(env, qv::drv.xa_start, hDbc, formatId, gtridLength, bqualLength, xidData, flags, xaError);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_xa_XAJdbcOdbcClient_xaEnd(JNIEnv* env, jobject, jint hDbc, jint formatId, jint gtridLength,
                                                 jint bqualLength, jbyteArray xidData, jint flags, jobject xaError) {
    branchCall(env, qv::drv.xa_end, hDbc, formatId, gtridLength, bqualLength, xidData, flags, xaError);
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_xa_XAJdbcOdbcClient_xaPrepare(JNIEnv* env, jobject, jint hDbc, jint formatId, jint gtridLength,
                                                     jint bqualLength, jbyteArray xidData, jint flags,
                                                     jobject xaError) {
    return branchCall(env, qv::drv.xa_prepare, hDbc, formatId, gtridLength, bqualLength, xidData, flags, xaError);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_xa_XAJdbcOdbcClient_xaForget(JNIEnv* env, jobject, jint hDbc, jint formatId, jint gtridLength,
                                                    jint bqualLength, jbyteArray xidData, jint flags,
                                                    jobject xaError) {
    branchCall(env, qv::drv.xa_forget, hDbc, formatId, gtridLength, bqualLength, xidData, flags, xaError);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_xa_XAJdbcOdbcClient_xaCommit(JNIEnv* env, jobject, jint hDbc, jint formatId, jint gtridLength,
                                                    jint bqualLength, jbyteArray xidData, jint option1, jint option2,
                                                    jobject xaError) {
    completionCall(env, qv::drv.xa_commit, hDbc, formatId, gtridLength, bqualLength, xidData, option1, option2,
                   xaError);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_xa_XAJdbcOdbcClient_xaRollback(JNIEnv* env, jobject, jint hDbc, jint formatId,
                                                      jint gtridLength, jint bqualLength, jbyteArray xidData,
                                                      jint option1, jint option2, jobject xaError) {
    completionCall(env, qv::drv.xa_rollback, hDbc, formatId, gtridLength, bqualLength, xidData, option1, option2,
                   xaError);
}

QV_ENTRY(jint)
Java_com_quorvane_jdbc_xa_XAJdbcOdbcClient_getPendingXidNum(JNIEnv* env, jobject, jint hDbc, jobject xaError) {
    if (!ensureXaIds(env) || !xaError) return 0;
    SQLINTEGER count = 0;
    SQLINTEGER rc = qv::drv.xa_pending(qv::hdbc(hDbc), &count);
    report(env, xaError, rc, 0);
    return static_cast<jint>(count);
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_xa_XAJdbcOdbcClient_xaRecover(JNIEnv* env, jobject, jint hDbc, jobjectArray xids, jint count,
                                                     jint flags, jobject xaError) {
    if (!ensureXaIds(env) || !xaError) return;
    if (count < 0 || !xids || env->GetArrayLength(xids) < count) {
        refuse(env, xaError);
        return;
    }
    qv::XID* buffer = nullptr;
    if (count > 0) {
        // calloc checks count x 140 for overflow itself (a 32-bit size_t
        // cannot hold every count).
        buffer = static_cast<qv::XID*>(std::calloc(static_cast<size_t>(count), sizeof(qv::XID)));
        if (!buffer) {
            Report r(env, xaError);
            r.retCode(qv::kStatusNoMemory);
            return;
        }
    }
    SQLINTEGER found = 0;
    SQLINTEGER rc = qv::drv.xa_recover(qv::hdbc(hDbc), buffer, static_cast<SQLINTEGER>(count),
                                       static_cast<SQLINTEGER>(flags), &found);
    // The buffer holds count XIDs, whatever the driver says it found; a
    // negative number is the driver's XA error code and passes unchanged.
    jint stored = 0;
    const jint limit = found < 0 ? 0 : (found > count ? count : static_cast<jint>(found));
    jbyte retCode = qv::lowByte(static_cast<SQLRETURN>(rc));
    for (jint k = 0; k < limit; ++k) {
        if (!fits(buffer[k])) {
            retCode = qv::lowByte(SQL_ERROR);
            break;
        }
        bool made = false;
        if (!storeXid(env, xids, k, buffer[k], made)) {
            retCode = made ? qv::lowByte(SQL_ERROR) : qv::kStatusNoMemory;
            break;
        }
        ++stored;
    }
    std::free(buffer);
    Report r(env, xaError);
    r.retCode(retCode);
    r.xaErrCode(found < 0 ? static_cast<jint>(found) : stored);
}
