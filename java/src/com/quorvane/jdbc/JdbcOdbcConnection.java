package com.quorvane.jdbc;

import java.lang.ref.Cleaner;
import java.sql.Array;
import java.sql.Blob;
import java.sql.CallableStatement;
import java.sql.Clob;
import java.sql.Connection;
import java.sql.DatabaseMetaData;
import java.sql.NClob;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLClientInfoException;
import java.sql.SQLException;
import java.sql.SQLWarning;
import java.sql.SQLXML;
import java.sql.Savepoint;
import java.sql.Statement;
import java.sql.Struct;
import java.util.Collections;
import java.util.Map;
import java.util.Properties;
import java.util.concurrent.Executor;

/**
 * A connection to a data source through the native library: one ODBC
 * connection handle. It may be used from several threads; calls on one
 * statement are serialised by that statement, and {@link #close} and
 * {@link #abort} are safe while another thread runs a statement (that
 * statement is cancelled). A connection nobody closes is closed when it
 * becomes unreachable.
 */
public class JdbcOdbcConnection implements Connection {
    final ConnectionState state;
    final JdbcOdbcClient odbc;
    final JdbcOdbcEnvironment env;
    private final String url;
    private final String user;
    private final Cleaner.Cleanable cleanable;
    private final Properties clientInfo = new Properties();
    private SQLWarning warnings;
    private int isolation = -1;
    private boolean readOnly;
    /** The holdability of the statements made next (a holdable result is read whole into memory). */
    int holdability = ResultSet.CLOSE_CURSORS_AT_COMMIT;
    /** The declared value types of {@code {? = call f(...)}} texts, asked of the catalog once per connection. */
    final java.util.Map<String, Conversion> returnTypes = new java.util.concurrent.ConcurrentHashMap<>();
    private JdbcOdbcDatabaseMetaData metaData;
    /** The data source's identifier quote (savepoint names), once asked. */
    private String identifierQuote;
    /** The fetch size new statements start with (JdbcOdbcDriver.FETCH_SIZE_PROPERTY). */
    int defaultFetchSize;
    private int savepointIds;
    /** SQL_QUALIFIER_TERM: the data source's word for a catalog, empty when it has none. */
    private static final int INFO_QUALIFIER_TERM = 42;
    private volatile int generatedKeysKind = -1;
    /** libruva70's information type 3004, asked once: 0 no arrays, 1 the text of braces. */
    private volatile int arrayText = -1;

    JdbcOdbcConnection(JdbcOdbcEnvironment env, int hDbc, String url, String user, SQLWarning connectWarnings) {
        this.env = env;
        this.odbc = env.odbc;
        this.state = new ConnectionState(env, hDbc);
        this.url = url;
        this.user = user;
        this.warnings = connectWarnings;
        this.cleanable = env.cleaner.register(this, state);
    }

    /**
     * Connects with an ODBC connection string.
     *
     * @param loginTimeout seconds, 0 for the driver's default
     */
    static JdbcOdbcConnection open(String url, String connStr, String user, int loginTimeout) throws SQLException {
        JdbcOdbcEnvironment env = JdbcOdbcEnvironment.get();
        JdbcOdbcClient odbc = env.odbc;
        byte[] ec = new byte[2];
        int hDbc = odbc.allocConnect(env.hEnv, ec);
        if (hDbc == 0 || !Odbc.succeeded(ec[0])) {
            throw JdbcOdbcErrors.failure(odbc, env.hEnv, 0, 0, "allocating a connection", false);
        }
        if (loginTimeout > 0) odbc.setConnectOption(hDbc, Odbc.LOGIN_TIMEOUT, loginTimeout, ec);
        odbc.driverConnect(hDbc, Odbc.nts(connStr), ec);
        if (!Odbc.succeeded(ec[0])) {
            SQLException e = JdbcOdbcErrors.failure(odbc, 0, hDbc, 0, "connect", false);
            odbc.freeConnect(hDbc, ec);
            throw e;
        }
        SQLWarning w = ec[0] == Odbc.SUCCESS_WITH_INFO ? JdbcOdbcErrors.warnings(odbc, 0, hDbc, 0) : null;
        env.liveConnections.incrementAndGet();
        return new JdbcOdbcConnection(env, hDbc, url, user, w);
    }

    /** Native objects this connection owns for its open statements and result sets (for tests and diagnosis). */
    int liveNativeObjects() {
        return state.live.get() - state.keptNativeObjects();
    }

    /** The handles of the prepared statements kept for reuse (tests). */
    int keptPreparedStatements() {
        return state.keptCount();
    }

    String url() {
        return url;
    }

    String user() {
        return user;
    }

    int hDbc() throws SQLException {
        int h = state.hDbc;
        if (h == 0) throw JdbcOdbcErrors.connectionClosed();
        if (state.networkExpired) throw state.networkFailure("The connection", null);
        return h;
    }

    private void checkOpen() throws SQLException {
        hDbc();
    }

    /** Allocates a statement handle on this connection. */
    StatementState newStatement() throws SQLException {
        StatementState s = new StatementState(state, 0);
        allocate(s);
        return s;
    }

    /**
     * A statement whose handle waits for its first call (see
     * {@link #allocate}): a plain statement costs the data source nothing
     * until it runs, as a statement of pgjdbc does.
     */
    StatementState newUnallocatedStatement() throws SQLException {
        checkOpen();
        if (state.closing) throw JdbcOdbcErrors.connectionClosed();
        StatementState s = new StatementState(state, 0);
        s.unallocated = true;
        return s;
    }

    /** Gives {@code s} its handle on this connection; under the statement's lock when it is in use. */
    void allocate(StatementState s) throws SQLException {
        state.lock.lock();
        try {
            int h = hDbc();
            if (state.closing) throw JdbcOdbcErrors.connectionClosed();
            byte[] ec = state.ec;
            ec[0] = 0;
            int hStmt = odbc.allocStmt(h, ec);
            if (hStmt == 0 || !Odbc.succeeded(ec[0])) {
                throw JdbcOdbcErrors.failure(odbc, 0, h, 0, "allocating a statement", false);
            }
            s.hStmt = hStmt;
            s.unallocated = false;
            state.live.incrementAndGet();
            state.statements.add(s);
        } finally {
            state.lock.unlock();
        }
    }

    /** A connection-level failure: the handle's diagnostics as an exception. */
    SQLException failure(String what) {
        return JdbcOdbcErrors.failure(odbc, 0, state.hDbc, 0, what, false);
    }

    private void addWarnings(SQLWarning w) {
        if (w == null) return;
        if (warnings == null) warnings = w;
        else warnings.setNextWarning(w);
    }

    /** Sets a numeric connection option; throws the driver's diagnostics on failure. */
    private void setOption(int option, int value, String what) throws SQLException {
        state.lock.lock();
        try {
            int h = hDbc();
            odbc.setConnectOption(h, option, value, state.ec);
            if (!Odbc.succeeded(state.ec[0])) throw failure(what);
            if (state.ec[0] == Odbc.SUCCESS_WITH_INFO) addWarnings(JdbcOdbcErrors.warnings(odbc, 0, h, 0));
        } finally {
            state.lock.unlock();
        }
    }

    /** Reads a numeric connection option; null when the driver cannot tell. */
    private Integer getOption(int option) throws SQLException {
        state.lock.lock();
        try {
            int h = hDbc();
            int v = odbc.getConnectOption(h, option, state.ec);
            if (!Odbc.succeeded(state.ec[0])) {
                JdbcOdbcErrors.records(odbc, 0, h, 0);  // consume them
                return null;
            }
            return v;
        } finally {
            state.lock.unlock();
        }
    }

    /** A numeric information value; null when the driver cannot tell. */
    Integer info(int infoType) throws SQLException {
        state.lock.lock();
        try {
            int h = hDbc();
            int v = odbc.getInfo(h, infoType, state.ec);
            if (!Odbc.succeeded(state.ec[0])) {
                JdbcOdbcErrors.records(odbc, 0, h, 0);
                return null;
            }
            return v;
        } finally {
            state.lock.unlock();
        }
    }

    /** A 16-bit information value; null when the driver cannot tell. */
    Integer infoShort(int infoType) throws SQLException {
        state.lock.lock();
        try {
            int h = hDbc();
            int v = odbc.getInfoShort(h, infoType, state.ec);
            if (!Odbc.succeeded(state.ec[0])) {
                JdbcOdbcErrors.records(odbc, 0, h, 0);
                return null;
            }
            return v;
        } finally {
            state.lock.unlock();
        }
    }

    /** A text information value; null when the driver cannot tell. */
    String infoString(int infoType) throws SQLException {
        state.lock.lock();
        try {
            int h = hDbc();
            byte[] buf = new byte[1024];
            odbc.getInfoString(h, infoType, buf, state.ec);
            if (!Odbc.succeeded(state.ec[0])) {
                JdbcOdbcErrors.records(odbc, 0, h, 0);
                return null;
            }
            return Odbc.text(buf);
        } finally {
            state.lock.unlock();
        }
    }

    // ---------------------------------------------------------------- statements

    @Override
    public Statement createStatement() throws SQLException {
        return new JdbcOdbcStatement(this, newUnallocatedStatement());
    }

    @Override
    public PreparedStatement prepareStatement(String sql) throws SQLException {
        if (sql == null) throw JdbcOdbcErrors.of("The SQL text is null", "HY009");
        checkOpen();
        // A text prepared before may find its statement kept, prepared and
        // described: no round trip to the data source until it runs.
        ConnectionState.Prepared kept = state.takePrepared(sql);
        if (kept != null) return new JdbcOdbcPreparedStatement(this, kept, sql);
        return new JdbcOdbcPreparedStatement(this, newStatement(), sql, state.preparedAgain(sql));
    }

    @Override
    public CallableStatement prepareCall(String sql) throws SQLException {
        if (sql == null) throw JdbcOdbcErrors.of("The SQL text is null", "HY009");
        return new JdbcOdbcCallableStatement(this, newStatement(), sql);
    }

    /**
     * The result set type a statement gets: forward-only, or scroll-insensitive
     * (rows held in memory); a scroll-sensitive request gets the latter, with a
     * warning, as JDBC allows. Updatable results are held in memory too.
     */
    private int checkResultSetKind(int type, int concurrency, int holdability) throws SQLException {
        checkOpen();
        if (type != ResultSet.TYPE_FORWARD_ONLY && type != ResultSet.TYPE_SCROLL_INSENSITIVE
                && type != ResultSet.TYPE_SCROLL_SENSITIVE) {
            throw JdbcOdbcErrors.of("Unknown result set type " + type, "HY024");
        }
        if (concurrency != ResultSet.CONCUR_READ_ONLY && concurrency != ResultSet.CONCUR_UPDATABLE) {
            throw JdbcOdbcErrors.of("Unknown result set concurrency " + concurrency, "HY024");
        }
        if (holdability != ResultSet.CLOSE_CURSORS_AT_COMMIT && holdability != ResultSet.HOLD_CURSORS_OVER_COMMIT) {
            throw JdbcOdbcErrors.of("Unknown holdability " + holdability, "HY024");
        }
        if (type == ResultSet.TYPE_SCROLL_SENSITIVE) {
            addWarnings(new SQLWarning("Scroll-sensitive result sets are not offered: the statement's result sets"
                    + " are scroll-insensitive", "01S02"));
            type = ResultSet.TYPE_SCROLL_INSENSITIVE;
        }
        return type;
    }

    private <T extends JdbcOdbcStatement> T ofType(T s, int type, int concurrency) {
        s.resultSetType = type;
        s.resultSetConcurrency = concurrency;
        return s;
    }

    private <T extends JdbcOdbcStatement> T ofType(T s, int type, int concurrency, int holdability) {
        s.resultSetType = type;
        s.resultSetConcurrency = concurrency;
        s.holdability = holdability;
        return s;
    }

    @Override
    public Statement createStatement(int type, int concurrency) throws SQLException {
        int t = checkResultSetKind(type, concurrency, holdability);
        return ofType(new JdbcOdbcStatement(this, newUnallocatedStatement()), t, concurrency);
    }

    @Override
    public Statement createStatement(int type, int concurrency, int holdability) throws SQLException {
        int t = checkResultSetKind(type, concurrency, holdability);
        return ofType(new JdbcOdbcStatement(this, newUnallocatedStatement()), t, concurrency, holdability);
    }

    @Override
    public PreparedStatement prepareStatement(String sql, int type, int concurrency) throws SQLException {
        int t = checkResultSetKind(type, concurrency, holdability);
        return ofType((JdbcOdbcPreparedStatement) prepareStatement(sql), t, concurrency);
    }

    @Override
    public PreparedStatement prepareStatement(String sql, int type, int concurrency, int holdability)
            throws SQLException {
        int t = checkResultSetKind(type, concurrency, holdability);
        return ofType((JdbcOdbcPreparedStatement) prepareStatement(sql), t, concurrency, holdability);
    }

    @Override
    public CallableStatement prepareCall(String sql, int type, int concurrency) throws SQLException {
        int t = checkResultSetKind(type, concurrency, holdability);
        return ofType((JdbcOdbcCallableStatement) prepareCall(sql), t, concurrency);
    }

    @Override
    public CallableStatement prepareCall(String sql, int type, int concurrency, int holdability)
            throws SQLException {
        int t = checkResultSetKind(type, concurrency, holdability);
        return ofType((JdbcOdbcCallableStatement) prepareCall(sql), t, concurrency, holdability);
    }

    @Override
    public PreparedStatement prepareStatement(String sql, int autoGeneratedKeys) throws SQLException {
        return prepareWithKeys(sql, GeneratedKeys.of(this, sql, autoGeneratedKeys));
    }

    @Override
    public PreparedStatement prepareStatement(String sql, int[] columnIndexes) throws SQLException {
        return prepareWithKeys(sql, GeneratedKeys.of(this, sql, columnIndexes));
    }

    @Override
    public PreparedStatement prepareStatement(String sql, String[] columnNames) throws SQLException {
        return prepareWithKeys(sql, GeneratedKeys.of(this, sql, columnNames));
    }

    private PreparedStatement prepareWithKeys(String sql, GeneratedKeys keys) throws SQLException {
        if (keys == null) return prepareStatement(sql);
        JdbcOdbcPreparedStatement ps = new JdbcOdbcPreparedStatement(this, newStatement(), keys.sql);
        ps.keys = keys;
        return ps;
    }

    /** How the data source hands back generated keys (GeneratedKeys.NONE, RETURNING, LAST_ROWID, LAST_INSERT_ID). */
    int generatedKeysKind() throws SQLException {
        int k = generatedKeysKind;
        if (k < 0) {
            Integer v = info(Odbc.INFO_GENERATED_KEYS);
            k = v == null || v < 0 || v > GeneratedKeys.LAST_INSERT_ID ? GeneratedKeys.NONE : v;
            generatedKeysKind = k;
        }
        return k;
    }

    /** Whether the data source has arrays written as {@link ArrayText} reads them. */
    boolean arrayText() throws SQLException {
        int k = arrayText;
        if (k < 0) {
            Integer v = info(Odbc.INFO_ARRAY_TEXT);
            k = v != null && v == 1 ? 1 : 0;
            arrayText = k;
        }
        return k == 1;
    }

    @Override
    public String nativeSQL(String sql) throws SQLException {
        if (sql == null) throw JdbcOdbcErrors.of("The SQL text is null", "HY009");
        state.lock.lock();
        try {
            int h = hDbc();
            byte[] in = Odbc.nts(sql);
            byte[] out = new byte[in.length * 2 + 256];
            odbc.nativeSql(h, in, out, state.ec);
            if (!Odbc.succeeded(state.ec[0])) throw failure("nativeSQL");
            return Odbc.text(out);
        } finally {
            state.lock.unlock();
        }
    }

    // ---------------------------------------------------------------- transactions

    @Override
    public void setAutoCommit(boolean autoCommit) throws SQLException {
        checkOpen();
        if (autoCommit == state.autoCommit) return;
        setOption(Odbc.AUTOCOMMIT, autoCommit ? 1 : 0, "setAutoCommit");
        state.autoCommit = autoCommit;
    }

    @Override
    public boolean getAutoCommit() throws SQLException {
        checkOpen();
        return state.autoCommit;
    }

    private void transact(int type, String what) throws SQLException {
        state.lock.lock();
        try {
            int h = hDbc();
            if (state.autoCommit) throw JdbcOdbcErrors.of(what + " with auto-commit on", "25000");
            state.beginCall(null);
            short rc = odbc.transact(env.hEnv, h, type);
            state.endCall();
            // A commit the watchdog gave up on may or may not have happened: never reported done.
            if (state.networkExpired) throw state.networkFailure(what, Odbc.succeeded(rc) ? null : failure(what));
            if (!Odbc.succeeded(rc)) throw failure(what);
        } finally {
            state.lock.unlock();
        }
    }

    @Override
    public void commit() throws SQLException {
        transact(Odbc.COMMIT, "commit");
    }

    @Override
    public void rollback() throws SQLException {
        transact(Odbc.ROLLBACK, "rollback");
    }

    @Override
    public void setTransactionIsolation(int level) throws SQLException {
        checkOpen();
        if (level != TRANSACTION_READ_UNCOMMITTED && level != TRANSACTION_READ_COMMITTED
                && level != TRANSACTION_REPEATABLE_READ && level != TRANSACTION_SERIALIZABLE) {
            throw JdbcOdbcErrors.of("Unknown transaction isolation level " + level, "HY024");
        }
        // The JDBC levels have the values of ODBC's SQL_TXN_* bits. A level the
        // data source does not offer is raised to the next stronger one it
        // offers, as JDBC allows.
        Integer offered = info(Odbc.INFO_TXN_ISOLATION_OPTION);
        int chosen = level;
        if (offered != null && offered != 0 && (offered & level) == 0) {
            chosen = 0;
            for (int l = level << 1; l <= TRANSACTION_SERIALIZABLE; l <<= 1) {
                if ((offered & l) != 0) {
                    chosen = l;
                    break;
                }
            }
            if (chosen == 0) throw JdbcOdbcErrors.notSupported("Transaction isolation level " + level);
            addWarnings(new SQLWarning("Isolation level " + level + " is not offered; " + chosen + " is used",
                    "01S02"));
        }
        state.lock.lock();
        try {
            int h = hDbc();
            odbc.setConnectOption(h, Odbc.TXN_ISOLATION, chosen, state.ec);
            if (!Odbc.succeeded(state.ec[0])) {
                // The driver keeps its own level (the SQLite driver takes none); say so instead of failing.
                SQLWarning w = JdbcOdbcErrors.warnings(odbc, 0, h, 0);
                addWarnings(w != null ? w : new SQLWarning("The isolation level was not set", "01000"));
                return;
            }
        } finally {
            state.lock.unlock();
        }
        isolation = chosen;
    }

    @Override
    public int getTransactionIsolation() throws SQLException {
        checkOpen();
        Integer v = getOption(Odbc.TXN_ISOLATION);
        if (v != null && (v == 1 || v == 2 || v == 4 || v == 8)) return v;
        if (isolation > 0) return isolation;
        Integer d = info(Odbc.INFO_DEFAULT_TXN_ISOLATION);
        if (d != null && (d == 1 || d == 2 || d == 4 || d == 8)) return d;
        return TRANSACTION_READ_COMMITTED;
    }

    @Override
    public void setReadOnly(boolean readOnly) throws SQLException {
        checkOpen();
        state.lock.lock();
        try {
            int h = hDbc();
            odbc.setConnectOption(h, Odbc.ACCESS_MODE, readOnly ? 1 : 0, state.ec);
            // A hint only: a data source that does not take it leaves a warning.
            if (!Odbc.succeeded(state.ec[0])) addWarnings(JdbcOdbcErrors.warnings(odbc, 0, h, 0));
        } finally {
            state.lock.unlock();
        }
        this.readOnly = readOnly;
    }

    @Override
    public boolean isReadOnly() throws SQLException {
        checkOpen();
        return readOnly;
    }

    @Override
    public void setCatalog(String catalog) throws SQLException {
        checkOpen();
        if (catalog == null) return;
        state.lock.lock();
        try {
            int h = hDbc();
            odbc.setConnectOptionString(h, Odbc.CURRENT_QUALIFIER, Odbc.nts(catalog), state.ec);
            // JDBC: a data source without catalogs ignores the request.
            if (!Odbc.succeeded(state.ec[0])) JdbcOdbcErrors.records(odbc, 0, h, 0);
        } finally {
            state.lock.unlock();
        }
    }

    /**
     * The current catalog; null on a data source without catalogs (no
     * catalog term, as SQLite), whose catalog list is empty.
     */
    @Override
    public String getCatalog() throws SQLException {
        checkOpen();
        String term = infoString(INFO_QUALIFIER_TERM);
        if (term == null || term.isEmpty()) return null;
        state.lock.lock();
        try {
            int h = hDbc();
            byte[] buf = new byte[1024];
            odbc.getConnectOptionString(h, Odbc.CURRENT_QUALIFIER, buf, state.ec);
            if (Odbc.succeeded(state.ec[0])) {
                String s = Odbc.text(buf);
                if (!s.isEmpty()) return s;
            } else {
                JdbcOdbcErrors.records(odbc, 0, h, 0);
            }
        } finally {
            state.lock.unlock();
        }
        String db = infoString(Odbc.INFO_DATABASE_NAME);
        return db == null || db.isEmpty() ? null : db;
    }

    @Override
    public void setHoldability(int holdability) throws SQLException {
        checkOpen();
        if (holdability != ResultSet.CLOSE_CURSORS_AT_COMMIT && holdability != ResultSet.HOLD_CURSORS_OVER_COMMIT) {
            throw JdbcOdbcErrors.of("Unknown holdability " + holdability, "HY024");
        }
        this.holdability = holdability;
    }

    @Override
    public int getHoldability() throws SQLException {
        checkOpen();
        return holdability;
    }

    /**
     * Sets a savepoint with SQL ({@code SAVEPOINT}), which both tested data
     * sources have; a data source without it reports its own failure. Only in
     * manual-commit mode (25000 otherwise, as pgjdbc refuses it).
     */
    @Override
    public Savepoint setSavepoint() throws SQLException {
        return newSavepoint(null);
    }

    @Override
    public Savepoint setSavepoint(String name) throws SQLException {
        if (name == null) throw JdbcOdbcErrors.of("The savepoint name is null", "HY009");
        return newSavepoint(name);
    }

    private Savepoint newSavepoint(String name) throws SQLException {
        checkOpen();
        if (state.autoCommit) throw JdbcOdbcErrors.of("A savepoint needs manual-commit mode", "25000");
        JdbcOdbcSavepoint sp = new JdbcOdbcSavepoint(this, name, ++savepointIds);
        runInternal("SAVEPOINT " + sp.sqlName(identifierQuote()), "setSavepoint");
        return sp;
    }

    /** The data source's identifier quote, asked once; '"' where it names none. */
    private String identifierQuote() throws SQLException {
        if (identifierQuote == null) {
            String q = getMetaData().getIdentifierQuoteString();
            identifierQuote = q.trim().isEmpty() ? "\"" : q;
        }
        return identifierQuote;
    }

    /** Rolls back to the savepoint, which stays set (as SQL's ROLLBACK TO SAVEPOINT leaves it). */
    @Override
    public void rollback(Savepoint savepoint) throws SQLException {
        JdbcOdbcSavepoint sp = ownSavepoint(savepoint);
        runInternal("ROLLBACK TO SAVEPOINT " + sp.sqlName(identifierQuote()), "rollback to a savepoint");
    }

    @Override
    public void releaseSavepoint(Savepoint savepoint) throws SQLException {
        JdbcOdbcSavepoint sp = ownSavepoint(savepoint);
        runInternal("RELEASE SAVEPOINT " + sp.sqlName(identifierQuote()), "releaseSavepoint");
        sp.released = true;
    }

    private JdbcOdbcSavepoint ownSavepoint(Savepoint savepoint) throws SQLException {
        checkOpen();
        if (savepoint == null) throw JdbcOdbcErrors.of("The savepoint is null", "HY009");
        if (!(savepoint instanceof JdbcOdbcSavepoint) || ((JdbcOdbcSavepoint) savepoint).owner != this) {
            throw JdbcOdbcErrors.of("The savepoint was not set on this connection", "3B001");
        }
        if (state.autoCommit) throw JdbcOdbcErrors.of("A savepoint needs manual-commit mode", "25000");
        JdbcOdbcSavepoint sp = (JdbcOdbcSavepoint) savepoint;
        if (sp.released) throw JdbcOdbcErrors.of("The savepoint was released", "3B001");
        return sp;
    }

    /** Runs a statement of the driver's own on the connection; its failure is the data source's. */
    void runInternal(String sql, String what) throws SQLException {
        try (JdbcOdbcStatement s = new JdbcOdbcStatement(this, newStatement())) {
            s.lock();
            try {
                s.beforeExecute();
                int rc = Odbc.rc(odbc.execDirect(s.state.hStmt, sql));
                if (rc == Odbc.NO_DATA) {
                    s.state.endExecution();
                    return;
                }
                s.afterExecute(rc, what);
                addWarnings(s.getWarnings());
            } finally {
                s.unlock();
            }
        }
    }

    // ---------------------------------------------------------------- state

    /**
     * Whether the connection works: a round trip ({@code SELECT 1}) that ends
     * within the timeout. Never throws.
     */
    @Override
    public boolean isValid(int timeout) throws SQLException {
        if (timeout < 0) throw JdbcOdbcErrors.of("Negative timeout", "HY024");
        if (state.isClosed() || state.networkExpired) return false;
        StatementState s = null;
        try {
            s = newStatement();
            s.lock.lock();
            try {
                s.beginExecution(timeout);
                int rc = Odbc.rc(odbc.execDirect(s.hStmt, "SELECT 1"));
                boolean timedOut = s.endExecution();
                if (!Odbc.succeeded(rc)) {
                    JdbcOdbcErrors.records(odbc, 0, 0, s.hStmt);
                    return false;
                }
                return !timedOut;
            } finally {
                s.lock.unlock();
            }
        } catch (SQLException | RuntimeException e) {
            return false;
        } finally {
            if (s != null) s.free();
        }
    }

    @Override
    public boolean isClosed() {
        // A connection whose network timeout expired is closed for its user while it is abandoned.
        return state.isClosed() || state.networkExpired;
    }

    /** Closes every statement and result set of the connection, then the connection itself. */
    @Override
    public void close() throws SQLException {
        if (state.isClosed()) return;
        try {
            state.close();
        } finally {
            cleanable.clean();
        }
    }

    @Override
    public void abort(Executor executor) throws SQLException {
        if (executor == null) throw JdbcOdbcErrors.of("No executor", "HY009");
        if (state.isClosed()) return;
        executor.execute(() -> {
            try {
                close();
            } catch (SQLException e) {
                // the connection is given up either way
            }
        });
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
    public DatabaseMetaData getMetaData() throws SQLException {
        checkOpen();
        if (metaData == null) metaData = new JdbcOdbcDatabaseMetaData(this);
        return metaData;
    }

    /** The type map an application set (kept, never applied: see setTypeMap). */
    private volatile Map<String, Class<?>> typeMap = new java.util.HashMap<>();

    @Override
    public Map<String, Class<?>> getTypeMap() throws SQLException {
        checkOpen();
        return typeMap;
    }

    @Override
    public void setTypeMap(Map<String, Class<?>> map) throws SQLException {
        checkOpen();
        if (map == null) throw JdbcOdbcErrors.of("The type map is null", "HY009");
        // Kept and handed back, as pgjdbc does; no data source here has user-defined types
        // to map, so getObject with a non-empty map is refused.
        typeMap = map;
    }

    /** Client information is kept by the connection; no data source receives it. */
    @Override
    public void setClientInfo(String name, String value) throws SQLClientInfoException {
        if (state.isClosed()) {
            throw new SQLClientInfoException("The connection is closed", "08003", 0, Collections.emptyMap());
        }
        if (name == null) return;
        if (value == null) clientInfo.remove(name);
        else clientInfo.setProperty(name, value);
    }

    @Override
    public void setClientInfo(Properties properties) throws SQLClientInfoException {
        if (state.isClosed()) {
            throw new SQLClientInfoException("The connection is closed", "08003", 0, Collections.emptyMap());
        }
        clientInfo.clear();
        if (properties != null) {
            for (String n : properties.stringPropertyNames()) clientInfo.setProperty(n, properties.getProperty(n));
        }
    }

    @Override
    public String getClientInfo(String name) throws SQLException {
        checkOpen();
        return clientInfo.getProperty(name);
    }

    @Override
    public Properties getClientInfo() throws SQLException {
        checkOpen();
        Properties p = new Properties();
        p.putAll(clientInfo);
        return p;
    }

    /**
     * Sets the current schema: on PostgreSQL the session's search_path (the
     * name as given), as pgjdbc does; a data source without schema selection
     * ignores it, as JDBC allows (libruva70's connection option 3003).
     */
    @Override
    public void setSchema(String schema) throws SQLException {
        checkOpen();
        if (schema == null) throw JdbcOdbcErrors.of("The schema name is null", "HY009");
        state.lock.lock();
        try {
            int h = hDbc();
            odbc.setConnectOptionString(h, Odbc.CONN_SCHEMA, Odbc.nts(schema), state.ec);
            if (!Odbc.succeeded(state.ec[0])) throw failure("setSchema");
        } finally {
            state.lock.unlock();
        }
    }

    /** The current schema (PostgreSQL's current_schema()); null where the data source has none. */
    @Override
    public String getSchema() throws SQLException {
        checkOpen();
        state.lock.lock();
        try {
            int h = hDbc();
            byte[] buf = new byte[256];
            odbc.getConnectOptionString(h, Odbc.CONN_SCHEMA, buf, state.ec);
            if (!Odbc.succeeded(state.ec[0])) throw failure("getSchema");
            String s = Odbc.text(buf);
            return s.isEmpty() ? null : s;
        } finally {
            state.lock.unlock();
        }
    }

    @Override
    public void setNetworkTimeout(Executor executor, int milliseconds) throws SQLException {
        checkOpen();
        if (executor == null) throw JdbcOdbcErrors.of("No executor", "HY009");
        if (milliseconds < 0) throw JdbcOdbcErrors.of("Negative network timeout", "HY024");
        state.setNetworkTimeout(executor, milliseconds);
    }

    @Override
    public int getNetworkTimeout() throws SQLException {
        checkOpen();
        return state.networkTimeout;
    }

    /** An empty Clob held in memory. */
    @Override
    public Clob createClob() throws SQLException {
        checkOpen();
        return new JdbcOdbcClob("");
    }

    /** An empty Blob held in memory. */
    @Override
    public Blob createBlob() throws SQLException {
        checkOpen();
        return new JdbcOdbcBlob(new byte[0]);
    }

    @Override
    public NClob createNClob() throws SQLException {
        checkOpen();
        return new JdbcOdbcClob("");
    }

    @Override
    public SQLXML createSQLXML() throws SQLException {
        checkOpen();
        return new JdbcOdbcSQLXML(null);
    }

    @Override
    public Array createArrayOf(String typeName, Object[] elements) throws SQLException {
        checkOpen();
        if (!arrayText()) throw JdbcOdbcErrors.notSupported("The data source has no arrays");
        if (typeName == null || typeName.isBlank()) throw JdbcOdbcErrors.of("No element type name", "HY009");
        if (elements == null) throw JdbcOdbcErrors.of("No elements", "HY009");
        ArrayText.Element type = ArrayText.element(typeName);
        return new JdbcOdbcArray(ArrayText.write(elements, type), type);
    }

    @Override
    public Struct createStruct(String typeName, Object[] attributes) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Struct objects");
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
