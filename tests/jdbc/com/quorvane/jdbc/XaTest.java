package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNotSame;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.BufferedReader;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.sql.Connection;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.SQLFeatureNotSupportedException;
import java.sql.Statement;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.TimeUnit;
import javax.sql.ConnectionEvent;
import javax.sql.ConnectionEventListener;
import javax.sql.XAConnection;
import javax.transaction.xa.XAException;
import javax.transaction.xa.XAResource;
import javax.transaction.xa.Xid;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

/**
 * XA through JdbcOdbcXADataSource: two-phase commit of two branches on two
 * connections, recovery of a branch whose process was killed after prepare,
 * the XA codes of protocol errors, the handle's rules inside a branch, and
 * SQLite's clear refusal.
 */
class XaTest {
    static final class TestXid implements Xid {
        final int format;
        final byte[] gtrid, bqual;

        TestXid(int format, String gtrid, String bqual) {
            this.format = format;
            this.gtrid = gtrid.getBytes(StandardCharsets.UTF_8);
            this.bqual = bqual.getBytes(StandardCharsets.UTF_8);
        }

        @Override public int getFormatId() { return format; }
        @Override public byte[] getGlobalTransactionId() { return gtrid.clone(); }
        @Override public byte[] getBranchQualifier() { return bqual.clone(); }
    }

    private static JdbcOdbcXADataSource dataSource() {
        JdbcOdbcXADataSource ds = new JdbcOdbcXADataSource();
        ds.setUrl(Db.url());
        if (Db.user() != null) ds.setUser(Db.user());
        if (Db.password() != null) ds.setPassword(Db.password());
        return ds;
    }

    private static String unique(String prefix) {
        return prefix + "-" + ProcessHandle.current().pid() + "-" + System.nanoTime();
    }

    private static int count(Connection c, String table) throws SQLException {
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT count(*) FROM " + table)) {
            assertTrue(rs.next());
            return rs.getInt(1);
        }
    }

    private static boolean recovered(XAResource r, Xid xid) throws XAException {
        for (Xid x : r.recover(XAResource.TMSTARTRSCAN | XAResource.TMENDRSCAN)) {
            if (x.getFormatId() == xid.getFormatId()
                    && Arrays.equals(x.getGlobalTransactionId(), xid.getGlobalTransactionId())
                    && Arrays.equals(x.getBranchQualifier(), xid.getBranchQualifier())) {
                return true;
            }
        }
        return false;
    }

    private static int code(Executable e) {
        XAException x = assertThrows(XAException.class, e::run);
        return x.errorCode;
    }

    interface Executable {
        void run() throws Exception;
    }

    @Test
    void twoBranchesOnTwoConnectionsCommitWithTwoPhases() throws Exception {
        if (Db.sqlite()) return;
        JdbcOdbcXADataSource ds = dataSource();
        try (Connection check = Db.connect()) {
            Db.quietly(check, "DROP TABLE xa_two");
            Db.exec(check, "CREATE TABLE xa_two (branch varchar(10))");
            XAConnection xa1 = ds.getXAConnection(), xa2 = ds.getXAConnection();
            XAResource r1 = xa1.getXAResource(), r2 = xa2.getXAResource();
            assertFalse(r1.isSameRM(r2), "branches on two connections are never joined");
            assertTrue(r1.isSameRM(r1));
            String g = unique("two");
            Xid b1 = new TestXid(4660, g, "b1"), b2 = new TestXid(4660, g, "b2");
            Connection c1 = xa1.getConnection(), c2 = xa2.getConnection();
            r1.start(b1, XAResource.TMNOFLAGS);
            r2.start(b2, XAResource.TMNOFLAGS);
            Db.exec(c1, "INSERT INTO xa_two VALUES ('one')");
            Db.exec(c2, "INSERT INTO xa_two VALUES ('two')");
            // Inside a branch the handle leaves the transaction to the manager.
            SQLException refused = assertThrows(SQLException.class, c1::commit);
            assertEquals("25000", refused.getSQLState());
            assertThrows(SQLException.class, () -> c1.setAutoCommit(false));
            assertEquals("25000", assertThrows(SQLException.class, c1::setSavepoint).getSQLState());
            r1.end(b1, XAResource.TMSUCCESS);
            r2.end(b2, XAResource.TMSUCCESS);
            // Ended, not prepared: the session's transaction is still the branch's.
            assertThrows(SQLException.class, c2::rollback);
            assertEquals(XAResource.XA_OK, r1.prepare(b1));
            assertEquals(XAResource.XA_OK, r2.prepare(b2));
            assertEquals(0, count(check, "xa_two"), "prepared work is invisible");
            assertTrue(recovered(r1, b2), "a prepared branch of another connection is listed");
            r1.commit(b1, false);
            r2.commit(b2, false);
            assertEquals(2, count(check, "xa_two"));
            // A second commit finds no prepared branch.
            assertEquals(XAException.XAER_NOTA, code(() -> r1.commit(b1, false)));
            // After the branch the handle works as a connection again.
            Db.exec(c1, "INSERT INTO xa_two VALUES ('local')");
            assertEquals(3, count(check, "xa_two"));
            c1.close();
            c2.close();
            xa1.close();
            xa2.close();
        }
    }

    @Test
    void protocolErrorsCarryTheirXaCodes() throws Exception {
        if (Db.sqlite()) return;
        JdbcOdbcXADataSource ds = dataSource();
        try (Connection check = Db.connect()) {
            Db.quietly(check, "DROP TABLE xa_codes");
            Db.exec(check, "CREATE TABLE xa_codes (v integer)");
            XAConnection xc = ds.getXAConnection();
            XAResource r = xc.getXAResource();
            Connection c = xc.getConnection();
            Xid x = new TestXid(1, unique("codes"), "");
            r.start(x, XAResource.TMNOFLAGS);
            assertEquals(XAException.XAER_PROTO, code(() -> r.start(new TestXid(1, unique("other"), ""),
                    XAResource.TMNOFLAGS)));
            assertEquals(XAException.XAER_PROTO, code(() -> r.prepare(x)), "prepare of an active branch");
            Db.exec(c, "INSERT INTO xa_codes VALUES (1)");
            r.end(x, XAResource.TMSUCCESS);
            // One-phase commit of the ended branch.
            r.commit(x, true);
            assertEquals(1, count(check, "xa_codes"));

            // A branch that changed nothing is read-only: on PostgreSQL
            // committed at prepare; MariaDB prepares it like any other.
            Xid ro = new TestXid(1, unique("ro"), "b");
            r.start(ro, XAResource.TMNOFLAGS);
            Db.exec(c, "SELECT 1");
            r.end(ro, XAResource.TMSUCCESS);
            if (Db.postgres()) {
                assertEquals(XAResource.XA_RDONLY, r.prepare(ro));
            } else {
                assertEquals(XAResource.XA_OK, r.prepare(ro));
                r.commit(ro, false);
            }
            assertEquals(XAException.XAER_NOTA, code(() -> r.commit(ro, false)));

            // Rollback of a prepared branch; forget has nothing to forget.
            Xid rb = new TestXid(7, unique("rb"), "b");
            r.start(rb, XAResource.TMNOFLAGS);
            Db.exec(c, "INSERT INTO xa_codes VALUES (2)");
            r.end(rb, XAResource.TMSUCCESS);
            r.prepare(rb);
            r.rollback(rb);
            assertEquals(1, count(check, "xa_codes"));
            assertEquals(XAException.XAER_NOTA, code(() -> r.forget(rb)));

            // A branch marked failed at end can only roll back.
            Xid failed = new TestXid(7, unique("fail"), "b");
            r.start(failed, XAResource.TMNOFLAGS);
            Db.exec(c, "INSERT INTO xa_codes VALUES (3)");
            r.end(failed, XAResource.TMFAIL);
            int rb2 = code(() -> r.prepare(failed));
            assertTrue(rb2 >= XAException.XA_RBBASE && rb2 <= XAException.XA_RBEND, "rollback code: " + rb2);
            assertEquals(1, count(check, "xa_codes"));

            // Identifiers outside XA's limits never reach the natives.
            assertEquals(XAException.XAER_INVAL, code(() -> r.start(null, XAResource.TMNOFLAGS)));
            assertEquals(XAException.XAER_INVAL, code(() -> r.start(new TestXid(1, "g".repeat(65), ""), 0)));
            assertEquals(XAException.XAER_INVAL, code(() -> r.start(new TestXid(1, "", "b"), 0)));
            assertEquals(XAException.XAER_INVAL, code(() -> r.recover(0x1234)));
            // Without an open scan, continuing one is invalid.
            assertEquals(XAException.XAER_INVAL, code(() -> r.recover(XAResource.TMNOFLAGS)));

            assertFalse(r.setTransactionTimeout(30));
            assertEquals(0, r.getTransactionTimeout());
            c.close();
            xc.close();
            assertEquals(XAException.XAER_RMFAIL, code(() -> r.start(new TestXid(1, unique("closed"), ""), 0)));
        }
    }

    /**
     * A branch prepared by another process, which is then killed, is listed
     * by recover from this process and committed through XAResource.
     */
    @Test
    @Timeout(120)
    void branchPreparedByAKilledProcessIsRecoveredAndCommitted() throws Exception {
        if (Db.sqlite()) return;
        String table = "xa_crash";
        try (Connection check = Db.connect()) {
            Db.quietly(check, "DROP TABLE " + table);
            Db.exec(check, "CREATE TABLE " + table + " (v varchar(40))");
        }
        String gtrid = unique("crash");
        List<String> cmd = new ArrayList<>(List.of(System.getenv("QVT_JAVA"), "-cp", System.getenv("QVT_JDBC_CP"),
                "-Dqvt.db=" + System.getProperty("qvt.db", "sqlite"), XaPrepareChild.class.getName(), Db.url(), gtrid, table));
        Process child = new ProcessBuilder(cmd).redirectErrorStream(true).start();
        String line;
        try (BufferedReader out = new BufferedReader(new InputStreamReader(child.getInputStream(),
                StandardCharsets.UTF_8))) {
            StringBuilder seen = new StringBuilder();
            while ((line = out.readLine()) != null && !line.equals("PREPARED")) seen.append(line).append('\n');
            assertEquals("PREPARED", line, "the child did not prepare:\n" + seen);
            child.destroyForcibly();
            assertTrue(child.waitFor(30, TimeUnit.SECONDS));
        }
        Xid xid = new TestXid(XaPrepareChild.FORMAT, gtrid, "child");
        XAConnection xc = dataSource().getXAConnection();
        XAResource r = xc.getXAResource();
        try (Connection check = Db.connect()) {
            assertEquals(0, count(check, table), "prepared, not committed");
            Xid found = null;
            for (Xid x : r.recover(XAResource.TMSTARTRSCAN | XAResource.TMENDRSCAN)) {
                if (Arrays.equals(x.getGlobalTransactionId(), xid.getGlobalTransactionId())) found = x;
            }
            assertNotNull(found, "the killed process's branch is listed");
            assertEquals(XaPrepareChild.FORMAT, found.getFormatId());
            assertArrayEquals(xid.getBranchQualifier(), found.getBranchQualifier());
            r.commit(found, false);
            assertEquals(1, count(check, table));
            assertFalse(recovered(r, xid));
        } finally {
            xc.close();
        }
    }

    @Test
    void handlesCloseWithoutClosingTheConnectionAndReportErrors() throws Exception {
        XAConnection xc = dataSource().getXAConnection();
        List<String> events = new ArrayList<>();
        xc.addConnectionEventListener(new ConnectionEventListener() {
            @Override
            public void connectionClosed(ConnectionEvent e) {
                events.add("closed");
            }

            @Override
            public void connectionErrorOccurred(ConnectionEvent e) {
                events.add("error " + e.getSQLException().getSQLState());
            }
        });
        Connection h1 = xc.getConnection();
        Statement s = h1.createStatement();
        assertSame(h1, s.getConnection(), "a handle's statement names the handle");
        assertSame(h1, h1.getMetaData().getConnection());
        h1.close();
        assertTrue(h1.isClosed());
        assertEquals(List.of("closed"), events);
        assertThrows(SQLException.class, h1::createStatement);
        Connection h2 = xc.getConnection();
        assertNotSame(h1, h2);
        assertTrue(h2.isValid(5), "the physical connection stayed open");
        // A new handle closes the one before it.
        Connection h3 = xc.getConnection();
        assertTrue(h2.isClosed());
        JdbcOdbcConnection physical = ((JdbcOdbcXAConnection) xc).physical();
        physical.close();
        SQLException gone = assertThrows(SQLException.class, h3::createStatement);
        assertTrue(gone.getSQLState().startsWith("08"), gone.getSQLState());
        assertTrue(events.contains("error 08003"), events.toString());
        xc.close();
        assertThrows(SQLException.class, xc::getConnection);
    }

    @Test
    void sqliteAnswersEveryBranchOperationWithAClearError() throws Exception {
        if (!Db.sqlite()) return;
        XAConnection xc = dataSource().getXAConnection();
        XAResource r = xc.getXAResource();
        Xid x = new TestXid(1, "sqlite", "b");
        XAException start = assertThrows(XAException.class, () -> r.start(x, XAResource.TMNOFLAGS));
        assertEquals(XAException.XAER_RMERR, start.errorCode);
        assertInstanceOf(SQLFeatureNotSupportedException.class, start.getCause());
        assertTrue(start.getMessage().contains("two-phase"), start.getMessage());
        assertEquals(XAException.XAER_RMERR, code(() -> r.prepare(x)));
        assertEquals(XAException.XAER_RMERR, code(() -> r.commit(x, false)));
        assertEquals(XAException.XAER_RMERR, code(() -> r.rollback(x)));
        assertEquals(XAException.XAER_RMERR, code(() -> r.recover(XAResource.TMSTARTRSCAN)));
        // The connection itself goes on working.
        Connection c = xc.getConnection();
        Db.exec(c, "CREATE TABLE xa_plain (v integer)", "INSERT INTO xa_plain VALUES (1)");
        assertEquals(1, count(c, "xa_plain"));
        xc.close();
    }
}
