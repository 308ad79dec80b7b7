// Commands on a command line whose last word fills all 1023 characters the host's
// line can hold: nothing can be completed there, and the line must come back whole.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "engine/state.h"
#include "fake_host.h"

using namespace zarelin;

namespace {

struct FullLineCase {
    const char* name;
    std::string line; // 1023 characters, one word
};

const FullLineCase fullLines[] = {
    {"a plain word", std::string(1023, 'a')},
    {"a path", "dir\\" + std::string(1019, 'a')},
    {"a server-like word", "\\\\" + std::string(1021, 's')},
};

void PrintTo(const FullLineCase& c, std::ostream* out) {
    *out << c.name;
}

enum Command { Next, Previous, List };

class FullLine : public ::testing::TestWithParam<FullLineCase> {};

TEST_P(FullLine, EveryCommandBeepsAndLeavesTheLineWhole) {
    const FullLineCase& c = GetParam();
    ASSERT_EQ(c.line.size(), 1023u);
    fakehost::FakeHostScope scope;
    // Entries that would match any mask: a directory and a program, so that the first
    // word of a line could take either.
    fakehost::fake.listing = {{"folder", "", true}, {"prog.exe", "PROG.EXE", false}};
    fakehost::fake.menuAnswer = 0;
    fakehost::fake.commandLine = c.line;
    // Mask is followed by LastPrompt: a byte written past the mask would show there.
    std::memset(State.LastPrompt, 'P', sizeof State.LastPrompt - 1);

    const Command commands[] = {Next, Next, Previous, List, Next};
    int step = 0;
    for (Command command : commands) {
        ++step;
        if (command == Next) State.CompleteNext();
        if (command == Previous) State.CompletePrevious();
        if (command == List) State.CompleteFromList();
        EXPECT_EQ(fakehost::fake.commandLine, c.line) << c.name << ", command " << step;
        EXPECT_EQ(fakehost::fake.beeps, step) << c.name << ", command " << step;
        EXPECT_EQ(State.CandidateCount, 0) << c.name << ", command " << step;
    }
    EXPECT_TRUE(fakehost::fake.menuTexts.empty()) << c.name;
    EXPECT_EQ(fakehost::fake.searchesOpen, 0) << c.name;
    EXPECT_EQ(State.LastPrompt[0], 'P') << c.name;
}

INSTANTIATE_TEST_SUITE_P(Words, FullLine, ::testing::ValuesIn(fullLines));

} // namespace
