// No completion command holds the host past the bound under Wine's own layer: the
// provider behind mpr and the NETAPI32 double answer late for a slow server or
// domain, and the module's workers keep it loaded until they end.
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "fixture.h"
#include "sample_network.h"
#include "wine_network.h"

using namespace winhost;

namespace {

using Clock = std::chrono::steady_clock;

constexpr double Bound = 2.2; // the module's 2 s and scheduling slack, in seconds

const char* const SlowNetwork = R"({
  "platform": "nt", "domain": "SLOWDOM",
  "providers": [ { "name": "Microsoft Windows Network", "domains": [
      { "name": "SLOWDOM", "delay": @DELAY@, "servers": ["SLOW"] } ] } ],
  "servers": { "SLOW": { "delay": @DELAY@, "shares": [ { "name": "data" } ] } } })";

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

bool ModuleLoaded() {
    return GetModuleHandleA(ModulePath().c_str()) != nullptr;
}

class Bounded : public WindowsTest {
  protected:
    void Start(int delayMs) {
        network.reset();
        network = std::make_unique<WineNetwork>(
            folder.root(), Filled(SlowNetwork, {{"@DELAY@", std::to_string(delayMs)}}),
            std::vector<std::string>{"Microsoft Windows Network"});
    }
    void TearDown() override {
        network.reset();
        WindowsTest::TearDown();
    }
    // The module stays while a worker of its own still holds it, and goes when the last
    // one ends.
    static void ExpectWorkersEnd() {
        Clock::time_point start = Clock::now();
        while (ModuleLoaded() && Seconds(start) < 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(ModuleLoaded()) << "a worker never ended";
    }

    std::unique_ptr<WineNetwork> network;
};

TEST_F(Bounded, NoTabOnASlowServerOrDomainHoldsTheHostPastTheBound) {
    struct Case {
        const char* line;
        bool hiddenShares;
    } cases[] = {
        {"dir \\\\SLOW\\d", false}, // mpr and the provider, one share a read
        {"dir \\\\SLOW\\d", true},  // NetShareEnum
        {"dir \\\\", false},        // NetServerEnum of the domain
    };
    for (const Case& c : cases) {
        Start(2200);
        {
            WindowsHost host(hostRoot);
            if (c.hiddenShares) host.Pick(ShowHiddenSharesItem);
            host.commandLine = c.line;
            Clock::time_point start = Clock::now();
            host.Next();
            EXPECT_LT(Seconds(start), Bound) << c.line;
            EXPECT_EQ(host.commandLine, c.line);
        }
        // Unloaded by its host while a worker still waits: the code stays under it.
        EXPECT_TRUE(ModuleLoaded()) << c.line;
        ExpectWorkersEnd();
    }
}

// Every request answered after 1.2 s: the share list's open and first read take 2.4 s,
// so a later Tab completes, each within the bound.
TEST_F(Bounded, ASlowServerCompletesOnALaterTab) {
    Start(1200);
    {
        WindowsHost host(hostRoot);
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
