package com.quorvane.jdbc;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.io.ByteArrayInputStream;
import java.io.Writer;
import java.nio.charset.StandardCharsets;
import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.SQLXML;
import java.sql.Statement;
import javax.xml.transform.dom.DOMSource;
import org.junit.jupiter.api.Test;

/** SQLXML objects and Unicode streams: written as parameters, read from columns, as the peers offer them. */
class XmlAndUnicodeStreamTest {
    private static final String DOC = "<order id=\"7\"><item>caf\u00e9</item></order>";

    @Test
    void anXmlValueIsWrittenAndReadBackAsTextAndAsADocument() throws Exception {
        try (Connection c = Db.connect()) {
            Db.quietly(c, "DROP TABLE xml1");
            Db.exec(c, "CREATE TABLE xml1 (i integer, x " + (Db.postgres() ? "xml" : Db.textType()) + ")");
            SQLXML x = c.createSQLXML();
            try (Writer w = x.setCharacterStream()) {
                w.write(DOC);
            }
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO xml1 VALUES (?, ?)")) {
                ps.setInt(1, 1);
                ps.setSQLXML(2, x);
                ps.executeUpdate();
                ps.setInt(1, 2);
                ps.setSQLXML(2, null);
                ps.executeUpdate();
            }
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT x FROM xml1 ORDER BY i")) {
                rs.next();
                SQLXML read = rs.getSQLXML(1);
                assertEquals(DOC, read.getString());
                DOMSource dom = read.getSource(DOMSource.class);
                assertEquals("order", ((org.w3c.dom.Document) dom.getNode()).getDocumentElement().getNodeName());
                read.free();
                assertThrows(SQLException.class, read::getString);
                rs.next();
                assertNull(rs.getSQLXML("x"));
            }
            Db.exec(c, "DROP TABLE xml1");
        }
    }

    @Test
    @SuppressWarnings("deprecation")
    void unicodeStreamsAreUtf8InAndTwoBytesACharacterOut() throws Exception {
        try (Connection c = Db.connect()) {
            Db.quietly(c, "DROP TABLE uni1");
            Db.exec(c, "CREATE TABLE uni1 (i integer, s varchar(40))");
            byte[] utf8 = "h\u00e9llo \u20ac".getBytes(StandardCharsets.UTF_8);
            try (PreparedStatement ps = c.prepareStatement("INSERT INTO uni1 VALUES (?, ?)")) {
                ps.setInt(1, 1);
                ps.setUnicodeStream(2, new ByteArrayInputStream(utf8), utf8.length);
                ps.executeUpdate();
                ps.setInt(1, 2);
                SQLException shortStream = assertThrows(SQLException.class,
                        () -> ps.setUnicodeStream(2, new ByteArrayInputStream(utf8), utf8.length + 1));
                assertEquals("22026", shortStream.getSQLState());
            }
            try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery("SELECT s FROM uni1")) {
                rs.next();
                assertEquals("h\u00e9llo \u20ac", rs.getString(1));
                assertArrayEquals("h\u00e9llo \u20ac".getBytes(StandardCharsets.UTF_16BE),
                        rs.getUnicodeStream("s").readAllBytes());
            }
            Db.exec(c, "DROP TABLE uni1");
        }
    }
}
