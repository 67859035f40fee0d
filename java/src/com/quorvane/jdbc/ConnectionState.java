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
    boolean closing;
    /** The auto-commit mode as last set on the handle. */
    volatile boolean autoCommit = true;

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
