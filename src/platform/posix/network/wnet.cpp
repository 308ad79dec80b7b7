// Network enumeration (mpr): WNetOpenEnumA/W, WNetEnumResourceA/W and WNetCloseEnum
// over the network: providers, domains and servers from the model, and a server's shares
// from whichever backend answers for it. Without a network every call answers
// ERROR_NO_NETWORK, as on a machine without one.
#include <cstring>
#include <mutex>
#include <type_traits>
#include <unordered_set>

#include "network/network.h"
#include "win32.h"
#include "zp_network.h"

namespace zp {

namespace {

const char16_t WindowsNetwork[] = u"Microsoft Windows Network";

// The root lists each provider as a container with this bit too, as Windows does.
constexpr DWORD UsageReserved = 0x80000000u;

// ----------------------------------------------------------------------------------
// Network enumeration.

// One entry as the enumeration hands it out; the A calls convert its strings to the
// ANSI page as they copy them.
struct Resource {
    DWORD type;
    DWORD displayType;
    DWORD usage;
    std::u16string remote;
    std::u16string comment;
    bool hasComment; // providers and domains have none: a null lpComment
    std::u16string provider;

    // What the entry takes in the caller's buffer in UTF-16: the record and its
    // strings. The A call reads the entries into a buffer of the caller's size in that
    // form first, so it needs as much, though its own strings take half.
    size_t Size() const {
        size_t units =
            remote.size() + 1 + provider.size() + 1 + (hasComment ? comment.size() + 1 : 0);
        return sizeof(NETRESOURCEW) + 2 * units;
    }
};

// An open enumeration: a heap object, live while in `enumerations`. It keeps its own
// copy of the entries, so loading another network leaves it whole.
struct Enumeration {
    std::vector<Resource> entries;
    size_t next = 0;               // the entry the next read starts with
    DWORD failure = ERROR_SUCCESS; // what every read answers instead
    int delayMs = 0;               // what every read waits: a slow server's or domain's
};

std::mutex enumerationsLock; // guards `enumerations` and every Enumeration in it
std::unordered_set<Enumeration*> enumerations;

DWORD Failed(DWORD code) {
    SetLastError(code);
    return code;
}

// A provider, domain or server: `name` is its name as handed out.
Resource Container(DWORD display, const std::u16string& name, const Provider& provider) {
    return {RESOURCETYPE_ANY, display, RESOURCEUSAGE_CONTAINER, name, u"", false, provider.wide};
}

// Windows lists disk and print shares, never the hidden ones whose names end in '$'.
bool Browsable(const Share& share) {
    return (share.kind == ShareKind::Disk || share.kind == ShareKind::Printer) &&
           share.name.back() != '$';
}

void AddServers(const Network& net, const Provider& provider, const Domain& domain,
                std::vector<Resource>& out) {
    for (size_t i = 0; i < domain.servers.size(); ++i) {
        Resource r = Container(RESOURCEDISPLAYTYPE_SERVER, domain.wideServers[i], provider);
        const Server* server = net.FindKey(domain.keys[i]);
        r.comment = server ? server->wideComment : u"";
        r.hasComment = true;
        out.push_back(std::move(r));
    }
}

// The provider a server is reached through: the first that lists it, else the first.
const Provider& ProviderOf(const Network& net, const std::u16string& server) {
    const std::u16string key = Fold(server);
    for (const Provider& p : net.providers)
        for (const Domain& d : p.domains)
            if (Network::Lists(d, key)) return p;
    return net.providers.front();
}

// The entries below `container`, unfiltered; or the error WNetOpenEnum answers.
// `delayMs` receives the delay of the server or domain that answers, if one does.
DWORD EntriesBelow(const Network& net, const NETRESOURCEW* container, std::vector<Resource>& out,
                   int* delayMs) {
    if (!container) {
        for (const Provider& p : net.providers) {
            out.push_back(Container(RESOURCEDISPLAYTYPE_NETWORK, p.wide, p));
            out.back().usage |= UsageReserved;
        }
        return ERROR_SUCCESS;
    }
    if (!(container->dwUsage & RESOURCEUSAGE_CONTAINER)) return ERROR_NOT_CONTAINER;
    const Provider* only = nullptr;
    if (container->lpProvider) {
        std::u16string name = container->lpProvider;
        if (SameName(name, WindowsNetwork) && FaultHits(ZpFaultBadProvider))
            return ERROR_BAD_PROVIDER;
        const std::u16string key = Fold(name);
        for (const Provider& p : net.providers)
            if (!only && p.key == key) only = &p;
        if (!only) return ERROR_BAD_PROVIDER;
    }
    std::u16string wide = container->lpRemoteName ? container->lpRemoteName : u"";
    const std::u16string key = Fold(wide);
    if (wide.empty() || (only && key == only->key)) {
        if (!only) return EntriesBelow(net, nullptr, out, delayMs);
        for (const Domain& d : only->domains)
            out.push_back(Container(RESOURCEDISPLAYTYPE_DOMAIN, d.wide, *only));
        return ERROR_SUCCESS;
    }

    if (wide.size() > 2 && wide[0] == u'\\' && wide[1] == u'\\') {
        std::u16string name = wide.substr(2);
        size_t separator = name.find(u'\\');
        bool listed = false;
        const Server* server = net.FindServer(
            separator == std::u16string::npos ? name : name.substr(0, separator), &listed);
        if (!server && !listed) return ERROR_BAD_NETPATH;
        if (!server) return separator == std::u16string::npos ? ERROR_SUCCESS : ERROR_BAD_NETPATH;
        *delayMs = server->delayMs;
        std::vector<Share> shares;
        DWORD code = ServerShares(*server, &shares);
        if (code != ERROR_SUCCESS) return code;
        if (separator != std::u16string::npos) {
            // \\server\share: a share holds files, not network resources.
            std::u16string share = name.substr(separator + 1);
            for (const Share& s : shares)
                if (SameName(Utf8ToWide(s.name), share)) return ERROR_NOT_CONTAINER;
            return ERROR_BAD_NETPATH;
        }
        const Provider& provider = only ? *only : ProviderOf(net, name);
        for (const Share& s : shares) {
            if (!Browsable(s)) continue;
            out.push_back({s.kind == ShareKind::Disk ? RESOURCETYPE_DISK : RESOURCETYPE_PRINT,
                           RESOURCEDISPLAYTYPE_SHARE, RESOURCEUSAGE_CONNECTABLE,
                           Utf8ToWide("\\\\" + server->name + "\\" + s.name), Utf8ToWide(s.remark),
                           true, provider.wide});
        }
        return ERROR_SUCCESS;
    }

    // A domain or workgroup, looked for in the named provider or else in each in turn.
    for (const Provider& p : net.providers) {
        if (only && &p != only) continue;
        for (const Domain& d : p.domains) {
            if (d.key != key) continue;
            *delayMs = d.delayMs;
            AddServers(net, p, d, out);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_NO_BROWSER_SERVERS_FOUND;
}

// The delay of an open enumeration's server or domain; 0 for a handle that is none.
int DelayOf(HANDLE handle) {
    std::lock_guard<std::mutex> hold(enumerationsLock);
    auto found = enumerations.find(static_cast<Enumeration*>(handle));
    return found == enumerations.end() ? 0 : (*found)->delayMs;
}

DWORD OpenEnumeration(DWORD scope, DWORD type, DWORD usage, const NETRESOURCEW* container,
                      HANDLE* handle) {
    if (!handle) return Failed(ERROR_INVALID_ADDRESS);
    *handle = nullptr;
    std::shared_ptr<const Network> net = CurrentNetwork();
    if (!net || net->providers.empty()) return Failed(ERROR_NO_NETWORK);
    if (type != RESOURCETYPE_ANY && type != RESOURCETYPE_DISK && type != RESOURCETYPE_PRINT)
        return Failed(ERROR_INVALID_PARAMETER);
    auto enumeration = std::make_unique<Enumeration>();
    if (scope == RESOURCE_GLOBALNET) {
        std::vector<Resource> all;
        DWORD code = EntriesBelow(*net, container, all, &enumeration->delayMs);
        WaitAsServer(enumeration->delayMs);
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

// Copies `text` to `at` as the A call hands it out (ANSI, one byte per unit) or as
// the W call does.
void PutText(const std::u16string& text, char* at, CHAR) {
    std::memcpy(at, WideToAnsi(text).c_str(), text.size() + 1);
}
void PutText(const std::u16string& text, char* at, WCHAR) {
    std::memcpy(at, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
}

// Copies entry `e` into `buffer`: the record at `front`, its strings below `back`,
// which moves down past them.
template <typename Record> void Store(const Resource& e, char* buffer, size_t front, size_t& back) {
    using Unit = std::remove_pointer_t<decltype(Record::lpRemoteName)>;
    auto put = [&](const std::u16string& text) {
        back -= (text.size() + 1) * sizeof(Unit);
        PutText(text, buffer + back, Unit());
        return reinterpret_cast<Unit*>(buffer + back);
    };
    Record record = {};
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

template <typename Record>
DWORD ReadEnumeration(HANDLE handle, DWORD* count, void* buffer, DWORD* bufferSize) {
    // Waited without the lock, so that a slow server holds up its own reads alone.
    WaitAsServer(DelayOf(handle));
    std::unique_lock<std::mutex> hold(enumerationsLock);
    auto found = enumerations.find(static_cast<Enumeration*>(handle));
    if (found == enumerations.end()) {
        hold.unlock();
        return Failed(CurrentNetwork() ? ERROR_INVALID_HANDLE : ERROR_NO_NETWORK);
    }
    if (!count || !bufferSize || !buffer) return Failed(ERROR_INVALID_ADDRESS);
    if (*bufferSize < sizeof(Record)) {
        *bufferSize = sizeof(Record); // a record, whatever the entry's strings need
        return Failed(ERROR_MORE_DATA);
    }
    Enumeration& e = **found;
    if (e.failure != ERROR_SUCCESS) return Failed(e.failure);
    if (*count == 0) return Failed(ERROR_INVALID_PARAMETER);
    if (e.next == e.entries.size()) return Failed(ERROR_NO_MORE_ITEMS);
    // Not even the next entry fits (or a test says so): the caller learns the size it
    // needs, as Windows documents. Wine's mpr answers success with no entries instead.
    if (e.entries[e.next].Size() > *bufferSize || FaultHits(ZpFaultMoreData)) {
        *bufferSize = static_cast<DWORD>(e.entries[e.next].Size());
        return Failed(ERROR_MORE_DATA);
    }
    char* bytes = static_cast<char*>(buffer);
    // UTF-16 strings start on an even offset; the sizes counted are even, so they fit.
    size_t front = 0, back = *bufferSize & ~size_t{1}, used = 0;
    DWORD written = 0;
    while (written < *count && e.next < e.entries.size()) {
        const Resource& entry = e.entries[e.next];
        if (used + entry.Size() > *bufferSize) break;
        used += entry.Size();
        Store<Record>(entry, bytes, front, back);
        front += sizeof(Record);
        ++written;
        ++e.next;
    }
    *count = written;
    return ERROR_SUCCESS;
}

} // namespace

} // namespace zp

using namespace zp;

extern "C" {

DWORD WNetOpenEnumW(DWORD scope, DWORD type, DWORD usage, NETRESOURCEW* container, HANDLE* handle) {
    return OpenEnumeration(scope, type, usage, container, handle);
}

DWORD WNetOpenEnumA(DWORD scope, DWORD type, DWORD usage, NETRESOURCEA* container, HANDLE* handle) {
    if (!container) return OpenEnumeration(scope, type, usage, nullptr, handle);
    // The container's names in UTF-16, a null one kept null.
    std::u16string remote = AnsiToWide(container->lpRemoteName);
    std::u16string provider = AnsiToWide(container->lpProvider);
    NETRESOURCEW wide = {};
    wide.dwUsage = container->dwUsage;
    wide.lpRemoteName = container->lpRemoteName ? &remote[0] : nullptr;
    wide.lpProvider = container->lpProvider ? &provider[0] : nullptr;
    return OpenEnumeration(scope, type, usage, &wide, handle);
}

DWORD WNetEnumResourceW(HANDLE handle, DWORD* count, void* buffer, DWORD* bufferSize) {
    return ReadEnumeration<NETRESOURCEW>(handle, count, buffer, bufferSize);
}

DWORD WNetEnumResourceA(HANDLE handle, DWORD* count, void* buffer, DWORD* bufferSize) {
    return ReadEnumeration<NETRESOURCEA>(handle, count, buffer, bufferSize);
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

} // extern "C"
