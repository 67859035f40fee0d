package com.quorvane.jdbc.tests;

import java.nio.file.Files;
import java.nio.file.Path;

/** Cancels from other Java threads under load on SQLite (one database file for all workers). */
public final class CancelLoadSqliteTest {
    private CancelLoadSqliteTest() {}

    public static void main(String[] args) throws Exception {
        Check check = new Check("CancelLoadSqliteTest");
        Path dir = Files.createTempDirectory("qvjdbc-cancel");
        Path db = dir.resolve("load.db");
        String driver = System.getenv().getOrDefault("QVT_SQLITE_DRIVER",
                "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so");
        CancelLoad.run(check, "SQLite", "Driver=" + driver + ";Database=" + db + ";SyncPragma=OFF;", 500);
        Files.deleteIfExists(db);
        Files.deleteIfExists(dir);
        check.finish();
    }
}
