// The Win32 subset the module is written against: on Windows, the system's own headers.
#pragma once

#include <windows.h>

// NETAPI32 records, declared here so that the module needs no lm*.h headers and the
// layout is visibly the one the Net* calls fill.
struct SERVER_INFO_100 {
    DWORD sv100_platform_id;
    WCHAR* sv100_name;
};

struct SHARE_INFO_1 {
    WCHAR* shi1_netname;
    DWORD shi1_type;
    WCHAR* shi1_remark;
};

#ifndef STYPE_DISKTREE
#define STYPE_DISKTREE 0u
#define STYPE_PRINTQ 1u
#define STYPE_DEVICE 2u
#define STYPE_IPC 3u
#define STYPE_SPECIAL 0x80000000u
#endif
#ifndef SV_TYPE_ALL
#define SV_TYPE_ALL 0xFFFFFFFFu
#endif
#ifndef MAX_PREFERRED_LENGTH
#define MAX_PREFERRED_LENGTH ((DWORD)-1)
#endif
#ifndef NERR_Success
#define NERR_Success 0
#endif
