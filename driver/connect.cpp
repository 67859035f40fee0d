// Environment and connection entry points, and SQLError.
#include "connection.h"
#include "handles.h"
#include "statement.h"

#include "qvjdbc/driver.h"

#include <algorithm>
#include <cstring>

using namespace ruva;

namespace {

constexpr const char* kNoHandleLeft = "no handle left in the handle table";

void nullOut(SQLHANDLE* out) {
    if (out) *out = nullptr;
}

}  // namespace

extern "C" {

SQLRETURN ruva70_SQLAllocEnv(SQLHENV* phenv) {
    if (!phenv) return SQL_ERROR;
    *phenv = SQL_NULL_HENV;
    const DriverManager* d = dm();
    if (!d) return SQL_ERROR;
    SQLHANDLE env = SQL_NULL_HANDLE;
    SQLRETURN rc = d->SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    if (!SQL_SUCCEEDED(rc)) return rc;
    // ODBC 2 behaviour: date, time and timestamp types 9, 10, 11 and the 2.x
    // SQLSTATEs.
    SQLRETURN vrc = d->SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0);
    if (!SQL_SUCCEEDED(vrc)) {
        d->SQLFreeHandle(SQL_HANDLE_ENV, env);
        return SQL_ERROR;
    }
    uint32_t v = issue(Kind::Env, env, 0, Source::Unknown, nullptr);
    if (!v) {
        // No handle to hold the record: the out-of-memory answer of ODBC is
        // SQL_ERROR with a null handle.
        d->SQLFreeHandle(SQL_HANDLE_ENV, env);
        return SQL_ERROR;
    }
    *phenv = handleOf(v);
    return rc;
}

SQLRETURN ruva70_SQLAllocConnect(SQLHENV henv, SQLHDBC* phdbc) {
    Handle* env = enter(henv, Kind::Env);
    if (!env) {
        nullOut(phdbc);
        return SQL_INVALID_HANDLE;
    }
    if (!phdbc) return fail(*env, "S1009", "null output handle address");
    *phdbc = SQL_NULL_HDBC;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLRETURN rc = DM().SQLAllocConnect(env->dm.load(), &dbc);
    if (!SQL_SUCCEEDED(rc)) return rc;
    uint32_t v = issue(Kind::Dbc, dbc, valueOf(henv), kSourceNotAsked, nullptr);
    if (!v) {
        DM().SQLFreeConnect(dbc);
        return fail(*env, "S1001", kNoHandleLeft);
    }
    *phdbc = handleOf(v);
    return rc;
}

SQLRETURN ruva70_SQLFreeEnv(SQLHENV henv) {
    Handle* env = enter(henv, Kind::Env);
    if (!env) return SQL_INVALID_HANDLE;
    SQLRETURN rc = DM().SQLFreeEnv(env->dm.load());
    if (SQL_SUCCEEDED(rc)) {
        releaseChildren(valueOf(henv), Kind::Dbc);
        release(valueOf(henv), Kind::Env);
    }
    return rc;
}

SQLRETURN ruva70_SQLFreeConnect(SQLHDBC hdbc) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    SQLRETURN rc = DM().SQLFreeConnect(dbc->dm.load());
    if (SQL_SUCCEEDED(rc)) {
        releaseChildren(valueOf(hdbc), Kind::Stmt);
        release(valueOf(hdbc), Kind::Dbc);
    }
    return rc;
}

SQLRETURN ruva70_SQLDriverConnect(SQLHDBC hdbc, SQLHWND hwnd, SQLCHAR* szConnStrIn, SQLSMALLINT cbConnStrIn,
                                  SQLCHAR* szConnStrOut, SQLSMALLINT cbConnStrOutMax, SQLSMALLINT* pcbConnStrOut,
                                  SQLUSMALLINT fDriverCompletion) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    forgetSource(*dbc);
    SQLRETURN rc = DM().SQLDriverConnect(dbc->dm.load(), hwnd, szConnStrIn, cbConnStrIn, szConnStrOut,
                                         cbConnStrOutMax, pcbConnStrOut, fDriverCompletion);
    return SQL_SUCCEEDED(rc) ? afterConnect(*dbc, rc) : rc;
}

SQLRETURN ruva70_SQLBrowseConnect(SQLHDBC hdbc, SQLCHAR* szConnStrIn, SQLSMALLINT cbConnStrIn, SQLCHAR* szConnStrOut,
                                  SQLSMALLINT cbConnStrOutMax, SQLSMALLINT* pcbConnStrOut) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    forgetSource(*dbc);
    SQLRETURN rc =
        DM().SQLBrowseConnect(dbc->dm.load(), szConnStrIn, cbConnStrIn, szConnStrOut, cbConnStrOutMax, pcbConnStrOut);
    return SQL_SUCCEEDED(rc) ? afterConnect(*dbc, rc) : rc;
}

SQLRETURN ruva70_SQLDisconnect(SQLHDBC hdbc) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    std::lock_guard<std::mutex> children(dbc->childrenMu);
    SQLRETURN rc = DM().SQLDisconnect(dbc->dm.load());
    if (SQL_SUCCEEDED(rc)) {
        // The driver manager freed the connection's statements with it.
        releaseChildren(valueOf(hdbc), Kind::Stmt);
        forgetSource(*dbc);
    }
    return rc;
}

SQLRETURN ruva70_SQLTransact(SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT fType) {
    if (hdbc != SQL_NULL_HDBC) {
        Handle* dbc = enter(hdbc, Kind::Dbc);
        if (!dbc) return SQL_INVALID_HANDLE;
        return DM().SQLTransact(SQL_NULL_HENV, dbc->dm.load(), fType);
    }
    Handle* env = enter(henv, Kind::Env);
    if (!env) return SQL_INVALID_HANDLE;
    return DM().SQLTransact(env->dm.load(), SQL_NULL_HDBC, fType);
}

SQLRETURN ruva70_SQLGetConnectOption(SQLHDBC hdbc, SQLUSMALLINT fOption, SQLPOINTER pvParam) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    if (fOption == RUVA70_STMT_DRIVER_TYPES || fOption == RUVA70_STMT_TYPE_FROM_VALUE)
        return fail(*dbc, "S1092", "option " + std::to_string(fOption) + " is a statement option");
    return DM().SQLGetConnectOption(dbc->dm.load(), fOption, pvParam);
}

SQLRETURN ruva70_SQLSetConnectOption(SQLHDBC hdbc, SQLUSMALLINT fOption, SQLULEN vParam) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    if (fOption == RUVA70_STMT_DRIVER_TYPES || fOption == RUVA70_STMT_TYPE_FROM_VALUE)
        return fail(*dbc, "S1092", "option " + std::to_string(fOption) + " is a statement option");
    return DM().SQLSetConnectOption(dbc->dm.load(), fOption, vParam);
}

SQLRETURN ruva70_SQLNativeSql(SQLHDBC hdbc, SQLCHAR* szSqlStrIn, SQLINTEGER cbSqlStrIn, SQLCHAR* szSqlStr,
                              SQLINTEGER cbSqlStrMax, SQLINTEGER* pcbSqlStr) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    return DM().SQLNativeSql(dbc->dm.load(), szSqlStrIn, cbSqlStrIn, szSqlStr, cbSqlStrMax, pcbSqlStr);
}

SQLRETURN ruva70_SQLError(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR* szSqlState, SQLINTEGER* pfNativeError,
                          SQLCHAR* szErrorMsg, SQLSMALLINT cbErrorMsgMax, SQLSMALLINT* pcbErrorMsg) {
    // The most specific handle given is the one whose records are read.
    Handle* h = nullptr;
    if (hstmt != SQL_NULL_HSTMT)
        h = lookup(hstmt, Kind::Stmt);
    else if (hdbc != SQL_NULL_HDBC)
        h = lookup(hdbc, Kind::Dbc);
    else if (henv != SQL_NULL_HENV)
        h = lookup(henv, Kind::Env);
    if (!h) return SQL_INVALID_HANDLE;

    Diag d;
    if (takeDiag(*h, d)) {
        if (szSqlState) std::memcpy(szSqlState, d.state, 6);
        if (pfNativeError) *pfNativeError = d.native;
        size_t len = d.message.size();
        bool truncated = false;
        if (szErrorMsg && cbErrorMsgMax > 0) {
            size_t room = static_cast<size_t>(cbErrorMsgMax) - 1;
            size_t n = std::min(len, room);
            std::memcpy(szErrorMsg, d.message.data(), n);
            szErrorMsg[n] = 0;
            truncated = n < len;
        } else {
            truncated = len > 0;
        }
        if (pcbErrorMsg) *pcbErrorMsg = static_cast<SQLSMALLINT>(std::min<size_t>(len, 32767));
        return truncated ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
    }
    SQLHANDLE dmh = h->dm.load();
    switch (h->kind) {
        case Kind::Stmt:
            return DM().SQLError(SQL_NULL_HENV, SQL_NULL_HDBC, dmh, szSqlState, pfNativeError, szErrorMsg,
                                 cbErrorMsgMax, pcbErrorMsg);
        case Kind::Dbc:
            return DM().SQLError(SQL_NULL_HENV, dmh, SQL_NULL_HSTMT, szSqlState, pfNativeError, szErrorMsg,
                                 cbErrorMsgMax, pcbErrorMsg);
        case Kind::Env:
            break;
    }
    return DM().SQLError(dmh, SQL_NULL_HDBC, SQL_NULL_HSTMT, szSqlState, pfNativeError, szErrorMsg, cbErrorMsgMax,
                         pcbErrorMsg);
}

}  // extern "C"
