package com.quorvane.jdbc;

import java.nio.charset.StandardCharsets;
import java.sql.Connection;
import java.sql.PreparedStatement;
import javax.sql.XAConnection;
import javax.transaction.xa.XAResource;
import javax.transaction.xa.Xid;

/**
 * The process XaTest kills: prepares a branch that inserts one row, says
 * PREPARED on its output and waits to be killed.
 * Arguments: the URL, the global transaction id, the table.
 */
public final class XaPrepareChild {
    static final int FORMAT = 0x51560001;

    private XaPrepareChild() {}

    public static void main(String[] args) throws Exception {
        JdbcOdbcXADataSource ds = new JdbcOdbcXADataSource();
        ds.setUrl(args[0]);
        if (Db.user() != null) ds.setUser(Db.user());
        if (Db.password() != null) ds.setPassword(Db.password());
        XAConnection xc = ds.getXAConnection();
        XAResource r = xc.getXAResource();
        Xid xid = new XaTest.TestXid(FORMAT, args[1], "child");
        Connection c = xc.getConnection();
        r.start(xid, XAResource.TMNOFLAGS);
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO " + args[2] + " VALUES (?)")) {
            ps.setString(1, new String(xid.getGlobalTransactionId(), StandardCharsets.UTF_8));
            ps.executeUpdate();
        }
        r.end(xid, XAResource.TMSUCCESS);
        r.prepare(xid);
        System.out.println("PREPARED");
        System.out.flush();
        Thread.sleep(600_000);
    }
}
