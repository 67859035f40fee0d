package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.math.BigDecimal;
import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.sql.Timestamp;
import org.junit.jupiter.api.Test;

/** Scroll-insensitive result sets, held in memory: every move and the values of the rows moved to. */
class ScrollableResultSetTest {
    @Test
    void everyMoveOfAScrollInsensitiveResultLandsOnTheRightRow() throws SQLException {
        try (Connection c = Db.connect();
                Statement s = c.createStatement(ResultSet.TYPE_SCROLL_INSENSITIVE, ResultSet.CONCUR_READ_ONLY)) {
            assertNull(c.getWarnings(), "scroll-insensitive is offered as asked");
            assertEquals(ResultSet.TYPE_SCROLL_INSENSITIVE, s.getResultSetType());
            assertTrue(c.getMetaData().supportsResultSetType(ResultSet.TYPE_SCROLL_INSENSITIVE));
            Db.quietly(c, "DROP TABLE scr");
            Db.exec(c, "CREATE TABLE scr (i integer, v varchar(10))");
            for (int i = 1; i <= 5; i++) Db.exec(c, "INSERT INTO scr VALUES (" + i + ", 'v" + i + "')");
            try (ResultSet rs = s.executeQuery("SELECT i, v FROM scr ORDER BY i")) {
                assertEquals(ResultSet.TYPE_SCROLL_INSENSITIVE, rs.getType());
                assertTrue(rs.isBeforeFirst());
                assertTrue(rs.last());
                assertEquals(5, rs.getInt(1));
                assertEquals(5, rs.getRow());
                assertTrue(rs.isLast());
                assertTrue(rs.previous());
                assertEquals("v4", rs.getString("v"));
                assertTrue(rs.absolute(2));
                assertEquals(2, rs.getInt(1));
                assertTrue(rs.absolute(-1));
                assertEquals(5, rs.getInt(1));
                assertTrue(rs.relative(-3));
                assertEquals(2, rs.getInt(1));
                assertFalse(rs.relative(10));
                assertTrue(rs.isAfterLast());
                assertEquals(0, rs.getRow());
                assertThrows(SQLException.class, () -> rs.getInt(1));
                assertTrue(rs.first());
                assertTrue(rs.isFirst());
                assertEquals(1, rs.getInt(1));
                rs.afterLast();
                assertTrue(rs.previous());
                assertEquals(5, rs.getInt(1));
                rs.beforeFirst();
                int n = 0;
                while (rs.next()) n += rs.getInt(1);
                assertEquals(15, n);
                assertFalse(rs.absolute(0));
                assertTrue(rs.isBeforeFirst());
                assertEquals(s, rs.getStatement());
                assertEquals("i", rs.getMetaData().getColumnLabel(1).toLowerCase());
            }
            // Empty: nothing to move to.
            try (ResultSet rs = s.executeQuery("SELECT i FROM scr WHERE i < 0")) {
                assertFalse(rs.first());
                assertFalse(rs.last());
                assertFalse(rs.isBeforeFirst());
            }
        }
    }

    @Test
    void heldValuesReadAsTheCursorsDo() throws SQLException {
        try (Connection c = Db.connect()) {
            Db.quietly(c, "DROP TABLE scv");
            String bin = Db.bytesType();
            Db.exec(c, "CREATE TABLE scv (n numeric(10,2), d double precision, b " + bin + ", ts timestamp, s varchar(5))");
            try (PreparedStatement ins = c.prepareStatement("INSERT INTO scv VALUES (?, ?, ?, ?, ?)")) {
                ins.setBigDecimal(1, new BigDecimal("12.50"));
                ins.setDouble(2, 2.5);
                ins.setBytes(3, new byte[] {1, (byte) 0xAB});
                ins.setTimestamp(4, Timestamp.valueOf("2024-02-29 10:11:12"));
                ins.setNull(5, java.sql.Types.VARCHAR);
                ins.executeUpdate();
            }
            try (PreparedStatement ps = c.prepareStatement("SELECT n, d, b, ts, s FROM scv",
                    ResultSet.TYPE_SCROLL_SENSITIVE, ResultSet.CONCUR_READ_ONLY)) {
                assertNotNull(c.getWarnings(), "scroll-sensitive becomes insensitive with a warning");
                assertEquals(ResultSet.TYPE_SCROLL_INSENSITIVE, ps.getResultSetType());
                try (ResultSet rs = ps.executeQuery()) {
                    assertTrue(rs.last());
                    assertEquals(0, new BigDecimal("12.5").compareTo(rs.getBigDecimal(1)));
                    assertEquals(2.5, rs.getDouble(2));
                    assertEquals(2, rs.getInt(2));
                    assertArrayEquals(new byte[] {1, (byte) 0xAB}, rs.getBytes(3));
                    assertEquals(Timestamp.valueOf("2024-02-29 10:11:12"), rs.getTimestamp(4));
                    assertEquals(java.sql.Date.valueOf("2024-02-29"), rs.getDate(4));
                    assertNull(rs.getString(5));
                    assertTrue(rs.wasNull());
                }
            }
        }
    }
}
