package com.quorvane.jdbc;

import java.io.ByteArrayInputStream;
import java.io.InputStream;
import java.io.Reader;
import java.io.StringReader;
import java.lang.ref.Cleaner;
import java.math.BigDecimal;
import java.math.RoundingMode;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.sql.Array;
import java.sql.Blob;
import java.sql.Clob;
import java.sql.Date;
import java.sql.NClob;
import java.sql.Ref;
import java.sql.ResultSetMetaData;
import java.sql.RowId;
import java.sql.SQLException;
import java.sql.SQLWarning;
import java.sql.SQLXML;
import java.sql.Statement;
import java.sql.Time;
import java.sql.Timestamp;
import java.time.DateTimeException;
import java.time.Instant;
import java.time.LocalDate;
import java.time.LocalDateTime;
import java.time.LocalTime;
import java.time.ZoneOffset;
import java.util.Calendar;
import java.util.HashMap;
import java.util.Locale;
import java.util.Map;

/**
 * A forward-only, read-only result set over the columns the natives bound.
 * Each column's reader is chosen once, from its SQL type, C type and driver
 * type, when the result is described. Numeric values and null markers of a
 * row come from the {@link JdbcOdbcBoundCol} cache that {@code fetch} fills
 * (no native call); other values from the bound buffers; values longer than
 * their buffer are read whole with {@code SQLGetData}, in pieces. Dates and
 * times are built from the natives' int fields, through the JVM's default
 * time zone only where JDBC defines the type so (java.sql.Date, Time and
 * Timestamp) or in the zone of a Calendar given.
 */
public class JdbcOdbcResultSet implements JdbcOdbcRowUpdates {
    // Column readers.
    static final int K_SHORT = 1, K_INT = 2, K_LONG = 3, K_FLOAT = 4, K_DOUBLE = 5, K_DECIMAL = 6, K_TEXT = 7,
            K_BINARY = 8, K_DATE = 9, K_TIME = 10, K_TIMESTAMP = 11, K_TIMESTAMP_UTC = 12, K_TIMESTAMP_TZ = 13,
            K_BOOLEAN_TEXT = 14, K_TIME_TEXT = 15,
            // A BIT(1) column (a small integer named bit): a boolean. A BIT(n)
            // column is K_BINARY read through Conversion.BITS (its bits as a number too).
            K_BIT = 16,
            // A column of arrays (libruva70's driver type): read as its text,
            // given as a java.sql.Array.
            K_ARRAY = 17,
            // An integer column whose values may be wider than its type (SQLite's),
            // bound 64 bits wide: an Integer when the value fits, else a Long.
            K_WIDE = 18,
            // Such a column declared boolean (or bit): a boolean.
            K_WIDE_BIT = 19;
    private static final Object NULL = new Object();
    /** Held for a column whose value is being read as a stream: it cannot be read again. */
    private static final Object STREAMED = new Object();
    private static final int PIECE = 64 * 1024;
    /** The pieces of a long value after its first one. */
    private static final int LONG_PIECE = 16 * 1024 * 1024;

    final JdbcOdbcStatement stmt;
    final StatementState state;
    final JdbcOdbcClient odbc;
    final int numCols;
    final int boundCols;
    final long cursorId;
    final int[] sqlTypes;
    final int[] driverTypes;
    final int[] lengths;
    final int[] cTypes;
    final int[] kinds;
    /**
     * Per column: a conversion other than its kind's (MariaDB's BIT(n) read as
     * bits, PostgreSQL's arrays), or null; null when no column has one.
     */
    private Conversion[] overrides;

    /** Puts the columns' own conversions in place of their kinds'. */
    private void overrideConversions(Conversion[] o) {
        overrides = o;
        for (int i = 0; o != null && i < numCols; i++) if (o[i] != null) convs[i] = o[i];
    }
    /** Each column's conversion, chosen from its kind when the result was described. */
    final Conversion[] convs;
    private final CursorRow cur = new CursorRow();
    private final JdbcOdbcBoundCol[] cols;
    private final byte[] ec = new byte[2];
    private final RetVal rv = new RetVal();
    private final int[] fields = new int[7];
    /** Values read whole with SQLGetData for the current row (they cannot be read twice). */
    private final Object[] held;
    private final long[] heldRow;
    private byte[] piece;
    private final Cleaner.Cleanable cleanable;
    private final long maxRows;
    private long row;
    /**
     * The current row came with SUCCESS, so its numeric values and null
     * markers are in the column objects. Written under the statement's lock
     * (next, close); read without it by the numeric getters' fast path.
     */
    private boolean rowCached;
    private boolean afterLast;
    /** The first row was fetched by isBeforeFirst and becomes current with the next next(). */
    private boolean ahead;
    private boolean aheadCached;
    private int fetchSize;
    private volatile boolean closed;
    private SQLWarning warnings;
    /**
     * The rest of the result, read into memory when the statement moved on to
     * its next result keeping this one ({@code KEEP_CURRENT_RESULT}): values
     * in their kinds' forms, from row {@link #keptFirst} on; null while the
     * result set reads its cursor.
     */
    private java.util.List<Object[]> kept;
    private long keptFirst;
    private Map<String, Integer> labels;
    private JdbcOdbcResultSetMetaData metaData;

    private JdbcOdbcResultSet(JdbcOdbcStatement stmt, int numCols, int boundCols, int[] sqlTypes, int[] driverTypes,
            int[] lengths, int[] cTypes, int[] kinds) {
        this.stmt = stmt;
        this.state = stmt.state;
        this.odbc = stmt.odbc;
        this.numCols = numCols;
        this.boundCols = boundCols;
        this.cursorId = state.cursorId;
        this.sqlTypes = sqlTypes;
        this.driverTypes = driverTypes;
        this.lengths = lengths;
        this.cTypes = cTypes;
        this.kinds = kinds;
        this.convs = new Conversion[numCols];
        for (int i = 0; i < numCols; i++) convs[i] = conversionOf(kinds[i]);
        this.cols = new JdbcOdbcBoundCol[numCols];
        for (int i = 0; i < numCols; i++) cols[i] = new JdbcOdbcBoundCol();
        this.held = new Object[numCols];
        this.heldRow = new long[numCols];
        // Nothing is held before the first row (row 0).
        java.util.Arrays.fill(heldRow, -1);
        this.maxRows = stmt.maxRows;
        this.fetchSize = stmt.fetchSize;
        this.cleanable = stmt.conn.env.cleaner.register(this, new CursorCloser(state, cursorId));
    }

    /** Closes a result set's cursor when nobody closed the result set. */
    private static final class CursorCloser implements Runnable {
        private final StatementState state;
        private final long id;

        CursorCloser(StatementState state, long id) {
            this.state = state;
            this.id = id;
        }

        @Override
        public void run() {
            state.closeCursorOf(id, true);
        }
    }

    /**
     * Describes and binds the statement's current result; under the
     * statement's lock.
     */
    static JdbcOdbcResultSet open(JdbcOdbcStatement stmt, int n) throws SQLException {
        StatementState st = stmt.state;
        boolean keep = st.keepsShape && stmt.keepsColumns();
        return open(stmt, n, keep || st.shape != null ? st.describedVersion() : StatementState.NO_VERSION);
    }

    /** As {@link #open(JdbcOdbcStatement, int)}, with the description version read already. */
    static JdbcOdbcResultSet open(JdbcOdbcStatement stmt, int n, long version) throws SQLException {
        StatementState st = stmt.state;
        // A prepared statement kept for reuse may keep its columns bound: as
        // long as the library says the description is the one they were
        // bound for, the result opens on them as they are.
        boolean keep = st.keepsShape && stmt.keepsColumns();
        StatementState.Shape kept = st.shape;
        if (kept != null) {
            if (keep && version != StatementState.NO_VERSION && kept.version == version && kept.numCols == n) {
                st.boundCols = kept.boundCols;
                st.numCols = n;
                st.cursorOpen = true;
                JdbcOdbcResultSet rs = new JdbcOdbcResultSet(stmt, n, kept.boundCols, kept.sqlTypes, kept.driverTypes,
                        kept.lengths, kept.cTypes, kept.kinds);
                rs.overrideConversions(kept.overrides);
                return rs;
            }
            st.dropShape();
        }
        JdbcOdbcResultSet rs = describe(stmt, n);
        if (keep && version != StatementState.NO_VERSION) {
            st.shape = new StatementState.Shape(rs.boundCols, n, version, rs.sqlTypes, rs.driverTypes, rs.lengths,
                    rs.cTypes, rs.kinds, rs.overrides);
        }
        return rs;
    }

    /** Describes and binds the statement's current result afresh; under the statement's lock. */
    private static JdbcOdbcResultSet describe(JdbcOdbcStatement stmt, int n) throws SQLException {
        StatementState st = stmt.state;
        JdbcOdbcClient odbc = stmt.odbc;
        int h = st.hStmt;
        int[] sqlTypes = new int[n], driverTypes = new int[n], lengths = new int[n], cTypes = new int[n];
        byte[] ec = st.ec;
        ec[0] = 0;
        ec[1] = 0;
        int bc = odbc.allocAndBindAllCols(0, h, sqlTypes, driverTypes, lengths, cTypes, ec, n);
        if (bc == 0) {
            SQLException e = describeFailure(stmt, n, ec[0], ec[1]);
            st.closeCursor(true);
            throw e;
        }
        st.boundCols = bc;
        st.numCols = n;
        st.cursorOpen = true;
        st.conn.live.incrementAndGet();
        int[] kinds = new int[n];
        Conversion[] overrides = null;
        for (int i = 0; i < n; i++) {
            kinds[i] = kind(sqlTypes[i], driverTypes[i], cTypes[i]);
            if (kinds[i] == K_TEXT && driverTypes[i] == Odbc.DRIVER_ARRAY) {
                kinds[i] = K_ARRAY;
                if (overrides == null) overrides = new Conversion[n];
                overrides[i] = ArrayConversion.ofColumn(attributeString(odbc, h, i + 1, Odbc.COL_TYPE_NAME));
            } else if (kinds[i] == K_TEXT && (sqlTypes[i] == Odbc.CHAR || sqlTypes[i] == Odbc.VARCHAR
                    || sqlTypes[i] == Odbc.WCHAR || sqlTypes[i] == Odbc.WVARCHAR) && lengths[i] <= 16) {
                // psqlODBC describes booleans as short text; the type name tells them.
                String name = attributeString(odbc, h, i + 1, Odbc.COL_TYPE_NAME);
                if ("bool".equalsIgnoreCase(name) || "boolean".equalsIgnoreCase(name)) kinds[i] = K_BOOLEAN_TEXT;
            } else if (kinds[i] == K_WIDE && sqlTypes[i] == Odbc.TINYINT) {
                // SQLite's booleans are small integers that keep their declared name.
                String name = attributeString(odbc, h, i + 1, Odbc.COL_TYPE_NAME);
                if (booleanTypeName(name)) kinds[i] = K_WIDE_BIT;
            } else if ((kinds[i] == K_SHORT && sqlTypes[i] == Odbc.TINYINT) || kinds[i] == K_BINARY) {
                // MariaDB's BIT: one bit is a boolean, more are their bits.
                if ("bit".equalsIgnoreCase(attributeString(odbc, h, i + 1, Odbc.COL_TYPE_NAME))) {
                    if (kinds[i] == K_SHORT) {
                        kinds[i] = K_BIT;
                    } else {
                        if (overrides == null) overrides = new Conversion[n];
                        overrides[i] = Conversion.BITS;
                    }
                }
            }
        }
        JdbcOdbcResultSet rs = new JdbcOdbcResultSet(stmt, n, bc, sqlTypes, driverTypes, lengths, cTypes, kinds);
        rs.overrideConversions(overrides);
        return rs;
    }

    private static SQLException describeFailure(JdbcOdbcStatement stmt, int n, byte rc, byte code) {
        JdbcOdbcClient odbc = stmt.odbc;
        int h = stmt.state.hStmt;
        if (code == Odbc.ST_NO_MEMORY) return JdbcOdbcErrors.of("No memory for the result's columns", "HY001");
        if (code == Odbc.ST_UNUSABLE) {
            java.util.List<JdbcOdbcErrors.Record> recs = JdbcOdbcErrors.records(odbc, 0, 0, h);
            int[] types = new int[n], dt = new int[n], len = new int[n];
            byte[] ec2 = new byte[2];
            odbc.getStmtTypeInfo(0, h, types, dt, len, ec2, n);
            for (int i = 0; i < n; i++) {
                int t = types[i];
                if (Odbc.succeeded(ec2[0]) && (t == Odbc.BIT || t == 0 || t < -10 || t > 12)) {
                    return JdbcOdbcErrors.notSupported("Column " + (i + 1) + " (" + attributeString(odbc, h, i + 1,
                            Odbc.COL_NAME) + ") has SQL type " + t + ", which the native library cannot bind; reading it");
                }
            }
            String detail = recs.isEmpty() ? "" : ": " + recs.get(0).message;
            return JdbcOdbcErrors.of("The result's columns could not be described" + detail, "HY000");
        }
        return stmt.failure("describing the result", false);
    }

    static int kind(int sqlType, int driverType, int cType) {
        switch (cType) {
        case Odbc.C_SSHORT: return K_SHORT;
        case Odbc.C_SLONG: return K_INT;
        case Odbc.C_SBIGINT: return driverType == Odbc.DRIVER_WIDE_INTEGER ? K_WIDE : K_LONG;
        case Odbc.C_FLOAT: return K_FLOAT;
        case Odbc.C_DOUBLE: return K_DOUBLE;
        case Odbc.C_CHAR: return sqlType == Odbc.TIME ? K_TIME_TEXT : K_DECIMAL;
        case Odbc.C_WCHAR: return K_TEXT;
        case Odbc.C_DATE: return K_DATE;
        case Odbc.C_TIME: return K_TIME;
        case Odbc.C_TIMESTAMP: return K_TIMESTAMP;
        case Odbc.C_BINARY:
            if (sqlType == Odbc.TIMESTAMP) return driverType == Odbc.DRIVER_TIMESTAMP_TZ ? K_TIMESTAMP_TZ : K_TIMESTAMP_UTC;
            return K_BINARY;
        default:
            return K_TEXT;
        }
    }

    /** Whether a declared type name says boolean: BOOLEAN, BOOL or BIT (a length in parentheses aside). */
    static boolean booleanTypeName(String name) {
        int p = name.indexOf('(');
        String t = (p < 0 ? name : name.substring(0, p)).trim();
        return t.equalsIgnoreCase("boolean") || t.equalsIgnoreCase("bool") || t.equalsIgnoreCase("bit");
    }

    /** A text column attribute; an empty string when the driver cannot tell. */
    static String attributeString(JdbcOdbcClient odbc, int h, int column, int desc) {
        byte[] buf = new byte[512];
        short rc = odbc.colAttributesString(h, column, desc, buf);
        return Odbc.succeeded(rc) ? Odbc.text(buf) : "";
    }

    // ---------------------------------------------------------------- state

    private void lock() throws SQLException {
        state.lock.lock();
        if (isClosed()) {
            state.lock.unlock();
            throw JdbcOdbcErrors.closed("The result set");
        }
    }

    private void unlock() {
        state.lock.unlock();
    }

    /** Locks and checks that a row is current and the column exists; returns the 0-based index. */
    private int at(int column) throws SQLException {
        lock();
        if (row == 0 || afterLast) {
            unlock();
            throw JdbcOdbcErrors.of(afterLast ? "The result set has no more rows" : "next() was not called",
                    "24000");
        }
        if (column < 1 || column > numCols) {
            unlock();
            throw JdbcOdbcErrors.of("Column index " + column + " is outside 1.." + numCols, "07009");
        }
        return column - 1;
    }

    /** Marks the result set closed and closes its cursor; under the statement's lock. */
    void markClosed(boolean discard) {
        if (closed) return;
        closed = true;
        rowCached = false;
        kept = null;
        state.closeCursorOf(cursorId, discard);
        cleanable.clean();
    }

    @Override
    public boolean next() throws SQLException {
        lock();
        try {
            if (kept != null) {
                if (afterLast) return false;
                if (row + 1 - keptFirst >= kept.size()) {
                    afterLast = true;
                    return false;
                }
                row++;
                return true;
            }
            if (ahead) {
                // isBeforeFirst fetched the first row already.
                ahead = false;
                rowCached = aheadCached;
                row++;
                return true;
            }
            rowCached = false;
            if (afterLast) return false;
            if (maxRows > 0 && row >= maxRows) {
                afterLast = true;
                return false;
            }
            if (!fetchRow()) return false;
            row++;
            return true;
        } finally {
            unlock();
        }
    }

    /** Fetches the next row into the bound columns; false (and after the last row) when there is none. */
    private boolean fetchRow() throws SQLException {
        for (JdbcOdbcBoundCol c : cols) {
            c.hasCachedValue = false;
            c.cachedNull = false;
        }
        ConnectionState conn = state.conn;
        conn.beginCall(state);
        int rc = odbc.fetch(state.hStmt, boundCols, cols, numCols);
        conn.endCall();
        if (conn.networkExpired) {
            // The watchdog gave the connection up during (or right after) the fetch: no row is trusted.
            rowCached = false;
            throw stmt.failure("fetch", true);
        }
        if (rc == Odbc.NO_DATA) {
            afterLast = true;
            return false;
        }
        if (!Odbc.succeeded(rc)) throw stmt.failure("fetch", false);
        rowCached = rc == Odbc.SUCCESS;
        if (rc == Odbc.SUCCESS_WITH_INFO) rowWarnings();
        return true;
    }

    /** The warnings of a row fetched with information, less the truncations the driver reads past itself. */
    private void rowWarnings() {
        for (JdbcOdbcErrors.Record r : JdbcOdbcErrors.records(odbc, 0, 0, state.hStmt)) {
            if ("01004".equals(r.state)) continue;
            SQLWarning w = new SQLWarning(r.message, r.state, r.nativeError);
            if (warnings == null) warnings = w;
            else warnings.setNextWarning(w);
        }
    }

    @Override
    public void close() throws SQLException {
        state.lock.lock();
        try {
            if (closed) return;
            closed = true;
            rowCached = false;
            // The statement's results after this one stay for getMoreResults.
            stmt.closeCursorOf(cursorId);
            cleanable.clean();
        } finally {
            state.lock.unlock();
        }
        stmt.resultSetClosed(this);
    }

    /** Closed by its own close, or with its statement or connection (its cursor is gone). */
    @Override
    public boolean isClosed() {
        if (kept != null) return closed;
        return closed || !state.cursorOpen || state.cursorId != cursorId || state.hStmt == 0;
    }

    /**
     * Reads the rest of the result into memory (the current row included), so
     * the result set stays readable while the statement moves on to its next
     * result; its metadata and labels are taken first, while the cursor still
     * describes them. Under the statement's lock.
     */
    void keep() throws SQLException {
        if (kept != null || isClosed()) return;
        if (metaData == null) metaData = new JdbcOdbcResultSetMetaData(this);
        if (labels == null) buildLabels();
        java.util.List<Object[]> rows = new java.util.ArrayList<>();
        long first = row + 1;
        if (afterLast) {
            keptFirst = first;
            kept = rows;
            return;
        }
        if (ahead) {
            ahead = false;
            rowCached = aheadCached;
            rows.add(rowValues());
        } else if (row > 0 && !afterLast) {
            first = row;
            rows.add(rowValues());
        }
        while (!afterLast && (maxRows <= 0 || first + rows.size() - 1 < maxRows)) {
            rowCached = false;
            if (!fetchRow()) break;
            // The row number stays while the rest is read: what the last row
            // held is no value of this one.
            java.util.Arrays.fill(heldRow, -1);
            rows.add(rowValues());
        }
        rowCached = false;
        afterLast = false;
        keptFirst = first;
        kept = rows;
    }

    private Object[] rowValues() throws SQLException {
        Object[] r = new Object[numCols];
        for (int i = 0; i < numCols; i++) r[i] = convs[i].natural(cur, i);
        return r;
    }

    @Override
    public boolean wasNull() throws SQLException {
        if (isClosed()) throw JdbcOdbcErrors.closed("The result set");
        return cur.wasNull;
    }

    // ---------------------------------------------------------------- raw readers (under the lock)

    private SQLException conversion(int i, String to) {
        return JdbcOdbcErrors.of("Column " + (i + 1) + " (SQL type " + sqlTypes[i] + ") cannot be read as " + to,
                "22018");
    }

    private boolean heldNow(int i) {
        return heldRow[i] == row;
    }

    private Object hold(int i, Object v) {
        held[i] = v == null ? NULL : v;
        heldRow[i] = row;
        return v;
    }

    /** Reads the code a bound getter left: true for NULL; throws for a refusal. */
    private boolean nullOrFail(int i) throws SQLException {
        if (ec[1] == Odbc.ST_NULL) return true;
        if (ec[1] != 0) throw JdbcOdbcErrors.of("Column " + (i + 1) + " could not be read (code " + ec[1] + ")",
                "HY000");
        return false;
    }

    /** The text of a character column (bound C type wide characters). */
    private String wideText(int i) throws SQLException {
        if (heldNow(i)) return heldValue(i, String.class);
        if (rowCached && cols[i].cachedNull) {
            cur.wasNull = true;
            return null;
        }
        rv.obj = null;
        rv.err1 = 0;
        odbc.getString(boundCols, i + 1, rv, Odbc.C_WCHAR);
        if (rv.err1 == Odbc.ST_NULL) {
            cur.wasNull = true;
            return null;
        }
        if (rv.err1 == 0 && rv.obj != null) {
            cur.wasNull = false;
            return (String) rv.obj;
        }
        // Longer than the bound buffer: read it whole.
        String s = (String) readLong(i, Odbc.C_WCHAR);
        cur.wasNull = s == null;
        return (String) hold(i, s);
    }

    /** The text of a decimal column (bound as 8-bit text). */
    private String narrowText(int i) throws SQLException {
        if (heldNow(i)) return heldValue(i, String.class);
        if (rowCached && cols[i].cachedNull) {
            cur.wasNull = true;
            return null;
        }
        rv.obj = null;
        rv.err1 = 0;
        odbc.getString(boundCols, i + 1, rv, Odbc.C_CHAR);
        if (rv.err1 == Odbc.ST_NULL) {
            cur.wasNull = true;
            return null;
        }
        if (rv.err1 == 0 && rv.obj != null) {
            cur.wasNull = false;
            return ((String) rv.obj).trim();
        }
        String s = (String) readLong(i, Odbc.C_CHAR);
        cur.wasNull = s == null;
        return (String) hold(i, s == null ? null : s.trim());
    }

    private <T> T heldValue(int i, Class<T> type) throws SQLException {
        Object v = held[i];
        if (v == STREAMED) {
            throw JdbcOdbcErrors.of("Column " + (i + 1) + " of this row was read as a stream", "HY010");
        }
        cur.wasNull = v == NULL;
        return cur.wasNull ? null : type.cast(v);
    }

    /** The bytes of a binary column. */
    private byte[] binary(int i) throws SQLException {
        if (heldNow(i)) return heldValue(i, byte[].class);
        if (rowCached && cols[i].cachedNull) {
            cur.wasNull = true;
            return null;
        }
        int len = odbc.getDataLength(boundCols, ec, i + 1);
        if (len == -1) {
            cur.wasNull = true;
            return null;
        }
        if (len >= 0 && len <= lengths[i]) {
            byte[] b = new byte[len];
            odbc.getBytes(boundCols, b, ec, i + 1);
            if (ec[1] == 0) {
                cur.wasNull = false;
                return b;
            }
            if (ec[1] == Odbc.ST_NULL) {
                cur.wasNull = true;
                return null;
            }
        }
        byte[] b = (byte[]) readLong(i, Odbc.C_BINARY);
        cur.wasNull = b == null;
        return (byte[]) hold(i, b);
    }

    /**
     * Reads a value whole with SQLGetData: a String for the character C types,
     * a byte[] for binary. The first piece ({@value #PIECE} bytes) tells the
     * length of the value, so the rest goes straight into a result of its
     * final size ({@link LongValue}), read in pieces of up to
     * {@value #LONG_PIECE} bytes; only a driver that cannot tell the length
     * makes the result grow as it arrives.
     */
    private Object readLong(int i, int cType) throws SQLException {
        if (piece == null) piece = new byte[PIECE];
        int terminator = cType == Odbc.C_WCHAR ? 2 : cType == Odbc.C_CHAR ? 1 : 0;
        int h = state.hStmt;
        byte[] buf = piece;
        LongValue value = null;
        for (;;) {
            int ind = odbc.getDataStream(h, boundCols, i + 1, cType, buf, buf.length, 0, ec);
            int rc = ec[0];
            if (rc == Odbc.NO_DATA) break;
            if (!Odbc.succeeded(rc)) throw stmt.failure("reading column " + (i + 1), false);
            if (ec[1] == Odbc.ST_NULL || ind == -1) return null;
            if (ec[1] != 0) throw JdbcOdbcErrors.of("Column " + (i + 1) + " could not be read (code " + ec[1] + ")",
                    "HY000");
            int room = buf.length - terminator;
            int stored = ind < 0 || ind > room ? room : ind;
            if (cType == Odbc.C_WCHAR) stored &= ~1;
            if (value == null) {
                if (rc == Odbc.SUCCESS) return LongValue.of(cType, buf, stored);
                // ind is the length of the whole value here, or SQL_NO_TOTAL.
                value = new LongValue(cType, ind > stored ? ind : -1);
            }
            value.append(buf, stored);
            if (rc == Odbc.SUCCESS) break;
            if (buf == piece) {
                long rest = ind > stored ? (long) ind - stored + terminator : LONG_PIECE;
                buf = new byte[(int) Math.min(Math.max(rest, PIECE), LONG_PIECE)];
            }
        }
        return value == null ? LongValue.of(cType, buf, 0) : value.result();
    }

    private LocalDate date(int i) throws SQLException {
        odbc.getDate(boundCols, ec, i + 1, fields);
        if (cur.wasNull = nullOrFail(i)) return null;
        try {
            return LocalDate.of(fields[0], fields[1], fields[2]);
        } catch (DateTimeException e) {
            throw JdbcOdbcErrors.exception("Column " + (i + 1) + " holds no valid date", "22007", 0, e);
        }
    }

    private LocalTime time(int i) throws SQLException {
        odbc.getTime(boundCols, ec, i + 1, fields);
        if (cur.wasNull = nullOrFail(i)) return null;
        try {
            return LocalTime.of(fields[0], fields[1], fields[2]);
        } catch (DateTimeException e) {
            throw JdbcOdbcErrors.exception("Column " + (i + 1) + " holds no valid time", "22007", 0, e);
        }
    }

    /** A java.sql.Time of a time of day, with its milliseconds. */
    static Time sqlTime(LocalTime t) {
        return Conversion.sqlTime(t);
    }

    private LocalDateTime timestamp(int i) throws SQLException {
        odbc.getTimestamp(boundCols, ec, i + 1, fields);
        if (cur.wasNull = nullOrFail(i)) return null;
        try {
            return LocalDateTime.of(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]);
        } catch (DateTimeException e) {
            throw JdbcOdbcErrors.exception("Column " + (i + 1) + " holds no valid timestamp", "22007", 0, e);
        }
    }

    /** The instant of a timestamp in the driver's 8-byte form (microseconds since 1970 UTC). */
    private Instant instant(int i) throws SQLException {
        long micros = odbc.getTimestampRaw(boundCols, ec, i + 1);
        if (cur.wasNull = nullOrFail(i)) return null;
        return Instant.ofEpochSecond(Math.floorDiv(micros, 1_000_000L), Math.floorMod(micros, 1_000_000L) * 1000L);
    }

    // ---------------------------------------------------------------- values by kind

    /**
     * The raw reader of the current row for the conversions: numbers from the
     * column objects the fetch filled (or the bound getters after a row
     * fetched with information), other values in their kind's form. A read
     * that needs a native call runs only under the statement's lock; the
     * getters' fast path reaches here without it only for a cached row.
     */
    private final class CursorRow extends Conversion.Row {
        private void locked() throws SQLException {
            // A cached row left by another thread's next() while a fast-path getter ran.
            if (!state.lock.isHeldByCurrentThread()) {
                throw JdbcOdbcErrors.of("The result set moved to another row while the value was read", "HY010");
            }
        }

        @Override
        short readShort(int i) throws SQLException {
            if (kept != null) {
                Object v = keptValue(i);
                return v == null ? 0 : keptNumber(v).shortValue();
            }
            if (rowCached) {
                JdbcOdbcBoundCol c = cols[i];
                return (wasNull = c.cachedNull) ? 0 : c.cachedShort;
            }
            locked();
            short v = odbc.getShort(boundCols, ec, i + 1);
            wasNull = nullOrFail(i);
            return v;
        }

        @Override
        int readInt(int i) throws SQLException {
            if (kept != null) {
                Object v = keptValue(i);
                return v == null ? 0 : keptNumber(v).intValue();
            }
            if (rowCached) {
                JdbcOdbcBoundCol c = cols[i];
                return (wasNull = c.cachedNull) ? 0 : c.cachedInt;
            }
            locked();
            int v = odbc.getInteger(boundCols, ec, i + 1);
            wasNull = nullOrFail(i);
            return v;
        }

        @Override
        long readLong(int i) throws SQLException {
            if (kept != null) {
                Object v = keptValue(i);
                return v == null ? 0 : keptNumber(v).longValue();
            }
            if (rowCached) {
                JdbcOdbcBoundCol c = cols[i];
                return (wasNull = c.cachedNull) ? 0 : c.cachedLong;
            }
            locked();
            long v = odbc.getLong(boundCols, ec, i + 1);
            wasNull = nullOrFail(i);
            return v;
        }

        @Override
        float readFloat(int i) throws SQLException {
            if (kept != null) {
                Object v = keptValue(i);
                return v == null ? 0 : keptNumber(v).floatValue();
            }
            if (rowCached) {
                JdbcOdbcBoundCol c = cols[i];
                return (wasNull = c.cachedNull) ? 0 : c.cachedReal;
            }
            locked();
            float v = odbc.getFloat(boundCols, ec, i + 1);
            wasNull = nullOrFail(i);
            return v;
        }

        @Override
        double readDouble(int i) throws SQLException {
            if (kept != null) {
                Object v = keptValue(i);
                return v == null ? 0 : keptNumber(v).doubleValue();
            }
            if (rowCached) {
                JdbcOdbcBoundCol c = cols[i];
                return (wasNull = c.cachedNull) ? 0 : c.cachedDouble;
            }
            locked();
            double v = odbc.getDouble(boundCols, ec, i + 1);
            wasNull = nullOrFail(i);
            return v;
        }

        @Override
        Object readObject(int i) throws SQLException {
            if (kept != null) return keptValue(i);
            locked();
            return value(i);
        }

        /** A kept value as a number: a boolean column's (MariaDB's BIT, SQLite's booleans) is 1 or 0. */
        private Number keptNumber(Object v) {
            if (v instanceof Boolean) return (Boolean) v ? 1 : 0;
            return (Number) v;
        }

        private Object keptValue(int i) {
            Object v = kept.get((int) (row - keptFirst))[i];
            wasNull = v == null;
            return v;
        }

        @Override
        String name(int i) {
            return "Column " + (i + 1) + " (SQL type " + sqlTypes[i] + ")";
        }
    }

    /** The column's value in its kind's form (or null); under the lock. */
    private Object value(int i) throws SQLException {
        switch (kinds[i]) {
        case K_SHORT:
        case K_BIT: {
            short v = cur.readShort(i);
            return cur.wasNull ? null : Integer.valueOf(v);
        }
        case K_INT: {
            int v = cur.readInt(i);
            return cur.wasNull ? null : Integer.valueOf(v);
        }
        case K_LONG:
        case K_WIDE:
        case K_WIDE_BIT: {
            long v = cur.readLong(i);
            return cur.wasNull ? null : Long.valueOf(v);
        }
        case K_FLOAT: {
            float v = cur.readFloat(i);
            return cur.wasNull ? null : Float.valueOf(v);
        }
        case K_DOUBLE: {
            double v = cur.readDouble(i);
            return cur.wasNull ? null : Double.valueOf(v);
        }
        case K_DECIMAL:
        case K_TIME_TEXT:
            return narrowText(i);
        case K_TEXT:
        case K_ARRAY:
            return wideText(i);
        case K_BOOLEAN_TEXT: {
            String s = wideText(i);
            return s == null ? null : Boolean.valueOf(Conversion.parseBoolean(cur.name(i), s));
        }
        case K_BINARY:
            return binary(i);
        case K_DATE:
            return date(i);
        case K_TIME:
            return time(i);
        case K_TIMESTAMP:
            return timestamp(i);
        case K_TIMESTAMP_UTC: {
            Instant t = instant(i);
            return t == null ? null : LocalDateTime.ofInstant(t, ZoneOffset.UTC);
        }
        case K_TIMESTAMP_TZ:
            return instant(i);
        default:
            throw conversion(i, "a value");
        }
    }

    /** The conversion of a reader kind. */
    static Conversion conversionOf(int kind) {
        switch (kind) {
        case K_SHORT: return Conversion.SHORT;
        case K_INT: return Conversion.INT;
        case K_LONG: return Conversion.LONG;
        case K_FLOAT: return Conversion.FLOAT;
        case K_DOUBLE: return Conversion.DOUBLE;
        case K_DECIMAL: return Conversion.DECIMAL;
        case K_BOOLEAN_TEXT: return Conversion.BOOLEAN_TEXT;
        case K_BIT: return Conversion.BIT;
        case K_WIDE: return Conversion.WIDE;
        case K_WIDE_BIT: return Conversion.WIDE_BIT;
        case K_BINARY: return Conversion.BINARY;
        case K_DATE: return Conversion.DATE;
        case K_TIME: return Conversion.TIME;
        case K_TIME_TEXT: return Conversion.TIME_TEXT;
        case K_TIMESTAMP: return Conversion.TIMESTAMP;
        case K_TIMESTAMP_UTC: return Conversion.TIMESTAMP_UTC;
        case K_TIMESTAMP_TZ: return Conversion.TIMESTAMP_TZ;
        default: return Conversion.TEXT;
        }
    }

    /** The conversions of the columns (the rows held in memory use the same). */
    Conversion[] conversions() {
        return convs;
    }

    /** Column {@code i}'s value of the current row in its kind's form, for the rows held in memory. */
    Object natural(int i) throws SQLException {
        lock();
        try {
            return convs[i].natural(cur, i);
        } finally {
            unlock();
        }
    }

    /** Whether the current row's numbers can be read without the lock: a numeric column of a cached row. */
    private boolean cachedNumber(int column) {
        if (!rowCached || column < 1 || column > numCols || isClosed()) return false;
        int k = kinds[column - 1];
        return k <= K_DOUBLE || k == K_WIDE || k == K_WIDE_BIT;
    }

    // ---------------------------------------------------------------- getters by index

    @Override
    public String getString(int column) throws SQLException {
        int i = at(column);
        try {
            return convs[i].getString(cur, i);
        } finally {
            unlock();
        }
    }

    @Override
    public boolean getBoolean(int column) throws SQLException {
        int i = at(column);
        try {
            return convs[i].getBoolean(cur, i);
        } finally {
            unlock();
        }
    }

    @Override
    public byte getByte(int column) throws SQLException {
        int i = at(column);
        try {
            return convs[i].getByte(cur, i);
        } finally {
            unlock();
        }
    }

    @Override
    public short getShort(int column) throws SQLException {
        if (cachedNumber(column)) return convs[column - 1].getShort(cur, column - 1);
        int i = at(column);
        try {
            return convs[i].getShort(cur, i);
        } finally {
            unlock();
        }
    }

    @Override
    public int getInt(int column) throws SQLException {
        if (cachedNumber(column)) return convs[column - 1].getInt(cur, column - 1);
        int i = at(column);
        try {
            return convs[i].getInt(cur, i);
        } finally {
            unlock();
        }
    }

    @Override
    public long getLong(int column) throws SQLException {
        if (cachedNumber(column)) return convs[column - 1].getLong(cur, column - 1);
        int i = at(column);
        try {
            return convs[i].getLong(cur, i);
        } finally {
            unlock();
        }
    }

    @Override
    public float getFloat(int column) throws SQLException {
        if (cachedNumber(column)) return convs[column - 1].getFloat(cur, column - 1);
        int i = at(column);
        try {
            return convs[i].getFloat(cur, i);
        } finally {
            unlock();
        }
    }

    @Override
    public double getDouble(int column) throws SQLException {
        if (cachedNumber(column)) return convs[column - 1].getDouble(cur, column - 1);
        int i = at(column);
        try {
            return convs[i].getDouble(cur, i);
        } finally {
            unlock();
        }
    }

    @Override
    public BigDecimal getBigDecimal(int column) throws SQLException {
        int i = at(column);
        try {
            return convs[i].getBigDecimal(cur, i);
        } finally {
            unlock();
        }
    }

    @Override
    @Deprecated
    public BigDecimal getBigDecimal(int column, int scale) throws SQLException {
        BigDecimal d = getBigDecimal(column);
        return d == null ? null : d.setScale(scale, RoundingMode.HALF_UP);
    }

    @Override
    public byte[] getBytes(int column) throws SQLException {
        int i = at(column);
        try {
            return convs[i].getBytes(cur, i);
        } finally {
            unlock();
        }
    }

    @Override
    public Date getDate(int column) throws SQLException {
        return getDate(column, (Calendar) null);
    }

    @Override
    public Date getDate(int column, Calendar cal) throws SQLException {
        int i = at(column);
        try {
            return convs[i].getDate(cur, i, cal);
        } finally {
            unlock();
        }
    }

    @Override
    public Time getTime(int column) throws SQLException {
        return getTime(column, (Calendar) null);
    }

    @Override
    public Time getTime(int column, Calendar cal) throws SQLException {
        int i = at(column);
        try {
            return convs[i].getTime(cur, i, cal);
        } finally {
            unlock();
        }
    }

    @Override
    public Timestamp getTimestamp(int column) throws SQLException {
        return getTimestamp(column, (Calendar) null);
    }

    @Override
    public Timestamp getTimestamp(int column, Calendar cal) throws SQLException {
        int i = at(column);
        try {
            return convs[i].getTimestamp(cur, i, cal);
        } finally {
            unlock();
        }
    }

    @Override
    public Object getObject(int column) throws SQLException {
        int i = at(column);
        try {
            return convs[i].getObject(cur, i);
        } finally {
            unlock();
        }
    }

    @Override
    public <T> T getObject(int column, Class<T> type) throws SQLException {
        if (type == null) throw JdbcOdbcErrors.of("No type given", "HY009");
        int i = at(column);
        try {
            return convs[i].getObject(cur, i, type);
        } finally {
            unlock();
        }
    }

    @Override
    public Object getObject(int column, Map<String, Class<?>> map) throws SQLException {
        if (map != null && !map.isEmpty()) throw JdbcOdbcErrors.notSupported("Type maps");
        return getObject(column);
    }

    @Override
    public InputStream getAsciiStream(int column) throws SQLException {
        int i = at(column);
        try {
            if (kept == null && kinds[i] == K_TEXT && !heldNow(i) && !(rowCached && cols[i].cachedNull)) {
                rv.obj = null;
                rv.err1 = 0;
                odbc.getString(boundCols, i + 1, rv, Odbc.C_WCHAR);
                if (rv.err1 != Odbc.ST_NULL && !(rv.err1 == 0 && rv.obj != null)) {
                    // Longer than its bound buffer: read piece by piece as the stream is read.
                    cur.wasNull = false;
                    hold(i, STREAMED);
                    return new Latin1Stream(new PieceStream(i, Odbc.C_WCHAR));
                }
            }
        } finally {
            unlock();
        }
        String s = getString(column);
        return s == null ? null : new ByteArrayInputStream(s.getBytes(StandardCharsets.ISO_8859_1));
    }

    /**
     * The 8-bit form of a stream of UTF-16LE text, as {@code getBytes} in
     * ISO 8859-1 makes it: a character beyond U+00FF (a surrogate pair as
     * one) becomes {@code ?}.
     */
    private static final class Latin1Stream extends InputStream {
        private final InputStream utf16;
        private final byte[] units = new byte[PIECE];
        private int pending = -1;
        private boolean afterHigh;

        Latin1Stream(InputStream utf16) {
            this.utf16 = utf16;
        }

        @Override
        public int read() throws java.io.IOException {
            byte[] one = new byte[1];
            return read(one, 0, 1) < 0 ? -1 : one[0] & 0xFF;
        }

        @Override
        public int read(byte[] b, int off, int len) throws java.io.IOException {
            java.util.Objects.checkFromIndexSize(off, len, b.length);
            if (len == 0) return 0;
            int want = Math.min(len, units.length / 2) * 2;
            int got = 0;
            if (pending >= 0) units[got++] = (byte) pending;
            pending = -1;
            while (got < 2) {
                int n = utf16.read(units, got, want - got);
                if (n < 0) return -1;
                got += n;
            }
            if ((got & 1) != 0) pending = units[--got] & 0xFF;
            int out = off;
            for (int k = 0; k < got; k += 2) {
                int u = (units[k] & 0xFF) | (units[k + 1] & 0xFF) << 8;
                boolean low = u >= 0xDC00 && u <= 0xDFFF;
                if (!(low && afterHigh)) b[out++] = u < 0x100 ? (byte) u : (byte) '?';
                afterHigh = u >= 0xD800 && u <= 0xDBFF;
            }
            return out - off;
        }
    }

    @Override
    @Deprecated
    public InputStream getUnicodeStream(int column) throws SQLException {
        // Two bytes a character, the high byte first.
        String s = getString(column);
        return s == null ? null : new ByteArrayInputStream(s.getBytes(StandardCharsets.UTF_16BE));
    }

    /**
     * A binary value as a stream. A value held whole in its bound buffer is
     * read from there; a longer one is read from the data source piece by
     * piece as the stream is read ({@code getDataStream}), until the result
     * set moves to another row.
     */
    @Override
    public InputStream getBinaryStream(int column) throws SQLException {
        int i = at(column);
        try {
            if (kept == null && kinds[i] == K_BINARY && !heldNow(i) && !(rowCached && cols[i].cachedNull)) {
                int len = odbc.getDataLength(boundCols, ec, i + 1);
                if (len != -1 && (len < 0 || len > lengths[i])) {
                    cur.wasNull = false;
                    hold(i, STREAMED);
                    return new PieceStream(i, Odbc.C_BINARY);
                }
            }
        } finally {
            unlock();
        }
        byte[] b = getBytes(column);
        return b == null ? null : new ByteArrayInputStream(b);
    }

    /**
     * A text value as a stream; a value longer than its bound buffer is read
     * from the data source piece by piece as the reader is read.
     */
    @Override
    public Reader getCharacterStream(int column) throws SQLException {
        int i = at(column);
        try {
            if (kept == null && kinds[i] == K_TEXT && !heldNow(i) && !(rowCached && cols[i].cachedNull)) {
                rv.obj = null;
                rv.err1 = 0;
                odbc.getString(boundCols, i + 1, rv, Odbc.C_WCHAR);
                if (rv.err1 == Odbc.ST_NULL) {
                    cur.wasNull = true;
                    return null;
                }
                cur.wasNull = false;
                if (rv.err1 == 0 && rv.obj != null) return new StringReader((String) rv.obj);
                hold(i, STREAMED);
                return new java.io.InputStreamReader(new PieceStream(i, Odbc.C_WCHAR), StandardCharsets.UTF_16LE);
            }
        } finally {
            unlock();
        }
        String s = getString(column);
        return s == null ? null : new StringReader(s);
    }

    /** The bytes of one column value, read from the data source a piece at a time while the row is current. */
    private final class PieceStream extends InputStream {
        private final int i;
        private final int cType;
        private final long rowAt;
        /** The first piece is small (most long values are not much longer); the later ones larger. */
        private byte[] buf = new byte[PIECE];
        private int pos;
        private int lim;
        private boolean last;

        PieceStream(int i, int cType) {
            this.i = i;
            this.cType = cType;
            this.rowAt = row;
        }

        private boolean fill() throws java.io.IOException {
            if (last) return false;
            if (lim > 0 && buf.length < LONG_PIECE) buf = new byte[LONG_PIECE];
            state.lock.lock();
            try {
                if (isClosed() || row != rowAt) {
                    throw new java.io.IOException("The result set left the row: the stream of column " + (i + 1)
                            + " can no longer be read");
                }
                int ind = odbc.getDataStream(state.hStmt, boundCols, i + 1, cType, buf, buf.length, 0, ec);
                int rc = ec[0];
                if (rc == Odbc.NO_DATA) {
                    last = true;
                    return false;
                }
                if (!Odbc.succeeded(rc)) {
                    throw new java.io.IOException(stmt.failure("reading column " + (i + 1), false));
                }
                int room = buf.length - (cType == Odbc.C_WCHAR ? 2 : 0);
                int stored = ind < 0 || ind > room ? room : ind;
                if (cType == Odbc.C_WCHAR) stored &= ~1;
                pos = 0;
                lim = stored;
                if (rc == Odbc.SUCCESS) last = true;
                return true;
            } finally {
                state.lock.unlock();
            }
        }

        @Override
        public int read() throws java.io.IOException {
            while (pos >= lim) {
                if (!fill()) return -1;
            }
            return buf[pos++] & 0xFF;
        }

        @Override
        public int read(byte[] b, int off, int len) throws java.io.IOException {
            java.util.Objects.checkFromIndexSize(off, len, b.length);
            if (len == 0) return 0;
            while (pos >= lim) {
                if (!fill()) return -1;
            }
            int n = Math.min(len, lim - pos);
            System.arraycopy(buf, pos, b, off, n);
            pos += n;
            return n;
        }
    }

    @Override
    public Reader getNCharacterStream(int column) throws SQLException {
        return getCharacterStream(column);
    }

    @Override
    public String getNString(int column) throws SQLException {
        return getString(column);
    }

    @Override
    public URL getURL(int column) throws SQLException {
        String s = getString(column);
        if (s == null) return null;
        try {
            return new java.net.URI(s.trim()).toURL();
        } catch (java.net.URISyntaxException | java.net.MalformedURLException | IllegalArgumentException e) {
            throw JdbcOdbcErrors.exception("Column " + column + " holds no URL", "22018", 0, e);
        }
    }

    @Override
    public Ref getRef(int column) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Ref values");
    }

    @Override
    public Blob getBlob(int column) throws SQLException {
        byte[] b = getBytes(column);
        return b == null ? null : new JdbcOdbcBlob(b);
    }

    @Override
    public Clob getClob(int column) throws SQLException {
        return getNClob(column);
    }

    @Override
    public NClob getNClob(int column) throws SQLException {
        String s = getString(column);
        return s == null ? null : new JdbcOdbcClob(s);
    }

    @Override
    public Array getArray(int column) throws SQLException {
        int i = at(column);
        try {
            return convs[i].getArray(cur, i);
        } finally {
            unlock();
        }
    }

    @Override
    public RowId getRowId(int column) throws SQLException {
        throw JdbcOdbcErrors.notSupported("RowId values");
    }

    @Override
    public SQLXML getSQLXML(int column) throws SQLException {
        String s = getString(column);
        return s == null ? null : new JdbcOdbcSQLXML(s);
    }

    // ---------------------------------------------------------------- labels

    /** The 1-based column of a label, without regard to case; the first such column. */
    @Override
    public int findColumn(String label) throws SQLException {
        if (label == null) throw JdbcOdbcErrors.of("The column label is null", "HY009");
        Map<String, Integer> m = labels;
        if (m == null) m = buildLabels();
        Integer c = m.get(label);
        if (c == null) c = m.get(label.toLowerCase(Locale.ROOT));
        if (c == null) throw JdbcOdbcErrors.of("The result has no column labelled " + label, "42S22");
        return c;
    }

    private Map<String, Integer> buildLabels() throws SQLException {
        lock();
        try {
            if (labels != null) return labels;
            Map<String, Integer> m = new HashMap<>(numCols * 4);
            for (int c = 1; c <= numCols; c++) {
                String l = attributeString(odbc, state.hStmt, c, Odbc.COL_LABEL);
                if (l.isEmpty()) l = attributeString(odbc, state.hStmt, c, Odbc.COL_NAME);
                // The first column of a label wins, whatever the case: a later column
                // whose label differs only in case adds no key.
                String lower = l.toLowerCase(Locale.ROOT);
                if (m.containsKey(lower)) continue;
                m.put(lower, c);
                m.put(l, c);
            }
            labels = m;
            return m;
        } finally {
            unlock();
        }
    }

    @Override
    public String getString(String label) throws SQLException {
        return getString(findColumn(label));
    }

    @Override
    public boolean getBoolean(String label) throws SQLException {
        return getBoolean(findColumn(label));
    }

    @Override
    public byte getByte(String label) throws SQLException {
        return getByte(findColumn(label));
    }

    @Override
    public short getShort(String label) throws SQLException {
        return getShort(findColumn(label));
    }

    @Override
    public int getInt(String label) throws SQLException {
        return getInt(findColumn(label));
    }

    @Override
    public long getLong(String label) throws SQLException {
        return getLong(findColumn(label));
    }

    @Override
    public float getFloat(String label) throws SQLException {
        return getFloat(findColumn(label));
    }

    @Override
    public double getDouble(String label) throws SQLException {
        return getDouble(findColumn(label));
    }

    @Override
    @Deprecated
    public BigDecimal getBigDecimal(String label, int scale) throws SQLException {
        return getBigDecimal(findColumn(label), scale);
    }

    @Override
    public byte[] getBytes(String label) throws SQLException {
        return getBytes(findColumn(label));
    }

    @Override
    public Date getDate(String label) throws SQLException {
        return getDate(findColumn(label));
    }

    @Override
    public Time getTime(String label) throws SQLException {
        return getTime(findColumn(label));
    }

    @Override
    public Timestamp getTimestamp(String label) throws SQLException {
        return getTimestamp(findColumn(label));
    }

    @Override
    public InputStream getAsciiStream(String label) throws SQLException {
        return getAsciiStream(findColumn(label));
    }

    @Override
    @Deprecated
    public InputStream getUnicodeStream(String label) throws SQLException {
        return getUnicodeStream(findColumn(label));
    }

    @Override
    public InputStream getBinaryStream(String label) throws SQLException {
        return getBinaryStream(findColumn(label));
    }

    @Override
    public Object getObject(String label) throws SQLException {
        return getObject(findColumn(label));
    }

    @Override
    public Reader getCharacterStream(String label) throws SQLException {
        return getCharacterStream(findColumn(label));
    }

    @Override
    public BigDecimal getBigDecimal(String label) throws SQLException {
        return getBigDecimal(findColumn(label));
    }

    @Override
    public Object getObject(String label, Map<String, Class<?>> map) throws SQLException {
        return getObject(findColumn(label), map);
    }

    @Override
    public Ref getRef(String label) throws SQLException {
        return getRef(findColumn(label));
    }

    @Override
    public Blob getBlob(String label) throws SQLException {
        return getBlob(findColumn(label));
    }

    @Override
    public Clob getClob(String label) throws SQLException {
        return getClob(findColumn(label));
    }

    @Override
    public Array getArray(String label) throws SQLException {
        return getArray(findColumn(label));
    }

    @Override
    public Date getDate(String label, Calendar cal) throws SQLException {
        return getDate(findColumn(label), cal);
    }

    @Override
    public Time getTime(String label, Calendar cal) throws SQLException {
        return getTime(findColumn(label), cal);
    }

    @Override
    public Timestamp getTimestamp(String label, Calendar cal) throws SQLException {
        return getTimestamp(findColumn(label), cal);
    }

    @Override
    public URL getURL(String label) throws SQLException {
        return getURL(findColumn(label));
    }

    @Override
    public RowId getRowId(String label) throws SQLException {
        return getRowId(findColumn(label));
    }

    @Override
    public NClob getNClob(String label) throws SQLException {
        return getNClob(findColumn(label));
    }

    @Override
    public SQLXML getSQLXML(String label) throws SQLException {
        return getSQLXML(findColumn(label));
    }

    @Override
    public String getNString(String label) throws SQLException {
        return getNString(findColumn(label));
    }

    @Override
    public Reader getNCharacterStream(String label) throws SQLException {
        return getNCharacterStream(findColumn(label));
    }

    @Override
    public <T> T getObject(String label, Class<T> type) throws SQLException {
        return getObject(findColumn(label), type);
    }

    // ---------------------------------------------------------------- result set

    @Override
    public SQLWarning getWarnings() throws SQLException {
        if (closed) throw JdbcOdbcErrors.closed("The result set");
        return warnings;
    }

    @Override
    public void clearWarnings() throws SQLException {
        if (closed) throw JdbcOdbcErrors.closed("The result set");
        warnings = null;
    }

    @Override
    public String getCursorName() throws SQLException {
        if (closed) throw JdbcOdbcErrors.closed("The result set");
        return stmt.cursorName();
    }

    @Override
    public ResultSetMetaData getMetaData() throws SQLException {
        lock();
        try {
            if (metaData == null) metaData = new JdbcOdbcResultSetMetaData(this);
            return metaData;
        } finally {
            unlock();
        }
    }

    @Override
    public Statement getStatement() throws SQLException {
        if (closed) throw JdbcOdbcErrors.closed("The result set");
        return stmt;
    }

    /**
     * True before the first row of a result that has one: an empty result is
     * never before its first row, so the first row is fetched ahead here and
     * the next {@code next()} makes it current.
     */
    @Override
    public boolean isBeforeFirst() throws SQLException {
        lock();
        try {
            if (kept != null) return row == 0 && !afterLast && !kept.isEmpty();
            if (row == 0 && !afterLast && !ahead) {
                if (fetchRow()) {
                    // Not current yet: the getters refuse it until next().
                    ahead = true;
                    aheadCached = rowCached;
                    rowCached = false;
                }
            }
            return row == 0 && !afterLast;
        } finally {
            unlock();
        }
    }

    @Override
    public boolean isAfterLast() throws SQLException {
        if (closed) throw JdbcOdbcErrors.closed("The result set");
        return afterLast && row > 0;
    }

    @Override
    public boolean isFirst() throws SQLException {
        if (closed) throw JdbcOdbcErrors.closed("The result set");
        return row == 1 && !afterLast;
    }

    @Override
    public boolean isLast() throws SQLException {
        throw JdbcOdbcErrors.notSupported("isLast on a forward-only result set");
    }

    @Override
    public int getRow() throws SQLException {
        if (closed) throw JdbcOdbcErrors.closed("The result set");
        return afterLast ? 0 : (int) Math.min(Integer.MAX_VALUE, row);
    }

    private SQLException forwardOnly() {
        return new SQLException("The result set is forward-only", "24000");
    }

    @Override
    public void beforeFirst() throws SQLException {
        throw forwardOnly();
    }

    @Override
    public void afterLast() throws SQLException {
        throw forwardOnly();
    }

    @Override
    public boolean first() throws SQLException {
        throw forwardOnly();
    }

    @Override
    public boolean last() throws SQLException {
        throw forwardOnly();
    }

    @Override
    public boolean absolute(int row) throws SQLException {
        throw forwardOnly();
    }

    @Override
    public boolean relative(int rows) throws SQLException {
        throw forwardOnly();
    }

    @Override
    public boolean previous() throws SQLException {
        throw forwardOnly();
    }

    @Override
    public void setFetchDirection(int direction) throws SQLException {
        if (direction != FETCH_FORWARD) throw JdbcOdbcErrors.notSupported("Fetching other than forward");
    }

    @Override
    public int getFetchDirection() {
        return FETCH_FORWARD;
    }

    @Override
    public void setFetchSize(int rows) throws SQLException {
        if (rows < 0) throw JdbcOdbcErrors.of("Negative fetch size", "HY024");
        fetchSize = rows;
    }

    /** The hint set on the result set, else its statement's (kept, not passed on: see the statement). */
    @Override
    public int getFetchSize() {
        return fetchSize;
    }

    @Override
    public int getType() {
        return TYPE_FORWARD_ONLY;
    }

    @Override
    public int getConcurrency() {
        return CONCUR_READ_ONLY;
    }

    @Override
    public int getHoldability() {
        return CLOSE_CURSORS_AT_COMMIT;
    }

    @Override
    public boolean rowUpdated() {
        return false;
    }

    @Override
    public boolean rowInserted() {
        return false;
    }

    @Override
    public boolean rowDeleted() {
        return false;
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
