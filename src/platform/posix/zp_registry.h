// The host's side of the registry store.
//
// The registry calls keep their keys and values in one text file,
// $XDG_CONFIG_HOME/zarelin/registry.txt (default ~/.config/zarelin/registry.txt), read
// again at every call and replaced whole at every write, so that hosts sharing the
// file see each other's values. The environment is read whenever a key is opened; a
// key handle stays with the file it was opened in.
#pragma once

#include "win32.h"

// The store file that a key opened now would use; empty when neither
// $XDG_CONFIG_HOME nor a home directory is known. The text stays valid until the
// calling thread's next call.
ZARELIN_PLATFORM_API const char* ZpRegistryPath(void);

// The machine's workgroup, answered for the value "Workgroup" of
// HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\VxD\VNETSUP when the store
// holds none. Null or empty: no workgroup, so the key is missing (as on the NT family).
ZARELIN_PLATFORM_API void ZpRegistrySetWorkgroup(const char* name);

// Fault injection, for tests: replaces one of the file calls the store makes, by
// name, cast to ZpSystemCall. The calls and their signatures:
//   "open"   int (const char* path, int flags, unsigned mode)
//   "read"   ssize_t (int fd, void* data, size_t size)
//   "write"  ssize_t (int fd, const void* data, size_t size)
//   "fsync"  int (int fd)
//   "rename" int (const char* from, const char* to)
// A null call puts that one's default back; a null name puts all of them back.
// Returns 0, or -1 for an unknown name.
typedef void (*ZpSystemCall)(void);
ZARELIN_PLATFORM_API int ZpRegistrySetSystemCall(const char* name, ZpSystemCall call);
