// Included ahead of every source of the Windows build (win32/build.sh passes
// -include): the Windows ODBC headers expect the base Windows types to be
// declared before <sql.h>, and the shared sources include <sql.h> directly.
// The lean set keeps the Windows headers' macros (min, max, the GDI names)
// out of the sources.
#pragma once

#ifndef _WIN32
#error "the Windows build prelude is for Windows targets only"
#endif
#ifdef UNICODE
#error "UNICODE would rename the ODBC 2.x prototypes to their W forms"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef NOGDI
#define NOGDI
#endif

#include <windows.h>
