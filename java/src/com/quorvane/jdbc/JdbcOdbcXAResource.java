package com.quorvane.jdbc;

import com.quorvane.jdbc.xa.QuorvaneXAError;
import com.quorvane.jdbc.xa.QuorvaneXid;
import com.quorvane.jdbc.xa.XAJdbcOdbcClient;
import java.sql.SQLException;
import java.util.ArrayList;
import java.util.List;
import javax.transaction.xa.XAException;
import javax.transaction.xa.XAResource;
import javax.transaction.xa.Xid;

/**
 * The XA branch operations of one connection, over the XA natives and the
 * data source's two-phase commit (PostgreSQL's prepared transactions).
 *
 * <p>Each failure is an {@link XAException} whose {@code errorCode} is the
 * XA code the driver library reported (XAER_NOTA, XAER_PROTO, XA_RB*, ...)
 * and whose cause carries the connection's diagnostics. One branch at a time
 * runs on a connection; branches of one global transaction on several
 * connections need branch qualifiers of their own, as they are not joined
 * ({@link #isSameRM} is true only for this resource itself). A prepared
 * branch belongs to the database: any connection to it can commit, roll back
 * or recover it, in this process or another. Transaction timeouts are not
 * offered ({@link #setTransactionTimeout} answers false).
 */
public class JdbcOdbcXAResource implements XAResource {
    private static final int RC_INVALID_HANDLE = -2;
    /** The recovery buffer grows in steps of this many identifiers. */
    private static final int RECOVER_STEP = 64;

    private static volatile XAJdbcOdbcClient client;

    private final JdbcOdbcConnection conn;
    /**
     * The branch started on this connection and not yet prepared, committed
     * or rolled back, if any: until then the session's transaction is the
     * branch's.
     */
    private volatile Xid associated;

    JdbcOdbcXAResource(JdbcOdbcConnection conn) {
        this.conn = conn;
    }

    private static XAJdbcOdbcClient client() {
        XAJdbcOdbcClient c = client;
        if (c == null) {
            synchronized (JdbcOdbcXAResource.class) {
                if (client == null) client = new XAJdbcOdbcClient();
                c = client;
            }
        }
        return c;
    }

    /** Whether the connection's transaction belongs to a branch (started, not yet prepared or ended). */
    boolean associated() {
        return associated != null;
    }

    /** One branch operation on the connection handle. */
    private interface Op {
        int run(XAJdbcOdbcClient xa, int hDbc, int formatId, int gtridLength, int bqualLength, byte[] data,
                QuorvaneXAError e);
    }

    private static XAException xaError(int code, String message, Throwable cause) {
        XAException x = new XAException(message);
        x.errorCode = code;
        if (cause != null) x.initCause(cause);
        return x;
    }

    /** The identifier's bytes, gtrid then bqual, checked against XA's limits before they reach the natives. */
    private static byte[] data(Xid xid) throws XAException {
        if (xid == null) throw xaError(XAException.XAER_INVAL, "No transaction identifier", null);
        byte[] g = xid.getGlobalTransactionId();
        byte[] b = xid.getBranchQualifier();
        if (g == null || g.length < 1 || g.length > Xid.MAXGTRIDSIZE || b == null || b.length > Xid.MAXBQUALSIZE) {
            throw xaError(XAException.XAER_INVAL, "The transaction identifier's lengths are outside 1..64 and 0..64",
                    null);
        }
        byte[] d = new byte[g.length + b.length];
        System.arraycopy(g, 0, d, 0, g.length);
        System.arraycopy(b, 0, d, g.length, b.length);
        return d;
    }

    /**
     * Runs an operation under the connection's lock; returns the XA code
     * (XA_OK or XA_RDONLY), or throws the failure with the connection's
     * diagnostics.
     */
    private int call(String what, Xid xid, Op op) throws XAException {
        byte[] data = data(xid);
        int gl = xid.getGlobalTransactionId().length;
        ConnectionState st = conn.state;
        st.lock.lock();
        try {
            int h = hDbc();
            QuorvaneXAError e = new QuorvaneXAError();
            op.run(client(), h, xid.getFormatId(), gl, data.length - gl, data, e);
            int rc = e.getRetCode();
            int code = e.getXAErrCode();
            if (Odbc.succeeded(rc) && (code == XA_OK || code == XA_RDONLY)) return code;
            SQLException diag = JdbcOdbcErrors.failure(conn.odbc, 0, h, 0, what, false);
            if (code == XA_OK) code = rc == RC_INVALID_HANDLE ? XAException.XAER_RMFAIL : XAException.XAER_RMERR;
            throw xaError(code, what + ": " + diag.getMessage() + " (XA code " + code + ")", diag);
        } finally {
            st.lock.unlock();
        }
    }

    private int hDbc() throws XAException {
        try {
            return conn.hDbc();
        } catch (SQLException e) {
            throw xaError(XAException.XAER_RMFAIL, "The connection is closed", e);
        }
    }

    @Override
    public void start(Xid xid, int flags) throws XAException {
        call("start", xid, (xa, h, f, g, b, d, e) -> {
            xa.xaStart(h, f, g, b, d, flags, e);
            return 0;
        });
        associated = xid;
    }

    @Override
    public void end(Xid xid, int flags) throws XAException {
        call("end", xid, (xa, h, f, g, b, d, e) -> {
            xa.xaEnd(h, f, g, b, d, flags, e);
            return 0;
        });
    }

    /** XA_OK, or XA_RDONLY when the branch changed nothing (it is then committed already). */
    @Override
    public int prepare(Xid xid) throws XAException {
        try {
            return call("prepare", xid, (xa, h, f, g, b, d, e) -> xa.xaPrepare(h, f, g, b, d, TMNOFLAGS, e));
        } finally {
            if (sameBranch(xid)) associated = null;
        }
    }

    @Override
    public void commit(Xid xid, boolean onePhase) throws XAException {
        try {
            call(onePhase ? "one-phase commit" : "commit", xid, (xa, h, f, g, b, d, e) -> {
                xa.xaCommit(h, f, g, b, d, onePhase ? TMONEPHASE : 0, TMNOFLAGS, e);
                return 0;
            });
        } finally {
            if (sameBranch(xid)) associated = null;
        }
    }

    @Override
    public void rollback(Xid xid) throws XAException {
        try {
            call("rollback", xid, (xa, h, f, g, b, d, e) -> {
                xa.xaRollback(h, f, g, b, d, 0, TMNOFLAGS, e);
                return 0;
            });
        } finally {
            if (sameBranch(xid)) associated = null;
        }
    }

    private boolean sameBranch(Xid xid) {
        Xid a = associated;
        return a != null && xid != null && a.getFormatId() == xid.getFormatId()
                && java.util.Arrays.equals(a.getGlobalTransactionId(), xid.getGlobalTransactionId())
                && java.util.Arrays.equals(a.getBranchQualifier(), xid.getBranchQualifier());
    }

    @Override
    public void forget(Xid xid) throws XAException {
        call("forget", xid, (xa, h, f, g, b, d, e) -> {
            xa.xaForget(h, f, g, b, d, TMNOFLAGS, e);
            return 0;
        });
    }

    /**
     * The prepared branches of the database. TMSTARTRSCAN starts a scan,
     * TMNOFLAGS goes on with it, TMENDRSCAN ends it after this call; each
     * call returns everything the scan has left.
     */
    @Override
    public Xid[] recover(int flag) throws XAException {
        if ((flag & ~(TMSTARTRSCAN | TMENDRSCAN)) != 0) {
            throw xaError(XAException.XAER_INVAL, "recover takes TMSTARTRSCAN, TMENDRSCAN or TMNOFLAGS", null);
        }
        ConnectionState st = conn.state;
        st.lock.lock();
        try {
            int h = hDbc();
            XAJdbcOdbcClient xa = client();
            List<Xid> found = new ArrayList<>();
            int f = flag & ~TMENDRSCAN;
            while (true) {
                QuorvaneXid[] buf = new QuorvaneXid[RECOVER_STEP];
                QuorvaneXAError e = new QuorvaneXAError();
                xa.xaRecover(h, buf, RECOVER_STEP, f, e);
                if (!Odbc.succeeded(e.getRetCode())) throw scanFailure(h, e.getRetCode());
                int n = Math.min(e.getXAErrCode(), RECOVER_STEP);
                for (int i = 0; i < n; i++) found.add(buf[i]);
                if (n < RECOVER_STEP) break;
                f = TMNOFLAGS;
            }
            if ((flag & TMENDRSCAN) != 0) {
                QuorvaneXAError e = new QuorvaneXAError();
                xa.xaRecover(h, new QuorvaneXid[0], 0, TMENDRSCAN, e);
                if (!Odbc.succeeded(e.getRetCode())) throw scanFailure(h, e.getRetCode());
            }
            return found.toArray(new Xid[0]);
        } finally {
            st.lock.unlock();
        }
    }

    /** A failed scan: its count carries no code, the diagnostic's state tells the XA error. */
    private XAException scanFailure(int h, int rc) {
        SQLException diag = JdbcOdbcErrors.failure(conn.odbc, 0, h, 0, "recover", false);
        String s = diag.getSQLState();
        int code = rc == RC_INVALID_HANDLE || (s != null && s.startsWith("08")) ? XAException.XAER_RMFAIL
                : "HY009".equals(s) ? XAException.XAER_INVAL : XAException.XAER_RMERR;
        return xaError(code, "recover: " + diag.getMessage() + " (XA code " + code + ")", diag);
    }

    /** Only this resource: branches on two connections are never joined, so no other is the same. */
    @Override
    public boolean isSameRM(XAResource other) {
        return other == this;
    }

    @Override
    public int getTransactionTimeout() {
        return 0;
    }

    /** Transaction timeouts are not offered: the answer is false and nothing changes. */
    @Override
    public boolean setTransactionTimeout(int seconds) throws XAException {
        if (seconds < 0) throw xaError(XAException.XAER_INVAL, "Negative transaction timeout", null);
        return false;
    }
}
