package com.quorvane.jdbc.tests;

import com.quorvane.jdbc.JdbcOdbcClient;
import com.quorvane.jdbc.Perf;
import com.quorvane.jdbc.xa.XAJdbcOdbcClient;

/**
 * The library loaded the way the driver loads it (System.loadLibrary in the
 * static initialisers of the classes), and the natives that need no data
 * source called through the JVM's own linking.
 */
public final class LoadLibraryTest {
    private LoadLibraryTest() {}

    public static void main(String[] args) {
        Check check = new Check("LoadLibraryTest");
        JdbcOdbcClient client = new JdbcOdbcClient();
        client.initIDs();
        client.initIDs();
        check.isTrue(client.isLittleEndianPlatform(), "isLittleEndianPlatform");
        String a = client.getFullZirUrorVersion();
        String b = client.getFullZirUrorVersion();
        check.equal("7.0.2.0.0", a, "getFullZirUrorVersion");
        check.equal(a, b, "a second getFullZirUrorVersion");
        check.isTrue(a != b, "each getFullZirUrorVersion makes a new string");

        Perf.timerClear();
        Perf.timerStart(3);
        Perf.timerRef(3, Long.MAX_VALUE);
        Perf.timerEnd(3);
        Perf.timerSummary();
        check.equal(0L, Perf.timerCurrent(), "timerCurrent");

        // The XA class loads the same library again in the same class loader.
        try {
            Class.forName(XAJdbcOdbcClient.class.getName(), true, LoadLibraryTest.class.getClassLoader());
            check.isTrue(true, "XAJdbcOdbcClient initialises");
        } catch (ClassNotFoundException | LinkageError e) {
            check.fail("XAJdbcOdbcClient initialises: " + e);
        }
        check.finish();
    }
}
