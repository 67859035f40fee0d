// The bound-parameter array's shared routines: where a record's value lives,
// and the single-row rebinding of one parameter from its record.
#include "local.h"

namespace qv::params {

Memory memory = kHeapMemory;

SQLPOINTER valuePointer(BoundParam& r) {
    if (r.bufferLength == kDataAtExecMarker) return &r.inlineValue;
    switch (r.cType) {
        case SQL_C_TIMESTAMP:
        case SQL_C_SLONG:
        case SQL_C_SBIGINT:
        case SQL_C_FLOAT:
        case SQL_C_DOUBLE:
            return &r.inlineValue;
        default:
            return r.ownedBuffer;
    }
}

SQLLEN bindBufferLength(const BoundParam& r) {
    return r.bufferLength == kDataAtExecMarker ? static_cast<SQLLEN>(sizeof(int32_t)) : sdword(r.bufferLength);
}

SQLRETURN rebindFromRecord(SQLHSTMT hStmt, ParamArray& a, jint paramNumber, SQLSMALLINT sqlType) {
    BoundParam* r = a.record(paramNumber);
    if (!r) return SQL_ERROR;
    const bool fromValue = r->typeFromValue == 1;
    const int32_t columnSize =
        fromValue ? (r->bufferLength == kDataAtExecMarker ? r->columnSize : r->bufferLength) : r->columnSize;
    const SQLSMALLINT scale = fromValue ? 0 : r->scale;
    SQLRETURN rc = bindInput(hStmt, paramNumber, sword(r->cType), sqlType, columnSize, scale, valuePointer(*r),
                             bindBufferLength(*r), &r->lengthInd);
    if (SQL_SUCCEEDED(rc)) a.boundSqlType(paramNumber) = sqlType;
    return rc;
}

}  // namespace qv::params
