// The XA methods against a scripted driver: the XID and arguments each entry
// point receives, the order of the outcome calls on QuorvaneXAError, the
// refusals that never reach the driver, recovery's conversion, and the XA ID
// cache (in processes of their own, where the first XA call is really the
// first).
#include "datasources.h"
#include "jcall.h"
#include "jni_spy.h"
#include "seam.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using qvt::seam::Scope;

constexpr const char* kRecorder = "com/quorvane/jdbc/tests/XaSqliteTest$Recorder";
constexpr const char* kXid = "com/quorvane/jdbc/xa/QuorvaneXid";

jobject recorder(bool throwFromRetCode = false) {
    jobject r = qvt::newObject(kRecorder);
    if (throwFromRetCode)
        qvt::env()->SetBooleanField(r, qvt::env()->GetFieldID(qvt::findClass(kRecorder), "throwFromRetCode", "Z"),
                                    JNI_TRUE);
    return r;
}

std::string logOf(jobject r) {
    JNIEnv* env = qvt::env();
    auto s = static_cast<jstring>(
        env->CallObjectMethod(r, env->GetMethodID(qvt::findClass(kRecorder), "log", "()Ljava/lang/String;")));
    if (env->ExceptionCheck() || !s) return "<log() threw>";
    const char* utf = env->GetStringUTFChars(s, nullptr);
    std::string out(utf);
    env->ReleaseStringUTFChars(s, utf);
    return out;
}

// What the scripted entry points received.
struct Received {
    int calls = 0;
    RUVA70_XID xid{};
    SQLINTEGER a = 0, b = 0;
};
Received got;

// Scripts the six branch entry points: each records its arguments, writes
// `code` and returns `rc`.
void script(Scope& seam, SQLINTEGER rc, SQLINTEGER code) {
    got = Received{};
    auto flags = [rc, code](SQLHDBC, RUVA70_XID* x, SQLINTEGER f, SQLINTEGER* out) {
        ++got.calls;
        got.xid = *x;
        got.a = f;
        *out = code;
        return rc;
    };
    auto options = [rc, code](SQLHDBC, RUVA70_XID* x, SQLINTEGER o1, SQLINTEGER o2, SQLINTEGER* out) {
        ++got.calls;
        got.xid = *x;
        got.a = o1;
        got.b = o2;
        *out = code;
        return rc;
    };
    seam.on<&qv::DriverTable::xa_start>(flags);
    seam.on<&qv::DriverTable::xa_end>(flags);
    seam.on<&qv::DriverTable::xa_prepare>(flags);
    seam.on<&qv::DriverTable::xa_forget>(flags);
    seam.on<&qv::DriverTable::xa_commit>(options);
    seam.on<&qv::DriverTable::xa_rollback>(options);
}

// The six branch methods called alike: a is the flags or the first option,
// b the second option (ignored by the flag methods).
struct Method {
    const char* name;
    const char* entry;
    bool options;
    jint (*call)(jint h, jint fmt, jint gl, jint bl, jbyteArray data, jint a, jint b, jobject err);
};
const Method kMethods[] = {
    {"xaStart", "xa_start", false,
     [](jint h, jint f, jint g, jint q, jbyteArray d, jint a, jint, jobject e) {
         XAC(xaStart, h, f, g, q, d, a, e);
         return jint{0};
     }},
    {"xaEnd", "xa_end", false,
     [](jint h, jint f, jint g, jint q, jbyteArray d, jint a, jint, jobject e) {
         XAC(xaEnd, h, f, g, q, d, a, e);
         return jint{0};
     }},
    {"xaPrepare", "xa_prepare", false,
     [](jint h, jint f, jint g, jint q, jbyteArray d, jint a, jint, jobject e) {
         return XAC(xaPrepare, h, f, g, q, d, a, e);
     }},
    {"xaForget", "xa_forget", false,
     [](jint h, jint f, jint g, jint q, jbyteArray d, jint a, jint, jobject e) {
         XAC(xaForget, h, f, g, q, d, a, e);
         return jint{0};
     }},
    {"xaCommit", "xa_commit", true,
     [](jint h, jint f, jint g, jint q, jbyteArray d, jint a, jint b, jobject e) {
         XAC(xaCommit, h, f, g, q, d, a, b, e);
         return jint{0};
     }},
    {"xaRollback", "xa_rollback", true,
     [](jint h, jint f, jint g, jint q, jbyteArray d, jint a, jint b, jobject e) {
         XAC(xaRollback, h, f, g, q, d, a, b, e);
         return jint{0};
     }},
};

bool isPrepare(const Method& m) {
    return std::strcmp(m.name, "xaPrepare") == 0;
}

TEST(XaBranchMethods, PassTheXidAndArgumentsUnchangedAndReportInOrder) {
    qvt::LocalFrame frame;
    for (const Method& m : kMethods) {
        Scope seam;
        script(seam, 0x180, 3);  // low byte 0x80: -128 as a signed byte
        jobject err = recorder();
        const jint a = static_cast<jint>(0x80000001u), b = 0x7FFFFFFF;
        jint result = m.call(41, -77, 3, 2, qvt::bytes("abcdeXYZ"), a, b, err);
        EXPECT_EQ(got.calls, 1) << m.name;
        EXPECT_EQ(got.xid.formatID, -77) << m.name;
        EXPECT_EQ(got.xid.gtrid_length, 3) << m.name;
        EXPECT_EQ(got.xid.bqual_length, 2) << m.name;
        EXPECT_EQ(std::string(got.xid.data, 5), "abcde") << m.name;
        EXPECT_EQ(std::string(got.xid.data + 5, 123), std::string(123, '\0')) << m.name << ": read beyond 5 bytes";
        EXPECT_EQ(got.a, a) << m.name;
        if (m.options) {
            EXPECT_EQ(got.b, b) << m.name;
        }
        EXPECT_EQ(seam.last(m.entry).args[0], 41u) << m.name << ": the connection handle";
        EXPECT_EQ(logOf(err), "ret:-128;xa:3;") << m.name;
        if (isPrepare(m)) {
            EXPECT_EQ(result, 3) << "xaPrepare returns the XA code";
        }
        EXPECT_NO_JAVA_EXCEPTION();
    }
}

TEST(XaBranchMethods, RefuseXidsThatDoNotFitWithoutReachingTheDriver) {
    qvt::LocalFrame frame(512);
    struct Case {
        jint gl, bl;
        int dataBytes;  // -1: null xidData
        const char* what;
    };
    const Case cases[] = {{-1, 0, 8, "negative gtrid length"},
                          {1, -1, 8, "negative bqual length"},
                          {65, 0, 200, "gtrid above 64"},
                          {0, 65, 200, "bqual above 64"},
                          {64, 64, 127, "data shorter than the lengths"},
                          {3, 2, -1, "null xidData"}};
    for (const Method& m : kMethods) {
        for (const Case& c : cases) {
            Scope seam;
            script(seam, 0, 0);
            jobject err = recorder();
            jbyteArray data = c.dataBytes < 0 ? nullptr : qvt::newBytes(c.dataBytes, 7);
            jint result = m.call(41, 1, c.gl, c.bl, data, 0, 0, err);
            EXPECT_TRUE(seam.calls().empty()) << m.name << ": " << c.what;
            EXPECT_EQ(logOf(err), "ret:-1;xa:-5;") << m.name << ": " << c.what;
            if (isPrepare(m)) {
                EXPECT_EQ(result, -5) << c.what;
            }
            EXPECT_NO_JAVA_EXCEPTION();
        }
        Scope seam;
        script(seam, 0, 0);
        m.call(41, 1, 64, 64, qvt::newBytes(128, 9), 0, 0, recorder());
        EXPECT_EQ(got.calls, 1) << m.name << ": 64 + 64 bytes fit";
    }
}

// A handle the driver refuses (a connection a pool already closed) must not
// read as a prepared or committed branch: SQL_INVALID_HANDLE with the code
// left at XA_OK (or saying XA_RDONLY) reaches Java as XAER_RMFAIL; an XA
// error the driver wrote passes unchanged.
TEST(XaBranchMethods, ARefusedHandleAnswersAnXaErrorNeverXaOk) {
    qvt::LocalFrame frame(256);
    struct Case {
        SQLINTEGER code;
        const char* log;
        jint prepareResult;
    };
    const Case cases[] = {{RUVA70_XA_OK, "ret:-2;xa:-7;", -7},
                          {RUVA70_XA_RDONLY, "ret:-2;xa:-7;", -7},
                          {RUVA70_XAER_NOTA, "ret:-2;xa:-4;", -4}};
    for (const Method& m : kMethods)
        for (const Case& c : cases) {
            Scope seam;
            script(seam, SQL_INVALID_HANDLE, c.code);
            jobject err = recorder();
            const jint result = m.call(41, 1, 5, 0, qvt::bytes("gtrid"), 0, 0, err);
            EXPECT_EQ(logOf(err), c.log) << m.name << " " << c.code;
            if (isPrepare(m)) {
                EXPECT_EQ(result, c.prepareResult) << "the prepare vote";
            }
        }
    // A driver that answers success keeps its code, XA_OK included.
    Scope seam;
    script(seam, SQL_SUCCESS, RUVA70_XA_OK);
    jobject err = recorder();
    EXPECT_EQ(XAC(xaPrepare, 41, 1, 5, 0, qvt::bytes("gtrid"), 0, err), 0);
    EXPECT_EQ(logOf(err), "ret:0;xa:0;");
}

TEST(XaBranchMethods, UnpinnableXidDataEndsTheCallWithTheJvmsException) {
    qvt::LocalFrame frame;
    Scope seam;
    script(seam, 0, 0);
    jobject err = recorder();
    jbyteArray data = qvt::bytes("gtrid");
    {
        qvt::JniSpy spy;
        spy.failPin(0);
        XAC(xaCommit, 41, 1, 5, 0, data, 0, 0, err);
    }
    EXPECT_EQ(qvt::takeException(), "java.lang.OutOfMemoryError");
    EXPECT_TRUE(seam.calls().empty());
    EXPECT_EQ(logOf(err), "ret:-1;xa:-5;");
}

TEST(XaBranchMethods, TheSecondOutcomeCallIsMadeWhenTheFirstThrows) {
    qvt::LocalFrame frame;
    Scope seam;
    script(seam, SQL_ERROR, -6);
    jobject err = recorder(true);
    XAC(xaEnd, 41, 1, 5, 0, qvt::bytes("gtrid"), 0, err);
    EXPECT_EQ(qvt::takeException(), "java.lang.IllegalStateException");
    EXPECT_EQ(logOf(err), "ret:-1;xa:-6;");
}

TEST(XaBranchMethods, NullXaErrorDoesNothing) {
    qvt::LocalFrame frame;
    for (const Method& m : kMethods) {
        Scope seam;
        script(seam, 0, 0);
        jint result = m.call(41, 1, 5, 0, qvt::bytes("gtrid"), 0, 0, nullptr);
        EXPECT_TRUE(seam.calls().empty()) << m.name;
        if (isPrepare(m)) {
            EXPECT_EQ(result, -5);
        }
        EXPECT_NO_JAVA_EXCEPTION();
    }
    Scope seam;
    EXPECT_EQ(XAC(getPendingXidNum, 41, nullptr), 0);
    XAC(xaRecover, 41, nullptr, 0, 0, nullptr);
    EXPECT_TRUE(seam.calls().empty());
}

TEST(XaPending, ReturnsTheCountAndPassesZeroAsTheXaCode) {
    qvt::LocalFrame frame;
    Scope seam;
    seam.on<&qv::DriverTable::xa_pending>([](SQLHDBC, SQLINTEGER* count) {
        EXPECT_EQ(*count, 0) << "the count is 0 before the call";
        *count = 7;
        return SQLINTEGER(SQL_ERROR);
    });
    jobject err = recorder();
    EXPECT_EQ(XAC(getPendingXidNum, 41, err), 7);
    EXPECT_EQ(logOf(err), "ret:-1;xa:0;");
    EXPECT_EQ(seam.last("xa_pending").args[0], 41u);
}

// ---------------------------------------------------------------------------
// Recovery
// ---------------------------------------------------------------------------

RUVA70_XID makeXid(int32_t fmt, const std::string& gtrid, const std::string& bqual) {
    RUVA70_XID x{};
    x.formatID = fmt;
    x.gtrid_length = static_cast<int32_t>(gtrid.size());
    x.bqual_length = static_cast<int32_t>(bqual.size());
    std::memcpy(x.data, (gtrid + bqual).data(), gtrid.size() + bqual.size());
    return x;
}

// Scripts xa_recover: writes `xids` into the buffer (as far as it holds),
// reports `found` and returns `rc`.
std::vector<RUVA70_XID> recoverXids;
SQLINTEGER recoverFound = 0, recoverRc = 0;
void scriptRecover(Scope& seam, std::vector<RUVA70_XID> xids, SQLINTEGER found, SQLINTEGER rc = SQL_SUCCESS) {
    recoverXids = std::move(xids);
    recoverFound = found;
    recoverRc = rc;
    seam.on<&qv::DriverTable::xa_recover>([](SQLHDBC, RUVA70_XID* buf, SQLINTEGER count, SQLINTEGER, SQLINTEGER* f) {
        EXPECT_EQ(*f, 0) << "the number found is 0 before the call";
        for (size_t i = 0; i < recoverXids.size() && static_cast<SQLINTEGER>(i) < count; ++i) buf[i] = recoverXids[i];
        *f = recoverFound;
        return recoverRc;
    });
}

jobjectArray xidArray(jsize n, jobject fill) {
    return qvt::env()->NewObjectArray(n, qvt::findClass(kXid), fill);
}

jobject sentinelXid() {
    JNIEnv* env = qvt::env();
    jclass c = qvt::findClass(kXid);
    return env->NewObject(c, env->GetMethodID(c, "<init>", "(III[B)V"), 99, 1, 0, qvt::bytes("s"));
}

// formatId / data of a QuorvaneXid.
std::pair<jint, std::string> xidValue(jobject x) {
    JNIEnv* env = qvt::env();
    jclass c = qvt::findClass(kXid);
    jint fmt = env->CallIntMethod(x, env->GetMethodID(c, "getFormatId", "()I"));
    EXPECT_FALSE(env->ExceptionCheck());
    auto data = static_cast<jbyteArray>(env->CallObjectMethod(x, env->GetMethodID(c, "getData", "()[B")));
    EXPECT_FALSE(env->ExceptionCheck());
    auto v = qvt::read(data);
    return {fmt, std::string(v.begin(), v.end())};
}

TEST(XaRecover, CountZeroCallsTheDriverWithoutABuffer) {
    qvt::LocalFrame frame;
    Scope seam;
    scriptRecover(seam, {}, 0);
    jobject err = recorder();
    XAC(xaRecover, 41, xidArray(0, nullptr), 0, 0x01800000, err);
    const auto& call = seam.last("xa_recover");
    EXPECT_EQ(call.args[1], 0u) << "no buffer";
    EXPECT_EQ(call.args[2], 0u);
    EXPECT_EQ(call.args[3], 0x01800000u) << "flags unchanged";
    EXPECT_EQ(logOf(err), "ret:0;xa:0;");
}

TEST(XaRecover, TwoFoundInABufferForTenFillOnlyTheFirstTwoElements) {
    qvt::LocalFrame frame;
    Scope seam;
    scriptRecover(seam, {makeXid(1, "abcd", ""), makeXid(-9, "xyz", "12")}, 2);
    jobject sentinel = sentinelXid();
    jobjectArray xids = xidArray(10, sentinel);
    jobject err = recorder();
    XAC(xaRecover, 41, xids, 10, 0x01000000, err);
    EXPECT_NE(seam.last("xa_recover").args[1], 0u);
    EXPECT_EQ(seam.last("xa_recover").args[2], 10u);
    JNIEnv* env = qvt::env();
    EXPECT_EQ(xidValue(env->GetObjectArrayElement(xids, 0)), std::make_pair(jint{1}, std::string("abcd")));
    EXPECT_EQ(xidValue(env->GetObjectArrayElement(xids, 1)), std::make_pair(jint{-9}, std::string("xyz12")));
    for (jsize i = 2; i < 10; ++i) EXPECT_TRUE(env->IsSameObject(env->GetObjectArrayElement(xids, i), sentinel)) << i;
    EXPECT_EQ(logOf(err), "ret:0;xa:2;");
}

TEST(XaRecover, AFoundAboveCountConvertsCountAndANegativeOnePassesAsTheCode) {
    qvt::LocalFrame frame;
    JNIEnv* env = qvt::env();
    {
        Scope seam;
        scriptRecover(seam, {makeXid(1, "a", "b"), makeXid(2, "c", "d")}, 5);
        jobject sentinel = sentinelXid();
        jobjectArray xids = xidArray(3, sentinel);
        jobject err = recorder();
        XAC(xaRecover, 41, xids, 2, 0, err);
        EXPECT_EQ(xidValue(env->GetObjectArrayElement(xids, 1)).second, "cd");
        EXPECT_TRUE(env->IsSameObject(env->GetObjectArrayElement(xids, 2), sentinel)) << "beyond count";
        EXPECT_EQ(logOf(err), "ret:0;xa:2;");
    }
    Scope seam;
    scriptRecover(seam, {makeXid(1, "a", "b")}, -7, SQL_ERROR);
    jobject sentinel = sentinelXid();
    jobjectArray xids = xidArray(2, sentinel);
    jobject err = recorder();
    XAC(xaRecover, 41, xids, 2, 0, err);
    EXPECT_TRUE(env->IsSameObject(env->GetObjectArrayElement(xids, 0), sentinel));
    EXPECT_EQ(logOf(err), "ret:-1;xa:-7;");
}

TEST(XaRecover, RefusesACountTheArrayCannotHold) {
    qvt::LocalFrame frame;
    struct Case {
        jint count;
        jsize elements;  // -1: null array
    };
    for (Case c : {Case{-1, 2}, Case{2, -1}, Case{3, 2}}) {
        Scope seam;
        scriptRecover(seam, {}, 0);
        jobject err = recorder();
        XAC(xaRecover, 41, c.elements < 0 ? nullptr : xidArray(c.elements, nullptr), c.count, 0, err);
        EXPECT_TRUE(seam.calls().empty()) << c.count << " / " << c.elements;
        EXPECT_EQ(logOf(err), "ret:-1;xa:-5;");
    }
}

TEST(XaRecover, AFailedConversionStopsAndReportsWhatWasStored) {
    qvt::LocalFrame frame;
    JNIEnv* env = qvt::env();
    {  // an array that cannot hold QuorvaneXid objects
        Scope seam;
        scriptRecover(seam, {makeXid(1, "a", "b")}, 1);
        jobject err = recorder();
        XAC(xaRecover, 41, env->NewObjectArray(2, qvt::findClass("java/lang/String"), nullptr), 2, 0, err);
        EXPECT_EQ(qvt::takeException(), "java.lang.ArrayStoreException");
        EXPECT_EQ(logOf(err), "ret:-1;xa:0;");
    }
    {  // the data array of the second XID cannot be pinned
        Scope seam;
        scriptRecover(seam, {makeXid(1, "a", "b"), makeXid(2, "c", "d")}, 2);
        jobjectArray xids = xidArray(2, nullptr);
        jobject err = recorder();
        {
            qvt::JniSpy spy;
            spy.failPin(1);
            XAC(xaRecover, 41, xids, 2, 0, err);
        }
        EXPECT_EQ(qvt::takeException(), "java.lang.OutOfMemoryError");
        EXPECT_NE(env->GetObjectArrayElement(xids, 0), nullptr);
        EXPECT_EQ(env->GetObjectArrayElement(xids, 1), nullptr);
        EXPECT_EQ(logOf(err), "ret:-99;xa:1;");
    }
    // An XID whose lengths the driver wrote out of range is not converted.
    Scope seam;
    RUVA70_XID bad = makeXid(2, "c", "d");
    bad.gtrid_length = 100;
    scriptRecover(seam, {makeXid(1, "a", "b"), bad}, 2, SQL_SUCCESS);
    jobjectArray xids = xidArray(2, nullptr);
    jobject err = recorder();
    XAC(xaRecover, 41, xids, 2, 0, err);
    EXPECT_EQ(env->GetObjectArrayElement(xids, 1), nullptr);
    EXPECT_EQ(logOf(err), "ret:-1;xa:1;");
    EXPECT_NO_JAVA_EXCEPTION();
}

// ---------------------------------------------------------------------------
// The XA ID cache, in child processes of this binary
// ---------------------------------------------------------------------------

// Runs one disabled test of this binary in a new process; its output goes
// to `log`. Returns the exit status.
int runChild(const std::string& test, const std::vector<std::string>& extraEnv, std::string& log) {
    const std::string out = qvt::tempDir() + "/xa-child-" + std::to_string(getpid()) + ".log";
    std::vector<std::string> args = {"/proc/self/exe", "--gtest_also_run_disabled_tests", "--gtest_filter=" + test};
    std::vector<std::string> envs = extraEnv;
    for (char** e = environ; *e; ++e) {
        std::string kv(*e);
        bool overridden = false;
        for (const auto& x : extraEnv) overridden |= kv.substr(0, kv.find('=')) == x.substr(0, x.find('='));
        if (!overridden) envs.push_back(kv);
    }
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(out);
    std::stringstream ss;
    ss << in.rdbuf();
    log = ss.str();
    fs::remove(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(XaIdCache, TheFirstXaCallFillsTheCacheOnce) {
    std::string log;
    EXPECT_EQ(runChild("XaIdCacheChild.DISABLED_FirstCallFillsTheCacheOnce", {}, log), 0) << log;
    EXPECT_NE(log.find("[       OK ]"), std::string::npos) << log;
}

TEST(XaIdCache, AMissingXaErrorClassFailsEveryCallUntilTheClassCanBeFound) {
    const char* classes = std::getenv("QVT_DRIVER_CLASSES");
    ASSERT_NE(classes, nullptr);
    const fs::path copy = fs::path(qvt::tempDir()) / ("xa-classes-" + std::to_string(getpid()));
    fs::remove_all(copy);
    fs::copy(classes, copy, fs::copy_options::recursive);
    ASSERT_TRUE(fs::remove(copy / "com/quorvane/jdbc/xa/QuorvaneXAError.class"));
    std::string log;
    EXPECT_EQ(runChild("XaIdCacheChild.DISABLED_MissingXaErrorClass", {"QVT_CLASSPATH=" + copy.string()}, log), 0)
        << log;
    EXPECT_NE(log.find("[       OK ]"), std::string::npos) << log;
    fs::remove_all(copy);
}

// Run only by the tests above, each in a process of its own.
TEST(XaIdCacheChild, DISABLED_FirstCallFillsTheCacheOnce) {
    qvt::LocalFrame frame;
    jobject err = recorder();
    Scope seam;
    {
        qvt::JniSpy spy;
        XAC(getPendingXidNum, 41, err);
        const size_t afterFirst = spy.globalsMade().size();
        XAC(getPendingXidNum, 41, err);
        XAC(xaRecover, 41, xidArray(0, nullptr), 0, 0, err);
        EXPECT_EQ(spy.globalsMade().size(), afterFirst) << "later calls look nothing up";
        // (The JVM makes references of its own on the first FindClass.)
        for (const char* name : {"java/lang/OutOfMemoryError", kXid, "com/quorvane/jdbc/xa/QuorvaneXAError"}) {
            jclass k = qvt::findClass(name);
            long n = std::count_if(spy.globalsMade().begin(), spy.globalsMade().end(),
                                   [&](jobject g) { return qvt::env()->IsSameObject(g, k); });
            EXPECT_EQ(n, 1) << name;
        }
        EXPECT_TRUE(spy.globalsDeleted().empty());
    }
    EXPECT_EQ(seam.count("xa_pending"), 2u);
    EXPECT_EQ(logOf(err), "ret:0;xa:0;ret:0;xa:0;ret:0;xa:0;");
}

TEST(XaIdCacheChild, DISABLED_MissingXaErrorClass) {
    qvt::LocalFrame frame;
    JNIEnv* env = qvt::env();
    jobject notAnXaError = qvt::newObject("java/lang/Object");
    {
        Scope seam;
        for (int attempt = 0; attempt < 2; ++attempt) {
            EXPECT_EQ(XAC(xaPrepare, 41, 1, 5, 0, qvt::bytes("gtrid"), 0, notAnXaError), -7) << attempt;
            EXPECT_EQ(qvt::takeException(), "java.lang.NoClassDefFoundError") << attempt;
            XAC(xaCommit, 41, 1, 5, 0, qvt::bytes("gtrid"), 0, 0, notAnXaError);
            EXPECT_EQ(qvt::takeException(), "java.lang.NoClassDefFoundError") << attempt;
        }
        EXPECT_TRUE(seam.calls().empty()) << "the driver is never called";
    }
    // The class appears: the next call initialises the cache and goes on.
    std::ifstream in(std::string(std::getenv("QVT_DRIVER_CLASSES")) + "/com/quorvane/jdbc/xa/QuorvaneXAError.class",
                     std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty());
    jclass loaderClass = env->FindClass("java/lang/ClassLoader");
    jobject loader = env->CallStaticObjectMethod(
        loaderClass, env->GetStaticMethodID(loaderClass, "getSystemClassLoader", "()Ljava/lang/ClassLoader;"));
    jclass xaErrorClass =
        env->DefineClass("com/quorvane/jdbc/xa/QuorvaneXAError", loader, reinterpret_cast<const jbyte*>(bytes.data()),
                         static_cast<jsize>(bytes.size()));
    ASSERT_NE(xaErrorClass, nullptr) << qvt::takeException();
    jobject err = env->NewObject(xaErrorClass, env->GetMethodID(xaErrorClass, "<init>", "()V"));
    Scope seam;
    script(seam, SQL_SUCCESS, 3);
    EXPECT_EQ(XAC(xaPrepare, 41, 1, 5, 0, qvt::bytes("gtrid"), 0, err), 3);
    EXPECT_NO_JAVA_EXCEPTION();
    EXPECT_EQ(got.calls, 1);
    EXPECT_EQ(env->CallIntMethod(err, env->GetMethodID(xaErrorClass, "getXAErrCode", "()I")), 3);
}

TEST(XaIdCache, ConcurrentFirstCallsAllReport) {
    std::string log;
    EXPECT_EQ(runChild("XaIdCacheChild.DISABLED_ConcurrentFirstCalls", {}, log), 0) << log;
    EXPECT_NE(log.find("[       OK ]"), std::string::npos) << log;
}

// Several threads make the process's first XA calls at once: every call
// works and reports, whichever thread filled the cache.
TEST(XaIdCacheChild, DISABLED_ConcurrentFirstCalls) {
    constexpr int kThreads = 4;
    qvt::vm();
    std::atomic<int> ready{0}, ok{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            JNIEnv* env = nullptr;
            qvt::vm()->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr);
            jclass c = env->FindClass("com/quorvane/jdbc/xa/QuorvaneXAError");
            jobject err = env->NewObject(c, env->GetMethodID(c, "<init>", "()V"));
            jmethodID getRetCode = env->GetMethodID(c, "getRetCode", "()B");
            ++ready;
            while (ready < kThreads) std::this_thread::yield();
            for (int i = 0; i < 50; ++i) {
                // A handle libruva70 never issued: SQL_INVALID_HANDLE.
                Java_com_quorvane_jdbc_xa_XAJdbcOdbcClient_getPendingXidNum(env, nullptr, 0x7654321, err);
                if (env->CallByteMethod(err, getRetCode) == -2) ++ok;
            }
            qvt::vm()->DetachCurrentThread();
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(ok.load(), kThreads * 50);
}

}  // namespace
