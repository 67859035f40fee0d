// Helpers of the libruva70 tests: handles that free themselves, statements
// run through libruva70, and the records SQLError returns.
#pragma once

#include "datasources.h"

#include "qvjdbc/driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qvt {

struct Record {
    std::string state;
    SQLINTEGER native = 0;
    std::string message;
};

// Every record SQLError returns for the handle (consuming them).
inline std::vector<Record> records(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt) {
    std::vector<Record> out;
    for (int i = 0; i < 32; ++i) {
        SQLCHAR state[6] = {};
        SQLCHAR msg[SQL_MAX_MESSAGE_LENGTH + 1] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        if (!SQL_SUCCEEDED(ruva70_SQLError(env, dbc, stmt, state, &native, msg, sizeof msg, &len))) break;
        out.push_back({reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(msg)});
    }
    return out;
}
inline std::vector<Record> stmtRecords(SQLHSTMT s) {
    return records(SQL_NULL_HENV, SQL_NULL_HDBC, s);
}
inline std::vector<Record> dbcRecords(SQLHDBC c) {
    return records(SQL_NULL_HENV, c, SQL_NULL_HSTMT);
}

inline std::string describe(const std::vector<Record>& rs) {
    std::string s;
    for (const auto& r : rs) s += r.state + " " + r.message + "\n";
    return s;
}

inline uint32_t value(SQLHANDLE h) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
}
inline SQLHANDLE handle(uint64_t v) {
    return reinterpret_cast<SQLHANDLE>(static_cast<uintptr_t>(v));
}
inline bool fits31Bits(SQLHANDLE h) {
    uintptr_t v = reinterpret_cast<uintptr_t>(h);
    return v != 0 && v <= 0x7FFFFFFFu;
}

// An environment and a connection of libruva70, connected to `connStr` when
// one is given; freed at the end of the test.
class Connection {
public:
    explicit Connection(const std::string& connStr = "") {
        EXPECT_EQ(ruva70_SQLAllocEnv(&env), SQL_SUCCESS);
        EXPECT_EQ(ruva70_SQLAllocConnect(env, &dbc), SQL_SUCCESS);
        if (!connStr.empty()) connect(connStr);
    }
    ~Connection() {
        if (connected) ruva70_SQLDisconnect(dbc);
        ruva70_SQLFreeConnect(dbc);
        ruva70_SQLFreeEnv(env);
    }
    void connect(const std::string& connStr) {
        SQLCHAR out[1024];
        SQLSMALLINT len = 0;
        SQLRETURN rc = ruva70_SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connStr.c_str(), SQL_NTS, out, sizeof out,
                                               &len, SQL_DRIVER_NOPROMPT);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << connStr << "\n" << describe(dbcRecords(dbc));
        connected = true;
    }
    SQLHSTMT stmt() {
        SQLHSTMT s = SQL_NULL_HSTMT;
        EXPECT_EQ(ruva70_SQLAllocStmt(dbc, &s), SQL_SUCCESS) << describe(dbcRecords(dbc));
        return s;
    }
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;
};

inline SQLRETURN exec(SQLHSTMT s, const std::string& sql) {
    SQLRETURN rc = ruva70_SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (rc != SQL_NO_DATA_FOUND) {
        EXPECT_TRUE(SQL_SUCCEEDED(rc)) << sql << "\n" << describe(stmtRecords(s));
    }
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
    return rc;
}

// The first column of the first row as text.
inline std::string queryText(SQLHSTMT s, const std::string& sql) {
    std::string out;
    SQLRETURN rc = ruva70_SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << sql << "\n" << describe(stmtRecords(s));
    if (SQL_SUCCEEDED(rc) && SQL_SUCCEEDED(ruva70_SQLFetch(s))) {
        char buf[256] = {};
        SQLLEN ind = 0;
        if (SQL_SUCCEEDED(ruva70_SQLGetData(s, 1, SQL_C_CHAR, buf, sizeof buf, &ind)) && ind != SQL_NULL_DATA)
            out = buf;
    }
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
    return out;
}

}  // namespace qvt
