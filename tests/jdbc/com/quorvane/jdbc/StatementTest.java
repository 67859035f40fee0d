package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.BatchUpdateException;
import java.sql.Connection;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.SQLTimeoutException;
import java.sql.Statement;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

/** Plain statements: results and counts, batches, timeouts, cancel, limits. */
class StatementTest {
    private Connection c;

    @BeforeEach
    void open() throws SQLException {
        c = Db.connect();
        Db.quietly(c, "DROP TABLE st");
        Db.exec(c, "CREATE TABLE st (id integer PRIMARY KEY, name varchar(20))");
    }

    @AfterEach
    void close() throws SQLException {
        Db.quietly(c, "DROP TABLE st");
        c.close();
    }

    @Test
    void executeGivesAResultSetOrAnUpdateCount() throws SQLException {
        try (Statement s = c.createStatement()) {
            assertFalse(s.execute("INSERT INTO st VALUES (1, 'a')"));
            assertEquals(1, s.getUpdateCount());
            assertNull(s.getResultSet());
            assertEquals(2, s.executeUpdate("INSERT INTO st SELECT id + 1, name FROM st UNION ALL SELECT 10, 'x'"));
            assertEquals(3, s.executeLargeUpdate("UPDATE st SET name = 'b'"));
            assertEquals(0, s.executeUpdate("DELETE FROM st WHERE id = 99"), "no row touched");
            assertTrue(s.execute("SELECT count(*) FROM st"));
            assertEquals(-1, s.getUpdateCount());
            ResultSet rs = s.getResultSet();
            assertTrue(rs.next());
            assertEquals(3, rs.getInt(1));
            assertFalse(s.getMoreResults());
            assertTrue(rs.isClosed(), "getMoreResults closes the current result set");
            assertEquals(-1, s.getUpdateCount());
            assertThrows(SQLException.class, () -> s.executeQuery("DELETE FROM st"), "no result set");
            assertThrows(SQLException.class, () -> s.executeUpdate("SELECT 1"), "a result set");
            assertEquals(s, s.executeQuery("SELECT 1").getStatement());
        }
    }

    @Test
    void severalResultsOfOneExecution() throws SQLException {
        try (Statement s = c.createStatement()) {
            if (!Db.runsSeveralStatements()) {
                // The data source reads the text as one statement: a syntax error, nothing run.
                SQLException e = assertThrows(SQLException.class, () -> s.execute("SELECT 1; SELECT 2"));
                assertEquals(Db.syntaxErrorState(), e.getSQLState());
                return;
            }
            assertTrue(s.execute("SELECT 1; SELECT 2"));
            ResultSet first = s.getResultSet();
            assertTrue(first.next());
            assertEquals(1, first.getInt(1));
            assertTrue(s.getMoreResults());
            assertTrue(first.isClosed());
            ResultSet second = s.getResultSet();
            assertTrue(second.next());
            assertEquals(2, second.getInt(1));
            assertFalse(s.getMoreResults());
            assertEquals(-1, s.getUpdateCount());
        }
    }

    @Test
    void batchRunsEveryCommandAndReportsItsCounts() throws SQLException {
        try (Statement s = c.createStatement()) {
            s.addBatch("INSERT INTO st VALUES (1, 'a')");
            s.addBatch("INSERT INTO st VALUES (2, 'b')");
            s.addBatch("UPDATE st SET name = 'c'");
            s.addBatch("DELETE FROM st WHERE id = 99");
            assertArrayEquals(new int[] {1, 1, 2, 0}, s.executeBatch());
            assertArrayEquals(new int[0], s.executeBatch(), "the batch was cleared");
        }
    }

    @Test
    void batchWithAFailingCommandStopsThereWithItsCounts() throws SQLException {
        try (Statement s = c.createStatement()) {
            s.addBatch("INSERT INTO st VALUES (1, 'a')");
            s.addBatch("INSERT INTO st VALUES (2, 'b')");
            s.addBatch("INSERT INTO st VALUES (1, 'duplicate')");
            s.addBatch("INSERT INTO st VALUES (4, 'never')");
            BatchUpdateException e = assertThrows(BatchUpdateException.class, s::executeBatch);
            assertArrayEquals(new int[] {1, 1}, e.getUpdateCounts(), "the commands before the failing one");
            assertNotNull(e.getSQLState());
            assertNotNull(e.getNextException(), "the failure's diagnostics");
            if (Db.postgres()) assertEquals("23505", e.getSQLState());
            try (ResultSet rs = s.executeQuery("SELECT count(*) FROM st")) {
                rs.next();
                assertEquals(2, rs.getInt(1), "commands before the failure ran, the one after did not");
            }
            s.addBatch("SELECT 1");
            BatchUpdateException q = assertThrows(BatchUpdateException.class, s::executeBatch);
            assertArrayEquals(new int[0], q.getUpdateCounts(), "a query in a batch");
        }
    }

    @Test
    @Timeout(60)
    void queryTimeoutEndsALongStatementWithATimeoutException() throws SQLException {
        try (Statement s = c.createStatement()) {
            s.setQueryTimeout(1);
            long t0 = System.nanoTime();
            SQLException e = assertThrows(SQLException.class, () -> s.executeQuery(Db.slowQuery()));
            long ms = TimeUnit.NANOSECONDS.toMillis(System.nanoTime() - t0);
            assertInstanceOf(SQLTimeoutException.class, e, e.toString());
            assertTrue(ms >= 900 && ms < 15000, "ended after " + ms + " ms");
            // The statement runs again, and a late timer never cancels the next execution.
            s.setQueryTimeout(2);
            for (int i = 0; i < 3; i++) {
                try (ResultSet rs = s.executeQuery("SELECT 7")) {
                    assertTrue(rs.next());
                    assertEquals(7, rs.getInt(1));
                }
            }
        }
    }

    @Test
    @Timeout(60)
    void cancelFromAnotherThreadEndsTheStatementAndLeavesItUsable() throws Exception {
        Statement s = c.createStatement();
        var pool = Executors.newSingleThreadExecutor();
        Future<ResultSet> f = pool.submit(() -> s.executeQuery(Db.slowQuery()));
        Thread.sleep(700);
        long t0 = System.nanoTime();
        s.cancel();
        java.util.concurrent.ExecutionException e = assertThrows(java.util.concurrent.ExecutionException.class,
                () -> f.get(30, TimeUnit.SECONDS));
        assertInstanceOf(SQLException.class, e.getCause());
        assertFalse(e.getCause() instanceof SQLTimeoutException, "a cancel is no timeout");
        assertTrue(System.nanoTime() - t0 < TimeUnit.SECONDS.toNanos(15));
        try (ResultSet rs = s.executeQuery("SELECT 3")) {
            assertTrue(rs.next());
            assertEquals(3, rs.getInt(1));
        }
        s.close();
        pool.shutdown();
    }

    @Test
    void cancelWithNothingRunningLeavesTheOpenResultSet() throws SQLException {
        try (Statement s = c.createStatement()) {
            s.executeUpdate("INSERT INTO st VALUES (1, 'a')");
            s.executeUpdate("INSERT INTO st VALUES (2, 'b')");
            try (ResultSet rs = s.executeQuery("SELECT id FROM st ORDER BY id")) {
                assertTrue(rs.next());
                s.cancel();
                assertTrue(rs.next(), "the cursor is still open");
                assertEquals(2, rs.getInt(1));
            }
        }
    }

    @Test
    void maxRowsLimitsTheResult() throws SQLException {
        try (Statement s = c.createStatement()) {
            for (int i = 1; i <= 10; i++) s.addBatch("INSERT INTO st VALUES (" + i + ", 'n')");
            s.executeBatch();
            s.setMaxRows(3);
            int n = 0;
            try (ResultSet rs = s.executeQuery("SELECT id FROM st ORDER BY id")) {
                while (rs.next()) n++;
            }
            assertEquals(3, n);
            assertEquals(3, s.getMaxRows());
        }
    }

    @Test
    void closedStatementRefusesWorkAndCloseOnCompletionCloses() throws SQLException {
        Statement s = c.createStatement();
        s.closeOnCompletion();
        ResultSet rs = s.executeQuery("SELECT 1");
        rs.close();
        assertTrue(s.isClosed());
        assertThrows(SQLException.class, () -> s.execute("SELECT 1"));
        Statement t = c.createStatement();
        t.close();
        t.close();
        SQLException e = assertThrows(SQLException.class, () -> t.executeQuery("SELECT 1"));
        assertEquals("HY010", e.getSQLState());
    }

    @Test
    void cursorNameAndSettings() throws SQLException {
        try (Statement s = c.createStatement()) {
            s.setCursorName("my_cursor");
            s.setFetchSize(100);
            assertEquals(100, s.getFetchSize());
            assertThrows(SQLException.class, () -> s.setFetchSize(-1));
            s.setEscapeProcessing(true);
            try (ResultSet rs = s.executeQuery("SELECT {fn ABS(-3)}")) {
                assertTrue(rs.next());
                assertEquals(3, rs.getInt(1));
            }
        }
    }
}
