// The current network: read from the network file, swapped in whole, and the model
// backend that answers for the servers it describes itself.
//
// A file that cannot be used leaves no network, never half of one: the calls then
// answer as a machine without a network does, and the reason is kept for
// ZpNetworkError.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <thread>

#include "network/network.h"
#include "network/smb.h"
#include "zp_network.h"
#include "zp_registry.h"

namespace zp {

namespace {

namespace fs = std::filesystem;

// ----------------------------------------------------------------------------------
// The current network.

std::mutex networkLock;                 // guards the four below
bool networkRead = false;               // a network (or none) is in place
std::shared_ptr<const Network> current; // null: no network
std::string lastError;                  // why the last load failed; "" after one that worked
bool workgroupGiven = false;            // the registry answers the current network's workgroup

// Puts `net` (null for none) in place; the caller holds networkLock.
void Install(std::shared_ptr<const Network> net, std::string error) {
    current = std::move(net);
    lastError = std::move(error);
    networkRead = true;
    // Only the other family keeps its workgroup in the registry. A workgroup some other
    // layer set is left alone unless it was this network's.
    if (current && !current->nt && !current->workgroup.empty()) {
        ZpRegistrySetWorkgroup(current->workgroup.c_str());
        workgroupGiven = true;
    } else if (workgroupGiven) {
        ZpRegistrySetWorkgroup(nullptr);
        workgroupGiven = false;
    }
}

int LoadLocked(const char* path, bool report) {
    try {
        std::string text = ReadNetworkFile(path);
        Install(ParseNetwork(text, path, fs::absolute(path).parent_path().string()), "");
        return 0;
    } catch (const LoadError& e) {
        Install(nullptr, e.text);
    } catch (const std::exception& e) {
        Install(nullptr, std::string(path) + ": " + e.what());
    }
    if (report) std::fprintf(stderr, "zarelin: network: %s\n", lastError.c_str());
    return -1;
}

// The environment's file, or none. A named file that is missing is no network, as the
// variable's absence is, but the reason is kept.
int LoadFromEnvironmentLocked() {
    const char* path = std::getenv("ZARELIN_NETWORK");
    if (!path || !*path) {
        Install(nullptr, "");
        return 0;
    }
    if (access(path, R_OK) != 0) {
        Install(nullptr, std::string(path) + ": " + std::strerror(errno));
        return -1;
    }
    return LoadLocked(path, true);
}

std::atomic<int> faults[5]; // remaining hits of each ZpNetworkFault; -1: every call

} // namespace

std::shared_ptr<const Network> CurrentNetwork() {
    std::lock_guard<std::mutex> hold(networkLock);
    if (!networkRead) LoadFromEnvironmentLocked();
    return current;
}

bool FaultHits(int fault) {
    if (fault <= 0 || fault >= static_cast<int>(std::size(faults))) return false;
    int left = faults[fault].load();
    while (left != 0) {
        if (left < 0) return true;
        if (faults[fault].compare_exchange_weak(left, left - 1)) return true;
    }
    return false;
}

const Server* Network::FindServer(const std::u16string& name, bool* listed) const {
    size_t skip = name.find_first_not_of(u'\\');
    const std::u16string key = Fold(skip == std::u16string::npos ? u"" : name.substr(skip));
    if (listed) {
        *listed = false;
        for (const Provider& p : providers)
            for (const Domain& d : p.domains)
                *listed = *listed || Lists(d, key);
    }
    return FindKey(key);
}

const Server* Network::FindKey(const std::u16string& key) const {
    for (const Server& s : servers)
        if (s.key == key) return &s;
    return nullptr;
}

bool Network::Lists(const Domain& domain, const std::u16string& key) {
    for (const std::u16string& listed : domain.keys)
        if (listed == key) return true;
    return false;
}

// ----------------------------------------------------------------------------------
// The backends: the model answers for its own servers, the SMB backend for real ones.

void WaitAsServer(int delayMs) {
    if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
}

DWORD ServerShares(const Server& server, std::vector<Share>* shares) {
    if (server.smb) return server.smb->Shares(shares);
    *shares = server.shares;
    return ERROR_SUCCESS;
}

DWORD FindShareRoot(const std::string& server, const std::string& share, ShareRoot* root) {
    *root = ShareRoot{};
    std::shared_ptr<const Network> net = CurrentNetwork();
    const Server* found = net ? net->FindServer(Utf8ToWide(server)) : nullptr;
    if (!found) return ERROR_BAD_NETPATH;
    root->delayMs = found->delayMs;
    if (found->smb) {
        root->smb = found->smb;
        root->share = share;
        return ERROR_SUCCESS;
    }
    for (const Share& s : found->shares) {
        if (!SameName(Utf8ToWide(s.name), Utf8ToWide(share))) continue;
        if (s.path.empty()) return ERROR_BAD_NETPATH; // a printer or IPC$: no folder
        root->local = s.path;
        return ERROR_SUCCESS;
    }
    return ERROR_BAD_NET_NAME; // the server answers, the share is not there: as Windows
}

} // namespace zp

// ----------------------------------------------------------------------------------
// The host's side.

extern "C" {

int ZpNetworkLoad(const char* path) {
    std::lock_guard<std::mutex> hold(zp::networkLock);
    if (!path) {
        zp::Install(nullptr, "");
        return 0;
    }
    return zp::LoadLocked(path, false);
}

int ZpNetworkLoadText(const char* json) {
    std::lock_guard<std::mutex> hold(zp::networkLock);
    try {
        zp::Install(
            zp::ParseNetwork(json ? json : "", "<text>", std::filesystem::current_path().string()),
            "");
        return 0;
    } catch (const zp::LoadError& e) {
        zp::Install(nullptr, e.text);
    } catch (const std::exception& e) {
        zp::Install(nullptr, std::string("<text>: ") + e.what());
    }
    return -1;
}

int ZpNetworkReload(void) {
    std::lock_guard<std::mutex> hold(zp::networkLock);
    return zp::LoadFromEnvironmentLocked();
}

int ZpNetworkReady(void) {
    return zp::CurrentNetwork() != nullptr;
}

const char* ZpNetworkError(void) {
    thread_local std::string copy;
    std::lock_guard<std::mutex> hold(zp::networkLock);
    copy = zp::lastError;
    return copy.c_str();
}

int ZpNetworkSetFault(int fault, int times) {
    if (fault == ZpFaultAll) {
        if (times != 0) return -1;
        for (std::atomic<int>& f : zp::faults)
            f = 0;
        return 0;
    }
    if (fault < 0 || fault >= static_cast<int>(std::size(zp::faults))) return -1;
    zp::faults[fault] = times < 0 ? -1 : times;
    return 0;
}

bool ZpShareDirectory(const char* server, const char* share, char* dir, size_t dirSize) {
    if (dir && dirSize) dir[0] = '\0';
    if (!server || !share || !dir) return false;
    zp::ShareRoot root;
    if (zp::FindShareRoot(server, share, &root) != ERROR_SUCCESS || root.local.empty() ||
        root.local.size() >= dirSize)
        return false;
    std::memcpy(dir, root.local.c_str(), root.local.size() + 1);
    return true;
}

} // extern "C"
