package com.quorvane.jdbc;

import java.sql.SQLDataException;
import java.sql.SQLException;
import java.sql.SQLFeatureNotSupportedException;
import java.sql.SQLIntegrityConstraintViolationException;
import java.sql.SQLInvalidAuthorizationSpecException;
import java.sql.SQLNonTransientConnectionException;
import java.sql.SQLSyntaxErrorException;
import java.sql.SQLTimeoutException;
import java.sql.SQLTransactionRollbackException;
import java.sql.SQLTransientConnectionException;
import java.sql.SQLWarning;
import java.util.Map;

/**
 * Builds every SQLException and SQLWarning of the driver: from the diagnostic
 * records of a handle (read with {@code error} until none is left), or for a
 * condition the Java side detects itself. ODBC 2 states are reported as
 * today's (S1xxx as HYxxx, 37000 as 42000, ...), and the JDBC 4 subclass
 * follows the state's class.
 */
final class JdbcOdbcErrors {
    private JdbcOdbcErrors() {}

    /** At most this many records are read for one failure. */
    private static final int MAX_RECORDS = 50;

    private static final Map<String, String> ODBC2_STATES = Map.ofEntries(
            Map.entry("22005", "22018"), Map.entry("37000", "42000"), Map.entry("S0001", "42S01"),
            Map.entry("S0002", "42S02"), Map.entry("S0011", "42S11"), Map.entry("S0012", "42S12"),
            Map.entry("S0021", "42S21"), Map.entry("S0022", "42S22"), Map.entry("70100", "HY018"),
            Map.entry("S1DE0", "HY000"), Map.entry("24000", "24000"));

    /** The state as today's ODBC and JDBC name it. */
    static String mapState(String state) {
        if (state == null || state.length() != 5) return state;
        String m = ODBC2_STATES.get(state);
        if (m != null) return m;
        if (state.startsWith("S1")) return "HY" + state.substring(2);
        return state;
    }

    /** One diagnostic record. */
    static final class Record {
        final String state;
        final String message;
        final int nativeError;

        Record(String state, String message, int nativeError) {
            this.state = state;
            this.message = message;
            this.nativeError = nativeError;
        }
    }

    /** Reads every pending diagnostic record of the most specific non-zero handle. */
    static java.util.List<Record> records(JdbcOdbcClient odbc, int hEnv, int hDbc, int hStmt) {
        java.util.List<Record> list = new java.util.ArrayList<>(2);
        byte[] ec = new byte[2];
        for (int i = 0; i < MAX_RECORDS; i++) {
            byte[] state = new byte[6];
            byte[] msg = new byte[1024];
            int nativeError = odbc.error(hEnv, hDbc, hStmt, state, msg, ec);
            if (ec[0] == Odbc.SUCCESS_WITH_INFO && ec[1] == -95) {
                // The message did not fit; ODBC 2 consumed the record anyway.
                list.add(new Record(mapState(Odbc.text(state)), Odbc.text(msg) + "...", nativeError));
                continue;
            }
            if (!Odbc.succeeded(ec[0])) break;
            list.add(new Record(mapState(Odbc.text(state)), Odbc.text(msg), nativeError));
        }
        return list;
    }

    /**
     * The exception for a failed call: every diagnostic record, the first one
     * as the exception and the others chained with setNextException.
     *
     * @param what what was being done, used when the driver left no record
     * @param timedOut whether the statement was cancelled by its query timeout
     */
    static SQLException failure(JdbcOdbcClient odbc, int hEnv, int hDbc, int hStmt, String what, boolean timedOut) {
        java.util.List<Record> recs = records(odbc, hEnv, hDbc, hStmt);
        if (recs.isEmpty()) {
            return timedOut ? new SQLTimeoutException(what + ": the query timeout expired", "HYT00")
                    : exception(what + " failed and the data source reported no diagnostic", "HY000", 0, null);
        }
        SQLException first = null;
        for (Record r : recs) {
            SQLException e = timedOut && first == null ? timeout(r) : exception(r.message, r.state, r.nativeError, null);
            if (first == null) first = e;
            else first.setNextException(e);
        }
        return first;
    }

    private static SQLException timeout(Record r) {
        return new SQLTimeoutException(r.message, r.state, r.nativeError);
    }

    /** The warnings a call left (SQL_SUCCESS_WITH_INFO), chained; null if there are none. */
    static SQLWarning warnings(JdbcOdbcClient odbc, int hEnv, int hDbc, int hStmt) {
        SQLWarning first = null;
        for (Record r : records(odbc, hEnv, hDbc, hStmt)) {
            SQLWarning w = new SQLWarning(r.message, r.state, r.nativeError);
            if (first == null) first = w;
            else first.setNextWarning(w);
        }
        return first;
    }

    /** An exception of the JDBC 4 subclass that the state's class selects. */
    static SQLException exception(String message, String state, int vendorCode, Throwable cause) {
        String cls = state == null || state.length() < 2 ? "" : state.substring(0, 2);
        switch (cls) {
        case "08":
            // A connection that failed or is gone: pools recognise class 08 and evict it.
            if ("08S01".equals(state)) return new SQLTransientConnectionException(message, state, vendorCode, cause);
            return new SQLNonTransientConnectionException(message, state, vendorCode, cause);
        case "22":
            return new SQLDataException(message, state, vendorCode, cause);
        case "23":
            return new SQLIntegrityConstraintViolationException(message, state, vendorCode, cause);
        case "28":
            return new SQLInvalidAuthorizationSpecException(message, state, vendorCode, cause);
        case "40":
            return new SQLTransactionRollbackException(message, state, vendorCode, cause);
        case "42":
            return new SQLSyntaxErrorException(message, state, vendorCode, cause);
        case "0A":
            return new SQLFeatureNotSupportedException(message, state, vendorCode, cause);
        default:
            break;
        }
        if ("IM001".equals(state) || "HYC00".equals(state)) {
            return new SQLFeatureNotSupportedException(message, state, vendorCode, cause);
        }
        if ("HYT00".equals(state) || "HYT01".equals(state)) {
            return new SQLTimeoutException(message, state, vendorCode, cause);
        }
        return new SQLException(message, state, vendorCode, cause);
    }

    /** An exception the Java side raises itself. */
    static SQLException of(String message, String state) {
        return exception(message, state, 0, null);
    }

    static SQLFeatureNotSupportedException notSupported(String what) {
        // HYC00, not 0A000: pools evict a connection that passes 0A000 on.
        return new SQLFeatureNotSupportedException(what + " is not supported by this driver", "HYC00");
    }

    static SQLException closed(String what) {
        return new SQLException(what + " is closed", "HY010");
    }

    static SQLException connectionClosed() {
        return new SQLNonTransientConnectionException("The connection is closed", "08003");
    }
}
