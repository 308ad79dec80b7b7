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
// An entry the platform says needs more than this is not a single name record; nor is
// one that does not fit here when the platform does not say what it needs.
constexpr DWORD NetBufferLimit = 64 * 1024;
// Reads of one entry: doubling from the start reaches the limit in eight.
constexpr int NetReadRounds = 12;

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

namespace {

DWORD OpenEnumeration(NETRESOURCEA& container, DWORD usage, HANDLE* handle) {
    return os.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, usage, &container, handle);
}
DWORD OpenEnumeration(NETRESOURCEW& container, DWORD usage, HANDLE* handle) {
    return os.WNetOpenEnumW(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, usage, &container, handle);
}

DWORD ReadEnumeration(NETRESOURCEA*, HANDLE handle, DWORD* count, void* buffer, DWORD* size) {
    return os.WNetEnumResourceA(handle, count, buffer, size);
}
DWORD ReadEnumeration(NETRESOURCEW*, HANDLE handle, DWORD* count, void* buffer, DWORD* size) {
    return os.WNetEnumResourceW(handle, count, buffer, size);
}

void UseAlternateProvider(NETRESOURCEA& container) {
    container.lpProvider = AlternateProvider;
}
void UseAlternateProvider(NETRESOURCEW& container) {
    static WCHAR wide[sizeof AlternateProvider]; // the name is ASCII
    for (size_t i = 0; i < sizeof AlternateProvider; ++i)
        wide[i] = static_cast<WCHAR>(AlternateProvider[i]);
    container.lpProvider = wide;
}

} // namespace

template <typename Resource>
bool CompletionState::OpenNetEnumeration(Resource& container, DWORD usage) {
    HANDLE handle = nullptr;
    DWORD result = OpenEnumeration(container, usage, &handle);
    if (result == ERROR_BAD_PROVIDER) {
        UseAlternateProvider(container);
        result = OpenEnumeration(container, usage, &handle);
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

template <typename Resource> Resource* CompletionState::ReadNetEntry() {
    for (int round = 0; round < NetReadRounds; ++round) {
        auto* entry = reinterpret_cast<Resource*>(NetBuffer);
        entry->lpRemoteName = nullptr;
        DWORD count = 1;
        DWORD size = NetBufferSize;
        DWORD result = ReadEnumeration(entry, EnumHandle, &count, NetBuffer, &size);
        if (result == ERROR_SUCCESS && count == 1) return entry;
        DWORD wanted = 0;
        if (result == ERROR_MORE_DATA) {
            // The size the entry needs; a size the buffer already has is tried once.
            wanted = size > NetBufferSize || round == 0 ? size : 0;
        } else if (result == ERROR_SUCCESS && count == 0 && NetBufferSize < NetBufferLimit) {
            // Wine's mpr answers so for an entry larger than the buffer, without telling
            // its size: the list goes on in a larger buffer, not ends.
            wanted = NetBufferSize * 2 < NetBufferLimit ? NetBufferSize * 2 : NetBufferLimit;
        }
        if (wanted == 0 || wanted > NetBufferLimit) return nullptr;
        if (wanted > NetBufferSize) {
            void* grown = os.LocalReAlloc(NetBuffer, wanted, LMEM_MOVEABLE);
            if (!grown) return nullptr; // the old buffer stays, for the next search
            NetBuffer = static_cast<uint8_t*>(grown);
            NetBufferSize = wanted;
        }
    }
    return nullptr;
}

template bool CompletionState::OpenNetEnumeration(NETRESOURCEA&, DWORD);
template bool CompletionState::OpenNetEnumeration(NETRESOURCEW&, DWORD);
template NETRESOURCEA* CompletionState::ReadNetEntry();
template NETRESOURCEW* CompletionState::ReadNetEntry();

} // namespace zarelin
