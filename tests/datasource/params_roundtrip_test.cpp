// Every setter's value inserted through a prepared statement (prepare,
// numParams, bindAllParams, setters, execute) and read back equal on
// SQLite and PostgreSQL, with typeFromValue 0 and 1.
#include "params_prepared.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <memory>
#include <cstring>
#include <ctime>

namespace {

using qvt::Connection;
using qvt::Source;
using qvt::params::Prepared;
using Rows = std::vector<std::vector<std::optional<std::string>>>;

std::optional<std::string> text(const char* s) {
    return std::string(s);
}

class ParamRoundTrip : public ::testing::TestWithParam<Source> {
protected:
    void SetUp() override {
        c_.open(GetParam());
        table_ = qvt::uniqueName("pr");
    }
    void TearDown() override {
        if (created_) c_.exec("DROP TABLE " + table_);
    }
    void create(const std::string& columns) {
        c_.exec("CREATE TABLE " + table_ + " (" + columns + ")");
        created_ = true;
    }
    void clear() { c_.exec("DELETE FROM " + table_); }
    bool pg() const { return c_.isPostgres(); }
    qvt::LocalFrame frame_{1024};
    Connection c_;
    std::string table_;
    bool created_ = false;
};

TEST_P(ParamRoundTrip, IntegersAtTheirLimits) {
    create("k integer, i integer, b bigint, s smallint");
    for (int fromValue : {0, 1}) {
        SCOPED_TRACE("typeFromValue " + std::to_string(fromValue));
        clear();
        Prepared p(c_, "INSERT INTO " + table_ + " (k, i, b, s) VALUES (?, ?, ?, ?)", fromValue);
        ASSERT_EQ(p.n, 4);
        const struct {
            int32_t i;
            int64_t b;
            int32_t s;
        } rows[] = {{INT32_MIN, INT64_MIN, -32768}, {INT32_MAX, INT64_MAX, 32767}, {0, 0, 0}, {-1, -1, -1}};
        int k = 0;
        for (const auto& r : rows) {
            EXPECT_EQ(JC(setInteger, p.stmt, p.token, k++, 1), 0);
            EXPECT_EQ(JC(setInteger, p.stmt, p.token, r.i, 2), 0);
            EXPECT_EQ(JC(setLong, p.stmt, p.token, r.b, 3), 0);
            EXPECT_EQ(JC(setInteger, p.stmt, p.token, r.s, 4), 0);
            p.run();
        }
        EXPECT_EQ(c_.query("SELECT i, b, s FROM " + table_ + " ORDER BY k"),
                  (Rows{{text("-2147483648"), text("-9223372036854775808"), text("-32768")},
                        {text("2147483647"), text("9223372036854775807"), text("32767")},
                        {text("0"), text("0"), text("0")},
                        {text("-1"), text("-1"), text("-1")}}));
    }
}

TEST_P(ParamRoundTrip, FloatsAndDoublesBitForBit) {
    create("k integer, r real, d double precision");
    const float floats[] = {FLT_MIN, FLT_MAX, 0.1f, -1.5f, 16777217.0f, 1.17549421e-38f, 3.14159274f};
    const double doubles[] = {DBL_MIN,           DBL_MAX,           0.1, -2.5e-300, 4.9406564584124654e-324,
                              3.141592653589793, 9007199254740993.0};
    for (int fromValue : {0, 1}) {
        SCOPED_TRACE("typeFromValue " + std::to_string(fromValue));
        clear();
        Prepared p(c_, "INSERT INTO " + table_ + " (k, r, d) VALUES (?, ?, ?)", fromValue);
        for (size_t i = 0; i < std::size(floats); ++i) {
            JC(setInteger, p.stmt, p.token, static_cast<jint>(i), 1);
            EXPECT_EQ(JC(setFloat, p.stmt, p.token, floats[i], 2), 0);
            EXPECT_EQ(JC(setDouble, p.stmt, p.token, doubles[i], 3), 0);
            p.run();
        }
        for (size_t i = 0; i < std::size(floats); ++i) {
            const std::string k = " FROM " + table_ + " WHERE k = " + std::to_string(i);
            if (pg()) {
                // PostgreSQL prints the shortest text that reads back exactly.
                const auto row = c_.query("SELECT r::text, d::text" + k);
                ASSERT_EQ(row.size(), 1u);
                ASSERT_TRUE(row[0][0] && row[0][1]);
                const float f = std::strtof(row[0][0]->c_str(), nullptr);
                const double d = std::strtod(row[0][1]->c_str(), nullptr);
                EXPECT_EQ(std::memcmp(&f, &floats[i], sizeof f), 0) << i << ": " << *row[0][0];
                EXPECT_EQ(std::memcmp(&d, &doubles[i], sizeof d), 0) << i << ": " << *row[0][1];
            } else {
                // SQLite's own printing loses the last digit at the extremes;
                // the stored doubles are compared with exact literals instead.
                char lit[96];
                std::snprintf(lit, sizeof lit, "r = %.17g, d = %.17g", static_cast<double>(floats[i]), doubles[i]);
                EXPECT_EQ(c_.query(std::string("SELECT ") + lit + k), (Rows{{text("1"), text("1")}})) << i << lit;
            }
        }
    }
}

TEST_P(ParamRoundTrip, NullsOfEveryKind) {
    const std::string bin = pg() ? "bytea" : "blob";
    create("k integer, i integer, b bigint, r real, d double precision, v varchar(20), x " + bin +
           ", n numeric(10,2), dt date, ts timestamp");
    for (int fromValue : {0, 1}) {
        SCOPED_TRACE("typeFromValue " + std::to_string(fromValue));
        clear();
        Prepared p(c_, "INSERT INTO " + table_ + " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", fromValue);
        ASSERT_EQ(p.n, 10);
        // Nulls straight after binding, then nulls over values of each setter.
        JC(setInteger, p.stmt, p.token, 1, 1);
        for (int i = 2; i <= 10; ++i) p.setNull(i);
        p.run();
        JC(setInteger, p.stmt, p.token, 2, 1);
        JC(setInteger, p.stmt, p.token, 5, 2);
        JC(setLong, p.stmt, p.token, 5, 3);
        JC(setFloat, p.stmt, p.token, 5, 4);
        JC(setDouble, p.stmt, p.token, 5, 5);
        p.setString(6, u"five");
        p.setBytes(7, {5});
        p.setString(8, u"5.00");
        p.setString(9, u"2005-05-05");
        p.setTimestamp(10, 0);
        for (int i = 2; i <= 10; ++i) p.setNull(i);
        p.run();
        const Rows rows = c_.query("SELECT i, b, r, d, v, x, n, dt, ts FROM " + table_ + " ORDER BY k");
        ASSERT_EQ(rows.size(), 2u);
        for (const auto& row : rows)
            for (const auto& v : row) EXPECT_FALSE(v.has_value()) << *v;
    }
}

TEST_P(ParamRoundTrip, StringsAsUtf16GrowingAndEmpty) {
    create(std::string("k integer, v varchar(200), t ") + c_.dialect().textType);
    const std::u16string big(40000, u'\u00e9');  // beyond either data source's first buffer
    for (int fromValue : {0, 1}) {
        SCOPED_TRACE("typeFromValue " + std::to_string(fromValue));
        clear();
        Prepared p(c_, "INSERT INTO " + table_ + " (k, v, t) VALUES (?, ?, ?)", fromValue);
        const std::u16string values[] = {u"abc", u"h\u00e9llo \u20ac \U0001F600 \u4e2d\u6587", u"", big};
        int k = 0;
        for (const auto& v : values) {
            JC(setInteger, p.stmt, p.token, k++, 1);
            p.setString(2, v.size() > 200 ? u"long" : v);
            p.setString(3, v);
            p.run();
        }
        EXPECT_GE(p.record(3).bufferLength, static_cast<int32_t>(2 * big.size() + 2)) << "the buffer grew";
        const Rows rows = c_.query("SELECT v, t FROM " + table_ + " ORDER BY k");
        ASSERT_EQ(rows.size(), 4u);
        EXPECT_EQ(rows[0][1], text("abc"));
        EXPECT_EQ(rows[1][0], text("h\u00e9llo \u20ac \U0001F600 \u4e2d\u6587"))
            << "UTF-16 units reach the data source";
        EXPECT_EQ(rows[1][1], rows[1][0]);
        EXPECT_EQ(rows[2][1], text("")) << "an empty string is not a null";
        std::string bigUtf8;
        for (size_t i = 0; i < big.size(); ++i) bigUtf8 += "\u00e9";
        EXPECT_EQ(rows[3][1], bigUtf8);
        EXPECT_EQ(rows[3][0], text("long"));
    }
}

// Decimals, dates and times are described to PostgreSQL's parameters as
// such and bound as 8-bit text; SQLite describes every parameter as text
// (UTF-16) and keeps decimals as doubles, so it shows these values only
// where a double holds them.
TEST_P(ParamRoundTrip, DecimalsDatesAndTimesAsText) {
    create("k integer, n numeric(30,10), dt date, tm time");
    const bool exact = c_.dialect().decimalsKeepScale;
    const std::u16string decimal = exact ? u"12345678901234567890.0123456789" : u"1234.5";
    for (int fromValue : {0, 1}) {
        SCOPED_TRACE("typeFromValue " + std::to_string(fromValue));
        clear();
        Prepared p(c_, "INSERT INTO " + table_ + " (k, n, dt, tm) VALUES (?, ?, ?, ?)", fromValue);
        if (pg()) {
            EXPECT_EQ(p.record(2).cType, SQL_C_CHAR);
            EXPECT_EQ(p.record(3).cType, SQL_C_CHAR);
            EXPECT_EQ(p.record(4).cType, SQL_C_CHAR);
        }
        JC(setInteger, p.stmt, p.token, 1, 1);
        p.setString(2, decimal);
        p.setString(3, u"2024-02-29");
        p.setString(4, u"23:59:58");
        p.run();
        JC(setInteger, p.stmt, p.token, 2, 1);
        p.setString(2, u"-0.5");
        p.setString(3, u"1999-12-31");
        p.setString(4, u"00:00:01");
        p.run();
        const std::string n = pg() ? "n::text" : "n";
        const std::string tail = pg() ? "dt::text, tm::text" : "dt, tm";
        const Rows rows = c_.query("SELECT " + n + ", " + tail + " FROM " + table_ + " ORDER BY k");
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0],
                  (std::vector<std::optional<std::string>>{text(exact ? "12345678901234567890.0123456789" : "1234.5"),
                                                           text("2024-02-29"), text("23:59:58")}));
        EXPECT_EQ(rows[1][0], text(exact ? "-0.5000000000" : "-0.5"));
        EXPECT_EQ(rows[1][1], text("1999-12-31"));
    }
    // 8-bit text refuses a character it cannot carry, before any execution.
    if (pg()) {
        Prepared p(c_, "INSERT INTO " + table_ + " (k, n) VALUES (?, ?)");
        jbyteArray e = qvt::errorCode(0, 0);
        JC(setString, p.stmt, p.token, qvt::jstr(u"1\u20ac"), e, 2);
        EXPECT_EQ(qvt::at(e, 1), -98);
    }
}

TEST_P(ParamRoundTrip, BinaryValues) {
    create(std::string("k integer, x ") + c_.dialect().bytesType);
    std::vector<int8_t> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<int8_t>(i);
    std::vector<int8_t> big(100000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<int8_t>((i * 131 + 7) & 0xFF);
    auto hex = [](const std::vector<int8_t>& v) {
        static const char* d = "0123456789abcdef";
        std::string s;
        for (int8_t b : v) {
            s += d[(b >> 4) & 0xF];
            s += d[b & 0xF];
        }
        return s;
    };
    const std::string read =
        "SELECT lower(" + qvt::fill(c_.dialect().hexForm, "x") + ") FROM " + table_ + " ORDER BY k";
    for (int fromValue : {0, 1}) {
        SCOPED_TRACE("typeFromValue " + std::to_string(fromValue));
        clear();
        const std::vector<int8_t> values[] = {all, {}, {0, 0, 0}, big, {1}};
        // The SQLite ODBC driver reads a binary parameter's length once per
        // binding and keeps it for later executions (while it reads the
        // bytes anew), so there each value gets a statement of its own;
        // PostgreSQL runs them all through one binding.
        std::unique_ptr<Prepared> p;
        int k = 0;
        for (const auto& v : values) {
            if (!p || !pg()) {
                p.reset();
                p = std::make_unique<Prepared>(c_, "INSERT INTO " + table_ + " (k, x) VALUES (?, ?)", fromValue);
            }
            JC(setInteger, p->stmt, p->token, k++, 1);
            p->setBytes(2, v);
            p->run();
        }
        const Rows rows = c_.query(read);
        ASSERT_EQ(rows.size(), std::size(values));
        for (size_t i = 0; i < rows.size(); ++i) {
            ASSERT_TRUE(rows[i][0]);
            EXPECT_EQ(rows[i][0]->size(), 2 * values[i].size()) << i;
            EXPECT_TRUE(*rows[i][0] == hex(values[i])) << i;
        }
    }
}

// Microseconds since 1970-01-01 00:00:00 UTC of a calendar time.
int64_t micros(int y, int mo, int d, int h, int mi, int s, int us) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return static_cast<int64_t>(timegm(&t)) * 1000000 + us;
}

TEST_P(ParamRoundTrip, TimestampsInTheDriversForm) {
    create(std::string("k integer, ts ") + c_.dialect().timestampType);
    if (pg()) c_.exec("SET TIME ZONE 'UTC'");
    const std::string read = pg() ? "SELECT to_char(ts, 'YYYY-MM-DD HH24:MI:SS.US') FROM " + table_ + " ORDER BY k"
                                  : "SELECT ts FROM " + table_ + " ORDER BY k";
    for (int fromValue : {0, 1}) {
        SCOPED_TRACE("typeFromValue " + std::to_string(fromValue));
        clear();
        Prepared p(c_, "INSERT INTO " + table_ + " (k, ts) VALUES (?, ?)", fromValue);
        const int64_t values[] = {micros(2024, 1, 2, 3, 4, 5, 123456), micros(1969, 12, 31, 23, 59, 59, 999999),
                                  micros(2038, 1, 19, 3, 14, 8, 1), 0};
        int k = 0;
        for (int64_t v : values) {
            JC(setInteger, p.stmt, p.token, k++, 1);
            p.setTimestamp(2, v);
            p.run();
        }
        const Rows rows = c_.query(read);
        ASSERT_EQ(rows.size(), 4u);
        // The driver writes the text it sends; each data source shows it in
        // its own way (SQLite keeps the text as it came).
        auto expect = [&](size_t i, const char* full) {
            ASSERT_TRUE(rows[i][0]);
            EXPECT_EQ(rows[i][0]->substr(0, std::strlen(full)), full) << *rows[i][0];
        };
        expect(0, "2024-01-02 03:04:05.123456");
        expect(1, "1969-12-31 23:59:59.999999");
        expect(2, "2038-01-19 03:14:08.000001");
        expect(3, "1970-01-01 00:00:00");
    }
}

TEST_P(ParamRoundTrip, OdbcTimestamps) {
    create(std::string("k integer, ts ") + c_.dialect().timestampType);
    const std::string read = pg() ? "SELECT to_char(ts, 'YYYY-MM-DD HH24:MI:SS.US') FROM " + table_ + " ORDER BY k"
                                  : "SELECT ts FROM " + table_ + " ORDER BY k";
    for (int fromValue : {0, 1}) {
        SCOPED_TRACE("typeFromValue " + std::to_string(fromValue));
        clear();
        Prepared p(c_, "INSERT INTO " + table_ + " (k, ts) VALUES (?, ?)", fromValue);
        JC(setInteger, p.stmt, p.token, 1, 1);
        if (pg()) {
            // PostgreSQL's timestamp parameter is bound as the ODBC timestamp
            // structure in place; the value is written there as the batch
            // and the Java side's own copies would.
            ASSERT_EQ(p.record(2).cType, SQL_C_TIMESTAMP);
            p.record(2).inlineValue.timestamp = TIMESTAMP_STRUCT{2023, 7, 14, 15, 16, 17, 250000000};
            p.record(2).lengthInd = sizeof(TIMESTAMP_STRUCT);
        } else {
            p.setString(2, u"2023-07-14 15:16:17.250000");
        }
        p.run();
        JC(setInteger, p.stmt, p.token, 2, 1);
        p.setString(2, u"2001-02-03 04:05:06");  // ODBC timestamp text on either data source
        p.run();
        const Rows rows = c_.query(read);
        ASSERT_EQ(rows.size(), 2u);
        ASSERT_TRUE(rows[0][0] && rows[1][0]);
        EXPECT_EQ(rows[0][0]->substr(0, 23), "2023-07-14 15:16:17.250");
        EXPECT_EQ(rows[1][0]->substr(0, 19), "2001-02-03 04:05:06");
    }
}

INSTANTIATE_TEST_SUITE_P(DataSources, ParamRoundTrip, qvt::AllSources, qvt::sourceName);

}  // namespace
