// SQLite through libruva70's own engine: the engine answers as a driver
// whose values need no correcting, so the record leaves nearly everything to
// it.
#include "../source.h"

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

const DataSource kEngine = {
    .name = "SQLite",
    .functions = engineFunctions,
    .numbers = NumberReads::Driver,
    .driverConvertsExactly = nullptr,
    .zonedTimestampText = false,
    .timeAsText = true,
    .timestampType = timestampType,
    .describeWithTypeName = false,
    .columnShape = nullptr,
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
    .cursorStatements = nullptr,
};

}  // namespace

const DataSource& sqliteEngineSource() {
    return kEngine;
}

}  // namespace ruva
