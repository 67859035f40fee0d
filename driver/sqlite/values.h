// How the SQLite engine describes columns and moves values between SQLite's
// storage classes and the application's C types.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace ruva::sqlite {

// A column as SQLDescribeCol and SQLColAttributes report it.
struct ColumnType {
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN size = 0;
    SQLSMALLINT scale = 0;
    SQLINTEGER displaySize = 0;
    SQLINTEGER length = 0;  // bytes of the default C type
};

// The type of a column declared `declared` (as written in CREATE TABLE): the
// name picks the type (INTEGER, SMALLINT, BOOLEAN, NUMERIC(p,s), DATE...),
// then SQLite's affinity rules decide for other names. False when nothing is
// declared (an expression, or a column without a type): the caller then
// describes it by its value.
bool typeOfDeclared(std::string_view declared, ColumnType& out);

// The type of an expression column by the storage class of its value
// (SQLITE_INTEGER, ...; SQLITE_NULL when there is no row).
ColumnType typeOfValue(int storageClass);

// The shortest text that reads back as the same double (17 significant
// digits at most), with ".0" on whole numbers as SQLite writes them. Returns
// the length; `out` has room for 32 bytes.
size_t doubleText(double v, char* out);

// One conversion's outcome.
struct Moved {
    SQLRETURN rc = SQL_SUCCESS;
    const char* state = nullptr;  // "01004", "01S07", "22003", "22005", "22008", "22002", "S1003"
};

// Where a piecewise read of one value stands: bytes delivered (in the C
// type's units), the position in SQLite's text or blob, the value's whole
// length in the C type once known, and the second half of a surrogate pair
// that did not fit the last piece.
struct Piece {
    SQLLEN delivered = 0;
    SQLLEN source = 0;
    SQLLEN total = -1;
    uint16_t pendingLow = 0;
    bool started = false;
};

// Copies column `col` of the statement's current row into the application's
// buffer as `cType`, continuing from `piece` (a fresh Piece for a bound
// column or a first read), which advances. `described` is the column's SQL
// type, which SQL_C_DEFAULT follows. SQL_NO_DATA_FOUND when a piecewise read
// has delivered everything.
Moved moveColumn(sqlite3_value* v, SQLSMALLINT cType, SQLSMALLINT described, SQLPOINTER out, SQLLEN capacity,
                 SQLLEN* indicator, Piece& piece);

// Four bytes (the low half of v) as four 16-bit units, little-endian.
inline uint64_t spreadBytes(uint64_t v) {
    v = (v | (v << 16)) & 0x0000FFFF0000FFFFULL;
    return (v | (v << 8)) & 0x00FF00FF00FF00FFULL;
}

// Widens the leading ASCII bytes of `src` (at most `n`) to UTF-16 units at
// `out`; returns how many it widened.
inline size_t widenAscii(const unsigned char* src, size_t n, char* out) {
    size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= n; i += 8) {
            uint64_t x;
            std::memcpy(&x, src + i, 8);
            if (x & 0x8080808080808080ULL) break;
            const uint64_t lo = spreadBytes(x & 0xFFFFFFFFu);
            const uint64_t hi = spreadBytes(x >> 32);
            std::memcpy(out + 2 * i, &lo, 8);
            std::memcpy(out + 2 * i + 8, &hi, 8);
        }
    }
    for (; i < n && src[i] < 0x80; ++i) {
        const uint16_t u = src[i];
        std::memcpy(out + 2 * i, &u, 2);
    }
    return i;
}

// The pairs of SQLite type and C type a fetch loop meets most (64- and 32-bit
// integers, doubles, ASCII text as UTF-16 that fits), each exactly as
// moveColumn has it, into a non-null `out` from a fresh `piece`, which then
// stands at the value's end. False, with nothing changed but the buffer, for
// anything else (NULL, other types, a value out of range, text that is not
// ASCII or does not fit): moveColumn decides those. Inline: a fetch runs it
// per column.
__attribute__((always_inline)) inline bool moveSimple(sqlite3_value* v, SQLSMALLINT cType, SQLPOINTER out,
                                                      SQLLEN capacity, SQLLEN* indicator, Piece& piece) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
            if (cType == SQL_C_SBIGINT) {
                const int64_t n = sqlite3_value_int64(v);
                std::memcpy(out, &n, 8);
                if (indicator) *indicator = 8;
                piece.started = true;
                return true;
            }
            if (cType == SQL_C_SLONG) {
                const int64_t n = sqlite3_value_int64(v);
                if (n < INT32_MIN || n > INT32_MAX) return false;
                const auto i = static_cast<int32_t>(n);
                std::memcpy(out, &i, 4);
                if (indicator) *indicator = 4;
                piece.started = true;
                return true;
            }
            return false;
        case SQLITE_FLOAT:
            if (cType == SQL_C_DOUBLE) {
                const double d = sqlite3_value_double(v);
                std::memcpy(out, &d, 8);
                if (indicator) *indicator = 8;
                piece.started = true;
                return true;
            }
            return false;
        case SQLITE_TEXT:
            if (cType == SQL_C_WCHAR && capacity >= 2) {
                const auto* p = sqlite3_value_text(v);
                const auto n = static_cast<SQLLEN>(sqlite3_value_bytes(v));
                if (!p || n > (capacity - 2) / 2) return false;
                auto* w = static_cast<char*>(out);
                if (widenAscii(p, static_cast<size_t>(n), w) < static_cast<size_t>(n)) return false;
                std::memset(w + 2 * n, 0, 2);
                if (indicator) *indicator = 2 * n;
                piece.started = true;
                piece.source = n;
                piece.total = piece.delivered = 2 * n;
                return true;
            }
            return false;
        default:
            return false;
    }
}

// moveColumn for a bound column (a fresh piece).
__attribute__((always_inline)) inline Moved moveBound(sqlite3_value* v, SQLSMALLINT cType, SQLSMALLINT described,
                                                      SQLPOINTER out, SQLLEN capacity, SQLLEN* indicator) {
    // A piece of its own for the fast moves (which the compiler then drops),
    // a fresh one for moveColumn.
    Piece unused;
    if (out && moveSimple(v, cType, out, capacity, indicator, unused)) return {};
    Piece piece;
    return moveColumn(v, cType, described, out, capacity, indicator, piece);
}

// The C type SQL_C_DEFAULT stands for with a column or parameter of `sqlType`.
SQLSMALLINT defaultCType(SQLSMALLINT sqlType);

// Bytes a fixed-size C type occupies; 0 for character and binary types.
SQLLEN fixedSize(SQLSMALLINT cType);

// Binds one parameter value (`value`, `length` as the indicator gives it,
// SQL_NTS allowed for character data) of `cType` to parameter `index`.
// `sqlType` is the type the application gave the parameter: character data
// for a numeric type binds as a number when it reads as one. Returns the
// SQLite result code, or -1 with `state` set for a value it cannot take.
int bindValue(sqlite3_stmt* st, int index, SQLSMALLINT cType, SQLSMALLINT sqlType, const void* value, SQLLEN length,
              const char*& state);

}  // namespace ruva::sqlite
