// Data at execution end to end, output string parameters, and the release
// of parameter storage on SQLite and PostgreSQL.
#include "params_prepared.h"

#include <cstring>

namespace {

using qvt::at;
using qvt::Connection;
using qvt::Source;
using qvt::params::Prepared;

int32_t word(jbyteArray a) {
    const auto v = qvt::read(a);
    int32_t w;
    std::memcpy(&w, v.data(), 4);
    return w;
}

std::string hex(const std::vector<int8_t>& v) {
    static const char* d = "0123456789abcdef";
    std::string s;
    s.reserve(v.size() * 2);
    for (int8_t b : v) {
        s += d[(b >> 4) & 0xF];
        s += d[b & 0xF];
    }
    return s;
}

class ParamStream : public ::testing::TestWithParam<Source> {
protected:
    void SetUp() override {
        c_.open(GetParam());
        table_ = qvt::uniqueName("ps");
        c_.exec("CREATE TABLE " + table_ + " (k integer, x " + c_.dialect().bytesType + ", t " +
                c_.dialect().textType + ")");
    }
    void TearDown() override { c_.exec("DROP TABLE " + table_); }
    qvt::LocalFrame frame_{1024};
    Connection c_;
    std::string table_;
};

struct AtExec {
    jbyteArray tokenBytes = qvt::newBytes(4);
    jbyteArray lengthBytes = qvt::newBytes(4);
    jintArray storage = qvt::newInts(4);
    void bind(Prepared& p, jint param, jint sqlType, jint cType, jint length) {
        jbyteArray ec = qvt::errorCode();
        JC(bindInParameterAtExec, p.token, p.stmt, param, sqlType, cType, length, tokenBytes, lengthBytes, ec,
           storage);
        EXPECT_EQ(at(ec, 0), 0) << qvt::diagnostics(0, 0, p.stmt);
        EXPECT_EQ(at(ec, 1), 0);
    }
    void release() {
        const auto s = qvt::read(storage);
        JC(ReleaseStoredBytes, s[0], s[1]);
        JC(ReleaseStoredBytes, s[2], s[3]);
    }
};

TEST_P(ParamStream, DataAtExecutionSendsAMebibyteInPieces) {
    constexpr jint kTotal = 1 << 20;
    constexpr jint kPiece = 64 << 10;
    std::vector<int8_t> data(kTotal);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<int8_t>((i * 7 + (i >> 16) * 13 + (i >> 8)) & 0xFF);
    const std::u16string text = u"streamed \u00e9\u20ac text";

    Prepared p(c_, "INSERT INTO " + table_ + " (k, x, t) VALUES (?, ?, ?)");
    ASSERT_EQ(p.n, 3);
    JC(setInteger, p.stmt, p.token, 1, 1);
    AtExec bytes, chars;
    bytes.bind(p, 2, SQL_LONGVARBINARY, SQL_C_BINARY, kTotal);
    chars.bind(p, 3, SQL_WLONGVARCHAR, SQL_C_WCHAR, static_cast<jint>(2 * text.size()));
    EXPECT_EQ(p.record(2).bufferLength, qv::kDataAtExecMarker);

    ASSERT_EQ(JC(execute, p.stmt), SQL_NEED_DATA) << qvt::diagnostics(0, 0, p.stmt);
    jbyteArray ec = qvt::errorCode();
    EXPECT_EQ(JC(paramData, p.stmt, ec), 2);
    EXPECT_EQ(at(ec, 0), SQL_NEED_DATA);
    jbyteArray piece = qvt::newBytes(kPiece);
    for (jint at0 = 0; at0 < kTotal; at0 += kPiece) {
        qvt::env()->SetByteArrayRegion(piece, 0, kPiece, data.data() + at0);
        JC(putData__I_3BI_3B, p.stmt, piece, kPiece, ec);
        ASSERT_EQ(at(ec, 0), 0) << at0 << "\n" << qvt::diagnostics(0, 0, p.stmt);
    }
    EXPECT_EQ(JC(paramData, p.stmt, ec), 3);
    JC(putData__I_3CI_3B, p.stmt, qvt::chars(text), static_cast<jint>(text.size()), ec);
    EXPECT_EQ(at(ec, 0), 0);
    EXPECT_EQ(JC(paramData, p.stmt, ec), -1);
    EXPECT_TRUE(at(ec, 0) == SQL_SUCCESS || at(ec, 0) == SQL_SUCCESS_WITH_INFO) << "the statement's own code\n"
                                                                                << qvt::diagnostics(0, 0, p.stmt);

    bytes.release();
    chars.release();
    EXPECT_EQ(word(bytes.tokenBytes), 2);
    EXPECT_EQ(word(bytes.lengthBytes), -100 - kTotal);
    EXPECT_EQ(word(chars.tokenBytes), 3);
    EXPECT_EQ(word(chars.lengthBytes), -100 - static_cast<jint>(2 * text.size()));

    const std::string read =
        "SELECT length(x), lower(" + qvt::fill(c_.dialect().hexForm, "x") + "), t FROM " + table_;
    const auto rows = c_.query(read);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], std::to_string(kTotal));
    EXPECT_TRUE(rows[0][1] == hex(data)) << "the pieces arrive intact and in order";
    EXPECT_EQ(rows[0][2], std::string("streamed \u00e9\u20ac text"));

    // Executed again with the parameter set to NULL instead: no data asked for.
    JC(setInteger, p.stmt, p.token, 2, 1);
    p.setNull(2);
    p.setString(3, u"plain");
    p.run();
    EXPECT_EQ(c_.scalar("SELECT count(*) FROM " + table_ + " WHERE k = 2 AND x IS NULL AND t = 'plain'"),
              std::string("1"));
}

// A freed array leaves the driver nothing to read: its bindings are reset
// before the records go, so executing the statement again fails cleanly.
TEST_P(ParamStream, ExecutingAfterTheArrayIsFreedReadsNoFreedMemory) {
    Prepared p(c_, "INSERT INTO " + table_ + " (k, t) VALUES (?, ?)");
    JC(setInteger, p.stmt, p.token, 1, 1);
    p.setString(2, u"x");
    p.run();
    JC(freeBoundParams, p.token, p.n);
    EXPECT_EQ(JC(setInteger, p.stmt, p.token, 1, 1), 159);
    jbyteArray ec = qvt::errorCode();
    JC(setString, p.stmt, p.token, qvt::jstr(u"y"), ec, 2);
    EXPECT_EQ(at(ec, 1), -97);
    const jshort rc = JC(execute, p.stmt);
    JC(freeStmt, p.stmt, SQL_CLOSE);
    EXPECT_NE(rc, SQL_NEED_DATA);
    EXPECT_EQ(c_.scalar("SELECT count(*) FROM " + table_ + " WHERE t = 'y'"), std::string("0"));
    p.token = 0;
}

// Freed while the driver waits for data: the exchange is cancelled before
// the bindings are reset, so the driver holds nothing of the freed array.
TEST_P(ParamStream, FreeingDuringAPendingExchangeLeavesTheDriverNothing) {
    Prepared p(c_, "INSERT INTO " + table_ + " (k, x) VALUES (?, ?)");
    JC(setInteger, p.stmt, p.token, 1, 1);
    AtExec bytes;
    bytes.bind(p, 2, SQL_LONGVARBINARY, SQL_C_BINARY, 4);
    ASSERT_EQ(JC(execute, p.stmt), SQL_NEED_DATA) << qvt::diagnostics(0, 0, p.stmt);
    JC(freeBoundParams, p.token, p.n);
    p.token = 0;
    // Under AddressSanitizer a driver still holding the records reads freed
    // memory here.
    jbyteArray ec = qvt::errorCode();
    EXPECT_EQ(JC(paramData, p.stmt, ec), -1);
    EXPECT_NE(at(ec, 0), SQL_NEED_DATA);
    EXPECT_NE(JC(execute, p.stmt), SQL_NEED_DATA);
    bytes.release();
    EXPECT_EQ(c_.scalar("SELECT count(*) FROM " + table_), std::string("0"));
}

// A prepared batch whose statement has more parameters than the batch names
// is refused before it runs.
TEST_P(ParamStream, BatchCountsDifferentFromTheStatementsAreRefused) {
    Prepared p(c_, "INSERT INTO " + table_ + " (k, t) VALUES (?, ?)");
    const jshort rc = JC(execPreparedStatementBatch, p.stmt, nullptr, 0, qvt::newShorts(0), 0, 3, qvt::newShorts(0),
                         nullptr, nullptr, qvt::newInts(3));
    EXPECT_EQ(static_cast<uint16_t>(rc), 0x9F00);
    EXPECT_EQ(c_.scalar("SELECT count(*) FROM " + table_), std::string("0"));
}

INSTANTIATE_TEST_SUITE_P(DataSources, ParamStream, qvt::AllSources, qvt::sourceName);

// psqlODBC carries output parameters of a function call; SQLite has no
// procedures to call.
class ParamOutputPostgres : public ::testing::Test {
protected:
    void SetUp() override {
        c_.open(Source::Postgres);
        fn_ = qvt::uniqueName("pf");
        c_.exec("CREATE FUNCTION " + fn_ + "(a text) RETURNS text AS $$ SELECT 'out:' || a $$ LANGUAGE sql");
    }
    void TearDown() override { c_.exec("DROP FUNCTION " + fn_ + "(text)"); }
    qvt::LocalFrame frame_{256};
    Connection c_;
    std::string fn_;
};

TEST_F(ParamOutputPostgres, OutputStringIsVisibleAfterRelease) {
    Prepared p(c_, "{? = call " + fn_ + "(?)}");
    ASSERT_EQ(p.n, 2);
    p.setString(2, u"abc\u00e9");
    jbyteArray buffer = qvt::newBytes(101, 0x7F);
    jbyteArray length = qvt::newBytes(4);
    jintArray storage = qvt::newInts(4);
    EXPECT_EQ(JC(bindOutParameterString, p.stmt, 1, SQL_VARCHAR, 0, buffer, length, storage), SQL_SUCCESS)
        << qvt::diagnostics(0, 0, p.stmt);
    const jshort rc = JC(execute, p.stmt);
    ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc << "\n" << qvt::diagnostics(0, 0, p.stmt);
    JC(freeStmt, p.stmt, SQL_CLOSE);
    const auto s = qvt::read(storage);
    JC(ReleaseStoredBytes, s[0], s[1]);
    JC(ReleaseStoredBytes, s[2], s[3]);
    const std::string expected = "out:abc\u00e9";  // as the driver's 8-bit text (UTF-8 here)
    EXPECT_EQ(qvt::cstr(buffer), expected);
    EXPECT_EQ(word(length), static_cast<int32_t>(expected.size()));
    JC(ReleaseStoredBytes, s[0], s[1]);  // a second release does nothing
    EXPECT_EQ(qvt::cstr(buffer), expected);
}

}  // namespace
