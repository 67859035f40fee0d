package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import org.junit.jupiter.api.Test;

/**
 * A server backend that goes away under a connection (PostgreSQL): nothing
 * the connection reports afterwards may read as done, and the first failure
 * already says the connection is gone (class 08), so pools discard it.
 * Each case reads the table from a second connection afterwards.
 */
class ConnectionLossTest {
    /** Ends the backend of {@code victim} from {@code killer}. */
    static void killBackend(Connection victim, Connection killer) throws SQLException {
        int pid;
        try (Statement s = victim.createStatement(); ResultSet rs = s.executeQuery("SELECT pg_backend_pid()")) {
            rs.next();
            pid = rs.getInt(1);
        }
        try (Statement k = killer.createStatement();
                ResultSet rs = k.executeQuery("SELECT pg_terminate_backend(" + pid + ")")) {
            rs.next();
            assertTrue(rs.getBoolean(1), "backend " + pid + " ended");
        }
        // The backend is gone once the server no longer lists it.
        for (int i = 0; i < 200; i++) {
            try (Statement k = killer.createStatement();
                    ResultSet rs = k.executeQuery("SELECT count(*) FROM pg_stat_activity WHERE pid = " + pid)) {
                rs.next();
                if (rs.getInt(1) == 0) return;
            }
            try {
                Thread.sleep(10);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
                return;
            }
        }
    }

    static int count(Connection c, String table) throws SQLException {
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT count(*) FROM " + table)) {
            rs.next();
            return rs.getInt(1);
        }
    }

    static void assertConnectionClass(SQLException e) {
        String state = e.getSQLState();
        assertTrue(state != null && (state.startsWith("08") || state.startsWith("57P")), state + ": " + e);
    }

    /** A connection in manual-commit mode with one row inserted into {@code table}, not yet committed. */
    private static Connection withUncommittedRow(Connection admin, String table) throws SQLException {
        Db.quietly(admin, "DROP TABLE " + table);
        Db.exec(admin, "CREATE TABLE " + table + " (i integer)");
        Connection victim = Db.connect();
        victim.setAutoCommit(false);
        try (PreparedStatement ps = victim.prepareStatement("INSERT INTO " + table + " VALUES (?)")) {
            ps.setInt(1, 1);
            assertEquals(1, ps.executeUpdate());
        }
        return victim;
    }

    @Test
    void commitAfterTheBackendIsGoneFailsAndTheDatabaseHoldsNothing() throws SQLException {
        if (!Db.postgres()) return;
        try (Connection admin = Db.connect(); Connection victim = withUncommittedRow(admin, "loss_commit")) {
            PreparedStatement ps = victim.prepareStatement("INSERT INTO loss_commit VALUES (?)");
            ps.setInt(1, 2);
            assertEquals(1, ps.executeUpdate());
            killBackend(victim, admin);
            // Closing the statement is where psqlODBC notices; it says nothing.
            ps.close();
            SQLException e = assertThrows(SQLException.class, victim::commit);
            assertConnectionClass(e);
            // ... and every later call on the connection says so too.
            assertConnectionClass(assertThrows(SQLException.class, victim::commit));
            assertConnectionClass(assertThrows(SQLException.class, victim::rollback));
            assertFalse(victim.isValid(2));
            assertEquals(0, count(admin, "loss_commit"));
        }
    }

    @Test
    void autoCommitOnAfterTheBackendIsGoneFailsAndTheDatabaseHoldsNothing() throws SQLException {
        if (!Db.postgres()) return;
        try (Connection admin = Db.connect(); Connection victim = withUncommittedRow(admin, "loss_autocommit")) {
            killBackend(victim, admin);
            // The first call that reaches the server fails; turning auto-commit
            // on would commit, and must not claim it did.
            assertConnectionClass(assertThrows(SQLException.class, () -> Db.exec(victim, "SELECT 1")));
            assertConnectionClass(assertThrows(SQLException.class, () -> victim.setAutoCommit(true)));
            assertEquals(0, count(admin, "loss_autocommit"));
        }
    }

    @Test
    void theFirstFailureAfterTheBackendIsGoneIsClass08OnEveryPath() throws SQLException {
        if (!Db.postgres()) return;
        try (Connection admin = Db.connect()) {
            Db.quietly(admin, "DROP TABLE loss_paths");
            Db.exec(admin, "CREATE TABLE loss_paths (i integer)");
            // Executing a statement prepared before the loss.
            try (Connection victim = Db.connect();
                    PreparedStatement ps = victim.prepareStatement("INSERT INTO loss_paths VALUES (?)")) {
                ps.setInt(1, 1);
                ps.executeUpdate();
                killBackend(victim, admin);
                ps.setInt(1, 2);
                assertConnectionClass(assertThrows(SQLException.class, ps::executeUpdate));
            }
            // Preparing (which describes the parameters) after the loss.
            try (Connection victim = Db.connect()) {
                killBackend(victim, admin);
                assertConnectionClass(assertThrows(SQLException.class, () -> {
                    try (PreparedStatement ps = victim.prepareStatement("SELECT i FROM loss_paths WHERE i = ?")) {
                        ps.setInt(1, 1);
                        ps.executeQuery().close();
                    }
                }));
            }
            // A plain statement in manual-commit mode, then commit.
            try (Connection victim = Db.connect()) {
                victim.setAutoCommit(false);
                Db.exec(victim, "INSERT INTO loss_paths VALUES (3)");
                killBackend(victim, admin);
                assertConnectionClass(
                        assertThrows(SQLException.class, () -> Db.exec(victim, "INSERT INTO loss_paths VALUES (4)")));
                assertConnectionClass(assertThrows(SQLException.class, victim::commit));
            }
            try (Statement s = admin.createStatement(); ResultSet rs = s.executeQuery("SELECT i FROM loss_paths")) {
                assertTrue(rs.next());
                assertEquals(1, rs.getInt(1), "only the row committed before the loss");
                assertFalse(rs.next());
            }
        }
    }

    @Test
    void aBatchOnALostConnectionReportsNoRowDoneAndCommitFails() throws SQLException {
        if (!Db.postgres()) return;
        for (String sql : new String[] {"INSERT INTO loss_batch VALUES (?)", "INSERT INTO loss_batch VALUES (? + 0)"}) {
            try (Connection admin = Db.connect(); Connection victim = withUncommittedRow(admin, "loss_batch")) {
                try (PreparedStatement ps = victim.prepareStatement(sql)) {
                    for (int i = 10; i < 20; i++) {
                        ps.setInt(1, i);
                        ps.addBatch();
                    }
                    killBackend(victim, admin);
                    java.sql.BatchUpdateException e = assertThrows(java.sql.BatchUpdateException.class, ps::executeBatch);
                    assertConnectionClass(e);
                    assertEquals(0, e.getUpdateCounts().length, sql);
                }
                assertConnectionClass(assertThrows(SQLException.class, victim::commit));
                assertEquals(0, count(admin, "loss_batch"), sql);
            }
        }
    }

    @Test
    void aFailingStatementOnALiveConnectionKeepsItsOwnState() throws SQLException {
        if (!Db.postgres()) return;
        try (Connection c = Db.connect()) {
            SQLException e = assertThrows(SQLException.class, () -> Db.exec(c, "SELECT * FROM loss_missing_table"));
            assertEquals("42P01", e.getSQLState());
            c.setAutoCommit(false);
            Db.exec(c, "SELECT 1");
            c.commit();
            assertTrue(c.isValid(2));
        }
    }
}
