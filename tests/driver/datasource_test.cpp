// libruva70 against the two data sources: the driver's type codes, its
// statement options and information type, handle lifetimes across
// disconnect, and the 8-byte timestamp form. Each body runs on SQLite and on
// PostgreSQL (instantiations Sqlite and Postgres).
#include "driver_fixture.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

using namespace qvt;

namespace {

class DriverOn : public ::testing::TestWithParam<bool> {
protected:
    bool pg() const { return GetParam(); }
    std::string connStr() const { return pg() ? pgConnStr() : sqliteConnStr(); }
    void SetUp() override {
        c = std::make_unique<Connection>(connStr());
        s = c->stmt();
        exec(s, "DROP TABLE IF EXISTS t");
        if (pg())
            exec(s, "CREATE TABLE t (id integer, a timestamp, b timestamptz, n numeric(10,2))");
        else
            exec(s, "CREATE TABLE t (id integer, a TIMESTAMP, b DATETIME, n NUMERIC(10,2))");
    }
    std::unique_ptr<Connection> c;
    SQLHSTMT s = SQL_NULL_HSTMT;
};

SQLSMALLINT columnType(SQLHSTMT s, SQLUSMALLINT col) {
    SQLCHAR name[32];
    SQLSMALLINT nameLen = 0, type = 0, scale = 0, nullable = 0;
    SQLULEN size = 0;
    EXPECT_EQ(ruva70_SQLDescribeCol(s, col, name, sizeof name, &nameLen, &type, &size, &scale, &nullable),
              SQL_SUCCESS)
        << describe(stmtRecords(s));
    return type;
}

SQLSMALLINT paramType(SQLHSTMT s, SQLUSMALLINT par) {
    SQLSMALLINT type = 0, scale = 0, nullable = 0;
    SQLULEN size = 0;
    EXPECT_TRUE(SQL_SUCCEEDED(ruva70_SQLDescribeParam(s, par, &type, &size, &scale, &nullable)))
        << describe(stmtRecords(s));
    return type;
}

// The statement option in the 8-byte cell the native library passes.
uint64_t stmtOption(SQLHSTMT s, SQLUSMALLINT option) {
    uint64_t cell = 0xABABABABABABABABull;
    EXPECT_EQ(ruva70_SQLGetStmtOption(s, option, &cell), SQL_SUCCESS);
    return cell;
}

// The offset of the first byte that differs, or -1.
long firstChange(const std::vector<SQLCHAR>& now, const std::vector<SQLCHAR>& before) {
    for (size_t i = 0; i < now.size(); ++i)
        if (now[i] != before[i]) return static_cast<long>(i);
    return -1;
}

uint32_t storeState(SQLHDBC dbc) {
    uint64_t cell = 0;
    SQLSMALLINT len = 0;
    EXPECT_EQ(ruva70_SQLGetInfo(dbc, RUVA70_INFO_DATA_STORE_STATE, &cell, 4, &len), SQL_SUCCESS)
        << describe(dbcRecords(dbc));
    EXPECT_EQ(cell >> 32, 0u) << "only 4 bytes are written";
    return static_cast<uint32_t>(cell);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Sqlite, DriverOn, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(Postgres, DriverOn, ::testing::Values(true));

TEST_P(DriverOn, DescribesTimestampColumnsWithDriverCodesOnlyWhileOptionIsOne) {
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT id, a, b, n FROM t", SQL_NTS)));
    EXPECT_EQ(stmtOption(s, RUVA70_STMT_DRIVER_TYPES), 0u);
    ASSERT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_DRIVER_TYPES, 1), SQL_SUCCESS);
    EXPECT_EQ(stmtOption(s, RUVA70_STMT_DRIVER_TYPES), 1u);
    EXPECT_EQ(columnType(s, 1), pg() ? SQL_INTEGER : SQL_BIGINT) << "SQLite integers are 64-bit";
    EXPECT_EQ(columnType(s, 2), RUVA70_TYPE_TIMESTAMP);
    EXPECT_EQ(columnType(s, 3), pg() ? RUVA70_TYPE_TIMESTAMP_TZ : RUVA70_TYPE_DATETIME);
    SQLSMALLINT numeric = columnType(s, 4);
    ASSERT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_DRIVER_TYPES, 0), SQL_SUCCESS);
    EXPECT_EQ(columnType(s, 2), SQL_TIMESTAMP) << "ODBC 2 behaviour: 11, not 93";
    EXPECT_EQ(columnType(s, 3), SQL_TIMESTAMP);
    EXPECT_EQ(columnType(s, 4), numeric) << "other types keep their standard code";
}

// Cases that need PostgreSQL's answers (SQLite reports no truncation).
class DriverOnPostgres : public DriverOn {};
INSTANTIATE_TEST_SUITE_P(Postgres, DriverOnPostgres, ::testing::Values(true));

// The type name is asked before the description, so the description's own
// records (a truncated name) are what the statement holds afterwards.
TEST_P(DriverOnPostgres, DescribingWithDriverCodesKeepsTheDescriptionsRecords) {
    ASSERT_TRUE(
        SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT a AS a_rather_long_column_name FROM t", SQL_NTS)));
    ASSERT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_DRIVER_TYPES, 1), SQL_SUCCESS);
    SQLCHAR name[8];
    SQLSMALLINT nameLen = 0, type = 0, scale = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(ruva70_SQLDescribeCol(s, 1, name, sizeof name, &nameLen, &type, &size, &scale, &nullable),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(type, RUVA70_TYPE_TIMESTAMP);
    auto rs = stmtRecords(s);
    ASSERT_FALSE(rs.empty());
    EXPECT_EQ(rs[0].state, "01004") << describe(rs);
}

// A connect that succeeds with information keeps its records although
// libruva70 talks to the data source after it.
TEST_P(DriverOnPostgres, ConnectKeepsItsOwnRecords) {
    Connection other;
    SQLCHAR out[10];
    SQLSMALLINT len = 0;
    std::string cs = connStr();
    ASSERT_EQ(ruva70_SQLDriverConnect(other.dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, out, sizeof out, &len,
                                      SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS_WITH_INFO);
    other.connected = true;
    auto rs = dbcRecords(other.dbc);
    ASSERT_FALSE(rs.empty());
    EXPECT_EQ(rs[0].state, "01004") << describe(rs);
}

TEST_P(DriverOn, DescribesParametersWithDriverCodesOnlyWhileOptionIsOne) {
    ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)"INSERT INTO t (a, n) VALUES (?, ?)", SQL_NTS), SQL_SUCCESS);
    SQLSMALLINT plainA = paramType(s, 1), plainN = paramType(s, 2);
    ASSERT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_DRIVER_TYPES, 1), SQL_SUCCESS);
    if (pg()) {
        // psqlODBC describes both as typed: timestamp, and numeric 28/6.
        EXPECT_EQ(plainA, SQL_TIMESTAMP);
        EXPECT_EQ(plainN, SQL_NUMERIC);
        EXPECT_EQ(paramType(s, 1), RUVA70_TYPE_TIMESTAMP);
        EXPECT_EQ(paramType(s, 2), RUVA70_TYPE_DECIMAL_UNSIZED);
    } else {
        // SQLite names no parameter type: the standard code stays.
        EXPECT_EQ(paramType(s, 1), plainA);
        EXPECT_EQ(paramType(s, 2), plainN);
    }
}

TEST_P(DriverOn, OwnStatementOptionsTakeOnlyZeroOrOneAndAreNotForwarded) {
    EXPECT_EQ(stmtOption(s, RUVA70_STMT_TYPE_FROM_VALUE), 0u) << "default 0, all 8 bytes written";
    EXPECT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_TYPE_FROM_VALUE, 1), SQL_SUCCESS);
    EXPECT_EQ(stmtOption(s, RUVA70_STMT_TYPE_FROM_VALUE), 1u);
    for (SQLUSMALLINT option : {RUVA70_STMT_TYPE_FROM_VALUE, RUVA70_STMT_DRIVER_TYPES}) {
        for (SQLULEN bad : {SQLULEN{2}, SQLULEN{0xFFFFFFFFu}}) {
            EXPECT_EQ(ruva70_SQLSetStmtOption(s, option, bad), SQL_ERROR);
            auto rs = stmtRecords(s);
            ASSERT_FALSE(rs.empty());
            EXPECT_EQ(rs[0].state, "S1009");
            EXPECT_NE(rs[0].message.find("[ruva70]"), std::string::npos) << rs[0].message;
            EXPECT_EQ(rs.size(), 1u) << "the driver manager never saw the option\n" << describe(rs);
        }
    }
    EXPECT_EQ(stmtOption(s, RUVA70_STMT_TYPE_FROM_VALUE), 1u) << "a refused value changes nothing";
    EXPECT_EQ(stmtOption(s, RUVA70_STMT_DRIVER_TYPES), 0u);
    // Per statement: a new statement starts at 0.
    SQLHSTMT other = c->stmt();
    EXPECT_EQ(stmtOption(other, RUVA70_STMT_TYPE_FROM_VALUE), 0u);
    ruva70_SQLFreeStmt(other, SQL_DROP);
}

TEST_P(DriverOn, DataStoreStateFollowsTheSession) {
    if (!pg()) {
        EXPECT_EQ(storeState(c->dbc), RUVA70_STORE_UNKNOWN);
        return;
    }
    EXPECT_EQ(storeState(c->dbc), RUVA70_STORE_READ_WRITE);
    exec(s, "SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
    EXPECT_EQ(queryText(s, "SHOW transaction_read_only"), "on");
    EXPECT_EQ(storeState(c->dbc), RUVA70_STORE_READ_ONLY);

    Connection other(pgConnStr());
    SQLHSTMT os = other.stmt();
    EXPECT_EQ(storeState(other.dbc), RUVA70_STORE_READ_WRITE);
    exec(os, "SET default_transaction_read_only = on");
    EXPECT_EQ(queryText(os, "SHOW transaction_read_only"), "on");
    EXPECT_EQ(storeState(other.dbc), RUVA70_STORE_READ_ONLY);
}

// SQLNativeSql only reads the text it is given, and only as far as its
// length, whatever the output buffer's length: the SQLite driver writes its
// output's terminator into the input at the output length's last byte (past
// a shorter text into the memory after it, into a longer one), and reads the
// input up to its zero byte. A cut output ends within its buffer and says so.
TEST_P(DriverOn, NativeSqlOnlyReadsItsTextAndEndsACutOutput) {
    const std::string sql = "SELECT {fn UCASE('a')}";
    std::vector<SQLCHAR> in(512, 0x7F);  // the text, then bytes that are not the text's
    std::memcpy(in.data(), sql.c_str(), sql.size() + 1);
    const std::vector<SQLCHAR> before = in;
    SQLCHAR out[300];
    std::memset(out, 0x55, sizeof out);
    SQLINTEGER len = -1;
    ASSERT_EQ(ruva70_SQLNativeSql(c->dbc, in.data(), SQL_NTS, out, sizeof out, &len), SQL_SUCCESS)
        << describe(dbcRecords(c->dbc));
    // psqlODBC passes the escape through; the SQLite engine writes it as
    // SQLite reads it.
    const std::string native = pg() ? sql : "SELECT upper('a')";
    EXPECT_EQ(reinterpret_cast<char*>(out), native);
    EXPECT_EQ(len, static_cast<SQLINTEGER>(native.size()));
    EXPECT_EQ(firstChange(in, before), -1) << "a byte after the text was written";

    SQLCHAR cut[8];
    std::memset(cut, 0x55, sizeof cut);
    ASSERT_EQ(ruva70_SQLNativeSql(c->dbc, in.data(), SQL_NTS, cut, sizeof cut, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(cut[7], 0) << "a cut output ends within its buffer";
    EXPECT_EQ(reinterpret_cast<char*>(cut), native.substr(0, 7));
    EXPECT_EQ(firstChange(in, before), -1) << "the text itself was cut";
    auto rs = dbcRecords(c->dbc);
    ASSERT_FALSE(rs.empty()) << "a truncation without a record";
    EXPECT_EQ(rs[0].state, "01004");

    // A length shorter than the text: the text's first bytes only.
    ASSERT_EQ(ruva70_SQLNativeSql(c->dbc, in.data(), 6, out, sizeof out, &len), SQL_SUCCESS)
        << describe(dbcRecords(c->dbc));
    EXPECT_EQ(reinterpret_cast<char*>(out), sql.substr(0, 6));
    EXPECT_EQ(len, 6);
    EXPECT_EQ(firstChange(in, before), -1);
}

TEST_P(DriverOn, DisconnectInvalidatesTheConnectionsStatements) {
    SQLHSTMT second = c->stmt();
    for (SQLHSTMT h : {s, second}) EXPECT_TRUE(fits31Bits(h)) << value(h);
    // Kinds do not mix: a statement is no connection, a connection no statement.
    SQLHSTMT out;
    EXPECT_EQ(ruva70_SQLAllocStmt(s, &out), SQL_INVALID_HANDLE);
    SQLSMALLINT cols;
    EXPECT_EQ(ruva70_SQLNumResultCols(c->dbc, &cols), SQL_INVALID_HANDLE);
    // SQL_DRIVER_HSTMT: the statement's own value comes back.
    uint64_t cell = value(second);
    ASSERT_EQ(ruva70_SQLGetInfo(c->dbc, SQL_DRIVER_HSTMT, &cell, sizeof cell, nullptr), SQL_SUCCESS);
    EXPECT_EQ(cell, value(second));

    ASSERT_EQ(ruva70_SQLDisconnect(c->dbc), SQL_SUCCESS);
    c->connected = false;
    for (SQLHSTMT h : {s, second}) {
        // Answered by libruva70 alone, so only its table can refuse it.
        uint64_t option = 0;
        EXPECT_EQ(ruva70_SQLGetStmtOption(h, RUVA70_STMT_TYPE_FROM_VALUE, &option), SQL_INVALID_HANDLE);
        EXPECT_EQ(ruva70_SQLNumResultCols(h, &cols), SQL_INVALID_HANDLE);
        EXPECT_EQ(ruva70_SQLCancel(h), SQL_INVALID_HANDLE);
        EXPECT_EQ(ruva70_SQLFreeStmt(h, SQL_DROP), SQL_INVALID_HANDLE);
    }
    // The connection itself lives on and connects again.
    c->connect(connStr());
    SQLHSTMT again = c->stmt();
    EXPECT_EQ(queryText(again, "SELECT 42"), "42");
    EXPECT_EQ(ruva70_SQLFreeStmt(again, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(ruva70_SQLFreeStmt(again, SQL_DROP), SQL_INVALID_HANDLE);
}

TEST_P(DriverOn, FreedStatementValuesAreRefusedEvenWhenTheSlotIsReused) {
    SQLHSTMT old = c->stmt();
    ASSERT_EQ(ruva70_SQLFreeStmt(old, SQL_DROP), SQL_SUCCESS);
    SQLHSTMT reused = c->stmt();  // most likely the same slot, next generation
    EXPECT_NE(reused, old);
    SQLSMALLINT cols;
    uint64_t option = 0;
    EXPECT_EQ(ruva70_SQLGetStmtOption(old, RUVA70_STMT_TYPE_FROM_VALUE, &option), SQL_INVALID_HANDLE);
    EXPECT_EQ(ruva70_SQLNumResultCols(old, &cols), SQL_INVALID_HANDLE);
    EXPECT_EQ(queryText(reused, "SELECT 7"), "7");
    ruva70_SQLFreeStmt(reused, SQL_DROP);
}

// A thread cancels while another frees the statement: the cancel either
// reaches the live statement or is refused, never uses freed state.
TEST_P(DriverOn, CancelRacingFreeIsSafe) {
    for (int i = 0; i < 50; ++i) {
        SQLHSTMT h = c->stmt();
        std::atomic<bool> go{false};
        std::thread canceller([&] {
            while (!go.load()) {
            }
            for (int k = 0; k < 20; ++k) {
                SQLRETURN rc = ruva70_SQLCancel(h);
                EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_INVALID_HANDLE || rc == SQL_ERROR) << rc;
            }
        });
        go = true;
        EXPECT_EQ(ruva70_SQLFreeStmt(h, SQL_DROP), SQL_SUCCESS);
        canceller.join();
        EXPECT_EQ(ruva70_SQLCancel(h), SQL_INVALID_HANDLE);
    }
}

// SQLite has no two-phase commit.
class XaOnSqlite : public ::testing::Test {
protected:
    void SetUp() override { c = std::make_unique<Connection>(sqliteConnStr()); }
    std::unique_ptr<Connection> c;
};

TEST_F(XaOnSqlite, AnswersThatTheDataSourceHasNoTwoPhaseCommit) {
    RUVA70_XID xid{};
    xid.formatID = 1;
    xid.gtrid_length = 1;
    xid.data[0] = 'g';
    // Each operation's result and its XA code (or count), then its record.
    auto expectRefusal = [&](SQLINTEGER rc, SQLINTEGER out, SQLINTEGER expectedOut, const char* what) {
        EXPECT_EQ(rc, SQL_ERROR) << what;
        EXPECT_EQ(out, expectedOut) << what;
        auto rs = dbcRecords(c->dbc);
        ASSERT_EQ(rs.size(), 1u) << what;
        EXPECT_EQ(rs[0].state, "S1C00") << what;
        EXPECT_NE(rs[0].message.find("two-phase"), std::string::npos) << rs[0].message;
    };
    SQLINTEGER code = 0, rc = 0;
    rc = ruva70_xa_start(c->dbc, &xid, RUVA70_TMNOFLAGS, &code);
    expectRefusal(rc, code, RUVA70_XAER_RMERR, "start");
    rc = ruva70_xa_end(c->dbc, &xid, RUVA70_TMSUCCESS, &code);
    expectRefusal(rc, code, RUVA70_XAER_RMERR, "end");
    rc = ruva70_xa_prepare(c->dbc, &xid, 0, &code);
    expectRefusal(rc, code, RUVA70_XAER_RMERR, "prepare");
    rc = ruva70_xa_commit(c->dbc, &xid, 0, 0, &code);
    expectRefusal(rc, code, RUVA70_XAER_RMERR, "commit");
    rc = ruva70_xa_rollback(c->dbc, &xid, 0, 0, &code);
    expectRefusal(rc, code, RUVA70_XAER_RMERR, "rollback");
    rc = ruva70_xa_forget(c->dbc, &xid, 0, &code);
    expectRefusal(rc, code, RUVA70_XAER_RMERR, "forget");
    code = 5;
    rc = ruva70_xa_pending(c->dbc, &code);
    expectRefusal(rc, code, 0, "pending");
    code = 5;
    rc = ruva70_xa_recover(c->dbc, &xid, 1, RUVA70_TMSTARTRSCAN, &code);
    expectRefusal(rc, code, 0, "recover");
}

// Several threads allocate, use and free statements of one connection at
// once; each checks that its values are live while held, refused once freed,
// and never handed to two holders at the same time.
TEST_P(DriverOn, FreesRacingADisconnectEachFreeOnce) {
    // Each statement is freed either by its own free or by the disconnect,
    // never by both: a free that comes second answers SQL_INVALID_HANDLE.
    constexpr int kThreads = 3;
    constexpr int kPerThread = 40;
    std::vector<std::vector<SQLHSTMT>> handles(kThreads);
    for (auto& list : handles)
        for (int i = 0; i < kPerThread; ++i) list.push_back(c->stmt());
    std::atomic<int> unexpected{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (auto& list : handles)
        threads.emplace_back([&list, &unexpected, &go] {
            while (!go.load()) std::this_thread::yield();
            for (SQLHSTMT h : list) {
                const SQLRETURN rc = ruva70_SQLFreeStmt(h, SQL_DROP);
                if (rc != SQL_SUCCESS && rc != SQL_INVALID_HANDLE) ++unexpected;
            }
        });
    go = true;
    EXPECT_EQ(ruva70_SQLDisconnect(c->dbc), SQL_SUCCESS);
    c->connected = false;
    for (auto& th : threads) th.join();
    EXPECT_EQ(unexpected.load(), 0);
    for (auto& list : handles)
        for (SQLHSTMT h : list) EXPECT_EQ(ruva70_SQLFreeStmt(h, SQL_DROP), SQL_INVALID_HANDLE);
    c->connect(connStr());
    EXPECT_EQ(queryText(c->stmt(), "SELECT 7"), "7");
}

TEST_P(DriverOn, StatementHandlesOfOneConnectionFromManyThreads) {
    constexpr int kThreads = 4;
    // 4 x 400 uses of one slot at most stay below its 2047 generations.
    constexpr int kRounds = 400;
    std::mutex mu;
    std::set<uint32_t> live;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                SQLHSTMT h = SQL_NULL_HSTMT;
                if (ruva70_SQLAllocStmt(c->dbc, &h) != SQL_SUCCESS || !fits31Bits(h)) {
                    ++failures;
                    continue;
                }
                {
                    std::lock_guard<std::mutex> lock(mu);
                    if (!live.insert(value(h)).second) ++failures;
                }
                if (ruva70_SQLSetStmtOption(h, RUVA70_STMT_TYPE_FROM_VALUE, i % 2) != SQL_SUCCESS) ++failures;
                uint64_t cell = 7;
                if (ruva70_SQLGetStmtOption(h, RUVA70_STMT_TYPE_FROM_VALUE, &cell) != SQL_SUCCESS ||
                    cell != static_cast<uint64_t>(i % 2))
                    ++failures;
                if (ruva70_SQLAllocStmt(h, nullptr) != SQL_INVALID_HANDLE) ++failures;  // a statement as connection
                {
                    std::lock_guard<std::mutex> lock(mu);
                    live.erase(value(h));
                }
                if (ruva70_SQLFreeStmt(h, SQL_DROP) != SQL_SUCCESS) ++failures;
                if (ruva70_SQLGetStmtOption(h, RUVA70_STMT_TYPE_FROM_VALUE, &cell) != SQL_INVALID_HANDLE) ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(queryText(s, "SELECT 1"), "1") << "the connection still serves";
}

namespace {

uint32_t arrayText(SQLHDBC dbc) {
    uint64_t cell = 0xABABABABABABABABull;
    SQLSMALLINT len = 0;
    EXPECT_EQ(ruva70_SQLGetInfo(dbc, RUVA70_INFO_ARRAY_TEXT, &cell, 4, &len), SQL_SUCCESS)
        << describe(dbcRecords(dbc));
    EXPECT_EQ(len, 4);
    return static_cast<uint32_t>(cell);
}

std::string typeName(SQLHSTMT s, SQLUSMALLINT col) {
    char name[64] = {};
    SQLSMALLINT len = 0;
    SQLLEN unused = 0;
    EXPECT_TRUE(
        SQL_SUCCEEDED(ruva70_SQLColAttributes(s, col, SQL_COLUMN_TYPE_NAME, name, sizeof name, &len, &unused)))
        << describe(stmtRecords(s));
    return name;
}

}  // namespace

// Arrays: only PostgreSQL writes them (in braces); its array columns carry
// the driver type and their catalog name, which psqlODBC answers "unknown".
TEST_P(DriverOn, ArrayColumnsAreNamedAndMarkedWhereTheDataSourceHasArrays) {
    EXPECT_EQ(arrayText(c->dbc), pg() ? uint32_t{RUVA70_ARRAYS_BRACES} : uint32_t{RUVA70_ARRAYS_NONE});
    if (!pg()) return;
    exec(s, "DROP TABLE IF EXISTS \"arr q\"");
    exec(s, "CREATE TABLE \"arr q\" (i int4[], t text[][], j jsonb, n integer)");
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(
        s, (SQLCHAR*)"SELECT i, t AS renamed, j, n, ARRAY[1, 2] AS computed FROM \"arr q\"", SQL_NTS)));
    EXPECT_EQ(typeName(s, 1), "_int4");
    EXPECT_EQ(typeName(s, 2), "_text") << "found by the base column, not the label";
    EXPECT_EQ(typeName(s, 4), "int4");
    EXPECT_EQ(typeName(s, 5), "unknown") << "no table column to look up";
    ASSERT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_DRIVER_TYPES, 1), SQL_SUCCESS);
    EXPECT_EQ(columnType(s, 1), RUVA70_TYPE_ARRAY);
    EXPECT_EQ(columnType(s, 2), RUVA70_TYPE_ARRAY);
    EXPECT_NE(columnType(s, 3), RUVA70_TYPE_ARRAY);
    EXPECT_EQ(columnType(s, 4), SQL_INTEGER);
    EXPECT_NE(columnType(s, 5), RUVA70_TYPE_ARRAY);
    ASSERT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_DRIVER_TYPES, 0), SQL_SUCCESS);
    EXPECT_NE(columnType(s, 1), RUVA70_TYPE_ARRAY) << "standard types without the option";
    EXPECT_EQ(ruva70_SQLFreeStmt(s, SQL_CLOSE), SQL_SUCCESS);
    // A new result asks again: the same text after the column changed type.
    exec(s, "ALTER TABLE \"arr q\" ALTER COLUMN i TYPE int8[]");
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT i FROM \"arr q\"", SQL_NTS)));
    EXPECT_EQ(typeName(s, 1), "_int8");
    EXPECT_EQ(ruva70_SQLFreeStmt(s, SQL_CLOSE), SQL_SUCCESS);
    exec(s, "DROP TABLE \"arr q\"");
}
