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

enum class Source { Sqlite, Postgres };

std::string connStrFor(Source s);

// Parameterized fixture base: INSTANTIATE_TEST_SUITE_P(..., qvt::AllSources, qvt::sourceName)
// gives instances named Sqlite and Postgres (CTest filters on these names).
inline const auto AllSources = ::testing::Values(Source::Sqlite, Source::Postgres);
inline std::string sourceName(const ::testing::TestParamInfo<Source>& info) {
    return info.param == Source::Sqlite ? "Sqlite" : "Postgres";
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
