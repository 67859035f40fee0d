// Decimal and string results: the decimal grammar, exactness against
// java.math.BigDecimal, the accumulator's limit, and the string paths.
#include "qvjdbc/idcache.h"
#include "results_fixture.h"

#include <random>
#include <string>

namespace {

using qvt::errorCode;

class ResultsDecimal : public qvt::ResultsSeam {
protected:
    void SetUp() override {
        ResultsSeam::SetUp();
        token_ = bind({{SQL_DECIMAL, 10, 0, 199}, {SQL_VARCHAR, 1000}});
    }
    void TearDown() override { JC(freeBoundColBuffers, token_, 2); }

    // getBigDecimal of a text put into the decimal column, as unscaled
    // value and scale ("" with the assignment error taken).
    std::string decimal(const std::string& text) {
        put(token_, 1, text.data(), static_cast<SQLLEN>(text.size()));
        jobject d = JC(getBigDecimal, token_, 1);
        const std::string e = qvt::takeSqlException();
        if (!d) return e.empty() ? "null" : e == "SQLException" ? "refused" : e;
        return describe(d);
    }
    // Method calls of the test itself, each followed by the exception check
    // that -Xcheck:jni asks for.
    static jobject callObject(jobject o, const char* name, const char* sig, jint arg = 0) {
        JNIEnv* e = qvt::env();
        jobject r = e->CallObjectMethod(o, e->GetMethodID(e->GetObjectClass(o), name, sig), arg);
        EXPECT_FALSE(e->ExceptionCheck()) << name;
        return r;
    }
    static jint scaleOf(jobject d) {
        JNIEnv* e = qvt::env();
        jint r = e->CallIntMethod(d, e->GetMethodID(e->GetObjectClass(d), "scale", "()I"));
        EXPECT_FALSE(e->ExceptionCheck());
        return r;
    }
    static std::string describe(jobject d) {
        jobject unscaled = callObject(d, "unscaledValue", "()Ljava/math/BigInteger;");
        auto s = static_cast<jstring>(callObject(unscaled, "toString", "()Ljava/lang/String;"));
        return qvt::utf8Of(s) + "e-" + std::to_string(scaleOf(d));
    }
    // new BigDecimal(text) with trailing fraction zeros dropped, integer
    // zeros kept.
    static std::string reference(const std::string& text) {
        JNIEnv* e = qvt::env();
        jclass c = e->FindClass("java/math/BigDecimal");
        jobject d =
            e->NewObject(c, e->GetMethodID(c, "<init>", "(Ljava/lang/String;)V"), qvt::jstrUtf8(text.c_str()));
        EXPECT_FALSE(e->ExceptionCheck()) << text;
        d = callObject(d, "stripTrailingZeros", "()Ljava/math/BigDecimal;");
        if (scaleOf(d) < 0) d = callObject(d, "setScale", "(I)Ljava/math/BigDecimal;", 0);
        return describe(d);
    }
    std::u16string string(jint cType, const std::string& bytes) {
        put(token_, 2, bytes.data(), static_cast<SQLLEN>(bytes.size()));
        return stringOf(cType);
    }
    std::u16string stringOf(jint cType) {
        jobject rv = qvt::newObject("com/quorvane/jdbc/RetVal");
        qvt::env()->SetByteField(rv, qv::ids.retValErr0, 9);
        qvt::env()->SetByteField(rv, qv::ids.retValErr1, 9);
        JC(getString, token_, 2, rv, cType);
        EXPECT_EQ(qvt::env()->GetByteField(rv, qv::ids.retValErr0), 0);
        err1_ = qvt::env()->GetByteField(rv, qv::ids.retValErr1);
        auto s = static_cast<jstring>(qvt::env()->GetObjectField(rv, qv::ids.retValObj));
        return s ? qvt::read(s) : u"<null>";
    }
    jint token_ = 0;
    jbyte err1_ = 0;
};

TEST_F(ResultsDecimal, AcceptedAndRefusedTexts) {
    EXPECT_EQ(decimal("  -12.3400 "), "-1234e-2");
    EXPECT_EQ(decimal("+.5"), "5e-1");
    EXPECT_EQ(decimal("5."), "5e-0");
    EXPECT_EQ(decimal("0.000"), "0e-0");
    EXPECT_EQ(decimal(".0"), "0e-0") << "an empty magnitude";
    EXPECT_EQ(decimal("-0"), "0e-0");
    EXPECT_EQ(decimal("1200"), "1200e-0");
    EXPECT_EQ(decimal("\t\n1.2300\r\f\v"), "123e-2");
    for (const char* bad : {"1e5", "1.2.3", "1-2", "12 34", "-", ".", "", "   ", "+-1", "1+", "0x10", "1,5",
                            "\xA0"
                            "1"})
        EXPECT_EQ(decimal(bad), "refused") << '"' << bad << '"';
    const std::string forty = "1234567890123456789012345678901234567890";
    EXPECT_EQ(decimal(forty + ".5"), forty + "5e-1") << "exact, 17 magnitude bytes";
    EXPECT_EQ(decimal("-99999999999999999999999999999999999999"), "-99999999999999999999999999999999999999e-0");
    rec(token_, 1).lengthInd = SQL_NULL_DATA;
    EXPECT_EQ(JC(getBigDecimal, token_, 1), nullptr);
    EXPECT_NO_JAVA_EXCEPTION() << "a NULL is null without an exception";
}

TEST_F(ResultsDecimal, AccumulatorRefusesA32ndByte) {
    // 2^248 - 1 needs 31 bytes; 2^248 would need a 32nd.
    const std::string max31 = "452312848583266388373324160190187140051835877600158453279131187530910662655";
    const std::string two248 = "452312848583266388373324160190187140051835877600158453279131187530910662656";
    EXPECT_EQ(decimal(max31), max31 + "e-0");
    EXPECT_EQ(decimal(two248), "refused");
    EXPECT_EQ(decimal(std::string(150, '9')), "refused");
    EXPECT_EQ(decimal(std::string(150, '0') + "7"), "7e-0") << "leading zeros take no room";
}

TEST_F(ResultsDecimal, TruncatedOrUnknownLengthIsNotANumber) {
    put(token_, 1, "12345", 5);
    rec(token_, 1).lengthInd = 500;  // longer than the 200-byte buffer holds
    EXPECT_EQ(JC(getBigDecimal, token_, 1), nullptr);
    EXPECT_EQ(qvt::takeSqlException(), "SQLException");
    rec(token_, 1).lengthInd = SQL_NO_TOTAL;
    EXPECT_EQ(JC(getBigDecimal, token_, 1), nullptr);
    EXPECT_EQ(qvt::takeSqlException(), "SQLException");
}

TEST_F(ResultsDecimal, RandomTextsMatchJavaBigDecimal) {
    std::mt19937 rng(20240229);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int i = 0; i < 5000; ++i) {
        qvt::LocalFrame iteration(32);
        std::string digits;
        const int intDigits = pick(40), fracDigits = pick(30);
        for (int k = 0; k < intDigits; ++k) digits += static_cast<char>('0' + (pick(3) == 0 ? 0 : pick(10)));
        std::string text = digits;
        if (fracDigits > 0 || pick(4) == 0) {
            text += '.';
            for (int k = 0; k < fracDigits; ++k) text += static_cast<char>('0' + (pick(3) == 0 ? 0 : pick(10)));
        }
        if (text.find_first_of("0123456789") == std::string::npos) text += '0';
        const int sign = pick(3);
        const std::string signed_ = (sign == 0 ? "-" : sign == 1 ? "+" : "") + text;
        const std::string padded = std::string(static_cast<size_t>(pick(3)), ' ') + signed_ +
                                   std::string(static_cast<size_t>(pick(3)), '\t');
        ASSERT_EQ(decimal(padded), reference(signed_)) << '"' << padded << '"';
    }
}

TEST_F(ResultsDecimal, StringsFromWideAndEightBitText) {
    const std::u16string wide = u"h\u00e9\u20ac\U0001D11E!";
    EXPECT_EQ(string(SQL_C_WCHAR, std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2)), wide);
    EXPECT_EQ(string(SQL_C_WCHAR, std::string("a\0b\0c\0d", 7)), u"abc") << "an odd last byte is dropped";
    EXPECT_EQ(string(SQL_C_CHAR, "\xFC"), u"\u00fc") << "0xFC becomes U+00FC";
    for (size_t n : {127u, 128u, 3000u}) EXPECT_EQ(string(SQL_C_CHAR, std::string(n, '\xE9')).size(), n);
    EXPECT_EQ(string(SQL_C_CHAR, ""), u"");
    EXPECT_EQ(err1_, 9) << "err1 is not written on success";
    // A truncated value gives what the buffer holds; an unknown length too.
    const std::u16string full(2000, u'x');
    put(token_, 2, full.c_str(), 4002);
    rec(token_, 2).lengthInd = 10000;
    EXPECT_EQ(stringOf(SQL_C_WCHAR), std::u16string(2000, u'x')) << "without the terminator";
    EXPECT_EQ(err1_, -97) << "and says that the value did not fit";
    rec(token_, 2).lengthInd = SQL_NO_TOTAL;
    EXPECT_EQ(stringOf(SQL_C_WCHAR), std::u16string(2000, u'x'));
    rec(token_, 2).lengthInd = -7;
    EXPECT_EQ(stringOf(SQL_C_CHAR), u"") << "never a negative length";
    rec(token_, 2).lengthInd = SQL_NULL_DATA;
    EXPECT_EQ(stringOf(SQL_C_WCHAR), u"<null>");
    EXPECT_EQ(err1_, -1);
}

}  // namespace
