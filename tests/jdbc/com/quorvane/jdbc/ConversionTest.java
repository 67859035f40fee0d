package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.SQLException;
import java.time.Instant;
import java.time.LocalTime;
import org.junit.jupiter.api.Test;

/**
 * The conversions at the edges no data source row of the matrix test
 * reaches: doubles at the ends of the long range, times with an offset,
 * output parameters' text of instants and bytes.
 */
class ConversionTest {
    /** One row of values in their kinds' forms. */
    private static final class Values extends Conversion.ObjectRow {
        private final Object[] v;

        Values(Object... v) {
            this.v = v;
        }

        @Override
        Object readObject(int i) {
            wasNull = v[i] == null;
            return v[i];
        }

        @Override
        String name(int i) {
            return "Value " + (i + 1);
        }
    }

    private static String state(Executable e) {
        return assertThrows(SQLException.class, e::run).getSQLState();
    }

    interface Executable {
        void run() throws SQLException;
    }

    @Test
    void doublesReadAsIntegersTruncateAndStopAtTheEndsOfTheRange() throws SQLException {
        Values r = new Values(-0x1p63, 0x1p63, -0.9, 2147483647.5, Double.NaN, 1e300, null);
        Conversion d = Conversion.DOUBLE;
        assertEquals(Long.MIN_VALUE, d.getLong(r, 0));
        assertEquals("22003", state(() -> d.getLong(r, 1)));
        assertEquals(0, d.getInt(r, 2));
        assertEquals(Integer.MAX_VALUE, d.getInt(r, 3));
        assertEquals("22003", state(() -> d.getShort(r, 3)));
        assertEquals("22018", state(() -> d.getLong(r, 4)));
        assertEquals("22018", state(() -> d.getBoolean(r, 4)));
        assertEquals("22003", state(() -> d.getInt(r, 5)));
        assertEquals(0, d.getLong(r, 6));
        assertTrue(r.wasNull);
        assertNull(d.getString(r, 6));
    }

    @Test
    void integersKeepTheirRangeAndTextNeverWraps() throws SQLException {
        Values r = new Values(300, "70000", " 12.9 ", "abc");
        assertEquals("22003", state(() -> Conversion.INT.getByte(r, 0)));
        assertEquals(300, Conversion.INT.getShort(r, 0));
        assertEquals("22003", state(() -> Conversion.TEXT.getShort(r, 1)));
        assertEquals(12, Conversion.TEXT.getInt(r, 2));
        assertEquals("22018", state(() -> Conversion.TEXT.getInt(r, 3)));
        assertFalse(r.wasNull);
    }

    @Test
    void timesWithAnOffsetReadAsTheirTimeOfDay() throws SQLException {
        Values r = new Values("13:45:07.25+02", "07:08:09-05:30");
        assertEquals(LocalTime.of(13, 45, 7, 250_000_000), Conversion.TIME_TEXT.getObject(r, 0, LocalTime.class));
        assertEquals("13:45:07.25+02", Conversion.TIME_TEXT.getString(r, 0));
        assertEquals(LocalTime.of(7, 8, 9), Conversion.TIME_TEXT.getTime(r, 1, null).toLocalTime());
    }

    @Test
    void outputTextOfInstantsAndBytesParsesToTheirKinds() throws SQLException {
        Conversion tz = Conversion.TIMESTAMP_TZ;
        assertEquals(Instant.parse("2026-07-01T12:00:00.25Z"), tz.fromText("2026-07-01 12:00:00.25", "p"));
        assertEquals(Instant.parse("2026-07-01T10:00:00Z"), tz.fromText("2026-07-01 12:00:00+02", "p"));
        assertEquals(Instant.parse("2026-07-01T17:30:00Z"), tz.fromText("2026-07-01T12:00:00-05:30", "p"));
        assertArrayEquals(new byte[] {0, (byte) 0xff, 0x10}, (byte[]) Conversion.BINARY.fromText("00ff10", "p"));
        assertArrayEquals(new byte[] {1}, (byte[]) Conversion.BINARY.fromText("\\x01", "p"));
        assertEquals("22018", state(() -> Conversion.BINARY.fromText("0g", "p")));
        assertEquals(Boolean.TRUE, Conversion.BOOLEAN.fromText("1", "p"));
        assertEquals("22018", state(() -> Conversion.INT.fromText("x", "p")));
    }
}
