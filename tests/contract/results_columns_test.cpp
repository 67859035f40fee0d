// Column description and bound-column buffers, seen at the driver through
// the seam and in the records behind the token.
#include "qvjdbc/registry.h"
#include "results_fixture.h"

#include <cstdio>

namespace {

using qv::BoundColBuffer;
using qvt::at;
using qvt::errorCode;
using qvt::ScriptedColumn;

class ResultsColumns : public qvt::ResultsSeam {};

TEST_F(ResultsColumns, NoColumnsGiveAnEmptyArray) {
    jbyteArray ec = errorCode();
    const jint token = bind({}, ec);
    EXPECT_NE(token, 0);
    EXPECT_EQ(qvt::read(ec), (std::vector<int8_t>{0, 0}));
    auto options = seam_.callsTo("SQLSetStmtOption");
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(options[0].args[2], 1u);
    EXPECT_EQ(options[1].args[2], 0u);
    EXPECT_EQ(seam_.calls().size(), 2u) << "no other call";
    JC(freeBoundColBuffers, token, 0);
    EXPECT_EQ(qv::results::boundColumns(token), nullptr);
}

TEST_F(ResultsColumns, BindingTableChoosesTypeBufferAndLength) {
    const jint token = bind({{SQL_VARCHAR, 10},
                             {SQL_BINARY, 10},
                             {SQL_DECIMAL, 10, 0, 12},
                             {SQL_BIGINT, 19},
                             {SQL_TINYINT, 3},
                             {SQL_TIMESTAMP, 26, RUVA70_TYPE_TIMESTAMP},
                             {SQL_TIMESTAMP, 26, RUVA70_TYPE_DATETIME},
                             {SQL_TIMESTAMP, 26, RUVA70_TYPE_TIMESTAMP_TZ},
                             {SQL_WLONGVARCHAR, 100},
                             {SQL_DOUBLE, 15}});
    ASSERT_NE(token, 0);
    EXPECT_EQ(lengths, (std::vector<int32_t>{20, 10, 10, 20, 1, 16, 16, 16, 100, 15}));
    EXPECT_EQ(cTypes,
              (std::vector<int32_t>{SQL_C_WCHAR, SQL_C_BINARY, SQL_C_CHAR, SQL_C_SBIGINT, SQL_C_SSHORT,
                                    SQL_C_TIMESTAMP, SQL_C_TIMESTAMP, SQL_C_BINARY, SQL_C_WCHAR, SQL_C_DOUBLE}));
    EXPECT_EQ(driverTypes[5], RUVA70_TYPE_TIMESTAMP);
    const std::vector<int32_t> buffers{42, 8192, 78, 8, 2, 16, 16, 8, 402, 8};
    const std::vector<bool> owned{true, true, true, false, false, false, false, true, true, false};
    auto binds = seam_.callsTo("SQLBindCol");
    ASSERT_EQ(binds.size(), buffers.size());
    for (jint c = 1; c <= 10; ++c) {
        const BoundColBuffer& r = rec(token, c);
        EXPECT_EQ(r.bufferLength, buffers[c - 1]) << "column " << c;
        EXPECT_EQ(r.lengthInd, buffers[c - 1]) << "column " << c;
        EXPECT_EQ(r.dataPtr == r.ownedBuffer, owned[c - 1]) << "column " << c;
        EXPECT_EQ(r.dataPtr == &r.inlineValue, !owned[c - 1]) << "column " << c;
        EXPECT_EQ(store(token, c).ownedCapacity, owned[c - 1] ? buffers[c - 1] : 0);
        const auto& args = binds[c - 1].args;
        EXPECT_EQ(args[1], static_cast<uint64_t>(c));
        EXPECT_EQ(static_cast<int64_t>(args[2]), r.cType);
        EXPECT_EQ(args[3], reinterpret_cast<uintptr_t>(r.dataPtr));
        EXPECT_EQ(static_cast<int64_t>(args[4]), buffers[c - 1]);
        EXPECT_EQ(args[5], reinterpret_cast<uintptr_t>(&r.lengthInd)) << "the driver writes a native SQLLEN";
    }
    // No name buffer is offered: no column name is ever too long for it.
    for (const auto& d : seam_.callsTo("SQLDescribeCol")) {
        EXPECT_EQ(d.args[2], 0u);
        EXPECT_EQ(d.args[3], 0u);
    }
    // The display size stands in for the size of a numeric column.
    auto attrs = seam_.callsTo("SQLColAttributes");
    EXPECT_EQ(attrs.front().args[2], static_cast<uint64_t>(SQL_COLUMN_DISPLAY_SIZE));
    JC(freeBoundColBuffers, token, 10);
}

// Integer columns whose values may be wider than their type (SQLite's) are
// bound 64 bits wide and keep their type; the others at their own width.
TEST_F(ResultsColumns, WideIntegerColumnsAreBound64BitsWide) {
    const jint token = bind({{SQL_INTEGER, 10, RUVA70_TYPE_WIDE_INTEGER},
                             {SQL_SMALLINT, 5, RUVA70_TYPE_WIDE_INTEGER},
                             {SQL_TINYINT, 1, RUVA70_TYPE_WIDE_INTEGER},
                             {SQL_INTEGER, 10},
                             {SQL_SMALLINT, 5}});
    ASSERT_NE(token, 0);
    EXPECT_EQ(sqlTypes, (std::vector<int32_t>{SQL_INTEGER, SQL_SMALLINT, SQL_TINYINT, SQL_INTEGER, SQL_SMALLINT}));
    EXPECT_EQ(cTypes, (std::vector<int32_t>{SQL_C_SBIGINT, SQL_C_SBIGINT, SQL_C_SBIGINT, SQL_C_SLONG, SQL_C_SSHORT}));
    const std::vector<int32_t> buffers{8, 8, 8, 4, 2};
    auto binds = seam_.callsTo("SQLBindCol");
    ASSERT_EQ(binds.size(), buffers.size());
    for (jint c = 1; c <= 5; ++c) {
        const BoundColBuffer& r = rec(token, c);
        EXPECT_EQ(r.bufferLength, buffers[c - 1]) << "column " << c;
        EXPECT_EQ(static_cast<int64_t>(binds[c - 1].args[2]), r.cType) << "column " << c;
        EXPECT_EQ(static_cast<int64_t>(binds[c - 1].args[4]), buffers[c - 1]) << "column " << c;
        EXPECT_EQ(r.dataPtr, &r.inlineValue) << "column " << c;
    }
    JC(freeBoundColBuffers, token, 5);
}

TEST_F(ResultsColumns, UnbindableTypeRefusesBeforeBinding) {
    for (int refused : {SQL_BIT, 0, -11, 13}) {
        seam_.clear();
        jintArray s = qvt::newInts(2, 77);
        jbyteArray ec = errorCode();
        columns_ = {{SQL_INTEGER}, {static_cast<SQLSMALLINT>(refused)}};
        EXPECT_EQ(JC(allocAndBindAllCols, 0, 7, s, qvt::newInts(2), qvt::newInts(2), qvt::newInts(2), ec, 2), 0);
        EXPECT_EQ(at(ec, 1), -97) << refused;
        EXPECT_EQ(seam_.count("SQLBindCol"), 0u);
        EXPECT_EQ(qvt::read(s), (std::vector<int32_t>{77, 77})) << "a failed call leaves the Java arrays";
    }
}

TEST_F(ResultsColumns, BuffersHoldEveryValueOfTheDeclaredSize) {
    jbyteArray ec = errorCode();
    const jint token = bind({{SQL_VARCHAR, 3},
                             {SQL_WLONGVARCHAR, 100},
                             {SQL_NUMERIC, 5, 0, 7, 5, 5},
                             {SQL_NUMERIC, 100, 0, 102, 100, 100},
                             {SQL_NUMERIC, 80, 0, 82, 80, -20},
                             {SQL_DECIMAL, 10, 0, -5},
                             {SQL_VARCHAR, 0},
                             {SQL_LONGVARBINARY, 0},
                             {SQL_VARCHAR, SQLULEN{1} << 40},
                             {SQL_LONGVARBINARY, SQLULEN{1} << 40}},
                            ec);
    ASSERT_NE(token, 0) << at(ec, 1);
    // The lengths Java receives stay as the description gives them.
    EXPECT_EQ(lengths, (std::vector<int32_t>{6, 100, 5, 100, 80, 10, 0, 0, INT32_MAX, INT32_MAX}));
    const std::vector<int32_t> buffers{
        14,             // three characters of two UTF-16 units each, and the terminator
        402,            // SQL_WLONGVARCHAR counts characters too
        78,             // every decimal holds 77 characters at least
        104,            // numeric(100,100): -0. and 100 digits
        102,            // numeric(80,-20): the sign and 100 digits
        78,             // a negative length is no buffer size
        8194,           // no size reported: 8 KB of text
        8192,           // and 8 KB of bytes (psqlODBC's bytea)
        (1 << 20) + 2,  // no buffer above 1 MiB, whatever the declared size
        1 << 20,
    };
    for (jint c = 1; c <= static_cast<jint>(buffers.size()); ++c) {
        EXPECT_EQ(rec(token, c).bufferLength, buffers[c - 1]) << "column " << c;
        EXPECT_EQ(store(token, c).ownedCapacity, buffers[c - 1]) << "column " << c;
    }
    JC(freeBoundColBuffers, token, 10);
}

TEST_F(ResultsColumns, FailureAfterBindingUnbindsBeforeFreeing) {
    jbyteArray ec = errorCode();
    seam_.on<&qv::DriverTable::SQLColAttributes>(
        [](SQLHSTMT, SQLUSMALLINT, SQLUSMALLINT desc, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*, SQLLEN*) {
            return SQLRETURN(desc == SQL_COLUMN_LENGTH ? SQL_ERROR : SQL_SUCCESS);
        });
    EXPECT_EQ(bind({{SQL_VARCHAR}, {SQL_INTEGER}, {SQL_NUMERIC}}, ec), 0);
    EXPECT_EQ(at(ec, 0), -1);
    EXPECT_EQ(at(ec, 1), 0);
    EXPECT_EQ(seam_.count("SQLBindCol"), 2u);
    EXPECT_EQ(seam_.last("SQLFreeStmt").args[1], static_cast<uint64_t>(SQL_UNBIND));
}

TEST_F(ResultsColumns, DescribeFailuresAreRefusedAndResetTheOption) {
    seam_.on<&qv::DriverTable::SQLDescribeCol>([this](SQLHSTMT, SQLUSMALLINT, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*,
                                                      SQLSMALLINT* type, SQLULEN*, SQLSMALLINT*, SQLSMALLINT*) {
        *type = SQL_INTEGER;
        return SQLRETURN(driverTypes_ ? SQL_SUCCESS_WITH_INFO : SQL_ERROR);
    });
    jbyteArray ec = errorCode();
    EXPECT_EQ(bind({{SQL_INTEGER}}, ec), 0);
    EXPECT_EQ(at(ec, 1), -97) << "a warning in the driver-type pass";
    EXPECT_FALSE(driverTypes_) << "the statement is left reporting standard types";
    // Arrays shorter than numCols: nothing is written, the driver not called.
    seam_.clear();
    JC(getStmtTypeInfo, 0, 7, qvt::newInts(1), qvt::newInts(2), qvt::newInts(2), ec, 2);
    EXPECT_EQ(at(ec, 1), -97);
    EXPECT_EQ(seam_.calls().size(), 0u);
}

TEST_F(ResultsColumns, BindColReusesTheRecordsStorage) {
    jbyteArray ec = errorCode();
    const jint token = bind({{SQL_VARCHAR, 20}, {SQL_TIMESTAMP, 26, RUVA70_TYPE_TIMESTAMP}}, ec);
    BoundColBuffer& r = rec(token, 1);
    void* owned = r.ownedBuffer;
    EXPECT_EQ(JC(bindCol, 7, token, SQL_C_CHAR, 30, 1, ec), 82);
    EXPECT_EQ(r.bufferLength, 31);
    EXPECT_EQ(r.dataPtr, owned);
    EXPECT_EQ(JC(bindCol, 7, token, SQL_C_WCHAR, 30, 1, ec), 82);
    EXPECT_EQ(r.bufferLength, 32);
    EXPECT_EQ(JC(bindCol, 7, token, SQL_C_TIMESTAMP, 16, 2, ec), 16);
    EXPECT_EQ(rec(token, 2).dataPtr, &rec(token, 2).inlineValue);
    EXPECT_EQ(qvt::read(ec), (std::vector<int8_t>{0, 0}));
    // Refusals: -4, 159, no call, the record unchanged.
    const size_t binds = seam_.count("SQLBindCol");
    auto refused = [&](jint t, jint cType, jint length, jint column) {
        jbyteArray e = errorCode();
        EXPECT_EQ(JC(bindCol, 7, t, cType, length, column, e), -4);
        EXPECT_EQ(at(e, 1), -97);
        EXPECT_EQ(at(e, 0), 0x55);
    };
    refused(0, SQL_C_DATE, 6, 1);
    refused(token ^ 0x40000, SQL_C_DATE, 6, 1);
    refused(token, SQL_C_DATE, 6, 3);
    refused(token, SQL_C_DATE, 6, 0);
    refused(token, 99, 6, 1);
    refused(token, SQL_C_BINARY, 83, 1);  // the driver would write beyond the 82-byte buffer
    refused(token, SQL_C_CHAR, 10, 2);    // a column without a buffer of its own
    EXPECT_EQ(seam_.count("SQLBindCol"), binds);
    EXPECT_EQ(r.bufferLength, 32);
    JC(freeBoundColBuffers, token, 2);
}

TEST_F(ResultsColumns, RebindAndFreeUseTheStoredCount) {
    jbyteArray ec = errorCode();
    const jint token = bind({{SQL_INTEGER}, {SQL_VARCHAR}}, ec);
    seam_.clear();
    JC(justReBindAllCols, 7, token, 2, ec);
    EXPECT_EQ(qvt::read(ec), (std::vector<int8_t>{0, 0}));
    ASSERT_EQ(seam_.count("SQLBindCol"), 2u);
    EXPECT_EQ(seam_.last("SQLBindCol").args[3], reinterpret_cast<uintptr_t>(rec(token, 2).dataPtr));
    JC(justReBindAllCols, 7, token, 3, ec);
    EXPECT_EQ(at(ec, 1), -97) << "more columns than the array holds";
    EXPECT_EQ(seam_.count("SQLBindCol"), 2u);
    JC(freeBoundColBuffers, token, 1000);  // the stored count, not Java's
    for (jint forged : {token, 0, 12345}) {
        JC(justReBindAllCols, 7, forged, 2, ec);
        EXPECT_EQ(at(ec, 1), -97);
        JC(freeBoundColBuffers, forged, 2);  // a freed or forged token frees nothing
    }
}

// Java may keep a token after freeing its array; 100,000 arrays issued and
// released later (each could take the freed slot) the token is still refused
// with the missing-array code, never taken for a later array.
TEST_F(ResultsColumns, AFreedTokenStaysRefusedThroughManyReuses) {
    jbyteArray ec = errorCode();
    const jint stale = bind({{SQL_INTEGER}}, ec);
    JC(freeBoundColBuffers, stale, 1);
    int object = 0;
    for (int i = 0; i < 100000; ++i) {
        const jint t = qv::registry::issue(qv::registry::Kind::BoundColumns, &object);
        ASSERT_NE(t, stale) << "cycle " << i;
        ASSERT_EQ(qv::registry::release(qv::registry::Kind::BoundColumns, t), &object);
    }
    seam_.clear();
    JC(justReBindAllCols, 7, stale, 1, ec);
    EXPECT_EQ(at(ec, 1), -97);
    EXPECT_EQ(seam_.count("SQLBindCol"), 0u);
    EXPECT_EQ(JC(getInteger, stale, ec, 1), 0);
    EXPECT_EQ(at(ec, 1), -97);
}

TEST_F(ResultsColumns, AttributesTravelAtFullWidth) {
    seam_.on<&qv::DriverTable::SQLColAttributes>([](SQLHSTMT, SQLUSMALLINT, SQLUSMALLINT desc, SQLPOINTER text,
                                                    SQLSMALLINT size, SQLSMALLINT*, SQLLEN* numeric) {
        if (text) std::snprintf(static_cast<char*>(text), static_cast<size_t>(size), "a_rather_long_name");
        if (numeric) *numeric = desc == 2 ? (SQLLEN{1} << 40) : -3;
        return SQLRETURN(text ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
    });
    jbyteArray ec = errorCode();
    EXPECT_EQ(JC(colAttributes, 7, 65537, 2, ec), INT32_MAX) << "saturated, not wrapped";
    EXPECT_EQ(seam_.last("SQLColAttributes").args[1], 1u);
    EXPECT_EQ(JC(colAttributes, 7, 1, 3, ec), -3);
    EXPECT_EQ(qvt::read(ec), (std::vector<int8_t>{0, 0x55}));
    jbyteArray name = qvt::newBytes(10, 0x7F);
    EXPECT_EQ(JC(colAttributesString, 7, 1, 1, name), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(qvt::cstr(name), "a_rather_");
    EXPECT_EQ(seam_.last("SQLColAttributes").args[4], 10u);
    EXPECT_NE(seam_.last("SQLColAttributes").args[6], 0u) << "a numeric cell the driver may write";
}

}  // namespace
