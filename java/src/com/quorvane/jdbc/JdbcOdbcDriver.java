package com.quorvane.jdbc;

import java.sql.Connection;
import java.sql.Driver;
import java.sql.DriverManager;
import java.sql.DriverPropertyInfo;
import java.sql.SQLException;
import java.sql.SQLFeatureNotSupportedException;
import java.util.Locale;
import java.util.Properties;
import java.util.logging.Logger;

/**
 * The JDBC driver for {@code jdbc:quorvane:} URLs. What follows the prefix is
 * an ODBC connection string, handed to the data source as it is:
 * <pre>
 * jdbc:quorvane:Driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;Database=/tmp/x.db
 * jdbc:quorvane:DSN=name
 * </pre>
 * The properties {@code user} and {@code password} become {@code UID} and
 * {@code PWD} (in braces when the value needs them) unless the string has
 * its own. {@code jdbc:quorvane:} alone opens the embedded default: a SQLite
 * database in the file that the property {@value #DATABASE_PROPERTY} names
 * (or the system property {@code quorvane.jdbc.database}), otherwise one in
 * memory. The property {@value #LOGIN_TIMEOUT_PROPERTY} (seconds) overrides
 * {@link DriverManager#getLoginTimeout()}.
 */
public class JdbcOdbcDriver implements Driver {
    /** The URL prefix. */
    public static final String PREFIX = "jdbc:quorvane:";
    /** Property naming the SQLite file of the embedded default. */
    public static final String DATABASE_PROPERTY = "database";
    /** Property naming the SQLite ODBC driver of the embedded default. */
    public static final String SQLITE_DRIVER_PROPERTY = "sqliteDriver";
    /** Property: login timeout in seconds. */
    public static final String LOGIN_TIMEOUT_PROPERTY = "loginTimeout";
    /** Where Debian's libsqliteodbc installs the SQLite 3 ODBC driver. */
    public static final String DEFAULT_SQLITE_DRIVER = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

    static final String NAME = "Quorvane JDBC-ODBC driver";
    static final int MAJOR = 1, MINOR = 0;

    static {
        try {
            DriverManager.registerDriver(new JdbcOdbcDriver());
        } catch (SQLException e) {
            throw new ExceptionInInitializerError(e);
        }
    }

    /** Makes a driver; {@link DriverManager} finds one through the service registration. */
    public JdbcOdbcDriver() {}

    @Override
    public boolean acceptsURL(String url) {
        return url != null && url.regionMatches(true, 0, PREFIX, 0, PREFIX.length());
    }

    @Override
    public Connection connect(String url, Properties info) throws SQLException {
        if (!acceptsURL(url)) return null;
        Properties p = info == null ? new Properties() : info;
        String connStr = connectionString(url, p);
        int timeout = DriverManager.getLoginTimeout();
        String t = p.getProperty(LOGIN_TIMEOUT_PROPERTY);
        if (t != null) {
            try {
                timeout = Integer.parseInt(t.trim());
            } catch (NumberFormatException e) {
                throw JdbcOdbcErrors.of("loginTimeout is not a number: " + t, "HY024");
            }
        }
        return JdbcOdbcConnection.open(url, connStr, p.getProperty("user"), timeout);
    }

    /** The ODBC connection string of a URL and its properties. */
    static String connectionString(String url, Properties info) {
        String rest = url.substring(PREFIX.length()).trim();
        StringBuilder s = new StringBuilder();
        if (rest.isEmpty()) {
            String driver = info.getProperty(SQLITE_DRIVER_PROPERTY, DEFAULT_SQLITE_DRIVER);
            String db = info.getProperty(DATABASE_PROPERTY, System.getProperty("quorvane.jdbc.database", ":memory:"));
            s.append("Driver=").append(braced(driver)).append(";Database=").append(braced(db)).append(';');
        } else {
            s.append(rest);
            if (!rest.endsWith(";")) s.append(';');
        }
        String user = info.getProperty("user");
        String password = info.getProperty("password");
        if (user != null && !hasKey(rest, "UID") && !hasKey(rest, "USER") && !hasKey(rest, "USERNAME")) {
            s.append("UID=").append(braced(user)).append(';');
        }
        if (password != null && !hasKey(rest, "PWD") && !hasKey(rest, "PASSWORD")) {
            s.append("PWD=").append(braced(password)).append(';');
        }
        return s.toString();
    }

    /** Whether a connection string has the attribute {@code key} (without regard to case). */
    static boolean hasKey(String connStr, String key) {
        for (String part : attributes(connStr)) {
            int eq = part.indexOf('=');
            if (eq > 0 && part.substring(0, eq).trim().equalsIgnoreCase(key)) return true;
        }
        return false;
    }

    /** The attributes of a connection string, braces respected. */
    private static java.util.List<String> attributes(String s) {
        java.util.List<String> parts = new java.util.ArrayList<>();
        int start = 0;
        boolean inBraces = false;
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            if (inBraces) {
                if (c == '}') {
                    if (i + 1 < s.length() && s.charAt(i + 1) == '}') i++;
                    else inBraces = false;
                }
            } else if (c == '{') {
                inBraces = true;
            } else if (c == ';') {
                parts.add(s.substring(start, i));
                start = i + 1;
            }
        }
        if (start < s.length()) parts.add(s.substring(start));
        return parts;
    }

    /** A value for a connection string: in braces when it holds ; { } or spaces at its ends. */
    static String braced(String v) {
        if (v.isEmpty() || v.indexOf(';') >= 0 || v.indexOf('{') >= 0 || v.indexOf('}') >= 0
                || !v.equals(v.trim()) || v.indexOf('=') >= 0) {
            return "{" + v.replace("}", "}}") + "}";
        }
        return v;
    }

    @Override
    public DriverPropertyInfo[] getPropertyInfo(String url, Properties info) {
        Properties p = info == null ? new Properties() : info;
        DriverPropertyInfo user = new DriverPropertyInfo("user", p.getProperty("user"));
        user.description = "The user name, sent as UID";
        DriverPropertyInfo password = new DriverPropertyInfo("password", p.getProperty("password"));
        password.description = "The password, sent as PWD";
        DriverPropertyInfo timeout = new DriverPropertyInfo(LOGIN_TIMEOUT_PROPERTY, p.getProperty(LOGIN_TIMEOUT_PROPERTY));
        timeout.description = "Seconds to wait for the connection (0: the data source's default)";
        boolean embedded = url != null && acceptsURL(url) && url.substring(PREFIX.length()).trim().isEmpty();
        if (!embedded) return new DriverPropertyInfo[] {user, password, timeout};
        DriverPropertyInfo db = new DriverPropertyInfo(DATABASE_PROPERTY, p.getProperty(DATABASE_PROPERTY));
        db.description = "The SQLite file of the embedded default (in memory when absent)";
        DriverPropertyInfo drv = new DriverPropertyInfo(SQLITE_DRIVER_PROPERTY,
                p.getProperty(SQLITE_DRIVER_PROPERTY, DEFAULT_SQLITE_DRIVER));
        drv.description = "The SQLite ODBC driver's shared object";
        return new DriverPropertyInfo[] {user, password, timeout, db, drv};
    }

    @Override
    public int getMajorVersion() {
        return MAJOR;
    }

    @Override
    public int getMinorVersion() {
        return MINOR;
    }

    /** Not compliant: the JDBC API is carried out only where the data sources allow (see the README). */
    @Override
    public boolean jdbcCompliant() {
        return false;
    }

    @Override
    public Logger getParentLogger() throws SQLFeatureNotSupportedException {
        throw JdbcOdbcErrors.notSupported("java.util.logging");
    }

    @Override
    public String toString() {
        return NAME + " " + MAJOR + "." + MINOR + " (" + PREFIX.toLowerCase(Locale.ROOT) + ")";
    }
}
