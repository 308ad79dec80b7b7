// What a command line hands to the programs it starts: words, operators, paths and
// wildcards, with completed names (marked '^' below the line) kept as data.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "codepage.h"
#include "command_line.h"
#include "line_editor.h"
#include "temp_dir_test.h"
#include "zp_files.h"

namespace shell {
namespace {

class CommandLineTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ASSERT_TRUE(getcwd(back_, sizeof back_));
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        ASSERT_TRUE(ZpSetDriveRoot('C', dir_.c_str()));
        for (const char* name : {"a.txt", "B.TXT", ".hidden.txt", "c.doc", "sub\\f"})
            std::ofstream(name) << "x";
        mkdir("sub", 0755);
        mkdir("Program Files", 0755);
        std::ofstream("sub/f") << "x";
    }
    void TearDown() override {
        ASSERT_EQ(chdir(back_), 0);
        ZpSetDriveRoot('C', "/");
        TempDirTest::TearDown();
    }

    // The pipelines as "[program][argument] 1>[file] | [next] && ...", resolved now;
    // ROOT stands for drive C:'s directory.
    std::string Describe(const std::vector<Pipeline>& pipelines) {
        static const char* const connectors[] = {"", " & ", " && ", " || "};
        static const char* const kinds[] = {"<", ">", ">>", ">&"};
        std::string out;
        for (const Pipeline& pipeline : pipelines) {
            for (size_t c = 0; c < pipeline.commands.size(); ++c) {
                const Command& command = pipeline.commands[c];
                out += c ? " | " : "";
                out += "[" + PosixWord(command.words[0]) + "]";
                for (size_t w = 1; w < command.words.size(); ++w)
                    for (const std::string& argument : ExpandWord(command.words[w]))
                        out += "[" + argument + "]";
                for (const Redirection& r : command.redirections) {
                    out += " " + std::to_string(r.fd) + kinds[r.kind];
                    out += r.kind == Redirection::ToOther ? std::to_string(3 - r.fd)
                                                          : "[" + RedirectionPath(r.target) + "]";
                }
            }
            out += connectors[static_cast<int>(pipeline.then)];
        }
        for (size_t at; (at = out.find(dir_)) != std::string::npos;)
            out.replace(at, dir_.size(), "ROOT");
        return out;
    }

    char back_[4096];
};

struct LineCase {
    const char* line;
    const char* marks; // '^' under each character the module wrote
    const char* expected;
};

std::vector<bool> Marks(const std::string& line, const std::string& marks) {
    std::vector<bool> completed(line.size(), false);
    for (size_t i = 0; i < marks.size() && i < line.size(); ++i)
        completed[i] = marks[i] == '^';
    return completed;
}

TEST_F(CommandLineTest, WordsReachTheProgramsAsDataAndOperatorsOnlyAsTypedWords) {
    const LineCase cases[] = {
        {"wc -c a;id>P $(x) `y` (z) 'q'", "", "[wc][-c][a;id>P][$(x)][`y`][(z)]['q']"},
        {"x | y", "  ^", "[x][|][y]"}, // a file named "|", completed
        {"echo \"|\" \">\" x>y", "", "[echo][|][>][x>y]"},
        {"cat \"a b\" | wc -l > out.txt 2>&1", "", "[cat][a b] | [wc][-l] 1>[out.txt] 2>&1"},
        {"a 2> NUL < in 1>&2 >> log", "", "[a] 2>[/dev/null] 0<[in] 1>&2 1>>[log]"},
        {"a && b || c & d &", "", "[a] && [b] || [c] & [d]"},
        {"cat a\tb", "     ^", "[cat][a\tb]"}, // a completed tab is part of the name
        {"", "", ""},
        // Wildcards: typed and unquoted only, letter case ignored, no hidden names.
        {"ls *.txt", "", "[ls][a.txt][B.TXT]"},
        {"ls .*.TXT ?.doc", "", "[ls][.hidden.txt][c.doc]"},
        {"ls *.*", "", "[ls][a.txt][B.TXT][c.doc][Program Files][sub][sub\\f]"},
        {"ls \"*.txt\" *.none", "", "[ls][*.txt][*.none]"},
        {"ls *.txt", "   ^^^^^", "[ls][*.txt]"},
        {"ls sub\\*", "", "[ls][sub/f]"},
        // Paths: a drive always, a backslash only where the word names a place.
        {"cat sub\\f \\sub\\f C:\\sub\\f C:\\no\\such", "",
         "[cat][sub/f][ROOT/sub/f][ROOT/sub/f][ROOT/no/such]"},
        {"type C:\\..\\..\\etc", "", "[type][ROOT/etc]"}, // not above C:
        {"sed \"s/\\./,/\" \\d+ a\\b", "", "[sed][s/\\./,/][\\d+][a\\b]"},
        {"cat sub\\f", "    ^^^^^", "[cat][sub\\f]"}, // a name with a backslash of its own
        {"cd \"Program Files\\\"", "    ^^^^^^^^^^^^^^^", "[cd][Program Files/]"},
        {"cat C:\\sub\\f", "       ^^^^^", "[cat][ROOT/sub\\f]"},
        // Another spelling the file search knows: letter case, an 8.3 name.
        {"cat SUB\\F PRO~55X8\\ PRO~55X8 HEAD~1", "",
         "[cat][sub/f][Program Files/][Program Files][HEAD~1]"},
        {"ls PRO~55X8\\", "   ^^^^^^^^^", "[ls][Program Files/]"},
    };
    for (const LineCase& c : cases) {
        std::vector<Pipeline> pipelines;
        std::string error;
        ASSERT_TRUE(ParseCommandLine(c.line, Marks(c.line, c.marks), &pipelines, &error))
            << c.line << ": " << error;
        EXPECT_EQ(Describe(pipelines), c.expected) << c.line;
    }
}

TEST_F(CommandLineTest, OperatorsWithoutTheirCommandsAreRefused) {
    for (const char* line : {"| a", "a |", "a &&", "a ||", "> x", "a >", "a | | b", "a > | b",
                             "a & & b", "& a", "2>&1"}) {
        std::vector<Pipeline> pipelines;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(line, {}, &pipelines, &error)) << line;
        EXPECT_EQ(error, "The syntax of the command is incorrect.") << line;
    }
}

TEST_F(CommandLineTest, CompletedTextIsWhatTheModuleChanged) {
    LineEditor line(1023);
    for (char c : std::string("wc a x"))
        line.Insert(c);
    line.SetCompleted("wc \"a b&c\" x"); // the module quoted the name it put in
    std::string marks;
    for (bool completed : line.completed())
        marks += completed ? '^' : ' ';
    EXPECT_EQ(marks, "   ^^^^^^^  ");
    line.SetCursor(3);
    line.Insert('y'); // typed text stays typed, the rest keeps its marks
    line.End();
    line.Backspace();
    marks.clear();
    for (bool completed : line.completed())
        marks += completed ? '^' : ' ';
    EXPECT_EQ(marks, "    ^^^^^^^ ");
}

} // namespace
} // namespace shell
