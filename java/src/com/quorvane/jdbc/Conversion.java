package com.quorvane.jdbc;

import java.math.BigDecimal;
import java.math.BigInteger;
import java.math.RoundingMode;
import java.nio.charset.StandardCharsets;
import java.sql.Date;
import java.sql.SQLException;
import java.sql.SQLFeatureNotSupportedException;
import java.sql.Time;
import java.sql.Timestamp;
import java.sql.Types;
import java.time.DateTimeException;
import java.time.Instant;
import java.time.LocalDate;
import java.time.LocalDateTime;
import java.time.LocalTime;
import java.time.OffsetDateTime;
import java.time.OffsetTime;
import java.time.ZoneId;
import java.time.ZoneOffset;
import java.time.ZonedDateTime;
import java.util.Calendar;
import java.util.Locale;
import java.util.UUID;

/**
 * The driver's one table of value conversions: what each getter answers for a
 * value of each kind of column. A column's conversion is chosen once, when its
 * result is described, and serves the cursor ({@link JdbcOdbcResultSet}), the
 * rows held in memory ({@link JdbcOdbcMemoryResultSet}) and the output
 * parameters of a call ({@link JdbcOdbcCallableStatement}) alike; each of them
 * is a {@link Row} that reads a column's value in the kind's own form.
 *
 * <p>Forms: the five numeric kinds are read unboxed ({@code readShort} ...
 * {@code readDouble}); the others as one object: a String for text, decimals
 * (their exact text) and times read as text, a Boolean, a byte[], a LocalDate,
 * a LocalTime, a LocalDateTime (a wall time) or an Instant. The conversions
 * hold no state; the numeric getters of a numeric column make no allocation.
 */
abstract class Conversion {
    /**
     * A source of column values for the current row. Each read sets
     * {@link #wasNull}; a null number reads as 0.
     */
    abstract static class Row {
        boolean wasNull;

        abstract short readShort(int i) throws SQLException;

        abstract int readInt(int i) throws SQLException;

        abstract long readLong(int i) throws SQLException;

        abstract float readFloat(int i) throws SQLException;

        abstract double readDouble(int i) throws SQLException;

        /** The value in its kind's object form, or null. */
        abstract Object readObject(int i) throws SQLException;

        /** How a failure names column {@code i} (from 0). */
        abstract String name(int i);
    }

    /** A row of values held as objects in their kinds' forms (rows in memory, output parameters). */
    abstract static class ObjectRow extends Row {
        private Number number(int i) throws SQLException {
            Object v = readObject(i);
            if (v == null) return null;
            if (v instanceof Number) return (Number) v;
            if (v instanceof Boolean) return (Boolean) v ? 1 : 0;
            return decimal(name(i), v);
        }

        @Override
        short readShort(int i) throws SQLException {
            Number n = number(i);
            return n == null ? 0 : n.shortValue();
        }

        @Override
        int readInt(int i) throws SQLException {
            Number n = number(i);
            return n == null ? 0 : n.intValue();
        }

        @Override
        long readLong(int i) throws SQLException {
            Number n = number(i);
            return n == null ? 0 : n.longValue();
        }

        @Override
        float readFloat(int i) throws SQLException {
            Number n = number(i);
            return n == null ? 0 : n.floatValue();
        }

        @Override
        double readDouble(int i) throws SQLException {
            Number n = number(i);
            return n == null ? 0 : n.doubleValue();
        }
    }

    // ---------------------------------------------------------------- the table

    static final Conversion SHORT = new ShortConversion();
    static final Conversion INT = new IntConversion();
    static final Conversion LONG = new LongConversion();
    static final Conversion FLOAT = new FloatConversion();
    static final Conversion DOUBLE = new DoubleConversion();
    static final Conversion DECIMAL = new DecimalConversion();
    static final Conversion TEXT = new TextConversion();
    static final Conversion BOOLEAN = new BooleanConversion("true", "false");
    /** PostgreSQL's booleans: text as pgjdbc gives it. */
    static final Conversion BOOLEAN_TEXT = new BooleanConversion("t", "f");
    static final Conversion BINARY = new BinaryConversion();
    /** MariaDB's BIT(1), read as a small integer: a boolean whose text is 1 or 0. */
    static final Conversion BIT = new BitConversion();
    /** MariaDB's BIT(n), read as its bytes: also the number they make, big-endian. */
    static final Conversion BITS = new BitsConversion();
    static final Conversion DATE = new DateConversion();
    static final Conversion TIME = new TimeConversion();
    /** A time read as the data source's text (with its fraction, or an offset). */
    static final Conversion TIME_TEXT = new TimeTextConversion();
    /** A wall time. */
    static final Conversion TIMESTAMP = new TimestampConversion(false);
    /** A UTC wall time (the 8-byte form of a timestamp without zone). */
    static final Conversion TIMESTAMP_UTC = new TimestampConversion(true);
    /** An instant. */
    static final Conversion TIMESTAMP_TZ = new InstantConversion();

    /** A placeholder for "no conversion known" in caches (never used to read a value). */
    static final Conversion NONE = new TextConversion();

    /** The conversion of a JDBC type (results held in memory, output parameters of an undescribed call). */
    static Conversion forJdbcType(int jdbcType) {
        switch (jdbcType) {
        case Types.TINYINT: case Types.SMALLINT: return SHORT;
        case Types.INTEGER: return INT;
        case Types.BIGINT: return LONG;
        case Types.REAL: return FLOAT;
        case Types.FLOAT: case Types.DOUBLE: return DOUBLE;
        case Types.NUMERIC: case Types.DECIMAL: return DECIMAL;
        case Types.BIT: case Types.BOOLEAN: return BOOLEAN;
        case Types.BINARY: case Types.VARBINARY: case Types.LONGVARBINARY: case Types.BLOB: return BINARY;
        case Types.DATE: return DATE;
        case Types.TIME: return TIME_TEXT;
        case Types.TIMESTAMP: return TIMESTAMP;
        case Types.TIMESTAMP_WITH_TIMEZONE: return TIMESTAMP_TZ;
        default: return TEXT;
        }
    }

    /**
     * The conversion of a described column: its ODBC SQL type, the driver's
     * type (libruva70's codes for timestamps and times as text) and whether
     * its type name says boolean.
     */
    static Conversion forColumn(int sqlType, int driverType, boolean booleanName) {
        switch (sqlType) {
        case Odbc.TINYINT: case Odbc.SMALLINT: return SHORT;
        case Odbc.INTEGER: return INT;
        case Odbc.BIGINT: return LONG;
        case Odbc.REAL: return FLOAT;
        case Odbc.FLOAT: case Odbc.DOUBLE: return DOUBLE;
        case Odbc.NUMERIC: case Odbc.DECIMAL: return DECIMAL;
        case Odbc.BIT: return BOOLEAN;
        case Odbc.BINARY: case Odbc.VARBINARY: case Odbc.LONGVARBINARY: return BINARY;
        case Odbc.DATE: return DATE;
        case Odbc.TIME: return driverType == Odbc.DRIVER_TIME_TEXT ? TIME_TEXT : TIME;
        case Odbc.TIMESTAMP:
            if (driverType == Odbc.DRIVER_TIMESTAMP_TZ) return TIMESTAMP_TZ;
            if (driverType == Odbc.DRIVER_TIMESTAMP || driverType == Odbc.DRIVER_DATETIME) return TIMESTAMP;
            return TIMESTAMP_UTC;
        default:
            return booleanName ? BOOLEAN_TEXT : TEXT;
        }
    }

    // ---------------------------------------------------------------- what every kind answers

    /** The value as an object in the kind's form; the numeric kinds box here. */
    Object natural(Row r, int i) throws SQLException {
        return r.readObject(i);
    }

    /**
     * The value of the kind parsed from text (an output parameter's buffer);
     * the text is not null. A value that is not of the kind fails with 22018.
     */
    abstract Object fromText(String s, String name) throws SQLException;

    String getString(Row r, int i) throws SQLException {
        Object v = natural(r, i);
        return v == null ? null : text(v);
    }

    boolean getBoolean(Row r, int i) throws SQLException {
        Object v = natural(r, i);
        if (v == null) return false;
        if (v instanceof Boolean) return (Boolean) v;
        if (v instanceof String) return parseBoolean(r.name(i), (String) v);
        if (v instanceof Number) return decimal(r.name(i), v).signum() != 0;
        throw conversion(r.name(i), "a boolean");
    }

    long getLong(Row r, int i, long min, long max, String what) throws SQLException {
        Object v = natural(r, i);
        return v == null ? 0 : toLong(r.name(i), v, min, max, what);
    }

    final byte getByte(Row r, int i) throws SQLException {
        return (byte) getLong(r, i, Byte.MIN_VALUE, Byte.MAX_VALUE, "byte");
    }

    short getShort(Row r, int i) throws SQLException {
        return (short) getLong(r, i, Short.MIN_VALUE, Short.MAX_VALUE, "short");
    }

    int getInt(Row r, int i) throws SQLException {
        return (int) getLong(r, i, Integer.MIN_VALUE, Integer.MAX_VALUE, "int");
    }

    long getLong(Row r, int i) throws SQLException {
        return getLong(r, i, Long.MIN_VALUE, Long.MAX_VALUE, "long");
    }

    float getFloat(Row r, int i) throws SQLException {
        Object v = natural(r, i);
        if (v == null) return 0;
        if (v instanceof String) {
            try {
                return Float.parseFloat(((String) v).trim());
            } catch (NumberFormatException e) {
                throw conversion(r.name(i), "a float");
            }
        }
        return v instanceof Number ? ((Number) v).floatValue() : decimal(r.name(i), v).floatValue();
    }

    double getDouble(Row r, int i) throws SQLException {
        Object v = natural(r, i);
        if (v == null) return 0;
        if (v instanceof String) {
            try {
                return Double.parseDouble(((String) v).trim());
            } catch (NumberFormatException e) {
                throw conversion(r.name(i), "a double");
            }
        }
        return v instanceof Number ? ((Number) v).doubleValue() : decimal(r.name(i), v).doubleValue();
    }

    BigDecimal getBigDecimal(Row r, int i) throws SQLException {
        Object v = natural(r, i);
        return v == null ? null : decimal(r.name(i), v);
    }

    byte[] getBytes(Row r, int i) throws SQLException {
        Object v = natural(r, i);
        if (v == null) return null;
        if (v instanceof String) return ((String) v).getBytes(StandardCharsets.UTF_8);
        throw conversion(r.name(i), "bytes");
    }

    Date getDate(Row r, int i, Calendar cal) throws SQLException {
        Object v = natural(r, i);
        if (v == null) return null;
        if (v instanceof Instant) {
            ZoneId z = zone(cal);
            return new Date(((Instant) v).atZone(z).toLocalDate().atStartOfDay(z).toInstant().toEpochMilli());
        }
        LocalDate d = localDate(r.name(i), v);
        if (cal == null) return Date.valueOf(d);
        return new Date(d.atStartOfDay(cal.getTimeZone().toZoneId()).toInstant().toEpochMilli());
    }

    Time getTime(Row r, int i, Calendar cal) throws SQLException {
        Object v = natural(r, i);
        if (v == null) return null;
        LocalTime t = v instanceof Instant ? LocalDateTime.ofInstant((Instant) v, zone(cal)).toLocalTime()
                : localTime(r.name(i), v);
        if (cal == null) return sqlTime(t);
        return new Time(t.atDate(LocalDate.of(1970, 1, 1)).atZone(cal.getTimeZone().toZoneId()).toInstant()
                .toEpochMilli());
    }

    Timestamp getTimestamp(Row r, int i, Calendar cal) throws SQLException {
        Object v = natural(r, i);
        if (v == null) return null;
        if (v instanceof Instant) return Timestamp.from((Instant) v);
        LocalDateTime t = localDateTime(r.name(i), v);
        if (cal == null) return Timestamp.valueOf(t);
        return Timestamp.from(t.atZone(cal.getTimeZone().toZoneId()).toInstant());
    }

    /** getArray: only a column of arrays holds one. */
    java.sql.Array getArray(Row r, int i) throws SQLException {
        Object v = natural(r, i);
        if (v == null) return null;
        throw conversion(r.name(i), "an array");
    }

    /** getObject: the kind's Java class (JDBC's for dates and times). */
    Object getObject(Row r, int i) throws SQLException {
        return natural(r, i);
    }

    /** getObject(i, type). */
    final <T> T getObject(Row r, int i, Class<T> type) throws SQLException {
        if (type == null) throw JdbcOdbcErrors.of("No type given", "HY009");
        Object v = natural(r, i);
        if (v == null) {
            if (type.isPrimitive()) throw conversion(r.name(i), "a null " + type.getName());
            return null;
        }
        return type.cast(convert(r.name(i), convertible(r.name(i), v), type));
    }

    /** The value in the form getObject(i, type) converts from (a time's or decimal's text parsed). */
    Object convertible(String name, Object v) throws SQLException {
        return v;
    }

    /** An instant as a UTC wall time with an offset; a wall time read from the 8-byte form is UTC too. */
    boolean utcWallTime() {
        return false;
    }

    private Object convert(String name, Object v, Class<?> type) throws SQLException {
        if (type == String.class) return text(v);
        if (type == Integer.class || type == int.class) return (int) toLong(name, v, Integer.MIN_VALUE, Integer.MAX_VALUE, "int");
        if (type == Long.class || type == long.class) return toLong(name, v, Long.MIN_VALUE, Long.MAX_VALUE, "long");
        if (type == Short.class || type == short.class) return (short) toLong(name, v, Short.MIN_VALUE, Short.MAX_VALUE, "short");
        if (type == Byte.class || type == byte.class) return (byte) toLong(name, v, Byte.MIN_VALUE, Byte.MAX_VALUE, "byte");
        if (type == Double.class || type == double.class) {
            return v instanceof Number ? ((Number) v).doubleValue() : decimal(name, v).doubleValue();
        }
        if (type == Float.class || type == float.class) {
            return v instanceof Number ? ((Number) v).floatValue() : decimal(name, v).floatValue();
        }
        if (type == Boolean.class || type == boolean.class) {
            if (v instanceof Boolean) return v;
            if (v instanceof String) return parseBoolean(name, (String) v);
            return decimal(name, v).signum() != 0;
        }
        if (type == BigDecimal.class) return decimal(name, v);
        if (type == BigInteger.class) return decimal(name, v).toBigInteger();
        if (type == byte[].class) {
            if (v instanceof byte[]) return ((byte[]) v).clone();
            if (v instanceof String) return ((String) v).getBytes(StandardCharsets.UTF_8);
            throw conversion(name, "bytes");
        }
        if (type == LocalDate.class) return localDate(name, v);
        if (type == LocalTime.class) return localTime(name, v);
        // An instant as the wall time in the JVM's zone, as getTimestamp renders it.
        if (type == LocalDateTime.class) return localDateTime(name, v);
        if (type == OffsetDateTime.class) {
            if (v instanceof Instant) return ((Instant) v).atOffset(ZoneOffset.UTC);
            if (utcWallTime()) return localDateTime(name, v).atOffset(ZoneOffset.UTC);
            return localDateTime(name, v).atZone(ZoneId.systemDefault()).toOffsetDateTime();
        }
        if (type == ZonedDateTime.class) {
            if (v instanceof Instant) return ((Instant) v).atZone(ZoneOffset.UTC);
            return localDateTime(name, v).atZone(ZoneId.systemDefault());
        }
        if (type == Instant.class) {
            if (v instanceof Instant) return v;
            if (utcWallTime()) return localDateTime(name, v).toInstant(ZoneOffset.UTC);
            return localDateTime(name, v).atZone(ZoneId.systemDefault()).toInstant();
        }
        if (type == OffsetTime.class) return localTime(name, v).atOffset(ZoneOffset.UTC);
        if (type == Date.class) return Date.valueOf(localDate(name, v));
        if (type == Time.class) return sqlTime(localTime(name, v));
        if (type == Timestamp.class || type == java.util.Date.class) {
            if (v instanceof Instant) return Timestamp.from((Instant) v);
            return Timestamp.valueOf(localDateTime(name, v));
        }
        if (type == UUID.class) {
            try {
                return UUID.fromString(text(v).trim());
            } catch (IllegalArgumentException e) {
                throw conversion(name, "a UUID");
            }
        }
        Object o = javaObject(v);
        if (type == Object.class || type.isInstance(o)) return o;
        throw new SQLFeatureNotSupportedException(name + " cannot be read as " + type.getName(), "HYC00");
    }

    /** The kind's getObject class for a value in the kind's form. */
    Object javaObject(Object v) throws SQLException {
        return v;
    }

    // ---------------------------------------------------------------- conversions between forms

    static SQLException conversion(String name, String to) {
        return JdbcOdbcErrors.of(name + " cannot be read as " + to, "22018");
    }

    private static ZoneId zone(Calendar cal) {
        return cal == null ? ZoneId.systemDefault() : cal.getTimeZone().toZoneId();
    }

    /** Text as a boolean: the words of SQL and of the data sources, else a number's sign. */
    static boolean parseBoolean(String name, String s) throws SQLException {
        String t = s.trim().toLowerCase(Locale.ROOT);
        switch (t) {
        case "1": case "t": case "true": case "y": case "yes": case "on":
            return true;
        case "0": case "f": case "false": case "n": case "no": case "off":
            return false;
        default:
            try {
                return new BigDecimal(t).signum() != 0;
            } catch (NumberFormatException e) {
                throw conversion(name, "a boolean");
            }
        }
    }

    static BigDecimal decimal(String name, Object v) throws SQLException {
        if (v instanceof BigDecimal) return (BigDecimal) v;
        if (v instanceof Integer || v instanceof Long || v instanceof Short) return BigDecimal.valueOf(((Number) v).longValue());
        if (v instanceof Float || v instanceof Double) {
            double d = ((Number) v).doubleValue();
            if (Double.isNaN(d) || Double.isInfinite(d)) throw conversion(name, "a decimal number");
            return new BigDecimal(v.toString());
        }
        if (v instanceof Boolean) return (Boolean) v ? BigDecimal.ONE : BigDecimal.ZERO;
        if (v instanceof String) {
            try {
                return new BigDecimal(((String) v).trim());
            } catch (NumberFormatException e) {
                throw conversion(name, "a number");
            }
        }
        throw conversion(name, "a number");
    }

    static long toLong(String name, Object v, long min, long max, String what) throws SQLException {
        long r;
        if (v instanceof Integer || v instanceof Long || v instanceof Short) {
            r = ((Number) v).longValue();
        } else if (v instanceof Boolean) {
            r = (Boolean) v ? 1 : 0;
        } else {
            BigDecimal d = decimal(name, v).setScale(0, RoundingMode.DOWN);
            if (d.compareTo(BigDecimal.valueOf(min)) < 0 || d.compareTo(BigDecimal.valueOf(max)) > 0) {
                throw outOfRange(name, v, what);
            }
            return d.longValue();
        }
        if (r < min || r > max) throw outOfRange(name, v, what);
        return r;
    }

    static SQLException outOfRange(String name, Object v, String what) {
        return JdbcOdbcErrors.of(name + " holds " + v + ", out of range for " + what, "22003");
    }

    /** A value in a kind's form as text. */
    static String text(Object v) {
        if (v instanceof String) return (String) v;
        if (v instanceof BigDecimal) return ((BigDecimal) v).toPlainString();
        if (v instanceof byte[]) return hex((byte[]) v);
        if (v instanceof LocalDateTime) return timestampText((LocalDateTime) v);
        if (v instanceof Instant) return timestampText(LocalDateTime.ofInstant((Instant) v, ZoneOffset.UTC)) + "+00";
        if (v instanceof LocalTime) {
            LocalTime t = (LocalTime) v;
            return t.getNano() == 0 && t.getSecond() == 0 ? t.toString() + ":00" : t.toString();
        }
        return String.valueOf(v);
    }

    static String timestampText(LocalDateTime t) {
        String s = String.format(Locale.ROOT, "%04d-%02d-%02d %02d:%02d:%02d", t.getYear(), t.getMonthValue(),
                t.getDayOfMonth(), t.getHour(), t.getMinute(), t.getSecond());
        if (t.getNano() == 0) return s;
        String f = String.format(Locale.ROOT, "%09d", t.getNano());
        int end = f.length();
        while (f.charAt(end - 1) == '0') end--;
        return s + "." + f.substring(0, end);
    }

    /** Bytes as upper-case hexadecimal. */
    static String hex(byte[] b) {
        char[] d = "0123456789ABCDEF".toCharArray();
        char[] c = new char[b.length * 2];
        for (int k = 0; k < b.length; k++) {
            c[2 * k] = d[(b[k] >> 4) & 15];
            c[2 * k + 1] = d[b[k] & 15];
        }
        return new String(c);
    }

    static LocalDateTime localDateTime(String name, Object v) throws SQLException {
        if (v instanceof LocalDateTime) return (LocalDateTime) v;
        if (v instanceof LocalDate) return ((LocalDate) v).atStartOfDay();
        if (v instanceof Instant) return LocalDateTime.ofInstant((Instant) v, ZoneId.systemDefault());
        if (v instanceof String) {
            String s = ((String) v).trim().replace('T', ' ');
            try {
                if (s.length() == 10) return LocalDate.parse(s).atStartOfDay();
                return Timestamp.valueOf(s).toLocalDateTime();
            } catch (IllegalArgumentException | DateTimeException e) {
                throw conversion(name, "a timestamp");
            }
        }
        throw conversion(name, "a timestamp");
    }

    static LocalDate localDate(String name, Object v) throws SQLException {
        if (v instanceof LocalDate) return (LocalDate) v;
        if (v instanceof LocalDateTime) return ((LocalDateTime) v).toLocalDate();
        if (v instanceof Instant) return LocalDateTime.ofInstant((Instant) v, ZoneId.systemDefault()).toLocalDate();
        if (v instanceof String) {
            String s = ((String) v).trim();
            try {
                return LocalDate.parse(s.length() > 10 ? s.substring(0, 10) : s);
            } catch (DateTimeException e) {
                throw conversion(name, "a date");
            }
        }
        throw conversion(name, "a date");
    }

    static LocalTime localTime(String name, Object v) throws SQLException {
        if (v instanceof LocalTime) return (LocalTime) v;
        if (v instanceof LocalDateTime) return ((LocalDateTime) v).toLocalTime();
        if (v instanceof Instant) return LocalDateTime.ofInstant((Instant) v, ZoneId.systemDefault()).toLocalTime();
        if (v instanceof String) {
            String s = ((String) v).trim();
            try {
                if (s.length() > 10 && s.charAt(4) == '-') s = s.substring(11);
                return LocalTime.parse(s);
            } catch (DateTimeException e) {
                throw conversion(name, "a time");
            }
        }
        throw conversion(name, "a time");
    }

    /** A time's text as the data source writes it, without the offset of a time with time zone. */
    static LocalTime timeOfText(String name, String s) throws SQLException {
        int end = s.length();
        for (int k = 5; k < end; k++) {
            char ch = s.charAt(k);
            if (ch == '+' || ch == '-') end = k;
        }
        try {
            return LocalTime.parse(end == s.length() ? s : s.substring(0, end));
        } catch (DateTimeException e) {
            throw JdbcOdbcErrors.exception(name + " holds no valid time: " + s, "22007", 0, e);
        }
    }

    /** A java.sql.Time of a time of day, with its milliseconds. */
    static Time sqlTime(LocalTime t) {
        Time r = Time.valueOf(t);
        return t.getNano() < 1_000_000 ? r : new Time(r.getTime() + t.getNano() / 1_000_000);
    }

    // ---------------------------------------------------------------- the kinds

    /** The integer kinds: read unboxed, widened, range-checked. */
    private abstract static class Integral extends Conversion {
        abstract long read(Row r, int i) throws SQLException;

        @Override
        long getLong(Row r, int i, long min, long max, String what) throws SQLException {
            long v = read(r, i);
            if (v < min || v > max) throw outOfRange(r.name(i), v, what);
            return v;
        }

        @Override
        boolean getBoolean(Row r, int i) throws SQLException {
            return read(r, i) != 0;
        }

        @Override
        float getFloat(Row r, int i) throws SQLException {
            return read(r, i);
        }

        @Override
        double getDouble(Row r, int i) throws SQLException {
            return read(r, i);
        }

        @Override
        String getString(Row r, int i) throws SQLException {
            long v = read(r, i);
            return r.wasNull ? null : Long.toString(v);
        }

        @Override
        BigDecimal getBigDecimal(Row r, int i) throws SQLException {
            long v = read(r, i);
            return r.wasNull ? null : BigDecimal.valueOf(v);
        }

        @Override
        Object fromText(String s, String name) throws SQLException {
            long v = toLong(name, s, Long.MIN_VALUE, Long.MAX_VALUE, "long");
            return box(v);
        }

        abstract Object box(long v);

        @Override
        Object natural(Row r, int i) throws SQLException {
            long v = read(r, i);
            return r.wasNull ? null : box(v);
        }
    }

    private static final class ShortConversion extends Integral {
        @Override
        long read(Row r, int i) throws SQLException {
            return r.readShort(i);
        }

        @Override
        short getShort(Row r, int i) throws SQLException {
            return r.readShort(i);
        }

        @Override
        int getInt(Row r, int i) throws SQLException {
            return r.readShort(i);
        }

        @Override
        long getLong(Row r, int i) throws SQLException {
            return r.readShort(i);
        }

        @Override
        Object box(long v) {
            return Integer.valueOf((int) v);
        }
    }

    private static final class IntConversion extends Integral {
        @Override
        long read(Row r, int i) throws SQLException {
            return r.readInt(i);
        }

        @Override
        int getInt(Row r, int i) throws SQLException {
            return r.readInt(i);
        }

        @Override
        long getLong(Row r, int i) throws SQLException {
            return r.readInt(i);
        }

        @Override
        Object box(long v) {
            return Integer.valueOf((int) v);
        }
    }

    private static final class LongConversion extends Integral {
        @Override
        long read(Row r, int i) throws SQLException {
            return r.readLong(i);
        }

        @Override
        long getLong(Row r, int i) throws SQLException {
            return r.readLong(i);
        }

        @Override
        Object box(long v) {
            return Long.valueOf(v);
        }
    }

    /** The floating-point kinds: read unboxed; NaN and infinities are no integer or decimal. */
    private abstract static class Floating extends Conversion {
        @Override
        abstract double getDouble(Row r, int i) throws SQLException;

        abstract Object box(double v);

        @Override
        Object natural(Row r, int i) throws SQLException {
            double v = getDouble(r, i);
            return r.wasNull ? null : box(v);
        }

        @Override
        String getString(Row r, int i) throws SQLException {
            Object v = natural(r, i);
            return v == null ? null : v.toString();
        }

        @Override
        long getLong(Row r, int i, long min, long max, String what) throws SQLException {
            double v = getDouble(r, i);
            if (r.wasNull) return 0;
            if (Double.isNaN(v) || Double.isInfinite(v)) throw conversion(r.name(i), "a decimal number");
            // Truncated toward zero, as a decimal would be.
            double t = v < 0 ? Math.ceil(v) : Math.floor(v);
            // 2^63 is the first double above every long.
            if (t < min || t > max || t >= 0x1p63) throw outOfRange(r.name(i), box(v), what);
            return (long) t;
        }

        @Override
        boolean getBoolean(Row r, int i) throws SQLException {
            double v = getDouble(r, i);
            if (Double.isNaN(v) || Double.isInfinite(v)) throw conversion(r.name(i), "a decimal number");
            return v != 0;
        }

        @Override
        float getFloat(Row r, int i) throws SQLException {
            return (float) getDouble(r, i);
        }
    }

    private static final class FloatConversion extends Floating {
        @Override
        double getDouble(Row r, int i) throws SQLException {
            return r.readFloat(i);
        }

        @Override
        float getFloat(Row r, int i) throws SQLException {
            return r.readFloat(i);
        }

        @Override
        Object box(double v) {
            return Float.valueOf((float) v);
        }

        @Override
        Object fromText(String s, String name) throws SQLException {
            try {
                return Float.valueOf(s.trim());
            } catch (NumberFormatException e) {
                throw conversion(name, "a float");
            }
        }
    }

    private static final class DoubleConversion extends Floating {
        @Override
        double getDouble(Row r, int i) throws SQLException {
            return r.readDouble(i);
        }

        @Override
        Object box(double v) {
            return Double.valueOf(v);
        }

        @Override
        Object fromText(String s, String name) throws SQLException {
            try {
                return Double.valueOf(s.trim());
            } catch (NumberFormatException e) {
                throw conversion(name, "a double");
            }
        }
    }

    /** Decimals as their exact text: the data source's scale is kept (1234.5600 stays scale 4). */
    private static final class DecimalConversion extends Conversion {
        @Override
        Object fromText(String s, String name) {
            return s.trim();
        }

        @Override
        Object convertible(String name, Object v) throws SQLException {
            try {
                return new BigDecimal((String) v);
            } catch (NumberFormatException e) {
                throw JdbcOdbcErrors.exception(name + " holds no decimal number: " + v, "22018", 0, e);
            }
        }

        @Override
        Object getObject(Row r, int i) throws SQLException {
            return getBigDecimal(r, i);
        }

        @Override
        BigDecimal getBigDecimal(Row r, int i) throws SQLException {
            Object v = natural(r, i);
            if (v == null) return null;
            return (BigDecimal) convertible(r.name(i), v);
        }

        @Override
        boolean getBoolean(Row r, int i) throws SQLException {
            BigDecimal d = getBigDecimal(r, i);
            return d != null && d.signum() != 0;
        }

        @Override
        long getLong(Row r, int i, long min, long max, String what) throws SQLException {
            BigDecimal d = getBigDecimal(r, i);
            return d == null ? 0 : toLong(r.name(i), d, min, max, what);
        }

        @Override
        float getFloat(Row r, int i) throws SQLException {
            BigDecimal d = getBigDecimal(r, i);
            return d == null ? 0 : d.floatValue();
        }

        @Override
        double getDouble(Row r, int i) throws SQLException {
            BigDecimal d = getBigDecimal(r, i);
            return d == null ? 0 : d.doubleValue();
        }

        @Override
        byte[] getBytes(Row r, int i) throws SQLException {
            if (natural(r, i) == null) return null;
            throw conversion(r.name(i), "bytes");
        }
    }

    private static final class TextConversion extends Conversion {
        @Override
        Object fromText(String s, String name) {
            return s;
        }
    }

    private static final class BooleanConversion extends Conversion {
        private final String yes, no;

        BooleanConversion(String yes, String no) {
            this.yes = yes;
            this.no = no;
        }

        @Override
        Object fromText(String s, String name) throws SQLException {
            return parseBoolean(name, s);
        }

        @Override
        String getString(Row r, int i) throws SQLException {
            Object v = natural(r, i);
            return v == null ? null : (Boolean) v ? yes : no;
        }
    }

    private static final class BitConversion extends Integral {
        @Override
        long read(Row r, int i) throws SQLException {
            return r.readShort(i);
        }

        @Override
        Object box(long v) {
            return Boolean.valueOf(v != 0);
        }

        @Override
        Object fromText(String s, String name) throws SQLException {
            return parseBoolean(name, s);
        }
    }

    private static class BinaryConversion extends Conversion {
        @Override
        Object fromText(String s, String name) throws SQLException {
            // Output parameters carry bytes as hexadecimal text (psqlODBC writes bytea so).
            String t = s.trim();
            if (t.startsWith("\\x")) t = t.substring(2);
            if ((t.length() & 1) != 0) throw conversion(name, "bytes");
            byte[] b = new byte[t.length() / 2];
            for (int k = 0; k < b.length; k++) {
                int hi = Character.digit(t.charAt(2 * k), 16), lo = Character.digit(t.charAt(2 * k + 1), 16);
                if (hi < 0 || lo < 0) throw conversion(name, "bytes");
                b[k] = (byte) (hi << 4 | lo);
            }
            return b;
        }

        @Override
        byte[] getBytes(Row r, int i) throws SQLException {
            Object v = natural(r, i);
            return v == null ? null : (byte[]) v;
        }

        @Override
        Object getObject(Row r, int i) throws SQLException {
            return getBytes(r, i);
        }
    }

    private static final class BitsConversion extends BinaryConversion {
        /** The number the bytes make, big-endian; all 64 bits as they are. */
        private static long bits(String name, byte[] b, String what) throws SQLException {
            if (b.length > 8) throw conversion(name, what);
            long v = 0;
            for (byte x : b) v = (v << 8) | (x & 0xFF);
            return v;
        }

        @Override
        long getLong(Row r, int i, long min, long max, String what) throws SQLException {
            byte[] b = getBytes(r, i);
            if (b == null) return 0;
            long v = bits(r.name(i), b, what);
            if (max != Long.MAX_VALUE && (v < min || v > max)) throw outOfRange(r.name(i), v, what);
            return v;
        }

        @Override
        String getString(Row r, int i) throws SQLException {
            byte[] b = getBytes(r, i);
            return b == null ? null : Long.toUnsignedString(bits(r.name(i), b, "a number"));
        }
    }

    private static final class DateConversion extends Conversion {
        @Override
        Object fromText(String s, String name) throws SQLException {
            return localDate(name, s);
        }

        @Override
        Object javaObject(Object v) {
            return Date.valueOf((LocalDate) v);
        }

        @Override
        Object getObject(Row r, int i) throws SQLException {
            Object v = natural(r, i);
            return v == null ? null : javaObject(v);
        }
    }

    private static class TimeConversion extends Conversion {
        @Override
        Object fromText(String s, String name) throws SQLException {
            return timeOfText(name, s.trim());
        }

        LocalTime time(Row r, int i, Object v) throws SQLException {
            return (LocalTime) v;
        }

        @Override
        Object javaObject(Object v) {
            return sqlTime((LocalTime) v);
        }

        @Override
        Object getObject(Row r, int i) throws SQLException {
            Object v = natural(r, i);
            return v == null ? null : sqlTime(time(r, i, v));
        }

        @Override
        Time getTime(Row r, int i, Calendar cal) throws SQLException {
            Object v = natural(r, i);
            if (v == null) return null;
            LocalTime t = time(r, i, v);
            if (cal == null) return sqlTime(t);
            return new Time(t.atDate(LocalDate.of(1970, 1, 1)).atZone(cal.getTimeZone().toZoneId()).toInstant()
                    .toEpochMilli());
        }
    }

    /** A time kept as the data source's text: getString gives that text, the rest its time of day. */
    private static final class TimeTextConversion extends TimeConversion {
        @Override
        Object fromText(String s, String name) {
            return s.trim();
        }

        @Override
        LocalTime time(Row r, int i, Object v) throws SQLException {
            return timeOfText(r.name(i), (String) v);
        }

        @Override
        Object convertible(String name, Object v) throws SQLException {
            return timeOfText(name, (String) v);
        }
    }

    private static final class TimestampConversion extends Conversion {
        private final boolean utc;

        TimestampConversion(boolean utc) {
            this.utc = utc;
        }

        @Override
        boolean utcWallTime() {
            return utc;
        }

        @Override
        Object fromText(String s, String name) throws SQLException {
            return localDateTime(name, s);
        }

        @Override
        Object javaObject(Object v) {
            return Timestamp.valueOf((LocalDateTime) v);
        }

        @Override
        Object getObject(Row r, int i) throws SQLException {
            Object v = natural(r, i);
            return v == null ? null : javaObject(v);
        }
    }

    private static final class InstantConversion extends Conversion {
        /**
         * An instant's text: with an offset it names its instant; without one it
         * is a wall time of the session, which libruva70 runs in UTC (psqlODBC
         * writes a timestamptz output parameter so).
         */
        @Override
        Object fromText(String s, String name) throws SQLException {
            String t = s.trim().replace('T', ' ');
            int sign = Math.max(t.lastIndexOf('+'), t.lastIndexOf('-'));
            if (sign > 10) {
                String off = t.substring(sign);
                if (off.length() == 3) off += ":00";
                try {
                    return localDateTime(name, t.substring(0, sign)).atOffset(ZoneOffset.of(off)).toInstant();
                } catch (DateTimeException e) {
                    throw conversion(name, "a timestamp");
                }
            }
            return localDateTime(name, t).toInstant(ZoneOffset.UTC);
        }

        @Override
        Object javaObject(Object v) {
            return Timestamp.from((Instant) v);
        }

        @Override
        Object getObject(Row r, int i) throws SQLException {
            Object v = natural(r, i);
            return v == null ? null : javaObject(v);
        }
    }
}
