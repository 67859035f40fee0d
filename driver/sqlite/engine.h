// The SQLite engine: libruva70's own implementation of the ODBC 2.x calls it
// makes, over libsqlite3, for connections whose string names no ODBC driver.
// Its functions have the driver manager's shape (dm.h), so a connection on
// the engine runs through the same code as one on an ODBC driver; the
// handles they take and give are the engine's own objects, never the driver
// manager's.
#pragma once

#include "../dm.h"

namespace ruva::sqlite {

// The engine's functions. The environment-level ones (SQLAllocHandle,
// SQLSetEnvAttr, SQLFreeEnv) are never called: a connection on the engine
// belongs to a driver manager environment and is allocated with
// SQLAllocConnect(SQL_NULL_HENV, &dbc).
const DriverManager& functions();

}  // namespace ruva::sqlite
