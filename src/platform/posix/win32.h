// The Win32 subset the module is written against, for builds without <windows.h>.
//
// The types keep the Win32 widths (DWORD is 32 bits, WCHAR is a UTF-16 unit, never
// wchar_t); pointers keep the host's width. The functions are implemented by
// libzarelin-platform.so, the stand-in for the system DLLs on Linux.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI

typedef uint32_t DWORD;
typedef int32_t BOOL;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef uint16_t WORD;
typedef int16_t SHORT;
typedef uint8_t BYTE;
typedef char CHAR;
typedef char16_t WCHAR;
typedef size_t SIZE_T;
typedef uintptr_t ULONG_PTR;
typedef void* HANDLE;
typedef void* HLOCAL;
typedef void* HMODULE;
typedef struct HKEY__* HKEY;
typedef DWORD REGSAM;
typedef LONG LSTATUS;
typedef long long (*FARPROC)();

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define FILE_ATTRIBUTE_DIRECTORY 0x10u

// Last-error and status codes, with their Win32 values.
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_BAD_NETPATH 53L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_CANTWRITE 1013L
#define ERROR_BADDB 1009L
#define ERROR_BAD_PROVIDER 1204L
#define ERROR_NO_NETWORK 1222L
#define NERR_Success 0

#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u

#define STD_OUTPUT_HANDLE ((DWORD)-11)

#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_ALL_ACCESS 0xF003Fu
#define REG_OPTION_NON_VOLATILE 0u
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u

#define CP_ACP 0u
#define CP_OEMCP 1u
#define MB_PRECOMPOSED 0x01u
#define WC_COMPOSITECHECK 0x200u
#define WC_DEFAULTCHAR 0x40u

#define RESOURCE_GLOBALNET 2u
#define RESOURCETYPE_ANY 0u
#define RESOURCETYPE_DISK 1u
#define RESOURCETYPE_PRINT 2u
#define RESOURCEDISPLAYTYPE_GENERIC 0u
#define RESOURCEDISPLAYTYPE_DOMAIN 1u
#define RESOURCEDISPLAYTYPE_SERVER 2u
#define RESOURCEDISPLAYTYPE_SHARE 3u
#define RESOURCEDISPLAYTYPE_NETWORK 6u
#define RESOURCEDISPLAYTYPE_ROOT 7u
#define RESOURCEUSAGE_CONNECTABLE 0x1u
#define RESOURCEUSAGE_CONTAINER 0x2u

#define VER_PLATFORM_WIN32_WINDOWS 1u
#define VER_PLATFORM_WIN32_NT 2u

#define STYPE_DISKTREE 0u
#define STYPE_PRINTQ 1u
#define STYPE_DEVICE 2u
#define STYPE_IPC 3u
#define STYPE_SPECIAL 0x80000000u
#define SV_TYPE_ALL 0xFFFFFFFFu
#define MAX_PREFERRED_LENGTH ((DWORD)-1)

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};

struct NETRESOURCEA {
    DWORD dwScope;
    DWORD dwType;
    DWORD dwDisplayType;
    DWORD dwUsage;
    CHAR* lpLocalName;
    CHAR* lpRemoteName;
    CHAR* lpComment;
    CHAR* lpProvider;
};

struct NETRESOURCEW {
    DWORD dwScope;
    DWORD dwType;
    DWORD dwDisplayType;
    DWORD dwUsage;
    WCHAR* lpLocalName;
    WCHAR* lpRemoteName;
    WCHAR* lpComment;
    WCHAR* lpProvider;
};

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};

struct COORD {
    SHORT X;
    SHORT Y;
};

struct SMALL_RECT {
    SHORT Left;
    SHORT Top;
    SHORT Right;
    SHORT Bottom;
};

struct CONSOLE_SCREEN_BUFFER_INFO {
    COORD dwSize;
    COORD dwCursorPosition;
    WORD wAttributes;
    SMALL_RECT srWindow;
    COORD dwMaximumWindowSize;
};

struct SECURITY_ATTRIBUTES;

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x4u
#define DRIVE_UNKNOWN 0u
#define DRIVE_NO_ROOT_DIR 1u
#define DRIVE_FIXED 3u
#define DRIVE_REMOTE 4u
typedef DWORD (*LPTHREAD_START_ROUTINE)(void* parameter);

// NETAPI32 (NT family) records.
struct SERVER_INFO_100 {
    DWORD sv100_platform_id;
    WCHAR* sv100_name;
};

struct SHARE_INFO_1 {
    WCHAR* shi1_netname;
    DWORD shi1_type;
    WCHAR* shi1_remark;
};

#define ZARELIN_PLATFORM_API extern "C" __attribute__((visibility("default")))

// kernel32: local memory.
ZARELIN_PLATFORM_API HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
ZARELIN_PLATFORM_API HLOCAL LocalReAlloc(HLOCAL mem, SIZE_T bytes, UINT flags);
ZARELIN_PLATFORM_API HLOCAL LocalFree(HLOCAL mem);
ZARELIN_PLATFORM_API DWORD GetLastError(void);
ZARELIN_PLATFORM_API void SetLastError(DWORD code);

// kernel32: threads, events, waits and the tick count. A thread's handle is signalled
// when the thread ends; the thread keeps its own reference, so closing the handle never
// ends it.
ZARELIN_PLATFORM_API HANDLE CreateThread(SECURITY_ATTRIBUTES* security, SIZE_T stackSize,
                                         LPTHREAD_START_ROUTINE start, void* parameter, DWORD flags,
                                         DWORD* threadId);
ZARELIN_PLATFORM_API HANDLE CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manualReset,
                                         BOOL initialState, const CHAR* name);
ZARELIN_PLATFORM_API BOOL SetEvent(HANDLE event);
ZARELIN_PLATFORM_API DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
ZARELIN_PLATFORM_API BOOL CloseHandle(HANDLE handle);
ZARELIN_PLATFORM_API DWORD GetTickCount(void);
// A reference to the library holding an address (the flag FROM_ADDRESS is required),
// and the way a thread lets go of one as it ends.
ZARELIN_PLATFORM_API BOOL GetModuleHandleExA(DWORD flags, const CHAR* name, HMODULE* module);
ZARELIN_PLATFORM_API BOOL FreeLibrary(HMODULE module);
ZARELIN_PLATFORM_API __attribute__((noreturn)) void FreeLibraryAndExitThread(HMODULE module,
                                                                             DWORD exitCode);

// kernel32: file search.
ZARELIN_PLATFORM_API HANDLE FindFirstFileA(const CHAR* mask, WIN32_FIND_DATAA* data);
ZARELIN_PLATFORM_API BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data);
ZARELIN_PLATFORM_API BOOL FindClose(HANDLE search);
// DRIVE_REMOTE for a drive's root (X:\ or X:, or null for the current directory) on a
// network file system: NFS, CIFS, FUSE and their kind.
ZARELIN_PLATFORM_API UINT GetDriveTypeA(const CHAR* root);

// kernel32: console read-back.
ZARELIN_PLATFORM_API HANDLE GetStdHandle(DWORD which);
ZARELIN_PLATFORM_API BOOL GetConsoleScreenBufferInfo(HANDLE console,
                                                     CONSOLE_SCREEN_BUFFER_INFO* info);
ZARELIN_PLATFORM_API BOOL ReadConsoleOutputCharacterA(HANDLE console, CHAR* chars, DWORD length,
                                                      COORD from, DWORD* read);

// kernel32: code pages, version, libraries.
ZARELIN_PLATFORM_API int MultiByteToWideChar(UINT codePage, DWORD flags, const CHAR* text,
                                             int length, WCHAR* wide, int wideLength);
ZARELIN_PLATFORM_API int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* wide,
                                             int wideLength, CHAR* text, int length,
                                             const CHAR* defaultChar, BOOL* usedDefault);
ZARELIN_PLATFORM_API BOOL GetVersionExA(OSVERSIONINFOA* info);
ZARELIN_PLATFORM_API HMODULE LoadLibraryA(const CHAR* name);
ZARELIN_PLATFORM_API FARPROC GetProcAddress(HMODULE module, const CHAR* name);

// user32: OEM conversion, beep.
ZARELIN_PLATFORM_API BOOL CharToOemA(const CHAR* source, CHAR* target);
ZARELIN_PLATFORM_API BOOL CharToOemW(const WCHAR* source, CHAR* target);
ZARELIN_PLATFORM_API DWORD CharUpperBuffW(WCHAR* text, DWORD length);
ZARELIN_PLATFORM_API BOOL MessageBeep(UINT type);

// mpr: network enumeration.
ZARELIN_PLATFORM_API DWORD WNetOpenEnumA(DWORD scope, DWORD type, DWORD usage,
                                         NETRESOURCEA* container, HANDLE* handle);
ZARELIN_PLATFORM_API DWORD WNetEnumResourceA(HANDLE handle, DWORD* count, void* buffer,
                                             DWORD* bufferSize);
ZARELIN_PLATFORM_API DWORD WNetOpenEnumW(DWORD scope, DWORD type, DWORD usage,
                                         NETRESOURCEW* container, HANDLE* handle);
ZARELIN_PLATFORM_API DWORD WNetEnumResourceW(HANDLE handle, DWORD* count, void* buffer,
                                             DWORD* bufferSize);
ZARELIN_PLATFORM_API DWORD WNetCloseEnum(HANDLE handle);

// advapi32: registry.
ZARELIN_PLATFORM_API LONG RegCreateKeyExA(HKEY parent, const CHAR* subKey, DWORD reserved,
                                          CHAR* className, DWORD options, REGSAM access,
                                          SECURITY_ATTRIBUTES* security, HKEY* result,
                                          DWORD* disposition);
ZARELIN_PLATFORM_API LONG RegOpenKeyExA(HKEY parent, const CHAR* subKey, DWORD options,
                                        REGSAM access, HKEY* result);
ZARELIN_PLATFORM_API LONG RegQueryValueExA(HKEY key, const CHAR* name, DWORD* reserved, DWORD* type,
                                           BYTE* data, DWORD* size);
ZARELIN_PLATFORM_API LONG RegSetValueExA(HKEY key, const CHAR* name, DWORD reserved, DWORD type,
                                         const BYTE* data, DWORD size);
ZARELIN_PLATFORM_API LONG RegCloseKey(HKEY key);
