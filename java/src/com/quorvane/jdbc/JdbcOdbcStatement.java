package com.quorvane.jdbc;

import java.lang.ref.Cleaner;
import java.sql.BatchUpdateException;
import java.sql.Connection;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.SQLWarning;
import java.sql.Statement;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/**
 * A plain statement over one ODBC statement handle. Calls on it are
 * serialised; {@link #cancel} may come from any thread, and {@link #close}
 * from another thread cancels what runs first. A query timeout holds whatever
 * the data source does: besides the statement's timeout option, a driver-wide
 * timer cancels the execution when the time is up, and the failure is then a
 * {@link java.sql.SQLTimeoutException}.
 *
 * <p>The natives deliver the warnings of a batch through {@link #setWarning}.
 */
public class JdbcOdbcStatement implements Statement {
    final JdbcOdbcConnection conn;
    final StatementState state;
    final JdbcOdbcClient odbc;
    private final Cleaner.Cleanable cleanable;
    /** The cleaner's action: frees the native side unless the statement was kept for reuse. */
    private final Release release;
    /**
     * A statement option was set on the handle (row limit, query timeout,
     * escape processing, cursor name): the handle is not kept for reuse.
     */
    boolean optionsSet;
    private SQLWarning warnings;
    private int queryTimeout;
    int maxRows;
    int fetchSize;
    private int maxFieldSize;
    private boolean closeOnCompletion;
    boolean poolable;
    private volatile boolean closed;
    /** The current result: a result set, or an update count (-1 when there is none). */
    JdbcOdbcResultSet resultSet;
    /** The current result when the statement's result sets scroll: its rows held in memory. */
    JdbcOdbcMemoryResultSet heldResultSet;
    /** TYPE_FORWARD_ONLY, or TYPE_SCROLL_INSENSITIVE for results held in memory. */
    int resultSetType = ResultSet.TYPE_FORWARD_ONLY;
    /** CONCUR_UPDATABLE: results are held in memory and written back through {@link UpdatableRows}. */
    int resultSetConcurrency = ResultSet.CONCUR_READ_ONLY;
    /** The text of the last execution, for an updatable result to find its table. */
    String executedSql;
    /** HOLD_CURSORS_OVER_COMMIT: results are read whole into memory, where a commit does not reach them. */
    int holdability;
    long updateCount = -1;
    private List<String> batch;
    /** The text run last may hold several statements: a ';' with more text after it. */
    boolean severalStatements;
    /**
     * The driver moved to the next result when the application closed the
     * result set before it (so that a closed cursor keeps no locks); that
     * result, or its failure, is taken by the next {@link #getMoreResults}.
     */
    private boolean advanced;
    private SQLException advancedFailure;
    /** The generated keys asked of the current execution; null when none are. */
    GeneratedKeys keys;
    /** While a batch runs row by row for its keys: the keys of the rows before are kept. */
    boolean keepKeys;

    JdbcOdbcStatement(JdbcOdbcConnection conn, StatementState state) {
        this.holdability = conn.holdability;
        this.conn = conn;
        this.state = state;
        this.odbc = conn.odbc;
        this.fetchSize = conn.defaultFetchSize;
        this.release = new Release(state);
        this.cleanable = conn.env.cleaner.register(this, release);
    }

    /** Frees a statement's native side when it is closed or unreachable, unless it was kept for reuse. */
    private static final class Release implements Runnable {
        private final StatementState state;
        volatile boolean kept;

        Release(StatementState state) {
            this.state = state;
        }

        @Override
        public void run() {
            if (!kept) state.free();
        }
    }

    /**
     * At close, under the lock: whether the statement's native side goes to
     * the connection's cache of prepared statements instead of being freed.
     * Plain statements are never kept.
     */
    boolean keepForReuse() {
        return false;
    }

    /**
     * Adds a warning to the statement's chain. The native batch calls it for
     * every diagnostic record of a command that returned with information.
     */
    public void setWarning(SQLWarning warning) {
        if (warning == null) return;
        if (warnings == null) {
            warnings = warning;
        } else {
            warnings.setNextWarning(warning);
        }
    }

    /** The statement's handle, checked open; call under the lock. */
    int handle() throws SQLException {
        if (closed) throw JdbcOdbcErrors.closed("The statement");
        int h = state.hStmt;
        if (h == 0) {
            if (conn.isClosed()) throw JdbcOdbcErrors.connectionClosed();
            throw JdbcOdbcErrors.closed("The statement");
        }
        return h;
    }

    void checkOpen() throws SQLException {
        if (closed || !state.usable()) {
            if (conn.isClosed()) throw JdbcOdbcErrors.connectionClosed();
            throw JdbcOdbcErrors.closed("The statement");
        }
    }

    /**
     * Takes the statement's lock for a call on its handle, allocating the
     * handle of a plain statement at its first such call.
     */
    void lock() throws SQLException {
        state.lock.lock();
        if (closed || state.hStmt == 0) {
            if (!closed && state.unallocated) {
                try {
                    state.allocateForCall(conn);
                    return;
                } catch (SQLException | RuntimeException e) {
                    state.lock.unlock();
                    throw e;
                }
            }
            state.lock.unlock();
            checkOpen();
        }
    }

    void unlock() {
        state.lock.unlock();
    }

    /** The statement's diagnostics as an exception. */
    SQLException failure(String what, boolean timedOut) {
        boolean network = state.conn.networkExpired;
        SQLException e = JdbcOdbcErrors.failure(odbc, 0, 0, state.hStmt, what, timedOut && !network);
        return network ? state.conn.networkFailure(what, e) : e;
    }

    /**
     * The failure of an execution. A data source that ends the statement on
     * its own timeout option (PostgreSQL's statement_timeout: 57014) reports
     * it as a cancel; when the query timeout has run out by then, it is a
     * timeout like the timer's.
     */
    SQLException executionFailure(String what, boolean timedOut) {
        SQLException e = failure(what, timedOut);
        if (timedOut || queryTimeout <= 0 || e instanceof java.sql.SQLTimeoutException) return e;
        long ms = (System.nanoTime() - state.executionStart) / 1_000_000L;
        String st = e.getSQLState();
        if (ms >= queryTimeout * 1000L - 100 && ("57014".equals(st) || "HY008".equals(st) || "HYT00".equals(st))) {
            java.sql.SQLTimeoutException t = new java.sql.SQLTimeoutException(e.getMessage(), st, e.getErrorCode(), e);
            if (e.getNextException() != null) t.setNextException(e.getNextException());
            return t;
        }
        return e;
    }

    /** Collects the warnings of a call that returned with information. */
    void collectWarnings() {
        setWarning(JdbcOdbcErrors.warnings(odbc, 0, 0, state.hStmt));
    }

    /** Result sets kept open by getMoreResults(KEEP_CURRENT_RESULT), until the statement runs again or closes. */
    private final java.util.List<java.sql.ResultSet> keptResultSets = new java.util.ArrayList<>();

    private void closeKept() {
        for (java.sql.ResultSet rs : keptResultSets) {
            if (rs instanceof JdbcOdbcResultSet) ((JdbcOdbcResultSet) rs).markClosed(true);
            else {
                try {
                    rs.close();
                } catch (SQLException e) {
                    // held in memory: nothing to fail
                }
            }
        }
        keptResultSets.clear();
    }

    /** Closes the current result set and forgets the current result; under the lock. */
    void clearResults() {
        closeKept();
        if (resultSet != null) {
            resultSet.markClosed(true);
            resultSet = null;
        }
        if (heldResultSet != null) {
            heldResultSet.close();
            heldResultSet = null;
        }
        state.closeCursor(true);
        updateCount = -1;
        advanced = false;
        advancedFailure = null;
    }

    /** Whether {@code sql} may hold several statements: a ';' followed by more than blanks. */
    static boolean mayHoldSeveral(String sql) {
        int semicolon = sql.indexOf(';');
        if (semicolon < 0) return false;
        for (int i = semicolon + 1; i < sql.length(); i++) {
            if (!Character.isWhitespace(sql.charAt(i)) && sql.charAt(i) != ';') return true;
        }
        return false;
    }

    /**
     * Closes the current result set's cursor for the application. When the
     * text may hold several statements, the results after it are kept: the
     * driver moves to the next one now, for {@link #getMoreResults}, and
     * closes the cursor if there is none. Under the lock.
     */
    void closeCursorOf(long cursorId) {
        if (!severalStatements || !state.pending) {
            state.closeCursorOf(cursorId, true);
            return;
        }
        if (!state.cursorOpen || state.cursorId != cursorId) return;
        state.closeCursor(false);
        int h = state.hStmt;
        odbc.moreResults(h, state.ec);
        int rc = state.ec[0];
        if (rc == Odbc.NO_DATA) {
            state.closeCursor(true);
            return;
        }
        advanced = true;
        if (!Odbc.succeeded(rc)) {
            advancedFailure = failure("getMoreResults", false);
            state.closeCursor(true);
        } else if (rc == Odbc.SUCCESS_WITH_INFO) {
            collectWarnings();
        }
    }

    /** Readies the handle for an execution; under the lock. */
    void beforeExecute() throws SQLException {
        int h = handle();
        clearResults();
        warnings = null;
        if (keys != null && !keepKeys) keys.reset();
        if (keys != null) keys.beforeExecution(conn);
        if (queryTimeout > 0) {
            // Data sources that honour the option end the statement themselves.
            odbc.setStmtOption(h, Odbc.QUERY_TIMEOUT, queryTimeout, state.ec);
            if (!Odbc.succeeded(state.ec[0])) JdbcOdbcErrors.records(odbc, 0, 0, h);
        }
        // A fetch size reads a forward-only query in chunks of that many rows
        // (libruva70 decides whether the text and the connection allow it:
        // a query, manual-commit mode, a data source with cursors). The
        // handle is told only when the size changes.
        int rows = fetchSize > 0 && resultSetType == ResultSet.TYPE_FORWARD_ONLY && keys == null ? fetchSize : 0;
        if (rows != state.fetchRows) {
            odbc.setStmtOption(h, Odbc.STMT_FETCH_ROWS, rows, state.ec);
            if (!Odbc.succeeded(state.ec[0])) throw failure("setting the fetch size", false);
            state.fetchRows = rows;
        }
        state.beginExecution(queryTimeout);
    }

    /**
     * Takes the outcome of an execution: throws its diagnostics on failure
     * (as a timeout when the timer cancelled it), otherwise makes its first
     * result current. Under the lock.
     */
    void afterExecute(int rc, String what) throws SQLException {
        boolean timedOut = state.endExecution();
        if (rc == Odbc.ERROR || rc == Odbc.INVALID_HANDLE) throw executionFailure(what, timedOut);
        if (timedOut) {
            // The timer fired as the execution ended: the cancel may have closed its results.
            state.closeCursor(true);
            JdbcOdbcErrors.records(odbc, 0, 0, state.hStmt);
            if (state.conn.networkExpired) throw state.conn.networkFailure(what, null);
            throw new java.sql.SQLTimeoutException(what + ": the query timeout expired", "HYT00");
        }
        if (rc == Odbc.SUCCESS_WITH_INFO) collectWarnings();
        state.pending = true;
        takeResult(true);
        if (keys != null) takeKeys();
    }

    /**
     * Takes the generated keys of an execution: on PostgreSQL the rows of its
     * RETURNING result, read whole (the update count is their number, as
     * pgjdbc counts), on SQLite the row id of the row an INSERT added, on
     * MariaDB the keys of the rows an INSERT added.
     */
    private void takeKeys() throws SQLException {
        if (keys.how == GeneratedKeys.RETURNING) {
            if (resultSet == null || !keys.changesRows()) return;
            long n = keys.takeReturned(resultSet);
            clearResults();
            state.pending = false;
            updateCount = n;
        } else if (resultSet == null) {
            if (keys.how == GeneratedKeys.LAST_INSERT_ID) keys.takeLastInsertId(conn, updateCount);
            else keys.takeLastRowid(conn, keys.sql, updateCount);
        }
    }

    /** Makes the statement's current result (a result set or a count) current. Under the lock. */
    void takeResult() throws SQLException {
        takeResult(false);
    }

    /**
     * Makes the current result current; {@code first} for the first result
     * of an execution. A kept prepared statement whose description version
     * is the one its columns were bound for has the same columns: its first
     * result opens on them without asking the driver for their count.
     */
    private void takeResult(boolean first) throws SQLException {
        int h = state.hStmt;
        StatementState.Shape kept = state.shape;
        boolean versionRead = first && kept != null && state.keepsShape && keepsColumns();
        long version = versionRead ? state.describedVersion() : StatementState.NO_VERSION;
        int n;
        if (versionRead && version != StatementState.NO_VERSION && version == kept.version) {
            n = kept.numCols;
        } else {
            n = odbc.numResultCols(h, state.ec);
            if (!Odbc.succeeded(state.ec[0])) throw failure("describing the result", false);
        }
        if (n > 0) {
            resultSet = versionRead ? JdbcOdbcResultSet.open(this, n, version) : JdbcOdbcResultSet.open(this, n);
            updateCount = -1;
            boolean hold = holdability == ResultSet.HOLD_CURSORS_OVER_COMMIT;
            boolean updatable = resultSetConcurrency == ResultSet.CONCUR_UPDATABLE;
            if ((resultSetType != ResultSet.TYPE_FORWARD_ONLY || hold || updatable) && keys == null) {
                // Scroll-insensitive, holdable or updatable: the rows are read whole, as pgjdbc holds them.
                JdbcOdbcResultSet cursor = resultSet;
                heldResultSet = JdbcOdbcMemoryResultSet.held(cursor, this, fetchSize, resultSetType);
                resultSet = null;
                if (updatable) heldResultSet.makeUpdatable(conn, severalStatements ? null : executedSql);
            }
        } else {
            int count = odbc.rowCount(h, state.ec);
            updateCount = Odbc.succeeded(state.ec[0]) ? Math.max(count, 0) : 0;
            if (count < 0) updateCount = 0;
        }
    }

    // ---------------------------------------------------------------- execution

    @Override
    public boolean execute(String sql) throws SQLException {
        if (sql == null) throw JdbcOdbcErrors.of("The SQL text is null", "HY009");
        keys = null;
        return executeText(sql);
    }

    private boolean executeText(String sql) throws SQLException {
        lock();
        try {
            beforeExecute();
            severalStatements = mayHoldSeveral(sql);
            executedSql = sql;
            int rc = Odbc.rc(odbc.execDirect(state.hStmt, sql));
            if (rc == Odbc.NO_DATA) {
                // A searched update or delete that touched no row.
                state.endExecution();
                updateCount = 0;
                return false;
            }
            afterExecute(rc, "execute");
            return hasResultSet();
        } finally {
            unlock();
        }
    }

    @Override
    public ResultSet executeQuery(String sql) throws SQLException {
        if (!execute(sql)) {
            throw JdbcOdbcErrors.of("The statement produced no result set", "07005");
        }
        return currentResultSet();
    }

    /**
     * Whether the current execution's result columns may stay bound for the
     * next one (see {@link StatementState#shape}): a forward-only cursor of a
     * single statement, read where it is, without generated keys.
     */
    boolean keepsColumns() {
        return resultSetType == ResultSet.TYPE_FORWARD_ONLY && holdability != ResultSet.HOLD_CURSORS_OVER_COMMIT
                && keys == null && !severalStatements;
    }

    /** Whether the current result is a result set (on the cursor, or held). */
    boolean hasResultSet() {
        return resultSet != null || heldResultSet != null;
    }

    ResultSet currentResultSet() {
        return heldResultSet != null ? heldResultSet : resultSet;
    }

    @Override
    public int executeUpdate(String sql) throws SQLException {
        return (int) Math.min(Integer.MAX_VALUE, executeLargeUpdate(sql));
    }

    /**
     * The update count of an execution that was to give one; a result set it
     * produced instead is discarded and refused (07005).
     */
    long updateCountOf(boolean producedResultSet) throws SQLException {
        if (producedResultSet) {
            discardResults();
            throw JdbcOdbcErrors.of("The statement produced a result set", "07005");
        }
        return updateCount;
    }

    /** Discards the current results (a result set and any after it). */
    void discardResults() throws SQLException {
        lock();
        try {
            clearResults();
        } finally {
            unlock();
        }
    }

    @Override
    public long executeLargeUpdate(String sql) throws SQLException {
        return updateCountOf(execute(sql));
    }

    @Override
    public ResultSet getResultSet() throws SQLException {
        checkOpen();
        return currentResultSet();
    }

    @Override
    public int getUpdateCount() throws SQLException {
        checkOpen();
        return (int) Math.min(Integer.MAX_VALUE, updateCount);
    }

    @Override
    public long getLargeUpdateCount() throws SQLException {
        checkOpen();
        return updateCount;
    }

    @Override
    public boolean getMoreResults() throws SQLException {
        return getMoreResults(CLOSE_CURRENT_RESULT);
    }

    @Override
    public boolean getMoreResults(int current) throws SQLException {
        if (current != CLOSE_CURRENT_RESULT && current != KEEP_CURRENT_RESULT && current != CLOSE_ALL_RESULTS) {
            throw JdbcOdbcErrors.of("Unknown option " + current, "HY024");
        }
        lock();
        try {
            if (current == CLOSE_ALL_RESULTS) closeKept();
            if (resultSet != null) {
                if (current == KEEP_CURRENT_RESULT) {
                    // The rest of its rows read into memory: it stays readable while the next result is read.
                    resultSet.keep();
                    keptResultSets.add(resultSet);
                    state.closeCursor(false);
                } else {
                    // Only unbound: the results after it stay with the driver.
                    resultSet.markClosed(false);
                }
                resultSet = null;
            }
            if (heldResultSet != null) {
                if (current == KEEP_CURRENT_RESULT) keptResultSets.add(heldResultSet);
                else heldResultSet.close();
                heldResultSet = null;
            }
            updateCount = -1;
            if (advanced) {
                advanced = false;
                SQLException e = advancedFailure;
                advancedFailure = null;
                if (e != null) throw e;
                takeResult();
                return resultSet != null;
            }
            if (!state.pending) return false;
            state.closeCursor(false);
            int h = state.hStmt;
            odbc.moreResults(h, state.ec);
            int rc = state.ec[0];
            if (rc == Odbc.NO_DATA) {
                state.pending = false;
                return false;
            }
            if (!Odbc.succeeded(rc)) throw failure("getMoreResults", false);
            if (rc == Odbc.SUCCESS_WITH_INFO) collectWarnings();
            takeResult();
            return hasResultSet();
        } finally {
            unlock();
        }
    }

    /** Runs the text with the keys asked (the text with its RETURNING clause on PostgreSQL). */
    private boolean executeWithKeys(String sql, GeneratedKeys k) throws SQLException {
        checkOpen();
        if (k == null) return execute(sql);
        keys = k;
        return executeText(k.sql);
    }

    private long updateWithKeys(String sql, GeneratedKeys k) throws SQLException {
        return updateCountOf(executeWithKeys(sql, k));
    }

    @Override
    public boolean execute(String sql, int autoGeneratedKeys) throws SQLException {
        return executeWithKeys(sql, GeneratedKeys.of(conn, sql, autoGeneratedKeys));
    }

    @Override
    public boolean execute(String sql, int[] columnIndexes) throws SQLException {
        return executeWithKeys(sql, GeneratedKeys.of(conn, sql, columnIndexes));
    }

    @Override
    public boolean execute(String sql, String[] columnNames) throws SQLException {
        return executeWithKeys(sql, GeneratedKeys.of(conn, sql, columnNames));
    }

    @Override
    public int executeUpdate(String sql, int autoGeneratedKeys) throws SQLException {
        return (int) Math.min(Integer.MAX_VALUE, executeLargeUpdate(sql, autoGeneratedKeys));
    }

    @Override
    public int executeUpdate(String sql, int[] columnIndexes) throws SQLException {
        return (int) Math.min(Integer.MAX_VALUE, executeLargeUpdate(sql, columnIndexes));
    }

    @Override
    public int executeUpdate(String sql, String[] columnNames) throws SQLException {
        return (int) Math.min(Integer.MAX_VALUE, executeLargeUpdate(sql, columnNames));
    }

    @Override
    public long executeLargeUpdate(String sql, int autoGeneratedKeys) throws SQLException {
        return updateWithKeys(sql, GeneratedKeys.of(conn, sql, autoGeneratedKeys));
    }

    @Override
    public long executeLargeUpdate(String sql, int[] columnIndexes) throws SQLException {
        return updateWithKeys(sql, GeneratedKeys.of(conn, sql, columnIndexes));
    }

    @Override
    public long executeLargeUpdate(String sql, String[] columnNames) throws SQLException {
        return updateWithKeys(sql, GeneratedKeys.of(conn, sql, columnNames));
    }

    /**
     * The keys of the last execution (of every row of the last batch) that
     * asked for them; an empty result set when it asked for none.
     */
    @Override
    public ResultSet getGeneratedKeys() throws SQLException {
        checkOpen();
        if (keys == null) return new JdbcOdbcMemoryResultSet(new JdbcOdbcMemoryResultSet.Column[0], new ArrayList<>());
        return keys.resultSet();
    }

    // ---------------------------------------------------------------- batches

    @Override
    public void addBatch(String sql) throws SQLException {
        checkOpen();
        if (sql == null) throw JdbcOdbcErrors.of("The SQL text is null", "HY009");
        if (batch == null) batch = new ArrayList<>();
        batch.add(sql);
    }

    @Override
    public void clearBatch() throws SQLException {
        checkOpen();
        batch = null;
    }

    /**
     * Runs the batch in one native call. A failing command ends it: the
     * {@link BatchUpdateException} carries the counts of the commands that
     * ran before it (no entry for the failing one or those after it), and
     * the failure's diagnostics as its cause and next exception.
     */
    @Override
    public int[] executeBatch() throws SQLException {
        long[] counts = executeLargeBatch();
        int[] r = new int[counts.length];
        for (int i = 0; i < r.length; i++) r[i] = (int) Math.min(Integer.MAX_VALUE, counts[i]);
        return r;
    }

    @Override
    public long[] executeLargeBatch() throws SQLException {
        lock();
        try {
            List<String> cmds = batch == null ? List.of() : batch;
            batch = null;
            beforeExecute();
            String[] texts = cmds.toArray(new String[0]);
            int[] counts = new int[texts.length];
            Arrays.fill(counts, EXECUTE_FAILED);
            short packed = odbc.execStatementBatch(state.hStmt, this, texts, counts);
            boolean timedOut = state.endExecution();
            state.pending = false;
            int low = Odbc.rc(packed & 0xFF);
            int high = (byte) (packed >> 8);
            if (high == 0 && Odbc.succeeded(low) && !timedOut) return toLong(counts, counts.length);
            int done = 0;
            while (done < counts.length && counts[done] != EXECUTE_FAILED) done++;
            SQLException cause;
            if (high == Odbc.ST_RESULT_SET) {
                cause = JdbcOdbcErrors.of("Batch command " + done + " produced a result set", "07005");
            } else if (high == Odbc.ST_NO_MEMORY) {
                cause = JdbcOdbcErrors.of("Batch command " + done + " could not be converted", "HY001");
            } else if (high != 0) {
                cause = JdbcOdbcErrors.of("The batch could not be run (code " + high + ")", "HY000");
            } else {
                cause = executionFailure("batch command " + done, timedOut);
            }
            throw batchFailure(cause, toLong(counts, done));
        } finally {
            unlock();
        }
    }

    static long[] toLong(int[] counts, int n) {
        long[] r = new long[n];
        for (int i = 0; i < n; i++) r[i] = counts[i];
        return r;
    }

    static BatchUpdateException batchFailure(SQLException cause, long[] counts) {
        BatchUpdateException b = new BatchUpdateException(cause.getMessage(), cause.getSQLState(),
                cause.getErrorCode(), counts, cause);
        b.setNextException(cause);
        return b;
    }

    // ---------------------------------------------------------------- cancel and close

    /** Cancels what runs on the statement; may be called from any thread. */
    @Override
    public void cancel() throws SQLException {
        checkOpen();
        state.cancel();
    }

    /** Closes the statement and its result set; from another thread it cancels what runs first. */
    @Override
    public void close() throws SQLException {
        if (closed) return;
        closed = true;
        if (!state.lock.tryLock()) {
            state.cancel();
            state.lock.lock();
        }
        try {
            closeKept();
            if (resultSet != null) {
                resultSet.markClosed(true);
                resultSet = null;
            }
            if (heldResultSet != null) {
                heldResultSet.close();
                heldResultSet = null;
            }
            release.kept = keepForReuse();
        } finally {
            state.lock.unlock();
        }
        cleanable.clean();
    }

    /** Called by a result set of this statement when it closes. */
    void resultSetClosed(JdbcOdbcResultSet rs) {
        if (resultSet == rs) resultSet = null;
        if (closeOnCompletion && resultSet == null) {
            try {
                close();
            } catch (SQLException e) {
                // close does not fail
            }
        }
    }

    @Override
    public boolean isClosed() {
        return closed || !state.usable();
    }

    @Override
    public void closeOnCompletion() throws SQLException {
        checkOpen();
        closeOnCompletion = true;
    }

    @Override
    public boolean isCloseOnCompletion() throws SQLException {
        checkOpen();
        return closeOnCompletion;
    }

    // ---------------------------------------------------------------- settings

    @Override
    public int getQueryTimeout() throws SQLException {
        checkOpen();
        return queryTimeout;
    }

    @Override
    public void setQueryTimeout(int seconds) throws SQLException {
        checkOpen();
        if (seconds < 0) throw JdbcOdbcErrors.of("Negative query timeout", "HY024");
        queryTimeout = seconds;
        if (seconds > 0) optionsSet = true;
    }

    @Override
    public int getMaxRows() throws SQLException {
        checkOpen();
        return maxRows;
    }

    @Override
    public void setMaxRows(int max) throws SQLException {
        setLargeMaxRows(max);
    }

    @Override
    public long getLargeMaxRows() throws SQLException {
        checkOpen();
        return maxRows;
    }

    @Override
    public void setLargeMaxRows(long max) throws SQLException {
        if (max < 0) throw JdbcOdbcErrors.of("Negative maximum row count", "HY024");
        lock();
        try {
            int v = (int) Math.min(Integer.MAX_VALUE, max);
            // The data source may stop early; the result set also stops at the limit itself.
            optionsSet = true;
            odbc.setStmtOption(state.hStmt, Odbc.MAX_ROWS, v, state.ec);
            if (!Odbc.succeeded(state.ec[0])) JdbcOdbcErrors.records(odbc, 0, 0, state.hStmt);
            maxRows = v;
        } finally {
            unlock();
        }
    }

    @Override
    public int getMaxFieldSize() throws SQLException {
        checkOpen();
        return maxFieldSize;
    }

    @Override
    public void setMaxFieldSize(int max) throws SQLException {
        checkOpen();
        if (max < 0) throw JdbcOdbcErrors.of("Negative maximum field size", "HY024");
        maxFieldSize = max;
    }

    @Override
    public void setEscapeProcessing(boolean enable) throws SQLException {
        lock();
        try {
            optionsSet = true;
            odbc.setStmtOption(state.hStmt, Odbc.NOSCAN, enable ? 0 : 1, state.ec);
            if (!Odbc.succeeded(state.ec[0])) JdbcOdbcErrors.records(odbc, 0, 0, state.hStmt);
        } finally {
            unlock();
        }
    }

    /**
     * Rows per chunk of a forward-only query: on PostgreSQL in manual-commit
     * mode the rows are read that many at a time through a cursor instead of
     * whole at the execution; 0 reads whole. SQLite reads row by row anyway.
     */
    @Override
    public void setFetchSize(int rows) throws SQLException {
        checkOpen();
        if (rows < 0) throw JdbcOdbcErrors.of("Negative fetch size", "HY024");
        fetchSize = rows;
    }

    @Override
    public int getFetchSize() throws SQLException {
        checkOpen();
        return fetchSize;
    }

    @Override
    public void setFetchDirection(int direction) throws SQLException {
        checkOpen();
        if (direction != ResultSet.FETCH_FORWARD) throw JdbcOdbcErrors.notSupported("Fetching other than forward");
    }

    @Override
    public int getFetchDirection() throws SQLException {
        checkOpen();
        return ResultSet.FETCH_FORWARD;
    }

    @Override
    public int getResultSetConcurrency() throws SQLException {
        checkOpen();
        return resultSetConcurrency;
    }

    @Override
    public int getResultSetType() throws SQLException {
        checkOpen();
        return resultSetType;
    }

    @Override
    public int getResultSetHoldability() throws SQLException {
        checkOpen();
        return holdability;
    }

    @Override
    public void setCursorName(String name) throws SQLException {
        if (name == null) throw JdbcOdbcErrors.of("The cursor name is null", "HY009");
        lock();
        try {
            optionsSet = true;
            odbc.setCursorName(state.hStmt, Odbc.nts(name), state.ec);
            if (!Odbc.succeeded(state.ec[0])) throw failure("setCursorName", false);
        } finally {
            unlock();
        }
    }

    /** The statement's cursor name (the one set, or the one the driver made up). */
    String cursorName() throws SQLException {
        lock();
        try {
            byte[] buf = new byte[256];
            odbc.getCursorName(state.hStmt, buf, state.ec);
            if (!Odbc.succeeded(state.ec[0])) {
                JdbcOdbcErrors.records(odbc, 0, 0, state.hStmt);
                return null;
            }
            return Odbc.text(buf);
        } finally {
            unlock();
        }
    }

    @Override
    public SQLWarning getWarnings() throws SQLException {
        checkOpen();
        return warnings;
    }

    @Override
    public void clearWarnings() throws SQLException {
        checkOpen();
        warnings = null;
    }

    @Override
    public Connection getConnection() throws SQLException {
        checkOpen();
        return conn;
    }

    @Override
    public void setPoolable(boolean poolable) throws SQLException {
        checkOpen();
        this.poolable = poolable;
    }

    @Override
    public boolean isPoolable() throws SQLException {
        checkOpen();
        return poolable;
    }

    @Override
    public <T> T unwrap(Class<T> iface) throws SQLException {
        if (iface.isInstance(this)) return iface.cast(this);
        throw JdbcOdbcErrors.of("Not a wrapper for " + iface.getName(), "HY024");
    }

    @Override
    public boolean isWrapperFor(Class<?> iface) {
        return iface.isInstance(this);
    }
}
