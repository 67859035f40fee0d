// The handles libruva70 hands out: 31-bit values of one process-wide slot
// table, each naming a payload that holds the driver manager's handle, the
// slot's kind and parent, the handle's own diagnostic records and, for a
// statement, the state of the driver's statement options and conversions.
#pragma once

#include "dm.h"

#include "qvjdbc/slot_table.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace ruva {

enum class Kind : uint8_t { Env = 1, Dbc = 2, Stmt = 3 };

// What libruva70 does for a connection's data source (source.h).
struct DataSource;

struct Diag {
    char state[6];
    SQLINTEGER native;
    std::string message;
};

struct StmtState;  // statement.cpp

struct Handle {
    // The driver manager's handle; read by a call that may race the handle's
    // release (SQLCancel from another thread), so it is atomic and cleared
    // before the slot is reused.
    std::atomic<SQLHANDLE> dm{nullptr};
    // The functions `dm` belongs to: unixODBC's (null), or those of a data
    // source libruva70 serves itself (a connection's, chosen when it
    // connects; a statement's, its connection's when it was allocated).
    std::atomic<const DriverManager*> api{nullptr};
    // Connections connected to functions of libruva70's own: the driver
    // manager's connection, unused until they disconnect.
    SQLHDBC parkedDm = nullptr;
    uint32_t self = 0;
    // Written when the slot is issued; atomic because a statement's free
    // reads it without the table's lock while a disconnect on another thread
    // may release the slot and another allocation issue it again.
    std::atomic<uint32_t> parent{0};
    Kind kind = Kind::Env;
    // Connections: the data source's record, null until it is known (see
    // sourceOf); statements: their connection's, never null.
    std::atomic<const DataSource*> source{nullptr};

    // Guards diags and nothing else. A statement's state (stmt) is used by
    // the statement's own calls, which the application serialises, and by
    // SQLCancel only while it runs alone on the statement (no call of the
    // statement's own in progress: see `calls`). While such a call is in
    // progress, SQLCancel touches only dm, driverStmt and the connection's
    // cancel fields below, never the statement's state or records.
    std::mutex mu;
    std::deque<Diag> diags;
    // Whether diags may hold a record: lets the clearing that every call
    // does skip the lock when there is nothing to clear (a fetch loop).
    std::atomic<bool> hasDiags{false};
    // Serialises SQLCancel calls with each other and with the driver
    // manager's release of the statement, so that a cancel from another
    // thread never reaches a statement the driver manager has already freed.
    std::mutex cancelMu;

    // Statements: how a cancel from another thread meets the statement's own
    // calls. `calls` counts the calls of the statement's own thread in
    // progress; a cancel sets `idleCancel` and then reads `calls` (both
    // sequentially consistent, as are the call's increment and its read of
    // `idleCancel`), so either the cancel sees the call, or the call sees
    // the cancel and waits until it is done. A cancel that sees no call runs
    // alone on the statement; one that sees a call only interrupts it
    // (SQLCancel in statement.cpp).
    std::atomic<int> calls{0};
    std::atomic<bool> idleCancel{false};
    // Statements: the driver's own statement handle, to which a cancel of a
    // running statement goes directly (the driver manager's SQLCancel would
    // clear the statement's records from another thread); null when the
    // driver's SQLCancel was not found, and the cancel then goes through the
    // driver manager.
    std::atomic<SQLHSTMT> driverStmt{nullptr};

    // Connections: cancels that may touch the connection's statements in
    // progress, and a disconnect under way (the same ordering as above: a
    // disconnect waits for the cancels that started before it, and a cancel
    // that starts during it does not touch the driver's statements).
    std::atomic<int> cancels{0};
    std::atomic<bool> closing{false};
    // Connections: the driver's own SQLCancel, found once connected; null
    // when it was not found.
    std::atomic<SQLRETURN (*)(SQLHSTMT)> driverCancel{nullptr};
    // Connections: whether the connection is connected (from a successful
    // connect until its disconnect), whether it is known to be lost (the
    // driver said so, and it stays lost until it disconnects), and whether
    // the driver cannot tell (it refused to be asked: never asked again).
    std::atomic<bool> connected{false};
    std::atomic<bool> lost{false};
    std::atomic<bool> deadUnasked{false};
    // Connections: how many transactions have ended on the connection through
    // SQLTransact or auto-commit turned on; a statement reading through a
    // cursor of its transaction knows by it that the cursor is gone.
    std::atomic<uint64_t> transactionEnds{0};
    // Connections on SQLite: a statement of libruva70's own on which the
    // driver's SQLCancel interrupts the connection's running statement
    // without touching that statement (see SQLCancel), allocated with the
    // connection's first statement. Guarded by interruptMu.
    SQLHSTMT interruptStmt = nullptr;
    std::mutex interruptMu;
    // On a connection: serialises the changes to its list of statements
    // inside the driver (allocation, release, disconnect). The SQLite driver
    // keeps that list without a lock of its own, and the driver manager adds
    // none unless its configuration names a threading level, so two threads
    // allocating statements on one connection would corrupt it.
    std::mutex childrenMu;
    // Connections whose data source takes one call at a time
    // (DataSource::oneCallAtATime): the turn each call of the connection and
    // of its statements holds while it is in the driver. SQLCancel never
    // waits for it (a running statement must stay cancellable).
    std::recursive_timed_mutex callTurn;
    // Connections and statements: their connection's callTurn when its data
    // source takes one call at a time, else null. Set when the connection
    // connects and when the statement is allocated.
    std::atomic<std::recursive_timed_mutex*> turn{nullptr};
    // Statements: a call of the statement's own is waiting for the turn; a
    // cancel that comes meanwhile sets turnCancel, and the call then stops
    // waiting and fails (S1008) without reaching the driver: the driver's
    // cancel would reach whichever statement holds the turn.
    std::atomic<bool> waitingTurn{false};
    std::atomic<bool> turnCancel{false};
    // Statements: the last call was cancelled before it reached the driver,
    // so the driver holds no records of it; SQLError reads libruva70's own.
    std::atomic<bool> ownRecordsOnly{false};
    std::unique_ptr<StmtState> stmt;
};

// Payloads are never freed: segments of the table live for the process.
using HandleTable = qv::SlotTable<Handle>;
HandleTable& table();

inline uint32_t valueOf(SQLHANDLE h) {
    uintptr_t v = reinterpret_cast<uintptr_t>(h);
    return v > 0x7FFFFFFFu ? 0 : static_cast<uint32_t>(v);
}
inline SQLHANDLE handleOf(uint32_t v) {
    return reinterpret_cast<SQLHANDLE>(static_cast<uintptr_t>(v));
}

// The live handle of that kind, or null (never issued, released, other kind).
Handle* lookup(SQLHANDLE h, Kind kind);
// lookup() and, as every ODBC call on a handle does, clears the handle's
// previous diagnostic records.
Handle* enter(SQLHANDLE h, Kind kind);

// Issues a handle of the kind over the driver manager's handle; 0 when the
// table is full.
uint32_t issue(Kind kind, SQLHANDLE dmHandle, uint32_t parent, const DataSource* source,
               std::unique_ptr<StmtState> stmt, const DriverManager* api = nullptr);
// Releases a handle and drops its state; the value then gives
// SQL_INVALID_HANDLE.
void release(uint32_t value, Kind kind);
// Releases every handle whose parent is `parent` (statements of a connection,
// connections of an environment and their statements).
void releaseChildren(uint32_t parent, Kind childKind);

// A call of a statement's own thread: begun before the call touches the
// driver manager's statement (waiting while a cancel runs alone on it, then
// for the connection's turn where it has one), ended when the call returns.
struct CallTurn {
    std::recursive_timed_mutex* turn = nullptr;  // held until endCall; null: none taken
    bool cancelled = false;                      // cancelled while it waited for the turn
};
// The turn part of beginCall, for a call begun without it
// (beginCallOnly) that needs the driver after all.
CallTurn awaitTurn(Handle& stmt, bool cancellable);
inline void beginCallOnly(Handle& stmt) {
    stmt.calls.fetch_add(1, std::memory_order_seq_cst);
    while (stmt.idleCancel.load(std::memory_order_seq_cst)) std::this_thread::yield();
}
// A call that is not `cancellable` waits for the turn whatever comes.
inline CallTurn beginCall(Handle& stmt, bool cancellable = true) {
    beginCallOnly(stmt);
    if (!stmt.turn.load(std::memory_order_acquire)) return CallTurn{};
    return awaitTurn(stmt, cancellable);
}
inline void endCall(Handle& stmt, const CallTurn& call) {
    if (call.turn) call.turn->unlock();
    stmt.calls.fetch_sub(1, std::memory_order_release);
}

// A call of a connection's own: holds the connection's turn, if it has one,
// while it lives (none for a null handle).
class ConnectionTurn {
public:
    explicit ConnectionTurn(Handle* dbc) : turn_(dbc ? dbc->turn.load(std::memory_order_acquire) : nullptr) {
        if (turn_) turn_->lock();
    }
    ~ConnectionTurn() {
        if (turn_) turn_->unlock();
    }
    ConnectionTurn(const ConnectionTurn&) = delete;
    ConnectionTurn& operator=(const ConnectionTurn&) = delete;

private:
    std::recursive_timed_mutex* turn_;
};

// The diagnostic records of libruva70 itself.
void clearDiags(Handle& h);
void addDiag(Handle& h, const char* state, const std::string& message);
// Keeps a record of the driver manager's as it is (state, native code, text).
void keepDiag(Handle& h, const char* state, SQLINTEGER native, const std::string& message);
// Adds a record and returns SQL_ERROR.
SQLRETURN fail(Handle& h, const char* state, const std::string& message);
// Takes the oldest own record, if any.
bool takeDiag(Handle& h, Diag& out);

// The driver manager; only valid once a handle exists (which needed it).
inline const DriverManager& DM() {
    return *dm();
}
// The functions a handle's calls go to (see Handle::api).
inline const DriverManager& fns(const Handle& h) {
    const DriverManager* api = h.api.load(std::memory_order_relaxed);
    return api ? *api : DM();
}

}  // namespace ruva
