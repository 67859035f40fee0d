package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.SQLFeatureNotSupportedException;
import java.sql.Statement;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.Test;

/** Generated keys: RETURNING on PostgreSQL, the last row id on SQLite; the keys match what the table holds. */
class GeneratedKeysTest {
    private static void table(Connection c, String name) throws SQLException {
        Db.quietly(c, "DROP TABLE " + name);
        Db.exec(c, "CREATE TABLE " + name + " (" + Db.autoKey()
                + ", name varchar(20))");
    }

    /** Where keys are not offered, each way of asking for them says so and runs nothing. */
    private static boolean refused(Connection c, String table) throws SQLException {
        if (Db.offersGeneratedKeys()) return false;
        assertFalse(c.getMetaData().supportsGetGeneratedKeys());
        String insert = "INSERT INTO " + table + " (name) VALUES ('k')";
        assertThrows(SQLFeatureNotSupportedException.class, () -> {
            try (PreparedStatement ps = c.prepareStatement(insert, new String[] {"id"})) {
                ps.executeUpdate();
            }
        });
        assertThrows(SQLFeatureNotSupportedException.class, () -> {
            try (PreparedStatement ps = c.prepareStatement(insert, Statement.RETURN_GENERATED_KEYS)) {
                ps.executeUpdate();
            }
        });
        try (Statement s = c.createStatement()) {
            assertThrows(SQLFeatureNotSupportedException.class,
                    () -> s.executeUpdate(insert, Statement.RETURN_GENERATED_KEYS));
        }
        assertEquals(List.of(), ids(c, table), "nothing ran");
        return true;
    }

    private static List<Long> ids(Connection c, String table) throws SQLException {
        List<Long> r = new ArrayList<>();
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT id FROM " + table + " ORDER BY id")) {
            while (rs.next()) r.add(rs.getLong(1));
        }
        return r;
    }

    private static List<Long> keys(Statement s) throws SQLException {
        List<Long> r = new ArrayList<>();
        try (ResultSet rs = s.getGeneratedKeys()) {
            while (rs.next()) r.add(rs.getLong("id"));
        }
        return r;
    }

    @Test
    void aPreparedInsertGivesExactlyTheKeyColumnAskedFor() throws SQLException {
        try (Connection c = Db.connect()) {
            table(c, "gk1");
            if (refused(c, "gk1")) return;
            assertTrue(c.getMetaData().supportsGetGeneratedKeys());
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO gk1 (name) VALUES (?)", new String[] {"id"})) {
                ps.setString(1, "a");
                assertEquals(1, ps.executeUpdate());
                try (ResultSet rs = ps.getGeneratedKeys()) {
                    assertEquals(1, rs.getMetaData().getColumnCount());
                    assertEquals("id", rs.getMetaData().getColumnLabel(1));
                    assertTrue(rs.next());
                    assertEquals(ids(c, "gk1").get(0), ((Number) rs.getObject(1)).longValue());
                    assertFalse(rs.next());
                }
                ps.setString(1, "b");
                assertFalse(ps.execute());
                assertEquals(1, ps.getUpdateCount());
                assertEquals(List.of(ids(c, "gk1").get(1)), keys(ps));
            }
            assertEquals(2, ids(c, "gk1").size());
        }
    }

    @Test
    void returnGeneratedKeysOnAStatementNamesTheKeyAndKeepsTheUpdateCount() throws SQLException {
        try (Connection c = Db.connect(); Statement s = c.createStatement()) {
            table(c, "gk2");
            if (refused(c, "gk2")) return;
            assertEquals(1, s.executeUpdate("INSERT INTO gk2 (name) VALUES ('x');", Statement.RETURN_GENERATED_KEYS));
            assertEquals(ids(c, "gk2"), keys(s));
            // An explicit key is the key too.
            assertFalse(s.execute("INSERT INTO gk2 (id, name) VALUES (100, 'y')", Statement.RETURN_GENERATED_KEYS));
            assertEquals(List.of(100L), keys(s));
            // An update that touches no row has no key; a plain execution asks for none.
            assertEquals(0, s.executeUpdate("UPDATE gk2 SET name = 'z' WHERE id = -1", Statement.RETURN_GENERATED_KEYS));
            assertEquals(List.of(), keys(s));
            s.executeUpdate("INSERT INTO gk2 (name) VALUES ('w')");
            try (ResultSet rs = s.getGeneratedKeys()) {
                assertFalse(rs.next());
            }
            assertEquals(3, ids(c, "gk2").size());
            if (Db.postgres()) {
                // Every row an INSERT adds, and every column when none is named.
                assertEquals(2, s.executeUpdate("INSERT INTO gk2 (name) VALUES ('m'), ('n')",
                        Statement.RETURN_GENERATED_KEYS));
                try (ResultSet rs = s.getGeneratedKeys()) {
                    assertEquals(2, rs.getMetaData().getColumnCount());
                    assertTrue(rs.next());
                    assertEquals("m", rs.getString("name"));
                    assertTrue(rs.next());
                    assertEquals("n", rs.getString(2));
                }
                assertEquals(1, s.executeUpdate("DELETE FROM gk2 WHERE id = 100", new String[] {"name"}));
                try (ResultSet rs = s.getGeneratedKeys()) {
                    assertTrue(rs.next());
                    assertEquals("y", rs.getString("name"));
                }
            }
        }
    }

    @Test
    void aBatchGivesEachRowsKey() throws SQLException {
        try (Connection c = Db.connect()) {
            table(c, "gk3");
            if (refused(c, "gk3")) return;
            Db.exec(c, "INSERT INTO gk3 (id, name) VALUES (7, 'first')");
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO gk3 (name) VALUES (?)",
                    Statement.RETURN_GENERATED_KEYS)) {
                for (String n : new String[] {"a", "b", "c"}) {
                    ps.setString(1, n);
                    ps.addBatch();
                }
                assertArrayEquals(new int[] {1, 1, 1}, ps.executeBatch());
                assertEquals(4, ids(c, "gk3").size());
                List<Long> added = new ArrayList<>();
                try (Statement s = c.createStatement();
                        ResultSet rs = s.executeQuery("SELECT id FROM gk3 WHERE name <> 'first' ORDER BY name")) {
                    while (rs.next()) added.add(rs.getLong(1));
                }
                assertEquals(added, keys(ps));
            }
        }
    }
}
