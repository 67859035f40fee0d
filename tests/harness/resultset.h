// Reads a statement's result set the way the driver's Java side does:
// numResultCols, allocAndBindAllCols, fetch into JdbcOdbcBoundCol objects,
// the cached values and the bound getters, getString for text. Values come
// back as text (UTF-8; NULL as std::nullopt).
#pragma once

#include <jni.h>

#include <optional>
#include <string>
#include <vector>

namespace qvt {

using Rows = std::vector<std::vector<std::optional<std::string>>>;

// All rows of the open result set of hStmt (at most maxRows), read through
// the entry points; fails the test on an error. The bound-column array is
// freed and the cursor closed afterwards.
Rows readThroughEntryPoints(jint hStmt, size_t maxRows = 100000);

}  // namespace qvt
