// The contract fixture of result retrieval: a seam that describes scripted
// result columns, and bound-column arrays made through allocAndBindAllCols
// whose records a test can fill and inspect through the registry.
#pragma once

#include "jcall.h"
#include "qvjdbc/results.h"
#include "seam.h"

#include <cstring>
#include <string>
#include <vector>

namespace qvt {

using qv::BoundColBuffer;

struct ScriptedColumn {
    SQLSMALLINT sqlType;
    SQLULEN size = 10;
    SQLSMALLINT driverType = 0;  // 0: the same as sqlType
    SQLLEN columnLength = 12;    // SQL_COLUMN_LENGTH (numeric, decimal)
    SQLLEN precision = 0;        // SQL_COLUMN_PRECISION
    SQLLEN scale = 0;            // SQL_COLUMN_SCALE
};

// A Java string as UTF-8.
inline std::string utf8Of(jstring s) {
    const char* c = env()->GetStringUTFChars(s, nullptr);
    std::string r(c);
    env()->ReleaseStringUTFChars(s, c);
    return r;
}

// The pending exception, cleared: "" for none, else "SQLException" or
// "ArrayIndexOutOfBoundsException" when it is one, "other" when not.
inline std::string takeSqlException() {
    JNIEnv* e = env();
    jthrowable t = e->ExceptionOccurred();
    if (!t) return "";
    e->ExceptionClear();
    std::string kind = "other";
    for (const char* name : {"java/sql/SQLException", "java/lang/ArrayIndexOutOfBoundsException"}) {
        jclass c = e->FindClass(name);
        if (e->IsInstanceOf(t, c)) kind = std::strrchr(name, '/') + 1;
        e->DeleteLocalRef(c);
    }
    e->DeleteLocalRef(t);
    return kind;
}

class ResultsSeam : public ::testing::Test {
protected:
    void SetUp() override {
        JC(initIDs);
        ASSERT_EQ(takeException(), "");
        seam_.on<&qv::DriverTable::SQLSetStmtOption>([this](SQLHSTMT, SQLUSMALLINT option, SQLULEN value) {
            if (option == 3057) driverTypes_ = value == 1;
            return SQLRETURN(SQL_SUCCESS);
        });
        seam_.on<&qv::DriverTable::SQLDescribeCol>([this](SQLHSTMT, SQLUSMALLINT c, SQLCHAR*, SQLSMALLINT,
                                                          SQLSMALLINT*, SQLSMALLINT* type, SQLULEN* size,
                                                          SQLSMALLINT*, SQLSMALLINT*) {
            const ScriptedColumn& col = columns_.at(c - 1);
            *type = driverTypes_ && col.driverType ? col.driverType : col.sqlType;
            *size = col.size;
            return SQLRETURN(SQL_SUCCESS);
        });
        seam_.on<&qv::DriverTable::SQLColAttributes>([this](SQLHSTMT, SQLUSMALLINT c, SQLUSMALLINT desc, SQLPOINTER,
                                                            SQLSMALLINT, SQLSMALLINT*, SQLLEN* numeric) {
            if (desc == SQL_COLUMN_LENGTH) *numeric = columns_.at(c - 1).columnLength;
            if (desc == SQL_COLUMN_PRECISION) *numeric = columns_.at(c - 1).precision;
            if (desc == SQL_COLUMN_SCALE) *numeric = columns_.at(c - 1).scale;
            return SQLRETURN(SQL_SUCCESS);
        });
    }

    // Binds the scripted columns; the arrays Java would keep land in the
    // members below.
    jint bind(std::vector<ScriptedColumn> columns, jbyteArray ec = nullptr) {
        columns_ = std::move(columns);
        const jint n = static_cast<jint>(columns_.size());
        jintArray s = newInts(n), d = newInts(n), l = newInts(n), t = newInts(n);
        if (!ec) ec = errorCode();
        const jint token = JC(allocAndBindAllCols, 0, 7, s, d, l, t, ec, n);
        sqlTypes = read(s), driverTypes = read(d), lengths = read(l), cTypes = read(t);
        return token;
    }

    static BoundColBuffer& rec(jint token, jint column) { return *qv::results::boundColumn(token, column).rec; }
    static qv::results::ColumnStore& store(jint token, jint column) {
        return *qv::results::boundColumn(token, column).store;
    }
    // Puts a value into a record as a fetch would.
    static void put(jint token, jint column, const void* bytes, SQLLEN n) {
        BoundColBuffer& r = rec(token, column);
        std::memcpy(r.dataPtr, bytes, static_cast<size_t>(n));
        r.lengthInd = n;
    }

    LocalFrame frame_{512};
    seam::Scope seam_;
    std::vector<ScriptedColumn> columns_;
    bool driverTypes_ = false;
    std::vector<int32_t> sqlTypes, driverTypes, lengths, cTypes;
};

}  // namespace qvt
