package com.quorvane.jdbc;

import java.sql.ResultSetMetaData;
import java.sql.SQLException;
import java.sql.Types;

/**
 * The columns of a result: read from the driver once, when the metadata is
 * asked for, so that it stays usable after the result set is closed. ODBC 2
 * type codes are reported as JDBC's (9, 10 and 11 as DATE, TIME and
 * TIMESTAMP; the wide character types as the N types).
 */
public class JdbcOdbcResultSetMetaData implements ResultSetMetaData {
    private final int n;
    private final int[] odbcTypes;
    private final int[] jdbcTypes;
    private final String[] labels, names, typeNames, tables, schemas, catalogs;
    private final int[] precision, scale, displaySize, nullable;
    private final boolean[] signed, autoIncrement, caseSensitive, searchable, currency, writable;

    private JdbcOdbcResultSetMetaData(JdbcOdbcClient odbc, int h, int n, int[] odbcTypes, int[] driverTypes,
            int[] kinds) {
        this.n = n;
        this.odbcTypes = odbcTypes;
        jdbcTypes = new int[n];
        labels = new String[n];
        names = new String[n];
        typeNames = new String[n];
        tables = new String[n];
        schemas = new String[n];
        catalogs = new String[n];
        precision = new int[n];
        scale = new int[n];
        displaySize = new int[n];
        nullable = new int[n];
        signed = new boolean[n];
        autoIncrement = new boolean[n];
        caseSensitive = new boolean[n];
        searchable = new boolean[n];
        currency = new boolean[n];
        writable = new boolean[n];
        byte[] ec = new byte[2];
        for (int i = 0; i < n; i++) {
            int c = i + 1;
            names[i] = JdbcOdbcResultSet.attributeString(odbc, h, c, Odbc.COL_NAME);
            String label = JdbcOdbcResultSet.attributeString(odbc, h, c, Odbc.COL_LABEL);
            labels[i] = label.isEmpty() ? names[i] : label;
            typeNames[i] = JdbcOdbcResultSet.attributeString(odbc, h, c, Odbc.COL_TYPE_NAME);
            tables[i] = JdbcOdbcResultSet.attributeString(odbc, h, c, Odbc.COL_TABLE_NAME);
            schemas[i] = JdbcOdbcResultSet.attributeString(odbc, h, c, Odbc.COL_OWNER_NAME);
            catalogs[i] = JdbcOdbcResultSet.attributeString(odbc, h, c, Odbc.COL_QUALIFIER_NAME);
            precision[i] = number(odbc, h, c, Odbc.COL_PRECISION, ec, 0);
            scale[i] = number(odbc, h, c, Odbc.COL_SCALE, ec, 0);
            displaySize[i] = number(odbc, h, c, Odbc.COL_DISPLAY_SIZE, ec, 0);
            nullable[i] = number(odbc, h, c, Odbc.COL_NULLABLE, ec, columnNullableUnknown);
            signed[i] = number(odbc, h, c, Odbc.COL_UNSIGNED, ec, 0) == 0 && numeric(odbcTypes[i]);
            autoIncrement[i] = number(odbc, h, c, Odbc.COL_AUTO_INCREMENT, ec, 0) != 0;
            caseSensitive[i] = number(odbc, h, c, Odbc.COL_CASE_SENSITIVE, ec, 0) != 0;
            searchable[i] = number(odbc, h, c, Odbc.COL_SEARCHABLE, ec, 3) != 0;
            currency[i] = number(odbc, h, c, Odbc.COL_MONEY, ec, 0) != 0;
            writable[i] = number(odbc, h, c, Odbc.COL_UPDATABLE, ec, 0) != 0;
            jdbcTypes[i] = kinds != null && kinds[i] == JdbcOdbcResultSet.K_BOOLEAN_TEXT ? Types.BOOLEAN
                    : kinds != null && kinds[i] == JdbcOdbcResultSet.K_BIT ? Types.BIT
                    : driverTypes[i] == Odbc.DRIVER_ARRAY ? Types.ARRAY
                    : jdbcType(odbcTypes[i]);
            if (precision[i] < 0) precision[i] = 0;
            // psqlODBC describes a boolean as five characters of text ("false"); it is one bit.
            if (jdbcTypes[i] == Types.BOOLEAN || jdbcTypes[i] == Types.BIT) precision[i] = 1;
        }
    }

    /** The metadata of an open result set; under the statement's lock. */
    JdbcOdbcResultSetMetaData(JdbcOdbcResultSet rs) {
        this(rs.odbc, rs.state.hStmt, rs.numCols, rs.sqlTypes.clone(), rs.driverTypes, rs.kinds);
    }

    /** The columns a prepared statement will produce, described before it runs; under the lock. */
    static JdbcOdbcResultSetMetaData describe(JdbcOdbcStatement stmt, int n) throws SQLException {
        int[] types = new int[n], driverTypes = new int[n], lengths = new int[n];
        byte[] ec = new byte[2];
        stmt.odbc.getStmtTypeInfo(0, stmt.state.hStmt, types, driverTypes, lengths, ec, n);
        if (!Odbc.succeeded(ec[0]) || ec[1] != 0) throw stmt.failure("describing the result", false);
        return new JdbcOdbcResultSetMetaData(stmt.odbc, stmt.state.hStmt, n, types, driverTypes, null);
    }

    private static int number(JdbcOdbcClient odbc, int h, int c, int desc, byte[] ec, int fallback) {
        int v = odbc.colAttributes(h, c, desc, ec);
        return Odbc.succeeded(ec[0]) ? v : fallback;
    }

    private static boolean numeric(int t) {
        switch (t) {
        case Odbc.NUMERIC: case Odbc.DECIMAL: case Odbc.INTEGER: case Odbc.SMALLINT: case Odbc.FLOAT: case Odbc.REAL:
        case Odbc.DOUBLE: case Odbc.BIGINT: case Odbc.TINYINT:
            return true;
        default:
            return false;
        }
    }

    /** The JDBC type code of an ODBC 2 SQL type. */
    static int jdbcType(int odbcType) {
        switch (odbcType) {
        case Odbc.DATE: return Types.DATE;
        case Odbc.TIME: return Types.TIME;
        case Odbc.TIMESTAMP: return Types.TIMESTAMP;
        case Odbc.WCHAR: return Types.NCHAR;
        case Odbc.WVARCHAR: return Types.NVARCHAR;
        case Odbc.WLONGVARCHAR: return Types.LONGNVARCHAR;
        case Odbc.GUID: return Types.OTHER;
        case Odbc.CHAR: case Odbc.NUMERIC: case Odbc.DECIMAL: case Odbc.INTEGER: case Odbc.SMALLINT: case Odbc.FLOAT:
        case Odbc.REAL: case Odbc.DOUBLE: case Odbc.VARCHAR: case Odbc.LONGVARCHAR: case Odbc.BINARY:
        case Odbc.VARBINARY: case Odbc.LONGVARBINARY: case Odbc.BIGINT: case Odbc.TINYINT: case Odbc.BIT:
            return odbcType;
        case 91: case 92: case 93:
            return odbcType;
        default:
            return Types.OTHER;
        }
    }

    /** The Java class getObject returns for a JDBC type. */
    static String className(int jdbcType) {
        switch (jdbcType) {
        case Types.CHAR: case Types.VARCHAR: case Types.LONGVARCHAR: case Types.NCHAR: case Types.NVARCHAR:
        case Types.LONGNVARCHAR:
            return String.class.getName();
        case Types.NUMERIC: case Types.DECIMAL:
            return java.math.BigDecimal.class.getName();
        case Types.BIT: case Types.BOOLEAN:
            return Boolean.class.getName();
        case Types.TINYINT: case Types.SMALLINT: case Types.INTEGER:
            return Integer.class.getName();
        case Types.BIGINT:
            return Long.class.getName();
        case Types.REAL:
            return Float.class.getName();
        case Types.FLOAT: case Types.DOUBLE:
            return Double.class.getName();
        case Types.BINARY: case Types.VARBINARY: case Types.LONGVARBINARY:
            return byte[].class.getName();
        case Types.DATE:
            return java.sql.Date.class.getName();
        case Types.TIME:
            return java.sql.Time.class.getName();
        case Types.TIMESTAMP:
            return java.sql.Timestamp.class.getName();
        case Types.ARRAY:
            return java.sql.Array.class.getName();
        default:
            return Object.class.getName();
        }
    }

    private int at(int column) throws SQLException {
        if (column < 1 || column > n) {
            throw JdbcOdbcErrors.of("Column index " + column + " is outside 1.." + n, "07009");
        }
        return column - 1;
    }

    @Override
    public int getColumnCount() {
        return n;
    }

    @Override
    public boolean isAutoIncrement(int column) throws SQLException {
        return autoIncrement[at(column)];
    }

    @Override
    public boolean isCaseSensitive(int column) throws SQLException {
        return caseSensitive[at(column)];
    }

    @Override
    public boolean isSearchable(int column) throws SQLException {
        return searchable[at(column)];
    }

    @Override
    public boolean isCurrency(int column) throws SQLException {
        return currency[at(column)];
    }

    @Override
    public int isNullable(int column) throws SQLException {
        return nullable[at(column)];
    }

    @Override
    public boolean isSigned(int column) throws SQLException {
        return signed[at(column)];
    }

    @Override
    public int getColumnDisplaySize(int column) throws SQLException {
        return displaySize[at(column)];
    }

    @Override
    public String getColumnLabel(int column) throws SQLException {
        return labels[at(column)];
    }

    @Override
    public String getColumnName(int column) throws SQLException {
        return names[at(column)];
    }

    @Override
    public String getSchemaName(int column) throws SQLException {
        return schemas[at(column)];
    }

    @Override
    public int getPrecision(int column) throws SQLException {
        return precision[at(column)];
    }

    @Override
    public int getScale(int column) throws SQLException {
        return scale[at(column)];
    }

    @Override
    public String getTableName(int column) throws SQLException {
        return tables[at(column)];
    }

    @Override
    public String getCatalogName(int column) throws SQLException {
        return catalogs[at(column)];
    }

    @Override
    public int getColumnType(int column) throws SQLException {
        return jdbcTypes[at(column)];
    }

    @Override
    public String getColumnTypeName(int column) throws SQLException {
        return typeNames[at(column)];
    }

    @Override
    public boolean isReadOnly(int column) throws SQLException {
        return !writable[at(column)];
    }

    @Override
    public boolean isWritable(int column) throws SQLException {
        return writable[at(column)];
    }

    @Override
    public boolean isDefinitelyWritable(int column) throws SQLException {
        at(column);
        return false;
    }

    @Override
    public String getColumnClassName(int column) throws SQLException {
        return className(jdbcTypes[at(column)]);
    }

    /** The ODBC SQL type of a column as the data source described it. */
    int odbcType(int column) throws SQLException {
        return odbcTypes[at(column)];
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
