// File and folder names from the real Windows file search: its "." and ".." entries,
// its directory bit, its 8.3 names and its code pages.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "fixture.h"

using namespace winhost;

namespace {

using Texts = std::vector<std::string>;

class Files : public WindowsTest {};

TEST_F(Files, AFirstWordCompletesToProgramsAndFoldersOnly) {
    folder.Add({"notepad.exe", "notes.txt", "notes\\", "RUNME.BAT", "tool.Cmd", "ab", "ab.d\\"});
    struct Case {
        std::string line;
        Texts menu; // the list, sorted; one entry is inserted without a menu
    } cases[] = {
        {"not", {"notepad.exe", "notes\\"}},
        {"copy no", {"notepad.exe", "notes\\", "notes.txt"}},
        {"a", {"ab.d\\"}},
        {"r", {"RUNME.BAT"}},
        {"t", {"tool.Cmd"}},
    };
    for (const Case& c : cases) {
        WindowsHost host(hostRoot);
        host.commandLine = c.line;
        host.List(-1);
        if (c.menu.size() > 1) {
            EXPECT_EQ(host.MenuTexts(), c.menu) << c.line;
            EXPECT_EQ(host.commandLine, c.line);
        } else {
            EXPECT_EQ(host.menus.size(), 1u) << c.line;
            EXPECT_EQ(host.commandLine, c.menu[0]) << c.line;
        }
    }
}

TEST_F(Files, ChangeDirectoryOffersFoldersAndNeverTheDotEntries) {
    // The file search returns "." and ".." for masks such as "*" and ".*".
    folder.Add({"program.exe", "projects\\", ".profile", ".config\\"});
    struct Case {
        std::string line;
        Texts menu;
    } cases[] = {
        {"cd pro", {"projects\\"}},
        {"CD pro", {"projects\\"}},
        {"cd .", {".config\\"}},
        {"cd ", {".config\\", "projects\\"}},
        {"copy .", {".config\\", ".profile"}},
        {"cd  pro", {"program.exe", "projects\\"}}, // not the third character: no filter
    };
    for (const Case& c : cases) {
        WindowsHost host(hostRoot);
        host.commandLine = c.line;
        host.List(0);
        if (c.menu.size() > 1) {
            EXPECT_EQ(host.MenuTexts(), c.menu) << "'" << c.line << "'";
        } else {
            EXPECT_EQ(host.menus.size(), 1u) << "'" << c.line << "'";
            std::string word = c.line.substr(0, c.line.find_last_of(' ') + 1) + c.menu[0];
            EXPECT_EQ(host.commandLine, word) << "'" << c.line << "'";
        }
    }
}

TEST_F(Files, NextKeepsTheSearchOpenAcrossCallsThenStopsAndPreviousGoesBack) {
    folder.Add({"m1", "m2", "m3", "other"});
    WindowsHost host(hostRoot);
    host.commandLine = "copy m";
    Texts seen;
    for (int i = 0; i < 3; ++i) {
        host.Next();
        seen.push_back(host.commandLine);
    }
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()),
              (std::set<std::string>{"copy m1", "copy m2", "copy m3"}));
    host.Next(); // nothing more: the last match stays
    EXPECT_EQ(host.commandLine, seen[2]);
    host.Previous();
    EXPECT_EQ(host.commandLine, seen[1]);
    host.Previous();
    EXPECT_EQ(host.commandLine, seen[0]);
    host.Previous();
    EXPECT_EQ(host.commandLine, seen[0]);
}

TEST_F(Files, PathsAndSpacesAreKeptAndQuoted) {
    folder.Add({"Program Files Test\\", "sub\\deep.txt", "sub\\my file"});
    struct Case {
        std::string line;
        std::string expected;
    } cases[] = {
        {"dir pro", "dir \"Program Files Test\\\""},
        {"type sub\\de", "type sub\\deep.txt"},
        {"type sub/de", "type sub/deep.txt"},
        {"type sub\\my", "type \"sub\\my file\""},
        {"type \"sub\\my f\"", "type \"sub\\my file\""},
    };
    for (const Case& c : cases) {
        WindowsHost host(hostRoot);
        host.commandLine = c.line;
        host.Next();
        EXPECT_EQ(host.commandLine, c.expected) << c.line;
    }
}

// A closing quote only groups: what follows it narrows the search, and the next step
// goes on with it.
TEST_F(Files, TextAfterAClosingQuoteNarrowsTheSearch) {
    folder.Add({"Annual Reports\\Report 2023.txt", "Annual Reports\\Report 2024.txt",
                "Annual Reports\\Summary.txt", "Program Files Test\\Common Files\\"});
    const std::string root = folder.root();
    struct Case {
        std::string line;
        std::set<std::string> expected; // what next gives, step by step, in any order
    } cases[] = {
        {"type \"Annual Reports\\\"Rep",
         {"type \"Annual Reports\\Report 2023.txt\"", "type \"Annual Reports\\Report 2024.txt\""}},
        {"copy \"" + root + "\\Program Files Test\"\\Com",
         {"copy \"" + root + "\\Program Files Test\\Common Files\\\""}},
        {"type \"Annual Reports\\\"Xyz", {}}, // nothing matches: the line stays whole
    };
    for (const Case& c : cases) {
        for (int32_t from : {FromCommandLine, FromEditor}) {
            WindowsHost host(hostRoot);
            std::string& line = from == FromEditor ? host.editorLine : host.commandLine;
            line = c.line;
            host.editorCursor = static_cast<int32_t>(c.line.size());
            std::set<std::string> seen;
            for (size_t step = 0; step < std::max<size_t>(c.expected.size(), 1); ++step) {
                host.Next(from);
                seen.insert(line);
            }
            EXPECT_EQ(seen, c.expected.empty() ? std::set<std::string>{c.line} : c.expected)
                << c.line << (from == FromEditor ? " in the editor" : "");
        }
    }
}

TEST_F(Files, AFullPathWithADriveLetterCompletesInTheEditor) {
    folder.Add({"Program Files Test\\"});
    ASSERT_EQ(folder.root()[1], ':');
    WindowsHost host(hostRoot);
    host.editorLine = "dir \"" + folder.root() + "\\Program Fi";
    host.editorCursor = static_cast<int32_t>(host.editorLine.size());
    host.Next(FromEditor);
    EXPECT_EQ(host.editorLine, "dir \"" + folder.root() + "\\Program Files Test\\\"");
    EXPECT_EQ(host.editorCursor, static_cast<int32_t>(host.editorLine.size()));
}

TEST_F(Files, ShortFileNamesInsertsTheFileSystemsOwn83Name) {
    folder.Add({"Program Files Test\\", "sub\\Program Files Test\\", "abc.txt"});
    // The file system makes up its own 8.3 names (Wine hashes them): ask it.
    std::string shortName = ShortPath("Program Files Test");
    ASSERT_FALSE(shortName.empty());
    ASSERT_NE(shortName, "Program Files Test");
    std::string shortInSub = ShortPath("sub\\Program Files Test");
    ASSERT_EQ(shortInSub.substr(0, 4), "sub\\");

    WindowsHost host(hostRoot);
    host.Pick(ShortFileNamesItem);
    struct Case {
        std::string line;
        std::string expected;
    } cases[] = {
        {"dir prog", "dir " + shortName + "\\"},
        {"dir sub\\prog", "dir " + shortInSub + "\\"},
        {"type ab", "type " + ShortPath("abc.txt")}, // a name that is its own 8.3 form
    };
    for (const Case& c : cases) {
        host.commandLine = c.line;
        host.Next();
        EXPECT_EQ(host.commandLine, c.expected) << c.line;
    }

    host.commandLine = "dir ";
    host.List(-1);
    EXPECT_EQ(host.MenuTexts(), (Texts{ShortPath("abc.txt"), shortName + "\\", "sub\\"}));
}

TEST_F(Files, ShortFileNamesTurnedOnMidSearchAppliesToTheNextMatch) {
    folder.Add({"Program Files One\\", "Program Files Two\\"});
    WindowsHost host(hostRoot);
    host.commandLine = "dir prog";
    host.Next();
    std::string first = host.commandLine;
    ASSERT_TRUE(first == "dir \"Program Files One\\\"" || first == "dir \"Program Files Two\\\"")
        << first;
    host.Pick(ShortFileNamesItem);
    host.Next();
    std::string other = first.find("One") != std::string::npos ? "Two" : "One";
    EXPECT_EQ(host.commandLine, "dir " + ShortPath("Program Files " + other) + "\\");
}

TEST_F(Files, NamesReachTheLineInTheConsolesCodePage) {
    // The host works with the file calls in the OEM code page, as the console shows text:
    // a typed OEM character finds the file, and the inserted name is in OEM too.
    const wchar_t wide[] = L"caf\u00e9.txt";
    HANDLE file = CreateFileW(wide, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    char oem[32];
    ASSERT_GT(WideCharToMultiByte(CP_OEMCP, 0, wide, -1, oem, sizeof oem, nullptr, nullptr), 0);
    std::string name = oem;
    ASSERT_EQ(name.size(), 8u); // one byte for the accented letter

    for (std::string typed : {std::string("caf"), name.substr(0, 4)}) {
        WindowsHost host(hostRoot);
        host.commandLine = "copy " + typed;
        host.Next();
        EXPECT_EQ(host.commandLine, "copy " + name) << typed;
    }
}

} // namespace
