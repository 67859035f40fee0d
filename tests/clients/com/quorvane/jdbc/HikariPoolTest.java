package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.zaxxer.hikari.HikariConfig;
import com.zaxxer.hikari.HikariDataSource;
import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.util.ArrayList;
import java.util.List;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicInteger;
import org.junit.jupiter.api.Test;

/**
 * A HikariCP pool over the driver: it starts (which needs isValid and the
 * isolation level to answer), serves 1,000 borrow/return cycles, each
 * validated on borrow and running a query, keeps its connections through a
 * failing statement, and closes every physical connection at shutdown. On
 * PostgreSQL, a connection whose server backend is ended is evicted at its
 * first failure, and a server restarted under load loses no commit that the
 * driver reported done.
 */
class HikariPoolTest {
    @Test
    void thousandValidatedBorrowsEachWithAQuery() throws Exception {
        // Validate on every borrow, not only after half a second of idleness.
        System.setProperty("com.zaxxer.hikari.aliveBypassWindowMs", "0");
        int before = JdbcOdbcEnvironment.get().liveConnections.get();
        HikariConfig cfg = new HikariConfig();
        cfg.setJdbcUrl(Db.url());
        cfg.setDriverClassName(JdbcOdbcDriver.class.getName());
        if (Db.user() != null) cfg.setUsername(Db.user());
        if (Db.password() != null) cfg.setPassword(Db.password());
        cfg.setMaximumPoolSize(3);
        cfg.setMinimumIdle(1);
        cfg.setPoolName("quorvane-test");
        try (HikariDataSource ds = new HikariDataSource(cfg)) {
            try (Connection c = ds.getConnection()) {
                Db.quietly(c, "DROP TABLE pool_t");
                Db.exec(c, "CREATE TABLE pool_t (id integer PRIMARY KEY, name varchar(20))",
                        "INSERT INTO pool_t VALUES (1, 'one')");
            }
            for (int i = 0; i < 1000; i++) {
                try (Connection c = ds.getConnection();
                        PreparedStatement ps = c.prepareStatement("SELECT name, id + ? FROM pool_t WHERE id = 1")) {
                    ps.setInt(1, i);
                    try (ResultSet rs = ps.executeQuery()) {
                        assertTrue(rs.next());
                        assertEquals("one", rs.getString(1));
                        assertEquals(i + 1, rs.getInt(2));
                    }
                }
            }
            int total = ds.getHikariPoolMXBean().getTotalConnections();
            assertTrue(total >= 1 && total <= 3, "connections: " + total);
            // A failing statement is not a lost connection: the pool keeps it.
            try (Connection c = ds.getConnection()) {
                SQLException e = assertThrows(SQLException.class, () -> Db.exec(c, "SELECT * FROM pool_missing"));
                assertTrue(!e.getSQLState().startsWith("08"), e.getSQLState());
            }
            try (Connection c = ds.getConnection()) {
                assertTrue(c.isValid(1));
            }
            // An evicted connection would lower the count; the pool may have
            // added one meanwhile (its minimum idle count while one is borrowed).
            assertTrue(ds.getHikariPoolMXBean().getTotalConnections() >= total);
        }
        assertEquals(before, JdbcOdbcEnvironment.get().liveConnections.get(), "the pool closed every connection");
    }

    private static HikariDataSource pool(int size) {
        HikariConfig cfg = new HikariConfig();
        cfg.setJdbcUrl(Db.url());
        cfg.setDriverClassName(JdbcOdbcDriver.class.getName());
        cfg.setUsername("postgres");
        cfg.setMaximumPoolSize(size);
        cfg.setMinimumIdle(size);
        cfg.setConnectionTimeout(30_000);
        return new HikariDataSource(cfg);
    }

    private static int backendPid(Connection c) throws SQLException {
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT pg_backend_pid()")) {
            rs.next();
            return rs.getInt(1);
        }
    }

    @Test
    void aConnectionWhoseBackendIsEndedIsEvictedAtItsFirstFailure() throws Exception {
        if (!Db.postgres()) return;
        try (HikariDataSource ds = pool(1); Connection killer = Db.connect()) {
            int pid;
            try (Connection c = ds.getConnection()) {
                pid = backendPid(c);
                try (Statement k = killer.createStatement()) {
                    k.executeQuery("SELECT pg_terminate_backend(" + pid + ")").close();
                }
                Thread.sleep(100);
                SQLException e = assertThrows(SQLException.class, () -> {
                    try (PreparedStatement ps = c.prepareStatement("SELECT ? + 1")) {
                        ps.setInt(1, 1);
                        ps.executeQuery().close();
                    }
                });
                assertTrue(e.getSQLState().startsWith("08"), e.getSQLState() + " " + e);
            }
            // The pool's one connection is a new one, and it works.
            try (Connection c = ds.getConnection()) {
                assertTrue(pid != backendPid(c), "a new backend");
            }
        }
    }

    /**
     * Four writers commit rows through the pool while the server restarts
     * three times. Afterwards every row whose commit returned is in the table,
     * and no row whose insert or commit failed is, except those whose commit
     * failed with 08007 (the connection went during the commit: its outcome
     * is unknown, and the driver says so).
     */
    @Test
    void aServerRestartedUnderLoadLosesNoCommitReportedDone() throws Exception {
        if (!Db.postgres()) return;
        String script = System.getenv("QVT_SOURCE_DIR") + "/tests/pg_server.sh";
        String host = System.getenv("QVT_PG_HOST");
        String port = System.getenv("QVT_PG_PORT");
        try (Connection c = Db.connect()) {
            Db.quietly(c, "DROP TABLE pool_restart");
            Db.exec(c, "CREATE TABLE pool_restart (id integer PRIMARY KEY, writer integer)");
        }
        Set<Integer> committed = ConcurrentHashMap.newKeySet();
        Set<Integer> failed = ConcurrentHashMap.newKeySet();
        Set<Integer> unknown = ConcurrentHashMap.newKeySet();
        AtomicBoolean stop = new AtomicBoolean();
        AtomicInteger errors = new AtomicInteger();
        try (HikariDataSource ds = pool(4)) {
            List<Thread> writers = new ArrayList<>();
            for (int w = 0; w < 4; w++) {
                final int writer = w;
                Thread t = new Thread(() -> {
                    for (int n = 0; !stop.get() && n < 1_000_000; n++) {
                        int id = writer * 1_000_000 + n;
                        boolean inserted = false;
                        try (Connection c = ds.getConnection()) {
                            c.setAutoCommit(false);
                            try (PreparedStatement ps = c.prepareStatement("INSERT INTO pool_restart VALUES (?, ?)")) {
                                ps.setInt(1, id);
                                ps.setInt(2, writer);
                                ps.executeUpdate();
                            }
                            inserted = true;
                            c.commit();
                            committed.add(id);
                        } catch (SQLException e) {
                            errors.incrementAndGet();
                            if (inserted && "08007".equals(e.getSQLState())) unknown.add(id);
                            else failed.add(id);
                        }
                    }
                });
                t.start();
                writers.add(t);
            }
            for (int r = 0; r < 3; r++) {
                Thread.sleep(1500);
                ProcessBuilder pb = new ProcessBuilder(script, "restart", host, port).inheritIO();
                // The sanitized run preloads its runtime into this JVM; the server must not inherit it.
                pb.environment().remove("LD_PRELOAD");
                Process p = pb.start();
                assertTrue(p.waitFor(90, TimeUnit.SECONDS), "the server restarted in time");
                assertEquals(0, p.exitValue(), "pg_server.sh restart");
            }
            Thread.sleep(1500);
            stop.set(true);
            for (Thread t : writers) t.join(60_000);
        }
        Set<Integer> present = ConcurrentHashMap.newKeySet();
        try (Connection c = Db.connect(); Statement s = c.createStatement();
                ResultSet rs = s.executeQuery("SELECT id FROM pool_restart")) {
            while (rs.next()) present.add(rs.getInt(1));
        }
        assertTrue(committed.size() > 100, "writers made progress: " + committed.size());
        assertTrue(errors.get() > 0, "the restarts were felt");
        List<Integer> lost = new ArrayList<>();
        for (int id : committed) if (!present.contains(id)) lost.add(id);
        assertEquals(List.of(), lost, "commits reported done but missing");
        List<Integer> ghosts = new ArrayList<>();
        for (int id : failed) if (present.contains(id)) ghosts.add(id);
        assertEquals(List.of(), ghosts, "rows reported failed but present");
        for (int id : present) {
            assertTrue(committed.contains(id) || unknown.contains(id), "row " + id + " was never reported done");
        }
    }
}
