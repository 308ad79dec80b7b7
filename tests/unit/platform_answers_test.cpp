// The commands over platform answers a real disk here cannot give: 8.3 names, failing
// calls, memory running out, lines at the buffer's limit, another layer's network.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_host.h"
#include "sources/bounded.h"
#include "sources/network.h"
#include "zp_network.h"

using namespace zarelin;
using fakehost::fake;

namespace {

class PlatformAnswers : public ::testing::Test {
  protected:
    fakehost::FakeHostScope scope;
};

TEST_F(PlatformAnswers, ShortNamesAreInsertedWhenChosen) {
    struct Case {
        std::vector<fakehost::Entry> listing;
        bool shortNames;
        std::string line;
        std::string expected;
    } cases[] = {
        {{{"Program Files", "PROGRA~1", true}}, true, "dir pro", "dir PROGRA~1\\"},
        {{{"Program Files", "PROGRA~1", true}}, false, "dir pro", "dir \"Program Files\\\""},
        {{{"readme.txt", "", false}}, true, "type re", "type readme.txt"},
        // Thirteen characters are no 8.3 name: the long name is offered instead.
        {{{"long name.txt", "ABCDEFGHI.TXT", false}}, true, "type lo", "type \"long name.txt\""},
    };
    for (const auto& c : cases) {
        State.ResetSearch(); // lets go of the last case's candidates
        State.Init();
        fake.listing = c.listing;
        fake.commandLine = c.line;
        State.ShortFileNames = c.shortNames;
        State.CompleteNext();
        EXPECT_EQ(fake.commandLine, c.expected) << c.line;
    }
}

TEST_F(PlatformAnswers, TheListShowsShortNamesWhenChosen) {
    fake.listing = {{"Program Files", "PROGRA~1", true}, {"Programs", "", true}};
    fake.commandLine = "dir pro";
    fake.menuAnswer = 0;
    State.ShortFileNames = 1;
    State.CompleteFromList();
    EXPECT_EQ(fake.menuTexts, (std::vector<std::string>{"PROGRA~1\\", "Programs\\"}));
    EXPECT_EQ(fake.commandLine, "dir PROGRA~1\\");
}

TEST_F(PlatformAnswers, AFailingFindNextEndsTheListingQuietly) {
    fake.listing = {{"a1", "", false}, {"a2", "", false}, {"a3", "", false}};
    fake.failNextAfter = 1;
    fake.commandLine = "copy a";
    State.CompleteNext();
    State.CompleteNext();
    EXPECT_EQ(fake.commandLine, "copy a2");
    State.CompleteNext(); // the platform gives up: a beep, the line stays
    EXPECT_EQ(fake.commandLine, "copy a2");
    EXPECT_EQ(fake.beeps, 1);
    State.CompletePrevious();
    EXPECT_EQ(fake.commandLine, "copy a1");
    State.StartSearch(); // a new search closes the handle that stayed open
    EXPECT_EQ(fake.searchesOpen, 0);
}

TEST_F(PlatformAnswers, ALineThatWouldOverflowStaysAsItWas) {
    // Each step of rebuilding the line can be the one that overflows: the word (a long
    // folder prefix and the name), its backslash, either quote, the line around it.
    const std::string head = "copy " + std::string(1015, 'x') + " ";
    const std::string full = "copy " + std::string(1017, 'x') + " ";
    std::string deep = "copy ";
    for (int i = 0; i < 500; ++i)
        deep += "d\\"; // 1005 characters, the word's prefix 1000 of them
    struct Case {
        std::string line;
        fakehost::Entry entry;
        std::string expected;
        int beeps;
    } cases[] = {
        {head + "ab", {"ab", "", false}, head + "ab", 0},   // exactly 1023 characters
        {head + "ab", {"abc", "", false}, head + "ab", 1},  // would need 1024
        {head + "ab", {"ab d", "", false}, head + "ab", 1}, // quotes would push it over
        {head + "ab", {"ab", "", true}, head + "ab", 1},    // so would the backslash
        {head + "&", {"&", "", false}, head + "&", 1},      // only the closing quote
        {deep + "a", {"a" + std::string(30, 'n'), "", false}, deep + "a", 1}, // the word itself
        {deep + "a", {"a" + std::string(22, 'n'), "", true}, deep + "a", 1},  // its backslash
        {deep + "a", {"a" + std::string(30, 'n'), "", true}, deep + "a", 1},
        {deep + "a", {"a " + std::string(30, 'n'), "", false}, deep + "a", 1},
        {full, {"a b", "", false}, full, 1}, // not even the opening quote
    };
    for (const auto& c : cases) {
        State.ResetSearch(); // lets go of the last case's candidates
        State.Init();
        fake.beeps = 0;
        fake.listing = {c.entry};
        fake.commandLine = c.line;
        ASSERT_LE(fake.commandLine.size(), 1023u);
        State.CompleteNext();
        EXPECT_EQ(fake.commandLine, c.expected) << c.entry.name;
        EXPECT_EQ(fake.beeps, c.beeps) << c.entry.name;
    }
}

HLOCAL WINAPI NoZeroedMemory(UINT flags, SIZE_T bytes) {
    return (flags & LMEM_ZEROINIT) ? nullptr : OsDefaults.LocalAlloc(flags, bytes);
}

TEST_F(PlatformAnswers, AListMenuThatCannotBeAllocatedBeepsAndLeavesTheLine) {
    fake.listing = {{"a1", "", false}, {"a2", "", false}};
    fake.commandLine = "copy a";
    fake.menuAnswer = 0;
    {
        OsSwap<decltype(os.LocalAlloc)> noMenu(os.LocalAlloc, NoZeroedMemory);
        State.CompleteFromList();
    }
    EXPECT_EQ(fake.commandLine, "copy a");
    EXPECT_EQ(fake.beeps, 1);
    EXPECT_TRUE(fake.menuTexts.empty());
    State.CompleteFromList(); // memory is back: the list works again
    EXPECT_EQ(fake.commandLine, "copy a1");
}

int enumReads = 0;

// Wine's mpr: an entry larger than the buffer is answered with success and no entries.
DWORD WINAPI WineEnumResource(HANDLE handle, DWORD* count, void* buffer, DWORD* size) {
    ++enumReads;
    DWORD asked = *size;
    DWORD result = OsDefaults.WNetEnumResourceA(handle, count, buffer, size);
    if (result != ERROR_MORE_DATA || asked < sizeof(NETRESOURCEA)) return result;
    *count = 0;
    *size = asked;
    return ERROR_SUCCESS;
}

// A layer that never has an entry to give, nor says the list has ended.
DWORD WINAPI NothingEver(HANDLE, DWORD* count, void*, DWORD*) {
    ++enumReads;
    *count = 0;
    return ERROR_SUCCESS;
}

TEST_F(PlatformAnswers, AReadOfNoEntriesWithoutAnErrorIsRepeatedInALargerBuffer) {
    const std::string remark(200, 'r');
    ASSERT_EQ(ZpNetworkLoadText((R"({ "platform": "other", "providers": [ { "name": "N" } ],
        "servers": { "LONG": { "shares": [
        { "name": "after" }, { "name": "notes", "remark": ")" +
                                 remark + R"(" },
        { "name": "zlast" } ] } } })")
                                    .c_str()),
              0)
        << ZpNetworkError();
    IsNT = 0; // the ANSI enumeration, as Wine's mpr answers it
    struct Case {
        decltype(os.WNetEnumResourceA) read;
        std::vector<std::string> offered;
        int mostReads;
    } cases[] = {
        {WineEnumResource, {"\\\\LONG\\after\\", "\\\\LONG\\notes\\", "\\\\LONG\\zlast\\"}, 8},
        // Doubled up to 64 KiB and no further: the list ends.
        {NothingEver, {}, 9},
    };
    for (const Case& c : cases) {
        State.ResetSearch();
        State.Init();
        fake.menuTexts.clear();
        fake.commandLine = "dir \\\\long\\";
        enumReads = 0;
        OsSwap<decltype(os.WNetEnumResourceA)> wine(os.WNetEnumResourceA, c.read);
        State.CompleteFromList();
        EXPECT_EQ(fake.menuTexts, c.offered) << c.mostReads;
        EXPECT_LE(enumReads, c.mostReads);
        State.ResetSearch();
        os.LocalFree(State.NetBuffer); // the module lets go of it when it closes
        State.NetBuffer = nullptr;
    }
    ZpNetworkLoad(nullptr);
}

// --- Networks only another layer can answer -------------------------------------------

// Domains within domains: the enumeration below domain "D<n>" (or the root, level 0)
// lists server "\\S<n>" and, down to `deepest`, domain "D<n+1>"; in a looping network
// every domain lists itself.
struct Nested {
    int deepest = 0;
    bool loops = false;
    std::vector<std::string> servers, domains; // the names the entries point at
} nested;

struct NestedLevel {
    int depth;
    bool read;
};

DWORD WINAPI NestedOpen(DWORD, DWORD, DWORD, NETRESOURCEA* container, HANDLE* handle) {
    int depth = container ? std::atoi(container->lpRemoteName + 1) : 0;
    *handle = new NestedLevel{depth, false};
    return ERROR_SUCCESS;
}

DWORD WINAPI NestedRead(HANDLE handle, DWORD* count, void* buffer, DWORD* size) {
    auto* level = static_cast<NestedLevel*>(handle);
    if (level->read) return ERROR_NO_MORE_ITEMS;
    if (*count < 2 || *size < 2 * sizeof(NETRESOURCEA)) return ERROR_MORE_DATA;
    level->read = true;
    int below = nested.loops ? level->depth : level->depth + 1;
    auto* entries = static_cast<NETRESOURCEA*>(buffer);
    entries[0] = {RESOURCE_GLOBALNET,
                  RESOURCETYPE_DISK,
                  RESOURCEDISPLAYTYPE_SERVER,
                  RESOURCEUSAGE_CONTAINER,
                  nullptr,
                  &nested.servers[level->depth][0],
                  nullptr,
                  nullptr};
    entries[1] = {RESOURCE_GLOBALNET,
                  RESOURCETYPE_ANY,
                  RESOURCEDISPLAYTYPE_DOMAIN,
                  RESOURCEUSAGE_CONTAINER,
                  nullptr,
                  &nested.domains[below][0],
                  nullptr,
                  nullptr};
    *count = level->depth < nested.deepest || nested.loops ? 2 : 1;
    return ERROR_SUCCESS;
}

DWORD WINAPI NestedClose(HANDLE handle) {
    delete static_cast<NestedLevel*>(handle);
    return ERROR_SUCCESS;
}

// The walk of the whole network goes sixteen levels below the root, far deeper than a
// real network nests; a domain that lists itself ends there too, the command with it.
TEST_F(PlatformAnswers, ANetworkTooDeepOrLoopingListsTheServersOfItsFirstSeventeenLevels) {
    const int32_t family = IsNT;
    IsNT = 0; // the names keep their backslashes
    nested = Nested{};
    for (int n = 0; n < 64; ++n) {
        nested.servers.push_back("\\\\S" + std::to_string(n));
        nested.domains.push_back("D" + std::to_string(n));
    }
    std::vector<std::string> seventeen; // the servers of the root and 16 levels below it
    for (int n = 0; n <= 16; ++n)
        seventeen.push_back(nested.servers[n] + "\\");
    struct Case {
        int deepest;
        bool loops;
        std::vector<std::string> offered;
    } cases[] = {
        {16, false, seventeen},
        {20, false, seventeen},
        {0, true, std::vector<std::string>(17, "\\\\S0\\")},
    };
    OsSwap<decltype(os.WNetOpenEnumA)> open(os.WNetOpenEnumA, NestedOpen);
    OsSwap<decltype(os.WNetEnumResourceA)> read(os.WNetEnumResourceA, NestedRead);
    OsSwap<decltype(os.WNetCloseEnum)> close(os.WNetCloseEnum, NestedClose);
    for (const Case& c : cases) {
        State.ResetSearch();
        State.Init();
        State.CurrentDomainOnly = 0; // the whole network
        nested.deepest = c.deepest;
        nested.loops = c.loops;
        fake.menuTexts.clear();
        fake.commandLine = "dir \\\\";
        State.CompleteFromList();
        std::vector<std::string> offered = fake.menuTexts;
        std::sort(offered.begin(), offered.end());
        std::vector<std::string> expected = c.offered;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(offered, expected) << c.deepest << (c.loops ? " looping" : "");
    }
    State.ResetSearch();
    IsNT = family;
}

int shareEnumCalls = 0;
NetShareEnumNtFn layerShareEnum = nullptr;
bool emptyLastPage = false;

// The share list one share a page, as a server with a small transfer size gives it; with
// `emptyLastPage`, the last share's page says "more data" and the page after it holds
// nothing.
DWORD WINAPI OneSharePerPage(WCHAR* server, DWORD level, BYTE** buffer, DWORD, DWORD* read,
                             DWORD* total, DWORD* resume) {
    static bool ended = false;
    ++shareEnumCalls;
    if (ended) {
        ended = false;
        *buffer = nullptr;
        *read = *total = 0;
        return ERROR_MORE_DATA;
    }
    DWORD result = layerShareEnum(server, level, buffer, 1, read, total, resume);
    ended = result == NERR_Success && emptyLastPage;
    return ended ? ERROR_MORE_DATA : result;
}

TEST_F(PlatformAnswers, AShareListThatComesInPagesIsReadToItsLastPage) {
    ASSERT_EQ(ZpNetworkLoadText(R"({ "platform": "nt", "providers": [ { "name": "N" } ],
        "servers": { "PAGED": { "shares": [ { "name": "one" }, { "name": "laser",
        "type": "printer" }, { "name": "C$", "type": "special" }, { "name": "two" } ] } } })"),
              0)
        << ZpNetworkError();
    const int32_t family = IsNT;
    IsNT = 1;
    const NetworkCalls saved = Net;
    LoadNetworkCalls();
    ASSERT_NE(Net.NetShareEnumNt, nullptr);
    layerShareEnum = Net.NetShareEnumNt;
    Net.NetShareEnumNt = OneSharePerPage;
    const std::vector<std::string> all = {"\\\\paged\\C$\\", "\\\\paged\\one\\",
                                          "\\\\paged\\two\\"};
    for (bool empty : {false, true}) {
        State.ResetSearch();
        State.Init();
        State.ShowHiddenShares = 1; // the share list read whole
        emptyLastPage = empty;
        shareEnumCalls = 0;
        fake.menuTexts.clear();
        fake.commandLine = "dir \\\\paged\\";
        State.CompleteFromList();
        EXPECT_EQ(fake.menuTexts, all) << empty;
        EXPECT_EQ(shareEnumCalls, empty ? 5 : 4) << empty;
    }
    State.ResetSearch();
    Net = saved;
    IsNT = family;
    ZpNetworkLoad(nullptr);
}

int noHandleReads = 0;

DWORD WINAPI OpenedWithoutHandleA(DWORD, DWORD, DWORD, NETRESOURCEA*, HANDLE* handle) {
    *handle = nullptr;
    return ERROR_SUCCESS;
}
DWORD WINAPI OpenedWithoutHandleW(DWORD, DWORD, DWORD, NETRESOURCEW*, HANDLE* handle) {
    *handle = nullptr;
    return ERROR_SUCCESS;
}
DWORD WINAPI ReadWithoutHandle(HANDLE, DWORD*, void*, DWORD*) {
    ++noHandleReads;
    return ERROR_INVALID_HANDLE;
}

TEST_F(PlatformAnswers, AnEnumerationOpenedWithoutAHandleBeepsAndIsNeverRead) {
    OsSwap<decltype(os.WNetOpenEnumA)> openA(os.WNetOpenEnumA, OpenedWithoutHandleA);
    OsSwap<decltype(os.WNetOpenEnumW)> openW(os.WNetOpenEnumW, OpenedWithoutHandleW);
    OsSwap<decltype(os.WNetEnumResourceA)> readA(os.WNetEnumResourceA, ReadWithoutHandle);
    OsSwap<decltype(os.WNetEnumResourceW)> readW(os.WNetEnumResourceW, ReadWithoutHandle);
    const int32_t family = IsNT;
    const struct {
        int32_t nt;
        const char* line;
    } cases[] = {
        {1, "dir \\\\alpha\\"}, // a share word on the NT family: UTF-16
        {0, "dir \\\\alpha\\"}, // on the other family: ANSI
        {0, "dir \\\\"},        // the other family's workgroup
    };
    for (const auto& c : cases) {
        State.ResetSearch();
        State.Init();
        IsNT = c.nt;
        fake.beeps = 0;
        noHandleReads = 0;
        fake.commandLine = c.line;
        State.CompleteNext();
        EXPECT_EQ(fake.commandLine, c.line) << c.nt;
        EXPECT_EQ(fake.beeps, 1) << c.nt << c.line;
        EXPECT_EQ(noHandleReads, 0) << c.nt << c.line;
    }
    State.ResetSearch();
    IsNT = family;
}

TEST_F(PlatformAnswers, AWideNameIsConvertedOnlyWhereItFitsWithItsTerminator) {
    for (size_t length : {259u, 260u}) {
        std::u16string wide(length, u'n');
        std::string target(261, '~');
        bool fits = length < 260;
        EXPECT_EQ(WideToOem(reinterpret_cast<const WCHAR*>(wide.c_str()), &target[0], 260), fits)
            << length;
        EXPECT_EQ(target[260], '~') << length; // nothing written past the room given
        if (fits) {
            EXPECT_EQ(target.c_str(), std::string(length, 'n'));
        }
    }
}

} // namespace
