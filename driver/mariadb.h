// MariaDB through MariaDB Connector/ODBC (3.1): what libruva70 does
// otherwise than the driver says.
//
// - Unsigned integers are described one type wider (the driver hands a value
//   to a buffer of its own described type as its low bits, 4294967295 as -1
//   with success): TINYINT UNSIGNED as SMALLINT, SMALLINT UNSIGNED as INTEGER,
//   INT UNSIGNED as BIGINT, BIGINT UNSIGNED as DECIMAL(20,0), read as text.
//   MEDIUMINT UNSIGNED fits the INTEGER it is described as.
// - TIME holds -838:59:59 to 838:59:59, which the ODBC time structure cannot:
//   time columns are read as their text (driver code -392).
// - BIT(1) is described as TINYINT (the driver reads it as 0 or 1); BIT(n)
//   as BINARY of its (n + 7) / 8 bytes, big-endian (the driver's integer
//   reading of them swaps bytes).
// - Precision: the driver answers 0 for every column that is not decimal;
//   the column size of its description is the precision.
// - A statement interrupted by a cancel (SQLSTATE 70100, error 1317) is
//   reported as S1008, operation cancelled.
// - REPEATABLE READ is MariaDB's default isolation; the driver answers 0.
#pragma once

#include "describe.h"

#include <string>

namespace ruva::mariadb {

// The column as libruva70 shows it, from the driver's description, the
// data source's type name (SQL_COLUMN_TYPE_NAME) and the driver's unsigned
// flag (SQL_COLUMN_UNSIGNED).
ColumnShape columnShape(const char* typeName, bool isUnsigned, const ColumnShape& driver);

// RUVA70_TYPE_TIME_TEXT for time columns, the type otherwise.
SQLSMALLINT columnDriverType(SQLSMALLINT sqlType);

// The SQLSTATE libruva70 reports for a record of the driver's: S1008 for an
// interrupted statement, the state unchanged otherwise.
void correctState(char (&state)[6], SQLINTEGER native);

// SQL_DEFAULT_TXN_ISOLATION of the server (the driver says 0).
constexpr SQLUINTEGER kDefaultIsolation = SQL_TXN_REPEATABLE_READ;

}  // namespace ruva::mariadb

namespace ruva::mariadb {

// The text of SQLColumns on MariaDB: ODBC's 18 columns and AUTO_INCREMENT
// (1 or 0, as psqlODBC adds it), from information_schema.COLUMNS. The
// driver's own SQLColumns calls every character column wide (NVARCHAR) and
// every AUTO_INCREMENT column nullable, and cannot tell which numbers
// themselves. Names and patterns travel as hexadecimal literals: no value
// is ever read as SQL. A null (or empty) catalog is the current database.
// Each argument is a pointer and a length (SQL_NTS: up to its zero byte).
std::string columnsQuery(const unsigned char* catalog, SQLSMALLINT catalogLen, const unsigned char* table,
                         SQLSMALLINT tableLen, const unsigned char* column, SQLSMALLINT columnLen);

}  // namespace ruva::mariadb
