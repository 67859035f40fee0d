// Not part of the library: win32/build.sh compiles this file alone to learn,
// from the driver entry table in driver.h, the decorated name and ordinal of
// every entry point of ruva70.dll, and writes the import library's .def from
// them. Each entry leaves two symbols in the object:
//   qv_ruva70_ordinal_<ordinal>_<name>   (defined)    the table's ordinal
//   _ruva70_<name>@<bytes>               (undefined)  the compiler's own
//                                                     stdcall decoration
// so the .def cannot drift from the table or from the prototypes.
#include "qvjdbc/driver.h"

#if !defined(_WIN32) || defined(_WIN64)
#error "the ordinal imports of ruva70.dll are built for 32-bit Windows"
#endif
#ifdef UNICODE
#error "UNICODE would rename the ODBC prototypes to their W forms"
#endif

// The widths the 32-bit build relies on: a handle, a pointer and SQLLEN are
// 4 bytes, so an ODBC handle travels in a Java int unchanged.
static_assert(sizeof(SQLHANDLE) == 4 && sizeof(SQLPOINTER) == 4, "32-bit handles and pointers");
static_assert(sizeof(SQLLEN) == 4 && sizeof(SQLULEN) == 4, "SQLLEN is 32 bits on 32-bit Windows");
static_assert(sizeof(SQLWCHAR) == 2, "character data travels as UTF-16");

namespace {

// On i686 every argument of an ODBC or XA entry point is 4 bytes (handles,
// pointers, SQLLEN, and the 16-bit values widened to a stack slot), and the
// entry points are stdcall.
template <typename R, typename... A>
constexpr bool fourByteStdcall(R(__stdcall*)(A...)) {
    return ((sizeof(A) <= 4) && ...);
}

}  // namespace

#define QV_ENTRY_MARKER(ord, name)                                                                     \
    static_assert(ord >= 1 && ord <= 65535, #name ": an ordinal is 16 bits");                          \
    static_assert(fourByteStdcall(&::ruva70_##name), #name ": stdcall, arguments of 4 bytes at most"); \
    extern "C" const void* const qv_ruva70_ordinal_##ord##_##name = reinterpret_cast<const void*>(&::ruva70_##name);
QV_ALL_ENTRIES(QV_ENTRY_MARKER)
#undef QV_ENTRY_MARKER
