// Rows per second of a simple 1M-row fetch from SQLite through libruva70
// alone: the same three columns the Java benchmark reads, bound once, one
// SQLFetch per row. The floor under the native library and the JVM.
//
//   fetch_bench DATABASE_FILE [ROWS]
#include "qvjdbc/driver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* kSqliteDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

bool ok(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

SQLRETURN exec(SQLHDBC dbc, const std::string& sql) {
    SQLHSTMT st = SQL_NULL_HSTMT;
    ruva70_SQLAllocStmt(dbc, &st);
    SQLRETURN rc = ruva70_SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    ruva70_SQLFreeStmt(st, SQL_DROP);
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: fetch_bench DATABASE_FILE [ROWS]\n");
        return 2;
    }
    const long rows = argc > 2 ? std::atol(argv[2]) : 1000000;
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    ruva70_SQLAllocEnv(&env);
    ruva70_SQLAllocConnect(env, &dbc);
    std::string conn = std::string("Driver=") + kSqliteDriver + ";Database=" + argv[1] + ";";
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    if (!ok(ruva70_SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(conn.data()), SQL_NTS, out, sizeof out,
                                    &outLen, SQL_DRIVER_NOPROMPT))) {
        std::fprintf(stderr, "cannot connect: %s\n", conn.c_str());
        return 1;
    }
    // The table of the benchmark (made once per database file).
    if (!ok(exec(dbc, "SELECT 1 FROM bench LIMIT 1"))) {
        exec(dbc, "CREATE TABLE bench (id integer, name varchar(20), price double)");
        exec(dbc, "INSERT INTO bench WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                      std::to_string(rows) + ") SELECT i, 'name ' || i, i * 0.5 FROM n");
    }
    SQLHSTMT st = SQL_NULL_HSTMT;
    ruva70_SQLAllocStmt(dbc, &st);
    const auto start = std::chrono::steady_clock::now();
    ruva70_SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>("SELECT id, name, price FROM bench")),
                         SQL_NTS);
    SQLINTEGER id = 0;
    SQLWCHAR name[42];
    SQLDOUBLE price = 0;
    SQLLEN ind[3] = {};
    ruva70_SQLBindCol(st, 1, SQL_C_SLONG, &id, 4, &ind[0]);
    ruva70_SQLBindCol(st, 2, SQL_C_WCHAR, name, sizeof name, &ind[1]);
    ruva70_SQLBindCol(st, 3, SQL_C_DOUBLE, &price, 8, &ind[2]);
    long n = 0;
    double sum = 0;
    while (ok(ruva70_SQLFetch(st))) {
        ++n;
        sum += price;
    }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("libruva70 alone: %ld rows in %.3f s = %.0f rows/s (checksum %.1f)\n", n, secs, n / secs, sum);
    ruva70_SQLFreeStmt(st, SQL_DROP);
    ruva70_SQLDisconnect(dbc);
    ruva70_SQLFreeConnect(dbc);
    ruva70_SQLFreeEnv(env);
    return n > 0 ? 0 : 1;
}
