package com.quorvane.jdbc.xa;

import java.util.Arrays;
import javax.transaction.xa.Xid;

/** An XA transaction identifier as the native recover builds it. */
public class QuorvaneXid implements Xid {
    private final int formatId;
    private final byte[] gtrid;
    private final byte[] bqual;

    public QuorvaneXid(int formatId, int gtridLength, int bqualLength, byte[] data) {
        this.formatId = formatId;
        this.gtrid = Arrays.copyOfRange(data, 0, gtridLength);
        this.bqual = Arrays.copyOfRange(data, gtridLength, gtridLength + bqualLength);
    }

    @Override
    public int getFormatId() {
        return formatId;
    }

    @Override
    public byte[] getGlobalTransactionId() {
        return gtrid.clone();
    }

    @Override
    public byte[] getBranchQualifier() {
        return bqual.clone();
    }

    /** The gtrid bytes followed by the bqual bytes, as the native methods take them. */
    public byte[] getData() {
        byte[] d = new byte[gtrid.length + bqual.length];
        System.arraycopy(gtrid, 0, d, 0, gtrid.length);
        System.arraycopy(bqual, 0, d, gtrid.length, bqual.length);
        return d;
    }
}
