// Any other data source: its driver's answers pass as they are, and the
// table of the data sources libruva70 knows by their DBMS names.
#include "source.h"

#include "qvjdbc/ruva70.h"

#include <cctype>

namespace ruva {
namespace {

const DataSource kGeneric = {
    .name = "generic",
    .functions = nullptr,
    .numbers = NumberReads::Driver,
    .driverConvertsExactly = nullptr,
    .zonedTimestampText = false,
    .timeAsText = false,
    .wideTextAsUtf8 = false,
    .timestampType = nullptr,
    .describeWithTypeName = false,
    .describeWithUnsigned = false,
    .widerIntegers = false,
    .precisionIsColumnSize = false,
    .columnShape = nullptr,
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
    .driverReprepares = false,
    .silentReprepares = true,
    .cancel = CancelRoute::DriverDirect,
    .oneCallAtATime = true,
    .fixRecord = nullptr,
    .nativeSqlWarningLost = false,
    .afterConnect = nullptr,
    .setSchema = nullptr,
    .currentSchema = nullptr,
    .dataStoreState = nullptr,
    .correctInfo = nullptr,
    .generatedKeys = RUVA70_KEYS_NONE,
    .xa = nullptr,
    .columnsQuery = nullptr,
    .cursorStatements = nullptr,
    .arrayText = RUVA70_ARRAYS_NONE,
    .isArrayType = nullptr,
    .ownTypeName = nullptr,
};

bool startsWithNoCase(const char* s, const char* prefix) {
    for (; *prefix; ++s, ++prefix)
        if (std::tolower(static_cast<unsigned char>(*s)) != std::tolower(static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}

// The data sources known by the DBMS name their driver answers.
struct Known {
    const char* dbmsPrefix;
    const DataSource& (*source)();
};
constexpr Known kKnown[] = {
    {"PostgreSQL", postgresSource},
    {"SQLite", sqliteDriverSource},
    // MariaDB Connector/ODBC names MariaDB servers "MariaDB" (and MySQL ones "MySQL").
    {"MariaDB", mariadbSource},
};

}  // namespace

const DataSource& genericSource() {
    return kGeneric;
}

const std::vector<const DataSource*>& knownSources() {
    static const std::vector<const DataSource*> all = [] {
        std::vector<const DataSource*> v{&kGeneric};
        for (const Known& k : kKnown) v.push_back(&k.source());
        return v;
    }();
    return all;
}

const DataSource& sourceForDbms(const char* dbmsName) {
    for (const Known& k : kKnown)
        if (startsWithNoCase(dbmsName, k.dbmsPrefix)) return k.source();
    return kGeneric;
}

}  // namespace ruva
