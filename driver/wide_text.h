// Character data asked for as UTF-16 (SQL_C_WCHAR) on a data source whose
// record reads it as UTF-8 (DataSource::wideTextAsUtf8): the driver hands over
// the value's UTF-8 bytes (SQL_C_CHAR) and libruva70 makes the UTF-16, for
// bound columns at each fetch and for SQLGetData piece by piece. Every
// character arrives, U+0000 included; bytes that are not UTF-8 are an error,
// never text changed with success.
#pragma once

#include "handles.h"

#include <string>
#include <vector>

namespace ruva {
namespace widetext {

// Decodes the complete UTF-8 sequences at the start of [p, p + n) into
// UTF-16, appended to `out`. Returns the bytes decoded; a sequence cut by the
// end of the bytes is left undecoded (at most 3 bytes). `bad` is set at
// bytes that no UTF-8 text holds (stray or missing continuation bytes,
// overlong forms, surrogates, beyond U+10FFFF); decoding stops there.
size_t decode(const unsigned char* p, size_t n, std::u16string& out, bool& bad);

}  // namespace widetext

// A column bound as SQL_C_WCHAR: the driver manager is bound to `bytes` and
// `ind` (kept where they are allocated while bound).
struct WideColumn {
    SQLPOINTER appValue = nullptr;
    SQLLEN appMax = 0;
    SQLLEN* appInd = nullptr;
    std::vector<unsigned char> bytes;
    SQLLEN ind = 0;
};

// The SQL_C_WCHAR read of one column under way with SQLGetData.
struct WideRead {
    SQLUSMALLINT column = 0;  // 0: none
    bool started = false;     // the driver was asked for this value
    bool driverDone = false;  // the driver handed over its last byte (or NULL)
    std::string carry;        // the start of a sequence the last piece cut
    std::u16string pending;   // decoded, not yet handed over
    size_t pendingAt = 0;
    std::vector<unsigned char> piece;  // the driver's bytes (reused)
};

// SQLBindCol with SQL_C_WCHAR and a buffer.
SQLRETURN bindWideColumn(Handle& stmt, SQLUSMALLINT icol, SQLPOINTER rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue);
// After a successful fetch: the bound columns' UTF-16; `rc` made worse by
// what happened.
SQLRETURN deliverWideColumns(Handle& stmt, SQLRETURN rc);
// SQLGetData with SQL_C_WCHAR.
SQLRETURN getWideData(Handle& stmt, SQLUSMALLINT icol, SQLPOINTER rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue);

}  // namespace ruva
