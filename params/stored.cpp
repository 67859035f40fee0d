// Bindings that keep Java byte arrays pinned beyond the call (data at
// execution and output strings), and the release of such an array.
//
// Each kept array gets a PinnedStorage record behind two registry tokens,
// which Java receives in its storage pair; ReleaseStoredBytes takes the pair
// back. The driver's length/indicator word is a native SQLLEN: for data at
// execution it is the record's lengthInd (with the parameter number in the
// record's inline value as the value buffer, so that the binding lives as
// long as the bound-parameter array, which unbinds before it is freed); for
// an output string it is the storage record's `length`, which the driver
// writes at execution. Its 32-bit value reaches the first 4 bytes of the Java
// lengthBytes array at release.
#include "local.h"

#include "qvjdbc/frame.h"
#include "qvjdbc/idcache.h"
#include "qvjdbc/jni_exports.h"

#include <atomic>
#include <cstring>
#include <mutex>

using qv::drv;
using qv::Frame;
using qv::params::ParamArray;
using qv::params::PinnedStorage;
using qv::registry::Kind;

namespace {

constexpr jsize kWordBytes = 4;    // tokenBytes, lengthBytes: one 32-bit word
constexpr jsize kStorageInts = 4;  // two pairs

// A Java byte array on its way to being kept pinned: global reference, pin,
// storage record. Whatever is not handed over with commit() is undone when
// it goes out of scope.
class Kept {
public:
    explicit Kept(JNIEnv* env) : env_(env) {}
    Kept(const Kept&) = delete;
    Kept& operator=(const Kept&) = delete;
    ~Kept() { undo(); }

    bool reference(jbyteArray a) {
        global_ = static_cast<jbyteArray>(env_->NewGlobalRef(a));
        return global_ != nullptr;
    }
    jbyte* pin() {
        elements_ = env_->GetByteArrayElements(global_, nullptr);
        return elements_;
    }
    jbyte* elements() const { return elements_; }

    // The storage record and its two tokens; false when memory or tokens
    // were not obtained.
    bool keep(bool hasLength, SQLLEN length) {
        auto* s = static_cast<PinnedStorage*>(qv::params::memory.allocate(sizeof(PinnedStorage)));
        if (!s) return false;
        *s = PinnedStorage{global_, elements_, 0, 0, hasLength, length};
        record_ = s;
        s->elementsToken = qv::registry::issue(Kind::PinnedStorage, s);
        s->referenceToken = s->elementsToken ? qv::registry::issue(Kind::PinnedStorage, s) : 0;
        return s->referenceToken != 0;
    }
    PinnedStorage* record() const { return record_; }

    // Hands the pair to Java: the tokens into `pair`, and the array stays
    // pinned and referenced until ReleaseStoredBytes.
    void commit(jint* pair) {
        pair[0] = record_->elementsToken;
        pair[1] = record_->referenceToken;
        record_ = nullptr;
        elements_ = nullptr;
        global_ = nullptr;
    }

private:
    void undo() {
        if (record_) {
            if (record_->elementsToken) qv::registry::release(Kind::PinnedStorage, record_->elementsToken);
            if (record_->referenceToken) qv::registry::release(Kind::PinnedStorage, record_->referenceToken);
            qv::params::memory.release(record_);
        }
        if (elements_) env_->ReleaseByteArrayElements(global_, elements_, JNI_ABORT);
        if (global_) env_->DeleteGlobalRef(global_);
    }

    JNIEnv* env_;
    jbyteArray global_ = nullptr;
    jbyte* elements_ = nullptr;
    PinnedStorage* record_ = nullptr;
};

// The output-string bindings in force: few at a time, so a short list under
// a lock; `live` lets every other binding skip the lock while it is empty.
struct OutputBinding {
    jint hStmt;
    jint paramNumber;
    const PinnedStorage* text;
};
std::mutex outputLock;
OutputBinding outputs[256];
std::size_t outputCount = 0;
std::atomic<std::size_t> live{0};

// A static NULL indicator: what a released output parameter is bound to,
// as an input NULL that the driver only reads.
SQLLEN releasedIndicator = SQL_NULL_DATA;

void writeWord(jbyte* at, int32_t v) {
    std::memcpy(at, &v, sizeof v);
}
int32_t readWord(const jbyte* at) {
    int32_t v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

void forgetWhere(bool (*match)(const OutputBinding&, jint, jint), jint hStmt, jint paramNumber) {
    if (live.load(std::memory_order_acquire) == 0) return;
    std::lock_guard<std::mutex> lock(outputLock);
    for (std::size_t i = 0; i < outputCount;)
        if (match(outputs[i], hStmt, paramNumber))
            outputs[i] = outputs[--outputCount];
        else
            ++i;
    live.store(outputCount, std::memory_order_release);
}

}  // namespace

namespace qv::params {

void noteOutputBinding(jint hStmt, jint paramNumber, const PinnedStorage* text) {
    forgetBinding(hStmt, paramNumber);
    std::lock_guard<std::mutex> lock(outputLock);
    if (outputCount == sizeof outputs / sizeof outputs[0]) {
        // Full: the oldest entry is dropped; its release leaves the
        // parameter as it is, as before this list existed.
        for (std::size_t i = 1; i < outputCount; ++i) outputs[i - 1] = outputs[i];
        --outputCount;
    }
    outputs[outputCount++] = OutputBinding{hStmt, paramNumber, text};
    live.store(outputCount, std::memory_order_release);
}

void forgetBinding(jint hStmt, jint paramNumber) {
    forgetWhere([](const OutputBinding& b, jint h, jint p) { return b.hStmt == h && b.paramNumber == p; }, hStmt,
                paramNumber);
}

void forgetStatementBindings(jint hStmt) {
    forgetWhere([](const OutputBinding& b, jint h, jint) { return b.hStmt == h; }, hStmt, 0);
}

bool takeOutputBinding(const PinnedStorage* text, jint& hStmt, jint& paramNumber) {
    if (live.load(std::memory_order_acquire) == 0) return false;
    std::lock_guard<std::mutex> lock(outputLock);
    for (std::size_t i = 0; i < outputCount; ++i) {
        if (outputs[i].text != text) continue;
        hStmt = outputs[i].hStmt;
        paramNumber = outputs[i].paramNumber;
        outputs[i] = outputs[--outputCount];
        live.store(outputCount, std::memory_order_release);
        return true;
    }
    return false;
}

}  // namespace qv::params

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_bindInParameterAtExec(JNIEnv* env, jobject, jint params, jint hStmt,
                                                            jint paramNumber, jint sqlType, jint cType, jint length,
                                                            jbyteArray tokenBytes, jbyteArray lengthBytes,
                                                            jbyteArray errorCode, jintArray storage) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    Kept token(env);
    Kept lengthWord(env);
    if (!tokenBytes || !lengthBytes || !token.reference(tokenBytes) || !lengthWord.reference(lengthBytes))
        return qv::throwOutOfMemory(env);
    jint* pairs = f.ints(storage);
    if (!pairs) {
        if (f.nullArgument()) f.refuseNull();
        return;
    }
    if (env->GetArrayLength(tokenBytes) < kWordBytes || env->GetArrayLength(lengthBytes) < kWordBytes ||
        env->GetArrayLength(storage) < kStorageInts)
        return f.refuseNull();
    // The length word tells the driver how many bytes will be put: a negative
    // length would become SQL_LEN_DATA_AT_EXEC of a huge count, read from
    // the 4-byte value buffer.
    if (length < 0) return f.refuseNull();
    ParamArray* a = qv::params::findFor(params, hStmt);
    qv::BoundParam* r = a ? a->record(paramNumber) : nullptr;
    if (!r) return f.status(qv::kStatusUnusable);
    f.status(qv::kStatusOk);

    // SQL_LEN_DATA_AT_EXEC(length), computed at full width.
    const SQLLEN lengthInd = SQL_LEN_DATA_AT_EXEC_OFFSET - static_cast<SQLLEN>(length);
    if (!token.pin()) return;
    writeWord(token.elements(), paramNumber);
    if (!lengthWord.pin()) return;
    writeWord(lengthWord.elements(), qv::saturateToJint(lengthInd));
    if (!token.keep(false, 0) || !lengthWord.keep(true, lengthInd)) return f.status(qv::kStatusNoMemory);

    qv::params::forgetBinding(hStmt, paramNumber);
    SQLRETURN rc = drv.SQLBindParameter(qv::hstmt(hStmt), qv::uword(paramNumber), SQL_PARAM_INPUT, qv::sword(cType),
                                        qv::sword(sqlType), qv::udword(length), r->scale, &r->inlineValue, kWordBytes,
                                        &r->lengthInd);
    f.store(rc);
    if (!SQL_SUCCEEDED(rc)) {
        // Nothing stays pinned for a binding the driver did not make.
        std::memset(pairs, 0, kStorageInts * sizeof(jint));
        return;
    }
    r->inlineValue.i32 = paramNumber;
    r->lengthInd = lengthInd;
    r->bufferLength = qv::kDataAtExecMarker;
    r->cType = qv::sword(cType);
    a->boundSqlType(paramNumber) = qv::sword(sqlType);
    token.commit(pairs);
    lengthWord.commit(pairs + 2);
}

QV_ENTRY(jshort)
Java_com_quorvane_jdbc_JdbcOdbcClient_bindOutParameterString(JNIEnv* env, jobject, jint hStmt, jint paramNumber,
                                                             jint sqlType, jint scale, jbyteArray buffer,
                                                             jbyteArray lengthBytes, jintArray storage) {
    Kept text(env);
    Kept lengthWord(env);
    if (!buffer || !lengthBytes || !text.reference(buffer) || !lengthWord.reference(lengthBytes)) {
        qv::throwOutOfMemory(env);
        return 0;
    }
    if (!text.pin() || !lengthWord.pin()) return 0;
    const jsize n = env->GetArrayLength(buffer);
    Frame f(env);
    jint* pairs = f.ints(storage);
    if (!pairs) return f.nullArgument() ? SQL_ERROR : 0;
    // The driver writes a zero-terminated text of up to n - 1 bytes and a
    // 32-bit length: arrays without room for them are refused.
    if (n < 1 || env->GetArrayLength(lengthBytes) < kWordBytes || env->GetArrayLength(storage) < kStorageInts)
        return SQL_ERROR;
    // Until the driver writes it, the length word reads as the Java array had it.
    if (!text.keep(false, 0) || !lengthWord.keep(true, readWord(lengthWord.elements()))) {
        qv::throwOutOfMemory(env);
        return 0;
    }
    qv::params::forgetBinding(hStmt, paramNumber);
    SQLRETURN rc = drv.SQLBindParameter(qv::hstmt(hStmt), qv::uword(paramNumber), SQL_PARAM_OUTPUT, SQL_C_CHAR,
                                        qv::sword(sqlType), qv::udword(n - 1), qv::sword(scale), text.elements(),
                                        qv::sdword(n), &lengthWord.record()->length);
    if (!SQL_SUCCEEDED(rc)) {
        std::memset(pairs, 0, kStorageInts * sizeof(jint));
        return rc;
    }
    qv::params::noteOutputBinding(hStmt, paramNumber, text.record());
    text.commit(pairs);
    lengthWord.commit(pairs + 2);
    return rc;
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_ReleaseStoredBytes(JNIEnv* env, jobject, jint elements, jint arrayRef) {
    // Both values must be live tokens of one record; nothing is dereferenced
    // before that, and nothing is released for a forged or mixed pair.
    void* p = qv::registry::lookup(Kind::PinnedStorage, elements);
    if (!p || elements == arrayRef || qv::registry::lookup(Kind::PinnedStorage, arrayRef) != p) return;
    // The release of the pair's lower token decides which call owns the
    // record, whatever the order the pair comes in, so that two releases of
    // one pair cannot both free it.
    const jint first = static_cast<uint32_t>(elements) < static_cast<uint32_t>(arrayRef) ? elements : arrayRef;
    const jint second = first == elements ? arrayRef : elements;
    auto* s = static_cast<PinnedStorage*>(qv::registry::release(Kind::PinnedStorage, first));
    if (s != p) return;
    qv::registry::release(Kind::PinnedStorage, second);
    // An output parameter still bound to this array is taken off it first:
    // bound again as an input NULL, so that an execution before the Java side
    // binds it again writes nowhere.
    jint hStmt = 0;
    jint paramNumber = 0;
    if (qv::params::takeOutputBinding(s, hStmt, paramNumber))
        drv.SQLBindParameter(qv::hstmt(hStmt), qv::uword(paramNumber), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 0, 0,
                             nullptr, 0, &releasedIndicator);
    if (s->hasLength) writeWord(s->elements, qv::saturateToJint(s->length));
    env->ReleaseByteArrayElements(s->array, s->elements, 0);
    env->DeleteGlobalRef(s->array);
    qv::params::memory.release(s);
}
