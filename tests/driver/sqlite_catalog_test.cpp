// The SQLite engine's catalog queries, run with the sqlite3 C API on scratch
// databases, and the declared-type rules they share with the engine.
#include "sqlite/catalog.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using ruva::sqlite::Arg;
using ruva::sqlite::CatalogQuery;
using ruva::sqlite::declaredType;

struct Decl {
    SQLSMALLINT type;
    SQLULEN size;
    SQLSMALLINT scale;
};

Decl decl(const char* d) {
    Decl r{};
    declaredType(d, r.type, r.size, r.scale);
    return r;
}

TEST(SqliteDeclaredType, CommonNamesAsDeclared) {
    EXPECT_EQ(decl("INTEGER").type, SQL_INTEGER);
    EXPECT_EQ(decl("integer").type, SQL_INTEGER);
    EXPECT_EQ(decl("BIGINT").type, SQL_BIGINT);
    EXPECT_EQ(decl("SMALLINT").type, SQL_SMALLINT);
    EXPECT_EQ(decl("TINYINT").type, SQL_TINYINT);
    EXPECT_EQ(decl("BOOLEAN").type, SQL_BIT);
    EXPECT_EQ(decl("REAL").type, SQL_DOUBLE);
    EXPECT_EQ(decl("double precision").type, SQL_DOUBLE);
    EXPECT_EQ(decl("FLOAT").type, SQL_DOUBLE);
    EXPECT_EQ(decl("TEXT").type, SQL_LONGVARCHAR);
    EXPECT_EQ(decl("CLOB").type, SQL_LONGVARCHAR);
    EXPECT_EQ(decl("BLOB").type, SQL_LONGVARBINARY);
    EXPECT_EQ(decl("DATE").type, SQL_DATE);
    EXPECT_EQ(decl("TIME").type, SQL_TIME);
    EXPECT_EQ(decl("DATETIME").type, SQL_TIMESTAMP);
    Decl ts = decl("TIMESTAMP");
    EXPECT_EQ(ts.type, SQL_TIMESTAMP);
    EXPECT_EQ(ts.size, 23u);
    EXPECT_EQ(ts.scale, 3);
    Decl ts0 = decl("TIMESTAMP(0)");
    EXPECT_EQ(ts0.size, 19u);
    EXPECT_EQ(ts0.scale, 0);
}

TEST(SqliteDeclaredType, LengthsPrecisionAndScaleFromTheDeclaration) {
    Decl n = decl("NUMERIC(10, 2)");
    EXPECT_EQ(n.type, SQL_NUMERIC);
    EXPECT_EQ(n.size, 10u);
    EXPECT_EQ(n.scale, 2);
    Decl d = decl(" decimal ( 7 ) ");
    EXPECT_EQ(d.type, SQL_DECIMAL);
    EXPECT_EQ(d.size, 7u);
    EXPECT_EQ(d.scale, 0);
    Decl c = decl("CHAR(3)");
    EXPECT_EQ(c.type, SQL_CHAR);
    EXPECT_EQ(c.size, 3u);
    Decl v = decl("VARCHAR(20)");
    EXPECT_EQ(v.type, SQL_VARCHAR);
    EXPECT_EQ(v.size, 20u);
    Decl vb = decl("VARBINARY(16)");
    EXPECT_EQ(vb.type, SQL_VARBINARY);
    EXPECT_EQ(vb.size, 16u);
    // A scale above the precision is cut to it; an absurd length does not wrap.
    EXPECT_EQ(decl("NUMERIC(3,9)").scale, 3);
    EXPECT_GT(decl("VARCHAR(99999999999999999999)").size, 0u);
}

TEST(SqliteDeclaredType, OtherNamesByAffinity) {
    // SQLite's rules in its order: INT first, so FLOATING POINT is an integer.
    EXPECT_EQ(decl("FLOATING POINT").type, SQL_BIGINT);
    EXPECT_EQ(decl("UNSIGNED INTEGER").type, SQL_BIGINT);
    EXPECT_EQ(decl("NATIONAL VARYING CHARACTER(5)").type, SQL_VARCHAR);
    EXPECT_EQ(decl("NATIONAL VARYING CHARACTER(5)").size, 5u);
    EXPECT_EQ(decl("MEDIUMTEXT").type, SQL_LONGVARCHAR);
    EXPECT_EQ(decl("MYBLOB").type, SQL_LONGVARBINARY);
    EXPECT_EQ(decl("DOUB").type, SQL_DOUBLE);
    // STRING has numeric affinity in SQLite: '12' is stored as 12.
    EXPECT_EQ(decl("STRING").type, SQL_NUMERIC);
    EXPECT_EQ(decl("MONEY(8,2)").scale, 2);
    Decl none = decl("");
    EXPECT_EQ(none.type, SQL_VARCHAR);
    EXPECT_GT(none.size, 255u);
}

// A scratch database with the catalog's function, and the rows of a
// catalog query run on it (NULL as nullopt).
class SqliteCatalog : public ::testing::Test {
protected:
    using Row = std::vector<std::optional<std::string>>;

    void SetUp() override {
        ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
        ASSERT_EQ(ruva::sqlite::installCatalogFunctions(db_), SQLITE_OK);
    }
    void TearDown() override { sqlite3_close(db_); }

    void exec(const char* sql) {
        char* err = nullptr;
        ASSERT_EQ(sqlite3_exec(db_, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "") << " in " << sql;
    }

    std::vector<Row> run(const CatalogQuery& q) {
        std::vector<Row> rows;
        sqlite3_stmt* st = nullptr;
        int rc = sqlite3_prepare_v2(db_, q.sql.c_str(), -1, &st, nullptr);
        EXPECT_EQ(rc, SQLITE_OK) << sqlite3_errmsg(db_) << "\n" << q.sql;
        if (rc != SQLITE_OK) return rows;
        // The text's markers are exactly the parameters, and the result's
        // columns are named as described.
        EXPECT_EQ(sqlite3_bind_parameter_count(st), static_cast<int>(q.params.size()));
        EXPECT_EQ(sqlite3_column_count(st), static_cast<int>(q.columns.size()));
        for (int i = 0; i < sqlite3_column_count(st) && i < static_cast<int>(q.columns.size()); ++i)
            EXPECT_STREQ(sqlite3_column_name(st, i), q.columns[i].name);
        for (size_t i = 0; i < q.params.size(); ++i) {
            if (q.params[i])
                sqlite3_bind_text(st, static_cast<int>(i + 1), q.params[i]->c_str(), -1, SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(st, static_cast<int>(i + 1));
        }
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            Row r;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const unsigned char* t = sqlite3_column_text(st, i);
                r.push_back(t ? std::optional<std::string>(reinterpret_cast<const char*>(t)) : std::nullopt);
            }
            rows.push_back(std::move(r));
        }
        EXPECT_EQ(rc, SQLITE_DONE) << sqlite3_errmsg(db_);
        sqlite3_finalize(st);
        return rows;
    }

    // One column of every row, NULL as "(null)".
    std::vector<std::string> column(const CatalogQuery& q, size_t index) {
        std::vector<std::string> out;
        for (const Row& r : run(q)) out.push_back(r.at(index).value_or("(null)"));
        return out;
    }

    sqlite3* db_ = nullptr;
};

using Names = std::vector<std::string>;
const Arg kAll = std::nullopt;

std::vector<std::string> shapeNames(const CatalogQuery& q) {
    std::vector<std::string> out;
    for (const auto& c : q.columns) out.push_back(c.name);
    return out;
}

TEST_F(SqliteCatalog, TablesMatchPatternsAndTypesWithNamesAsData) {
    exec(
        "CREATE TABLE a_b(x); CREATE TABLE axb(x); CREATE TABLE \"a%c\"(x); CREATE TABLE \"my table\"(x);"
        "CREATE TABLE \"it's\"(x); CREATE TABLE \"q\"\"uote\"(x); CREATE TABLE \"t\u00ebst\"(x);"
        "CREATE VIEW v AS SELECT 1 AS one; CREATE TEMP TABLE scratch(x); CREATE INDEX i ON axb(x)");
    CatalogQuery all = ruva::sqlite::tables(kAll, kAll, kAll, kAll);
    EXPECT_EQ(shapeNames(all), (Names{"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "TABLE_TYPE", "REMARKS"}));
    std::map<std::string, std::string> types;
    for (const Row& r : run(all)) {
        EXPECT_FALSE(r[0]);  // no catalogs, no owners
        EXPECT_FALSE(r[1]);
        types[*r[2]] = *r[3];
    }
    EXPECT_EQ(types["a_b"], "TABLE");
    EXPECT_EQ(types["v"], "VIEW");
    EXPECT_EQ(types["sqlite_schema"], "SYSTEM TABLE");
    EXPECT_EQ(types["scratch"], "LOCAL TEMPORARY");
    EXPECT_EQ(types["q\"uote"], "TABLE");
    EXPECT_EQ(types["t\u00ebst"], "TABLE");
    EXPECT_EQ(types.count("i"), 0u);  // an index is no table
    EXPECT_EQ(types.size(), 10u);

    auto names = [&](const char* pattern, const Arg& t = std::nullopt) {
        return column(ruva::sqlite::tables(kAll, kAll, std::string(pattern), t), 2);
    };
    EXPECT_EQ(names("a_b"), (Names{"a_b", "axb"}));
    EXPECT_EQ(names("a\\_b"), (Names{"a_b"}));
    EXPECT_EQ(names("a\\%c"), (Names{"a%c"}));
    EXPECT_EQ(names("A%"), (Names{"a%c", "a_b", "axb"}));  // names are alike whatever their case
    EXPECT_EQ(names("it's"), (Names{"it's"}));
    EXPECT_EQ(names("my table"), (Names{"my table"}));
    EXPECT_EQ(names("t\u00ebst"), (Names{"t\u00ebst"}));
    EXPECT_EQ(names("%' OR 1=1 --"), Names{});
    EXPECT_EQ(names(""), Names{});
    EXPECT_EQ(names("%", std::string("'VIEW'")), (Names{"v"}));
    EXPECT_EQ(names("%", std::string("VIEW, SYSTEM TABLE")), (Names{"sqlite_schema", "v"}));
    EXPECT_EQ(names("%x%", std::string("TABLE")), (Names{"axb"}));
    // A catalog or owner SQLite does not have names nothing; empty or % anything.
    EXPECT_TRUE(column(ruva::sqlite::tables(kAll, std::string("main"), kAll, kAll), 2).empty());
    EXPECT_TRUE(column(ruva::sqlite::tables(std::string("x"), kAll, kAll, kAll), 2).empty());
    EXPECT_EQ(column(ruva::sqlite::tables(std::string(""), std::string("%"), std::string("axb"), kAll), 2),
              (Names{"axb"}));
}

TEST_F(SqliteCatalog, TablesEnumeratesTypesAndNoCatalogsOrOwners) {
    exec("CREATE TABLE t(x)");
    const std::string e, pct = "%";
    EXPECT_EQ(column(ruva::sqlite::tables(e, e, e, pct), 3),
              (Names{"LOCAL TEMPORARY", "SYSTEM TABLE", "TABLE", "VIEW"}));
    EXPECT_TRUE(run(ruva::sqlite::tables(pct, e, e, kAll)).empty());
    EXPECT_TRUE(run(ruva::sqlite::tables(e, pct, e, kAll)).empty());
}

TEST_F(SqliteCatalog, ColumnsAnswerDeclaredTypesDefaultsAndNullability) {
    exec(
        "CREATE TABLE t(id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL DEFAULT 'x', price NUMERIC(10,2) "
        "DEFAULT 3.5, flag BOOLEAN DEFAULT NULL, note, stamp TIMESTAMP DEFAULT CURRENT_TIMESTAMP, "
        "twice INTEGER GENERATED ALWAYS AS (id * 2), \"odd \"\"name\" TEXT)");
    CatalogQuery q = ruva::sqlite::columns(kAll, kAll, std::string("t"), kAll);
    EXPECT_EQ(shapeNames(q),
              (Names{"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME",
                     "PRECISION", "LENGTH", "SCALE", "RADIX", "NULLABLE", "REMARKS", "COLUMN_DEF", "SQL_DATA_TYPE",
                     "SQL_DATETIME_SUB", "CHAR_OCTET_LENGTH", "ORDINAL_POSITION", "IS_NULLABLE"}));
    std::vector<Row> rows = run(q);
    ASSERT_EQ(rows.size(), 8u);
    auto at = [&](size_t r, size_t c) { return rows[r][c].value_or("(null)"); };
    // name, type, type name, precision, scale, nullable, default, position
    EXPECT_EQ(at(0, 3), "id");
    EXPECT_EQ(at(0, 4), "4");
    EXPECT_EQ(at(0, 10), "0");  // the rowid alias is never NULL
    EXPECT_EQ(at(0, 17), "NO");
    EXPECT_EQ(at(0, 12), "(null)");  // no default
    EXPECT_EQ(at(1, 4), "12");
    EXPECT_EQ(at(1, 5), "VARCHAR");
    EXPECT_EQ(at(1, 6), "20");
    EXPECT_EQ(at(1, 8), "(null)");  // text has no scale
    EXPECT_EQ(at(1, 15), "20");
    EXPECT_EQ(at(1, 10), "0");
    EXPECT_EQ(at(1, 12), "'x'");  // as written
    EXPECT_EQ(at(2, 4), "2");
    EXPECT_EQ(at(2, 6), "10");
    EXPECT_EQ(at(2, 8), "2");
    EXPECT_EQ(at(2, 9), "10");
    EXPECT_EQ(at(2, 12), "3.5");
    EXPECT_EQ(at(3, 4), "-7");
    EXPECT_EQ(at(3, 12), "(null)");  // DEFAULT NULL is no default
    EXPECT_EQ(at(3, 10), "1");
    EXPECT_EQ(at(3, 17), "YES");
    EXPECT_EQ(at(4, 4), "12");  // no declared type
    EXPECT_EQ(at(5, 4), "11");
    EXPECT_EQ(at(5, 12), "CURRENT_TIMESTAMP");
    EXPECT_EQ(at(6, 3), "twice");  // generated columns are columns too
    EXPECT_EQ(at(6, 16), "7");
    EXPECT_EQ(at(7, 3), "odd \"name");
    EXPECT_EQ(at(7, 4), "-1");
    EXPECT_EQ(at(7, 16), "8");

    // Patterns on both names; a view's columns; an owner SQLite lacks.
    exec("CREATE VIEW v AS SELECT id, name AS n_1 FROM t");
    EXPECT_EQ(column(ruva::sqlite::columns(kAll, kAll, std::string("%"), std::string("n\\_1")), 2), (Names{"v"}));
    EXPECT_EQ(column(ruva::sqlite::columns(kAll, kAll, std::string("v"), kAll), 3), (Names{"id", "n_1"}));
    EXPECT_TRUE(run(ruva::sqlite::columns(kAll, std::string("other"), std::string("t"), kAll)).empty());

    // Every table's columns at once, SQLite's own and temporary ones too.
    exec("CREATE TEMP TABLE scratch(s VARCHAR(3))");
    std::map<std::string, int> perTable;
    for (const Row& r : run(ruva::sqlite::columns(kAll, kAll, kAll, kAll))) ++perTable[*r[2]];
    EXPECT_EQ(perTable["t"], 8);
    EXPECT_EQ(perTable["v"], 2);
    EXPECT_EQ(perTable["sqlite_schema"], 5);
    EXPECT_EQ(perTable["scratch"], 1);
}

TEST_F(SqliteCatalog, NotNullKeysOfTablesWithoutRowid) {
    exec(
        "CREATE TABLE w(k TEXT PRIMARY KEY, v) WITHOUT ROWID; CREATE TABLE r(k TEXT PRIMARY KEY, v);"
        "CREATE TABLE two(a INTEGER, b INTEGER, PRIMARY KEY (a, b))");
    EXPECT_EQ(column(ruva::sqlite::columns(kAll, kAll, std::string("w"), kAll), 10), (Names{"0", "1"}));
    // A rowid table's TEXT key holds NULL in SQLite; neither INTEGER of a
    // two-column key is a rowid alias.
    EXPECT_EQ(column(ruva::sqlite::columns(kAll, kAll, std::string("r"), kAll), 10), (Names{"1", "1"}));
    EXPECT_EQ(column(ruva::sqlite::columns(kAll, kAll, std::string("two"), kAll), 10), (Names{"1", "1"}));
}

TEST_F(SqliteCatalog, PrimaryKeysInKeyOrder) {
    exec(
        "CREATE TABLE t(a INTEGER, b TEXT, c, PRIMARY KEY (b, a)); CREATE TABLE \"Odd Name\"(z INTEGER PRIMARY KEY)");
    CatalogQuery q = ruva::sqlite::primaryKeys(kAll, kAll, std::string("t"));
    EXPECT_EQ(shapeNames(q),
              (Names{"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "COLUMN_NAME", "KEY_SEQ", "PK_NAME"}));
    std::vector<Row> rows = run(q);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(*rows[0][3], "b");
    EXPECT_EQ(*rows[0][4], "1");
    EXPECT_EQ(*rows[1][3], "a");
    EXPECT_EQ(*rows[1][4], "2");
    // A name, not a pattern; matched as SQLite matches names.
    EXPECT_EQ(column(ruva::sqlite::primaryKeys(kAll, kAll, std::string("odd name")), 3), (Names{"z"}));
    EXPECT_TRUE(run(ruva::sqlite::primaryKeys(kAll, kAll, std::string("_"))).empty());
}

TEST_F(SqliteCatalog, ForeignKeysWithKeySequenceAndRules) {
    exec(
        "CREATE TABLE p(a INTEGER, b TEXT, PRIMARY KEY (b, a));"
        "CREATE TABLE c(x TEXT, y INTEGER, z, FOREIGN KEY (x, y) REFERENCES P ON DELETE CASCADE ON UPDATE SET NULL,"
        "  FOREIGN KEY (z) REFERENCES \"other one\"(id) ON DELETE RESTRICT);"
        "CREATE TABLE \"other one\"(id INTEGER PRIMARY KEY);"
        "CREATE TABLE d(q REFERENCES p(b) DEFERRABLE INITIALLY DEFERRED)");
    CatalogQuery q = ruva::sqlite::foreignKeys(kAll, kAll, kAll, kAll, kAll, std::string("c"));
    EXPECT_EQ(q.columns.size(), 14u);
    std::vector<Row> rows = run(q);
    ASSERT_EQ(rows.size(), 3u);
    auto at = [&](size_t r, size_t c) { return rows[r][c].value_or("(null)"); };
    // The parent as it spells itself; its key columns in key order.
    EXPECT_EQ(at(0, 2), "other one");
    EXPECT_EQ(at(0, 3), "id");
    EXPECT_EQ(at(0, 7), "z");
    EXPECT_EQ(at(0, 10), "1");  // RESTRICT
    EXPECT_EQ(at(0, 9), "3");   // NO ACTION
    EXPECT_EQ(at(1, 2), "p");
    EXPECT_EQ(at(1, 3), "b");
    EXPECT_EQ(at(1, 7), "x");
    EXPECT_EQ(at(1, 8), "1");
    EXPECT_EQ(at(2, 3), "a");
    EXPECT_EQ(at(2, 7), "y");
    EXPECT_EQ(at(2, 8), "2");
    EXPECT_EQ(at(2, 9), "2");   // SET NULL
    EXPECT_EQ(at(2, 10), "0");  // CASCADE
    EXPECT_EQ(at(2, 13), "7");  // not deferrable
    // From the parent's side: every table that refers to it.
    EXPECT_EQ(column(ruva::sqlite::foreignKeys(kAll, kAll, std::string("p"), kAll, kAll, kAll), 6),
              (Names{"c", "c", "d"}));
    std::vector<Row> d = run(ruva::sqlite::foreignKeys(kAll, kAll, std::string("p"), kAll, kAll, std::string("d")));
    ASSERT_EQ(d.size(), 1u);
    EXPECT_FALSE(d[0][13]);  // a deferred key is not said to be immediate
}

TEST_F(SqliteCatalog, StatisticsListIndexColumnsInOrder) {
    exec("CREATE TABLE t(a, b, c UNIQUE); CREATE INDEX ti ON t(b DESC, a); CREATE UNIQUE INDEX tu ON t(a)");
    CatalogQuery q = ruva::sqlite::statistics(kAll, kAll, std::string("t"), SQL_INDEX_ALL, SQL_QUICK);
    EXPECT_EQ(q.columns.size(), 13u);
    EXPECT_EQ(q.columns[7].name, std::string("SEQ_IN_INDEX"));
    std::vector<Row> rows = run(q);
    ASSERT_EQ(rows.size(), 4u);
    auto at = [&](size_t r, size_t c) { return rows[r][c].value_or("(null)"); };
    EXPECT_EQ(at(0, 3), "0");
    EXPECT_EQ(at(0, 5), "sqlite_autoindex_t_1");
    EXPECT_EQ(at(0, 8), "c");
    EXPECT_EQ(at(1, 5), "tu");
    EXPECT_EQ(at(2, 3), "1");
    EXPECT_EQ(at(2, 5), "ti");
    EXPECT_EQ(at(2, 7), "1");
    EXPECT_EQ(at(2, 8), "b");
    EXPECT_EQ(at(2, 9), "D");
    EXPECT_EQ(at(3, 7), "2");
    EXPECT_EQ(at(3, 8), "a");
    EXPECT_EQ(at(3, 9), "A");
    EXPECT_EQ(column(ruva::sqlite::statistics(kAll, kAll, std::string("t"), SQL_INDEX_UNIQUE, SQL_QUICK), 5),
              (Names{"sqlite_autoindex_t_1", "tu"}));
}

TEST_F(SqliteCatalog, BestRowIdentifierIsTheRowidOrItsAlias) {
    exec(
        "CREATE TABLE alias(id INTEGER PRIMARY KEY, v); CREATE TABLE plain(v); CREATE TABLE shadow(rowid TEXT, v);"
        "CREATE TABLE w(k TEXT, j INTEGER, PRIMARY KEY (k, j)) WITHOUT ROWID; CREATE VIEW vw AS SELECT 1 AS x");
    auto best = [&](const char* t, SQLUSMALLINT scope = SQL_SCOPE_CURROW) {
        return run(ruva::sqlite::specialColumns(SQL_BEST_ROWID, kAll, kAll, std::string(t), scope, SQL_NULLABLE));
    };
    std::vector<Row> a = best("alias");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(*a[0][1], "id");
    EXPECT_EQ(*a[0][0], "2");  // the session
    EXPECT_EQ(*a[0][7], "1");  // not a pseudo column
    std::vector<Row> p = best("plain");
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(*p[0][1], "rowid");
    EXPECT_EQ(*p[0][7], "2");
    EXPECT_EQ(*p[0][2], "-5");
    std::vector<Row> s = best("shadow");
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(*s[0][1], "_rowid_");
    std::vector<Row> w = best("w");
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(*w[0][1], "k");
    EXPECT_TRUE(best("vw").empty());
    // The rowid lasts for a transaction only; asking for the session leaves it out.
    EXPECT_TRUE(best("plain", SQL_SCOPE_SESSION).empty());
    EXPECT_EQ(best("alias", SQL_SCOPE_SESSION).size(), 1u);
    CatalogQuery ver =
        ruva::sqlite::specialColumns(SQL_ROWVER, kAll, kAll, std::string("plain"), SQL_SCOPE_CURROW, SQL_NULLABLE);
    EXPECT_EQ(ver.columns.size(), 8u);
    EXPECT_TRUE(run(ver).empty());
}

TEST_F(SqliteCatalog, TypeInfoSortedAndAgreeingWithDeclaredTypes) {
    CatalogQuery all = ruva::sqlite::typeInfo(SQL_ALL_TYPES);
    EXPECT_EQ(all.columns.size(), 15u);
    EXPECT_EQ(all.columns[10].name, std::string("MONEY"));
    std::vector<Row> rows = run(all);
    ASSERT_GT(rows.size(), 15u);
    int last = -100;
    for (const Row& r : rows) {
        int type = std::stoi(*r[1]);
        EXPECT_LE(last, type) << *r[0];
        last = type;
        // A type listed is one a column declared with its name is described as.
        EXPECT_EQ(decl(r[0]->c_str()).type, type) << *r[0];
    }
    EXPECT_EQ(*rows.front()[0], "BOOLEAN");
    // The largest size listed holds the largest a declaration can give.
    for (const Row& r : run(ruva::sqlite::typeInfo(SQL_TIMESTAMP))) {
        std::string biggest = *r[0] + "(" + r[14].value_or("0") + ")";
        EXPECT_GE(std::stoul(*r[2]), decl(biggest.c_str()).size) << biggest;
    }
    std::vector<Row> dbl = run(ruva::sqlite::typeInfo(SQL_DOUBLE));
    ASSERT_EQ(dbl.size(), 3u);
    EXPECT_EQ(*dbl[0][0], "DOUBLE");  // the closest first
    std::vector<Row> bin = run(ruva::sqlite::typeInfo(SQL_LONGVARBINARY));
    ASSERT_EQ(bin.size(), 1u);
    EXPECT_EQ(*bin[0][3], "X'");
    EXPECT_EQ(*run(ruva::sqlite::typeInfo(SQL_VARCHAR))[0][3], "'");
    EXPECT_TRUE(run(ruva::sqlite::typeInfo(SQL_FLOAT)).empty());
}

TEST_F(SqliteCatalog, ProceduresAndPrivilegesAreEmptyWithTheirColumns) {
    exec("CREATE TABLE t(x)");
    CatalogQuery p = ruva::sqlite::procedures(kAll, kAll, kAll);
    EXPECT_EQ(p.columns.size(), 8u);
    EXPECT_TRUE(run(p).empty());
    CatalogQuery pc = ruva::sqlite::procedureColumns(kAll, kAll, kAll, kAll);
    EXPECT_EQ(pc.columns.size(), 13u);
    EXPECT_TRUE(run(pc).empty());
    CatalogQuery tp = ruva::sqlite::tablePrivileges(kAll, kAll, std::string("t"));
    EXPECT_EQ(tp.columns.size(), 7u);
    EXPECT_TRUE(run(tp).empty());
    CatalogQuery cp = ruva::sqlite::columnPrivileges(kAll, kAll, std::string("t"), kAll);
    EXPECT_EQ(cp.columns.size(), 8u);
    EXPECT_TRUE(run(cp).empty());
}

}  // namespace
