// Queries read in chunks through a cursor of the data source, when the
// statement asks for a fetch size (RUVA70_STMT_FETCH_ROWS, ruva70.h): the
// rows arrive n at a time instead of whole at the execution, so a result
// larger than memory can be read. The data source's record gives the
// cursor's statements (source.h: CursorStatements); a data source without
// them reads as it reads.
#pragma once

#include "handles.h"

#include <cstddef>
#include <string>

namespace ruva {

// Whether this execution of `sql` on the statement reads through a cursor
// (its fetch size, its data source, a single row of parameters, manual-commit
// mode, a query); `query` as above.
bool readsByCursor(Handle& stmt, const char* sql, size_t len, std::string& query);

// Declares the cursor for `query` with the statement's parameters and reads
// its first chunk on the statement. On failure the statement holds the
// records and no cursor is left open.
SQLRETURN openCursor(Handle& stmt, const std::string& query);

// SQLFetch of a statement reading through a cursor: the next row, reading
// the next chunk when a full one has been fetched.
SQLRETURN fetchByCursor(Handle& stmt);

// Closes the statement's cursor, if any, on the data source (not after its
// transaction ended, which closed it), and prepares the statement's
// prepared text again when the cursor's statements replaced it on the
// driver's statement. The driver's records of these calls are discarded.
void closeCursor(Handle& stmt);

}  // namespace ruva
