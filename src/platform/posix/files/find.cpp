// File search: FindFirstFileA, FindNextFileA and FindClose over POSIX directories and
// real servers' shares, with Windows-style paths, Windows wildcard rules and 8.3 names.
//
// A search holds the open folder and the compiled last component of its mask. Each
// call reads entries only until the next match: an entry costs one readdir, one
// conversion to the OEM code page and one match (two when its 8.3 name may match too),
// and a stat only when the directory does not tell what the entry is. Names are
// matched in the OEM form the caller sees, so a character the page lacks reads '?'
// and a '?' in the mask matches it.
#include <cstring>
#include <new>
#include <string>

#include "files/files.h"
#include "network/network.h"
#include "zp_codepage.h"
#include "zp_files.h"

namespace zp {

namespace {

constexpr DWORD FileAttributeNormal = 0x80; // a file with no other attribute

// What a search handle points to.
struct FileSearch {
    Folder folder;              // the directory being listed
    const unsigned char* upper; // the OEM upper-case table the pattern was built with
    Pattern pattern;            // the last component of the mask
    bool shortNamesMatch;       // whether the pattern can match an 8.3 name at all
    int delayMs;                // what each call waits: the delay of a share's server
    char name[MAX_PATH];        // the entry being examined, in the OEM code page
    std::string directory;      // the folder's POSIX path; empty on a real server's share
    std::string diskName;       // the name of the entry given last, as the folder holds it
};

// An 8.3 name holds its '~' within its first four characters: a pattern that starts
// with four literals none of which is '~' ("file*") matches none, and its search need
// not make them to test.
bool CanMatchShortNames(const Pattern& pattern) {
    for (int i = 0; i < 4; ++i)
        if (i >= pattern.prefix || pattern.literal[i] == '~') return true;
    return false;
}

FILETIME FileTimeOf(const struct timespec& t) {
    // 100-nanosecond ticks since 1601-01-01, the Windows epoch.
    long long seconds = static_cast<long long>(t.tv_sec) + 11644473600LL;
    unsigned long long ticks =
        seconds < 0 ? 0 : static_cast<unsigned long long>(seconds) * 10000000ULL + t.tv_nsec / 100;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

void Fill(FileSearch* search, const char* shortName, WIN32_FIND_DATAA* data) {
    std::memset(data, 0, sizeof *data);
    struct stat info;
    bool directory = search->folder.IsDirectory(&info);
    if (info.st_ino != 0) {
        // Size and times come only when the entry had to be asked for.
        data->ftCreationTime = FileTimeOf(info.st_ctim);
        data->ftLastAccessTime = FileTimeOf(info.st_atim);
        data->ftLastWriteTime = FileTimeOf(info.st_mtim);
        if (!directory) {
            unsigned long long size = static_cast<unsigned long long>(info.st_size);
            data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
            data->nFileSizeLow = static_cast<DWORD>(size);
        }
    }
    data->dwFileAttributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FileAttributeNormal;
    std::memcpy(data->cFileName, search->name, std::strlen(search->name) + 1);
    std::memcpy(data->cAlternateFileName, shortName, std::strlen(shortName) + 1);
}

bool IsDots(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Reads to the next entry whose name or 8.3 name matches and fills `data`; false at
// the end of the listing.
bool NextMatch(FileSearch* search, WIN32_FIND_DATAA* data) {
    while (const char* name = search->folder.Next()) {
        if (search->folder.HidesDots() && IsDots(name)) continue;
        char shortName[ShortNameSize];
        if (!IsWindowsName(name)) {
            // Known by its 8.3 name alone, which then has no other.
            ShortName(name, search->name);
            shortName[0] = '\0';
            if (!Matches(search->pattern, search->name, search->upper)) continue;
        } else if (!ZpUtf8ToOem(name, search->name, sizeof search->name)) {
            continue; // a name whose OEM form would not fit cFileName is skipped, never cut
        } else if (Matches(search->pattern, search->name, search->upper)) {
            ShortName(name, shortName);
        } else if (!search->shortNamesMatch || !ShortName(name, shortName) ||
                   !Matches(search->pattern, shortName, search->upper)) {
            continue;
        }
        search->diskName = name;
        Fill(search, shortName, data);
        return true;
    }
    return false;
}

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

bool IsSearch(HANDLE handle) {
    return handle && handle != INVALID_HANDLE_VALUE;
}

} // namespace

} // namespace zp

using namespace zp;

extern "C" {

HANDLE FindFirstFileA(const CHAR* mask, WIN32_FIND_DATAA* data) {
    if (!mask || !data) return Fail(ERROR_INVALID_PARAMETER);
    if (!*mask) return Fail(ERROR_PATH_NOT_FOUND);
    FileSearch* search = new (std::nothrow) FileSearch;
    if (!search) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    Location where;
    Component last;
    DWORD error = ResolvePath(mask, Lookup::Exact, true, &where, &last);
    if (error == ERROR_SUCCESS)
        error = last.length >= MAX_PATH ? ERROR_INVALID_NAME : search->folder.Open(where);
    if (error == ERROR_PATH_NOT_FOUND) {
        // Windows finds "C:\PROGRAM FILES" and "C:\PROGRA~1" as well as "C:\Program Files".
        error = ResolvePath(mask, Lookup::AnyCase, true, &where, &last);
        if (error == ERROR_SUCCESS) error = search->folder.Open(where);
    }
    // "dir\" names no entry.
    if (error == ERROR_SUCCESS && last.length == 0) error = ERROR_FILE_NOT_FOUND;
    search->delayMs = where.delayMs;
    WaitAsServer(search->delayMs);
    if (error != ERROR_SUCCESS) {
        delete search;
        return Fail(error);
    }
    if (!where.smb) search->directory = where.path.text;
    search->upper = ZpOemUpperTable();
    Compile(last, search->upper, &search->pattern);
    search->shortNamesMatch = CanMatchShortNames(search->pattern);
    if (!NextMatch(search, data)) {
        delete search;
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    return search;
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* data) {
    if (!IsSearch(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    FileSearch* search = static_cast<FileSearch*>(handle);
    WaitAsServer(search->delayMs);
    if (!NextMatch(search, data)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

bool ZpFindPosixPath(HANDLE handle, char* out, size_t outSize) {
    if (!out || !outSize) return false;
    out[0] = '\0';
    if (!IsSearch(handle)) return false;
    const FileSearch* search = static_cast<FileSearch*>(handle);
    if (search->directory.empty()) return false;
    Path path;
    if (!path.SetRoot(search->directory.c_str()) ||
        !path.Append(search->diskName.c_str(), search->diskName.size()) || path.length >= outSize)
        return false;
    std::memcpy(out, path.text, path.length + 1);
    return true;
}

BOOL FindClose(HANDLE handle) {
    if (!IsSearch(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete static_cast<FileSearch*>(handle);
    return TRUE;
}

} // extern "C"
