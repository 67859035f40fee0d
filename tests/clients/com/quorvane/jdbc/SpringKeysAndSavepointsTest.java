package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.sql.PreparedStatement;
import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.Test;
import org.springframework.jdbc.core.JdbcTemplate;
import org.springframework.jdbc.core.simple.SimpleJdbcInsert;
import org.springframework.jdbc.datasource.DataSourceTransactionManager;
import org.springframework.jdbc.support.GeneratedKeyHolder;
import org.springframework.jdbc.support.KeyHolder;
import org.springframework.transaction.TransactionDefinition;
import org.springframework.transaction.support.TransactionTemplate;

/**
 * Spring's ways of reading generated keys (a KeyHolder, SimpleJdbcInsert) and
 * a nested transaction that rolls back to its savepoint, through the
 * driver's DataSource; the table is checked afterwards.
 */
class SpringKeysAndSavepointsTest {
    private static JdbcOdbcDataSource dataSource() {
        JdbcOdbcDataSource ds = new JdbcOdbcDataSource();
        ds.setUrl(Db.url());
        if (Db.user() != null) ds.setUser(Db.user());
        if (Db.password() != null) ds.setPassword(Db.password());
        return ds;
    }

    private static void table(JdbcTemplate t, String name) {
        t.execute("DROP TABLE IF EXISTS " + name);
        t.execute("CREATE TABLE " + name + " (" + Db.autoKey()
                + ", name varchar(20))");
    }

    @Test
    void keyHolderAndSimpleJdbcInsertGetTheNewRowsKey() {
        JdbcTemplate t = new JdbcTemplate(dataSource());
        table(t, "spring_keys");
        t.update("INSERT INTO spring_keys (id, name) VALUES (41, 'first')");
        KeyHolder holder = new GeneratedKeyHolder();
        assertEquals(1, t.update(c -> {
            PreparedStatement ps = c.prepareStatement("INSERT INTO spring_keys (name) VALUES (?)", new String[] {"id"});
            ps.setString(1, "held");
            return ps;
        }, holder));
        long held = holder.getKey().longValue();
        assertEquals("held", t.queryForObject("SELECT name FROM spring_keys WHERE id = ?", String.class, held));

        SimpleJdbcInsert insert = new SimpleJdbcInsert(t).withTableName("spring_keys").usingColumns("name")
                .usingGeneratedKeyColumns("id");
        long inserted = insert.executeAndReturnKey(Map.of("name", "simple")).longValue();
        assertEquals("simple", t.queryForObject("SELECT name FROM spring_keys WHERE id = ?", String.class, inserted));
        assertEquals(3, t.queryForObject("SELECT count(*) FROM spring_keys", Integer.class));
    }

    @Test
    void aNestedTransactionRollsBackToItsSavepoint() {
        JdbcOdbcDataSource ds = dataSource();
        JdbcTemplate t = new JdbcTemplate(ds);
        table(t, "spring_nested");
        DataSourceTransactionManager tm = new DataSourceTransactionManager(ds);
        TransactionTemplate outer = new TransactionTemplate(tm);
        TransactionTemplate nested = new TransactionTemplate(tm);
        nested.setPropagationBehavior(TransactionDefinition.PROPAGATION_NESTED);
        outer.execute(s -> {
            t.update("INSERT INTO spring_nested (name) VALUES ('outer')");
            nested.execute(n -> {
                t.update("INSERT INTO spring_nested (name) VALUES ('inner')");
                n.setRollbackOnly();
                return null;
            });
            nested.execute(n -> t.update("INSERT INTO spring_nested (name) VALUES ('kept')"));
            return null;
        });
        assertEquals(List.of("kept", "outer"),
                t.queryForList("SELECT name FROM spring_nested ORDER BY name", String.class));
    }
}
