package com.quorvane.jdbc;

import java.math.BigDecimal;
import java.sql.SQLException;
import java.sql.Time;
import java.sql.Timestamp;
import java.sql.Types;
import java.time.Instant;
import java.time.LocalDate;
import java.time.LocalDateTime;
import java.time.LocalTime;
import java.time.OffsetDateTime;
import java.time.ZoneId;
import java.time.ZonedDateTime;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;

/**
 * Array values as the text of braces that libruva70's information type 3004
 * names {@code RUVA70_ARRAYS_BRACES} (PostgreSQL's): {@code {1,2,NULL}},
 * {@code {"a \"b\"",c}}, {@code {{1,2},{3,4}}}, an optional
 * {@code [0:1]=} before it. An element is NULL only when it stands unquoted;
 * the text "NULL" is written quoted. Which way a connection uses is asked of
 * libruva70 ({@link JdbcOdbcConnection#arrayText()}); this class serves the
 * one form there is.
 */
final class ArrayText {
    private ArrayText() {}

    /** An element type: its name in the form's own spelling, JDBC type and the conversion of its values. */
    static final class Element {
        final String name;
        final int jdbcType;
        final Conversion conv;
        /** The class getArray() gives the elements. */
        final Class<?> javaClass;

        Element(String name, int jdbcType, Conversion conv, Class<?> javaClass) {
            this.name = name;
            this.jdbcType = jdbcType;
            this.conv = conv;
            this.javaClass = javaClass;
        }
    }

    private static final Map<String, Element> ELEMENTS = new HashMap<>();

    private static void element(Element e, String... aliases) {
        ELEMENTS.put(e.name, e);
        for (String a : aliases) ELEMENTS.put(a, e);
    }

    static {
        element(new Element("int2", Types.SMALLINT, Conversion.SHORT, Short.class), "smallint");
        element(new Element("int4", Types.INTEGER, Conversion.INT, Integer.class), "integer", "int", "serial");
        element(new Element("int8", Types.BIGINT, Conversion.LONG, Long.class), "bigint", "bigserial");
        element(new Element("float4", Types.REAL, Conversion.FLOAT, Float.class), "real");
        element(new Element("float8", Types.DOUBLE, Conversion.DOUBLE, Double.class), "double precision", "double",
                "float");
        element(new Element("numeric", Types.NUMERIC, Conversion.DECIMAL, BigDecimal.class), "decimal");
        element(new Element("bool", Types.BIT, Conversion.BOOLEAN_TEXT, Boolean.class), "boolean");
        element(new Element("text", Types.VARCHAR, Conversion.TEXT, String.class));
        element(new Element("varchar", Types.VARCHAR, Conversion.TEXT, String.class), "character varying");
        element(new Element("bpchar", Types.CHAR, Conversion.TEXT, String.class), "char", "character");
        element(new Element("date", Types.DATE, Conversion.DATE, java.sql.Date.class));
        element(new Element("time", Types.TIME, Conversion.TIME_TEXT, Time.class), "time without time zone");
        element(new Element("timestamp", Types.TIMESTAMP, Conversion.TIMESTAMP, Timestamp.class),
                "timestamp without time zone");
        element(new Element("timestamptz", Types.TIMESTAMP, Conversion.TIMESTAMP_TZ, Timestamp.class),
                "timestamp with time zone");
        element(new Element("uuid", Types.OTHER, Conversion.TEXT, java.util.UUID.class));
    }

    /**
     * The element type of a name as a user or a column's type name gives it
     * ("integer", "INT4", "_int4" for a column); any other type's elements
     * are text.
     */
    static Element element(String typeName) {
        String n = typeName.trim().toLowerCase(Locale.ROOT);
        if (n.endsWith("[]")) n = n.substring(0, n.length() - 2).trim();
        Element e = ELEMENTS.get(n);
        if (e == null && n.startsWith("_")) e = ELEMENTS.get(n.substring(1));
        if (e != null) return e;
        String own = n.startsWith("_") ? n.substring(1) : n;
        return new Element(own, Types.OTHER, Conversion.TEXT, String.class);
    }

    // ---------------------------------------------------------------- reading

    /**
     * The elements of an array's text: nested Object[] for each dimension,
     * each element its own text or null. Fails with 22P02 on a text that is
     * no array.
     */
    static Object[] parse(String text) throws SQLException {
        Parser p = new Parser(text);
        p.skipBlanks();
        if (p.at('[')) {
            // Bounds other than 1 are written before the braces: [0:2]={...}.
            int eq = text.indexOf('=', p.pos);
            if (eq < 0) throw malformed(text);
            p.pos = eq + 1;
            p.skipBlanks();
        }
        Object[] r = p.array();
        p.skipBlanks();
        if (p.pos != text.length()) throw malformed(text);
        return r;
    }

    private static SQLException malformed(String text) {
        String shown = text.length() > 80 ? text.substring(0, 80) + "..." : text;
        return JdbcOdbcErrors.of("Malformed array text: " + shown, "22P02");
    }

    private static final class Parser {
        final String s;
        int pos;

        Parser(String s) {
            this.s = s;
        }

        boolean at(char c) {
            return pos < s.length() && s.charAt(pos) == c;
        }

        void skipBlanks() {
            while (pos < s.length() && Character.isWhitespace(s.charAt(pos))) pos++;
        }

        Object[] array() throws SQLException {
            if (!at('{')) throw malformed(s);
            pos++;
            List<Object> items = new ArrayList<>();
            skipBlanks();
            if (at('}')) {
                pos++;
                return items.toArray();
            }
            while (true) {
                skipBlanks();
                if (at('{')) items.add(array());
                else if (at('"')) items.add(quoted());
                else items.add(bare());
                skipBlanks();
                if (at(',')) {
                    pos++;
                } else if (at('}')) {
                    pos++;
                    return items.toArray();
                } else {
                    throw malformed(s);
                }
            }
        }

        String quoted() throws SQLException {
            pos++;
            StringBuilder b = new StringBuilder();
            while (pos < s.length()) {
                char c = s.charAt(pos++);
                if (c == '"') return b.toString();
                if (c == '\\') {
                    if (pos >= s.length()) break;
                    c = s.charAt(pos++);
                }
                b.append(c);
            }
            throw malformed(s);
        }

        String bare() throws SQLException {
            StringBuilder b = new StringBuilder();
            int lastKept = 0;
            boolean escaped = false;
            while (pos < s.length()) {
                char c = s.charAt(pos);
                if (c == ',' || c == '}') break;
                if (c == '{' || c == '"') throw malformed(s);
                pos++;
                if (c == '\\') {
                    if (pos >= s.length()) throw malformed(s);
                    b.append(s.charAt(pos++));
                    lastKept = b.length();
                    escaped = true;
                } else {
                    b.append(c);
                    if (!Character.isWhitespace(c)) lastKept = b.length();
                }
            }
            b.setLength(lastKept);
            if (b.length() == 0) throw malformed(s);
            String t = b.toString();
            // Only an unquoted, unescaped NULL is the null (\NULL is the text).
            return !escaped && t.equalsIgnoreCase("NULL") ? null : t;
        }
    }

    // ---------------------------------------------------------------- writing

    /**
     * The text of an array of Java values: every element quoted (so the text
     * "NULL", commas, braces and quotes stay text), null as NULL, an Object[]
     * (or primitive array) inside as the next dimension.
     */
    static String write(Object[] elements, Element type) throws SQLException {
        StringBuilder b = new StringBuilder();
        write(b, elements, type);
        return b.toString();
    }

    private static void write(StringBuilder b, Object[] elements, Element type) throws SQLException {
        b.append('{');
        for (int k = 0; k < elements.length; k++) {
            if (k > 0) b.append(',');
            Object v = elements[k];
            if (v == null) {
                b.append("NULL");
            } else if (v instanceof Object[]) {
                write(b, (Object[]) v, type);
            } else if (v.getClass().isArray() && !(v instanceof byte[])) {
                int n = java.lang.reflect.Array.getLength(v);
                Object[] boxed = new Object[n];
                for (int j = 0; j < n; j++) boxed[j] = java.lang.reflect.Array.get(v, j);
                write(b, boxed, type);
            } else {
                quote(b, elementText(v, type));
            }
        }
        b.append('}');
    }

    /** The text of parsed elements (their texts, null, nested Object[]) written back. */
    static String writeParsed(Object[] raw) {
        StringBuilder b = new StringBuilder();
        writeParsed(b, raw);
        return b.toString();
    }

    private static void writeParsed(StringBuilder b, Object[] raw) {
        b.append('{');
        for (int k = 0; k < raw.length; k++) {
            if (k > 0) b.append(',');
            if (raw[k] == null) b.append("NULL");
            else if (raw[k] instanceof Object[]) writeParsed(b, (Object[]) raw[k]);
            else quote(b, (String) raw[k]);
        }
        b.append('}');
    }

    private static void quote(StringBuilder b, String s) {
        b.append('"');
        for (int k = 0; k < s.length(); k++) {
            char c = s.charAt(k);
            if (c == '"' || c == '\\') b.append('\\');
            b.append(c);
        }
        b.append('"');
    }

    /** One element's text as the data source reads it for the element type. */
    static String elementText(Object v, Element type) throws SQLException {
        boolean instant = type.conv == Conversion.TIMESTAMP_TZ;
        if (v instanceof BigDecimal) return ((BigDecimal) v).toPlainString();
        if (v instanceof Boolean) return (Boolean) v ? "t" : "f";
        if (v instanceof Timestamp) {
            Timestamp t = (Timestamp) v;
            return instant ? OffsetDateTime.ofInstant(t.toInstant(), ZoneId.systemDefault()).toString()
                    : t.toLocalDateTime().toString();
        }
        if (v instanceof java.sql.Date) return ((java.sql.Date) v).toLocalDate().toString();
        if (v instanceof Time) return ((Time) v).toLocalTime().toString();
        if (v instanceof java.util.Date) {
            Instant i = ((java.util.Date) v).toInstant();
            return instant ? OffsetDateTime.ofInstant(i, ZoneId.systemDefault()).toString()
                    : LocalDateTime.ofInstant(i, ZoneId.systemDefault()).toString();
        }
        if (v instanceof LocalDateTime && instant) {
            return ((LocalDateTime) v).atZone(ZoneId.systemDefault()).toOffsetDateTime().toString();
        }
        if (v instanceof ZonedDateTime) return ((ZonedDateTime) v).toOffsetDateTime().toString();
        if (v instanceof byte[]) {
            StringBuilder h = new StringBuilder("\\x");
            for (byte x : (byte[]) v) h.append(Character.forDigit((x >> 4) & 15, 16)).append(Character.forDigit(x & 15, 16));
            return h.toString();
        }
        if (v instanceof Number || v instanceof CharSequence || v instanceof Character || v instanceof LocalDate
                || v instanceof LocalTime || v instanceof LocalDateTime || v instanceof OffsetDateTime
                || v instanceof Instant || v instanceof java.util.UUID) {
            return v.toString();
        }
        throw JdbcOdbcErrors.of("An array element of class " + v.getClass().getName() + " cannot be written", "22023");
    }
}
