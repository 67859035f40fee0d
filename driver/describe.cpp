#include "describe.h"

#include "source.h"
#include "statement.h"

#include "qvjdbc/ruva70.h"

#include <cctype>
#include <cstring>
#include <string>

namespace ruva {
namespace {

bool isTimestampType(SQLSMALLINT t) {
    return t == SQL_TIMESTAMP || t == SQL_TYPE_TIMESTAMP;
}

constexpr SQLULEN kGuidChars = RUVA70_GUID_CHARS;
constexpr SQLULEN kLongTextChars = RUVA70_LONG_TEXT_CHARS;

}  // namespace

std::string normalTypeName(const char* name) {
    std::string s;
    for (const char* p = name; *p && *p != '('; ++p)
        s += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    size_t start = s.find_first_not_of(' ');
    return start == std::string::npos ? std::string() : s.substr(start);
}

void showAs(ColumnShape& c, SQLSMALLINT type, SQLULEN size) {
    c.type = type;
    c.size = size;
    c.scale = 0;
    c.changed = true;
    c.displaySize = c.octetLength = static_cast<SQLLEN>(size);
}

bool isCharacterType(SQLSMALLINT t) {
    switch (t) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
        case SQL_WLONGVARCHAR:
            return true;
        default:
            return false;
    }
}

ColumnShape columnShape(const DataSource& source, const char* typeName, const ColumnShape& driver) {
    ColumnShape c = driver;
    c.changed = false;
    if (source.columnShape && source.columnShape(normalTypeName(typeName ? typeName : ""), driver, c)) return c;
    // Dates and times of ODBC 3 under their ODBC 2 codes.
    if (driver.type == SQL_TYPE_DATE || driver.type == SQL_TYPE_TIME || driver.type == SQL_TYPE_TIMESTAMP) {
        c.type = static_cast<SQLSMALLINT>(driver.type - (SQL_TYPE_DATE - SQL_DATE));
        c.changed = true;
        c.displaySize = c.octetLength = static_cast<SQLLEN>(driver.size);
        return c;
    }
    if (driver.type == SQL_GUID) {
        showAs(c, SQL_VARCHAR, kGuidChars);
        return c;
    }
    if (driver.type == SQL_BIT) {
        showAs(c, SQL_CHAR, 1);
        return c;
    }
    if (driver.type == 0 || driver.type < SQL_WLONGVARCHAR || driver.type > SQL_VARCHAR) {
        showAs(c, SQL_VARCHAR, driver.size > kLongTextChars ? driver.size : kLongTextChars);
        return c;
    }
    return c;
}

SQLSMALLINT columnDriverType(const DataSource& source, const char* typeName, SQLSMALLINT sqlType) {
    // Time of day with the fraction of a second the data source keeps,
    // which the ODBC time structure cannot carry.
    if ((sqlType == SQL_TIME || sqlType == SQL_TYPE_TIME) && source.timeAsText) return RUVA70_TYPE_TIME_TEXT;
    if (source.isArrayType && isCharacterType(sqlType) && source.isArrayType(normalTypeName(typeName)))
        return RUVA70_TYPE_ARRAY;
    if (!isTimestampType(sqlType) || !source.timestampType) return sqlType;
    const SQLSMALLINT own = source.timestampType(normalTypeName(typeName));
    return own ? own : sqlType;
}

SQLSMALLINT parameterDriverType(const DataSource& source, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT scale) {
    // A parameter has no type name: a timestamp parameter is taken as one
    // without time zone (carried as the ODBC timestamp structure).
    if (isTimestampType(sqlType)) return RUVA70_TYPE_TIMESTAMP;
    if (sqlType == SQL_DECIMAL || sqlType == SQL_NUMERIC) {
        // Precision not reported: 0 from any data source; psqlODBC's
        // stand-in description of 28 digits, scale 6 (which a parameter
        // declared exactly numeric(28,6) also gets: the known false positive).
        if (size == 0) return RUVA70_TYPE_DECIMAL_UNSIZED;
        if (source.decimalStandIn && size == 28 && scale == 6) return RUVA70_TYPE_DECIMAL_UNSIZED;
    }
    return sqlType;
}

namespace {

// The type name libruva70 found for a column the driver names "unknown",
// asked once per result and column; empty when the data source cannot tell.
const std::string& ownTypeName(Handle& stmt, SQLUSMALLINT icol) {
    StmtState& st = *stmt.stmt;
    auto found = st.ownTypeNames.find(icol);
    if (found != st.ownTypeNames.end()) return found->second;
    std::string name;
    if (!st.source->ownTypeName(fns(stmt), st.dmDbc, stmt.dm.load(), icol, name)) name.clear();
    return st.ownTypeNames.emplace(icol, std::move(name)).first->second;
}

bool unknownName(const char* name) {
    return std::strcmp(name, "unknown") == 0;
}

// The data source's type name of a column, or the empty text.
void typeNameOf(Handle& stmt, SQLUSMALLINT icol, char (&typeName)[130]) {
    const DriverManager& d = fns(stmt);
    SQLHSTMT h = stmt.dm.load();
    SQLSMALLINT nameLen = 0;
    SQLLEN unused = 0;
    typeName[0] = 0;
    if (!SQL_SUCCEEDED(
            d.SQLColAttributes(h, icol, SQL_COLUMN_TYPE_NAME, typeName, sizeof typeName - 1, &nameLen, &unused)))
        typeName[0] = 0;
    if (stmt.stmt->source->ownTypeName && unknownName(typeName)) {
        const std::string& own = ownTypeName(stmt, icol);
        if (!own.empty() && own.size() < sizeof typeName) std::memcpy(typeName, own.c_str(), own.size() + 1);
    }
}

}  // namespace

namespace {

bool unsignedColumn(const DriverManager& d, SQLHSTMT h, SQLUSMALLINT icol) {
    SQLLEN flag = 0;
    return SQL_SUCCEEDED(d.SQLColAttributes(h, icol, SQL_COLUMN_UNSIGNED, nullptr, 0, nullptr, &flag)) && flag != 0;
}

}  // namespace

SQLRETURN describeColumn(Handle& stmt, SQLUSMALLINT icol, SQLCHAR* szColName, SQLSMALLINT cbColNameMax,
                         SQLSMALLINT* pcbColName, SQLSMALLINT* pfSqlType, SQLULEN* pcbColDef, SQLSMALLINT* pibScale,
                         SQLSMALLINT* pfNullable) {
    const DriverManager& d = fns(stmt);
    SQLHSTMT h = stmt.dm.load();
    const DataSource& source = *stmt.stmt->source;
    // The type name first: the description must be the last call, so that
    // its own records are the statement's.
    char typeName[130] = {};
    if (stmt.stmt->driverTypes == 1 || source.describeWithTypeName) typeNameOf(stmt, icol, typeName);
    ColumnShape driver;
    if (source.describeWithUnsigned) driver.isUnsigned = unsignedColumn(d, h, icol);
    SQLRETURN rc = d.SQLDescribeCol(h, icol, szColName, cbColNameMax, pcbColName, &driver.type, &driver.size,
                                    &driver.scale, pfNullable);
    if (!SQL_SUCCEEDED(rc)) return rc;
    const ColumnShape shown = columnShape(source, typeName, driver);
    SQLSMALLINT type = shown.type;
    if (stmt.stmt->driverTypes == 1) type = columnDriverType(source, typeName, type);
    if (pfSqlType) *pfSqlType = type;
    if (pcbColDef) *pcbColDef = shown.size;
    if (pibScale) *pibScale = shown.scale;
    return rc;
}

SQLRETURN columnAttribute(Handle& stmt, SQLUSMALLINT icol, SQLUSMALLINT fDescType, SQLPOINTER rgbDesc,
                          SQLSMALLINT cbDescMax, SQLSMALLINT* pcbDesc, SQLLEN* pfDesc) {
    const DriverManager& d = fns(stmt);
    SQLHSTMT h = stmt.dm.load();
    switch (fDescType) {
        case SQL_COLUMN_TYPE:
        case SQL_COLUMN_LENGTH:
        case SQL_COLUMN_PRECISION:
        case SQL_COLUMN_SCALE:
        case SQL_COLUMN_DISPLAY_SIZE:
            break;
        case SQL_COLUMN_TYPE_NAME: {
            SQLRETURN rc = d.SQLColAttributes(h, icol, fDescType, rgbDesc, cbDescMax, pcbDesc, pfDesc);
            // Only a whole answer (terminated within the buffer) is compared.
            if (!SQL_SUCCEEDED(rc) || !rgbDesc || cbDescMax <= 0 || !stmt.stmt->source->ownTypeName ||
                !std::memchr(rgbDesc, 0, static_cast<size_t>(cbDescMax)) ||
                !unknownName(static_cast<const char*>(rgbDesc)))
                return rc;
            const std::string& own = ownTypeName(stmt, icol);
            if (own.empty() || static_cast<size_t>(cbDescMax) <= own.size()) return rc;
            std::memcpy(rgbDesc, own.c_str(), own.size() + 1);
            if (pcbDesc) *pcbDesc = static_cast<SQLSMALLINT>(own.size());
            return rc;
        }
        default:
            return d.SQLColAttributes(h, icol, fDescType, rgbDesc, cbDescMax, pcbDesc, pfDesc);
    }
    // The column as SQLDescribeCol shows it; the attribute asked for last, so
    // that its records are the statement's.
    const DataSource& source = *stmt.stmt->source;
    char typeName[130] = {};
    if (source.describeWithTypeName) typeNameOf(stmt, icol, typeName);
    ColumnShape driver;
    if (source.describeWithUnsigned) driver.isUnsigned = unsignedColumn(d, h, icol);
    const bool described = SQL_SUCCEEDED(
        d.SQLDescribeCol(h, icol, nullptr, 0, nullptr, &driver.type, &driver.size, &driver.scale, nullptr));
    SQLRETURN rc = d.SQLColAttributes(h, icol, fDescType, rgbDesc, cbDescMax, pcbDesc, pfDesc);
    if (!SQL_SUCCEEDED(rc) || !described || !pfDesc) return rc;
    const ColumnShape shown = columnShape(source, typeName, driver);
    if (!shown.changed && fDescType == SQL_COLUMN_PRECISION && *pfDesc == 0 && source.precisionIsColumnSize)
        *pfDesc = static_cast<SQLLEN>(driver.size);
    if (!shown.changed) return rc;
    switch (fDescType) {
        case SQL_COLUMN_TYPE:
            *pfDesc = shown.type;
            break;
        case SQL_COLUMN_SCALE:
            *pfDesc = shown.scale;
            break;
        case SQL_COLUMN_PRECISION:
            *pfDesc = static_cast<SQLLEN>(shown.size);
            break;
        case SQL_COLUMN_LENGTH:
            *pfDesc = shown.octetLength;
            break;
        default:
            *pfDesc = shown.displaySize;
            break;
    }
    return rc;
}

SQLRETURN describeParameter(Handle& stmt, SQLUSMALLINT ipar, SQLSMALLINT* pfSqlType, SQLULEN* pcbParamDef,
                            SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable) {
    const DriverManager& d = fns(stmt);
    SQLHSTMT h = stmt.dm.load();
    StmtState& st = *stmt.stmt;
    if (st.source->describesUntypedParams) {
        // A statement whose parameters the server could not type is described
        // with stand-ins and runs directly (ruva70.h).
        auto standIn = [&] {
            if (pfSqlType) *pfSqlType = SQL_VARCHAR;
            if (pcbParamDef) *pcbParamDef = 0;
            if (pibScale) *pibScale = 0;
            if (pfNullable) *pfNullable = SQL_NULLABLE_UNKNOWN;
            return SQL_SUCCESS;
        };
        if (st.undescribed) return standIn();
        SQLSMALLINT type = 0, scale = 0;
        SQLULEN size = 0;
        SQLRETURN rc = d.SQLDescribeParam(h, ipar, &type, &size, &scale, pfNullable);
        if (rc == SQL_ERROR) {
            Diag first;
            if (takeDriverRecord(stmt, first)) {
                if (std::strncmp(first.state, "42", 2) == 0 && !st.preparedText.empty()) {
                    st.undescribed = true;
                    return standIn();
                }
                keepDiag(stmt, first.state, first.native, first.message);
            }
            return rc;
        }
        if (!SQL_SUCCEEDED(rc)) return rc;
        if (pfSqlType) *pfSqlType = st.driverTypes == 1 ? parameterDriverType(*st.source, type, size, scale) : type;
        if (pcbParamDef) *pcbParamDef = size;
        if (pibScale) *pibScale = scale;
        return rc;
    }
    if (st.driverTypes != 1 || !pfSqlType)
        return d.SQLDescribeParam(h, ipar, pfSqlType, pcbParamDef, pibScale, pfNullable);
    SQLSMALLINT type = 0, scale = 0;
    SQLULEN size = 0;
    SQLRETURN rc = d.SQLDescribeParam(h, ipar, &type, &size, &scale, pfNullable);
    if (!SQL_SUCCEEDED(rc)) return rc;
    *pfSqlType = parameterDriverType(*st.source, type, size, scale);
    if (pcbParamDef) *pcbParamDef = size;
    if (pibScale) *pibScale = scale;
    return rc;
}

}  // namespace ruva
