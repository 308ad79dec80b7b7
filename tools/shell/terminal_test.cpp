// What a program's screen leaves in the output above the prompt: its lines in order,
// in the console's code page, with the colours it drew; a full-screen program's
// alternate screen is dropped.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "codepage.h"
#include "shell.h"
#include "terminal.h"

namespace shell {
namespace {

// A line of the output as "text" or "text|fg,fg,..." when any character has a colour.
std::string Shown(size_t i) {
    std::string out = Shell.output[i], colours;
    bool coloured = false;
    for (const Style& style : Shell.outputStyles[i]) {
        colours += (colours.empty() ? "" : ",") + std::to_string(style.fg);
        coloured = coloured || style.fg >= 0;
    }
    return coloured ? out + "|" + colours : out;
}

TEST(ProgramTerminalTest, TheScreenJoinsTheOutputAsTheProgramDrewIt) {
    LoadCodePage();
    const struct {
        const char* bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"hello\r\nworld\r\n", {"hello", "world"}},
        {"one\r\ntwo\r\nthree\r\nfour\r\nfive", {"one", "two", "three", "four", "five"}},
        {"\x1b[31mred\x1b[0m plain", {"red plain|1,1,1,-1,-1,-1,-1,-1,-1"}},
        {"\x1b[38;2;255;0;0mX", {"X|196"}},
        {"\xc3\xa9\xe6\x97\xa5x", {"\x82? x"}}, // é is in CP437, a wide 日 is not
        {"kept\r\n\x1b[?1049hFULL SCREEN\x1b[2J\x1b[HMENU", {"kept"}},
        {"a\tb\x1b[2K\rc", {"c"}},
    };
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    for (const auto& c : cases) {
        ClearOutput();
        {
            ProgramTerminal terminal(3, 20, null);
            terminal.Feed(c.bytes, std::strlen(c.bytes));
            terminal.Finish();
        }
        std::vector<std::string> lines;
        for (size_t i = 0; i < Shell.output.size(); ++i)
            lines.push_back(Shown(i));
        EXPECT_EQ(lines, c.lines) << c.bytes;
    }
    close(null);
    ClearOutput();
}

} // namespace
} // namespace shell
