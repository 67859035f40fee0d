// The Java ID cache: classes, method IDs and field IDs looked up once by
// initIDs and only read afterwards. Also the helpers that raise the
// library's two exceptions and the shared conversion to 8-bit text.
#pragma once

#include <jni.h>

namespace qv {

struct IdCache {
    jclass outOfMemoryError;
    jclass sqlException;
    jmethodID sqlExceptionInit;
    jstring assignmentReason;
    jstring assignmentSqlState;
    jclass bigInteger;
    jmethodID bigIntegerInit;
    jclass bigDecimal;
    jmethodID bigDecimalInit;
    jclass timestamp;
    jmethodID timestampInit;
    jmethodID timestampSetNanos;
    jclass retVal;
    jfieldID retValObj;
    jfieldID retValErr0;
    jfieldID retValErr1;
    jclass boundCol;
    jfieldID hasCachedValue;
    jfieldID cachedNull;
    jfieldID cachedInt;
    jfieldID cachedShort;
    jfieldID cachedLong;
    jfieldID cachedReal;
    jfieldID cachedDouble;
};

extern IdCache ids;

inline constexpr const char* kOutOfMemoryMessage = "Thrown from native code";

// Raises java.lang.OutOfMemoryError "Thrown from native code" with the cached
// class.
void throwOutOfMemory(JNIEnv* env);

// Raises java.sql.SQLException "Error in assignment", SQLSTATE "22005".
void throwAssignmentError(JNIEnv* env);

// Copies a Java String into dest as zero-terminated 8-bit text (ISO 8859-1).
// Returns 0, -97 (does not fit with its terminator), -98 (a character above
// 255; dest then holds the first bytes, unterminated) or -99 (characters not
// obtained).
int copyStringTo8Bit(JNIEnv* env, char* dest, int destSize, jstring s);

}  // namespace qv
