// Cancels from other threads under load, as an application server makes
// them: 8 worker threads, each on its own connection, run inserts and
// queries on tables of their own while 2 other threads cancel the workers'
// statements at random moments (while they run, between their calls, while
// they are freed). Every statement must either succeed or fail with a
// diagnostic record, every value read must be the value written, and each
// table must hold exactly the rows whose inserts succeeded.
//
// QVT_CANCEL_LOAD_STATEMENTS sets the statements per worker (default 1000,
// sized for CI); 10000 is the full load.
#include "driver_fixture.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace qvt;

namespace {

constexpr int kWorkers = 8;
constexpr int kCancellers = 2;
// A worker frees its statement and takes a new one this often, so that
// cancels also meet freed handles.
constexpr int kStatementLife = 50;

int statementsPerWorker() {
    const char* v = std::getenv("QVT_CANCEL_LOAD_STATEMENTS");
    const int n = v ? std::atoi(v) : 0;
    return n > 0 ? n : 1000;
}

std::string valueFor(int id) {
    return "value-" + std::to_string(id) + "-" + std::string(static_cast<size_t>(id % 17), 'x');
}

// What the run saw, summed over the threads.
struct Tally {
    std::atomic<int> succeeded{0};
    std::atomic<int> failed{0};
    std::atomic<int> failedWithoutRecord{0};
    std::atomic<int> wrongValues{0};
    std::atomic<int> cancelCalls{0};
    std::atomic<int> cancelsAccepted{0};
    std::atomic<int> cancelsOfFreedHandles{0};
    std::atomic<int> unexpectedCancelResults{0};
    std::mutex mu;
    std::map<std::string, int> failureStates;
    std::vector<std::string> problems;

    void problem(const std::string& what) {
        std::lock_guard<std::mutex> lock(mu);
        if (problems.size() < 20) problems.push_back(what);
    }
    // A failed call: it must leave at least one record; the records' states
    // are counted.
    void failure(SQLHSTMT s, const std::string& what) {
        ++failed;
        auto rs = stmtRecords(s);
        if (rs.empty()) {
            ++failedWithoutRecord;
            problem(what + ": failed without a diagnostic record");
            return;
        }
        std::lock_guard<std::mutex> lock(mu);
        ++failureStates[rs[0].state];
    }
};

class CancelLoad : public ::testing::TestWithParam<On> {
protected:
    bool pg() const { return GetParam() == On::Postgres; }
    // SQLite: one database file that all workers share (a new one each run).
    std::string sqliteName() const { return "cancel-load-" + std::to_string(getpid()); }
    std::string connStr() const { return connStrOf(GetParam(), sqliteName()); }
    std::string table(int w) const { return "cancel_load_" + std::to_string(getpid()) + "_" + std::to_string(w); }
};

INSTANTIATE_TEST_SUITE_P(Sqlite, CancelLoad, ::testing::Values(On::Sqlite));
INSTANTIATE_TEST_SUITE_P(Postgres, CancelLoad, ::testing::Values(On::Postgres));
INSTANTIATE_TEST_SUITE_P(SqliteDriver, CancelLoad, ::testing::Values(On::SqliteDriver));

// One worker: inserts (three of every four statements) and a query of its
// latest rows read back with SQLGetData. Returns the ids whose inserts
// succeeded.
std::set<int> work(int w, Connection& c, const std::string& table, int statements, Tally& tally,
                   std::atomic<uintptr_t>& published) {
    std::set<int> inserted;
    SQLHSTMT s = c.stmt();
    published.store(value(s));
    for (int i = 0; i < statements; ++i) {
        if (i > 0 && i % kStatementLife == 0) {
            // A cancel may hold the old value: it must never reach the new one.
            if (ruva70_SQLFreeStmt(s, SQL_DROP) != SQL_SUCCESS) tally.problem("free of a worker's statement failed");
            s = c.stmt();
            published.store(value(s));
        }
        const std::string where = "worker " + std::to_string(w) + " statement " + std::to_string(i);
        if (i % 4 != 3) {
            const std::string sql =
                "INSERT INTO " + table + " VALUES (" + std::to_string(i) + ", '" + valueFor(i) + "')";
            const SQLRETURN rc = ruva70_SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS);
            if (SQL_SUCCEEDED(rc)) {
                ++tally.succeeded;
                inserted.insert(i);
            } else {
                tally.failure(s, where + " (insert)");
            }
            ruva70_SQLFreeStmt(s, SQL_CLOSE);
            continue;
        }
        const std::string sql =
            "SELECT id, v FROM " + table + " WHERE id > " + std::to_string(i - 12) + " ORDER BY id";
        SQLRETURN rc = ruva70_SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS);
        bool ok = SQL_SUCCEEDED(rc);
        std::set<int> seen;
        while (ok) {
            rc = ruva70_SQLFetch(s);
            if (rc == SQL_NO_DATA_FOUND) break;
            if (!SQL_SUCCEEDED(rc)) {
                ok = false;
                break;
            }
            SQLINTEGER id = -1;
            SQLLEN ind = 0;
            char text[64] = {};
            SQLLEN textInd = 0;
            rc = ruva70_SQLGetData(s, 1, SQL_C_LONG, &id, sizeof id, &ind);
            if (SQL_SUCCEEDED(rc)) rc = ruva70_SQLGetData(s, 2, SQL_C_CHAR, text, sizeof text, &textInd);
            if (!SQL_SUCCEEDED(rc)) {
                ok = false;
                break;
            }
            seen.insert(id);
            if (!inserted.count(id) || text != valueFor(id)) {
                ++tally.wrongValues;
                tally.problem(where + ": read id " + std::to_string(id) + " value '" + text + "'");
            }
        }
        if (ok) {
            ++tally.succeeded;
            // Every row inserted in the range was read.
            for (auto it = inserted.upper_bound(i - 12); it != inserted.end(); ++it)
                if (!seen.count(*it)) {
                    ++tally.wrongValues;
                    tally.problem(where + ": row " + std::to_string(*it) + " missing from the query");
                }
        } else {
            tally.failure(s, where + " (query)");
        }
        ruva70_SQLFreeStmt(s, SQL_CLOSE);
    }
    published.store(0);
    ruva70_SQLFreeStmt(s, SQL_DROP);
    return inserted;
}

}  // namespace

TEST_P(CancelLoad, EveryStatementSucceedsOrFailsWithARecordAndEveryTableIsExact) {
    const int statements = statementsPerWorker();
    if (!pg()) std::filesystem::remove(tempDir() + "/" + sqliteName() + ".sqlite");
    std::vector<std::unique_ptr<Connection>> connections;
    for (int w = 0; w < kWorkers; ++w) {
        connections.push_back(std::make_unique<Connection>(connStr()));
        SQLHSTMT s = connections.back()->stmt();
        exec(s, "DROP TABLE IF EXISTS " + table(w));
        exec(s, "CREATE TABLE " + table(w) + " (id integer PRIMARY KEY, v varchar(40))");
        ruva70_SQLFreeStmt(s, SQL_DROP);
    }

    Tally tally;
    std::atomic<uintptr_t> published[kWorkers];
    for (auto& p : published) p.store(0);
    std::atomic<int> running{kWorkers};
    std::vector<std::set<int>> inserted(kWorkers);
    const auto started = std::chrono::steady_clock::now();

    std::vector<std::thread> cancellers;
    for (int k = 0; k < kCancellers; ++k)
        cancellers.emplace_back([&, k] {
            std::mt19937 rng(static_cast<unsigned>(k) * 7919u + 1);
            while (running.load() > 0) {
                const uintptr_t h = published[rng() % kWorkers].load();
                if (h) {
                    ++tally.cancelCalls;
                    const SQLRETURN rc = ruva70_SQLCancel(handle(h));
                    if (rc == SQL_SUCCESS)
                        ++tally.cancelsAccepted;
                    else if (rc == SQL_INVALID_HANDLE)
                        ++tally.cancelsOfFreedHandles;
                    else
                        ++tally.unexpectedCancelResults;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100 + rng() % 1900));
            }
        });
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w)
        workers.emplace_back([&, w] {
            inserted[w] = work(w, *connections[w], table(w), statements, tally, published[w]);
            --running;
        });
    for (auto& t : workers) t.join();
    for (auto& t : cancellers) t.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    // Each table holds exactly the rows whose inserts succeeded, each with
    // its own value.
    for (int w = 0; w < kWorkers; ++w) {
        SQLHSTMT s = connections[w]->stmt();
        const std::string sql = "SELECT id, v FROM " + table(w) + " ORDER BY id";
        ASSERT_TRUE(SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS)))
            << describe(stmtRecords(s));
        std::set<int> rows;
        while (SQL_SUCCEEDED(ruva70_SQLFetch(s))) {
            SQLINTEGER id = -1;
            char text[64] = {};
            SQLLEN ind = 0;
            ruva70_SQLGetData(s, 1, SQL_C_LONG, &id, sizeof id, &ind);
            ruva70_SQLGetData(s, 2, SQL_C_CHAR, text, sizeof text, &ind);
            EXPECT_EQ(text, valueFor(id)) << "worker " << w;
            rows.insert(id);
        }
        EXPECT_EQ(rows, inserted[w]) << "worker " << w << ": the table differs from the inserts that succeeded";
        ruva70_SQLFreeStmt(s, SQL_CLOSE);
        exec(s, "DROP TABLE " + table(w));
        ruva70_SQLFreeStmt(s, SQL_DROP);
    }

    std::string states;
    for (const auto& [state, n] : tally.failureStates) states += " " + state + ":" + std::to_string(n);
    std::printf(
        "%s: %d statements in %.1f s: %d succeeded, %d failed (%s ), %d cancel calls, %d accepted, %d "
        "on freed handles\n",
        pg()                       ? "PostgreSQL"
        : GetParam() == On::Sqlite ? "SQLite (engine)"
                                   : "SQLite (ODBC driver)",
        kWorkers * statements, seconds, tally.succeeded.load(), tally.failed.load(), states.c_str(),
        tally.cancelCalls.load(), tally.cancelsAccepted.load(), tally.cancelsOfFreedHandles.load());
    for (const auto& p : tally.problems) ADD_FAILURE() << p;
    EXPECT_EQ(tally.succeeded + tally.failed, kWorkers * statements);
    EXPECT_EQ(tally.failedWithoutRecord.load(), 0);
    EXPECT_EQ(tally.wrongValues.load(), 0);
    EXPECT_EQ(tally.unexpectedCancelResults.load(), 0);
    EXPECT_GT(tally.succeeded.load(), 0);
    EXPECT_GT(tally.cancelsAccepted.load(), 0);
}

// Connects on many threads at once, as a pool fills: psqlODBC sets the
// process's locale while it connects, so these take turns inside
// libruva70 (valgrind showed reads of a locale name freed by another
// thread's connect). Every connect succeeds and every session works.
TEST(PostgresConnects, ManyThreadsConnectAtOnce) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 4;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int r = 0; r < kRounds; ++r) {
                SQLHENV env = SQL_NULL_HENV;
                SQLHDBC dbc = SQL_NULL_HDBC;
                if (ruva70_SQLAllocEnv(&env) != SQL_SUCCESS || ruva70_SQLAllocConnect(env, &dbc) != SQL_SUCCESS) {
                    ++failures;
                    continue;
                }
                const std::string cs = pgConnStr();
                SQLCHAR out[1024];
                SQLSMALLINT len = 0;
                if (!SQL_SUCCEEDED(ruva70_SQLDriverConnect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, out,
                                                           sizeof out, &len, SQL_DRIVER_NOPROMPT))) {
                    ++failures;
                } else {
                    SQLHSTMT s = SQL_NULL_HSTMT;
                    char text[16] = {};
                    SQLLEN ind = 0;
                    if (ruva70_SQLAllocStmt(dbc, &s) != SQL_SUCCESS ||
                        !SQL_SUCCEEDED(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT 42", SQL_NTS)) ||
                        !SQL_SUCCEEDED(ruva70_SQLFetch(s)) ||
                        !SQL_SUCCEEDED(ruva70_SQLGetData(s, 1, SQL_C_CHAR, text, sizeof text, &ind)) ||
                        std::string(text) != "42")
                        ++failures;
                    ruva70_SQLDisconnect(dbc);
                }
                ruva70_SQLFreeConnect(dbc);
                ruva70_SQLFreeEnv(env);
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
}
