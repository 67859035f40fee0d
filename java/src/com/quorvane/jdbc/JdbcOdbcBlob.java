package com.quorvane.jdbc;

import java.io.ByteArrayInputStream;
import java.io.InputStream;
import java.io.OutputStream;
import java.sql.Blob;
import java.sql.SQLException;
import java.util.Arrays;

/**
 * A binary large object held in memory: made by
 * {@link JdbcOdbcConnection#createBlob()} or read from a column with
 * {@code getBlob}. Positions count from 1. Not safe for use from several
 * threads at once; after {@link #free} every method but {@code free} fails.
 */
public class JdbcOdbcBlob implements Blob {
    private byte[] data;
    private int length;

    JdbcOdbcBlob(byte[] content) {
        data = content;
        length = content.length;
    }

    private byte[] open() throws SQLException {
        if (data == null) throw JdbcOdbcErrors.of("The Blob was freed", "HY010");
        return data;
    }

    /** The content as an array of its own length (for a parameter). */
    byte[] content() throws SQLException {
        return Arrays.copyOf(open(), length);
    }

    private static SQLException badPosition(long pos) {
        return JdbcOdbcErrors.of("Position " + pos + " is outside the Blob", "22023");
    }

    @Override
    public long length() throws SQLException {
        open();
        return length;
    }

    @Override
    public byte[] getBytes(long pos, int len) throws SQLException {
        byte[] d = open();
        if (pos < 1 || pos > length + 1L) throw badPosition(pos);
        if (len < 0) throw JdbcOdbcErrors.of("Negative length", "22023");
        int from = (int) (pos - 1);
        return Arrays.copyOfRange(d, from, from + Math.min(len, length - from));
    }

    @Override
    public InputStream getBinaryStream() throws SQLException {
        return new ByteArrayInputStream(open(), 0, length);
    }

    @Override
    public InputStream getBinaryStream(long pos, long len) throws SQLException {
        byte[] d = open();
        if (pos < 1 || pos > length + 1L || len < 0 || pos - 1 + len > length) throw badPosition(pos);
        return new ByteArrayInputStream(d, (int) (pos - 1), (int) len);
    }

    @Override
    public long position(byte[] pattern, long start) throws SQLException {
        byte[] d = open();
        if (pattern == null) throw JdbcOdbcErrors.of("The pattern is null", "HY009");
        if (start < 1) throw badPosition(start);
        outer:
        for (long i = start - 1; i + pattern.length <= length; i++) {
            for (int j = 0; j < pattern.length; j++) {
                if (d[(int) i + j] != pattern[j]) continue outer;
            }
            return i + 1;
        }
        return -1;
    }

    @Override
    public long position(Blob pattern, long start) throws SQLException {
        if (pattern == null) throw JdbcOdbcErrors.of("The pattern is null", "HY009");
        return position(pattern.getBytes(1, (int) Math.min(Integer.MAX_VALUE, pattern.length())), start);
    }

    @Override
    public int setBytes(long pos, byte[] bytes) throws SQLException {
        if (bytes == null) throw JdbcOdbcErrors.of("The bytes are null", "HY009");
        return setBytes(pos, bytes, 0, bytes.length);
    }

    @Override
    public int setBytes(long pos, byte[] bytes, int offset, int len) throws SQLException {
        open();
        if (bytes == null) throw JdbcOdbcErrors.of("The bytes are null", "HY009");
        if (pos < 1 || pos > length + 1L) throw badPosition(pos);
        if (offset < 0 || len < 0 || offset + len > bytes.length) {
            throw JdbcOdbcErrors.of("Offset or length outside the array", "22023");
        }
        write((int) (pos - 1), bytes, offset, len);
        return len;
    }

    private void write(int at, byte[] bytes, int offset, int len) throws SQLException {
        long end = (long) at + len;
        if (end > Integer.MAX_VALUE - 8) throw JdbcOdbcErrors.of("A Blob holds less than 2 GB", "22001");
        if (end > data.length) data = Arrays.copyOf(data, (int) Math.max(end, Math.min(Integer.MAX_VALUE - 8,
                data.length * 2L)));
        System.arraycopy(bytes, offset, data, at, len);
        if (end > length) length = (int) end;
    }

    @Override
    public OutputStream setBinaryStream(long pos) throws SQLException {
        open();
        if (pos < 1 || pos > length + 1L) throw badPosition(pos);
        return new OutputStream() {
            private int at = (int) (pos - 1);

            @Override
            public void write(int b) throws java.io.IOException {
                write(new byte[] {(byte) b}, 0, 1);
            }

            @Override
            public void write(byte[] b, int off, int len) throws java.io.IOException {
                try {
                    open();
                    JdbcOdbcBlob.this.write(at, b, off, len);
                    at += len;
                } catch (SQLException e) {
                    throw new java.io.IOException(e.getMessage(), e);
                }
            }
        };
    }

    @Override
    public void truncate(long len) throws SQLException {
        open();
        if (len < 0 || len > length) throw JdbcOdbcErrors.of("Length " + len + " is outside the Blob", "22023");
        length = (int) len;
    }

    @Override
    public void free() {
        data = null;
    }
}
