package com.quorvane.jdbc;

import java.io.InputStream;
import java.io.Reader;
import java.math.BigDecimal;
import java.sql.Array;
import java.sql.Blob;
import java.sql.Clob;
import java.sql.Date;
import java.sql.NClob;
import java.sql.Ref;
import java.sql.ResultSet;
import java.sql.RowId;
import java.sql.SQLException;
import java.sql.SQLFeatureNotSupportedException;
import java.sql.SQLXML;
import java.sql.Time;
import java.sql.Timestamp;

/**
 * The update methods of a result set that cannot be updated: each throws
 * {@link SQLFeatureNotSupportedException}. Shared by the result sets of
 * queries and the driver's own in-memory result sets.
 */
interface JdbcOdbcReadOnlyResultSet extends ResultSet {

    private static SQLFeatureNotSupportedException readOnly() {
        return JdbcOdbcErrors.notSupported("Updating a result set");
    }

    @Override default void updateNull(int c) throws SQLException { throw readOnly(); }
    @Override default void updateBoolean(int c, boolean x) throws SQLException { throw readOnly(); }
    @Override default void updateByte(int c, byte x) throws SQLException { throw readOnly(); }
    @Override default void updateShort(int c, short x) throws SQLException { throw readOnly(); }
    @Override default void updateInt(int c, int x) throws SQLException { throw readOnly(); }
    @Override default void updateLong(int c, long x) throws SQLException { throw readOnly(); }
    @Override default void updateFloat(int c, float x) throws SQLException { throw readOnly(); }
    @Override default void updateDouble(int c, double x) throws SQLException { throw readOnly(); }
    @Override default void updateBigDecimal(int c, BigDecimal x) throws SQLException { throw readOnly(); }
    @Override default void updateString(int c, String x) throws SQLException { throw readOnly(); }
    @Override default void updateBytes(int c, byte[] x) throws SQLException { throw readOnly(); }
    @Override default void updateDate(int c, Date x) throws SQLException { throw readOnly(); }
    @Override default void updateTime(int c, Time x) throws SQLException { throw readOnly(); }
    @Override default void updateTimestamp(int c, Timestamp x) throws SQLException { throw readOnly(); }
    @Override default void updateAsciiStream(int c, InputStream x, int l) throws SQLException { throw readOnly(); }
    @Override default void updateBinaryStream(int c, InputStream x, int l) throws SQLException { throw readOnly(); }
    @Override default void updateCharacterStream(int c, Reader x, int l) throws SQLException { throw readOnly(); }
    @Override default void updateObject(int c, Object x, int s) throws SQLException { throw readOnly(); }
    @Override default void updateObject(int c, Object x) throws SQLException { throw readOnly(); }
    @Override default void updateNull(String c) throws SQLException { throw readOnly(); }
    @Override default void updateBoolean(String c, boolean x) throws SQLException { throw readOnly(); }
    @Override default void updateByte(String c, byte x) throws SQLException { throw readOnly(); }
    @Override default void updateShort(String c, short x) throws SQLException { throw readOnly(); }
    @Override default void updateInt(String c, int x) throws SQLException { throw readOnly(); }
    @Override default void updateLong(String c, long x) throws SQLException { throw readOnly(); }
    @Override default void updateFloat(String c, float x) throws SQLException { throw readOnly(); }
    @Override default void updateDouble(String c, double x) throws SQLException { throw readOnly(); }
    @Override default void updateBigDecimal(String c, BigDecimal x) throws SQLException { throw readOnly(); }
    @Override default void updateString(String c, String x) throws SQLException { throw readOnly(); }
    @Override default void updateBytes(String c, byte[] x) throws SQLException { throw readOnly(); }
    @Override default void updateDate(String c, Date x) throws SQLException { throw readOnly(); }
    @Override default void updateTime(String c, Time x) throws SQLException { throw readOnly(); }
    @Override default void updateTimestamp(String c, Timestamp x) throws SQLException { throw readOnly(); }
    @Override default void updateAsciiStream(String c, InputStream x, int l) throws SQLException { throw readOnly(); }
    @Override default void updateBinaryStream(String c, InputStream x, int l) throws SQLException { throw readOnly(); }
    @Override default void updateCharacterStream(String c, Reader x, int l) throws SQLException { throw readOnly(); }
    @Override default void updateObject(String c, Object x, int s) throws SQLException { throw readOnly(); }
    @Override default void updateObject(String c, Object x) throws SQLException { throw readOnly(); }
    @Override default void insertRow() throws SQLException { throw readOnly(); }
    @Override default void updateRow() throws SQLException { throw readOnly(); }
    @Override default void deleteRow() throws SQLException { throw readOnly(); }
    @Override default void refreshRow() throws SQLException { throw readOnly(); }
    @Override default void cancelRowUpdates() throws SQLException { throw readOnly(); }
    @Override default void moveToInsertRow() throws SQLException { throw readOnly(); }
    @Override default void moveToCurrentRow() throws SQLException { throw readOnly(); }
    @Override default void updateRef(int c, Ref x) throws SQLException { throw readOnly(); }
    @Override default void updateRef(String c, Ref x) throws SQLException { throw readOnly(); }
    @Override default void updateBlob(int c, Blob x) throws SQLException { throw readOnly(); }
    @Override default void updateBlob(String c, Blob x) throws SQLException { throw readOnly(); }
    @Override default void updateClob(int c, Clob x) throws SQLException { throw readOnly(); }
    @Override default void updateClob(String c, Clob x) throws SQLException { throw readOnly(); }
    @Override default void updateArray(int c, Array x) throws SQLException { throw readOnly(); }
    @Override default void updateArray(String c, Array x) throws SQLException { throw readOnly(); }
    @Override default void updateRowId(int c, RowId x) throws SQLException { throw readOnly(); }
    @Override default void updateRowId(String c, RowId x) throws SQLException { throw readOnly(); }
    @Override default void updateNString(int c, String x) throws SQLException { throw readOnly(); }
    @Override default void updateNString(String c, String x) throws SQLException { throw readOnly(); }
    @Override default void updateNClob(int c, NClob x) throws SQLException { throw readOnly(); }
    @Override default void updateNClob(String c, NClob x) throws SQLException { throw readOnly(); }
    @Override default void updateSQLXML(int c, SQLXML x) throws SQLException { throw readOnly(); }
    @Override default void updateSQLXML(String c, SQLXML x) throws SQLException { throw readOnly(); }
    @Override default void updateNCharacterStream(int c, Reader x, long l) throws SQLException { throw readOnly(); }
    @Override default void updateNCharacterStream(String c, Reader x, long l) throws SQLException { throw readOnly(); }
    @Override default void updateAsciiStream(int c, InputStream x, long l) throws SQLException { throw readOnly(); }
    @Override default void updateBinaryStream(int c, InputStream x, long l) throws SQLException { throw readOnly(); }
    @Override default void updateCharacterStream(int c, Reader x, long l) throws SQLException { throw readOnly(); }
    @Override default void updateAsciiStream(String c, InputStream x, long l) throws SQLException { throw readOnly(); }
    @Override default void updateBinaryStream(String c, InputStream x, long l) throws SQLException { throw readOnly(); }
    @Override default void updateCharacterStream(String c, Reader x, long l) throws SQLException { throw readOnly(); }
    @Override default void updateBlob(int c, InputStream x, long l) throws SQLException { throw readOnly(); }
    @Override default void updateBlob(String c, InputStream x, long l) throws SQLException { throw readOnly(); }
    @Override default void updateClob(int c, Reader x, long l) throws SQLException { throw readOnly(); }
    @Override default void updateClob(String c, Reader x, long l) throws SQLException { throw readOnly(); }
    @Override default void updateNClob(int c, Reader x, long l) throws SQLException { throw readOnly(); }
    @Override default void updateNClob(String c, Reader x, long l) throws SQLException { throw readOnly(); }
    @Override default void updateNCharacterStream(int c, Reader x) throws SQLException { throw readOnly(); }
    @Override default void updateNCharacterStream(String c, Reader x) throws SQLException { throw readOnly(); }
    @Override default void updateAsciiStream(int c, InputStream x) throws SQLException { throw readOnly(); }
    @Override default void updateBinaryStream(int c, InputStream x) throws SQLException { throw readOnly(); }
    @Override default void updateCharacterStream(int c, Reader x) throws SQLException { throw readOnly(); }
    @Override default void updateAsciiStream(String c, InputStream x) throws SQLException { throw readOnly(); }
    @Override default void updateBinaryStream(String c, InputStream x) throws SQLException { throw readOnly(); }
    @Override default void updateCharacterStream(String c, Reader x) throws SQLException { throw readOnly(); }
    @Override default void updateBlob(int c, InputStream x) throws SQLException { throw readOnly(); }
    @Override default void updateBlob(String c, InputStream x) throws SQLException { throw readOnly(); }
    @Override default void updateClob(int c, Reader x) throws SQLException { throw readOnly(); }
    @Override default void updateClob(String c, Reader x) throws SQLException { throw readOnly(); }
    @Override default void updateNClob(int c, Reader x) throws SQLException { throw readOnly(); }
    @Override default void updateNClob(String c, Reader x) throws SQLException { throw readOnly(); }
}
