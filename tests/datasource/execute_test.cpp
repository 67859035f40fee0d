// Prepare, execute, counts, further results and parameter description on
// SQLite and PostgreSQL.
#include "dsconn.h"
#include "jcall.h"

namespace {

using qvt::at;
using qvt::Connection;
using qvt::errorCode;
using qvt::jstrUtf8;
using qvt::Source;

class ExecuteTest : public ::testing::TestWithParam<Source> {
protected:
    void SetUp() override {
        c_.open(GetParam());
        table_ = qvt::uniqueName("ex");
        c_.exec("CREATE TABLE " + table_ + " (id INTEGER PRIMARY KEY, name VARCHAR(20), amount NUMERIC(10,2))");
    }
    void TearDown() override { c_.exec("DROP TABLE " + table_); }
    qvt::LocalFrame frame_;
    Connection c_;
    std::string table_;
};

TEST_P(ExecuteTest, FailingStatementReads255DirectAndMinusOnePrepared) {
    // The same statement fails at execution both ways: a duplicate key.
    c_.exec("INSERT INTO " + table_ + " VALUES (1, 'a', 1.5)");
    const std::string duplicate = "INSERT INTO " + table_ + " VALUES (1, 'b', 2.5)";
    jint stmt = c_.newStatement();
    EXPECT_EQ(JC(execDirect, stmt, jstrUtf8(duplicate.c_str())), 255);
    jbyteArray ec = errorCode();
    JC(prepare, stmt, jstrUtf8(duplicate.c_str()), ec);
    ASSERT_EQ(at(ec, 0), 0) << qvt::diagnostics(0, 0, stmt);
    EXPECT_EQ(JC(execute, stmt), -1);
    JC(freeStmt, stmt, SQL_DROP);
}

TEST_P(ExecuteTest, CountsOfParametersColumnsAndRows) {
    jbyteArray ec = errorCode();
    jint stmt = c_.newStatement();
    JC(prepare, stmt, jstrUtf8(("INSERT INTO " + table_ + " (id, name, amount) VALUES (?, ?, ?)").c_str()), ec);
    ASSERT_EQ(at(ec, 0), 0);
    EXPECT_EQ(JC(numParams, stmt, ec), 3);
    EXPECT_EQ(at(ec, 0), 0);
    EXPECT_EQ(JC(numResultCols, stmt, ec), 0);
    EXPECT_EQ(at(ec, 0), 0);
    JC(freeStmt, stmt, SQL_CLOSE);

    EXPECT_EQ(JC(execDirect, stmt,
                 jstrUtf8(("INSERT INTO " + table_ + " VALUES (1, 'a', 1.5), (2, 'b', 2.5), (3, 'c', 3.5)").c_str())),
              0);
    EXPECT_EQ(JC(rowCount, stmt, ec), 3);
    EXPECT_EQ(at(ec, 0), 0);
    EXPECT_EQ(JC(execDirect, stmt, jstrUtf8(("UPDATE " + table_ + " SET name = 'z' WHERE id > 1").c_str())), 0);
    EXPECT_EQ(JC(rowCount, stmt, ec), 2);
    EXPECT_EQ(JC(execDirect, stmt, jstrUtf8(("DELETE FROM " + table_ + " WHERE id > 100").c_str())), 0)
        << "a delete of nothing succeeds in ODBC 2 terms";
    EXPECT_EQ(JC(rowCount, stmt, ec), 0);

    EXPECT_EQ(JC(execDirect, stmt, jstrUtf8(("SELECT id, name FROM " + table_).c_str())), 0);
    EXPECT_EQ(JC(numResultCols, stmt, ec), 2);
    JC(moreResults, stmt, ec);
    EXPECT_EQ(at(ec, 0), 100) << "one result only";
    JC(freeStmt, stmt, SQL_DROP);
}

TEST_P(ExecuteTest, DescribeParamSelectsTheAttribute) {
    jbyteArray ec = errorCode();
    jint stmt = c_.newStatement();
    JC(prepare, stmt, jstrUtf8(("UPDATE " + table_ + " SET name = ? WHERE id = ?").c_str()), ec);
    ASSERT_EQ(at(ec, 0), 0);
    const jint type = JC(describeParam, stmt, 2, 1, ec);
    EXPECT_EQ(at(ec, 0), 0);
    EXPECT_NE(type, 0);
    EXPECT_GE(JC(describeParam, stmt, 2, 2, ec), 0);
    JC(describeParam, stmt, 2, 3, ec);
    EXPECT_EQ(at(ec, 0), 0);
    const jint nullable = JC(describeParam, stmt, 2, 4, ec);
    EXPECT_TRUE(nullable == SQL_NO_NULLS || nullable == SQL_NULLABLE || nullable == SQL_NULLABLE_UNKNOWN);
    jbyteArray preset = errorCode(0x55, 0x66);
    EXPECT_EQ(JC(describeParam, stmt, 2, 5, preset), 0);
    EXPECT_EQ(at(preset, 0), 0) << "the call is made for an out-of-range selector";
    EXPECT_EQ(at(preset, 1), 0x66);
    EXPECT_EQ(JC(describeParam, stmt, 1, 0, preset), 0);
    JC(freeStmt, stmt, SQL_DROP);
}

TEST_P(ExecuteTest, NullSqlIsRefusedWithoutACall) {
    jbyteArray ec = errorCode(0, 0);
    jint stmt = c_.newStatement();
    JC(prepare, stmt, nullptr, ec);
    EXPECT_EQ(at(ec, 0), -1);
    EXPECT_EQ(at(ec, 1), -97);
    EXPECT_EQ(JC(execDirect, stmt, nullptr), 255);
    JC(freeStmt, stmt, SQL_DROP);
}

INSTANTIATE_TEST_SUITE_P(DataSources, ExecuteTest, qvt::AllSources, qvt::sourceName);

}  // namespace
