// The library's entry for Windows loads: thread notifications are switched
// off at process attach, and every notification reports success. Nothing
// else happens at load; the Java ID cache is filled by initIDs.
#ifdef _WIN32

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}

#endif
