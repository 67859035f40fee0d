package com.quorvane.jdbc.example;

import java.sql.Connection;
import java.sql.DriverManager;
import java.sql.ResultSet;
import java.sql.ResultSetMetaData;
import java.sql.SQLException;
import java.sql.Statement;
import java.sql.Types;
import java.util.ArrayList;
import java.util.List;
import java.util.Properties;

/**
 * Runs one SQL statement through JDBC and prints its result set as a table,
 * its update count, or the failure with its SQLSTATE. It uses java.sql only:
 * the driver comes from the jar on the class path.
 *
 * <pre>
 * java -cp build/quorvane-jdbc.jar:build/java/example com.quorvane.jdbc.example.Query [url] [sql]
 * </pre>
 *
 * Without a URL it opens the embedded default ({@code jdbc:quorvane:}, a SQLite
 * database in memory) and fills a sample table; without SQL it selects that
 * table. A URL may also be given as a bare ODBC connection string.
 *
 * <p>The user name comes from the environment variable {@code QUORVANE_USER},
 * the password from {@code QUORVANE_PASSWORD}, or, when a user is set without
 * it and a terminal is attached, from a prompt that does not echo it. Neither
 * belongs on the command line (other users of the machine see it there). The
 * program never prints the password: the URL it shows has the values of
 * {@code PWD} and {@code Password} replaced by {@code ***}.
 */
public final class Query {
    static final String SAMPLE_SELECT = "SELECT id, name, price, ratio, born, seen, note FROM sample ORDER BY id";

    private Query() {}

    public static void main(String[] args) {
        String url = args.length > 0 && !args[0].isEmpty() && !args[0].equals("-") ? args[0] : "jdbc:quorvane:";
        if (!url.startsWith("jdbc:")) url = "jdbc:quorvane:" + url;
        boolean sample = url.equals("jdbc:quorvane:");
        String sql = args.length > 1 ? args[1] : SAMPLE_SELECT;
        Properties credentials = new Properties();
        String user = System.getenv("QUORVANE_USER");
        String password = System.getenv("QUORVANE_PASSWORD");
        if (user != null && !user.isEmpty()) {
            credentials.setProperty("user", user);
            if (password == null && System.console() != null) {
                char[] typed = System.console().readPassword("password for %s: ", user);
                if (typed != null) password = new String(typed);
            }
        }
        if (password != null) credentials.setProperty("password", password);
        try (Connection c = DriverManager.getConnection(url, credentials)) {
            var md = c.getMetaData();
            System.out.println(md.getDriverName() + " " + md.getDriverVersion() + " on " + md.getDatabaseProductName()
                    + " " + md.getDatabaseProductVersion());
            System.out.println("url: " + redacted(url));
            try (Statement s = c.createStatement()) {
                if (sample) {
                    for (String d : sampleData()) s.execute(d);
                }
                System.out.println("sql: " + sql);
                System.out.println();
                if (s.execute(sql)) {
                    try (ResultSet rs = s.getResultSet()) {
                        printTable(rs);
                    }
                } else {
                    System.out.println(s.getUpdateCount() + " row(s) affected");
                }
            }
        } catch (SQLException e) {
            System.out.println("failed:");
            for (SQLException x = e; x != null; x = x.getNextException()) {
                System.out.println("  [" + x.getSQLState() + "] (" + x.getErrorCode() + ") " + x.getMessage()
                        + "  <" + x.getClass().getSimpleName() + ">");
            }
            System.exit(1);
        }
    }

    /** The URL without the values of PWD and Password (braces respected). */
    static String redacted(String url) {
        StringBuilder out = new StringBuilder();
        int i = 0;
        while (i < url.length()) {
            int end = i;
            boolean braces = false;
            while (end < url.length()) {
                char ch = url.charAt(end);
                if (braces) {
                    if (ch == '}') {
                        if (end + 1 < url.length() && url.charAt(end + 1) == '}') end++;
                        else braces = false;
                    }
                } else if (ch == '{') {
                    braces = true;
                } else if (ch == ';') {
                    break;
                }
                end++;
            }
            String part = url.substring(i, end);
            int eq = part.indexOf('=');
            String key = eq < 0 ? "" : part.substring(0, eq).trim();
            int colon = key.lastIndexOf(':');
            if (colon >= 0) key = key.substring(colon + 1);
            if (key.equalsIgnoreCase("PWD") || key.equalsIgnoreCase("Password")) part = part.substring(0, eq + 1) + "***";
            out.append(part);
            if (end < url.length()) out.append(';');
            i = end + 1;
        }
        return out.toString();
    }

    private static void printTable(ResultSet rs) throws SQLException {
        ResultSetMetaData md = rs.getMetaData();
        int n = md.getColumnCount();
        List<String> header = new ArrayList<>();
        for (int i = 1; i <= n; i++) header.add(md.getColumnLabel(i));
        List<List<String>> rows = new ArrayList<>();
        while (rs.next()) {
            List<String> row = new ArrayList<>();
            for (int i = 1; i <= n; i++) {
                Object v = md.getColumnType(i) == Types.VARBINARY || md.getColumnType(i) == Types.LONGVARBINARY
                        || md.getColumnType(i) == Types.BINARY ? hex(rs.getBytes(i)) : rs.getString(i);
                row.add(v == null ? "NULL" : v.toString());
            }
            rows.add(row);
        }
        int[] width = new int[n];
        for (int i = 0; i < n; i++) width[i] = display(header.get(i));
        for (List<String> r : rows)
            for (int i = 0; i < n; i++) width[i] = Math.max(width[i], Math.min(display(r.get(i)), 40));
        StringBuilder line = new StringBuilder("+");
        for (int w : width) line.append("-".repeat(w + 2)).append('+');
        System.out.println(line);
        System.out.println(format(header, width));
        System.out.println(line);
        for (List<String> r : rows) System.out.println(format(r, width));
        System.out.println(line);
        System.out.println("(" + rows.size() + (rows.size() == 1 ? " row)" : " rows)"));
    }

    private static String hex(byte[] b) {
        if (b == null) return null;
        StringBuilder s = new StringBuilder("0x");
        for (byte x : b) s.append(String.format("%02X", x & 0xFF));
        return s.toString();
    }

    private static String format(List<String> cells, int[] width) {
        StringBuilder b = new StringBuilder("|");
        for (int i = 0; i < width.length; i++) {
            String s = cells.get(i);
            if (display(s) > width[i]) {
                int end = 0;
                while (display(s.substring(0, s.offsetByCodePoints(end, 1))) < width[i]) end = s.offsetByCodePoints(end, 1);
                s = s.substring(0, end) + "…";
            }
            String pad = " ".repeat(Math.max(0, width[i] - display(s)));
            boolean number = !s.isEmpty() && s.matches("-?[0-9][0-9.E+-]*");
            b.append(' ').append(number ? pad + s : s + pad).append(" |");
        }
        return b.toString();
    }

    /** Terminal columns of a text: two for wide (East Asian, emoji) characters. */
    private static int display(String s) {
        return s.codePoints().map(cp -> wide(cp) ? 2 : 1).sum();
    }

    private static boolean wide(int cp) {
        return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xAC00 && cp <= 0xD7A3)
                || (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60)
                || (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1FAFF) || cp >= 0x20000;
    }

    /**
     * The sample table. Text beyond ASCII is built with char() from code points,
     * so the SQL text itself stays ASCII.
     */
    private static String[] sampleData() {
        return new String[] {
            "CREATE TABLE sample (id integer, name varchar(40), price numeric(10,2), ratio double, born date,"
                + " seen timestamp, note text)",
            "INSERT INTO sample VALUES (1, 'Caf' || char(233) || ' ' || char(8364) || ' menu', 12.5, 0.25,"
                + " '1999-12-31', '2024-02-29 13:45:07.5', 'plain ASCII')",
            "INSERT INTO sample VALUES (2, 'M' || char(252) || 'ller ' || char(128512), -0.75, 1e-10,"
                + " '2000-01-01', '2000-01-01 00:00:00', 'emoji outside the BMP: ' || char(128512))",
            "INSERT INTO sample VALUES (3, NULL, 1000000, -3.5, NULL, NULL, NULL)",
            "INSERT INTO sample VALUES (4, 'long text', 0, 0, '2024-01-01', '2024-01-01 12:00:00',"
                + " replace(hex(zeroblob(3000)), '00', 'ab'))",
        };
    }
}
