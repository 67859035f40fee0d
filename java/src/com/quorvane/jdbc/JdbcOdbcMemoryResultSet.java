package com.quorvane.jdbc;

import java.io.ByteArrayInputStream;
import java.io.InputStream;
import java.io.Reader;
import java.io.StringReader;
import java.math.BigDecimal;
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
import java.sql.Types;
import java.util.Calendar;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;

/**
 * A read-only result set held in memory: the catalog results of
 * {@link JdbcOdbcDatabaseMetaData}, rebuilt in JDBC form from what the data
 * source answered (catalog results are small; values String, Integer, Long,
 * Boolean or null), generated keys, and the scroll-insensitive results of a
 * statement, read whole from its cursor as pgjdbc holds them (values as the
 * cursor's {@code getObject} gave them). The getters convert between them as
 * JDBC's conversion table allows. Only a held statement result scrolls,
 * and only the held result of an updatable statement over one table with a
 * primary key is updated ({@link UpdatableRows}).
 */
final class JdbcOdbcMemoryResultSet implements JdbcOdbcRowUpdates {
    /** One column: its label, JDBC type and type name. */
    static final class Column {
        final String label;
        final int type;
        /** How the getters read the column's values (the cursor's conversion for rows read from one). */
        final Conversion conv;

        Column(String label, int type) {
            this(label, type, Conversion.forJdbcType(type));
        }

        Column(String label, int type, Conversion conv) {
            this.label = label;
            this.type = type;
            this.conv = conv;
        }

        String typeName() {
            switch (type) {
            case Types.SMALLINT: return "SMALLINT";
            case Types.INTEGER: return "INTEGER";
            case Types.BIGINT: return "BIGINT";
            case Types.BOOLEAN: return "BOOLEAN";
            case Types.ARRAY: return "ARRAY";
            default: return "VARCHAR";
            }
        }
    }

    static Column col(String label, int type) {
        return new Column(label, type);
    }

    static Column text(String label) {
        return new Column(label, Types.VARCHAR);
    }

    private final Column[] columns;
    private final Conversion[] convs;
    private final HeldRow cur = new HeldRow();
    private final List<Object[]> rows;
    private final Map<String, Integer> labels = new HashMap<>();
    private int row;
    private boolean closed;
    private int fetchSize;
    private final int type;
    private final Statement statement;
    private final ResultSetMetaData meta;
    /** Where the rows are written when the result is updatable, else null; and why not, when asked. */
    private UpdatableRows writer;
    private String notUpdatable;
    private SQLWarning warnings;
    /** The values set on the current or insert row, their SQL types, and which columns were set. */
    private Object[] pending;
    private int[] pendingTypes;
    private boolean[] changed;
    private boolean onInsertRow;
    private int rowBeforeInsert;

    JdbcOdbcMemoryResultSet(Column[] columns, List<Object[]> rows) {
        this(columns, rows, TYPE_FORWARD_ONLY, null, null);
    }

    private JdbcOdbcMemoryResultSet(Column[] columns, List<Object[]> rows, int type, Statement statement,
            ResultSetMetaData meta) {
        this.type = type;
        this.statement = statement;
        this.meta = meta;
        this.columns = columns;
        this.rows = rows;
        this.convs = new Conversion[columns.length];
        for (int c = 0; c < columns.length; c++) convs[c] = columns[c].conv;
        for (int c = columns.length; c >= 1; c--) {
            labels.put(columns[c - 1].label.toUpperCase(Locale.ROOT), c);
        }
    }

    /** The columns of a cursor: its labels and types, and its conversions. */
    static Column[] columnsOf(JdbcOdbcResultSet cursor) throws SQLException {
        ResultSetMetaData md = cursor.getMetaData();
        int n = md.getColumnCount();
        Column[] cols = new Column[n];
        Conversion[] convs = cursor.conversions();
        for (int c = 1; c <= n; c++) cols[c - 1] = new Column(md.getColumnLabel(c), md.getColumnType(c), convs[c - 1]);
        return cols;
    }

    /** The current row of a cursor in its kinds' forms, as the cursor's conversions read them. */
    static Object[] rowOf(JdbcOdbcResultSet cursor) throws SQLException {
        Object[] r = new Object[cursor.numCols];
        for (int c = 0; c < r.length; c++) r[c] = cursor.natural(c);
        return r;
    }

    /**
     * A scroll-insensitive or holdable result: the cursor's rows read whole into memory
     * (the cursor is then closed), with the cursor's metadata and conversions,
     * so a held value reads as the cursor would have read it.
     */
    static JdbcOdbcMemoryResultSet held(JdbcOdbcResultSet cursor, Statement statement, int fetchSize, int type)
            throws SQLException {
        ResultSetMetaData md = cursor.getMetaData();
        Column[] cols = columnsOf(cursor);
        List<Object[]> rows = new java.util.ArrayList<>();
        while (cursor.next()) rows.add(rowOf(cursor));
        cursor.markClosed(true);
        JdbcOdbcMemoryResultSet rs = new JdbcOdbcMemoryResultSet(cols, rows, type, statement, md);
        rs.fetchSize = fetchSize;
        return rs;
    }

    /**
     * Makes the held result of an updatable statement updatable when its query
     * reads one table with a primary key; otherwise it stays read-only, with a
     * warning that says why.
     */
    void makeUpdatable(JdbcOdbcConnection conn, String sql) throws SQLException {
        String[] labels = new String[columns.length];
        int[] types = new int[columns.length];
        for (int c = 0; c < columns.length; c++) {
            labels[c] = meta != null ? meta.getColumnName(c + 1) : columns[c].label;
            if (labels[c] == null || labels[c].isEmpty()) labels[c] = columns[c].label;
            types[c] = columns[c].type;
        }
        try {
            writer = sql == null ? null : UpdatableRows.plan(conn, sql, labels, types);
            if (writer == null) throw new UpdatableRows.NotUpdatable("the statement's text is not known");
            pending = new Object[columns.length];
            pendingTypes = new int[columns.length];
            changed = new boolean[columns.length];
        } catch (UpdatableRows.NotUpdatable e) {
            notUpdatable = "The result set is read-only: " + e.getMessage();
            warnings = new SQLWarning(notUpdatable, "01S02");
        }
    }

    /** The rows held (for the metadata class, before the result set is handed out). */
    List<Object[]> rows() {
        return rows;
    }

    private void checkOpen() throws SQLException {
        if (closed) throw JdbcOdbcErrors.closed("The result set");
    }

    /** Checks that a row is current and the column exists; returns the 0-based index. */
    private int at(int column) throws SQLException {
        checkOpen();
        if (onInsertRow) throw JdbcOdbcErrors.of("The cursor is on the insert row", "24000");
        if (row < 1 || row > rows.size()) {
            throw JdbcOdbcErrors.of(row < 1 ? "next() was not called" : "The result set has no more rows", "24000");
        }
        if (column < 1 || column > columns.length) {
            throw JdbcOdbcErrors.of("Column index " + column + " is outside 1.." + columns.length, "07009");
        }
        return column - 1;
    }

    /** The current row's values for the conversions. */
    private final class HeldRow extends Conversion.ObjectRow {
        @Override
        Object readObject(int i) {
            Object v = rows.get(row - 1)[i];
            wasNull = v == null;
            return v;
        }

        @Override
        String name(int i) {
            return "Column " + (i + 1) + " (" + columns[i].label + ")";
        }
    }

    // ---------------------------------------------------------------- cursor

    @Override
    public boolean next() throws SQLException {
        checkOpen();
        leaveRow();
        if (row <= rows.size()) row++;
        return row <= rows.size();
    }

    @Override
    public void close() {
        closed = true;
    }

    @Override
    public boolean isClosed() {
        return closed;
    }

    @Override
    public boolean wasNull() throws SQLException {
        checkOpen();
        return cur.wasNull;
    }

    @Override
    public int getRow() throws SQLException {
        checkOpen();
        return row <= rows.size() ? row : 0;
    }

    @Override
    public boolean isBeforeFirst() throws SQLException {
        checkOpen();
        return row == 0 && !rows.isEmpty();
    }

    @Override
    public boolean isAfterLast() throws SQLException {
        checkOpen();
        return row > rows.size() && !rows.isEmpty();
    }

    @Override
    public boolean isFirst() throws SQLException {
        checkOpen();
        return row == 1 && !rows.isEmpty();
    }

    @Override
    public boolean isLast() throws SQLException {
        checkOpen();
        return row == rows.size() && !rows.isEmpty();
    }

    private static SQLFeatureNotSupportedException forwardOnly() {
        return JdbcOdbcErrors.notSupported("Moving a forward-only result set other than with next()");
    }

    /** Moves to a row (0 before the first, size + 1 after the last) of a scrollable result. */
    private boolean moveTo(long r) throws SQLException {
        checkOpen();
        if (type == TYPE_FORWARD_ONLY) throw forwardOnly();
        leaveRow();
        row = (int) Math.max(0, Math.min(rows.size() + 1L, r));
        return row >= 1 && row <= rows.size();
    }

    @Override public void beforeFirst() throws SQLException { moveTo(0); }
    @Override public void afterLast() throws SQLException { moveTo(rows.size() + 1L); }
    @Override public boolean first() throws SQLException { return moveTo(rows.isEmpty() ? 0 : 1); }
    @Override public boolean last() throws SQLException { return moveTo(rows.size()); }
    @Override public boolean absolute(int r) throws SQLException {
        return moveTo(r >= 0 ? r : rows.size() + 1L + r);
    }
    @Override public boolean relative(int r) throws SQLException { return moveTo((long) row + r); }
    @Override public boolean previous() throws SQLException { return moveTo(row - 1L); }

    @Override
    public void setFetchDirection(int direction) throws SQLException {
        checkOpen();
        if (direction != FETCH_FORWARD && direction != FETCH_REVERSE && direction != FETCH_UNKNOWN) {
            throw JdbcOdbcErrors.of("Unknown fetch direction " + direction, "HY024");
        }
        if (direction != FETCH_FORWARD && type == TYPE_FORWARD_ONLY) throw forwardOnly();
    }

    @Override
    public int getFetchDirection() {
        return FETCH_FORWARD;
    }

    @Override
    public void setFetchSize(int rows) throws SQLException {
        checkOpen();
        if (rows < 0) throw JdbcOdbcErrors.of("Negative fetch size", "HY024");
        fetchSize = rows;
    }

    @Override
    public int getFetchSize() {
        return fetchSize;
    }

    @Override
    public int getType() {
        return type;
    }

    @Override
    public int getConcurrency() {
        return writer != null ? CONCUR_UPDATABLE : CONCUR_READ_ONLY;
    }

    @Override
    public int getHoldability() {
        return HOLD_CURSORS_OVER_COMMIT;
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
    public String getCursorName() throws SQLException {
        throw JdbcOdbcErrors.notSupported("Cursor names of catalog results");
    }

    /** Catalog results belong to no statement. */
    @Override
    public Statement getStatement() throws SQLException {
        checkOpen();
        return statement;
    }

    @Override
    public int findColumn(String label) throws SQLException {
        checkOpen();
        if (label == null) throw JdbcOdbcErrors.of("The column label is null", "HY009");
        Integer c = labels.get(label.toUpperCase(Locale.ROOT));
        if (c == null) throw JdbcOdbcErrors.of("The result has no column labelled " + label, "42S22");
        return c;
    }

    // ---------------------------------------------------------------- getters

    @Override
    public String getString(int column) throws SQLException {
        int i = at(column);
        return convs[i].getString(cur, i);
    }

    @Override
    public boolean getBoolean(int column) throws SQLException {
        int i = at(column);
        return convs[i].getBoolean(cur, i);
    }

    @Override
    public byte getByte(int column) throws SQLException {
        int i = at(column);
        return convs[i].getByte(cur, i);
    }

    @Override
    public short getShort(int column) throws SQLException {
        int i = at(column);
        return convs[i].getShort(cur, i);
    }

    @Override
    public int getInt(int column) throws SQLException {
        int i = at(column);
        return convs[i].getInt(cur, i);
    }

    @Override
    public long getLong(int column) throws SQLException {
        int i = at(column);
        return convs[i].getLong(cur, i);
    }

    @Override
    public float getFloat(int column) throws SQLException {
        int i = at(column);
        return convs[i].getFloat(cur, i);
    }

    @Override
    public double getDouble(int column) throws SQLException {
        int i = at(column);
        return convs[i].getDouble(cur, i);
    }

    @Override
    public BigDecimal getBigDecimal(int column) throws SQLException {
        int i = at(column);
        return convs[i].getBigDecimal(cur, i);
    }

    @Override
    @Deprecated
    public BigDecimal getBigDecimal(int column, int scale) throws SQLException {
        BigDecimal d = getBigDecimal(column);
        return d == null ? null : d.setScale(scale, java.math.RoundingMode.HALF_UP);
    }

    /** A copy: the held value stays as it was for the next read. */
    @Override
    public byte[] getBytes(int column) throws SQLException {
        int i = at(column);
        byte[] b = convs[i].getBytes(cur, i);
        return b != null && b == rows.get(row - 1)[i] ? b.clone() : b;
    }

    @Override
    public Date getDate(int column) throws SQLException {
        return getDate(column, null);
    }

    @Override
    public Date getDate(int column, Calendar cal) throws SQLException {
        int i = at(column);
        return convs[i].getDate(cur, i, cal);
    }

    @Override
    public Time getTime(int column) throws SQLException {
        return getTime(column, null);
    }

    @Override
    public Time getTime(int column, Calendar cal) throws SQLException {
        int i = at(column);
        return convs[i].getTime(cur, i, cal);
    }

    @Override
    public Timestamp getTimestamp(int column) throws SQLException {
        return getTimestamp(column, null);
    }

    @Override
    public Timestamp getTimestamp(int column, Calendar cal) throws SQLException {
        int i = at(column);
        return convs[i].getTimestamp(cur, i, cal);
    }

    @Override
    public Object getObject(int column) throws SQLException {
        int i = at(column);
        Object v = convs[i].getObject(cur, i);
        return v instanceof byte[] ? ((byte[]) v).clone() : v;
    }

    @Override
    public Object getObject(int column, Map<String, Class<?>> map) throws SQLException {
        if (map != null && !map.isEmpty()) throw JdbcOdbcErrors.notSupported("Type maps");
        return getObject(column);
    }

    @Override
    public <T> T getObject(int column, Class<T> type) throws SQLException {
        int i = at(column);
        return convs[i].getObject(cur, i, type);
    }

    @Override
    public InputStream getAsciiStream(int column) throws SQLException {
        String s = getString(column);
        return s == null ? null : new ByteArrayInputStream(s.getBytes(StandardCharsets.US_ASCII));
    }

    @Override
    @Deprecated
    public InputStream getUnicodeStream(int column) throws SQLException {
        String s = getString(column);
        return s == null ? null : new ByteArrayInputStream(s.getBytes(StandardCharsets.UTF_16BE));
    }

    @Override
    public InputStream getBinaryStream(int column) throws SQLException {
        byte[] b = getBytes(column);
        return b == null ? null : new ByteArrayInputStream(b);
    }

    @Override
    public Reader getCharacterStream(int column) throws SQLException {
        String s = getString(column);
        return s == null ? null : new StringReader(s);
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
        throw JdbcOdbcErrors.notSupported("getURL");
    }

    @Override public Ref getRef(int column) throws SQLException { throw JdbcOdbcErrors.notSupported("getRef"); }
    @Override public Blob getBlob(int column) throws SQLException {
        byte[] b = getBytes(column);
        return b == null ? null : new JdbcOdbcBlob(b);
    }
    @Override public Clob getClob(int column) throws SQLException { return getNClob(column); }
    @Override public NClob getNClob(int column) throws SQLException {
        String s = getString(column);
        return s == null ? null : new JdbcOdbcClob(s);
    }
    @Override public Array getArray(int column) throws SQLException {
        int i = at(column);
        return convs[i].getArray(cur, i);
    }
    @Override public RowId getRowId(int column) throws SQLException { throw JdbcOdbcErrors.notSupported("getRowId"); }
    @Override public SQLXML getSQLXML(int column) throws SQLException {
        String s = getString(column);
        return s == null ? null : new JdbcOdbcSQLXML(s);
    }

    // ---------------------------------------------------------------- by label

    @Override public String getString(String l) throws SQLException { return getString(findColumn(l)); }
    @Override public boolean getBoolean(String l) throws SQLException { return getBoolean(findColumn(l)); }
    @Override public byte getByte(String l) throws SQLException { return getByte(findColumn(l)); }
    @Override public short getShort(String l) throws SQLException { return getShort(findColumn(l)); }
    @Override public int getInt(String l) throws SQLException { return getInt(findColumn(l)); }
    @Override public long getLong(String l) throws SQLException { return getLong(findColumn(l)); }
    @Override public float getFloat(String l) throws SQLException { return getFloat(findColumn(l)); }
    @Override public double getDouble(String l) throws SQLException { return getDouble(findColumn(l)); }
    @Override @Deprecated public BigDecimal getBigDecimal(String l, int s) throws SQLException {
        return getBigDecimal(findColumn(l), s);
    }
    @Override public BigDecimal getBigDecimal(String l) throws SQLException { return getBigDecimal(findColumn(l)); }
    @Override public byte[] getBytes(String l) throws SQLException { return getBytes(findColumn(l)); }
    @Override public Date getDate(String l) throws SQLException { return getDate(findColumn(l)); }
    @Override public Time getTime(String l) throws SQLException { return getTime(findColumn(l)); }
    @Override public Timestamp getTimestamp(String l) throws SQLException { return getTimestamp(findColumn(l)); }
    @Override public Date getDate(String l, Calendar c) throws SQLException { return getDate(findColumn(l), c); }
    @Override public Time getTime(String l, Calendar c) throws SQLException { return getTime(findColumn(l), c); }
    @Override public Timestamp getTimestamp(String l, Calendar c) throws SQLException {
        return getTimestamp(findColumn(l), c);
    }
    @Override public InputStream getAsciiStream(String l) throws SQLException { return getAsciiStream(findColumn(l)); }
    @Override @Deprecated public InputStream getUnicodeStream(String l) throws SQLException {
        return getUnicodeStream(findColumn(l));
    }
    @Override public InputStream getBinaryStream(String l) throws SQLException { return getBinaryStream(findColumn(l)); }
    @Override public Reader getCharacterStream(String l) throws SQLException {
        return getCharacterStream(findColumn(l));
    }
    @Override public Reader getNCharacterStream(String l) throws SQLException {
        return getNCharacterStream(findColumn(l));
    }
    @Override public String getNString(String l) throws SQLException { return getNString(findColumn(l)); }
    @Override public Object getObject(String l) throws SQLException { return getObject(findColumn(l)); }
    @Override public Object getObject(String l, Map<String, Class<?>> m) throws SQLException {
        return getObject(findColumn(l), m);
    }
    @Override public <T> T getObject(String l, Class<T> t) throws SQLException { return getObject(findColumn(l), t); }
    @Override public URL getURL(String l) throws SQLException { return getURL(findColumn(l)); }
    @Override public Ref getRef(String l) throws SQLException { return getRef(findColumn(l)); }
    @Override public Blob getBlob(String l) throws SQLException { return getBlob(findColumn(l)); }
    @Override public Clob getClob(String l) throws SQLException { return getClob(findColumn(l)); }
    @Override public NClob getNClob(String l) throws SQLException { return getNClob(findColumn(l)); }
    @Override public Array getArray(String l) throws SQLException { return getArray(findColumn(l)); }
    @Override public RowId getRowId(String l) throws SQLException { return getRowId(findColumn(l)); }
    @Override public SQLXML getSQLXML(String l) throws SQLException { return getSQLXML(findColumn(l)); }

    // ---------------------------------------------------------------- metadata

    @Override
    public ResultSetMetaData getMetaData() throws SQLException {
        checkOpen();
        return meta != null ? meta : new Meta(columns);
    }

    /** The columns of a result held in memory. */
    static final class Meta implements ResultSetMetaData {
        private final Column[] columns;

        Meta(Column[] columns) {
            this.columns = columns;
        }

        private Column at(int column) throws SQLException {
            if (column < 1 || column > columns.length) {
                throw JdbcOdbcErrors.of("Column index " + column + " is outside 1.." + columns.length, "07009");
            }
            return columns[column - 1];
        }

        private static boolean numeric(int type) {
            return type == Types.SMALLINT || type == Types.INTEGER || type == Types.BIGINT;
        }

        @Override public int getColumnCount() { return columns.length; }
        @Override public boolean isAutoIncrement(int c) throws SQLException { at(c); return false; }
        @Override public boolean isCaseSensitive(int c) throws SQLException { return at(c).type == Types.VARCHAR; }
        @Override public boolean isSearchable(int c) throws SQLException { at(c); return false; }
        @Override public boolean isCurrency(int c) throws SQLException { at(c); return false; }
        @Override public int isNullable(int c) throws SQLException { at(c); return columnNullableUnknown; }
        @Override public boolean isSigned(int c) throws SQLException { return numeric(at(c).type); }

        @Override
        public int getColumnDisplaySize(int c) throws SQLException {
            switch (at(c).type) {
            case Types.SMALLINT: return 6;
            case Types.INTEGER: return 11;
            case Types.BIGINT: return 20;
            case Types.BOOLEAN: return 5;
            default: return 128;
            }
        }

        @Override public String getColumnLabel(int c) throws SQLException { return at(c).label; }
        @Override public String getColumnName(int c) throws SQLException { return at(c).label; }
        @Override public String getSchemaName(int c) throws SQLException { at(c); return ""; }

        @Override
        public int getPrecision(int c) throws SQLException {
            switch (at(c).type) {
            case Types.SMALLINT: return 5;
            case Types.INTEGER: return 10;
            case Types.BIGINT: return 19;
            case Types.BOOLEAN: return 1;
            default: return 128;
            }
        }

        @Override public int getScale(int c) throws SQLException { at(c); return 0; }
        @Override public String getTableName(int c) throws SQLException { at(c); return ""; }
        @Override public String getCatalogName(int c) throws SQLException { at(c); return ""; }
        @Override public int getColumnType(int c) throws SQLException { return at(c).type; }
        @Override public String getColumnTypeName(int c) throws SQLException { return at(c).typeName(); }
        @Override public boolean isReadOnly(int c) throws SQLException { at(c); return true; }
        @Override public boolean isWritable(int c) throws SQLException { at(c); return false; }
        @Override public boolean isDefinitelyWritable(int c) throws SQLException { at(c); return false; }

        @Override
        public String getColumnClassName(int c) throws SQLException {
            switch (at(c).type) {
            case Types.SMALLINT: case Types.INTEGER: return Integer.class.getName();
            case Types.BIGINT: return Long.class.getName();
            case Types.BOOLEAN: return Boolean.class.getName();
            default: return String.class.getName();
            }
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

    @Override
    public <T> T unwrap(Class<T> iface) throws SQLException {
        if (iface.isInstance(this)) return iface.cast(this);
        throw JdbcOdbcErrors.of("Not a wrapper for " + iface.getName(), "HY024");
    }

    @Override
    public boolean isWrapperFor(Class<?> iface) {
        return iface.isInstance(this);
    }

    // ---------------------------------------------------------------- updates

    /** Moving off a row or the insert row drops what was set on it and not written, as JDBC says. */
    private void leaveRow() {
        if (onInsertRow) {
            onInsertRow = false;
            row = rowBeforeInsert;
        }
        if (changed != null) java.util.Arrays.fill(changed, false);
    }

    @Override
    public SQLException notUpdatable() {
        if (notUpdatable != null) return JdbcOdbcErrors.of(notUpdatable, "24000");
        return JdbcOdbcRowUpdates.super.notUpdatable();
    }

    private UpdatableRows writer() throws SQLException {
        checkOpen();
        if (writer == null) throw notUpdatable();
        return writer;
    }

    /** The current row (not the insert row) of an updatable result. */
    private Object[] currentRow(String what) throws SQLException {
        writer();
        if (onInsertRow) throw JdbcOdbcErrors.of("The cursor is on the insert row: " + what + " needs a row", "24000");
        if (row < 1 || row > rows.size()) throw JdbcOdbcErrors.of("No row is current: " + what + " needs one", "24000");
        return rows.get(row - 1);
    }

    @Override
    public void updateValue(int column, Object value, int sqlType) throws SQLException {
        UpdatableRows w = writer();
        if (!onInsertRow && (row < 1 || row > rows.size())) {
            throw JdbcOdbcErrors.of("No row is current to update", "24000");
        }
        if (column < 1 || column > columns.length) {
            throw JdbcOdbcErrors.of("Column index " + column + " is outside 1.." + columns.length, "07009");
        }
        if (!w.isColumn(column - 1)) {
            throw JdbcOdbcErrors.of("Column " + column + " (" + columns[column - 1].label + ") is not a column of "
                    + w.table() + " and cannot be updated", "42S22");
        }
        pending[column - 1] = value;
        pendingTypes[column - 1] = sqlType;
        changed[column - 1] = true;
    }

    @Override
    public void updateRow() throws SQLException {
        Object[] r = currentRow("updateRow");
        rows.set(row - 1, writer.update(r, pending, pendingTypes, changed));
        java.util.Arrays.fill(changed, false);
    }

    @Override
    public void insertRow() throws SQLException {
        writer();
        if (!onInsertRow) throw JdbcOdbcErrors.of("insertRow needs the insert row (moveToInsertRow)", "24000");
        Object[] added = writer.insert(pending, pendingTypes, changed);
        java.util.Arrays.fill(changed, false);
        if (added != null) rows.add(added);
    }

    /** Deletes the current row from the table and the result; the next row moved to is the one after it. */
    @Override
    public void deleteRow() throws SQLException {
        Object[] r = currentRow("deleteRow");
        writer.delete(r);
        rows.remove(row - 1);
        row--;
        java.util.Arrays.fill(changed, false);
    }

    @Override
    public void refreshRow() throws SQLException {
        Object[] r = currentRow("refreshRow");
        Object[] now = writer.refresh(r);
        if (now == null) {
            throw JdbcOdbcErrors.of("The row is no longer in the table (deleted or its key changed)", "24000");
        }
        rows.set(row - 1, now);
        java.util.Arrays.fill(changed, false);
    }

    @Override
    public void cancelRowUpdates() throws SQLException {
        currentRow("cancelRowUpdates");
        java.util.Arrays.fill(changed, false);
    }

    @Override
    public void moveToInsertRow() throws SQLException {
        writer();
        if (!onInsertRow) rowBeforeInsert = row;
        onInsertRow = true;
        java.util.Arrays.fill(changed, false);
    }

    @Override
    public void moveToCurrentRow() throws SQLException {
        writer();
        leaveRow();
    }

    /** Changes show in the rows at once (the row is read back), so none is marked. */
    @Override public boolean rowUpdated() { return false; }
    @Override public boolean rowInserted() { return false; }
    @Override public boolean rowDeleted() { return false; }
}
