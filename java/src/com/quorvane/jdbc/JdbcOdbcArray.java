package com.quorvane.jdbc;

import java.sql.Array;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Types;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;

/**
 * An array value: its text in the data source's form ({@link ArrayText}) and
 * its element type. A value read from a result set and one made by
 * {@code Connection.createArrayOf} are alike: both are their text, parsed
 * when the elements are asked for, and sent as that text.
 */
final class JdbcOdbcArray implements Array {
    private final String text;
    private final ArrayText.Element type;
    private Object[] parsed;
    private boolean freed;

    JdbcOdbcArray(String text, ArrayText.Element type) {
        this.text = text;
        this.type = type;
    }

    /** The array's text, as the data source reads it. */
    String text() throws SQLException {
        open();
        return text;
    }

    private Object[] elements() throws SQLException {
        open();
        if (parsed == null) parsed = ArrayText.parse(text);
        return parsed;
    }

    private void open() throws SQLException {
        if (freed) throw JdbcOdbcErrors.of("The array was freed", "HY010");
    }

    @Override
    public String getBaseTypeName() throws SQLException {
        open();
        return type.name;
    }

    @Override
    public int getBaseType() throws SQLException {
        open();
        return type.jdbcType;
    }

    @Override
    public Object getArray() throws SQLException {
        Object[] e = elements();
        return build(e, 0, e.length);
    }

    @Override
    public Object getArray(Map<String, Class<?>> map) throws SQLException {
        noMap(map);
        return getArray();
    }

    @Override
    public Object getArray(long index, int count) throws SQLException {
        Object[] e = elements();
        int from = slice(e, index, count);
        return build(e, from, count);
    }

    @Override
    public Object getArray(long index, int count, Map<String, Class<?>> map) throws SQLException {
        noMap(map);
        return getArray(index, count);
    }

    @Override
    public ResultSet getResultSet() throws SQLException {
        Object[] e = elements();
        return resultSet(e, 0, e.length);
    }

    @Override
    public ResultSet getResultSet(Map<String, Class<?>> map) throws SQLException {
        noMap(map);
        return getResultSet();
    }

    @Override
    public ResultSet getResultSet(long index, int count) throws SQLException {
        Object[] e = elements();
        return resultSet(e, slice(e, index, count), count);
    }

    @Override
    public ResultSet getResultSet(long index, int count, Map<String, Class<?>> map) throws SQLException {
        noMap(map);
        return getResultSet(index, count);
    }

    @Override
    public void free() {
        freed = true;
        parsed = null;
    }

    @Override
    public String toString() {
        return text;
    }

    private static void noMap(Map<String, Class<?>> map) throws SQLException {
        if (map != null && !map.isEmpty()) throw JdbcOdbcErrors.notSupported("Type maps");
    }

    /** Where elements [index, index + count) start (index counted from 1), or 2202E. */
    private static int slice(Object[] e, long index, int count) throws SQLException {
        if (index < 1 || count < 0 || index - 1 + count > e.length) {
            throw JdbcOdbcErrors.of("Elements " + index + " to " + (index - 1 + count) + " of an array of "
                    + e.length + " elements", "2202E");
        }
        return (int) (index - 1);
    }

    /** How deep the elements nest (1 for a plain list). */
    private static int depth(Object[] e) {
        for (Object o : e) {
            if (o instanceof Object[]) return 1 + depth((Object[]) o);
            if (o != null) return 1;
        }
        return 1;
    }

    /** A Java array of the element type's class, with one level per dimension. */
    private Object build(Object[] e, int from, int count) throws SQLException {
        int d = depth(e);
        Class<?> component = type.javaClass;
        for (int k = 1; k < d; k++) component = java.lang.reflect.Array.newInstance(component, 0).getClass();
        Object out = java.lang.reflect.Array.newInstance(component, count);
        for (int k = 0; k < count; k++) {
            Object v = e[from + k];
            Object item = v instanceof Object[] ? build((Object[]) v, 0, ((Object[]) v).length) : value((String) v);
            java.lang.reflect.Array.set(out, k, item);
        }
        return out;
    }

    /** One element's Java object, as the element type's column would give it. */
    private Object value(String s) throws SQLException {
        if (s == null) return null;
        OneValue row = new OneValue(type.conv.fromText(s, "An array element"));
        Object v = type.conv.getObject(row, 0);
        if (v == null || type.javaClass.isInstance(v)) return v;
        if (type.javaClass == java.util.UUID.class) {
            try {
                return java.util.UUID.fromString((String) v);
            } catch (IllegalArgumentException e) {
                throw Conversion.conversion("An array element", "a UUID");
            }
        }
        if (v instanceof Number) {
            Number n = (Number) v;
            if (type.javaClass == Short.class) return n.shortValue();
            if (type.javaClass == Integer.class) return n.intValue();
            if (type.javaClass == Long.class) return n.longValue();
            if (type.javaClass == Float.class) return n.floatValue();
            if (type.javaClass == Double.class) return n.doubleValue();
        }
        throw Conversion.conversion("An array element", type.javaClass.getName());
    }

    private ResultSet resultSet(Object[] e, int from, int count) throws SQLException {
        boolean nested = depth(e) > 1;
        JdbcOdbcMemoryResultSet.Column[] cols = {JdbcOdbcMemoryResultSet.col("INDEX", Types.INTEGER),
            nested ? new JdbcOdbcMemoryResultSet.Column("VALUE", Types.ARRAY, new ArrayConversion(type))
                    : new JdbcOdbcMemoryResultSet.Column("VALUE", type.jdbcType, type.conv)};
        List<Object[]> rows = new ArrayList<>(count);
        for (int k = 0; k < count; k++) {
            Object v = e[from + k];
            Object held;
            if (v == null) held = null;
            else if (v instanceof Object[]) held = ArrayText.writeParsed((Object[]) v);
            else held = type.conv.fromText((String) v, "An array element");
            rows.add(new Object[] {from + k + 1, held});
        }
        return new JdbcOdbcMemoryResultSet(cols, rows);
    }

    /** A row of one value in its conversion's form. */
    private static final class OneValue extends Conversion.ObjectRow {
        private final Object v;

        OneValue(Object v) {
            this.v = v;
        }

        @Override
        Object readObject(int i) {
            wasNull = v == null;
            return v;
        }

        @Override
        String name(int i) {
            return "An array element";
        }
    }
}
