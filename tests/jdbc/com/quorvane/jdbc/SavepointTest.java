package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.Connection;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Savepoint;
import java.sql.Statement;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.Test;

/** Savepoints through SQL, checked by what the table holds afterwards on a second connection. */
class SavepointTest {
    private static List<Integer> rows(Connection c, String table) throws SQLException {
        List<Integer> r = new ArrayList<>();
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT i FROM " + table + " ORDER BY i")) {
            while (rs.next()) r.add(rs.getInt(1));
        }
        return r;
    }

    @Test
    void rollbackToASavepointKeepsWhatCameBeforeItAfterCommit() throws SQLException {
        String url = Db.url();
        try (Connection c = Db.connect(url); Connection other = Db.connect(url)) {
            Db.quietly(c, "DROP TABLE sp1");
            Db.exec(c, "CREATE TABLE sp1 (i integer)");
            c.setAutoCommit(false);
            Db.exec(c, "INSERT INTO sp1 VALUES (1)");
            Savepoint a = c.setSavepoint();
            Db.exec(c, "INSERT INTO sp1 VALUES (2)");
            Savepoint b = c.setSavepoint("b \"quoted\"");
            assertEquals("b \"quoted\"", b.getSavepointName());
            assertThrows(SQLException.class, b::getSavepointId);
            Db.exec(c, "INSERT INTO sp1 VALUES (3)");
            c.rollback(b);
            assertEquals(List.of(1, 2), rows(c, "sp1"));
            c.rollback(a);
            Db.exec(c, "INSERT INTO sp1 VALUES (4)");
            c.rollback(a);  // a savepoint rolled back to stays set
            Db.exec(c, "INSERT INTO sp1 VALUES (5)");
            c.commit();
            assertEquals(List.of(1, 5), rows(other, "sp1"));
            // The next transaction starts without savepoints: the old ones are gone.
            Db.exec(c, "INSERT INTO sp1 VALUES (6)");
            Savepoint d = c.setSavepoint();
            assertTrue(d.getSavepointId() > a.getSavepointId());
            Db.exec(c, "INSERT INTO sp1 VALUES (7)");
            c.releaseSavepoint(d);
            assertThrows(SQLException.class, () -> c.rollback(d));
            c.rollback();
            assertEquals(List.of(1, 5), rows(other, "sp1"));
            c.setAutoCommit(true);
            assertEquals(List.of(1, 5), rows(c, "sp1"));
        }
    }

    @Test
    void aSavepointAsTheFirstStatementOfATransactionStillNeedsTheCommit() throws SQLException {
        String url = Db.url();
        try (Connection c = Db.connect(url); Connection other = Db.connect(url)) {
            Db.quietly(c, "DROP TABLE sp2");
            Db.exec(c, "CREATE TABLE sp2 (i integer)");
            c.setAutoCommit(false);
            Savepoint a = c.setSavepoint();
            Db.exec(c, "INSERT INTO sp2 VALUES (1)");
            c.releaseSavepoint(a);
            // Releasing the outermost savepoint must not commit what follows it.
            Db.exec(c, "INSERT INTO sp2 VALUES (2)");
            c.rollback();
            assertEquals(List.of(), rows(other, "sp2"));
            Savepoint b = c.setSavepoint("first");
            Db.exec(c, "INSERT INTO sp2 VALUES (3)");
            c.rollback(b);
            Db.exec(c, "INSERT INTO sp2 VALUES (4)");
            c.commit();
            assertEquals(List.of(4), rows(other, "sp2"));
        }
    }

    @Test
    void savepointsAreRefusedInAutoCommitModeAndAcrossConnections() throws SQLException {
        try (Connection c = Db.connect(); Connection other = Db.connect()) {
            assertTrue(c.getMetaData().supportsSavepoints());
            assertEquals("25000", assertThrows(SQLException.class, c::setSavepoint).getSQLState());
            other.setAutoCommit(false);
            c.setAutoCommit(false);
            Savepoint s = other.setSavepoint();
            assertThrows(SQLException.class, () -> c.rollback(s));
            assertThrows(SQLException.class, () -> c.releaseSavepoint(s));
            other.rollback();
            c.rollback();
        }
    }
}
