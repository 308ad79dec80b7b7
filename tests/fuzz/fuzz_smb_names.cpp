// Names from a real server, of any bytes and length: what a share list or a folder of
// an SMB server holds goes through the SMB backend's answers (NetShareEnum of both
// families, the network enumeration, the file search with its 8.3 names) and the
// module's share and file sources, over a stand-in for libsmbclient's calls. Nothing
// is offered that the server did not list (a name Windows could not hold only by its
// 8.3 name), every buffer stays whole, every 8.3 name is one, and no name holding a
// separator is handed out as a share.
//
// Input, one entry per line: a kind letter, then the name (up to a tab; after it, for
// a share, its comment):
//   s d p c i   a disk, printer, device (comms) or IPC share of the server
//   w           a workgroup (not a share: must be left out)
//   F D L       a file, a folder or a link in every folder of every share
// A first line starting with '!' sets options instead: 'o' the other family, 'h'
// hidden shares (the whole share list), 'e' the server refuses every connection.
#include <libsmbclient.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <string>
#include <vector>

#include "engine/state.h"
#include "engine/text.h"
#include "fuzz_support.h"
#include "host/host.h"
#include "sources/network.h"
#include "zp_codepage.h"
#include "zp_network.h"

using namespace zarelin;

namespace {

struct Listed {
    unsigned type;
    std::string name, comment;
};

struct Server {
    bool refuses = false;
    std::vector<Listed> shares, files;
} server;

// ---- The stand-in for libsmbclient -------------------------------------------------

struct OpenListing {
    const std::vector<Listed>* entries;
    size_t next;
    std::vector<char> dirent;
};

const char ShareListUrl[] = "smb://nas.fuzz:445/";

SMBCFILE* Opendir(SMBCCTX*, const char* url) {
    if (server.refuses) return errno = ECONNREFUSED, nullptr;
    const bool shareList = std::strcmp(url, ShareListUrl) == 0;
    FUZZ_CHECK(shareList || std::strncmp(url, ShareListUrl, sizeof ShareListUrl - 1) == 0);
    // Escaped as the backend promises: nothing libsmbclient would read as options.
    FUZZ_CHECK(std::strpbrk(url + sizeof ShareListUrl - 1, "?#\\ ") == nullptr);
    return reinterpret_cast<SMBCFILE*>(
        new OpenListing{shareList ? &server.shares : &server.files, 0, {}});
}

smbc_dirent* Readdir(SMBCCTX*, SMBCFILE* dir) {
    auto* listing = reinterpret_cast<OpenListing*>(dir);
    if (listing->next == listing->entries->size()) return nullptr;
    const Listed& e = (*listing->entries)[listing->next++];
    // The name and comment as libsmbclient lays them out, the comment after the name.
    listing->dirent.assign(sizeof(smbc_dirent) + e.name.size() + e.comment.size() + 2, 0);
    auto* entry = reinterpret_cast<smbc_dirent*>(listing->dirent.data());
    entry->smbc_type = e.type;
    entry->namelen = static_cast<unsigned>(e.name.size());
    std::memcpy(entry->name, e.name.c_str(), e.name.size() + 1);
    entry->comment = entry->name + e.name.size() + 1;
    std::memcpy(entry->comment, e.comment.c_str(), e.comment.size() + 1);
    return entry;
}

int Closedir(SMBCCTX*, SMBCFILE* dir) {
    delete reinterpret_cast<OpenListing*>(dir);
    return 0;
}

// ---- Input --------------------------------------------------------------------------

bool otherFamily = false, hiddenShares = false;

void Parse(const uint8_t* data, size_t size) {
    server = Server{};
    otherFamily = hiddenShares = false;
    std::vector<std::string> lines = fuzz::SplitLines(data, size);
    for (size_t i = 0; i < lines.size() && i < 64; ++i) {
        const std::string& line = lines[i];
        if (line.empty()) continue;
        if (i == 0 && line[0] == '!') {
            otherFamily = line.find('o') != std::string::npos;
            hiddenShares = line.find('h') != std::string::npos;
            server.refuses = line.find('e') != std::string::npos;
            continue;
        }
        // Names reach the backend as libsmbclient's C strings: they end at a zero byte.
        std::vector<std::string> fields = fuzz::SplitFields(line.substr(1), '\t');
        std::string name = fields[0].c_str();
        std::string comment = fields.size() > 1 ? fields[1].c_str() : "";
        static const std::string kinds = "sdpciwFDL";
        static const unsigned types[] = {SMBC_FILE_SHARE,  SMBC_FILE_SHARE, SMBC_PRINTER_SHARE,
                                         SMBC_COMMS_SHARE, SMBC_IPC_SHARE,  SMBC_WORKGROUP,
                                         SMBC_FILE,        SMBC_DIR,        SMBC_LINK};
        size_t kind = kinds.find(line[0]);
        if (kind == std::string::npos) continue;
        (kind < 6 ? server.shares : server.files).push_back({types[kind], name, comment});
    }
}

// ---- Checks -------------------------------------------------------------------------

template <typename Fn> Fn Proc(const char* library, const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(LoadLibraryA(library), name)));
}

NetShareEnumOtherFn otherShareEnum;
NetworkCalls familyCalls[2]; // other, NT

std::string Narrow(const WCHAR* wide) {
    char text[4096];
    int n = WideCharToMultiByte(65001, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return n > 0 ? std::string(text) : std::string("\x01too long");
}

// A share the server listed, of a kind a share list holds and a name without a
// separator: only those may come out.
bool Listable(const Listed& s) {
    return s.type != SMBC_WORKGROUP && !s.name.empty() &&
           s.name.find_first_of("\\/") == std::string::npos;
}

void CheckNtShareList() {
    auto shareEnum = familyCalls[1].NetShareEnumNt;
    auto bufferFree = familyCalls[1].NetApiBufferFree;
    WCHAR name[] = u"\\\\NAS";
    BYTE* buffer = nullptr;
    DWORD read = 0, total = 0;
    DWORD result = shareEnum(name, 1, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr);
    if (server.refuses) {
        FUZZ_CHECK(result == ERROR_BAD_NETPATH && !buffer && read == 0);
        return;
    }
    FUZZ_CHECK(result == NERR_Success && read == total);
    size_t expected = 0;
    for (const Listed& s : server.shares)
        expected += Listable(s);
    FUZZ_CHECK(read == expected);
    const auto* list = reinterpret_cast<const SHARE_INFO_1*>(buffer);
    size_t k = 0;
    for (const Listed& s : server.shares) {
        if (!Listable(s)) continue;
        const SHARE_INFO_1& entry = list[k++];
        // UTF-8 that is not well formed comes back with replacement characters.
        std::string back = Narrow(entry.shi1_netname);
        FUZZ_CHECK(!back.empty());
        const bool special = s.type == SMBC_IPC_SHARE || s.name.back() == '$';
        FUZZ_CHECK(((entry.shi1_type & STYPE_SPECIAL) != 0) ==
                   (special && s.type != SMBC_PRINTER_SHARE && s.type != SMBC_COMMS_SHARE));
    }
    if (buffer) FUZZ_CHECK(bufferFree(buffer) == NERR_Success);
}

void CheckOtherShareList() {
    for (unsigned size : {0u, 1u, 64u, 4096u, 65535u}) {
        std::vector<char> buffer(size + 8, '~');
        unsigned short read = 0, total = 0;
        DWORD result = otherShareEnum("\\\\NAS", 1, size ? buffer.data() : nullptr,
                                      static_cast<unsigned short>(size), &read, &total);
        if (server.refuses) {
            FUZZ_CHECK(result == ERROR_BAD_NETPATH);
            return;
        }
        FUZZ_CHECK(result == NERR_Success || result == ERROR_MORE_DATA);
        FUZZ_CHECK(read <= total && read * sizeof(ShareInfo1Other) <= size);
        for (size_t i = size; i < buffer.size(); ++i)
            FUZZ_CHECK(buffer[i] == '~');
        for (unsigned i = 0; i < read; ++i) {
            ShareInfo1Other info;
            std::memcpy(&info, buffer.data() + i * sizeof info, sizeof info);
            FUZZ_CHECK(std::memchr(info.shi1_netname, 0, sizeof info.shi1_netname) != nullptr);
            FUZZ_CHECK(info.shi1_remark >= buffer.data() &&
                       info.shi1_remark < buffer.data() + size);
        }
    }
}

// An 8.3 name as the file search makes them: at most 8 and 3, a '~' in the first
// four, upper case.
bool IsShortName(const char* name) {
    const size_t length = std::strlen(name);
    const char* dot = std::strchr(name, '.');
    const char* tilde = std::strchr(name, '~');
    if (!tilde || tilde - name > 3 || (dot ? static_cast<size_t>(dot - name) : length) > 8)
        return false;
    if (dot && (std::strchr(dot + 1, '.') || std::strlen(dot + 1) > 3)) return false;
    for (const char* p = name; *p; ++p)
        if (*p <= ' ' || *p >= 0x7F || (*p >= 'a' && *p <= 'z')) return false;
    return true;
}

// The module as a user drives it: a share word and a file word on the real server,
// every candidate one the server listed.
void CheckModule() {
    const int family = otherFamily ? 0 : 1;
    IsNT = family;
    Net = familyCalls[family];
    CopyBounded(Workgroup, sizeof Workgroup, family ? "" : "HOME");
    std::set<std::string> files;
    for (const Listed& f : server.files) {
        char oem[MAX_PATH];
        if (ZpUtf8ToOem(f.name.c_str(), oem, sizeof oem)) files.insert(oem);
    }
    for (const char* line : {"dir \\\\NAS\\", "dir \\\\NAS\\share\\", "dir \\\\NAS\\share\\*~*"}) {
        // The enumeration's buffer outlives its search, as the module keeps it.
        if (State.NetBuffer) LocalFree(State.NetBuffer);
        State.Init();
        State.ShowHiddenShares = hiddenShares ? 1 : 0;
        CopyBounded(State.Line, sizeof State.Line, line);
        State.CursorPos = static_cast<int32_t>(std::strlen(line));
        State.StartSearch();
        for (int i = 0; i < 4096 && State.FetchCandidate(); ++i) {
        }
        for (int32_t i = 0; i < State.CandidateCount; ++i) {
            const Candidate& c = State.Candidates[i];
            FUZZ_CHECK(std::memchr(c.Name, 0, sizeof c.Name) &&
                       std::memchr(c.ShortName, 0, sizeof c.ShortName));
            if (State.NetPattern != NoPattern) {
                // \\NAS\<share>, the share's name holding no separator of its own.
                FUZZ_CHECK(std::strncmp(c.Name, "\\\\NAS\\", 6) == 0);
                FUZZ_CHECK(std::strpbrk(c.Name + 6, "\\/") == nullptr);
                FUZZ_CHECK(c.IsDirectory == 1);
                continue;
            }
            // A name Windows could not hold comes as its 8.3 name alone.
            const bool alias = !c.ShortName[0] && IsShortName(c.Name);
            FUZZ_CHECK(files.count(c.Name) || alias || !std::strcmp(c.Name, ".") ||
                       !std::strcmp(c.Name, ".."));
            FUZZ_CHECK(!c.ShortName[0] || IsShortName(c.ShortName));
        }
        State.ResetSearch();
    }
    if (State.NetBuffer) LocalFree(State.NetBuffer);
    State.NetBuffer = nullptr;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FUZZ_CHECK(ZpSmbSetSystemCall("opendir", reinterpret_cast<ZpSystemCall>(Opendir)) == 0);
    FUZZ_CHECK(ZpSmbSetSystemCall("readdir", reinterpret_cast<ZpSystemCall>(Readdir)) == 0);
    FUZZ_CHECK(ZpSmbSetSystemCall("closedir", reinterpret_cast<ZpSystemCall>(Closedir)) == 0);
    // The other family's svrapi is there only while the network says so; its calls
    // are looked up then and kept.
    FUZZ_CHECK(ZpNetworkLoadText(R"({"platform": "other"})") == 0);
    IsNT = 0;
    LoadNetworkCalls();
    familyCalls[0] = Net;
    otherShareEnum = Proc<NetShareEnumOtherFn>("svrapi.DLL", "NetShareEnum");
    FUZZ_CHECK(ZpNetworkLoadText(R"({"domain": "HOME", "providers": [
        {"name": "Microsoft Windows Network", "domains": [{"name": "HOME", "servers": ["NAS"]}]}],
        "servers": {"NAS": {"smb": {"address": "nas.fuzz"}}}})") == 0);
    IsNT = 1;
    LoadNetworkCalls();
    familyCalls[1] = Net;
    FUZZ_CHECK(otherShareEnum && familyCalls[1].NetShareEnumNt && familyCalls[0].NetShareEnumOther);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Parse(data, size);
    CheckNtShareList();
    CheckOtherShareList();
    CheckModule();
    server = Server{};
    return 0;
}
