// Result retrieval: the bound-column array behind a Java token, and the
// internal routines that the retrieval entry points share.
//
// One allocation holds the array: a header with the column count, the
// numCols BoundColBuffer records (column n at index n - 1), and beside them
// one ColumnStore per column that keeps what only this library needs to know
// about the record's buffers (their real sizes, and a bound buffer that a
// read with SQLGetData displaced). Java holds the registry token of the
// array; a token that the registry does not know, or a column number outside
// 1..numCols, finds no record and is refused.
#pragma once

#include "qvjdbc/codes.h"
#include "qvjdbc/records.h"

#include <cstddef>
#include <cstdint>

namespace qv::results {

// What the library knows about one record's buffers beyond the record.
struct ColumnStore {
    // Bytes usable at ownedBuffer (0 when there is none).
    SQLLEN ownedCapacity;
    // A buffer the column is still bound to (dataPtr) after a read with
    // another C type gave the record a new ownedBuffer; null otherwise. The
    // next fetch makes it the ownedBuffer again.
    void* held;
    SQLLEN heldCapacity;
    // ownedBuffer holds a value deposited by a read (exactly lengthInd
    // bytes), not the one the last fetch wrote; `truncated` when that read
    // stored less than the whole value.
    bool deposited;
    bool truncated;
    // The fetch's hand-over: the Java column object of this column in the
    // array `BoundColumns::array`, as a global reference (null: the element
    // was null), once `columnRead`.
    bool columnRead;
    jobject column;
};

struct alignas(alignof(BoundColBuffer)) BoundColumns {
    int32_t numCols;
    // A read deposited a value or displaced a bound buffer since the last
    // fetch: only then has afterFetch anything to do.
    bool readSinceFetch;
    // The Java array of column objects the last fetch was given (a global
    // reference, or null): while fetches pass the same array, its elements
    // are read once each and kept (ColumnStore::column), instead of once
    // per row.
    jobject array;

    BoundColBuffer* records() { return reinterpret_cast<BoundColBuffer*>(this + 1); }
    ColumnStore* stores() { return reinterpret_cast<ColumnStore*>(records() + numCols); }
};
static_assert(sizeof(BoundColumns) % alignof(BoundColBuffer) == 0, "records follow the header aligned");
static_assert(alignof(ColumnStore) <= alignof(BoundColBuffer), "stores follow the records aligned");

// A new array of numCols zeroed records, or null (negative or overflowing
// size, or no memory).
BoundColumns* allocBoundColumns(jint numCols);
// Frees every buffer the records own, the global references the fetch
// keeps, and the array itself.
void freeBoundColumns(JNIEnv* env, BoundColumns* cols);
// Lets go of the Java array and column objects the fetch keeps.
void forgetColumnObjects(JNIEnv* env, BoundColumns* cols);

// The array behind a live token, or null.
BoundColumns* boundColumns(jint token);

// A column of a live array: its record and store, or both null when the
// token is not live or the column is outside 1..numCols.
struct Column {
    BoundColBuffer* rec = nullptr;
    ColumnStore* store = nullptr;
    BoundColumns* array = nullptr;
    explicit operator bool() const { return rec != nullptr; }
};
Column boundColumn(jint token, jint column);

// The bytes that a character or binary value occupies in a buffer of `size`
// bytes filled for cType, given the driver's indicator: the whole value when
// it fitted, else what the buffer holds without the terminator that
// character data carries. `truncated` reports a value longer than that.
SQLLEN storedBytes(SQLSMALLINT cType, SQLLEN size, SQLLEN indicator, bool* truncated);

// The value that a record's ownedBuffer holds now, bounded by the buffer.
struct HeldValue {
    const unsigned char* data;  // null when the record has no ownedBuffer
    SQLLEN size;
    bool truncated;  // the value is longer than the bytes held
};
HeldValue heldValue(const BoundColBuffer& rec, const ColumnStore& store);

// Called after every SQLFetch that delivered a row: a bound buffer that a
// read displaced becomes the ownedBuffer again, so the getters see the row
// the driver just wrote.
void afterFetch(BoundColumns* cols);

// Copies a bound column's value into a target of targetSize bytes, by the C
// type the getter serves. Returns 0 when a value was copied, -1 when
// errorCode could not be pinned (nothing done), 2 when not (NULL, no array,
// unserved or unfitting C type).
// With `into` given, a binary value goes straight into that Java array
// (SetByteArrayRegion) instead of `target`, so a getter need not pin and copy
// back a whole array for the bytes of one value.
jint readBoundColumn(JNIEnv* env, jint boundCols, jbyteArray errorCode, jint column, void* target, SQLLEN targetSize,
                     SQLSMALLINT cType, jbyteArray into = nullptr);

// The one routine that calls SQLGetData: reads a column of the current row
// into target and deposits the value in the column's record. Returns -1 when
// errorCode could not be pinned (nothing done), 0 when a value was read, 2
// when no usable value (NULL, failure, no array, unserved C type, memory).
jint readColumnData(JNIEnv* env, jint hStmt, jint boundCols, jbyteArray errorCode, jint column, void* target,
                    SQLLEN targetSize, SQLSMALLINT cType, SQLLEN* indicator);

// Output bytes per input byte of a stream type.
int streamFactor(jint streamType);
// Converts n bytes at p in place for a byte stream (hexadecimal text, wide
// characters, or 16-bit units swapped); the area must hold n * factor bytes.
void renderStreamBytes(unsigned char* p, jint n, jint streamType);

// Refuses a read whose Java arguments cannot be used (a null array, or one
// too short for the value): errorCode[0] reads SQL_ERROR and errorCode[1]
// -97, and no driver call is made.
void refuseRead(JNIEnv* env, jbyteArray errorCode);

}  // namespace qv::results
