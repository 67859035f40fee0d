// The common frame of an entry point (qv::Frame) and the narrowing rules of
// values between Java and ODBC.
#include "jni_spy.h"

#include <cstring>
#include "jvm.h"

#include "qvjdbc/codes.h"
#include "qvjdbc/frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// An entry point shaped like most of the library's: errorCode first, then
// three arrays in argument order, one driver call whose result is stored, and
// early returns at the points a real method has them.
enum class Stop { AfterErrorCode, AfterFirst, AfterSecond, AfterCall };

struct Sample {
    bool called = false;  // the "driver call" was reached
};

void sampleEntry(JNIEnv* env, Sample& s, jbyteArray errorCode, jintArray a, jcharArray b, jlongArray c,
                 Stop stop = Stop::AfterCall, SQLRETURN rc = SQL_SUCCESS) {
    qv::Frame f(env);
    jbyte* ec = f.errorCode(errorCode);
    if (!ec) return;
    if (stop == Stop::AfterErrorCode) return;
    jint* pa = f.ints(a);
    if (!pa) {
        if (f.nullArgument()) f.refuseNull();
        return;
    }
    if (stop == Stop::AfterFirst) return;
    jchar* pb = f.chars(b);
    if (!pb) {
        if (f.nullArgument()) f.refuseNull();
        // A careless method that stores after a failed pin must not reach Java.
        f.store(SQL_ERROR);
        return;
    }
    if (stop == Stop::AfterSecond) return;
    jlong* pc = f.longs(c);
    if (!pc) {
        if (f.nullArgument()) f.refuseNull();
        return;
    }
    s.called = true;
    pa[0] = 11;
    pb[0] = u'Z';
    pc[0] = -7;
    f.store(rc);
    f.status(qv::kStatusOk);
}

struct Arrays {
    jbyteArray ec = qvt::errorCode();
    jintArray a = qvt::newInts(2, 1);
    jcharArray b = qvt::newChars(2, u'a');
    jlongArray c = qvt::env()->NewLongArray(2);
};

int64_t first(jlongArray a) {
    jlong v = 0;
    qvt::env()->GetLongArrayRegion(a, 0, 1, &v);
    return v;
}

TEST(Frame, PinsInArgumentOrderAndReleasesInTheSameOrderCopyingBack) {
    qvt::LocalFrame frame;
    Arrays x;
    Sample s;
    {
        qvt::JniSpy spy;
        sampleEntry(qvt::env(), s, x.ec, x.a, x.b, x.c, Stop::AfterCall, SQL_SUCCESS_WITH_INFO);
        ASSERT_EQ(spy.pins().size(), 4u);
        ASSERT_EQ(spy.releases().size(), 4u);
        const jarray order[] = {x.ec, x.a, x.b, x.c};
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(spy.pins()[i].array, order[i]) << "pin " << i;
            EXPECT_EQ(spy.releases()[i].array, order[i]) << "release " << i;
            EXPECT_EQ(spy.releases()[i].elems, spy.pins()[i].elems);
            EXPECT_EQ(spy.releases()[i].mode, 0);
        }
    }
    EXPECT_TRUE(s.called);
    EXPECT_EQ(qvt::read(x.ec), (std::vector<int8_t>{1, 0}));
    EXPECT_EQ(qvt::at(x.a, 0), 11);
    EXPECT_EQ(qvt::read(x.b)[0], u'Z');
    EXPECT_EQ(first(x.c), -7);
}

TEST(Frame, EveryEarlyReturnReleasesExactlyWhatWasPinned) {
    qvt::LocalFrame frame;
    for (Stop stop : {Stop::AfterErrorCode, Stop::AfterFirst, Stop::AfterSecond}) {
        Arrays x;
        Sample s;
        qvt::JniSpy spy;
        sampleEntry(qvt::env(), s, x.ec, x.a, x.b, x.c, stop);
        ASSERT_EQ(spy.releases().size(), spy.pins().size()) << "stop " << static_cast<int>(stop);
        for (size_t i = 0; i < spy.pins().size(); ++i) EXPECT_EQ(spy.releases()[i].elems, spy.pins()[i].elems);
        EXPECT_FALSE(s.called);
    }
}

TEST(Frame, FailedPinDiscardsEarlierPinsAndLeavesErrorCodeUnwritten) {
    qvt::LocalFrame frame;
    Arrays x;
    Sample s;
    {
        qvt::JniSpy spy;
        spy.failPin(2);  // errorCode, a, then b fails
        sampleEntry(qvt::env(), s, x.ec, x.a, x.b, x.c);
        ASSERT_EQ(spy.pins().size(), 3u) << "nothing is pinned after the failure";
        ASSERT_EQ(spy.releases().size(), 2u) << "the failed pin is not released";
        EXPECT_EQ(spy.releases()[0].array, x.ec);
        EXPECT_EQ(spy.releases()[1].array, x.a);
        for (const auto& r : spy.releases()) EXPECT_EQ(r.mode, JNI_ABORT);
    }
    EXPECT_EQ(qvt::takeException(), "java.lang.OutOfMemoryError") << "the JVM's exception stays pending";
    EXPECT_FALSE(s.called);
    EXPECT_EQ(qvt::read(x.ec), (std::vector<int8_t>{0x55, 0x55}));
}

TEST(Frame, FailedErrorCodePinReturnsAtOnce) {
    qvt::LocalFrame frame;
    Arrays x;
    Sample s;
    {
        qvt::JniSpy spy;
        spy.failPin(0);
        sampleEntry(qvt::env(), s, x.ec, x.a, x.b, x.c);
        EXPECT_EQ(spy.pins().size(), 1u);
        EXPECT_TRUE(spy.releases().empty());
    }
    EXPECT_EQ(qvt::takeException(), "java.lang.OutOfMemoryError");
    EXPECT_FALSE(s.called);
}

TEST(Frame, NullArrayIsRefusedAsSqlErrorWithTheUnusableCode) {
    qvt::LocalFrame frame;
    Arrays x;
    Sample s;
    {
        qvt::JniSpy spy;
        sampleEntry(qvt::env(), s, x.ec, x.a, nullptr, x.c);
        ASSERT_EQ(spy.releases().size(), 2u);
        EXPECT_EQ(spy.releases()[0].mode, 0) << "errorCode carries the refusal back";
        EXPECT_EQ(spy.releases()[1].mode, JNI_ABORT) << "the other arrays are left as they were";
    }
    EXPECT_NO_JAVA_EXCEPTION();
    EXPECT_FALSE(s.called);
    EXPECT_EQ(qvt::read(x.ec), (std::vector<int8_t>{-1, -97}));
}

TEST(Frame, NullErrorCodeIsNotPinnedAndNothingIsWritten) {
    qvt::LocalFrame frame;
    Arrays x;
    Sample s;
    qvt::JniSpy spy;
    sampleEntry(qvt::env(), s, nullptr, x.a, x.b, x.c);
    EXPECT_TRUE(spy.pins().empty());
    EXPECT_FALSE(s.called);
}

TEST(Frame, StoresTheLowByteOfEveryResultCode) {
    qvt::LocalFrame frame;
    const std::pair<SQLRETURN, int8_t> cases[] = {
        {SQL_SUCCESS, 0},         {SQL_SUCCESS_WITH_INFO, 1}, {SQL_STILL_EXECUTING, 2},
        {SQL_NEED_DATA, 99},      {SQL_NO_DATA, 100},         {SQL_ERROR, -1},
        {SQL_INVALID_HANDLE, -2},
    };
    for (const auto& [rc, byte] : cases) {
        Arrays x;
        Sample s;
        sampleEntry(qvt::env(), s, x.ec, x.a, x.b, x.c, Stop::AfterCall, rc);
        EXPECT_EQ(qvt::at(x.ec, 0), byte) << "SQLRETURN " << rc;
    }
    static_assert(qv::lowByte(SQL_ERROR) == -1 && static_cast<uint8_t>(qv::lowByte(SQL_ERROR)) == 0xFF);
}

TEST(Frame, ReadOnlyArrayReleasedWithAbortKeepsItsJavaContent) {
    qvt::LocalFrame frame;
    jbyteArray ec = qvt::errorCode();
    jbyteArray text = qvt::zstr("abc");
    {
        qvt::JniSpy spy;
        qv::Frame f(qvt::env());
        jbyte* e = f.errorCode(ec);
        jbyte* t = f.bytes(text);
        ASSERT_TRUE(e && t);
        f.mode(t, JNI_ABORT);
        t[0] = 'X';
        f.store(SQL_SUCCESS);
        f.releaseAll();
        ASSERT_EQ(spy.releases().size(), 2u);
        EXPECT_EQ(spy.releases()[1].mode, JNI_ABORT);
        f.store(SQL_ERROR);  // after the release: no effect, no use of freed memory
    }
    EXPECT_EQ(qvt::cstr(text), "abc");
    EXPECT_EQ(qvt::at(ec, 0), 0);
}

TEST(Frame, HoldsAsManyPinsAsAMethodNeeds) {
    qvt::LocalFrame frame;
    std::vector<jintArray> arrays;
    for (int i = 0; i < 40; ++i) arrays.push_back(qvt::newInts(1, 0));
    {
        qvt::JniSpy spy;
        qv::Frame f(qvt::env());
        for (int i = 0; i < 40; ++i) {
            jint* p = f.ints(arrays[static_cast<size_t>(i)]);
            ASSERT_NE(p, nullptr) << "pin " << i;
            *p = i + 1;
        }
        f.releaseAll();
        EXPECT_EQ(spy.releases().size(), 40u);
    }
    EXPECT_NO_JAVA_EXCEPTION();
    for (int i = 0; i < 40; ++i) EXPECT_EQ(qvt::at(arrays[static_cast<size_t>(i)], 0), i + 1);
}

TEST(Frame, UtfCharsReleasesItsTextAndRefusesANullString) {
    qvt::LocalFrame frame;
    {
        qv::UtfChars text(qvt::env(), qvt::jstrUtf8("select 1"));
        ASSERT_TRUE(text);
        EXPECT_STREQ(text.get(), "select 1");
    }
    qv::UtfChars none(qvt::env(), nullptr);
    EXPECT_FALSE(none);
    EXPECT_NO_JAVA_EXCEPTION();
}

TEST(Narrowing, ValuesKeepTheirMeaningAcrossTheWidthsOfJavaAndOdbc) {
    // 16-bit ODBC arguments: the low 16 bits.
    EXPECT_EQ(qv::uword(0x12345), 0x2345);
    EXPECT_EQ(qv::uword(-1), 0xFFFF);
    EXPECT_EQ(qv::sword(0xFFFF), -1);
    EXPECT_EQ(qv::sword(0x18000), -32768);
    // UDWORD values are zero-extended, signed lengths sign-extended.
    EXPECT_EQ(qv::udword(-1), 0xFFFFFFFFull);
    EXPECT_EQ(qv::udword(INT32_MIN), 0x80000000ull);
    EXPECT_EQ(qv::sdword(-1), SQLLEN{-1});
    EXPECT_EQ(qv::sdword(SQL_NTS), SQLLEN{SQL_NTS});
    // 16-bit buffer lengths saturate instead of wrapping negative.
    EXPECT_EQ(qv::bufferLength16(0), 0);
    EXPECT_EQ(qv::bufferLength16(32767), 32767);
    EXPECT_EQ(qv::bufferLength16(32768), 32767);
    EXPECT_EQ(qv::bufferLength16(65536 + 10), 32767);
    // Native counts saturate for Java.
    EXPECT_EQ(qv::saturateToJint(SQLLEN{1} << 40), INT32_MAX);
    EXPECT_EQ(qv::saturateToJint(-(SQLLEN{1} << 40)), INT32_MIN);
    EXPECT_EQ(qv::saturateToJint(-1), -1);
    // Packed batch result and unsigned status codes.
    EXPECT_EQ(static_cast<uint16_t>(qv::packBatch(qv::kStatusNoMemory, SQL_SUCCESS)), 0x9D00);
    EXPECT_EQ(static_cast<uint16_t>(qv::packBatch(qv::kStatusResultSet, SQL_ERROR)), 0xA3FF);
    EXPECT_EQ(qv::kUnsignedStatus(qv::kStatusUnusable), 159);
    // Handles pass through unchanged, also values with the top bit set.
    EXPECT_EQ(qv::handleToJava(qv::hstmt(0x7FFFFFFF)), 0x7FFFFFFF);
    EXPECT_EQ(qv::handleToJava(qv::hdbc(-5)), -5);
}

}  // namespace

TEST(SqlText, IsStandardUtf8WithTheJvmsZeroAndLoneSurrogates) {
    qvt::LocalFrame frame;
    qv::UtfChars text(qvt::env(), qvt::jstr(u"a\u00e9\u20ac\U0001F600"));
    ASSERT_TRUE(text);
    EXPECT_STREQ(text.get(), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80") << "a pair becomes one four-byte sequence";
    qv::UtfChars zero(qvt::env(), qvt::jstr(std::u16string(u"x\0y", 3)));
    EXPECT_STREQ(zero.get(), "x\xC0\x80y") << "U+0000 does not end the text early";
    qv::UtfChars lone(qvt::env(), qvt::jstr(u"\xD800z"));
    EXPECT_STREQ(lone.get(), "\xED\xA0\x80z");
    std::u16string longText(5000, u'\u20ac');
    qv::UtfChars big(qvt::env(), qvt::jstr(longText));
    ASSERT_TRUE(big);
    EXPECT_EQ(std::strlen(big.get()), 15000u) << "longer text goes to the heap";
    EXPECT_NO_JAVA_EXCEPTION();
}
