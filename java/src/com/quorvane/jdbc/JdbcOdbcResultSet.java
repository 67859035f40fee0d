package com.quorvane.jdbc;

import java.io.ByteArrayInputStream;
import java.io.InputStream;
import java.io.Reader;
import java.io.StringReader;
import java.lang.ref.Cleaner;
import java.math.BigDecimal;
import java.math.BigInteger;
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
import java.sql.SQLFeatureNotSupportedException;
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
import java.time.OffsetDateTime;
import java.time.OffsetTime;
import java.time.ZoneId;
import java.time.ZoneOffset;
import java.time.ZonedDateTime;
import java.util.Calendar;
import java.util.HashMap;
import java.util.Locale;
import java.util.Map;
import java.util.UUID;

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
public class JdbcOdbcResultSet implements JdbcOdbcReadOnlyResultSet {
    // Column readers.
    static final int K_SHORT = 1, K_INT = 2, K_LONG = 3, K_FLOAT = 4, K_DOUBLE = 5, K_DECIMAL = 6, K_TEXT = 7,
            K_BINARY = 8, K_DATE = 9, K_TIME = 10, K_TIMESTAMP = 11, K_TIMESTAMP_UTC = 12, K_TIMESTAMP_TZ = 13,
            K_BOOLEAN_TEXT = 14, K_TIME_TEXT = 15,
            // A BIT(1) column (a small integer named bit): a boolean. A BIT(n)
            // column is K_BINARY and reads as a number too (its bits).
            K_BIT = 16;
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
    /** Binary columns that hold bits (BIT(n)): also read as a number, big-endian; null when none. */
    boolean[] bits;
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
    private boolean wasNull;
    private volatile boolean closed;
    private SQLWarning warnings;
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
        this.cols = new JdbcOdbcBoundCol[numCols];
        for (int i = 0; i < numCols; i++) cols[i] = new JdbcOdbcBoundCol();
        this.held = new Object[numCols];
        this.heldRow = new long[numCols];
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
        boolean[] bits = null;
        for (int i = 0; i < n; i++) {
            kinds[i] = kind(sqlTypes[i], driverTypes[i], cTypes[i]);
            if (kinds[i] == K_TEXT && (sqlTypes[i] == Odbc.CHAR || sqlTypes[i] == Odbc.VARCHAR
                    || sqlTypes[i] == Odbc.WCHAR || sqlTypes[i] == Odbc.WVARCHAR) && lengths[i] <= 16) {
                // psqlODBC describes booleans as short text; the type name tells them.
                String name = attributeString(odbc, h, i + 1, Odbc.COL_TYPE_NAME);
                if ("bool".equalsIgnoreCase(name) || "boolean".equalsIgnoreCase(name)) kinds[i] = K_BOOLEAN_TEXT;
            } else if ((kinds[i] == K_SHORT && sqlTypes[i] == Odbc.TINYINT) || kinds[i] == K_BINARY) {
                // MariaDB's BIT: one bit is a boolean, more are their bits.
                if ("bit".equalsIgnoreCase(attributeString(odbc, h, i + 1, Odbc.COL_TYPE_NAME))) {
                    if (kinds[i] == K_SHORT) kinds[i] = K_BIT;
                    else bits = bits == null ? new boolean[n] : bits;
                    if (bits != null && kinds[i] == K_BINARY) bits[i] = true;
                }
            }
        }
        JdbcOdbcResultSet rs = new JdbcOdbcResultSet(stmt, n, bc, sqlTypes, driverTypes, lengths, cTypes, kinds);
        rs.bits = bits;
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
        case Odbc.C_SBIGINT: return K_LONG;
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

    /**
     * The kind of a column whose value the current row holds in its column
     * object, or 0 when the getter must take the locked path (no row cached,
     * the result set closed, the column out of range). A cached value is
     * read without the statement's lock: no native call and no native memory
     * is involved, only the Java fields that the fetch filled.
     */
    private int cachedKind(int column) {
        if (!rowCached || column < 1 || column > numCols || isClosed()) return 0;
        return kinds[column - 1];
    }

    /** Marks the result set closed and closes its cursor; under the statement's lock. */
    void markClosed(boolean discard) {
        if (closed) return;
        closed = true;
        rowCached = false;
        state.closeCursorOf(cursorId, discard);
        cleanable.clean();
    }

    @Override
    public boolean next() throws SQLException {
        lock();
        try {
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
        int rc = odbc.fetch(state.hStmt, boundCols, cols, numCols);
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
        return closed || !state.cursorOpen || state.cursorId != cursorId || state.hStmt == 0;
    }

    @Override
    public boolean wasNull() throws SQLException {
        if (isClosed()) throw JdbcOdbcErrors.closed("The result set");
        return wasNull;
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

    private int cachedOrShort(int i) throws SQLException {
        if (rowCached) {
            JdbcOdbcBoundCol c = cols[i];
            wasNull = c.cachedNull;
            return wasNull ? 0 : c.cachedShort;
        }
        short v = odbc.getShort(boundCols, ec, i + 1);
        wasNull = nullOrFail(i);
        return v;
    }

    private int cachedOrInt(int i) throws SQLException {
        if (rowCached) {
            JdbcOdbcBoundCol c = cols[i];
            wasNull = c.cachedNull;
            return wasNull ? 0 : c.cachedInt;
        }
        int v = odbc.getInteger(boundCols, ec, i + 1);
        wasNull = nullOrFail(i);
        return v;
    }

    private long cachedOrLong(int i) throws SQLException {
        if (rowCached) {
            JdbcOdbcBoundCol c = cols[i];
            wasNull = c.cachedNull;
            return wasNull ? 0 : c.cachedLong;
        }
        long v = odbc.getLong(boundCols, ec, i + 1);
        wasNull = nullOrFail(i);
        return v;
    }

    private float cachedOrFloat(int i) throws SQLException {
        if (rowCached) {
            JdbcOdbcBoundCol c = cols[i];
            wasNull = c.cachedNull;
            return wasNull ? 0 : c.cachedReal;
        }
        float v = odbc.getFloat(boundCols, ec, i + 1);
        wasNull = nullOrFail(i);
        return v;
    }

    private double cachedOrDouble(int i) throws SQLException {
        if (rowCached) {
            JdbcOdbcBoundCol c = cols[i];
            wasNull = c.cachedNull;
            return wasNull ? 0 : c.cachedDouble;
        }
        double v = odbc.getDouble(boundCols, ec, i + 1);
        wasNull = nullOrFail(i);
        return v;
    }

    /** The text of a character column (bound C type wide characters). */
    private String wideText(int i) throws SQLException {
        if (heldNow(i)) return heldValue(i, String.class);
        if (rowCached && cols[i].cachedNull) {
            wasNull = true;
            return null;
        }
        rv.obj = null;
        rv.err1 = 0;
        odbc.getString(boundCols, i + 1, rv, Odbc.C_WCHAR);
        if (rv.err1 == Odbc.ST_NULL) {
            wasNull = true;
            return null;
        }
        if (rv.err1 == 0 && rv.obj != null) {
            wasNull = false;
            return (String) rv.obj;
        }
        // Longer than the bound buffer: read it whole.
        String s = (String) readLong(i, Odbc.C_WCHAR);
        wasNull = s == null;
        return (String) hold(i, s);
    }

    /** The text of a decimal column (bound as 8-bit text). */
    private String narrowText(int i) throws SQLException {
        if (heldNow(i)) return heldValue(i, String.class);
        if (rowCached && cols[i].cachedNull) {
            wasNull = true;
            return null;
        }
        rv.obj = null;
        rv.err1 = 0;
        odbc.getString(boundCols, i + 1, rv, Odbc.C_CHAR);
        if (rv.err1 == Odbc.ST_NULL) {
            wasNull = true;
            return null;
        }
        if (rv.err1 == 0 && rv.obj != null) {
            wasNull = false;
            return ((String) rv.obj).trim();
        }
        String s = (String) readLong(i, Odbc.C_CHAR);
        wasNull = s == null;
        return (String) hold(i, s == null ? null : s.trim());
    }

    private <T> T heldValue(int i, Class<T> type) throws SQLException {
        Object v = held[i];
        if (v == STREAMED) {
            throw JdbcOdbcErrors.of("Column " + (i + 1) + " of this row was read as a stream", "HY010");
        }
        wasNull = v == NULL;
        return wasNull ? null : type.cast(v);
    }

    /** The bytes of a binary column. */
    private byte[] binary(int i) throws SQLException {
        if (heldNow(i)) return heldValue(i, byte[].class);
        if (rowCached && cols[i].cachedNull) {
            wasNull = true;
            return null;
        }
        int len = odbc.getDataLength(boundCols, ec, i + 1);
        if (len == -1) {
            wasNull = true;
            return null;
        }
        if (len >= 0 && len <= lengths[i]) {
            byte[] b = new byte[len];
            odbc.getBytes(boundCols, b, ec, i + 1);
            if (ec[1] == 0) {
                wasNull = false;
                return b;
            }
            if (ec[1] == Odbc.ST_NULL) {
                wasNull = true;
                return null;
            }
        }
        byte[] b = (byte[]) readLong(i, Odbc.C_BINARY);
        wasNull = b == null;
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
        if (wasNull = nullOrFail(i)) return null;
        try {
            return LocalDate.of(fields[0], fields[1], fields[2]);
        } catch (DateTimeException e) {
            throw JdbcOdbcErrors.exception("Column " + (i + 1) + " holds no valid date", "22007", 0, e);
        }
    }

    private LocalTime time(int i) throws SQLException {
        odbc.getTime(boundCols, ec, i + 1, fields);
        if (wasNull = nullOrFail(i)) return null;
        try {
            return LocalTime.of(fields[0], fields[1], fields[2]);
        } catch (DateTimeException e) {
            throw JdbcOdbcErrors.exception("Column " + (i + 1) + " holds no valid time", "22007", 0, e);
        }
    }

    /** A time read as its text, with the fraction of a second the time structure has no room for. */
    private LocalTime timeFromText(int i) throws SQLException {
        String s = narrowText(i);
        if (s == null) return null;
        int end = s.length();
        for (int k = 5; k < end; k++) {
            char ch = s.charAt(k);
            if (ch == '+' || ch == '-') end = k;  // the offset of a time with time zone
        }
        try {
            return LocalTime.parse(end == s.length() ? s : s.substring(0, end));
        } catch (DateTimeException e) {
            throw JdbcOdbcErrors.exception("Column " + (i + 1) + " holds no valid time: " + s, "22007", 0, e);
        }
    }

    /** A java.sql.Time of a time of day, with its milliseconds. */
    static Time sqlTime(LocalTime t) {
        Time r = Time.valueOf(t);
        return t.getNano() < 1_000_000 ? r : new Time(r.getTime() + t.getNano() / 1_000_000);
    }

    private LocalDateTime timestamp(int i) throws SQLException {
        odbc.getTimestamp(boundCols, ec, i + 1, fields);
        if (wasNull = nullOrFail(i)) return null;
        try {
            return LocalDateTime.of(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]);
        } catch (DateTimeException e) {
            throw JdbcOdbcErrors.exception("Column " + (i + 1) + " holds no valid timestamp", "22007", 0, e);
        }
    }

    /** The instant of a timestamp in the driver's 8-byte form (microseconds since 1970 UTC). */
    private Instant instant(int i) throws SQLException {
        long micros = odbc.getTimestampRaw(boundCols, ec, i + 1);
        if (wasNull = nullOrFail(i)) return null;
        return Instant.ofEpochSecond(Math.floorDiv(micros, 1_000_000L), Math.floorMod(micros, 1_000_000L) * 1000L);
    }

    // ---------------------------------------------------------------- values by kind

    /** The column's value as the Java type its kind gives (or null); under the lock. */
    private Object value(int i) throws SQLException {
        switch (kinds[i]) {
        case K_SHORT: {
            int v = cachedOrShort(i);
            return wasNull ? null : Integer.valueOf(v);
        }
        case K_BIT: {
            int v = cachedOrShort(i);
            return wasNull ? null : Boolean.valueOf(v != 0);
        }
        case K_INT: {
            int v = cachedOrInt(i);
            return wasNull ? null : Integer.valueOf(v);
        }
        case K_LONG: {
            long v = cachedOrLong(i);
            return wasNull ? null : Long.valueOf(v);
        }
        case K_FLOAT: {
            float v = cachedOrFloat(i);
            return wasNull ? null : Float.valueOf(v);
        }
        case K_DOUBLE: {
            double v = cachedOrDouble(i);
            return wasNull ? null : Double.valueOf(v);
        }
        case K_DECIMAL:
            return decimal(i);
        case K_TEXT:
            return wideText(i);
        case K_BOOLEAN_TEXT: {
            String s = wideText(i);
            return s == null ? null : Boolean.valueOf(parseBoolean(i, s));
        }
        case K_BINARY:
            return binary(i);
        case K_DATE:
            return date(i);
        case K_TIME:
            return time(i);
        case K_TIME_TEXT:
            return timeFromText(i);
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

    private BigDecimal decimal(int i) throws SQLException {
        String s = narrowText(i);
        if (s == null) return null;
        try {
            return new BigDecimal(s);
        } catch (NumberFormatException e) {
            throw JdbcOdbcErrors.exception("Column " + (i + 1) + " holds no decimal number: " + s, "22018", 0, e);
        }
    }

    private boolean parseBoolean(int i, String s) throws SQLException {
        String t = s.trim().toLowerCase(Locale.ROOT);
        switch (t) {
        case "1": case "t": case "true": case "y": case "yes": case "on":
            return true;
        case "0": case "f": case "false": case "n": case "no": case "off":
            return false;
        default:
            try {
                return new BigDecimal(t).signum() != 0;
            } catch (NumberFormatException e) {
                throw conversion(i, "a boolean");
            }
        }
    }

    private BigDecimal toDecimal(int i, Object v) throws SQLException {
        if (v instanceof BigDecimal) return (BigDecimal) v;
        if (v instanceof Integer || v instanceof Long || v instanceof Short) return BigDecimal.valueOf(((Number) v).longValue());
        if (v instanceof Float || v instanceof Double) {
            double d = ((Number) v).doubleValue();
            if (Double.isNaN(d) || Double.isInfinite(d)) throw conversion(i, "a decimal number");
            return new BigDecimal(v.toString());
        }
        if (v instanceof Boolean) return (Boolean) v ? BigDecimal.ONE : BigDecimal.ZERO;
        if (v instanceof String) {
            try {
                return new BigDecimal(((String) v).trim());
            } catch (NumberFormatException e) {
                throw conversion(i, "a number");
            }
        }
        throw conversion(i, "a number");
    }

    private long toLong(int i, Object v, long min, long max, String what) throws SQLException {
        long r;
        if (v instanceof Integer || v instanceof Long || v instanceof Short) {
            r = ((Number) v).longValue();
        } else if (v instanceof byte[] && bits != null && bits[i] && ((byte[]) v).length <= 8) {
            r = 0;
            for (byte b : (byte[]) v) r = (r << 8) | (b & 0xFF);
            if (max == Long.MAX_VALUE) return r;  // all 64 bits, as they are
        } else if (v instanceof Boolean) {
            r = (Boolean) v ? 1 : 0;
        } else {
            BigDecimal d = toDecimal(i, v).setScale(0, RoundingMode.DOWN);
            if (d.compareTo(BigDecimal.valueOf(min)) < 0 || d.compareTo(BigDecimal.valueOf(max)) > 0) {
                throw JdbcOdbcErrors.of("Column " + (i + 1) + " holds " + v + ", out of range for " + what, "22003");
            }
            return d.longValue();
        }
        if (r < min || r > max) {
            throw JdbcOdbcErrors.of("Column " + (i + 1) + " holds " + v + ", out of range for " + what, "22003");
        }
        return r;
    }

    private String toText(int i, Object v) {
        if (v instanceof String) return (String) v;
        if (v instanceof BigDecimal) return ((BigDecimal) v).toPlainString();
        if (v instanceof byte[]) return hex((byte[]) v);
        if (v instanceof LocalDateTime) return timestampText((LocalDateTime) v);
        if (v instanceof Instant) return timestampText(LocalDateTime.ofInstant((Instant) v, ZoneOffset.UTC)) + "+00";
        if (v instanceof LocalTime) {
            LocalTime t = (LocalTime) v;
            return t.getNano() == 0 && t.getSecond() == 0 ? t.toString() + ":00" : t.toString();
        }
        return String.valueOf(v);
    }

    private static String timestampText(LocalDateTime t) {
        String s = String.format(Locale.ROOT, "%04d-%02d-%02d %02d:%02d:%02d", t.getYear(), t.getMonthValue(),
                t.getDayOfMonth(), t.getHour(), t.getMinute(), t.getSecond());
        if (t.getNano() == 0) return s;
        String f = String.format(Locale.ROOT, "%09d", t.getNano());
        int end = f.length();
        while (f.charAt(end - 1) == '0') end--;
        return s + "." + f.substring(0, end);
    }

    private static String hex(byte[] b) {
        char[] d = "0123456789ABCDEF".toCharArray();
        char[] c = new char[b.length * 2];
        for (int k = 0; k < b.length; k++) {
            c[2 * k] = d[(b[k] >> 4) & 15];
            c[2 * k + 1] = d[b[k] & 15];
        }
        return new String(c);
    }

    private LocalDateTime toLocalDateTime(int i, Object v) throws SQLException {
        if (v instanceof LocalDateTime) return (LocalDateTime) v;
        if (v instanceof LocalDate) return ((LocalDate) v).atStartOfDay();
        if (v instanceof Instant) return LocalDateTime.ofInstant((Instant) v, ZoneId.systemDefault());
        if (v instanceof String) {
            String s = ((String) v).trim().replace('T', ' ');
            try {
                if (s.length() == 10) return LocalDate.parse(s).atStartOfDay();
                return Timestamp.valueOf(s).toLocalDateTime();
            } catch (IllegalArgumentException | DateTimeException e) {
                throw conversion(i, "a timestamp");
            }
        }
        throw conversion(i, "a timestamp");
    }

    private LocalDate toLocalDate(int i, Object v) throws SQLException {
        if (v instanceof LocalDate) return (LocalDate) v;
        if (v instanceof LocalDateTime) return ((LocalDateTime) v).toLocalDate();
        if (v instanceof Instant) return LocalDateTime.ofInstant((Instant) v, ZoneId.systemDefault()).toLocalDate();
        if (v instanceof String) {
            String s = ((String) v).trim();
            try {
                return LocalDate.parse(s.length() > 10 ? s.substring(0, 10) : s);
            } catch (DateTimeException e) {
                throw conversion(i, "a date");
            }
        }
        throw conversion(i, "a date");
    }

    private LocalTime toLocalTime(int i, Object v) throws SQLException {
        if (v instanceof LocalTime) return (LocalTime) v;
        if (v instanceof LocalDateTime) return ((LocalDateTime) v).toLocalTime();
        if (v instanceof Instant) return LocalDateTime.ofInstant((Instant) v, ZoneId.systemDefault()).toLocalTime();
        if (v instanceof String) {
            String s = ((String) v).trim();
            try {
                if (s.length() > 10 && s.charAt(4) == '-') s = s.substring(11);
                return LocalTime.parse(s);
            } catch (DateTimeException e) {
                throw conversion(i, "a time");
            }
        }
        throw conversion(i, "a time");
    }

    // ---------------------------------------------------------------- getters by index

    @Override
    public String getString(int column) throws SQLException {
        int i = at(column);
        try {
            switch (kinds[i]) {
            case K_TEXT:
                return wideText(i);
            case K_DECIMAL:
            case K_TIME_TEXT:  // the data source's own text of the time
                return narrowText(i);
            case K_BOOLEAN_TEXT: {
                String s = wideText(i);
                return s == null ? null : (parseBoolean(i, s) ? "t" : "f");
            }
            case K_BIT: {
                int v = cachedOrShort(i);
                return wasNull ? null : v != 0 ? "1" : "0";
            }
            case K_BINARY: {
                if (bits != null && bits[i]) {
                    // A BIT(n) column's text is the number its bits make, as MariaDB prints it.
                    Object v = value(i);
                    return v == null ? null : Long.toUnsignedString(toLong(i, v, Long.MIN_VALUE, Long.MAX_VALUE, "long"));
                }
                Object b = value(i);
                return b == null ? null : toText(i, b);
            }
            default: {
                Object v = value(i);
                return v == null ? null : toText(i, v);
            }
            }
        } finally {
            unlock();
        }
    }

    @Override
    public boolean getBoolean(int column) throws SQLException {
        int i = at(column);
        try {
            Object v = value(i);
            if (v == null) return false;
            if (v instanceof Boolean) return (Boolean) v;
            if (v instanceof String) return parseBoolean(i, (String) v);
            if (v instanceof Number) return toDecimal(i, v).signum() != 0;
            throw conversion(i, "a boolean");
        } finally {
            unlock();
        }
    }

    @Override
    public byte getByte(int column) throws SQLException {
        int i = at(column);
        try {
            Object v = value(i);
            return v == null ? 0 : (byte) toLong(i, v, Byte.MIN_VALUE, Byte.MAX_VALUE, "byte");
        } finally {
            unlock();
        }
    }

    @Override
    public short getShort(int column) throws SQLException {
        if (cachedKind(column) == K_SHORT) {
            JdbcOdbcBoundCol c = cols[column - 1];
            return (wasNull = c.cachedNull) ? 0 : c.cachedShort;
        }
        int i = at(column);
        try {
            if (kinds[i] == K_SHORT) return (short) cachedOrShort(i);
            Object v = value(i);
            return v == null ? 0 : (short) toLong(i, v, Short.MIN_VALUE, Short.MAX_VALUE, "short");
        } finally {
            unlock();
        }
    }

    @Override
    public int getInt(int column) throws SQLException {
        int k = cachedKind(column);
        if (k == K_INT || k == K_SHORT) {
            JdbcOdbcBoundCol c = cols[column - 1];
            if (wasNull = c.cachedNull) return 0;
            return k == K_INT ? c.cachedInt : c.cachedShort;
        }
        int i = at(column);
        try {
            switch (kinds[i]) {
            case K_INT:
                return cachedOrInt(i);
            case K_SHORT:
                return cachedOrShort(i);
            default: {
                Object v = value(i);
                return v == null ? 0 : (int) toLong(i, v, Integer.MIN_VALUE, Integer.MAX_VALUE, "int");
            }
            }
        } finally {
            unlock();
        }
    }

    @Override
    public long getLong(int column) throws SQLException {
        int k = cachedKind(column);
        if (k == K_LONG || k == K_INT || k == K_SHORT) {
            JdbcOdbcBoundCol c = cols[column - 1];
            if (wasNull = c.cachedNull) return 0;
            return k == K_LONG ? c.cachedLong : k == K_INT ? c.cachedInt : c.cachedShort;
        }
        int i = at(column);
        try {
            switch (kinds[i]) {
            case K_LONG:
                return cachedOrLong(i);
            case K_INT:
                return cachedOrInt(i);
            case K_SHORT:
                return cachedOrShort(i);
            default: {
                Object v = value(i);
                return v == null ? 0 : toLong(i, v, Long.MIN_VALUE, Long.MAX_VALUE, "long");
            }
            }
        } finally {
            unlock();
        }
    }

    @Override
    public float getFloat(int column) throws SQLException {
        int k = cachedKind(column);
        if (k == K_FLOAT || k == K_DOUBLE) {
            JdbcOdbcBoundCol c = cols[column - 1];
            if (wasNull = c.cachedNull) return 0;
            return k == K_FLOAT ? c.cachedReal : (float) c.cachedDouble;
        }
        int i = at(column);
        try {
            if (kinds[i] == K_FLOAT) return cachedOrFloat(i);
            if (kinds[i] == K_DOUBLE) return (float) cachedOrDouble(i);
            Object v = value(i);
            if (v == null) return 0;
            if (v instanceof String) {
                try {
                    return Float.parseFloat(((String) v).trim());
                } catch (NumberFormatException e) {
                    throw conversion(i, "a float");
                }
            }
            return v instanceof Number ? ((Number) v).floatValue() : toDecimal(i, v).floatValue();
        } finally {
            unlock();
        }
    }

    @Override
    public double getDouble(int column) throws SQLException {
        int k = cachedKind(column);
        if (k == K_DOUBLE || k == K_FLOAT) {
            JdbcOdbcBoundCol c = cols[column - 1];
            if (wasNull = c.cachedNull) return 0;
            return k == K_DOUBLE ? c.cachedDouble : c.cachedReal;
        }
        int i = at(column);
        try {
            if (kinds[i] == K_DOUBLE) return cachedOrDouble(i);
            if (kinds[i] == K_FLOAT) return cachedOrFloat(i);
            Object v = value(i);
            if (v == null) return 0;
            if (v instanceof String) {
                try {
                    return Double.parseDouble(((String) v).trim());
                } catch (NumberFormatException e) {
                    throw conversion(i, "a double");
                }
            }
            return v instanceof Number ? ((Number) v).doubleValue() : toDecimal(i, v).doubleValue();
        } finally {
            unlock();
        }
    }

    @Override
    public BigDecimal getBigDecimal(int column) throws SQLException {
        int i = at(column);
        try {
            Object v = value(i);
            return v == null ? null : toDecimal(i, v);
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
            if (kinds[i] == K_BINARY) return binary(i);
            Object v = value(i);
            if (v == null) return null;
            if (v instanceof String) return ((String) v).getBytes(StandardCharsets.UTF_8);
            throw conversion(i, "bytes");
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
            Object v = value(i);
            if (v == null) return null;
            if (v instanceof Instant) {
                ZoneId z = cal == null ? ZoneId.systemDefault() : cal.getTimeZone().toZoneId();
                return new Date(((Instant) v).atZone(z).toLocalDate().atStartOfDay(z).toInstant().toEpochMilli());
            }
            LocalDate d = toLocalDate(i, v);
            if (cal == null) return Date.valueOf(d);
            return new Date(d.atStartOfDay(cal.getTimeZone().toZoneId()).toInstant().toEpochMilli());
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
            Object v = value(i);
            if (v == null) return null;
            LocalTime t = v instanceof Instant ? LocalDateTime.ofInstant((Instant) v,
                    cal == null ? ZoneId.systemDefault() : cal.getTimeZone().toZoneId()).toLocalTime()
                    : toLocalTime(i, v);
            if (cal == null) return sqlTime(t);
            ZoneId z = cal.getTimeZone().toZoneId();
            return new Time(t.atDate(LocalDate.of(1970, 1, 1)).atZone(z).toInstant().toEpochMilli());
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
            Object v = value(i);
            if (v == null) return null;
            if (v instanceof Instant) return Timestamp.from((Instant) v);
            LocalDateTime t = toLocalDateTime(i, v);
            if (cal == null) return Timestamp.valueOf(t);
            Timestamp r = Timestamp.from(t.atZone(cal.getTimeZone().toZoneId()).toInstant());
            return r;
        } finally {
            unlock();
        }
    }

    @Override
    public Object getObject(int column) throws SQLException {
        int i = at(column);
        try {
            Object v = value(i);
            if (v == null) return null;
            switch (kinds[i]) {
            case K_DATE:
                return Date.valueOf((LocalDate) v);
            case K_TIME:
            case K_TIME_TEXT:
                return sqlTime((LocalTime) v);
            case K_TIMESTAMP:
            case K_TIMESTAMP_UTC:
                return Timestamp.valueOf((LocalDateTime) v);
            case K_TIMESTAMP_TZ:
                return Timestamp.from((Instant) v);
            case K_SHORT:
                return v;
            default:
                return v;
            }
        } finally {
            unlock();
        }
    }

    @Override
    public <T> T getObject(int column, Class<T> type) throws SQLException {
        if (type == null) throw JdbcOdbcErrors.of("No type given", "HY009");
        int i = at(column);
        Object v;
        try {
            v = value(i);
            if (v == null) {
                if (type.isPrimitive()) throw conversion(i, "a null " + type.getName());
                return null;
            }
            return type.cast(convert(i, v, type));
        } finally {
            unlock();
        }
    }

    private Object convert(int i, Object v, Class<?> type) throws SQLException {
        if (type == String.class) return toText(i, v);
        if (type == Integer.class || type == int.class) return (int) toLong(i, v, Integer.MIN_VALUE, Integer.MAX_VALUE, "int");
        if (type == Long.class || type == long.class) return toLong(i, v, Long.MIN_VALUE, Long.MAX_VALUE, "long");
        if (type == Short.class || type == short.class) return (short) toLong(i, v, Short.MIN_VALUE, Short.MAX_VALUE, "short");
        if (type == Byte.class || type == byte.class) return (byte) toLong(i, v, Byte.MIN_VALUE, Byte.MAX_VALUE, "byte");
        if (type == Double.class || type == double.class) {
            return v instanceof Number ? ((Number) v).doubleValue() : toDecimal(i, v).doubleValue();
        }
        if (type == Float.class || type == float.class) {
            return v instanceof Number ? ((Number) v).floatValue() : toDecimal(i, v).floatValue();
        }
        if (type == Boolean.class || type == boolean.class) {
            if (v instanceof Boolean) return v;
            if (v instanceof String) return parseBoolean(i, (String) v);
            return toDecimal(i, v).signum() != 0;
        }
        if (type == BigDecimal.class) return toDecimal(i, v);
        if (type == BigInteger.class) return toDecimal(i, v).toBigInteger();
        if (type == byte[].class) {
            if (v instanceof byte[]) return v;
            if (v instanceof String) return ((String) v).getBytes(StandardCharsets.UTF_8);
            throw conversion(i, "bytes");
        }
        if (type == LocalDate.class) return toLocalDate(i, v);
        if (type == LocalTime.class) return toLocalTime(i, v);
        // An instant as the wall time in the JVM's zone, as getTimestamp renders it.
        if (type == LocalDateTime.class) return toLocalDateTime(i, v);
        if (type == OffsetDateTime.class) {
            if (v instanceof Instant) return ((Instant) v).atOffset(ZoneOffset.UTC);
            if (kinds[i] == K_TIMESTAMP_UTC) return toLocalDateTime(i, v).atOffset(ZoneOffset.UTC);
            return toLocalDateTime(i, v).atZone(ZoneId.systemDefault()).toOffsetDateTime();
        }
        if (type == ZonedDateTime.class) {
            if (v instanceof Instant) return ((Instant) v).atZone(ZoneOffset.UTC);
            return toLocalDateTime(i, v).atZone(ZoneId.systemDefault());
        }
        if (type == Instant.class) {
            if (v instanceof Instant) return v;
            if (kinds[i] == K_TIMESTAMP_UTC) return toLocalDateTime(i, v).toInstant(ZoneOffset.UTC);
            return toLocalDateTime(i, v).atZone(ZoneId.systemDefault()).toInstant();
        }
        if (type == OffsetTime.class) return toLocalTime(i, v).atOffset(ZoneOffset.UTC);
        if (type == Date.class) return Date.valueOf(toLocalDate(i, v));
        if (type == Time.class) return sqlTime(toLocalTime(i, v));
        if (type == Timestamp.class) {
            if (v instanceof Instant) return Timestamp.from((Instant) v);
            return Timestamp.valueOf(toLocalDateTime(i, v));
        }
        if (type == java.util.Date.class) {
            if (v instanceof Instant) return Timestamp.from((Instant) v);
            return Timestamp.valueOf(toLocalDateTime(i, v));
        }
        if (type == UUID.class) {
            try {
                return UUID.fromString(toText(i, v).trim());
            } catch (IllegalArgumentException e) {
                throw conversion(i, "a UUID");
            }
        }
        if (type == Object.class) return v;
        if (type.isInstance(v)) return v;
        throw new SQLFeatureNotSupportedException("Column " + (i + 1) + " cannot be read as " + type.getName(),
                "HYC00");
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
            if (kinds[i] == K_TEXT && !heldNow(i) && !(rowCached && cols[i].cachedNull)) {
                rv.obj = null;
                rv.err1 = 0;
                odbc.getString(boundCols, i + 1, rv, Odbc.C_WCHAR);
                if (rv.err1 != Odbc.ST_NULL && !(rv.err1 == 0 && rv.obj != null)) {
                    // Longer than its bound buffer: read piece by piece as the stream is read.
                    wasNull = false;
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
        throw JdbcOdbcErrors.notSupported("getUnicodeStream");
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
            if (kinds[i] == K_BINARY && !heldNow(i) && !(rowCached && cols[i].cachedNull)) {
                int len = odbc.getDataLength(boundCols, ec, i + 1);
                if (len != -1 && (len < 0 || len > lengths[i])) {
                    wasNull = false;
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
            if (kinds[i] == K_TEXT && !heldNow(i) && !(rowCached && cols[i].cachedNull)) {
                rv.obj = null;
                rv.err1 = 0;
                odbc.getString(boundCols, i + 1, rv, Odbc.C_WCHAR);
                if (rv.err1 == Odbc.ST_NULL) {
                    wasNull = true;
                    return null;
                }
                wasNull = false;
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
        throw JdbcOdbcErrors.notSupported("Array values");
    }

    @Override
    public RowId getRowId(int column) throws SQLException {
        throw JdbcOdbcErrors.notSupported("RowId values");
    }

    @Override
    public SQLXML getSQLXML(int column) throws SQLException {
        throw JdbcOdbcErrors.notSupported("SQLXML values");
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
        throw JdbcOdbcErrors.notSupported("getUnicodeStream");
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
