// Console read-back and the beep. (Placeholder until the console buffer lands.)
#include "win32.h"

extern "C" {

HANDLE GetStdHandle(DWORD) {
    return INVALID_HANDLE_VALUE;
}

BOOL GetConsoleScreenBufferInfo(HANDLE, CONSOLE_SCREEN_BUFFER_INFO*) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL ReadConsoleOutputCharacterA(HANDLE, CHAR*, DWORD, COORD, DWORD*) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL MessageBeep(UINT) {
    return TRUE;
}

} // extern "C"
