// The network sources' common ground: the listing calls, the one-per-call enumeration
// and its entry buffer, and the code-page conversions.
#include "sources/network.h"

#include <cstring>

#include "engine/state.h"

namespace zarelin {

NetworkCalls Net;

char AlternateProvider[] = "Microsoft Network";
char EmptyComment[] = "";

namespace {

constexpr DWORD NetBufferStart = 256;
// An entry the platform says needs more than this is not a single name record.
constexpr DWORD NetBufferLimit = 64 * 1024;

template <typename Fn> Fn Lookup(HMODULE library, const char* name) {
    if (!library) return nullptr;
    // Through the generic function type, as GetProcAddress results are meant to be cast.
    using AnyFn = void (*)();
    return reinterpret_cast<Fn>(reinterpret_cast<AnyFn>(os.GetProcAddress(library, name)));
}

} // namespace

void LoadNetworkCalls() {
    Net = NetworkCalls{};
    if (IsNT) {
        HMODULE netapi = os.LoadLibraryA("NETAPI32.DLL");
        Net.NetServerEnum = Lookup<NetServerEnumFn>(netapi, "NetServerEnum");
        Net.NetShareEnumNt = Lookup<NetShareEnumNtFn>(netapi, "NetShareEnum");
        Net.NetApiBufferFree = Lookup<NetApiBufferFreeFn>(netapi, "NetApiBufferFree");
    } else {
        HMODULE svrapi = os.LoadLibraryA("svrapi.DLL");
        Net.NetShareEnumOther = Lookup<NetShareEnumOtherFn>(svrapi, "NetShareEnum");
    }
}

bool AnsiToOem(char* text) {
    WCHAR wide[WideNameLength];
    if (!os.MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, wide, WideNameLength))
        return false; // longer than 199 characters, or not ANSI text
    // The OEM form has as many bytes as the ANSI one, so it fits where that stood; the
    // room given includes the terminator, which the -1 length converts too.
    int room = static_cast<int>(std::strlen(text)) + 1;
    return os.WideCharToMultiByte(CP_OEMCP, WC_COMPOSITECHECK | WC_DEFAULTCHAR, wide, -1, text,
                                  room, nullptr, nullptr) > 0;
}

bool WideToOem(const WCHAR* name, char* target, size_t size) {
    size_t length = 0;
    while (name[length])
        ++length;
    // One OEM byte per UTF-16 unit: the length alone says whether it fits.
    if (length >= size) return false;
    return os.CharToOemW(name, target) != 0;
}

bool CompletionState::OpenNetEnumeration(NETRESOURCEA& container, DWORD usage) {
    HANDLE handle = nullptr;
    DWORD result =
        os.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, usage, &container, &handle);
    if (result == ERROR_BAD_PROVIDER) {
        container.lpProvider = AlternateProvider;
        result =
            os.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, usage, &container, &handle);
    }
    EnumHandle = EnumNone;
    if (result != ERROR_SUCCESS || !handle) return false;

    if (NetBuffer) os.LocalFree(NetBuffer);
    NetBufferSize = NetBufferStart;
    NetBuffer = static_cast<uint8_t*>(os.LocalAlloc(LMEM_FIXED, NetBufferSize));
    if (!NetBuffer) {
        NetBufferSize = 0;
        os.WNetCloseEnum(handle);
        return false;
    }
    EnumHandle = handle;
    return true;
}

NETRESOURCEA* CompletionState::ReadNetEntry() {
    auto* entry = reinterpret_cast<NETRESOURCEA*>(NetBuffer);
    entry->lpRemoteName = nullptr;
    DWORD count = 1;
    DWORD size = NetBufferSize;
    DWORD result = os.WNetEnumResourceA(EnumHandle, &count, NetBuffer, &size);
    if (result == ERROR_MORE_DATA) {
        if (size > NetBufferLimit) return nullptr;
        if (size > NetBufferSize) {
            void* grown = os.LocalReAlloc(NetBuffer, size, LMEM_MOVEABLE);
            if (!grown) return nullptr; // the old buffer stays, for the next search
            NetBuffer = static_cast<uint8_t*>(grown);
            NetBufferSize = size;
            entry = reinterpret_cast<NETRESOURCEA*>(NetBuffer);
        }
        entry->lpRemoteName = nullptr;
        count = 1;
        size = NetBufferSize;
        result = os.WNetEnumResourceA(EnumHandle, &count, NetBuffer, &size);
    }
    if (result != ERROR_SUCCESS || count != 1) return nullptr;
    return entry;
}

} // namespace zarelin
