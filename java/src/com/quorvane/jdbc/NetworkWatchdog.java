package com.quorvane.jdbc;

import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.locks.LockSupport;

/**
 * The driver's one watchdog of network timeouts: a daemon thread that sleeps
 * until the earliest deadline of a call in progress on a connection with a
 * network timeout, and expires the connections whose call outlived it
 * ({@link ConnectionState#expireNetwork}). A connection is watched only while
 * such a call runs; connections without a network timeout never reach it.
 * The thread ends after a minute without calls to watch (so that it holds no
 * dropped class loader of the driver) and starts again with the next one.
 */
final class NetworkWatchdog implements Runnable {
    private final Set<ConnectionState> watched = ConcurrentHashMap.newKeySet();
    private static final long IDLE_NANOS = 60_000_000_000L;
    /** The running thread; null while none runs. Started and ended under this object's monitor. */
    private volatile Thread thread;
    /** The thread looks at the deadlines now, or sleeps without a deadline: a new call must wake it. */
    private volatile boolean mustWake = true;
    /** When the thread wakes next (System.nanoTime), while it sleeps until a deadline. */
    private volatile long wakeAt;

    /** A call with this deadline (System.nanoTime) starts on {@code c}. */
    void watch(ConnectionState c, long deadline) {
        watched.add(c);
        Thread t = thread;
        if (t == null) t = start();
        if (mustWake || deadline - wakeAt < 0) LockSupport.unpark(t);
    }

    private synchronized Thread start() {
        if (thread == null) {
            Thread t = new Thread(this, "quorvane-jdbc-network-timeout");
            t.setDaemon(true);
            t.setContextClassLoader(null);
            mustWake = true;
            thread = t;
            t.start();
        }
        return thread;
    }

    /** Ends the thread when nothing was watched for a while; false when a call came meanwhile. */
    private synchronized boolean stopIdle() {
        if (!watched.isEmpty()) return false;
        thread = null;
        return true;
    }

    /** The call on {@code c} ended. */
    void unwatch(ConnectionState c) {
        watched.remove(c);
    }

    @Override
    public void run() {
        while (true) {
            mustWake = true;
            long now = System.nanoTime();
            long next = 0;
            boolean any = false;
            for (ConnectionState c : watched) {
                long d = c.callDeadline;
                if (d == 0) {
                    watched.remove(c);
                } else if (now - d >= 0) {
                    watched.remove(c);
                    try {
                        c.expireNetwork();
                    } catch (RuntimeException e) {
                        // an executor that refused the work; the connection stays marked broken
                    }
                } else if (!any || d - next < 0) {
                    next = d;
                    any = true;
                }
            }
            if (any) {
                wakeAt = next;
                mustWake = false;
                // A call watched between the scan and here woke the thread (unpark before park returns at once).
                LockSupport.parkNanos(this, next - now);
            } else {
                LockSupport.parkNanos(this, IDLE_NANOS);
                if (watched.isEmpty() && System.nanoTime() - now >= IDLE_NANOS && stopIdle()) return;
            }
        }
    }
}
