// Argument translations of the connection, option and execution entry
// points, seen at the driver through the seam.
#include "jcall.h"
#include "seam.h"

#include <cstring>

namespace {

using qvt::at;
using qvt::errorCode;
using qvt::zstr;
using Seam = qvt::seam::Scope;

class ExecutionSeam : public ::testing::Test {
protected:
    qvt::LocalFrame frame_;
    Seam seam_;
};

TEST_F(ExecutionSeam, SixteenBitArgumentsAreTheLowBits) {
    EXPECT_EQ(JC(freeStmt, 5, 65537), 0);
    EXPECT_EQ(seam_.last("SQLFreeStmt").args[1], 1u);
    jbyteArray ec = errorCode();
    JC(setConnectOption, 9, 65537, 3, ec);
    EXPECT_EQ(seam_.last("SQLSetConnectOption").args[1], 1u);
    EXPECT_EQ(JC(transact, 1, 2, 65537), 0);
    EXPECT_EQ(seam_.last("SQLTransact").args[2], 1u);
    JC(describeParam, 3, 65538, 1, ec);
    EXPECT_EQ(seam_.last("SQLDescribeParam").args[1], 2u);
}

TEST_F(ExecutionSeam, OptionValuesAreZeroExtended) {
    jbyteArray ec = errorCode();
    JC(setConnectOption, 9, 103, -1, ec);
    EXPECT_EQ(seam_.last("SQLSetConnectOption").args[2], 0xFFFFFFFFull);
    JC(setStmtOption, 9, 0, -2, ec);
    EXPECT_EQ(seam_.last("SQLSetStmtOption").args[2], 0xFFFFFFFEull);
}

TEST_F(ExecutionSeam, NumericInformationLandsInAZeroedWideCell) {
    seam_.on<&qv::DriverTable::SQLGetInfo>([](SQLHDBC, SQLUSMALLINT, SQLPOINTER v, SQLSMALLINT, SQLSMALLINT*) {
        *static_cast<SQLUSMALLINT*>(v) = 65535;
        return SQLRETURN(SQL_SUCCESS);
    });
    jbyteArray ec = errorCode();
    EXPECT_EQ(JC(getInfoShort, 1, 10, ec), 65535);
    EXPECT_EQ(seam_.last("SQLGetInfo").args[3], 2u);
    EXPECT_EQ(JC(getInfo, 1, 10, ec), 65535) << "a 16-bit answer leaves the high half zero";
    EXPECT_EQ(seam_.last("SQLGetInfo").args[3], 4u);
    // A driver that writes 8 bytes whatever the length says stays inside the cell.
    seam_.on<&qv::DriverTable::SQLGetInfo>([](SQLHDBC, SQLUSMALLINT, SQLPOINTER v, SQLSMALLINT, SQLSMALLINT*) {
        *static_cast<SQLULEN*>(v) = 0x1122334455667788ull;
        return SQLRETURN(SQL_SUCCESS);
    });
    EXPECT_EQ(static_cast<uint32_t>(JC(getInfo, 1, 10, ec)), 0x55667788u);
    EXPECT_EQ(JC(getDataStoreState, 1, ec), 0x55667788);
    EXPECT_EQ(seam_.last("SQLGetInfo").args[1], 3001u);
    seam_.on<&qv::DriverTable::SQLGetStmtOption>([](SQLHSTMT, SQLUSMALLINT, SQLPOINTER v) {
        *static_cast<SQLULEN*>(v) = 0xFFFFFFFF00000007ull;
        return SQLRETURN(SQL_SUCCESS);
    });
    EXPECT_EQ(JC(getStmtOption, 1, 3031, ec), 7);
}

TEST_F(ExecutionSeam, ResultBytesReachErrorCode) {
    seam_.on<&qv::DriverTable::SQLMoreResults>([](SQLHSTMT) { return SQLRETURN(SQL_NO_DATA_FOUND); });
    jbyteArray ec = errorCode();
    JC(moreResults, 1, ec);
    EXPECT_EQ(at(ec, 0), 100);
    EXPECT_EQ(at(ec, 1), 0x55) << "byte 1 untouched";
    seam_.on<&qv::DriverTable::SQLCancel>([](SQLHSTMT) { return SQLRETURN(SQL_INVALID_HANDLE); });
    EXPECT_EQ(JC(cancel, 4), -2);
    seam_.on<&qv::DriverTable::SQLAllocConnect>([](SQLHENV, SQLHDBC*) { return SQLRETURN(SQL_INVALID_HANDLE); });
    EXPECT_EQ(JC(allocConnect, 3, ec), 0) << "the local handle as the driver left it";
    EXPECT_EQ(at(ec, 0), -2);
}

TEST_F(ExecutionSeam, ConnectPassesNoWindowAndNoPrompt) {
    jbyteArray ec = errorCode();
    JC(driverConnect, 7, zstr("DSN=x"), ec);
    const auto& call = seam_.last("SQLDriverConnect");
    EXPECT_EQ(call.args[1], 0u) << "no window";
    EXPECT_EQ(static_cast<int64_t>(call.args[3]), SQL_NTS);
    EXPECT_EQ(call.args[5], 1024u);
    EXPECT_EQ(call.args[7], static_cast<uint64_t>(SQL_DRIVER_NOPROMPT));
    JC(driverConnect, 7, nullptr, ec);
    EXPECT_EQ(seam_.count("SQLDriverConnect"), 1u) << "a null connection string makes no call";
    EXPECT_EQ(at(ec, 1), -97);
}

TEST_F(ExecutionSeam, BrowseConnectNeedsDataThenConnects) {
    int step = 0;
    seam_.on<&qv::DriverTable::SQLBrowseConnect>(
        [&step](SQLHDBC, SQLCHAR*, SQLSMALLINT, SQLCHAR* out, SQLSMALLINT size, SQLSMALLINT*) {
            const char* text = step == 0 ? "UID:User=?;PWD:Password=?" : "";
            std::strncpy(reinterpret_cast<char*>(out), text, static_cast<size_t>(size));
            return SQLRETURN(step++ == 0 ? SQL_NEED_DATA : SQL_SUCCESS);
        });
    jbyteArray out = qvt::newBytes(64);
    EXPECT_EQ(JC(browseConnect, 7, zstr("DSN=x"), out), SQL_NEED_DATA);
    EXPECT_EQ(qvt::cstr(out), "UID:User=?;PWD:Password=?");
    EXPECT_EQ(JC(browseConnect, 7, zstr("UID=a;PWD=b"), out), SQL_SUCCESS);
    jbyteArray huge = qvt::newBytes(40000);
    JC(browseConnect, 7, zstr("DSN=x"), huge);
    EXPECT_EQ(seam_.last("SQLBrowseConnect").args[4], 32767u) << "a longer array offers 32,767 bytes";
    jbyteArray exact = qvt::newBytes(32767);
    JC(browseConnect, 7, zstr("DSN=x"), exact);
    EXPECT_EQ(seam_.last("SQLBrowseConnect").args[4], 32767u);
    EXPECT_EQ(JC(browseConnect, 7, nullptr, out), SQL_ERROR);
}

TEST_F(ExecutionSeam, ParamDataNamesParametersThenEnds) {
    static int32_t tokens[2] = {2, 5};
    static int next = 0;
    next = 0;
    seam_.on<&qv::DriverTable::SQLParamData>([](SQLHSTMT, SQLPOINTER* token) {
        if (next < 2) {
            *token = &tokens[next++];
            return SQLRETURN(SQL_NEED_DATA);
        }
        return SQLRETURN(SQL_SUCCESS_WITH_INFO);
    });
    jbyteArray ec = errorCode();
    EXPECT_EQ(JC(paramData, 1, ec), 2);
    EXPECT_EQ(at(ec, 0), 99);
    EXPECT_EQ(JC(paramData, 1, ec), 5);
    EXPECT_EQ(JC(paramData, 1, ec), -1);
    EXPECT_EQ(at(ec, 0), 1) << "the statement's final code";
}

TEST_F(ExecutionSeam, PutDataSendsBytesOrTwiceTheCharacters) {
    jbyteArray ec = errorCode();
    JC(putData__I_3CI_3B, 1, qvt::chars(u"abc"), 3, ec);
    EXPECT_EQ(seam_.last("SQLPutData").args[2], 6u);
    EXPECT_EQ(at(ec, 0), 0);
    JC(putData__I_3CI_3B, 1, qvt::chars(u"abc"), 0, ec);
    EXPECT_EQ(seam_.last("SQLPutData").args[2], 0u);
    JC(putData__I_3BI_3B, 1, qvt::bytes("hello"), 5, ec);
    EXPECT_EQ(seam_.last("SQLPutData").args[2], 5u);
    JC(putData__I_3BI_3B, 1, qvt::bytes("hello"), -1, ec);
    EXPECT_EQ(static_cast<int64_t>(seam_.last("SQLPutData").args[2]), -1) << "a null is sign-extended";
    const std::size_t calls = seam_.count("SQLPutData");
    JC(putData__I_3BI_3B, 1, qvt::bytes("hello"), 6, ec);
    EXPECT_EQ(at(ec, 1), -97) << "a length beyond the array is refused";
    JC(putData__I_3CI_3B, 1, qvt::chars(u"ab"), 3, ec);
    JC(putData__I_3BI_3B, 1, nullptr, 0, ec);
    EXPECT_EQ(seam_.count("SQLPutData"), calls);
}

TEST_F(ExecutionSeam, ErrorCutsTheMessageToTheArray) {
    seam_.on<&qv::DriverTable::SQLError>([](SQLHENV, SQLHDBC, SQLHSTMT, SQLCHAR* state, SQLINTEGER* native,
                                            SQLCHAR* msg, SQLSMALLINT size, SQLSMALLINT* len) {
        std::memcpy(state, "42S02", 6);
        *native = 1234;
        std::string text(150, 'm');
        std::strncpy(reinterpret_cast<char*>(msg), text.c_str(), static_cast<size_t>(size) - 1);
        msg[size - 1] = 0;
        *len = 150;
        return SQLRETURN(SQL_SUCCESS_WITH_INFO);
    });
    jbyteArray state = qvt::newBytes(6);
    jbyteArray msg = qvt::newBytes(100, 0x7F);
    jbyteArray ec = errorCode();
    EXPECT_EQ(JC(error, 0, 0, 1, state, msg, ec), 1234);
    EXPECT_EQ(at(ec, 0), 1);
    EXPECT_EQ(at(ec, 1), -95);
    EXPECT_EQ(qvt::cstr(msg).size(), 99u);
    EXPECT_EQ(qvt::cstr(state), "42S02");
    EXPECT_EQ(XAC(error, 0, 0, 1, state, msg, ec), 1234) << "the XA class behaves the same";
    EXPECT_EQ(at(ec, 1), -95);
    jbyteArray shortState = qvt::newBytes(3, 0x7F);
    JC(error, 0, 0, 1, shortState, msg, ec);
    EXPECT_EQ(qvt::read(shortState), (std::vector<int8_t>{'4', '2', 'S'})) << "a short array is not overrun";
}

}  // namespace
