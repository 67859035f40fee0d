#include "wide_text.h"

#include "source.h"
#include "statement.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace ruva {

namespace {

// UTF-16 units a buffer of `bytes` holds before its terminator.
size_t unitsIn(SQLLEN bytes) {
    return bytes >= 2 ? static_cast<size_t>(bytes - 2) / 2 : 0;
}

SQLRETURN notUtf8(Handle& stmt, SQLUSMALLINT icol) {
    return fail(
        stmt, "22018",
        "column " + std::to_string(icol) + " holds bytes that are not UTF-8; the text cannot be read as UTF-16");
}

SQLRETURN worse(SQLRETURN a, SQLRETURN b) {
    if (a == SQL_ERROR || b == SQL_ERROR) return SQL_ERROR;
    if (a == SQL_SUCCESS_WITH_INFO || b == SQL_SUCCESS_WITH_INFO) return SQL_SUCCESS_WITH_INFO;
    return a;
}

void resetRead(WideRead& w, SQLUSMALLINT icol) {
    w.column = icol;
    w.started = w.driverDone = false;
    w.carry.clear();
    w.pending.clear();
    w.pendingAt = 0;
}

}  // namespace

SQLRETURN bindWideColumn(Handle& stmt, SQLUSMALLINT icol, SQLPOINTER rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) {
    StmtState& st = *stmt.stmt;
    // A UTF-16 unit comes from at most 3 bytes (4 bytes make 2 units): the
    // bytes of every value that fits the application's buffer fit.
    auto c = std::make_unique<WideColumn>();
    c->appValue = rgbValue;
    c->appMax = cbValueMax;
    c->appInd = pcbValue;
    c->bytes.assign(std::max<size_t>(unitsIn(cbValueMax) * 3, 4) + 1, 0);
    SQLRETURN rc = fns(stmt).SQLBindCol(stmt.dm.load(), icol, SQL_C_CHAR, c->bytes.data(),
                                        static_cast<SQLLEN>(c->bytes.size()), &c->ind);
    // Until it succeeds the driver keeps the earlier buffer, which stays.
    if (SQL_SUCCEEDED(rc)) st.wideColumns[icol] = std::move(c);
    return rc;
}

SQLRETURN deliverWideColumns(Handle& stmt, SQLRETURN rc) {
    StmtState& st = *stmt.stmt;
    std::u16string units;
    for (auto& [icol, column] : st.wideColumns) {
        WideColumn& c = *column;
        if (c.ind == SQL_NULL_DATA) {
            if (!c.appInd) {
                rc = worse(rc, fail(stmt, "22002", "a null value needs an indicator variable"));
                continue;
            }
            *c.appInd = SQL_NULL_DATA;
            continue;
        }
        const size_t room = c.bytes.size() - 1;
        const bool cut = c.ind == SQL_NO_TOTAL || c.ind < 0 || static_cast<size_t>(c.ind) > room;
        const size_t got = cut ? room : static_cast<size_t>(c.ind);
        units.clear();
        bool bad = false;
        const size_t used = widetext::decode(c.bytes.data(), got, units, bad);
        if (bad || (!cut && used != got)) {
            rc = worse(rc, notUtf8(stmt, icol));
            continue;
        }
        const size_t fits = unitsIn(c.appMax);
        const size_t n = std::min(fits, units.size());
        if (c.appMax >= 2) {
            auto* out = static_cast<char16_t*>(c.appValue);
            std::memcpy(out, units.data(), n * 2);
            out[n] = 0;
        }
        // A value cut by the driver has a UTF-16 length nobody counted.
        if (c.appInd) *c.appInd = cut ? SQL_NO_TOTAL : static_cast<SQLLEN>(units.size() * 2);
        if (!cut && n < units.size()) {
            addDiag(stmt, "01004", "data truncated");
            rc = worse(rc, SQL_SUCCESS_WITH_INFO);
        }
        // A cut by the driver: its own 01004 is the fetch's warning already.
    }
    return rc;
}

SQLRETURN getWideData(Handle& stmt, SQLUSMALLINT icol, SQLPOINTER rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) {
    StmtState& st = *stmt.stmt;
    WideRead& w = st.wide;
    if (w.column != icol) resetRead(w, icol);
    const size_t room = rgbValue ? unitsIn(cbValueMax) : 0;
    auto* out = static_cast<char16_t*>(rgbValue);
    size_t n = 0;
    if (w.started && w.driverDone && w.pendingAt == w.pending.size()) return SQL_NO_DATA_FOUND;
    // Units decoded by an earlier call first.
    const size_t early = std::min(room, w.pending.size() - w.pendingAt);
    if (early) std::memcpy(out, w.pending.data() + w.pendingAt, early * 2);
    n += early;
    w.pendingAt += early;
    if (w.pendingAt == w.pending.size()) {
        w.pending.clear();
        w.pendingAt = 0;
    }
    const DriverManager& d = fns(stmt);
    SQLHSTMT h = stmt.dm.load();
    std::u16string units;
    // Each byte makes at most one unit: asking for the room left fills the
    // buffer without decoding more than a sequence beyond it.
    while (!w.driverDone && (n < room || !w.started)) {
        const size_t want = std::max<size_t>(room - n, 4);
        const size_t carried = w.carry.size();
        w.piece.resize(carried + want + 1);
        std::memcpy(w.piece.data(), w.carry.data(), carried);
        SQLLEN ind = 0;
        SQLRETURN rc =
            d.SQLGetData(h, icol, SQL_C_CHAR, w.piece.data() + carried, static_cast<SQLLEN>(want + 1), &ind);
        if (rc == SQL_NO_DATA_FOUND) {
            if (!w.started) return rc;
            w.driverDone = true;
            break;
        }
        if (!SQL_SUCCEEDED(rc)) {
            resetRead(w, 0);
            return rc;
        }
        w.started = true;
        if (ind == SQL_NULL_DATA) {
            w.driverDone = true;
            if (!pcbValue) return fail(stmt, "22002", "a null value needs an indicator variable");
            *pcbValue = SQL_NULL_DATA;
            return SQL_SUCCESS;
        }
        const bool cut = ind == SQL_NO_TOTAL || ind < 0 || static_cast<size_t>(ind) > want;
        const size_t got = carried + (cut ? want : static_cast<size_t>(ind));
        w.driverDone = !cut;
        units.clear();
        bool bad = false;
        const size_t used = widetext::decode(w.piece.data(), got, units, bad);
        if (bad || (w.driverDone && used != got)) {
            resetRead(w, 0);
            return notUtf8(stmt, icol);
        }
        w.carry.assign(reinterpret_cast<const char*>(w.piece.data()) + used, got - used);
        const size_t take = std::min(room - n, units.size());
        if (take) std::memcpy(out + n, units.data(), take * 2);
        n += take;
        w.pending.append(units, take, std::u16string::npos);
    }
    if (w.driverDone && !w.carry.empty()) {
        // The value ended inside a sequence.
        resetRead(w, 0);
        return notUtf8(stmt, icol);
    }
    if (rgbValue && cbValueMax >= 2) out[n] = 0;
    const size_t left = w.pending.size() - w.pendingAt;
    if (w.driverDone && left == 0) {
        if (pcbValue) *pcbValue = static_cast<SQLLEN>(n * 2);
        return SQL_SUCCESS;
    }
    // More to come: its length is known once the driver is done.
    if (pcbValue) *pcbValue = w.driverDone ? static_cast<SQLLEN>((n + left) * 2) : SQL_NO_TOTAL;
    addDiag(stmt, "01004", "data truncated");
    return SQL_SUCCESS_WITH_INFO;
}

}  // namespace ruva
