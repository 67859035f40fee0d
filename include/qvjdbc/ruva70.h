// ruva70: the client driver library's own interface beyond ODBC 2.x.
//
// The native library reaches the driver only through the entry points listed
// in driver.h. This header documents the values of the driver's own that
// travel through those entry points.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#ifndef RUVA70_API
#define RUVA70_API SQL_API
#endif

// ---------------------------------------------------------------------------
// Statement options (SQLSetStmtOption / SQLGetStmtOption)
// ---------------------------------------------------------------------------

// 3057: driver type codes. While 1, SQLDescribeCol and SQLDescribeParam report
// the driver's own type codes (below) instead of the standard ODBC SQL types.
// Default 0. Any value other than 0 and 1 is refused with SQL_ERROR and a
// diagnostic (SQLSTATE S1009).
#define RUVA70_STMT_DRIVER_TYPES 3057

// 3031: type from value. While 1, the native library binds each parameter
// with an SQL type derived from the value it holds. Default 0; settable per
// statement with SQLSetStmtOption (0 or 1, otherwise SQL_ERROR / S1009).
// It reads 1 on a prepared statement whose parameters the data source could
// not describe (below), whatever was set.
#define RUVA70_STMT_TYPE_FROM_VALUE 3031

// Parameters the data source cannot describe. On PostgreSQL the server types
// a statement's parameters when it parses it, and refuses a statement whose
// parameters the text does not type (`? IS NULL`, `? + ?`: 42P18, 42725) or
// that names a function with OUT parameters (42883, the OUT parameters
// counted as arguments). When SQLDescribeParam fails with a state of class 42
// (after psqlODBC rolled its own savepoint back, so a transaction stays
// usable), every parameter of that prepared statement is described as
// SQL_VARCHAR of size 0, nullable unknown, with SQL_SUCCESS; option 3031
// reads 1 for it, and SQLExecute runs it as SQLExecDirect of the prepared
// text, where psqlODBC types each parameter from its binding (`$1::int4` for
// SQL_INTEGER) and leaves OUT parameters out of a {call}; an input that
// psqlODBC would send untyped gets a cast in that text: character data
// CAST(? AS varchar), SQL_FLOAT and SQL_DOUBLE CAST(? AS float8), SQL_BIT
// CAST(? AS boolean). A real error in the text is then reported by the
// execution. The next SQLPrepare ends this.

// 3059: output parameters take input. While 1, SQLBindParameter binds a
// parameter given as SQL_PARAM_OUTPUT as SQL_PARAM_INPUT_OUTPUT: the buffer
// and length/indicator carry the input value at execution and receive the
// output. Default 0; 0 or 1, otherwise SQL_ERROR / S1009.
#define RUVA70_STMT_OUTPUT_INPUT 3059

// 3058: rows per execution of a parameter array of a prepared plain
// INSERT INTO t [(columns)] VALUES (?, ..., ?). Such an array runs as
// multi-row inserts, INSERT ... VALUES (...), (...), ..., on PostgreSQL and
// SQLite: 0 (the default) takes the library's chunk size (1,024 rows, fewer
// when the rows' markers would exceed 32,766 on SQLite or 4,096 on
// PostgreSQL, where psqlODBC fails on longer ones), n > 1 at most n rows per
// execution, 1 the data source's own parameter-array path. The results are
// those of the data source's own path: a chunk that fails runs again one row
// at a time, and the last row always runs alone. Statement-level triggers
// fire once per chunk.
#define RUVA70_STMT_INSERT_ROWS 3058

// 3060: rows per chunk of a query read through a cursor. While n > 0, an
// execution (SQLExecute, SQLExecDirect) of a single SELECT, VALUES, TABLE or
// WITH ... SELECT query, with at most one row of parameters, on a connection
// in manual-commit mode, reads the rows n at a time instead of whole:
//   PostgreSQL: the statement runs as DECLARE ruva70_cN NO SCROLL CURSOR FOR
//   <query> (its parameters bound as usual) and FETCH n FROM ruva70_cN on the
//   same statement, the next FETCH when a fetch has read the last row of a
//   chunk of n. Column bindings, descriptions and SQLRowCount answer the
//   FETCH's result, whose columns are the query's. SQLFreeStmt(SQL_CLOSE or
//   SQL_DROP), a new execution or SQLPrepare sends CLOSE ruva70_cN; a
//   prepared statement stays prepared. A cursor belongs to its transaction:
//   after SQLTransact (or auto-commit turned on) the fetch that needs the
//   next chunk fails with SQLSTATE 24000 and the rows already read stay
//   read; an error of a later chunk (22012, say) fails that fetch, and the
//   rows before it were delivered. Texts holding INSERT, UPDATE, DELETE,
//   MERGE or INTO, or a locking clause (FOR UPDATE, FOR SHARE), are read
//   whole, so that their changes and locks are all made by the execution.
//   Other data sources: the option is kept and changes nothing.
// Default 0 (read whole); in auto-commit mode the rows are read whole.
#define RUVA70_STMT_FETCH_ROWS 3060

// Diagnostics kept across binding calls: after an execution (SQLExecute,
// SQLExecDirect, SQLParamData) that returned SQL_ERROR or
// SQL_SUCCESS_WITH_INFO, the SQLBindParameter and SQLParamOptions calls that
// follow keep the execution's diagnostic records for SQLError (they add their
// own after them) instead of clearing them. So a caller may restore a
// statement's single-row bindings right after a failed parameter-array
// execution and still read what the execution reported. Any other call on
// the statement clears the records as usual.

// ---------------------------------------------------------------------------
// Binary parameters and parameter arrays
// ---------------------------------------------------------------------------

// A SQL_C_BINARY input parameter stores, at every execution, the length its
// indicator holds then (or that SQL_LEN_DATA_AT_EXEC(n) gives then), on
// every data source. The SQLite driver itself reads that length once per
// SQLBindParameter, and inside a parameter array takes the first value
// row's length for every row; so on SQLite libruva70 binds each such
// parameter to the driver again before every SQLExecute / SQLExecDirect,
// and runs a parameter array whose binary rows differ in length one row at
// a time. Such an array answers as the driver's own loop over an array:
//   - rows run in order and stop at the first that fails; in autocommit
//     mode each row commits on its own;
//   - the SQLParamOptions row-number variable holds the number of rows done
//     before the failing row (its 0-based index), or all rows on success;
//   - SQLRowCount after success is the sum of the rows' counts;
//   - the failing row's records (and those of any row that returned
//     SQL_SUCCESS_WITH_INFO) are the statement's records.
// Not covered on SQLite: a binary value sent at execution with
// SQL_DATA_AT_EXEC and no length (the driver stores as many bytes as the
// buffer length: give SQL_LEN_DATA_AT_EXEC(n)), and data at execution
// inside a parameter array.
//
// psqlODBC answers parameter arrays as it does, passed on unchanged. A
// statement the server has not parsed yet sends BatchSize rows (default
// 100) per simple-query message, the values written into the text; each
// message is one transaction in autocommit mode, and after a failure the
// row-number variable holds the last row of the failing message. Once the
// server has parsed the statement (SQLDescribeParam, an earlier execution),
// each row is one bind-and-execute round trip, and the row-number variable
// holds the failing row's 1-based number. SQLRowCount is the last row's (or
// last statement's) count.

// The row-number variable of SQLParamOptions after a failed parameter-array
// execution holds the failing row counted from 1, as ODBC defines it, on
// every data source: the SQLite driver's own count from 0 is moved to it.

// ---------------------------------------------------------------------------
// Information types (SQLGetInfo)
// ---------------------------------------------------------------------------

// 3001: state of the data store behind a connection, a 32-bit value.
#define RUVA70_INFO_DATA_STORE_STATE 3001
#define RUVA70_STORE_UNKNOWN 0     // the data source cannot tell (SQLite, others)
#define RUVA70_STORE_READ_WRITE 1  // PostgreSQL: a primary, transaction_read_only off
#define RUVA70_STORE_READ_ONLY 2   // PostgreSQL: pg_is_in_recovery() or transaction_read_only on
// On PostgreSQL the state is asked with a statement on the connection each
// time. The connection's transaction state is left as it was found: in
// manual-commit mode the statement runs in the application's transaction
// when one is in progress, and otherwise the transaction that the statement
// needed is ended at once (no transaction stays open, no snapshot is kept).
// A connection that is not connected gets SQL_ERROR and SQLSTATE 08003.

// 3002: how the data source behind a connection hands back the keys an
// INSERT generated, a 32-bit value; asked of the data source's name only.
#define RUVA70_INFO_GENERATED_KEYS 3002
#define RUVA70_KEYS_NONE 0        // no way known (other data sources)
#define RUVA70_KEYS_RETURNING 1   // PostgreSQL: a RETURNING clause on INSERT, UPDATE, DELETE
#define RUVA70_KEYS_LAST_ROWID 2  // SQLite: last_insert_rowid() on the connection after each INSERT
// MariaDB: LAST_INSERT_ID() on the connection after each INSERT, the key of
// its first row; the rows after it got that key plus a multiple of
// @@auto_increment_increment.
#define RUVA70_KEYS_LAST_INSERT_ID 3

// 3004: how the data source behind a connection writes an array value as
// text, a 32-bit value; asked of the data source's record only. Columns of
// an array type report the driver type RUVA70_TYPE_ARRAY (below) and arrive
// as that text; parameters take it as character data.
#define RUVA70_INFO_ARRAY_TEXT 3004
#define RUVA70_ARRAYS_NONE 0  // no arrays (SQLite, MariaDB, others)
#define RUVA70_ARRAYS_BRACES \
    1  // PostgreSQL: {1,2,NULL}, {"a \"b\"",c}, {{1,2},{3,4}}; element
       // type named by the column's type name less its leading '_'

// ---------------------------------------------------------------------------
// Connection options
// ---------------------------------------------------------------------------

// 3003: the connection's current schema, text (SQLSetConnectOption takes a
// null-terminated name, SQLGetConnectOption writes at most 256 bytes with
// the terminator). PostgreSQL: set through the session's search_path (the
// name as given, quoted), read as current_schema(); both are statements on
// the connection, in its transaction. Other data sources: setting it does
// nothing and it reads as the empty text.
#define RUVA70_CONN_SCHEMA 3003

// ---------------------------------------------------------------------------
// Driver type codes (reported while option 3057 is 1)
// ---------------------------------------------------------------------------

// A timestamp without time zone; carried as the ODBC timestamp structure.
#define RUVA70_TYPE_TIMESTAMP (-389)
// A column declared DATETIME; carried as the ODBC timestamp structure.
#define RUVA70_TYPE_DATETIME (-391)
// A timestamp with time zone (PostgreSQL timestamptz); carried in the
// driver's 8-byte form (below).
#define RUVA70_TYPE_TIMESTAMP_TZ (-390)
// A time of day whose data source keeps fractions of a second (every time
// column of PostgreSQL and SQLite); carried as text (SQL_C_CHAR), because
// the ODBC time structure has no fraction.
#define RUVA70_TYPE_TIME_TEXT (-392)
// A decimal or numeric parameter whose precision the data source does not
// report. psqlODBC describes such parameters as 28 digits with scale 6; that
// description is taken as "not reported" (a documented rule with that known
// false positive).
#define RUVA70_TYPE_DECIMAL_UNSIZED (-397)
// A column of an array type (PostgreSQL: a type name beginning with '_',
// "_int4"); described and carried as character data, the text in the form
// information type 3004 names.
#define RUVA70_TYPE_ARRAY (-398)

// Type names per data source that select the codes above for a column whose
// standard type is SQL_TIMESTAMP (matched without regard to case against
// SQL_COLUMN_TYPE_NAME, a length in parentheses ignored):
//   PostgreSQL: "timestamp", "timestamp without time zone" -> -389
//               "timestamptz", "timestamp with time zone"  -> -390
//   SQLite:     "timestamp" -> -389, "datetime" -> -391
//   any other data source: no driver codes for columns
// and, for a column whose standard type is SQL_TIME, on PostgreSQL and
// SQLite whatever its name -> -392.
// The data source is told by SQL_DBMS_NAME when the connection connects.
//
// A parameter has no type name; SQLDescribeParam reports
//   SQL_TIMESTAMP                                   -> -389
//   SQL_DECIMAL / SQL_NUMERIC with column size 0    -> -397
//   the same on PostgreSQL described as 28 digits, scale 6 -> -397
// Every other column or parameter keeps its standard ODBC type.

// The driver's 8-byte timestamp form: a signed 64-bit count of microseconds
// since 1970-01-01 00:00:00 UTC, little-endian. A column whose driver type is
// RUVA70_TYPE_TIMESTAMP_TZ, bound or read as 8 bytes of SQL_C_BINARY,
// receives this form; a parameter bound as 8 bytes of SQL_C_BINARY with SQL
// type SQL_TIMESTAMP is converted from it.
#define RUVA70_TIMESTAMP_FORM_BYTES 8
//
// Columns: any column whose standard type is SQL_TIMESTAMP, bound with
// SQLBindCol or read with SQLGetData as SQL_C_BINARY with buffer length 8,
// receives the form, indicator 8 (or SQL_NULL_DATA). A timestamptz value is
// its instant; a value without a zone (a timestamp column, SQLite text
// without an offset) is taken as UTC. PostgreSQL's "infinity" and
// "-infinity" are INT64_MAX and INT64_MIN. A value the form cannot hold, or
// text that is no timestamp, fails the fetch with SQLSTATE 22008.
//
// PostgreSQL sessions run in UTC: libruva70 sets TimeZone to UTC when the
// connection connects, because the data source's timestamptz text carries no
// offset (and local text is ambiguous when clocks go back). A session that
// sets another time zone gets SQLSTATE S1000 when a timestamptz column is
// read in the form, never a shifted value.
//
// Parameters: the form is read from the application's buffer at
// SQLExecute / SQLExecDirect (for every row of an SQLParamOptions array),
// so a value may be written after binding. It reaches PostgreSQL as text
// with the offset +00 (exact for timestamptz in any session zone; the UTC
// wall time for timestamp), and SQLite as UTC text
// "YYYY-MM-DD HH:MM:SS.ffffff". A row marked for data at execution passes
// the application's bytes as they are.
//
// On PostgreSQL, character data (SQL_C_CHAR, SQL_C_WCHAR) bound as an input
// parameter of SQL type SQL_TIMESTAMP is sent untyped (SQL_VARCHAR), so that
// the server reads it as the parameter's type: an offset in the text is
// ignored for timestamp and honoured for timestamptz.

// ---------------------------------------------------------------------------
// How result columns are described (SQLDescribeCol, SQLColAttributes)
// ---------------------------------------------------------------------------
//
// Every result column is described as one of the types the native library
// binds (character, binary, decimal, the integer and floating-point types,
// date, time, timestamp), at a size that holds its values, whatever the data
// source calls it. SQLColAttributes answers SQL_COLUMN_TYPE, _LENGTH,
// _PRECISION, _SCALE and _DISPLAY_SIZE to match; SQL_COLUMN_TYPE_NAME stays
// the data source's own name (uuid, json, money...). The rules, in order:
//
//   SQLite
//     SQL_BIT, SQL_TINYINT, SQL_SMALLINT, SQL_INTEGER -> SQL_BIGINT (size 19,
//       display size 20, length 8). SQLite integers are 64-bit whatever a
//       column declares, and the SQLite driver describes sum(x) and other
//       integer expressions as SQL_INTEGER.
//   PostgreSQL (by the type name psqlODBC gives)
//     money            -> SQL_VARCHAR of RUVA70_MONEY_CHARS (psqlODBC says
//                         SQL_FLOAT; the text carries the currency symbol)
//     numeric, decimal -> a negative scale (numeric(2,-3)) is reported as
//                         such (psqlODBC reports it as 2048 plus it); length
//                         and display size are the characters of the longest
//                         value: sign, digits (one at least before the
//                         point) and point
//     character data of any other type than varchar, char, bpchar, text,
//                         name, bool, inet, cidr, macaddr, macaddr8 (json,
//                         jsonb, xml, arrays, interval, timetz, ranges,
//                         geometric types, bit strings, tsvector...)
//                      -> the same type, at least RUVA70_LONG_TEXT_CHARS
//                         (psqlODBC's size for these is 255 or the length of
//                         the values at hand)
//   every data source
//     SQL_TYPE_DATE, _TIME, _TIMESTAMP (91 to 93) -> SQL_DATE, _TIME, _TIMESTAMP
//     SQL_GUID (PostgreSQL uuid) -> SQL_VARCHAR of RUVA70_GUID_CHARS; psqlODBC
//                         renders it in upper case
//     SQL_BIT                    -> SQL_CHAR of 1 ('1' or '0'; psqlODBC's
//                         booleans with BoolsAsChar=0)
//     type 0, below SQL_WLONGVARCHAR (-10) or above SQL_VARCHAR (12): intervals,
//                         vendor types -> SQL_VARCHAR of at least
//                         RUVA70_LONG_TEXT_CHARS
//   everything else as the driver describes it.
// A value longer than the size described arrives cut in a bound buffer
// (SQL_SUCCESS_WITH_INFO, 01004) and whole through SQLGetData, in pieces.
#define RUVA70_GUID_CHARS 36
#define RUVA70_MONEY_CHARS 64
#define RUVA70_LONG_TEXT_CHARS 8190

// ---------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------
//
// A value bound (SQLBindCol) or read (SQLGetData) as SQL_C_BIT, SQL_C_TINYINT,
// _STINYINT, _UTINYINT, _SHORT, _SSHORT, _USHORT, _LONG, _SLONG, _ULONG,
// _SBIGINT, _FLOAT or _DOUBLE arrives whole, or the call says why not:
//   - a value outside the C type's range: SQL_ERROR, SQLSTATE 22003 (the
//     cursor has moved to the row; nothing is written for that column);
//   - a fraction dropped (3.7 into an integer type, 1.5 into SQL_C_BIT):
//     SQL_SUCCESS_WITH_INFO, SQLSTATE 01S07;
//   - text that is no number: SQL_ERROR, SQLSTATE 22005;
//   - a floating-point value smaller than the type's least: 0 with 01S07.
// Neither the SQLite driver nor psqlODBC checks any of these (they cut
// 470414411239 to its low 32 bits, read "1e+300" into an integer as 1, and
// text as 0 or NULL, with SQL_SUCCESS), so on these two data sources
// libruva70 reads such a value as text and converts it itself, except where
// the driver's own conversion is exact: on PostgreSQL, SQL_C_SSHORT from
// smallint, SQL_C_SLONG from smallint and integer, SQL_C_SBIGINT from the
// three integer types, SQL_C_DOUBLE from them and from real, double precision
// and money, SQL_C_FLOAT from smallint and real. Other data sources are
// passed through.
//
// SQLite REAL values arrive with 15 significant digits: the SQLite driver
// reads every value as SQLite's text of it, which carries 15
// (0.3333333333333333 reads as 0.333333333333333). A double written from
// text of at most 15 significant digits reads back exactly.

// ---------------------------------------------------------------------------
// Handles and diagnostics
// ---------------------------------------------------------------------------

// Handles are 31-bit values (never 0) of libruva70's own handle table. A
// value never issued, freed, or of another kind (a statement passed as a
// connection) gives SQL_INVALID_HANDLE. SQLDisconnect frees the
// connection's statements; their values are then invalid. A freed value is
// not issued again before millions of other handles have been issued (a
// freed slot is reused only while thousands of others are free, and its
// value returns only when its 11-bit generation has come round).
//
// SQLGetInfo answers SQL_DRIVER_HENV, SQL_DRIVER_HDBC and SQL_DRIVER_HSTMT
// (input: one of the connection's statements) with libruva70's own values,
// SQL_DRIVER_HLIB and SQL_DRIVER_HDESC with 0: 8 bytes when the buffer
// length is at least 8, else 4.
//
// libruva70's own diagnostic records come before the driver manager's in
// SQLError:
//   S1009  option 3057 or 3031 set to a value other than 0 and 1; a null
//          output address; SQL_DRIVER_HSTMT without a statement
//   S1092  option 3057 or 3031 given to SQLSetConnectOption /
//          SQLGetConnectOption (they are statement options)
//   S1001  the handle table is full; no memory for the copy of SQLNativeSql's text
//   S1000  information type 3001 could not be asked; a PostgreSQL session
//          not in UTC (above)
//   08003  information type 3001 on a connection that is not connected
//   22008  a timestamp the 8-byte form cannot hold
//   22002  a null value read in the 8-byte form without an indicator
//   S1C00  XA on a data source without two-phase commit
//   01000  the session time zone could not be set at connect
//   01004  SQLNativeSql cut its output on SQLite (the SQLite driver files
//          its own record where SQLError does not find it)
//
// SQLNativeSql only reads the text it is given, and only as far as its
// length: every driver is handed a copy of it (the SQLite driver writes its
// output's terminator into its input, at the output length's last byte). A
// cut output ends within its buffer.

// ---------------------------------------------------------------------------
// SQLCancel from another thread
// ---------------------------------------------------------------------------
//
// SQLCancel may be called from any thread at any moment. It never runs the
// driver's cancel at the same time as one of the statement's own calls
// would touch the same state:
//   - While a call of the statement is in progress on another thread, the
//     cancel only interrupts it, and that call returns the error:
//     PostgreSQL: the driver's own SQLCancel (psqlODBC's sends the server a
//       cancel request); the call fails with SQLSTATE 57014.
//     SQLite, whose driver's SQLCancel also closes the statement's cursor
//       (freeing its rows under the running call): the driver's SQLCancel
//       runs on a statement of libruva70's own on the same connection, so
//       only the interrupt reaches the connection (sqlite3_interrupt, which
//       interrupts whatever runs on that connection); the call fails with
//       S1008 (the driver's S1000 "interrupted", reported as S1008).
//   - Between the statement's calls, the statement's own calls wait until
//     the cancel is done; the cancel ends a data-at-execution sequence and
//     closes an open cursor (ODBC 2), and the next fetch fails with S1010.
// A cancel never clears the statement's diagnostic records: those of its
// last call stay for SQLError. A handle freed before the cancel arrives gives
// SQL_INVALID_HANDLE, and its value is not issued again for a long time
// (see the handle values below), so a late cancel never reaches another
// statement.

// ---------------------------------------------------------------------------
// XA
// ---------------------------------------------------------------------------
//
// The XA entry points (ordinals 2001 to 2008) run X/Open transaction
// branches with the data source's own two-phase commit. PostgreSQL has one;
// its server needs max_prepared_transactions > 0 (0, its default, makes
// every prepare fail; the test server runs with 20). Any other data source
// (SQLite) answers every XA entry point with SQL_ERROR, XA code XAER_RMERR
// (xa_pending and xa_recover: count 0) and a diagnostic S1C00; a connection
// that is not connected answers XAER_RMFAIL (count 0) and a diagnostic
// 08003. A handle that is not a live connection handle (never issued, freed,
// another kind) gets SQL_INVALID_HANDLE and XA code XAER_RMFAIL (count 0),
// so that an untouched XA_OK is never read as an outcome.
//
// A connection's branch lives in its session: SQLDisconnect and
// SQLFreeConnect end the association (the server rolls back an active or
// ended branch with the session), and its XID is free for other connections
// at once. A prepared branch belongs to the database and stays.
//
// Results: each entry point returns SQL_SUCCESS when its XA code is XA_OK or
// XA_RDONLY (and for pending/recover when they succeed), SQL_ERROR otherwise,
// with a diagnostic record on the connection (SQLError) that says why:
//   S1009 XAER_INVAL, S1010 XAER_PROTO, S1C00 XAER_RMERR for an unsupported
//   flag or data source, 08S01 XAER_RMFAIL, 25000 XAER_OUTSIDE, S1000 the
//   others (XAER_NOTA, XAER_DUPID); a rollback code carries the server's
//   SQLSTATE when it gave one.
//
// One branch per connection, in the X/Open states idle, active, ended and
// prepared. A prepared branch belongs to the database: the connection is
// idle again, and any connection of the same database (of this or another
// process) commits or rolls it back, or lists it with recover.
//
// The XID: formatID -1 (X/Open's null XID) is refused; gtrid_length 1..64,
// bqual_length 0..64. On PostgreSQL the branch is prepared under the gid
//   "<formatID in decimal>_<base64 of gtrid>_<base64 of bqual>"
// (standard base64 alphabet with padding; at most 189 characters, within the
// server's 199), so every byte value and a negative formatID survive.
// recover lists the prepared transactions of the current database whose gid
// has exactly this form; others are not XA branches of this driver and are
// left alone.
//
// xa_start(flags): TMNOFLAGS opens a new branch (PostgreSQL: BEGIN, sent
//   explicitly with autocommit on; with autocommit off psqlODBC's own BEGIN
//   opens it; the autocommit setting is left as it is). TMJOIN takes the
//   connection's ended branch of that XID back to active.
//   XAER_PROTO   the connection is active or ended in a branch already
//   XAER_NOTA    TMJOIN of an XID that this connection has not ended
//   XAER_DUPID   another connection holds the XID, or it is prepared already
//   XAER_OUTSIDE the connection has a local transaction in progress
//   XAER_RMERR   TMRESUME (suspending is not supported), a branch of another
//                connection joined, TMASYNC, TMNOWAIT, TMMIGRATE
//   XAER_INVAL   other flags, a bad XID
// xa_end(flags): TMSUCCESS or TMFAIL (the branch can then only roll back).
//   XAER_NOTA an XID that is not the connection's active branch; XAER_PROTO
//   the branch is ended already; XAER_RMERR TMSUSPEND; XAER_INVAL other flags.
//   Between end and prepare/commit the connection must not run other work:
//   PostgreSQL's session has one transaction, and it would join the branch.
// xa_prepare(flags = TMNOFLAGS): PREPARE TRANSACTION of an ended branch.
//   XA_OK        prepared (confirmed in pg_prepared_xacts)
//   XA_RDONLY    the branch changed nothing: it is committed at once and no
//                prepared transaction is left
//   XA_RBROLLBACK (100) the server rolled it back (transaction in error, a
//                failed PREPARE, ended with TMFAIL, session lost its
//                transaction); XA_RBINTEGRITY (103) a constraint violated at
//                prepare (deferred constraints); XA_RBDEADLOCK (102),
//                XA_RBTRANSIENT (107, serialization failure), XA_RBTIMEOUT
//                (106, statement cancelled) after the server's SQLSTATE
//   XAER_PROTO the branch is still active; XAER_NOTA not this connection's
//   branch; XAER_RMFAIL the connection is lost.
// xa_commit(option1, option2):
//   option1  0 = two-phase: COMMIT PREPARED of a prepared branch, from any
//            connection of its database that is not in a branch itself;
//            1 or TMONEPHASE = one-phase: COMMIT of the connection's own
//            ended branch (the rollback codes as for prepare)
//   option2  XA flags: TMNOFLAGS (TMNOWAIT, TMASYNC give XAER_RMERR, any
//            other value XAER_INVAL)
//   XAER_NOTA    no prepared branch of that XID in the database (a repeated
//                commit, a branch of another database), or one-phase commit
//                of an XID that is not the connection's branch
//   XAER_PROTO   one-phase commit of an active branch, two-phase commit of a
//                branch that is not prepared, or on a connection in a branch
//                or with a local transaction in progress
//   XAER_INVAL   option1 other than 0, 1, TMONEPHASE
// xa_rollback(option1, option2):
//   option1  0 (reserved; anything else XAER_INVAL)
//   option2  XA flags as for commit
//   The connection's own active or ended branch is rolled back (ROLLBACK);
//   another XID is taken as prepared (ROLLBACK PREPARED), with XAER_NOTA,
//   XAER_PROTO as for two-phase commit.
// xa_forget(flags = TMNOFLAGS): PostgreSQL keeps no heuristic outcomes:
//   XAER_NOTA for every valid XID, XAER_INVAL otherwise.
// xa_pending(count): the number of XIDs that recover would list. On failure
//   SQL_ERROR and count 0 (never negative: it could be taken for a number);
//   the record's SQLSTATE tells the XA error (08S01 XAER_RMFAIL, S1000
//   XAER_RMERR).
// xa_recover(xids, count, flags, found): a recovery scan. TMSTARTRSCAN reads
//   the prepared branches of the database and returns the first count of
//   them; later calls with TMNOFLAGS return the next ones; TMENDRSCAN ends
//   the scan after its call (TMSTARTRSCAN | TMENDRSCAN: one call). found is
//   the number written into xids (at most count). On failure SQL_ERROR and
//   found 0, and the record's SQLSTATE tells the XA error: S1009 XAER_INVAL
//   (no open scan and no TMSTARTRSCAN, a negative count, a null xids with
//   count > 0, other flags), 08S01 XAER_RMFAIL, S1000 XAER_RMERR.
//
// Not carried out: branches of one XID on several connections joined into
// one transaction (each connection runs its own branch: give each a bqual of
// its own), suspend/resume, and any effect on a branch of SQLTransact
// called by the application while it is active (that would end the
// PostgreSQL transaction outside XA).

// The transaction identifier as the XA entry points take it: 140 bytes with
// 32-bit fields (not X/Open's long-based layout).
struct RUVA70_XID {
    int32_t formatID;
    int32_t gtrid_length;
    int32_t bqual_length;
    char data[128];
};
static_assert(sizeof(RUVA70_XID) == 140, "the XID travels as 140 bytes");

// XA return codes (X/Open values).
#define RUVA70_XA_OK 0
#define RUVA70_XA_RDONLY 3
#define RUVA70_XA_RBROLLBACK 100
#define RUVA70_XA_RBDEADLOCK 102
#define RUVA70_XA_RBINTEGRITY 103
#define RUVA70_XA_RBTIMEOUT 106
#define RUVA70_XA_RBTRANSIENT 107
#define RUVA70_XAER_ASYNC (-2)
#define RUVA70_XAER_RMERR (-3)
#define RUVA70_XAER_NOTA (-4)
#define RUVA70_XAER_INVAL (-5)
#define RUVA70_XAER_PROTO (-6)
#define RUVA70_XAER_RMFAIL (-7)
#define RUVA70_XAER_DUPID (-8)
#define RUVA70_XAER_OUTSIDE (-9)

// XA flags (X/Open values).
#define RUVA70_TMNOFLAGS 0x00000000
#define RUVA70_TMJOIN 0x00200000
#define RUVA70_TMRESUME 0x08000000
#define RUVA70_TMSUCCESS 0x04000000
#define RUVA70_TMFAIL 0x20000000
#define RUVA70_TMSUSPEND 0x02000000
#define RUVA70_TMONEPHASE 0x40000000
#define RUVA70_TMSTARTRSCAN 0x01000000
#define RUVA70_TMENDRSCAN 0x00800000
#define RUVA70_TMMIGRATE 0x00100000
#define RUVA70_TMNOWAIT 0x10000000
#define RUVA70_TMASYNC ((SQLINTEGER)0x80000000u)

#ifdef __cplusplus
extern "C" {
#endif

// XA entry points (ordinals 2001 to 2008). Each returns an SQLRETURN-like
// integer (SQL_SUCCESS, SQL_ERROR, SQL_INVALID_HANDLE) and writes the XA
// return code (or the count) into its last argument; see above.
SQLINTEGER RUVA70_API ruva70_xa_start(SQLHDBC hdbc, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode);
SQLINTEGER RUVA70_API ruva70_xa_end(SQLHDBC hdbc, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode);
SQLINTEGER RUVA70_API ruva70_xa_prepare(SQLHDBC hdbc, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode);
SQLINTEGER RUVA70_API ruva70_xa_commit(SQLHDBC hdbc, RUVA70_XID* xid, SQLINTEGER option1, SQLINTEGER option2,
                                       SQLINTEGER* xaCode);
SQLINTEGER RUVA70_API ruva70_xa_rollback(SQLHDBC hdbc, RUVA70_XID* xid, SQLINTEGER option1, SQLINTEGER option2,
                                         SQLINTEGER* xaCode);
SQLINTEGER RUVA70_API ruva70_xa_pending(SQLHDBC hdbc, SQLINTEGER* count);
SQLINTEGER RUVA70_API ruva70_xa_recover(SQLHDBC hdbc, RUVA70_XID* xids, SQLINTEGER count, SQLINTEGER flags,
                                        SQLINTEGER* found);
SQLINTEGER RUVA70_API ruva70_xa_forget(SQLHDBC hdbc, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode);

#ifdef __cplusplus
}
#endif
