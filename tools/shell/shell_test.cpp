// The parts of zarelin-shell that decide what reaches the module: word splitting, the
// line's capacity and scrolling, the language file, the host's wildcard match, and the
// editor's file round trip.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "codepage.h"
#include "editor.h"
#include "line_editor.h"
#include "module.h"
#include "paths.h"
#include "temp_dir_test.h"
#include "zarelin/host_api.h"
#include "zp_files.h"

namespace shell {
namespace {

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        LoadCodePage();
        ZpSetDriveRoot('C', "/");
    }
    void TearDown() override { ZpSetDriveRoot('C', "/"); }
};

// --- Words ----------------------------------------------------------------------------

TEST_F(ShellTest, SplitWordsGroupsQuotedBlanksAndKeepsSpans) {
    const std::vector<Word> words = SplitWords("a \"b c\"d  e");
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[0].text, "a");
    EXPECT_EQ(words[1].text, "b cd");
    EXPECT_EQ(words[1].start, 2u);
    EXPECT_EQ(words[1].end, 8u);
    EXPECT_EQ(words[2].text, "e");
    EXPECT_EQ(words[2].start, 10u);
    EXPECT_TRUE(SplitWords("   ").empty());
    // An unclosed quote runs to the end of the line.
    EXPECT_EQ(SplitWords("edit \"my file").back().text, "my file");
}

TEST_F(ShellTest, WordAtTakesTheWordUnderOrBeforeTheCursor) {
    EXPECT_EQ(WordAt("edit notes.txt", 14), "notes.txt");
    EXPECT_EQ(WordAt("edit notes.txt", 2), "edit");
    EXPECT_EQ(WordAt("edit \"my notes.txt\" x", 8), "my notes.txt");
    EXPECT_EQ(WordAt("", 0), "");
}

// --- The command line -----------------------------------------------------------------

TEST_F(ShellTest, LineRefusesCharactersBeyondItsCapacity) {
    LineEditor line(1023);
    for (int i = 0; i < 1023; ++i)
        ASSERT_TRUE(line.Insert('a')) << i;
    EXPECT_FALSE(line.Insert('b'));
    line.Home();
    EXPECT_FALSE(line.Insert('b')); // not at the start either
    EXPECT_EQ(line.text(), std::string(1023, 'a'));
    line.Backspace(); // at the start: nothing to remove
    line.Delete();
    EXPECT_EQ(line.text().size(), 1022u);
    EXPECT_TRUE(line.Insert('b'));
    EXPECT_EQ(line.text()[0], 'b');

    EXPECT_FALSE(line.Set(std::string(2000, 'x')));
    EXPECT_EQ(line.text().size(), 1023u);
    EXPECT_EQ(line.cursor(), 1023u);
}

struct ScrollCase {
    size_t scroll, cursor, length;
    int room;
    size_t expected;
};

TEST_F(ShellTest, ScrollKeepsTheCursorInView) {
    const ScrollCase cases[] = {
        {0, 5, 5, 20, 0},      // a short line is not scrolled
        {0, 100, 100, 20, 81}, // the end of a long line, cursor in the last column
        {81, 50, 100, 20, 50}, // the cursor moved left of the view
        {81, 0, 100, 20, 0},   // Home
        {81, 90, 100, 20, 81}, // inside the view: no move
        {81, 30, 30, 20, 11},  // the line shrank: no blank room while text is hidden
        {0, 5, 10, 0, 5},      // no room at all: only the cursor
        {0, 5, 10, 1, 5},
    };
    for (const ScrollCase& c : cases)
        EXPECT_EQ(ScrollToShow(c.scroll, c.cursor, c.length, c.room), c.expected)
            << c.scroll << " " << c.cursor << " " << c.length << " " << c.room;
}

// --- Language file --------------------------------------------------------------------

std::string Messages(int skip = -1) {
    std::string text = "# comment\n\n";
    for (int i = 0; i < 8; ++i)
        if (i != skip) text += std::to_string(i) + "=text " + std::to_string(i) + "\r\n";
    return text;
}

TEST_F(ShellTest, LanguageFileGivesEightMessages) {
    std::string messages[8], error;
    ASSERT_TRUE(ParseMessages(Messages(), messages, &error)) << error;
    EXPECT_EQ(messages[0], "text 0");
    EXPECT_EQ(messages[7], "text 7"); // the CR of a CR LF file is not part of it

    ASSERT_TRUE(ParseMessages(Messages() + "", messages, &error));
    ASSERT_TRUE(ParseMessages("0=Caf\xC3\xA9\n1=\n2=\n3=\n4=\n5=\n6=\n7=", messages, &error));
    EXPECT_EQ(messages[0], "Caf\x82"); // in the OEM page
    EXPECT_EQ(messages[1], "");
}

TEST_F(ShellTest, LanguageFileRefusesMissingRepeatedOrMalformedMessages) {
    struct Bad {
        std::string text;
        const char* says;
    } const cases[] = {
        {Messages(4), "message 4 is missing"},
        {Messages() + "3=again\n", "message 3 is given twice"},
        {Messages() + "x=y\n", "not of the form"},
        {Messages() + "8=y\n", "not of the form"},
        {Messages() + "no equals sign\n", "not of the form"},
        {"", "message 0 is missing"},
    };
    for (const Bad& c : cases) {
        std::string messages[8], error;
        EXPECT_FALSE(ParseMessages(c.text, messages, &error)) << c.says;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

// --- HostMatch ------------------------------------------------------------------------

TEST_F(ShellTest, MatchTakesTheLastComponentWithoutRegardToCase) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    } const cases[] = {
        {"ser*", "\\\\server", true},
        {"ser*", "\\\\host\\Server", true},
        {"ser*", "\\\\server\\x", false},
        {"sh?", "\\\\srv\\share", false},
        {"sh??e", "\\\\srv\\SHARE", true},
        {"*a*b", "xaxb", true},
        {"*a*b", "xaxbx", false},
        {"a*", "", false},
        {"*", "", true},
        {"[ab]", "a", false}, // brackets are plain characters
        // Names in the OEM page (437 here) fold beyond ASCII: 'é' 0x82 and 'É' 0x90.
        {"CAF\x90", "\\\\srv\\caf\x82", true},
        {"caf\x82*", "\\\\srv\\CAF\x90S", true},
        {"caf\x82", "\\\\srv\\cafe", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchLastComponent(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
}

// --- Editor files ---------------------------------------------------------------------

using EditorFileTest = TempDirTest;

TEST_F(EditorFileTest, SavingGivesBackTheBytesRead) {
    const std::string files[] = {
        "one\ntwo\n",
        "one\ntwo",
        "one\r\ntwo\r\n",
        "mixed\r\nends\n",
        "",
        "\n\n",
        "caf\xC3\xA9 \xE2\x94\x80\n",
        "tab\there\n",
    };
    for (const std::string& bytes : files) {
        const std::string path = Write("f.txt", bytes);
        std::string error;
        std::unique_ptr<Editor> editor = Editor::Open(path, "f.txt", &error);
        ASSERT_TRUE(editor) << error;
        ASSERT_TRUE(editor->Save()) << bytes;
        EXPECT_EQ(Read(path), bytes);
    }
}

TEST_F(EditorFileTest, TextTheCodePageCannotHoldIsNotSaved) {
    // Japanese, an ill-formed byte and a NUL: saving through the OEM page would lose them.
    for (const std::string& bytes : {std::string("\xE6\x97\xA5\xE6\x9C\xAC\n"),
                                     std::string("a\xFFz\n"), std::string("a\0b\n", 4)}) {
        const std::string path = Write("g.txt", bytes);
        std::string error;
        std::unique_ptr<Editor> editor = Editor::Open(path, "g.txt", &error);
        ASSERT_TRUE(editor) << error;
        EXPECT_FALSE(editor->Save());
        EXPECT_EQ(Read(path), bytes);
    }
}

TEST_F(EditorFileTest, ANewFileIsCreatedOnSaveAndADirectoryIsRefused) {
    std::string error;
    std::unique_ptr<Editor> editor = Editor::Open(dir_ + "/new.txt", "new.txt", &error);
    ASSERT_TRUE(editor);
    EXPECT_EQ(access((dir_ + "/new.txt").c_str(), F_OK), -1); // not before F2
    ASSERT_TRUE(editor->Save());
    EXPECT_EQ(Read(dir_ + "/new.txt"), "\n");
    EXPECT_FALSE(Editor::Open(dir_, "dir", &error));
    EXPECT_NE(error.find("directory"), std::string::npos);
}

TEST_F(EditorFileTest, ServicesReadWriteTheCurrentLineAndClampTheCursor) {
    const std::string path = Write("h.txt", "first\nsecond\n");
    std::string error;
    std::unique_ptr<Editor> editor = Editor::Open(path, "h.txt", &error);
    ASSERT_TRUE(editor);

    EditorLineRecord read = {-1, nullptr, nullptr, 0, 0, 0};
    ASSERT_EQ(editor->Service(EditorGetLine, &read), 1);
    EXPECT_STREQ(read.Text, "first");

    // The module's text is read no further than the length it gives.
    const char text[] = "replaced and more";
    EditorLineWriteRecord write = {-1, text, nullptr, 8};
    ASSERT_EQ(editor->Service(EditorSetLine, &write), 1);
    EditorPositionRecord position = {-1, 999, -1, -1, -1, -1};
    ASSERT_EQ(editor->Service(EditorSetPosition, &position), 1);
    EditorInfoRecord info;
    ASSERT_EQ(editor->Service(EditorGetInfo, &info), 1);
    EXPECT_EQ(info.CursorPos, 8); // clamped to the end of "replaced"

    EditorLineRecord other = {5, nullptr, nullptr, 0, 0, 0};
    EXPECT_EQ(editor->Service(EditorGetLine, &other), 0); // no such line
    EXPECT_EQ(editor->Service(42, &other), 0);

    ASSERT_TRUE(editor->Save());
    EXPECT_EQ(Read(path), "replaced\nsecond\n");
}

} // namespace
} // namespace shell
