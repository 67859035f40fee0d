package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.sql.Connection;
import java.sql.DriverManager;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.SQLWarning;
import java.sql.Statement;
import java.util.ArrayList;
import java.util.List;
import java.util.Properties;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * Credentials, properties and bean values are data: tried as an attacker
 * would, none of them loads a planted library (it leaves a marker file when
 * loaded), writes a trace file, or reaches the data source as anything but
 * itself; and no password shows in a message, a warning, a toString or the
 * example program's output.
 */
class SecurityTest {
    private static final String PLANTED = System.getenv("QVT_PLANTED");
    private static final Path MARKER = Paths.get(env("QVT_PLANTED_MARKER", "/tmp/qvt-planted-marker"));
    private static final Path TRACE = Paths.get(env("QVT_TMP", "/tmp"), "injected-trace-" + ProcessHandle.current().pid());

    private static String env(String name, String fallback) {
        String v = System.getenv(name);
        return v == null || v.isEmpty() ? fallback : v;
    }

    /** Values that would add an attribute if they were pasted into a connection string. */
    private static List<String> injections() {
        String lib = PLANTED == null ? "/nonexistent/planted.so" : PLANTED;
        return List.of("x;LoadExt=" + lib + ";", "x;LoadExt=" + lib, "x;Tracefile=" + TRACE + ";",
                "x};LoadExt=" + lib + ";{", "}};LoadExt=" + lib + ";", "{x;LoadExt=" + lib + "}",
                "x}};Tracefile=" + TRACE, " LoadExt=" + lib + " ", "a=b;LoadExt=" + lib);
    }

    @BeforeEach
    void clean() throws Exception {
        assertNotNull(PLANTED, "CTest names the planted library (QVT_PLANTED)");
        Files.createDirectories(MARKER.getParent());
        Files.deleteIfExists(MARKER);
        Files.deleteIfExists(TRACE);
    }

    @AfterEach
    void nothingWasLoadedOrWritten() {
        assertFalse(Files.exists(MARKER), "the planted library was loaded");
        assertFalse(Files.exists(TRACE), "a trace file was written");
    }

    /**
     * One attempt: a clean login (then the connection works) or a clear
     * refusal; its messages never show {@code secret} (the password or file
     * name tried; a server may name a user that does not exist).
     */
    private static void attempt(String what, String secret, Connector c) {
        try (Connection conn = c.connect()) {
            try (Statement st = conn.createStatement(); ResultSet rs = st.executeQuery("SELECT 1")) {
                assertTrue(rs.next(), what);
            }
        } catch (SQLException e) {
            String state = e.getSQLState();
            assertTrue("28000".equals(state) || "08001".equals(state) || state.startsWith("28"),
                    what + ": " + state + " " + e.getMessage());
            assertNoSecret(secret, e, what);
        }
    }

    private interface Connector {
        Connection connect() throws SQLException;
    }

    private static void assertNoSecret(String secret, SQLException e, String what) {
        for (Throwable t = e; t != null; t = t instanceof SQLException s && s.getNextException() != null
                ? s.getNextException() : t.getCause()) {
            assertFalse(String.valueOf(t.getMessage()).contains(secret.trim()),
                    what + ": the message echoes the value: " + t.getMessage());
            if (t == t.getCause()) break;
        }
    }

    @Test
    void userAndPasswordNeverAddAttributes() {
        String url = Db.url();
        for (String v : injections()) {
            attempt("getConnection user", "pw", () -> DriverManager.getConnection(url, v, "pw"));
            attempt("getConnection password", v, () -> DriverManager.getConnection(url, Db.postgres() ? "postgres" : "u", v));
            attempt("properties", v, () -> {
                Properties p = Db.props();
                p.setProperty("password", v);
                return DriverManager.getConnection(url, p);
            });
            attempt("properties user", "pw", () -> {
                Properties p = new Properties();
                p.setProperty("user", v);
                p.setProperty("password", "pw");
                return DriverManager.getConnection(url, p);
            });
            JdbcOdbcDataSource ds = new JdbcOdbcDataSource();
            ds.setUrl(url);
            ds.setUser(v);
            ds.setPassword("pw");
            attempt("data source setUser", "pw", ds::getConnection);
            ds.setUser(Db.postgres() ? "postgres" : "u");
            ds.setPassword(v);
            attempt("data source setPassword", v, ds::getConnection);
            attempt("data source getConnection(u, p)", v, () -> ds.getConnection(Db.postgres() ? "postgres" : v, v));
        }
    }

    @Test
    void theDatabaseOfTheEmbeddedDefaultIsAFileNameOnly() throws Exception {
        Path dir = Files.createTempDirectory(Paths.get(env("QVT_TMP", "/tmp")), "security-db");
        for (String v : injections()) {
            String file = dir.resolve(v).toString();
            attempt("property database", file, () -> {
                Properties p = new Properties();
                p.setProperty("database", file);
                return DriverManager.getConnection("jdbc:quorvane:", p);
            });
            JdbcOdbcDataSource ds = new JdbcOdbcDataSource();
            ds.setDatabase(file);
            ds.setUser(v);
            ds.setPassword(v);
            attempt("setDatabase", file, ds::getConnection);
        }
        // A file name with blanks inside is an ordinary file.
        Properties p = new Properties();
        p.setProperty("database", dir.resolve("my file.db").toString());
        p.setProperty("user", "x;LoadExt=" + PLANTED + ";");
        p.setProperty("password", "x;LoadExt=" + PLANTED + ";");
        try (Connection c = DriverManager.getConnection("jdbc:quorvane:", p)) {
            Db.exec(c, "CREATE TABLE t (x integer)");
        }
        assertTrue(Files.exists(dir.resolve("my file.db")));
        // The refused names were never created.
        try (var files = Files.list(dir)) {
            assertEquals(List.of(dir.resolve("my file.db")), files.toList());
        }
        // A value with U+0000 is refused before anything is cut.
        Properties zero = new Properties();
        zero.setProperty("database", dir.resolve("a.db").toString() + "\0;LoadExt=" + PLANTED);
        SQLException e = assertThrows(SQLException.class, () -> DriverManager.getConnection("jdbc:quorvane:", zero));
        assertEquals("08001", e.getSQLState());
        assertTrue(e.getMessage().contains("database"), e.getMessage());
        for (String prop : new String[] {"user", "password"}) {
            Properties z = Db.props();
            z.setProperty(prop, "a\0b");
            SQLException ze = assertThrows(SQLException.class, () -> DriverManager.getConnection(Db.url(), z));
            assertEquals("28000", ze.getSQLState());
            assertTrue(ze.getMessage().contains(prop), ze.getMessage());
        }
        assertFalse(Files.exists(dir.resolve("a.db")));
    }

    @Test
    void noConnectionPropertyChoosesNativeCode() throws Exception {
        Properties p = new Properties();
        p.setProperty("sqliteDriver", PLANTED);
        try (Connection c = DriverManager.getConnection("jdbc:quorvane:", p)) {
            assertEquals("SQLite", c.getMetaData().getDatabaseProductName());
        }
        List<String> names = new ArrayList<>();
        for (var i : new JdbcOdbcDriver().getPropertyInfo("jdbc:quorvane:DSN=x", p)) names.add(i.name);
        // defaultRowFetchSize is read as a row count only, never into the connection string.
        assertEquals(List.of("user", "password", "loginTimeout", "database", "defaultRowFetchSize"), names);
    }

    /** On PostgreSQL the values arrive as written: a password with ; and } logs in, so does a user with blanks. */
    @Test
    void postgresTakesCredentialsLiterally() throws Exception {
        if (!Db.postgres()) return;
        String password = "p;w}x{LoadExt=" + PLANTED + ";}}";
        String spaced = "  sp;ce }";
        try (Connection admin = Db.connect()) {
            Db.quietly(admin, "CREATE ROLE qvt_password_login NOLOGIN");
            Db.quietly(admin, "DROP ROLE \"qvt sec\"", "DROP ROLE \" qvt spacey\"", "DROP ROLE \"bo;b\"");
            Db.exec(admin, "CREATE ROLE \"qvt sec\" LOGIN PASSWORD '" + password + "' IN ROLE qvt_password_login",
                    "CREATE ROLE \" qvt spacey\" LOGIN PASSWORD '" + spaced + "' IN ROLE qvt_password_login",
                    "CREATE ROLE \"bo;b\" LOGIN PASSWORD 'x' IN ROLE qvt_password_login");
        }
        try {
            for (Connector c : List.<Connector>of(() -> DriverManager.getConnection(Db.url(), "qvt sec", password),
                    () -> {
                        JdbcOdbcDataSource ds = new JdbcOdbcDataSource();
                        ds.setUrl(Db.url());
                        ds.setUser("qvt sec");
                        ds.setPassword(password);
                        return ds.getConnection();
                    })) {
                try (Connection conn = c.connect(); Statement st = conn.createStatement();
                     ResultSet rs = st.executeQuery("SELECT current_user")) {
                    assertTrue(rs.next());
                    assertEquals("qvt sec", rs.getString(1));
                }
            }
            try (Connection conn = DriverManager.getConnection(Db.url(), " qvt spacey", spaced);
                 Statement st = conn.createStatement(); ResultSet rs = st.executeQuery("SELECT current_user")) {
                assertTrue(rs.next());
                assertEquals(" qvt spacey", rs.getString(1));
            }
            // A wrong password: a failure that says so and does not show it
            // (psqlODBC reports it as 08001, pgjdbc as 28P01).
            SQLException wrong = assertThrows(SQLException.class,
                    () -> DriverManager.getConnection(Db.url(), "qvt sec", password + "x"));
            assertTrue(wrong.getMessage().contains("password authentication failed"), wrong.toString());
            assertNoSecret(password, wrong, "wrong password");
            // psqlODBC keeps the braces of a user name: refused before the server sees it.
            SQLException bob = assertThrows(SQLException.class, () -> DriverManager.getConnection(Db.url(), "bo;b", "x"));
            assertEquals("28000", bob.getSQLState());
            assertTrue(bob.getMessage().contains("UID"), bob.getMessage());
        } finally {
            try (Connection admin = Db.connect()) {
                Db.quietly(admin, "DROP ROLE \"qvt sec\"", "DROP ROLE \" qvt spacey\"", "DROP ROLE \"bo;b\"");
            }
        }
    }

    @Test
    void noPasswordInMessagesWarningsOrToString() throws Exception {
        String secret = "S3cr3t-" + ProcessHandle.current().pid();
        String url = Db.url() + "PWD=" + secret + ";";
        List<String> seen = new ArrayList<>();
        JdbcOdbcDriver driver = new JdbcOdbcDriver();
        seen.add(driver.toString());
        JdbcOdbcDataSource ds = new JdbcOdbcDataSource();
        ds.setUrl(url);
        ds.setUser(Db.postgres() ? "postgres" : "u");
        ds.setPassword(secret);
        seen.add(ds.toString());
        try (Connection c = ds.getConnection()) {
            seen.add(c.toString());
            seen.add(c.getMetaData().getURL());
            assertTrue(c.getMetaData().getURL().contains("PWD=***"), c.getMetaData().getURL());
            for (SQLWarning w = c.getWarnings(); w != null; w = w.getNextWarning()) seen.add(w.toString());
            SQLException e = assertThrows(SQLException.class, () -> Db.exec(c, "SELECT * FROM no_such_table"));
            seen.add(e.toString());
        }
        // Failures of every kind on the way in.
        for (String bad : new String[] {"jdbc:quorvane:Driver=/nonexistent/libx.so;PWD=" + secret + ";",
                "jdbc:quorvane:DSN=no such dsn;PWD={" + secret + "};",
                "jdbc:quorvane:Driver=" + env("QVT_SQLITE_DRIVER", JdbcOdbcDriver.DEFAULT_SQLITE_DRIVER)
                        + ";Database={a;b};PWD=" + secret}) {
            SQLException e = assertThrows(SQLException.class, () -> DriverManager.getConnection(bad, "u", secret));
            for (SQLException x = e; x != null; x = x.getNextException()) seen.add(x.toString());
        }
        JdbcOdbcDataSource notOurs = new JdbcOdbcDataSource();
        notOurs.setUrl("jdbc:other:PWD=" + secret);
        SQLException e = assertThrows(SQLException.class, notOurs::getConnection);
        seen.add(e.toString());
        seen.add(notOurs.toString());
        if (Db.postgres()) {
            SQLException auth = assertThrows(SQLException.class, () -> DriverManager.getConnection(
                    "jdbc:quorvane:Driver=" + env("QVT_PG_DRIVER", "psqlodbcw.so")
                            + ";Servername=127.0.0.1;Port=1;Database=x;", "postgres", secret));
            seen.add(auth.toString());
        }
        for (String s : seen) assertFalse(s.contains(secret), "shows the password: " + s);
        assertFalse(psqlodbcLogsOfThisProcessHold(secret));
    }

    /** psqlODBC's log files of this process (none are expected), searched for the password. */
    private static boolean psqlodbcLogsOfThisProcessHold(String secret) throws Exception {
        String pid = Long.toString(ProcessHandle.current().pid());
        try (var files = Files.list(Paths.get("/tmp"))) {
            for (Path f : files.toList()) {
                String n = f.getFileName().toString();
                if ((n.startsWith("mylog_") || n.startsWith("psqlodbc_")) && n.endsWith(pid + ".log")
                        && Files.readString(f, StandardCharsets.ISO_8859_1).contains(secret)) {
                    return true;
                }
            }
        }
        return false;
    }

    /** The example program takes the password from the environment and never prints it. */
    @Test
    void theExampleProgramNeverPrintsThePassword() throws Exception {
        String build = System.getenv("QVT_BINARY_DIR");
        if (build == null) return;  // only under CTest
        String secret = "Ex4mple-" + ProcessHandle.current().pid();
        String javaBin = Paths.get(System.getProperty("java.home"), "bin", "java").toString();
        String cp = Paths.get(JdbcOdbcDriver.class.getProtectionDomain().getCodeSource().getLocation().toURI()) + ":"
                + build + "/java/example";
        for (String[] run : new String[][] {{Db.url() + "PWD=" + secret + ";", "SELECT 1"},
                {Db.url(), "SELECT * FROM no_such_table"}}) {
            ProcessBuilder pb = new ProcessBuilder(javaBin, "-cp", cp, "com.quorvane.jdbc.example.Query", run[0], run[1]);
            pb.environment().put("QUORVANE_USER", Db.postgres() ? "postgres" : "u");
            pb.environment().put("QUORVANE_PASSWORD", secret);
            Process p = pb.redirectErrorStream(true).start();
            String out = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
            p.waitFor();
            assertTrue(out.contains("url: "), out);
            assertFalse(out.contains(secret), "the example printed the password:\n" + out);
        }
    }

    @Test
    void redactionHidesEveryPasswordAttribute() {
        assertEquals("jdbc:quorvane:DSN=x;PWD=***;UID=u;Password=***;",
                JdbcOdbcDriver.redacted("jdbc:quorvane:DSN=x;PWD={a;b}}c};UID=u;Password=q;"));
        assertEquals("DSN=x;pwd=***", JdbcOdbcDriver.redacted("DSN=x;pwd=secret"));
        assertEquals("jdbc:other:PWD=***", JdbcOdbcDriver.redacted("jdbc:other:PWD=secret"));
    }
}
