// The embedded JVM of the contract and data-source tests, and small helpers
// for making and reading Java arrays and strings.
//
// One JVM is created per test process (with -Xcheck:jni) on first use. The
// tests call the JNI entry points directly, passing null as the receiving
// object (no entry point uses it).
#pragma once

#include <jni.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qvt {

JavaVM* vm();
JNIEnv* env();

// A JNI local frame for the span of a test body: every local reference made
// inside is dropped at its end.
class LocalFrame {
public:
    explicit LocalFrame(int capacity = 256) { env()->PushLocalFrame(capacity); }
    ~LocalFrame() { env()->PopLocalFrame(nullptr); }
    LocalFrame(const LocalFrame&) = delete;
    LocalFrame& operator=(const LocalFrame&) = delete;
};

// Arrays and strings.
jbyteArray bytes(std::string_view content);  // the bytes as they are
jbyteArray bytes(const std::vector<int8_t>& content);
jbyteArray zstr(std::string_view text);  // text plus one zero byte
jbyteArray newBytes(jsize n, int8_t fill = 0);
jshortArray newShorts(jsize n, int16_t fill = 0);
jintArray newInts(jsize n, int32_t fill = 0);
jintArray ints(const std::vector<int32_t>& content);
jcharArray newChars(jsize n, uint16_t fill = 0);
jcharArray chars(std::u16string_view content);
jstring jstr(std::u16string_view s);
jstring jstrUtf8(const char* s);
jbyteArray errorCode(int8_t b0 = 0x55, int8_t b1 = 0x55);  // preset so writes show

std::vector<int8_t> read(jbyteArray a);
std::vector<int16_t> read(jshortArray a);
std::vector<int32_t> read(jintArray a);
std::u16string read(jcharArray a);
std::u16string read(jstring s);
std::string cstr(jbyteArray a);  // up to the first zero byte
int8_t at(jbyteArray a, jsize i);
int32_t at(jintArray a, jsize i);

// Objects of the driver's Java classes (constructed with their no-argument
// constructors).
jobject newObject(const char* className);
// An instance made without running a constructor (the driver's statement
// classes are made by a connection; the batch tests need only their setWarning).
jobject allocObject(const char* className);
jclass findClass(const char* className);

// The pending Java exception's class name ("" when none), cleared.
std::string takeException();
// The message of the pending exception ("" when none), not cleared.
std::string pendingMessage();

}  // namespace qvt

// Fails the test when a Java exception is pending, and clears it.
#define EXPECT_NO_JAVA_EXCEPTION() EXPECT_EQ(::qvt::takeException(), "")
