// A spy on the JNI function table of the test thread's JNIEnv.
//
// While a JniSpy lives, the env's function table is a copy of the JVM's in
// which the array pin and release functions and the global-reference
// functions record what they are asked and then call the JVM's own. The env
// pointer itself stays the JVM's, so -Xcheck:jni sees every call as usual.
// A spy can also make one pin fail the way the JVM does when it cannot copy
// an array: OutOfMemoryError pending and a null result.
//
//   qvt::JniSpy spy;
//   spy.failPin(2);               // the third pin of the scope fails
//   ... call an entry point with qvt::env() ...
//   EXPECT_EQ(spy.releases().size(), 2u);
#pragma once

#include <jni.h>

#include <cstddef>
#include <vector>

namespace qvt {

class JniSpy {
public:
    struct Pin {
        jarray array;
        void* elems;  // null for a pin that failed
    };
    struct Release {
        jarray array;
        void* elems;
        jint mode;
    };

    JniSpy();
    ~JniSpy();
    JniSpy(const JniSpy&) = delete;
    JniSpy& operator=(const JniSpy&) = delete;

    // Pin number n (0-based, counted over every Get<Type>ArrayElements of the
    // scope) returns null with OutOfMemoryError pending.
    void failPin(int n) { failPin_ = n; }
    // GetStringChars returns null with OutOfMemoryError pending.
    void failStringChars() { failStringChars_ = true; }

    const std::vector<Pin>& pins() const { return pins_; }
    const std::vector<Release>& releases() const { return releases_; }
    // Global references made (NewGlobalRef results) and deleted, in order.
    const std::vector<jobject>& globalsMade() const { return made_; }
    const std::vector<jobject>& globalsDeleted() const { return deleted_; }
    // GetStringChars calls that handed out characters, and their releases.
    int stringPins() const { return stringPins_; }
    int stringReleases() const { return stringReleases_; }
    // Called before every DeleteGlobalRef reaches the JVM; a test can check
    // there that the reference is no longer in use.
    void onDeleteGlobal(void (*check)(jobject)) { onDelete_ = check; }

    // The JVM's own function table, for the recording functions.
    static const JNINativeInterface_* real();
    static JniSpy* current();

    // Used by the recording functions.
    void* recordPin(JNIEnv* env, jarray a, void* (*get)(JNIEnv*, jarray));
    void recordRelease(jarray a, void* elems, jint mode) { releases_.push_back(Release{a, elems, mode}); }
    void recordMade(jobject g) {
        if (g) made_.push_back(g);
    }
    void recordDeleted(jobject g);
    const jchar* recordStringPin(JNIEnv* env, jstring s);
    void recordStringRelease() { ++stringReleases_; }

private:
    JNINativeInterface_ table_;
    const JNINativeInterface_* saved_;
    std::vector<Pin> pins_;
    std::vector<Release> releases_;
    std::vector<jobject> made_;
    std::vector<jobject> deleted_;
    void (*onDelete_)(jobject) = nullptr;
    int failPin_ = -1;
    bool failStringChars_ = false;
    int stringPins_ = 0;
    int stringReleases_ = 0;
};

}  // namespace qvt
