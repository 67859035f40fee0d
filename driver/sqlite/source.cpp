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

// The engine describes integer columns by their declared type (INTEGER as
// SQL_INTEGER, BOOLEAN as SQL_BIT), but any of them may hold a 64-bit value,
// and the native library binds SQL_INTEGER columns as 32-bit integers: a
// value beyond them could not be read at all. Until the natives read such
// columns 64-bit, they are shown as SQL_BIGINT, so every value arrives
// whole.
bool columnShape(const std::string&, const ColumnShape& engine, ColumnShape& c) {
    switch (engine.type) {
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
            showAs(c, SQL_BIGINT, 19);
            c.displaySize = 20;
            c.octetLength = 8;
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
    .retryChangedPlan = false,
    .ownMaxRows = false,
    .cancel = CancelRoute::AnyThread,
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
