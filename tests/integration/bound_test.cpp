// No completion command holds the host past the bound, whatever the server does: a
// command is timed from the call of the entry point to its return, against a model
// server or domain that answers late and against real sockets that never answer.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "headless_host.h"
#include "sample_network.h"
#include "standin.h"
#include "temp_tree.h"
#include "zp_network.h"

using namespace testhost;

namespace {

using Clock = std::chrono::steady_clock;

constexpr double Bound = 2.2; // the module's 2 s and scheduling slack, in seconds

const char* const BrokenNetwork = R"({
  "platform": "@FAMILY@", "domain": "CORP", "workgroup": "CORP",
  "providers": [ { "name": "Microsoft Windows Network", "domains": [
      { "name": "CORP", "delay": @DELAY@, "servers": ["SLOW", "SILENT", "DROP"] } ] } ],
  "servers": {
    "SLOW": { "delay": @DELAY@, "shares": [ { "name": "data", "path": "@DATA@" } ] },
    "SILENT": { "smb": { "address": "127.0.0.1", "port": @SILENT@, "timeout": 2500 } },
    "DROP": { "smb": { "address": "127.0.0.1", "port": @DROP@, "timeout": 2500 } } } })";

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

class Bounded : public ::testing::Test {
  protected:
    void Load(const char* family, int delayMs) {
        tree.Add({"data/report.txt", "data/readme.md"});
        std::string json = Filled(BrokenNetwork, {{"@FAMILY@", family},
                                                  {"@DELAY@", std::to_string(delayMs)},
                                                  {"@DATA@", tree.root() + "/data"},
                                                  {"@SILENT@", std::to_string(silent.port())},
                                                  {"@DROP@", std::to_string(drop.port())}});
        ASSERT_EQ(ZpNetworkLoadText(json.c_str()), 0) << ZpNetworkError();
    }

    // After its host is gone, the module stays only while a worker still holds it:
    // every worker ends, and lets it go.
    static void ExpectWorkersEnd() {
        Clock::time_point start = Clock::now();
        while (HeadlessHost::ModuleLoaded() && Seconds(start) < 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(HeadlessHost::ModuleLoaded()) << "a worker never ended";
    }

    void TearDown() override { ZpNetworkLoad(nullptr); }

    TempTree tree;
    StandIn silent{{"silent"}};
    StandIn drop{{"drop"}};
};

TEST_F(Bounded, NoTabOnABrokenServerHoldsTheHostPastTheBound) {
    struct Case {
        const char* family;
        const char* line;
        bool hiddenShares;
    } cases[] = {
        {"nt", "dir \\\\SLOW\\d", false},          // the share list, one share a call
        {"nt", "dir \\\\SLOW\\d", true},           // the share list, whole
        {"other", "dir \\\\SLOW\\d", true},        // the other family's whole list
        {"nt", "type \\\\SLOW\\data\\r", false},   // a file in a share
        {"nt", "dir \\\\", false},                 // the domain's servers
        {"other", "dir \\\\", false},              // the workgroup, one server a call
        {"nt", "dir \\\\SILENT\\", false},         // takes the connection, never answers
        {"nt", "type \\\\SILENT\\data\\r", false}, //
        {"nt", "dir \\\\DROP\\", false},           // the connection never completes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.family) + " '" + c.line + "'" +
                     (c.hiddenShares ? " hidden" : ""));
        Load(c.family, 2200);
        {
            HeadlessHost host;
            if (c.hiddenShares) host.Pick(ShowHiddenSharesItem);
            host.commandLine = c.line;
            Clock::time_point start = Clock::now();
            host.Next();
            EXPECT_LT(Seconds(start), Bound);
            EXPECT_EQ(host.commandLine, c.line);
            EXPECT_EQ(host.beeps(), 1u);
            // Unloaded while the worker still waits: the module must stay until it ends.
        }
        EXPECT_TRUE(HeadlessHost::ModuleLoaded());
        ExpectWorkersEnd();
    }
}

// A server that answers every request after 1.2 s, each inside any timeout: opening the
// share list and reading its first entry take 2.4 s, so the second Tab completes.
TEST_F(Bounded, ASlowServerCompletesOnALaterTabEachWithinTheBound) {
    Load("nt", 1200);
    {
        HeadlessHost host;
        host.commandLine = "dir \\\\SLOW\\d";
        for (int tab = 1; tab <= 3 && host.commandLine == "dir \\\\SLOW\\d"; ++tab) {
            Clock::time_point start = Clock::now();
            host.Next();
            EXPECT_LT(Seconds(start), Bound) << "Tab " << tab;
        }
        EXPECT_EQ(host.commandLine, "dir \\\\SLOW\\data\\");
    }
    ExpectWorkersEnd();
}

} // namespace
