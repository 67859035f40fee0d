package com.quorvane.jdbc.tests;

/** Cancels from other Java threads under load on PostgreSQL. */
public final class CancelLoadPostgresTest {
    private CancelLoadPostgresTest() {}

    public static void main(String[] args) throws Exception {
        Check check = new Check("CancelLoadPostgresTest");
        String cs = "Driver=" + System.getenv("QVT_PG_DRIVER") + ";Servername=" + System.getenv("QVT_PG_HOST")
                + ";Port=" + System.getenv("QVT_PG_PORT") + ";Database=qvjdbc;Uid=postgres;Pwd=;";
        CancelLoad.run(check, "PostgreSQL", cs, 500);
        check.finish();
    }
}
