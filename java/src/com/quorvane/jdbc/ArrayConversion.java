package com.quorvane.jdbc;

import java.sql.Array;
import java.sql.SQLException;

/**
 * A column of arrays (libruva70's driver type for them): the value's form is
 * the data source's array text, which getString gives as it is; getObject
 * and getArray give a {@link JdbcOdbcArray} of the column's element type.
 */
final class ArrayConversion extends Conversion {
    private final ArrayText.Element element;

    ArrayConversion(ArrayText.Element element) {
        this.element = element;
    }

    /** The conversion of an array column of this type name ("_int4"). */
    static ArrayConversion ofColumn(String typeName) {
        return new ArrayConversion(ArrayText.element(typeName));
    }

    @Override
    Object fromText(String s, String name) {
        return s;
    }

    @Override
    Array getArray(Row r, int i) throws SQLException {
        Object v = natural(r, i);
        return v == null ? null : new JdbcOdbcArray((String) v, element);
    }

    @Override
    Object getObject(Row r, int i) throws SQLException {
        return getArray(r, i);
    }

    @Override
    Object javaObject(Object v) {
        return new JdbcOdbcArray((String) v, element);
    }
}
