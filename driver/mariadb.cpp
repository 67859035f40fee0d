// MariaDB through MariaDB Connector/ODBC 3.1: what libruva70 does otherwise
// than the driver says (the list is in mariadb.h).
#include "mariadb.h"

#include "source.h"
#include "xa.h"

#include "qvjdbc/ruva70.h"

#include <cctype>
#include <cstring>
#include <strings.h>

namespace ruva::mariadb {

bool columnShape(const std::string& typeName, const ColumnShape& driver, ColumnShape& c) {
    const bool isUnsigned = driver.isUnsigned;
    c.changed = false;
    auto show = [&](SQLSMALLINT type, SQLULEN size, SQLLEN display, SQLLEN octets) {
        c.type = type;
        c.size = size;
        c.scale = 0;
        c.changed = true;
        c.displaySize = display;
        c.octetLength = octets;
    };
    switch (driver.type) {
        case SQL_TINYINT:
            if (isUnsigned) show(SQL_SMALLINT, 5, 5, 2);
            break;
        case SQL_SMALLINT:
            if (isUnsigned) show(SQL_INTEGER, 10, 10, 4);
            break;
        case SQL_INTEGER:
            if (isUnsigned && typeName != "mediumint") show(SQL_BIGINT, 19, 20, 8);
            break;
        case SQL_BIGINT:
            if (isUnsigned) show(SQL_DECIMAL, 20, 20, 20);
            break;
        case SQL_BIT:
            // BIT(1): 0 or 1, which the driver reads as a number.
            show(SQL_TINYINT, 1, 1, 1);
            break;
        case SQL_BINARY:
            if (typeName == "bit") {
                const SQLULEN bytes = (driver.size + 7) / 8;
                show(SQL_BINARY, bytes, static_cast<SQLLEN>(bytes * 2), static_cast<SQLLEN>(bytes));
            }
            break;
        default:
            break;
    }
    return c.changed;
}

void fixRecord(Diag& record) {
    // "Query execution was interrupted": what a cancel (KILL QUERY) does.
    if (std::strcmp(record.state, "70100") == 0 || record.native == 1317) std::memcpy(record.state, "S1008", 6);
}

SQLSMALLINT timestampType(const std::string& name) {
    // DATETIME holds a wall time without zone; TIMESTAMP reads as the wall
    // time of the session's zone. Both are written as wall times.
    if (name == "datetime" || name == "timestamp") return RUVA70_TYPE_TIMESTAMP;
    return 0;
}

bool planChanged(const Diag& record, const std::string& text) {
    // 2057: the result's columns are no longer those prepared (a table
    // changed). The server ran the statement: it runs again only when it is
    // a query, which changes nothing.
    if (record.native != 2057) return false;
    size_t i = 0;
    while (i < text.size() && (std::isspace(static_cast<unsigned char>(text[i])) || text[i] == '(')) ++i;
    return text.size() - i >= 6 && strncasecmp(text.c_str() + i, "select", 6) == 0 &&
           (text.size() - i == 6 || !std::isalnum(static_cast<unsigned char>(text[i + 6])));
}

void correctInfo(SQLUSMALLINT type, SQLPOINTER out) {
    if (type == SQL_DEFAULT_TXN_ISOLATION) {
        const SQLUINTEGER level = SQL_TXN_REPEATABLE_READ;
        std::memcpy(out, &level, sizeof level);
    }
}

}  // namespace ruva::mariadb

namespace ruva::mariadb {
namespace {

// CONVERT(X'..' USING utf8): the text as a value of information_schema's
// character set, whatever bytes it holds.
std::string textLiteral(const SQLCHAR* p, SQLSMALLINT len) {
    static const char digits[] = "0123456789ABCDEF";
    const size_t n = len == SQL_NTS ? std::strlen(reinterpret_cast<const char*>(p)) : static_cast<size_t>(len);
    std::string out = "CONVERT(X'";
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out + "' USING utf8)";
}

bool given(const SQLCHAR* p, SQLSMALLINT len) {
    return p && len != 0 && !(len == SQL_NTS && *p == 0);
}

}  // namespace

std::string columnsQuery(const SQLCHAR* catalog, SQLSMALLINT catalogLen, const SQLCHAR* table, SQLSMALLINT tableLen,
                         const SQLCHAR* column, SQLSMALLINT columnLen) {
    // The ODBC type of each MariaDB type, as the result set describes it
    // (unsigned integers one type wider, BIT(1) a bit, BIT(n) its bytes).
    static const char* const kSelect =
        "SELECT TABLE_SCHEMA AS TABLE_CAT, CAST(NULL AS CHAR(1)) AS TABLE_SCHEM, TABLE_NAME, COLUMN_NAME, "
        "CAST(CASE "
        "WHEN DATA_TYPE = 'tinyint' THEN IF(COLUMN_TYPE LIKE '%unsigned%', 5, -6) "
        "WHEN DATA_TYPE = 'smallint' THEN IF(COLUMN_TYPE LIKE '%unsigned%', 4, 5) "
        "WHEN DATA_TYPE = 'mediumint' THEN 4 "
        "WHEN DATA_TYPE = 'int' THEN IF(COLUMN_TYPE LIKE '%unsigned%', -5, 4) "
        "WHEN DATA_TYPE = 'bigint' THEN IF(COLUMN_TYPE LIKE '%unsigned%', 3, -5) "
        "WHEN DATA_TYPE IN ('decimal', 'numeric') THEN 3 WHEN DATA_TYPE = 'float' THEN 7 "
        "WHEN DATA_TYPE IN ('double', 'real') THEN 8 "
        "WHEN DATA_TYPE = 'bit' THEN IF(NUMERIC_PRECISION = 1, -7, -2) "
        "WHEN DATA_TYPE IN ('char', 'enum', 'set') THEN 1 WHEN DATA_TYPE = 'varchar' THEN 12 "
        "WHEN DATA_TYPE IN ('tinytext', 'text', 'mediumtext', 'longtext', 'json') THEN -1 "
        "WHEN DATA_TYPE = 'binary' THEN -2 WHEN DATA_TYPE = 'varbinary' THEN -3 "
        "WHEN DATA_TYPE IN ('tinyblob', 'blob', 'mediumblob', 'longblob') THEN -4 "
        "WHEN DATA_TYPE = 'date' THEN 9 WHEN DATA_TYPE = 'time' THEN 10 "
        "WHEN DATA_TYPE IN ('datetime', 'timestamp') THEN 11 WHEN DATA_TYPE = 'year' THEN 5 "
        "ELSE 12 END AS SIGNED) AS DATA_TYPE, "
        "CONCAT(UPPER(DATA_TYPE), IF(COLUMN_TYPE LIKE '%unsigned%', ' UNSIGNED', '')) AS TYPE_NAME, "
        "CAST(CASE "
        "WHEN DATA_TYPE = 'bit' THEN IF(NUMERIC_PRECISION = 1, 1, (NUMERIC_PRECISION + 7) DIV 8) "
        "WHEN DATA_TYPE = 'bigint' AND COLUMN_TYPE LIKE '%unsigned%' THEN 20 "
        "WHEN DATA_TYPE = 'int' AND COLUMN_TYPE LIKE '%unsigned%' THEN 19 "
        "WHEN DATA_TYPE = 'date' THEN 10 "
        "WHEN DATA_TYPE = 'time' THEN 8 + IF(DATETIME_PRECISION > 0, DATETIME_PRECISION + 1, 0) "
        "WHEN DATA_TYPE IN ('datetime', 'timestamp') THEN 19 + IF(DATETIME_PRECISION > 0, DATETIME_PRECISION + 1, 0) "
        "WHEN DATA_TYPE = 'year' THEN 4 "
        "ELSE COALESCE(CHARACTER_MAXIMUM_LENGTH, NUMERIC_PRECISION) END AS SIGNED) AS COLUMN_SIZE, "
        "CAST(COALESCE(CHARACTER_OCTET_LENGTH, 8) AS SIGNED) AS BUFFER_LENGTH, "
        "CAST(CASE WHEN DATA_TYPE IN ('time', 'datetime', 'timestamp') THEN DATETIME_PRECISION "
        "WHEN DATA_TYPE = 'bit' THEN NULL ELSE NUMERIC_SCALE END AS SIGNED) AS DECIMAL_DIGITS, "
        "CAST(IF(NUMERIC_PRECISION IS NULL OR DATA_TYPE = 'bit', NULL, 10) AS SIGNED) AS NUM_PREC_RADIX, "
        "CAST(IF(IS_NULLABLE = 'YES', 1, 0) AS SIGNED) AS NULLABLE, COLUMN_COMMENT AS REMARKS, "
        "COLUMN_DEFAULT AS COLUMN_DEF, CAST(NULL AS SIGNED) AS SQL_DATA_TYPE, "
        "CAST(NULL AS SIGNED) AS SQL_DATETIME_SUB, CAST(CHARACTER_OCTET_LENGTH AS SIGNED) AS CHAR_OCTET_LENGTH, "
        "CAST(ORDINAL_POSITION AS SIGNED) AS ORDINAL_POSITION, IS_NULLABLE, "
        "CAST(IF(EXTRA LIKE '%auto_increment%', 1, 0) AS SIGNED) AS AUTO_INCREMENT "
        "FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = ";
    std::string sql = kSelect;
    sql += given(catalog, catalogLen) ? textLiteral(catalog, catalogLen) : std::string("DATABASE()");
    if (given(table, tableLen)) sql += " AND TABLE_NAME LIKE " + textLiteral(table, tableLen);
    if (given(column, columnLen)) sql += " AND COLUMN_NAME LIKE " + textLiteral(column, columnLen);
    return sql + " ORDER BY TABLE_SCHEMA, TABLE_NAME, ORDINAL_POSITION";
}

}  // namespace ruva::mariadb

namespace ruva {
namespace {

const DataSource kMariadb = {
    .name = "MariaDB",
    .functions = nullptr,
    // Unsigned columns are described wide enough for their values, so every
    // numeric read the native library makes fits.
    .numbers = NumberReads::Driver,
    .driverConvertsExactly = nullptr,
    .zonedTimestampText = false,
    // TIME holds -838:59:59 to 838:59:59 and fractions of a second.
    .timeAsText = true,
    // MariaDB Connector/ODBC's UTF-16 ends a value at U+0000 (with success);
    // its UTF-8 keeps every character. The connection is in utf8mb4.
    .wideTextAsUtf8 = true,
    .timestampType = mariadb::timestampType,
    .describeWithTypeName = true,
    .describeWithUnsigned = true,
    .widerIntegers = false,
    .precisionIsColumnSize = true,
    .columnShape = mariadb::columnShape,
    .decimalStandIn = false,
    .describesUntypedParams = false,
    .insertMarkers = 0,
    .insertSavepoint = false,
    .arrayCountIsLastRow = false,
    // The driver sends a parameter array as one bulk execution.
    .arrays = ArrayRuns::Driver,
    .refuseZeroUnits = false,
    .checkSchemaVersion = false,
    // A prepared query whose table changed is prepared again (error 2057).
    .planChanged = mariadb::planChanged,
    .ownMaxRows = false,
    .driverReprepares = false,
    .silentReprepares = true,
    .cancel = CancelRoute::DriverDirect,
    .oneCallAtATime = true,
    .fixRecord = mariadb::fixRecord,
    .nativeSqlWarningLost = false,
    .afterConnect = nullptr,
    .setSchema = nullptr,
    .currentSchema = nullptr,
    .dataStoreState = nullptr,
    .correctInfo = mariadb::correctInfo,
    .generatedKeys = RUVA70_KEYS_LAST_INSERT_ID,
    .xa = mariadbXaOperations,
    .columnsQuery = mariadb::columnsQuery,
    .cursorStatements = nullptr,
    .arrayText = RUVA70_ARRAYS_NONE,
    .isArrayType = nullptr,
    .ownTypeName = nullptr,
};

}  // namespace

const DataSource& mariadbSource() {
    return kMariadb;
}

}  // namespace ruva
