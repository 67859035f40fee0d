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

namespace ruva {

enum class Kind : uint8_t { Env = 1, Dbc = 2, Stmt = 3 };

// The data source behind a connection, decided at connect from the DBMS name.
enum class Source : uint8_t { Unknown = 0, PostgreSQL = 1, SQLite = 2 };

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
    uint32_t self = 0;
    // Written when the slot is issued; atomic because a statement's free
    // reads it without the table's lock while a disconnect on another thread
    // may release the slot and another allocation issue it again.
    std::atomic<uint32_t> parent{0};
    Kind kind = Kind::Env;
    std::atomic<Source> source{Source::Unknown};

    // Guards diags and, for statements, nothing else: the statement state is
    // used only by the thread that owns the statement (the application
    // serialises calls on a statement; SQLCancel touches only dm and diags).
    std::mutex mu;
    std::deque<Diag> diags;
    // Serialises SQLCancel with the driver manager's release of the
    // statement, so that a cancel from another thread never reaches a
    // statement the driver manager has already freed.
    std::mutex cancelMu;
    // On a connection: serialises the changes to its list of statements
    // inside the driver (allocation, release, disconnect). The SQLite driver
    // keeps that list without a lock of its own, and the driver manager adds
    // none unless its configuration names a threading level, so two threads
    // allocating statements on one connection would corrupt it.
    std::mutex childrenMu;
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
uint32_t issue(Kind kind, SQLHANDLE dmHandle, uint32_t parent, Source source, std::unique_ptr<StmtState> stmt);
// Releases a handle and drops its state; the value then gives
// SQL_INVALID_HANDLE.
void release(uint32_t value, Kind kind);
// Releases every handle whose parent is `parent` (statements of a connection,
// connections of an environment and their statements).
void releaseChildren(uint32_t parent, Kind childKind);

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

}  // namespace ruva
