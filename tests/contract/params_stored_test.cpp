// Data-at-execution and output-string bindings through the seam: what the
// driver is given, the storage pairs Java receives, their release, and the
// refusal of forged pairs, short arrays and missing arrays.
#include "jni_spy.h"
#include "params_seam.h"

#include <cstring>

namespace {

using qvt::at;
using qvt::params::BindArrays;
using qvt::params::boundIndicator;
using qvt::params::boundValue;
using qvt::params::Described;
using qvt::params::record;
using qvt::params::ScriptedStatement;
using Seam = qvt::seam::Scope;

constexpr jint kStmt = 45;

int32_t word(jbyteArray a) {
    const auto v = qvt::read(a);
    int32_t w;
    std::memcpy(&w, v.data(), 4);
    return w;
}

jbyteArray wordArray(int32_t v) {
    std::vector<int8_t> b(4);
    std::memcpy(b.data(), &v, 4);
    return qvt::bytes(b);
}

class StoredBindings : public ::testing::Test {
protected:
    void SetUp() override {
        Java_com_quorvane_jdbc_JdbcOdbcClient_initIDs(qvt::env(), nullptr);
        ASSERT_NO_FATAL_FAILURE(EXPECT_NO_JAVA_EXCEPTION());
        ScriptedStatement::install(seam_, {{SQL_INTEGER, SQL_INTEGER, 10},
                                           {SQL_VARCHAR, SQL_VARCHAR, 10},
                                           {SQL_LONGVARBINARY, SQL_LONGVARBINARY, 100}});
        BindArrays a(3);
        token_ = qvt::params::bindAll(kStmt, a, 3);
        seam_.clear();
    }
    void TearDown() override { JC(freeBoundParams, token_, 0); }
    void atExec(jint param, jint length, jbyteArray tok, jbyteArray len, jbyteArray ec, jintArray storage) {
        JC(bindInParameterAtExec, token_, kStmt, param, SQL_LONGVARBINARY, SQL_C_BINARY, length, tok, len, ec,
           storage);
    }
    void release(jintArray storage) {
        const auto s = qvt::read(storage);
        JC(ReleaseStoredBytes, s[0], s[1]);
        JC(ReleaseStoredBytes, s[2], s[3]);
    }
    qvt::LocalFrame frame_;
    Seam seam_;
    jint token_ = 0;
};

TEST_F(StoredBindings, DataAtExecutionBindsTheNumberAndTheLengthWord) {
    jbyteArray tok = qvt::newBytes(4);
    jbyteArray len = qvt::newBytes(8, 0x11);
    jbyteArray ec = qvt::errorCode();
    jintArray storage = qvt::newInts(4);
    atExec(3, 1000, tok, len, ec, storage);
    EXPECT_EQ(at(ec, 0), 0);
    EXPECT_EQ(at(ec, 1), 0);
    ASSERT_EQ(seam_.count("SQLBindParameter"), 1u);
    const auto c = seam_.last("SQLBindParameter");
    EXPECT_EQ(c.args[1], 3u);
    EXPECT_EQ(c.args[2], static_cast<uint64_t>(SQL_PARAM_INPUT));
    EXPECT_EQ(static_cast<int16_t>(c.args[3]), SQL_C_BINARY);
    EXPECT_EQ(static_cast<int16_t>(c.args[4]), SQL_LONGVARBINARY);
    EXPECT_EQ(c.args[5], 1000u);
    EXPECT_EQ(static_cast<int64_t>(c.args[8]), 4);
    // The driver reads a full SQLLEN, and hands the value pointer back from
    // SQLParamData: the parameter number is found there.
    EXPECT_EQ(*boundIndicator(c), -1100);
    int32_t number = 0;
    std::memcpy(&number, boundValue(c), 4);
    EXPECT_EQ(number, 3);
    EXPECT_EQ(record(token_, 3).bufferLength, qv::kDataAtExecMarker);
    EXPECT_EQ(record(token_, 3).cType, SQL_C_BINARY);

    static SQLPOINTER handedBack = nullptr;
    handedBack = boundValue(c);
    seam_.on<&qv::DriverTable::SQLParamData>([](SQLHSTMT, SQLPOINTER* t) {
        *t = handedBack;
        return SQLRETURN(SQL_NEED_DATA);
    });
    EXPECT_EQ(JC(paramData, kStmt, ec), 3);

    const auto s = qvt::read(storage);
    for (int32_t v : s) EXPECT_NE(v, 0);
    JC(ReleaseStoredBytes, s[0], s[1]);
    EXPECT_EQ(word(tok), 3);
    JC(ReleaseStoredBytes, s[2], s[3]);
    EXPECT_EQ(word(len), -1100);
    EXPECT_EQ(qvt::read(len)[4], 0x11) << "only the first 4 bytes are the length word";
}

TEST_F(StoredBindings, EachPairIsReleasedOnceWhateverTheCallsBring) {
    jintArray storage = qvt::newInts(4);
    atExec(2, 10, qvt::newBytes(4), qvt::newBytes(4), qvt::errorCode(), storage);
    jintArray other = qvt::newInts(4);
    atExec(3, 10, qvt::newBytes(4), qvt::newBytes(4), qvt::errorCode(), other);
    const auto s = qvt::read(storage);
    const auto o = qvt::read(other);
    qvt::JniSpy spy;
    JC(ReleaseStoredBytes, 0, 0);
    JC(ReleaseStoredBytes, 0x12345, 0x54321);
    JC(ReleaseStoredBytes, s[0], s[0]);
    JC(ReleaseStoredBytes, s[0], s[3]);  // elements of one pair, reference of another
    JC(ReleaseStoredBytes, s[0], o[1]);
    JC(ReleaseStoredBytes, s[0] + 1, s[1]);
    EXPECT_TRUE(spy.releases().empty());
    EXPECT_TRUE(spy.globalsDeleted().empty());

    JC(ReleaseStoredBytes, s[0], s[1]);
    JC(ReleaseStoredBytes, s[3], s[2]);  // a pair given back in the other order is still the pair
    ASSERT_EQ(spy.releases().size(), 2u);
    EXPECT_EQ(spy.releases()[0].mode, 0);
    EXPECT_EQ(spy.releases()[1].mode, 0);
    EXPECT_EQ(spy.globalsDeleted().size(), 2u);
    JC(ReleaseStoredBytes, s[0], s[1]);
    JC(ReleaseStoredBytes, s[2], s[3]);
    EXPECT_EQ(spy.releases().size(), 2u) << "a second release does nothing";
    EXPECT_EQ(spy.globalsDeleted().size(), 2u);
    release(other);
    EXPECT_EQ(spy.globalsDeleted().size(), 4u);
}

TEST_F(StoredBindings, ShortMissingOrRefusedArraysLeaveNothingPinned) {
    qvt::JniSpy spy;
    struct Case {
        jbyteArray tok, len;
        jintArray storage;
        jint params, param;
        int8_t status;
    };
    const Case cases[] = {
        {qvt::newBytes(3), qvt::newBytes(4), qvt::newInts(4), token_, 1, -97},
        {qvt::newBytes(4), qvt::newBytes(2), qvt::newInts(4), token_, 1, -97},
        {qvt::newBytes(4), qvt::newBytes(4), qvt::newInts(3), token_, 1, -97},
        {qvt::newBytes(4), qvt::newBytes(4), nullptr, token_, 1, -97},
        {qvt::newBytes(4), qvt::newBytes(4), qvt::newInts(4), 0, 1, -97},
        {qvt::newBytes(4), qvt::newBytes(4), qvt::newInts(4), token_ + 1, 1, -97},
        {qvt::newBytes(4), qvt::newBytes(4), qvt::newInts(4), token_, 4, -97},
    };
    for (const Case& k : cases) {
        jbyteArray ec = qvt::errorCode();
        JC(bindInParameterAtExec, k.params, kStmt, k.param, SQL_LONGVARBINARY, SQL_C_BINARY, 10, k.tok, k.len, ec,
           k.storage);
        EXPECT_EQ(at(ec, 1), k.status);
    }
    EXPECT_EQ(seam_.count("SQLBindParameter"), 0u);
    EXPECT_EQ(spy.globalsMade().size(), spy.globalsDeleted().size());

    // A null byte array cannot be referenced: OutOfMemoryError.
    JC(bindInParameterAtExec, token_, kStmt, 1, SQL_LONGVARBINARY, SQL_C_BINARY, 10, nullptr, qvt::newBytes(4),
       qvt::errorCode(), qvt::newInts(4));
    EXPECT_EQ(qvt::takeException(), "java.lang.OutOfMemoryError");
    EXPECT_EQ(JC(bindOutParameterString, kStmt, 1, SQL_VARCHAR, 0, qvt::newBytes(10), nullptr, qvt::newInts(4)), 0);
    EXPECT_EQ(qvt::takeException(), "java.lang.OutOfMemoryError");

    // An output buffer without room for a terminator, a short length word or
    // storage: refused as a failure, not reported as success.
    EXPECT_EQ(
        JC(bindOutParameterString, kStmt, 1, SQL_VARCHAR, 0, qvt::newBytes(0), qvt::newBytes(4), qvt::newInts(4)),
        SQL_ERROR);
    EXPECT_EQ(
        JC(bindOutParameterString, kStmt, 1, SQL_VARCHAR, 0, qvt::newBytes(8), qvt::newBytes(3), qvt::newInts(4)),
        SQL_ERROR);
    EXPECT_EQ(JC(bindOutParameterString, kStmt, 1, SQL_VARCHAR, 0, qvt::newBytes(8), qvt::newBytes(4), nullptr),
              SQL_ERROR);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 0u);
    EXPECT_EQ(spy.globalsMade().size(), spy.globalsDeleted().size());
    EXPECT_EQ(spy.pins().size(), spy.releases().size());
}

TEST_F(StoredBindings, FailedBindingKeepsNothingAndLeavesTheRecord) {
    seam_.on<&qv::DriverTable::SQLBindParameter>([](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT,
                                                    SQLULEN, SQLSMALLINT, SQLPOINTER, SQLLEN,
                                                    SQLLEN*) { return SQLRETURN(SQL_ERROR); });
    JC(setInteger, kStmt, token_, 5, 1);
    qvt::JniSpy spy;
    jintArray storage = qvt::newInts(4, 9);
    jbyteArray ec = qvt::errorCode();
    atExec(1, 10, qvt::newBytes(4), qvt::newBytes(4), ec, storage);
    EXPECT_EQ(at(ec, 0), -1);
    EXPECT_EQ(qvt::read(storage), (std::vector<int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(record(token_, 1).bufferLength, 4);
    EXPECT_EQ(record(token_, 1).lengthInd, 4);
    EXPECT_EQ(record(token_, 1).inlineValue.i32, 5);
    EXPECT_EQ(spy.globalsMade().size(), 2u);
    EXPECT_EQ(spy.globalsDeleted().size(), 2u);
    EXPECT_EQ(JC(bindOutParameterString, kStmt, 1, SQL_VARCHAR, 0, qvt::newBytes(8), qvt::newBytes(4), storage),
              SQL_ERROR);
    EXPECT_EQ(qvt::read(storage), (std::vector<int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(spy.globalsMade().size(), spy.globalsDeleted().size());
}

TEST_F(StoredBindings, OutputStringReachesJavaAtRelease) {
    jbyteArray buffer = qvt::newBytes(101);
    jbyteArray len = wordArray(0x11223344);
    jintArray storage = qvt::newInts(4);
    EXPECT_EQ(JC(bindOutParameterString, kStmt, 1, SQL_VARCHAR, 65539, buffer, len, storage), 0);
    ASSERT_EQ(seam_.count("SQLBindParameter"), 1u);
    const auto c = seam_.last("SQLBindParameter");
    EXPECT_EQ(c.args[1], 1u);
    EXPECT_EQ(c.args[2], static_cast<uint64_t>(SQL_PARAM_OUTPUT));
    EXPECT_EQ(static_cast<int16_t>(c.args[3]), SQL_C_CHAR);
    EXPECT_EQ(static_cast<int16_t>(c.args[4]), SQL_VARCHAR);
    EXPECT_EQ(c.args[5], 100u);
    EXPECT_EQ(c.args[6], 3u) << "scale in 16 bits";
    EXPECT_EQ(static_cast<int64_t>(c.args[8]), 101);
    EXPECT_EQ(*boundIndicator(c), 0x11223344) << "the word reads as Java had it until the driver writes it";
    // The driver writes the text and a full 8-byte length at execution.
    std::memcpy(boundValue(c), "hello", 6);
    *boundIndicator(c) = 5;
    release(storage);
    EXPECT_EQ(qvt::cstr(buffer), "hello");
    EXPECT_EQ(word(len), 5);

    // Lengths the driver writes that no int holds saturate; SQL_NULL_DATA stays -1.
    for (SQLLEN written : {static_cast<SQLLEN>(SQL_NULL_DATA), static_cast<SQLLEN>(1) << 40}) {
        jbyteArray l = qvt::newBytes(4);
        jintArray st = qvt::newInts(4);
        JC(bindOutParameterString, kStmt, 1, SQL_VARCHAR, 0, qvt::newBytes(4), l, st);
        *boundIndicator(seam_.last("SQLBindParameter")) = written;
        release(st);
        EXPECT_EQ(word(l), written < 0 ? -1 : INT32_MAX);
    }
}

TEST_F(StoredBindings, ReleasedOutputStringIsTakenOffItsParameter) {
    jintArray storage = qvt::newInts(4);
    JC(bindOutParameterString, kStmt, 2, SQL_VARCHAR, 0, qvt::newBytes(16), qvt::newBytes(4), storage);
    const auto out = seam_.last("SQLBindParameter");
    seam_.clear();
    release(storage);
    // The parameter is bound again, as an input NULL, before the array goes.
    ASSERT_EQ(seam_.count("SQLBindParameter"), 1u);
    const auto c = seam_.last("SQLBindParameter");
    EXPECT_EQ(c.args[1], 2u);
    EXPECT_EQ(c.args[2], static_cast<uint64_t>(SQL_PARAM_INPUT));
    EXPECT_NE(boundValue(c), boundValue(out));
    EXPECT_NE(boundIndicator(c), boundIndicator(out));
    EXPECT_EQ(*boundIndicator(c), SQL_NULL_DATA);

    // A parameter bound anew since (a setter, a reset) is left as it is.
    storage = qvt::newInts(4);
    JC(bindOutParameterString, kStmt, 2, SQL_VARCHAR, 0, qvt::newBytes(16), qvt::newBytes(4), storage);
    EXPECT_EQ(JC(setInteger, kStmt, token_, 7, 2), 0);
    seam_.clear();
    release(storage);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 0u);
    storage = qvt::newInts(4);
    JC(bindOutParameterString, kStmt, 3, SQL_VARCHAR, 0, qvt::newBytes(16), qvt::newBytes(4), storage);
    JC(freeStmt, kStmt, SQL_RESET_PARAMS);
    seam_.clear();
    release(storage);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 0u);
}

TEST_F(StoredBindings, NegativeDataAtExecutionLengthIsRefused) {
    for (jint length : {-1, -200, INT32_MIN}) {
        jbyteArray ec = qvt::errorCode();
        jintArray storage = qvt::newInts(4, 9);
        atExec(3, length, qvt::newBytes(4), qvt::newBytes(4), ec, storage);
        EXPECT_EQ(qvt::read(ec), (std::vector<int8_t>{-1, -97})) << length;
        EXPECT_EQ(qvt::read(storage), std::vector<int32_t>(4, 9));
    }
    EXPECT_EQ(seam_.count("SQLBindParameter"), 0u);
}

TEST_F(StoredBindings, ParameterCallsOnAnotherStatementAreRefused) {
    constexpr jint kOther = kStmt + 1;
    EXPECT_EQ(JC(setInteger, kOther, token_, 5, 1), 159);
    EXPECT_EQ(JC(setDouble, kOther, token_, 5.0, 1), 159);
    for (int which = 0; which < 5; ++which) {
        jbyteArray ec = qvt::errorCode();
        switch (which) {
            case 0:
                JC(setNull, kOther, token_, ec, 1);
                break;
            case 1:
                JC(setTimestamp, kOther, token_, 0, ec, 1);
                break;
            case 2:
                JC(setString, kOther, token_, qvt::jstr(u"x"), ec, 2);
                break;
            case 3:
                JC(setBytes, kOther, token_, qvt::newBytes(2), ec, 3);
                break;
            default:
                JC(bindInParameterAtExec, token_, kOther, 3, SQL_LONGVARBINARY, SQL_C_BINARY, 4, qvt::newBytes(4),
                   qvt::newBytes(4), ec, qvt::newInts(4));
        }
        EXPECT_EQ(qvt::read(ec)[1], -97) << which;
    }
    EXPECT_EQ(seam_.count("SQLBindParameter"), 0u);
}

TEST_F(StoredBindings, FreeingDuringAPendingExchangeCancelsBeforeTheReset) {
    // The driver refuses the reset while it waits for data.
    static bool pending;
    pending = true;
    seam_.on<&qv::DriverTable::SQLFreeStmt>(
        [](SQLHSTMT, SQLUSMALLINT) { return SQLRETURN(pending ? SQL_ERROR : SQL_SUCCESS); });
    seam_.on<&qv::DriverTable::SQLCancel>([](SQLHSTMT) {
        pending = false;
        return SQLRETURN(SQL_SUCCESS);
    });
    JC(freeBoundParams, token_, 3);
    std::vector<std::string> order;
    for (const auto& c : seam_.calls()) order.push_back(c.name);
    EXPECT_EQ(order, (std::vector<std::string>{"SQLFreeStmt", "SQLCancel", "SQLFreeStmt"}));
    token_ = 0;
}

TEST_F(StoredBindings, RecordsTheDriverStillHoldsAreNotFreed) {
    qvt::params::CountingMemory memory;
    jbyteArray ec = qvt::errorCode();
    JC(setString, kStmt, token_, qvt::jstr(u"grown beyond the first buffer"), ec, 2);
    const int held = memory.live();
    seam_.on<&qv::DriverTable::SQLFreeStmt>([](SQLHSTMT, SQLUSMALLINT) { return SQLRETURN(SQL_ERROR); });
    JC(freeBoundParams, token_, 3);
    EXPECT_EQ(memory.live(), held) << "the driver may still read them";
    EXPECT_EQ(qv::params::find(token_), nullptr);
    token_ = 0;
}

}  // namespace
