// Server and share words through Wine's own network layer: mpr.dll with the test
// provider behind it for the enumerations, the NETAPI32 and svrapi doubles for the
// lists read whole, and Wine's file search inside a share mapped onto a folder. The
// other platform family and the partial NETAPI32 each run in a process of their own.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fixture.h"
#include "sample_network.h"
#include "wine_network.h"
// After the Win32 declarations it uses.
#include "layer_answers.h"

using namespace winhost;

namespace {

using Texts = std::vector<std::string>;

const std::vector<std::string> AllProviders = {"Microsoft Windows Network", "Microsoft Network",
                                               "Lab Network"};
const char WorkgroupKey[] = "System\\CurrentControlSet\\Services\\VxD\\VNETSUP";

// A text in the console's code page, as the module inserts names outside ASCII.
std::string Oem(const wchar_t* text) {
    char oem[64];
    int length = WideCharToMultiByte(CP_OEMCP, 0, text, -1, oem, sizeof oem, nullptr, nullptr);
    return length > 0 ? std::string(oem) : std::string();
}

// Entries larger than the module's first 256-byte entry buffer, each followed by more:
// a share named with 80 characters, one with a remark of 200, a server with a comment
// of 200 in the workgroup.
const std::string Long(80, 'l');
const std::string LongNetwork = R"({ "platform": "@FAMILY@", "workgroup": "HOME", "domain": "HOME",
  "providers": [ { "name": "Microsoft Windows Network",
                   "domains": [ { "name": "HOME", "servers": ["INFO", "LONG", "ZED"] } ] } ],
  "servers": { "INFO": { "comment": ")" +
                                std::string(200, 'c') + R"(" },
               "LONG": { "shares": [ { "name": ")" +
                                Long + R"(" },
                                     { "name": "notes", "remark": ")" +
                                std::string(200, 'r') + R"(" }, { "name": "zlast" } ] } } })";

struct Case {
    const char* line;
    std::vector<int32_t> options; // items picked first, from the defaults
    Texts expected;               // the list menu, or the line a single match makes
};

class WineNetworkTest : public WindowsTest {
  protected:
    void Start(const char* family, const std::vector<std::string>& providers = AllProviders,
               std::string json = SampleNetwork) {
        json.replace(json.find("@FAMILY@"), 8, family);
        network.reset(); // one registration at a time
        network = std::make_unique<WineNetwork>(folder.root(), json, providers);
    }
    void TearDown() override {
        network.reset();
        WindowsTest::TearDown();
    }

    // What the list command makes of `line` with `options` picked: the list menu's
    // texts, or the line itself when a single match was inserted without a menu.
    Texts Complete(const std::string& line, const std::vector<int32_t>& options = {}) {
        RegDeleteTreeA(HKEY_CURRENT_USER, hostRoot.c_str()); // every option at its default
        WindowsHost host(hostRoot);
        for (int32_t option : options)
            host.Pick(option);
        host.commandLine = line;
        host.menus.clear();
        host.List(-1);
        if (host.menus.size() > 1) return host.MenuTexts();
        return {host.commandLine};
    }

    void Check(const std::vector<Case>& cases) {
        for (const Case& c : cases)
            EXPECT_EQ(Complete(c.line, c.options), c.expected)
                << c.line << " after " << c.options.size() << " option(s)";
    }

    // Next completion from `line` `steps` times, `toggle` picked before the first and
    // again after it: the search continues on the other source.
    Texts Steps(const std::string& line, int32_t toggle, int steps) {
        RegDeleteTreeA(HKEY_CURRENT_USER, hostRoot.c_str());
        WindowsHost host(hostRoot);
        host.Pick(toggle);
        host.commandLine = line;
        Texts lines;
        for (int i = 0; i < steps; ++i) {
            host.Next();
            lines.push_back(host.commandLine);
            if (i == 0) host.Pick(toggle);
        }
        return lines;
    }

    std::unique_ptr<WineNetwork> network;
};

// ----------------------------------------------------------------------------------
// The NT family, in this process.

class NtNetwork : public WineNetworkTest {
  protected:
    void SetUp() override {
        WindowsTest::SetUp();
        Start("nt");
    }
};

TEST_F(NtNetwork, ServersAndSharesCompleteThroughTheRealLayerAndTheDoubles) {
    const std::string cafe = Oem(L"caf\u00e9");
    Check({
        // The current domain, read at once from the NETAPI32 double.
        {"dir \\\\", {}, {"ALPHA\\", "BETA\\"}},
        {"dir \\\\al", {}, {"dir \\\\ALPHA\\"}},
        // The whole network, walked through mpr: ALPHA is in two domains.
        {"dir \\\\",
         {CurrentDomainOnlyItem},
         {"ALPHA\\", "ALPHA\\", "BETA\\", "DELTA\\", "GAMMA\\", "OMEGA\\"}},
        {"dir \\\\de", {CurrentDomainOnlyItem}, {"dir \\\\DELTA\\"}},
        // Shares through mpr. Wine's mpr re-opens a provider-less enumeration at every
        // read and ends it after the owning provider's first answer: one share.
        {"dir \\\\alpha\\", {}, {"dir \\\\ALPHA\\data\\"}},
        {"dir //alpha/da", {}, {"dir \\\\ALPHA\\data\\"}},
        {"dir \\\\alpha\\do", {}, {"dir \\\\alpha\\do"}},
        // The share list read whole: C$ too, never the printer or IPC$.
        {"dir \\\\alpha\\",
         {ShowHiddenSharesItem},
         {"\\\\alpha\\C$\\", "\\\\alpha\\" + cafe + "\\", "\\\\alpha\\data\\",
          "\\\\alpha\\docs\\"}},
        {"dir //alpha/do", {ShowHiddenSharesItem}, {"dir \\\\alpha\\docs\\"}},
        {"dir //alpha/caf", {ShowHiddenSharesItem}, {"dir \\\\alpha\\" + cafe + "\\"}},
        // An unreachable server, and a refused share list: the line stays.
        {"dir \\\\nosuch\\", {}, {"dir \\\\nosuch\\"}},
        {"dir \\\\nosuch\\", {ShowHiddenSharesItem}, {"dir \\\\nosuch\\"}},
        {"dir \\\\zeta\\", {ShowHiddenSharesItem}, {"dir \\\\zeta\\"}},
    });
    DoubleStats stats = NetapiStats();
    EXPECT_GT(stats.calls, 0);
    EXPECT_EQ(stats.outstanding, 0); // every list handed out was freed
}

TEST_F(NtNetwork, WinesLayerAnswersAsTheTableSaysWine) {
    HMODULE mpr = LoadLibraryA("mpr.dll");
    ASSERT_NE(mpr, nullptr);
    using AnyFn = void (*)();
    auto open = reinterpret_cast<DWORD(WINAPI*)(DWORD, DWORD, DWORD, NETRESOURCEA*, HANDLE*)>(
        reinterpret_cast<AnyFn>(GetProcAddress(mpr, "WNetOpenEnumA")));
    auto read = reinterpret_cast<DWORD(WINAPI*)(HANDLE, DWORD*, void*, DWORD*)>(
        reinterpret_cast<AnyFn>(GetProcAddress(mpr, "WNetEnumResourceA")));
    auto close = reinterpret_cast<DWORD(WINAPI*)(HANDLE)>(
        reinterpret_cast<AnyFn>(GetProcAddress(mpr, "WNetCloseEnum")));
    for (const LayerAnswer& row : LayerAnswers)
        EXPECT_EQ(Answer(row, open, read, close), row.wine ? row.wine : row.answer) << row.what;
    FreeLibrary(mpr);
}

TEST_F(NtNetwork, ASourceReadWholeEndsWhenItsOptionChangesMidSearch) {
    // The walk, then the current domain: the second ALPHA of the walk, then the end.
    EXPECT_EQ(Steps("dir \\\\a", CurrentDomainOnlyItem, 3),
              (Texts{"dir \\\\ALPHA\\", "dir \\\\ALPHA\\", "dir \\\\ALPHA\\"}));
    // The share list read whole, then the enumeration: 'docs' from the list, the end.
    EXPECT_EQ(Steps("dir \\\\alpha\\d", ShowHiddenSharesItem, 3),
              (Texts{"dir \\\\alpha\\data\\", "dir \\\\alpha\\docs\\", "dir \\\\alpha\\docs\\"}));
}

TEST_F(NtNetwork, ALongEntryIsReadInALargerBuffer) {
    Start("nt", AllProviders, LongNetwork);
    Check({
        // Wine's mpr ends a provider-less enumeration after the owner's first answer.
        {"dir \\\\long\\", {}, {"dir \\\\LONG\\" + Long + "\\"}},
        {"dir \\\\long\\",
         {ShowHiddenSharesItem},
         {"\\\\long\\" + Long + "\\", "\\\\long\\notes\\", "\\\\long\\zlast\\"}},
    });
}

TEST_F(NtNetwork, AWordInsideAShareCompletesThroughTheFileSearch) {
    if (!network->MapShare("ALPHA", "data", {"report.txt", "readme.md", "reports\\"}))
        GTEST_SKIP() << "no Wine prefix to map \\\\ALPHA\\data in";
    Check({
        {"type \\\\alpha\\data\\rep", {}, {"report.txt", "reports\\"}},
        {"type //alpha/data/rea", {}, {"type //alpha/data/readme.md"}},
        {"type \\\\alpha\\data\\reports\\", {}, {"type \\\\alpha\\data\\reports\\"}},
    });
}

// ----------------------------------------------------------------------------------
// The other family: a process of its own, which Wine tells it runs on that family.

class OtherNetwork : public WineNetworkTest {
  protected:
    void SetUp() override {
        if (World() != "other") GTEST_SKIP() << "runs in the other family's process";
        WindowsTest::SetUp();
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof version;
        ASSERT_TRUE(GetVersionExA(&version));
        ASSERT_EQ(version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, WorkgroupKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "Workgroup", 0, REG_SZ, reinterpret_cast<const BYTE*>("HOME"), 5);
        RegCloseKey(key);
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, WorkgroupKey);
        WineNetworkTest::TearDown();
    }
};

TEST_F(OtherNetwork, TheWorkgroupAndTheSharesCompleteThroughTheRealLayerAndTheDouble) {
    Start("other");
    const std::string cafe = Oem(L"caf\u00e9");
    Check({
        // The workgroup, one server per call, as mpr returns them.
        {"dir \\\\", {}, {"\\\\ALPHA\\", "\\\\GAMMA\\"}},
        {"dir \\\\g", {}, {"dir \\\\GAMMA\\"}},
        {"dir \\\\",
         {CurrentDomainOnlyItem},
         {"\\\\ALPHA\\", "\\\\ALPHA\\", "\\\\BETA\\", "\\\\DELTA\\", "\\\\GAMMA\\", "\\\\OMEGA\\"}},
        {"dir \\\\alpha\\", {}, {"dir \\\\ALPHA\\data\\"}},
        // The share list from the svrapi double: this family has no C$.
        {"dir \\\\alpha\\",
         {ShowHiddenSharesItem},
         {"\\\\alpha\\" + cafe + "\\", "\\\\alpha\\data\\", "\\\\alpha\\docs\\"}},
        {"dir //alpha/do", {ShowHiddenSharesItem}, {"dir \\\\alpha\\docs\\"}},
        {"dir \\\\nosuch\\", {ShowHiddenSharesItem}, {"dir \\\\nosuch\\"}},
        {"dir \\\\zeta\\", {ShowHiddenSharesItem}, {"dir \\\\zeta\\"}},
    });
}

// Wine's ANSI enumeration answers an entry larger than the buffer with success and no
// entries; the module reads it again in a larger buffer.
TEST_F(OtherNetwork, ALongEntryIsReadInALargerBuffer) {
    Start("other", AllProviders, LongNetwork);
    Check({
        {"dir \\\\", {}, {"\\\\INFO\\", "\\\\LONG\\", "\\\\ZED\\"}},
        {"dir \\\\long\\", {}, {"dir \\\\LONG\\" + Long + "\\"}},
        // This family's share list holds names of up to 12 characters.
        {"dir \\\\long\\", {ShowHiddenSharesItem}, {"\\\\long\\notes\\", "\\\\long\\zlast\\"}},
    });
}

TEST_F(OtherNetwork, WithoutTheFirstProviderTheWorkgroupIsReadThroughTheSecond) {
    // mpr knows no "Microsoft Windows Network": the module's retry names the other.
    Start("other", {"Microsoft Network", "Lab Network"});
    RegDeleteTreeA(HKEY_CURRENT_USER, hostRoot.c_str());
    WindowsHost host(hostRoot);
    for (int search = 0; search < 2; ++search) {
        host.commandLine = "dir \\\\";
        host.Next();
        EXPECT_EQ(host.commandLine, "dir \\\\OMEGA\\") << "search " << search;
    }
}

TEST_F(OtherNetwork, TheWalkEndsWhenTheWorkgroupIsChosenMidSearch) {
    Start("other");
    EXPECT_EQ(Steps("dir \\\\a", CurrentDomainOnlyItem, 3),
              (Texts{"dir \\\\ALPHA\\", "dir \\\\ALPHA\\", "dir \\\\ALPHA\\"}));
}

// ----------------------------------------------------------------------------------
// A NETAPI32 without NetApiBufferFree: a process of its own, as the module keeps the
// library it loaded. Whatever it could not free, the module must not ask for.

class PartialNetwork : public WineNetworkTest {
  protected:
    void SetUp() override {
        if (World() != "partial") GTEST_SKIP() << "runs in the partial NETAPI32's process";
        WindowsTest::SetUp();
        Start("nt");
    }
};

TEST_F(PartialNetwork, ListsThatCouldNotBeFreedAreNeverAskedFor) {
    Check({
        {"dir \\\\", {}, {"dir \\\\"}},
        {"dir \\\\alpha\\", {ShowHiddenSharesItem}, {"dir \\\\alpha\\"}},
        {"dir \\\\de", {CurrentDomainOnlyItem}, {"dir \\\\DELTA\\"}}, // mpr still answers
    });
    EXPECT_EQ(NetapiStats().calls, 0);
}

// ----------------------------------------------------------------------------------
// Slow servers and domains ("delay" in the network file): the provider and the doubles
// wait before they answer for one, as the Linux layer does, and for no other.

class SlowServers : public WindowsTest {
  protected:
    static constexpr long NoWait = 100; // far above a call that does not wait

    void SetUp() override {
        WindowsTest::SetUp();
        network = std::make_unique<WineNetwork>(
            folder.root(), Filled(SlowNetwork, {{"@FAMILY@", "nt"}, {"@PATH@", "data"}}),
            std::vector<std::string>{AllProviders[0]});
    }
    void TearDown() override {
        network.reset();
        WindowsTest::TearDown();
    }

    std::unique_ptr<WineNetwork> network;
};

template <typename Fn> Fn Proc(HMODULE library, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

long Ms(const std::function<void()>& call) {
    auto start = std::chrono::steady_clock::now();
    call();
    auto took = std::chrono::steady_clock::now() - start;
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count());
}

TEST_F(SlowServers, TheProviderAndTheDoublesWaitForASlowServerOrDomainAlone) {
    HMODULE mpr = LoadLibraryA("mpr.dll"), netapi = LoadLibraryA("NETAPI32.DLL"),
            svrapi = LoadLibraryA("svrapi.dll");
    ASSERT_TRUE(mpr && netapi && svrapi);
    auto open =
        Proc<DWORD(WINAPI*)(DWORD, DWORD, DWORD, NETRESOURCEA*, HANDLE*)>(mpr, "WNetOpenEnumA");
    auto read = Proc<DWORD(WINAPI*)(HANDLE, DWORD*, void*, DWORD*)>(mpr, "WNetEnumResourceA");
    auto close = Proc<DWORD(WINAPI*)(HANDLE)>(mpr, "WNetCloseEnum");
    auto shareEnum = Proc<DWORD(WINAPI*)(WCHAR*, DWORD, BYTE**, DWORD, DWORD*, DWORD*, DWORD*)>(
        netapi, "NetShareEnum");
    auto serverEnum = Proc<DWORD(WINAPI*)(const WCHAR*, DWORD, BYTE**, DWORD, DWORD*, DWORD*, DWORD,
                                          const WCHAR*, DWORD*)>(netapi, "NetServerEnum");
    auto bufferFree = Proc<DWORD(WINAPI*)(void*)>(netapi, "NetApiBufferFree");
    auto otherShareEnum =
        Proc<DWORD(WINAPI*)(const char*, short, char*, unsigned short, unsigned short*,
                            unsigned short*)>(svrapi, "NetShareEnum");
    // The enumeration below `remote` through mpr: the time of its open, or of its first read.
    auto enumerate = [&](std::string remote, bool timeRead) {
        NETRESOURCEA container = {};
        container.dwUsage = RESOURCEUSAGE_CONTAINER;
        container.lpRemoteName = &remote[0];
        container.lpProvider = const_cast<char*>(AllProviders[0].c_str());
        HANDLE handle = nullptr;
        long took = Ms([&] { EXPECT_EQ(open(2, 0, 0, &container, &handle), 0u) << remote; });
        alignas(NETRESOURCEA) char buffer[4096];
        DWORD count = 0xFFFFFFFF, size = sizeof buffer;
        if (timeRead) took = Ms([&] { EXPECT_EQ(read(handle, &count, buffer, &size), 0u); });
        close(handle);
        return took;
    };
    struct Case {
        const char* what;
        bool domain; // SLOWDOM and QUICK, else SLOW and FAST
        std::function<long(const std::string&)> call;
    } cases[] = {
        {"the enumeration of a server's shares opens", false,
         [&](const std::string& s) { return enumerate("\\\\" + s, false); }},
        {"each read of it", false,
         [&](const std::string& s) { return enumerate("\\\\" + s, true); }},
        {"the enumeration of a domain's servers opens", true,
         [&](const std::string& d) { return enumerate(d, false); }},
        {"each read of a domain's", true, [&](const std::string& d) { return enumerate(d, true); }},
        {"NetShareEnum", false,
         [&](const std::string& s) {
             std::wstring server(s.begin(), s.end());
             BYTE* buffer = nullptr;
             DWORD got, total;
             long took = Ms([&] {
                 EXPECT_EQ(shareEnum(&server[0], 1, &buffer, 0xFFFFFFFF, &got, &total, nullptr),
                           0u);
             });
             bufferFree(buffer);
             return took;
         }},
        {"NetServerEnum", true,
         [&](const std::string& d) {
             std::wstring domain(d.begin(), d.end());
             BYTE* buffer = nullptr;
             DWORD got, total;
             long took = Ms([&] {
                 EXPECT_EQ(serverEnum(nullptr, 100, &buffer, 0xFFFFFFFF, &got, &total, 0xFFFFFFFF,
                                      domain.c_str(), nullptr),
                           0u);
             });
             bufferFree(buffer);
             return took;
         }},
        {"the other family's NetShareEnum", false,
         [&](const std::string& s) {
             char buffer[1024];
             unsigned short got, total;
             return Ms([&] {
                 EXPECT_EQ(otherShareEnum(s.c_str(), 1, buffer, sizeof buffer, &got, &total), 0u);
             });
         }},
    };
    for (const Case& c : cases) {
        EXPECT_GE(c.call(c.domain ? "SLOWDOM" : "SLOW"),
                  c.domain ? SlowDomainDelay : SlowServerDelay)
            << c.what;
        EXPECT_LT(c.call(c.domain ? "QUICK" : "FAST"), NoWait) << c.what;
    }
    EXPECT_EQ(NetapiStats().outstanding, 0);
    FreeLibrary(svrapi);
    FreeLibrary(mpr);
}

// ----------------------------------------------------------------------------------

TEST(Worlds, TheOtherFamilyAndThePartialLibraryPassInProcessesOfTheirOwn) {
    if (!UnderWine()) GTEST_SKIP() << "the other family is Wine's version setting";
    if (!World().empty()) GTEST_SKIP();
    EXPECT_EQ(RunWorld("other", "OtherNetwork.*"), 0);
    EXPECT_EQ(RunWorld("partial", "PartialNetwork.*"), 0);
}

} // namespace
