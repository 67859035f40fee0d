import com.zaxxer.hikari.HikariConfig;
import com.zaxxer.hikari.HikariDataSource;
import java.io.BufferedReader;
import java.io.InputStreamReader;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.sql.Connection;
import java.sql.DriverManager;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicLong;

/**
 * Short statements through a pool, the way a web application spends its
 * time: THREADS threads share a pool of POOL connections; each cycle
 * borrows a connection, prepares a query, sets two parameters, executes
 * it, reads its one row and closes everything. The same work runs through
 * this driver and through pgjdbc (both over TCP to the same server), each
 * on a HikariCP pool and on the plain pool of the C side, and as the raw C
 * limit (short_bench: one connection per thread, as many threads as the
 * pool has connections, one round trip per cycle) and as the same work in
 * C (short_bench with a pool: as many threads sharing as many connections
 * as the Java paths).
 * Each path runs in a process of its own, alternating, round after round;
 * the figures are cycles per second after a second of warm-up (the system
 * property {@code shortbench.warmup}, in milliseconds, sets another for the
 * Java paths), and their medians and ratios.
 *
 * <pre>
 *   ShortBench run BUILD CLASSPATH PGPORT [ROUNDS] [SECONDS] [THREADS] [POOL]
 *   ShortBench worker quorvane|pgjdbc PGPORT SECONDS THREADS POOL [hikari|plain]
 *   ShortBench loop quorvane|pgjdbc PGPORT CYCLES PASSES
 * </pre>
 *
 * {@code loop} runs PASSES passes of CYCLES cycles on one thread and one
 * connection, without a pool: the cost of a cycle for callgrind or perf
 * (two runs with different PASSES, their difference divided by the extra
 * cycles, leave out start-up and warm-up), against {@code short_bench CONN
 * 1 0 CYCLES*PASSES}.
 */
public final class ShortBench {
    static final String SQL = "SELECT name FROM bench_short WHERE id = ? AND name <> ?";

    private ShortBench() {}

    static String url(String path, String port) {
        if (path.equals("pgjdbc")) return "jdbc:postgresql://127.0.0.1:" + port + "/qvjdbc";
        return "jdbc:quorvane:Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Servername=127.0.0.1;Port=" + port
                + ";Database=qvjdbc;";
    }

    static void setup(String port) throws SQLException {
        try (Connection c = DriverManager.getConnection(url("pgjdbc", port), "postgres", "");
                Statement s = c.createStatement()) {
            s.execute("DROP TABLE IF EXISTS bench_short");
            s.execute("CREATE TABLE bench_short (id integer PRIMARY KEY, name text)");
            s.execute("INSERT INTO bench_short SELECT g, 'name ' || g FROM generate_series(1, 1000) g");
            s.execute("VACUUM ANALYZE bench_short");
        }
    }

    /**
     * The pool of short_bench, in Java: the connection returned last is
     * handed out first, and a thread that finds none waits for one. With it
     * every path borrows the same way, so what differs between them is the
     * driver alone.
     */
    static final class PlainPool implements AutoCloseable {
        private final ArrayDeque<Connection> free = new ArrayDeque<>();
        private final List<Connection> all = new ArrayList<>();

        PlainPool(String url, int size) throws SQLException {
            for (int i = 0; i < size; i++) {
                Connection c = DriverManager.getConnection(url, "postgres", "");
                all.add(c);
                free.push(c);
            }
        }

        synchronized Connection take() throws InterruptedException {
            while (free.isEmpty()) wait();
            return free.pop();
        }

        synchronized void give(Connection c) {
            free.push(c);
            notify();
        }

        @Override
        public void close() throws SQLException {
            for (Connection c : all) c.close();
        }
    }

    static void cycle(Connection c, int i) throws SQLException {
        try (PreparedStatement ps = c.prepareStatement(SQL)) {
            ps.setInt(1, i % 1000 + 1);
            ps.setString(2, "x");
            try (ResultSet rs = ps.executeQuery()) {
                if (!rs.next() || rs.getString(1) == null) throw new IllegalStateException("no row");
            }
        }
    }

    static HikariDataSource hikari(String path, String port, int pool) {
        HikariConfig cfg = new HikariConfig();
        cfg.setJdbcUrl(url(path, port));
        cfg.setUsername("postgres");
        cfg.setPassword("");
        cfg.setMaximumPoolSize(pool);
        cfg.setMinimumIdle(pool);
        return new HikariDataSource(cfg);
    }

    /** POOL connections shared by THREADS threads through HikariCP, or through {@link PlainPool} when plain. */
    static void worker(String path, String port, double seconds, int threads, int pool, boolean plain)
            throws Exception {
        AtomicBoolean counting = new AtomicBoolean();
        AtomicBoolean stop = new AtomicBoolean();
        AtomicLong cycles = new AtomicLong();
        try (AutoCloseable source = plain ? new PlainPool(url(path, port), pool) : hikari(path, port, pool)) {
            List<Thread> ts = new ArrayList<>();
            Throwable[] failure = new Throwable[1];
            for (int t = 0; t < threads; t++) {
                Thread th = new Thread(() -> {
                    long n = 0;
                    try {
                        for (int i = 0; !stop.get(); i++) {
                            if (plain) {
                                PlainPool pp = (PlainPool) source;
                                Connection c = pp.take();
                                try {
                                    cycle(c, i);
                                } finally {
                                    pp.give(c);
                                }
                            } else {
                                try (Connection c = ((HikariDataSource) source).getConnection()) {
                                    cycle(c, i);
                                }
                            }
                            if (counting.get()) n++;
                        }
                    } catch (Throwable e) {
                        failure[0] = e;
                    }
                    cycles.addAndGet(n);
                });
                th.start();
                ts.add(th);
            }
            Thread.sleep(Long.getLong("shortbench.warmup", 1000));
            com.sun.management.OperatingSystemMXBean os =
                    (com.sun.management.OperatingSystemMXBean) java.lang.management.ManagementFactory
                            .getOperatingSystemMXBean();
            counting.set(true);
            long t0 = System.nanoTime(), cpu0 = os.getProcessCpuTime();
            Thread.sleep((long) (seconds * 1000));
            counting.set(false);
            long took = System.nanoTime() - t0, cpu = os.getProcessCpuTime() - cpu0;
            stop.set(true);
            for (Thread th : ts) th.join();
            if (failure[0] != null) throw new RuntimeException(failure[0]);
            System.out.printf("cycles %d seconds %.3f cpu %.3f%n", cycles.get(), took / 1e9, cpu / 1e9);
        }
    }

    static void loop(String path, String port, int cycles, int passes) throws Exception {
        try (Connection c = DriverManager.getConnection(url(path, port), "postgres", "")) {
            for (int p = 0; p < passes; p++) {
                long t0 = System.nanoTime();
                for (int i = 0; i < cycles; i++) cycle(c, i);
                System.out.printf("pass %d: %.0f cycles/s%n", p + 1, cycles / ((System.nanoTime() - t0) / 1e9));
            }
        }
    }

    /**
     * Runs a command; returns cycles per second and the process's CPU
     * microseconds per cycle from its "cycles N seconds S cpu C" line.
     */
    static double[] measure(List<String> cmd) throws Exception {
        Process p = new ProcessBuilder(cmd).redirectErrorStream(true).start();
        double rate = -1, cpu = -1;
        StringBuilder out = new StringBuilder();
        try (BufferedReader r = new BufferedReader(new InputStreamReader(p.getInputStream()))) {
            for (String line; (line = r.readLine()) != null;) {
                out.append(line).append('\n');
                if (line.startsWith("cycles ")) {
                    String[] f = line.split(" ");
                    rate = Long.parseLong(f[1]) / Double.parseDouble(f[3]);
                    cpu = Double.parseDouble(f[5]) * 1e6 / Long.parseLong(f[1]);
                }
            }
        }
        if (p.waitFor() != 0 || rate < 0) throw new IllegalStateException(String.join(" ", cmd) + ":\n" + out);
        return new double[] {rate, cpu};
    }

    static double median(List<Double> v) {
        double[] a = v.stream().mapToDouble(Double::doubleValue).sorted().toArray();
        return a.length % 2 == 1 ? a[a.length / 2] : (a[a.length / 2 - 1] + a[a.length / 2]) / 2;
    }

    static String load() {
        try {
            return Files.readString(Paths.get("/proc/loadavg")).trim();
        } catch (Exception e) {
            return "?";
        }
    }

    public static void main(String[] a) throws Exception {
        if (a.length > 0 && a[0].equals("worker")) {
            worker(a[1], a[2], Double.parseDouble(a[3]), Integer.parseInt(a[4]), Integer.parseInt(a[5]),
                    a.length > 6 && a[6].equals("plain"));
            return;
        }
        if (a.length > 0 && a[0].equals("loop")) {
            loop(a[1], a[2], Integer.parseInt(a[3]), Integer.parseInt(a[4]));
            return;
        }
        if (a.length < 4 || !a[0].equals("run")) {
            System.err.println("usage: ShortBench run BUILD CLASSPATH PGPORT [ROUNDS] [SECONDS] [THREADS] [POOL]");
            System.exit(2);
        }
        String build = a[1], cp = a[2], port = a[3];
        int rounds = a.length > 4 ? Integer.parseInt(a[4]) : 5;
        String seconds = a.length > 5 ? a[5] : "3";
        String threads = a.length > 6 ? a[6] : "16";
        String pool = a.length > 7 ? a[7] : "4";
        setup(port);
        String java = Paths.get(System.getProperty("java.home"), "bin", "java").toString();
        String rawConn = url("quorvane", port).substring("jdbc:quorvane:".length()) + "Uid=postgres;";
        // raw: one connection per thread for as many threads as the pool has
        // connections, nothing handed over; rawpool: the Java paths' work in C,
        // THREADS threads borrowing POOL connections for each cycle.
        // Each Java path runs twice: on HikariCP, as applications do, and on
        // the C side's plain pool, so that one comparison holds the pool
        // fixed and shows the drivers alone.
        String[] paths = {"raw", "rawpool", "quorvane", "pgjdbc", "quorvane/plain", "pgjdbc/plain"};
        List<List<Double>> rates = new ArrayList<>(), cpus = new ArrayList<>();
        for (int i = 0; i < paths.length; i++) {
            rates.add(new ArrayList<>());
            cpus.add(new ArrayList<>());
        }
        List<Double> toPeer = new ArrayList<>(), toPooled = new ArrayList<>();
        List<Double> plainToPeer = new ArrayList<>(), plainToPooled = new ArrayList<>();
        System.out.printf("short statements: %s threads, pool of %s, %s s per run, %d rounds; load %s%n", threads, pool,
                seconds, rounds, load());
        for (int r = 0; r < rounds; r++) {
            for (int i = 0; i < paths.length; i++) {
                String[] kind = paths[i].split("/");
                List<String> cmd = paths[i].equals("raw")
                        ? Arrays.asList(build + "/bench/short_bench", rawConn, pool, seconds)
                        : paths[i].equals("rawpool")
                        ? Arrays.asList(build + "/bench/short_bench", rawConn, threads, seconds, "0", pool)
                        : Arrays.asList(java, "-cp", cp, "ShortBench", "worker", kind[0], port, seconds, threads, pool,
                                kind.length > 1 ? kind[1] : "hikari");
                double[] m = measure(cmd);
                rates.get(i).add(m[0]);
                cpus.get(i).add(m[1]);
                System.out.printf("  round %d %-14s %10.0f cycles/s %6.1f us CPU per cycle%n", r + 1, paths[i], m[0],
                        m[1]);
            }
            toPeer.add(rates.get(2).get(r) / rates.get(3).get(r));
            toPooled.add(rates.get(2).get(r) / rates.get(1).get(r));
            plainToPeer.add(rates.get(4).get(r) / rates.get(5).get(r));
            plainToPooled.add(rates.get(4).get(r) / rates.get(1).get(r));
            System.out.printf("  round %d HikariCP: this driver / pgjdbc %.2f, / raw C pooled %.2f;"
                            + " plain pool: this driver / pgjdbc %.2f, / raw C pooled %.2f%n",
                    r + 1, toPeer.get(r), toPooled.get(r), plainToPeer.get(r), plainToPooled.get(r));
        }
        double[] med = new double[paths.length], cpu = new double[paths.length];
        for (int i = 0; i < paths.length; i++) {
            med[i] = median(rates.get(i));
            cpu[i] = median(cpus.get(i));
        }
        System.out.printf("medians: raw C %.0f/s, raw C pooled %.0f/s; HikariCP: this driver %.0f/s, pgjdbc %.0f/s;"
                        + " plain pool: this driver %.0f/s, pgjdbc %.0f/s%n",
                med[0], med[1], med[2], med[3], med[4], med[5]);
        System.out.printf("HikariCP: this driver / pgjdbc %.2f (median of the rounds' ratios %.2f), this driver / raw C"
                        + " pooled %.2f (%.2f), pgjdbc / raw C pooled %.2f%n",
                med[2] / med[3], median(toPeer), med[2] / med[1], median(toPooled), med[3] / med[1]);
        System.out.printf("plain pool: this driver / pgjdbc %.2f (%.2f), this driver / raw C pooled %.2f (%.2f),"
                        + " pgjdbc / raw C pooled %.2f; load %s%n",
                med[4] / med[5], median(plainToPeer), med[4] / med[1], median(plainToPooled), med[5] / med[1], load());
        System.out.printf("CPU per cycle (client process, us): raw C %.1f, raw C pooled %.1f; HikariCP: this driver"
                        + " %.1f, pgjdbc %.1f; plain pool: this driver %.1f, pgjdbc %.1f%n",
                cpu[0], cpu[1], cpu[2], cpu[3], cpu[4], cpu[5]);
    }
}
