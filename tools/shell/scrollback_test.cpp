// Paging through the output kept above the prompt: every line is on some screen, long
// lines wrapped, and the oldest screen is a full one.
#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "scrollback.h"

namespace shell {
namespace {

std::deque<std::string> Short(int count) {
    std::deque<std::string> lines;
    for (int i = 0; i < count; ++i)
        lines.push_back(std::string(1, static_cast<char>('a' + i)));
    return lines;
}

TEST(ScrollbackTest, PagesOfShortLinesMeetAndStopAtBothEnds) {
    const std::deque<std::string> lines = Short(7); // three rows a screen
    const struct {
        bool back;
        size_t from, to, first;
    } steps[] = {
        {true, 7, 4, 1},  // e f g on show: b c d
        {true, 4, 3, 0},  // a b c: the oldest at the top of a full screen
        {true, 3, 3, 0},  // no further
        {false, 3, 6, 3}, // d e f
        {false, 6, 7, 4}, // the newest
        {false, 7, 7, 4},
    };
    for (const auto& step : steps) {
        const size_t to =
            step.back ? PageBack(lines, step.from, 3, 10) : PageOn(lines, step.from, 3, 10);
        EXPECT_EQ(to, step.to) << (step.back ? "back from " : "on from ") << step.from;
        EXPECT_EQ(FirstShown(lines, to, 3, 10), step.first) << "to " << to;
    }
}

TEST(ScrollbackTest, AWrappedLineIsShownWholeOnTheNextScreen) {
    // "long" takes three rows of ten columns; the screen has three.
    const std::deque<std::string> lines = {"x", std::string(25, 'l'), "y", "z"};
    EXPECT_EQ(FirstShown(lines, 4, 3, 10), 1u); // its last row only, above y and z
    EXPECT_EQ(PageBack(lines, 4, 3, 10), 2u);   // then all of it
    EXPECT_EQ(PageBack(lines, 2, 3, 10), 1u);   // then x
    EXPECT_EQ(PageOn(lines, 1, 3, 10), 2u);
    EXPECT_EQ(PageOn(lines, 2, 3, 10), 4u);
}

TEST(ScrollbackTest, ALineTallerThanTheScreenStillMovesTheView) {
    const std::deque<std::string> lines = {"a", std::string(50, 'l')};
    EXPECT_EQ(PageBack(lines, 2, 2, 10), 1u);
    EXPECT_EQ(PageOn(lines, 1, 2, 10), 2u);
    EXPECT_EQ(PageBack({}, 0, 2, 10), 0u);
    EXPECT_EQ(PageOn({}, 0, 2, 10), 0u);
}

} // namespace
} // namespace shell
