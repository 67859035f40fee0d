package com.quorvane.jdbc;

import java.sql.DatabaseMetaData;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Types;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;

/**
 * Where the held rows of an updatable statement's result are written: the
 * one table a query reads (no join, union, grouping or DISTINCT), the result
 * columns that are columns of it (by label), and its primary key, every
 * column of which the query must select (as pgjdbc requires). Rows are
 * written with UPDATE, INSERT and DELETE statements that name the row by its
 * key, and read back with the query's own select list, so a held row always
 * shows what the table holds. A write that changes no row is an error: the
 * row was deleted or its key changed since it was read.
 */
final class UpdatableRows {
    private final JdbcOdbcConnection conn;
    /** The table as the query wrote it, then its alias as written (or ""). */
    private final String table;
    private final String alias;
    /** The query's select list, as written. */
    private final String selectList;
    /** Per result column: the table column it is, quoted, or null. */
    private final String[] columns;
    /** The result columns (0-based) of the key, in key order. */
    private final int[] key;
    /** Per result column: its JDBC type (for NULL values). */
    private final int[] types;

    private UpdatableRows(JdbcOdbcConnection conn, String table, String alias, String selectList, String[] columns,
            int[] key, int[] types) {
        this.conn = conn;
        this.table = table;
        this.alias = alias;
        this.selectList = selectList;
        this.columns = columns;
        this.key = key;
        this.types = types;
    }

    /** The reason a result cannot be updated, as {@link #plan} finds it. */
    static final class NotUpdatable extends Exception {
        private static final long serialVersionUID = 1L;

        NotUpdatable(String reason) {
            super(reason, null, false, false);
        }
    }

    /** Whether a result column is a column of the table. */
    boolean isColumn(int i) {
        return columns[i] != null;
    }

    /** The table's name as the query wrote it. */
    String table() {
        return table;
    }

    // ---------------------------------------------------------------- planning

    /**
     * Finds the table, columns and key of a query's result, or says why its
     * rows cannot be written back.
     */
    static UpdatableRows plan(JdbcOdbcConnection conn, String sql, String[] labels, int[] types)
            throws SQLException, NotUpdatable {
        Query q = Query.parse(sql);
        DatabaseMetaData md = conn.getMetaData();
        String quote = md.getIdentifierQuoteString();
        if (quote == null || quote.isBlank()) quote = "";
        String esc = md.getSearchStringEscape();
        List<String> tableColumns = null;
        String[] where = null;
        for (String[] candidate : q.nameCandidates()) {
            tableColumns = columnsOf(md, candidate, esc);
            if (!tableColumns.isEmpty()) {
                where = candidate;
                break;
            }
        }
        if (where == null) throw new NotUpdatable("the table " + q.table + " was not found in the catalog");
        String[] cols = new String[labels.length];
        for (int i = 0; i < labels.length; i++) {
            String name = match(tableColumns, labels[i]);
            if (name != null) cols[i] = quote + name.replace(quote.isEmpty() ? "\0" : quote, quote + quote) + quote;
        }
        List<String> keyNames = new ArrayList<>();
        List<Short> seqs = new ArrayList<>();
        try (ResultSet pk = md.getPrimaryKeys(where[0], where[1], where[2])) {
            while (pk.next()) {
                if (!where[2].equals(pk.getString("TABLE_NAME"))) continue;
                keyNames.add(pk.getString("COLUMN_NAME"));
                seqs.add(pk.getShort("KEY_SEQ"));
            }
        }
        if (keyNames.isEmpty()) throw new NotUpdatable("the table " + q.table + " has no primary key");
        int[] key = new int[keyNames.size()];
        for (int k = 0; k < key.length; k++) {
            int pos = seqs.indexOf((short) (k + 1));
            String name = keyNames.get(pos < 0 ? k : pos);
            key[k] = -1;
            for (int i = 0; i < labels.length && key[k] < 0; i++) {
                if (cols[i] != null && name.equals(match(tableColumns, labels[i]))) key[k] = i;
            }
            if (key[k] < 0) {
                throw new NotUpdatable("the query does not select the column " + name + " of the primary key of "
                        + q.table);
            }
        }
        return new UpdatableRows(conn, q.table, q.alias, q.selectList, cols, key, types.clone());
    }

    /** The columns of a table named by catalog, schema and name (exact), in their order. */
    private static List<String> columnsOf(DatabaseMetaData md, String[] name, String esc) throws SQLException {
        List<String> out = new ArrayList<>();
        String pattern = esc == null || esc.isEmpty() ? name[2]
                : name[2].replace(esc, esc + esc).replace("_", esc + "_").replace("%", esc + "%");
        try (ResultSet rs = md.getColumns(name[0], name[1], pattern, "%")) {
            while (rs.next()) {
                if (name[2].equals(rs.getString("TABLE_NAME"))) out.add(rs.getString("COLUMN_NAME"));
            }
        }
        return out;
    }

    /** The table column a label names: the same name, else the one name equal to it ignoring case. */
    private static String match(List<String> tableColumns, String label) {
        if (label == null) return null;
        if (tableColumns.contains(label)) return label;
        String found = null;
        for (String c : tableColumns) {
            if (c.equalsIgnoreCase(label)) {
                if (found != null) return null;
                found = c;
            }
        }
        return found;
    }

    // ---------------------------------------------------------------- writing

    /**
     * Writes the changed columns of a held row; returns the row as the table
     * now holds it.
     */
    Object[] update(Object[] row, Object[] values, int[] valueTypes, boolean[] changed) throws SQLException {
        StringBuilder sql = new StringBuilder("UPDATE ").append(table).append(" SET ");
        int n = 0;
        for (int i = 0; i < columns.length; i++) {
            if (!changed[i]) continue;
            if (n++ > 0) sql.append(", ");
            sql.append(columns[i]).append(" = ?");
        }
        if (n == 0) return row;
        appendKey(sql);
        try (PreparedStatement ps = conn.prepareStatement(sql.toString())) {
            int p = 1;
            for (int i = 0; i < columns.length; i++) {
                if (changed[i]) bind(ps, p++, values[i], valueTypes[i], i);
            }
            bindKey(ps, p, row);
            expectOneRow(ps.executeUpdate(), "updated");
        }
        Object[] keyNow = row.clone();
        int[] keyTypes = new int[columns.length];
        java.util.Arrays.fill(keyTypes, Types.OTHER);
        for (int k : key) {
            if (changed[k]) {
                keyNow[k] = values[k];
                keyTypes[k] = valueTypes[k];
            }
        }
        Object[] now = reread(keyNow, keyTypes);
        if (now == null) throw gone("updated");
        return now;
    }

    /**
     * Adds a row with the columns set on the insert row; returns it as the
     * table holds it, or null when its key cannot be known (a generated key on a
     * data source that does not hand keys back).
     */
    Object[] insert(Object[] values, int[] valueTypes, boolean[] changed) throws SQLException {
        StringBuilder sql = new StringBuilder("INSERT INTO ").append(table).append(" (");
        StringBuilder marks = new StringBuilder();
        int n = 0;
        for (int i = 0; i < columns.length; i++) {
            if (!changed[i]) continue;
            if (n++ > 0) {
                sql.append(", ");
                marks.append(", ");
            }
            sql.append(columns[i]);
            marks.append('?');
        }
        if (n == 0) throw JdbcOdbcErrors.of("No column of the insert row was set", "HY000");
        sql.append(") VALUES (").append(marks).append(')');
        boolean keyGiven = true;
        for (int k : key) keyGiven &= changed[k];
        boolean askKeys = !keyGiven && conn.getMetaData().supportsGetGeneratedKeys();
        Object[] keyRow = values.clone();
        try (PreparedStatement ps = askKeys ? conn.prepareStatement(sql.toString(), keyLabels())
                : conn.prepareStatement(sql.toString())) {
            int p = 1;
            for (int i = 0; i < columns.length; i++) {
                if (changed[i]) bind(ps, p++, values[i], valueTypes[i], i);
            }
            expectOneRow(ps.executeUpdate(), "inserted");
            if (!keyGiven) {
                if (!askKeys) return null;
                try (ResultSet keys = ps.getGeneratedKeys()) {
                    if (!keys.next()) return null;
                    for (int k = 0; k < key.length; k++) {
                        keyRow[key[k]] = keys.getObject(key.length == 1 ? 1 : k + 1);
                    }
                }
            }
        }
        int[] keyTypes = valueTypes.clone();
        for (int k : key) {
            if (!changed[k]) keyTypes[k] = Types.OTHER;
        }
        return reread(keyRow, keyTypes);
    }

    /** Deletes a held row by its key. */
    void delete(Object[] row) throws SQLException {
        StringBuilder sql = new StringBuilder("DELETE FROM ").append(table);
        appendKey(sql);
        try (PreparedStatement ps = conn.prepareStatement(sql.toString())) {
            bindKey(ps, 1, row);
            expectOneRow(ps.executeUpdate(), "deleted");
        }
    }

    /** The row as the table holds it now, or null when it is gone. */
    Object[] refresh(Object[] row) throws SQLException {
        int[] keyTypes = new int[columns.length];
        java.util.Arrays.fill(keyTypes, Types.OTHER);
        return reread(row, keyTypes);
    }

    /** Reads one row by its key with the query's select list. */
    private Object[] reread(Object[] row, int[] keyTypes) throws SQLException {
        StringBuilder sql = new StringBuilder("SELECT ").append(selectList).append(" FROM ").append(table);
        if (!alias.isEmpty()) sql.append(' ').append(alias);
        appendKey(sql);
        try (PreparedStatement ps = conn.prepareStatement(sql.toString(), ResultSet.TYPE_SCROLL_INSENSITIVE,
                ResultSet.CONCUR_READ_ONLY)) {
            int p = 1;
            for (int k : key) bind(ps, p++, row[k], keyTypes[k], k);
            try (ResultSet rs = ps.executeQuery()) {
                List<Object[]> held = rs.unwrap(JdbcOdbcMemoryResultSet.class).rows();
                return held.size() == 1 ? held.get(0) : null;
            }
        }
    }

    private void appendKey(StringBuilder sql) {
        sql.append(" WHERE ");
        for (int k = 0; k < key.length; k++) {
            if (k > 0) sql.append(" AND ");
            sql.append(columns[key[k]]).append(" = ?");
        }
    }

    private void bindKey(PreparedStatement ps, int first, Object[] row) throws SQLException {
        for (int k = 0; k < key.length; k++) bind(ps, first + k, row[key[k]], Types.OTHER, key[k]);
    }

    private void bind(PreparedStatement ps, int p, Object v, int sqlType, int column) throws SQLException {
        if (v == null) ps.setNull(p, sqlType == Types.NULL || sqlType == Types.OTHER ? types[column] : sqlType);
        else ps.setObject(p, v);
    }

    /** The key's column names as a generated-keys request names them (unquoted). */
    private String[] keyLabels() {
        String[] out = new String[key.length];
        for (int k = 0; k < key.length; k++) {
            String q = columns[key[k]];
            out[k] = q.length() >= 2 && !Character.isLetterOrDigit(q.charAt(0)) && q.charAt(0) != '_'
                    ? q.substring(1, q.length() - 1) : q;
        }
        return out;
    }

    private static void expectOneRow(int count, String what) throws SQLException {
        if (count != 1) throw gone(what);
    }

    private static SQLException gone(String what) {
        return JdbcOdbcErrors.of("The row was not " + what + ": the table holds no row with its key (it was deleted"
                + " or its key changed since it was read)", "24000");
    }

    // ---------------------------------------------------------------- the query's text

    /** A query over one table: its select list, the table and alias as written. */
    static final class Query {
        String selectList;
        String table;
        String alias = "";
        /** The table's name in parts (unquoted when quoted, as written otherwise). */
        final List<String> parts = new ArrayList<>();
        final List<Boolean> quoted = new ArrayList<>();

        /** Catalog, schema and table names to look the table up by, most likely first. */
        List<String[]> nameCandidates() {
            List<String[]> out = new ArrayList<>();
            String[][] forms = new String[parts.size()][];
            for (int i = 0; i < parts.size(); i++) {
                String p = parts.get(i);
                forms[i] = quoted.get(i) ? new String[] {p}
                        : new String[] {p, p.toLowerCase(Locale.ROOT), p.toUpperCase(Locale.ROOT)};
            }
            for (int f = 0; f < 3; f++) {
                String[] n = new String[parts.size()];
                for (int i = 0; i < n.length; i++) n[i] = forms[i][Math.min(f, forms[i].length - 1)];
                if (n.length == 1) {
                    out.add(new String[] {null, null, n[0]});
                } else if (n.length == 2) {
                    out.add(new String[] {null, n[0], n[1]});
                    out.add(new String[] {n[0], null, n[1]});
                } else {
                    out.add(new String[] {n[0], n[1], n[2]});
                }
            }
            return out;
        }

        private static final java.util.Set<String> REFUSED = java.util.Set.of("DISTINCT", "GROUP", "HAVING", "UNION",
                "INTERSECT", "EXCEPT", "JOIN", "NATURAL", "CROSS", "INNER", "LEFT", "RIGHT", "FULL", "WINDOW");
        private static final java.util.Set<String> ENDS = java.util.Set.of("WHERE", "ORDER", "LIMIT", "OFFSET", "FOR",
                "FETCH");

        /** Reads {@code SELECT list FROM table [[AS] alias] [WHERE ...|ORDER BY ...|LIMIT ...|FOR ...]}. */
        static Query parse(String sql) throws NotUpdatable {
            List<int[]> tokens = tokens(sql);
            if (tokens.isEmpty() || !word(sql, tokens.get(0)).equals("SELECT")) {
                throw new NotUpdatable("the query is not a SELECT over one table");
            }
            int from = -1;
            for (int t = 1; t < tokens.size(); t++) {
                int[] tok = tokens.get(t);
                if (tok[2] != 0) continue;
                String w = word(sql, tok);
                if (REFUSED.contains(w) || w.equals(";")) {
                    throw new NotUpdatable("the query reads more than one table's rows as they are (" + w + ")");
                }
                if (w.equals("FROM") && from < 0) from = t;
            }
            if (from < 0 || from + 1 >= tokens.size()) throw new NotUpdatable("the query reads no table");
            Query q = new Query();
            q.selectList = sql.substring(tokens.get(0)[1], tokens.get(from)[0]).trim();
            int t = from + 1;
            int start = tokens.get(t)[0];
            while (true) {
                int[] tok = tokens.get(t);
                char c = sql.charAt(tok[0]);
                boolean isQuoted = c == '"' || c == '`' || c == '[';
                if (!isQuoted && !isWordStart(c)) throw new NotUpdatable("the query does not read a plain table");
                String text = sql.substring(tok[0], tok[1]);
                q.parts.add(isQuoted ? unquote(text) : text);
                q.quoted.add(isQuoted);
                t++;
                if (t < tokens.size() && sql.charAt(tokens.get(t)[0]) == '.' && q.parts.size() < 3
                        && t + 1 < tokens.size()) {
                    t++;
                    continue;
                }
                break;
            }
            q.table = sql.substring(start, tokens.get(t - 1)[1]);
            if (t < tokens.size()) {
                String w = word(sql, tokens.get(t));
                if (!ENDS.contains(w)) {
                    int aliasStart = t;
                    if (w.equals("AS")) t++;
                    if (t >= tokens.size()) throw new NotUpdatable("the query does not read a plain table");
                    char c = sql.charAt(tokens.get(t)[0]);
                    if (!isWordStart(c) && c != '"' && c != '`') {
                        throw new NotUpdatable("the query reads more than one table or a table function");
                    }
                    q.alias = sql.substring(tokens.get(aliasStart)[0], tokens.get(t)[1]);
                    t++;
                }
                if (t < tokens.size() && !ENDS.contains(word(sql, tokens.get(t)))) {
                    throw new NotUpdatable("the query reads more than one table or a table function");
                }
            }
            return q;
        }

        private static boolean isWordStart(char c) {
            return Character.isLetter(c) || c == '_';
        }

        private static String unquote(String text) {
            char open = text.charAt(0);
            char close = open == '[' ? ']' : open;
            String inner = text.substring(1, text.length() - 1);
            return inner.replace("" + close + close, "" + close);
        }

        /** A token's text in upper case (a keyword), or its punctuation. */
        private static String word(String sql, int[] tok) {
            return sql.substring(tok[0], tok[1]).toUpperCase(Locale.ROOT);
        }

        /**
         * The tokens of a text: {start, end, depth} for words, quoted names,
         * literals and punctuation, with comments and white space skipped.
         */
        static List<int[]> tokens(String sql) throws NotUpdatable {
            List<int[]> out = new ArrayList<>();
            int depth = 0;
            int i = 0;
            int n = sql.length();
            while (i < n) {
                char c = sql.charAt(i);
                if (Character.isWhitespace(c)) {
                    i++;
                } else if (c == '-' && i + 1 < n && sql.charAt(i + 1) == '-') {
                    while (i < n && sql.charAt(i) != '\n') i++;
                } else if (c == '/' && i + 1 < n && sql.charAt(i + 1) == '*') {
                    int e = sql.indexOf("*/", i + 2);
                    if (e < 0) throw new NotUpdatable("the query's text ends inside a comment");
                    i = e + 2;
                } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
                    char close = c == '[' ? ']' : c;
                    int j = i + 1;
                    while (true) {
                        if (j >= n) throw new NotUpdatable("the query's text ends inside quotes");
                        if (sql.charAt(j) == close) {
                            if (j + 1 < n && sql.charAt(j + 1) == close && close != ']') {
                                j += 2;
                                continue;
                            }
                            break;
                        }
                        j++;
                    }
                    out.add(new int[] {i, j + 1, depth});
                    i = j + 1;
                } else if (isWordStart(c) || Character.isDigit(c) || c == '$') {
                    int j = i + 1;
                    while (j < n && (Character.isLetterOrDigit(sql.charAt(j)) || sql.charAt(j) == '_'
                            || sql.charAt(j) == '$')) {
                        j++;
                    }
                    out.add(new int[] {i, j, depth});
                    i = j;
                } else {
                    if (c == ')') depth--;
                    out.add(new int[] {i, i + 1, c == '(' ? depth : depth});
                    if (c == '(') depth++;
                    i++;
                }
            }
            // A trailing semicolon ends the text; anything after it is a second statement.
            if (!out.isEmpty() && sql.charAt(out.get(out.size() - 1)[0]) == ';') out.remove(out.size() - 1);
            return out;
        }
    }
}
