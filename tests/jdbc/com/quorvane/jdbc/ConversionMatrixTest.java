package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertTrue;

import java.math.BigDecimal;
import java.math.BigInteger;
import java.sql.CallableStatement;
import java.sql.Connection;
import java.sql.ResultSet;
import java.sql.ResultSetMetaData;
import java.sql.SQLException;
import java.sql.Statement;
import java.time.Instant;
import java.time.LocalDate;
import java.time.LocalDateTime;
import java.time.LocalTime;
import java.time.OffsetDateTime;
import java.util.ArrayList;
import java.util.HexFormat;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.TimeZone;
import org.junit.jupiter.api.Test;

/**
 * The same values read through the three ways the driver hands them out: the
 * cursor of a forward-only result, the rows of a scroll-insensitive result held
 * in memory, and (PostgreSQL) the OUT parameters of a call of a function that
 * returns the same row. Every getter is tried on every column; the answers
 * (value, Java class, wasNull, or the failure's SQLSTATE) must be the same.
 */
class ConversionMatrixTest {
    /** Columns: name, PostgreSQL type and SQLite type, one value per row (the last row all nulls). */
    private static final String[][] COLUMNS = {
        {"c_int2", "int2", "smallint", "-12", "0"},
        {"c_int4", "int4", "integer", "300", "-2147483648"},
        {"c_int8", "int8", "bigint", "9007199254740993", "1"},
        {"c_real", "real", "real", "1.5", "-0.25"},
        {"c_double", "double precision", "double", "1e300", "0.1"},
        {"c_num", "numeric(12,3)", "numeric(12,3)", "12.500", "-0.001"},
        {"c_text_num", "varchar(20)", "varchar(20)", "' 42 '", "'12.5'"},
        {"c_text_word", "varchar(20)", "varchar(20)", "'true'", "'abc'"},
        {"c_text_date", "text", "text", "'2024-02-29'", "'2024-02-29 13:45:07.5'"},
        {"c_bool", "boolean", "boolean", "true", "false"},
        {"c_date", "date", "date", "'2024-02-29'", "'1999-12-31'"},
        {"c_time", "time", "time", "'13:45:07'", "'00:00:01'"},
        {"c_ts", "timestamp", "timestamp", "'2024-02-29 13:45:07.125'", "'1999-12-31 23:59:59'"},
        {"c_tstz", "timestamptz", null, "'2024-02-29 13:45:07.5+00'", "'2024-07-01 01:00:00+02'"},
        {"c_bytea", "bytea", "blob", "'\\x00ff10'::bytea", "'\\x'::bytea"}};

    private static final int ROWS = 3;

    interface Getter {
        Object get(ResultSetLike r, int i) throws SQLException;
    }

    /** The getters a result set and a callable statement have in common. */
    interface ResultSetLike {
        String getString(int i) throws SQLException;
        boolean getBoolean(int i) throws SQLException;
        byte getByte(int i) throws SQLException;
        short getShort(int i) throws SQLException;
        int getInt(int i) throws SQLException;
        long getLong(int i) throws SQLException;
        float getFloat(int i) throws SQLException;
        double getDouble(int i) throws SQLException;
        BigDecimal getBigDecimal(int i) throws SQLException;
        byte[] getBytes(int i) throws SQLException;
        java.sql.Date getDate(int i) throws SQLException;
        java.sql.Time getTime(int i) throws SQLException;
        java.sql.Timestamp getTimestamp(int i) throws SQLException;
        java.sql.Timestamp getTimestamp(int i, java.util.Calendar c) throws SQLException;
        Object getObject(int i) throws SQLException;
        <T> T getObject(int i, Class<T> type) throws SQLException;
        boolean wasNull() throws SQLException;
    }

    private static ResultSetLike of(ResultSet rs) {
        return new ResultSetLike() {
            public String getString(int i) throws SQLException { return rs.getString(i); }
            public boolean getBoolean(int i) throws SQLException { return rs.getBoolean(i); }
            public byte getByte(int i) throws SQLException { return rs.getByte(i); }
            public short getShort(int i) throws SQLException { return rs.getShort(i); }
            public int getInt(int i) throws SQLException { return rs.getInt(i); }
            public long getLong(int i) throws SQLException { return rs.getLong(i); }
            public float getFloat(int i) throws SQLException { return rs.getFloat(i); }
            public double getDouble(int i) throws SQLException { return rs.getDouble(i); }
            public BigDecimal getBigDecimal(int i) throws SQLException { return rs.getBigDecimal(i); }
            public byte[] getBytes(int i) throws SQLException { return rs.getBytes(i); }
            public java.sql.Date getDate(int i) throws SQLException { return rs.getDate(i); }
            public java.sql.Time getTime(int i) throws SQLException { return rs.getTime(i); }
            public java.sql.Timestamp getTimestamp(int i) throws SQLException { return rs.getTimestamp(i); }
            public java.sql.Timestamp getTimestamp(int i, java.util.Calendar c) throws SQLException {
                return rs.getTimestamp(i, c);
            }
            public Object getObject(int i) throws SQLException { return rs.getObject(i); }
            public <T> T getObject(int i, Class<T> t) throws SQLException { return rs.getObject(i, t); }
            public boolean wasNull() throws SQLException { return rs.wasNull(); }
        };
    }

    private static ResultSetLike of(CallableStatement cs) {
        return new ResultSetLike() {
            public String getString(int i) throws SQLException { return cs.getString(i); }
            public boolean getBoolean(int i) throws SQLException { return cs.getBoolean(i); }
            public byte getByte(int i) throws SQLException { return cs.getByte(i); }
            public short getShort(int i) throws SQLException { return cs.getShort(i); }
            public int getInt(int i) throws SQLException { return cs.getInt(i); }
            public long getLong(int i) throws SQLException { return cs.getLong(i); }
            public float getFloat(int i) throws SQLException { return cs.getFloat(i); }
            public double getDouble(int i) throws SQLException { return cs.getDouble(i); }
            public BigDecimal getBigDecimal(int i) throws SQLException { return cs.getBigDecimal(i); }
            public byte[] getBytes(int i) throws SQLException { return cs.getBytes(i); }
            public java.sql.Date getDate(int i) throws SQLException { return cs.getDate(i); }
            public java.sql.Time getTime(int i) throws SQLException { return cs.getTime(i); }
            public java.sql.Timestamp getTimestamp(int i) throws SQLException { return cs.getTimestamp(i); }
            public java.sql.Timestamp getTimestamp(int i, java.util.Calendar c) throws SQLException {
                return cs.getTimestamp(i, c);
            }
            public Object getObject(int i) throws SQLException { return cs.getObject(i); }
            public <T> T getObject(int i, Class<T> t) throws SQLException { return cs.getObject(i, t); }
            public boolean wasNull() throws SQLException { return cs.wasNull(); }
        };
    }

    private static final Map<String, Getter> GETTERS = new LinkedHashMap<>();

    static {
        GETTERS.put("getString", ResultSetLike::getString);
        GETTERS.put("getBoolean", ResultSetLike::getBoolean);
        GETTERS.put("getByte", ResultSetLike::getByte);
        GETTERS.put("getShort", ResultSetLike::getShort);
        GETTERS.put("getInt", ResultSetLike::getInt);
        GETTERS.put("getLong", ResultSetLike::getLong);
        GETTERS.put("getFloat", ResultSetLike::getFloat);
        GETTERS.put("getDouble", ResultSetLike::getDouble);
        GETTERS.put("getBigDecimal", ResultSetLike::getBigDecimal);
        GETTERS.put("getBytes", ResultSetLike::getBytes);
        GETTERS.put("getDate", ResultSetLike::getDate);
        GETTERS.put("getTime", ResultSetLike::getTime);
        GETTERS.put("getTimestamp", ResultSetLike::getTimestamp);
        GETTERS.put("getTimestamp(UTC calendar)", (r, i) -> r.getTimestamp(i,
                java.util.Calendar.getInstance(TimeZone.getTimeZone("UTC"))));
        GETTERS.put("getObject", ResultSetLike::getObject);
        Class<?>[] classes = {String.class, Integer.class, Long.class, Short.class, Double.class, Float.class,
            BigDecimal.class, BigInteger.class, Boolean.class, byte[].class, LocalDate.class, LocalTime.class,
            LocalDateTime.class, OffsetDateTime.class, Instant.class, java.sql.Timestamp.class};
        for (Class<?> k : classes) GETTERS.put("getObject(" + k.getSimpleName() + ")", (r, i) -> r.getObject(i, k));
    }

    /** An answer: the value with its class and wasNull, or the failure's SQLSTATE. */
    private static String answer(ResultSetLike r, int i, Getter g) {
        try {
            Object v = g.get(r, i);
            String text = v == null ? "null" : v instanceof byte[] ? "0x" + HexFormat.of().formatHex((byte[]) v)
                    : v.getClass().getSimpleName() + " " + v;
            return text + (r.wasNull() ? " (wasNull)" : "");
        } catch (SQLException e) {
            return "SQLSTATE " + e.getSQLState();
        } catch (RuntimeException e) {
            return "unchecked " + e.getClass().getSimpleName();
        }
    }

    private static String select(int row) {
        StringBuilder s = new StringBuilder("SELECT ");
        for (int k = 0; k < COLUMNS.length; k++) {
            String[] c = COLUMNS[k];
            if (Db.sqlite() && c[2] == null) continue;
            if (s.length() > 7) s.append(", ");
            String v = row < ROWS - 1 ? c[3 + row] : "NULL";
            if (Db.postgres()) s.append("CAST(").append(v).append(" AS ").append(c[1]).append(")");
            else s.append(v.replace("::bytea", "").replace("'\\x'", "x''").replace("'\\x00ff10'", "x'00ff10'"));
            s.append(" AS ").append(c[0]);
        }
        return s.toString();
    }

    private static Map<String, String> read(ResultSetLike r, int columns) {
        Map<String, String> m = new LinkedHashMap<>();
        for (int i = 1; i <= columns; i++) {
            for (Map.Entry<String, Getter> g : GETTERS.entrySet()) m.put(i + " " + g.getKey(), answer(r, i, g.getValue()));
        }
        return m;
    }

    private static void compare(String what, Map<String, String> cursor, Map<String, String> other, List<String> out) {
        for (Map.Entry<String, String> e : cursor.entrySet()) {
            String o = other.get(e.getKey());
            if (!e.getValue().equals(o)) out.add(what + " " + e.getKey() + ": cursor " + e.getValue() + ", " + o);
        }
    }

    @Test
    void everyGetterAnswersTheSameThroughCursorHeldRowsAndOutParameters() throws SQLException {
        TimeZone saved = TimeZone.getDefault();
        // A zone off UTC, so a wall time read as the wrong kind of time shows.
        TimeZone.setDefault(TimeZone.getTimeZone("America/New_York"));
        List<String> differences = new ArrayList<>();
        try (Connection c = Db.connect()) {
            for (int row = 0; row < ROWS; row++) {
                String sql = select(row);
                Map<String, String> cursor, held;
                int n;
                int[] types;
                try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery(sql)) {
                    ResultSetMetaData md = rs.getMetaData();
                    n = md.getColumnCount();
                    types = new int[n];
                    for (int i = 1; i <= n; i++) types[i - 1] = md.getColumnType(i);
                    rs.next();
                    cursor = read(of(rs), n);
                }
                try (Statement s = c.createStatement(ResultSet.TYPE_SCROLL_INSENSITIVE, ResultSet.CONCUR_READ_ONLY);
                        ResultSet rs = s.executeQuery(sql)) {
                    rs.last();
                    held = read(of(rs), n);
                }
                compare("row " + row + " held", cursor, held, differences);
                if (!Db.postgres()) continue;
                StringBuilder outs = new StringBuilder();
                for (int i = 0; i < n; i++) {
                    outs.append(i == 0 ? "" : ", ").append("OUT ").append(COLUMNS[i][0]).append(' ')
                            .append(COLUMNS[i][1]);
                }
                Db.exec(c, "CREATE OR REPLACE FUNCTION conv_row" + row + "(" + outs + ") AS $$ " + sql
                        + " $$ LANGUAGE sql");
                StringBuilder marks = new StringBuilder();
                for (int i = 0; i < n; i++) marks.append(i == 0 ? "?" : ", ?");
                try (CallableStatement cs = c.prepareCall("{call conv_row" + row + "(" + marks + ")}")) {
                    for (int i = 1; i <= n; i++) cs.registerOutParameter(i, types[i - 1]);
                    cs.execute();
                    compare("row " + row + " call", cursor, read(of(cs), n), differences);
                }
                Db.exec(c, "DROP FUNCTION conv_row" + row + "()");
            }
        } finally {
            TimeZone.setDefault(saved);
        }
        differences.forEach(System.out::println);
        assertTrue(differences.isEmpty(), differences.size() + " differences, first: "
                + (differences.isEmpty() ? "" : differences.get(0)));
    }
}
