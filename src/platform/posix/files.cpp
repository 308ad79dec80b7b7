// File search: FindFirstFileA, FindNextFileA and FindClose over a POSIX directory tree,
// with Windows-style paths and Windows wildcard rules.
//
// A search holds the open directory and the compiled last component of its mask. Each
// call reads entries only until the next match: an entry costs one readdir, one
// conversion to the OEM code page and one match, and a stat only when the directory
// does not tell what the entry is. Names are matched in the OEM form the caller sees,
// so a character the page lacks reads '?' and a '?' in the mask matches it.
#include "win32.h"
#include "zp_codepage.h"
#include "zp_files.h"
#include "zp_network.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

namespace {

constexpr DWORD FileAttributeNormal = 0x80; // a file with no other attribute
constexpr DWORD ErrorTooManyOpenFiles = 4;
constexpr int OpenDirectory = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// ---- System calls that tests may replace ----------------------------------------

using OpenCall = int (*)(const char* path, int flags, unsigned mode);
using ReaddirCall = struct dirent* (*)(DIR* stream);

int StandardOpen(const char* path, int flags, unsigned mode) {
    return ::open(path, flags, mode);
}

struct SystemCall {
    const char* name;      // as ZpFilesSetSystemCall knows it
    ZpSystemCall current;  // what the search calls
    ZpSystemCall standard; // the system's own
};

SystemCall systemCalls[] = {
    {"open", reinterpret_cast<ZpSystemCall>(StandardOpen),
     reinterpret_cast<ZpSystemCall>(StandardOpen)},
    {"readdir", reinterpret_cast<ZpSystemCall>(::readdir),
     reinterpret_cast<ZpSystemCall>(::readdir)},
};

int OpenDir(const char* path) {
    return reinterpret_cast<OpenCall>(systemCalls[0].current)(path, OpenDirectory, 0);
}

struct dirent* ReadDir(DIR* stream) {
    return reinterpret_cast<ReaddirCall>(systemCalls[1].current)(stream);
}

// The Win32 error for a directory that could not be opened.
DWORD ErrorFromErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE:
        return ErrorTooManyOpenFiles;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default: // ENOENT, ENOTDIR, ELOOP, ENAMETOOLONG: no such directory to Windows
        return ERROR_PATH_NOT_FOUND;
    }
}

// ---- Drives --------------------------------------------------------------------

std::mutex drivesLock;                      // guards driveRoots
std::string driveRoots[26] = {"", "", "/"}; // per letter A-Z; empty: no such drive

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int DriveIndex(char letter) {
    return IsAsciiLetter(letter) ? (letter | 0x20) - 'a' : -1;
}

// Whether directory `root` (normalized: no trailing '/' but for "/" itself) holds `path`.
bool Holds(const std::string& root, const char* path) {
    if (root == "/") return path[0] == '/';
    return std::strncmp(path, root.c_str(), root.size()) == 0 &&
           (path[root.size()] == '/' || path[root.size()] == '\0');
}

// The drive whose root holds `path` most closely, or -1. Called under drivesLock.
int DriveHolding(const char* path) {
    int best = -1;
    for (int i = 0; i < 26; ++i)
        if (!driveRoots[i].empty() && Holds(driveRoots[i], path) &&
            (best < 0 || driveRoots[i].size() > driveRoots[best].size()))
            best = i;
    return best;
}

// Windows lists no "." or ".." in the root of a drive.
bool IsDriveRoot(int fd) {
    struct stat directory;
    if (fstat(fd, &directory) != 0) return false;
    std::lock_guard<std::mutex> hold(drivesLock);
    for (const std::string& root : driveRoots) {
        struct stat rootStat;
        if (!root.empty() && stat(root.c_str(), &rootStat) == 0 &&
            rootStat.st_dev == directory.st_dev && rootStat.st_ino == directory.st_ino)
            return true;
    }
    return false;
}

// ---- Paths ---------------------------------------------------------------------

// A POSIX path under construction in a fixed buffer; ".." never climbs above the root
// it started from (a drive's or a share's), as on Windows.
struct Path {
    char text[PATH_MAX]; // always terminated
    size_t length = 0;   // of text
    size_t floor = 0;    // length of the root part

    bool Set(const char* path) {
        size_t n = std::strlen(path);
        if (n >= sizeof text) return false;
        std::memcpy(text, path, n + 1);
        length = n;
        return true;
    }

    bool SetRoot(const char* root) {
        if (!Set(root)) return false;
        floor = length;
        return true;
    }

    bool Append(const char* name, size_t n) {
        size_t slash = text[length - 1] == '/' ? 0 : 1;
        if (length + slash + n >= sizeof text) return false;
        if (slash) text[length++] = '/';
        std::memcpy(text + length, name, n);
        length += n;
        text[length] = '\0';
        return true;
    }

    void Up() {
        if (length <= floor) return;
        size_t slash = length;
        while (slash > 0 && text[slash - 1] != '/')
            --slash;
        length = slash > floor + 1 ? slash - 1 : floor;
        text[length] = '\0';
    }
};

// Where a path without a share starts: the root its drive letter or leading separator
// names, or the current directory. `rest` is left at what follows the drive.
DWORD ResolveBase(const char* windowsPath, Path* path, const char** rest) {
    int letter = windowsPath[1] == ':' ? DriveIndex(windowsPath[0]) : -1;
    *rest = letter >= 0 ? windowsPath + 2 : windowsPath;
    bool relative = !IsSeparator(**rest);
    // "\dir" needs the current directory too: it is on the current drive.
    char cwd[PATH_MAX];
    bool haveCwd = (relative || letter < 0) && getcwd(cwd, sizeof cwd) != nullptr;
    std::lock_guard<std::mutex> hold(drivesLock);
    if (letter >= 0) {
        const std::string& root = driveRoots[letter];
        if (root.empty() || !path->SetRoot(root.c_str())) return ERROR_PATH_NOT_FOUND;
        // "C:name" is relative to the drive's current directory: the process's, when it
        // lies on that drive.
        if (relative && haveCwd && Holds(root, cwd)) path->Set(cwd);
        return ERROR_SUCCESS;
    }
    int drive = haveCwd ? DriveHolding(cwd) : -1;
    if (!path->SetRoot(drive >= 0 ? driveRoots[drive].c_str() : "/")) return ERROR_PATH_NOT_FOUND;
    if (!relative) return ERROR_SUCCESS;
    return haveCwd && path->Set(cwd) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
}

// Where \\server\share leads, through the network layer.
DWORD ResolveShare(const char* windowsPath, Path* path, const char** rest) {
    const char* server = windowsPath + 2;
    size_t serverLength = std::strcspn(server, "\\/");
    const char* share = server + serverLength + (server[serverLength] ? 1 : 0);
    size_t shareLength = std::strcspn(share, "\\/");
    if (!serverLength || !shareLength || serverLength >= MAX_PATH || shareLength >= MAX_PATH)
        return ERROR_BAD_NETPATH;
    char oem[MAX_PATH];
    char serverName[MAX_PATH * 3];
    char shareName[MAX_PATH * 3];
    std::memcpy(oem, server, serverLength);
    oem[serverLength] = '\0';
    ZpOemToUtf8(oem, serverName, sizeof serverName);
    std::memcpy(oem, share, shareLength);
    oem[shareLength] = '\0';
    ZpOemToUtf8(oem, shareName, sizeof shareName);
    char directory[PATH_MAX];
    if (!ZpShareDirectory(serverName, shareName, directory, sizeof directory) ||
        directory[0] != '/' || !path->SetRoot(directory))
        return ERROR_BAD_NETPATH;
    while (path->length > 1 && path->text[path->length - 1] == '/')
        path->text[--path->length] = '\0';
    path->floor = path->length;
    *rest = share + shareLength;
    return ERROR_SUCCESS;
}

// Whether `oem`, `length` bytes, equals the zero-terminated `name` without regard to case.
bool SameName(const char* name, const char* oem, size_t length, const unsigned char* upper) {
    for (size_t i = 0; i < length; ++i)
        if (!name[i] ||
            upper[static_cast<unsigned char>(name[i])] != upper[static_cast<unsigned char>(oem[i])])
            return false;
    return name[length] == '\0';
}

// Appends the entry of directory `path` whose OEM name is `oem` without regard to case.
bool AppendAnyCase(Path* path, const char* oem, size_t length) {
    int fd = OpenDir(path->text);
    if (fd < 0) return false;
    DIR* stream = fdopendir(fd);
    if (!stream) {
        close(fd);
        return false;
    }
    const unsigned char* upper = ZpOemUpperTable();
    char name[MAX_PATH];
    bool found = false;
    while (struct dirent* entry = ReadDir(stream)) {
        if (ZpUtf8ToOem(entry->d_name, name, sizeof name) && SameName(name, oem, length, upper)) {
            found = path->Append(entry->d_name, std::strlen(entry->d_name));
            break;
        }
    }
    closedir(stream);
    return found;
}

enum class Lookup {
    Exact,        // as written
    AnyCase,      // each directory found without regard to case; a missing one fails
    AnyCaseOrKeep // the same, but from a missing directory on the rest is kept as written
};

struct Component {
    const char* text; // OEM, not terminated
    size_t length;
};

// Translates a Windows-style path into `path`. With `splitLast`, the last component
// is not looked up but handed back in `last` (the search's pattern). "." and ".." are
// applied to the text first, as Windows does, so "missing\..\x" is "x".
DWORD ResolvePath(const char* windowsPath, Lookup lookup, bool splitLast, Path* path,
                  Component* last) {
    const char* rest;
    DWORD error = IsSeparator(windowsPath[0]) && IsSeparator(windowsPath[1])
                      ? ResolveShare(windowsPath, path, &rest)
                      : ResolveBase(windowsPath, path, &rest);
    if (error != ERROR_SUCCESS) return error;

    constexpr int MaxComponents = 256;
    Component components[MaxComponents];
    int count = 0;
    for (;;) {
        size_t n = std::strcspn(rest, "\\/");
        bool final = rest[n] == '\0';
        if (final && splitLast) {
            *last = {rest, n};
            break;
        }
        if (n == 2 && rest[0] == '.' && rest[1] == '.') {
            if (count)
                --count;
            else
                path->Up();
        } else if (n && !(n == 1 && rest[0] == '.')) {
            if (count == MaxComponents) return ERROR_PATH_NOT_FOUND;
            components[count++] = {rest, n};
        }
        if (final) break;
        rest += n + 1;
    }

    bool missing = false; // a directory was not found: the rest is taken as written
    for (int i = 0; i < count; ++i) {
        const Component& c = components[i];
        if (c.length >= MAX_PATH) return ERROR_INVALID_NAME;
        char oem[MAX_PATH];
        char utf8[MAX_PATH * 3];
        std::memcpy(oem, c.text, c.length);
        oem[c.length] = '\0';
        ZpOemToUtf8(oem, utf8, sizeof utf8);
        size_t utf8Length = std::strlen(utf8);
        if (!path->Append(utf8, utf8Length)) return ERROR_PATH_NOT_FOUND;
        struct stat info;
        if (lookup == Lookup::Exact || missing || stat(path->text, &info) == 0 || errno != ENOENT)
            continue;
        path->Up();
        if (AppendAnyCase(path, c.text, c.length)) continue;
        if (lookup == Lookup::AnyCase) return ERROR_PATH_NOT_FOUND;
        missing = true;
        if (!path->Append(utf8, utf8Length)) return ERROR_PATH_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

// ---- Patterns ------------------------------------------------------------------

// Elements of a compiled mask. Windows rewrites a mask before matching, so that DOS
// habits keep working: '?' before a dot or at the end matches nothing as well as one
// character ("a?" finds "a"), "*." finds names without a dot, and "x.*" finds "x".
enum Element : unsigned char {
    Literal, // one character, compared without regard to case
    Star,    // any characters
    DosStar, // '*' before '.': any characters but the name's last dot
    DosQm,   // '?': one character other than a dot; nothing at a dot or the end
    DosDot,  // '.' before a wildcard or the end: a dot, or nothing at the end
};

struct Pattern {
    unsigned char kind[MAX_PATH];    // Element of each position
    unsigned char literal[MAX_PATH]; // the upper-cased character of a Literal
    int length;                      // elements used
    int prefix;                      // leading Literals, checked before the full match
};

void Compile(const Component& mask, const unsigned char* upper, Pattern* pattern) {
    int prefix = -1;
    for (size_t i = 0; i < mask.length; ++i) {
        char c = mask.text[i];
        char next = i + 1 < mask.length ? mask.text[i + 1] : '\0';
        unsigned char kind = Literal;
        if (c == '?')
            kind = DosQm;
        else if (c == '*')
            kind = next == '.' ? DosStar : Star;
        else if (c == '.' && (next == '?' || next == '*' || next == '\0'))
            kind = DosDot;
        pattern->kind[i] = kind;
        pattern->literal[i] = upper[static_cast<unsigned char>(c)];
        if (kind != Literal && prefix < 0) prefix = static_cast<int>(i);
    }
    pattern->length = static_cast<int>(mask.length);
    pattern->prefix = prefix < 0 ? pattern->length : prefix;
}

// Adds to `states` the elements reachable without reading a character, at a position
// whose character is `c` (or the end of the name).
void Advance(const Pattern& pattern, bool* states, bool atEnd, unsigned char c) {
    for (int i = 0; i < pattern.length; ++i) {
        if (!states[i]) continue;
        switch (pattern.kind[i]) {
        case Star:
        case DosStar:
            states[i + 1] = true;
            break;
        case DosQm:
            if (atEnd || c == '.') states[i + 1] = true;
            break;
        case DosDot:
            if (atEnd) states[i + 1] = true;
            break;
        }
    }
}

// Whether an OEM name matches: the mask's elements run as a set of states, one step per
// character, so no name costs more than its length times the mask's.
bool Matches(const Pattern& pattern, const char* text, const unsigned char* upper) {
    const unsigned char* name = reinterpret_cast<const unsigned char*>(text);
    int prefix = pattern.prefix;
    for (int i = 0; i < prefix; ++i)
        if (!name[i] || upper[name[i]] != pattern.literal[i]) return false;
    int length = prefix + static_cast<int>(std::strlen(text + prefix));
    if (prefix == pattern.length) return length == prefix;
    const unsigned char* lastDot =
        reinterpret_cast<const unsigned char*>(std::strrchr(text + prefix, '.'));

    bool states[MAX_PATH + 1] = {};
    bool next[MAX_PATH + 1];
    states[prefix] = true;
    Advance(pattern, states, prefix == length, name[prefix]);
    for (int k = prefix; k < length; ++k) {
        unsigned char c = name[k];
        bool any = false;
        std::memset(next, 0, pattern.length + 1);
        for (int i = 0; i < pattern.length; ++i) {
            if (!states[i]) continue;
            switch (pattern.kind[i]) {
            case Literal:
                if (upper[c] == pattern.literal[i]) any = next[i + 1] = true;
                break;
            case Star:
                any = next[i] = true;
                break;
            case DosStar:
                if (name + k != lastDot) any = next[i] = true;
                break;
            case DosQm:
                if (c != '.') any = next[i + 1] = true;
                break;
            case DosDot:
                if (c == '.') any = next[i + 1] = true;
                break;
            }
        }
        if (!any) return false;
        Advance(pattern, next, k + 1 == length, name[k + 1]);
        std::memcpy(states, next, pattern.length + 1);
    }
    return states[pattern.length];
}

// ---- Searches ------------------------------------------------------------------

// What a search handle points to.
struct FileSearch {
    DIR* stream;                // the directory; null once the listing has ended
    bool hideDots;              // a drive root: no "." or ".."
    const unsigned char* upper; // the OEM upper-case table the pattern was built with
    Pattern pattern;            // the last component of the mask
    char name[MAX_PATH];        // the entry being examined, in the OEM code page
};

FILETIME FileTimeOf(const struct timespec& t) {
    // 100-nanosecond ticks since 1601-01-01, the Windows epoch.
    long long seconds = static_cast<long long>(t.tv_sec) + 11644473600LL;
    unsigned long long ticks =
        seconds < 0 ? 0 : static_cast<unsigned long long>(seconds) * 10000000ULL + t.tv_nsec / 100;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

void Fill(FileSearch* search, const struct dirent* entry, WIN32_FIND_DATAA* data) {
    std::memset(data, 0, sizeof *data);
    bool directory = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
        // A link is what it points to; a dangling or looping link, or an entry removed
        // since, is a file. Size and times come only with this stat.
        struct stat info;
        if (fstatat(dirfd(search->stream), entry->d_name, &info, 0) == 0) {
            directory = S_ISDIR(info.st_mode);
            data->ftCreationTime = FileTimeOf(info.st_ctim);
            data->ftLastAccessTime = FileTimeOf(info.st_atim);
            data->ftLastWriteTime = FileTimeOf(info.st_mtim);
            if (!directory) {
                unsigned long long size = static_cast<unsigned long long>(info.st_size);
                data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
                data->nFileSizeLow = static_cast<DWORD>(size);
            }
        } else {
            directory = false;
        }
    }
    data->dwFileAttributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FileAttributeNormal;
    std::memcpy(data->cFileName, search->name, std::strlen(search->name) + 1);
}

bool IsDots(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Reads to the next matching entry and fills `data`; false at the end of the listing,
// which also releases the directory.
bool NextMatch(FileSearch* search, WIN32_FIND_DATAA* data) {
    while (search->stream) {
        struct dirent* entry = ReadDir(search->stream);
        if (!entry) {
            // The end, or a read error (such as a directory removed meanwhile): the
            // listing ends cleanly either way.
            closedir(search->stream);
            search->stream = nullptr;
            break;
        }
        if (search->hideDots && IsDots(entry->d_name)) continue;
        // A name whose OEM form would not fit cFileName is skipped, never cut.
        if (!ZpUtf8ToOem(entry->d_name, search->name, sizeof search->name)) continue;
        if (!Matches(search->pattern, search->name, search->upper)) continue;
        Fill(search, entry, data);
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

// Normalizes a drive root: absolute, no trailing '/', and with links resolved when it
// exists, so that it compares with the current directory getcwd reports.
bool NormalizeRoot(const char* dir, std::string* root) {
    if (dir[0] != '/' || std::strlen(dir) >= PATH_MAX) return false;
    char resolved[PATH_MAX];
    *root = realpath(dir, resolved) ? resolved : dir;
    while (root->size() > 1 && root->back() == '/')
        root->pop_back();
    return true;
}

} // namespace

extern "C" {

HANDLE FindFirstFileA(const CHAR* mask, WIN32_FIND_DATAA* data) {
    if (!mask || !data) return Fail(ERROR_INVALID_PARAMETER);
    if (!*mask) return Fail(ERROR_PATH_NOT_FOUND);
    Path directory;
    Component last;
    DWORD error = ResolvePath(mask, Lookup::Exact, true, &directory, &last);
    if (error != ERROR_SUCCESS) return Fail(error);
    if (last.length >= MAX_PATH) return Fail(ERROR_INVALID_NAME);
    int fd = OpenDir(directory.text);
    if (fd < 0 && errno == ENOENT) {
        // Windows finds "C:\PROGRAM FILES" as well as "C:\Program Files".
        error = ResolvePath(mask, Lookup::AnyCase, true, &directory, &last);
        if (error != ERROR_SUCCESS) return Fail(error);
        fd = OpenDir(directory.text);
    }
    if (fd < 0) return Fail(ErrorFromErrno(errno));
    if (last.length == 0) {
        // "dir\" names no entry.
        close(fd);
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    FileSearch* search = new (std::nothrow) FileSearch;
    DIR* stream = search ? fdopendir(fd) : nullptr;
    if (!stream) {
        error = search ? ErrorFromErrno(errno) : ERROR_NOT_ENOUGH_MEMORY;
        close(fd);
        delete search;
        return Fail(error);
    }
    search->stream = stream;
    search->hideDots = IsDriveRoot(fd);
    search->upper = ZpOemUpperTable();
    Compile(last, search->upper, &search->pattern);
    if (!NextMatch(search, data)) {
        FindClose(search);
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
    if (!NextMatch(static_cast<FileSearch*>(handle), data)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL FindClose(HANDLE handle) {
    if (!IsSearch(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    FileSearch* search = static_cast<FileSearch*>(handle);
    if (search->stream) closedir(search->stream);
    delete search;
    return TRUE;
}

bool ZpSetDriveRoot(char letter, const char* dir) {
    int drive = DriveIndex(letter);
    if (drive < 0) return false;
    std::string root;
    if (dir && *dir && !NormalizeRoot(dir, &root)) return false;
    std::lock_guard<std::mutex> hold(drivesLock);
    driveRoots[drive] = root;
    return true;
}

bool ZpDriveRoot(char letter, char* out, size_t outSize) {
    int drive = DriveIndex(letter);
    if (!out || !outSize) return false;
    out[0] = '\0';
    std::lock_guard<std::mutex> hold(drivesLock);
    if (drive < 0 || driveRoots[drive].empty() || driveRoots[drive].size() >= outSize) return false;
    std::memcpy(out, driveRoots[drive].c_str(), driveRoots[drive].size() + 1);
    return true;
}

bool ZpTranslatePath(const char* windowsPath, char* out, size_t outSize) {
    if (!out || !outSize) return false;
    out[0] = '\0';
    if (!windowsPath || !*windowsPath) return false;
    Path path;
    if (ResolvePath(windowsPath, Lookup::AnyCaseOrKeep, false, &path, nullptr) != ERROR_SUCCESS ||
        path.length >= outSize)
        return false;
    std::memcpy(out, path.text, path.length + 1);
    return true;
}

bool ZpWindowsPath(const char* posixPath, char* out, size_t outSize) {
    if (!out || !outSize) return false;
    out[0] = '\0';
    if (!posixPath || !*posixPath) return false;
    Path path;
    if (posixPath[0] == '/') {
        path.SetRoot("/");
    } else {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd)) return false;
        path.SetRoot("/");
        path.Set(cwd);
    }
    for (const char* p = posixPath; *p;) {
        size_t n = std::strcspn(p, "/");
        if (n == 2 && p[0] == '.' && p[1] == '.')
            path.Up();
        else if (n && !(n == 1 && p[0] == '.') && !path.Append(p, n))
            return false;
        p += n;
        while (*p == '/')
            ++p;
    }
    char windows[PATH_MAX + 3];
    {
        std::lock_guard<std::mutex> hold(drivesLock);
        int drive = DriveHolding(path.text);
        if (drive < 0) return false;
        const std::string& root = driveRoots[drive];
        const char* below = path.text + (root == "/" ? 0 : root.size());
        windows[0] = static_cast<char>('A' + drive);
        windows[1] = ':';
        std::strcpy(windows + 2, *below ? below : "/");
    }
    for (char* p = windows; *p; ++p)
        if (*p == '/') *p = '\\';
    return ZpUtf8ToOem(windows, out, outSize);
}

int ZpFilesSetSystemCall(const char* name, ZpSystemCall call) {
    for (SystemCall& entry : systemCalls) {
        if (!name)
            entry.current = entry.standard;
        else if (std::strcmp(name, entry.name) == 0) {
            entry.current = call ? call : entry.standard;
            return 0;
        }
    }
    return name ? -1 : 0;
}

} // extern "C"
