#include "dm.h"

#include <dlfcn.h>

#include <mutex>

namespace ruva {
namespace {

DriverManager gTable;
const DriverManager* gLoaded = nullptr;
std::once_flag gOnce;

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
    if (complete) gLoaded = &gTable;
}

}  // namespace

const DriverManager* dm() {
    std::call_once(gOnce, load);
    return gLoaded;
}

}  // namespace ruva
