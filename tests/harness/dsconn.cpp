#include "dsconn.h"

#include "jcall.h"
#include "qvjdbc/codes.h"
#include "qvjdbc/driver.h"

#include <atomic>
#include <unistd.h>

namespace qvt {
namespace {

const qv::DriverTable& d() {
    return qv::kDriverExports;
}

}  // namespace

std::string connStrFor(Source s) {
    switch (s) {
        case Source::Postgres:
            return pgConnStr();
        case Source::Mariadb:
            return mariadbConnStr();
        default:
            return sqliteConnStr();
    }
}

const Dialect& dialectOf(Source s) {
    // clang-format off
    //                                 name        DBMS          bytes       double              text  timestamp
    //                                 hexForm                                            bytesForm
    //                                 duplicateKey      dup23  schema    isolates emptyIsAll keepScale allOrNothing
    static const Dialect kSqlite = {"Sqlite", "SQLite", "BLOB", "DOUBLE", "TEXT", "TIMESTAMP",
                                    "CASE WHEN {} IS NULL THEN NULL ELSE hex({}) END", "X'{}'",
                                    "UNIQUE", false, nullptr, false, false, false, false};
    static const Dialect kPostgres = {"Postgres", "PostgreSQL", "BYTEA", "DOUBLE PRECISION", "TEXT", "TIMESTAMP",
                                      "upper(encode({}, 'hex'))", "decode('{}', 'hex')",
                                      "duplicate key", true, "public", true, true, true, false};
    static const Dialect kMariadb = {"Mariadb", "MariaDB", "LONGBLOB", "DOUBLE", "LONGTEXT", "DATETIME(6)",
                                     "hex({})", "X'{}'",
                                     "Duplicate entry", true, nullptr, true, true, true, true};
    // clang-format on
    switch (s) {
        case Source::Postgres:
            return kPostgres;
        case Source::Mariadb:
            return kMariadb;
        default:
            return kSqlite;
    }
}

std::string fill(const char* form, const std::string& x) {
    std::string out = form;
    for (size_t at = out.find("{}"); at != std::string::npos; at = out.find("{}", at + x.size()))
        out.replace(at, 2, x);
    return out;
}

std::string diagnostics(jint hEnv, jint hDbc, jint hStmt) {
    std::string out;
    for (int i = 0; i < 20; ++i) {
        SQLCHAR state[8] = {};
        SQLCHAR msg[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        SQLRETURN rc =
            d().SQLError(qv::henv(hEnv), qv::hdbc(hDbc), qv::hstmt(hStmt), state, &native, msg, sizeof msg, &len);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        out += std::string(reinterpret_cast<char*>(state)) + ": " + reinterpret_cast<char*>(msg) + "\n";
    }
    return out;
}

void Connection::open(Source s, const std::string& connectionString) {
    source = s;
    connStr = connectionString.empty() ? connStrFor(s) : connectionString;
    jbyteArray ec = errorCode();
    hEnv = JC(allocEnv, ec);
    ASSERT_EQ(at(ec, 0), 0);
    hDbc = JC(allocConnect, hEnv, ec);
    ASSERT_EQ(at(ec, 0), 0);
    JC(driverConnect, hDbc, zstr(connStr), ec);
    ASSERT_TRUE(at(ec, 0) == 0 || at(ec, 0) == 1) << connStr << "\n" << diagnostics(0, hDbc, 0);
    env()->DeleteLocalRef(ec);
}

void Connection::close() {
    if (hDbc) {
        d().SQLDisconnect(qv::hdbc(hDbc));
        d().SQLFreeConnect(qv::hdbc(hDbc));
        hDbc = 0;
    }
    if (hEnv) {
        d().SQLFreeEnv(qv::henv(hEnv));
        hEnv = 0;
    }
}

jint Connection::newStatement() {
    jbyteArray ec = errorCode(0, 0);
    jint h = JC(allocStmt, hDbc, ec);
    EXPECT_EQ(at(ec, 0), 0) << diagnostics(0, hDbc, 0);
    env()->DeleteLocalRef(ec);
    return h;
}

int Connection::tryExec(const std::string& sql) {
    SQLHSTMT h = SQL_NULL_HSTMT;
    if (d().SQLAllocStmt(qv::hdbc(hDbc), &h) != SQL_SUCCESS) return SQL_ERROR;
    SQLRETURN rc = d().SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    d().SQLFreeStmt(h, SQL_DROP);
    return rc;
}

void Connection::exec(const std::string& sql) {
    SQLHSTMT h = SQL_NULL_HSTMT;
    ASSERT_EQ(d().SQLAllocStmt(qv::hdbc(hDbc), &h), SQL_SUCCESS);
    SQLRETURN rc = d().SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA)
        << sql << "\n"
        << diagnostics(0, 0, qv::handleToJava(h));
    d().SQLFreeStmt(h, SQL_DROP);
}

namespace {

// Every row of a query, each column read with SQLGetData as text of the
// character type Char (SQL_C_CHAR for char, SQL_C_WCHAR for char16_t),
// piece by piece.
template <typename Char>
std::vector<std::vector<std::optional<std::basic_string<Char>>>> readRows(jint hDbc, const std::string& sql) {
    constexpr SQLSMALLINT cType = sizeof(Char) == 1 ? SQL_C_CHAR : SQL_C_WCHAR;
    std::vector<std::vector<std::optional<std::basic_string<Char>>>> rows;
    SQLHSTMT h = SQL_NULL_HSTMT;
    if (d().SQLAllocStmt(qv::hdbc(hDbc), &h) != SQL_SUCCESS) {
        ADD_FAILURE() << "no statement for " << sql;
        return rows;
    }
    SQLRETURN rc = d().SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        ADD_FAILURE() << sql << "\n" << diagnostics(0, 0, qv::handleToJava(h));
        d().SQLFreeStmt(h, SQL_DROP);
        return rows;
    }
    SQLSMALLINT cols = 0;
    d().SQLNumResultCols(h, &cols);
    while (d().SQLFetch(h) == SQL_SUCCESS) {
        std::vector<std::optional<std::basic_string<Char>>> row;
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(cols); ++c) {
            std::basic_string<Char> value;
            bool isNull = false;
            for (;;) {
                Char buf[2048];
                SQLLEN ind = 0;
                SQLRETURN g = d().SQLGetData(h, c, cType, buf, sizeof buf, &ind);
                if (g != SQL_SUCCESS && g != SQL_SUCCESS_WITH_INFO) break;
                if (ind == SQL_NULL_DATA) {
                    isNull = true;
                    break;
                }
                // A piece fills the buffer less its terminator.
                const SQLLEN room = static_cast<SQLLEN>(sizeof buf - sizeof(Char));
                const SQLLEN got = (ind == SQL_NO_TOTAL || ind > room) ? room : ind;
                value.append(buf, static_cast<size_t>(got) / sizeof(Char));
                if (g == SQL_SUCCESS) break;
            }
            row.push_back(isNull ? std::nullopt : std::optional<std::basic_string<Char>>(value));
        }
        rows.push_back(std::move(row));
    }
    d().SQLFreeStmt(h, SQL_DROP);
    return rows;
}

}  // namespace

std::vector<std::vector<std::optional<std::string>>> Connection::query(const std::string& sql) {
    return readRows<char>(hDbc, sql);
}

std::vector<std::vector<std::optional<std::u16string>>> Connection::queryWide(const std::string& sql) {
    return readRows<char16_t>(hDbc, sql);
}

std::optional<std::string> Connection::scalar(const std::string& sql) {
    auto rows = query(sql);
    if (rows.empty() || rows[0].empty()) {
        ADD_FAILURE() << "no value from " << sql;
        return std::nullopt;
    }
    return rows[0][0];
}

std::string uniqueName(const std::string& prefix) {
    static std::atomic<int> counter{0};
    return prefix + "_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
}

}  // namespace qvt
