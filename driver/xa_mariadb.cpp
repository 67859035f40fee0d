// The XA operations on MariaDB: one transaction branch per connection,
// carried out with the server's own XA statements (XA START, END, PREPARE,
// COMMIT, ROLLBACK, RECOVER). The server keeps each branch's state; this
// file keeps only what the server cannot tell cheaply: which XID the
// connection is associated with, whether end marked it failed, and an open
// recovery scan.
//
// A connection moves through
//   idle --start--> active --end--> ended --prepare--> prepared
//   ended / prepared --commit / rollback--> idle
// A prepared branch stays attached to the session that prepared it while that
// session lives: MariaDB refuses other statements on it (XAE07), and another
// session that commits or rolls it back is told XAER_NOTA. Once the session
// ends (a disconnect, a killed process) the branch belongs to the database,
// and any connection may list, commit or roll it back.
//
// XA RECOVER cannot be read through MariaDB Connector/ODBC 3.1: it describes
// the result with 0 columns, leaves the rows on the link, and the next
// statement on the connection crashes inside the driver. The same rows come
// through an anonymous compound statement that runs it, which the driver
// reads as a procedure's result.
#include "xa.h"

#include "qvjdbc/ruva70.h"

#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace ruva {
namespace {

// XA_RBBASE..XA_RBEND: the branch was rolled back.
bool rollbackCode(SQLINTEGER code) {
    return code >= 100 && code <= 107;
}

bool validXid(const RUVA70_XID* x) {
    // MariaDB takes a formatID of 0..2^31-1 only; -1 is X/Open's null XID.
    return x && x->formatID >= 0 && x->gtrid_length >= 1 && x->gtrid_length <= 64 && x->bqual_length >= 0 &&
           x->bqual_length <= 64;
}

bool sameXid(const RUVA70_XID& a, const RUVA70_XID& b) {
    return a.formatID == b.formatID && a.gtrid_length == b.gtrid_length && a.bqual_length == b.bqual_length &&
           std::memcmp(a.data, b.data, static_cast<size_t>(a.gtrid_length + a.bqual_length)) == 0;
}

std::string hex(const char* p, int32_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "X'";
    for (int32_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(p[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out + "'";
}

// The XID as MariaDB's statements take it: gtrid, bqual, formatID. Every
// byte value survives as a hexadecimal literal.
std::string xidText(const RUVA70_XID& x) {
    return hex(x.data, x.gtrid_length) + "," + hex(x.data + x.gtrid_length, x.bqual_length) + "," +
           std::to_string(x.formatID);
}

// ---------------------------------------------------------------------------
// Association state, per connection handle value
// ---------------------------------------------------------------------------

enum class Assoc { Idle, Active, Ended, Prepared };

struct Branch {
    Assoc assoc = Assoc::Idle;
    RUVA70_XID xid{};
    bool rollbackOnly = false;
    bool scanOpen = false;
    std::vector<RUVA70_XID> scan;
    size_t scanPos = 0;
};

std::mutex gMu;
std::unordered_map<uint32_t, Branch>& branches() {
    static auto* m = new std::unordered_map<uint32_t, Branch>();
    return *m;
}

Branch snapshot(uint32_t self) {
    std::lock_guard<std::mutex> lock(gMu);
    auto it = branches().find(self);
    return it == branches().end() ? Branch{} : it->second;
}

void store(uint32_t self, const Branch& b) {
    std::lock_guard<std::mutex> lock(gMu);
    if (b.assoc == Assoc::Idle && !b.scanOpen)
        branches().erase(self);
    else
        branches()[self] = b;
}

void toIdle(Branch& b) {
    b.assoc = Assoc::Idle;
    b.xid = RUVA70_XID{};
    b.rollbackOnly = false;
}

// ---------------------------------------------------------------------------
// Statements on the session
// ---------------------------------------------------------------------------

struct Result {
    SQLRETURN rc = SQL_ERROR;
    std::string state;
    SQLINTEGER native = 0;
    std::string message;
    std::vector<RUVA70_XID> xids;  // the rows of a recovery listing

    bool ok() const { return SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA; }
    // The link broke (2006 server gone away, 2013 lost during a query) or
    // the connection is not open.
    bool lost() const {
        return !ok() && (state.rfind("08", 0) == 0 || native == 2006 || native == 2013 || native == 2055);
    }
};

void firstRecord(SQLHDBC dbc, SQLHSTMT st, Result& r) {
    SQLCHAR state[6] = {};
    SQLCHAR msg[SQL_MAX_MESSAGE_LENGTH + 1] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (SQL_SUCCEEDED(
            DM().SQLError(SQL_NULL_HENV, st ? SQL_NULL_HDBC : dbc, st, state, &native, msg, sizeof msg, &len))) {
        r.state = reinterpret_cast<char*>(state);
        r.native = native;
        r.message = reinterpret_cast<char*>(msg);
    }
}

// Reads the rows of XA RECOVER: formatID, gtrid_length, bqual_length, data.
void readXids(SQLHSTMT st, Result& r) {
    const DriverManager& d = DM();
    SQLSMALLINT cols = 0;
    if (!SQL_SUCCEEDED(d.SQLNumResultCols(st, &cols)) || cols < 4) return;
    while (SQL_SUCCEEDED(d.SQLFetch(st))) {
        SQLINTEGER format = 0, gl = 0, bl = 0;
        SQLLEN ind[4] = {};
        char data[129] = {};
        if (!SQL_SUCCEEDED(d.SQLGetData(st, 1, SQL_C_SLONG, &format, 0, &ind[0])) ||
            !SQL_SUCCEEDED(d.SQLGetData(st, 2, SQL_C_SLONG, &gl, 0, &ind[1])) ||
            !SQL_SUCCEEDED(d.SQLGetData(st, 3, SQL_C_SLONG, &bl, 0, &ind[2])) ||
            !SQL_SUCCEEDED(d.SQLGetData(st, 4, SQL_C_BINARY, data, sizeof data - 1, &ind[3])))
            continue;
        RUVA70_XID x{};
        x.formatID = format;
        x.gtrid_length = gl;
        x.bqual_length = bl;
        // A row whose lengths do not add up to its data is skipped, never cut.
        if (!validXid(&x) || ind[3] != gl + bl) continue;
        std::memcpy(x.data, data, static_cast<size_t>(gl + bl));
        r.xids.push_back(x);
    }
}

Result run(XaConnection& c, const std::string& sql, bool listing = false) {
    const DriverManager& d = DM();
    Result r;
    SQLHSTMT st = SQL_NULL_HSTMT;
    r.rc = d.SQLAllocStmt(c.dbc, &st);
    if (!SQL_SUCCEEDED(r.rc)) {
        firstRecord(c.dbc, SQL_NULL_HSTMT, r);
        if (r.state.empty()) r.state = "08003";
        r.rc = SQL_ERROR;
        return r;
    }
    d.SQLSetStmtOption(st, SQL_MAX_ROWS, 0);
    r.rc = d.SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    if (r.rc != SQL_SUCCESS) firstRecord(c.dbc, st, r);
    if (listing && SQL_SUCCEEDED(r.rc)) {
        readXids(st, r);
        // The compound statement's own status follows its rows: read to the
        // end, so the link carries nothing when the next statement goes.
        while (SQL_SUCCEEDED(d.SQLMoreResults(st))) {
        }
    }
    d.SQLFreeStmt(st, SQL_DROP);
    return r;
}

// ---------------------------------------------------------------------------
// Outcomes
// ---------------------------------------------------------------------------

SQLINTEGER answer(XaConnection& c, SQLINTEGER* out, SQLINTEGER code, const char* state = nullptr,
                  const std::string& message = "") {
    if (out) *out = code;
    if (state) addDiag(c.handle, state, message);
    return code == RUVA70_XA_OK || code == RUVA70_XA_RDONLY ? SQL_SUCCESS : SQL_ERROR;
}

SQLINTEGER invalid(XaConnection& c, SQLINTEGER* out, const std::string& what) {
    return answer(c, out, RUVA70_XAER_INVAL, "S1009", what);
}

SQLINTEGER outOfOrder(XaConnection& c, SQLINTEGER* out, const std::string& what) {
    return answer(c, out, RUVA70_XAER_PROTO, "S1010", what);
}

SQLINTEGER unknown(XaConnection& c, SQLINTEGER* out) {
    return answer(c, out, RUVA70_XAER_NOTA, "S1000", "the transaction branch is not known");
}

SQLINTEGER notSupported(XaConnection& c, SQLINTEGER* out, const std::string& what) {
    return answer(c, out, RUVA70_XAER_RMERR, "S1C00", what);
}

// The XA code of a failed XA statement, from MariaDB's error number.
SQLINTEGER codeOf(const Result& r) {
    if (r.lost()) return RUVA70_XAER_RMFAIL;
    switch (r.native) {
        case 1397:
            return RUVA70_XAER_NOTA;
        case 1398:
            return RUVA70_XAER_INVAL;
        case 1399:
            return RUVA70_XAER_PROTO;  // not possible in the branch's state
        case 1400:
            return RUVA70_XAER_OUTSIDE;
        case 1440:
            return RUVA70_XAER_DUPID;
        case 1402:
            return RUVA70_XA_RBROLLBACK;
        case 1613:
            return RUVA70_XA_RBTIMEOUT;
        case 1614:
            return RUVA70_XA_RBDEADLOCK;
        default:
            return RUVA70_XAER_RMERR;
    }
}

SQLINTEGER failed(XaConnection& c, SQLINTEGER* out, const Result& r) {
    const SQLINTEGER code = codeOf(r);
    if (code == RUVA70_XAER_RMFAIL)
        return answer(c, out, code, "08S01", "the connection to the data source is lost: " + r.message);
    const bool rolledBack = rollbackCode(code);
    return answer(c, out, code, r.state.size() == 5 ? r.state.c_str() : "S1000",
                  rolledBack ? "the branch was rolled back: " + r.message : r.message);
}

SQLINTEGER countFailure(XaConnection& c, SQLINTEGER* count, const Result& r) {
    SQLINTEGER ignored = 0;
    failed(c, &ignored, r);
    if (count) *count = 0;
    return SQL_ERROR;
}

bool checkFlags(XaConnection& c, SQLINTEGER flags, SQLINTEGER allowed, SQLINTEGER* out, SQLINTEGER& result) {
    constexpr SQLINTEGER kDefined = RUVA70_TMJOIN | RUVA70_TMENDRSCAN | RUVA70_TMSTARTRSCAN | RUVA70_TMSUSPEND |
                                    RUVA70_TMSUCCESS | RUVA70_TMRESUME | RUVA70_TMFAIL | RUVA70_TMONEPHASE |
                                    RUVA70_TMNOWAIT | RUVA70_TMASYNC | RUVA70_TMMIGRATE;
    if (flags & ~kDefined) {
        result = invalid(c, out, "undefined XA flags");
        return false;
    }
    if (flags & ~allowed) {
        result = notSupported(c, out, "the XA flags are not supported on MariaDB");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------

SQLINTEGER myStart(XaConnection& c, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode) {
    if (!validXid(xid)) return invalid(c, xaCode, "the XID is null or out of MariaDB's range");
    SQLINTEGER result = 0;
    if (flags & (RUVA70_TMJOIN | RUVA70_TMRESUME))
        return notSupported(c, xaCode, "joining or resuming a branch is not supported on MariaDB");
    if (!checkFlags(c, flags, RUVA70_TMNOFLAGS, xaCode, result)) return result;
    Branch b = snapshot(c.value);
    if (b.assoc != Assoc::Idle)
        return outOfOrder(c, xaCode,
                          b.assoc == Assoc::Prepared
                              ? "the connection holds a prepared branch until it is committed or rolled back"
                              : "the connection is associated with a branch already");
    Result r = run(c, "XA START " + xidText(*xid));
    if (!r.ok()) return failed(c, xaCode, r);
    b.assoc = Assoc::Active;
    b.xid = *xid;
    b.rollbackOnly = false;
    store(c.value, b);
    return answer(c, xaCode, RUVA70_XA_OK);
}

SQLINTEGER myEnd(XaConnection& c, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode) {
    if (!validXid(xid)) return invalid(c, xaCode, "the XID is null or out of MariaDB's range");
    SQLINTEGER result = 0;
    if (flags & RUVA70_TMSUSPEND) return notSupported(c, xaCode, "suspending a branch is not supported on MariaDB");
    if (!checkFlags(c, flags, RUVA70_TMSUCCESS | RUVA70_TMFAIL, xaCode, result)) return result;
    if ((flags & RUVA70_TMSUCCESS) && (flags & RUVA70_TMFAIL)) return invalid(c, xaCode, "TMSUCCESS with TMFAIL");
    Branch b = snapshot(c.value);
    if (b.assoc == Assoc::Idle || !sameXid(b.xid, *xid)) return unknown(c, xaCode);
    if (b.assoc != Assoc::Active) return outOfOrder(c, xaCode, "the branch is not active");
    Result r = run(c, "XA END " + xidText(*xid));
    if (!r.ok()) {
        const SQLINTEGER code = codeOf(r);
        // The server rolled the branch back (a deadlock, say): it is gone.
        if (code == RUVA70_XAER_RMFAIL || rollbackCode(code)) {
            toIdle(b);
            store(c.value, b);
        }
        return failed(c, xaCode, r);
    }
    b.assoc = Assoc::Ended;
    b.rollbackOnly = (flags & RUVA70_TMFAIL) != 0;
    store(c.value, b);
    return answer(c, xaCode, RUVA70_XA_OK);
}

// Rolls back the connection's ended branch that end marked failed.
SQLINTEGER rollBackFailed(XaConnection& c, Branch& b, SQLINTEGER* xaCode) {
    Result r = run(c, "XA ROLLBACK " + xidText(b.xid));
    toIdle(b);
    store(c.value, b);
    if (!r.ok() && r.lost()) return failed(c, xaCode, r);
    return answer(c, xaCode, RUVA70_XA_RBROLLBACK, "S1000", "the branch was marked failed at its end; rolled back");
}

SQLINTEGER myPrepare(XaConnection& c, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode) {
    if (!validXid(xid)) return invalid(c, xaCode, "the XID is null or out of MariaDB's range");
    SQLINTEGER result = 0;
    if (!checkFlags(c, flags, RUVA70_TMNOFLAGS, xaCode, result)) return result;
    Branch b = snapshot(c.value);
    if (b.assoc == Assoc::Idle || !sameXid(b.xid, *xid)) return unknown(c, xaCode);
    if (b.assoc != Assoc::Ended) return outOfOrder(c, xaCode, "the branch is not ended");
    if (b.rollbackOnly) return rollBackFailed(c, b, xaCode);
    Result r = run(c, "XA PREPARE " + xidText(*xid));
    if (!r.ok()) {
        const SQLINTEGER code = codeOf(r);
        if (code == RUVA70_XAER_RMFAIL || rollbackCode(code)) {
            toIdle(b);
            store(c.value, b);
        }
        return failed(c, xaCode, r);
    }
    b.assoc = Assoc::Prepared;
    store(c.value, b);
    return answer(c, xaCode, RUVA70_XA_OK);
}

// COMMIT or ROLLBACK of a prepared branch, this connection's or one whose
// session has ended.
SQLINTEGER finish(XaConnection& c, const RUVA70_XID& xid, const char* command, SQLINTEGER* xaCode) {
    Branch b = snapshot(c.value);
    const bool own = b.assoc == Assoc::Prepared && sameXid(b.xid, xid);
    if (b.assoc != Assoc::Idle && !own)
        return outOfOrder(c, xaCode, "the connection is associated with another branch");
    Result r = run(c, std::string(command) + " " + xidText(xid));
    if (own && (r.ok() || codeOf(r) == RUVA70_XAER_NOTA || r.lost())) {
        toIdle(b);
        store(c.value, b);
    }
    if (!r.ok()) return failed(c, xaCode, r);
    return answer(c, xaCode, RUVA70_XA_OK);
}

SQLINTEGER checkOptions(XaConnection& c, SQLINTEGER option2, SQLINTEGER* xaCode, bool& ok) {
    SQLINTEGER result = 0;
    ok = checkFlags(c, option2, RUVA70_TMNOFLAGS, xaCode, result);
    return result;
}

SQLINTEGER myCommit(XaConnection& c, RUVA70_XID* xid, SQLINTEGER option1, SQLINTEGER option2, SQLINTEGER* xaCode) {
    if (!validXid(xid)) return invalid(c, xaCode, "the XID is null or out of MariaDB's range");
    bool ok = false;
    const SQLINTEGER refused = checkOptions(c, option2, xaCode, ok);
    if (!ok) return refused;
    if (option1 != 0 && option1 != 1 && option1 != RUVA70_TMONEPHASE)
        return invalid(c, xaCode, "commit's first option is 0 (two-phase) or 1 / TMONEPHASE (one-phase)");
    if (option1 == 0) return finish(c, *xid, "XA COMMIT", xaCode);
    Branch b = snapshot(c.value);
    if (b.assoc == Assoc::Idle || !sameXid(b.xid, *xid)) return unknown(c, xaCode);
    if (b.assoc != Assoc::Ended) return outOfOrder(c, xaCode, "one-phase commit of a branch that is not ended");
    if (b.rollbackOnly) return rollBackFailed(c, b, xaCode);
    Result r = run(c, "XA COMMIT " + xidText(*xid) + " ONE PHASE");
    const SQLINTEGER code = r.ok() ? RUVA70_XA_OK : codeOf(r);
    if (code != RUVA70_XAER_PROTO && code != RUVA70_XAER_INVAL) {
        toIdle(b);
        store(c.value, b);
    }
    if (!r.ok()) return failed(c, xaCode, r);
    return answer(c, xaCode, RUVA70_XA_OK);
}

SQLINTEGER myRollback(XaConnection& c, RUVA70_XID* xid, SQLINTEGER option1, SQLINTEGER option2, SQLINTEGER* xaCode) {
    if (!validXid(xid)) return invalid(c, xaCode, "the XID is null or out of MariaDB's range");
    bool ok = false;
    const SQLINTEGER refused = checkOptions(c, option2, xaCode, ok);
    if (!ok) return refused;
    if (option1 != 0) return invalid(c, xaCode, "rollback's first option is reserved and must be 0");
    Branch b = snapshot(c.value);
    if ((b.assoc == Assoc::Active || b.assoc == Assoc::Ended) && sameXid(b.xid, *xid)) {
        // The connection's own branch before prepare: ended first if active.
        if (b.assoc == Assoc::Active) {
            Result e = run(c, "XA END " + xidText(*xid));
            if (!e.ok() && e.lost()) {
                toIdle(b);
                store(c.value, b);
                return failed(c, xaCode, e);
            }
        }
        Result r = run(c, "XA ROLLBACK " + xidText(*xid));
        if (r.ok() || codeOf(r) == RUVA70_XAER_NOTA || r.lost() || rollbackCode(codeOf(r))) {
            toIdle(b);
            store(c.value, b);
        }
        if (!r.ok() && rollbackCode(codeOf(r))) return answer(c, xaCode, RUVA70_XA_OK);  // rolled back either way
        if (!r.ok()) return failed(c, xaCode, r);
        return answer(c, xaCode, RUVA70_XA_OK);
    }
    return finish(c, *xid, "XA ROLLBACK", xaCode);
}

// The prepared branches of the server, as XA RECOVER lists them.
bool listPrepared(XaConnection& c, std::vector<RUVA70_XID>& xids, Result& failure) {
    Result r = run(c, "BEGIN NOT ATOMIC XA RECOVER; END", true);
    if (!r.ok()) {
        failure = r;
        return false;
    }
    xids = std::move(r.xids);
    return true;
}

SQLINTEGER myPending(XaConnection& c, SQLINTEGER* count) {
    std::vector<RUVA70_XID> xids;
    Result failure;
    if (!listPrepared(c, xids, failure)) return countFailure(c, count, failure);
    if (count) *count = static_cast<SQLINTEGER>(xids.size());
    return SQL_SUCCESS;
}

SQLINTEGER myRecover(XaConnection& c, RUVA70_XID* xids, SQLINTEGER count, SQLINTEGER flags, SQLINTEGER* found) {
    auto refuse = [&](const std::string& what) {
        SQLINTEGER ignored = 0;
        invalid(c, &ignored, what);
        if (found) *found = 0;
        return SQL_ERROR;
    };
    if (flags & ~(RUVA70_TMSTARTRSCAN | RUVA70_TMENDRSCAN)) return refuse("recover takes only the scan flags");
    if (count < 0 || (count > 0 && !xids)) return refuse("no room for the XIDs");
    Branch b = snapshot(c.value);
    if (flags & RUVA70_TMSTARTRSCAN) {
        Result failure;
        std::vector<RUVA70_XID> list;
        if (!listPrepared(c, list, failure)) return countFailure(c, found, failure);
        b.scan = std::move(list);
        b.scanPos = 0;
        b.scanOpen = true;
    } else if (!b.scanOpen) {
        return refuse("no recovery scan is open (TMSTARTRSCAN starts one)");
    }
    SQLINTEGER n = 0;
    while (n < count && b.scanPos < b.scan.size()) xids[n++] = b.scan[b.scanPos++];
    if (flags & RUVA70_TMENDRSCAN) {
        b.scanOpen = false;
        b.scan.clear();
        b.scanPos = 0;
    }
    store(c.value, b);
    if (found) *found = n;
    return SQL_SUCCESS;
}

SQLINTEGER myForget(XaConnection& c, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode) {
    if (!validXid(xid)) return invalid(c, xaCode, "the XID is null or out of MariaDB's range");
    SQLINTEGER result = 0;
    if (!checkFlags(c, flags, RUVA70_TMNOFLAGS, xaCode, result)) return result;
    // MariaDB keeps no heuristic outcomes: there is never one to forget.
    return unknown(c, xaCode);
}

void myClosed(uint32_t value) {
    std::lock_guard<std::mutex> lock(gMu);
    branches().erase(value);
}

const XaOperations kMariadbXa = {myStart,   myEnd,     myPrepare, myCommit, myRollback,
                                 myPending, myRecover, myForget,  myClosed};

}  // namespace

const XaOperations* mariadbXaOperations() {
    return &kMariadbXa;
}

}  // namespace ruva
