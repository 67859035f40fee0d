// Fetch and the cached column values, with the row scripted at the seam.
#include "jni_spy.h"
#include "qvjdbc/idcache.h"
#include "results_fixture.h"

#include <string>

namespace {

using qvt::errorCode;

// Records the order of the field stores of the scope's JNI calls.
class FieldStores {
public:
    FieldStores() : env_(qvt::env()), saved_(env_->functions), table_(*saved_) {
        current_ = this;
        table_.SetBooleanField = [](JNIEnv* e, jobject o, jfieldID f, jboolean v) {
            current_->log_.push_back(f);
            current_->saved_->SetBooleanField(e, o, f, v);
        };
        table_.SetIntField = [](JNIEnv* e, jobject o, jfieldID f, jint v) {
            current_->log_.push_back(f);
            current_->saved_->SetIntField(e, o, f, v);
        };
        table_.SetLongField = [](JNIEnv* e, jobject o, jfieldID f, jlong v) {
            current_->log_.push_back(f);
            current_->saved_->SetLongField(e, o, f, v);
        };
        env_->functions = &table_;
    }
    ~FieldStores() { env_->functions = saved_; }
    const std::vector<jfieldID>& log() const { return log_; }

private:
    static inline FieldStores* current_ = nullptr;
    JNIEnv* env_;
    const JNINativeInterface_* saved_;
    JNINativeInterface_ table_;
    std::vector<jfieldID> log_;
};

class ResultsFetch : public qvt::ResultsSeam {
protected:
    jobjectArray objects(jint n) {
        jclass cls = qvt::findClass("com/quorvane/jdbc/JdbcOdbcBoundCol");
        jobjectArray a = qvt::env()->NewObjectArray(n, cls, nullptr);
        for (jint i = 0; i < n; ++i)
            qvt::env()->SetObjectArrayElement(a, i, qvt::newObject("com/quorvane/jdbc/JdbcOdbcBoundCol"));
        return a;
    }
    void fetchReturns(SQLRETURN rc) {
        seam_.on<&qv::DriverTable::SQLFetch>([rc](SQLHSTMT) { return rc; });
    }
    static jobject at(jobjectArray a, jint i) { return qvt::env()->GetObjectArrayElement(a, i); }
    static bool flag(jobject o, jfieldID f) { return qvt::env()->GetBooleanField(o, f); }
    static jint intOf(jobject o) { return qvt::env()->GetIntField(o, qv::ids.cachedInt); }
};

TEST_F(ResultsFetch, OnlyACleanRowIsCached) {
    const jint token = bind({{SQL_INTEGER}, {SQL_VARCHAR}});
    jobjectArray objs = objects(2);
    const int32_t five = 5;
    put(token, 1, &five, 4);
    rec(token, 2).lengthInd = SQL_NULL_DATA;
    for (SQLRETURN rc : {SQLRETURN(SQL_SUCCESS_WITH_INFO), SQLRETURN(SQL_NO_DATA_FOUND), SQLRETURN(SQL_ERROR)}) {
        fetchReturns(rc);
        EXPECT_EQ(JC(fetch, 7, token, objs, 2), rc);
        EXPECT_FALSE(flag(at(objs, 0), qv::ids.hasCachedValue)) << rc;
        EXPECT_FALSE(flag(at(objs, 1), qv::ids.cachedNull)) << rc;
    }
    fetchReturns(SQL_SUCCESS);
    EXPECT_EQ(JC(fetch, 7, token, objs, 0), 0) << "numCols 0 only fetches";
    EXPECT_FALSE(flag(at(objs, 0), qv::ids.hasCachedValue));
    EXPECT_EQ(JC(fetch, 7, 999, objs, 2), 0) << "a forged token only fetches";
    EXPECT_FALSE(flag(at(objs, 0), qv::ids.hasCachedValue));
    EXPECT_EQ(seam_.count("SQLFetch"), 5u);
    JC(freeBoundColBuffers, token, 2);
}

TEST_F(ResultsFetch, ValueAndNullMarkerLandBeforeTheFlag) {
    const jint token = bind({{SQL_INTEGER}, {SQL_VARCHAR}, {SQL_BIGINT}, {SQL_DATE}, {SQL_BINARY}});
    jobjectArray objs = objects(5);
    const int32_t five = 5;
    const int64_t big = INT64_MIN;
    rec(token, 1).lengthInd = SQL_NULL_DATA;
    rec(token, 2).lengthInd = SQL_NULL_DATA;
    put(token, 3, &big, 8);
    {
        FieldStores stores;
        EXPECT_EQ(JC(fetch, 7, token, objs, 5), 0);
        const std::vector<jfieldID> expected{qv::ids.cachedNull,     qv::ids.hasCachedValue, qv::ids.cachedNull,
                                             qv::ids.hasCachedValue, qv::ids.cachedLong,     qv::ids.hasCachedValue};
        EXPECT_EQ(stores.log(), expected) << "date and binary columns are never cached";
    }
    EXPECT_EQ(qvt::env()->GetLongField(at(objs, 2), qv::ids.cachedLong), INT64_MIN);
    EXPECT_TRUE(flag(at(objs, 1), qv::ids.cachedNull)) << "a NULL character column is cached";
    // The next row holds 5 where there was a NULL: cachedNull stays as Java left it.
    put(token, 1, &five, 4);
    EXPECT_EQ(JC(fetch, 7, token, objs, 5), 0);
    EXPECT_EQ(intOf(at(objs, 0)), 5);
    EXPECT_TRUE(flag(at(objs, 0), qv::ids.cachedNull));
    JC(freeBoundColBuffers, token, 5);
}

TEST_F(ResultsFetch, ShortObjectArrayRaisesTheIndexException) {
    const jint token = bind({{SQL_INTEGER}, {SQL_INTEGER}, {SQL_INTEGER}});
    const int32_t seven = 7;
    for (jint c = 1; c <= 3; ++c) put(token, c, &seven, 4);
    jobjectArray objs = objects(2);
    EXPECT_EQ(JC(fetch, 7, token, objs, 3), 0);
    EXPECT_EQ(qvt::takeSqlException(), "ArrayIndexOutOfBoundsException");
    EXPECT_EQ(intOf(at(objs, 1)), 7) << "columns before the failing one keep their new values";
    // More columns than the array holds: only the records there are.
    jobjectArray more = objects(5);
    EXPECT_EQ(JC(fetch, 7, token, more, 5), 0);
    EXPECT_NO_JAVA_EXCEPTION();
    EXPECT_FALSE(flag(at(more, 3), qv::ids.hasCachedValue));
    // A missing column object is passed over.
    jobjectArray holes = objects(3);
    qvt::env()->SetObjectArrayElement(holes, 1, nullptr);
    EXPECT_EQ(JC(fetch, 7, token, holes, 3), 0);
    EXPECT_NO_JAVA_EXCEPTION();
    EXPECT_EQ(intOf(at(holes, 2)), 7);
    JC(freeBoundColBuffers, token, 3);
}

// Counts the JNI calls a fetch makes that cost per row beyond the element
// reads and field stores (and the length and class queries it must not make).
class RowCalls {
public:
    RowCalls() : env_(qvt::env()), saved_(env_->functions), table_(*saved_) {
        current_ = this;
        table_.GetObjectArrayElement = [](JNIEnv* e, jobjectArray a, jsize i) {
            ++current_->elements;
            return current_->saved_->GetObjectArrayElement(e, a, i);
        };
        table_.ExceptionCheck = [](JNIEnv* e) {
            ++current_->exceptionChecks;
            return current_->saved_->ExceptionCheck(e);
        };
        table_.DeleteLocalRef = [](JNIEnv* e, jobject o) {
            ++current_->deletes;
            current_->saved_->DeleteLocalRef(e, o);
        };
        table_.GetArrayLength = [](JNIEnv* e, jarray a) {
            ++current_->other;
            return current_->saved_->GetArrayLength(e, a);
        };
        table_.IsInstanceOf = [](JNIEnv* e, jobject o, jclass c) {
            ++current_->other;
            return current_->saved_->IsInstanceOf(e, o, c);
        };
        env_->functions = &table_;
    }
    ~RowCalls() { env_->functions = saved_; }
    int elements = 0, exceptionChecks = 0, deletes = 0, other = 0;

private:
    static inline RowCalls* current_ = nullptr;
    JNIEnv* env_;
    const JNINativeInterface_* saved_;
    JNINativeInterface_ table_;
};

TEST_F(ResultsFetch, ARowCostsOneElementReadPerCachedColumnAndNothingElse) {
    const jint token = bind({{SQL_INTEGER}, {SQL_VARCHAR}, {SQL_BIGINT}, {SQL_DOUBLE}, {SQL_INTEGER}});
    jobjectArray objs = objects(5);
    const int32_t five = 5;
    const int64_t big = 1;
    const double half = 0.5;
    put(token, 1, &five, 4);
    put(token, 3, &big, 8);
    put(token, 4, &half, 8);
    rec(token, 5).lengthInd = SQL_NULL_DATA;
    {
        RowCalls calls;
        EXPECT_EQ(JC(fetch, 7, token, objs, 5), 0);
        EXPECT_EQ(calls.elements, 4) << "the text column's object is not read";
        EXPECT_EQ(calls.exceptionChecks, 0);
        EXPECT_EQ(calls.deletes, 0) << "a narrow row's references go with the call";
        EXPECT_EQ(calls.other, 0) << "no length or class query per row";
    }
    EXPECT_EQ(qvt::env()->GetDoubleField(at(objs, 3), qv::ids.cachedDouble), 0.5);
    EXPECT_TRUE(flag(at(objs, 4), qv::ids.cachedNull));
    JC(freeBoundColBuffers, token, 5);

    // A wide row gives each reference back, so it stays within the frame's
    // local references however many columns it has.
    std::vector<qvt::ScriptedColumn> wide(40, qvt::ScriptedColumn{SQL_INTEGER});
    const jint many = bind(wide);
    jobjectArray manyObjs = objects(40);
    for (jint c = 1; c <= 40; ++c) put(many, c, &c, 4);
    {
        RowCalls calls;
        EXPECT_EQ(JC(fetch, 7, many, manyObjs, 40), 0);
        EXPECT_EQ(calls.elements, 40);
        EXPECT_EQ(calls.deletes, 40);
    }
    EXPECT_EQ(intOf(at(manyObjs, 39)), 40);
    JC(freeBoundColBuffers, many, 40);
}

TEST_F(ResultsFetch, LaterRowsOfOneArrayReadEachObjectOnceAndANewArrayItsOwn) {
    qvt::JniSpy spy;
    const jint token = bind({{SQL_INTEGER}, {SQL_VARCHAR}, {SQL_BIGINT}});
    jobjectArray objs = objects(3);
    int32_t v = 1;
    int64_t big = 10;
    put(token, 1, &v, 4);
    put(token, 3, &big, 8);
    EXPECT_EQ(JC(fetch, 7, token, objs, 3), 0);
    {
        RowCalls calls;
        for (int32_t r = 2; r <= 4; ++r) {
            v = r;
            big = 10 * r;
            put(token, 1, &v, 4);
            put(token, 3, &big, 8);
            EXPECT_EQ(JC(fetch, 7, token, objs, 3), 0);
        }
        EXPECT_EQ(calls.elements, 2) << "each cached column's object is read once for the array";
    }
    EXPECT_EQ(intOf(at(objs, 0)), 4);
    EXPECT_EQ(qvt::env()->GetLongField(at(objs, 2), qv::ids.cachedLong), 40);
    // The text column turns null: its object is read then, once.
    rec(token, 2).lengthInd = SQL_NULL_DATA;
    {
        RowCalls calls;
        EXPECT_EQ(JC(fetch, 7, token, objs, 3), 0);
        EXPECT_EQ(JC(fetch, 7, token, objs, 3), 0);
        EXPECT_EQ(calls.elements, 1);
    }
    EXPECT_TRUE(flag(at(objs, 1), qv::ids.cachedNull));
    // A new array (a new result on columns kept bound) gets the values in its
    // own objects, row after row; the old array's objects are left alone.
    jobjectArray next = objects(3);
    v = 99;
    put(token, 1, &v, 4);
    EXPECT_EQ(JC(fetch, 7, token, next, 3), 0);
    EXPECT_EQ(intOf(at(next, 0)), 99);
    v = 100;
    put(token, 1, &v, 4);
    EXPECT_EQ(JC(fetch, 7, token, next, 3), 0);
    EXPECT_EQ(intOf(at(next, 0)), 100);
    EXPECT_EQ(intOf(at(objs, 0)), 4);
    // An array too short for the columns raises its index exception on every
    // row, kept objects or not.
    jobjectArray shortOne = objects(2);
    EXPECT_EQ(JC(fetch, 7, token, shortOne, 3), 0);
    EXPECT_EQ(qvt::takeSqlException(), "ArrayIndexOutOfBoundsException");
    EXPECT_EQ(JC(fetch, 7, token, shortOne, 3), 0);
    EXPECT_EQ(qvt::takeSqlException(), "ArrayIndexOutOfBoundsException");
    JC(freeBoundColBuffers, token, 3);
    EXPECT_FALSE(spy.globalsMade().empty());
    EXPECT_EQ(spy.globalsMade().size(), spy.globalsDeleted().size())
        << "every global reference is given back with the columns";
}

}  // namespace
