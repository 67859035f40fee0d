// Connection strings of the test data sources, from the environment that
// CTest sets: a temporary SQLite database file and the throw-away PostgreSQL
// server started by the pg fixture.
#pragma once

#include <string>

namespace qvt {

// Database=<a new file under the test folder>: libruva70's own SQLite
// engine. Each call names a fresh file unless `name` is given.
std::string sqliteConnStr(const std::string& name = "");
// The same through the SQLite ODBC driver (Driver=<its shared object>).
std::string sqliteDriverConnStr(const std::string& name = "");
// The data sources a libruva70 test runs on: SQLite through libruva70's own
// engine, PostgreSQL through psqlODBC, SQLite through the SQLite ODBC driver.
enum class On { Sqlite, Postgres, SqliteDriver };
// The connection string of each (SQLite: a fresh file unless `name` is given).
std::string connStrOf(On on, const std::string& name = "");

// Driver=<psqlODBC>;Servername=<socket folder>;Port=...;Database=qvjdbc;Uid=postgres
std::string pgConnStr();
// A folder for the test's files (created).
std::string tempDir();

}  // namespace qvt
