// svrapi.DLL for the tests: the other family's NetShareEnum over the JSON network, in
// the caller's buffer with 16-bit sizes and counts, the records laid out by the
// platform's own header. Wine's is a stub.
#include <windows.h>
#define _SVRAPI_ // this library defines them
#include <svrapi.h>

#include <cstddef>
#include <cstring>

#include "model.h"

using namespace doubles;

// The layout the module reads: 20 bytes on 32-bit Windows, the type at 14.
#if defined(__i386__)
static_assert(sizeof(share_info_1) == 20, "share_info_1 is 20 bytes on 32-bit Windows");
static_assert(offsetof(share_info_1, shi1_type) == 14 && offsetof(share_info_1, shi1_remark) == 16,
              "share_info_1: name[13], pad, type, remark");
#endif

namespace {

std::string Ansi(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &ansi[0], bytes, nullptr, nullptr);
    ansi.resize(std::strlen(ansi.c_str()));
    return ansi;
}

} // namespace

extern "C" {

__declspec(dllexport) API_RET_TYPE WINAPI
    NetShareEnum(const char* server, short level, char* buffer, unsigned short size,
                 unsigned short* read, unsigned short* total) {
    if (!read || !total || (!buffer && size)) return ERROR_INVALID_PARAMETER;
    *read = *total = 0;
    std::shared_ptr<const Network> net = LoadNetwork();
    if (!net) return ERROR_NO_NETWORK;
    if (level != 1) return ERROR_INVALID_LEVEL;
    if (!server || !*server) return NERR_Success;
    int units = MultiByteToWideChar(CP_ACP, 0, server, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, server, -1, &wide[0], units);
    wide.resize(wcslen(wide.c_str()));
    bool listed = false;
    const Server* found = net->FindServer(wide, &listed);
    if (found) WaitAsServer(found->delayMs);
    if (!found && !listed) return ERROR_BAD_NETPATH;
    if (found && found->denied) return ERROR_ACCESS_DENIED;
    if (!found) return NERR_Success;

    struct Listed {
        std::string name, remark;
        unsigned short type;
    };
    std::vector<Listed> shares;
    for (const Share& s : found->shares) {
        // No administrative shares in this family; a name longer than 12 bytes has no
        // form here and is left out, counts included.
        std::string name = Ansi(s.name);
        if (s.kind == ShareKind::Special || name.size() > LM20_NNLEN) continue;
        unsigned short type = s.kind == ShareKind::Printer  ? STYPE_PRINTQ
                              : s.kind == ShareKind::Device ? STYPE_DEVICE
                              : s.kind == ShareKind::Ipc    ? STYPE_IPC
                                                            : STYPE_DISKTREE;
        shares.push_back({name, Ansi(s.remark), type});
    }
    *total = static_cast<unsigned short>(shares.size());
    if (!buffer || !size) return shares.empty() ? NERR_Success : ERROR_MORE_DATA;

    size_t front = 0, back = size, n = 0;
    for (const Listed& s : shares) {
        if (back - front < sizeof(share_info_1) + s.remark.size() + 1) break;
        back -= s.remark.size() + 1;
        std::memcpy(buffer + back, s.remark.c_str(), s.remark.size() + 1);
        share_info_1 record = {};
        std::memcpy(record.shi1_netname, s.name.c_str(), s.name.size() + 1);
        record.shi1_type = s.type;
        record.shi1_remark = buffer + back;
        std::memcpy(buffer + front, &record, sizeof record);
        front += sizeof record;
        ++n;
    }
    *read = static_cast<unsigned short>(n);
    return n < shares.size() ? ERROR_MORE_DATA : NERR_Success;
}

} // extern "C"
