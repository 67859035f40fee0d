// The XA operations on PostgreSQL: one transaction branch per connection,
// carried out with the server's two-phase commit (PREPARE TRANSACTION,
// COMMIT PREPARED, ROLLBACK PREPARED, pg_prepared_xacts).
//
// A connection's association with a branch moves through
//   idle --start--> active --end--> ended --prepare / commit / rollback--> idle
// (start with TMJOIN takes an ended branch back to active). A prepared branch
// belongs to the database, not to the connection: once prepared, the
// connection is idle again and any connection of the same database can
// commit or roll the branch back, in this process or another.
//
// The branch is the session's transaction block: start opens it, prepare
// turns it into a prepared transaction named by the XID's gid (below), and
// one-phase commit or rollback ends it. psqlODBC keeps its own view of the
// session: with autocommit on it passes BEGIN through and then wraps each
// statement in a savepoint; with autocommit off it puts a BEGIN of its own
// before the first statement of every transaction. Both are handled below
// without ever changing the application's autocommit setting for longer
// than one statement that must run outside a transaction block.
#include "xa.h"

#include "qvjdbc/ruva70.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace ruva {
namespace {

// ---------------------------------------------------------------------------
// The gid: "<formatID>_<gtrid>_<bqual>", formatID in decimal (a negative one
// with its sign), gtrid and bqual in standard base64 with padding. At most
// 11 + 1 + 88 + 1 + 88 = 189 characters, within PostgreSQL's 199; every byte
// value survives, and the text needs no quoting inside an SQL literal.
// ---------------------------------------------------------------------------

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64(const unsigned char* p, size_t n) {
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    for (size_t i = 0; i < n; i += 3) {
        uint32_t v = static_cast<uint32_t>(p[i]) << 16;
        if (i + 1 < n) v |= static_cast<uint32_t>(p[i + 1]) << 8;
        if (i + 2 < n) v |= p[i + 2];
        out += kBase64[(v >> 18) & 63];
        out += kBase64[(v >> 12) & 63];
        out += i + 1 < n ? kBase64[(v >> 6) & 63] : '=';
        out += i + 2 < n ? kBase64[v & 63] : '=';
    }
    return out;
}

int base64Value(char c) {
    const char* p = std::strchr(kBase64, c);
    return c && p ? static_cast<int>(p - kBase64) : -1;
}

// Strict decoding: only text that base64() itself produces is accepted.
bool unbase64(const std::string& s, std::vector<unsigned char>& out) {
    if (s.size() % 4) return false;
    out.clear();
    for (size_t i = 0; i < s.size(); i += 4) {
        const bool last = i + 4 == s.size();
        int pad = 0;
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k) {
            char c = s[i + k];
            if (c == '=') {
                if (!last || k < 2) return false;
                ++pad;
                v <<= 6;
                continue;
            }
            int d = base64Value(c);
            if (d < 0 || pad) return false;
            v = (v << 6) | static_cast<uint32_t>(d);
        }
        out.push_back(static_cast<unsigned char>(v >> 16));
        if (pad < 2) out.push_back(static_cast<unsigned char>(v >> 8));
        if (pad < 1) out.push_back(static_cast<unsigned char>(v));
    }
    return base64(out.data(), out.size()) == s;
}

bool validXid(const RUVA70_XID* x) {
    // formatID -1 is X/Open's null XID; a branch qualifier may be empty.
    return x && x->formatID != -1 && x->gtrid_length >= 1 && x->gtrid_length <= 64 && x->bqual_length >= 0 &&
           x->bqual_length <= 64;
}

std::string gidOf(const RUVA70_XID& x) {
    const auto* d = reinterpret_cast<const unsigned char*>(x.data);
    return std::to_string(x.formatID) + "_" + base64(d, static_cast<size_t>(x.gtrid_length)) + "_" +
           base64(d + x.gtrid_length, static_cast<size_t>(x.bqual_length));
}

// The XID a gid names, or false for a gid of another form.
bool xidOf(const std::string& gid, RUVA70_XID& x) {
    const size_t a = gid.find('_');
    const size_t b = a == std::string::npos ? a : gid.find('_', a + 1);
    if (b == std::string::npos || gid.find('_', b + 1) != std::string::npos) return false;
    const std::string format = gid.substr(0, a);
    if (format.empty() || format.size() > 11) return false;
    char* end = nullptr;
    const long long f = std::strtoll(format.c_str(), &end, 10);
    if (*end || f < INT32_MIN || f > INT32_MAX || std::to_string(f) != format) return false;
    std::vector<unsigned char> g, q;
    if (!unbase64(gid.substr(a + 1, b - a - 1), g) || !unbase64(gid.substr(b + 1), q)) return false;
    std::memset(&x, 0, sizeof x);
    x.formatID = static_cast<int32_t>(f);
    x.gtrid_length = static_cast<int32_t>(g.size());
    x.bqual_length = static_cast<int32_t>(q.size());
    if (!validXid(&x)) return false;
    std::copy(g.begin(), g.end(), x.data);
    std::copy(q.begin(), q.end(), x.data + g.size());
    return true;
}

bool sameXid(const RUVA70_XID& a, const RUVA70_XID& b) {
    return a.formatID == b.formatID && a.gtrid_length == b.gtrid_length && a.bqual_length == b.bqual_length &&
           std::memcmp(a.data, b.data, static_cast<size_t>(a.gtrid_length + a.bqual_length)) == 0;
}

// ---------------------------------------------------------------------------
// Branch state, per connection (keyed by the connection's handle value,
// which a reissued slot never repeats while the old value could be in use).
// ---------------------------------------------------------------------------

enum class Assoc { Idle, Active, Ended };

// Names the session's current transaction: its start time (the same for
// every statement in it; as epoch seconds, whatever the session's time zone
// and date style) and the backend.
#define RUVA_TRANSACTION_STAMP "extract(epoch FROM now())::text || '/' || pg_backend_pid()"

struct Branch {
    Assoc assoc = Assoc::Idle;
    RUVA70_XID xid{};
    std::string gid;
    // RUVA_TRANSACTION_STAMP of the branch's transaction: tells whether the
    // session still runs the transaction that start opened.
    std::string stamp;
    bool rollbackOnly = false;
    // An open recovery scan: the XIDs found at TMSTARTRSCAN and how many have
    // been handed out.
    bool scanOpen = false;
    std::vector<RUVA70_XID> scan;
    size_t scanPos = 0;
};

std::mutex gMu;
std::unordered_map<uint32_t, Branch>& branches() {
    static auto* m = new std::unordered_map<uint32_t, Branch>();
    return *m;
}

// Under gMu: drops the state of idle connections without a scan, and of
// connections that are gone (pgClosed drops those at disconnect already).
void prune() {
    auto& m = branches();
    for (auto it = m.begin(); it != m.end();) {
        const bool idle = it->second.assoc == Assoc::Idle && !it->second.scanOpen;
        if (idle || !lookup(handleOf(it->first), Kind::Dbc))
            it = m.erase(it);
        else
            ++it;
    }
}

// Under gMu: whether another connection holds the XID active or ended.
bool heldElsewhere(uint32_t self, const RUVA70_XID& x) {
    for (auto& [value, b] : branches())
        if (value != self && b.assoc != Assoc::Idle && sameXid(b.xid, x)) return true;
    return false;
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

// The association part of a branch reset to idle, keeping a recovery scan.
void toIdle(Branch& b) {
    b.assoc = Assoc::Idle;
    b.xid = RUVA70_XID{};
    b.gid.clear();
    b.stamp.clear();
    b.rollbackOnly = false;
}

// ---------------------------------------------------------------------------
// Statements on the session
// ---------------------------------------------------------------------------

struct Result {
    SQLRETURN rc = SQL_ERROR;
    std::string state;    // SQLSTATE of the first record ("" when none)
    std::string message;  // the first record's text
    std::vector<std::vector<std::optional<std::string>>> rows;

    bool ok() const { return SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA; }
    bool warned(const char* s) const { return rc == SQL_SUCCESS_WITH_INFO && state == s; }
    // The session is gone: the link broke, the server ended the backend, or
    // the connection is not open.
    bool lost() const { return !ok() && (state.rfind("08", 0) == 0 || state.rfind("57P0", 0) == 0); }
    std::string text(size_t row, size_t col) const {
        return row < rows.size() && col < rows[row].size() && rows[row][col] ? *rows[row][col] : std::string();
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
        r.message = reinterpret_cast<char*>(msg);
    }
}

Result run(XaConnection& c, const std::string& sql) {
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
    // A row limit the application set on the connection must not cut a
    // list of prepared transactions.
    d.SQLSetStmtOption(st, SQL_MAX_ROWS, 0);
    r.rc = d.SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    if (r.rc != SQL_SUCCESS) firstRecord(c.dbc, st, r);
    SQLSMALLINT cols = 0;
    if (SQL_SUCCEEDED(r.rc) && SQL_SUCCEEDED(d.SQLNumResultCols(st, &cols)) && cols > 0) {
        while (SQL_SUCCEEDED(d.SQLFetch(st))) {
            std::vector<std::optional<std::string>> row;
            for (SQLUSMALLINT k = 1; k <= static_cast<SQLUSMALLINT>(cols); ++k) {
                char text[512] = {};
                SQLLEN ind = 0;
                SQLRETURN g = d.SQLGetData(st, k, SQL_C_CHAR, text, sizeof text, &ind);
                if (!SQL_SUCCEEDED(g) || ind == SQL_NULL_DATA)
                    row.emplace_back(std::nullopt);
                else
                    row.emplace_back(std::string(text));
            }
            r.rows.push_back(std::move(row));
        }
    }
    d.SQLFreeStmt(st, SQL_DROP);
    return r;
}

std::string literal(const std::string& gid) {
    return "'" + gid + "'";
}

bool autocommitOff(XaConnection& c) {
    SQLULEN v = SQL_AUTOCOMMIT_ON;  // an 8-byte cell, whatever the driver writes
    return SQL_SUCCEEDED(DM().SQLGetConnectOption(c.dbc, SQL_AUTOCOMMIT, &v)) && v == SQL_AUTOCOMMIT_OFF;
}

void setAutocommit(XaConnection& c, bool on) {
    DM().SQLSetConnectOption(c.dbc, SQL_AUTOCOMMIT, on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF);
}

// ---------------------------------------------------------------------------
// Outcomes
// ---------------------------------------------------------------------------

// Leaves a record on the connection and answers with an XA code: SQL_SUCCESS
// for XA_OK and XA_RDONLY, SQL_ERROR for everything else.
SQLINTEGER answer(XaConnection& c, SQLINTEGER* out, SQLINTEGER code, const char* state = nullptr,
                  const std::string& message = "") {
    if (out) *out = code;
    if (state) addDiag(c.handle, state, message);
    return code == RUVA70_XA_OK || code == RUVA70_XA_RDONLY ? SQL_SUCCESS : SQL_ERROR;
}

// A failed xa_pending or xa_recover: the count slot reads 0 (a negative one
// could be taken for a number of XIDs); the record tells the XA error.
SQLINTEGER countFailure(XaConnection& c, SQLINTEGER* count, SQLINTEGER code, const char* state,
                        const std::string& message) {
    SQLINTEGER ignored = 0;
    answer(c, &ignored, code, state, message);
    if (count) *count = 0;
    return SQL_ERROR;
}

SQLINTEGER countFailure(XaConnection& c, SQLINTEGER* count, const Result& failure) {
    if (failure.lost())
        return countFailure(c, count, RUVA70_XAER_RMFAIL, "08S01",
                            "the connection to the data source is lost: " + failure.message);
    return countFailure(c, count, RUVA70_XAER_RMERR, "S1000", failure.message);
}

SQLINTEGER lost(XaConnection& c, SQLINTEGER* out, const Result& r) {
    return answer(c, out, RUVA70_XAER_RMFAIL, "08S01", "the connection to the data source is lost: " + r.message);
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

// The rollback code for a transaction that the server ended instead of
// preparing or committing it, from the server's SQLSTATE.
SQLINTEGER rolledBack(XaConnection& c, SQLINTEGER* out, const std::string& state, const std::string& why) {
    SQLINTEGER code = RUVA70_XA_RBROLLBACK;
    if (state.rfind("23", 0) == 0)
        code = RUVA70_XA_RBINTEGRITY;
    else if (state == "40P01")
        code = RUVA70_XA_RBDEADLOCK;
    else if (state == "40001")
        code = RUVA70_XA_RBTRANSIENT;
    else if (state == "57014")
        code = RUVA70_XA_RBTIMEOUT;
    return answer(c, out, code, state.size() == 5 ? state.c_str() : "S1000", "the branch was rolled back: " + why);
}

// ---------------------------------------------------------------------------
// Statements that must run outside a transaction block
// ---------------------------------------------------------------------------

enum class Session { Outside, InLocalTransaction, Failed };

// Makes sure no transaction block is open for the statements that follow,
// when the connection is not in a branch. With autocommit on nothing needs
// doing (an application's own BEGIN is answered by the statement itself).
// With autocommit off psqlODBC would put its BEGIN before them: one probe
// tells whether a transaction of the application's was in progress (the
// transaction that psqlODBC opens for the probe starts in the probe's own
// message, so its now() equals the statement's time) and, if not,
// autocommit goes on for the span (ending psqlODBC's empty transaction);
// restore() puts it back.
struct OutsideBlock {
    XaConnection& c;
    bool switched = false;
    Result failure;

    explicit OutsideBlock(XaConnection& conn) : c(conn) {}
    OutsideBlock(const OutsideBlock&) = delete;
    OutsideBlock& operator=(const OutsideBlock&) = delete;
    ~OutsideBlock() { restore(); }

    Session enter() {
        if (!autocommitOff(c)) return Session::Outside;
        Result probe = run(c, "SELECT (now() = statement_timestamp())::int");
        if (!probe.ok()) {
            failure = probe;
            return Session::Failed;
        }
        if (probe.text(0, 0) != "1") return Session::InLocalTransaction;
        setAutocommit(c, true);
        switched = true;
        return Session::Outside;
    }
    void restore() {
        if (switched) setAutocommit(c, false);
        switched = false;
    }
};

// COMMIT PREPARED or ROLLBACK PREPARED of the branch's gid.
SQLINTEGER finishPrepared(XaConnection& c, const RUVA70_XID& xid, const char* command, SQLINTEGER* out) {
    OutsideBlock block(c);
    switch (block.enter()) {
        case Session::Failed:
            if (block.failure.lost()) return lost(c, out, block.failure);
            return outOfOrder(c, out, "the connection's transaction is in error: " + block.failure.message);
        case Session::InLocalTransaction:
            return outOfOrder(c, out, "the connection has a local transaction in progress");
        case Session::Outside:
            break;
    }
    Result r = run(c, std::string(command) + " " + literal(gidOf(xid)));
    block.restore();
    if (r.ok()) return answer(c, out, RUVA70_XA_OK);
    if (r.lost()) return lost(c, out, r);
    // 42704: no prepared transaction has the gid; 0A000: one of another
    // database has it.
    if (r.state == "42704" || r.state == "0A000") return unknown(c, out);
    if (r.state == "25001") return outOfOrder(c, out, "the connection has a local transaction in progress");
    return answer(c, out, RUVA70_XAER_RMERR, "S1000", r.message);
}

// The XIDs of the prepared transactions of the connection's database whose
// gids decode, oldest first. False when the list could not be read.
bool preparedXids(XaConnection& c, bool inBranch, std::vector<RUVA70_XID>& xids, Result& failure) {
    OutsideBlock block(c);
    if (!inBranch && block.enter() == Session::Failed) {
        failure = block.failure;
        return false;
    }
    Result r = run(c, "SELECT gid FROM pg_prepared_xacts WHERE database = current_database() ORDER BY prepared, gid");
    block.restore();
    if (!r.ok()) {
        failure = r;
        return false;
    }
    xids.clear();
    for (size_t i = 0; i < r.rows.size(); ++i) {
        RUVA70_XID x;
        if (xidOf(r.text(i, 0), x)) xids.push_back(x);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Flags
// ---------------------------------------------------------------------------

constexpr SQLINTEGER kTmAsync = RUVA70_TMASYNC;
constexpr SQLINTEGER kTmNoWait = RUVA70_TMNOWAIT;
constexpr SQLINTEGER kTmMigrate = RUVA70_TMMIGRATE;

// X/Open flags that this resource manager knows and does not carry out.
bool unsupportedFlag(SQLINTEGER flags) {
    return flags & (RUVA70_TMSUSPEND | RUVA70_TMRESUME | kTmAsync | kTmNoWait | kTmMigrate);
}

// ---------------------------------------------------------------------------
// The operations
// ---------------------------------------------------------------------------

SQLINTEGER pgStart(XaConnection& c, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* code) {
    if (!validXid(xid)) return invalid(c, code, "the XID is null or its lengths are out of range");
    if ((flags & ~(RUVA70_TMJOIN | RUVA70_TMRESUME | kTmAsync | kTmMigrate | kTmNoWait)) ||
        ((flags & RUVA70_TMJOIN) && (flags & RUVA70_TMRESUME)))
        return invalid(c, code, "start takes TMNOFLAGS or TMJOIN");
    if (unsupportedFlag(flags)) return notSupported(c, code, "suspended and asynchronous branches are not supported");

    Branch b;
    {
        std::lock_guard<std::mutex> lock(gMu);
        prune();
        Branch& mine = branches()[c.value];
        if (flags & RUVA70_TMJOIN) {
            if (mine.assoc == Assoc::Ended && sameXid(mine.xid, *xid)) {
                mine.assoc = Assoc::Active;
                return answer(c, code, RUVA70_XA_OK);
            }
            if (mine.assoc != Assoc::Idle)
                return outOfOrder(c, code, "the connection is associated with a branch already");
            if (heldElsewhere(c.value, *xid))
                return notSupported(c, code, "a branch of another connection cannot be joined");
            return unknown(c, code);
        }
        if (mine.assoc != Assoc::Idle)
            return outOfOrder(c, code, "the connection is associated with a branch already");
        if (heldElsewhere(c.value, *xid))
            return answer(c, code, RUVA70_XAER_DUPID, "S1000", "another connection holds the XID");
        // Reserved while the session opens the transaction.
        toIdle(mine);
        mine.assoc = Assoc::Active;
        mine.xid = *xid;
        mine.gid = gidOf(*xid);
        b = mine;
    }
    auto release = [&](Branch& br) {
        toIdle(br);
        store(c.value, br);
    };

    const bool manual = autocommitOff(c);
    if (!manual) {
        Result begin = run(c, "BEGIN");
        if (!begin.ok()) {
            release(b);
            if (begin.lost()) return lost(c, code, begin);
            return answer(c, code, RUVA70_XAER_RMERR, "S1000", begin.message);
        }
        if (begin.warned("25001")) {
            release(b);
            return answer(c, code, RUVA70_XAER_OUTSIDE, "25000",
                          "the connection has a local transaction in progress");
        }
    }
    // With autocommit off psqlODBC opens the transaction for this query; it is
    // fresh only when that happens in the query's own message.
    Result q = run(c, "SELECT (now() = statement_timestamp())::int, " RUVA_TRANSACTION_STAMP
                      ", "
                      "(SELECT count(*) FROM pg_prepared_xacts WHERE gid = " +
                          literal(b.gid) + ")");
    if (!q.ok()) {
        if (!manual) run(c, "ROLLBACK");
        release(b);
        if (q.lost()) return lost(c, code, q);
        return answer(c, code, manual ? RUVA70_XAER_OUTSIDE : RUVA70_XAER_RMERR, "S1000", q.message);
    }
    if (manual && q.text(0, 0) != "1") {
        release(b);
        return answer(c, code, RUVA70_XAER_OUTSIDE, "25000", "the connection has a local transaction in progress");
    }
    if (q.text(0, 2) != "0") {
        run(c, "ROLLBACK");
        release(b);
        return answer(c, code, RUVA70_XAER_DUPID, "S1000", "a prepared transaction has the XID already");
    }
    b.stamp = q.text(0, 1);
    store(c.value, b);
    return answer(c, code, RUVA70_XA_OK);
}

SQLINTEGER pgEnd(XaConnection& c, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* code) {
    if (!validXid(xid)) return invalid(c, code, "the XID is null or its lengths are out of range");
    if (flags == RUVA70_TMSUSPEND) return notSupported(c, code, "suspended branches are not supported");
    if (flags != RUVA70_TMSUCCESS && flags != RUVA70_TMFAIL)
        return invalid(c, code, "end takes TMSUCCESS, TMFAIL or TMSUSPEND");
    std::lock_guard<std::mutex> lock(gMu);
    auto it = branches().find(c.value);
    if (it == branches().end() || it->second.assoc == Assoc::Idle || !sameXid(it->second.xid, *xid))
        return unknown(c, code);
    if (it->second.assoc == Assoc::Ended) return outOfOrder(c, code, "the branch is ended already");
    it->second.assoc = Assoc::Ended;
    it->second.rollbackOnly = flags == RUVA70_TMFAIL;
    return answer(c, code, RUVA70_XA_OK);
}

// Checks that the session still runs the branch's transaction and that it
// is not in error. Returns XA_OK, or answers (and rolls the session back).
// `readOnly` receives whether the transaction changed nothing.
SQLINTEGER checkBranchTransaction(XaConnection& c, Branch& b, SQLINTEGER* code, bool* readOnly, bool* answered) {
    *answered = true;
    if (b.rollbackOnly) {
        run(c, "ROLLBACK");
        return rolledBack(c, code, "", "it was ended with TMFAIL");
    }
    Result q = run(c, "SELECT " RUVA_TRANSACTION_STAMP ", (pg_current_xact_id_if_assigned() IS NULL)::int");
    if (q.lost()) return lost(c, code, q);
    if (!q.ok()) {
        run(c, "ROLLBACK");
        return rolledBack(c, code, "", "its transaction is in error: " + q.message);
    }
    if (q.text(0, 0) != b.stamp) {
        run(c, "ROLLBACK");
        return rolledBack(c, code, "", "the session no longer runs its transaction");
    }
    *readOnly = q.text(0, 1) == "1";
    *answered = false;
    return SQL_SUCCESS;
}

SQLINTEGER pgPrepare(XaConnection& c, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* code) {
    if (!validXid(xid)) return invalid(c, code, "the XID is null or its lengths are out of range");
    if (flags != RUVA70_TMNOFLAGS) return invalid(c, code, "prepare takes TMNOFLAGS");
    Branch b = snapshot(c.value);
    if (b.assoc == Assoc::Idle || !sameXid(b.xid, *xid)) return unknown(c, code);
    if (b.assoc == Assoc::Active) return outOfOrder(c, code, "the branch must be ended before it is prepared");

    Branch after = b;
    toIdle(after);
    store(c.value, after);

    bool readOnly = false, answered = false;
    SQLINTEGER rc = checkBranchTransaction(c, b, code, &readOnly, &answered);
    if (answered) return rc;
    if (readOnly) {
        // Nothing to prepare: the branch ends here and leaves no prepared
        // transaction behind.
        Result commit = run(c, "COMMIT");
        if (commit.lost()) return lost(c, code, commit);
        if (!commit.ok()) return rolledBack(c, code, commit.state, commit.message);
        return answer(c, code, RUVA70_XA_RDONLY);
    }
    Result p = run(c, "PREPARE TRANSACTION " + literal(b.gid));
    if (p.lost()) return lost(c, code, p);
    // A failed PREPARE TRANSACTION becomes a ROLLBACK.
    if (!p.ok()) return rolledBack(c, code, p.state, p.message);
    // PostgreSQL answers a transaction it could not prepare (one in error,
    // or none at all) with a rollback and no error: the gid tells.
    OutsideBlock block(c);
    if (autocommitOff(c)) {
        setAutocommit(c, true);
        block.switched = true;
    }
    Result confirm = run(c, "SELECT count(*) FROM pg_prepared_xacts WHERE gid = " + literal(b.gid) +
                                " AND database = current_database()");
    block.restore();
    if (confirm.lost()) return lost(c, code, confirm);
    if (!confirm.ok()) return answer(c, code, RUVA70_XAER_RMERR, "S1000", confirm.message);
    if (confirm.text(0, 0) != "1") return rolledBack(c, code, "", "PostgreSQL did not prepare its transaction");
    return answer(c, code, RUVA70_XA_OK);
}

// option1 of commit: 0 for a prepared branch, 1 or TMONEPHASE for one-phase.
bool onePhaseOption(SQLINTEGER option1, bool* onePhase) {
    if (option1 != 0 && option1 != 1 && option1 != RUVA70_TMONEPHASE) return false;
    *onePhase = option1 != 0;
    return true;
}

SQLINTEGER flagsRefusal(XaConnection& c, SQLINTEGER flags, SQLINTEGER* code, const char* what) {
    if (unsupportedFlag(flags))
        return notSupported(c, code, std::string(what) + ": asynchronous or non-blocking calls are not supported");
    return invalid(c, code, std::string(what) + " takes TMNOFLAGS as its second option");
}

SQLINTEGER pgCommit(XaConnection& c, RUVA70_XID* xid, SQLINTEGER option1, SQLINTEGER option2, SQLINTEGER* code) {
    if (!validXid(xid)) return invalid(c, code, "the XID is null or its lengths are out of range");
    bool onePhase = false;
    if (!onePhaseOption(option1, &onePhase)) return invalid(c, code, "commit's first option is 0, 1 or TMONEPHASE");
    if (option2 != RUVA70_TMNOFLAGS) return flagsRefusal(c, option2, code, "commit");
    Branch b;
    {
        std::lock_guard<std::mutex> lock(gMu);
        auto it = branches().find(c.value);
        if (it != branches().end()) b = it->second;
        const bool mine = b.assoc != Assoc::Idle && sameXid(b.xid, *xid);
        if (onePhase) {
            if (!mine) return unknown(c, code);
            if (b.assoc == Assoc::Active)
                return outOfOrder(c, code, "the branch must be ended before it is committed");
            Branch after = b;
            toIdle(after);
            if (after.scanOpen)
                it->second = after;
            else
                branches().erase(it);
        } else {
            if (mine) return outOfOrder(c, code, "the branch is not prepared");
            if (b.assoc != Assoc::Idle)
                return outOfOrder(c, code, "the connection is associated with another branch");
            if (heldElsewhere(c.value, *xid)) return outOfOrder(c, code, "the branch is not prepared");
        }
    }
    if (!onePhase) return finishPrepared(c, *xid, "COMMIT PREPARED", code);

    bool readOnly = false, answered = false;
    SQLINTEGER rc = checkBranchTransaction(c, b, code, &readOnly, &answered);
    if (answered) return rc;
    Result commit = run(c, "COMMIT");
    if (commit.lost()) return lost(c, code, commit);
    if (!commit.ok()) return rolledBack(c, code, commit.state, commit.message);
    return answer(c, code, RUVA70_XA_OK);
}

SQLINTEGER pgRollback(XaConnection& c, RUVA70_XID* xid, SQLINTEGER option1, SQLINTEGER option2, SQLINTEGER* code) {
    if (!validXid(xid)) return invalid(c, code, "the XID is null or its lengths are out of range");
    if (option1 != 0) return invalid(c, code, "rollback's first option is 0");
    if (option2 != RUVA70_TMNOFLAGS) return flagsRefusal(c, option2, code, "rollback");
    bool mine = false;
    {
        std::lock_guard<std::mutex> lock(gMu);
        auto it = branches().find(c.value);
        Branch b = it == branches().end() ? Branch{} : it->second;
        mine = b.assoc != Assoc::Idle && sameXid(b.xid, *xid);
        if (mine) {
            toIdle(b);
            if (b.scanOpen)
                it->second = b;
            else
                branches().erase(it);
        } else {
            if (b.assoc != Assoc::Idle)
                return outOfOrder(c, code, "the connection is associated with another branch");
            if (heldElsewhere(c.value, *xid))
                return outOfOrder(c, code, "the branch is associated with another connection");
        }
    }
    if (!mine) return finishPrepared(c, *xid, "ROLLBACK PREPARED", code);
    Result r = run(c, "ROLLBACK");
    if (r.lost()) return lost(c, code, r);
    return answer(c, code, RUVA70_XA_OK);
}

SQLINTEGER pgForget(XaConnection& c, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* code) {
    if (!validXid(xid)) return invalid(c, code, "the XID is null or its lengths are out of range");
    if (flags != RUVA70_TMNOFLAGS) return invalid(c, code, "forget takes TMNOFLAGS");
    // PostgreSQL never completes a branch heuristically, so there is never an
    // outcome to forget.
    return unknown(c, code);
}

SQLINTEGER pgPending(XaConnection& c, SQLINTEGER* count) {
    const bool inBranch = snapshot(c.value).assoc != Assoc::Idle;
    std::vector<RUVA70_XID> xids;
    Result failure;
    if (!preparedXids(c, inBranch, xids, failure)) return countFailure(c, count, failure);
    if (count) *count = static_cast<SQLINTEGER>(xids.size());
    return SQL_SUCCESS;
}

SQLINTEGER pgRecover(XaConnection& c, RUVA70_XID* xids, SQLINTEGER count, SQLINTEGER flags, SQLINTEGER* found) {
    constexpr SQLINTEGER kInval = RUVA70_XAER_INVAL;
    if (count < 0) return countFailure(c, found, kInval, "S1009", "recover's count is negative");
    if (!xids && count > 0) return countFailure(c, found, kInval, "S1009", "recover has no buffer for its count");
    if (flags & ~(RUVA70_TMSTARTRSCAN | RUVA70_TMENDRSCAN))
        return countFailure(c, found, kInval, "S1009", "recover takes TMSTARTRSCAN, TMENDRSCAN or TMNOFLAGS");
    Branch b = snapshot(c.value);
    if (flags & RUVA70_TMSTARTRSCAN) {
        std::vector<RUVA70_XID> list;
        Result failure;
        if (!preparedXids(c, b.assoc != Assoc::Idle, list, failure)) return countFailure(c, found, failure);
        b = snapshot(c.value);
        b.scanOpen = true;
        b.scan = std::move(list);
        b.scanPos = 0;
    } else if (!b.scanOpen) {
        return countFailure(c, found, kInval, "S1009", "no recovery scan is open: start one with TMSTARTRSCAN");
    }
    const size_t n = std::min(static_cast<size_t>(count), b.scan.size() - b.scanPos);
    if (n) std::memcpy(xids, b.scan.data() + b.scanPos, n * sizeof(RUVA70_XID));
    b.scanPos += n;
    if (flags & RUVA70_TMENDRSCAN) {
        b.scanOpen = false;
        b.scan.clear();
        b.scanPos = 0;
    }
    // Only the scan part is ours to write back: the association may have
    // moved meanwhile only through this same connection, which the caller
    // serialises.
    store(c.value, b);
    if (found) *found = static_cast<SQLINTEGER>(n);
    return SQL_SUCCESS;
}

void pgClosed(uint32_t value) {
    std::lock_guard<std::mutex> lock(gMu);
    branches().erase(value);
}

const XaOperations kPostgres = {pgStart,   pgEnd,     pgPrepare, pgCommit, pgRollback,
                                pgPending, pgRecover, pgForget,  pgClosed};

}  // namespace

const XaOperations* postgresXaOperations() {
    return &kPostgres;
}

}  // namespace ruva
