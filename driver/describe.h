// SQLDescribeCol and SQLDescribeParam, with the driver's own type codes while
// statement option 3057 is 1.
#pragma once

#include "handles.h"

#include <string>

namespace ruva {

SQLRETURN describeColumn(Handle& stmt, SQLUSMALLINT icol, SQLCHAR* szColName, SQLSMALLINT cbColNameMax,
                         SQLSMALLINT* pcbColName, SQLSMALLINT* pfSqlType, SQLULEN* pcbColDef, SQLSMALLINT* pibScale,
                         SQLSMALLINT* pfNullable);
// SQLColAttributes: type, length, precision, scale and display size agree
// with describeColumn; every other attribute is the driver's.
SQLRETURN columnAttribute(Handle& stmt, SQLUSMALLINT icol, SQLUSMALLINT fDescType, SQLPOINTER rgbDesc,
                          SQLSMALLINT cbDescMax, SQLSMALLINT* pcbDesc, SQLLEN* pfDesc);
SQLRETURN describeParameter(Handle& stmt, SQLUSMALLINT ipar, SQLSMALLINT* pfSqlType, SQLULEN* pcbParamDef,
                            SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable);

// How libruva70 describes a result column, from the driver's description
// (type, column size, decimal digits) and the data source's type name: every
// column as a type of the native library's binding table, at a size that
// holds its values (the rules are listed in ruva70.h).
struct ColumnShape {
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT scale = 0;
    // Described otherwise than the driver does; then SQL_COLUMN_DISPLAY_SIZE
    // and SQL_COLUMN_LENGTH answer these.
    bool changed = false;
    SQLLEN displaySize = 0;
    SQLLEN octetLength = 0;
    // The driver's unsigned flag, where the data source's record asks for it.
    bool isUnsigned = false;
};
ColumnShape columnShape(const DataSource& source, const char* typeName, const ColumnShape& driver);
// Shows a column as `type` of `size` characters or digits.
void showAs(ColumnShape& c, SQLSMALLINT type, SQLULEN size);
// The type name in lower case, without blanks around it and without a
// length or precision in parentheses ("TIMESTAMP(3)" is "timestamp").
std::string normalTypeName(const char* name);

// The driver type code of a result column from its data source's type name
// (the lists of ruva70.h); the standard type for everything else.
// Whether an SQL type is character data (narrow or wide, of any length).
bool isCharacterType(SQLSMALLINT t);

SQLSMALLINT columnDriverType(const DataSource& source, const char* typeName, SQLSMALLINT sqlType);
// The driver type code of a parameter from its description.
SQLSMALLINT parameterDriverType(const DataSource& source, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT scale);

}  // namespace ruva
