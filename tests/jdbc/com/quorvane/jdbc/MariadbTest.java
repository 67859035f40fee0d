package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.math.BigDecimal;
import java.math.BigInteger;
import java.sql.BatchUpdateException;
import java.sql.Connection;
import java.sql.DatabaseMetaData;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.ResultSetMetaData;
import java.sql.SQLException;
import java.sql.SQLTimeoutException;
import java.sql.Statement;
import java.sql.Types;
import java.time.LocalDate;
import java.time.LocalDateTime;
import java.time.LocalTime;
import java.util.Arrays;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.ScheduledExecutorService;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

/**
 * MariaDB through MariaDB Connector/ODBC: what an application does with it
 * (text, dates, decimals, batches, transactions, errors, timeout, cancel) and
 * the values and descriptions that MariaDB has and the other data sources do
 * not (unsigned integers, times beyond a day, BIT columns).
 */
class MariadbTest {
    private Connection c;

    @BeforeEach
    void open() throws SQLException {
        c = Db.connect();
    }

    @AfterEach
    void close() throws SQLException {
        if (c != null) c.close();
    }

    private Object single(String sql) throws SQLException {
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery(sql)) {
            assertTrue(rs.next());
            return rs.getObject(1);
        }
    }

    private static String keys(ResultSet rs) throws SQLException {
        StringBuilder b = new StringBuilder(rs.getMetaData().getColumnLabel(1)).append(':');
        try (rs) {
            while (rs.next()) b.append(' ').append(rs.getLong(1));
        }
        return b.toString();
    }

    @Test
    void generatedKeysAreTheAutoIncrementKeysOfTheAddedRows() throws SQLException {
        if (!Db.mariadb()) return;
        assertTrue(c.getMetaData().supportsGetGeneratedKeys());
        Db.exec(c, "DROP TABLE IF EXISTS my_keys", "DROP TABLE IF EXISTS my_nokey",
                "CREATE TABLE my_keys (id bigint NOT NULL AUTO_INCREMENT PRIMARY KEY, v varchar(10))",
                "CREATE TABLE my_nokey (v varchar(10))", "INSERT INTO my_keys VALUES (100, 'x')");
        try (Statement s = c.createStatement()) {
            assertEquals(3, s.executeUpdate("INSERT INTO my_keys (v) VALUES ('a'), ('b'), ('c')",
                    Statement.RETURN_GENERATED_KEYS));
            assertEquals("insert_id: 101 102 103", keys(s.getGeneratedKeys()));
            assertEquals(1, s.executeUpdate("INSERT INTO my_nokey VALUES ('n')", Statement.RETURN_GENERATED_KEYS));
            assertEquals("insert_id:", keys(s.getGeneratedKeys()));
            // The server's increment is followed (two servers of a cluster number alternately so).
            s.execute("SET SESSION auto_increment_increment = 5");
            s.executeUpdate("INSERT INTO my_keys (v) VALUES ('d'), ('e')", Statement.RETURN_GENERATED_KEYS);
            try (ResultSet rs = s.getGeneratedKeys(); Statement q = c.createStatement();
                    ResultSet ids = q.executeQuery("SELECT id FROM my_keys WHERE v IN ('d', 'e') ORDER BY id")) {
                while (ids.next()) {
                    assertTrue(rs.next());
                    assertEquals(ids.getLong(1), rs.getLong(1));
                }
                assertFalse(rs.next());
            }
            s.execute("SET SESSION auto_increment_increment = 1");
        }
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO my_keys (v) VALUES (?)", new String[] {"id"})) {
            ps.setString(1, "p");
            ps.addBatch();
            ps.setString(1, "q");
            ps.addBatch();
            assertArrayEquals(new int[] {1, 1}, ps.executeBatch());
            String got = keys(ps.getGeneratedKeys());
            assertEquals("id: " + single("SELECT min(id) FROM my_keys WHERE v IN ('p', 'q')") + " "
                    + single("SELECT max(id) FROM my_keys WHERE v IN ('p', 'q')"), got);
        }
    }

    @Test
    void textDatesAndDecimalsRoundTrip() throws SQLException {
        if (!Db.mariadb()) return;
        Db.exec(c, "DROP TABLE IF EXISTS my_values",
                "CREATE TABLE my_values (id int PRIMARY KEY, t varchar(40), d date, ts datetime(6), n decimal(30,10))");
        String text = "zwölf \uD83D\uDE00 Ω";
        BigDecimal n = new BigDecimal("12345678901234567890.0123456789");
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO my_values VALUES (?, ?, ?, ?, ?)")) {
            ps.setInt(1, 1);
            ps.setString(2, text);
            ps.setObject(3, LocalDate.of(1815, 12, 10));
            ps.setObject(4, LocalDateTime.of(2026, 3, 1, 13, 45, 56, 789_012_000));
            ps.setBigDecimal(5, n);
            assertEquals(1, ps.executeUpdate());
        }
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT t, d, ts, n FROM my_values")) {
            assertTrue(rs.next());
            assertEquals(text, rs.getString(1));
            assertEquals(LocalDate.of(1815, 12, 10), rs.getDate(2).toLocalDate());
            assertEquals(LocalDateTime.of(2026, 3, 1, 13, 45, 56, 789_012_000), rs.getTimestamp(3).toLocalDateTime());
            assertEquals(n, rs.getBigDecimal(4));
        }
    }

    /** Reads a character stream whole, a few characters at a time. */
    private static String drain(java.io.Reader r) throws java.io.IOException {
        StringBuilder out = new StringBuilder();
        char[] buf = new char[7];
        for (int n; (n = r.read(buf)) > 0; ) out.append(buf, 0, n);
        r.close();
        return out.toString();
    }

    @Test
    void textHoldingU0000ReadsBackWholeShortAndLong() throws Exception {
        if (!Db.mariadb()) return;
        Db.exec(c, "DROP TABLE IF EXISTS my_zeros",
                "CREATE TABLE my_zeros (id int PRIMARY KEY, v varchar(60), t longtext) CHARACTER SET utf8mb4");
        // U+0000 in the middle and at the end, next to an emoji and a
        // combining accent; the long value (> 64 KB) read in pieces.
        StringBuilder lng = new StringBuilder();
        while (lng.length() < 100_000) lng.append("\uD83D\uDE00\u0000e\u0301x");
        lng.append('\u0000');
        String[] texts = {"ab\u0000cd", "end\u0000", "\u0000", "\uD83D\uDE00\u0000e\u0301\u0000", lng.toString()};
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO my_zeros VALUES (?, ?, ?)")) {
            for (int k = 0; k < texts.length; k++) {
                ps.setInt(1, k);
                ps.setString(2, texts[k].length() <= 60 ? texts[k] : texts[k].substring(0, 59) + "\u0000");
                ps.setString(3, texts[k]);
                ps.addBatch();
            }
            ps.executeBatch();
        }
        try (Statement s = c.createStatement();
                ResultSet rs = s.executeQuery("SELECT id, v, t, t, t, char_length(t) FROM my_zeros ORDER BY id")) {
            for (int k = 0; k < texts.length; k++) {
                assertTrue(rs.next());
                String t = texts[k];
                String v = t.length() <= 60 ? t : t.substring(0, 59) + "\u0000";
                assertEquals(v, rs.getString(2), "getString of row " + k);
                assertEquals(t, rs.getString(3), "getString of the long column, row " + k);
                assertEquals(t, drain(rs.getCharacterStream(4)), "getCharacterStream of row " + k);
                assertEquals(t, rs.getObject(5), "getObject of row " + k);
                assertEquals(t.codePointCount(0, t.length()), rs.getInt(6), "stored whole, row " + k);
            }
        }
    }

    @Test
    void batchesTransactionsAndErrors() throws SQLException {
        if (!Db.mariadb()) return;
        Db.exec(c, "DROP TABLE IF EXISTS my_batch", "CREATE TABLE my_batch (id int PRIMARY KEY, v varchar(10))");
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO my_batch VALUES (?, ?)")) {
            for (int i = 1; i <= 50; i++) {
                ps.setInt(1, i);
                ps.setString(2, "v" + i);
                ps.addBatch();
            }
            int[] counts = ps.executeBatch();
            assertEquals(50, counts.length);
            for (int k : counts) assertTrue(k == 1 || k == Statement.SUCCESS_NO_INFO, "count " + k);
        }
        assertEquals(50L, ((Number) single("SELECT count(*) FROM my_batch")).longValue());

        c.setAutoCommit(false);
        Db.exec(c, "DELETE FROM my_batch WHERE id > 10");
        c.rollback();
        assertEquals(50L, ((Number) single("SELECT count(*) FROM my_batch")).longValue());
        Db.exec(c, "DELETE FROM my_batch WHERE id > 40");
        c.commit();
        c.setAutoCommit(true);
        assertEquals(40L, ((Number) single("SELECT count(*) FROM my_batch")).longValue());

        SQLException dup = assertThrows(SQLException.class, () -> Db.exec(c, "INSERT INTO my_batch VALUES (1, 'x')"));
        assertEquals("23000", dup.getSQLState());
        assertEquals(1062, dup.getErrorCode());
        SQLException missing = assertThrows(SQLException.class, () -> Db.exec(c, "SELECT * FROM my_missing"));
        assertEquals("42S02", missing.getSQLState());
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO my_batch VALUES (?, 'b')")) {
            for (int id : new int[] {100, 1, 101}) {
                ps.setInt(1, id);
                ps.addBatch();
            }
            BatchUpdateException e = assertThrows(BatchUpdateException.class, ps::executeBatch);
            // What the counts report done is in the table, and nothing else.
            int[] counts = e.getUpdateCounts();
            int[] ids = {100, 1, 101};
            for (int k = 0; k < ids.length; k++) {
                boolean done = k < counts.length && (counts[k] >= 0 || counts[k] == Statement.SUCCESS_NO_INFO);
                long present = ((Number) single("SELECT count(*) FROM my_batch WHERE id = " + ids[k]
                        + " AND (id = 1 OR v = 'b')")).longValue();
                assertEquals(done ? 1 : (ids[k] == 1 ? 1 : 0), present, "row " + ids[k] + ": " + Arrays.toString(counts));
            }
        }
    }

    /** MariaDB Connector/ODBC ignores the query-timeout option; the JDBC layer's own timer cancels. */
    @Test
    @Timeout(60)
    void queryTimeoutAndCancelEndTheStatementAsCancelled() throws Exception {
        if (!Db.mariadb()) return;
        try (Statement s = c.createStatement()) {
            s.setQueryTimeout(1);
            long start = System.nanoTime();
            SQLException e = assertThrows(SQLException.class, () -> s.executeQuery("SELECT SLEEP(20) FROM DUAL"));
            assertTrue(System.nanoTime() - start < TimeUnit.SECONDS.toNanos(15), "the timeout ended it");
            assertInstanceOf(SQLTimeoutException.class, e, e.toString());
        }
        ScheduledExecutorService ex = Executors.newSingleThreadScheduledExecutor();
        try (Statement s = c.createStatement()) {
            Future<?> cancel = ex.schedule(() -> {
                s.cancel();
                return null;
            }, 500, TimeUnit.MILLISECONDS);
            SQLException e = assertThrows(SQLException.class,
                    () -> s.executeQuery("SELECT SLEEP(20), 1 FROM DUAL WHERE SLEEP(20) = 0 OR 1 = 1"));
            cancel.get();
            // MariaDB's "query execution was interrupted" (70100): a cancel, as
            // on the other data sources, not "the server declined the cancel".
            assertEquals("HY008", e.getSQLState(), e.toString());
            assertEquals(1L, ((Number) single("SELECT 1")).longValue(), "the connection goes on");
        } finally {
            ex.shutdownNow();
        }
    }

    @Test
    void unsignedIntegersReadInAWiderTypeNeverCutOrWrapped() throws SQLException {
        if (!Db.mariadb()) return;
        Db.exec(c, "DROP TABLE IF EXISTS my_unsigned",
                "CREATE TABLE my_unsigned (tu tinyint unsigned, su smallint unsigned, mu mediumint unsigned,"
                        + " iu int unsigned, bu bigint unsigned)",
                "INSERT INTO my_unsigned VALUES (255, 65535, 16777215, 4294967295, 18446744073709551615)");
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT * FROM my_unsigned")) {
            ResultSetMetaData md = rs.getMetaData();
            assertTrue(rs.next());
            assertEquals(255, rs.getInt(1));
            assertEquals(Integer.valueOf(65535), rs.getObject(2));
            assertEquals(65535, rs.getInt(2));
            assertEquals(16777215, rs.getInt(3));
            assertEquals(Long.valueOf(4294967295L), rs.getObject(4));
            assertEquals(4294967295L, rs.getLong(4));
            assertEquals("4294967295", rs.getString(4));
            Object big = rs.getObject(5);
            assertTrue(big instanceof BigDecimal || big instanceof BigInteger, big.getClass().getName());
            assertEquals(new BigInteger("18446744073709551615"), new BigDecimal(big.toString()).toBigIntegerExact());
            assertEquals(new BigDecimal("18446744073709551615"), rs.getBigDecimal(5));
            assertEquals("18446744073709551615", rs.getString(5));
            // A getter too narrow for the value fails with 22003, never wraps.
            assertEquals("22003", assertThrows(SQLException.class, () -> rs.getShort(2)).getSQLState());
            assertEquals("22003", assertThrows(SQLException.class, () -> rs.getInt(4)).getSQLState());
            assertEquals("22003", assertThrows(SQLException.class, () -> rs.getLong(5)).getSQLState());
            for (int i = 1; i <= 5; i++) assertFalse(md.isSigned(i), "column " + i);
            assertEquals(Types.INTEGER, md.getColumnType(2));
            assertEquals(Types.BIGINT, md.getColumnType(4));
            assertTrue(md.getColumnType(5) == Types.DECIMAL || md.getColumnType(5) == Types.NUMERIC);
            assertEquals(20, md.getPrecision(5));
        }
    }

    @Test
    void timesBeyondADayReadAsTextOnlyGetTimeFails() throws SQLException {
        if (!Db.mariadb()) return;
        Db.exec(c, "DROP TABLE IF EXISTS my_time", "CREATE TABLE my_time (id int, t time, t3 time(3))",
                "INSERT INTO my_time VALUES (1, '838:59:59', '-12:30:00.123'), (2, '13:45:56', '01:02:03.456')");
        try (Statement s = c.createStatement();
                ResultSet rs = s.executeQuery("SELECT id, t, t3 FROM my_time ORDER BY id")) {
            assertTrue(rs.next());
            assertEquals("838:59:59", rs.getString(2));
            assertEquals("-12:30:00.123", rs.getString(3));
            assertThrows(SQLException.class, () -> rs.getTime(2));
            assertTrue(rs.next(), "the row after it reads");
            assertEquals(LocalTime.of(13, 45, 56), rs.getTime(2).toLocalTime());
            assertEquals(LocalTime.of(1, 2, 3, 456_000_000), rs.getObject(3, LocalTime.class));
            assertEquals("01:02:03.456", rs.getString(3));
        }
    }

    @Test
    void bitOneIsABooleanAndWiderBitsAreTheirBits() throws SQLException {
        if (!Db.mariadb()) return;
        Db.exec(c, "DROP TABLE IF EXISTS my_bits", "CREATE TABLE my_bits (id int, b1 bit(1), b9 bit(9), b64 bit(64))",
                "INSERT INTO my_bits VALUES (1, b'1', b'100000001', b'1000000000000000000000000000000000000000000000000000000000000001'),"
                        + " (2, b'0', b'0', b'0')");
        try (Statement s = c.createStatement();
                ResultSet rs = s.executeQuery("SELECT b1, b9, b64 FROM my_bits ORDER BY id")) {
            ResultSetMetaData md = rs.getMetaData();
            assertEquals(Types.BIT, md.getColumnType(1));
            assertTrue(rs.next());
            assertTrue(rs.getBoolean(1));
            assertEquals(Boolean.TRUE, rs.getObject(1));
            assertEquals(1, rs.getInt(1));
            assertEquals(257L, rs.getLong(2));
            assertArrayEquals(new byte[] {1, 1}, rs.getBytes(2));
            assertEquals(0x8000000000000001L, rs.getLong(3));
            assertTrue(rs.next());
            assertFalse(rs.getBoolean(1));
            assertEquals(0L, rs.getLong(2));
        }
    }

    @Test
    void descriptionsAndMetadataAsMariadbHasThem() throws SQLException {
        if (!Db.mariadb()) return;
        Db.exec(c, "DROP TABLE IF EXISTS my_meta", "CREATE TABLE my_meta (id int NOT NULL AUTO_INCREMENT PRIMARY KEY,"
                + " name varchar(30) NOT NULL, note varchar(10), born date)");
        DatabaseMetaData md = c.getMetaData();
        assertEquals(Connection.TRANSACTION_REPEATABLE_READ, md.getDefaultTransactionIsolation());
        assertEquals(Connection.TRANSACTION_REPEATABLE_READ, c.getTransactionIsolation());
        try (ResultSet rs = md.getColumns(null, null, "my_meta", "%")) {
            assertTrue(rs.next());
            assertEquals("id", rs.getString("COLUMN_NAME"));
            assertEquals(DatabaseMetaData.columnNoNulls, rs.getInt("NULLABLE"));
            assertEquals("NO", rs.getString("IS_NULLABLE"));
            assertEquals("YES", rs.getString("IS_AUTOINCREMENT"));
            assertTrue(rs.next());
            assertEquals(Types.VARCHAR, rs.getInt("DATA_TYPE"));
            assertEquals("VARCHAR", rs.getString("TYPE_NAME").toUpperCase(java.util.Locale.ROOT));
            assertEquals("NO", rs.getString("IS_AUTOINCREMENT"));
            assertEquals(30, rs.getInt("COLUMN_SIZE"));
        }
        // A pattern is a value: quotes and backslashes in it match nothing and run nothing.
        for (String odd : new String[] {"x' OR '1'='1", "my_meta\\' --", "%'; DROP TABLE my_meta; --"}) {
            try (ResultSet rs = md.getColumns(null, null, odd, "%")) {
                assertFalse(rs.next(), odd);
            }
        }
        try (ResultSet rs = md.getColumns(null, null, "my\\_meta", "n%")) {
            assertTrue(rs.next());
            assertEquals("name", rs.getString("COLUMN_NAME"));
            assertTrue(rs.next());
            assertEquals("note", rs.getString("COLUMN_NAME"));
            assertFalse(rs.next());
        }
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT id, name, born FROM my_meta")) {
            ResultSetMetaData r = rs.getMetaData();
            assertEquals(10, r.getPrecision(1));
            assertEquals(30, r.getPrecision(2));
            assertEquals(10, r.getPrecision(3));
            assertTrue(r.isAutoIncrement(1));
        }
    }
}
