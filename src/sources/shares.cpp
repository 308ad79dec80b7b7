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
constexpr unsigned OtherFamilyBufferLimit = 0xFFFF;
constexpr unsigned OtherFamilyShareLimit = OtherFamilyBufferLimit / BytesPerShare;
// A platform that keeps answering "more data" without entries is not followed forever.
constexpr int ShareListRounds = 1024;

bool IsDiskShare(DWORD type) {
    return type == STYPE_DISKTREE || type == STYPE_SPECIAL;
}

// The NT family's share enumeration is read in UTF-16: the ANSI one would turn a
// character the ANSI page lacks (such as 'π') into '?', though the OEM page may have it.
WCHAR ShareServer[WideNameLength]; // Mask in UTF-16, set at each opening
WCHAR EmptyCommentWide[1] = {0};
NETRESOURCEW ShareResourceWide = {RESOURCE_GLOBALNET,
                                  RESOURCETYPE_DISK,
                                  RESOURCEDISPLAYTYPE_SERVER,
                                  RESOURCEUSAGE_CONTAINER,
                                  nullptr,
                                  ShareServer,
                                  EmptyCommentWide,
                                  nullptr};

// Converts a UTF-16 share name into `target` of `size` bytes in the OEM code page, as
// the file search hands out names; false when it does not fit.
bool ShareNameToOem(const WCHAR* name, char* target, size_t size) {
    return os.WideCharToMultiByte(CP_OEMCP, WC_COMPOSITECHECK | WC_DEFAULTCHAR, name, -1, target,
                                  static_cast<int>(size), nullptr, nullptr) > 0;
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
                    if (ShareNameToOem(shares[i].shi1_netname, fullName + prefix,
                                       sizeof fullName - prefix))
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
    // 40 bytes a share leave each a short remark: a longer one takes the room of the
    // shares after it, which the call then leaves out. The buffer grows until they fit.
    unsigned size = shares * BytesPerShare;
    char* buffer;
    for (;;) {
        buffer = static_cast<char*>(os.LocalAlloc(LMEM_ZEROINIT, size));
        if (!buffer) return;
        call.Error = Net.NetShareEnumOther(server, 1, buffer, static_cast<unsigned short>(size),
                                           &read, &total);
        if (call.Error != ERROR_MORE_DATA || read >= total || size == OtherFamilyBufferLimit) break;
        os.LocalFree(buffer);
        size = size * 2 < OtherFamilyBufferLimit ? size * 2 : OtherFamilyBufferLimit;
    }
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
        bool opened;
        if (IsNT) {
            // The server as the ANSI enumeration would read it.
            if (!os.MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, Mask, -1, ShareServer,
                                        WideNameLength))
                return 0;
            opened = OpenNetEnumeration(ShareResourceWide, RESOURCEUSAGE_CONNECTABLE);
        } else {
            opened = OpenNetEnumeration(ShareResource, RESOURCEUSAGE_CONNECTABLE);
        }
        if (!opened) return 0;
    }
    const char* pattern = Mask + NetPattern;
    for (;;) {
        // Matched in the OEM code page, as the pattern was typed and files are matched.
        char name[sizeof Candidate::Name];
        bool named;
        if (IsNT) {
            NETRESOURCEW* entry = ReadNetEntry<NETRESOURCEW>();
            if (!entry) return 0;
            named = entry->lpRemoteName && ShareNameToOem(entry->lpRemoteName, name, sizeof name);
        } else {
            NETRESOURCEA* entry = ReadNetEntry();
            if (!entry) return 0;
            named = entry->lpRemoteName && CopyBounded(name, sizeof name, entry->lpRemoteName) &&
                    AnsiToOem(name);
        }
        if (named && MatchName(pattern, name)) return AddCandidate(name, "", 1);
    }
}

} // namespace zarelin
