package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.Statement;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Random;
import org.junit.jupiter.api.Test;

/** Many statements open on one connection at once, closed in any order. */
class ManyStatementsTest {
    private static final int N = 600;

    private static int live(Connection c) {
        return ((JdbcOdbcConnection) c).liveNativeObjects();
    }

    /** Opens N statements of three kinds, each with something native of its own (a result set, bound parameters). */
    private static List<Statement> open(Connection c) throws Exception {
        List<Statement> all = new ArrayList<>();
        for (int k = 0; k < N; k++) {
            switch (k % 3) {
                case 0: {
                    Statement s = c.createStatement();
                    ResultSet rs = s.executeQuery("SELECT " + k);
                    assertTrue(rs.next());
                    assertEquals(k, rs.getInt(1));
                    all.add(s);
                    break;
                }
                case 1: {
                    PreparedStatement ps = c.prepareStatement("SELECT count(*) FROM many WHERE i = ?");
                    ps.setInt(1, k);
                    try (ResultSet rs = ps.executeQuery()) {
                        assertTrue(rs.next());
                    }
                    all.add(ps);
                    break;
                }
                default:
                    all.add(c.createStatement());
            }
        }
        return all;
    }

    @Test
    void statementsClosedInAnyOrderFreeEverything() throws Exception {
        try (Connection c = Db.connect()) {
            Db.quietly(c, "DROP TABLE many");
            Db.exec(c, "CREATE TABLE many (i integer)");
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO many VALUES (?)")) {
                for (int k = 0; k < N; k++) {
                    ps.setInt(1, k);
                    ps.addBatch();
                }
                ps.executeBatch();
            }
            assertEquals(0, live(c));
            for (String order : List.of("oldest first", "newest first", "shuffled")) {
                List<Statement> all = open(c);
                assertTrue(live(c) >= N, order + ": each statement owns a handle");
                List<Statement> closing = new ArrayList<>(all);
                if (order.equals("newest first")) Collections.reverse(closing);
                if (order.equals("shuffled")) Collections.shuffle(closing, new Random(24));
                for (int k = 0; k < closing.size(); k++) {
                    closing.get(k).close();
                    if (k == closing.size() / 2) {
                        // Half closed: the others still work.
                        for (Statement s : all) {
                            if (s.isClosed() || s instanceof PreparedStatement) continue;
                            try (ResultSet rs = s.executeQuery("SELECT count(*) FROM many")) {
                                assertTrue(rs.next());
                                assertEquals(N, rs.getInt(1));
                            }
                            break;
                        }
                    }
                }
                assertEquals(0, live(c), order + ": every native object of the statements is freed");
                for (Statement s : all) assertTrue(s.isClosed());
            }
            // The connection goes on as before.
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT count(*) FROM many")) {
                assertTrue(rs.next());
                assertEquals(N, rs.getInt(1));
            }
            assertEquals(0, live(c));
        }
    }

    @Test
    void closingTheConnectionFreesManyOpenStatements() throws Exception {
        Connection c = Db.connect();
        Db.quietly(c, "DROP TABLE many");
        Db.exec(c, "CREATE TABLE many (i integer)");
        Db.exec(c, "INSERT INTO many VALUES (1)");
        List<Statement> all = open(c);
        assertTrue(live(c) >= N);
        c.close();
        assertEquals(0, live(c));
        for (Statement s : all) assertTrue(s.isClosed());
    }

    /**
     * A plain statement takes its handle at its first call: statements that
     * never ran hold nothing native, and still behave as open statements of
     * their connection until it closes.
     */
    @Test
    void statementsThatNeverRanHoldNothingNative() throws Exception {
        Connection c = Db.connect();
        List<Statement> idle = new ArrayList<>();
        for (int k = 0; k < 2_000; k++) idle.add(c.createStatement());
        assertEquals(0, live(c), "no handle before the first call");
        Statement limited = idle.get(7);
        limited.setMaxRows(2);
        assertTrue(live(c) >= 1, "an option set on the handle allocates it");
        Db.quietly(c, "DROP TABLE never");
        Db.exec(c, "CREATE TABLE never (i integer)", "INSERT INTO never VALUES (1)", "INSERT INTO never VALUES (2)",
                "INSERT INTO never VALUES (3)");
        int rows = 0;
        try (ResultSet rs = limited.executeQuery("SELECT i FROM never ORDER BY i")) {
            while (rs.next()) rows++;
        }
        assertEquals(2, rows, "the option set before the first execution holds");
        Statement runs = idle.get(1_000);
        try (ResultSet rs = runs.executeQuery("SELECT count(*) FROM never")) {
            assertTrue(rs.next());
            assertEquals(3, rs.getInt(1));
        }
        for (int k = 0; k < 1_000; k++) idle.get(k).close();
        assertTrue(idle.get(0).isClosed());
        assertTrue(!runs.isClosed() && !idle.get(1_999).isClosed());
        Db.exec(c, "DROP TABLE never");
        c.close();
        assertEquals(0, live(c));
        for (Statement s : idle) assertTrue(s.isClosed(), "a statement of a closed connection is closed");
        java.sql.SQLException e = org.junit.jupiter.api.Assertions.assertThrows(java.sql.SQLException.class,
                () -> idle.get(1_999).executeQuery("SELECT 1"));
        assertEquals("08003", e.getSQLState(), e.getMessage());
    }
}
