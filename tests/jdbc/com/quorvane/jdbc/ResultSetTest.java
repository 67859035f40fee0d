package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.math.BigDecimal;
import java.sql.Connection;
import java.sql.Date;
import java.sql.ResultSet;
import java.sql.ResultSetMetaData;
import java.sql.SQLDataException;
import java.sql.SQLException;
import java.sql.Statement;
import java.sql.Time;
import java.sql.Timestamp;
import java.sql.Types;
import java.time.LocalDate;
import java.time.LocalDateTime;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/** Result sets: values of every kind, labels, nulls, conversions and the column metadata. */
class ResultSetTest {
    private Connection c;
    private Statement s;

    @BeforeEach
    void open() throws SQLException {
        c = Db.connect();
        Db.quietly(c, "DROP TABLE r");
        String dbl = Db.doubleType();
        String bin = Db.bytesType();
        Db.exec(c, "CREATE TABLE r (id integer NOT NULL, sm smallint, big bigint, d " + dbl + ", n numeric(12,4),"
                + " v varchar(10), b " + bin + ", dt date, tm time, ts " + Db.timestampType() + (Db.postgres() ? ", f boolean" : "")
                + ")");
        Db.exec(c, "INSERT INTO r VALUES (1, -5, 9000000000, 2.5, 1234.5600, 'Abc', " + (Db.postgres()
                ? "'\\x0aff'::bytea" : "X'0AFF'") + ", '2024-02-29', '13:45:07', '2001-02-03 04:05:06.5'"
                + (Db.postgres() ? ", true" : "") + ")");
        Db.exec(c, "INSERT INTO r (id) VALUES (2)");
        s = c.createStatement();
    }

    @AfterEach
    void close() throws SQLException {
        s.close();
        Db.quietly(c, "DROP TABLE r");
        c.close();
    }

    @Test
    void valuesByIndexAndByLabelWithoutRegardToCase() throws SQLException {
        try (ResultSet rs = s.executeQuery("SELECT id, sm, big, d, n, v, b, dt, tm, ts FROM r ORDER BY id")) {
            assertTrue(rs.isBeforeFirst());
            assertThrows(SQLException.class, () -> rs.getInt(1), "before the first row");
            assertTrue(rs.next());
            assertEquals(1, rs.getRow());
            assertEquals(-5, rs.getShort("SM"));
            assertEquals(-5, rs.getInt("sm"));
            assertEquals(9000000000L, rs.getLong("Big"));
            assertThrows(SQLDataException.class, () -> rs.getInt("big"), "out of range for int");
            assertEquals(2.5, rs.getDouble("d"));
            assertEquals(2, rs.getInt("d"));
            assertEquals("Abc", rs.getString("V"));
            assertArrayEquals(new byte[] {0x0A, (byte) 0xFF}, rs.getBytes("b"));
            assertEquals("0AFF", rs.getString("b"));
            assertEquals(LocalDate.of(2024, 2, 29), rs.getObject("dt", LocalDate.class));
            assertEquals(Time.valueOf("13:45:07"), rs.getTime("tm"));
            assertEquals(LocalDateTime.of(2001, 2, 3, 4, 5, 6, 500000000), rs.getObject("ts", LocalDateTime.class));
            assertEquals("2001-02-03 04:05:06.5", rs.getString("ts"));
            assertEquals("2024-02-29", rs.getString("dt"));
            assertEquals("13:45:07", rs.getString("tm"));
            assertFalse(rs.wasNull());
            if (Db.postgres()) {
                assertEquals(new BigDecimal("1234.5600"), rs.getBigDecimal("n"), "exact, with the column's scale");
                assertEquals("1234.5600", rs.getString("n"));
            } else {
                assertEquals(0, new BigDecimal("1234.56").compareTo(rs.getBigDecimal("n")));
            }
            assertThrows(SQLException.class, () -> rs.getInt("nope"));
            assertThrows(SQLException.class, () -> rs.getInt(11));
            assertTrue(rs.next());
            assertEquals(0, rs.getInt("sm"));
            assertTrue(rs.wasNull());
            assertNull(rs.getString("v"));
            assertTrue(rs.wasNull());
            assertNull(rs.getBytes("b"));
            assertNull(rs.getObject("n"));
            assertNull(rs.getTimestamp("ts"));
            assertEquals(0.0, rs.getDouble("d"));
            assertTrue(rs.wasNull());
            assertFalse(rs.getBoolean("big"));
            assertFalse(rs.next());
            assertFalse(rs.next());
            assertTrue(rs.isAfterLast());
            assertThrows(SQLException.class, () -> rs.getInt(1), "after the last row");
        }
    }

    @Test
    void getObjectGivesTheJavaTypeOfEachColumnAndMetaDataSaysSo() throws SQLException {
        try (ResultSet rs = s.executeQuery("SELECT id, big, d, n, v, b, dt, tm, ts FROM r WHERE id = 1")) {
            assertTrue(rs.next());
            ResultSetMetaData md = rs.getMetaData();
            assertEquals(9, md.getColumnCount());
            // Integer columns as declared on both (SQLite's read 64 bits wide); decimals are decimals.
            Class<?>[] expected = {Integer.class, Long.class, Double.class, BigDecimal.class,
                String.class, byte[].class, Date.class, Time.class, Timestamp.class};
            for (int i = 1; i <= 9; i++) {
                Object v = rs.getObject(i);
                assertInstanceOf(expected[i - 1], v, md.getColumnLabel(i));
                assertEquals(expected[i - 1].getName(), md.getColumnClassName(i), md.getColumnLabel(i));
            }
            assertEquals(Types.INTEGER, md.getColumnType(1));
            assertEquals(Types.BIGINT, md.getColumnType(2));
            assertEquals(Types.DATE, md.getColumnType(7));
            assertEquals(Types.TIME, md.getColumnType(8));
            assertEquals(Types.TIMESTAMP, md.getColumnType(9));
            assertEquals("id", md.getColumnLabel(1));
            assertEquals("v", md.getColumnName(5));
            assertEquals("r", md.getTableName(5));
            assertEquals(ResultSetMetaData.columnNoNulls, md.isNullable(1));
            assertTrue(md.isSigned(1));
            assertFalse(md.isSigned(5));
            assertTrue(md.getColumnTypeName(5).toLowerCase().contains("char"), md.getColumnTypeName(5));
            if (Db.postgres()) {
                assertEquals(Types.NUMERIC, md.getColumnType(4));
                assertEquals(12, md.getPrecision(4));
                assertEquals(4, md.getScale(4));
            }
            rs.close();
            assertEquals("n", md.getColumnLabel(4), "metadata outlives its result set");
        }
    }

    @Test
    void labelsOfExpressionsAndTheFirstOfTwoEqualLabels() throws SQLException {
        try (ResultSet rs = s.executeQuery("SELECT 1 AS x, 2 AS X, 'q' AS \"MixedCase\"")) {
            assertTrue(rs.next());
            assertEquals(1, rs.getInt("x"));
            assertEquals(1, rs.getInt("X"), "the first column of a label wins");
            assertEquals("q", rs.getString("mixedcase"));
            assertEquals(3, rs.findColumn("MIXEDCASE"));
        }
    }

    @Test
    void booleansOfPostgresAreBooleans() throws SQLException {
        if (!Db.postgres()) return;
        try (ResultSet rs = s.executeQuery("SELECT f, NOT f FROM r WHERE id = 1")) {
            assertTrue(rs.next());
            assertEquals(Boolean.TRUE, rs.getObject(1));
            assertTrue(rs.getBoolean(1));
            assertFalse(rs.getBoolean(2));
            assertEquals(Types.BOOLEAN, rs.getMetaData().getColumnType(1));
        }
    }

    @Test
    void booleanParametersAndTextBeyondTheBasicPlane() throws SQLException {
        String text = "z\u00fc \u4e2d \uD83D\uDE00";
        try (ResultSet rs = s.executeQuery("SELECT '" + text + "'")) {
            assertTrue(rs.next());
            assertEquals(text, rs.getString(1), "the SQL text and the value keep characters outside the BMP");
        }
        if (!Db.postgres()) return;
        try (var ps = c.prepareStatement("SELECT count(*) FROM r WHERE f = ?")) {
            ps.setBoolean(1, true);
            try (ResultSet rs = ps.executeQuery()) {
                assertTrue(rs.next());
                assertEquals(1, rs.getInt(1));
            }
            ps.setObject(1, Boolean.FALSE);
            try (ResultSet rs = ps.executeQuery()) {
                assertTrue(rs.next());
                assertEquals(0, rs.getInt(1));
            }
        }
    }

    @Test
    void textLongerThanItsBufferIsReadWhole() throws SQLException {
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < 40000; i++) sb.append((char) ('a' + i % 26));
        String sql = Db.sqlite() ? "SELECT replace(hex(zeroblob(20000)), '0', 'x')"
                : "SELECT repeat('abcdefghijklmnopqrstuvwxyz', 40000 / 26 + 1)";
        try (ResultSet rs = s.executeQuery(sql)) {
            assertTrue(rs.next());
            String v = rs.getString(1);
            assertEquals(v, rs.getString(1), "read twice: the same value");
            assertTrue(v.length() >= 40000, "length " + v.length());
        }
    }

    @Test
    void numbersOfTheCurrentRowAreRefusedOnceItsResultSetEnds() throws SQLException {
        // Numbers of a fetched row are read from the row's cache; each way a result set ends must refuse them.
        String q = "SELECT id, sm, big, d FROM r WHERE id = 1";
        ResultSet closed = s.executeQuery(q);
        assertTrue(closed.next());
        assertEquals(-5L, closed.getLong(2), "a smallint as a long");
        assertEquals(2.5f, closed.getFloat(4), "a double as a float");
        assertEquals(9000000000L, closed.getLong(3));
        assertThrows(SQLException.class, () -> closed.getInt(0));
        assertThrows(SQLException.class, () -> closed.getLong(5));
        closed.close();
        assertThrows(SQLException.class, () -> closed.getLong(3));
        assertThrows(SQLException.class, () -> closed.getDouble(4));

        ResultSet replaced = s.executeQuery(q);
        assertTrue(replaced.next());
        assertEquals(1, replaced.getInt(1));
        try (ResultSet next = s.executeQuery(q)) {
            assertThrows(SQLException.class, () -> replaced.getInt(1), "the statement ran again");
            assertTrue(next.next());
            assertEquals(2.5, next.getDouble(4));
        }

        Statement other = c.createStatement();
        ResultSet orphan = other.executeQuery(q);
        assertTrue(orphan.next());
        other.close();
        assertThrows(SQLException.class, () -> orphan.getShort(2), "its statement closed");
    }

    @Test
    void closedResultSetRefusesWork() throws SQLException {
        ResultSet rs = s.executeQuery("SELECT 1");
        rs.close();
        assertTrue(rs.isClosed());
        assertThrows(SQLException.class, rs::next);
        assertThrows(SQLException.class, rs::first, "forward-only");
        assertThrows(java.sql.SQLFeatureNotSupportedException.class, () -> {
            try (ResultSet r2 = s.executeQuery("SELECT 1")) {
                r2.next();
                r2.updateInt(1, 2);
            }
        });
    }
}
