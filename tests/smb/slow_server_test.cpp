// A real server that answers every request late: smbd behind a stand-in that holds each
// packet 0.6 s either way, inside any timeout. Without a bound its share list takes
// about 6 s (at 1.2 s a packet, 11 s); with it no Tab holds the host past 2 s, and the
// listing completes on a later Tab.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "headless_host.h"
#include "standin.h"
#include "zp_network.h"

using namespace testhost;

namespace {

using Clock = std::chrono::steady_clock;

constexpr double Bound = 2.2; // the module's 2 s and scheduling slack, in seconds

TEST(SlowServer, EveryTabReturnsWithinTheBoundAndTheListCompletes) {
    const char* dir = std::getenv("ZARELIN_TEST_SMBD");
    std::string port;
    if (!dir || !(std::ifstream(std::string(dir) + "/port") >> port))
        GTEST_SKIP() << "no smbd running (see the smbd_start test's output)";
    StandIn slow({"slow", "600", port});
    std::string json = R"({"domain": "TESTS", "providers": [{"name": "Microsoft Windows Network",
        "domains": [{"name": "TESTS", "servers": ["SLOW"]}]}],
        "servers": {"SLOW": {"smb": {"address": "127.0.0.1", "timeout": 5000, "port": )" +
                       std::to_string(slow.port()) + "}}}}";
    ASSERT_EQ(ZpNetworkLoadText(json.c_str()), 0) << ZpNetworkError();
    {
        HeadlessHost host;
        host.commandLine = "dir \\\\SLOW\\da";
        for (int tab = 1; tab <= 12 && host.commandLine == "dir \\\\SLOW\\da"; ++tab) {
            Clock::time_point start = Clock::now();
            host.Next();
            EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), Bound)
                << "Tab " << tab;
        }
        EXPECT_EQ(host.commandLine, "dir \\\\SLOW\\data\\");
    }
    ZpNetworkLoad(nullptr);
}

} // namespace
