// File search. (Placeholder until the file-search layer lands: no file matches.)
#include "win32.h"

extern "C" {

HANDLE FindFirstFileA(const CHAR*, WIN32_FIND_DATAA*) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL FindNextFileA(HANDLE, WIN32_FIND_DATAA*) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL FindClose(HANDLE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

} // extern "C"
