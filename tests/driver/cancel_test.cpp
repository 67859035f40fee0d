// SQLCancel of libruva70 on both data sources: a cancel between a
// statement's calls keeps its records and ends its cursor loudly; a cancel
// from another thread ends a running statement with a cancel's SQLSTATE and
// leaves the statement usable.
#include "driver_fixture.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace qvt;

namespace {

class CancelOn : public ::testing::TestWithParam<On> {
protected:
    bool pg() const { return GetParam() == On::Postgres; }
    void SetUp() override {
        c = std::make_unique<Connection>(connStrOf(GetParam()));
        s = c->stmt();
    }
    void TearDown() override { ruva70_SQLFreeStmt(s, SQL_DROP); }
    SQLRETURN run(const char* sql) { return ruva70_SQLExecDirect(s, (SQLCHAR*)sql, SQL_NTS); }
    std::unique_ptr<Connection> c;
    SQLHSTMT s = SQL_NULL_HSTMT;
};

INSTANTIATE_TEST_SUITE_P(Sqlite, CancelOn, ::testing::Values(On::Sqlite));
INSTANTIATE_TEST_SUITE_P(Postgres, CancelOn, ::testing::Values(On::Postgres));
// The SQLite ODBC driver through the generic path keeps its own set.
INSTANTIATE_TEST_SUITE_P(SqliteDriver, CancelOn, ::testing::Values(On::SqliteDriver));

// The Java side reads the reason of a failure after the call returned; a
// cancel that arrives in between (a timer that fired late) must not wipe it.
TEST_P(CancelOn, ACancelBetweenCallsKeepsTheFailedStatementsRecords) {
    ASSERT_EQ(run("SELECT * FROM no_such_table"), SQL_ERROR);
    EXPECT_EQ(ruva70_SQLCancel(s), SQL_SUCCESS);
    EXPECT_EQ(ruva70_SQLCancel(s), SQL_SUCCESS) << "a second cancel keeps them too";
    auto rs = stmtRecords(s);
    ASSERT_FALSE(rs.empty()) << "the failure's reason is gone";
    // The engine reports a missing table as a statement error; the SQLite
    // ODBC driver reports every failure as S1000.
    EXPECT_EQ(rs[0].state, pg() ? "42P01" : GetParam() == On::Sqlite ? "42000" : "S1000");
    EXPECT_NE(rs[0].message.find("no_such_table"), std::string::npos) << rs[0].message;
    // The next call clears them as usual.
    EXPECT_EQ(queryText(s, "SELECT 3"), "3");
    EXPECT_TRUE(stmtRecords(s).empty());
}

// A cancel between fetches closes the cursor (ODBC 2): the next fetch fails
// with a record instead of reporting the end of the rows, and the statement
// runs again at once.
TEST_P(CancelOn, ACancelBetweenFetchesEndsTheRowsWithAnErrorAndTheStatementRunsAgain) {
    ASSERT_EQ(run("SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3"), SQL_SUCCESS) << describe(stmtRecords(s));
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLCancel(s), SQL_SUCCESS);
    EXPECT_EQ(ruva70_SQLFetch(s), SQL_ERROR);
    auto rs = stmtRecords(s);
    ASSERT_FALSE(rs.empty());
    EXPECT_EQ(rs[0].state, "S1010");
    EXPECT_EQ(queryText(s, "SELECT 5"), "5") << "psqlODBC's own cursor was closed too";
}

// Another thread cancels a statement that runs until it is cancelled. The
// cancel is repeated until the statement has ended, since one that comes
// before the statement starts finds nothing to end.
TEST_P(CancelOn, ACancelFromAnotherThreadEndsARunningStatementWithACancelState) {
    const char* endless = pg() ? "SELECT pg_sleep(60)"
                               : "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                                 "SELECT count(*) FROM c WHERE x < 0";
    std::atomic<bool> done{false};
    std::thread canceller([&] {
        while (!done.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!done.load()) ruva70_SQLCancel(s);
        }
    });
    const auto start = std::chrono::steady_clock::now();
    SQLRETURN rc = run(endless);
    if (SQL_SUCCEEDED(rc)) rc = ruva70_SQLFetch(s);
    auto rs = stmtRecords(s);
    done = true;
    canceller.join();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0);
    ASSERT_EQ(rc, SQL_ERROR);
    ASSERT_FALSE(rs.empty());
    EXPECT_EQ(rs[0].state, pg() ? "57014" : "S1008") << rs[0].message;
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
    EXPECT_EQ(queryText(s, "SELECT 6"), "6");
}

// A pool closes a connection while a statement of it still runs on another
// thread: the disconnect waits for the statement (instead of freeing it under
// the running call), and a cancel still reaches the statement meanwhile.
TEST_P(CancelOn, ADisconnectWaitsForARunningStatementThatACancelStillEnds) {
    const char* endless = pg() ? "SELECT pg_sleep(60)"
                               : "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                                 "SELECT count(*) FROM c WHERE x < 0";
    std::atomic<bool> started{false};
    SQLRETURN rc = SQL_SUCCESS;
    // The runner reads no records: once its call returns, the disconnect
    // may free the statement under any later call on it.
    std::thread runner([&] {
        started = true;
        rc = run(endless);
        if (SQL_SUCCEEDED(rc)) rc = ruva70_SQLFetch(s);
    });
    while (!started.load()) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::atomic<bool> disconnected{false};
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        while (!disconnected.load()) {
            ruva70_SQLCancel(s);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    const SQLRETURN disconnect = ruva70_SQLDisconnect(c->dbc);
    disconnected = true;
    runner.join();
    canceller.join();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0);
    EXPECT_EQ(rc, SQL_ERROR);
    if (!pg() && disconnect == SQL_ERROR) {
        // The SQLite driver refuses to disconnect while an interrupted
        // statement is not freed ("unfinished statements", also without any
        // thread); everything stays valid, the statement keeps the cancel's
        // record, and the disconnect succeeds once the statement is freed.
        // The driver may report an option it ignored before the refusal.
        auto why = dbcRecords(c->dbc);
        EXPECT_TRUE(std::any_of(why.begin(), why.end(), [](const Record& r) { return r.state == "25000"; }))
            << describe(why);
        auto rs = stmtRecords(s);
        ASSERT_FALSE(rs.empty());
        EXPECT_EQ(rs[0].state, "S1008") << rs[0].message;
        EXPECT_EQ(ruva70_SQLFreeStmt(s, SQL_DROP), SQL_SUCCESS);
        EXPECT_EQ(ruva70_SQLDisconnect(c->dbc), SQL_SUCCESS) << describe(dbcRecords(c->dbc));
    } else {
        EXPECT_EQ(disconnect, SQL_SUCCESS) << describe(dbcRecords(c->dbc));
    }
    c->connected = false;
    EXPECT_EQ(ruva70_SQLCancel(s), SQL_INVALID_HANDLE) << "freed with its connection";
    s = SQL_NULL_HSTMT;
}

// A cancel of one statement while another statement of the same connection
// runs on another thread, and cancels racing the statement's release and the
// connection's disconnect: no crash, and only the codes a cancel may give.
TEST_P(CancelOn, CancelsRacingFreesAndADisconnectAnswerOnlyCancelCodes) {
    std::atomic<bool> stop{false};
    std::atomic<int> odd{0};
    std::atomic<uintptr_t> target{0};
    std::thread canceller([&] {
        while (!stop.load()) {
            const uintptr_t h = target.load();
            if (!h) {
                std::this_thread::yield();
                continue;
            }
            const SQLRETURN rc = ruva70_SQLCancel(handle(h));
            if (rc != SQL_SUCCESS && rc != SQL_INVALID_HANDLE) ++odd;
        }
    });
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < 10; ++i) {
            SQLHSTMT t = c->stmt();
            target.store(value(t));
            ruva70_SQLExecDirect(t, (SQLCHAR*)"SELECT 1", SQL_NTS);
            ruva70_SQLFreeStmt(t, SQL_DROP);
        }
        SQLHSTMT t = c->stmt();
        target.store(value(t));
        ASSERT_EQ(ruva70_SQLDisconnect(c->dbc), SQL_SUCCESS);
        EXPECT_EQ(ruva70_SQLCancel(t), SQL_INVALID_HANDLE);
        c->connected = false;
        c->connect(connStrOf(GetParam()));
    }
    stop = true;
    canceller.join();
    EXPECT_EQ(odd.load(), 0);
    s = c->stmt();
    EXPECT_EQ(queryText(s, "SELECT 8"), "8");
}

}  // namespace
