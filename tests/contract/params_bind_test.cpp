// bindAllParams and freeBoundParams through the seam: the binding table,
// the option passes around the description, failures after the array
// exists, and the release of the array.
#include "params_seam.h"

namespace {

using qvt::at;
using qvt::params::BindArrays;
using qvt::params::CountingMemory;
using qvt::params::Described;
using qvt::params::record;
using qvt::params::ScriptedStatement;
using Seam = qvt::seam::Scope;

constexpr jint kStmt = 77;

class BindAllParams : public ::testing::Test {
protected:
    jint bind(std::vector<Described> d, SQLULEN typeFromValue = 0) {
        const jint n = static_cast<jint>(d.size());
        ScriptedStatement::install(seam_, std::move(d), typeFromValue);
        arrays_ = std::make_unique<BindArrays>(n);
        return qvt::params::bindAll(kStmt, *arrays_, n);
    }
    void TearDown() override {
        for (jint t : tokens_) JC(freeBoundParams, t, 0);
    }
    jint keep(jint token) {
        tokens_.push_back(token);
        return token;
    }
    qvt::LocalFrame frame_;
    Seam seam_;
    std::unique_ptr<BindArrays> arrays_;
    std::vector<jint> tokens_;
};

TEST_F(BindAllParams, NoParametersStillSwitchesTheOptionsAndMakesAnEmptyArray) {
    const jint token = keep(bind({}));
    EXPECT_NE(token, 0);
    ASSERT_NE(qv::params::find(token), nullptr);
    EXPECT_EQ(qv::params::find(token)->numParams, 0);
    auto opts = seam_.callsTo("SQLSetStmtOption");
    ASSERT_EQ(opts.size(), 2u);
    EXPECT_EQ(opts[0].args[1], 3057u);
    EXPECT_EQ(opts[0].args[2], 1u);
    EXPECT_EQ(opts[1].args[2], 0u);
    EXPECT_EQ(seam_.last("SQLGetStmtOption").args[1], 3031u);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 0u);
    EXPECT_EQ(at(arrays_->ec, 0), 0x55) << "byte 0 is not written";
    EXPECT_EQ(at(arrays_->ec, 1), 0);
}

// The table's rows as their edge cases give them: C type, buffer, in-place
// or owned storage, and the column size passed (and returned to Java).
TEST_F(BindAllParams, BindingTableChoosesCTypeBufferAndColumnSize) {
    const jint token = keep(bind({
        {SQL_DECIMAL, SQL_DECIMAL, 10, 2},
        {SQL_NUMERIC, RUVA70_TYPE_DECIMAL_UNSIZED, 28, 6},
        {SQL_VARCHAR, SQL_VARCHAR, 20},
        {SQL_DATE, SQL_DATE, 10},
        {SQL_TINYINT, SQL_TINYINT, 3},
        {SQL_TIMESTAMP, RUVA70_TYPE_TIMESTAMP, 26},
        {SQL_TIMESTAMP, RUVA70_TYPE_DATETIME, 23},
        {SQL_TIMESTAMP, RUVA70_TYPE_TIMESTAMP_TZ, 26},
        {SQL_VARBINARY, SQL_VARBINARY, 16},
        {SQL_BIGINT, SQL_BIGINT, 19},
        {SQL_REAL, SQL_REAL, 7},
        {SQL_FLOAT, SQL_FLOAT, 15},
        {SQL_WLONGVARCHAR, SQL_WLONGVARCHAR, 100},
    }));
    ASSERT_NE(token, 0);
    EXPECT_EQ(at(arrays_->ec, 0), 0);
    EXPECT_EQ(at(arrays_->ec, 1), 0);
    struct Row {
        int cType;
        int bufferLength;
        uint64_t columnSize;
        bool inPlace;
    };
    const Row rows[] = {
        {SQL_C_CHAR, 13, 12, false},     {SQL_C_CHAR, 66, 65, false},  {SQL_C_WCHAR, 22, 20, false},
        {SQL_C_CHAR, 11, 10, false},     {SQL_C_SLONG, 4, 3, true},    {SQL_C_TIMESTAMP, 16, 26, true},
        {SQL_C_TIMESTAMP, 16, 23, true}, {SQL_C_BINARY, 8, 26, false}, {SQL_C_BINARY, 16, 16, false},
        {SQL_C_SBIGINT, 8, 19, true},    {SQL_C_FLOAT, 4, 7, true},    {SQL_C_DOUBLE, 8, 15, true},
        {SQL_C_WCHAR, 102, 100, false},
    };
    auto binds = seam_.callsTo("SQLBindParameter");
    ASSERT_EQ(binds.size(), std::size(rows));
    const auto sizes = qvt::read(arrays_->columnSizes);
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE("parameter " + std::to_string(i + 1));
        qv::BoundParam& r = record(token, static_cast<int>(i + 1));
        const auto& c = binds[i];
        EXPECT_EQ(c.args[1], i + 1);
        EXPECT_EQ(c.args[2], static_cast<uint64_t>(SQL_PARAM_INPUT));
        EXPECT_EQ(static_cast<int16_t>(c.args[3]), rows[i].cType);
        EXPECT_EQ(r.cType, rows[i].cType);
        EXPECT_EQ(c.args[5], rows[i].columnSize);
        EXPECT_EQ(static_cast<uint64_t>(sizes[i]), rows[i].columnSize) << "columnSizes holds what was bound";
        EXPECT_EQ(static_cast<int64_t>(c.args[8]), rows[i].bufferLength);
        EXPECT_EQ(r.bufferLength, rows[i].bufferLength);
        EXPECT_EQ(qvt::params::boundIndicator(c), &r.lengthInd);
        if (rows[i].inPlace) {
            EXPECT_EQ(qvt::params::boundValue(c), static_cast<void*>(&r.inlineValue));
            EXPECT_EQ(r.ownedBuffer, nullptr);
        } else {
            EXPECT_NE(r.ownedBuffer, nullptr);
            EXPECT_EQ(qvt::params::boundValue(c), r.ownedBuffer);
        }
    }
    EXPECT_EQ(record(token, 1).scale, 2);
    EXPECT_EQ(static_cast<int16_t>(binds[0].args[6]), 2) << "the described scale";
    EXPECT_EQ(qvt::read(arrays_->driverTypes)[1], RUVA70_TYPE_DECIMAL_UNSIZED) << "driver types reach Java";
}

// A decimal bound as text holds every value of its precision and scale with
// sign, leading zero and point, so no such value needs a new binding.
TEST_F(BindAllParams, DecimalTextHoldsEveryValueOfItsPrecisionAndScale) {
    const jint token = keep(bind({
        {SQL_NUMERIC, SQL_NUMERIC, 5, 5},   // -0.50000: 8 characters
        {SQL_DECIMAL, SQL_DECIMAL, 2, -3},  // -99000: 6
        {SQL_NUMERIC, SQL_NUMERIC, 10, 0},  // size + 2 as before
    }));
    ASSERT_NE(token, 0);
    const auto sizes = qvt::read(arrays_->columnSizes);
    EXPECT_EQ(sizes, (std::vector<int32_t>{8, 6, 12}));
    EXPECT_EQ(record(token, 1).bufferLength, 9);
    EXPECT_EQ(record(token, 2).bufferLength, 7);
    EXPECT_EQ(record(token, 3).bufferLength, 13);
    const size_t binds = seam_.count("SQLBindParameter");
    jbyteArray ec = qvt::errorCode();
    JC(setString, kStmt, token, qvt::jstr(u"-0.50000"), ec, 1);
    JC(setString, kStmt, token, qvt::jstr(u"-99000"), ec, 2);
    EXPECT_EQ(seam_.count("SQLBindParameter"), binds) << "the values fit the buffers bound";
    EXPECT_EQ(std::string(static_cast<char*>(record(token, 1).ownedBuffer)), "-0.50000");
}

TEST_F(BindAllParams, RefusedBitParameterReturnsAnArrayThatFrees) {
    CountingMemory heap;
    const jint token = bind({{SQL_VARCHAR, SQL_VARCHAR, 10}, {SQL_BIT, SQL_BIT, 1}, {SQL_INTEGER, SQL_INTEGER, 10}});
    ASSERT_NE(token, 0);
    EXPECT_EQ(at(arrays_->ec, 1), -97);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 1u) << "binding stops at the refused parameter";
    EXPECT_NE(record(token, 1).ownedBuffer, nullptr);
    EXPECT_EQ(record(token, 3).ownedBuffer, nullptr);
    EXPECT_EQ(record(token, 3).cType, 0) << "not bound";
    EXPECT_EQ(qvt::read(arrays_->columnSizes), (std::vector<int32_t>{0, 0, 0})) << "released without copy-back";
    JC(freeBoundParams, token, 3);
    EXPECT_EQ(heap.live(), 0) << "the array and the first buffer are freed";
    EXPECT_EQ(qv::params::find(token), nullptr);
}

TEST_F(BindAllParams, FailuresBeforeTheArrayAllocateNothing) {
    CountingMemory heap;
    ScriptedStatement::install(seam_, {{SQL_INTEGER, SQL_INTEGER, 10}});
    seam_.on<&qv::DriverTable::SQLDescribeParam>([](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT*, SQLULEN*, SQLSMALLINT*,
                                                    SQLSMALLINT*) { return SQLRETURN(SQL_SUCCESS_WITH_INFO); });
    BindArrays a(1);
    EXPECT_EQ(qvt::params::bindAll(kStmt, a, 1), 0);
    EXPECT_EQ(at(a.ec, 0), 1) << "the driver-type pass ends on anything but SQL_SUCCESS";
    EXPECT_EQ(seam_.callsTo("SQLSetStmtOption").size(), 1u) << "option 3057 is left at 1";
    seam_.on<&qv::DriverTable::SQLDescribeParam>([](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT*, SQLULEN*, SQLSMALLINT*,
                                                    SQLSMALLINT*) { return SQLRETURN(SQL_SUCCESS); });
    seam_.on<&qv::DriverTable::SQLGetStmtOption>([](SQLHSTMT, SQLUSMALLINT, SQLPOINTER) { return SQLRETURN(-1); });
    EXPECT_EQ(qvt::params::bindAll(kStmt, a, 1), 0);
    EXPECT_EQ(at(a.ec, 0), -1);
    EXPECT_EQ(heap.allocations(), 0);

    // A count the arrays cannot hold, or a negative one, makes no driver call.
    seam_.clear();
    EXPECT_EQ(qvt::params::bindAll(kStmt, a, 2), 0);
    EXPECT_EQ(at(a.ec, 1), -97);
    EXPECT_EQ(qvt::params::bindAll(kStmt, a, -1), 0);
    EXPECT_EQ(at(a.ec, 1), -99);
    EXPECT_EQ(JC(bindAllParams, kStmt, nullptr, a.driverTypes, a.columnSizes, a.ec, 1), 0);
    EXPECT_EQ(at(a.ec, 1), -97);
    EXPECT_TRUE(seam_.calls().empty());
    heap.failAt(0);
    EXPECT_EQ(bind({{SQL_INTEGER, SQL_INTEGER, 10}}), 0);
    EXPECT_EQ(at(arrays_->ec, 1), -99) << "the array itself not obtained";
}

TEST_F(BindAllParams, FailuresAfterTheArrayStillReturnIt) {
    CountingMemory heap;
    ScriptedStatement::install(seam_, {{SQL_INTEGER, SQL_INTEGER, 10}, {SQL_VARCHAR, SQL_VARCHAR, 10}});
    static int describes = 0;
    describes = 0;
    seam_.on<&qv::DriverTable::SQLDescribeParam>(
        [](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT* t, SQLULEN* s, SQLSMALLINT*, SQLSMALLINT*) {
            *t = SQL_INTEGER;
            *s = 10;
            return SQLRETURN(++describes == 4 ? SQL_ERROR : SQL_SUCCESS);  // the describe pass's second call
        });
    BindArrays a(2);
    jint token = keep(qvt::params::bindAll(kStmt, a, 2));
    ASSERT_NE(token, 0);
    EXPECT_EQ(at(a.ec, 0), -1);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 0u);

    // An owned buffer not obtained: 157, and the array frees what it has.
    heap.failAt(2);  // array, first buffer, second buffer
    token = bind({{SQL_VARCHAR, SQL_VARCHAR, 10}, {SQL_VARCHAR, SQL_VARCHAR, 10}, {SQL_VARCHAR, SQL_VARCHAR, 10}});
    ASSERT_NE(token, 0);
    EXPECT_EQ(at(arrays_->ec, 1), -99);
    EXPECT_EQ(record(token, 2).ownedBuffer, nullptr);
    JC(freeBoundParams, token, 3);
    EXPECT_EQ(heap.live(), 1) << "only the first test's array is left";

    // A size that no int32 buffer length holds is refused, not wrapped.
    token = keep(bind({{SQL_DECIMAL, SQL_DECIMAL, 0x7FFFFFFF}}));
    EXPECT_EQ(at(arrays_->ec, 1), -99);
}

// A described size beyond any sensible first buffer (psqlODBC's unknown
// size of bytea and text) gets the buffer of an empty value; the setters
// grow it.
TEST_F(BindAllParams, UnknownSizesGetASmallFirstBuffer) {
    const jint token = keep(bind({{SQL_LONGVARBINARY, SQL_LONGVARBINARY, 0xFFFFFFFFull},
                                  {SQL_LONGVARCHAR, SQL_LONGVARCHAR, 0xFFFFFFFFull},
                                  {SQL_LONGVARCHAR, SQL_LONGVARCHAR, 65536}}));
    EXPECT_EQ(at(arrays_->ec, 1), 0);
    EXPECT_EQ(record(token, 1).bufferLength, 0);
    EXPECT_EQ(record(token, 2).bufferLength, 2);
    EXPECT_EQ(record(token, 3).bufferLength, 65538) << "ordinary sizes keep size + 2";
    EXPECT_EQ(seam_.callsTo("SQLBindParameter")[0].args[5], 0xFFFFFFFFull) << "the described size is passed";
}

TEST_F(BindAllParams, EveryFailedBindingIsReportedAndLeftUnbound) {
    ScriptedStatement::install(seam_, {{SQL_INTEGER, SQL_INTEGER, 10}, {SQL_INTEGER, SQL_INTEGER, 10}});
    seam_.on<&qv::DriverTable::SQLBindParameter>([](SQLHSTMT, SQLUSMALLINT p, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT,
                                                    SQLULEN, SQLSMALLINT, SQLPOINTER, SQLLEN,
                                                    SQLLEN*) { return SQLRETURN(p == 1 ? SQL_ERROR : SQL_SUCCESS); });
    BindArrays a(2);
    const jint token = keep(qvt::params::bindAll(kStmt, a, 2));
    EXPECT_EQ(at(a.ec, 0), -1) << "a later success does not hide the failure";
    EXPECT_EQ(record(token, 1).cType, 0) << "its first setter binds it";
    EXPECT_EQ(record(token, 2).cType, SQL_C_SLONG);
    EXPECT_EQ(record(token, 1).typeFromValue, 0);
}

TEST_F(BindAllParams, TypeFromValueIsReadFromTheWholeCellAndKeptInEveryRecord) {
    const jint token = keep(bind({{SQL_INTEGER, SQL_INTEGER, 10}, {SQL_REAL, SQL_REAL, 7}}, 1));
    EXPECT_EQ(record(token, 1).typeFromValue, 1);
    EXPECT_EQ(record(token, 2).typeFromValue, 1);
}

TEST_F(BindAllParams, FreeUnbindsUsesTheStoredCountAndIgnoresStaleTokens) {
    CountingMemory heap;
    const jint token = bind({{SQL_VARCHAR, SQL_VARCHAR, 10}, {SQL_VARBINARY, SQL_VARBINARY, 10}});
    ASSERT_EQ(heap.allocations(), 3);
    seam_.clear();
    JC(freeBoundParams, token, 1);  // a count smaller than the array's
    EXPECT_EQ(heap.live(), 0);
    ASSERT_EQ(seam_.count("SQLFreeStmt"), 1u);
    EXPECT_EQ(seam_.last("SQLFreeStmt").args[0], static_cast<uint64_t>(kStmt));
    EXPECT_EQ(seam_.last("SQLFreeStmt").args[1], static_cast<uint64_t>(SQL_RESET_PARAMS))
        << "the driver lets go of the records before they are freed";
    JC(freeBoundParams, token, 2);
    JC(freeBoundParams, 0, 2);
    JC(freeBoundParams, 0x12345, 2);
    JC(freeBoundParams, token + 1, 2);
    EXPECT_EQ(seam_.count("SQLFreeStmt"), 1u) << "a freed, forged or null token does nothing";
    EXPECT_EQ(heap.releases(), 3);
}

}  // namespace
