// Registry. (Placeholder until the registry store lands: nothing persists.)
#include "win32.h"

extern "C" {

LONG RegCreateKeyExA(HKEY, const CHAR*, DWORD, CHAR*, DWORD, REGSAM, SECURITY_ATTRIBUTES*,
                     HKEY* result, DWORD*) {
    if (result) *result = nullptr;
    return ERROR_ACCESS_DENIED;
}

LONG RegOpenKeyExA(HKEY, const CHAR*, DWORD, REGSAM, HKEY* result) {
    if (result) *result = nullptr;
    return ERROR_FILE_NOT_FOUND;
}

LONG RegQueryValueExA(HKEY, const CHAR*, DWORD*, DWORD*, BYTE*, DWORD*) {
    return ERROR_INVALID_HANDLE;
}

LONG RegSetValueExA(HKEY, const CHAR*, DWORD, DWORD, const BYTE*, DWORD) {
    return ERROR_INVALID_HANDLE;
}

LONG RegCloseKey(HKEY) {
    return ERROR_INVALID_HANDLE;
}

} // extern "C"
