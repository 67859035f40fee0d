#include "connection.h"
#include "source.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace ruva {
namespace {

bool startsWithNoCase(const char* s, const char* prefix) {
    for (; *prefix; ++s, ++prefix)
        if (std::tolower(static_cast<unsigned char>(*s)) != std::tolower(static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}

bool equalsNoCase(const std::string& a, const char* b) {
    return a.size() == std::strlen(b) && startsWithNoCase(a.c_str(), b);
}

// The zone names PostgreSQL accepts for UTC itself (no daylight rules).
bool isUtcName(const std::string& zone) {
    static const char* const kNames[] = {"UTC",  "Etc/UTC",  "UCT", "Etc/UCT", "Universal", "Etc/Universal",
                                         "Zulu", "Etc/Zulu", "GMT", "Etc/GMT", "GMT0",      "Etc/GMT0"};
    for (const char* n : kNames)
        if (equalsNoCase(zone, n)) return true;
    return false;
}

std::string firstRecord(const DriverManager& d, SQLHANDLE env, SQLHANDLE dbc, SQLHANDLE stmt) {
    SQLCHAR state[6] = {};
    SQLCHAR msg[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (SQL_SUCCEEDED(d.SQLError(env, dbc, stmt, state, &native, msg, sizeof msg, &len)))
        return reinterpret_cast<char*>(msg);
    return "no reason given";
}

}  // namespace

void forgetSource(Handle& dbc) {
    dbc.source.store(nullptr, std::memory_order_relaxed);
}

const DataSource* sourceOf(Handle& dbc) {
    const DataSource* s = dbc.source.load(std::memory_order_relaxed);
    if (s) return s;
    char name[128] = {};
    SQLSMALLINT len = 0;
    // Only a definite answer is kept; a connection not yet connected asks
    // again next time.
    if (!SQL_SUCCEEDED(fns(dbc).SQLGetInfo(dbc.dm.load(), SQL_DBMS_NAME, name, sizeof name, &len))) return nullptr;
    s = &sourceForDbms(name);
    dbc.source.store(s, std::memory_order_relaxed);
    return s;
}

bool connectionLost(Handle& dbc) {
    if (dbc.lost.load(std::memory_order_acquire)) return true;
    if (!dbc.connected.load(std::memory_order_acquire) || dbc.deadUnasked.load(std::memory_order_relaxed))
        return false;
    // Asking is a call on the connection (MariaDB's driver pings the
    // server): while another thread's call holds the connection's turn, it
    // is not asked, and that call reports a lost connection itself.
    std::unique_lock<std::recursive_timed_mutex> turn;
    if (std::recursive_timed_mutex* t = dbc.turn.load(std::memory_order_acquire)) {
        turn = std::unique_lock<std::recursive_timed_mutex>(*t, std::try_to_lock);
        if (!turn.owns_lock()) return false;
    }
    // A zeroed 8-byte cell: some drivers write 8 bytes whatever the option.
    SQLULEN cell = 0;
    const SQLRETURN rc = fns(dbc).SQLGetConnectOption(dbc.dm.load(), SQL_ATTR_CONNECTION_DEAD, &cell);
    if (!SQL_SUCCEEDED(rc)) {
        dbc.deadUnasked.store(true, std::memory_order_relaxed);
        return false;
    }
    if (static_cast<uint32_t>(cell) != SQL_CD_TRUE) return false;
    dbc.lost.store(true, std::memory_order_release);
    return true;
}

bool statementConnectionLost(Handle& stmt) {
    Handle* dbc = lookup(handleOf(stmt.parent.load(std::memory_order_relaxed)), Kind::Dbc);
    return dbc != nullptr && connectionLost(*dbc);
}

bool reportedAsLost(const char* state) {
    if (std::strncmp(state, "08", 2) == 0 || std::strncmp(state, "57P0", 4) == 0) return false;
    return std::strncmp(state, "00", 2) != 0 && std::strncmp(state, "01", 2) != 0 &&
           std::strncmp(state, "02", 2) != 0;
}

void keepConnectionRecords(Handle& dbc) {
    SQLCHAR state[6];
    SQLCHAR msg[SQL_MAX_MESSAGE_LENGTH + 1];
    SQLINTEGER native;
    SQLSMALLINT len;
    for (int i = 0; i < 64; ++i) {
        std::memset(state, 0, sizeof state);
        msg[0] = 0;
        if (!SQL_SUCCEEDED(fns(dbc).SQLError(SQL_NULL_HENV, dbc.dm.load(), SQL_NULL_HSTMT, state, &native, msg,
                                             sizeof msg, &len)))
            break;
        keepDiag(dbc, reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(msg));
    }
}

SQLRETURN runInternal(const DriverManager& d, SQLHDBC dmDbc, const char* sql, std::string* value,
                      std::string& reason) {
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLRETURN rc = d.SQLAllocStmt(dmDbc, &st);
    if (!SQL_SUCCEEDED(rc)) {
        reason = firstRecord(d, SQL_NULL_HENV, dmDbc, SQL_NULL_HSTMT);
        return SQL_ERROR;
    }
    rc = d.SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS);
    if (SQL_SUCCEEDED(rc) && value) {
        char text[256] = {};
        SQLLEN ind = 0;
        rc = d.SQLFetch(st);
        if (SQL_SUCCEEDED(rc)) rc = d.SQLGetData(st, 1, SQL_C_CHAR, text, sizeof text, &ind);
        if (SQL_SUCCEEDED(rc)) *value = ind == SQL_NULL_DATA ? std::string() : std::string(text);
    }
    if (!SQL_SUCCEEDED(rc)) {
        reason = firstRecord(d, SQL_NULL_HENV, SQL_NULL_HDBC, st);
        d.SQLFreeStmt(st, SQL_DROP);
        return SQL_ERROR;
    }
    d.SQLFreeStmt(st, SQL_DROP);
    return SQL_SUCCESS;
}

SQLRETURN afterConnect(Handle& dbc, SQLRETURN rc) {
    SQLHDBC h = dbc.dm.load();
    if (rc == SQL_SUCCESS_WITH_INFO) keepConnectionRecords(dbc);
    dbc.lost.store(false, std::memory_order_relaxed);
    dbc.deadUnasked.store(false, std::memory_order_relaxed);
    dbc.connected.store(true, std::memory_order_release);
    // A connection on functions of libruva70's own got its record with them.
    if (!dbc.api.load(std::memory_order_relaxed)) forgetSource(dbc);
    const DataSource* source = sourceOf(dbc);
    if (!source) return rc;
    dbc.turn.store(source->oneCallAtATime ? &dbc.callTurn : nullptr, std::memory_order_release);
    // A cancel of a running statement goes to the driver's own SQLCancel
    // (statement.cpp) where the data source's record says it is made for that.
    if (source->cancel == CancelRoute::DriverDirect)
        dbc.driverCancel.store(reinterpret_cast<SQLRETURN (*)(SQLHSTMT)>(driverFunction(h, "SQLCancel")),
                               std::memory_order_release);
    return source->afterConnect ? source->afterConnect(dbc, rc) : rc;
}

SQLRETURN setSchema(Handle& dbc, const char* name) {
    if (!name) return fail(dbc, "S1009", "the schema name is null");
    const DataSource* source = sourceOf(dbc);
    if (!source || !source->setSchema) return SQL_SUCCESS;
    return source->setSchema(dbc, name);
}

SQLRETURN currentSchema(Handle& dbc, char* out) {
    if (!out) return fail(dbc, "S1009", "no buffer for the schema name");
    out[0] = 0;
    const DataSource* source = sourceOf(dbc);
    if (!source || !source->currentSchema) return SQL_SUCCESS;
    std::string value;
    SQLRETURN rc = source->currentSchema(dbc, value);
    if (rc != SQL_SUCCESS) return rc;
    const size_t n = std::min(value.size(), size_t{255});
    std::memcpy(out, value.data(), n);
    out[n] = 0;
    return SQL_SUCCESS;
}

SQLRETURN checkUtcSession(Handle& h, SQLHDBC dmDbc) {
    std::string zone, reason;
    if (runInternal(DM(), dmDbc, "SHOW TimeZone", &zone, reason) != SQL_SUCCESS)
        return fail(h, "S1000", "cannot read the session time zone: " + reason);
    if (!isUtcName(zone))
        return fail(h, "S1000",
                    "the session time zone is '" + zone +
                        "': timestamp with time zone values reach the 8-byte form only in a UTC session");
    return SQL_SUCCESS;
}

}  // namespace ruva
