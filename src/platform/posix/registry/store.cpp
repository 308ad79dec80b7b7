// The store file: $XDG_CONFIG_HOME/zarelin/registry.txt, read again at every call so
// that hosts sharing it see each other's values, and replaced whole at every write.
//
// Every file-system call the store makes goes through one table, so that a test can
// fail any of them, or put the whole store in memory (ZpRegistrySetSystemCall).
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "registry/registry.h"
#include "zp_registry.h"

namespace zp {

namespace {

// ---- The file calls, replaceable one at a time by tests -------------------------

int SystemOpen(const char* path, int flags, unsigned mode) {
    return ::open(path, flags, static_cast<mode_t>(mode));
}
int SystemFchmod(int fd, unsigned mode) {
    return ::fchmod(fd, static_cast<mode_t>(mode));
}
int SystemMkdir(const char* path, unsigned mode) {
    return ::mkdir(path, static_cast<mode_t>(mode));
}
// The rest are the system's functions as they are; a name each, for the table.
ssize_t SystemRead(int fd, void* data, size_t size) {
    return ::read(fd, data, size);
}
ssize_t SystemWrite(int fd, const void* data, size_t size) {
    return ::write(fd, data, size);
}
int SystemFsync(int fd) {
    return ::fsync(fd);
}
int SystemRename(const char* from, const char* to) {
    return ::rename(from, to);
}
int SystemClose(int fd) {
    return ::close(fd);
}
int SystemFstat(int fd, struct stat* info) {
    return ::fstat(fd, info);
}
int SystemStat(const char* path, struct stat* info) {
    return ::stat(path, info);
}
int SystemUnlink(const char* path) {
    return ::unlink(path);
}
int SystemFlock(int fd, int operation) {
    return ::flock(fd, operation);
}

struct SystemCall {
    const char* name;      // as ZpRegistrySetSystemCall names it
    ZpSystemCall current;  // what the store calls
    ZpSystemCall fallback; // the system's function
};

template <typename Fn> ZpSystemCall Generic(Fn fn) {
    return reinterpret_cast<ZpSystemCall>(fn);
}

#define ZP_CALL(name, function)                                                                    \
    { name, Generic(function), Generic(function) }
SystemCall systemCalls[] = {
    ZP_CALL("open", SystemOpen),     ZP_CALL("read", SystemRead),
    ZP_CALL("write", SystemWrite),   ZP_CALL("fsync", SystemFsync),
    ZP_CALL("rename", SystemRename), ZP_CALL("close", SystemClose),
    ZP_CALL("fstat", SystemFstat),   ZP_CALL("stat", SystemStat),
    ZP_CALL("fchmod", SystemFchmod), ZP_CALL("unlink", SystemUnlink),
    ZP_CALL("mkdir", SystemMkdir),   ZP_CALL("flock", SystemFlock),
};
#undef ZP_CALL

// The table's entries, typed, in its order. Each is looked up as it is called.
enum {
    CallOpen,
    CallRead,
    CallWrite,
    CallFsync,
    CallRename,
    CallClose,
    CallFstat,
    CallStat,
    CallFchmod,
    CallUnlink,
    CallMkdir,
    CallFlock
};

template <typename Fn> Fn Call(int which) {
    return reinterpret_cast<Fn>(systemCalls[which].current);
}

int Open(const char* path, int flags, unsigned mode) {
    return Call<decltype(&SystemOpen)>(CallOpen)(path, flags, mode);
}
ssize_t Read(int fd, void* data, size_t size) {
    return Call<decltype(&SystemRead)>(CallRead)(fd, data, size);
}
ssize_t Write(int fd, const void* data, size_t size) {
    return Call<decltype(&SystemWrite)>(CallWrite)(fd, data, size);
}
int Fsync(int fd) {
    return Call<decltype(&SystemFsync)>(CallFsync)(fd);
}
int Rename(const char* from, const char* to) {
    return Call<decltype(&SystemRename)>(CallRename)(from, to);
}
int Close(int fd) {
    return Call<decltype(&SystemClose)>(CallClose)(fd);
}
int Fstat(int fd, struct stat* info) {
    return Call<decltype(&SystemFstat)>(CallFstat)(fd, info);
}
int Stat(const char* path, struct stat* info) {
    return Call<decltype(&SystemStat)>(CallStat)(path, info);
}
int Fchmod(int fd, unsigned mode) {
    return Call<decltype(&SystemFchmod)>(CallFchmod)(fd, mode);
}
int Unlink(const char* path) {
    return Call<decltype(&SystemUnlink)>(CallUnlink)(path);
}
int Mkdir(const char* path, unsigned mode) {
    return Call<decltype(&SystemMkdir)>(CallMkdir)(path, mode);
}
int Flock(int fd, int operation) {
    return Call<decltype(&SystemFlock)>(CallFlock)(fd, operation);
}

// ---- Reading and replacing the file -----------------------------------------------

// The code for a failed write: access denied for what the permissions forbid,
// otherwise a write fault.
LONG WriteError(int error) {
    return (error == EACCES || error == EPERM || error == EROFS) ? ERROR_ACCESS_DENIED
                                                                 : ERROR_CANTWRITE;
}

void MakeDirectories(const std::string& dir) {
    for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        Mkdir(dir.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos) break;
    }
}

// Writes `contents` to a temporary file beside `file` and renames it over `file`. On
// failure the old file is untouched and the temporary one removed.
LONG ReplaceStore(const std::string& file, int dirFd, const std::string& contents) {
    const std::string temporary = file + ".tmp";
    struct stat old;
    const bool hadFile = Stat(file.c_str(), &old) == 0;
    int fd = Open(temporary.c_str(),
                  O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0) return WriteError(errno);
    int error = 0;
    if (hadFile) Fchmod(fd, old.st_mode & 07777); // keep what the user chose
    for (size_t done = 0; !error && done < contents.size();) {
        ssize_t put = Write(fd, contents.data() + done, contents.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0)
            error = put < 0 ? errno : ENOSPC;
        else
            done += put;
    }
    if (!error && Fsync(fd) != 0) error = errno;
    if (Close(fd) != 0 && !error) error = errno;
    if (!error && Rename(temporary.c_str(), file.c_str()) != 0) error = errno;
    if (error) {
        Unlink(temporary.c_str());
        return WriteError(error);
    }
    Fsync(dirFd); // the rename itself; the data is safe already
    return ERROR_SUCCESS;
}

} // namespace

std::string StoreFile() {
    std::string base;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        passwd entry, *user = nullptr;
        char names[4096];
        if ((!home || !*home) && getpwuid_r(getuid(), &entry, names, sizeof names, &user) == 0 &&
            user)
            home = user->pw_dir;
        if (!home || !*home) return "";
        base = std::string(home) + "/.config";
    }
    return base + "/zarelin/registry.txt";
}

LONG ReadStore(const std::string& file, std::string& contents) {
    contents.clear();
    if (file.empty()) return ERROR_SUCCESS;
    // Non-blocking, so that a FIFO put in the file's place cannot hang the host.
    int fd = Open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return ERROR_SUCCESS;
        return (errno == EACCES || errno == EPERM) ? ERROR_ACCESS_DENIED : ERROR_BADDB;
    }
    LONG code = ERROR_SUCCESS;
    struct stat info;
    if (Fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        code = ERROR_BADDB;
    else if (info.st_size > 0 && static_cast<size_t>(info.st_size) <= MaxStoreSize)
        contents.reserve(static_cast<size_t>(info.st_size));
    char chunk[8192];
    while (code == ERROR_SUCCESS) {
        ssize_t got = Read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got < 0) code = ERROR_BADDB;
            break;
        }
        contents.append(chunk, got);
        if (contents.size() > MaxStoreSize) code = ERROR_BADDB;
    }
    Close(fd);
    if (code != ERROR_SUCCESS) contents.clear();
    return code;
}

LONG UpdateStore(const std::string& file, const std::function<bool(Document&)>& change) {
    if (file.empty()) return ERROR_CANTWRITE;
    const std::string dir = file.substr(0, file.rfind('/'));
    MakeDirectories(dir);
    int dirFd = Open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (dirFd < 0) return WriteError(errno);
    // Without locking (a file system that has none), writes still replace the file
    // whole; only simultaneous writers could then miss each other's value.
    while (Flock(dirFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    std::string contents;
    LONG code = ReadStore(file, contents);
    if (code == ERROR_SUCCESS) {
        Document document(contents);
        if (change(document)) code = ReplaceStore(file, dirFd, document.Text());
    }
    Close(dirFd); // and with it the lock
    return code;
}

} // namespace zp

extern "C" {

const char* ZpRegistryPath(void) {
    thread_local std::string path;
    path = zp::StoreFile();
    return path.c_str();
}

int ZpRegistrySetSystemCall(const char* name, ZpSystemCall call) {
    int found = -1;
    for (zp::SystemCall& entry : zp::systemCalls) {
        if (!name) {
            entry.current = entry.fallback;
            found = 0;
        } else if (std::strcmp(name, entry.name) == 0) {
            entry.current = call ? call : entry.fallback;
            found = 0;
        }
    }
    return found;
}

} // extern "C"
