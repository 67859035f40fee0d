// A statement prepared and bound through the entry points (prepare,
// numParams, bindAllParams), for the parameter round trips.
#pragma once

#include "dsconn.h"
#include "jcall.h"

#include "qvjdbc/params.h"

namespace qvt::params {

struct Prepared {
    jint stmt = 0;
    jint token = 0;
    jint n = 0;
    jshortArray sqlTypes = nullptr;
    jshortArray driverTypes = nullptr;
    jintArray columnSizes = nullptr;
    jbyteArray ec = nullptr;

    // typeFromValue < 0 leaves the driver's option 3031 as it is.
    Prepared(Connection& c, const std::string& sql, int typeFromValue = -1) {
        stmt = c.newStatement();
        ec = errorCode(0, 0);
        if (typeFromValue >= 0) {
            JC(setStmtOption, stmt, RUVA70_STMT_TYPE_FROM_VALUE, typeFromValue, ec);
            EXPECT_EQ(at(ec, 0), 0) << diagnostics(0, 0, stmt);
        }
        JC(prepare, stmt, jstrUtf8(sql.c_str()), ec);
        EXPECT_EQ(at(ec, 0), 0) << sql << "\n" << diagnostics(0, 0, stmt);
        n = JC(numParams, stmt, ec);
        sqlTypes = newShorts(n);
        driverTypes = newShorts(n);
        columnSizes = newInts(n);
        token = JC(bindAllParams, stmt, sqlTypes, driverTypes, columnSizes, ec, n);
        EXPECT_NE(token, 0);
        EXPECT_EQ(at(ec, 1), 0) << sql;
        if (n > 0) {
            EXPECT_TRUE(at(ec, 0) == 0 || at(ec, 0) == 1) << sql << "\n" << diagnostics(0, 0, stmt);
        }
    }
    ~Prepared() {
        JC(freeStmt, stmt, SQL_DROP);
        JC(freeBoundParams, token, n);
    }
    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;

    qv::BoundParam& record(int p) { return *qv::params::find(token)->record(p); }

    // Executes and closes any cursor, failing the test on an error.
    void run() {
        const jshort rc = JC(execute, stmt);
        EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc << "\n" << diagnostics(0, 0, stmt);
        JC(freeStmt, stmt, SQL_CLOSE);
    }
    void setString(int p, std::u16string_view s) {
        jstring j = jstr(s);
        jbyteArray e = errorCode(0, 0);
        JC(setString, stmt, token, j, e, p);
        EXPECT_EQ(at(e, 0), 0) << diagnostics(0, 0, stmt);
        EXPECT_EQ(at(e, 1), 0);
        env()->DeleteLocalRef(j);
        env()->DeleteLocalRef(e);
    }
    void setBytes(int p, const std::vector<int8_t>& b) {
        jbyteArray j = bytes(b);
        jbyteArray e = errorCode(0, 0);
        JC(setBytes, stmt, token, j, e, p);
        EXPECT_EQ(at(e, 0), 0) << diagnostics(0, 0, stmt);
        EXPECT_EQ(at(e, 1), 0);
        env()->DeleteLocalRef(j);
        env()->DeleteLocalRef(e);
    }
    void setNull(int p) {
        jbyteArray e = errorCode(0, 0);
        JC(setNull, stmt, token, e, p);
        EXPECT_EQ(at(e, 1), 0);
        env()->DeleteLocalRef(e);
    }
    void setTimestamp(int p, int64_t micros) {
        jbyteArray e = errorCode(0, 0);
        JC(setTimestamp, stmt, token, micros, e, p);
        EXPECT_EQ(at(e, 0), 0) << diagnostics(0, 0, stmt);
        EXPECT_EQ(at(e, 1), 0);
        env()->DeleteLocalRef(e);
    }
};

}  // namespace qvt::params
