// Statement entry points: allocation and release, the driver's statement
// options, execution, fetching and the catalog functions.
#include "statement.h"

#include "connection.h"
#include "conversion.h"
#include "cursor_reads.h"
#include "cursor_text.h"
#include "describe.h"
#include "source.h"

#include "qvjdbc/driver.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

namespace ruva {

bool takeDriverRecord(Handle& stmt, Diag& out) {
    SQLCHAR state[8] = {};
    SQLCHAR message[4096] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLRETURN rc = fns(stmt).SQLError(SQL_NULL_HENV, SQL_NULL_HDBC, stmt.dm.load(), state, &native, message,
                                      static_cast<SQLSMALLINT>(sizeof message), &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return false;
    std::memcpy(out.state, state, 5);
    out.state[5] = 0;
    out.native = native;
    out.message = reinterpret_cast<char*>(message);
    if (const DataSource* source = stmt.source.load(std::memory_order_relaxed); source && source->fixRecord)
        source->fixRecord(out);
    return true;
}

}  // namespace ruva

using namespace ruva;

namespace {

// The statement and its state, during one call of the statement's own
// thread (beginCall / endCall: see SQLCancel).
struct Stmt {
    Handle* h = nullptr;
    bool inCall = false;
    CallTurn call;
    // What the entry point returns when begin() fails.
    SQLRETURN refused = SQL_INVALID_HANDLE;
    Stmt() = default;
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    ~Stmt() {
        if (inCall) endCall(*h, call);
    }
    SQLHSTMT dm() const { return h->dm.load(); }
    const DriverManager& api() const { return fns(*h); }
    StmtState& st() const { return *h->stmt; }
    // Looks the statement up and begins the call; false for a handle that is
    // not a live statement (`refused` SQL_INVALID_HANDLE), or for a call
    // cancelled while it waited for its connection's turn (SQL_ERROR, with
    // the cancel's record; the call is begun, and ends with this object).
    bool begin(SQLHSTMT hstmt, bool cancellable = true) {
        h = lookup(hstmt, Kind::Stmt);
        if (h == nullptr || h->stmt == nullptr) return false;
        call = beginCall(*h, cancellable);
        inCall = true;
        if (!call.cancelled) return true;
        clearDiags(*h);
        refused = fail(*h, "S1008", "the statement was cancelled before it ran");
        return false;
    }
};

// The statement, with its previous records cleared.
bool enterStmt(SQLHSTMT hstmt, Stmt& s) {
    if (!s.begin(hstmt)) return false;
    clearDiags(*s.h);
    s.h->stmt->keepRecords = false;
    return true;
}

// Moves the driver manager's records of the statement into libruva70's own
// list, after the records already there.
void keepDriverRecords(Handle& h) {
    Diag d;
    while (takeDriverRecord(h, d)) keepDiag(h, d.state, d.native, d.message);
}
void keepDriverRecords(Stmt& s) {
    keepDriverRecords(*s.h);
}

// Entry of the parameter-binding calls (SQLBindParameter, SQLParamOptions).
// After an execution that left records they are kept: the driver manager's
// records move into libruva70's own list (returned first by SQLError), so
// that restoring a statement's bindings after a failed or warned execution
// does not lose what the execution reported. Otherwise the call clears the
// records as every call does.
bool enterBinding(SQLHSTMT hstmt, Stmt& s) {
    if (!s.begin(hstmt)) return false;
    if (!s.h->stmt->keepRecords) {
        clearDiags(*s.h);
        return true;
    }
    keepDriverRecords(s);
    return true;
}

// Marks whether an execution left records for the binding calls to keep.
SQLRETURN executed(Stmt& s, SQLRETURN rc) {
    s.st().keepRecords = rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO;
    return rc;
}

// The statement may have a new result set: the next fetch decides again
// which bound columns are converted, and SQLRowCount asks the driver again.
void newResult(Stmt& s) {
    s.st().resultChanged = true;
    s.st().ownTypeNames.clear();
    s.st().fetched = 0;
    s.st().numbersRead.clear();
    s.st().ownRowCount = false;
}

// SQLite binary parameters. The SQLite driver reads the length of a
// SQL_C_BINARY input parameter once per SQLBindParameter and keeps it for
// later executions (it re-reads the bytes, and whether the value is null),
// and inside a parameter array it takes the first value row's length for
// every row. So before each execution every such parameter is bound to the
// driver again with the same arguments, and a parameter array whose binary
// rows differ in length is run one row at a time, as the driver's own loop
// would run it.

bool isBinaryInput(const ParamBinding& b) {
    return b.cType == SQL_C_BINARY && b.paramType != SQL_PARAM_OUTPUT;
}

bool isAtExec(SQLLEN ind) {
    return ind == SQL_DATA_AT_EXEC || ind <= SQL_LEN_DATA_AT_EXEC_OFFSET;
}

// Bytes from one row of a column-wise parameter array to the next: the
// buffer length for character and binary data, the C type's size otherwise;
// 0 when it is not known.
SQLLEN rowStride(const ParamBinding& b) {
    switch (b.cType) {
        case SQL_C_CHAR:
        case SQL_C_WCHAR:
        case SQL_C_BINARY:
            return b.valueMax;
        case SQL_C_BIT:
        case SQL_C_TINYINT:
        case SQL_C_STINYINT:
        case SQL_C_UTINYINT:
            return 1;
        case SQL_C_SHORT:
        case SQL_C_SSHORT:
        case SQL_C_USHORT:
            return sizeof(SQLSMALLINT);
        case SQL_C_LONG:
        case SQL_C_SLONG:
        case SQL_C_ULONG:
            return sizeof(SQLINTEGER);
        case SQL_C_SBIGINT:
        case SQL_C_UBIGINT:
            return sizeof(SQLBIGINT);
        case SQL_C_FLOAT:
            return sizeof(SQLREAL);
        case SQL_C_DOUBLE:
            return sizeof(SQLDOUBLE);
        case SQL_C_DATE:
        case SQL_C_TYPE_DATE:
            return sizeof(DATE_STRUCT);
        case SQL_C_TIME:
        case SQL_C_TYPE_TIME:
            return sizeof(TIME_STRUCT);
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_TIMESTAMP:
            return sizeof(TIMESTAMP_STRUCT);
        case SQL_C_NUMERIC:
            return sizeof(SQL_NUMERIC_STRUCT);
        case SQL_C_GUID:
            return sizeof(SQLGUID);
        default:
            return 0;
    }
}

// Whether the driver's own loop over `rows` would store a wrong length: a
// binary input parameter has value rows of different lengths. An array with
// a row sent at execution, or a parameter whose row size is not known, is
// left to the driver.
bool needsRowByRow(const StmtState& st, SQLULEN rows) {
    bool differ = false;
    for (const auto& [ipar, b] : st.bindings) {
        if (b.value && rowStride(b) == 0) return false;
        if (!b.ind) continue;
        SQLLEN first = -1;
        for (SQLULEN r = 0; r < rows; ++r) {
            SQLLEN ind = b.ind[r];
            if (isAtExec(ind)) return false;
            if (!isBinaryInput(b) || ind < 0) continue;
            if (first < 0)
                first = ind;
            else if (ind != first)
                differ = true;
        }
    }
    return differ;
}

// Binds parameter `b` to the driver manager at row `row` of its arrays.
SQLRETURN bindRow(Stmt& s, SQLUSMALLINT ipar, const ParamBinding& b, SQLULEN row) {
    SQLPOINTER value = b.value ? static_cast<char*>(b.value) + row * static_cast<SQLULEN>(rowStride(b)) : nullptr;
    SQLLEN* ind = b.ind ? b.ind + row : nullptr;
    return s.api().SQLBindParameter(s.dm(), ipar, b.paramType, b.cType, b.sqlType, b.columnSize, b.scale, value,
                                    b.valueMax, ind);
}

// Binds the driver manager to the parameter arrays as the application bound
// them again, after a row-by-row execution.
SQLRETURN restoreArrays(Stmt& s) {
    StmtState& st = s.st();
    SQLRETURN rc = s.api().SQLParamOptions(s.dm(), st.paramRows, st.rowsDone);
    for (auto it = st.bindings.begin(); it != st.bindings.end() && SQL_SUCCEEDED(rc); ++it)
        rc = bindRow(s, it->first, it->second, 0);
    st.bindingsShifted = !SQL_SUCCEEDED(rc);
    return rc;
}

// Drops the driver manager's records of the statement (SQLError consumes
// them).
void discardDriverRecords(const DriverManager& d, SQLHSTMT dmStmt) {
    SQLCHAR state[8];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (int i = 0; i < 64; ++i)
        if (!SQL_SUCCEEDED(d.SQLError(SQL_NULL_HENV, SQL_NULL_HDBC, dmStmt, state, &native, nullptr, 0, &length)))
            break;
}
void discardDriverRecords(Stmt& s) {
    discardDriverRecords(s.api(), s.dm());
}

// Rows [first, last) of a parameter array run one at a time: each row's
// parameters bound as one row (the driver manager already told one row per
// execution), executed, stopped at the first row that fails. The records of
// every row that reported any stay on the statement, oldest first.
struct EachRow {
    SQLRETURN result = SQL_SUCCESS;
    SQLULEN done = 0;      // index after the last row that succeeded
    SQLLEN total = 0;      // sum of the rows' counts
    SQLLEN lastCount = 0;  // the count of the last row run
};

template <class Run>
EachRow runEachRow(Stmt& s, SQLULEN first, SQLULEN last, Run run) {
    StmtState& st = s.st();
    const DriverManager& d = s.api();
    SQLHSTMT h = s.dm();
    EachRow out;
    out.done = first;
    st.bindingsShifted = true;
    for (SQLULEN r = first; r < last; ++r) {
        SQLRETURN rc = SQL_SUCCESS;
        for (auto it = st.bindings.begin(); it != st.bindings.end() && SQL_SUCCEEDED(rc); ++it)
            rc = bindRow(s, it->first, it->second, r);
        SQLSMALLINT columns = 0;
        if (SQL_SUCCEEDED(rc) && r > first && SQL_SUCCEEDED(d.SQLNumResultCols(h, &columns)) && columns > 0)
            rc = d.SQLFreeStmt(h, SQL_CLOSE);  // the last row's result set is the one left
        if (SQL_SUCCEEDED(rc)) rc = run();
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA_FOUND) {
            out.result = rc;
            break;
        }
        if (rc == SQL_SUCCESS_WITH_INFO) out.result = rc;
        SQLLEN count = 0;
        if (SQL_SUCCEEDED(d.SQLRowCount(h, &count))) out.lastCount = count;
        if (count > 0) out.total += count;
        out.done = r + 1;
        // The next row's calls clear the driver manager's records.
        if (rc == SQL_SUCCESS_WITH_INFO) keepDriverRecords(s);
    }
    if (!SQL_SUCCEEDED(out.result)) keepDriverRecords(s);
    return out;
}

// After rows ran one at a time: the array bindings back, and the row-number
// variable and the row count as the driver's own loop leaves them: the
// number of rows done before a failure (all rows on success), and `count`.
SQLRETURN finishRowByRow(Stmt& s, SQLRETURN result, SQLULEN done, SQLLEN count) {
    StmtState& st = s.st();
    // The restoring calls add nothing to what the execution reported; one
    // that fails leaves the bindings shifted, restored again before the next
    // execution.
    if (restoreArrays(s) != SQL_SUCCESS) discardDriverRecords(s);
    if (st.rowsDone) *st.rowsDone = done;
    if (SQL_SUCCEEDED(result)) {
        st.ownRowCount = true;
        st.rowCount = count;
    }
    return result;
}

// A parameter array run one row at a time (see runEachRow); the row count
// is the sum of the rows' counts.
template <class Run>
SQLRETURN executeRowByRow(Stmt& s, SQLULEN rows, Run run) {
    SQLRETURN result = s.api().SQLParamOptions(s.dm(), 1, nullptr);
    if (!SQL_SUCCEEDED(result)) return result;
    EachRow each = runEachRow(s, 0, rows, run);
    return finishRowByRow(s, each.result, each.done, each.total);
}

// PostgreSQL. psqlODBC runs a parameter array as one statement of its own:
// when one row fails inside a transaction block it rolls back every row of
// the array, while the row-number variable says the rows before the failing
// one ran (seen: rows 10 and 11 of 10, 11, 100, 12 gone, the block going on
// and committing without them); and for a statement the server has not
// parsed yet it sends the rows as multi-statement messages, whose failure
// undoes the whole message and names its last row. So every array that
// libruva70 can bind row by row runs one row per execution there: each row
// is then a statement of its own, the failing row alone is undone, and the
// rows before it are in the block exactly as the row-number variable says.
// psqlODBC's own loop makes one round trip per row as well once the
// statement is parsed. Arrays with data at execution, output parameters or
// a C type of unknown size keep psqlODBC's loop.
bool rowsBindOneByOne(const StmtState& st, SQLULEN rows) {
    if (st.bindings.empty()) return false;
    for (const auto& [ipar, b] : st.bindings) {
        if (b.paramType != SQL_PARAM_INPUT) return false;
        if (b.value && rowStride(b) <= 0) {
            // Character and binary columns of only NULLs may have slots of 0 bytes.
            const bool variable = b.cType == SQL_C_CHAR || b.cType == SQL_C_WCHAR || b.cType == SQL_C_BINARY;
            if (rowStride(b) < 0 || !variable) return false;
        }
        if (b.ind)
            for (SQLULEN r = 0; r < rows; ++r)
                if (isAtExec(b.ind[r])) return false;
    }
    return true;
}

// A PostgreSQL array one row per execution; the row count is the last row's,
// as psqlODBC's own loop leaves it.
template <class Run>
SQLRETURN postgresExecuteRows(Stmt& s, Run run) {
    StmtState& st = s.st();
    SQLRETURN result = s.api().SQLParamOptions(s.dm(), 1, nullptr);
    if (!SQL_SUCCEEDED(result)) return result;
    EachRow each = runEachRow(s, 0, st.paramRows, run);
    result = finishRowByRow(s, each.result, each.done, each.lastCount);
    // After a failure the variable names the failing row, counted from 1.
    if (!SQL_SUCCEEDED(result) && st.rowsDone) *st.rowsDone = each.done + 1;
    return result;
}

// Multi-row inserts (insert_rows.h). A parameter array of a prepared plain
// INSERT ... VALUES (?, ...) runs in chunks of rows: an internal statement
// of the driver manager, prepared with the chunk's number of rows of
// markers, whose parameters are bound once to work buffers; each chunk's
// values are copied there from the application's arrays and the statement
// runs once. What the application sees is what the driver's own array gives:
//  - A chunk that fails is undone by the data source (one statement) and its
//    rows run again one at a time on the application's statement, so the
//    row that fails, the rows committed before it in auto-commit mode, the
//    row-number variable and the records are those of a row-by-row run. On
//    PostgreSQL inside a transaction block a failed statement spoils the
//    block, so there a savepoint is set before the first chunk; a failure
//    rolls back to it and the whole array runs again one row at a time, so
//    that the rows before the failing one stay in the block.
//  - The last row always runs alone on the application's statement, so the
//    row count is the data source's own: PostgreSQL answers the last row's
//    count, SQLite the sum of the rows'.
// Arrays with data at execution, output parameters, 8-byte timestamp
// conversions, or a C type of unknown size keep the data source's own path.

constexpr SQLULEN kInsertRowsDefault = 1024;
// Markers of one statement at most: the data source's record says (SQLite's
// limit of parameters; psqlODBC drops the connection above about 8,000).

// Rows per chunk for this statement, or 0 when its arrays take the data
// source's own path.
SQLULEN insertChunkRows(const StmtState& st, SQLULEN rows) {
    if (!st.plainInsert || rows < 3 || !st.params.empty()) return 0;
    if (!st.source->insertMarkers) return 0;
    if (st.insertRows == 1) return 0;
    const auto markers = static_cast<SQLULEN>(st.insert.markers);
    if (st.bindings.size() != markers) return 0;
    SQLUSMALLINT expect = 1;
    for (const auto& [ipar, b] : st.bindings) {
        if (ipar != expect++ || b.paramType != SQL_PARAM_INPUT || !b.value) return 0;
        // Character and binary columns of only NULLs may have slots of 0 bytes.
        const bool variable = b.cType == SQL_C_CHAR || b.cType == SQL_C_WCHAR || b.cType == SQL_C_BINARY;
        if (rowStride(b) < 0 || (rowStride(b) == 0 && !variable)) return 0;
        if (b.ind)
            for (SQLULEN r = 0; r < rows; ++r)
                if (isAtExec(b.ind[r])) return 0;
    }
    SQLULEN chunk = st.insertRows ? st.insertRows : kInsertRowsDefault;
    chunk = std::min(chunk, st.source->insertMarkers / markers);
    return chunk >= 2 ? chunk : 0;
}

// One internal statement for chunks of `rows` rows, bound to work buffers.
class ChunkStatement {
public:
    ChunkStatement(Stmt& s, SQLULEN rows) : s_(s), rows_(rows) {}
    ChunkStatement(const ChunkStatement&) = delete;
    ChunkStatement& operator=(const ChunkStatement&) = delete;
    ~ChunkStatement() { release(); }

    SQLULEN rows() const { return rows_; }
    SQLHSTMT handle() const { return h_; }

    // Allocates, prepares and binds. On failure the driver manager's records
    // are those of the failing call (of the internal statement or the
    // connection).
    SQLRETURN open() {
        const DriverManager& d = s_.api();
        SQLRETURN rc = withConnectionLock([&] { return d.SQLAllocStmt(s_.st().dmDbc, &h_); });
        if (!SQL_SUCCEEDED(rc)) {
            h_ = SQL_NULL_HSTMT;
            return rc;
        }
        std::string text = multiRowText(s_.st().insert, rows_);
        rc = d.SQLPrepare(h_, reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));
        if (!SQL_SUCCEEDED(rc)) return rc;
        const bool sqlite = s_.st().source->arrays == ArrayRuns::SqliteDriver;
        for (const auto& [ipar, b] : s_.st().bindings) {
            Column col;
            col.binding = b;
            col.ipar = ipar;
            col.stride = static_cast<size_t>(rowStride(b));
            col.values.assign(col.stride * rows_ + 1, 0);
            if (b.ind) col.ind.assign(rows_, 0);
            // The SQLite driver takes a binary value's length when it is
            // bound: those are bound for each chunk, after the copy.
            col.perChunk = sqlite && isBinaryInput(b);
            columns_.push_back(std::move(col));
        }
        for (const Column& c : columns_)
            if (!c.perChunk)
                for (SQLULEN r = 0; r < rows_ && SQL_SUCCEEDED(rc); ++r) rc = bind(c, r);
        return rc;
    }

    // Runs application rows [first, first + rows()).
    SQLRETURN run(SQLULEN first) {
        SQLRETURN rc = SQL_SUCCESS;
        for (const Column& c : columns_) {
            const ParamBinding& b = c.binding;
            if (c.stride)
                std::memcpy(c.values.data(), static_cast<const char*>(b.value) + first * c.stride, c.stride * rows_);
            if (b.ind) std::memcpy(c.ind.data(), b.ind + first, rows_ * sizeof(SQLLEN));
        }
        for (const Column& c : columns_)
            if (c.perChunk)
                for (SQLULEN r = 0; r < rows_ && SQL_SUCCEEDED(rc); ++r) rc = bind(c, r);
        if (!SQL_SUCCEEDED(rc)) return rc;
        return s_.api().SQLExecute(h_);
    }

    void release() {
        if (h_ == SQL_NULL_HSTMT) return;
        withConnectionLock([&] { return s_.api().SQLFreeStmt(h_, SQL_DROP); });
        h_ = SQL_NULL_HSTMT;
    }

private:
    struct Column {
        ParamBinding binding;
        SQLUSMALLINT ipar = 0;
        size_t stride = 0;
        mutable std::vector<char> values;
        mutable std::vector<SQLLEN> ind;
        bool perChunk = false;
    };

    SQLRETURN bind(const Column& c, SQLULEN r) const {
        const ParamBinding& b = c.binding;
        const auto ipar = static_cast<SQLUSMALLINT>(r * static_cast<SQLULEN>(s_.st().insert.markers) + c.ipar);
        return s_.api().SQLBindParameter(h_, ipar, SQL_PARAM_INPUT, b.cType, b.sqlType, b.columnSize, b.scale,
                                         c.values.data() + r * c.stride, b.valueMax,
                                         b.ind ? c.ind.data() + r : nullptr);
    }

    // The driver keeps a connection's statements in a list of its own: they
    // are made and freed under the connection's lock (see handles.h).
    template <class F>
    SQLRETURN withConnectionLock(F f) {
        Handle* dbc = lookup(handleOf(s_.h->parent.load(std::memory_order_relaxed)), Kind::Dbc);
        if (!dbc) return f();
        std::lock_guard<std::mutex> lock(dbc->childrenMu);
        return f();
    }

    Stmt& s_;
    SQLULEN rows_;
    SQLHSTMT h_ = SQL_NULL_HSTMT;
    std::vector<Column> columns_;
};

// Moves the records of an internal statement into the statement's own list.
void keepRecordsOf(Stmt& s, SQLHSTMT h) {
    for (int i = 0; i < 64; ++i) {
        SQLCHAR state[8] = {};
        SQLCHAR message[4096] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = s.api().SQLError(SQL_NULL_HENV, SQL_NULL_HDBC, h, state, &native, message,
                                        static_cast<SQLSMALLINT>(sizeof message), &length);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        keepDiag(*s.h, reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(message));
    }
}

void dropRecordsOf(Stmt& s, SQLHSTMT h) {
    discardDriverRecords(s.api(), h);
}

bool internal(Stmt& s, const char* sql) {
    std::string reason;
    return runInternal(s.api(), s.st().dmDbc, sql, nullptr, reason) == SQL_SUCCESS;
}

template <class Run>
SQLRETURN executeInsertRows(Stmt& s, SQLULEN chunkRows, Run run) {
    StmtState& st = s.st();
    const SQLULEN rows = st.paramRows;
    // Inside a transaction block of PostgreSQL (manual commit, or a block
    // the application began) the savepoint is set; elsewhere it is refused
    // and each chunk is a transaction of its own.
    const bool savepoint = st.source->insertSavepoint && internal(s, "SAVEPOINT ruva70_rows");
    SQLRETURN result = SQL_SUCCESS;
    SQLLEN total = 0;
    SQLULEN next = 0;
    bool failed = false;
    {
        std::unique_ptr<ChunkStatement> full, tail;
        // The last row runs alone (see above).
        while (rows - 1 - next >= 2) {
            const SQLULEN k = std::min(chunkRows, rows - 1 - next);
            std::unique_ptr<ChunkStatement>& cs = k == chunkRows ? full : tail;
            if (!cs || cs->rows() != k) {
                cs = std::make_unique<ChunkStatement>(s, k);
                if (!SQL_SUCCEEDED(cs->open())) {
                    // Not taken by the data source: these rows go one at a
                    // time (inside a block, as after a failed chunk: the
                    // refusal may have spoilt the block).
                    if (cs->handle()) dropRecordsOf(s, cs->handle());
                    failed = savepoint;
                    break;
                }
            }
            SQLRETURN rc = cs->run(next);
            if (!SQL_SUCCEEDED(rc)) {
                dropRecordsOf(s, cs->handle());
                failed = true;
                break;
            }
            if (rc == SQL_SUCCESS_WITH_INFO) {
                result = rc;
                keepRecordsOf(s, cs->handle());
            }
            SQLLEN count = 0;
            if (SQL_SUCCEEDED(s.api().SQLRowCount(cs->handle(), &count)) && count > 0) total += count;
            next += k;
        }
    }
    if (savepoint) {
        internal(s, failed ? "ROLLBACK TO SAVEPOINT ruva70_rows" : "RELEASE SAVEPOINT ruva70_rows");
        if (failed) {
            // The block is as it was before the array: every row runs again,
            // one per execution, so that the failing row alone is undone.
            internal(s, "RELEASE SAVEPOINT ruva70_rows");
            clearDiags(*s.h);
            next = 0;
            total = 0;
        }
    }
    SQLRETURN rc = s.api().SQLParamOptions(s.dm(), 1, nullptr);
    if (!SQL_SUCCEEDED(rc)) return rc;
    EachRow each = runEachRow(s, next, rows, run);
    if (each.result != SQL_SUCCESS) result = each.result;
    const SQLLEN count = st.source->arrayCountIsLastRow ? each.lastCount : total + each.total;
    result = finishRowByRow(s, result, each.done, count);
    // After a failure the variable names the failing row, counted from 1.
    if (!SQL_SUCCEEDED(result) && st.rowsDone) *st.rowsDone = each.done + 1;
    return result;
}

// An execution on a SQLite connection (see above); `run` calls the driver
// manager's SQLExecute or SQLExecDirect.
template <class Run>
SQLRETURN sqliteExecuteRows(Stmt& s, Run run) {
    StmtState& st = s.st();
    const SQLULEN rows = st.paramRows ? st.paramRows : 1;
    if (rows > 1 && needsRowByRow(st, rows)) return executeRowByRow(s, rows, run);
    if (st.bindingsShifted) {
        SQLRETURN rc = restoreArrays(s);
        if (!SQL_SUCCEEDED(rc)) return rc;
    }
    for (const auto& [ipar, b] : st.bindings) {
        if (!isBinaryInput(b)) continue;
        SQLRETURN rc = bindRow(s, ipar, b, 0);
        if (!SQL_SUCCEEDED(rc)) return rc;
    }
    return run();
}

// The SQLite driver reports the row of a parameter array it failed on
// counted from 0; ODBC counts the row being processed from 1, and callers
// mark that row. The number is moved to ODBC's count.
template <class Run>
SQLRETURN sqliteExecute(Stmt& s, Run run) {
    SQLRETURN rc = sqliteExecuteRows(s, run);
    StmtState& st = s.st();
    const SQLULEN rows = st.paramRows ? st.paramRows : 1;
    if (rc == SQL_ERROR && rows > 1 && st.rowsDone && *st.rowsDone < rows) ++*st.rowsDone;
    return rc;
}

// Character parameters holding U+0000. psqlODBC and the SQLite driver both
// end a character value at its first zero unit whatever its length says,
// and store the rest of the row as if nothing were missing ("ab\0cd" stored
// as "ab", reported done). PostgreSQL text cannot hold the character at all
// (its own state is 22021); the SQLite driver cannot bind it. So on these
// two data sources an execution whose character values hold one fails
// before anything runs, with 22021; a parameter array then reports no row
// as done (the row-number variable names the first row).
bool holdsZeroUnit(const ParamBinding& b, SQLULEN row) {
    if (b.paramType == SQL_PARAM_OUTPUT || !b.value || (b.cType != SQL_C_CHAR && b.cType != SQL_C_WCHAR))
        return false;
    const SQLLEN length = b.ind ? b.ind[row] : SQL_NTS;
    if (length <= 0) return false;  // NULL, data at execution, SQL_NTS (ends at the zero itself)
    const char* at = static_cast<const char*>(b.value) + row * static_cast<SQLULEN>(rowStride(b));
    if (b.cType == SQL_C_CHAR) return std::memchr(at, 0, static_cast<size_t>(length)) != nullptr;
    for (SQLLEN i = 0; i + 1 < length; i += 2)
        if (at[i] == 0 && at[i + 1] == 0) return true;
    return false;
}

// Only the prepared statement's own parameters are read: a binding left from
// an earlier statement on the handle may point at memory that is gone, and
// the driver does not read it either. Their number is asked once per
// prepare, right before an execution (which clears the records anyway).
SQLRETURN refuseZeroUnits(Stmt& s) {
    StmtState& st = s.st();
    if (!st.source->refuseZeroUnits) return SQL_SUCCESS;
    if (st.preparedParams < 0) {
        SQLSMALLINT n = 0;
        st.preparedParams = SQL_SUCCEEDED(s.api().SQLNumParams(s.dm(), &n)) ? n : 0;
    }
    const SQLULEN rows = st.paramRows ? st.paramRows : 1;
    for (const auto& [ipar, b] : st.bindings) {
        if (ipar > st.preparedParams) break;
        for (SQLULEN r = 0; r < rows; ++r)
            if (holdsZeroUnit(b, r)) {
                if (st.rowsDone) *st.rowsDone = 1;
                return fail(*s.h, "22021",
                            "parameter " + std::to_string(ipar) +
                                (rows > 1 ? " of row " + std::to_string(r + 1) : "") +
                                " holds the character U+0000, which the data source cannot store");
            }
    }
    return SQL_SUCCESS;
}

// SQLExecute and SQLExecDirect: the conversions, then the execution; a
// parameter array of a prepared plain INSERT runs as multi-row inserts.
template <class Run>
SQLRETURN execute(Stmt& s, Run run, bool prepared) {
    newResult(s);
    SQLRETURN rc = prepareParamConversions(*s.h);
    if (rc != SQL_SUCCESS) return rc;
    // After the conversions, which bind their text for this execution's rows.
    if (prepared || s.st().undescribed) {
        rc = refuseZeroUnits(s);
        if (rc != SQL_SUCCESS) return executed(s, rc);
    }
    if (prepared) {
        const SQLULEN chunkRows = insertChunkRows(s.st(), s.st().paramRows);
        if (chunkRows) return executed(s, executeInsertRows(s, chunkRows, run));
    }
    const ArrayRuns arrays = s.st().source->arrays;
    if (arrays == ArrayRuns::SqliteDriver && !s.st().bindings.empty()) return executed(s, sqliteExecute(s, run));
    if (arrays == ArrayRuns::OneRowEach && s.st().paramRows > 1 && rowsBindOneByOne(s.st(), s.st().paramRows))
        return executed(s, postgresExecuteRows(s, run));
    return executed(s, run());
}

// A prepared statement whose tables changed after it was prepared (a column
// added, say, by this connection or another one). The SQLite driver keeps the
// column count it found at prepare time while libsqlite3 prepares the
// statement anew underneath: the rows came back without the new column, with
// success. psqlODBC's prepared plan fails with 0A000 "cached plan must not
// change result type". So on SQLite a statement run again is first checked
// against the schema version it was prepared against (PRAGMA schema_version,
// in process), and prepared again when that changed; on PostgreSQL an
// execution that fails so is prepared again and run once more (psqlODBC
// undoes only the failed statement, so a transaction stays as it was).
// Applications that keep a prepared statement across a schema change get the
// same as a fresh prepare would.

// The connection's schema version (SQLite); empty when it cannot be read.
std::string sqliteSchemaVersion(Stmt& s) {
    std::string version, reason;
    Handle* dbc = lookup(handleOf(s.h->parent.load(std::memory_order_relaxed)), Kind::Dbc);
    // The SQLite driver's list of statements is changed only under this lock.
    std::unique_lock<std::mutex> lock;
    if (dbc) lock = std::unique_lock<std::mutex>(dbc->childrenMu);
    if (runInternal(s.api(), s.st().dmDbc, "PRAGMA schema_version", &version, reason) != SQL_SUCCESS) return {};
    return version;
}

SQLRETURN prepareAgain(Stmt& s) {
    StmtState& st = s.st();
    SQLRETURN rc = s.api().SQLPrepare(s.dm(), reinterpret_cast<SQLCHAR*>(st.preparedText.data()),
                                      static_cast<SQLINTEGER>(st.preparedText.size()));
    // The result's columns may be others now, whatever the prepare answered.
    ++st.describedVersion;
    if (SQL_SUCCEEDED(rc)) st.preparedRan = false;
    return rc;
}

// Before an execution of a prepared statement (SQLite).
SQLRETURN checkSchema(Stmt& s) {
    StmtState& st = s.st();
    if (!st.source->checkSchemaVersion || !st.preparedRan || st.schemaVersion.empty()) return SQL_SUCCESS;
    std::string now = sqliteSchemaVersion(s);
    if (now.empty() || now == st.schemaVersion) return SQL_SUCCESS;
    st.schemaVersion = std::move(now);
    return prepareAgain(s);
}

// After an execution of a prepared statement failed (PostgreSQL): whether it
// failed because the prepared plan no longer fits its tables. The records
// move to our own list either way.
bool planChanged(Stmt& s) {
    const auto changed = s.st().source->planChanged;
    if (!changed || s.st().preparedText.empty()) return false;
    keepDriverRecords(s);
    std::lock_guard<std::mutex> lock(s.h->mu);
    for (const Diag& d : s.h->diags)
        if (changed(d, s.st().preparedText)) return true;
    return false;
}

// The type psqlODBC leaves unnamed for an input bound with this SQL type, as
// the server is to read it when no context types the parameter: character
// data as varchar, floating point as float8, bits as boolean (other types
// psqlODBC casts itself).
const char* untypedCast(const ParamBinding& b) {
    if (b.paramType != SQL_PARAM_INPUT) return nullptr;
    if (isCharacterType(b.sqlType)) return "varchar";
    switch (b.sqlType) {
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return "float8";
        case SQL_BIT:
            return "boolean";
        default:
            return nullptr;
    }
}

// The text of an undescribed PostgreSQL statement with a cast around each
// marker whose binding psqlODBC sends without a type. Markers are the `?`
// outside literals, quoted names, comments and dollar-quoted text.
std::string typedMarkers(const std::string& sql, const StmtState& st) {
    const std::map<SQLUSMALLINT, ParamBinding>& bindings = st.bindings;
    std::string out;
    out.reserve(sql.size() + 32);
    const size_t n = sql.size();
    SQLUSMALLINT marker = 0;
    size_t i = 0;
    auto copyUntil = [&](size_t end) {
        out.append(sql, i, end - i);
        i = end;
    };
    while (i < n) {
        const size_t skipped = skipQuoted(sql.data(), n, i);
        if (skipped != i) {
            copyUntil(skipped);
        } else if (sql[i] == '?') {
            ++marker;
            const auto b = bindings.find(marker);
            // A timestamp converted to text here stays as psqlODBC sends it.
            const char* cast = b == bindings.end() || st.params.count(marker) ? nullptr : untypedCast(b->second);
            if (cast) {
                out += "CAST(? AS ";
                out += cast;
                out += ')';
            } else {
                out += '?';
            }
            ++i;
        } else {
            copyUntil(i + 1);
        }
    }
    return out;
}

SQLRETURN setOwnOption(Handle& h, SQLULEN& cell, SQLUSMALLINT option, SQLULEN value) {
    if (value != 0 && value != 1)
        return fail(h, "S1009", "option " + std::to_string(option) + " takes 0 or 1, not " + std::to_string(value));
    cell = value;
    return SQL_SUCCESS;
}

// SQLFreeStmt(SQL_DROP). A statement is released only under its
// connection's lock (here, or by a disconnect), so the statement is entered
// and its state touched only once that lock is held: a disconnect on another
// thread may otherwise drop the state under this call.
SQLRETURN dropStmt(SQLHSTMT hstmt) {
    const Handle* h = lookup(hstmt, Kind::Stmt);
    if (!h) return SQL_INVALID_HANDLE;
    // A live statement's connection is live. Should the statement be
    // released meanwhile, this may name another connection; the statement
    // is then not found again below.
    Handle* dbc = lookup(handleOf(h->parent.load(std::memory_order_relaxed)), Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    std::lock_guard<std::mutex> children(dbc->childrenMu);
    Stmt s;
    // A cancel that comes while the release waits for its turn changes
    // nothing: the statement is released all the same.
    if (!s.begin(hstmt, false)) return SQL_INVALID_HANDLE;
    clearDiags(*s.h);
    // No cancel may reach the driver manager's statement once it is freed.
    std::lock_guard<std::mutex> lock(s.h->cancelMu);
    closeCursor(*s.h);
    SQLRETURN rc = s.api().SQLFreeStmt(s.dm(), SQL_DROP);
    if (SQL_SUCCEEDED(rc)) release(valueOf(hstmt), Kind::Stmt);
    return rc;
}

// Under the connection's childrenMu: the SQLite connection's statement for
// interrupts (see SQLCancel), allocated once per connected session. Without
// it a cancel of a running statement fails.
void prepareInterrupts(Handle& dbc) {
    std::lock_guard<std::mutex> lock(dbc.interruptMu);
    if (dbc.interruptStmt) return;
    SQLHSTMT st = SQL_NULL_HSTMT;
    if (SQL_SUCCEEDED(fns(dbc).SQLAllocStmt(dbc.dm.load(), &st))) dbc.interruptStmt = st;
}

// A cancel's hold on the connection: a disconnect waits for it before the
// driver manager frees the connection's statements. Not held when a
// disconnect is under way already.
class CancelHold {
public:
    explicit CancelHold(Handle& dbc) : dbc_(dbc) {
        dbc_.cancels.fetch_add(1, std::memory_order_seq_cst);
        held_ = !dbc_.closing.load(std::memory_order_seq_cst);
        if (!held_) dbc_.cancels.fetch_sub(1, std::memory_order_release);
    }
    ~CancelHold() {
        if (held_) dbc_.cancels.fetch_sub(1, std::memory_order_release);
    }
    CancelHold(const CancelHold&) = delete;
    CancelHold& operator=(const CancelHold&) = delete;
    bool held() const { return held_; }

private:
    Handle& dbc_;
    bool held_ = false;
};

// A cancel that found no call of the statement's own thread, and runs alone
// on the statement until it returns. The statement's records (of its last
// call) move into libruva70's own list first, since the driver manager's
// SQLCancel clears them; then the driver manager carries the cancel out: it
// ends a data-at-execution sequence and, as ODBC 2 defines a cancel of a
// statement with nothing in progress, closes an open cursor. The driver
// is told to close too: psqlODBC's SQLCancel leaves its cursor open, and the
// statement's next execution would fail ("the cursor is open").
SQLRETURN cancelIdle(Handle& h) {
    keepDriverRecords(h);
    SQLRETURN rc = fns(h).SQLCancel(h.dm.load());
    if (!SQL_SUCCEEDED(rc)) return rc;
    if (fns(h).SQLFreeStmt(h.dm.load(), SQL_CLOSE) == SQL_ERROR) discardDriverRecords(fns(h), h.dm.load());
    if (h.stmt) {
        // As after SQL_CLOSE: the next fetch decides the conversions anew.
        h.stmt->resultChanged = true;
        h.stmt->ownTypeNames.clear();
        h.stmt->fetched = 0;
        h.stmt->ownRowCount = false;
        // A cursor on the data source stays until the statement closes.
        h.stmt->cursor.reading = false;
    }
    return rc;
}

// A cancel of a statement that runs on another thread: only an interrupt,
// which that thread's call answers with an error of its own. It never goes
// through the driver manager's SQLCancel on the statement, which clears the
// statement's records and changes its state from this thread.
//   SQLite: the driver's SQLCancel interrupts the connection
//   (sqlite3_interrupt) and then closes the statement's cursor, freeing its
//   rows while the running call still reads them. So it is called on the
//   connection's own interrupt statement instead, which has nothing to close:
//   the running statement is interrupted and left to its own thread.
//   Others (psqlODBC): the driver's SQLCancel is made for this (it sends the
//   server a cancel request) and is called directly with the driver's
//   statement; where it was not found, through the driver manager.
SQLRETURN cancelRunning(Handle& h, Handle& dbc) {
    const DataSource* source = h.source.load(std::memory_order_relaxed);
    if (source && source->cancel == CancelRoute::InterruptStatement) {
        std::lock_guard<std::mutex> lock(dbc.interruptMu);
        if (!dbc.interruptStmt) return SQL_ERROR;
        return fns(dbc).SQLCancel(dbc.interruptStmt);
    }
    auto driverCancel = dbc.driverCancel.load(std::memory_order_acquire);
    SQLHSTMT driverStmt = h.driverStmt.load(std::memory_order_acquire);
    if (driverCancel && driverStmt) return driverCancel(driverStmt);
    return fns(h).SQLCancel(h.dm.load(std::memory_order_acquire));
}

}  // namespace

#define RUVA_ENTER_STMT(hstmt) \
    Stmt s;                    \
    if (!enterStmt(hstmt, s)) return s.refused

extern "C" {

SQLRETURN ruva70_SQLAllocStmt(SQLHDBC hdbc, SQLHSTMT* phstmt) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) {
        if (phstmt) *phstmt = SQL_NULL_HSTMT;
        return SQL_INVALID_HANDLE;
    }
    if (!phstmt) return fail(*dbc, "S1009", "null output handle address");
    *phstmt = SQL_NULL_HSTMT;
    // Asked before the allocation, whose own records must be what remains.
    const DataSource* known = sourceOf(*dbc);
    const DataSource* source = known ? known : &genericSource();
    auto state = std::make_unique<StmtState>();
    state->source = source;
    state->dmDbc = dbc->dm.load();
    state->transactionEnds = &dbc->transactionEnds;
    SQLHSTMT st = SQL_NULL_HSTMT;
    std::lock_guard<std::mutex> children(dbc->childrenMu);
    // Taken after childrenMu, as a release takes them.
    ConnectionTurn turn(dbc);
    if (source->cancel == CancelRoute::InterruptStatement) prepareInterrupts(*dbc);
    SQLRETURN rc = fns(*dbc).SQLAllocStmt(dbc->dm.load(), &st);
    if (!SQL_SUCCEEDED(rc)) return rc;
    // The driver's own statement, for a cancel that goes to the driver.
    SQLHSTMT driverStmt = nullptr;
    if (source->cancel == CancelRoute::DriverDirect && dbc->driverCancel.load(std::memory_order_relaxed)) {
        SQLHSTMT cell = st;  // in: the driver manager's statement; out: the driver's
        SQLSMALLINT len = 0;
        if (SQL_SUCCEEDED(fns(*dbc).SQLGetInfo(dbc->dm.load(), SQL_DRIVER_HSTMT, &cell, sizeof cell, &len)) &&
            cell != st)
            driverStmt = cell;
    }
    uint32_t v =
        issue(Kind::Stmt, st, valueOf(hdbc), source, std::move(state), dbc->api.load(std::memory_order_relaxed));
    if (!v) {
        fns(*dbc).SQLFreeStmt(st, SQL_DROP);
        return fail(*dbc, "S1001", "no handle left in the handle table");
    }
    if (Handle* h = lookup(handleOf(v), Kind::Stmt)) {
        h->driverStmt.store(driverStmt, std::memory_order_release);
        h->turn.store(dbc->turn.load(std::memory_order_acquire), std::memory_order_release);
    }
    *phstmt = handleOf(v);
    return rc;
}

SQLRETURN ruva70_SQLFreeStmt(SQLHSTMT hstmt, SQLUSMALLINT fOption) {
    if (fOption == SQL_DROP) return dropStmt(hstmt);
    RUVA_ENTER_STMT(hstmt);
    SQLRETURN rc = s.api().SQLFreeStmt(s.dm(), fOption);
    if (!SQL_SUCCEEDED(rc)) return rc;
    switch (fOption) {
        case SQL_CLOSE:
            newResult(s);
            closeCursor(*s.h);
            break;
        case SQL_UNBIND:
            s.st().columns.clear();
            s.st().wideColumns.clear();
            break;
        case SQL_RESET_PARAMS:
            s.st().params.clear();
            s.st().bindings.clear();
            if (s.st().bindingsShifted) s.api().SQLParamOptions(s.dm(), s.st().paramRows, s.st().rowsDone);
            s.st().bindingsShifted = false;
            break;
        default:
            break;
    }
    return rc;
}

namespace {

// One attempt of SQLCancel. `busy`: the statement is idle but another call
// holds its connection's turn; nothing was done, and the cancel is tried
// again once every lock taken here is let go (a release of the statement
// takes the turn before cancelMu).
SQLRETURN cancelOnce(SQLHSTMT hstmt, bool& busy) {
    // May arrive from another thread at any moment: while the statement runs,
    // between its calls, or racing its release. Cancels of one statement take
    // turns (cancelMu, which the statement's release also holds).
    Handle* h = lookup(hstmt, Kind::Stmt);
    if (!h) return SQL_INVALID_HANDLE;
    std::lock_guard<std::mutex> lock(h->cancelMu);
    // The statement may have been freed (and its slot issued again) while
    // this call waited.
    if (lookup(hstmt, Kind::Stmt) != h) return SQL_INVALID_HANDLE;
    SQLHSTMT d = h->dm.load(std::memory_order_acquire);
    if (!d) return SQL_INVALID_HANDLE;
    Handle* dbc = lookup(handleOf(h->parent.load(std::memory_order_relaxed)), Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    CancelHold hold(*dbc);
    // A disconnect is freeing the statement, and none of the connection's
    // statements runs any more (the disconnect waited for them): there is
    // nothing to cancel, and the statement must not be touched.
    if (!hold.held()) return SQL_INVALID_HANDLE;
    // A disconnect that ran to its end before the hold was taken freed the
    // statement (and its slot may serve another one now).
    if (lookup(hstmt, Kind::Stmt) != h) return SQL_INVALID_HANDLE;
    // Either this cancel sees a call of the statement's own thread, or that
    // call waits until this cancel is done (handles.h).
    h->idleCancel.store(true, std::memory_order_seq_cst);
    if (h->calls.load(std::memory_order_seq_cst) == 0) {
        std::unique_lock<std::recursive_timed_mutex> turn;
        if (std::recursive_timed_mutex* t = h->turn.load(std::memory_order_acquire)) {
            turn = std::unique_lock<std::recursive_timed_mutex>(*t, std::try_to_lock);
            if (!turn.owns_lock()) {
                h->idleCancel.store(false, std::memory_order_release);
                busy = true;
                return SQL_SUCCESS;
            }
        }
        SQLRETURN rc = cancelIdle(*h);
        h->idleCancel.store(false, std::memory_order_release);
        return rc;
    }
    h->idleCancel.store(false, std::memory_order_release);
    // A call still waiting for its connection's turn fails as soon as it has
    // it (handles.h); one that got it meanwhile is in the driver, or about to
    // be, and the driver's cancel goes to it.
    if (h->waitingTurn.load(std::memory_order_seq_cst)) {
        h->turnCancel.store(true, std::memory_order_seq_cst);
        if (h->waitingTurn.load(std::memory_order_seq_cst)) return SQL_SUCCESS;
    }
    return cancelRunning(*h, *dbc);
}

}  // namespace

SQLRETURN ruva70_SQLCancel(SQLHSTMT hstmt) {
    for (;;) {
        bool busy = false;
        const SQLRETURN rc = cancelOnce(hstmt, busy);
        if (!busy) return rc;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

SQLRETURN ruva70_SQLSetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT fOption, SQLULEN vParam) {
    RUVA_ENTER_STMT(hstmt);
    switch (fOption) {
        case RUVA70_STMT_DRIVER_TYPES:
            return setOwnOption(*s.h, s.st().driverTypes, fOption, vParam);
        case RUVA70_STMT_TYPE_FROM_VALUE:
            return setOwnOption(*s.h, s.st().typeFromValue, fOption, vParam);
        case RUVA70_STMT_OUTPUT_INPUT:
            return setOwnOption(*s.h, s.st().outputInput, fOption, vParam);
        case RUVA70_STMT_INSERT_ROWS:
            s.st().insertRows = vParam;
            return SQL_SUCCESS;
        case RUVA70_STMT_FETCH_ROWS:
            s.st().fetchRows = vParam;
            return SQL_SUCCESS;
        case RUVA70_STMT_DESCRIBED_VERSION:
            return fail(*s.h, "S1092", "the description version is read only");
        case SQL_MAX_ROWS:
            if (!s.st().source->ownMaxRows) return s.api().SQLSetStmtOption(s.dm(), fOption, vParam);
            s.st().maxRows = static_cast<uint32_t>(vParam);
            return SQL_SUCCESS;
        default:
            return s.api().SQLSetStmtOption(s.dm(), fOption, vParam);
    }
}

SQLRETURN ruva70_SQLGetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT fOption, SQLPOINTER pvParam) {
    RUVA_ENTER_STMT(hstmt);
    const SQLULEN* cell = nullptr;
    if (fOption == RUVA70_STMT_DRIVER_TYPES) cell = &s.st().driverTypes;
    const SQLULEN fromValue = 1;
    if (fOption == RUVA70_STMT_TYPE_FROM_VALUE) cell = s.st().undescribed ? &fromValue : &s.st().typeFromValue;
    if (fOption == RUVA70_STMT_OUTPUT_INPUT) cell = &s.st().outputInput;
    if (fOption == RUVA70_STMT_INSERT_ROWS) cell = &s.st().insertRows;
    if (fOption == RUVA70_STMT_FETCH_ROWS) cell = &s.st().fetchRows;
    if (fOption == SQL_MAX_ROWS && s.st().source->ownMaxRows) cell = &s.st().maxRows;
    SQLULEN version = s.st().describedVersion;
    if (fOption == RUVA70_STMT_DESCRIBED_VERSION) {
        // A driver that prepares statements again on its own counts those,
        // per prepared statement (a new prepare starts again from 0): any
        // change of its count is a new version.
        if (s.st().source->driverReprepares) {
            SQLULEN own = 0;
            const SQLRETURN rc = s.api().SQLGetStmtOption(s.dm(), fOption, &own);
            if (rc != SQL_SUCCESS) return rc;
            if (own != s.st().driverReprepares) {
                s.st().driverReprepares = own;
                ++s.st().describedVersion;
            }
        }
        if (s.st().source->silentReprepares) ++s.st().describedVersion;
        version = s.st().describedVersion;
        cell = &version;
    }
    if (!cell) return s.api().SQLGetStmtOption(s.dm(), fOption, pvParam);
    if (!pvParam) return fail(*s.h, "S1009", "null option value address");
    std::memcpy(pvParam, cell, sizeof *cell);
    return SQL_SUCCESS;
}

SQLRETURN ruva70_SQLPrepare(SQLHSTMT hstmt, SQLCHAR* szSqlStr, SQLINTEGER cbSqlStr) {
    RUVA_ENTER_STMT(hstmt);
    newResult(s);
    StmtState& st = s.st();
    st.preparedText.clear();
    closeCursor(*s.h);
    st.preparedRan = false;
    ++st.describedVersion;
    // Read before the driver prepares, so that a change in between is seen.
    if (st.source->checkSchemaVersion) st.schemaVersion = sqliteSchemaVersion(s);
    SQLRETURN rc = s.api().SQLPrepare(s.dm(), szSqlStr, cbSqlStr);
    st.plainInsert = false;
    st.undescribed = false;
    st.preparedParams = -1;
    if (SQL_SUCCEEDED(rc) && szSqlStr) {
        const char* text = reinterpret_cast<const char*>(szSqlStr);
        const size_t len = cbSqlStr == SQL_NTS ? std::strlen(text) : cbSqlStr < 0 ? 0 : static_cast<size_t>(cbSqlStr);
        st.plainInsert = parsePlainInsert(text, len, st.insert);
        // Kept for preparing it again (a schema change) and for a statement
        // whose parameters turn out not to be describable.
        st.preparedText.assign(text, len);
    }
    return rc;
}

SQLRETURN ruva70_SQLExecute(SQLHSTMT hstmt) {
    RUVA_ENTER_STMT(hstmt);
    // The cursor of the previous execution closes; the driver's statement
    // holds the prepared text again.
    closeCursor(*s.h);
    std::string query;
    if (s.st().undescribed) {
        // psqlODBC parses a prepared statement again with untyped parameters
        // at its execution; run directly, it types them from their bindings,
        // except character and floating-point data, which get a cast here.
        std::string typed = typedMarkers(s.st().preparedText, s.st());
        if (readsByCursor(*s.h, typed.data(), typed.size(), query))
            return execute(
                s, [&] { return openCursor(*s.h, query); }, false);
        SQLCHAR* text = reinterpret_cast<SQLCHAR*>(typed.data());
        const SQLINTEGER len = static_cast<SQLINTEGER>(typed.size());
        return execute(
            s, [&] { return s.api().SQLExecDirect(s.dm(), text, len); }, false);
    }
    if (readsByCursor(*s.h, s.st().preparedText.data(), s.st().preparedText.size(), query)) {
        const SQLRETURN rc = execute(
            s, [&] { return openCursor(*s.h, query); }, true);
        if (rc != SQL_NEED_DATA) s.st().preparedRan = true;
        return rc;
    }
    auto run = [&] { return s.api().SQLExecute(s.dm()); };
    SQLRETURN rc = checkSchema(s);
    if (!SQL_SUCCEEDED(rc)) return rc;
    rc = execute(s, run, true);
    if (rc == SQL_ERROR && s.st().paramRows <= 1 && planChanged(s)) {
        clearDiags(*s.h);
        rc = prepareAgain(s);
        if (SQL_SUCCEEDED(rc)) rc = execute(s, run, true);
    }
    if (rc != SQL_NEED_DATA) s.st().preparedRan = true;
    return rc;
}

SQLRETURN ruva70_SQLExecDirect(SQLHSTMT hstmt, SQLCHAR* szSqlStr, SQLINTEGER cbSqlStr) {
    RUVA_ENTER_STMT(hstmt);
    // The statement prepared before, if any, is replaced.
    s.st().preparedText.clear();
    ++s.st().describedVersion;
    closeCursor(*s.h);
    s.st().undescribed = false;
    s.st().preparedParams = -1;
    std::string query;
    if (szSqlStr && (cbSqlStr >= 0 || cbSqlStr == SQL_NTS)) {
        const char* text = reinterpret_cast<const char*>(szSqlStr);
        const size_t len = cbSqlStr == SQL_NTS ? std::strlen(text) : static_cast<size_t>(cbSqlStr);
        if (readsByCursor(*s.h, text, len, query))
            return execute(
                s, [&] { return openCursor(*s.h, query); }, false);
    }
    return execute(
        s, [&] { return s.api().SQLExecDirect(s.dm(), szSqlStr, cbSqlStr); }, false);
}

SQLRETURN ruva70_SQLParamData(SQLHSTMT hstmt, SQLPOINTER* prgbValue) {
    RUVA_ENTER_STMT(hstmt);
    newResult(s);
    // The token is the application's own value pointer, as it bound it.
    return executed(s, paramData(*s.h, prgbValue));
}

SQLRETURN ruva70_SQLPutData(SQLHSTMT hstmt, SQLPOINTER rgbValue, SQLLEN cbValue) {
    RUVA_ENTER_STMT(hstmt);
    return putData(*s.h, rgbValue, cbValue);
}

SQLRETURN ruva70_SQLMoreResults(SQLHSTMT hstmt) {
    RUVA_ENTER_STMT(hstmt);
    newResult(s);
    return s.api().SQLMoreResults(s.dm());
}

SQLRETURN ruva70_SQLNumResultCols(SQLHSTMT hstmt, SQLSMALLINT* pccol) {
    RUVA_ENTER_STMT(hstmt);
    return s.api().SQLNumResultCols(s.dm(), pccol);
}

SQLRETURN ruva70_SQLNumParams(SQLHSTMT hstmt, SQLSMALLINT* pcpar) {
    RUVA_ENTER_STMT(hstmt);
    return s.api().SQLNumParams(s.dm(), pcpar);
}

SQLRETURN ruva70_SQLRowCount(SQLHSTMT hstmt, SQLLEN* pcrow) {
    RUVA_ENTER_STMT(hstmt);
    if (s.st().ownRowCount && pcrow) {
        *pcrow = s.st().rowCount;
        return SQL_SUCCESS;
    }
    return s.api().SQLRowCount(s.dm(), pcrow);
}

SQLRETURN ruva70_SQLGetCursorName(SQLHSTMT hstmt, SQLCHAR* szCursor, SQLSMALLINT cbCursorMax,
                                  SQLSMALLINT* pcbCursor) {
    RUVA_ENTER_STMT(hstmt);
    return s.api().SQLGetCursorName(s.dm(), szCursor, cbCursorMax, pcbCursor);
}

SQLRETURN ruva70_SQLSetCursorName(SQLHSTMT hstmt, SQLCHAR* szCursor, SQLSMALLINT cbCursor) {
    RUVA_ENTER_STMT(hstmt);
    return s.api().SQLSetCursorName(s.dm(), szCursor, cbCursor);
}

SQLRETURN ruva70_SQLColAttributes(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLUSMALLINT fDescType, SQLPOINTER rgbDesc,
                                  SQLSMALLINT cbDescMax, SQLSMALLINT* pcbDesc, SQLLEN* pfDesc) {
    RUVA_ENTER_STMT(hstmt);
    return columnAttribute(*s.h, icol, fDescType, rgbDesc, cbDescMax, pcbDesc, pfDesc);
}

SQLRETURN ruva70_SQLDescribeCol(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLCHAR* szColName, SQLSMALLINT cbColNameMax,
                                SQLSMALLINT* pcbColName, SQLSMALLINT* pfSqlType, SQLULEN* pcbColDef,
                                SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable) {
    RUVA_ENTER_STMT(hstmt);
    return describeColumn(*s.h, icol, szColName, cbColNameMax, pcbColName, pfSqlType, pcbColDef, pibScale,
                          pfNullable);
}

SQLRETURN ruva70_SQLDescribeParam(SQLHSTMT hstmt, SQLUSMALLINT ipar, SQLSMALLINT* pfSqlType, SQLULEN* pcbParamDef,
                                  SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable) {
    RUVA_ENTER_STMT(hstmt);
    return describeParameter(*s.h, ipar, pfSqlType, pcbParamDef, pibScale, pfNullable);
}

SQLRETURN ruva70_SQLBindCol(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLSMALLINT fCType, SQLPOINTER rgbValue,
                            SQLLEN cbValueMax, SQLLEN* pcbValue) {
    RUVA_ENTER_STMT(hstmt);
    return bindColumn(*s.h, icol, fCType, rgbValue, cbValueMax, pcbValue);
}

SQLRETURN ruva70_SQLFetch(SQLHSTMT hstmt) {
    RUVA_ENTER_STMT(hstmt);
    return fetchRow(*s.h);
}

SQLRETURN ruva70_SQLGetData(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLSMALLINT fCType, SQLPOINTER rgbValue,
                            SQLLEN cbValueMax, SQLLEN* pcbValue) {
    RUVA_ENTER_STMT(hstmt);
    return getData(*s.h, icol, fCType, rgbValue, cbValueMax, pcbValue);
}

SQLRETURN ruva70_SQLBindParameter(SQLHSTMT hstmt, SQLUSMALLINT ipar, SQLSMALLINT fParamType, SQLSMALLINT fCType,
                                  SQLSMALLINT fSqlType, SQLULEN cbColDef, SQLSMALLINT ibScale, SQLPOINTER rgbValue,
                                  SQLLEN cbValueMax, SQLLEN* pcbValue) {
    Stmt s;
    if (!enterBinding(hstmt, s)) return s.refused;
    if (fParamType == SQL_PARAM_OUTPUT && s.st().outputInput == 1) fParamType = SQL_PARAM_INPUT_OUTPUT;
    return bindParameter(*s.h, ipar, fParamType, fCType, fSqlType, cbColDef, ibScale, rgbValue, cbValueMax, pcbValue);
}

SQLRETURN ruva70_SQLParamOptions(SQLHSTMT hstmt, SQLULEN crow, SQLULEN* pirow) {
    Stmt s;
    if (!enterBinding(hstmt, s)) return s.refused;
    SQLRETURN rc = s.api().SQLParamOptions(s.dm(), crow, pirow);
    if (SQL_SUCCEEDED(rc)) {
        s.st().paramRows = crow;
        s.st().rowsDone = pirow;
    }
    return rc;
}

// Catalog functions: a new result set, otherwise forwarded as they are.

SQLRETURN ruva70_SQLGetTypeInfo(SQLHSTMT hstmt, SQLSMALLINT fSqlType) {
    RUVA_ENTER_STMT(hstmt);
    newResult(s);
    return s.api().SQLGetTypeInfo(s.dm(), fSqlType);
}

SQLRETURN ruva70_SQLTables(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName, SQLCHAR* szSchemaName,
                           SQLSMALLINT cbSchemaName, SQLCHAR* szTableName, SQLSMALLINT cbTableName,
                           SQLCHAR* szTableType, SQLSMALLINT cbTableType) {
    RUVA_ENTER_STMT(hstmt);
    newResult(s);
    return s.api().SQLTables(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szTableName,
                             cbTableName, szTableType, cbTableType);
}

SQLRETURN ruva70_SQLColumns(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName, SQLCHAR* szSchemaName,
                            SQLSMALLINT cbSchemaName, SQLCHAR* szTableName, SQLSMALLINT cbTableName,
                            SQLCHAR* szColumnName, SQLSMALLINT cbColumnName) {
    RUVA_ENTER_STMT(hstmt);
    newResult(s);
    if (const auto query = s.st().source->columnsQuery) {
        const std::string sql =
            query(szCatalogName, cbCatalogName, szTableName, cbTableName, szColumnName, cbColumnName);
        return s.api().SQLExecDirect(s.dm(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    }
    return s.api().SQLColumns(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szTableName,
                              cbTableName, szColumnName, cbColumnName);
}

SQLRETURN ruva70_SQLSpecialColumns(SQLHSTMT hstmt, SQLUSMALLINT fColType, SQLCHAR* szCatalogName,
                                   SQLSMALLINT cbCatalogName, SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName,
                                   SQLCHAR* szTableName, SQLSMALLINT cbTableName, SQLUSMALLINT fScope,
                                   SQLUSMALLINT fNullable) {
    RUVA_ENTER_STMT(hstmt);
    newResult(s);
    return s.api().SQLSpecialColumns(s.dm(), fColType, szCatalogName, cbCatalogName, szSchemaName, cbSchemaName,
                                     szTableName, cbTableName, fScope, fNullable);
}

SQLRETURN ruva70_SQLStatistics(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName,
                               SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName, SQLCHAR* szTableName,
                               SQLSMALLINT cbTableName, SQLUSMALLINT fUnique, SQLUSMALLINT fAccuracy) {
    RUVA_ENTER_STMT(hstmt);
    newResult(s);
    return s.api().SQLStatistics(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szTableName,
                                 cbTableName, fUnique, fAccuracy);
}

SQLRETURN ruva70_SQLColumnPrivileges(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName,
                                     SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName, SQLCHAR* szTableName,
                                     SQLSMALLINT cbTableName, SQLCHAR* szColumnName, SQLSMALLINT cbColumnName) {
    RUVA_ENTER_STMT(hstmt);
    newResult(s);
    return s.api().SQLColumnPrivileges(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szTableName,
                                       cbTableName, szColumnName, cbColumnName);
}

SQLRETURN ruva70_SQLForeignKeys(SQLHSTMT hstmt, SQLCHAR* szPkCatalogName, SQLSMALLINT cbPkCatalogName,
                                SQLCHAR* szPkSchemaName, SQLSMALLINT cbPkSchemaName, SQLCHAR* szPkTableName,
                                SQLSMALLINT cbPkTableName, SQLCHAR* szFkCatalogName, SQLSMALLINT cbFkCatalogName,
                                SQLCHAR* szFkSchemaName, SQLSMALLINT cbFkSchemaName, SQLCHAR* szFkTableName,
                                SQLSMALLINT cbFkTableName) {
    RUVA_ENTER_STMT(hstmt);
    newResult(s);
    return s.api().SQLForeignKeys(s.dm(), szPkCatalogName, cbPkCatalogName, szPkSchemaName, cbPkSchemaName,
                                  szPkTableName, cbPkTableName, szFkCatalogName, cbFkCatalogName, szFkSchemaName,
                                  cbFkSchemaName, szFkTableName, cbFkTableName);
}

SQLRETURN ruva70_SQLPrimaryKeys(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName,
                                SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName, SQLCHAR* szTableName,
                                SQLSMALLINT cbTableName) {
    RUVA_ENTER_STMT(hstmt);
    newResult(s);
    return s.api().SQLPrimaryKeys(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szTableName,
                                  cbTableName);
}

SQLRETURN ruva70_SQLProcedureColumns(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName,
                                     SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName, SQLCHAR* szProcName,
                                     SQLSMALLINT cbProcName, SQLCHAR* szColumnName, SQLSMALLINT cbColumnName) {
    RUVA_ENTER_STMT(hstmt);
    newResult(s);
    return s.api().SQLProcedureColumns(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szProcName,
                                       cbProcName, szColumnName, cbColumnName);
}

SQLRETURN ruva70_SQLProcedures(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName,
                               SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName, SQLCHAR* szProcName,
                               SQLSMALLINT cbProcName) {
    RUVA_ENTER_STMT(hstmt);
    newResult(s);
    return s.api().SQLProcedures(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szProcName,
                                 cbProcName);
}

SQLRETURN ruva70_SQLTablePrivileges(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cbCatalogName,
                                    SQLCHAR* szSchemaName, SQLSMALLINT cbSchemaName, SQLCHAR* szTableName,
                                    SQLSMALLINT cbTableName) {
    RUVA_ENTER_STMT(hstmt);
    newResult(s);
    return s.api().SQLTablePrivileges(s.dm(), szCatalogName, cbCatalogName, szSchemaName, cbSchemaName, szTableName,
                                      cbTableName);
}

}  // extern "C"
