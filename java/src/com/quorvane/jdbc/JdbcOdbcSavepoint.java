package com.quorvane.jdbc;

import java.sql.SQLException;
import java.sql.Savepoint;

/**
 * A savepoint of a connection: named by the application, or numbered by the
 * connection (SQL name {@code QVJDBC_SAVEPOINT_n}). A name is quoted as
 * given, with the data source's identifier quote (MariaDB's is a backquote),
 * so it may hold any character.
 */
final class JdbcOdbcSavepoint implements Savepoint {
    final JdbcOdbcConnection owner;
    private final String name;
    private final int id;
    boolean released;

    JdbcOdbcSavepoint(JdbcOdbcConnection owner, String name, int id) {
        this.owner = owner;
        this.name = name;
        this.id = id;
    }

    /** The savepoint's identifier in SQL, a name between two {@code quote}s. */
    String sqlName(String quote) {
        if (name == null) return "QVJDBC_SAVEPOINT_" + id;
        return quote + name.replace(quote, quote + quote) + quote;
    }

    @Override
    public int getSavepointId() throws SQLException {
        if (name != null) throw JdbcOdbcErrors.of("A named savepoint has no id", "HY024");
        return id;
    }

    @Override
    public String getSavepointName() throws SQLException {
        if (name == null) throw JdbcOdbcErrors.of("An unnamed savepoint has no name", "HY024");
        return name;
    }

    @Override
    public String toString() {
        return name != null ? name : "QVJDBC_SAVEPOINT_" + id;
    }
}
