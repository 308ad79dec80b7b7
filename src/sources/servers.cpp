// Server names for a word like '\\ser': the whole network walked once, the current
// domain listed at once (NT family), or the workgroup one server per call.
#include <cstring>

#include "engine/state.h"
#include "engine/text.h"
#include "host/host.h"
#include "sources/bounded.h"
#include "sources/network.h"

namespace zarelin {

namespace {

char WindowsNetwork[] = "Microsoft Windows Network";

constexpr DWORD WalkBufferSize = 16384;
constexpr DWORD WalkEntries = WalkBufferSize / sizeof(NETRESOURCEA);
// The network's own nesting is three levels (provider, domain, server); a deeper or
// looping one is cut here rather than exhausting the stack.
constexpr int32_t WalkDepthLimit = 16;
constexpr size_t RemoteNameBuffer = 2000;

bool IsContainerToWalk(const NETRESOURCEA& entry) {
    DWORD type = entry.dwDisplayType;
    return (type == RESOURCEDISPLAYTYPE_NETWORK || type == RESOURCEDISPLAYTYPE_ROOT ||
            type == RESOURCEDISPLAYTYPE_DOMAIN) &&
           (entry.dwUsage & RESOURCEUSAGE_CONTAINER);
}

} // namespace

NETRESOURCEA ServerResource = {RESOURCE_GLOBALNET,
                               RESOURCETYPE_DISK,
                               RESOURCEDISPLAYTYPE_SERVER,
                               RESOURCEUSAGE_CONTAINER,
                               nullptr,
                               Workgroup,
                               EmptyComment,
                               WindowsNetwork};

namespace {

// Adds every server below `container` (null: the whole network) to the call's names,
// depth first, in the OEM code page. On the worker.
void WalkNetwork(NetCall& call, NETRESOURCEA* container, int32_t depth) {
    if (depth > WalkDepthLimit) return;
    HANDLE handle = nullptr;
    if (os.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, container, &handle) !=
        ERROR_SUCCESS)
        return;
    auto* batch = static_cast<NETRESOURCEA*>(os.LocalAlloc(LMEM_ZEROINIT, WalkBufferSize));
    if (batch) {
        for (;;) {
            std::memset(batch, 0, WalkBufferSize);
            DWORD count = 0xFFFFFFFF;
            DWORD size = WalkBufferSize;
            if (os.WNetEnumResourceA(handle, &count, batch, &size) != ERROR_SUCCESS || count == 0)
                break;
            if (count > WalkEntries) count = WalkEntries;
            for (DWORD i = 0; i < count; ++i) {
                NETRESOURCEA& entry = batch[i];
                if (entry.dwDisplayType == RESOURCEDISPLAYTYPE_SERVER && entry.lpRemoteName) {
                    char name[RemoteNameBuffer];
                    if (std::strlen(entry.lpRemoteName) >= sizeof name) continue;
                    os.CharToOemA(entry.lpRemoteName, name);
                    AddName(call, name);
                } else if (IsContainerToWalk(entry)) {
                    WalkNetwork(call, &entry, depth + 1);
                }
            }
        }
        os.LocalFree(batch);
    }
    os.WNetCloseEnum(handle);
}

void ListWholeNetwork(NetCall& call) {
    WalkNetwork(call, nullptr, 0);
}

// The current domain's servers, in the OEM code page (NT family). On the worker.
void ListDomain(NetCall& call) {
    BYTE* buffer = nullptr;
    DWORD read = 0, total = 0, resume = 0;
    call.Error = Net.NetServerEnum(nullptr, 100, &buffer, MAX_PREFERRED_LENGTH, &read, &total,
                                   SV_TYPE_ALL, nullptr, &resume);
    if (call.Error == NERR_Success && read == 0) call.Error = ERROR_NO_MORE_ITEMS;
    if (call.Error == NERR_Success) {
        const auto* servers = reinterpret_cast<const SERVER_INFO_100*>(buffer);
        for (DWORD i = 0; i < read; ++i) {
            char name[sizeof Candidate::Name];
            if (servers[i].sv100_name && WideToOem(servers[i].sv100_name, name, sizeof name))
                AddName(call, name);
        }
    }
    if (buffer) Net.NetApiBufferFree(buffer);
}

} // namespace

int32_t CompletionState::ListNames(void (*list)(NetCall& call), const char* target) {
    if (EnumHandle != EnumNone && !Resumes(CallKind::Names)) return 0;
    NetCall* fresh = nullptr;
    if (EnumHandle == EnumNone) {
        fresh = NewCall(CallKind::Names, target);
        if (!fresh) return 0;
        fresh->List = list;
        fresh->Family = IsNT;
        CopyBounded(fresh->Text, sizeof fresh->Text, Mask);
    }
    NetCall* call = Await(fresh);
    if (!call) return 0;
    // A list that could not be had is asked for again by the next command.
    EnumHandle = call->Error == ERROR_SUCCESS ? EnumReadWhole : EnumNone;
    // Matching asks the host, so it happens here, on the host's thread.
    const char* pattern = Mask + NetPattern;
    uint32_t cursor = 0;
    while (const char* name = NextName(*call, &cursor)) {
        if (!MatchName(pattern, name)) continue;
        // On the NT family a server word keeps its two backslashes and the candidate is
        // the bare name (see StartSearch).
        bool bare = NetPattern == ServerPattern && IsNT && name[0] == '\\' && name[1] == '\\';
        AddCandidate(bare ? name + 2 : name, "", 1);
    }
    EndCall(call);
    return CandidateCount > 0;
}

int32_t CompletionState::FetchServerName() {
    const char* pattern = Mask + NetPattern;

    if (!CurrentDomainOnly) return ListNames(ListWholeNetwork, "");

    if (IsNT) {
        // Without the listing calls (not found at start-up) the domain yields nothing.
        if (!Net.NetServerEnum || !Net.NetApiBufferFree) return 0;
        return ListNames(ListDomain, "");
    }

    // The workgroup, one server per call. The names keep their two backslashes and
    // the ANSI code page, as the platform returns them.
    if (EnumHandle == EnumReadWhole) return 0; // read whole before an option changed
    if (EnumHandle == EnumPending && !Resumes(CallKind::OpenEnum) && !Resumes(CallKind::ReadEntry))
        return 0; // a listing read whole when the option was other
    if ((EnumHandle == EnumNone || Resumes(CallKind::OpenEnum)) &&
        !OpenNetEnumeration(ServerResource, RESOURCEUSAGE_CONTAINER))
        return 0;
    while (NETRESOURCEA* entry = ReadNetEntry()) {
        // Without a workgroup name the platform lists the provider's domains instead:
        // those are no servers to insert.
        if (entry->dwDisplayType != RESOURCEDISPLAYTYPE_SERVER) continue;
        const char* name = entry->lpRemoteName;
        if (!name || std::strlen(name) >= sizeof Candidate::Name) continue;
        if (MatchName(pattern, name)) return AddCandidate(name, "", 1);
    }
    return 0;
}

} // namespace zarelin
