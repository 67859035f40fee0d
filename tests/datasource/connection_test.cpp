// Handles, connecting, diagnostics, transactions and cancel on SQLite,
// PostgreSQL and MariaDB, through the Java-visible entry points.
#include "dsconn.h"
#include "jcall.h"

#include <chrono>
#include <fstream>
#include <thread>

namespace {

using qvt::at;
using qvt::Connection;
using qvt::errorCode;
using qvt::Source;
using qvt::zstr;

class ConnectionTest : public ::testing::TestWithParam<Source> {
protected:
    qvt::LocalFrame frame_;
};

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4;
}

// One full handle cycle through the entry points; returns false on any failure.
bool handleCycle(const std::string& connStr) {
    qvt::LocalFrame frame(16);
    jbyteArray ec = errorCode(0, 0);
    jint env = JC(allocEnv, ec);
    if (at(ec, 0) != 0) return false;
    jint dbc = JC(allocConnect, env, ec);
    if (at(ec, 0) != 0) return false;
    JC(driverConnect, dbc, zstr(connStr), ec);
    if (at(ec, 0) != 0 && at(ec, 0) != 1) return false;
    jint stmt = JC(allocStmt, dbc, ec);
    if (at(ec, 0) != 0) return false;
    if (JC(freeStmt, stmt, SQL_DROP) != SQL_SUCCESS) return false;
    JC(disconnect, dbc, ec);
    if (at(ec, 0) != 0) return false;
    JC(freeConnect, dbc, ec);
    if (at(ec, 0) != 0) return false;
    JC(freeEnv, env, ec);
    return at(ec, 0) == 0;
}

TEST_P(ConnectionTest, HandleCycleRepeatsWithoutLeak) {
    const std::string connStr = qvt::connStrFor(GetParam());
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(handleCycle(connStr)) << "warm-up cycle " << i;
    const long before = residentKiB();
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(handleCycle(connStr)) << "cycle " << i;
    const long growth = residentKiB() - before;
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory in quarantine, so resident memory
    // says nothing about leaks there; the cycles must still all succeed.
    (void)growth;
#else
    EXPECT_LT(growth, 4096) << "resident memory grew by " << growth << " KiB over 1000 cycles";
#endif
}

TEST_P(ConnectionTest, AllocationWritesResultBytesAsEachMethodSays) {
    jbyteArray ec = errorCode(0x55, 0x55);
    jint env = JC(allocEnv, ec);
    EXPECT_NE(env, 0);
    EXPECT_EQ(at(ec, 0), 0);
    EXPECT_EQ(at(ec, 1), 0x55) << "allocEnv writes only byte 0";
    jint dbc = JC(allocConnect, env, ec);
    EXPECT_NE(dbc, 0);
    JC(driverConnect, dbc, zstr(qvt::connStrFor(GetParam())), ec);
    ASSERT_TRUE(at(ec, 0) == 0 || at(ec, 0) == 1);
    jbyteArray preset = errorCode(0x33, 0x44);
    jint stmt = JC(allocStmt, dbc, preset);
    EXPECT_NE(stmt, 0);
    EXPECT_EQ(at(preset, 0), 0x33) << "a successful allocStmt leaves errorCode as the caller set it";
    EXPECT_GT(stmt, 0) << "handles travel as positive 31-bit values";
    EXPECT_EQ(JC(freeStmt, stmt, SQL_DROP), SQL_SUCCESS);
    JC(disconnect, dbc, ec);
    JC(freeConnect, dbc, ec);
    JC(freeEnv, env, ec);
    EXPECT_EQ(at(ec, 0), 0);
}

TEST_P(ConnectionTest, ForgedAndFreedStatementHandlesAreInvalid) {
    Connection c;
    c.open(GetParam());
    jbyteArray ec = errorCode();
    jint stmt = c.newStatement();
    EXPECT_EQ(JC(freeStmt, stmt, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(JC(freeStmt, stmt, SQL_DROP), SQL_INVALID_HANDLE) << "freed";
    EXPECT_EQ(JC(execute, stmt), SQL_INVALID_HANDLE) << "freed";
    EXPECT_EQ(JC(cancel, 0x1234567), SQL_INVALID_HANDLE) << "never issued";
    EXPECT_EQ(JC(execDirect, 77, qvt::jstrUtf8("SELECT 1")), 0xFE) << "never issued";
    JC(numResultCols, c.hDbc, ec);
    EXPECT_EQ(at(ec, 0), -2) << "a connection handle passed as a statement";
    JC(disconnect, stmt, ec);
    EXPECT_EQ(at(ec, 0), -2) << "a statement handle passed as a connection";
}

TEST_P(ConnectionTest, MissingDatabaseFailsAndErrorWalksEveryRecord) {
    std::string connStr;
    if (GetParam() == Source::Sqlite) {
        connStr = qvt::sqliteConnStr();
        connStr.replace(connStr.find("Database="), std::string("Database=").size(),
                        "NoCreat=1;Database=/nonexistent-folder/none/");
    } else {
        connStr = qvt::connStrFor(GetParam());
        const size_t at = connStr.find("Database=");
        connStr.replace(at, connStr.find(';', at) - at, "Database=no_such_database");
    }
    jbyteArray ec = errorCode(0, 0);
    jint env = JC(allocEnv, ec);
    jint dbc = JC(allocConnect, env, ec);
    JC(driverConnect, dbc, zstr(connStr), ec);
    EXPECT_EQ(at(ec, 0), -1) << connStr;

    int records = 0;
    for (int i = 0; i < 20; ++i) {
        jbyteArray state = qvt::newBytes(6, 0x7F);
        jbyteArray msg = qvt::newBytes(512, 0x7F);
        jbyteArray rec = errorCode();
        JC(error, 0, dbc, 0, state, msg, rec);
        if (at(rec, 0) == 100) {
            EXPECT_EQ(at(rec, 1), 0);
            break;
        }
        ASSERT_TRUE(at(rec, 0) == 0 || at(rec, 0) == 1) << "record " << i;
        EXPECT_EQ(qvt::cstr(state).size(), 5u) << "a five-character SQLSTATE";
        EXPECT_FALSE(qvt::cstr(msg).empty());
        ++records;
    }
    EXPECT_GE(records, 1);
    JC(freeConnect, dbc, ec);
    JC(freeEnv, env, ec);
}

TEST_P(ConnectionTest, MissingDriverFails) {
    jbyteArray ec = errorCode(0, 0);
    jint env = JC(allocEnv, ec);
    jint dbc = JC(allocConnect, env, ec);
    JC(driverConnect, dbc, zstr("Driver=/nonexistent/libnodriver.so;Database=x;"), ec);
    EXPECT_EQ(at(ec, 0), -1);
    jbyteArray state = qvt::newBytes(6);
    jbyteArray msg = qvt::newBytes(300);
    jbyteArray rec = errorCode();
    JC(error, 0, dbc, 0, state, msg, rec);
    EXPECT_EQ(at(rec, 0), 0);
    EXPECT_EQ(qvt::cstr(state).size(), 5u);
    JC(freeConnect, dbc, ec);
    JC(freeEnv, env, ec);
}

TEST_P(ConnectionTest, LongMessageIsCutAndTerminated) {
    Connection c;
    c.open(GetParam());
    jint stmt = c.newStatement();
    EXPECT_EQ(JC(execDirect, stmt, qvt::jstrUtf8("SELECT * FROM a_table_that_does_not_exist_anywhere_at_all")), 0xFF);
    jbyteArray state = qvt::newBytes(6);
    jbyteArray msg = qvt::newBytes(12, 0x7F);
    jbyteArray rec = errorCode();
    JC(error, 0, 0, stmt, state, msg, rec);
    EXPECT_TRUE(at(rec, 0) == 0 || at(rec, 0) == 1);
    EXPECT_EQ(at(rec, 1), -95);
    std::vector<int8_t> bytes = qvt::read(msg);
    EXPECT_EQ(bytes[11], 0) << "the cut text is terminated";
    EXPECT_EQ(qvt::cstr(msg).size(), 11u);
    JC(freeStmt, stmt, SQL_DROP);
}

TEST_P(ConnectionTest, TransactCommitAndRollbackAreSeenFromASecondConnection) {
    Connection a, b;
    a.open(GetParam());
    const std::string table = qvt::uniqueName("tx");
    a.exec("CREATE TABLE " + table + " (n INTEGER)");
    b.open(GetParam(), a.connStr);
    jbyteArray ec = errorCode();
    JC(setConnectOption, a.hDbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF, ec);
    ASSERT_EQ(at(ec, 0), 0);
    a.exec("INSERT INTO " + table + " VALUES (1)");
    if (a.dialect().isolatesUncommitted) {
        EXPECT_EQ(b.scalar("SELECT COUNT(*) FROM " + table), "0");
    }
    EXPECT_EQ(JC(transact, a.hEnv, a.hDbc, SQL_COMMIT), SQL_SUCCESS);
    EXPECT_EQ(b.scalar("SELECT COUNT(*) FROM " + table), "1");
    a.exec("INSERT INTO " + table + " VALUES (2)");
    EXPECT_EQ(JC(transact, a.hEnv, a.hDbc, 65536 + SQL_ROLLBACK), SQL_SUCCESS) << "low 16 bits of the type";
    EXPECT_EQ(b.scalar("SELECT COUNT(*) FROM " + table), "1");
    b.close();
    JC(setConnectOption, a.hDbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON, ec);
    a.exec("DROP TABLE " + table);
}

INSTANTIATE_TEST_SUITE_P(DataSources, ConnectionTest, qvt::AllSources, qvt::sourceName);

TEST(PostgresCancel, CancelFromAnotherThreadEndsARunningStatement) {
    qvt::LocalFrame frame;
    Connection c;
    c.open(Source::Postgres);
    jint stmt = c.newStatement();
    Connection watcher;
    watcher.open(Source::Postgres);
    // The cancel goes out once the server runs the statement: a cancel that
    // came before the execution would find nothing to end.
    std::thread canceller([stmt, &watcher] {
        for (int i = 0; i < 200; ++i) {
            qvt::LocalFrame threadFrame;
            auto running = watcher.scalar(
                "SELECT COUNT(*) FROM pg_stat_activity WHERE state = 'active' AND query = 'SELECT pg_sleep(30)'");
            if (running && *running != "0") break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        JC(cancel, stmt);
    });
    auto start = std::chrono::steady_clock::now();
    jshort rc = JC(execDirect, stmt, qvt::jstrUtf8("SELECT pg_sleep(30)"));
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    canceller.join();
    EXPECT_EQ(rc, 0xFF);
    EXPECT_LT(seconds, 10.0);
    jbyteArray state = qvt::newBytes(6);
    jbyteArray msg = qvt::newBytes(512);
    jbyteArray rec = errorCode();
    JC(error, 0, 0, stmt, state, msg, rec);
    EXPECT_EQ(at(rec, 0), 0);
    std::string text = qvt::cstr(msg);
    EXPECT_NE(text.find("cancel"), std::string::npos) << qvt::cstr(state) << " " << text;
    JC(freeStmt, stmt, SQL_DROP);
    watcher.close();
}

}  // namespace
