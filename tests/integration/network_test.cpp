// Server and share names over a simulated network, on both platform families, through
// the module's entry points.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "headless_host.h"
#include "sample_network.h"
#include "temp_tree.h"
#include "zp_network.h"

using namespace testhost;

namespace {

class Network : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        tree.Add({"alpha-data/report.txt", "alpha-data/readme.md"});
        std::string json = SampleNetwork;
        json.replace(json.find("@FAMILY@"), 8, family());
        std::string path = tree.root() + "/network.json";
        std::ofstream(path) << json;
        ASSERT_EQ(ZpNetworkLoad(path.c_str()), 0) << ZpNetworkError();
    }
    void TearDown() override {
        ZpNetworkSetFault(ZpFaultAll, 0);
        ZpNetworkLoad(nullptr);
    }
    std::string family() const { return GetParam(); }
    bool nt() const { return family() == "nt"; }
    // A server as the line shows it after insertion: the NT family inserts the bare
    // name after the typed backslashes, the other family the name with its own.
    std::string Server(const std::string& name) const { return "\\\\" + name + "\\"; }

    TempTree tree;
};

TEST_P(Network, AServerWordCompletesFromTheDomainOrWorkgroup) {
    HeadlessHost host;
    host.commandLine = "dir \\\\al";
    host.Next();
    EXPECT_EQ(host.commandLine, "dir " + Server("ALPHA"));

    // Every server of the domain (NT) or the workgroup (other family), in turn.
    host.commandLine = "dir \\\\";
    std::vector<std::string> lines;
    for (int i = 0; i < 3; ++i) {
        host.Next();
        lines.push_back(host.commandLine);
    }
    std::vector<std::string> expected =
        nt() ? std::vector<std::string>{"dir \\\\ALPHA\\", "dir \\\\BETA\\", "dir \\\\BETA\\"}
             : std::vector<std::string>{"dir \\\\ALPHA\\", "dir \\\\GAMMA\\", "dir \\\\GAMMA\\"};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(host.beeps(), 1u);
}

TEST_P(Network, TheWholeNetworkListsEveryServerDuplicatesIncluded) {
    HeadlessHost host;
    host.Pick(CurrentDomainOnlyItem);
    host.commandLine = "dir \\\\";
    host.List(-1);
    std::vector<std::string> names = {"ALPHA", "ALPHA", "BETA", "DELTA", "GAMMA", "OMEGA"};
    std::vector<std::string> expected;
    for (const std::string& name : names)
        expected.push_back((nt() ? "" : "\\\\") + name + "\\");
    EXPECT_EQ(host.MenuTexts(), expected);
    host.commandLine = "dir \\\\de";
    host.Next();
    EXPECT_EQ(host.commandLine, "dir " + Server("DELTA"));
}

TEST_P(Network, AnOptionChangedMidSearchEndsItAtTheListsEnd) {
    HeadlessHost host;
    host.Pick(CurrentDomainOnlyItem); // the whole network, read at once
    host.commandLine = "dir \\\\a";
    host.Next();
    std::string first = host.commandLine;
    host.Pick(CurrentDomainOnlyItem); // back on: the source read whole stays ended
    host.Next();
    EXPECT_EQ(host.beeps(), 0u); // the second ALPHA of the walk
    host.Next();
    EXPECT_EQ(host.beeps(), 1u);
    EXPECT_EQ(host.commandLine, first);
}

TEST_P(Network, ShareWordsOfferDiskSharesOnly) {
    HeadlessHost host;
    host.commandLine = "dir \\\\alpha\\";
    host.List(-1);
    std::vector<std::string> expected = {"\\\\ALPHA\\caf\x82\\", "\\\\ALPHA\\data\\",
                                         "\\\\ALPHA\\docs\\"};
    EXPECT_EQ(host.MenuTexts(), expected);

    // The whole list at once: the names follow the server as typed.
    host.Pick(ShowHiddenSharesItem);
    host.List(-1);
    expected = {"\\\\alpha\\caf\x82\\", "\\\\alpha\\data\\", "\\\\alpha\\docs\\"};
    if (nt()) expected.insert(expected.begin(), "\\\\alpha\\C$\\");
    EXPECT_EQ(host.MenuTexts(), expected);
}

TEST_P(Network, ForwardSlashesBecomeBackslashes) {
    for (int hidden = 0; hidden <= 1; ++hidden) {
        HeadlessHost host;
        if (hidden) host.Pick(ShowHiddenSharesItem);
        host.commandLine = "dir //ALPHA/do";
        host.Next();
        EXPECT_EQ(host.commandLine, "dir \\\\ALPHA\\docs\\") << hidden;
        host.Next();
        EXPECT_EQ(host.beeps(), 1u) << hidden;
    }
}

// Quotes only group: wherever they stand, the word is a share or a path inside one.
TEST_P(Network, AWordInsideAShareCompletesItsFiles) {
    const std::pair<const char*, const char*> cases[] = {
        {"type \\\\alpha\\data\\rep", "type \\\\alpha\\data\\report.txt"},
        {"type \"\\\\alpha\\data\"\\rep", "type \\\\alpha\\data\\report.txt"},
        {"dir \"\\\\ALPHA\\d\"o", "dir \\\\ALPHA\\docs\\"},
    };
    for (const auto& [line, expected] : cases) {
        HeadlessHost host;
        host.commandLine = line;
        host.Next();
        EXPECT_EQ(host.commandLine, expected);
    }
}

TEST_P(Network, TheShareListReadWholeRunsToItsEndAfterTheOptionIsTurnedOff) {
    HeadlessHost host;
    host.Pick(ShowHiddenSharesItem);
    host.commandLine = "dir \\\\alpha\\d";
    host.Next();
    EXPECT_EQ(host.commandLine, "dir \\\\alpha\\data\\");
    host.Pick(ShowHiddenSharesItem);
    host.Next(); // the second of 'data' and 'docs', from the list read whole
    EXPECT_EQ(host.commandLine, "dir \\\\alpha\\docs\\");
    EXPECT_EQ(host.beeps(), 0u);
    host.Next();
    EXPECT_EQ(host.commandLine, "dir \\\\alpha\\docs\\");
    EXPECT_EQ(host.beeps(), 1u);
}

TEST_P(Network, UnreachableDeniedOrMissingShareListsBeep) {
    struct Case {
        int fault;
        bool hidden;
        const char* line;
    } cases[] = {
        {ZpFaultAll, false, "dir \\\\nosuch\\"},
        {ZpFaultShareListDenied, true, "dir \\\\alpha\\"},
        {ZpFaultNoNetShareEnum, true, "dir \\\\alpha\\"},
    };
    for (const Case& c : cases) {
        TempTree fresh; // options start at their defaults
        ZpNetworkSetFault(c.fault, c.fault == ZpFaultAll ? 0 : -1);
        HeadlessHost host;
        if (c.hidden) host.Pick(ShowHiddenSharesItem);
        host.commandLine = c.line;
        host.Next();
        EXPECT_EQ(host.commandLine, c.line);
        EXPECT_EQ(host.beeps(), 1u) << c.line << " fault " << c.fault;
        ZpNetworkSetFault(ZpFaultAll, 0);
    }
}

// The entry fits the first buffer; the layer says "more data" all the same.
TEST_P(Network, AMoreDataAnswerForAnEntryThatFitsIsAskedOnceMoreOnly) {
    const struct {
        int times;
        const char* expected;
    } cases[] = {
        {1, "dir \\\\ALPHA\\data\\"}, {2, "dir \\\\alpha\\da"}, // said twice: the list ends there
    };
    for (const auto& c : cases) {
        ZpNetworkSetFault(ZpFaultMoreData, c.times);
        HeadlessHost host;
        host.commandLine = "dir \\\\alpha\\da";
        host.Next();
        EXPECT_EQ(host.commandLine, c.expected) << c.times;
        EXPECT_EQ(host.beeps(), c.times == 1 ? 0u : 1u) << c.times;
        ZpNetworkSetFault(ZpFaultAll, 0);
    }
}

// What the list command offers for `line`: the list's texts (the module's own menu comes
// first), or the line itself when a single match was inserted without one.
std::vector<std::string> Offered(HeadlessHost& host, const std::string& line) {
    host.commandLine = line;
    host.menus.clear();
    host.List(-1);
    return host.menus.size() > 1 ? host.MenuTexts() : std::vector<std::string>{host.commandLine};
}

// The one-per-call enumerations read an entry into a 256-byte buffer first. BIG's
// comment and its share's remark make their entries larger; EDGE's remarks make one
// entry exactly 64 KiB and the next two bytes more, which no name record needs.
TEST_P(Network, EntriesLargerThanTheBufferAreOfferedUpTo64KiB) {
    // An entry takes a record and, in UTF-16 with terminators, the remote name, the
    // remark and the provider.
    const std::string provider = "Microsoft Windows Network";
    auto remarkFor = [&](const std::string& remote, size_t entry) {
        size_t units = (entry - sizeof(NETRESOURCEW)) / 2;
        return std::string(units - (remote.size() + 1) - (provider.size() + 1) - 1, 'r');
    };
    const std::string atLimit = remarkFor("\\\\EDGE\\atlimit", 64 * 1024);
    const std::string beyond = remarkFor("\\\\EDGE\\beyond", 64 * 1024 + 2);
    const std::string large(300, 'c');
    std::string json = R"({ "platform": ")" + family() + R"(", "workgroup": "LAN",
      "domain": "LAN", "providers": [ { "name": ")" +
                       provider + R"(",
        "domains": [ { "name": "LAN", "servers": ["BIG", "SMALL"] } ] } ],
      "servers": {
        "BIG": { "comment": ")" +
                       large + R"(", "shares": [
            { "name": "large", "remark": ")" +
                       large + R"(" }, { "name": "small" } ] },
        "EDGE": { "shares": [ { "name": "first" },
            { "name": "atlimit", "remark": ")" +
                       atLimit + R"(" },
            { "name": "beyond", "remark": ")" +
                       beyond + R"(" }, { "name": "unseen" } ] } } })";
    ASSERT_EQ(ZpNetworkLoadText(json.c_str()), 0) << ZpNetworkError();
    const std::string prefix = nt() ? "" : "\\\\";
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"dir \\\\", {prefix + "BIG\\", prefix + "SMALL\\"}},
        {"dir \\\\big\\", {"\\\\BIG\\large\\", "\\\\BIG\\small\\"}},
        // An entry beyond 64 KiB ends the list.
        {"dir \\\\edge\\", {"\\\\EDGE\\atlimit\\", "\\\\EDGE\\first\\"}},
    };
    for (const auto& [line, expected] : cases) {
        HeadlessHost host;
        EXPECT_EQ(Offered(host, line), expected) << line;
    }
}

TEST_P(Network, AServerWordMatchingNothingBeepsAndLeavesTheLine) {
    for (bool domainOnly : {true, false}) {
        TempTree fresh; // options start at their defaults
        HeadlessHost host;
        if (!domainOnly) host.Pick(CurrentDomainOnlyItem);
        host.commandLine = "dir \\\\zz";
        host.Next();
        EXPECT_EQ(host.commandLine, "dir \\\\zz") << domainOnly;
        host.menus.clear();
        host.List(-1);
        EXPECT_EQ(host.commandLine, "dir \\\\zz") << domainOnly;
        EXPECT_EQ(host.menus.size(), 1u) << domainOnly; // the module's own, no list
        EXPECT_EQ(host.beeps(), 2u) << domainOnly;
    }
}

TEST_P(Network, AServerWithASingleShareOffersIt) {
    std::string json = R"({ "platform": ")" + family() + R"(",
      "providers": [ { "name": "Microsoft Windows Network" } ],
      "servers": { "SOLO": { "shares": [ { "name": "only" } ] } } })";
    ASSERT_EQ(ZpNetworkLoadText(json.c_str()), 0) << ZpNetworkError();
    for (bool hidden : {false, true}) {
        TempTree fresh;
        HeadlessHost host;
        if (hidden) host.Pick(ShowHiddenSharesItem);
        host.commandLine = "dir \\\\SOLO\\";
        host.Next();
        EXPECT_EQ(host.commandLine, "dir \\\\SOLO\\only\\") << hidden;
        EXPECT_EQ(host.beeps(), 0u) << hidden;
    }
}

INSTANTIATE_TEST_SUITE_P(Families, Network, ::testing::Values("nt", "other"));

// Outside the NT family the workgroup is enumerated with a named provider; when the
// platform rejects it, the other provider is tried and kept for later searches.
TEST(NetworkProvider, ABadProviderIsRetriedAndTheRetryKept) {
    TempTree tree;
    std::string json = SampleNetwork;
    json.replace(json.find("@FAMILY@"), 8, "other");
    ASSERT_EQ(ZpNetworkLoadText(json.c_str()), 0) << ZpNetworkError();
    ZpNetworkSetFault(ZpFaultBadProvider, 1);
    {
        HeadlessHost host;
        host.commandLine = "dir \\\\";
        host.Next();
        EXPECT_EQ(host.commandLine, "dir \\\\OMEGA\\");
        host.commandLine = "dir \\\\"; // a later search: the fault is spent
        host.Next();
        EXPECT_EQ(host.commandLine, "dir \\\\OMEGA\\");
    }
    ZpNetworkSetFault(ZpFaultAll, 0);
    ZpNetworkLoad(nullptr);
}

} // namespace

// A candidate holds 259 characters: on the NT family the bare server name, on the other
// the name with its two backslashes. A longer one is left out, and the list goes on.
TEST(NetworkLimits, AServerNameLongerThanACandidateIsLeftOutAndTheListGoesOn) {
    struct Case {
        const char* family;
        bool domainOnly; // the domain or workgroup; else the whole network
        size_t length;
        bool offered;
    } cases[] = {
        {"nt", true, 259, true},     {"nt", true, 260, false},     {"nt", false, 259, true},
        {"nt", false, 260, false},   {"other", true, 257, true},   {"other", true, 258, false},
        {"other", false, 257, true}, {"other", false, 258, false},
    };
    for (const Case& c : cases) {
        const std::string name(c.length, 'S');
        std::string json = R"({ "platform": ")" + std::string(c.family) + R"(",
          "workgroup": "LAN", "domain": "LAN",
          "providers": [ { "name": "Microsoft Windows Network",
            "domains": [ { "name": "LAN", "servers": [")" +
                           name + R"(", "OK"] } ] } ] })";
        ASSERT_EQ(ZpNetworkLoadText(json.c_str()), 0) << ZpNetworkError();
        TempTree fresh; // options start at their defaults
        HeadlessHost host;
        if (!c.domainOnly) host.Pick(CurrentDomainOnlyItem);
        // Two Tabs: the long name (where offered), then OK, which a long name before it
        // does not keep from the list.
        const std::string longLine = "dir \\\\" + name + "\\", ok = "dir \\\\OK\\";
        std::vector<std::string> lines;
        host.commandLine = "dir \\\\";
        for (int tab = 0; tab < 2; ++tab) {
            host.Next();
            lines.push_back(host.commandLine);
        }
        std::vector<std::string> expected = {c.offered ? longLine : ok, ok};
        EXPECT_EQ(lines, expected)
            << c.family << (c.domainOnly ? " domain " : " network ") << c.length;
    }
    ZpNetworkLoad(nullptr);
}
