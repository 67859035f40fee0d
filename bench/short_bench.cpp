// The limit of short statements through psqlODBC, from C: THREADS threads,
// one connection each, each cycle setting two parameters, executing the
// query, reading its one row and closing the cursor, for SECONDS seconds.
// The statement is allocated, prepared and its parameters bound once per
// thread, and each cycle is an SQLExecute: psqlODBC then sends Bind, Execute
// and Sync as one message and reads one answer, the fewest round trips it
// allows and the least work for the server (its first execution costs a
// Parse and a Describe round trip, and its release a DEALLOCATE, once per
// thread).
//
//   short_bench CONN THREADS SECONDS [CYCLES]   prints "cycles <n> seconds <s> cpu <s>"
//
// With CYCLES each thread runs that many cycles and stops (SECONDS is then
// not used): a fixed amount of work for callgrind.
#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kSql = "SELECT name FROM bench_short WHERE id = ? AND name <> ?";

bool ok(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

void die(const char* what, SQLHANDLE dbc, SQLHANDLE stmt) {
    SQLCHAR state[6] = {}, msg[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLError(SQL_NULL_HENV, dbc, stmt, state, &native, msg, sizeof msg, &len);
    std::fprintf(stderr, "short_bench: %s: %s %s\n", what, state, msg);
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: short_bench CONN THREADS SECONDS [CYCLES]\n");
        return 2;
    }
    const std::string conn = argv[1];
    const int threads = std::atoi(argv[2]);
    const double seconds = std::atof(argv[3]);
    const long fixed = argc > 4 ? std::atol(argv[4]) : 0;
    SQLHENV env = SQL_NULL_HENV;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    std::vector<SQLHDBC> dbcs(threads);
    for (auto& dbc : dbcs) {
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        if (!ok(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)conn.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                 SQL_DRIVER_NOPROMPT)))
            die("connect", dbc, SQL_NULL_HSTMT);
    }
    std::atomic<bool> stop{false};
    std::atomic<long> cycles{0};
    std::vector<std::thread> ts;
    const auto start = std::chrono::steady_clock::now();
    timespec cpu0{}, cpu1{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
    for (int t = 0; t < threads; ++t)
        ts.emplace_back([&, t] {
            SQLHSTMT st = SQL_NULL_HSTMT;
            SQLAllocHandle(SQL_HANDLE_STMT, dbcs[t], &st);
            SQLINTEGER id = 0;
            SQLLEN idInd = 0, textInd = SQL_NTS, nameInd = 0;
            char text[] = "x";
            char name[64];
            if (!ok(SQLPrepare(st, (SQLCHAR*)kSql, SQL_NTS))) die("prepare", SQL_NULL_HDBC, st);
            SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, &idInd);
            SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, text, sizeof text, &textInd);
            long n = 0;
            for (; fixed > 0 ? n < fixed : !stop.load(std::memory_order_relaxed); ++n) {
                id = static_cast<SQLINTEGER>(n % 1000 + 1);
                if (!ok(SQLExecute(st))) die("execute", SQL_NULL_HDBC, st);
                if (!ok(SQLFetch(st))) die("fetch", SQL_NULL_HDBC, st);
                if (!ok(SQLGetData(st, 1, SQL_C_CHAR, name, sizeof name, &nameInd))) die("read", SQL_NULL_HDBC, st);
                SQLFreeStmt(st, SQL_CLOSE);
            }
            cycles.fetch_add(n);
            SQLFreeHandle(SQL_HANDLE_STMT, st);
        });
    if (fixed == 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop.store(true);
    for (auto& t : ts) t.join();
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
    const double cpu = static_cast<double>(cpu1.tv_sec - cpu0.tv_sec) + (cpu1.tv_nsec - cpu0.tv_nsec) / 1e9;
    std::printf("cycles %ld seconds %.3f cpu %.3f\n", cycles.load(), took, cpu);
    for (auto& dbc : dbcs) {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return 0;
}
