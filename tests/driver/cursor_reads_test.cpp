// Queries read in chunks through a cursor (RUVA70_STMT_FETCH_ROWS): which
// texts qualify, and on PostgreSQL every row in order across chunks, other
// statements in between, no cursor left behind, the end of the transaction
// and errors of a later chunk.
#include "driver_fixture.h"

#include "cursor_text.h"

#include <cstring>
#include <memory>
#include <vector>

using namespace qvt;

TEST(CursorText, SingleQueriesQualifyAndKeepTheirText) {
    struct Case {
        const char* sql;
        const char* query;
    };
    const Case cases[] = {
        {"SELECT 1", "SELECT 1"},
        {"  select i from t where s = 'a;b' ;  ", "select i from t where s = 'a;b'"},
        {"VALUES (1), (2);", "VALUES (1), (2)"},
        {"TABLE t", "TABLE t"},
        {"WITH x AS (SELECT 1) SELECT * FROM x", "WITH x AS (SELECT 1) SELECT * FROM x"},
        {"(SELECT 1) UNION (SELECT 2)", "(SELECT 1) UNION (SELECT 2)"},
        {"/* lead */ -- line\nSELECT ? -- tail", "/* lead */ -- line\nSELECT ? -- tail"},
        {"SELECT \"update\", 'delete', $$insert; into$$, E'\\';' FROM t; -- done",
         "SELECT \"update\", 'delete', $$insert; into$$, E'\\';' FROM t"},
        {"SELECT $1::int", "SELECT $1::int"},
    };
    for (const Case& c : cases) {
        std::string query;
        EXPECT_TRUE(ruva::cursorQuery(c.sql, std::strlen(c.sql), query)) << c.sql;
        EXPECT_EQ(query, c.query) << c.sql;
    }
}

TEST(CursorText, ChangesLocksAndSeveralStatementsAreReadWhole) {
    const char* const refused[] = {
        "",
        "  ;",
        "INSERT INTO t VALUES (1)",
        "UPDATE t SET a = 1",
        "DELETE FROM t",
        "WITH d AS (DELETE FROM t RETURNING *) SELECT * FROM d",
        "SELECT * INTO u FROM t",
        "SELECT * FROM t FOR UPDATE",
        "SELECT * FROM t FOR NO KEY UPDATE",
        "SELECT * FROM t FOR SHARE",
        "SELECT * FROM t FOR KEY SHARE",
        "SELECT 1; SELECT 2",
        "SELECT 1; 'x'",
        "{call f(?)}",
        "'SELECT 1'",
        "EXPLAIN SELECT 1",
        "SHOW search_path",
        "MERGE INTO t USING u ON true WHEN MATCHED THEN DO NOTHING",
    };
    for (const char* sql : refused) {
        std::string query = "untouched";
        EXPECT_FALSE(ruva::cursorQuery(sql, std::strlen(sql), query)) << sql;
    }
    // The length given is the text's end.
    const char text[] = "SELECT 1; DELETE FROM t";
    std::string query;
    EXPECT_TRUE(ruva::cursorQuery(text, 8, query));
    EXPECT_EQ(query, "SELECT 1");
}

namespace {

class CursorReadsOnPostgres : public ::testing::Test {
protected:
    void SetUp() override {
        c = std::make_unique<Connection>(pgConnStr());
        ASSERT_EQ(ruva70_SQLSetConnectOption(c->dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
        s = c->stmt();
        other = c->stmt();
    }
    void TearDown() override {
        ruva70_SQLFreeStmt(s, SQL_DROP);
        ruva70_SQLFreeStmt(other, SQL_DROP);
        ruva70_SQLTransact(SQL_NULL_HENV, c->dbc, SQL_ROLLBACK);
    }
    void fetchRows(SQLULEN n) {
        ASSERT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_FETCH_ROWS, n), SQL_SUCCESS) << describe(stmtRecords(s));
    }
    // The session's open cursors, asked on the other statement.
    int cursors() { return std::stoi(queryText(other, "SELECT count(*) FROM pg_cursors")); }
    // The rows of the first column through a bound column, until the end
    // (or a failure, whose state goes to `failure`).
    std::vector<long> readAll(std::string* failure = nullptr) {
        std::vector<long> out;
        SQLINTEGER v = 0;
        SQLLEN ind = 0;
        EXPECT_EQ(ruva70_SQLBindCol(s, 1, SQL_C_SLONG, &v, 0, &ind), SQL_SUCCESS);
        SQLRETURN rc;
        while ((rc = ruva70_SQLFetch(s)) == SQL_SUCCESS) out.push_back(v);
        if (rc == SQL_ERROR && failure) {
            auto rs = stmtRecords(s);
            *failure = rs.empty() ? "no record" : rs[0].state;
        } else {
            EXPECT_EQ(rc, SQL_NO_DATA_FOUND) << describe(stmtRecords(s));
        }
        return out;
    }
    static std::vector<long> upTo(long n) {
        std::vector<long> v;
        for (long i = 1; i <= n; ++i) v.push_back(i);
        return v;
    }
    std::unique_ptr<Connection> c;
    SQLHSTMT s = SQL_NULL_HSTMT;
    SQLHSTMT other = SQL_NULL_HSTMT;
};

}  // namespace

TEST_F(CursorReadsOnPostgres, EveryRowInOrderAcrossChunksOfAPreparedQuery) {
    fetchRows(7);
    ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)"SELECT i FROM generate_series(1, ?) i ORDER BY i", SQL_NTS),
              SQL_SUCCESS);
    SQLINTEGER n = 0;
    SQLLEN nInd = 0;
    ASSERT_EQ(ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &n, 0, &nInd),
              SQL_SUCCESS);
    // Empty, shorter than a chunk, exactly one and two chunks, several with a rest.
    for (SQLINTEGER rows : {0, 3, 7, 14, 23}) {
        n = rows;
        ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecute(s))) << describe(stmtRecords(s));
        SQLSMALLINT cols = 0;
        ASSERT_EQ(ruva70_SQLNumResultCols(s, &cols), SQL_SUCCESS);
        EXPECT_EQ(cols, 1);
        EXPECT_EQ(cursors(), 1) << "the rows are read through a cursor";
        EXPECT_EQ(readAll(), upTo(rows)) << rows << " rows";
        EXPECT_EQ(ruva70_SQLFetch(s), SQL_NO_DATA_FOUND) << "the end stays the end";
        ASSERT_EQ(ruva70_SQLFreeStmt(s, SQL_CLOSE), SQL_SUCCESS);
        EXPECT_EQ(cursors(), 0) << "closing the statement closes its cursor";
    }
    // A description asked of the closed statement is the prepared text's: the
    // statement holds it again.
    SQLCHAR name[64] = {};
    SQLSMALLINT len = 0, type = 0, scale = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(ruva70_SQLDescribeCol(s, 1, name, sizeof name, &len, &type, &size, &scale, &nullable), SQL_SUCCESS)
        << describe(stmtRecords(s));
    EXPECT_STREQ(reinterpret_cast<char*>(name), "i");
    // Without a fetch size the prepared statement runs as it was prepared.
    fetchRows(0);
    n = 5;
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecute(s))) << describe(stmtRecords(s));
    EXPECT_EQ(cursors(), 0);
    EXPECT_EQ(readAll(), upTo(5));
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
}

TEST_F(CursorReadsOnPostgres, OtherStatementsRunBetweenChunksAndNoCursorIsLeft) {
    exec(other, "CREATE TEMP TABLE cursor_log (k int)");
    fetchRows(4);
    const char* sql = "SELECT k FROM generate_series(1, 10) k";
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)sql, SQL_NTS))) << describe(stmtRecords(s));
    SQLINTEGER v = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(ruva70_SQLBindCol(s, 1, SQL_C_SLONG, &v, 0, &ind), SQL_SUCCESS);
    std::vector<long> seen;
    while (ruva70_SQLFetch(s) == SQL_SUCCESS) {
        seen.push_back(v);
        // Writes and reads of the same transaction between the rows.
        exec(other, "INSERT INTO cursor_log VALUES (" + std::to_string(v) + ")");
        EXPECT_EQ(queryText(other, "SELECT count(*) FROM cursor_log"), std::to_string(v));
    }
    EXPECT_EQ(seen, upTo(10));
    // Executed again without a close: the earlier cursor goes.
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)sql, SQL_NTS))) << describe(stmtRecords(s));
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    EXPECT_EQ(cursors(), 1);
    // A statement dropped while reading leaves no cursor.
    ASSERT_EQ(ruva70_SQLFreeStmt(s, SQL_DROP), SQL_SUCCESS);
    s = c->stmt();
    EXPECT_EQ(cursors(), 0);
    // Texts that change data run as they are, with the fetch size set.
    fetchRows(4);
    ASSERT_TRUE(
        SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)"DELETE FROM cursor_log WHERE k > 2 RETURNING k", SQL_NTS)))
        << describe(stmtRecords(s));
    EXPECT_EQ(cursors(), 0);
    EXPECT_EQ(readAll().size(), 8u);
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
    EXPECT_EQ(queryText(other, "SELECT count(*) FROM cursor_log"), "2");
}

TEST_F(CursorReadsOnPostgres, TheEndOfTheTransactionEndsTheReadWithAnError) {
    for (SQLUSMALLINT end : {SQL_COMMIT, SQL_ROLLBACK}) {
        fetchRows(5);
        ASSERT_TRUE(
            SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT i FROM generate_series(1, 12) i", SQL_NTS)));
        ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
        ASSERT_EQ(ruva70_SQLTransact(SQL_NULL_HENV, c->dbc, end), SQL_SUCCESS);
        // The rest of the chunk at hand, then an error, never the end.
        std::string failure;
        EXPECT_EQ(readAll(&failure).size(), 4u);
        EXPECT_EQ(failure, "24000");
        EXPECT_EQ(ruva70_SQLFreeStmt(s, SQL_CLOSE), SQL_SUCCESS);
        // The next transaction is untouched by the closing.
        EXPECT_EQ(queryText(other, "SELECT 'next'"), "next");
        EXPECT_EQ(cursors(), 0);
    }
    // Auto-commit turned on ends it too.
    fetchRows(5);
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT i FROM generate_series(1, 12) i", SQL_NTS)));
    ASSERT_EQ(ruva70_SQLSetConnectOption(c->dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON), SQL_SUCCESS);
    std::string failure;
    EXPECT_EQ(readAll(&failure).size(), 5u);
    EXPECT_EQ(failure, "24000");
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
    // In auto-commit mode the rows are read whole: no cursor.
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT i FROM generate_series(1, 12) i", SQL_NTS)));
    EXPECT_EQ(cursors(), 0);
    EXPECT_EQ(readAll(), upTo(12));
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
}

TEST_F(CursorReadsOnPostgres, AnErrorOfALaterChunkFailsThatFetch) {
    fetchRows(10);
    const char* sql = "SELECT 100 / (15 - i) FROM generate_series(1, 30) i";
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)sql, SQL_NTS))) << describe(stmtRecords(s));
    std::string failure;
    EXPECT_EQ(readAll(&failure).size(), 10u);
    EXPECT_EQ(failure, "22012");
    EXPECT_NE(ruva70_SQLFetch(s), SQL_NO_DATA_FOUND) << "a failed read never reads as the end";
    EXPECT_EQ(ruva70_SQLFreeStmt(s, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(cursors(), 0);
    // An error in the first chunk fails the execution itself.
    ASSERT_EQ(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT 1 / (i - 2) FROM generate_series(1, 30) i", SQL_NTS),
              SQL_ERROR);
    auto rs = stmtRecords(s);
    ASSERT_FALSE(rs.empty());
    EXPECT_EQ(rs[0].state, "22012");
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
    EXPECT_EQ(cursors(), 0);
    // The statement and the connection go on.
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT i FROM generate_series(1, 25) i", SQL_NTS)));
    EXPECT_EQ(readAll(), upTo(25));
}
