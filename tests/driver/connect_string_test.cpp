// Connection strings as each ODBC driver reads them: parsing with braces, the
// driver a string leads to, the rewritten string per driver, and, against
// the data sources, that no value can add an attribute (a planted library
// to load, a trace file) and that psqlODBC's logs stay off.
#include "driver_fixture.h"

#include "connect_string.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

using namespace qvt;
namespace cs = ruva::connstr;

namespace {

std::vector<cs::Attribute> parsed(const std::string& text) {
    std::vector<cs::Attribute> out;
    std::string problem;
    EXPECT_TRUE(cs::parse(text, out, problem)) << text << ": " << problem;
    return out;
}

std::string problemOf(const std::string& text) {
    std::vector<cs::Attribute> out;
    std::string problem;
    EXPECT_FALSE(cs::parse(text, out, problem)) << text;
    return problem;
}

cs::Outcome rebuilt(const std::string& text, cs::Kind kind) {
    return cs::rebuild(parsed(text), kind);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

}  // namespace

TEST(ConnectString, ParsesBracesDoubledClosersAndBlanks) {
    auto a = parsed(" Driver = x ;PWD={a;b}}c{d};UID= spaced ;;Empty=;Q= {in braces} ");
    ASSERT_EQ(a.size(), 5u);
    EXPECT_EQ(a[0].key, "Driver");
    EXPECT_EQ(a[0].value, " x ");
    EXPECT_EQ(a[1].value, "a;b}c{d");
    EXPECT_EQ(a[2].value, " spaced ");
    EXPECT_EQ(a[3].key, "Empty");
    EXPECT_EQ(a[3].value, "");
    EXPECT_EQ(a[4].value, "in braces");
    // A value ending in a doubled closer.
    EXPECT_EQ(parsed("PWD={x}}}").at(0).value, "x}");

    EXPECT_NE(problemOf("PWD={never closed;UID=x").find("never closed"), std::string::npos);
    EXPECT_NE(problemOf("PWD={a}b;").find("after its closing"), std::string::npos);
    EXPECT_NE(problemOf("Driver=x;loose;").find("without '='"), std::string::npos);
    EXPECT_NE(problemOf("=x").find("without a name"), std::string::npos);
    EXPECT_NE(problemOf(std::string("PWD=a\0b", 7)).find("zero byte"), std::string::npos);
}

// A string that names no driver goes to libruva70's own SQLite engine; a
// value can never make it name one (a password holding "Driver=" stays a
// password), and a key names a driver whatever its case.
TEST(ConnectString, OnlyADriverDsnOrFileDsnKeyLeavesTheEngine) {
    EXPECT_FALSE(cs::namesDriver(parsed("Database=/tmp/x.db")));
    EXPECT_FALSE(cs::namesDriver(parsed("")));
    EXPECT_FALSE(cs::namesDriver(parsed("Database=/tmp/x.db;PWD={a;Driver=/tmp/evil.so}")));
    EXPECT_FALSE(cs::namesDriver(parsed("Database={Driver=x;DSN=y}")));
    EXPECT_TRUE(cs::namesDriver(parsed("driver=SQLite3;Database=/tmp/x.db")));
    EXPECT_TRUE(cs::namesDriver(parsed("Database=/tmp/x.db; Dsn = qv")));
    EXPECT_TRUE(cs::namesDriver(parsed("FILEDSN=/etc/x.dsn")));
}

TEST(ConnectString, ClassifiesDriversByTheirFileName) {
    EXPECT_EQ(cs::classify("/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so"), cs::Kind::SQLite);
    EXPECT_EQ(cs::classify("libsqliteodbc.so"), cs::Kind::SQLite);
    EXPECT_EQ(cs::classify("/opt/x/libsqlite3odbc-0.9998.so"), cs::Kind::SQLite);
    EXPECT_EQ(cs::classify("psqlodbcw.so"), cs::Kind::Psqlodbc);
    EXPECT_EQ(cs::classify("/usr/lib/x86_64-linux-gnu/odbc/psqlodbca.so"), cs::Kind::Psqlodbc);
    // By the file's name, not a folder that happens to say sqlite.
    EXPECT_EQ(cs::classify("/opt/sqlite/libmyodbc8w.so"), cs::Kind::Generic);
}

TEST(ConnectString, FindsTheDriverOfARegisteredNameAndOfADataSource) {
    // tests/odbc: [QV SQLite3] and [QV PostgreSQL] in odbcinst.ini, the DSNs
    // qvt_sqlite and qvt_pg_logging in odbc.ini.
    EXPECT_EQ(cs::driverFile(parsed("Driver=/x/libsqlite3odbc.so")), "/x/libsqlite3odbc.so");
    EXPECT_EQ(cs::classify(cs::driverFile(parsed("Driver={QV SQLite3};Database=x"))), cs::Kind::SQLite);
    EXPECT_EQ(cs::classify(cs::driverFile(parsed("DSN=qvt_sqlite"))), cs::Kind::SQLite);
    EXPECT_EQ(cs::classify(cs::driverFile(parsed("dsn=qvt_pg_logging;UID=x"))), cs::Kind::Psqlodbc);
    EXPECT_EQ(cs::driverFile(parsed("DSN=no such data source")), "");
    EXPECT_EQ(cs::driverFile(parsed("FILEDSN=/x.dsn")), "");
}

TEST(ConnectString, SqliteGetsNoCredentialsAndNoValueThatNeedsBraces) {
    auto ok =
        rebuilt("Driver=/x/libsqlite3odbc.so;Database={/tmp/a b.db};UID={x;LoadExt=/p.so};PWD=y;", cs::Kind::SQLite);
    ASSERT_TRUE(ok.ok) << ok.message;
    EXPECT_EQ(ok.text, "Driver=/x/libsqlite3odbc.so;Database=/tmp/a b.db;");

    for (const char* db :
         {"{x;LoadExt=/p.so;}", "{x;Tracefile=/tmp/t}", "{a}}b}", "{{a}", "{ lead}", "{trail }", "{a=b}"}) {
        auto o = rebuilt(std::string("Driver=libsqlite3odbc.so;Database=") + db, cs::Kind::SQLite);
        EXPECT_FALSE(o.ok) << db;
        EXPECT_STREQ(o.state, "08001");
        EXPECT_NE(o.message.find("Database"), std::string::npos) << o.message;
        EXPECT_EQ(o.message.find("LoadExt"), std::string::npos) << "the value is never echoed: " << o.message;
        EXPECT_TRUE(o.text.empty());
    }
    // The first of an attribute counts, whatever its case; a later one is not passed on.
    auto first =
        rebuilt("Driver=libsqlite3odbc.so;Database=a.db;DATABASE=b.db;LoadExt=/p.so;loadext=/q.so", cs::Kind::SQLite);
    EXPECT_EQ(first.text, "Driver=libsqlite3odbc.so;Database=a.db;LoadExt=/p.so;");
}

TEST(ConnectString, PsqlodbcGetsABracedPasswordAPlainUserAndItsLogsOff) {
    auto o = rebuilt("Driver=psqlodbcw.so;Servername=h;UID= spacey;PWD={a;b}}c{d};", cs::Kind::Psqlodbc);
    ASSERT_TRUE(o.ok) << o.message;
    EXPECT_EQ(o.text, "Driver=psqlodbcw.so;Servername=h;UID= spacey;PWD={a;b}}c{d};Debug=0;CommLog=0;");
    // The string's own choice stays (by its long or short name).
    EXPECT_EQ(rebuilt("Driver=psqlodbcw.so;commlog=1;B2=1", cs::Kind::Psqlodbc).text,
              "Driver=psqlodbcw.so;commlog=1;B2=1;");
    for (const char* user : {"{bo;b}", "{a}}b}", "{{x}"}) {
        for (const char* key : {"UID", "Username"}) {
            auto r = rebuilt(std::string("Driver=psqlodbcw.so;") + key + "=" + user + ";PWD=x", cs::Kind::Psqlodbc);
            EXPECT_FALSE(r.ok) << user;
            EXPECT_STREQ(r.state, "28000");
            EXPECT_NE(r.message.find(key), std::string::npos) << r.message;
            EXPECT_EQ(r.message.find("bo;b"), std::string::npos) << r.message;
        }
    }
}

TEST(ConnectString, GenericDriversGetOdbcBraces) {
    auto o = rebuilt("DSN=x;UID={a;LoadExt=y};PWD={p}}};Opt= v ;E=;", cs::Kind::Generic);
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.text, "DSN=x;UID={a;LoadExt=y};PWD={p}}};Opt={ v };E={};");
    // What was written comes back out of the rewritten string unchanged.
    auto again = parsed(o.text);
    EXPECT_EQ(again.at(1).value, "a;LoadExt=y");
    EXPECT_EQ(again.at(2).value, "p}");
}

// Against SQLite through libruva70: a planted library named in a user name,
// password or file name is never loaded and no trace file is written; named
// by the connection string itself (trusted configuration) it is, which shows
// the library and its marker work.
TEST(ConnectStringSqlite, NoValueLoadsALibraryOrWritesATrace) {
    const std::string planted = env("QVT_PLANTED");
    const std::string marker = env("QVT_PLANTED_MARKER");
    ASSERT_FALSE(planted.empty());
    ASSERT_FALSE(marker.empty());
    ::mkdir(tempDir().c_str(), 0700);
    ::unlink(marker.c_str());
    const std::string trace = tempDir() + "/injected-trace";
    ::unlink(trace.c_str());
    const std::string base = sqliteDriverConnStr();

    const std::string injections[] = {
        "x;LoadExt=" + planted + ";",   "x;LoadExt=" + planted,        "x;Tracefile=" + trace + ";",
        "x};LoadExt=" + planted + ";{", "}};LoadExt=" + planted + ";",
    };
    auto braced = [](const std::string& v) {
        std::string b = "{";
        for (char c : v) {
            b.push_back(c);
            if (c == '}') b.push_back('}');
        }
        return b + "}";
    };
    for (const std::string& v : injections) {
        for (const char* key : {"UID", "PWD"}) {
            // In braces, as the JDBC layer writes them: SQLite is not sent them.
            Connection c(base + key + "=" + braced(v) + ";");
            exec(c.stmt(), "SELECT 1");
        }
        // A file name that would need braces is refused.
        Connection c;
        const std::string connStr =
            "Driver=" + env("QVT_SQLITE_DRIVER") + ";Database=" + braced(tempDir() + "/" + v) + ";";
        SQLRETURN rc = ruva70_SQLDriverConnect(c.dbc, nullptr, (SQLCHAR*)connStr.c_str(), SQL_NTS, nullptr, 0,
                                               nullptr, SQL_DRIVER_NOPROMPT);
        EXPECT_EQ(rc, SQL_ERROR) << v;
        auto recs = dbcRecords(c.dbc);
        ASSERT_FALSE(recs.empty());
        EXPECT_EQ(recs[0].state, "08001");
        EXPECT_NE(recs[0].message.find("Database"), std::string::npos);
    }
    // SQLBrowseConnect's string is written anew in the same way.
    {
        Connection c;
        const std::string connStr =
            "Driver=" + env("QVT_SQLITE_DRIVER") + ";Database={" + tempDir() + "/x;LoadExt=" + planted + "};";
        SQLCHAR out[512];
        SQLSMALLINT len = 0;
        EXPECT_EQ(ruva70_SQLBrowseConnect(c.dbc, (SQLCHAR*)connStr.c_str(), SQL_NTS, out, sizeof out, &len),
                  SQL_ERROR);
        auto recs = dbcRecords(c.dbc);
        ASSERT_FALSE(recs.empty());
        EXPECT_EQ(recs[0].state, "08001");
    }
    EXPECT_FALSE(exists(marker)) << "a value loaded the planted library";
    EXPECT_FALSE(exists(trace)) << "a value wrote a trace file";

    // The control: asked by the string itself, the SQLite driver loads it.
    { Connection c(base + "LoadExt=" + planted + ";"); }
    EXPECT_TRUE(exists(marker)) << "the planted library does not leave its marker; the test proves nothing";
    ::unlink(marker.c_str());
}

// psqlODBC asked by its data source (odbc.ini: Debug=1, CommLog=1) writes
// nothing, the password not at all; asked by the string itself it does.
TEST(ConnectStringPostgres, PsqlodbcLogsStayOffUnlessTheStringAsks) {
    const std::string where =
        "Servername=" + env("QVT_PG_HOST") + ";Port=" + env("QVT_PG_PORT") + ";Database=qvjdbc;";
    auto logs = [] {
        std::vector<std::string> found;
        const std::string pid = std::to_string(::getpid());
        if (DIR* d = ::opendir("/tmp")) {
            while (dirent* e = ::readdir(d)) {
                const std::string name = e->d_name;
                if ((name.rfind("mylog_", 0) == 0 || name.rfind("psqlodbc_", 0) == 0) &&
                    name.size() > pid.size() + 4 && name.compare(name.size() - pid.size() - 4, pid.size(), pid) == 0)
                    found.push_back("/tmp/" + name);
            }
            ::closedir(d);
        }
        return found;
    };
    for (const std::string& f : logs()) ::unlink(f.c_str());
    {
        Connection c("DSN=qvt_pg_logging;" + where + "UID=postgres;PWD={not;used}}here};");
        exec(c.stmt(), "SELECT 1");
    }
    EXPECT_TRUE(logs().empty()) << "psqlODBC wrote " << (logs().empty() ? "" : logs()[0]);
    { Connection c("DSN=qvt_pg_logging;" + where + "UID=postgres;PWD=x;CommLog=1;"); }
    const auto written = logs();
    EXPECT_FALSE(written.empty()) << "the string's own CommLog=1 is kept";
    for (const std::string& f : written) ::unlink(f.c_str());
}

TEST(ConnectString, MariadbConnectorGetsOdbcBraces) {
    EXPECT_EQ(cs::classify("/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so"), cs::Kind::MariaDB);
    auto o = rebuilt("Driver=libmaodbc.so;Server=h;UID={a;InitStmt=x};PWD={p}};PLUGIN_DIR=/t};OPTION=3",
                     cs::Kind::MariaDB);
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.text,
              "Driver=libmaodbc.so;Server=h;UID={a;InitStmt=x};PWD={p}};PLUGIN_DIR=/t};OPTION=3;CHARSET=utf8mb4;");
    // libruva70 reads the text as UTF-8: no other character set is forwarded.
    o = rebuilt("Driver=libmaodbc.so;charset=latin1;Server=h", cs::Kind::MariaDB);
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.text, "Driver=libmaodbc.so;Server=h;CHARSET=utf8mb4;");
}

// Against MariaDB: MariaDB Connector/ODBC reads a braced password whole, so
// a password holding ; and } reaches the server as it is and none of it runs
// as the driver's InitStmt; a password that only the split would make right
// is refused by the server. Named by the string itself, InitStmt runs, which
// shows the probe works.
TEST(ConnectStringMariadb, APasswordHoldingSemicolonsAndBracesArrivesWhole) {
    const std::string base = "Driver=" + env("QVT_MARIADB_DRIVER") +
                             ";Server=127.0.0.1;Port=" + env("QVT_MARIADB_PORT") + ";Database=qvt;";
    auto injected = [](Connection& c) {
        return queryText(c.stmt(), "SELECT concat(coalesce(@qvt_injected, 0), ' ', current_user())");
    };
    {
        Connection c(base + "UID=qvt_odd;PWD={p;InitStmt=SET @qvt_injected=1;}}x};");
        EXPECT_EQ(injected(c), "0 qvt_odd@127.0.0.1");
    }
    {
        Connection c;
        const std::string s = base + "UID=qvt;PWD={qvt-pass;InitStmt=SET @qvt_injected=1};";
        EXPECT_EQ(ruva70_SQLDriverConnect(c.dbc, nullptr, (SQLCHAR*)s.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                          SQL_DRIVER_NOPROMPT),
                  SQL_ERROR);
        auto recs = dbcRecords(c.dbc);
        ASSERT_FALSE(recs.empty());
        EXPECT_EQ(recs[0].native, 1045) << describe(recs);
    }
    {
        Connection c(base + "UID=qvt;PWD=qvt-pass;InitStmt={SET @qvt_injected=1};");
        EXPECT_EQ(injected(c), "1 qvt@127.0.0.1");
    }
}
