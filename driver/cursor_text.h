// The texts a cursor may read in chunks (RUVA70_STMT_FETCH_ROWS).
#pragma once

#include <cstddef>
#include <string>

namespace ruva {

// Whether `sql` is one query that a cursor may read: a single SELECT,
// VALUES, TABLE or WITH ... SELECT, with no INSERT, UPDATE, DELETE, MERGE or
// INTO and no FOR SHARE (their changes and locks are all made by the
// execution, as without a fetch size). `query` receives the text without a
// closing ';' and the blanks around it.
bool cursorQuery(const char* sql, size_t len, std::string& query);

}  // namespace ruva
