package com.quorvane.jdbc.tests;

import com.quorvane.jdbc.JdbcOdbcBoundCol;
import com.quorvane.jdbc.JdbcOdbcClient;
import com.quorvane.jdbc.RetVal;

import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Random;
import java.util.TreeMap;
import java.util.TreeSet;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.atomic.AtomicIntegerArray;

/**
 * Cancels from other Java threads under load, through the natives as the
 * driver's Java side calls them: 8 worker threads on connections of their own
 * insert rows and read them back (bound columns, fetch, getString) while 2
 * threads cancel the workers' statements at random moments. Every statement
 * must succeed or fail with a diagnostic record, every value read must be the
 * value written, and every table must hold exactly the rows whose inserts
 * succeeded. QVT_CANCEL_LOAD_STATEMENTS sets the statements per worker.
 */
final class CancelLoad {
    private CancelLoad() {}

    static final int WORKERS = 8;
    static final int CANCELLERS = 2;
    static final int STATEMENT_LIFE = 50;

    static final JdbcOdbcClient odbc = new JdbcOdbcClient();

    static final AtomicInteger succeeded = new AtomicInteger();
    static final AtomicInteger failed = new AtomicInteger();
    static final AtomicInteger failedWithoutRecord = new AtomicInteger();
    static final AtomicInteger wrongValues = new AtomicInteger();
    static final AtomicInteger cancels = new AtomicInteger();
    static final Map<String, AtomicInteger> states = new ConcurrentHashMap<>();
    static final Map<String, String> problems = new ConcurrentHashMap<>();

    static int statementsPerWorker(int fallback) {
        String v = System.getenv("QVT_CANCEL_LOAD_STATEMENTS");
        try {
            int n = v == null ? 0 : Integer.parseInt(v);
            return n > 0 ? n : fallback;
        } catch (NumberFormatException e) {
            return fallback;
        }
    }

    static byte[] zstr(String s) {
        return (s + "\0").getBytes(StandardCharsets.UTF_8);
    }

    static String valueFor(int id) {
        return "value-" + id + "-" + "x".repeat(id % 17);
    }

    static boolean ok(int rc) {
        return rc == 0 || rc == 1;
    }

    /** A failed call: its statement must hold a diagnostic record. */
    static void failure(int stmt, String where) {
        failed.incrementAndGet();
        byte[] state = new byte[6];
        byte[] msg = new byte[512];
        byte[] ec = new byte[2];
        odbc.error(0, 0, stmt, state, msg, ec);
        if (!ok(ec[0])) {
            failedWithoutRecord.incrementAndGet();
            problems.putIfAbsent(where, "failed without a diagnostic record");
            return;
        }
        states.computeIfAbsent(new String(state, 0, 5, StandardCharsets.US_ASCII), k -> new AtomicInteger())
                .incrementAndGet();
    }

    static int newStatement(int dbc) {
        byte[] ec = new byte[2];
        return odbc.allocStmt(dbc, ec);
    }

    /**
     * Reads `SELECT id, v` through bound columns; adds the ids read to `seen`.
     * False when a call failed (the failure is counted).
     */
    static boolean readRows(int stmt, String sql, TreeSet<Integer> inserted, TreeSet<Integer> seen, String where) {
        byte[] ec = new byte[2];
        if (!ok(odbc.execDirect(stmt, sql))) {
            failure(stmt, where + " (query)");
            return false;
        }
        int n = odbc.numResultCols(stmt, ec);
        if (!ok(ec[0]) || n != 2) {
            failure(stmt, where + " (columns)");
            return false;
        }
        int[] sqlTypes = new int[n], driverTypes = new int[n], lengths = new int[n], cTypes = new int[n];
        odbc.getStmtTypeInfo(0, stmt, sqlTypes, driverTypes, lengths, ec, n);
        if (!ok(ec[0])) {
            failure(stmt, where + " (describe)");
            return false;
        }
        int cols = odbc.allocAndBindAllCols(0, stmt, sqlTypes, driverTypes, lengths, cTypes, ec, n);
        if (cols == 0 || !ok(ec[0])) {
            if (cols != 0) odbc.freeBoundColBuffers(cols, n);
            failure(stmt, where + " (bind)");
            return false;
        }
        JdbcOdbcBoundCol[] objs = {new JdbcOdbcBoundCol(), new JdbcOdbcBoundCol()};
        RetVal rv = new RetVal();
        boolean good = true;
        while (true) {
            int rc = odbc.fetch(stmt, cols, objs, n);
            if (rc == 100) break;
            if (!ok(rc)) {
                failure(stmt, where + " (fetch)");
                good = false;
                break;
            }
            int id = odbc.getInteger(cols, ec, 1);
            odbc.getString(cols, 2, rv, cTypes[1]);
            seen.add(id);
            if (inserted != null && (!inserted.contains(id) || !valueFor(id).equals(rv.obj))) {
                wrongValues.incrementAndGet();
                problems.putIfAbsent(where + " id " + id, "read '" + rv.obj + "'");
            }
        }
        odbc.freeStmt(stmt, 0);
        odbc.freeStmt(stmt, 2);
        odbc.freeBoundColBuffers(cols, n);
        return good;
    }

    static TreeSet<Integer> work(int w, int dbc, String table, int statements, AtomicIntegerArray published) {
        TreeSet<Integer> inserted = new TreeSet<>();
        int stmt = newStatement(dbc);
        published.set(w, stmt);
        for (int i = 0; i < statements; ++i) {
            if (i > 0 && i % STATEMENT_LIFE == 0) {
                odbc.freeStmt(stmt, 1);
                stmt = newStatement(dbc);
                published.set(w, stmt);
            }
            String where = "worker " + w + " statement " + i;
            if (i % 4 != 3) {
                if (ok(odbc.execDirect(stmt, "INSERT INTO " + table + " VALUES (" + i + ", '" + valueFor(i) + "')"))) {
                    succeeded.incrementAndGet();
                    inserted.add(i);
                } else {
                    failure(stmt, where + " (insert)");
                }
                odbc.freeStmt(stmt, 0);
                continue;
            }
            TreeSet<Integer> seen = new TreeSet<>();
            if (readRows(stmt, "SELECT id, v FROM " + table + " WHERE id > " + (i - 12) + " ORDER BY id", inserted,
                    seen, where)) {
                succeeded.incrementAndGet();
                for (int id : inserted.tailSet(i - 12, false)) {
                    if (!seen.contains(id)) {
                        wrongValues.incrementAndGet();
                        problems.putIfAbsent(where + " row " + id, "missing from the query");
                    }
                }
            }
        }
        published.set(w, 0);
        odbc.freeStmt(stmt, 1);
        return inserted;
    }

    static void run(Check check, String label, String connStr, int defaultStatements) throws Exception {
        odbc.initIDs();
        final int statements = statementsPerWorker(defaultStatements);
        byte[] ec = new byte[2];
        int env = odbc.allocEnv(ec);
        int[] dbcs = new int[WORKERS];
        String[] tables = new String[WORKERS];
        for (int w = 0; w < WORKERS; ++w) {
            dbcs[w] = odbc.allocConnect(env, ec);
            odbc.driverConnect(dbcs[w], zstr(connStr), ec);
            check.isTrue(ok(ec[0]), "connect worker " + w);
            tables[w] = "cancel_java_" + ProcessHandle.current().pid() + "_" + w;
            int s = newStatement(dbcs[w]);
            odbc.execDirect(s, "DROP TABLE IF EXISTS " + tables[w]);
            check.equal((short) 0, odbc.execDirect(s, "CREATE TABLE " + tables[w] + " (id integer PRIMARY KEY,"
                    + " v varchar(40))"), "create " + tables[w]);
            odbc.freeStmt(s, 1);
        }
        AtomicIntegerArray published = new AtomicIntegerArray(WORKERS);
        AtomicInteger running = new AtomicInteger(WORKERS);
        List<TreeSet<Integer>> inserted = new ArrayList<>();
        for (int w = 0; w < WORKERS; ++w) inserted.add(null);
        long started = System.nanoTime();
        Thread[] cancellers = new Thread[CANCELLERS];
        for (int k = 0; k < CANCELLERS; ++k) {
            final Random rng = new Random(7919L * k + 1);
            cancellers[k] = new Thread(() -> {
                while (running.get() > 0) {
                    int h = published.get(rng.nextInt(WORKERS));
                    if (h != 0) {
                        odbc.cancel(h);
                        cancels.incrementAndGet();
                    }
                    try {
                        Thread.sleep(0, 100000 + rng.nextInt(900000));
                    } catch (InterruptedException e) {
                        return;
                    }
                }
            });
            cancellers[k].start();
        }
        Thread[] workers = new Thread[WORKERS];
        for (int w = 0; w < WORKERS; ++w) {
            final int id = w;
            workers[w] = new Thread(() -> {
                inserted.set(id, work(id, dbcs[id], tables[id], statements, published));
                running.decrementAndGet();
            });
            workers[w].start();
        }
        for (Thread t : workers) t.join();
        for (Thread t : cancellers) t.join();
        double seconds = (System.nanoTime() - started) / 1e9;

        for (int w = 0; w < WORKERS; ++w) {
            int s = newStatement(dbcs[w]);
            TreeSet<Integer> rows = new TreeSet<>();
            check.isTrue(readRows(s, "SELECT id, v FROM " + tables[w] + " ORDER BY id", inserted.get(w), rows,
                    "final read " + w), "read table " + w);
            check.equal(inserted.get(w), rows, "table " + w + " holds exactly the rows whose inserts succeeded");
            odbc.execDirect(s, "DROP TABLE " + tables[w]);
            odbc.freeStmt(s, 1);
            odbc.disconnect(dbcs[w], ec);
            odbc.freeConnect(dbcs[w], ec);
        }
        odbc.freeEnv(env, ec);

        Map<String, Integer> seenStates = new TreeMap<>();
        states.forEach((k, v) -> seenStates.put(k, v.get()));
        System.out.printf("%s: %d statements in %.1f s: %d succeeded, %d failed %s, %d cancels%n", label,
                WORKERS * statements, seconds, succeeded.get(), failed.get(), seenStates, cancels.get());
        problems.forEach((k, v) -> check.fail(k + ": " + v));
        check.equal(WORKERS * statements, succeeded.get() + failed.get(), "every statement counted once");
        check.equal(0, failedWithoutRecord.get(), "failures without a diagnostic record");
        check.equal(0, wrongValues.get(), "values read that were not written");
        check.isTrue(succeeded.get() > 0 && cancels.get() > 0, "statements ran and cancels came");
    }
}
