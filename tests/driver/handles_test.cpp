// The handle table of libruva70 as its callers meet it: 31-bit values of its
// own, refused when never issued, freed or of another kind, and its own
// diagnostic records. No data source needed.
#include "driver_fixture.h"

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

using namespace qvt;

namespace {

// Values the table never issued: zero, above 31 bits, or an index far above
// anything a test allocates.
const uint64_t kForged[] = {0x000FFFFFu, 0x7FFFFFFFu, 0x80000001u, 0x100000001ull, 0x7FFFFFFEu};

SQLRETURN probe(SQLHENV env, SQLHDBC dbc) {
    // SQLError reads a handle without changing it: SQL_NO_DATA_FOUND for a
    // live one without records.
    SQLCHAR state[6];
    SQLINTEGER native;
    SQLCHAR msg[64];
    SQLSMALLINT len;
    return ruva70_SQLError(env, dbc, SQL_NULL_HSTMT, state, &native, msg, sizeof msg, &len);
}

}  // namespace

TEST(HandleTable, HandsOutNonZero31BitValuesOfItsOwn) {
    Connection a, b;
    for (SQLHANDLE h : {a.env, a.dbc, b.env, b.dbc}) EXPECT_TRUE(fits31Bits(h)) << value(h);
    EXPECT_NE(a.env, b.env);
    EXPECT_NE(a.dbc, b.dbc);
    EXPECT_NE(a.env, a.dbc);
}

TEST(HandleTable, RefusesValuesNeverIssuedFreedOrOfAnotherKind) {
    Connection c;
    for (uint64_t v : kForged) {
        SQLHDBC out = handle(0x1234);
        EXPECT_EQ(ruva70_SQLAllocConnect(handle(v), &out), SQL_INVALID_HANDLE) << v;
        EXPECT_EQ(out, nullptr) << "a refused allocation leaves a null handle";
        EXPECT_EQ(ruva70_SQLFreeEnv(handle(v)), SQL_INVALID_HANDLE) << v;
        EXPECT_EQ(ruva70_SQLFreeConnect(handle(v)), SQL_INVALID_HANDLE) << v;
        EXPECT_EQ(ruva70_SQLFreeStmt(handle(v), SQL_DROP), SQL_INVALID_HANDLE) << v;
        EXPECT_EQ(ruva70_SQLCancel(handle(v)), SQL_INVALID_HANDLE) << v;
        EXPECT_EQ(probe(SQL_NULL_HENV, handle(v)), SQL_INVALID_HANDLE) << v;
    }
    // A live value with bits above 32 set is not that value.
    EXPECT_EQ(probe(SQL_NULL_HENV, handle(value(c.dbc) | (1ull << 32))), SQL_INVALID_HANDLE);
    EXPECT_EQ(probe(SQL_NULL_HENV, handle(value(c.dbc) | (1ull << 31))), SQL_INVALID_HANDLE);
    // Another kind: the environment as a connection and the reverse.
    SQLHDBC out;
    EXPECT_EQ(ruva70_SQLAllocConnect(c.dbc, &out), SQL_INVALID_HANDLE);
    EXPECT_EQ(ruva70_SQLFreeConnect(c.env), SQL_INVALID_HANDLE);
    EXPECT_EQ(ruva70_SQLFreeEnv(c.dbc), SQL_INVALID_HANDLE);
    EXPECT_EQ(ruva70_SQLFreeStmt(c.dbc, SQL_CLOSE), SQL_INVALID_HANDLE);
    EXPECT_EQ(ruva70_SQLTransact(SQL_NULL_HENV, c.env, SQL_COMMIT), SQL_INVALID_HANDLE);
    SQLUINTEGER info = 0;
    EXPECT_EQ(ruva70_SQLGetInfo(c.env, SQL_DRIVER_HDBC, &info, sizeof info, nullptr), SQL_INVALID_HANDLE);
    // Freed.
    SQLHDBC extra = SQL_NULL_HDBC;
    ASSERT_EQ(ruva70_SQLAllocConnect(c.env, &extra), SQL_SUCCESS);
    ASSERT_EQ(probe(SQL_NULL_HENV, extra), SQL_NO_DATA_FOUND);
    ASSERT_EQ(ruva70_SQLFreeConnect(extra), SQL_SUCCESS);
    EXPECT_EQ(ruva70_SQLFreeConnect(extra), SQL_INVALID_HANDLE);
    EXPECT_EQ(probe(SQL_NULL_HENV, extra), SQL_INVALID_HANDLE);
    SQLHSTMT st;
    EXPECT_EQ(ruva70_SQLAllocStmt(extra, &st), SQL_INVALID_HANDLE);
    // Nothing of the refusals touched the live handles.
    EXPECT_EQ(probe(c.env, SQL_NULL_HDBC), SQL_NO_DATA_FOUND);
    EXPECT_EQ(probe(SQL_NULL_HENV, c.dbc), SQL_NO_DATA_FOUND);
}

TEST(HandleTable, EnvironmentWithAConnectionStaysUntilTheConnectionIsFreed) {
    SQLHENV env;
    SQLHDBC dbc;
    ASSERT_EQ(ruva70_SQLAllocEnv(&env), SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLAllocConnect(env, &dbc), SQL_SUCCESS);
    // The driver manager refuses (function sequence): both handles stay.
    EXPECT_EQ(ruva70_SQLFreeEnv(env), SQL_ERROR);
    EXPECT_EQ(probe(SQL_NULL_HENV, dbc), SQL_NO_DATA_FOUND);
    EXPECT_EQ(ruva70_SQLFreeConnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(ruva70_SQLFreeEnv(env), SQL_SUCCESS);
    EXPECT_EQ(probe(env, SQL_NULL_HDBC), SQL_INVALID_HANDLE);
}

TEST(HandleTable, AnswersHandleInformationWithItsOwnValues) {
    Connection c;
    uint64_t cell = 0;
    SQLSMALLINT len = 0;
    ASSERT_EQ(ruva70_SQLGetInfo(c.dbc, SQL_DRIVER_HDBC, &cell, sizeof cell, &len), SQL_SUCCESS);
    EXPECT_EQ(cell, value(c.dbc));
    cell = 0;
    ASSERT_EQ(ruva70_SQLGetInfo(c.dbc, SQL_DRIVER_HENV, &cell, sizeof cell, &len), SQL_SUCCESS);
    EXPECT_EQ(cell, value(c.env));
    // A 4-byte buffer (as the native library's getInfo passes) gets 4 bytes.
    uint64_t narrow = 0xAAAAAAAAAAAAAAAAull;
    ASSERT_EQ(ruva70_SQLGetInfo(c.dbc, SQL_DRIVER_HDBC, &narrow, 4, &len), SQL_SUCCESS);
    EXPECT_EQ(narrow, 0xAAAAAAAA00000000ull | value(c.dbc));
    EXPECT_EQ(len, 4);
    for (SQLUSMALLINT type : {SQL_DRIVER_HLIB, SQL_DRIVER_HDESC}) {
        cell = 0xFFFF;
        ASSERT_EQ(ruva70_SQLGetInfo(c.dbc, type, &cell, sizeof cell, &len), SQL_SUCCESS);
        EXPECT_EQ(cell, 0u) << type;
    }
    // SQL_DRIVER_HSTMT needs one of the connection's statements as input.
    cell = 0;
    EXPECT_EQ(ruva70_SQLGetInfo(c.dbc, SQL_DRIVER_HSTMT, &cell, sizeof cell, &len), SQL_ERROR);
    auto rs = dbcRecords(c.dbc);
    ASSERT_EQ(rs.size(), 1u);
    EXPECT_EQ(rs[0].state, "S1009");
}

TEST(OwnDiagnostics, SqlErrorReadsTheMostSpecificHandleAndConsumesRecords) {
    Connection c;
    // A statement option on the connection: libruva70's own refusal.
    EXPECT_EQ(ruva70_SQLSetConnectOption(c.dbc, RUVA70_STMT_TYPE_FROM_VALUE, 1), SQL_ERROR);
    // The environment has no records; the connection has one.
    EXPECT_EQ(probe(c.env, SQL_NULL_HDBC), SQL_NO_DATA_FOUND);
    SQLCHAR state[6] = {};
    SQLINTEGER native = -1;
    SQLCHAR msg[8];
    SQLSMALLINT len = 0;
    // Truncated into a small buffer: SQL_SUCCESS_WITH_INFO, full length, and
    // the record is consumed all the same.
    EXPECT_EQ(ruva70_SQLError(c.env, c.dbc, SQL_NULL_HSTMT, state, &native, msg, sizeof msg, &len),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(reinterpret_cast<char*>(state), "S1092");
    EXPECT_EQ(native, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(msg)), "[Quorva");
    EXPECT_GT(len, 7);
    EXPECT_EQ(probe(c.env, c.dbc), SQL_NO_DATA_FOUND);
    // All handles null, or an invalid one among them.
    EXPECT_EQ(ruva70_SQLError(SQL_NULL_HENV, SQL_NULL_HDBC, SQL_NULL_HSTMT, state, &native, msg, sizeof msg, &len),
              SQL_INVALID_HANDLE);
    EXPECT_EQ(ruva70_SQLError(c.env, c.env, SQL_NULL_HSTMT, state, &native, msg, sizeof msg, &len),
              SQL_INVALID_HANDLE);
}

TEST(OwnDiagnostics, TheNextCallOnTheHandleClearsThem) {
    Connection c;
    EXPECT_EQ(ruva70_SQLGetConnectOption(c.dbc, RUVA70_STMT_DRIVER_TYPES, nullptr), SQL_ERROR);
    uint64_t cell = 0;
    EXPECT_EQ(ruva70_SQLGetInfo(c.dbc, SQL_DRIVER_HDBC, &cell, sizeof cell, nullptr), SQL_SUCCESS);
    EXPECT_TRUE(dbcRecords(c.dbc).empty());
}

// A late call with a freed handle (a cancel from another thread, say) must
// never reach a handle issued later: after 100,000 allocations and frees,
// each of which could take the freed slot, the old value is still refused.
TEST(HandleTable, FreedValueStaysRefusedThroughManyReuses) {
    Connection c;
    SQLHDBC stale = SQL_NULL_HDBC;
    ASSERT_EQ(ruva70_SQLAllocConnect(c.env, &stale), SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLFreeConnect(stale), SQL_SUCCESS);
    for (int i = 0; i < 100000; ++i) {
        SQLHDBC dbc = SQL_NULL_HDBC;
        ASSERT_EQ(ruva70_SQLAllocConnect(c.env, &dbc), SQL_SUCCESS) << "cycle " << i;
        ASSERT_NE(dbc, stale) << "cycle " << i;
        ASSERT_EQ(ruva70_SQLFreeConnect(dbc), SQL_SUCCESS);
    }
    EXPECT_EQ(probe(SQL_NULL_HENV, stale), SQL_INVALID_HANDLE);
    EXPECT_EQ(ruva70_SQLFreeConnect(stale), SQL_INVALID_HANDLE);
    RUVA70_XID xid{};
    SQLINTEGER code = 0;
    EXPECT_EQ(ruva70_xa_prepare(stale, &xid, 0, &code), SQL_INVALID_HANDLE);
    EXPECT_EQ(code, RUVA70_XAER_RMFAIL);
}

// A handle that is not a live connection answers SQL_INVALID_HANDLE and an
// XA error in the code slot: the caller's slot may hold 0 (XA_OK), which a
// transaction manager would take for a branch prepared or committed.
TEST(XaWithoutDataSource, InvalidHandlesAnswerAnXaErrorNeverXaOk) {
    RUVA70_XID xid{};
    xid.formatID = 1;
    xid.gtrid_length = 1;
    auto each = [&](SQLHDBC h, const std::string& what) {
        SQLINTEGER code = 0;
        EXPECT_EQ(ruva70_xa_start(h, &xid, RUVA70_TMNOFLAGS, &code), SQL_INVALID_HANDLE) << what;
        EXPECT_EQ(code, RUVA70_XAER_RMFAIL) << what;
        code = 0;
        EXPECT_EQ(ruva70_xa_end(h, &xid, RUVA70_TMSUCCESS, &code), SQL_INVALID_HANDLE) << what;
        EXPECT_EQ(code, RUVA70_XAER_RMFAIL) << what;
        code = 0;
        EXPECT_EQ(ruva70_xa_prepare(h, &xid, 0, &code), SQL_INVALID_HANDLE) << what;
        EXPECT_EQ(code, RUVA70_XAER_RMFAIL) << what;
        code = 0;
        EXPECT_EQ(ruva70_xa_commit(h, &xid, 0, 0, &code), SQL_INVALID_HANDLE) << what;
        EXPECT_EQ(code, RUVA70_XAER_RMFAIL) << what;
        code = 0;
        EXPECT_EQ(ruva70_xa_rollback(h, &xid, 0, 0, &code), SQL_INVALID_HANDLE) << what;
        EXPECT_EQ(code, RUVA70_XAER_RMFAIL) << what;
        code = 0;
        EXPECT_EQ(ruva70_xa_forget(h, &xid, 0, &code), SQL_INVALID_HANDLE) << what;
        EXPECT_EQ(code, RUVA70_XAER_RMFAIL) << what;
        SQLINTEGER count = 99;
        EXPECT_EQ(ruva70_xa_pending(h, &count), SQL_INVALID_HANDLE) << what;
        EXPECT_EQ(count, 0) << what;
        count = 99;
        EXPECT_EQ(ruva70_xa_recover(h, &xid, 1, RUVA70_TMSTARTRSCAN, &count), SQL_INVALID_HANDLE) << what;
        EXPECT_EQ(count, 0) << what;
        // No output slot at all: refused the same way, nothing written.
        EXPECT_EQ(ruva70_xa_prepare(h, &xid, 0, nullptr), SQL_INVALID_HANDLE) << what;
    };
    for (uint64_t v : kForged) each(handle(v), "forged " + std::to_string(v));
    Connection c;
    each(c.env, "an environment");
    SQLHDBC closed = SQL_NULL_HDBC;
    ASSERT_EQ(ruva70_SQLAllocConnect(c.env, &closed), SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLFreeConnect(closed), SQL_SUCCESS);
    each(closed, "a freed connection");
}

// Several threads allocate, look up and free connections of one environment
// and environments of their own, while probing stale and forged values. The
// set of live values catches a value issued twice; a stale value that still
// worked, or a live one that did not, fails the probe.
TEST(HandleTableConcurrency, ThreadsIssueLookUpAndFreeAtOnce) {
    Connection shared;
    constexpr int kThreads = 4;
    constexpr int kRounds = 120;
    std::mutex mu;
    std::set<uint32_t> live;
    std::atomic<int> failures{0};
    auto claim = [&](SQLHANDLE h) {
        std::lock_guard<std::mutex> lock(mu);
        if (!fits31Bits(h) || !live.insert(value(h)).second) ++failures;
    };
    auto drop = [&](SQLHANDLE h) {
        std::lock_guard<std::mutex> lock(mu);
        live.erase(value(h));
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                SQLHDBC dbc = SQL_NULL_HDBC;
                if (ruva70_SQLAllocConnect(shared.env, &dbc) != SQL_SUCCESS) {
                    ++failures;
                    continue;
                }
                claim(dbc);
                if (probe(SQL_NULL_HENV, dbc) != SQL_NO_DATA_FOUND) ++failures;
                // The wrong kind, and forged values, on the way.
                if (ruva70_SQLFreeEnv(dbc) != SQL_INVALID_HANDLE) ++failures;
                if (probe(SQL_NULL_HENV, handle(kForged[i % std::size(kForged)])) != SQL_INVALID_HANDLE) ++failures;
                if (t == 0 && i % 8 == 0) {
                    SQLHENV env = SQL_NULL_HENV;
                    if (ruva70_SQLAllocEnv(&env) != SQL_SUCCESS) {
                        ++failures;
                    } else {
                        claim(env);
                        drop(env);
                        if (ruva70_SQLFreeEnv(env) != SQL_SUCCESS) ++failures;
                    }
                }
                drop(dbc);
                if (ruva70_SQLFreeConnect(dbc) != SQL_SUCCESS) ++failures;
                // Stale now, even if another thread took the slot meanwhile.
                if (probe(SQL_NULL_HENV, dbc) != SQL_INVALID_HANDLE) ++failures;
                if (ruva70_SQLFreeConnect(dbc) != SQL_INVALID_HANDLE) ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(live.empty());
}
