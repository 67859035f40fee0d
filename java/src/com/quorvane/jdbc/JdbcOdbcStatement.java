package com.quorvane.jdbc;

import java.sql.SQLWarning;

/** A plain statement: receives the warnings of its batches, chained in order. */
public class JdbcOdbcStatement {
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
