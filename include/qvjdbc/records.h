// The native records the library lays out and hands to Java through the
// registry: bound-column buffers, bound parameters, and the XA identifier.
#pragma once

#include "qvjdbc/ruva70.h"

#include <cstdint>

namespace qv {

// Fixed-size values held in place in a record: integers, floating point,
// ODBC date, time and timestamp structures (16 bytes, aligned for 8-byte
// values).
union alignas(8) InlineValue {
    int16_t i16;
    int32_t i32;
    int64_t i64;
    float f32;
    double f64;
    DATE_STRUCT date;
    TIME_STRUCT time;
    TIMESTAMP_STRUCT timestamp;
    unsigned char bytes[16];
};
static_assert(sizeof(InlineValue) == 16, "the inline area holds 16 bytes");

// One result column (the bound-column array holds numCols of them, column n
// at index n - 1). lengthInd is the driver's native SQLLEN indicator.
struct BoundColBuffer {
    int16_t cType;
    int32_t bufferLength;
    void* dataPtr;
    SQLLEN lengthInd;
    void* ownedBuffer;
    InlineValue inlineValue;
};

// One statement parameter (the bound-parameter array holds numParams of them,
// parameter n at index n - 1). lengthInd is the driver's native SQLLEN
// length/indicator word.
struct BoundParam {
    SQLLEN lengthInd;
    void* ownedBuffer;
    int32_t cType;
    int32_t bufferLength;  // -96 marks a parameter bound for data at execution
    int16_t sqlType;
    int32_t columnSize;
    int16_t scale;
    int32_t typeFromValue;
    InlineValue inlineValue;
};

inline constexpr int32_t kDataAtExecMarker = -96;

using XID = RUVA70_XID;
static_assert(sizeof(XID) == 140, "the XID travels as 140 bytes");

}  // namespace qv
