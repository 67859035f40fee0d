// The Java ID cache (initIDs), the library's two exceptions and the shared
// conversion of a Java String to 8-bit text.
#include "jni_spy.h"
#include "jvm.h"

#include "qvjdbc/codes.h"
#include "qvjdbc/idcache.h"
#include "qvjdbc/jni_exports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using qv::ids;

void initIds() {
    Java_com_quorvane_jdbc_JdbcOdbcClient_initIDs(qvt::env(), nullptr);
    ASSERT_EQ(qvt::takeException(), "");
}

// The entries that hold global references (classes and texts).
std::vector<jobject> referenceEntries() {
    return {ids.outOfMemoryError, ids.sqlException, ids.assignmentReason, ids.assignmentSqlState,
            ids.bigInteger,       ids.bigDecimal,   ids.timestamp};
}

// The driver's own classes, held by weak global references (so that the
// driver's class loader can be collected).
std::vector<jobject> weakEntries() {
    return {ids.retVal, ids.boundCol};
}

std::vector<const void*> idEntries() {
    return {ids.sqlExceptionInit, ids.bigIntegerInit, ids.bigDecimalInit, ids.timestampInit,  ids.timestampSetNanos,
            ids.retValObj,        ids.retValErr0,     ids.retValErr1,     ids.hasCachedValue, ids.cachedNull,
            ids.cachedInt,        ids.cachedShort,    ids.cachedLong,     ids.cachedReal,     ids.cachedDouble};
}

std::string toString(jobject o) {
    JNIEnv* env = qvt::env();
    jclass object = env->FindClass("java/lang/Object");
    auto s =
        static_cast<jstring>(env->CallObjectMethod(o, env->GetMethodID(object, "toString", "()Ljava/lang/String;")));
    if (env->ExceptionCheck() || !s) return "<toString threw>";
    const char* utf = env->GetStringUTFChars(s, nullptr);
    std::string r(utf);
    env->ReleaseStringUTFChars(s, utf);
    return r;
}

jfieldID fieldByName(const char* cls, const char* name, const char* sig) {
    return qvt::env()->GetFieldID(qvt::findClass(cls), name, sig);
}

TEST(IdCache, InitIdsFillsEveryEntryWithGlobalReferencesToTheNamedClasses) {
    qvt::LocalFrame frame;
    initIds();
    JNIEnv* env = qvt::env();
    for (jobject g : referenceEntries()) {
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(env->GetObjectRefType(g), JNIGlobalRefType);
    }
    for (jobject w : weakEntries()) {
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(env->GetObjectRefType(w), JNIWeakGlobalRefType);
    }
    for (const void* id : idEntries()) EXPECT_NE(id, nullptr);

    const std::pair<jobject, const char*> classes[] = {{ids.outOfMemoryError, "java/lang/OutOfMemoryError"},
                                                       {ids.sqlException, "java/sql/SQLException"},
                                                       {ids.bigInteger, "java/math/BigInteger"},
                                                       {ids.bigDecimal, "java/math/BigDecimal"},
                                                       {ids.timestamp, "java/sql/Timestamp"},
                                                       {ids.retVal, "com/quorvane/jdbc/RetVal"},
                                                       {ids.boundCol, "com/quorvane/jdbc/JdbcOdbcBoundCol"}};
    for (const auto& [entry, name] : classes) EXPECT_TRUE(env->IsSameObject(entry, qvt::findClass(name))) << name;
    EXPECT_EQ(qvt::read(ids.assignmentReason), u"Error in assignment");
    EXPECT_EQ(qvt::read(ids.assignmentSqlState), u"22005");
}

TEST(IdCache, CachedConstructorsAndMethodsBuildTheValuesTheyName) {
    qvt::LocalFrame frame;
    initIds();
    JNIEnv* env = qvt::env();
    // -12345 as signum and magnitude bytes, then with scale 3.
    jbyteArray magnitude = qvt::bytes(std::vector<int8_t>{0x30, 0x39});
    jobject unscaled = env->NewObject(ids.bigInteger, ids.bigIntegerInit, jint{-1}, magnitude);
    ASSERT_NE(unscaled, nullptr);
    EXPECT_EQ(toString(unscaled), "-12345");
    jobject decimal = env->NewObject(ids.bigDecimal, ids.bigDecimalInit, unscaled, jint{3});
    ASSERT_NE(decimal, nullptr);
    EXPECT_EQ(toString(decimal), "-12.345");

    jobject ts = env->NewObject(ids.timestamp, ids.timestampInit, jlong{1000});
    ASSERT_NE(ts, nullptr);
    env->CallVoidMethod(ts, ids.timestampSetNanos, jint{123456789});
    ASSERT_FALSE(env->ExceptionCheck());
    jclass tsClass = qvt::findClass("java/sql/Timestamp");
    EXPECT_EQ(env->CallIntMethod(ts, env->GetMethodID(tsClass, "getNanos", "()I")), 123456789);
    ASSERT_FALSE(env->ExceptionCheck());
    EXPECT_EQ(env->CallLongMethod(ts, env->GetMethodID(tsClass, "getTime", "()J")), 1123);
    EXPECT_NO_JAVA_EXCEPTION();
}

TEST(IdCache, CachedFieldIdsWriteTheFieldsOfTheirNames) {
    qvt::LocalFrame frame;
    initIds();
    JNIEnv* env = qvt::env();
    const char* rv = "com/quorvane/jdbc/RetVal";
    jobject retVal = qvt::newObject(rv);
    jstring text = qvt::jstrUtf8("x");
    env->SetObjectField(retVal, ids.retValObj, text);
    env->SetByteField(retVal, ids.retValErr0, jbyte{-1});
    env->SetByteField(retVal, ids.retValErr1, jbyte{-97});
    EXPECT_TRUE(env->IsSameObject(env->GetObjectField(retVal, fieldByName(rv, "obj", "Ljava/lang/Object;")), text));
    EXPECT_EQ(env->GetByteField(retVal, fieldByName(rv, "err0", "B")), -1);
    EXPECT_EQ(env->GetByteField(retVal, fieldByName(rv, "err1", "B")), -97);

    const char* bc = "com/quorvane/jdbc/JdbcOdbcBoundCol";
    jobject col = qvt::newObject(bc);
    env->SetBooleanField(col, ids.hasCachedValue, JNI_TRUE);
    env->SetBooleanField(col, ids.cachedNull, JNI_FALSE);
    env->SetIntField(col, ids.cachedInt, -123456789);
    env->SetShortField(col, ids.cachedShort, jshort{-12345});
    env->SetLongField(col, ids.cachedLong, INT64_MIN + 5);
    env->SetFloatField(col, ids.cachedReal, 1.5f);
    env->SetDoubleField(col, ids.cachedDouble, -2.25);
    EXPECT_EQ(env->GetBooleanField(col, fieldByName(bc, "hasCachedValue", "Z")), JNI_TRUE);
    EXPECT_EQ(env->GetBooleanField(col, fieldByName(bc, "cachedNull", "Z")), JNI_FALSE);
    EXPECT_EQ(env->GetIntField(col, fieldByName(bc, "cachedInt", "I")), -123456789);
    EXPECT_EQ(env->GetShortField(col, fieldByName(bc, "cachedShort", "S")), -12345);
    EXPECT_EQ(env->GetLongField(col, fieldByName(bc, "cachedLong", "J")), INT64_MIN + 5);
    EXPECT_EQ(env->GetFloatField(col, fieldByName(bc, "cachedReal", "F")), 1.5f);
    EXPECT_EQ(env->GetDoubleField(col, fieldByName(bc, "cachedDouble", "D")), -2.25);
    EXPECT_NO_JAVA_EXCEPTION();
}

// A reference the cache still holds must never be deleted.
void refuseDeletingACachedReference(jobject g) {
    for (jobject e : referenceEntries()) EXPECT_NE(e, g) << "deleted a global reference the cache still holds";
}

TEST(IdCache, RepeatedInitIdsReplacesEveryGlobalReferenceWithoutLeaking) {
    qvt::LocalFrame frame;
    initIds();
    std::vector<jobject> first = referenceEntries();
    std::vector<jobject> made, deleted;
    {
        qvt::JniSpy spy;
        spy.onDeleteGlobal(refuseDeletingACachedReference);
        Java_com_quorvane_jdbc_JdbcOdbcClient_initIDs(qvt::env(), nullptr);
        made = spy.globalsMade();
        deleted = spy.globalsDeleted();
    }
    EXPECT_NO_JAVA_EXCEPTION();
    std::vector<jobject> second = referenceEntries();
    auto sorted = [](std::vector<jobject> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    EXPECT_EQ(made.size(), first.size());
    EXPECT_EQ(sorted(made), sorted(second)) << "every reference made is held by the cache";
    EXPECT_EQ(sorted(deleted), sorted(first)) << "every reference of the first call was deleted, once";
    for (jobject w : weakEntries()) EXPECT_EQ(qvt::env()->GetObjectRefType(w), JNIWeakGlobalRefType);
}

TEST(LibraryExceptions, AssignmentErrorIsAnSqlExceptionWithState22005) {
    qvt::LocalFrame frame;
    initIds();
    JNIEnv* env = qvt::env();
    qv::throwAssignmentError(env);
    jthrowable t = env->ExceptionOccurred();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(qvt::pendingMessage(), "Error in assignment");
    EXPECT_EQ(qvt::takeException(), "java.sql.SQLException");
    jclass sqlException = qvt::findClass("java/sql/SQLException");
    auto state = static_cast<jstring>(
        env->CallObjectMethod(t, env->GetMethodID(sqlException, "getSQLState", "()Ljava/lang/String;")));
    ASSERT_FALSE(env->ExceptionCheck());
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(qvt::read(state), u"22005");
}

TEST(LibraryExceptions, OutOfMemoryErrorCarriesTheFixedMessage) {
    qvt::LocalFrame frame;
    initIds();
    qv::throwOutOfMemory(qvt::env());
    EXPECT_EQ(qvt::pendingMessage(), "Thrown from native code");
    EXPECT_EQ(qvt::takeException(), "java.lang.OutOfMemoryError");
}

TEST(LibraryExceptions, OutOfMemoryErrorIsRaisedEvenBeforeTheCacheIsFilled) {
    qvt::LocalFrame frame;
    initIds();
    jclass saved = ids.outOfMemoryError;
    ids.outOfMemoryError = nullptr;
    qv::throwOutOfMemory(qvt::env());
    ids.outOfMemoryError = saved;
    EXPECT_EQ(qvt::pendingMessage(), "Thrown from native code");
    EXPECT_EQ(qvt::takeException(), "java.lang.OutOfMemoryError");
}

// ---------------------------------------------------------------------------
// A JdbcOdbcBoundCol without cachedShort.
//
// The variant classes live in their own folder. A class loader of their own
// (VariantClasses, a helper of the Java tests) defines the variant
// JdbcOdbcBoundCol and a probe class whose static native initIDs is bound to
// the library's initIDs; FindClass inside a native method resolves names in
// the loader of the method's class, so initIDs then meets the variant.
// ---------------------------------------------------------------------------

TEST(IdCache, MissingFieldStopsInitIdsAndLeavesTheLaterEntriesNull) {
    qvt::LocalFrame frame;
    const char* variants = std::getenv("QVT_VARIANT_CLASSES");
    const char* classes = std::getenv("QVT_DRIVER_CLASSES");
    ASSERT_NE(variants, nullptr) << "QVT_VARIANT_CLASSES is set by CTest";
    ASSERT_NE(classes, nullptr) << "QVT_DRIVER_CLASSES is set by CTest";
    initIds();
    JNIEnv* env = qvt::env();

    jclass helper = qvt::findClass("com/quorvane/jdbc/tests/VariantClasses");
    ASSERT_NE(helper, nullptr);
    jmethodID load =
        env->GetStaticMethodID(helper, "load", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/Class;");
    ASSERT_NE(load, nullptr);
    std::string path = std::string(variants) + ":" + classes;
    auto probe = static_cast<jclass>(env->CallStaticObjectMethod(
        helper, load, qvt::jstrUtf8("com.quorvane.jdbc.variant.InitIdsProbe"), qvt::jstrUtf8(path.c_str())));
    ASSERT_EQ(qvt::takeException(), "");
    ASSERT_NE(probe, nullptr);
    JNINativeMethod bind{const_cast<char*>("initIDs"), const_cast<char*>("()V"),
                         reinterpret_cast<void*>(&Java_com_quorvane_jdbc_JdbcOdbcClient_initIDs)};
    ASSERT_EQ(env->RegisterNatives(probe, &bind, 1), JNI_OK);
    jmethodID call = env->GetStaticMethodID(probe, "initIDs", "()V");
    ASSERT_NE(call, nullptr);

    // A library just loaded: every entry null.
    const qv::IdCache saved = ids;
    ids = qv::IdCache{};
    env->CallStaticVoidMethod(probe, call);
    const std::string thrown = qvt::takeException();
    const qv::IdCache failed = ids;
    const bool metVariant =
        failed.boundCol && !env->IsSameObject(failed.boundCol, qvt::findClass("com/quorvane/jdbc/JdbcOdbcBoundCol"));
    // Drop what the failed call made and give the other tests their cache back.
    for (jobject g : referenceEntries())
        if (g) env->DeleteGlobalRef(g);
    for (jobject w : weakEntries())
        if (w) env->DeleteWeakGlobalRef(w);
    ids = saved;

    EXPECT_EQ(thrown, "java.lang.NoSuchFieldError");
    EXPECT_TRUE(metVariant) << "the probe must meet the variant class, not the system one";
    EXPECT_NE(failed.hasCachedValue, nullptr);
    EXPECT_NE(failed.cachedNull, nullptr);
    EXPECT_NE(failed.cachedInt, nullptr);
    EXPECT_EQ(failed.cachedShort, nullptr);
    EXPECT_EQ(failed.cachedLong, nullptr);
    EXPECT_EQ(failed.cachedReal, nullptr);
    EXPECT_EQ(failed.cachedDouble, nullptr);
}

// ---------------------------------------------------------------------------
// copyStringTo8Bit
// ---------------------------------------------------------------------------

struct Converted {
    int status;
    std::vector<uint8_t> dest;
};

// Converts into a destination of `size` bytes inside a larger buffer filled
// with 0xA5, so that every byte written, and any write past the size, shows.
Converted convert(std::u16string_view text, int size) {
    qvt::LocalFrame frame;
    std::vector<uint8_t> buf(static_cast<size_t>(size) + 8, 0xA5);
    Converted c;
    c.status = qv::copyStringTo8Bit(qvt::env(), reinterpret_cast<char*>(buf.data()), size, qvt::jstr(text));
    c.dest = buf;
    return c;
}

std::vector<uint8_t> filled(std::vector<uint8_t> head, size_t total) {
    head.resize(total, 0xA5);
    return head;
}

TEST(CopyStringTo8Bit, TextWithItsTerminatorFitsOrNothingIsWritten) {
    qvt::LocalFrame frame;
    Converted fits = convert(u"abc", 4);
    EXPECT_EQ(fits.status, 0);
    EXPECT_EQ(fits.dest, filled({0x61, 0x62, 0x63, 0x00}, 12));

    Converted tooSmall = convert(u"abc", 3);
    EXPECT_EQ(tooSmall.status, qv::kStatusUnusable);
    EXPECT_EQ(tooSmall.dest, filled({}, 11));

    Converted empty = convert(u"", 1);
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.dest, filled({0x00}, 9));

    Converted noRoom = convert(u"", 0);
    EXPECT_EQ(noRoom.status, qv::kStatusUnusable);
    EXPECT_EQ(noRoom.dest, filled({}, 8));

    Converted negative = convert(u"", -1);
    EXPECT_EQ(negative.status, qv::kStatusUnusable);
    EXPECT_NO_JAVA_EXCEPTION();
}

TEST(CopyStringTo8Bit, Latin1CharactersBecomeSingleBytes) {
    qvt::LocalFrame frame;
    Converted c = convert(u"\u00e9\u00ff\u0001", 4);
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.dest, filled({0xE9, 0xFF, 0x01, 0x00}, 12));
}

TEST(CopyStringTo8Bit, CharacterAbove255StopsWithTheBytesBeforeItAndNoTerminator) {
    qvt::LocalFrame frame;
    qvt::JniSpy spy;
    Converted c = convert(u"ab\u20acd", 10);
    EXPECT_EQ(c.status, qv::kStatusAbove255);
    EXPECT_EQ(c.dest, filled({0x61, 0x62}, 18));
    EXPECT_EQ(spy.stringPins(), 1);
    EXPECT_EQ(spy.stringReleases(), 1) << "the characters are released on the refusing path too";
}

TEST(CopyStringTo8Bit, TooLongTextIsRefusedWithoutPinningItsCharacters) {
    qvt::LocalFrame frame;
    qvt::JniSpy spy;
    EXPECT_EQ(convert(u"abcdef", 6).status, qv::kStatusUnusable);
    EXPECT_EQ(spy.stringPins(), 0);
}

TEST(CopyStringTo8Bit, CharactersNotHandedOutReportNoMemory) {
    qvt::LocalFrame frame;
    Converted c{};
    {
        qvt::JniSpy spy;
        spy.failStringChars();
        c = convert(u"abc", 4);
    }
    EXPECT_EQ(c.status, qv::kStatusNoMemory);
    EXPECT_EQ(c.dest, filled({}, 12));
    EXPECT_EQ(qvt::takeException(), "java.lang.OutOfMemoryError") << "the JVM's exception stays pending";
}

TEST(CopyStringTo8Bit, NullStringIsRefusedAsUnusable) {
    qvt::LocalFrame frame;
    char dest[4] = {1, 1, 1, 1};
    EXPECT_EQ(qv::copyStringTo8Bit(qvt::env(), dest, 4, nullptr), qv::kStatusUnusable);
    EXPECT_EQ(dest[0], 1);
}

}  // namespace
