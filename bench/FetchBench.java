import com.quorvane.jdbc.JdbcOdbcBoundCol;
import com.quorvane.jdbc.JdbcOdbcClient;
import com.quorvane.jdbc.RetVal;

/**
 * Rows per second of a simple 1M-row fetch from SQLite through the natives, as
 * the driver's Java side reads it: allocAndBindAllCols once, then per row one
 * fetch (the integer and the double arrive cached) and, in the second pass,
 * getString for the text column. A last pass unbinds the text column and
 * reads it in each row with getDataString into a 4,096-character buffer.
 *
 *   java -Djava.library.path=BUILD -cp BUILD/java/classes:BUILD/bench/classes FetchBench DATABASE_FILE
 *
 * The database is the one fetch_bench made (run that first).
 */
public final class FetchBench {
    private FetchBench() {}

    public static void main(String[] args) {
        JdbcOdbcClient odbc = new JdbcOdbcClient();
        odbc.initIDs();
        byte[] ec = new byte[2];
        int env = odbc.allocEnv(ec);
        int dbc = odbc.allocConnect(env, ec);
        String conn = "Driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;Database=" + args[0] + ";\0";
        odbc.driverConnect(dbc, conn.getBytes(java.nio.charset.StandardCharsets.UTF_8), ec);
        if (ec[0] != 0 && ec[0] != 1) throw new IllegalStateException("cannot connect");
        for (int pass = 0; pass < 4; pass++) {
            boolean strings = pass % 2 == 1;
            int stmt = odbc.allocStmt(dbc, ec);
            long start = System.nanoTime();
            odbc.execDirect(stmt, "SELECT id, name, price FROM bench");
            int n = odbc.numResultCols(stmt, ec);
            int[] sqlTypes = new int[n], driverTypes = new int[n], lengths = new int[n], cTypes = new int[n];
            int cols = odbc.allocAndBindAllCols(0, stmt, sqlTypes, driverTypes, lengths, cTypes, ec, n);
            JdbcOdbcBoundCol[] objs = new JdbcOdbcBoundCol[n];
            for (int i = 0; i < n; i++) objs[i] = new JdbcOdbcBoundCol();
            RetVal rv = new RetVal();
            long rows = 0, chars = 0;
            double sum = 0;
            while (odbc.fetch(stmt, cols, objs, n) == 0) {
                rows++;
                sum += objs[2].cachedDouble + objs[0].cachedLong;  // SQLite integers are 64-bit
                if (strings) {
                    odbc.getString(cols, 2, rv, cTypes[1]);
                    chars += ((String) rv.obj).length();
                }
            }
            double secs = (System.nanoTime() - start) / 1e9;
            odbc.freeStmt(stmt, 2);
            odbc.freeBoundColBuffers(cols, n);
            odbc.freeStmt(stmt, 1);
            if (pass >= 2)
                System.out.printf("Java natives, fetch%s: %d rows in %.3f s = %.0f rows/s (checksum %.1f, %d chars)%n",
                        strings ? " + getString" : " (cached values)", rows, secs, rows / secs, sum, chars);
        }
        char[] text = new char[4096];
        for (int pass = 0; pass < 2; pass++) {
            int stmt = odbc.allocStmt(dbc, ec);
            long start = System.nanoTime();
            odbc.execDirect(stmt, "SELECT name FROM bench");
            int[] sqlTypes = new int[1], driverTypes = new int[1], lengths = new int[1], cTypes = new int[1];
            int cols = odbc.allocAndBindAllCols(0, stmt, sqlTypes, driverTypes, lengths, cTypes, ec, 1);
            odbc.freeStmt(stmt, 2); // unbound: the values come through getDataString
            long rows = 0, chars = 0;
            while (odbc.fetch(stmt, cols, null, 1) == 0) {
                rows++;
                chars += odbc.getDataString(stmt, cols, 1, text, ec, sqlTypes[0]);
            }
            double secs = (System.nanoTime() - start) / 1e9;
            odbc.freeBoundColBuffers(cols, 1);
            odbc.freeStmt(stmt, 1);
            if (pass == 1)
                System.out.printf("Java natives, fetch + getDataString: %d rows in %.3f s = %.0f rows/s (%d chars)%n",
                        rows, secs, rows / secs, chars);
        }
        odbc.disconnect(dbc, ec);
        odbc.freeConnect(dbc, ec);
        odbc.freeEnv(env, ec);
    }
}
