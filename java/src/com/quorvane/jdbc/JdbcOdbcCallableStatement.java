package com.quorvane.jdbc;

import java.math.BigDecimal;
import java.nio.charset.StandardCharsets;
import java.sql.Array;
import java.sql.Blob;
import java.sql.CallableStatement;
import java.sql.Clob;
import java.sql.Date;
import java.sql.NClob;
import java.sql.Ref;
import java.sql.RowId;
import java.sql.SQLException;
import java.sql.SQLType;
import java.sql.SQLXML;
import java.sql.Time;
import java.sql.Timestamp;
import java.sql.Types;

/**
 * A call of a stored procedure, {@code {call name(?, ...)}}: IN parameters as
 * a prepared statement's, and OUT parameters bound as text
 * ({@code bindOutParameterString}) and read after the execution through the
 * driver's conversions ({@link Conversion}): each output parameter's value is
 * parsed from its text into the form of its kind, so the getters answer as a
 * result set's do for a column of that kind. The kind is the declared type of
 * the result column the data source ran the call as (PostgreSQL runs a call
 * as a query of one row), else the registered type. Parameters by name are
 * not supported.
 */
public class JdbcOdbcCallableStatement extends JdbcOdbcPreparedStatement implements CallableStatement {
    /** Bytes of the text buffer of each output parameter. */
    private static final int OUT_BUFFER = 8192;

    /** Per parameter: the registered JDBC type of an output parameter, or 0. */
    private final int[] outTypes;
    private final byte[][] outBuffers;
    private final byte[][] outLengths;
    private final String[] outValues;
    /** Per parameter: how the getters read an output parameter's value. */
    private final Conversion[] outConvs;
    /** Per parameter: the length of an output value longer than its buffer (it arrived cut), else 0. */
    private final int[] outCut;
    private final OutRow outRow = new OutRow();

    JdbcOdbcCallableStatement(JdbcOdbcConnection conn, StatementState state, String sql) throws SQLException {
        super(conn, state, sql);
        outTypes = new int[numParams];
        outBuffers = new byte[numParams][];
        outLengths = new byte[numParams][];
        outValues = new String[numParams];
        outConvs = new Conversion[numParams];
        outCut = new int[numParams];
    }

    /** The output values of the last execution, in the forms of their kinds. */
    private final class OutRow extends Conversion.ObjectRow {
        @Override
        Object readObject(int i) throws SQLException {
            if (outCut[i] != 0) {
                throw JdbcOdbcErrors.of(name(i) + " holds " + (outCut[i] > 0 ? outCut[i] + " bytes of text" : "a value")
                        + ", more than the " + (OUT_BUFFER - 1) + " an output parameter reads", "22001");
            }
            String s = outValues[i];
            wasNull = s == null;
            return s == null ? null : outConvs[i].fromText(s, name(i));
        }

        @Override
        String name(int i) {
            return "Parameter " + (i + 1);
        }
    }

    private void register(int index, int jdbcType) throws SQLException {
        checkOpen();
        if (index < 1 || index > numParams) {
            throw JdbcOdbcErrors.of("Parameter index " + index + " is outside 1.." + numParams, "07009");
        }
        outTypes[index - 1] = jdbcType == 0 ? Types.VARCHAR : jdbcType;
        outConvs[index - 1] = Conversion.forJdbcType(outTypes[index - 1]);
    }

    @Override
    boolean isOutput(int i) {
        return outTypes[i] != 0;
    }

    /** The ODBC SQL type of a registered JDBC type. */
    private static int odbcType(int jdbcType) {
        switch (jdbcType) {
        case Types.DATE: return Odbc.DATE;
        case Types.TIME: return Odbc.TIME;
        case Types.TIMESTAMP: return Odbc.TIMESTAMP;
        case Types.NCHAR: return Odbc.WCHAR;
        case Types.NVARCHAR: return Odbc.WVARCHAR;
        case Types.LONGNVARCHAR: return Odbc.WLONGVARCHAR;
        case Types.BOOLEAN: return Odbc.BIT;
        default: return jdbcType;
        }
    }

    /**
     * Binds the output parameters as text. A registered parameter that also
     * has a value set is an input/output parameter: its value goes in the
     * same buffer, as UTF-8 text, and libruva70 binds it for input and output
     * (statement option 3059 around the binding).
     */
    @Override
    void bindOutputs() throws SQLException {
        for (int i = 0; i < numParams; i++) {
            outValues[i] = null;
            outCut[i] = 0;
            if (outTypes[i] == 0) continue;
            byte[] buffer = new byte[OUT_BUFFER];
            byte[] length = new byte[4];
            boolean input = isSet(i);
            if (input) {
                String v = inputText(i);
                int n = -1; // SQL_NULL_DATA
                if (v != null) {
                    byte[] b = v.getBytes(StandardCharsets.UTF_8);
                    if (b.length >= OUT_BUFFER) {
                        throw JdbcOdbcErrors.of("Input/output parameter " + (i + 1) + " is longer than "
                                + (OUT_BUFFER - 1) + " bytes", "22001");
                    }
                    System.arraycopy(b, 0, buffer, 0, b.length);
                    n = b.length;
                }
                length[0] = (byte) n;
                length[1] = (byte) (n >> 8);
                length[2] = (byte) (n >> 16);
                length[3] = (byte) (n >> 24);
                outputInput(1);
            }
            outBuffers[i] = buffer;
            outLengths[i] = length;
            int[] storage = new int[4];
            short rc;
            try {
                rc = odbc.bindOutParameterString(state.hStmt, i + 1, odbcType(outTypes[i]), 0, buffer, length, storage);
            } finally {
                if (input) outputInput(0);
            }
            if (storage[0] != 0 || storage[1] != 0) state.keepStorage(storage);
            if (!Odbc.succeeded(rc)) throw failure("binding output parameter " + (i + 1), false);
        }
    }

    private void outputInput(int on) throws SQLException {
        odbc.setStmtOption(state.hStmt, Odbc.STMT_OUTPUT_INPUT, on, state.ec);
        if (!Odbc.succeeded(state.ec[0])) throw failure("binding an input/output parameter", false);
    }

    /**
     * Runs the call and returns its update count. PostgreSQL runs a
     * {@code {call}} as a query of the function's row; that row (the OUT
     * parameters already read from it) is discarded and the count is 0, as
     * pgjdbc gives it.
     */
    @Override
    public long executeLargeUpdate() throws SQLException {
        if (execute()) {
            discardResults();
            return 0;
        }
        return updateCount;
    }

    @Override
    void readOutputs() {
        int outputs = 0;
        for (int i = 0; i < numParams; i++) {
            if (outTypes[i] == 0 || outBuffers[i] == null) continue;
            outputs++;
            outConvs[i] = Conversion.forJdbcType(outTypes[i]);
            byte[] l = outLengths[i];
            int len = (l[0] & 0xFF) | (l[1] & 0xFF) << 8 | (l[2] & 0xFF) << 16 | l[3] << 24;
            // Longer than the buffer (or of a length the driver cannot tell): the text arrived cut.
            outCut[i] = len >= OUT_BUFFER || len == -4 ? len : 0;
            outValues[i] = len == -1 ? null : Odbc.text(outBuffers[i]);
        }
        if (outputs > 0) declaredKinds(outputs);
    }

    /**
     * Reads the output parameters by their declared types where the data
     * source ran the call as a query whose columns are the output parameters
     * in order (PostgreSQL: {@code SELECT * FROM f(...)}, one column per OUT
     * or INOUT parameter, or the function's value). The registered type
     * cannot tell a timestamp with time zone from one without (psqlODBC
     * writes the instant's UTC wall time without its offset into the
     * buffer); the column's description can, and asks no round trip. A
     * parameter registered as character data stays text.
     */
    private void declaredKinds(int outputs) {
        int h = state.hStmt;
        byte[] ec = new byte[2];
        int n = odbc.numResultCols(h, ec);
        if (!Odbc.succeeded(ec[0]) || n != outputs) {
            if (n <= 0 && outTypes[0] != 0 && !isCharacter(outTypes[0])) {
                Conversion r = returnConversion();
                if (r != null) outConvs[0] = r;
            }
            return;
        }
        int[] types = new int[n], driverTypes = new int[n], lengths = new int[n];
        odbc.getStmtTypeInfo(0, h, types, driverTypes, lengths, ec, n);
        if (!Odbc.succeeded(ec[0]) || ec[1] != 0) return;
        int c = 0;
        for (int i = 0; i < numParams; i++) {
            if (outTypes[i] == 0 || outBuffers[i] == null) continue;
            int t = types[c];
            boolean text = t == Odbc.CHAR || t == Odbc.VARCHAR || t == Odbc.WCHAR || t == Odbc.WVARCHAR
                    || t == Odbc.LONGVARCHAR || t == Odbc.WLONGVARCHAR;
            boolean bool = text && lengths[c] <= 16 && isBooleanName(JdbcOdbcResultSet.attributeString(odbc, h,
                    c + 1, Odbc.COL_TYPE_NAME));
            c++;
            if (isCharacter(outTypes[i]) && !bool) continue;
            outConvs[i] = Conversion.forColumn(t, driverTypes[c - 1], bool);
        }
    }

    /** The declared type of a {@code {? = call f(...)}}'s value, asked once; null when unknown. */
    private Conversion returnConversion;
    private boolean returnAsked;

    /**
     * The conversion of the value of a {@code {? = call f(...)}}: the data
     * source (psqlODBC) moves the function's row into the output parameter
     * and leaves no result to describe, so the function's declared return
     * type is asked once from the catalog ({@code getProcedureColumns}, the
     * row of the return value), as the result's description would give it. A
     * name that does not lead to one function, or whose overloads disagree,
     * leaves the registered type.
     */
    private Conversion returnConversion() {
        if (returnAsked) return returnConversion;
        returnAsked = true;
        // Asked once per connection and call text: a pool's next prepareCall of the text asks nothing.
        Conversion known = conn.returnTypes.get(sql);
        if (known != null) return returnConversion = known == Conversion.NONE ? null : known;
        returnConversion = askReturnConversion();
        if (conn.returnTypes.size() >= 256) conn.returnTypes.clear();  // texts made with literals: bounded
        conn.returnTypes.put(sql, returnConversion == null ? Conversion.NONE : returnConversion);
        return returnConversion;
    }

    private Conversion askReturnConversion() {
        java.util.regex.Matcher m = RETURN_CALL.matcher(sql);
        if (!m.lookingAt()) return null;
        String name = m.group(2), schema = m.group(1);
        try {
            java.sql.DatabaseMetaData md = conn.getMetaData();
            String esc = md.getSearchStringEscape();
            Conversion found = null;
            try (java.sql.ResultSet rs = md.getProcedureColumns(null, schema == null ? null
                    : pattern(stored(md, schema), esc), pattern(stored(md, name), esc), "%")) {
                while (rs.next()) {
                    if (rs.getInt("COLUMN_TYPE") != java.sql.DatabaseMetaData.procedureColumnReturn) continue;
                    Conversion c = declared(rs.getInt("DATA_TYPE"), rs.getString("TYPE_NAME"));
                    if (found != null && found != c) return null;
                    found = c;
                }
            }
            return found;
        } catch (SQLException e) {
            return null;
        }
    }

    /** {@code {? = call [schema.]name(} with plain or quoted names. */
    private static final java.util.regex.Pattern RETURN_CALL = java.util.regex.Pattern.compile(
            "\\s*\\{\\s*\\?\\s*=\\s*call\\s+(?:(\"[^\"]+\"|[\\w$]+)\\s*\\.\\s*)?(\"[^\"]+\"|[\\w$]+)\\s*[({]",
            java.util.regex.Pattern.CASE_INSENSITIVE);

    /** A name as the catalog stores it: a quoted one as written, another in the data source's case. */
    private static String stored(java.sql.DatabaseMetaData md, String n) throws SQLException {
        if (n.startsWith("\"")) return n.substring(1, n.length() - 1);
        if (md.storesLowerCaseIdentifiers()) return n.toLowerCase(java.util.Locale.ROOT);
        if (md.storesUpperCaseIdentifiers()) return n.toUpperCase(java.util.Locale.ROOT);
        return n;
    }

    /** A name as a catalog pattern that matches only itself. */
    private static String pattern(String n, String esc) {
        if (esc == null || esc.isEmpty()) return n;
        return n.replace(esc, esc + esc).replace("_", esc + "_").replace("%", esc + "%");
    }

    /** The conversion of a catalog's JDBC type and type name, as a described result column of the type gets. */
    private static Conversion declared(int jdbcType, String typeName) {
        String t = typeName == null ? "" : typeName.toLowerCase(java.util.Locale.ROOT);
        if (jdbcType == Types.TIMESTAMP && (t.equals("timestamptz") || t.equals("timestamp with time zone"))) {
            return Conversion.TIMESTAMP_TZ;
        }
        if (isBooleanName(t)) return Conversion.BOOLEAN_TEXT;
        return Conversion.forJdbcType(jdbcType);
    }

    private static boolean isCharacter(int jdbcType) {
        switch (jdbcType) {
        case Types.CHAR: case Types.VARCHAR: case Types.LONGVARCHAR: case Types.NCHAR: case Types.NVARCHAR:
        case Types.LONGNVARCHAR: case Types.CLOB: case Types.NCLOB:
            return true;
        default:
            return false;
        }
    }

    private static boolean isBooleanName(String name) {
        return "bool".equalsIgnoreCase(name) || "boolean".equalsIgnoreCase(name);
    }

    /** The index (from 0) of a registered output parameter; under the lock. */
    private int out(int index) throws SQLException {
        if (index < 1 || index > numParams || outTypes[index - 1] == 0) {
            throw JdbcOdbcErrors.of("Parameter " + index + " is not a registered output parameter", "07009");
        }
        return index - 1;
    }

    @Override
    public Array getArray(int a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getArray");
    }

    @Override
    public Array getArray(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getArray)");
    }

    @Override
    public BigDecimal getBigDecimal(int a0) throws SQLException {
        lock();
        try {
            int i = out(a0);
            return outConvs[i].getBigDecimal(outRow, i);
        } finally {
            unlock();
        }
    }

    @Override
    public BigDecimal getBigDecimal(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getBigDecimal)");
    }

    @Override
    @Deprecated
    public BigDecimal getBigDecimal(int a0, int a1) throws SQLException {
        BigDecimal d = getBigDecimal(a0);
        return d == null ? null : d.setScale(a1, java.math.RoundingMode.HALF_UP);
    }

    @Override
    public Blob getBlob(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getBlob)");
    }

    @Override
    public Blob getBlob(int a0) throws SQLException {
        byte[] b = getBytes(a0);
        return b == null ? null : new JdbcOdbcBlob(b);
    }

    @Override
    public boolean getBoolean(int a0) throws SQLException {
        lock();
        try {
            int i = out(a0);
            return outConvs[i].getBoolean(outRow, i);
        } finally {
            unlock();
        }
    }

    @Override
    public boolean getBoolean(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getBoolean)");
    }

    @Override
    public byte getByte(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getByte)");
    }

    @Override
    public byte getByte(int a0) throws SQLException {
        lock();
        try {
            int i = out(a0);
            return outConvs[i].getByte(outRow, i);
        } finally {
            unlock();
        }
    }

    @Override
    public byte[] getBytes(int a0) throws SQLException {
        lock();
        try {
            int i = out(a0);
            return outConvs[i].getBytes(outRow, i);
        } finally {
            unlock();
        }
    }

    @Override
    public byte[] getBytes(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getBytes)");
    }

    @Override
    public java.io.Reader getCharacterStream(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getCharacterStream)");
    }

    @Override
    public java.io.Reader getCharacterStream(int a0) throws SQLException {
        String s = getString(a0);
        return s == null ? null : new java.io.StringReader(s);
    }

    @Override
    public Clob getClob(int a0) throws SQLException {
        return getNClob(a0);
    }

    @Override
    public Clob getClob(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getClob)");
    }

    @Override
    public Date getDate(int a0) throws SQLException {
        return getDate(a0, (java.util.Calendar) null);
    }

    @Override
    public Date getDate(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getDate)");
    }

    @Override
    public Date getDate(String a0, java.util.Calendar a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getDate)");
    }

    @Override
    public Date getDate(int a0, java.util.Calendar a1) throws SQLException {
        lock();
        try {
            int i = out(a0);
            return outConvs[i].getDate(outRow, i, a1);
        } finally {
            unlock();
        }
    }

    @Override
    public double getDouble(int a0) throws SQLException {
        lock();
        try {
            int i = out(a0);
            return outConvs[i].getDouble(outRow, i);
        } finally {
            unlock();
        }
    }

    @Override
    public double getDouble(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getDouble)");
    }

    @Override
    public float getFloat(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getFloat)");
    }

    @Override
    public float getFloat(int a0) throws SQLException {
        lock();
        try {
            int i = out(a0);
            return outConvs[i].getFloat(outRow, i);
        } finally {
            unlock();
        }
    }

    @Override
    public int getInt(int a0) throws SQLException {
        lock();
        try {
            int i = out(a0);
            return outConvs[i].getInt(outRow, i);
        } finally {
            unlock();
        }
    }

    @Override
    public int getInt(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getInt)");
    }

    @Override
    public long getLong(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getLong)");
    }

    @Override
    public long getLong(int a0) throws SQLException {
        lock();
        try {
            int i = out(a0);
            return outConvs[i].getLong(outRow, i);
        } finally {
            unlock();
        }
    }

    @Override
    public java.io.Reader getNCharacterStream(int a0) throws SQLException {
        return getCharacterStream(a0);
    }

    @Override
    public java.io.Reader getNCharacterStream(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getNCharacterStream)");
    }

    @Override
    public NClob getNClob(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getNClob)");
    }

    @Override
    public NClob getNClob(int a0) throws SQLException {
        String s = getString(a0);
        return s == null ? null : new JdbcOdbcClob(s);
    }

    @Override
    public String getNString(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getNString)");
    }

    @Override
    public String getNString(int a0) throws SQLException {
        return getString(a0);
    }

    @Override
    public Object getObject(int a0) throws SQLException {
        lock();
        try {
            int i = out(a0);
            return outConvs[i].getObject(outRow, i);
        } finally {
            unlock();
        }
    }

    @Override
    public Object getObject(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getObject)");
    }

    @Override
    public Object getObject(int a0, java.util.Map<String, Class<?>> a1) throws SQLException {
        if (a1 != null && !a1.isEmpty()) throw JdbcOdbcErrors.notSupported("Type maps");
        return getObject(a0);
    }

    @Override
    public <T> T getObject(int a0, Class<T> a1) throws SQLException {
        lock();
        try {
            int i = out(a0);
            return outConvs[i].getObject(outRow, i, a1);
        } finally {
            unlock();
        }
    }

    @Override
    public <T> T getObject(String a0, Class<T> a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getObject)");
    }

    @Override
    public Object getObject(String a0, java.util.Map<String, Class<?>> a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getObject)");
    }

    @Override
    public Ref getRef(int a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getRef");
    }

    @Override
    public Ref getRef(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getRef)");
    }

    @Override
    public RowId getRowId(int a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("getRowId");
    }

    @Override
    public RowId getRowId(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getRowId)");
    }

    @Override
    public SQLXML getSQLXML(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getSQLXML)");
    }

    @Override
    public SQLXML getSQLXML(int a0) throws SQLException {
        String s = getString(a0);
        return s == null ? null : new JdbcOdbcSQLXML(s);
    }

    @Override
    public short getShort(int a0) throws SQLException {
        lock();
        try {
            int i = out(a0);
            return outConvs[i].getShort(outRow, i);
        } finally {
            unlock();
        }
    }

    @Override
    public short getShort(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getShort)");
    }

    @Override
    public String getString(int a0) throws SQLException {
        lock();
        try {
            int i = out(a0);
            return outConvs[i].getString(outRow, i);
        } finally {
            unlock();
        }
    }

    @Override
    public String getString(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getString)");
    }

    @Override
    public Time getTime(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getTime)");
    }

    @Override
    public Time getTime(int a0) throws SQLException {
        return getTime(a0, (java.util.Calendar) null);
    }

    @Override
    public Time getTime(String a0, java.util.Calendar a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getTime)");
    }

    @Override
    public Time getTime(int a0, java.util.Calendar a1) throws SQLException {
        lock();
        try {
            int i = out(a0);
            return outConvs[i].getTime(outRow, i, a1);
        } finally {
            unlock();
        }
    }

    @Override
    public Timestamp getTimestamp(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getTimestamp)");
    }

    @Override
    public Timestamp getTimestamp(int a0) throws SQLException {
        return getTimestamp(a0, (java.util.Calendar) null);
    }

    @Override
    public Timestamp getTimestamp(String a0, java.util.Calendar a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getTimestamp)");
    }

    @Override
    public Timestamp getTimestamp(int a0, java.util.Calendar a1) throws SQLException {
        lock();
        try {
            int i = out(a0);
            return outConvs[i].getTimestamp(outRow, i, a1);
        } finally {
            unlock();
        }
    }

    @Override
    public java.net.URL getURL(int a0) throws SQLException {
        String s = getString(a0);
        if (s == null) return null;
        try {
            return new java.net.URI(s.trim()).toURL();
        } catch (java.net.URISyntaxException | java.net.MalformedURLException | IllegalArgumentException e) {
            throw JdbcOdbcErrors.exception("Parameter " + a0 + " holds no URL", "22018", 0, e);
        }
    }

    @Override
    public java.net.URL getURL(String a0) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (getURL)");
    }

    @Override
    public void registerOutParameter(String a0, int a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (registerOutParameter)");
    }

    @Override
    public void registerOutParameter(int a0, int a1) throws SQLException {
        register(a0, a1);
    }

    @Override
    public void registerOutParameter(int a0, int a1, int a2) throws SQLException {
        register(a0, a1);
    }

    @Override
    public void registerOutParameter(String a0, int a1, String a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (registerOutParameter)");
    }

    @Override
    public void registerOutParameter(String a0, int a1, int a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (registerOutParameter)");
    }

    @Override
    public void registerOutParameter(int a0, int a1, String a2) throws SQLException {
        register(a0, a1);
    }

    @Override
    public void setAsciiStream(String a0, java.io.InputStream a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setAsciiStream)");
    }

    @Override
    public void setAsciiStream(String a0, java.io.InputStream a1, long a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setAsciiStream)");
    }

    @Override
    public void setAsciiStream(String a0, java.io.InputStream a1, int a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setAsciiStream)");
    }

    @Override
    public void setBigDecimal(String a0, BigDecimal a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setBigDecimal)");
    }

    @Override
    public void setBinaryStream(String a0, java.io.InputStream a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setBinaryStream)");
    }

    @Override
    public void setBinaryStream(String a0, java.io.InputStream a1, int a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setBinaryStream)");
    }

    @Override
    public void setBinaryStream(String a0, java.io.InputStream a1, long a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setBinaryStream)");
    }

    @Override
    public void setBlob(String a0, java.io.InputStream a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setBlob)");
    }

    @Override
    public void setBlob(String a0, Blob a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setBlob)");
    }

    @Override
    public void setBlob(String a0, java.io.InputStream a1, long a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setBlob)");
    }

    @Override
    public void setBoolean(String a0, boolean a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setBoolean)");
    }

    @Override
    public void setByte(String a0, byte a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setByte)");
    }

    @Override
    public void setBytes(String a0, byte[] a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setBytes)");
    }

    @Override
    public void setCharacterStream(String a0, java.io.Reader a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setCharacterStream)");
    }

    @Override
    public void setCharacterStream(String a0, java.io.Reader a1, long a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setCharacterStream)");
    }

    @Override
    public void setCharacterStream(String a0, java.io.Reader a1, int a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setCharacterStream)");
    }

    @Override
    public void setClob(String a0, java.io.Reader a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setClob)");
    }

    @Override
    public void setClob(String a0, Clob a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setClob)");
    }

    @Override
    public void setClob(String a0, java.io.Reader a1, long a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setClob)");
    }

    @Override
    public void setDate(String a0, Date a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setDate)");
    }

    @Override
    public void setDate(String a0, Date a1, java.util.Calendar a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setDate)");
    }

    @Override
    public void setDouble(String a0, double a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setDouble)");
    }

    @Override
    public void setFloat(String a0, float a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setFloat)");
    }

    @Override
    public void setInt(String a0, int a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setInt)");
    }

    @Override
    public void setLong(String a0, long a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setLong)");
    }

    @Override
    public void setNCharacterStream(String a0, java.io.Reader a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setNCharacterStream)");
    }

    @Override
    public void setNCharacterStream(String a0, java.io.Reader a1, long a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setNCharacterStream)");
    }

    @Override
    public void setNClob(String a0, java.io.Reader a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setNClob)");
    }

    @Override
    public void setNClob(String a0, NClob a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setNClob)");
    }

    @Override
    public void setNClob(String a0, java.io.Reader a1, long a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setNClob)");
    }

    @Override
    public void setNString(String a0, String a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setNString)");
    }

    @Override
    public void setNull(String a0, int a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setNull)");
    }

    @Override
    public void setNull(String a0, int a1, String a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setNull)");
    }

    @Override
    public void setObject(String a0, Object a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setObject)");
    }

    @Override
    public void setObject(String a0, Object a1, int a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setObject)");
    }

    @Override
    public void setObject(String a0, Object a1, int a2, int a3) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setObject)");
    }

    @Override
    public void setRowId(String a0, RowId a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setRowId)");
    }

    @Override
    public void setSQLXML(String a0, SQLXML a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setSQLXML)");
    }

    @Override
    public void setShort(String a0, short a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setShort)");
    }

    @Override
    public void setString(String a0, String a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setString)");
    }

    @Override
    public void setTime(String a0, Time a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setTime)");
    }

    @Override
    public void setTime(String a0, Time a1, java.util.Calendar a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setTime)");
    }

    @Override
    public void setTimestamp(String a0, Timestamp a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setTimestamp)");
    }

    @Override
    public void setTimestamp(String a0, Timestamp a1, java.util.Calendar a2) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setTimestamp)");
    }

    @Override
    public void setURL(String a0, java.net.URL a1) throws SQLException {
        throw JdbcOdbcErrors.notSupported("Named parameters (setURL)");
    }

    @Override
    public boolean wasNull() throws SQLException {
        checkOpen();
        return outRow.wasNull;
    }
}
