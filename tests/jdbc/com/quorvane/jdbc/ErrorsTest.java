package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.Connection;
import java.sql.SQLDataException;
import java.sql.SQLException;
import java.sql.SQLFeatureNotSupportedException;
import java.sql.SQLIntegrityConstraintViolationException;
import java.sql.SQLInvalidAuthorizationSpecException;
import java.sql.SQLNonTransientConnectionException;
import java.sql.SQLSyntaxErrorException;
import java.sql.SQLTimeoutException;
import java.sql.SQLTransactionRollbackException;
import java.sql.SQLTransientConnectionException;
import java.sql.Statement;
import org.junit.jupiter.api.Test;

/** Every failure is an SQLException with today's SQLSTATE and the JDBC 4 subclass of its class. */
class ErrorsTest {
    @Test
    void odbc2StatesAreReportedAsTodays() {
        assertEquals("HY000", JdbcOdbcErrors.mapState("S1000"));
        assertEquals("HYT00", JdbcOdbcErrors.mapState("S1T00"));
        assertEquals("HY008", JdbcOdbcErrors.mapState("S1008"));
        assertEquals("42000", JdbcOdbcErrors.mapState("37000"));
        assertEquals("42S02", JdbcOdbcErrors.mapState("S0002"));
        assertEquals("22018", JdbcOdbcErrors.mapState("22005"));
        assertEquals("23505", JdbcOdbcErrors.mapState("23505"));
        assertEquals("08S01", JdbcOdbcErrors.mapState("08S01"));
    }

    @Test
    void subclassFollowsTheStateClass() {
        assertInstanceOf(SQLNonTransientConnectionException.class, JdbcOdbcErrors.of("x", "08003"));
        assertInstanceOf(SQLTransientConnectionException.class, JdbcOdbcErrors.of("x", "08S01"));
        assertInstanceOf(SQLDataException.class, JdbcOdbcErrors.of("x", "22012"));
        assertInstanceOf(SQLIntegrityConstraintViolationException.class, JdbcOdbcErrors.of("x", "23505"));
        assertInstanceOf(SQLInvalidAuthorizationSpecException.class, JdbcOdbcErrors.of("x", "28000"));
        assertInstanceOf(SQLTransactionRollbackException.class, JdbcOdbcErrors.of("x", "40001"));
        assertInstanceOf(SQLSyntaxErrorException.class, JdbcOdbcErrors.of("x", "42601"));
        assertInstanceOf(SQLFeatureNotSupportedException.class, JdbcOdbcErrors.of("x", "0A000"));
        assertInstanceOf(SQLFeatureNotSupportedException.class, JdbcOdbcErrors.of("x", "IM001"));
        assertInstanceOf(SQLTimeoutException.class, JdbcOdbcErrors.of("x", "HYT00"));
        assertEquals(SQLException.class, JdbcOdbcErrors.of("x", "HY000").getClass());
    }

    @Test
    void failuresOfTheDataSourceCarryItsStateCodeAndMessage() throws SQLException {
        try (Connection c = Db.connect(); Statement s = c.createStatement()) {
            SQLException syntax = assertThrows(SQLException.class, () -> s.execute("SELEC 1"));
            assertNotNull(syntax.getMessage());
            // SQLite's engine: a statement SQLite cannot compile is 42000, as on MariaDB.
            assertInstanceOf(SQLSyntaxErrorException.class, syntax);
            assertEquals(Db.syntaxErrorState(), syntax.getSQLState());
            assertTrue(syntax.getMessage().contains(Db.syntaxErrorWords()), syntax.getMessage());
            Db.quietly(c, "DROP TABLE e");
            s.execute("CREATE TABLE e (id integer PRIMARY KEY)");
            s.execute("INSERT INTO e VALUES (1)");
            SQLException dup = assertThrows(SQLException.class, () -> s.execute("INSERT INTO e VALUES (1)"));
            if (Db.postgres()) {
                assertInstanceOf(SQLIntegrityConstraintViolationException.class, dup);
                assertEquals("23505", dup.getSQLState());
                SQLException div = assertThrows(SQLException.class, () -> s.executeQuery("SELECT 1 / 0").next());
                assertInstanceOf(SQLDataException.class, div);
                assertEquals("22012", div.getSQLState());
                SQLException missing = assertThrows(SQLException.class, () -> s.execute("SELECT * FROM nowhere"));
                assertEquals("42P01", missing.getSQLState());
            }
            s.execute("DROP TABLE e");
            // The statement still works after its failures.
            assertTrue(s.execute("SELECT 1"));
        }
    }

    @Test
    void closedConnectionIsClass08() throws SQLException {
        Connection c = Db.connect();
        Statement s = c.createStatement();
        c.close();
        SQLException e = assertThrows(SQLException.class, () -> s.execute("SELECT 1"));
        assertEquals("08003", e.getSQLState());
        assertInstanceOf(SQLNonTransientConnectionException.class, e);
    }

    @Test
    void aConnectionGoneOnTheServerIsClass08() throws SQLException {
        if (!Db.postgres()) return;
        try (Connection victim = Db.connect(); Connection killer = Db.connect()) {
            int pid;
            try (Statement s = victim.createStatement(); var rs = s.executeQuery("SELECT pg_backend_pid()")) {
                rs.next();
                pid = rs.getInt(1);
            }
            try (Statement k = killer.createStatement()) {
                k.executeQuery("SELECT pg_terminate_backend(" + pid + ")").close();
            }
            SQLException e = assertThrows(SQLException.class, () -> {
                try (Statement s = victim.createStatement()) {
                    s.executeQuery("SELECT 1").close();
                }
            });
            String state = e.getSQLState();
            assertTrue(state.startsWith("08") || state.startsWith("57P"), state + " " + e);
            assertTrue(!victim.isValid(2), "no longer valid");
        }
    }
}
