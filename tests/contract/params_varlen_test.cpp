// setString and setBytes through the seam: reuse of a buffer that fits,
// growth, the switch of C type, 8-bit text, and failures that leave the
// record as it was.
#include "params_seam.h"

#include <cstring>

namespace {

using qvt::at;
using qvt::params::BindArrays;
using qvt::params::CountingMemory;
using qvt::params::Described;
using qvt::params::record;
using qvt::params::ScriptedStatement;
using Seam = qvt::seam::Scope;

constexpr jint kStmt = 43;

class VariableSetters : public qvt::params::BoundStatementTest<kStmt> {
protected:
    std::vector<uint8_t> buffer(int p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(record(token_, p).ownedBuffer);
        return std::vector<uint8_t>(b, b + n);
    }
};

TEST_F(VariableSetters, StringThatFitsIsCopiedWithoutDriverCallOrAllocation) {
    const jint t = bind({{SQL_VARCHAR, SQL_VARCHAR, 20}});
    CountingMemory heap;
    jbyteArray ec = qvt::errorCode();
    JC(setString, kStmt, t, qvt::jstr(u"abc"), ec, 1);
    EXPECT_TRUE(seam_.calls().empty());
    EXPECT_EQ(heap.allocations(), 0);
    EXPECT_EQ(at(ec, 1), 0);
    EXPECT_EQ(at(ec, 0), 0x55);
    EXPECT_EQ(record(t, 1).lengthInd, 6);
    EXPECT_EQ(buffer(1, 8), (std::vector<uint8_t>{'a', 0, 'b', 0, 'c', 0, 0, 0}));
    JC(setString, kStmt, t, qvt::jstr(u"\u20ac\U0001F600"), ec, 1);  // beyond Latin-1, a surrogate pair
    EXPECT_EQ(record(t, 1).lengthInd, 6);
    EXPECT_EQ(buffer(1, 8), (std::vector<uint8_t>{0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}));
    JC(setString, kStmt, t, qvt::jstr(u""), ec, 1);
    EXPECT_EQ(record(t, 1).lengthInd, 0);
    EXPECT_EQ(buffer(1, 2), (std::vector<uint8_t>{0, 0}));
    EXPECT_TRUE(seam_.calls().empty());
    EXPECT_EQ(heap.allocations(), 0);
}

TEST_F(VariableSetters, StringGrowsTheBufferOnceThenReusesIt) {
    const jint t = bind({{SQL_VARCHAR, SQL_VARCHAR, 2}});
    CountingMemory heap;
    jbyteArray ec = qvt::errorCode();
    const std::u16string longer(50, u'x');
    JC(setString, kStmt, t, qvt::jstr(longer), ec, 1);
    ASSERT_EQ(seam_.count("SQLBindParameter"), 1u);
    const auto& c = seam_.last("SQLBindParameter");
    EXPECT_EQ(static_cast<int16_t>(c.args[3]), SQL_C_WCHAR);
    EXPECT_EQ(static_cast<int64_t>(c.args[8]), 102);
    EXPECT_EQ(c.args[5], 2u) << "typeFromValue 0 keeps the described column size";
    EXPECT_EQ(qvt::params::boundValue(c), record(t, 1).ownedBuffer);
    EXPECT_EQ(record(t, 1).bufferLength, 102);
    EXPECT_EQ(record(t, 1).lengthInd, 100);
    EXPECT_EQ(heap.allocations(), 1);
    EXPECT_EQ(heap.releases(), 1) << "the 4-byte buffer";
    JC(setString, kStmt, t, qvt::jstr(u"short"), ec, 1);
    JC(setString, kStmt, t, qvt::jstr(longer), ec, 1);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 1u);
    EXPECT_EQ(heap.allocations(), 1);
}

TEST_F(VariableSetters, StringOnANumericParameterBecomes8BitText) {
    const jint t = bind({{SQL_INTEGER, SQL_INTEGER, 10}});
    jbyteArray ec = qvt::errorCode();
    JC(setString, kStmt, t, qvt::jstr(u"abc"), ec, 1);
    const auto& c = seam_.last("SQLBindParameter");
    EXPECT_EQ(static_cast<int16_t>(c.args[3]), SQL_C_CHAR);
    EXPECT_EQ(static_cast<int16_t>(c.args[4]), SQL_INTEGER);
    EXPECT_EQ(static_cast<int64_t>(c.args[8]), 4);
    EXPECT_EQ(record(t, 1).lengthInd, 3);
    EXPECT_EQ(buffer(1, 4), (std::vector<uint8_t>{'a', 'b', 'c', 0}));
    JC(setString, kStmt, t, qvt::jstr(u"caf\u00e9"), ec, 1);
    EXPECT_EQ(buffer(1, 5), (std::vector<uint8_t>{'c', 'a', 'f', 0xE9, 0})) << "Latin-1 as single bytes";
    EXPECT_EQ(at(ec, 1), 0);
    // 8-bit text refuses a character above 255, at any position of a long text.
    std::u16string text(700, u'a');
    text[600] = u'\u20ac';
    JC(setString, kStmt, t, qvt::jstr(text), ec, 1);
    EXPECT_EQ(at(ec, 1), -98);
    EXPECT_EQ(record(t, 1).lengthInd, 700);
    EXPECT_EQ(buffer(1, 600), std::vector<uint8_t>(600, 'a'));
    JC(setString, kStmt, t, qvt::jstr(u""), ec, 1);
    EXPECT_EQ(at(ec, 1), 0);
    EXPECT_EQ(record(t, 1).lengthInd, 0);
    EXPECT_EQ(buffer(1, 1), std::vector<uint8_t>{0});
}

TEST_F(VariableSetters, TypeFromValueRebindsForALongerValueOrAfterANull) {
    const jint t = bind({{SQL_VARCHAR, SQL_VARCHAR, 100}}, 1);
    jbyteArray ec = qvt::errorCode();
    JC(setString, kStmt, t, qvt::jstr(u"abcd"), ec, 1);
    ASSERT_EQ(seam_.count("SQLBindParameter"), 1u) << "the SQL type changes to SQL_WCHAR";
    EXPECT_EQ(static_cast<int16_t>(seam_.last("SQLBindParameter").args[4]), SQL_WCHAR);
    EXPECT_EQ(seam_.last("SQLBindParameter").args[5], 4u);
    EXPECT_EQ(seam_.last("SQLBindParameter").args[6], 0u);
    JC(setString, kStmt, t, qvt::jstr(u"ab"), ec, 1);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 1u);
    JC(setString, kStmt, t, qvt::jstr(u"abc"), ec, 1);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 2u);
    EXPECT_EQ(seam_.last("SQLBindParameter").args[5], 3u);
    JC(setNull, kStmt, t, ec, 1);
    JC(setString, kStmt, t, qvt::jstr(u"a"), ec, 1);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 3u) << "a null leaves no length to compare with";
}

TEST_F(VariableSetters, StringFailuresLeaveTheRecord) {
    const jint t = bind({{SQL_VARCHAR, SQL_VARCHAR, 2}});
    void* before = record(t, 1).ownedBuffer;
    CountingMemory heap;
    heap.failAt(0);
    jbyteArray ec = qvt::errorCode();
    JC(setString, kStmt, t, qvt::jstr(u"longer"), ec, 1);
    EXPECT_EQ(at(ec, 1), -99);
    seam_.on<&qv::DriverTable::SQLBindParameter>([](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT,
                                                    SQLULEN, SQLSMALLINT, SQLPOINTER, SQLLEN,
                                                    SQLLEN*) { return SQLRETURN(SQL_ERROR); });
    ec = qvt::errorCode();
    JC(setString, kStmt, t, qvt::jstr(u"longer"), ec, 1);
    EXPECT_EQ(at(ec, 0), -1);
    EXPECT_EQ(heap.live(), 0);
    EXPECT_EQ(record(t, 1).ownedBuffer, before);
    EXPECT_EQ(record(t, 1).bufferLength, 4);
    ec = qvt::errorCode();
    JC(setString, kStmt, t, nullptr, ec, 1);
    EXPECT_EQ(at(ec, 1), -97) << "a null string is refused";
    JC(setString, kStmt, 0, qvt::jstr(u"x"), ec, 1);
    EXPECT_EQ(at(ec, 1), -97);
    JC(setString, kStmt, t, qvt::jstr(u"x"), ec, 2);
    EXPECT_EQ(at(ec, 1), -97) << "a parameter beyond the array";
    EXPECT_EQ(seam_.count("SQLBindParameter"), 1u);
}

TEST_F(VariableSetters, BytesCopyWhenTheyFitAndGrowWhenNot) {
    const jint t = bind({{SQL_VARBINARY, SQL_VARBINARY, 16}});
    CountingMemory heap;
    jbyteArray ec = qvt::errorCode();
    JC(setBytes, kStmt, t, qvt::bytes("0123456789"), ec, 1);
    EXPECT_TRUE(seam_.calls().empty());
    EXPECT_EQ(heap.allocations(), 0);
    EXPECT_EQ(record(t, 1).lengthInd, 10);
    EXPECT_EQ(buffer(1, 10), (std::vector<uint8_t>{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}));
    const std::string twenty = "abcdefghijklmnopqrst";
    JC(setBytes, kStmt, t, qvt::bytes(twenty), ec, 1);
    ASSERT_EQ(seam_.count("SQLBindParameter"), 1u);
    const auto& c = seam_.last("SQLBindParameter");
    EXPECT_EQ(c.args[5], 20u);
    EXPECT_EQ(static_cast<int64_t>(c.args[8]), 20);
    EXPECT_EQ(static_cast<int16_t>(c.args[4]), SQL_VARBINARY);
    EXPECT_EQ(record(t, 1).bufferLength, 20);
    EXPECT_EQ(buffer(1, 20), std::vector<uint8_t>(twenty.begin(), twenty.end()));
    JC(setBytes, kStmt, t, qvt::bytes(""), ec, 1);
    EXPECT_EQ(record(t, 1).lengthInd, 0);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 1u);
    JC(setBytes, kStmt, t, nullptr, ec, 1);
    EXPECT_EQ(at(ec, 1), -97);
}

TEST_F(VariableSetters, BytesOnAnotherCTypeKeepAtLeastTheOldBufferLength) {
    const jint t = bind({{SQL_VARCHAR, SQL_VARCHAR, 20}, {SQL_INTEGER, SQL_INTEGER, 10}}, 1);
    jbyteArray ec = qvt::errorCode();
    CountingMemory heap;
    JC(setBytes, kStmt, t, qvt::bytes("xyz"), ec, 1);
    auto c = seam_.last("SQLBindParameter");
    EXPECT_EQ(static_cast<int16_t>(c.args[3]), SQL_C_BINARY);
    EXPECT_EQ(static_cast<int16_t>(c.args[4]), SQL_BINARY);
    EXPECT_EQ(c.args[5], 3u);
    EXPECT_EQ(static_cast<int64_t>(c.args[8]), 22) << "the 22-byte character buffer's length";
    EXPECT_EQ(heap.allocations(), 0) << "a buffer of that length is bound again as it is";
    JC(setBytes, kStmt, t, qvt::bytes("xyzw"), ec, 1);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 2u) << "typeFromValue 1: a longer value binds again";
    JC(setBytes, kStmt, t, qvt::bytes("abc"), ec, 2);
    EXPECT_EQ(static_cast<int64_t>(seam_.last("SQLBindParameter").args[8]), 4) << "the in-place length";
    EXPECT_EQ(heap.allocations(), 1);
}

}  // namespace
