// NETAPI32.DLL for the tests: NetServerEnum, NetShareEnum and NetApiBufferFree over the
// JSON network, with the records laid out by the platform's own headers, where Wine's
// are stubs. Built without NetApiBufferFree (ZARELIN_WITHOUT_BUFFER_FREE) it is the
// library a module must not use: a buffer it could not free would leak, so every
// call that reaches it is counted for the test to see.
#include <windows.h>
// After windows.h, whose types it uses.
#include <lm.h>

#include <cstddef>
#include <cstring>

#include "model.h"

using namespace doubles;

// The layouts the module reads: 12 and 8 bytes on 32-bit Windows.
#if defined(__i386__)
static_assert(sizeof(SHARE_INFO_1) == 12, "SHARE_INFO_1 is 12 bytes on 32-bit Windows");
static_assert(offsetof(SHARE_INFO_1, shi1_type) == 4 && offsetof(SHARE_INFO_1, shi1_remark) == 8,
              "SHARE_INFO_1: name, type, remark");
static_assert(sizeof(SERVER_INFO_100) == 8 && offsetof(SERVER_INFO_100, sv100_name) == 4,
              "SERVER_INFO_100: platform id, then the UTF-16 name");
#endif

namespace {

LONG calls = 0;

size_t WideBytes(const std::wstring& text) {
    return (text.size() + 1) * sizeof(WCHAR);
}

WCHAR* Put(BYTE*& strings, const std::wstring& text) {
    auto* at = reinterpret_cast<WCHAR*>(strings);
    std::memcpy(at, text.c_str(), WideBytes(text));
    strings += WideBytes(text);
    return at;
}

DWORD NtType(ShareKind kind) {
    switch (kind) {
    case ShareKind::Printer:
        return STYPE_PRINTQ;
    case ShareKind::Device:
        return STYPE_DEVICE;
    case ShareKind::Ipc:
        return STYPE_IPC | STYPE_SPECIAL; // IPC$ is the system's own
    case ShareKind::Special:
        return STYPE_DISKTREE | STYPE_SPECIAL;
    default:
        return STYPE_DISKTREE;
    }
}

} // namespace

extern "C" {

// Calls made to this library's listing functions, and their buffers not freed yet.
__declspec(dllexport) void WINAPI ZarelinDoubleStats(LONG* callCount, LONG* outstanding) {
    *callCount = calls;
    *outstanding = OutstandingBlocks();
}

__declspec(dllexport) NET_API_STATUS WINAPI
    NetServerEnum(LMCSTR server, DWORD level, LPBYTE* buffer, DWORD, LPDWORD read, LPDWORD total,
                  DWORD, LMCSTR domain, LPDWORD resume) {
    InterlockedIncrement(&calls);
    if (!buffer || !read || !total) return ERROR_INVALID_PARAMETER;
    *buffer = nullptr;
    *read = *total = 0;
    std::shared_ptr<const Network> net = LoadNetwork();
    if (!net) return ERROR_NO_NETWORK;
    if (level != 100) return ERROR_INVALID_LEVEL;
    if (server && *server) return ERROR_BAD_NETPATH; // only the local browser is asked
    std::wstring wanted = domain && *domain ? std::wstring(domain) : net->domain;
    const Domain* found = nullptr;
    for (const Provider& p : net->providers)
        for (const Domain& d : p.domains)
            if (!found && !wanted.empty() && SameName(d.name, wanted)) found = &d;
    if (!found) return ERROR_NO_BROWSER_SERVERS_FOUND;
    WaitAsServer(found->delayMs);

    size_t bytes = 0;
    for (const std::wstring& s : found->servers)
        bytes += sizeof(SERVER_INFO_100) + WideBytes(s);
    *buffer = static_cast<BYTE*>(NewBlock(bytes));
    if (!*buffer) return ERROR_NOT_ENOUGH_MEMORY;
    auto* records = reinterpret_cast<SERVER_INFO_100*>(*buffer);
    BYTE* strings = *buffer + found->servers.size() * sizeof(SERVER_INFO_100);
    for (const std::wstring& s : found->servers)
        *records++ = {PLATFORM_ID_NT, Put(strings, s)};
    *read = *total = static_cast<DWORD>(found->servers.size());
    if (resume) *resume = 0;
    return NERR_Success;
}

__declspec(dllexport) NET_API_STATUS WINAPI
    NetShareEnum(LMSTR server, DWORD level, LPBYTE* buffer, DWORD, LPDWORD read, LPDWORD total,
                 LPDWORD resume) {
    InterlockedIncrement(&calls);
    if (!buffer || !read || !total) return ERROR_INVALID_PARAMETER;
    *buffer = nullptr;
    *read = *total = 0;
    std::shared_ptr<const Network> net = LoadNetwork();
    if (!net) return ERROR_NO_NETWORK;
    if (level != 1) return ERROR_INVALID_LEVEL;
    if (!server || !*server) return NERR_Success; // this machine shares nothing
    bool listed = false;
    const Server* found = net->FindServer(server, &listed);
    if (found) WaitAsServer(found->delayMs);
    if (!found && !listed) return ERROR_BAD_NETPATH;
    if (found && found->denied) return ERROR_ACCESS_DENIED;
    if (!found || found->shares.empty()) return NERR_Success;

    size_t bytes = 0;
    for (const Share& s : found->shares)
        bytes += sizeof(SHARE_INFO_1) + WideBytes(s.name) + WideBytes(s.remark);
    *buffer = static_cast<BYTE*>(NewBlock(bytes));
    if (!*buffer) return ERROR_NOT_ENOUGH_MEMORY;
    auto* records = reinterpret_cast<SHARE_INFO_1*>(*buffer);
    BYTE* strings = *buffer + found->shares.size() * sizeof(SHARE_INFO_1);
    for (const Share& s : found->shares) {
        records->shi1_netname = Put(strings, s.name);
        records->shi1_type = NtType(s.kind);
        records->shi1_remark = Put(strings, s.remark);
        ++records;
    }
    *read = *total = static_cast<DWORD>(found->shares.size());
    if (resume) *resume = 0;
    return NERR_Success;
}

#ifndef ZARELIN_WITHOUT_BUFFER_FREE
__declspec(dllexport) NET_API_STATUS WINAPI NetApiBufferFree(LPVOID buffer) {
    if (!buffer) return NERR_Success;
    return FreeBlock(buffer) ? NERR_Success : ERROR_INVALID_PARAMETER;
}
#endif

} // extern "C"
