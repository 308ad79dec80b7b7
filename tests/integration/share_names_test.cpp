// Share names outside ASCII, share entries larger than the first entry buffer, and
// names too long for the list read whole, on both share sources and both platform
// families, through the module's entry points.
// The host has no match service here: the module matches with its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "headless_host.h"
#include "temp_tree.h"
#include "zp_network.h"

using namespace testhost;

namespace {

using Texts = std::vector<std::string>;

const std::string Long(80, 'l');
const std::string Remark(200, 'r');

// INTL's names in CP437, the console's page: 'é' 0x82, 'É' 0x90, 'π' 0xE3; Cyrillic
// has no form there.
const std::string Cafe = "caf\x82", CafeUpper = "CAF\x90",
                  Pi = "\xe3"
                       "files";

std::string NetworkFile(const char* family) {
    return std::string(R"({ "platform": ")") + family + R"(", "workgroup": "LAN", "domain": "LAN",
      "providers": [ { "name": "Microsoft Windows Network",
                       "domains": [ { "name": "LAN", "servers": ["INTL", "LONG"] } ] } ],
      "servers": {
        "INTL": { "shares": [ { "name": "caf\u00e9" }, { "name": "\u03c0files" },
                              { "name": "\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442\u044b" } ] },
        "LONG": { "shares": [ { "name": ")" +
           Long + R"(" }, { "name": "after" },
                              { "name": "notes", "remark": ")" +
           Remark + R"(" }, { "name": "zlast" } ] } } })";
}

struct Case {
    const char* family;
    bool hidden;      // "Show hidden shares": the share list read whole
    std::string line; // typed in the console's page
    Texts expected;   // the list menu, or the line a single match makes
};

class ShareNames : public ::testing::Test {
  protected:
    void TearDown() override { ZpNetworkLoad(nullptr); }

    // What the list command makes of `c.line`: the menu's texts, or the line itself
    // when a single match was inserted without one.
    Texts Complete(const Case& c) {
        EXPECT_EQ(ZpNetworkLoadText(NetworkFile(c.family).c_str()), 0) << ZpNetworkError();
        TempTree tree; // options at their defaults
        HeadlessHost host("Software\\ZarelinTestHost", false);
        if (c.hidden) host.Pick(ShowHiddenSharesItem);
        host.commandLine = c.line;
        host.menus.clear();
        host.List(-1);
        return host.menus.size() > 1 ? host.MenuTexts() : Texts{host.commandLine};
    }
};

TEST_F(ShareNames, NamesOutsideAsciiMatchAsTyped) {
    const std::string intl = "\\\\INTL\\", typed = "\\\\intl\\";
    const Case cases[] = {
        // The one-per-call enumeration: the name as the platform gives it, in OEM.
        {"nt", false, "dir " + typed + "caf", {"dir " + intl + Cafe + "\\"}},
        {"nt", false, "dir " + typed + Cafe, {"dir " + intl + Cafe + "\\"}},
        {"nt", false, "dir " + typed + CafeUpper, {"dir " + intl + Cafe + "\\"}},
        {"nt", false, "dir " + typed + "\xe3", {"dir " + intl + Pi + "\\"}},
        {"nt", false, "dir " + typed, {intl + Pi + "\\", intl + "?????????\\", intl + Cafe + "\\"}},
        // The share list read whole: the server as typed.
        {"nt", true, "dir " + typed + CafeUpper, {"dir " + typed + Cafe + "\\"}},
        {"nt", true, "dir " + typed + "\xe3", {"dir " + typed + Pi + "\\"}},
        {"nt",
         true,
         "dir " + typed,
         {typed + Pi + "\\", typed + "?????????\\", typed + Cafe + "\\"}},
        // The other family's names are ANSI, which has no 'π' either.
        {"other", false, "dir " + typed + CafeUpper, {"dir " + intl + Cafe + "\\"}},
        {"other",
         false,
         "dir " + typed,
         {intl + "?????????\\", intl + "?files\\", intl + Cafe + "\\"}},
        {"other", true, "dir " + typed + CafeUpper, {"dir " + typed + Cafe + "\\"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Complete(c), c.expected) << c.family << (c.hidden ? " hidden " : " ") << c.line;
}

TEST_F(ShareNames, AnEntryLargerThanTheFirstBufferDoesNotEndTheList) {
    const std::string server = "\\\\LONG\\", typed = "\\\\long\\";
    auto all = [&](const std::string& prefix, bool longName) {
        Texts names = {prefix + "after\\", prefix + "notes\\", prefix + "zlast\\"};
        if (longName) names.insert(names.begin() + 1, prefix + Long + "\\");
        return names;
    };
    const Case cases[] = {
        {"nt", false, "dir " + typed, all(server, true)},
        {"nt", true, "dir " + typed, all(typed, true)},
        {"other", false, "dir " + typed, all(server, true)},
        // The other family's share list holds names of up to 12 characters.
        {"other", true, "dir " + typed, all(typed, false)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Complete(c), c.expected) << c.family << (c.hidden ? " hidden " : " ") << c.line;
}

// The share list read whole builds '\\server\share' as the server was typed, in 199
// characters: after '\\long\' a share name of 192 fits, one of 193 is left out. The
// one-per-call enumeration offers both.
TEST_F(ShareNames, TheShareListReadWholeLeavesOutANameTooLongForItsFullName) {
    const std::string fits(192, 'a'), over(193, 'b');
    const std::string json = R"({ "platform": "nt", "providers": [ { "name": "N" } ],
      "servers": { "LONG": { "shares": [ { "name": ")" +
                             over + R"(" }, { "name": ")" + fits + R"(" } ] } } })";
    ASSERT_EQ(ZpNetworkLoadText(json.c_str()), 0) << ZpNetworkError();
    for (bool hidden : {false, true}) {
        TempTree tree; // options at their defaults
        HeadlessHost host("Software\\ZarelinTestHost", false);
        if (hidden) host.Pick(ShowHiddenSharesItem);
        host.commandLine = "dir \\\\long\\";
        Texts lines;
        for (int tab = 0; tab < 2; ++tab) {
            host.Next();
            lines.push_back(host.commandLine);
        }
        const std::string server = hidden ? "dir \\\\long\\" : "dir \\\\LONG\\";
        Texts expected = {server + fits + "\\", server + fits + "\\"};
        if (!hidden) expected.front() = server + over + "\\";
        EXPECT_EQ(lines, expected) << (hidden ? "read whole" : "one per call");
    }
}

} // namespace
