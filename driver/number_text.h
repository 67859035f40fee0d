// Numbers read as text. The SQLite driver and psqlODBC turn a value into a
// numeric C type without a range check (470414411239 into SQL_C_SLONG is its
// low 32 bits, "1e+300" into SQL_C_SBIGINT is 1, text that is no number is a
// NULL or 0, all with SQL_SUCCESS). libruva70 reads such values as text and
// converts them itself, as ODBC says a driver must: the whole value, a
// fraction cut with 01S07, or SQL_ERROR with 22003 (out of range) or 22005
// (no number).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>

namespace ruva::number {

// The numeric C types converted here; every other C type is left to the
// driver (SQL_C_UBIGINT and SQL_C_NUMERIC among them).
bool isConverted(SQLSMALLINT cType);

// Bytes the converted value occupies (its indicator), 0 for other C types.
SQLLEN valueSize(SQLSMALLINT cType);

// The text cell a value is read into; a value whose text is longer arrives
// cut (see convert).
inline constexpr size_t kTextBytes = 512;

struct Outcome {
    SQLRETURN rc;       // SQL_SUCCESS, SQL_SUCCESS_WITH_INFO or SQL_ERROR
    const char* state;  // null, "01S07", "22003" or "22005"
};

// Converts the text of one value (len bytes at text; `cut` when the data
// source's text was longer than that) into a value of cType at out. The text
// is a decimal number with optional sign, point and exponent, blanks around
// it, or one of inf, infinity and nan (any case; floating-point targets
// only). Integer targets take the value's integer part (a fraction gives
// 01S07); SQL_C_BIT takes 0 or 1; floating-point targets the nearest value,
// one too small for the type gives 0 with 01S07. Nothing is written to out
// unless rc is not SQL_ERROR.
Outcome convert(const char* text, size_t len, bool cut, SQLSMALLINT cType, void* out);

}  // namespace ruva::number
