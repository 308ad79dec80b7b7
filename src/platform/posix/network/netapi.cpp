// Server and share listing (NETAPI32 on the NT family, svrapi on the other) over the
// network: the servers of a domain from the model, a server's shares from whichever
// backend answers for it. The libraries are there without a network too, as on
// Windows; their calls then answer ERROR_NO_NETWORK.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "network/network.h"
#include "win32.h"
#include "zp_network.h"

namespace zp {

namespace {

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
// `code` set when it cannot be listed. A known server answers, refusal included, only
// after its delay.
const Server* ListedServer(const Network& net, const std::u16string& name, DWORD* code) {
    bool listed = false;
    const Server* server = net.FindServer(name, &listed);
    if (server) WaitAsServer(server->delayMs);
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
    WaitAsServer(domain->delayMs);

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
    std::vector<Share> shares;
    if ((code = ServerShares(*server, &shares)) != NERR_Success) return code;

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
    std::vector<Share> all;
    if ((code = ServerShares(*server, &all)) != NERR_Success) return code;

    constexpr size_t NameRoom = sizeof ZpShareInfo1Other::shi1_netname;
    struct Listed {
        std::string name, remark;
        unsigned short type;
    };
    std::vector<Listed> shares;
    for (const Share& s : all) {
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
