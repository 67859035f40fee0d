#include "describe.h"

#include "statement.h"

#include "qvjdbc/ruva70.h"

#include <cctype>
#include <cstring>
#include <string>

namespace ruva {
namespace {

// The type name in lower case, without blanks around it and without a
// length or precision in parentheses ("TIMESTAMP(3)" is "timestamp").
std::string normalTypeName(const char* name) {
    std::string s;
    for (const char* p = name; *p && *p != '('; ++p)
        s += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    size_t start = s.find_first_not_of(' ');
    return start == std::string::npos ? std::string() : s.substr(start);
}

bool isTimestampType(SQLSMALLINT t) {
    return t == SQL_TIMESTAMP || t == SQL_TYPE_TIMESTAMP;
}

}  // namespace

SQLSMALLINT columnDriverType(Source source, const char* typeName, SQLSMALLINT sqlType) {
    if (!isTimestampType(sqlType)) return sqlType;
    const std::string name = normalTypeName(typeName);
    switch (source) {
        case Source::PostgreSQL:
            if (name == "timestamp" || name == "timestamp without time zone") return RUVA70_TYPE_TIMESTAMP;
            if (name == "timestamptz" || name == "timestamp with time zone") return RUVA70_TYPE_TIMESTAMP_TZ;
            break;
        case Source::SQLite:
            if (name == "timestamp") return RUVA70_TYPE_TIMESTAMP;
            if (name == "datetime") return RUVA70_TYPE_DATETIME;
            break;
        default:
            break;
    }
    return sqlType;
}

SQLSMALLINT parameterDriverType(Source source, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT scale) {
    // A parameter has no type name: a timestamp parameter is taken as one
    // without time zone (carried as the ODBC timestamp structure).
    if (isTimestampType(sqlType)) return RUVA70_TYPE_TIMESTAMP;
    if (sqlType == SQL_DECIMAL || sqlType == SQL_NUMERIC) {
        // Precision not reported: 0 from any data source; psqlODBC's
        // stand-in description of 28 digits, scale 6 (which a parameter
        // declared exactly numeric(28,6) also gets: the known false positive).
        if (size == 0) return RUVA70_TYPE_DECIMAL_UNSIZED;
        if (source == Source::PostgreSQL && size == 28 && scale == 6) return RUVA70_TYPE_DECIMAL_UNSIZED;
    }
    return sqlType;
}

SQLRETURN describeColumn(Handle& stmt, SQLUSMALLINT icol, SQLCHAR* szColName, SQLSMALLINT cbColNameMax,
                         SQLSMALLINT* pcbColName, SQLSMALLINT* pfSqlType, SQLULEN* pcbColDef, SQLSMALLINT* pibScale,
                         SQLSMALLINT* pfNullable) {
    const DriverManager& d = DM();
    SQLHSTMT h = stmt.dm.load();
    if (stmt.stmt->driverTypes != 1 || !pfSqlType)
        return d.SQLDescribeCol(h, icol, szColName, cbColNameMax, pcbColName, pfSqlType, pcbColDef, pibScale,
                                pfNullable);
    // The type name first: the description must be the last call, so that
    // its own records are the statement's.
    char typeName[130] = {};
    SQLSMALLINT nameLen = 0;
    SQLLEN unused = 0;
    if (!SQL_SUCCEEDED(
            d.SQLColAttributes(h, icol, SQL_COLUMN_TYPE_NAME, typeName, sizeof typeName - 1, &nameLen, &unused)))
        typeName[0] = 0;
    SQLRETURN rc =
        d.SQLDescribeCol(h, icol, szColName, cbColNameMax, pcbColName, pfSqlType, pcbColDef, pibScale, pfNullable);
    if (SQL_SUCCEEDED(rc)) *pfSqlType = columnDriverType(stmt.stmt->source, typeName, *pfSqlType);
    return rc;
}

SQLRETURN describeParameter(Handle& stmt, SQLUSMALLINT ipar, SQLSMALLINT* pfSqlType, SQLULEN* pcbParamDef,
                            SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable) {
    const DriverManager& d = DM();
    SQLHSTMT h = stmt.dm.load();
    if (stmt.stmt->driverTypes != 1 || !pfSqlType)
        return d.SQLDescribeParam(h, ipar, pfSqlType, pcbParamDef, pibScale, pfNullable);
    SQLSMALLINT type = 0, scale = 0;
    SQLULEN size = 0;
    SQLRETURN rc = d.SQLDescribeParam(h, ipar, &type, &size, &scale, pfNullable);
    if (!SQL_SUCCEEDED(rc)) return rc;
    *pfSqlType = parameterDriverType(stmt.stmt->source, type, size, scale);
    if (pcbParamDef) *pcbParamDef = size;
    if (pibScale) *pibScale = scale;
    return rc;
}

}  // namespace ruva
