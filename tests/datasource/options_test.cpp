// Options, driver information, the data store's state, native SQL and
// cursor names on SQLite and PostgreSQL.
#include "dsconn.h"
#include "jcall.h"
#include "qvjdbc/ruva70.h"

namespace {

using qvt::at;
using qvt::Connection;
using qvt::errorCode;
using qvt::Source;
using qvt::zstr;

class OptionsTest : public ::testing::TestWithParam<Source> {
protected:
    void SetUp() override { c_.open(GetParam()); }
    qvt::LocalFrame frame_;
    Connection c_;
};

TEST_P(OptionsTest, ConnectionOptionsReadBackWhatWasSet) {
    jbyteArray ec = errorCode();
    EXPECT_EQ(JC(getConnectOption, c_.hDbc, SQL_AUTOCOMMIT, ec), SQL_AUTOCOMMIT_ON);
    EXPECT_EQ(at(ec, 0), 0);
    JC(setConnectOption, c_.hDbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF, ec);
    EXPECT_EQ(at(ec, 0), 0);
    EXPECT_EQ(JC(getConnectOption, c_.hDbc, SQL_AUTOCOMMIT, ec), SQL_AUTOCOMMIT_OFF);
    JC(setConnectOption, c_.hDbc, 65536 + SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON, ec);
    EXPECT_EQ(at(ec, 0), 0);
    EXPECT_EQ(JC(getConnectOption, c_.hDbc, SQL_AUTOCOMMIT, ec), SQL_AUTOCOMMIT_ON) << "low 16 bits of the option";
}

TEST_P(OptionsTest, StatementOptionsOfTheDriverAndOfOdbc) {
    jbyteArray ec = errorCode();
    jint stmt = c_.newStatement();
    EXPECT_EQ(JC(getStmtOption, stmt, RUVA70_STMT_TYPE_FROM_VALUE, ec), 0);
    EXPECT_EQ(at(ec, 0), 0);
    JC(setStmtOption, stmt, RUVA70_STMT_TYPE_FROM_VALUE, 1, ec);
    EXPECT_EQ(at(ec, 0), 0);
    EXPECT_EQ(JC(getStmtOption, stmt, RUVA70_STMT_TYPE_FROM_VALUE, ec), 1);
    JC(setStmtOption, stmt, RUVA70_STMT_TYPE_FROM_VALUE, -1, ec);
    EXPECT_EQ(at(ec, 0), -1) << "a value other than 0 and 1 is refused";
    jbyteArray state = qvt::newBytes(6);
    jbyteArray msg = qvt::newBytes(256);
    jbyteArray rec = errorCode();
    JC(error, 0, 0, stmt, state, msg, rec);
    EXPECT_EQ(at(rec, 0), 0);
    EXPECT_EQ(qvt::cstr(state), "S1009");
    JC(setStmtOption, stmt, SQL_MAX_ROWS, 7, ec);
    EXPECT_EQ(at(ec, 0), 0);
    EXPECT_EQ(JC(getStmtOption, stmt, SQL_MAX_ROWS, ec), 7);
    JC(freeStmt, stmt, SQL_DROP);
}

TEST_P(OptionsTest, InformationAsNumbersAndText) {
    jbyteArray ec = errorCode();
    jbyteArray name = qvt::newBytes(64, 0x7F);
    JC(getInfoString, c_.hDbc, SQL_DBMS_NAME, name, ec);
    EXPECT_EQ(at(ec, 0), 0);
    const std::string dbms = qvt::cstr(name);
    EXPECT_EQ(dbms, c_.dialect().dbmsName);
    // A 16-bit value read through getInfo keeps zero in the high half.
    const jint maxColumnName = JC(getInfo, c_.hDbc, SQL_MAX_COLUMN_NAME_LEN, ec);
    EXPECT_EQ(at(ec, 0), 0);
    EXPECT_EQ(maxColumnName, JC(getInfoShort, c_.hDbc, SQL_MAX_COLUMN_NAME_LEN, ec));
    EXPECT_GE(maxColumnName, 0);
    EXPECT_LT(maxColumnName, 65536);
    const jint txnCapable = JC(getInfoShort, c_.hDbc, SQL_TXN_CAPABLE, ec);
    EXPECT_GT(txnCapable, 0);
    const jint getDataExtensions = JC(getInfo, c_.hDbc, SQL_GETDATA_EXTENSIONS, ec);
    EXPECT_EQ(at(ec, 0), 0);
    EXPECT_NE(getDataExtensions, 0);
    // A value longer than the array arrives cut and terminated within it
    // (psqlODBC says SQL_SUCCESS_WITH_INFO; the SQLite driver says
    // SQL_SUCCESS and leaves no terminator, which the library supplies).
    jbyteArray tiny = qvt::newBytes(4, 0x7F);
    JC(getInfoString, c_.hDbc, SQL_DBMS_NAME, tiny, ec);
    EXPECT_TRUE(at(ec, 0) == 0 || at(ec, 0) == 1);
    EXPECT_EQ(at(tiny, 3), 0);
    EXPECT_EQ(qvt::cstr(tiny), dbms.substr(0, 3));
}

TEST_P(OptionsTest, DataStoreState) {
    jbyteArray ec = errorCode();
    const jint state = JC(getDataStoreState, c_.hDbc, ec);
    EXPECT_EQ(at(ec, 0), 0);
    if (GetParam() == Source::Postgres) {
        EXPECT_EQ(state, RUVA70_STORE_READ_WRITE);
        c_.exec("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
        EXPECT_EQ(JC(getDataStoreState, c_.hDbc, ec), RUVA70_STORE_READ_ONLY);
    } else {
        EXPECT_EQ(state, RUVA70_STORE_UNKNOWN);
    }
}

// A connection that is not connected has no data store to tell about: a
// failure the Java side can report, never a state of 0 that reads as
// "unknown" with success.
TEST_P(OptionsTest, DataStoreStateOfAnUnconnectedHandleFails) {
    jbyteArray ec = errorCode();
    const jint dbc = JC(allocConnect, c_.hEnv, ec);
    ASSERT_EQ(at(ec, 0), 0);
    EXPECT_EQ(JC(getDataStoreState, dbc, ec), 0);
    EXPECT_EQ(at(ec, 0), -1);
    EXPECT_NE(qvt::diagnostics(0, dbc, 0).find("08003"), std::string::npos);
    JC(freeConnect, dbc, ec);
    // The same after a disconnect.
    c_.close();
    c_.open(GetParam());
    JC(disconnect, c_.hDbc, ec);
    ASSERT_EQ(at(ec, 0), 0);
    JC(getDataStoreState, c_.hDbc, ec);
    EXPECT_EQ(at(ec, 0), -1);
    EXPECT_NE(qvt::diagnostics(0, c_.hDbc, 0).find("08003"), std::string::npos);
    JC(driverConnect, c_.hDbc, qvt::zstr(c_.connStr), ec);
}

TEST_P(OptionsTest, NativeSqlTranslatesEscapes) {
    jbyteArray ec = errorCode();
    jbyteArray out = qvt::newBytes(128, 0x7F);
    JC(nativeSql, c_.hDbc, zstr("SELECT {fn UCASE('a')}"), out, ec);
    EXPECT_TRUE(at(ec, 0) == 0 || at(ec, 0) == 1);
    // psqlODBC does not rewrite this escape in SQLNativeSql (it translates
    // it when the statement runs); the SQLite engine gives the text it runs.
    // Either comes back whole and terminated.
    const bool sqlite = GetParam() == Source::Sqlite;
    EXPECT_EQ(qvt::cstr(out), sqlite ? "SELECT upper('a')" : "SELECT {fn UCASE('a')}");
    // A cut output; the text given stays whole (the SQLite driver writes
    // the output's terminator into it).
    jbyteArray cut = qvt::newBytes(8, 0x7F);
    jbyteArray text = zstr("SELECT {fn UCASE('a')}");
    JC(nativeSql, c_.hDbc, text, cut, ec);
    EXPECT_EQ(at(ec, 0), 1);
    EXPECT_EQ(at(cut, 7), 0);
    EXPECT_EQ(qvt::cstr(cut), sqlite ? "SELECT " : "SELECT ");
    EXPECT_EQ(qvt::cstr(text), "SELECT {fn UCASE('a')}");
    JC(nativeSql, c_.hDbc, zstr(""), out, ec);
    EXPECT_EQ(at(ec, 0), 0) << "the empty text passes with SQL_NTS";
    JC(nativeSql, c_.hDbc, qvt::bytes("SELECT 1"), out, ec);
    EXPECT_EQ(at(ec, 0), -1) << "unterminated text is refused";
    EXPECT_EQ(at(ec, 1), -97);
}

TEST_P(OptionsTest, CursorNamesWithTruncation) {
    jbyteArray ec = errorCode();
    jint stmt = c_.newStatement();
    JC(setCursorName, stmt, zstr("cursor_abcdefgh"), ec);
    std::string name = "cursor_abcdefgh";
    EXPECT_EQ(at(ec, 0), 0) << qvt::diagnostics(0, 0, stmt);
    jbyteArray full = qvt::newBytes(64);
    JC(getCursorName, stmt, full, ec);
    EXPECT_EQ(at(ec, 0), 0);
    EXPECT_EQ(qvt::cstr(full), name);
    // Cut to nine characters and a zero byte, with SQL_SUCCESS_WITH_INFO.
    jbyteArray small = qvt::newBytes(10, 0x7F);
    JC(getCursorName, stmt, small, ec);
    EXPECT_EQ(at(ec, 0), 1);
    EXPECT_EQ(qvt::cstr(small), name.substr(0, 9));
    EXPECT_EQ(at(small, 9), 0);
    JC(freeStmt, stmt, SQL_DROP);
}

INSTANTIATE_TEST_SUITE_P(DataSources, OptionsTest, qvt::AllSources, qvt::sourceName);

}  // namespace
