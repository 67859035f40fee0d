// Result codes shared by every entry point: the library's own status codes of
// errorCode[1], the packed batch result, and the narrowing rules for values
// that travel between Java and ODBC.
#pragma once

#include <jni.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <type_traits>

#if defined(__x86_64__)
static_assert(sizeof(SQLLEN) == 8 && sizeof(SQLULEN) == 8, "unixODBC must use 64-bit SQLLEN on x86-64");
#endif
static_assert(sizeof(SQLWCHAR) == 2, "character data travels as UTF-16");
static_assert(sizeof(SQLINTEGER) == 4 && sizeof(SQLSMALLINT) == 2, "ODBC integer widths");
static_assert(sizeof(jchar) == sizeof(SQLWCHAR), "Java characters are UTF-16 units");

namespace qv {

// Library status codes (errorCode[1]), as Java byte values.
inline constexpr jbyte kStatusOk = 0;
inline constexpr jbyte kStatusNull = -1;        // the column value is SQL NULL
inline constexpr jbyte kStatusResultSet = -93;  // a batch command produced a result set
inline constexpr jbyte kStatusTruncated = -95;  // the diagnostic message was cut to the array
inline constexpr jbyte kStatusUnusable = -97;   // argument, type, size or state unusable
inline constexpr jbyte kStatusAbove255 = -98;   // a character above 255 for 8-bit text
inline constexpr jbyte kStatusNoMemory = -99;   // native memory not obtained

// The same codes read unsigned, as the numeric setters return them.
inline constexpr jint kUnsignedStatus(jbyte code) {
    return static_cast<jint>(static_cast<uint8_t>(code));
}

// The low byte of an SQLRETURN as it is stored into errorCode[0].
inline constexpr jbyte lowByte(SQLRETURN rc) {
    return static_cast<jbyte>(rc & 0xFF);
}

// A packed batch result: low byte an SQLRETURN byte, high byte a library code.
inline constexpr jshort packBatch(jbyte status, SQLRETURN rc) {
    return static_cast<jshort>(static_cast<uint16_t>((static_cast<uint8_t>(status) << 8) | (rc & 0xFF)));
}

// Handles travel as Java int and reach the driver unchanged; the driver
// library issues 31-bit values and validates every one it receives.
inline SQLHENV henv(jint h) {
    return reinterpret_cast<SQLHENV>(static_cast<intptr_t>(h));
}
inline SQLHDBC hdbc(jint h) {
    return reinterpret_cast<SQLHDBC>(static_cast<intptr_t>(h));
}
inline SQLHSTMT hstmt(jint h) {
    return reinterpret_cast<SQLHSTMT>(static_cast<intptr_t>(h));
}
template <typename H>
inline jint handleToJava(H h) {
    return static_cast<jint>(reinterpret_cast<intptr_t>(h));
}

// 16-bit ODBC arguments: the low 16 bits of a Java int.
inline constexpr SQLUSMALLINT uword(jint v) {
    return static_cast<SQLUSMALLINT>(v & 0xFFFF);
}
inline constexpr SQLSMALLINT sword(jint v) {
    return static_cast<SQLSMALLINT>(static_cast<uint16_t>(v & 0xFFFF));
}

// A UDWORD value (option values, column sizes) is zero-extended, so that -1
// arrives as 0xFFFFFFFF as it would on a 32-bit driver.
inline constexpr SQLULEN udword(jint v) {
    return static_cast<SQLULEN>(static_cast<uint32_t>(v));
}
// A signed length (putData length, buffer sizes) is sign-extended.
inline constexpr SQLLEN sdword(jint v) {
    return static_cast<SQLLEN>(v);
}

// An output array whose length travels to ODBC as a 16-bit signed count: an
// array longer than 32,767 bytes is offered as 32,767, never as a wrapped
// negative length.
inline constexpr SQLSMALLINT bufferLength16(jsize n) {
    return n > 32767 ? static_cast<SQLSMALLINT>(32767) : static_cast<SQLSMALLINT>(n < 0 ? 0 : n);
}

// Narrowing of native counts for Java: saturate rather than wrap.
inline constexpr jint saturateToJint(SQLLEN v) {
    return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<jint>(v));
}

}  // namespace qv
