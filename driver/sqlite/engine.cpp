// The SQLite engine's ODBC 2.x functions over libsqlite3 (see engine.h).
//
// A connection is one sqlite3 database opened with its own mutex (full
// mutex), so statements of one connection may run on several threads. A
// statement's own calls hold the statement's call lock; SQLCancel takes it
// only when no call holds it, and otherwise only interrupts the connection
// (sqlite3_interrupt), so a cancel never frees what a running call uses.
// Rows are stepped as they are fetched; values go from sqlite3_column_* into
// the application's buffers without a copy of the row.
#include "engine.h"

#include "../connect_string.h"
#include "catalog.h"
#include "values.h"

#include "qvjdbc/ruva70.h"

#include <sqlite3.h>
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ruva::sqlite {
namespace {

constexpr uint32_t kDbcTag = 0x51454442;   // "QEDB"
constexpr uint32_t kStmtTag = 0x51455354;  // "QEST"
// The busy timeout when the connection string gives none: the SQLite ODBC
// driver's default, which the embedded default used so far.
constexpr int kDefaultBusyMs = 100000;
// The progress handler runs every this many virtual machine instructions.
constexpr int kProgressSteps = 4096;

struct Diag {
    char state[6];
    int native;
    std::string message;
};

struct Diags {
    std::vector<Diag> records;
    size_t next = 0;
    void clear() {
        if (!records.empty()) {
            records.clear();
            next = 0;
        }
    }
    void add(const char* state, int native, std::string message) {
        Diag d{};
        std::memcpy(d.state, state, 5);
        d.state[5] = 0;
        d.native = native;
        d.message = std::move(message);
        records.push_back(std::move(d));
    }
};

struct Stmt;

constexpr char kGivenData = 1;
constexpr char kGivenNull = 2;

struct Dbc {
    uint32_t tag = kDbcTag;
    sqlite3* db = nullptr;
    std::string file;
    Diags diags;
    bool autocommit = true;
    bool readOnly = false;
    SQLUINTEGER loginTimeout = 0;
    // Defaults for the statements allocated later (SQLSetConnectOption of a
    // statement option).
    SQLULEN queryTimeout = 0, maxRows = 0, noscan = SQL_NOSCAN_OFF;
    std::mutex stmtsMu;
    std::vector<Stmt*> stmts;
    // The query timeout: the deadline (steady clock, nanoseconds; 0 none) of
    // the call running under the connection's mutex, and whether the
    // progress handler ended it.
    std::atomic<int64_t> deadline{0};
    std::atomic<bool> timedOut{false};
    unsigned cursorNumber = 0;
};

struct ParamBinding {
    bool bound = false;
    SQLSMALLINT ioType = SQL_PARAM_INPUT;
    SQLSMALLINT cType = SQL_C_DEFAULT;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN size = 0;
    SQLSMALLINT scale = 0;
    SQLPOINTER value = nullptr;
    SQLLEN capacity = 0;
    SQLLEN* indicator = nullptr;
};

struct ColBinding {
    SQLSMALLINT cType = 0;  // 0: not bound
    SQLPOINTER value = nullptr;
    SQLLEN capacity = 0;
    SQLLEN* indicator = nullptr;
};

struct ColumnInfo {
    std::string name;
    std::string typeName;
    ColumnType type;
    SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
    bool autoIncrement = false;
    std::string table;
};

enum class Phase {
    Idle,      // nothing executed, or closed
    Prepared,  // prepared, not executed
    NeedData,  // an execution waits for data at execution
    Results,   // executed: a result set or a count is current
};

struct Stmt {
    uint32_t tag = kStmtTag;
    Dbc* dbc = nullptr;
    Diags diags;
    // Held by each of the statement's own calls; SQLCancel takes it only
    // when free.
    std::mutex callMu;

    // The text as prepared (escapes rewritten) and its first statement;
    // `cur` is the statement of the current result (the first, or one of
    // the text's later statements, prepared when its turn comes).
    std::string text;
    sqlite3_stmt* head = nullptr;
    sqlite3_stmt* cur = nullptr;
    size_t tailOffset = 0;  // where the statements after `cur` begin in `text`
    size_t headTail = 0;    // the same for the first statement
    int paramBase = 0;      // parameters of the statements before `cur`
    bool multi = false;     // the text holds more than one statement
    Phase phase = Phase::Idle;

    // Result state.
    bool hasRow = false;   // a stepped row not yet fetched
    bool fetched = false;  // a fetched row is current (SQLGetData)
    bool done = false;     // stepped to the end
    SQLLEN rowCount = -1;
    SQLULEN rowsFetched = 0;
    std::vector<ColumnInfo> columns;
    bool columnsKnown = false;
    std::vector<ColumnShape> shapes;  // a catalog function's result description

    // SQLGetData's position in the current row.
    int gdColumn = -1;
    Piece gdPiece;

    std::vector<ParamBinding> params;
    std::vector<ColBinding> cols;
    SQLULEN paramRows = 1;
    SQLULEN* rowsDone = nullptr;
    // Data at execution: the row being executed, the parameter asked for
    // last, and the data put for each parameter of that row.
    SQLULEN execRow = 0;
    int daeParam = -1;
    std::vector<std::string> daeData;
    std::vector<char> daeGiven;  // 0, kGivenData or kGivenNull
    bool daeNull = false;        // the last SQLPutData sent a null
    SQLLEN execCount = 0;        // the array's count so far

    // Options.
    SQLULEN queryTimeout = 0, maxRows = 0, noscan = SQL_NOSCAN_OFF, maxLength = 0;
    std::string cursorName;
};

// ---- handles and diagnostics --------------------------------------------

Dbc* dbcOf(SQLHDBC h) {
    auto* d = static_cast<Dbc*>(h);
    return d && d->tag == kDbcTag ? d : nullptr;
}

Stmt* stmtOf(SQLHSTMT h) {
    auto* s = static_cast<Stmt*>(h);
    return s && s->tag == kStmtTag ? s : nullptr;
}

SQLRETURN fail(Diags& d, const char* state, std::string message, int native = 0) {
    d.add(state, native, std::move(message));
    return SQL_ERROR;
}

// The SQLSTATE of a SQLite result code (extended codes folded to their
// primary code). `atPrepare`: the code came from compiling the text.
const char* stateOf(int code, bool atPrepare, bool timedOut) {
    switch (code & 0xFF) {
        case SQLITE_CONSTRAINT:
            return "23000";
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "40001";
        case SQLITE_INTERRUPT:
            return timedOut ? "S1T00" : "S1008";
        case SQLITE_READONLY:
            return "25006";
        case SQLITE_TOOBIG:
            return "22001";
        case SQLITE_MISMATCH:
            return "22005";
        case SQLITE_NOMEM:
            return "S1001";
        case SQLITE_RANGE:
            return "S1093";
        case SQLITE_AUTH:
        case SQLITE_PERM:
            return "42000";
        case SQLITE_CANTOPEN:
        case SQLITE_NOTADB:
            return "08001";
        case SQLITE_ERROR:
            return atPrepare ? "42000" : "S1000";
        default:
            return "S1000";
    }
}

SQLRETURN failSqlite(Stmt& s, int code, bool atPrepare = false) {
    const bool timedOut = s.queryTimeout != 0 && s.dbc->timedOut.load(std::memory_order_relaxed);
    const char* state = stateOf(code, atPrepare, timedOut);
    const int ext = sqlite3_extended_errcode(s.dbc->db);
    std::string msg = sqlite3_errmsg(s.dbc->db);
    if ((code & 0xFF) == SQLITE_INTERRUPT) msg = timedOut ? "the query timeout expired" : "cancelled";
    return fail(s.diags, state, std::move(msg), ext ? ext : code);
}

SQLRETURN copyText(std::string_view text, SQLCHAR* out, SQLSMALLINT capacity, SQLSMALLINT* length, Diags& d) {
    if (length) *length = static_cast<SQLSMALLINT>(std::min<size_t>(text.size(), 32767));
    if (!out) return SQL_SUCCESS;
    if (capacity <= 0) {
        if (text.empty()) return SQL_SUCCESS;
        d.add("01004", 0, "the text was cut to the buffer");
        return SQL_SUCCESS_WITH_INFO;
    }
    const size_t n = std::min(text.size(), static_cast<size_t>(capacity) - 1);
    std::memcpy(out, text.data(), n);
    out[n] = 0;
    if (n < text.size()) {
        d.add("01004", 0, "the text was cut to the buffer");
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

// ---- the query timeout ----------------------------------------------------

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int progress(void* p) {
    auto* d = static_cast<Dbc*>(p);
    const int64_t deadline = d->deadline.load(std::memory_order_relaxed);
    if (deadline == 0 || nowNs() < deadline) return 0;
    d->timedOut.store(true, std::memory_order_relaxed);
    return 1;
}

// Runs the statement's stepping work of one call under the query timeout:
// the connection's mutex is held (it is recursive) so the deadline is the
// only one in force while the call steps.
class Deadline {
public:
    explicit Deadline(Stmt& s) : d_(*s.dbc) {
        if (s.queryTimeout == 0) return;
        d_.timedOut.store(false, std::memory_order_relaxed);
        mutex_ = sqlite3_db_mutex(d_.db);
        sqlite3_mutex_enter(mutex_);
        d_.deadline.store(nowNs() + static_cast<int64_t>(s.queryTimeout) * 1000000000LL, std::memory_order_relaxed);
    }
    ~Deadline() {
        if (!mutex_) return;
        d_.deadline.store(0, std::memory_order_relaxed);
        sqlite3_mutex_leave(mutex_);
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    Dbc& d_;
    sqlite3_mutex* mutex_ = nullptr;
};

// Holds a connection's mutex for a scope.
class DbLock {
public:
    explicit DbLock(sqlite3* db) : m_(sqlite3_db_mutex(db)) { sqlite3_mutex_enter(m_); }
    ~DbLock() { sqlite3_mutex_leave(m_); }
    DbLock(const DbLock&) = delete;
    DbLock& operator=(const DbLock&) = delete;

private:
    sqlite3_mutex* m_;
};

// ---- statement text -----------------------------------------------------

// The first keyword of a statement's text, upper case (comments and blanks
// skipped), at most 16 letters.
std::string firstKeyword(const char* sql) {
    const char* p = sql ? sql : "";
    for (;;) {
        while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
        if (p[0] == '-' && p[1] == '-') {
            while (*p && *p != '\n') ++p;
        } else if (p[0] == '/' && p[1] == '*') {
            const char* e = std::strstr(p + 2, "*/");
            p = e ? e + 2 : p + std::strlen(p);
        } else {
            break;
        }
    }
    std::string k;
    while (k.size() < 16 && ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z')))
        k += static_cast<char>(*p++ & ~0x20);
    return k;
}

bool changesRows(sqlite3_stmt* st) {
    if (sqlite3_column_count(st) != 0 || sqlite3_stmt_readonly(st)) return false;
    const std::string k = firstKeyword(sqlite3_sql(st));
    return k == "INSERT" || k == "UPDATE" || k == "DELETE" || k == "REPLACE" || k == "WITH";
}

// Manual-commit mode: a transaction is begun before a statement runs outside
// one, except before the statements that handle transactions themselves or
// that SQLite refuses inside one.
SQLRETURN ensureTransaction(Stmt& s, sqlite3_stmt* st) {
    Dbc& d = *s.dbc;
    if (d.autocommit || !sqlite3_get_autocommit(d.db)) return SQL_SUCCESS;
    const std::string k = firstKeyword(sqlite3_sql(st));
    // SAVEPOINT and RELEASE run inside the begun transaction: a savepoint
    // that began one would end it, committed, at its RELEASE.
    if (k == "BEGIN" || k == "COMMIT" || k == "END" || k == "PRAGMA" || k == "VACUUM" || k == "ATTACH" ||
        k == "DETACH")
        return SQL_SUCCESS;
    char* err = nullptr;
    const int rc = sqlite3_exec(d.db, "BEGIN", nullptr, nullptr, &err);
    if (rc == SQLITE_OK) return SQL_SUCCESS;
    std::string msg = err ? err : sqlite3_errstr(rc);
    sqlite3_free(err);
    return fail(s.diags, stateOf(rc, false, false), "could not begin a transaction: " + msg, rc);
}

// ---- results --------------------------------------------------------------

void forgetResult(Stmt& s) {
    s.hasRow = s.fetched = s.done = false;
    s.rowCount = -1;
    s.rowsFetched = 0;
    s.columns.clear();
    s.columnsKnown = false;
    s.gdColumn = -1;
}

// Ends the current result: resets the first statement, finalizes a later
// one, and forgets what remains of the text.
void closeResults(Stmt& s) {
    if (s.cur && s.cur != s.head) sqlite3_finalize(s.cur);
    if (s.head) sqlite3_reset(s.head);
    s.cur = s.head;
    s.tailOffset = s.headTail;
    s.paramBase = 0;
    forgetResult(s);
    s.daeParam = -1;
    if (s.phase != Phase::Idle) s.phase = s.head || !s.text.empty() ? Phase::Prepared : Phase::Idle;
}

void unprepare(Stmt& s) {
    closeResults(s);
    if (s.head) sqlite3_finalize(s.head);
    s.head = s.cur = nullptr;
    s.text.clear();
    s.shapes.clear();
    s.multi = false;
    s.phase = Phase::Idle;
}

const ColumnInfo* columnAt(Stmt& s, int col);

void describeColumns(Stmt& s) {
    if (s.columnsKnown) return;
    s.columnsKnown = true;
    s.columns.clear();
    sqlite3_stmt* st = s.cur;
    if (!st) return;
    const int n = sqlite3_column_count(st);
    s.columns.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        ColumnInfo& c = s.columns[static_cast<size_t>(i)];
        const char* name = sqlite3_column_name(st, i);
        c.name = name ? name : "";
        if (static_cast<size_t>(i) < s.shapes.size()) {
            const ColumnShape& sh = s.shapes[static_cast<size_t>(i)];
            c.type.sqlType = sh.sqlType;
            c.type.size = sh.size;
            c.type.displaySize = static_cast<SQLINTEGER>(std::min<SQLULEN>(sh.size, INT32_MAX));
            c.type.length = c.type.displaySize;
            if (sh.sqlType == SQL_SMALLINT) c.type.length = 2, c.type.displaySize = 6;
            if (sh.sqlType == SQL_INTEGER) c.type.length = 4, c.type.displaySize = 11;
            c.typeName = sh.sqlType == SQL_SMALLINT ? "SMALLINT" : sh.sqlType == SQL_INTEGER ? "INTEGER" : "TEXT";
            c.nullable = SQL_NULLABLE;
            continue;
        }
        const char* decl = sqlite3_column_decltype(st, i);
        if (decl && typeOfDeclared(decl, c.type)) {
            c.typeName = decl;
        } else {
            // The first row's value (stepped at execution, or the row
            // fetched when the first question comes after a fetch).
            const int kind = s.hasRow || s.fetched ? sqlite3_column_type(st, i) : SQLITE_NULL;
            c.type = typeOfValue(kind);
            c.typeName = kind == SQLITE_INTEGER ? "INTEGER"
                         : kind == SQLITE_FLOAT ? "REAL"
                         : kind == SQLITE_BLOB  ? "BLOB"
                         : kind == SQLITE_TEXT  ? "TEXT"
                                                : "";
        }
        const char* table = sqlite3_column_table_name(st, i);
        const char* origin = sqlite3_column_origin_name(st, i);
        const char* dbName = sqlite3_column_database_name(st, i);
        c.table = table ? table : "";
        if (table && origin) {
            int notNull = 0, primary = 0, autoinc = 0;
            if (sqlite3_table_column_metadata(s.dbc->db, dbName, table, origin, nullptr, nullptr, &notNull, &primary,
                                              &autoinc) == SQLITE_OK) {
                c.nullable = notNull ? SQL_NO_NULLS : SQL_NULLABLE;
                c.autoIncrement = autoinc != 0;
            }
        }
    }
}

const ColumnInfo* columnAt(Stmt& s, int col) {
    describeColumns(s);
    if (col < 1 || static_cast<size_t>(col) > s.columns.size()) return nullptr;
    return &s.columns[static_cast<size_t>(col - 1)];
}

// Steps the current statement once. SQLITE_ROW or SQLITE_DONE, or an error
// recorded on the statement.
int step(Stmt& s) {
    const int rc = sqlite3_step(s.cur);
    if (rc == SQLITE_DONE) s.done = true;
    return rc;
}

// Binds parameter row `row` of the current statement: its own parameters are
// the text's parameters paramBase + 1 ... SQL_NEED_DATA when a value of the
// row is sent at execution and not yet given.
SQLRETURN bindRow(Stmt& s, SQLULEN row) {
    sqlite3_stmt* st = s.cur;
    const int n = sqlite3_bind_parameter_count(st);
    for (int i = 1; i <= n; ++i) {
        const size_t at = static_cast<size_t>(s.paramBase + i - 1);
        if (at >= s.params.size() || !s.params[at].bound) {
            return fail(s.diags, "07001", "parameter " + std::to_string(s.paramBase + i) + " has no value bound");
        }
        const ParamBinding& p = s.params[at];
        const SQLLEN elem = fixedSize(p.cType == SQL_C_DEFAULT ? defaultCType(p.sqlType) : p.cType);
        const SQLLEN stride = elem ? elem : p.capacity;
        const char* value = static_cast<const char*>(p.value);
        if (value) value += static_cast<SQLLEN>(row) * stride;
        SQLLEN length = SQL_NTS;
        if (p.indicator) length = p.indicator[row];
        if (length == SQL_DATA_AT_EXEC || length <= SQL_LEN_DATA_AT_EXEC_OFFSET) {
            if (at >= s.daeGiven.size() || !s.daeGiven[at]) return SQL_NEED_DATA;
            if (s.daeGiven[at] == kGivenNull) {
                sqlite3_bind_null(st, i);
                continue;
            }
            const std::string& data = s.daeData[at];
            const char* state = nullptr;
            SQLSMALLINT cType = p.cType == SQL_C_DEFAULT ? defaultCType(p.sqlType) : p.cType;
            int rc;
            if (cType == SQL_C_CHAR || cType == SQL_C_BINARY || cType == SQL_C_WCHAR) {
                rc = bindValue(st, i, cType, p.sqlType, data.data(), static_cast<SQLLEN>(data.size()), state);
            } else {
                if (static_cast<SQLLEN>(data.size()) < fixedSize(cType))
                    return fail(s.diags, "22005",
                                "the data put for parameter " + std::to_string(at + 1) + " is shorter than its type");
                rc = bindValue(st, i, cType, p.sqlType, data.data(), fixedSize(cType), state);
            }
            if (rc == -1) return fail(s.diags, state, "parameter " + std::to_string(at + 1) + " cannot be bound");
            if (rc != SQLITE_OK) return failSqlite(s, rc);
            continue;
        }
        if (p.ioType == SQL_PARAM_OUTPUT) {
            sqlite3_bind_null(st, i);
            continue;
        }
        const char* state = nullptr;
        const int rc = bindValue(st, i, p.cType, p.sqlType, value, length, state);
        if (rc == -1)
            return fail(
                s.diags, state,
                "parameter " + std::to_string(at + 1) + " of row " + std::to_string(row + 1) + " cannot be bound");
        if (rc != SQLITE_OK) return failSqlite(s, rc);
    }
    return SQL_SUCCESS;
}

// Runs the current statement for parameter rows from s.execRow on: a query
// keeps its first row stepped; other statements run to their end, their
// changes counted. SQL_NEED_DATA when a row waits for data at execution.
SQLRETURN runCurrent(Stmt& s) {
    sqlite3_stmt* st = s.cur;
    Deadline deadline(s);
    const bool query = sqlite3_column_count(st) > 0;
    const SQLULEN rows = s.paramRows == 0 ? 1 : s.paramRows;
    for (; s.execRow < rows; ++s.execRow) {
        if (s.rowsDone) *s.rowsDone = s.execRow + 1;
        sqlite3_reset(st);
        SQLRETURN rc = bindRow(s, s.execRow);
        if (rc == SQL_NEED_DATA) return rc;
        if (rc != SQL_SUCCESS) return rc;
        // The data put for this row is used.
        std::fill(s.daeGiven.begin(), s.daeGiven.end(), 0);
        rc = ensureTransaction(s, st);
        if (rc != SQL_SUCCESS) return rc;
        s.done = false;
        const int r = step(s);
        if (r == SQLITE_ROW) {
            if (query && s.execRow + 1 == rows) {
                s.hasRow = true;
                if (s.rowsDone) *s.rowsDone = rows;
                return SQL_SUCCESS;
            }
            // A query inside an array: only the last row's result is kept.
            int more;
            while ((more = sqlite3_step(st)) == SQLITE_ROW) {
            }
            if (more != SQLITE_DONE) return failSqlite(s, more);
            continue;
        }
        if (r != SQLITE_DONE) {
            const SQLRETURN f = failSqlite(s, r);
            sqlite3_reset(st);
            return f;
        }
        if (changesRows(st)) s.execCount += sqlite3_changes64(s.dbc->db);
    }
    if (s.rowsDone) *s.rowsDone = rows;
    s.rowCount = query ? -1 : (changesRows(st) ? s.execCount : 0);
    return SQL_SUCCESS;
}

// Starts the execution of the prepared text (its first statement).
SQLRETURN startExecution(Stmt& s) {
    closeResults(s);
    s.execRow = 0;
    s.execCount = 0;
    s.daeData.assign(s.params.size(), std::string());
    s.daeGiven.assign(s.params.size(), 0);
    s.daeParam = -1;
    if (!s.head) {
        // Only blanks and comments: nothing runs.
        s.phase = Phase::Results;
        s.done = true;
        return SQL_SUCCESS;
    }
    s.cur = s.head;
    s.tailOffset = s.headTail;
    s.paramBase = 0;
    s.phase = Phase::Results;
    SQLRETURN rc = runCurrent(s);
    if (rc == SQL_NEED_DATA) s.phase = Phase::NeedData;
    return rc;
}

// Where the statements after the first begin in the text.
size_t tailOf(Stmt& s, sqlite3_stmt* st, const char* tail) {
    (void)st;
    return tail ? static_cast<size_t>(tail - s.text.c_str()) : s.text.size();
}

// ---- statement preparation ------------------------------------------------

SQLRETURN prepareText(Stmt& s, const char* sql, SQLINTEGER length) {
    if (!sql) return fail(s.diags, "S1009", "the statement text is a null pointer");
    if (length < 0 && length != SQL_NTS) return fail(s.diags, "S1090", "the statement length is invalid");
    std::string_view given = length == SQL_NTS ? std::string_view(sql) : std::string_view(sql, length);
    unprepare(s);
    std::string text;
    if (s.noscan == SQL_NOSCAN_ON) {
        text.assign(given);
    } else {
        std::string message;
        if (!translateEscapes(given, text, message)) return fail(s.diags, "37000", message);
    }
    s.text = std::move(text);
    const char* tail = nullptr;
    sqlite3_stmt* st = nullptr;
    const char* begin = s.text.c_str();
    // Empty statements (blanks, comments, lone semicolons) before the first.
    for (;;) {
        const int rc = sqlite3_prepare_v3(s.dbc->db, begin,
                                          static_cast<int>(s.text.size() - (begin - s.text.c_str())), 0, &st, &tail);
        if (rc != SQLITE_OK) {
            SQLRETURN f = failSqlite(s, rc, true);
            s.text.clear();
            return f;
        }
        if (st || !tail || !*tail) break;
        begin = tail;
    }
    s.head = s.cur = st;
    s.tailOffset = s.headTail = st ? tailOf(s, st, tail) : s.text.size();
    // More statements follow when the rest holds more than blanks, comments
    // and semicolons.
    s.multi = false;
    for (const char* p = s.text.c_str() + s.tailOffset; *p; ++p) {
        if (*p == ';' || *p == ' ' || (*p >= '\t' && *p <= '\r')) continue;
        if (p[0] == '-' && p[1] == '-') {
            while (*p && *p != '\n') ++p;
            if (!*p) break;
            continue;
        }
        if (p[0] == '/' && p[1] == '*') {
            const char* e = std::strstr(p + 2, "*/");
            if (!e) break;
            p = e + 1;
            continue;
        }
        s.multi = true;
        break;
    }
    s.phase = Phase::Prepared;
    return SQL_SUCCESS;
}

// Moves to the text's next statement: prepares it and runs it with the
// parameters that follow the previous statement's. SQL_NO_DATA_FOUND after
// the last.
SQLRETURN nextStatement(Stmt& s) {
    if (!s.cur) return SQL_NO_DATA_FOUND;
    const int used = sqlite3_bind_parameter_count(s.cur);
    size_t offset = s.tailOffset;
    if (s.cur != s.head) sqlite3_finalize(s.cur);
    if (s.head) sqlite3_reset(s.head);
    s.cur = nullptr;
    forgetResult(s);
    s.paramBase += used;
    while (offset < s.text.size()) {
        sqlite3_stmt* st = nullptr;
        const char* tail = nullptr;
        const char* begin = s.text.c_str() + offset;
        const int rc = sqlite3_prepare_v3(s.dbc->db, begin, static_cast<int>(s.text.size() - offset), 0, &st, &tail);
        if (rc != SQLITE_OK) {
            s.tailOffset = s.text.size();
            s.phase = Phase::Prepared;
            return failSqlite(s, rc, true);
        }
        offset = tail ? static_cast<size_t>(tail - s.text.c_str()) : s.text.size();
        if (!st) continue;
        s.cur = st;
        s.tailOffset = offset;
        s.execRow = 0;
        s.execCount = 0;
        s.phase = Phase::Results;
        const SQLRETURN r = runCurrent(s);
        if (r == SQL_NEED_DATA) {
            // Data at execution belongs to the first statement only.
            return fail(s.diags, "S1C00", "data at execution is taken for the first statement of a text only");
        }
        return r;
    }
    s.tailOffset = s.text.size();
    s.phase = Phase::Prepared;
    return SQL_NO_DATA_FOUND;
}

// ---- fetching ---------------------------------------------------------------

SQLRETURN fetchRow(Stmt& s) {
    if (s.phase != Phase::Results || !s.cur) return fail(s.diags, "S1010", "the statement has no result set");
    const int columns = sqlite3_column_count(s.cur);
    if (columns == 0) return fail(s.diags, "24000", "the statement has no result set");
    s.gdColumn = -1;
    s.fetched = false;
    if (s.maxRows && s.rowsFetched >= s.maxRows) {
        if (!s.done) {
            sqlite3_reset(s.cur);
            s.done = true;
            s.hasRow = false;
        }
        return SQL_NO_DATA_FOUND;
    }
    if (s.hasRow) {
        s.hasRow = false;
    } else {
        if (s.done) return SQL_NO_DATA_FOUND;
        Deadline deadline(s);
        const int rc = step(s);
        if (rc == SQLITE_DONE) return SQL_NO_DATA_FOUND;
        if (rc != SQLITE_ROW) {
            s.done = true;
            return failSqlite(s, rc);
        }
    }
    ++s.rowsFetched;
    s.fetched = true;
    SQLRETURN result = SQL_SUCCESS;
    // The row's values are read under the connection's mutex, taken once
    // here, so no other thread's call on the connection changes them.
    DbLock dbLock(s.dbc->db);
    const int n = static_cast<int>(std::min<size_t>(s.cols.size(), static_cast<size_t>(columns)));
    for (int i = 0; i < n; ++i) {
        const ColBinding& b = s.cols[static_cast<size_t>(i)];
        if (!b.cType) continue;
        SQLSMALLINT described = SQL_VARCHAR;
        if (b.cType == SQL_C_DEFAULT) described = columnAt(s, i + 1)->type.sqlType;
        const Moved m =
            moveBound(sqlite3_column_value(s.cur, i), b.cType, described, b.value, b.capacity, b.indicator);
        if (m.rc == SQL_ERROR) {
            return fail(s.diags, m.state,
                        "column " + std::to_string(i + 1) + ": the value cannot be converted to the bound type");
        }
        if (m.rc == SQL_SUCCESS_WITH_INFO) {
            if (result == SQL_SUCCESS)
                s.diags.add(m.state, 0,
                            std::strcmp(m.state, "01004") == 0 ? "a value was cut to its buffer"
                                                               : "a value lost its fraction");
            result = SQL_SUCCESS_WITH_INFO;
        }
    }
    return result;
}

// ---- the functions ----------------------------------------------------------

// A call of a statement's own: enters its call lock and clears its records.
struct Call {
    Stmt* s;
    std::unique_lock<std::mutex> lock;
    explicit Call(SQLHSTMT h) : s(stmtOf(h)) {
        if (s) {
            lock = std::unique_lock<std::mutex>(s->callMu);
            s->diags.clear();
        }
    }
};

SQLRETURN SQL_API AllocHandle(SQLSMALLINT, SQLHANDLE, SQLHANDLE* out) {
    if (out) *out = nullptr;
    return SQL_ERROR;
}
SQLRETURN SQL_API FreeHandle(SQLSMALLINT, SQLHANDLE) {
    return SQL_INVALID_HANDLE;
}
SQLRETURN SQL_API SetEnvAttr(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) {
    return SQL_INVALID_HANDLE;
}
SQLRETURN SQL_API FreeEnv(SQLHENV) {
    return SQL_INVALID_HANDLE;
}

SQLRETURN SQL_API AllocConnect(SQLHENV, SQLHDBC* out) {
    if (!out) return SQL_ERROR;
    *out = new (std::nothrow) Dbc();
    return *out ? SQL_SUCCESS : SQL_ERROR;
}

SQLRETURN SQL_API FreeConnect(SQLHDBC h) {
    Dbc* d = dbcOf(h);
    if (!d) return SQL_INVALID_HANDLE;
    if (d->db) return fail(d->diags, "S1010", "the connection is still connected");
    d->tag = 0;
    delete d;
    return SQL_SUCCESS;
}

// libsqlite3 keeps memory statistics by default, under one process-wide
// mutex taken by every allocation of every connection: threads on different
// connections would wait on each other. They are turned off before the
// first connect, which the library allows only before it initialises (when
// another user in the process already initialised it, nothing changes).
void withoutMemoryStatistics() {
    static std::once_flag once;
    std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
}

SQLRETURN SQL_API DriverConnect(SQLHDBC h, SQLHWND, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                                SQLSMALLINT outCapacity, SQLSMALLINT* outLength, SQLUSMALLINT completion) {
    Dbc* d = dbcOf(h);
    if (!d) return SQL_INVALID_HANDLE;
    d->diags.clear();
    if (d->db) return fail(d->diags, "08002", "the connection is already connected");
    if (!in) return fail(d->diags, "S1009", "the connection string is a null pointer");
    if (inLength < 0 && inLength != SQL_NTS)
        return fail(d->diags, "S1090", "the connection string length is invalid");
    if (completion != SQL_DRIVER_NOPROMPT && completion != SQL_DRIVER_COMPLETE &&
        completion != SQL_DRIVER_COMPLETE_REQUIRED && completion != SQL_DRIVER_PROMPT)
        return fail(d->diags, "S1110", "the completion type is invalid");
    const char* p = reinterpret_cast<const char*>(in);
    const std::string_view given = inLength == SQL_NTS ? std::string_view(p) : std::string_view(p, inLength);
    std::vector<connstr::Attribute> attrs;
    std::string problem;
    if (!connstr::parse(given, attrs, problem)) return fail(d->diags, "08001", problem);
    std::string file;
    bool haveFile = false;
    int busyMs = kDefaultBusyMs;
    std::string sync;
    for (const auto& a : attrs) {
        if (strcasecmp(a.key.c_str(), "Database") == 0 && !haveFile) {
            file = a.value;
            haveFile = true;
        } else if (strcasecmp(a.key.c_str(), "SyncPragma") == 0) {
            // SQLite's synchronous setting, named as the SQLite ODBC driver
            // names it; one of SQLite's own words, nothing else.
            const char* const kWords[] = {"OFF", "NORMAL", "FULL", "EXTRA"};
            sync.clear();
            for (const char* w : kWords)
                if (strcasecmp(a.value.c_str(), w) == 0) sync = w;
            if (sync.empty())
                return fail(d->diags, "08001", "the SyncPragma attribute is not OFF, NORMAL, FULL or EXTRA");
        } else if (strcasecmp(a.key.c_str(), "Timeout") == 0) {
            char* end = nullptr;
            const long v = std::strtol(a.value.c_str(), &end, 10);
            if (a.value.empty() || *end || v < 0 || v > INT32_MAX)
                return fail(d->diags, "08001", "the Timeout attribute is not a number of milliseconds");
            busyMs = static_cast<int>(v);
        }
    }
    if (file.empty())
        return fail(d->diags, "08001", "the connection string names no database file (Database attribute)");
    if (file.find('\0') != std::string::npos)
        return fail(d->diags, "08001", "the database file name holds a NUL character");
    withoutMemoryStatistics();
    sqlite3* db = nullptr;
    // No SQLITE_OPEN_URI: the name is a file name, never a URI with options.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close(db);
        return fail(d->diags, "08001", "cannot open the database file: " + msg, rc);
    }
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busyMs);
    // The file must be a database: reading its schema fails at once when it
    // is not, rather than at the first statement.
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = sqlite3_errmsg(db);
        sqlite3_close(db);
        return fail(d->diags, "08001", "cannot open the database file: " + msg, rc);
    }
    if (!sync.empty()) {
        const std::string pragma = "PRAGMA synchronous=" + sync;
        sqlite3_exec(db, pragma.c_str(), nullptr, nullptr, nullptr);
    }
    rc = installCatalogFunctions(db);
    if (rc != SQLITE_OK) {
        std::string msg = sqlite3_errmsg(db);
        sqlite3_close(db);
        return fail(d->diags, "08001", "cannot prepare the connection: " + msg, rc);
    }
    sqlite3_progress_handler(db, kProgressSteps, progress, d);
    d->db = db;
    d->file = file;
    d->autocommit = true;
    d->readOnly = false;
    // The connection string as completed: the one attribute that matters.
    std::string completed = "Database={";
    for (char c : file) {
        completed += c;
        if (c == '}') completed += '}';
    }
    completed += "};";
    const SQLRETURN r = copyText(completed, out, outCapacity, outLength, d->diags);
    return r;
}

SQLRETURN SQL_API BrowseConnect(SQLHDBC h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*) {
    Dbc* d = dbcOf(h);
    if (!d) return SQL_INVALID_HANDLE;
    d->diags.clear();
    return fail(d->diags, "S1C00", "SQLBrowseConnect is not available on the SQLite engine");
}

SQLRETURN SQL_API Disconnect(SQLHDBC h) {
    Dbc* d = dbcOf(h);
    if (!d) return SQL_INVALID_HANDLE;
    d->diags.clear();
    if (!d->db) return fail(d->diags, "08003", "the connection is not connected");
    std::vector<Stmt*> stmts;
    {
        std::lock_guard<std::mutex> lock(d->stmtsMu);
        stmts.swap(d->stmts);
    }
    for (Stmt* s : stmts) {
        std::lock_guard<std::mutex> lock(s->callMu);
        unprepare(*s);
    }
    for (Stmt* s : stmts) {
        s->tag = 0;
        delete s;
    }
    // Every statement is finalized: the close succeeds, and an open
    // transaction is rolled back.
    const int rc = sqlite3_close(d->db);
    if (rc != SQLITE_OK) return fail(d->diags, "S1000", sqlite3_errmsg(d->db), rc);
    d->db = nullptr;
    d->file.clear();
    return SQL_SUCCESS;
}

SQLRETURN SQL_API AllocStmt(SQLHDBC h, SQLHSTMT* out) {
    Dbc* d = dbcOf(h);
    if (!d) return SQL_INVALID_HANDLE;
    if (out) *out = nullptr;
    d->diags.clear();
    if (!out) return fail(d->diags, "S1009", "the output handle is a null pointer");
    if (!d->db) return fail(d->diags, "08003", "the connection is not connected");
    auto* s = new (std::nothrow) Stmt();
    if (!s) return fail(d->diags, "S1001", "no memory for a statement");
    s->dbc = d;
    s->queryTimeout = d->queryTimeout;
    s->maxRows = d->maxRows;
    s->noscan = d->noscan;
    {
        std::lock_guard<std::mutex> lock(d->stmtsMu);
        s->cursorName = "SQL_CUR" + std::to_string(++d->cursorNumber);
        d->stmts.push_back(s);
    }
    *out = s;
    return SQL_SUCCESS;
}

SQLRETURN SQL_API FreeStmt(SQLHSTMT h, SQLUSMALLINT option) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    switch (option) {
        case SQL_CLOSE:
            closeResults(*s);
            return SQL_SUCCESS;
        case SQL_UNBIND:
            s->cols.clear();
            return SQL_SUCCESS;
        case SQL_RESET_PARAMS:
            s->params.clear();
            return SQL_SUCCESS;
        case SQL_DROP: {
            Dbc* d = s->dbc;
            {
                std::lock_guard<std::mutex> lock(d->stmtsMu);
                d->stmts.erase(std::remove(d->stmts.begin(), d->stmts.end(), s), d->stmts.end());
            }
            unprepare(*s);
            s->tag = 0;
            c.lock.unlock();
            delete s;
            return SQL_SUCCESS;
        }
        default:
            return fail(s->diags, "S1092", "the option is invalid");
    }
}

SQLRETURN SQL_API Prepare(SQLHSTMT h, SQLCHAR* sql, SQLINTEGER length) {
    Call c(h);
    if (!c.s) return SQL_INVALID_HANDLE;
    return prepareText(*c.s, reinterpret_cast<const char*>(sql), length);
}

SQLRETURN SQL_API Execute(SQLHSTMT h) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (s->phase == Phase::Idle) return fail(s->diags, "S1010", "the statement is not prepared");
    if (s->phase == Phase::NeedData) return fail(s->diags, "S1010", "the statement waits for data at execution");
    return startExecution(*s);
}

SQLRETURN SQL_API ExecDirect(SQLHSTMT h, SQLCHAR* sql, SQLINTEGER length) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (s->phase == Phase::NeedData) return fail(s->diags, "S1010", "the statement waits for data at execution");
    const SQLRETURN rc = prepareText(*s, reinterpret_cast<const char*>(sql), length);
    if (rc != SQL_SUCCESS) return rc;
    return startExecution(*s);
}

SQLRETURN SQL_API NumParams(SQLHSTMT h, SQLSMALLINT* out) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (s->phase == Phase::Idle) return fail(s->diags, "S1010", "the statement is not prepared");
    int n = s->multi ? countMarkers(s->text) : (s->head ? sqlite3_bind_parameter_count(s->head) : 0);
    if (out) *out = static_cast<SQLSMALLINT>(n);
    return SQL_SUCCESS;
}

int paramCount(Stmt& s) {
    return s.multi ? countMarkers(s.text) : (s.head ? sqlite3_bind_parameter_count(s.head) : 0);
}

SQLRETURN SQL_API DescribeParam(SQLHSTMT h, SQLUSMALLINT ipar, SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* scale,
                                SQLSMALLINT* nullable) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (s->phase == Phase::Idle) return fail(s->diags, "S1010", "the statement is not prepared");
    if (ipar < 1 || ipar > paramCount(*s)) return fail(s->diags, "S1093", "the parameter number is invalid");
    // SQLite gives parameters no type: each takes the type of its value.
    if (type) *type = SQL_VARCHAR;
    if (size) *size = 0;
    if (scale) *scale = 0;
    if (nullable) *nullable = SQL_NULLABLE_UNKNOWN;
    return SQL_SUCCESS;
}

SQLRETURN SQL_API BindParameter(SQLHSTMT h, SQLUSMALLINT ipar, SQLSMALLINT ioType, SQLSMALLINT cType,
                                SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT scale, SQLPOINTER value,
                                SQLLEN capacity, SQLLEN* indicator) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (ipar < 1) return fail(s->diags, "S1093", "the parameter number is invalid");
    if (ioType != SQL_PARAM_INPUT && ioType != SQL_PARAM_OUTPUT && ioType != SQL_PARAM_INPUT_OUTPUT)
        return fail(s->diags, "S1105", "the parameter type is invalid");
    if (cType != SQL_C_DEFAULT && cType != SQL_C_CHAR && cType != SQL_C_WCHAR && cType != SQL_C_BINARY &&
        fixedSize(cType) == 0)
        return fail(s->diags, "S1003", "the C type is invalid");
    if (capacity < 0) return fail(s->diags, "S1090", "the buffer length is invalid");
    if (s->params.size() < ipar) s->params.resize(ipar);
    ParamBinding& p = s->params[ipar - 1];
    p.bound = true;
    p.ioType = ioType;
    p.cType = cType;
    p.sqlType = sqlType;
    p.size = size;
    p.scale = scale;
    p.value = value;
    p.capacity = capacity;
    p.indicator = indicator;
    return SQL_SUCCESS;
}

SQLRETURN SQL_API ParamOptions(SQLHSTMT h, SQLULEN rows, SQLULEN* rowsDone) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (rows == 0) return fail(s->diags, "S1107", "the row count is invalid");
    s->paramRows = rows;
    s->rowsDone = rowsDone;
    return SQL_SUCCESS;
}

// The next parameter of the executing row whose value is sent at execution
// and not yet given, or -1.
int nextDataAtExec(Stmt& s) {
    sqlite3_stmt* st = s.cur;
    if (!st) return -1;
    const int n = sqlite3_bind_parameter_count(st);
    for (int i = 1; i <= n; ++i) {
        const size_t at = static_cast<size_t>(s.paramBase + i - 1);
        if (at >= s.params.size()) continue;
        const ParamBinding& p = s.params[at];
        if (!p.indicator) continue;
        const SQLLEN len = p.indicator[s.execRow];
        if ((len == SQL_DATA_AT_EXEC || len <= SQL_LEN_DATA_AT_EXEC_OFFSET) && !s.daeGiven[at])
            return static_cast<int>(at);
    }
    return -1;
}

SQLRETURN SQL_API ParamData(SQLHSTMT h, SQLPOINTER* token) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (s->phase != Phase::NeedData) return fail(s->diags, "S1010", "no data at execution is awaited");
    if (s->daeParam >= 0) s->daeGiven[static_cast<size_t>(s->daeParam)] = s->daeNull ? kGivenNull : kGivenData;
    const int next = nextDataAtExec(*s);
    if (next >= 0) {
        s->daeParam = next;
        s->daeNull = false;
        s->daeData[static_cast<size_t>(next)].clear();
        if (token) *token = s->params[static_cast<size_t>(next)].value;
        return SQL_NEED_DATA;
    }
    s->daeParam = -1;
    s->phase = Phase::Results;
    const SQLRETURN rc = runCurrent(*s);
    if (rc == SQL_NEED_DATA) {
        s->phase = Phase::NeedData;
        const int first = nextDataAtExec(*s);
        s->daeParam = first;
        s->daeNull = false;
        if (first >= 0) {
            s->daeData[static_cast<size_t>(first)].clear();
            if (token) *token = s->params[static_cast<size_t>(first)].value;
        }
    }
    return rc;
}

SQLRETURN SQL_API PutData(SQLHSTMT h, SQLPOINTER data, SQLLEN length) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (s->phase != Phase::NeedData || s->daeParam < 0) return fail(s->diags, "S1010", "no parameter waits for data");
    const ParamBinding& p = s->params[static_cast<size_t>(s->daeParam)];
    std::string& buf = s->daeData[static_cast<size_t>(s->daeParam)];
    if (length == SQL_NULL_DATA) {
        // A null sent at execution (the data put before it is dropped).
        buf.clear();
        s->daeNull = true;
        return SQL_SUCCESS;
    }
    s->daeNull = false;
    if (!data && length != 0) return fail(s->diags, "S1009", "the data is a null pointer");
    const SQLSMALLINT cType = p.cType == SQL_C_DEFAULT ? defaultCType(p.sqlType) : p.cType;
    size_t n;
    if (length == SQL_NTS) {
        if (cType == SQL_C_WCHAR) {
            const auto* w = static_cast<const uint16_t*>(data);
            n = 0;
            while (w[n]) ++n;
            n *= 2;
        } else {
            n = std::strlen(static_cast<const char*>(data));
        }
    } else if (length < 0) {
        return fail(s->diags, "S1090", "the data length is invalid");
    } else {
        n = static_cast<size_t>(length);
    }
    const SQLLEN fixed = fixedSize(cType);
    if (fixed) n = static_cast<size_t>(fixed);
    try {
        buf.append(static_cast<const char*>(data), n);
    } catch (const std::bad_alloc&) {
        return fail(s->diags, "S1001", "no memory for the data");
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API NumResultCols(SQLHSTMT h, SQLSMALLINT* out) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (s->phase == Phase::Idle) return fail(s->diags, "S1010", "the statement is not prepared");
    if (out) *out = static_cast<SQLSMALLINT>(s->cur ? sqlite3_column_count(s->cur) : 0);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API DescribeCol(SQLHSTMT h, SQLUSMALLINT col, SQLCHAR* name, SQLSMALLINT capacity,
                              SQLSMALLINT* nameLength, SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* scale,
                              SQLSMALLINT* nullable) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (s->phase == Phase::Idle) return fail(s->diags, "S1010", "the statement is not prepared");
    const ColumnInfo* ci = columnAt(*s, col);
    if (!ci) return fail(s->diags, "S1002", "the column number is invalid");
    if (type) *type = ci->type.sqlType;
    if (size) *size = ci->type.size;
    if (scale) *scale = ci->type.scale;
    if (nullable) *nullable = ci->nullable;
    return copyText(ci->name, name, capacity, nameLength, s->diags);
}

SQLRETURN SQL_API ColAttributes(SQLHSTMT h, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER text,
                                SQLSMALLINT capacity, SQLSMALLINT* textLength, SQLLEN* number) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (s->phase == Phase::Idle) return fail(s->diags, "S1010", "the statement is not prepared");
    if (field == SQL_COLUMN_COUNT) {
        describeColumns(*s);
        if (number) *number = static_cast<SQLLEN>(s->columns.size());
        return SQL_SUCCESS;
    }
    const ColumnInfo* ci = columnAt(*s, col);
    if (!ci) return fail(s->diags, "S1002", "the column number is invalid");
    auto num = [&](SQLLEN v) {
        if (number) *number = v;
        return SQL_SUCCESS;
    };
    auto str = [&](std::string_view v) {
        return copyText(v, static_cast<SQLCHAR*>(text), capacity, textLength, s->diags);
    };
    const ColumnType& t = ci->type;
    switch (field) {
        case SQL_COLUMN_NAME:
        case SQL_COLUMN_LABEL:
            return str(ci->name);
        case SQL_COLUMN_TYPE:
            return num(t.sqlType);
        case SQL_COLUMN_TYPE_NAME:
            return str(ci->typeName);
        case SQL_COLUMN_LENGTH:
            return num(t.length);
        case SQL_COLUMN_PRECISION:
            return num(static_cast<SQLLEN>(std::min<SQLULEN>(t.size, INT32_MAX)));
        case SQL_COLUMN_SCALE:
            return num(t.scale);
        case SQL_COLUMN_DISPLAY_SIZE:
            return num(t.displaySize);
        case SQL_COLUMN_NULLABLE:
            return num(ci->nullable);
        case SQL_COLUMN_UNSIGNED:
            return num(t.sqlType == SQL_INTEGER || t.sqlType == SQL_BIGINT || t.sqlType == SQL_SMALLINT ||
                               t.sqlType == SQL_TINYINT || t.sqlType == SQL_DOUBLE || t.sqlType == SQL_DECIMAL
                           ? SQL_FALSE
                           : SQL_TRUE);
        case SQL_COLUMN_MONEY:
            return num(SQL_FALSE);
        case SQL_COLUMN_UPDATABLE:
            return num(SQL_ATTR_READWRITE_UNKNOWN);
        case SQL_COLUMN_AUTO_INCREMENT:
            return num(ci->autoIncrement ? SQL_TRUE : SQL_FALSE);
        case SQL_COLUMN_CASE_SENSITIVE:
            return num(t.sqlType == SQL_CHAR || t.sqlType == SQL_VARCHAR || t.sqlType == SQL_LONGVARCHAR ? SQL_TRUE
                                                                                                         : SQL_FALSE);
        case SQL_COLUMN_SEARCHABLE:
            return num(SQL_SEARCHABLE);
        case SQL_COLUMN_TABLE_NAME:
            return str(ci->table);
        case SQL_COLUMN_OWNER_NAME:
        case SQL_COLUMN_QUALIFIER_NAME:
            return str("");
        default:
            return fail(s->diags, "S1091", "the descriptor type is invalid");
    }
}

SQLRETURN SQL_API BindCol(SQLHSTMT h, SQLUSMALLINT col, SQLSMALLINT cType, SQLPOINTER value, SQLLEN capacity,
                          SQLLEN* indicator) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (col < 1) return fail(s->diags, "S1002", "the column number is invalid");
    if (capacity < 0) return fail(s->diags, "S1090", "the buffer length is invalid");
    if (cType != SQL_C_DEFAULT && cType != SQL_C_CHAR && cType != SQL_C_WCHAR && cType != SQL_C_BINARY &&
        fixedSize(cType) == 0)
        return fail(s->diags, "S1003", "the C type is invalid");
    if (s->cols.size() < col) s->cols.resize(col);
    ColBinding& b = s->cols[col - 1];
    if (!value) {
        b = ColBinding();
        return SQL_SUCCESS;
    }
    b.cType = cType;
    b.value = value;
    b.capacity = capacity;
    b.indicator = indicator;
    return SQL_SUCCESS;
}

SQLRETURN SQL_API Fetch(SQLHSTMT h) {
    Call c(h);
    if (!c.s) return SQL_INVALID_HANDLE;
    return fetchRow(*c.s);
}

SQLRETURN SQL_API GetData(SQLHSTMT h, SQLUSMALLINT col, SQLSMALLINT cType, SQLPOINTER value, SQLLEN capacity,
                          SQLLEN* indicator) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (s->phase != Phase::Results || !s->fetched || !s->cur) return fail(s->diags, "24000", "no row is fetched");
    if (col < 1 || col > sqlite3_column_count(s->cur)) return fail(s->diags, "S1002", "the column number is invalid");
    if (capacity < 0) return fail(s->diags, "S1090", "the buffer length is invalid");
    if (cType != SQL_C_DEFAULT && cType != SQL_C_CHAR && cType != SQL_C_WCHAR && cType != SQL_C_BINARY &&
        fixedSize(cType) == 0)
        return fail(s->diags, "S1003", "the C type is invalid");
    if (s->gdColumn != col) {
        s->gdColumn = col;
        s->gdPiece = Piece();
    }
    SQLSMALLINT described = SQL_VARCHAR;
    if (cType == SQL_C_DEFAULT) described = columnAt(*s, col)->type.sqlType;
    DbLock dbLock(s->dbc->db);
    sqlite3_value* v = sqlite3_column_value(s->cur, col - 1);
    if (value && !s->gdPiece.started && moveSimple(v, cType, value, capacity, indicator, s->gdPiece))
        return SQL_SUCCESS;
    const Moved m = moveColumn(v, cType, described, value, capacity, indicator, s->gdPiece);
    if (m.rc == SQL_ERROR)
        return fail(s->diags, m.state,
                    std::strcmp(m.state, "22002") == 0 ? "the value is null and no indicator was given"
                                                       : "the value cannot be converted to the C type");
    if (m.rc == SQL_SUCCESS_WITH_INFO)
        s->diags.add(
            m.state, 0,
            std::strcmp(m.state, "01004") == 0 ? "the value was cut to the buffer" : "the value lost its fraction");
    return m.rc;
}

SQLRETURN SQL_API RowCount(SQLHSTMT h, SQLLEN* out) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (s->phase != Phase::Results) return fail(s->diags, "S1010", "the statement is not executed");
    if (out) *out = s->rowCount;
    return SQL_SUCCESS;
}

SQLRETURN SQL_API MoreResults(SQLHSTMT h) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (s->phase != Phase::Results) return SQL_NO_DATA_FOUND;
    return nextStatement(*s);
}

SQLRETURN SQL_API Cancel(SQLHSTMT h) {
    Stmt* s = stmtOf(h);
    if (!s) return SQL_INVALID_HANDLE;
    std::unique_lock<std::mutex> lock(s->callMu, std::try_to_lock);
    if (!lock.owns_lock()) {
        // A call of the statement runs: only interrupt it. The database
        // stays open while a statement exists, so the handle is valid.
        sqlite3_interrupt(s->dbc->db);
        return SQL_SUCCESS;
    }
    // No call runs: end a data-at-execution sequence and close the cursor.
    if (s->phase == Phase::NeedData || s->phase == Phase::Results) {
        closeResults(*s);
        s->phase = Phase::Prepared;
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API GetCursorName(SQLHSTMT h, SQLCHAR* out, SQLSMALLINT capacity, SQLSMALLINT* length) {
    Call c(h);
    if (!c.s) return SQL_INVALID_HANDLE;
    return copyText(c.s->cursorName, out, capacity, length, c.s->diags);
}

SQLRETURN SQL_API SetCursorName(SQLHSTMT h, SQLCHAR* name, SQLSMALLINT length) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (!name) return fail(s->diags, "S1009", "the cursor name is a null pointer");
    if (length < 0 && length != SQL_NTS) return fail(s->diags, "S1090", "the name length is invalid");
    std::string n = length == SQL_NTS ? std::string(reinterpret_cast<char*>(name))
                                      : std::string(reinterpret_cast<char*>(name), static_cast<size_t>(length));
    if (n.empty() || n.size() > 18) return fail(s->diags, "34000", "the cursor name is invalid");
    if (n.rfind("SQL_CUR", 0) == 0 || n.rfind("SQLCUR", 0) == 0)
        return fail(s->diags, "34000", "cursor names starting with SQL_CUR are reserved");
    {
        std::lock_guard<std::mutex> lock(s->dbc->stmtsMu);
        for (Stmt* o : s->dbc->stmts)
            if (o != s && strcasecmp(o->cursorName.c_str(), n.c_str()) == 0)
                return fail(s->diags, "3C000", "another statement has this cursor name");
    }
    s->cursorName = std::move(n);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API NativeSql(SQLHDBC h, SQLCHAR* in, SQLINTEGER inLength, SQLCHAR* out, SQLINTEGER capacity,
                            SQLINTEGER* outLength) {
    Dbc* d = dbcOf(h);
    if (!d) return SQL_INVALID_HANDLE;
    d->diags.clear();
    if (!in) return fail(d->diags, "S1009", "the statement text is a null pointer");
    if (inLength < 0 && inLength != SQL_NTS) return fail(d->diags, "S1090", "the text length is invalid");
    const char* p = reinterpret_cast<const char*>(in);
    const std::string_view given = inLength == SQL_NTS ? std::string_view(p) : std::string_view(p, inLength);
    std::string text, message;
    if (!translateEscapes(given, text, message)) return fail(d->diags, "37000", message);
    if (outLength) *outLength = static_cast<SQLINTEGER>(std::min<size_t>(text.size(), INT32_MAX));
    if (!out || capacity <= 0) return SQL_SUCCESS;
    const size_t n = std::min(text.size(), static_cast<size_t>(capacity) - 1);
    std::memcpy(out, text.data(), n);
    out[n] = 0;
    if (n < text.size()) {
        d->diags.add("01004", 0, "the text was cut to the buffer");
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

SQLRETURN runSql(Dbc& d, const char* sql) {
    char* err = nullptr;
    const int rc = sqlite3_exec(d.db, sql, nullptr, nullptr, &err);
    if (rc == SQLITE_OK) return SQL_SUCCESS;
    std::string msg = err ? err : sqlite3_errstr(rc);
    sqlite3_free(err);
    return fail(d.diags, stateOf(rc, false, false), msg, rc);
}

SQLRETURN transactOne(Dbc& d, SQLUSMALLINT type) {
    if (!d.db) return fail(d.diags, "08003", "the connection is not connected");
    if (type != SQL_COMMIT && type != SQL_ROLLBACK) return fail(d.diags, "S1012", "the transaction type is invalid");
    if (sqlite3_get_autocommit(d.db)) return SQL_SUCCESS;  // no transaction open
    if (type == SQL_ROLLBACK) {
        // A rollback ends the connection's open cursors (SQLite would abort
        // them): they are closed first.
        std::lock_guard<std::mutex> lock(d.stmtsMu);
        for (Stmt* s : d.stmts) {
            std::unique_lock<std::mutex> call(s->callMu, std::try_to_lock);
            if (call.owns_lock() && s->phase == Phase::Results) closeResults(*s);
        }
    }
    return runSql(d, type == SQL_COMMIT ? "COMMIT" : "ROLLBACK");
}

SQLRETURN SQL_API Transact(SQLHENV, SQLHDBC h, SQLUSMALLINT type) {
    Dbc* d = dbcOf(h);
    if (!d) return SQL_INVALID_HANDLE;
    d->diags.clear();
    return transactOne(*d, type);
}

// ---- options --------------------------------------------------------------

void put32(SQLPOINTER out, SQLULEN v) {
    const auto u = static_cast<SQLUINTEGER>(v);
    std::memcpy(out, &u, sizeof u);
}

// Statement options, on a statement or (as defaults) on a connection.
// 1: done, 0: not a statement option, -1: refused (a record added).
int setStmtOption(Diags& diags, SQLUSMALLINT option, SQLULEN value, SQLULEN& queryTimeout, SQLULEN& maxRows,
                  SQLULEN& noscan, Stmt* s) {
    switch (option) {
        case SQL_QUERY_TIMEOUT:
            queryTimeout = value;
            return 1;
        case SQL_MAX_ROWS:
            maxRows = value;
            return 1;
        case SQL_NOSCAN:
            if (value != SQL_NOSCAN_ON && value != SQL_NOSCAN_OFF) {
                fail(diags, "S1009", "the value is invalid");
                return -1;
            }
            noscan = value;
            return 1;
        case SQL_MAX_LENGTH:
            if (s) s->maxLength = value;
            return 1;
        case SQL_ASYNC_ENABLE:
            if (value != SQL_ASYNC_ENABLE_OFF) {
                fail(diags, "S1C00", "asynchronous execution is not available");
                return -1;
            }
            return 1;
        case SQL_BIND_TYPE:
            if (value != SQL_BIND_BY_COLUMN) {
                fail(diags, "S1C00", "only column-wise binding is available");
                return -1;
            }
            return 1;
        case SQL_CURSOR_TYPE:
            if (value != SQL_CURSOR_FORWARD_ONLY) {
                diags.add("01S02", 0, "the cursor type was changed to forward only");
                return 2;
            }
            return 1;
        case SQL_CONCURRENCY:
            if (value != SQL_CONCUR_READ_ONLY) {
                diags.add("01S02", 0, "the concurrency was changed to read only");
                return 2;
            }
            return 1;
        case SQL_ROWSET_SIZE:
            if (value != 1) {
                diags.add("01S02", 0, "the rowset size was changed to 1");
                return 2;
            }
            return 1;
        case SQL_RETRIEVE_DATA:
        case SQL_USE_BOOKMARKS:
        case SQL_KEYSET_SIZE:
        case SQL_SIMULATE_CURSOR:
            return 1;
        default:
            return 0;
    }
}

SQLRETURN SQL_API SetStmtOption(SQLHSTMT h, SQLUSMALLINT option, SQLULEN value) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    const int r = setStmtOption(s->diags, option, value, s->queryTimeout, s->maxRows, s->noscan, s);
    if (r == 0) return fail(s->diags, "S1092", "the option is not known");
    return r < 0 ? SQL_ERROR : r == 2 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN SQL_API GetStmtOption(SQLHSTMT h, SQLUSMALLINT option, SQLPOINTER out) {
    Call c(h);
    Stmt* s = c.s;
    if (!s) return SQL_INVALID_HANDLE;
    if (!out) return fail(s->diags, "S1009", "the output is a null pointer");
    switch (option) {
        case SQL_QUERY_TIMEOUT:
            put32(out, s->queryTimeout);
            return SQL_SUCCESS;
        case SQL_MAX_ROWS:
            put32(out, s->maxRows);
            return SQL_SUCCESS;
        case 3061: {  // the description version (ruva70.h)
            // libsqlite3 prepares a statement again when the schema changed
            // under it, and its columns may then be others.
            int n = 0;
            if (s->head) n += sqlite3_stmt_status(s->head, SQLITE_STMTSTATUS_REPREPARE, 0);
            if (s->cur && s->cur != s->head) n += sqlite3_stmt_status(s->cur, SQLITE_STMTSTATUS_REPREPARE, 0);
            put32(out, static_cast<SQLUINTEGER>(n));
            return SQL_SUCCESS;
        }
        case SQL_NOSCAN:
            put32(out, s->noscan);
            return SQL_SUCCESS;
        case SQL_MAX_LENGTH:
            put32(out, s->maxLength);
            return SQL_SUCCESS;
        case SQL_ASYNC_ENABLE:
            put32(out, SQL_ASYNC_ENABLE_OFF);
            return SQL_SUCCESS;
        case SQL_BIND_TYPE:
            put32(out, SQL_BIND_BY_COLUMN);
            return SQL_SUCCESS;
        case SQL_CURSOR_TYPE:
            put32(out, SQL_CURSOR_FORWARD_ONLY);
            return SQL_SUCCESS;
        case SQL_CONCURRENCY:
            put32(out, SQL_CONCUR_READ_ONLY);
            return SQL_SUCCESS;
        case SQL_ROWSET_SIZE:
            put32(out, 1);
            return SQL_SUCCESS;
        case SQL_RETRIEVE_DATA:
            put32(out, SQL_RD_ON);
            return SQL_SUCCESS;
        case SQL_USE_BOOKMARKS:
            put32(out, SQL_UB_OFF);
            return SQL_SUCCESS;
        case SQL_ROW_NUMBER:
            put32(out, s->fetched ? s->rowsFetched : 0);
            return SQL_SUCCESS;
        default:
            return fail(s->diags, "S1092", "the option is not known");
    }
}

SQLRETURN SQL_API SetConnectOption(SQLHDBC h, SQLUSMALLINT option, SQLULEN value) {
    Dbc* d = dbcOf(h);
    if (!d) return SQL_INVALID_HANDLE;
    d->diags.clear();
    switch (option) {
        case SQL_AUTOCOMMIT: {
            if (value != SQL_AUTOCOMMIT_ON && value != SQL_AUTOCOMMIT_OFF)
                return fail(d->diags, "S1009", "the value is invalid");
            const bool on = value == SQL_AUTOCOMMIT_ON;
            if (on && !d->autocommit && d->db && !sqlite3_get_autocommit(d->db)) {
                // Back to autocommit: the open transaction is committed.
                const SQLRETURN rc = runSql(*d, "COMMIT");
                if (rc != SQL_SUCCESS) return rc;
            }
            d->autocommit = on;
            return SQL_SUCCESS;
        }
        case SQL_ACCESS_MODE: {
            if (value != SQL_MODE_READ_ONLY && value != SQL_MODE_READ_WRITE)
                return fail(d->diags, "S1009", "the value is invalid");
            const bool ro = value == SQL_MODE_READ_ONLY;
            if (d->db) {
                const SQLRETURN rc = runSql(*d, ro ? "PRAGMA query_only=1" : "PRAGMA query_only=0");
                if (rc != SQL_SUCCESS) return rc;
            }
            d->readOnly = ro;
            return SQL_SUCCESS;
        }
        case SQL_TXN_ISOLATION:
            if (value == SQL_TXN_SERIALIZABLE) return SQL_SUCCESS;
            if (value != SQL_TXN_READ_UNCOMMITTED && value != SQL_TXN_READ_COMMITTED &&
                value != SQL_TXN_REPEATABLE_READ)
                return fail(d->diags, "S1009", "the isolation level is invalid");
            // SQLite's transactions are serializable; a weaker level asked
            // for is given the stronger one.
            d->diags.add("01S02", 0, "SQLite transactions are serializable: the isolation stays serializable");
            return SQL_SUCCESS_WITH_INFO;
        case SQL_LOGIN_TIMEOUT:
            d->loginTimeout = static_cast<SQLUINTEGER>(value);
            return SQL_SUCCESS;
        case SQL_CURRENT_QUALIFIER:
            return SQL_SUCCESS;
        case SQL_ODBC_CURSORS:
        case SQL_QUIET_MODE:
        case SQL_PACKET_SIZE:
        case SQL_OPT_TRACE:
        case SQL_TRANSLATE_OPTION:
            return SQL_SUCCESS;
        case RUVA70_STMT_DRIVER_TYPES:
        case RUVA70_STMT_TYPE_FROM_VALUE:
        case RUVA70_STMT_INSERT_ROWS:
        case RUVA70_STMT_OUTPUT_INPUT:
        case RUVA70_STMT_FETCH_ROWS:
            return fail(d->diags, "S1092", "the option is a statement option");
        default:
            break;
    }
    const int r = setStmtOption(d->diags, option, value, d->queryTimeout, d->maxRows, d->noscan, nullptr);
    if (r == 0) return fail(d->diags, "S1092", "the option is not known");
    return r < 0 ? SQL_ERROR : r == 2 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN SQL_API GetConnectOption(SQLHDBC h, SQLUSMALLINT option, SQLPOINTER out) {
    Dbc* d = dbcOf(h);
    if (!d) return SQL_INVALID_HANDLE;
    d->diags.clear();
    if (!out) return fail(d->diags, "S1009", "the output is a null pointer");
    switch (option) {
        case SQL_AUTOCOMMIT:
            put32(out, d->autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF);
            return SQL_SUCCESS;
        case SQL_ACCESS_MODE:
            put32(out, d->readOnly ? SQL_MODE_READ_ONLY : SQL_MODE_READ_WRITE);
            return SQL_SUCCESS;
        case SQL_TXN_ISOLATION:
            put32(out, SQL_TXN_SERIALIZABLE);
            return SQL_SUCCESS;
        case SQL_LOGIN_TIMEOUT:
            put32(out, d->loginTimeout);
            return SQL_SUCCESS;
        case SQL_ATTR_CONNECTION_DEAD:
            // A file database is never lost.
            put32(out, SQL_CD_FALSE);
            return SQL_SUCCESS;
        case SQL_CURRENT_QUALIFIER:
            static_cast<char*>(out)[0] = 0;
            return SQL_SUCCESS;
        case SQL_QUERY_TIMEOUT:
            put32(out, d->queryTimeout);
            return SQL_SUCCESS;
        case SQL_MAX_ROWS:
            put32(out, d->maxRows);
            return SQL_SUCCESS;
        case SQL_NOSCAN:
            put32(out, d->noscan);
            return SQL_SUCCESS;
        case RUVA70_STMT_DRIVER_TYPES:
        case RUVA70_STMT_TYPE_FROM_VALUE:
        case RUVA70_STMT_INSERT_ROWS:
        case RUVA70_STMT_OUTPUT_INPUT:
        case RUVA70_STMT_FETCH_ROWS:
            return fail(d->diags, "S1092", "the option is a statement option");
        default:
            return fail(d->diags, "S1092", "the option is not known");
    }
}

// ---- catalog functions, info and type info --------------------------------

Arg argOf(const SQLCHAR* p, SQLSMALLINT n) {
    if (!p) return std::nullopt;
    const char* c = reinterpret_cast<const char*>(p);
    return n == SQL_NTS || n < 0 ? std::string(c) : std::string(c, static_cast<size_t>(n));
}

SQLRETURN runCatalog(Stmt& s, const CatalogQuery& q) {
    if (s.phase == Phase::NeedData) return fail(s.diags, "S1010", "the statement waits for data at execution");
    const SQLULEN noscan = s.noscan;
    s.noscan = SQL_NOSCAN_ON;
    SQLRETURN rc = prepareText(s, q.sql.c_str(), SQL_NTS);
    s.noscan = noscan;
    if (rc != SQL_SUCCESS) return rc;
    s.shapes = q.columns;
    closeResults(s);
    s.execRow = 0;
    s.execCount = 0;
    s.phase = Phase::Results;
    if (!s.head) return SQL_SUCCESS;
    for (size_t i = 0; i < q.params.size(); ++i) {
        const int r = q.params[i] ? sqlite3_bind_text64(s.head, static_cast<int>(i + 1), q.params[i]->data(),
                                                        q.params[i]->size(), SQLITE_TRANSIENT, SQLITE_UTF8)
                                  : sqlite3_bind_null(s.head, static_cast<int>(i + 1));
        if (r != SQLITE_OK) return failSqlite(s, r);
    }
    s.cur = s.head;
    Deadline deadline(s);
    const int r = step(s);
    if (r == SQLITE_ROW) {
        s.hasRow = true;
        return SQL_SUCCESS;
    }
    if (r != SQLITE_DONE) return failSqlite(s, r);
    return SQL_SUCCESS;
}

#define RUVA_CATALOG_ENTRY(Stmt_, ...) \
    Call c(Stmt_);                     \
    if (!c.s) return SQL_INVALID_HANDLE;

SQLRETURN SQL_API Tables(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT an, SQLCHAR* b, SQLSMALLINT bn, SQLCHAR* t,
                         SQLSMALLINT tn, SQLCHAR* ty, SQLSMALLINT tyn) {
    RUVA_CATALOG_ENTRY(h)
    return runCatalog(*c.s, tables(argOf(a, an), argOf(b, bn), argOf(t, tn), argOf(ty, tyn)));
}
SQLRETURN SQL_API Columns(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT an, SQLCHAR* b, SQLSMALLINT bn, SQLCHAR* t,
                          SQLSMALLINT tn, SQLCHAR* col, SQLSMALLINT coln) {
    RUVA_CATALOG_ENTRY(h)
    return runCatalog(*c.s, columns(argOf(a, an), argOf(b, bn), argOf(t, tn), argOf(col, coln)));
}
SQLRETURN SQL_API Statistics(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT an, SQLCHAR* b, SQLSMALLINT bn, SQLCHAR* t,
                             SQLSMALLINT tn, SQLUSMALLINT unique, SQLUSMALLINT accuracy) {
    RUVA_CATALOG_ENTRY(h)
    return runCatalog(*c.s, statistics(argOf(a, an), argOf(b, bn), argOf(t, tn), unique, accuracy));
}
SQLRETURN SQL_API PrimaryKeys(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT an, SQLCHAR* b, SQLSMALLINT bn, SQLCHAR* t,
                              SQLSMALLINT tn) {
    RUVA_CATALOG_ENTRY(h)
    return runCatalog(*c.s, primaryKeys(argOf(a, an), argOf(b, bn), argOf(t, tn)));
}
SQLRETURN SQL_API ForeignKeys(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT an, SQLCHAR* b, SQLSMALLINT bn, SQLCHAR* t,
                              SQLSMALLINT tn, SQLCHAR* fa, SQLSMALLINT fan, SQLCHAR* fb, SQLSMALLINT fbn, SQLCHAR* ft,
                              SQLSMALLINT ftn) {
    RUVA_CATALOG_ENTRY(h)
    return runCatalog(
        *c.s, foreignKeys(argOf(a, an), argOf(b, bn), argOf(t, tn), argOf(fa, fan), argOf(fb, fbn), argOf(ft, ftn)));
}
SQLRETURN SQL_API SpecialColumns(SQLHSTMT h, SQLUSMALLINT idType, SQLCHAR* a, SQLSMALLINT an, SQLCHAR* b,
                                 SQLSMALLINT bn, SQLCHAR* t, SQLSMALLINT tn, SQLUSMALLINT scope,
                                 SQLUSMALLINT nullable) {
    RUVA_CATALOG_ENTRY(h)
    return runCatalog(*c.s, specialColumns(idType, argOf(a, an), argOf(b, bn), argOf(t, tn), scope, nullable));
}
SQLRETURN SQL_API Procedures(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT an, SQLCHAR* b, SQLSMALLINT bn, SQLCHAR* p,
                             SQLSMALLINT pn) {
    RUVA_CATALOG_ENTRY(h)
    return runCatalog(*c.s, procedures(argOf(a, an), argOf(b, bn), argOf(p, pn)));
}
SQLRETURN SQL_API ProcedureColumns(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT an, SQLCHAR* b, SQLSMALLINT bn, SQLCHAR* p,
                                   SQLSMALLINT pn, SQLCHAR* col, SQLSMALLINT coln) {
    RUVA_CATALOG_ENTRY(h)
    return runCatalog(*c.s, procedureColumns(argOf(a, an), argOf(b, bn), argOf(p, pn), argOf(col, coln)));
}
SQLRETURN SQL_API TablePrivileges(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT an, SQLCHAR* b, SQLSMALLINT bn, SQLCHAR* t,
                                  SQLSMALLINT tn) {
    RUVA_CATALOG_ENTRY(h)
    return runCatalog(*c.s, tablePrivileges(argOf(a, an), argOf(b, bn), argOf(t, tn)));
}
SQLRETURN SQL_API ColumnPrivileges(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT an, SQLCHAR* b, SQLSMALLINT bn, SQLCHAR* t,
                                   SQLSMALLINT tn, SQLCHAR* col, SQLSMALLINT coln) {
    RUVA_CATALOG_ENTRY(h)
    return runCatalog(*c.s, columnPrivileges(argOf(a, an), argOf(b, bn), argOf(t, tn), argOf(col, coln)));
}
SQLRETURN SQL_API GetTypeInfo(SQLHSTMT h, SQLSMALLINT type) {
    RUVA_CATALOG_ENTRY(h)
    return runCatalog(*c.s, typeInfo(type));
}

#undef RUVA_CATALOG_ENTRY

SQLRETURN SQL_API GetInfo(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER out, SQLSMALLINT capacity, SQLSMALLINT* length) {
    Dbc* d = dbcOf(h);
    if (!d) return SQL_INVALID_HANDLE;
    d->diags.clear();
    if (!d->db && type != SQL_ODBC_VER && type != SQL_DRIVER_ODBC_VER)
        return fail(d->diags, "08003", "the connection is not connected");
    if (type == 3001 || type == 3002) {
        // The data store's state cannot be told; keys come from the last row id.
        if (out) put32(out, type == 3001 ? 0 : 2);
        if (length) *length = 4;
        return SQL_SUCCESS;
    }
    InfoContext ctx;
    ctx.databaseFile = d->file == ":memory:" ? std::string() : d->file;
    ctx.readOnly = d->readOnly;
    std::string state, message;
    const SQLRETURN rc = getInfo(ctx, type, out, capacity, length, state, message);
    if (!state.empty()) d->diags.add(state.c_str(), 0, message);
    return rc;
}

SQLRETURN SQL_API Error(SQLHENV, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR* state, SQLINTEGER* native, SQLCHAR* msg,
                        SQLSMALLINT capacity, SQLSMALLINT* length) {
    Diags* d = nullptr;
    if (hstmt) {
        Stmt* s = stmtOf(hstmt);
        if (!s) return SQL_INVALID_HANDLE;
        d = &s->diags;
    } else if (hdbc) {
        Dbc* c = dbcOf(hdbc);
        if (!c) return SQL_INVALID_HANDLE;
        d = &c->diags;
    } else {
        return SQL_INVALID_HANDLE;
    }
    if (d->next >= d->records.size()) return SQL_NO_DATA_FOUND;
    const Diag& r = d->records[d->next++];
    if (state) std::memcpy(state, r.state, 6);
    if (native) *native = r.native;
    const size_t len = r.message.size();
    if (length) *length = static_cast<SQLSMALLINT>(std::min<size_t>(len, 32767));
    if (msg && capacity > 0) {
        const size_t n = std::min(len, static_cast<size_t>(capacity) - 1);
        std::memcpy(msg, r.message.data(), n);
        msg[n] = 0;
        if (n < len) return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

const DriverManager kFunctions = [] {
    DriverManager f{};
    f.SQLAllocHandle = AllocHandle;
    f.SQLFreeHandle = FreeHandle;
    f.SQLSetEnvAttr = SetEnvAttr;
    f.SQLAllocConnect = AllocConnect;
    f.SQLAllocStmt = AllocStmt;
    f.SQLBindCol = BindCol;
    f.SQLCancel = Cancel;
    f.SQLColAttributes = ColAttributes;
    f.SQLDescribeCol = DescribeCol;
    f.SQLDisconnect = Disconnect;
    f.SQLError = Error;
    f.SQLExecDirect = ExecDirect;
    f.SQLExecute = Execute;
    f.SQLFetch = Fetch;
    f.SQLFreeConnect = FreeConnect;
    f.SQLFreeEnv = FreeEnv;
    f.SQLFreeStmt = FreeStmt;
    f.SQLGetCursorName = GetCursorName;
    f.SQLNumResultCols = NumResultCols;
    f.SQLPrepare = Prepare;
    f.SQLRowCount = RowCount;
    f.SQLSetCursorName = SetCursorName;
    f.SQLTransact = Transact;
    f.SQLColumns = Columns;
    f.SQLDriverConnect = DriverConnect;
    f.SQLGetConnectOption = GetConnectOption;
    f.SQLGetData = GetData;
    f.SQLGetInfo = GetInfo;
    f.SQLGetStmtOption = GetStmtOption;
    f.SQLGetTypeInfo = GetTypeInfo;
    f.SQLParamData = ParamData;
    f.SQLPutData = PutData;
    f.SQLSetConnectOption = SetConnectOption;
    f.SQLSetStmtOption = SetStmtOption;
    f.SQLSpecialColumns = SpecialColumns;
    f.SQLStatistics = Statistics;
    f.SQLTables = Tables;
    f.SQLBrowseConnect = BrowseConnect;
    f.SQLColumnPrivileges = ColumnPrivileges;
    f.SQLDescribeParam = DescribeParam;
    f.SQLForeignKeys = ForeignKeys;
    f.SQLMoreResults = MoreResults;
    f.SQLNativeSql = NativeSql;
    f.SQLNumParams = NumParams;
    f.SQLParamOptions = ParamOptions;
    f.SQLPrimaryKeys = PrimaryKeys;
    f.SQLProcedureColumns = ProcedureColumns;
    f.SQLProcedures = Procedures;
    f.SQLTablePrivileges = TablePrivileges;
    f.SQLBindParameter = BindParameter;
    return f;
}();

}  // namespace

const DriverManager& functions() {
    return kFunctions;
}

}  // namespace ruva::sqlite
