package com.quorvane.jdbc;

import static com.quorvane.jdbc.JdbcOdbcMemoryResultSet.col;
import static com.quorvane.jdbc.JdbcOdbcMemoryResultSet.text;

import com.quorvane.jdbc.JdbcOdbcMemoryResultSet.Column;
import java.sql.Connection;
import java.sql.DatabaseMetaData;
import java.sql.ResultSet;
import java.sql.RowIdLifetime;
import java.sql.SQLException;
import java.sql.Types;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.HashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;

/**
 * What the driver and the data source offer.
 *
 * <p>The catalog methods run the data source's catalog function on a
 * statement of their own, read its (small) result whole and hand back an
 * in-memory result set in JDBC form: JDBC's column labels in JDBC's order,
 * JDBC type codes in DATA_TYPE (the data source's 9/10/11 as DATE, TIME and
 * TIMESTAMP, its booleans as BOOLEAN, a uuid as OTHER), JDBC's sort order.
 * The data sources answer in ODBC 2 form (TABLE_QUALIFIER, TABLE_OWNER,
 * PRECISION, ...), some with columns of their own after the standard ones;
 * the standard columns are read by position, which ODBC fixes, so neither
 * their names nor the extra columns reach the caller. Patterns use {@code _}
 * and {@code %} as wildcards with the escape that
 * {@link #getSearchStringEscape} reports, which is the data source's own.
 * A catalog function the data source does not offer answers an empty
 * result.
 *
 * <p>Every other method answers from the data source's information values
 * where ODBC has one, and otherwise with a constant that says what this
 * driver does. The information values of a connection do not change; they
 * are read once.
 */
public class JdbcOdbcDatabaseMetaData implements DatabaseMetaData {
    // Information types of SQLGetInfo that only this class reads.
    private static final int ACTIVE_CONNECTIONS = 0, ACTIVE_STATEMENTS = 1, SEARCH_PATTERN_ESCAPE = 14,
            ODBC_SQL_CONFORMANCE = 15, ACCESSIBLE_TABLES = 19, ACCESSIBLE_PROCEDURES = 20, PROCEDURES_OFFERED = 21,
            CONCAT_NULL_BEHAVIOR = 22, CURSOR_COMMIT_BEHAVIOR = 23, CURSOR_ROLLBACK_BEHAVIOR = 24,
            DATA_SOURCE_READ_ONLY = 25, EXPRESSIONS_IN_ORDERBY = 27, IDENTIFIER_CASE = 28,
            MAX_COLUMN_NAME_LEN = 30, MAX_CURSOR_NAME_LEN = 31, MAX_OWNER_NAME_LEN = 32,
            MAX_PROCEDURE_NAME_LEN = 33, MAX_QUALIFIER_NAME_LEN = 34, MAX_TABLE_NAME_LEN = 35,
            MULT_RESULT_SETS = 36, MULTIPLE_ACTIVE_TXN = 37, OUTER_JOINS = 38, OWNER_TERM = 39,
            PROCEDURE_TERM = 40, QUALIFIER_NAME_SEPARATOR = 41, QUALIFIER_TERM = 42, CONVERT_FUNCTIONS = 48,
            NUMERIC_FUNCTIONS = 49, STRING_FUNCTIONS = 50, SYSTEM_FUNCTIONS = 51, TIMEDATE_FUNCTIONS = 52,
            ODBC_SQL_OPT_IEF = 73, CORRELATION_NAME = 74, NON_NULLABLE_COLUMNS = 75, POSITIONED_STATEMENTS = 80,
            FILE_USAGE = 84, NULL_COLLATION = 85, ALTER_TABLE = 86, COLUMN_ALIAS = 87, GROUP_BY = 88,
            KEYWORDS = 89, ORDER_BY_COLUMNS_IN_SELECT = 90, OWNER_USAGE = 91, QUALIFIER_USAGE = 92,
            QUOTED_IDENTIFIER_CASE = 93, SPECIAL_CHARACTERS = 94, SUBQUERIES = 95, UNION = 96,
            MAX_COLUMNS_IN_GROUP_BY = 97, MAX_COLUMNS_IN_INDEX = 98, MAX_COLUMNS_IN_ORDER_BY = 99,
            MAX_COLUMNS_IN_SELECT = 100, MAX_COLUMNS_IN_TABLE = 101, MAX_INDEX_SIZE = 102,
            MAX_ROW_SIZE_INCLUDES_LONG = 103, MAX_ROW_SIZE = 104, MAX_STATEMENT_LEN = 105,
            MAX_TABLES_IN_SELECT = 106, MAX_USER_NAME_LEN = 107, MAX_CHAR_LITERAL_LEN = 108,
            MAX_BINARY_LITERAL_LEN = 112, LIKE_ESCAPE_CLAUSE = 113, QUALIFIER_LOCATION = 114,
            OJ_CAPABILITIES = 115, SQL_CONFORMANCE = 118;
    /** The first of the SQL_CONVERT_* information types (SQL_CONVERT_BIGINT); SQL types map to them below. */
    private static final Map<Integer, Integer> CONVERT_INFO = Map.ofEntries(Map.entry(Types.BIGINT, 53),
            Map.entry(Types.BINARY, 54), Map.entry(Types.BIT, 55), Map.entry(Types.BOOLEAN, 55),
            Map.entry(Types.CHAR, 56), Map.entry(Types.DATE, 57), Map.entry(Types.DECIMAL, 58),
            Map.entry(Types.DOUBLE, 59), Map.entry(Types.FLOAT, 60), Map.entry(Types.INTEGER, 61),
            Map.entry(Types.LONGVARCHAR, 62), Map.entry(Types.NUMERIC, 63), Map.entry(Types.REAL, 64),
            Map.entry(Types.SMALLINT, 65), Map.entry(Types.TIME, 66), Map.entry(Types.TIMESTAMP, 67),
            Map.entry(Types.TINYINT, 68), Map.entry(Types.VARBINARY, 69), Map.entry(Types.VARCHAR, 70),
            Map.entry(Types.LONGVARBINARY, 71));
    /** The SQL_CVT_* bit of each target type. */
    private static final Map<Integer, Integer> CONVERT_BIT = Map.ofEntries(Map.entry(Types.CHAR, 0x1),
            Map.entry(Types.NUMERIC, 0x2), Map.entry(Types.DECIMAL, 0x4), Map.entry(Types.INTEGER, 0x8),
            Map.entry(Types.SMALLINT, 0x10), Map.entry(Types.FLOAT, 0x20), Map.entry(Types.REAL, 0x40),
            Map.entry(Types.DOUBLE, 0x80), Map.entry(Types.VARCHAR, 0x100), Map.entry(Types.LONGVARCHAR, 0x200),
            Map.entry(Types.BINARY, 0x400), Map.entry(Types.VARBINARY, 0x800), Map.entry(Types.BIT, 0x1000),
            Map.entry(Types.BOOLEAN, 0x1000), Map.entry(Types.TINYINT, 0x2000), Map.entry(Types.BIGINT, 0x4000),
            Map.entry(Types.DATE, 0x8000), Map.entry(Types.TIME, 0x10000), Map.entry(Types.TIMESTAMP, 0x20000),
            Map.entry(Types.LONGVARBINARY, 0x40000));

    // The function names of the four ODBC function bitmasks, bit 0 first (ODBC's escape names, as JDBC's).
    private static final String[] NUMERIC_NAMES = {"ABS", "ACOS", "ASIN", "ATAN", "ATAN2", "CEILING", "COS", "COT",
        "EXP", "FLOOR", "LOG", "MOD", "SIGN", "SIN", "SQRT", "TAN", "PI", "RAND", "DEGREES", "LOG10", "POWER",
        "RADIANS", "ROUND", "TRUNCATE"};
    private static final String[] STRING_NAMES = {"CONCAT", "INSERT", "LEFT", "LTRIM", "LENGTH", "LOCATE", "LCASE",
        "REPEAT", "REPLACE", "RIGHT", "RTRIM", "SUBSTRING", "UCASE", "ASCII", "CHAR", "DIFFERENCE", null, "SOUNDEX",
        "SPACE", "BIT_LENGTH", "CHAR_LENGTH", "CHARACTER_LENGTH", "OCTET_LENGTH", "POSITION"};
    private static final String[] SYSTEM_NAMES = {"USER", "DATABASE", "IFNULL"};
    private static final String[] TIMEDATE_NAMES = {"NOW", "CURDATE", "DAYOFMONTH", "DAYOFWEEK", "DAYOFYEAR", "MONTH",
        "QUARTER", "WEEK", "YEAR", "CURTIME", "HOUR", "MINUTE", "SECOND", "TIMESTAMPADD", "TIMESTAMPDIFF", "DAYNAME",
        "MONTHNAME", "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP", "EXTRACT"};

    /** Marks an information value the data source could not give. */
    private static final Object UNKNOWN = new Object();

    private final JdbcOdbcConnection conn;
    private final Map<Integer, Object> infoCache = new ConcurrentHashMap<>();

    JdbcOdbcDatabaseMetaData(JdbcOdbcConnection conn) {
        this.conn = conn;
    }

    // ================================================================ information values

    private interface InfoRead {
        Object read(JdbcOdbcClient odbc, int hDbc, byte[] ec);
    }

    /** An information value, read once; null when the data source cannot tell. */
    private Object info(int key, InfoRead read) throws SQLException {
        Object v = infoCache.get(key);
        if (v == null) {
            ConnectionState st = conn.state;
            st.lock.lock();
            try {
                int h = conn.hDbc();
                st.ec[0] = 0;
                v = read.read(conn.odbc, h, st.ec);
                if (!Odbc.succeeded(st.ec[0])) {
                    JdbcOdbcErrors.records(conn.odbc, 0, h, 0);
                    v = UNKNOWN;
                }
            } finally {
                st.lock.unlock();
            }
            infoCache.put(key, v);
        }
        return v == UNKNOWN ? null : v;
    }

    /** A text value; null when the data source cannot tell. */
    private String infoText(int type) throws SQLException {
        return (String) info(type, (odbc, h, ec) -> {
            byte[] buf = new byte[8192];
            odbc.getInfoString(h, type, buf, ec);
            return Odbc.text(buf);
        });
    }

    private String infoText(int type, String fallback) throws SQLException {
        String s = infoText(type);
        return s == null ? fallback : s;
    }

    /** A 32-bit value; null when the data source cannot tell. */
    private Integer infoInt(int type) throws SQLException {
        return (Integer) info(0x10000 | type, (odbc, h, ec) -> odbc.getInfo(h, type, ec));
    }

    /** A 16-bit value; null when the data source cannot tell. */
    private Integer infoShort(int type) throws SQLException {
        return (Integer) info(0x20000 | type, (odbc, h, ec) -> odbc.getInfoShort(h, type, ec));
    }

    private int infoShort(int type, int fallback) throws SQLException {
        Integer v = infoShort(type);
        return v == null ? fallback : v;
    }

    private int infoInt(int type, int fallback) throws SQLException {
        Integer v = infoInt(type);
        return v == null ? fallback : v;
    }

    /** A "Y"/"N" value. */
    private boolean yes(int type, boolean fallback) throws SQLException {
        String s = infoText(type);
        if (s == null || s.isEmpty()) return fallback;
        return s.charAt(0) == 'Y' || s.charAt(0) == 'y';
    }

    /** Whether a bitmask value has any of the bits of mask. */
    private boolean bits(int type, int mask, boolean fallback) throws SQLException {
        Integer v = infoInt(type);
        return v == null ? fallback : (v & mask) != 0;
    }

    private static String names(Integer mask, String[] names) {
        if (mask == null) return "";
        StringBuilder s = new StringBuilder();
        for (int i = 0; i < names.length; i++) {
            if (names[i] != null && (mask & (1 << i)) != 0) {
                if (s.length() > 0) s.append(',');
                s.append(names[i]);
            }
        }
        return s.toString();
    }

    /** The numbers in the data source's version text ("15.2" gives 15 and 2). */
    private int[] versionNumbers() throws SQLException {
        String v = infoText(Odbc.INFO_DBMS_VER, "");
        List<Integer> parts = new ArrayList<>();
        for (String p : v.trim().split("[^0-9]+")) {
            if (p.isEmpty()) continue;
            try {
                parts.add(Integer.parseInt(p));
            } catch (NumberFormatException e) {
                parts.add(0);
            }
        }
        // psqlODBC writes a PostgreSQL version of two numbers (10 and later) as major.0.minor.
        if (parts.size() == 3 && parts.get(0) >= 10 && parts.get(1) == 0
                && "PostgreSQL".equalsIgnoreCase(infoText(Odbc.INFO_DBMS_NAME, ""))) {
            parts.remove(1);
        }
        int[] r = new int[2];
        for (int i = 0; i < 2 && i < parts.size(); i++) r[i] = parts.get(i);
        return r;
    }

    // ================================================================ catalog results

    /** One catalog function call on a statement handle. */
    private interface CatalogCall {
        void run(JdbcOdbcClient odbc, int hStmt, byte[] ec);
    }

    private static byte[] nts(String s) {
        return s == null ? null : Odbc.nts(s);
    }

    /** The rows of a catalog result and the labels its data source gave the columns. */
    private static final class Rows extends ArrayList<Object[]> {
        private static final long serialVersionUID = 1L;
        String[] labels = new String[0];

        /** The 1-based position of a column the data source added under a name of its own; 0 if absent. */
        int position(String label) {
            for (int i = 0; i < labels.length; i++) {
                if (labels[i].equalsIgnoreCase(label)) return i + 1;
            }
            return 0;
        }
    }

    /**
     * Runs a catalog function on a statement of its own and reads its result
     * whole, one Object[] per row (a value per column, from getObject). An
     * empty list when the data source does not offer the function.
     */
    private Rows query(String what, CatalogCall call) throws SQLException {
        JdbcOdbcStatement st = new JdbcOdbcStatement(conn, conn.newStatement());
        try {
            st.lock();
            try {
                StatementState s = st.state;
                s.ec[0] = 0;
                s.ec[1] = 0;
                call.run(conn.odbc, s.hStmt, s.ec);
                int rc = Odbc.rc(s.ec[0]);
                if (!Odbc.succeeded(rc)) {
                    if (s.ec[1] == Odbc.ST_UNUSABLE) {
                        throw JdbcOdbcErrors.of(what + ": a name or pattern could not be passed", "HY090");
                    }
                    SQLException e = st.failure(what, false);
                    if ("IM001".equals(e.getSQLState()) || "HYC00".equals(e.getSQLState())) return new Rows();
                    throw e;
                }
                if (rc == Odbc.SUCCESS_WITH_INFO) st.collectWarnings();
                s.pending = true;
                st.takeResult();
                Rows rows = new Rows();
                JdbcOdbcResultSet rs = st.resultSet;
                if (rs == null) return rows;
                java.sql.ResultSetMetaData md = rs.getMetaData();
                int n = md.getColumnCount();
                rows.labels = new String[n];
                for (int i = 0; i < n; i++) rows.labels[i] = md.getColumnLabel(i + 1);
                while (rs.next()) {
                    Object[] r = new Object[n];
                    for (int i = 0; i < n; i++) r[i] = rs.getObject(i + 1);
                    rows.add(r);
                }
                return rows;
            } finally {
                st.unlock();
            }
        } finally {
            st.close();
        }
    }

    /** Reads the standard columns of one row of a catalog result, by position. */
    private static final class Src {
        private final Object[] r;

        Src(Object[] r) {
            this.r = r;
        }

        Object raw(int pos) {
            return pos <= r.length ? r[pos - 1] : null;
        }

        boolean has(int pos) {
            return pos <= r.length;
        }

        String str(int pos) {
            Object v = raw(pos);
            return v == null ? null : v.toString();
        }

        /** A catalog or schema name: empty means none. */
        String name(int pos) {
            String s = str(pos);
            return s == null || s.isEmpty() ? null : s;
        }

        Integer num(int pos) {
            Object v = raw(pos);
            if (v == null) return null;
            if (v instanceof Number) return ((Number) v).intValue();
            if (v instanceof Boolean) return (Boolean) v ? 1 : 0;
            try {
                return Integer.valueOf(v.toString().trim());
            } catch (NumberFormatException e) {
                return null;
            }
        }

        Long lng(int pos) {
            Object v = raw(pos);
            if (v == null) return null;
            if (v instanceof Number) return ((Number) v).longValue();
            try {
                return Long.valueOf(v.toString().trim());
            } catch (NumberFormatException e) {
                return null;
            }
        }

        /** An ODBC truth value (SQL_TRUE / SQL_FALSE, or "Y"/"N" text) as a Boolean; null stays null. */
        Boolean bool(int pos) {
            Object v = raw(pos);
            if (v == null) return null;
            if (v instanceof Boolean) return (Boolean) v;
            if (v instanceof Number) return ((Number) v).intValue() != 0;
            String s = v.toString().trim();
            return s.equals("1") || s.equalsIgnoreCase("y") || s.equalsIgnoreCase("yes") || s.equalsIgnoreCase("t")
                    || s.equalsIgnoreCase("true");
        }
    }

    /**
     * The JDBC type code of a type the data source named in a catalog result.
     * Booleans come as BIT from the SQLite driver and as short text from
     * psqlODBC (which passes them as 'true'/'false' characters); their type
     * name tells them, as the result set's metadata does.
     */
    static int jdbcType(Integer odbcType, String typeName) {
        if (typeName != null && (typeName.equalsIgnoreCase("bool") || typeName.equalsIgnoreCase("boolean"))) {
            return Types.BOOLEAN;
        }
        if (odbcType == null) return Types.OTHER;
        return JdbcOdbcResultSetMetaData.jdbcType(odbcType);
    }

    private static boolean isLong(int jdbcType) {
        return jdbcType == Types.LONGVARCHAR || jdbcType == Types.LONGVARBINARY || jdbcType == Types.LONGNVARCHAR;
    }

    private static boolean isNumeric(int jdbcType) {
        switch (jdbcType) {
        case Types.TINYINT: case Types.SMALLINT: case Types.INTEGER: case Types.BIGINT: case Types.REAL:
        case Types.FLOAT: case Types.DOUBLE: case Types.NUMERIC: case Types.DECIMAL:
            return true;
        default:
            return false;
        }
    }

    /** Types whose DECIMAL_DIGITS are the digits of the fractional seconds. */
    private static boolean isTime(int jdbcType) {
        return jdbcType == Types.TIME || jdbcType == Types.TIMESTAMP || jdbcType == Types.TIME_WITH_TIMEZONE
                || jdbcType == Types.TIMESTAMP_WITH_TIMEZONE;
    }

    private static boolean isCharOrBinary(int jdbcType) {
        switch (jdbcType) {
        case Types.CHAR: case Types.VARCHAR: case Types.LONGVARCHAR: case Types.NCHAR: case Types.NVARCHAR:
        case Types.LONGNVARCHAR: case Types.BINARY: case Types.VARBINARY: case Types.LONGVARBINARY:
            return true;
        default:
            return false;
        }
    }

    /**
     * A column size as JDBC reports it: a boolean has one; a negative size
     * (psqlODBC's answer for bytea) means no limit for the long types and
     * nothing otherwise.
     */
    private static Integer size(Integer odbcSize, int jdbcType) {
        if (jdbcType == Types.BOOLEAN || jdbcType == Types.BIT) return 1;
        if (odbcSize == null) return null;
        if (odbcSize < 0) return isLong(jdbcType) ? Integer.MAX_VALUE : null;
        return odbcSize;
    }

    /**
     * Decimal digits and radix of a column. The SQLite driver writes them
     * into each other's place (10 as the digits of an integer, radix 0); a
     * radix other than 2 or 10 beside digits of 2 or 10 is read the other way
     * round.
     */
    private static Integer[] digitsAndRadix(Integer digits, Integer radix) {
        if (radix != null && radix != 2 && radix != 10 && digits != null && (digits == 2 || digits == 10)) {
            return new Integer[] {radix, digits};
        }
        return new Integer[] {digits, radix};
    }

    /** JDBC's ordering of a result: a comparator over the JDBC row. */
    private static Comparator<Object[]> order(int... columns) {
        Comparator<Object[]> c = null;
        for (int col : columns) {
            Comparator<Object[]> k = (a, b) -> compare(a[col - 1], b[col - 1]);
            c = c == null ? k : c.thenComparing(k);
        }
        return c;
    }

    @SuppressWarnings({"unchecked", "rawtypes"})
    private static int compare(Object a, Object b) {
        if (a == b) return 0;
        if (a == null) return -1;
        if (b == null) return 1;
        if (a instanceof Comparable && a.getClass() == b.getClass()) return ((Comparable) a).compareTo(b);
        return a.toString().compareTo(b.toString());
    }

    private static ResultSet result(Column[] columns, List<Object[]> rows, Comparator<Object[]> order) {
        if (order != null) rows.sort(order);
        return new JdbcOdbcMemoryResultSet(columns, rows);
    }

    private static ResultSet empty(Column[] columns) {
        return new JdbcOdbcMemoryResultSet(columns, new ArrayList<>());
    }

    /**
     * Whether a name matches a JDBC search pattern ({@code %} any run,
     * {@code _} one character, the escape taking the next character as it
     * is). A null pattern matches everything.
     */
    static boolean matches(String pattern, String value, String escape) {
        if (pattern == null) return true;
        if (value == null) return false;
        char esc = escape == null || escape.isEmpty() ? 0 : escape.charAt(0);
        return match(pattern, 0, value, 0, esc);
    }

    private static boolean match(String p, int pi, String v, int vi, char esc) {
        while (pi < p.length()) {
            char c = p.charAt(pi);
            if (esc != 0 && c == esc && pi + 1 < p.length()) {
                if (vi >= v.length() || v.charAt(vi) != p.charAt(pi + 1)) return false;
                pi += 2;
                vi++;
            } else if (c == '%') {
                for (int k = v.length(); k >= vi; k--) {
                    if (match(p, pi + 1, v, k, esc)) return true;
                }
                return false;
            } else if (c == '_') {
                if (vi >= v.length()) return false;
                pi++;
                vi++;
            } else {
                if (vi >= v.length() || v.charAt(vi) != c) return false;
                pi++;
                vi++;
            }
        }
        return vi == v.length();
    }

    // ---------------------------------------------------------------- tables

    private static final Column[] TABLES = {text("TABLE_CAT"), text("TABLE_SCHEM"), text("TABLE_NAME"),
        text("TABLE_TYPE"), text("REMARKS"), text("TYPE_CAT"), text("TYPE_SCHEM"), text("TYPE_NAME"),
        text("SELF_REFERENCING_COL_NAME"), text("REF_GENERATION")};

    @Override
    public ResultSet getTables(String catalog, String schemaPattern, String tableNamePattern, String[] types)
            throws SQLException {
        String typeList = null;
        Set<String> wanted = null;
        if (types != null) {
            StringBuilder s = new StringBuilder();
            wanted = new java.util.HashSet<>();
            for (String t : types) {
                if (t == null) continue;
                if (s.length() > 0) s.append(',');
                s.append('\'').append(t).append('\'');
                wanted.add(t.toUpperCase(Locale.ROOT));
            }
            typeList = s.toString();
        }
        String tl = typeList;
        List<Object[]> src = query("getTables", (odbc, h, ec) -> odbc.tables(h, nts(catalog), catalog == null,
                nts(schemaPattern), schemaPattern == null, nts(tableNamePattern), tableNamePattern == null, nts(tl),
                tl == null, ec));
        List<Object[]> rows = new ArrayList<>();
        for (Object[] r : src) {
            Src s = new Src(r);
            String type = s.str(4);
            // The types are also checked here: a data source may read the list its own way.
            if (wanted != null && (type == null || !wanted.contains(type.toUpperCase(Locale.ROOT)))) continue;
            rows.add(new Object[] {s.name(1), s.name(2), s.str(3), type, remarks(s.str(5)), null, null, null, null,
                null});
        }
        return result(TABLES, rows, order(4, 1, 2, 3));
    }

    private static String remarks(String r) {
        return r == null || r.isEmpty() ? null : r;
    }

    @Override
    public ResultSet getTableTypes() throws SQLException {
        List<Object[]> src = query("getTableTypes",
                (odbc, h, ec) -> odbc.tables(h, nts(""), false, nts(""), false, nts(""), false, nts("%"), false, ec));
        Set<String> seen = new LinkedHashSet<>();
        for (Object[] r : src) {
            String t = new Src(r).str(4);
            if (t != null && !t.isEmpty()) seen.add(t);
        }
        List<Object[]> rows = new ArrayList<>();
        for (String t : seen) rows.add(new Object[] {t});
        return result(new Column[] {text("TABLE_TYPE")}, rows, order(1));
    }

    @Override
    public ResultSet getCatalogs() throws SQLException {
        List<Object[]> src = query("getCatalogs",
                (odbc, h, ec) -> odbc.tables(h, nts("%"), false, nts(""), false, nts(""), false, null, true, ec));
        // A data source without the enumeration lists tables instead: their catalogs are the list.
        Set<String> seen = new LinkedHashSet<>();
        for (Object[] r : src) {
            String c = new Src(r).name(1);
            if (c != null) seen.add(c);
        }
        List<Object[]> rows = new ArrayList<>();
        for (String c : seen) rows.add(new Object[] {c});
        return result(new Column[] {text("TABLE_CAT")}, rows, order(1));
    }

    @Override
    public ResultSet getSchemas() throws SQLException {
        return getSchemas(null, null);
    }

    @Override
    public ResultSet getSchemas(String catalog, String schemaPattern) throws SQLException {
        List<Object[]> src = query("getSchemas",
                (odbc, h, ec) -> odbc.tables(h, nts(""), false, nts("%"), false, nts(""), false, null, true, ec));
        String esc = getSearchStringEscape();
        Map<String, Object[]> seen = new java.util.LinkedHashMap<>();
        for (Object[] r : src) {
            Src s = new Src(r);
            String schema = s.name(2);
            String cat = s.name(1);
            if (schema == null || !matches(schemaPattern, schema, esc)) continue;
            if (catalog != null && !(catalog.isEmpty() ? cat == null : catalog.equals(cat))) continue;
            seen.putIfAbsent(cat + "\u0000" + schema, new Object[] {schema, cat});
        }
        return result(new Column[] {text("TABLE_SCHEM"), text("TABLE_CATALOG")}, new ArrayList<>(seen.values()),
                order(2, 1));
    }

    // ---------------------------------------------------------------- columns

    private static final Column[] COLUMNS = {text("TABLE_CAT"), text("TABLE_SCHEM"), text("TABLE_NAME"),
        text("COLUMN_NAME"), col("DATA_TYPE", Types.INTEGER), text("TYPE_NAME"), col("COLUMN_SIZE", Types.INTEGER),
        col("BUFFER_LENGTH", Types.INTEGER), col("DECIMAL_DIGITS", Types.INTEGER),
        col("NUM_PREC_RADIX", Types.INTEGER), col("NULLABLE", Types.INTEGER), text("REMARKS"), text("COLUMN_DEF"),
        col("SQL_DATA_TYPE", Types.INTEGER), col("SQL_DATETIME_SUB", Types.INTEGER),
        col("CHAR_OCTET_LENGTH", Types.INTEGER), col("ORDINAL_POSITION", Types.INTEGER), text("IS_NULLABLE"),
        text("SCOPE_CATALOG"), text("SCOPE_SCHEMA"), text("SCOPE_TABLE"), col("SOURCE_DATA_TYPE", Types.SMALLINT),
        text("IS_AUTOINCREMENT"), text("IS_GENERATEDCOLUMN")};

    @Override
    public ResultSet getColumns(String catalog, String schemaPattern, String tableNamePattern,
            String columnNamePattern) throws SQLException {
        Rows src = query("getColumns", (odbc, h, ec) -> odbc.columns(h, nts(catalog), catalog == null,
                nts(schemaPattern), schemaPattern == null, nts(tableNamePattern), tableNamePattern == null,
                nts(columnNamePattern), columnNamePattern == null, ec));
        List<Object[]> rows = new ArrayList<>();
        Map<String, Integer> positions = new HashMap<>();
        int autoIncrement = src.labels.length > 18 ? src.position("AUTO_INCREMENT") : 0;
        for (Object[] r : src) {
            Src s = new Src(r);
            String typeName = s.str(6);
            int type = jdbcType(s.num(5), typeName);
            Integer[] dr = digitsAndRadix(s.num(9), s.num(10));
            Integer nullable = s.num(11);
            String table = s.name(1) + "\u0000" + s.name(2) + "\u0000" + s.str(3);
            int counted = positions.merge(table, 1, Integer::sum);
            Integer ordinal = s.has(17) && s.num(17) != null ? s.num(17) : Integer.valueOf(counted);
            String isNullable = s.has(18) ? s.str(18) : null;
            if (isNullable == null || !(isNullable.equals("YES") || isNullable.equals("NO"))) {
                isNullable = nullable == null ? "" : nullable == 0 ? "NO" : nullable == 1 ? "YES" : "";
            }
            String def = s.has(13) ? s.str(13) : null;
            rows.add(new Object[] {s.name(1), s.name(2), s.str(3), s.str(4), type, typeName, size(s.num(7), type),
                null, isNumeric(type) || isTime(type) ? dr[0] : null, isNumeric(type) ? dr[1] : null, nullable,
                remarks(s.str(12)),
                def, null, null, isCharOrBinary(type) && s.has(16) ? size(s.num(16), type) : null, ordinal, isNullable, null,
                null, null, null, autoIncrement(s, autoIncrement, def), ""});
        }
        return result(COLUMNS, rows, order(1, 2, 3, 17));
    }

    /**
     * Whether a column numbers itself: psqlODBC says so in a column of its
     * own after the standard ones (AUTO_INCREMENT); a default that draws from
     * a sequence says so too; otherwise it cannot be told.
     */
    private static String autoIncrement(Src s, int position, String def) {
        if (def != null && def.toLowerCase(Locale.ROOT).startsWith("nextval(")) return "YES";
        if (position > 0) {
            Integer v = s.num(position);
            if (v != null) return v != 0 ? "YES" : "NO";
        }
        return "";
    }

    // ---------------------------------------------------------------- keys

    private static final Column[] PRIMARY_KEYS = {text("TABLE_CAT"), text("TABLE_SCHEM"), text("TABLE_NAME"),
        text("COLUMN_NAME"), col("KEY_SEQ", Types.SMALLINT), text("PK_NAME")};

    @Override
    public ResultSet getPrimaryKeys(String catalog, String schema, String table) throws SQLException {
        List<Object[]> src = query("getPrimaryKeys", (odbc, h, ec) -> odbc.primaryKeys(h, nts(catalog),
                catalog == null, nts(schema), schema == null, nts(table), table == null, ec));
        List<Object[]> rows = new ArrayList<>();
        for (Object[] r : src) {
            Src s = new Src(r);
            rows.add(new Object[] {s.name(1), s.name(2), s.str(3), s.str(4), s.num(5), s.str(6)});
        }
        return result(PRIMARY_KEYS, rows, order(4));
    }

    private static final Column[] KEYS = {text("PKTABLE_CAT"), text("PKTABLE_SCHEM"), text("PKTABLE_NAME"),
        text("PKCOLUMN_NAME"), text("FKTABLE_CAT"), text("FKTABLE_SCHEM"), text("FKTABLE_NAME"),
        text("FKCOLUMN_NAME"), col("KEY_SEQ", Types.SMALLINT), col("UPDATE_RULE", Types.SMALLINT),
        col("DELETE_RULE", Types.SMALLINT), text("FK_NAME"), text("PK_NAME"), col("DEFERRABILITY", Types.SMALLINT)};

    /** Foreign keys; the ODBC rule and deferrability values are JDBC's. */
    private List<Object[]> keys(String what, String pkCatalog, String pkSchema, String pkTable, String fkCatalog,
            String fkSchema, String fkTable) throws SQLException {
        List<Object[]> src = query(what, (odbc, h, ec) -> odbc.foreignKeys(h, nts(pkCatalog), pkCatalog == null,
                nts(pkSchema), pkSchema == null, nts(pkTable), pkTable == null, nts(fkCatalog), fkCatalog == null,
                nts(fkSchema), fkSchema == null, nts(fkTable), fkTable == null, ec));
        List<Object[]> rows = new ArrayList<>();
        for (Object[] r : src) {
            Src s = new Src(r);
            rows.add(new Object[] {s.name(1), s.name(2), s.str(3), s.str(4), s.name(5), s.name(6), s.str(7),
                s.str(8), s.num(9), s.num(10), s.num(11), s.str(12), s.str(13), s.has(14) ? s.num(14) : null});
        }
        return rows;
    }

    @Override
    public ResultSet getImportedKeys(String catalog, String schema, String table) throws SQLException {
        return result(KEYS, keys("getImportedKeys", null, null, null, catalog, schema, table), order(1, 2, 3, 9));
    }

    @Override
    public ResultSet getExportedKeys(String catalog, String schema, String table) throws SQLException {
        return result(KEYS, keys("getExportedKeys", catalog, schema, table, null, null, null), order(5, 6, 7, 9));
    }

    @Override
    public ResultSet getCrossReference(String parentCatalog, String parentSchema, String parentTable,
            String foreignCatalog, String foreignSchema, String foreignTable) throws SQLException {
        return result(KEYS, keys("getCrossReference", parentCatalog, parentSchema, parentTable, foreignCatalog,
                foreignSchema, foreignTable), order(5, 6, 7, 9));
    }

    // ---------------------------------------------------------------- indexes

    private static final Column[] INDEX_INFO = {text("TABLE_CAT"), text("TABLE_SCHEM"), text("TABLE_NAME"),
        col("NON_UNIQUE", Types.BOOLEAN), text("INDEX_QUALIFIER"), text("INDEX_NAME"), col("TYPE", Types.SMALLINT),
        col("ORDINAL_POSITION", Types.SMALLINT), text("COLUMN_NAME"), text("ASC_OR_DESC"),
        col("CARDINALITY", Types.BIGINT), col("PAGES", Types.BIGINT), text("FILTER_CONDITION")};

    @Override
    public ResultSet getIndexInfo(String catalog, String schema, String table, boolean unique, boolean approximate)
            throws SQLException {
        List<Object[]> src = query("getIndexInfo", (odbc, h, ec) -> odbc.statistics(h, nts(catalog),
                catalog == null, nts(schema), schema == null, nts(table), table == null, unique ? 1 : 0,
                approximate ? 1 : 0, ec));
        List<Object[]> rows = new ArrayList<>();
        for (Object[] r : src) {
            Src s = new Src(r);
            Boolean nonUnique = s.bool(4);
            rows.add(new Object[] {s.name(1), s.name(2), s.str(3), nonUnique == null ? Boolean.FALSE : nonUnique,
                s.name(5), s.str(6), s.num(7), s.num(8), s.str(9), s.str(10), s.lng(11), s.lng(12), s.str(13)});
        }
        return result(INDEX_INFO, rows, order(4, 7, 6, 8));
    }

    // ---------------------------------------------------------------- special columns

    private static final Column[] ROW_IDENTIFIER = {col("SCOPE", Types.SMALLINT), text("COLUMN_NAME"),
        col("DATA_TYPE", Types.INTEGER), text("TYPE_NAME"), col("COLUMN_SIZE", Types.INTEGER),
        col("BUFFER_LENGTH", Types.INTEGER), col("DECIMAL_DIGITS", Types.SMALLINT),
        col("PSEUDO_COLUMN", Types.SMALLINT)};

    private List<Object[]> special(String what, int identifierType, String catalog, String schema, String table,
            int scope, boolean nullable, boolean keepScope) throws SQLException {
        List<Object[]> src = query(what, (odbc, h, ec) -> odbc.specialColumns(h, identifierType, nts(catalog),
                catalog == null, nts(schema), schema == null, nts(table), table == null, scope, nullable ? 1 : 0, ec));
        List<Object[]> rows = new ArrayList<>();
        for (Object[] r : src) {
            Src s = new Src(r);
            int type = jdbcType(s.num(3), s.str(4));
            rows.add(new Object[] {keepScope ? s.num(1) : null, s.str(2), type, s.str(4), size(s.num(5), type),
                s.num(6), s.num(7), s.num(8)});
        }
        return rows;
    }

    /**
     * The data source's best row identifier; when it names none (psqlODBC
     * names one only for tables with oids), the primary key, which
     * identifies a row for the whole session.
     */
    @Override
    public ResultSet getBestRowIdentifier(String catalog, String schema, String table, int scope, boolean nullable)
            throws SQLException {
        List<Object[]> rows = special("getBestRowIdentifier", 1, catalog, schema, table, scope, nullable, true);
        if (rows.isEmpty() && table != null) {
            List<Object[]> key = new ArrayList<>();
            try (ResultSet pk = getPrimaryKeys(catalog, schema, table)) {
                while (pk.next()) key.add(new Object[] {pk.getString(2), pk.getString(4), pk.getInt(5)});
            }
            key.sort(Comparator.comparingInt(k -> (Integer) k[2]));
            for (Object[] k : key) {
                try (ResultSet c = getColumns(catalog, schema == null ? null : schema, table, (String) k[1])) {
                    while (c.next()) {
                        if (!c.getString("COLUMN_NAME").equals(k[1])) continue;
                        if (schema == null && k[0] != null && !k[0].equals(c.getString("TABLE_SCHEM"))) continue;
                        rows.add(new Object[] {bestRowSession, k[1], c.getInt("DATA_TYPE"), c.getString("TYPE_NAME"),
                            c.getObject("COLUMN_SIZE"), null, c.getObject("DECIMAL_DIGITS"), bestRowNotPseudo});
                        break;
                    }
                }
            }
        }
        return result(ROW_IDENTIFIER, rows, order(1));
    }

    @Override
    public ResultSet getVersionColumns(String catalog, String schema, String table) throws SQLException {
        return result(ROW_IDENTIFIER, special("getVersionColumns", 2, catalog, schema, table, 0, true, false), null);
    }

    // ---------------------------------------------------------------- types

    private static final Column[] TYPE_INFO = {text("TYPE_NAME"), col("DATA_TYPE", Types.INTEGER),
        col("PRECISION", Types.INTEGER), text("LITERAL_PREFIX"), text("LITERAL_SUFFIX"), text("CREATE_PARAMS"),
        col("NULLABLE", Types.SMALLINT), col("CASE_SENSITIVE", Types.BOOLEAN), col("SEARCHABLE", Types.SMALLINT),
        col("UNSIGNED_ATTRIBUTE", Types.BOOLEAN), col("FIXED_PREC_SCALE", Types.BOOLEAN),
        col("AUTO_INCREMENT", Types.BOOLEAN), text("LOCAL_TYPE_NAME"), col("MINIMUM_SCALE", Types.SMALLINT),
        col("MAXIMUM_SCALE", Types.SMALLINT), col("SQL_DATA_TYPE", Types.INTEGER),
        col("SQL_DATETIME_SUB", Types.INTEGER), col("NUM_PREC_RADIX", Types.INTEGER)};

    @Override
    public ResultSet getTypeInfo() throws SQLException {
        List<Object[]> src = query("getTypeInfo", (odbc, h, ec) -> odbc.getTypeInfo(h, 0, ec));
        List<Object[]> rows = new ArrayList<>();
        for (Object[] r : src) {
            Src s = new Src(r);
            int type = jdbcType(s.num(2), s.str(1));
            Integer radix = s.has(18) ? s.num(18) : null;
            if (radix == null && isNumeric(type)) radix = 10;
            rows.add(new Object[] {s.str(1), type, size(s.num(3), type), s.str(4), s.str(5), s.str(6), s.num(7),
                falseIfNull(s.bool(8)), s.num(9), falseIfNull(s.bool(10)), falseIfNull(s.bool(11)),
                falseIfNull(s.bool(12)), s.str(13), s.num(14), s.num(15), null, null, radix});
        }
        return result(TYPE_INFO, rows, order(2));
    }

    private static Boolean falseIfNull(Boolean b) {
        return b == null ? Boolean.FALSE : b;
    }

    // ---------------------------------------------------------------- procedures and functions

    private static final Column[] PROCEDURES = {text("PROCEDURE_CAT"), text("PROCEDURE_SCHEM"),
        text("PROCEDURE_NAME"), text("RESERVED1"), text("RESERVED2"), text("RESERVED3"), text("REMARKS"),
        col("PROCEDURE_TYPE", Types.SMALLINT), text("SPECIFIC_NAME")};

    private List<Object[]> procedureRows(String what, String catalog, String schemaPattern, String pattern)
            throws SQLException {
        return query(what, (odbc, h, ec) -> odbc.procedures(h, nts(catalog), catalog == null, nts(schemaPattern),
                schemaPattern == null, nts(pattern), pattern == null, ec));
    }

    @Override
    public ResultSet getProcedures(String catalog, String schemaPattern, String procedureNamePattern)
            throws SQLException {
        List<Object[]> rows = new ArrayList<>();
        for (Object[] r : procedureRows("getProcedures", catalog, schemaPattern, procedureNamePattern)) {
            Src s = new Src(r);
            rows.add(new Object[] {s.name(1), s.name(2), s.str(3), null, null, null, remarks(s.str(7)), s.num(8),
                s.str(3)});
        }
        return result(PROCEDURES, rows, order(1, 2, 3, 9));
    }

    private static final Column[] PROCEDURE_COLUMNS = {text("PROCEDURE_CAT"), text("PROCEDURE_SCHEM"),
        text("PROCEDURE_NAME"), text("COLUMN_NAME"), col("COLUMN_TYPE", Types.SMALLINT),
        col("DATA_TYPE", Types.INTEGER), text("TYPE_NAME"), col("PRECISION", Types.INTEGER),
        col("LENGTH", Types.INTEGER), col("SCALE", Types.SMALLINT), col("RADIX", Types.SMALLINT),
        col("NULLABLE", Types.SMALLINT), text("REMARKS"), text("COLUMN_DEF"), col("SQL_DATA_TYPE", Types.INTEGER),
        col("SQL_DATETIME_SUB", Types.INTEGER), col("CHAR_OCTET_LENGTH", Types.INTEGER),
        col("ORDINAL_POSITION", Types.INTEGER), text("IS_NULLABLE"), text("SPECIFIC_NAME")};

    private List<Object[]> procedureColumnRows(String what, String catalog, String schemaPattern,
            String procedurePattern, String columnPattern) throws SQLException {
        // psqlODBC answers nothing when given a column pattern: the columns are matched here.
        List<Object[]> src = query(what, (odbc, h, ec) -> odbc.procedureColumns(h, nts(catalog), catalog == null,
                nts(schemaPattern), schemaPattern == null, nts(procedurePattern), procedurePattern == null, null, true,
                ec));
        String esc = getSearchStringEscape();
        List<Object[]> rows = new ArrayList<>();
        Map<String, Integer> positions = new HashMap<>();
        for (Object[] r : src) {
            Src s = new Src(r);
            String name = s.str(4);
            if (!matches(columnPattern, name == null ? "" : name, esc)) continue;
            int type = jdbcType(s.num(6), s.str(7));
            Integer[] dr = digitsAndRadix(s.num(10), s.num(11));
            Integer nullable = s.num(12);
            String proc = s.name(1) + "\u0000" + s.name(2) + "\u0000" + s.str(3);
            int counted = positions.merge(proc, 1, Integer::sum);
            Integer ordinal = s.has(18) && s.num(18) != null ? s.num(18) : Integer.valueOf(counted);
            String isNullable = nullable == null ? "" : nullable == 0 ? "NO" : nullable == 1 ? "YES" : "";
            rows.add(new Object[] {s.name(1), s.name(2), s.str(3), s.str(4), s.num(5), type, s.str(7),
                size(s.num(8), type), s.num(9), isNumeric(type) ? dr[0] : null, isNumeric(type) ? dr[1] : null,
                nullable, remarks(s.str(13)), s.has(14) ? s.str(14) : null, null, null,
                isCharOrBinary(type) && s.has(17) ? size(s.num(17), type) : null, ordinal, isNullable, s.str(3)});
        }
        return rows;
    }

    @Override
    public ResultSet getProcedureColumns(String catalog, String schemaPattern, String procedureNamePattern,
            String columnNamePattern) throws SQLException {
        return result(PROCEDURE_COLUMNS, procedureColumnRows("getProcedureColumns", catalog, schemaPattern,
                procedureNamePattern, columnNamePattern), order(1, 2, 3, 20));
    }

    private static final Column[] FUNCTIONS = {text("FUNCTION_CAT"), text("FUNCTION_SCHEM"), text("FUNCTION_NAME"),
        text("REMARKS"), col("FUNCTION_TYPE", Types.SMALLINT), text("SPECIFIC_NAME")};

    /**
     * The procedures that return a result (ODBC cannot tell a function that
     * returns a table from one that returns a value: the type is unknown).
     */
    @Override
    public ResultSet getFunctions(String catalog, String schemaPattern, String functionNamePattern)
            throws SQLException {
        List<Object[]> rows = new ArrayList<>();
        for (Object[] r : procedureRows("getFunctions", catalog, schemaPattern, functionNamePattern)) {
            Src s = new Src(r);
            Integer type = s.num(8);
            if (type != null && type == procedureNoResult) continue;
            rows.add(new Object[] {s.name(1), s.name(2), s.str(3), remarks(s.str(7)), functionResultUnknown,
                s.str(3)});
        }
        return result(FUNCTIONS, rows, order(1, 2, 3, 6));
    }

    private static final Column[] FUNCTION_COLUMNS = {text("FUNCTION_CAT"), text("FUNCTION_SCHEM"),
        text("FUNCTION_NAME"), text("COLUMN_NAME"), col("COLUMN_TYPE", Types.SMALLINT),
        col("DATA_TYPE", Types.INTEGER), text("TYPE_NAME"), col("PRECISION", Types.INTEGER),
        col("LENGTH", Types.INTEGER), col("SCALE", Types.SMALLINT), col("RADIX", Types.SMALLINT),
        col("NULLABLE", Types.SMALLINT), text("REMARKS"), col("CHAR_OCTET_LENGTH", Types.INTEGER),
        col("ORDINAL_POSITION", Types.INTEGER), text("IS_NULLABLE"), text("SPECIFIC_NAME")};

    @Override
    public ResultSet getFunctionColumns(String catalog, String schemaPattern, String functionNamePattern,
            String columnNamePattern) throws SQLException {
        List<Object[]> rows = new ArrayList<>();
        for (Object[] p : procedureColumnRows("getFunctionColumns", catalog, schemaPattern, functionNamePattern,
                columnNamePattern)) {
            // ODBC's result column, output and return value (3, 4, 5) are JDBC's 5, 3 and 4 here.
            Integer t = (Integer) p[4];
            Integer type = t == null ? null : t == 3 ? functionColumnResult : t == 4 ? functionColumnOut
                    : t == 5 ? functionReturn : t;
            rows.add(new Object[] {p[0], p[1], p[2], p[3], type, p[5], p[6], p[7], p[8], p[9], p[10], p[11], p[12],
                p[16], p[17], p[18], p[19]});
        }
        return result(FUNCTION_COLUMNS, rows, order(1, 2, 3, 17));
    }

    // ---------------------------------------------------------------- privileges

    private static final Column[] TABLE_PRIVILEGES = {text("TABLE_CAT"), text("TABLE_SCHEM"), text("TABLE_NAME"),
        text("GRANTOR"), text("GRANTEE"), text("PRIVILEGE"), text("IS_GRANTABLE")};

    @Override
    public ResultSet getTablePrivileges(String catalog, String schemaPattern, String tableNamePattern)
            throws SQLException {
        List<Object[]> src = query("getTablePrivileges", (odbc, h, ec) -> odbc.tablePrivileges(h, nts(catalog),
                catalog == null, nts(schemaPattern), schemaPattern == null, nts(tableNamePattern),
                tableNamePattern == null, ec));
        List<Object[]> rows = new ArrayList<>();
        for (Object[] r : src) {
            Src s = new Src(r);
            rows.add(new Object[] {s.name(1), s.name(2), s.str(3), s.name(4), s.str(5), s.str(6), s.str(7)});
        }
        return result(TABLE_PRIVILEGES, rows, order(1, 2, 3, 6));
    }

    private static final Column[] COLUMN_PRIVILEGES = {text("TABLE_CAT"), text("TABLE_SCHEM"), text("TABLE_NAME"),
        text("COLUMN_NAME"), text("GRANTOR"), text("GRANTEE"), text("PRIVILEGE"), text("IS_GRANTABLE")};

    @Override
    public ResultSet getColumnPrivileges(String catalog, String schema, String table, String columnNamePattern)
            throws SQLException {
        List<Object[]> src = query("getColumnPrivileges", (odbc, h, ec) -> odbc.columnPrivileges(h, nts(catalog),
                catalog == null, nts(schema), schema == null, nts(table), table == null, nts(columnNamePattern),
                columnNamePattern == null, ec));
        List<Object[]> rows = new ArrayList<>();
        for (Object[] r : src) {
            Src s = new Src(r);
            rows.add(new Object[] {s.name(1), s.name(2), s.str(3), s.str(4), s.name(5), s.str(6), s.str(7),
                s.str(8)});
        }
        return result(COLUMN_PRIVILEGES, rows, order(4, 7));
    }

    // ---------------------------------------------------------------- what ODBC has no catalog function for

    @Override
    public ResultSet getUDTs(String catalog, String schemaPattern, String typeNamePattern, int[] types)
            throws SQLException {
        return empty(new Column[] {text("TYPE_CAT"), text("TYPE_SCHEM"), text("TYPE_NAME"), text("CLASS_NAME"),
            col("DATA_TYPE", Types.INTEGER), text("REMARKS"), col("BASE_TYPE", Types.SMALLINT)});
    }

    @Override
    public ResultSet getSuperTypes(String catalog, String schemaPattern, String typeNamePattern)
            throws SQLException {
        return empty(new Column[] {text("TYPE_CAT"), text("TYPE_SCHEM"), text("TYPE_NAME"), text("SUPERTYPE_CAT"),
            text("SUPERTYPE_SCHEM"), text("SUPERTYPE_NAME")});
    }

    @Override
    public ResultSet getSuperTables(String catalog, String schemaPattern, String tableNamePattern)
            throws SQLException {
        return empty(new Column[] {text("TABLE_CAT"), text("TABLE_SCHEM"), text("TABLE_NAME"),
            text("SUPERTABLE_NAME")});
    }

    @Override
    public ResultSet getAttributes(String catalog, String schemaPattern, String typeNamePattern,
            String attributeNamePattern) throws SQLException {
        return empty(new Column[] {text("TYPE_CAT"), text("TYPE_SCHEM"), text("TYPE_NAME"), text("ATTR_NAME"),
            col("DATA_TYPE", Types.INTEGER), text("ATTR_TYPE_NAME"), col("ATTR_SIZE", Types.INTEGER),
            col("DECIMAL_DIGITS", Types.INTEGER), col("NUM_PREC_RADIX", Types.INTEGER),
            col("NULLABLE", Types.INTEGER), text("REMARKS"), text("ATTR_DEF"), col("SQL_DATA_TYPE", Types.INTEGER),
            col("SQL_DATETIME_SUB", Types.INTEGER), col("CHAR_OCTET_LENGTH", Types.INTEGER),
            col("ORDINAL_POSITION", Types.INTEGER), text("IS_NULLABLE"), text("SCOPE_CATALOG"),
            text("SCOPE_SCHEMA"), text("SCOPE_TABLE"), col("SOURCE_DATA_TYPE", Types.SMALLINT)});
    }

    @Override
    public ResultSet getPseudoColumns(String catalog, String schemaPattern, String tableNamePattern,
            String columnNamePattern) throws SQLException {
        return empty(new Column[] {text("TABLE_CAT"), text("TABLE_SCHEM"), text("TABLE_NAME"), text("COLUMN_NAME"),
            col("DATA_TYPE", Types.INTEGER), col("COLUMN_SIZE", Types.INTEGER), col("DECIMAL_DIGITS", Types.INTEGER),
            col("NUM_PREC_RADIX", Types.INTEGER), text("COLUMN_USAGE"), text("REMARKS"),
            col("CHAR_OCTET_LENGTH", Types.INTEGER), text("IS_NULLABLE")});
    }

    /** Client information is kept by the connection under any name; no property is predefined. */
    @Override
    public ResultSet getClientInfoProperties() throws SQLException {
        return empty(new Column[] {text("NAME"), col("MAX_LEN", Types.INTEGER), text("DEFAULT_VALUE"),
            text("DESCRIPTION")});
    }

    // ================================================================ the driver and the data source

    @Override
    public Connection getConnection() throws SQLException {
        return conn;
    }

    @Override
    public String getURL() throws SQLException {
        return conn.url();
    }

    @Override
    public String getUserName() throws SQLException {
        String u = infoText(Odbc.INFO_USER_NAME);
        return u == null || u.isEmpty() ? conn.user() : u;
    }

    @Override
    public boolean isReadOnly() throws SQLException {
        if (yes(DATA_SOURCE_READ_ONLY, false)) return true;
        // The data store's own state (a PostgreSQL standby or a read-only session).
        ConnectionState st = conn.state;
        st.lock.lock();
        try {
            int h = conn.hDbc();
            int state = conn.odbc.getDataStoreState(h, st.ec);
            if (!Odbc.succeeded(st.ec[0])) {
                JdbcOdbcErrors.records(conn.odbc, 0, h, 0);
                return false;
            }
            return state == 2;
        } finally {
            st.lock.unlock();
        }
    }

    @Override
    public String getDatabaseProductName() throws SQLException {
        return infoText(Odbc.INFO_DBMS_NAME, "");
    }

    @Override
    public String getDatabaseProductVersion() throws SQLException {
        return infoText(Odbc.INFO_DBMS_VER, "");
    }

    @Override
    public int getDatabaseMajorVersion() throws SQLException {
        return versionNumbers()[0];
    }

    @Override
    public int getDatabaseMinorVersion() throws SQLException {
        return versionNumbers()[1];
    }

    @Override
    public String getDriverName() {
        return JdbcOdbcDriver.NAME;
    }

    @Override
    public String getDriverVersion() throws SQLException {
        String odbcDriver = infoText(Odbc.INFO_DRIVER_NAME, "");
        String odbcVersion = infoText(Odbc.INFO_DRIVER_VER, "");
        return JdbcOdbcDriver.MAJOR + "." + JdbcOdbcDriver.MINOR + " (native " + conn.odbc.getFullZirUrorVersion()
                + (odbcDriver.isEmpty() ? "" : ", " + odbcDriver + " " + odbcVersion) + ")";
    }

    @Override
    public int getDriverMajorVersion() {
        return JdbcOdbcDriver.MAJOR;
    }

    @Override
    public int getDriverMinorVersion() {
        return JdbcOdbcDriver.MINOR;
    }

    @Override
    public int getJDBCMajorVersion() {
        return 4;
    }

    @Override
    public int getJDBCMinorVersion() {
        return 2;
    }

    @Override
    public boolean usesLocalFiles() throws SQLException {
        return infoShort(FILE_USAGE, 0) != 0;
    }

    @Override
    public boolean usesLocalFilePerTable() throws SQLException {
        return infoShort(FILE_USAGE, 0) == 1;
    }

    @Override
    public boolean allProceduresAreCallable() throws SQLException {
        return yes(ACCESSIBLE_PROCEDURES, false);
    }

    @Override
    public boolean allTablesAreSelectable() throws SQLException {
        return yes(ACCESSIBLE_TABLES, false);
    }

    // ---------------------------------------------------------------- identifiers and names

    private int identifierCase() throws SQLException {
        return infoShort(IDENTIFIER_CASE, 0);
    }

    private int quotedIdentifierCase() throws SQLException {
        return infoShort(QUOTED_IDENTIFIER_CASE, 0);
    }

    // SQL_IC_UPPER 1, SQL_IC_LOWER 2, SQL_IC_SENSITIVE 3, SQL_IC_MIXED 4.
    @Override public boolean supportsMixedCaseIdentifiers() throws SQLException { return identifierCase() == 3; }
    @Override public boolean storesUpperCaseIdentifiers() throws SQLException { return identifierCase() == 1; }
    @Override public boolean storesLowerCaseIdentifiers() throws SQLException { return identifierCase() == 2; }
    @Override public boolean storesMixedCaseIdentifiers() throws SQLException { return identifierCase() == 4; }
    @Override public boolean supportsMixedCaseQuotedIdentifiers() throws SQLException {
        return quotedIdentifierCase() == 3;
    }
    @Override public boolean storesUpperCaseQuotedIdentifiers() throws SQLException {
        return quotedIdentifierCase() == 1;
    }
    @Override public boolean storesLowerCaseQuotedIdentifiers() throws SQLException {
        return quotedIdentifierCase() == 2;
    }
    @Override public boolean storesMixedCaseQuotedIdentifiers() throws SQLException {
        return quotedIdentifierCase() == 4;
    }

    @Override
    public String getIdentifierQuoteString() throws SQLException {
        String q = infoText(Odbc.INFO_IDENTIFIER_QUOTE_CHAR, "");
        return q.isEmpty() ? " " : q;
    }

    @Override
    public String getSQLKeywords() throws SQLException {
        return infoText(KEYWORDS, "");
    }

    @Override
    public String getNumericFunctions() throws SQLException {
        return names(infoInt(NUMERIC_FUNCTIONS), NUMERIC_NAMES);
    }

    @Override
    public String getStringFunctions() throws SQLException {
        return names(infoInt(STRING_FUNCTIONS), STRING_NAMES);
    }

    @Override
    public String getSystemFunctions() throws SQLException {
        return names(infoInt(SYSTEM_FUNCTIONS), SYSTEM_NAMES);
    }

    @Override
    public String getTimeDateFunctions() throws SQLException {
        return names(infoInt(TIMEDATE_FUNCTIONS), TIMEDATE_NAMES);
    }

    /** The data source's escape of {@code _} and {@code %} in catalog patterns. */
    @Override
    public String getSearchStringEscape() throws SQLException {
        return infoText(SEARCH_PATTERN_ESCAPE, "");
    }

    @Override
    public String getExtraNameCharacters() throws SQLException {
        return infoText(SPECIAL_CHARACTERS, "");
    }

    @Override
    public String getSchemaTerm() throws SQLException {
        return infoText(OWNER_TERM, "");
    }

    @Override
    public String getProcedureTerm() throws SQLException {
        return infoText(PROCEDURE_TERM, "");
    }

    @Override
    public String getCatalogTerm() throws SQLException {
        return infoText(QUALIFIER_TERM, "");
    }

    @Override
    public boolean isCatalogAtStart() throws SQLException {
        return infoShort(QUALIFIER_LOCATION, 1) != 2;
    }

    @Override
    public String getCatalogSeparator() throws SQLException {
        return infoText(QUALIFIER_NAME_SEPARATOR, "");
    }

    // SQL_OU_* and SQL_QU_*: DML 1, procedure invocation 2, table definition 4, index definition 8, privileges 16.
    @Override public boolean supportsSchemasInDataManipulation() throws SQLException {
        return bits(OWNER_USAGE, 1, false);
    }
    @Override public boolean supportsSchemasInProcedureCalls() throws SQLException {
        return bits(OWNER_USAGE, 2, false);
    }
    @Override public boolean supportsSchemasInTableDefinitions() throws SQLException {
        return bits(OWNER_USAGE, 4, false);
    }
    @Override public boolean supportsSchemasInIndexDefinitions() throws SQLException {
        return bits(OWNER_USAGE, 8, false);
    }
    @Override public boolean supportsSchemasInPrivilegeDefinitions() throws SQLException {
        return bits(OWNER_USAGE, 16, false);
    }
    @Override public boolean supportsCatalogsInDataManipulation() throws SQLException {
        return bits(QUALIFIER_USAGE, 1, false);
    }
    @Override public boolean supportsCatalogsInProcedureCalls() throws SQLException {
        return bits(QUALIFIER_USAGE, 2, false);
    }
    @Override public boolean supportsCatalogsInTableDefinitions() throws SQLException {
        return bits(QUALIFIER_USAGE, 4, false);
    }
    @Override public boolean supportsCatalogsInIndexDefinitions() throws SQLException {
        return bits(QUALIFIER_USAGE, 8, false);
    }
    @Override public boolean supportsCatalogsInPrivilegeDefinitions() throws SQLException {
        return bits(QUALIFIER_USAGE, 16, false);
    }

    // ---------------------------------------------------------------- SQL

    // SQL_NC_HIGH 0, SQL_NC_LOW 1, SQL_NC_START 2, SQL_NC_END 4.
    @Override public boolean nullsAreSortedHigh() throws SQLException { return infoShort(NULL_COLLATION, -1) == 0; }
    @Override public boolean nullsAreSortedLow() throws SQLException { return infoShort(NULL_COLLATION, -1) == 1; }
    @Override public boolean nullsAreSortedAtStart() throws SQLException {
        return infoShort(NULL_COLLATION, -1) == 2;
    }
    @Override public boolean nullsAreSortedAtEnd() throws SQLException { return infoShort(NULL_COLLATION, -1) == 4; }

    @Override
    public boolean nullPlusNonNullIsNull() throws SQLException {
        return infoShort(CONCAT_NULL_BEHAVIOR, 0) == 0;
    }

    @Override
    public boolean supportsAlterTableWithAddColumn() throws SQLException {
        return bits(ALTER_TABLE, 1, false);
    }

    @Override
    public boolean supportsAlterTableWithDropColumn() throws SQLException {
        return bits(ALTER_TABLE, 2, false);
    }

    @Override
    public boolean supportsColumnAliasing() throws SQLException {
        return yes(COLUMN_ALIAS, true);
    }

    @Override
    public boolean supportsConvert() throws SQLException {
        return bits(CONVERT_FUNCTIONS, 1, false);
    }

    @Override
    public boolean supportsConvert(int fromType, int toType) throws SQLException {
        Integer info = CONVERT_INFO.get(fromType);
        Integer bit = CONVERT_BIT.get(toType);
        if (info == null || bit == null) return false;
        return bits(info, bit, false);
    }

    // SQL_CN_NONE 0, SQL_CN_DIFFERENT 1, SQL_CN_ANY 2.
    @Override
    public boolean supportsTableCorrelationNames() throws SQLException {
        return infoShort(CORRELATION_NAME, 0) != 0;
    }

    @Override
    public boolean supportsDifferentTableCorrelationNames() throws SQLException {
        return infoShort(CORRELATION_NAME, 0) == 1;
    }

    @Override
    public boolean supportsExpressionsInOrderBy() throws SQLException {
        return yes(EXPRESSIONS_IN_ORDERBY, false);
    }

    @Override
    public boolean supportsOrderByUnrelated() throws SQLException {
        return !yes(ORDER_BY_COLUMNS_IN_SELECT, true);
    }

    // SQL_GB_NOT_SUPPORTED 0, SQL_GB_GROUP_BY_EQUALS_SELECT 1, SQL_GB_GROUP_BY_CONTAINS_SELECT 2, SQL_GB_NO_RELATION 3.
    @Override public boolean supportsGroupBy() throws SQLException { return infoShort(GROUP_BY, 0) != 0; }
    @Override public boolean supportsGroupByUnrelated() throws SQLException { return infoShort(GROUP_BY, 0) == 3; }
    @Override public boolean supportsGroupByBeyondSelect() throws SQLException {
        int g = infoShort(GROUP_BY, 0);
        return g == 2 || g == 3;
    }

    @Override
    public boolean supportsLikeEscapeClause() throws SQLException {
        return yes(LIKE_ESCAPE_CLAUSE, false);
    }

    @Override
    public boolean supportsMultipleResultSets() throws SQLException {
        return yes(MULT_RESULT_SETS, false);
    }

    @Override
    public boolean supportsMultipleTransactions() throws SQLException {
        return yes(MULTIPLE_ACTIVE_TXN, true);
    }

    /** Every JDBC data source has NOT NULL columns; ODBC's SQL_NNC_NON_NULL (1) says so too. */
    @Override
    public boolean supportsNonNullableColumns() throws SQLException {
        return infoShort(NON_NULLABLE_COLUMNS, 1) == 1;
    }

    // SQL_OSC_MINIMUM 0, SQL_OSC_CORE 1, SQL_OSC_EXTENDED 2.
    @Override public boolean supportsMinimumSQLGrammar() { return true; }
    @Override public boolean supportsCoreSQLGrammar() throws SQLException {
        return infoShort(ODBC_SQL_CONFORMANCE, 0) >= 1;
    }
    @Override public boolean supportsExtendedSQLGrammar() throws SQLException {
        return infoShort(ODBC_SQL_CONFORMANCE, 0) >= 2;
    }

    // SQL_SC_SQL92_ENTRY 1, SQL_SC_FIPS127_2_TRANSITIONAL 2, SQL_SC_SQL92_INTERMEDIATE 4, SQL_SC_SQL92_FULL 8.
    @Override public boolean supportsANSI92EntryLevelSQL() { return true; }
    @Override public boolean supportsANSI92IntermediateSQL() throws SQLException {
        return infoInt(SQL_CONFORMANCE, 1) >= 4;
    }
    @Override public boolean supportsANSI92FullSQL() throws SQLException { return infoInt(SQL_CONFORMANCE, 1) >= 8; }

    @Override
    public boolean supportsIntegrityEnhancementFacility() throws SQLException {
        return yes(ODBC_SQL_OPT_IEF, false);
    }

    /** SQL_OJ_CAPABILITIES (left 1, right 2, full 4, nested 8), or ODBC 2's SQL_OUTER_JOINS letter. */
    private int outerJoins() throws SQLException {
        Integer oj = infoInt(OJ_CAPABILITIES);
        if (oj != null && oj != 0) return oj;
        String s = infoText(OUTER_JOINS, "N");
        if (s.startsWith("F")) return 0x7;
        if (s.startsWith("Y") || s.startsWith("P")) return 0x1;
        return 0;
    }

    @Override public boolean supportsOuterJoins() throws SQLException { return outerJoins() != 0; }
    @Override public boolean supportsFullOuterJoins() throws SQLException { return (outerJoins() & 4) != 0; }
    @Override public boolean supportsLimitedOuterJoins() throws SQLException { return outerJoins() != 0; }

    // SQL_PS_POSITIONED_DELETE 1, SQL_PS_POSITIONED_UPDATE 2, SQL_PS_SELECT_FOR_UPDATE 4.
    @Override public boolean supportsPositionedDelete() throws SQLException {
        return bits(POSITIONED_STATEMENTS, 1, false);
    }
    @Override public boolean supportsPositionedUpdate() throws SQLException {
        return bits(POSITIONED_STATEMENTS, 2, false);
    }
    @Override public boolean supportsSelectForUpdate() throws SQLException {
        return bits(POSITIONED_STATEMENTS, 4, false);
    }

    @Override
    public boolean supportsStoredProcedures() throws SQLException {
        return yes(PROCEDURES_OFFERED, false);
    }

    @Override
    public boolean supportsStoredFunctionsUsingCallSyntax() throws SQLException {
        return yes(PROCEDURES_OFFERED, false);
    }

    // SQL_SQ_COMPARISON 1, SQL_SQ_EXISTS 2, SQL_SQ_IN 4, SQL_SQ_QUANTIFIED 8, SQL_SQ_CORRELATED_SUBQUERIES 16.
    @Override public boolean supportsSubqueriesInComparisons() throws SQLException { return bits(SUBQUERIES, 1, false); }
    @Override public boolean supportsSubqueriesInExists() throws SQLException { return bits(SUBQUERIES, 2, false); }
    @Override public boolean supportsSubqueriesInIns() throws SQLException { return bits(SUBQUERIES, 4, false); }
    @Override public boolean supportsSubqueriesInQuantifieds() throws SQLException {
        return bits(SUBQUERIES, 8, false);
    }
    @Override public boolean supportsCorrelatedSubqueries() throws SQLException {
        return bits(SUBQUERIES, 16, false);
    }

    // SQL_U_UNION 1, SQL_U_UNION_ALL 2.
    @Override public boolean supportsUnion() throws SQLException { return bits(UNION, 1, false); }
    @Override public boolean supportsUnionAll() throws SQLException { return bits(UNION, 2, false); }

    // ---------------------------------------------------------------- limits (0: none, or not known)

    @Override public int getMaxBinaryLiteralLength() throws SQLException { return infoInt(MAX_BINARY_LITERAL_LEN, 0); }
    @Override public int getMaxCharLiteralLength() throws SQLException { return infoInt(MAX_CHAR_LITERAL_LEN, 0); }
    @Override public int getMaxColumnNameLength() throws SQLException { return infoShort(MAX_COLUMN_NAME_LEN, 0); }
    @Override public int getMaxColumnsInGroupBy() throws SQLException { return infoShort(MAX_COLUMNS_IN_GROUP_BY, 0); }
    @Override public int getMaxColumnsInIndex() throws SQLException { return infoShort(MAX_COLUMNS_IN_INDEX, 0); }
    @Override public int getMaxColumnsInOrderBy() throws SQLException { return infoShort(MAX_COLUMNS_IN_ORDER_BY, 0); }
    @Override public int getMaxColumnsInSelect() throws SQLException { return infoShort(MAX_COLUMNS_IN_SELECT, 0); }
    @Override public int getMaxColumnsInTable() throws SQLException { return infoShort(MAX_COLUMNS_IN_TABLE, 0); }
    @Override public int getMaxConnections() throws SQLException { return infoShort(ACTIVE_CONNECTIONS, 0); }
    @Override public int getMaxCursorNameLength() throws SQLException { return infoShort(MAX_CURSOR_NAME_LEN, 0); }
    @Override public int getMaxIndexLength() throws SQLException { return infoInt(MAX_INDEX_SIZE, 0); }
    @Override public int getMaxSchemaNameLength() throws SQLException { return infoShort(MAX_OWNER_NAME_LEN, 0); }
    @Override public int getMaxProcedureNameLength() throws SQLException {
        return infoShort(MAX_PROCEDURE_NAME_LEN, 0);
    }
    @Override public int getMaxCatalogNameLength() throws SQLException { return infoShort(MAX_QUALIFIER_NAME_LEN, 0); }
    @Override public int getMaxRowSize() throws SQLException { return infoInt(MAX_ROW_SIZE, 0); }
    @Override public boolean doesMaxRowSizeIncludeBlobs() throws SQLException {
        return yes(MAX_ROW_SIZE_INCLUDES_LONG, false);
    }
    @Override public int getMaxStatementLength() throws SQLException { return infoInt(MAX_STATEMENT_LEN, 0); }
    @Override public int getMaxStatements() throws SQLException { return infoShort(ACTIVE_STATEMENTS, 0); }
    @Override public int getMaxTableNameLength() throws SQLException { return infoShort(MAX_TABLE_NAME_LEN, 0); }
    @Override public int getMaxTablesInSelect() throws SQLException { return infoShort(MAX_TABLES_IN_SELECT, 0); }
    @Override public int getMaxUserNameLength() throws SQLException { return infoShort(MAX_USER_NAME_LEN, 0); }

    // ---------------------------------------------------------------- transactions

    @Override
    public int getDefaultTransactionIsolation() throws SQLException {
        Integer d = infoInt(Odbc.INFO_DEFAULT_TXN_ISOLATION);
        return d != null && (d == 1 || d == 2 || d == 4 || d == 8) ? d : Connection.TRANSACTION_READ_COMMITTED;
    }

    // SQL_TC_NONE 0, SQL_TC_DML 1, SQL_TC_ALL 2, SQL_TC_DDL_COMMIT 3, SQL_TC_DDL_IGNORE 4.
    private int txnCapable() throws SQLException {
        return infoShort(Odbc.INFO_TXN_CAPABLE, 1);
    }

    @Override
    public boolean supportsTransactions() throws SQLException {
        return txnCapable() != 0;
    }

    @Override
    public boolean supportsTransactionIsolationLevel(int level) throws SQLException {
        if (level == Connection.TRANSACTION_NONE) return !supportsTransactions();
        Integer o = infoInt(Odbc.INFO_TXN_ISOLATION_OPTION);
        return o != null && (level == 1 || level == 2 || level == 4 || level == 8) && (o & level) != 0;
    }

    @Override
    public boolean supportsDataDefinitionAndDataManipulationTransactions() throws SQLException {
        return txnCapable() == 2;
    }

    @Override
    public boolean supportsDataManipulationTransactionsOnly() throws SQLException {
        return txnCapable() == 1;
    }

    @Override
    public boolean dataDefinitionCausesTransactionCommit() throws SQLException {
        return txnCapable() == 3;
    }

    @Override
    public boolean dataDefinitionIgnoredInTransactions() throws SQLException {
        return txnCapable() == 4;
    }

    // SQL_CB_DELETE 0, SQL_CB_CLOSE 1, SQL_CB_PRESERVE 2.
    @Override public boolean supportsOpenCursorsAcrossCommit() throws SQLException {
        return infoShort(CURSOR_COMMIT_BEHAVIOR, 0) == 2;
    }
    @Override public boolean supportsOpenCursorsAcrossRollback() throws SQLException {
        return infoShort(CURSOR_ROLLBACK_BEHAVIOR, 0) == 2;
    }
    @Override public boolean supportsOpenStatementsAcrossCommit() throws SQLException {
        return infoShort(CURSOR_COMMIT_BEHAVIOR, 0) != 0;
    }
    @Override public boolean supportsOpenStatementsAcrossRollback() throws SQLException {
        return infoShort(CURSOR_ROLLBACK_BEHAVIOR, 0) != 0;
    }

    /** Savepoints run as SQL (SAVEPOINT, ROLLBACK TO SAVEPOINT, RELEASE SAVEPOINT). */
    @Override
    public boolean supportsSavepoints() {
        return true;
    }

    @Override
    public boolean autoCommitFailureClosesAllResultSets() {
        return false;
    }

    // ---------------------------------------------------------------- what this driver does

    @Override
    public boolean supportsBatchUpdates() {
        return true;
    }

    /** PostgreSQL (RETURNING) and SQLite (the last row id) hand back generated keys; others do not. */
    @Override
    public boolean supportsGetGeneratedKeys() throws SQLException {
        return conn.generatedKeysKind() != GeneratedKeys.NONE;
    }

    @Override
    public boolean generatedKeyAlwaysReturned() {
        return false;
    }

    @Override
    public boolean supportsNamedParameters() {
        return false;
    }

    /** A new result closes the current one (KEEP_CURRENT_RESULT is not offered). */
    @Override
    public boolean supportsMultipleOpenResults() {
        // getMoreResults(KEEP_CURRENT_RESULT) reads the current result into memory.
        return true;
    }

    @Override
    public boolean supportsStatementPooling() {
        return false;
    }

    @Override
    public boolean supportsResultSetType(int type) {
        return type == ResultSet.TYPE_FORWARD_ONLY || type == ResultSet.TYPE_SCROLL_INSENSITIVE;
    }

    @Override
    public boolean supportsResultSetConcurrency(int type, int concurrency) {
        // Updatable results are held in memory and written back by key (a query over one table
        // with a primary key).
        return supportsResultSetType(type)
                && (concurrency == ResultSet.CONCUR_READ_ONLY || concurrency == ResultSet.CONCUR_UPDATABLE);
    }

    @Override
    public boolean supportsResultSetHoldability(int holdability) {
        // A holdable result is read whole into memory when its statement runs.
        return holdability == ResultSet.CLOSE_CURSORS_AT_COMMIT || holdability == ResultSet.HOLD_CURSORS_OVER_COMMIT;
    }

    @Override
    public int getResultSetHoldability() {
        return ResultSet.CLOSE_CURSORS_AT_COMMIT;
    }

    // An updatable result shows its own changes at once (the row is read back by its key; an
    // inserted row whose generated key the data source does not hand back is not shown), and marks
    // none; other transactions' changes are never seen.
    @Override public boolean ownUpdatesAreVisible(int type) { return supportsResultSetType(type); }
    @Override public boolean ownDeletesAreVisible(int type) { return supportsResultSetType(type); }
    @Override public boolean ownInsertsAreVisible(int type) { return supportsResultSetType(type); }
    @Override public boolean othersUpdatesAreVisible(int type) { return false; }
    @Override public boolean othersDeletesAreVisible(int type) { return false; }
    @Override public boolean othersInsertsAreVisible(int type) { return false; }
    @Override public boolean updatesAreDetected(int type) { return false; }
    @Override public boolean deletesAreDetected(int type) { return false; }
    @Override public boolean insertsAreDetected(int type) { return false; }

    /** Values are read whole; nothing is a locator. */
    @Override
    public boolean locatorsUpdateCopy() {
        return false;
    }

    /** States are reported as SQL:2003 (ODBC 3) ones: ODBC 2's S1xxx become HYxxx. */
    @Override
    public int getSQLStateType() {
        return sqlStateSQL;
    }

    @Override
    public RowIdLifetime getRowIdLifetime() {
        return RowIdLifetime.ROWID_UNSUPPORTED;
    }

    @Override
    public boolean supportsRefCursors() {
        return false;
    }

    @Override
    public boolean supportsSharding() {
        return false;
    }

    @Override
    public long getMaxLogicalLobSize() {
        return 0;
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
