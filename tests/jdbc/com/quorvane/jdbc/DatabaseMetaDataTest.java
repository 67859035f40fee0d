package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.sql.Connection;
import java.sql.DatabaseMetaData;
import java.sql.ResultSet;
import java.sql.ResultSetMetaData;
import java.sql.SQLException;
import java.sql.SQLFeatureNotSupportedException;
import java.sql.SQLNonTransientConnectionException;
import java.sql.Types;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * DatabaseMetaData in JDBC form on both data sources: catalog results with
 * JDBC's labels, order and type codes (never the data source's ODBC 2 names
 * or extra columns), patterns with the reported escape, and every other
 * getter answering without an exception.
 */
class DatabaseMetaDataTest {
    private static Connection c;
    private static DatabaseMetaData md;

    @BeforeAll
    static void schema() throws SQLException {
        c = Db.connect();
        md = c.getMetaData();
        String blob = Db.postgres() ? "bytea" : "blob";
        Db.quietly(c, "DROP VIEW md_view", "DROP TABLE md_line", "DROP TABLE md_order", "DROP TABLE md_a_b",
                "DROP TABLE md_axb");
        Db.exec(c,
                "CREATE TABLE md_order (region integer NOT NULL, num integer NOT NULL, customer varchar(40) NOT NULL,"
                        + " total numeric(10,2), placed date, at timestamp, paid boolean, doc " + blob + ","
                        + " PRIMARY KEY (region, num))",
                "CREATE TABLE md_line (id integer PRIMARY KEY, o_region integer, o_num integer, note varchar(10),"
                        + " FOREIGN KEY (o_region, o_num) REFERENCES md_order (region, num))",
                "CREATE UNIQUE INDEX md_line_note ON md_line (note)", "CREATE INDEX md_line_order ON md_line (o_num)",
                "CREATE TABLE md_a_b (x integer)", "CREATE TABLE md_axb (x integer)",
                "CREATE VIEW md_view AS SELECT id FROM md_line");
    }

    @AfterAll
    static void close() throws SQLException {
        c.close();
    }

    private static List<String> labels(ResultSet rs) throws SQLException {
        ResultSetMetaData m = rs.getMetaData();
        List<String> l = new ArrayList<>();
        for (int i = 1; i <= m.getColumnCount(); i++) l.add(m.getColumnLabel(i));
        return l;
    }

    /** The rows of a result, each a map from label to value. */
    private static List<Map<String, Object>> rows(ResultSet rs) throws SQLException {
        try (rs) {
            List<String> l = labels(rs);
            List<Map<String, Object>> out = new ArrayList<>();
            while (rs.next()) {
                Map<String, Object> m = new HashMap<>();
                for (int i = 0; i < l.size(); i++) m.put(l.get(i), rs.getObject(i + 1));
                out.add(m);
            }
            return out;
        }
    }

    private static List<Object> column(List<Map<String, Object>> rows, String label) {
        List<Object> l = new ArrayList<>();
        for (Map<String, Object> r : rows) l.add(r.get(label));
        return l;
    }

    private static Map<String, Object> byName(List<Map<String, Object>> rows, String label, String name) {
        for (Map<String, Object> r : rows) {
            if (name.equals(r.get(label))) return r;
        }
        fail("no row with " + label + " = " + name + " in " + rows);
        return null;
    }

    @Test
    void tablesHaveJdbcColumnsAndHonourPatternsTypesAndEscape() throws SQLException {
        ResultSet rs = md.getTables(c.getCatalog(), null, "md%", null);
        assertEquals(List.of("TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE", "REMARKS", "TYPE_CAT",
                "TYPE_SCHEM", "TYPE_NAME", "SELF_REFERENCING_COL_NAME", "REF_GENERATION"), labels(rs));
        // The data source's ODBC 2 names do not leak.
        assertThrows(SQLException.class, () -> rs.findColumn("TABLE_QUALIFIER"));
        List<Map<String, Object>> all = rows(rs);
        // JDBC order: by type, then name; tables before the view.
        assertEquals(List.of("md_a_b", "md_axb", "md_line", "md_order", "md_view"), column(all, "TABLE_NAME"));
        assertEquals("VIEW", all.get(4).get("TABLE_TYPE"));
        if (Db.sqlite()) {
            // SQLite has neither catalogs nor schemas: null, not an empty name.
            assertEquals(null, all.get(0).get("TABLE_CAT"));
            assertEquals(null, all.get(0).get("TABLE_SCHEM"));
        } else {
            assertEquals("public", all.get(0).get("TABLE_SCHEM"));
        }

        // _ is one character, and the reported escape makes it a plain one.
        assertEquals(List.of("md_a_b", "md_axb"), column(rows(md.getTables(null, null, "md_a_b", null)),
                "TABLE_NAME"));
        String esc = md.getSearchStringEscape();
        assertEquals("\\", esc);
        assertEquals(List.of("md_a_b"), column(rows(md.getTables(null, null, "md" + esc + "_a" + esc + "_b", null)),
                "TABLE_NAME"));
        assertTrue(DatabaseMetaData.class.isInstance(md));
        assertTrue(JdbcOdbcDatabaseMetaData.matches("md\\_a\\_b", "md_a_b", "\\"));
        assertFalse(JdbcOdbcDatabaseMetaData.matches("md\\_a\\_b", "mdxa_b", "\\"));

        assertEquals(List.of("md_view"), column(rows(md.getTables(null, null, "md%", new String[] {"VIEW"})),
                "TABLE_NAME"));
        assertEquals(List.of("md_a_b", "md_axb", "md_line", "md_order"),
                column(rows(md.getTables(null, null, "md%", new String[] {"TABLE"})), "TABLE_NAME"));
        List<Object> types = column(rows(md.getTableTypes()), "TABLE_TYPE");
        assertTrue(types.contains("TABLE") && types.contains("VIEW"), types.toString());
    }

    @Test
    void columnsCarryJdbcTypesSizesAndPositions() throws SQLException {
        ResultSet rs = md.getColumns(null, null, "md_order", "%");
        List<String> l = labels(rs);
        // Exactly JDBC's 24 columns: psqlODBC's own (DISPLAY_SIZE, FIELD_TYPE, ...) do not leak.
        assertEquals(24, l.size(), l.toString());
        assertEquals(List.of("TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME",
                "COLUMN_SIZE", "BUFFER_LENGTH", "DECIMAL_DIGITS", "NUM_PREC_RADIX", "NULLABLE", "REMARKS",
                "COLUMN_DEF", "SQL_DATA_TYPE", "SQL_DATETIME_SUB", "CHAR_OCTET_LENGTH", "ORDINAL_POSITION",
                "IS_NULLABLE", "SCOPE_CATALOG", "SCOPE_SCHEMA", "SCOPE_TABLE", "SOURCE_DATA_TYPE", "IS_AUTOINCREMENT",
                "IS_GENERATEDCOLUMN"), l);
        assertEquals(Types.INTEGER, rs.getMetaData().getColumnType(5));
        List<Map<String, Object>> cols = rows(rs);
        assertEquals(List.of("region", "num", "customer", "total", "placed", "at", "paid", "doc"),
                column(cols, "COLUMN_NAME"));
        assertEquals(List.of(1, 2, 3, 4, 5, 6, 7, 8), column(cols, "ORDINAL_POSITION"));
        Map<String, Object> region = byName(cols, "COLUMN_NAME", "region");
        assertEquals(Types.INTEGER, region.get("DATA_TYPE"));
        // Integers: no decimal digits, radix 10 (the SQLite driver swaps the two).
        assertEquals(0, region.get("DECIMAL_DIGITS"));
        assertEquals(10, region.get("NUM_PREC_RADIX"));
        assertEquals(DatabaseMetaData.columnNoNulls, region.get("NULLABLE"));
        assertEquals("NO", region.get("IS_NULLABLE"));
        Map<String, Object> customer = byName(cols, "COLUMN_NAME", "customer");
        assertEquals(Types.VARCHAR, customer.get("DATA_TYPE"));
        assertEquals(40, customer.get("COLUMN_SIZE"));
        assertEquals(null, customer.get("DECIMAL_DIGITS"));
        // ODBC 2's 9 and 11 as JDBC's DATE and TIMESTAMP; booleans as BOOLEAN on both data sources.
        assertEquals(Types.DATE, byName(cols, "COLUMN_NAME", "placed").get("DATA_TYPE"));
        assertEquals(Types.TIMESTAMP, byName(cols, "COLUMN_NAME", "at").get("DATA_TYPE"));
        assertEquals(Types.BOOLEAN, byName(cols, "COLUMN_NAME", "paid").get("DATA_TYPE"));
        assertEquals(1, byName(cols, "COLUMN_NAME", "paid").get("COLUMN_SIZE"));
        assertEquals("YES", byName(cols, "COLUMN_NAME", "total").get("IS_NULLABLE"));
        int doc = (Integer) byName(cols, "COLUMN_NAME", "doc").get("DATA_TYPE");
        assertTrue(doc == Types.BINARY || doc == Types.VARBINARY || doc == Types.LONGVARBINARY, "doc: " + doc);
        if (Db.postgres()) {
            Map<String, Object> total = byName(cols, "COLUMN_NAME", "total");
            assertEquals(Types.NUMERIC, total.get("DATA_TYPE"));
            assertEquals(10, total.get("COLUMN_SIZE"));
            assertEquals(2, total.get("DECIMAL_DIGITS"));
            // A timestamp's decimal digits are those of its fractional seconds.
            assertEquals(6, byName(cols, "COLUMN_NAME", "at").get("DECIMAL_DIGITS"));
            // bytea has no limit: never psqlODBC's negative size.
            assertEquals(Integer.MAX_VALUE, byName(cols, "COLUMN_NAME", "doc").get("COLUMN_SIZE"));
        }
        // A column pattern narrows; typed getters by label read the in-memory values.
        try (ResultSet one = md.getColumns(null, null, "md\\_order", "cust%")) {
            assertTrue(one.next());
            assertEquals("customer", one.getString("column_name"));
            assertEquals(Types.VARCHAR, one.getInt("DATA_TYPE"));
            assertEquals((short) 40, one.getShort("COLUMN_SIZE"));
            assertEquals("40", one.getString("COLUMN_SIZE"));
            assertEquals(0, one.getInt("DECIMAL_DIGITS"));
            assertTrue(one.wasNull());
            assertFalse(one.next());
        }
    }

    @Test
    void keysInKeyOrderWithJdbcRules() throws SQLException {
        ResultSet pk = md.getPrimaryKeys(null, null, "md_order");
        assertEquals(List.of("TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "KEY_SEQ", "PK_NAME"),
                labels(pk));
        List<Map<String, Object>> pks = rows(pk);
        // Ordered by column name, as JDBC says; KEY_SEQ keeps the key's own order.
        assertEquals(List.of("num", "region"), column(pks, "COLUMN_NAME"));
        assertEquals(List.of(2, 1), column(pks, "KEY_SEQ"));

        ResultSet imp = md.getImportedKeys(null, null, "md_line");
        assertEquals(List.of("PKTABLE_CAT", "PKTABLE_SCHEM", "PKTABLE_NAME", "PKCOLUMN_NAME", "FKTABLE_CAT",
                "FKTABLE_SCHEM", "FKTABLE_NAME", "FKCOLUMN_NAME", "KEY_SEQ", "UPDATE_RULE", "DELETE_RULE", "FK_NAME",
                "PK_NAME", "DEFERRABILITY"), labels(imp));
        List<Map<String, Object>> fks = rows(imp);
        assertEquals(List.of("region", "num"), column(fks, "PKCOLUMN_NAME"));
        assertEquals(List.of("o_region", "o_num"), column(fks, "FKCOLUMN_NAME"));
        assertEquals(List.of(1, 2), column(fks, "KEY_SEQ"));
        assertEquals(DatabaseMetaData.importedKeyNoAction, fks.get(0).get("UPDATE_RULE"));
        assertEquals(DatabaseMetaData.importedKeyNoAction, fks.get(0).get("DELETE_RULE"));
        assertEquals(DatabaseMetaData.importedKeyNotDeferrable, fks.get(0).get("DEFERRABILITY"));
        assertEquals("md_order", fks.get(0).get("PKTABLE_NAME"));

        assertEquals(fks, rows(md.getExportedKeys(null, null, "md_order")));
        assertEquals(fks, rows(md.getCrossReference(null, null, "md_order", null, null, "md_line")));
        assertTrue(rows(md.getCrossReference(null, null, "md_line", null, null, "md_order")).isEmpty());
    }

    @Test
    void indexInfoUniqueAndAll() throws SQLException {
        ResultSet all = md.getIndexInfo(null, null, "md_line", false, true);
        assertEquals(List.of("TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "NON_UNIQUE", "INDEX_QUALIFIER", "INDEX_NAME",
                "TYPE", "ORDINAL_POSITION", "COLUMN_NAME", "ASC_OR_DESC", "CARDINALITY", "PAGES", "FILTER_CONDITION"),
                labels(all));
        assertEquals(Types.BOOLEAN, all.getMetaData().getColumnType(4));
        List<Map<String, Object>> rows = rows(all);
        Map<String, Object> note = byName(rows, "INDEX_NAME", "md_line_note");
        assertEquals(Boolean.FALSE, note.get("NON_UNIQUE"));
        assertEquals("note", note.get("COLUMN_NAME"));
        assertEquals(1, note.get("ORDINAL_POSITION"));
        assertEquals(Boolean.TRUE, byName(rows, "INDEX_NAME", "md_line_order").get("NON_UNIQUE"));
        // Unique indexes first (JDBC's order).
        assertEquals(Boolean.TRUE, rows.get(rows.size() - 1).get("NON_UNIQUE"));
        List<Object> unique = column(rows(md.getIndexInfo(null, null, "md_line", true, true)), "INDEX_NAME");
        assertTrue(unique.contains("md_line_note") && !unique.contains("md_line_order"), unique.toString());
    }

    @Test
    void typeInfoInJdbcCodesAndOrder() throws SQLException {
        ResultSet rs = md.getTypeInfo();
        List<String> l = labels(rs);
        assertEquals(18, l.size(), l.toString());
        assertEquals("PRECISION", l.get(2));
        assertEquals("FIXED_PREC_SCALE", l.get(10));
        List<Map<String, Object>> rows = rows(rs);
        int last = Integer.MIN_VALUE;
        boolean integer = false, varchar = false, date = false;
        for (Map<String, Object> r : rows) {
            int t = (Integer) r.get("DATA_TYPE");
            assertTrue(t != 9 && t != 10 && t != 11, "ODBC 2 date/time code leaked: " + r);
            assertTrue(t >= last, "not ordered by DATA_TYPE: " + rows);
            last = t;
            integer |= t == Types.INTEGER;
            varchar |= t == Types.VARCHAR;
            date |= t == Types.DATE;
            assertNotNull(r.get("CASE_SENSITIVE"));
        }
        assertTrue(integer && varchar && date, rows.toString());
    }

    @Test
    void specialColumnsPrivilegesAndWhatTheDataSourceLacks() throws SQLException {
        ResultSet best = md.getBestRowIdentifier(null, null, "md_order", DatabaseMetaData.bestRowSession, true);
        assertEquals(List.of("SCOPE", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME", "COLUMN_SIZE", "BUFFER_LENGTH",
                "DECIMAL_DIGITS", "PSEUDO_COLUMN"), labels(best));
        List<Map<String, Object>> bestRows = rows(best);
        if (Db.postgres()) {
            // psqlODBC names none for a table without oids: the primary key, in key order.
            assertEquals(List.of("region", "num"), column(bestRows, "COLUMN_NAME"));
            assertEquals(Types.INTEGER, bestRows.get(0).get("DATA_TYPE"));
            assertEquals(DatabaseMetaData.bestRowSession, bestRows.get(0).get("SCOPE"));
            assertEquals(DatabaseMetaData.bestRowNotPseudo, bestRows.get(0).get("PSEUDO_COLUMN"));
        } else {
            assertFalse(bestRows.isEmpty());
        }
        List<Map<String, Object>> version = rows(md.getVersionColumns(null, null, "md_order"));
        if (Db.postgres()) {
            // PostgreSQL's row version: the pseudo column xmin.
            assertEquals("xmin", version.get(0).get("COLUMN_NAME"));
            assertEquals(DatabaseMetaData.versionColumnPseudo, version.get(0).get("PSEUDO_COLUMN"));
        }
        List<Map<String, Object>> privileges = rows(md.getTablePrivileges(null, null, "md_order"));
        // SQLite has no privileges to list.
        if (Db.postgres()) assertTrue(column(privileges, "PRIVILEGE").contains("SELECT"), privileges.toString());
        // Neither data source offers column privileges: an empty result in JDBC form, not a failure.
        ResultSet cp = md.getColumnPrivileges(null, null, "md_order", "%");
        assertEquals(List.of("TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "GRANTOR", "GRANTEE",
                "PRIVILEGE", "IS_GRANTABLE"), labels(cp));
        assertFalse(cp.next());
        for (ResultSet e : new ResultSet[] {md.getUDTs(null, null, "%", null), md.getSuperTables(null, null, "%"),
            md.getSuperTypes(null, null, "%"), md.getAttributes(null, null, "%", "%"),
            md.getPseudoColumns(null, null, "%", "%"), md.getClientInfoProperties()}) {
            assertFalse(e.next());
            assertTrue(e.getMetaData().getColumnCount() >= 4);
        }
        List<Map<String, Object>> schemas = rows(md.getSchemas());
        List<Map<String, Object>> catalogs = rows(md.getCatalogs());
        if (Db.postgres()) {
            assertTrue(column(schemas, "TABLE_SCHEM").contains("public"), schemas.toString());
            assertEquals(List.of("qvjdbc"), column(catalogs, "TABLE_CAT"));
            assertEquals(List.of("public"), column(rows(md.getSchemas(null, "pub%")), "TABLE_SCHEM"));
        } else {
            assertTrue(schemas.isEmpty() && catalogs.isEmpty(), schemas + " " + catalogs);
        }
    }

    @Test
    void proceduresAndFunctionsOnPostgres() throws SQLException {
        if (!Db.postgres()) {
            assertTrue(rows(md.getProcedures(null, null, "%")).isEmpty());
            return;
        }
        Db.exec(c, "CREATE OR REPLACE FUNCTION md_twice(a integer) RETURNS integer AS 'SELECT a * 2' LANGUAGE sql");
        List<Map<String, Object>> procs = rows(md.getProcedures(null, null, "md\\_twice"));
        assertEquals(1, procs.size(), procs.toString());
        assertEquals("md_twice", procs.get(0).get("PROCEDURE_NAME"));
        assertEquals("md_twice", procs.get(0).get("SPECIFIC_NAME"));
        assertEquals(List.of("md_twice"), column(rows(md.getFunctions(null, null, "md%")), "FUNCTION_NAME"));
        List<Map<String, Object>> params = rows(md.getProcedureColumns(null, null, "md\\_twice", "%"));
        boolean in = false;
        for (Map<String, Object> p : params) {
            if (DatabaseMetaData.procedureColumnIn == (Integer) p.get("COLUMN_TYPE")) {
                in = true;
                assertEquals(Types.INTEGER, p.get("DATA_TYPE"));
            }
        }
        assertTrue(in, params.toString());
    }

    @Test
    void everyPlainGetterAnswersWithoutAnException() throws Exception {
        int called = 0;
        for (Method m : DatabaseMetaData.class.getMethods()) {
            if (Modifier.isStatic(m.getModifiers()) || m.getReturnType() == ResultSet.class) continue;
            Object[] args;
            Class<?>[] p = m.getParameterTypes();
            if (p.length == 0) {
                args = new Object[0];
            } else if (p.length == 1 && p[0] == int.class) {
                args = new Object[] {ResultSet.TYPE_FORWARD_ONLY};
            } else if (p.length == 2 && p[0] == int.class && p[1] == int.class) {
                args = new Object[] {Types.INTEGER, Types.VARCHAR};
            } else {
                continue;
            }
            if (m.getName().equals("unwrap")) continue;
            try {
                m.invoke(md, args);
                called++;
            } catch (java.lang.reflect.InvocationTargetException e) {
                fail(m.getName() + " threw " + e.getCause());
            }
        }
        assertTrue(called > 140, "getters called: " + called);
        assertEquals(Db.postgres() ? "PostgreSQL" : "SQLite", md.getDatabaseProductName());
        assertEquals("\"", md.getIdentifierQuoteString());
        assertTrue(md.getDatabaseMajorVersion() >= 3);
        assertTrue(md.supportsTransactions());
        assertTrue(md.supportsResultSetType(ResultSet.TYPE_FORWARD_ONLY));
        assertTrue(md.supportsResultSetType(ResultSet.TYPE_SCROLL_INSENSITIVE));
        assertTrue(md.supportsResultSetConcurrency(ResultSet.TYPE_SCROLL_INSENSITIVE, ResultSet.CONCUR_UPDATABLE));
        assertFalse(md.supportsResultSetConcurrency(ResultSet.TYPE_SCROLL_SENSITIVE, ResultSet.CONCUR_UPDATABLE));
        if (Db.postgres()) {
            // The server's own version numbers (psqlODBC writes 15.18 as 15.0.18).
            try (ResultSet v = c.createStatement().executeQuery("SHOW server_version_num")) {
                assertTrue(v.next());
                int num = Integer.parseInt(v.getString(1).trim());
                assertEquals(num / 10000, md.getDatabaseMajorVersion());
                assertEquals(num % 10000, md.getDatabaseMinorVersion());
            }
            assertTrue(md.getNumericFunctions().contains("ABS"), md.getNumericFunctions());
            assertTrue(md.supportsUnionAll());
            assertTrue(md.supportsTransactionIsolationLevel(Connection.TRANSACTION_SERIALIZABLE));
            assertEquals("schema", md.getSchemaTerm());
        } else {
            assertEquals("", md.getSchemaTerm());
        }
    }

    @Test
    void catalogCallsLeaveNothingBehindAndFailOnAClosedConnection() throws SQLException {
        Connection own = Db.connect();
        DatabaseMetaData m = own.getMetaData();
        int before = ((JdbcOdbcConnection) own).liveNativeObjects();
        for (int i = 0; i < 20; i++) {
            m.getTables(null, null, "md%", null).close();
            m.getColumns(null, null, "md_order", null);
            m.getPrimaryKeys(null, null, "md_order");
            m.getIndexInfo(null, null, "md_line", false, true);
            m.getColumnPrivileges(null, null, "md_order", "%");
        }
        // Each catalog call frees its statement and columns, results read or not.
        assertEquals(before, ((JdbcOdbcConnection) own).liveNativeObjects());
        // Names outside ASCII travel as UTF-8; nothing matches here.
        assertFalse(m.getTables(null, null, "\u20ac%", null).next());
        assertEquals(before, ((JdbcOdbcConnection) own).liveNativeObjects());
        own.close();
        assertThrows(SQLNonTransientConnectionException.class, () -> m.getTables(null, null, "%", null));
    }

    @Test
    void memoryResultsAreForwardOnlyAndReadOnly() throws SQLException {
        try (ResultSet rs = md.getTables(null, null, "md_order", null)) {
            assertThrows(SQLException.class, () -> rs.getString(1));
            assertTrue(rs.next());
            assertThrows(SQLFeatureNotSupportedException.class, rs::previous);
            assertThrows(SQLFeatureNotSupportedException.class, () -> rs.updateString(3, "x"));
            assertThrows(SQLException.class, () -> rs.getString(11));
            assertThrows(SQLException.class, () -> rs.getInt("TABLE_NAME"));
            assertEquals(ResultSet.TYPE_FORWARD_ONLY, rs.getType());
            assertFalse(rs.next());
            assertThrows(SQLException.class, () -> rs.getString(3));
        }
    }
}
