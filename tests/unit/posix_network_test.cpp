// The simulated network: the Win32 answers of the network enumeration and the server
// and share listing calls, over networks built here.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/os.h"
#include "sources/network.h"
#include "support/sample_network.h"
#include "zp_network.h"
// After the Win32 declarations it uses.
#include "support/layer_answers.h"

namespace fs = std::filesystem;
using namespace zarelin;

namespace {

// The module reads the other family's share list with its own declaration of the record.
static_assert(sizeof(ZpShareInfo1Other) == sizeof(ShareInfo1Other) &&
              offsetof(ZpShareInfo1Other, shi1_type) == offsetof(ShareInfo1Other, shi1_type) &&
              offsetof(ZpShareInfo1Other, shi1_remark) == offsetof(ShareInfo1Other, shi1_remark));

const char* const Windows = "Microsoft Windows Network";
const size_t ProviderBytes = std::strlen(Windows) + 1;

// CORP lists ALPHA and BETA, HOME lists GAMMA (no shares); LONELY is in no domain.
const char* const Standard = R"({
  "platform": "nt", "domain": "CORP", "workgroup": "HOME",
  "providers": [
    { "name": "Microsoft Windows Network", "domains": [
        { "name": "CORP", "servers": ["ALPHA", "BETA"] },
        { "name": "HOME", "servers": ["GAMMA"] } ] },
    { "name": "Web Client Network" } ],  // a provider with nothing below it
  "servers": {
    "ALPHA": { "comment": "file server", "shares": [
        { "name": "data", "type": "disk", "path": "shares/data", "remark": "team data" },
        { "name": "docs", "type": "disk", "path": "/srv/docs" },
        { "name": "laser", "type": "printer" }, { "name": "C$", "type": "special" },
        { "name": "secret$", "type": "disk" }, { "name": "IPC$", "type": "ipc" } ] },
    "BETA": { "denied": true, "shares": [ { "name": "pub" } ] },
    "LONELY": { "shares": [ { "name": "x" } ] } } })";

NETRESOURCEA Resource(const char* remote, const char* provider,
                      DWORD usage = RESOURCEUSAGE_CONTAINER) {
    return {RESOURCE_GLOBALNET,        RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_SERVER, usage, nullptr,
            const_cast<char*>(remote), nullptr,          const_cast<char*>(provider)};
}

template <typename Fn> Fn Proc(const char* library, const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(LoadLibraryA(library), name)));
}

std::string Narrow(const WCHAR* text) { // ASCII from UTF-16
    std::string narrow;
    while (*text)
        narrow += static_cast<char>(*text++);
    return narrow;
}

// Every entry below `container` as "remote:display:usage ", read as the module reads the
// whole network; or "error N".
std::string Walk(NETRESOURCEA* container, DWORD type = 0, DWORD usage = 0) {
    HANDLE handle = nullptr;
    DWORD code = WNetOpenEnumA(RESOURCE_GLOBALNET, type, usage, container, &handle);
    if (code != ERROR_SUCCESS) return "error " + std::to_string(code);
    std::string seen;
    alignas(NETRESOURCEA) char buffer[16384];
    DWORD count = 0xFFFFFFFF, size = sizeof buffer;
    while ((code = WNetEnumResourceA(handle, &count, buffer, &size)) == ERROR_SUCCESS) {
        for (DWORD i = 0; i < count; ++i) {
            const auto& r = reinterpret_cast<const NETRESOURCEA*>(buffer)[i];
            seen += std::string(r.lpRemoteName) + ":" + std::to_string(r.dwDisplayType) + ":" +
                    std::to_string(r.dwUsage) + " ";
        }
        count = 0xFFFFFFFF;
    }
    EXPECT_EQ(WNetCloseEnum(handle), 0u);
    // Without a provider the open succeeds and the first read answers the error.
    return code == ERROR_NO_MORE_ITEMS ? seen : "error " + std::to_string(code);
}

class PosixNetwork : public ::testing::Test {
  protected:
    void SetUp() override {
        char base[] = "/tmp/zarelin-network-XXXXXX";
        ASSERT_NE(mkdtemp(base), nullptr);
        dir_ = base;
        file_ = dir_ + "/network.json";
        ASSERT_EQ(Load(Standard), 0) << ZpNetworkError();
    }
    void TearDown() override {
        ZpNetworkSetFault(ZpFaultAll, 0);
        ZpNetworkLoad(nullptr);
        unsetenv("ZARELIN_NETWORK");
        fs::remove_all(dir_);
    }
    int Load(const std::string& json) {
        std::ofstream(file_) << json;
        return ZpNetworkLoad(file_.c_str());
    }

    std::string dir_, file_;
};

// ----------------------------------------------------------------------------------
// Network enumeration.

TEST_F(PosixNetwork, WalkGoesFromTheRootThroughProvidersAndDomainsToShares) {
    struct Case {
        const char* remote; // with a null provider too: the root, no container at all
        const char* provider;
        DWORD type, usage;
        std::string expected;
    } cases[] = {
        {nullptr, nullptr, 0, 0,
         "Microsoft Windows Network:6:2147483650 Web Client Network:6:2147483650 "},
        {Windows, Windows, 0, 0, "CORP:1:2 HOME:1:2 "},
        {"CORP", Windows, 0, 0, "\\\\ALPHA:2:2 \\\\BETA:2:2 "},
        {"home", nullptr, 0, RESOURCEUSAGE_CONNECTABLE, ""}, // servers are containers
        // The module's workgroup record: disk resources, containers.
        {"HOME", Windows, RESOURCETYPE_DISK, RESOURCEUSAGE_CONTAINER, "\\\\GAMMA:2:2 "},
        // Disk and print shares, never the hidden ones.
        {"\\\\ALPHA", nullptr, 0, 0,
         "\\\\ALPHA\\data:3:1 \\\\ALPHA\\docs:3:1 \\\\ALPHA\\laser:3:1 "},
        // The module's share record: disk resources, connectable.
        {"\\\\alpha", nullptr, RESOURCETYPE_DISK, RESOURCEUSAGE_CONNECTABLE,
         "\\\\ALPHA\\data:3:1 \\\\ALPHA\\docs:3:1 "},
        {"\\\\ALPHA", Windows, RESOURCETYPE_PRINT, 0, "\\\\ALPHA\\laser:3:1 "},
        {"\\\\LONELY", nullptr, 0, 0, "\\\\LONELY\\x:3:1 "},
        {"CORP", "Microsoft Network", 0, 0, "error 1204"}, // ERROR_BAD_PROVIDER
        {"\\\\NOWHERE", nullptr, 0, 0, "error 53"},        // ERROR_BAD_NETPATH
        {"NOWHERE", Windows, 0, 0, "error 6118"},          // ERROR_NO_BROWSER_SERVERS_FOUND
        {"\\\\ALPHA\\data", nullptr, 0, 0, "error 1207"},  // ERROR_NOT_CONTAINER
        {"CORP", Windows, 5, 0, "error 87"},               // ERROR_INVALID_PARAMETER
    };
    for (const Case& c : cases) {
        NETRESOURCEA container = Resource(c.remote, c.provider);
        bool root = !c.remote && !c.provider;
        EXPECT_EQ(Walk(root ? nullptr : &container, c.type, c.usage), c.expected)
            << (c.remote ? c.remote : "(null)") << " type " << c.type << " usage " << c.usage;
    }
}

// What Windows answers (the Windows test pins Wine's answers from the same table).
TEST_F(PosixNetwork, AnswersAsWindowsDoes) {
    std::string json = testhost::SampleNetwork;
    json.replace(json.find("@FAMILY@"), 8, "nt");
    ASSERT_EQ(ZpNetworkLoadText(json.c_str()), 0) << ZpNetworkError();
    for (const testhost::LayerAnswer& row : testhost::LayerAnswers)
        EXPECT_EQ(testhost::Answer(row, WNetOpenEnumA, WNetEnumResourceA, WNetCloseEnum),
                  row.answer)
            << row.what;
}

TEST_F(PosixNetwork, AnEntryIsReadWhereItsUtf16FormFitsElseItsSizeIsTold) {
    // Both calls need a record and two bytes a character of the remote name, remark
    // and provider, terminators too: the A call reads into a buffer of the caller's
    // size in UTF-16 first.
    const size_t first =
        sizeof(NETRESOURCEA) + 2 * (sizeof "\\\\ALPHA\\data" + sizeof "team data" + ProviderBytes);
    const size_t second = sizeof(NETRESOURCEA) + 2 * (sizeof "\\\\ALPHA\\docs" + 1 + ProviderBytes);
    struct Case {
        size_t size;
        DWORD expected, entries, sizeAfter;
    } cases[] = {{0, ERROR_MORE_DATA, 0, sizeof(NETRESOURCEA)},
                 {sizeof(NETRESOURCEA) - 1, ERROR_MORE_DATA, 0, sizeof(NETRESOURCEA)},
                 {sizeof(NETRESOURCEA), ERROR_MORE_DATA, 0, first},
                 {first - 1, ERROR_MORE_DATA, 0, first},
                 {first, ERROR_SUCCESS, 1, 0},
                 {first + second - 1, ERROR_SUCCESS, 1, 0},
                 {first + second, ERROR_SUCCESS, 2, 0}};
    for (const Case& c : cases) {
        NETRESOURCEA alpha = Resource("\\\\ALPHA", nullptr);
        HANDLE handle = nullptr;
        ASSERT_EQ(WNetOpenEnumA(2, RESOURCETYPE_DISK, 0, &alpha, &handle), 0u);
        std::vector<char> buffer(c.size + 64, '~');
        DWORD count = 0xFFFFFFFF, size = static_cast<DWORD>(c.size);
        EXPECT_EQ(WNetEnumResourceA(handle, &count, buffer.data(), &size), c.expected) << c.size;
        EXPECT_EQ(std::string(buffer.begin() + c.size, buffer.end()), std::string(64, '~'));
        EXPECT_EQ(size, c.sizeAfter ? c.sizeAfter : c.size) << c.size;
        if (c.expected == ERROR_SUCCESS) {
            EXPECT_EQ(count, c.entries) << c.size;
        }
        // An entry not read stays for a buffer large enough.
        if (c.entries == 0) {
            buffer.assign(first, '\0');
            count = 1;
            size = static_cast<DWORD>(first);
            ASSERT_EQ(WNetEnumResourceA(handle, &count, buffer.data(), &size), 0u);
            ASSERT_EQ(count, 1u) << c.size;
        }
        NETRESOURCEA r;
        std::memcpy(&r, buffer.data(), sizeof r);
        EXPECT_STREQ(r.lpRemoteName, "\\\\ALPHA\\data");
        EXPECT_STREQ(r.lpComment, "team data");
        EXPECT_STREQ(r.lpProvider, Windows);
        WNetCloseEnum(handle);
    }
}

// The W calls take and give UTF-16: a name the ANSI page lacks comes through whole.
TEST_F(PosixNetwork, TheUtf16EnumerationKeepsEveryCharacterAndTellsTheSizeItNeeds) {
    ASSERT_EQ(ZpNetworkLoadText(R"({"providers": [{"name": "N", "domains": [
        {"name": "W", "servers": ["\u00c9T\u00c9"]}]}],
        "servers": {"\u00c9T\u00c9": {"shares": [{"name": "\u03c0files", "remark": "r"}]}}})"),
              0)
        << ZpNetworkError();
    WCHAR server[] = u"\\\\\u00e9t\u00e9";
    NETRESOURCEW container = {RESOURCE_GLOBALNET,
                              RESOURCETYPE_ANY,
                              RESOURCEDISPLAYTYPE_SERVER,
                              RESOURCEUSAGE_CONTAINER,
                              nullptr,
                              server,
                              nullptr,
                              nullptr};
    HANDLE handle = nullptr;
    ASSERT_EQ(WNetOpenEnumW(2, RESOURCETYPE_DISK, 0, &container, &handle), 0u);
    const size_t needed = sizeof(NETRESOURCEW) + 2 * (sizeof "\\\\ETE\\pfiles" + 2 + 2);
    alignas(NETRESOURCEW) char buffer[256];
    DWORD count = 1, size = static_cast<DWORD>(needed - 1);
    EXPECT_EQ(WNetEnumResourceW(handle, &count, buffer, &size),
              static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(size, needed);
    ASSERT_EQ(WNetEnumResourceW(handle, &count, buffer, &size), 0u);
    ASSERT_EQ(count, 1u);
    const auto* entry = reinterpret_cast<const NETRESOURCEW*>(buffer);
    EXPECT_EQ(std::u16string(entry->lpRemoteName), u"\\\\\u00c9T\u00c9\\\u03c0files");
    EXPECT_EQ(std::u16string(entry->lpComment), u"r");
    EXPECT_EQ(std::u16string(entry->lpProvider), u"N");
    EXPECT_EQ(WNetEnumResourceW(handle, &count, buffer, &size),
              static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    WNetCloseEnum(handle);
}

TEST_F(PosixNetwork, AnEnumerationReadsItsOwnNetworkToTheEndAndIsClosedOnce) {
    NETRESOURCEA corp = Resource("CORP", Windows);
    HANDLE handle = nullptr;
    ASSERT_EQ(WNetOpenEnumA(2, 0, 0, &corp, &handle), 0u);
    ASSERT_EQ(ZpNetworkLoadText(R"({"providers": [{"name": "Other"}]})"), 0);
    alignas(NETRESOURCEA) char buffer[4096];
    DWORD counts[] = {1, 5, 1}, expected[] = {0, 0, ERROR_NO_MORE_ITEMS}, size = sizeof buffer;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(WNetEnumResourceA(handle, &counts[i], buffer, &size), expected[i]) << i;
        EXPECT_EQ(counts[i], 1u) << i; // one left for the second read, from the first network
    }
    EXPECT_EQ(WNetCloseEnum(handle), 0u);
    EXPECT_EQ(WNetCloseEnum(handle), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WNetEnumResourceA(handle, &counts[0], buffer, &size),
              static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// ----------------------------------------------------------------------------------
// Loading the network.

TEST_F(PosixNetwork, WithoutANetworkEveryCallAnswersNoNetwork) {
    auto shareEnum = Proc<NetShareEnumNtFn>("NETAPI32.DLL", "NetShareEnum");
    ASSERT_NE(shareEnum, nullptr) << "the library is there without a network";
    const std::string missing = dir_ + "/missing.json";
    const DWORD none = ERROR_NO_NETWORK;
    for (const char* variable : {static_cast<const char*>(nullptr), "", missing.c_str()}) {
        variable ? setenv("ZARELIN_NETWORK", variable, 1) : unsetenv("ZARELIN_NETWORK");
        EXPECT_EQ(ZpNetworkReload(), variable && *variable ? -1 : 0);
        HANDLE handle = INVALID_HANDLE_VALUE;
        EXPECT_EQ(WNetOpenEnumA(2, 0, 0, nullptr, &handle), none);
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(WNetCloseEnum(&handle), none);
        BYTE* buffer = nullptr;
        DWORD read, total;
        WCHAR alpha[] = u"\\\\ALPHA";
        EXPECT_EQ(shareEnum(alpha, 1, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr), none);
    }
    EXPECT_NE(std::string(ZpNetworkError()).find(missing), std::string::npos);
    // A network without providers has nothing to enumerate either.
    ASSERT_EQ(ZpNetworkLoadText("{}"), 0);
    HANDLE handle;
    EXPECT_EQ(WNetOpenEnumA(2, 0, 0, nullptr, &handle), none);
}

TEST_F(PosixNetwork, AFileThatCannotBeUsedIsNamedWithItsLineOrKeyOnce) {
    struct Case {
        std::string json;
        std::string where; // follows "file:" in the error
    } cases[] = {
        {"{\n  \"platform\": \"nt\",\n  \"domain\" \"CORP\"\n}", "3: "},
        {"{\n\n  \"domain\": \"CO\nRP\"\n}", "3: "},
        {"[[[[[[[[\n[[[[[[[[\n[[[[", "3: nested deeper"},
        {R"({"platform": "dos"})", " platform: "},
        {R"({"servers": {"A": {"shars": []}}})", " servers.A.shars: unknown key"},
        {R"({"servers": {"A": {"shares": [{"name": "x", "type": "floppy"}]}}})",
         " servers.A.shares[0].type: "},
        {R"({"servers": {"alpha": {}, "ALPHA": {}}})", " servers: \"ALPHA\" is named twice"},
        {R"({"servers": {"A": {"delay": 60001}}})", " servers.A.delay: not between 0 and 60000"},
        {R"({"providers": [{"name": "P", "domains": [{"name": "D", "delay": -1}]}]})",
         " providers[0].domains[0].delay: not between"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Load(c.json), -1) << c.json;
        std::string error = ZpNetworkError();
        EXPECT_EQ(error.rfind(file_ + ":" + c.where, 0), 0u) << error;
        EXPECT_EQ(ZpNetworkReady(), 0) << c.json;
    }
    EXPECT_EQ(Load("// the office\n{ /* none yet */ \"providers\": [] }"), 0) << ZpNetworkError();
    EXPECT_STREQ(ZpNetworkError(), "");
    // Named by the environment, where nobody else would see it: reported once.
    Load("{\n  \"domain\": CORP\n}");
    setenv("ZARELIN_NETWORK", file_.c_str(), 1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ZpNetworkReload() + ZpNetworkReady(), -1);
    std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find(file_ + ":2: "), std::string::npos) << printed;
    EXPECT_EQ(printed.find(file_ + ":2: "), printed.rfind(file_ + ":2: ")) << printed;
}

// ----------------------------------------------------------------------------------
// Families and libraries.

TEST_F(PosixNetwork, TheFamilyDecidesVersionLibrariesAndWorkgroupAndNamesFindCalls) {
    char config[] = "/tmp/zarelin-netreg-XXXXXX"; // an empty registry store
    ASSERT_NE(mkdtemp(config), nullptr);
    setenv("XDG_CONFIG_HOME", config, 1);
    struct Case {
        const char* platform;
        DWORD platformId;
        const char* library;   // the one of the two that loads
        const char* workgroup; // "": the key is missing
    } cases[] = {{"nt", VER_PLATFORM_WIN32_NT, "NETAPI32.DLL", ""},
                 {"other", VER_PLATFORM_WIN32_WINDOWS, "svrapi.DLL", "HOME"}};
    for (const Case& c : cases) {
        std::string json = R"({"workgroup": "HOME", "platform": ")" + std::string(c.platform);
        ASSERT_EQ(ZpNetworkLoadText((json + "\"}").c_str()), 0);
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof version;
        ASSERT_TRUE(GetVersionExA(&version));
        EXPECT_EQ(version.dwPlatformId, c.platformId) << c.platform;
        for (const char* library : {"NETAPI32.DLL", "svrapi.DLL"})
            EXPECT_EQ(LoadLibraryA(library) != nullptr, library == c.library) << library;
        HKEY key = nullptr;
        char value[64] = "";
        DWORD size = sizeof value;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\VxD\\VNETSUP",
                          0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
            RegQueryValueExA(key, "Workgroup", nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                             &size);
            RegCloseKey(key);
        }
        EXPECT_STREQ(value, c.workgroup) << c.platform;
    }
    unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(config);
    // Windows' rules for names: any case and path, ".dll" implied; calls keep their case.
    ASSERT_EQ(Load(Standard), 0);
    HMODULE netapi = LoadLibraryA("C:\\WINDOWS\\system32\\NetApi32");
    ASSERT_EQ(netapi, LoadLibraryA("NETAPI32.DLL"));
    EXPECT_EQ(LoadLibraryA("netapi32.dll.bak"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    for (const char* name : {"NetServerEnum", "NetShareEnum", "NetApiBufferFree"})
        EXPECT_NE(GetProcAddress(netapi, name), nullptr) << name;
    for (const char* name : {"netserverenum", reinterpret_cast<const char*>(1)}) {
        EXPECT_EQ(GetProcAddress(netapi, name), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    }
    ZpNetworkSetFault(ZpFaultNoNetShareEnum, -1); // the library is there, the call is not
    EXPECT_EQ(GetProcAddress(netapi, "NetShareEnum"), nullptr);
}

// ----------------------------------------------------------------------------------
// Server and share lists.

TEST_F(PosixNetwork, NetServerEnumListsTheDomainsServersInABufferFreedOnce) {
    auto serverEnum = Proc<NetServerEnumFn>("NETAPI32.DLL", "NetServerEnum");
    auto bufferFree = Proc<NetApiBufferFreeFn>("NETAPI32.DLL", "NetApiBufferFree");
    struct Case {
        const WCHAR* domain;
        DWORD level, expected;
        std::string names;
    } cases[] = {
        {nullptr, 100, NERR_Success, "ALPHA BETA "}, // the primary domain
        {u"home", 100, NERR_Success, "GAMMA "},
        {u"NOWHERE", 100, ERROR_NO_BROWSER_SERVERS_FOUND, ""},
    };
    for (const Case& c : cases) {
        BYTE* buffer = nullptr;
        DWORD read = 9, total = 9, resume = 0;
        EXPECT_EQ(serverEnum(nullptr, c.level, &buffer, MAX_PREFERRED_LENGTH, &read, &total,
                             SV_TYPE_ALL, c.domain, &resume),
                  c.expected);
        EXPECT_EQ(total, read);
        std::string names;
        for (DWORD i = 0; i < read; ++i) {
            const auto& info = reinterpret_cast<SERVER_INFO_100*>(buffer)[i];
            EXPECT_EQ(info.sv100_platform_id, 500u);
            names += Narrow(info.sv100_name) + " ";
        }
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(buffer != nullptr, read > 0);
        if (!buffer) continue;
        EXPECT_EQ(bufferFree(buffer), static_cast<DWORD>(NERR_Success));
        EXPECT_EQ(bufferFree(buffer), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

TEST_F(PosixNetwork, NetShareEnumListsEveryShareAndResumesWhereItStopped) {
    auto shareEnum = Proc<NetShareEnumNtFn>("NETAPI32.DLL", "NetShareEnum");
    auto bufferFree = Proc<NetApiBufferFreeFn>("NETAPI32.DLL", "NetApiBufferFree");
    const std::string all = "data:0 docs:0 laser:1 C$:2147483648 secret$:0 IPC$:2147483651 ";
    struct Case {
        std::u16string server;
        DWORD prefMaxLength, expected;
        size_t perCall; // entries each call returns
        std::string listed;
    } cases[] = {
        {u"\\\\alpha", MAX_PREFERRED_LENGTH, NERR_Success, 6, all},
        {u"ALPHA", 1, NERR_Success, 1, all}, // less than one entry: one a call all the same
        // Room for the strings of any two neighbours (42 bytes at most), never of three.
        {u"ALPHA", 2 * sizeof(SHARE_INFO_1) + 42, NERR_Success, 2, all},
        {u"\\\\GAMMA", MAX_PREFERRED_LENGTH, NERR_Success, 0, ""}, // listed, sharing nothing
        {u"\\\\NOWHERE", MAX_PREFERRED_LENGTH, ERROR_BAD_NETPATH, 0, ""},
        {u"\\\\BETA", MAX_PREFERRED_LENGTH, ERROR_ACCESS_DENIED, 0, ""},
    };
    for (Case& c : cases) {
        std::string seen;
        DWORD resume = 0, result = ERROR_MORE_DATA;
        for (size_t done = 0, call = 0; result == ERROR_MORE_DATA && call < 10; ++call) {
            BYTE* buffer = nullptr;
            DWORD read = 0, total = 0;
            result = shareEnum(&c.server[0], 1, &buffer, c.prefMaxLength, &read, &total, &resume);
            EXPECT_EQ(total, c.perCall ? 6 - done : 0) << "counted from where it resumed";
            EXPECT_EQ(read, std::min(c.perCall, 6 - done));
            for (DWORD i = 0; i < read; ++i, ++done) {
                const auto& info = reinterpret_cast<SHARE_INFO_1*>(buffer)[i];
                seen += Narrow(info.shi1_netname) + ":" + std::to_string(info.shi1_type) + " ";
                EXPECT_EQ(Narrow(info.shi1_remark), done ? "" : "team data");
            }
            bufferFree(buffer);
        }
        EXPECT_EQ(result, c.expected) << c.prefMaxLength;
        EXPECT_EQ(seen, c.listed) << c.prefMaxLength;
    }
    ZpNetworkSetFault(ZpFaultShareListDenied, 1);
    BYTE* buffer = nullptr;
    DWORD read, total;
    WCHAR alpha[] = u"ALPHA";
    EXPECT_EQ(shareEnum(alpha, 1, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(PosixNetwork, TheOtherFamilysShareListFillsTheCallersBuffer) {
    ASSERT_EQ(ZpNetworkLoadText(R"({"platform": "other", "servers": {
        "ALPHA": { "shares": [
            { "name": "data", "remark": "team data" }, { "name": "thirteenchars" },
            { "name": "laser", "type": "printer" }, { "name": "C$", "type": "special" },
            { "name": "IPC$", "type": "ipc" } ] },
        "BETA": { "denied": true } } })"),
              0);
    auto shareEnum = Proc<NetShareEnumOtherFn>("svrapi.DLL", "NetShareEnum");
    ASSERT_NE(shareEnum, nullptr);
    // 'thirteenchars' has no 12-byte form, and this family keeps no administrative
    // shares: neither is listed.
    const std::string all = "data:0 laser:1 IPC$:3 ";
    const size_t record = sizeof(ZpShareInfo1Other), remarks = sizeof "team data" + 2;
    struct Case {
        const char* server;
        size_t size;
        DWORD expected;
        size_t read, total;
    } cases[] = {
        {"\\\\ALPHA", 0, ERROR_MORE_DATA, 0, 3},
        {"\\\\ALPHA", record + sizeof "team data", ERROR_MORE_DATA, 1, 3},
        {"\\\\ALPHA", 3 * record + remarks - 1, ERROR_MORE_DATA, 2, 3},
        {"\\\\ALPHA", 3 * record + remarks, NERR_Success, 3, 3},
        {"\\\\NOWHERE", 0, ERROR_BAD_NETPATH, 0, 0},
        {"\\\\BETA", 0, ERROR_ACCESS_DENIED, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<char> buffer(c.size + 16, '~');
        unsigned short read = 99, total = 99;
        EXPECT_EQ(shareEnum(c.server, 1, c.size ? buffer.data() : nullptr,
                            static_cast<unsigned short>(c.size), &read, &total),
                  c.expected)
            << c.size;
        EXPECT_EQ(read, c.read) << c.size;
        EXPECT_EQ(total, c.total) << c.size;
        EXPECT_EQ(std::string(buffer.end() - 16, buffer.end()), std::string(16, '~'));
        std::string seen;
        for (size_t i = 0; i < read; ++i) {
            ZpShareInfo1Other info;
            std::memcpy(&info, buffer.data() + i * record, record);
            seen += std::string(info.shi1_netname) + ":" + std::to_string(info.shi1_type) + " ";
            EXPECT_STREQ(info.shi1_remark, i == 0 ? "team data" : "");
        }
        EXPECT_EQ(seen, all.substr(0, seen.size())) << c.size;
    }
}

// ----------------------------------------------------------------------------------
// Faults, shares on the disk, names outside ASCII.

TEST_F(PosixNetwork, SwitchedOnFaultsHitTheirCallsAsOftenAsAsked) {
    NETRESOURCEA home = Resource("HOME", Windows), web = Resource(nullptr, "Web Client Network");
    ZpNetworkSetFault(ZpFaultBadProvider, 1);
    EXPECT_EQ(Walk(&home, 1, 2), "error 1204"); // ERROR_BAD_PROVIDER
    EXPECT_EQ(Walk(&home, 1, 2), "\\\\GAMMA:2:2 ");
    ZpNetworkSetFault(ZpFaultBadProvider, -1);
    EXPECT_EQ(Walk(&home, 1, 2) + Walk(&home, 1, 2), "error 1204error 1204");
    EXPECT_EQ(Walk(&web), "") << "another provider is not hit";
    ZpNetworkSetFault(ZpFaultBadProvider, 0);
    ZpNetworkSetFault(ZpFaultMoreData, 2);
    HANDLE handle = nullptr;
    ASSERT_EQ(WNetOpenEnumA(2, 0, 0, &home, &handle), 0u);
    for (DWORD expected : {ERROR_MORE_DATA, ERROR_MORE_DATA, ERROR_SUCCESS}) {
        alignas(NETRESOURCEA) char buffer[4096];
        DWORD count = 1, size = sizeof buffer;
        EXPECT_EQ(WNetEnumResourceA(handle, &count, buffer, &size), expected);
        // The size that GAMMA's entry needs, whatever the buffer held.
        if (expected) {
            EXPECT_EQ(size, sizeof(NETRESOURCEA) + 2 * (sizeof "\\\\GAMMA" + 1 + ProviderBytes));
        }
    }
    WNetCloseEnum(handle);
    EXPECT_EQ(ZpNetworkSetFault(99, 1), -1);
}

TEST_F(PosixNetwork, DiskSharesStandForAbsoluteLocalDirectories) {
    struct Case {
        const char* server;
        const char* share;
        size_t size;
        std::string expected; // "": not mapped
    } cases[] = {
        {"alpha", "DATA", 256, dir_ + "/shares/data"}, // from the file's directory
        {"\\\\ALPHA", "docs", sizeof "/srv/docs", "/srv/docs"},
        {"ALPHA", "docs", sizeof "/srv/docs" - 1, ""}, // does not fit
        {"ALPHA", "laser", 256, ""},                   // a printer
    };
    for (const Case& c : cases) {
        std::string dir(c.size, '~');
        EXPECT_EQ(ZpShareDirectory(c.server, c.share, &dir[0], c.size), !c.expected.empty());
        EXPECT_EQ(dir.c_str(), c.expected) << c.server << "\\" << c.share;
    }
    // From text, relative to the current directory: absolute too.
    ASSERT_EQ(ZpNetworkLoadText(R"({"servers": {"S": {"shares": [{"name": "d", "path": "d"}]}}})"),
              0);
    char dir[4096];
    ASSERT_TRUE(ZpShareDirectory("S", "d", dir, sizeof dir));
    EXPECT_EQ(std::string(dir), fs::current_path().string() + "/d");
    // A search below a share that is not a folder fails as Windows says why.
    const struct {
        const char* mask;
        DWORD error;
    } searches[] = {
        {"\\\\S\\nosuch\\*", ERROR_BAD_NET_NAME},
        {"\\\\NOWHERE\\d\\*", ERROR_BAD_NETPATH},
    };
    for (const auto& c : searches) {
        WIN32_FIND_DATAA data;
        EXPECT_EQ(FindFirstFileA(c.mask, &data), INVALID_HANDLE_VALUE) << c.mask;
        EXPECT_EQ(GetLastError(), c.error) << c.mask;
    }
}

TEST_F(PosixNetwork, NamesOutsideAsciiAreAnsiOrUtf16AndMatchWithoutCase) {
    ASSERT_EQ(ZpNetworkLoadText(R"({"providers": [{"name": "N", "domains": [
        {"name": "W", "servers": ["CAF\u00c9"]}]}],
        "servers": {"CAF\u00c9": {"shares": [{"name": "\u00e9t\u00e9", "path": "/x"},
                                             {"name": "\u03a9mega"}]}}})"),
              0)
        << ZpNetworkError();
    // The A calls take and give the ANSI code page: 0xE9 is 'é', 0xC9 'É'; 'Ω' has no form.
    NETRESOURCEA cafe = Resource("\\\\caf\xe9", nullptr);
    EXPECT_EQ(Walk(&cafe), "\\\\CAF\xc9\\\xe9t\xe9:3:1 \\\\CAF\xc9\\?mega:3:1 ");
    auto shareEnum = Proc<NetShareEnumNtFn>("NETAPI32.DLL", "NetShareEnum");
    BYTE* buffer = nullptr;
    DWORD read = 0, total = 0;
    WCHAR server[] = u"caf\u00e9";
    ASSERT_EQ(shareEnum(server, 1, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr), 0u);
    ASSERT_EQ(read, 2u);
    EXPECT_EQ(std::u16string(reinterpret_cast<SHARE_INFO_1*>(buffer)[1].shi1_netname),
              u"\u03a9mega");
    Proc<NetApiBufferFreeFn>("NETAPI32.DLL", "NetApiBufferFree")(buffer);
    char dir[16];
    EXPECT_TRUE(ZpShareDirectory("caf\xc3\xa9", "\xc3\x89T\xc3\x89", dir, sizeof dir));
}

} // namespace
