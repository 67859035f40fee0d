package com.quorvane.jdbc.example;

import com.quorvane.jdbc.JdbcOdbcClient;

/** The example program: for now it loads the native library and prints its version. */
public final class Query {
    private Query() {}

    public static void main(String[] args) {
        JdbcOdbcClient client = new JdbcOdbcClient();
        client.initIDs();
        System.out.println("qvJdbcCS70 native library, product version " + client.getFullZirUrorVersion()
                + (client.isLittleEndianPlatform() ? " (little-endian platform)" : ""));
    }
}
