package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

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
 * A batch with a failing row inside a transaction: the counts of the
 * exception name exactly the rows that ran before the failing one (no entry
 * for it), those rows are in the transaction, and the transaction goes on and
 * commits them. Checked in the table afterwards from a second connection.
 */
class BatchFailureTest {
    private Connection c;

    @BeforeEach
    void open() throws SQLException {
        c = Db.connect();
        Db.quietly(c, "DROP TABLE bf");
        Db.exec(c, "CREATE TABLE bf (id integer PRIMARY KEY, s varchar(20))", "INSERT INTO bf VALUES (100, 'there')");
    }

    @AfterEach
    void close() throws SQLException {
        c.close();
    }

    private List<Integer> idsSeenElsewhere() throws SQLException {
        List<Integer> ids = new ArrayList<>();
        String url = c.unwrap(JdbcOdbcConnection.class).url();
        try (Connection other = Db.connect(url); Statement s = other.createStatement();
                ResultSet rs = s.executeQuery("SELECT id FROM bf ORDER BY id")) {
            while (rs.next()) ids.add(rs.getInt(1));
        }
        return ids;
    }

    /** Rows 10, 11, 100 (there already), 12 after row 1, then row 2, then commit. */
    private void failInTransaction(String sql) throws SQLException {
        c.setAutoCommit(false);
        Db.exec(c, "INSERT INTO bf VALUES (1, 'first')");
        try (PreparedStatement ps = c.prepareStatement(sql)) {
            for (int id : new int[] {10, 11, 100, 12}) {
                ps.setInt(1, id);
                ps.addBatch();
            }
            BatchUpdateException e = assertThrows(BatchUpdateException.class, ps::executeBatch);
            int[] counts = e.getUpdateCounts();
            assertEquals(Db.arraysAllOrNothing() ? 0 : 2, counts.length, java.util.Arrays.toString(counts));
            for (int n : counts) assertEquals(true, n == 1 || n == Statement.SUCCESS_NO_INFO, "count " + n);
        }
        Db.exec(c, "INSERT INTO bf VALUES (2, 'after')");
        c.commit();
        assertEquals(Db.arraysAllOrNothing() ? List.of(1, 2, 100) : List.of(1, 2, 10, 11, 100), idsSeenElsewhere());
    }

    @Test
    void aFailedPlainInsertBatchInATransactionKeepsTheRowsItsCountsReport() throws SQLException {
        failInTransaction("INSERT INTO bf (id) VALUES (?)");
    }

    @Test
    void aFailedInsertBatchWithALiteralInATransactionKeepsTheRowsItsCountsReport() throws SQLException {
        failInTransaction("INSERT INTO bf (id, s) VALUES (?, 'lit')");
    }

    @Test
    void aFailedLongBatchInATransactionKeepsTheRowsItsCountsReport() throws SQLException {
        c.setAutoCommit(false);
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO bf (id, s) VALUES (?, ?)")) {
            for (int id = 1000; id < 4000; id++) {
                ps.setInt(1, id == 3500 ? 100 : id);
                ps.setString(2, "r" + id);
                ps.addBatch();
            }
            BatchUpdateException e = assertThrows(BatchUpdateException.class, ps::executeBatch);
            assertEquals(Db.arraysAllOrNothing() ? 0 : 2500, e.getUpdateCounts().length);
        }
        c.commit();
        List<Integer> ids = idsSeenElsewhere();
        assertEquals(Db.arraysAllOrNothing() ? 1 : 2501, ids.size());
        assertEquals(Integer.valueOf(Db.arraysAllOrNothing() ? 100 : 3499), ids.get(ids.size() - 1));
    }

    @Test
    void aFailedBatchInAutoCommitModeKeepsTheRowsItsCountsReport() throws SQLException {
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO bf (id) VALUES (?)")) {
            for (int id : new int[] {10, 11, 100, 12}) {
                ps.setInt(1, id);
                ps.addBatch();
            }
            BatchUpdateException e = assertThrows(BatchUpdateException.class, ps::executeBatch);
            assertEquals(Db.arraysAllOrNothing() ? 0 : 2, e.getUpdateCounts().length);
        }
        assertEquals(Db.arraysAllOrNothing() ? List.of(100) : List.of(10, 11, 100), idsSeenElsewhere());
    }

    @Test
    void aFailedStatementBatchInATransactionKeepsTheCommandsItsCountsReport() throws SQLException {
        c.setAutoCommit(false);
        try (Statement s = c.createStatement()) {
            s.addBatch("INSERT INTO bf VALUES (10, 'a')");
            s.addBatch("INSERT INTO bf VALUES (100, 'dup')");
            s.addBatch("INSERT INTO bf VALUES (12, 'never')");
            BatchUpdateException e = assertThrows(BatchUpdateException.class, s::executeBatch);
            assertArrayEquals(new int[] {1}, e.getUpdateCounts());
        }
        c.commit();
        assertEquals(List.of(10, 100), idsSeenElsewhere());
    }
}
