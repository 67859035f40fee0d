// Environment and connection entry points, and SQLError.
#include "connect_string.h"
#include "connection.h"
#include "handles.h"
#include "source.h"
#include "statement.h"
#include "xa.h"

#include "qvjdbc/driver.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using namespace ruva;

namespace {

constexpr const char* kNoHandleLeft = "no handle left in the handle table";

void nullOut(SQLHANDLE* out) {
    if (out) *out = nullptr;
}

// One record out through SQLError's arguments: the message cut to the
// buffer (SQL_SUCCESS_WITH_INFO then), its full length reported.
SQLRETURN writeRecord(const Diag& d, SQLCHAR* szSqlState, SQLINTEGER* pfNativeError, SQLCHAR* szErrorMsg,
                      SQLSMALLINT cbErrorMsgMax, SQLSMALLINT* pcbErrorMsg) {
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

// psqlODBC sets the process's LC_CTYPE locale while it connects
// (setlocale(LC_CTYPE, "")) and reads the locale name that call returns; two
// connects at once read a name that the other one's setlocale has freed.
// Connects that may reach psqlODBC therefore take turns: those whose driver
// is psqlODBC, and those whose driver could not be told (a data source that
// unixODBC resolves some other way). A connect to another known driver
// (SQLite's) never waits behind them.
std::mutex gLocaleConnectMu;

// libsqlite3 keeps memory statistics by default: every allocation and every
// free of every connection takes one process-wide mutex. Two threads
// fetching on two SQLite connections then spend their time waiting on it
// (measured: two threads did less work together than one alone). Before the
// first connect whose Driver attribute names SQLite, the statistics are
// turned off (SQLITE_CONFIG_MEMSTATUS), which the library allows only
// before it initialises; when it already has (another user in the process),
// the call is refused and nothing changes. The library is the one the
// SQLite driver loads (same soname), and it stays loaded.
void withoutSqliteMemoryStatistics() {
    static std::once_flag once;
    std::call_once(once, [] {
        void* lib = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!lib) return;
        using Config = int (*)(int, ...);
        auto config = reinterpret_cast<Config>(dlsym(lib, "sqlite3_config"));
        constexpr int kConfigMemStatus = 9;  // SQLITE_CONFIG_MEMSTATUS
        if (config) config(kConfigMemStatus, 0);
    });
}

// A connect's string as its driver reads it (connect_string.h), and the lock
// (owned or not) held across the driver manager's call. False, with a
// record on the connection, when the string is refused.
struct Prepared {
    // The string names no ODBC driver or data source: the connection goes
    // to libruva70's own SQLite engine, with the string as given.
    bool engine = false;
    bool rewritten = false;
    std::string text;
    std::unique_lock<std::mutex> turn{gLocaleConnectMu, std::defer_lock};
};

bool beforeConnect(Handle& dbc, const SQLCHAR* connStr, SQLSMALLINT length, Prepared& out) {
    if (!connStr || (length < 0 && length != SQL_NTS)) {
        // Left to the driver manager to refuse (S1009 / S1090).
        out.turn.lock();
        return true;
    }
    const char* p = reinterpret_cast<const char*>(connStr);
    const std::string_view given = length == SQL_NTS ? std::string_view(p) : std::string_view(p, length);
    std::vector<connstr::Attribute> attrs;
    std::string problem;
    if (!connstr::parse(given, attrs, problem)) {
        addDiag(dbc, "08001", problem);
        return false;
    }
    if (!connstr::namesDriver(attrs)) {
        out.engine = true;
        return true;
    }
    const std::string file = connstr::driverFile(attrs);
    const connstr::Kind kind = file.empty() ? connstr::Kind::Generic : connstr::classify(file);
    connstr::Outcome o = connstr::rebuild(attrs, kind);
    if (!o.ok) {
        addDiag(dbc, o.state, o.message);
        return false;
    }
    out.text = std::move(o.text);
    out.rewritten = true;
    if (kind == connstr::Kind::SQLite) withoutSqliteMemoryStatistics();
    if (kind == connstr::Kind::Psqlodbc || file.empty()) out.turn.lock();
    return true;
}

// The connect's string for the driver manager: the rewritten one, or the
// caller's when it was left alone.
SQLCHAR* textFor(Prepared& p, SQLCHAR* given) {
    return p.rewritten ? reinterpret_cast<SQLCHAR*>(p.text.data()) : given;
}

// Whether one of the connection's statements has a call of its own in
// progress.
bool statementRunning(uint32_t dbc) {
    bool running = false;
    table().forEach(static_cast<uint8_t>(Kind::Stmt), [&](uint32_t, Handle& h) {
        if (h.parent.load(std::memory_order_relaxed) == dbc && h.calls.load(std::memory_order_acquire) > 0)
            running = true;
    });
    return running;
}

constexpr const char* kLostBeforeCommit =
    "the connection to the data source is lost: the transaction was not committed, and the data source "
    "rolls it back";
constexpr const char* kLostBeforeRollback =
    "the connection to the data source is lost: the data source rolls the transaction back";
constexpr const char* kLostBeforeAutoCommit =
    "the connection to the data source is lost: the open transaction cannot be committed";
constexpr const char* kLostDuringCommit =
    "the connection to the data source was lost during the commit: whether the transaction was committed is "
    "unknown";

// SQLTransact of one connection. A driver may answer a commit on a lost
// connection with success and send nothing (psqlODBC does, once a call on
// the connection has failed): so the connection is asked before, and a
// commit that failed or after which the connection is lost is reported as
// one whose outcome is unknown (08007), never as done.
SQLRETURN transact(Handle& dbc, SQLUSMALLINT fType) {
    if (connectionLost(dbc)) return fail(dbc, "08S01", fType == SQL_COMMIT ? kLostBeforeCommit : kLostBeforeRollback);
    const SQLRETURN rc = fns(dbc).SQLTransact(SQL_NULL_HENV, dbc.dm.load(), fType);
    // Whatever the outcome, the transaction's cursors are no longer to be read.
    dbc.transactionEnds.fetch_add(1, std::memory_order_acq_rel);
    if (rc == SQL_SUCCESS || !dbc.connected.load(std::memory_order_acquire)) {
        if (rc != SQL_SUCCESS || fType != SQL_COMMIT || !connectionLost(dbc)) return rc;
        return fail(dbc, "08007", kLostDuringCommit);
    }
    // Asking whether the connection is lost would clear the driver
    // manager's records of the failure: they move to our own list first.
    keepConnectionRecords(dbc);
    if (!connectionLost(dbc)) return rc;
    if (fType != SQL_COMMIT) return SQL_ERROR;
    // The outcome comes first; the driver's own records follow it.
    std::deque<Diag> theirs;
    {
        std::lock_guard<std::mutex> lock(dbc.mu);
        theirs.swap(dbc.diags);
    }
    addDiag(dbc, "08007", kLostDuringCommit);
    for (const Diag& r : theirs) keepDiag(dbc, r.state, r.native, r.message);
    return SQL_ERROR;
}

// A record of a lost connection that does not say so is reported as 08S01.
void reportIfLost(Handle& h, char* state) {
    if (!reportedAsLost(state)) return;
    // A connection's own records are read as they are: asking the driver
    // would clear the ones not yet read.
    const bool lost = h.kind == Kind::Stmt ? statementConnectionLost(h) : h.lost.load(std::memory_order_acquire);
    if (lost) std::memcpy(state, "08S01", 6);
}

// A call of a statement's own (beginCall / endCall); nothing for other kinds.
class StatementCall {
public:
    explicit StatementCall(Handle* stmt) : stmt_(stmt) {
        if (stmt_) beginCallOnly(*stmt_);
    }
    // Waits for the connection's turn, if it has one, before the driver is
    // reached; held until the call ends.
    void takeTurn() {
        if (stmt_) call_ = awaitTurn(*stmt_, false);
    }
    ~StatementCall() {
        if (stmt_) endCall(*stmt_, call_);
    }
    StatementCall(const StatementCall&) = delete;
    StatementCall& operator=(const StatementCall&) = delete;

private:
    Handle* stmt_;
    CallTurn call_;
};

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
    uint32_t v = issue(Kind::Env, env, 0, nullptr, nullptr);
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
    uint32_t v = issue(Kind::Dbc, dbc, valueOf(henv), nullptr, nullptr);
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
    SQLRETURN rc = fns(*dbc).SQLFreeConnect(dbc->dm.load());
    if (SQL_SUCCEEDED(rc)) {
        releaseChildren(valueOf(hdbc), Kind::Stmt);
        xaConnectionClosed(valueOf(hdbc));
        release(valueOf(hdbc), Kind::Dbc);
    }
    return rc;
}

// A connect whose string names no ODBC driver: the engine's connection takes
// the place of the driver manager's, which waits unused until this one
// disconnects. The engine's records of a failed connect move to ours.
SQLRETURN connectToEngine(Handle& dbc, SQLHWND hwnd, SQLCHAR* connStr, SQLSMALLINT length, SQLCHAR* out,
                          SQLSMALLINT outMax, SQLSMALLINT* outLength, SQLUSMALLINT completion) {
    const DataSource& source = sqliteEngineSource();
    const DriverManager& e = functionsOf(source);
    if (!e.SQLAllocConnect) return fail(dbc, "IM003", "this library was built without its SQLite engine");
    SQLHDBC own = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(e.SQLAllocConnect(SQL_NULL_HENV, &own)))
        return fail(dbc, "S1001", "no memory for a connection of the SQLite engine");
    const SQLRETURN rc = e.SQLDriverConnect(own, hwnd, connStr, length, out, outMax, outLength, completion);
    if (!SQL_SUCCEEDED(rc)) {
        SQLCHAR state[6];
        SQLCHAR msg[SQL_MAX_MESSAGE_LENGTH + 1];
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        for (int i = 0; i < 64; ++i) {
            std::memset(state, 0, sizeof state);
            msg[0] = 0;
            if (!SQL_SUCCEEDED(e.SQLError(SQL_NULL_HENV, own, SQL_NULL_HSTMT, state, &native, msg, sizeof msg, &len)))
                break;
            keepDiag(dbc, reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(msg));
        }
        e.SQLFreeConnect(own);
        return rc;
    }
    dbc.parkedDm = dbc.dm.load();
    dbc.dm.store(own, std::memory_order_release);
    dbc.api.store(&e, std::memory_order_release);
    dbc.source.store(&source, std::memory_order_relaxed);
    return afterConnect(dbc, rc);
}

SQLRETURN ruva70_SQLDriverConnect(SQLHDBC hdbc, SQLHWND hwnd, SQLCHAR* szConnStrIn, SQLSMALLINT cbConnStrIn,
                                  SQLCHAR* szConnStrOut, SQLSMALLINT cbConnStrOutMax, SQLSMALLINT* pcbConnStrOut,
                                  SQLUSMALLINT fDriverCompletion) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    forgetSource(*dbc);
    Prepared prepared;
    if (!beforeConnect(*dbc, szConnStrIn, cbConnStrIn, prepared)) return SQL_ERROR;
    if (prepared.engine)
        return connectToEngine(*dbc, hwnd, szConnStrIn, cbConnStrIn, szConnStrOut, cbConnStrOutMax, pcbConnStrOut,
                               fDriverCompletion);
    const bool rewritten = prepared.rewritten;
    SQLRETURN rc =
        DM().SQLDriverConnect(dbc->dm.load(), hwnd, textFor(prepared, szConnStrIn), rewritten ? SQL_NTS : cbConnStrIn,
                              szConnStrOut, cbConnStrOutMax, pcbConnStrOut, fDriverCompletion);
    if (prepared.turn.owns_lock()) prepared.turn.unlock();
    return SQL_SUCCEEDED(rc) ? afterConnect(*dbc, rc) : rc;
}

SQLRETURN ruva70_SQLBrowseConnect(SQLHDBC hdbc, SQLCHAR* szConnStrIn, SQLSMALLINT cbConnStrIn, SQLCHAR* szConnStrOut,
                                  SQLSMALLINT cbConnStrOutMax, SQLSMALLINT* pcbConnStrOut) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    forgetSource(*dbc);
    Prepared prepared;
    if (!beforeConnect(*dbc, szConnStrIn, cbConnStrIn, prepared)) return SQL_ERROR;
    if (prepared.engine)
        return fail(*dbc, "IM001", "the SQLite engine connects with SQLDriverConnect, not by browsing");
    const bool rewritten = prepared.rewritten;
    SQLRETURN rc =
        DM().SQLBrowseConnect(dbc->dm.load(), textFor(prepared, szConnStrIn), rewritten ? SQL_NTS : cbConnStrIn,
                              szConnStrOut, cbConnStrOutMax, pcbConnStrOut);
    if (prepared.turn.owns_lock()) prepared.turn.unlock();
    return SQL_SUCCEEDED(rc) ? afterConnect(*dbc, rc) : rc;
}

SQLRETURN ruva70_SQLDisconnect(SQLHDBC hdbc) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    std::lock_guard<std::mutex> children(dbc->childrenMu);
    // A statement of the connection still running on another thread is
    // waited for (psqlODBC's disconnect would wait for it too); cancels still
    // reach it meanwhile.
    while (statementRunning(valueOf(hdbc))) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // Cancels that started before this point finish first (they may be in
    // the driver with one of the statements freed below); later ones leave
    // the statements alone (SQLCancel).
    dbc->closing.store(true, std::memory_order_seq_cst);
    while (dbc->cancels.load(std::memory_order_seq_cst) > 0) std::this_thread::yield();
    // Taken after the waits: a statement's call may hold the turn, or wait
    // for it, while it is counted as running.
    ConnectionTurn turn(dbc);
    SQLRETURN rc = fns(*dbc).SQLDisconnect(dbc->dm.load());
    if (SQL_SUCCEEDED(rc) && dbc->api.load(std::memory_order_relaxed)) {
        // Back to the driver manager's connection for the next connect.
        fns(*dbc).SQLFreeConnect(dbc->dm.load());
        dbc->dm.store(dbc->parkedDm, std::memory_order_release);
        dbc->parkedDm = nullptr;
        dbc->api.store(nullptr, std::memory_order_release);
    }
    if (SQL_SUCCEEDED(rc)) {
        dbc->connected.store(false, std::memory_order_release);
        dbc->lost.store(false, std::memory_order_release);
        {
            // Freed by the driver manager with the other statements.
            std::lock_guard<std::mutex> interrupt(dbc->interruptMu);
            dbc->interruptStmt = nullptr;
        }
        dbc->driverCancel.store(nullptr, std::memory_order_release);
        // The driver manager freed the connection's statements with it, and
        // the server rolled back the session's transaction: an XA branch of
        // the connection is gone.
        releaseChildren(valueOf(hdbc), Kind::Stmt);
        xaConnectionClosed(valueOf(hdbc));
        forgetSource(*dbc);
        dbc->turn.store(nullptr, std::memory_order_release);
    }
    dbc->closing.store(false, std::memory_order_release);
    return rc;
}

SQLRETURN ruva70_SQLTransact(SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT fType) {
    if (hdbc != SQL_NULL_HDBC) {
        Handle* dbc = enter(hdbc, Kind::Dbc);
        if (!dbc) return SQL_INVALID_HANDLE;
        ConnectionTurn turn(dbc);
        return transact(*dbc, fType);
    }
    Handle* env = enter(henv, Kind::Env);
    if (!env) return SQL_INVALID_HANDLE;
    return DM().SQLTransact(env->dm.load(), SQL_NULL_HDBC, fType);
}

SQLRETURN ruva70_SQLGetConnectOption(SQLHDBC hdbc, SQLUSMALLINT fOption, SQLPOINTER pvParam) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    ConnectionTurn turn(dbc);
    if (fOption == RUVA70_STMT_DRIVER_TYPES || fOption == RUVA70_STMT_TYPE_FROM_VALUE)
        return fail(*dbc, "S1092", "option " + std::to_string(fOption) + " is a statement option");
    if (fOption == RUVA70_CONN_SCHEMA) return currentSchema(*dbc, static_cast<char*>(pvParam));
    return fns(*dbc).SQLGetConnectOption(dbc->dm.load(), fOption, pvParam);
}

SQLRETURN ruva70_SQLSetConnectOption(SQLHDBC hdbc, SQLUSMALLINT fOption, SQLULEN vParam) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    ConnectionTurn turn(dbc);
    if (fOption == RUVA70_STMT_DRIVER_TYPES || fOption == RUVA70_STMT_TYPE_FROM_VALUE)
        return fail(*dbc, "S1092", "option " + std::to_string(fOption) + " is a statement option");
    // Turning auto-commit on commits the open transaction: on a lost
    // connection there is nothing to commit it on (a driver may still say
    // it did).
    if (fOption == SQL_AUTOCOMMIT && connectionLost(*dbc)) return fail(*dbc, "08S01", kLostBeforeAutoCommit);
    if (fOption == RUVA70_CONN_SCHEMA)
        return setSchema(*dbc, reinterpret_cast<const char*>(static_cast<uintptr_t>(vParam)));
    const SQLRETURN rc = fns(*dbc).SQLSetConnectOption(dbc->dm.load(), fOption, vParam);
    // Auto-commit turned on commits the open transaction.
    if (fOption == SQL_AUTOCOMMIT && vParam == SQL_AUTOCOMMIT_ON)
        dbc->transactionEnds.fetch_add(1, std::memory_order_acq_rel);
    return rc;
}

SQLRETURN ruva70_SQLNativeSql(SQLHDBC hdbc, SQLCHAR* szSqlStrIn, SQLINTEGER cbSqlStrIn, SQLCHAR* szSqlStr,
                              SQLINTEGER cbSqlStrMax, SQLINTEGER* pcbSqlStr) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    ConnectionTurn turn(dbc);
    // A null text or a length the driver manager refuses goes to it as it is
    // (S1009 / S1090): there is nothing to copy.
    if (!szSqlStrIn || (cbSqlStrIn < 0 && cbSqlStrIn != SQL_NTS))
        return fns(*dbc).SQLNativeSql(dbc->dm.load(), szSqlStrIn, cbSqlStrIn, szSqlStr, cbSqlStrMax, pcbSqlStr);
    // Asked before the driver manager's call, whose records must be what remains.
    const DataSource* source = sourceOf(*dbc);
    const bool warningLost = source && source->nativeSqlWarningLost;
    // The SQLite driver writes the terminator of its output into the text it
    // is given, at offset cbSqlStrMax - 1: past the end of a text shorter
    // than the output buffer, into whatever memory follows it, and into the
    // text itself when the buffer is shorter. It also reads the text up to
    // its zero byte whatever cbSqlStrIn says. So every driver gets a copy of
    // the text, ended after cbSqlStrIn bytes and zero-filled to at least
    // cbSqlStrMax bytes; the caller's text is only read, and only as far as
    // its length.
    const size_t length = cbSqlStrIn == SQL_NTS ? std::strlen(reinterpret_cast<const char*>(szSqlStrIn))
                                                : static_cast<size_t>(cbSqlStrIn);
    const size_t room = std::max(length + 1, cbSqlStrMax > 0 ? static_cast<size_t>(cbSqlStrMax) : size_t{0});
    std::unique_ptr<SQLCHAR, decltype(&std::free)> text(static_cast<SQLCHAR*>(std::calloc(room, 1)), &std::free);
    if (!text) return fail(*dbc, "S1001", "no memory for a copy of the SQL text");
    std::memcpy(text.get(), szSqlStrIn, length);
    const SQLRETURN rc =
        fns(*dbc).SQLNativeSql(dbc->dm.load(), text.get(), cbSqlStrIn, szSqlStr, cbSqlStrMax, pcbSqlStr);
    // The terminator of a cut output went to the copy: the output is ended
    // within its buffer here, as ODBC has it.
    if (SQL_SUCCEEDED(rc) && szSqlStr && cbSqlStrMax > 0 &&
        std::memchr(szSqlStr, 0, static_cast<size_t>(cbSqlStrMax)) == nullptr)
        szSqlStr[cbSqlStrMax - 1] = 0;
    // The SQLite driver files its truncation warning in the connection as if
    // that were a statement, where SQLError does not find it.
    if (rc == SQL_SUCCESS_WITH_INFO && warningLost) addDiag(*dbc, "01004", "data right truncated");
    return rc;
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
    // Reading a statement's records is one of its own calls: a cancel from
    // another thread does not move them meanwhile.
    StatementCall call(h->kind == Kind::Stmt ? h : nullptr);

    // libruva70's own records need no turn: a call cancelled while it waited
    // for the turn reports so while another call still holds it.
    Diag d;
    if (takeDiag(*h, d)) {
        reportIfLost(*h, d.state);
        return writeRecord(d, szSqlState, pfNativeError, szErrorMsg, cbErrorMsgMax, pcbErrorMsg);
    }
    if (h->ownRecordsOnly.load(std::memory_order_relaxed)) return SQL_NO_DATA_FOUND;
    // The driver's records are read in the connection's turn (an environment
    // has none).
    call.takeTurn();
    ConnectionTurn turn(h->kind == Kind::Stmt ? nullptr : h);
    const DataSource* source = h->source.load(std::memory_order_relaxed);
    if (h->kind == Kind::Stmt && source && source->fixRecord && takeDriverRecord(*h, d)) {
        reportIfLost(*h, d.state);
        return writeRecord(d, szSqlState, pfNativeError, szErrorMsg, cbErrorMsgMax, pcbErrorMsg);
    }
    SQLHANDLE dmh = h->dm.load();
    SQLRETURN rc = SQL_NO_DATA_FOUND;
    switch (h->kind) {
        case Kind::Stmt:
            rc = fns(*h).SQLError(SQL_NULL_HENV, SQL_NULL_HDBC, dmh, szSqlState, pfNativeError, szErrorMsg,
                                  cbErrorMsgMax, pcbErrorMsg);
            break;
        case Kind::Dbc:
            rc = fns(*h).SQLError(SQL_NULL_HENV, dmh, SQL_NULL_HSTMT, szSqlState, pfNativeError, szErrorMsg,
                                  cbErrorMsgMax, pcbErrorMsg);
            break;
        case Kind::Env:
            break;
    }
    if (h->kind != Kind::Env) {
        if (SQL_SUCCEEDED(rc) && szSqlState) reportIfLost(*h, reinterpret_cast<char*>(szSqlState));
        return rc;
    }
    return DM().SQLError(dmh, SQL_NULL_HDBC, SQL_NULL_HSTMT, szSqlState, pfNativeError, szErrorMsg, cbErrorMsgMax,
                         pcbErrorMsg);
}

}  // extern "C"
