// Version query and libraries loaded by name.
#include "win32.h"

#include <cstring>

extern "C" {

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // An NT-family system, as every Windows the module meets today.
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 2600;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return TRUE;
}

// No system library is present yet: the server and share listing calls stay missing,
// as on a system without them.
HMODULE LoadLibraryA(const CHAR* /*name*/) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC GetProcAddress(HMODULE /*module*/, const CHAR* /*name*/) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

} // extern "C"
