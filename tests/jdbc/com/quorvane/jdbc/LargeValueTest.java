package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.BufferedReader;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.io.Reader;
import java.io.StringWriter;
import java.nio.charset.StandardCharsets;
import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.util.List;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

/** Values much longer than their bound buffer, read whole and as streams. */
class LargeValueTest {
    private static final int BIG = 100_000_000;

    /**
     * A 100 MB text and a 100 MB binary value are written and read back in a
     * JVM with a 384 MB heap, compared character for character and byte for
     * byte, through getString, getBytes and getBinaryStream (on PostgreSQL
     * also the character and ASCII streams; SQLite's driver converts a long
     * text again for each piece, so its text streams are checked on shorter
     * values below).
     */
    @Test
    @Timeout(value = 600, unit = TimeUnit.SECONDS)
    void hundredMegabyteValuesRoundTripWithASmallHeap() throws Exception {
        String url = Db.url();
        List<String> cmd = List.of(System.getenv("QVT_JAVA"), "-Xmx384m", "-cp", System.getenv("QVT_JDBC_CP"),
                LargeValueChild.class.getName(), url, Db.postgres() ? "postgres" : "", Integer.toString(BIG),
                Db.postgres() ? "streams" : "");
        Process child = new ProcessBuilder(cmd).redirectErrorStream(true).start();
        StringBuilder out = new StringBuilder();
        try (BufferedReader r = new BufferedReader(new InputStreamReader(child.getInputStream(),
                StandardCharsets.UTF_8))) {
            for (String line; (line = r.readLine()) != null;) out.append(line).append('\n');
        }
        assertTrue(child.waitFor(60, TimeUnit.SECONDS));
        assertEquals(0, child.exitValue(), out.toString());
        assertTrue(out.toString().contains("OK"), out.toString());
    }

    private static String mixedText() {
        // Long Latin-1 first, then characters beyond it (a surrogate pair among them) late in the value.
        StringBuilder b = new StringBuilder();
        for (int k = 0; k < 300_000; k++) b.append(LargeValueChild.textAt(k));
        b.append("\u00e9\u00ff caf\u00e9 \u0416\u0436 \u20ac \ud83d\ude00 end");
        for (int k = 0; k < 70_000; k++) b.append(k % 3 == 0 ? '\u0416' : LargeValueChild.textAt(k));
        return b.toString();
    }

    private static String readAll(Reader r) throws Exception {
        StringWriter w = new StringWriter();
        char[] buf = new char[3001];
        for (int n; (n = r.read(buf)) > 0;) w.write(buf, 0, n);
        return w.toString();
    }

    private static byte[] readAll(InputStream in) throws Exception {
        return in.readAllBytes();
    }

    @Test
    void longTextBeyondLatin1ReadsWholeThroughEveryGetter() throws Exception {
        String text = mixedText();
        try (Connection c = Db.connect()) {
            Db.quietly(c, "DROP TABLE long_mixed");
            Db.exec(c, "CREATE TABLE long_mixed (id integer, t " + Db.textType() + ")");
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO long_mixed VALUES (?, ?)")) {
                ps.setInt(1, 1);
                ps.setString(2, text);
                ps.executeUpdate();
                ps.setInt(1, 2);
                ps.setString(2, null);
                ps.executeUpdate();
            }
            String sql = "SELECT t FROM long_mixed ORDER BY id";
            try (ResultSet rs = c.createStatement().executeQuery(sql)) {
                assertTrue(rs.next());
                assertEquals(text, rs.getString(1));
                assertEquals(text, rs.getString(1), "kept for the row");
                assertTrue(rs.next());
                assertNull(rs.getString(1));
                assertTrue(rs.wasNull());
            }
            try (ResultSet rs = c.createStatement().executeQuery(sql)) {
                assertTrue(rs.next());
                assertEquals(text, readAll(rs.getCharacterStream(1)));
                assertTrue(rs.next());
                assertNull(rs.getCharacterStream(1));
            }
            try (ResultSet rs = c.createStatement().executeQuery(sql)) {
                assertTrue(rs.next());
                // As String.getBytes in ISO 8859-1: one '?' per character beyond it, a surrogate pair as one.
                assertArrayEquals(text.getBytes(StandardCharsets.ISO_8859_1), readAll(rs.getAsciiStream(1)));
                assertTrue(rs.next());
                assertNull(rs.getAsciiStream(1));
            }
            try (ResultSet rs = c.createStatement().executeQuery("SELECT length(t) FROM long_mixed WHERE id = 1")) {
                assertTrue(rs.next());
                assertEquals(text.codePointCount(0, text.length()), rs.getInt(1), "what the database holds");
            }
        }
    }

    @Test
    void longTextAndBinaryStreamsMatchTheirValues() throws Exception {
        int size = 3_000_000;
        char[] chars = new char[size];
        byte[] bytes = new byte[size];
        for (int k = 0; k < size; k++) {
            chars[k] = LargeValueChild.textAt(k);
            bytes[k] = LargeValueChild.byteAt(k);
        }
        String text = new String(chars);
        try (Connection c = Db.connect()) {
            Db.quietly(c, "DROP TABLE long_pair");
            Db.exec(c, "CREATE TABLE long_pair (t " + Db.textType() + ", b " + Db.bytesType() + ")");
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO long_pair VALUES (?, ?)")) {
                ps.setString(1, text);
                ps.setBytes(2, bytes);
                ps.executeUpdate();
            }
            try (ResultSet rs = c.createStatement().executeQuery("SELECT t, b FROM long_pair")) {
                assertTrue(rs.next());
                assertEquals(text, readAll(rs.getCharacterStream(1)));
                assertArrayEquals(bytes, readAll(rs.getBinaryStream(2)));
            }
            try (ResultSet rs = c.createStatement().executeQuery("SELECT t, b FROM long_pair")) {
                assertTrue(rs.next());
                assertArrayEquals(text.getBytes(StandardCharsets.ISO_8859_1), readAll(rs.getAsciiStream(1)));
                assertArrayEquals(bytes, rs.getBytes(2));
            }
        }
    }
}
