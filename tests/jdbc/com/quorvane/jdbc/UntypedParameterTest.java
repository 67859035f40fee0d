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
import java.sql.Types;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * Parameters whose type the SQL text does not fix, as Spring and Hibernate
 * write them: PostgreSQL cannot describe them when the statement is
 * prepared, so they are bound from the values the application sets.
 */
class UntypedParameterTest {
    private Connection c;

    @BeforeEach
    void open() throws SQLException {
        c = Db.connect();
        Db.quietly(c, "DROP TABLE ut");
        Db.exec(c, "CREATE TABLE ut (i integer, s varchar(20))");
        Db.exec(c, "INSERT INTO ut VALUES (1, 'a')", "INSERT INTO ut VALUES (2, 'b')", "INSERT INTO ut VALUES (3, NULL)");
    }

    @AfterEach
    void close() throws SQLException {
        if (!c.getAutoCommit()) c.rollback();
        c.setAutoCommit(true);
        Db.quietly(c, "DROP TABLE ut");
        c.close();
    }

    private static long count(PreparedStatement ps) throws SQLException {
        try (ResultSet rs = ps.executeQuery()) {
            assertTrue(rs.next());
            return rs.getLong(1);
        }
    }

    @Test
    void anOptionalFilterRunsWithANullAndWithAValue() throws SQLException {
        try (PreparedStatement ps = c.prepareStatement("SELECT count(*) FROM ut WHERE (? IS NULL OR i = ?)")) {
            ps.setNull(1, Types.INTEGER);
            ps.setNull(2, Types.INTEGER);
            assertEquals(3, count(ps), "no filter");
            ps.setInt(1, 2);
            ps.setInt(2, 2);
            assertEquals(1, count(ps));
            ps.setObject(1, 7);
            ps.setObject(2, 7);
            assertEquals(0, count(ps));
            ps.clearParameters();
            ps.setNull(1, Types.INTEGER);
            assertThrows(SQLException.class, ps::executeQuery, "every parameter must still be set");
        }
        try (PreparedStatement ps = c.prepareStatement("SELECT count(*) FROM ut WHERE (? IS NULL OR s = ?)")) {
            ps.setNull(1, Types.VARCHAR);
            ps.setNull(2, Types.VARCHAR);
            assertEquals(3, count(ps));
            ps.setString(1, "b");
            ps.setString(2, "b");
            assertEquals(1, count(ps));
        }
    }

    @Test
    void theOperandsOfAnOperatorTakeTheTypesOfTheirValues() throws SQLException {
        try (PreparedStatement ps = c.prepareStatement("SELECT ? + ?")) {
            ps.setInt(1, 20);
            ps.setInt(2, 22);
            try (ResultSet rs = ps.executeQuery()) {
                assertTrue(rs.next());
                assertEquals(42, rs.getInt(1));
            }
            ps.setLong(1, 5_000_000_000L);
            ps.setInt(2, 1);
            try (ResultSet rs = ps.executeQuery()) {
                assertTrue(rs.next());
                assertEquals(5_000_000_001L, rs.getLong(1));
            }
            if (!Db.postgres()) return; // the SQLite driver describes the sum as an integer
            ps.setDouble(1, 0.5);
            ps.setDouble(2, 0.25);
            try (ResultSet rs = ps.executeQuery()) {
                assertTrue(rs.next());
                assertEquals(0.75, rs.getDouble(1), 0.0);
            }
        }
    }

    @Test
    void aNullKeepsTheSqlTypeGivenToSetNull() throws SQLException {
        if (!Db.postgres()) return; // SQLite values carry no declared type
        String[][] cases = {
            {"" + Types.INTEGER, "integer"}, {"" + Types.BIGINT, "bigint"}, {"" + Types.DOUBLE, "double precision"},
            {"" + Types.VARBINARY, "bytea"}, {"" + Types.VARCHAR, "character varying"}};
        try (PreparedStatement ps = c.prepareStatement("SELECT pg_typeof(?)::text, ? IS NULL")) {
            for (String[] k : cases) {
                int type = Integer.parseInt(k[0]);
                ps.setNull(1, type);
                ps.setNull(2, type);
                try (ResultSet rs = ps.executeQuery()) {
                    assertTrue(rs.next());
                    assertEquals(k[1], rs.getString(1), "setNull(" + type + ")");
                    assertTrue(rs.getBoolean(2));
                }
            }
            // After a typed null, a value of another type binds afresh.
            ps.setLong(1, 7);
            ps.setString(2, "x");
            try (ResultSet rs = ps.executeQuery()) {
                assertTrue(rs.next());
                assertEquals("bigint", rs.getString(1));
                assertFalse(rs.getBoolean(2));
            }
        }
    }

    @Test
    void anUntypedStatementInATransactionKeepsTheTransactionsWork() throws SQLException {
        c.setAutoCommit(false);
        try (Statement s = c.createStatement()) {
            s.executeUpdate("INSERT INTO ut VALUES (10, 'before')");
            try (PreparedStatement ps = c.prepareStatement("SELECT count(*) FROM ut WHERE (? IS NULL OR i = ?)")) {
                ps.setInt(1, 10);
                ps.setInt(2, 10);
                assertEquals(1, count(ps), "the row of this transaction is seen");
            }
            s.executeUpdate("INSERT INTO ut VALUES (11, 'after')");
            c.commit();
        }
        c.setAutoCommit(true);
        try (Statement s = c.createStatement();
             ResultSet rs = s.executeQuery("SELECT i, s FROM ut WHERE i >= 10 ORDER BY i")) {
            assertTrue(rs.next());
            assertEquals("before", rs.getString(2));
            assertTrue(rs.next());
            assertEquals("after", rs.getString(2));
            assertFalse(rs.next());
        }
    }

    @Test
    void anErrorInTheTextIsReportedWhenTheStatementRuns() throws SQLException {
        if (!Db.postgres()) return; // the SQLite driver checks the text when it prepares
        c.setAutoCommit(false);
        Db.exec(c, "INSERT INTO ut VALUES (20, 'kept')");
        try (PreparedStatement ps = c.prepareStatement("SELECT count(*) FROM no_such_table WHERE i = ?")) {
            ps.setInt(1, 1);
            SQLException e = assertThrows(SQLException.class, ps::executeQuery);
            assertEquals("42P01", e.getSQLState());
        }
        c.commit();
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT count(*) FROM ut WHERE i = 20")) {
            assertTrue(rs.next());
            assertEquals(1, rs.getInt(1), "the failed statement rolled back only itself");
        }
    }

    @Test
    void aBatchOfAnUntypedStatementRunsEveryRow() throws SQLException {
        try (PreparedStatement ps = c.prepareStatement("UPDATE ut SET s = ? WHERE (? IS NULL OR i = ?)")) {
            ps.setString(1, "x");
            ps.setInt(2, 1);
            ps.setInt(3, 1);
            ps.addBatch();
            ps.setString(1, "y");
            ps.setInt(2, 3);
            ps.setInt(3, 3);
            ps.addBatch();
            assertEquals(2, ps.executeBatch().length);
        }
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT s FROM ut ORDER BY i")) {
            assertTrue(rs.next());
            assertEquals("x", rs.getString(1));
            assertTrue(rs.next());
            assertEquals("b", rs.getString(1));
            assertTrue(rs.next());
            assertEquals("y", rs.getString(1));
        }
    }

    @Test
    void decimalsDatesAndBooleansCompareAsTheirTypes() throws SQLException {
        Db.quietly(c, "DROP TABLE ut2");
        Db.exec(c, "CREATE TABLE ut2 (n numeric(10,2), d date, b boolean)",
                "INSERT INTO ut2 VALUES (1.50, '2024-02-29', " + (Db.postgres() ? "true" : "1") + ")",
                "INSERT INTO ut2 VALUES (2.00, '2024-03-01', " + (Db.postgres() ? "false" : "0") + ")");
        try (PreparedStatement ps = c.prepareStatement(
                "SELECT count(*) FROM ut2 WHERE (? IS NULL OR n = ?) AND (? IS NULL OR d = ?) AND (? IS NULL OR b = ?)")) {
            ps.setBigDecimal(1, new java.math.BigDecimal("1.5"));
            ps.setBigDecimal(2, new java.math.BigDecimal("1.5"));
            ps.setDate(3, java.sql.Date.valueOf("2024-02-29"));
            ps.setDate(4, java.sql.Date.valueOf("2024-02-29"));
            ps.setBoolean(5, true);
            ps.setBoolean(6, true);
            assertEquals(1, count(ps));
            ps.setNull(1, Types.NUMERIC);
            ps.setNull(2, Types.NUMERIC);
            ps.setNull(3, Types.DATE);
            ps.setNull(4, Types.DATE);
            ps.setNull(5, Types.BOOLEAN);
            ps.setNull(6, Types.BOOLEAN);
            assertEquals(2, count(ps));
            ps.setBoolean(5, false);
            ps.setBoolean(6, false);
            assertEquals(1, count(ps));
        } finally {
            Db.quietly(c, "DROP TABLE ut2");
        }
    }
}
