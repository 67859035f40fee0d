package com.quorvane.jdbc.tests;

import com.quorvane.jdbc.JdbcOdbcClient;
import com.quorvane.jdbc.xa.QuorvaneXAError;
import com.quorvane.jdbc.xa.QuorvaneXid;
import com.quorvane.jdbc.xa.XAJdbcOdbcClient;
import java.nio.charset.StandardCharsets;

/**
 * The nine XA natives linked by the JVM itself and called through the Java
 * class on SQLite, a data source without two-phase commit: every operation
 * reports XAER_RMERR (recover and the pending count: SQL_ERROR and a count of
 * 0) and leaves a diagnostic that error() reads.
 */
public final class XaSqliteTest {
    private XaSqliteTest() {}

    static final int XAER_RMERR = -3;
    static final int TMSTARTRSCAN = 0x01000000;
    static final int TMENDRSCAN = 0x00800000;
    static final int TMSUCCESS = 0x04000000;

    /**
     * Records the outcome calls in order ("ret:-1;xa:-3;"); the contract tests
     * use it too. Optionally throws from setRetCode after recording.
     */
    public static class Recorder extends QuorvaneXAError {
        private final StringBuilder calls = new StringBuilder();
        public boolean throwFromRetCode;

        @Override
        public void setRetCode(byte retCode) {
            calls.append("ret:").append(retCode).append(';');
            super.setRetCode(retCode);
            if (throwFromRetCode) {
                throw new IllegalStateException("thrown by setRetCode");
            }
        }

        @Override
        public void setXAErrCode(int xaErrCode) {
            calls.append("xa:").append(xaErrCode).append(';');
            super.setXAErrCode(xaErrCode);
        }

        public String log() {
            return calls.toString();
        }
    }

    static byte[] zstr(String s) {
        return (s + "\0").getBytes(StandardCharsets.ISO_8859_1);
    }

    public static void main(String[] args) {
        Check check = new Check("XaSqliteTest");
        JdbcOdbcClient client = new JdbcOdbcClient();
        client.initIDs();
        byte[] ec = new byte[2];
        int env = client.allocEnv(ec);
        int dbc = client.allocConnect(env, ec);
        String file = System.getenv("QVT_TMP") + "/xa-java-" + ProcessHandle.current().pid() + ".sqlite";
        client.driverConnect(dbc, zstr("Database=" + file + ";"), ec);
        check.isTrue(ec[0] == 0 || ec[0] == 1, "connect to SQLite: " + ec[0]);

        XAJdbcOdbcClient xa = new XAJdbcOdbcClient();
        byte[] data = "gtrid-bq".getBytes(StandardCharsets.ISO_8859_1);
        String refused = "ret:-1;xa:" + XAER_RMERR + ";";

        Recorder r = new Recorder();
        xa.xaStart(dbc, 7, 5, 3, data, 0, r);
        check.equal(refused, r.log(), "xaStart");
        r = new Recorder();
        xa.xaEnd(dbc, 7, 5, 3, data, TMSUCCESS, r);
        check.equal(refused, r.log(), "xaEnd");
        r = new Recorder();
        check.equal(XAER_RMERR, xa.xaPrepare(dbc, 7, 5, 3, data, 0, r), "xaPrepare's result");
        check.equal(refused, r.log(), "xaPrepare");
        r = new Recorder();
        xa.xaCommit(dbc, 7, 5, 3, data, 0, 0, r);
        check.equal(refused, r.log(), "xaCommit");
        r = new Recorder();
        xa.xaRollback(dbc, 7, 5, 3, data, 0, 0, r);
        check.equal(refused, r.log(), "xaRollback");
        r = new Recorder();
        xa.xaForget(dbc, 7, 5, 3, data, 0, r);
        check.equal(refused, r.log(), "xaForget");

        r = new Recorder();
        QuorvaneXid[] xids = new QuorvaneXid[2];
        xa.xaRecover(dbc, xids, 2, TMSTARTRSCAN | TMENDRSCAN, r);
        check.equal("ret:-1;xa:0;", r.log(), "xaRecover (the count slot reads 0)");
        check.isTrue(xids[0] == null && xids[1] == null, "xaRecover stores nothing");

        r = new Recorder();
        check.equal(0, xa.getPendingXidNum(dbc, r), "getPendingXidNum's result");
        check.equal("ret:-1;xa:0;", r.log(), "getPendingXidNum");

        byte[] state = new byte[6];
        byte[] msg = new byte[300];
        byte[] rec = new byte[2];
        xa.error(0, dbc, 0, state, msg, rec);
        check.equal(0, (int) rec[0], "error() finds the record");
        check.equal("S1C00", new String(state, 0, 5, StandardCharsets.ISO_8859_1), "the record's SQLSTATE");
        check.isTrue(new String(msg, StandardCharsets.ISO_8859_1).contains("two-phase"), "the record's text");

        client.disconnect(dbc, ec);
        client.freeConnect(dbc, ec);
        client.freeEnv(env, ec);
        new java.io.File(file).delete();
        check.finish();
    }
}
