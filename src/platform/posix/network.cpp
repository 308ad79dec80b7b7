// Network enumeration. Without a network configured, every call answers as a machine
// with no network does.
#include "win32.h"
#include "zp_network.h"

extern "C" {

DWORD WNetOpenEnumA(DWORD, DWORD, DWORD, NETRESOURCEA*, HANDLE* handle) {
    if (handle) *handle = nullptr;
    return ERROR_NO_NETWORK;
}

DWORD WNetEnumResourceA(HANDLE, DWORD*, void*, DWORD*) {
    return ERROR_INVALID_HANDLE;
}

DWORD WNetCloseEnum(HANDLE) {
    return ERROR_INVALID_HANDLE;
}

// No share is mapped to a directory yet.
bool ZpShareDirectory(const char*, const char*, char* dir, size_t dirSize) {
    if (dir && dirSize) dir[0] = '\0';
    return false;
}

} // extern "C"
