package com.quorvane.jdbc;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.Reader;
import java.math.BigDecimal;
import java.math.BigInteger;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.sql.Array;
import java.sql.Blob;
import java.sql.Clob;
import java.sql.Date;
import java.sql.NClob;
import java.sql.ParameterMetaData;
import java.sql.PreparedStatement;
import java.sql.Ref;
import java.sql.ResultSet;
import java.sql.ResultSetMetaData;
import java.sql.RowId;
import java.sql.SQLException;
import java.sql.SQLType;
import java.sql.SQLXML;
import java.sql.Time;
import java.sql.Timestamp;
import java.sql.Types;
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
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Calendar;

/**
 * A prepared statement: prepared once, its parameters described and bound
 * once ({@code bindAllParams}); every setter then writes its value into the
 * bound storage through the natives' fast paths, rebinding only when the
 * value's type or size needs it. Streams and readers are sent as data at
 * execution. A batch runs as one execution with parameter arrays; while
 * one is being built (from the first {@code addBatch} until
 * {@code executeBatch} or {@code clearBatch}) the setters only record their
 * values in Java, which reach the natives as the batch's arrays, or at the
 * next single execution.
 *
 * <p>A timestamp parameter is a wall-clock time and the offset from UTC of
 * the zone it is read in: a {@link Timestamp} or {@link LocalDateTime} in the
 * JVM's zone (or a {@link Calendar}'s), an {@link OffsetDateTime},
 * {@link ZonedDateTime} or {@link Instant} as its instant's wall time in the
 * JVM's zone. Where the data source describes the parameter as a timestamp,
 * it goes as text with that offset: a column without time zone keeps the
 * wall time, a column with one the instant. Elsewhere it goes in the
 * driver's 8-byte form as the wall time alone.
 */
public class JdbcOdbcPreparedStatement extends JdbcOdbcStatement implements PreparedStatement {
    // What a parameter holds, for the batch columns.
    private static final int V_NULL = 0, V_LONG = 1, V_DOUBLE = 2, V_TEXT = 3, V_BYTES = 4, V_TIMESTAMP = 5,
            V_STREAM = 6;

    final String sql;
    final int numParams;
    /** Per parameter: the SQL type the data source described. */
    final short[] paramSqlTypes;
    final int[] columnSizes;
    /**
     * The data source could not describe the parameters (PostgreSQL: a
     * parameter the text does not type, a function with OUT parameters):
     * each parameter is bound from the value set, and a null keeps the SQL
     * type given to {@code setNull}.
     */
    final boolean untyped;
    /**
     * Per parameter: the value last set (for batches and for checking that
     * every parameter is set) and its kind (V_*, -1 while unset). Integers
     * and a timestamp's microseconds are kept in {@link #longs}, doubles in
     * {@link #doubles}, unboxed; other values (and a timestamp's wall time)
     * in {@link #values}.
     */
    private final Object[] values;
    private final long[] longs;
    private final double[] doubles;
    private final byte[] kinds;
    /** Per parameter: an integer set with setLong, which always travels as 64 bits. */
    private final boolean[] wideLong;
    /** Per parameter: recorded while a batch was being built, not yet in the natives' storage. */
    private final boolean[] unsent;
    private boolean anyUnsent;
    /** The rows added to the batch being built; null when none is. */
    private BatchColumns batch;
    /** With generated keys asked: each batch row's values, for running the rows one by one. */
    private List<Object[]> keyRows;
    private JdbcOdbcParameterMetaData parameterMetaData;
    /** Whether the statement's native side may be kept for the next prepare of its text when it closes. */
    private final boolean reusable;

    /** A statement over a native side kept from an earlier prepare of the same text. */
    JdbcOdbcPreparedStatement(JdbcOdbcConnection conn, ConnectionState.Prepared kept, String sql) {
        super(conn, kept.state);
        this.sql = sql;
        this.reusable = true;
        this.poolable = true;
        // Statements the data source could not describe are never kept.
        this.untyped = false;
        severalStatements = mayHoldSeveral(sql);
        executedSql = sql;
        numParams = kept.state.numParams;
        paramSqlTypes = kept.paramSqlTypes;
        columnSizes = kept.columnSizes;
        values = new Object[numParams];
        longs = new long[numParams];
        doubles = new double[numParams];
        kinds = new byte[numParams];
        wideLong = new boolean[numParams];
        unsent = new boolean[numParams];
        Arrays.fill(kinds, (byte) -1);
    }

    JdbcOdbcPreparedStatement(JdbcOdbcConnection conn, StatementState state, String sql) throws SQLException {
        this(conn, state, sql, false);
    }

    /**
     * Prepares {@code sql} on a new statement handle; {@code reusable} when
     * the handle may be kept at close for the next prepare of the same text.
     */
    JdbcOdbcPreparedStatement(JdbcOdbcConnection conn, StatementState state, String sql, boolean reusable)
            throws SQLException {
        super(conn, state);
        this.sql = sql;
        this.reusable = reusable;
        this.poolable = true;
        severalStatements = mayHoldSeveral(sql);
        executedSql = sql;
        int n;
        state.lock.lock();
        try {
            int h = state.hStmt;
            byte[] ec = state.ec;
            odbc.prepare(h, sql, ec);
            if (!Odbc.succeeded(ec[0])) {
                SQLException e = failure("prepare", false);
                closeQuietly();
                throw e;
            }
            n = odbc.numParams(h, ec);
            if (!Odbc.succeeded(ec[0])) {
                SQLException e = failure("describing the parameters", false);
                closeQuietly();
                throw e;
            }
            paramSqlTypes = new short[n];
            columnSizes = new int[n];
            short[] driverTypes = new short[n];
            ec[0] = 0;
            ec[1] = 0;
            int params = odbc.bindAllParams(h, paramSqlTypes, driverTypes, columnSizes, ec, n);
            if (params == 0) {
                SQLException e = ec[1] == Odbc.ST_NO_MEMORY ? JdbcOdbcErrors.of("No memory for the parameters", "HY001")
                        : failure("binding the parameters", false);
                closeQuietly();
                throw e;
            }
            state.params = params;
            state.numParams = n;
            state.conn.live.incrementAndGet();
            // A parameter of a type the natives do not bind up front (a bit, say)
            // is bound by its first setter; other failures are the driver's.
            if (ec[1] != 0 && ec[1] != Odbc.ST_UNUSABLE) {
                SQLException e = JdbcOdbcErrors.of("The parameters could not be bound (code " + ec[1] + ")", "HY001");
                closeQuietly();
                throw e;
            }
            if (ec[1] == 0 && !Odbc.succeeded(ec[0])) JdbcOdbcErrors.records(odbc, 0, 0, h);
            // libruva70 describes such parameters as VARCHAR of size 0 and says
            // so through the type-from-value option; only then is it asked.
            boolean standIn = n > 0 && paramSqlTypes[0] == Odbc.VARCHAR && columnSizes[0] == 0;
            untyped = standIn && odbc.getStmtOption(h, Odbc.STMT_TYPE_FROM_VALUE, ec) == 1 && Odbc.succeeded(ec[0]);
        } finally {
            state.lock.unlock();
        }
        numParams = n;
        values = new Object[n];
        longs = new long[n];
        doubles = new double[n];
        kinds = new byte[n];
        wideLong = new boolean[n];
        unsent = new boolean[n];
        Arrays.fill(kinds, (byte) -1);
    }

    /**
     * Kept when it is a plain prepared statement prepared again on its
     * connection, poolable, with no statement option set on its handle and
     * no batch or data at execution pending: its cursor is closed and it
     * waits, prepared and bound, for the next prepare of its text (no
     * round trip to prepare, describe or release it again).
     */
    @Override
    boolean keepForReuse() {
        if (!reusable || untyped || !poolable || optionsSet || batch != null || state.hStmt == 0 || state.params == 0
                || getClass() != JdbcOdbcPreparedStatement.class) {
            return false;
        }
        state.closeCursor(true);
        state.releaseStorage();
        return state.conn.keepPrepared(sql, new ConnectionState.Prepared(state, paramSqlTypes, columnSizes));
    }

    private void closeQuietly() {
        try {
            close();
        } catch (SQLException e) {
            // the statement is given up
        }
    }

    /** Locks and checks the parameter number; returns the statement handle. */
    private int param(int index) throws SQLException {
        lock();
        if (index < 1 || index > numParams) {
            unlock();
            throw badIndex(index);
        }
        return state.hStmt;
    }

    private void setStatus(int index, int status) throws SQLException {
        if (status != 0) {
            throw JdbcOdbcErrors.of("Parameter " + index + " could not be set (code " + (byte) status + ")", "HY000");
        }
    }

    private void checkCode(int index, byte[] ec) throws SQLException {
        if (ec[1] == Odbc.ST_ABOVE_255) {
            throw JdbcOdbcErrors.of("Parameter " + index + " holds a character this parameter cannot take", "22018");
        }
        if (ec[1] == Odbc.ST_NO_MEMORY) throw JdbcOdbcErrors.of("No memory for parameter " + index, "HY001");
        if (ec[1] != 0) throw JdbcOdbcErrors.of("Parameter " + index + " could not be set (code " + ec[1] + ")", "HY000");
        if (ec[0] == Odbc.ERROR || ec[0] == Odbc.INVALID_HANDLE) throw failure("setting parameter " + index, false);
    }

    // ---------------------------------------------------------------- the setters over the natives

    /**
     * Sets parameter {@code index}: writes the value into the natives'
     * storage through their fast paths and records it; while a batch is
     * being built, only records it (without the lock: no native call is
     * made) for the batch's arrays and for the next single execution.
     */
    private void set(int index, int kind, long l, double d, Object v, boolean wide) throws SQLException {
        if (batch != null) {
            checkOpen();
            if (index < 1 || index > numParams) throw badIndex(index);
            record(index - 1, kind, l, d, v, wide);
            unsent[index - 1] = true;
            anyUnsent = true;
            return;
        }
        param(index);
        try {
            send(index - 1, kind, l, d, v, wide);
            record(index - 1, kind, l, d, v, wide);
            unsent[index - 1] = false;
        } finally {
            unlock();
        }
    }

    private void record(int i, int kind, long l, double d, Object v, boolean wide) {
        kinds[i] = (byte) kind;
        longs[i] = l;
        doubles[i] = d;
        values[i] = v;
        wideLong[i] = wide;
    }

    /** Writes one value into the natives' storage; under the lock. Throws when the natives refuse it. */
    private void send(int i, int kind, long l, double d, Object v, boolean wide) throws SQLException {
        int index = i + 1;
        int h = state.hStmt;
        switch (kind) {
        case V_NULL:
            if (untyped) typeNull(index, (int) l);
            odbc.setNull(h, state.params, state.ec, index);
            checkCode(index, state.ec);
            break;
        case V_LONG:
            setStatus(index, !wide && l >= Integer.MIN_VALUE && l <= Integer.MAX_VALUE
                    && paramSqlTypes[i] != Odbc.BIGINT ? odbc.setInteger(h, state.params, (int) l, index)
                    : odbc.setLong(h, state.params, l, index));
            break;
        case V_DOUBLE:
            setStatus(index, odbc.setDouble(h, state.params, d, index));
            break;
        case V_TEXT:
            odbc.setString(h, state.params, (String) v, state.ec, index);
            checkCode(index, state.ec);
            break;
        case V_BYTES:
            odbc.setBytes(h, state.params, (byte[]) v, state.ec, index);
            checkCode(index, state.ec);
            break;
        case V_TIMESTAMP:
            odbc.setTimestamp(h, state.params, l, state.ec, index);
            checkCode(index, state.ec);
            break;
        default:
            break; // a stream is bound at the execution
        }
    }

    /** Writes the values recorded while a batch was built into the natives' storage; under the lock. */
    private void sendRecorded() throws SQLException {
        if (!anyUnsent) return;
        for (int i = 0; i < numParams; i++) {
            if (!unsent[i]) continue;
            send(i, kinds[i], longs[i], doubles[i], values[i], wideLong[i]);
            unsent[i] = false;
        }
        anyUnsent = false;
    }

    private SQLException badIndex(int index) {
        return JdbcOdbcErrors.of("Parameter index " + index + " is outside 1.." + numParams, "07009");
    }

    private void putLong(int index, long v) throws SQLException {
        set(index, V_LONG, v, 0, null, false);
    }

    private void putDouble(int index, double v) throws SQLException {
        set(index, V_DOUBLE, 0, v, null, false);
    }

    private void putText(int index, String v) throws SQLException {
        putText(index, v, Types.VARCHAR);
    }

    /** Text of a value of JDBC type {@code jdbcType} (kept, for a parameter the data source did not describe). */
    private void putText(int index, String v, int jdbcType) throws SQLException {
        set(index, V_TEXT, jdbcType, 0, v, false);
    }

    private void putMicros(int index, long micros, Object value) throws SQLException {
        set(index, V_TIMESTAMP, micros, 0, value, false);
    }

    /**
     * Binds an undescribed parameter with the type of a null's SQL type, so
     * that the data source reads it as that type; under the lock. Types
     * without a binding of their own (text, decimals, dates, booleans) stay
     * untyped, which the data source reads as unknown.
     */
    private void typeNull(int index, int sqlType) throws SQLException {
        int h = state.hStmt;
        switch (sqlType) {
        case Types.TINYINT: case Types.SMALLINT: case Types.INTEGER:
            setStatus(index, odbc.setInteger(h, state.params, 0, index));
            break;
        case Types.BIGINT:
            setStatus(index, odbc.setLong(h, state.params, 0, index));
            break;
        case Types.REAL: case Types.FLOAT: case Types.DOUBLE:
            setStatus(index, odbc.setDouble(h, state.params, 0, index));
            break;
        case Types.BINARY: case Types.VARBINARY: case Types.LONGVARBINARY: case Types.BLOB:
            odbc.setBytes(h, state.params, new byte[0], state.ec, index);
            checkCode(index, state.ec);
            break;
        case Types.TIMESTAMP:
            odbc.setTimestamp(h, state.params, 0, state.ec, index);
            checkCode(index, state.ec);
            break;
        default:
            odbc.setString(h, state.params, "", state.ec, index);
            checkCode(index, state.ec);
            break;
        }
    }

    /** The SQL type is kept (for a parameter the data source could not describe, it is the null's type). */
    @Override
    public void setNull(int index, int sqlType) throws SQLException {
        set(index, V_NULL, sqlType, 0, null, false);
    }

    @Override
    public void setNull(int index, int sqlType, String typeName) throws SQLException {
        setNull(index, sqlType);
    }

    @Override
    public void setBoolean(int index, boolean x) throws SQLException {
        // An integer whose double slot marks it as a boolean (read only for
        // a parameter the data source did not describe).
        set(index, V_LONG, x ? 1 : 0, 1, null, false);
    }

    @Override
    public void setByte(int index, byte x) throws SQLException {
        putLong(index, x);
    }

    @Override
    public void setShort(int index, short x) throws SQLException {
        putLong(index, x);
    }

    @Override
    public void setInt(int index, int x) throws SQLException {
        putLong(index, x);
    }

    @Override
    public void setLong(int index, long x) throws SQLException {
        set(index, V_LONG, x, 0, null, true);
    }

    @Override
    public void setFloat(int index, float x) throws SQLException {
        // As a double of the same decimal value: 0.1f arrives as 0.1, not 0.10000000149.
        putDouble(index, Double.parseDouble(Float.toString(x)));
    }

    @Override
    public void setDouble(int index, double x) throws SQLException {
        putDouble(index, x);
    }

    /** Exact: the decimal's text, never a binary floating-point value. */
    @Override
    public void setBigDecimal(int index, BigDecimal x) throws SQLException {
        if (x == null) setNull(index, Types.DECIMAL);
        else putText(index, x.toPlainString(), Types.NUMERIC);
    }

    @Override
    public void setString(int index, String x) throws SQLException {
        if (x == null) setNull(index, Types.VARCHAR);
        else putText(index, x);
    }

    @Override
    public void setNString(int index, String x) throws SQLException {
        setString(index, x);
    }

    @Override
    public void setBytes(int index, byte[] x) throws SQLException {
        if (x == null) {
            setNull(index, Types.VARBINARY);
            return;
        }
        set(index, V_BYTES, 0, 0, x.clone(), false);
    }

    @Override
    public void setDate(int index, Date x) throws SQLException {
        if (x == null) setNull(index, Types.DATE);
        else putText(index, x.toLocalDate().toString(), Types.DATE);
    }

    @Override
    public void setDate(int index, Date x, Calendar cal) throws SQLException {
        if (x == null || cal == null) {
            setDate(index, x);
            return;
        }
        putText(index, Instant.ofEpochMilli(x.getTime()).atZone(cal.getTimeZone().toZoneId()).toLocalDate().toString(), Types.DATE);
    }

    @Override
    public void setTime(int index, Time x) throws SQLException {
        if (x == null) setNull(index, Types.TIME);
        // With its milliseconds, which toLocalTime() drops.
        else putText(index, timeText(Instant.ofEpochMilli(x.getTime()).atZone(ZoneId.systemDefault()).toLocalTime()),
                Types.TIME);
    }

    @Override
    public void setTime(int index, Time x, Calendar cal) throws SQLException {
        if (x == null || cal == null) {
            setTime(index, x);
            return;
        }
        putText(index, timeText(Instant.ofEpochMilli(x.getTime()).atZone(cal.getTimeZone().toZoneId()).toLocalTime()), Types.TIME);
    }

    private static String timeText(LocalTime t) {
        String s = t.toString();
        return s.length() == 5 ? s + ":00" : s;
    }

    /** The driver's 8-byte form of a wall-clock time: microseconds as if the time were UTC. */
    static long wallMicros(LocalDateTime t) {
        return Math.addExact(Math.multiplyExact(t.toEpochSecond(ZoneOffset.UTC), 1_000_000L), t.getNano() / 1000);
    }

    static long instantMicros(Instant t) {
        return Math.addExact(Math.multiplyExact(t.getEpochSecond(), 1_000_000L), t.getNano() / 1000);
    }

    /**
     * Timestamp text with its offset, {@code 2026-03-01 13:45:56.789000+01:00}
     * (microseconds, as the 8-byte form keeps them; years before 1 AD with
     * {@code BC}), which the data source reads as the wall time for a column
     * without time zone and as the instant for one with.
     */
    static String zonedText(LocalDateTime t, ZoneOffset offset) {
        int year = t.getYear();
        int shown = year > 0 ? year : 1 - year;
        int secs = offset.getTotalSeconds();
        int abs = Math.abs(secs);
        StringBuilder b = new StringBuilder(40);
        pad(b, shown, 4).append('-');
        pad(b, t.getMonthValue(), 2).append('-');
        pad(b, t.getDayOfMonth(), 2).append(' ');
        pad(b, t.getHour(), 2).append(':');
        pad(b, t.getMinute(), 2).append(':');
        pad(b, t.getSecond(), 2).append('.');
        pad(b, t.getNano() / 1000, 6).append(secs < 0 ? '-' : '+');
        pad(b, abs / 3600, 2).append(':');
        pad(b, abs / 60 % 60, 2);
        if (abs % 60 != 0) pad(b.append(':'), abs % 60, 2);
        if (year <= 0) b.append(" BC");
        return b.toString();
    }

    private static StringBuilder pad(StringBuilder b, int v, int digits) {
        String s = Integer.toString(v);
        for (int i = s.length(); i < digits; i++) b.append('0');
        return b.append(s);
    }

    @Override
    public void setTimestamp(int index, Timestamp x) throws SQLException {
        if (x == null) setNull(index, Types.TIMESTAMP);
        else setDateTime(index, x.toLocalDateTime(), ZoneId.systemDefault().getRules().getOffset(x.toInstant()));
    }

    @Override
    public void setTimestamp(int index, Timestamp x, Calendar cal) throws SQLException {
        if (x == null || cal == null) {
            setTimestamp(index, x);
            return;
        }
        setInstant(index, x.toInstant(), cal.getTimeZone().toZoneId());
    }

    /** A wall time in the JVM's zone. */
    private void setLocalDateTime(int index, LocalDateTime t) throws SQLException {
        setDateTime(index, t, ZoneId.systemDefault().getRules().getOffset(t));
    }

    /** An instant, as its wall time in {@code zone}. */
    private void setInstant(int index, Instant t, ZoneId zone) throws SQLException {
        LocalDateTime wall;
        try {
            wall = LocalDateTime.ofInstant(t, zone);
        } catch (DateTimeException e) {
            throw JdbcOdbcErrors.exception("Timestamp out of range: " + t, "22008", 0, e);
        }
        setDateTime(index, wall, zone.getRules().getOffset(t));
    }

    /**
     * A wall time and the offset of its zone there: as text with the offset
     * where the parameter is described as a timestamp, else in the 8-byte
     * form (the wall time as if it were UTC).
     */
    private void setDateTime(int index, LocalDateTime t, ZoneOffset offset) throws SQLException {
        long micros;
        try {
            micros = wallMicros(t);
        } catch (ArithmeticException e) {
            throw JdbcOdbcErrors.exception("Timestamp out of range: " + t, "22008", 0, e);
        }
        if (index >= 1 && index <= numParams && paramSqlTypes[index - 1] == Odbc.TIMESTAMP) {
            putText(index, zonedText(t, offset));
        } else {
            putMicros(index, micros, t);
        }
    }

    // ---------------------------------------------------------------- setObject

    @Override
    public void setObject(int index, Object x) throws SQLException {
        if (x == null) {
            setNull(index, Types.NULL);
        } else if (x instanceof String) {
            setString(index, (String) x);
        } else if (x instanceof Integer || x instanceof Short || x instanceof Byte) {
            putLong(index, ((Number) x).intValue());
        } else if (x instanceof Long) {
            setLong(index, (Long) x);
        } else if (x instanceof Double) {
            setDouble(index, (Double) x);
        } else if (x instanceof Float) {
            setFloat(index, (Float) x);
        } else if (x instanceof BigDecimal) {
            setBigDecimal(index, (BigDecimal) x);
        } else if (x instanceof BigInteger) {
            putText(index, x.toString(), Types.NUMERIC);
        } else if (x instanceof Boolean) {
            setBoolean(index, (Boolean) x);
        } else if (x instanceof byte[]) {
            setBytes(index, (byte[]) x);
        } else if (x instanceof Date) {
            setDate(index, (Date) x);
        } else if (x instanceof Time) {
            setTime(index, (Time) x);
        } else if (x instanceof Timestamp) {
            setTimestamp(index, (Timestamp) x);
        } else if (x instanceof java.util.Date) {
            setTimestamp(index, new Timestamp(((java.util.Date) x).getTime()));
        } else if (x instanceof LocalDate) {
            putText(index, x.toString(), Types.DATE);
        } else if (x instanceof LocalTime) {
            putText(index, timeText((LocalTime) x), Types.TIME);
        } else if (x instanceof LocalDateTime) {
            setLocalDateTime(index, (LocalDateTime) x);
        } else if (x instanceof OffsetDateTime) {
            setInstant(index, ((OffsetDateTime) x).toInstant(), ZoneId.systemDefault());
        } else if (x instanceof ZonedDateTime) {
            setInstant(index, ((ZonedDateTime) x).toInstant(), ZoneId.systemDefault());
        } else if (x instanceof Instant) {
            setInstant(index, (Instant) x, ZoneId.systemDefault());
        } else if (x instanceof OffsetTime) {
            putText(index, x.toString());
        } else if (x instanceof Character || x instanceof java.util.UUID || x instanceof URL) {
            putText(index, x.toString());
        } else if (x instanceof Blob) {
            setBlob(index, (Blob) x);
        } else if (x instanceof Clob) {
            setClob(index, (Clob) x);
        } else if (x instanceof InputStream) {
            setBinaryStream(index, (InputStream) x);
        } else if (x instanceof Reader) {
            setCharacterStream(index, (Reader) x);
        } else if (x instanceof Calendar) {
            setTimestamp(index, new Timestamp(((Calendar) x).getTimeInMillis()));
        } else if (x instanceof Array) {
            setArray(index, (Array) x);
        } else {
            throw JdbcOdbcErrors.of("The SQL type of a " + x.getClass().getName() + " cannot be inferred", "07006");
        }
    }

    @Override
    public void setObject(int index, Object x, int targetSqlType) throws SQLException {
        setObject(index, x, targetSqlType, -1);
    }

    @Override
    public void setObject(int index, Object x, int targetSqlType, int scale) throws SQLException {
        if (x == null) {
            setNull(index, targetSqlType);
            return;
        }
        switch (targetSqlType) {
        case Types.CHAR: case Types.VARCHAR: case Types.LONGVARCHAR: case Types.NCHAR: case Types.NVARCHAR:
        case Types.LONGNVARCHAR: case Types.CLOB: case Types.NCLOB:
            if (x instanceof Reader) setCharacterStream(index, (Reader) x);
            else setString(index, x instanceof BigDecimal ? ((BigDecimal) x).toPlainString() : text(x));
            return;
        case Types.BIT: case Types.BOOLEAN:
            setBoolean(index, toBoolean(x));
            return;
        case Types.TINYINT: case Types.SMALLINT: case Types.INTEGER:
            putLong(index, toDecimal(x).intValue());
            return;
        case Types.BIGINT:
            setLong(index, toDecimal(x).longValue());
            return;
        case Types.REAL: case Types.FLOAT: case Types.DOUBLE:
            setDouble(index, x instanceof Number ? ((Number) x).doubleValue() : toDecimal(x).doubleValue());
            return;
        case Types.NUMERIC: case Types.DECIMAL: {
            BigDecimal d = toDecimal(x);
            if (scale >= 0) d = d.setScale(scale, java.math.RoundingMode.HALF_UP);
            setBigDecimal(index, d);
            return;
        }
        case Types.BINARY: case Types.VARBINARY: case Types.LONGVARBINARY: case Types.BLOB:
            if (x instanceof InputStream) setBinaryStream(index, (InputStream) x);
            else if (x instanceof byte[]) setBytes(index, (byte[]) x);
            else throw JdbcOdbcErrors.of("A " + x.getClass().getName() + " cannot be sent as binary", "22018");
            return;
        case Types.DATE:
            if (x instanceof String) putText(index, LocalDate.parse(((String) x).trim()).toString(), Types.DATE);
            else if (x instanceof LocalDateTime) putText(index, ((LocalDateTime) x).toLocalDate().toString(), Types.DATE);
            else if (x instanceof java.util.Date && !(x instanceof Date)) {
                setDate(index, new Date(((java.util.Date) x).getTime()));
            } else setObject(index, x);
            return;
        case Types.TIME:
            if (x instanceof String) putText(index, ((String) x).trim(), Types.TIME);
            else setObject(index, x);
            return;
        case Types.TIMESTAMP:
            if (x instanceof String) setTimestamp(index, Timestamp.valueOf(((String) x).trim()));
            else if (x instanceof LocalDate) setLocalDateTime(index, ((LocalDate) x).atStartOfDay());
            else setObject(index, x);
            return;
        case Types.TIMESTAMP_WITH_TIMEZONE:
            if (x instanceof OffsetDateTime || x instanceof Instant || x instanceof ZonedDateTime) setObject(index, x);
            else if (x instanceof LocalDateTime) setLocalDateTime(index, (LocalDateTime) x);
            else if (x instanceof Timestamp) setTimestamp(index, (Timestamp) x);
            else throw JdbcOdbcErrors.of("A " + x.getClass().getName() + " cannot be sent as a timestamp", "22018");
            return;
        case Types.NULL:
            setNull(index, Types.NULL);
            return;
        case Types.ARRAY:
            if (x instanceof Array) setArray(index, (Array) x);
            else throw JdbcOdbcErrors.of("A " + x.getClass().getName() + " cannot be sent as an array", "22018");
            return;
        case Types.OTHER: case Types.JAVA_OBJECT:
            setObject(index, x);
            return;
        default:
            throw JdbcOdbcErrors.notSupported("Target SQL type " + targetSqlType);
        }
    }

    @Override
    public void setObject(int index, Object x, SQLType targetSqlType, int scaleOrLength) throws SQLException {
        if (targetSqlType == null || targetSqlType.getVendorTypeNumber() == null) {
            throw JdbcOdbcErrors.notSupported("SQL type " + targetSqlType);
        }
        setObject(index, x, targetSqlType.getVendorTypeNumber(), scaleOrLength);
    }

    @Override
    public void setObject(int index, Object x, SQLType targetSqlType) throws SQLException {
        setObject(index, x, targetSqlType, -1);
    }

    private static String text(Object x) {
        if (x instanceof byte[]) return new String((byte[]) x, StandardCharsets.UTF_8);
        if (x instanceof Timestamp) return x.toString();
        return String.valueOf(x);
    }

    private static boolean toBoolean(Object x) throws SQLException {
        if (x instanceof Boolean) return (Boolean) x;
        if (x instanceof Number) return ((Number) x).doubleValue() != 0;
        if (x instanceof String) {
            String s = ((String) x).trim().toLowerCase(java.util.Locale.ROOT);
            if (s.equals("true") || s.equals("1") || s.equals("t") || s.equals("yes") || s.equals("y")) return true;
            if (s.equals("false") || s.equals("0") || s.equals("f") || s.equals("no") || s.equals("n")) return false;
        }
        throw JdbcOdbcErrors.of("A " + x.getClass().getName() + " is not a boolean", "22018");
    }

    private static BigDecimal toDecimal(Object x) throws SQLException {
        try {
            if (x instanceof BigDecimal) return (BigDecimal) x;
            if (x instanceof BigInteger) return new BigDecimal((BigInteger) x);
            if (x instanceof Integer || x instanceof Long || x instanceof Short || x instanceof Byte) {
                return BigDecimal.valueOf(((Number) x).longValue());
            }
            if (x instanceof Number) return new BigDecimal(x.toString());
            if (x instanceof Boolean) return (Boolean) x ? BigDecimal.ONE : BigDecimal.ZERO;
            if (x instanceof String) return new BigDecimal(((String) x).trim());
        } catch (NumberFormatException e) {
            throw JdbcOdbcErrors.exception("Not a number: " + x, "22018", 0, e);
        }
        throw JdbcOdbcErrors.of("A " + x.getClass().getName() + " is not a number", "22018");
    }

    // ---------------------------------------------------------------- streams: data at execution

    /** A stream parameter waiting for the execution: its bytes or characters and their length. */
    static final class StreamValue {
        final InputStream bytes;
        final Reader chars;
        final long length;

        StreamValue(InputStream bytes, Reader chars, long length) {
            this.bytes = bytes;
            this.chars = chars;
            this.length = length;
        }
    }

    private void setStream(int index, InputStream in, Reader r, long length) throws SQLException {
        if (length < -1) throw JdbcOdbcErrors.of("Negative stream length", "HY090");
        param(index);
        try {
            record(index - 1, V_STREAM, 0, 0, new StreamValue(in, r, length), false);
            unsent[index - 1] = false;
        } finally {
            unlock();
        }
    }

    @Override
    public void setBinaryStream(int index, InputStream x, int length) throws SQLException {
        setBinaryStream(index, x, (long) length);
    }

    @Override
    public void setBinaryStream(int index, InputStream x, long length) throws SQLException {
        if (x == null) setNull(index, Types.LONGVARBINARY);
        else setStream(index, x, null, length);
    }

    @Override
    public void setBinaryStream(int index, InputStream x) throws SQLException {
        setBinaryStream(index, x, -1L);
    }

    @Override
    public void setAsciiStream(int index, InputStream x, int length) throws SQLException {
        setAsciiStream(index, x, (long) length);
    }

    @Override
    public void setAsciiStream(int index, InputStream x, long length) throws SQLException {
        if (x == null) setNull(index, Types.LONGVARCHAR);
        else setStream(index, null, new java.io.InputStreamReader(x, StandardCharsets.ISO_8859_1), length);
    }

    @Override
    public void setAsciiStream(int index, InputStream x) throws SQLException {
        setAsciiStream(index, x, -1L);
    }

    @Override
    @Deprecated
    public void setUnicodeStream(int index, InputStream x, int length) throws SQLException {
        // The stream's bytes are UTF-8 text of exactly that length.
        if (x == null) {
            setNull(index, Types.VARCHAR);
            return;
        }
        if (length < 0) throw JdbcOdbcErrors.of("Negative length", "HY090");
        byte[] b;
        try {
            b = x.readNBytes(length);
        } catch (java.io.IOException e) {
            throw JdbcOdbcErrors.exception("The stream of parameter " + index + " failed: " + e.getMessage(), "HY000",
                    0, e);
        }
        if (b.length < length) {
            throw JdbcOdbcErrors.of("The stream of parameter " + index + " ended after " + b.length + " of "
                    + length + " bytes", "22026");
        }
        setString(index, new String(b, java.nio.charset.StandardCharsets.UTF_8));
    }

    @Override
    public void setCharacterStream(int index, Reader reader, int length) throws SQLException {
        setCharacterStream(index, reader, (long) length);
    }

    @Override
    public void setCharacterStream(int index, Reader reader, long length) throws SQLException {
        if (reader == null) setNull(index, Types.LONGVARCHAR);
        else setStream(index, null, reader, length);
    }

    @Override
    public void setCharacterStream(int index, Reader reader) throws SQLException {
        setCharacterStream(index, reader, -1L);
    }

    @Override
    public void setNCharacterStream(int index, Reader value, long length) throws SQLException {
        setCharacterStream(index, value, length);
    }

    @Override
    public void setNCharacterStream(int index, Reader value) throws SQLException {
        setCharacterStream(index, value, -1L);
    }

    @Override
    public void setBlob(int index, InputStream x, long length) throws SQLException {
        setBinaryStream(index, x, length);
    }

    @Override
    public void setBlob(int index, InputStream x) throws SQLException {
        setBinaryStream(index, x);
    }

    @Override
    public void setClob(int index, Reader reader, long length) throws SQLException {
        setCharacterStream(index, reader, length);
    }

    @Override
    public void setClob(int index, Reader reader) throws SQLException {
        setCharacterStream(index, reader);
    }

    @Override
    public void setNClob(int index, Reader reader, long length) throws SQLException {
        setCharacterStream(index, reader, length);
    }

    @Override
    public void setNClob(int index, Reader reader) throws SQLException {
        setCharacterStream(index, reader);
    }

    @Override
    public void setBlob(int index, Blob x) throws SQLException {
        if (x == null) setNull(index, Types.BLOB);
        else if (x instanceof JdbcOdbcBlob) setBytes(index, ((JdbcOdbcBlob) x).content());
        else setBinaryStream(index, x.getBinaryStream(), x.length());
    }

    @Override
    public void setClob(int index, Clob x) throws SQLException {
        if (x == null) setNull(index, Types.CLOB);
        else if (x instanceof JdbcOdbcClob) setString(index, ((JdbcOdbcClob) x).content());
        else setCharacterStream(index, x.getCharacterStream(), x.length());
    }

    @Override
    public void setNClob(int index, NClob x) throws SQLException {
        setClob(index, x);
    }

    /** The whole content of a stream parameter: bytes, or UTF-16 code units for a reader. */
    private static Object drain(StreamValue s, int index) throws SQLException {
        try {
            if (s.bytes != null) {
                ByteArrayOutputStream out = new ByteArrayOutputStream();
                byte[] buf = new byte[64 * 1024];
                long left = s.length < 0 ? Long.MAX_VALUE : s.length;
                while (left > 0) {
                    int n = s.bytes.read(buf, 0, (int) Math.min(buf.length, left));
                    if (n < 0) break;
                    out.write(buf, 0, n);
                    left -= n;
                }
                return out.toByteArray();
            }
            StringBuilder sb = new StringBuilder();
            char[] buf = new char[32 * 1024];
            long left = s.length < 0 ? Long.MAX_VALUE : s.length;
            while (left > 0) {
                int n = s.chars.read(buf, 0, (int) Math.min(buf.length, left));
                if (n < 0) break;
                sb.append(buf, 0, n);
                left -= n;
            }
            return sb.toString();
        } catch (IOException e) {
            throw JdbcOdbcErrors.exception("Parameter " + index + ": the stream could not be read: " + e, "HY000", 0, e);
        }
    }

    /**
     * Binds every stream parameter for data at execution; under the lock.
     * Each stream is read before the execution (its length must be known to
     * the data source) and sent in pieces when the driver asks for it.
     */
    private Object[] bindStreams() throws SQLException {
        Object[] data = null;
        for (int i = 0; i < numParams; i++) {
            if (kinds[i] != V_STREAM) continue;
            if (data == null) data = new Object[numParams];
            StreamValue sv = (StreamValue) values[i];
            // A stream of known length is read while it is sent; one of unknown
            // length first, since the data source is told the length up front.
            Object d = sv.length >= 0 ? sv : drain(sv, i + 1);
            data[i] = d;
            boolean chars = d instanceof String || (d == sv && sv.chars != null);
            int described = paramSqlTypes[i];
            int sqlType = chars ? (Odbc.isCharType(described) ? described : Odbc.LONGVARCHAR)
                    : (Odbc.isBinaryType(described) ? described : Odbc.LONGVARBINARY);
            long bytes = d == sv ? (chars ? 2L * sv.length : sv.length)
                    : chars ? 2L * ((String) d).length() : ((byte[]) d).length;
            if (bytes > Integer.MAX_VALUE - 200) throw JdbcOdbcErrors.of("Parameter " + (i + 1) + " is too long", "22001");
            int[] storage = new int[4];
            odbc.bindInParameterAtExec(state.params, state.hStmt, i + 1, sqlType, chars ? Odbc.C_WCHAR : Odbc.C_BINARY,
                    (int) bytes, new byte[4], new byte[4], state.ec, storage);
            if (storage[0] != 0 || storage[1] != 0) state.keepStorage(storage);
            checkCode(i + 1, state.ec);
        }
        return data;
    }

    /** Answers the driver's requests for data at execution; returns the execution's final code. */
    private int sendStreams(Object[] data) throws SQLException {
        int h = state.hStmt;
        for (;;) {
            int p = odbc.paramData(h, state.ec);
            int rc = state.ec[0];
            if (rc != Odbc.NEED_DATA) return rc;
            if (p < 1 || p > numParams || data == null || data[p - 1] == null) {
                throw JdbcOdbcErrors.of("The driver asked for data of parameter " + p, "HY000");
            }
            Object d = data[p - 1];
            if (d instanceof StreamValue) {
                pump((StreamValue) d, p);
            } else if (d instanceof String) {
                String s = (String) d;
                char[] buf = new char[Math.min(32 * 1024, Math.max(1, s.length()))];
                int off = 0;
                do {
                    int n = Math.min(buf.length, s.length() - off);
                    s.getChars(off, off + n, buf, 0);
                    odbc.putData(h, buf, n, state.ec);
                    if (!Odbc.succeeded(state.ec[0])) throw failure("sending parameter " + p, false);
                    off += n;
                } while (off < s.length());
            } else {
                byte[] b = (byte[]) d;
                byte[] buf = new byte[Math.min(64 * 1024, Math.max(1, b.length))];
                int off = 0;
                do {
                    int n = Math.min(buf.length, b.length - off);
                    System.arraycopy(b, off, buf, 0, n);
                    odbc.putData(h, buf, n, state.ec);
                    if (!Odbc.succeeded(state.ec[0])) throw failure("sending parameter " + p, false);
                    off += n;
                } while (off < b.length);
            }
        }
    }

    /**
     * Sends a stream of known length in pieces as it is read. A stream that
     * ends before its length, or fails, cancels the execution: the data
     * source was promised that many bytes.
     */
    private void pump(StreamValue sv, int p) throws SQLException {
        int h = state.hStmt;
        long left = sv.length;
        try {
            if (sv.bytes != null) {
                byte[] buf = new byte[(int) Math.max(1, Math.min(64 * 1024, left))];
                do {
                    int n = left == 0 ? 0 : sv.bytes.read(buf, 0, (int) Math.min(buf.length, left));
                    if (n < 0) throw shortStream(p, sv.length - left, sv.length);
                    odbc.putData(h, buf, n, state.ec);
                    if (!Odbc.succeeded(state.ec[0])) throw failure("sending parameter " + p, false);
                    left -= n;
                } while (left > 0);
            } else {
                char[] buf = new char[(int) Math.max(1, Math.min(32 * 1024, left))];
                do {
                    int n = left == 0 ? 0 : sv.chars.read(buf, 0, (int) Math.min(buf.length, left));
                    if (n < 0) throw shortStream(p, sv.length - left, sv.length);
                    odbc.putData(h, buf, n, state.ec);
                    if (!Odbc.succeeded(state.ec[0])) throw failure("sending parameter " + p, false);
                    left -= n;
                } while (left > 0);
            }
        } catch (IOException e) {
            state.cancel();
            throw JdbcOdbcErrors.exception("Parameter " + p + ": the stream could not be read: " + e, "HY000", 0, e);
        } catch (SQLException e) {
            state.cancel();
            throw e;
        }
    }

    private static SQLException shortStream(int p, long got, long length) {
        return JdbcOdbcErrors.of("Parameter " + p + ": the stream ended after " + got + " of its " + length
                + " announced units", "22026");
    }

    // ---------------------------------------------------------------- execution

    private void checkAllSet() throws SQLException {
        for (int i = 0; i < numParams; i++) {
            if (kinds[i] < 0 && !isOutput(i)) {
                throw JdbcOdbcErrors.of("Parameter " + (i + 1) + " is not set", "07002");
            }
        }
    }

    /**
     * Binds every parameter of a statement the data source did not describe
     * with the SQL type of the value set (a decimal as NUMERIC, a date as
     * DATE, a boolean as BIT, a null as the type given to setNull), so that
     * the data source reads each as that type; under the lock, before the
     * streams and output parameters are bound.
     */
    private void bindValueTypes() throws SQLException {
        short[] types = new short[numParams];
        for (int i = 0; i < numParams; i++) {
            int kind = kinds[i];
            int t;
            if (kind == V_LONG) {
                t = doubles[i] == 1 ? Odbc.BIT : !wideLong[i] && longs[i] >= Integer.MIN_VALUE
                        && longs[i] <= Integer.MAX_VALUE && paramSqlTypes[i] != Odbc.BIGINT ? Odbc.INTEGER : Odbc.BIGINT;
            } else if (kind == V_DOUBLE) {
                t = Odbc.DOUBLE;
            } else if (kind == V_BYTES) {
                t = Odbc.BINARY;
            } else if (kind == V_TIMESTAMP) {
                t = Odbc.TIMESTAMP;
            } else if (kind == V_TEXT || kind == V_NULL) {
                t = odbcTypeOf((int) longs[i]);
            } else {
                t = Odbc.VARCHAR; // streams and outputs are bound afterwards
            }
            types[i] = (short) t;
        }
        short packed = odbc.rebindAllParams(state.hStmt, state.params, types, numParams);
        if ((packed >> 8) != 0) throw JdbcOdbcErrors.of("The parameters could not be bound (code " + (byte) (packed >> 8)
                + ")", "HY000");
    }

    /** The ODBC SQL type that carries a value of JDBC type {@code jdbcType} set as a null or as text. */
    private static int odbcTypeOf(int jdbcType) {
        switch (jdbcType) {
        case Types.TINYINT: case Types.SMALLINT: case Types.INTEGER:
            return Odbc.INTEGER;
        case Types.BIGINT:
            return Odbc.BIGINT;
        case Types.REAL: case Types.FLOAT: case Types.DOUBLE:
            return Odbc.DOUBLE;
        case Types.NUMERIC: case Types.DECIMAL:
            return Odbc.NUMERIC;
        case Types.DATE:
            return Odbc.DATE;
        case Types.TIME:
            return Odbc.TIME;
        case Types.TIMESTAMP:
            return Odbc.TIMESTAMP;
        case Types.BIT: case Types.BOOLEAN:
            return Odbc.BIT;
        case Types.BINARY: case Types.VARBINARY: case Types.LONGVARBINARY: case Types.BLOB:
            return Odbc.BINARY;
        default:
            return Odbc.VARCHAR;
        }
    }

    /** Whether parameter {@code i} (from 0) has a value set (a null included). */
    boolean isSet(int i) {
        return kinds[i] >= 0;
    }

    /**
     * The value set for parameter {@code i} (from 0) as text, or null for a
     * null; a stream or bytes are refused (an output parameter takes text).
     */
    String inputText(int i) throws SQLException {
        switch (kinds[i]) {
        case V_NULL:
            return null;
        case V_LONG:
            return Long.toString(longs[i]);
        case V_DOUBLE:
            return Double.toString(doubles[i]);
        case V_TEXT:
        case V_TIMESTAMP:
            return batchText(values[i]);
        default:
            throw JdbcOdbcErrors.notSupported("A binary or stream value for input/output parameter " + (i + 1));
        }
    }

    /** Whether parameter {@code i} (from 0) is an output parameter. */
    boolean isOutput(int i) {
        return false;
    }

    /** Binds the output parameters before an execution; under the lock. */
    void bindOutputs() throws SQLException {}

    /** Takes the output values after an execution, its pinned storage released; under the lock. */
    void readOutputs() {}

    @Override
    public boolean execute() throws SQLException {
        lock();
        try {
            checkAllSet();
            beforeExecute();
            int h = state.hStmt;
            int rc;
            try {
                sendRecorded();
                if (untyped) bindValueTypes();
                Object[] streams = bindStreams();
                bindOutputs();
                rc = odbc.execute(h);
                if (rc == Odbc.NEED_DATA) rc = sendStreams(streams);
            } catch (SQLException e) {
                state.endExecution();
                throw e;
            } finally {
                state.releaseStorage();
            }
            if (Odbc.succeeded(rc)) readOutputs();
            if (rc == Odbc.NO_DATA) {
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
    public ResultSet executeQuery() throws SQLException {
        if (!execute()) throw JdbcOdbcErrors.of("The statement produced no result set", "07005");
        return currentResultSet();
    }

    @Override
    public int executeUpdate() throws SQLException {
        return (int) Math.min(Integer.MAX_VALUE, executeLargeUpdate());
    }

    @Override
    public long executeLargeUpdate() throws SQLException {
        return updateCountOf(execute());
    }

    @Override
    public void clearParameters() throws SQLException {
        lock();
        try {
            Arrays.fill(values, null);
            Arrays.fill(kinds, (byte) -1);
            Arrays.fill(unsent, false);
            anyUnsent = false;
        } finally {
            unlock();
        }
    }

    private SQLException notOnPrepared() {
        return JdbcOdbcErrors.of("This method takes no SQL text on a prepared statement", "HY000");
    }

    @Override
    public boolean execute(String sql) throws SQLException {
        throw notOnPrepared();
    }

    @Override
    public ResultSet executeQuery(String sql) throws SQLException {
        throw notOnPrepared();
    }

    @Override
    public int executeUpdate(String sql) throws SQLException {
        throw notOnPrepared();
    }

    @Override
    public long executeLargeUpdate(String sql) throws SQLException {
        throw notOnPrepared();
    }

    @Override
    public void addBatch(String sql) throws SQLException {
        throw notOnPrepared();
    }

    // ---------------------------------------------------------------- batches

    /**
     * The rows added to a batch, column by column: per cell its kind, an
     * integer in the column's long[] and a double in its double[] (unboxed),
     * any other value in its Object[]. The arrays grow by doubling and are
     * handed to the natives as they are (they read the first rows only).
     */
    private static final class BatchColumns {
        int rows;
        final byte[][] kinds;
        final long[][] longs;
        final double[][] doubles;
        final Object[][] objects;

        BatchColumns(int n) {
            kinds = new byte[n][];
            longs = new long[n][];
            doubles = new double[n][];
            objects = new Object[n][];
        }

        private static int grown(int length, int rows) {
            return rows < length ? length : Math.max(16, length * 2);
        }

        void add(byte[] k, long[] l, double[] d, Object[] o) {
            int r = rows;
            for (int p = 0; p < k.length; p++) {
                byte[] kc = kinds[p];
                if (kc == null || r == kc.length) kinds[p] = kc = Arrays.copyOf(kc == null ? new byte[0] : kc,
                        grown(kc == null ? 0 : kc.length, r));
                kc[r] = k[p];
                switch (k[p]) {
                case V_NULL:
                    break;
                case V_LONG: {
                    long[] c = longs[p];
                    if (c == null || r >= c.length) longs[p] = c = Arrays.copyOf(c == null ? new long[0] : c, kc.length);
                    c[r] = l[p];
                    break;
                }
                case V_DOUBLE: {
                    double[] c = doubles[p];
                    if (c == null || r >= c.length) {
                        doubles[p] = c = Arrays.copyOf(c == null ? new double[0] : c, kc.length);
                    }
                    c[r] = d[p];
                    break;
                }
                default: {
                    Object[] c = objects[p];
                    if (c == null || r >= c.length) {
                        objects[p] = c = Arrays.copyOf(c == null ? new Object[0] : c, kc.length);
                    }
                    c[r] = o[p];
                    break;
                }
                }
            }
            rows = r + 1;
        }

        /** The value of one cell as the batch's text. */
        String text(int p, int r) {
            switch (kinds[p][r]) {
            case V_NULL:
                return null;
            case V_LONG:
                return Long.toString(longs[p][r]);
            case V_DOUBLE:
                return Double.toString(doubles[p][r]);
            default:
                return batchText(objects[p][r]);
            }
        }
    }

    @Override
    public void addBatch() throws SQLException {
        lock();
        try {
            checkAllSet();
            Object[] row = values;
            byte[] k = kinds;
            for (int i = 0; i < numParams; i++) {
                if (k[i] == V_STREAM) {
                    // Parameter arrays take no data at execution: the stream is read now.
                    if (row == values) {
                        row = values.clone();
                        k = kinds.clone();
                    }
                    Object d = drain((StreamValue) row[i], i + 1);
                    row[i] = d;
                    k[i] = (byte) (d instanceof String ? V_TEXT : V_BYTES);
                }
            }
            if (batch == null) batch = new BatchColumns(numParams);
            batch.add(k, longs, doubles, row);
            if (keys != null) {
                if (keyRows == null) keyRows = new ArrayList<>();
                keyRows.add(new Object[] {k.clone(), longs.clone(), doubles.clone(),
                        row == values ? values.clone() : row, wideLong.clone()});
            }
        } finally {
            unlock();
        }
    }

    @Override
    public void clearBatch() throws SQLException {
        lock();
        try {
            batch = null;
            keyRows = null;
        } finally {
            unlock();
        }
    }

    /**
     * Runs the batch as one execution with parameter arrays. The data source
     * gives no per-row counts for such an execution, so each row that ran
     * reports {@link #SUCCESS_NO_INFO} (a batch of one row its own count). A
     * failing row ends the batch with a {@link java.sql.BatchUpdateException}
     * whose counts hold the rows that ran before it, one entry each, and no
     * entry for the failing row or the rows after it (JDBC's shape for a
     * driver that stops at the first failure).
     */
    @Override
    public long[] executeLargeBatch() throws SQLException {
        if (keys != null) return batchWithKeys();
        lock();
        try {
            BatchColumns b = batch;
            batch = null;
            if (b == null || b.rows == 0) return new long[0];
            int n = b.rows;
            short[] ctypes = new short[numParams];
            Object[] valueColumns = new Object[numParams];
            Object[] indicatorColumns = new Object[numParams];
            for (int p = 0; p < numParams; p++) buildColumn(p, b, ctypes, valueColumns, indicatorColumns);
            beforeExecute();
            int[] counts = new int[n];
            Arrays.fill(counts, SUCCESS_NO_INFO);
            short packed = odbc.execPreparedStatementBatch(state.hStmt, this, state.params, paramSqlTypes, numParams, n,
                    ctypes, valueColumns, indicatorColumns, counts);
            boolean timedOut = state.endExecution();
            int low = Odbc.rc(packed & 0xFF);
            int high = (byte) (packed >> 8);
            if (high == 0 && Odbc.succeeded(low) && !timedOut) {
                state.pending = true;
                if (n == 1) {
                    int c = odbc.rowCount(state.hStmt, state.ec);
                    if (Odbc.succeeded(state.ec[0]) && c >= 0) counts[0] = c;
                }
                state.closeCursor(true);
                return toLong(counts, n);
            }
            int failed = 0;
            while (failed < n && counts[failed] != EXECUTE_FAILED) failed++;
            SQLException cause;
            if (high == Odbc.ST_RESULT_SET) {
                cause = JdbcOdbcErrors.of("The batch statement produced a result set", "07005");
            } else if (high == Odbc.ST_ABOVE_255) {
                cause = JdbcOdbcErrors.of("A batch value holds a character its parameter cannot take", "22018");
            } else if (high == Odbc.ST_NO_MEMORY) {
                cause = JdbcOdbcErrors.of("No memory for the batch", "HY001");
            } else if (high != 0) {
                cause = JdbcOdbcErrors.of("The batch could not be run (code " + high + ")", "HY000");
            } else {
                cause = executionFailure("batch row " + (failed + 1), timedOut);
            }
            state.closeCursor(true);
            throw batchFailure(cause, toLong(counts, high == 0 ? failed : 0));
        } finally {
            unlock();
        }
    }

    /**
     * A batch whose generated keys were asked: its rows run one by one, so
     * that each row's keys are taken (the keys of all rows together are then
     * the generated keys); each row reports its own count.
     */
    private long[] batchWithKeys() throws SQLException {
        List<Object[]> rows;
        lock();
        try {
            rows = keyRows == null ? List.of() : keyRows;
            keyRows = null;
            batch = null;
            keys.reset();
            keepKeys = true;
        } finally {
            unlock();
        }
        long[] counts = new long[rows.size()];
        try {
            for (int r = 0; r < counts.length; r++) {
                Object[] row = rows.get(r);
                lock();
                try {
                    System.arraycopy((byte[]) row[0], 0, kinds, 0, numParams);
                    System.arraycopy((long[]) row[1], 0, longs, 0, numParams);
                    System.arraycopy((double[]) row[2], 0, doubles, 0, numParams);
                    System.arraycopy((Object[]) row[3], 0, values, 0, numParams);
                    System.arraycopy((boolean[]) row[4], 0, wideLong, 0, numParams);
                    Arrays.fill(unsent, true);
                    anyUnsent = numParams > 0;
                } finally {
                    unlock();
                }
                try {
                    if (execute()) {
                        lock();
                        try {
                            clearResults();
                        } finally {
                            unlock();
                        }
                        throw JdbcOdbcErrors.of("Batch row " + (r + 1) + " produced a result set", "07005");
                    }
                    counts[r] = updateCount;
                } catch (SQLException e) {
                    long[] done = Arrays.copyOf(counts, r + 1);
                    done[r] = EXECUTE_FAILED;
                    throw batchFailure(e, done);
                }
            }
        } finally {
            keepKeys = false;
        }
        return counts;
    }

    @Override
    public int[] executeBatch() throws SQLException {
        long[] counts = executeLargeBatch();
        int[] r = new int[counts.length];
        for (int i = 0; i < r.length; i++) r[i] = (int) Math.min(Integer.MAX_VALUE, counts[i]);
        return r;
    }

    /**
     * One batch column: 64-bit integers, doubles, wide text or bytes, chosen
     * from the kinds of the column's cells (text when they mix). Integer and
     * double columns go as the batch's own arrays, with indicators.
     */
    private static void buildColumn(int p, BatchColumns b, short[] ctypes, Object[] valueColumns,
            Object[] indicatorColumns) {
        int n = b.rows;
        byte[] k = b.kinds[p];
        int kind = V_NULL;
        boolean mixed = false;
        for (int r = 0; r < n; r++) {
            int v = k[r];
            if (v == V_NULL) continue;
            if (kind == V_NULL) kind = v;
            else if (kind != v) mixed = true;
        }
        if (mixed || kind == V_TIMESTAMP || kind == V_NULL) kind = V_TEXT;
        switch (kind) {
        case V_LONG:
        case V_DOUBLE: {
            int[] ind = new int[n];
            for (int r = 0; r < n; r++) ind[r] = k[r] == V_NULL ? -1 : 8;
            ctypes[p] = (short) (kind == V_LONG ? Odbc.C_SBIGINT : Odbc.C_DOUBLE);
            // A column's values stop growing at its last non-null cell: at least n rows go to the natives.
            if (kind == V_LONG) {
                valueColumns[p] = b.longs[p].length >= n ? b.longs[p] : Arrays.copyOf(b.longs[p], n);
            } else {
                valueColumns[p] = b.doubles[p].length >= n ? b.doubles[p] : Arrays.copyOf(b.doubles[p], n);
            }
            indicatorColumns[p] = ind;
            break;
        }
        case V_BYTES: {
            byte[][] col = new byte[n][];
            Object[] o = b.objects[p];
            for (int r = 0; r < n; r++) col[r] = k[r] == V_NULL ? null : (byte[]) o[r];
            ctypes[p] = (short) Odbc.C_BINARY;
            valueColumns[p] = col;
            break;
        }
        default: {
            String[] col = new String[n];
            for (int r = 0; r < n; r++) col[r] = b.text(p, r);
            ctypes[p] = (short) Odbc.C_WCHAR;
            valueColumns[p] = col;
            break;
        }
        }
    }

    private static String batchText(Object v) {
        if (v == null) return null;
        if (v instanceof BigDecimal) return ((BigDecimal) v).toPlainString();
        if (v instanceof LocalDateTime) {
            LocalDateTime t = (LocalDateTime) v;
            return t.toLocalDate() + " " + timeText(t.toLocalTime());
        }
        if (v instanceof byte[]) return new String((byte[]) v, StandardCharsets.UTF_8);
        return v.toString();
    }

    // ---------------------------------------------------------------- metadata

    @Override
    public ResultSetMetaData getMetaData() throws SQLException {
        lock();
        try {
            if (resultSet != null) return resultSet.getMetaData();
            // Describe without executing: the prepared statement's columns, if it has any.
            int n = odbc.numResultCols(state.hStmt, state.ec);
            if (!Odbc.succeeded(state.ec[0]) || n <= 0) return null;
            return JdbcOdbcResultSetMetaData.describe(this, n);
        } finally {
            unlock();
        }
    }

    @Override
    public ParameterMetaData getParameterMetaData() throws SQLException {
        lock();
        try {
            if (parameterMetaData == null) parameterMetaData = new JdbcOdbcParameterMetaData(this);
            return parameterMetaData;
        } finally {
            unlock();
        }
    }

    @Override
    public void setRef(int index, Ref x) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Ref parameters");
    }

    @Override
    public void setArray(int index, Array x) throws SQLException {
        if (!conn.arrayText()) throw JdbcOdbcErrors.notSupported("The data source has no arrays");
        if (x == null) {
            setNull(index, Types.ARRAY);
        } else if (x instanceof JdbcOdbcArray) {
            putText(index, ((JdbcOdbcArray) x).text());
        } else {
            // Another driver's array: its elements written in this data source's form.
            Object elements = x.getArray();
            if (!(elements instanceof Object[])) {
                int n = elements == null ? 0 : java.lang.reflect.Array.getLength(elements);
                Object[] boxed = new Object[n];
                for (int k = 0; k < n; k++) boxed[k] = java.lang.reflect.Array.get(elements, k);
                elements = boxed;
            }
            putText(index, ArrayText.write((Object[]) elements, ArrayText.element(x.getBaseTypeName())));
        }
    }

    @Override
    public void setURL(int index, URL x) throws SQLException {
        if (x == null) setNull(index, Types.VARCHAR);
        else putText(index, x.toString());
    }

    @Override
    public void setRowId(int index, RowId x) throws SQLException {
        throw JdbcOdbcErrors.notSupported("RowId parameters");
    }

    @Override
    public void setSQLXML(int index, SQLXML xmlObject) throws SQLException {
        if (xmlObject == null) setNull(index, Types.VARCHAR);
        else if (xmlObject instanceof JdbcOdbcSQLXML) setString(index, ((JdbcOdbcSQLXML) xmlObject).content());
        else setString(index, xmlObject.getString());
    }
}
