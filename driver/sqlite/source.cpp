// SQLite through libruva70's own engine: the engine answers as a driver
// whose values need no correcting, so the record leaves nearly everything to
// it.
#include "../source.h"

#include "../describe.h"
#include "engine.h"

#include "qvjdbc/ruva70.h"

namespace ruva {

namespace sqlite {

// A library built without the engine's files: a table without functions,
// which a connect reports as a driver that cannot be loaded.
__attribute__((weak)) const DriverManager& functions() {
    static const DriverManager none{};
    return none;
}

}  // namespace sqlite

namespace {

const DriverManager* engineFunctions() {
    return &sqlite::functions();
}

SQLSMALLINT timestampType(const std::string& name) {
    if (name == "timestamp") return RUVA70_TYPE_TIMESTAMP;
    if (name == "datetime") return RUVA70_TYPE_DATETIME;
    return 0;
}

// Integer columns are described as declared (RUVA70_TYPE_WIDE_INTEGER
// tells the native library that any of them may hold a 64-bit value). A
// column declared BOOLEAN, BOOL or BIT, which the engine describes as
// SQL_BIT, is shown as an integer of one digit: SQL_BIT is a type the
// native library does not bind, and SQLite keeps booleans as integers
// (which may hold any other integer too).
bool columnShape(const std::string&, const ColumnShape& engine, ColumnShape& c) {
    switch (engine.type) {
        case SQL_BIT:
            showAs(c, SQL_TINYINT, 1);
            return true;
        case SQL_LONGVARCHAR:
        case SQL_LONGVARBINARY:
            // TEXT and BLOB without a length hold up to SQLite's longest
            // value: shown as of unknown size, so the natives bind a
            // buffer for common values and read longer ones in pieces
            // (streams stay streams) rather than taking every value whole.
            if (engine.size < 1000000000) return false;
            showAs(c, engine.type, 0);
            return true;
        default:
            return false;
    }
}

const DataSource kEngine = {
    .name = "SQLite",
    .functions = engineFunctions,
    .numbers = NumberReads::Driver,
    .driverConvertsExactly = nullptr,
    .zonedTimestampText = false,
    .timeAsText = true,
    .wideTextAsUtf8 = false,
    .timestampType = timestampType,
    .describeWithTypeName = false,
    .describeWithUnsigned = false,
    .widerIntegers = true,
    .precisionIsColumnSize = false,
    .columnShape = columnShape,
    .decimalStandIn = false,
    .describesUntypedParams = false,
    .insertMarkers = 0,
    .insertSavepoint = false,
    .arrayCountIsLastRow = false,
    .arrays = ArrayRuns::Driver,
    .refuseZeroUnits = false,
    .checkSchemaVersion = false,
    .planChanged = nullptr,
    .ownMaxRows = false,
    .driverReprepares = true,
    .silentReprepares = false,
    .cancel = CancelRoute::AnyThread,
    .oneCallAtATime = false,
    .fixRecord = nullptr,
    .nativeSqlWarningLost = false,
    .afterConnect = nullptr,
    .setSchema = nullptr,
    .currentSchema = nullptr,
    .dataStoreState = nullptr,
    .correctInfo = nullptr,
    .generatedKeys = RUVA70_KEYS_LAST_ROWID,
    .xa = nullptr,
    .columnsQuery = nullptr,
    .cursorStatements = nullptr,
    .arrayText = RUVA70_ARRAYS_NONE,
    .isArrayType = nullptr,
    .ownTypeName = nullptr,
};

}  // namespace

const DataSource& sqliteEngineSource() {
    return kEngine;
}

}  // namespace ruva
