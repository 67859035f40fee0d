// What libruva70 knows and does about a connection beyond the driver
// manager: which data source it is on, the session settings it makes, and
// internal statements.
#pragma once

#include "handles.h"

#include <string>

namespace ruva {

// The source value of a connection that has not been asked yet.
inline constexpr Source kSourceNotAsked = static_cast<Source>(0xFF);

// The data source behind a connected connection: decided right after
// connecting, or asked of the driver manager (SQL_DBMS_NAME) the first time
// it is needed. Call it only inside a call on the connection, before that
// call's own driver manager call.
Source sourceOf(Handle& dbc);
// A connection that connects again (or disconnected) is asked anew.
void forgetSource(Handle& dbc);

// After SQLDriverConnect / SQLBrowseConnect completed with `rc`: keeps the
// connect's own records on the connection (the calls below would clear the
// driver manager's), decides the data source, and puts a PostgreSQL session
// in UTC (see ruva70.h). Returns the connect's result, or
// SQL_SUCCESS_WITH_INFO when the session could not be set.
SQLRETURN afterConnect(Handle& dbc, SQLRETURN rc);

// Whether the PostgreSQL session behind `dmDbc` still runs in UTC, which the
// 8-byte form of timestamptz values needs. SQL_SUCCESS, or SQL_ERROR with a
// record on `h`.
SQLRETURN checkUtcSession(Handle& h, SQLHDBC dmDbc);

// RUVA70_CONN_SCHEMA: sets or reads the connection's current schema (see
// ruva70.h). `out` receives at most 256 bytes with the terminator.
SQLRETURN setSchema(Handle& dbc, const char* name);
SQLRETURN currentSchema(Handle& dbc, char* out);

// Runs one internal statement on the driver manager's connection. `value`,
// when given, receives the first column of the first row as text. On failure
// `reason` holds the data source's message.
SQLRETURN runInternal(SQLHDBC dmDbc, const char* sql, std::string* value, std::string& reason);

}  // namespace ruva
