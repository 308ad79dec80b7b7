// Server and share words through Wine's own network layer: mpr.dll with the test
// provider behind it for the enumerations, the NETAPI32 and svrapi doubles for the
// lists read whole, and Wine's file search inside a share mapped onto a folder. The
// other platform family and the partial NETAPI32 each run in a process of their own.
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

TEST(Worlds, TheOtherFamilyAndThePartialLibraryPassInProcessesOfTheirOwn) {
    if (!UnderWine()) GTEST_SKIP() << "the other family is Wine's version setting";
    if (!World().empty()) GTEST_SKIP();
    EXPECT_EQ(RunWorld("other", "OtherNetwork.*"), 0);
    EXPECT_EQ(RunWorld("partial", "PartialNetwork.*"), 0);
}

} // namespace
