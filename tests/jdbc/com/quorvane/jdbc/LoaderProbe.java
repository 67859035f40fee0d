package com.quorvane.jdbc;

import java.sql.Connection;
import java.sql.DriverManager;

/** Run in a JVM of its own by the loader test: connects and prints where the library came from. */
public final class LoaderProbe {
    private LoaderProbe() {}

    public static void main(String[] args) throws Exception {
        try (Connection c = DriverManager.getConnection("jdbc:quorvane:")) {
            System.out.println("valid=" + c.isValid(2));
        }
        System.out.println("from=" + NativeLoader.loadedFrom());
    }
}
