// The network the test doubles serve: the same JSON file the Linux layer reads (named
// by ZARELIN_NETWORK), read again at every call that needs it, so that a test can
// point the variable at another file between two hosts. Names are UTF-16 here.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace doubles {

enum class ShareKind { Disk, Printer, Device, Ipc, Special };

struct Share {
    std::wstring name, remark;
    ShareKind kind = ShareKind::Disk;
};

struct Server {
    std::wstring name, comment;
    bool denied = false; // its share list is refused
    std::vector<Share> shares;
    DWORD delayMs = 0; // how long each of its answers takes: the file's "delay"
};

struct Domain {
    std::wstring name;
    std::vector<std::wstring> servers;
    DWORD delayMs = 0; // how long a listing of its servers takes
};

struct Provider {
    std::wstring name;
    std::vector<Domain> domains;
};

struct Network {
    std::wstring workgroup, domain;
    std::vector<Provider> providers;
    std::vector<Server> servers;

    // The server of that name, leading backslashes allowed, any case; null for none.
    // `listed` tells whether some domain names it (a server without shares).
    const Server* FindServer(const std::wstring& name, bool* listed = nullptr) const;
    const Provider* FindProvider(const std::wstring& name) const;
};

// The current file's network; null when the variable names none or it cannot be read.
std::shared_ptr<const Network> LoadNetwork();

// Holds the calling thread for a slow server's or domain's delay before it answers.
void WaitAsServer(DWORD delayMs);

// Names compare as Windows compares them: without regard to case.
bool SameName(const std::wstring& a, const std::wstring& b);

// Blocks the listing calls hand out, freed by NetApiBufferFree; the count of those not
// freed yet lets a test find a leak.
void* NewBlock(size_t bytes);
bool FreeBlock(void* block);
long OutstandingBlocks();

} // namespace doubles
