// The lines run, kept as a console keeps them: what is kept, how Up, Down and F8 walk
// them, and the file that shells one after the other share.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "codepage.h"
#include "history.h"
#include "temp_dir_test.h"

namespace shell {
namespace {

std::vector<std::string> Lines(const History& history) {
    return {history.lines().begin(), history.lines().end()};
}

History With(const std::vector<std::string>& lines, size_t limit = HistoryLinesKept) {
    History history(limit);
    for (const std::string& line : lines)
        history.Add(line);
    return history;
}

TEST(HistoryTest, KeepsNoBlankLineNoRepeatOfTheNewestAndNoLineBreak) {
    const struct {
        std::vector<std::string> run, kept;
    } cases[] = {
        {{"dir", "dir", "cd", "dir"}, {"dir", "cd", "dir"}},
        {{"", "   ", "\t", "type a"}, {"type a"}},
        {{"dir", " dir"}, {"dir", " dir"}},
        {{"echo a\nb", "echo c\r"}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Lines(With(c.run)), c.kept) << c.run.front();
}

TEST(HistoryTest, KeepsTheNewestLinesUpToItsBound) {
    std::vector<std::string> run;
    for (int i = 0; i < 1005; ++i)
        run.push_back("echo " + std::to_string(i));
    const History history = With(run);
    ASSERT_EQ(history.lines().size(), 1000u);
    EXPECT_EQ(history.lines().front(), "echo 5");
    EXPECT_EQ(history.lines().back(), "echo 1004");
}

TEST(HistoryTest, UpAndDownStepThroughTheLinesAndBackToTheOneTyped) {
    History history = With({"one", "two", "three"});
    std::string line;
    EXPECT_FALSE(history.Newer(&line)); // nothing recalled yet
    const char* const older[] = {"three", "two", "one"};
    for (const char* expected : older) {
        ASSERT_TRUE(history.Older("half-typed", &line));
        EXPECT_EQ(line, expected);
    }
    EXPECT_FALSE(history.Older("one", &line)); // the oldest stays
    const char* const newer[] = {"two", "three", "half-typed"};
    for (const char* expected : newer) {
        ASSERT_TRUE(history.Newer(&line));
        EXPECT_EQ(line, expected);
    }
    EXPECT_FALSE(history.Newer(&line));
    // A line run starts the next recall from the newest again.
    ASSERT_TRUE(history.Older("", &line));
    history.Add("four");
    ASSERT_TRUE(history.Older("", &line));
    EXPECT_EQ(line, "four");
}

TEST(HistoryTest, MatchingFindsTheNewestLineWithThePrefixThenOlderOnesAndComesRound) {
    History history = With({"dir a", "type x", "dir b", "cd"});
    const struct {
        const char* prefix;
        const char* found; // null: none
    } steps[] = {
        {"dir", "dir b"},   {"dir", "dir a"}, {"dir", "dir b"}, // round from the oldest
        {"type", "type x"}, {"", "dir a"},                      // on from "type x"
        {"del", nullptr},
    };
    for (const auto& step : steps) {
        std::string line = "unchanged";
        EXPECT_EQ(history.Matching(step.prefix, "typed", &line), step.found != nullptr)
            << step.prefix;
        EXPECT_EQ(line, step.found ? step.found : "unchanged") << step.prefix;
    }
    // Down goes on from the line found, and past the newest gives back the line typed.
    std::string line;
    ASSERT_TRUE(history.Matching("dir b", "typed", &line));
    ASSERT_TRUE(history.Newer(&line));
    EXPECT_EQ(line, "cd");
    ASSERT_TRUE(history.Newer(&line));
    EXPECT_EQ(line, "typed");
}

TEST(HistoryTest, ChoosingFromTheListSetsWhereUpGoesOn) {
    History history = With({"one", "two", "three"});
    history.Chose(1, "typed");
    std::string line;
    ASSERT_TRUE(history.Older("two", &line));
    EXPECT_EQ(line, "one");
    ASSERT_TRUE(history.Newer(&line));
    ASSERT_TRUE(history.Newer(&line));
    ASSERT_TRUE(history.Newer(&line));
    EXPECT_EQ(line, "typed");
}

class HistoryFileTest : public TempDirTest {
  protected:
    std::string File() const { return dir_ + "/history"; }
    std::vector<std::string> Loaded(size_t limit = HistoryLinesKept) {
        History history(limit);
        std::string error;
        EXPECT_TRUE(history.Load(File(), &error)) << error;
        return Lines(history);
    }
    void Save(History& history) {
        std::string error;
        EXPECT_TRUE(history.Save(File(), &error)) << error;
    }
};

TEST_F(HistoryFileTest, ShellsOneAfterTheOtherShareTheFile) {
    History first, second;
    std::string error;
    ASSERT_TRUE(first.Load(File(), &error)) << error; // no file yet: no lines
    ASSERT_TRUE(second.Load(File(), &error)) << error;
    first.Add("a1");
    first.Add("a2");
    Save(first);
    second.Add("b1");
    Save(second); // adds to what the first wrote, though it read the file before
    EXPECT_EQ(Read(File()), "a1\na2\nb1\n");

    History third;
    ASSERT_TRUE(third.Load(File(), &error)) << error;
    EXPECT_EQ(Lines(third), (std::vector<std::string>{"a1", "a2", "b1"}));
    third.Add("b1"); // the newest again: not kept twice
    third.Add("c1");
    Save(third);
    Save(third); // a second save adds nothing more
    EXPECT_EQ(Loaded(), (std::vector<std::string>{"a1", "a2", "b1", "c1"}));
}

TEST_F(HistoryFileTest, SavingKeepsTheNewestLinesUpToTheBound) {
    Write("history", "f1\nf2\nf3\n");
    History history(4);
    history.Add("s1");
    history.Add("s2");
    Save(history);
    EXPECT_EQ(Read(File()), "f2\nf3\ns1\ns2\n");
    EXPECT_EQ(Loaded(3), (std::vector<std::string>{"f3", "s1", "s2"}));
}

TEST_F(HistoryFileTest, SavingReplacesTheFileWholeAndLeavesNothingBeside) {
    Write("history", "old\n");
    // A second name for the old file: a file rewritten in place would change under it.
    ASSERT_EQ(link(File().c_str(), (dir_ + "/old-link").c_str()), 0);
    History history;
    history.Add("new");
    Save(history);
    EXPECT_EQ(Read(File()), "old\nnew\n");
    EXPECT_EQ(Read(dir_ + "/old-link"), "old\n");
    unlink((dir_ + "/old-link").c_str());
    EXPECT_EQ(Read(File()), "old\nnew\n");
    std::string listing;
    FILE* ls = popen(("ls -A '" + dir_ + "'").c_str(), "r");
    for (char buffer[256]; ls && fgets(buffer, sizeof buffer, ls);)
        listing += buffer;
    if (ls) pclose(ls);
    EXPECT_EQ(listing, "history\n");
}

TEST_F(HistoryFileTest, AFileThatCannotBeWrittenOrReadIsReportedAndKeepsTheLines) {
    History history;
    history.Add("kept");
    std::string error;
    EXPECT_FALSE(history.Save(dir_ + "/no/such/history", &error));
    EXPECT_NE(error.find("no/such/history"), std::string::npos) << error;
    // A folder where the file should be is not read as no lines and written over.
    ASSERT_EQ(mkdir(File().c_str(), 0700), 0);
    error.clear();
    EXPECT_FALSE(history.Save(File(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(history.Load(File(), &error));
    ASSERT_EQ(rmdir(File().c_str()), 0);
    Save(history); // the lines not saved before are still to be saved
    EXPECT_EQ(Read(File()), "kept\n");
}

TEST_F(HistoryFileTest, LinesAreStoredInUtf8AndReadBackInTheConsolePage) {
    bool lossless = false;
    const std::string oem = Utf8ToOem("type caf\xC3\xA9.txt", &lossless);
    if (!lossless) GTEST_SKIP() << "the console's page has no e acute";
    History history;
    history.Add(oem);
    Save(history);
    EXPECT_EQ(Read(File()), "type caf\xC3\xA9.txt\n");
    EXPECT_EQ(Loaded(), std::vector<std::string>{oem});
}

TEST_F(HistoryFileTest, LoadingDropsWhatWouldNotHaveBeenKept) {
    Write("history", "dir\r\ndir\n\n  \ncd");
    EXPECT_EQ(Loaded(), (std::vector<std::string>{"dir", "cd"}));
}

} // namespace
} // namespace shell
