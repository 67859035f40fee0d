package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.math.BigDecimal;
import java.sql.Array;
import java.sql.Connection;
import java.sql.Date;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.ResultSetMetaData;
import java.sql.SQLException;
import java.sql.SQLFeatureNotSupportedException;
import java.sql.Statement;
import java.sql.Timestamp;
import java.sql.Types;
import java.time.Instant;
import java.util.Map;
import org.junit.jupiter.api.Test;

/**
 * Arrays: PostgreSQL's array columns read and written through java.sql.Array
 * (values checked on the server as well as read back), and the refusal of
 * the data sources that have none.
 */
class ArrayTest {
    private static Object[] read(Connection c, String sql) throws SQLException {
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery(sql)) {
            assertTrue(rs.next());
            Array a = rs.getArray(1);
            return a == null ? null : (Object[]) a.getArray();
        }
    }

    private static String one(Connection c, String sql) throws SQLException {
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery(sql)) {
            assertTrue(rs.next());
            return rs.getString(1);
        }
    }

    @Test
    void dataSourcesWithoutArraysRefuseThem() throws SQLException {
        assumeTrue(!Db.postgres());
        try (Connection c = Db.connect()) {
            assertThrows(SQLFeatureNotSupportedException.class, () -> c.createArrayOf("integer", new Object[] {1}));
            Db.exec(c, "CREATE TABLE arr_none (a text)");
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO arr_none VALUES (?)")) {
                Array foreign = new ForeignArray("int4", Types.INTEGER, new Integer[] {1});
                assertThrows(SQLFeatureNotSupportedException.class, () -> ps.setArray(1, foreign));
                assertThrows(SQLFeatureNotSupportedException.class, () -> ps.setObject(1, foreign));
            }
            // The connection stays usable after the refusal.
            assertTrue(c.isValid(2));
        }
    }

    @Test
    void everyBaseTypeRoundTripsWithNullElements() throws SQLException {
        assumeTrue(Db.postgres());
        Timestamp ts = Timestamp.valueOf("2024-02-29 13:45:07.123456");
        Timestamp instant = Timestamp.from(Instant.parse("2024-02-29T12:00:00.5Z"));
        Object[][] cases = {
            {"int2", new Object[] {(short) 1, null, (short) -32768}, new Short[] {1, null, -32768}},
            {"int4", new Object[] {1, null, Integer.MAX_VALUE}, new Integer[] {1, null, Integer.MAX_VALUE}},
            {"int8", new Object[] {Long.MIN_VALUE, null}, new Long[] {Long.MIN_VALUE, null}},
            {"float4", new Object[] {1.5f, null}, new Float[] {1.5f, null}},
            {"float8", new Object[] {0.1 + 0.2, null, Double.NaN}, new Double[] {0.1 + 0.2, null, Double.NaN}},
            {"numeric", new Object[] {new BigDecimal("12345678901234567890.0100"), null},
                new BigDecimal[] {new BigDecimal("12345678901234567890.0100"), null}},
            {"bool", new Object[] {true, null, false}, new Boolean[] {true, null, false}},
            {"varchar", new Object[] {"héllo", null}, new String[] {"héllo", null}},
            {"date", new Object[] {Date.valueOf("2024-02-29"), null}, new Date[] {Date.valueOf("2024-02-29"), null}},
            {"timestamp", new Object[] {ts, null}, new Timestamp[] {ts, null}},
            {"timestamptz", new Object[] {instant, null}, new Timestamp[] {instant, null}},
            {"uuid", new Object[] {"6f1c2a9e-3b4d-4e5f-8a7b-9c0d1e2f3a4b", null},
                new java.util.UUID[] {java.util.UUID.fromString("6f1c2a9e-3b4d-4e5f-8a7b-9c0d1e2f3a4b"), null}},
        };
        try (Connection c = Db.connect()) {
            for (Object[] k : cases) {
                String type = (String) k[0];
                // A table of its own per type: a prepared text is kept with the types it was described with.
                String table = "arr_" + type;
                Db.exec(c, "DROP TABLE IF EXISTS " + table, "CREATE TABLE " + table + " (a " + type + "[])");
                try (PreparedStatement ps = c.prepareStatement("INSERT INTO " + table + " VALUES (?)")) {
                    Array a = c.createArrayOf(type, (Object[]) k[1]);
                    assertEquals(type, a.getBaseTypeName());
                    ps.setArray(1, a);
                    assertEquals(1, ps.executeUpdate());
                }
                assertEquals("true", one(c, "SELECT (a[2] IS NULL)::text FROM " + table), type);
                assertEquals(String.valueOf(((Object[]) k[1]).length), one(c, "SELECT cardinality(a) FROM " + table));
                Object[] back = read(c, "SELECT a FROM " + table);
                assertEquals(k[2].getClass(), back.getClass(), type);
                assertArrayEquals((Object[]) k[2], back, type);
            }
        }
    }

    @Test
    void textElementsKeepQuotesBackslashesCommasBracesAndTheWordNull() throws SQLException {
        assumeTrue(Db.postgres());
        String[] values = {"NULL", null, "null", "a,b", "q\"x", "b\\s", "{}", "{", " lead and trail ", "", "x y"};
        try (Connection c = Db.connect()) {
            Db.exec(c, "DROP TABLE IF EXISTS arr_text", "CREATE TABLE arr_text (id int, a text[])");
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO arr_text VALUES (?, ?)")) {
                ps.setInt(1, 1);
                ps.setArray(2, c.createArrayOf("text", values));
                ps.executeUpdate();
                // The same elements written by the server itself.
                ps.setInt(1, 2);
                ps.setNull(2, Types.ARRAY);
                ps.executeUpdate();
            }
            Db.exec(c, "UPDATE arr_text SET a = ARRAY['NULL', NULL, 'null', 'a,b', 'q\"x', E'b\\\\s', '{}', '{',"
                    + " ' lead and trail ', '', 'x y'] WHERE id = 2");
            assertEquals("NULL|<null>|null|a,b|q\"x|b\\s|{}|{| lead and trail ||x y",
                    one(c, "SELECT array_to_string(a, '|', '<null>') FROM arr_text WHERE id = 1"));
            assertArrayEquals(values, read(c, "SELECT a FROM arr_text WHERE id = 1"));
            assertArrayEquals(values, read(c, "SELECT a FROM arr_text WHERE id = 2"));
            assertEquals("true", one(c, "SELECT ((SELECT a FROM arr_text WHERE id = 1) = (SELECT a FROM arr_text"
                    + " WHERE id = 2))::text"));
        }
    }

    @Test
    void emptyAndTwoDimensionalArraysAndTheirSlicesAndResultSets() throws SQLException {
        assumeTrue(Db.postgres());
        try (Connection c = Db.connect()) {
            Db.exec(c, "DROP TABLE IF EXISTS arr_dims", "CREATE TABLE arr_dims (id int, a int4[], m int4[][])");
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO arr_dims VALUES (?, ?, ?)")) {
                ps.setInt(1, 1);
                ps.setObject(2, c.createArrayOf("integer", new Object[0]));
                ps.setObject(3, c.createArrayOf("int4", new Integer[][] {{1, 2}, {3, null}}), Types.ARRAY);
                ps.executeUpdate();
            }
            assertEquals("{}", one(c, "SELECT a FROM arr_dims"));
            assertEquals("2", one(c, "SELECT array_ndims(m) FROM arr_dims"));
            assertEquals("3", one(c, "SELECT m[2][1] FROM arr_dims"));
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT a, m FROM arr_dims")) {
                assertTrue(rs.next());
                Array empty = rs.getArray(1);
                assertEquals(0, ((Integer[]) empty.getArray()).length);
                try (ResultSet e = empty.getResultSet()) {
                    assertFalse(e.next());
                }
                Array m = (Array) rs.getObject("m");
                assertEquals(Types.INTEGER, m.getBaseType());
                Integer[][] all = (Integer[][]) m.getArray();
                assertArrayEquals(new Integer[][] {{1, 2}, {3, null}}, all);
                assertArrayEquals(new Integer[][] {{3, null}}, (Integer[][]) m.getArray(2, 1));
                assertThrows(SQLException.class, () -> m.getArray(2, 2));
                assertThrows(SQLException.class, () -> m.getArray(0, 1));
                try (ResultSet rows = m.getResultSet()) {
                    assertTrue(rows.next());
                    assertEquals(1, rows.getInt("INDEX"));
                    Array first = rows.getArray("VALUE");
                    assertArrayEquals(new Integer[] {1, 2}, (Integer[]) first.getArray());
                    assertTrue(rows.next());
                    assertEquals(2, rows.getInt(1));
                    try (ResultSet inner = rows.getArray(2).getResultSet()) {
                        assertTrue(inner.next());
                        assertEquals(3, inner.getInt(2));
                        assertTrue(inner.next());
                        assertNull(inner.getObject(2));
                        assertEquals(0, inner.getInt(2));
                        assertTrue(inner.wasNull());
                    }
                    assertFalse(rows.next());
                }
                try (ResultSet part = m.getResultSet(2, 1)) {
                    assertTrue(part.next());
                    assertEquals(2, part.getInt(1));
                    assertFalse(part.next());
                }
                assertThrows(SQLException.class, () -> m.getArray(Map.of("int4", Integer.class)));
                m.free();
                assertThrows(SQLException.class, m::getArray);
            }
        }
    }

    @Test
    void arrayColumnsAreDescribedAsArraysAndReadWhereverRowsAreHeld() throws SQLException {
        assumeTrue(Db.postgres());
        try (Connection c = Db.connect()) {
            Db.exec(c, "DROP TABLE IF EXISTS arr_md", "CREATE TABLE arr_md (id int, a int4[], t text[], j jsonb)",
                    "INSERT INTO arr_md VALUES (1, '{1,2}', '{x}', '{\"k\": [1]}'), (2, NULL, '{}', NULL)");
            try (Statement s = c.createStatement(ResultSet.TYPE_SCROLL_INSENSITIVE, ResultSet.CONCUR_READ_ONLY);
                    ResultSet rs = s.executeQuery("SELECT id, a AS ints, t, j FROM arr_md ORDER BY id")) {
                ResultSetMetaData md = rs.getMetaData();
                assertEquals(Types.ARRAY, md.getColumnType(2));
                assertEquals("_int4", md.getColumnTypeName(2));
                assertEquals("java.sql.Array", md.getColumnClassName(2));
                assertEquals(Types.ARRAY, md.getColumnType(3));
                assertEquals("_text", md.getColumnTypeName(3));
                // Other types psqlODBC does not know stay text.
                assertTrue(md.getColumnType(4) != Types.ARRAY);
                assertTrue(rs.last());
                assertNull(rs.getArray(2));
                assertNull(rs.getObject(2));
                assertEquals(0, ((Object[]) rs.getArray(3).getArray()).length);
                assertTrue(rs.first());
                assertEquals("{1,2}", rs.getString(2));
                assertArrayEquals(new Integer[] {1, 2}, (Integer[]) rs.getArray("ints").getArray());
                assertThrows(SQLException.class, () -> rs.getArray(1));
            }
            // The prepared statement's description before it runs says the same.
            try (PreparedStatement ps = c.prepareStatement("SELECT a FROM arr_md WHERE id = ?")) {
                assertEquals(Types.ARRAY, ps.getMetaData().getColumnType(1));
            }
        }
    }

    @Test
    void anotherDriversArrayIsWrittenFromItsElements() throws SQLException {
        assumeTrue(Db.postgres());
        try (Connection c = Db.connect()) {
            Db.exec(c, "DROP TABLE IF EXISTS arr_foreign", "CREATE TABLE arr_foreign (a int8[], t text[])");
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO arr_foreign VALUES (?, ?)")) {
                ps.setArray(1, new ForeignArray("int8", Types.BIGINT, new long[] {7, -1}));
                ps.setObject(2, new ForeignArray("text", Types.VARCHAR, new String[] {"a\"b", null}));
                ps.executeUpdate();
            }
            assertEquals("{7,-1}", one(c, "SELECT a FROM arr_foreign"));
            assertEquals("{\"a\\\"b\",NULL}", one(c, "SELECT t FROM arr_foreign"));
        }
    }

    /** An array of some other driver: only its base type and elements are known. */
    private static final class ForeignArray implements Array {
        private final String name;
        private final int type;
        private final Object elements;

        ForeignArray(String name, int type, Object elements) {
            this.name = name;
            this.type = type;
            this.elements = elements;
        }

        @Override public String getBaseTypeName() { return name; }
        @Override public int getBaseType() { return type; }
        @Override public Object getArray() { return elements; }
        @Override public Object getArray(Map<String, Class<?>> map) { return elements; }
        @Override public Object getArray(long index, int count) { throw new UnsupportedOperationException(); }
        @Override public Object getArray(long index, int count, Map<String, Class<?>> map) {
            throw new UnsupportedOperationException();
        }
        @Override public ResultSet getResultSet() { throw new UnsupportedOperationException(); }
        @Override public ResultSet getResultSet(Map<String, Class<?>> map) { throw new UnsupportedOperationException(); }
        @Override public ResultSet getResultSet(long index, int count) { throw new UnsupportedOperationException(); }
        @Override public ResultSet getResultSet(long index, int count, Map<String, Class<?>> map) {
            throw new UnsupportedOperationException();
        }
        @Override public void free() {}
    }
}
