package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.OutputStream;
import java.io.Reader;
import java.io.StringReader;
import java.io.Writer;
import java.sql.Blob;
import java.sql.Clob;
import java.sql.Connection;
import java.sql.NClob;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import org.junit.jupiter.api.Test;

/** Blob, Clob and NClob objects held in memory: edited, stored, read back; the table holds their content. */
class LobTest {
    private static String binary() {
        return Db.bytesType();
    }

    @Test
    void aBlobEditedInMemoryIsStoredAndReadBackWhole() throws Exception {
        try (Connection c = Db.connect()) {
            Db.quietly(c, "DROP TABLE lob1");
            Db.exec(c, "CREATE TABLE lob1 (i integer, b " + binary() + ")");
            Blob b = c.createBlob();
            assertEquals(0, b.length());
            assertEquals(3, b.setBytes(1, new byte[] {1, 2, 3}));
            b.setBytes(3, new byte[] {9, 8, 7, 6}, 1, 2);  // overwrites 3, grows by one
            try (OutputStream out = b.setBinaryStream(b.length() + 1)) {
                out.write(new byte[] {5, 5});
            }
            assertArrayEquals(new byte[] {1, 2, 8, 7, 5, 5}, b.getBytes(1, 100));
            assertEquals(3, b.position(new byte[] {8, 7}, 1));
            assertEquals(-1, b.position(new byte[] {8, 7}, 4));
            b.truncate(5);
            byte[] big = new byte[100_000];
            for (int i = 0; i < big.length; i++) big[i] = (byte) (i * 31);
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO lob1 VALUES (?, ?)")) {
                ps.setInt(1, 1);
                ps.setBlob(2, b);
                ps.executeUpdate();
                ps.setInt(1, 2);
                ps.setBlob(2, new ByteArrayInputStream(big), big.length);
                ps.executeUpdate();
                ps.setInt(1, 3);
                ps.setObject(2, b);
                ps.executeUpdate();
                ps.setInt(1, 4);
                ps.setBlob(2, (Blob) null);
                ps.executeUpdate();
            }
            b.free();
            assertThrows(SQLException.class, b::length);
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT i, b FROM lob1 ORDER BY i")) {
                assertTrue(rs.next());
                assertArrayEquals(new byte[] {1, 2, 8, 7, 5}, rs.getBytes(2));
                assertTrue(rs.next());
                Blob read = rs.getBlob("b");
                assertEquals(big.length, read.length());
                assertArrayEquals(big, read.getBinaryStream().readAllBytes());
                assertArrayEquals(new byte[] {big[10], big[11]}, read.getBytes(11, 2));
                assertTrue(rs.next());
                assertArrayEquals(new byte[] {1, 2, 8, 7, 5}, rs.getBlob(2).getBytes(1, 5));
                assertTrue(rs.next());
                assertNull(rs.getBlob(2));
            }
        }
    }

    @Test
    void aClobAndAnNClobAreStoredAndReadBackAsText() throws Exception {
        try (Connection c = Db.connect()) {
            Db.quietly(c, "DROP TABLE lob2");
            Db.exec(c, "CREATE TABLE lob2 (i integer, t " + Db.textType() + ")");
            Clob k = c.createClob();
            k.setString(1, "Hello, world");
            k.setString(8, "Wörld!", 0, 6);
            try (Writer w = k.setCharacterStream(k.length() + 1)) {
                w.write(" ☃");
            }
            assertEquals("Hello, Wörld! ☃", k.getSubString(1, 100));
            assertEquals(8, k.position("Wö", 1));
            NClob n = c.createNClob();
            n.setString(1, "naïve");
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO lob2 VALUES (?, ?)")) {
                ps.setInt(1, 1);
                ps.setClob(2, k);
                ps.executeUpdate();
                ps.setInt(1, 2);
                ps.setNClob(2, n);
                ps.executeUpdate();
                ps.setInt(1, 3);
                ps.setClob(2, new StringReader("from a reader"));
                ps.executeUpdate();
            }
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT i, t FROM lob2 ORDER BY i")) {
                assertTrue(rs.next());
                assertEquals("Hello, Wörld! ☃", rs.getString(2));
                Clob read = rs.getClob(2);
                assertEquals(15, read.length());
                assertEquals("Wörld", read.getSubString(8, 5));
                try (Reader r = read.getCharacterStream()) {
                    char[] buf = new char[5];
                    assertEquals(5, r.read(buf));
                    assertEquals("Hello", new String(buf));
                }
                assertTrue(rs.next());
                assertEquals("naïve", rs.getNClob("t").getSubString(1, 5));
                assertTrue(rs.next());
                assertEquals("from a reader", rs.getClob(2).getSubString(1, 50));
            }
        }
    }
}
