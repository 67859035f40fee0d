// The SQLite engine's catalog queries, run with the sqlite3 C API on scratch
// databases, and the declared-type rules they share with the engine.
#include "sqlite/catalog.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
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

}  // namespace
