// Batch warnings, delivered to the Java statement through setWarning.
#include "jcall.h"
#include "qvjdbc/batch.h"
#include "seam.h"

#include <cstring>

namespace {

using qvt::seam::Scope;

struct Warning {
    std::string message;
    std::string state;
    int code;
};

std::string javaString(jstring s) {
    if (!s) return "<null>";
    const char* utf = qvt::env()->GetStringUTFChars(s, nullptr);
    std::string r(utf);
    qvt::env()->ReleaseStringUTFChars(s, utf);
    return r;
}

std::vector<Warning> warningsOf(jobject statement) {
    JNIEnv* e = qvt::env();
    std::vector<Warning> out;
    // The chain setWarning built, read from the statement's field (the object has no connection).
    jfieldID chain =
        e->GetFieldID(e->FindClass("com/quorvane/jdbc/JdbcOdbcStatement"), "warnings", "Ljava/sql/SQLWarning;");
    jclass warningClass = e->FindClass("java/sql/SQLWarning");
    jclass exceptionClass = e->FindClass("java/sql/SQLException");
    jmethodID next = e->GetMethodID(warningClass, "getNextWarning", "()Ljava/sql/SQLWarning;");
    jmethodID message = e->GetMethodID(exceptionClass, "getMessage", "()Ljava/lang/String;");
    jmethodID state = e->GetMethodID(exceptionClass, "getSQLState", "()Ljava/lang/String;");
    jmethodID code = e->GetMethodID(exceptionClass, "getErrorCode", "()I");
    auto call = [e](jobject o, jmethodID m) {
        jobject r = e->CallObjectMethod(o, m);
        EXPECT_FALSE(e->ExceptionCheck());
        return r;
    };
    for (jobject w = e->GetObjectField(statement, chain); w; w = call(w, next)) {
        jstring text = static_cast<jstring>(call(w, message));
        jstring sqlState = static_cast<jstring>(call(w, state));
        const jint vendor = e->CallIntMethod(w, code);
        EXPECT_FALSE(e->ExceptionCheck());
        out.push_back({javaString(text), javaString(sqlState), vendor});
    }
    return out;
}

// A driver whose fifth command returns SQL_SUCCESS_WITH_INFO with two records.
class BatchWarnings : public ::testing::Test {
protected:
    void SetUp() override {
        records_ = 0;
        seam_.on<&qv::DriverTable::SQLExecDirect>([](SQLHSTMT, SQLCHAR* sql, SQLINTEGER) {
            if (std::strcmp(reinterpret_cast<char*>(sql), "warn") == 0) {
                records_ = 2;
                return SQLRETURN(SQL_SUCCESS_WITH_INFO);
            }
            return SQLRETURN(SQL_SUCCESS);
        });
        seam_.on<&qv::DriverTable::SQLError>([](SQLHENV, SQLHDBC, SQLHSTMT, SQLCHAR* state, SQLINTEGER* native,
                                                SQLCHAR* msg, SQLSMALLINT size, SQLSMALLINT* len) {
            if (records_ == 0) return SQLRETURN(SQL_NO_DATA_FOUND);
            const int n = records_--;
            std::memcpy(state, n == 2 ? "01004" : "01S02", 6);
            *native = 100 + n;
            std::snprintf(reinterpret_cast<char*>(msg), static_cast<size_t>(size), "record %d", 3 - n);
            *len = 8;
            return SQLRETURN(SQL_SUCCESS);
        });
        seam_.on<&qv::DriverTable::SQLRowCount>([](SQLHSTMT, SQLLEN* n) {
            *n = 1;
            return SQLRETURN(SQL_SUCCESS);
        });
    }
    jobjectArray texts(const std::vector<const char*>& sql) {
        jobjectArray a =
            qvt::env()->NewObjectArray(static_cast<jsize>(sql.size()), qvt::findClass("java/lang/String"), nullptr);
        for (size_t i = 0; i < sql.size(); ++i)
            qvt::env()->SetObjectArrayElement(a, static_cast<jsize>(i), qvt::jstrUtf8(sql[i]));
        return a;
    }
    static inline int records_ = 0;
    qvt::LocalFrame frame_;
    Scope seam_;
};

TEST_F(BatchWarnings, PlainStatementGetsOneWarningPerRecordWithThePosition) {
    jobject st = qvt::allocObject("com/quorvane/jdbc/JdbcOdbcStatement");
    jshort rc = JC(execStatementBatch, 1, st, texts({"a", "b", "c", "d", "warn"}), qvt::newInts(5));
    EXPECT_EQ(rc, 1) << "the last command's code";
    auto w = warningsOf(st);
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0].message, "Batch command 4 warning: record 1");
    EXPECT_EQ(w[0].state, "01004");
    EXPECT_EQ(w[0].code, 102);
    EXPECT_EQ(w[1].message, "Batch command 4 warning: record 2");
    EXPECT_EQ(w[1].state, "01S02");
    EXPECT_NO_JAVA_EXCEPTION();
}

TEST_F(BatchWarnings, PreparedStatementGetsTheShortText) {
    jobject st = qvt::allocObject("com/quorvane/jdbc/JdbcOdbcPreparedStatement");
    JC(execStatementBatch, 1, st, texts({"warn", "b"}), qvt::newInts(2));
    auto w = warningsOf(st);
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0].message, "Batch command warning: record 1");
    EXPECT_NO_JAVA_EXCEPTION();
}

TEST_F(BatchWarnings, AStatementWithoutSetWarningIsSkippedSafely) {
    jobject notAStatement = qvt::jstrUtf8("no setWarning here");
    EXPECT_EQ(JC(execStatementBatch, 1, notAStatement, texts({"warn", "b"}), qvt::newInts(2)), 0);
    EXPECT_NO_JAVA_EXCEPTION();
}

TEST(DriverText, Utf8AndEightBitTextBecomeTheSameCharacters) {
    qvt::LocalFrame frame;
    EXPECT_EQ(qvt::read(qv::newStringFromDriverText(qvt::env(), "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80")),
              u"café € 😀");
    EXPECT_EQ(qvt::read(qv::newStringFromDriverText(qvt::env(), "caf\xE9")), u"café") << "not UTF-8: ISO 8859-1";
    EXPECT_EQ(qvt::read(qv::newStringFromDriverText(qvt::env(), "\xED\xA0\x80")), u"\u00ED\u00A0\u0080")
        << "an encoded surrogate is not UTF-8";
}

}  // namespace
