// Output arrays a careless or hostile caller hands in: errorCode arrays of
// zero and one element, output arrays the driver writes without a length or
// beyond it, empty text outputs, and options whose values are pointers.
// Under -Xcheck:jni every Java array is a guarded copy, so a write past one
// ends the test process.
#include "results_fixture.h"

#include "qvjdbc/idcache.h"

#include <cstring>

namespace {

using qvt::errorCode;
using qvt::read;
using Seam = qvt::seam::Scope;

jbyteArray oneByte() {
    return qvt::newBytes(1, 0x55);
}
jbyteArray noBytes() {
    return qvt::newBytes(0);
}

class HostileOutputs : public ::testing::Test {
protected:
    void SetUp() override {
        JC(initIDs);
        ASSERT_EQ(qvt::takeException(), "");
    }
    qvt::LocalFrame frame_;
    Seam seam_;
};

TEST_F(HostileOutputs, EmptyErrorCodeIsRefusedLikeANullOneAndNothingRuns) {
    jbyteArray empty = noBytes();
    EXPECT_EQ(JC(allocEnv, empty), 0);
    JC(setCursorName, 3, nullptr, empty);
    JC(setConnectOption, 3, SQL_AUTOCOMMIT, 1, empty);
    EXPECT_EQ(JC(getInteger, 0, empty, 1), 0);
    EXPECT_EQ(seam_.calls().size(), 0u);
    EXPECT_EQ(qvt::takeException(), "");
}

TEST_F(HostileOutputs, OneElementErrorCodeReceivesElementZeroOnly) {
    // A refusal whose code goes into element 1.
    jbyteArray ec = oneByte();
    JC(setCursorName, 3, nullptr, ec);
    EXPECT_EQ(read(ec), std::vector<int8_t>{-1});
    // A status of element 1 alone leaves element 0 as it was.
    ec = oneByte();
    EXPECT_EQ(JC(getInteger, 0, ec, 1), 0);
    EXPECT_EQ(read(ec), std::vector<int8_t>{0x55});
    // A driver result reaches element 0.
    ec = oneByte();
    seam_.on<&qv::DriverTable::SQLDisconnect>([](SQLHDBC) { return SQLRETURN(SQL_SUCCESS_WITH_INFO); });
    JC(disconnect, 3, ec);
    EXPECT_EQ(read(ec), std::vector<int8_t>{1});
    // The statement batch's helpers and the getters alike.
    ec = oneByte();
    jintArray values = qvt::newInts(3, 7);
    JC(getDate, 0, ec, 1, values);
    EXPECT_EQ(read(ec), std::vector<int8_t>{0x55});
    EXPECT_EQ(read(values), std::vector<int32_t>(3, 7));
}

TEST_F(HostileOutputs, TextValuedOptionThroughTheNumericGetterLandsInARoomyCell) {
    // Option 109 (the current catalog) is text: the driver writes it without
    // a length, whatever the caller meant to read.
    seam_.on<&qv::DriverTable::SQLGetConnectOption>([](SQLHDBC, SQLUSMALLINT, SQLPOINTER value) {
        std::memset(value, 'c', 1023);
        static_cast<char*>(value)[1023] = 0;
        return SQLRETURN(SQL_SUCCESS);
    });
    jbyteArray ec = errorCode();
    EXPECT_EQ(JC(getConnectOption, 3, 109, ec), 0x63636363);
    EXPECT_EQ(read(ec)[0], 0);
}

TEST_F(HostileOutputs, NumericSettersRefusePointerAndStringValuedOptions) {
    for (jint option : {105, 106, 109, 1207}) {
        jbyteArray ec = errorCode();
        JC(setConnectOption, 3, option, 0x1234, ec);
        EXPECT_EQ(read(ec), (std::vector<int8_t>{-1, -97})) << option;
    }
    for (jint option : {16, 17, 19, 20, 21, 23, 24, 25, 26, 10010, 10013}) {
        jbyteArray ec = errorCode();
        JC(setStmtOption, 4, option, 0x1234, ec);
        EXPECT_EQ(read(ec), (std::vector<int8_t>{-1, -97})) << option;
    }
    EXPECT_EQ(seam_.count("SQLSetConnectOption") + seam_.count("SQLSetStmtOption"), 0u);
    // Numeric options still reach the driver, also in their 16-bit form.
    jbyteArray ec = errorCode();
    JC(setStmtOption, 4, SQL_QUERY_TIMEOUT, 5, ec);
    JC(setConnectOption, 3, 0x10000 + SQL_AUTOCOMMIT, 0, ec);
    EXPECT_EQ(seam_.count("SQLSetStmtOption"), 1u);
    EXPECT_EQ(seam_.count("SQLSetConnectOption"), 1u);
}

TEST_F(HostileOutputs, NumericInformationValueIsCutToTheArray) {
    // The driver writes a 32-bit value (and a 64-bit handle) whatever the
    // length says.
    seam_.on<&qv::DriverTable::SQLGetInfo>(
        [](SQLHDBC, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT, SQLSMALLINT* length) {
            const uint64_t v = type == SQL_DRIVER_HENV ? 0x0102030405060708ull : 0x11223344u;
            std::memcpy(value, &v, 8);
            *length = type == SQL_DRIVER_HENV ? 8 : 4;
            return SQLRETURN(SQL_SUCCESS);
        });
    for (jint type : {SQL_DRIVER_HENV, SQL_MAX_COLUMNS_IN_TABLE}) {
        jbyteArray one = oneByte();
        jbyteArray ec = errorCode();
        JC(getInfoString, 3, type, one, ec);
        EXPECT_EQ(read(one).size(), 1u);
        EXPECT_EQ(read(ec)[0], 0);
    }
    jbyteArray three = qvt::newBytes(3, 0x55);
    JC(getInfoString, 3, SQL_MAX_COLUMNS_IN_TABLE, three, errorCode());
    // The value's first bytes, the last one turned into the terminator the
    // Java side looks for.
    EXPECT_EQ(read(three), (std::vector<int8_t>{0x44, 0x33, 0}));
}

// A driver manager that writes into the text buffer whatever length it was
// given, as unixODBC's SQLError does around an empty buffer.
SQLRETURN writeAnyway(SQLCHAR* out) {
    if (out) std::memcpy(out, "HELLO", 6);
    return SQL_SUCCESS;
}

TEST_F(HostileOutputs, EmptyTextOutputsAreNeverTheDriversTarget) {
    seam_.on<&qv::DriverTable::SQLError>(
        [](SQLHENV, SQLHDBC, SQLHSTMT, SQLCHAR* state, SQLINTEGER*, SQLCHAR* msg, SQLSMALLINT, SQLSMALLINT* length) {
            std::memcpy(state, "HY000", 6);
            *length = 5;
            return writeAnyway(msg);
        });
    seam_.on<&qv::DriverTable::SQLGetCursorName>(
        [](SQLHSTMT, SQLCHAR* out, SQLSMALLINT, SQLSMALLINT*) { return writeAnyway(out); });
    seam_.on<&qv::DriverTable::SQLNativeSql>(
        [](SQLHDBC, SQLCHAR*, SQLINTEGER, SQLCHAR* out, SQLINTEGER, SQLINTEGER*) { return writeAnyway(out); });
    seam_.on<&qv::DriverTable::SQLGetInfo>([](SQLHDBC, SQLUSMALLINT, SQLPOINTER out, SQLSMALLINT, SQLSMALLINT*) {
        return writeAnyway(static_cast<SQLCHAR*>(out));
    });
    seam_.on<&qv::DriverTable::SQLBrowseConnect>(
        [](SQLHDBC, SQLCHAR*, SQLSMALLINT, SQLCHAR* out, SQLSMALLINT, SQLSMALLINT*) { return writeAnyway(out); });
    seam_.on<&qv::DriverTable::SQLColAttributes>([](SQLHSTMT, SQLUSMALLINT, SQLUSMALLINT, SQLPOINTER out, SQLSMALLINT,
                                                    SQLSMALLINT*,
                                                    SQLLEN*) { return writeAnyway(static_cast<SQLCHAR*>(out)); });
    jbyteArray ec = errorCode();
    jbyteArray state = qvt::newBytes(6);
    JC(error, 1, 0, 0, state, noBytes(), ec);
    EXPECT_EQ(qvt::cstr(state), "HY000");
    EXPECT_EQ(read(ec), (std::vector<int8_t>{0, -95}));
    JC(getCursorName, 4, noBytes(), errorCode());
    JC(nativeSql, 3, qvt::zstr("select 1"), noBytes(), errorCode());
    JC(getInfoString, 3, SQL_DBMS_NAME, noBytes(), errorCode());
    EXPECT_EQ(JC(browseConnect, 3, qvt::zstr("DSN=x"), noBytes()), SQL_SUCCESS);
    EXPECT_EQ(JC(colAttributesString, 4, 1, SQL_COLUMN_NAME, noBytes()), SQL_SUCCESS);
    EXPECT_EQ(seam_.calls().size(), 6u);
    EXPECT_EQ(qvt::takeException(), "");
}

TEST_F(HostileOutputs, FailedTextCallsLeaveTheArrayAsItWas) {
    auto failed = [](SQLCHAR*) { return SQLRETURN(SQL_ERROR); };
    seam_.on<&qv::DriverTable::SQLGetCursorName>(
        [=](SQLHSTMT, SQLCHAR* out, SQLSMALLINT, SQLSMALLINT*) { return failed(out); });
    seam_.on<&qv::DriverTable::SQLGetInfo>(
        [=](SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*) { return SQLRETURN(SQL_ERROR); });
    seam_.on<&qv::DriverTable::SQLNativeSql>(
        [=](SQLHDBC, SQLCHAR*, SQLINTEGER, SQLCHAR* out, SQLINTEGER, SQLINTEGER*) { return failed(out); });
    seam_.on<&qv::DriverTable::SQLError>([](SQLHENV, SQLHDBC, SQLHSTMT, SQLCHAR*, SQLINTEGER*, SQLCHAR*, SQLSMALLINT,
                                            SQLSMALLINT*) { return SQLRETURN(SQL_NO_DATA_FOUND); });
    const std::vector<int8_t> untouched(4, 'x');
    jbyteArray out = qvt::bytes(untouched);
    JC(getCursorName, 4, out, errorCode());
    EXPECT_EQ(read(out), untouched);
    JC(getInfoString, 3, SQL_DBMS_NAME, out, errorCode());
    EXPECT_EQ(read(out), untouched);
    JC(nativeSql, 3, qvt::zstr("select 1"), out, errorCode());
    EXPECT_EQ(read(out), untouched);
    JC(error, 1, 0, 0, qvt::newBytes(6), out, errorCode());
    EXPECT_EQ(read(out), untouched);
}

class HostileResults : public qvt::ResultsSeam {};

TEST_F(HostileResults, DateTimeGettersWithoutErrorCodeLeaveTheValues) {
    const jint token = bind({{SQL_TIMESTAMP, 26, SQL_TIMESTAMP}, {SQL_DATE}, {SQL_TIME}});
    ASSERT_NE(token, 0);
    for (jint c : {1, 2, 3}) rec(token, c).lengthInd = 16;
    jintArray values = qvt::newInts(7, 7);
    JC(getTimestamp, token, nullptr, 1, values);
    JC(getDate, token, nullptr, 2, values);
    JC(getTime, token, nullptr, 3, values);
    EXPECT_EQ(read(values), std::vector<int32_t>(7, 7));
    JC(freeBoundColBuffers, token, 3);
}

TEST_F(HostileResults, FixedSizeReadsCopyOnlyTheirTypesSize) {
    const jint token = bind({{SQL_INTEGER}, {SQL_DOUBLE}});
    ASSERT_NE(token, 0);
    seam_.on<&qv::DriverTable::SQLGetData>(
        [](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT type, SQLPOINTER target, SQLLEN, SQLLEN* ind) {
            const int32_t i = 0x01020304;
            const double d = 2.5;
            if (type == SQL_C_SLONG) std::memcpy(target, &i, sizeof i);
            if (type == SQL_C_DOUBLE) std::memcpy(target, &d, sizeof d);
            *ind = type == SQL_C_SLONG ? 4 : 8;
            return SQLRETURN(SQL_SUCCESS);
        });
    jbyteArray buffer = qvt::newBytes(12, 0x55);
    EXPECT_EQ(JC(getDataBinary, 7, token, 1, SQL_C_SLONG, buffer, 12, errorCode()), 4);
    std::vector<int8_t> expected(12, 0x55);
    expected[0] = 4, expected[1] = 3, expected[2] = 2, expected[3] = 1;
    EXPECT_EQ(read(buffer), expected);
    buffer = qvt::newBytes(12, 0x55);
    EXPECT_EQ(JC(getDataStream, 7, token, 2, SQL_C_DOUBLE, buffer, 12, 0, errorCode()), 8);
    EXPECT_EQ(read(buffer)[8], 0x55);
    EXPECT_EQ(read(buffer)[11], 0x55);
    JC(freeBoundColBuffers, token, 2);
}

}  // namespace
