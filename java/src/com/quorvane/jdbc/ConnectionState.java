package com.quorvane.jdbc;

import java.sql.SQLException;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.locks.ReentrantLock;

/**
 * The native side of one connection: its handle, the statements allocated on
 * it and a count of every native object it owns. Kept apart from
 * {@link JdbcOdbcConnection} so that the cleaner can close a connection
 * nobody closed without holding the connection object itself.
 */
final class ConnectionState implements Runnable {
    final JdbcOdbcEnvironment env;
    final JdbcOdbcClient odbc;
    /** Serialises the calls on the connection handle. */
    final ReentrantLock lock = new ReentrantLock();
    final byte[] ec = new byte[2];
    final Set<StatementState> statements = ConcurrentHashMap.newKeySet();
    /**
     * Native objects owned by this connection and not yet released: statement
     * handles, bound-column arrays, bound-parameter arrays and pinned pairs of
     * data at execution.
     */
    final AtomicInteger live = new AtomicInteger();
    volatile int hDbc;
    /** Set when the connection starts closing; no statement is allocated then. */
    volatile boolean closing;
    /** The auto-commit mode as last set on the handle. */
    volatile boolean autoCommit = true;

    /** Connection.setNetworkTimeout: the longest a call may wait on the data source (ms); 0 none. */
    volatile int networkTimeout;
    /** Where the connection is abandoned once a call outlived the network timeout. */
    volatile java.util.concurrent.Executor networkExecutor;
    /** The deadline (System.nanoTime) of the call in progress under a network timeout; 0 none. */
    volatile long callDeadline;
    /** The statement of that call; null for a call on the connection itself. */
    volatile StatementState callStatement;
    /** A call outlived the network timeout: the connection is broken and being abandoned. */
    volatile boolean networkExpired;

    /** A call that may wait on the data source starts; nothing is done without a network timeout. */
    void beginCall(StatementState s) {
        int ms = networkTimeout;
        if (ms <= 0) return;
        callStatement = s;
        long d = System.nanoTime() + ms * 1_000_000L;
        if (d == 0) d = 1;
        callDeadline = d;
        env.watchdog().watch(this, d);
    }

    /** The call begun last ended. */
    void endCall() {
        if (callDeadline == 0) return;
        callDeadline = 0;
        callStatement = null;
        env.watchdog().unwatch(this);
    }

    /**
     * The watchdog's work when a call outlived the network timeout: the
     * connection is marked broken, the running statement cancelled (which
     * releases the waiting thread where the data source answers), and the
     * connection closed on the executor given with the timeout (which waits
     * for that thread to leave the statement).
     */
    void expireNetwork() {
        networkExpired = true;
        StatementState s = callStatement;
        if (s != null) s.interrupt();
        java.util.concurrent.Executor ex = networkExecutor;
        if (ex != null) ex.execute(this);
    }

    /** The failure of a call on a connection whose network timeout expired (08S01). */
    SQLException networkFailure(String what, SQLException cause) {
        SQLException e = new java.sql.SQLNonTransientConnectionException(what + ": the network timeout of "
                + networkTimeout + " ms expired; the connection is closed", "08S01", cause);
        return e;
    }

    /**
     * A prepared statement's native side kept for the next prepare of the
     * same text: its handle (prepared, its parameters described and bound),
     * and what the description said.
     */
    static final class Prepared {
        final StatementState state;
        final short[] paramSqlTypes;
        final int[] columnSizes;

        Prepared(StatementState state, short[] paramSqlTypes, int[] columnSizes) {
            this.state = state;
            this.paramSqlTypes = paramSqlTypes;
            this.columnSizes = columnSizes;
        }
    }

    /** Prepared statements kept at most, per connection. */
    static final int PREPARED_KEPT = 64;
    /** Texts whose prepares are counted at most; the count starts again beyond. */
    private static final int PREPARES_COUNTED = 1024;
    /** Guards {@link #prepared} and {@link #prepares}. */
    private final Object preparedLock = new Object();
    /** Kept prepared statements by text, least recently used first. */
    private final java.util.LinkedHashMap<String, Prepared> prepared = new java.util.LinkedHashMap<>(16, 0.75f, true);
    /** How often each text was prepared on this connection. */
    private final java.util.HashMap<String, Integer> prepares = new java.util.HashMap<>();

    /** The kept prepared statement of {@code sql}, taken out of the cache; null when none is kept. */
    Prepared takePrepared(String sql) {
        synchronized (preparedLock) {
            return prepared.remove(sql);
        }
    }

    /**
     * Counts a prepare of {@code sql}; true from its second prepare on, when
     * the statement is worth keeping at its close (a text prepared once,
     * as most ad-hoc statements are, is freed at once).
     */
    boolean preparedAgain(String sql) {
        synchronized (preparedLock) {
            if (prepares.size() >= PREPARES_COUNTED && !prepares.containsKey(sql)) prepares.clear();
            return prepares.merge(sql, 1, Integer::sum) > 1;
        }
    }

    /**
     * Keeps a closed prepared statement's native side for the next prepare of
     * {@code sql}. False when the connection closes or the text already has
     * one kept (the caller frees its own). The least recently used beyond
     * {@link #PREPARED_KEPT} is freed.
     */
    boolean keepPrepared(String sql, Prepared p) {
        Prepared evicted = null;
        synchronized (preparedLock) {
            if (closing || hDbc == 0 || prepared.containsKey(sql)) return false;
            prepared.put(sql, p);
            if (prepared.size() > PREPARED_KEPT) {
                java.util.Iterator<Prepared> eldest = prepared.values().iterator();
                evicted = eldest.next();
                eldest.remove();
            }
        }
        // Freed outside the cache's lock; it takes that statement's own lock.
        if (evicted != null) evicted.state.free();
        return true;
    }

    /** The native objects of the kept statements: each a handle and its bound-parameter array. */
    int keptNativeObjects() {
        synchronized (preparedLock) {
            return 2 * prepared.size();
        }
    }

    /** Forgets the kept statements (their handles are freed with the other statements). */
    private void forgetPrepared() {
        synchronized (preparedLock) {
            prepared.clear();
            prepares.clear();
        }
    }

    ConnectionState(JdbcOdbcEnvironment env, int hDbc) {
        this.env = env;
        this.odbc = env.odbc;
        this.hDbc = hDbc;
    }

    boolean isClosed() {
        return hDbc == 0;
    }

    /** The cleaner's action for a connection nobody closed. */
    @Override
    public void run() {
        try {
            close();
        } catch (SQLException | RuntimeException e) {
            // Nobody is left to tell.
        }
    }

    /**
     * Frees every statement (with its result set, bound arrays and pinned
     * storage), ends an open transaction with a rollback, disconnects and
     * frees the handle. Runs once; later calls do nothing.
     */
    SQLException close() throws SQLException {
        SQLException failure = null;
        lock.lock();
        try {
            // From now on no statement is allocated: none can slip in after the frees below.
            closing = true;
            forgetPrepared();
        } finally {
            lock.unlock();
        }
        for (StatementState s : statements) {
            try {
                s.free();
            } catch (RuntimeException e) {
                // free does not throw for native failures; go on with the others
            }
        }
        lock.lock();
        try {
            int h = hDbc;
            if (h == 0) return null;
            if (!autoCommit) odbc.transact(env.hEnv, h, Odbc.ROLLBACK);
            odbc.disconnect(h, ec);
            if (!Odbc.succeeded(ec[0])) failure = JdbcOdbcErrors.failure(odbc, 0, h, 0, "disconnect", false);
            hDbc = 0;
            odbc.freeConnect(h, ec);
            env.liveConnections.decrementAndGet();
        } finally {
            lock.unlock();
        }
        if (failure != null) throw failure;
        return null;
    }
}
