// Parameter arrays of a plain INSERT run as multi-row inserts: each case runs
// the same array twice, once through the data source's own parameter-array
// path (option 3058 = 1) and once in chunks of a few rows, and compares
// everything an application can see: the return code, the row-number
// variable, SQLRowCount, the first record's SQLSTATE and the rows the table
// holds afterwards (in auto-commit and in manual-commit mode). Each body runs
// on SQLite and on PostgreSQL. The text recogniser is tested on its own first.
#include "driver_fixture.h"

#include "insert_rows.h"

#include <cstring>
#include <memory>
#include <optional>

using namespace qvt;

namespace {

// ---------------------------------------------------------------------------
// Which texts qualify
// ---------------------------------------------------------------------------

TEST(PlainInsertText, AcceptsPlainInsertsAndKeepsTheirHead) {
    ruva::InsertShape shape;
    const std::string ok[] = {
        "INSERT INTO t VALUES (?)",
        "insert into t (a, b) values (?, ?)",
        "  INSERT\n INTO s.t(a,b,c)VALUES(?,?,?) ; ",
        "INSERT INTO \"odd \"\"name\"\" \" (\"x y\") VALUES ( ? )",
        "INSERT INTO t\u00e9 (\u00e9) VALUES (?)",
    };
    const int markers[] = {1, 2, 3, 1, 1};
    const std::string heads[] = {
        "INSERT INTO t VALUES",
        "insert into t (a, b) values",
        "  INSERT\n INTO s.t(a,b,c)VALUES",
        "INSERT INTO \"odd \"\"name\"\" \" (\"x y\") VALUES",
        "INSERT INTO t\u00e9 (\u00e9) VALUES",
    };
    for (size_t i = 0; i < std::size(ok); ++i) {
        SCOPED_TRACE(ok[i]);
        ASSERT_TRUE(ruva::parsePlainInsert(ok[i].data(), ok[i].size(), shape));
        EXPECT_EQ(shape.markers, markers[i]);
        EXPECT_EQ(shape.head, heads[i]);
    }
    ASSERT_TRUE(ruva::parsePlainInsert("insert into t (a, b) values (?, ?)", 34, shape));
    EXPECT_EQ(ruva::multiRowText(shape, 3), "insert into t (a, b) values (?,?),(?,?),(?,?)");
}

TEST(PlainInsertText, RefusesEverythingElse) {
    const std::string refused[] = {
        "INSERT INTO t VALUES (?, 1)",
        "INSERT INTO t VALUES (?, DEFAULT)",
        "INSERT INTO t VALUES (?, '?')",
        "INSERT INTO t VALUES (?) RETURNING id",
        "INSERT INTO t VALUES (?) ON CONFLICT DO NOTHING",
        "INSERT OR REPLACE INTO t VALUES (?)",
        "INSERT INTO t SELECT ?",
        "INSERT INTO t VALUES (?), (?)",
        "INSERT INTO t VALUES (?); DELETE FROM t",
        "INSERT INTO t VALUES (?) -- note",
        "INSERT INTO t /* c */ VALUES (?)",
        "INSERT INTO t VALUES ()",
        "INSERT INTO t VALUES (?",
        "INSERTINTO t VALUES (?)",
        "INSERT INTO VALUES (?)",
        "INSERT INTO t (a VALUES (?)",
        "INSERT INTO \"t VALUES (?)",
        "UPDATE t SET a = ?",
        "{call p(?)}",
        "",
    };
    ruva::InsertShape shape;
    for (const std::string& sql : refused) EXPECT_FALSE(ruva::parsePlainInsert(sql.data(), sql.size(), shape)) << sql;
    // The length given is the text: what follows it is not read.
    const char longer[] = "INSERT INTO t VALUES (?) RETURNING id";
    EXPECT_TRUE(ruva::parsePlainInsert(longer, 24, shape));
}

// ---------------------------------------------------------------------------
// Arrays on the data sources
// ---------------------------------------------------------------------------

constexpr int kMaxRows = 64;

// Column-wise arrays of id, a bigint, UTF-16 text and bytes.
struct Arrays {
    SQLINTEGER id[kMaxRows];
    SQLLEN idInd[kMaxRows];
    SQLBIGINT n[kMaxRows];
    SQLLEN nInd[kMaxRows];
    SQLWCHAR text[kMaxRows][12];
    SQLLEN textInd[kMaxRows];
    unsigned char bytes[kMaxRows][8];
    SQLLEN bytesInd[kMaxRows];
};

// Row r: id r + 1 (or `dupOf` + 1 for the row that repeats one), text
// beyond ASCII, bytes of a length of their own; every fourth row's text and
// bytes are NULL, every fifth row's number.
void fill(Arrays& a, int rows, int dupRow = -1, int dupOf = 0) {
    std::memset(&a, 0, sizeof a);
    for (int r = 0; r < rows; ++r) {
        a.id[r] = (r == dupRow ? dupOf : r) + 1;
        a.idInd[r] = 4;
        a.n[r] = r * 3000000007LL - 5;
        a.nInd[r] = r % 5 == 2 ? SQL_NULL_DATA : 8;
        const char16_t t[] = {u'r', static_cast<char16_t>(u'a' + r % 26), u'\u00e9', u'\u20ac', 0xD83D, 0xDE00};
        std::memcpy(a.text[r], t, sizeof t);
        a.textInd[r] = r % 4 == 3 ? SQL_NULL_DATA : static_cast<SQLLEN>(sizeof t);
        for (int k = 0; k < 8; ++k) a.bytes[r][k] = static_cast<unsigned char>(r * 16 + k);
        a.bytesInd[r] = r % 4 == 3 ? SQL_NULL_DATA : r % 8;
    }
}

struct Outcome {
    SQLRETURN rc = 0;
    SQLULEN rowNumber = 0;
    SQLLEN rowCount = -7;
    std::string state;  // of the first record
    std::vector<std::string> table;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    os << "rc " << o.rc << ", row " << o.rowNumber << ", count " << o.rowCount << ", state '" << o.state << "', "
       << o.table.size() << " rows:";
    for (const auto& r : o.table) os << "\n  " << r;
    return os;
}

class InsertRows : public ::testing::TestWithParam<bool> {
protected:
    bool pg() const { return GetParam(); }
    void SetUp() override {
        c = std::make_unique<Connection>(pg() ? pgConnStr() : sqliteConnStr());
        q = c->stmt();
    }
    void TearDown() override {
        ruva70_SQLFreeStmt(q, SQL_DROP);
        c.reset();
    }
    void freshTable() {
        exec(q, "DROP TABLE IF EXISTS ir");
        exec(q, std::string("CREATE TABLE ir (id integer PRIMARY KEY, n bigint, t varchar(20), b ") +
                    (pg() ? "bytea" : "blob") + ")");
    }
    std::vector<std::string> table() {
        std::vector<std::string> out;
        const char* sql = pg() ? "SELECT id, n, t, encode(b, 'hex') FROM ir ORDER BY id"
                               : "SELECT id, n, t, hex(b) FROM ir ORDER BY id";
        EXPECT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(q, (SQLCHAR*)sql, SQL_NTS))) << describe(stmtRecords(q));
        while (SQL_SUCCEEDED(ruva70_SQLFetch(q))) {
            std::string row;
            for (SQLUSMALLINT col = 1; col <= 4; ++col) {
                char buf[128] = {};
                SQLLEN ind = 0;
                ruva70_SQLGetData(q, col, SQL_C_CHAR, buf, sizeof buf, &ind);
                std::string v = ind == SQL_NULL_DATA ? "NULL" : buf;
                if (col == 4 && ind != SQL_NULL_DATA)
                    for (char& ch : v) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
                row += (col > 1 ? "|" : "") + v;
            }
            out.push_back(row);
        }
        ruva70_SQLFreeStmt(q, SQL_CLOSE);
        return out;
    }

    // Runs `rows` rows of `a` as one array, with option 3058 at `chunk`
    // (1: the data source's own path), in auto-commit mode or in a
    // transaction that is committed afterwards; the outcome as an
    // application sees it.
    Outcome run(Arrays& a, int rows, SQLULEN chunk, bool autocommit = true,
                const char* sql = "INSERT INTO ir (id, n, t, b) VALUES (?, ?, ?, ?)") {
        freshTable();
        if (!autocommit) ruva70_SQLSetConnectOption(c->dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
        SQLHSTMT s = c->stmt();
        Outcome o;
        EXPECT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_INSERT_ROWS, chunk), SQL_SUCCESS);
        EXPECT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)sql, SQL_NTS), SQL_SUCCESS) << describe(stmtRecords(s));
        // Described first, as the native library does: psqlODBC then runs
        // its own arrays one row per execution.
        SQLSMALLINT type = 0, scale = 0, nullable = 0;
        SQLULEN size = 0;
        ruva70_SQLDescribeParam(s, 1, &type, &size, &scale, &nullable);
        ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, a.id, 4, a.idInd);
        ruva70_SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, a.n, 8, a.nInd);
        ruva70_SQLBindParameter(s, 3, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 20, 0, a.text, sizeof a.text[0],
                                a.textInd);
        ruva70_SQLBindParameter(s, 4, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 8, 0, a.bytes,
                                sizeof a.bytes[0], a.bytesInd);
        ruva70_SQLParamOptions(s, static_cast<SQLULEN>(rows), &o.rowNumber);
        o.rc = ruva70_SQLExecute(s);
        if (SQL_SUCCEEDED(o.rc)) ruva70_SQLRowCount(s, &o.rowCount);
        auto recs = stmtRecords(s);
        if (!recs.empty()) o.state = recs.front().state;
        // The statement runs again as one row: its bindings are back.
        SQLULEN one = 0;
        ruva70_SQLFreeStmt(s, SQL_CLOSE);
        ruva70_SQLParamOptions(s, 1, &one);
        a.id[0] = 1000;
        a.idInd[0] = 4;
        SQLRETURN again = ruva70_SQLExecute(s);
        // (A PostgreSQL transaction block is spoilt by the failed row.)
        if (autocommit || !pg() || SQL_SUCCEEDED(o.rc)) {
            EXPECT_TRUE(SQL_SUCCEEDED(again)) << describe(stmtRecords(s));
        }
        ruva70_SQLFreeStmt(s, SQL_DROP);
        if (!autocommit) {
            ruva70_SQLTransact(SQL_NULL_HENV, c->dbc, SQL_COMMIT);
            ruva70_SQLSetConnectOption(c->dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
        }
        o.table = table();
        return o;
    }

    std::unique_ptr<Connection> c;
    SQLHSTMT q = SQL_NULL_HSTMT;
};

INSTANTIATE_TEST_SUITE_P(Sqlite, InsertRows, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(Postgres, InsertRows, ::testing::Values(true));

TEST_P(InsertRows, ValuesNullsTextAndBytesAsTheOwnPathStoresThem) {
    Arrays a;
    for (int rows : {3, 10, 11, kMaxRows}) {
        SCOPED_TRACE(rows);
        fill(a, rows);
        const Outcome own = run(a, rows, 1);
        ASSERT_EQ(own.rc, SQL_SUCCESS) << own;
        ASSERT_EQ(own.table.size(), static_cast<size_t>(rows) + 1);
        fill(a, rows);
        EXPECT_EQ(run(a, rows, 3), own);
        fill(a, rows);
        EXPECT_EQ(run(a, rows, 0), own);  // the default chunk size
        fill(a, rows);
        EXPECT_EQ(run(a, rows, 4, false), own);
    }
}

TEST_P(InsertRows, AMiddleRowThatFailsIsTheRowReportedAndWhatCameBeforeStays) {
    Arrays a;
    const int rows = 13;
    // Row 8 (counted from 1) repeats the id of row 2; in chunks of 3 it falls
    // in the third chunk, whose first row must still be stored.
    for (bool autocommit : {true, false}) {
        SCOPED_TRACE(autocommit ? "auto-commit" : "manual commit");
        fill(a, rows, 7, 1);
        const Outcome own = run(a, rows, 1, autocommit);
        ASSERT_EQ(own.rc, SQL_ERROR) << own;
        EXPECT_EQ(own.rowNumber, 8u);
        for (SQLULEN chunk : {3, 2, 5, 0}) {
            SCOPED_TRACE(chunk);
            fill(a, rows, 7, 1);
            EXPECT_EQ(run(a, rows, chunk, autocommit), own);
        }
    }
}

TEST_P(InsertRows, FailuresInTheFirstAndTheLastRow) {
    Arrays a;
    const int rows = 9;
    // A row that repeats the id of a later one fails only once that row is
    // in: row 9 repeats row 1's id; and row 1 whose id row 3 repeats, so row
    // 3 fails.
    for (auto [dupRow, dupOf] : {std::pair{8, 0}, std::pair{2, 0}}) {
        SCOPED_TRACE(dupRow);
        fill(a, rows, dupRow, dupOf);
        const Outcome own = run(a, rows, 1);
        ASSERT_EQ(own.rc, SQL_ERROR);
        fill(a, rows, dupRow, dupOf);
        EXPECT_EQ(run(a, rows, 4), own);
    }
}

TEST_P(InsertRows, TextsThatAreNotPlainInsertsKeepTheOwnPath) {
    Arrays a;
    fill(a, 6);
    const char* sql = pg() ? "INSERT INTO ir (id, n, t, b) VALUES (?, ?, ?, ?) RETURNING id"
                           : "INSERT OR ABORT INTO ir (id, n, t, b) VALUES (?, ?, ?, ?)";
    const Outcome own = run(a, 6, 1, true, sql);
    fill(a, 6);
    EXPECT_EQ(run(a, 6, 3, true, sql), own);
}

// The rows really go in chunks: a statement-level trigger counts the
// statements (PostgreSQL; SQLite has none). 10 rows in chunks of 3: three
// chunks and the last row alone. This is the one visible difference.
TEST_P(InsertRows, ChunksAreOneStatementEach) {
    if (!pg()) GTEST_SKIP() << "SQLite has no statement-level triggers";
    Arrays a;
    fill(a, 10);
    freshTable();
    exec(q, "DROP TABLE IF EXISTS ir_statements");
    exec(q, "CREATE TABLE ir_statements (n integer)");
    exec(q,
         "CREATE OR REPLACE FUNCTION ir_count() RETURNS trigger LANGUAGE plpgsql AS "
         "$$ BEGIN INSERT INTO ir_statements VALUES (1); RETURN NULL; END $$");
    SQLHSTMT s = c->stmt();
    ruva70_SQLSetStmtOption(s, RUVA70_STMT_INSERT_ROWS, 3);
    ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)"INSERT INTO ir (id, n, t, b) VALUES (?, ?, ?, ?)", SQL_NTS),
              SQL_SUCCESS);
    exec(q, "CREATE TRIGGER ir_stmt AFTER INSERT ON ir FOR EACH STATEMENT EXECUTE FUNCTION ir_count()");
    ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, a.id, 4, a.idInd);
    ruva70_SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, a.n, 8, a.nInd);
    ruva70_SQLBindParameter(s, 3, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 20, 0, a.text, sizeof a.text[0],
                            a.textInd);
    ruva70_SQLBindParameter(s, 4, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 8, 0, a.bytes, sizeof a.bytes[0],
                            a.bytesInd);
    SQLULEN done = 0;
    ruva70_SQLParamOptions(s, 10, &done);
    ASSERT_EQ(ruva70_SQLExecute(s), SQL_SUCCESS) << describe(stmtRecords(s));
    EXPECT_EQ(done, 10u);
    EXPECT_EQ(queryText(q, "SELECT count(*) FROM ir"), "10");
    EXPECT_EQ(queryText(q, "SELECT count(*) FROM ir_statements"), "4");
    ruva70_SQLFreeStmt(s, SQL_DROP);
    exec(q, "DROP TABLE ir");
    exec(q, "DROP TABLE ir_statements");
}

TEST_P(InsertRows, OptionReadsBack) {
    SQLHSTMT s = c->stmt();
    SQLULEN v = 99;
    EXPECT_EQ(ruva70_SQLGetStmtOption(s, RUVA70_STMT_INSERT_ROWS, &v), SQL_SUCCESS);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_INSERT_ROWS, 100), SQL_SUCCESS);
    EXPECT_EQ(ruva70_SQLGetStmtOption(s, RUVA70_STMT_INSERT_ROWS, &v), SQL_SUCCESS);
    EXPECT_EQ(v, 100u);
    ruva70_SQLFreeStmt(s, SQL_DROP);
}

}  // namespace
