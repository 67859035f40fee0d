package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.StringReader;
import java.math.BigDecimal;
import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.Test;

/**
 * Updatable result sets: rows changed, added and deleted through the result
 * reach the table (checked from a second connection), the result shows what
 * the table holds, and a result that cannot be written back says so instead
 * of pretending.
 */
class UpdatableResultSetTest {
    private static String bin() {
        return Db.postgres() ? "bytea" : Db.mariadb() ? "longblob" : "blob";
    }

    private static void make(Connection c, String table) throws SQLException {
        Db.quietly(c, "DROP TABLE " + table);
        Db.exec(c, "CREATE TABLE " + table + " (id integer PRIMARY KEY, name varchar(20), amount numeric(10,2), data "
                + bin() + ")");
        for (int i = 1; i <= 3; i++) {
            Db.exec(c, "INSERT INTO " + table + " VALUES (" + i + ", 'n" + i + "', " + i + ".50, NULL)");
        }
    }

    /** The table's rows as the second connection reads them: "id name amount" each. */
    private static List<String> tableRows(String url, String table) throws SQLException {
        List<String> out = new ArrayList<>();
        try (Connection other = Db.connect(url); Statement s = other.createStatement();
                ResultSet rs = s.executeQuery("SELECT id, name, amount FROM " + table + " ORDER BY id")) {
            while (rs.next()) {
                BigDecimal a = rs.getBigDecimal(3);
                out.add(rs.getInt(1) + " " + rs.getString(2) + " " + (a == null ? null : a.stripTrailingZeros().toPlainString()));
            }
        }
        return out;
    }

    @Test
    void updatesInsertsAndDeletesReachTheTableAndShowInTheResult() throws SQLException {
        String url = Db.url();
        try (Connection c = Db.connect(url)) {
            make(c, "upd1");
            try (Statement s = c.createStatement(ResultSet.TYPE_SCROLL_INSENSITIVE, ResultSet.CONCUR_UPDATABLE)) {
                assertNull(c.getWarnings(), "updatable results are offered as asked");
                assertEquals(ResultSet.CONCUR_UPDATABLE, s.getResultSetConcurrency());
                assertTrue(c.getMetaData().supportsResultSetConcurrency(ResultSet.TYPE_SCROLL_INSENSITIVE,
                        ResultSet.CONCUR_UPDATABLE));
                try (ResultSet rs = s.executeQuery("SELECT id, name, amount, data FROM upd1 ORDER BY id")) {
                    assertEquals(ResultSet.CONCUR_UPDATABLE, rs.getConcurrency());
                    assertNull(rs.getWarnings());
                    assertTrue(rs.absolute(2));
                    rs.updateString("name", "two");
                    rs.updateBigDecimal(3, new BigDecimal("22.25"));
                    rs.updateBinaryStream(4, new ByteArrayInputStream(new byte[] {1, 2, 0, 3}), 4);
                    rs.updateRow();
                    assertEquals("two", rs.getString(2));
                    assertArrayEquals(new byte[] {1, 2, 0, 3}, rs.getBytes(4));

                    // Values set and then abandoned by a move are not written.
                    assertTrue(rs.first());
                    rs.updateString(2, "lost");
                    assertTrue(rs.next());
                    assertEquals("two", rs.getString(2));

                    rs.moveToInsertRow();
                    rs.updateInt(1, 10);
                    rs.updateCharacterStream(2, new StringReader("ten"), 3);
                    rs.updateNull(3);
                    rs.insertRow();
                    rs.moveToCurrentRow();
                    assertEquals(2, rs.getRow(), "back on the row before the insert row");

                    assertTrue(rs.first());
                    rs.deleteRow();
                    assertTrue(rs.next());
                    assertEquals(2, rs.getInt(1), "after a delete the next row is the one after it");

                    assertTrue(rs.last());
                    assertEquals(10, rs.getInt(1), "the inserted row is shown");
                    assertEquals("ten", rs.getString(2));
                    assertNull(rs.getBigDecimal(3));
                }
            }
            assertEquals(List.of("2 two 22.25", "3 n3 3.5", "10 ten null"), tableRows(url, "upd1"));
        }
    }

    @Test
    void aForwardOnlyUpdatableResultAndAPreparedQueryWriteBackToo() throws SQLException {
        String url = Db.url();
        try (Connection c = Db.connect(url)) {
            make(c, "upd2");
            try (PreparedStatement ps = c.prepareStatement("SELECT * FROM upd2 WHERE id >= ? ORDER BY id",
                    ResultSet.TYPE_FORWARD_ONLY, ResultSet.CONCUR_UPDATABLE)) {
                ps.setInt(1, 2);
                try (ResultSet rs = ps.executeQuery()) {
                    while (rs.next()) {
                        rs.updateInt("id", rs.getInt("id") + 100);
                        rs.updateObject("name", "k" + rs.getInt("id"));
                        rs.updateRow();
                    }
                }
            }
            assertEquals(List.of("1 n1 1.5", "102 k2 2.5", "103 k3 3.5"), tableRows(url, "upd2"),
                    "the key itself may change: the row is found by its old key");
        }
    }

    @Test
    void aGeneratedKeyIsReadBackAfterAnInsertWhereTheDataSourceHandsItBack() throws SQLException {
        String url = Db.url();
        try (Connection c = Db.connect(url)) {
            Db.quietly(c, "DROP TABLE upd3");
            Db.exec(c, "CREATE TABLE upd3 (" + Db.autoKey() + ", name varchar(20))");
            try (Statement s = c.createStatement(ResultSet.TYPE_SCROLL_INSENSITIVE, ResultSet.CONCUR_UPDATABLE);
                    ResultSet rs = s.executeQuery("SELECT id, name FROM upd3")) {
                rs.moveToInsertRow();
                rs.updateString(2, "auto");
                rs.insertRow();
                rs.moveToCurrentRow();
                if (c.getMetaData().supportsGetGeneratedKeys()) {
                    assertTrue(rs.last());
                    assertEquals("auto", rs.getString(2));
                    assertTrue(rs.getInt(1) > 0);
                }
            }
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT count(*) FROM upd3")) {
                assertTrue(rs.next());
                assertEquals(1, rs.getInt(1), "the row was added once");
            }
        }
    }

    @Test
    void aRowChangedBehindTheResultIsNeverReportedWritten() throws SQLException {
        String url = Db.url();
        try (Connection c = Db.connect(url)) {
            make(c, "upd4");
            try (Statement s = c.createStatement(ResultSet.TYPE_SCROLL_INSENSITIVE, ResultSet.CONCUR_UPDATABLE);
                    ResultSet rs = s.executeQuery("SELECT id, name FROM upd4 ORDER BY id")) {
                assertTrue(rs.next());
                try (Connection other = Db.connect(url)) {
                    Db.exec(other, "DELETE FROM upd4 WHERE id = 1");
                }
                rs.updateString(2, "ghost");
                SQLException e = assertThrows(SQLException.class, rs::updateRow);
                assertEquals("24000", e.getSQLState());
                assertThrows(SQLException.class, rs::refreshRow);
                assertThrows(SQLException.class, rs::deleteRow);
                assertTrue(rs.next());
                try (Connection other = Db.connect(url)) {
                    Db.exec(other, "UPDATE upd4 SET name = 'changed' WHERE id = 2");
                }
                assertEquals("n2", rs.getString(2), "insensitive until asked");
                rs.refreshRow();
                assertEquals("changed", rs.getString(2));
            }
            assertEquals(List.of("2 changed 2.5", "3 n3 3.5"), tableRows(url, "upd4"));
        }
    }

    @Test
    void aResultThatCannotBeWrittenBackIsReadOnlyAndSaysWhy() throws SQLException {
        String url = Db.url();
        try (Connection c = Db.connect(url)) {
            make(c, "upd5");
            Db.quietly(c, "DROP TABLE upd5nokey");
            Db.exec(c, "CREATE TABLE upd5nokey (a integer, b integer)");
            Db.exec(c, "INSERT INTO upd5nokey VALUES (1, 2)");
            String[] refused = {
                "SELECT name FROM upd5",                               // the key is not selected
                "SELECT a, b FROM upd5nokey",                          // no primary key
                "SELECT u.id, u.name FROM upd5 u, upd5nokey n",        // two tables
                "SELECT count(*) AS id FROM upd5 GROUP BY name",       // grouped
                "SELECT id, name FROM upd5 UNION SELECT a, 'x' FROM upd5nokey",
            };
            try (Statement s = c.createStatement(ResultSet.TYPE_SCROLL_INSENSITIVE, ResultSet.CONCUR_UPDATABLE)) {
                for (String q : refused) {
                    try (ResultSet rs = s.executeQuery(q)) {
                        assertEquals(ResultSet.CONCUR_READ_ONLY, rs.getConcurrency(), q);
                        assertNotNull(rs.getWarnings(), q);
                        assertTrue(rs.next(), q);
                        SQLException e = assertThrows(SQLException.class, () -> rs.updateInt(1, 5), q);
                        assertTrue(e.getMessage().contains("read-only"), e.getMessage());
                        assertThrows(SQLException.class, rs::moveToInsertRow, q);
                    }
                }
                // A column that is an expression is refused; the table's columns still update.
                try (ResultSet rs = s.executeQuery("SELECT id, name, id * 2 AS twice FROM upd5 WHERE id = 1")) {
                    assertTrue(rs.next());
                    assertThrows(SQLException.class, () -> rs.updateInt(3, 9));
                    rs.updateString(2, "one");
                    rs.updateRow();
                    assertEquals(2, rs.getInt(3));
                }
            }
            assertEquals("1 one 1.5", tableRows(url, "upd5").get(0));
            // A read-only statement's results refuse updates as before.
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT id FROM upd5")) {
                assertTrue(rs.next());
                assertThrows(java.sql.SQLFeatureNotSupportedException.class, () -> rs.updateInt(1, 2));
            }
        }
    }

    @Test
    void aRollbackUndoesWhatTheResultWrote() throws SQLException {
        String url = Db.url();
        try (Connection c = Db.connect(url)) {
            make(c, "upd6");
            c.setAutoCommit(false);
            try (Statement s = c.createStatement(ResultSet.TYPE_FORWARD_ONLY, ResultSet.CONCUR_UPDATABLE);
                    ResultSet rs = s.executeQuery("SELECT id, name FROM upd6 WHERE id = 3")) {
                assertTrue(rs.next());
                rs.deleteRow();
            }
            c.rollback();
            c.setAutoCommit(true);
            assertEquals(3, tableRows(url, "upd6").size());
        }
    }

    @Test
    void theQueryTextIsReadAsSqlNotSplitOnWordsInsideQuotesOrComments() throws Exception {
        UpdatableRows.Query q = UpdatableRows.Query.parse(
                "select \"a b\", 'x FROM y' as lit /* join */ from  sch.\"My Table\" as t -- union\n where t.id > 0;");
        assertEquals("\"a b\", 'x FROM y' as lit /* join */", q.selectList);
        assertEquals("sch.\"My Table\"", q.table);
        assertEquals("as t", q.alias);
        assertEquals(List.of("sch", "My Table"), q.parts);
        for (String bad : new String[] {"SELECT 1", "SELECT * FROM a JOIN b ON a.x = b.x", "SELECT * FROM a, b",
                "SELECT * FROM f(1)", "SELECT DISTINCT x FROM a", "WITH w AS (SELECT 1) SELECT * FROM w",
                "SELECT * FROM a; DELETE FROM a", "SELECT * FROM a /* open", "SELECT * FROM (SELECT 1) x"}) {
            assertThrows(UpdatableRows.NotUpdatable.class, () -> UpdatableRows.Query.parse(bad), bad);
        }
    }
}
