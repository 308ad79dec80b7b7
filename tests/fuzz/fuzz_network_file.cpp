// The simulated network over any network file: loading never crashes and names the
// line or key of what it refuses; a loaded network answers the enumeration and listing
// calls within the caller's buffers, with sizes that hold what they say, and nothing
// they hand out is lost; the module's server and share sources walk it safely.
//
// Input: the JSON text of a network file.
#include <libsmbclient.h>
#include <nlohmann/json.hpp>

#include <cerrno>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/state.h"
#include "fuzz_support.h"
#include "sources/network.h"
#include "zp_network.h"

using namespace zarelin;

namespace {

constexpr int DepthLimit = 6;       // provider, domain, server, share: 4 levels suffice
constexpr size_t EntryLimit = 2000; // entries one walk looks at, so a large file stays quick

// An entry of a walk, with its strings copied out of the caller's buffer.
struct Entry {
    NETRESOURCEA record;
    std::string remote, provider, comment;
    bool hasComment;
};

// A string the call put into `buffer`: inside it and terminated there.
std::string InBuffer(const char* text, const std::vector<char>& buffer, DWORD used) {
    const char* begin = buffer.data();
    FUZZ_CHECK(text >= begin && text < begin + used);
    const size_t room = static_cast<size_t>(begin + used - text);
    const void* end = std::memchr(text, 0, room);
    FUZZ_CHECK(end != nullptr);
    return std::string(text, static_cast<const char*>(end) - text);
}

struct Walk {
    Walk(DWORD size, DWORD count) : bufferSize(size), countAsked(count) {}

    DWORD bufferSize; // the buffer the first read is given
    DWORD countAsked; // entries asked for per read
    size_t seen = 0;
    std::vector<std::string> servers; // remote names of server entries
    std::vector<std::string> domains;

    void Below(const NETRESOURCEA* container, int depth) {
        HANDLE handle = reinterpret_cast<HANDLE>(0x1234);
        DWORD result = WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0,
                                     const_cast<NETRESOURCEA*>(container), &handle);
        if (result != ERROR_SUCCESS) {
            FUZZ_CHECK(handle == nullptr);
            return;
        }
        std::vector<Entry> children;
        std::vector<char> buffer(bufferSize ? bufferSize : 1);
        DWORD size = bufferSize;
        for (int round = 0; round < 10000 && seen < EntryLimit; ++round) {
            DWORD count = countAsked;
            DWORD given = size;
            result = WNetEnumResourceA(handle, &count, buffer.data(), &given);
            if (result == ERROR_NO_MORE_ITEMS) break;
            if (result == ERROR_MORE_DATA) {
                // Short of the next entry: the layer asks for more, a record at least,
                // and the next read in that size takes the entry.
                FUZZ_CHECK(given > size && given >= sizeof(NETRESOURCEA));
                size = given;
                buffer.assign(size, 0);
                continue;
            }
            FUZZ_CHECK(result == ERROR_SUCCESS);
            FUZZ_CHECK(given == size);
            FUZZ_CHECK(count >= 1 && count <= countAsked);
            FUZZ_CHECK(count * sizeof(NETRESOURCEA) <= size);
            for (DWORD i = 0; i < count; ++i) {
                Entry e;
                std::memcpy(&e.record, buffer.data() + i * sizeof(NETRESOURCEA), sizeof e.record);
                FUZZ_CHECK(e.record.lpLocalName == nullptr);
                e.remote = InBuffer(e.record.lpRemoteName, buffer, size);
                e.provider = InBuffer(e.record.lpProvider, buffer, size);
                e.hasComment = e.record.lpComment != nullptr;
                if (e.hasComment) e.comment = InBuffer(e.record.lpComment, buffer, size);
                children.push_back(std::move(e));
                ++seen;
            }
        }
        FUZZ_CHECK(WNetCloseEnum(handle) == ERROR_SUCCESS);
        FUZZ_CHECK(WNetCloseEnum(handle) == ERROR_INVALID_HANDLE);

        for (Entry& e : children) {
            if (e.record.dwDisplayType == RESOURCEDISPLAYTYPE_SERVER) servers.push_back(e.remote);
            if (e.record.dwDisplayType == RESOURCEDISPLAYTYPE_DOMAIN) domains.push_back(e.remote);
            if (depth >= DepthLimit || seen >= EntryLimit) continue;
            // Opened with the entry's own strings, as a caller does after copying it.
            e.record.lpRemoteName = &e.remote[0];
            e.record.lpProvider = &e.provider[0];
            e.record.lpComment = e.hasComment ? &e.comment[0] : nullptr;
            Below(&e.record, depth + 1);
        }
    }
};

std::u16string Wide(const std::string& ansi) {
    std::u16string wide(ansi.size() + 1, u'\0');
    int n =
        MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
    return wide;
}

size_t WideLength(const WCHAR* text) {
    size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

template <typename Fn> Fn Proc(HMODULE library, const char* name) {
    using AnyFn = void (*)();
    return reinterpret_cast<Fn>(reinterpret_cast<AnyFn>(GetProcAddress(library, name)));
}

// NETAPI32: the domain's servers and each server's shares, with preferred sizes from
// all at once down to one entry per answer; every buffer handed out is freed once.
void ListNt(HMODULE netapi, const std::vector<std::string>& servers,
            const std::vector<std::string>& domains, std::vector<std::u16string>& found) {
    auto serverEnum = Proc<NetServerEnumFn>(netapi, "NetServerEnum");
    auto shareEnum = Proc<NetShareEnumNtFn>(netapi, "NetShareEnum");
    auto bufferFree = Proc<NetApiBufferFreeFn>(netapi, "NetApiBufferFree");
    FUZZ_CHECK(serverEnum && shareEnum && bufferFree);

    std::vector<std::u16string> domainNames = {u""};
    for (const std::string& d : domains)
        if (domainNames.size() < 4) domainNames.push_back(Wide(d));
    for (DWORD preferred : {MAX_PREFERRED_LENGTH, DWORD(1), DWORD(64)}) {
        for (const std::u16string& domain : domainNames) {
            DWORD resume = 0, result = ERROR_MORE_DATA;
            for (int round = 0; result == ERROR_MORE_DATA && round < 5000; ++round) {
                BYTE* buffer = reinterpret_cast<BYTE*>(1);
                DWORD read = 7, total = 7;
                result = serverEnum(nullptr, 100, &buffer, preferred, &read, &total, SV_TYPE_ALL,
                                    domain.empty() ? nullptr : domain.c_str(), &resume);
                FUZZ_CHECK(read <= total);
                FUZZ_CHECK((buffer != nullptr) == (read > 0));
                const auto* list = reinterpret_cast<const SERVER_INFO_100*>(buffer);
                for (DWORD i = 0; i < read; ++i) {
                    FUZZ_CHECK(list[i].sv100_name != nullptr);
                    if (found.size() < 16) found.emplace_back(list[i].sv100_name);
                }
                if (buffer) {
                    FUZZ_CHECK(bufferFree(buffer) == NERR_Success);
                    FUZZ_CHECK(bufferFree(buffer) == ERROR_INVALID_PARAMETER);
                }
                if (result == ERROR_MORE_DATA) FUZZ_CHECK(read > 0);
            }
        }
    }

    std::vector<std::u16string> names = found;
    for (const std::string& s : servers)
        if (names.size() < 32) names.push_back(Wide(s));
    for (std::u16string& name : names) {
        for (DWORD preferred : {MAX_PREFERRED_LENGTH, DWORD(1)}) {
            DWORD resume = 0, result = ERROR_MORE_DATA;
            for (int round = 0; result == ERROR_MORE_DATA && round < 5000; ++round) {
                BYTE* buffer = nullptr;
                DWORD read = 0, total = 0;
                result = shareEnum(&name[0], 1, &buffer, preferred, &read, &total, &resume);
                FUZZ_CHECK(read <= total);
                const auto* list = reinterpret_cast<const SHARE_INFO_1*>(buffer);
                for (DWORD i = 0; i < read; ++i) {
                    FUZZ_CHECK(list[i].shi1_netname && list[i].shi1_remark);
                    FUZZ_CHECK(WideLength(list[i].shi1_netname) > 0);
                    WideLength(list[i].shi1_remark);
                }
                if (buffer) FUZZ_CHECK(bufferFree(buffer) == NERR_Success);
                if (result == ERROR_MORE_DATA) FUZZ_CHECK(read > 0);
            }
        }
    }
}

// svrapi: the caller's buffer, 16-bit sizes; records and remarks stay inside it.
void ListOther(HMODULE svrapi, const std::vector<std::string>& servers) {
    auto shareEnum = Proc<NetShareEnumOtherFn>(svrapi, "NetShareEnum");
    FUZZ_CHECK(shareEnum != nullptr);
    for (const std::string& server : servers) {
        unsigned short read = 9, total = 9;
        DWORD result = shareEnum(server.c_str(), 1, nullptr, 0, &read, &total);
        FUZZ_CHECK(read == 0);
        if (result != NERR_Success && result != ERROR_MORE_DATA) continue;
        const unsigned whole = std::min(0xFFFFu, total * 40u + 64u);
        for (unsigned size : {whole, 1u, 40u, static_cast<unsigned>(sizeof(ShareInfo1Other))}) {
            std::vector<char> buffer(size);
            read = total = 0;
            result = shareEnum(server.c_str(), 1, buffer.data(), static_cast<unsigned short>(size),
                               &read, &total);
            FUZZ_CHECK(result == NERR_Success || result == ERROR_MORE_DATA);
            FUZZ_CHECK(read <= total && read * sizeof(ShareInfo1Other) <= size);
            for (unsigned short i = 0; i < read; ++i) {
                ShareInfo1Other record;
                std::memcpy(&record, buffer.data() + i * sizeof record, sizeof record);
                FUZZ_CHECK(std::memchr(record.shi1_netname, 0, sizeof record.shi1_netname));
                InBuffer(record.shi1_remark, buffer, size);
            }
        }
    }
}

// The module's own sources over this network: server words and share words, with each
// option, collect candidates that fit their fields.
void ModuleSources(const std::vector<std::string>& servers, bool nt) {
    std::vector<std::string> words = {"dir \\\\", "dir \\\\*a", "\\\\x"};
    for (const std::string& s : servers)
        if (words.size() < 8) words.push_back("dir " + s.substr(0, 900) + "\\");
    IsNT = nt ? 1 : 0;
    LoadNetworkCalls();
    for (int options = 0; options < 4; ++options) {
        for (const std::string& word : words) {
            State.Init();
            State.CurrentDomainOnly = options & 1;
            State.ShowHiddenShares = (options >> 1) & 1;
            std::memcpy(State.Line, word.c_str(), word.size() + 1);
            State.CursorPos = static_cast<int32_t>(word.size());
            State.StartSearch();
            // A name with a space splits the word: what is left is no network word, and
            // the file system is not this target's.
            if (State.NetPattern == NoPattern) continue;
            for (int i = 0; i < 300 && State.FetchCandidate(); ++i) {
            }
            for (int32_t i = 0; i < State.CandidateCount; ++i) {
                const Candidate& c = State.Candidates[i];
                FUZZ_CHECK(std::memchr(c.Name, 0, sizeof c.Name) && c.Name[0]);
                FUZZ_CHECK(c.ShortName[0] == 0 && c.IsDirectory == 1);
            }
            State.ResetSearch();
            if (State.NetBuffer) LocalFree(State.NetBuffer);
            State.NetBuffer = nullptr;
        }
    }
}

// A refused file names where: "<text>:<line>: why" for what is not JSON (or nests
// too deep), "<text>: <key>: why" for what the model does not allow.
void CheckError(const std::string& json) {
    const std::string error = ZpNetworkError();
    const std::string file = "<text>";
    FUZZ_CHECK(error.compare(0, file.size() + 1, file + ":") == 0);
    size_t at = file.size() + 1;
    size_t digits = 0;
    long line = 0;
    while (at + digits < error.size() && error[at + digits] >= '0' && error[at + digits] <= '9' &&
           digits < 9)
        line = line * 10 + (error[at + digits++] - '0');
    const bool syntax = !nlohmann::ordered_json::accept(json, /*ignore_comments=*/true);
    if (digits > 0) {
        FUZZ_CHECK(error.compare(at + digits, 2, ": ") == 0);
        const long lines = 1 + std::count(json.begin(), json.end(), '\n');
        FUZZ_CHECK(line >= 1 && line <= lines);
    } else {
        FUZZ_CHECK(!syntax);
        FUZZ_CHECK(error.compare(at, 1, " ") == 0 && error.size() > at + 1);
    }
}

// Whether the file makes a server or domain slow: its calls would only wait, up to a
// minute each, and the run would report a timeout instead of a finding.
bool Delays(const nlohmann::ordered_json& value) {
    if (value.is_object() && value.contains("delay") && value["delay"] != 0) return true;
    if (value.is_structured())
        for (const nlohmann::ordered_json& child : value)
            if (Delays(child)) return true;
    return false;
}

} // namespace

// A real server the file names is never reached: every connection is refused at once.
static SMBCFILE* RefusingOpendir(SMBCCTX*, const char*) {
    errno = ECONNREFUSED;
    return nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FUZZ_CHECK(ZpSmbSetSystemCall("opendir", reinterpret_cast<ZpSystemCall>(RefusingOpendir)) == 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The text up to its first zero byte, as the C call reads it.
    const std::string json(reinterpret_cast<const char*>(data),
                           strnlen(reinterpret_cast<const char*>(data), size));
    if (ZpNetworkLoadText(json.c_str()) != 0) {
        CheckError(json);
        // No network: every enumeration says so.
        HANDLE handle = nullptr;
        FUZZ_CHECK(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &handle) ==
                   ERROR_NO_NETWORK);
        return 0;
    }
    FUZZ_CHECK(ZpNetworkError()[0] == 0);
    if (Delays(nlohmann::ordered_json::parse(json, nullptr, false, /*ignore_comments=*/true)))
        return 0;

    // Entry by entry with a buffer grown to what each needs, and in bulk.
    Walk single(0, 1);
    single.Below(nullptr, 0);
    Walk bulk(16384, 0xFFFFFFFF);
    bulk.Below(nullptr, 0);
    FUZZ_CHECK(single.seen == bulk.seen || std::max(single.seen, bulk.seen) >= EntryLimit);

    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    FUZZ_CHECK(GetVersionExA(&version));
    const bool nt = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    HMODULE netapi = LoadLibraryA("NETAPI32.DLL");
    HMODULE svrapi = LoadLibraryA("svrapi.DLL");
    FUZZ_CHECK((netapi != nullptr) == nt && (svrapi != nullptr) == !nt);
    std::vector<std::u16string> listed;
    if (nt)
        ListNt(netapi, bulk.servers, bulk.domains, listed);
    else
        ListOther(svrapi, bulk.servers);

    // The share directory lookup stays inside the caller's buffer.
    char dir[16];
    for (const std::string& s : bulk.servers) {
        std::string server = s.size() > 2 ? s.substr(2) : s;
        ZpShareDirectory(server.c_str(), "data", dir, sizeof dir);
        FUZZ_CHECK(std::memchr(dir, 0, sizeof dir) != nullptr);
    }

    ModuleSources(bulk.servers, nt);
    return 0;
}
