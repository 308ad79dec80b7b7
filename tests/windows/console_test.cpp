// The cursor on the command line, found by reading back a real console screen buffer:
// the host draws the prompt and the line, the module reads the cursor's row.
#include <string>

#include "fixture.h"

using namespace winhost;

namespace {

class Console : public WindowsTest {
  protected:
    void SetUp() override {
        WindowsTest::SetUp();
        folder.Add({"abc", "xyz", "m1", "m2", "m3"});
    }
};

#define ASSERT_CONSOLE(host)                                                                       \
    ASSERT_TRUE((host).hasConsole())                                                               \
        << "no console screen buffer: run under a terminal, e.g. script -qec CMD /dev/null"

TEST_F(Console, TheCursorsColumnChoosesTheWord) {
    struct Case {
        std::string line;
        int32_t cursor; // -1: at the end of the line
        std::string expected;
    } cases[] = {
        {"copy ab xy", 7, "copy abc xy"},
        {"copy ab xy", -1, "copy ab xyz"},
        {"copy ab xy", 5, "copy abc xy"}, // on the word's first character
        // Scrolled sideways: only the line's tail is on the screen.
        {"copy " + std::string(100, 'q') + " ab xy", 108,
         "copy " + std::string(100, 'q') + " abc xy"},
    };
    for (const Case& c : cases) {
        WindowsHost host(hostRoot);
        ASSERT_CONSOLE(host);
        host.commandLine = c.line;
        host.commandCursor = c.cursor;
        host.Next();
        EXPECT_EQ(host.commandLine, c.expected) << c.line << " @" << c.cursor;
    }
}

TEST_F(Console, TextOnTheRowBelowHidesTheCursorSoTheLastWordCompletes) {
    // The module reads 256 characters from the cursor's row, which runs on into the
    // rows below on a narrower screen; there the labels break the alignment.
    WindowsHost host(hostRoot);
    ASSERT_CONSOLE(host);
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info));
    ASSERT_LT(info.dwSize.X, 200) << "the label row must lie within the 256 characters read";
    host.rowBelow = "1Help 2Menu 3View 4Edit 5Print 6Link 7Find 8History 9Video 10Tree";
    host.commandLine = "copy ab xy";
    host.commandCursor = 7;
    host.Next();
    EXPECT_EQ(host.commandLine, "copy ab xyz");
}

TEST_F(Console, ANewPromptStartsANewSearch) {
    WindowsHost host(hostRoot);
    ASSERT_CONSOLE(host);
    host.commandLine = "copy m";
    host.Next();
    std::string first = host.commandLine;
    host.Next(); // same prompt, line unchanged: steps on
    std::string second = host.commandLine;
    EXPECT_NE(second, first);
    host.prompt = "C:\\work>"; // as after a change of folder
    host.Next();               // a new search on the inserted name, which only it matches
    EXPECT_EQ(host.commandLine, second);
    host.Next(); // the prompt noted with that insertion: this search continues, and ends
    EXPECT_EQ(host.commandLine, second);
}

} // namespace
