// The table of the driver's entry points that every entry point calls through.
#include "qvjdbc/driver.h"

namespace qv {

const DriverTable kDriverExports = {
#define QV_TABLE_INIT(ord, name) &::ruva70_##name,
    QV_ALL_ENTRIES(QV_TABLE_INIT)
#undef QV_TABLE_INIT
};

DriverTable drv = kDriverExports;

}  // namespace qv
