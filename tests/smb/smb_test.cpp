// Real SMB servers: the network layer and the module against a real smbd on a loopback
// port (tests/smb/smbd.sh, started by CTest before these tests and stopped after them).
// What completion offers is compared with what the server holds: its share list, and
// its shares' folders read on the disk beside it.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "headless_host.h"
#include "temp_tree.h"
#include "win32.h"
#include "zp_codepage.h"
#include "zp_network.h"

namespace fs = std::filesystem;
using namespace testhost;

namespace {

using Names = std::vector<std::string>;

std::string ServerDirectory() {
    const char* dir = std::getenv("ZARELIN_TEST_SMBD");
    return dir ? dir : "";
}

class RealServer : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = ServerDirectory();
        if (dir_.empty() || !fs::exists(dir_ + "/port"))
            GTEST_SKIP() << "no smbd running (see the smbd_start test's output)";
        ASSERT_EQ(ZpNetworkLoad((dir_ + "/network.json").c_str()), 0) << ZpNetworkError();
    }
    void TearDown() override { ZpNetworkLoad(nullptr); }

    // The folder of a share as the server holds it, on the disk: names, a directory's
    // ending in '/', sorted, "." and ".." included as the server lists them.
    Names OnDisk(const std::string& folder) const {
        Names names = {"../", "./"};
        for (const auto& entry : fs::directory_iterator(dir_ + "/shares/" + folder))
            names.push_back(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir_;
};

// Names as the file search hands them out (OEM) in UTF-8 again, for comparing.
std::string Utf8(const char* oem) {
    char out[1024];
    EXPECT_TRUE(ZpOemToUtf8(oem, out, sizeof out)) << oem;
    return out;
}

// The shares the server holds beside data, docs, hidden$, secret, laser and IPC$.
const std::string Long(80, 'l');
const char* const Cafe = "caf\xc3\xa9";
const char* const Pi = "\xcf\x80"
                       "files";
const char* const Documents =
    "\xd0\x94\xd0\xbe\xd0\xba\xd1\x83\xd0\xbc\xd0\xb5\xd0\xbd\xd1\x82\xd1\x8b";

struct Found {
    DWORD error = ERROR_SUCCESS;
    Names names;
    std::map<std::string, std::string> shortNames;
};

Found Search(const std::string& mask) {
    Found found;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(mask.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        found.error = GetLastError();
        return found;
    }
    do {
        std::string name = Utf8(data.cFileName);
        found.names.push_back(name + (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? "/" : ""));
        if (data.cAlternateFileName[0]) found.shortNames[name] = data.cAlternateFileName;
    } while (FindNextFileA(search, &data));
    FindClose(search);
    std::sort(found.names.begin(), found.names.end());
    return found;
}

template <typename Fn> Fn Netapi(const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(LoadLibraryA("NETAPI32.DLL"), name)));
}

// NetShareEnum of the NT family, whole: "name:type" each, or the error.
Names NtShares(const std::u16string& server, DWORD* error) {
    auto netShareEnum =
        Netapi<DWORD(WINAPI*)(WCHAR*, DWORD, BYTE**, DWORD, DWORD*, DWORD*, DWORD*)>(
            "NetShareEnum");
    auto netApiBufferFree = Netapi<DWORD(WINAPI*)(void*)>("NetApiBufferFree");
    BYTE* buffer = nullptr;
    DWORD read = 0, total = 0;
    std::u16string name = server;
    *error = netShareEnum(&name[0], 1, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr);
    Names shares;
    const auto* entries = reinterpret_cast<const SHARE_INFO_1*>(buffer);
    for (DWORD i = 0; i < read; ++i) {
        char text[256];
        WideCharToMultiByte(65001, 0, entries[i].shi1_netname, -1, text, sizeof text, nullptr,
                            nullptr); // UTF-8
        char type[16];
        std::snprintf(type, sizeof type, ":%x", entries[i].shi1_type);
        shares.push_back(std::string(text) + type);
    }
    if (buffer) netApiBufferFree(buffer);
    std::sort(shares.begin(), shares.end());
    return shares;
}

// The network enumeration below `container`: remote names, or the error of the open.
Names Enumerate(const std::string& container, DWORD* error) {
    NETRESOURCEA resource = {};
    resource.dwScope = RESOURCE_GLOBALNET;
    resource.dwUsage = RESOURCEUSAGE_CONTAINER;
    resource.lpRemoteName = const_cast<char*>(container.c_str());
    HANDLE handle = nullptr;
    *error = WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &resource, &handle);
    Names names;
    if (*error != ERROR_SUCCESS) return names;
    alignas(NETRESOURCEA) char buffer[4096];
    for (;;) {
        DWORD count = 1, size = sizeof buffer;
        // Opened without a provider, a container that cannot be listed says so at the
        // first read.
        const DWORD code = WNetEnumResourceA(handle, &count, buffer, &size);
        if (code != ERROR_SUCCESS) {
            if (code != ERROR_NO_MORE_ITEMS) *error = code;
            break;
        }
        names.push_back(reinterpret_cast<NETRESOURCEA*>(buffer)->lpRemoteName);
    }
    WNetCloseEnum(handle);
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(RealServer, SharesAreTheServersWithTheirTypes) {
    DWORD error = 0;
    Names expected = {"IPC$:80000003",
                      "data:0",
                      "docs:0",
                      "hidden$:80000000",
                      "laser:1",
                      "notes:0",
                      "secret:0",
                      Long + ":0",
                      Cafe + std::string(":0"),
                      Pi + std::string(":0"),
                      Documents + std::string(":0")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(NtShares(u"\\\\SAMBA", &error), expected);
    EXPECT_EQ(error, (DWORD)NERR_Success);
    // The network enumeration lists what can be connected to and browsed, its names in
    // the ANSI page: 'é' is 0xE9 there, 'π' and Cyrillic have no form.
    expected = {"\\\\SAMBA\\data",    "\\\\SAMBA\\docs",   "\\\\SAMBA\\laser",
                "\\\\SAMBA\\notes",   "\\\\SAMBA\\secret", "\\\\SAMBA\\" + Long,
                "\\\\SAMBA\\caf\xe9", "\\\\SAMBA\\?files", "\\\\SAMBA\\?????????"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Enumerate("\\\\SAMBA", &error), expected);
    EXPECT_EQ(error, (DWORD)ERROR_SUCCESS);
}

TEST_F(RealServer, FileSearchesReadTheServersFolders) {
    Found root = Search("\\\\SAMBA\\data\\*");
    EXPECT_EQ(root.error, (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(root.names, OnDisk("data"));
    EXPECT_EQ(root.shortNames,
              (std::map<std::string, std::string>{{"Annual Report 2024.txt", "ANN~2CE2.TXT"},
                                                  {"caf\xc3\xa9.txt", "CAF~RMHJ.TXT"}}));
    struct Case {
        std::string mask;
        DWORD error;
        Names names;
    } cases[] = {
        {"\\\\samba\\DATA\\PROJECTS\\P*", ERROR_SUCCESS, {"plan.txt"}},
        {"//SAMBA/data/projects/*", ERROR_SUCCESS, OnDisk("data/projects")},
        {"\\\\SAMBA\\data\\ann~2c*", ERROR_SUCCESS, {"Annual Report 2024.txt"}},
        {"\\\\SAMBA\\data\\r*", ERROR_SUCCESS, {"readme.txt"}},
        {"\\\\SAMBA\\data\\x*", ERROR_FILE_NOT_FOUND, {}},
        {"\\\\SAMBA\\data\\missing\\*", ERROR_PATH_NOT_FOUND, {}},
        {"\\\\SAMBA\\nosuch\\*", ERROR_BAD_NET_NAME, {}},
        {"\\\\SAMBA\\hidden$\\*", ERROR_SUCCESS, OnDisk("hidden")},
        // The credentials file's user reaches the password share; the guest does not.
        {"\\\\SAMBA\\secret\\*", ERROR_SUCCESS, OnDisk("secret")},
        {"\\\\GUEST\\secret\\*", ERROR_ACCESS_DENIED, {}},
        {"\\\\GUEST\\data\\r*", ERROR_SUCCESS, {"readme.txt"}},
        // Nothing listens on GONE's port: refused at once.
        {"\\\\GONE\\data\\*", ERROR_BAD_NETPATH, {}},
    };
    for (const Case& c : cases) {
        Found found = Search(c.mask);
        EXPECT_EQ(found.error, c.error) << c.mask;
        EXPECT_EQ(found.names, c.names) << c.mask;
    }
}

// A server that takes the connection and never answers: each call ends after the
// server's timeout with ERROR_SEM_TIMEOUT, a refused one with ERROR_BAD_NETPATH.
TEST_F(RealServer, SilentAndMissingServersEndWithinTheTimeout) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    socklen_t size = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    const std::string port = std::to_string(ntohs(address.sin_port));
    ASSERT_EQ(ZpNetworkLoadText(("{ \"servers\": { \"MUTE\": { \"smb\": { \"address\": "
                                 "\"127.0.0.1\", \"port\": " +
                                 port + ", \"timeout\": 300 } } } }")
                                    .c_str()),
              0)
        << ZpNetworkError();
    auto start = std::chrono::steady_clock::now();
    DWORD error = 0;
    NtShares(u"MUTE", &error);
    EXPECT_EQ(error, (DWORD)ERROR_SEM_TIMEOUT);
    EXPECT_EQ(Search("\\\\MUTE\\data\\*").error, (DWORD)ERROR_SEM_TIMEOUT);
    // Bounded, not measured: a hang would take the test's whole time.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    close(listener);

    ASSERT_EQ(ZpNetworkLoad((dir_ + "/network.json").c_str()), 0);
    NtShares(u"\\\\GONE", &error);
    EXPECT_EQ(error, (DWORD)ERROR_BAD_NETPATH);
    Enumerate("\\\\GONE", &error);
    EXPECT_EQ(error, (DWORD)ERROR_BAD_NETPATH);
}

// The module through its entry points: share words and file words on the real server.
TEST_F(RealServer, CompletionOffersWhatTheServerHolds) {
    TempTree tree; // its own settings store
    struct Case {
        bool hiddenShares;
        std::string line;
        Names offered; // the list command's menu
    } cases[] = {
        // Every share after a long entry too; names in the OEM page, '?' where it has none.
        {false, "dir \\\\SAMBA\\", {}},
        {true, "dir \\\\SAMBA\\", {"\\\\SAMBA\\hidden$\\"}},
        {false, "dir \\\\SAMBA\\d", {"\\\\SAMBA\\data\\", "\\\\SAMBA\\docs\\"}},
        {false, "type \\\\SAMBA\\data\\", {}}, // filled in from the disk below
    };
    for (Case& c : cases) {
        if (c.line == "dir \\\\SAMBA\\")
            for (const char* share :
                 {"data", "docs", "secret", "notes", Long.c_str(), Cafe, Pi, "?????????"})
                c.offered.push_back("\\\\SAMBA\\" + std::string(share) + "\\");
        if (c.offered.empty())
            for (const std::string& name : OnDisk("data"))
                if (name != "./" && name != "../")
                    c.offered.push_back(name.back() == '/' ? name.substr(0, name.size() - 1) + "\\"
                                                           : name);
        HeadlessHost host;
        if (c.hiddenShares) host.Pick(ShowHiddenSharesItem);
        host.commandLine = c.line;
        host.List(-1);
        ASSERT_FALSE(host.menus.empty()) << c.line;
        Names shown = host.MenuTexts();
        for (std::string& name : shown)
            name = Utf8(name.c_str());
        std::sort(shown.begin(), shown.end());
        std::sort(c.offered.begin(), c.offered.end());
        EXPECT_EQ(shown, c.offered) << c.line;
        if (c.hiddenShares) host.Pick(ShowHiddenSharesItem);
    }
    HeadlessHost host;
    host.commandLine = "type \\\\samba\\data\\pro";
    host.Next();
    EXPECT_EQ(host.commandLine, "type \\\\samba\\data\\projects\\");
}

// Share words outside ASCII as the console holds them (OEM), matched by the module's
// own match (the host has none), from either share source.
TEST_F(RealServer, ShareNamesMatchAsTyped) {
    TempTree tree;                                   // its own settings store
    const std::string cafe = "\\\\SAMBA\\caf\x82\\"; // CP437: 'é' 0x82, 'É' 0x90, 'π' 0xE3
    struct Case {
        bool hiddenShares;
        std::string line, expected;
    } cases[] = {
        {false, "dir \\\\SAMBA\\caf", "dir " + cafe},
        {false, "dir \\\\SAMBA\\caf\x82", "dir " + cafe},
        {false, "dir \\\\SAMBA\\CAF\x90", "dir " + cafe},
        {true, "dir \\\\SAMBA\\CAF\x90", "dir " + cafe},
        {false, "dir \\\\SAMBA\\\xe3",
         "dir \\\\SAMBA\\\xe3"
         "files\\"},
        {true, "dir \\\\SAMBA\\\xe3",
         "dir \\\\SAMBA\\\xe3"
         "files\\"},
        {false, "dir \\\\SAMBA\\LL", "dir \\\\SAMBA\\" + Long + "\\"},
        {false, "dir \\\\SAMBA\\no", "dir \\\\SAMBA\\notes\\"},
    };
    for (const Case& c : cases) {
        HeadlessHost host("Software\\ZarelinTestHost", false);
        if (c.hiddenShares) host.Pick(ShowHiddenSharesItem);
        host.commandLine = c.line;
        host.Next();
        EXPECT_EQ(host.commandLine, c.expected) << c.line << (c.hiddenShares ? " hidden" : "");
        if (c.hiddenShares) host.Pick(ShowHiddenSharesItem);
    }
}

// A wrong password is refused, not taken for the guest account: the share list and a
// guest share's folder are denied, and completion ends as on any denied list.
TEST_F(RealServer, WrongCredentialsDoNotReachGuestShares) {
    DWORD error = 0;
    EXPECT_EQ(NtShares(u"\\\\WRONG", &error), Names{});
    EXPECT_EQ(error, (DWORD)ERROR_ACCESS_DENIED);
    Enumerate("\\\\WRONG", &error);
    EXPECT_EQ(error, (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(Search("\\\\WRONG\\data\\*").error, (DWORD)ERROR_ACCESS_DENIED);
    TempTree tree; // its own settings store
    for (bool hidden : {false, true}) {
        HeadlessHost host;
        if (hidden) host.Pick(ShowHiddenSharesItem);
        host.commandLine = "dir \\\\WRONG\\";
        host.Next();
        EXPECT_EQ(host.commandLine, "dir \\\\WRONG\\") << hidden;
        EXPECT_EQ(host.beeps(), 1u) << hidden;
        if (hidden) host.Pick(ShowHiddenSharesItem);
    }
}

} // namespace
