// A network provider for Wine's mpr.dll: the documented NPGetCaps, NPOpenEnum,
// NPEnumResource and NPCloseEnum over the JSON network. mpr loads it from the
// ProviderPath the test registers and knows it by the Name registered beside it; the
// provider serves that one of the file's providers. Copies of this DLL under other
// file names serve the other providers, as each registration loads one file.
#include <windows.h>
#include <winnetwk.h>
// mingw's header declares the provider's functions without C linkage.
extern "C" {
#include <npapi.h>
}

#include <cstring>
#include <mutex>
#include <set>

#include "model.h"

using namespace doubles;

namespace {

const wchar_t OrderKey[] = L"System\\CurrentControlSet\\Control\\NetworkProvider\\Order";
const wchar_t ServicesKey[] = L"System\\CurrentControlSet\\Services\\";

std::wstring ReadString(HKEY parent, const std::wstring& key, const wchar_t* value) {
    wchar_t text[1024];
    DWORD size = sizeof text - sizeof(wchar_t);
    DWORD type = 0;
    HKEY opened;
    if (RegOpenKeyExW(parent, key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return {};
    LONG result =
        RegQueryValueExW(opened, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(opened);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    text[size / sizeof(wchar_t)] = 0;
    return text;
}

std::wstring FileName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The Name registered with this file's ProviderPath: who this copy is to mpr.
std::wstring RegisteredName() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&RegisteredName), &self);
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring order = ReadString(HKEY_LOCAL_MACHINE, OrderKey, L"ProviderOrder") + L",";
    for (size_t start = 0, comma; (comma = order.find(L',', start)) != std::wstring::npos;
         start = comma + 1) {
        std::wstring key = ServicesKey + order.substr(start, comma - start) + L"\\NetworkProvider";
        if (SameName(FileName(ReadString(HKEY_LOCAL_MACHINE, key, L"ProviderPath")),
                     FileName(path)))
            return ReadString(HKEY_LOCAL_MACHINE, key, L"Name");
    }
    return {};
}

struct Entry {
    DWORD type, display, usage;
    std::wstring remote;
    bool hasComment; // domains have none: a null lpComment
    std::wstring comment, provider;

    size_t Size() const {
        size_t units =
            remote.size() + 1 + provider.size() + 1 + (hasComment ? comment.size() + 1 : 0);
        return sizeof(NETRESOURCEW) + units * sizeof(WCHAR);
    }
};

struct Enumeration {
    std::vector<Entry> entries;
    size_t next = 0;
    DWORD delayMs = 0; // what every read waits: a slow server's or domain's
};

std::mutex enumerationsLock;
std::set<Enumeration*> enumerations;

// Windows browses disk and print shares, never those whose names end in '$'.
bool Browsable(const Share& share) {
    return (share.kind == ShareKind::Disk || share.kind == ShareKind::Printer) &&
           share.name.back() != L'$';
}

const Provider* OwnerOf(const Network& net, const std::wstring& server) {
    for (const Provider& p : net.providers)
        for (const Domain& d : p.domains)
            for (const std::wstring& s : d.servers)
                if (SameName(s, server)) return &p;
    return net.providers.empty() ? nullptr : &net.providers.front();
}

// What lies below `remote` in provider `me`: its domains (no name), a domain's servers,
// or a server's shares; else the error the enumeration answers. `delayMs` receives the
// delay of the server or domain that answers.
DWORD Below(const Network& net, const Provider& me, const std::wstring& remote,
            std::vector<Entry>& out, DWORD* delayMs) {
    if (remote.empty()) {
        for (const Domain& d : me.domains)
            out.push_back({RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER,
                           d.name, false, L"", me.name});
        return WN_SUCCESS;
    }
    if (remote.size() > 2 && remote[0] == L'\\' && remote[1] == L'\\') {
        std::wstring name = remote.substr(2);
        size_t separator = name.find(L'\\');
        bool listed = false;
        const Server* server = net.FindServer(name.substr(0, separator), &listed);
        // A server is another provider's when that one lists it first (one in no domain
        // is the first provider's): Windows asks the provider that knows the name.
        if ((!server && !listed) || OwnerOf(net, name.substr(0, separator)) != &me)
            return ERROR_BAD_NETPATH;
        *delayMs = server ? server->delayMs : 0;
        if (separator != std::wstring::npos) {
            std::wstring share = name.substr(separator + 1);
            for (const Share& s : server ? server->shares : std::vector<Share>{})
                if (SameName(s.name, share)) return WN_NOT_CONTAINER; // it holds files
            return ERROR_BAD_NETPATH;
        }
        for (const Share& s : server ? server->shares : std::vector<Share>{})
            if (Browsable(s))
                out.push_back({s.kind == ShareKind::Disk ? DWORD{RESOURCETYPE_DISK}
                                                         : DWORD{RESOURCETYPE_PRINT},
                               RESOURCEDISPLAYTYPE_SHARE, RESOURCEUSAGE_CONNECTABLE,
                               L"\\\\" + server->name + L"\\" + s.name, true, s.remark, me.name});
        return WN_SUCCESS;
    }
    for (const Domain& d : me.domains) {
        if (!SameName(d.name, remote)) continue;
        *delayMs = d.delayMs;
        for (const std::wstring& s : d.servers) {
            const Server* server = net.FindServer(s);
            out.push_back({RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_SERVER, RESOURCEUSAGE_CONTAINER,
                           L"\\\\" + s, true, server ? server->comment : L"", me.name});
        }
        return WN_SUCCESS;
    }
    return ERROR_NO_BROWSER_SERVERS_FOUND;
}

// The entry's record at `front`, its strings below `back`, which moves down past them.
void Store(const Entry& e, BYTE* buffer, size_t front, size_t& back) {
    auto put = [&](const std::wstring& text) {
        back -= (text.size() + 1) * sizeof(WCHAR);
        std::memcpy(buffer + back, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
        return reinterpret_cast<WCHAR*>(buffer + back);
    };
    NETRESOURCEW record = {};
    record.dwScope = RESOURCE_GLOBALNET;
    record.dwType = e.type;
    record.dwDisplayType = e.display;
    record.dwUsage = e.usage;
    record.lpRemoteName = put(e.remote);
    record.lpComment = e.hasComment ? put(e.comment) : nullptr;
    record.lpProvider = put(e.provider);
    std::memcpy(buffer + front, &record, sizeof record);
}

// The delay of an open enumeration's server or domain; 0 for a handle that is none.
DWORD DelayOf(HANDLE handle) {
    std::lock_guard<std::mutex> hold(enumerationsLock);
    auto found = enumerations.find(static_cast<Enumeration*>(handle));
    return found == enumerations.end() ? 0 : (*found)->delayMs;
}

} // namespace

extern "C" {

__declspec(dllexport) DWORD WINAPI NPGetCaps(DWORD index) {
    switch (index) {
    case WNNC_SPEC_VERSION:
        return WNNC_SPEC_VERSION51;
    case WNNC_NET_TYPE:
        return WNNC_NET_LANMAN;
    case WNNC_DRIVER_VERSION:
        return 1;
    case WNNC_ENUMERATION:
        return WNNC_ENUM_GLOBAL;
    default:
        return 0; // no connections, dialogs or administration
    }
}

__declspec(dllexport) DWORD WINAPI
    NPOpenEnum(DWORD scope, DWORD type, DWORD usage, NETRESOURCEW* container, HANDLE* handle) {
    if (!handle) return WN_BAD_POINTER;
    *handle = nullptr;
    if (scope != RESOURCE_GLOBALNET) return WN_NOT_SUPPORTED;
    std::shared_ptr<const Network> net = LoadNetwork();
    const Provider* me = net ? net->FindProvider(RegisteredName()) : nullptr;
    if (!me) return WN_NO_NETWORK;
    if (container && !(container->dwUsage & RESOURCEUSAGE_CONTAINER)) return WN_NOT_CONTAINER;
    std::vector<Entry> all;
    DWORD delayMs = 0;
    DWORD code =
        Below(*net, *me, container && container->lpRemoteName ? container->lpRemoteName : L"", all,
              &delayMs);
    WaitAsServer(delayMs);
    if (code != WN_SUCCESS) return code;
    auto enumeration = new Enumeration;
    enumeration->delayMs = delayMs;
    usage &= RESOURCEUSAGE_CONNECTABLE | RESOURCEUSAGE_CONTAINER;
    for (Entry& e : all) {
        // The type sorts shares; containers hold shares of every type.
        bool typeFits = type == RESOURCETYPE_ANY || e.type == RESOURCETYPE_ANY || e.type == type;
        if (typeFits && (!usage || (e.usage & usage))) enumeration->entries.push_back(e);
    }
    std::lock_guard<std::mutex> hold(enumerationsLock);
    enumerations.insert(enumeration);
    *handle = enumeration;
    return WN_SUCCESS;
}

__declspec(dllexport) DWORD WINAPI
    NPEnumResource(HANDLE handle, DWORD* count, void* buffer, DWORD* bufferSize) {
    // Waited without the lock, so that a slow server holds up its own reads alone.
    WaitAsServer(DelayOf(handle));
    std::lock_guard<std::mutex> hold(enumerationsLock);
    auto found = enumerations.find(static_cast<Enumeration*>(handle));
    if (found == enumerations.end()) return WN_BAD_HANDLE;
    if (!count || !buffer || !bufferSize) return WN_BAD_POINTER;
    Enumeration& e = **found;
    if (e.next == e.entries.size()) return WN_NO_MORE_ENTRIES;
    auto* bytes = static_cast<BYTE*>(buffer);
    size_t front = 0, back = *bufferSize;
    DWORD written = 0;
    while ((*count == 0xFFFFFFFF || written < *count) && e.next < e.entries.size()) {
        const Entry& entry = e.entries[e.next];
        if (back - front < entry.Size()) break;
        Store(entry, bytes, front, back);
        front += sizeof(NETRESOURCEW);
        ++written;
        ++e.next;
    }
    if (!written) {
        // Not even one entry fits: the caller learns the size it needs.
        *bufferSize = static_cast<DWORD>(e.entries[e.next].Size());
        *count = 0;
        return WN_MORE_DATA;
    }
    *count = written;
    return WN_SUCCESS;
}

__declspec(dllexport) DWORD WINAPI NPCloseEnum(HANDLE handle) {
    std::lock_guard<std::mutex> hold(enumerationsLock);
    auto found = enumerations.find(static_cast<Enumeration*>(handle));
    if (found == enumerations.end()) return WN_BAD_HANDLE;
    delete *found;
    enumerations.erase(found);
    return WN_SUCCESS;
}

} // extern "C"
