// The commands over platform answers a real disk here cannot give: 8.3 names, failing
// calls, memory running out, lines at the buffer's limit, another layer's network.
#include <gtest/gtest.h>

#include <string>

#include "fake_host.h"
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

} // namespace
