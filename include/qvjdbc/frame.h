// The common frame of an entry point: pin Java arrays in argument order,
// make the ODBC call, store the result byte, release every pinned array in
// the order it was pinned (errorCode first) with mode 0 or JNI_ABORT, on
// every path. A Frame does the release in its destructor, so an early return
// cannot leak a pin.
#pragma once

#include "qvjdbc/codes.h"
#include "qvjdbc/idcache.h"

#include <cstddef>
#include <new>

namespace qv {

class Frame {
public:
    explicit Frame(JNIEnv* env) : env_(env) {}
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
    ~Frame() {
        releaseAll();
        if (pins_ != inline_) delete[] pins_;
    }

    JNIEnv* env() const { return env_; }

    // Pins errorCode and remembers it and its length, so that result bytes
    // are stored only into elements the array has. Returns null when the
    // array is null, empty (nothing to write into: refused like a null one,
    // nothing pinned) or cannot be pinned.
    jbyte* errorCode(jbyteArray a) {
        if (a && env_->GetArrayLength(a) == 0) {
            nullArgument_ = true;
            failed_ = true;
            return nullptr;
        }
        ec_ = bytes(a);
        ecLength_ = ec_ ? env_->GetArrayLength(a) : 0;
        return ec_;
    }

    // Pins in the order of the calls. A null result means the pin failed (or
    // the array was null); the frame then releases everything pinned so far
    // with JNI_ABORT, leaving the Java arrays as they were.
    jbyte* bytes(jbyteArray a) { return pin<jbyte>(a, Type::Byte); }
    jshort* shorts(jshortArray a) { return pin<jshort>(a, Type::Short); }
    jint* ints(jintArray a) { return pin<jint>(a, Type::Int); }
    jchar* chars(jcharArray a) { return pin<jchar>(a, Type::Char); }
    jlong* longs(jlongArray a) { return pin<jlong>(a, Type::Long); }
    jdouble* doubles(jdoubleArray a) { return pin<jdouble>(a, Type::Double); }

    // True when a pin failed because its array argument was null: a caller
    // error that no JVM exception reports.
    bool nullArgument() const { return nullArgument_; }

    // Stores the low byte of an SQLRETURN into errorCode[0].
    void store(SQLRETURN rc) {
        if (ec_) ec_[0] = lowByte(rc);
    }
    // Stores a library status code into errorCode[1]; a one-element array
    // has no room for it and receives element 0 only.
    void status(jbyte code) {
        if (ec_ && ecLength_ > 1) ec_[1] = code;
    }

    // Refuses a call whose array argument was null: errorCode[0] reads
    // SQL_ERROR and errorCode[1] the unusable-argument code, and errorCode is
    // copied back while the other arrays are discarded.
    void refuseNull() {
        if (!ec_) return;
        ec_[0] = lowByte(SQL_ERROR);
        status(kStatusUnusable);
        failed_ = false;
        for (std::size_t i = 0; i < count_; ++i) pins_[i].mode = pins_[i].elems == ec_ ? 0 : JNI_ABORT;
    }

    // Forgets a failed pin, so that the arrays pinned before it are released
    // with their own modes (for a method that must copy errorCode back after
    // a later pin failed).
    void clearFailure() { failed_ = false; }

    // Sets the release mode of one pinned array (0 copies back, JNI_ABORT
    // discards).
    void mode(const void* elems, jint m) {
        for (std::size_t i = 0; i < count_; ++i)
            if (pins_[i].elems == elems) pins_[i].mode = m;
    }

    // Releases everything now, in pin order. The frame can pin again after.
    void releaseAll() {
        for (std::size_t i = 0; i < count_; ++i) release(pins_[i], failed_ ? JNI_ABORT : pins_[i].mode);
        count_ = 0;
        ec_ = nullptr;
        ecLength_ = 0;
        failed_ = false;
    }

private:
    enum class Type : unsigned char { Byte, Short, Int, Char, Long, Double };
    struct Pin {
        jarray array;
        void* elems;
        Type type;
        jint mode;
    };

    template <typename T>
    T* pin(jarray a, Type type) {
        if (failed_) return nullptr;
        if (a == nullptr) {
            nullArgument_ = true;
            failed_ = true;
            return nullptr;
        }
        void* p = nullptr;
        switch (type) {
            case Type::Byte:
                p = env_->GetByteArrayElements(static_cast<jbyteArray>(a), nullptr);
                break;
            case Type::Short:
                p = env_->GetShortArrayElements(static_cast<jshortArray>(a), nullptr);
                break;
            case Type::Int:
                p = env_->GetIntArrayElements(static_cast<jintArray>(a), nullptr);
                break;
            case Type::Char:
                p = env_->GetCharArrayElements(static_cast<jcharArray>(a), nullptr);
                break;
            case Type::Long:
                p = env_->GetLongArrayElements(static_cast<jlongArray>(a), nullptr);
                break;
            case Type::Double:
                p = env_->GetDoubleArrayElements(static_cast<jdoubleArray>(a), nullptr);
                break;
        }
        if (p == nullptr) {
            failed_ = true;
            return nullptr;
        }
        if (count_ == capacity_ && !grow()) {
            // No room to remember the pin: a failed pin like the JVM's, with
            // its OutOfMemoryError pending.
            release(Pin{a, p, type, JNI_ABORT}, JNI_ABORT);
            failed_ = true;
            throwOutOfMemory(env_);
            return nullptr;
        }
        pins_[count_++] = Pin{a, p, type, 0};
        return static_cast<T*>(p);
    }

    // Most methods pin a few arrays; a batch may pin one per parameter.
    bool grow() {
        const std::size_t n = capacity_ * 2;
        Pin* more = new (std::nothrow) Pin[n];
        if (!more) return false;
        for (std::size_t i = 0; i < count_; ++i) more[i] = pins_[i];
        if (pins_ != inline_) delete[] pins_;
        pins_ = more;
        capacity_ = n;
        return true;
    }

    void release(const Pin& p, jint m) {
        switch (p.type) {
            case Type::Byte:
                env_->ReleaseByteArrayElements(static_cast<jbyteArray>(p.array), static_cast<jbyte*>(p.elems), m);
                break;
            case Type::Short:
                env_->ReleaseShortArrayElements(static_cast<jshortArray>(p.array), static_cast<jshort*>(p.elems), m);
                break;
            case Type::Int:
                env_->ReleaseIntArrayElements(static_cast<jintArray>(p.array), static_cast<jint*>(p.elems), m);
                break;
            case Type::Char:
                env_->ReleaseCharArrayElements(static_cast<jcharArray>(p.array), static_cast<jchar*>(p.elems), m);
                break;
            case Type::Long:
                env_->ReleaseLongArrayElements(static_cast<jlongArray>(p.array), static_cast<jlong*>(p.elems), m);
                break;
            case Type::Double:
                env_->ReleaseDoubleArrayElements(static_cast<jdoubleArray>(p.array), static_cast<jdouble*>(p.elems),
                                                 m);
                break;
        }
    }

    static constexpr std::size_t kInlinePins = 12;
    JNIEnv* env_;
    Pin inline_[kInlinePins];  // entries from count_ on are never read
    Pin* pins_ = inline_;
    std::size_t capacity_ = kInlinePins;
    std::size_t count_ = 0;
    jbyte* ec_ = nullptr;
    jsize ecLength_ = 0;
    bool failed_ = false;
    bool nullArgument_ = false;
};

// SQL text from a Java String, as standard UTF-8 for the span of a scope.
// The JVM's modified UTF-8 (GetStringUTFChars) would send a character
// outside the Basic Multilingual Plane as two encoded surrogates, which a
// data source stores as something else; here a surrogate pair becomes its
// one four-byte sequence. U+0000 stays the two bytes C0 80, so that the text
// still ends at its terminator, and a lone surrogate keeps its three bytes,
// as the JVM encodes them. A null string converts to nothing (false); when
// memory is not obtained, OutOfMemoryError is pending and the text is false.
class UtfChars {
public:
    UtfChars(JNIEnv* env, jstring s);
    UtfChars(const UtfChars&) = delete;
    UtfChars& operator=(const UtfChars&) = delete;
    ~UtfChars() { release(); }
    const char* get() const { return p_; }
    SQLCHAR* sql() const { return reinterpret_cast<SQLCHAR*>(p_); }
    explicit operator bool() const { return p_ != nullptr; }
    void release();

private:
    char small_[256];
    char* heap_ = nullptr;
    char* p_ = nullptr;
};

}  // namespace qv
