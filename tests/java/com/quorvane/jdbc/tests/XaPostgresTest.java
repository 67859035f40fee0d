package com.quorvane.jdbc.tests;

import com.quorvane.jdbc.JdbcOdbcClient;
import com.quorvane.jdbc.xa.QuorvaneXAError;
import com.quorvane.jdbc.xa.QuorvaneXid;
import com.quorvane.jdbc.xa.XAJdbcOdbcClient;
import java.security.SecureRandom;
import java.util.Arrays;

/**
 * A two-phase commit through the Java classes on PostgreSQL, with the JVM's
 * own linking of the XA natives: an XID of 64 + 64 random bytes and a
 * negative format identifier is prepared on one connection, recovered as a
 * QuorvaneXid on another and committed from there.
 */
public final class XaPostgresTest {
    private XaPostgresTest() {}

    static final int TMSUCCESS = 0x04000000;
    static final int TMSTARTRSCAN = 0x01000000;
    static final int TMENDRSCAN = 0x00800000;

    static final JdbcOdbcClient client = new JdbcOdbcClient();

    static int connect(int env) {
        byte[] ec = new byte[2];
        int dbc = client.allocConnect(env, ec);
        String cs = "Driver=" + System.getenv("QVT_PG_DRIVER") + ";Servername=" + System.getenv("QVT_PG_HOST")
                + ";Port=" + System.getenv("QVT_PG_PORT") + ";Database=qvjdbc;Uid=postgres;Pwd=;";
        client.driverConnect(dbc, XaSqliteTest.zstr(cs), ec);
        return ec[0] == 0 || ec[0] == 1 ? dbc : 0;
    }

    /** The SQLRETURN of the statement, as execDirect reports it (255: SQL_ERROR). */
    static int exec(int dbc, String sql) {
        byte[] ec = new byte[2];
        int stmt = client.allocStmt(dbc, ec);
        int rc = client.execDirect(stmt, sql);
        client.freeStmt(stmt, 1);
        return rc;
    }

    /** Whether the table has rows, seen from `dbc` (1/count(*) fails on none). */
    static boolean hasRows(int dbc, String table) {
        return exec(dbc, "SELECT 1 / count(*) FROM " + table) == 0;
    }

    public static void main(String[] args) {
        Check check = new Check("XaPostgresTest");
        client.initIDs();
        byte[] ec = new byte[2];
        int env = client.allocEnv(ec);
        int a = connect(env);
        int b = connect(env);
        check.isTrue(a != 0 && b != 0, "two connections to PostgreSQL");
        String table = "xa_java_" + ProcessHandle.current().pid();
        check.equal(0, exec(b, "CREATE TABLE " + table + " (v int)"), "create the table");

        byte[] data = new byte[128];
        new SecureRandom().nextBytes(data);
        data[0] = 0;
        data[1] = '\'';
        data[127] = 0;
        int formatId = -42;
        XAJdbcOdbcClient xa = new XAJdbcOdbcClient();
        XaSqliteTest.Recorder r = new XaSqliteTest.Recorder();
        xa.xaStart(a, formatId, 64, 64, data, 0, r);
        check.equal("ret:0;xa:0;", r.log(), "xaStart");
        check.equal(0, exec(a, "INSERT INTO " + table + " VALUES (1)"), "insert in the branch");
        r = new XaSqliteTest.Recorder();
        xa.xaEnd(a, formatId, 64, 64, data, TMSUCCESS, r);
        check.equal("ret:0;xa:0;", r.log(), "xaEnd");
        r = new XaSqliteTest.Recorder();
        check.equal(0, xa.xaPrepare(a, formatId, 64, 64, data, 0, r), "xaPrepare");
        check.isTrue(!hasRows(b, table), "the prepared row is invisible elsewhere");

        QuorvaneXAError e = new QuorvaneXAError();
        int pending = xa.getPendingXidNum(b, e);
        check.isTrue(pending >= 1, "getPendingXidNum counts the branch: " + pending);
        QuorvaneXid[] xids = new QuorvaneXid[pending + 2];
        e = new QuorvaneXAError();
        xa.xaRecover(b, xids, xids.length, TMSTARTRSCAN | TMENDRSCAN, e);
        check.equal(pending, e.getXAErrCode(), "xaRecover reports the count");
        check.isTrue(xids[pending] == null, "elements after the count stay as they were");
        QuorvaneXid found = null;
        for (int i = 0; i < pending; ++i) {
            if (xids[i].getFormatId() == formatId && Arrays.equals(xids[i].getData(), data)) {
                found = xids[i];
            }
        }
        check.isTrue(found != null, "xaRecover lists the branch with its exact bytes");
        if (found != null) {
            check.equal(64, found.getGlobalTransactionId().length, "gtrid length");
            r = new XaSqliteTest.Recorder();
            xa.xaCommit(b, found.getFormatId(), found.getGlobalTransactionId().length,
                    found.getBranchQualifier().length, found.getData(), 0, 0, r);
            check.equal("ret:0;xa:0;", r.log(), "xaCommit from the other connection");
        } else {
            xa.xaRollback(b, formatId, 64, 64, data, 0, 0, new QuorvaneXAError());
        }
        check.isTrue(hasRows(b, table), "the committed row is visible");

        exec(b, "DROP TABLE " + table);
        client.disconnect(a, ec);
        client.disconnect(b, ec);
        client.freeConnect(a, ec);
        client.freeConnect(b, ec);
        client.freeEnv(env, ec);
        check.finish();
    }
}
