package com.quorvane.jdbc;

import java.io.PrintWriter;
import java.io.Serializable;
import java.sql.Connection;
import java.sql.SQLException;
import java.util.Properties;
import java.util.logging.Logger;
import javax.sql.DataSource;

/**
 * A {@link DataSource} for pools and containers. Bean properties: {@code url}
 * (a {@code jdbc:quorvane:} URL) or {@code connectionString} (the ODBC
 * connection string alone), {@code user}, {@code password},
 * {@code database} (the SQLite file of the embedded default) and
 * {@code loginTimeout}. User, password and database are data: they never add
 * connection attributes (see {@link JdbcOdbcDriver}). {@link #toString()}
 * shows the URL without its password and never the password property.
 */
public class JdbcOdbcDataSource implements DataSource, Serializable {
    private static final long serialVersionUID = 1L;

    private String url = JdbcOdbcDriver.PREFIX;
    private String user;
    private String password;
    private String database;
    private int loginTimeout;
    private transient PrintWriter logWriter;

    /** A data source for the embedded default until a URL is set. */
    public JdbcOdbcDataSource() {}

    /** The {@code jdbc:quorvane:} URL. */
    public String getUrl() {
        return url;
    }

    /** Sets the {@code jdbc:quorvane:} URL. */
    public void setUrl(String url) {
        this.url = url;
    }

    /** The ODBC connection string (the URL without its prefix). */
    public String getConnectionString() {
        return url == null ? null : url.substring(JdbcOdbcDriver.PREFIX.length());
    }

    /** Sets the ODBC connection string. */
    public void setConnectionString(String connectionString) {
        this.url = JdbcOdbcDriver.PREFIX + (connectionString == null ? "" : connectionString);
    }

    public String getUser() {
        return user;
    }

    public void setUser(String user) {
        this.user = user;
    }

    public String getPassword() {
        return password;
    }

    public void setPassword(String password) {
        this.password = password;
    }

    /** The SQLite file of the embedded default. */
    public String getDatabase() {
        return database;
    }

    public void setDatabase(String database) {
        this.database = database;
    }

    @Override
    public Connection getConnection() throws SQLException {
        return getConnection(user, password);
    }

    @Override
    public Connection getConnection(String username, String password) throws SQLException {
        Properties p = new Properties();
        if (username != null) p.setProperty("user", username);
        if (password != null) p.setProperty("password", password);
        if (database != null) p.setProperty(JdbcOdbcDriver.DATABASE_PROPERTY, database);
        if (loginTimeout > 0) p.setProperty(JdbcOdbcDriver.LOGIN_TIMEOUT_PROPERTY, Integer.toString(loginTimeout));
        String u = url == null ? JdbcOdbcDriver.PREFIX : url;
        Connection c = new JdbcOdbcDriver().connect(u, p);
        if (c == null) throw JdbcOdbcErrors.of("Not a jdbc:quorvane: URL: " + JdbcOdbcDriver.redacted(u), "08001");
        return c;
    }

    @Override
    public PrintWriter getLogWriter() {
        return logWriter;
    }

    @Override
    public void setLogWriter(PrintWriter out) {
        logWriter = out;
    }

    @Override
    public void setLoginTimeout(int seconds) {
        loginTimeout = seconds;
    }

    @Override
    public int getLoginTimeout() {
        return loginTimeout;
    }

    @Override
    public Logger getParentLogger() {
        // The parent of every logger the driver's package may use (it writes no records of its own).
        return Logger.getLogger("com.quorvane.jdbc");
    }

    @Override
    public String toString() {
        return getClass().getSimpleName() + "[" + JdbcOdbcDriver.redacted(url) + (user == null ? "" : ", user=" + user)
                + (database == null ? "" : ", database=" + database) + "]";
    }

    @Override
    public <T> T unwrap(Class<T> iface) throws SQLException {
        if (iface.isInstance(this)) return iface.cast(this);
        throw JdbcOdbcErrors.of("Not a wrapper for " + iface.getName(), "HY024");
    }

    @Override
    public boolean isWrapperFor(Class<?> iface) {
        return iface.isInstance(this);
    }
}
