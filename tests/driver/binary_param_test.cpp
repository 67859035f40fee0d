// Binary parameters (SQL_C_BINARY) whose length changes between executions
// of one binding: prepared and direct executions, lengths given for data at
// execution, and parameter arrays whose rows differ in length. Every value
// is read back with length() and as bytes. Each body runs on SQLite and on
// PostgreSQL (instantiations Sqlite and Postgres).
#include "driver_fixture.h"

#include <cstring>
#include <memory>
#include <optional>

using namespace qvt;

namespace {

using Bytes = std::vector<unsigned char>;

// The value of execution (or row) `i` with `n` bytes: each byte tells both.
Bytes valueOf(int i, SQLLEN n) {
    Bytes b(static_cast<size_t>(n));
    for (size_t k = 0; k < b.size(); ++k) b[k] = static_cast<unsigned char>((i << 4) | (k & 0xF));
    return b;
}

// Writes `v` into the buffer (memcpy must not see the null data of an empty
// vector).
void put(void* dst, const Bytes& v) {
    if (!v.empty()) std::memcpy(dst, v.data(), v.size());
}

struct Stored {
    int id = 0;
    std::optional<SQLINTEGER> length;  // length(v); empty for NULL
    std::optional<Bytes> bytes;
};

class BinaryParamOn : public ::testing::TestWithParam<bool> {
protected:
    bool pg() const { return GetParam(); }
    void SetUp() override {
        c = std::make_unique<Connection>(pg() ? pgConnStr() : sqliteDriverConnStr());
        s = c->stmt();
        q = c->stmt();
        exec(q, "DROP TABLE IF EXISTS b");
        exec(q, pg() ? "CREATE TABLE b (id integer PRIMARY KEY, v bytea, t timestamptz)"
                     : "CREATE TABLE b (id integer PRIMARY KEY, v BLOB, t TIMESTAMP)");
    }
    std::vector<Stored> stored() {
        std::vector<Stored> out;
        const char* sql = "SELECT id, length(v), v FROM b ORDER BY id";
        EXPECT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(q, (SQLCHAR*)sql, SQL_NTS))) << describe(stmtRecords(q));
        while (SQL_SUCCEEDED(ruva70_SQLFetch(q))) {
            Stored r;
            SQLINTEGER id = 0, length = 0;
            SQLLEN ind = 0;
            EXPECT_EQ(ruva70_SQLGetData(q, 1, SQL_C_SLONG, &id, 4, &ind), SQL_SUCCESS);
            r.id = id;
            EXPECT_EQ(ruva70_SQLGetData(q, 2, SQL_C_SLONG, &length, 4, &ind), SQL_SUCCESS);
            if (ind != SQL_NULL_DATA) r.length = length;
            unsigned char buf[64];
            SQLRETURN rc = ruva70_SQLGetData(q, 3, SQL_C_BINARY, buf, sizeof buf, &ind);
            EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_NO_DATA_FOUND) << rc << describe(stmtRecords(q));
            if (ind != SQL_NULL_DATA) r.bytes = rc == SQL_SUCCESS ? Bytes(buf, buf + ind) : Bytes();
            out.push_back(r);
        }
        ruva70_SQLFreeStmt(q, SQL_CLOSE);
        return out;
    }
    // What row `id` should hold: value `i` of `n` bytes, or NULL.
    static void expectRow(const Stored& got, int id, int i, SQLLEN n) {
        SCOPED_TRACE("id " + std::to_string(id));
        EXPECT_EQ(got.id, id);
        if (n == SQL_NULL_DATA) {
            EXPECT_FALSE(got.length.has_value());
            EXPECT_FALSE(got.bytes.has_value());
            return;
        }
        EXPECT_EQ(got.length, std::optional<SQLINTEGER>(static_cast<SQLINTEGER>(n)));
        EXPECT_EQ(got.bytes, std::optional<Bytes>(valueOf(i, n)));
    }
    void bindIdAndValue(SQLINTEGER* id, unsigned char* buf, SQLLEN max, SQLLEN* ind) {
        ASSERT_EQ(ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, id, 4, nullptr),
                  SQL_SUCCESS);
        ASSERT_EQ(
            ruva70_SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, max, 0, buf, max, ind),
            SQL_SUCCESS);
    }
    std::unique_ptr<Connection> c;
    SQLHSTMT s = SQL_NULL_HSTMT;  // the statement under test
    SQLHSTMT q = SQL_NULL_HSTMT;  // set-up and reading back
};

const SQLLEN kLengths[] = {3, 10, 1, 0, SQL_NULL_DATA, 7, 16, 2};
constexpr const char* kInsert = "INSERT INTO b (id, v) VALUES (?, ?)";

}  // namespace

INSTANTIATE_TEST_SUITE_P(Sqlite, BinaryParamOn, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(Postgres, BinaryParamOn, ::testing::Values(true));

TEST_P(BinaryParamOn, PreparedExecutionsStoreEachValuesOwnLength) {
    ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)kInsert, SQL_NTS), SQL_SUCCESS);
    SQLINTEGER id = 0;
    unsigned char buf[16];
    SQLLEN ind = 0;
    bindIdAndValue(&id, buf, sizeof buf, &ind);
    const int n = static_cast<int>(std::size(kLengths));
    for (int i = 0; i < n; ++i) {
        id = i;
        ind = kLengths[i];
        Bytes v = valueOf(i, ind < 0 ? 0 : ind);
        std::memset(buf, 0xEE, sizeof buf);
        put(buf, v);
        ASSERT_EQ(ruva70_SQLExecute(s), SQL_SUCCESS) << i << describe(stmtRecords(s));
        EXPECT_TRUE(stmtRecords(s).empty()) << "a successful execution leaves no records";
    }
    auto got = stored();
    ASSERT_EQ(got.size(), std::size(kLengths));
    for (int i = 0; i < n; ++i) expectRow(got[static_cast<size_t>(i)], i, i, kLengths[i]);
}

TEST_P(BinaryParamOn, DirectExecutionsStoreEachValuesOwnLength) {
    SQLINTEGER id = 0;
    unsigned char buf[16];
    SQLLEN ind = 0;
    bindIdAndValue(&id, buf, sizeof buf, &ind);
    const int n = static_cast<int>(std::size(kLengths));
    for (int i = 0; i < n; ++i) {
        id = i;
        ind = kLengths[i];
        Bytes v = valueOf(i, ind < 0 ? 0 : ind);
        put(buf, v);
        ASSERT_EQ(ruva70_SQLExecDirect(s, (SQLCHAR*)kInsert, SQL_NTS), SQL_SUCCESS) << i << describe(stmtRecords(s));
    }
    auto got = stored();
    ASSERT_EQ(got.size(), std::size(kLengths));
    for (int i = 0; i < n; ++i) expectRow(got[static_cast<size_t>(i)], i, i, kLengths[i]);
}

// Executions that send the value at execution with its length, alternating
// with values in the buffer: each execution's own length is the one stored.
TEST_P(BinaryParamOn, LengthsOfDataAtExecutionAreReadEachTime) {
    ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)kInsert, SQL_NTS), SQL_SUCCESS);
    SQLINTEGER id = 0;
    unsigned char buf[16];
    SQLLEN ind = 0;
    bindIdAndValue(&id, buf, sizeof buf, &ind);
    struct Run {
        SQLLEN length;
        bool atExec;
    };
    const Run runs[] = {{4, true}, {6, false}, {9, true}, {2, false}, {12, true}};
    for (int i = 0; i < static_cast<int>(std::size(runs)); ++i) {
        SCOPED_TRACE(i);
        id = i;
        Bytes v = valueOf(i, runs[i].length);
        if (!runs[i].atExec) {
            put(buf, v);
            ind = runs[i].length;
            ASSERT_EQ(ruva70_SQLExecute(s), SQL_SUCCESS) << describe(stmtRecords(s));
            continue;
        }
        ind = SQL_LEN_DATA_AT_EXEC(runs[i].length);
        ASSERT_EQ(ruva70_SQLExecute(s), SQL_NEED_DATA) << describe(stmtRecords(s));
        SQLPOINTER token = nullptr;
        ASSERT_EQ(ruva70_SQLParamData(s, &token), SQL_NEED_DATA);
        EXPECT_EQ(token, buf);
        const SQLLEN half = runs[i].length / 2;
        ASSERT_EQ(ruva70_SQLPutData(s, v.data(), half), SQL_SUCCESS) << describe(stmtRecords(s));
        ASSERT_EQ(ruva70_SQLPutData(s, v.data() + half, runs[i].length - half), SQL_SUCCESS);
        ASSERT_EQ(ruva70_SQLParamData(s, &token), SQL_SUCCESS) << describe(stmtRecords(s));
    }
    auto got = stored();
    ASSERT_EQ(got.size(), std::size(runs));
    for (int i = 0; i < static_cast<int>(std::size(runs)); ++i)
        expectRow(got[static_cast<size_t>(i)], i, i, runs[i].length);
}

// Rows of one parameter array differ in length, and the next execution of
// the same array has other lengths.
TEST_P(BinaryParamOn, ParameterArrayRowsKeepTheirOwnLengths) {
    constexpr SQLULEN kRows = 4;
    constexpr SQLLEN kWidth = 16;
    const SQLLEN lengths[2][kRows] = {{2, 9, SQL_NULL_DATA, 5}, {7, 1, 3, 0}};
    SQLINTEGER ids[kRows];
    unsigned char values[kRows][kWidth];
    SQLLEN inds[kRows];
    SQLULEN processed = 0;
    ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)kInsert, SQL_NTS), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLParamOptions(s, kRows, &processed)));
    ASSERT_EQ(ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr),
              SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, kWidth, 0, values,
                                      kWidth, inds),
              SQL_SUCCESS);
    for (int run = 0; run < 2; ++run) {
        for (SQLULEN r = 0; r < kRows; ++r) {
            const int i = run * 10 + static_cast<int>(r);
            ids[r] = i;
            inds[r] = lengths[run][r];
            std::memset(values[r], 0xEE, kWidth);
            Bytes v = valueOf(i, inds[r] < 0 ? 0 : inds[r]);
            put(values[r], v);
        }
        processed = 0;
        ASSERT_EQ(ruva70_SQLExecute(s), SQL_SUCCESS) << run << describe(stmtRecords(s));
        EXPECT_EQ(processed, kRows);
        EXPECT_TRUE(stmtRecords(s).empty());
    }
    auto got = stored();
    ASSERT_EQ(got.size(), 2 * kRows);
    for (int run = 0; run < 2; ++run)
        for (SQLULEN r = 0; r < kRows; ++r) {
            const int i = run * 10 + static_cast<int>(r);
            expectRow(got[run * kRows + r], i, i, lengths[run][r]);
        }
    // The statement runs single rows again.
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLParamOptions(s, 1, nullptr)));
    ids[0] = 99;
    inds[0] = 3;
    Bytes v = valueOf(9, 3);
    put(values[0], v);
    ASSERT_EQ(ruva70_SQLExecute(s), SQL_SUCCESS) << describe(stmtRecords(s));
    got = stored();
    ASSERT_EQ(got.size(), 2 * kRows + 1);
    expectRow(got.back(), 99, 9, 3);
}

// Beside a binary parameter whose rows differ in length, a parameter in the
// driver's 8-byte timestamp form: each row keeps its own timestamp too.
TEST_P(BinaryParamOn, ArrayRowsKeepTheirOwnTimestampsToo) {
    constexpr SQLULEN kRows = 3;
    SQLINTEGER ids[kRows] = {1, 2, 3};
    unsigned char values[kRows][8] = {};
    SQLLEN inds[kRows] = {1, 8, 4};
    int64_t stamps[kRows] = {-1, 86400000000, 1718000000123456};
    SQLLEN stampInds[kRows] = {8, 8, 8};
    for (SQLULEN r = 0; r < kRows; ++r) {
        Bytes v = valueOf(static_cast<int>(r), inds[r]);
        put(values[r], v);
    }
    SQLULEN processed = 0;
    const char* sql = "INSERT INTO b (id, v, t) VALUES (?, ?, ?)";
    ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)sql, SQL_NTS), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLParamOptions(s, kRows, &processed)));
    ASSERT_EQ(ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr),
              SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 8, 0, values, 8, inds),
              SQL_SUCCESS);
    ASSERT_EQ(
        ruva70_SQLBindParameter(s, 3, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_TIMESTAMP, 26, 6, stamps, 8, stampInds),
        SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLExecute(s), SQL_SUCCESS) << describe(stmtRecords(s));
    EXPECT_EQ(processed, kRows);
    auto got = stored();
    ASSERT_EQ(got.size(), kRows);
    for (SQLULEN r = 0; r < kRows; ++r) expectRow(got[r], ids[r], static_cast<int>(r), inds[r]);
    const char* read = "SELECT t FROM b ORDER BY id";
    ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(q, (SQLCHAR*)read, SQL_NTS)));
    for (SQLULEN r = 0; r < kRows; ++r) {
        ASSERT_EQ(ruva70_SQLFetch(q), SQL_SUCCESS) << describe(stmtRecords(q));
        int64_t t = 0;
        SQLLEN ind = 0;
        ASSERT_EQ(ruva70_SQLGetData(q, 1, SQL_C_BINARY, &t, 8, &ind), SQL_SUCCESS) << describe(stmtRecords(q));
        EXPECT_EQ(t, stamps[r]) << r;
    }
    ruva70_SQLFreeStmt(q, SQL_CLOSE);
}

// A failed execution's records survive the binding calls that follow it,
// exactly as an execution without changed lengths leaves them.
TEST_P(BinaryParamOn, FailedExecutionKeepsItsRecordsAcrossBinding) {
    exec(q, "INSERT INTO b (id) VALUES (1)");
    ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)kInsert, SQL_NTS), SQL_SUCCESS);
    SQLINTEGER id = 1;
    unsigned char buf[16] = {1, 2, 3, 4, 5, 6, 7, 8};
    SQLLEN ind = 4;
    bindIdAndValue(&id, buf, sizeof buf, &ind);
    ASSERT_EQ(ruva70_SQLExecute(s), SQL_ERROR);
    auto direct = stmtRecords(s);
    ASSERT_FALSE(direct.empty());
    ind = 8;  // another length: on SQLite the parameter is bound to the driver again
    ASSERT_EQ(ruva70_SQLExecute(s), SQL_ERROR);
    bindIdAndValue(&id, buf, sizeof buf, &ind);
    auto kept = stmtRecords(s);
    ASSERT_EQ(kept.size(), direct.size()) << describe(kept);
    for (size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(kept[i].state, direct[i].state);
        EXPECT_EQ(kept[i].native, direct[i].native);
    }
}

// SQL_RESET_PARAMS forgets the parameters: a statement executed with one of
// them left unbound behaves as a statement that never had it bound.
TEST_P(BinaryParamOn, ResetParamsForgetsTheBindings) {
    SQLINTEGER id = 1;
    unsigned char buf[16] = {1, 2, 3, 4, 5, 6, 7, 8};
    SQLLEN ind = 5;
    ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)kInsert, SQL_NTS), SQL_SUCCESS);
    bindIdAndValue(&id, buf, sizeof buf, &ind);
    ASSERT_EQ(ruva70_SQLExecute(s), SQL_SUCCESS) << describe(stmtRecords(s));
    ASSERT_EQ(ruva70_SQLFreeStmt(s, SQL_RESET_PARAMS), SQL_SUCCESS);
    id = 2;
    ASSERT_EQ(ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 4, nullptr),
              SQL_SUCCESS);
    const SQLRETURN afterReset = ruva70_SQLExecute(s);

    SQLHSTMT fresh = c->stmt();
    SQLINTEGER freshId = 3;
    ASSERT_EQ(ruva70_SQLPrepare(fresh, (SQLCHAR*)kInsert, SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(
        ruva70_SQLBindParameter(fresh, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &freshId, 4, nullptr),
        SQL_SUCCESS);
    EXPECT_EQ(afterReset, ruva70_SQLExecute(fresh));
    ruva70_SQLFreeStmt(fresh, SQL_DROP);

    auto got = stored();
    auto row = [&](int id) -> std::optional<Stored> {
        for (const Stored& r : got)
            if (r.id == id) return r;
        return std::nullopt;
    };
    ASSERT_TRUE(row(1).has_value());
    ASSERT_EQ(row(2).has_value(), row(3).has_value());
    if (row(2)) {
        EXPECT_EQ(row(2)->length, row(3)->length);
        EXPECT_EQ(row(2)->bytes, row(3)->bytes);
    }
}

namespace {

class BinaryParamOnSqlite : public BinaryParamOn {
protected:
    struct Outcome {
        SQLRETURN rc = SQL_ERROR;
        SQLULEN processed = 0;
        SQLLEN rowCount = 0;
        std::vector<int> ids;  // stored afterwards
        std::vector<Record> records;
    };
    // A five-row array insert of ids first..first+4, binary values of the
    // lengths given; then SQLBindParameter as the native library restores
    // its bindings, then the records.
    Outcome runArray(int first, const SQLLEN (&lengths)[5]) {
        Outcome o;
        SQLINTEGER ids[5];
        unsigned char values[5][8];
        SQLLEN inds[5];
        for (int r = 0; r < 5; ++r) {
            ids[r] = first + r;
            inds[r] = lengths[r];
            std::memset(values[r], r + 1, sizeof values[r]);
        }
        SQLHSTMT a = c->stmt();
        EXPECT_EQ(ruva70_SQLPrepare(a, (SQLCHAR*)kInsert, SQL_NTS), SQL_SUCCESS);
        EXPECT_TRUE(SQL_SUCCEEDED(ruva70_SQLParamOptions(a, 5, &o.processed)));
        EXPECT_EQ(ruva70_SQLBindParameter(a, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr),
                  SQL_SUCCESS);
        EXPECT_EQ(
            ruva70_SQLBindParameter(a, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 8, 0, values, 8, inds),
            SQL_SUCCESS);
        o.rc = ruva70_SQLExecute(a);
        if (SQL_SUCCEEDED(o.rc)) {
            EXPECT_EQ(ruva70_SQLRowCount(a, &o.rowCount), SQL_SUCCESS);
        }
        EXPECT_TRUE(SQL_SUCCEEDED(ruva70_SQLParamOptions(a, 1, nullptr)));
        EXPECT_EQ(
            ruva70_SQLBindParameter(a, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 8, 0, values, 8, inds),
            SQL_SUCCESS);
        o.records = stmtRecords(a);
        ruva70_SQLFreeStmt(a, SQL_DROP);
        for (const Stored& r : stored()) o.ids.push_back(r.id);
        return o;
    }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Sqlite, BinaryParamOnSqlite, ::testing::Values(false));

// An array whose binary rows differ in length runs one row at a time inside
// libruva70; it answers as the SQLite driver's own loop over an array whose
// rows do not: the rows before a failing one stay (each commits on its own),
// the row-number variable holds the failing row counted from 1, the row
// count is the rows' sum, and the failure's records survive the binding.
TEST_P(BinaryParamOnSqlite, RowByRowArrayAnswersAsTheDriversOwnLoop) {
    const SQLLEN same[5] = {4, 4, 4, 4, 4};
    const SQLLEN differ[5] = {1, 2, 3, 4, 5};
    exec(q, "INSERT INTO b (id) VALUES (3)");
    Outcome driver = runArray(1, same);
    exec(q, "DELETE FROM b WHERE id <> 3");
    Outcome ours = runArray(1, differ);
    EXPECT_EQ(driver.rc, SQL_ERROR);
    EXPECT_EQ(ours.rc, driver.rc);
    EXPECT_EQ(driver.processed, 3u) << "the failing row, counted from 1";
    EXPECT_EQ(ours.processed, driver.processed);
    EXPECT_EQ(driver.ids, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ours.ids, driver.ids);
    ASSERT_FALSE(driver.records.empty());
    ASSERT_EQ(ours.records.size(), driver.records.size()) << describe(ours.records);
    EXPECT_EQ(ours.records[0].state, driver.records[0].state);
    EXPECT_EQ(ours.records[0].native, driver.records[0].native);

    exec(q, "DELETE FROM b");
    driver = runArray(10, same);
    ours = runArray(20, differ);
    EXPECT_EQ(driver.rc, SQL_SUCCESS);
    EXPECT_EQ(ours.rc, driver.rc);
    EXPECT_EQ(driver.processed, 5u);
    EXPECT_EQ(ours.processed, driver.processed);
    EXPECT_EQ(driver.rowCount, 5);
    EXPECT_EQ(ours.rowCount, driver.rowCount);
    EXPECT_TRUE(ours.records.empty()) << describe(ours.records);
    EXPECT_EQ(ours.ids.size(), 10u);
}
