// The XA entry points' connection to a data source's two-phase commit.
//
// xa.cpp defines the eight entry points: it checks the connection handle,
// clears the connection's previous records and asks xaOperations() for the
// operations of the connection's data source. A data source without them
// gets SQL_ERROR, XA code XAER_RMERR (also written as the count of xa_pending
// and xa_recover, whose count slots carry a negative XA code on failure) and
// a diagnostic (S1C00) saying it has no two-phase commit. A connection that
// is not connected gets XAER_RMFAIL and a diagnostic (08003).
//
// A file for a data source with two-phase commit (xa_pg.cpp for PostgreSQL)
// defines postgresXaOperations(), overriding the weak default of xa.cpp that
// returns null. Each operation receives the connection's XaConnection and the
// entry point's remaining arguments unchanged, and returns the entry point's
// result (SQL_SUCCESS, SQL_ERROR, ...), writing the XA code (or the count).
// It may leave records on the connection with addDiag / fail (handles.h) and
// reach the data source through DM() with `dbc`.
#pragma once

#include "handles.h"

#include "qvjdbc/ruva70.h"

namespace ruva {

struct XaConnection {
    Handle& handle;  // libruva70's connection (records, parent, source)
    SQLHDBC dbc;     // the driver manager's connection
    uint32_t value;  // the connection's handle value (unique while it lives)
};

struct XaOperations {
    SQLINTEGER (*start)(XaConnection& c, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode);
    SQLINTEGER (*end)(XaConnection& c, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode);
    SQLINTEGER (*prepare)(XaConnection& c, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode);
    SQLINTEGER(*commit)
    (XaConnection& c, RUVA70_XID* xid, SQLINTEGER option1, SQLINTEGER option2, SQLINTEGER* xaCode);
    SQLINTEGER(*rollback)
    (XaConnection& c, RUVA70_XID* xid, SQLINTEGER option1, SQLINTEGER option2, SQLINTEGER* xaCode);
    SQLINTEGER (*pending)(XaConnection& c, SQLINTEGER* count);
    SQLINTEGER (*recover)(XaConnection& c, RUVA70_XID* xids, SQLINTEGER count, SQLINTEGER flags, SQLINTEGER* found);
    SQLINTEGER (*forget)(XaConnection& c, RUVA70_XID* xid, SQLINTEGER flags, SQLINTEGER* xaCode);
    // The connection with this handle value disconnected or was freed: the
    // server rolled back what its session held, so its branch association
    // and recovery scan go too.
    void (*closed)(uint32_t value);
};

// PostgreSQL's operations, or null while none are built in (weak default).
const XaOperations* postgresXaOperations();
// MariaDB's (xa_mariadb.cpp).
const XaOperations* mariadbXaOperations();

// Drops the XA state of a connection that disconnected or was freed (called
// by SQLDisconnect and SQLFreeConnect once the driver manager succeeded), so
// that its XID is free for other connections at once.
void xaConnectionClosed(uint32_t value);

}  // namespace ruva
