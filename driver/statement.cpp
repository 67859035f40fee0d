// Statement entry points: allocation and release, the driver's statement
// options, execution, fetching and the catalog functions.
#include "statement.h"

#include "connection.h"
#include "conversion.h"
#include "describe.h"

#include "qvjdbc/driver.h"

#include <cstring>

using namespace ruva;

namespace {

// The statement, with its previous records cleared, and its state.
struct Stmt {
    Handle* h;
    SQLHSTMT dm() const { return h->dm.load(); }
    StmtState& st() const { return *h->stmt; }
};

bool enterStmt(SQLHSTMT hstmt, Stmt& s) {
    s.h = enter(hstmt, Kind::Stmt);
    if (s.h == nullptr || s.h->stmt == nullptr) return false;
    s.h->stmt->keepRecords = false;
    return true;
}

// Entry of the parameter-binding calls (SQLBindParameter, SQLParamOptions).
// After an execution that left records they are kept: the driver manager's
// records move into libruva70's own list (returned first by SQLError), so
// that restoring a statement's bindings after a failed or warned execution
// does not lose what the execution reported. Otherwise the call clears the
// records as every call does.
bool enterBinding(SQLHSTMT hstmt, Stmt& s) {
    s.h = lookup(hstmt, Kind::Stmt);
    if (s.h == nullptr || s.h->stmt == nullptr) return false;
    if (!s.h->stmt->keepRecords) {
        clearDiags(*s.h);
        return true;
    }
    for (int i = 0; i < 64; ++i) {
        SQLCHAR state[8] = {};
        SQLCHAR message[4096] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = DM().SQLError(SQL_NULL_HENV, SQL_NULL_HDBC, s.dm(), state, &native, message,
                                     static_cast<SQLSMALLINT>(sizeof message), &length);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        keepDiag(*s.h, reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(message));
    }
    return true;
}

// Marks whether an execution left records for the binding calls to keep.
SQLRETURN executed(Stmt& s, SQLRETURN rc) {
    s.st().keepRecords = rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO;
    return rc;
}

SQLRETURN setOwnOption(Handle& h, SQLULEN& cell, SQLUSMALLINT option, SQLULEN value) {
    if (value != 0 && value != 1)
        return fail(h, "S1009", "option " + std::to_string(option) + " takes 0 or 1, not " + std::to_string(value));
    cell = value;
    return SQL_SUCCESS;
}

}  // namespace

#define RUVA_ENTER_STMT(hstmt) \
    Stmt s;                    \
    if (!enterStmt(hstmt, s)) return SQL_INVALID_HANDLE

extern "C" {

SQLRETURN ruva70_SQLAllocStmt(SQLHDBC hdbc, SQLHSTMT* phstmt) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) {
        if (phstmt) *phstmt = SQL_NULL_HSTMT;
        return SQL_INVALID_HANDLE;
    }
    if (!phstmt) return fail(*dbc, "S1009", "null output handle address");
    *phstmt = SQL_NULL_HSTMT;
    // Asked before the allocation, whose own records must be what remains.
    Source source = sourceOf(*dbc);
    auto state = std::make_unique<StmtState>();
    state->source = source;
    state->dmDbc = dbc->dm.load();
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLRETURN rc = DM().SQLAllocStmt(dbc->dm.load(), &st);
    if (!SQL_SUCCEEDED(rc)) return rc;
    uint32_t v = issue(Kind::Stmt, st, valueOf(hdbc), source, std::move(state));
    if (!v) {
        DM().SQLFreeStmt(st, SQL_DROP);
        return fail(*dbc, "S1001", "no handle left in the handle table");
    }
    *phstmt = handleOf(v);
    return rc;
}

SQLRETURN ruva70_SQLFreeStmt(SQLHSTMT hstmt, SQLUSMALLINT fOption) {
    RUVA_ENTER_STMT(hstmt);
    if (fOption == SQL_DROP) {
        // No cancel may reach the driver manager's statement once it is freed.
        std::lock_guard<std::mutex> lock(s.h->cancelMu);
        SQLRETURN rc = DM().SQLFreeStmt(s.dm(), fOption);
        if (SQL_SUCCEEDED(rc)) release(valueOf(hstmt), Kind::Stmt);
        return rc;
    }
    SQLRETURN rc = DM().SQLFreeStmt(s.dm(), fOption);
    if (!SQL_SUCCEEDED(rc)) return rc;
    switch (fOption) {
        case SQL_CLOSE:
            s.st().resultChanged = true;
            break;
        case SQL_UNBIND:
            s.st().columns.clear();
            break;
        case SQL_RESET_PARAMS:
            s.st().params.clear();
            break;
        default:
            break;
    }
    return rc;
}

SQLRETURN ruva70_SQLCancel(SQLHSTMT hstmt) {
    // May arrive from another thread while the statement runs: it touches
    // only the driver manager's handle (atomic) and clears nothing.
    Handle* h = lookup(hstmt, Kind::Stmt);
    if (!h) return SQL_INVALID_HANDLE;
    std::lock_guard<std::mutex> lock(h->cancelMu);
    // The statement may have been freed (and its slot issued again) while
    // this call waited.
    if (lookup(hstmt, Kind::Stmt) != h) return SQL_INVALID_HANDLE;
    SQLHSTMT d = h->dm.load(std::memory_order_acquire);
    if (!d) return SQL_INVALID_HANDLE;
    return DM().SQLCancel(d);
}

SQLRETURN ruva70_SQLSetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT fOption, SQLULEN vParam) {
    RUVA_ENTER_STMT(hstmt);
    switch (fOption) {
        case RUVA70_STMT_DRIVER_TYPES:
            return setOwnOption(*s.h, s.st().driverTypes, fOption, vParam);
        case RUVA70_STMT_TYPE_FROM_VALUE:
            return setOwnOption(*s.h, s.st().typeFromValue, fOption, vParam);
        default:
            return DM().SQLSetStmtOption(s.dm(), fOption, vParam);
    }
}

SQLRETURN ruva70_SQLGetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT fOption, SQLPOINTER pvParam) {
    RUVA_ENTER_STMT(hstmt);
    const SQLULEN* cell = nullptr;
    if (fOption == RUVA70_STMT_DRIVER_TYPES) cell = &s.st().driverTypes;
    if (fOption == RUVA70_STMT_TYPE_FROM_VALUE) cell = &s.st().typeFromValue;
    if (!cell) return DM().SQLGetStmtOption(s.dm(), fOption, pvParam);
    if (!pvParam) return fail(*s.h, "S1009", "null option value address");
    std::memcpy(pvParam, cell, sizeof *cell);
    return SQL_SUCCESS;
}

SQLRETURN ruva70_SQLPrepare(SQLHSTMT hstmt, SQLCHAR* szSqlStr, SQLINTEGER cbSqlStr) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    return DM().SQLPrepare(s.dm(), szSqlStr, cbSqlStr);
}

SQLRETURN ruva70_SQLExecute(SQLHSTMT hstmt) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    SQLRETURN rc = prepareParamConversions(*s.h);
    if (rc != SQL_SUCCESS) return rc;
    return executed(s, DM().SQLExecute(s.dm()));
}

SQLRETURN ruva70_SQLExecDirect(SQLHSTMT hstmt, SQLCHAR* szSqlStr, SQLINTEGER cbSqlStr) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    SQLRETURN rc = prepareParamConversions(*s.h);
    if (rc != SQL_SUCCESS) return rc;
    return executed(s, DM().SQLExecDirect(s.dm(), szSqlStr, cbSqlStr));
}

SQLRETURN ruva70_SQLParamData(SQLHSTMT hstmt, SQLPOINTER* prgbValue) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    // The token is the application's own value pointer, as it bound it.
    return executed(s, paramData(*s.h, prgbValue));
}

SQLRETURN ruva70_SQLPutData(SQLHSTMT hstmt, SQLPOINTER rgbValue, SQLLEN cbValue) {
    RUVA_ENTER_STMT(hstmt);
    return putData(*s.h, rgbValue, cbValue);
}

SQLRETURN ruva70_SQLMoreResults(SQLHSTMT hstmt) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    return DM().SQLMoreResults(s.dm());
}

SQLRETURN ruva70_SQLNumResultCols(SQLHSTMT hstmt, SQLSMALLINT* pccol) {
    RUVA_ENTER_STMT(hstmt);
    return DM().SQLNumResultCols(s.dm(), pccol);
}

SQLRETURN ruva70_SQLNumParams(SQLHSTMT hstmt, SQLSMALLINT* pcpar) {
    RUVA_ENTER_STMT(hstmt);
    return DM().SQLNumParams(s.dm(), pcpar);
}

SQLRETURN ruva70_SQLRowCount(SQLHSTMT hstmt, SQLLEN* pcrow) {
    RUVA_ENTER_STMT(hstmt);
    return DM().SQLRowCount(s.dm(), pcrow);
}

SQLRETURN ruva70_SQLGetCursorName(SQLHSTMT hstmt, SQLCHAR* szCursor, SQLSMALLINT cbCursorMax,
                                  SQLSMALLINT* pcbCursor) {
    RUVA_ENTER_STMT(hstmt);
    return DM().SQLGetCursorName(s.dm(), szCursor, cbCursorMax, pcbCursor);
}

SQLRETURN ruva70_SQLSetCursorName(SQLHSTMT hstmt, SQLCHAR* szCursor, SQLSMALLINT cbCursor) {
    RUVA_ENTER_STMT(hstmt);
    return DM().SQLSetCursorName(s.dm(), szCursor, cbCursor);
}

SQLRETURN ruva70_SQLColAttributes(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLUSMALLINT fDescType, SQLPOINTER rgbDesc,
                                  SQLSMALLINT cbDescMax, SQLSMALLINT* pcbDesc, SQLLEN* pfDesc) {
    RUVA_ENTER_STMT(hstmt);
    return DM().SQLColAttributes(s.dm(), icol, fDescType, rgbDesc, cbDescMax, pcbDesc, pfDesc);
}

SQLRETURN ruva70_SQLDescribeCol(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLCHAR* szColName, SQLSMALLINT cbColNameMax,
                                SQLSMALLINT* pcbColName, SQLSMALLINT* pfSqlType, SQLULEN* pcbColDef,
                                SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable) {
    RUVA_ENTER_STMT(hstmt);
    return describeColumn(*s.h, icol, szColName, cbColNameMax, pcbColName, pfSqlType, pcbColDef, pibScale,
                          pfNullable);
}

SQLRETURN ruva70_SQLDescribeParam(SQLHSTMT hstmt, SQLUSMALLINT ipar, SQLSMALLINT* pfSqlType, SQLULEN* pcbParamDef,
                                  SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable) {
    RUVA_ENTER_STMT(hstmt);
    return describeParameter(*s.h, ipar, pfSqlType, pcbParamDef, pibScale, pfNullable);
}

SQLRETURN ruva70_SQLBindCol(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLSMALLINT fCType, SQLPOINTER rgbValue,
                            SQLLEN cbValueMax, SQLLEN* pcbValue) {
    RUVA_ENTER_STMT(hstmt);
    return bindColumn(*s.h, icol, fCType, rgbValue, cbValueMax, pcbValue);
}

SQLRETURN ruva70_SQLFetch(SQLHSTMT hstmt) {
    RUVA_ENTER_STMT(hstmt);
    return fetchRow(*s.h);
}

SQLRETURN ruva70_SQLGetData(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLSMALLINT fCType, SQLPOINTER rgbValue,
                            SQLLEN cbValueMax, SQLLEN* pcbValue) {
    RUVA_ENTER_STMT(hstmt);
    return getData(*s.h, icol, fCType, rgbValue, cbValueMax, pcbValue);
}

SQLRETURN ruva70_SQLBindParameter(SQLHSTMT hstmt, SQLUSMALLINT ipar, SQLSMALLINT fParamType, SQLSMALLINT fCType,
                                  SQLSMALLINT fSqlType, SQLULEN cbColDef, SQLSMALLINT ibScale, SQLPOINTER rgbValue,
                                  SQLLEN cbValueMax, SQLLEN* pcbValue) {
    Stmt s;
    if (!enterBinding(hstmt, s)) return SQL_INVALID_HANDLE;
    return bindParameter(*s.h, ipar, fParamType, fCType, fSqlType, cbColDef, ibScale, rgbValue, cbValueMax, pcbValue);
}

SQLRETURN ruva70_SQLParamOptions(SQLHSTMT hstmt, SQLULEN crow, SQLULEN* pirow) {
    Stmt s;
    if (!enterBinding(hstmt, s)) return SQL_INVALID_HANDLE;
    SQLRETURN rc = DM().SQLParamOptions(s.dm(), crow, pirow);
    if (SQL_SUCCEEDED(rc)) s.st().paramRows = crow;
    return rc;
}

// Catalog functions: a new result set, otherwise forwarded as they are.

SQLRETURN ruva70_SQLGetTypeInfo(SQLHSTMT hstmt, SQLSMALLINT fSqlType) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    return DM().SQLGetTypeInfo(s.dm(), fSqlType);
}

SQLRETURN ruva70_SQLTables(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName, SQLCHAR* szSchemaName,
                           SQLSMALLINT cbSchemaName, SQLCHAR* szTableName, SQLSMALLINT cbTableName,
                           SQLCHAR* szTableType, SQLSMALLINT cbTableType) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    return DM().SQLTables(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szTableName, cbTableName,
                          szTableType, cbTableType);
}

SQLRETURN ruva70_SQLColumns(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName, SQLCHAR* szSchemaName,
                            SQLSMALLINT cbSchemaName, SQLCHAR* szTableName, SQLSMALLINT cbTableName,
                            SQLCHAR* szColumnName, SQLSMALLINT cbColumnName) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    return DM().SQLColumns(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szTableName, cbTableName,
                           szColumnName, cbColumnName);
}

SQLRETURN ruva70_SQLSpecialColumns(SQLHSTMT hstmt, SQLUSMALLINT fColType, SQLCHAR* szCatalogName,
                                   SQLSMALLINT cbCatalogName, SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName,
                                   SQLCHAR* szTableName, SQLSMALLINT cbTableName, SQLUSMALLINT fScope,
                                   SQLUSMALLINT fNullable) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    return DM().SQLSpecialColumns(s.dm(), fColType, szCatalogName, cbCatalogName, szSchemaName, cbSchemaName,
                                  szTableName, cbTableName, fScope, fNullable);
}

SQLRETURN ruva70_SQLStatistics(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName,
                               SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName, SQLCHAR* szTableName,
                               SQLSMALLINT cbTableName, SQLUSMALLINT fUnique, SQLUSMALLINT fAccuracy) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    return DM().SQLStatistics(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szTableName,
                              cbTableName, fUnique, fAccuracy);
}

SQLRETURN ruva70_SQLColumnPrivileges(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName,
                                     SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName, SQLCHAR* szTableName,
                                     SQLSMALLINT cbTableName, SQLCHAR* szColumnName, SQLSMALLINT cbColumnName) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    return DM().SQLColumnPrivileges(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szTableName,
                                    cbTableName, szColumnName, cbColumnName);
}

SQLRETURN ruva70_SQLForeignKeys(SQLHSTMT hstmt, SQLCHAR* szPkCatalogName, SQLSMALLINT cbPkCatalogName,
                                SQLCHAR* szPkSchemaName, SQLSMALLINT cbPkSchemaName, SQLCHAR* szPkTableName,
                                SQLSMALLINT cbPkTableName, SQLCHAR* szFkCatalogName, SQLSMALLINT cbFkCatalogName,
                                SQLCHAR* szFkSchemaName, SQLSMALLINT cbFkSchemaName, SQLCHAR* szFkTableName,
                                SQLSMALLINT cbFkTableName) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    return DM().SQLForeignKeys(s.dm(), szPkCatalogName, cbPkCatalogName, szPkSchemaName, cbPkSchemaName,
                               szPkTableName, cbPkTableName, szFkCatalogName, cbFkCatalogName, szFkSchemaName,
                               cbFkSchemaName, szFkTableName, cbFkTableName);
}

SQLRETURN ruva70_SQLPrimaryKeys(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName,
                                SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName, SQLCHAR* szTableName,
                                SQLSMALLINT cbTableName) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    return DM().SQLPrimaryKeys(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szTableName,
                               cbTableName);
}

SQLRETURN ruva70_SQLProcedureColumns(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName,
                                     SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName, SQLCHAR* szProcName,
                                     SQLSMALLINT cbProcName, SQLCHAR* szColumnName, SQLSMALLINT cbColumnName) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    return DM().SQLProcedureColumns(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szProcName,
                                    cbProcName, szColumnName, cbColumnName);
}

SQLRETURN ruva70_SQLProcedures(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName,
                               SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName, SQLCHAR* szProcName,
                               SQLSMALLINT cbProcName) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    return DM().SQLProcedures(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szProcName,
                              cbProcName);
}

SQLRETURN ruva70_SQLTablePrivileges(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName,
                                    SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName, SQLCHAR* szTableName,
                                    SQLSMALLINT cbTableName) {
    RUVA_ENTER_STMT(hstmt);
    s.st().resultChanged = true;
    return DM().SQLTablePrivileges(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szTableName,
                                   cbTableName);
}

}  // extern "C"
