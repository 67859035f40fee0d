package com.quorvane.jdbc.xa;

/** The native XA operations on a transaction branch of a connection. */
public class XAJdbcOdbcClient {
    static {
        // The library is loaded by the driver's loader (from the jar, a named
        // folder or java.library.path); initialising JdbcOdbcClient runs it, so
        // both classes bind to the one copy in the process.
        try {
            Class.forName("com.quorvane.jdbc.JdbcOdbcClient", true, XAJdbcOdbcClient.class.getClassLoader());
        } catch (ClassNotFoundException e) {
            throw new NoClassDefFoundError(e.getMessage());
        }
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
