// The catalog functions on PostgreSQL and SQLite, their result sets read
// through the retrieval entry points like any query's.
#include "dsconn.h"
#include "jcall.h"
#include "resultset.h"

#include <algorithm>
#include <set>

namespace {

using qvt::at;
using qvt::Connection;
using qvt::Rows;
using qvt::Source;
using qvt::zstr;

// A name or pattern argument: a string, or null.
struct Text {
    const char* s;
};
constexpr Text kNull{nullptr};
jbyteArray arr(Text t) {
    return t.s ? zstr(t.s) : nullptr;
}
jboolean isNull(Text t) {
    return t.s ? JNI_FALSE : JNI_TRUE;
}

std::set<std::string> column(const Rows& rows, size_t c) {
    std::set<std::string> out;
    for (const auto& r : rows)
        if (c < r.size() && r[c]) out.insert(*r[c]);
    return out;
}

class CatalogTest : public ::testing::TestWithParam<Source> {
protected:
    void SetUp() override {
        c_.open(GetParam());
        parent_ = qvt::uniqueName("cat_parent");
        child_ = qvt::uniqueName("cat_child");
        c_.exec("CREATE TABLE " + parent_ + " (id INTEGER PRIMARY KEY, name VARCHAR(30) NOT NULL)");
        c_.exec("CREATE TABLE " + child_ + " (id INTEGER PRIMARY KEY, parent_id INTEGER REFERENCES " + parent_ +
                " (id), note VARCHAR(10))");
        c_.exec("CREATE INDEX " + child_ + "_by_parent ON " + child_ + " (parent_id)");
        if (pg()) {
            function_ = qvt::uniqueName("cat_fn");
            c_.tryExec("CREATE USER qv_reader");
            c_.tryExec("ALTER ROLE qv_reader LOGIN");
            c_.exec("GRANT SELECT ON " + parent_ + " TO qv_reader");
            c_.exec("GRANT SELECT (note) ON " + child_ + " TO qv_reader");
            c_.exec("CREATE FUNCTION " + function_ +
                    " (a INTEGER, b VARCHAR) RETURNS INTEGER AS 'SELECT a + length(b)' LANGUAGE SQL");
        }
        stmt_ = c_.newStatement();
        ec_ = qvt::errorCode();
    }
    void TearDown() override {
        JC(freeStmt, stmt_, SQL_DROP);
        c_.exec("DROP TABLE " + child_);
        c_.exec("DROP TABLE " + parent_);
        if (pg()) c_.exec("DROP FUNCTION " + function_ + " (INTEGER, VARCHAR)");
    }
    bool pg() const { return GetParam() == Source::Postgres; }
    Text schema() const { return Text{c_.dialect().schema}; }

    // The rows of the catalog call just made (which must have succeeded).
    Rows result(const char* what) {
        EXPECT_TRUE(at(ec_, 0) == 0 || at(ec_, 0) == 1) << what << ": " << qvt::diagnostics(0, 0, stmt_);
        if (at(ec_, 0) != 0 && at(ec_, 0) != 1) return {};
        return qvt::readThroughEntryPoints(stmt_);
    }

    qvt::LocalFrame frame_{1024};
    Connection c_;
    std::string parent_, child_, function_;
    jint stmt_ = 0;
    jbyteArray ec_ = nullptr;
};

TEST_P(CatalogTest, TablesAndColumns) {
    const std::string pattern = std::string("cat\\_%");
    JC(tables, stmt_, nullptr, JNI_TRUE, arr(schema()), isNull(schema()), zstr(parent_), JNI_FALSE, nullptr, JNI_TRUE,
       ec_);
    Rows t = result("tables");
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0][2], parent_) << "TABLE_NAME";
    EXPECT_EQ(t[0][3], "TABLE") << "TABLE_TYPE";

    JC(columns, stmt_, nullptr, JNI_TRUE, arr(schema()), isNull(schema()), zstr(child_), JNI_FALSE, nullptr, JNI_TRUE,
       ec_);
    Rows cols = result("columns");
    EXPECT_EQ(column(cols, 3), (std::set<std::string>{"id", "parent_id", "note"})) << "COLUMN_NAME";
    for (const auto& r : cols) {
        if (r[3] == "note") {
            EXPECT_EQ(r[6], "10") << "COLUMN_SIZE of VARCHAR(10)";
        }
    }
}

TEST_P(CatalogTest, NullAndEmptyPatternsStayDistinct) {
    JC(tables, stmt_, nullptr, JNI_TRUE, arr(schema()), isNull(schema()), nullptr, JNI_TRUE, nullptr, JNI_TRUE, ec_);
    const Rows all = result("tables, null table name");
    EXPECT_GE(column(all, 2).count(parent_), 1u) << "a null table name finds every table";
    EXPECT_GE(column(all, 2).count(child_), 1u);
    JC(tables, stmt_, nullptr, JNI_TRUE, arr(schema()), isNull(schema()), zstr(""), JNI_FALSE, nullptr, JNI_TRUE,
       ec_);
    const Rows empty = result("tables, empty table name");
    if (c_.dialect().emptyPatternIsAll) {
        // psqlODBC and MariaDB Connector/ODBC take an empty pattern as no
        // restriction, like a null one.
        EXPECT_EQ(column(empty, 2), column(all, 2));
    } else {
        EXPECT_EQ(empty.size(), 0u) << "an empty table name finds nothing";
    }
}

TEST_P(CatalogTest, KeysAndIndexes) {
    JC(primaryKeys, stmt_, nullptr, JNI_TRUE, arr(schema()), isNull(schema()), zstr(parent_), JNI_FALSE, ec_);
    Rows pk = result("primaryKeys");
    ASSERT_EQ(pk.size(), 1u);
    EXPECT_EQ(pk[0][2], parent_);
    EXPECT_EQ(pk[0][3], "id") << "COLUMN_NAME";

    JC(foreignKeys, stmt_, nullptr, JNI_TRUE, arr(schema()), isNull(schema()), zstr(parent_), JNI_FALSE, nullptr,
       JNI_TRUE, nullptr, JNI_TRUE, nullptr, JNI_TRUE, ec_);
    Rows fk = result("foreignKeys");
    ASSERT_EQ(fk.size(), 1u);
    EXPECT_EQ(fk[0][2], parent_) << "PKTABLE_NAME";
    EXPECT_EQ(fk[0][3], "id") << "PKCOLUMN_NAME";
    EXPECT_EQ(fk[0][6], child_) << "FKTABLE_NAME";
    EXPECT_EQ(fk[0][7], "parent_id") << "FKCOLUMN_NAME";

    JC(statistics, stmt_, nullptr, JNI_TRUE, arr(schema()), isNull(schema()), zstr(child_), JNI_FALSE, 0, 0, ec_);
    Rows stats = result("statistics");
    EXPECT_EQ(column(stats, 5).count(child_ + "_by_parent"), 1u) << "INDEX_NAME";
    JC(statistics, stmt_, nullptr, JNI_TRUE, arr(schema()), isNull(schema()), zstr(child_), JNI_FALSE, 1, 1, ec_);
    EXPECT_EQ(column(result("statistics, unique"), 5).count(child_ + "_by_parent"), 0u)
        << "the non-unique index is not among the unique ones";

    // The best row identifier: on SQLite the INTEGER PRIMARY KEY column that
    // is the rowid; psqlODBC gives none for a table without OIDs, but names
    // xmin as the row version.
    const jint identifier = pg() ? SQL_ROWVER : SQL_BEST_ROWID;
    JC(specialColumns, stmt_, identifier, nullptr, JNI_TRUE, arr(schema()), isNull(schema()), zstr(parent_),
       JNI_FALSE, SQL_SCOPE_SESSION, 1, ec_);
    Rows special = result("specialColumns");
    EXPECT_EQ(column(special, 1), (std::set<std::string>{pg() ? "xmin" : "id"})) << "COLUMN_NAME";
}

TEST_P(CatalogTest, TypeInfo) {
    JC(getTypeInfo, stmt_, SQL_ALL_TYPES, ec_);
    Rows all = result("getTypeInfo");
    EXPECT_GE(all.size(), 5u);
    JC(getTypeInfo, stmt_, SQL_INTEGER, ec_);
    Rows ints = result("getTypeInfo INTEGER");
    ASSERT_GE(ints.size(), 1u);
    for (const auto& r : ints) EXPECT_EQ(r[1], std::to_string(SQL_INTEGER)) << "DATA_TYPE";
}

TEST_P(CatalogTest, PrivilegesAndProcedures) {
    JC(tablePrivileges, stmt_, nullptr, JNI_TRUE, arr(schema()), isNull(schema()), zstr(parent_), JNI_FALSE, ec_);
    const jbyte tablePrivilegesRc = at(ec_, 0);
    JC(freeStmt, stmt_, SQL_CLOSE);
    JC(procedures, stmt_, nullptr, JNI_TRUE, nullptr, JNI_TRUE, zstr(pg() ? function_.c_str() : "%"), JNI_FALSE, ec_);
    if (!pg()) {
        // The SQLite driver answers these with result sets of its own or an
        // error; either way no crash, and an error has a diagnostic.
        auto check = [&](const char* what) {
            if (at(ec_, 0) == -1) {
                EXPECT_FALSE(qvt::diagnostics(0, 0, stmt_).empty()) << what;
                std::printf("[ catalog ] SQLite %s: error\n", what);
            } else {
                std::printf("[ catalog ] SQLite %s: %zu rows\n", what, qvt::readThroughEntryPoints(stmt_).size());
            }
        };
        check("procedures");
        JC(procedureColumns, stmt_, nullptr, JNI_TRUE, nullptr, JNI_TRUE, zstr("%"), JNI_FALSE, nullptr, JNI_TRUE,
           ec_);
        check("procedureColumns");
        JC(tablePrivileges, stmt_, nullptr, JNI_TRUE, nullptr, JNI_TRUE, zstr(parent_), JNI_FALSE, ec_);
        check("tablePrivileges");
        JC(columnPrivileges, stmt_, nullptr, JNI_TRUE, nullptr, JNI_TRUE, zstr(child_), JNI_FALSE, zstr("note"),
           JNI_FALSE, ec_);
        check("columnPrivileges");
        (void)tablePrivilegesRc;
        return;
    }
    Rows procs = result("procedures");
    ASSERT_EQ(procs.size(), 1u);
    EXPECT_EQ(procs[0][2], function_) << "PROCEDURE_NAME";

    JC(procedureColumns, stmt_, nullptr, JNI_TRUE, nullptr, JNI_TRUE, zstr(function_), JNI_FALSE, nullptr, JNI_TRUE,
       ec_);
    Rows args = result("procedureColumns");
    std::set<std::string> names = column(args, 3);
    EXPECT_TRUE(names.count("a") == 1 && names.count("b") == 1) << "COLUMN_NAME of the arguments";

    JC(tablePrivileges, stmt_, nullptr, JNI_TRUE, zstr("public"), JNI_FALSE, zstr(parent_), JNI_FALSE, ec_);
    Rows tp = result("tablePrivileges");

    bool granted = false;
    for (const auto& r : tp) granted |= r[4] == "qv_reader" && r[5] == "SELECT";
    EXPECT_TRUE(granted) << "GRANTEE qv_reader, PRIVILEGE SELECT";

    JC(columnPrivileges, stmt_, nullptr, JNI_TRUE, zstr("public"), JNI_FALSE, zstr(child_), JNI_FALSE, zstr("note"),
       JNI_FALSE, ec_);
    std::printf("[ catalog ] PostgreSQL columnPrivileges: %s\n", at(ec_, 0) == -1 ? "error" : "result set");
    if (at(ec_, 0) == -1) {
        // psqlODBC may not serve column privileges; it says so.
        EXPECT_FALSE(qvt::diagnostics(0, 0, stmt_).empty());
    } else {
        Rows cp = qvt::readThroughEntryPoints(stmt_);
        bool colGranted = false;
        for (const auto& r : cp) colGranted |= r[5] == "qv_reader" && r[6] == "SELECT";
        EXPECT_TRUE(colGranted) << "GRANTEE qv_reader, PRIVILEGE SELECT on the column";
    }
}

INSTANTIATE_TEST_SUITE_P(DataSources, CatalogTest, qvt::AllSources, qvt::sourceName);

}  // namespace
