package com.quorvane.jdbc.tests;

import com.quorvane.jdbc.JdbcOdbcBoundCol;
import com.quorvane.jdbc.JdbcOdbcClient;
import com.quorvane.jdbc.Perf;
import com.quorvane.jdbc.RetVal;
import com.quorvane.jdbc.xa.QuorvaneXAError;
import com.quorvane.jdbc.xa.QuorvaneXid;
import com.quorvane.jdbc.xa.XAJdbcOdbcClient;

import java.io.BufferedReader;
import java.io.File;
import java.io.InputStreamReader;
import java.lang.reflect.Array;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.lang.reflect.Parameter;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.List;
import java.util.concurrent.TimeUnit;

/**
 * Every native method, found by reflection, called with hostile arguments:
 * forged and zero handles and tokens, null, empty and one-element arrays,
 * unterminated text, out-of-range numbers and objects of the wrong class, each
 * also next to live handles and tokens of a SQLite connection. The calls run
 * in a child JVM under -Xcheck:jni; when the child dies (a crash, a fatal JNI
 * check, a sanitizer report) the call it was making is recorded and a new
 * child goes on after it, so one crash does not hide the next. The test fails
 * on any such call and prints each one.
 */
public final class SweepTest {
    private SweepTest() {}

    private static final int FORGED = 0x0BADF00D;
    private static final String[] PROFILES = {"forged", "zero", "null", "empty", "one", "unterminated", "int=0",
        "int=1000", "int=65537", "int=-1", "int=MIN", "int=MAX", "wrongclass"};

    public static void main(String[] args) throws Exception {
        if (args.length > 0 && args[0].equals("child")) {
            child(Integer.parseInt(args[1]));
            return;
        }
        parent();
    }

    // ---------------------------------------------------------------- calls

    /** One call of the sweep: a method, an argument profile, live or not. */
    record Call(Method method, String profile, boolean live) {
        String describe() {
            return method.getDeclaringClass().getSimpleName() + "." + method.getName()
                    + Arrays.toString(Arrays.stream(method.getParameterTypes()).map(Class::getSimpleName).toArray())
                    + " " + profile + (live ? " with live handles" : "");
        }
    }

    static List<Method> natives() {
        List<Method> all = new ArrayList<>();
        for (Class<?> c : new Class<?>[] {JdbcOdbcClient.class, XAJdbcOdbcClient.class, Perf.class})
            for (Method m : c.getDeclaredMethods())
                if (Modifier.isNative(m.getModifiers())) all.add(m);
        all.sort(Comparator.comparing((Method m) -> m.getDeclaringClass().getName())
                .thenComparing(Method::getName)
                .thenComparing(m -> Arrays.toString(m.getParameterTypes())));
        return all;
    }

    static List<Call> calls() {
        List<Call> calls = new ArrayList<>();
        for (Method m : natives())
            for (boolean live : new boolean[] {false, true})
                for (String p : PROFILES) calls.add(new Call(m, p, live));
        return calls;
    }

    // ---------------------------------------------------------------- parent

    static void parent() throws Exception {
        List<Method> natives = natives();
        List<Call> calls = calls();
        List<String> failures = new ArrayList<>();
        String java = Path.of(System.getProperty("java.home"), "bin", "java").toString();
        String classPath = System.getProperty("java.class.path");
        String libraryPath = System.getProperty("java.library.path");
        File log = File.createTempFile("qvjdbc-sweep", ".stderr");
        log.deleteOnExit();
        long started = System.nanoTime();
        int next = 0;
        int children = 0;
        while (next < calls.size()) {
            ++children;
            ProcessBuilder pb = new ProcessBuilder(java, "-Xcheck:jni", "-Djava.library.path=" + libraryPath, "-cp",
                    classPath, SweepTest.class.getName(), "child", Integer.toString(next));
            pb.redirectError(log);
            Process child = pb.start();
            int last = -1;
            boolean done = false;
            try (BufferedReader out = new BufferedReader(
                         new InputStreamReader(child.getInputStream(), StandardCharsets.UTF_8))) {
                for (String line; (line = out.readLine()) != null;) {
                    if (line.startsWith("B ")) last = Integer.parseInt(line.substring(2));
                    else if (line.equals("DONE")) done = true;
                }
            }
            if (!child.waitFor(120, TimeUnit.SECONDS)) child.destroyForcibly();
            int exit = child.exitValue();
            String errors = Files.readString(log.toPath(), StandardCharsets.ISO_8859_1);
            String report = firstReport(errors);
            if (done && exit == 0 && report == null) break;
            int failed = last < 0 ? next : last;
            String what = failed < calls.size() ? calls.get(failed).describe() : "after the last call";
            failures.add(what + ": exit " + exit + (report == null ? "" : ", " + report));
            System.out.println("CRASH " + failures.get(failures.size() - 1));
            next = failed + 1;
        }
        double seconds = (System.nanoTime() - started) / 1e9;
        System.out.printf("%d natives, %d calls in %d child JVMs, %.1f s%n", natives.size(), calls.size(), children,
                seconds);
        Check check = new Check("SweepTest");
        check.equal(115, natives.size(), "natives found by reflection");
        for (String f : failures) check.fail("crashing call: " + f);
        check.equal(0, failures.size(), "crashing calls");
        check.finish();
    }

    /** The first line that tells how the child died, or null. */
    static String firstReport(String errors) {
        for (String line : errors.split("\n"))
            if (line.contains("FATAL ERROR") || line.contains("AddressSanitizer") || line.contains("runtime error:")
                    || line.contains("SIGSEGV") || line.contains("SIGBUS") || line.contains("SIGABRT")
                    || line.contains("LeakSanitizer") || line.contains("UndefinedBehaviorSanitizer"))
                return line.trim();
        return null;
    }

    // ---------------------------------------------------------------- child

    static JdbcOdbcClient odbc;
    static XAJdbcOdbcClient xa;
    static Path database;

    static void child(int from) throws Exception {
        odbc = new JdbcOdbcClient();
        xa = new XAJdbcOdbcClient();
        odbc.initIDs();
        Path dir = Files.createTempDirectory(Path.of(System.getenv().getOrDefault("QVT_TMP", "/tmp")), "sweep");
        database = dir.resolve("s.db");
        Live setup = Live.open();
        if (setup.boundCols == 0 || setup.params == 0 || setup.storage[0] == 0) {
            System.err.println("FATAL ERROR: the live SQLite fixture could not be made");
            System.exit(3);
        }
        setup.close();
        List<Call> calls = calls();
        for (int i = from; i < calls.size(); ++i) {
            Call c = calls.get(i);
            System.out.println("B " + i);
            System.out.flush();
            Live live = c.live() ? Live.open() : null;
            Object receiver = Modifier.isStatic(c.method().getModifiers()) ? null
                    : c.method().getDeclaringClass() == XAJdbcOdbcClient.class ? xa : odbc;
            try {
                c.method().invoke(receiver, arguments(c, live));
            } catch (InvocationTargetException e) {
                // A Java exception the native raised is an answer, not a crash.
            }
            if (live != null) live.close();
        }
        System.out.println("DONE");
        System.out.flush();
    }

    /** A SQLite connection with a fetched result set, a bound parameter array and a storage pair. */
    static final class Live {
        int env;
        int dbc;
        int resultStmt;
        int paramStmt;
        int boundCols;
        int numCols;
        int params;
        int[] storage = new int[4];

        static Live open() {
            Live l = new Live();
            byte[] ec = new byte[2];
            l.env = odbc.allocEnv(ec);
            l.dbc = odbc.allocConnect(l.env, ec);
            odbc.driverConnect(l.dbc, ("Database=" + database + ";Timeout=1000;\0")
                    .getBytes(StandardCharsets.UTF_8), ec);
            int s = odbc.allocStmt(l.dbc, ec);
            odbc.execDirect(s, "CREATE TABLE IF NOT EXISTS t (i integer, d double, v varchar(20), x blob,"
                    + " ts timestamp, n numeric(10,2))");
            odbc.execDirect(s, "INSERT INTO t SELECT 7, 2.5, 'text', X'0AFF', '2001-02-03 04:05:06', 12.5"
                    + " WHERE NOT EXISTS (SELECT 1 FROM t)");
            odbc.freeStmt(s, 1);
            l.resultStmt = odbc.allocStmt(l.dbc, ec);
            odbc.execDirect(l.resultStmt, "SELECT i, d, v, x, ts, n FROM t");
            l.numCols = odbc.numResultCols(l.resultStmt, ec);
            int n = Math.max(l.numCols, 0);
            l.boundCols = odbc.allocAndBindAllCols(0, l.resultStmt, new int[n], new int[n], new int[n], new int[n],
                    ec, n);
            JdbcOdbcBoundCol[] objects = new JdbcOdbcBoundCol[n];
            for (int i = 0; i < n; ++i) objects[i] = new JdbcOdbcBoundCol();
            odbc.fetch(l.resultStmt, l.boundCols, objects, n);
            l.paramStmt = odbc.allocStmt(l.dbc, ec);
            odbc.prepare(l.paramStmt, "INSERT INTO t VALUES (?, ?, ?, ?, ?, ?)", ec);
            l.params = odbc.bindAllParams(l.paramStmt, new short[6], new short[6], new int[6], ec, 6);
            odbc.bindInParameterAtExec(l.params, l.paramStmt, 4, -4, -2, 8, new byte[4], new byte[4], ec, l.storage);
            return l;
        }

        void close() {
            byte[] ec = new byte[2];
            odbc.ReleaseStoredBytes(storage[0], storage[1]);
            odbc.ReleaseStoredBytes(storage[2], storage[3]);
            odbc.freeBoundParams(params, 6);
            odbc.freeBoundColBuffers(boundCols, numCols);
            odbc.freeStmt(paramStmt, 1);
            odbc.freeStmt(resultStmt, 1);
            odbc.transact(env, dbc, 1);
            odbc.disconnect(dbc, ec);
            odbc.freeConnect(dbc, ec);
            odbc.freeEnv(env, ec);
        }
    }

    // ---------------------------------------------------------------- arguments

    static Object[] arguments(Call c, Live live) {
        Parameter[] ps = c.method().getParameters();
        Object[] args = new Object[ps.length];
        boolean paramSide = false;
        for (Parameter p : ps) paramSide |= p.getName().equals("params");
        String n = c.method().getName();
        paramSide |= n.contains("aram") || n.startsWith("putData") || n.equals("execute") || n.contains("Batch");
        for (int i = 0; i < ps.length; ++i) args[i] = argument(ps[i], c.profile(), live, paramSide);
        return args;
    }

    static int intFor(String profile) {
        switch (profile) {
            case "zero":
            case "int=0":
                return 0;
            case "int=1000":
                return 1000;
            case "int=65537":
                return 65537;
            case "int=-1":
                return -1;
            case "int=MIN":
                return Integer.MIN_VALUE;
            case "int=MAX":
                return Integer.MAX_VALUE;
            default:
                return 1;
        }
    }

    /** The live value of a handle or token parameter, or null when the name is no such role. */
    static Integer liveRole(String name, Live l, boolean paramSide) {
        switch (name) {
            case "hEnv":
                return l.env;
            case "hDbc":
                return l.dbc;
            case "hStmt":
                return paramSide ? l.paramStmt : l.resultStmt;
            case "boundCols":
                return l.boundCols;
            case "params":
                return l.params;
            case "elements":
                return l.storage[0];
            case "arrayRef":
                return l.storage[1];
            default:
                return null;
        }
    }

    static boolean isRole(String name) {
        return name.startsWith("h") && name.length() > 1 && Character.isUpperCase(name.charAt(1))
                || name.equals("boundCols") || name.equals("params") || name.equals("elements")
                || name.equals("arrayRef");
    }

    static Object argument(Parameter p, String profile, Live live, boolean paramSide) {
        Class<?> t = p.getType();
        String name = p.getName();
        if (t == int.class) {
            if (live != null) {
                Integer role = liveRole(name, live, paramSide);
                if (role != null) return role;
                if ((name.equals("column") || name.equals("paramNumber") || name.equals("param"))
                        && !profile.startsWith("int=") && !profile.equals("zero"))
                    return 1;
            } else if (isRole(name) && !profile.equals("zero")) {
                return FORGED;
            }
            return intFor(profile);
        }
        if (t == long.class) return profile.equals("int=MIN") ? Long.MIN_VALUE : (long) intFor(profile);
        if (t == short.class) return (short) intFor(profile);
        if (t == double.class) return profile.equals("int=MAX") ? Double.NaN : (double) intFor(profile);
        if (t == float.class) return profile.equals("int=MAX") ? Float.NaN : (float) intFor(profile);
        if (t == boolean.class) return profile.equals("zero");
        if (profile.equals("null")) return null;
        int length = profile.equals("empty") ? 0 : profile.equals("one") ? 1 : 64;
        if (t == byte[].class) {
            byte[] b = new byte[length];
            if (profile.equals("unterminated")) Arrays.fill(b, (byte) 'A');
            else if (length > 9) System.arraycopy("SELECT 1\0".getBytes(StandardCharsets.US_ASCII), 0, b, 0, 9);
            return b;
        }
        if (t == String.class) return profile.equals("empty") ? "" : "SELECT 1";
        if (t == String[].class) {
            String[] s = new String[length];
            Arrays.fill(s, "SELECT 1");
            return s;
        }
        if (t == JdbcOdbcBoundCol[].class) {
            JdbcOdbcBoundCol[] a = new JdbcOdbcBoundCol[length];
            for (int i = 0; i < length; ++i) a[i] = new JdbcOdbcBoundCol();
            return a;
        }
        if (t == QuorvaneXid[].class) return new QuorvaneXid[length];
        if (t == RetVal.class) return new RetVal();
        if (t == QuorvaneXAError.class) return new QuorvaneXAError();
        if (t == Object.class) return profile.equals("wrongclass") ? (Object) "not a statement" : new Object();
        if (t == Object[].class) {
            Object[] a = new Object[length];
            // Columns of the wrong kind where arrays of values are expected.
            for (int i = 0; i < length; ++i)
                a[i] = profile.equals("wrongclass") ? (Object) "x" : (Object) new long[length];
            return a;
        }
        if (t.isArray()) return Array.newInstance(t.getComponentType(), length);
        throw new IllegalStateException("no argument for " + t + " " + name);
    }
}
