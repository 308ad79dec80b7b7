// Version query and libraries loaded by name. The family is the simulated network's:
// NT unless the network file names the other one, so a machine without a network file
// is an NT-family system that has NETAPI32 and no network to list.
#include <cctype>
#include <cstring>
#include <string>

#include "network/network.h"
#include "win32.h"

namespace {

// The libraries the module loads by name; their addresses are the module handles.
char netapi32Module;
char svrapiModule;

// The file part of a library name, lower-cased, with the ".dll" Windows adds to a name
// without an extension (a trailing dot means "no extension").
std::string LibraryFile(const char* name) {
    std::string file = name;
    size_t slash = file.find_last_of("\\/");
    if (slash != std::string::npos) file.erase(0, slash + 1);
    if (!file.empty() && file.back() == '.')
        file.pop_back();
    else if (file.find('.') == std::string::npos)
        file += ".dll";
    for (char& c : file)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return file;
}

bool IsNtFamily() {
    std::shared_ptr<const zp::Network> net = zp::CurrentNetwork();
    return !net || net->nt;
}

} // namespace

extern "C" {

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (IsNtFamily()) {
        info->dwMajorVersion = 5;
        info->dwMinorVersion = 1;
        info->dwBuildNumber = 2600;
        info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    } else {
        // 4.10.1998; this family repeats the version in the build number's high word.
        info->dwMajorVersion = 4;
        info->dwMinorVersion = 10;
        info->dwBuildNumber = 0x040A07CEu;
        info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    }
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return TRUE;
}

// NETAPI32 exists on the NT family only, svrapi on the other one only.
HMODULE LoadLibraryA(const CHAR* name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string file = LibraryFile(name);
    bool nt = IsNtFamily();
    if (nt && file == "netapi32.dll") return &netapi32Module;
    if (!nt && file == "svrapi.dll") return &svrapiModule;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC GetProcAddress(HMODULE module, const CHAR* name) {
    if (module != &netapi32Module && module != &svrapiModule) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // A value below 0x10000 is an ordinal, not a name, and none is exported by number.
    FARPROC proc = nullptr;
    if (reinterpret_cast<uintptr_t>(name) >= 0x10000)
        proc = zp::NetworkProc(
            module == &netapi32Module ? zp::Library::Netapi32 : zp::Library::Svrapi, name);
    if (!proc) SetLastError(ERROR_PROC_NOT_FOUND);
    return proc;
}

} // extern "C"
