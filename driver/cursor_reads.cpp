// Queries read in chunks through a cursor of the data source (see
// cursor_reads.h and RUVA70_STMT_FETCH_ROWS in ruva70.h).
#include "cursor_reads.h"

#include "cursor_text.h"
#include "source.h"
#include "statement.h"

#include <atomic>
#include <cstring>

namespace ruva {
namespace {

// Cursor names: unique in the process, so in every session.
std::atomic<uint64_t> cursorCount{0};

// Moves the driver manager's records of the statement into libruva70's own
// list, or drops them.
void keepRecords(Handle& stmt) {
    Diag d;
    while (takeDriverRecord(stmt, d)) keepDiag(stmt, d.state, d.native, d.message);
}
void dropRecords(Handle& stmt) {
    Diag d;
    for (int i = 0; i < 64 && takeDriverRecord(stmt, d); ++i) {
    }
}

// Runs one of the cursor's statements on the statement's driver handle.
SQLRETURN run(Handle& stmt, const std::string& sql) {
    std::string text = sql;
    return fns(stmt).SQLExecDirect(stmt.dm.load(), reinterpret_cast<SQLCHAR*>(text.data()),
                                   static_cast<SQLINTEGER>(text.size()));
}

uint64_t transactionEnds(const StmtState& st) {
    return st.transactionEnds ? st.transactionEnds->load(std::memory_order_acquire) : 0;
}

// The next chunk: the previous FETCH's result closed, the next FETCH run.
SQLRETURN nextChunk(Handle& stmt) {
    StmtState& st = *stmt.stmt;
    StmtState::CursorRead& c = st.cursor;
    fns(stmt).SQLFreeStmt(stmt.dm.load(), SQL_CLOSE);
    c.inChunk = 0;
    return run(stmt, st.source->cursorStatements->fetch(c.name, c.rows));
}

}  // namespace

bool readsByCursor(Handle& stmt, const char* sql, size_t len, std::string& query) {
    const StmtState& st = *stmt.stmt;
    if (st.fetchRows == 0 || !st.source->cursorStatements || st.paramRows > 1 || !sql) return false;
    // The cursor lives in a transaction: in auto-commit mode the rows are
    // read whole.
    SQLULEN autocommit = SQL_AUTOCOMMIT_ON;  // an 8-byte cell, whatever the driver writes
    if (!SQL_SUCCEEDED(fns(stmt).SQLGetConnectOption(st.dmDbc, SQL_AUTOCOMMIT, &autocommit)) ||
        autocommit != SQL_AUTOCOMMIT_OFF)
        return false;
    return cursorQuery(sql, len, query);
}

SQLRETURN openCursor(Handle& stmt, const std::string& query) {
    StmtState& st = *stmt.stmt;
    StmtState::CursorRead& c = st.cursor;
    const CursorStatements& statements = *st.source->cursorStatements;
    // The cursor's statements take the driver's statement: a prepared text
    // is prepared again when the cursor closes.
    if (!st.preparedText.empty()) c.replacedPrepared = true;
    const std::string name = "ruva70_c" + std::to_string(cursorCount.fetch_add(1, std::memory_order_relaxed) + 1);
    SQLRETURN rc = run(stmt, statements.declare(name, query));
    if (!SQL_SUCCEEDED(rc)) return rc;
    if (rc == SQL_SUCCESS_WITH_INFO) keepRecords(stmt);
    c.name = name;
    c.rows = st.fetchRows;
    c.transactionEnds = transactionEnds(st);
    const SQLRETURN fetched = nextChunk(stmt);
    if (!SQL_SUCCEEDED(fetched)) {
        // The FETCH's records are the execution's; the cursor goes.
        keepRecords(stmt);
        run(stmt, statements.close(c.name));
        dropRecords(stmt);
        fns(stmt).SQLFreeStmt(stmt.dm.load(), SQL_CLOSE);
        dropRecords(stmt);
        c.name.clear();
        return fetched;
    }
    c.reading = true;
    return fetched == SQL_SUCCESS_WITH_INFO ? fetched : rc;
}

SQLRETURN fetchByCursor(Handle& stmt) {
    StmtState& st = *stmt.stmt;
    StmtState::CursorRead& c = st.cursor;
    for (;;) {
        const SQLRETURN rc = fns(stmt).SQLFetch(stmt.dm.load());
        if (rc != SQL_NO_DATA_FOUND) {
            if (SQL_SUCCEEDED(rc)) ++c.inChunk;
            return rc;
        }
        // A chunk shorter than asked was the last one.
        if (c.inChunk < c.rows) {
            c.reading = false;
            return rc;
        }
        if (transactionEnds(st) != c.transactionEnds) {
            // The transaction's end closed the cursor on the data source.
            c.reading = false;
            c.name.clear();
            return fail(stmt, "24000",
                        "the rows of this result cannot be read further: its cursor was closed when its transaction "
                        "ended (commit or rollback)");
        }
        const SQLRETURN next = nextChunk(stmt);
        if (!SQL_SUCCEEDED(next)) {
            // The FETCH's records are the fetch's; the cursor stays until
            // the statement is closed (CLOSE of a failed cursor is harmless).
            c.reading = false;
            return next;
        }
        if (next == SQL_SUCCESS_WITH_INFO) keepRecords(stmt);
    }
}

void closeCursor(Handle& stmt) {
    StmtState& st = *stmt.stmt;
    StmtState::CursorRead& c = st.cursor;
    c.reading = false;
    if (!c.name.empty()) {
        const DriverManager& d = fns(stmt);
        d.SQLFreeStmt(stmt.dm.load(), SQL_CLOSE);
        if (transactionEnds(st) == c.transactionEnds) {
            run(stmt, st.source->cursorStatements->close(c.name));
            dropRecords(stmt);
            d.SQLFreeStmt(stmt.dm.load(), SQL_CLOSE);
        }
        dropRecords(stmt);
        c.name.clear();
    }
    if (c.replacedPrepared) {
        c.replacedPrepared = false;
        if (!st.preparedText.empty()) {
            fns(stmt).SQLPrepare(stmt.dm.load(), reinterpret_cast<SQLCHAR*>(st.preparedText.data()),
                                 static_cast<SQLINTEGER>(st.preparedText.size()));
            dropRecords(stmt);
        }
    }
}

}  // namespace ruva
