// What a command line hands to the programs it starts, read as cmd reads it: words,
// operators, carets, paths and wildcards, over real files. A name Windows could not
// hold reaches the line only as its 8.3 name, the one the file search gives.
#include <gtest/gtest.h>

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>

#include "codepage.h"
#include "command_line.h"
#include "paths.h"
#include "temp_dir_test.h"
#include "win32.h"
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
        for (const char* folder : {"sub", "Program Files", "k", "e"})
            mkdir(folder, 0755);
        for (const char* name :
             {"a.txt", "B.TXT", ".hidden.txt", "c.doc", "sub/f", "sub/a b.txt", "k/v", "q\"x",
              "qx",    "z\"",   "k\\v",        "t\tx",  "e\\",   "inv\xff\xfe", "n;1", "n$2",
              "n`3",   "n(4)",  "n'5'",        "n&6",   "n^7",   "n%8%",        "n~9"})
            std::ofstream(name) << "x";
        // The names the file search lists, by the names on the disk.
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA("*", &data);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        char path[PATH_MAX];
        do {
            ASSERT_TRUE(ZpFindPosixPath(search, path, sizeof path));
            const std::string name = std::string(path).substr(dir_.size() + 1);
            listed_["{" + name + "}"] = data.cFileName;
            listed_["{~" + name + "}"] = data.cAlternateFileName;
        } while (FindNextFileA(search, &data));
        FindClose(search);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(back_), 0);
        ZpSetDriveRoot('C', "/");
        TempDirTest::TearDown();
    }

    // The line with each {name} replaced by what the file search lists for it, and
    // each {~name} by its 8.3 name: what completion puts into the line.
    std::string Completed(std::string line) {
        for (const auto& entry : listed_)
            for (size_t at; (at = line.find(entry.first)) != std::string::npos;)
                line.replace(at, entry.first.size(), entry.second);
        return line;
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
                out += "[" + Argument(command.words[0]) + "]";
                for (size_t w = 1; w < command.words.size(); ++w)
                    for (const std::string& argument : ExpandWord(command.words[w]))
                        out += "[" + argument + "]";
                for (const Redirection& r : command.redirections) {
                    out += " " + std::to_string(r.fd) + kinds[r.kind];
                    std::string path;
                    if (r.kind != Redirection::ToOther && !RedirectionPath(r.target, &path))
                        path = "no such place";
                    out += r.kind == Redirection::ToOther ? std::to_string(3 - r.fd)
                                                          : "[" + path + "]";
                }
            }
            out += connectors[static_cast<int>(pipeline.then)];
        }
        for (size_t at; (at = out.find(dir_)) != std::string::npos;)
            out.replace(at, dir_.size(), "ROOT");
        return out;
    }

    char back_[4096];
    std::map<std::string, std::string> listed_;
};

TEST_F(CommandLineTest, LinesGiveTheArgumentsAndRedirectionsCmdWould) {
    const struct {
        const char* line;
        const char* expected;
    } cases[] = {
        // A completed name is read back as the file it names, whatever it holds.
        {"rm {q\"x}", "[rm][q\"x]"},
        {"echo {z\"} \"then > victim.txt\"", "[echo][z\"][then > victim.txt]"},
        {"type {k\\v} k\\v", "[type][k\\v][k/v]"},
        {"cat {t\tx} {e\\} e\\", "[cat][t\tx][e\\][e/]"},
        {"cat {inv\xff\xfe}", "[cat][inv\xff\xfe]"},
        {"cat n;1 n$2 n`3 n(4) n'5' \"n&6\" \"n^7\" n%8% n~9",
         "[cat][n;1][n$2][n`3][n(4)][n'5'][n&6][n^7][n%8%][n~9]"},
        {"cat \"sub\\a b.txt\"", "[cat][sub/a b.txt]"},
        {"echo NEW > \"sub\\a b.txt\"", "[echo][NEW] 1>[ROOT/sub/a b.txt]"},
        {"cd \"{~Program Files}\\\"", "[cd][Program Files/]"},
        // Operators outside quotes, with or without blanks; carets escape them.
        {"wc -c a;id>P $(x) `y` (z) 'q'", "[wc][-c][a;id][$(x)][`y`][(z)]['q'] 1>[ROOT/P]"},
        {"echo a>out|sort 2>&1&&x||y&z&",
         "[echo][a] 1>[ROOT/out] | [sort] 2>&1 && [x] || [y] & [z]"},
        {"echo 12>x 2>>log 1>&2 <in", "[echo][12] 1>[ROOT/x] 2>>[ROOT/log] 1>&2 0<[ROOT/in]"},
        {"a 2>nul >C:\\no\\such >>^\\x", "[a] 2>[/dev/null] 1>[no such place] 1>>[\\x]"},
        {"echo ^| ^> ^\"x ^^ \"^\" a^ b", "[echo][|][>][\"x][^][^][a b]"},
        {"cat \"a b\"c\" d\" \"\"", "[cat][a bc d][]"},
        // Wildcards: typed and unquoted, through the file search, only where the folder is.
        {"ls *.txt .*.TXT ?.doc", "[ls][a.txt][B.TXT][.hidden.txt][c.doc]"},
        {"ls \"*.txt\" *.none sub\\*", "[ls][*.txt][*.none][sub/a b.txt][sub/f]"},
        {"rm olddir\\*.txt", "[rm][olddir\\*.txt]"},
        {"rm *.txt", "[rm][a.txt][B.TXT]"},
        // Paths: what names an entry, or a new one in a folder that is there.
        {"cat SUB\\F \\sub\\f C:\\sub\\f C:\\no\\such sub\\new",
         "[cat][sub/f][ROOT/sub/f][ROOT/sub/f][C:\\no\\such][sub/new]"},
        {"type C:\\..\\..\\sub", "[type][ROOT/sub]"}, // not above C:
        {"sed \"s/\\./,/\" s/../x/ a\\b", "[sed][s/\\./,/][s/../x/][a\\b]"},
        {"grep \\d+ ^\\d+ sub^\\f", "[grep][ROOT/d+][\\d+][sub\\f]"},
    };
    for (const auto& c : cases) {
        const std::string line = Completed(c.line);
        std::vector<Pipeline> pipelines;
        std::string error;
        ASSERT_TRUE(ParseCommandLine(line, &pipelines, &error)) << line << ": " << error;
        EXPECT_EQ(Describe(pipelines), c.expected) << line;
    }
}

TEST_F(CommandLineTest, OperatorsWithoutTheirCommandsAreRefused) {
    for (const char* line : {"| a", "a |", "a &&", "a ||", "> x", "a >", "a | | b", "a > | b",
                             "a & & b", "& a", "2>&1", "a>|b", "a >>"}) {
        std::vector<Pipeline> pipelines;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(line, &pipelines, &error)) << line;
        EXPECT_EQ(error, "The syntax of the command is incorrect.") << line;
    }
}

TEST_F(CommandLineTest, BuiltInsGetTheRestOfTheirCommandAsItReads) {
    std::vector<Pipeline> pipelines;
    std::string error;
    ASSERT_TRUE(ParseCommandLine("cd  \"Program Files\"\\^&x  & dir", &pipelines, &error));
    EXPECT_EQ(pipelines[0].commands[0].rest, "  Program Files\\&x");
}

} // namespace
} // namespace shell
