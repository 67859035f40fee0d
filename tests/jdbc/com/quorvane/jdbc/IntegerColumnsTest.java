package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.Connection;
import java.sql.DatabaseMetaData;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.ResultSetMetaData;
import java.sql.SQLException;
import java.sql.Statement;
import java.sql.Types;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * Integer columns described as declared: INTEGER, SMALLINT, BOOLEAN and BIGINT
 * keep their JDBC types, getObject gives JDBC's class for each, and a value
 * wider than the column's type (SQLite keeps any integer in 64 bits) arrives
 * whole: a Long from getObject, 22003 from a getter too narrow for it, never
 * a cut value. The cursor, the rows of a scroll-insensitive result and a
 * result kept while the statement moves on answer alike.
 */
class IntegerColumnsTest {
    private static final long TWO_31 = 1L << 31, TWO_40 = 1L << 40;

    private Connection c;

    @BeforeEach
    void open() throws SQLException {
        c = Db.connect();
        Db.quietly(c, "DROP TABLE w");
        Db.exec(c, "CREATE TABLE w (k integer, i INTEGER, s SMALLINT, b BOOLEAN, g BIGINT, ch CHAR(3))");
    }

    @AfterEach
    void close() throws SQLException {
        Db.quietly(c, "DROP TABLE w");
        c.close();
    }

    /** A getter's answer: the value's class and value (wasNull marked), or the failure's SQLSTATE. */
    private interface Getter {
        Object get(ResultSet rs, int i) throws SQLException;
    }

    private static final String[] NAMES = {"getObject", "getInt", "getLong", "getShort", "getBoolean"};
    private static final Getter[] GETTERS = {ResultSet::getObject, ResultSet::getInt, ResultSet::getLong,
        ResultSet::getShort, ResultSet::getBoolean};

    private static String answer(ResultSet rs, int i, Getter g) {
        try {
            Object v = g.get(rs, i);
            return (v == null ? "null" : v.getClass().getSimpleName() + " " + v) + (rs.wasNull() ? " (null)" : "");
        } catch (SQLException e) {
            return "SQLSTATE " + e.getSQLState();
        } catch (RuntimeException e) {
            return "unchecked " + e.getClass().getSimpleName();
        }
    }

    /**
     * What JDBC's getters answer for an integer {@code v} held by a column
     * whose getObject gives {@code object} (null for SQL NULL).
     */
    private static List<String> expected(String object, Long v) {
        List<String> r = new ArrayList<>();
        r.add(object == null ? "null (null)" : object);
        if (v == null) {
            for (String z : new String[] {"Integer 0", "Long 0", "Short 0", "Boolean false"}) r.add(z + " (null)");
            return r;
        }
        r.add(v == (int) (long) v ? "Integer " + v : "SQLSTATE 22003");
        r.add("Long " + v);
        r.add(v == (short) (long) v ? "Short " + v : "SQLSTATE 22003");
        r.add("Boolean " + (v != 0));
        return r;
    }

    private static void check(ResultSet rs, String where, List<String> wrong, String[] objects, Long[] values)
            throws SQLException {
        for (int col = 1; col <= objects.length; col++) {
            List<String> want = expected(objects[col - 1], values[col - 1]);
            for (int g = 0; g < GETTERS.length; g++) {
                String got = answer(rs, col, GETTERS[g]);
                if (!got.equals(want.get(g))) {
                    wrong.add(where + " column " + col + " " + NAMES[g] + ": " + got + ", wanted " + want.get(g));
                }
            }
        }
    }

    /** Rows of (k, i, s, b, g) with what getObject gives for i, s, b, g. */
    private static final Object[][] SQLITE_ROWS = {
        {1, 7L, "Integer 7", 7L, "Integer 7", 1L, "Boolean true", 7L, "Long 7"},
        {2, -5L, "Integer -5", -5L, "Integer -5", 0L, "Boolean false", -5L, "Long -5"},
        {3, TWO_31, "Long " + TWO_31, TWO_31, "Long " + TWO_31, TWO_31, "Long " + TWO_31, TWO_31, "Long " + TWO_31},
        {4, TWO_40, "Long " + TWO_40, TWO_40, "Long " + TWO_40, TWO_40, "Long " + TWO_40, TWO_40, "Long " + TWO_40},
        {5, -TWO_40, "Long " + -TWO_40, -40000L, "Integer -40000", -1L, "Integer -1", Long.MIN_VALUE,
            "Long " + Long.MIN_VALUE},
        {6, null, null, null, null, null, null, null, null}};

    private static final Object[][] POSTGRES_ROWS = {
        {1, 7L, "Integer 7", 7L, "Integer 7", 1L, "Boolean true", 7L, "Long 7"},
        {2, -5L, "Integer -5", -5L, "Integer -5", 0L, "Boolean false", -TWO_40, "Long " + -TWO_40},
        {3, null, null, null, null, null, null, null, null}};

    @Test
    void valuesArriveWholeAsJdbcTypesThroughCursorAndHeldRows() throws SQLException {
        Object[][] rows = Db.postgres() ? POSTGRES_ROWS : SQLITE_ROWS;
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO w (k, i, s, b, g) VALUES (?, ?, ?, ?, ?)")) {
            for (Object[] row : rows) {
                ps.setInt(1, (Integer) row[0]);
                for (int col = 0; col < 4; col++) {
                    Long v = (Long) row[1 + 2 * col];
                    if (v == null) ps.setNull(2 + col, col == 2 ? Types.BOOLEAN : Types.BIGINT);
                    else if (col == 2 && Db.postgres()) ps.setBoolean(2 + col, v != 0);
                    else ps.setLong(2 + col, v);
                }
                ps.executeUpdate();
            }
        }
        List<String> wrong = new ArrayList<>();
        // The cursor, the rows of a scroll-insensitive result, and the rest of a
        // result kept while the statement moves on (getMoreResults(KEEP_CURRENT_RESULT)).
        String[] modes = {"cursor", "held", "kept"};
        for (String mode : modes) {
            int type = mode.equals("held") ? ResultSet.TYPE_SCROLL_INSENSITIVE : ResultSet.TYPE_FORWARD_ONLY;
            try (Statement s = c.createStatement(type, ResultSet.CONCUR_READ_ONLY)) {
                assertTrue(s.execute("SELECT i, s, b, g FROM w ORDER BY k"));
                ResultSet rs = s.getResultSet();
                if (mode.equals("kept")) s.getMoreResults(Statement.KEEP_CURRENT_RESULT);
                for (Object[] row : rows) {
                    assertTrue(rs.next(), mode);
                    String[] objects = new String[4];
                    Long[] values = new Long[4];
                    for (int col = 0; col < 4; col++) {
                        values[col] = (Long) row[1 + 2 * col];
                        objects[col] = (String) row[2 + 2 * col];
                    }
                    check(rs, mode + " row " + row[0], wrong, objects, values);
                }
                rs.close();
            }
        }
        wrong.forEach(System.out::println);
        assertTrue(wrong.isEmpty(), wrong.size() + " wrong answers, first: " + (wrong.isEmpty() ? "" : wrong.get(0)));
    }

    @Test
    void metadataGivesTheDeclaredTypesAndExpressionsStayBigint() throws SQLException {
        Db.exec(c, "INSERT INTO w VALUES (1, 2, 3, " + (Db.postgres() ? "true" : "1") + ", 4, 'abc')");
        int[] declared = {Types.INTEGER, Types.SMALLINT, Types.BOOLEAN, Types.BIGINT, Types.CHAR};
        String[] classes = {"java.lang.Integer", "java.lang.Integer", "java.lang.Boolean", "java.lang.Long",
            "java.lang.String"};
        String sql = "SELECT i, s, b, g, ch, sum(i) AS total FROM w GROUP BY i, s, b, g, ch";
        try (PreparedStatement ps = c.prepareStatement(sql)) {
            // Before execution and from the result alike.
            ResultSetMetaData before = ps.getMetaData();
            try (ResultSet rs = ps.executeQuery()) {
                ResultSetMetaData md = rs.getMetaData();
                for (int col = 1; col <= 5; col++) {
                    assertEquals(declared[col - 1], md.getColumnType(col), "result column " + col);
                    assertEquals(declared[col - 1], before.getColumnType(col), "described column " + col);
                    assertEquals(classes[col - 1], md.getColumnClassName(col), "column " + col);
                }
                assertEquals(Types.BIGINT, md.getColumnType(6), "an integer expression");
                assertTrue(rs.next());
                assertEquals(Boolean.TRUE, rs.getObject(3));
                assertEquals("abc", rs.getObject(5));
                assertEquals(Long.valueOf(2), rs.getObject(6));
            }
        }
        DatabaseMetaData dm = c.getMetaData();
        try (ResultSet rs = dm.getColumns(null, null, "w", "%")) {
            int[] want = {Types.INTEGER, Types.INTEGER, Types.SMALLINT, Types.BOOLEAN, Types.BIGINT, Types.CHAR};
            for (int col = 0; col < want.length; col++) {
                assertTrue(rs.next());
                assertEquals(want[col], rs.getInt("DATA_TYPE"), rs.getString("COLUMN_NAME"));
            }
        }
    }
}
