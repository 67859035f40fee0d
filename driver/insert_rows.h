// Multi-row inserts: a parameter array of a plain INSERT ... VALUES (?, ...)
// sent as INSERT ... VALUES (?, ...), (?, ...), ... with many rows per
// execution, so that round trips and the data source's per-statement work
// are paid once per chunk of rows instead of once per row.
#pragma once

#include <cstddef>
#include <string>

namespace ruva {

// What a qualifying statement text is made of: the text up to and including
// VALUES, and the number of parameter markers of its one row.
struct InsertShape {
    std::string head;
    int markers = 0;
};

// Whether `sql` (len bytes) is a plain INSERT INTO name [(columns)] VALUES
// (?, ..., ?) with nothing else: no literal, expression, comment, DEFAULT,
// RETURNING, ON CONFLICT, OR clause or second statement (one trailing
// semicolon is allowed). Fills `out` when it is.
bool parsePlainInsert(const char* sql, size_t len, InsertShape& out);

// The text of `rows` rows of markers after the shape's head.
std::string multiRowText(const InsertShape& shape, size_t rows);

}  // namespace ruva
