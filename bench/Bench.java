import com.quorvane.jdbc.JdbcOdbcBoundCol;
import com.quorvane.jdbc.JdbcOdbcClient;
import com.quorvane.jdbc.Perf;
import com.quorvane.jdbc.RetVal;

import java.io.BufferedReader;
import java.io.File;
import java.io.IOException;
import java.io.InputStreamReader;
import java.lang.management.ManagementFactory;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.sql.Connection;
import java.sql.DriverManager;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.TreeMap;

/**
 * The side-by-side benchmark. One program, two roles:
 *
 * <p>As a worker ({@code Bench natives-fetch ...}, {@code Bench jdbc-batch ...}, ...) it does one kind of
 * work a few times in one JVM and prints a {@code RESULT} line per repetition, as {@code odbc_bench}
 * does for raw ODBC from C: wall time, process CPU time, time spent waiting for a processor, rows and
 * the checksum of the values read or written.
 *
 * <p>As the runner ({@code Bench run ...}, started by {@code bench/run.sh}) it starts every path of a
 * piece of work as its own process, in turn (the order rotates each round), keeps the last repetition
 * of each (the earlier ones warm up), and prints medians over the rounds and the ratios to raw C and
 * to the peer driver, each ratio taken within one round. Every path must report the same checksum.
 * {@code Bench callgrind ...} counts instructions per fetched row by layer.
 */
public final class Bench {
    private Bench() {}

    static final String FETCH_SQL = "SELECT i, b, d, s FROM bench_fetch";
    static final String INSERT_SQL = "INSERT INTO bench_batch (i, b, d, s) VALUES (?, ?, ?, ?)";
    static final String BATCH_READ_SQL = "SELECT i, b, d, s FROM bench_batch";
    /** The rows of the streaming case (a table of its own, made once per run by the runner). */
    static final String STREAM_SQL = "SELECT i, b, d, s FROM bench_stream";

    static final short SQL_C_SBIGINT = -25, SQL_C_DOUBLE = 8, SQL_C_WCHAR = -8;
    static final int SQL_AUTOCOMMIT = 102, SQL_COMMIT = 0;

    static long batchInt(long r) { return r; }
    static long batchBig(long r) { return r * 3000000007L; }
    static double batchDouble(long r) { return r * 0.5 + 0.25; }
    static String batchText(long r) { return "row " + r + " \u00e9\u20ac"; }

    /** The checksum of bench_common.h: order-independent, 64-bit wrapping. */
    static final class Checksum {
        long rows, sum;
        void row(long i, long b, double d, String s) {
            long t = s == null ? -1L : 0L;
            if (s != null) for (int k = 0; k < s.length(); k++) t = t * 31 + s.charAt(k);
            sum += i + b * 3 + ((long) (d * 4)) * 5 + t * 7;
            rows++;
        }
        void add(Checksum o) { rows += o.rows; sum += o.sum; }
    }

    // ------------------------------------------------------------------
    // Figures of one repetition
    // ------------------------------------------------------------------

    static long threadWaitNs() {
        try {
            String[] f = Files.readString(Path.of("/proc/thread-self/schedstat")).trim().split("\\s+");
            return Long.parseLong(f[1]);
        } catch (IOException | RuntimeException e) {
            return 0;
        }
    }

    static long processCpuNs() {
        return ((com.sun.management.OperatingSystemMXBean) ManagementFactory.getOperatingSystemMXBean())
                .getProcessCpuTime();
    }

    static final class Sample {
        long t0, cpu0, wait0, t1, cpu1, wait1, extraWait;
        static Sample start() {
            Sample s = new Sample();
            s.wait0 = threadWaitNs();
            s.cpu0 = processCpuNs();
            s.t0 = System.nanoTime();
            return s;
        }
        Sample stop() {
            t1 = System.nanoTime();
            cpu1 = processCpuNs();
            wait1 = threadWaitNs();
            return this;
        }
        void print(long rows, long checksum) {
            System.out.printf(Locale.ROOT, "RESULT wall=%.4f cpu=%.4f wait=%.4f rows=%d checksum=%d%n",
                    (t1 - t0) / 1e9, (cpu1 - cpu0) / 1e9, (wait1 - wait0 + extraWait) / 1e9, rows, checksum);
            System.out.flush();
        }
        /** The same with the process's peak resident set so far (VmHWM, MB). */
        void printWithPeak(long rows, long checksum) {
            System.out.printf(Locale.ROOT, "RESULT wall=%.4f cpu=%.4f wait=%.4f rows=%d checksum=%d rss=%.1f%n",
                    (t1 - t0) / 1e9, (cpu1 - cpu0) / 1e9, (wait1 - wait0 + extraWait) / 1e9, rows, checksum,
                    peakRssKb() / 1024.0);
            System.out.flush();
        }
    }

    // ------------------------------------------------------------------
    // The natives
    // ------------------------------------------------------------------

    static final class Natives implements AutoCloseable {
        final JdbcOdbcClient odbc = new JdbcOdbcClient();
        final byte[] ec = new byte[2];
        final int env, dbc;

        Natives(String conn) {
            odbc.initIDs();
            env = odbc.allocEnv(ec);
            dbc = odbc.allocConnect(env, ec);
            odbc.driverConnect(dbc, (conn + "\0").getBytes(StandardCharsets.UTF_8), ec);
            check("connect");
        }

        void check(String what) {
            if (ec[0] != 0 && ec[0] != 1) throw new IllegalStateException(what + " failed: " + ec[0] + "/" + ec[1]);
        }

        /** An integer column's cached value, by the C type it is bound with (SQLite integers are 64-bit). */
        static long integer(JdbcOdbcBoundCol o, int cType) {
            return cType == SQL_C_SBIGINT ? o.cachedLong : cType == -15 ? o.cachedShort : o.cachedInt;
        }

        /** Every row of the query, every value read: numbers from the cached fields, text by getString
         * (or, with getDataString, unbound and read into a reused char[], then made a String). */
        Checksum fetch(String sql, boolean viaGetDataString) {
            int stmt = odbc.allocStmt(dbc, ec);
            short rc = odbc.execDirect(stmt, sql);
            if (rc != 0 && rc != 1) throw new IllegalStateException("execDirect " + rc);
            int n = odbc.numResultCols(stmt, ec);
            int[] sqlTypes = new int[n], driverTypes = new int[n], lengths = new int[n], cTypes = new int[n];
            int cols = odbc.allocAndBindAllCols(0, stmt, sqlTypes, driverTypes, lengths, cTypes, ec, n);
            check("allocAndBindAllCols");
            JdbcOdbcBoundCol[] objs = new JdbcOdbcBoundCol[n];
            for (int k = 0; k < n; k++) objs[k] = new JdbcOdbcBoundCol();
            Checksum sum = new Checksum();
            if (viaGetDataString) {
                int numeric = 3;
                char[] text = new char[64];
                // Only the numeric columns stay bound: text comes through SQLGetData.
                odbc.freeStmt(stmt, 2);
                odbc.justReBindAllCols(stmt, cols, numeric, ec);
                int c0 = cTypes[0], c1 = cTypes[1];
                while (odbc.fetch(stmt, cols, objs, numeric) == 0) {
                    int len = odbc.getDataString(stmt, cols, 4, text, ec, sqlTypes[3]);
                    String s = len < 0 ? null : new String(text, 0, len);
                    sum.row(integer(objs[0], c0), integer(objs[1], c1), objs[2].cachedDouble, s);
                }
            } else {
                RetVal rv = new RetVal();
                int textCType = cTypes[3], c0 = cTypes[0], c1 = cTypes[1];
                while (odbc.fetch(stmt, cols, objs, n) == 0) {
                    odbc.getString(cols, 4, rv, textCType);
                    sum.row(integer(objs[0], c0), integer(objs[1], c1), objs[2].cachedDouble, (String) rv.obj);
                }
            }
            odbc.freeStmt(stmt, 2);
            odbc.freeBoundColBuffers(cols, n);
            odbc.freeStmt(stmt, 1);
            return sum;
        }

        void exec(String sql) {
            int stmt = odbc.allocStmt(dbc, ec);
            short rc = odbc.execDirect(stmt, sql);
            odbc.freeStmt(stmt, 1);
            if (rc != 0 && rc != 1 && rc != 100) throw new IllegalStateException(sql + ": " + rc);
        }

        /** ROWS rows in one parameter array, in one transaction. */
        void batch(int rows) {
            long[] iv = new long[rows], bv = new long[rows];
            double[] dv = new double[rows];
            String[] sv = new String[rows];
            int[] eight = new int[rows];
            for (int r = 0; r < rows; r++) {
                iv[r] = batchInt(r);
                bv[r] = batchBig(r);
                dv[r] = batchDouble(r);
                sv[r] = batchText(r);
                eight[r] = 8;
            }
            odbc.setConnectOption(dbc, SQL_AUTOCOMMIT, 0, ec);
            int stmt = odbc.allocStmt(dbc, ec);
            odbc.prepare(stmt, INSERT_SQL, ec);
            check("prepare");
            int n = odbc.numParams(stmt, ec);
            short[] sqlTypes = new short[n], driverTypes = new short[n];
            int[] sizes = new int[n];
            int params = odbc.bindAllParams(stmt, sqlTypes, driverTypes, sizes, ec, n);
            check("bindAllParams");
            short[] cTypes = {SQL_C_SBIGINT, SQL_C_SBIGINT, SQL_C_DOUBLE, SQL_C_WCHAR};
            Object[] values = {iv, bv, dv, sv};
            Object[] inds = {eight, eight, eight, null};
            int[] counts = new int[rows];
            short rc = odbc.execPreparedStatementBatch(stmt, null, params, sqlTypes, n, rows, cTypes, values, inds,
                    counts);
            if ((rc & 0xFF00) != 0 || ((byte) rc != 0 && (byte) rc != 1))
                throw new IllegalStateException("batch " + Integer.toHexString(rc & 0xFFFF));
            odbc.transact(env, dbc, SQL_COMMIT);
            odbc.freeStmt(stmt, 1);
            odbc.freeBoundParams(params, n);
            odbc.setConnectOption(dbc, SQL_AUTOCOMMIT, 1, ec);
        }

        @Override
        public void close() {
            odbc.disconnect(dbc, ec);
            odbc.freeConnect(dbc, ec);
            odbc.freeEnv(env, ec);
        }
    }

    // ------------------------------------------------------------------
    // Any JDBC driver: the peers, and this driver's JDBC layer
    // ------------------------------------------------------------------

    /** The process's peak resident set (VmHWM of /proc/self/status), in kB; 0 when unknown. */
    static long peakRssKb() {
        try {
            for (String line : Files.readAllLines(Path.of("/proc/self/status"))) {
                if (line.startsWith("VmHWM:")) return Long.parseLong(line.replaceAll("[^0-9]", ""));
            }
        } catch (IOException | NumberFormatException e) {
            // not on Linux
        }
        return 0;
    }

    static Connection jdbc(String url) throws SQLException {
        return DriverManager.getConnection(url);
    }

    static Checksum jdbcFetch(Connection c, String sql) throws SQLException {
        Checksum sum = new Checksum();
        try (Statement st = c.createStatement(); ResultSet rs = st.executeQuery(sql)) {
            while (rs.next()) sum.row(rs.getLong(1), rs.getLong(2), rs.getDouble(3), rs.getString(4));
        }
        return sum;
    }

    static void jdbcBatch(Connection c, int rows) throws SQLException {
        c.setAutoCommit(false);
        try (PreparedStatement ps = c.prepareStatement(INSERT_SQL)) {
            for (int r = 0; r < rows; r++) {
                ps.setInt(1, (int) batchInt(r));
                ps.setLong(2, batchBig(r));
                ps.setDouble(3, batchDouble(r));
                ps.setString(4, batchText(r));
                ps.addBatch();
            }
            ps.executeBatch();
        }
        c.commit();
        c.setAutoCommit(true);
    }

    static void jdbcExec(Connection c, String sql) throws SQLException {
        try (Statement st = c.createStatement()) {
            st.execute(sql);
        }
    }

    // ------------------------------------------------------------------
    // Workers
    // ------------------------------------------------------------------

    interface Work {
        Checksum run() throws Exception;
    }

    static void repeat(int reps, Runnable before, Work work) throws Exception {
        for (int r = 0; r < reps; r++) {
            if (before != null) before.run();
            Sample s = Sample.start();
            Checksum sum = work.run();
            s.stop().print(sum.rows, sum.sum);
        }
    }

    /** THREADS copies of a fetch at once, one connection each. */
    static void threads(int threads, int reps, java.util.function.IntFunction<Work> perThread) throws Exception {
        for (int r = 0; r < reps; r++) {
            Checksum[] sums = new Checksum[threads];
            long[] waits = new long[threads];
            Thread[] ts = new Thread[threads];
            Throwable[] failure = new Throwable[1];
            Work[] works = new Work[threads];
            for (int t = 0; t < threads; t++) works[t] = perThread.apply(t);
            Sample s = Sample.start();
            for (int t = 0; t < threads; t++) {
                final int k = t;
                ts[t] = new Thread(() -> {
                    long w0 = threadWaitNs();
                    try {
                        sums[k] = works[k].run();
                    } catch (Throwable e) {
                        failure[0] = e;
                    }
                    waits[k] = threadWaitNs() - w0;
                });
                ts[t].start();
            }
            for (Thread t : ts) t.join();
            s.stop();
            if (failure[0] != null) throw new RuntimeException(failure[0]);
            Checksum total = new Checksum();
            for (int t = 0; t < threads; t++) {
                total.add(sums[t]);
                s.extraWait += waits[t];
            }
            s.print(total.rows, total.sum);
        }
    }

    static void worker(String mode, String[] a) throws Exception {
        switch (mode) {
            case "natives-fetch": {
                // CONN REPS [getDataString] [LIMIT]
                String sql = a.length > 3 ? FETCH_SQL + " LIMIT " + a[3] : FETCH_SQL;
                boolean viaGetData = a.length > 2 && a[2].equals("getDataString");
                try (Natives n = new Natives(a[0])) {
                    repeat(Integer.parseInt(a[1]), null, () -> n.fetch(sql, viaGetData));
                }
                break;
            }
            case "natives-batch": {
                // CONN ROWS REPS
                int rows = Integer.parseInt(a[1]);
                try (Natives n = new Natives(a[0])) {
                    repeat(Integer.parseInt(a[2]), () -> n.exec("DELETE FROM bench_batch"), () -> {
                        n.batch(rows);
                        return null;
                    }, () -> n.fetch(BATCH_READ_SQL, false));
                }
                break;
            }
            case "natives-threads": {
                // CONN THREADS REPS
                int t = Integer.parseInt(a[1]);
                Natives[] ns = new Natives[t];
                for (int k = 0; k < t; k++) ns[k] = new Natives(a[0]);
                threads(t, Integer.parseInt(a[2]), k -> () -> ns[k].fetch(FETCH_SQL, false));
                for (Natives n : ns) n.close();
                break;
            }
            case "natives-setter": {
                // CONN CALLS REPS: setInteger on a parameter already bound as an integer, against an
                // empty native call (Perf.timerRef); prints both per call.
                setter(a[0], Long.parseLong(a[1]), Integer.parseInt(a[2]));
                break;
            }
            case "jdbc-fetch": {
                // URL REPS [LIMIT]
                String sql = a.length > 2 ? FETCH_SQL + " LIMIT " + a[2] : FETCH_SQL;
                try (Connection c = connectOrSkip(a[0])) {
                    repeat(Integer.parseInt(a[1]), null, () -> jdbcFetch(c, sql));
                }
                break;
            }
            case "jdbc-batch": {
                // URL ROWS REPS
                int rows = Integer.parseInt(a[1]);
                try (Connection c = connectOrSkip(a[0])) {
                    repeat(Integer.parseInt(a[2]), () -> {
                        try {
                            jdbcExec(c, "DELETE FROM bench_batch");
                        } catch (SQLException e) {
                            throw new RuntimeException(e);
                        }
                    }, () -> {
                        jdbcBatch(c, rows);
                        return null;
                    }, () -> jdbcFetch(c, BATCH_READ_SQL));
                }
                break;
            }
            case "jdbc-threads": {
                // URL THREADS REPS
                int t = Integer.parseInt(a[1]);
                Connection[] cs = new Connection[t];
                for (int k = 0; k < t; k++) cs[k] = connectOrSkip(a[0]);
                threads(t, Integer.parseInt(a[2]), k -> () -> jdbcFetch(cs[k], FETCH_SQL));
                for (Connection c : cs) c.close();
                break;
            }
            case "jdbc-many": {
                // URL STATEMENTS REPS [run]: that many statements opened on one connection, then closed;
                // with "run" each runs a query and keeps its result open until it closes
                int n = Integer.parseInt(a[1]);
                boolean run = a.length > 3 && a[3].equals("run");
                try (Connection c = connectOrSkip(a[0])) {
                    for (int r = 0, reps = Integer.parseInt(a[2]); r < reps; r++) {
                        Statement[] all = new Statement[n];
                        Sample s = Sample.start();
                        for (int k = 0; k < n; k++) {
                            all[k] = c.createStatement();
                            if (run && !all[k].executeQuery("SELECT 1").next()) throw new IllegalStateException("no row");
                        }
                        for (Statement st : all) st.close();
                        s.stop().print(n, n);
                    }
                }
                break;
            }
            case "jdbc-stream": {
                // URL FETCH_SIZE REPS: bench_stream read forward-only in manual-commit mode with that
                // fetch size (0: whole); the peak resident set goes with each result
                int fetchSize = Integer.parseInt(a[1]);
                try (Connection c = connectOrSkip(a[0])) {
                    c.setAutoCommit(false);
                    for (int r = 0, reps = Integer.parseInt(a[2]); r < reps; r++) {
                        Sample s = Sample.start();
                        Checksum sum = new Checksum();
                        try (Statement st = c.createStatement()) {
                            st.setFetchSize(fetchSize);
                            try (ResultSet rs = st.executeQuery(STREAM_SQL)) {
                                while (rs.next()) sum.row(rs.getLong(1), rs.getLong(2), rs.getDouble(3), rs.getString(4));
                            }
                        }
                        c.commit();
                        s.stop().printWithPeak(sum.rows, sum.sum);
                    }
                }
                break;
            }
            case "jdbc-large": {
                // URL text|binary BYTES REPS: one value of that many bytes read with getString / getBytes
                boolean text = a[1].equals("text");
                long n = Long.parseLong(a[2]);
                try (Connection c = connectOrSkip(a[0])) {
                    boolean pg = c.getMetaData().getDatabaseProductName().toLowerCase(Locale.ROOT).contains("postgres");
                    jdbcExec(c, "DROP TABLE IF EXISTS bench_large");
                    jdbcExec(c, "CREATE TABLE bench_large (v " + (text ? "text" : pg ? "bytea" : "blob") + ")");
                    // n times 'a' (as text, or its bytes)
                    String value = pg ? "repeat('a', " + n + ")" : "replace(hex(zeroblob(" + n / 2 + ")), '0', 'a')";
                    if (!text) value = pg ? "convert_to(" + value + ", 'UTF8')" : "CAST(" + value + " AS blob)";
                    jdbcExec(c, "INSERT INTO bench_large SELECT " + value);
                    for (int r = 0, reps = Integer.parseInt(a[3]); r < reps; r++) {
                        Sample s = Sample.start();
                        long len = 0, sum = 0;
                        try (Statement st = c.createStatement(); ResultSet rs = st.executeQuery("SELECT v FROM bench_large")) {
                            rs.next();
                            if (text) {
                                String v = rs.getString(1);
                                len = v.length();
                                sum = v.charAt(0) + v.charAt(v.length() - 1);
                            } else {
                                byte[] v = rs.getBytes(1);
                                len = v.length;
                                sum = v[0] + v[v.length - 1];
                            }
                        }
                        s.stop().print(len, sum);
                    }
                }
                break;
            }
            default:
                throw new IllegalArgumentException("unknown mode " + mode);
        }
    }

    /** A timed write whose checksum is read back (untimed) afterwards. */
    static void repeat(int reps, Runnable before, Work write, Work readBack) throws Exception {
        for (int r = 0; r < reps; r++) {
            before.run();
            Sample s = Sample.start();
            write.run();
            s.stop();
            Checksum sum = readBack.run();
            s.print(sum.rows, sum.sum);
        }
    }

    /** A JDBC URL whose driver is not on the class path ends the worker with SKIP. */
    static Connection connectOrSkip(String url) throws SQLException {
        try {
            return jdbc(url);
        } catch (SQLException e) {
            if (e.getSQLState() != null && e.getSQLState().equals("08001") && e.getMessage().contains("suitable")) {
                System.out.println("SKIP no JDBC driver for " + url.replaceAll(":.*", ":..."));
                System.exit(0);
            }
            throw e;
        }
    }

    static void setter(String conn, long calls, int reps) throws Exception {
        try (Natives n = new Natives(conn)) {
            JdbcOdbcClient odbc = n.odbc;
            int stmt = odbc.allocStmt(n.dbc, n.ec);
            odbc.prepare(stmt, INSERT_SQL, n.ec);
            int np = odbc.numParams(stmt, n.ec);
            short[] sqlTypes = new short[np], driverTypes = new short[np];
            int[] sizes = new int[np];
            int params = odbc.bindAllParams(stmt, sqlTypes, driverTypes, sizes, n.ec, np);
            odbc.setInteger(stmt, params, 1, 1); // binds as an integer once
            for (int r = 0; r < reps; r++) {
                long t0 = System.nanoTime();
                int acc = 0;
                for (long k = 0; k < calls; k++) acc += odbc.setInteger(stmt, params, (int) k, 1);
                long t1 = System.nanoTime();
                for (long k = 0; k < calls; k++) Perf.timerRef((int) k, k);
                long t2 = System.nanoTime();
                System.out.printf(Locale.ROOT, "SETTER setInteger=%.2f empty=%.2f ns/call status=%d%n",
                        (t1 - t0) / (double) calls, (t2 - t1) / (double) calls, acc);
            }
            odbc.freeStmt(stmt, 1);
            odbc.freeBoundParams(params, np);
        }
    }

    public static void main(String[] args) throws Exception {
        if (args.length == 0) {
            System.err.println("usage: Bench run ... | Bench callgrind ... | Bench <worker mode> ...");
            System.exit(2);
        }
        String[] rest = Arrays.copyOfRange(args, 1, args.length);
        switch (args[0]) {
            case "run":
                Runner.main(rest);
                break;
            case "callgrind":
                Callgrind.main(rest);
                break;
            default:
                worker(args[0], rest);
        }
    }

    // ------------------------------------------------------------------
    // Shared by the runner and the callgrind mode
    // ------------------------------------------------------------------

    static final class Config {
        String build, sqliteFile, pgHost, pgPort, myPort, myDriver = "/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so",
                sqliteDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so",
                pgDriver = "/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so", classPath, java;
        int rounds = 5, fetchRows = 1000000, batchRows = 100000, streamRows = 5000000, streamFetchSize = 1000;
        String only = "fetch,batch,setter,threads,many,large";
        /** Statement counts of the many-statements case, and sizes (MB) of the large-value case. */
        String manyStatements = "1000,4000";
        String largeMb = "1,10,100";
        /** The heap of the streaming case's workers. */
        String streamHeap = "256m";
        /** The paths the callgrind mode counts (a comma list of raw, natives, getdata, jdbc). */
        String paths = "raw,natives,getdata,jdbc";
        /** Data sources whose work runs: "sqlite", "postgres" or both (a comma list). */
        String sources = "sqlite,postgres";

        Config(String[] args) {
            for (int i = 0; i + 1 < args.length; i += 2) {
                String v = args[i + 1];
                switch (args[i]) {
                    case "--build": build = v; break;
                    case "--sqlite": sqliteFile = v; break;
                    case "--pg-host": pgHost = v; break;
                    case "--pg-port": pgPort = v; break;
                    case "--mariadb-port": myPort = v; break;
                    case "--rounds": rounds = Integer.parseInt(v); break;
                    case "--fetch-rows": fetchRows = Integer.parseInt(v); break;
                    case "--batch-rows": batchRows = Integer.parseInt(v); break;
                    case "--only": only = v; break;
                    case "--many-statements": manyStatements = v; break;
                    case "--large-mb": largeMb = v; break;
                    case "--stream-rows": streamRows = Integer.parseInt(v); break;
                    case "--stream-fetch-size": streamFetchSize = Integer.parseInt(v); break;
                    case "--stream-heap": streamHeap = v; break;
                    case "--paths": paths = v; break;
                    case "--sources": sources = v; break;
                    case "--classpath": classPath = v; break;
                    default: throw new IllegalArgumentException("unknown option " + args[i]);
                }
            }
            java = Path.of(System.getProperty("java.home"), "bin", "java").toString();
        }

        String odbcSqlite() { return "Driver=" + sqliteDriver + ";Database=" + sqliteFile + ";"; }
        /** libruva70's own SQLite engine (no Driver attribute). */
        String engineSqlite() { return "Database=" + sqliteFile + ";"; }
        List<String> sqliteCmd(String... a) {
            List<String> c = new ArrayList<>(List.of(build + "/bench/sqlite_bench"));
            c.addAll(List.of(a));
            return c;
        }
        String odbcPg(boolean tcp) {
            return "Driver=" + pgDriver + ";Servername=" + (tcp ? "127.0.0.1" : pgHost) + ";Port=" + pgPort
                    + ";Database=qvjdbc;Uid=postgres;Pwd=;";
        }
        String pgjdbc(boolean rewrite) {
            return "jdbc:postgresql://127.0.0.1:" + pgPort + "/qvjdbc?user=postgres"
                    + (rewrite ? "&reWriteBatchedInserts=true" : "");
        }
        String sqliteJdbc() { return "jdbc:sqlite:" + sqliteFile; }
        String odbcMy() {
            return "Driver=" + myDriver + ";Server=127.0.0.1;Port=" + myPort + ";Database=qvt;UID=qvt;PWD=qvt-pass;";
        }
        String connectorJ(boolean rewrite) {
            return "jdbc:mariadb://127.0.0.1:" + myPort + "/qvt?user=qvt&password=qvt-pass"
                    + (rewrite ? "&rewriteBatchedStatements=true" : "");
        }
        String odbcBench() { return build + "/bench/odbc_bench"; }
        List<String> javaCmd(String... workerArgs) {
            List<String> c = new ArrayList<>(List.of(java, "-Xmx3g",
                    "-Djava.library.path=" + build + ":/usr/lib/x86_64-linux-gnu/jni",
                    "-Dquorvane.jdbc.library.path=" + build, "-cp", classPath, "Bench"));
            c.addAll(List.of(workerArgs));
            return c;
        }
        /** A worker with a heap of that size (the streaming case: what the driver holds shows above the heap). */
        List<String> javaCmdHeap(String heap, String... workerArgs) {
            List<String> c = javaCmd(workerArgs);
            c.set(1, "-Xmx" + heap);
            return c;
        }
        /** A worker under the heap of a small application server. */
        List<String> javaCmd384(String... workerArgs) {
            List<String> c = javaCmd(workerArgs);
            c.set(1, "-Xmx384m");
            return c;
        }
        List<String> cCmd(String... a) {
            List<String> c = new ArrayList<>(List.of(odbcBench()));
            c.addAll(List.of(a));
            return c;
        }
    }

    /** Runs a command; returns its standard output (standard error passes through). */
    static List<String> runProcess(List<String> cmd) throws IOException, InterruptedException {
        ProcessBuilder pb = new ProcessBuilder(cmd);
        pb.redirectError(ProcessBuilder.Redirect.INHERIT);
        Process p = pb.start();
        List<String> out = new ArrayList<>();
        try (BufferedReader r = new BufferedReader(new InputStreamReader(p.getInputStream(), StandardCharsets.UTF_8))) {
            for (String line; (line = r.readLine()) != null; ) out.add(line);
        }
        int rc = p.waitFor();
        if (rc != 0) throw new IOException("exit " + rc + ": " + String.join(" ", cmd));
        return out;
    }

    static double median(List<Double> v) {
        if (v.isEmpty()) return Double.NaN;
        double[] a = v.stream().mapToDouble(Double::doubleValue).sorted().toArray();
        int n = a.length;
        return n % 2 == 1 ? a[n / 2] : (a[n / 2 - 1] + a[n / 2]) / 2;
    }

    static String loadAverage() {
        try {
            return Files.readString(Path.of("/proc/loadavg")).trim().replaceAll("^(\\S+ \\S+ \\S+).*", "$1");
        } catch (IOException e) {
            return "?";
        }
    }

    // ------------------------------------------------------------------
    // The runner
    // ------------------------------------------------------------------

    enum Role { RAW, NATIVES, JDBC_LAYER, PEER, OTHER }

    static final class PathDef {
        final String label;
        final Role role;
        final List<String> cmd;
        final List<Double> wall = new ArrayList<>(), cpu = new ArrayList<>(), wait = new ArrayList<>(),
                rss = new ArrayList<>();
        final Map<Integer, Double> wallByRound = new TreeMap<>(), cpuByRound = new TreeMap<>();
        String checksum;
        boolean skipped;
        PathDef(String label, Role role, List<String> cmd) { this.label = label; this.role = role; this.cmd = cmd; }
    }

    static final class WorkDef {
        final String title;
        final List<PathDef> paths = new ArrayList<>();
        WorkDef(String title) { this.title = title; }
        WorkDef path(String label, Role role, List<String> cmd) {
            paths.add(new PathDef(label, role, cmd));
            return this;
        }
    }

    static final class Runner {
        public static void main(String[] args) throws Exception {
            Config c = new Config(args);
            List<WorkDef> works = new ArrayList<>();
            String reps = "2"; // the first warms up
            if (c.only.contains("fetch")) {
                works.add(new WorkDef("fetch " + c.fetchRows + " rows, SQLite (libruva70's engine)")
                        .path("raw C, libsqlite3", Role.RAW, c.sqliteCmd("fetch", c.sqliteFile, reps))
                        .path("natives from Java", Role.NATIVES, c.javaCmd("natives-fetch", c.engineSqlite(), reps))
                        .path("JDBC layer", Role.JDBC_LAYER, c.javaCmd("jdbc-fetch", "jdbc:quorvane:" + c.engineSqlite(), reps))
                        .path("JDBC layer, SQLite ODBC driver", Role.OTHER,
                                c.javaCmd("jdbc-fetch", "jdbc:quorvane:" + c.odbcSqlite(), reps))
                        .path("SQLite JDBC", Role.PEER, c.javaCmd("jdbc-fetch", c.sqliteJdbc(), reps)));
                works.add(new WorkDef("fetch " + c.fetchRows + " rows, PostgreSQL over TCP")
                        .path("raw C, unixODBC", Role.RAW, c.cCmd("fetch", c.odbcPg(true), reps))
                        .path("natives from Java", Role.NATIVES, c.javaCmd("natives-fetch", c.odbcPg(true), reps))
                        .path("natives, text by getDataString", Role.OTHER,
                                c.javaCmd("natives-fetch", c.odbcPg(true), reps, "getDataString"))
                        .path("JDBC layer", Role.JDBC_LAYER, c.javaCmd("jdbc-fetch", "jdbc:quorvane:" + c.odbcPg(true), reps))
                        .path("pgjdbc", Role.PEER, c.javaCmd("jdbc-fetch", c.pgjdbc(false), reps)));
                works.add(new WorkDef("fetch " + c.fetchRows + " rows, PostgreSQL over a Unix socket (peer: pgjdbc over TCP)")
                        .path("raw C, unixODBC", Role.RAW, c.cCmd("fetch", c.odbcPg(false), reps))
                        .path("natives from Java", Role.NATIVES, c.javaCmd("natives-fetch", c.odbcPg(false), reps))
                        .path("JDBC layer", Role.JDBC_LAYER, c.javaCmd("jdbc-fetch", "jdbc:quorvane:" + c.odbcPg(false), reps))
                        .path("pgjdbc", Role.PEER, c.javaCmd("jdbc-fetch", c.pgjdbc(false), reps)));
            }
            if (c.only.contains("fetch") && c.myPort != null) {
                works.add(new WorkDef("fetch " + c.fetchRows + " rows, MariaDB over TCP")
                        .path("raw C, unixODBC", Role.RAW, c.cCmd("fetch", c.odbcMy(), reps))
                        .path("natives from Java", Role.NATIVES, c.javaCmd("natives-fetch", c.odbcMy(), reps))
                        .path("JDBC layer", Role.JDBC_LAYER, c.javaCmd("jdbc-fetch", "jdbc:quorvane:" + c.odbcMy(), reps))
                        .path("MariaDB Connector/J", Role.PEER, c.javaCmd("jdbc-fetch", c.connectorJ(false), reps)));
            }
            if (c.only.contains("batch") && c.myPort != null) {
                String rows = Integer.toString(c.batchRows);
                works.add(new WorkDef("batch insert " + rows + " rows, one transaction, MariaDB over TCP")
                        .path("raw C, unixODBC", Role.RAW, c.cCmd("batch", c.odbcMy(), rows, "4"))
                        .path("natives from Java", Role.NATIVES, c.javaCmd("natives-batch", c.odbcMy(), rows, "4"))
                        .path("JDBC layer", Role.JDBC_LAYER, c.javaCmd("jdbc-batch", "jdbc:quorvane:" + c.odbcMy(), rows, "4"))
                        .path("MariaDB Connector/J", Role.PEER, c.javaCmd("jdbc-batch", c.connectorJ(false), rows, "4"))
                        .path("Connector/J, rewritten inserts", Role.OTHER, c.javaCmd("jdbc-batch", c.connectorJ(true), rows, "4")));
            }
            if (c.only.contains("batch")) {
                String rows = Integer.toString(c.batchRows);
                // A batch pass is short: in the second the JIT still compiled the setters and the
                // batch paths (measured), so batches take their fourth pass.
                String batchReps = "4";
                works.add(new WorkDef("batch insert " + rows + " rows, one transaction, SQLite (libruva70's engine)")
                        .path("raw C, libsqlite3", Role.RAW, c.sqliteCmd("batch", c.sqliteFile, rows, batchReps))
                        .path("natives from Java", Role.NATIVES, c.javaCmd("natives-batch", c.engineSqlite(), rows, batchReps))
                        .path("JDBC layer", Role.JDBC_LAYER, c.javaCmd("jdbc-batch", "jdbc:quorvane:" + c.engineSqlite(), rows, batchReps))
                        .path("JDBC layer, SQLite ODBC driver", Role.OTHER,
                                c.javaCmd("jdbc-batch", "jdbc:quorvane:" + c.odbcSqlite(), rows, batchReps))
                        .path("SQLite JDBC", Role.PEER, c.javaCmd("jdbc-batch", c.sqliteJdbc(), rows, batchReps)));
                works.add(new WorkDef("batch insert " + rows + " rows, one transaction, PostgreSQL over TCP")
                        .path("raw C, unixODBC", Role.RAW, c.cCmd("batch", c.odbcPg(true), rows, batchReps))
                        .path("raw C, multi-row statements", Role.OTHER, c.cCmd("batch-rows", c.odbcPg(true), rows, batchReps))
                        .path("natives from Java", Role.NATIVES, c.javaCmd("natives-batch", c.odbcPg(true), rows, batchReps))
                        .path("JDBC layer", Role.JDBC_LAYER, c.javaCmd("jdbc-batch", "jdbc:quorvane:" + c.odbcPg(true), rows, batchReps))
                        .path("pgjdbc, rewritten inserts", Role.PEER, c.javaCmd("jdbc-batch", c.pgjdbc(true), rows, batchReps))
                        .path("pgjdbc, plain", Role.OTHER, c.javaCmd("jdbc-batch", c.pgjdbc(false), rows, batchReps)));
            }
            if (c.only.contains("threads")) {
                works.add(new WorkDef("two threads, two connections, fetch " + c.fetchRows + " rows each, SQLite")
                        .path("natives, one thread", Role.NATIVES, c.javaCmd("natives-threads", c.odbcSqlite(), "1", reps))
                        .path("natives, two threads", Role.OTHER, c.javaCmd("natives-threads", c.odbcSqlite(), "2", reps))
                        .path("raw C, one thread", Role.RAW, c.cCmd("threads", c.odbcSqlite(), "1", reps))
                        .path("raw C, two threads", Role.OTHER, c.cCmd("threads", c.odbcSqlite(), "2", reps)));
                works.add(new WorkDef("two threads, two connections, fetch " + c.fetchRows + " rows each, PostgreSQL over TCP")
                        .path("natives, one thread", Role.NATIVES, c.javaCmd("natives-threads", c.odbcPg(true), "1", reps))
                        .path("natives, two threads", Role.OTHER, c.javaCmd("natives-threads", c.odbcPg(true), "2", reps))
                        .path("raw C, one thread", Role.RAW, c.cCmd("threads", c.odbcPg(true), "1", reps))
                        .path("raw C, two threads", Role.OTHER, c.cCmd("threads", c.odbcPg(true), "2", reps)));
            }
            if (c.only.contains("many")) {
                for (String n : c.manyStatements.split(",")) {
                    works.add(new WorkDef(n + " statements opened, then closed, on one connection, SQLite")
                            .path("raw C, unixODBC", Role.RAW, c.cCmd("many", c.odbcSqlite(), n, reps))
                            .path("JDBC layer, engine", Role.JDBC_LAYER, c.javaCmd("jdbc-many", "jdbc:quorvane:" + c.engineSqlite(), n, reps))
                            .path("JDBC layer, SQLite ODBC driver", Role.OTHER, c.javaCmd("jdbc-many", "jdbc:quorvane:" + c.odbcSqlite(), n, reps))
                            .path("SQLite JDBC", Role.PEER, c.javaCmd("jdbc-many", c.sqliteJdbc(), n, reps)));
                    works.add(new WorkDef(n + " statements opened, then closed, on one connection, PostgreSQL over TCP")
                            .path("raw C, unixODBC", Role.RAW, c.cCmd("many", c.odbcPg(true), n, reps))
                            .path("JDBC layer", Role.JDBC_LAYER, c.javaCmd("jdbc-many", "jdbc:quorvane:" + c.odbcPg(true), n, reps))
                            .path("pgjdbc", Role.PEER, c.javaCmd("jdbc-many", c.pgjdbc(false), n, reps)));
                    works.add(new WorkDef(n + " statements opened, each running a query, then closed, on one connection, PostgreSQL over TCP")
                            .path("raw C, unixODBC", Role.RAW, c.cCmd("many", c.odbcPg(true), n, reps, "run"))
                            .path("JDBC layer", Role.JDBC_LAYER, c.javaCmd("jdbc-many", "jdbc:quorvane:" + c.odbcPg(true), n, reps, "run"))
                            .path("pgjdbc", Role.PEER, c.javaCmd("jdbc-many", c.pgjdbc(false), n, reps, "run")));
                }
            }
            if (c.only.contains("large")) {
                for (String mb : c.largeMb.split(",")) {
                    String bytes = Long.toString(Long.parseLong(mb) * 1_000_000L);
                    for (String kind : List.of("text", "binary")) {
                        works.add(new WorkDef("one " + mb + " MB " + kind + " value read whole, heap 384 MB, SQLite")
                                .path("JDBC layer", Role.JDBC_LAYER, c.javaCmd384("jdbc-large", "jdbc:quorvane:" + c.engineSqlite(), kind, bytes, reps))
                                .path("SQLite JDBC", Role.PEER, c.javaCmd384("jdbc-large", c.sqliteJdbc(), kind, bytes, reps)));
                        works.add(new WorkDef("one " + mb + " MB " + kind + " value read whole, heap 384 MB, PostgreSQL over TCP")
                                .path("JDBC layer", Role.JDBC_LAYER, c.javaCmd384("jdbc-large", "jdbc:quorvane:" + c.odbcPg(true), kind, bytes, reps))
                                .path("pgjdbc", Role.PEER, c.javaCmd384("jdbc-large", c.pgjdbc(false), kind, bytes, reps)));
                    }
                }
            }
            if (c.only.contains("stream")) {
                makeStreamTable(c);
                String fs = Integer.toString(c.streamFetchSize);
                works.add(new WorkDef("stream " + c.streamRows + " rows with fetch size " + fs
                        + ", auto-commit off, heap " + c.streamHeap + ", PostgreSQL over TCP")
                        .path("JDBC layer, fetch size " + fs, Role.JDBC_LAYER,
                                c.javaCmdHeap(c.streamHeap, "jdbc-stream", "jdbc:quorvane:" + c.odbcPg(true), fs, reps))
                        .path("JDBC layer, read whole", Role.OTHER,
                                c.javaCmdHeap(c.streamHeap, "jdbc-stream", "jdbc:quorvane:" + c.odbcPg(true), "0", reps))
                        .path("JDBC layer, UseDeclareFetch=1;Fetch=" + fs + " in the URL", Role.OTHER,
                                c.javaCmdHeap(c.streamHeap, "jdbc-stream", "jdbc:quorvane:" + c.odbcPg(true) + "UseDeclareFetch=1;Fetch="
                                        + fs + ";", "0", reps))
                        .path("pgjdbc, fetch size " + fs, Role.PEER, c.javaCmdHeap(c.streamHeap, "jdbc-stream", c.pgjdbc(false), fs, reps)));
            }
            String loadBefore = loadAverage();
            System.out.println("# rounds " + c.rounds + ", load average before " + loadBefore + ", cores "
                    + Runtime.getRuntime().availableProcessors());
            if (!c.sources.contains("postgres")) works.removeIf(w -> w.title.contains("PostgreSQL"));
            if (!c.sources.contains("sqlite")) works.removeIf(w -> w.title.contains("SQLite"));
            for (WorkDef w : works) {
                for (int round = 0; round < c.rounds; round++) {
                    int n = w.paths.size();
                    for (int k = 0; k < n; k++) {
                        PathDef p = w.paths.get((k + round) % n);
                        if (p.skipped) continue;
                        List<String> out = runProcess(p.cmd);
                        String last = null;
                        for (String line : out) {
                            if (line.startsWith("SKIP")) p.skipped = true;
                            if (line.startsWith("RESULT")) last = line;
                        }
                        if (p.skipped) continue;
                        if (last == null) throw new IllegalStateException("no result from " + p.label);
                        Map<String, String> f = fields(last);
                        double wall = Double.parseDouble(f.get("wall"));
                        p.wall.add(wall);
                        p.wallByRound.put(round, wall);
                        p.cpu.add(Double.parseDouble(f.get("cpu")));
                        p.cpuByRound.put(round, Double.parseDouble(f.get("cpu")));
                        p.wait.add(Double.parseDouble(f.get("wait")));
                        if (f.containsKey("rss")) p.rss.add(Double.parseDouble(f.get("rss")));
                        String sum = f.get("rows") + "/" + f.get("checksum");
                        if (p.checksum != null && !p.checksum.equals(sum))
                            throw new IllegalStateException(p.label + ": checksum changed between rounds");
                        p.checksum = sum;
                    }
                }
                printWork(w);
            }
            if (c.only.contains("setter")) setterRow(c);
            System.out.println("# load average after " + loadAverage());
        }

        static Map<String, String> fields(String line) {
            Map<String, String> f = new LinkedHashMap<>();
            for (String kv : line.split("\\s+")) {
                int eq = kv.indexOf('=');
                if (eq > 0) f.put(kv.substring(0, eq), kv.substring(eq + 1));
            }
            return f;
        }

        static PathDef find(WorkDef w, Role role) {
            for (PathDef p : w.paths) if (p.role == role && !p.skipped) return p;
            return null;
        }

        /** Median over rounds of a / b (wall time), each pair from the same round. */
        static double ratio(PathDef a, PathDef b) {
            return a == null || b == null ? Double.NaN : ratio(a.wallByRound, b.wallByRound);
        }

        /** The same for CPU time, which a busy machine disturbs less than wall time. */
        static double cpuRatio(PathDef a, PathDef b) {
            return a == null || b == null ? Double.NaN : ratio(a.cpuByRound, b.cpuByRound);
        }

        static double ratio(Map<Integer, Double> a, Map<Integer, Double> b) {
            List<Double> r = new ArrayList<>();
            for (Map.Entry<Integer, Double> e : a.entrySet()) {
                Double other = b.get(e.getKey());
                if (other != null && other > 0) r.add(e.getValue() / other);
            }
            return median(r);
        }

        static String fmt(double v) {
            return Double.isNaN(v) ? "—" : String.format(Locale.ROOT, "%.2f×", v);
        }

        static void printWork(WorkDef w) {
            PathDef raw = find(w, Role.RAW), natives = find(w, Role.NATIVES), peer = find(w, Role.PEER),
                    first = w.paths.get(0);
            String reference = null;
            for (PathDef p : w.paths) if (!p.skipped && reference == null) reference = p.checksum;
            System.out.println();
            System.out.println("## " + w.title + " (load average " + loadAverage() + ")");
            System.out.println("| path | wall s (median) | CPU s | waiting for a CPU s | × raw C | × natives | × peer "
                    + "| CPU × raw C | CPU × natives | CPU × peer | rows/checksum |");
            System.out.println("| --- | --- | --- | --- | --- | --- | --- | --- | --- | --- | --- |");
            for (PathDef p : w.paths) {
                if (p.skipped) {
                    System.out.println("| " + p.label + " | not measured (no driver on the class path) | | | | | | | | | |");
                    continue;
                }
                boolean threadsWork = w.title.startsWith("two threads");
                String check = p.checksum == null ? "?" : p.checksum;
                if (!threadsWork && reference != null && !reference.equals(p.checksum)) check += " MISMATCH";
                double vsRaw = p.role == Role.RAW ? Double.NaN : ratio(p, threadsWork ? null : raw);
                double vsPeer = p.role == Role.PEER || peer == null ? Double.NaN : ratio(p, peer);
                double cpuRaw = p.role == Role.RAW || threadsWork ? Double.NaN : cpuRatio(p, raw);
                double cpuPeer = p.role == Role.PEER || peer == null ? Double.NaN : cpuRatio(p, peer);
                boolean vsNatives = !threadsWork && natives != null && p != natives && p.role != Role.RAW
                        && p.role != Role.PEER;
                double natRatio = vsNatives ? ratio(p, natives) : Double.NaN;
                double cpuNat = vsNatives ? cpuRatio(p, natives) : Double.NaN;
                if (threadsWork) {
                    // Throughput of two threads against one: twice the rows in the time of ...
                    PathDef single = p.label.contains("two") ? w.paths.get(w.paths.indexOf(p) - 1) : null;
                    vsRaw = Double.NaN;
                    vsPeer = single == null ? Double.NaN : 2 / ratio(p, single);
                }
                System.out.printf(Locale.ROOT, "| %s | %.3f | %.3f | %.3f | %s | %s | %s | %s | %s | %s | %s |%n",
                        p.label, median(p.wall), median(p.cpu), median(p.wait), fmt(vsRaw), fmt(natRatio),
                        threadsWork ? (Double.isNaN(vsPeer) ? "" : "throughput " + fmt(vsPeer) + " one thread")
                                : fmt(vsPeer), fmt(cpuRaw), fmt(cpuNat), fmt(cpuPeer), check);
            }
            if (first == null) System.out.println();
            if (w.paths.stream().anyMatch(p -> !p.rss.isEmpty())) {
                System.out.println();
                System.out.println("| path | peak RSS MB (median) | range | wall × first path |");
                System.out.println("| --- | --- | --- | --- |");
                for (PathDef p : w.paths) {
                    if (p.skipped || p.rss.isEmpty()) continue;
                    System.out.printf(Locale.ROOT, "| %s | %.0f | %.0f–%.0f | %s |%n", p.label, median(p.rss),
                            p.rss.stream().mapToDouble(Double::doubleValue).min().orElse(0),
                            p.rss.stream().mapToDouble(Double::doubleValue).max().orElse(0),
                            p == first ? "" : fmt(ratio(first, p)));
                }
            }
        }

        /** bench_stream with that many rows of the shape of bench_fetch (made through pgjdbc, untimed). */
        static void makeStreamTable(Config c) throws SQLException {
            try (Connection conn = DriverManager.getConnection(c.pgjdbc(false)); Statement st = conn.createStatement()) {
                st.execute("DROP TABLE IF EXISTS bench_stream");
                st.execute("CREATE TABLE bench_stream AS SELECT i::int4 AS i, i::int8 * 3000000007 AS b, "
                        + "i * 0.5 + 0.25 AS d, 'row ' || i || ' ' || md5(i::text) AS s FROM generate_series(1, "
                        + c.streamRows + ") i");
                st.execute("VACUUM ANALYZE bench_stream");
            }
        }

        static void setterRow(Config c) throws Exception {
            List<Double> set = new ArrayList<>(), empty = new ArrayList<>(), ratio = new ArrayList<>();
            for (int round = 0; round < c.rounds; round++) {
                List<String> out = runProcess(c.javaCmd("natives-setter", c.odbcSqlite(), "20000000", "3"));
                String last = null;
                for (String line : out) if (line.startsWith("SETTER")) last = line;
                Map<String, String> f = fields(last.replace(" ns/call", ""));
                double s = Double.parseDouble(f.get("setInteger")), e = Double.parseDouble(f.get("empty"));
                set.add(s);
                empty.add(e);
                ratio.add(s / e);
            }
            System.out.println();
            System.out.println("## setInteger on a parameter already bound as an integer (load average " + loadAverage()
                    + ")");
            System.out.printf(Locale.ROOT, "setInteger %.2f ns/call, empty native call %.2f ns/call: %s an empty call%n",
                    median(set), median(empty), fmt(median(ratio)));
        }
    }

    // ------------------------------------------------------------------
    // Instructions per row by layer (valgrind's callgrind)
    // ------------------------------------------------------------------

    static final class Callgrind {
        static final String[] LAYERS = {"JVM", "natives", "libruva70", "driver manager", "driver", "C library, other",
                "JIT compiler"};

        /** The JVM's just-in-time compilers (C1, C2): work that ends once the loop is compiled, not a cost per row. */
        static final java.util.regex.Pattern COMPILER = java.util.regex.Pattern.compile(
                "^(Phase|Compile|C2Compiler|Matcher|IndexSet|RegMask|Node|Unique_Node_List|Block|LRG|Parse|GraphKit"
                + "|ConnectionGraph|IdealLoopTree|Type(?!Array)|ci[A-Z]|LinearScan|GraphBuilder|LIR_|Compilation"
                + "|CallGenerator|InlineTree|BCEscapeAnalyzer|MethodLiveness|VectorSet|Dict|[A-Za-z_]*Node::"
                + "|Interval|ValueStack|Instruction|BlockBegin|CodeBuffer|Assembler|MacroAssembler|OopMap|Scheduling"
                + "|CompileBroker|Dependencies|DebugInformationRecorder|Relocation|Optimizer|SuperWord|Canonicalizer"
                + "|PhiSimplifier|ValueMap|GlobalValueNumbering|RangeCheck|ShortLoop|IR|BlockList|Loop|Split|Value"
                + "|State::|Pipeline|Bundle|Dominator)");

        static String layerOf(String object) {
            if (object.equals("(compiler)")) return "JIT compiler";
            String o = object.toLowerCase(Locale.ROOT);
            if (o.contains("libqvjdbccs70")) return "natives";
            if (o.contains("libruva70")) return "libruva70";
            if (o.contains("libodbc") || o.contains("libltdl")) return "driver manager";
            if (o.contains("sqlite") || o.contains("psqlodbc") || o.contains("libpq") || o.contains("libssl")
                    || o.contains("maodbc") || o.contains("libmariadb")
                    || o.contains("libcrypto") || o.contains("libgssapi") || o.contains("libldap")) return "driver";
            if (o.contains("libjvm") || o.contains("/jvm/") || o.contains("???") || o.contains("libjava")
                    || o.contains("libjli") || o.contains("libzip") || o.contains("libnio") || o.contains("libnet")
                    || o.contains("libmanagement") || o.contains("perf-") || o.isEmpty()) return "JVM";
            return "C library, other";
        }

        /** Self cost (first event, Ir) per object in a callgrind output file; the JVM's compilers apart. */
        static Map<String, Long> perObject(Path file) throws IOException {
            Map<String, String> names = new TreeMap<>(), functions = new TreeMap<>();
            Map<String, Long> cost = new TreeMap<>();
            String ob = "???", where = ob;
            boolean skipNext = false;
            for (String line : Files.readAllLines(file, StandardCharsets.ISO_8859_1)) {
                if (line.isEmpty()) continue;
                char ch = line.charAt(0);
                if (line.startsWith("ob=")) {
                    ob = resolve(names, line.substring(3));
                    where = ob;
                    continue;
                }
                if (line.startsWith("fn=")) {
                    String fn = resolve(functions, line.substring(3));
                    where = ob.contains("libjvm") && COMPILER.matcher(fn).find() ? "(compiler)" : ob;
                    continue;
                }
                if (line.startsWith("cfn=")) {
                    resolve(functions, line.substring(4));
                    continue;
                }
                if (line.startsWith("calls=")) {
                    skipNext = true;
                    continue;
                }
                if (Character.isDigit(ch) || ch == '+' || ch == '-' || ch == '*') {
                    if (skipNext) {
                        skipNext = false;
                        continue;
                    }
                    String[] t = line.trim().split("\\s+");
                    if (t.length >= 2) cost.merge(where, Long.parseLong(t[1]), Long::sum);
                    continue;
                }
                if (line.startsWith("cob=")) resolve(names, line.substring(4));
            }
            return cost;
        }

        static String resolve(Map<String, String> names, String ref) {
            ref = ref.trim();
            if (ref.startsWith("(")) {
                int close = ref.indexOf(')');
                String id = ref.substring(0, close + 1);
                String name = ref.substring(close + 1).trim();
                if (!name.isEmpty()) names.put(id, name);
                return names.getOrDefault(id, id);
            }
            return ref;
        }

        static Map<String, Long> byLayer(Map<String, Long> perObject) {
            Map<String, Long> m = new LinkedHashMap<>();
            for (String l : LAYERS) m.put(l, 0L);
            perObject.forEach((o, v) -> m.merge(layerOf(o), v, Long::sum));
            return m;
        }

        /** A JVM command that compiles in the foreground, with explicit null checks: under valgrind 3.19
         * this JVM (17.0.21) died in compiled code at its first implicit null check (a SIGSEGV the JVM
         * handles itself when run alone), so every run of the callgrind mode uses explicit checks. */
        static List<String> foreground(List<String> javaCmd) {
            List<String> c = new ArrayList<>(javaCmd);
            c.addAll(1, List.of("-Xbatch", "-XX:+UnlockDiagnosticVMOptions", "-XX:-ImplicitNullChecks"));
            return c;
        }

        static Map<String, Long> measure(Config c, List<String> cmd, String tag) throws Exception {
            Path out = Files.createTempFile("callgrind-" + tag + "-", ".out");
            List<String> full = new ArrayList<>(List.of("valgrind", "--tool=callgrind", "--callgrind-out-file=" + out,
                    "--dump-instr=no", "--compress-strings=yes", "--compress-pos=no", "--trace-children=no"));
            full.addAll(cmd);
            ProcessBuilder pb = new ProcessBuilder(full);
            pb.redirectErrorStream(true);
            pb.redirectOutput(new File("/dev/null"));
            int rc = pb.start().waitFor();
            if (rc != 0) throw new IOException("callgrind run failed (" + rc + "): " + String.join(" ", cmd));
            Map<String, Long> m = byLayer(perObject(out));
            Files.deleteIfExists(out);
            return m;
        }

        /** Instructions per row: the difference of two runs of the same passes over the same rows, one with
         * more passes than the other, over the rows of the extra passes: start-up, connection and the first
         * passes (where the JIT compiles the loop) cancel out. What the JIT compilers still do in the extra
         * passes is shown apart and left out of the totals. The JVMs compile in the foreground
         * ({@code -Xbatch}): under valgrind the compiler threads run at other moments from run to run, so
         * the extra passes ran partly other code (totals varied by 2.5% between runs of the same build;
         * with foreground compiling they repeat within 0.1%). */
        public static void main(String[] args) throws Exception {
            Config c = new Config(args);
            int rows = 50000, p1 = 3, p2 = 7;
            System.out.println("# instructions per fetched row: (Ir of " + p2 + " passes over " + rows
                    + " rows - Ir of " + p1 + " passes) / " + (p2 - p1) * rows + "; load average " + loadAverage());
            // The engine's raw C is libsqlite3 itself (sqlite_bench); the others' is the same ODBC driver
            // through unixODBC (odbc_bench).
            List<String[]> sources = new ArrayList<>(List.of(new String[] {"SQLite engine", c.engineSqlite()},
                    new String[] {"SQLite ODBC driver", c.odbcSqlite()},
                    new String[] {"PostgreSQL over TCP", c.odbcPg(true)},
                    new String[] {"PostgreSQL over a Unix socket", c.odbcPg(false)}));
            if (c.myPort != null) sources.add(new String[] {"MariaDB over TCP", c.odbcMy()});
            for (String[] s : sources) {
                if (!c.only.contains("fetch") && !c.only.contains(s[0])) continue;
                String source = s[0].startsWith("SQLite") ? "sqlite" : s[0].startsWith("PostgreSQL") ? "postgres" : null;
                if (source != null && !c.sources.contains(source)) continue;
                boolean engine = s[0].equals("SQLite engine");
                String n = Integer.toString(rows);
                // Each path: its label and its command for a number of passes.
                List<String> labels = new ArrayList<>();
                List<java.util.function.IntFunction<List<String>>> cmds = new ArrayList<>();
                List<String> chosen = List.of(c.paths.split(","));
                if (chosen.contains("raw")) {
                    labels.add("raw C");
                    cmds.add(k -> engine ? c.sqliteCmd("fetch", c.sqliteFile, "" + k, n) : c.cCmd("fetch", s[1], "" + k, n));
                }
                if (chosen.contains("natives")) {
                    labels.add("natives from Java");
                    cmds.add(k -> foreground(c.javaCmd("natives-fetch", s[1], "" + k, "getString", n)));
                }
                if (chosen.contains("getdata")) {
                    labels.add("natives, text by getDataString");
                    cmds.add(k -> foreground(c.javaCmd("natives-fetch", s[1], "" + k, "getDataString", n)));
                }
                if (chosen.contains("jdbc")) {
                    labels.add("JDBC layer");
                    cmds.add(k -> foreground(c.javaCmd("jdbc-fetch", "jdbc:quorvane:" + s[1], "" + k, n)));
                }
                List<Map<String, Long>> small = new ArrayList<>(), large = new ArrayList<>();
                for (int k = 0; k < labels.size(); k++) {
                    small.add(measure(c, cmds.get(k).apply(p1), "p" + k));
                    large.add(measure(c, cmds.get(k).apply(p2), "p" + k));
                }
                System.out.println();
                System.out.println("## " + s[0]);
                System.out.println("| layer | " + String.join(" | ", labels) + " |");
                System.out.println("|" + " --- |".repeat(labels.size() + 1));
                double per = (double) (p2 - p1) * rows;
                double[] totals = new double[labels.size()];
                for (String l : LAYERS) {
                    StringBuilder line = new StringBuilder("| " + l + (l.equals("JIT compiler") ? " (not counted)" : "")
                            + " |");
                    for (int k = 0; k < labels.size(); k++) {
                        double row = (large.get(k).get(l) - small.get(k).get(l)) / per;
                        if (!l.equals("JIT compiler")) totals[k] += row;
                        line.append(String.format(Locale.ROOT, " %.0f |", row));
                    }
                    System.out.println(line);
                }
                StringBuilder line = new StringBuilder("| total |");
                int rawAt = labels.indexOf("raw C"), natAt = labels.indexOf("natives from Java");
                for (int k = 0; k < labels.size(); k++) {
                    List<String> vs = new ArrayList<>();
                    if (rawAt >= 0 && k != rawAt) vs.add(String.format(Locale.ROOT, "%.2f× raw C", totals[k] / totals[rawAt]));
                    if (natAt >= 0 && k != natAt && k != rawAt) {
                        vs.add(String.format(Locale.ROOT, "%.2f× natives", totals[k] / totals[natAt]));
                    }
                    line.append(String.format(Locale.ROOT, " %.0f", totals[k]));
                    line.append(vs.isEmpty() ? " |" : " (" + String.join(", ", vs) + ") |");
                }
                System.out.println(line);
                if (rawAt >= 0 && natAt >= 0) {
                    System.out.println(String.format(Locale.ROOT,
                            "instructions per row, natives / raw C (%s): %.0f / %.0f = %.2f×", s[0], totals[natAt],
                            totals[rawAt], totals[natAt] / totals[rawAt]));
                }
            }
        }
    }
}
