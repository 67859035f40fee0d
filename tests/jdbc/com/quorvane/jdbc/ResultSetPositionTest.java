package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.Connection;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import org.junit.jupiter.api.Test;

/** Where a result set stands, and the hints it keeps. */
class ResultSetPositionTest {
    @Test
    void isBeforeFirstIsFalseOnAnEmptyResultAndLosesNoRow() throws SQLException {
        try (Connection c = Db.connect(); Statement s = c.createStatement()) {
            Db.quietly(c, "DROP TABLE pos1");
            Db.exec(c, "CREATE TABLE pos1 (i integer)", "INSERT INTO pos1 VALUES (1)", "INSERT INTO pos1 VALUES (2)");
            try (ResultSet rs = s.executeQuery("SELECT i FROM pos1 WHERE i < 0")) {
                assertFalse(rs.isBeforeFirst());
                assertFalse(rs.next());
                assertFalse(rs.isAfterLast());
            }
            try (ResultSet rs = s.executeQuery("SELECT i FROM pos1 ORDER BY i")) {
                assertTrue(rs.isBeforeFirst());
                assertTrue(rs.isBeforeFirst(), "asking twice reads no row more");
                assertEquals(0, rs.getRow());
                assertTrue(rs.next());
                assertFalse(rs.isBeforeFirst());
                assertEquals(1, rs.getInt(1));
                assertEquals(1, rs.getRow());
                assertTrue(rs.next());
                assertEquals(2, rs.getInt(1));
                assertFalse(rs.next());
            }
        }
    }

    @Test
    void fetchSizeIsTheOneSetOrTheStatements() throws SQLException {
        try (Connection c = Db.connect(); Statement s = c.createStatement()) {
            s.setFetchSize(5);
            try (ResultSet rs = s.executeQuery("SELECT 1")) {
                assertEquals(5, rs.getFetchSize());
                rs.setFetchSize(7);
                assertEquals(7, rs.getFetchSize());
            }
        }
    }
}
