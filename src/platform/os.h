// The one seam between the module and the operating system.
//
// Every system call the module makes goes through the table `os`, whose entries carry
// the Win32 names and signatures. On Windows they are the system's functions; on
// Linux, those of libzarelin-platform.so. A test swaps single entries to inject
// faults (OsSwap) and puts every default back with OsRestoreDefaults().
#pragma once

#include "win32.h"

namespace zarelin {

// The server and share listing calls are not linked: the module looks them up by name
// at start-up, in the library of the platform family that has them.
using NetServerEnumFn = DWORD(WINAPI*)(const WCHAR* server, DWORD level, BYTE** buffer,
                                       DWORD prefMaxLength, DWORD* entriesRead, DWORD* totalEntries,
                                       DWORD serverType, const WCHAR* domain, DWORD* resume);
using NetShareEnumNtFn = DWORD(WINAPI*)(WCHAR* server, DWORD level, BYTE** buffer,
                                        DWORD prefMaxLength, DWORD* entriesRead,
                                        DWORD* totalEntries, DWORD* resume);
// The other family's form: buffer size and counts are 16-bit.
using NetShareEnumOtherFn = DWORD(WINAPI*)(const char* server, short level, char* buffer,
                                           unsigned short bufferSize, unsigned short* entriesRead,
                                           unsigned short* totalAvailable);
using NetApiBufferFreeFn = DWORD(WINAPI*)(void* buffer);

struct OsTable {
    // Local memory: the candidate array, menus and network buffers.
    HLOCAL(WINAPI* LocalAlloc)(UINT flags, SIZE_T bytes);
    HLOCAL(WINAPI* LocalReAlloc)(HLOCAL mem, SIZE_T bytes, UINT flags);
    HLOCAL(WINAPI* LocalFree)(HLOCAL mem);

    // File search: the file-name source.
    HANDLE(WINAPI* FindFirstFileA)(const CHAR* mask, WIN32_FIND_DATAA* data);
    BOOL(WINAPI* FindNextFileA)(HANDLE search, WIN32_FIND_DATAA* data);
    BOOL(WINAPI* FindClose)(HANDLE search);

    // Console read-back: locating the cursor on the command line.
    HANDLE(WINAPI* GetStdHandle)(DWORD which);
    BOOL(WINAPI* GetConsoleScreenBufferInfo)(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info);
    BOOL(WINAPI* ReadConsoleOutputCharacterA)
    (HANDLE console, CHAR* chars, DWORD length, COORD from, DWORD* read);

    // Network enumeration: server and share sources. Shares come in UTF-16 on the NT
    // family, where a name may hold characters the ANSI page lacks.
    DWORD(WINAPI* WNetOpenEnumA)
    (DWORD scope, DWORD type, DWORD usage, NETRESOURCEA* container, HANDLE* handle);
    DWORD(WINAPI* WNetEnumResourceA)(HANDLE handle, DWORD* count, void* buffer, DWORD* size);
    DWORD(WINAPI* WNetOpenEnumW)
    (DWORD scope, DWORD type, DWORD usage, NETRESOURCEW* container, HANDLE* handle);
    DWORD(WINAPI* WNetEnumResourceW)(HANDLE handle, DWORD* count, void* buffer, DWORD* size);
    DWORD(WINAPI* WNetCloseEnum)(HANDLE handle);

    // Code pages: network names reach the candidate list in the OEM code page.
    BOOL(WINAPI* CharToOemA)(const CHAR* source, CHAR* target);
    BOOL(WINAPI* CharToOemW)(const WCHAR* source, CHAR* target);
    int(WINAPI* MultiByteToWideChar)(UINT codePage, DWORD flags, const CHAR* text, int length,
                                     WCHAR* wide, int wideLength);
    int(WINAPI* WideCharToMultiByte)(UINT codePage, DWORD flags, const WCHAR* wide, int wideLength,
                                     CHAR* text, int length, const CHAR* defaultChar,
                                     BOOL* usedDefault);
    // The module's own match folds letter case through it.
    DWORD(WINAPI* CharUpperBuffW)(WCHAR* text, DWORD length);

    // Registry: the four options and the workgroup name.
    LONG(WINAPI* RegCreateKeyExA)
    (HKEY parent, const CHAR* subKey, DWORD reserved, CHAR* className, DWORD options, REGSAM access,
     SECURITY_ATTRIBUTES* security, HKEY* result, DWORD* disposition);
    LONG(WINAPI* RegOpenKeyExA)
    (HKEY parent, const CHAR* subKey, DWORD options, REGSAM access, HKEY* result);
    LONG(WINAPI* RegQueryValueExA)
    (HKEY key, const CHAR* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
    LONG(WINAPI* RegSetValueExA)
    (HKEY key, const CHAR* name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
    LONG(WINAPI* RegCloseKey)(HKEY key);

    // Calls that may wait on a server run on a worker thread, which holds a reference
    // to the module until it ends; the host's thread waits for it with a deadline.
    HANDLE(WINAPI* CreateThread)
    (SECURITY_ATTRIBUTES* security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, void* parameter,
     DWORD flags, DWORD* threadId);
    HANDLE(WINAPI* CreateEventA)
    (SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initialState, const CHAR* name);
    BOOL(WINAPI* SetEvent)(HANDLE event);
    DWORD(WINAPI* WaitForSingleObject)(HANDLE handle, DWORD milliseconds);
    BOOL(WINAPI* CloseHandle)(HANDLE handle);
    DWORD(WINAPI* GetTickCount)();
    BOOL(WINAPI* GetModuleHandleExA)(DWORD flags, const CHAR* name, HMODULE* module);
    BOOL(WINAPI* FreeLibrary)(HMODULE module);
    void(WINAPI* FreeLibraryAndExitThread)(HMODULE module, DWORD exitCode);
    // Whether a drive is remote, and why a file search failed: a server that does not
    // answer, or a folder that is not there.
    UINT(WINAPI* GetDriveTypeA)(const CHAR* root);
    DWORD(WINAPI* GetLastError)();

    // Platform family and the libraries loaded by name.
    BOOL(WINAPI* GetVersionExA)(OSVERSIONINFOA* info);
    HMODULE(WINAPI* LoadLibraryA)(const CHAR* name);
    FARPROC(WINAPI* GetProcAddress)(HMODULE module, const CHAR* name);

    // The one signal a command gives: nothing to insert.
    BOOL(WINAPI* MessageBeep)(UINT type);
};

extern OsTable os;
extern const OsTable OsDefaults;

// Puts every entry of `os` back to the system's function.
void OsRestoreDefaults();

// Replaces one entry of `os` for the lifetime of the guard (tests, fault injection).
template <typename Fn> class OsSwap {
  public:
    OsSwap(Fn& entry, Fn replacement) : entry_(entry), saved_(entry) { entry = replacement; }
    ~OsSwap() { entry_ = saved_; }
    OsSwap(const OsSwap&) = delete;
    OsSwap& operator=(const OsSwap&) = delete;

  private:
    Fn& entry_;
    Fn saved_;
};

} // namespace zarelin
