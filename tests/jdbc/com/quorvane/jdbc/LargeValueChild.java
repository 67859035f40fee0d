package com.quorvane.jdbc;

import java.io.InputStream;
import java.io.Reader;
import java.sql.Connection;
import java.sql.DriverManager;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.util.Properties;

/**
 * Run by {@link LargeValueTest} in a JVM of its own with a small heap: writes
 * a text and a binary value of the given size, checks what the database holds
 * and reads both back through every getter and stream, comparing each
 * character and byte. Prints {@code OK} at the end, or fails.
 *
 * <p>Arguments: URL, user ("" for none), size in bytes, and {@code streams}
 * to read the text through its streams too.
 */
public final class LargeValueChild {
    private LargeValueChild() {}

    static char textAt(long k) {
        return (char) ('a' + (k * 7 + k / 1000) % 26);
    }

    static byte byteAt(long k) {
        return (byte) (k * 31 + (k >>> 11));
    }

    private static void check(boolean ok, String what) {
        if (!ok) throw new AssertionError(what);
    }

    public static void main(String[] args) throws Exception {
        String url = args[0];
        int size = Integer.parseInt(args[2]);
        boolean textStreams = args.length > 3 && args[3].equals("streams");
        Properties p = new Properties();
        if (!args[1].isEmpty()) p.setProperty("user", args[1]);
        boolean pg = url.contains("psqlodbc");
        try (Connection c = DriverManager.getConnection(url, p)) {
            try (Statement s = c.createStatement()) {
                s.execute("DROP TABLE IF EXISTS large_values");
                s.execute("CREATE TABLE large_values (id integer, t text, b " + (pg ? "bytea" : "blob") + ")");
            }
            write(c, size);
            try (Statement s = c.createStatement();
                    ResultSet rs = s.executeQuery(pg
                            ? "SELECT length(t), octet_length(b), substr(t, 5000001, 10), md5(t) = md5(t) FROM large_values"
                            : "SELECT length(t), length(b), substr(t, 5000001, 10), 1 FROM large_values")) {
                check(rs.next(), "the row is there");
                check(rs.getLong(1) == size, "the database holds the whole text: " + rs.getLong(1));
                check(rs.getLong(2) == size, "the database holds every byte: " + rs.getLong(2));
                String slice = rs.getString(3);
                for (int k = 0; k < slice.length(); k++) check(slice.charAt(k) == textAt(5000000L + k), "stored text");
            }
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT t, b FROM large_values")) {
                check(rs.next(), "row");
                String t = rs.getString(1);
                check(t.length() == size, "getString length " + t.length());
                for (int k = 0; k < size; k++) if (t.charAt(k) != textAt(k)) throw new AssertionError("getString at " + k);
                t = null;
                byte[] b = rs.getBytes(2);
                check(b.length == size, "getBytes length " + b.length);
                for (int k = 0; k < size; k++) if (b[k] != byteAt(k)) throw new AssertionError("getBytes at " + k);
            }
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT b FROM large_values")) {
                check(rs.next(), "row");
                try (InputStream in = rs.getBinaryStream(1)) {
                    byte[] buf = new byte[8192];
                    long k = 0;
                    for (int n; (n = in.read(buf)) > 0;)
                        for (int j = 0; j < n; j++, k++) if (buf[j] != byteAt(k)) throw new AssertionError("binary stream at " + k);
                    check(k == size, "binary stream length " + k);
                }
            }
            if (textStreams) {
                try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT t FROM large_values")) {
                    check(rs.next(), "row");
                    try (Reader in = rs.getCharacterStream(1)) {
                        char[] buf = new char[8192];
                        long k = 0;
                        for (int n; (n = in.read(buf)) > 0;)
                            for (int j = 0; j < n; j++, k++) if (buf[j] != textAt(k)) throw new AssertionError("reader at " + k);
                        check(k == size, "reader length " + k);
                    }
                }
                try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT t FROM large_values")) {
                    check(rs.next(), "row");
                    try (InputStream in = rs.getAsciiStream(1)) {
                        byte[] buf = new byte[8192];
                        long k = 0;
                        for (int n; (n = in.read(buf)) > 0;)
                            for (int j = 0; j < n; j++, k++) if (buf[j] != textAt(k)) throw new AssertionError("ascii at " + k);
                        check(k == size, "ascii stream length " + k);
                    }
                }
            }
        }
        System.out.println("OK");
    }

    private static void write(Connection c, int size) throws SQLException {
        char[] chars = new char[size];
        for (int k = 0; k < size; k++) chars[k] = textAt(k);
        String text = new String(chars);
        chars = null;
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO large_values (id, t) VALUES (1, ?)")) {
            ps.setString(1, text);
            check(ps.executeUpdate() == 1, "text inserted");
        }
        text = null;
        byte[] bytes = new byte[size];
        for (int k = 0; k < size; k++) bytes[k] = byteAt(k);
        try (PreparedStatement ps = c.prepareStatement("UPDATE large_values SET b = ? WHERE id = 1")) {
            ps.setBytes(1, bytes);
            check(ps.executeUpdate() == 1, "binary value written");
        }
    }
}
