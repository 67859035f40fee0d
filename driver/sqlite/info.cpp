// SQLGetInfo over the SQLite engine: one table of answers, each what SQLite
// (the library this process runs) does, with the few that depend on the
// connection or the library's version computed.
#include "catalog.h"

#include "qvjdbc/ruva70.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

namespace ruva::sqlite {
namespace {

enum class Kind { Text, Small, Int };

// What an answer is computed from, where it is not a constant.
enum class From {
    Constant,
    Version,      // sqlite3_libversion()
    File,         // the database file
    ReadOnly,     // "Y" for a read-only connection
    Functions,    // functionList(info type)
    Conversions,  // conversions()
    Keywords,     // SQLite's keywords that SQL-92 does not reserve
    OuterJoins,   // "F" where SQLite has RIGHT and FULL joins (3.39), else "Y"
    OjCapabilities,
    AlterTable,  // ADD COLUMN; DROP COLUMN from 3.35
};

struct Answer {
    SQLUSMALLINT type;
    Kind kind;
    const char* text;
    SQLUINTEGER number;
    From from = From::Constant;
};

// SQLite's default limits (SQLITE_MAX_LENGTH, SQLITE_MAX_SQL_LENGTH,
// SQLITE_MAX_COLUMN) and the 64 tables a join can have.
constexpr SQLUINTEGER kMaxLength = 1000000000;
constexpr SQLUINTEGER kMaxColumns = 2000;
constexpr SQLUINTEGER kMaxJoin = 64;

constexpr Answer kAnswers[] = {
    {SQL_ACTIVE_CONNECTIONS, Kind::Small, nullptr, 0},
    {SQL_ACTIVE_STATEMENTS, Kind::Small, nullptr, 0},
    {SQL_DATA_SOURCE_NAME, Kind::Text, "", 0},
    {SQL_DRIVER_NAME, Kind::Text, "libruva70", 0},
    {SQL_DRIVER_VER, Kind::Text, "07.00.0000", 0},
    {SQL_FETCH_DIRECTION, Kind::Int, nullptr, SQL_FD_FETCH_NEXT},
    {SQL_ODBC_API_CONFORMANCE, Kind::Small, nullptr, SQL_OAC_LEVEL1},
    {SQL_ROW_UPDATES, Kind::Text, "N", 0},
    {SQL_ODBC_SAG_CLI_CONFORMANCE, Kind::Small, nullptr, SQL_OSCC_NOT_COMPLIANT},
    {SQL_SERVER_NAME, Kind::Text, nullptr, 0, From::File},
    {SQL_SEARCH_PATTERN_ESCAPE, Kind::Text, "\\", 0},
    {SQL_ODBC_SQL_CONFORMANCE, Kind::Small, nullptr, SQL_OSC_CORE},
    {SQL_DATABASE_NAME, Kind::Text, nullptr, 0, From::File},
    {SQL_DBMS_NAME, Kind::Text, "SQLite", 0},
    {SQL_DBMS_VER, Kind::Text, nullptr, 0, From::Version},
    // No privileges: every table listed can be read.
    {SQL_ACCESSIBLE_TABLES, Kind::Text, "Y", 0},
    {SQL_ACCESSIBLE_PROCEDURES, Kind::Text, "N", 0},
    {SQL_PROCEDURES, Kind::Text, "N", 0},
    {SQL_CONCAT_NULL_BEHAVIOR, Kind::Small, nullptr, SQL_CB_NULL},
    // Statements stay prepared across both; COMMIT leaves cursors open, the
    // engine closes them before a ROLLBACK (SQLite would abort them).
    {SQL_CURSOR_COMMIT_BEHAVIOR, Kind::Small, nullptr, SQL_CB_PRESERVE},
    {SQL_CURSOR_ROLLBACK_BEHAVIOR, Kind::Small, nullptr, SQL_CB_CLOSE},
    {SQL_DATA_SOURCE_READ_ONLY, Kind::Text, nullptr, 0, From::ReadOnly},
    {SQL_DEFAULT_TXN_ISOLATION, Kind::Int, nullptr, SQL_TXN_SERIALIZABLE},
    {SQL_EXPRESSIONS_IN_ORDERBY, Kind::Text, "Y", 0},
    // Names are alike whatever their case, quoted or not, and kept as written.
    {SQL_IDENTIFIER_CASE, Kind::Small, nullptr, SQL_IC_MIXED},
    {SQL_IDENTIFIER_QUOTE_CHAR, Kind::Text, "\"", 0},
    {SQL_MAX_COLUMN_NAME_LEN, Kind::Small, nullptr, 0},
    {SQL_MAX_CURSOR_NAME_LEN, Kind::Small, nullptr, 0},
    {SQL_MAX_OWNER_NAME_LEN, Kind::Small, nullptr, 0},
    {SQL_MAX_PROCEDURE_NAME_LEN, Kind::Small, nullptr, 0},
    {SQL_MAX_QUALIFIER_NAME_LEN, Kind::Small, nullptr, 0},
    {SQL_MAX_TABLE_NAME_LEN, Kind::Small, nullptr, 0},
    // A text of several statements gives their results one after another.
    {SQL_MULT_RESULT_SETS, Kind::Text, "Y", 0},
    {SQL_BATCH_SUPPORT, Kind::Int, nullptr, SQL_BS_SELECT_EXPLICIT | SQL_BS_ROW_COUNT_EXPLICIT},
    {SQL_BATCH_ROW_COUNT, Kind::Int, nullptr, SQL_BRC_EXPLICIT},
    {SQL_MULTIPLE_ACTIVE_TXN, Kind::Text, "Y", 0},
    {SQL_OUTER_JOINS, Kind::Text, nullptr, 0, From::OuterJoins},
    {SQL_OWNER_TERM, Kind::Text, "", 0},
    {SQL_PROCEDURE_TERM, Kind::Text, "", 0},
    {SQL_QUALIFIER_NAME_SEPARATOR, Kind::Text, "", 0},
    {SQL_QUALIFIER_TERM, Kind::Text, "", 0},
    {SQL_SCROLL_CONCURRENCY, Kind::Int, nullptr, SQL_SCCO_READ_ONLY},
    {SQL_SCROLL_OPTIONS, Kind::Int, nullptr, SQL_SO_FORWARD_ONLY},
    {SQL_TABLE_TERM, Kind::Text, "table", 0},
    // DDL is transactional in SQLite.
    {SQL_TXN_CAPABLE, Kind::Small, nullptr, SQL_TC_ALL},
    {SQL_USER_NAME, Kind::Text, "", 0},
    {SQL_CONVERT_FUNCTIONS, Kind::Int, nullptr, 0, From::Functions},
    {SQL_NUMERIC_FUNCTIONS, Kind::Int, nullptr, 0, From::Functions},
    {SQL_STRING_FUNCTIONS, Kind::Int, nullptr, 0, From::Functions},
    {SQL_SYSTEM_FUNCTIONS, Kind::Int, nullptr, 0, From::Functions},
    {SQL_TIMEDATE_FUNCTIONS, Kind::Int, nullptr, 0, From::Functions},
    {SQL_CONVERT_BIGINT, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_BINARY, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_BIT, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_CHAR, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_DATE, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_DECIMAL, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_DOUBLE, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_FLOAT, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_INTEGER, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_LONGVARCHAR, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_NUMERIC, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_REAL, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_SMALLINT, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_TIME, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_TIMESTAMP, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_TINYINT, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_VARBINARY, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_VARCHAR, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_CONVERT_LONGVARBINARY, Kind::Int, nullptr, 0, From::Conversions},
    {SQL_TXN_ISOLATION_OPTION, Kind::Int, nullptr, SQL_TXN_SERIALIZABLE},
    // PRIMARY KEY, FOREIGN KEY, CHECK and DEFAULT are all enforced.
    {SQL_ODBC_SQL_OPT_IEF, Kind::Text, "Y", 0},
    {SQL_CORRELATION_NAME, Kind::Small, nullptr, SQL_CN_ANY},
    {SQL_NON_NULLABLE_COLUMNS, Kind::Small, nullptr, SQL_NNC_NON_NULL},
    {SQL_DRIVER_ODBC_VER, Kind::Text, "02.50", 0},
    {SQL_LOCK_TYPES, Kind::Int, nullptr, 0},
    {SQL_POS_OPERATIONS, Kind::Int, nullptr, 0},
    {SQL_POSITIONED_STATEMENTS, Kind::Int, nullptr, 0},
    // Any column, in any order, bound or not, of the current row.
    {SQL_GETDATA_EXTENSIONS, Kind::Int, nullptr, SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BOUND},
    {SQL_BOOKMARK_PERSISTENCE, Kind::Int, nullptr, 0},
    {SQL_STATIC_SENSITIVITY, Kind::Int, nullptr, 0},
    {SQL_FILE_USAGE, Kind::Small, nullptr, SQL_FILE_NOT_SUPPORTED},
    // NULL sorts before every value ascending and after every one descending.
    {SQL_NULL_COLLATION, Kind::Small, nullptr, SQL_NC_LOW},
    {SQL_ALTER_TABLE, Kind::Int, nullptr, 0, From::AlterTable},
    {SQL_COLUMN_ALIAS, Kind::Text, "Y", 0},
    {SQL_GROUP_BY, Kind::Small, nullptr, SQL_GB_NO_RELATION},
    {SQL_KEYWORDS, Kind::Text, nullptr, 0, From::Keywords},
    {SQL_ORDER_BY_COLUMNS_IN_SELECT, Kind::Text, "N", 0},
    {SQL_OWNER_USAGE, Kind::Int, nullptr, 0},
    {SQL_QUALIFIER_USAGE, Kind::Int, nullptr, 0},
    {SQL_QUOTED_IDENTIFIER_CASE, Kind::Small, nullptr, SQL_IC_MIXED},
    {SQL_SPECIAL_CHARACTERS, Kind::Text, "$", 0},
    // Comparison, EXISTS, IN and correlated subqueries; no ANY or ALL.
    {SQL_SUBQUERIES, Kind::Int, nullptr,
     SQL_SQ_COMPARISON | SQL_SQ_EXISTS | SQL_SQ_IN | SQL_SQ_CORRELATED_SUBQUERIES},
    {SQL_UNION, Kind::Int, nullptr, SQL_U_UNION | SQL_U_UNION_ALL},
    {SQL_MAX_COLUMNS_IN_GROUP_BY, Kind::Small, nullptr, kMaxColumns},
    {SQL_MAX_COLUMNS_IN_INDEX, Kind::Small, nullptr, kMaxColumns},
    {SQL_MAX_COLUMNS_IN_ORDER_BY, Kind::Small, nullptr, kMaxColumns},
    {SQL_MAX_COLUMNS_IN_SELECT, Kind::Small, nullptr, kMaxColumns},
    {SQL_MAX_COLUMNS_IN_TABLE, Kind::Small, nullptr, kMaxColumns},
    {SQL_MAX_INDEX_SIZE, Kind::Int, nullptr, 0},
    {SQL_MAX_ROW_SIZE_INCLUDES_LONG, Kind::Text, "Y", 0},
    {SQL_MAX_ROW_SIZE, Kind::Int, nullptr, kMaxLength},
    {SQL_MAX_STATEMENT_LEN, Kind::Int, nullptr, kMaxLength},
    {SQL_MAX_TABLES_IN_SELECT, Kind::Small, nullptr, kMaxJoin},
    {SQL_MAX_USER_NAME_LEN, Kind::Small, nullptr, 0},
    {SQL_MAX_CHAR_LITERAL_LEN, Kind::Int, nullptr, 0},
    {SQL_TIMEDATE_ADD_INTERVALS, Kind::Int, nullptr, 0},
    {SQL_TIMEDATE_DIFF_INTERVALS, Kind::Int, nullptr, 0},
    {SQL_NEED_LONG_DATA_LEN, Kind::Text, "N", 0},
    {SQL_MAX_BINARY_LITERAL_LEN, Kind::Int, nullptr, 0},
    {SQL_LIKE_ESCAPE_CLAUSE, Kind::Text, "Y", 0},
    {SQL_QUALIFIER_LOCATION, Kind::Small, nullptr, 0},
    {SQL_OJ_CAPABILITIES, Kind::Int, nullptr, 0, From::OjCapabilities},
    {SQL_SQL_CONFORMANCE, Kind::Int, nullptr, SQL_SC_SQL92_ENTRY},
    {RUVA70_INFO_DATA_STORE_STATE, Kind::Int, nullptr, RUVA70_STORE_UNKNOWN},
    {RUVA70_INFO_GENERATED_KEYS, Kind::Int, nullptr, RUVA70_KEYS_LAST_ROWID},
};

// SQL-92's reserved words: SQL_KEYWORDS lists only the others.
constexpr const char* kSql92[] = {"ABSOLUTE",
                                  "ACTION",
                                  "ADA",
                                  "ADD",
                                  "ALL",
                                  "ALLOCATE",
                                  "ALTER",
                                  "AND",
                                  "ANY",
                                  "ARE",
                                  "AS",
                                  "ASC",
                                  "ASSERTION",
                                  "AT",
                                  "AUTHORIZATION",
                                  "AVG",
                                  "BEGIN",
                                  "BETWEEN",
                                  "BIT",
                                  "BIT_LENGTH",
                                  "BOTH",
                                  "BY",
                                  "CASCADE",
                                  "CASCADED",
                                  "CASE",
                                  "CAST",
                                  "CATALOG",
                                  "CHAR",
                                  "CHAR_LENGTH",
                                  "CHARACTER",
                                  "CHARACTER_LENGTH",
                                  "CHECK",
                                  "CLOSE",
                                  "COALESCE",
                                  "COLLATE",
                                  "COLLATION",
                                  "COLUMN",
                                  "COMMIT",
                                  "CONNECT",
                                  "CONNECTION",
                                  "CONSTRAINT",
                                  "CONSTRAINTS",
                                  "CONTINUE",
                                  "CONVERT",
                                  "CORRESPONDING",
                                  "COUNT",
                                  "CREATE",
                                  "CROSS",
                                  "CURRENT",
                                  "CURRENT_DATE",
                                  "CURRENT_TIME",
                                  "CURRENT_TIMESTAMP",
                                  "CURRENT_USER",
                                  "CURSOR",
                                  "DATE",
                                  "DAY",
                                  "DEALLOCATE",
                                  "DEC",
                                  "DECIMAL",
                                  "DECLARE",
                                  "DEFAULT",
                                  "DEFERRABLE",
                                  "DEFERRED",
                                  "DELETE",
                                  "DESC",
                                  "DESCRIBE",
                                  "DESCRIPTOR",
                                  "DIAGNOSTICS",
                                  "DISCONNECT",
                                  "DISTINCT",
                                  "DOMAIN",
                                  "DOUBLE",
                                  "DROP",
                                  "ELSE",
                                  "END",
                                  "END-EXEC",
                                  "ESCAPE",
                                  "EXCEPT",
                                  "EXCEPTION",
                                  "EXEC",
                                  "EXECUTE",
                                  "EXISTS",
                                  "EXTERNAL",
                                  "EXTRACT",
                                  "FALSE",
                                  "FETCH",
                                  "FIRST",
                                  "FLOAT",
                                  "FOR",
                                  "FOREIGN",
                                  "FORTRAN",
                                  "FOUND",
                                  "FROM",
                                  "FULL",
                                  "GET",
                                  "GLOBAL",
                                  "GO",
                                  "GOTO",
                                  "GRANT",
                                  "GROUP",
                                  "HAVING",
                                  "HOUR",
                                  "IDENTITY",
                                  "IMMEDIATE",
                                  "IN",
                                  "INCLUDE",
                                  "INDEX",
                                  "INDICATOR",
                                  "INITIALLY",
                                  "INNER",
                                  "INPUT",
                                  "INSENSITIVE",
                                  "INSERT",
                                  "INT",
                                  "INTEGER",
                                  "INTERSECT",
                                  "INTERVAL",
                                  "INTO",
                                  "IS",
                                  "ISOLATION",
                                  "JOIN",
                                  "KEY",
                                  "LANGUAGE",
                                  "LAST",
                                  "LEADING",
                                  "LEFT",
                                  "LEVEL",
                                  "LIKE",
                                  "LOCAL",
                                  "LOWER",
                                  "MATCH",
                                  "MAX",
                                  "MIN",
                                  "MINUTE",
                                  "MODULE",
                                  "MONTH",
                                  "NAMES",
                                  "NATIONAL",
                                  "NATURAL",
                                  "NCHAR",
                                  "NEXT",
                                  "NO",
                                  "NONE",
                                  "NOT",
                                  "NULL",
                                  "NULLIF",
                                  "NUMERIC",
                                  "OCTET_LENGTH",
                                  "OF",
                                  "ON",
                                  "ONLY",
                                  "OPEN",
                                  "OPTION",
                                  "OR",
                                  "ORDER",
                                  "OUTER",
                                  "OUTPUT",
                                  "OVERLAPS",
                                  "PAD",
                                  "PARTIAL",
                                  "PASCAL",
                                  "POSITION",
                                  "PRECISION",
                                  "PREPARE",
                                  "PRESERVE",
                                  "PRIMARY",
                                  "PRIOR",
                                  "PRIVILEGES",
                                  "PROCEDURE",
                                  "PUBLIC",
                                  "READ",
                                  "REAL",
                                  "REFERENCES",
                                  "RELATIVE",
                                  "RESTRICT",
                                  "REVOKE",
                                  "RIGHT",
                                  "ROLLBACK",
                                  "ROWS",
                                  "SCHEMA",
                                  "SCROLL",
                                  "SECOND",
                                  "SECTION",
                                  "SELECT",
                                  "SESSION",
                                  "SESSION_USER",
                                  "SET",
                                  "SIZE",
                                  "SMALLINT",
                                  "SOME",
                                  "SPACE",
                                  "SQL",
                                  "SQLCA",
                                  "SQLCODE",
                                  "SQLERROR",
                                  "SQLSTATE",
                                  "SQLWARNING",
                                  "SUBSTRING",
                                  "SUM",
                                  "SYSTEM_USER",
                                  "TABLE",
                                  "TEMPORARY",
                                  "THEN",
                                  "TIME",
                                  "TIMESTAMP",
                                  "TIMEZONE_HOUR",
                                  "TIMEZONE_MINUTE",
                                  "TO",
                                  "TRAILING",
                                  "TRANSACTION",
                                  "TRANSLATE",
                                  "TRANSLATION",
                                  "TRIM",
                                  "TRUE",
                                  "UNION",
                                  "UNIQUE",
                                  "UNKNOWN",
                                  "UPDATE",
                                  "UPPER",
                                  "USAGE",
                                  "USER",
                                  "USING",
                                  "VALUE",
                                  "VALUES",
                                  "VARCHAR",
                                  "VARYING",
                                  "VIEW",
                                  "WHEN",
                                  "WHENEVER",
                                  "WHERE",
                                  "WITH",
                                  "WORK",
                                  "WRITE",
                                  "YEAR",
                                  "ZONE"};

const std::string& keywords() {
    static const std::string list = [] {
        std::set<std::string> reserved(std::begin(kSql92), std::end(kSql92));
        std::set<std::string> own;
        for (int i = 0; i < sqlite3_keyword_count(); ++i) {
            const char* name = nullptr;
            int len = 0;
            if (sqlite3_keyword_name(i, &name, &len) == SQLITE_OK && name) {
                std::string k(name, static_cast<size_t>(len));
                if (!reserved.count(k)) own.insert(k);
            }
        }
        std::string out;
        for (const std::string& k : own) out += (out.empty() ? "" : ",") + k;
        return out;
    }();
    return list;
}

bool hasRightAndFullJoins() {
    return sqlite3_libversion_number() >= 3039000;
}

SQLRETURN putText(const std::string& value, SQLPOINTER out, SQLSMALLINT capacity, SQLSMALLINT* length,
                  std::string& state, std::string& message) {
    if (capacity < 0) {
        state = "S1090";
        message = "The buffer length is negative.";
        return SQL_ERROR;
    }
    if (length) *length = static_cast<SQLSMALLINT>(std::min<size_t>(value.size(), 32767));
    if (!out || capacity == 0) {
        if (value.empty() || !out) return SQL_SUCCESS;
        state = "01004";
        message = "The answer was truncated.";
        return SQL_SUCCESS_WITH_INFO;
    }
    size_t n = std::min(value.size(), static_cast<size_t>(capacity - 1));
    std::memcpy(out, value.data(), n);
    static_cast<char*>(out)[n] = '\0';
    if (n < value.size()) {
        state = "01004";
        message = "The answer was truncated.";
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

}  // namespace

SQLRETURN getInfo(const InfoContext& ctx, SQLUSMALLINT infoType, SQLPOINTER out, SQLSMALLINT capacity,
                  SQLSMALLINT* length, std::string& state, std::string& message) {
    const Answer* a = nullptr;
    for (const Answer& x : kAnswers) {
        if (x.type == infoType) {
            a = &x;
            break;
        }
    }
    if (!a) {
        state = "S1096";
        message = "Information type " + std::to_string(infoType) + " is not one this driver answers.";
        return SQL_ERROR;
    }
    std::string text = a->text ? a->text : "";
    SQLUINTEGER number = a->number;
    switch (a->from) {
        case From::Constant:
            break;
        case From::Version:
            text = sqlite3_libversion();
            break;
        case From::File:
            text = ctx.databaseFile;
            break;
        case From::ReadOnly:
            text = ctx.readOnly ? "Y" : "N";
            break;
        case From::Functions:
            number = functionList(infoType);
            break;
        case From::Conversions:
            number = conversions();
            break;
        case From::Keywords:
            text = keywords();
            break;
        case From::OuterJoins:
            text = hasRightAndFullJoins() ? "F" : "Y";
            break;
        case From::OjCapabilities:
            number = SQL_OJ_LEFT | SQL_OJ_NESTED | SQL_OJ_NOT_ORDERED | SQL_OJ_INNER | SQL_OJ_ALL_COMPARISON_OPS;
            if (hasRightAndFullJoins()) number |= SQL_OJ_RIGHT | SQL_OJ_FULL;
            break;
        case From::AlterTable:
            number = SQL_AT_ADD_COLUMN;
            if (sqlite3_libversion_number() >= 3035000) number |= SQL_AT_DROP_COLUMN;
            break;
    }
    switch (a->kind) {
        case Kind::Text:
            return putText(text, out, capacity, length, state, message);
        case Kind::Small: {
            SQLUSMALLINT v = static_cast<SQLUSMALLINT>(number);
            if (out) std::memcpy(out, &v, sizeof v);
            if (length) *length = sizeof v;
            return SQL_SUCCESS;
        }
        case Kind::Int: {
            if (out) std::memcpy(out, &number, sizeof number);
            if (length) *length = sizeof number;
            return SQL_SUCCESS;
        }
    }
    return SQL_SUCCESS;
}

}  // namespace ruva::sqlite
