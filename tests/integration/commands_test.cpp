// The completion commands end to end: the module loaded through its entry points, a
// headless host, real directories.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "headless_host.h"
#include "temp_tree.h"

using namespace testhost;

namespace {

std::vector<std::string> MenuTexts(const ShownMenu& menu) {
    std::vector<std::string> texts;
    for (const MenuItem& item : menu.items)
        texts.push_back(item.Text);
    return texts;
}

class Commands : public ::testing::Test {
  protected:
    TempTree tree;
};

struct InsertCase {
    std::vector<std::string> files;
    std::string line;
    int32_t cursor;
    std::string expected;
    int32_t expectedCursor;
};

// In the editor the cursor index is the host's, so the word can sit anywhere.
TEST_F(Commands, InsertionQuotesAndKeepsTheRestOfTheLine) {
    const InsertCase cases[] = {
        {{"Program Files/"}, "dir pro", 7, "dir \"Program Files\\\"", 20},
        {{"ProgramData/"}, "dir \"pro", 8, "dir ProgramData\\", 16},
        {{"readme.txt"}, "type \"rea", 9, "type readme.txt", 15},
        {{"a&b.txt"}, "copy a b", 6, "copy \"a&b.txt\" b", 14},
        {{"abc.txt"}, "copy \"ab\" x", 8, "copy abc.txt x", 12},
        {{"a^b"}, "copy a^", 7, "copy \"a^b\"", 10},
        {{"a(b),c"}, "copy a(", 7, "copy a(b),c", 11},
        {{"sub/deep.txt"}, "type sub/de", 11, "type sub/deep.txt", 17},
        {{"sub/my file"}, "type sub\\my", 11, "type \"sub\\my file\"", 18},
        {{"x.txt"}, "", 0, "", 0}, // a first word completes to programs and directories only
    };
    for (const InsertCase& c : cases) {
        TempTree local;
        local.Add(c.files);
        HeadlessHost host;
        host.editorLine = c.line;
        host.editorCursor = c.cursor;
        host.Next(FromEditor);
        EXPECT_EQ(host.editorLine, c.expected) << "line '" << c.line << "'";
        EXPECT_EQ(host.editorCursor, c.expected == c.line ? c.cursor : c.expectedCursor)
            << "line '" << c.line << "'";
    }
}

TEST_F(Commands, DriveLetterPrefixStaysAndTheWordIsQuoted) {
    tree.Add({"Program Files/"});
    HeadlessHost host;
    std::string drive = "C:" + tree.root();
    std::replace(drive.begin(), drive.end(), '/', '\\');
    host.editorLine = "dir \"" + drive + "\\Program Fi";
    host.editorCursor = static_cast<int32_t>(host.editorLine.size());
    host.Next(FromEditor);
    EXPECT_EQ(host.editorLine, "dir \"" + drive + "\\Program Files\\\"");
}

// Typing after a completed quoted name narrows the search: the closing quote only
// groups, so the word goes on to the next space, and the next step continues it.
TEST_F(Commands, TextAfterAClosingQuoteNarrowsTheSearch) {
    tree.Add({"Annual Reports/Report 2023.txt", "Annual Reports/Report 2024.txt",
              "Annual Reports/Summary.txt", "Program Files/Common Files/", "Program Files/Core/"});
    std::string drive = "C:" + tree.root();
    std::replace(drive.begin(), drive.end(), '/', '\\');
    struct Case {
        std::string line;
        int32_t cursor;                 // -1: at the end
        std::set<std::string> expected; // what next gives, step by step, in any order
    } cases[] = {
        {"type \"Annual Reports\\\"Rep",
         -1,
         {"type \"Annual Reports\\Report 2023.txt\"", "type \"Annual Reports\\Report 2024.txt\""}},
        {"cd \"Program Files\\\"Com", -1, {"cd \"Program Files\\Common Files\\\""}},
        {"copy \"" + drive + "\\Program Files\"\\Com",
         -1,
         {"copy \"" + drive + "\\Program Files\\Common Files\\\""}},
        {"copy \"Annual Re\" x", 16, {"copy \"Annual Reports\\\" x"}},
        {"type \"Annual Reports\\\"Sum x", 25, {"type \"Annual Reports\\Summary.txt\" x"}},
        {"type \"Annual Reports\\\"Xyz", -1, {}}, // nothing matches: a beep, the line whole
    };
    for (const Case& c : cases) {
        for (int32_t from : {FromCommandLine, FromEditor}) {
            SCOPED_TRACE("'" + c.line + (from == FromEditor ? "' in the editor" : "'"));
            HeadlessHost host;
            std::string& line = from == FromEditor ? host.editorLine : host.commandLine;
            line = c.line;
            host.commandCursor = c.cursor;
            host.editorCursor = c.cursor < 0 ? static_cast<int32_t>(c.line.size()) : c.cursor;
            std::set<std::string> seen;
            for (size_t step = 0; step < std::max<size_t>(c.expected.size(), 1); ++step) {
                host.Next(from);
                seen.insert(line);
                // The editor's cursor follows the new word, closing quote included.
                if (from == FromEditor && !c.expected.empty()) {
                    EXPECT_EQ(host.editorCursor, static_cast<int32_t>(line.rfind('"') + 1));
                }
            }
            EXPECT_EQ(seen, c.expected.empty() ? std::set<std::string>{c.line} : c.expected);
            EXPECT_EQ(host.beeps(), c.expected.empty() ? 1u : 0u);
        }
    }
}

TEST_F(Commands, NextStepsThroughEveryMatchThenBeepsAndPreviousGoesBack) {
    tree.Add({"m1", "m2", "m3", "other"});
    HeadlessHost host;
    host.commandLine = "copy m";
    std::vector<std::string> seen;
    for (int i = 0; i < 3; ++i) {
        host.Next();
        seen.push_back(host.commandLine);
    }
    EXPECT_EQ(host.beeps(), 0u);
    std::set<std::string> distinct(seen.begin(), seen.end());
    EXPECT_EQ(distinct, (std::set<std::string>{"copy m1", "copy m2", "copy m3"}));

    host.Next();
    EXPECT_EQ(host.beeps(), 1u);
    EXPECT_EQ(host.commandLine, seen[2]); // the last match stays
    host.Previous();
    EXPECT_EQ(host.commandLine, seen[1]);
    host.Previous();
    EXPECT_EQ(host.commandLine, seen[0]);
    host.Previous();
    EXPECT_EQ(host.beeps(), 2u);
    EXPECT_EQ(host.commandLine, seen[0]);
}

TEST_F(Commands, AnEditedLineStartsANewSearch) {
    tree.Add({"ab1", "ab2", "xy"});
    HeadlessHost host;
    host.commandLine = "copy a";
    host.Next();
    EXPECT_TRUE(host.commandLine == "copy ab1" || host.commandLine == "copy ab2");
    host.commandLine = "copy x";
    host.Next();
    EXPECT_EQ(host.commandLine, "copy xy");
    host.Previous(); // only one candidate in the new search
    EXPECT_EQ(host.beeps(), 1u);
}

TEST_F(Commands, PreviousOnAFreshSearchBeepsAndLeavesTheLine) {
    tree.Add({"abc"});
    HeadlessHost host;
    host.commandLine = "copy a";
    host.Previous();
    EXPECT_EQ(host.commandLine, "copy a");
    EXPECT_EQ(host.beeps(), 1u);
}

TEST_F(Commands, CursorInsideTheLineCompletesTheWordUnderIt) {
    tree.Add({"abc", "xyz"});
    HeadlessHost host;
    host.commandLine = "copy ab xy";
    host.commandCursor = 7; // just after 'ab'
    host.Next();
    EXPECT_EQ(host.commandLine, "copy abc xy");
}

TEST_F(Commands, ListSortsWithDirectoriesMarked) {
    tree.Add({"b", "A", "c", "d/", "zz"});
    HeadlessHost host;
    host.commandLine = "copy ";
    host.List(1);
    ASSERT_EQ(host.menus.size(), 2u);
    const ShownMenu& list = host.menus[1];
    EXPECT_EQ(list.title, "Filenames");
    EXPECT_EQ(list.flags, 1u);
    EXPECT_TRUE(list.breakKeys);
    EXPECT_EQ(MenuTexts(list), (std::vector<std::string>{"A", "b", "c", "d\\", "zz"}));
    EXPECT_EQ(host.commandLine, "copy b");
    EXPECT_EQ(host.beeps(), 0u);
}

TEST_F(Commands, ListWithOneOrNoMatch) {
    struct Case {
        std::vector<std::string> files;
        bool singleInMenu;
        size_t menus;
        std::string line;
        unsigned beeps;
    } cases[] = {
        {{"other"}, false, 1, "copy a", 1},
        {{"abc"}, false, 1, "copy abc", 0},
        {{"abc"}, true, 2, "copy abc", 0},
    };
    for (const Case& c : cases) {
        TempTree local;
        local.Add(c.files);
        HeadlessHost host;
        if (c.singleInMenu) host.Pick(SingleEntriesInMenuItem);
        host.menus.clear();
        host.commandLine = "copy a";
        host.List(0);
        EXPECT_EQ(host.menus.size(), c.menus);
        EXPECT_EQ(host.commandLine, c.line);
        EXPECT_EQ(host.beeps(), c.beeps);
    }
}

TEST_F(Commands, ACancelledListLeavesTheLineWithoutABeep) {
    tree.Add({"ab", "ac"});
    HeadlessHost host;
    host.commandLine = "copy a";
    host.List(-1);
    EXPECT_EQ(host.commandLine, "copy a");
    EXPECT_EQ(host.beeps(), 0u);
}

TEST_F(Commands, LongNamesAreCutInTheMenuButWholeInTheLine) {
    std::string longName(250, 'n');
    tree.Add({longName, "nope/"});
    HeadlessHost host;
    host.commandLine = "copy n";
    host.List(1);
    ASSERT_EQ(host.menus.size(), 2u);
    std::vector<std::string> texts = MenuTexts(host.menus[1]);
    EXPECT_EQ(texts, (std::vector<std::string>{std::string(126, 'n'), "nope\\"}));
    host.commandLine = "copy n";
    host.List(0);
    EXPECT_EQ(host.commandLine, "copy " + longName);
}

TEST_F(Commands, NextAfterAListSelectionSearchesTheInsertedName) {
    tree.Add({"abc", "abcd", "abd"});
    HeadlessHost host;
    host.commandLine = "copy ab";
    host.List(0); // 'abc'
    ASSERT_EQ(host.commandLine, "copy abc");
    host.Next();
    host.Next();
    std::string second = host.commandLine;
    host.Next();
    EXPECT_EQ(host.beeps(), 1u); // only 'abc' and 'abcd' match the new word
    EXPECT_TRUE(second == "copy abc" || second == "copy abcd") << second;
}

TEST_F(Commands, FirstWordCompletesProgramsAndDirectoriesOnly) {
    tree.Add({"notepad.exe", "notes.txt", "notes/", "RUNME.BAT", "ab", "ab.d/"});
    struct Case {
        std::string line;
        std::vector<std::string> menu;
    } cases[] = {
        {"not", {"notepad.exe", "notes\\"}},
        {"a", {"ab.d\\"}},
        {"copy no", {"notepad.exe", "notes\\", "notes.txt"}},
    };
    for (const Case& c : cases) {
        HeadlessHost host;
        host.commandLine = c.line;
        host.List(-1);
        ASSERT_EQ(host.menus.size(), c.menu.size() > 1 ? 2u : 1u) << c.line;
        if (c.menu.size() > 1)
            EXPECT_EQ(MenuTexts(host.menus[1]), c.menu) << c.line;
        else
            EXPECT_EQ(host.commandLine, c.menu[0]);
    }
    HeadlessHost host;
    host.commandLine = "run";
    host.Next();
    EXPECT_EQ(host.commandLine, "RUNME.BAT");
}

TEST_F(Commands, ChangeDirectoryCompletesDirectoriesOnly) {
    tree.Add({"program.exe", "projects/", ".profile", ".config/"});
    struct Case {
        std::string line;
        std::string expected;
    } cases[] = {
        {"cd pro", "cd projects\\"},
        {"CD pro", "CD projects\\"},
        {"cD pro", "cD projects\\"},
        {"cd .", "cd .config\\"},
    };
    for (const Case& c : cases) {
        HeadlessHost host;
        host.commandLine = c.line;
        host.List(0);
        EXPECT_EQ(host.commandLine, c.expected);
    }
    HeadlessHost host;
    host.commandLine = "cd  pro"; // the word is not the third character: no filter
    host.List(-1);
    ASSERT_EQ(host.menus.size(), 2u);
    // '.profile' matches through its 8.3 name PRO~6NJR, as on Windows.
    EXPECT_EQ(MenuTexts(host.menus[1]),
              (std::vector<std::string>{".profile", "program.exe", "projects\\"}));
}

// With "Short file names" on, a name that has an 8.3 name is inserted by it, and the
// line it makes completes again: the 8.3 name leads into its directory.
TEST_F(Commands, ShortFileNamesInsertsEightDotThreeNamesThatCompleteAgain) {
    tree.Add({"Program Files/", "Program Files/readme.txt", "Program Files/Read Me First.txt"});
    struct Case {
        bool shortNames;
        std::string line;
        std::string expected;
    } cases[] = {
        {false, "copy pro", "copy \"Program Files\\\""},
        {true, "copy pro", "copy PRO~55X8\\"},
        {true, "copy pro~55", "copy PRO~55X8\\"},
        {false, "copy pro~55", "copy \"Program Files\\\""},
        {true, "type PRO~55X8\\read*first", "type PRO~55X8\\REA~7EES.TXT"},
        {true, "type PRO~55X8\\readme", "type PRO~55X8\\readme.txt"},
        {false, "type pro~55x8\\read*first", "type \"pro~55x8\\Read Me First.txt\""},
    };
    for (const Case& c : cases) {
        HeadlessHost host;
        if (c.shortNames) host.Pick(ShortFileNamesItem);
        host.commandLine = c.line;
        host.Next();
        EXPECT_EQ(host.commandLine, c.expected) << c.line;
        if (c.shortNames) host.Pick(ShortFileNamesItem); // the store is shared by the cases
    }
}

TEST_F(Commands, EditorStepsOnlyForAWordAtTheEndOfTheLine) {
    tree.Add({"abc.txt", "abd.txt"});
    HeadlessHost host;
    host.editorLine = "copy ab x";
    host.editorCursor = 7;
    host.Next(FromEditor);
    std::string first = host.editorLine;
    EXPECT_TRUE(first == "copy abc.txt x" || first == "copy abd.txt x") << first;
    EXPECT_EQ(host.editorCursor, 12);
    host.Next(FromEditor); // the cursor is not at the end: a new search on the inserted name
    EXPECT_EQ(host.editorLine, first);

    host.editorLine = "copy ab";
    host.editorCursor = 7;
    host.Next(FromEditor);
    first = host.editorLine;
    host.Next(FromEditor);
    EXPECT_NE(host.editorLine, first); // at the end of the line the search steps on
    host.editorCursor = 40;            // beyond the end: never continues
    std::string second = host.editorLine;
    host.Next(FromEditor);
    EXPECT_EQ(host.editorLine, second);
}

TEST_F(Commands, NetworkWordsWithoutANetworkBeepAndLeaveTheLine) {
    HeadlessHost host;
    for (const char* line : {"dir \\\\", "dir \\\\al", "dir \\\\alpha\\d"}) {
        host.commandLine = line;
        host.Next();
        EXPECT_EQ(host.commandLine, line);
    }
    EXPECT_EQ(host.beeps(), 3u);
}

// Both menus leave their place to the host: module number 0, position -1/-1 (the
// host centres them), no height limit.
TEST_F(Commands, EveryMenuIsPlacedByTheHost) {
    tree.Add({"ab", "ac"});
    HeadlessHost host;
    host.commandLine = "copy a";
    host.List(-1);
    ASSERT_EQ(host.menus.size(), 2u); // the module's menu, then the list
    for (const ShownMenu& menu : host.menus) {
        SCOPED_TRACE(menu.title);
        EXPECT_EQ(menu.moduleNumber, 0);
        EXPECT_EQ(menu.x, -1);
        EXPECT_EQ(menu.y, -1);
        EXPECT_EQ(menu.maxHeight, 0);
    }
}

TEST_F(Commands, TheCommandLineIsReadAndWrittenOnTheActivePanel) {
    tree.Add({"abc"});
    HeadlessHost host;
    host.commandLine = "copy a";
    host.Next();
    ASSERT_EQ(host.commandLine, "copy abc");
    ASSERT_EQ(host.panels.size(), 2u); // read, then replaced
    for (void* panel : host.panels)
        EXPECT_EQ(panel, reinterpret_cast<void*>(static_cast<intptr_t>(-1)));
}

// In the editor the module works on the cursor's line and moves only the cursor within
// it: line, scroll, tab position and overtype stay as the user has them.
TEST_F(Commands, TheEditorKeepsItsLineEndingViewAndOvertype) {
    tree.Add({"abc.txt", "abd.txt"});
    HeadlessHost host;
    host.editorLine = "copy ab";
    host.editorCursor = 7;
    host.Next(FromEditor);
    host.Next(FromEditor);
    host.editorLine = "type ab x";
    host.editorCursor = 7;
    host.Next(FromEditor);
    ASSERT_EQ(host.editorMoves.size(), 3u);
    const int32_t cursors[] = {12, 12, 12};
    for (size_t i = 0; i < host.editorMoves.size(); ++i) {
        const EditorPositionRecord& move = host.editorMoves[i];
        EXPECT_EQ(move.Line, -1) << i;
        EXPECT_EQ(move.Position, cursors[i]) << i;
        EXPECT_EQ(move.TabPosition, -1) << i;
        EXPECT_EQ(move.TopLine, -1) << i;
        EXPECT_EQ(move.LeftColumn, -1) << i;
        EXPECT_EQ(move.Overtype, -1) << i;
    }
    EXPECT_EQ(host.editorLineRequests, (std::vector<int32_t>(3, -1)));
    ASSERT_EQ(host.editorLineWrites.size(), 3u);
    for (const EditorLineWriteRecord& write : host.editorLineWrites) {
        EXPECT_EQ(write.LineNumber, -1);
        EXPECT_EQ(write.EndOfLine, nullptr);
    }
}

} // namespace
