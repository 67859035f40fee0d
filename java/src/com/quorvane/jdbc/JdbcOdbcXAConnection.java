package com.quorvane.jdbc;

import java.lang.reflect.InvocationHandler;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Proxy;
import java.sql.Connection;
import java.sql.DatabaseMetaData;
import java.sql.SQLException;
import java.sql.SQLNonTransientConnectionException;
import java.sql.Statement;
import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;
import javax.sql.ConnectionEvent;
import javax.sql.ConnectionEventListener;
import javax.sql.StatementEventListener;
import javax.sql.XAConnection;
import javax.transaction.xa.XAResource;

/**
 * One physical connection for a transaction manager or an XA pool, with its
 * {@link JdbcOdbcXAResource}. {@link #getConnection} hands out a handle (a
 * logical connection): closing the handle tells the listeners and leaves the
 * physical connection open; a new handle closes the previous one. From a
 * branch's start until it is prepared, committed or rolled back, the
 * connection's transaction is the branch's, and the handle refuses what
 * would end or change it behind the transaction manager's back (commit,
 * rollback, savepoints, auto-commit changes).
 * Failures of class 08 (the connection is gone) are reported to the
 * listeners as connection errors. Statements and metadata of a handle name
 * the handle as their connection.
 */
public class JdbcOdbcXAConnection implements XAConnection {
    private final JdbcOdbcConnection physical;
    private final JdbcOdbcXAResource resource;
    private final List<ConnectionEventListener> listeners = new CopyOnWriteArrayList<>();
    private final List<StatementEventListener> statementListeners = new CopyOnWriteArrayList<>();
    private volatile Handle current;
    private volatile boolean closed;

    JdbcOdbcXAConnection(JdbcOdbcConnection physical) {
        this.physical = physical;
        this.resource = new JdbcOdbcXAResource(physical);
    }

    /** The physical connection (for tests and diagnosis). */
    JdbcOdbcConnection physical() {
        return physical;
    }

    @Override
    public XAResource getXAResource() throws SQLException {
        if (closed) throw JdbcOdbcErrors.connectionClosed();
        return resource;
    }

    /**
     * A new handle on the physical connection. Outside a branch it starts in
     * auto-commit mode, as a fresh connection does.
     */
    @Override
    public synchronized Connection getConnection() throws SQLException {
        if (closed || physical.isClosed()) throw JdbcOdbcErrors.connectionClosed();
        Handle previous = current;
        if (previous != null) previous.closed = true;
        if (!resource.associated() && !physical.getAutoCommit()) {
            physical.rollback();
            physical.setAutoCommit(true);
        }
        Handle h = new Handle();
        current = h;
        h.proxy = (Connection) Proxy.newProxyInstance(Connection.class.getClassLoader(),
                new Class<?>[] {Connection.class}, h);
        return h.proxy;
    }

    @Override
    public void close() throws SQLException {
        synchronized (this) {
            if (closed) return;
            closed = true;
            Handle h = current;
            if (h != null) h.closed = true;
            current = null;
        }
        physical.close();
    }

    @Override
    public void addConnectionEventListener(ConnectionEventListener listener) {
        if (listener != null) listeners.add(listener);
    }

    @Override
    public void removeConnectionEventListener(ConnectionEventListener listener) {
        listeners.remove(listener);
    }

    /** Statement events are not sent: this connection pools no statements. */
    @Override
    public void addStatementEventListener(StatementEventListener listener) {
        if (listener != null) statementListeners.add(listener);
    }

    @Override
    public void removeStatementEventListener(StatementEventListener listener) {
        statementListeners.remove(listener);
    }

    private void handleClosed(Handle h) {
        synchronized (this) {
            if (current == h) current = null;
        }
        ConnectionEvent e = new ConnectionEvent(this);
        for (ConnectionEventListener l : listeners) l.connectionClosed(e);
    }

    private void connectionError(SQLException cause) {
        ConnectionEvent e = new ConnectionEvent(this, cause);
        for (ConnectionEventListener l : listeners) l.connectionErrorOccurred(e);
    }

    /** Calls on a handle: passed to the physical connection unless the handle or the branch forbids them. */
    private final class Handle implements InvocationHandler {
        volatile boolean closed;
        Connection proxy;

        @Override
        public Object invoke(Object p, Method m, Object[] args) throws Throwable {
            String name = m.getName();
            switch (name) {
            case "equals":
                return p == args[0];
            case "hashCode":
                return System.identityHashCode(p);
            case "toString":
                return "handle on " + physical + (closed ? " (closed)" : "");
            case "close":
                if (!closed) {
                    closed = true;
                    handleClosed(this);
                }
                return null;
            case "isClosed":
                return closed || physical.isClosed();
            case "isValid":
                if (closed) return false;
                break;
            default:
                break;
            }
            if (closed) {
                throw new SQLNonTransientConnectionException("The connection handle is closed", "08003");
            }
            if (resource.associated()) {
                boolean forbidden = name.equals("commit") || name.equals("rollback") || name.equals("setSavepoint")
                        || name.equals("releaseSavepoint") || name.equals("setAutoCommit");
                if (forbidden) {
                    throw new SQLException(name + " is not allowed while the connection takes part in a distributed"
                            + " transaction: the transaction manager ends it", "25000");
                }
            }
            try {
                Object r = m.invoke(physical, args);
                return wrap(r);
            } catch (InvocationTargetException e) {
                Throwable t = e.getCause();
                if (t instanceof SQLException) {
                    String state = ((SQLException) t).getSQLState();
                    if (state != null && state.startsWith("08")) connectionError((SQLException) t);
                }
                throw t;
            }
        }

        /** Statements and metadata made through the handle name the handle as their connection. */
        private Object wrap(Object r) {
            if (r instanceof Statement || r instanceof DatabaseMetaData) {
                Class<?>[] ifaces = interfacesOf(r);
                return Proxy.newProxyInstance(Connection.class.getClassLoader(), ifaces, (q, m, a) -> {
                    if (m.getName().equals("getConnection") && (a == null || a.length == 0)) return proxy;
                    if (m.getName().equals("equals") && a != null && a.length == 1) return q == a[0];
                    if (m.getName().equals("hashCode") && (a == null || a.length == 0)) {
                        return System.identityHashCode(q);
                    }
                    try {
                        return m.invoke(r, a);
                    } catch (InvocationTargetException e) {
                        throw e.getCause();
                    }
                });
            }
            return r;
        }
    }

    private static Class<?>[] interfacesOf(Object r) {
        if (r instanceof java.sql.CallableStatement) return new Class<?>[] {java.sql.CallableStatement.class};
        if (r instanceof java.sql.PreparedStatement) return new Class<?>[] {java.sql.PreparedStatement.class};
        if (r instanceof Statement) return new Class<?>[] {Statement.class};
        return new Class<?>[] {DatabaseMetaData.class};
    }
}
