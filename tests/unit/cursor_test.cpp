// Locating the command line's cursor by reading the console row back.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "engine/state.h"
#include "fake_host.h"
#include "zp_console.h"

using namespace zarelin;

namespace {

struct CursorCase {
    const char* name;
    int width;
    const char* row;   // the row holding the cursor
    const char* below; // the row under it (key labels, output), or nullptr
    int x;
    const char* line;
    int32_t expected; // -2: the length of the line
    const char* prompt;
};

const CursorCase cursorCases[] = {
    {"cursor at the end", 80, "C:\\>dir abc", nullptr, 11, "dir abc", 7, "C:\\"},
    {"cursor after the command", 80, "C:\\>dir abc", nullptr, 7, "dir abc", 3, "C:\\"},
    {"line scrolled sideways", 80, "C:\\>bc def", nullptr, 10, "abc def", 7, "C:\\"},
    {"prompt only", 80, "C:\\>", nullptr, 4, "dir", -2, "C:\\"},
    {"one character", 80, "C:\\>x", nullptr, 5, "x", -2, "C:\\"},
    {"blank then one character", 80, "C:\\> x", nullptr, 6, " x", 2, "C:\\"},
    {"no prompt", 80, "dir abc", nullptr, 7, "dir abc", -1, ""},
    {"cursor on the prompt", 80, "C:\\>dir abc", nullptr, 2, "dir abc", -1, "C:\\"},
    {"screen shows something else", 80, "C:\\>zzz", nullptr, 7, "abc", -1, "C:\\"},
    {"key labels below a narrow row", 40, "C:\\>dir abc", "1Help 2Menu 10Quit", 11, "dir abc", -1,
     "C:\\"},
    {"blank row below a narrow row", 40, "C:\\>dir abc", nullptr, 11, "dir abc", 7, "C:\\"},
    {"the same text twice", 80, "C:\\>ab ab", nullptr, 9, "ab ab ab", 8, "C:\\"},
};

class Cursor : public ::testing::TestWithParam<CursorCase> {
  protected:
    void SetUp() override { State.Init(); }
    void TearDown() override { ZpConsoleReset(); }
};

TEST_P(Cursor, IsFoundOnTheConsoleRow) {
    const CursorCase& c = GetParam();
    ZpConsoleResize(c.width, 10);
    ZpConsoleClear();
    ZpConsoleWrite(0, 5, c.row, -1);
    if (c.below) ZpConsoleWrite(0, 6, c.below, -1);
    ZpConsoleSetCursor(c.x, 5);
    std::strcpy(State.Line, c.line);
    int32_t expected = c.expected == -2 ? static_cast<int32_t>(std::strlen(c.line)) : c.expected;
    EXPECT_EQ(State.FindCursor(), expected) << c.name;
    EXPECT_STREQ(State.CurrentPrompt, c.prompt) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Cursor, ::testing::ValuesIn(cursorCases));

TEST(CursorEdges, NoConsoleMeansTheEndOfTheLine) {
    State.Init();
    ZpConsoleReset();
    std::strcpy(State.Line, "dir abc");
    EXPECT_EQ(State.FindCursor(), -1);
}

TEST(CursorEdges, ALongPromptIsCutNotOverflowed) {
    State.Init();
    ZpConsoleResize(300, 5);
    std::string prompt(120, 'p');
    std::string row = prompt + ">dir ab";
    ZpConsoleWrite(0, 1, row.c_str(), -1);
    ZpConsoleSetCursor(static_cast<int>(row.size()), 1);
    std::strcpy(State.Line, "dir ab");
    State.CursorPos = 12345; // the field right after the prompt buffer
    int32_t found = State.FindCursor();
    EXPECT_EQ(found, 6);
    EXPECT_EQ(std::string(State.CurrentPrompt), std::string(79, 'p'));
    EXPECT_EQ(State.CursorPos, 12345);
    ZpConsoleReset();
}

// A failed console call may still have written its outputs; they must not be used.
BOOL WINAPI InfoFails(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info) {
    OsDefaults.GetConsoleScreenBufferInfo(console, info);
    return FALSE;
}

BOOL WINAPI ReadFails(HANDLE console, CHAR* chars, DWORD length, COORD from, DWORD* read) {
    OsDefaults.ReadConsoleOutputCharacterA(console, chars, length, from, read);
    return FALSE;
}

enum class Console { Works, InfoFails, ReadFails };

struct CommandCase {
    const char* name;
    Console console;
    int column;           // where the console shows the cursor, after "C:\\>"
    const char* expected; // the line after the next command
};

void PrintTo(const CommandCase& c, std::ostream* out) {
    *out << c.name;
}

// The line "abc def"; the one entry is the directory "abcde". Where the cursor cannot be located
// the word at the end of the line is completed.
const CommandCase commandCases[] = {
    {"cursor on the first character", Console::Works, 4, "abcde\\ def"},
    {"cursor at the end", Console::Works, 11, "abc abcde\\"},
    {"screen info fails", Console::InfoFails, 4, "abc abcde\\"},
    {"console read fails", Console::ReadFails, 4, "abc abcde\\"},
};

class CursorCommand : public ::testing::TestWithParam<CommandCase> {
  protected:
    void TearDown() override { ZpConsoleReset(); }
};

TEST_P(CursorCommand, CompletesTheWordAtTheLocatedCursor) {
    const CommandCase& c = GetParam();
    fakehost::FakeHostScope scope;
    fakehost::fake.commandLine = "abc def";
    fakehost::fake.listing = {{"abcde", "", true}};
    os.GetStdHandle = OsDefaults.GetStdHandle;
    if (c.console == Console::InfoFails) os.GetConsoleScreenBufferInfo = InfoFails;
    if (c.console == Console::ReadFails) os.ReadConsoleOutputCharacterA = ReadFails;
    ZpConsoleResize(80, 25);
    ZpConsoleWrite(0, 23, "C:\\>abc def", -1);
    ZpConsoleSetCursor(c.column, 23);
    State.CompleteNext();
    EXPECT_EQ(fakehost::fake.commandLine, c.expected) << c.name;
    EXPECT_EQ(fakehost::fake.beeps, 0) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, CursorCommand, ::testing::ValuesIn(commandCases));

} // namespace
