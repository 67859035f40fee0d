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
 * {@code postgres} (the throw-away server of the test run).
 */
final class Db {
    private static final AtomicInteger COUNTER = new AtomicInteger();

    private Db() {}

    static boolean postgres() {
        return "postgres".equals(System.getProperty("qvt.db", "sqlite"));
    }

    static boolean sqlite() {
        return !postgres();
    }

    private static String env(String name, String fallback) {
        String v = System.getenv(name);
        return v == null || v.isEmpty() ? fallback : v;
    }

    /** A URL of the run's data source; on SQLite a new database file each time. */
    static String url() {
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

    static Properties props() {
        Properties p = new Properties();
        if (postgres()) p.setProperty("user", "postgres");
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

    /** A statement that runs for many seconds on the data source. */
    static String slowQuery() {
        if (postgres()) return "SELECT pg_sleep(30)";
        return "WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r WHERE i < 2000000000)"
                + " SELECT count(*) FROM r";
    }
}
