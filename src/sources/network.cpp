// The network sources' common ground: the listing calls, the one-per-call enumeration
// and its entry buffer, and the code-page conversions.
#include "sources/network.h"

#include <cstring>

#include "engine/state.h"
#include "engine/text.h"
#include "sources/bounded.h"

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

DWORD OpenEnumeration(NETRESOURCEA& container, DWORD usage, HANDLE* handle, bool* alternateUsed) {
    *handle = nullptr;
    DWORD result =
        os.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, usage, &container, handle);
    *alternateUsed = result == ERROR_BAD_PROVIDER;
    if (*alternateUsed) {
        container.lpProvider = AlternateProvider;
        result = os.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, usage, &container, handle);
    }
    // Success without a handle is no enumeration to read.
    return result == ERROR_SUCCESS && !*handle ? ERROR_INVALID_HANDLE : result;
}

bool ReadEntry(HANDLE handle, uint8_t** buffer, DWORD* size, DWORD* error) {
    auto* entry = reinterpret_cast<NETRESOURCEA*>(*buffer);
    entry->lpRemoteName = nullptr;
    DWORD count = 1;
    DWORD room = *size;
    DWORD result = os.WNetEnumResourceA(handle, &count, *buffer, &room);
    if (result == ERROR_MORE_DATA) {
        if (room > NetBufferLimit) {
            *error = result;
            return false;
        }
        if (room > *size) {
            void* grown = os.LocalReAlloc(*buffer, room, LMEM_MOVEABLE);
            if (!grown) { // the old buffer stays, for the next search
                *error = ERROR_NOT_ENOUGH_MEMORY;
                return false;
            }
            *buffer = static_cast<uint8_t*>(grown);
            *size = room;
            entry = reinterpret_cast<NETRESOURCEA*>(*buffer);
        }
        entry->lpRemoteName = nullptr;
        count = 1;
        room = *size;
        result = os.WNetEnumResourceA(handle, &count, *buffer, &room);
    }
    *error = result;
    return result == ERROR_SUCCESS && count == 1;
}

bool CompletionState::OpenNetEnumeration(NETRESOURCEA& container, DWORD usage) {
    NetCall* fresh = nullptr;
    if (!Resumes(CallKind::OpenEnum)) {
        const char* server = container.lpRemoteName ? container.lpRemoteName : "";
        // Share lists wait on their server; a workgroup's on the network as a whole.
        fresh = NewCall(CallKind::OpenEnum, usage == RESOURCEUSAGE_CONNECTABLE ? server : "");
        if (!fresh) return false;
        fresh->Container = container;
        CopyBounded(fresh->Text, sizeof fresh->Text, server);
        fresh->Container.lpRemoteName = container.lpRemoteName ? fresh->Text : nullptr;
        fresh->Usage = usage;
    }
    NetCall* call = Await(fresh);
    if (!call) return false;
    HANDLE handle = call->Handle;
    bool opened = call->Error == ERROR_SUCCESS;
    if (opened && call->AlternateUsed) container.lpProvider = AlternateProvider;
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

NETRESOURCEA* CompletionState::ReadNetEntry() {
    NetCall* fresh = nullptr;
    if (!Resumes(CallKind::ReadEntry)) {
        // A share word's entries come from its server; a workgroup's from the network.
        fresh = NewCall(CallKind::ReadEntry, NetPattern == ServerPattern ? "" : Mask);
        if (!fresh) return nullptr;
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
    return found ? reinterpret_cast<NETRESOURCEA*>(NetBuffer) : nullptr;
}

} // namespace zarelin
