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

namespace {

// SQLite's schema objects on a connection, as the catalog functions list
// them: main's tables and views (and main's schema table itself), then the
// connection's temporary ones. Names beginning sqlite_ are SQLite's own.
constexpr const char* kObjects =
    "WITH o(db, name, type, sql, ttype) AS ("
    "SELECT 'main', name, type, sql, CASE WHEN name LIKE 'sqlite\\_%' ESCAPE '\\' THEN 'SYSTEM TABLE' "
    "WHEN type = 'view' THEN 'VIEW' ELSE 'TABLE' END FROM main.sqlite_schema WHERE type IN ('table', 'view') "
    "UNION ALL SELECT 'main', 'sqlite_schema', 'table', NULL, 'SYSTEM TABLE' "
    "UNION ALL SELECT 'temp', name, type, sql, CASE WHEN name LIKE 'sqlite\\_%' ESCAPE '\\' THEN 'SYSTEM TABLE' "
    "WHEN type = 'view' THEN 'VIEW' ELSE 'LOCAL TEMPORARY' END FROM temp.sqlite_schema "
    "WHERE type IN ('table', 'view')) ";

constexpr SQLULEN kNameSize = 255;

ColumnShape text(const char* name) {
    return {name, SQL_VARCHAR, kNameSize};
}
ColumnShape small(const char* name) {
    return {name, SQL_SMALLINT, 5};
}
ColumnShape integer(const char* name) {
    return {name, SQL_INTEGER, 10};
}

// A query under construction: the text, and its parameters in the order
// their markers are numbered.
class Builder {
public:
    explicit Builder(std::string start = kObjects) { q_.sql = std::move(start); }
    Builder& operator<<(std::string_view s) {
        q_.sql += s;
        return *this;
    }
    Builder& operator<<(int v) {
        q_.sql += std::to_string(v);
        return *this;
    }
    // A new marker bound to `v`.
    std::string bind(const Arg& v) {
        q_.params.push_back(v);
        return "?" + std::to_string(q_.params.size());
    }
    // ODBC search pattern (% and _, \ escapes them) over `expr`; an absent
    // one matches everything. SQLite's names are alike whatever their case,
    // and so is LIKE.
    void pattern(const char* expr, const Arg& v) {
        if (v) *this << " AND " << expr << " LIKE " << bind(v) << " ESCAPE '\\'";
    }
    // An ordinary name over `expr`, in SQLite's way of comparing names.
    void name(const char* expr, const Arg& v) {
        if (v) *this << " AND " << expr << " = " << bind(v) << " COLLATE NOCASE";
    }
    CatalogQuery done(std::vector<ColumnShape> columns) {
        q_.columns = std::move(columns);
        return std::move(q_);
    }

private:
    CatalogQuery q_;
};

// SQLite has neither catalogs nor schemas the way ODBC lists them: the
// columns are NULL, and a catalog or owner argument other than absent,
// empty or all-% matches nothing.
bool anyNone(const Arg& v) {
    return !v || v->find_first_not_of('%') == std::string::npos;
}
bool namesNothing(const Arg& catalog, const Arg& schema) {
    return !anyNone(catalog) || !anyNone(schema);
}

// The table types of a SQLTables list ("TABLE,VIEW" or "'TABLE','VIEW'"),
// in upper case; empty for "all" (absent, or a % among them).
std::vector<std::string> typeList(const Arg& types) {
    std::vector<std::string> out;
    if (!types) return out;
    std::string cur;
    auto flush = [&] {
        size_t b = cur.find_first_not_of(" '");
        size_t e = cur.find_last_not_of(" '");
        if (b != std::string::npos) out.push_back(upperTrimmed(cur.substr(b, e - b + 1)));
        cur.clear();
    };
    for (char c : *types) {
        if (c == ',')
            flush();
        else
            cur += c;
    }
    flush();
    for (const std::string& t : out)
        if (t == "%") return {};
    return out;
}

std::vector<ColumnShape> tableColumns() {
    return {text("TABLE_QUALIFIER"), text("TABLE_OWNER"), text("TABLE_NAME"), text("TABLE_TYPE"), text("REMARKS")};
}

constexpr const char* kTableTypes[] = {"TABLE", "VIEW", "SYSTEM TABLE", "LOCAL TEMPORARY"};

// NULLABLE of a pragma_table_xinfo row `p` of object `o`: NOT NULL, a
// rowid alias (the one INTEGER PRIMARY KEY column of a rowid table) and a
// key column of a WITHOUT ROWID table never hold NULL.
constexpr const char* kNoNulls =
    "(p.\"notnull\" OR (p.pk > 0 AND o.type = 'table' AND "
    "(coalesce((SELECT l.wr FROM pragma_table_list(o.name) l WHERE l.schema = o.db), 0) OR "
    "(upper(p.type) = 'INTEGER' AND (SELECT count(*) FROM pragma_table_info(o.name, o.db) k WHERE k.pk > 0) = 1))))";

const char* ruleCase(const char* column) {
    // JDBC's and ODBC 3's numbers: CASCADE 0, RESTRICT 1, SET NULL 2, NO ACTION 3, SET DEFAULT 4.
    return column[0] == 'u' ? "CASE f.on_update WHEN 'CASCADE' THEN 0 WHEN 'RESTRICT' THEN 1 WHEN 'SET NULL' THEN 2 "
                              "WHEN 'SET DEFAULT' THEN 4 ELSE 3 END"
                            : "CASE f.on_delete WHEN 'CASCADE' THEN 0 WHEN 'RESTRICT' THEN 1 WHEN 'SET NULL' THEN 2 "
                              "WHEN 'SET DEFAULT' THEN 4 ELSE 3 END";
}

// A result of the right columns and no rows.
CatalogQuery none(std::vector<ColumnShape> columns) {
    Builder b("SELECT ");
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i) b << ", ";
        b << "NULL AS " << columns[i].name;
    }
    b << " WHERE 0";
    return b.done(std::move(columns));
}

}  // namespace

CatalogQuery tables(const Arg& catalog, const Arg& schema, const Arg& table, const Arg& types) {
    auto is = [](const Arg& v, const char* s) { return v && *v == s; };
    // The enumerations: catalogs and owners (SQLite has none), table types.
    if (is(catalog, "%") && is(schema, "") && is(table, "")) return none(tableColumns());
    if (is(catalog, "") && is(schema, "%") && is(table, "")) return none(tableColumns());
    if (is(catalog, "") && is(schema, "") && is(table, "") && is(types, "%")) {
        Builder b(
            "SELECT NULL AS TABLE_QUALIFIER, NULL AS TABLE_OWNER, NULL AS TABLE_NAME, column1 AS TABLE_TYPE, "
            "NULL AS REMARKS FROM (VALUES ");
        bool first = true;
        for (const char* t : kTableTypes) {
            b << (first ? "('" : ", ('") << t << "')";
            first = false;
        }
        b << ") ORDER BY column1";
        return b.done(tableColumns());
    }
    Builder b;
    b << "SELECT NULL AS TABLE_QUALIFIER, NULL AS TABLE_OWNER, o.name AS TABLE_NAME, o.ttype AS TABLE_TYPE, "
         "NULL AS REMARKS FROM o WHERE 1";
    if (namesNothing(catalog, schema)) b << " AND 0";
    b.pattern("o.name", table);
    std::vector<std::string> wanted = typeList(types);
    if (!wanted.empty()) {
        b << " AND o.ttype IN (";
        for (size_t i = 0; i < wanted.size(); ++i) b << (i ? ", " : "") << b.bind(wanted[i]);
        b << ")";
    }
    b << " ORDER BY TABLE_TYPE, TABLE_NAME";
    return b.done(tableColumns());
}

CatalogQuery columns(const Arg& catalog, const Arg& schema, const Arg& table, const Arg& column) {
    Builder b;
    b << "SELECT NULL AS TABLE_QUALIFIER, NULL AS TABLE_OWNER, o.name AS TABLE_NAME, p.name AS COLUMN_NAME, "
         "ruva_decl(p.type, 'type') AS DATA_TYPE, ruva_decl(p.type, 'name') AS TYPE_NAME, "
         "ruva_decl(p.type, 'size') AS PRECISION, ruva_decl(p.type, 'length') AS LENGTH, "
         "ruva_decl(p.type, 'scale') AS SCALE, ruva_decl(p.type, 'radix') AS RADIX, "
         "CASE WHEN "
      << kNoNulls
      << " THEN 0 ELSE 1 END AS NULLABLE, NULL AS REMARKS, "
         "CASE WHEN upper(p.dflt_value) = 'NULL' THEN NULL ELSE p.dflt_value END AS COLUMN_DEF, "
         "ruva_decl(p.type, 'type') AS SQL_DATA_TYPE, NULL AS SQL_DATETIME_SUB, "
         "ruva_decl(p.type, 'octets') AS CHAR_OCTET_LENGTH, p.cid + 1 AS ORDINAL_POSITION, "
         "CASE WHEN "
      << kNoNulls
      << " THEN 'NO' ELSE 'YES' END AS IS_NULLABLE "
         "FROM o JOIN pragma_table_xinfo(o.name, o.db) p WHERE p.hidden <> 1";
    if (namesNothing(catalog, schema)) b << " AND 0";
    b.pattern("o.name", table);
    b.pattern("p.name", column);
    b << " ORDER BY o.db, o.name, p.cid";
    return b.done({text("TABLE_QUALIFIER"), text("TABLE_OWNER"), text("TABLE_NAME"), text("COLUMN_NAME"),
                   small("DATA_TYPE"), text("TYPE_NAME"), integer("PRECISION"), integer("LENGTH"), small("SCALE"),
                   small("RADIX"), small("NULLABLE"), text("REMARKS"), text("COLUMN_DEF"), small("SQL_DATA_TYPE"),
                   small("SQL_DATETIME_SUB"), integer("CHAR_OCTET_LENGTH"), integer("ORDINAL_POSITION"),
                   text("IS_NULLABLE")});
}

CatalogQuery statistics(const Arg& catalog, const Arg& schema, const Arg& table, SQLUSMALLINT unique, SQLUSMALLINT) {
    Builder b;
    b << "SELECT NULL AS TABLE_QUALIFIER, NULL AS TABLE_OWNER, o.name AS TABLE_NAME, "
         "CASE WHEN il.\"unique\" THEN 0 ELSE 1 END AS NON_UNIQUE, NULL AS INDEX_QUALIFIER, il.name AS INDEX_NAME, "
      << SQL_INDEX_OTHER
      << " AS TYPE, ix.seqno + 1 AS SEQ_IN_INDEX, ix.name AS COLUMN_NAME, "
         "CASE WHEN ix.\"desc\" THEN 'D' ELSE 'A' END AS COLLATION, NULL AS CARDINALITY, NULL AS PAGES, "
         "NULL AS FILTER_CONDITION FROM o JOIN pragma_index_list(o.name, o.db) il "
         "JOIN pragma_index_xinfo(il.name, o.db) ix WHERE o.type = 'table' AND ix.key = 1";
    if (unique == SQL_INDEX_UNIQUE) b << " AND il.\"unique\"";
    if (namesNothing(catalog, schema)) b << " AND 0";
    b.name("o.name", table);
    b << " ORDER BY NON_UNIQUE, INDEX_NAME, SEQ_IN_INDEX";
    return b.done({text("TABLE_QUALIFIER"),
                   text("TABLE_OWNER"),
                   text("TABLE_NAME"),
                   small("NON_UNIQUE"),
                   text("INDEX_QUALIFIER"),
                   text("INDEX_NAME"),
                   small("TYPE"),
                   small("SEQ_IN_INDEX"),
                   text("COLUMN_NAME"),
                   {"COLLATION", SQL_CHAR, 1},
                   integer("CARDINALITY"),
                   integer("PAGES"),
                   text("FILTER_CONDITION")});
}

CatalogQuery primaryKeys(const Arg& catalog, const Arg& schema, const Arg& table) {
    Builder b;
    b << "SELECT NULL AS TABLE_QUALIFIER, NULL AS TABLE_OWNER, o.name AS TABLE_NAME, p.name AS COLUMN_NAME, "
         "p.pk AS KEY_SEQ, NULL AS PK_NAME FROM o JOIN pragma_table_info(o.name, o.db) p "
         "WHERE o.type = 'table' AND p.pk > 0";
    if (namesNothing(catalog, schema)) b << " AND 0";
    b.name("o.name", table);
    b << " ORDER BY o.db, o.name, p.pk";
    return b.done({text("TABLE_QUALIFIER"), text("TABLE_OWNER"), text("TABLE_NAME"), text("COLUMN_NAME"),
                   small("KEY_SEQ"), text("PK_NAME")});
}

CatalogQuery foreignKeys(const Arg& pkCatalog, const Arg& pkSchema, const Arg& pkTable, const Arg& fkCatalog,
                         const Arg& fkSchema, const Arg& fkTable) {
    Builder b;
    // The parent's name as the parent table spells it; its column as the key
    // names it, or else the parent's primary key column in the same place.
    b << "SELECT NULL AS PKTABLE_QUALIFIER, NULL AS PKTABLE_OWNER, "
         "coalesce((SELECT s.name FROM o s WHERE s.db = o.db AND s.name = f.\"table\" COLLATE NOCASE), f.\"table\") "
         "AS PKTABLE_NAME, coalesce(f.\"to\", (SELECT k.name FROM pragma_table_info(f.\"table\", o.db) k "
         "WHERE k.pk = f.seq + 1)) AS PKCOLUMN_NAME, NULL AS FKTABLE_QUALIFIER, NULL AS FKTABLE_OWNER, "
         "o.name AS FKTABLE_NAME, f.\"from\" AS FKCOLUMN_NAME, f.seq + 1 AS KEY_SEQ, "
      << ruleCase("update") << " AS UPDATE_RULE, " << ruleCase("delete")
      << " AS DELETE_RULE, NULL AS FK_NAME, NULL AS PK_NAME, "
         // SQLite's pragma does not say which key is deferred: NOT DEFERRABLE
         // (7) only where the table has no deferred key at all.
         "CASE WHEN upper(o.sql) LIKE '%INITIALLY DEFERRED%' THEN NULL ELSE 7 END AS DEFERRABILITY "
         "FROM o JOIN pragma_foreign_key_list(o.name, o.db) f WHERE o.type = 'table'";
    if (namesNothing(pkCatalog, pkSchema) || namesNothing(fkCatalog, fkSchema)) b << " AND 0";
    b.name("f.\"table\"", pkTable);
    b.name("o.name", fkTable);
    if (pkTable && !fkTable)
        b << " ORDER BY o.name, f.id, f.seq";
    else
        b << " ORDER BY PKTABLE_NAME, o.name, f.id, f.seq";
    return b.done({text("PKTABLE_QUALIFIER"), text("PKTABLE_OWNER"), text("PKTABLE_NAME"), text("PKCOLUMN_NAME"),
                   text("FKTABLE_QUALIFIER"), text("FKTABLE_OWNER"), text("FKTABLE_NAME"), text("FKCOLUMN_NAME"),
                   small("KEY_SEQ"), small("UPDATE_RULE"), small("DELETE_RULE"), text("FK_NAME"), text("PK_NAME"),
                   small("DEFERRABILITY")});
}

CatalogQuery specialColumns(SQLUSMALLINT identifierType, const Arg& catalog, const Arg& schema, const Arg& table,
                            SQLUSMALLINT scope, SQLUSMALLINT) {
    std::vector<ColumnShape> shape = {small("SCOPE"),    text("COLUMN_NAME"),   small("DATA_TYPE"),
                                      text("TYPE_NAME"), integer("PRECISION"),  integer("LENGTH"),
                                      small("SCALE"),    small("PSEUDO_COLUMN")};
    // Nothing changes a row's version on its own: SQL_ROWVER lists nothing.
    if (identifierType != SQL_BEST_ROWID || !table || namesNothing(catalog, schema)) return none(std::move(shape));
    Builder b;
    b << ", t(db, name, wr, keys) AS (SELECT o.db, o.name, "
         "coalesce((SELECT l.wr FROM pragma_table_list(o.name) l WHERE l.schema = o.db), 0), "
         "(SELECT count(*) FROM pragma_table_info(o.name, o.db) k WHERE k.pk > 0) FROM o WHERE o.type = 'table'";
    b.name("o.name", table);
    // The key of a WITHOUT ROWID table and a rowid alias (the one INTEGER
    // PRIMARY KEY) identify a row for the session; the rowid of any other
    // table only for the transaction (VACUUM may renumber it).
    b << ") SELECT * FROM (SELECT " << SQL_SCOPE_SESSION
      << " AS SCOPE, p.name AS COLUMN_NAME, ruva_decl(p.type, 'type') AS DATA_TYPE, "
         "ruva_decl(p.type, 'name') AS TYPE_NAME, ruva_decl(p.type, 'size') AS PRECISION, "
         "ruva_decl(p.type, 'length') AS LENGTH, ruva_decl(p.type, 'scale') AS SCALE, "
      << SQL_PC_NOT_PSEUDO
      << " AS PSEUDO_COLUMN FROM t JOIN pragma_table_info(t.name, t.db) p WHERE p.pk > 0 AND "
         "(t.wr OR (t.keys = 1 AND upper(p.type) = 'INTEGER')) "
         "UNION ALL SELECT "
      << SQL_SCOPE_TRANSACTION
      << ", CASE WHEN NOT EXISTS (SELECT 1 FROM pragma_table_xinfo(t.name, t.db) c WHERE c.name = 'rowid' "
         "COLLATE NOCASE) THEN 'rowid' WHEN NOT EXISTS (SELECT 1 FROM pragma_table_xinfo(t.name, t.db) c "
         "WHERE c.name = '_rowid_' COLLATE NOCASE) THEN '_rowid_' WHEN NOT EXISTS (SELECT 1 FROM "
         "pragma_table_xinfo(t.name, t.db) c WHERE c.name = 'oid' COLLATE NOCASE) THEN 'oid' END, "
      << SQL_BIGINT << ", 'INTEGER', 19, 8, 0, " << SQL_PC_PSEUDO
      << " FROM t WHERE NOT t.wr AND NOT EXISTS (SELECT 1 FROM pragma_table_info(t.name, t.db) p "
         "WHERE p.pk > 0 AND t.keys = 1 AND upper(p.type) = 'INTEGER')) "
         "WHERE COLUMN_NAME IS NOT NULL AND SCOPE >= CAST("
      << b.bind(std::to_string(scope)) << " AS INTEGER) ORDER BY SCOPE";
    return b.done(std::move(shape));
}

CatalogQuery procedures(const Arg&, const Arg&, const Arg&) {
    return none({text("PROCEDURE_QUALIFIER"), text("PROCEDURE_OWNER"), text("PROCEDURE_NAME"),
                 small("NUM_INPUT_PARAMS"), small("NUM_OUTPUT_PARAMS"), small("NUM_RESULT_SETS"), text("REMARKS"),
                 small("PROCEDURE_TYPE")});
}

CatalogQuery procedureColumns(const Arg&, const Arg&, const Arg&, const Arg&) {
    return none({text("PROCEDURE_QUALIFIER"), text("PROCEDURE_OWNER"), text("PROCEDURE_NAME"), text("COLUMN_NAME"),
                 small("COLUMN_TYPE"), small("DATA_TYPE"), text("TYPE_NAME"), integer("PRECISION"), integer("LENGTH"),
                 small("SCALE"), small("RADIX"), small("NULLABLE"), text("REMARKS")});
}

CatalogQuery tablePrivileges(const Arg&, const Arg&, const Arg&) {
    return none({text("TABLE_QUALIFIER"), text("TABLE_OWNER"), text("TABLE_NAME"), text("GRANTOR"), text("GRANTEE"),
                 text("PRIVILEGE"), text("IS_GRANTABLE")});
}

CatalogQuery columnPrivileges(const Arg&, const Arg&, const Arg&, const Arg&) {
    return none({text("TABLE_QUALIFIER"), text("TABLE_OWNER"), text("TABLE_NAME"), text("COLUMN_NAME"),
                 text("GRANTOR"), text("GRANTEE"), text("PRIVILEGE"), text("IS_GRANTABLE")});
}

namespace {

// The types the engine describes, as SQLGetTypeInfo lists them: by
// DATA_TYPE, and within one the closest name first.
struct TypeRow {
    const char* name;
    SQLSMALLINT type;
    SQLULEN precision;
    const char* prefix;  // nullptr: NULL
    const char* suffix;
    const char* createParams;
    bool caseSensitive;
    int unsignedAttribute;  // -1: NULL (not a number)
    int minScale;           // -1: NULL
    int maxScale;
};

constexpr TypeRow kTypes[] = {
    {"BOOLEAN", SQL_BIT, 1, nullptr, nullptr, nullptr, false, 0, -1, -1},
    {"TINYINT", SQL_TINYINT, 3, nullptr, nullptr, nullptr, false, 0, 0, 0},
    {"BIGINT", SQL_BIGINT, 19, nullptr, nullptr, nullptr, false, 0, 0, 0},
    {"BLOB", SQL_LONGVARBINARY, kLongest, "X'", "'", nullptr, false, -1, -1, -1},
    {"VARBINARY", SQL_VARBINARY, kLongest, "X'", "'", "max length", false, -1, -1, -1},
    {"BINARY", SQL_BINARY, kLongest, "X'", "'", "length", false, -1, -1, -1},
    {"TEXT", SQL_LONGVARCHAR, kLongest, "'", "'", nullptr, true, -1, -1, -1},
    {"CLOB", SQL_LONGVARCHAR, kLongest, "'", "'", nullptr, true, -1, -1, -1},
    {"CHAR", SQL_CHAR, kLongest, "'", "'", "length", true, -1, -1, -1},
    {"NUMERIC", SQL_NUMERIC, kDoubleDigits, nullptr, nullptr, "precision,scale", false, 0, 0, 15},
    {"DECIMAL", SQL_DECIMAL, kDoubleDigits, nullptr, nullptr, "precision,scale", false, 0, 0, 15},
    {"INTEGER", SQL_INTEGER, 10, nullptr, nullptr, nullptr, false, 0, 0, 0},
    {"SMALLINT", SQL_SMALLINT, 5, nullptr, nullptr, nullptr, false, 0, 0, 0},
    {"DOUBLE", SQL_DOUBLE, kDoubleDigits, nullptr, nullptr, nullptr, false, 0, -1, -1},
    {"REAL", SQL_DOUBLE, kDoubleDigits, nullptr, nullptr, nullptr, false, 0, -1, -1},
    {"FLOAT", SQL_DOUBLE, kDoubleDigits, nullptr, nullptr, nullptr, false, 0, -1, -1},
    {"DATE", SQL_DATE, 10, "'", "'", nullptr, false, -1, -1, -1},
    {"TIME", SQL_TIME, 8, "'", "'", nullptr, false, -1, -1, -1},
    {"TIMESTAMP", SQL_TIMESTAMP, 29, "'", "'", nullptr, false, -1, 0, 9},
    {"DATETIME", SQL_TIMESTAMP, 29, "'", "'", nullptr, false, -1, 0, 9},
    {"VARCHAR", SQL_VARCHAR, kLongest, "'", "'", "max length", true, -1, -1, -1},
};

std::string literal(const char* s) {
    if (!s) return "NULL";
    std::string out = "'";
    for (; *s; ++s) {
        if (*s == '\'') out += '\'';
        out += *s;
    }
    return out + "'";
}

std::string number(int v) {
    return v < 0 ? "NULL" : std::to_string(v);
}

}  // namespace

CatalogQuery typeInfo(SQLSMALLINT sqlType) {
    Builder b(
        "SELECT column1 AS TYPE_NAME, column2 AS DATA_TYPE, column3 AS PRECISION, column4 AS LITERAL_PREFIX, "
        "column5 AS LITERAL_SUFFIX, column6 AS CREATE_PARAMS, column7 AS NULLABLE, column8 AS CASE_SENSITIVE, "
        "column9 AS SEARCHABLE, column10 AS UNSIGNED_ATTRIBUTE, column11 AS MONEY, column12 AS AUTO_INCREMENT, "
        "column13 AS LOCAL_TYPE_NAME, column14 AS MINIMUM_SCALE, column15 AS MAXIMUM_SCALE FROM (VALUES ");
    int rank = 0;
    for (const TypeRow& t : kTypes) {
        b << (rank ? ", (" : "(") << literal(t.name) << ", " << std::to_string(t.type) << ", "
          << std::to_string(t.precision) << ", " << literal(t.prefix) << ", " << literal(t.suffix) << ", "
          << literal(t.createParams) << ", " << std::to_string(SQL_NULLABLE) << ", " << (t.caseSensitive ? "1" : "0")
          << ", " << std::to_string(SQL_SEARCHABLE) << ", " << number(t.unsignedAttribute) << ", "
          << (t.unsignedAttribute < 0 ? "NULL" : "0") << ", " << (t.unsignedAttribute < 0 ? "NULL" : "0") << ", "
          << literal(t.name) << ", " << number(t.minScale) << ", " << number(t.maxScale) << ", "
          << std::to_string(rank) << ")";
        ++rank;
    }
    std::string marker = b.bind(std::to_string(sqlType));
    b << ") WHERE CAST(" << marker << " AS INTEGER) IN (0, column2) ORDER BY column2, column16";
    return b.done({text("TYPE_NAME"), small("DATA_TYPE"), integer("PRECISION"), text("LITERAL_PREFIX"),
                   text("LITERAL_SUFFIX"), text("CREATE_PARAMS"), small("NULLABLE"), small("CASE_SENSITIVE"),
                   small("SEARCHABLE"), small("UNSIGNED_ATTRIBUTE"), small("MONEY"), small("AUTO_INCREMENT"),
                   text("LOCAL_TYPE_NAME"), small("MINIMUM_SCALE"), small("MAXIMUM_SCALE")});
}

}  // namespace ruva::sqlite
