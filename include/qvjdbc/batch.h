// Shared by the two batch methods.
#pragma once

#include <jni.h>
#include <sql.h>

namespace qv {

// Delivers every pending diagnostic of hStmt to the Java statement as one
// java.sql.SQLWarning each, through its setWarning method, in the driver's
// order. The text names the command's position unless the statement is a
// JdbcOdbcPreparedStatement. Returns false when delivery stopped early.
bool reportBatchWarnings(JNIEnv* env, jobject statement, SQLHSTMT hStmt, jint position);

// A Java String from text a driver wrote: UTF-8 when the bytes are valid
// UTF-8, otherwise each byte as one character (ISO 8859-1). Never hands
// NewStringUTF bytes that are not modified UTF-8.
jstring newStringFromDriverText(JNIEnv* env, const char* text);

}  // namespace qv
