package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.BatchUpdateException;
import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * What an execution reports is what it did: a statement run again with a
 * row limit starts from its own first row, and text that the data source
 * would cut at U+0000 is refused rather than stored cut.
 */
class ValueIntegrityTest {
    private Connection c;

    @BeforeEach
    void open() throws SQLException {
        c = Db.connect();
        Db.quietly(c, "DROP TABLE vi");
        Db.exec(c, "CREATE TABLE vi (i integer, s varchar(20))");
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO vi (i) VALUES (?)")) {
            for (int i = 1; i <= 10; i++) {
                ps.setInt(1, i);
                ps.executeUpdate();
            }
        }
    }

    @AfterEach
    void close() throws SQLException {
        c.close();
    }

    private static List<Integer> ints(ResultSet rs) throws SQLException {
        List<Integer> out = new ArrayList<>();
        try (rs) {
            while (rs.next()) out.add(rs.getInt(1));
        }
        return out;
    }

    @Test
    void aStatementRunAgainWithMaxRowsStartsFromItsOwnFirstRow() throws SQLException {
        try (PreparedStatement ps = c.prepareStatement("SELECT i FROM vi WHERE i > ? ORDER BY i")) {
            ps.setMaxRows(3);
            ps.setInt(1, 0);
            assertEquals(List.of(1, 2, 3), ints(ps.executeQuery()));
            assertEquals(List.of(1, 2, 3), ints(ps.executeQuery()), "the same rows again");
            ps.setInt(1, 5);
            assertEquals(List.of(6, 7, 8), ints(ps.executeQuery()), "the new parameter counts");
            ps.setMaxRows(0);
            assertEquals(List.of(6, 7, 8, 9, 10), ints(ps.executeQuery()), "no limit any more");
        }
        try (Statement s = c.createStatement()) {
            s.setMaxRows(2);
            assertEquals(List.of(1, 2), ints(s.executeQuery("SELECT i FROM vi ORDER BY i")));
            assertEquals(List.of(10, 9), ints(s.executeQuery("SELECT i FROM vi ORDER BY i DESC")));
        }
    }

    private List<String> storedTexts() throws SQLException {
        List<String> out = new ArrayList<>();
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT s FROM vi WHERE s IS NOT NULL")) {
            while (rs.next()) out.add(rs.getString(1));
        }
        return out;
    }

    @Test
    void textHoldingU0000IsRefusedNeverStoredCut() throws SQLException {
        if (Db.keepsU0000()) {
            // SQLite's engine stores text with its length, MariaDB's text is
            // read as UTF-8: U+0000 stays whole.
            try (PreparedStatement ps = c.prepareStatement("UPDATE vi SET s = ? WHERE i = ?")) {
                ps.setString(1, "ab\u0000cd");
                ps.setInt(2, 1);
                assertEquals(1, ps.executeUpdate());
            }
            assertEquals(List.of("ab\u0000cd"), storedTexts());
            return;
        }
        try (PreparedStatement ps = c.prepareStatement("UPDATE vi SET s = ? WHERE i = ?")) {
            ps.setString(1, "ab\u0000cd");
            ps.setInt(2, 1);
            SQLException e = assertThrows(SQLException.class, ps::executeUpdate);
            assertEquals("22021", e.getSQLState());
            ps.setNString(1, "\u0000");
            assertEquals("22021", assertThrows(SQLException.class, ps::executeUpdate).getSQLState());
            ps.setObject(1, "x\u0000");
            assertEquals("22021", assertThrows(SQLException.class, ps::executeUpdate).getSQLState());
            // The statement goes on with a value it can store.
            ps.setString(1, "abcd");
            assertEquals(1, ps.executeUpdate());
        }
        assertEquals(List.of("abcd"), storedTexts());
    }

    @Test
    void aBatchWithTextHoldingU0000RunsNoRow() throws SQLException {
        if (Db.keepsU0000()) {
            // Stored whole (above): the batch runs every row.
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO vi (i, s) VALUES (?, ?)")) {
                ps.setInt(1, 100);
                ps.setString(2, "cut\u0000here");
                ps.addBatch();
                assertArrayEquals(new int[] {1}, ps.executeBatch());
            }
            assertTrue(storedTexts().contains("cut\u0000here"));
            return;
        }
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO vi (i, s) VALUES (?, ?)")) {
            String[] texts = {"fine", "also fine", "cut\u0000here"};
            for (int k = 0; k < texts.length; k++) {
                ps.setInt(1, 100 + k);
                ps.setString(2, texts[k]);
                ps.addBatch();
            }
            BatchUpdateException e = assertThrows(BatchUpdateException.class, ps::executeBatch);
            assertEquals("22021", e.getSQLState());
            assertArrayEquals(new int[0], e.getUpdateCounts(), "no row ran");
        }
        assertEquals(List.of(), storedTexts());
    }
}
