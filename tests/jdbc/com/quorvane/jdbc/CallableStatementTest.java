package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.CallableStatement;
import java.sql.Connection;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.sql.SQLFeatureNotSupportedException;
import java.sql.Types;
import org.junit.jupiter.api.Test;

/** Calls of functions and procedures with IN, OUT and INOUT parameters. */
class CallableStatementTest {
    @Test
    void callWithInAndOutParameters() throws SQLException {
        try (Connection c = Db.connect()) {
            if (!Db.postgres()) {
                // SQLite has no procedures: the call fails as the data source says.
                assertThrows(SQLException.class, () -> {
                    try (CallableStatement cs = c.prepareCall("{call nothing(?)}")) {
                        cs.setInt(1, 1);
                        cs.execute();
                    }
                });
                return;
            }
            Db.exec(c, "CREATE OR REPLACE FUNCTION greet(who text, times integer) RETURNS text"
                    + " AS $$ SELECT repeat('hello ' || who || ' ', times) $$ LANGUAGE sql");
            try (CallableStatement cs = c.prepareCall("{? = call greet(?, ?)}")) {
                cs.registerOutParameter(1, Types.VARCHAR);
                cs.setString(2, "w\u00f6rld");
                cs.setInt(3, 2);
                cs.execute();
                assertEquals("hello w\u00f6rld hello w\u00f6rld ", cs.getString(1));
                assertTrue(!cs.wasNull());
                cs.setString(2, "x");
                cs.setInt(3, 1);
                cs.execute();
                assertEquals("hello x ", cs.getString(1));
                assertThrows(SQLException.class, () -> cs.getString(2), "not an output parameter");
                assertThrows(SQLFeatureNotSupportedException.class, () -> cs.getString("greeting"));
            }
            Db.exec(c, "DROP FUNCTION greet(text, integer)");
        }
    }

    @Test
    void functionWithOutParametersFillsThemAndExecuteUpdateGivesZero() throws SQLException {
        if (!Db.postgres()) return;
        try (Connection c = Db.connect()) {
            Db.exec(c, "CREATE OR REPLACE FUNCTION halves(a integer, OUT twice integer, OUT label text)"
                    + " AS $$ BEGIN twice := a * 2; label := 'n' || a; END $$ LANGUAGE plpgsql");
            try (CallableStatement cs = c.prepareCall("{call halves(?, ?, ?)}")) {
                cs.setInt(1, 21);
                cs.registerOutParameter(2, Types.INTEGER);
                cs.registerOutParameter(3, Types.VARCHAR);
                cs.execute();
                assertEquals(42, cs.getInt(2));
                assertEquals("n21", cs.getString(3));
                cs.setInt(1, -4);
                assertEquals(0, cs.executeUpdate(), "the function's row is not a count");
                assertEquals(-8, cs.getInt(2));
                assertEquals("n-4", cs.getString(3));
            }
            Db.exec(c, "DROP FUNCTION halves(integer)");
        }
    }

    @Test
    void inoutParameterKeepsItsInput() throws SQLException {
        if (!Db.postgres()) return;
        try (Connection c = Db.connect()) {
            Db.exec(c, "CREATE OR REPLACE FUNCTION doubled(INOUT p integer)"
                    + " AS $$ BEGIN p := coalesce(p * 2, -1); END $$ LANGUAGE plpgsql");
            Db.exec(c, "CREATE OR REPLACE FUNCTION suffixed(INOUT t text, n integer)"
                    + " AS $$ BEGIN t := t || repeat('!', n); END $$ LANGUAGE plpgsql");
            try (CallableStatement cs = c.prepareCall("{call doubled(?)}")) {
                cs.setInt(1, 21);
                cs.registerOutParameter(1, Types.INTEGER);
                cs.execute();
                assertEquals(42, cs.getInt(1));
                cs.setNull(1, Types.INTEGER);
                cs.execute();
                assertEquals(-1, cs.getInt(1), "a null input arrives as null");
                cs.setLong(1, 50);
                cs.execute();
                assertEquals(100, cs.getInt(1));
            }
            try (CallableStatement cs = c.prepareCall("{call suffixed(?, ?)}")) {
                cs.registerOutParameter(1, Types.VARCHAR);
                cs.setString(1, "gr\u00fc\u00df");
                cs.setInt(2, 2);
                cs.execute();
                assertEquals("gr\u00fc\u00df!!", cs.getString(1));
            }
            Db.exec(c, "DROP FUNCTION doubled(integer)", "DROP FUNCTION suffixed(text, integer)");
        }
    }

    @Test
    void functionReturningAValueAndProcedureReturningNothing() throws SQLException {
        if (!Db.postgres()) return;
        try (Connection c = Db.connect()) {
            Db.quietly(c, "DROP TABLE called");
            Db.exec(c, "CREATE TABLE called (v integer)",
                    "CREATE OR REPLACE FUNCTION plus_one(a integer) RETURNS integer AS $$ SELECT a + 1 $$ LANGUAGE sql",
                    "CREATE OR REPLACE FUNCTION noted(a integer) RETURNS void"
                            + " AS $$ INSERT INTO called VALUES (a) $$ LANGUAGE sql",
                    "CREATE OR REPLACE PROCEDURE store(a integer) AS $$ INSERT INTO called VALUES (a) $$ LANGUAGE sql");
            try (CallableStatement cs = c.prepareCall("{? = call plus_one(?)}")) {
                cs.registerOutParameter(1, Types.INTEGER);
                cs.setInt(2, 41);
                cs.execute();
                assertEquals(42, cs.getInt(1));
            }
            try (CallableStatement cs = c.prepareCall("{call noted(?)}")) {
                cs.setInt(1, 1);
                assertEquals(0, cs.executeUpdate());
            }
            c.setAutoCommit(false);
            try (CallableStatement cs = c.prepareCall("CALL store(?)")) {
                cs.setInt(1, 2);
                assertEquals(0, cs.executeUpdate());
                cs.setInt(1, 3);
                cs.execute();
            }
            c.commit();
            c.setAutoCommit(true);
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT v FROM called ORDER BY v")) {
                for (int v = 1; v <= 3; v++) {
                    assertTrue(rs.next());
                    assertEquals(v, rs.getInt(1));
                }
                assertTrue(!rs.next());
            }
            Db.exec(c, "DROP PROCEDURE store(integer)", "DROP FUNCTION noted(integer)", "DROP FUNCTION plus_one(integer)",
                    "DROP TABLE called");
        }
    }

    /** An output value longer than the driver reads is refused, never handed out cut; a shorter one is whole. */
    @Test
    void outputValueLongerThanItsBufferIsRefusedNotCut() throws SQLException {
        if (!Db.postgres()) return;
        try (Connection c = Db.connect()) {
            Db.exec(c, "CREATE OR REPLACE FUNCTION xs(n integer) RETURNS text AS $$ SELECT repeat('x', n) $$"
                    + " LANGUAGE sql");
            try (CallableStatement cs = c.prepareCall("{? = call xs(?)}")) {
                cs.registerOutParameter(1, Types.VARCHAR);
                cs.setInt(2, 10000);
                cs.execute();
                SQLException e = assertThrows(SQLException.class, () -> cs.getString(1));
                assertEquals("22001", e.getSQLState());
                cs.setInt(2, 8191);
                cs.execute();
                assertEquals(8191, cs.getString(1).length());
            } finally {
                Db.exec(c, "DROP FUNCTION xs(integer)");
            }
        }
    }

    /** An output parameter reads as its declared type; one registered as character data stays text. */
    @Test
    void outputParameterReadsAsTheFunctionDeclaresIt() throws SQLException {
        if (!Db.postgres()) return;
        try (Connection c = Db.connect()) {
            Db.exec(c, "CREATE OR REPLACE FUNCTION answer() RETURNS integer AS $$ SELECT 42 $$ LANGUAGE sql");
            try (CallableStatement cs = c.prepareCall("{? = call answer()}")) {
                cs.registerOutParameter(1, Types.OTHER);
                cs.execute();
                assertEquals(Integer.valueOf(42), cs.getObject(1));
                cs.registerOutParameter(1, Types.VARCHAR);
                cs.execute();
                assertEquals("42", cs.getObject(1));
                assertEquals(42L, cs.getLong(1));
            } finally {
                Db.exec(c, "DROP FUNCTION answer()");
            }
        }
    }
}
