// The network sources' common ground: the listing calls, the one-per-call enumeration
// and its entry buffer, and the code-page conversions.
#include "sources/network.h"

#include <cstring>
#include <type_traits>

#include "engine/state.h"
#include "engine/text.h"
#include "sources/bounded.h"

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

DWORD Open(NETRESOURCEA& container, DWORD usage, HANDLE* handle) {
    return os.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, usage, &container, handle);
}
DWORD Open(NETRESOURCEW& container, DWORD usage, HANDLE* handle) {
    return os.WNetOpenEnumW(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, usage, &container, handle);
}

DWORD Read(NETRESOURCEA*, HANDLE handle, DWORD* count, void* buffer, DWORD* size) {
    return os.WNetEnumResourceA(handle, count, buffer, size);
}
DWORD Read(NETRESOURCEW*, HANDLE handle, DWORD* count, void* buffer, DWORD* size) {
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

// Copies the container into the call, its name into the call's own buffer: the
// records are the module's, and a new search may change what they point at while the
// call still runs.
void CopyContainer(NetCall& call, const NETRESOURCEA& container) {
    call.Container = container;
    if (!container.lpRemoteName) return;
    CopyBounded(call.Text, sizeof call.Text, container.lpRemoteName);
    call.Container.lpRemoteName = call.Text;
}
void CopyContainer(NetCall& call, const NETRESOURCEW& container) {
    call.Wide = true;
    call.ContainerWide = container;
    if (!container.lpRemoteName) return;
    size_t i = 0;
    for (; container.lpRemoteName[i] && i + 1 < WideNameLength; ++i)
        call.WideText[i] = container.lpRemoteName[i];
    call.WideText[i] = 0;
    call.ContainerWide.lpRemoteName = call.WideText;
}

} // namespace

template <typename Resource>
DWORD OpenEnumeration(Resource& container, DWORD usage, HANDLE* handle, bool* alternateUsed) {
    *handle = nullptr;
    DWORD result = Open(container, usage, handle);
    *alternateUsed = result == ERROR_BAD_PROVIDER;
    if (*alternateUsed) {
        UseAlternateProvider(container);
        result = Open(container, usage, handle);
    }
    // Success without a handle is no enumeration to read.
    return result == ERROR_SUCCESS && !*handle ? ERROR_INVALID_HANDLE : result;
}

template <typename Resource>
bool ReadEntry(HANDLE handle, uint8_t** buffer, DWORD* size, DWORD* error) {
    for (int round = 0; round < NetReadRounds; ++round) {
        auto* entry = reinterpret_cast<Resource*>(*buffer);
        entry->lpRemoteName = nullptr;
        DWORD count = 1;
        DWORD room = *size;
        DWORD result = Read(entry, handle, &count, *buffer, &room);
        *error = result;
        if (result == ERROR_SUCCESS && count == 1) return true;
        DWORD wanted = 0;
        if (result == ERROR_MORE_DATA) {
            // The size the entry needs; a size the buffer already has is tried once.
            wanted = room > *size || round == 0 ? room : 0;
        } else if (result == ERROR_SUCCESS && count == 0 && *size < NetBufferLimit) {
            // Wine's mpr answers so for an entry larger than the buffer, without telling
            // its size: the list goes on in a larger buffer, not ends.
            wanted = *size * 2 < NetBufferLimit ? *size * 2 : NetBufferLimit;
        }
        if (wanted == 0 || wanted > NetBufferLimit) return false;
        if (wanted > *size) {
            void* grown = os.LocalReAlloc(*buffer, wanted, LMEM_MOVEABLE);
            if (!grown) { // the old buffer stays, for the next search
                *error = ERROR_NOT_ENOUGH_MEMORY;
                return false;
            }
            *buffer = static_cast<uint8_t*>(grown);
            *size = wanted;
        }
    }
    return false;
}

template DWORD OpenEnumeration(NETRESOURCEA&, DWORD, HANDLE*, bool*);
template DWORD OpenEnumeration(NETRESOURCEW&, DWORD, HANDLE*, bool*);
template bool ReadEntry<NETRESOURCEA>(HANDLE, uint8_t**, DWORD*, DWORD*);
template bool ReadEntry<NETRESOURCEW>(HANDLE, uint8_t**, DWORD*, DWORD*);

template <typename Resource>
bool CompletionState::OpenNetEnumeration(Resource& container, DWORD usage) {
    NetCall* fresh = nullptr;
    if (!Resumes(CallKind::OpenEnum)) {
        // Share lists wait on their server; a workgroup's on the network as a whole.
        fresh = NewCall(CallKind::OpenEnum, usage == RESOURCEUSAGE_CONNECTABLE ? Mask : "");
        if (!fresh) return false;
        CopyContainer(*fresh, container);
        fresh->Usage = usage;
    }
    NetCall* call = Await(fresh);
    if (!call) return false;
    HANDLE handle = call->Handle;
    bool opened = call->Error == ERROR_SUCCESS;
    if (opened && call->AlternateUsed) UseAlternateProvider(container);
    EndCall(call);
    EnumHandle = EnumNone;
    if (!opened) return false;

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
    NetCall* fresh = nullptr;
    if (!Resumes(CallKind::ReadEntry)) {
        // A share word's entries come from its server; a workgroup's from the network.
        fresh = NewCall(CallKind::ReadEntry, NetPattern == ServerPattern ? "" : Mask);
        if (!fresh) return nullptr;
        fresh->Wide = std::is_same_v<Resource, NETRESOURCEW>;
        // The enumeration and its buffer are the call's while it runs.
        fresh->Handle = EnumHandle;
        fresh->Buffer = NetBuffer;
        fresh->BufferSize = NetBufferSize;
        NetBuffer = nullptr;
        NetBufferSize = 0;
    }
    NetCall* call = Await(fresh);
    if (!call) return nullptr;
    EnumHandle = call->Handle;
    NetBuffer = call->Buffer;
    NetBufferSize = call->BufferSize;
    bool found = call->Found;
    EndCall(call);
    return found ? reinterpret_cast<Resource*>(NetBuffer) : nullptr;
}

template bool CompletionState::OpenNetEnumeration(NETRESOURCEA&, DWORD);
template bool CompletionState::OpenNetEnumeration(NETRESOURCEW&, DWORD);
template NETRESOURCEA* CompletionState::ReadNetEntry();
template NETRESOURCEW* CompletionState::ReadNetEntry();

} // namespace zarelin
