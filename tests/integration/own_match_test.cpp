// What the list command offers for a server or share word with wildcards in it, when
// the host has no match service and the module matches with its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "headless_host.h"
#include "temp_tree.h"
#include "zp_network.h"

using namespace testhost;

namespace {

using Names = std::vector<std::string>;

std::string NetworkFile(const char* family) {
    return std::string(R"({ "platform": ")") + family + R"(", "workgroup": "LAN", "domain": "LAN",
      "providers": [ { "name": "Microsoft Windows Network",
                       "domains": [ { "name": "LAN", "servers": ["WILD", "ALPHA", "ALPS", "BETA"] } ] } ],
      "servers": { "WILD": { "shares": [
        { "name": "abc" }, { "name": "abd" }, { "name": "xabc" }, { "name": "aabc" },
        { "name": "abcabc" }, { "name": "ab" }, { "name": "ABE" }, { "name": "b" },
        { "name": "mississippi" }, { "name": "miss" }, { "name": "x1y" }, { "name": "x12y" },
        { "name": "caf\u00e9" } ] } } })";
}

// The names the list menu offers for the word in `line`, without the server before a
// share nor the backslash after a name, in sorted order; none when there was no menu.
Names Offered(const char* family, const std::string& line) {
    EXPECT_EQ(ZpNetworkLoadText(NetworkFile(family).c_str()), 0) << ZpNetworkError();
    TempTree tree; // options at their defaults
    HeadlessHost host("Software\\ZarelinTestHost", false);
    host.Pick(SingleEntriesInMenuItem); // one match shows a menu too
    host.commandLine = line;
    host.menus.clear();
    host.List(-1);
    Names names;
    if (host.menus.size() < 2) return names;
    for (std::string text : host.MenuTexts()) {
        if (!text.empty() && text.back() == '\\') text.pop_back();
        names.push_back(text.substr(text.find_last_of('\\') + 1));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(host.commandLine, line) << "the cancelled menu leaves the line";
    return names;
}

struct Case {
    std::string line;
    Names expected; // sorted
};

class OwnMatch : public ::testing::TestWithParam<const char*> {
  protected:
    void TearDown() override { ZpNetworkLoad(nullptr); }
};

TEST_P(OwnMatch, ShareWordsOfferTheNamesTheirWildcardsAllow) {
    const std::string word = "dir \\\\WILD\\";
    const Case cases[] = {
        // Literals, in either letter case.
        {word + "abc", {"abc", "abcabc"}},
        {word + "ABC", {"abc", "abcabc"}},
        {word + "abe", {"ABE"}},
        {word + "abcd", {}},
        {word + "q", {}},
        // '?': exactly one character.
        {word + "a?c", {"abc", "abcabc"}},
        {word + "?b", {"ABE", "ab", "abc", "abcabc", "abd"}},
        {word + "x?y", {"x1y"}},
        // '*': any run, a false start taken back.
        {word + "x*y", {"x12y", "x1y"}},
        {word + "*bc", {"aabc", "abc", "abcabc", "xabc"}},
        {word + "*issip", {"mississippi"}},
        {word + "*ss*pi", {"mississippi"}},
        {word + "*sp", {}},
        {word + "m*s", {"miss", "mississippi"}},
        // A letter outside ASCII, typed as its capital in the console's page (CP437).
        {word + "CAF\x90", {"caf\x82"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Offered(GetParam(), c.line), c.expected) << GetParam() << ": " << c.line;
}

TEST_P(OwnMatch, ServerWordsOfferTheNamesTheirWildcardsAllow) {
    const Case cases[] = {
        {"dir \\\\al", {"ALPHA", "ALPS"}},
        {"dir \\\\?L*S", {"ALPS"}},
        {"dir \\\\*a", {"ALPHA", "ALPS", "BETA"}},
        {"dir \\\\*i*d", {"WILD"}},
        {"dir \\\\lp", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Offered(GetParam(), c.line), c.expected) << GetParam() << ": " << c.line;
}

INSTANTIATE_TEST_SUITE_P(Families, OwnMatch, ::testing::Values("nt", "other"));

} // namespace
