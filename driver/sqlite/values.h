// How the SQLite engine describes columns and moves values between SQLite's
// storage classes and the application's C types.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
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
