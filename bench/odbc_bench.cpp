// The floor of every comparison: the benchmark's work done through the
// unixODBC driver manager straight from C, with the same driver and the same
// C types the natives use, without libruva70 or a JVM.
//
//   odbc_bench setup  CONN FETCH_ROWS        the two tables, the fetch table filled
//   odbc_bench fetch  CONN REPS [LIMIT]      SELECT of the fetch table, every value read
//   odbc_bench batch  CONN ROWS REPS         one parameter array of ROWS rows, one transaction
//   odbc_bench batch-rows CONN ROWS REPS [K] the same rows as multi-row INSERTs of K rows
//                                            (default 1024) bound to work buffers, one
//                                            transaction: what the driver itself allows
//   odbc_bench threads CONN THREADS REPS     the fetch on THREADS connections at once
//
// Each timed repetition prints one line:
//   RESULT wall=S cpu=S wait=S rows=N checksum=X
// wall is elapsed time, cpu the process's CPU time, wait the time its threads
// spent runnable but waiting for a processor (from /proc schedstat).
#include "bench_common.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

bool ok(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

[[noreturn]] void die(SQLSMALLINT type, SQLHANDLE h, const char* what) {
    SQLCHAR state[6] = {}, msg[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len);
    std::fprintf(stderr, "odbc_bench: %s failed: %s %s\n", what, state, msg);
    std::exit(1);
}

struct Conn {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool sqlite = false;
    explicit Conn(const std::string& connStr) : sqlite(connStr.find("sqlite") != std::string::npos) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        SQLCHAR out[1024];
        SQLSMALLINT outLen = 0;
        if (!ok(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connStr.c_str(), SQL_NTS, out, sizeof out, &outLen,
                                 SQL_DRIVER_NOPROMPT)))
            die(SQL_HANDLE_DBC, dbc, "connect");
    }
    ~Conn() {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    void exec(const std::string& sql, bool mustWork = true) {
        SQLHSTMT st;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
        SQLRETURN rc = SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS);
        if (mustWork && !ok(rc) && rc != SQL_NO_DATA) die(SQL_HANDLE_STMT, st, sql.c_str());
        SQLFreeHandle(SQL_HANDLE_STMT, st);
    }
};

// One pass over the fetch table: int, bigint, double, varchar(20), bound
// with the C types the natives bind them with (libruva70 describes SQLite's
// integers as 64-bit, so there the first column is an SQL_C_SBIGINT too).
bench::Checksum fetchAll(Conn& c, const std::string& sql) {
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &st);
    if (!ok(SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS))) die(SQL_HANDLE_STMT, st, "select");
    SQLINTEGER i = 0;
    SQLBIGINT i64 = 0, b = 0;
    SQLDOUBLE d = 0;
    SQLWCHAR s[22];
    SQLLEN ind[4] = {};
    if (c.sqlite)
        SQLBindCol(st, 1, SQL_C_SBIGINT, &i64, 8, &ind[0]);
    else
        SQLBindCol(st, 1, SQL_C_SLONG, &i, 4, &ind[0]);
    SQLBindCol(st, 2, SQL_C_SBIGINT, &b, 8, &ind[1]);
    SQLBindCol(st, 3, SQL_C_DOUBLE, &d, 8, &ind[2]);
    SQLBindCol(st, 4, SQL_C_WCHAR, s, sizeof s, &ind[3]);
    bench::Checksum sum;
    SQLRETURN rc;
    while ((rc = SQLFetch(st)) == SQL_SUCCESS) {
        sum.row(c.sqlite ? i64 : i, b, d, reinterpret_cast<const uint16_t*>(s), ind[3] < 0 ? -1 : ind[3] / 2);
    }
    if (rc != SQL_NO_DATA) die(SQL_HANDLE_STMT, st, "fetch");
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return sum;
}

// The batch's values, in the column-wise arrays a parameter array binds.
struct Rows {
    std::vector<SQLBIGINT> iv, bv;
    std::vector<SQLDOUBLE> dv;
    std::vector<SQLWCHAR> sv;
    std::vector<SQLLEN> sl;
    // With fill false the arrays are only made (zeroed): a work area.
    explicit Rows(long rows, bool fill = true)
        : iv(rows), bv(rows), dv(rows), sv(static_cast<size_t>(rows) * 20), sl(rows) {
        for (long r = 0; fill && r < rows; ++r) {
            iv[r] = bench::batchInt(r);
            bv[r] = bench::batchBig(r);
            dv[r] = bench::batchDouble(r);
            std::u16string t = bench::batchText(r);
            std::memcpy(&sv[static_cast<size_t>(r) * 20], t.data(), t.size() * 2);
            sl[r] = static_cast<SQLLEN>(t.size() * 2);
        }
    }
};

// ROWS rows in one parameter array, one transaction; the checksum is read
// back from the table.
void batchOnce(Conn& c, long rows) {
    SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    Rows v(rows);
    std::vector<SQLLEN> i8(rows, 8), d8(rows, 8);
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &st);
    if (!ok(SQLPrepare(st, (SQLCHAR*)bench::kInsertSql, SQL_NTS))) die(SQL_HANDLE_STMT, st, "prepare");
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_INTEGER, 10, 0, v.iv.data(), 0, i8.data());
    SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 19, 0, v.bv.data(), 0, i8.data());
    SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, v.dv.data(), 0, d8.data());
    SQLBindParameter(st, 4, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 20, 0, v.sv.data(), 40, v.sl.data());
    SQLULEN done = 0;
    SQLParamOptions(st, static_cast<SQLULEN>(rows), &done);
    if (!ok(SQLExecute(st))) die(SQL_HANDLE_STMT, st, "execute");
    SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_COMMIT);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
}

// The batch's rows as multi-row statements, as libruva70 runs a parameter
// array: one INSERT of K rows of markers prepared once and bound once to work
// buffers, each chunk's values copied there before its execution; the rows
// left over go through a second statement of their number of rows. This is
// the least a program pays for these rows through the driver itself.
class RowsStatement {
public:
    RowsStatement(Conn& c, long k) : k_(k), w_(k, false), n8_(k, 8) {
        std::string sql = "INSERT INTO bench_batch (i, b, d, s) VALUES ";
        for (long r = 0; r < k; ++r) sql += r ? ",(?,?,?,?)" : "(?,?,?,?)";
        SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &st_);
        if (!ok(SQLPrepare(st_, (SQLCHAR*)sql.c_str(), SQL_NTS))) die(SQL_HANDLE_STMT, st_, "prepare rows");
        for (long r = 0; r < k; ++r) {
            const auto p = static_cast<SQLUSMALLINT>(r * 4);
            SQLBindParameter(st_, p + 1, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_INTEGER, 10, 0, &w_.iv[r], 0, &n8_[r]);
            SQLBindParameter(st_, p + 2, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 19, 0, &w_.bv[r], 0, &n8_[r]);
            SQLBindParameter(st_, p + 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, &w_.dv[r], 0, &n8_[r]);
            SQLBindParameter(st_, p + 4, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 20, 0,
                             &w_.sv[static_cast<size_t>(r) * 20], 40, &w_.sl[r]);
        }
    }
    RowsStatement(const RowsStatement&) = delete;
    RowsStatement& operator=(const RowsStatement&) = delete;
    ~RowsStatement() { SQLFreeHandle(SQL_HANDLE_STMT, st_); }

    void run(const Rows& rows, long first) {
        std::memcpy(w_.iv.data(), &rows.iv[first], k_ * sizeof(SQLBIGINT));
        std::memcpy(w_.bv.data(), &rows.bv[first], k_ * sizeof(SQLBIGINT));
        std::memcpy(w_.dv.data(), &rows.dv[first], k_ * sizeof(SQLDOUBLE));
        std::memcpy(w_.sv.data(), &rows.sv[static_cast<size_t>(first) * 20], k_ * 20 * sizeof(SQLWCHAR));
        std::memcpy(w_.sl.data(), &rows.sl[first], k_ * sizeof(SQLLEN));
        if (!ok(SQLExecute(st_))) die(SQL_HANDLE_STMT, st_, "execute rows");
    }

private:
    long k_;
    SQLHSTMT st_ = SQL_NULL_HSTMT;
    Rows w_;  // the work buffers the markers are bound to
    std::vector<SQLLEN> n8_;
};

void batchRowsOnce(Conn& c, long rows, long k) {
    SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    const Rows values(rows);
    long next = 0;
    if (rows >= k) {
        RowsStatement full(c, k);
        for (; rows - next >= k; next += k) full.run(values, next);
    }
    if (next < rows) RowsStatement(c, rows - next).run(values, next);
    SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_COMMIT);
    SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
}

bench::Checksum readBack(Conn& c) {
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &st);
    if (!ok(SQLExecDirect(st, (SQLCHAR*)bench::kBatchReadSql, SQL_NTS))) die(SQL_HANDLE_STMT, st, "read back");
    SQLBIGINT i = 0, b = 0;
    SQLDOUBLE d = 0;
    SQLWCHAR s[22];
    SQLLEN ind[4] = {};
    SQLBindCol(st, 1, SQL_C_SBIGINT, &i, 8, &ind[0]);
    SQLBindCol(st, 2, SQL_C_SBIGINT, &b, 8, &ind[1]);
    SQLBindCol(st, 3, SQL_C_DOUBLE, &d, 8, &ind[2]);
    SQLBindCol(st, 4, SQL_C_WCHAR, s, sizeof s, &ind[3]);
    bench::Checksum sum;
    while (SQLFetch(st) == SQL_SUCCESS) sum.row(i, b, d, reinterpret_cast<const uint16_t*>(s), ind[3] / 2);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return sum;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: odbc_bench setup|fetch|batch|threads CONN ...\n");
        return 2;
    }
    const std::string mode = argv[1];
    const std::string connStr = argv[2];
    if (mode == "setup") {
        Conn c(connStr);
        const long rows = std::atol(argv[3]);
        const bool pg = connStr.find("psqlodbc") != std::string::npos;
        const bool mariadb = connStr.find("maodbc") != std::string::npos;
        c.exec("DROP TABLE IF EXISTS bench_fetch");
        c.exec("DROP TABLE IF EXISTS bench_batch");
        c.exec("CREATE TABLE bench_fetch (i integer, b bigint, d double precision, s varchar(20))");
        c.exec("CREATE TABLE bench_batch (i integer, b bigint, d double precision, s varchar(20))");
        const std::string n = std::to_string(rows);
        if (mariadb) c.exec("SET SESSION max_recursive_iterations = " + std::to_string(rows + 10));
        if (mariadb)
            c.exec(
                "INSERT INTO bench_fetch WITH RECURSIVE n(g) AS (SELECT 1 UNION ALL SELECT g + 1 FROM n WHERE g < " +
                n + ") SELECT g, g * 3000000000, g * 0.25, concat('text ', g) FROM n");
        else if (pg)
            c.exec(
                "INSERT INTO bench_fetch SELECT g, g * 3000000000, g * 0.25, 'text ' || g "
                "FROM generate_series(1, " +
                n + ") g");
        else
            c.exec(
                "INSERT INTO bench_fetch WITH RECURSIVE n(g) AS (SELECT 1 UNION ALL SELECT g + 1 FROM n WHERE g < " +
                n + ") SELECT g, g * 3000000000, g * 0.25, 'text ' || g FROM n");
        if (pg) c.exec("VACUUM ANALYZE bench_fetch");
        return 0;
    }
    const int reps = std::atoi(argv[mode == "fetch" ? 3 : 4]);
    const std::string fetchSql =
        std::string(bench::kFetchSql) + (mode == "fetch" && argc > 4 ? std::string(" LIMIT ") + argv[4] : "");
    if (mode == "fetch") {
        Conn c(connStr);
        for (int r = 0; r < reps; ++r) {
            bench::Sample s = bench::Sample::start();
            bench::Checksum sum = fetchAll(c, fetchSql);
            s.stop().print(sum.rows, sum.value());
        }
    } else if (mode == "batch") {
        Conn c(connStr);
        const long rows = std::atol(argv[3]);
        for (int r = 0; r < reps; ++r) {
            c.exec("DELETE FROM bench_batch");
            bench::Sample s = bench::Sample::start();
            batchOnce(c, rows);
            s.stop();
            bench::Checksum sum = readBack(c);
            s.print(sum.rows, sum.value());
        }
    } else if (mode == "batch-rows") {
        Conn c(connStr);
        const long rows = std::atol(argv[3]);
        const long k = argc > 5 ? std::atol(argv[5]) : 1024;
        for (int r = 0; r < reps; ++r) {
            c.exec("DELETE FROM bench_batch");
            bench::Sample s = bench::Sample::start();
            batchRowsOnce(c, rows, k);
            s.stop();
            bench::Checksum sum = readBack(c);
            s.print(sum.rows, sum.value());
        }
    } else if (mode == "threads") {
        const int threads = std::atoi(argv[3]);
        std::vector<Conn*> conns;
        for (int t = 0; t < threads; ++t) conns.push_back(new Conn(connStr));
        for (int r = 0; r < reps; ++r) {
            std::vector<bench::Checksum> sums(threads);
            std::vector<long long> waits(threads);
            bench::Sample s = bench::Sample::start();
            std::vector<std::thread> ts;
            for (int t = 0; t < threads; ++t)
                ts.emplace_back([&, t] {
                    const long long w0 = bench::threadWaitNs();
                    sums[t] = fetchAll(*conns[t], fetchSql);
                    waits[t] = bench::threadWaitNs() - w0;
                });
            for (auto& t : ts) t.join();
            s.stop();
            for (long long w : waits) s.addWait(w);
            bench::Checksum total;
            for (auto& x : sums) total.add(x);
            s.print(total.rows, total.value());
        }
        for (Conn* c : conns) delete c;
    } else if (mode == "many") {
        // CONN STATEMENTS REPS [run]: that many statements allocated on one connection, then freed;
        // with "run" each runs a query and keeps its result open until it is freed
        Conn c(connStr);
        const long n = std::atol(argv[3]);
        const bool run = argc > 5 && std::string(argv[5]) == "run";
        std::vector<SQLHSTMT> all(static_cast<size_t>(n));
        for (int r = 0; r < reps; ++r) {
            bench::Sample s = bench::Sample::start();
            for (auto& st : all) {
                SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &st);
                if (run && (!ok(SQLExecDirect(st, (SQLCHAR*)"SELECT 1", SQL_NTS)) || !ok(SQLFetch(st)))) {
                    die(SQL_HANDLE_STMT, st, "SELECT 1");
                }
            }
            for (auto& st : all) SQLFreeHandle(SQL_HANDLE_STMT, st);
            s.stop().print(n, n);
        }
    } else {
        std::fprintf(stderr, "odbc_bench: unknown mode %s\n", mode.c_str());
        return 2;
    }
    return 0;
}
