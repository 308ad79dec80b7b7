// Windows-style paths over POSIX directories: drive letters, the current directory,
// "." and "..", names found without regard to case or by their 8.3 names, and
// \\server\share, which the network resolves to a local directory or a real share.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "files/files.h"
#include "network/network.h"
#include "zp_codepage.h"
#include "zp_files.h"

namespace zp {

namespace {

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

// Where \\server\share leads, through the network: a share's local directory, or the
// share of a real server, whose folders are named below it.
DWORD ResolveShare(const char* windowsPath, Location* where, const char** rest) {
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
    ShareRoot root;
    DWORD error = FindShareRoot(serverName, shareName, &root);
    where->delayMs = root.delayMs; // a share it lacks is its answer too
    if (error != ERROR_SUCCESS) return error;
    *rest = share + shareLength;
    if (root.smb) {
        where->smb = root.smb;
        where->share = root.share;
        where->path.SetRoot("");
        return ERROR_SUCCESS;
    }
    Path* path = &where->path;
    if (root.local[0] != '/' || !path->SetRoot(root.local.c_str())) return ERROR_BAD_NETPATH;
    while (path->length > 1 && path->text[path->length - 1] == '/')
        path->text[--path->length] = '\0';
    path->floor = path->length;
    return ERROR_SUCCESS;
}

// Whether the directory entry named `utf8` is the path component `oem` (OEM, `length`
// bytes): its name without regard to case, or its 8.3 name, the only one it has when
// Windows could not hold its own.
bool IsComponent(const char* utf8, const char* oem, size_t length, const unsigned char* upper) {
    char name[MAX_PATH];
    if (IsWindowsName(utf8) && ZpUtf8ToOem(utf8, name, sizeof name) &&
        SameName(name, std::strlen(name), oem, length, upper))
        return true;
    // Only a component with a '~' can be an 8.3 name, and only one of 12 or fewer.
    char shortName[ShortNameSize];
    return length < ShortNameSize && std::memchr(oem, '~', length) && ShortName(utf8, shortName) &&
           SameName(shortName, std::strlen(shortName), oem, length, upper);
}

// Appends the entry of the folder `where` names that is the component `oem`: an entry
// of that very name first, else the first that IsComponent takes. ERROR_PATH_NOT_FOUND
// when there is none; a folder of a real server that cannot be read gives its error.
DWORD AppendAnyCase(Location* where, const char* oem, size_t length) {
    Folder folder;
    DWORD error = folder.Open(*where);
    if (error != ERROR_SUCCESS) return where->smb ? error : ERROR_PATH_NOT_FOUND;
    const unsigned char* upper = ZpOemUpperTable();
    char exact[MAX_PATH * 3];
    char oemName[MAX_PATH];
    std::memcpy(oemName, oem, length);
    oemName[length] = '\0';
    ZpOemToUtf8(oemName, exact, sizeof exact);
    std::string found;
    while (const char* name = folder.Next()) {
        if (std::strcmp(name, exact) == 0) {
            found = name;
            break;
        }
        if (found.empty() && IsComponent(name, oem, length, upper)) found = name;
    }
    if (found.empty()) return ERROR_PATH_NOT_FOUND;
    return where->path.Append(found.c_str(), found.size()) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
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

bool Path::Set(const char* path) {
    size_t n = std::strlen(path);
    if (n >= sizeof text) return false;
    std::memcpy(text, path, n + 1);
    length = n;
    return true;
}

bool Path::SetRoot(const char* root) {
    if (!Set(root)) return false;
    floor = length;
    return true;
}

bool Path::Append(const char* name, size_t n) {
    size_t slash = length == 0 || text[length - 1] == '/' ? 0 : 1;
    if (length + slash + n >= sizeof text) return false;
    if (slash) text[length++] = '/';
    std::memcpy(text + length, name, n);
    length += n;
    text[length] = '\0';
    return true;
}

void Path::Up() {
    if (length <= floor) return;
    size_t slash = length;
    while (slash > 0 && text[slash - 1] != '/')
        --slash;
    length = slash > floor + 1 ? slash - 1 : floor;
    text[length] = '\0';
}

bool DriveDirectory(const char* root, std::string* directory) {
    if (!root) {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd)) return false;
        *directory = cwd;
        return true;
    }
    int letter = root[1] == ':' ? DriveIndex(root[0]) : -1;
    if (letter < 0 || (root[2] != 0 && (!IsSeparator(root[2]) || root[3] != 0))) return false;
    std::lock_guard<std::mutex> hold(drivesLock);
    *directory = driveRoots[letter];
    return !directory->empty();
}

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

DWORD ResolvePath(const char* windowsPath, Lookup lookup, bool splitLast, Location* where,
                  Component* last) {
    where->smb.reset();
    where->share.clear();
    where->delayMs = 0;
    Path* path = &where->path;
    path->length = path->floor = 0;
    path->text[0] = '\0';
    const char* rest = windowsPath;
    DWORD error = IsSeparator(windowsPath[0]) && IsSeparator(windowsPath[1])
                      ? ResolveShare(windowsPath, where, &rest)
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
        if (lookup == Lookup::Exact || missing) {
            if (!path->Append(utf8, utf8Length)) return ERROR_PATH_NOT_FOUND;
            continue;
        }
        // A local name that exists as written is taken; a real server compares names
        // itself, so its folders are looked through only when a search found none.
        if (!where->smb) {
            if (!path->Append(utf8, utf8Length)) return ERROR_PATH_NOT_FOUND;
            struct stat info;
            if (stat(path->text, &info) == 0 || errno != ENOENT) continue;
            path->Up();
        }
        error = AppendAnyCase(where, c.text, c.length);
        if (error == ERROR_SUCCESS) continue;
        if (lookup == Lookup::AnyCase || error != ERROR_PATH_NOT_FOUND) return error;
        missing = true;
        if (!path->Append(utf8, utf8Length)) return ERROR_PATH_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

} // namespace zp

using namespace zp;

extern "C" {

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
    Location where;
    // A real server's share has no local path.
    if (ResolvePath(windowsPath, Lookup::AnyCaseOrKeep, false, &where, nullptr) != ERROR_SUCCESS ||
        where.smb || where.path.length >= outSize)
        return false;
    std::memcpy(out, where.path.text, where.path.length + 1);
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

} // extern "C"
