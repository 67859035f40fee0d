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
//   short_bench CONN THREADS SECONDS [CYCLES [POOL]]   prints "cycles <n> seconds <s> cpu <s>"
//
// With CYCLES each thread runs that many cycles and stops (SECONDS is then
// not used, 0: run for SECONDS): a fixed amount of work for callgrind. With
// POOL the threads share that many connections, each borrowed for one cycle
// from a pool that hands out the one returned last and makes a thread that
// finds none wait: the work of the Java paths, which borrow from HikariCP.
#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
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

// One connection with its statement prepared and its parameters bound.
struct Slot {
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLINTEGER id = 0;
    SQLLEN idInd = 0, textInd = SQL_NTS, nameInd = 0;
    char text[2] = "x";
    char name[64] = {};
};

void prepare(Slot& s) {
    SQLAllocHandle(SQL_HANDLE_STMT, s.dbc, &s.st);
    if (!ok(SQLPrepare(s.st, (SQLCHAR*)kSql, SQL_NTS))) die("prepare", SQL_NULL_HDBC, s.st);
    SQLBindParameter(s.st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &s.id, 0, &s.idInd);
    SQLBindParameter(s.st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, s.text, sizeof s.text, &s.textInd);
}

void cycle(Slot& s, long n) {
    s.id = static_cast<SQLINTEGER>(n % 1000 + 1);
    if (!ok(SQLExecute(s.st))) die("execute", SQL_NULL_HDBC, s.st);
    if (!ok(SQLFetch(s.st))) die("fetch", SQL_NULL_HDBC, s.st);
    if (!ok(SQLGetData(s.st, 1, SQL_C_CHAR, s.name, sizeof s.name, &s.nameInd))) die("read", SQL_NULL_HDBC, s.st);
    SQLFreeStmt(s.st, SQL_CLOSE);
}

// The connections a pool hands out: the most recently returned first, a
// thread that finds none waits for one.
class Pool {
public:
    explicit Pool(std::vector<Slot>& slots) {
        for (auto& s : slots) free_.push_back(&s);
    }
    Slot* take() {
        std::unique_lock<std::mutex> l(m_);
        cv_.wait(l, [this] { return !free_.empty(); });
        Slot* s = free_.back();
        free_.pop_back();
        return s;
    }
    void give(Slot* s) {
        {
            std::lock_guard<std::mutex> l(m_);
            free_.push_back(s);
        }
        cv_.notify_one();
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Slot*> free_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: short_bench CONN THREADS SECONDS [CYCLES [POOL]]\n");
        return 2;
    }
    const std::string conn = argv[1];
    const int threads = std::atoi(argv[2]);
    const double seconds = std::atof(argv[3]);
    const long fixed = argc > 4 ? std::atol(argv[4]) : 0;
    // POOL > 0: the threads share that many connections, borrowed for each cycle.
    const int pooled = argc > 5 ? std::atoi(argv[5]) : 0;
    SQLHENV env = SQL_NULL_HENV;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    std::vector<Slot> slots(static_cast<size_t>(pooled > 0 ? pooled : threads));
    for (auto& s : slots) {
        SQLAllocHandle(SQL_HANDLE_DBC, env, &s.dbc);
        if (!ok(SQLDriverConnect(s.dbc, nullptr, (SQLCHAR*)conn.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                 SQL_DRIVER_NOPROMPT)))
            die("connect", s.dbc, SQL_NULL_HSTMT);
        prepare(s);
    }
    Pool pool(slots);
    std::atomic<bool> stop{false};
    std::atomic<long> cycles{0};
    std::vector<std::thread> ts;
    const auto start = std::chrono::steady_clock::now();
    timespec cpu0{}, cpu1{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
    for (int t = 0; t < threads; ++t)
        ts.emplace_back([&, t] {
            long n = 0;
            for (; fixed > 0 ? n < fixed : !stop.load(std::memory_order_relaxed); ++n) {
                if (pooled > 0) {
                    Slot* s = pool.take();
                    cycle(*s, n);
                    pool.give(s);
                } else {
                    cycle(slots[static_cast<size_t>(t)], n);
                }
            }
            cycles.fetch_add(n);
        });
    if (fixed == 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop.store(true);
    for (auto& t : ts) t.join();
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
    const double cpu = static_cast<double>(cpu1.tv_sec - cpu0.tv_sec) + (cpu1.tv_nsec - cpu0.tv_nsec) / 1e9;
    std::printf("cycles %ld seconds %.3f cpu %.3f\n", cycles.load(), took, cpu);
    for (auto& s : slots) {
        SQLFreeHandle(SQL_HANDLE_STMT, s.st);
        SQLDisconnect(s.dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, s.dbc);
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return 0;
}
