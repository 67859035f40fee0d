// Streams: the in-place renderings of each stream type, and the bounds of
// the bound and the SQLGetData stream reads.
#include "results_fixture.h"

namespace {

using qvt::at;
using qvt::errorCode;

std::vector<uint8_t> render(std::vector<uint8_t> in, jint type, size_t room) {
    const jint n = static_cast<jint>(in.size());
    in.resize(room, 0xEE);
    qv::results::renderStreamBytes(in.data(), n, type);
    return in;
}

TEST(ResultsRender, EachStreamType) {
    using V = std::vector<uint8_t>;
    EXPECT_EQ(render({0x0A, 0xFF}, 21, 4), (V{'0', 'A', 'F', 'F'}));
    for (jint t : {22, 25}) EXPECT_EQ(render({0x5C}, t, 4), (V{0, '5', 0, 'C'}));
    for (jint t : {22, 25}) EXPECT_EQ(render({0x01, 0xAB}, t, 8), (V{0, '0', 0, '1', 0, 'A', 0, 'B'}));
    for (jint t : {23, 26}) EXPECT_EQ(render({'A', 'B'}, t, 4), (V{0, 'A', 0, 'B'}));
    for (jint t : {24, 27}) EXPECT_EQ(render({0x41, 0, 0x42, 0}, t, 4), (V{0, 0x41, 0, 0x42}));
    for (jint t : {24, 27})
        EXPECT_EQ(render({1, 2, 3}, t, 4), (V{2, 1, 3, 0xEE})) << "the odd byte stays in the value";
    for (jint t : {0, 20, 28}) EXPECT_EQ(render({1, 2, 3}, t, 3), (V{1, 2, 3}));
    EXPECT_EQ(render({}, 21, 2), (V{0xEE, 0xEE}));
    // Every byte value, rendered backwards in place.
    V all(256), hex;
    for (int i = 0; i < 256; ++i) {
        all[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
        hex.push_back("0123456789ABCDEF"[i >> 4]);
        hex.push_back("0123456789ABCDEF"[i & 15]);
    }
    EXPECT_EQ(render(all, 21, 512), hex);
}

class ResultsStreams : public qvt::ResultsSeam {};

TEST_F(ResultsStreams, BoundStreamStaysWithinRecordAndArray) {
    const jint token = bind({{SQL_BINARY, 4}});
    jbyteArray ec = errorCode();
    JC(bindCol, 7, token, SQL_C_BINARY, 4, 1, errorCode());  // a bound buffer of exactly 4 bytes
    put(token, 1, "\x0A\xFF\x10\x20", 4);
    jbyteArray buf = qvt::newBytes(10, 7);
    JC(getStream, token, buf, ec, 1, 21);
    EXPECT_EQ(qvt::read(buf), (std::vector<int8_t>{'0', 'A', 'F', 'F', '1', '0', '2', '0', 7, 7}));
    EXPECT_EQ(qvt::read(ec), (std::vector<int8_t>{0x55, 0}));
    // Lengths the record does not hold: a truncated value, an unknown length.
    for (SQLLEN ind : {SQLLEN{1} << 40, SQLLEN{SQL_NO_TOTAL}}) {
        rec(token, 1).lengthInd = ind;
        jbyteArray b = qvt::newBytes(10, 7);
        JC(getStream, token, b, ec, 1, 0);
        EXPECT_EQ(qvt::read(b), (std::vector<int8_t>{10, -1, 16, 32, 7, 7, 7, 7, 7, 7}));
    }
    // An array too small for the rendering: what fits, and -97.
    rec(token, 1).lengthInd = 4;
    jbyteArray small = qvt::newBytes(5, 7);
    JC(getStream, token, small, ec, 1, 22);
    EXPECT_EQ(qvt::read(small), (std::vector<int8_t>{0, '0', 0, 'A', 7}));
    EXPECT_EQ(at(ec, 1), -97);
    // NULL and an empty value leave the array as it was.
    for (SQLLEN ind : {SQLLEN{SQL_NULL_DATA}, SQLLEN{0}}) {
        rec(token, 1).lengthInd = ind;
        jbyteArray b = qvt::newBytes(4, 7);
        JC(getStream, token, b, ec, 1, 21);
        EXPECT_EQ(qvt::read(b), std::vector<int8_t>(4, 7));
        EXPECT_EQ(at(ec, 1), ind == 0 ? 0 : -1);
    }
    JC(freeBoundColBuffers, token, 1);
}

TEST_F(ResultsStreams, DataStreamRendersOnlyTheStoredBytes) {
    const jint token = bind({{SQL_VARCHAR, 10}});
    seam_.on<&qv::DriverTable::SQLGetData>(
        [](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT type, SQLPOINTER target, SQLLEN size, SQLLEN* ind) {
            if (type == SQL_C_BINARY) {
                std::memset(target, 0xAB, static_cast<size_t>(size));
                *ind = 1000;
            } else {
                std::memcpy(target, "A\0B\0C\0\0\0", 8);  // three units and the terminator in 8 bytes
                *ind = 998;
            }
            return SQLRETURN(SQL_SUCCESS_WITH_INFO);
        });
    jbyteArray ec = errorCode();
    jbyteArray buf = qvt::newBytes(8, 7);
    EXPECT_EQ(JC(getDataStream, 7, token, 1, SQL_C_BINARY, buf, 4, 21, ec), 1000) << "the indicator as reported";
    EXPECT_EQ(qvt::read(buf), (std::vector<int8_t>{'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B'}));
    jbyteArray wideBuf = qvt::newBytes(8, 7);
    EXPECT_EQ(JC(getDataStream, 7, token, 1, SQL_C_WCHAR, wideBuf, 8, 24, ec), 998);
    EXPECT_EQ(qvt::read(wideBuf), (std::vector<int8_t>{0, 'A', 0, 'B', 0, 'C', 0, 0}))
        << "the terminator not swapped";
    // A size whose rendering would not fit the array never reaches the driver.
    const size_t calls = seam_.count("SQLGetData");
    jbyteArray e = errorCode();
    EXPECT_EQ(JC(getDataStream, 7, token, 1, SQL_C_BINARY, buf, 5, 21, e), 0);
    EXPECT_EQ(qvt::read(e), (std::vector<int8_t>{-1, -97}));
    EXPECT_EQ(seam_.count("SQLGetData"), calls);
    // Character data is rendered without its terminator: an array that holds
    // exactly the rendered text takes it.
    seam_.on<&qv::DriverTable::SQLGetData>(
        [](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER target, SQLLEN, SQLLEN* ind) {
            std::memcpy(target, "abcd", 5);
            *ind = 4;
            return SQLRETURN(SQL_SUCCESS);
        });
    jbyteArray exact = qvt::newBytes(8, 7);
    EXPECT_EQ(JC(getDataStream, 7, token, 1, SQL_C_CHAR, exact, 5, 21, ec), 4);
    EXPECT_EQ(qvt::read(exact), (std::vector<int8_t>{'6', '1', '6', '2', '6', '3', '6', '4'}));
    seam_.on<&qv::DriverTable::SQLGetData>(
        [](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER target, SQLLEN, SQLLEN* ind) {
            std::memset(target, 0x11, 2);
            *ind = SQL_NULL_DATA;
            return SQLRETURN(SQL_SUCCESS);
        });
    jbyteArray kept = qvt::newBytes(8, 7);
    EXPECT_EQ(JC(getDataStream, 7, token, 1, SQL_C_BINARY, kept, 4, 21, ec), -1);
    EXPECT_EQ(qvt::read(ec), (std::vector<int8_t>{0, -1}));
    EXPECT_EQ(qvt::read(kept), std::vector<int8_t>(8, 7));
    JC(freeBoundColBuffers, token, 1);
}

}  // namespace
