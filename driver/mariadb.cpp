#include "mariadb.h"

#include "qvjdbc/ruva70.h"

#include <cctype>
#include <cstring>

namespace ruva::mariadb {
namespace {

bool named(const char* typeName, const char* name) {
    if (!typeName) return false;
    size_t i = 0;
    for (; name[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(typeName[i])) != name[i]) return false;
    return typeName[i] == 0 || typeName[i] == '(' || typeName[i] == ' ';
}

}  // namespace

ColumnShape columnShape(const char* typeName, bool isUnsigned, const ColumnShape& driver) {
    ColumnShape c = driver;
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
            if (isUnsigned && !named(typeName, "mediumint")) show(SQL_BIGINT, 19, 20, 8);
            break;
        case SQL_BIGINT:
            if (isUnsigned) show(SQL_DECIMAL, 20, 20, 20);
            break;
        case SQL_BIT:
            // BIT(1): 0 or 1, which the driver reads as a number.
            show(SQL_TINYINT, 1, 1, 1);
            break;
        case SQL_BINARY:
            if (named(typeName, "bit")) {
                const SQLULEN bytes = (driver.size + 7) / 8;
                show(SQL_BINARY, bytes, static_cast<SQLLEN>(bytes * 2), static_cast<SQLLEN>(bytes));
            }
            break;
        default:
            break;
    }
    return c;
}

SQLSMALLINT columnDriverType(SQLSMALLINT sqlType) {
    return sqlType == SQL_TIME || sqlType == SQL_TYPE_TIME ? RUVA70_TYPE_TIME_TEXT : sqlType;
}

void correctState(char (&state)[6], SQLINTEGER native) {
    // "Query execution was interrupted": what a cancel (KILL QUERY) does.
    if (std::strcmp(state, "70100") == 0 || native == 1317) std::memcpy(state, "S1008", 6);
}

}  // namespace ruva::mariadb
