package com.quorvane.jdbc;

import java.sql.ParameterMetaData;
import java.sql.SQLException;

/**
 * The parameters of a prepared statement as the data source describes them
 * ({@code describeParam}). psqlODBC describes what the server inferred;
 * the SQLite driver describes every parameter as long text.
 */
public class JdbcOdbcParameterMetaData implements ParameterMetaData {
    private final int n;
    private final int[] types, sizes, scales, nullables;

    JdbcOdbcParameterMetaData(JdbcOdbcPreparedStatement ps) throws SQLException {
        n = ps.numParams;
        types = new int[n];
        sizes = new int[n];
        scales = new int[n];
        nullables = new int[n];
        byte[] ec = new byte[2];
        int h = ps.state.hStmt;
        for (int i = 0; i < n; i++) {
            int t = ps.odbc.describeParam(h, i + 1, 1, ec);
            if (!Odbc.succeeded(ec[0])) {
                // Not described: what bindAllParams saw.
                JdbcOdbcErrors.records(ps.odbc, 0, 0, h);
                types[i] = ps.paramSqlTypes[i];
                sizes[i] = ps.columnSizes[i];
                nullables[i] = parameterNullableUnknown;
                continue;
            }
            types[i] = t;
            sizes[i] = ps.odbc.describeParam(h, i + 1, 2, ec);
            scales[i] = ps.odbc.describeParam(h, i + 1, 3, ec);
            nullables[i] = ps.odbc.describeParam(h, i + 1, 4, ec);
        }
    }

    private int at(int param) throws SQLException {
        if (param < 1 || param > n) throw JdbcOdbcErrors.of("Parameter index " + param + " is outside 1.." + n, "07009");
        return param - 1;
    }

    @Override
    public int getParameterCount() {
        return n;
    }

    @Override
    public int isNullable(int param) throws SQLException {
        int v = nullables[at(param)];
        return v == 0 || v == 1 ? v : parameterNullableUnknown;
    }

    @Override
    public boolean isSigned(int param) throws SQLException {
        int t = types[at(param)];
        return t == Odbc.INTEGER || t == Odbc.SMALLINT || t == Odbc.BIGINT || t == Odbc.TINYINT || t == Odbc.REAL
                || t == Odbc.FLOAT || t == Odbc.DOUBLE || t == Odbc.NUMERIC || t == Odbc.DECIMAL;
    }

    @Override
    public int getPrecision(int param) throws SQLException {
        int s = sizes[at(param)];
        return s < 0 ? Integer.MAX_VALUE : s;
    }

    @Override
    public int getScale(int param) throws SQLException {
        return scales[at(param)];
    }

    @Override
    public int getParameterType(int param) throws SQLException {
        return JdbcOdbcResultSetMetaData.jdbcType(types[at(param)]);
    }

    @Override
    public String getParameterTypeName(int param) throws SQLException {
        return java.sql.JDBCType.valueOf(getParameterType(param)).getName();
    }

    @Override
    public String getParameterClassName(int param) throws SQLException {
        return JdbcOdbcResultSetMetaData.className(getParameterType(param));
    }

    @Override
    public int getParameterMode(int param) throws SQLException {
        at(param);
        return parameterModeIn;
    }

    @Override
    public <T> T unwrap(Class<T> iface) throws SQLException {
        if (iface.isInstance(this)) return iface.cast(this);
        throw JdbcOdbcErrors.of("Not a wrapper for " + iface.getName(), "HY024");
    }

    @Override
    public boolean isWrapperFor(Class<?> iface) {
        return iface.isInstance(this);
    }
}
