package com.quorvane.jdbc;

import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.ScheduledFuture;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.locks.ReentrantLock;

/**
 * The native side of one statement: its handle, its bound-parameter array,
 * the bound-column array of its open result set and the pinned storage of
 * data at execution. Every call on them runs under {@link #lock}; only
 * {@link #cancel} comes from other threads without it. Kept apart from the
 * statement object so that the cleaner can free a statement nobody closed.
 */
final class StatementState implements Runnable {
    final ConnectionState conn;
    final JdbcOdbcClient odbc;
    final ReentrantLock lock = new ReentrantLock();
    /** errorCode array of the calls made under the lock. */
    final byte[] ec = new byte[2];
    volatile int hStmt;

    // Bound parameters (prepared statements).
    int params;
    int numParams;

    // The open result set, if any.
    int boundCols;
    int numCols;
    boolean cursorOpen;
    /** The chunk size last given to the handle (Odbc.STMT_FETCH_ROWS); 0 while never given. */
    int fetchRows;
    /** Counts the result sets opened on this statement; a result set closes only its own cursor. */
    long cursorId;
    /** The statement has results the driver still holds (a result set or more results). */
    boolean pending;

    // Pinned pairs of data at execution, released after the exchange.
    private final List<int[]> storage = new ArrayList<>(0);

    // Query timeout and cancel.
    private final Object execLock = new Object();
    private long execCounter;
    private long running;
    private boolean timedOut;
    private ScheduledFuture<?> timer;
    /** When the execution begun last started (System.nanoTime). */
    long executionStart;

    StatementState(ConnectionState conn, int hStmt) {
        this.conn = conn;
        this.odbc = conn.odbc;
        this.hStmt = hStmt;
    }

    /** The cleaner's action for a statement nobody closed. */
    @Override
    public void run() {
        free();
    }

    /**
     * Marks the start of an execution: sets the statement's query timeout
     * option (for data sources that honour it) and arms the driver-wide timer,
     * which cancels this execution, and no later one, when it expires.
     */
    void beginExecution(int timeoutSeconds) {
        executionStart = System.nanoTime();
        long id;
        synchronized (execLock) {
            id = ++execCounter;
            running = id;
            timedOut = false;
        }
        if (timeoutSeconds > 0) {
            timer = conn.env.timer().schedule(() -> expire(id), timeoutSeconds, TimeUnit.SECONDS);
        }
        conn.beginCall(this);
    }

    private void expire(long id) {
        synchronized (execLock) {
            int h = hStmt;
            if (running != id || h == 0) return;
            timedOut = true;
            odbc.cancel(h);
        }
    }

    /**
     * Ends the execution begun last; true when its query timeout expired and
     * cancelled it, or the connection's network timeout did.
     */
    boolean endExecution() {
        conn.endCall();
        ScheduledFuture<?> t = timer;
        timer = null;
        if (t != null) t.cancel(false);
        synchronized (execLock) {
            running = 0;
            return timedOut || conn.networkExpired;
        }
    }

    /**
     * Cancels whatever runs on the statement, an execution or a fetch (the
     * network timeout's cancel: the connection is given up, so a cursor the
     * cancel closes is lost with it).
     */
    void interrupt() {
        synchronized (execLock) {
            int h = hStmt;
            if (h != 0) odbc.cancel(h);
        }
    }

    /**
     * Cancels the execution running on the statement; safe from any thread.
     * Nothing is sent when no execution runs: ODBC 2's cancel of an idle
     * statement closes its cursor, which would end an open result set.
     */
    void cancel() {
        synchronized (execLock) {
            int h = hStmt;
            if (h != 0 && running != 0) odbc.cancel(h);
        }
    }

    /**
     * Closes the open cursor and frees its bound-column array, in the order
     * the natives need: the cursor closed (or the columns unbound, when more
     * results must stay), then the array freed.
     *
     * @param discard close the cursor with all pending results (else only unbind)
     */
    void closeCursor(boolean discard) {
        int h = hStmt;
        if (h != 0 && (cursorOpen || (discard && pending))) {
            if (discard) {
                odbc.freeStmt(h, Odbc.CLOSE);
                pending = false;
            }
            odbc.freeStmt(h, Odbc.UNBIND);
        }
        if (boundCols != 0) {
            odbc.freeBoundColBuffers(boundCols, numCols);
            conn.live.decrementAndGet();
            boundCols = 0;
        }
        if (cursorOpen) {
            cursorOpen = false;
            cursorId++;
        }
    }

    /** Closes the cursor of result set {@code id} if it is still the open one. */
    void closeCursorOf(long id, boolean discard) {
        lock.lock();
        try {
            if (cursorOpen && cursorId == id) closeCursor(discard);
        } finally {
            lock.unlock();
        }
    }

    /** Keeps a pinned pair of data at execution for {@link #releaseStorage}. */
    void keepStorage(int[] pairs) {
        storage.add(pairs);
        conn.live.incrementAndGet();
    }

    /** Releases the pinned pairs of data at execution. */
    void releaseStorage() {
        for (int[] s : storage) {
            odbc.ReleaseStoredBytes(s[0], s[1]);
            odbc.ReleaseStoredBytes(s[2], s[3]);
            conn.live.decrementAndGet();
        }
        storage.clear();
    }

    /**
     * Frees everything: the cursor and its columns, the pinned storage, the
     * bound parameters (which unbinds them first), then the handle. Runs
     * once; later calls do nothing.
     */
    void free() {
        if (!lock.tryLock()) {
            // Another thread runs a call on the statement: cancel it, then wait for it to end.
            cancel();
            lock.lock();
        }
        try {
            int h = hStmt;
            if (h == 0) return;
            closeCursor(true);
            releaseStorage();
            if (params != 0) {
                odbc.freeBoundParams(params, numParams);
                params = 0;
                conn.live.decrementAndGet();
            }
            synchronized (execLock) {
                hStmt = 0;
            }
            odbc.freeStmt(h, Odbc.DROP);
            conn.live.decrementAndGet();
            conn.statements.remove(this);
        } finally {
            lock.unlock();
        }
    }
}
