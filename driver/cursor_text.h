// PostgreSQL statement texts as libruva70 reads them: the texts a cursor may
// read in chunks (RUVA70_STMT_FETCH_ROWS), and what a scan of a text skips.
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

// The end of the literal ('' inside, E'' with backslash escapes), quoted
// name, comment (-- to the end of the line, nested /* */) or dollar-quoted
// text that starts at `i` of `sql` (`n` bytes), or `i` when none starts there.
size_t skipQuoted(const char* sql, size_t n, size_t i);

}  // namespace ruva
