// Helpers of the parameter entry points: the input binding call, the C and
// SQL types they choose between, and the replacement of an owned buffer.
#pragma once

#include "qvjdbc/driver.h"
#include "qvjdbc/params.h"

namespace qv::params {

// SQLBindParameter of an input parameter. The column size is a UDWORD
// (zero-extended), the buffer length a signed length (sign-extended).
inline SQLRETURN bindInput(SQLHSTMT h, jint paramNumber, SQLSMALLINT cType, SQLSMALLINT sqlType, int32_t columnSize,
                           SQLSMALLINT scale, SQLPOINTER value, SQLLEN bufferLength, SQLLEN* lengthInd) {
    forgetBinding(handleToJava(h), paramNumber);
    return drv.SQLBindParameter(h, uword(paramNumber), SQL_PARAM_INPUT, cType, sqlType, udword(columnSize), scale,
                                value, bufferLength, lengthInd);
}

inline bool isCharacterSqlType(int sqlType) {
    switch (sqlType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
        case SQL_WLONGVARCHAR:
            return true;
        default:
            return false;
    }
}

// Makes `buffer` (of `length` bytes, already bound at the driver) the
// record's owned buffer, freeing the one it replaces.
inline void adoptBuffer(BoundParam& r, void* buffer, int32_t length) {
    if (r.ownedBuffer != buffer) memory.release(r.ownedBuffer);
    r.ownedBuffer = buffer;
    r.bufferLength = length;
}

}  // namespace qv::params
