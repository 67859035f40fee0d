package com.quorvane.jdbc.xa;

/** The native XA operations on a transaction branch of a connection. */
public class XAJdbcOdbcClient {
    static {
        System.loadLibrary("qvJdbcCS70");
    }

    public XAJdbcOdbcClient() {}

    public native int error(int hEnv, int hDbc, int hStmt, byte[] sqlState, byte[] errorMsg, byte[] errorCode);
    public native int getPendingXidNum(int hDbc, QuorvaneXAError xaError);
    public native void xaStart(int hDbc, int formatId, int gtridLength, int bqualLength, byte[] xidData, int flags,
            QuorvaneXAError xaError);
    public native void xaEnd(int hDbc, int formatId, int gtridLength, int bqualLength, byte[] xidData, int flags,
            QuorvaneXAError xaError);
    public native int xaPrepare(int hDbc, int formatId, int gtridLength, int bqualLength, byte[] xidData, int flags,
            QuorvaneXAError xaError);
    public native void xaForget(int hDbc, int formatId, int gtridLength, int bqualLength, byte[] xidData, int flags,
            QuorvaneXAError xaError);
    public native void xaCommit(int hDbc, int formatId, int gtridLength, int bqualLength, byte[] xidData,
            int option1, int option2, QuorvaneXAError xaError);
    public native void xaRollback(int hDbc, int formatId, int gtridLength, int bqualLength, byte[] xidData,
            int option1, int option2, QuorvaneXAError xaError);
    public native void xaRecover(int hDbc, QuorvaneXid[] xids, int count, int flags, QuorvaneXAError xaError);
}
