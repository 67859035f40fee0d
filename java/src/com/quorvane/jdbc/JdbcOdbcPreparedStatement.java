package com.quorvane.jdbc;

import java.sql.SQLWarning;

/** A prepared statement: receives the warnings of its batches, chained in order. */
public class JdbcOdbcPreparedStatement {
    private SQLWarning warnings;

    public void setWarning(SQLWarning warning) {
        if (warnings == null) {
            warnings = warning;
        } else {
            warnings.setNextWarning(warning);
        }
    }

    public SQLWarning getWarnings() {
        return warnings;
    }

    public void clearWarnings() {
        warnings = null;
    }
}
