// Server names for a word like '\\ser': the whole network walked once, the current
// domain listed at once (NT family), or the workgroup one server per call.
#include <cstring>

#include "engine/state.h"
#include "engine/text.h"
#include "host/host.h"
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

int32_t CompletionState::EnumNetwork(NETRESOURCEA* container, int32_t depth) {
    if (depth > WalkDepthLimit) return 0;
    HANDLE handle = nullptr;
    if (os.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, container, &handle) !=
        ERROR_SUCCESS)
        return 0;
    auto* batch = static_cast<NETRESOURCEA*>(os.LocalAlloc(LMEM_ZEROINIT, WalkBufferSize));
    if (batch) {
        const char* pattern = Mask + NetPattern;
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
                    if (!MatchName(pattern, name)) continue;
                    // On the NT family the word keeps its two backslashes and the
                    // candidate is the bare name (see StartSearch).
                    bool bare = IsNT && name[0] == '\\' && name[1] == '\\';
                    AddCandidate(bare ? name + 2 : name, "", 1);
                } else if (IsContainerToWalk(entry)) {
                    EnumNetwork(&entry, depth + 1);
                }
            }
        }
        os.LocalFree(batch);
    }
    return os.WNetCloseEnum(handle) == ERROR_SUCCESS;
}

int32_t CompletionState::FetchServerName() {
    const char* pattern = Mask + NetPattern;

    if (!CurrentDomainOnly) {
        if (EnumHandle != EnumNone) return 0;
        EnumNetwork(nullptr);
        EnumHandle = EnumReadWhole;
        return CandidateCount > 0;
    }

    if (IsNT) {
        if (EnumHandle != EnumNone) return 0;
        // Without the listing calls (not found at start-up) the domain yields nothing.
        if (!Net.NetServerEnum || !Net.NetApiBufferFree) return 0;
        BYTE* buffer = nullptr;
        DWORD read = 0, total = 0, resume = 0;
        DWORD result = Net.NetServerEnum(nullptr, 100, &buffer, MAX_PREFERRED_LENGTH, &read, &total,
                                         SV_TYPE_ALL, nullptr, &resume);
        if (result != NERR_Success || read == 0) {
            if (buffer) Net.NetApiBufferFree(buffer);
            return 0;
        }
        const auto* servers = reinterpret_cast<const SERVER_INFO_100*>(buffer);
        for (DWORD i = 0; i < read; ++i) {
            char name[sizeof Candidate::Name];
            if (!servers[i].sv100_name || !WideToOem(servers[i].sv100_name, name, sizeof name))
                continue;
            if (MatchName(pattern, name)) AddCandidate(name, "", 1);
        }
        Net.NetApiBufferFree(buffer);
        EnumHandle = EnumReadWhole;
        return CandidateCount > 0;
    }

    // The workgroup, one server per call. The names keep their two backslashes and
    // the ANSI code page, as the platform returns them.
    if (EnumHandle == EnumReadWhole) return 0; // read whole before an option changed
    if (EnumHandle == EnumNone && !OpenNetEnumeration(ServerResource, RESOURCEUSAGE_CONTAINER))
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
