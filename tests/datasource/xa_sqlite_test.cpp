// XA on SQLite, a data source without two-phase commit, through the JNI
// entry points: every operation reports XAER_RMERR (a count of 0 for recover
// and pending) with a diagnostic, and a connection that is not connected
// reports XAER_RMFAIL.
#include "dsconn.h"
#include "jcall.h"
#include "qvjdbc/ruva70.h"

#include <string>

namespace {

struct Outcome {
    int ret, code;
    bool operator==(const Outcome& o) const { return ret == o.ret && code == o.code; }
};
std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    return os << "{ret " << o.ret << ", xa " << o.code << "}";
}

Outcome read(jobject e) {
    JNIEnv* env = qvt::env();
    jclass c = env->GetObjectClass(e);
    Outcome o{};
    o.ret = env->CallByteMethod(e, env->GetMethodID(c, "getRetCode", "()B"));
    EXPECT_FALSE(env->ExceptionCheck());
    o.code = env->CallIntMethod(e, env->GetMethodID(c, "getXAErrCode", "()I"));
    EXPECT_FALSE(env->ExceptionCheck());
    env->DeleteLocalRef(c);
    return o;
}

// The counts of xa_pending and xa_recover read 0 on failure.
bool isCount(const std::string& name) {
    return name == "xaRecover" || name == "getPendingXidNum";
}

// Every XA operation on `h`, as (name, outcome); pending's outcome carries
// its result as the code.
std::vector<std::pair<std::string, Outcome>> everyOperation(jint h) {
    std::vector<std::pair<std::string, Outcome>> out;
    auto err = [] { return qvt::newObject("com/quorvane/jdbc/xa/QuorvaneXAError"); };
    jbyteArray data = qvt::bytes("gtrid-bq");
    jobject e = err();
    XAC(xaStart, h, 7, 5, 3, data, RUVA70_TMNOFLAGS, e);
    out.emplace_back("xaStart", read(e));
    XAC(xaEnd, h, 7, 5, 3, data, RUVA70_TMSUCCESS, e = err());
    out.emplace_back("xaEnd", read(e));
    jint prepared = XAC(xaPrepare, h, 7, 5, 3, data, RUVA70_TMNOFLAGS, e = err());
    out.emplace_back("xaPrepare", read(e));
    out.emplace_back("xaPrepare's result", Outcome{-1, prepared});
    XAC(xaCommit, h, 7, 5, 3, data, 0, 0, e = err());
    out.emplace_back("xaCommit", read(e));
    XAC(xaCommit, h, 7, 5, 3, data, RUVA70_TMONEPHASE, 0, e = err());
    out.emplace_back("xaCommit one-phase", read(e));
    XAC(xaRollback, h, 7, 5, 3, data, 0, 0, e = err());
    out.emplace_back("xaRollback", read(e));
    XAC(xaForget, h, 7, 5, 3, data, RUVA70_TMNOFLAGS, e = err());
    out.emplace_back("xaForget", read(e));
    jobjectArray xids = qvt::env()->NewObjectArray(4, qvt::findClass("com/quorvane/jdbc/xa/QuorvaneXid"), nullptr);
    XAC(xaRecover, h, xids, 4, RUVA70_TMSTARTRSCAN | RUVA70_TMENDRSCAN, e = err());
    out.emplace_back("xaRecover", read(e));
    EXPECT_EQ(qvt::env()->GetObjectArrayElement(xids, 0), nullptr) << "recover stores nothing";
    jint count = XAC(getPendingXidNum, h, e = err());
    out.emplace_back("getPendingXidNum", Outcome{read(e).ret, count});
    EXPECT_NO_JAVA_EXCEPTION();
    return out;
}

std::string lastState(jint hDbc) {
    jbyteArray state = qvt::newBytes(6), msg = qvt::newBytes(300), ec = qvt::errorCode();
    XAC(error, 0, hDbc, 0, state, msg, ec);
    return qvt::at(ec, 0) == 0 ? qvt::cstr(state) : "none";
}

TEST(XaSqlite, EveryOperationReportsRmerrWithADiagnostic) {
    qvt::LocalFrame frame(512);
    qvt::Connection c;
    c.open(qvt::Source::Sqlite);
    for (const auto& [name, outcome] : everyOperation(c.hDbc)) {
        EXPECT_EQ(outcome, (Outcome{-1, isCount(name) ? 0 : RUVA70_XAER_RMERR})) << name;
    }
    EXPECT_EQ(lastState(c.hDbc), "S1C00");
}

TEST(XaSqlite, AConnectionThatIsNotConnectedReportsRmfail) {
    qvt::LocalFrame frame(512);
    jbyteArray ec = qvt::errorCode();
    jint env = JC(allocEnv, ec);
    jint dbc = JC(allocConnect, env, ec);
    for (const auto& [name, outcome] : everyOperation(dbc)) {
        EXPECT_EQ(outcome, (Outcome{-1, isCount(name) ? 0 : RUVA70_XAER_RMFAIL})) << name;
    }
    EXPECT_EQ(lastState(dbc), "08003");
    JC(freeConnect, dbc, ec);
    JC(freeEnv, env, ec);
}

}  // namespace
