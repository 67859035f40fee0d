package com.quorvane.jdbc.example;

import com.quorvane.jdbc.JdbcOdbcBoundCol;
import com.quorvane.jdbc.JdbcOdbcClient;
import com.quorvane.jdbc.RetVal;

import java.math.BigDecimal;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Instant;
import java.util.ArrayList;
import java.util.List;

/**
 * Runs one SQL statement through the native library, as the driver's Java side
 * does, and prints its result set as a table, its update count, or the
 * diagnostics of a failure.
 *
 * <pre>
 * java -Djava.library.path=build -cp build/java/classes:build/java/example \
 *      com.quorvane.jdbc.example.Query [connection-string] [sql]
 * </pre>
 *
 * Without a connection string it creates a SQLite database with a sample table
 * in a temporary folder; without SQL it selects that table.
 */
public final class Query {
    static final String SQLITE_DRIVER = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
    static final String SAMPLE_SELECT = "SELECT id, name, price, ratio, born, seen, note FROM sample ORDER BY id";

    // ODBC values the program uses.
    static final int SQL_DROP = 1, SQL_UNBIND = 2, SQL_COLUMN_LABEL = 18;
    static final int C_CHAR = 1, C_WCHAR = -8, C_BINARY = -2, C_SSHORT = -15, C_SLONG = -16, C_SBIGINT = -25;
    static final int C_FLOAT = 7, C_DOUBLE = 8, C_DATE = 9, C_TIME = 10, C_TIMESTAMP = 11;
    static final int DRIVER_TIMESTAMP_TZ = -390;
    static final byte NULL_VALUE = -1, DOES_NOT_FIT = -97;

    private final JdbcOdbcClient odbc = new JdbcOdbcClient();
    private final byte[] ec = new byte[2];
    private int hEnv, hDbc;

    private Query() {}

    public static void main(String[] args) throws Exception {
        Query q = new Query();
        String connStr = args.length > 0 && !args[0].isEmpty() && !args[0].equals("-") ? args[0] : null;
        String sql = args.length > 1 ? args[1] : SAMPLE_SELECT;
        boolean ok;
        try {
            ok = q.run(connStr, sql);
        } finally {
            q.close();
        }
        if (!ok) System.exit(1);
    }

    private boolean run(String connStr, String sql) throws Exception {
        odbc.initIDs();
        System.out.println("qvJdbcCS70 " + odbc.getFullZirUrorVersion());
        hEnv = odbc.allocEnv(ec);
        hDbc = odbc.allocConnect(hEnv, ec);
        boolean sample = connStr == null;
        if (sample) {
            Path dir = Files.createTempDirectory("qvjdbc-example");
            dir.toFile().deleteOnExit();
            dir.resolve("sample.db").toFile().deleteOnExit();
            connStr = "Driver=" + SQLITE_DRIVER + ";Database=" + dir.resolve("sample.db") + ";";
        }
        System.out.println("connecting: " + connStr);
        odbc.driverConnect(hDbc, text(connStr), ec);
        if (failed()) return report("connect", 0);
        if (sample) {
            for (String s : sampleData()) {
                if (!execute(s, true)) return false;
            }
        }
        System.out.println("sql: " + sql);
        System.out.println();
        return execute(sql, false);
    }

    /** Runs one statement and prints what it produced (only failures when quiet). */
    private boolean execute(String sql, boolean quiet) {
        int hStmt = odbc.allocStmt(hDbc, ec);
        try {
            if (odbc.execDirect(hStmt, sql) == 255) return report(sql, hStmt);
            int numCols = odbc.numResultCols(hStmt, ec);
            if (numCols == 0) {
                if (!quiet) System.out.println(odbc.rowCount(hStmt, ec) + " row(s) affected");
                return true;
            }
            return printResult(hStmt, numCols);
        } finally {
            odbc.freeStmt(hStmt, SQL_DROP);
        }
    }

    private boolean printResult(int hStmt, int numCols) {
        int[] sqlTypes = new int[numCols], driverTypes = new int[numCols], lengths = new int[numCols];
        int[] cTypes = new int[numCols];
        int boundCols = odbc.allocAndBindAllCols(0, hStmt, sqlTypes, driverTypes, lengths, cTypes, ec, numCols);
        if (boundCols == 0) return report("binding the columns", hStmt);
        try {
            List<String> header = new ArrayList<>();
            for (int c = 1; c <= numCols; c++) {
                byte[] name = new byte[256];
                odbc.colAttributesString(hStmt, c, SQL_COLUMN_LABEL, name);
                header.add(zeroTerminated(name));
            }
            JdbcOdbcBoundCol[] cols = new JdbcOdbcBoundCol[numCols];
            for (int i = 0; i < numCols; i++) cols[i] = new JdbcOdbcBoundCol();
            List<List<String>> rows = new ArrayList<>();
            for (;;) {
                int rc = odbc.fetch(hStmt, boundCols, cols, numCols);
                if (rc == 100) break;
                if (rc != 0 && rc != 1) return report("fetch", hStmt);
                List<String> row = new ArrayList<>();
                for (int c = 1; c <= numCols; c++) {
                    JdbcOdbcBoundCol col = cols[c - 1];
                    row.add(value(hStmt, boundCols, c, cTypes[c - 1], sqlTypes[c - 1], driverTypes[c - 1], col));
                    col.clearCache();
                }
                rows.add(row);
            }
            printTable(header, rows);
            return true;
        } finally {
            odbc.freeStmt(hStmt, SQL_UNBIND);
            odbc.freeBoundColBuffers(boundCols, numCols);
        }
    }

    /** One column of the current row as text ("NULL" for a null). */
    private String value(int hStmt, int boundCols, int c, int cType, int sqlType, int driverType,
            JdbcOdbcBoundCol col) {
        if (col.hasCachedValue) {
            if (col.cachedNull) return "NULL";
            switch (cType) {
            case C_SSHORT: return Short.toString(col.cachedShort);
            case C_SLONG: return Integer.toString(col.cachedInt);
            case C_SBIGINT: return Long.toString(col.cachedLong);
            case C_FLOAT: return Float.toString(col.cachedReal);
            case C_DOUBLE: return Double.toString(col.cachedDouble);
            default: break;
            }
        }
        // The value's length as the fetch reported it (also when the bound
        // buffer holds it only in part).
        int length = odbc.getDataLength(boundCols, ec, c);
        if (length == -1) return "NULL";
        int[] v = new int[7];
        switch (cType) {
        case C_SSHORT: return Short.toString(odbc.getShort(boundCols, ec, c));
        case C_SLONG: return Integer.toString(odbc.getInteger(boundCols, ec, c));
        case C_SBIGINT: return Long.toString(odbc.getLong(boundCols, ec, c));
        case C_FLOAT: return Float.toString(odbc.getFloat(boundCols, ec, c));
        case C_DOUBLE: return Double.toString(odbc.getDouble(boundCols, ec, c));
        case C_DATE:
            odbc.getDate(boundCols, ec, c, v);
            return String.format("%04d-%02d-%02d", v[0], v[1], v[2]);
        case C_TIME:
            odbc.getTime(boundCols, ec, c, v);
            return String.format("%02d:%02d:%02d", v[0], v[1], v[2]);
        case C_TIMESTAMP:
            odbc.getTimestamp(boundCols, ec, c, v);
            String ts = String.format("%04d-%02d-%02d %02d:%02d:%02d", v[0], v[1], v[2], v[3], v[4], v[5]);
            return v[6] == 0 ? ts : ts + String.format(".%09d", v[6]).replaceAll("0+$", "");
        case C_CHAR:
            try {
                BigDecimal d = odbc.getBigDecimal(boundCols, c);
                return d == null ? "NULL" : d.toPlainString();
            } catch (Exception e) {  // the assignment error (a java.sql.SQLException)
                return readText(hStmt, boundCols, c, sqlType, length);  // held only in part: read it whole
            }
        case C_WCHAR: {
            RetVal r = new RetVal();
            odbc.getString(boundCols, c, r, C_WCHAR);
            if (r.err1 == NULL_VALUE) return "NULL";
            if (r.err1 == DOES_NOT_FIT || r.obj == null) return readText(hStmt, boundCols, c, sqlType, length);
            return (String) r.obj;
        }
        case C_BINARY: {
            if (driverType == DRIVER_TIMESTAMP_TZ) {
                long micros = odbc.getTimestampRaw(boundCols, ec, c);
                return Instant.EPOCH.plusNanos(micros * 1000).toString();
            }
            byte[] b = new byte[Math.max(0, length)];
            odbc.getBytes(boundCols, b, ec, c);
            if (ec[1] == DOES_NOT_FIT) {
                b = new byte[b.length];
                odbc.getDataBinary(hStmt, boundCols, c, C_BINARY, b, b.length, ec);
            }
            StringBuilder hex = new StringBuilder("0x");
            for (byte x : b) hex.append(String.format("%02X", x & 0xFF));
            return hex.toString();
        }
        default: return "?";
        }
    }

    /**
     * A text read whole with SQLGetData. Its buffer counts bytes: a value of
     * `length` bytes (as the fetch reported it) fits a buffer of that length.
     */
    private String readText(int hStmt, int boundCols, int c, int sqlType, int length) {
        char[] buf = new char[length >= 0 ? length + 8 : 1 << 22];
        int n = odbc.getDataString(hStmt, boundCols, c, buf, ec, sqlType);
        if (ec[1] == NULL_VALUE) return "NULL";
        if (ec[1] != 0) return "<not read: " + ec[1] + ">";
        return new String(buf, 0, Math.max(n, 0));
    }

    private void printTable(List<String> header, List<List<String>> rows) {
        int[] width = new int[header.size()];
        for (int i = 0; i < width.length; i++) width[i] = display(header.get(i));
        for (List<String> r : rows)
            for (int i = 0; i < width.length; i++) width[i] = Math.max(width[i], Math.min(display(r.get(i)), 40));
        StringBuilder line = new StringBuilder("+");
        for (int w : width) line.append("-".repeat(w + 2)).append('+');
        System.out.println(line);
        System.out.println(format(header, width));
        System.out.println(line);
        for (List<String> r : rows) System.out.println(format(r, width));
        System.out.println(line);
        System.out.println("(" + rows.size() + (rows.size() == 1 ? " row)" : " rows)"));
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

    /** Prints every diagnostic record of the handles; returns false. */
    private boolean report(String what, int hStmt) {
        System.out.println("failed: " + what);
        for (int i = 0; i < 10; i++) {
            byte[] state = new byte[6], msg = new byte[1024];
            int nativeError = odbc.error(hEnv, hDbc, hStmt, state, msg, ec);
            if (ec[0] != 0 && ec[0] != 1) break;
            System.out.println("  [" + zeroTerminated(state) + "] (" + nativeError + ") " + zeroTerminated(msg));
        }
        return false;
    }

    private boolean failed() { return ec[0] != 0 && ec[0] != 1; }

    private void close() {
        if (hDbc != 0) {
            odbc.disconnect(hDbc, ec);
            odbc.freeConnect(hDbc, ec);
        }
        if (hEnv != 0) odbc.freeEnv(hEnv, ec);
    }

    private static byte[] text(String s) {
        byte[] b = s.getBytes(StandardCharsets.UTF_8);
        byte[] z = new byte[b.length + 1];
        System.arraycopy(b, 0, z, 0, b.length);
        return z;
    }

    private static String zeroTerminated(byte[] b) {
        int n = 0;
        while (n < b.length && b[n] != 0) n++;
        return new String(b, 0, n, StandardCharsets.UTF_8);
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
