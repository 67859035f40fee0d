package com.quorvane.jdbc;

import java.sql.Connection;
import java.sql.SQLException;
import javax.sql.XAConnection;
import javax.sql.XADataSource;

/**
 * An {@link XADataSource} for transaction managers: each
 * {@link XAConnection} holds one physical connection and its
 * {@link javax.transaction.xa.XAResource}. The bean properties are those of
 * {@link JdbcOdbcDataSource} ({@code url}, {@code user}, {@code password},
 * ...). Two-phase commit needs a data source that has it (PostgreSQL, with
 * {@code max_prepared_transactions} above 0); on others every branch
 * operation fails with {@code XAER_RMERR}.
 */
public class JdbcOdbcXADataSource extends JdbcOdbcDataSource implements XADataSource {
    private static final long serialVersionUID = 1L;

    public JdbcOdbcXADataSource() {}

    @Override
    public XAConnection getXAConnection() throws SQLException {
        return getXAConnection(getUser(), getPassword());
    }

    @Override
    public XAConnection getXAConnection(String user, String password) throws SQLException {
        Connection c = getConnection(user, password);
        return new JdbcOdbcXAConnection((JdbcOdbcConnection) c);
    }
}
