// The driver entry table: every entry point of the client driver library
// ruva70 that the native library calls, with its ordinal. The ODBC entry
// points are declared with unixODBC's own prototypes (decltype of the ODBC
// function), so every width at every call is the driver manager's.
//
// On Linux the entry points carry the prefix ruva70_ so that the native
// library's references can never bind to the driver manager's or a driver's
// SQL... names in the process; on Windows they are imported by ordinal.
//
// The native library calls them through qv::drv, a table of the entry
// points' addresses. In production it holds exactly the library's exports;
// the contract tests replace entries to script the driver's answers.
#pragma once

#include "qvjdbc/ruva70.h"

// X(ordinal, name): the ODBC 2.x entry points, in ordinal order.
#define QV_ODBC_ENTRIES(X)     \
    X(1, SQLAllocConnect)      \
    X(2, SQLAllocEnv)          \
    X(3, SQLAllocStmt)         \
    X(4, SQLBindCol)           \
    X(5, SQLCancel)            \
    X(6, SQLColAttributes)     \
    X(8, SQLDescribeCol)       \
    X(9, SQLDisconnect)        \
    X(10, SQLError)            \
    X(11, SQLExecDirect)       \
    X(12, SQLExecute)          \
    X(13, SQLFetch)            \
    X(14, SQLFreeConnect)      \
    X(15, SQLFreeEnv)          \
    X(16, SQLFreeStmt)         \
    X(17, SQLGetCursorName)    \
    X(18, SQLNumResultCols)    \
    X(19, SQLPrepare)          \
    X(20, SQLRowCount)         \
    X(21, SQLSetCursorName)    \
    X(23, SQLTransact)         \
    X(40, SQLColumns)          \
    X(41, SQLDriverConnect)    \
    X(42, SQLGetConnectOption) \
    X(43, SQLGetData)          \
    X(45, SQLGetInfo)          \
    X(46, SQLGetStmtOption)    \
    X(47, SQLGetTypeInfo)      \
    X(48, SQLParamData)        \
    X(49, SQLPutData)          \
    X(50, SQLSetConnectOption) \
    X(51, SQLSetStmtOption)    \
    X(52, SQLSpecialColumns)   \
    X(53, SQLStatistics)       \
    X(54, SQLTables)           \
    X(55, SQLBrowseConnect)    \
    X(56, SQLColumnPrivileges) \
    X(58, SQLDescribeParam)    \
    X(60, SQLForeignKeys)      \
    X(61, SQLMoreResults)      \
    X(62, SQLNativeSql)        \
    X(63, SQLNumParams)        \
    X(64, SQLParamOptions)     \
    X(65, SQLPrimaryKeys)      \
    X(66, SQLProcedureColumns) \
    X(67, SQLProcedures)       \
    X(70, SQLTablePrivileges)  \
    X(72, SQLBindParameter)

// X(ordinal, name): the driver's XA entry points.
#define QV_XA_ENTRIES(X) \
    X(2001, xa_start)    \
    X(2002, xa_end)      \
    X(2003, xa_prepare)  \
    X(2004, xa_commit)   \
    X(2005, xa_rollback) \
    X(2006, xa_pending)  \
    X(2007, xa_recover)  \
    X(2008, xa_forget)

#define QV_ALL_ENTRIES(X) QV_ODBC_ENTRIES(X) QV_XA_ENTRIES(X)

#ifdef __cplusplus
extern "C" {
#define QV_DECLARE_ODBC_ENTRY(ord, name) decltype(::name) ruva70_##name;
QV_ODBC_ENTRIES(QV_DECLARE_ODBC_ENTRY)
#undef QV_DECLARE_ODBC_ENTRY
}

namespace qv {

// The addresses of the driver's entry points, one member per entry.
struct DriverTable {
#define QV_TABLE_MEMBER(ord, name) decltype(&::ruva70_##name) name;
    QV_ALL_ENTRIES(QV_TABLE_MEMBER)
#undef QV_TABLE_MEMBER
};

// The table every entry point calls through (defined in bridge/driver_table.cpp).
extern DriverTable drv;
// The driver's own exports, for restoring drv after a test replaced entries.
extern const DriverTable kDriverExports;

}  // namespace qv
#endif
