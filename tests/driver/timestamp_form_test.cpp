// The driver's 8-byte timestamp form on the data sources: timestamptz (on
// SQLite: timestamp) columns read into 8 bytes of SQL_C_BINARY, bound or with
// SQLGetData, and parameters bound as 8 bytes with SQL type SQL_TIMESTAMP,
// one row or a parameter array. Values are microseconds since 1970 UTC.
#include "driver_fixture.h"

#include <cstring>
#include <memory>

using namespace qvt;

namespace {

constexpr int64_t kUs = 1000000;

// Both sides of 1970, fractions, the ends of what four-digit years hold, and
// on PostgreSQL a year before 1 AD.
std::vector<int64_t> sampleValues(bool pg) {
    std::vector<int64_t> v = {0,
                              1,
                              -1,
                              -999999,
                              -1000001,
                              1718000000123456,     // 2024-06-10 06:13:20.123456
                              -1234567890123457,    // 1930-11-18
                              951782400 * kUs,      // 2000-02-29 00:00:00
                              -62135596800 * kUs,   // 0001-01-01 00:00:00
                              253402300799999999};  // 9999-12-31 23:59:59.999999
    if (pg) v.push_back(-62198755200 * kUs - 1);    // 0003-12-31 23:59:59.999999 BC
    return v;
}

class TimestampFormOn : public ::testing::TestWithParam<bool> {
protected:
    bool pg() const { return GetParam(); }
    void SetUp() override {
        c = std::make_unique<Connection>(pg() ? pgConnStr() : sqliteConnStr());
        s = c->stmt();
        exec(s, "DROP TABLE IF EXISTS f");
        exec(s, pg() ? "CREATE TABLE f (id integer, v timestamptz, w timestamp)"
                     : "CREATE TABLE f (id integer, v TIMESTAMP, w TIMESTAMP)");
    }
    // Inserts the values through 8-byte parameters, one execution each
    // (value written after binding), a null last.
    void insertOneByOne(const std::vector<int64_t>& values) {
        ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)"INSERT INTO f (id, v) VALUES (?, ?)", SQL_NTS), SQL_SUCCESS);
        SQLINTEGER id = 0;
        unsigned char bytes[8];
        SQLLEN idInd = 4, ind = 8;
        ASSERT_EQ(ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 4, &idInd),
                  SQL_SUCCESS);
        ASSERT_EQ(ruva70_SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_TIMESTAMP, 26, 6, bytes, 8, &ind),
                  SQL_SUCCESS);
        for (size_t i = 0; i <= values.size(); ++i) {
            id = static_cast<SQLINTEGER>(i);
            if (i < values.size()) {
                std::memcpy(bytes, &values[i], 8);
                ind = 8;
            } else {
                ind = SQL_NULL_DATA;
            }
            ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecute(s))) << values[i] << "\n" << describe(stmtRecords(s));
        }
        ruva70_SQLFreeStmt(s, SQL_RESET_PARAMS);
    }
    // Reads column v in id order: through SQLBindCol, or SQLGetData.
    std::vector<std::pair<int64_t, SQLLEN>> readBack(bool bound) {
        std::vector<std::pair<int64_t, SQLLEN>> out;
        EXPECT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT v FROM f ORDER BY id", SQL_NTS)));
        int64_t cell = 0;
        SQLLEN ind = 0;
        if (bound) {
            EXPECT_EQ(ruva70_SQLBindCol(s, 1, SQL_C_BINARY, &cell, 8, &ind), SQL_SUCCESS);
        }
        for (;;) {
            cell = 0x5555555555555555;
            ind = 12345;
            SQLRETURN rc = ruva70_SQLFetch(s);
            if (rc == SQL_NO_DATA_FOUND) break;
            EXPECT_EQ(rc, SQL_SUCCESS) << describe(stmtRecords(s));
            if (rc != SQL_SUCCESS) break;
            if (!bound) {
                EXPECT_EQ(ruva70_SQLGetData(s, 1, SQL_C_BINARY, &cell, 8, &ind), SQL_SUCCESS)
                    << describe(stmtRecords(s));
            }
            out.emplace_back(cell, ind);
        }
        ruva70_SQLFreeStmt(s, SQL_UNBIND);
        ruva70_SQLFreeStmt(s, SQL_CLOSE);
        return out;
    }
    std::unique_ptr<Connection> c;
    SQLHSTMT s = SQL_NULL_HSTMT;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Sqlite, TimestampFormOn, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(Postgres, TimestampFormOn, ::testing::Values(true));

TEST_P(TimestampFormOn, ParametersAndColumnsRoundTripToTheMicrosecond) {
    auto values = sampleValues(pg());
    insertOneByOne(values);
    for (bool bound : {true, false}) {
        auto got = readBack(bound);
        ASSERT_EQ(got.size(), values.size() + 1) << (bound ? "bound" : "SQLGetData");
        for (size_t i = 0; i < values.size(); ++i) {
            EXPECT_EQ(got[i].first, values[i]) << (bound ? "bound, row " : "SQLGetData, row ") << i;
            EXPECT_EQ(got[i].second, 8);
        }
        EXPECT_EQ(got.back().second, SQL_NULL_DATA) << "a null keeps its indicator";
    }
}

// Round trips alone would pass a conversion wrong in both directions: the
// data source's own reading of the values is checked too.
TEST_P(TimestampFormOn, ValuesMeanMicrosecondsSince1970Utc) {
    if (pg()) {
        exec(s,
             "INSERT INTO f (id, v) VALUES (0, '1969-12-31 23:59:59.999999+00'), "
             "(1, '2024-01-02 03:04:05.123456+01'), (2, '1960-01-02 03:04:05-05:30')");
    } else {
        exec(s,
             "INSERT INTO f (id, v) VALUES (0, '1969-12-31 23:59:59.999999'), "
             "(1, '2024-01-02 03:04:05.123456+01'), (2, '1960-01-02T03:04:05-05:30')");
    }
    auto got = readBack(true);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].first, -1);
    EXPECT_EQ(got[1].first, 1704161045123456);  // 2024-01-02 02:04:05.123456 UTC
    EXPECT_EQ(got[2].first, -315501955 * kUs);  // 1960-01-02 08:34:05 UTC
    exec(s, "DELETE FROM f");
    insertOneByOne({1, -1});
    if (pg()) {
        EXPECT_EQ(
            queryText(s, "SELECT to_char(v AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS.US') FROM f WHERE id = 1"),
            "1969-12-31 23:59:59.999999");
        EXPECT_EQ(queryText(s, "SELECT (extract(epoch FROM v) * 1000000)::bigint FROM f WHERE id = 0"), "1");
    } else {
        EXPECT_EQ(queryText(s, "SELECT v FROM f WHERE id = 1"), "1969-12-31 23:59:59.999999");
    }
}

TEST_P(TimestampFormOn, ParameterArraysAreConvertedRowByRow) {
    constexpr SQLULEN kRows = 4;
    SQLINTEGER ids[kRows] = {10, 11, 12, 13};
    int64_t values[kRows] = {-2, 86400 * kUs, 0, 1500000000654321};
    SQLLEN inds[kRows] = {8, 8, SQL_NULL_DATA, 8};
    SQLULEN processed = 0;
    ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)"INSERT INTO f (id, v) VALUES (?, ?)", SQL_NTS), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLParamOptions(s, kRows, &processed)));
    ASSERT_EQ(ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 4, nullptr),
              SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_TIMESTAMP, 26, 6, values, 8, inds),
              SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecute(s))) << describe(stmtRecords(s));
    EXPECT_EQ(processed, kRows);
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLParamOptions(s, 1, nullptr)));
    ruva70_SQLFreeStmt(s, SQL_RESET_PARAMS);
    auto got = readBack(true);
    ASSERT_EQ(got.size(), kRows);
    for (size_t i = 0; i < kRows; ++i) {
        if (inds[i] == SQL_NULL_DATA) {
            EXPECT_EQ(got[i].second, SQL_NULL_DATA) << i;
        } else {
            EXPECT_EQ(got[i].first, values[i]) << i;
        }
    }
}

// Data at execution: SQLParamData gives back the application's own pointer
// and SQLPutData takes the 8-byte form.
TEST_P(TimestampFormOn, ParameterSentAtExecutionIsConverted) {
    ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)"INSERT INTO f (id, v) VALUES (1, ?)", SQL_NTS), SQL_SUCCESS);
    int64_t token = 0;
    SQLLEN ind = SQL_LEN_DATA_AT_EXEC(8);
    ASSERT_EQ(ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_TIMESTAMP, 26, 6, &token, 8, &ind),
              SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLExecute(s), SQL_NEED_DATA) << describe(stmtRecords(s));
    SQLPOINTER asked = nullptr;
    ASSERT_EQ(ruva70_SQLParamData(s, &asked), SQL_NEED_DATA);
    EXPECT_EQ(asked, &token);
    const int64_t value = -86400 * kUs + 123;  // 1969-12-31 00:00:00.000123
    EXPECT_EQ(ruva70_SQLPutData(s, const_cast<int64_t*>(&value), 4), SQL_ERROR) << "the 8 bytes come in one piece";
    EXPECT_EQ(stmtRecords(s).at(0).state, "S1090");
    ASSERT_EQ(ruva70_SQLPutData(s, const_cast<int64_t*>(&value), 8), SQL_SUCCESS) << describe(stmtRecords(s));
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLParamData(s, &asked))) << describe(stmtRecords(s));
    ruva70_SQLFreeStmt(s, SQL_RESET_PARAMS);
    auto got = readBack(true);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].first, value);
}

// A column bound between two fetches of the same result set receives the
// form from the next fetch on.
TEST_P(TimestampFormOn, BindingBetweenFetchesIsConvertedToo) {
    insertOneByOne({-5, 5});
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT v FROM f ORDER BY id", SQL_NTS)));
    int64_t first = 0, second = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLGetData(s, 1, SQL_C_BINARY, &first, 8, &ind), SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLBindCol(s, 1, SQL_C_BINARY, &second, 8, &ind), SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS) << describe(stmtRecords(s));
    EXPECT_EQ(first, -5);
    EXPECT_EQ(second, 5);
    EXPECT_EQ(ind, 8);
    ruva70_SQLFreeStmt(s, SQL_UNBIND);
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
}

// Only 8-byte binary reads of timestamp columns change: the text of the
// column and other binary lengths reach the caller as the data source gives
// them.
TEST_P(TimestampFormOn, OtherReadsOfTheColumnAreUnchanged) {
    exec(s, "INSERT INTO f (id, v, w) VALUES (1, '2001-02-03 04:05:06+00', '2001-02-03 04:05:06')");
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT w, id FROM f", SQL_NTS)));
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    char text[40] = {};
    SQLLEN ind = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLGetData(s, 1, SQL_C_CHAR, text, sizeof text, &ind)));
    EXPECT_STREQ(text, "2001-02-03 04:05:06");
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
    // An 8-byte binding decided for a timestamp result is decided again for
    // the next result, whose first column is binary.
    unsigned char cell[8] = {};
    SQLLEN cellInd = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT v FROM f", SQL_NTS)));
    ASSERT_EQ(ruva70_SQLBindCol(s, 1, SQL_C_BINARY, cell, 8, &cellInd), SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS) << describe(stmtRecords(s));
    int64_t micros;
    std::memcpy(&micros, cell, 8);
    EXPECT_EQ(micros, 981173106 * kUs);
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
    const char* bytes = pg() ? "SELECT '\\x0102030405060708'::bytea" : "SELECT x'0102030405060708'";
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)bytes, SQL_NTS))) << describe(stmtRecords(s));
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS) << describe(stmtRecords(s));
    const unsigned char expected[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(std::memcmp(cell, expected, 8), 0);
    EXPECT_EQ(cellInd, 8);
    ruva70_SQLFreeStmt(s, SQL_UNBIND);
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
}

// PostgreSQL hands timestamptz over as text in the session's zone without
// the offset, which is ambiguous when clocks go back: a session moved off
// UTC is refused, not read wrong. Parameters carry their own offset and are
// exact in any session zone.
class TimestampFormOnPostgres : public TimestampFormOn {};

TEST_P(TimestampFormOnPostgres, SessionMovedOffUtcIsRefusedNotMisread) {
    exec(s, "SET TimeZone = 'America/New_York'");
    insertOneByOne({1730611800 * kUs, -1});  // 2024-11-03 05:30 UTC: 01:30 in New York, twice that night
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT v FROM f", SQL_NTS)));
    int64_t cell = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(ruva70_SQLBindCol(s, 1, SQL_C_BINARY, &cell, 8, &ind), SQL_SUCCESS);
    EXPECT_EQ(ruva70_SQLFetch(s), SQL_ERROR);
    auto rs = stmtRecords(s);
    ASSERT_EQ(rs.size(), 1u) << describe(rs);
    EXPECT_NE(rs[0].message.find("America/New_York"), std::string::npos) << rs[0].message;
    ruva70_SQLFreeStmt(s, SQL_UNBIND);
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
    exec(s, "SET TimeZone = 'UTC'");
    auto got = readBack(false);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].first, 1730611800 * kUs);
    EXPECT_EQ(got[1].first, -1);
}

INSTANTIATE_TEST_SUITE_P(Postgres, TimestampFormOnPostgres, ::testing::Values(true));

// Text typed as a timestamp reaches PostgreSQL as the parameter's own type:
// the offset counts for timestamptz and not for timestamp; a time keeps its
// fraction of a second. Read back, a time column describes as
// text (-392) when driver types are asked for.
TEST_P(TimestampFormOnPostgres, TimestampAndTimeTextKeepTheirOffsetAndFraction) {
    exec(s, "DROP TABLE IF EXISTS t6");
    exec(s, "CREATE TABLE t6 (v timestamptz, w timestamp, t time(6))");
    ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)"INSERT INTO t6 VALUES (?, ?, ?)", SQL_NTS), SQL_SUCCESS);
    char stamp[] = "2026-03-01 13:45:56.789000+01:00";
    char time[] = "13:45:56.789123";
    SQLLEN stampInd = SQL_NTS, timeInd = SQL_NTS;
    for (SQLUSMALLINT p = 1; p <= 2; ++p)
        ASSERT_EQ(ruva70_SQLBindParameter(s, p, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TIMESTAMP, 26, 6, stamp,
                                          sizeof stamp, &stampInd),
                  SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLBindParameter(s, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TIME, 8, 0, time, sizeof time, &timeInd),
              SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecute(s))) << describe(stmtRecords(s));
    ruva70_SQLFreeStmt(s, SQL_RESET_PARAMS);
    EXPECT_EQ(queryText(s,
                        "SELECT to_char(v AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS.US') || ' ' ||"
                        " to_char(w, 'YYYY-MM-DD HH24:MI:SS.US') || ' ' || to_char(t, 'HH24:MI:SS.US') FROM t6"),
              "2026-03-01 12:45:56.789000 2026-03-01 13:45:56.789000 13:45:56.789123");

    ASSERT_EQ(ruva70_SQLSetStmtOption(s, RUVA70_STMT_DRIVER_TYPES, 1), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT t FROM t6", SQL_NTS)));
    SQLSMALLINT type = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLDescribeCol(s, 1, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr)));
    EXPECT_EQ(type, RUVA70_TYPE_TIME_TEXT);
    ruva70_SQLSetStmtOption(s, RUVA70_STMT_DRIVER_TYPES, 0);
    char text[32] = {};
    SQLLEN ind = 0;
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLGetData(s, 1, SQL_C_CHAR, text, sizeof text, &ind)));
    EXPECT_STREQ(text, "13:45:56.789123");
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
    exec(s, "DROP TABLE t6");
}
