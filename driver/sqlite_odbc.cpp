// SQLite through the SQLite ODBC driver (a connection string that names it):
// what libruva70 adds to the driver and corrects in its answers.
#include "describe.h"
#include "source.h"

#include "qvjdbc/ruva70.h"

#include <cstring>
#include <string>

namespace ruva {
namespace {

SQLSMALLINT timestampType(const std::string& name) {
    if (name == "timestamp") return RUVA70_TYPE_TIMESTAMP;
    if (name == "datetime") return RUVA70_TYPE_DATETIME;
    return 0;
}

// SQLite integers are 64-bit whatever the column's declared type; the
// driver describes them as 32-bit or smaller and cuts the value to fit.
bool columnShape(const std::string&, const ColumnShape& driver, ColumnShape& c) {
    switch (driver.type) {
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
            showAs(c, SQL_BIGINT, 19);
            c.displaySize = 20;
            c.octetLength = 8;
            return true;
        default:
            return false;
    }
}

// The driver reports a statement ended by a cancel as S1000 "interrupted";
// that record is reported as S1008 (operation cancelled), as ODBC names it,
// so a cancel reads as a cancel on every data source.
void fixRecord(Diag& record) {
    if (std::strcmp(record.state, "S1000") == 0 && record.message.find("interrupted") != std::string::npos)
        std::memcpy(record.state, "S1008", 6);
}

// SQLite's own limit of parameters in one statement.
constexpr SQLULEN kInsertMarkers = 32766;

const DataSource kSqliteDriver = {
    .name = "SQLite (ODBC driver)",
    .functions = nullptr,
    // Every column may hold values of any kind whatever it declares, so no
    // numeric read is left to the driver.
    .numbers = NumberReads::Converted,
    .driverConvertsExactly = nullptr,
    .zonedTimestampText = false,
    .timeAsText = true,
    .wideTextAsUtf8 = false,
    .timestampType = timestampType,
    .describeWithTypeName = false,
    .describeWithUnsigned = false,
    .widerIntegers = false,
    .precisionIsColumnSize = false,
    .columnShape = columnShape,
    .decimalStandIn = false,
    .describesUntypedParams = false,
    .insertMarkers = kInsertMarkers,
    .insertSavepoint = false,
    .arrayCountIsLastRow = false,
    .arrays = ArrayRuns::SqliteDriver,
    .refuseZeroUnits = true,
    .checkSchemaVersion = true,
    .planChanged = nullptr,
    .ownMaxRows = true,
    .driverReprepares = false,
    .silentReprepares = false,
    .cancel = CancelRoute::InterruptStatement,
    .oneCallAtATime = false,
    .fixRecord = fixRecord,
    .nativeSqlWarningLost = true,
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

const DataSource& sqliteDriverSource() {
    return kSqliteDriver;
}

}  // namespace ruva
