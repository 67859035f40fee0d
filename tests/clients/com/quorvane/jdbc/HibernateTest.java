package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.math.BigDecimal;
import java.nio.charset.StandardCharsets;
import java.util.Date;
import java.util.List;
import org.hibernate.HibernateException;
import org.hibernate.Session;
import org.hibernate.SessionFactory;
import org.hibernate.Transaction;
import org.hibernate.cfg.Configuration;
import org.junit.jupiter.api.Test;

/**
 * Hibernate 3.6 on PostgreSQL through the driver: a SessionFactory that
 * creates the schema of three mapped entities, one that validates it (which
 * reads it back through DatabaseMetaData), then saving, loading (with a lazy
 * association), querying with HQL and a rolled-back transaction; an entity
 * with an identity key and a Blob property (a bytea column).
 */
class HibernateTest {
    public static class Author {
        private Long id;
        private String name;

        public Long getId() { return id; }
        public void setId(Long id) { this.id = id; }
        public String getName() { return name; }
        public void setName(String name) { this.name = name; }
    }

    public static class Book {
        private Long id;
        private String title;
        private BigDecimal price;
        private Date published;
        private boolean available;
        private Author author;

        public Long getId() { return id; }
        public void setId(Long id) { this.id = id; }
        public String getTitle() { return title; }
        public void setTitle(String title) { this.title = title; }
        public BigDecimal getPrice() { return price; }
        public void setPrice(BigDecimal price) { this.price = price; }
        public Date getPublished() { return published; }
        public void setPublished(Date published) { this.published = published; }
        public boolean isAvailable() { return available; }
        public void setAvailable(boolean available) { this.available = available; }
        public Author getAuthor() { return author; }
        public void setAuthor(Author author) { this.author = author; }
    }

    public static class Review {
        private Long id;
        private Book book;
        private int stars;
        private String text;

        public Long getId() { return id; }
        public void setId(Long id) { this.id = id; }
        public Book getBook() { return book; }
        public void setBook(Book book) { this.book = book; }
        public int getStars() { return stars; }
        public void setStars(int stars) { this.stars = stars; }
        public String getText() { return text; }
        public void setText(String text) { this.text = text; }
    }

    public static class Attachment {
        private Long id;
        private String name;
        private java.sql.Blob data;

        public Long getId() { return id; }
        public void setId(Long id) { this.id = id; }
        public String getName() { return name; }
        public void setName(String name) { this.name = name; }
        public java.sql.Blob getData() { return data; }
        public void setData(java.sql.Blob data) { this.data = data; }
    }

    private static final String MAPPING = "<?xml version=\"1.0\"?>\n"
            + "<!DOCTYPE hibernate-mapping PUBLIC \"-//Hibernate/Hibernate Mapping DTD 3.0//EN\""
            + " \"http://www.hibernate.org/dtd/hibernate-mapping-3.0.dtd\">\n"
            + "<hibernate-mapping package=\"com.quorvane.jdbc\">\n"
            + " <class name=\"HibernateTest$Author\" table=\"hb_author\">\n"
            + "  <id name=\"id\"><generator class=\"native\"/></id>\n"
            + "  <property name=\"name\" length=\"60\" not-null=\"true\" unique=\"true\"/>\n"
            + " </class>\n"
            + " <class name=\"HibernateTest$Book\" table=\"hb_book\">\n"
            + "  <id name=\"id\"><generator class=\"native\"/></id>\n"
            + "  <property name=\"title\" length=\"100\" not-null=\"true\"/>\n"
            + "  <property name=\"price\" precision=\"10\" scale=\"2\"/>\n"
            + "  <property name=\"published\" type=\"timestamp\"/>\n"
            + "  <property name=\"available\"/>\n"
            + "  <many-to-one name=\"author\" column=\"author_id\" not-null=\"true\" lazy=\"proxy\"/>\n"
            + " </class>\n"
            + " <class name=\"HibernateTest$Review\" table=\"hb_review\">\n"
            + "  <id name=\"id\"><generator class=\"native\"/></id>\n"
            + "  <many-to-one name=\"book\" column=\"book_id\" not-null=\"true\"/>\n"
            + "  <property name=\"stars\"/>\n"
            + "  <property name=\"text\" type=\"text\"/>\n"
            + " </class>\n"
            + " <class name=\"HibernateTest$Attachment\" table=\"hb_attachment\">\n"
            + "  <id name=\"id\"><generator class=\"identity\"/></id>\n"
            + "  <property name=\"name\" length=\"60\"/>\n"
            + "  <property name=\"data\" type=\"blob\"><column name=\"data\" sql-type=\"bytea\"/></property>\n"
            + " </class>\n"
            + "</hibernate-mapping>\n";

    private static SessionFactory factory(String hbm2ddl) {
        Configuration cfg = new Configuration();
        cfg.setProperty("hibernate.connection.driver_class", JdbcOdbcDriver.class.getName());
        cfg.setProperty("hibernate.connection.url", Db.url());
        cfg.setProperty("hibernate.connection.username", "postgres");
        cfg.setProperty("hibernate.connection.pool_size", "2");
        cfg.setProperty("hibernate.dialect", "org.hibernate.dialect.PostgreSQLDialect");
        cfg.setProperty("hibernate.hbm2ddl.auto", hbm2ddl);
        cfg.setProperty("hibernate.jdbc.batch_size", "20");
        cfg.addInputStream(new ByteArrayInputStream(MAPPING.getBytes(StandardCharsets.UTF_8)));
        return cfg.buildSessionFactory();
    }

    @Test
    void schemaCreationValidationSaveLoadAndQuery() {
        try (java.sql.Connection c = Db.connect()) {
            Db.quietly(c, "DROP TABLE hb_review", "DROP TABLE hb_book", "DROP TABLE hb_author",
                    "DROP TABLE hb_attachment");
        } catch (java.sql.SQLException e) {
            throw new IllegalStateException(e);
        }
        SessionFactory create = factory("create");
        Long bookId;
        try {
            Session s = create.openSession();
            Transaction tx = s.beginTransaction();
            Author ada = new Author();
            ada.setName("Ada Lovelace");
            s.save(ada);
            for (int i = 1; i <= 3; i++) {
                Book b = new Book();
                b.setTitle("Notes " + i);
                b.setPrice(new BigDecimal(i + "9.95"));
                b.setPublished(java.sql.Timestamp.valueOf("1843-0" + i + "-01 12:30:00"));
                b.setAvailable(i != 2);
                b.setAuthor(ada);
                s.save(b);
                Review r = new Review();
                r.setBook(b);
                r.setStars(i + 2);
                r.setText("review " + i);
                s.save(r);
            }
            tx.commit();
            bookId = (Long) s.createQuery("select b.id from HibernateTest$Book b where b.title = :t")
                    .setString("t", "Notes 2").uniqueResult();
            s.close();
        } finally {
            create.close();
        }

        // A second factory validates the created schema against the mapping.
        SessionFactory validate = factory("validate");
        try {
            Session s = validate.openSession();
            Book b = (Book) s.load(Book.class, bookId);
            assertEquals("Notes 2", b.getTitle());
            assertEquals(0, new BigDecimal("29.95").compareTo(b.getPrice()));
            assertEquals(java.sql.Timestamp.valueOf("1843-02-01 12:30:00").getTime(), b.getPublished().getTime());
            assertTrue(!b.isAvailable());
            assertEquals("Ada Lovelace", b.getAuthor().getName(), "the lazy author loads");
            @SuppressWarnings("unchecked")
            List<Book> available = s.createQuery("from HibernateTest$Book b where b.available = true"
                    + " and b.price > :p order by b.title").setBigDecimal("p", new BigDecimal("10")).list();
            assertEquals(2, available.size());
            assertEquals("Notes 1", available.get(0).getTitle());
            Number stars = (Number) s.createQuery("select sum(r.stars) from HibernateTest$Review r"
                    + " join r.book b join b.author a where a.name = 'Ada Lovelace'").uniqueResult();
            assertEquals(12, stars.intValue());

            // A transaction that breaks a constraint rolls back as a whole.
            Transaction tx = s.beginTransaction();
            Author dup = new Author();
            dup.setName("Ada Lovelace");
            s.save(dup);
            assertThrows(HibernateException.class, () -> s.flush());
            tx.rollback();
            s.close();
            // An identity key read back through getGeneratedKeys, and a Blob property (bytea).
            Session s3 = validate.openSession();
            Transaction tx3 = s3.beginTransaction();
            Attachment a = new Attachment();
            a.setName("scan");
            byte[] content = new byte[5000];
            for (int i = 0; i < content.length; i++) content[i] = (byte) (i * 7);
            a.setData(org.hibernate.Hibernate.getLobCreator(s3).createBlob(content));
            s3.save(a);
            assertNotNull(a.getId(), "the identity key came back");
            tx3.commit();
            s3.close();
            try (java.sql.Connection c = Db.connect(); java.sql.Statement st = c.createStatement();
                    java.sql.ResultSet rs = st.executeQuery("SELECT id, data FROM hb_attachment")) {
                assertTrue(rs.next());
                assertEquals(a.getId().longValue(), rs.getLong(1));
                org.junit.jupiter.api.Assertions.assertArrayEquals(content, rs.getBytes(2));
            } catch (java.sql.SQLException e) {
                throw new IllegalStateException(e);
            }
            Session s4 = validate.openSession();
            Attachment back = (Attachment) s4.get(Attachment.class, a.getId());
            try {
                org.junit.jupiter.api.Assertions.assertArrayEquals(content,
                        back.getData().getBytes(1, (int) back.getData().length()));
            } catch (java.sql.SQLException e) {
                throw new IllegalStateException(e);
            }
            s4.close();

            Session s2 = validate.openSession();
            assertEquals(1L, ((Number) s2.createQuery("select count(*) from HibernateTest$Author").uniqueResult())
                    .longValue());
            assertNotNull(s2.get(Book.class, bookId));
            s2.close();
        } finally {
            validate.close();
        }
    }
}
