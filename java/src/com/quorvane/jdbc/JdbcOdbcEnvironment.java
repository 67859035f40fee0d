package com.quorvane.jdbc;

import java.lang.ref.Cleaner;
import java.sql.SQLException;
import java.util.concurrent.ScheduledThreadPoolExecutor;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * The process-wide part of the driver: the native library, one ODBC
 * environment handle (allocated once, never freed while the class lives), the
 * ID cache filled once, the cleaner for objects nobody closed and the timer of
 * query timeouts.
 */
final class JdbcOdbcEnvironment {
    private static volatile JdbcOdbcEnvironment instance;

    final JdbcOdbcClient odbc;
    final int hEnv;
    /**
     * Releases the native resources of connections, statements and result
     * sets nobody closed. The JDK's own cleaner thread: a thread this class
     * made would hold its class loader (through the thread's inherited
     * context) for as long as it runs, and a dropped class loader of the
     * driver could never be collected.
     */
    final Cleaner cleaner = Cleaner.create();
    /** Live connection handles of the process (a count for tests and diagnosis). */
    final AtomicInteger liveConnections = new AtomicInteger();
    private volatile ScheduledThreadPoolExecutor timer;
    private volatile NetworkWatchdog watchdog;

    private JdbcOdbcEnvironment(JdbcOdbcClient odbc, int hEnv) {
        this.odbc = odbc;
        this.hEnv = hEnv;
    }

    /** The environment, made on first use. */
    static JdbcOdbcEnvironment get() throws SQLException {
        JdbcOdbcEnvironment e = instance;
        if (e != null) return e;
        synchronized (JdbcOdbcEnvironment.class) {
            if (instance != null) return instance;
            JdbcOdbcClient odbc;
            try {
                odbc = new JdbcOdbcClient();
                odbc.initIDs();
            } catch (LinkageError err) {
                throw new SQLException("The native library of the driver cannot be loaded: " + err, "08001", err);
            }
            byte[] ec = new byte[2];
            int hEnv = odbc.allocEnv(ec);
            if (hEnv == 0 || !Odbc.succeeded(ec[0])) {
                throw new SQLException("No ODBC environment could be allocated (unixODBC missing?), code " + ec[0],
                        "08001");
            }
            instance = new JdbcOdbcEnvironment(odbc, hEnv);
            return instance;
        }
    }

    /**
     * The driver-wide timer of query timeouts: one daemon thread, made on
     * first use and ended after a minute without work, so that it does not
     * hold a dropped class loader of the driver.
     */
    ScheduledThreadPoolExecutor timer() {
        ScheduledThreadPoolExecutor t = timer;
        if (t != null) return t;
        synchronized (this) {
            if (timer == null) {
                ScheduledThreadPoolExecutor s = new ScheduledThreadPoolExecutor(1, r -> {
                    Thread th = new Thread(r, "quorvane-jdbc-timeout");
                    th.setDaemon(true);
                    th.setContextClassLoader(null);
                    return th;
                });
                s.setRemoveOnCancelPolicy(true);
                s.setKeepAliveTime(60, java.util.concurrent.TimeUnit.SECONDS);
                s.allowCoreThreadTimeOut(true);
                timer = s;
            }
            return timer;
        }
    }

    /** The driver-wide watchdog of network timeouts, made on first use. */
    NetworkWatchdog watchdog() {
        NetworkWatchdog w = watchdog;
        if (w != null) return w;
        synchronized (this) {
            if (watchdog == null) watchdog = new NetworkWatchdog();
            return watchdog;
        }
    }
}
