// SQLGetData reads and their deposit in the record, with the driver's
// answers scripted at the seam.
#include "qvjdbc/idcache.h"
#include "results_fixture.h"

#include <algorithm>
#include <cstring>

namespace {

using qv::BoundColBuffer;
using qvt::at;
using qvt::errorCode;

class ResultsGetData : public qvt::ResultsSeam {
protected:
    // The next SQLGetData writes `bytes` (cut to the buffer, terminated for
    // character types) and reports `indicator` with `rc`.
    void answer(std::string bytes, SQLLEN indicator, SQLRETURN rc = SQL_SUCCESS) {
        seam_.on<&qv::DriverTable::SQLGetData>(
            [=](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT type, SQLPOINTER target, SQLLEN size, SQLLEN* ind) {
                const size_t term = type == SQL_C_WCHAR ? 2 : type == SQL_C_CHAR ? 1 : 0;
                const size_t room = static_cast<size_t>(size) >= term ? static_cast<size_t>(size) - term : 0;
                const size_t n = std::min(bytes.size(), room);
                std::memcpy(target, bytes.data(), n);
                std::memset(static_cast<char*>(target) + n, 0, std::min(term, static_cast<size_t>(size) - n));
                *ind = indicator;
                return rc;
            });
    }
    static std::string wide(const char* ascii) {
        std::string s;
        for (const char* p = ascii; *p; ++p) s += std::string{*p, '\0'};
        return s;
    }
};

TEST_F(ResultsGetData, NullIsReportedAlsoWithAWarning) {
    const jint token = bind({{SQL_INTEGER}, {SQL_VARCHAR}});
    for (SQLRETURN rc : {SQLRETURN(SQL_SUCCESS), SQLRETURN(SQL_SUCCESS_WITH_INFO)}) {
        answer("", SQL_NULL_DATA, rc);
        jbyteArray ec = errorCode();
        EXPECT_EQ(JC(getDataInteger, 7, token, 1, ec), 0);
        EXPECT_EQ(qvt::read(ec), (std::vector<int8_t>{static_cast<int8_t>(rc), -1}));
        EXPECT_EQ(JC(getDataLength, token, ec, 1), -1);
        jbyteArray buf = qvt::newBytes(4, 9);
        EXPECT_EQ(JC(getDataBinary, 7, token, 2, SQL_C_WCHAR, buf, 4, ec), -1);
        EXPECT_EQ(qvt::read(buf), std::vector<int8_t>(4, 9));
        EXPECT_EQ(JC(getDataTimestampRaw, 7, token, ec, 2), 0);
    }
    seam_.on<&qv::DriverTable::SQLGetData>([](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*) {
        return SQLRETURN(SQL_NO_DATA_FOUND);
    });
    jbyteArray ec = errorCode();
    EXPECT_EQ(JC(getDataDouble, 7, token, 1, ec), 0.0);
    EXPECT_EQ(qvt::read(ec), (std::vector<int8_t>{100, 0}));
    JC(freeBoundColBuffers, token, 2);
}

TEST_F(ResultsGetData, FieldsOfDatesTimesAndTimestamps) {
    const jint token = bind({{SQL_TIMESTAMP, 26, RUVA70_TYPE_TIMESTAMP}});
    seam_.on<&qv::DriverTable::SQLGetData>(
        [](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT type, SQLPOINTER target, SQLLEN, SQLLEN* ind) {
            const TIMESTAMP_STRUCT ts{-1999, 12, 31, 23, 59, 58, 123456789};
            if (type == SQL_C_TIMESTAMP) std::memcpy(target, &ts, sizeof ts);
            if (type == SQL_C_DATE) std::memcpy(target, &ts, sizeof(DATE_STRUCT));
            if (type == SQL_C_TIME) std::memcpy(target, &ts.hour, sizeof(TIME_STRUCT));
            *ind = 16;
            return SQLRETURN(SQL_SUCCESS);
        });
    jbyteArray ec = errorCode();
    jintArray v = qvt::newInts(8, 5);
    JC(getDataTimestamp, 7, token, 1, v, ec);
    EXPECT_EQ(qvt::read(v), (std::vector<int32_t>{-1999, 12, 31, 23, 59, 58, 123456789, 5}));
    JC(getDataTime, 7, token, 1, v, ec);
    EXPECT_EQ(qvt::read(v), (std::vector<int32_t>{23, 59, 58, 23, 59, 58, 123456789, 5}));
    EXPECT_EQ(rec(token, 1).inlineValue.time.hour, 23) << "deposited in the record";
    jintArray shortArray = qvt::newInts(2, 5);
    const size_t calls = seam_.count("SQLGetData");
    JC(getDataDate, 7, token, 1, shortArray, ec);
    EXPECT_EQ(at(ec, 1), -97) << "an array too short is refused before the driver call";
    EXPECT_EQ(seam_.count("SQLGetData"), calls);
    JC(freeBoundColBuffers, token, 1);
}

TEST_F(ResultsGetData, MatchingTypeDepositStaysWithinWhatWasStored) {
    const jint token = bind({{SQL_VARCHAR, 10}});  // bound as 42 bytes of SQL_C_WCHAR
    BoundColBuffer& r = rec(token, 1);
    void* bound = r.dataPtr;
    jbyteArray ec = errorCode();
    for (SQLLEN ind : {SQLLEN{40}, SQLLEN{SQL_NO_TOTAL}}) {
        answer(wide("abcdefgh"), ind, SQL_SUCCESS_WITH_INFO);
        jbyteArray buf = qvt::newBytes(8);
        EXPECT_EQ(JC(getDataBinary, 7, token, 1, SQL_C_WCHAR, buf, 8, ec), ind) << "the indicator as reported";
        EXPECT_EQ(JC(getDataLength, token, ec, 1), 6) << "three characters stored, not 8 bytes nor 42";
        EXPECT_EQ(std::string(static_cast<char*>(r.ownedBuffer), 6), wide("abc"));
        EXPECT_EQ(r.ownedBuffer, bound);
    }
    // A value longer than the bound buffer gets a block of its own; the
    // bound buffer is not written beyond its 42 bytes.
    answer(wide("0123456789ABCDEFGHIJKLMN"), 48, SQL_SUCCESS);
    JC(getDataBinary, 7, token, 1, SQL_C_WCHAR, qvt::newBytes(64), 64, ec);
    EXPECT_EQ(r.lengthInd, 48);
    EXPECT_NE(r.ownedBuffer, bound);
    EXPECT_EQ(r.dataPtr, bound);
    JC(freeBoundColBuffers, token, 1);
}

TEST_F(ResultsGetData, ColumnReboundInlineKeepsItsBufferForTheNextTextBinding) {
    const jint token = bind({{SQL_VARCHAR, 10}});  // 42 bytes of SQL_C_WCHAR
    BoundColBuffer& r = rec(token, 1);
    void* own = r.ownedBuffer;
    jbyteArray ec = errorCode();
    EXPECT_EQ(JC(bindCol, 7, token, SQL_C_SLONG, 4, 1, ec), 42);
    for (const char* text : {"xy", "uvw"}) {
        answer(wide(text), static_cast<SQLLEN>(2 * std::strlen(text)));
        JC(getDataBinary, 7, token, 1, SQL_C_WCHAR, qvt::newBytes(8), 8, ec);
        EXPECT_NE(r.ownedBuffer, own) << "the read has a block of its own";
        EXPECT_EQ(std::string(static_cast<char*>(r.ownedBuffer), static_cast<size_t>(r.lengthInd)), wide(text));
    }
    // The column's own 42 bytes come back with the next text binding.
    EXPECT_NE(JC(bindCol, 7, token, SQL_C_WCHAR, 40, 1, ec), -4);
    EXPECT_EQ(at(ec, 1), 0);
    EXPECT_EQ(r.ownedBuffer, own);
    EXPECT_EQ(r.dataPtr, own);
    EXPECT_EQ(r.bufferLength, 42);
    JC(freeBoundColBuffers, token, 1);
}

TEST_F(ResultsGetData, OtherTypeDepositKeepsTheBoundBufferForTheDriver) {
    const jint token = bind({{SQL_VARCHAR, 10}});
    BoundColBuffer& r = rec(token, 1);
    void* bound = r.dataPtr;
    // The driver writes each fetched row through the address it was bound with.
    void* boundAt = reinterpret_cast<void*>(seam_.last("SQLBindCol").args[3]);
    SQLLEN* indAt = reinterpret_cast<SQLLEN*>(seam_.last("SQLBindCol").args[5]);
    seam_.on<&qv::DriverTable::SQLFetch>([=](SQLHSTMT) {
        std::memcpy(boundAt, wide("row2").c_str(), 10);
        *indAt = 8;
        return SQLRETURN(SQL_SUCCESS);
    });
    jbyteArray ec = errorCode();
    for (int i = 0; i < 3; ++i) {
        answer("\x01\x02\x03", 3);
        jbyteArray buf = qvt::newBytes(100);
        EXPECT_EQ(JC(getDataBinary, 7, token, 1, SQL_C_BINARY, buf, 100, ec), 3);
        EXPECT_NE(r.ownedBuffer, bound) << "a block of the read's own";
        EXPECT_EQ(r.dataPtr, bound) << "the binding is left in place";
        EXPECT_EQ(store(token, 1).ownedCapacity, 100);
        jbyteArray got = qvt::newBytes(3);
        JC(getBytes, token, got, ec, 1);
        EXPECT_EQ(qvt::read(got), (std::vector<int8_t>{1, 2, 3})) << "the getters see the value read";
    }
    EXPECT_EQ(JC(fetch, 7, token, nullptr, 1), 0);
    EXPECT_EQ(r.ownedBuffer, bound) << "the next fetch gives the getters the bound buffer again";
    jobject rv = qvt::newObject("com/quorvane/jdbc/RetVal");
    JC(getString, token, 1, rv, SQL_C_WCHAR);
    EXPECT_EQ(qvt::read(static_cast<jstring>(qvt::env()->GetObjectField(rv, qv::ids.retValObj))), u"row2");
    // A record left without a buffer (as after a failed allocation) is never
    // written into: the read gets a block of its own.
    answer(wide("xy"), 4);
    JC(getDataBinary, 7, token, 1, SQL_C_BINARY, qvt::newBytes(10), 10, ec);
    std::free(r.ownedBuffer);
    r.ownedBuffer = nullptr;
    store(token, 1).ownedCapacity = 0;
    JC(getDataBinary, 7, token, 1, SQL_C_WCHAR, qvt::newBytes(10), 10, ec);
    ASSERT_NE(r.ownedBuffer, nullptr);
    EXPECT_EQ(r.lengthInd, 4);
    EXPECT_EQ(JC(fetch, 7, token, nullptr, 1), 0);
    JC(freeBoundColBuffers, token, 1);
}

TEST_F(ResultsGetData, StringFitsTheJavaArrayOrIsRefused) {
    const jint token = bind({{SQL_VARCHAR, 10}, {SQL_NUMERIC, 10}});
    jbyteArray ec = errorCode();
    answer(wide("abcd"), 8);
    jcharArray buf = qvt::newChars(10, u'-');
    EXPECT_EQ(JC(getDataString, 7, token, 1, buf, ec, SQL_VARCHAR), 4);
    EXPECT_EQ(seam_.last("SQLGetData").args[4], 12u) << "L + 2 bytes";
    EXPECT_EQ(static_cast<int64_t>(seam_.last("SQLGetData").args[2]), SQL_C_WCHAR);
    EXPECT_EQ(qvt::read(buf), u"abcd------");
    for (SQLLEN ind : {SQLLEN{12}, SQLLEN{SQL_NO_TOTAL}}) {
        answer(wide("abcdef"), ind, SQL_SUCCESS_WITH_INFO);
        jcharArray kept = qvt::newChars(10, u'-');
        EXPECT_EQ(JC(getDataString, 7, token, 1, kept, ec, SQL_WVARCHAR), 0);
        EXPECT_EQ(qvt::read(ec), (std::vector<int8_t>{1, -97}));
        EXPECT_EQ(qvt::read(kept), std::u16string(10, u'-'));
    }
    answer("-1\xE9", 3);
    jcharArray narrow = qvt::newChars(10, u'-');
    EXPECT_EQ(JC(getDataString, 7, token, 2, narrow, ec, SQL_NUMERIC), 3);
    EXPECT_EQ(seam_.last("SQLGetData").args[4], 11u);
    EXPECT_EQ(qvt::read(narrow), u"-1\u00e9-------") << "8-bit text widened";
    JC(freeBoundColBuffers, token, 2);
}

TEST_F(ResultsGetData, StringsThatFillLargeArraysArriveWhole) {
    // Beyond the stack's work area, and text as long as the array: every
    // byte widened, none overwritten before it is read.
    const jint token = bind({{SQL_VARCHAR, 10}});
    jbyteArray ec = errorCode();
    for (jsize length : {jsize{4096}, jsize{4097}, jsize{20000}}) {
        std::string bytes(static_cast<size_t>(length), '\0');
        std::u16string expected;
        for (jsize i = 0; i < length; ++i) {
            bytes[static_cast<size_t>(i)] = static_cast<char>(0x21 + i % 200);
            expected += static_cast<char16_t>(0x21 + i % 200);
        }
        answer(bytes, length);
        jcharArray buf = qvt::newChars(length, u'-');
        EXPECT_EQ(JC(getDataString, 7, token, 1, buf, ec, SQL_NUMERIC), length);
        EXPECT_EQ(seam_.last("SQLGetData").args[4], static_cast<uint64_t>(length) + 1);
        EXPECT_TRUE(qvt::read(buf) == expected) << length;
        const std::string half = wide(std::string(static_cast<size_t>(length / 2), 'w').c_str());
        answer(half, static_cast<SQLLEN>(half.size()));
        jcharArray wideBuf = qvt::newChars(length, u'-');
        EXPECT_EQ(JC(getDataString, 7, token, 1, wideBuf, ec, SQL_VARCHAR), length / 2);
        EXPECT_TRUE(qvt::read(wideBuf) == std::u16string(static_cast<size_t>(length / 2), u'w') +
                                              std::u16string(static_cast<size_t>(length - length / 2), u'-'));
    }
    JC(freeBoundColBuffers, token, 1);
}

TEST_F(ResultsGetData, BinaryReadsRefuseWhatTheArrayCannotHold) {
    const jint token = bind({{SQL_BINARY, 10}});
    jbyteArray ec = errorCode();
    answer("\x05\x06", 2);
    jbyteArray buf = qvt::newBytes(4, 9);
    EXPECT_EQ(JC(getDataBinary, 7, token, 1, SQL_C_BIT, buf, 4, ec), 2);
    EXPECT_EQ(qvt::read(ec), (std::vector<int8_t>{0, -97})) << "the call is made, the type not deposited";
    EXPECT_EQ(qvt::read(buf), std::vector<int8_t>(4, 9)) << "not copied back";
    const size_t calls = seam_.count("SQLGetData");
    for (jint size : {5, -1}) {
        jbyteArray e = errorCode();
        EXPECT_EQ(JC(getDataBinary, 7, token, 1, SQL_C_BINARY, buf, size, e), 0);
        EXPECT_EQ(qvt::read(e), (std::vector<int8_t>{-1, -97})) << size << ": refused without a driver call";
    }
    EXPECT_EQ(seam_.count("SQLGetData"), calls) << "a size beyond the array never reaches the driver";
    JC(freeBoundColBuffers, token, 1);
}

}  // namespace

namespace {

// A fixed-size C type asked through the binary read: the driver writes the
// type's whole size whatever bufferSize says, so it must never write into
// the Java array directly.
TEST(ResultsFixedSizeReads, ADriverWritingTheWholeTypeStaysOutsideAShortArray) {
    qvt::LocalFrame frame;
    qvt::seam::Scope seam;
    seam.on<&qv::DriverTable::SQLGetData>(
        [](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER target, SQLLEN size, SQLLEN* ind) {
            // As ODBC drivers do for SQL_C_TIMESTAMP: 16 bytes, no matter the size.
            EXPECT_GE(size, 16);
            std::memset(target, 0x7E, 16);
            *ind = 16;
            return SQLRETURN(SQL_SUCCESS);
        });
    seam.on<&qv::DriverTable::SQLDescribeCol>([](SQLHSTMT, SQLUSMALLINT, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*,
                                                 SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT*, SQLSMALLINT*) {
        *type = SQL_VARBINARY;
        *size = 10;
        return SQLRETURN(SQL_SUCCESS);
    });
    JC(initIDs);
    jbyteArray ec = qvt::errorCode(0, 0);
    jint token =
        JC(allocAndBindAllCols, 0, 7, qvt::newInts(1), qvt::newInts(1), qvt::newInts(1), qvt::newInts(1), ec, 1);
    ASSERT_NE(token, 0);
    jbyteArray one = qvt::newBytes(1, 9);
    JC(getDataBinary, 7, token, 1, SQL_C_TIMESTAMP, one, 1, ec);
    EXPECT_EQ(qvt::read(one), std::vector<int8_t>{0x7E}) << "what fits the array, nothing beyond it";
    jbyteArray none = qvt::newBytes(0);
    JC(getDataStream, 7, token, 1, SQL_C_DOUBLE, none, 0, 0, ec);
    EXPECT_NO_JAVA_EXCEPTION();
    JC(freeBoundColBuffers, token, 1);
}

}  // namespace
