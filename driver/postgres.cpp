// PostgreSQL through psqlODBC: what libruva70 adds to the driver and
// corrects in its answers.
#include "connection.h"
#include "describe.h"
#include "number_text.h"
#include "source.h"
#include "xa.h"

#include "qvjdbc/ruva70.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace ruva {
namespace {

// "cached plan must not change result type": the server refused to run the
// plan, which nothing ran.
bool planChanged(const Diag& record, const std::string&) {
    return std::strcmp(record.state, "0A000") == 0 &&
           record.message.find("cached plan must not change result type") != std::string::npos;
}

constexpr SQLULEN kMoneyChars = RUVA70_MONEY_CHARS;
constexpr SQLULEN kLongTextChars = RUVA70_LONG_TEXT_CHARS;
// PostgreSQL's largest decimal scale; psqlODBC's reading of a negative one
// lies above it.
constexpr SQLSMALLINT kPgMaxScale = 1000;

// The reads psqlODBC makes exactly by itself: it checks no range, so only
// the conversions that cannot go wrong are left to it.
bool convertsExactly(SQLSMALLINT type, SQLSMALLINT cType) {
    const bool small = type == SQL_SMALLINT, integer = type == SQL_INTEGER, big = type == SQL_BIGINT;
    switch (cType) {
        case SQL_C_SSHORT:
        case SQL_C_SHORT:
            return small;
        case SQL_C_SLONG:
        case SQL_C_LONG:
            return small || integer;
        case SQL_C_SBIGINT:
            return small || integer || big;
        case SQL_C_DOUBLE:
            // money is described as SQL_FLOAT, and psqlODBC reads its text
            // (currency symbol, separators) into a double itself.
            return small || integer || big || type == SQL_REAL || type == SQL_FLOAT || type == SQL_DOUBLE;
        case SQL_C_FLOAT:
            return small || type == SQL_REAL;
        default:
            return false;
    }
}

SQLSMALLINT timestampType(const std::string& name) {
    if (name == "timestamp" || name == "timestamp without time zone") return RUVA70_TYPE_TIMESTAMP;
    if (name == "timestamptz" || name == "timestamp with time zone") return RUVA70_TYPE_TIMESTAMP_TZ;
    return 0;
}

// An array type is named after its element type with a leading '_'
// (pg_type's typname: "_int4", "_text", "_timestamptz").
bool isArrayType(const std::string& name) {
    return name.size() > 1 && name[0] == '_';
}

// A text attribute of a result column, or the empty text.
std::string columnText(const DriverManager& d, SQLHSTMT h, SQLUSMALLINT icol, SQLUSMALLINT attribute) {
    char text[256] = {};
    SQLSMALLINT len = 0;
    SQLLEN unused = 0;
    if (!SQL_SUCCEEDED(d.SQLColAttributes(h, icol, attribute, text, sizeof text - 1, &len, &unused))) return {};
    return text;
}

// A text as an SQL string literal (standard_conforming_strings is on in
// every supported server: only the quote is doubled).
std::string literal(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

// psqlODBC names every type it has no entry for "unknown" (arrays among
// them) and gives no way to its type identifier. A column of a table is
// looked up in the catalog by its table, schema and base column name (one
// round trip, once per result and column); an expression stays unknown.
bool ownTypeName(const DriverManager& d, SQLHDBC dmDbc, SQLHSTMT h, SQLUSMALLINT icol, std::string& name) {
    constexpr SQLUSMALLINT kBaseColumnName = 22;  // SQL_DESC_BASE_COLUMN_NAME
    const std::string table = columnText(d, h, icol, SQL_COLUMN_TABLE_NAME);
    if (table.empty()) return false;
    const std::string schema = columnText(d, h, icol, SQL_COLUMN_OWNER_NAME);
    std::string column = columnText(d, h, icol, kBaseColumnName);
    if (column.empty()) column = columnText(d, h, icol, SQL_COLUMN_NAME);
    if (column.empty()) return false;
    const std::string relation =
        schema.empty() ? "quote_ident(" + literal(table) + ")"
                       : "quote_ident(" + literal(schema) + ") || '.' || quote_ident(" + literal(table) + ")";
    const std::string sql =
        "SELECT t.typname FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_type t ON t.oid = a.atttypid "
        "WHERE a.attrelid = pg_catalog.to_regclass(" +
        relation + ") AND a.attname = " + literal(column) + " AND NOT a.attisdropped";
    std::string found, reason;
    if (runInternal(d, dmDbc, sql.c_str(), &found, reason) != SQL_SUCCESS || found.empty()) return false;
    name = found;
    return true;
}

// PostgreSQL types that psqlODBC describes as character data of a size that
// holds every value of the type. Any other type it describes as character
// data (json, jsonb, xml, arrays, interval, ranges, geometric types...) gets
// a size of unknown meaning (255, or the length of the values at hand) and is
// described with the long text size instead.
bool textSized(const std::string& name) {
    static const char* const kNames[] = {
        "varchar", "character varying", "char", "character", "bpchar",  "text",    "name",
        "bool",    "boolean",           "inet", "cidr",      "macaddr", "macaddr8"};
    for (const char* n : kNames)
        if (name == n) return true;
    return false;
}

// The characters of the longest text of a decimal of that precision and
// scale: sign, digits (at least one before the point) and point.
SQLULEN decimalChars(SQLULEN precision, SQLSMALLINT scale) {
    const long long p = static_cast<long long>(precision > 100000 ? 100000 : precision);
    const long long whole = p - scale > 1 ? p - scale : 1;
    const long long fraction = scale > 0 ? scale + 1 : 0;
    return static_cast<SQLULEN>(1 + whole + fraction);
}

bool columnShape(const std::string& name, const ColumnShape& driver, ColumnShape& c) {
    if (name == "money") {
        showAs(c, SQL_VARCHAR, kMoneyChars);
        return true;
    }
    if (driver.type == SQL_NUMERIC || driver.type == SQL_DECIMAL) {
        // psqlODBC reads the scale of PostgreSQL's type modifier as an
        // unsigned number: a negative scale (numeric(2,-3)) arrives as 2048
        // less it.
        SQLSMALLINT scale = driver.scale;
        if (scale > kPgMaxScale && scale < 2048) scale = static_cast<SQLSMALLINT>(scale - 2048);
        c.scale = scale;
        c.changed = true;
        c.displaySize = c.octetLength = static_cast<SQLLEN>(decimalChars(driver.size, scale));
        return true;
    }
    if (isCharacterType(driver.type) && !textSized(name) && driver.size < kLongTextChars) {
        showAs(c, driver.type, kLongTextChars);
        return true;
    }
    return false;
}

// timestamptz text carries no offset through psqlODBC: the session runs in
// UTC so that its text is the instant itself.
SQLRETURN afterConnect(Handle& dbc, SQLRETURN rc) {
    SQLHDBC h = dbc.dm.load();
    std::string reason;
    if (runInternal(DM(), h, "SET TimeZone = 'UTC'", nullptr, reason) != SQL_SUCCESS) {
        addDiag(dbc, "01000", "the session time zone could not be set to UTC: " + reason);
        return SQL_SUCCESS_WITH_INFO;
    }
    // In manual-commit mode the setting belongs to the transaction that the
    // statement began: commit it so that a rollback keeps it.
    SQLULEN autocommit = SQL_AUTOCOMMIT_ON;
    if (SQL_SUCCEEDED(DM().SQLGetConnectOption(h, SQL_AUTOCOMMIT, &autocommit)) && autocommit == SQL_AUTOCOMMIT_OFF)
        DM().SQLTransact(SQL_NULL_HENV, h, SQL_COMMIT);
    return rc;
}

SQLRETURN setSchema(Handle& dbc, const char* name) {
    std::string sql = "SET search_path TO \"";
    for (const char* p = name; *p; ++p) {
        if (*p == '"') sql += '"';
        sql += *p;
    }
    sql += '"';
    std::string reason;
    if (runInternal(DM(), dbc.dm.load(), sql.c_str(), nullptr, reason) != SQL_SUCCESS)
        return fail(dbc, "S1000", "cannot set the schema: " + reason);
    return SQL_SUCCESS;
}

SQLRETURN currentSchema(Handle& dbc, std::string& name) {
    std::string reason;
    if (runInternal(DM(), dbc.dm.load(), "SELECT current_schema()", &name, reason) != SQL_SUCCESS)
        return fail(dbc, "S1000", "cannot read the schema: " + reason);
    return SQL_SUCCESS;
}

// A standby (pg_is_in_recovery) or a session whose transactions are read
// only answers RUVA70_STORE_READ_ONLY. In manual-commit mode the question
// itself begins a transaction in psqlODBC, which would be taken before the
// application's first statement and keep an XA branch from starting. The
// same statement tells whether that happened (the transaction began in the
// statement's own message when now() equals its time); if so, autocommit
// goes on and off again at once, which ends that empty transaction. A
// transaction of the application's stays open, untouched.
SQLRETURN dataStoreState(Handle& dbc, SQLINTEGER& state) {
    const DriverManager& d = DM();
    SQLHDBC h = dbc.dm.load();
    SQLULEN autocommit = SQL_AUTOCOMMIT_ON;  // an 8-byte cell, whatever the driver writes
    const bool manual =
        SQL_SUCCEEDED(d.SQLGetConnectOption(h, SQL_AUTOCOMMIT, &autocommit)) && autocommit == SQL_AUTOCOMMIT_OFF;
    std::string value, reason;
    if (runInternal(DM(), h,
                    "SELECT CASE WHEN pg_is_in_recovery() OR current_setting('transaction_read_only') = 'on' "
                    "THEN '2' ELSE '1' END || CASE WHEN now() = statement_timestamp() THEN '+' ELSE '-' END",
                    &value, reason) != SQL_SUCCESS)
        return fail(dbc, "S1000", "cannot ask the data source for its state: " + reason);
    if (manual && value.size() == 2 && value[1] == '+') {
        d.SQLSetConnectOption(h, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
        d.SQLSetConnectOption(h, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
    }
    state = value.rfind('2', 0) == 0 ? RUVA70_STORE_READ_ONLY : RUVA70_STORE_READ_WRITE;
    return SQL_SUCCESS;
}

// Answers of psqlODBC that PostgreSQL contradicts: NULL || 'a' is NULL there
// (psqlODBC says SQL_CB_NON_NULL), and {fn RAND(seed)} becomes SQL that
// PostgreSQL refuses, so RAND is not listed.
void correctInfo(SQLUSMALLINT type, SQLPOINTER out) {
    if (type == SQL_CONCAT_NULL_BEHAVIOR) {
        const SQLUSMALLINT nullResult = SQL_CB_NULL;
        std::memcpy(out, &nullResult, sizeof nullResult);
    } else if (type == SQL_NUMERIC_FUNCTIONS) {
        SQLUINTEGER mask;
        std::memcpy(&mask, out, sizeof mask);
        mask &= ~static_cast<SQLUINTEGER>(SQL_FN_NUM_RAND);
        std::memcpy(out, &mask, sizeof mask);
    }
}

// A fetch size reads a query through a cursor of the transaction, n rows
// per FETCH. psqlODBC's own UseDeclareFetch does the same, but for every
// query of the connection.
std::string declareCursor(const std::string& name, const std::string& query) {
    return "DECLARE " + name + " NO SCROLL CURSOR FOR " + query;
}
std::string fetchCursor(const std::string& name, SQLULEN rows) {
    return "FETCH " + std::to_string(rows) + " FROM " + name;
}
std::string closeCursor(const std::string& name) {
    return "CLOSE " + name;
}
const CursorStatements kCursorStatements = {declareCursor, fetchCursor, closeCursor};

// psqlODBC dropped the connection at 8,192 markers in one statement; 6,000
// worked.
constexpr SQLULEN kInsertMarkers = 4096;

const DataSource kPostgres = {
    .name = "PostgreSQL",
    .functions = nullptr,
    .numbers = NumberReads::Converted,
    .driverConvertsExactly = convertsExactly,
    .zonedTimestampText = true,
    .timeAsText = true,
    .wideTextAsUtf8 = false,
    .timestampType = timestampType,
    .describeWithTypeName = true,
    .describeWithUnsigned = false,
    .widerIntegers = false,
    .precisionIsColumnSize = false,
    .columnShape = columnShape,
    .decimalStandIn = true,
    .describesUntypedParams = true,
    .insertMarkers = kInsertMarkers,
    .insertSavepoint = true,
    .arrayCountIsLastRow = true,
    .arrays = ArrayRuns::OneRowEach,
    .refuseZeroUnits = true,
    .checkSchemaVersion = false,
    .planChanged = planChanged,
    .ownMaxRows = false,
    .driverReprepares = false,
    .silentReprepares = false,
    .cancel = CancelRoute::DriverDirect,
    .oneCallAtATime = false,
    .fixRecord = nullptr,
    .nativeSqlWarningLost = false,
    .afterConnect = afterConnect,
    .setSchema = setSchema,
    .currentSchema = currentSchema,
    .dataStoreState = dataStoreState,
    .correctInfo = correctInfo,
    .generatedKeys = RUVA70_KEYS_RETURNING,
    .xa = postgresXaOperations,
    .columnsQuery = nullptr,
    .cursorStatements = &kCursorStatements,
    .arrayText = RUVA70_ARRAYS_BRACES,
    .isArrayType = isArrayType,
    .ownTypeName = ownTypeName,
};

}  // namespace

const DataSource& postgresSource() {
    return kPostgres;
}

}  // namespace ruva
