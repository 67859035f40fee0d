// The entry points that carry the driver's 8-byte timestamp form: column
// binding, fetching and SQLGetData for timestamp columns read as 8 bytes of
// SQL_C_BINARY, and parameters bound as 8 bytes of SQL_C_BINARY with SQL type
// SQL_TIMESTAMP. Everything else passes through unchanged.
#pragma once

#include "handles.h"

namespace ruva {

SQLRETURN bindColumn(Handle& stmt, SQLUSMALLINT icol, SQLSMALLINT fCType, SQLPOINTER rgbValue, SQLLEN cbValueMax,
                     SQLLEN* pcbValue);
SQLRETURN fetchRow(Handle& stmt);
SQLRETURN getData(Handle& stmt, SQLUSMALLINT icol, SQLSMALLINT fCType, SQLPOINTER rgbValue, SQLLEN cbValueMax,
                  SQLLEN* pcbValue);
SQLRETURN bindParameter(Handle& stmt, SQLUSMALLINT ipar, SQLSMALLINT fParamType, SQLSMALLINT fCType,
                        SQLSMALLINT fSqlType, SQLULEN cbColDef, SQLSMALLINT ibScale, SQLPOINTER rgbValue,
                        SQLLEN cbValueMax, SQLLEN* pcbValue);
// SQLBindParameter on the driver manager; on SQLite the arguments are kept
// in the statement's bindings when it succeeds.
SQLRETURN bindDriverParameter(Handle& stmt, SQLUSMALLINT ipar, SQLSMALLINT fParamType, SQLSMALLINT fCType,
                              SQLSMALLINT fSqlType, SQLULEN cbColDef, SQLSMALLINT ibScale, SQLPOINTER rgbValue,
                              SQLLEN cbValueMax, SQLLEN* pcbValue);
// Before SQLExecute / SQLExecDirect: reads the application's 8-byte values
// and hands them to the driver manager as text. SQL_SUCCESS or the failure.
SQLRETURN prepareParamConversions(Handle& stmt);
// Data at execution: SQLParamData notes whether the parameter asked for is a
// converted one, and SQLPutData then converts its 8 bytes.
SQLRETURN paramData(Handle& stmt, SQLPOINTER* prgbValue);
SQLRETURN putData(Handle& stmt, SQLPOINTER rgbValue, SQLLEN cbValue);

}  // namespace ruva
