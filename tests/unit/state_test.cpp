// The candidate list, its growth and failure, the name order, and the search reset.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/state.h"
#include "engine/text.h"

using namespace zarelin;

namespace {

class StateTest : public ::testing::Test {
  protected:
    void SetUp() override { State.Init(); }
    void TearDown() override {
        OsRestoreDefaults();
        State.ResetSearch();
    }
};

int Sign(int32_t v) {
    return (v > 0) - (v < 0);
}

TEST(CompareNames, FoldsCaseAndOrdersAsTheMenuDoes) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {".EXE", ".exe", 0},     {"a", "B", -1},       {"_x", "a", 1},    {"9", "a", -1},
        {"\x80x", "A", -1},      {"a b", "a", 0},      {"a", "a b", 0},   {"[", "{", 0},
        {"abc", "abd", -1},      {"", "", 0},          {"ab", "abc", -1}, {".z", "0", -1},
        {"Readme", "README", 0}, {"\xff", "\x01", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Sign(CompareNames(c.a, c.b)), c.sign) << "'" << c.a << "' vs '" << c.b << "'";
}

TEST(CompareNames, SortsAListCaseBlind) {
    std::vector<std::string> names = {"c", "b", "A", "_x", "9lives", "\xe9t\xe9", ".hidden"};
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return NameLess(a.c_str(), b.c_str());
    });
    std::vector<std::string> expected = {"\xe9t\xe9", ".hidden", "9lives", "A", "b", "c", "_x"};
    EXPECT_EQ(names, expected);
}

TEST(CompareNames, TheSortOrderIsStrictWeakAndAgreesWithIt) {
    // Names where a space meets a name's end, bytes above 0x7F, and case pairs: the
    // places where a sort comparator could contradict itself and send std::sort past
    // the array's ends.
    const char* names[] = {"a",    "a b", "a c", "A",  "a\xe9", "a\x80", "ab", "a@",
                           "a`",   "",    " ",   "  ", "a ",    "a  b",  "[",  "{",
                           "\xff", "b",   "a.b", "a0", "9",     "_x"};
    auto tie = [](const char* x, const char* y) { return !NameLess(x, y) && !NameLess(y, x); };
    for (const char* a : names) {
        EXPECT_FALSE(NameLess(a, a)) << a;
        for (const char* b : names) {
            // Whatever CompareNames orders strictly, the sort keeps in that order.
            EXPECT_TRUE(CompareNames(a, b) >= 0 || NameLess(a, b)) << a << " / " << b;
            EXPECT_FALSE(NameLess(a, b) && NameLess(b, a)) << a << " / " << b;
            for (const char* c : names) {
                EXPECT_TRUE(!(NameLess(a, b) && NameLess(b, c)) || NameLess(a, c));
                EXPECT_TRUE(!(tie(a, b) && tie(b, c)) || tie(a, c)); // ties are transitive
            }
        }
    }
}

// Names that meet where the sort's index could go wrong: the ends of its two keys
// (bytes 7-8 and 11-12), a name's end against a space or a byte above 0x7F there, case
// pairs, and long shared prefixes that only the names themselves tell apart.
std::vector<std::string> AwkwardNames() {
    std::vector<std::string> names = {"",
                                      " ",
                                      "a",
                                      "A",
                                      "abcdefgh",
                                      "abcdefg",
                                      "abcdefg ",
                                      "abcdefg\x80",
                                      "ABCDEFGH ",
                                      "abcdefghijk",
                                      "abcdefghijkl",
                                      "abcdefghijk ",
                                      "abcdefghijk\xff",
                                      "ABCDEFGHIJKLm",
                                      "abcdefghijkl\x80",
                                      "abcdefghijklmnop1",
                                      "ABCDEFGHIJKLMNOP0",
                                      "abcdefghijklmnop"};
    // Then pseudo-random names over every byte, grown from each other so that many share
    // a prefix longer than the keys.
    const char bytes[] = {'a', 'A', ' ', '\x80', '\xff', '_', '[', '{', '0', '.', '\x01', 'z'};
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
    for (int i = 0; i < 3000; ++i) {
        std::string base = names[next() % names.size()].substr(0, 14);
        size_t extra = next() % 6;
        for (size_t k = 0; k < extra; ++k)
            base += next() % 4 ? bytes[next() % sizeof bytes] : static_cast<char>(1 + next() % 255);
        names.push_back(base);
    }
    return names;
}

HLOCAL WINAPI FailingAlloc(UINT, SIZE_T);

TEST_F(StateTest, SortingLeavesEveryRecordInTheOrderNameLessGives) {
    const std::vector<std::string> names = AwkwardNames();
    for (bool indexAllocated : {true, false}) {
        State.ResetSearch();
        for (size_t i = 0; i < names.size(); ++i) {
            std::string tag = std::to_string(i); // travels with its name
            ASSERT_EQ(State.AddCandidate(names[i].c_str(), tag.c_str(), i % 3 == 0), 1);
        }
        if (indexAllocated) {
            State.SortCandidates();
        } else {
            OsSwap<decltype(os.LocalAlloc)> noIndex(os.LocalAlloc, FailingAlloc);
            State.SortCandidates();
        }
        std::vector<std::string> seen;
        for (int32_t i = 0; i < State.CandidateCount; ++i) {
            const Candidate& c = State.Candidates[i];
            if (i > 0) {
                ASSERT_FALSE(NameLess(c.Name, State.Candidates[i - 1].Name))
                    << "'" << State.Candidates[i - 1].Name << "' before '" << c.Name << "'";
            }
            size_t from = std::stoul(c.ShortName);
            ASSERT_EQ(names.at(from), c.Name);
            ASSERT_EQ(c.IsDirectory, from % 3 == 0);
            seen.push_back(c.ShortName);
        }
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end()) << "a record twice";
        EXPECT_EQ(seen.size(), names.size());
    }
}

TEST(Text, CopyBoundedAlwaysTerminatesAndReportsCuts) {
    char buf[5];
    EXPECT_TRUE(CopyBounded(buf, sizeof buf, "abcd"));
    EXPECT_STREQ(buf, "abcd");
    EXPECT_FALSE(CopyBounded(buf, sizeof buf, "abcde"));
    EXPECT_STREQ(buf, "abcd");
    EXPECT_TRUE(CopyBounded(buf, sizeof buf, "abcdef", 2));
    EXPECT_STREQ(buf, "ab");
    EXPECT_TRUE(AppendBounded(buf, sizeof buf, "cd"));
    EXPECT_FALSE(AppendBounded(buf, sizeof buf, "e"));
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(SpanUntil("ab\\c", "\\/"), 2);
    EXPECT_EQ(SpanUntil("abc", "\\/"), 3);
}

TEST_F(StateTest, StartsUnlikeAnyLine) {
    EXPECT_EQ(State.CurrentDomainOnly, 1);
    EXPECT_EQ(State.ShortFileNames + State.ShowHiddenShares + State.SingleEntriesInMenu, 0);
    EXPECT_STREQ(State.LastLine, "\xff\xff\xff\xff\xff");
    EXPECT_EQ(State.CandidateCount, 0);
    EXPECT_EQ(State.CandidateCapacity, 0);
    EXPECT_EQ(State.CurrentIndex, -1);
}

TEST_F(StateTest, GrowsByHalfItsCapacityAndNeverByFewerThanTen) {
    struct Step {
        int added;
        int capacity;
    } steps[] = {{1, 10},  {10, 10}, {11, 20},  {20, 20},   {21, 30},
                 {31, 45}, {46, 67}, {68, 100}, {101, 150}, {151, 225}};
    int added = 0;
    for (const Step& s : steps) {
        while (added < s.added) {
            std::string name = "file" + std::to_string(added);
            ASSERT_EQ(State.AddCandidate(name.c_str(), "", added % 2), 1);
            ++added;
        }
        EXPECT_EQ(State.CandidateCount, s.added);
        EXPECT_EQ(State.CandidateCapacity, s.capacity);
    }
    for (int i = 0; i < added; ++i) {
        EXPECT_EQ(std::string(State.Candidates[i].Name), "file" + std::to_string(i));
        EXPECT_EQ(State.Candidates[i].IsDirectory, i % 2);
    }
}

HLOCAL WINAPI FailingReAlloc(HLOCAL, SIZE_T, UINT) {
    return nullptr;
}
HLOCAL WINAPI FailingAlloc(UINT, SIZE_T) {
    return nullptr;
}

TEST_F(StateTest, FailedGrowthKeepsTheList) {
    {
        OsSwap<decltype(os.LocalAlloc)> noFirst(os.LocalAlloc, FailingAlloc);
        EXPECT_EQ(State.AddCandidate("a", "", 0), 0);
        EXPECT_EQ(State.CandidateCount, 0);
        EXPECT_EQ(State.CandidateCapacity, 0);
    }
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(State.AddCandidate("n", "N", 1), 1);
    {
        OsSwap<decltype(os.LocalReAlloc)> noGrowth(os.LocalReAlloc, FailingReAlloc);
        EXPECT_EQ(State.AddCandidate("eleventh", "", 0), 0);
    }
    EXPECT_EQ(State.CandidateCount, 10);
    EXPECT_EQ(State.CandidateCapacity, 10);
    EXPECT_STREQ(State.Candidates[9].ShortName, "N");
    // Once memory is back the list goes on growing.
    EXPECT_EQ(State.AddCandidate("eleventh", "", 0), 1);
    EXPECT_STREQ(State.Candidates[10].Name, "eleventh");
}

// Fails every reallocation larger than `largest` bytes, as a full address space does.
SIZE_T largest = 0;
HLOCAL WINAPI BoundedReAlloc(HLOCAL mem, SIZE_T bytes, UINT flags) {
    return bytes > largest ? nullptr : OsDefaults.LocalReAlloc(mem, bytes, flags);
}

TEST_F(StateTest, WhereTheLargerBlockCannotBeHadTenMoreRecordsStillAre) {
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(State.AddCandidate("n", "", 0), 1);
    ASSERT_EQ(State.CandidateCapacity, 100);
    OsSwap<decltype(os.LocalReAlloc)> bounded(os.LocalReAlloc, BoundedReAlloc);
    largest = sizeof(Candidate) * 115; // room for 110 records, not for 150
    for (int i = 100; i < 110; ++i)
        ASSERT_EQ(State.AddCandidate("n", "", 0), 1) << i;
    EXPECT_EQ(State.CandidateCapacity, 110);
    EXPECT_EQ(State.AddCandidate("last", "", 0), 0); // neither 165 nor 120 records fit
    EXPECT_EQ(State.CandidateCount, 110);
    EXPECT_EQ(State.CandidateCapacity, 110);
}

TEST_F(StateTest, NamesThatDoNotFitAreNotAdded) {
    std::string longest(259, 'n');
    std::string tooLong(260, 'n');
    struct Case {
        std::string name;
        std::string shortName;
        int added;
    } cases[] = {
        {longest, "", 1},
        {tooLong, "", 0},
        {"x", "ABCDEFGH.TXT", 1},
        {"x", "ABCDEFGHI.TXT", 0},
    };
    for (const Case& c : cases) {
        int before = State.CandidateCount;
        EXPECT_EQ(State.AddCandidate(c.name.c_str(), c.shortName.c_str(), 0), c.added)
            << c.name.size() << "/" << c.shortName;
        EXPECT_EQ(State.CandidateCount, before + c.added);
    }
    EXPECT_EQ(std::string(State.Candidates[0].Name), longest);
}

int closedFiles = 0;
int closedEnums = 0;
BOOL WINAPI CountFindClose(HANDLE) {
    return ++closedFiles, TRUE;
}
DWORD WINAPI CountWNetCloseEnum(HANDLE) {
    return ++closedEnums, 0;
}

TEST_F(StateTest, ResetClosesTheOpenSourceByItsKind) {
    OsSwap<decltype(os.FindClose)> files(os.FindClose, CountFindClose);
    OsSwap<decltype(os.WNetCloseEnum)> enums(os.WNetCloseEnum, CountWNetCloseEnum);
    struct Case {
        HANDLE handle;
        int32_t netPattern;
        int files;
        int enums;
    } cases[] = {
        {EnumNone, NoPattern, 0, 0},
        {EnumReadWhole, ServerPattern, 0, 0},
        {reinterpret_cast<HANDLE>(0x1234), NoPattern, 1, 0},
        {reinterpret_cast<HANDLE>(0x1234), 7, 0, 1},
    };
    for (const Case& c : cases) {
        closedFiles = closedEnums = 0;
        State.EnumHandle = c.handle;
        State.NetPattern = c.netPattern;
        std::strcpy(State.Line, "dir abc");
        State.AddCandidate("abc", "", 0);
        State.CurrentIndex = 0;
        State.ResetPending = 1;
        State.ResetSearch();
        EXPECT_EQ(closedFiles, c.files);
        EXPECT_EQ(closedEnums, c.enums);
        EXPECT_EQ(State.EnumHandle, EnumNone);
        EXPECT_EQ(State.NetPattern, NoPattern);
        EXPECT_EQ(State.CurrentIndex, -1);
        EXPECT_EQ(State.CandidateCount, 0);
        EXPECT_EQ(State.CandidateCapacity, 0);
        EXPECT_EQ(State.ResetPending, 0);
        EXPECT_STREQ(State.LastLine, "dir abc");
    }
}

} // namespace
