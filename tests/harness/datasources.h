// Connection strings of the test data sources, from the environment that
// CTest sets: a temporary SQLite database file and the throw-away PostgreSQL
// server started by the pg fixture.
#pragma once

#include <string>

namespace qvt {

// Driver=<SQLite ODBC driver>;Database=<a new file under the test folder>.
// Each call names a fresh file unless `name` is given.
std::string sqliteConnStr(const std::string& name = "");
// Driver=<psqlODBC>;Servername=<socket folder>;Port=...;Database=qvjdbc;Uid=postgres
std::string pgConnStr();
// A folder for the test's files (created).
std::string tempDir();

}  // namespace qvt
