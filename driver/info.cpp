// SQLGetInfo: the driver's own information type 3001, the information types
// that return handles, and everything else forwarded.
#include "connection.h"
#include "handles.h"

#include "qvjdbc/driver.h"

#include <cstring>
#include <string>

using namespace ruva;

namespace {

// Writes a 32-bit or a handle-width value as the caller's buffer allows: the
// whole SQLHANDLE width when the buffer says it holds one, else 32 bits (our
// handle values fit in 31 bits).
void writeHandleInfo(SQLPOINTER out, SQLSMALLINT max, SQLSMALLINT* len, uint32_t value) {
    if (out) {
        if (max >= static_cast<SQLSMALLINT>(sizeof(SQLHANDLE))) {
            SQLHANDLE h = handleOf(value);
            std::memcpy(out, &h, sizeof h);
        } else {
            std::memcpy(out, &value, sizeof value);
        }
    }
    if (len) *len = max >= static_cast<SQLSMALLINT>(sizeof(SQLHANDLE)) ? sizeof(SQLHANDLE) : sizeof(uint32_t);
}

uint32_t readHandleInfo(SQLPOINTER in, SQLSMALLINT max) {
    if (!in) return 0;
    if (max >= static_cast<SQLSMALLINT>(sizeof(SQLHANDLE))) {
        SQLHANDLE h;
        std::memcpy(&h, in, sizeof h);
        return valueOf(h);
    }
    uint32_t v;
    std::memcpy(&v, in, sizeof v);
    return v;
}

// Whether the driver manager's connection is connected: a connection not yet
// connected (or disconnected) answers nothing about its data source.
bool isConnected(Handle& dbc) {
    char name[64] = {};
    SQLSMALLINT len = 0;
    return SQL_SUCCEEDED(DM().SQLGetInfo(dbc.dm.load(), SQL_DBMS_NAME, name, sizeof name, &len));
}

// PostgreSQL: a standby (pg_is_in_recovery) or a session whose transactions
// are read-only is read-only; otherwise read-write. Asked with an internal
// statement on the connection, which must leave the session's transaction
// as it found it: in manual-commit mode psqlODBC opens a transaction for any
// statement when none is open, and one left open would hold a snapshot
// taken before the application's first statement and keep an XA branch from
// starting. The same statement tells whether that happened (the transaction
// began in the statement's own message when now() equals its time); if so,
// autocommit goes on and off again at once, which ends that empty
// transaction. A transaction of the application's stays open, untouched.
SQLRETURN dataStoreState(Handle& dbc, SQLINTEGER& state) {
    state = RUVA70_STORE_UNKNOWN;
    const Source source = sourceOf(dbc);
    if (source == Source::Unknown && !isConnected(dbc)) return fail(dbc, "08003", "the connection is not open");
    if (source != Source::PostgreSQL) return SQL_SUCCESS;
    const DriverManager& d = DM();
    SQLHDBC h = dbc.dm.load();
    SQLULEN autocommit = SQL_AUTOCOMMIT_ON;  // an 8-byte cell, whatever the driver writes
    const bool manual =
        SQL_SUCCEEDED(d.SQLGetConnectOption(h, SQL_AUTOCOMMIT, &autocommit)) && autocommit == SQL_AUTOCOMMIT_OFF;
    std::string value, reason;
    if (runInternal(h,
                    "SELECT CASE WHEN pg_is_in_recovery() OR current_setting('transaction_read_only') = 'on' "
                    "THEN '2' ELSE '1' END || CASE WHEN now() = statement_timestamp() THEN '+' ELSE '-' END",
                    &value, reason) != SQL_SUCCESS)
        return fail(dbc, "S1000", "cannot ask the data source for its state: " + reason);
    if (manual && value.size() == 2 && value[1] == '+') {
        d.SQLSetConnectOption(h, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
        d.SQLSetConnectOption(h, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
    }
    state = value.rfind('2', 0) == 0 ? RUVA70_STORE_READ_ONLY : RUVA70_STORE_READ_WRITE;
    return SQL_SUCCESS;
}

// Answers of psqlODBC that PostgreSQL contradicts: NULL || 'a' is NULL there
// (psqlODBC says SQL_CB_NON_NULL), and {fn RAND(seed)} becomes SQL that
// PostgreSQL refuses, so RAND is not listed. Other data sources' answers
// pass unchanged.
SQLRETURN correctedInfo(Handle& dbc, SQLUSMALLINT type, SQLPOINTER out, SQLSMALLINT max, SQLSMALLINT* len) {
    const Source source = sourceOf(dbc);
    SQLRETURN rc = DM().SQLGetInfo(dbc.dm.load(), type, out, max, len);
    if (!SQL_SUCCEEDED(rc) || !out || source != Source::PostgreSQL) return rc;
    if (type == SQL_CONCAT_NULL_BEHAVIOR) {
        const SQLUSMALLINT nullResult = SQL_CB_NULL;
        std::memcpy(out, &nullResult, sizeof nullResult);
    } else if (type == SQL_NUMERIC_FUNCTIONS) {
        SQLUINTEGER mask;
        std::memcpy(&mask, out, sizeof mask);
        mask &= ~static_cast<SQLUINTEGER>(SQL_FN_NUM_RAND);
        std::memcpy(out, &mask, sizeof mask);
    }
    return rc;
}

}  // namespace

extern "C" SQLRETURN ruva70_SQLGetInfo(SQLHDBC hdbc, SQLUSMALLINT fInfoType, SQLPOINTER rgbInfoValue,
                                       SQLSMALLINT cbInfoValueMax, SQLSMALLINT* pcbInfoValue) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    uint32_t self = valueOf(hdbc);
    switch (fInfoType) {
        case RUVA70_INFO_DATA_STORE_STATE: {
            SQLINTEGER state = 0;
            SQLRETURN rc = dataStoreState(*dbc, state);
            if (rc != SQL_SUCCESS) return rc;
            if (rgbInfoValue) std::memcpy(rgbInfoValue, &state, sizeof state);
            if (pcbInfoValue) *pcbInfoValue = sizeof state;
            return SQL_SUCCESS;
        }
        case RUVA70_INFO_GENERATED_KEYS: {
            const Source source = sourceOf(*dbc);
            if (source == Source::Unknown && !isConnected(*dbc))
                return fail(*dbc, "08003", "the connection is not open");
            const SQLINTEGER how = source == Source::PostgreSQL ? RUVA70_KEYS_RETURNING
                                   : source == Source::SQLite   ? RUVA70_KEYS_LAST_ROWID
                                                                : RUVA70_KEYS_NONE;
            if (rgbInfoValue) std::memcpy(rgbInfoValue, &how, sizeof how);
            if (pcbInfoValue) *pcbInfoValue = sizeof how;
            return SQL_SUCCESS;
        }
        // The handles a caller of libruva70 knows are libruva70's own; the
        // driver manager's are never handed out.
        case SQL_DRIVER_HENV:
            writeHandleInfo(rgbInfoValue, cbInfoValueMax, pcbInfoValue, dbc->parent.load(std::memory_order_relaxed));
            return SQL_SUCCESS;
        case SQL_DRIVER_HDBC:
            writeHandleInfo(rgbInfoValue, cbInfoValueMax, pcbInfoValue, self);
            return SQL_SUCCESS;
        case SQL_DRIVER_HSTMT: {
            // In: the application's statement handle; out: the driver's,
            // which is the same value here.
            uint32_t st = readHandleInfo(rgbInfoValue, cbInfoValueMax);
            Handle* s = lookup(handleOf(st), Kind::Stmt);
            if (!s || s->parent.load(std::memory_order_relaxed) != self)
                return fail(*dbc, "S1009", "SQL_DRIVER_HSTMT needs a statement handle of this connection");
            writeHandleInfo(rgbInfoValue, cbInfoValueMax, pcbInfoValue, st);
            return SQL_SUCCESS;
        }
        case SQL_DRIVER_HLIB:
        case SQL_DRIVER_HDESC:
            writeHandleInfo(rgbInfoValue, cbInfoValueMax, pcbInfoValue, 0);
            return SQL_SUCCESS;
        case SQL_CONCAT_NULL_BEHAVIOR:
        case SQL_NUMERIC_FUNCTIONS:
            return correctedInfo(*dbc, fInfoType, rgbInfoValue, cbInfoValueMax, pcbInfoValue);
        default:
            return DM().SQLGetInfo(dbc->dm.load(), fInfoType, rgbInfoValue, cbInfoValueMax, pcbInfoValue);
    }
}
