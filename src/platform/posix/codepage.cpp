// Code-page conversion. (Placeholder until the code-page layer lands: ASCII only.)
#include "win32.h"

extern "C" {

int MultiByteToWideChar(UINT, DWORD, const CHAR*, int, WCHAR*, int) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}

int WideCharToMultiByte(UINT, DWORD, const WCHAR*, int, CHAR*, int, const CHAR*, BOOL*) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}

BOOL CharToOemA(const CHAR*, CHAR*) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL CharToOemW(const WCHAR*, CHAR*) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

} // extern "C"
