package com.quorvane.jdbc;

import java.sql.SQLException;
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
    /**
     * A plain statement's handle is allocated at its first call that needs
     * one; until then {@link #hStmt} is 0 and this is set. Cleared when the
     * handle comes and when the statement is freed without one.
     */
    volatile boolean unallocated;

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

    /**
     * A prepared statement's result columns, described and bound once and
     * left bound between executions while the library's description version
     * stays the same: the next result of the same columns then costs no
     * describe, no binding and no buffers.
     */
    static final class Shape {
        final int boundCols;
        final int numCols;
        final long version;
        final int[] sqlTypes, driverTypes, lengths, cTypes, kinds;
        /** Per column: a conversion other than its kind's, or null (see JdbcOdbcResultSet). */
        final Conversion[] overrides;

        Shape(int boundCols, int numCols, long version, int[] sqlTypes, int[] driverTypes, int[] lengths, int[] cTypes,
                int[] kinds, Conversion[] overrides) {
            this.boundCols = boundCols;
            this.numCols = numCols;
            this.version = version;
            this.sqlTypes = sqlTypes;
            this.driverTypes = driverTypes;
            this.lengths = lengths;
            this.cTypes = cTypes;
            this.kinds = kinds;
            this.overrides = overrides;
        }
    }

    /** Set for a prepared statement kept for reuse: its result columns may stay bound between executions. */
    boolean keepsShape;
    /**
     * The columns kept bound; its bound-column array is {@link #boundCols}
     * while its result is open, and counted in the connection's objects.
     */
    volatile Shape shape;

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
    /** The handle is being allocated for a call (under execLock). */
    private boolean allocating;
    /** A cancel came while it was (under execLock). */
    private boolean cancelledBeforeHandle;

    StatementState(ConnectionState conn, int hStmt) {
        this.conn = conn;
        this.odbc = conn.odbc;
        this.hStmt = hStmt;
    }

    /**
     * Whether the statement can still be used: it has its handle, or waits
     * for it on a connection that is neither closed nor closing.
     */
    boolean usable() {
        return hStmt != 0 || (unallocated && !conn.closing && conn.hDbc != 0);
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
            if (allocating) cancelledBeforeHandle = true;
            else if (h != 0 && running != 0) odbc.cancel(h);
        }
    }

    /**
     * Allocates the handle of a statement that waits for it, for the call
     * about to run; under the lock. The allocation may wait for the
     * connection's other work (a data source whose calls take turns), and
     * there is no handle to cancel yet: a cancel that comes meanwhile fails
     * the call with HY008 once the handle is there, and the call never
     * reaches the data source.
     */
    void allocateForCall(JdbcOdbcConnection owner) throws SQLException {
        synchronized (execLock) {
            allocating = true;
            cancelledBeforeHandle = false;
        }
        boolean cancelled;
        try {
            owner.allocate(this);
        } finally {
            synchronized (execLock) {
                allocating = false;
                cancelled = cancelledBeforeHandle;
                cancelledBeforeHandle = false;
            }
        }
        if (cancelled) throw JdbcOdbcErrors.of("The statement was cancelled before it ran", "HY008");
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
        Shape s = shape;
        // Kept columns stay bound across a closed cursor, never across results still pending.
        boolean keep = discard && s != null && boundCols == s.boundCols;
        if (h != 0 && (cursorOpen || (discard && pending))) {
            if (discard) {
                odbc.freeStmt(h, Odbc.CLOSE);
                pending = false;
            }
            if (!keep) odbc.freeStmt(h, Odbc.UNBIND);
        }
        if (boundCols != 0) {
            if (!keep) {
                if (s != null && s.boundCols == boundCols) shape = null;
                odbc.freeBoundColBuffers(boundCols, numCols);
                conn.live.decrementAndGet();
            }
            boundCols = 0;
        }
        if (cursorOpen) {
            cursorOpen = false;
            cursorId++;
        }
    }

    /**
     * Unbinds and frees the kept columns; under the lock, with no result
     * open on them.
     */
    void dropShape() {
        Shape s = shape;
        if (s == null) return;
        shape = null;
        int h = hStmt;
        // Unbound before their buffers go: the driver writes into them at each fetch.
        if (h != 0) odbc.freeStmt(h, Odbc.UNBIND);
        odbc.freeBoundColBuffers(s.boundCols, s.numCols);
        conn.live.decrementAndGet();
    }

    /** {@link #describedVersion} when the version cannot be read. */
    static final long NO_VERSION = Long.MIN_VALUE;

    /**
     * The library's description version of the statement (see
     * {@link Odbc#STMT_DESCRIBED_VERSION}); {@link #NO_VERSION} when it cannot be read.
     */
    long describedVersion() {
        int v = odbc.getStmtOption(hStmt, Odbc.STMT_DESCRIBED_VERSION, ec);
        if (Odbc.succeeded(ec[0])) return v;
        JdbcOdbcErrors.records(odbc, 0, 0, hStmt);
        return NO_VERSION;
    }

    /** The native objects this statement holds while kept for reuse: handle, parameters, kept columns. */
    int keptObjects() {
        return shape != null ? 3 : 2;
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
            unallocated = false;
            if (h == 0) return;
            // Nothing bound but columns: the drop closes the cursor and
            // unbinds them in one call to the driver (each call costs the
            // driver manager a walk of every statement of the process), and
            // their buffers go after it. Bound parameters are reset first:
            // their release names the statement.
            boolean dropFirst = params == 0 && storage.isEmpty();
            if (dropFirst) dropHandle(h);
            closeCursor(true);
            dropShape();
            releaseStorage();
            if (params != 0) {
                odbc.freeBoundParams(params, numParams);
                params = 0;
                conn.live.decrementAndGet();
            }
            if (!dropFirst) dropHandle(h);
            conn.statements.remove(this);
        } finally {
            lock.unlock();
        }
    }

    /** Forgets the handle (no cancel reaches it from here on) and frees it; under the lock. */
    private void dropHandle(int h) {
        synchronized (execLock) {
            hStmt = 0;
        }
        odbc.freeStmt(h, Odbc.DROP);
        conn.live.decrementAndGet();
    }
}
