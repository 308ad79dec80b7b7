// Network enumeration (mpr) and server and share listing (NETAPI32, svrapi) over the
// simulated network. Without a network every call answers ERROR_NO_NETWORK, as on a
// machine without one; the libraries are still there, as they are on Windows.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "netmodel.h"
#include "win32.h"
#include "zp_network.h"

namespace zp {

namespace {

const char16_t WindowsNetwork[] = u"Microsoft Windows Network";

// The root lists each provider as a container with this bit too, as Windows does.
constexpr DWORD UsageReserved = 0x80000000u;

// ----------------------------------------------------------------------------------
// Network enumeration.

// One entry as WNetEnumResourceA hands it out, its strings already in the ANSI page.
struct Resource {
    DWORD type;
    DWORD displayType;
    DWORD usage;
    std::string remote;
    std::string comment;
    bool hasComment; // providers and domains have none: a null lpComment
    std::string provider;

    // What the entry takes in the caller's buffer: the record and its strings.
    size_t Size() const {
        return sizeof(NETRESOURCEA) + remote.size() + 1 + provider.size() + 1 +
               (hasComment ? comment.size() + 1 : 0);
    }
    // What it takes in UTF-16: the A call reads the entries into a buffer of the
    // caller's size in that form first, so an entry must fit there as well.
    size_t WideSize() const { return sizeof(NETRESOURCEA) + 2 * (Size() - sizeof(NETRESOURCEA)); }
};

// An open enumeration: a heap object, live while in `enumerations`. It keeps its own
// copy of the entries, so loading another network leaves it whole.
struct Enumeration {
    std::vector<Resource> entries;
    size_t next = 0;               // the entry the next read starts with
    DWORD failure = ERROR_SUCCESS; // what every read answers instead
};

std::mutex enumerationsLock; // guards `enumerations` and every Enumeration in it
std::unordered_set<Enumeration*> enumerations;

DWORD Failed(DWORD code) {
    SetLastError(code);
    return code;
}

Resource Container(DWORD display, const std::string& name, const Provider& provider) {
    return {RESOURCETYPE_ANY,
            display,
            RESOURCEUSAGE_CONTAINER,
            WideToAnsi(Utf8ToWide(name)),
            "",
            false,
            WideToAnsi(Utf8ToWide(provider.name))};
}

// Windows lists disk and print shares, never the hidden ones whose names end in '$'.
bool Browsable(const Share& share) {
    return (share.kind == ShareKind::Disk || share.kind == ShareKind::Printer) &&
           share.name.back() != '$';
}

void AddServers(const Network& net, const Provider& provider, const Domain& domain,
                std::vector<Resource>& out) {
    for (const std::string& name : domain.servers) {
        Resource r = Container(RESOURCEDISPLAYTYPE_SERVER, "\\\\" + name, provider);
        const Server* server = net.FindServer(Utf8ToWide(name));
        r.comment = WideToAnsi(Utf8ToWide(server ? server->comment : ""));
        r.hasComment = true;
        out.push_back(std::move(r));
    }
}

// The provider a server is reached through: the first that lists it, else the first.
const Provider& ProviderOf(const Network& net, const std::u16string& server) {
    for (const Provider& p : net.providers)
        for (const Domain& d : p.domains)
            for (const std::string& s : d.servers)
                if (SameName(Utf8ToWide(s), server)) return p;
    return net.providers.front();
}

// The entries below `container`, unfiltered; or the error WNetOpenEnumA answers.
DWORD EntriesBelow(const Network& net, const NETRESOURCEA* container, std::vector<Resource>& out) {
    if (!container) {
        for (const Provider& p : net.providers) {
            out.push_back(Container(RESOURCEDISPLAYTYPE_NETWORK, p.name, p));
            out.back().usage |= UsageReserved;
        }
        return ERROR_SUCCESS;
    }
    if (!(container->dwUsage & RESOURCEUSAGE_CONTAINER)) return ERROR_NOT_CONTAINER;
    const Provider* only = nullptr;
    if (container->lpProvider) {
        std::u16string name = AnsiToWide(container->lpProvider);
        if (SameName(name, WindowsNetwork) && FaultHits(ZpFaultBadProvider))
            return ERROR_BAD_PROVIDER;
        for (const Provider& p : net.providers)
            if (!only && SameName(Utf8ToWide(p.name), name)) only = &p;
        if (!only) return ERROR_BAD_PROVIDER;
    }
    const char* remote = container->lpRemoteName;
    std::u16string wide = AnsiToWide(remote);
    if (!remote || !*remote || (only && SameName(wide, Utf8ToWide(only->name)))) {
        if (!only) return EntriesBelow(net, nullptr, out);
        for (const Domain& d : only->domains)
            out.push_back(Container(RESOURCEDISPLAYTYPE_DOMAIN, d.name, *only));
        return ERROR_SUCCESS;
    }

    if (wide.size() > 2 && wide[0] == u'\\' && wide[1] == u'\\') {
        std::u16string name = wide.substr(2);
        size_t separator = name.find(u'\\');
        bool listed = false;
        const Server* server = net.FindServer(
            separator == std::u16string::npos ? name : name.substr(0, separator), &listed);
        if (!server && !listed) return ERROR_BAD_NETPATH;
        if (separator != std::u16string::npos) {
            // \\server\share: a share holds files, not network resources.
            std::u16string share = name.substr(separator + 1);
            for (const Share& s : server ? server->shares : std::vector<Share>{})
                if (SameName(Utf8ToWide(s.name), share)) return ERROR_NOT_CONTAINER;
            return ERROR_BAD_NETPATH;
        }
        if (!server) return ERROR_SUCCESS;
        const Provider& provider = only ? *only : ProviderOf(net, name);
        for (const Share& s : server->shares) {
            if (!Browsable(s)) continue;
            out.push_back({s.kind == ShareKind::Disk ? RESOURCETYPE_DISK : RESOURCETYPE_PRINT,
                           RESOURCEDISPLAYTYPE_SHARE, RESOURCEUSAGE_CONNECTABLE,
                           WideToAnsi(Utf8ToWide("\\\\" + server->name + "\\" + s.name)),
                           WideToAnsi(Utf8ToWide(s.remark)), true,
                           WideToAnsi(Utf8ToWide(provider.name))});
        }
        return ERROR_SUCCESS;
    }

    // A domain or workgroup, looked for in the named provider or else in each in turn.
    for (const Provider& p : net.providers) {
        if (only && &p != only) continue;
        for (const Domain& d : p.domains) {
            if (!SameName(Utf8ToWide(d.name), wide)) continue;
            AddServers(net, p, d, out);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_NO_BROWSER_SERVERS_FOUND;
}

// Copies entry `e` into `buffer`: the record at `front`, its strings below `back`,
// which moves down past them.
void Store(const Resource& e, char* buffer, size_t front, size_t& back) {
    auto put = [&](const std::string& text) {
        back -= text.size() + 1;
        std::memcpy(buffer + back, text.c_str(), text.size() + 1);
        return buffer + back;
    };
    NETRESOURCEA record = {};
    record.dwScope = RESOURCE_GLOBALNET;
    record.dwType = e.type;
    record.dwDisplayType = e.displayType;
    record.dwUsage = e.usage;
    record.lpRemoteName = put(e.remote);
    record.lpComment = e.hasComment ? put(e.comment) : nullptr;
    record.lpProvider = put(e.provider);
    // The caller's buffer need not be aligned for the record.
    std::memcpy(buffer + front, &record, sizeof record);
}

// ----------------------------------------------------------------------------------
// NETAPI32 and svrapi.

std::mutex netBuffersLock;            // guards `netBuffers`
std::unordered_set<void*> netBuffers; // what the Net* calls allocated and nobody freed yet

BYTE* NewNetBuffer(size_t bytes) {
    void* block = std::calloc(1, bytes ? bytes : 1);
    if (!block) return nullptr;
    std::lock_guard<std::mutex> hold(netBuffersLock);
    netBuffers.insert(block);
    return static_cast<BYTE*>(block);
}

DWORD WINAPI NetApiBufferFreeImpl(void* buffer) {
    if (!buffer) return NERR_Success;
    std::lock_guard<std::mutex> hold(netBuffersLock);
    // A block the calls did not hand out, or one freed already, is refused, not freed.
    if (!netBuffers.erase(buffer)) return ERROR_INVALID_PARAMETER;
    std::free(buffer);
    return NERR_Success;
}

// How many of the entries, from `first`, one answer of at most `prefMaxLength` bytes
// holds: at least one, so that a caller asking for too little still gets on.
size_t Fitting(const std::vector<size_t>& sizes, size_t first, DWORD prefMaxLength, size_t* bytes) {
    size_t count = 0;
    *bytes = 0;
    for (size_t i = first; i < sizes.size(); ++i) {
        if (count && prefMaxLength != MAX_PREFERRED_LENGTH && *bytes + sizes[i] > prefMaxLength)
            break;
        *bytes += sizes[i];
        ++count;
    }
    return count;
}

size_t WideBytes(const std::u16string& text) {
    return (text.size() + 1) * sizeof(WCHAR);
}

WCHAR* PutWide(BYTE*& strings, const std::u16string& text) {
    WCHAR* at = reinterpret_cast<WCHAR*>(strings);
    std::memcpy(at, text.c_str(), WideBytes(text));
    strings += WideBytes(text);
    return at;
}

// The server a listing call names, with or without its leading backslashes; null with
// `code` set when it cannot be listed.
const Server* ListedServer(const Network& net, const std::u16string& name, DWORD* code) {
    bool listed = false;
    const Server* server = net.FindServer(name, &listed);
    *code = server || listed ? NERR_Success : ERROR_BAD_NETPATH;
    if (*code == NERR_Success && ((server && server->denied) || FaultHits(ZpFaultShareListDenied)))
        *code = ERROR_ACCESS_DENIED;
    return server;
}

DWORD WINAPI NetServerEnumImpl(const WCHAR* serverName, DWORD level, BYTE** buffer,
                               DWORD prefMaxLength, DWORD* entriesRead, DWORD* totalEntries,
                               DWORD /*serverType: every server is listed*/,
                               const WCHAR* domainName, DWORD* resume) {
    if (!buffer || !entriesRead || !totalEntries) return ERROR_INVALID_PARAMETER;
    *buffer = nullptr;
    *entriesRead = *totalEntries = 0;
    std::shared_ptr<const Network> net = CurrentNetwork();
    if (!net) return ERROR_NO_NETWORK;
    if (level != 100) return ERROR_INVALID_LEVEL;
    if (serverName && *serverName) {
        bool listed = false;
        if (!net->FindServer(serverName, &listed) && !listed) return ERROR_BAD_NETPATH;
    }
    std::u16string wanted =
        domainName && *domainName ? std::u16string(domainName) : Utf8ToWide(net->domain);
    const Domain* domain = nullptr;
    for (const Provider& p : net->providers)
        for (const Domain& d : p.domains)
            if (!domain && !wanted.empty() && SameName(Utf8ToWide(d.name), wanted)) domain = &d;
    if (!domain) return ERROR_NO_BROWSER_SERVERS_FOUND;

    std::vector<std::u16string> names;
    std::vector<size_t> sizes;
    for (const std::string& s : domain->servers) {
        names.push_back(Utf8ToWide(s));
        sizes.push_back(sizeof(SERVER_INFO_100) + WideBytes(names.back()));
    }
    size_t first = resume ? std::min<size_t>(*resume, names.size()) : 0, bytes;
    size_t count = Fitting(sizes, first, prefMaxLength, &bytes);
    *totalEntries = static_cast<DWORD>(names.size() - first);
    if (count) {
        *buffer = NewNetBuffer(bytes);
        if (!*buffer) return ERROR_NOT_ENOUGH_MEMORY;
        auto* records = reinterpret_cast<SERVER_INFO_100*>(*buffer);
        BYTE* strings = *buffer + count * sizeof(SERVER_INFO_100);
        for (size_t i = 0; i < count; ++i)
            records[i] = {PLATFORM_ID_NT, PutWide(strings, names[first + i])};
    }
    *entriesRead = static_cast<DWORD>(count);
    bool more = first + count < names.size();
    if (resume) *resume = more ? static_cast<DWORD>(first + count) : 0;
    return more ? ERROR_MORE_DATA : NERR_Success;
}

DWORD NtShareType(ShareKind kind) {
    switch (kind) {
    case ShareKind::Disk:
        return STYPE_DISKTREE;
    case ShareKind::Printer:
        return STYPE_PRINTQ;
    case ShareKind::Device:
        return STYPE_DEVICE;
    case ShareKind::Ipc:
        return STYPE_IPC | STYPE_SPECIAL; // IPC$ is the system's own
    case ShareKind::Special:
        return STYPE_DISKTREE | STYPE_SPECIAL;
    }
    return STYPE_DISKTREE;
}

DWORD WINAPI NetShareEnumNt(WCHAR* serverName, DWORD level, BYTE** buffer, DWORD prefMaxLength,
                            DWORD* entriesRead, DWORD* totalEntries, DWORD* resume) {
    if (!buffer || !entriesRead || !totalEntries) return ERROR_INVALID_PARAMETER;
    *buffer = nullptr;
    *entriesRead = *totalEntries = 0;
    std::shared_ptr<const Network> net = CurrentNetwork();
    if (!net) return ERROR_NO_NETWORK;
    if (level != 1) return ERROR_INVALID_LEVEL;
    // The local machine shares nothing in the simulated network.
    if (!serverName || !*serverName) return NERR_Success;
    DWORD code;
    const Server* server = ListedServer(*net, serverName, &code);
    if (code != NERR_Success || !server) return code;

    const std::vector<Share>& shares = server->shares;
    std::vector<std::u16string> names, remarks;
    std::vector<size_t> sizes;
    for (const Share& s : shares) {
        names.push_back(Utf8ToWide(s.name));
        remarks.push_back(Utf8ToWide(s.remark));
        sizes.push_back(sizeof(SHARE_INFO_1) + WideBytes(names.back()) + WideBytes(remarks.back()));
    }
    size_t first = resume ? std::min<size_t>(*resume, shares.size()) : 0, bytes;
    size_t count = Fitting(sizes, first, prefMaxLength, &bytes);
    *totalEntries = static_cast<DWORD>(shares.size() - first);
    if (count) {
        *buffer = NewNetBuffer(bytes);
        if (!*buffer) return ERROR_NOT_ENOUGH_MEMORY;
        auto* records = reinterpret_cast<SHARE_INFO_1*>(*buffer);
        BYTE* strings = *buffer + count * sizeof(SHARE_INFO_1);
        for (size_t i = 0; i < count; ++i) {
            size_t k = first + i;
            records[i].shi1_netname = PutWide(strings, names[k]);
            records[i].shi1_type = NtShareType(shares[k].kind);
            records[i].shi1_remark = PutWide(strings, remarks[k]);
        }
    }
    *entriesRead = static_cast<DWORD>(count);
    bool more = first + count < shares.size();
    if (resume) *resume = more ? static_cast<DWORD>(first + count) : 0;
    return more ? ERROR_MORE_DATA : NERR_Success;
}

// The other family's form: the caller's buffer, 16-bit sizes and counts, names of at
// most 12 bytes. A longer name has no form here and is left out, counts included: a
// cut name would name another share.
DWORD WINAPI NetShareEnumOther(const char* serverName, short level, char* buffer,
                               unsigned short bufferSize, unsigned short* entriesRead,
                               unsigned short* totalAvailable) {
    if (!entriesRead || !totalAvailable || (!buffer && bufferSize)) return ERROR_INVALID_PARAMETER;
    *entriesRead = *totalAvailable = 0;
    std::shared_ptr<const Network> net = CurrentNetwork();
    if (!net) return ERROR_NO_NETWORK;
    if (level != 1) return ERROR_INVALID_LEVEL;
    if (!serverName || !*serverName) return NERR_Success;
    DWORD code;
    const Server* server = ListedServer(*net, AnsiToWide(serverName), &code);
    if (code != NERR_Success || !server) return code;

    constexpr size_t NameRoom = sizeof ZpShareInfo1Other::shi1_netname;
    struct Listed {
        std::string name, remark;
        unsigned short type;
    };
    std::vector<Listed> shares;
    for (const Share& s : server->shares) {
        // This family keeps no administrative shares, and its 16-bit type could not
        // mark one as such.
        if (s.kind == ShareKind::Special) continue;
        std::string name = WideToAnsi(Utf8ToWide(s.name));
        if (name.size() >= NameRoom) continue;
        unsigned short type = s.kind == ShareKind::Printer  ? STYPE_PRINTQ
                              : s.kind == ShareKind::Device ? STYPE_DEVICE
                              : s.kind == ShareKind::Ipc    ? STYPE_IPC
                                                            : STYPE_DISKTREE;
        shares.push_back({name, WideToAnsi(Utf8ToWide(s.remark)), type});
        if (shares.size() == 0xFFFF) break; // all a 16-bit count can say
    }
    *totalAvailable = static_cast<unsigned short>(shares.size());
    if (!buffer || !bufferSize) return shares.empty() ? NERR_Success : ERROR_MORE_DATA;

    size_t front = 0, back = bufferSize, n = 0;
    for (const Listed& s : shares) {
        if (back - front < sizeof(ZpShareInfo1Other) + s.remark.size() + 1) break;
        back -= s.remark.size() + 1;
        std::memcpy(buffer + back, s.remark.c_str(), s.remark.size() + 1);
        ZpShareInfo1Other record = {};
        std::memcpy(record.shi1_netname, s.name.c_str(), s.name.size() + 1);
        record.shi1_type = s.type;
        record.shi1_remark = buffer + back;
        std::memcpy(buffer + front, &record, sizeof record);
        front += sizeof record;
        ++n;
    }
    *entriesRead = static_cast<unsigned short>(n);
    return n < shares.size() ? ERROR_MORE_DATA : NERR_Success;
}

// Through the generic function type, as a GetProcAddress result is cast back.
template <typename Fn> FARPROC AsProc(Fn fn) {
    using AnyFn = void (*)();
    return reinterpret_cast<FARPROC>(reinterpret_cast<AnyFn>(fn));
}

} // namespace

FARPROC NetworkProc(Library library, const char* name) {
    if (std::strcmp(name, "NetShareEnum") == 0 && FaultHits(ZpFaultNoNetShareEnum)) return nullptr;
    if (library == Library::Svrapi)
        return std::strcmp(name, "NetShareEnum") == 0 ? AsProc(&NetShareEnumOther) : nullptr;
    if (std::strcmp(name, "NetServerEnum") == 0) return AsProc(&NetServerEnumImpl);
    if (std::strcmp(name, "NetShareEnum") == 0) return AsProc(&NetShareEnumNt);
    if (std::strcmp(name, "NetApiBufferFree") == 0) return AsProc(&NetApiBufferFreeImpl);
    return nullptr;
}

} // namespace zp

using namespace zp;

extern "C" {

DWORD WNetOpenEnumA(DWORD scope, DWORD type, DWORD usage, NETRESOURCEA* container, HANDLE* handle) {
    if (!handle) return Failed(ERROR_INVALID_ADDRESS);
    *handle = nullptr;
    std::shared_ptr<const Network> net = CurrentNetwork();
    if (!net || net->providers.empty()) return Failed(ERROR_NO_NETWORK);
    if (type != RESOURCETYPE_ANY && type != RESOURCETYPE_DISK && type != RESOURCETYPE_PRINT)
        return Failed(ERROR_INVALID_PARAMETER);
    auto enumeration = std::make_unique<Enumeration>();
    if (scope == RESOURCE_GLOBALNET) {
        std::vector<Resource> all;
        DWORD code = EntriesBelow(*net, container, all);
        // Without a provider the layer opens at once and asks the providers at the
        // first read, which then answers what they said.
        bool deferred = container && !container->lpProvider && container->lpRemoteName &&
                        *container->lpRemoteName;
        if (code != ERROR_SUCCESS && !deferred) return Failed(code);
        enumeration->failure = code;
        usage &= RESOURCEUSAGE_CONNECTABLE | RESOURCEUSAGE_CONTAINER;
        for (Resource& r : all) {
            // The type sorts shares; containers hold shares of every type.
            bool typeFits =
                type == RESOURCETYPE_ANY || r.type == RESOURCETYPE_ANY || r.type == type;
            if (typeFits && (!usage || (r.usage & usage)))
                enumeration->entries.push_back(std::move(r));
        }
    } else if (scope != RESOURCE_CONNECTED && scope != RESOURCE_REMEMBERED) {
        return Failed(ERROR_INVALID_PARAMETER);
    } // Nothing is connected or remembered: those enumerations are empty.
    std::lock_guard<std::mutex> hold(enumerationsLock);
    enumerations.insert(enumeration.get());
    *handle = enumeration.release();
    return ERROR_SUCCESS;
}

DWORD WNetEnumResourceA(HANDLE handle, DWORD* count, void* buffer, DWORD* bufferSize) {
    std::unique_lock<std::mutex> hold(enumerationsLock);
    auto found = enumerations.find(static_cast<Enumeration*>(handle));
    if (found == enumerations.end()) {
        hold.unlock();
        return Failed(CurrentNetwork() ? ERROR_INVALID_HANDLE : ERROR_NO_NETWORK);
    }
    if (!count || !bufferSize || !buffer) return Failed(ERROR_INVALID_ADDRESS);
    if (*bufferSize < sizeof(NETRESOURCEA)) {
        *bufferSize = sizeof(NETRESOURCEA); // a record, whatever the entry's strings need
        return Failed(ERROR_MORE_DATA);
    }
    Enumeration& e = **found;
    if (e.failure != ERROR_SUCCESS) return Failed(e.failure);
    if (*count == 0) return Failed(ERROR_INVALID_PARAMETER);
    if (e.next == e.entries.size()) return Failed(ERROR_NO_MORE_ITEMS);
    if (FaultHits(ZpFaultMoreData)) {
        *bufferSize = static_cast<DWORD>(e.entries[e.next].Size());
        return Failed(ERROR_MORE_DATA);
    }
    char* bytes = static_cast<char*>(buffer);
    size_t front = 0, back = *bufferSize, wide = 0;
    DWORD written = 0;
    while (written < *count && e.next < e.entries.size()) {
        const Resource& entry = e.entries[e.next];
        if (wide + entry.WideSize() > *bufferSize) break;
        wide += entry.WideSize();
        Store(entry, bytes, front, back);
        front += sizeof(NETRESOURCEA);
        ++written;
        ++e.next;
    }
    // An entry too large for the buffer is not read, and the answer is success with
    // no entries (the size it needs is not told), as Wine's mpr.dll answers.
    *count = written;
    return ERROR_SUCCESS;
}

DWORD WNetCloseEnum(HANDLE handle) {
    std::unique_lock<std::mutex> hold(enumerationsLock);
    auto found = enumerations.find(static_cast<Enumeration*>(handle));
    if (found == enumerations.end()) {
        hold.unlock();
        return Failed(CurrentNetwork() ? ERROR_INVALID_HANDLE : ERROR_NO_NETWORK);
    }
    delete *found;
    enumerations.erase(found);
    return ERROR_SUCCESS;
}

bool ZpShareDirectory(const char* server, const char* share, char* dir, size_t dirSize) {
    if (dir && dirSize) dir[0] = '\0';
    if (!server || !share || !dir) return false;
    std::shared_ptr<const Network> net = CurrentNetwork();
    if (!net) return false;
    const Server* found = net->FindServer(Utf8ToWide(server));
    if (!found) return false;
    for (const Share& s : found->shares) {
        if (!SameName(Utf8ToWide(s.name), Utf8ToWide(share))) continue;
        if (s.path.empty() || s.path.size() >= dirSize) return false;
        std::memcpy(dir, s.path.c_str(), s.path.size() + 1);
        return true;
    }
    return false;
}

} // extern "C"
