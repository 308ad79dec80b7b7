// The host's side of the network.
//
// The network (providers, their domains, the servers of each domain, each server's
// shares) is read from the JSON file named by $ZARELIN_NETWORK when a call first needs
// it, and again after ZpNetworkReload(). Without the variable, or without the file,
// there is no network: the enumeration and listing calls answer ERROR_NO_NETWORK, as on
// a machine without one. The file's format is described in docs/network.md; in short:
//
//   { "platform": "nt",             // or "other": the family GetVersionExA reports
//     "workgroup": "HOME",          // the registry's workgroup value (other family)
//     "domain": "CORP",             // the primary domain NetServerEnum lists
//     "providers": [ { "name": "Microsoft Windows Network",
//                      "domains": [ { "name": "CORP", "servers": ["ALPHA", "NAS"] } ] } ],
//     "servers": { "ALPHA": { "comment": "", "denied": false, "shares": [
//         { "name": "data", "type": "disk", "path": "dirs/data", "remark": "" },
//         { "name": "laser", "type": "printer" }, { "name": "C$", "type": "special" },
//         { "name": "IPC$", "type": "ipc" } ] },
//       "NAS": { "smb": { "address": "192.168.1.5", "port": 445, "timeout": 5000,
//                         "credentials": "nas.credentials" } } } }
//
// Every key is optional except the names; unknown keys are errors, so that a mistyped
// one is not silently ignored. Comments are allowed. Share types: "disk", "printer",
// "device", "ipc", "special" (an administrative disk share such as C$). A disk share's
// "path" is the local directory behind it, relative to the file's directory. A server
// named in a domain but not under "servers" has no shares; one under "servers" but in
// no domain is reachable by name without being listed. "denied": its share list is
// refused (ERROR_ACCESS_DENIED). "delay" on a server or a domain: milliseconds (0 to
// 60000) that each call answered by that server, or listing that domain's servers,
// waits before it answers, as a slow one would. A server with "smb" is real: its shares
// and the files in them come from the server at that address, through libsmbclient, as
// the guest account or as the user the credentials file names. Names are UTF-8 and compared
// without regard to case; the A calls hand them out in the ANSI code page (1252), the
// NETAPI32 calls in UTF-16.
#pragma once

#include "win32.h"

// Win32 codes the network calls answer that the module never names itself.
#ifndef ERROR_BAD_NET_NAME
#define ERROR_BAD_NET_NAME 67L
#endif
#ifndef ERROR_SEM_TIMEOUT
#define ERROR_SEM_TIMEOUT 121L
#endif
#ifndef ERROR_INVALID_LEVEL
#define ERROR_INVALID_LEVEL 124L
#endif
#ifndef ERROR_INVALID_ADDRESS
#define ERROR_INVALID_ADDRESS 487L
#endif
#ifndef ERROR_NOT_CONTAINER
#define ERROR_NOT_CONTAINER 1207L
#endif
#ifndef ERROR_NO_BROWSER_SERVERS_FOUND
#define ERROR_NO_BROWSER_SERVERS_FOUND 6118L
#endif
#ifndef RESOURCE_CONNECTED
#define RESOURCE_CONNECTED 1u
#define RESOURCE_REMEMBERED 3u
#endif
#ifndef PLATFORM_ID_NT
#define PLATFORM_ID_NT 500u
#endif

// A share-list entry of the other family's NetShareEnum (svrapi, information level 1):
// the name is at most 12 bytes, so longer names are left out of this form.
struct ZpShareInfo1Other {
    char shi1_netname[13];
    char shi1_pad1;
    unsigned short shi1_type;
    char* shi1_remark;
};

// Reads the network from the JSON file at `path` now, in place of the current one;
// relative share paths are taken from the file's directory. A null path: no network.
// Returns 0, or -1 with the reason in ZpNetworkError (then there is no network).
ZARELIN_PLATFORM_API int ZpNetworkLoad(const char* path);

// The same from JSON text; relative share paths start from the current directory.
ZARELIN_PLATFORM_API int ZpNetworkLoadText(const char* json);

// Reads $ZARELIN_NETWORK again now. Returns 0 when a network loaded or none is named,
// -1 when the named file could not be used. A malformed file is also reported on
// standard error, once per reading, as nobody else would see it.
ZARELIN_PLATFORM_API int ZpNetworkReload(void);

// Reads $ZARELIN_NETWORK if no network was read yet; 1 when there is a network, else
// 0. For the other layers whose answers depend on it (the registry's workgroup).
ZARELIN_PLATFORM_API int ZpNetworkReady(void);

// Why the last load failed, as "file:line: reason" or "file: key: reason"; empty after
// a load that succeeded. The text stays valid until the calling thread's next call.
ZARELIN_PLATFORM_API const char* ZpNetworkError(void);

// The local directory that stands for the share \\server\share, for the file search
// (a path such as \\server\share\dir\* lists that directory below it). Names are in
// UTF-8 and compared without regard to letter case. Copies the directory, zero-
// terminated, into `dir` of `dirSize` bytes (always an absolute path, made so when the
// network was loaded); false when the share is not a known disk
// share with a path (the search then fails as it does for an unreachable share) or
// the path did not fit.
ZARELIN_PLATFORM_API bool ZpShareDirectory(const char* server, const char* share, char* dir,
                                           size_t dirSize);

// Faults a test switches on, counted down as the calls they touch are made.
enum ZpNetworkFault {
    ZpFaultAll = 0,             // with ZpNetworkSetFault(ZpFaultAll, 0): every fault off
    ZpFaultBadProvider = 1,     // WNetOpenEnumA naming the provider "Microsoft Windows
                                // Network": ERROR_BAD_PROVIDER, as where it is missing
    ZpFaultMoreData = 2,        // WNetEnumResource: ERROR_MORE_DATA with the size the next
                                // entry needs, whatever the buffer's size
    ZpFaultShareListDenied = 3, // NetShareEnum, both forms: ERROR_ACCESS_DENIED
    ZpFaultNoNetShareEnum = 4,  // GetProcAddress finds no NetShareEnum in either library
};

// Makes `fault` hit the next `times` calls it touches (-1: every call, 0: none).
// Returns 0, or -1 for an unknown fault.
ZARELIN_PLATFORM_API int ZpNetworkSetFault(int fault, int times);

// Stand-ins for tests: replaces one of the libsmbclient calls through which real
// servers are read, by name, cast to ZpSystemCall. The calls, with libsmbclient's own
// signatures (libsmbclient.h):
//   "opendir"   SMBCFILE* (SMBCCTX* context, const char* url)    smbc_opendir_fn
//   "readdir"   struct smbc_dirent* (SMBCCTX* context, SMBCFILE* dir)
//   "closedir"  int (SMBCCTX* context, SMBCFILE* dir)
// The URL is "smb://host:port/" for the share list, "smb://host:port/share/dir" for a
// folder, with every byte but letters, digits, "-._~" and '/' escaped as %XX; a failed
// opendir leaves its reason in errno. While "opendir" is replaced no libsmbclient
// context is made and `context` is null, so replace the three together. A null call
// puts that one's default back; a null name puts all of them back. Returns 0, or -1
// for an unknown name.
typedef void (*ZpSystemCall)(void);
ZARELIN_PLATFORM_API int ZpSmbSetSystemCall(const char* name, ZpSystemCall call);
