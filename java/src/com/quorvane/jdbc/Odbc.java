package com.quorvane.jdbc;

import java.nio.ByteBuffer;
import java.nio.charset.CharacterCodingException;
import java.nio.charset.CodingErrorAction;
import java.nio.charset.StandardCharsets;

/** ODBC values the Java side uses, and the text conversions of the natives' byte arrays. */
final class Odbc {
    private Odbc() {}

    // Return codes (errorCode[0], execute results).
    static final int SUCCESS = 0, SUCCESS_WITH_INFO = 1, NEED_DATA = 99, NO_DATA = 100, ERROR = -1,
            INVALID_HANDLE = -2;
    // Library status codes (errorCode[1]).
    static final int ST_NULL = -1, ST_RESULT_SET = -93, ST_UNUSABLE = -97, ST_ABOVE_255 = -98, ST_NO_MEMORY = -99;

    // SQLFreeStmt options.
    static final int CLOSE = 0, DROP = 1, UNBIND = 2, RESET_PARAMS = 3;
    // SQLTransact.
    static final int COMMIT = 0, ROLLBACK = 1;

    // Connection options.
    static final int ACCESS_MODE = 101, AUTOCOMMIT = 102, LOGIN_TIMEOUT = 103, TXN_ISOLATION = 108,
            CURRENT_QUALIFIER = 109;
    // Statement options.
    static final int QUERY_TIMEOUT = 0, MAX_ROWS = 1, NOSCAN = 2, MAX_LENGTH = 3;

    // SQLGetInfo types.
    static final int INFO_DATA_SOURCE_NAME = 2, INFO_DRIVER_NAME = 6, INFO_DRIVER_VER = 7, INFO_DATABASE_NAME = 16,
            INFO_DBMS_NAME = 17, INFO_DBMS_VER = 18, INFO_DEFAULT_TXN_ISOLATION = 26,
            INFO_IDENTIFIER_QUOTE_CHAR = 29, INFO_TXN_CAPABLE = 46, INFO_USER_NAME = 47,
            INFO_TXN_ISOLATION_OPTION = 72;
    // The driver's own information types.
    static final int INFO_GENERATED_KEYS = 3002;
    /** How the data source writes array values as text (0: it has no arrays; 1: {a,b,NULL}). */
    static final int INFO_ARRAY_TEXT = 3004;
    // The driver's own connection options.
    static final int CONN_SCHEMA = 3003;

    // SQLColAttributes descriptors.
    static final int COL_NAME = 1, COL_TYPE = 2, COL_LENGTH = 3, COL_PRECISION = 4, COL_SCALE = 5,
            COL_DISPLAY_SIZE = 6, COL_NULLABLE = 7, COL_UNSIGNED = 8, COL_MONEY = 9, COL_UPDATABLE = 10,
            COL_AUTO_INCREMENT = 11, COL_CASE_SENSITIVE = 12, COL_SEARCHABLE = 13, COL_TYPE_NAME = 14,
            COL_TABLE_NAME = 15, COL_OWNER_NAME = 16, COL_QUALIFIER_NAME = 17, COL_LABEL = 18;

    // SQL types (ODBC 2).
    static final int CHAR = 1, NUMERIC = 2, DECIMAL = 3, INTEGER = 4, SMALLINT = 5, FLOAT = 6, REAL = 7,
            DOUBLE = 8, DATE = 9, TIME = 10, TIMESTAMP = 11, VARCHAR = 12, LONGVARCHAR = -1, BINARY = -2,
            VARBINARY = -3, LONGVARBINARY = -4, BIGINT = -5, TINYINT = -6, BIT = -7, WCHAR = -8, WVARCHAR = -9,
            WLONGVARCHAR = -10, GUID = -11;

    // C types.
    static final int C_CHAR = 1, C_WCHAR = -8, C_BINARY = -2, C_SSHORT = -15, C_SLONG = -16, C_SBIGINT = -25,
            C_FLOAT = 7, C_DOUBLE = 8, C_DATE = 9, C_TIME = 10, C_TIMESTAMP = 11;

    // The driver's own type codes.
    static final int DRIVER_TIMESTAMP = -389, DRIVER_TIMESTAMP_TZ = -390, DRIVER_DATETIME = -391,
            DRIVER_TIME_TEXT = -392, DRIVER_ARRAY = -398;
    static final int STMT_DRIVER_TYPES = 3057, STMT_TYPE_FROM_VALUE = 3031, STMT_OUTPUT_INPUT = 3059;
    /** libruva70: rows per chunk of a query read through a cursor (0: read whole). */
    static final int STMT_FETCH_ROWS = 3060;

    /** True for the ODBC character SQL types (narrow and wide). */
    static boolean isCharType(int sqlType) {
        switch (sqlType) {
        case CHAR: case VARCHAR: case LONGVARCHAR: case WCHAR: case WVARCHAR: case WLONGVARCHAR:
            return true;
        default:
            return false;
        }
    }

    static boolean isBinaryType(int sqlType) {
        return sqlType == BINARY || sqlType == VARBINARY || sqlType == LONGVARBINARY;
    }

    /** Text for a byte[] argument of the natives: UTF-8 with one zero byte after it. */
    static byte[] nts(String s) {
        byte[] b = s.getBytes(StandardCharsets.UTF_8);
        byte[] z = new byte[b.length + 1];
        System.arraycopy(b, 0, z, 0, b.length);
        return z;
    }

    /**
     * Text a native wrote into a byte[]: up to its first zero byte, as UTF-8
     * when it is valid UTF-8, otherwise byte by byte (ISO 8859-1).
     */
    static String text(byte[] b) {
        int n = 0;
        while (n < b.length && b[n] != 0) n++;
        try {
            return StandardCharsets.UTF_8.newDecoder().onMalformedInput(CodingErrorAction.REPORT)
                    .onUnmappableCharacter(CodingErrorAction.REPORT).decode(ByteBuffer.wrap(b, 0, n)).toString();
        } catch (CharacterCodingException e) {
            return new String(b, 0, n, StandardCharsets.ISO_8859_1);
        }
    }

    /** A return code as ODBC gives it, from the low byte the natives hand back. */
    static int rc(int lowByte) {
        return (byte) lowByte;
    }

    static boolean succeeded(int rc) {
        return rc == SUCCESS || rc == SUCCESS_WITH_INFO;
    }
}
