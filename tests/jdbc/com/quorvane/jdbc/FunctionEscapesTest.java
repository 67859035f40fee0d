package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.sql.Connection;
import java.sql.DatabaseMetaData;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.Test;

/**
 * Metadata answers checked against the data source: every listed function runs
 * through its {fn ...} escape, nullPlusNonNullIsNull, the current catalog and schema.
 */
class FunctionEscapesTest {
    /** A call of each function JDBC names, with arguments of the types it takes. */
    private static final Map<String, String> CALLS = Map.ofEntries(
            Map.entry("ABS", "ABS(-2)"), Map.entry("ACOS", "ACOS(0.5)"), Map.entry("ASIN", "ASIN(0.5)"),
            Map.entry("ATAN", "ATAN(0.5)"), Map.entry("ATAN2", "ATAN2(1.0, 2.0)"),
            Map.entry("CEILING", "CEILING(1.2)"), Map.entry("COS", "COS(0.5)"), Map.entry("COT", "COT(0.5)"),
            Map.entry("EXP", "EXP(1.0)"), Map.entry("FLOOR", "FLOOR(1.7)"), Map.entry("LOG", "LOG(2.0)"),
            Map.entry("MOD", "MOD(7, 3)"), Map.entry("SIGN", "SIGN(-3)"), Map.entry("SIN", "SIN(0.5)"),
            Map.entry("SQRT", "SQRT(4.0)"), Map.entry("TAN", "TAN(0.5)"), Map.entry("PI", "PI()"),
            Map.entry("RAND", "RAND(7)"), Map.entry("DEGREES", "DEGREES(1.0)"), Map.entry("LOG10", "LOG10(100.0)"),
            Map.entry("POWER", "POWER(2, 3)"), Map.entry("RADIANS", "RADIANS(90.0)"),
            Map.entry("ROUND", "ROUND(2.567, 2)"), Map.entry("TRUNCATE", "TRUNCATE(2.567, 2)"),
            Map.entry("CONCAT", "CONCAT('a', 'b')"), Map.entry("INSERT", "INSERT('abcdef', 2, 3, 'XY')"),
            Map.entry("LEFT", "LEFT('abc', 2)"), Map.entry("LTRIM", "LTRIM('  a')"),
            Map.entry("LENGTH", "LENGTH('abc ')"), Map.entry("LOCATE", "LOCATE('b', 'abc')"),
            Map.entry("LCASE", "LCASE('AbC')"), Map.entry("REPEAT", "REPEAT('ab', 3)"),
            Map.entry("REPLACE", "REPLACE('abcb', 'b', 'x')"), Map.entry("RIGHT", "RIGHT('abc', 2)"),
            Map.entry("RTRIM", "RTRIM('a  ')"), Map.entry("SUBSTRING", "SUBSTRING('abcdef', 2, 3)"),
            Map.entry("UCASE", "UCASE('abc')"), Map.entry("ASCII", "ASCII('A')"), Map.entry("CHAR", "CHAR(65)"),
            Map.entry("DIFFERENCE", "DIFFERENCE('Robert', 'Rupert')"), Map.entry("SOUNDEX", "SOUNDEX('Robert')"),
            Map.entry("SPACE", "SPACE(3)"), Map.entry("BIT_LENGTH", "BIT_LENGTH('abc')"),
            Map.entry("CHAR_LENGTH", "CHAR_LENGTH('abc')"), Map.entry("CHARACTER_LENGTH", "CHARACTER_LENGTH('abc')"),
            Map.entry("OCTET_LENGTH", "OCTET_LENGTH('abc')"), Map.entry("POSITION", "POSITION('b' IN 'abc')"),
            Map.entry("USER", "USER()"), Map.entry("DATABASE", "DATABASE()"), Map.entry("IFNULL", "IFNULL(NULL, 1)"),
            Map.entry("NOW", "NOW()"), Map.entry("CURDATE", "CURDATE()"),
            Map.entry("DAYOFMONTH", "DAYOFMONTH({d '2024-02-29'})"), Map.entry("DAYOFWEEK", "DAYOFWEEK({d '2024-02-29'})"),
            Map.entry("DAYOFYEAR", "DAYOFYEAR({d '2024-02-29'})"), Map.entry("MONTH", "MONTH({d '2024-02-29'})"),
            Map.entry("QUARTER", "QUARTER({d '2024-02-29'})"), Map.entry("WEEK", "WEEK({d '2024-02-29'})"),
            Map.entry("YEAR", "YEAR({d '2024-02-29'})"), Map.entry("CURTIME", "CURTIME()"),
            Map.entry("HOUR", "HOUR({t '10:11:12'})"), Map.entry("MINUTE", "MINUTE({t '10:11:12'})"),
            Map.entry("SECOND", "SECOND({t '10:11:12'})"),
            Map.entry("TIMESTAMPADD", "TIMESTAMPADD(SQL_TSI_DAY, 1, {ts '2024-02-29 10:11:12'})"),
            Map.entry("TIMESTAMPDIFF",
                    "TIMESTAMPDIFF(SQL_TSI_DAY, {ts '2024-02-28 10:11:12'}, {ts '2024-02-29 10:11:12'})"),
            Map.entry("DAYNAME", "DAYNAME({d '2024-02-29'})"), Map.entry("MONTHNAME", "MONTHNAME({d '2024-02-29'})"),
            Map.entry("CURRENT_DATE", "CURRENT_DATE()"), Map.entry("CURRENT_TIME", "CURRENT_TIME()"),
            Map.entry("CURRENT_TIMESTAMP", "CURRENT_TIMESTAMP()"),
            Map.entry("EXTRACT", "EXTRACT(YEAR FROM {d '2024-02-29'})"));

    private static List<String> failing(Connection c, String listed) {
        List<String> failed = new ArrayList<>();
        if (listed.isEmpty()) return failed;
        for (String name : listed.split(",")) {
            String call = CALLS.get(name);
            if (call == null) {
                failed.add(name + " (no sample call)");
                continue;
            }
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT {fn " + call + "}")) {
                assertTrue(rs.next());
                rs.getString(1);
            } catch (SQLException e) {
                failed.add(name + ": " + e.getMessage());
            }
        }
        return failed;
    }

    @Test
    void everyListedFunctionRunsThroughItsEscape() throws SQLException {
        try (Connection c = Db.connect()) {
            DatabaseMetaData md = c.getMetaData();
            List<String> failed = new ArrayList<>();
            failed.addAll(failing(c, md.getNumericFunctions()));
            failed.addAll(failing(c, md.getStringFunctions()));
            failed.addAll(failing(c, md.getSystemFunctions()));
            failed.addAll(failing(c, md.getTimeDateFunctions()));
            assertEquals(List.of(), failed);
            if (Db.postgres()) {
                assertTrue(md.getStringFunctions().contains("UCASE"), "the lists are not emptied wholesale");
                assertTrue(md.getNumericFunctions().contains("ABS"));
            }
        }
    }

    @Test
    void theConnectionsCatalogIsOneTheCatalogListNames() throws SQLException {
        try (Connection c = Db.connect(); ResultSet rs = c.getMetaData().getCatalogs()) {
            List<String> catalogs = new ArrayList<>();
            while (rs.next()) catalogs.add(rs.getString("TABLE_CAT"));
            String current = c.getCatalog();
            assertTrue(current == null ? catalogs.isEmpty() : catalogs.contains(current),
                    current + " among " + catalogs);
        }
    }

    @Test
    void setSchemaChangesWhereUnqualifiedNamesResolve() throws SQLException {
        try (Connection c = Db.connect()) {
            if (!Db.hasSchemas()) {
                assertEquals(null, c.getSchema());
                c.setSchema("main");  // ignored where there is no schema selection
                return;
            }
            assertEquals("public", c.getSchema());
            Db.quietly(c, "DROP SCHEMA \"Other s\" CASCADE");
            Db.exec(c, "CREATE SCHEMA \"Other s\"", "CREATE TABLE \"Other s\".where_am_i (v varchar(10))",
                    "INSERT INTO \"Other s\".where_am_i VALUES ('other')");
            c.setSchema("Other s");
            assertEquals("Other s", c.getSchema());
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT v FROM where_am_i")) {
                assertTrue(rs.next());
                assertEquals("other", rs.getString(1));
            }
            c.setSchema("public");
            assertEquals("public", c.getSchema());
            Db.exec(c, "DROP SCHEMA \"Other s\" CASCADE");
        }
    }

    @Test
    void nullPlusNonNullIsNullAsTheDataSourceComputesIt() throws SQLException {
        try (Connection c = Db.connect(); Statement s = c.createStatement();
                ResultSet rs = s.executeQuery("SELECT NULL || 'a'")) {
            assertTrue(rs.next());
            rs.getString(1);
            assertEquals(rs.wasNull(), c.getMetaData().nullPlusNonNullIsNull());
        }
    }
}
