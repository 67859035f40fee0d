package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.sql.CallableStatement;
import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.sql.Time;
import java.sql.Timestamp;
import java.sql.Types;
import java.time.Instant;
import java.time.LocalDateTime;
import java.time.LocalTime;
import java.time.OffsetDateTime;
import java.time.ZoneId;
import java.time.ZoneOffset;
import java.time.ZonedDateTime;
import java.util.ArrayList;
import java.util.Calendar;
import java.util.List;
import java.util.TimeZone;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * Timestamps and times in JVMs of several zones: a timestamp column keeps
 * the wall time, a timestamptz column the instant, on every setter and
 * getter and in batches; times keep their fraction of a second. What the
 * database holds is checked with its own SQL.
 */
class TimeZonesAndFractionsTest {
    /** Zones with and without daylight saving, on both sides of UTC, and UTC. */
    private static final String[] ZONES = {"Europe/Berlin", "America/New_York", "UTC", "Asia/Kolkata"};
    private static final LocalDateTime SKIPPED = LocalDateTime.of(2026, 3, 29, 2, 30, 0);
    private TimeZone saved;
    private Connection c;

    @BeforeEach
    void open() throws SQLException {
        saved = TimeZone.getDefault();
        c = Db.connect();
        Db.quietly(c, "DROP TABLE tzt");
        Db.exec(c, "CREATE TABLE tzt (id integer, ts " + Db.timestampType() + (Db.postgres() ? ", tz timestamptz" : "") + ", tm " + Db.timeType()
                + ")");
    }

    @AfterEach
    void close() throws SQLException {
        TimeZone.setDefault(saved);
        Db.quietly(c, "DROP TABLE tzt");
        c.close();
    }

    /** The stored timestamp's wall time, as the database renders it. */
    private String storedWall(int id) throws SQLException {
        return one(Db.postgres() ? "SELECT to_char(ts, 'YYYY-MM-DD HH24:MI:SS.US') FROM tzt WHERE id = " + id
                : "SELECT " + Db.asText("ts") + " FROM tzt WHERE id = " + id);
    }

    /** The stored timestamptz's instant, in microseconds since 1970, as the database computes it. */
    private long storedMicros(int id) throws SQLException {
        return Long.parseLong(one("SELECT (extract(epoch from tz) * 1000000)::bigint FROM tzt WHERE id = " + id));
    }

    private String one(String sql) throws SQLException {
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery(sql)) {
            rs.next();
            return rs.getString(1);
        }
    }

    private static long micros(Instant t) {
        return t.getEpochSecond() * 1_000_000L + t.getNano() / 1000;
    }

    private static String wallText(LocalDateTime t) {
        return String.format("%04d-%02d-%02d %02d:%02d:%02d.%06d", t.getYear(), t.getMonthValue(), t.getDayOfMonth(),
                t.getHour(), t.getMinute(), t.getSecond(), t.getNano() / 1000);
    }

    /** SQLite keeps the text written, the fraction as written: compare as instants of wall times. */
    private static void assertWall(LocalDateTime expected, String stored) {
        if (Db.postgres()) {
            assertEquals(wallText(expected), stored);
        } else {
            assertEquals(expected, LocalDateTime.parse(stored.replace(' ', 'T')), stored);
        }
    }

    @Test
    void everyTimestampSetterKeepsTheWallTimeAndTheInstantInEveryJvmZone() throws SQLException {
        for (String zone : ZONES) {
            TimeZone.setDefault(TimeZone.getTimeZone(zone));
            ZoneId z = ZoneId.of(zone);
            Db.exec(c, "DELETE FROM tzt");
            // 13:45:56.789 local in winter; the second 02:30 of the night the
            // clocks go back in Berlin and New York (an instant whose wall time
            // occurs twice).
            LocalDateTime wall = LocalDateTime.of(2026, 3, 1, 13, 45, 56, 789_000_000);
            Instant twice = ZonedDateTime.of(2026, 11, 1, 1, 30, 0, 0, ZoneId.of("America/New_York"))
                    .withLaterOffsetAtOverlap().toInstant();
            if (zone.equals("Europe/Berlin")) {
                twice = ZonedDateTime.of(2026, 10, 25, 2, 30, 0, 0, z).withLaterOffsetAtOverlap().toInstant();
            }
            Instant instant = wall.atZone(z).toInstant();
            OffsetDateTime elsewhere = instant.atOffset(ZoneOffset.ofHoursMinutes(5, 45));
            Calendar tokyo = Calendar.getInstance(TimeZone.getTimeZone("Asia/Tokyo"));
            String cols = Db.postgres() ? "(id, ts, tz) VALUES (?, ?, ?)" : "(id, ts) VALUES (?, ?)";
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO tzt " + cols)) {
                Object[][] rows = {
                    {1, Timestamp.valueOf(wall)},
                    {2, wall},
                    {3, elsewhere},
                    {4, elsewhere.atZoneSameInstant(ZoneId.of("Pacific/Auckland"))},
                    {5, instant},
                    {6, Timestamp.from(twice)},
                };
                for (Object[] r : rows) {
                    ps.setInt(1, (Integer) r[0]);
                    ps.setObject(2, r[1]);
                    if (Db.postgres()) ps.setObject(3, r[1]);
                    ps.executeUpdate();
                }
                ps.setInt(1, 7);
                ps.setTimestamp(2, Timestamp.valueOf(wall), tokyo);
                if (Db.postgres()) ps.setTimestamp(3, Timestamp.valueOf(wall), tokyo);
                ps.executeUpdate();
                // A wall time the clocks skip in Berlin stays exact in a timestamp column.
                ps.setInt(1, 8);
                ps.setObject(2, SKIPPED);
                if (Db.postgres()) ps.setNull(3, java.sql.Types.TIMESTAMP_WITH_TIMEZONE);
                ps.executeUpdate();
            }
            assertWall(SKIPPED, storedWall(8));
            for (int id = 1; id <= 5; id++) {
                String at = zone + ", row " + id;
                assertWall(wall, storedWall(id));
                if (Db.postgres()) assertEquals(micros(instant), storedMicros(id), at);
                try (ResultSet rs = row(id)) {
                    assertEquals(Timestamp.valueOf(wall), rs.getTimestamp("ts"), at);
                    assertEquals(wall, rs.getObject("ts", LocalDateTime.class), at);
                    assertEquals(instant, rs.getObject("ts", OffsetDateTime.class).toInstant(), at);
                    if (Db.postgres()) {
                        assertEquals(instant, rs.getTimestamp("tz").toInstant(), at);
                        assertEquals(Timestamp.valueOf(wall), rs.getTimestamp("tz"), at);
                        assertEquals(instant, rs.getObject("tz", Instant.class), at);
                        assertEquals(instant.atOffset(ZoneOffset.UTC), rs.getObject("tz", OffsetDateTime.class), at);
                        assertEquals(wall, rs.getObject("tz", LocalDateTime.class), at);
                        assertEquals(Timestamp.valueOf(wall), rs.getObject("tz"), at);
                    }
                }
            }
            assertWall(LocalDateTime.ofInstant(twice, z), storedWall(6));
            if (Db.postgres()) assertEquals(micros(twice), storedMicros(6), zone);
            try (ResultSet rs = row(6)) {
                if (Db.postgres()) assertEquals(twice, rs.getTimestamp("tz").toInstant(), zone);
            }
            // With a Calendar: the wall time in the Calendar's zone, the same instant.
            Instant fromCalendar = Timestamp.valueOf(wall).toInstant();
            assertWall(LocalDateTime.ofInstant(fromCalendar, ZoneId.of("Asia/Tokyo")), storedWall(7));
            if (Db.postgres()) assertEquals(micros(fromCalendar), storedMicros(7), zone);
        }
    }

    private ResultSet row(int id) throws SQLException {
        ResultSet rs = c.createStatement().executeQuery("SELECT * FROM tzt WHERE id = " + id);
        rs.getStatement().closeOnCompletion();
        rs.next();
        return rs;
    }

    @Test
    void batchesOfTimestampsKeepTheWallTimeAndTheInstant() throws SQLException {
        for (String zone : new String[] {"Europe/Berlin", "America/New_York"}) {
            TimeZone.setDefault(TimeZone.getTimeZone(zone));
            ZoneId z = ZoneId.of(zone);
            Db.exec(c, "DELETE FROM tzt");
            List<LocalDateTime> walls = new ArrayList<>();
            String cols = Db.postgres() ? "(id, ts, tz) VALUES (?, ?, ?)" : "(id, ts) VALUES (?, ?)";
            // Ten rows (the multi-row insert path) through the winter and the summer.
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO tzt " + cols)) {
                for (int r = 0; r < 10; r++) {
                    LocalDateTime wall = LocalDateTime.of(2026, 1 + r, 10, 8 + r, 15, 30, r * 111_111_000);
                    walls.add(wall);
                    ps.setInt(1, r);
                    if (r % 2 == 0) ps.setTimestamp(2, Timestamp.valueOf(wall));
                    else ps.setObject(2, wall);
                    if (Db.postgres()) {
                        if (r % 3 == 0) ps.setObject(3, wall.atZone(z).toOffsetDateTime());
                        else ps.setTimestamp(3, Timestamp.valueOf(wall));
                    }
                    ps.addBatch();
                }
                ps.executeBatch();
            }
            for (int r = 0; r < 10; r++) {
                assertWall(walls.get(r), storedWall(r));
                if (Db.postgres()) assertEquals(micros(walls.get(r).atZone(z).toInstant()), storedMicros(r), zone + " " + r);
            }
        }
    }

    @Test
    void anInstantWrittenToATimestampColumnReadsBackAsTheSameInstant() throws SQLException {
        // On SQLite every instant is a wall time: it reads back in the JVM's zone.
        TimeZone.setDefault(TimeZone.getTimeZone("Europe/Berlin"));
        OffsetDateTime odt = OffsetDateTime.of(2026, 7, 1, 13, 45, 56, 789_000_000, ZoneOffset.ofHours(-4));
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO tzt (id, ts) VALUES (?, ?)")) {
            ps.setInt(1, 1);
            ps.setObject(2, odt);
            ps.executeUpdate();
            ps.setInt(1, 2);
            ps.setObject(2, odt.toInstant());
            ps.executeUpdate();
        }
        for (int id = 1; id <= 2; id++) {
            assertWall(LocalDateTime.of(2026, 7, 1, 19, 45, 56, 789_000_000), storedWall(id));
            try (ResultSet rs = row(id)) {
                assertEquals(odt.toInstant(), rs.getObject("ts", OffsetDateTime.class).toInstant());
                assertEquals(odt.toInstant(), rs.getObject("ts", Instant.class));
                assertEquals(odt.toInstant(), rs.getTimestamp("ts").toInstant());
            }
        }
    }

    @Test
    void timesKeepTheirFractionOfASecond() throws SQLException {
        TimeZone.setDefault(TimeZone.getTimeZone("America/New_York"));
        LocalTime micros = LocalTime.of(13, 45, 56, 789_123_000);
        Time millis = new Time(Time.valueOf("13:45:56").getTime() + 789);
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO tzt (id, tm) VALUES (?, ?)")) {
            ps.setInt(1, 1);
            ps.setTime(2, millis);
            ps.executeUpdate();
            ps.setInt(1, 2);
            ps.setObject(2, micros);
            ps.executeUpdate();
            ps.setInt(1, 3);
            ps.setString(2, "13:45:56.789");
            ps.executeUpdate();
        }
        Db.exec(c, "INSERT INTO tzt (id, tm) VALUES (4, '13:45:56.789')");
        String held = Db.postgres() ? "to_char(tm, 'HH24:MI:SS.US')" : Db.asText("tm");
        for (int id = 1; id <= 4; id++) {
            LocalTime expected = id == 2 ? micros : LocalTime.of(13, 45, 56, 789_000_000);
            assertEquals(expected, LocalTime.parse(one("SELECT " + held + " FROM tzt WHERE id = " + id)), "row " + id);
            try (ResultSet rs = row(id)) {
                assertEquals(expected, rs.getObject("tm", LocalTime.class), "row " + id);
                assertEquals(Db.timeText(expected), rs.getString("tm"), "row " + id);
                assertEquals(millis.getTime(), rs.getTime("tm").getTime(), "row " + id);
                assertEquals(millis.getTime(), ((Time) rs.getObject("tm")).getTime(), "row " + id);
                assertEquals(millis.getTime(), rs.getObject("tm", Time.class).getTime(), "row " + id);
            }
        }
        if (Db.postgres()) {
            // A time returned by a function keeps its milliseconds too.
            Db.exec(c, "CREATE OR REPLACE FUNCTION later(t time) RETURNS time AS $$ SELECT t + interval '1 hour' $$"
                    + " LANGUAGE sql");
            try (CallableStatement cs = c.prepareCall("{? = call later(?)}")) {
                cs.registerOutParameter(1, Types.TIME);
                cs.setTime(2, millis);
                cs.execute();
                assertEquals(millis.getTime() + 3_600_000L, cs.getTime(1).getTime());
            } finally {
                Db.exec(c, "DROP FUNCTION later(time)");
            }
        }
        // A time without a fraction reads as before.
        Db.exec(c, "INSERT INTO tzt (id, tm) VALUES (5, '07:08:09')");
        try (ResultSet rs = row(5)) {
            assertEquals(Db.timeText(LocalTime.of(7, 8, 9)), rs.getString("tm"));
            assertEquals(Time.valueOf("07:08:09"), rs.getTime("tm"));
        }
    }

    /**
     * A function's timestamptz read through an OUT parameter is its instant in
     * every zone (it was the UTC wall time read as a local one), a timestamp's
     * is its wall time, and both read as the same query's columns read.
     */
    @Test
    void callReturningTimestamptzGivesItsInstantInEveryZone() throws SQLException {
        if (!Db.postgres()) return;
        Db.exec(c, "CREATE OR REPLACE FUNCTION moments(OUT tz timestamptz, OUT ts timestamp) AS"
                + " $$ SELECT timestamptz '2026-07-01 12:00:00.25+00', timestamp '2026-07-01 12:00:00.25' $$"
                + " LANGUAGE sql",
                "CREATE OR REPLACE FUNCTION moment(h integer) RETURNS timestamptz AS"
                + " $$ SELECT timestamptz '2026-01-15 00:00:00+00' + h * interval '1 hour' $$ LANGUAGE sql");
        Instant instant = Instant.parse("2026-07-01T12:00:00.25Z");
        try {
            for (String zone : ZONES) {
                TimeZone.setDefault(TimeZone.getTimeZone(zone));
                try (CallableStatement cs = c.prepareCall("{call moments(?, ?)}")) {
                    cs.registerOutParameter(1, Types.TIMESTAMP);
                    cs.registerOutParameter(2, Types.TIMESTAMP);
                    cs.execute();
                    assertEquals(instant, cs.getTimestamp(1).toInstant(), zone);
                    assertEquals(instant, ((Timestamp) cs.getObject(1)).toInstant(), zone);
                    assertEquals(instant, cs.getObject(1, OffsetDateTime.class).toInstant(), zone);
                    assertEquals(instant, cs.getTimestamp(1, Calendar.getInstance(TimeZone.getTimeZone("Asia/Tokyo")))
                            .toInstant(), zone);
                    assertEquals(LocalDateTime.of(2026, 7, 1, 12, 0, 0, 250_000_000),
                            cs.getTimestamp(2).toLocalDateTime(), zone);
                    try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT * FROM moments()")) {
                        rs.next();
                        assertEquals(rs.getTimestamp(1), cs.getTimestamp(1), zone);
                        assertEquals(rs.getString(1), cs.getString(1), zone);
                        assertEquals(rs.getTimestamp(2), cs.getTimestamp(2), zone);
                    }
                }
                // A function's value: registered as a timestamp, as applications do.
                try (CallableStatement cs = c.prepareCall("{? = call Moment(?)}")) {
                    cs.registerOutParameter(1, Types.TIMESTAMP);
                    cs.setInt(2, 7);
                    cs.execute();
                    assertEquals(Instant.parse("2026-01-15T07:00:00Z"), cs.getTimestamp(1).toInstant(), zone);
                    cs.setInt(2, 8);
                    cs.execute();
                    assertEquals(Instant.parse("2026-01-15T08:00:00Z"), cs.getObject(1, Instant.class), zone);
                }
            }
        } finally {
            Db.exec(c, "DROP FUNCTION moments()", "DROP FUNCTION moment(integer)");
        }
    }
}
