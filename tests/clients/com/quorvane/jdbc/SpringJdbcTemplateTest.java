package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.math.BigDecimal;
import java.time.LocalDate;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.Test;
import org.springframework.dao.DataAccessException;
import org.springframework.dao.DataIntegrityViolationException;
import org.springframework.dao.DuplicateKeyException;
import org.springframework.jdbc.BadSqlGrammarException;
import org.springframework.jdbc.core.JdbcTemplate;
import org.springframework.jdbc.datasource.DataSourceTransactionManager;
import org.springframework.transaction.support.TransactionTemplate;

/**
 * Spring's JdbcTemplate over the driver's DataSource: update, batchUpdate,
 * query with a row mapper and with column maps, queryForObject, a null of
 * unknown type, the translation of SQLSTATEs into Spring's exceptions and a
 * rolled-back transaction.
 */
class SpringJdbcTemplateTest {
    private static JdbcTemplate template() {
        JdbcOdbcDataSource ds = new JdbcOdbcDataSource();
        ds.setUrl(Db.url());
        if (Db.user() != null) ds.setUser(Db.user());
        if (Db.password() != null) ds.setPassword(Db.password());
        return new JdbcTemplate(ds);
    }

    @Test
    void templateOperations() {
        JdbcTemplate t = template();
        t.execute("CREATE TABLE spring_t (id integer PRIMARY KEY, name varchar(30), amount numeric(10,2),"
                + " born date)");
        assertEquals(1, t.update("INSERT INTO spring_t VALUES (?, ?, ?, ?)", 1, "Ada", new BigDecimal("12.50"),
                java.sql.Date.valueOf("1815-12-10")));
        List<Object[]> batch = new ArrayList<>();
        for (int i = 2; i <= 5; i++) batch.add(new Object[] {i, "n" + i, new BigDecimal(i + ".25"), null});
        int[] counts = t.batchUpdate("INSERT INTO spring_t VALUES (?, ?, ?, ?)", batch);
        assertEquals(4, counts.length);
        for (int c : counts) assertTrue(c == 1 || c == java.sql.Statement.SUCCESS_NO_INFO, "count " + c);

        assertEquals(5, t.queryForObject("SELECT count(*) FROM spring_t", Integer.class));
        assertEquals("Ada", t.queryForObject("SELECT name FROM spring_t WHERE id = ?", String.class, 1));
        assertEquals(0, new BigDecimal("12.50").compareTo(
                t.queryForObject("SELECT amount FROM spring_t WHERE id = 1", BigDecimal.class)));
        List<String> names = t.query("SELECT name FROM spring_t WHERE id > ? ORDER BY id",
                (rs, n) -> rs.getString("NAME"), 3);
        assertEquals(List.of("n4", "n5"), names);
        Map<String, Object> row = t.queryForMap("SELECT id, name, born FROM spring_t WHERE id = 1");
        assertEquals("Ada", row.get("name"));
        assertEquals(LocalDate.of(1815, 12, 10), ((java.sql.Date) row.get("born")).toLocalDate());

        // A null whose type Spring cannot know: parameter metadata, else setNull with Types.NULL.
        assertEquals(1, t.update("UPDATE spring_t SET name = ? WHERE id = ?", null, 2));
        assertNull(t.queryForObject("SELECT name FROM spring_t WHERE id = 2", String.class));
        assertEquals(4, t.queryForObject("SELECT count(name) FROM spring_t", Integer.class));

        // SQLSTATEs become Spring's exceptions (PostgreSQL and MariaDB report their own; SQLite's driver only HY000).
        if (!Db.sqlite()) {
            assertThrows(BadSqlGrammarException.class, () -> t.queryForList("SELECT * FROM spring_missing"));
            // Spring 3's table of error codes has no MariaDB entry: its
            // duplicate key (23000) is an integrity violation of the state's class.
            DataAccessException dup = assertThrows(DataIntegrityViolationException.class,
                    () -> t.update("INSERT INTO spring_t (id) VALUES (1)"));
            if (Db.postgres()) assertTrue(dup instanceof DuplicateKeyException, dup.toString());
        } else {
            assertThrows(DataAccessException.class, () -> t.queryForList("SELECT * FROM spring_missing"));
            assertThrows(DataAccessException.class, () -> t.update("INSERT INTO spring_t (id) VALUES (1)"));
        }

        // A transaction that fails is rolled back.
        TransactionTemplate tx = new TransactionTemplate(new DataSourceTransactionManager(t.getDataSource()));
        assertThrows(IllegalStateException.class, () -> tx.execute(status -> {
            t.update("DELETE FROM spring_t");
            throw new IllegalStateException("roll back");
        }));
        assertEquals(5, t.queryForObject("SELECT count(*) FROM spring_t", Integer.class));
        t.execute("DROP TABLE spring_t");
    }
}
