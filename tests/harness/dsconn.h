// A connection to a test data source made through the Java-visible entry
// points (allocEnv, allocConnect, driverConnect), and a reader of query
// results that goes to the driver library directly, so that tests can check
// what a statement did independently of the retrieval entry points.
#pragma once

#include "datasources.h"
#include "jvm.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace qvt {

enum class Source { Sqlite, Postgres, Mariadb };

std::string connStrFor(Source s);

// What the tests write or expect differently on each data source, as data:
// the tests read these fields instead of asking which data source they run on.
struct Dialect {
    const char* name;           // the test instances' name (CTest filters on it)
    const char* dbmsName;       // SQL_DBMS_NAME
    const char* bytesType;      // a column of bytes of any length
    const char* doubleType;     // 8-byte floating point
    const char* textType;       // text of any length
    const char* timestampType;  // a timestamp without zone keeping microseconds, years 1 to 9999
    const char* hexForm;        // a column's bytes as hexadecimal text (upper case), NULL for NULL
    const char* bytesForm;      // a literal of bytes given as hexadecimal digits
    const char* duplicateKey;   // in the message of a duplicate key (the state where it has one)
    bool duplicateKeyState23;   // the duplicate key's SQLSTATE is of class 23
    const char* schema;         // the schema of the test's tables; null where there are none
    bool isolatesUncommitted;   // another connection sees no uncommitted row
    bool emptyPatternIsAll;     // the driver takes an empty catalog pattern as no restriction
    bool decimalsKeepScale;     // a numeric(p,s) column holds its digits exactly and reads with s decimals
    bool arraysAllOrNothing;    // a parameter array runs as one execution: a failing row fails the
                                // array at its first row and no row is done
};
const Dialect& dialectOf(Source s);
// A form above with {} replaced by `x`.
std::string fill(const char* form, const std::string& x);

// Parameterized fixture base: INSTANTIATE_TEST_SUITE_P(..., qvt::AllSources, qvt::sourceName)
// gives instances named Sqlite, Postgres and Mariadb (CTest filters on these names).
inline const auto AllSources = ::testing::Values(Source::Sqlite, Source::Postgres, Source::Mariadb);
inline std::string sourceName(const ::testing::TestParamInfo<Source>& info) {
    return dialectOf(info.param).name;
}

struct Connection {
    jint hEnv = 0;
    jint hDbc = 0;
    Source source = Source::Sqlite;
    std::string connStr;

    // Connects through allocEnv / allocConnect / driverConnect; fails the
    // test on an error (with the driver's diagnostics in the message).
    void open(Source s, const std::string& connectionString = "");
    void close();
    ~Connection() { close(); }

    bool isPostgres() const { return source == Source::Postgres; }
    const Dialect& dialect() const { return dialectOf(source); }

    // A new statement handle (allocStmt).
    jint newStatement();
    // Runs SQL on a statement of its own through the driver library directly;
    // fails the test on an error.
    void exec(const std::string& sql);
    // Like exec, but returns the SQLRETURN.
    int tryExec(const std::string& sql);
    // Rows of a query as text (NULL as std::nullopt), read through the driver
    // library directly.
    std::vector<std::vector<std::optional<std::string>>> query(const std::string& sql);
    // The same, every column read as UTF-16 text (SQL_C_WCHAR).
    std::vector<std::vector<std::optional<std::u16string>>> queryWide(const std::string& sql);
    // The single value of a one-row, one-column query.
    std::optional<std::string> scalar(const std::string& sql);
};

// Every diagnostic record of a handle (through the driver library), as
// "SQLSTATE: message" lines, for failure messages.
std::string diagnostics(jint hEnv, jint hDbc, jint hStmt);

// A unique name for a table of one test.
std::string uniqueName(const std::string& prefix);

}  // namespace qvt
