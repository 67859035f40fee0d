package com.quorvane.jdbc;

import java.sql.Connection;
import java.sql.Driver;
import java.sql.DriverManager;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.util.Enumeration;
import java.util.Properties;

/**
 * The driver as an application in a class loader of its own uses it (loaded
 * by TwoLoadersProbe into each loader): a query, and the deregistration an
 * application does when it is undeployed.
 */
public final class LoaderGuest {
    private LoaderGuest() {}

    /** Connects to the embedded default and answers the query's value and where the library was loaded from. */
    public static String use() throws SQLException {
        Driver d = new JdbcOdbcDriver();
        try (Connection c = d.connect("jdbc:quorvane:", new Properties()); Statement s = c.createStatement();
             ResultSet rs = s.executeQuery("SELECT 41 + 1")) {
            rs.next();
            return rs.getString(1) + "@" + NativeLoader.privateFolder();
        }
    }

    /** Deregisters the drivers of this class loader. */
    public static String deregister() throws SQLException {
        int n = 0;
        for (Enumeration<Driver> e = DriverManager.getDrivers(); e.hasMoreElements();) {
            Driver d = e.nextElement();
            if (d.getClass().getClassLoader() == LoaderGuest.class.getClassLoader()) {
                DriverManager.deregisterDriver(d);
                n++;
            }
        }
        return Integer.toString(n);
    }
}
