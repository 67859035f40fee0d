// The XA entry points (ordinals 2001 to 2008).
#include "xa.h"

#include "connection.h"
#include "source.h"

#include "qvjdbc/driver.h"

namespace ruva {

__attribute__((weak)) const XaOperations* postgresXaOperations() {
    return nullptr;
}

void xaConnectionClosed(uint32_t value) {
    // Whatever the data source was: the state is keyed by the handle value.
    for (const DataSource* source : knownSources())
        if (const XaOperations* ops = source->xa ? source->xa() : nullptr; ops && ops->closed) ops->closed(value);
}

namespace {

// The connection and its data source's operations; null operations leave
// the "no two-phase commit" record on the connection.
struct XaCall {
    Handle* h = nullptr;
    const XaOperations* ops = nullptr;
    bool connected = true;
};

XaCall enterXa(SQLHDBC hdbc) {
    XaCall call;
    call.h = enter(hdbc, Kind::Dbc);
    if (!call.h) return call;
    const DataSource* source = sourceOf(*call.h);
    call.ops = source && source->xa ? source->xa() : nullptr;
    if (call.ops) return call;
    // A source stays unknown while the connection is not connected: that is
    // a resource manager that is not available, not one without XA.
    call.connected = source != nullptr;
    if (call.connected)
        addDiag(*call.h, "S1C00", "the data source has no two-phase commit (XA)");
    else
        addDiag(*call.h, "08003", "the connection is not open");
    return call;
}

// `out` is the XA code, or for xa_pending and xa_recover a count, which is 0:
// a negative count would be taken for a number of identifiers.
SQLINTEGER noTwoPhase(const XaCall& call, SQLINTEGER* out, bool isCount) {
    if (out) *out = isCount ? 0 : call.connected ? RUVA70_XAER_RMERR : RUVA70_XAER_RMFAIL;
    return SQL_ERROR;
}

// A value that is not a live connection handle (never issued, freed, of
// another kind) names no resource manager: the XA code says XAER_RMFAIL, so
// that a transaction manager never reads the XA_OK of an untouched code as
// the outcome of work that was not done. Counts read 0.
SQLINTEGER noConnection(SQLINTEGER* out, bool isCount) {
    if (out) *out = isCount ? 0 : RUVA70_XAER_RMFAIL;
    return SQL_INVALID_HANDLE;
}

}  // namespace
}  // namespace ruva

using namespace ruva;

#define RUVA_XA_CALL(op, out, isCount, ...)                                \
    XaCall call = enterXa(hdbc);                                           \
    if (!call.h) return noConnection(out, isCount);                        \
    if (!call.ops || !call.ops->op) return noTwoPhase(call, out, isCount); \
    ConnectionTurn turn(call.h);                                           \
    XaConnection c{*call.h, call.h->dm.load(), valueOf(hdbc)};             \
    return call.ops->op(c, __VA_ARGS__)

extern "C" {

SQLINTEGER ruva70_xa_start(SQLHDBC hdbc, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode) {
    RUVA_XA_CALL(start, xaCode, false, xid, flags, xaCode);
}

SQLINTEGER ruva70_xa_end(SQLHDBC hdbc, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode) {
    RUVA_XA_CALL(end, xaCode, false, xid, flags, xaCode);
}

SQLINTEGER ruva70_xa_prepare(SQLHDBC hdbc, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode) {
    RUVA_XA_CALL(prepare, xaCode, false, xid, flags, xaCode);
}

SQLINTEGER ruva70_xa_commit(SQLHDBC hdbc, RUVA70_XID* xid, SQLINTEGER option1, SQLINTEGER option2,
                            SQLINTEGER* xaCode) {
    RUVA_XA_CALL(commit, xaCode, false, xid, option1, option2, xaCode);
}

SQLINTEGER ruva70_xa_rollback(SQLHDBC hdbc, RUVA70_XID* xid, SQLINTEGER option1, SQLINTEGER option2,
                              SQLINTEGER* xaCode) {
    RUVA_XA_CALL(rollback, xaCode, false, xid, option1, option2, xaCode);
}

SQLINTEGER ruva70_xa_pending(SQLHDBC hdbc, SQLINTEGER* count) {
    RUVA_XA_CALL(pending, count, true, count);
}

SQLINTEGER ruva70_xa_recover(SQLHDBC hdbc, RUVA70_XID* xids, SQLINTEGER count, SQLINTEGER flags, SQLINTEGER* found) {
    RUVA_XA_CALL(recover, found, true, xids, count, flags, found);
}

SQLINTEGER ruva70_xa_forget(SQLHDBC hdbc, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode) {
    RUVA_XA_CALL(forget, xaCode, false, xid, flags, xaCode);
}

}  // extern "C"
