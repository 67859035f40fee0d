package com.quorvane.jdbc;

import java.io.ByteArrayInputStream;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.Reader;
import java.io.StringReader;
import java.io.Writer;
import java.nio.charset.StandardCharsets;
import java.sql.Clob;
import java.sql.NClob;
import java.sql.SQLException;

/**
 * A character large object held in memory (also the NClob: Java text is
 * Unicode either way): made by {@link JdbcOdbcConnection#createClob()} or
 * read from a column with {@code getClob}. Positions count characters from 1.
 * Not safe for use from several threads at once; after {@link #free} every
 * method but {@code free} fails.
 */
public class JdbcOdbcClob implements NClob {
    private StringBuilder text;

    JdbcOdbcClob(String content) {
        text = new StringBuilder(content);
    }

    private StringBuilder open() throws SQLException {
        if (text == null) throw JdbcOdbcErrors.of("The Clob was freed", "HY010");
        return text;
    }

    /** The content (for a parameter). */
    String content() throws SQLException {
        return open().toString();
    }

    private SQLException badPosition(long pos) {
        return JdbcOdbcErrors.of("Position " + pos + " is outside the Clob", "22023");
    }

    @Override
    public long length() throws SQLException {
        return open().length();
    }

    @Override
    public String getSubString(long pos, int len) throws SQLException {
        StringBuilder t = open();
        if (pos < 1 || pos > t.length() + 1L) throw badPosition(pos);
        if (len < 0) throw JdbcOdbcErrors.of("Negative length", "22023");
        int from = (int) (pos - 1);
        return t.substring(from, from + Math.min(len, t.length() - from));
    }

    @Override
    public Reader getCharacterStream() throws SQLException {
        return new StringReader(open().toString());
    }

    @Override
    public Reader getCharacterStream(long pos, long len) throws SQLException {
        StringBuilder t = open();
        if (pos < 1 || len < 0 || pos - 1 + len > t.length()) throw badPosition(pos);
        return new StringReader(t.substring((int) (pos - 1), (int) (pos - 1 + len)));
    }

    /** The text as ASCII bytes (a character outside ASCII becomes '?'). */
    @Override
    public InputStream getAsciiStream() throws SQLException {
        return new ByteArrayInputStream(open().toString().getBytes(StandardCharsets.US_ASCII));
    }

    @Override
    public long position(String pattern, long start) throws SQLException {
        StringBuilder t = open();
        if (pattern == null) throw JdbcOdbcErrors.of("The pattern is null", "HY009");
        if (start < 1 || start > t.length() + 1L) throw badPosition(start);
        int i = t.indexOf(pattern, (int) (start - 1));
        return i < 0 ? -1 : i + 1;
    }

    @Override
    public long position(Clob pattern, long start) throws SQLException {
        if (pattern == null) throw JdbcOdbcErrors.of("The pattern is null", "HY009");
        return position(pattern.getSubString(1, (int) Math.min(Integer.MAX_VALUE, pattern.length())), start);
    }

    @Override
    public int setString(long pos, String str) throws SQLException {
        if (str == null) throw JdbcOdbcErrors.of("The text is null", "HY009");
        return setString(pos, str, 0, str.length());
    }

    @Override
    public int setString(long pos, String str, int offset, int len) throws SQLException {
        StringBuilder t = open();
        if (str == null) throw JdbcOdbcErrors.of("The text is null", "HY009");
        if (pos < 1 || pos > t.length() + 1L) throw badPosition(pos);
        if (offset < 0 || len < 0 || offset + len > str.length()) {
            throw JdbcOdbcErrors.of("Offset or length outside the text", "22023");
        }
        write((int) (pos - 1), str, offset, len);
        return len;
    }

    private void write(int at, CharSequence s, int offset, int len) {
        int end = at + len;
        text.replace(at, Math.min(end, text.length()), s.subSequence(offset, offset + len).toString());
    }

    @Override
    public OutputStream setAsciiStream(long pos) throws SQLException {
        Writer w = setCharacterStream(pos);
        return new OutputStream() {
            @Override
            public void write(int b) throws java.io.IOException {
                w.write(b & 0x7F);
            }
        };
    }

    @Override
    public Writer setCharacterStream(long pos) throws SQLException {
        StringBuilder t = open();
        if (pos < 1 || pos > t.length() + 1L) throw badPosition(pos);
        return new Writer() {
            private int at = (int) (pos - 1);

            @Override
            public void write(char[] cbuf, int off, int len) throws java.io.IOException {
                if (text == null) throw new java.io.IOException("The Clob was freed");
                JdbcOdbcClob.this.write(at, java.nio.CharBuffer.wrap(cbuf), off, len);
                at += len;
            }

            @Override
            public void flush() {}

            @Override
            public void close() {}
        };
    }

    @Override
    public void truncate(long len) throws SQLException {
        StringBuilder t = open();
        if (len < 0 || len > t.length()) throw JdbcOdbcErrors.of("Length " + len + " is outside the Clob", "22023");
        t.setLength((int) len);
    }

    @Override
    public void free() {
        text = null;
    }
}
