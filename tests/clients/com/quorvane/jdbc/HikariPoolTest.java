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
import org.junit.jupiter.api.Test;

/**
 * A HikariCP pool over the driver: it starts (which needs isValid and the
 * isolation level to answer), serves 1,000 borrow/return cycles, each
 * validated on borrow and running a query, keeps its connections through a
 * failing statement, and closes every physical connection at shutdown.
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
        if (Db.postgres()) cfg.setUsername("postgres");
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
            assertEquals(total, ds.getHikariPoolMXBean().getTotalConnections());
        }
        assertEquals(before, JdbcOdbcEnvironment.get().liveConnections.get(), "the pool closed every connection");
    }
}
