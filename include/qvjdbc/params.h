// Parameter binding internals shared by the parameter entry points and the
// prepared-statement batch: the bound-parameter array behind a registry
// token, the pinned storage of data-at-execution and output bindings, and
// the single-row rebinding of one parameter from its record.
//
// The bound-parameter array is one heap block: a header holding the
// parameter count and the statement handle, the numParams BoundParam records
// (parameter n is record n - 1), and beside them the SQL type each parameter
// is currently bound with at the driver. Java holds a Kind::BoundParams
// token for it; a token that is 0, forged or already freed finds no array.
#pragma once

#include "qvjdbc/codes.h"
#include "qvjdbc/records.h"
#include "qvjdbc/registry.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace qv::params {

struct ParamArray {
    int32_t numParams;
    jint hStmt;  // the statement the array was bound on (unbound again when it is freed)

    BoundParam* records() { return reinterpret_cast<BoundParam*>(this + 1); }
    // The SQL type of the driver's current binding of each parameter (index
    // n - 1), which the record's sqlType does not always tell: setTimestamp
    // binds SQL_TIMESTAMP and keeps the described sqlType for later setters.
    int16_t* boundSqlTypes() { return reinterpret_cast<int16_t*>(records() + numParams); }

    // Record of a parameter number, or null outside 1..numParams.
    BoundParam* record(jint paramNumber) {
        return paramNumber >= 1 && paramNumber <= numParams ? &records()[paramNumber - 1] : nullptr;
    }
    int16_t& boundSqlType(jint paramNumber) { return boundSqlTypes()[paramNumber - 1]; }
};
static_assert(sizeof(ParamArray) % alignof(BoundParam) == 0, "records follow the header aligned");

// The array behind a token, or null.
inline ParamArray* find(jint token) {
    return registry::lookupAs<ParamArray>(registry::Kind::BoundParams, token);
}

// The array behind a token when it was bound on statement hStmt, or null. A
// setter or batch given another statement would bind that statement to this
// array's records, which freeBoundParams does not unbind: the other
// statement would then read freed memory.
inline ParamArray* findFor(jint token, jint hStmt) {
    ParamArray* a = find(token);
    return a && a->hStmt == hStmt ? a : nullptr;
}

// Heap memory of the arrays, owned buffers and storage records. The library
// never changes this table; a test may replace its entries to count or
// refuse allocations, as it replaces driver entries.
struct Memory {
    void* (*allocate)(std::size_t);
    void (*release)(void*);
};
extern Memory memory;
inline constexpr Memory kHeapMemory = {&::malloc, &::free};

// A value of `n` bytes the library can keep as an int32 buffer length, or -1
// when n is negative or too large: such a size is refused as out of memory,
// never wrapped into a small or huge allocation.
inline constexpr int64_t kMaxBufferBytes = INT32_MAX;
inline int32_t checkedBufferLength(int64_t n) {
    return n < 0 || n > kMaxBufferBytes ? -1 : static_cast<int32_t>(n);
}
// An owned buffer of n >= 0 bytes; at least one byte is asked for, so that a
// zero-length value still has an address.
inline void* allocateBuffer(int32_t n) {
    return memory.allocate(n > 0 ? static_cast<std::size_t>(n) : 1u);
}

// Where the driver finds a record's value: in place for the fixed-size C
// types and for a data-at-execution binding (whose value is the parameter
// number that SQLParamData hands back), the owned buffer otherwise.
SQLPOINTER valuePointer(BoundParam& r);
// The buffer length the record's binding was made with (a data-at-execution
// binding has 4 bytes, the parameter number, whatever bufferLength marks).
SQLLEN bindBufferLength(const BoundParam& r);

// Restores the single-row binding of parameter `paramNumber` from its record
// with SQL type `sqlType` (the step of rebindAllParams): C type, value
// pointer and buffer length from the record; column size and decimal digits
// from the record, or the buffer length and 0 when the record's
// typeFromValue is 1. Records the bound SQL type. Returns the driver's
// result; SQL_ERROR without a driver call for a parameter number outside
// the array.
SQLRETURN rebindFromRecord(SQLHSTMT hStmt, ParamArray& a, jint paramNumber, SQLSMALLINT sqlType);

// ---------------------------------------------------------------------------
// Pinned storage (Kind::PinnedStorage)
// ---------------------------------------------------------------------------

// One Java byte array kept pinned beyond the binding call. Java holds two
// tokens of the record, in storage elements 0 and 1 (or 2 and 3); both must
// be given back, in that order, to release it.
struct PinnedStorage {
    jbyteArray array;     // global reference
    jbyte* elements;      // pinned elements (through the global reference)
    jint elementsToken;   // storage element 0 / 2
    jint referenceToken;  // storage element 1 / 3
    bool hasLength;       // a lengthBytes array: its first 4 bytes receive `length` at release
    SQLLEN length;        // the native length/indicator word the driver reads or writes
};

// Output-string bindings in force. The driver writes an output parameter's
// text into the kept Java array at every execution, so the array's release
// must first take the parameter off it, unless another binding of that
// parameter has replaced it since (which must not be undone). Every binding
// the library makes of a parameter, and every reset of a statement's
// parameters, forgets the entry; both cost one atomic load while no output
// binding is in force.
void noteOutputBinding(jint hStmt, jint paramNumber, const PinnedStorage* text);
void forgetBinding(jint hStmt, jint paramNumber);
void forgetStatementBindings(jint hStmt);
// True (and forgotten) when `text` is still the binding in force of its
// parameter; hStmt and paramNumber receive it.
bool takeOutputBinding(const PinnedStorage* text, jint& hStmt, jint& paramNumber);

}  // namespace qv::params
