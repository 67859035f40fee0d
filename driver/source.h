// What libruva70 does differently for each data source, as one record per
// data source: values that choose among the shared code's ways (how numbers
// are read, how parameter arrays run, how a running statement is cancelled)
// and the few functions that only one data source needs. The shared code
// reads the record of the connection it serves and never asks which data
// source that is; each record, with everything only its data source needs,
// lives in a file of its own (generic.cpp, postgres.cpp, sqlite_odbc.cpp,
// mariadb.cpp).
#pragma once

#include "handles.h"

#include <string>
#include <vector>

namespace ruva {

struct ColumnShape;
struct XaOperations;

// The data source's statements for a cursor that reads a query's rows in
// chunks (RUVA70_STMT_FETCH_ROWS, cursor_reads.h). The cursor lives in the
// connection's transaction.
struct CursorStatements {
    std::string (*declare)(const std::string& name, const std::string& query);
    std::string (*fetch)(const std::string& name, SQLULEN rows);
    std::string (*close)(const std::string& name);
};

// How a numeric read (SQL_C_LONG, SQL_C_DOUBLE, ...) of a column is made.
enum class NumberReads : uint8_t {
    Driver,     // as the driver makes it
    Converted,  // read as text and converted by libruva70 (number_text.h),
                // except what `driverConvertsExactly` leaves to the driver
};

// How a parameter array of more than one row runs when it is not rewritten
// as multi-row inserts.
enum class ArrayRuns : uint8_t {
    Driver,        // the driver's own array path
    OneRowEach,    // one execution per row (statement.cpp: postgresExecuteRows)
    SqliteDriver,  // the SQLite ODBC driver's fix-ups (statement.cpp: sqliteExecute)
};

// How a statement running on another thread is cancelled.
enum class CancelRoute : uint8_t {
    DriverDirect,        // the driver's own SQLCancel on the driver's statement
    InterruptStatement,  // the driver's SQLCancel on a statement of libruva70's own
    AnyThread,           // the connection's functions are safe from any thread
};

struct DataSource {
    const char* name;

    // The functions a connection's calls go to; null for unixODBC's.
    const DriverManager* (*functions)();

    // Values and their types.
    NumberReads numbers;
    // With NumberReads::Converted: the reads the driver makes exactly (or
    // refuses) by itself, for a column of SQL type `type`.
    bool (*driverConvertsExactly)(SQLSMALLINT type, SQLSMALLINT cType);
    // Timestamp text carries the zone offset (+00) and timestamp parameters
    // go as character data, which the server reads as the column's type.
    bool zonedTimestampText;
    // Time-of-day columns are read as text (the ODBC structure drops the
    // fraction the data source keeps).
    bool timeAsText;
    // Character data asked for as UTF-16 (SQL_C_WCHAR) is read from the
    // driver as UTF-8 and converted by libruva70 (wide_text.h): the driver's
    // own conversion loses characters.
    bool wideTextAsUtf8;
    // The driver type (ruva70.h, RUVA70_TYPE_*) of a timestamp column by its
    // type name (lower case, no blanks at the ends), or 0 for none.
    SQLSMALLINT (*timestampType)(const std::string& typeName);
    // Columns are described with their type name at hand.
    bool describeWithTypeName;
    // Columns are described with the driver's unsigned flag at hand
    // (ColumnShape::isUnsigned, from SQL_COLUMN_UNSIGNED).
    bool describeWithUnsigned;
    // Integer columns may hold values wider than their type (SQLite's are
    // 64-bit whatever they declare): described as declared, they carry the
    // driver type RUVA70_TYPE_WIDE_INTEGER, so that the native library binds
    // them 64 bits wide.
    bool widerIntegers;
    // The driver answers a precision of 0 for columns that are not decimal:
    // their column size is answered instead.
    bool precisionIsColumnSize;
    // The description of a column as this data source's values need it,
    // before the rules every data source shares; false to leave it to those.
    bool (*columnShape)(const std::string& typeName, const ColumnShape& driver, ColumnShape& shown);
    // A decimal parameter described as 28 digits, scale 6 is one whose
    // precision the driver does not know (psqlODBC's stand-in).
    bool decimalStandIn;
    // A statement whose parameters the data source cannot describe (42xxx
    // from SQLDescribeParam) is described with stand-ins and runs directly.
    bool describesUntypedParams;

    // Execution.
    // Markers a multi-row insert may hold; 0: arrays are never rewritten.
    SQLULEN insertMarkers;
    // A savepoint guards the chunks inside a transaction block.
    bool insertSavepoint;
    // SQLRowCount of an array is its last row's count (not the sum).
    bool arrayCountIsLastRow;
    ArrayRuns arrays;
    // Character parameters holding U+0000 are refused (the driver would cut them).
    bool refuseZeroUnits;
    // A prepared statement is checked against PRAGMA schema_version before it
    // runs again, and prepared again when that changed.
    bool checkSchemaVersion;
    // Whether a failed execution of the prepared `text` failed only because
    // its tables changed since it was prepared (the driver's `record`): it is
    // then prepared again and run once more. Null: never.
    bool (*planChanged)(const Diag& record, const std::string& text);
    // SQL_MAX_ROWS is kept and enforced by libruva70.
    bool ownMaxRows;
    // The driver prepares a statement again by itself when its tables change
    // and counts that in RUVA70_STMT_DESCRIBED_VERSION, which libruva70 adds
    // to its own count.
    bool driverReprepares;
    // The data source may change a prepared statement's columns without any
    // sign libruva70 sees (MariaDB's server prepares a statement again by
    // itself when its tables change; an unknown driver may): every read of
    // RUVA70_STMT_DESCRIBED_VERSION is then a new version, so columns kept
    // bound are always described again.
    bool silentReprepares;
    CancelRoute cancel;
    // The driver takes one call at a time on a connection: libruva70 makes
    // the calls of the connection and of its statements take turns
    // (Handle::callTurn), SQLCancel excepted. MariaDB's driver hangs when two
    // statements of one connection run at once; an unknown driver may.
    bool oneCallAtATime;
    // Rewrites a driver's record of a statement as libruva70 reports it; null
    // when the records pass as they are.
    void (*fixRecord)(Diag& record);
    // The driver files its SQLNativeSql truncation warning where SQLError
    // does not find it.
    bool nativeSqlWarningLost;

    // Connections.
    // After a successful connect (the connection's records kept): the
    // session settings this data source needs. Returns `rc`, or
    // SQL_SUCCESS_WITH_INFO with a record when a setting failed.
    SQLRETURN (*afterConnect)(Handle& dbc, SQLRETURN rc);
    // RUVA70_CONN_SCHEMA; null: no schema (the name is accepted and ignored,
    // the current one is empty).
    SQLRETURN (*setSchema)(Handle& dbc, const char* name);
    SQLRETURN (*currentSchema)(Handle& dbc, std::string& name);
    // RUVA70_INFO_DATA_STORE_STATE; null: RUVA70_STORE_UNKNOWN.
    SQLRETURN (*dataStoreState)(Handle& dbc, SQLINTEGER& state);
    // Corrects a driver's SQLGetInfo answer (already written to `out`); null
    // when they pass as they are.
    void (*correctInfo)(SQLUSMALLINT type, SQLPOINTER out);
    // RUVA70_INFO_GENERATED_KEYS.
    SQLINTEGER generatedKeys;
    // Two-phase commit; null: none.
    const XaOperations* (*xa)();

    // Catalog.
    // The SQL text SQLColumns runs instead of the driver's SQLColumns (the
    // catalog, table and column arguments as given); null: the driver's.
    std::string (*columnsQuery)(const SQLCHAR* catalog, SQLSMALLINT catalogLen, const SQLCHAR* table,
                                SQLSMALLINT tableLen, const SQLCHAR* column, SQLSMALLINT columnLen);
    // Queries read in chunks when the statement asks for a fetch size; null:
    // a fetch size changes nothing (the driver reads as it reads).
    const CursorStatements* cursorStatements;

    // Arrays.
    // RUVA70_INFO_ARRAY_TEXT: the text form of array values (RUVA70_ARRAYS_*).
    SQLINTEGER arrayText;
    // A character column of this type name (lower case) holds arrays
    // (RUVA70_TYPE_ARRAY); null: none does.
    bool (*isArrayType)(const std::string& typeName);
    // The type name of result column `icol` of driver statement `h` (on
    // driver connection `dmDbc`) found by libruva70 where the driver names it
    // "unknown" (psqlODBC, for arrays among others); false when it cannot
    // tell. Null: the driver's name stands.
    bool (*ownTypeName)(const DriverManager& d, SQLHDBC dmDbc, SQLHSTMT h, SQLUSMALLINT icol, std::string& name);
};

// The records of the data sources libruva70 knows (their own files).
const DataSource& genericSource();
const DataSource& postgresSource();
const DataSource& sqliteDriverSource();
const DataSource& mariadbSource();
// SQLite through libruva70's own engine (sqlite/).
const DataSource& sqliteEngineSource();

// Every record above (and the others libruva70 has), for what concerns
// them all.
const std::vector<const DataSource*>& knownSources();

// The record for a connection whose driver names its DBMS so (SQL_DBMS_NAME):
// the first whose prefix it starts with, or the generic one.
const DataSource& sourceForDbms(const char* dbmsName);

// The functions a connection on `source` calls.
inline const DriverManager& functionsOf(const DataSource& source) {
    return source.functions ? *source.functions() : DM();
}

}  // namespace ruva
