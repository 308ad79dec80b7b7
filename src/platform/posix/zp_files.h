// The host's side of the file search: drive letters and Windows-style paths.
//
// FindFirstFileA takes Windows-style paths in the console's OEM code page: '\' and
// '/' both separate, a drive letter stands for a root directory (C: is / until the
// host maps it elsewhere), \\server\share stands for the directory ZpShareDirectory
// names, and a path without a drive is taken from the process's current directory.
// A name that does not exist with the letter case given is looked up without regard
// to case, as Windows does.
#pragma once

#include "win32.h"

// Maps drive `letter` (A-Z, either case) to the absolute directory `dir` (UTF-8; it
// need not exist yet). A null or empty `dir` removes the drive. False, changing
// nothing, for another letter or a relative or overlong directory.
ZARELIN_PLATFORM_API bool ZpSetDriveRoot(char letter, const char* dir);

// Copies the root directory of drive `letter` into `out` of `outSize` bytes; false
// when the drive is not mapped or the directory does not fit.
ZARELIN_PLATFORM_API bool ZpDriveRoot(char letter, char* out, size_t outSize);

// Translates a Windows-style path (OEM code page) into the POSIX path (UTF-8) it
// stands for, as the file search does: "." and ".." are applied to the text, and each
// existing directory is found without regard to case (the rest is kept as written).
// False when the drive or share is not known or the path does not fit in `out`.
ZARELIN_PLATFORM_API bool ZpTranslatePath(const char* windowsPath, char* out, size_t outSize);

// The other way round, for showing a POSIX path (UTF-8, absolute or relative to the
// current directory) as the user of a Windows console sees it: "X:\dir\sub" in the OEM
// code page, under the drive with the longest root that holds it. False when no drive
// holds it or it does not fit in `out`.
ZARELIN_PLATFORM_API bool ZpWindowsPath(const char* posixPath, char* out, size_t outSize);

// The POSIX path (UTF-8) of the entry a FindFirstFileA search gave last, which its
// find data may name only by an 8.3 name or with '?' for characters the OEM page lacks:
// what the search found, for a host that opens it with POSIX calls. False for an entry
// of a real server's share, which has no local path, or when it does not fit in `out`.
ZARELIN_PLATFORM_API bool ZpFindPosixPath(HANDLE search, char* out, size_t outSize);

// Fault injection, for tests: replaces one of the calls the file search makes, by
// name, cast to ZpSystemCall. The calls and their signatures:
//   "open"     int (const char* path, int flags, unsigned mode)   (opening directories)
//   "readdir"  struct dirent* (DIR* stream)
// A null call puts that one's default back; a null name puts all of them back.
// Returns 0, or -1 for an unknown name.
typedef void (*ZpSystemCall)(void);
ZARELIN_PLATFORM_API int ZpFilesSetSystemCall(const char* name, ZpSystemCall call);
