// XA transaction branches on PostgreSQL through the JNI entry points. Every
// outcome is checked from a second connection (rows visible or not, the
// prepared branches that recover lists). Recovery across processes runs
// disabled tests of this binary as child processes.
#include "dsconn.h"
#include "jcall.h"
#include "qvjdbc/ruva70.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

extern char** environ;

namespace {

using qvt::Connection;
using qvt::Source;

struct Xid {
    jint fmt = 1;
    std::string gtrid, bqual;
    std::string data() const { return gtrid + bqual; }
    bool operator==(const Xid& o) const { return fmt == o.fmt && gtrid == o.gtrid && bqual == o.bqual; }
};

std::mt19937& rng() {
    static std::mt19937 r{std::random_device{}()};
    return r;
}

// A random gtrid (printable, so failures read well) and a fixed bqual.
Xid randomXid(const std::string& bqual = "b1") {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    Xid x;
    for (int i = 0; i < 20; ++i) x.gtrid += letters[rng()() % 36];
    x.bqual = bqual;
    return x;
}

struct Outcome {
    int ret = 0x55;
    int code = 0x55;
    bool operator==(const Outcome& o) const { return ret == o.ret && code == o.code; }
};
std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    return os << "{ret " << o.ret << ", xa " << o.code << "}";
}

constexpr Outcome kOk{0, RUVA70_XA_OK};
Outcome failed(int code) {
    return Outcome{-1, code};
}

jclass xaErrorClass() {
    return qvt::findClass("com/quorvane/jdbc/xa/QuorvaneXAError");
}

// Calls one XA method with a new QuorvaneXAError and returns what it got.
template <typename F>
Outcome withError(F call) {
    JNIEnv* env = qvt::env();
    jobject e = qvt::newObject("com/quorvane/jdbc/xa/QuorvaneXAError");
    call(e);
    EXPECT_NO_JAVA_EXCEPTION();
    jclass c = xaErrorClass();
    Outcome o;
    o.ret = env->CallByteMethod(e, env->GetMethodID(c, "getRetCode", "()B"));
    EXPECT_FALSE(env->ExceptionCheck());
    o.code = env->CallIntMethod(e, env->GetMethodID(c, "getXAErrCode", "()I"));
    EXPECT_FALSE(env->ExceptionCheck());
    env->DeleteLocalRef(c);
    env->DeleteLocalRef(e);
    return o;
}

jint gl(const Xid& x) {
    return static_cast<jint>(x.gtrid.size());
}
jint bl(const Xid& x) {
    return static_cast<jint>(x.bqual.size());
}

Outcome start(jint h, const Xid& x, jint flags = RUVA70_TMNOFLAGS) {
    return withError([&](jobject e) { XAC(xaStart, h, x.fmt, gl(x), bl(x), qvt::bytes(x.data()), flags, e); });
}
Outcome end(jint h, const Xid& x, jint flags = RUVA70_TMSUCCESS) {
    return withError([&](jobject e) { XAC(xaEnd, h, x.fmt, gl(x), bl(x), qvt::bytes(x.data()), flags, e); });
}
Outcome prepare(jint h, const Xid& x, jint flags = RUVA70_TMNOFLAGS) {
    jint result = 0;
    Outcome o = withError(
        [&](jobject e) { result = XAC(xaPrepare, h, x.fmt, gl(x), bl(x), qvt::bytes(x.data()), flags, e); });
    EXPECT_EQ(result, o.code) << "xaPrepare returns the XA code";
    return o;
}
Outcome commit(jint h, const Xid& x, jint onePhase = 0, jint flags = RUVA70_TMNOFLAGS) {
    return withError(
        [&](jobject e) { XAC(xaCommit, h, x.fmt, gl(x), bl(x), qvt::bytes(x.data()), onePhase, flags, e); });
}
Outcome rollback(jint h, const Xid& x, jint option1 = 0, jint flags = RUVA70_TMNOFLAGS) {
    return withError(
        [&](jobject e) { XAC(xaRollback, h, x.fmt, gl(x), bl(x), qvt::bytes(x.data()), option1, flags, e); });
}
Outcome forget(jint h, const Xid& x, jint flags = RUVA70_TMNOFLAGS) {
    return withError([&](jobject e) { XAC(xaForget, h, x.fmt, gl(x), bl(x), qvt::bytes(x.data()), flags, e); });
}
int pending(jint h) {
    jint n = 0;
    Outcome o = withError([&](jobject e) { n = XAC(getPendingXidNum, h, e); });
    EXPECT_EQ(o.code, 0) << "getPendingXidNum passes 0 as the XA code";
    return n;
}

Xid fromJava(jobject q) {
    JNIEnv* env = qvt::env();
    jclass c = env->GetObjectClass(q);
    auto bytesOf = [&](const char* getter) {
        auto a = static_cast<jbyteArray>(env->CallObjectMethod(q, env->GetMethodID(c, getter, "()[B")));
        EXPECT_FALSE(env->ExceptionCheck());
        auto v = qvt::read(a);
        env->DeleteLocalRef(a);
        return std::string(v.begin(), v.end());
    };
    Xid x;
    x.fmt = env->CallIntMethod(q, env->GetMethodID(c, "getFormatId", "()I"));
    EXPECT_FALSE(env->ExceptionCheck());
    x.gtrid = bytesOf("getGlobalTransactionId");
    x.bqual = bytesOf("getBranchQualifier");
    env->DeleteLocalRef(c);
    return x;
}

struct Recovered {
    Outcome outcome;
    std::vector<Xid> xids;  // the elements the call stored (non-null)
};

Recovered recover(jint h, jint count = 100, jint flags = RUVA70_TMSTARTRSCAN | RUVA70_TMENDRSCAN) {
    JNIEnv* env = qvt::env();
    jobjectArray a = env->NewObjectArray(count, qvt::findClass("com/quorvane/jdbc/xa/QuorvaneXid"), nullptr);
    Recovered r;
    r.outcome = withError([&](jobject e) { XAC(xaRecover, h, a, count, flags, e); });
    for (jsize i = 0; i < count; ++i) {
        jobject q = env->GetObjectArrayElement(a, i);
        if (q) r.xids.push_back(fromJava(q));
        env->DeleteLocalRef(q);
    }
    env->DeleteLocalRef(a);
    return r;
}

bool listed(jint h, const Xid& x) {
    auto r = recover(h);
    return std::find(r.xids.begin(), r.xids.end(), x) != r.xids.end();
}

class XaPostgres : public ::testing::Test {
protected:
    void SetUp() override {
        a.open(Source::Postgres);
        b.open(Source::Postgres);
        table = qvt::uniqueName("xa");
        b.exec("CREATE TABLE " + table + " (v int)");
    }
    void TearDown() override {
        // Leftovers of a failed test: nothing stays prepared.
        for (const Xid& x : used) {
            rollback(a.hDbc, x);
            rollback(b.hDbc, x);
        }
        for (const std::string& gid : foreignGids) b.tryExec("ROLLBACK PREPARED '" + gid + "'");
        b.exec("DROP TABLE " + table);
    }

    Xid xid(const std::string& bqual = "b1") {
        used.push_back(randomXid(bqual));
        return used.back();
    }
    Xid track(const Xid& x) {
        used.push_back(x);
        return x;
    }
    void insert(Connection& c, int v) { c.exec("INSERT INTO " + table + " VALUES (" + std::to_string(v) + ")"); }
    int rows() { return std::stoi(b.scalar("SELECT count(*) FROM " + table).value_or("-1")); }
    // Runs a branch on `c` up to the ended state with one row inserted.
    void ended(Connection& c, const Xid& x, int v = 1) {
        ASSERT_EQ(start(c.hDbc, x), kOk);
        insert(c, v);
        ASSERT_EQ(end(c.hDbc, x), kOk);
    }
    void preparedBranch(Connection& c, const Xid& x, int v = 1) {
        ended(c, x, v);
        ASSERT_EQ(prepare(c.hDbc, x), kOk);
    }
    int autocommit(Connection& c) {
        jbyteArray ec = qvt::errorCode();
        return JC(getConnectOption, c.hDbc, SQL_AUTOCOMMIT, ec);
    }
    void setAutocommit(Connection& c, int v) {
        jbyteArray ec = qvt::errorCode();
        JC(setConnectOption, c.hDbc, SQL_AUTOCOMMIT, v, ec);
        ASSERT_EQ(qvt::at(ec, 0), 0);
    }

    qvt::LocalFrame frame_{1024};
    Connection a, b;
    std::string table;
    std::vector<Xid> used;
    std::vector<std::string> foreignGids;
};

TEST_F(XaPostgres, OnePhaseCommitLeavesAutocommitAsItWas) {
    Xid x = xid();
    ASSERT_EQ(start(a.hDbc, x), kOk);
    insert(a, 1);
    EXPECT_EQ(rows(), 0) << "uncommitted work is invisible elsewhere";
    EXPECT_EQ(autocommit(a), SQL_AUTOCOMMIT_ON);
    ASSERT_EQ(end(a.hDbc, x), kOk);
    EXPECT_EQ(commit(a.hDbc, x, RUVA70_TMONEPHASE), kOk);
    EXPECT_EQ(rows(), 1);
    EXPECT_EQ(autocommit(a), SQL_AUTOCOMMIT_ON);
    // The option may also be given as 1; the connection takes a new branch.
    Xid y = xid();
    ended(a, y, 2);
    EXPECT_EQ(commit(a.hDbc, y, 1), kOk);
    EXPECT_EQ(rows(), 2);
}

TEST_F(XaPostgres, TwoPhaseCommitFromAnotherConnection) {
    Xid x = xid();
    const int before = pending(b.hDbc);
    ASSERT_EQ(start(a.hDbc, x), kOk);
    insert(a, 1);
    // Settings of the branch's own do not make it look like another transaction.
    a.exec("SET LOCAL TimeZone = 'Asia/Tokyo'");
    a.exec("SET LOCAL DateStyle = 'SQL, DMY'");
    ASSERT_EQ(end(a.hDbc, x), kOk);
    ASSERT_EQ(prepare(a.hDbc, x), kOk);
    EXPECT_EQ(rows(), 0) << "a prepared branch is invisible elsewhere";
    EXPECT_EQ(pending(b.hDbc), before + 1);
    EXPECT_TRUE(listed(b.hDbc, x));
    EXPECT_EQ(commit(b.hDbc, x), kOk);
    EXPECT_EQ(rows(), 1);
    EXPECT_EQ(pending(b.hDbc), before);
    EXPECT_FALSE(listed(b.hDbc, x));
    EXPECT_EQ(commit(b.hDbc, x), failed(RUVA70_XAER_NOTA)) << "a repeated commit";
    EXPECT_EQ(rollback(b.hDbc, x), failed(RUVA70_XAER_NOTA));
}

TEST_F(XaPostgres, RollbackOfActiveEndedAndPreparedBranches) {
    Xid active = xid(), endedX = xid(), preparedX = xid();
    ASSERT_EQ(start(a.hDbc, active), kOk);
    insert(a, 1);
    EXPECT_EQ(rollback(a.hDbc, active), kOk);
    ended(a, endedX);
    EXPECT_EQ(rollback(a.hDbc, endedX), kOk);
    preparedBranch(a, preparedX);
    EXPECT_EQ(rollback(b.hDbc, preparedX), kOk);
    EXPECT_FALSE(listed(b.hDbc, preparedX));
    EXPECT_EQ(rows(), 0);
    // The connection is idle again after each.
    Xid next = xid();
    ended(a, next, 5);
    EXPECT_EQ(commit(a.hDbc, next, RUVA70_TMONEPHASE), kOk);
    EXPECT_EQ(rows(), 1);
}

TEST_F(XaPostgres, EndStartWithJoinEndCommit) {
    Xid x = xid();
    ended(a, x, 1);
    ASSERT_EQ(start(a.hDbc, x, RUVA70_TMJOIN), kOk);
    insert(a, 2);
    ASSERT_EQ(end(a.hDbc, x), kOk);
    ASSERT_EQ(prepare(a.hDbc, x), kOk);
    EXPECT_EQ(commit(b.hDbc, x), kOk);
    EXPECT_EQ(rows(), 2);
}

TEST_F(XaPostgres, TwoBranchesOfOneGtridOnTwoConnections) {
    Connection c;
    c.open(Source::Postgres);
    Xid x1 = xid("branch-1");
    Xid x2 = track(Xid{x1.fmt, x1.gtrid, "branch-2"});
    preparedBranch(a, x1, 1);
    preparedBranch(c, x2, 2);
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(listed(b.hDbc, x1) && listed(b.hDbc, x2));
    EXPECT_EQ(commit(b.hDbc, x1), kOk);
    EXPECT_EQ(commit(b.hDbc, x2), kOk);
    EXPECT_EQ(rows(), 2);
}

// Each case brings connection a into a state with branch x (y another XID),
// makes one call and expects one XA code.
TEST_F(XaPostgres, ProtocolMatrix) {
    enum State { Idle, Active, Ended, Prepared };
    struct Case {
        const char* what;
        State state;
        std::function<Outcome(jint a, jint b, const Xid& x, const Xid& y)> call;
        int code;
        bool onB = false;  // the call is made on connection b
    };
    using X = const Xid&;
    const Case cases[] = {
        {"end of an unknown XID", Idle, [](jint a, jint, X x, X) { return end(a, x); }, RUVA70_XAER_NOTA},
        {"prepare of an unknown XID", Idle, [](jint a, jint, X x, X) { return prepare(a, x); }, RUVA70_XAER_NOTA},
        {"one-phase commit of an unknown XID", Idle,
         [](jint a, jint, X x, X) { return commit(a, x, RUVA70_TMONEPHASE); }, RUVA70_XAER_NOTA},
        {"commit of an unknown XID", Idle, [](jint a, jint, X x, X) { return commit(a, x); }, RUVA70_XAER_NOTA},
        {"rollback of an unknown XID", Idle, [](jint a, jint, X x, X) { return rollback(a, x); }, RUVA70_XAER_NOTA},
        {"forget", Idle, [](jint a, jint, X x, X) { return forget(a, x); }, RUVA70_XAER_NOTA},
        {"join of an unknown XID", Idle, [](jint a, jint, X x, X) { return start(a, x, RUVA70_TMJOIN); },
         RUVA70_XAER_NOTA},
        {"resume", Idle, [](jint a, jint, X x, X) { return start(a, x, RUVA70_TMRESUME); }, RUVA70_XAER_RMERR},
        {"start with an undefined flag", Idle, [](jint a, jint, X x, X) { return start(a, x, 0x1); },
         RUVA70_XAER_INVAL},
        {"join and resume together", Idle,
         [](jint a, jint, X x, X) { return start(a, x, RUVA70_TMJOIN | RUVA70_TMRESUME); }, RUVA70_XAER_INVAL},
        {"the null XID (formatID -1)", Idle,
         [](jint a, jint, X x, X) {
             return start(a, Xid{-1, x.gtrid, ""});
         },
         RUVA70_XAER_INVAL},
        {"an empty gtrid", Idle,
         [](jint a, jint, X, X) {
             return start(a, Xid{1, "", "b"});
         },
         RUVA70_XAER_INVAL},
        // recover's count slot reads 0 on failure; its record (S1009) tells.
        {"recover without a scan", Idle, [](jint a, jint, X, X) { return recover(a, 5, RUVA70_TMNOFLAGS).outcome; },
         0},
        {"recover with an undefined flag", Idle, [](jint a, jint, X, X) { return recover(a, 5, 0x4).outcome; }, 0},
        {"start while active", Active, [](jint a, jint, X x, X) { return start(a, x); }, RUVA70_XAER_PROTO},
        {"start of another XID while active", Active, [](jint a, jint, X, X y) { return start(a, y); },
         RUVA70_XAER_PROTO},
        {"prepare while active", Active, [](jint a, jint, X x, X) { return prepare(a, x); }, RUVA70_XAER_PROTO},
        {"one-phase commit while active", Active,
         [](jint a, jint, X x, X) { return commit(a, x, RUVA70_TMONEPHASE); }, RUVA70_XAER_PROTO},
        {"two-phase commit of an unprepared branch", Active, [](jint a, jint, X x, X) { return commit(a, x); },
         RUVA70_XAER_PROTO},
        {"suspend", Active, [](jint a, jint, X x, X) { return end(a, x, RUVA70_TMSUSPEND); }, RUVA70_XAER_RMERR},
        {"end without a flag", Active, [](jint a, jint, X x, X) { return end(a, x, RUVA70_TMNOFLAGS); },
         RUVA70_XAER_INVAL},
        {"end of another XID", Active, [](jint a, jint, X, X y) { return end(a, y); }, RUVA70_XAER_NOTA},
        {"start of the same XID elsewhere", Active, [](jint, jint b, X x, X) { return start(b, x); },
         RUVA70_XAER_DUPID, true},
        {"join from another connection", Active, [](jint, jint b, X x, X) { return start(b, x, RUVA70_TMJOIN); },
         RUVA70_XAER_RMERR, true},
        {"commit elsewhere of a branch still active", Active, [](jint, jint b, X x, X) { return commit(b, x); },
         RUVA70_XAER_PROTO, true},
        {"end twice", Ended, [](jint a, jint, X x, X) { return end(a, x); }, RUVA70_XAER_PROTO},
        {"start of another XID while ended", Ended, [](jint a, jint, X, X y) { return start(a, y); },
         RUVA70_XAER_PROTO},
        {"commit of a prepared XID on a connection in a branch", Ended,
         [](jint a, jint, X, X y) { return commit(a, y); }, RUVA70_XAER_PROTO},
        {"prepare with a flag", Ended, [](jint a, jint, X x, X) { return prepare(a, x, RUVA70_TMJOIN); },
         RUVA70_XAER_INVAL},
        {"commit's first option out of range", Ended, [](jint a, jint, X x, X) { return commit(a, x, 5); },
         RUVA70_XAER_INVAL},
        {"non-blocking commit", Ended,
         [](jint a, jint, X x, X) { return commit(a, x, RUVA70_TMONEPHASE, RUVA70_TMNOWAIT); }, RUVA70_XAER_RMERR},
        {"commit with an undefined flag", Ended, [](jint a, jint, X x, X) { return commit(a, x, 1, 0x4); },
         RUVA70_XAER_INVAL},
        {"rollback's first option", Ended, [](jint a, jint, X x, X) { return rollback(a, x, 1); }, RUVA70_XAER_INVAL},
        {"start of a prepared XID", Prepared, [](jint a, jint, X x, X) { return start(a, x); }, RUVA70_XAER_DUPID},
        {"one-phase commit of a prepared branch", Prepared,
         [](jint a, jint, X x, X) { return commit(a, x, RUVA70_TMONEPHASE); }, RUVA70_XAER_NOTA},
        {"prepare twice", Prepared, [](jint a, jint, X x, X) { return prepare(a, x); }, RUVA70_XAER_NOTA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Xid x = xid(), y = xid();
        if (c.state == Active || c.state == Ended) {
            ASSERT_EQ(start(a.hDbc, x), kOk);
        }
        if (c.state == Ended) {
            ASSERT_EQ(end(a.hDbc, x), kOk);
            // y prepared by another connection, for the commit-while-in-a-branch case.
            Connection other;
            other.open(Source::Postgres);
            preparedBranch(other, y);
        }
        if (c.state == Prepared) preparedBranch(a, x);
        EXPECT_EQ(c.call(a.hDbc, b.hDbc, x, y), failed(c.code));
        // The refusal leaves a diagnostic on the connection that was called.
        jbyteArray state = qvt::newBytes(6), msg = qvt::newBytes(300), ec = qvt::errorCode();
        XAC(error, 0, c.onB ? b.hDbc : a.hDbc, 0, state, msg, ec);
        EXPECT_EQ(qvt::at(ec, 0), 0) << "a record on the connection";
        EXPECT_EQ(qvt::cstr(state).size(), 5u);
        if (c.code == 0) {
            EXPECT_EQ(qvt::cstr(state), "S1009");
        }
        rollback(a.hDbc, x);
        rollback(b.hDbc, x);
        rollback(b.hDbc, y);
        qvt::env()->DeleteLocalRef(state);
        qvt::env()->DeleteLocalRef(msg);
        qvt::env()->DeleteLocalRef(ec);
    }
    EXPECT_EQ(rows(), 0);
}

TEST_F(XaPostgres, AnyXidBytesAndANegativeFormatIdRoundTripThroughPrepareAndRecover) {
    Xid x{-1234567, std::string(64, '\0'), std::string(64, '\0')};
    for (char& ch : x.gtrid) ch = static_cast<char>(rng()() & 0xFF);
    for (char& ch : x.bqual) ch = static_cast<char>(rng()() & 0xFF);
    x.gtrid.replace(0, 6, std::string("\0'\"\\_=", 6));
    x.bqual.replace(58, 6, std::string("'';--\0", 6));
    Xid small{INT32_MIN, "g", ""};
    track(x);
    track(small);
    preparedBranch(a, x, 1);
    preparedBranch(a, small, 2);
    auto r = recover(b.hDbc);
    EXPECT_EQ(r.outcome.ret, 0);
    auto found = std::find(r.xids.begin(), r.xids.end(), x);
    ASSERT_NE(found, r.xids.end()) << "the 64 + 64 bytes come back exactly";
    EXPECT_NE(std::find(r.xids.begin(), r.xids.end(), small), r.xids.end());
    EXPECT_EQ(commit(b.hDbc, *found), kOk) << "the recovered XID names the branch";
    EXPECT_EQ(rollback(b.hDbc, small), kOk);
    EXPECT_EQ(std::stoi(b.scalar("SELECT coalesce(sum(v), 0) FROM " + table).value_or("-1")), 1);
}

TEST_F(XaPostgres, AReadOnlyBranchPreparesToRdonlyAndLeavesNothingPrepared) {
    Xid x = xid();
    const auto preparedNow = [&] {
        return b.scalar("SELECT count(*) FROM pg_prepared_xacts WHERE database = current_database()");
    };
    const int before = pending(b.hDbc);
    const auto rawBefore = preparedNow();
    ASSERT_EQ(start(a.hDbc, x), kOk);
    a.query("SELECT count(*) FROM " + table);
    ASSERT_EQ(end(a.hDbc, x), kOk);
    EXPECT_EQ(prepare(a.hDbc, x), (Outcome{0, RUVA70_XA_RDONLY}));
    EXPECT_EQ(pending(b.hDbc), before);
    EXPECT_EQ(preparedNow(), rawBefore);
    EXPECT_EQ(commit(b.hDbc, x), failed(RUVA70_XAER_NOTA)) << "nothing is left to commit";
}

TEST_F(XaPostgres, ADeferredConstraintViolatedAtPrepareGivesRbIntegrity) {
    const std::string t = qvt::uniqueName("xa_deferred");
    b.exec("CREATE TABLE " + t + " (v int UNIQUE DEFERRABLE INITIALLY DEFERRED)");
    Xid x = xid();
    ASSERT_EQ(start(a.hDbc, x), kOk);
    a.exec("INSERT INTO " + t + " VALUES (1)");
    a.exec("INSERT INTO " + t + " VALUES (1)");
    ASSERT_EQ(end(a.hDbc, x), kOk);
    EXPECT_EQ(prepare(a.hDbc, x), failed(RUVA70_XA_RBINTEGRITY));
    EXPECT_FALSE(listed(b.hDbc, x));
    EXPECT_EQ(b.scalar("SELECT count(*) FROM " + t), "0");
    b.exec("DROP TABLE " + t);
}

// psqlODBC's error handling: Protocol=7.4-0 leaves the transaction in error,
// 7.4-1 rolls it back at once; PostgreSQL would answer PREPARE TRANSACTION
// with a silent rollback in both cases.
TEST_F(XaPostgres, ATransactionInErrorOrRolledBackIsNeverReportedPrepared) {
    for (const char* protocol : {"Protocol=7.4-0;", "Protocol=7.4-1;"}) {
        SCOPED_TRACE(protocol);
        Connection c;
        c.open(Source::Postgres, qvt::pgConnStr() + protocol);
        Xid x = xid();
        ASSERT_EQ(start(c.hDbc, x), kOk);
        insert(c, 1);
        EXPECT_NE(c.tryExec("SELECT 1/0"), SQL_SUCCESS);
        ASSERT_EQ(end(c.hDbc, x), kOk);
        EXPECT_EQ(prepare(c.hDbc, x), failed(RUVA70_XA_RBROLLBACK));
        EXPECT_FALSE(listed(b.hDbc, x));
        // The connection can run a new branch.
        Xid y = xid();
        preparedBranch(c, y, 7);
        EXPECT_EQ(commit(c.hDbc, y), kOk);
    }
    EXPECT_EQ(rows(), 2);
}

TEST_F(XaPostgres, EndWithTmFailRollsTheBranchBack) {
    Xid x = xid();
    ASSERT_EQ(start(a.hDbc, x), kOk);
    insert(a, 1);
    ASSERT_EQ(end(a.hDbc, x, RUVA70_TMFAIL), kOk);
    EXPECT_EQ(prepare(a.hDbc, x), failed(RUVA70_XA_RBROLLBACK));
    EXPECT_FALSE(listed(b.hDbc, x));
    EXPECT_EQ(rows(), 0);
}

TEST_F(XaPostgres, AutocommitOffBranchesAndLocalTransactions) {
    setAutocommit(a, SQL_AUTOCOMMIT_OFF);
    Xid x = xid();
    preparedBranch(a, x, 1);
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(commit(a.hDbc, x), kOk) << "COMMIT PREPARED outside psqlODBC's own transaction";
    EXPECT_EQ(rows(), 1);
    Xid y = xid();
    ended(a, y, 2);
    EXPECT_EQ(commit(a.hDbc, y, RUVA70_TMONEPHASE), kOk);
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(autocommit(a), SQL_AUTOCOMMIT_OFF) << "the setting is the application's";

    // Local work in progress: XA refuses to take it over or to run beside it.
    Xid z = xid();
    preparedBranch(b, z, 3);
    insert(a, 9);
    EXPECT_EQ(start(a.hDbc, xid()), failed(RUVA70_XAER_OUTSIDE));
    EXPECT_EQ(commit(a.hDbc, z), failed(RUVA70_XAER_PROTO));
    EXPECT_EQ(JC(transact, a.hEnv, a.hDbc, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_EQ(rollback(a.hDbc, z), kOk);
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(autocommit(a), SQL_AUTOCOMMIT_OFF);

    // With autocommit on, an application's own BEGIN is local work too.
    b.exec("BEGIN");
    EXPECT_EQ(start(b.hDbc, xid()), failed(RUVA70_XAER_OUTSIDE));
    b.exec("ROLLBACK");
}

TEST_F(XaPostgres, RecoverScansWithCountZeroABufferForTenAndMoreBranchesThanCount) {
    ASSERT_EQ(pending(b.hDbc), 0) << "no prepared branch left by an earlier test";
    Xid x1 = xid(), x2 = xid(), x3 = xid();
    preparedBranch(a, x1, 1);
    preparedBranch(a, x2, 2);
    EXPECT_EQ(recover(b.hDbc, 0).outcome, (Outcome{0, 0})) << "count 0";

    JNIEnv* env = qvt::env();
    jclass xidClass = qvt::findClass("com/quorvane/jdbc/xa/QuorvaneXid");
    jobject sentinel =
        env->NewObject(xidClass, env->GetMethodID(xidClass, "<init>", "(III[B)V"), 5, 1, 0, qvt::bytes("s"));
    jobjectArray ten = env->NewObjectArray(10, xidClass, sentinel);
    Outcome o =
        withError([&](jobject e) { XAC(xaRecover, b.hDbc, ten, 10, RUVA70_TMSTARTRSCAN | RUVA70_TMENDRSCAN, e); });
    EXPECT_EQ(o, (Outcome{0, 2}));
    EXPECT_EQ(fromJava(env->GetObjectArrayElement(ten, 0)), x1) << "oldest first";
    EXPECT_EQ(fromJava(env->GetObjectArrayElement(ten, 1)), x2);
    for (jsize i = 2; i < 10; ++i) EXPECT_TRUE(env->IsSameObject(env->GetObjectArrayElement(ten, i), sentinel)) << i;

    preparedBranch(a, x3, 3);
    auto first = recover(b.hDbc, 2, RUVA70_TMSTARTRSCAN);
    EXPECT_EQ(first.outcome, (Outcome{0, 2}));
    auto rest = recover(b.hDbc, 2, RUVA70_TMNOFLAGS);
    EXPECT_EQ(rest.outcome, (Outcome{0, 1}));
    EXPECT_EQ(recover(b.hDbc, 2, RUVA70_TMENDRSCAN).outcome, (Outcome{0, 0}));
    EXPECT_EQ(recover(b.hDbc, 2, RUVA70_TMNOFLAGS).outcome, failed(0)) << "the scan is closed";
    std::vector<Xid> all = first.xids;
    all.insert(all.end(), rest.xids.begin(), rest.xids.end());
    EXPECT_EQ(all, (std::vector<Xid>{x1, x2, x3}));
}

TEST_F(XaPostgres, PreparedTransactionsOfOtherFormsAreNotListed) {
    const int before = pending(b.hDbc);
    const int rawBefore = std::stoi(
        b.scalar("SELECT count(*) FROM pg_prepared_xacts WHERE database = current_database()").value_or(""));
    // Not base64, a non-canonical formatID, and a gtrid of 65 bytes.
    foreignGids = {"not-an-xa-branch", "01_Z3RyaWQ=_", "1_" + std::string(88, 'A') + "_"};
    Connection c;
    c.open(Source::Postgres);
    for (const std::string& gid : foreignGids) {
        c.exec("BEGIN");
        insert(c, 1);
        c.exec("PREPARE TRANSACTION '" + gid + "'");
    }
    EXPECT_EQ(pending(b.hDbc), before);
    EXPECT_EQ(static_cast<int>(recover(b.hDbc).xids.size()), before);
    EXPECT_EQ(b.scalar("SELECT count(*) FROM pg_prepared_xacts WHERE database = current_database()"),
              std::to_string(rawBefore + 3));
}

TEST_F(XaPostgres, ALostConnectionGivesRmfail) {
    Xid x = xid();
    const std::string pid = a.scalar("SELECT pg_backend_pid()").value_or("0");
    ASSERT_EQ(start(a.hDbc, x), kOk);
    insert(a, 1);
    ASSERT_EQ(end(a.hDbc, x), kOk);
    b.exec("SELECT pg_terminate_backend(" + pid + ")");
    EXPECT_EQ(prepare(a.hDbc, x), failed(RUVA70_XAER_RMFAIL));
    EXPECT_EQ(pending(a.hDbc), 0);
    EXPECT_EQ(recover(a.hDbc).outcome, failed(0));
    EXPECT_EQ(commit(a.hDbc, xid()), failed(RUVA70_XAER_RMFAIL));
    EXPECT_FALSE(listed(b.hDbc, x));
    EXPECT_EQ(rows(), 0);
}

// A pool closed the connection (the server rolled the branch back); the
// transaction manager still holds its handle. No call on that handle may
// answer XA_OK: a prepare vote of XA_OK would make it commit a branch that
// does not exist.
TEST_F(XaPostgres, AnXaCallOnAClosedConnectionsHandleAnswersAnXaError) {
    Connection c;
    c.open(Source::Postgres);
    Xid x = xid();
    ended(c, x, 1);
    const jint stale = c.hDbc;
    c.close();
    const Outcome refused{SQL_INVALID_HANDLE, RUVA70_XAER_RMFAIL};
    EXPECT_EQ(prepare(stale, x), refused);
    EXPECT_EQ(commit(stale, x, RUVA70_TMONEPHASE), refused);
    EXPECT_EQ(commit(stale, x), refused);
    EXPECT_EQ(rollback(stale, x), refused);
    EXPECT_EQ(end(stale, x), refused);
    EXPECT_EQ(start(stale, xid()), refused);
    EXPECT_EQ(forget(stale, x), refused);
    jint count = -1;
    EXPECT_EQ(withError([&](jobject e) { count = XAC(getPendingXidNum, stale, e); }),
              (Outcome{SQL_INVALID_HANDLE, 0}));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(recover(stale).outcome, (Outcome{SQL_INVALID_HANDLE, 0}));
    EXPECT_FALSE(listed(b.hDbc, x));
    EXPECT_EQ(rows(), 0);
}

// The server rolls back a disconnected session's branch, so its XID is free
// at once: another connection may start it, and the same handle, connected
// again, starts a branch of its own.
TEST_F(XaPostgres, AnXidIsFreeForAnotherConnectionAfterItsConnectionDisconnected) {
    Connection c;
    c.open(Source::Postgres);
    Xid active = xid(), endedX = xid();
    ASSERT_EQ(start(c.hDbc, active), kOk);
    insert(c, 1);
    jbyteArray ec = qvt::errorCode();
    JC(disconnect, c.hDbc, ec);
    ASSERT_EQ(qvt::at(ec, 0), 0);
    EXPECT_EQ(commit(b.hDbc, active), failed(RUVA70_XAER_NOTA)) << "not prepared, and held by no one";
    EXPECT_EQ(start(b.hDbc, active), kOk);
    insert(b, 2);
    EXPECT_EQ(end(b.hDbc, active), kOk);
    EXPECT_EQ(commit(b.hDbc, active, RUVA70_TMONEPHASE), kOk);
    EXPECT_EQ(rows(), 1) << "only the second connection's row";

    // The same handle connects again (as a pool reuses it): idle, not
    // associated with the branch it had.
    JC(driverConnect, c.hDbc, qvt::zstr(c.connStr), ec);
    ASSERT_EQ(qvt::at(ec, 0), 0);
    ended(c, endedX, 3);
    JC(disconnect, c.hDbc, ec);
    JC(freeConnect, c.hDbc, ec);
    ASSERT_EQ(qvt::at(ec, 0), 0);
    c.hDbc = 0;
    EXPECT_EQ(rollback(a.hDbc, endedX), failed(RUVA70_XAER_NOTA)) << "freed with its connection";
    EXPECT_EQ(start(a.hDbc, endedX), kOk);
    EXPECT_EQ(rollback(a.hDbc, endedX), kOk);
    EXPECT_EQ(rows(), 1);
}

// getDataStoreState runs a statement; in manual-commit mode it must not leave
// a transaction open that the application did not begin (xaStart would then
// answer XAER_OUTSIDE), and must not end one that the application began.
TEST_F(XaPostgres, DataStoreStateInManualCommitModeLeavesXaStartPossible) {
    setAutocommit(a, SQL_AUTOCOMMIT_OFF);
    jbyteArray ec = qvt::errorCode();
    EXPECT_EQ(JC(getDataStoreState, a.hDbc, ec), RUVA70_STORE_READ_WRITE);
    ASSERT_EQ(qvt::at(ec, 0), 0);
    EXPECT_EQ(autocommit(a), SQL_AUTOCOMMIT_OFF);
    // No transaction open: the next statement's transaction begins with it.
    EXPECT_EQ(a.scalar("SELECT (now() = statement_timestamp())::int"), "1");
    EXPECT_EQ(JC(transact, a.hEnv, a.hDbc, SQL_ROLLBACK), SQL_SUCCESS);
    JC(getDataStoreState, a.hDbc, ec);
    Xid x = xid();
    ASSERT_EQ(start(a.hDbc, x), kOk);
    insert(a, 1);
    ASSERT_EQ(end(a.hDbc, x), kOk);
    ASSERT_EQ(prepare(a.hDbc, x), kOk);
    EXPECT_EQ(commit(b.hDbc, x), kOk);
    EXPECT_EQ(rows(), 1);

    // The application's own transaction stays open, with its work.
    insert(a, 2);
    EXPECT_EQ(JC(getDataStoreState, a.hDbc, ec), RUVA70_STORE_READ_WRITE);
    EXPECT_EQ(rows(), 1) << "still uncommitted";
    EXPECT_EQ(JC(transact, a.hEnv, a.hDbc, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_EQ(rows(), 1) << "rolled back with the application's transaction";
}

// ---------------------------------------------------------------------------
// Recovery in another process
// ---------------------------------------------------------------------------

std::string hex(const std::string& s) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char ch : s) {
        out += digits[ch >> 4];
        out += digits[ch & 15];
    }
    return out;
}

std::string unhex(const std::string& s) {
    std::string out;
    for (size_t i = 0; i + 1 < s.size(); i += 2) out += static_cast<char>(std::stoi(s.substr(i, 2), nullptr, 16));
    return out;
}

// Runs one disabled test of this binary in a new process with extra
// environment; returns its wait status.
int runChild(const std::string& test, const std::vector<std::string>& extraEnv, std::string& log) {
    const std::string out = qvt::tempDir() + "/xa-pg-child-" + std::to_string(getpid()) + ".log";
    std::vector<std::string> args = {"/proc/self/exe", "--gtest_also_run_disabled_tests", "--gtest_filter=" + test};
    std::vector<std::string> envs = extraEnv;
    for (char** e = environ; *e; ++e) envs.emplace_back(*e);
    std::vector<char*> argv, envp;
    for (auto& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    for (auto& s : envs) envp.push_back(s.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(out);
    log.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::remove(out.c_str());
    return status;
}

TEST_F(XaPostgres, RecoveryInANewProcessAfterCloseOrKill) {
    struct Case {
        bool kill;
        const char* action;
        int rows;
    };
    for (Case c :
         {Case{false, "commit", 1}, Case{true, "rollback", 0}, Case{true, "commit", 1}, Case{false, "rollback", 0}}) {
        SCOPED_TRACE(std::string(c.kill ? "killed, " : "closed, ") + c.action);
        b.exec("DELETE FROM " + table);
        Xid x = xid();
        x.bqual = std::string("\0q'", 3);
        used.back() = x;
        const std::vector<std::string> env = {"QVT_XA_FMT=" + std::to_string(x.fmt), "QVT_XA_GTRID=" + hex(x.gtrid),
                                              "QVT_XA_BQUAL=" + hex(x.bqual), "QVT_XA_TABLE=" + table,
                                              std::string("QVT_XA_ACTION=") + c.action};
        std::string log;
        if (c.kill) {
            const int status = runChild("XaPostgresChild.DISABLED_PrepareAndDie", env, log);
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << log;
        } else {
            Connection p;
            p.open(Source::Postgres);
            preparedBranch(p, x);
            p.close();
        }
        EXPECT_EQ(rows(), 0);
        const int status = runChild("XaPostgresChild.DISABLED_RecoverAndFinish", env, log);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << log;
        EXPECT_EQ(rows(), c.rows);
        EXPECT_FALSE(listed(b.hDbc, x));
    }
}

Xid childXid() {
    return Xid{std::atoi(std::getenv("QVT_XA_FMT")), unhex(std::getenv("QVT_XA_GTRID")),
               unhex(std::getenv("QVT_XA_BQUAL"))};
}

// Run by the test above only: prepares the branch and dies without closing.
TEST(XaPostgresChild, DISABLED_PrepareAndDie) {
    qvt::LocalFrame frame;
    Connection c;
    c.open(Source::Postgres);
    Xid x = childXid();
    ASSERT_EQ(start(c.hDbc, x), kOk);
    c.exec(std::string("INSERT INTO ") + std::getenv("QVT_XA_TABLE") + " VALUES (1)");
    ASSERT_EQ(end(c.hDbc, x), kOk);
    ASSERT_EQ(prepare(c.hDbc, x), kOk);
    raise(SIGKILL);
}

// Run by the test above only: finds the branch with recover and ends it.
TEST(XaPostgresChild, DISABLED_RecoverAndFinish) {
    qvt::LocalFrame frame;
    Connection c;
    c.open(Source::Postgres);
    Xid x = childXid();
    auto r = recover(c.hDbc);
    auto found = std::find(r.xids.begin(), r.xids.end(), x);
    ASSERT_NE(found, r.xids.end());
    const bool doCommit = std::string(std::getenv("QVT_XA_ACTION")) == "commit";
    EXPECT_EQ(doCommit ? commit(c.hDbc, *found) : rollback(c.hDbc, *found), kOk);
}

}  // namespace
