// What libruva70 knows and does about a connection beyond the driver
// manager: which data source it is on, the session settings it makes, and
// internal statements.
#pragma once

#include "handles.h"

#include <string>

namespace ruva {

// The record of the data source behind a connected connection: decided right
// after connecting, or asked of the driver manager (SQL_DBMS_NAME) the first
// time it is needed; null while the connection is not connected. Call it
// only inside a call on the connection, before that call's own driver
// manager call.
const DataSource* sourceOf(Handle& dbc);
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

// Whether a connected connection is lost: the driver's answer to
// SQL_ATTR_CONNECTION_DEAD, kept once it is yes. Asking goes through the
// driver manager's connection, whose own records it clears: move them first
// where they matter. A driver that cannot answer is taken as alive (and not
// asked again); a connection that is not connected is not lost.
bool connectionLost(Handle& dbc);
// The same for the connection a statement belongs to.
bool statementConnectionLost(Handle& stmt);
// Whether an error record's SQLSTATE would be reported as 08S01 on a lost
// connection: every state but the ones that already say the connection ended
// (class 08, PostgreSQL's 57P0x), warnings (01) and "no data" (00, 02).
bool reportedAsLost(const char* state);
// Moves the driver manager's records of a connection into libruva70's own
// list, after the records already there.
void keepConnectionRecords(Handle& dbc);
// RUVA70_CONN_SCHEMA: sets or reads the connection's current schema (see
// ruva70.h) as its data source has one. `out` receives at most 256 bytes
// with the terminator.
SQLRETURN setSchema(Handle& dbc, const char* name);
SQLRETURN currentSchema(Handle& dbc, char* out);

// Runs one internal statement on a connection of `d`. `value`,
// when given, receives the first column of the first row as text. On failure
// `reason` holds the data source's message.
SQLRETURN runInternal(const DriverManager& d, SQLHDBC dmDbc, const char* sql, std::string* value,
                      std::string& reason);

}  // namespace ruva
