// Binding on Linux: this executable also links the driver manager, so its
// SQL... names are in the global scope beside libruva70. Calls of the
// ruva70_ names still reach libruva70, and libruva70's own calls still reach
// the driver manager.
#include "driver_fixture.h"

#include <dlfcn.h>
#include <sql.h>

using namespace qvt;

TEST(BindingOnLinux, Ruva70NamesAndDriverManagerNamesAreDifferentFunctions) {
    SQLHENV ours = SQL_NULL_HENV, theirs = SQL_NULL_HENV;
    ASSERT_EQ(ruva70_SQLAllocEnv(&ours), SQL_SUCCESS);
    ASSERT_EQ(::SQLAllocEnv(&theirs), SQL_SUCCESS);
    EXPECT_NE(reinterpret_cast<void*>(&ruva70_SQLAllocEnv), reinterpret_cast<void*>(&::SQLAllocEnv));
    // libruva70 hands out a table value; the driver manager a pointer.
    EXPECT_TRUE(fits31Bits(ours)) << value(ours);
    EXPECT_FALSE(fits31Bits(theirs)) << theirs;
    // libruva70 refuses the driver manager's pointer. (unixODBC does not
    // check its own handles, so the reverse is never tried.)
    EXPECT_EQ(ruva70_SQLFreeEnv(theirs), SQL_INVALID_HANDLE);
    EXPECT_EQ(ruva70_SQLFreeEnv(ours), SQL_SUCCESS);
    EXPECT_EQ(::SQLFreeEnv(theirs), SQL_SUCCESS);
}

TEST(BindingOnLinuxSqlite, Ruva70CallsReachTheDriverManagerAndTheDriver) {
    Connection c(sqliteDriverConnStr());
    // Answered by unixODBC itself.
    char dmVersion[32] = {};
    SQLSMALLINT len = 0;
    ASSERT_EQ(ruva70_SQLGetInfo(c.dbc, SQL_DM_VER, dmVersion, sizeof dmVersion, &len), SQL_SUCCESS);
    EXPECT_EQ(std::string(dmVersion).substr(0, 3), "03.");
    // Answered by the SQLite driver.
    SQLHSTMT s = c.stmt();
    EXPECT_FALSE(queryText(s, "SELECT sqlite_version()").empty());
    EXPECT_EQ(ruva70_SQLFreeStmt(s, SQL_DROP), SQL_SUCCESS);
}

// libsqlite3's memory statistics take one process-wide mutex on every
// allocation; libruva70 turns them off before the first SQLite connect, so
// connections on different threads do not wait on each other. Every connect
// of this executable goes through libruva70, so none initialised the library
// before it: with the statistics off, the memory in use reads 0.
TEST(BindingOnLinuxSqlite, SqliteKeepsNoMemoryStatistics) {
    Connection c(sqliteConnStr());
    SQLHSTMT s = c.stmt();
    EXPECT_EQ(queryText(s,
                        "SELECT length(group_concat(x)) FROM (WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL "
                        "SELECT x + 1 FROM n WHERE x < 1000) SELECT x FROM n)"),
              "3892");
    void* lib = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr) << "the SQLite driver's library is loaded";
    using MemoryUsed = long long (*)();
    auto used = reinterpret_cast<MemoryUsed>(dlsym(lib, "sqlite3_memory_used"));
    ASSERT_NE(used, nullptr);
    EXPECT_EQ(used(), 0) << "memory statistics are kept";
    dlclose(lib);
    EXPECT_EQ(ruva70_SQLFreeStmt(s, SQL_DROP), SQL_SUCCESS);
}
