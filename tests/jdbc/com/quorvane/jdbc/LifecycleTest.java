package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.math.BigDecimal;
import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.SQLWarning;
import java.sql.Statement;
import java.sql.Timestamp;
import java.util.ArrayList;
import java.util.Calendar;
import java.util.List;
import java.util.TimeZone;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

/** Warnings, objects nobody closes, one statement shared by threads, conversions. */
class LifecycleTest {
    private static void awaitGc(java.util.function.BooleanSupplier done) throws InterruptedException {
        long end = System.nanoTime() + TimeUnit.SECONDS.toNanos(30);
        while (!done.getAsBoolean() && System.nanoTime() < end) {
            System.gc();
            Thread.sleep(20);
        }
    }

    @Test
    @Timeout(60)
    void forgottenConnectionsAreReleased() throws Exception {
        JdbcOdbcEnvironment env = JdbcOdbcEnvironment.get();
        int before = env.liveConnections.get();
        for (int i = 0; i < 5; i++) {
            Connection c = Db.connect();
            c.createStatement().executeQuery("SELECT 1").next();
        }
        awaitGc(() -> env.liveConnections.get() <= before);
        assertEquals(before, env.liveConnections.get(), "the cleaner closed each forgotten connection");
        // A result set stays reachable through its statement (getResultSet) until the
        // statement moves on; the statement's next execution frees it.
    }

    @Test
    void warningsOfAnExecutionReachTheStatement() throws SQLException {
        try (Connection c = Db.connect(); Statement s = c.createStatement()) {
            if (!Db.postgres()) {
                s.execute("SELECT 1");
                assertNull(s.getWarnings());
                return;
            }
            s.execute("DO $$ BEGIN RAISE WARNING 'careful now'; END $$");
            SQLWarning w = s.getWarnings();
            assertNotNull(w);
            assertTrue(w.getMessage().contains("careful now"), w.getMessage());
            s.execute("SELECT 1");
            assertNull(s.getWarnings(), "cleared by the next execution");
        }
    }

    @Test
    @Timeout(60)
    void oneStatementUsedByTwoThreadsIsSerialised() throws Exception {
        try (Connection c = Db.connect(); PreparedStatement ps = c.prepareStatement("SELECT ? + 1")) {
            var pool = Executors.newFixedThreadPool(2);
            List<Future<Integer>> fs = new ArrayList<>();
            for (int t = 0; t < 2; t++) {
                fs.add(pool.submit(() -> {
                    int ok = 0;
                    for (int i = 0; i < 200; i++) {
                        synchronized (ps) {  // the application keeps its own parameters and result together
                            ps.setInt(1, i);
                            try (ResultSet rs = ps.executeQuery()) {
                                rs.next();
                                if (rs.getInt(1) == i + 1) ok++;
                            }
                        }
                        ps.getWarnings();  // and calls outside its own lock are serialised by the driver
                    }
                    return ok;
                }));
            }
            for (Future<Integer> f : fs) assertEquals(200, f.get(60, TimeUnit.SECONDS));
            pool.shutdown();
        }
    }

    @Test
    void updateCountThenResultSetOfOneExecution() throws SQLException {
        if (!Db.postgres()) return;  // the SQLite driver runs one statement per execution
        try (Connection c = Db.connect(); Statement s = c.createStatement()) {
            Db.quietly(c, "DROP TABLE mr");
            s.execute("CREATE TABLE mr (i integer)");
            assertFalse(s.execute("INSERT INTO mr VALUES (1), (2); SELECT count(*) FROM mr"));
            assertEquals(2, s.getUpdateCount());
            assertTrue(s.getMoreResults());
            try (ResultSet rs = s.getResultSet()) {
                assertTrue(rs.next());
                assertEquals(2, rs.getInt(1));
            }
            assertFalse(s.getMoreResults());
            assertEquals(-1, s.getUpdateCount());
            s.execute("DROP TABLE mr");
        }
    }

    @Test
    void conversionsBetweenTextNumbersAndTimes() throws SQLException {
        try (Connection c = Db.connect(); Statement s = c.createStatement();
                ResultSet rs = s.executeQuery("SELECT '123', '4.75', 'true', '2024-01-02 03:04:05', 17, 2.5")) {
            assertTrue(rs.next());
            assertEquals(123, rs.getInt(1));
            assertEquals(123L, rs.getObject(1, Long.class));
            assertEquals(new BigDecimal("4.75"), rs.getBigDecimal(2));
            assertEquals(4, rs.getInt(2));
            assertTrue(rs.getBoolean(3));
            assertEquals(Timestamp.valueOf("2024-01-02 03:04:05"), rs.getTimestamp(4));
            assertEquals("17", rs.getString(5));
            assertEquals("17", rs.getObject(5, String.class));
            assertTrue(rs.getBoolean(5));
            assertEquals(new BigDecimal("2.5"), rs.getObject(6, BigDecimal.class));
        }
    }

    @Test
    void timestampsWithACalendarUseItsZone() throws SQLException {
        try (Connection c = Db.connect()) {
            Db.quietly(c, "DROP TABLE cal");
            Db.exec(c, "CREATE TABLE cal (ts timestamp)");
            Calendar tokyo = Calendar.getInstance(TimeZone.getTimeZone("Asia/Tokyo"));
            Timestamp instant = Timestamp.from(java.time.Instant.parse("2024-05-06T07:08:09Z"));
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO cal VALUES (?)")) {
                ps.setTimestamp(1, instant, tokyo);
                ps.executeUpdate();
            }
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT ts FROM cal")) {
                assertTrue(rs.next());
                assertEquals("2024-05-06 16:08:09", rs.getString(1), "the wall time in Tokyo");
                assertEquals(instant, rs.getTimestamp(1, tokyo), "the same instant back");
            }
            Db.exec(c, "DROP TABLE cal");
        }
    }
}
