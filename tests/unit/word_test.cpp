// The word under the cursor: where it starts and ends, its mask, what a candidate
// replaces, and whether it names a file, a server or a share.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/state.h"

using namespace zarelin;

namespace {

enum Family { Both, NtOnly, OtherOnly };

struct WordCase {
    const char* line;
    int cursor; // -1: at the end of the line
    Family family;
    int wordStart;
    int wordEnd;
    int nameStart;
    const char* mask;    // Mask up to its terminator (the server part of a share word)
    const char* pattern; // the network pattern, or nullptr for a file word
};

const WordCase wordCases[] = {
    {"dir abc", 7, Both, 4, 7, 4, "abc*", nullptr},
    {"dir abc def", 6, Both, 4, 7, 4, "abc*", nullptr},
    {"dir abc", 4, Both, 4, 7, 4, "abc*", nullptr},
    {"x \"a b", 5, Both, 5, 6, 5, "b*", nullptr},
    {"x \"", 3, Both, 3, 3, 3, "*", nullptr},
    {"\"a b \"c", 7, Both, 6, 7, 6, "c*", nullptr},
    {"dir abc", 12, Both, 4, 7, 4, "abc*", nullptr},
    {"dir ", 9, Both, 4, 4, 4, "*", nullptr},
    {"dir ", 4, Both, 4, 4, 4, "*", nullptr},
    {"", 0, Both, 0, 0, 0, "*", nullptr},
    {"copy \"C:\\Program Fi", -1, Both, 5, 19, 9, "C:\\Program Fi*", nullptr},
    {"x \"a b\" c", 7, Both, 2, 6, 3, "a b*", nullptr},
    {"dir a\"", -1, Both, 4, 6, 4, "a*", nullptr},
    {"dir abc*", -1, Both, 4, 8, 4, "abc*", nullptr},
    {"dir \"abc*\"", 9, Both, 4, 9, 5, "abc*", nullptr},
    {"dir \\\\ser", -1, NtOnly, 4, 9, 6, "\\\\ser*", "ser*"},
    {"dir \\\\ser", -1, OtherOnly, 4, 9, 4, "\\\\ser*", "ser*"},
    {"dir \"\\\\ser", -1, OtherOnly, 4, 10, 5, "\\\\ser*", "ser*"},
    {"dir //srv/sh", -1, Both, 4, 12, 4, "\\\\srv", "sh*"},
    {"dir \\\\srv\\sh\\x", -1, Both, 4, 14, 13, "\\\\srv\\sh\\x*", nullptr},
    {"dir \\\\", -1, NtOnly, 4, 6, 6, "\\\\*", "*"},
    {"dir \\\\", -1, OtherOnly, 4, 6, 4, "\\\\*", "*"},
    {"dir \\\\srv\\", -1, Both, 4, 10, 4, "\\\\srv", "*"},
    {"dir \\/srv", -1, Both, 4, 9, 6, "\\/srv*", nullptr},
    {"abc", 0, Both, 0, 3, 0, "abc*", nullptr},
    {"abc", -5, Both, 0, 3, 0, "abc*", nullptr},
    {"cd C:", -1, Both, 3, 5, 5, "C:*", nullptr},
    {"type \xe9t\xe9", -1, Both, 5, 8, 5, "\xe9t\xe9*", nullptr},
    // A closing quote groups; the word goes on to the next space outside quotes.
    {"type \"Annual Reports\\\"Rep", -1, Both, 5, 25, 21, "Annual Reports\\Rep*", nullptr},
    {"type \"Annual Reports\\\"Rep x", 22, Both, 5, 25, 21, "Annual Reports\\Rep*", nullptr},
    {"copy \"C:\\Program Files\"\\Com", -1, Both, 5, 27, 24, "C:\\Program Files\\Com*", nullptr},
    {"x \"a\"b\" c", -1, Both, 2, 9, 3, "ab c*", nullptr},  // the third quote opens again
    {"x \"a\"b\"c\" d", 9, Both, 2, 8, 3, "abc*", nullptr}, // a final quote stays outside
    {"x \"a\"\"b c\" d", 4, Both, 2, 9, 3, "ab c*", nullptr},
    {"x a\"b c\"", -1, Both, 2, 5, 2, "ab*", nullptr}, // unquoted: ends at a space
    {"dir \"\\\\FILES\\projects\"\\Ann", -1, Both, 4, 26, 23, "\\\\FILES\\projects\\Ann*", nullptr},
    {"dir \"\\\\srv\\s\"h", -1, Both, 4, 14, 5, "\\\\srv", "sh*"},
    {"dir \"\\\\s\"rv", -1, NtOnly, 4, 11, 7, "\\\\srv*", "srv*"},
};

class WordTest : public ::testing::TestWithParam<WordCase> {
  protected:
    void TearDown() override {
        State.ResetSearch();
        IsNT = 0;
    }
};

TEST_P(WordTest, ParsesTheWordUnderTheCursor) {
    const WordCase& c = GetParam();
    for (int nt = 0; nt <= 1; ++nt) {
        if ((c.family == NtOnly && !nt) || (c.family == OtherOnly && nt)) continue;
        State.Init();
        IsNT = nt;
        std::strcpy(State.Line, c.line);
        State.CursorPos = c.cursor == -1 ? static_cast<int32_t>(std::strlen(c.line)) : c.cursor;
        State.StartSearch();
        SCOPED_TRACE(std::string("line '") + c.line + "' cursor " + std::to_string(c.cursor) +
                     (nt ? " NT" : " other"));
        EXPECT_EQ(State.WordStart, c.wordStart);
        EXPECT_EQ(State.WordEnd, c.wordEnd);
        EXPECT_EQ(State.NameStart, c.nameStart);
        EXPECT_STREQ(State.Mask, c.mask);
        if (c.pattern) {
            ASSERT_NE(State.NetPattern, NoPattern);
            EXPECT_STREQ(State.Mask + State.NetPattern, c.pattern);
        } else {
            EXPECT_EQ(State.NetPattern, NoPattern);
        }
        EXPECT_STREQ(State.LastLine, c.line); // the search began with this line
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, WordTest, ::testing::ValuesIn(wordCases));

TEST(WordLength, AWordFillingTheLineNeverOverflowsTheMask) {
    struct Case {
        std::string word;
        std::string mask; // expected; empty: the word cannot be searched
    } cases[] = {
        {std::string(1022, 'a'), std::string(1022, 'a') + "*"},
        {std::string(1023, 'a'), ""},
        {std::string(1022, 'a') + "*", std::string(1022, 'a') + "*"},
        {std::string(1022, 'a') + "\"", std::string(1022, 'a') + "*"},
    };
    for (const Case& c : cases) {
        State.Init();
        // Poison the byte after the buffer's end through a neighbouring field: Mask is
        // followed by LastPrompt, which must stay untouched.
        std::memset(State.LastPrompt, 'P', sizeof State.LastPrompt - 1);
        std::memcpy(State.Line, c.word.c_str(), c.word.size() + 1);
        State.CursorPos = static_cast<int32_t>(c.word.size());
        State.StartSearch();
        EXPECT_EQ(std::string(State.Mask), c.mask) << "word of " << c.word.size();
        EXPECT_EQ(State.LastPrompt[0], 'P');
        EXPECT_EQ(State.WordEnd, static_cast<int32_t>(c.word.size()));
        State.ResetSearch();
    }
}

} // namespace
