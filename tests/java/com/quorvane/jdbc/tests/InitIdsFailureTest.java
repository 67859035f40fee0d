package com.quorvane.jdbc.tests;

import com.quorvane.jdbc.JdbcOdbcBoundCol;
import com.quorvane.jdbc.JdbcOdbcClient;

/**
 * Runs with the variant classes before the driver's on the class path: its
 * JdbcOdbcBoundCol lacks cachedShort, so initIDs throws NoSuchFieldError.
 */
public final class InitIdsFailureTest {
    private InitIdsFailureTest() {}

    public static void main(String[] args) {
        Check check = new Check("InitIdsFailureTest");
        boolean variant = true;
        try {
            JdbcOdbcBoundCol.class.getField("cachedShort");
            variant = false;
        } catch (NoSuchFieldException expected) {
            // the variant is in place
        }
        check.isTrue(variant, "the class path puts the variant JdbcOdbcBoundCol first");

        JdbcOdbcClient client = new JdbcOdbcClient();
        try {
            client.initIDs();
            check.fail("initIDs returned normally");
        } catch (NoSuchFieldError e) {
            check.isTrue(String.valueOf(e.getMessage()).contains("cachedShort"),
                    "the error names the missing field: " + e.getMessage());
        }
        check.finish();
    }
}
