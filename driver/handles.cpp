#include "handles.h"

#include "statement.h"

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace ruva {

HandleTable& table() {
    // Never destroyed: a handle may be looked up by a thread that outlives
    // static destruction (the application's, at exit).
    static HandleTable* t = new HandleTable();
    return *t;
}

Handle* lookup(SQLHANDLE h, Kind kind) {
    return table().lookup(valueOf(h), static_cast<uint8_t>(kind));
}

Handle* enter(SQLHANDLE h, Kind kind) {
    Handle* p = lookup(h, kind);
    if (p) clearDiags(*p);
    return p;
}

uint32_t issue(Kind kind, SQLHANDLE dmHandle, uint32_t parent, const DataSource* source,
               std::unique_ptr<StmtState> stmt, const DriverManager* api) {
    return table().issue(static_cast<uint8_t>(kind), [&](Handle& h) {
        // A reused slot: reset everything its previous owner left.
        h.dm.store(dmHandle, std::memory_order_relaxed);
        h.api.store(api, std::memory_order_relaxed);
        h.parkedDm = nullptr;
        h.parent.store(parent, std::memory_order_relaxed);
        h.kind = kind;
        h.source.store(source, std::memory_order_relaxed);
        // The counters (calls, cancels) and flags (idleCancel, closing) are
        // not reset: each increment or set is undone by the thread that made
        // it, which may still be finishing with the slot's previous owner.
        h.driverStmt.store(nullptr, std::memory_order_relaxed);
        h.turn.store(nullptr, std::memory_order_relaxed);
        h.turnCancel.store(false, std::memory_order_relaxed);
        h.ownRecordsOnly.store(false, std::memory_order_relaxed);
        h.driverCancel.store(nullptr, std::memory_order_relaxed);
        h.connected.store(false, std::memory_order_relaxed);
        h.lost.store(false, std::memory_order_relaxed);
        h.deadUnasked.store(false, std::memory_order_relaxed);
        {
            std::lock_guard<std::mutex> interrupt(h.interruptMu);
            h.interruptStmt = nullptr;
        }
        std::lock_guard<std::mutex> lock(h.mu);
        h.diags.clear();
        h.stmt = std::move(stmt);
    });
}

void release(uint32_t value, Kind kind) {
    // The payload is emptied before the slot can be issued again, so a
    // release never touches the state of the slot's next owner.
    std::unique_ptr<StmtState> old;
    table().release(value, static_cast<uint8_t>(kind), [&old](Handle& h) {
        h.dm.store(nullptr, std::memory_order_release);
        std::lock_guard<std::mutex> lock(h.mu);
        h.diags.clear();
        old = std::move(h.stmt);
    });
}

void releaseChildren(uint32_t parent, Kind childKind) {
    std::vector<uint32_t> children;
    table().forEach(static_cast<uint8_t>(childKind), [&](uint32_t value, Handle& h) {
        if (h.parent.load(std::memory_order_relaxed) == parent) children.push_back(value);
    });
    for (uint32_t v : children) {
        if (childKind == Kind::Dbc) releaseChildren(v, Kind::Stmt);
        release(v, childKind);
    }
}

CallTurn awaitTurn(Handle& stmt, bool cancellable) {
    CallTurn call;
    std::recursive_timed_mutex* turn = stmt.turn.load(std::memory_order_acquire);
    if (!turn) return call;
    // A cancel that sees waitingTurn sets turnCancel and then reads
    // waitingTurn again (SQLCancel): either it finds the call still waiting,
    // and the call sees its turnCancel here, or it cancels through the
    // driver, which then reaches this call.
    stmt.waitingTurn.store(true, std::memory_order_seq_cst);
    bool held = turn->try_lock();
    while (!held && !(cancellable && stmt.turnCancel.load(std::memory_order_seq_cst)))
        held = turn->try_lock_for(std::chrono::milliseconds(2));
    stmt.waitingTurn.store(false, std::memory_order_seq_cst);
    // A call that cannot be cancelled (reading records, a release) lets a
    // cancel that came meanwhile pass as done: there was nothing to stop.
    call.cancelled = stmt.turnCancel.exchange(false, std::memory_order_seq_cst) && cancellable;
    if (cancellable) stmt.ownRecordsOnly.store(call.cancelled, std::memory_order_relaxed);
    if (held) call.turn = turn;
    return call;
}

void clearDiags(Handle& h) {
    // A record added on another thread meanwhile (only SQLCancel runs there)
    // may be cleared or kept, as it would be with the lock.
    if (!h.hasDiags.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(h.mu);
    h.diags.clear();
    h.hasDiags.store(false, std::memory_order_release);
}

void keepDiag(Handle& h, const char* state, SQLINTEGER native, const std::string& message) {
    Diag d;
    std::memset(d.state, 0, sizeof d.state);
    std::strncpy(d.state, state, 5);
    d.native = native;
    d.message = message;
    std::lock_guard<std::mutex> lock(h.mu);
    h.diags.push_back(std::move(d));
    h.hasDiags.store(true, std::memory_order_release);
}

void addDiag(Handle& h, const char* state, const std::string& message) {
    keepDiag(h, state, 0, "[Quorvane][ruva70]" + message);
}

SQLRETURN fail(Handle& h, const char* state, const std::string& message) {
    addDiag(h, state, message);
    return SQL_ERROR;
}

bool takeDiag(Handle& h, Diag& out) {
    std::lock_guard<std::mutex> lock(h.mu);
    if (h.diags.empty()) return false;
    out = std::move(h.diags.front());
    h.diags.pop_front();
    return true;
}

}  // namespace ruva
