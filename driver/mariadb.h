// MariaDB through MariaDB Connector/ODBC (3.1): what libruva70 does
// otherwise than the driver says. The data source's record is
// mariadbSource() (source.h); these are its parts.
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
// - SQLColumns reads information_schema itself (columnsQuery).
#pragma once

#include "describe.h"
#include "handles.h"

#include <string>

namespace ruva::mariadb {

// The column as libruva70 shows it, from the driver's description (with its
// unsigned flag) and the data source's type name; false when the shared
// rules decide.
bool columnShape(const std::string& typeName, const ColumnShape& driver, ColumnShape& shown);

// Reports an interrupted statement (70100) as S1008.
void fixRecord(Diag& record);

// SQL_DEFAULT_TXN_ISOLATION: REPEATABLE READ (the driver says 0).
void correctInfo(SQLUSMALLINT type, SQLPOINTER out);
// DATETIME and TIMESTAMP as RUVA70_TYPE_TIMESTAMP (wall times, as they are
// written); 0 for other names.
SQLSMALLINT timestampType(const std::string& name);
// A failed execution of the prepared `text` that preparing again mends: a
// query whose result's columns changed with its table (error 2057).
bool planChanged(const Diag& record, const std::string& text);

// The text of SQLColumns on MariaDB: ODBC's 18 columns and AUTO_INCREMENT
// (1 or 0, as psqlODBC adds it), from information_schema.COLUMNS. The
// driver's own SQLColumns calls every character column wide (NVARCHAR) and
// every AUTO_INCREMENT column nullable, and cannot tell which numbers
// themselves. Names and patterns travel as hexadecimal literals: no value
// is ever read as SQL. A null (or empty) catalog is the current database.
// Each argument is a pointer and a length (SQL_NTS: up to its zero byte).
std::string columnsQuery(const SQLCHAR* catalog, SQLSMALLINT catalogLen, const SQLCHAR* table, SQLSMALLINT tableLen,
                         const SQLCHAR* column, SQLSMALLINT columnLen);

}  // namespace ruva::mariadb
