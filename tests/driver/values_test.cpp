// libruva70's description of result columns and its reading of numbers, on
// the two data sources: every column described as a type the native library
// binds, at a size that holds its values, and numbers that arrive whole or
// with a clear SQLSTATE (22003, 22005, 01S07) where the drivers themselves
// cut them without a word.
#include "driver_fixture.h"

#include <cstring>
#include <memory>

using namespace qvt;

namespace {

struct Description {
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT scale = 0;
};

Description describeColumn(SQLHSTMT s, SQLUSMALLINT col) {
    Description d;
    SQLSMALLINT nullable = 0;
    EXPECT_EQ(ruva70_SQLDescribeCol(s, col, nullptr, 0, nullptr, &d.type, &d.size, &d.scale, &nullable), SQL_SUCCESS)
        << describe(stmtRecords(s));
    return d;
}

SQLLEN attribute(SQLHSTMT s, SQLUSMALLINT col, SQLUSMALLINT which) {
    SQLLEN v = -12345;
    EXPECT_EQ(ruva70_SQLColAttributes(s, col, which, nullptr, 0, nullptr, &v), SQL_SUCCESS)
        << describe(stmtRecords(s));
    return v;
}

std::string typeName(SQLHSTMT s, SQLUSMALLINT col) {
    char name[64] = {};
    SQLSMALLINT len = 0;
    SQLLEN unused = 0;
    ruva70_SQLColAttributes(s, col, SQL_COLUMN_TYPE_NAME, name, sizeof name, &len, &unused);
    return name;
}

class Values : public ::testing::TestWithParam<bool> {
protected:
    bool pg() const { return GetParam(); }
    void SetUp() override {
        c = std::make_unique<Connection>(pg() ? pgConnStr() : sqliteConnStr());
        s = c->stmt();
    }
    void TearDown() override { ruva70_SQLFreeStmt(s, SQL_DROP); }
    void open(const std::string& sql) {
        ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS)))
            << sql << "\n"
            << describe(stmtRecords(s));
    }
    void close() { ruva70_SQLFreeStmt(s, SQL_CLOSE); }
    // One SQLGetData of column `col` as cType into an 8-byte cell; the result,
    // the cell and the SQLSTATE of the first record.
    struct Read {
        SQLRETURN rc;
        int64_t cell;
        SQLLEN ind;
        std::string state;
    };
    Read read(SQLUSMALLINT col, SQLSMALLINT cType) {
        Read r{};
        r.rc = ruva70_SQLGetData(s, col, cType, &r.cell, sizeof r.cell, &r.ind);
        auto recs = stmtRecords(s);
        if (!recs.empty()) r.state = recs.front().state;
        return r;
    }
    std::unique_ptr<Connection> c;
    SQLHSTMT s = SQL_NULL_HSTMT;
};

INSTANTIATE_TEST_SUITE_P(Sqlite, Values, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(Postgres, Values, ::testing::Values(true));

TEST_P(Values, LargeIntegersIntoNarrowTypesAreOutOfRange) {
    open(pg() ? "SELECT 470414411239::bigint, 100000, -2147483648::bigint"
              : "SELECT 470414411239, 100000, -2147483648");
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    Read r = read(1, SQL_C_SLONG);
    EXPECT_EQ(r.rc, SQL_ERROR) << "the drivers cut this to -2031991321";
    EXPECT_EQ(r.state, "22003");
    r = read(1, SQL_C_SBIGINT);
    EXPECT_EQ(r.rc, SQL_SUCCESS) << "the same column read again, wide enough";
    EXPECT_EQ(r.cell, 470414411239LL);
    EXPECT_EQ(r.ind, 8);
    r = read(2, SQL_C_SSHORT);
    EXPECT_EQ(r.rc, SQL_ERROR);
    EXPECT_EQ(r.state, "22003");
    r = read(3, SQL_C_SLONG);
    EXPECT_EQ(r.rc, SQL_SUCCESS);
    EXPECT_EQ(static_cast<int32_t>(r.cell), INT32_MIN);
    close();
}

TEST_P(Values, BoundNarrowColumnFailsTheFetchInsteadOfCutting) {
    open(pg() ? "SELECT x::bigint FROM (VALUES (7), (470414411239), (8)) v(x)"
              : "SELECT x FROM (SELECT 7 AS x UNION ALL SELECT 470414411239 UNION ALL SELECT 8)");
    int32_t v = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(ruva70_SQLBindCol(s, 1, SQL_C_SLONG, &v, 4, &ind), SQL_SUCCESS);
    EXPECT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(ind, 4);
    v = 99;
    EXPECT_EQ(ruva70_SQLFetch(s), SQL_ERROR);
    auto recs = stmtRecords(s);
    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(recs.front().state, "22003");
    EXPECT_EQ(v, 99) << "nothing written for the column";
    EXPECT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS) << "the next row reads as usual";
    EXPECT_EQ(v, 8);
    close();
}

TEST_P(Values, FractionsAndTextThatIsNoNumber) {
    open(pg() ? "SELECT 3.7::numeric, 'abc'::text, 1e300::float8, -0.5::float8" : "SELECT 3.7, 'abc', 1e300, -0.5");
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    Read r = read(1, SQL_C_SLONG);
    EXPECT_EQ(r.rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(r.state, "01S07");
    EXPECT_EQ(static_cast<int32_t>(r.cell), 3);
    r = read(2, SQL_C_SBIGINT);
    EXPECT_EQ(r.rc, SQL_ERROR) << "SQLite read this as NULL, psqlODBC as 0";
    EXPECT_EQ(r.state, "22005");
    r = read(3, SQL_C_SBIGINT);
    EXPECT_EQ(r.rc, SQL_ERROR) << "both drivers read this as 1";
    EXPECT_EQ(r.state, "22003");
    r = read(4, SQL_C_FLOAT);
    EXPECT_EQ(r.rc, SQL_SUCCESS);
    float f;
    std::memcpy(&f, &r.cell, 4);
    EXPECT_EQ(f, -0.5f);
    close();
}

TEST_P(Values, NullsStayNullThroughTheConversion) {
    open("SELECT NULL, 5");
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    Read r = read(1, SQL_C_SLONG);
    EXPECT_EQ(r.rc, SQL_SUCCESS);
    EXPECT_EQ(r.ind, SQL_NULL_DATA);
    r = read(2, SQL_C_DOUBLE);
    EXPECT_EQ(r.rc, SQL_SUCCESS);
    double d;
    std::memcpy(&d, &r.cell, 8);
    EXPECT_EQ(d, 5.0);
    close();
}

TEST_P(Values, LongColumnNamesDescribeWithoutWarning) {
    const std::string label(63, 'n');
    open("SELECT 1 AS " + label);
    EXPECT_EQ(ruva70_SQLDescribeCol(s, 1, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr), SQL_SUCCESS)
        << "no name buffer, no truncation";
    SQLCHAR name[128];
    SQLSMALLINT len = 0;
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    EXPECT_EQ(ruva70_SQLDescribeCol(s, 1, name, sizeof name, &len, &type, &size, nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(len, 63);
    close();
}

// SQLite: integers are 64-bit whatever a column declares, and every blob
// is reported with the driver's own 255 bytes.
class SqliteValues : public Values {};
INSTANTIATE_TEST_SUITE_P(Sqlite, SqliteValues, ::testing::Values(false));

// Integer columns are described as declared and marked as possibly wider
// (the driver type under option 3057); expressions are SQL_BIGINT. Every
// value arrives whole 64 bits wide, and a narrower read of a wider value is
// 22003, never a cut value.
TEST_P(SqliteValues, IntegerColumnsAsDeclaredExpressionsBigintValuesWhole) {
    exec(s, "CREATE TABLE t (i integer, s smallint, b boolean, r real, x text)");
    exec(s, "INSERT INTO t VALUES (470414411239, 100000, 2, 0.5, 'x')");
    open("SELECT i, s, b, sum(i), i * 2, r, x FROM t");
    struct Shown {
        SQLSMALLINT type;
        SQLULEN size;
        SQLLEN display, length;
    };
    const Shown shown[] = {{SQL_INTEGER, 10, 11, 4},
                           {SQL_SMALLINT, 5, 6, 2},
                           {SQL_TINYINT, 1, 1, 1},
                           {SQL_BIGINT, 19, 20, 8},
                           {SQL_BIGINT, 19, 20, 8}};
    for (SQLUSMALLINT col = 1; col <= 5; ++col) {
        const Shown& w = shown[col - 1];
        const Description d = describeColumn(s, col);
        EXPECT_EQ(d.type, w.type) << "column " << col;
        EXPECT_EQ(d.size, w.size) << "column " << col;
        EXPECT_EQ(attribute(s, col, SQL_COLUMN_TYPE), w.type) << "column " << col;
        EXPECT_EQ(attribute(s, col, SQL_COLUMN_DISPLAY_SIZE), w.display) << "column " << col;
        EXPECT_EQ(attribute(s, col, SQL_COLUMN_LENGTH), w.length) << "column " << col;
    }
    ASSERT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_DRIVER_TYPES, 1), SQL_SUCCESS);
    for (SQLUSMALLINT col : {1, 2, 3})
        EXPECT_EQ(describeColumn(s, col).type, RUVA70_TYPE_WIDE_INTEGER) << "column " << col;
    for (SQLUSMALLINT col : {4, 5}) EXPECT_EQ(describeColumn(s, col).type, SQL_BIGINT) << "column " << col;
    ASSERT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_DRIVER_TYPES, 0), SQL_SUCCESS);
    EXPECT_EQ(describeColumn(s, 6).type, SQL_DOUBLE);
    EXPECT_EQ(describeColumn(s, 7).type, SQL_LONGVARCHAR);
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    for (SQLUSMALLINT col : {1, 4}) {
        Read r = read(col, SQL_C_SBIGINT);
        EXPECT_EQ(r.cell, 470414411239LL) << "column " << col;
    }
    EXPECT_EQ(read(5, SQL_C_SBIGINT).cell, 940828822478LL);
    EXPECT_EQ(read(3, SQL_C_SBIGINT).cell, 2) << "a boolean column holds any integer";
    const Read narrow = read(2, SQL_C_SSHORT);
    EXPECT_EQ(narrow.rc, SQL_ERROR);
    EXPECT_EQ(narrow.state, "22003") << "100000 is no short";
    EXPECT_EQ(read(2, SQL_C_SBIGINT).cell, 100000) << "read again as wide as it is";
    close();
    exec(s, "DROP TABLE t");
}

// PostgreSQL: types outside the binding table, and sizes psqlODBC reports
// too small for the values.
class PostgresValues : public Values {};
INSTANTIATE_TEST_SUITE_P(Postgres, PostgresValues, ::testing::Values(true));

TEST_P(PostgresValues, TypesOutsideTheBindingTableAreText) {
    open(
        "SELECT 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'::uuid, 12.34::money, '{\"a\":1}'::json, "
        "'{\"a\":1}'::jsonb, interval '1 day', '{1,2}'::int[], '<a/>'::xml, '10.0.0.1'::inet, true, "
        "'x'::varchar(3), 'y'::text");
    struct Expected {
        SQLSMALLINT type;
        SQLULEN size;
    };
    const Expected expected[] = {
        {SQL_VARCHAR, 36},   {SQL_VARCHAR, 64},   {SQL_VARCHAR, 8190},     {SQL_VARCHAR, 8190},
        {SQL_VARCHAR, 8190}, {SQL_VARCHAR, 8190}, {SQL_LONGVARCHAR, 8190}, {SQL_VARCHAR, 50},
        {SQL_VARCHAR, 5},    {SQL_VARCHAR, 3},    {SQL_LONGVARCHAR, 8190},
    };
    for (SQLUSMALLINT col = 1; col <= std::size(expected); ++col) {
        const Description d = describeColumn(s, col);
        EXPECT_EQ(d.type, expected[col - 1].type) << "column " << col << " " << typeName(s, col);
        EXPECT_EQ(d.size, expected[col - 1].size) << "column " << col << " " << typeName(s, col);
        EXPECT_EQ(attribute(s, col, SQL_COLUMN_TYPE), d.type) << "column " << col;
        EXPECT_GE(attribute(s, col, SQL_COLUMN_DISPLAY_SIZE), static_cast<SQLLEN>(std::min<SQLULEN>(d.size, 50)));
    }
    EXPECT_EQ(typeName(s, 1), "uuid") << "the data source's own name stays";
    EXPECT_EQ(typeName(s, 2), "money");
    ASSERT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_DRIVER_TYPES, 1), SQL_SUCCESS);
    EXPECT_EQ(describeColumn(s, 1).type, SQL_VARCHAR) << "the driver codes agree";
    ASSERT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_DRIVER_TYPES, 0), SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    char text[64] = {};
    SQLLEN ind = 0;
    ASSERT_EQ(ruva70_SQLGetData(s, 2, SQL_C_CHAR, text, sizeof text, &ind), SQL_SUCCESS);
    EXPECT_STREQ(text, "$12.34");
    double money = 0;
    EXPECT_EQ(ruva70_SQLGetData(s, 2, SQL_C_DOUBLE, &money, 8, &ind), SQL_NO_DATA_FOUND)
        << "read once already, as psqlODBC answers";
    close();
}

TEST_P(PostgresValues, DecimalsReportTheirScaleAndLongestText) {
    open("SELECT (-0.5)::numeric(5,5), 99000::numeric(2,-3), (-1)::numeric(10,2), 1.5::numeric");
    Description d = describeColumn(s, 1);
    EXPECT_EQ(d.size, 5u);
    EXPECT_EQ(d.scale, 5);
    EXPECT_EQ(attribute(s, 1, SQL_COLUMN_DISPLAY_SIZE), 8) << "-0.50000";
    d = describeColumn(s, 2);
    EXPECT_EQ(d.scale, -3) << "psqlODBC says 2045";
    EXPECT_EQ(attribute(s, 2, SQL_COLUMN_SCALE), -3);
    EXPECT_EQ(attribute(s, 2, SQL_COLUMN_DISPLAY_SIZE), 6) << "-99000";
    EXPECT_EQ(attribute(s, 2, SQL_COLUMN_LENGTH), 6);
    EXPECT_EQ(attribute(s, 3, SQL_COLUMN_DISPLAY_SIZE), 12) << "-99999999.99";
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    char text[16] = {};
    SQLLEN ind = 0;
    ASSERT_EQ(ruva70_SQLGetData(s, 1, SQL_C_CHAR, text, 9, &ind), SQL_SUCCESS) << "fits the display size";
    EXPECT_STREQ(text, "-0.50000");
    close();
}

// psqlODBC renders an infinite timestamp as the last second of year 9999
// (-infinity as the first of 9999 BC): read back, they cannot be told from
// those values. An infinite date it renders as 0000-00-00 and, read as a
// date structure, as the current day; a date before Christ without its era.
// Written in the driver's 8-byte form, INT64_MAX reaches the server as
// infinity.
TEST_P(PostgresValues, InfiniteAndFarTimestampsReadAsPsqlodbcRendersThem) {
    open("SELECT 'infinity'::timestamptz, '-infinity'::timestamptz, 'infinity'::date");
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    int64_t v = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(ruva70_SQLGetData(s, 1, SQL_C_BINARY, &v, 8, &ind), SQL_SUCCESS) << describe(stmtRecords(s));
    EXPECT_EQ(v, 253402300799000000LL) << "9999-12-31 23:59:59 UTC, not INT64_MAX";
    ASSERT_EQ(ruva70_SQLGetData(s, 2, SQL_C_BINARY, &v, 8, &ind), SQL_SUCCESS) << describe(stmtRecords(s));
    EXPECT_LT(v, -377000000000000000LL) << "about 9999 BC";
    EXPECT_NE(v, INT64_MIN);
    DATE_STRUCT d{1, 1, 1};
    EXPECT_TRUE(SQL_SUCCEEDED(ruva70_SQLGetData(s, 3, SQL_C_DATE, &d, sizeof d, &ind)));
    EXPECT_GE(d.year, 2026) << "the current day, not a date of its own";
    close();
    // psqlODBC drops the era of a date before Christ, and the digits of a
    // year beyond 9999 (its text of them is 0044-03-15 and 5874-00-00).
    open("SELECT '0044-03-15 BC'::date, '5874897-12-31'::date");
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    EXPECT_TRUE(SQL_SUCCEEDED(ruva70_SQLGetData(s, 1, SQL_C_DATE, &d, sizeof d, &ind)));
    EXPECT_EQ(d.year, 44) << "44 BC reads as 44 AD";
    EXPECT_TRUE(SQL_SUCCEEDED(ruva70_SQLGetData(s, 2, SQL_C_DATE, &d, sizeof d, &ind)));
    EXPECT_NE(d.year, static_cast<SQLSMALLINT>(5874897 % 65536));
    close();
    int64_t infinity = INT64_MAX;
    SQLLEN len = 8;
    ASSERT_TRUE(SQL_SUCCEEDED(
        ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_TIMESTAMP, 26, 0, &infinity, 8, &len)));
    EXPECT_EQ(queryText(s, "SELECT CASE WHEN ?::timestamptz = 'infinity' THEN 'yes' ELSE 'no' END"), "yes");
    ruva70_SQLFreeStmt(s, SQL_RESET_PARAMS);
}

}  // namespace
