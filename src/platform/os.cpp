#include "platform/os.h"

namespace zarelin {

// The system's functions by their Win32 names: kernel32, user32, mpr and advapi32 on
// Windows, libzarelin-platform.so on Linux.
const OsTable OsDefaults = {
    ::LocalAlloc,
    ::LocalReAlloc,
    ::LocalFree,
    ::FindFirstFileA,
    ::FindNextFileA,
    ::FindClose,
    ::GetStdHandle,
    ::GetConsoleScreenBufferInfo,
    ::ReadConsoleOutputCharacterA,
    ::WNetOpenEnumA,
    ::WNetEnumResourceA,
    ::WNetOpenEnumW,
    ::WNetEnumResourceW,
    ::WNetCloseEnum,
    ::CharToOemA,
    ::CharToOemW,
    ::MultiByteToWideChar,
    ::WideCharToMultiByte,
    ::CharUpperBuffW,
    ::RegCreateKeyExA,
    ::RegOpenKeyExA,
    ::RegQueryValueExA,
    ::RegSetValueExA,
    ::RegCloseKey,
    ::CreateThread,
    ::CreateEventA,
    ::SetEvent,
    ::WaitForSingleObject,
    ::CloseHandle,
    ::GetTickCount,
    ::GetModuleHandleExA,
    ::FreeLibrary,
    ::FreeLibraryAndExitThread,
    ::GetDriveTypeA,
    ::GetLastError,
    ::GetVersionExA,
    ::LoadLibraryA,
    ::GetProcAddress,
    ::MessageBeep,
};

OsTable os = OsDefaults;

void OsRestoreDefaults() {
    os = OsDefaults;
}

} // namespace zarelin
