#include "conversion.h"

#include "connection.h"
#include "cursor_reads.h"
#include "describe.h"
#include "source.h"
#include "statement.h"
#include "timestamp_form.h"
#include "wide_text.h"

#include "qvjdbc/ruva70.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace ruva {
namespace {

constexpr SQLLEN kFormBytes = RUVA70_TIMESTAMP_FORM_BYTES;

bool isTimestampType(SQLLEN t) {
    return t == SQL_TIMESTAMP || t == SQL_TYPE_TIMESTAMP;
}

// The form and type of a column of the current result set (cached per
// result set).
ColumnInfo columnInfo(Handle& stmt, SQLUSMALLINT icol) {
    StmtState& st = *stmt.stmt;
    auto it = st.columnForms.find(icol);
    if (it != st.columnForms.end()) return it->second;
    const DriverManager& d = fns(stmt);
    SQLHSTMT h = stmt.dm.load();
    SQLLEN type = 0;
    // No result set yet: not cached, asked again next time.
    if (!SQL_SUCCEEDED(d.SQLColAttributes(h, icol, SQL_COLUMN_TYPE, nullptr, 0, nullptr, &type))) return ColumnInfo{};
    ColumnInfo info;
    info.type = static_cast<SQLSMALLINT>(type);
    if (isTimestampType(type)) {
        info.form = ColumnForm::Timestamp;
        char name[130] = {};
        SQLSMALLINT len = 0;
        SQLLEN unused = 0;
        if (st.source->describeWithTypeName &&
            SQL_SUCCEEDED(d.SQLColAttributes(h, icol, SQL_COLUMN_TYPE_NAME, name, sizeof name - 1, &len, &unused)) &&
            columnDriverType(*st.source, name, SQL_TIMESTAMP) == RUVA70_TYPE_TIMESTAMP_TZ)
            info.form = ColumnForm::TimestampTz;
    }
    st.columnForms[icol] = info;
    return info;
}

ColumnForm columnForm(Handle& stmt, SQLUSMALLINT icol) {
    return columnInfo(stmt, icol).form;
}

// Whether the driver turns a value of a column of SQL type `type` into cType
// exactly (or reports why not) by itself: every read where the data source's
// numbers pass through the driver, only those its record names where
// libruva70 converts them.
bool driverConvertsExactly(const DataSource& source, SQLSMALLINT type, SQLSMALLINT cType) {
    if (!number::isConverted(cType) || source.numbers == NumberReads::Driver) return true;
    return source.driverConvertsExactly && source.driverConvertsExactly(type, cType);
}

// Text of a number into the caller's buffer and indicator.
SQLRETURN deliverNumber(Handle& stmt, const char* text, SQLLEN ind, size_t capacity, SQLSMALLINT cType,
                        SQLPOINTER value, SQLLEN* appInd) {
    if (ind == SQL_NULL_DATA) {
        if (!appInd) return fail(stmt, "22002", "a null value needs an indicator variable");
        *appInd = SQL_NULL_DATA;
        return SQL_SUCCESS;
    }
    const bool cut = ind == SQL_NO_TOTAL || ind < 0 || static_cast<size_t>(ind) >= capacity;
    const size_t len = cut ? std::strlen(text) : static_cast<size_t>(ind);
    const number::Outcome o = number::convert(text, len, cut, cType, value);
    if (o.rc == SQL_SUCCESS) {
        if (appInd) *appInd = number::valueSize(cType);
        return SQL_SUCCESS;
    }
    const std::string shown(text, std::min<size_t>(len, 40));
    if (o.rc == SQL_ERROR)
        return fail(stmt, o.state,
                    std::string(o.state[4] == '3' ? "numeric value out of range for the C type: '"
                                                  : "value is no number: '") +
                        shown + (len > 40 ? "...'" : "'"));
    if (appInd) *appInd = number::valueSize(cType);
    if (o.rc == SQL_SUCCESS_WITH_INFO) addDiag(stmt, o.state, "fractional part of '" + shown + "' dropped");
    return o.rc;
}

// The worse of two results of one call: an error over a warning over success.
SQLRETURN worse(SQLRETURN a, SQLRETURN b) {
    if (a == SQL_ERROR || b == SQL_ERROR) return SQL_ERROR;
    if (a == SQL_SUCCESS_WITH_INFO || b == SQL_SUCCESS_WITH_INFO) return SQL_SUCCESS_WITH_INFO;
    return a;
}

// A timestamptz column is read as the session's text: once per result set,
// make sure that text is UTC.
SQLRETURN checkZone(Handle& stmt, ColumnForm form) {
    StmtState& st = *stmt.stmt;
    if (form != ColumnForm::TimestampTz || st.zoneChecked) return SQL_SUCCESS;
    SQLRETURN rc = checkUtcSession(stmt, st.dmDbc);
    if (rc == SQL_SUCCESS) st.zoneChecked = true;
    return rc;
}

// Text of a timestamp into the caller's 8 bytes and indicator.
SQLRETURN deliver(Handle& stmt, const char* text, SQLLEN ind, size_t capacity, SQLPOINTER value, SQLLEN* appInd) {
    if (ind == SQL_NULL_DATA) {
        if (!appInd) return fail(stmt, "22002", "a null value needs an indicator variable");
        *appInd = SQL_NULL_DATA;
        return SQL_SUCCESS;
    }
    size_t len = ind == SQL_NTS || ind < 0 ? std::strlen(text) : static_cast<size_t>(ind);
    int64_t micros = 0;
    if (len >= capacity || !tsform::parse(text, len, micros))
        return fail(stmt, "22008",
                    "timestamp value '" + std::string(text, std::min(len, capacity - 1)) +
                        "' cannot be held in the 8-byte timestamp form");
    std::memcpy(value, &micros, sizeof micros);  // little-endian on this platform
    if (appInd) *appInd = kFormBytes;
    return SQL_SUCCESS;
}

// Before the first fetch of a result set: binds each 8-byte binary column to
// text if it is a timestamp, and each numeric column to text if the driver's
// own conversion would not be exact; to the application's buffer otherwise.
SQLRETURN decideColumns(Handle& stmt) {
    StmtState& st = *stmt.stmt;
    const DriverManager& d = fns(stmt);
    SQLHSTMT h = stmt.dm.load();
    st.anyConverting = false;
    for (auto& [icol, c] : st.columns) {
        bool convert = false;
        if (c.appCType == SQL_C_BINARY) {
            ColumnForm form = columnForm(stmt, icol);
            convert = form != ColumnForm::None;
            SQLRETURN rc = checkZone(stmt, form);
            if (rc != SQL_SUCCESS) return rc;
        } else {
            convert = !driverConvertsExactly(*st.source, columnInfo(stmt, icol).type, c.appCType);
        }
        SQLRETURN rc = SQL_SUCCESS;
        if (convert && !c.converting) {
            rc = d.SQLBindCol(h, icol, SQL_C_CHAR, c.text, sizeof c.text, &c.ind);
            if (SQL_SUCCEEDED(rc)) c.converting = true;
        } else if (!convert && c.converting) {
            rc = d.SQLBindCol(h, icol, c.appCType, c.appValue, c.appMax, c.appInd);
            if (SQL_SUCCEEDED(rc)) c.converting = false;
        }
        if (!SQL_SUCCEEDED(rc)) return rc;
        st.anyConverting = st.anyConverting || c.converting;
    }
    return SQL_SUCCESS;
}

// Binds a converted parameter to `rows` cells of timestamp text. On
// PostgreSQL the text carries its zone (+00) and is sent as character data,
// so the server reads the instant whatever the session's zone; a timestamp
// parameter would drop the offset before a timestamptz column sees it.
SQLSMALLINT textSqlType(Handle& stmt, const ParamConversion& p) {
    return stmt.stmt->source->zonedTimestampText ? SQL_VARCHAR : p.sqlType;
}
SQLULEN textColumnSize(Handle& stmt, const ParamConversion& p) {
    return stmt.stmt->source->zonedTimestampText ? kParamTextBytes : p.columnSize;
}
SQLSMALLINT textScale(Handle& stmt, const ParamConversion& p) {
    return stmt.stmt->source->zonedTimestampText ? 0 : p.scale;
}

SQLRETURN bindText(Handle& stmt, SQLUSMALLINT ipar, ParamConversion& p, SQLULEN rows) {
    p.text.assign(rows * kParamTextBytes, 0);
    p.ind.assign(rows, SQL_NULL_DATA);
    SQLRETURN rc =
        bindDriverParameter(stmt, ipar, SQL_PARAM_INPUT, SQL_C_CHAR, textSqlType(stmt, p), textColumnSize(stmt, p),
                            textScale(stmt, p), p.text.data(), kParamTextBytes, p.ind.data());
    if (!SQL_SUCCEEDED(rc)) return rc;
    p.boundText = true;
    p.boundRows = rows;
    return rc;
}

}  // namespace

SQLRETURN bindDriverParameter(Handle& stmt, SQLUSMALLINT ipar, SQLSMALLINT fParamType, SQLSMALLINT fCType,
                              SQLSMALLINT fSqlType, SQLULEN cbColDef, SQLSMALLINT ibScale, SQLPOINTER rgbValue,
                              SQLLEN cbValueMax, SQLLEN* pcbValue) {
    SQLRETURN rc = fns(stmt).SQLBindParameter(stmt.dm.load(), ipar, fParamType, fCType, fSqlType, cbColDef, ibScale,
                                              rgbValue, cbValueMax, pcbValue);
    StmtState& st = *stmt.stmt;
    if (SQL_SUCCEEDED(rc))
        st.bindings[ipar] = {fParamType, fCType, fSqlType, cbColDef, ibScale, rgbValue, cbValueMax, pcbValue};
    return rc;
}

SQLRETURN bindColumn(Handle& stmt, SQLUSMALLINT icol, SQLSMALLINT fCType, SQLPOINTER rgbValue, SQLLEN cbValueMax,
                     SQLLEN* pcbValue) {
    StmtState& st = *stmt.stmt;
    if (fCType == SQL_C_WCHAR && rgbValue && st.source->wideTextAsUtf8) {
        st.columns.erase(icol);
        return bindWideColumn(stmt, icol, rgbValue, cbValueMax, pcbValue);
    }
    SQLRETURN rc = fns(stmt).SQLBindCol(stmt.dm.load(), icol, fCType, rgbValue, cbValueMax, pcbValue);
    if (!SQL_SUCCEEDED(rc)) return rc;
    st.wideColumns.erase(icol);
    const bool form = fCType == SQL_C_BINARY && cbValueMax == kFormBytes;
    const bool number = number::isConverted(fCType) && st.source->numbers == NumberReads::Converted;
    if (rgbValue && (form || number)) {
        // Bound to the application's buffer for now; the next fetch decides.
        ColumnConversion& c = st.columns[icol];
        c.appCType = fCType;
        c.appValue = rgbValue;
        c.appMax = cbValueMax;
        c.appInd = pcbValue;
        c.converting = false;
        st.resultChanged = true;
    } else {
        st.columns.erase(icol);
    }
    return rc;
}

SQLRETURN fetchRow(Handle& stmt) {
    StmtState& st = *stmt.stmt;
    if (st.resultChanged) {
        st.columnForms.clear();
        st.zoneChecked = false;
        SQLRETURN rc = decideColumns(stmt);
        if (rc != SQL_SUCCESS) return rc;
        st.resultChanged = false;
    }
    st.numbersRead.clear();
    st.wide.column = 0;
    if (st.maxRows != 0 && st.fetched >= st.maxRows) return SQL_NO_DATA_FOUND;
    SQLRETURN rc = st.cursor.reading ? fetchByCursor(stmt) : fns(stmt).SQLFetch(stmt.dm.load());
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return rc;
    ++st.fetched;
    if (!st.wideColumns.empty()) rc = deliverWideColumns(stmt, rc);
    if (!st.anyConverting) return rc;
    for (auto& [icol, c] : st.columns) {
        if (!c.converting) continue;
        SQLRETURN crc = c.appCType == SQL_C_BINARY
                            ? deliver(stmt, c.text, c.ind, sizeof c.text, c.appValue, c.appInd)
                            : deliverNumber(stmt, c.text, c.ind, sizeof c.text, c.appCType, c.appValue, c.appInd);
        rc = worse(rc, crc);
    }
    return rc;
}

SQLRETURN getData(Handle& stmt, SQLUSMALLINT icol, SQLSMALLINT fCType, SQLPOINTER rgbValue, SQLLEN cbValueMax,
                  SQLLEN* pcbValue) {
    const DriverManager& d = fns(stmt);
    SQLHSTMT h = stmt.dm.load();
    StmtState& st = *stmt.stmt;
    if (fCType == SQL_C_WCHAR && st.source->wideTextAsUtf8)
        return getWideData(stmt, icol, rgbValue, cbValueMax, pcbValue);
    // A column already read as text in this row is converted from that text
    // again: the driver has handed it over.
    auto read = st.numbersRead.find(icol);
    if (rgbValue && number::isConverted(fCType) &&
        (read != st.numbersRead.end() || !driverConvertsExactly(*st.source, columnInfo(stmt, icol).type, fCType))) {
        SQLRETURN rc = SQL_SUCCESS;
        if (read == st.numbersRead.end()) {
            char text[number::kTextBytes] = {};
            SQLLEN ind = 0;
            rc = d.SQLGetData(h, icol, SQL_C_CHAR, text, sizeof text, &ind);
            if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return rc;
            // A warning here is the text cell cut, which the conversion judges.
            if (ind != SQL_NULL_DATA) rc = SQL_SUCCESS;
            read = st.numbersRead.emplace(icol, StmtState::NumberText{ind, text}).first;
        }
        const StmtState::NumberText& n = read->second;
        return worse(rc, deliverNumber(stmt, n.text.c_str(), n.ind, number::kTextBytes, fCType, rgbValue, pcbValue));
    }
    ColumnForm form =
        rgbValue && fCType == SQL_C_BINARY && cbValueMax == kFormBytes ? columnForm(stmt, icol) : ColumnForm::None;
    if (form == ColumnForm::None) return d.SQLGetData(h, icol, fCType, rgbValue, cbValueMax, pcbValue);
    SQLRETURN rc = checkZone(stmt, form);
    if (rc != SQL_SUCCESS) return rc;
    char text[64] = {};
    SQLLEN ind = 0;
    rc = d.SQLGetData(h, icol, SQL_C_CHAR, text, sizeof text, &ind);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return rc;
    SQLRETURN crc = deliver(stmt, text, ind, sizeof text, rgbValue, pcbValue);
    return crc != SQL_SUCCESS ? crc : rc;
}

SQLRETURN bindParameter(Handle& stmt, SQLUSMALLINT ipar, SQLSMALLINT fParamType, SQLSMALLINT fCType,
                        SQLSMALLINT fSqlType, SQLULEN cbColDef, SQLSMALLINT ibScale, SQLPOINTER rgbValue,
                        SQLLEN cbValueMax, SQLLEN* pcbValue) {
    StmtState& st = *stmt.stmt;
    bool convert = fParamType == SQL_PARAM_INPUT && fCType == SQL_C_BINARY && cbValueMax == kFormBytes &&
                   isTimestampType(fSqlType) && rgbValue;
    if (!convert && st.source->zonedTimestampText && fParamType == SQL_PARAM_INPUT &&
        (fCType == SQL_C_CHAR || fCType == SQL_C_WCHAR) && isTimestampType(fSqlType)) {
        // Timestamp text goes to PostgreSQL as character data, which the
        // server reads as the parameter's own type: psqlODBC would parse text
        // typed as a timestamp itself and drop its offset (so a timestamptz
        // got the wall time as an instant in the session's zone).
        fSqlType = SQL_VARCHAR;
        cbColDef = std::max<SQLULEN>(cbColDef, kParamTextBytes);
        ibScale = 0;
    }
    if (!convert) {
        SQLRETURN rc = bindDriverParameter(stmt, ipar, fParamType, fCType, fSqlType, cbColDef, ibScale, rgbValue,
                                           cbValueMax, pcbValue);
        if (SQL_SUCCEEDED(rc)) st.params.erase(ipar);
        return rc;
    }
    ParamConversion p;
    p.appValue = rgbValue;
    p.appInd = pcbValue;
    p.sqlType = fSqlType;
    p.columnSize = cbColDef;
    p.scale = ibScale;
    SQLRETURN rc = bindText(stmt, ipar, p, 1);
    if (SQL_SUCCEEDED(rc)) st.params[ipar] = std::move(p);  // the vectors keep their storage
    return rc;
}

SQLRETURN prepareParamConversions(Handle& stmt) {
    StmtState& st = *stmt.stmt;
    if (st.params.empty()) return SQL_SUCCESS;
    const SQLULEN rows = st.paramRows ? st.paramRows : 1;
    const bool zone = st.source->zonedTimestampText;
    for (auto& [ipar, p] : st.params) {
        auto indOf = [&](SQLULEN r) { return p.appInd ? p.appInd[r] : kFormBytes; };
        bool atExec = false, values = false;
        for (SQLULEN r = 0; r < rows; ++r) {
            SQLLEN ind = indOf(r);
            if (ind == SQL_DATA_AT_EXEC || ind <= SQL_LEN_DATA_AT_EXEC_OFFSET)
                atExec = true;
            else if (ind >= 0)
                values = true;
        }
        if (atExec && values)
            return fail(stmt, "S1C00", "a parameter array cannot mix data at execution with 8-byte timestamp values");
        if (atExec) {
            // Data at execution: SQLParamData hands the application its own
            // pointer back, and SQLPutData converts the 8 bytes it is given.
            // The driver is told no length: the text's comes with SQLPutData
            // (a driver may take a length hint for the whole value).
            if (p.boundText || p.ind.size() < rows) {
                p.ind.assign(rows, SQL_DATA_AT_EXEC);
                SQLRETURN rc = bindDriverParameter(stmt, ipar, SQL_PARAM_INPUT, SQL_C_CHAR, textSqlType(stmt, p),
                                                   textColumnSize(stmt, p), textScale(stmt, p), p.appValue,
                                                   kParamTextBytes, p.ind.data());
                if (!SQL_SUCCEEDED(rc)) return rc;
                p.boundText = false;
            }
            for (SQLULEN r = 0; r < rows; ++r) {
                SQLLEN ind = indOf(r);
                p.ind[r] = ind == SQL_DATA_AT_EXEC || ind <= SQL_LEN_DATA_AT_EXEC_OFFSET ? SQL_DATA_AT_EXEC : ind;
            }
            continue;
        }
        if (!p.boundText || p.boundRows < rows) {
            SQLRETURN rc = bindText(stmt, ipar, p, rows);
            if (!SQL_SUCCEEDED(rc)) return rc;
        }
        for (SQLULEN r = 0; r < rows; ++r) {
            SQLLEN ind = indOf(r);
            if (ind < 0) {
                p.ind[r] = ind;  // SQL_NULL_DATA and the other markers pass as they are
                continue;
            }
            int64_t micros;
            std::memcpy(&micros, static_cast<const char*>(p.appValue) + r * kFormBytes, sizeof micros);
            char text[tsform::kTextBytes];
            size_t n = tsform::format(micros, zone, text);
            std::memcpy(&p.text[r * kParamTextBytes], text, n + 1);
            p.ind[r] = static_cast<SQLLEN>(n);
        }
    }
    return SQL_SUCCESS;
}

SQLRETURN paramData(Handle& stmt, SQLPOINTER* prgbValue) {
    StmtState& st = *stmt.stmt;
    SQLPOINTER token = nullptr;
    SQLRETURN rc = fns(stmt).SQLParamData(stmt.dm.load(), &token);
    if (prgbValue) *prgbValue = token;
    st.putConverting = false;
    if (rc == SQL_NEED_DATA)
        for (const auto& [ipar, p] : st.params)
            if (!p.boundText && p.appValue == token) st.putConverting = true;
    return rc;
}

SQLRETURN putData(Handle& stmt, SQLPOINTER rgbValue, SQLLEN cbValue) {
    const DriverManager& d = fns(stmt);
    SQLHSTMT h = stmt.dm.load();
    if (!stmt.stmt->putConverting || cbValue == SQL_NULL_DATA) return d.SQLPutData(h, rgbValue, cbValue);
    if (cbValue != kFormBytes || !rgbValue)
        return fail(stmt, "S1090", "an 8-byte timestamp parameter takes its 8 bytes in one piece");
    int64_t micros;
    std::memcpy(&micros, rgbValue, sizeof micros);
    char text[tsform::kTextBytes];
    tsform::format(micros, stmt.stmt->source->zonedTimestampText, text);
    // SQL_NTS: the SQLite driver reads text sent with a length up to a
    // terminator it does not store.
    return d.SQLPutData(h, text, SQL_NTS);
}

}  // namespace ruva
