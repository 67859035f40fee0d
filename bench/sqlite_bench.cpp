// Raw C on libsqlite3, the floor under SQLite's paths: the fetch and the
// batch of odbc_bench with SQLite's own calls (text read as UTF-16, as the
// natives read it), printing the same RESULT lines.
//   sqlite_bench fetch FILE REPS [LIMIT]
//   sqlite_bench batch FILE ROWS REPS
#include "bench_common.h"

#include <sqlite3.h>

#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void die(sqlite3* db, const char* what) {
    std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
}

bench::Checksum fetchAll(sqlite3* db, const char* sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) die(db, "select");
    bench::Checksum sum;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const auto* s = static_cast<const uint16_t*>(sqlite3_column_text16(st, 3));
        const long units = s ? sqlite3_column_bytes16(st, 3) / 2 : -1;
        sum.row(sqlite3_column_int64(st, 0), sqlite3_column_int64(st, 1), sqlite3_column_double(st, 2), s, units);
    }
    if (rc != SQLITE_DONE) die(db, "step");
    sqlite3_finalize(st);
    return sum;
}

void batchOnce(sqlite3* db, long rows) {
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, bench::kInsertSql, -1, &st, nullptr) != SQLITE_OK) die(db, "insert");
    for (long r = 0; r < rows; ++r) {
        const std::u16string text = bench::batchText(r);
        sqlite3_bind_int64(st, 1, bench::batchInt(r));
        sqlite3_bind_int64(st, 2, bench::batchBig(r));
        sqlite3_bind_double(st, 3, bench::batchDouble(r));
        sqlite3_bind_text16(st, 4, text.data(), static_cast<int>(text.size() * 2), SQLITE_TRANSIENT);
        if (sqlite3_step(st) != SQLITE_DONE) die(db, "insert row");
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) die(db, "commit");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: sqlite_bench fetch FILE REPS [LIMIT] | batch FILE ROWS REPS\n");
        return 2;
    }
    const std::string mode = argv[1];
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[2], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) die(db, "open");
    if (mode == "fetch") {
        const int reps = std::atoi(argv[3]);
        const std::string sql = std::string(bench::kFetchSql) + (argc > 4 ? std::string(" LIMIT ") + argv[4] : "");
        for (int r = 0; r < reps; ++r) {
            bench::Sample s = bench::Sample::start();
            bench::Checksum sum = fetchAll(db, sql.c_str());
            s.stop().print(sum.rows, sum.value());
        }
    } else if (mode == "batch" && argc > 4) {
        const long rows = std::atol(argv[3]);
        const int reps = std::atoi(argv[4]);
        for (int r = 0; r < reps; ++r) {
            sqlite3_exec(db, "DELETE FROM bench_batch", nullptr, nullptr, nullptr);
            bench::Sample s = bench::Sample::start();
            batchOnce(db, rows);
            s.stop();
            // The rows read back, checksummed as the other paths do.
            const bench::Checksum sum = fetchAll(db, bench::kBatchReadSql);
            s.print(sum.rows, sum.value());
        }
    } else {
        std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
        return 2;
    }
    sqlite3_close(db);
    return 0;
}
