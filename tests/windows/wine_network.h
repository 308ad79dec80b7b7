// The network a Windows test gives the module: Wine's own mpr.dll with the test
// provider registered behind it, the test doubles of NETAPI32 and svrapi on the DLL
// search path, and shares mapped onto folders through the prefix's UNC links. All of
// them read one JSON network, the format the Linux layer reads.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace winhost {

// True when the program runs under Wine.
bool UnderWine();
// True when this program's DLL overrides (read by Wine at the process's start) take
// NETAPI32 and svrapi from files rather than Wine's own stubs.
bool DoublesOverridden();
// Writes those overrides and runs the program again with its arguments; its status.
int RunAgainWithDoubles();

// Puts the doubles' folder of this process's world on the DLL search path, before
// the module first loads NETAPI32 or svrapi (which it then keeps).
void UseDoubles();

// The world a test process was started for ("" for the first one): "other", a
// process that Wine tells it runs on the other platform family, or "partial", one
// whose NETAPI32 double lacks NetApiBufferFree. A test of another world skips.
std::string World();
// Runs the tests `filter` names in a process of `world`, with its output in this
// one's; the process's exit status.
int RunWorld(const std::string& world, const std::string& filter);

class WineNetwork {
  public:
    // Writes `json` into `folder` for the provider and doubles, and registers the
    // providers named in `providers` with mpr, in that order (each one of the file's).
    // mpr reads the registration when it loads, with the module: no module may be
    // loaded while a WineNetwork is made.
    WineNetwork(const std::string& folder, const std::string& json,
                const std::vector<std::string>& providers);
    ~WineNetwork(); // the registration and the mapped shares are removed
    WineNetwork(const WineNetwork&) = delete;
    WineNetwork& operator=(const WineNetwork&) = delete;

    // Maps \\server\share onto a folder holding `files` (a name ending in '\' is a
    // folder). False where the program runs outside Wine (no prefix to map in).
    bool MapShare(const std::string& server, const std::string& share,
                  const std::vector<std::string>& files);

  private:
    std::string savedOrder_;
    bool hadOrder_ = false;
    std::vector<std::string> mapped_; // the UNC folders made, for removal
};

// What the NETAPI32 double saw: calls to its listing functions, buffers not freed.
struct DoubleStats {
    long calls = -1, outstanding = -1; // -1: the double is not loaded
};
DoubleStats NetapiStats();

} // namespace winhost
