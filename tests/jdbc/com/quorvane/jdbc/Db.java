package com.quorvane.jdbc;

import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.sql.Connection;
import java.sql.DriverManager;
import java.sql.SQLException;
import java.sql.Statement;
import java.util.Properties;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * The data source of a JDBC test run, chosen by the system property
 * {@code qvt.db}: {@code sqlite} (a fresh file per connection string) or
 * {@code postgres} (the throw-away server of the test run) or {@code mariadb}
 * (the throw-away MariaDB server, through MariaDB Connector/ODBC).
 */
final class Db {
    private static final AtomicInteger COUNTER = new AtomicInteger();

    private Db() {}

    static boolean postgres() {
        return "postgres".equals(System.getProperty("qvt.db", "sqlite"));
    }

    static boolean mariadb() {
        return "mariadb".equals(System.getProperty("qvt.db", "sqlite"));
    }

    static boolean sqlite() {
        return !postgres() && !mariadb();
    }

    private static String env(String name, String fallback) {
        String v = System.getenv(name);
        return v == null || v.isEmpty() ? fallback : v;
    }

    /** A URL of the run's data source; on SQLite a new database file each time. */
    static String url() {
        if (mariadb()) {
            return "jdbc:quorvane:Driver=" + env("QVT_MARIADB_DRIVER", "/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so")
                    + ";Server=127.0.0.1;Port=" + env("QVT_MARIADB_PORT", "3306") + ";Database="
                    + env("QVT_MARIADB_DATABASE", "qvt") + ";";
        }
        if (postgres()) {
            return "jdbc:quorvane:Driver=" + env("QVT_PG_DRIVER", "/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so")
                    + ";Servername=" + env("QVT_PG_HOST", "/tmp/qvjdbc-pg") + ";Port=" + env("QVT_PG_PORT", "54329")
                    + ";Database=qvjdbc;";
        }
        try {
            Path dir = Paths.get(env("QVT_TMP", System.getProperty("java.io.tmpdir")));
            Files.createDirectories(dir);
            Path db = dir.resolve("jdbc-" + ProcessHandle.current().pid() + "-" + COUNTER.incrementAndGet() + ".db");
            Files.deleteIfExists(db);
            db.toFile().deleteOnExit();
            return "jdbc:quorvane:Database=" + db + ";SyncPragma=OFF;";
        } catch (java.io.IOException e) {
            throw new IllegalStateException(e);
        }
    }

    /** The user name of the run's data source, or null where it has none. */
    static String user() {
        if (postgres()) return "postgres";
        if (mariadb()) return env("QVT_MARIADB_USER", "qvt");
        return null;
    }

    /** The password of the run's data source, or null. */
    static String password() {
        return mariadb() ? env("QVT_MARIADB_PASSWORD", "qvt-pass") : null;
    }

    /** The key column of a new table that the data source numbers itself. */
    static String autoKey() {
        if (postgres()) return "id serial PRIMARY KEY";
        if (mariadb()) return "id integer AUTO_INCREMENT PRIMARY KEY";
        return "id INTEGER PRIMARY KEY";
    }

    static Properties props() {
        Properties p = new Properties();
        if (user() != null) p.setProperty("user", user());
        if (password() != null) p.setProperty("password", password());
        return p;
    }

    static Connection connect() throws SQLException {
        return DriverManager.getConnection(url(), props());
    }

    static Connection connect(String url) throws SQLException {
        return DriverManager.getConnection(url, props());
    }

    /** Runs statements, ignoring failures (for DROP ... of tables that may not exist). */
    static void quietly(Connection c, String... sql) {
        for (String s : sql) {
            try (Statement st = c.createStatement()) {
                st.execute(s);
            } catch (SQLException e) {
                // not there
            }
        }
    }

    static void exec(Connection c, String... sql) throws SQLException {
        try (Statement st = c.createStatement()) {
            for (String s : sql) st.execute(s);
        }
    }

    // What the tests expect differently on each data source, as data.

    /** The product name DatabaseMetaData gives. */
    static String productName() {
        return postgres() ? "PostgreSQL" : mariadb() ? "MariaDB" : "SQLite";
    }

    /** SQL of two text expressions joined (MariaDB reads || as OR). */
    static String concat(String a, String b) {
        return mariadb() ? "concat(" + a + ", " + b + ")" : a + " || " + b;
    }

    /**
     * One execution runs several statements separated by ';' (MariaDB's
     * driver runs one unless its connection string allows more).
     */
    static boolean runsSeveralStatements() {
        return !mariadb();
    }

    /**
     * A parameter array runs as one execution, all rows or none (MariaDB's
     * driver sends it as one bulk execution): a failing row leaves no row done.
     */
    static boolean arraysAllOrNothing() {
        return mariadb();
    }

    /** Text holding U+0000 is stored and read whole (elsewhere it is refused with 22021). */
    static boolean keepsU0000() {
        return !postgres();
    }

    /** The SQLSTATE of a statement the data source cannot parse. */
    static String syntaxErrorState() {
        return postgres() ? "42601" : "42000";
    }

    /** Words of the message of a statement the data source cannot parse. */
    static String syntaxErrorWords() {
        return mariadb() ? "error in your SQL syntax" : "syntax error";
    }

    /** The column type of bytes of any length. */
    static String bytesType() {
        return postgres() ? "bytea" : mariadb() ? "longblob" : "blob";
    }

    /** The column type of text of any length. */
    static String textType() {
        return mariadb() ? "longtext" : "text";
    }

    /** The column type of 8-byte floating point. */
    static String doubleType() {
        return postgres() ? "double precision" : "double";
    }

    /** The column type of a timestamp without zone that keeps microseconds. */
    static String timestampType() {
        return mariadb() ? "datetime(6)" : "timestamp";
    }

    /** The column type of a time of day that keeps microseconds where the data source can. */
    static String timeType() {
        return postgres() || mariadb() ? "time(6)" : "time";
    }

    /** SQL of a value as the data source's own text (not on PostgreSQL, whose text needs a format). */
    static String asText(String expr) {
        return mariadb() ? "CAST(" + expr + " AS CHAR)" : expr + " || ''";
    }

    /** Generated keys are offered (on MariaDB through LAST_INSERT_ID()). */
    static boolean offersGeneratedKeys() {
        return true;
    }

    /** The rule of a foreign key declared without one (MariaDB says RESTRICT, its same as NO ACTION). */
    static int defaultKeyRule() {
        return mariadb() ? java.sql.DatabaseMetaData.importedKeyRestrict : java.sql.DatabaseMetaData.importedKeyNoAction;
    }

    /** The quote of identifiers (MariaDB's without ANSI_QUOTES). */
    static String identifierQuote() {
        return mariadb() ? "`" : "\"";
    }

    /** The data source's text of a time of day in a column of timeType() (MariaDB prints every digit of TIME(6)). */
    static String timeText(java.time.LocalTime t) {
        return mariadb() ? t.format(java.time.format.DateTimeFormatter.ofPattern("HH:mm:ss.SSSSSS")) : t.toString();
    }

    /** The data source has schemas to select (MariaDB's databases are catalogs). */
    static boolean hasSchemas() {
        return postgres();
    }

    /** A statement that runs for many seconds on the data source. */
    static String slowQuery() {
        if (postgres()) return "SELECT pg_sleep(30)";
        if (mariadb()) return "SELECT SLEEP(30)";
        return "WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r WHERE i < 2000000000)"
                + " SELECT count(*) FROM r";
    }
}
