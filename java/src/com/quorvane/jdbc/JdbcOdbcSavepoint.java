package com.quorvane.jdbc;

import java.sql.SQLException;
import java.sql.Savepoint;

/**
 * A savepoint of a connection: named by the application, or numbered by the
 * connection (SQL name {@code QVJDBC_SAVEPOINT_n}). A name is quoted as
 * given, so it may hold any character.
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

    /** The savepoint's identifier in SQL. */
    String sqlName() {
        if (name == null) return "QVJDBC_SAVEPOINT_" + id;
        return '"' + name.replace("\"", "\"\"") + '"';
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
