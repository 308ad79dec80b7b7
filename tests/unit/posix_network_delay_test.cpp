// Slow servers and domains of the simulated network ("delay" in the network file):
// every call that one of them answers waits that long, and no other call waits.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/os.h"
#include "support/sample_network.h"
#include "zp_network.h"

namespace fs = std::filesystem;
using namespace zarelin;
using namespace testhost;

namespace {

constexpr long NoWait = 100; // far above a call that does not wait

template <typename Fn> Fn Proc(const char* library, const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(LoadLibraryA(library), name)));
}

long Ms(const std::function<void()>& call) {
    auto start = std::chrono::steady_clock::now();
    call();
    auto took = std::chrono::steady_clock::now() - start;
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count());
}

// Opens the enumeration below `remote` (a domain, or \\server); the time it took.
long OpenBelow(std::string remote, HANDLE* handle) {
    NETRESOURCEA container = {};
    container.dwUsage = RESOURCEUSAGE_CONTAINER;
    container.lpRemoteName = &remote[0];
    container.lpProvider = const_cast<char*>("Microsoft Windows Network");
    return Ms([&] {
        EXPECT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, 0, 0, &container, handle), 0u) << remote;
    });
}

// One read of the enumeration below `remote`; the time the read took.
long ReadBelow(const std::string& remote) {
    HANDLE handle = nullptr;
    OpenBelow(remote, &handle);
    alignas(NETRESOURCEA) char buffer[4096];
    DWORD count = 0xFFFFFFFF, size = sizeof buffer;
    long took = Ms([&] { EXPECT_EQ(WNetEnumResourceA(handle, &count, buffer, &size), 0u); });
    WNetCloseEnum(handle);
    return took;
}

std::u16string Wide(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

class SlowServers : public ::testing::Test {
  protected:
    void SetUp() override {
        char base[] = "/tmp/zarelin-delay-XXXXXX";
        ASSERT_NE(mkdtemp(base), nullptr);
        dir_ = base;
        std::ofstream(dir_ + "/a.txt") << "a";
        std::ofstream(dir_ + "/b.txt") << "b";
    }
    void TearDown() override {
        ZpNetworkLoad(nullptr);
        fs::remove_all(dir_);
    }

    int Load(const std::string& family) {
        std::string json = Filled(SlowNetwork, {{"@FAMILY@", family}, {"@PATH@", dir_}});
        return ZpNetworkLoadText(json.c_str());
    }

    std::string dir_;
};

TEST_F(SlowServers, EveryCallASlowServerOrDomainAnswersWaitsAndNoOtherDoes) {
    struct Case {
        const char* what;
        const char* family;
        bool domain;                                  // SLOWDOM and QUICK, else SLOW and FAST
        std::function<long(const std::string&)> call; // the time the call under test took
    } cases[] = {
        {"the enumeration of a server's shares opens", "nt", false,
         [](const std::string& s) {
             HANDLE handle = nullptr;
             long took = OpenBelow("\\\\" + s, &handle);
             WNetCloseEnum(handle);
             return took;
         }},
        {"each read of it", "nt", false,
         [](const std::string& s) { return ReadBelow("\\\\" + s); }},
        {"NetShareEnum", "nt", false,
         [](const std::string& s) {
             std::u16string server = Wide(s);
             BYTE* buffer = nullptr;
             DWORD read, total;
             auto shareEnum = Proc<NetShareEnumNtFn>("NETAPI32.DLL", "NetShareEnum");
             long took = Ms([&] {
                 EXPECT_EQ(shareEnum(&server[0], 1, &buffer, MAX_PREFERRED_LENGTH, &read, &total,
                                     nullptr),
                           0u);
             });
             Proc<NetApiBufferFreeFn>("NETAPI32.DLL", "NetApiBufferFree")(buffer);
             return took;
         }},
        {"the other family's NetShareEnum", "other", false,
         [](const std::string& s) {
             char buffer[1024];
             unsigned short read, total;
             auto shareEnum = Proc<NetShareEnumOtherFn>("svrapi.DLL", "NetShareEnum");
             return Ms([&] {
                 EXPECT_EQ(shareEnum(s.c_str(), 1, buffer, sizeof buffer, &read, &total), 0u);
             });
         }},
        {"FindFirstFileA in a share", "nt", false,
         [](const std::string& s) {
             WIN32_FIND_DATAA data;
             HANDLE search = INVALID_HANDLE_VALUE;
             long took =
                 Ms([&] { search = FindFirstFileA(("\\\\" + s + "\\data\\*").c_str(), &data); });
             EXPECT_NE(search, INVALID_HANDLE_VALUE);
             FindClose(search);
             return took;
         }},
        {"FindNextFileA in a share", "nt", false,
         [](const std::string& s) {
             WIN32_FIND_DATAA data;
             HANDLE search = FindFirstFileA(("\\\\" + s + "\\data\\*").c_str(), &data);
             long took = Ms([&] { EXPECT_TRUE(FindNextFileA(search, &data)); });
             FindClose(search);
             return took;
         }},
        {"NetServerEnum", "nt", true,
         [](const std::string& d) {
             std::u16string domain = Wide(d);
             BYTE* buffer = nullptr;
             DWORD read, total;
             auto serverEnum = Proc<NetServerEnumFn>("NETAPI32.DLL", "NetServerEnum");
             long took = Ms([&] {
                 EXPECT_EQ(serverEnum(nullptr, 100, &buffer, MAX_PREFERRED_LENGTH, &read, &total,
                                      SV_TYPE_ALL, domain.c_str(), nullptr),
                           0u);
             });
             Proc<NetApiBufferFreeFn>("NETAPI32.DLL", "NetApiBufferFree")(buffer);
             return took;
         }},
        {"the enumeration of a domain's servers opens", "nt", true,
         [](const std::string& d) {
             HANDLE handle = nullptr;
             long took = OpenBelow(d, &handle);
             WNetCloseEnum(handle);
             return took;
         }},
        {"each read of a domain's", "nt", true, [](const std::string& d) { return ReadBelow(d); }},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Load(c.family), 0) << ZpNetworkError();
        EXPECT_GE(c.call(c.domain ? "SLOWDOM" : "SLOW"),
                  c.domain ? SlowDomainDelay : SlowServerDelay)
            << c.what;
        EXPECT_LT(c.call(c.domain ? "QUICK" : "FAST"), NoWait) << c.what;
    }
}

} // namespace
