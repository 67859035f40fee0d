package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.sql.Connection;
import java.sql.Driver;
import java.sql.DriverManager;
import java.sql.DriverPropertyInfo;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.util.Properties;
import org.junit.jupiter.api.Test;

/** The driver, its URL and connection string, the data source bean and the library's loading. */
class DriverTest {
    @Test
    void driverIsFoundByTheServiceRegistrationAndAcceptsOnlyItsUrls() throws SQLException {
        Driver d = DriverManager.getDriver("jdbc:quorvane:DSN=x");
        assertInstanceOf(JdbcOdbcDriver.class, d);
        assertTrue(d.acceptsURL("jdbc:quorvane:"));
        assertTrue(d.acceptsURL("JDBC:QUORVANE:DSN=x"));
        assertFalse(d.acceptsURL("jdbc:postgresql://localhost/x"));
        assertFalse(d.acceptsURL(null));
        assertNull(d.connect("jdbc:other:x", new Properties()), "a foreign URL is not ours to refuse");
    }

    @Test
    void theDriverAndTheDataSourceNameTheirPackagesLogger() throws SQLException {
        Driver d = DriverManager.getDriver("jdbc:quorvane:");
        assertEquals("com.quorvane.jdbc", d.getParentLogger().getName());
        assertEquals("com.quorvane.jdbc", new JdbcOdbcDataSource().getParentLogger().getName());
    }

    @Test
    void nativeLibraryComesFromTheJarNotFromJavaLibraryPath() throws SQLException {
        try (Connection c = DriverManager.getConnection("jdbc:quorvane:")) {
            assertTrue(c.isValid(2));
        }
        String from = NativeLoader.loadedFrom();
        assertNotEquals("java.library.path", from);
        assertFalse(Files.exists(Path.of(from).resolve("nothing")));
        assertTrue(Files.exists(Path.of(from).resolve("libruva70.so")));
    }

    @Test
    void extractedFolderIsPrivate() throws Exception {
        DriverManager.getConnection("jdbc:quorvane:").close();
        Path from = Path.of(NativeLoader.loadedFrom());
        assertEquals("rwx------", java.nio.file.attribute.PosixFilePermissions.toString(
                Files.getPosixFilePermissions(from)));
    }

    @Test
    void aSystemPropertyNamesTheFolderToLoadFrom() throws Exception {
        String build = System.getenv("QVT_BINARY_DIR");
        if (build == null) return;  // only under CTest, which names the build tree
        String javaBin = Path.of(System.getProperty("java.home"), "bin", "java").toString();
        String cp = Path.of(JdbcOdbcDriver.class.getProtectionDomain().getCodeSource().getLocation().toURI()) + ":"
                + Path.of(LoaderProbe.class.getProtectionDomain().getCodeSource().getLocation().toURI());
        Process p = new ProcessBuilder(javaBin, "-Dquorvane.jdbc.library.path=" + build, "-cp", cp,
                LoaderProbe.class.getName()).redirectErrorStream(true).start();
        String out = new String(p.getInputStream().readAllBytes(), java.nio.charset.StandardCharsets.UTF_8);
        assertEquals(0, p.waitFor(), out);
        assertTrue(out.contains("valid=true"), out);
        assertTrue(out.contains("from=" + Path.of(build).toAbsolutePath()), out);
    }

    @Test
    void userAndPasswordBecomeUidAndPwdInBracesWhenNeeded() {
        Properties p = new Properties();
        p.setProperty("user", "ann");
        p.setProperty("password", "a;b}c");
        assertEquals("DSN=x;UID=ann;PWD={a;b}}c};", JdbcOdbcDriver.connectionString("jdbc:quorvane:DSN=x", p));
        // The string's own attributes win, whatever their case.
        assertEquals("DSN=x;uid=bob;", JdbcOdbcDriver.connectionString("jdbc:quorvane:DSN=x;uid=bob;",
                props("user", "ann")));
        // A semicolon inside braces does not end the attribute.
        assertEquals("DSN=x;Opt={UID=1;y};UID=ann;",
                JdbcOdbcDriver.connectionString("jdbc:quorvane:DSN=x;Opt={UID=1;y}", props("user", "ann")));
        assertEquals("{ lead}", JdbcOdbcDriver.braced(" lead"));
        assertEquals("plain", JdbcOdbcDriver.braced("plain"));
    }

    private static Properties props(String k, String v) {
        Properties p = new Properties();
        p.setProperty(k, v);
        return p;
    }

    @Test
    void embeddedDefaultIsInMemoryOrTheNamedFile() throws Exception {
        try (Connection c = DriverManager.getConnection("jdbc:quorvane:")) {
            Db.exec(c, "CREATE TABLE t (x integer)", "INSERT INTO t VALUES (1)");
            assertEquals("SQLite", c.getMetaData().getDatabaseProductName());
        }
        try (Connection c = DriverManager.getConnection("jdbc:quorvane:")) {
            // A new in-memory database: the table is gone.
            assertThrows(SQLException.class, () -> Db.exec(c, "SELECT * FROM t"));
        }
        Path dir = Files.createTempDirectory("qvjdbc-default");
        Path file = dir.resolve("my db.sqlite");
        try (Connection c = DriverManager.getConnection("jdbc:quorvane:", props("database", file.toString()))) {
            Db.exec(c, "CREATE TABLE t (x integer)");
        }
        assertTrue(Files.exists(file), "the file named by the property");
        Files.delete(file);
        Files.delete(dir);
    }

    @Test
    void propertyInfoNamesTheDriversProperties() {
        DriverPropertyInfo[] info = new JdbcOdbcDriver().getPropertyInfo("jdbc:quorvane:", new Properties());
        assertEquals("user", info[0].name);
        assertTrue(java.util.Arrays.stream(info).anyMatch(i -> i.name.equals("database")));
        // Every property the driver reads, whatever the URL; never the password's value.
        assertEquals(5, new JdbcOdbcDriver().getPropertyInfo("jdbc:quorvane:DSN=x", null).length);
        Properties p = props("password", "secret");
        for (DriverPropertyInfo i : new JdbcOdbcDriver().getPropertyInfo("jdbc:quorvane:", p)) {
            assertNotEquals("secret", i.value, i.name);
            assertNotEquals(null, i.description, i.name);
        }
    }

    @Test
    void aConnectionThatCannotBeMadeIsAConnectionError() {
        SQLException e = assertThrows(SQLException.class, () -> DriverManager.getConnection(
                "jdbc:quorvane:Driver=/nonexistent/libnothing.so;Database=x"));
        assertNotEquals(null, e.getSQLState());
        if (Db.postgres()) {
            SQLException pg = assertThrows(SQLException.class, () -> DriverManager.getConnection(
                    "jdbc:quorvane:Driver=" + System.getenv("QVT_PG_DRIVER") + ";Servername=127.0.0.1;Port=1;"
                            + "Database=x;", Db.props()));
            assertEquals("08", pg.getSQLState().substring(0, 2), pg.toString());
        }
    }

    @Test
    void dataSourceConnectsWithItsBeanProperties() throws SQLException {
        JdbcOdbcDataSource ds = new JdbcOdbcDataSource();
        ds.setUrl(Db.url());
        if (Db.postgres()) ds.setUser("postgres");
        ds.setLoginTimeout(5);
        try (Connection c = ds.getConnection(); Statement s = c.createStatement();
                ResultSet rs = s.executeQuery("SELECT 42")) {
            assertTrue(rs.next());
            assertEquals(42, rs.getInt(1));
        }
        JdbcOdbcDataSource embedded = new JdbcOdbcDataSource();
        embedded.setConnectionString("");
        try (Connection c = embedded.getConnection()) {
            assertEquals("SQLite", c.getMetaData().getDatabaseProductName());
        }
    }
}
