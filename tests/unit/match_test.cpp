// The module's own wildcard match, used when the host offers none: what it accepts and
// rejects, letter case in the console's code page included.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "host/host.h"
#include "platform/os.h"
#include "zp_codepage.h"

using namespace zarelin;

namespace {

struct MatchCase {
    const char* pattern;
    const char* text;
    bool expected;
};

void PrintTo(const MatchCase& c, std::ostream* out) {
    *out << '"' << c.pattern << "\" against \"" << c.text << '"';
}

// ASCII only: the fold needs no code page.
const MatchCase asciiCases[] = {
    // Literals must match one for one, in order, and to the end.
    {"abc", "abc", true},
    {"abc", "abd", false},
    {"abc", "xbc", false},
    {"abc", "ab", false},
    {"ab", "abc", false},
    {"ab", "ba", false},
    {"abc", "cba", false},
    {"", "", true},
    {"", "a", false},
    {"a", "", false},
    // Letter case is ignored both ways; neighbours of the letters are not letters.
    {"ABC", "abc", true},
    {"abc", "ABC", true},
    {"aZ", "Az", true},
    {"@", "`", false},
    {"`", "@", false},
    {"[", "{", false},
    {"{", "[", false},
    {"1", "Q", false},
    // '?' stands for exactly one character, wherever it stands.
    {"?", "x", true},
    {"?", "", false},
    {"?", "xy", false},
    {"?bc", "abc", true},
    {"a?c", "abc", true},
    {"ab?", "abc", true},
    {"a?c", "ac", false},
    {"a?c", "abbc", false},
    {"??", "ab", true},
    // '*' stands for any run of characters, the empty one included.
    {"*", "", true},
    {"*", "anything", true},
    {"**", "", true},
    {"a*", "a", true},
    {"a*", "abc", true},
    {"a*", "ba", false},
    {"*c", "abc", true},
    {"*c", "abd", false},
    {"*c", "c", true},
    {"a*c", "ac", true},
    {"a*c", "abbbc", true},
    {"a*c", "abcd", false},
    {"*b*", "abc", true},
    {"*b*", "acd", false},
    {"*?", "", false},
    {"*?", "a", true},
    {"?*?", "a", false},
    {"?*?", "ab", true},
    // A false start after a '*' is taken back and tried one character further on.
    {"*ab", "aab", true},
    {"*aab", "aaab", true},
    {"*abc", "ababc", true},
    {"*issip*", "mississippi", true},
    {"*ss*pi", "mississippi", true},
    {"m*ss*ppi", "mississippi", true},
    {"m*ss*ppi", "mississipi", false},
    {"a*b*c", "aXbYc", true},
    {"a*b*c", "aXcYb", false},
    {"*a*c", "xabcabc", true},
    {"*a*c", "xabcabd", false},
    {"x*a*d", "xabcabd", true},
    {"*.txt", "notes.txt.bak", false},
    {"*.txt", "notes.bak.txt", true},
};

class OwnMatch : public ::testing::TestWithParam<MatchCase> {
  protected:
    void SetUp() override { LoadCaseTable(); }
};

TEST_P(OwnMatch, AcceptsWhatTheWildcardsAllow) {
    const MatchCase& c = GetParam();
    EXPECT_EQ(WildcardMatch(c.pattern, c.text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Ascii, OwnMatch, ::testing::ValuesIn(asciiCases));

int WINAPI NoWide(UINT, DWORD, const CHAR*, int, WCHAR*, int) {
    return 0;
}

DWORD WINAPI NoUpper(WCHAR*, DWORD) {
    return 0;
}

int WINAPI NoNarrow(UINT, DWORD, const WCHAR*, int, CHAR*, int, const CHAR*, BOOL*) {
    return 0;
}

// When the page's letter case cannot be read, the match still ignores ASCII case.
TEST(OwnMatchWithoutThePage, StillFoldsAsciiLetters) {
    for (int failing = 0; failing < 3; ++failing) {
        {
            OsSwap<decltype(os.MultiByteToWideChar)> wide(
                os.MultiByteToWideChar, failing == 0 ? NoWide : os.MultiByteToWideChar);
            OsSwap<decltype(os.CharUpperBuffW)> upper(os.CharUpperBuffW,
                                                      failing == 1 ? NoUpper : os.CharUpperBuffW);
            OsSwap<decltype(os.WideCharToMultiByte)> narrow(
                os.WideCharToMultiByte, failing == 2 ? NoNarrow : os.WideCharToMultiByte);
            LoadCaseTable();
        }
        for (const MatchCase& c : asciiCases)
            EXPECT_EQ(WildcardMatch(c.pattern, c.text), c.expected)
                << "call " << failing << " failing: " << ::testing::PrintToString(c);
        // Nor does it fold letters outside ASCII, which it could not read.
        EXPECT_FALSE(WildcardMatch("caf\x90", "caf\x82")) << "call " << failing << " failing";
    }
    LoadCaseTable();
}

// The pattern applies to the last part of a path only: a server's or a share's name.
TEST(OwnMatchNames, ApplyToTheLastPartOfAPath) {
    Host = StartupInfo{}; // no match service
    const MatchCase cases[] = {
        {"al*", "\\\\ALPHA", true},
        {"da*", "\\\\ALPHA\\data", true},
        {"al*", "\\\\ALPHA\\data", false},
        {"b*", "a/b", true},
        {"a*", "a/b", false},
        {"*", "\\\\ALPHA\\", true},
        {"?", "\\\\ALPHA\\", false},
    };
    for (const MatchCase& c : cases)
        EXPECT_EQ(MatchName(c.pattern, c.text), c.expected) << ::testing::PrintToString(c);
}

struct PageCase {
    unsigned page;
    const char* pattern;
    const char* text;
    bool expected;
};

void PrintTo(const PageCase& c, std::ostream* out) {
    *out << "page " << c.page << ": \"" << c.pattern << "\" against \"" << c.text << '"';
}

// Letters outside ASCII, as the console's page holds them.
const PageCase pageCases[] = {
    // CP437: e-acute 0x82 and its capital 0x90; a-umlaut 0x84, capital 0x8E.
    {437, "caf\x90", "caf\x82", true},
    {437, "caf\x82", "CAF\x90", true},
    {437, "\x8e*", "\x84rger", true},
    {437, "\x82", "\x84", false},
    {437, "\x90", "\x8e", false},
    // y-diaeresis 0x98 has no capital in CP437: it must not fold to the '?' the page
    // writes in its place, and so match a literal '?'.
    {437, "\x98", "?", false},
    {437, "\x98", "\x98", true},
    // CP866: Cyrillic a 0xA0 and capital A 0x80; ya 0xEF and capital YA 0x9F.
    {866, "\x80", "\xa0", true},
    {866, "\xef*", "\x9f\xa0", true},
    {866, "\x80", "\x9f", false},
    // The same bytes are other letters in CP437: a-acute 0xA0 and C-cedilla 0x80.
    {437, "\x80", "\xa0", false},
};

class OwnMatchInPage : public ::testing::TestWithParam<PageCase> {
  protected:
    void TearDown() override {
        ZpSetOemCodePage(437);
        LoadCaseTable();
    }
};

TEST_P(OwnMatchInPage, FoldsLettersTheConsolePageHolds) {
    const PageCase& c = GetParam();
    ASSERT_TRUE(ZpSetOemCodePage(c.page));
    LoadCaseTable();
    EXPECT_EQ(WildcardMatch(c.pattern, c.text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Pages, OwnMatchInPage, ::testing::ValuesIn(pageCases));

} // namespace
