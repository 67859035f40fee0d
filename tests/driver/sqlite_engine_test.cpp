// The SQLite engine called through its own function table, without the rest
// of libruva70: connect, statements, values, streaming, cancel, timeout,
// errors, data at execution, pieces and parameter arrays.
#include "sqlite/engine.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const ruva::DriverManager& F = ruva::sqlite::functions();

std::string stateOf(SQLHDBC dbc, SQLHSTMT stmt) {
    SQLCHAR state[6] = {};
    SQLCHAR msg[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (F.SQLError(SQL_NULL_HENV, dbc, stmt, state, &native, msg, sizeof msg, &len) != SQL_SUCCESS) return "";
    return reinterpret_cast<char*>(state);
}

std::string tempFile(const char* name) {
    std::string dir = ::testing::TempDir();
    return dir + "qv_engine_" + std::to_string(getpid()) + "_" + name;
}

class Db {
public:
    explicit Db(const std::string& connStr = "Database=:memory:") {
        EXPECT_EQ(F.SQLAllocConnect(SQL_NULL_HENV, &dbc), SQL_SUCCESS);
        rc = F.SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connStr.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                SQL_DRIVER_NOPROMPT);
        if (rc == SQL_SUCCESS) connected = true;
    }
    ~Db() {
        if (connected) {
            EXPECT_EQ(F.SQLDisconnect(dbc), SQL_SUCCESS);
        }
        F.SQLFreeConnect(dbc);
    }
    SQLHSTMT stmt() {
        SQLHSTMT s = nullptr;
        EXPECT_EQ(F.SQLAllocStmt(dbc, &s), SQL_SUCCESS);
        return s;
    }
    // Runs statements that must succeed.
    void run(const std::string& sql) {
        SQLHSTMT s = stmt();
        SQLRETURN r = F.SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS);
        EXPECT_TRUE(SQL_SUCCEEDED(r)) << sql << ": " << stateOf(nullptr, s);
        while (F.SQLMoreResults(s) == SQL_SUCCESS) {
        }
        F.SQLFreeStmt(s, SQL_DROP);
    }
    // The first column of the first row as text, or "NULL".
    std::string one(const std::string& sql) {
        SQLHSTMT s = stmt();
        std::string out = "<none>";
        if (SQL_SUCCEEDED(F.SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS)) && F.SQLFetch(s) == SQL_SUCCESS) {
            char buf[256];
            SQLLEN ind = 0;
            F.SQLGetData(s, 1, SQL_C_CHAR, buf, sizeof buf, &ind);
            out = ind == SQL_NULL_DATA ? "NULL" : std::string(buf);
        }
        F.SQLFreeStmt(s, SQL_DROP);
        return out;
    }
    SQLHDBC dbc = nullptr;
    SQLRETURN rc = SQL_ERROR;
    bool connected = false;
};

TEST(SqliteEngineConnect, ReadsTheDatabaseFileAsAFileName) {
    {
        Db none("Timeout=5");
        EXPECT_EQ(none.rc, SQL_ERROR);
        EXPECT_EQ(stateOf(none.dbc, nullptr), "08001");
    }
    {
        Db badTimeout("Database=:memory:;Timeout=soon");
        EXPECT_EQ(badTimeout.rc, SQL_ERROR);
        EXPECT_EQ(stateOf(badTimeout.dbc, nullptr), "08001");
    }
    {
        // Only SQLite's own words: nothing else reaches a PRAGMA.
        Db badSync("Database=:memory:;SyncPragma={OFF; PRAGMA writable_schema=1}");
        EXPECT_EQ(badSync.rc, SQL_ERROR);
        EXPECT_EQ(stateOf(badSync.dbc, nullptr), "08001");
    }
    // URI syntax is no option: the name is the file's, query string and all.
    const std::string file = tempFile("uri.db?mode=ro&vfs=unix-none");
    std::remove(file.c_str());
    {
        Db db("Database={" + file + "}");
        ASSERT_EQ(db.rc, SQL_SUCCESS) << stateOf(db.dbc, nullptr);
        db.run("CREATE TABLE t(a)");
    }
    EXPECT_EQ(access(file.c_str(), F_OK), 0) << "the database is the file named, not a URI";
    std::remove(file.c_str());

    // A file that is not a database is refused at connect.
    const std::string junk = tempFile("junk.db");
    FILE* f = std::fopen(junk.c_str(), "wb");
    std::fputs("this is not a database file, not at all, for sure, no.................................", f);
    std::fclose(f);
    {
        Db db("Database=" + junk);
        EXPECT_EQ(db.rc, SQL_ERROR);
        EXPECT_EQ(stateOf(db.dbc, nullptr), "08001");
    }
    std::remove(junk.c_str());

    // Extensions cannot be loaded from SQL.
    Db mem;
    ASSERT_TRUE(mem.connected);
    SQLHSTMT s = mem.stmt();
    EXPECT_EQ(F.SQLExecDirect(s, (SQLCHAR*)"SELECT load_extension('/lib/x86_64-linux-gnu/libc.so.6')", SQL_NTS),
              SQL_ERROR);
}

// Columns described by the declared type, expressions by their value.
TEST(SqliteEngineDescribe, DeclaredTypesAndExpressions) {
    Db db;
    db.run(
        "CREATE TABLE t(i INTEGER, b BIGINT, s SMALLINT, f BOOLEAN, r REAL, d DOUBLE, n NUMERIC(10,2), c CHAR(4), "
        "v VARCHAR(20), x TEXT, bl BLOB, dt DATE, tm TIME, ts TIMESTAMP, dtt DATETIME, u UNSIGNED BIG INT, j JSON)");
    db.run(
        "INSERT INTO t VALUES (1,2,3,1,1.5,2.5,3.25,'ab','cd','ef',x'00',"
        "'2024-01-02','03:04:05','2024-01-02 03:04:05','2024-01-02 03:04:05',7,'{}')");
    SQLHSTMT s = db.stmt();
    ASSERT_EQ(F.SQLExecDirect(s, (SQLCHAR*)"SELECT *, 1+1, 0.5*3, 'a'||'b', x'01', NULL FROM t", SQL_NTS),
              SQL_SUCCESS);
    struct Want {
        SQLSMALLINT type;
        SQLULEN size;
        SQLSMALLINT scale;
    };
    const Want want[] = {
        {SQL_INTEGER, 10, 0},    {SQL_BIGINT, 19, 0},     {SQL_SMALLINT, 5, 0},      {SQL_BIT, 1, 0},
        {SQL_DOUBLE, 15, 0},     {SQL_DOUBLE, 15, 0},     {SQL_NUMERIC, 10, 2},      {SQL_CHAR, 4, 0},
        {SQL_VARCHAR, 20, 0},    {SQL_LONGVARCHAR, 0, 0}, {SQL_LONGVARBINARY, 0, 0}, {SQL_DATE, 10, 0},
        {SQL_TIME, 8, 0},        {SQL_TIMESTAMP, 23, 3},  {SQL_TIMESTAMP, 23, 3},    {SQL_BIGINT, 19, 0},
        {SQL_VARCHAR, 255, 0},   {SQL_BIGINT, 19, 0},     {SQL_DOUBLE, 15, 0},       {SQL_VARCHAR, 255, 0},
        {SQL_VARBINARY, 255, 0}, {SQL_VARCHAR, 255, 0}};
    SQLSMALLINT n = 0;
    ASSERT_EQ(F.SQLNumResultCols(s, &n), SQL_SUCCESS);
    ASSERT_EQ(n, static_cast<SQLSMALLINT>(std::size(want)));
    for (SQLUSMALLINT c = 1; c <= n; ++c) {
        SQLCHAR name[64];
        SQLSMALLINT nameLen = 0, type = 0, scale = 0, nullable = 0;
        SQLULEN size = 0;
        ASSERT_EQ(F.SQLDescribeCol(s, c, name, sizeof name, &nameLen, &type, &size, &scale, &nullable), SQL_SUCCESS);
        EXPECT_EQ(type, want[c - 1].type) << "column " << c << " " << name;
        if (want[c - 1].size) {
            EXPECT_EQ(size, want[c - 1].size) << "column " << c << " " << name;
        }
        EXPECT_EQ(scale, want[c - 1].scale) << "column " << c;
    }
    // The declared name stays the column's type name.
    char typeName[64];
    SQLSMALLINT len = 0;
    ASSERT_EQ(F.SQLColAttributes(s, 7, SQL_COLUMN_TYPE_NAME, typeName, sizeof typeName, &len, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(typeName, "NUMERIC(10,2)");
}

TEST(SqliteEngineValues, NumbersExactAndTextWhole) {
    Db db;
    db.run("CREATE TABLE t(i INTEGER, r REAL, x TEXT)");
    db.run("INSERT INTO t VALUES (1099511627776, 0.1 + 0.2, 'a' || char(0) || 'b')");
    SQLHSTMT s = db.stmt();
    ASSERT_EQ(F.SQLExecDirect(s, (SQLCHAR*)"SELECT i, r, x, i, r, 9223372036854775807 FROM t", SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(F.SQLFetch(s), SQL_SUCCESS);
    int64_t big = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(F.SQLGetData(s, 1, SQL_C_SBIGINT, &big, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(big, int64_t{1} << 40);
    double d = 0;
    ASSERT_EQ(F.SQLGetData(s, 2, SQL_C_DOUBLE, &d, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(d, 0.1 + 0.2);
    char text[64];
    ASSERT_EQ(F.SQLGetData(s, 5, SQL_C_CHAR, text, sizeof text, &ind), SQL_SUCCESS);
    EXPECT_STREQ(text, "0.30000000000000004");
    ASSERT_EQ(F.SQLGetData(s, 3, SQL_C_CHAR, text, sizeof text, &ind), SQL_SUCCESS);
    ASSERT_EQ(ind, 3);
    EXPECT_EQ(std::string(text, 3), std::string("a\0b", 3));
    // An integer that does not fit is refused, never cut.
    int32_t small = 0;
    EXPECT_EQ(F.SQLGetData(s, 4, SQL_C_SLONG, &small, 0, &ind), SQL_ERROR);
    EXPECT_EQ(stateOf(nullptr, s), "22003");
    ASSERT_EQ(F.SQLGetData(s, 6, SQL_C_SBIGINT, &big, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(big, INT64_MAX);
    F.SQLFreeStmt(s, SQL_CLOSE);

    // Text that is a number converts; text that is not gives 22005.
    ASSERT_EQ(F.SQLExecDirect(s, (SQLCHAR*)"SELECT ' 42 ', 'x', 2.75, '2024-02-29 13:14:15.5', 'tuesday'", SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(F.SQLFetch(s), SQL_SUCCESS);
    int32_t v = 0;
    ASSERT_EQ(F.SQLGetData(s, 1, SQL_C_SLONG, &v, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(v, 42);
    EXPECT_EQ(F.SQLGetData(s, 2, SQL_C_SLONG, &v, 0, &ind), SQL_ERROR);
    EXPECT_EQ(stateOf(nullptr, s), "22005");
    EXPECT_EQ(F.SQLGetData(s, 3, SQL_C_SLONG, &v, 0, &ind), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(v, 2);
    EXPECT_EQ(stateOf(nullptr, s), "01S07");
    TIMESTAMP_STRUCT ts{};
    ASSERT_EQ(F.SQLGetData(s, 4, SQL_C_TIMESTAMP, &ts, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(ts.year, 2024);
    EXPECT_EQ(ts.month, 2);
    EXPECT_EQ(ts.day, 29);
    EXPECT_EQ(ts.hour, 13);
    EXPECT_EQ(ts.second, 15);
    EXPECT_EQ(ts.fraction, 500000000u);
    EXPECT_EQ(F.SQLGetData(s, 5, SQL_C_DATE, &ts, 0, &ind), SQL_ERROR);
    EXPECT_EQ(stateOf(nullptr, s), "22008");
}

TEST(SqliteEngineValues, ParametersBoundByTheirCType) {
    Db db;
    db.run("CREATE TABLE t(a, b, c, d, e)");
    SQLHSTMT s = db.stmt();
    ASSERT_EQ(F.SQLPrepare(s, (SQLCHAR*)"INSERT INTO t VALUES (?, ?, ?, ?, ?)", SQL_NTS), SQL_SUCCESS);
    int64_t big = INT64_MIN + 1;
    double d = 0.1;
    char num[] = "17";
    SQLWCHAR wide[] = {'h', 0xE9, 0xD83D, 0xDE00, 0};
    TIMESTAMP_STRUCT ts{2020, 12, 31, 23, 59, 58, 123000000};
    SQLLEN ntsLen = SQL_NTS, wideLen = 8, fixedLen = 0;
    F.SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &big, 0, &fixedLen);
    F.SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &d, 0, &fixedLen);
    F.SQLBindParameter(s, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_INTEGER, 10, 0, num, 0, &ntsLen);
    F.SQLBindParameter(s, 4, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 10, 0, wide, 0, &wideLen);
    F.SQLBindParameter(s, 5, SQL_PARAM_INPUT, SQL_C_TIMESTAMP, SQL_TIMESTAMP, 23, 3, &ts, 0, &fixedLen);
    ASSERT_EQ(F.SQLExecute(s), SQL_SUCCESS) << stateOf(nullptr, s);
    SQLLEN count = 0;
    ASSERT_EQ(F.SQLRowCount(s, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(db.one("SELECT a = -9223372036854775807 FROM t"), "1");
    EXPECT_EQ(db.one("SELECT b FROM t"), "0.1");
    EXPECT_EQ(db.one("SELECT typeof(c) || c FROM t"), "integer17");
    EXPECT_EQ(db.one("SELECT hex(d) FROM t"), "68C3A9F09F9880");
    EXPECT_EQ(db.one("SELECT e FROM t"), "2020-12-31 23:59:58.123");
    // A parameter left unbound is an error, not a NULL.
    SQLHSTMT u = db.stmt();
    ASSERT_EQ(F.SQLPrepare(u, (SQLCHAR*)"SELECT ?", SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(F.SQLExecute(u), SQL_ERROR);
    EXPECT_EQ(stateOf(nullptr, u), "07001");
}

// Rows are stepped as they are fetched: the first row of a long result comes
// back although a later row fails.
TEST(SqliteEngineStreaming, FirstRowWithoutSteppingTheRest) {
    Db db;
    SQLHSTMT s = db.stmt();
    const char* sql =
        "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 1000000) "
        "SELECT CASE WHEN x = 1000000 THEN abs(-9223372036854775807 - 1) ELSE x END FROM n";
    ASSERT_EQ(F.SQLExecDirect(s, (SQLCHAR*)sql, SQL_NTS), SQL_SUCCESS);
    int64_t v = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(F.SQLBindCol(s, 1, SQL_C_SBIGINT, &v, 0, &ind), SQL_SUCCESS);
    ASSERT_EQ(F.SQLFetch(s), SQL_SUCCESS);
    EXPECT_EQ(v, 1);
    ASSERT_EQ(F.SQLFetch(s), SQL_SUCCESS);
    EXPECT_EQ(v, 2);
    SQLRETURN rc;
    int64_t rows = 2;
    while ((rc = F.SQLFetch(s)) == SQL_SUCCESS) ++rows;
    EXPECT_EQ(rc, SQL_ERROR);
    EXPECT_EQ(rows, 999999);
    EXPECT_EQ(stateOf(nullptr, s), "S1000");

    // SQL_MAX_ROWS ends the result early.
    F.SQLFreeStmt(s, SQL_CLOSE);
    ASSERT_EQ(F.SQLSetStmtOption(s, SQL_MAX_ROWS, 3), SQL_SUCCESS);
    ASSERT_EQ(F.SQLExecDirect(s, (SQLCHAR*)sql, SQL_NTS), SQL_SUCCESS);
    rows = 0;
    while (F.SQLFetch(s) == SQL_SUCCESS) ++rows;
    EXPECT_EQ(rows, 3);
}

const char* kLongQuery =
    "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 2000000000) SELECT count(*) FROM n";

TEST(SqliteEngineCancel, FromAnotherThreadWhileStepping) {
    Db db;
    SQLHSTMT s = db.stmt();
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(F.SQLCancel(s), SQL_SUCCESS);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(F.SQLExecDirect(s, (SQLCHAR*)kLongQuery, SQL_NTS), SQL_ERROR);
    canceller.join();
    EXPECT_EQ(stateOf(nullptr, s), "S1008");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    // The statement and the connection go on.
    EXPECT_EQ(db.one("SELECT 6 * 7"), "42");
    ASSERT_EQ(F.SQLExecDirect(s, (SQLCHAR*)"SELECT 1", SQL_NTS), SQL_SUCCESS);
    // Between calls a cancel closes the cursor.
    EXPECT_EQ(F.SQLCancel(s), SQL_SUCCESS);
    EXPECT_EQ(F.SQLFetch(s), SQL_ERROR);
    EXPECT_EQ(stateOf(nullptr, s), "S1010");
}

TEST(SqliteEngineCancel, QueryTimeout) {
    Db db;
    SQLHSTMT s = db.stmt();
    ASSERT_EQ(F.SQLSetStmtOption(s, SQL_QUERY_TIMEOUT, 1), SQL_SUCCESS);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(F.SQLExecDirect(s, (SQLCHAR*)kLongQuery, SQL_NTS), SQL_ERROR);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(stateOf(nullptr, s), "S1T00");
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(10));
    // The timeout does not spill onto other work.
    ASSERT_EQ(F.SQLSetStmtOption(s, SQL_QUERY_TIMEOUT, 0), SQL_SUCCESS);
    EXPECT_EQ(db.one("SELECT 1"), "1");
}

TEST(SqliteEngineErrors, ResultCodesMappedToStates) {
    const std::string file = tempFile("busy.db");
    std::remove(file.c_str());
    // Waits at most 300 ms for another connection's lock.
    Db db("Database=" + file + ";Timeout=300");
    ASSERT_TRUE(db.connected);
    db.run("CREATE TABLE t(a INTEGER PRIMARY KEY, b NOT NULL UNIQUE)");
    db.run("INSERT INTO t VALUES (1, 'x')");
    auto stateAfter = [&](Db& on, const char* sql) {
        SQLHSTMT s = on.stmt();
        SQLRETURN rc = F.SQLExecDirect(s, (SQLCHAR*)sql, SQL_NTS);
        std::string st = rc == SQL_ERROR ? stateOf(nullptr, s) : "ok";
        F.SQLFreeStmt(s, SQL_DROP);
        return st;
    };
    EXPECT_EQ(stateAfter(db, "INSERT INTO t VALUES (2, 'x')"), "23000");
    EXPECT_EQ(stateAfter(db, "INSERT INTO t VALUES (3, NULL)"), "23000");
    EXPECT_EQ(stateAfter(db, "INSERT INTO t VALUES ('one', 'y')"), "22005");
    EXPECT_EQ(stateAfter(db, "SELEC 1"), "42000");
    EXPECT_EQ(stateAfter(db, "SELECT nosuch FROM t"), "42000");
    // Another connection holds the write lock: busy, a state to retry.
    Db other("Database=" + file + ";Timeout=0");
    ASSERT_TRUE(other.connected);
    other.run("BEGIN IMMEDIATE");
    EXPECT_EQ(stateAfter(db, "INSERT INTO t VALUES (5, 'z')"), "40001");
    other.run("ROLLBACK");
    // Read-only access refuses writes.
    ASSERT_EQ(F.SQLSetConnectOption(db.dbc, SQL_ACCESS_MODE, SQL_MODE_READ_ONLY), SQL_SUCCESS);
    EXPECT_EQ(stateAfter(db, "INSERT INTO t VALUES (6, 'w')"), "25006");
    ASSERT_EQ(F.SQLSetConnectOption(db.dbc, SQL_ACCESS_MODE, SQL_MODE_READ_WRITE), SQL_SUCCESS);
    EXPECT_EQ(stateAfter(db, "INSERT INTO t VALUES (6, 'w')"), "ok");
    // SQLite's message is kept.
    SQLHSTMT s = db.stmt();
    F.SQLExecDirect(s, (SQLCHAR*)"INSERT INTO t VALUES (7, 'x')", SQL_NTS);
    SQLCHAR state[6], msg[256];
    SQLINTEGER native = 0;
    ASSERT_EQ(F.SQLError(nullptr, nullptr, s, state, &native, msg, sizeof msg, nullptr), SQL_SUCCESS);
    EXPECT_NE(std::string((char*)msg).find("UNIQUE constraint failed: t.b"), std::string::npos) << msg;
    EXPECT_EQ(native, SQLITE_CONSTRAINT_UNIQUE);
    EXPECT_EQ(F.SQLError(nullptr, nullptr, s, state, &native, msg, sizeof msg, nullptr), SQL_NO_DATA_FOUND);
    std::remove(file.c_str());
}

TEST(SqliteEngineParams, DataAtExecution) {
    Db db;
    db.run("CREATE TABLE t(id INTEGER, body TEXT, data BLOB)");
    SQLHSTMT s = db.stmt();
    ASSERT_EQ(F.SQLPrepare(s, (SQLCHAR*)"INSERT INTO t VALUES (?, ?, ?)", SQL_NTS), SQL_SUCCESS);
    int32_t id = 7;
    SQLLEN idLen = 0, bodyLen = SQL_LEN_DATA_AT_EXEC(0), dataLen = SQL_DATA_AT_EXEC;
    char token1 = 0, token2 = 0;
    F.SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, &idLen);
    F.SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, &token1, 0, &bodyLen);
    F.SQLBindParameter(s, 3, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0, &token2, 0, &dataLen);
    ASSERT_EQ(F.SQLExecute(s), SQL_NEED_DATA);
    SQLPOINTER token = nullptr;
    ASSERT_EQ(F.SQLParamData(s, &token), SQL_NEED_DATA);
    EXPECT_EQ(token, &token1);
    ASSERT_EQ(F.SQLPutData(s, (SQLPOINTER) "hello, ", SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(F.SQLPutData(s, (SQLPOINTER) "world", 5), SQL_SUCCESS);
    ASSERT_EQ(F.SQLParamData(s, &token), SQL_NEED_DATA);
    EXPECT_EQ(token, &token2);
    ASSERT_EQ(F.SQLPutData(s, (SQLPOINTER) "\0\1\2", 3), SQL_SUCCESS);
    // Nothing runs before the last value is given.
    EXPECT_EQ(db.one("SELECT count(*) FROM t"), "0");
    ASSERT_EQ(F.SQLParamData(s, &token), SQL_SUCCESS) << stateOf(nullptr, s);
    EXPECT_EQ(db.one("SELECT body || ':' || hex(data) FROM t WHERE id = 7"), "hello, world:000102");

    // A null sent at execution; a cancel ends a sequence without running it.
    id = 8;
    ASSERT_EQ(F.SQLExecute(s), SQL_NEED_DATA);
    ASSERT_EQ(F.SQLParamData(s, &token), SQL_NEED_DATA);
    ASSERT_EQ(F.SQLPutData(s, nullptr, SQL_NULL_DATA), SQL_SUCCESS);
    ASSERT_EQ(F.SQLParamData(s, &token), SQL_NEED_DATA);
    ASSERT_EQ(F.SQLPutData(s, (SQLPOINTER) "z", 1), SQL_SUCCESS);
    ASSERT_EQ(F.SQLParamData(s, &token), SQL_SUCCESS);
    EXPECT_EQ(db.one("SELECT coalesce(body, 'null') FROM t WHERE id = 8"), "null");
    id = 9;
    ASSERT_EQ(F.SQLExecute(s), SQL_NEED_DATA);
    ASSERT_EQ(F.SQLCancel(s), SQL_SUCCESS);
    EXPECT_EQ(F.SQLParamData(s, &token), SQL_ERROR);
    EXPECT_EQ(db.one("SELECT count(*) FROM t WHERE id = 9"), "0");
}

// A long value read in pieces: every byte once, in time linear in its size.
TEST(SqliteEngineValues, LongValueInPieces) {
    Db db;
    db.run("CREATE TABLE t(x TEXT)");
    // 16 MB of text whose characters are one to four bytes long.
    db.run("INSERT INTO t SELECT replace(hex(zeroblob(2000000)), '00', 'a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80')");
    SQLHSTMT s = db.stmt();
    ASSERT_EQ(F.SQLExecDirect(s, (SQLCHAR*)"SELECT x, x FROM t", SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(F.SQLFetch(s), SQL_SUCCESS);
    const auto start = std::chrono::steady_clock::now();
    std::string narrow;
    char buf[4097];
    SQLLEN ind = 0;
    SQLRETURN rc;
    SQLLEN firstInd = -5;
    while ((rc = F.SQLGetData(s, 1, SQL_C_CHAR, buf, sizeof buf, &ind)) != SQL_NO_DATA_FOUND) {
        ASSERT_TRUE(SQL_SUCCEEDED(rc));
        if (firstInd == -5) firstInd = ind;
        narrow.append(buf, static_cast<size_t>(std::min<SQLLEN>(ind, sizeof buf - 1)));
    }
    EXPECT_EQ(firstInd, 2000000 * 10);
    ASSERT_EQ(narrow.size(), 2000000u * 10);
    EXPECT_EQ(narrow.compare(0, 10, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), 0);
    // UTF-16 in pieces of an odd number of units: the pair of U+1F600 split.
    std::vector<SQLWCHAR> wide;
    SQLWCHAR wbuf[1000];
    firstInd = -5;
    while ((rc = F.SQLGetData(s, 2, SQL_C_WCHAR, wbuf, sizeof wbuf, &ind)) != SQL_NO_DATA_FOUND) {
        ASSERT_TRUE(SQL_SUCCEEDED(rc));
        if (firstInd == -5) firstInd = ind;
        const SQLLEN units = std::min<SQLLEN>(ind, sizeof wbuf - 2) / 2;
        wide.insert(wide.end(), wbuf, wbuf + units);
    }
    EXPECT_EQ(firstInd, 2000000 * 5 * 2);
    ASSERT_EQ(wide.size(), 2000000u * 5);
    const SQLWCHAR unit[] = {'a', 0xE9, 0x20AC, 0xD83D, 0xDE00};
    for (size_t i = 0; i < wide.size(); i += 99991) EXPECT_EQ(wide[i], unit[i % 5]) << i;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(SqliteEngineParams, ArrayStopsAtTheFailingRow) {
    Db db;
    db.run("CREATE TABLE t(a INTEGER PRIMARY KEY, b TEXT)");
    db.run("INSERT INTO t VALUES (3, 'there')");
    SQLHSTMT s = db.stmt();
    ASSERT_EQ(F.SQLPrepare(s, (SQLCHAR*)"INSERT INTO t VALUES (?, ?)", SQL_NTS), SQL_SUCCESS);
    int32_t a[5] = {1, 2, 3, 4, 5};
    char b[5][4] = {"p", "q", "r", "s", "t"};
    SQLLEN aLen[5] = {}, bLen[5] = {SQL_NTS, SQL_NTS, SQL_NTS, SQL_NTS, SQL_NTS};
    SQLULEN done = 0;
    ASSERT_EQ(F.SQLParamOptions(s, 5, &done), SQL_SUCCESS);
    F.SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, a, 0, aLen);
    F.SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 3, 0, b, 4, bLen);
    EXPECT_EQ(F.SQLExecute(s), SQL_ERROR);
    EXPECT_EQ(stateOf(nullptr, s), "23000");
    EXPECT_EQ(done, 3u);
    EXPECT_EQ(db.one("SELECT group_concat(b, '') FROM (SELECT b FROM t ORDER BY a)"), "pqthere");
    // All rows: the count is their sum.
    a[2] = 13;
    db.run("DELETE FROM t");
    ASSERT_EQ(F.SQLExecute(s), SQL_SUCCESS);
    EXPECT_EQ(done, 5u);
    SQLLEN count = 0;
    F.SQLRowCount(s, &count);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(db.one("SELECT group_concat(a) FROM (SELECT a FROM t ORDER BY a)"), "1,2,4,5,13");
}

TEST(SqliteEngineStatements, SeveralStatementsAndTransactions) {
    Db db;
    SQLHSTMT s = db.stmt();
    ASSERT_EQ(F.SQLExecDirect(s,
                              (SQLCHAR*)"CREATE TABLE t(a); -- a comment ?\n INSERT INTO t VALUES (1), (2); "
                                        "SELECT a FROM t ORDER BY a; UPDATE t SET a = a + 1;;  /* done */",
                              SQL_NTS),
              SQL_SUCCESS)
        << stateOf(nullptr, s);
    SQLLEN count = -7;
    SQLSMALLINT cols = -1;
    F.SQLRowCount(s, &count);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(F.SQLMoreResults(s), SQL_SUCCESS);
    F.SQLRowCount(s, &count);
    EXPECT_EQ(count, 2);
    ASSERT_EQ(F.SQLMoreResults(s), SQL_SUCCESS);
    F.SQLNumResultCols(s, &cols);
    EXPECT_EQ(cols, 1);
    ASSERT_EQ(F.SQLFetch(s), SQL_SUCCESS);
    ASSERT_EQ(F.SQLMoreResults(s), SQL_SUCCESS);
    F.SQLRowCount(s, &count);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(F.SQLMoreResults(s), SQL_NO_DATA_FOUND);
    EXPECT_EQ(db.one("SELECT sum(a) FROM t"), "5");

    // Manual commit: a rollback undoes, a commit keeps.
    ASSERT_EQ(F.SQLSetConnectOption(db.dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
    db.run("INSERT INTO t VALUES (100)");
    ASSERT_EQ(F.SQLTransact(nullptr, db.dbc, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_EQ(db.one("SELECT count(*) FROM t"), "2");
    db.run("INSERT INTO t VALUES (100)");
    ASSERT_EQ(F.SQLTransact(nullptr, db.dbc, SQL_COMMIT), SQL_SUCCESS);
    ASSERT_EQ(F.SQLTransact(nullptr, db.dbc, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_EQ(db.one("SELECT count(*) FROM t"), "3");
    SQLUINTEGER iso = 0;
    ASSERT_EQ(F.SQLGetConnectOption(db.dbc, SQL_TXN_ISOLATION, &iso), SQL_SUCCESS);
    EXPECT_EQ(iso, static_cast<SQLUINTEGER>(SQL_TXN_SERIALIZABLE));
    SQLUINTEGER dead = 7;
    ASSERT_EQ(F.SQLGetConnectOption(db.dbc, SQL_ATTR_CONNECTION_DEAD, &dead), SQL_SUCCESS);
    EXPECT_EQ(dead, 0u);
}

// The catalog functions, SQLGetInfo and escapes answer through the engine's
// statements and connection.
TEST(SqliteEngineStatements, CatalogInfoAndEscapes) {
    Db db;
    db.run("CREATE TABLE t(a INTEGER, b TEXT DEFAULT 'x', PRIMARY KEY (b, a))");
    SQLHSTMT s = db.stmt();
    ASSERT_EQ(F.SQLPrimaryKeys(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"t", SQL_NTS), SQL_SUCCESS)
        << stateOf(nullptr, s);
    std::string keys;
    char name[64];
    SQLLEN ind = 0;
    int16_t seq = 0;
    while (F.SQLFetch(s) == SQL_SUCCESS) {
        ASSERT_EQ(F.SQLGetData(s, 4, SQL_C_CHAR, name, sizeof name, &ind), SQL_SUCCESS);
        ASSERT_EQ(F.SQLGetData(s, 5, SQL_C_SSHORT, &seq, 0, &ind), SQL_SUCCESS);
        keys += std::string(name) + std::to_string(seq) + " ";
    }
    EXPECT_EQ(keys, "b1 a2 ");
    SQLSMALLINT type = 0;
    ASSERT_EQ(F.SQLDescribeCol(s, 5, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(type, SQL_SMALLINT);

    char dbms[64] = {};
    SQLSMALLINT len = 0;
    ASSERT_EQ(F.SQLGetInfo(db.dbc, SQL_DBMS_NAME, dbms, sizeof dbms, &len), SQL_SUCCESS);
    EXPECT_STREQ(dbms, "SQLite");

    // Escapes are rewritten unless SQL_NOSCAN is on; a ? in a comment is no
    // parameter.
    EXPECT_EQ(db.one("SELECT {fn UCASE('abc')} -- what?"), "ABC");
    SQLHSTMT p = db.stmt();
    ASSERT_EQ(F.SQLPrepare(p, (SQLCHAR*)"SELECT ? /* ? */ , '?'", SQL_NTS), SQL_SUCCESS);
    SQLSMALLINT n = -1;
    ASSERT_EQ(F.SQLNumParams(p, &n), SQL_SUCCESS);
    EXPECT_EQ(n, 1);
    ASSERT_EQ(F.SQLSetStmtOption(p, SQL_NOSCAN, SQL_NOSCAN_ON), SQL_SUCCESS);
    EXPECT_EQ(F.SQLPrepare(p, (SQLCHAR*)"SELECT {fn UCASE('abc')}", SQL_NTS), SQL_ERROR);
    char out[64];
    SQLINTEGER outLen = 0;
    ASSERT_EQ(
        F.SQLNativeSql(db.dbc, (SQLCHAR*)"SELECT {fn UCASE('abc')}", SQL_NTS, (SQLCHAR*)out, sizeof out, &outLen),
        SQL_SUCCESS);
    EXPECT_EQ(std::string(out).find('{'), std::string::npos) << out;
    ASSERT_EQ(F.SQLNativeSql(db.dbc, (SQLCHAR*)"SELECT 12345", SQL_NTS, (SQLCHAR*)out, 5, &outLen),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(out, "SELE");
    EXPECT_EQ(outLen, 12);
}

// Conversions beyond the plain ones: blobs as hex text, dates from SQLite's
// numbers, bound wide text cut to its buffer, SQL_C_DEFAULT by the
// described type.
TEST(SqliteEngineValues, OtherConversions) {
    Db db;
    SQLHSTMT s = db.stmt();
    ASSERT_EQ(F.SQLExecDirect(s,
                              (SQLCHAR*)"SELECT x'00ff10', 2460000.5, 86400, 'abc\xF0\x9F\x98\x80"
                                        "def', 7, "
                                        "CAST(1e10 AS INTEGER)",
                              SQL_NTS),
              SQL_SUCCESS);
    SQLWCHAR wide[4] = {};
    SQLLEN wideInd = 0;
    // Room for three units and the terminator: the pair of U+1F600 is split.
    ASSERT_EQ(F.SQLBindCol(s, 4, SQL_C_WCHAR, wide, sizeof wide, &wideInd), SQL_SUCCESS);
    ASSERT_EQ(F.SQLFetch(s), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(stateOf(nullptr, s), "01004");
    EXPECT_EQ(wideInd, 8 * 2) << "the whole value's length in bytes";
    EXPECT_EQ(wide[0], 'a');
    EXPECT_EQ(wide[2], 'c');
    EXPECT_EQ(wide[3], 0);
    char text[16];
    SQLLEN ind = 0;
    ASSERT_EQ(F.SQLGetData(s, 1, SQL_C_CHAR, text, sizeof text, &ind), SQL_SUCCESS);
    EXPECT_STREQ(text, "00FF10");
    EXPECT_EQ(F.SQLGetData(s, 1, SQL_C_CHAR, text, sizeof text, &ind), SQL_NO_DATA_FOUND);
    DATE_STRUCT d{};
    ASSERT_EQ(F.SQLGetData(s, 2, SQL_C_DATE, &d, 0, &ind), SQL_SUCCESS);  // a Julian day number
    EXPECT_EQ(d.year, 2023);                                              // date(2460000.5) in SQLite
    EXPECT_EQ(d.month, 2);
    EXPECT_EQ(d.day, 25);
    TIMESTAMP_STRUCT ts{};
    ASSERT_EQ(F.SQLGetData(s, 3, SQL_C_TIMESTAMP, &ts, 0, &ind), SQL_SUCCESS);  // Unix seconds
    EXPECT_EQ(ts.year, 1970);
    EXPECT_EQ(ts.day, 2);
    EXPECT_EQ(ts.hour, 0);
    int64_t v = 0;
    ASSERT_EQ(F.SQLGetData(s, 5, SQL_C_DEFAULT, &v, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(v, 7) << "an integer expression is SQL_BIGINT: 8 bytes";
    uint32_t u = 0;
    EXPECT_EQ(F.SQLGetData(s, 6, SQL_C_ULONG, &u, 0, &ind), SQL_ERROR);
    EXPECT_EQ(stateOf(nullptr, s), "22003");
    int16_t small = 0;
    EXPECT_EQ(F.SQLGetData(s, 9, SQL_C_SSHORT, &small, 0, &ind), SQL_ERROR);
    EXPECT_EQ(stateOf(nullptr, s), "S1002");
}

// Bound columns of the types a fetch loop binds (64-bit and 32-bit integers,
// doubles, UTF-16 text), row after row: values exact at their limits, NULLs
// as NULLs, text of every length around the 8-byte steps the widening takes,
// with characters beyond ASCII at each position of such a step, text that
// does not fit cut with its whole length, and a 32-bit integer that does not
// fit refused instead of cut.
TEST(SqliteEngineValues, BoundColumnsRowAfterRow) {
    Db db;
    db.run("CREATE TABLE t(n INTEGER, i INTEGER, b BIGINT, d DOUBLE, s VARCHAR(40))");
    const std::vector<std::string> texts = {"",
                                            "a",
                                            "abcdefg",
                                            "abcdefgh",
                                            "abcdefghi",
                                            "0123456789abcdef",
                                            "0123456789abcdefX",
                                            "\xC3\xA9",
                                            "abc\xC3\xA9"
                                            "defgh",
                                            "abcdefg\xE2\x82\xAC",
                                            "abcdefgh\xF0\x9F\x98\x80",
                                            "\x7F\x01 ~"};
    for (size_t k = 0; k < texts.size(); ++k)
        db.run("INSERT INTO t VALUES (" + std::to_string(k) + ", " + std::to_string(INT32_MIN + static_cast<int>(k)) +
               ", " + std::to_string(INT64_MAX - static_cast<int64_t>(k)) + ", " + std::to_string(k) + " + 0.1, '" +
               texts[k] + "')");
    db.run("INSERT INTO t VALUES (100, 2147483647, -9223372036854775808, -1.5, NULL)");
    db.run("INSERT INTO t VALUES (101, NULL, NULL, NULL, 'a' || char(0) || 'b')");
    // A byte that is no UTF-8 at the end of an 8-byte step reads as U+FFFD.
    db.run("INSERT INTO t VALUES (102, 0, 0, 0, CAST(x'61626364656667E9' AS TEXT))");
    SQLHSTMT s = db.stmt();
    ASSERT_EQ(F.SQLExecDirect(s, (SQLCHAR*)"SELECT i, b, d, s FROM t ORDER BY n", SQL_NTS), SQL_SUCCESS);
    int32_t i = 0;
    int64_t b = 0;
    double d = 0;
    SQLWCHAR w[41];
    SQLLEN ind[4] = {};
    ASSERT_EQ(F.SQLBindCol(s, 1, SQL_C_SLONG, &i, 0, &ind[0]), SQL_SUCCESS);
    ASSERT_EQ(F.SQLBindCol(s, 2, SQL_C_SBIGINT, &b, 0, &ind[1]), SQL_SUCCESS);
    ASSERT_EQ(F.SQLBindCol(s, 3, SQL_C_DOUBLE, &d, 0, &ind[2]), SQL_SUCCESS);
    ASSERT_EQ(F.SQLBindCol(s, 4, SQL_C_WCHAR, w, sizeof w, &ind[3]), SQL_SUCCESS);
    auto utf16 = [](const std::string& utf8) {
        std::vector<SQLWCHAR> out;
        for (size_t p = 0; p < utf8.size();) {
            const auto c = static_cast<unsigned char>(utf8[p]);
            const int more = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
            uint32_t cp = more == 0 ? c : c & (0x3F >> more);
            for (int m = 1; m <= more; ++m) cp = (cp << 6) | (static_cast<unsigned char>(utf8[p + m]) & 0x3F);
            p += 1 + more;
            if (cp >= 0x10000) {
                out.push_back(static_cast<SQLWCHAR>(0xD800 + ((cp - 0x10000) >> 10)));
                out.push_back(static_cast<SQLWCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
            } else {
                out.push_back(static_cast<SQLWCHAR>(cp));
            }
        }
        return out;
    };
    for (size_t k = 0; k < texts.size(); ++k) {
        std::fill(std::begin(w), std::end(w), SQLWCHAR{0xFFFF});
        ASSERT_EQ(F.SQLFetch(s), SQL_SUCCESS) << k << ": " << stateOf(nullptr, s);
        EXPECT_EQ(i, INT32_MIN + static_cast<int>(k));
        EXPECT_EQ(ind[0], 4);
        EXPECT_EQ(b, INT64_MAX - static_cast<int64_t>(k));
        EXPECT_EQ(ind[1], 8);
        EXPECT_EQ(d, static_cast<double>(k) + 0.1);
        const std::vector<SQLWCHAR> want = utf16(texts[k]);
        ASSERT_EQ(ind[3], static_cast<SQLLEN>(want.size() * 2)) << k;
        EXPECT_EQ(std::vector<SQLWCHAR>(w, w + want.size()), want) << k;
        EXPECT_EQ(w[want.size()], 0) << k << ": terminated";
        EXPECT_EQ(w[want.size() + 1], 0xFFFF) << k << ": nothing written past the terminator";
    }
    ASSERT_EQ(F.SQLFetch(s), SQL_SUCCESS);
    EXPECT_EQ(i, INT32_MAX);
    EXPECT_EQ(b, INT64_MIN);
    EXPECT_EQ(d, -1.5);
    EXPECT_EQ(ind[3], SQL_NULL_DATA);
    ASSERT_EQ(F.SQLFetch(s), SQL_SUCCESS);
    EXPECT_EQ(ind[0], SQL_NULL_DATA);
    EXPECT_EQ(ind[1], SQL_NULL_DATA);
    EXPECT_EQ(ind[2], SQL_NULL_DATA);
    ASSERT_EQ(ind[3], 6);
    EXPECT_EQ(w[0], 'a');
    EXPECT_EQ(w[1], 0);
    EXPECT_EQ(w[2], 'b');
    ASSERT_EQ(F.SQLFetch(s), SQL_SUCCESS);
    ASSERT_EQ(ind[3], 8 * 2);
    EXPECT_EQ(w[6], 'g');
    EXPECT_EQ(w[7], 0xFFFD);
    EXPECT_EQ(F.SQLFetch(s), SQL_NO_DATA_FOUND);
    F.SQLFreeStmt(s, SQL_CLOSE);

    // Text one unit longer than the buffer: cut, the whole length told; the
    // same text that fits exactly arrives whole.
    ASSERT_EQ(F.SQLExecDirect(s, (SQLCHAR*)"SELECT '0123456789abcdefX', '0123456789abcdef', 2147483648", SQL_NTS),
              SQL_SUCCESS);
    SQLWCHAR small[17];
    SQLWCHAR exact[17];
    SQLLEN smallInd = 0, exactInd = 0;
    ASSERT_EQ(F.SQLBindCol(s, 1, SQL_C_WCHAR, small, sizeof small, &smallInd), SQL_SUCCESS);
    ASSERT_EQ(F.SQLBindCol(s, 2, SQL_C_WCHAR, exact, sizeof exact, &exactInd), SQL_SUCCESS);
    ASSERT_EQ(F.SQLBindCol(s, 3, SQL_C_SBIGINT, &b, 0, &ind[1]), SQL_SUCCESS);
    ASSERT_EQ(F.SQLFetch(s), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(stateOf(nullptr, s), "01004");
    EXPECT_EQ(smallInd, 17 * 2);
    EXPECT_EQ(small[15], 'f');
    EXPECT_EQ(small[16], 0);
    EXPECT_EQ(exactInd, 16 * 2);
    EXPECT_EQ(exact[15], 'f');
    EXPECT_EQ(exact[16], 0);
    EXPECT_EQ(b, 2147483648LL);
    F.SQLFreeStmt(s, SQL_CLOSE);
    F.SQLFreeStmt(s, SQL_UNBIND);

    // The same values read with SQLGetData: whole at the first read, then no
    // more data; text that does not fit continues in pieces.
    ASSERT_EQ(F.SQLExecDirect(s, (SQLCHAR*)"SELECT 'abcdefghij', 9007199254740993, 'abcdefghij'", SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(F.SQLFetch(s), SQL_SUCCESS);
    SQLLEN gdInd = 0;
    ASSERT_EQ(F.SQLGetData(s, 1, SQL_C_WCHAR, w, sizeof w, &gdInd), SQL_SUCCESS);
    EXPECT_EQ(gdInd, 20);
    EXPECT_EQ(w[9], 'j');
    EXPECT_EQ(w[10], 0);
    EXPECT_EQ(F.SQLGetData(s, 1, SQL_C_WCHAR, w, sizeof w, &gdInd), SQL_NO_DATA_FOUND);
    ASSERT_EQ(F.SQLGetData(s, 2, SQL_C_SBIGINT, &b, 0, &gdInd), SQL_SUCCESS);
    EXPECT_EQ(b, 9007199254740993LL);
    EXPECT_EQ(F.SQLGetData(s, 2, SQL_C_SBIGINT, &b, 0, &gdInd), SQL_NO_DATA_FOUND);
    SQLWCHAR four[5];
    std::u16string pieces;
    SQLRETURN rc;
    while ((rc = F.SQLGetData(s, 3, SQL_C_WCHAR, four, sizeof four, &gdInd)) != SQL_NO_DATA_FOUND) {
        ASSERT_TRUE(SQL_SUCCEEDED(rc));
        pieces.append(four, four + std::min<SQLLEN>(gdInd / 2, 4));
    }
    EXPECT_EQ(pieces, u"abcdefghij");
    F.SQLFreeStmt(s, SQL_CLOSE);

    // Beyond a 32-bit integer: the fetch fails, nothing is cut.
    ASSERT_EQ(F.SQLExecDirect(s, (SQLCHAR*)"SELECT 2147483648", SQL_NTS), SQL_SUCCESS);
    i = 7;
    ASSERT_EQ(F.SQLBindCol(s, 1, SQL_C_SLONG, &i, 0, &ind[0]), SQL_SUCCESS);
    EXPECT_EQ(F.SQLFetch(s), SQL_ERROR);
    EXPECT_EQ(stateOf(nullptr, s), "22003");
    EXPECT_EQ(i, 7);
    F.SQLFreeStmt(s, SQL_DROP);
}

// Cursor names, parameters across a text of several statements, and
// autocommit turned back on.
TEST(SqliteEngineStatements, CursorNamesParametersAndAutocommit) {
    Db db;
    SQLHSTMT a = db.stmt(), b = db.stmt();
    char name[32];
    SQLSMALLINT len = 0;
    ASSERT_EQ(F.SQLGetCursorName(a, (SQLCHAR*)name, sizeof name, &len), SQL_SUCCESS);
    EXPECT_EQ(std::string(name).rfind("SQL_CUR", 0), 0u);
    ASSERT_EQ(F.SQLSetCursorName(a, (SQLCHAR*)"mine", SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(F.SQLSetCursorName(b, (SQLCHAR*)"MINE", SQL_NTS), SQL_ERROR);
    EXPECT_EQ(stateOf(nullptr, b), "3C000");
    EXPECT_EQ(F.SQLGetCursorName(a, (SQLCHAR*)name, 3, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(name, "mi");
    EXPECT_EQ(len, 4);

    // The second statement takes the parameters after the first one's.
    db.run("CREATE TABLE t(x, y)");
    ASSERT_EQ(F.SQLPrepare(a, (SQLCHAR*)"INSERT INTO t VALUES (?, 1); INSERT INTO t VALUES (?, ?)", SQL_NTS),
              SQL_SUCCESS);
    SQLSMALLINT n = 0;
    ASSERT_EQ(F.SQLNumParams(a, &n), SQL_SUCCESS);
    EXPECT_EQ(n, 3);
    int32_t v[3] = {10, 20, 30};
    SQLLEN zero = 0;
    for (SQLUSMALLINT i = 1; i <= 3; ++i)
        F.SQLBindParameter(a, i, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &v[i - 1], 0, &zero);
    ASSERT_EQ(F.SQLExecute(a), SQL_SUCCESS);
    ASSERT_EQ(F.SQLMoreResults(a), SQL_SUCCESS) << stateOf(nullptr, a);
    EXPECT_EQ(db.one("SELECT group_concat(x || ':' || y) FROM t"), "10:1,20:30");

    // Autocommit back on commits what the transaction holds.
    ASSERT_EQ(F.SQLSetConnectOption(db.dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
    db.run("DELETE FROM t");
    ASSERT_EQ(F.SQLSetConnectOption(db.dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON), SQL_SUCCESS);
    EXPECT_EQ(F.SQLTransact(nullptr, db.dbc, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_EQ(db.one("SELECT count(*) FROM t"), "0");
}

}  // namespace
