package com.quorvane.jdbc;

import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.Reader;
import java.io.StringReader;
import java.io.StringWriter;
import java.io.Writer;
import java.nio.charset.StandardCharsets;
import java.sql.SQLException;
import java.sql.SQLXML;
import javax.xml.parsers.DocumentBuilderFactory;
import javax.xml.transform.Result;
import javax.xml.transform.Source;
import javax.xml.transform.TransformerFactory;
import javax.xml.transform.dom.DOMResult;
import javax.xml.transform.dom.DOMSource;
import javax.xml.transform.stream.StreamResult;
import javax.xml.transform.stream.StreamSource;

/**
 * An XML value held in memory as its text: made empty by
 * {@link JdbcOdbcConnection#createSQLXML()} and written once, or read from a
 * column or output parameter with {@code getSQLXML} and read. Both data
 * sources hold XML as text (PostgreSQL's {@code xml} arrives through psqlODBC
 * as text), so a parameter goes as the text. Documents are parsed with
 * external entities and DTDs refused. After {@link #free} every method but
 * {@code free} fails (HY010).
 */
public class JdbcOdbcSQLXML implements SQLXML {
    private String text;
    private boolean freed;
    /** A writer or stream handed out by a setter, whose content becomes the text when read. */
    private Object pending;

    JdbcOdbcSQLXML(String text) {
        this.text = text;
    }

    private void open() throws SQLException {
        if (freed) throw JdbcOdbcErrors.of("The SQLXML object was freed", "HY010");
    }

    /** The text, with what a setter's writer or stream received. */
    private String value() throws SQLException {
        open();
        if (pending instanceof StringWriter) text = pending.toString();
        else if (pending instanceof ByteArrayOutputStream) text = ((ByteArrayOutputStream) pending).toString(StandardCharsets.UTF_8);
        else if (pending instanceof DOMResult) text = serialize(new DOMSource(((DOMResult) pending).getNode()));
        pending = null;
        return text;
    }

    /** The content for a parameter. */
    String content() throws SQLException {
        String s = value();
        if (s == null) throw JdbcOdbcErrors.of("The SQLXML object holds no value", "HY010");
        return s;
    }

    @Override
    public void free() {
        freed = true;
        text = null;
        pending = null;
    }

    @Override
    public InputStream getBinaryStream() throws SQLException {
        String s = value();
        return s == null ? null : new ByteArrayInputStream(s.getBytes(StandardCharsets.UTF_8));
    }

    @Override
    public OutputStream setBinaryStream() throws SQLException {
        open();
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        pending = out;
        return out;
    }

    @Override
    public Reader getCharacterStream() throws SQLException {
        String s = value();
        return s == null ? null : new StringReader(s);
    }

    @Override
    public Writer setCharacterStream() throws SQLException {
        open();
        StringWriter w = new StringWriter();
        pending = w;
        return w;
    }

    @Override
    public String getString() throws SQLException {
        return value();
    }

    @Override
    public void setString(String value) throws SQLException {
        open();
        pending = null;
        text = value;
    }

    @Override
    public <T extends Source> T getSource(Class<T> sourceClass) throws SQLException {
        String s = value();
        if (s == null) return null;
        if (sourceClass == null || sourceClass == StreamSource.class) {
            return cast(sourceClass, new StreamSource(new StringReader(s)));
        }
        if (sourceClass == DOMSource.class) {
            try {
                DocumentBuilderFactory f = DocumentBuilderFactory.newInstance();
                f.setFeature("http://apache.org/xml/features/disallow-doctype-decl", true);
                f.setExpandEntityReferences(false);
                f.setNamespaceAware(true);
                return sourceClass.cast(new DOMSource(f.newDocumentBuilder().parse(
                        new org.xml.sax.InputSource(new StringReader(s)))));
            } catch (Exception e) {
                throw JdbcOdbcErrors.exception("The XML value cannot be parsed: " + e.getMessage(), "2200M", 0, e);
            }
        }
        throw JdbcOdbcErrors.notSupported("XML sources of class " + sourceClass.getName());
    }

    @SuppressWarnings("unchecked")
    private static <T extends Source> T cast(Class<T> c, Source s) {
        return c == null ? (T) s : c.cast(s);
    }

    @Override
    public <T extends Result> T setResult(Class<T> resultClass) throws SQLException {
        open();
        if (resultClass == null || resultClass == StreamResult.class) {
            StringWriter w = new StringWriter();
            pending = w;
            StreamResult r = new StreamResult(w);
            @SuppressWarnings("unchecked")
            T t = resultClass == null ? (T) r : resultClass.cast(r);
            return t;
        }
        if (resultClass == DOMResult.class) {
            DOMResult r = new DOMResult();
            pending = r;
            return resultClass.cast(r);
        }
        throw JdbcOdbcErrors.notSupported("XML results of class " + resultClass.getName());
    }

    private static String serialize(Source s) throws SQLException {
        try {
            StringWriter w = new StringWriter();
            TransformerFactory f = TransformerFactory.newInstance();
            javax.xml.transform.Transformer t = f.newTransformer();
            t.setOutputProperty(javax.xml.transform.OutputKeys.OMIT_XML_DECLARATION, "yes");
            t.transform(s, new StreamResult(w));
            return w.toString();
        } catch (javax.xml.transform.TransformerException e) {
            throw JdbcOdbcErrors.exception("The XML document cannot be written: " + e.getMessage(), "2200M", 0, e);
        }
    }
}
