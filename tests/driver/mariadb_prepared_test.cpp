// A statement prepared on MariaDB before its table changed: MariaDB
// Connector/ODBC fails its next execution (error 2057, the result's columns
// are not those prepared); libruva70 prepares a query again and runs it once
// more, and leaves any other statement's failure as it is.
#include "driver_fixture.h"

using namespace qvt;

TEST(PreparedMariadb, AQueryPreparedBeforeItsTableChangedRunsWithTheNewColumns) {
    Connection c(mariadbConnStr());
    SQLHSTMT s = c.stmt();
    SQLHSTMT other = c.stmt();
    exec(other, "DROP TABLE IF EXISTS qvt_reprepare");
    exec(other, "CREATE TABLE qvt_reprepare (a integer)");
    exec(other, "INSERT INTO qvt_reprepare VALUES (1)");
    SQLINTEGER v = 1;
    SQLLEN ind = 0;
    for (const char* sql :
         {"SELECT * FROM qvt_reprepare WHERE a = ?", "  (select * FROM qvt_reprepare WHERE a = ?)"}) {
        SCOPED_TRACE(sql);
        ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)sql, SQL_NTS), SQL_SUCCESS);
        ASSERT_EQ(ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &v, 0, &ind),
                  SQL_SUCCESS);
        ASSERT_EQ(ruva70_SQLExecute(s), SQL_SUCCESS);
        ruva70_SQLFreeStmt(s, SQL_CLOSE);
        exec(other, "ALTER TABLE qvt_reprepare ADD COLUMN " + std::string(sql[0] == ' ' ? "c" : "b") + " integer");
        ASSERT_EQ(ruva70_SQLExecute(s), SQL_SUCCESS) << describe(stmtRecords(s));
        SQLSMALLINT cols = 0;
        ruva70_SQLNumResultCols(s, &cols);
        EXPECT_EQ(cols, sql[0] == ' ' ? 3 : 2) << "the table's columns now";
        ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
        ruva70_SQLFreeStmt(s, SQL_CLOSE);
    }
    exec(other, "DROP TABLE qvt_reprepare");
    ruva70_SQLFreeStmt(other, SQL_DROP);
    ruva70_SQLFreeStmt(s, SQL_DROP);
}
