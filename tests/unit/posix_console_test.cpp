// The console screen buffer: what the host draws is what the Win32 calls read back.
#include <gtest/gtest.h>

#include <string>

#include "zp_console.h"

namespace {

class PosixConsole : public ::testing::Test {
  protected:
    void SetUp() override { ZpConsoleReset(); }
    void TearDown() override { ZpConsoleReset(); }

    // Reads `length` characters from (x, y) through the module's call; the bytes past
    // what was read keep the fill character, to show nothing more was written.
    static std::string Read(int x, int y, DWORD length, BOOL* ok = nullptr) {
        std::string out(length + 8, '~');
        DWORD read = 12345;
        BOOL result = ReadConsoleOutputCharacterA(GetStdHandle(STD_OUTPUT_HANDLE), &out[0], length,
                                                  COORD{SHORT(x), SHORT(y)}, &read);
        if (ok) *ok = result;
        if (!result) return "<failed>";
        EXPECT_EQ(out.substr(read), std::string(length + 8 - read, '~')) << "wrote past read";
        return out.substr(0, read);
    }
};

TEST_F(PosixConsole, NoBufferMeansNoConsole) {
    EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), INVALID_HANDLE_VALUE);
    ZpConsoleResize(80, 25);
    HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    EXPECT_NE(console, INVALID_HANDLE_VALUE);
    EXPECT_NE(console, nullptr);
    EXPECT_EQ(GetStdHandle(static_cast<DWORD>(-10)), INVALID_HANDLE_VALUE); // standard input
    ZpConsoleReset();
    CONSOLE_SCREEN_BUFFER_INFO info;
    EXPECT_FALSE(GetConsoleScreenBufferInfo(console, &info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(PosixConsole, ReadingRunsOnIntoTheNextRowsAndStopsAtTheEnd) {
    ZpConsoleResize(80, 4);
    ZpConsoleWrite(0, 1, "C:\\>dir abc", -1);
    ZpConsoleWrite(0, 2, "1Left 2Right", -1);
    ZpConsoleWrite(70, 3, "last row!!", -1);
    const std::string blank80(80, ' ');
    const std::string row1 = "C:\\>dir abc" + std::string(69, ' ');
    const std::string row2 = "1Left 2Right" + std::string(68, ' ');
    const std::string row3 = std::string(70, ' ') + "last row!!";
    struct Case {
        int x, y;
        DWORD length;
        std::string expected;
    } cases[] = {
        {0, 1, 256, row1 + row2 + row3}, // the module's read: three rows, then the end
        {0, 0, 256, blank80 + row1 + row2 + row3.substr(0, 16)}, // 256 exactly
        {4, 1, 10, "dir abc   "},                                // from a column, no terminator
        {75, 1, 10, "     1Left"},                               // across the row's end
        {79, 3, 256, "!"},                                       // the last cell
        {0, 3, 0, ""},                                           // nothing asked, nothing read
    };
    for (const Case& c : cases)
        EXPECT_EQ(Read(c.x, c.y, c.length), c.expected) << "at " << c.x << "," << c.y;
}

TEST_F(PosixConsole, ReadingOutsideTheBufferFails) {
    ZpConsoleResize(80, 25);
    for (COORD at : {COORD{80, 0}, COORD{0, 25}, COORD{-1, 0}, COORD{0, -1}}) {
        BOOL ok = TRUE;
        Read(at.X, at.Y, 10, &ok);
        EXPECT_FALSE(ok) << at.X << "," << at.Y;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

TEST_F(PosixConsole, WritesAreClippedToTheRow) {
    ZpConsoleResize(10, 2);
    struct Case {
        int x, y;
        const char* text;
        int written;
        std::string screen; // both rows
    } cases[] = {
        {8, 0, "wxyz", 2, "        wx          "}, // no wrap into row 1
        {-2, 1, "abcd", 2, "          cd        "},
        {-20, 1, "abcd", 0, std::string(20, ' ')},
        {10, 0, "abcd", 0, std::string(20, ' ')},
        {0, 2, "abcd", 0, std::string(20, ' ')},
        {0, 0, "0123456789AB", 10, "0123456789          "},
    };
    for (const Case& c : cases) {
        ZpConsoleClear();
        EXPECT_EQ(ZpConsoleWrite(c.x, c.y, c.text, -1), c.written) << c.x << "," << c.y;
        EXPECT_EQ(Read(0, 0, 20), c.screen) << c.x << "," << c.y << " " << c.text;
    }
    char row[12] = "~~~~~~~~~~~";
    EXPECT_EQ(ZpConsoleRead(7, 0, row, 11), 3);
    EXPECT_STREQ(row, "789~~~~~~~~");
}

TEST_F(PosixConsole, ResizeKeepsWhatFitsAndClampsTheCursor) {
    ZpConsoleResize(5, 3);
    ZpConsoleWrite(0, 0, "abcde", 5);
    ZpConsoleWrite(0, 2, "fghij", 5);
    ZpConsoleSetCursor(4, 2);
    ZpConsoleResize(3, 2);
    ZpConsoleResize(4, 3);
    EXPECT_EQ(Read(0, 0, 100), "abc" + std::string(9, ' '));
    struct Case {
        int x, y; // where the host puts the cursor; first, where the resize left it
        SHORT cursorX, cursorY;
    } cases[] = {{4, 2, 2, 1}, {1, 2, 1, 2}, {3, 2, 3, 2}, {4, 3, 3, 2}, {-5, -1, 0, 0}};
    for (const Case& c : cases) {
        if (&c != cases) ZpConsoleSetCursor(c.x, c.y);
        CONSOLE_SCREEN_BUFFER_INFO info;
        ASSERT_TRUE(GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info));
        EXPECT_EQ(info.dwCursorPosition.X, c.cursorX) << c.x << "," << c.y;
        EXPECT_EQ(info.dwCursorPosition.Y, c.cursorY) << c.x << "," << c.y;
        EXPECT_EQ(info.dwSize.X, 4);
        EXPECT_EQ(info.srWindow.Bottom, 2);
    }
    int width = 0, height = 0;
    ZpConsoleResize(0, 100000);
    EXPECT_EQ(ZpConsoleSize(&width, &height), 1);
    EXPECT_EQ(width, 1);
    EXPECT_EQ(height, 1000);
}

TEST_F(PosixConsole, EveryBeepRingsTheBell) {
    EXPECT_EQ(ZpConsoleBellCount(), 0u);
    for (UINT type : {0u, 0x10u, 0xFFFFFFFFu})
        EXPECT_TRUE(MessageBeep(type));
    EXPECT_EQ(ZpConsoleBellCount(), 3u);
    ZpConsoleReset();
    EXPECT_EQ(ZpConsoleBellCount(), 0u);
}

} // namespace
