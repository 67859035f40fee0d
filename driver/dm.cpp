#include "dm.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>

namespace ruva {
namespace {

DriverManager gTable;
const DriverManager* gLoaded = nullptr;
std::once_flag gOnce;
std::atomic<const DriverManager*> gReady{nullptr};

void load() {
    // RTLD_LOCAL: the driver manager's names do not join the global scope on
    // our account. The handle is kept for the life of the process.
    void* lib = dlopen("libodbc.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return;
    bool complete = true;
#define RUVA_DM_LOAD(name)                                                \
    gTable.name = reinterpret_cast<decltype(&::name)>(dlsym(lib, #name)); \
    if (!gTable.name) complete = false;
    RUVA_DM_FUNCTIONS(RUVA_DM_LOAD)
#undef RUVA_DM_LOAD
    // Looked up in the driver manager's own dependencies only.
    gTable.lt_dlsym = reinterpret_cast<void* (*)(void*, const char*)>(dlsym(lib, "lt_dlsym"));
    if (complete) gLoaded = &gTable;
}

}  // namespace

void* driverFunction(SQLHDBC dmDbc, const char* name) {
    const DriverManager* d = dm();
    if (!d || !d->lt_dlsym) return nullptr;
    SQLPOINTER module = nullptr;  // a handle-wide cell
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(d->SQLGetInfo(dmDbc, SQL_DRIVER_HLIB, &module, sizeof module, &len)) || !module)
        return nullptr;
    return d->lt_dlsym(module, name);
}

const DriverManager* dm() {
    // Every call into the driver manager passes here, once per fetched row
    // among others: once the table is loaded it is taken with one acquire
    // load, not through the once-flag (a thread-local and a lock per call).
    if (const DriverManager* d = gReady.load(std::memory_order_acquire)) return d;
    std::call_once(gOnce, load);
    if (gLoaded) gReady.store(gLoaded, std::memory_order_release);
    return gLoaded;
}

}  // namespace ruva
