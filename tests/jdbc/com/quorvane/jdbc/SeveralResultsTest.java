package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.Connection;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/** The results after a result set the application closed itself. */
class SeveralResultsTest {
    private String url;
    private Connection c;

    @BeforeEach
    void open() throws SQLException {
        url = Db.url();
        c = Db.connect(url);
        Db.quietly(c, "DROP TABLE sr");
        Db.exec(c, "CREATE TABLE sr (i integer)", "INSERT INTO sr VALUES (1)", "INSERT INTO sr VALUES (2)",
                "INSERT INTO sr VALUES (3)");
    }

    @AfterEach
    void close() throws SQLException {
        Db.quietly(c, "DROP TABLE sr");
        c.close();
    }

    private static int sum(Statement s) throws SQLException {
        try (ResultSet rs = s.executeQuery("SELECT sum(i) FROM sr")) {
            assertTrue(rs.next());
            return rs.getInt(1);
        }
    }

    @Test
    void theCountAfterAClosedResultSetIsReported() throws SQLException {
        if (!Db.postgres()) return; // the SQLite driver runs one statement per execution
        try (Statement s = c.createStatement()) {
            assertTrue(s.execute("SELECT i FROM sr ORDER BY i; UPDATE sr SET i = i + 10; DELETE FROM sr WHERE i = 11"));
            try (ResultSet rs = s.getResultSet()) {
                assertTrue(rs.next());
                assertEquals(1, rs.getInt(1));
            }
            assertFalse(s.getMoreResults());
            assertEquals(3, s.getUpdateCount());
            assertFalse(s.getMoreResults());
            assertEquals(1, s.getUpdateCount());
            assertFalse(s.getMoreResults());
            assertEquals(-1, s.getUpdateCount());
            assertEquals(12 + 13, sum(s));

            // A result set after the closed one, then a count.
            assertTrue(s.execute("SELECT 1; SELECT 2; UPDATE sr SET i = 0"));
            s.getResultSet().close();
            assertTrue(s.getMoreResults());
            try (ResultSet rs = s.getResultSet()) {
                assertTrue(rs.next());
                assertEquals(2, rs.getInt(1));
            }
            assertFalse(s.getMoreResults());
            assertEquals(2, s.getUpdateCount());
        }
    }

    @Test
    void aClosedResultSetReleasesItsCursorWhenNothingFollows() throws SQLException {
        try (Statement s = c.createStatement(); Connection other = Db.connect(url);
             Statement w = other.createStatement()) {
            // A ';' inside a literal: the driver finds no further result and the cursor is closed.
            ResultSet rs = s.executeQuery("SELECT 'a;b', i FROM sr");
            assertTrue(rs.next());
            rs.close();
            assertEquals(-1, s.getUpdateCount());
            assertEquals(1, w.executeUpdate("INSERT INTO sr VALUES (4)"), "no cursor holds the table");
            assertFalse(s.getMoreResults());
            assertEquals(10, sum(s));
        }
    }

    /**
     * A result set kept by getMoreResults(KEEP_CURRENT_RESULT) stays readable
     * from its current row on while the next result is read, and is closed by
     * CLOSE_ALL_RESULTS or the next execution.
     */
    @Test
    void keptResultSetStaysReadableWhileTheNextResultIsRead() throws SQLException {
        assertTrue(c.getMetaData().supportsMultipleOpenResults());
        boolean several = Db.postgres();  // the SQLite driver runs one statement per execution
        String query = "SELECT i, " + Db.concat("'n'", "i") + " AS label FROM sr ORDER BY i";
        try (Statement s = c.createStatement()) {
            assertTrue(s.execute(several ? query + "; SELECT count(*) FROM sr; UPDATE sr SET i = i" : query));
            ResultSet a = s.getResultSet();
            assertTrue(a.next());
            assertEquals(several, s.getMoreResults(Statement.KEEP_CURRENT_RESULT));
            assertFalse(a.isClosed());
            assertEquals(1, a.getInt("i"));
            assertEquals("n1", a.getString(2));
            ResultSet b = several ? s.getResultSet() : null;
            if (several) {
                assertTrue(b.next());
                assertEquals(3, b.getLong(1));
            }
            assertTrue(a.next());
            assertEquals(2, a.getObject(1, Integer.class));
            assertTrue(a.next());
            assertEquals("n3", a.getString("label"));
            assertFalse(a.next());
            assertEquals("label", a.getMetaData().getColumnLabel(2));
            if (several) {
                assertFalse(s.getMoreResults(Statement.KEEP_CURRENT_RESULT));
                assertEquals(3, s.getUpdateCount());
                assertFalse(b.isClosed());
                assertEquals(3, b.getLong(1));
            }
            s.getMoreResults(Statement.CLOSE_ALL_RESULTS);
            assertTrue(a.isClosed());
            assertTrue(s.execute(query));
            ResultSet d = s.getResultSet();
            s.getMoreResults(Statement.KEEP_CURRENT_RESULT);
            assertTrue(s.execute(query));
            assertTrue(d.isClosed(), "the next execution closes a kept result set");
        }
        assertEquals(0, ((JdbcOdbcConnection) c).liveNativeObjects());
    }
}
