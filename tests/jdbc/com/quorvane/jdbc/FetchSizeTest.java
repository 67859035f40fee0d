package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import org.junit.jupiter.api.Test;

/**
 * A fetch size on a forward-only query: every row in order whatever the
 * chunks, other statements of the connection in between, and on PostgreSQL
 * the cursor it reads through closed with the result, the statement or the
 * transaction.
 */
class FetchSizeTest {
    private static final int ROWS = 1000;

    private static Connection open() throws SQLException {
        return open(Db.props());
    }

    /** A connection with the tables, in manual-commit mode. */
    private static Connection open(java.util.Properties props) throws SQLException {
        Connection c = java.sql.DriverManager.getConnection(Db.url(), props);
        Db.quietly(c, "DROP TABLE fs_rows", "DROP TABLE fs_log");
        Db.exec(c, "CREATE TABLE fs_rows (i integer, s varchar(20))", "CREATE TABLE fs_log (i integer)");
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO fs_rows VALUES (?, ?)")) {
            for (int i = 1; i <= ROWS; i++) {
                ps.setInt(1, i);
                ps.setString(2, "v" + i);
                ps.addBatch();
            }
            ps.executeBatch();
        }
        c.setAutoCommit(false);
        return c;
    }

    /** The session's open cursors (PostgreSQL), asked on a statement of its own. */
    private static int cursors(Connection c) throws SQLException {
        try (Statement s = c.createStatement()) {
            s.setFetchSize(0); // read whole, whatever the connection's default
            try (ResultSet rs = s.executeQuery("SELECT count(*) FROM pg_cursors")) {
                assertTrue(rs.next());
                return rs.getInt(1);
            }
        }
    }

    @Test
    void everyRowArrivesInOrderWhateverTheChunks() throws Exception {
        try (Connection c = open();
                PreparedStatement ps = c.prepareStatement("SELECT i, s FROM fs_rows WHERE i <= ? ORDER BY i")) {
            // Empty, exactly one and several chunks, a rest, a chunk larger than the result.
            int[][] cases = {{0, 100}, {100, 100}, {1000, 100}, {250, 100}, {999, 7}, {30, 1000}, {1000, 1}};
            for (int[] k : cases) {
                int limit = k[0];
                ps.setFetchSize(k[1]);
                ps.setInt(1, limit);
                try (ResultSet rs = ps.executeQuery()) {
                    assertEquals(k[1], rs.getFetchSize());
                    if (Db.postgres()) assertEquals(1, cursors(c), "read through a cursor");
                    int n = 0;
                    while (rs.next()) {
                        n++;
                        assertEquals(n, rs.getInt(1));
                        assertEquals("v" + n, rs.getString(2));
                    }
                    assertEquals(limit, n, limit + " rows in chunks of " + k[1]);
                    assertFalse(rs.next());
                }
                if (Db.postgres()) assertEquals(0, cursors(c), "closing the result set closes its cursor");
            }
            // The same statement without a fetch size reads whole.
            ps.setFetchSize(0);
            ps.setInt(1, ROWS);
            try (ResultSet rs = ps.executeQuery()) {
                if (Db.postgres()) assertEquals(0, cursors(c));
                int n = 0;
                while (rs.next()) assertEquals(++n, rs.getInt(1));
                assertEquals(ROWS, n);
            }
            c.rollback();
        }
    }

    @Test
    void otherStatementsRunWhileTheRowsAreRead() throws Exception {
        try (Connection c = open();
                Statement reader = c.createStatement();
                PreparedStatement log = c.prepareStatement("INSERT INTO fs_log VALUES (?)");
                PreparedStatement count = c.prepareStatement("SELECT count(*) FROM fs_log")) {
            reader.setFetchSize(64);
            int n = 0;
            try (ResultSet rs = reader.executeQuery("SELECT i FROM fs_rows ORDER BY i")) {
                while (rs.next()) {
                    assertEquals(++n, rs.getInt(1));
                    log.setInt(1, n);
                    assertEquals(1, log.executeUpdate());
                    if (n % 100 == 0) {
                        try (ResultSet k = count.executeQuery()) {
                            assertTrue(k.next());
                            assertEquals(n, k.getInt(1));
                        }
                    }
                }
            }
            assertEquals(ROWS, n);
            // A second read on the same statement while it is open, executed again.
            ResultSet first = reader.executeQuery("SELECT i FROM fs_rows ORDER BY i");
            assertTrue(first.next());
            try (ResultSet again = reader.executeQuery("SELECT i FROM fs_rows WHERE i > 990 ORDER BY i")) {
                if (Db.postgres()) assertEquals(1, cursors(c), "the earlier cursor closed");
                int m = 990;
                while (again.next()) assertEquals(++m, again.getInt(1));
                assertEquals(ROWS, m);
            }
            c.commit();
            try (ResultSet k = count.executeQuery()) {
                assertTrue(k.next());
                assertEquals(ROWS, k.getInt(1));
            }
            // A statement closed in the middle of its rows leaves no cursor.
            Statement dropped = c.createStatement();
            dropped.setFetchSize(10);
            ResultSet rs = dropped.executeQuery("SELECT i FROM fs_rows");
            assertTrue(rs.next());
            dropped.close();
            if (Db.postgres()) assertEquals(0, cursors(c));
            c.rollback();
        }
    }

    @Test
    void theConnectionPropertyGivesStatementsTheirFetchSize() throws Exception {
        java.util.Properties p = Db.props();
        p.setProperty(JdbcOdbcDriver.FETCH_SIZE_PROPERTY, "50");
        try (Connection c = open(p)) {
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT i FROM fs_rows ORDER BY i")) {
                assertEquals(50, s.getFetchSize());
                if (Db.postgres()) assertEquals(1, cursors(c), "read through a cursor");
                int n = 0;
                while (rs.next()) assertEquals(++n, rs.getInt(1));
                assertEquals(ROWS, n);
            }
            c.rollback();
        }
        p.setProperty(JdbcOdbcDriver.FETCH_SIZE_PROPERTY, "-1");
        SQLException e = assertThrows(SQLException.class, () -> java.sql.DriverManager.getConnection(Db.url(), p));
        assertEquals("HY024", e.getSQLState());
    }

    @Test
    void theEndOfTheTransactionEndsTheReadWithAnError() throws Exception {
        assumeTrue(Db.postgres(), "a cursor of the transaction");
        try (Connection c = open(); Statement s = c.createStatement()) {
            s.setFetchSize(10);
            for (boolean commit : new boolean[] {true, false}) {
                ResultSet rs = s.executeQuery("SELECT i FROM fs_rows ORDER BY i");
                assertTrue(rs.next());
                if (commit) c.commit();
                else c.rollback();
                SQLException e = assertThrows(SQLException.class, () -> {
                    while (rs.next()) {
                        // the rows of the chunk at hand
                    }
                });
                assertEquals("24000", e.getSQLState());
                rs.close();
                assertEquals(0, cursors(c));
            }
            // In auto-commit mode the rows are read whole.
            c.setAutoCommit(true);
            try (ResultSet rs = s.executeQuery("SELECT i FROM fs_rows ORDER BY i")) {
                assertEquals(0, cursors(c));
                int n = 0;
                while (rs.next()) assertEquals(++n, rs.getInt(1));
                assertEquals(ROWS, n);
            }
        }
    }

    @Test
    void anErrorOfALaterChunkFailsThatRead() throws Exception {
        assumeTrue(Db.postgres(), "chunks read at the data source");
        try (Connection c = open(); Statement s = c.createStatement()) {
            s.setFetchSize(100);
            int n = 0;
            try (ResultSet rs = s.executeQuery("SELECT 1000 / (150 - i) FROM generate_series(1, 1000) i")) {
                SQLException e = assertThrows(SQLException.class, () -> {
                    while (rs.next()) {
                        // rows of the first chunk
                    }
                });
                assertEquals("22012", e.getSQLState());
            }
            assertEquals(0, cursors(c));
            // The connection goes on.
            try (ResultSet rs = s.executeQuery("SELECT i FROM fs_rows ORDER BY i")) {
                while (rs.next()) assertEquals(++n, rs.getInt(1));
            }
            assertEquals(ROWS, n);
            c.rollback();
        }
    }
}
