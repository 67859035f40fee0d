package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.InputStream;
import java.io.Reader;
import java.io.StringReader;
import java.math.BigDecimal;
import java.sql.BatchUpdateException;
import java.sql.Connection;
import java.sql.Date;
import java.sql.ParameterMetaData;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.sql.Time;
import java.sql.Timestamp;
import java.sql.Types;
import java.time.Instant;
import java.time.LocalDate;
import java.time.LocalDateTime;
import java.time.LocalTime;
import java.time.OffsetDateTime;
import java.time.ZoneOffset;
import java.util.Calendar;
import java.util.Random;
import java.util.TimeZone;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * Prepared statements: every kind of value through the setters and back,
 * java.time in a JVM time zone other than UTC, streams of 1 MiB, batches.
 */
class PreparedStatementTest {
    private static TimeZone saved;
    private Connection c;

    @BeforeAll
    static void zone() {
        // A zone with a half-hour offset and no daylight saving, and one with it, in turn.
        saved = TimeZone.getDefault();
        TimeZone.setDefault(TimeZone.getTimeZone("Asia/Kolkata"));
    }

    @AfterAll
    static void restore() {
        TimeZone.setDefault(saved);
    }

    @BeforeEach
    void open() throws SQLException {
        c = Db.connect();
        Db.quietly(c, "DROP TABLE v");
        String bin = Db.bytesType();
        String dbl = Db.doubleType();
        Db.exec(c, "CREATE TABLE v (id integer, i integer, l bigint, d " + dbl + ", r real, n numeric(30,10),"
                + " s varchar(100), t " + Db.textType() + ", b " + bin + ", dt date, tm time, ts " + Db.timestampType()
                + (Db.postgres() ? ", tz timestamptz, flag boolean" : "") + ")");
    }

    @AfterEach
    void close() throws SQLException {
        Db.quietly(c, "DROP TABLE v");
        c.close();
    }

    private ResultSet row(int id) throws SQLException {
        PreparedStatement q = c.prepareStatement("SELECT * FROM v WHERE id = ?");
        q.setInt(1, id);
        ResultSet rs = q.executeQuery();
        assertTrue(rs.next(), "row " + id);
        return rs;
    }

    @Test
    void everyScalarSetterRoundTrips() throws SQLException {
        try (PreparedStatement ps = c.prepareStatement(
                "INSERT INTO v (id, i, l, d, r, n, s, b, dt, tm, ts) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")) {
            ps.setInt(1, 1);
            ps.setInt(2, -2147483648);
            ps.setLong(3, 9007199254740993L);
            ps.setDouble(4, 0.1);
            ps.setFloat(5, 2.5f);
            ps.setBigDecimal(6, new BigDecimal("12345678901234567890.0123456789"));
            ps.setString(7, "caf\u00e9 \u20ac \uD83D\uDE00");
            ps.setBytes(8, new byte[] {0, 1, (byte) 0xFF, 0x7F});
            ps.setDate(9, Date.valueOf("2024-02-29"));
            ps.setTime(10, Time.valueOf("13:45:07"));
            ps.setTimestamp(11, Timestamp.valueOf("2001-02-03 04:05:06.123456"));
            assertEquals(1, ps.executeUpdate());
            // Same statement again with other values: the bound storage is reused.
            ps.setInt(1, 2);
            ps.setShort(2, (short) 7);
            ps.setLong(3, -1);
            ps.setDouble(4, -1e300);
            ps.setFloat(5, 0.1f);
            ps.setBigDecimal(6, new BigDecimal("-0.5"));
            ps.setString(7, "");
            ps.setBytes(8, new byte[0]);
            ps.setNull(9, Types.DATE);
            ps.setNull(10, Types.TIME);
            ps.setNull(11, Types.TIMESTAMP);
            assertEquals(1, ps.executeUpdate());
        }
        try (ResultSet rs = row(1)) {
            assertEquals(-2147483648, rs.getInt("i"));
            assertEquals(9007199254740993L, rs.getLong("l"));
            assertEquals(0.1, rs.getDouble("d"));
            assertEquals(2.5f, rs.getFloat("r"));
            if (Db.postgres()) {
                assertEquals(new BigDecimal("12345678901234567890.0123456789"), rs.getBigDecimal("n"), "exact");
            }
            assertEquals("caf\u00e9 \u20ac \uD83D\uDE00", rs.getString("s"));
            assertArrayEquals(new byte[] {0, 1, (byte) 0xFF, 0x7F}, rs.getBytes("b"));
            assertEquals(Date.valueOf("2024-02-29"), rs.getDate("dt"));
            assertEquals(Time.valueOf("13:45:07"), rs.getTime("tm"));
            assertEquals(Timestamp.valueOf("2001-02-03 04:05:06.123456"), rs.getTimestamp("ts"));
        }
        try (ResultSet rs = row(2)) {
            assertEquals(7, rs.getInt("i"));
            assertEquals(-1, rs.getLong("l"));
            assertEquals(-1e300, rs.getDouble("d"));
            assertEquals(0.1f, rs.getFloat("r"));
            assertEquals(0, new BigDecimal("-0.5").compareTo(rs.getBigDecimal("n")));
            assertEquals("", rs.getString("s"));
            assertArrayEquals(new byte[0], rs.getBytes("b"));
            assertNull(rs.getDate("dt"));
            assertTrue(rs.wasNull());
            assertNull(rs.getTime("tm"));
            assertNull(rs.getTimestamp("ts"));
        }
    }

    @Test
    void javaTimeRoundTripsInAZoneOtherThanUtc() throws SQLException {
        LocalDate date = LocalDate.of(1969, 12, 31);
        LocalTime time = LocalTime.of(23, 59, 58);
        LocalDateTime ts = LocalDateTime.of(2024, 3, 31, 2, 30, 15, 123456000);
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO v (id, dt, tm, ts) VALUES (?, ?, ?, ?)")) {
            ps.setInt(1, 1);
            ps.setObject(2, date);
            ps.setObject(3, time);
            ps.setObject(4, ts);
            ps.executeUpdate();
        }
        try (ResultSet rs = row(1)) {
            assertEquals(date, rs.getObject("dt", LocalDate.class));
            assertEquals(time, rs.getObject("tm", LocalTime.class));
            assertEquals(ts, rs.getObject("ts", LocalDateTime.class));
            // java.sql types are the same wall time in the JVM's zone.
            assertEquals(Timestamp.valueOf(ts), rs.getTimestamp("ts"));
            assertEquals(Date.valueOf(date), rs.getObject("dt"));
            // With a Calendar, the wall time is taken in the Calendar's zone.
            Calendar utc = Calendar.getInstance(TimeZone.getTimeZone("UTC"));
            assertEquals(ts.toInstant(ZoneOffset.UTC), rs.getTimestamp("ts", utc).toInstant());
        }
    }

    @Test
    void timestampWithTimeZoneKeepsTheInstant() throws SQLException {
        if (!Db.postgres()) return;  // SQLite has no such type
        OffsetDateTime odt = OffsetDateTime.of(2024, 6, 1, 12, 0, 0, 500000000, ZoneOffset.ofHours(-7));
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO v (id, tz) VALUES (?, ?)")) {
            ps.setInt(1, 1);
            ps.setObject(2, odt);
            ps.executeUpdate();
            ps.setInt(1, 2);
            ps.setObject(2, Instant.EPOCH);
            ps.executeUpdate();
        }
        try (ResultSet rs = row(1)) {
            assertEquals(odt.toInstant(), rs.getObject("tz", OffsetDateTime.class).toInstant());
            assertEquals(odt.toInstant(), rs.getObject("tz", Instant.class));
            assertEquals(odt.toInstant(), rs.getTimestamp("tz").toInstant());
        }
        try (ResultSet rs = row(2)) {
            assertEquals(Instant.EPOCH, rs.getObject("tz", Instant.class));
        }
    }

    @Test
    void setObjectWithAndWithoutTargetTypeAndSetNullOfAnyType() throws SQLException {
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO v (id, i, l, d, s, n) VALUES (?, ?, ?, ?, ?, ?)")) {
            ps.setObject(1, 1);
            ps.setObject(2, "42", Types.INTEGER);
            ps.setObject(3, 5, Types.BIGINT);
            ps.setObject(4, new BigDecimal("2.25"), Types.DOUBLE);
            ps.setObject(5, 17, Types.VARCHAR);
            ps.setObject(6, 1.5, Types.DECIMAL, 2);
            ps.executeUpdate();
            for (int t : new int[] {Types.NULL, Types.OTHER, Types.INTEGER, Types.VARCHAR, Types.BLOB, Types.DATE}) {
                ps.setObject(1, 2);
                for (int p = 2; p <= 6; p++) ps.setNull(p, t);
                ps.executeUpdate();
            }
            assertThrows(SQLException.class, () -> ps.setObject(2, new Object()));
            assertThrows(SQLException.class, () -> ps.setInt(7, 1), "no parameter 7");
        }
        try (ResultSet rs = row(1)) {
            assertEquals(42, rs.getInt("i"));
            assertEquals(5L, rs.getLong("l"));
            assertEquals(2.25, rs.getDouble("d"));
            assertEquals("17", rs.getString("s"));
            assertEquals(0, new BigDecimal("1.50").compareTo(rs.getBigDecimal("n")));
        }
        try (Statement s = c.createStatement();
                ResultSet rs = s.executeQuery("SELECT count(*) FROM v WHERE id = 2 AND i IS NULL AND s IS NULL")) {
            rs.next();
            assertEquals(6, rs.getInt(1));
        }
    }

    @Test
    void everyParameterMustBeSetAndClearParametersForgetsThem() throws SQLException {
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO v (id, i) VALUES (?, ?)")) {
            ps.setInt(1, 1);
            SQLException e = assertThrows(SQLException.class, ps::executeUpdate);
            assertEquals("07002", e.getSQLState());
            ps.setInt(2, 2);
            ps.executeUpdate();
            ps.clearParameters();
            assertThrows(SQLException.class, ps::executeUpdate);
        }
    }

    @Test
    void streamsOfOneMebibyteTravelAsDataAtExecution() throws Exception {
        byte[] bytes = new byte[1 << 20];
        new Random(1).nextBytes(bytes);
        StringBuilder sb = new StringBuilder();
        while (sb.length() < (1 << 20)) sb.append("\u00e9t\u00e9 \u20ac ").append(sb.length()).append('\n');
        String text = sb.toString();
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO v (id, b, t) VALUES (?, ?, ?)")) {
            ps.setInt(1, 1);
            ps.setBinaryStream(2, new ByteArrayInputStream(bytes), bytes.length);
            ps.setCharacterStream(3, new StringReader(text));
            assertEquals(1, ps.executeUpdate());
            // The same statement with plain values afterwards: the parameters are bound again.
            ps.setInt(1, 2);
            ps.setBytes(2, new byte[] {1, 2, 3});
            ps.setString(3, "short");
            assertEquals(1, ps.executeUpdate());
            assertEquals(0, ((JdbcOdbcConnection) c).liveNativeObjects() - 2, "pinned storage released");
        }
        try (ResultSet rs = row(1)) {
            assertArrayEquals(bytes, rs.getBytes("b"));
            assertEquals(text, rs.getString("t"));
            try (InputStream in = rs.getBinaryStream("b")) {
                assertArrayEquals(bytes, in.readAllBytes());
            }
            try (Reader r = rs.getCharacterStream("t")) {
                StringBuilder back = new StringBuilder();
                char[] buf = new char[8192];
                for (int n; (n = r.read(buf)) > 0;) back.append(buf, 0, n);
                assertEquals(text, back.toString());
            }
        }
        try (ResultSet rs = row(2)) {
            assertArrayEquals(new byte[] {1, 2, 3}, rs.getBytes("b"));
            assertEquals("short", rs.getString("t"));
        }
    }

    @Test
    void aStreamShorterThanItsLengthFailsAndTheStatementRunsAgain() throws SQLException {
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO v (id, b) VALUES (?, ?)")) {
            ps.setInt(1, 1);
            ps.setBinaryStream(2, new ByteArrayInputStream(new byte[10]), 100);
            SQLException e = assertThrows(SQLException.class, ps::executeUpdate);
            assertEquals("22026", e.getSQLState());
            ps.setBytes(2, new byte[] {5});
            assertEquals(1, ps.executeUpdate());
        }
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT count(*) FROM v")) {
            rs.next();
            assertEquals(1, rs.getInt(1), "the failed execution stored nothing");
        }
    }

    @Test
    void aLongValueIsStreamedPieceByPieceWhileItsRowIsCurrent() throws Exception {
        // Longer than any bound buffer (1 MB), so it is read in pieces.
        byte[] big = new byte[1_500_000];
        new Random(2).nextBytes(big);
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO v (id, b) VALUES (?, ?)")) {
            for (int id = 1; id <= 2; id++) {
                ps.setInt(1, id);
                ps.setBytes(2, big);
                ps.executeUpdate();
            }
        }
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT b FROM v ORDER BY id")) {
            assertTrue(rs.next());
            InputStream in = rs.getBinaryStream(1);
            byte[] head = in.readNBytes(1000);
            assertArrayEquals(java.util.Arrays.copyOf(big, 1000), head);
            assertThrows(SQLException.class, () -> rs.getBytes(1), "the value is being read as a stream");
            assertTrue(rs.next());
            assertThrows(java.io.IOException.class, in::readAllBytes, "the row moved on");
            try (InputStream second = rs.getBinaryStream(1)) {
                assertArrayEquals(big, second.readAllBytes());
            }
        }
    }

    @Test
    void batchRunsAllRowsInOneExecution() throws SQLException {
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO v (id, i, d, s, n, b, ts) VALUES (?, ?, ?, ?, ?, ?, ?)")) {
            for (int r = 0; r < 100; r++) {
                ps.setInt(1, r);
                if (r % 10 == 0) ps.setNull(2, Types.INTEGER);
                else ps.setInt(2, r * 2);
                ps.setDouble(3, r / 4.0);
                ps.setString(4, r % 7 == 0 ? null : "row " + r + " \u00e9");
                ps.setBigDecimal(5, new BigDecimal(r + ".25"));
                ps.setBytes(6, new byte[r % 5]);
                ps.setTimestamp(7, Timestamp.valueOf(LocalDateTime.of(2020, 1, 1, 0, 0).plusMinutes(r)));
                ps.addBatch();
            }
            int[] counts = ps.executeBatch();
            assertEquals(100, counts.length);
            for (int n : counts) assertTrue(n == 1 || n == Statement.SUCCESS_NO_INFO, "count " + n);
        }
        try (Statement s = c.createStatement();
                ResultSet rs = s.executeQuery("SELECT count(*), count(i), sum(d), count(s) FROM v")) {
            rs.next();
            assertEquals(100, rs.getInt(1));
            assertEquals(90, rs.getInt(2));
            assertEquals(99 * 100 / 2 / 4.0, rs.getDouble(3), 1e-9);
            assertEquals(100 - 15, rs.getInt(4));
        }
        try (ResultSet rs = row(33)) {
            assertEquals(66, rs.getInt("i"));
            assertEquals("row 33 \u00e9", rs.getString("s"));
            assertEquals(0, new BigDecimal("33.25").compareTo(rs.getBigDecimal("n")));
            assertEquals(3, rs.getBytes("b").length);
            assertEquals(LocalDateTime.of(2020, 1, 1, 0, 33), rs.getObject("ts", LocalDateTime.class));
        }
    }

    @Test
    void batchColumnsOfMixedKindsAndTheValuesLeftForTheNextExecution() throws SQLException {
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO v (id, l, d, s, b) VALUES (?, ?, ?, ?, ?)")) {
            // 40 rows: more than a batch column's first allocation, with the integer and binary columns
            // null after their first rows, the double column mixing integers and doubles, and the text
            // column mixing text and integers.
            for (int r = 0; r < 40; r++) {
                ps.setInt(1, r);
                if (r < 2) ps.setLong(2, 7000000000L + r);
                else ps.setNull(2, Types.INTEGER);
                if (r % 2 == 0) ps.setDouble(3, r + 0.5);
                else ps.setInt(3, r);
                if (r % 3 == 0) ps.setObject(4, r * 10);
                else ps.setString(4, "t\u00e9" + r);
                if (r == 0) ps.setBytes(5, new byte[] {1, 2, 3});
                else ps.setNull(5, Types.VARBINARY);
                ps.addBatch();
                if (r == 20) {
                    // A single execution in the middle of the batch takes the values set last.
                    ps.setInt(1, 1000);
                    assertEquals(1, ps.executeUpdate());
                }
            }
            assertEquals(40, ps.executeBatch().length);
            // The values set last (row 39's) are what the next single execution sends.
            assertEquals(1, ps.executeUpdate());
            ps.setInt(1, 2000);
            ps.setNull(2, Types.INTEGER);
            ps.clearBatch();
            assertEquals(0, ps.executeBatch().length);
            assertEquals(1, ps.executeUpdate(), "after clearBatch the setters reach the natives again");
        }
        try (Statement st = c.createStatement();
                ResultSet rs = st.executeQuery("SELECT id, l, d, s, b FROM v ORDER BY id, s")) {
            StringBuilder seen = new StringBuilder();
            int rows = 0;
            while (rs.next()) {
                int id = rs.getInt(1);
                int r = id == 1000 ? 20 : id == 2000 ? 39 : id;
                long i = rs.getLong(2);
                boolean iNull = rs.wasNull();
                assertEquals(r < 2, !iNull, "row " + id);
                if (!iNull) assertEquals(7000000000L + r, i);
                assertEquals(r % 2 == 0 ? r + 0.5 : r, rs.getDouble(3), 0.0, "row " + id);
                assertEquals(r % 3 == 0 ? Integer.toString(r * 10) : "t\u00e9" + r, rs.getString(4));
                byte[] b = rs.getBytes(5);
                if (r == 0) assertArrayEquals(new byte[] {1, 2, 3}, b);
                else assertNull(b, "row " + id);
                if (id >= 39) seen.append(id).append(',');
                rows++;
            }
            assertEquals(43, rows);
            // Row 39 twice (the batch and the single execution after it); 1000 with row 20's
            // values; 2000 with row 39's.
            assertEquals("39,39,1000,2000,", seen.toString());
        }
    }

    @Test
    void batchWithAFailingRowReportsIt() throws SQLException {
        Db.exec(c, "CREATE UNIQUE INDEX v_id ON v (id)");
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO v (id, s) VALUES (?, ?)")) {
            int[] ids = {1, 2, 1, 4, 5};
            for (int id : ids) {
                ps.setInt(1, id);
                ps.setString(2, "x" + id);
                ps.addBatch();
            }
            BatchUpdateException e = assertThrows(BatchUpdateException.class, ps::executeBatch);
            int[] counts = e.getUpdateCounts();
            // All or nothing where the array runs as one execution: no row done.
            assertEquals(Db.arraysAllOrNothing() ? 0 : 2, counts.length,
                    "the rows before the third, which failed: " + java.util.Arrays.toString(counts));
            for (int n : counts) assertTrue(n != Statement.EXECUTE_FAILED);
            if (Db.postgres()) assertEquals("23505", e.getSQLState());
            // The statement works again with single rows.
            ps.setInt(1, 9);
            ps.setString(2, "after");
            assertEquals(1, ps.executeUpdate());
        }
    }

    @Test
    void parameterMetaDataDescribesTheParameters() throws SQLException {
        try (PreparedStatement ps = c.prepareStatement("SELECT * FROM v WHERE i = ? AND s = ?")) {
            ParameterMetaData md = ps.getParameterMetaData();
            assertEquals(2, md.getParameterCount());
            if (Db.postgres()) {
                assertEquals(Types.INTEGER, md.getParameterType(1));
            } else {
                assertEquals(Types.VARCHAR, md.getParameterType(1), "SQLite gives parameters no type: text");
            }
            assertEquals(ParameterMetaData.parameterModeIn, md.getParameterMode(2));
            assertThrows(SQLException.class, () -> md.getParameterType(3));
            var rsmd = ps.getMetaData();
            assertEquals(Db.postgres() ? 14 : 12, rsmd.getColumnCount());
        }
    }
}
