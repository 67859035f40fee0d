// Statement state of libruva70: the driver's own statement options and the
// conversions between the driver's 8-byte timestamp form and what the data
// source carries.
#pragma once

#include "handles.h"

#include "insert_rows.h"
#include "number_text.h"
#include "timestamp_form.h"
#include "wide_text.h"

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ruva {

// A column the application bound as 8 bytes of SQL_C_BINARY, or as a
// numeric C type. When the current result set's column is a timestamp (for
// the 8 bytes), or a column whose numbers the driver does not convert
// exactly (see number_text.h), the driver manager is bound to `text` instead
// and each fetch converts the text into the application's buffer.
struct ColumnConversion {
    SQLSMALLINT appCType = SQL_C_BINARY;
    SQLPOINTER appValue = nullptr;
    SQLLEN appMax = 0;
    SQLLEN* appInd = nullptr;
    bool converting = false;  // the driver manager is bound to text/ind
    char text[number::kTextBytes] = {};
    SQLLEN ind = 0;
};

// A parameter the application bound as 8 bytes of SQL_C_BINARY with SQL type
// SQL_TIMESTAMP. At execution the values are read from the application's
// buffer and handed to the driver manager as timestamp text.
struct ParamConversion {
    SQLPOINTER appValue = nullptr;
    SQLLEN* appInd = nullptr;
    SQLSMALLINT sqlType = SQL_TIMESTAMP;
    SQLULEN columnSize = 0;
    SQLSMALLINT scale = 0;
    std::vector<char> text;   // rows x kParamTextBytes
    std::vector<SQLLEN> ind;  // rows
    bool boundText = false;   // the driver manager is bound to text/ind (else for data at execution)
    SQLULEN boundRows = 0;
};

inline constexpr size_t kParamTextBytes = tsform::kTextBytes;

// A parameter as the driver manager was last told it (the arguments of
// SQLBindParameter as passed on, after any conversion). The multi-row
// inserts and the row-by-row executions bind from these, and SQLite binary
// parameters are bound again from them before each execution (see
// statement.cpp).
struct ParamBinding {
    SQLSMALLINT paramType = SQL_PARAM_INPUT;
    SQLSMALLINT cType = SQL_C_DEFAULT;
    SQLSMALLINT sqlType = 0;
    SQLULEN columnSize = 0;
    SQLSMALLINT scale = 0;
    SQLPOINTER value = nullptr;
    SQLLEN valueMax = 0;
    SQLLEN* ind = nullptr;
};

// What a result column is for the 8-byte form (cached per result set).
enum class ColumnForm : uint8_t { None, Timestamp, TimestampTz };
struct ColumnInfo {
    ColumnForm form = ColumnForm::None;
    SQLSMALLINT type = 0;  // the driver's SQL type
};

struct StmtState {
    const DataSource* source = nullptr;  // the connection's record, never null once issued
    SQLHDBC dmDbc = SQL_NULL_HDBC;       // the driver manager's connection, for internal statements
    SQLULEN driverTypes = 0;             // option 3057
    SQLULEN typeFromValue = 0;           // option 3031
    SQLULEN outputInput = 0;             // option 3059
    // PostgreSQL: the data source could not describe the prepared
    // statement's parameters (ruva70.h); SQLExecute runs `preparedText`
    // directly.
    bool undescribed = false;
    SQLULEN paramRows = 1;        // SQLParamOptions
    SQLULEN* rowsDone = nullptr;  // SQLParamOptions' row-number variable
    bool putConverting = false;   // SQLParamData asked for a converted parameter
    // Set whenever the statement may have a new result set; the next fetch
    // then decides again which bound columns are converted.
    bool resultChanged = true;
    // Some bound column is converted at each fetch (decided with the
    // columns): a fetch without one walks no container.
    bool anyConverting = false;
    std::map<SQLUSMALLINT, ColumnConversion> columns;
    std::map<SQLUSMALLINT, ParamConversion> params;
    std::map<SQLUSMALLINT, ParamBinding> bindings;
    // The prepared text is a plain INSERT ... VALUES (?, ...): a parameter
    // array of it runs as multi-row inserts (insert_rows.h).
    bool plainInsert = false;
    InsertShape insert;
    SQLULEN insertRows = 0;  // option 3058
    // The text of the last successful SQLPrepare, for preparing it again when
    // the data source's schema changed under it (see statement.cpp) and for
    // running an undescribed statement;
    // `preparedRan` once it has been executed; `schemaVersion` the SQLite
    // schema version it was prepared against.
    std::string preparedText;
    bool preparedRan = false;
    // The prepared statement's number of parameters; -1 until asked.
    SQLSMALLINT preparedParams = -1;
    std::string schemaVersion;
    // SQLite: SQL_MAX_ROWS, kept here and enforced at the fetch (the SQLite
    // driver, told it, went on from where the previous execution's rows
    // stopped); `fetched` counts the rows of the current result.
    SQLULEN maxRows = 0;
    SQLULEN fetched = 0;
    // SQLite: the driver manager is bound to one row of a parameter array
    // (a row-by-row execution did not restore the array).
    bool bindingsShifted = false;
    // A row-by-row execution's row count (the sum of its rows'), answered by
    // SQLRowCount until the statement has another result.
    bool ownRowCount = false;
    SQLLEN rowCount = 0;
    // Per result set: the form and type of the columns asked about, and
    // whether the session's time zone was checked for a timestamptz column.
    std::map<SQLUSMALLINT, ColumnInfo> columnForms;
    // Per result set: the type names libruva70 found itself for columns the
    // driver names "unknown" (DataSource::ownTypeName), empty where it could
    // not tell.
    std::map<SQLUSMALLINT, std::string> ownTypeNames;
    bool zoneChecked = false;
    // The text of the numbers read with SQLGetData and converted by
    // libruva70 in the current row, by column, for another read of the same
    // column: the drivers answer a second read of a column as text with
    // SQL_NO_DATA. Cleared at every fetch and new result.
    struct NumberText {
        SQLLEN ind = 0;
        std::string text;
    };
    std::map<SQLUSMALLINT, NumberText> numbersRead;
    // With DataSource::wideTextAsUtf8: the columns bound as SQL_C_WCHAR, and
    // the SQL_C_WCHAR read under way with SQLGetData (cleared at every fetch).
    std::map<SQLUSMALLINT, std::unique_ptr<WideColumn>> wideColumns;
    WideRead wide;
    // The last execution left diagnostic records (SQL_ERROR or
    // SQL_SUCCESS_WITH_INFO): binding calls that follow it keep them for
    // SQLError instead of clearing them (see ruva70.h).
    bool keepRecords = false;
    // RUVA70_STMT_FETCH_ROWS, and the cursor the current result is read
    // through (cursor_reads.h).
    SQLULEN fetchRows = 0;
    struct CursorRead {
        std::string name;              // open on the data source; empty: none
        SQLULEN rows = 0;              // per chunk
        SQLULEN inChunk = 0;           // rows fetched of the current chunk
        bool reading = false;          // fetches go through fetchByCursor
        uint64_t transactionEnds = 0;  // the connection's count when it was declared
        // The cursor's statements replaced the prepared text on the
        // driver's statement: it is prepared again when the cursor closes.
        bool replacedPrepared = false;
    } cursor;
    // The connection's count of ended transactions (handles.h).
    const std::atomic<uint64_t>* transactionEnds = nullptr;
};

// Takes the oldest of the driver manager's records of a statement. The SQLite
// driver reports a statement ended by a cancel as S1000 "interrupted"; that
// record is reported as S1008 (operation cancelled), as ODBC names it, so a
// cancel reads as a cancel on every data source.
bool takeDriverRecord(Handle& stmt, Diag& out);

}  // namespace ruva
