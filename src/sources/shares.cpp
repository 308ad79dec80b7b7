// Share names for a word like '\\srv\sh': the network enumeration one share per call,
// or, with hidden shares shown, the server's whole share list at once.
#include <cstring>

#include "engine/state.h"
#include "engine/text.h"
#include "host/host.h"
#include "sources/bounded.h"
#include "sources/network.h"

namespace zarelin {

namespace {

bool ShareResourceReady = false;

constexpr size_t FullNameBuffer = 200;
// The other family's buffer size is 16 bits: 40 bytes a share cover 1638 shares, and
// a server with more is listed up to that many.
constexpr unsigned BytesPerShare = 40;
constexpr unsigned OtherFamilyShareLimit = 0xFFFF / BytesPerShare;
// A platform that keeps answering "more data" without entries is not followed forever.
constexpr int ShareListRounds = 1024;

bool IsDiskShare(DWORD type) {
    return type == STYPE_DISKTREE || type == STYPE_SPECIAL;
}

} // namespace

NETRESOURCEA ShareResource = {RESOURCE_GLOBALNET,
                              RESOURCETYPE_DISK,
                              RESOURCEDISPLAYTYPE_SERVER,
                              RESOURCEUSAGE_CONTAINER,
                              nullptr,
                              nullptr,
                              nullptr,
                              nullptr};

namespace {

// Every disk share of the server in the call's text, hidden ones included, as
// '\\server\share' in the OEM code page. On the worker.
void ListShares(NetCall& call) {
    const char* server = call.Text;
    char fullName[FullNameBuffer];
    if (!CopyBounded(fullName, sizeof fullName, server) ||
        !AppendBounded(fullName, sizeof fullName, "\\"))
        return; // a server name that leaves no room for a share
    size_t prefix = std::strlen(fullName);

    if (call.Family) {
        if (!Net.NetShareEnumNt || !Net.NetApiBufferFree) return;
        WCHAR wide[WideNameLength];
        if (!os.MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, server, -1, wide, WideNameLength))
            return;
        DWORD resume = 0;
        DWORD result = ERROR_MORE_DATA;
        for (int round = 0; result == ERROR_MORE_DATA && round < ShareListRounds; ++round) {
            BYTE* buffer = nullptr;
            DWORD read = 0, total = 0;
            result =
                Net.NetShareEnumNt(wide, 1, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
            if (result == NERR_Success || result == ERROR_MORE_DATA) {
                const auto* shares = reinterpret_cast<const SHARE_INFO_1*>(buffer);
                for (DWORD i = 0; buffer && i < read; ++i) {
                    if (!IsDiskShare(shares[i].shi1_type) || !shares[i].shi1_netname) continue;
                    int room = static_cast<int>(sizeof fullName - prefix);
                    if (os.WideCharToMultiByte(CP_OEMCP, WC_COMPOSITECHECK | WC_DEFAULTCHAR,
                                               shares[i].shi1_netname, -1, fullName + prefix, room,
                                               nullptr, nullptr) > 0)
                        AddName(call, fullName);
                }
                if (result == ERROR_MORE_DATA && read == 0) result = ERROR_NO_MORE_ITEMS;
            }
            if (buffer) Net.NetApiBufferFree(buffer);
        }
        call.Error = result == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : result;
        return;
    }

    if (!Net.NetShareEnumOther) return;
    unsigned short read = 0, total = 0;
    call.Error = Net.NetShareEnumOther(server, 1, nullptr, 0, &read, &total);
    unsigned shares = total < OtherFamilyShareLimit ? total : OtherFamilyShareLimit;
    if (shares == 0) return;
    unsigned short size = static_cast<unsigned short>(shares * BytesPerShare);
    auto* buffer = static_cast<char*>(os.LocalAlloc(LMEM_ZEROINIT, size));
    if (!buffer) return;
    call.Error = Net.NetShareEnumOther(server, 1, buffer, size, &read, &total);
    if (call.Error == NERR_Success || call.Error == ERROR_MORE_DATA) {
        const auto* entries = reinterpret_cast<ShareInfo1Other*>(buffer);
        unsigned fits = size / sizeof(ShareInfo1Other);
        for (unsigned i = 0; i < read && i < fits; ++i) {
            if (entries[i].shi1_type != STYPE_DISKTREE) continue;
            char name[sizeof entries[i].shi1_netname];
            CopyBounded(name, sizeof name, entries[i].shi1_netname, sizeof name - 1);
            if (!AnsiToOem(name)) continue;
            fullName[prefix] = 0;
            if (AppendBounded(fullName, sizeof fullName, name)) AddName(call, fullName);
        }
        call.Error = ERROR_SUCCESS;
    }
    os.LocalFree(buffer);
}

} // namespace

int32_t CompletionState::FetchShareName() {
    if (ShowHiddenShares) {
        if (EnumHandle == EnumPending && !Resumes(CallKind::Names)) return 0;
        int32_t added = ListNames(ListShares, Mask);
        EnumHandle = EnumHandle == EnumPending ? EnumPending : EnumReadWhole;
        return added;
    }

    if (EnumHandle == EnumReadWhole) return 0; // read whole before the option changed
    if (EnumHandle == EnumPending && !Resumes(CallKind::OpenEnum) && !Resumes(CallKind::ReadEntry))
        return 0; // a list being read whole when the option was on
    if (EnumHandle == EnumNone || Resumes(CallKind::OpenEnum)) {
        if (!ShareResourceReady) {
            // Mask is the same buffer on every search, so the record is set up once.
            ShareResource.lpRemoteName = Mask;
            ShareResource.lpComment = EmptyComment;
            ShareResourceReady = true;
        }
        if (!OpenNetEnumeration(ShareResource, RESOURCEUSAGE_CONNECTABLE)) return 0;
    }
    const char* pattern = Mask + NetPattern;
    while (NETRESOURCEA* entry = ReadNetEntry()) {
        char* name = entry->lpRemoteName;
        if (!name || std::strlen(name) >= sizeof Candidate::Name) continue;
        if (!MatchName(pattern, name) || !AnsiToOem(name)) continue;
        return AddCandidate(name, "", 1);
    }
    return 0;
}

} // namespace zarelin
