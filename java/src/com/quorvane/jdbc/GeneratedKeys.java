package com.quorvane.jdbc;

import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.sql.Types;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * The generated keys an application asked of a statement, and how the data
 * source hands them back (libruva70's information type 3002): PostgreSQL
 * through a RETURNING clause appended to INSERT, UPDATE and DELETE (as
 * pgjdbc does, names quoted as given), SQLite through
 * {@code last_insert_rowid()} on the connection after each INSERT, MariaDB
 * through {@code LAST_INSERT_ID()} after each INSERT (the first added row's
 * key, the others following it by {@code @@auto_increment_increment}, as
 * MariaDB Connector/J counts them); other data sources refuse the request.
 */
final class GeneratedKeys {
    static final int NONE = 0, RETURNING = 1, LAST_ROWID = 2, LAST_INSERT_ID = 3;
    private static final Pattern LEADING = Pattern.compile("\\A(?:\\s+|--[^\\n]*(?:\\n|\\z)|/\\*(?s:.*?)\\*/)*");
    private static final Pattern HAS_RETURNING = Pattern.compile("(?i)\\bRETURNING\\b");
    private static final Pattern INSERT_TABLE = Pattern.compile(
            "(?is)\\A(?:INSERT|REPLACE)\\s+(?:OR\\s+\\w+\\s+)?INTO\\s+(\"(?:[^\"]|\"\")+\"|\\[[^\\]]+\\]|`[^`]+`|[\\w$]+)"
            + "(?:\\s*\\.\\s*(\"(?:[^\"]|\"\")+\"|\\[[^\\]]+\\]|`[^`]+`|[\\w$]+))?");

    /** Column names asked for; null for the data source's choice. */
    final String[] names;
    /** Column positions asked for; null when not asked by position. */
    final int[] indexes;
    final int how;
    /** The statement's text after its comments and blanks, for the key kind. */
    private final String verb;
    /** The statement as it runs (with its RETURNING clause on PostgreSQL). */
    final String sql;
    /** SQLite: the label of the row id column, found at the first key. */
    private String rowidLabel;
    /** The keys of the executions since the last was started anew. */
    private final List<Object[]> rows = new ArrayList<>();
    private JdbcOdbcMemoryResultSet.Column[] columns;

    private GeneratedKeys(String sql, String[] names, int[] indexes, int how) throws SQLException {
        this.names = names;
        this.indexes = indexes;
        this.how = how;
        Matcher m = LEADING.matcher(sql);
        String body = m.lookingAt() ? sql.substring(m.end()) : sql;
        int i = 0;
        while (i < body.length() && Character.isLetter(body.charAt(i))) i++;
        this.verb = body.substring(0, i).toUpperCase(Locale.ROOT);
        if (how == NONE) throw JdbcOdbcErrors.notSupported("Generated keys on this data source");
        if (how == RETURNING) {
            if (indexes != null) throw JdbcOdbcErrors.notSupported("Generated keys by column position");
            this.sql = withReturning(sql);
        } else {
            if (names != null && names.length > 1 || indexes != null && indexes.length > 1) {
                throw JdbcOdbcErrors.notSupported("Generated keys of more than one column on this data source");
            }
            this.sql = sql;
        }
    }

    /**
     * The request of a statement: null for {@link Statement#NO_GENERATED_KEYS}
     * (the text runs unchanged).
     */
    static GeneratedKeys of(JdbcOdbcConnection conn, String sql, int flag) throws SQLException {
        if (sql == null) throw JdbcOdbcErrors.of("The SQL text is null", "HY009");
        if (flag == Statement.NO_GENERATED_KEYS) return null;
        if (flag != Statement.RETURN_GENERATED_KEYS) {
            throw JdbcOdbcErrors.of("Unknown generated-keys flag " + flag, "HY024");
        }
        return new GeneratedKeys(sql, null, null, conn.generatedKeysKind());
    }

    static GeneratedKeys of(JdbcOdbcConnection conn, String sql, String[] names) throws SQLException {
        if (sql == null) throw JdbcOdbcErrors.of("The SQL text is null", "HY009");
        if (names == null || names.length == 0) return of(conn, sql, Statement.RETURN_GENERATED_KEYS);
        for (String n : names) if (n == null) throw JdbcOdbcErrors.of("A key column name is null", "HY009");
        return new GeneratedKeys(sql, names.clone(), null, conn.generatedKeysKind());
    }

    static GeneratedKeys of(JdbcOdbcConnection conn, String sql, int[] indexes) throws SQLException {
        if (sql == null) throw JdbcOdbcErrors.of("The SQL text is null", "HY009");
        if (indexes == null || indexes.length == 0) return of(conn, sql, Statement.RETURN_GENERATED_KEYS);
        return new GeneratedKeys(sql, null, indexes.clone(), conn.generatedKeysKind());
    }

    boolean changesRows() {
        return verb.equals("INSERT") || verb.equals("UPDATE") || verb.equals("DELETE");
    }

    private String withReturning(String text) {
        if (!changesRows() || HAS_RETURNING.matcher(text).find()) return text;
        int end = text.length();
        while (end > 0 && (Character.isWhitespace(text.charAt(end - 1)) || text.charAt(end - 1) == ';')) end--;
        StringBuilder b = new StringBuilder(end + 32).append(text, 0, end).append(" RETURNING ");
        if (names == null) {
            b.append('*');
        } else {
            for (int i = 0; i < names.length; i++) {
                if (i > 0) b.append(", ");
                if (names[i].equals("*")) b.append('*');
                else b.append('"').append(names[i].replace("\"", "\"\"")).append('"');
            }
        }
        return b.toString();
    }

    /** Forgets the keys of earlier executions (a new execution or batch starts). */
    void reset() {
        rows.clear();
    }

    /**
     * Takes the keys of an execution on PostgreSQL: the rows of its RETURNING
     * result, read whole. Returns their number, the execution's update count.
     */
    long takeReturned(JdbcOdbcResultSet rs) throws SQLException {
        if (columns == null) columns = JdbcOdbcMemoryResultSet.columnsOf(rs);
        long count = 0;
        while (rs.next()) {
            rows.add(JdbcOdbcMemoryResultSet.rowOf(rs));
            count++;
        }
        return count;
    }

    /** Takes the key of an execution on SQLite: the row id of the row an INSERT added. */
    void takeLastRowid(JdbcOdbcConnection conn, String text, long updateCount) throws SQLException {
        if (updateCount <= 0 || !(verb.equals("INSERT") || verb.equals("REPLACE"))) return;
        if (columns == null) {
            String label = names != null ? names[0] : rowidLabel(conn, text);
            columns = new JdbcOdbcMemoryResultSet.Column[] {JdbcOdbcMemoryResultSet.col(label, Types.BIGINT)};
        }
        try (Statement s = conn.createStatement(); ResultSet rs = s.executeQuery("SELECT last_insert_rowid()")) {
            rs.next();
            rows.add(new Object[] {rs.getLong(1)});
        }
    }

    /**
     * Before an execution on MariaDB: LAST_INSERT_ID() is set to 0, so that an
     * INSERT that numbers no row (a table without an AUTO_INCREMENT column,
     * or every key given) leaves 0 there instead of an earlier statement's key.
     */
    void beforeExecution(JdbcOdbcConnection conn) throws SQLException {
        if (how != LAST_INSERT_ID || !(verb.equals("INSERT") || verb.equals("REPLACE"))) return;
        try (Statement s = conn.createStatement(); ResultSet rs = s.executeQuery("SELECT LAST_INSERT_ID(0)")) {
            rs.next();
        }
    }

    /**
     * Takes the keys of an INSERT on MariaDB: the first added row's key and
     * one more for each other row it added, at the server's increment. An
     * INSERT that numbered no row adds no key (the server answers the 0 set
     * before it).
     */
    void takeLastInsertId(JdbcOdbcConnection conn, long updateCount) throws SQLException {
        if (updateCount <= 0 || !(verb.equals("INSERT") || verb.equals("REPLACE"))) return;
        if (columns == null) columns = new JdbcOdbcMemoryResultSet.Column[] {JdbcOdbcMemoryResultSet.col(label(), Types.BIGINT)};
        try (Statement s = conn.createStatement();
                ResultSet rs = s.executeQuery("SELECT LAST_INSERT_ID(), @@auto_increment_increment")) {
            rs.next();
            long first = rs.getLong(1), step = Math.max(1, rs.getLong(2));
            if (first == 0) return;
            for (long i = 0; i < updateCount; i++) rows.add(new Object[] {first + i * step});
        }
    }

    /** The key column's label: the name asked for, else the data source's. */
    private String label() {
        if (names != null) return names[0];
        if (how == LAST_INSERT_ID) return "insert_id";
        return rowidLabel != null ? rowidLabel : "last_insert_rowid()";
    }

    /**
     * The name of the table's row id alias (its INTEGER PRIMARY KEY column),
     * or {@code last_insert_rowid()} when the table has none or cannot be told
     * from the text.
     */
    private String rowidLabel(JdbcOdbcConnection conn, String text) throws SQLException {
        if (rowidLabel != null) return rowidLabel;
        rowidLabel = "last_insert_rowid()";
        Matcher m = LEADING.matcher(text);
        String body = m.lookingAt() ? text.substring(m.end()) : text;
        Matcher t = INSERT_TABLE.matcher(body);
        if (!t.lookingAt()) return rowidLabel;
        String pragma = t.group(2) == null ? "PRAGMA table_info(" + t.group(1) + ")"
                : "PRAGMA " + t.group(1) + ".table_info(" + t.group(2) + ")";
        String key = null;
        int keys = 0;
        try (Statement s = conn.createStatement(); ResultSet rs = s.executeQuery(pragma)) {
            while (rs.next()) {
                if (rs.getInt("pk") > 0) {
                    keys++;
                    if ("INTEGER".equalsIgnoreCase(rs.getString("type"))) key = rs.getString("name");
                }
            }
        } catch (SQLException e) {
            return rowidLabel;
        }
        if (keys == 1 && key != null) rowidLabel = key;
        return rowidLabel;
    }

    /** The keys taken since the last reset, as a result set of their own. */
    ResultSet resultSet() {
        JdbcOdbcMemoryResultSet.Column[] c = columns;
        if (c == null) {
            if (how == LAST_ROWID || how == LAST_INSERT_ID) {
                c = new JdbcOdbcMemoryResultSet.Column[] {JdbcOdbcMemoryResultSet.col(label(), Types.BIGINT)};
            } else {
                c = new JdbcOdbcMemoryResultSet.Column[0];
            }
        }
        return new JdbcOdbcMemoryResultSet(c, new ArrayList<>(rows));
    }
}
