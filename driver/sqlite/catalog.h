// What the SQLite engine answers about itself and its schema, as text and
// tables: the SQL of each catalog function over SQLite's schema table and
// pragmas, SQLGetInfo's answers, the types it lists, and the ODBC escape
// clauses of a statement's text rewritten as SQLite reads them.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace ruva::sqlite {

// The ODBC 2 type, column size and decimal digits of a column declared
// `decl` (as sqlite3_column_decltype and pragma_table_info give it): the
// common names as declared (INTEGER, BIGINT, NUMERIC(p,s), VARCHAR(n),
// DATE, ...), any other name by SQLite's affinity rules. An empty
// declaration is text of unknown size. Decimal digits are 0 where the type
// has none.
void declaredType(std::string_view decl, SQLSMALLINT& type, SQLULEN& size, SQLSMALLINT& scale);

// Installs on a connection the SQL function the catalog queries call
// (ruva_decl(declaration, what): declaredType's answers inside SQL).
// SQLite's result code.
int installCatalogFunctions(sqlite3* db);

// A column of a catalog function's result as ODBC 2 describes it.
struct ColumnShape {
    const char* name;
    SQLSMALLINT sqlType;  // SQL_VARCHAR, SQL_SMALLINT, SQL_INTEGER, ...
    SQLULEN size;
};

// A catalog function's result: a query over the connection's schema, its
// parameters bound in order as text (nullopt binds NULL), and the columns
// its result is described as (whatever SQLite would say of the expressions).
struct CatalogQuery {
    std::string sql;
    std::vector<std::optional<std::string>> params;
    std::vector<ColumnShape> columns;
};

// An argument of a catalog function: absent when the application passed a
// null pointer. Search patterns (% and _) where ODBC 2 allows them.
using Arg = std::optional<std::string>;

CatalogQuery tables(const Arg& catalog, const Arg& schema, const Arg& table, const Arg& types);
CatalogQuery columns(const Arg& catalog, const Arg& schema, const Arg& table, const Arg& column);
CatalogQuery statistics(const Arg& catalog, const Arg& schema, const Arg& table, SQLUSMALLINT unique,
                        SQLUSMALLINT accuracy);
CatalogQuery primaryKeys(const Arg& catalog, const Arg& schema, const Arg& table);
CatalogQuery foreignKeys(const Arg& pkCatalog, const Arg& pkSchema, const Arg& pkTable, const Arg& fkCatalog,
                         const Arg& fkSchema, const Arg& fkTable);
CatalogQuery specialColumns(SQLUSMALLINT identifierType, const Arg& catalog, const Arg& schema, const Arg& table,
                            SQLUSMALLINT scope, SQLUSMALLINT nullable);
CatalogQuery procedures(const Arg& catalog, const Arg& schema, const Arg& procedure);
CatalogQuery procedureColumns(const Arg& catalog, const Arg& schema, const Arg& procedure, const Arg& column);
CatalogQuery tablePrivileges(const Arg& catalog, const Arg& schema, const Arg& table);
CatalogQuery columnPrivileges(const Arg& catalog, const Arg& schema, const Arg& table, const Arg& column);
// SQLGetTypeInfo: SQL_ALL_TYPES or one ODBC 2 type.
CatalogQuery typeInfo(SQLSMALLINT sqlType);

// What SQLGetInfo answers needs to know of the connection.
struct InfoContext {
    std::string databaseFile;  // as opened; empty for an in-memory database
    bool readOnly = false;
};

// SQLGetInfo over the engine: ODBC 2's rules for the output (strings
// truncated with 01004, the full length in *length). S1096 for an info type
// the engine does not answer.
SQLRETURN getInfo(const InfoContext& ctx, SQLUSMALLINT infoType, SQLPOINTER out, SQLSMALLINT capacity,
                  SQLSMALLINT* length, std::string& state, std::string& message);

// A statement's text with ODBC's escape clauses ({fn ...}, {d '...'},
// {t '...'}, {ts '...'}, {oj ...}, {call ...}, {?= call ...}, {escape '...'})
// rewritten for SQLite; literals, quoted names and comments left as they are.
// False with `message` set for an escape SQLite cannot run.
bool translateEscapes(std::string_view sql, std::string& out, std::string& message);

// The number of parameter markers of a statement's text: a ? outside
// literals, quoted names and comments (and SQLite's ?NNN, :name, @name,
// $name forms).
int countMarkers(std::string_view sql);

// The SQLGetInfo function lists (SQL_STRING_FUNCTIONS, SQL_NUMERIC_FUNCTIONS,
// SQL_TIMEDATE_FUNCTIONS, SQL_SYSTEM_FUNCTIONS, SQL_CONVERT_FUNCTIONS): the
// {fn ...} names translateEscapes rewrites into what this SQLite runs.
SQLUINTEGER functionList(SQLUSMALLINT infoType);
// The SQL_CVT_* types {fn CONVERT(value, type)} converts to.
SQLUINTEGER conversions();

}  // namespace ruva::sqlite
