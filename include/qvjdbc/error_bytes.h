// errorCode written with one region copy when the call ends, instead of a
// pin and a release: for the reads that run once per row and only store
// its two bytes. Only the bytes the call stored reach Java; the others keep
// what the caller had there.
#pragma once

#include "qvjdbc/codes.h"

namespace qv {

class ErrorBytes {
public:
    ErrorBytes(JNIEnv* env, jbyteArray array)
        : env_(env), array_(array), length_(array ? env->GetArrayLength(array) : 0) {}
    ErrorBytes(const ErrorBytes&) = delete;
    ErrorBytes& operator=(const ErrorBytes&) = delete;
    ~ErrorBytes() {
        // A one-element array has no room for the status byte.
        const unsigned set = length_ > 1 ? set_ : set_ & 1;
        if (!*this || !set) return;
        const jsize first = (set & 1) ? 0 : 1;
        const jsize last = (set & 2) ? 1 : 0;
        env_->SetByteArrayRegion(array_, first, last - first + 1, bytes_ + first);
    }
    // False when there is nothing to write into (a null or empty errorCode):
    // refused like a null one.
    explicit operator bool() const { return array_ != nullptr && length_ > 0; }
    // The low byte of an SQLRETURN into errorCode[0].
    void store(SQLRETURN rc) {
        bytes_[0] = lowByte(rc);
        set_ |= 1;
    }
    // A library status code into errorCode[1].
    void status(jbyte code) {
        bytes_[1] = code;
        set_ |= 2;
    }

private:
    JNIEnv* env_;
    jbyteArray array_;
    jsize length_;
    jbyte bytes_[2] = {0, 0};
    unsigned set_ = 0;
};

}  // namespace qv
