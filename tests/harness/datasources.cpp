#include "datasources.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace qvt {
namespace {

std::string envOr(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

}  // namespace

std::string tempDir() {
    std::string dir = envOr("QVT_TMP", "/tmp/qvjdbc-tests");
    std::filesystem::create_directories(dir);
    return dir;
}

namespace {

std::string sqliteFile(const std::string& name) {
    static std::atomic<int> counter{0};
    std::string file = tempDir() + "/" +
                       (name.empty() ? "db-" + std::to_string(getpid()) + "-" + std::to_string(counter++) : name) +
                       ".sqlite";
    if (name.empty()) std::filesystem::remove(file);
    return file;
}

}  // namespace

std::string sqliteConnStr(const std::string& name) {
    return "Database=" + sqliteFile(name) + ";SyncPragma=OFF;";
}

std::string sqliteDriverConnStr(const std::string& name) {
    return "Driver=" + envOr("QVT_SQLITE_DRIVER", "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so") +
           ";Database=" + sqliteFile(name) + ";SyncPragma=OFF;";
}

std::string connStrOf(On on, const std::string& name) {
    switch (on) {
        case On::Postgres:
            return pgConnStr();
        case On::SqliteDriver:
            return sqliteDriverConnStr(name);
        default:
            return sqliteConnStr(name);
    }
}

std::string pgConnStr() {
    return "Driver=" + envOr("QVT_PG_DRIVER", "/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so") +
           ";Servername=" + envOr("QVT_PG_HOST", "/tmp/qvjdbc-pg") + ";Port=" + envOr("QVT_PG_PORT", "54329") +
           ";Database=qvjdbc;Uid=postgres;Pwd=;";
}

}  // namespace qvt
