package com.quorvane.jdbc;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.Reader;
import java.math.BigDecimal;
import java.nio.charset.StandardCharsets;
import java.sql.Array;
import java.sql.Blob;
import java.sql.Clob;
import java.sql.Date;
import java.sql.NClob;
import java.sql.Ref;
import java.sql.ResultSet;
import java.sql.RowId;
import java.sql.SQLException;
import java.sql.SQLXML;
import java.sql.Time;
import java.sql.Timestamp;
import java.sql.Types;

/**
 * The update methods of the driver's result sets. Every {@code updateXxx}
 * funnels into {@link #updateValue}, with the value in the form a statement
 * parameter takes ({@code setObject}) and its SQL type; streams, readers and
 * LOB objects are read whole first. A result set that cannot be updated
 * refuses in {@code updateValue} and in the row methods; the held result of an
 * updatable statement overrides them.
 */
interface JdbcOdbcRowUpdates extends ResultSet {

    /** Sets a column of the current or insert row to a value; {@code sqlType} is {@link Types#OTHER} for "as its class". */
    default void updateValue(int column, Object value, int sqlType) throws SQLException {
        throw notUpdatable();
    }

    /** Why this result set cannot be updated. */
    default SQLException notUpdatable() {
        return JdbcOdbcErrors.notSupported("Updating a result set of a read-only statement");
    }

    @Override default void insertRow() throws SQLException { throw notUpdatable(); }
    @Override default void updateRow() throws SQLException { throw notUpdatable(); }
    @Override default void deleteRow() throws SQLException { throw notUpdatable(); }
    @Override default void refreshRow() throws SQLException { throw notUpdatable(); }
    @Override default void cancelRowUpdates() throws SQLException { throw notUpdatable(); }
    @Override default void moveToInsertRow() throws SQLException { throw notUpdatable(); }
    @Override default void moveToCurrentRow() throws SQLException { throw notUpdatable(); }

    /** The bytes of a stream, at most {@code length} of them when it is not negative. */
    static byte[] bytesOf(InputStream in, long length) throws SQLException {
        if (in == null) return null;
        try {
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            byte[] buf = new byte[8192];
            long left = length < 0 ? Long.MAX_VALUE : length;
            while (left > 0) {
                int n = in.read(buf, 0, (int) Math.min(buf.length, left));
                if (n < 0) break;
                out.write(buf, 0, n);
                left -= n;
            }
            return out.toByteArray();
        } catch (IOException e) {
            throw JdbcOdbcErrors.exception("Reading the stream failed: " + e.getMessage(), "HY000", 0, e);
        }
    }

    /** The characters of a reader, at most {@code length} of them when it is not negative. */
    static String textOf(Reader in, long length) throws SQLException {
        if (in == null) return null;
        try {
            StringBuilder out = new StringBuilder();
            char[] buf = new char[8192];
            long left = length < 0 ? Long.MAX_VALUE : length;
            while (left > 0) {
                int n = in.read(buf, 0, (int) Math.min(buf.length, left));
                if (n < 0) break;
                out.append(buf, 0, n);
                left -= n;
            }
            return out.toString();
        } catch (IOException e) {
            throw JdbcOdbcErrors.exception("Reading the reader failed: " + e.getMessage(), "HY000", 0, e);
        }
    }

    private static String ascii(InputStream in, long length) throws SQLException {
        byte[] b = bytesOf(in, length);
        return b == null ? null : new String(b, StandardCharsets.US_ASCII);
    }

    private static byte[] blob(Blob b) throws SQLException {
        return b == null ? null : b.getBytes(1, (int) b.length());
    }

    private static String clob(Clob c) throws SQLException {
        return c == null ? null : c.getSubString(1, (int) c.length());
    }

    @Override default void updateNull(int c) throws SQLException { updateValue(c, null, Types.NULL); }
    @Override default void updateBoolean(int c, boolean x) throws SQLException { updateValue(c, x, Types.BOOLEAN); }
    @Override default void updateByte(int c, byte x) throws SQLException { updateValue(c, x, Types.TINYINT); }
    @Override default void updateShort(int c, short x) throws SQLException { updateValue(c, x, Types.SMALLINT); }
    @Override default void updateInt(int c, int x) throws SQLException { updateValue(c, x, Types.INTEGER); }
    @Override default void updateLong(int c, long x) throws SQLException { updateValue(c, x, Types.BIGINT); }
    @Override default void updateFloat(int c, float x) throws SQLException { updateValue(c, x, Types.REAL); }
    @Override default void updateDouble(int c, double x) throws SQLException { updateValue(c, x, Types.DOUBLE); }
    @Override default void updateBigDecimal(int c, BigDecimal x) throws SQLException { updateValue(c, x, Types.DECIMAL); }
    @Override default void updateString(int c, String x) throws SQLException { updateValue(c, x, Types.VARCHAR); }
    @Override default void updateNString(int c, String x) throws SQLException { updateValue(c, x, Types.VARCHAR); }
    @Override default void updateBytes(int c, byte[] x) throws SQLException {
        updateValue(c, x == null ? null : x.clone(), Types.VARBINARY);
    }
    @Override default void updateDate(int c, Date x) throws SQLException { updateValue(c, x, Types.DATE); }
    @Override default void updateTime(int c, Time x) throws SQLException { updateValue(c, x, Types.TIME); }
    @Override default void updateTimestamp(int c, Timestamp x) throws SQLException { updateValue(c, x, Types.TIMESTAMP); }
    @Override default void updateObject(int c, Object x, int s) throws SQLException {
        updateValue(c, x instanceof BigDecimal ? ((BigDecimal) x).setScale(s, java.math.RoundingMode.HALF_UP) : x,
                Types.OTHER);
    }
    @Override default void updateObject(int c, Object x) throws SQLException { updateValue(c, x, Types.OTHER); }
    @Override default void updateAsciiStream(int c, InputStream x, int l) throws SQLException { updateAsciiStream(c, x, (long) l); }
    @Override default void updateAsciiStream(int c, InputStream x, long l) throws SQLException {
        updateValue(c, ascii(x, l), Types.LONGVARCHAR);
    }
    @Override default void updateAsciiStream(int c, InputStream x) throws SQLException { updateAsciiStream(c, x, -1L); }
    @Override default void updateBinaryStream(int c, InputStream x, int l) throws SQLException { updateBinaryStream(c, x, (long) l); }
    @Override default void updateBinaryStream(int c, InputStream x, long l) throws SQLException {
        updateValue(c, bytesOf(x, l), Types.LONGVARBINARY);
    }
    @Override default void updateBinaryStream(int c, InputStream x) throws SQLException { updateBinaryStream(c, x, -1L); }
    @Override default void updateCharacterStream(int c, Reader x, int l) throws SQLException { updateCharacterStream(c, x, (long) l); }
    @Override default void updateCharacterStream(int c, Reader x, long l) throws SQLException {
        updateValue(c, textOf(x, l), Types.LONGVARCHAR);
    }
    @Override default void updateCharacterStream(int c, Reader x) throws SQLException { updateCharacterStream(c, x, -1L); }
    @Override default void updateNCharacterStream(int c, Reader x, long l) throws SQLException { updateCharacterStream(c, x, l); }
    @Override default void updateNCharacterStream(int c, Reader x) throws SQLException { updateCharacterStream(c, x, -1L); }
    @Override default void updateBlob(int c, Blob x) throws SQLException { updateValue(c, blob(x), Types.LONGVARBINARY); }
    @Override default void updateBlob(int c, InputStream x, long l) throws SQLException { updateBinaryStream(c, x, l); }
    @Override default void updateBlob(int c, InputStream x) throws SQLException { updateBinaryStream(c, x, -1L); }
    @Override default void updateClob(int c, Clob x) throws SQLException { updateValue(c, clob(x), Types.LONGVARCHAR); }
    @Override default void updateClob(int c, Reader x, long l) throws SQLException { updateCharacterStream(c, x, l); }
    @Override default void updateClob(int c, Reader x) throws SQLException { updateCharacterStream(c, x, -1L); }
    @Override default void updateNClob(int c, NClob x) throws SQLException { updateValue(c, clob(x), Types.LONGVARCHAR); }
    @Override default void updateNClob(int c, Reader x, long l) throws SQLException { updateCharacterStream(c, x, l); }
    @Override default void updateNClob(int c, Reader x) throws SQLException { updateCharacterStream(c, x, -1L); }
    @Override default void updateSQLXML(int c, SQLXML x) throws SQLException {
        updateValue(c, x == null ? null : x.getString(), Types.LONGVARCHAR);
    }
    @Override default void updateArray(int c, Array x) throws SQLException { updateValue(c, x, Types.ARRAY); }
    @Override default void updateRef(int c, Ref x) throws SQLException { throw JdbcOdbcErrors.notSupported("Ref values"); }
    @Override default void updateRowId(int c, RowId x) throws SQLException { throw JdbcOdbcErrors.notSupported("RowId values"); }

    @Override default void updateNull(String l) throws SQLException { updateNull(findColumn(l)); }
    @Override default void updateBoolean(String l, boolean x) throws SQLException { updateBoolean(findColumn(l), x); }
    @Override default void updateByte(String l, byte x) throws SQLException { updateByte(findColumn(l), x); }
    @Override default void updateShort(String l, short x) throws SQLException { updateShort(findColumn(l), x); }
    @Override default void updateInt(String l, int x) throws SQLException { updateInt(findColumn(l), x); }
    @Override default void updateLong(String l, long x) throws SQLException { updateLong(findColumn(l), x); }
    @Override default void updateFloat(String l, float x) throws SQLException { updateFloat(findColumn(l), x); }
    @Override default void updateDouble(String l, double x) throws SQLException { updateDouble(findColumn(l), x); }
    @Override default void updateBigDecimal(String l, BigDecimal x) throws SQLException { updateBigDecimal(findColumn(l), x); }
    @Override default void updateString(String l, String x) throws SQLException { updateString(findColumn(l), x); }
    @Override default void updateNString(String l, String x) throws SQLException { updateNString(findColumn(l), x); }
    @Override default void updateBytes(String l, byte[] x) throws SQLException { updateBytes(findColumn(l), x); }
    @Override default void updateDate(String l, Date x) throws SQLException { updateDate(findColumn(l), x); }
    @Override default void updateTime(String l, Time x) throws SQLException { updateTime(findColumn(l), x); }
    @Override default void updateTimestamp(String l, Timestamp x) throws SQLException { updateTimestamp(findColumn(l), x); }
    @Override default void updateObject(String l, Object x, int s) throws SQLException { updateObject(findColumn(l), x, s); }
    @Override default void updateObject(String l, Object x) throws SQLException { updateObject(findColumn(l), x); }
    @Override default void updateAsciiStream(String l, InputStream x, int n) throws SQLException { updateAsciiStream(findColumn(l), x, n); }
    @Override default void updateAsciiStream(String l, InputStream x, long n) throws SQLException { updateAsciiStream(findColumn(l), x, n); }
    @Override default void updateAsciiStream(String l, InputStream x) throws SQLException { updateAsciiStream(findColumn(l), x); }
    @Override default void updateBinaryStream(String l, InputStream x, int n) throws SQLException { updateBinaryStream(findColumn(l), x, n); }
    @Override default void updateBinaryStream(String l, InputStream x, long n) throws SQLException { updateBinaryStream(findColumn(l), x, n); }
    @Override default void updateBinaryStream(String l, InputStream x) throws SQLException { updateBinaryStream(findColumn(l), x); }
    @Override default void updateCharacterStream(String l, Reader x, int n) throws SQLException { updateCharacterStream(findColumn(l), x, n); }
    @Override default void updateCharacterStream(String l, Reader x, long n) throws SQLException { updateCharacterStream(findColumn(l), x, n); }
    @Override default void updateCharacterStream(String l, Reader x) throws SQLException { updateCharacterStream(findColumn(l), x); }
    @Override default void updateNCharacterStream(String l, Reader x, long n) throws SQLException { updateNCharacterStream(findColumn(l), x, n); }
    @Override default void updateNCharacterStream(String l, Reader x) throws SQLException { updateNCharacterStream(findColumn(l), x); }
    @Override default void updateBlob(String l, Blob x) throws SQLException { updateBlob(findColumn(l), x); }
    @Override default void updateBlob(String l, InputStream x, long n) throws SQLException { updateBlob(findColumn(l), x, n); }
    @Override default void updateBlob(String l, InputStream x) throws SQLException { updateBlob(findColumn(l), x); }
    @Override default void updateClob(String l, Clob x) throws SQLException { updateClob(findColumn(l), x); }
    @Override default void updateClob(String l, Reader x, long n) throws SQLException { updateClob(findColumn(l), x, n); }
    @Override default void updateClob(String l, Reader x) throws SQLException { updateClob(findColumn(l), x); }
    @Override default void updateNClob(String l, NClob x) throws SQLException { updateNClob(findColumn(l), x); }
    @Override default void updateNClob(String l, Reader x, long n) throws SQLException { updateNClob(findColumn(l), x, n); }
    @Override default void updateNClob(String l, Reader x) throws SQLException { updateNClob(findColumn(l), x); }
    @Override default void updateSQLXML(String l, SQLXML x) throws SQLException { updateSQLXML(findColumn(l), x); }
    @Override default void updateArray(String l, Array x) throws SQLException { updateArray(findColumn(l), x); }
    @Override default void updateRef(String l, Ref x) throws SQLException { updateRef(findColumn(l), x); }
    @Override default void updateRowId(String l, RowId x) throws SQLException { updateRowId(findColumn(l), x); }
}
