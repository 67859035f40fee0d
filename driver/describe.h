// SQLDescribeCol and SQLDescribeParam, with the driver's own type codes while
// statement option 3057 is 1.
#pragma once

#include "handles.h"

namespace ruva {

SQLRETURN describeColumn(Handle& stmt, SQLUSMALLINT icol, SQLCHAR* szColName, SQLSMALLINT cbColNameMax,
                         SQLSMALLINT* pcbColName, SQLSMALLINT* pfSqlType, SQLULEN* pcbColDef, SQLSMALLINT* pibScale,
                         SQLSMALLINT* pfNullable);
SQLRETURN describeParameter(Handle& stmt, SQLUSMALLINT ipar, SQLSMALLINT* pfSqlType, SQLULEN* pcbParamDef,
                            SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable);

// The driver type code of a result column from its data source's type name
// (the lists of ruva70.h); the standard type for everything else.
SQLSMALLINT columnDriverType(Source source, const char* typeName, SQLSMALLINT sqlType);
// The driver type code of a parameter from its description.
SQLSMALLINT parameterDriverType(Source source, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT scale);

}  // namespace ruva
