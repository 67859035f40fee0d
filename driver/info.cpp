// SQLGetInfo: the driver's own information type 3001, the information types
// that return handles, and everything else forwarded.
#include "connection.h"
#include "handles.h"
#include "source.h"

#include "qvjdbc/driver.h"

#include <cstring>
#include <string>

using namespace ruva;

namespace {

// Writes a 32-bit or a handle-width value as the caller's buffer allows: the
// whole SQLHANDLE width when the buffer says it holds one, else 32 bits (our
// handle values fit in 31 bits).
void writeHandleInfo(SQLPOINTER out, SQLSMALLINT max, SQLSMALLINT* len, uint32_t value) {
    if (out) {
        if (max >= static_cast<SQLSMALLINT>(sizeof(SQLHANDLE))) {
            SQLHANDLE h = handleOf(value);
            std::memcpy(out, &h, sizeof h);
        } else {
            std::memcpy(out, &value, sizeof value);
        }
    }
    if (len) *len = max >= static_cast<SQLSMALLINT>(sizeof(SQLHANDLE)) ? sizeof(SQLHANDLE) : sizeof(uint32_t);
}

uint32_t readHandleInfo(SQLPOINTER in, SQLSMALLINT max) {
    if (!in) return 0;
    if (max >= static_cast<SQLSMALLINT>(sizeof(SQLHANDLE))) {
        SQLHANDLE h;
        std::memcpy(&h, in, sizeof h);
        return valueOf(h);
    }
    uint32_t v;
    std::memcpy(&v, in, sizeof v);
    return v;
}

// RUVA70_INFO_DATA_STORE_STATE, as the data source's record can tell it.
SQLRETURN dataStoreState(Handle& dbc, SQLINTEGER& state) {
    state = RUVA70_STORE_UNKNOWN;
    const DataSource* source = sourceOf(dbc);
    if (!source) return fail(dbc, "08003", "the connection is not open");
    return source->dataStoreState ? source->dataStoreState(dbc, state) : SQL_SUCCESS;
}

// The driver's answer, corrected where the data source contradicts it.
SQLRETURN correctedInfo(Handle& dbc, SQLUSMALLINT type, SQLPOINTER out, SQLSMALLINT max, SQLSMALLINT* len) {
    const DataSource* source = sourceOf(dbc);
    SQLRETURN rc = fns(dbc).SQLGetInfo(dbc.dm.load(), type, out, max, len);
    if (SQL_SUCCEEDED(rc) && out && source && source->correctInfo) source->correctInfo(type, out);
    return rc;
}

}  // namespace

extern "C" SQLRETURN ruva70_SQLGetInfo(SQLHDBC hdbc, SQLUSMALLINT fInfoType, SQLPOINTER rgbInfoValue,
                                       SQLSMALLINT cbInfoValueMax, SQLSMALLINT* pcbInfoValue) {
    Handle* dbc = enter(hdbc, Kind::Dbc);
    if (!dbc) return SQL_INVALID_HANDLE;
    ConnectionTurn turn(dbc);
    uint32_t self = valueOf(hdbc);
    switch (fInfoType) {
        case RUVA70_INFO_DATA_STORE_STATE: {
            SQLINTEGER state = 0;
            SQLRETURN rc = dataStoreState(*dbc, state);
            if (rc != SQL_SUCCESS) return rc;
            if (rgbInfoValue) std::memcpy(rgbInfoValue, &state, sizeof state);
            if (pcbInfoValue) *pcbInfoValue = sizeof state;
            return SQL_SUCCESS;
        }
        case RUVA70_INFO_GENERATED_KEYS: {
            const DataSource* source = sourceOf(*dbc);
            if (!source) return fail(*dbc, "08003", "the connection is not open");
            const SQLINTEGER how = source->generatedKeys;
            if (rgbInfoValue) std::memcpy(rgbInfoValue, &how, sizeof how);
            if (pcbInfoValue) *pcbInfoValue = sizeof how;
            return SQL_SUCCESS;
        }
        case RUVA70_INFO_ARRAY_TEXT: {
            const DataSource* source = sourceOf(*dbc);
            if (!source) return fail(*dbc, "08003", "the connection is not open");
            const SQLINTEGER form = source->arrayText;
            if (rgbInfoValue) std::memcpy(rgbInfoValue, &form, sizeof form);
            if (pcbInfoValue) *pcbInfoValue = sizeof form;
            return SQL_SUCCESS;
        }
        // The handles a caller of libruva70 knows are libruva70's own; the
        // driver manager's are never handed out.
        case SQL_DRIVER_HENV:
            writeHandleInfo(rgbInfoValue, cbInfoValueMax, pcbInfoValue, dbc->parent.load(std::memory_order_relaxed));
            return SQL_SUCCESS;
        case SQL_DRIVER_HDBC:
            writeHandleInfo(rgbInfoValue, cbInfoValueMax, pcbInfoValue, self);
            return SQL_SUCCESS;
        case SQL_DRIVER_HSTMT: {
            // In: the application's statement handle; out: the driver's,
            // which is the same value here.
            uint32_t st = readHandleInfo(rgbInfoValue, cbInfoValueMax);
            Handle* s = lookup(handleOf(st), Kind::Stmt);
            if (!s || s->parent.load(std::memory_order_relaxed) != self)
                return fail(*dbc, "S1009", "SQL_DRIVER_HSTMT needs a statement handle of this connection");
            writeHandleInfo(rgbInfoValue, cbInfoValueMax, pcbInfoValue, st);
            return SQL_SUCCESS;
        }
        case SQL_DRIVER_HLIB:
        case SQL_DRIVER_HDESC:
            writeHandleInfo(rgbInfoValue, cbInfoValueMax, pcbInfoValue, 0);
            return SQL_SUCCESS;
        case SQL_CONCAT_NULL_BEHAVIOR:
        case SQL_NUMERIC_FUNCTIONS:
        case SQL_DEFAULT_TXN_ISOLATION:
            return correctedInfo(*dbc, fInfoType, rgbInfoValue, cbInfoValueMax, pcbInfoValue);
        default:
            return fns(*dbc).SQLGetInfo(dbc->dm.load(), fInfoType, rgbInfoValue, cbInfoValueMax, pcbInfoValue);
    }
}
