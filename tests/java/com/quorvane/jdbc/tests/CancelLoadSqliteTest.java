package com.quorvane.jdbc.tests;

import java.nio.file.Files;
import java.nio.file.Path;

/** Cancels from other Java threads under load on SQLite's engine (one database file for all workers). */
public final class CancelLoadSqliteTest {
    private CancelLoadSqliteTest() {}

    public static void main(String[] args) throws Exception {
        Check check = new Check("CancelLoadSqliteTest");
        Path dir = Files.createTempDirectory("qvjdbc-cancel");
        Path db = dir.resolve("load.db");
        CancelLoad.run(check, "SQLite", "Database=" + db + ";SyncPragma=OFF;", 500);
        Files.deleteIfExists(db);
        Files.deleteIfExists(dir);
        check.finish();
    }
}
