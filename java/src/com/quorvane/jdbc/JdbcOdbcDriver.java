package com.quorvane.jdbc;

import java.sql.Connection;
import java.sql.Driver;
import java.sql.DriverManager;
import java.sql.DriverPropertyInfo;
import java.sql.SQLException;
import java.util.Locale;
import java.util.Properties;
import java.util.logging.Logger;

/**
 * The JDBC driver for {@code jdbc:quorvane:} URLs. What follows the prefix is
 * an ODBC connection string:
 * <pre>
 * jdbc:quorvane:Database=/tmp/x.db
 * jdbc:quorvane:Driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;Database=/tmp/x.db
 * jdbc:quorvane:DSN=name
 * </pre>
 * The properties {@code user} and {@code password} become {@code UID} and
 * {@code PWD} unless the string has its own; they are data, never more
 * attributes: the native driver writes each value the way the ODBC driver
 * behind the string reads it, and refuses a value that driver could not read
 * as one value (SQLite, which has no users, is not sent them at all).
 * {@code jdbc:quorvane:} alone opens the embedded default: a SQLite
 * database in the file that the property {@value #DATABASE_PROPERTY} names
 * (or the system property {@code quorvane.jdbc.database}), otherwise one in
 * memory. A string that names no ODBC driver ({@code Driver}, {@code DSN})
 * opens a SQLite database with the native driver's own SQLite engine, and so
 * does the embedded default, unless the system property
 * {@value #SQLITE_DRIVER_SYSTEM_PROPERTY} names a SQLite ODBC driver for it
 * (trusted configuration, never a connection property). The property
 * {@value #LOGIN_TIMEOUT_PROPERTY} (seconds) overrides
 * {@link DriverManager#getLoginTimeout()}.
 */
public class JdbcOdbcDriver implements Driver {
    /** The URL prefix. */
    public static final String PREFIX = "jdbc:quorvane:";
    /** Property naming the SQLite file of the embedded default. */
    public static final String DATABASE_PROPERTY = "database";
    /**
     * System property naming a SQLite ODBC driver's shared object for the embedded default (trusted configuration);
     * unset, the native driver's own SQLite engine serves it.
     */
    public static final String SQLITE_DRIVER_SYSTEM_PROPERTY = "quorvane.jdbc.sqliteDriver";
    /** Property: login timeout in seconds. */
    public static final String LOGIN_TIMEOUT_PROPERTY = "loginTimeout";
    /** Property: the fetch size every statement of the connection starts with (pgjdbc's name for it). */
    public static final String FETCH_SIZE_PROPERTY = "defaultRowFetchSize";
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
        refuseZero(url, "the URL", "08001");
        refuseZero(p.getProperty("user"), "the property user", "28000");
        refuseZero(p.getProperty("password"), "the property password", "28000");
        refuseZero(p.getProperty(DATABASE_PROPERTY), "the property " + DATABASE_PROPERTY, "08001");
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
        int fetchSize = 0;
        String f = p.getProperty(FETCH_SIZE_PROPERTY);
        if (f != null) {
            try {
                fetchSize = Integer.parseInt(f.trim());
            } catch (NumberFormatException e) {
                fetchSize = -1;
            }
            if (fetchSize < 0) throw JdbcOdbcErrors.of(FETCH_SIZE_PROPERTY + " is not a row count: " + f, "HY024");
        }
        JdbcOdbcConnection c = JdbcOdbcConnection.open(redacted(url), connStr, p.getProperty("user"), timeout);
        c.defaultFetchSize = fetchSize;
        return c;
    }

    /** A value with U+0000 would be cut where the native side reads it: refused, never shortened. */
    private static void refuseZero(String value, String what, String state) throws SQLException {
        if (value != null && value.indexOf('\0') >= 0) {
            throw JdbcOdbcErrors.of(what + " holds the character U+0000, which a connection string cannot carry",
                    state);
        }
    }

    /**
     * A URL or connection string fit to show: the values of {@code PWD} and
     * {@code Password} replaced by {@code ***}. Used wherever the driver
     * echoes a URL.
     */
    static String redacted(String url) {
        if (url == null) return null;
        boolean prefixed = url.regionMatches(true, 0, PREFIX, 0, PREFIX.length());
        String rest = prefixed ? url.substring(PREFIX.length()) : url;
        StringBuilder s = new StringBuilder(prefixed ? url.substring(0, PREFIX.length()) : "");
        java.util.List<String> parts = attributes(rest);
        for (int i = 0; i < parts.size(); i++) {
            String part = parts.get(i);
            int eq = part.indexOf('=');
            String key = eq > 0 ? part.substring(0, eq).trim() : "";
            // Another driver's URL ("jdbc:other:PWD=..."): the name after its last colon.
            key = key.substring(key.lastIndexOf(':') + 1);
            if (key.equalsIgnoreCase("PWD") || key.equalsIgnoreCase("PASSWORD")) part = part.substring(0, eq + 1) + "***";
            s.append(part);
            if (i < parts.size() - 1 || rest.endsWith(";")) s.append(';');
        }
        return s.toString();
    }

    /** The ODBC connection string of a URL and its properties. */
    static String connectionString(String url, Properties info) {
        String rest = url.substring(PREFIX.length()).trim();
        StringBuilder s = new StringBuilder();
        if (rest.isEmpty()) {
            String driver = System.getProperty(SQLITE_DRIVER_SYSTEM_PROPERTY, "");
            String db = info.getProperty(DATABASE_PROPERTY, System.getProperty("quorvane.jdbc.database", ":memory:"));
            if (!driver.isEmpty()) s.append("Driver=").append(braced(driver)).append(';');
            s.append("Database=").append(braced(db)).append(';');
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

    /**
     * The properties the driver reads: {@code user}, {@code password},
     * {@value #LOGIN_TIMEOUT_PROPERTY}, {@value #DATABASE_PROPERTY} and
     * {@value #FETCH_SIZE_PROPERTY}. The
     * password's current value is never echoed.
     */
    @Override
    public DriverPropertyInfo[] getPropertyInfo(String url, Properties info) {
        Properties p = info == null ? new Properties() : info;
        DriverPropertyInfo user = new DriverPropertyInfo("user", p.getProperty("user"));
        user.description = "The user name, sent as UID (not sent to SQLite, which has no users)";
        DriverPropertyInfo password = new DriverPropertyInfo("password", null);
        password.description = "The password, sent as PWD (not sent to SQLite)";
        DriverPropertyInfo timeout = new DriverPropertyInfo(LOGIN_TIMEOUT_PROPERTY, p.getProperty(LOGIN_TIMEOUT_PROPERTY));
        timeout.description = "Seconds to wait for the connection (0: the data source's default)";
        DriverPropertyInfo db = new DriverPropertyInfo(DATABASE_PROPERTY, p.getProperty(DATABASE_PROPERTY));
        db.description = "The SQLite file of the embedded default jdbc:quorvane: (in memory when absent); a file name,"
                + " nothing more; not read for other URLs";
        DriverPropertyInfo fetch = new DriverPropertyInfo(FETCH_SIZE_PROPERTY, p.getProperty(FETCH_SIZE_PROPERTY));
        fetch.description = "The fetch size statements start with (0: results read whole): forward-only queries in"
                + " manual-commit mode on PostgreSQL are then read that many rows at a time";
        return new DriverPropertyInfo[] {user, password, timeout, db, fetch};
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
    public Logger getParentLogger() {
        // The parent of every logger the driver's package may use (it writes no records of its own).
        return Logger.getLogger("com.quorvane.jdbc");
    }

    @Override
    public String toString() {
        return NAME + " " + MAJOR + "." + MINOR + " (" + PREFIX.toLowerCase(Locale.ROOT) + ")";
    }
}
