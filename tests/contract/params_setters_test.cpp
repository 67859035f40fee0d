// The scalar setters through the seam: the fast path that makes no driver
// call and no allocation, rebinding on a change of C type, the SQL type
// chosen with and without typeFromValue, NULLs and driver-form timestamps.
#include "params_seam.h"

#include <cmath>
#include <cstring>

namespace {

using qvt::at;
using qvt::params::BindArrays;
using qvt::params::boundSqlType;
using qvt::params::CountingMemory;
using qvt::params::Described;
using qvt::params::record;
using qvt::params::ScriptedStatement;
using Seam = qvt::seam::Scope;

constexpr jint kStmt = 41;

class ScalarSetters : public qvt::params::BoundStatementTest<kStmt> {};

TEST_F(ScalarSetters, SameCTypeWritesInPlaceWithoutDriverCallOrAllocation) {
    const jint t = bind({{SQL_INTEGER, SQL_INTEGER, 10},
                         {SQL_SMALLINT, SQL_SMALLINT, 5},
                         {SQL_TINYINT, SQL_TINYINT, 3},
                         {SQL_BIGINT, SQL_BIGINT, 19},
                         {SQL_REAL, SQL_REAL, 7},
                         {SQL_DOUBLE, SQL_DOUBLE, 15}});
    CountingMemory heap;
    EXPECT_EQ(JC(setInteger, kStmt, t, 7, 1), 0);
    EXPECT_EQ(JC(setInteger, kStmt, t, INT32_MIN, 2), 0);
    EXPECT_EQ(JC(setInteger, kStmt, t, -1, 3), 0);
    EXPECT_EQ(JC(setLong, kStmt, t, INT64_MIN, 4), 0);
    EXPECT_EQ(JC(setFloat, kStmt, t, -0.0f, 5), 0);
    EXPECT_EQ(JC(setDouble, kStmt, t, 1e308, 6), 0);
    for (int i = 0; i < 1000; ++i) JC(setInteger, kStmt, t, i, 1);
    EXPECT_TRUE(seam_.calls().empty());
    EXPECT_EQ(heap.allocations(), 0);
    EXPECT_EQ(record(t, 1).lengthInd, 4);
    EXPECT_EQ(record(t, 1).inlineValue.i32, 999);
    EXPECT_EQ(record(t, 2).inlineValue.i32, INT32_MIN);
    EXPECT_EQ(record(t, 4).lengthInd, 8);
    EXPECT_EQ(record(t, 4).inlineValue.i64, INT64_MIN);
    EXPECT_TRUE(std::signbit(record(t, 5).inlineValue.f32));
    EXPECT_EQ(record(t, 6).inlineValue.f64, 1e308);
}

TEST_F(ScalarSetters, ChangeOfCTypeRebindsOnce) {
    const jint t = bind({{SQL_INTEGER, SQL_INTEGER, 10}});
    EXPECT_EQ(JC(setLong, kStmt, t, 5, 1), 0);
    ASSERT_EQ(seam_.count("SQLBindParameter"), 1u);
    const auto& c = seam_.last("SQLBindParameter");
    EXPECT_EQ(static_cast<int16_t>(c.args[3]), SQL_C_SBIGINT);
    EXPECT_EQ(static_cast<int16_t>(c.args[4]), SQL_INTEGER) << "typeFromValue 0 keeps the described type";
    EXPECT_EQ(c.args[5], 10u);
    EXPECT_EQ(qvt::params::boundValue(c), static_cast<void*>(&record(t, 1).inlineValue));
    EXPECT_EQ(static_cast<int64_t>(c.args[8]), 8);
    JC(setLong, kStmt, t, 6, 1);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 1u);
    JC(setInteger, kStmt, t, 6, 1);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 2u);
    EXPECT_EQ(record(t, 1).cType, SQL_C_SLONG);
}

TEST_F(ScalarSetters, TypeFromValueChoosesTheValuesSqlType) {
    const jint t = bind({{SQL_VARCHAR, SQL_VARCHAR, 20}, {SQL_VARCHAR, SQL_VARCHAR, 20}}, 1);
    JC(setDouble, kStmt, t, 2.5, 1);
    auto c = seam_.last("SQLBindParameter");
    EXPECT_EQ(static_cast<int16_t>(c.args[3]), SQL_C_DOUBLE);
    EXPECT_EQ(static_cast<int16_t>(c.args[4]), SQL_FLOAT);
    EXPECT_EQ(static_cast<int64_t>(c.args[8]), 8);
    EXPECT_EQ(record(t, 1).sqlType, SQL_FLOAT);
    JC(setFloat, kStmt, t, 2.5f, 2);
    EXPECT_EQ(static_cast<int16_t>(seam_.last("SQLBindParameter").args[4]), SQL_REAL);
    JC(setLong, kStmt, t, 1, 2);
    EXPECT_EQ(static_cast<int16_t>(seam_.last("SQLBindParameter").args[4]), SQL_BIGINT);
    JC(setInteger, kStmt, t, 1, 2);
    EXPECT_EQ(static_cast<int16_t>(seam_.last("SQLBindParameter").args[4]), SQL_INTEGER);
}

TEST_F(ScalarSetters, FailedRebindIsRetriedByTheNextCall) {
    const jint t = bind({{SQL_VARCHAR, SQL_VARCHAR, 20}});
    seam_.on<&qv::DriverTable::SQLBindParameter>([](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT,
                                                    SQLULEN, SQLSMALLINT, SQLPOINTER, SQLLEN,
                                                    SQLLEN*) { return SQLRETURN(SQL_ERROR); });
    EXPECT_EQ(JC(setInteger, kStmt, t, 3, 1), 0) << "the binding's result does not reach Java";
    EXPECT_EQ(record(t, 1).cType, SQL_C_WCHAR);
    EXPECT_EQ(record(t, 1).inlineValue.i32, 3) << "the value is stored";
    seam_.on<&qv::DriverTable::SQLBindParameter>([](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT,
                                                    SQLULEN, SQLSMALLINT, SQLPOINTER, SQLLEN,
                                                    SQLLEN*) { return SQLRETURN(SQL_SUCCESS); });
    JC(setInteger, kStmt, t, 4, 1);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 2u);
    EXPECT_EQ(record(t, 1).cType, SQL_C_SLONG);
    EXPECT_NE(record(t, 1).ownedBuffer, nullptr) << "the owned buffer stays until the array is freed";
}

TEST_F(ScalarSetters, MissingArrayOrParameterIsRefusedWithoutACall) {
    const jint t = bind({{SQL_INTEGER, SQL_INTEGER, 10}});
    for (jint p : {0, 2, -1, 65537}) {
        EXPECT_EQ(JC(setInteger, kStmt, t, 1, p), 159) << p;
        EXPECT_EQ(JC(setLong, kStmt, t, 1, p), 159);
    }
    for (jint bad : {0, t + 1, 0x7FFFFFFF}) {
        EXPECT_EQ(JC(setInteger, kStmt, bad, 1, 1), 159);
        EXPECT_EQ(JC(setLong, kStmt, bad, 1, 1), 159);
        EXPECT_EQ(JC(setFloat, kStmt, bad, 1, 1), 159);
        EXPECT_EQ(JC(setDouble, kStmt, bad, 1, 1), 159);
        jbyteArray ec = qvt::errorCode();
        JC(setNull, kStmt, bad, ec, 1);
        EXPECT_EQ(at(ec, 1), -97);
        ec = qvt::errorCode();
        JC(setTimestamp, kStmt, bad, 1, ec, 1);
        EXPECT_EQ(at(ec, 1), -97);
        EXPECT_EQ(at(ec, 0), 0x55);
    }
    EXPECT_TRUE(seam_.calls().empty());
    // A freed array is no array.
    JC(freeBoundParams, t, 1);
    EXPECT_EQ(JC(setInteger, kStmt, t, 1, 1), 159);
    token_ = 0;
}

TEST_F(ScalarSetters, NullOnlyMarksTheIndicatorUnlessBoundForDataAtExecution) {
    const jint t = bind({{SQL_INTEGER, SQL_INTEGER, 10}, {SQL_VARBINARY, SQL_VARBINARY, 10}});
    jbyteArray ec = qvt::errorCode();
    JC(setNull, kStmt, t, ec, 1);
    EXPECT_EQ(record(t, 1).lengthInd, SQL_NULL_DATA);
    EXPECT_EQ(at(ec, 0), 0x55);
    EXPECT_EQ(at(ec, 1), 0);
    EXPECT_TRUE(seam_.calls().empty());
    JC(setInteger, kStmt, t, 9, 1);
    EXPECT_TRUE(seam_.calls().empty()) << "the binding is still in place";

    JC(bindInParameterAtExec, t, kStmt, 2, SQL_LONGVARBINARY, SQL_C_BINARY, 100, qvt::newBytes(4), qvt::newBytes(4),
       ec, qvt::newInts(4));
    seam_.clear();
    ec = qvt::errorCode();
    JC(setNull, kStmt, t, ec, 2);
    ASSERT_EQ(seam_.count("SQLBindParameter"), 1u);
    const auto& c = seam_.last("SQLBindParameter");
    EXPECT_EQ(static_cast<int16_t>(c.args[3]), SQL_C_BINARY);
    EXPECT_EQ(static_cast<int16_t>(c.args[4]), SQL_INTEGER);
    EXPECT_EQ(static_cast<int64_t>(c.args[8]), 0);
    EXPECT_EQ(at(ec, 0), 0);
    EXPECT_EQ(record(t, 2).lengthInd, SQL_NULL_DATA);
    EXPECT_EQ(record(t, 2).bufferLength, qv::kDataAtExecMarker);
}

TEST_F(ScalarSetters, TimestampBindsOnceAndCopiesLittleEndian) {
    const jint t = bind({{SQL_VARCHAR, SQL_VARCHAR, 20}});
    CountingMemory heap;
    jbyteArray ec = qvt::errorCode();
    JC(setTimestamp, kStmt, t, 0x0102030405060708LL, ec, 1);
    ASSERT_EQ(seam_.count("SQLBindParameter"), 1u);
    const auto& c = seam_.last("SQLBindParameter");
    EXPECT_EQ(static_cast<int16_t>(c.args[3]), SQL_C_BINARY);
    EXPECT_EQ(static_cast<int16_t>(c.args[4]), SQL_TIMESTAMP);
    EXPECT_EQ(static_cast<int64_t>(c.args[8]), 8);
    EXPECT_EQ(at(ec, 0), 0);
    const auto* b = static_cast<const uint8_t*>(record(t, 1).ownedBuffer);
    EXPECT_EQ(std::vector<int>(b, b + 8), (std::vector<int>{8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(record(t, 1).sqlType, SQL_VARCHAR) << "setTimestamp keeps the described type";
    EXPECT_EQ(heap.allocations(), 1);
    EXPECT_EQ(heap.releases(), 1) << "the old character buffer";
    JC(setTimestamp, kStmt, t, -1, ec, 1);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 1u);
    EXPECT_EQ(heap.allocations(), 1);
    EXPECT_EQ(record(t, 1).lengthInd, 8);
    int64_t v = 0;
    std::memcpy(&v, record(t, 1).ownedBuffer, 8);
    EXPECT_EQ(v, -1);
}

// Raw bytes and the driver's timestamp form share C type and buffer size;
// only the bound SQL type tells them apart, so a switch between them binds
// again instead of sending the bytes under the other meaning.
TEST_F(ScalarSetters, TimestampAndBytesDoNotShareABinding) {
    const jint t = bind({{SQL_VARBINARY, SQL_VARBINARY, 16}}, 1);
    jbyteArray ec = qvt::errorCode();
    JC(setTimestamp, kStmt, t, 12345, ec, 1);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 1u) << "a binary binding is not the timestamp form";
    EXPECT_EQ(boundSqlType(t, 1), SQL_TIMESTAMP);
    JC(setBytes, kStmt, t, qvt::bytes("abc"), ec, 1);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 2u);
    EXPECT_EQ(static_cast<int16_t>(seam_.last("SQLBindParameter").args[4]), SQL_BINARY);
    JC(setTimestamp, kStmt, t, 12345, ec, 1);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 3u);
    EXPECT_EQ(static_cast<int16_t>(seam_.last("SQLBindParameter").args[4]), SQL_TIMESTAMP);
}

TEST_F(ScalarSetters, TimestampFailuresLeaveTheBindingAndItsLength) {
    const jint t = bind({{SQL_CHAR, SQL_CHAR, 1}});
    JC(setString, kStmt, t, qvt::jstr(u"a"), qvt::errorCode(), 1);
    const void* before = record(t, 1).ownedBuffer;
    const SQLLEN length = record(t, 1).lengthInd;
    CountingMemory heap;
    heap.failAt(0);
    jbyteArray ec = qvt::errorCode();
    JC(setTimestamp, kStmt, t, 1, ec, 1);
    EXPECT_EQ(at(ec, 1), -99);
    seam_.on<&qv::DriverTable::SQLBindParameter>([](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT,
                                                    SQLULEN, SQLSMALLINT, SQLPOINTER, SQLLEN,
                                                    SQLLEN*) { return SQLRETURN(SQL_ERROR); });
    ec = qvt::errorCode();
    JC(setTimestamp, kStmt, t, 1, ec, 1);
    EXPECT_EQ(at(ec, 0), -1);
    EXPECT_EQ(heap.live(), 0) << "the new buffer is given back";
    EXPECT_EQ(record(t, 1).ownedBuffer, before);
    EXPECT_EQ(record(t, 1).cType, SQL_C_WCHAR);
    // The 4-byte character buffer is still bound: an 8-byte length would let
    // the driver read past it.
    EXPECT_EQ(record(t, 1).lengthInd, length);
}

}  // namespace
