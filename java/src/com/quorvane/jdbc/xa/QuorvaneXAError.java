package com.quorvane.jdbc.xa;

/** Receives the outcome of one native XA operation. */
public class QuorvaneXAError {
    private byte retCode;
    private int xaErrCode;

    public void setRetCode(byte retCode) {
        this.retCode = retCode;
    }

    public void setXAErrCode(int xaErrCode) {
        this.xaErrCode = xaErrCode;
    }

    public byte getRetCode() {
        return retCode;
    }

    public int getXAErrCode() {
        return xaErrCode;
    }
}
