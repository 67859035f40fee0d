package com.quorvane.jdbc.tests;

import com.quorvane.jdbc.JdbcOdbcBoundCol;
import com.quorvane.jdbc.JdbcOdbcClient;
import com.quorvane.jdbc.RetVal;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;

/**
 * Result retrieval through the Java class in a plain JVM, on SQLite: every
 * retrieval native is linked by the JVM itself and called the way the driver's
 * Java side calls it.
 */
public final class ResultsSqliteTest {
    private ResultsSqliteTest() {}

    public static void main(String[] args) throws Exception {
        Check check = new Check("ResultsSqliteTest");
        JdbcOdbcClient odbc = new JdbcOdbcClient();
        odbc.initIDs();
        byte[] ec = new byte[2];
        Path dir = Files.createTempDirectory("qvjdbc-results");
        Path db = dir.resolve("r.db");
        int env = odbc.allocEnv(ec);
        int dbc = odbc.allocConnect(env, ec);
        odbc.driverConnect(dbc, ("Database=" + db + ";\0").getBytes(StandardCharsets.UTF_8), ec);
        check.equal((byte) 0, ec[0], "connect");
        int stmt = odbc.allocStmt(dbc, ec);
        odbc.execDirect(stmt,
            "CREATE TABLE t (i integer, s smallint, b bigint, d double, v varchar(20), x blob,"
                + " dt date, tm time, ts timestamp)");
        odbc.execDirect(stmt,
            "INSERT INTO t VALUES (7, -3, 9000000000, 2.5, 'caf' || char(233) || char(128512),"
                + " X'0AFF', '2024-02-29', '13:45:07.25', '2001-02-03 04:05:06.5')");
        odbc.execDirect(stmt, "INSERT INTO t VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
        check.equal((short) 0, odbc.execDirect(stmt, "SELECT * FROM t ORDER BY i DESC"), "select");
        int n = odbc.numResultCols(stmt, ec);
        int[] sqlTypes = new int[n], driverTypes = new int[n], lengths = new int[n], cTypes = new int[n];
        odbc.getStmtTypeInfo(0, stmt, sqlTypes, driverTypes, lengths, ec, n);
        check.equal(-389, driverTypes[8], "timestamp driver type");
        check.equal(-392, driverTypes[7], "time driver type: text");
        int cols = odbc.allocAndBindAllCols(0, stmt, sqlTypes, driverTypes, lengths, cTypes, ec, n);
        check.isTrue(cols != 0, "bound-column array");
        odbc.justReBindAllCols(stmt, cols, n, ec);
        check.equal((byte) 0, ec[1], "rebind");
        byte[] name = new byte[32];
        odbc.colAttributesString(stmt, 5, 1, name);
        check.equal("v", new String(name, 0, 1, StandardCharsets.US_ASCII), "column name");
        check.equal(12, odbc.colAttributes(stmt, 5, 2 /* SQL_COLUMN_TYPE */, ec), "column type SQL_VARCHAR");
        JdbcOdbcBoundCol[] objs = new JdbcOdbcBoundCol[n];
        for (int i = 0; i < n; i++) objs[i] = new JdbcOdbcBoundCol();

        check.equal(0, odbc.fetch(stmt, cols, objs, n), "fetch row 1");
        // SQLite integers are described as 64-bit, whatever the column declares.
        check.isTrue(objs[0].hasCachedValue && objs[0].cachedLong == 7, "cached integer");
        check.equal(-3L, objs[1].cachedLong, "cached smallint");
        check.equal(9000000000L, objs[2].cachedLong, "cached long");
        check.equal(2.5, objs[3].cachedDouble, "cached double");
        check.equal(7, odbc.getInteger(cols, ec, 1), "getInteger");
        check.equal((short) -3, odbc.getShort(cols, ec, 2), "getShort");
        check.equal(9000000000L, odbc.getLong(cols, ec, 3), "getLong");
        check.equal(2.5, odbc.getDouble(cols, ec, 4), "getDouble");
        RetVal rv = new RetVal();
        odbc.getString(cols, 5, rv, cTypes[4]);
        check.equal("caf\u00e9\uD83D\uDE00", rv.obj, "getString beyond ASCII");
        byte[] bytes = new byte[2];
        odbc.getBytes(cols, bytes, ec, 6);
        check.isTrue(bytes[0] == 0x0A && bytes[1] == (byte) 0xFF, "getBytes");
        byte[] hex = new byte[4];
        odbc.getStream(cols, hex, ec, 6, 21);
        check.equal("0AFF", new String(hex, StandardCharsets.US_ASCII), "getStream hexadecimal");
        int[] v = new int[7];
        odbc.getDate(cols, ec, 7, v);
        check.isTrue(v[0] == 2024 && v[1] == 2 && v[2] == 29, "getDate");
        // A time is bound as its text, with the fraction the time structure has no room for.
        check.equal(1, cTypes[7], "time bound as SQL_C_CHAR");
        odbc.getString(cols, 8, rv, cTypes[7]);
        check.equal("13:45:07.25", rv.obj, "time text with its fraction");
        odbc.getTimestamp(cols, ec, 9, v);
        check.isTrue(v[0] == 2001 && v[5] == 6 && v[6] == 500000000, "getTimestamp");
        check.equal(0L, odbc.getTimestampRaw(cols, ec, 9), "getTimestampRaw of an inline timestamp");
        check.equal((byte) -97, ec[1], "has no 8-byte form to read");
        // Unbound reads of the same row.
        check.equal(7, odbc.getDataInteger(stmt, cols, 1, ec), "getDataInteger");
        check.equal((short) -3, odbc.getDataShort(stmt, cols, 2, ec), "getDataShort");
        check.equal(9000000000L, odbc.getDataLong(stmt, cols, 3, ec), "getDataLong");
        check.equal(2.5, odbc.getDataDouble(stmt, cols, 4, ec), "getDataDouble");
        char[] chars = new char[64];
        int len = odbc.getDataString(stmt, cols, 5, chars, ec, sqlTypes[4]);
        check.equal("caf\u00e9\uD83D\uDE00", new String(chars, 0, len), "getDataString beyond ASCII");
        odbc.getString(cols, 5, rv, cTypes[4]);
        check.equal("caf\u00e9\uD83D\uDE00", rv.obj, "getString sees the value read");
        byte[] piece = new byte[8];
        check.equal(2, odbc.getDataStream(stmt, cols, 6, -2, piece, 2, 22, ec), "getDataStream");
        check.equal("\0000\000A\000F\000F", new String(piece, StandardCharsets.ISO_8859_1), "wide hexadecimal");
        check.equal(2, odbc.getDataLength(cols, ec, 6), "getDataLength");
        odbc.getDataDate(stmt, cols, 7, v, ec);
        check.equal(29, v[2], "getDataDate");
        odbc.getDataTime(stmt, cols, 8, v, ec);
        check.equal(7, v[2], "getDataTime");
        odbc.getDataTimestamp(stmt, cols, 9, v, ec);
        check.equal(500000000, v[6], "getDataTimestamp");
        check.equal(2.5f, odbc.getDataFloat(stmt, cols, 4, ec), "getDataFloat");
        odbc.getDataTimestampRaw(stmt, cols, ec, 1);
        check.equal((byte) 0, ec[1], "getDataTimestampRaw reads 8 bytes");
        check.equal(-4, odbc.bindCol(stmt, cols, 99, 4, 1, ec), "bindCol refuses an unlisted type");

        check.equal(0, odbc.fetch(stmt, cols, objs, n), "fetch row 2");
        check.isTrue(objs[4].cachedNull && objs[4].hasCachedValue, "a NULL text is cached");
        check.equal(null, odbc.getBigDecimal(cols, 5), "getBigDecimal of NULL");
        check.equal(0, odbc.getDataBinary(stmt, cols, 6, -2, bytes, 2, ec) + 1, "getDataBinary of NULL is -1");
        check.equal(100, odbc.fetch(stmt, cols, objs, n), "end of rows");
        try {
            odbc.getBigDecimal(0, 1);
            check.fail("getBigDecimal without an array raises the assignment error");
        } catch (Exception e) {
            check.isTrue(
                e instanceof java.sql.SQLException && "22005".equals(((java.sql.SQLException) e).getSQLState()),
                "assignment error: " + e);
        }
        odbc.freeStmt(stmt, 0);
        odbc.freeStmt(stmt, 2);
        odbc.freeBoundColBuffers(cols, n);
        odbc.freeBoundColBuffers(cols, n);
        odbc.freeStmt(stmt, 1);
        odbc.disconnect(dbc, ec);
        odbc.freeConnect(dbc, ec);
        odbc.freeEnv(env, ec);
        Files.deleteIfExists(db);
        Files.deleteIfExists(dir);
        check.finish();
    }
}
