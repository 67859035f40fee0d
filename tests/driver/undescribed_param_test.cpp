// libruva70 on PostgreSQL with parameters the server cannot describe: the
// stand-in description, option 3031, the direct execution with casts around
// untyped markers, and option 3059 (output parameters that take input).
#include "driver_fixture.h"

#include <cstring>
#include <memory>

using namespace qvt;

namespace {

class UndescribedOnPostgres : public ::testing::Test {
protected:
    void SetUp() override {
        c = std::make_unique<Connection>(pgConnStr());
        s = c->stmt();
    }
    void TearDown() override { ruva70_SQLFreeStmt(s, SQL_DROP); }

    void prepare(const char* sql) {
        ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)sql, SQL_NTS), SQL_SUCCESS) << describe(stmtRecords(s));
    }
    uint64_t option(SQLUSMALLINT o) {
        uint64_t cell = 0;
        EXPECT_EQ(ruva70_SQLGetStmtOption(s, o, &cell), SQL_SUCCESS);
        return cell;
    }
    // The first column of the first row of the execution, as text.
    std::string run() {
        SQLRETURN rc = ruva70_SQLExecute(s);
        EXPECT_TRUE(SQL_SUCCEEDED(rc)) << describe(stmtRecords(s));
        std::string out = "<none>";
        if (SQL_SUCCEEDED(rc) && SQL_SUCCEEDED(ruva70_SQLFetch(s))) {
            char buf[128] = {};
            SQLLEN ind = 0;
            ruva70_SQLGetData(s, 1, SQL_C_CHAR, buf, sizeof buf, &ind);
            out = ind == SQL_NULL_DATA ? "NULL" : buf;
        }
        ruva70_SQLFreeStmt(s, SQL_CLOSE);
        return out;
    }
    std::unique_ptr<Connection> c;
    SQLHSTMT s = SQL_NULL_HSTMT;
};

}  // namespace

TEST_F(UndescribedOnPostgres, StandInsRunDirectlyWithTheTypesOfTheirBindings) {
    prepare("SELECT ? + ?");
    SQLSMALLINT type = 0, scale = 7, nullable = 7;
    SQLULEN size = 99;
    ASSERT_EQ(ruva70_SQLDescribeParam(s, 1, &type, &size, &scale, &nullable), SQL_SUCCESS);
    EXPECT_EQ(type, SQL_VARCHAR);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(scale, 0);
    EXPECT_EQ(nullable, SQL_NULLABLE_UNKNOWN);
    EXPECT_TRUE(stmtRecords(s).empty()) << "the failed parse leaves no record";
    ASSERT_EQ(ruva70_SQLDescribeParam(s, 2, &type, &size, &scale, &nullable), SQL_SUCCESS);
    EXPECT_EQ(option(RUVA70_STMT_TYPE_FROM_VALUE), 1u);

    SQLINTEGER a = 20, b = 22;
    SQLLEN ia = 4, ib = 4;
    ASSERT_EQ(ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &a, 4, &ia),
              SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &b, 4, &ib),
              SQL_SUCCESS);
    EXPECT_EQ(run(), "42");
    double x = 0.5, y = 0.25;
    SQLLEN ix = 8, iy = 8;
    ASSERT_EQ(ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &x, 8, &ix),
              SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_FLOAT, 0, 0, &y, 8, &iy), SQL_SUCCESS);
    EXPECT_EQ(run(), "0.75") << "double inputs go as float8";

    // A describable text ends it: the driver's own description again (psqlODBC
    // describes a parameter still bound by its binding, so the bindings go first).
    ASSERT_EQ(ruva70_SQLFreeStmt(s, SQL_RESET_PARAMS), SQL_SUCCESS);
    prepare("SELECT CAST(? AS integer)");
    size = 0;
    ASSERT_EQ(ruva70_SQLDescribeParam(s, 1, &type, &size, &scale, &nullable), SQL_SUCCESS);
    EXPECT_EQ(type, SQL_INTEGER);
    EXPECT_NE(size, 0u);
    EXPECT_EQ(option(RUVA70_STMT_TYPE_FROM_VALUE), 0u);
}

TEST_F(UndescribedOnPostgres, OnlyMarkersOutsideLiteralsCommentsAndQuotesGetCasts) {
    prepare(
        "SELECT '?' || ? /* ? 'x */ || E'\\'?' || $q$?$q$ || \"?c\", ? IS NULL -- ?\n FROM (SELECT 1 AS \"?c\") t");
    SQLSMALLINT type = 0, scale = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(ruva70_SQLDescribeParam(s, 1, &type, &size, &scale, &nullable), SQL_SUCCESS);
    ASSERT_EQ(option(RUVA70_STMT_TYPE_FROM_VALUE), 1u);
    char v[] = "v";
    SQLLEN iv = SQL_NTS, inull = SQL_NULL_DATA;
    ASSERT_EQ(ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0, v, 2, &iv), SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0, v, 2, &inull),
              SQL_SUCCESS);
    EXPECT_EQ(run(), "?v'??1");
}

TEST_F(UndescribedOnPostgres, ADescribeFailureOfAnotherClassIsPassedOn) {
    // A text the server parses but whose parameter count is wrong for psqlODBC: no class-42 state.
    prepare("SELECT 1");
    SQLSMALLINT type = 0, scale = 0, nullable = 0;
    SQLULEN size = 0;
    EXPECT_EQ(ruva70_SQLDescribeParam(s, 1, &type, &size, &scale, &nullable), SQL_ERROR);
    auto rs = stmtRecords(s);
    ASSERT_FALSE(rs.empty());
    EXPECT_NE(rs[0].state.substr(0, 2), "42") << describe(rs);
    EXPECT_EQ(option(RUVA70_STMT_TYPE_FROM_VALUE), 0u);
}

TEST_F(UndescribedOnPostgres, OutputParametersTakeInputWhileOption3059IsOne) {
    exec(s,
         "CREATE OR REPLACE FUNCTION ruva_doubled(INOUT p integer)"
         " AS $$ BEGIN p := coalesce(p * 2, -1); END $$ LANGUAGE plpgsql");
    EXPECT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_OUTPUT_INPUT, 2), SQL_ERROR);
    EXPECT_EQ(option(RUVA70_STMT_OUTPUT_INPUT), 0u);
    for (int on : {0, 1}) {
        prepare("{call ruva_doubled(?)}");
        char buf[16] = "21";
        SQLLEN len = 2;
        ASSERT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_OUTPUT_INPUT, on), SQL_SUCCESS);
        ASSERT_EQ(
            ruva70_SQLBindParameter(s, 1, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_INTEGER, 15, 0, buf, sizeof buf, &len),
            SQL_SUCCESS);
        ASSERT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_OUTPUT_INPUT, 0), SQL_SUCCESS);
        SQLRETURN rc = ruva70_SQLExecute(s);
        ruva70_SQLFreeStmt(s, SQL_CLOSE);
        if (on) {
            EXPECT_TRUE(SQL_SUCCEEDED(rc)) << describe(stmtRecords(s));
            EXPECT_STREQ(buf, "42");
        } else {
            // An output-only parameter is left out of the call: no such function.
            EXPECT_EQ(rc, SQL_ERROR);
        }
    }
    exec(s, "DROP FUNCTION ruva_doubled(integer)");
}
