// Result retrieval on SQLite and PostgreSQL: one table holding every type
// the binding table serves, read back through the bound buffers after fetch
// and through the SQLGetData reads, each value compared with what was
// inserted; text beyond ASCII; long values read in pieces.
#include "dsconn.h"
#include "jcall.h"
#include "qvjdbc/results.h"

#include <cinttypes>
#include <cstdio>
#include <functional>
#include <map>

namespace {

using qvt::at;
using qvt::Connection;
using qvt::errorCode;
using qvt::jstrUtf8;
using qvt::Source;

// UTF-8 and UTF-16 (the JVM's own UTF-8 conversions are its modified form).
std::u16string utf16(const std::string& s) {
    std::u16string r;
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = n == 1 ? b : b & (0xFF >> (n + 1));
        for (int k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += static_cast<size_t>(n);
        if (c >= 0x10000) {
            r.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            r.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            r.push_back(static_cast<char16_t>(c));
        }
    }
    return r;
}

std::string utf8(const std::u16string& s) {
    std::string r;
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) {
            r += static_cast<char>(c);
        } else if (c < 0x800) {
            r += static_cast<char>(0xC0 | (c >> 6));
            r += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            r += static_cast<char>(0xE0 | (c >> 12));
            r += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            r += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            r += static_cast<char>(0xF0 | (c >> 18));
            r += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            r += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            r += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return r;
}

std::string hex(const std::vector<int8_t>& b, size_t n) {
    std::string s;
    char d[3];
    for (size_t i = 0; i < n && i < b.size(); ++i) {
        std::snprintf(d, sizeof d, "%02x", static_cast<uint8_t>(b[i]));
        s += d;
    }
    return s;
}

std::string plain(jobject bigDecimal) {
    if (!bigDecimal) return "<null>";
    JNIEnv* e = qvt::env();
    jclass c = e->GetObjectClass(bigDecimal);
    auto s = static_cast<jstring>(
        e->CallObjectMethod(bigDecimal, e->GetMethodID(c, "toPlainString", "()Ljava/lang/String;")));
    EXPECT_FALSE(e->ExceptionCheck());
    return utf8(qvt::read(s));
}

// Integer values as text; floating point with all the digits that tell two
// values apart.
std::string num(long long v) {
    return std::to_string(v);
}
std::string num(double v, bool single) {
    char b[40];
    std::snprintf(b, sizeof b, single ? "%.9g" : "%.17g", v);
    return b;
}
std::string dateText(const std::vector<int32_t>& v, SQLSMALLINT cType) {
    char b[64];
    if (cType == SQL_C_DATE) std::snprintf(b, sizeof b, "%d-%02d-%02d", v[0], v[1], v[2]);
    if (cType == SQL_C_TIME) std::snprintf(b, sizeof b, "%02d:%02d:%02d", v[0], v[1], v[2]);
    if (cType == SQL_C_TIMESTAMP)
        std::snprintf(b, sizeof b, "%d-%02d-%02d %02d:%02d:%02d.%09d", v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
    return b;
}

// A result set bound by allocAndBindAllCols, as the Java side keeps it.
struct Bound {
    jint stmt = 0;
    jint token = 0;
    jint numCols = 0;
    std::vector<int32_t> sqlTypes, driverTypes, lengths, cTypes;
    jobjectArray objects = nullptr;

    void open(Connection& c, const std::string& sql) {
        stmt = c.newStatement();
        ASSERT_EQ(JC(execDirect, stmt, jstrUtf8(sql.c_str())), 0) << sql << qvt::diagnostics(0, 0, stmt);
        jbyteArray ec = errorCode();
        numCols = JC(numResultCols, stmt, ec);
        jintArray a = qvt::newInts(numCols), b = qvt::newInts(numCols), l = qvt::newInts(numCols),
                  t = qvt::newInts(numCols);
        token = JC(allocAndBindAllCols, 0, stmt, a, b, l, t, ec, numCols);
        ASSERT_NE(token, 0) << at(ec, 0) << "/" << at(ec, 1) << qvt::diagnostics(0, 0, stmt);
        sqlTypes = qvt::read(a), driverTypes = qvt::read(b), lengths = qvt::read(l), cTypes = qvt::read(t);
        jclass cls = qvt::findClass("com/quorvane/jdbc/JdbcOdbcBoundCol");
        objects = qvt::env()->NewObjectArray(numCols, cls, nullptr);
        for (jint i = 0; i < numCols; ++i)
            qvt::env()->SetObjectArrayElement(objects, i, qvt::newObject("com/quorvane/jdbc/JdbcOdbcBoundCol"));
    }
    int fetch() { return JC(fetch, stmt, token, objects, numCols); }
    void close() {
        JC(freeStmt, stmt, SQL_UNBIND);
        JC(freeBoundColBuffers, token, numCols);
        JC(freeStmt, stmt, SQL_DROP);
    }
    jobject object(int column) { return qvt::env()->GetObjectArrayElement(objects, column - 1); }
    template <typename T>
    T field(int column, const char* name, const char* sig);
};

template <>
bool Bound::field<bool>(int column, const char* name, const char*) {
    jobject o = object(column);
    return qvt::env()->GetBooleanField(o, qvt::env()->GetFieldID(qvt::env()->GetObjectClass(o), name, "Z"));
}

// The value fetch cached in the column's Java object, as text; "" when
// the column's C type is not cached.
std::string cachedText(Bound& b, int column) {
    JNIEnv* e = qvt::env();
    jobject o = b.object(column);
    jclass c = e->GetObjectClass(o);
    auto field = [&](const char* name, const char* sig) { return e->GetFieldID(c, name, sig); };
    if (e->GetBooleanField(o, field("cachedNull", "Z"))) return "NULL";
    switch (b.cTypes[column - 1]) {
        case SQL_C_SSHORT:
            return num(e->GetShortField(o, field("cachedShort", "S")));
        case SQL_C_SLONG:
            return num(e->GetIntField(o, field("cachedInt", "I")));
        case SQL_C_SBIGINT:
            return num(static_cast<long long>(e->GetLongField(o, field("cachedLong", "J"))));
        case SQL_C_FLOAT:
            return num(e->GetFloatField(o, field("cachedReal", "F")), true);
        case SQL_C_DOUBLE:
            return num(e->GetDoubleField(o, field("cachedDouble", "D")), false);
        default:
            return "";
    }
}

std::string readData(Bound& b, int column);

// A column's value as text, read from the bound buffer with the getter of its
// C type (NULL as "NULL"). A value that the bound buffer holds only in part
// is reported by the getter and read with SQLGetData, as the Java side does.
std::string readBound(Bound& b, int column) {
    jbyteArray ec = errorCode();
    const SQLSMALLINT cType = static_cast<SQLSMALLINT>(b.cTypes[column - 1]);
    if (JC(getDataLength, b.token, ec, column) == SQL_NULL_DATA) return "NULL";
    std::string v;
    bool truncated = false;
    switch (cType) {
        case SQL_C_SSHORT:
            v = num(JC(getShort, b.token, ec, column));
            break;
        case SQL_C_SLONG:
            v = num(JC(getInteger, b.token, ec, column));
            break;
        case SQL_C_SBIGINT:
            v = num(static_cast<long long>(JC(getLong, b.token, ec, column)));
            break;
        case SQL_C_FLOAT:
            v = num(JC(getFloat, b.token, ec, column), true);
            break;
        case SQL_C_DOUBLE:
            v = num(JC(getDouble, b.token, ec, column), false);
            break;
        case SQL_C_CHAR:
            if (b.sqlTypes[column - 1] != SQL_TIME) {
                jobject d = JC(getBigDecimal, b.token, column);
                truncated = qvt::env()->ExceptionCheck();
                qvt::env()->ExceptionClear();
                v = plain(d);
                break;
            }
            [[fallthrough]];  // a time's text
        case SQL_C_WCHAR: {
            jobject rv = qvt::newObject("com/quorvane/jdbc/RetVal");
            JC(getString, b.token, column, rv, cType);
            jclass c = qvt::env()->GetObjectClass(rv);
            auto s = static_cast<jstring>(
                qvt::env()->GetObjectField(rv, qvt::env()->GetFieldID(c, "obj", "Ljava/lang/Object;")));
            truncated = qvt::env()->GetByteField(rv, qvt::env()->GetFieldID(c, "err1", "B")) == -97;
            v = s ? utf8(qvt::read(s)) : "<null string>";
            break;
        }
        case SQL_C_BINARY:
            if (b.driverTypes[column - 1] == RUVA70_TYPE_TIMESTAMP_TZ) {
                v = "us:" + num(static_cast<long long>(JC(getTimestampRaw, b.token, ec, column)));
            } else {
                const jint n = JC(getDataLength, b.token, ec, column);
                jbyteArray buf = qvt::newBytes(n > 0 ? n : 0);
                JC(getBytes, b.token, buf, ec, column);
                truncated = at(ec, 1) == -97;
                v = "x" + hex(qvt::read(buf), static_cast<size_t>(n > 0 ? n : 0));
            }
            break;
        default: {
            jintArray vals = qvt::newInts(7);
            if (cType == SQL_C_DATE) JC(getDate, b.token, ec, column, vals);
            if (cType == SQL_C_TIME) JC(getTime, b.token, ec, column, vals);
            if (cType == SQL_C_TIMESTAMP) JC(getTimestamp, b.token, ec, column, vals);
            v = dateText(qvt::read(vals), cType);
        }
    }
    if (truncated) return readData(b, column);
    if (cType != SQL_C_CHAR && cType != SQL_C_WCHAR) {
        EXPECT_EQ(at(ec, 1), 0) << "column " << column;
    }
    EXPECT_NO_JAVA_EXCEPTION();
    return v;
}

// The same value read with the SQLGetData reads of its C type.
std::string readData(Bound& b, int column) {
    jbyteArray ec = errorCode();
    const SQLSMALLINT cType = static_cast<SQLSMALLINT>(b.cTypes[column - 1]);
    const jint h = b.stmt, t = b.token;
    std::string v;
    switch (cType) {
        case SQL_C_SSHORT:
            v = num(JC(getDataShort, h, t, column, ec));
            break;
        case SQL_C_SLONG:
            v = num(JC(getDataInteger, h, t, column, ec));
            break;
        case SQL_C_SBIGINT:
            v = num(static_cast<long long>(JC(getDataLong, h, t, column, ec)));
            break;
        case SQL_C_FLOAT:
            v = num(JC(getDataFloat, h, t, column, ec), true);
            break;
        case SQL_C_DOUBLE:
            v = num(JC(getDataDouble, h, t, column, ec), false);
            break;
        case SQL_C_CHAR:
        case SQL_C_WCHAR: {
            jcharArray buf = qvt::newChars(32768);  // holds 16384 characters: its length counts bytes
            const jint n = JC(getDataString, h, t, column, buf, ec, b.sqlTypes[column - 1]);
            if (at(ec, 1) == -1) {
                EXPECT_EQ(n, -1);
                return "NULL";
            }
            const std::u16string s = qvt::read(buf).substr(0, static_cast<size_t>(std::max(n, 0)));
            v = utf8(s);
            // Decimal text through the deposit: getBigDecimal sees the value read.
            if (cType == SQL_C_CHAR && b.sqlTypes[column - 1] != SQL_TIME) {
                v = plain(JC(getBigDecimal, t, column));
                EXPECT_NO_JAVA_EXCEPTION();
            }
            break;
        }
        case SQL_C_BINARY:
            if (b.driverTypes[column - 1] == RUVA70_TYPE_TIMESTAMP_TZ) {
                v = "us:" + num(static_cast<long long>(JC(getDataTimestampRaw, h, t, ec, column)));
            } else {
                jbyteArray buf = qvt::newBytes(4096);
                const jint n = JC(getDataBinary, h, t, column, SQL_C_BINARY, buf, 4096, ec);
                if (at(ec, 1) == -1) {
                    EXPECT_EQ(n, -1);
                    return "NULL";
                }
                v = "x" + hex(qvt::read(buf), static_cast<size_t>(n));
            }
            break;
        default: {
            jintArray vals = qvt::newInts(7);
            if (cType == SQL_C_DATE) JC(getDataDate, h, t, column, vals, ec);
            if (cType == SQL_C_TIME) JC(getDataTime, h, t, column, vals, ec);
            if (cType == SQL_C_TIMESTAMP) JC(getDataTimestamp, h, t, column, vals, ec);
            v = dateText(qvt::read(vals), cType);
        }
    }
    if (at(ec, 1) == -1) {
        EXPECT_EQ(JC(getDataLength, t, ec, column), -1) << "a NULL read leaves -1 for getDataLength";
        return "NULL";
    }
    EXPECT_EQ(at(ec, 0), 0) << "column " << column << qvt::diagnostics(0, 0, h);
    EXPECT_EQ(at(ec, 1), 0) << "column " << column;
    EXPECT_NO_JAVA_EXCEPTION();
    return v;
}

struct Column {
    const char* name;
    std::string sqliteType, pgType;  // empty: not on that source
    SQLSMALLINT cType;               // the C type the binding table gives it
    std::string typical, extreme;    // SQL literals
    std::string typicalRead, extremeRead;
};

std::string hexLiteral(const std::string& bytes, bool pg) {
    std::string h = hex(std::vector<int8_t>(bytes.begin(), bytes.end()), bytes.size());
    return pg ? "decode('" + h + "', 'hex')" : "X'" + h + "'";
}

// A kilobyte of every byte value.
std::string kilobyte() {
    std::string b(1024, '\0');
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>(i * 7);
    return b;
}

// JSON text of about 5,000 characters: longer than psqlODBC's size for it.
std::string longJson() {
    std::string j = "[";
    for (int i = 0; i < 1000; ++i) j += std::to_string(i * 7919) + (i < 999 ? "," : "]");
    return j;
}

const std::string kGrin = "\xF0\x9F\x98\x80";  // U+1F600: two UTF-16 units

// Every column type of the data source: SQL literals of a typical value and
// an extreme one (a NULL row follows), and the text each reads back as.
std::vector<Column> typeTable(Source s) {
    const bool pg = s == Source::Postgres;
    const SQLSMALLINT sqliteInt = pg ? SQL_C_SLONG : SQL_C_SBIGINT;
    const std::string kb = kilobyte();
    std::vector<Column> cols = {
        // SQLite integers are 64-bit whatever the column declares.
        {"c_smallint", "smallint", "smallint", static_cast<SQLSMALLINT>(pg ? SQL_C_SSHORT : SQL_C_SBIGINT), "12",
         "-32768", "12", "-32768"},
        {"c_integer", "integer", "integer", sqliteInt, pg ? "123456" : "470414411239",
         pg ? "-2147483648" : "-9223372036854775808", pg ? "123456" : "470414411239",
         pg ? "-2147483648" : "-9223372036854775808"},
        {"c_bigint", "bigint", "bigint", SQL_C_SBIGINT, "1234567890123", "9223372036854775807", "1234567890123",
         "9223372036854775807"},
        // SQLite describes real as SQL_DOUBLE.
        {"c_real", "real", "real", static_cast<SQLSMALLINT>(pg ? SQL_C_FLOAT : SQL_C_DOUBLE), "1.5", "-3.40282347e38",
         "1.5", pg ? "-3.40282347e+38" : "-3.4028234699999998e+38"},
        {"c_double", "double", "double precision", SQL_C_DOUBLE, "2.25", "-1.25e300", "2.25",
         "-1.2500000000000001e+300"},
        // Decimals are described as such and read as the text of the value
        // (SQLite keeps them as integers, doubles or text: 38-digit
        // exactness only on PostgreSQL).
        {"c_dec38", "numeric(38,10)", "numeric(38,10)", SQL_C_CHAR, pg ? "12345.6789000000" : "12345.5000",
         pg ? "-9999999999999999999999999999.9999999999" : "-99999999.25", pg ? "12345.6789" : "12345.5",
         pg ? "-9999999999999999999999999999.9999999999" : "-99999999.25"},
        {"c_numeric", "numeric", "numeric", SQL_C_CHAR, "1200",
         pg ? "-0.000000000000000000000000000000000000012345" : "123456789012", "1200",
         pg ? "-0.000000000000000000000000000000000000012345" : "123456789012"},
        // Negative fractions at full scale: sign, leading zero, point, digits.
        {"c_num55", "", "numeric(5,5)", SQL_C_CHAR, "0.12345", "-0.99999", "0.12345", "-0.99999"},
        {"c_num1010", "", "numeric(10,10)", SQL_C_CHAR, "0.5", "-0.1", "0.5", "-0.1"},
        {"c_num3838", "", "numeric(38,38)", SQL_C_CHAR, "0.00000000000000000000000000000000000001",
         "-0." + std::string(38, '9'), "0.00000000000000000000000000000000000001", "-0." + std::string(38, '9')},
        {"c_numneg", "", "numeric(2,-3)", SQL_C_CHAR, "12000", "-99000", "12000", "-99000"},
        {"c_money", "", "money", SQL_C_WCHAR, "12.34", "-92233720368547758.08", "$12.34",
         "-$92,233,720,368,547,758.08"},
        {"c_varchar", "varchar(40)", "varchar(40)", SQL_C_WCHAR, "'h\xC3\xA9llo \xE2\x82\xAC'", "''",
         "h\xC3\xA9llo \xE2\x82\xAC", ""},
        // Three characters outside the Basic Multilingual Plane in varchar(3).
        {"c_vc3", "varchar(3)", "varchar(3)", SQL_C_WCHAR, "'abc'", "'" + kGrin + kGrin + kGrin + "'", "abc",
         kGrin + kGrin + kGrin},
        {"c_char", "char(4)", "char(4)", SQL_C_WCHAR, "'ab'", "'" + kGrin + kGrin + kGrin + kGrin + "'",
         pg ? "ab  " : "ab", kGrin + kGrin + kGrin + kGrin},
        {"c_text", "text", "text", SQL_C_WCHAR, "'clef \xF0\x9D\x84\x9E and \xC3\xBC'",
         "'" + std::string(3000, 'z') + "'", "clef \xF0\x9D\x84\x9E and \xC3\xBC", std::string(3000, 'z')},
        // A kilobyte arrives in the bound buffer (psqlODBC reports bytea with size 0).
        {"c_bin", "blob", "bytea", SQL_C_BINARY, hexLiteral(std::string("\x00\xff\x10", 3), pg), hexLiteral(kb, pg),
         "x00ff10", "x" + hex(std::vector<int8_t>(kb.begin(), kb.end()), kb.size())},
        // psqlODBC reads booleans as the text 1 or 0.
        {"c_bool", "", "boolean", SQL_C_WCHAR, "true", "false", "1", "0"},
        {"c_date", "date", "date", SQL_C_DATE, "'2024-02-29'", "'1000-01-01'", "2024-02-29", "1000-01-01"},
        // Times arrive as text, with their fraction of a second.
        {"c_time", "time", "time", SQL_C_CHAR, "'13:45:07'", "'23:59:59.999999'", "13:45:07", "23:59:59.999999"},
        {"c_timetz", "", "timetz", SQL_C_WCHAR, "'13:45:07+02'", "'23:59:59.999999-15:59'", "13:45:07+02",
         "23:59:59.999999-15:59"},
        {"c_ts", "timestamp", "timestamp", SQL_C_TIMESTAMP, "'2024-02-29 13:45:07.123'", "'9999-12-31 23:59:59.999'",
         "2024-02-29 13:45:07.123000000", "9999-12-31 23:59:59.999000000"},
        {"c_dt", "datetime", "", SQL_C_TIMESTAMP, "'2001-02-03 04:05:06.5'", "'1970-01-01 00:00:00'",
         "2001-02-03 04:05:06.500000000", "1970-01-01 00:00:00.000000000"},
        // The driver's 8-byte form: microseconds since 1970-01-01 UTC.
        {"c_tstz", "", "timestamptz", SQL_C_BINARY, "'2024-02-29 13:45:07.123+00'", "'1969-12-31 23:59:59.999999+00'",
         "us:1709214307123000", "us:-1"},
        {"c_interval", "", "interval", SQL_C_WCHAR, "'1 day 02:03:04.5'", "'-178000000 years -11 mons -12:34:56.789'",
         "1 day 02:03:04.5", "-178000000 years -11 mons -12:34:56.789"},
        // psqlODBC renders uuid in upper case.
        {"c_uuid", "", "uuid", SQL_C_WCHAR, "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'",
         "'ffffffff-ffff-ffff-ffff-ffffffffffff'", "A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11",
         "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"},
        {"c_json", "", "json", SQL_C_WCHAR, "'{\"a\": [1, 2.5, \"x\"]}'", "'" + longJson() + "'",
         "{\"a\": [1, 2.5, \"x\"]}", longJson()},
        {"c_jsonb", "", "jsonb", SQL_C_WCHAR, "'{\"b\":1,\"a\":2}'", "'[]'", "{\"a\": 2, \"b\": 1}", "[]"},
        {"c_intarr", "", "int[]", SQL_C_WCHAR, "'{1,NULL,3}'", "array[-2147483648, 2147483647]", "{1,NULL,3}",
         "{-2147483648,2147483647}"},
        {"c_textarr", "", "text[]", SQL_C_WCHAR, "'{\"a b\",\"c,d\",NULL}'", "'{}'", "{\"a b\",\"c,d\",NULL}", "{}"},
        {"c_inet", "", "inet", SQL_C_WCHAR, "'10.0.0.1'", "'2001:db8::ff00:42:8329/64'", "10.0.0.1",
         "2001:db8::ff00:42:8329/64"},
        {"c_xml", "", "xml", SQL_C_WCHAR, "'<a>x</a>'", "'<r/>'", "<a>x</a>", "<r/>"},
        // A column of no declared type takes the type of the first row's value.
        {"c_untyped", "", "", SQL_C_WCHAR, "'untyped'", "42", "untyped", "42"},
    };
    std::vector<Column> out;
    for (auto& c : cols)
        if (!(pg ? c.pgType : c.sqliteType).empty() || (!pg && std::string(c.name) == "c_untyped")) out.push_back(c);
    return out;
}

class ResultsTypes : public ::testing::TestWithParam<Source> {
protected:
    void SetUp() override {
        JC(initIDs);
        ASSERT_EQ(qvt::takeException(), "");
        c_.open(GetParam());
        table_ = qvt::uniqueName("rt");
        cols_ = typeTable(GetParam());
        std::string ddl = "CREATE TABLE " + table_ + " (id integer";
        std::string names, typical, extreme, nulls;
        for (auto& col : cols_) {
            ddl += std::string(", ") + col.name + " " + (c_.isPostgres() ? col.pgType : col.sqliteType);
            names += std::string(", ") + col.name;
            typical += ", " + col.typical;
            extreme += ", " + col.extreme;
            nulls += ", NULL";
        }
        c_.exec(ddl + ")");
        c_.exec("INSERT INTO " + table_ + " (id" + names + ") VALUES (1" + typical + ")");
        c_.exec("INSERT INTO " + table_ + " (id" + names + ") VALUES (2" + extreme + ")");
        c_.exec("INSERT INTO " + table_ + " (id" + names + ") VALUES (3" + nulls + ")");
        select_ = "SELECT id" + names + " FROM " + table_ + " ORDER BY id";
    }
    void TearDown() override { c_.exec("DROP TABLE " + table_); }
    qvt::LocalFrame frame_{1024};
    Connection c_;
    std::string table_, select_;
    std::vector<Column> cols_;
};

TEST_P(ResultsTypes, EveryTypeReadsBackBoundAndThroughGetData) {
    for (bool throughGetData : {false, true}) {
        Bound b;
        b.open(c_, select_);
        ASSERT_EQ(b.numCols, static_cast<jint>(cols_.size()) + 1);
        for (size_t i = 0; i < cols_.size(); ++i)
            ASSERT_EQ(b.cTypes[i + 1], cols_[i].cType)
                << cols_[i].name << ": sql type " << b.sqlTypes[i + 1] << ", driver type " << b.driverTypes[i + 1];
        for (int row = 0; row < 3; ++row) {
            // Every value of these rows fits its bound buffer: the row
            // arrives whole, and its numbers and NULLs are cached.
            ASSERT_EQ(b.fetch(), SQL_SUCCESS) << "row " << row << qvt::diagnostics(0, 0, b.stmt);
            for (size_t i = 0; i < cols_.size(); ++i) {
                const std::string expected = row == 0   ? cols_[i].typicalRead
                                             : row == 1 ? cols_[i].extremeRead
                                                        : "NULL";
                const int column = static_cast<int>(i) + 2;
                const std::string cached = cachedText(b, column);
                if (!cached.empty() || row == 2) {
                    EXPECT_TRUE(b.field<bool>(column, "hasCachedValue", "Z")) << cols_[i].name << " row " << row;
                    EXPECT_EQ(cached, expected) << cols_[i].name << " row " << row << " (cached)";
                }
                EXPECT_EQ(throughGetData ? readData(b, column) : readBound(b, column), expected)
                    << cols_[i].name << " row " << row << (throughGetData ? " (getData)" : " (bound)");
            }
            for (jint i = 0; i < b.numCols; ++i) {
                jobject o = b.object(i + 1);
                qvt::env()->CallVoidMethod(
                    o, qvt::env()->GetMethodID(qvt::env()->GetObjectClass(o), "clearCache", "()V"));
                ASSERT_FALSE(qvt::env()->ExceptionCheck());
            }
        }
        EXPECT_EQ(b.fetch(), SQL_NO_DATA_FOUND);
        b.close();
    }
}

TEST_P(ResultsTypes, TextBeyondAsciiSurvivesBothReads) {
    const std::u16string text = u"caf\u00e9 \u20ac \U0001D11E end";
    c_.exec("DELETE FROM " + table_);
    c_.exec("INSERT INTO " + table_ + " (id, c_varchar, c_text) VALUES (1, '" + utf8(text) + "', '" + utf8(text) +
            "')");
    Bound b;
    b.open(c_, "SELECT c_varchar, c_text FROM " + table_);
    ASSERT_EQ(b.fetch(), 0);
    for (int column : {1, 2}) {
        EXPECT_EQ(utf16(readBound(b, column)), text);
        EXPECT_EQ(utf16(readData(b, column)), text);
    }
    b.close();
}

TEST_P(ResultsTypes, MegabyteValuesReadInPiecesAndReassemble) {
    const size_t size = 1 << 20;
    std::string bytes(size, '\0'), text(size, 'a');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
        text[i] = static_cast<char>('a' + i % 26);
    }
    c_.exec("DELETE FROM " + table_);
    c_.exec("INSERT INTO " + table_ + " (id, c_text, c_bin) VALUES (1, '" + text + "', " +
            (c_.isPostgres() ? "decode('" : "X'") + hex(std::vector<int8_t>(bytes.begin(), bytes.end()), size) +
            (c_.isPostgres() ? "', 'hex'))" : "')"));
    for (bool stream : {false, true}) {
        Bound b;
        b.open(c_, "SELECT c_text, c_bin FROM " + table_);
        const int fetched = b.fetch();
        EXPECT_TRUE(fetched == 0 || fetched == 1) << "a bound buffer shorter than 1 MiB may be truncated";
        jbyteArray ec = errorCode();
        // Binary in 64 KiB pieces (hexadecimal text when streamed), text as
        // UTF-16 units swapped to big-endian order.
        const jint piece = 65536;
        for (int column : {2, 1}) {
            const SQLSMALLINT cType = column == 2 ? SQL_C_BINARY : SQL_C_WCHAR;
            const jint streamType = column == 2 ? 21 : 24;
            const int factor = stream && column == 2 ? 2 : 1;
            jbyteArray buf = qvt::newBytes(piece * factor);
            std::string got;
            bool sawTruncation = false;
            for (int guard = 0; guard < 100; ++guard) {
                const jint ind = stream
                                     ? JC(getDataStream, b.stmt, b.token, column, cType, buf, piece, streamType, ec)
                                     : JC(getDataBinary, b.stmt, b.token, column, cType, buf, piece, ec);
                if (at(ec, 0) == SQL_NO_DATA_FOUND) break;
                ASSERT_TRUE(at(ec, 0) == 0 || at(ec, 0) == 1) << qvt::diagnostics(0, 0, b.stmt);
                const jint term = cType == SQL_C_WCHAR ? 2 : 0;
                const jint n = ind == SQL_NO_TOTAL || ind > piece - term ? piece - term : ind;
                if (at(ec, 0) == 1) {
                    sawTruncation = true;
                    EXPECT_TRUE(ind == SQL_NO_TOTAL || ind > piece - term) << "truncation shows in the indicator";
                }
                auto v = qvt::read(buf);
                got.append(reinterpret_cast<const char*>(v.data()), static_cast<size_t>(n) * factor);
                if (at(ec, 0) == 0) break;
            }
            EXPECT_TRUE(sawTruncation);
            std::string expected;
            if (column == 2) {
                expected = stream ? hex(std::vector<int8_t>(bytes.begin(), bytes.end()), size) : bytes;
                if (stream)
                    for (char& ch : expected) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            } else {
                for (char ch : text) {
                    if (stream) expected.push_back('\0');
                    expected.push_back(ch);
                    if (!stream) expected.push_back('\0');
                }
            }
            EXPECT_EQ(got.size(), expected.size()) << "column " << column << (stream ? " streamed" : "");
            EXPECT_TRUE(got == expected) << "column " << column << (stream ? " streamed" : "");
        }
        b.close();
    }
}

TEST_P(ResultsTypes, TruncatedBoundColumnLeavesObjectsUntouched) {
    Bound b;
    b.open(c_, "SELECT c_bigint, c_varchar FROM " + table_ + " ORDER BY id");
    jbyteArray ec = errorCode();
    // Column 2 rebound to 2 characters: 'héllo €' no longer fits.
    EXPECT_NE(JC(bindCol, b.stmt, b.token, SQL_C_WCHAR, 4, 2, ec), -4);
    EXPECT_EQ(at(ec, 1), 0);
    EXPECT_EQ(b.fetch(), SQL_SUCCESS_WITH_INFO);
    EXPECT_FALSE(b.field<bool>(1, "hasCachedValue", "Z")) << "a row fetched with a warning is not cached";
    EXPECT_EQ(JC(getLong, b.token, ec, 1), 1234567890123) << "the getters still read the row";
    jobject rv = qvt::newObject("com/quorvane/jdbc/RetVal");
    JC(getString, b.token, 2, rv, SQL_C_WCHAR);
    jclass c = qvt::env()->GetObjectClass(rv);
    auto s =
        static_cast<jstring>(qvt::env()->GetObjectField(rv, qvt::env()->GetFieldID(c, "obj", "Ljava/lang/Object;")));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(qvt::read(s), u"h\u00e9") << "the part the buffer holds, without its terminator";
    b.close();
}

// A column label as long as PostgreSQL's names go (63 bytes) describes and
// binds: the name is not used.
TEST_P(ResultsTypes, LongColumnLabelDescribesAndBinds) {
    const std::string label = "number_of_orders_in_this_region_" + std::string(31, 'x');
    ASSERT_EQ(label.size(), 63u);
    Bound b;
    b.open(c_, "SELECT count(*) AS " + label + " FROM " + table_);
    ASSERT_EQ(b.fetch(), SQL_SUCCESS);
    EXPECT_EQ(readBound(b, 1), "3");
    jbyteArray ec = errorCode();
    jintArray types = qvt::newInts(1), lengths = qvt::newInts(1);
    JC(getStmtTypeInfo, 0, b.stmt, types, qvt::newInts(1), lengths, ec, 1);
    EXPECT_EQ(at(ec, 1), 0);
    EXPECT_EQ(qvt::read(types)[0], SQL_BIGINT);
    EXPECT_EQ(qvt::read(lengths)[0], 20);
    b.close();
}

// A number read into a narrower type than its own fails loudly: psqlODBC
// and the SQLite driver cut 2^40 + 1 to 1 without a word.
TEST_P(ResultsTypes, WideIntegerReadAsNarrowFailsLoudly) {
    Bound b;
    b.open(c_, c_.isPostgres() ? "SELECT 1099511627777::bigint, 70000::integer" : "SELECT 1099511627777, 70000");
    ASSERT_EQ(b.fetch(), SQL_SUCCESS);
    jbyteArray ec = errorCode();
    EXPECT_EQ(JC(getDataInteger, b.stmt, b.token, 1, ec), 0);
    EXPECT_EQ(at(ec, 0), SQL_ERROR);
    EXPECT_NE(qvt::diagnostics(0, 0, b.stmt).find("22003"), std::string::npos) << qvt::diagnostics(0, 0, b.stmt);
    EXPECT_EQ(JC(getDataShort, b.stmt, b.token, 2, ec), 0);
    EXPECT_EQ(at(ec, 0), SQL_ERROR);
    EXPECT_EQ(static_cast<long long>(JC(getDataLong, b.stmt, b.token, 1, ec)), 1099511627777LL)
        << "read again as wide as it is";
    EXPECT_EQ(at(ec, 0), 0);
    b.close();
}

INSTANTIATE_TEST_SUITE_P(DataSources, ResultsTypes, qvt::AllSources, qvt::sourceName);

// What SQLite holds, and the limits of its ODBC driver.
class SqliteValues : public ResultsTypes {};

TEST_P(SqliteValues, SumOf64BitIntegersArrivesWhole) {
    c_.exec("UPDATE " + table_ + " SET c_integer = 470414411239 WHERE id = 2");
    Bound b;
    b.open(c_, "SELECT sum(c_integer), max(c_integer) * 2 FROM " + table_);
    EXPECT_EQ(b.sqlTypes[0], SQL_BIGINT) << "the driver says SQL_INTEGER";
    EXPECT_EQ(b.cTypes[0], SQL_C_SBIGINT);
    ASSERT_EQ(b.fetch(), SQL_SUCCESS);
    EXPECT_EQ(cachedText(b, 1), "940828822478");
    EXPECT_EQ(cachedText(b, 2), "940828822478");
    EXPECT_EQ(readBound(b, 1), "940828822478");
    EXPECT_EQ(readData(b, 1), "940828822478");
    b.close();
}

// A REAL reads as its exact double, to the last bit (the SQLite ODBC driver
// read SQLite's 15-digit text of it), and the largest double reads whole.
TEST_P(SqliteValues, RealReadsExactToTheLastBit) {
    c_.exec("UPDATE " + table_ + " SET c_double = 1.0 / 3, c_real = 0.1 WHERE id = 1");
    Bound b;
    b.open(c_, "SELECT c_double, c_real, 1.0 / 3, 0.1 + 0.2 FROM " + table_ + " WHERE id = 1");
    ASSERT_EQ(b.fetch(), SQL_SUCCESS);
    for (int column : {1, 3}) {
        EXPECT_EQ(cachedText(b, column), num(1.0 / 3, false));
        EXPECT_NE(cachedText(b, column), num(0.333333333333333, false));
    }
    EXPECT_EQ(cachedText(b, 2), num(0.1, false));
    EXPECT_EQ(cachedText(b, 4), num(0.1 + 0.2, false));
    EXPECT_EQ(readData(b, 1), num(1.0 / 3, false));
    b.close();
    Bound big;
    big.open(c_, "SELECT 1.7976931348623157e308");
    ASSERT_EQ(big.fetch(), SQL_SUCCESS) << qvt::diagnostics(0, 0, big.stmt);
    EXPECT_EQ(cachedText(big, 1), num(1.7976931348623157e308, false));
    big.close();
}

// SQLite stores text in a column that declares a number; the driver read
// it as NULL. It is an error now, for the row and for the read.
TEST_P(SqliteValues, TextInANumberColumnIsAnError) {
    c_.exec("UPDATE " + table_ + " SET c_bigint = 'abc' WHERE id = 2");
    Bound b;
    b.open(c_, "SELECT id, c_bigint FROM " + table_ + " ORDER BY id");
    ASSERT_EQ(b.fetch(), SQL_SUCCESS);
    EXPECT_EQ(b.fetch(), SQL_ERROR);
    EXPECT_NE(qvt::diagnostics(0, 0, b.stmt).find("22005"), std::string::npos);
    jbyteArray ec = errorCode();
    EXPECT_EQ(JC(getDataLong, b.stmt, b.token, 2, ec), 0);
    EXPECT_EQ(at(ec, 0), SQL_ERROR);
    EXPECT_EQ(at(ec, 1), 0) << "not a NULL";
    EXPECT_EQ(b.fetch(), SQL_SUCCESS) << "the next row reads";
    b.close();
}

INSTANTIATE_TEST_SUITE_P(DataSources, SqliteValues, ::testing::Values(Source::Sqlite), qvt::sourceName);

}  // namespace
