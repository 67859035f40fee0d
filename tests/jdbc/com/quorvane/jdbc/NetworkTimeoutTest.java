package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.Connection;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;
import org.junit.jupiter.api.Test;

/**
 * Connection.setNetworkTimeout: a call that waits longer on the data source
 * fails with 08S01, the connection is given up (closed on the executor), and
 * what the call was doing is not done.
 */
class NetworkTimeoutTest {
    private static long count(Connection c, String table) throws SQLException {
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT count(*) FROM " + table)) {
            assertTrue(rs.next());
            return rs.getLong(1);
        }
    }

    /** An INSERT that takes many seconds on the data source before it adds its one row. */
    private static String slowInsert(String table) {
        if (Db.postgres()) return "INSERT INTO " + table + " SELECT 1 FROM pg_sleep(30)";
        return "INSERT INTO " + table + " SELECT count(*) FROM (WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL"
                + " SELECT i + 1 FROM r WHERE i < 2000000000) SELECT i FROM r)";
    }

    @Test
    void theTimeoutIsKeptAndBadArgumentsAreRefused() throws SQLException {
        ExecutorService ex = Executors.newSingleThreadExecutor();
        try (Connection c = Db.connect()) {
            assertEquals(0, c.getNetworkTimeout());
            assertThrows(SQLException.class, () -> c.setNetworkTimeout(null, 1000));
            assertThrows(SQLException.class, () -> c.setNetworkTimeout(ex, -1));
            assertEquals(0, c.getNetworkTimeout());
            c.setNetworkTimeout(ex, 1234);
            assertEquals(1234, c.getNetworkTimeout());
            // Calls well within the timeout, many of them, leave the connection as it was.
            for (int i = 0; i < 200; i++) {
                try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT 1")) {
                    assertTrue(rs.next());
                }
            }
            assertTrue(c.isValid(2));
            // Back to 0: a call longer than the old timeout runs to its end.
            c.setNetworkTimeout(ex, 200);
            assertTrue(c.isValid(2));
            c.setNetworkTimeout(ex, 0);
            assertEquals(0, c.getNetworkTimeout());
            String slow = Db.postgres() ? "SELECT 1 FROM pg_sleep(0.6)"
                    : "SELECT count(*) FROM (WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r"
                            + " WHERE i < 3000000) SELECT i FROM r)";
            long start = System.nanoTime();
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery(slow)) {
                assertTrue(rs.next());
            }
            assertTrue(System.nanoTime() - start > 200_000_000L, "the slow query took longer than the old timeout");
            assertTrue(c.isValid(2));
            c.close();
            assertThrows(SQLException.class, c::getNetworkTimeout);
            assertThrows(SQLException.class, () -> c.setNetworkTimeout(ex, 10));
        } finally {
            ex.shutdownNow();
        }
    }

    @Test
    void aCallThatOutlivesTheTimeoutFailsAndTheConnectionIsGivenUp() throws Exception {
        String url = Db.url();
        AtomicInteger given = new AtomicInteger();
        ExecutorService pool = Executors.newSingleThreadExecutor();
        try (Connection other = Db.connect(url)) {
            Db.quietly(other, "DROP TABLE nt_rows");
            Db.exec(other, "CREATE TABLE nt_rows (i integer)");
            Connection c = Db.connect(url);
            c.setNetworkTimeout(r -> {
                given.incrementAndGet();
                pool.execute(r);
            }, 700);
            Db.exec(c, "INSERT INTO nt_rows SELECT 2 WHERE 1 = 0");
            long start = System.nanoTime();
            SQLException e;
            try (Statement s = c.createStatement()) {
                e = assertThrows(SQLException.class, () -> s.executeUpdate(slowInsert("nt_rows")));
            }
            long ms = (System.nanoTime() - start) / 1_000_000;
            assertEquals("08S01", e.getSQLState(), e.getMessage());
            assertTrue(ms >= 650 && ms < 15_000, "failed after " + ms + " ms");
            // Marked broken at once, for the application and for a pool's check.
            assertTrue(c.isClosed());
            assertFalse(c.isValid(1));
            assertThrows(SQLException.class, c::createStatement);
            // The watchdog hands the close to the executor after its cancel, which can release this thread first.
            for (int i = 0; i < 200 && given.get() == 0; i++) Thread.sleep(50);
            pool.shutdown();
            assertTrue(pool.awaitTermination(30, TimeUnit.SECONDS));
            assertEquals(1, given.get());
            c.close();
            // The statement was stopped on the data source: its row never arrives.
            if (Db.postgres()) {
                for (int i = 0; i < 100 && busy(other); i++) Thread.sleep(100);
                assertFalse(busy(other), "the server still runs the statement");
            }
            assertEquals(0, count(other, "nt_rows"));
            Thread.sleep(Db.postgres() ? 500 : 0);
            assertEquals(0, count(other, "nt_rows"));
        } finally {
            pool.shutdownNow();
        }
    }

    private static boolean busy(Connection c) throws SQLException {
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery(
                "SELECT count(*) FROM pg_stat_activity WHERE query LIKE 'INSERT INTO nt_rows SELECT 1 FROM pg_sleep%'"
                        + " AND pid <> pg_backend_pid()")) {
            assertTrue(rs.next());
            return rs.getLong(1) > 0;
        }
    }

    @Test
    void aTransactionCutByTheTimeoutIsNotCommitted() throws Exception {
        String url = Db.url();
        ExecutorService pool = Executors.newSingleThreadExecutor();
        try (Connection other = Db.connect(url)) {
            Db.quietly(other, "DROP TABLE nt_tx");
            Db.exec(other, "CREATE TABLE nt_tx (i integer)");
            Connection c = Db.connect(url);
            c.setAutoCommit(false);
            c.setNetworkTimeout(pool, 700);
            Db.exec(c, "INSERT INTO nt_tx VALUES (1)");
            try (Statement s = c.createStatement()) {
                SQLException e = assertThrows(SQLException.class, () -> s.executeUpdate(slowInsert("nt_tx")));
                assertEquals("08S01", e.getSQLState());
            }
            assertThrows(SQLException.class, c::commit);
            pool.shutdown();
            assertTrue(pool.awaitTermination(30, TimeUnit.SECONDS));
            c.close();
            assertEquals(0, count(other, "nt_tx"));
        } finally {
            pool.shutdownNow();
        }
    }
}
