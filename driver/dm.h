// The driver manager as libruva70 reaches it: unixODBC opened with dlopen and
// every function taken from that library's own handle with dlsym. The
// library's exported names carry the ruva70_ prefix, and its calls go
// through this table, so no call can resolve to libruva70 itself or to
// another library that happens to export an SQL... name.
#pragma once

#include <sql.h>
#include <sqlext.h>

namespace ruva {

static_assert(sizeof(SQLLEN) == 8 && sizeof(SQLULEN) == 8, "unixODBC on x86-64: SQLLEN is 8 bytes");
static_assert(sizeof(SQLWCHAR) == 2, "SQLWCHAR is UTF-16");

// X(name): every driver manager function libruva70 calls.
#define RUVA_DM_FUNCTIONS(X) \
    X(SQLAllocHandle)        \
    X(SQLFreeHandle)         \
    X(SQLSetEnvAttr)         \
    X(SQLAllocConnect)       \
    X(SQLAllocStmt)          \
    X(SQLBindCol)            \
    X(SQLCancel)             \
    X(SQLColAttributes)      \
    X(SQLDescribeCol)        \
    X(SQLDisconnect)         \
    X(SQLError)              \
    X(SQLExecDirect)         \
    X(SQLExecute)            \
    X(SQLFetch)              \
    X(SQLFreeConnect)        \
    X(SQLFreeEnv)            \
    X(SQLFreeStmt)           \
    X(SQLGetCursorName)      \
    X(SQLNumResultCols)      \
    X(SQLPrepare)            \
    X(SQLRowCount)           \
    X(SQLSetCursorName)      \
    X(SQLTransact)           \
    X(SQLColumns)            \
    X(SQLDriverConnect)      \
    X(SQLGetConnectOption)   \
    X(SQLGetData)            \
    X(SQLGetInfo)            \
    X(SQLGetStmtOption)      \
    X(SQLGetTypeInfo)        \
    X(SQLParamData)          \
    X(SQLPutData)            \
    X(SQLSetConnectOption)   \
    X(SQLSetStmtOption)      \
    X(SQLSpecialColumns)     \
    X(SQLStatistics)         \
    X(SQLTables)             \
    X(SQLBrowseConnect)      \
    X(SQLColumnPrivileges)   \
    X(SQLDescribeParam)      \
    X(SQLForeignKeys)        \
    X(SQLMoreResults)        \
    X(SQLNativeSql)          \
    X(SQLNumParams)          \
    X(SQLParamOptions)       \
    X(SQLPrimaryKeys)        \
    X(SQLProcedureColumns)   \
    X(SQLProcedures)         \
    X(SQLTablePrivileges)    \
    X(SQLBindParameter)

struct DriverManager {
#define RUVA_DM_MEMBER(name) decltype(&::name) name;
    RUVA_DM_FUNCTIONS(RUVA_DM_MEMBER)
#undef RUVA_DM_MEMBER
    // unixODBC opens drivers with libltdl, and SQLGetInfo(SQL_DRIVER_HLIB)
    // answers libltdl's handle of the driver's library; its functions are
    // found with lt_dlsym. Null when the driver manager does not use libltdl
    // (the driver's own functions are then not looked up).
    void* (*lt_dlsym)(void* module, const char* name) = nullptr;
};

// The driver's own function `name` of a connected driver manager connection,
// or null (see lt_dlsym above).
void* driverFunction(SQLHDBC dmDbc, const char* name);

// The driver manager's functions, loaded on first use. Null when unixODBC
// could not be loaded or lacks one of the functions; every entry point then
// answers SQL_ERROR (allocation) or SQL_INVALID_HANDLE (no handle can exist).
const DriverManager* dm();

}  // namespace ruva
