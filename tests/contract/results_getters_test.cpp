// Bound-column getters, and what every retrieval method does with a token
// that was never issued or was already freed.
#include "jni_spy.h"
#include "qvjdbc/idcache.h"
#include "results_fixture.h"

namespace {

using qvt::at;
using qvt::errorCode;

class ResultsGetters : public qvt::ResultsSeam {};

TEST_F(ResultsGetters, DateTimeAndTimestampLayout) {
    const jint token = bind({{SQL_DATE}, {SQL_TIME}, {SQL_TIMESTAMP, 26, RUVA70_TYPE_TIMESTAMP}, {SQL_INTEGER}});
    const DATE_STRUCT d{-44, 3, 15};
    const TIME_STRUCT t{23, 59, 58};
    const TIMESTAMP_STRUCT ts{2001, 2, 3, 4, 5, 6, 500000000};
    put(token, 1, &d, sizeof d);
    put(token, 2, &t, sizeof t);
    put(token, 3, &ts, sizeof ts);
    rec(token, 4).lengthInd = SQL_NULL_DATA;
    jbyteArray ec = errorCode();
    jintArray v = qvt::newInts(7, -9);
    JC(getDate, token, ec, 1, v);
    EXPECT_EQ(qvt::read(v), (std::vector<int32_t>{-44, 3, 15, -9, -9, -9, -9})) << "a negative year stays negative";
    EXPECT_EQ(qvt::read(ec), (std::vector<int8_t>{0x55, 0})) << "errorCode[0] is never written";
    JC(getTime, token, ec, 2, v);
    EXPECT_EQ(qvt::read(v), (std::vector<int32_t>{23, 59, 58, -9, -9, -9, -9}));
    JC(getTimestamp, token, ec, 3, v);
    EXPECT_EQ(qvt::read(v), (std::vector<int32_t>{2001, 2, 3, 4, 5, 6, 500000000}));
    // NULL: the array keeps its contents.
    jintArray kept = qvt::newInts(3, 1);
    JC(getDate, token, ec, 4, kept);
    EXPECT_EQ(at(ec, 1), -1);
    EXPECT_EQ(qvt::read(kept), (std::vector<int32_t>{1, 1, 1}));
    EXPECT_EQ(JC(getInteger, token, ec, 4), 0);
    // An array too short for the value is refused, not overrun.
    jintArray shortArray = qvt::newInts(6, 1);
    JC(getTimestamp, token, ec, 3, shortArray);
    EXPECT_EQ(at(ec, 1), -97);
    EXPECT_EQ(qvt::read(shortArray), std::vector<int32_t>(6, 1));
    JC(freeBoundColBuffers, token, 4);
}

TEST_F(ResultsGetters, BinaryCopiesStayWithinBothBuffers) {
    const jint token = bind({{SQL_BINARY, 5}, {SQL_TIMESTAMP, 26, RUVA70_TYPE_TIMESTAMP_TZ}});
    jbyteArray ec = errorCode();
    JC(bindCol, 7, token, SQL_C_BINARY, 5, 1, ec);  // a bound buffer of exactly 5 bytes
    put(token, 1, "\x01\x02\x03\x04\x05", 5);
    jbyteArray buf = qvt::newBytes(8, 0x7F);
    EXPECT_EQ(JC(getBytes, token, buf, ec, 1), 0);
    EXPECT_EQ(qvt::read(buf), (std::vector<int8_t>{1, 2, 3, 4, 5, 0x7F, 0x7F, 0x7F}));
    // A truncated value, an unknown length, a target smaller than the value.
    for (SQLLEN ind : {SQLLEN{1} << 33, SQLLEN{SQL_NO_TOTAL}, SQLLEN{5}}) {
        rec(token, 1).lengthInd = ind;
        jbyteArray small = qvt::newBytes(3, 0x7F);
        JC(getBytes, token, small, ec, 1);
        EXPECT_EQ(qvt::read(small), (std::vector<int8_t>{1, 2, 3})) << ind;
        jbyteArray large = qvt::newBytes(7, 0x7F);
        JC(getBytes, token, large, ec, 1);
        EXPECT_EQ(qvt::read(large), (std::vector<int8_t>{1, 2, 3, 4, 5, 0x7F, 0x7F})) << ind;
    }
    const int64_t micros = -1234567890123456;
    put(token, 2, &micros, 8);
    EXPECT_EQ(JC(getTimestampRaw, token, ec, 2), micros) << "little-endian";
    rec(token, 2).lengthInd = 64;
    EXPECT_EQ(JC(getTimestampRaw, token, ec, 2), micros) << "never more than 8 bytes";
    rec(token, 2).lengthInd = SQL_NULL_DATA;
    EXPECT_EQ(JC(getTimestampRaw, token, ec, 2), 0);
    EXPECT_EQ(at(ec, 1), -1);
    rec(token, 2).lengthInd = 8;
    {
        // errorCode is written with a region copy: nothing is pinned, so no
        // pin can fail either.
        qvt::JniSpy spy;
        EXPECT_EQ(JC(getTimestampRaw, token, ec, 2), micros);
        EXPECT_EQ(JC(getBytes, token, buf, ec, 1), 0);
        EXPECT_TRUE(spy.pins().empty());
    }
    EXPECT_EQ(at(ec, 1), 0);
    JC(freeBoundColBuffers, token, 2);
}

// Every method that takes the bound-column array, given a token that was
// never issued, one already freed, or a column outside the array: the
// documented code, and no read or write of native memory.
TEST_F(ResultsGetters, ForgedFreedAndOutOfRangeTokensAreRefused) {
    const jint freed = bind({{SQL_INTEGER}});
    JC(freeBoundColBuffers, freed, 1);
    const jint live = bind({{SQL_VARCHAR}});
    struct Case {
        jint token, column;
    };
    for (Case c : {Case{0, 1}, Case{freed, 1}, Case{0x7FFFFFFF, 1}, Case{-5, 1}, Case{live, 0}, Case{live, 2},
                   Case{live, -1}}) {
        seam_.clear();
        auto check = [&](const char* method, jbyteArray ec) {
            EXPECT_EQ(at(ec, 0), 0x55) << method;
            EXPECT_EQ(at(ec, 1), -97) << method << " token " << c.token << " column " << c.column;
        };
        const jint t = c.token, col = c.column;
        jintArray v = qvt::newInts(7, 3);
        jbyteArray b = qvt::newBytes(4, 3);
#define REFUSED(name, call)           \
    do {                              \
        jbyteArray ec = errorCode();  \
        EXPECT_EQ((call), 0) << name; \
        check(name, ec);              \
    } while (0)
        REFUSED("getShort", JC(getShort, t, ec, col));
        REFUSED("getInteger", JC(getInteger, t, ec, col));
        REFUSED("getLong", JC(getLong, t, ec, col));
        REFUSED("getFloat", JC(getFloat, t, ec, col));
        REFUSED("getDouble", JC(getDouble, t, ec, col));
        REFUSED("getTimestampRaw", JC(getTimestampRaw, t, ec, col));
        REFUSED("getDate", (JC(getDate, t, ec, col, v), 0));
        REFUSED("getTime", (JC(getTime, t, ec, col, v), 0));
        REFUSED("getTimestamp", (JC(getTimestamp, t, ec, col, v), 0));
        REFUSED("getBytes", JC(getBytes, t, b, ec, col));
        REFUSED("getStream", (JC(getStream, t, b, ec, col, 21), 0));
        REFUSED("getDataLength", JC(getDataLength, t, ec, col));
        REFUSED("getDataInteger", JC(getDataInteger, 7, t, col, ec));
        REFUSED("getDataShort", JC(getDataShort, 7, t, col, ec));
        REFUSED("getDataLong", JC(getDataLong, 7, t, col, ec));
        REFUSED("getDataFloat", JC(getDataFloat, 7, t, col, ec));
        REFUSED("getDataDouble", JC(getDataDouble, 7, t, col, ec));
        REFUSED("getDataTimestampRaw", JC(getDataTimestampRaw, 7, t, ec, col));
        REFUSED("getDataDate", (JC(getDataDate, 7, t, col, v, ec), 0));
        REFUSED("getDataTime", (JC(getDataTime, 7, t, col, v, ec), 0));
        REFUSED("getDataTimestamp", (JC(getDataTimestamp, 7, t, col, v, ec), 0));
        REFUSED("getDataBinary", JC(getDataBinary, 7, t, col, SQL_C_BINARY, b, 4, ec));
        REFUSED("getDataString", JC(getDataString, 7, t, col, qvt::newChars(4), ec, SQL_VARCHAR));
        REFUSED("getDataStream", JC(getDataStream, 7, t, col, SQL_C_BINARY, b, 2, 21, ec));
        REFUSED("bindCol", JC(bindCol, 7, t, SQL_C_SLONG, 4, col, ec) + 4);
#undef REFUSED
        EXPECT_EQ(qvt::read(v), std::vector<int32_t>(7, 3));
        EXPECT_EQ(qvt::read(b), std::vector<int8_t>(4, 3));
        jobject rv = qvt::newObject("com/quorvane/jdbc/RetVal");
        JC(getString, t, col, rv, SQL_C_WCHAR);
        EXPECT_EQ(qvt::env()->GetByteField(rv, qv::ids.retValErr1), -97);
        EXPECT_EQ(JC(getBigDecimal, t, col), nullptr);
        EXPECT_EQ(qvt::takeSqlException(), "SQLException");
        EXPECT_EQ(seam_.calls().size(), 0u) << "no driver call";
    }
    JC(freeBoundColBuffers, freed, 1);
    JC(freeBoundColBuffers, live, 1);
    EXPECT_NO_JAVA_EXCEPTION();
}

}  // namespace
