// Server and share words on a machine without a network: every listing call fails
// (no network, no browser, listing not supported), so the commands leave the line as
// it was, whichever option picks the source, and the module goes on working.
#include <string>

#include "fixture.h"

using namespace winhost;

namespace {

class Network : public WindowsTest {};

TEST_F(Network, WithoutANetworkTheLineStaysAndTheModuleGoesOn) {
    folder.Add({"m1"});
    const char* const lines[] = {"dir \\\\al", "dir \\\\", "dir \\\\alpha\\d", "dir //alpha/d",
                                 "dir \\\\alpha\\share\\x"};
    // Each option picks another listing call for server or share words.
    const int32_t optionSets[][2] = {{-1, -1},
                                     {CurrentDomainOnlyItem, -1},
                                     {ShowHiddenSharesItem, -1},
                                     {CurrentDomainOnlyItem, ShowHiddenSharesItem}};
    for (const auto& options : optionSets) {
        WindowsHost host(hostRoot);
        for (int32_t option : options)
            if (option >= 0) host.Pick(option);
        for (const char* line : lines) {
            host.commandLine = line;
            host.Next();
            EXPECT_EQ(host.commandLine, line) << "next, options " << options[0] << options[1];
            host.menus.clear();
            host.List(0);
            EXPECT_EQ(host.commandLine, line) << "list, options " << options[0] << options[1];
            EXPECT_EQ(host.menus.size(), 1u) << line; // no list of candidates was shown
        }
        host.commandLine = "copy m";
        host.Next();
        EXPECT_EQ(host.commandLine, "copy m1");
    }
}

} // namespace
