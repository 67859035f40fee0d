package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.CallableStatement;
import java.sql.Connection;
import java.sql.SQLException;
import java.sql.SQLFeatureNotSupportedException;
import java.sql.Types;
import org.junit.jupiter.api.Test;

/** Calls with IN parameters and OUT parameters of character type. */
class CallableStatementTest {
    @Test
    void callWithInAndOutParameters() throws SQLException {
        try (Connection c = Db.connect()) {
            if (!Db.postgres()) {
                // SQLite has no procedures: the call fails as the data source says.
                assertThrows(SQLException.class, () -> {
                    try (CallableStatement cs = c.prepareCall("{call nothing(?)}")) {
                        cs.setInt(1, 1);
                        cs.execute();
                    }
                });
                return;
            }
            Db.exec(c, "CREATE OR REPLACE FUNCTION greet(who text, times integer) RETURNS text"
                    + " AS $$ SELECT repeat('hello ' || who || ' ', times) $$ LANGUAGE sql");
            try (CallableStatement cs = c.prepareCall("{? = call greet(?, ?)}")) {
                cs.registerOutParameter(1, Types.VARCHAR);
                cs.setString(2, "w\u00f6rld");
                cs.setInt(3, 2);
                cs.execute();
                assertEquals("hello w\u00f6rld hello w\u00f6rld ", cs.getString(1));
                assertTrue(!cs.wasNull());
                cs.setString(2, "x");
                cs.setInt(3, 1);
                cs.execute();
                assertEquals("hello x ", cs.getString(1));
                assertThrows(SQLException.class, () -> cs.getString(2), "not an output parameter");
                assertThrows(SQLFeatureNotSupportedException.class, () -> cs.getString("greeting"));
            }
            Db.exec(c, "DROP FUNCTION greet(text, integer)");
        }
    }
}
