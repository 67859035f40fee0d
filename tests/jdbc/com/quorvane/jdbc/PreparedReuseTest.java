package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.Test;

/**
 * A text prepared again on a connection finds its statement kept, prepared
 * and bound: the values of each use are its own, nothing of an earlier use
 * carries over, and every kept handle is freed with the connection.
 */
class PreparedReuseTest {
    private static int handleOf(PreparedStatement ps) {
        return ((JdbcOdbcStatement) ps).state.hStmt;
    }

    private static int query(Connection c, String sql, int v) throws SQLException {
        try (PreparedStatement ps = c.prepareStatement(sql)) {
            ps.setInt(1, v);
            try (ResultSet rs = ps.executeQuery()) {
                assertTrue(rs.next());
                return rs.getInt(1);
            }
        }
    }

    @Test
    void aTextPreparedAgainReusesItsStatementWithItsOwnValues() throws SQLException {
        try (Connection c = Db.connect()) {
            JdbcOdbcConnection jc = (JdbcOdbcConnection) c;
            String sql = "SELECT ? + 1";
            assertEquals(2, query(c, sql, 1));
            assertEquals(0, jc.keptPreparedStatements(), "a text prepared once is freed at its close");
            int first;
            try (PreparedStatement ps = c.prepareStatement(sql)) {
                first = handleOf(ps);
                ps.setInt(1, 10);
                try (ResultSet rs = ps.executeQuery()) {
                    rs.next();
                    assertEquals(11, rs.getInt(1));
                }
            }
            assertEquals(1, jc.keptPreparedStatements());
            try (PreparedStatement ps = c.prepareStatement(sql)) {
                assertEquals(first, handleOf(ps), "the kept statement");
                assertEquals(0, jc.keptPreparedStatements(), "taken out while in use");
                // Nothing set yet: the value of the earlier use does not carry over.
                assertEquals("07002", assertThrows(SQLException.class, ps::executeQuery).getSQLState());
                ps.setInt(1, 41);
                try (ResultSet rs = ps.executeQuery()) {
                    rs.next();
                    assertEquals(42, rs.getInt(1));
                }
                // A second statement of the same text while the first is open gets a handle of its own.
                try (PreparedStatement other = c.prepareStatement(sql)) {
                    assertNotEquals(first, handleOf(other));
                    other.setInt(1, 1);
                    other.executeQuery().close();
                }
            }
            assertEquals(1, jc.keptPreparedStatements(), "one kept per text");
            assertEquals(0, jc.liveNativeObjects(), "nothing the application holds");
        }
    }

    @Test
    void aStatementWithOptionsSetOrAPendingBatchIsFreedNotKept() throws SQLException {
        try (Connection c = Db.connect()) {
            JdbcOdbcConnection jc = (JdbcOdbcConnection) c;
            String sql = "SELECT ? * 2";
            query(c, sql, 1);
            try (PreparedStatement ps = c.prepareStatement(sql)) {
                ps.setMaxRows(1);
                ps.setInt(1, 3);
                ps.executeQuery().close();
            }
            assertEquals(0, jc.keptPreparedStatements(), "a row limit stays on the handle");
            try (PreparedStatement ps = c.prepareStatement(sql)) {
                ps.setInt(1, 3);
                ps.addBatch();
            }
            assertEquals(0, jc.keptPreparedStatements(), "a batch was pending");
            try (PreparedStatement ps = c.prepareStatement(sql)) {
                ps.setPoolable(false);
            }
            assertEquals(0, jc.keptPreparedStatements(), "not poolable");
            try (PreparedStatement ps = c.prepareStatement(sql)) {
                ps.setInt(1, 4);
                try (ResultSet rs = ps.executeQuery()) {
                    rs.next();
                    assertEquals(8, rs.getInt(1), "the row limit of the earlier statement is gone");
                    assertFalse(rs.next());
                }
            }
            assertEquals(1, jc.keptPreparedStatements());
        }
    }

    @Test
    void keptStatementsAreBoundedAndFreedWithTheConnection() throws SQLException {
        Connection c = Db.connect();
        JdbcOdbcConnection jc = (JdbcOdbcConnection) c;
        List<Integer> handles = new ArrayList<>();
        for (int round = 0; round < 2; round++) {
            for (int i = 0; i < ConnectionState.PREPARED_KEPT + 16; i++) {
                try (PreparedStatement ps = c.prepareStatement("SELECT ? + " + i)) {
                    if (round == 1) handles.add(handleOf(ps));
                    ps.setInt(1, i);
                    ps.executeQuery().close();
                }
            }
        }
        assertEquals(ConnectionState.PREPARED_KEPT, jc.keptPreparedStatements());
        int freed = 0;
        for (int h : handles.subList(0, 16)) {
            if (jc.odbc.freeStmt(h, Odbc.CLOSE) == Odbc.INVALID_HANDLE) freed++;
        }
        assertEquals(16, freed, "the least recently used beyond the bound are freed");
        c.close();
        for (int h : handles) {
            assertEquals(Odbc.INVALID_HANDLE, jc.odbc.freeStmt(h, Odbc.CLOSE), "statement handle " + h + " is freed");
        }
        assertEquals(0, jc.liveNativeObjects() + jc.keptPreparedStatements() * 2);
    }

    @Test
    void aKeptStatementSeesATableChangedUnderIt() throws SQLException {
        try (Connection c = Db.connect()) {
            Db.quietly(c, "DROP TABLE reuse_t");
            Db.exec(c, "CREATE TABLE reuse_t (a integer)", "INSERT INTO reuse_t VALUES (1)");
            String sql = "SELECT * FROM reuse_t WHERE a = ?";
            for (int k = 0; k < 2; k++) assertEquals(1, query(c, sql, 1));
            try (PreparedStatement held = c.prepareStatement(sql)) {
                held.setInt(1, 1);
                held.executeQuery().close();
                Db.exec(c, "ALTER TABLE reuse_t ADD COLUMN b integer");
                try (PreparedStatement ps = c.prepareStatement(sql)) {
                    ps.setInt(1, 1);
                    try (ResultSet rs = ps.executeQuery()) {
                        assertTrue(rs.next());
                        assertEquals(2, rs.getMetaData().getColumnCount(), "a kept statement");
                    }
                }
                // A statement the application kept across the change sees it too.
                Db.exec(c, "ALTER TABLE reuse_t ADD COLUMN c integer");
                try (ResultSet rs = held.executeQuery()) {
                    assertTrue(rs.next());
                    assertEquals(3, rs.getMetaData().getColumnCount(), "a statement held across the change");
                }
            }
        }
    }

    /** Runs the kept statement of {@code sql} with {@code v}; the rows' first column as text. */
    private static List<String> rows(Connection c, String sql, Object v) throws SQLException {
        List<String> out = new ArrayList<>();
        try (PreparedStatement ps = c.prepareStatement(sql)) {
            ps.setObject(1, v);
            try (ResultSet rs = ps.executeQuery()) {
                while (rs.next()) out.add(rs.getString(1));
            }
        }
        return out;
    }

    @Test
    void keptColumnsGiveEachExecutionItsOwnRows() throws SQLException {
        try (Connection c = Db.connect()) {
            JdbcOdbcConnection jc = (JdbcOdbcConnection) c;
            Db.quietly(c, "DROP TABLE reuse_rows");
            Db.exec(c, "CREATE TABLE reuse_rows (k integer, n integer, t varchar(40))",
                    "INSERT INTO reuse_rows VALUES (1, 10, 'one')", "INSERT INTO reuse_rows VALUES (2, NULL, NULL)",
                    "INSERT INTO reuse_rows VALUES (3, 30, 'three')");
            String sql = "SELECT n, t FROM reuse_rows WHERE k = ?";
            for (int round = 0; round < 3; round++) {
                try (PreparedStatement ps = c.prepareStatement(sql)) {
                    ps.setInt(1, 1);
                    try (ResultSet rs = ps.executeQuery()) {
                        assertTrue(rs.next());
                        assertEquals(10, rs.getInt(1));
                        // Read in other forms than the bound ones, then the next execution.
                        assertEquals("10", rs.getString(1));
                        assertEquals("one", rs.getString(2));
                        assertEquals(3, rs.getBytes(2).length);
                    }
                    ps.setInt(1, 2);
                    try (ResultSet rs = ps.executeQuery()) {
                        assertTrue(rs.next());
                        assertEquals(0, rs.getInt(1));
                        assertTrue(rs.wasNull(), "the null of this row, not the value of the row before");
                        assertEquals(null, rs.getString(2));
                    }
                    ps.setInt(1, 99);
                    try (ResultSet rs = ps.executeQuery()) {
                        assertFalse(rs.next(), "no row");
                    }
                    ps.setInt(1, 3);
                    try (ResultSet rs = ps.executeQuery()) {
                        assertTrue(rs.next());
                        assertEquals(30, rs.getInt(1));
                        assertFalse(rs.wasNull());
                        assertEquals("three", rs.getString(2));
                        assertFalse(rs.next());
                    }
                }
            }
            // Two open statements of the same text, read alternately.
            try (PreparedStatement a = c.prepareStatement(sql); PreparedStatement b = c.prepareStatement(sql)) {
                a.setInt(1, 1);
                b.setInt(1, 3);
                try (ResultSet ra = a.executeQuery(); ResultSet rb = b.executeQuery()) {
                    assertTrue(ra.next());
                    assertTrue(rb.next());
                    assertEquals("one", ra.getString(2));
                    assertEquals("three", rb.getString(2));
                    assertEquals(10, ra.getInt(1));
                    assertEquals(30, rb.getInt(1));
                }
            }
            assertEquals(0, jc.liveNativeObjects(), "the kept columns are the kept statement's, not the application's");
        }
    }

    @Test
    void keptColumnsFollowAResultWhoseTypesChanged() throws SQLException {
        try (Connection c = Db.connect()) {
            Db.quietly(c, "DROP TABLE reuse_types");
            Db.exec(c, "CREATE TABLE reuse_types (k integer, v integer)", "INSERT INTO reuse_types VALUES (1, 7)");
            String sql = "SELECT v FROM reuse_types WHERE k = ?";
            for (int round = 0; round < 3; round++) assertEquals(List.of("7"), rows(c, sql, 1));
            // The same number of columns, of another type: bound as before, it would read as a number.
            Db.exec(c, "DROP TABLE reuse_types", "CREATE TABLE reuse_types (k integer, v varchar(20))",
                    "INSERT INTO reuse_types VALUES (1, 'seven and a half')");
            assertEquals(List.of("seven and a half"), rows(c, sql, 1));
            assertEquals(List.of("seven and a half"), rows(c, sql, 1));
        }
    }
}
