package com.quorvane.jdbc;

import java.nio.charset.StandardCharsets;
import java.util.Arrays;

/**
 * A long column value assembled from the pieces that SQLGetData returns, in
 * one array of the value's final size when the driver told the length with
 * the first piece. Wide text is kept one byte per character while every
 * character is below U+0100 (Java's compact form), so a long ASCII text costs
 * its length in bytes, not twice that.
 */
final class LongValue {
    private final int cType;
    /** Bytes (binary, 8-bit text) or Latin-1 characters (wide text), while {@link #chars} is null. */
    private byte[] bytes;
    /** Wide text once a character above U+00FF arrived. */
    private char[] chars;
    private int len;

    /**
     * @param cType the C type the value is read as
     * @param total the value's length in bytes of that C type, or −1 when unknown
     */
    LongValue(int cType, int total) {
        this.cType = cType;
        int units = cType == Odbc.C_WCHAR ? total / 2 : total;
        bytes = new byte[total < 0 ? 1 << 16 : units];
    }

    /** A value that arrived in one piece. */
    static Object of(int cType, byte[] buf, int n) {
        if (cType == Odbc.C_WCHAR) return new String(buf, 0, n, StandardCharsets.UTF_16LE);
        if (cType == Odbc.C_CHAR) return new String(buf, 0, n, StandardCharsets.ISO_8859_1);
        return Arrays.copyOf(buf, n);
    }

    /** Adds the first {@code n} bytes of a piece (whole UTF-16 units for wide text). */
    void append(byte[] buf, int n) {
        if (cType != Odbc.C_WCHAR) {
            ensure(len + n);
            System.arraycopy(buf, 0, bytes, len, n);
            len += n;
            return;
        }
        int units = n >> 1;
        ensure(len + units);
        int k = 0;
        if (chars == null) {
            byte[] b = bytes;
            int at = len;
            for (; k < units; k++) {
                byte hi = buf[2 * k + 1];
                if (hi != 0) break;
                b[at++] = buf[2 * k];
            }
            len = at;
            if (k == units) return;
            // A character beyond Latin-1: go on in UTF-16.
            char[] c = new char[b.length];
            for (int j = 0; j < len; j++) c[j] = (char) (b[j] & 0xFF);
            chars = c;
            bytes = null;
        }
        char[] c = chars;
        int at = len;
        for (; k < units; k++) c[at++] = (char) ((buf[2 * k] & 0xFF) | (buf[2 * k + 1] & 0xFF) << 8);
        len = at;
    }

    private void ensure(int need) {
        int cap = chars != null ? chars.length : bytes.length;
        if (need <= cap) return;
        // Only when the driver did not tell the length, or told too little.
        int grown = (int) Math.min(Math.max((long) cap * 2, need), Integer.MAX_VALUE - 8);
        if (chars != null) chars = Arrays.copyOf(chars, grown);
        else bytes = Arrays.copyOf(bytes, grown);
    }

    /** The value: a String for character C types, a byte[] for binary. */
    Object result() {
        if (chars != null) return new String(chars, 0, len);
        if (cType == Odbc.C_WCHAR || cType == Odbc.C_CHAR) return new String(bytes, 0, len, StandardCharsets.ISO_8859_1);
        return len == bytes.length ? bytes : Arrays.copyOf(bytes, len);
    }
}
