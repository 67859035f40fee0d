// The SQLite engine's catalog functions: each is one query over the
// schema tables (main and temp) and SQLite's pragma functions, with the
// application's names and patterns bound as parameters. Types are answered
// by ruva_decl, the SQL face of declaredType, so that SQLColumns and the
// description of a result column never disagree.
#include "catalog.h"

#include <sqlite3.h>

#include <cctype>
#include <cstring>
#include <string>

namespace ruva::sqlite {
namespace {

// SQLite's default SQLITE_MAX_LENGTH: the longest text or blob it stores.
constexpr SQLULEN kLongest = 1000000000;
// Text whose size nothing declares (a column without a type).
constexpr SQLULEN kUnsizedText = 8190;
// Text or binary declared without a length (CHAR, VARCHAR, BINARY).
constexpr SQLULEN kDefaultLength = 255;
// The digits a REAL keeps, the size of an unsized NUMERIC.
constexpr SQLULEN kDoubleDigits = 15;

std::string upperTrimmed(std::string_view s) {
    std::string out;
    bool blank = false;
    for (char c : s) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

// The numbers in parentheses after a type name ("(10, 2)"); -1 where absent.
void typeArgs(std::string_view decl, long& first, long& second) {
    first = second = -1;
    size_t open = decl.find('(');
    if (open == std::string_view::npos) return;
    long* target = &first;
    bool any = false;
    long v = 0;
    for (size_t i = open + 1; i < decl.size() && decl[i] != ')'; ++i) {
        char c = decl[i];
        if (c >= '0' && c <= '9') {
            if (v < 100000000) v = v * 10 + (c - '0');
            any = true;
        } else if (c == ',') {
            if (any) *target = v;
            if (target == &second) return;
            target = &second;
            any = false;
            v = 0;
        }
    }
    if (any) *target = v;
}

bool contains(const std::string& s, const char* part) {
    return s.find(part) != std::string::npos;
}

struct Named {
    const char* name;
    SQLSMALLINT type;
};

// Declared names taken as written; anything else goes by affinity.
constexpr Named kNamed[] = {
    {"INTEGER", SQL_INTEGER},
    {"INT", SQL_INTEGER},
    {"INT4", SQL_INTEGER},
    {"MEDIUMINT", SQL_INTEGER},
    {"BIGINT", SQL_BIGINT},
    {"INT8", SQL_BIGINT},
    {"UNSIGNED BIG INT", SQL_BIGINT},
    {"SMALLINT", SQL_SMALLINT},
    {"INT2", SQL_SMALLINT},
    {"TINYINT", SQL_TINYINT},
    {"BOOLEAN", SQL_BIT},
    {"BOOL", SQL_BIT},
    {"BIT", SQL_BIT},
    {"REAL", SQL_DOUBLE},
    {"DOUBLE", SQL_DOUBLE},
    {"DOUBLE PRECISION", SQL_DOUBLE},
    {"FLOAT", SQL_DOUBLE},
    {"NUMERIC", SQL_NUMERIC},
    {"DECIMAL", SQL_DECIMAL},
    {"DEC", SQL_DECIMAL},
    {"CHAR", SQL_CHAR},
    {"CHARACTER", SQL_CHAR},
    {"NCHAR", SQL_CHAR},
    {"NATIVE CHARACTER", SQL_CHAR},
    {"VARCHAR", SQL_VARCHAR},
    {"VARCHAR2", SQL_VARCHAR},
    {"NVARCHAR", SQL_VARCHAR},
    {"NVARCHAR2", SQL_VARCHAR},
    {"VARYING CHARACTER", SQL_VARCHAR},
    {"CHARACTER VARYING", SQL_VARCHAR},
    {"TEXT", SQL_LONGVARCHAR},
    {"CLOB", SQL_LONGVARCHAR},
    {"LONGVARCHAR", SQL_LONGVARCHAR},
    {"LONG VARCHAR", SQL_LONGVARCHAR},
    {"BLOB", SQL_LONGVARBINARY},
    {"LONGVARBINARY", SQL_LONGVARBINARY},
    {"BINARY", SQL_BINARY},
    {"VARBINARY", SQL_VARBINARY},
    {"DATE", SQL_DATE},
    {"TIME", SQL_TIME},
    {"TIMESTAMP", SQL_TIMESTAMP},
    {"DATETIME", SQL_TIMESTAMP},
};

// SQLite's affinity rules, in SQLite's order (so FLOATING POINT is an
// integer, as SQLite stores it).
SQLSMALLINT byAffinity(const std::string& name, bool sized) {
    if (contains(name, "INT")) return SQL_BIGINT;
    if (contains(name, "CHAR") || contains(name, "CLOB") || contains(name, "TEXT"))
        return sized ? SQL_VARCHAR : SQL_LONGVARCHAR;
    if (contains(name, "BLOB")) return SQL_LONGVARBINARY;
    if (contains(name, "REAL") || contains(name, "FLOA") || contains(name, "DOUB")) return SQL_DOUBLE;
    return SQL_NUMERIC;
}

// Bytes of the type's default C form (SQLColumns' LENGTH).
SQLLEN octets(SQLSMALLINT type, SQLULEN size) {
    switch (type) {
        case SQL_INTEGER:
            return 4;
        case SQL_BIGINT:
            return 8;
        case SQL_SMALLINT:
            return 2;
        case SQL_TINYINT:
        case SQL_BIT:
            return 1;
        case SQL_DOUBLE:
            return 8;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return static_cast<SQLLEN>(size) + 2;
        case SQL_DATE:
        case SQL_TIME:
            return 6;
        case SQL_TIMESTAMP:
            return 16;
        default:
            return static_cast<SQLLEN>(size);
    }
}

bool isNumber(SQLSMALLINT t) {
    return t == SQL_INTEGER || t == SQL_BIGINT || t == SQL_SMALLINT || t == SQL_TINYINT || t == SQL_BIT ||
           t == SQL_DOUBLE || t == SQL_NUMERIC || t == SQL_DECIMAL;
}

bool isCharOrBinary(SQLSMALLINT t) {
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_BINARY || t == SQL_VARBINARY ||
           t == SQL_LONGVARBINARY;
}

// ruva_decl(declaration, what): what is 'type', 'size', 'length', 'scale'
// (NULL where the type has no decimal digits), 'radix' (10 for numbers,
// else NULL), 'octets' (character and binary types, else NULL) or 'name'
// (the declared name without its parenthesised part).
void declFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const unsigned char* d = sqlite3_value_text(argv[0]);
    const unsigned char* w = sqlite3_value_text(argv[1]);
    std::string_view decl = d ? reinterpret_cast<const char*>(d) : "";
    std::string_view what = w ? reinterpret_cast<const char*>(w) : "";
    SQLSMALLINT type = 0, scale = 0;
    SQLULEN size = 0;
    declaredType(decl, type, size, scale);
    if (what == "type") {
        sqlite3_result_int(ctx, type);
    } else if (what == "size") {
        sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(size));
    } else if (what == "length") {
        sqlite3_result_int64(ctx, octets(type, size));
    } else if (what == "scale") {
        if (isNumber(type) || type == SQL_TIMESTAMP)
            sqlite3_result_int(ctx, scale);
        else
            sqlite3_result_null(ctx);
    } else if (what == "radix") {
        if (isNumber(type))
            sqlite3_result_int(ctx, 10);
        else
            sqlite3_result_null(ctx);
    } else if (what == "octets") {
        if (isCharOrBinary(type))
            sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(size));
        else
            sqlite3_result_null(ctx);
    } else if (what == "name") {
        std::string_view name = decl.substr(0, decl.find('('));
        while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.remove_suffix(1);
        while (!name.empty() && std::isspace(static_cast<unsigned char>(name.front()))) name.remove_prefix(1);
        sqlite3_result_text(ctx, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    } else {
        sqlite3_result_error(ctx, "ruva_decl: unknown attribute", -1);
    }
}

}  // namespace

void declaredType(std::string_view decl, SQLSMALLINT& type, SQLULEN& size, SQLSMALLINT& scale) {
    std::string name = upperTrimmed(decl.substr(0, decl.find('(')));
    long first, second;
    typeArgs(decl, first, second);
    scale = 0;
    if (name.empty()) {
        type = SQL_VARCHAR;
        size = kUnsizedText;
        return;
    }
    type = 0;
    for (const Named& n : kNamed) {
        if (name == n.name) {
            type = n.type;
            break;
        }
    }
    if (type == 0) type = byAffinity(name, first > 0);
    switch (type) {
        case SQL_INTEGER:
            size = 10;
            break;
        case SQL_BIGINT:
            size = 19;
            break;
        case SQL_SMALLINT:
            size = 5;
            break;
        case SQL_TINYINT:
            size = 3;
            break;
        case SQL_BIT:
            size = 1;
            break;
        case SQL_DOUBLE:
            size = kDoubleDigits;
            break;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            size = first > 0 ? static_cast<SQLULEN>(first) : kDoubleDigits;
            if (second > 0 && first > 0) scale = static_cast<SQLSMALLINT>(second < first ? second : first);
            break;
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_BINARY:
        case SQL_VARBINARY:
            size = first > 0 ? static_cast<SQLULEN>(first) : kDefaultLength;
            break;
        case SQL_DATE:
            size = 10;
            break;
        case SQL_TIME:
            size = 8;
            break;
        case SQL_TIMESTAMP:
            // yyyy-mm-dd hh:mm:ss.fff as SQLite's own functions write it;
            // TIMESTAMP(p) as declared.
            scale = static_cast<SQLSMALLINT>(first >= 0 ? (first > 9 ? 9 : first) : 3);
            size = scale > 0 ? 20 + static_cast<SQLULEN>(scale) : 19;
            break;
        default:
            size = kLongest;
            break;
    }
}

int installCatalogFunctions(sqlite3* db) {
    return sqlite3_create_function_v2(db, "ruva_decl", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                      nullptr, declFunction, nullptr, nullptr, nullptr);
}

}  // namespace ruva::sqlite
