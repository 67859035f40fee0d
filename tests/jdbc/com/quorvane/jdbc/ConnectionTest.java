package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.SQLFeatureNotSupportedException;
import java.sql.SQLNonTransientConnectionException;
import java.sql.Statement;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.Executors;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

/** Transactions, options, validity, closing and what a connection owns natively. */
class ConnectionTest {
    /** The native handles and arrays a connection owns, seen through its package-private count. */
    private static int live(Connection c) {
        return ((JdbcOdbcConnection) c).liveNativeObjects();
    }

    @Test
    void closeFreesEveryStatementResultSetArrayAndHandle() throws Exception {
        Connection c = Db.connect();
        JdbcOdbcEnvironment env = JdbcOdbcEnvironment.get();
        int connections = env.liveConnections.get();
        Db.quietly(c, "DROP TABLE owned");
        Db.exec(c, "CREATE TABLE owned (i integer, s varchar(20), b " + Db.bytesType() + ")");
        List<Integer> handles = new ArrayList<>();
        Statement s = c.createStatement();
        ResultSet rs = s.executeQuery("SELECT 1, 'a'");
        assertTrue(rs.next());
        PreparedStatement ps = c.prepareStatement("INSERT INTO owned VALUES (?, ?, ?)");
        ps.setInt(1, 1);
        ps.setString(2, "x");
        ps.setBinaryStream(3, new ByteArrayInputStream(new byte[100]));
        ps.executeUpdate();
        PreparedStatement q = c.prepareStatement("SELECT * FROM owned WHERE i = ?");
        q.setInt(1, 1);
        ResultSet rs2 = q.executeQuery();
        assertTrue(rs2.next());
        handles.add(((JdbcOdbcStatement) s).state.hStmt);
        handles.add(((JdbcOdbcStatement) ps).state.hStmt);
        handles.add(((JdbcOdbcStatement) q).state.hStmt);
        // 3 statements, 2 bound-parameter arrays, 2 bound-column arrays.
        assertEquals(7, live(c));
        c.close();
        assertEquals(0, live(c));
        assertEquals(connections - 1, env.liveConnections.get());
        for (int h : handles) {
            assertEquals(Odbc.INVALID_HANDLE, env.odbc.freeStmt(h, Odbc.CLOSE), "statement handle " + h + " is freed");
        }
        assertTrue(rs.isClosed() || assertClosedOnUse(rs));
        assertTrue(s.isClosed() && ps.isClosed() && q.isClosed());
        assertThrows(SQLNonTransientConnectionException.class, c::createStatement);
        c.close();  // a second close does nothing
    }

    private static boolean assertClosedOnUse(ResultSet rs) {
        assertThrows(SQLException.class, rs::next);
        return true;
    }

    @Test
    void closingStatementsAndResultSetsReleasesTheirPartAtOnce() throws SQLException {
        try (Connection c = Db.connect()) {
            Statement s = c.createStatement();
            ResultSet rs = s.executeQuery("SELECT 1");
            assertEquals(2, live(c));
            rs.close();
            assertEquals(1, live(c));
            s.executeQuery("SELECT 2");
            s.execute("SELECT 3");  // the first result set is closed by the new execution
            assertEquals(2, live(c));
            s.close();
            assertEquals(0, live(c));
            PreparedStatement ps = c.prepareStatement("SELECT ?");
            assertEquals(2, live(c));
            ps.close();
            assertEquals(0, live(c));
        }
    }

    @Test
    @Timeout(60)
    void forgottenStatementsAreFreedWhenUnreachable() throws Exception {
        try (Connection c = Db.connect()) {
            for (int i = 0; i < 50; i++) {
                Statement s = c.createStatement();
                s.executeQuery("SELECT " + i).next();
            }
            assertTrue(live(c) >= 2);
            long end = System.nanoTime() + TimeUnit.SECONDS.toNanos(30);
            while (live(c) > 0 && System.nanoTime() < end) {
                System.gc();
                Thread.sleep(20);
            }
            assertEquals(0, live(c), "the cleaner freed each forgotten statement once");
        }
    }

    @Test
    void autoCommitCommitAndRollback() throws SQLException {
        String url = Db.url();
        try (Connection a = Db.connect(url)) {
            Db.quietly(a, "DROP TABLE tx");
            Db.exec(a, "CREATE TABLE tx (i integer)");
            assertTrue(a.getAutoCommit());
            assertThrows(SQLException.class, a::commit, "commit with auto-commit on");
            a.setAutoCommit(false);
            Db.exec(a, "INSERT INTO tx VALUES (1)");
            a.rollback();
            Db.exec(a, "INSERT INTO tx VALUES (2)");
            a.commit();
            Db.exec(a, "INSERT INTO tx VALUES (3)");
            a.setAutoCommit(true);  // JDBC: commits the open transaction
            try (Statement s = a.createStatement(); ResultSet rs = s.executeQuery("SELECT i FROM tx ORDER BY i")) {
                List<Integer> got = new ArrayList<>();
                while (rs.next()) got.add(rs.getInt(1));
                assertEquals(List.of(2, 3), got);
            }
        }
    }

    @Test
    void isolationReadOnlyAndCatalogAreAcceptedAsSqllineAndPoolsSetThem() throws SQLException {
        try (Connection c = Db.connect()) {
            c.setTransactionIsolation(Connection.TRANSACTION_REPEATABLE_READ);
            int level = c.getTransactionIsolation();
            assertTrue(level >= Connection.TRANSACTION_READ_COMMITTED, "level " + level);
            c.setTransactionIsolation(Connection.TRANSACTION_SERIALIZABLE);
            assertEquals(Connection.TRANSACTION_SERIALIZABLE, c.getTransactionIsolation());
            assertThrows(SQLException.class, () -> c.setTransactionIsolation(3));
            c.setReadOnly(false);
            assertFalse(c.isReadOnly());
            c.setCatalog(c.getCatalog());
            c.clearWarnings();
            assertEquals(null, c.getWarnings());
            assertTrue(c.nativeSQL("SELECT {fn UCASE('a')}").contains("SELECT"));
        }
    }

    @Test
    void isValidNeverThrowsAndTellsAClosedConnection() throws SQLException {
        Connection c = Db.connect();
        assertTrue(c.isValid(0));
        assertTrue(c.isValid(1));
        assertThrows(SQLException.class, () -> c.isValid(-1));
        assertEquals(0, live(c), "the validation statement is freed");
        c.close();
        assertFalse(c.isValid(1));
        assertTrue(c.isClosed());
    }

    @Test
    void unsupportedFeaturesSaySo() throws SQLException {
        try (Connection c = Db.connect()) {
            SQLFeatureNotSupportedException e = assertThrows(SQLFeatureNotSupportedException.class,
                    () -> c.createStruct("point", new Object[] {1, 2}));
            assertFalse(e.getSQLState().startsWith("0A"), "pools evict connections that pass 0A000");
            assertTrue(c.getMetaData().supportsBatchUpdates());
            // A scroll-sensitive result set is made insensitive with a warning, as JDBC allows.
            try (Statement s = c.createStatement(ResultSet.TYPE_SCROLL_SENSITIVE, ResultSet.CONCUR_UPDATABLE)) {
                assertNotNull(c.getWarnings());
                assertEquals(ResultSet.TYPE_SCROLL_INSENSITIVE, s.getResultSetType());
                assertEquals(ResultSet.CONCUR_UPDATABLE, s.getResultSetConcurrency());
            }
        }
    }

    @Test
    void typeMapsAreKeptAndHandedBack() throws SQLException {
        try (Connection c = Db.connect()) {
            assertTrue(c.getTypeMap().isEmpty());
            java.util.Map<String, Class<?>> map = new java.util.HashMap<>();
            map.put("point", String.class);
            c.setTypeMap(map);
            assertEquals(map, c.getTypeMap());
            assertThrows(SQLException.class, () -> c.setTypeMap(null));
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT 1")) {
                assertTrue(rs.next());
                assertEquals(1, ((Number) rs.getObject(1, java.util.Collections.emptyMap())).intValue());
                assertThrows(SQLFeatureNotSupportedException.class, () -> rs.getObject(1, map));
            }
        }
    }

    @Test
    void clientInfoIsKeptByTheConnection() throws SQLException {
        try (Connection c = Db.connect()) {
            c.setClientInfo("ApplicationName", "tests");
            assertEquals("tests", c.getClientInfo("ApplicationName"));
            assertEquals("tests", c.getClientInfo().getProperty("ApplicationName"));
        }
    }

    @Test
    void metaDataAnswersWhatPoolsAsk() throws SQLException {
        try (Connection c = Db.connect()) {
            var md = c.getMetaData();
            assertEquals(Db.productName(), md.getDatabaseProductName());
            assertTrue(md.getDatabaseMajorVersion() > 2);
            assertEquals(4, md.getJDBCMajorVersion());
            assertEquals(Db.identifierQuote(), md.getIdentifierQuoteString());
            assertTrue(md.getURL().startsWith("jdbc:quorvane:"));
            assertTrue(md.supportsTransactions());
            assertTrue(md.getDriverVersion().contains("7.0.2.0.0"));
            assertTrue(md.supportsResultSetType(ResultSet.TYPE_FORWARD_ONLY));
            assertTrue(md.supportsResultSetType(ResultSet.TYPE_SCROLL_INSENSITIVE));
            assertFalse(md.supportsResultSetType(ResultSet.TYPE_SCROLL_SENSITIVE));
            assertEquals(c, md.getConnection());
        }
    }

    @Test
    @Timeout(60)
    void closeFromAnotherThreadEndsARunningStatement() throws Exception {
        Connection c = Db.connect();
        Statement s = c.createStatement();
        CountDownLatch started = new CountDownLatch(1);
        var pool = Executors.newSingleThreadExecutor();
        var f = pool.submit(() -> {
            started.countDown();
            return s.executeQuery(Db.slowQuery());
        });
        started.await();
        Thread.sleep(500);
        long t0 = System.nanoTime();
        c.close();
        assertInstanceOf(SQLException.class, assertThrows(java.util.concurrent.ExecutionException.class,
                () -> f.get(30, TimeUnit.SECONDS)).getCause());
        assertTrue(System.nanoTime() - t0 < TimeUnit.SECONDS.toNanos(20), "the close did not wait for the query");
        assertEquals(0, live(c));
        pool.shutdown();
    }

    @Test
    void abortClosesThroughTheExecutor() throws Exception {
        Connection c = Db.connect();
        var pool = Executors.newSingleThreadExecutor();
        c.abort(pool);
        pool.shutdown();
        assertTrue(pool.awaitTermination(10, TimeUnit.SECONDS));
        assertTrue(c.isClosed());
    }

    @Test
    void severalThreadsShareOneConnection() throws Exception {
        // MariaDB Connector/ODBC hangs when two statements of one connection run at once:
        // there the connection's calls take turns.
        try (Connection c = Db.connect()) {
            var pool = Executors.newFixedThreadPool(4);
            List<java.util.concurrent.Future<Integer>> fs = new ArrayList<>();
            for (int t = 0; t < 4; t++) {
                final int base = t * 1000;
                fs.add(pool.submit(() -> {
                    int sum = 0;
                    for (int i = 0; i < 50; i++) {
                        try (PreparedStatement ps = c.prepareStatement("SELECT ?")) {
                            ps.setInt(1, base + i);
                            try (ResultSet rs = ps.executeQuery()) {
                                rs.next();
                                sum += rs.getInt(1) - base;
                            }
                        }
                    }
                    return sum;
                }));
            }
            for (var f : fs) assertEquals(49 * 50 / 2, f.get(60, TimeUnit.SECONDS));
            pool.shutdown();
            assertEquals(0, live(c));
        }
    }

    /**
     * Where the connection's calls take turns, a statement waiting for its turn is cancelled
     * alone: the statement running meanwhile goes on, and the connection stays usable.
     */
    @Test
    void cancelOfAStatementWaitingForItsTurnLeavesTheRunningOneAlone() throws Exception {
        org.junit.jupiter.api.Assumptions.assumeTrue(Db.mariadb(), "a data source whose calls take turns");
        try (Connection c = Db.connect(); Statement slow = c.createStatement();
                Statement waiting = c.createStatement(); Statement fresh = c.createStatement()) {
            Db.quietly(c, "DROP TABLE turn1");
            Db.exec(c, "CREATE TABLE turn1 (i integer)");
            // Ran once: its handle is there, so it waits for its turn in the execution itself.
            try (ResultSet rs = waiting.executeQuery("SELECT 1")) {
                assertTrue(rs.next());
            }
            var pool = Executors.newFixedThreadPool(3);
            long start = System.nanoTime();
            var running = pool.submit(() -> {
                try (ResultSet rs = slow.executeQuery("SELECT SLEEP(3)")) {
                    assertTrue(rs.next());
                    return rs.getInt(1);
                }
            });
            Thread.sleep(300);
            var waits = pool.submit(() -> {
                try (ResultSet rs = waiting.executeQuery("SELECT 42")) {
                    rs.next();
                    return (Object) rs.getInt(1);
                } catch (SQLException e) {
                    return e;
                }
            });
            // Never ran: it waits for its turn while its handle is allocated.
            var allocates = pool.submit(() -> {
                try {
                    return (Object) fresh.executeUpdate("INSERT INTO turn1 VALUES (1)");
                } catch (SQLException e) {
                    return e;
                }
            });
            Thread.sleep(300);
            waiting.cancel();
            fresh.cancel();
            // Back long before the running statement ends, and as a cancel.
            Object outcome = waits.get(2, TimeUnit.SECONDS);
            SQLException e = assertInstanceOf(SQLException.class, outcome);
            assertEquals("HY008", e.getSQLState(), e.getMessage());
            // SLEEP answers 1 when it was interrupted.
            assertEquals(0, running.get(10, TimeUnit.SECONDS));
            assertTrue(System.nanoTime() - start >= 2_900_000_000L);
            // The one without a handle fails as cancelled once it has one, and never ran.
            SQLException f = assertInstanceOf(SQLException.class, allocates.get(10, TimeUnit.SECONDS));
            assertEquals("HY008", f.getSQLState(), f.getMessage());
            try (ResultSet rs = waiting.executeQuery("SELECT 7")) {
                assertTrue(rs.next());
                assertEquals(7, rs.getInt(1));
            }
            try (ResultSet rs = fresh.executeQuery("SELECT COUNT(*) FROM turn1")) {
                assertTrue(rs.next());
                assertEquals(0, rs.getInt(1));
            }
            Db.exec(c, "DROP TABLE turn1");
            pool.shutdown();
        }
    }

    /** A holdable result set is read whole when its statement runs: commits after it leave it readable. */
    @Test
    void holdableResultSetSurvivesTheCommitsAfterIt() throws SQLException {
        try (Connection c = Db.connect()) {
            assertTrue(c.getMetaData().supportsResultSetHoldability(ResultSet.HOLD_CURSORS_OVER_COMMIT));
            Db.quietly(c, "DROP TABLE hold1");
            Db.exec(c, "CREATE TABLE hold1 (i integer)", "INSERT INTO hold1 VALUES (1)", "INSERT INTO hold1 VALUES (2)",
                    "INSERT INTO hold1 VALUES (3)");
            c.setAutoCommit(false);
            c.setHoldability(ResultSet.HOLD_CURSORS_OVER_COMMIT);
            assertEquals(ResultSet.HOLD_CURSORS_OVER_COMMIT, c.getHoldability());
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT i FROM hold1 ORDER BY i")) {
                assertEquals(ResultSet.HOLD_CURSORS_OVER_COMMIT, s.getResultSetHoldability());
                assertEquals(ResultSet.HOLD_CURSORS_OVER_COMMIT, rs.getHoldability());
                assertEquals(ResultSet.TYPE_FORWARD_ONLY, rs.getType());
                assertTrue(rs.next());
                c.commit();
                Db.exec(c, "DELETE FROM hold1");
                c.commit();
                assertEquals(1, rs.getInt(1));
                assertTrue(rs.next());
                assertEquals(2, rs.getInt("i"));
                assertThrows(SQLException.class, rs::previous, "still forward-only");
                assertTrue(rs.next());
                assertFalse(rs.next());
            }
            c.setHoldability(ResultSet.CLOSE_CURSORS_AT_COMMIT);
            try (PreparedStatement ps = c.prepareStatement("SELECT i FROM hold1", ResultSet.TYPE_FORWARD_ONLY,
                    ResultSet.CONCUR_READ_ONLY, ResultSet.HOLD_CURSORS_OVER_COMMIT)) {
                assertEquals(ResultSet.HOLD_CURSORS_OVER_COMMIT, ps.getResultSetHoldability());
            }
            c.rollback();
            c.setAutoCommit(true);
            Db.exec(c, "DROP TABLE hold1");
        }
    }
}
