#include "file_io.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "stop_signals.h"

namespace shell {

namespace {

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string Folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// `name` cut short enough that `reserve` more bytes still make a name the file system
// takes, at the start of a UTF-8 character so that no half character ends it.
std::string FitName(const std::string& name, size_t reserve) {
    const size_t room = NAME_MAX > reserve ? NAME_MAX - reserve : 0;
    if (name.size() <= room) return name;
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut);
}

// Errors that say the folder takes no new file, as opposed to a failing disk.
bool Refused(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

void SyncFolder(const std::string& path) {
    const int dir = open(Folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
}

std::string Failed(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

enum class Outcome { Saved, Failed, InPlace };

// A complete copy beside the file, with its mode and owner, renamed over it.
Outcome ReplaceAtomically(const std::string& target, const struct stat& info,
                          const std::string& bytes, std::string* error) {
    // ".NAME.zarelin-XXXXXX", with NAME cut short where a long one would make it no name.
    const std::string suffix = ".zarelin-XXXXXX";
    std::string name =
        Folder(target) + "/." + FitName(BaseName(target), 1 + suffix.size()) + suffix;
    const int fd = mkstemp(&name[0]);
    if (fd < 0) {
        if (Refused(errno)) return Outcome::InPlace;
        *error = Failed("Cannot save", errno);
        return Outcome::Failed;
    }
    // The owner first: changing it clears set-user-ID bits that fchmod then restores.
    if (fchown(fd, info.st_uid, info.st_gid) != 0) {
        close(fd);
        unlink(name.c_str());
        return Outcome::InPlace;
    }
    bool ok = fchmod(fd, info.st_mode & 07777) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
    int why = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        why = errno;
    }
    if (ok && rename(name.c_str(), target.c_str()) != 0) {
        ok = false;
        why = errno;
    }
    if (!ok) {
        unlink(name.c_str());
        *error = Failed("Cannot save", why);
        return Outcome::Failed;
    }
    SyncFolder(target);
    return Outcome::Saved;
}

// The file itself rewritten, after its old contents went to a backup; a failure puts
// them back.
bool WriteInPlace(const std::string& target, const std::string& bytes, std::string* error) {
    std::string old;
    if (!ReadRegularFile(target, SIZE_MAX, &old)) {
        *error = Failed("Cannot save", errno);
        return false;
    }
    const std::string backup = WriteBeside(target, ".zarelin-backup", old);
    if (backup.empty()) {
        *error = "Cannot save: there is no room for a backup of the file";
        return false;
    }
    const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = Failed("Cannot save", errno);
        unlink(backup.c_str());
        return false;
    }
    auto writeAll = [fd](const std::string& data) {
        return lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, data) &&
               ftruncate(fd, static_cast<off_t>(data.size())) == 0 && fsync(fd) == 0;
    };
    if (!writeAll(bytes)) {
        const int why = errno;
        const bool restored = writeAll(old);
        close(fd);
        *error = Failed("Cannot save", why) +
                 (restored ? "; the file is as it was" : "; its old contents are in " + backup);
        if (restored) unlink(backup.c_str());
        return false;
    }
    if (close(fd) != 0) {
        *error = Failed("Cannot save", errno) + "; its old contents are in " + backup;
        return false;
    }
    unlink(backup.c_str());
    return true;
}

// Writes `bytes` to a new file at `path`, or at "path-2", ... "path-100" where the
// names before are taken. Its path, or empty (and no file) when it could not be written.
std::string WriteNewFile(const std::string& path, const std::string& bytes) {
    for (int n = 1; n <= 100; ++n) {
        const std::string candidate = path + (n > 1 ? "-" + std::to_string(n) : "");
        const int fd =
            open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return "";
        bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
        ok = close(fd) == 0 && ok;
        if (ok) return candidate;
        unlink(candidate.c_str());
        return "";
    }
    return "";
}

bool KeepsMoreThanModeAndOwner(const std::string& target, const struct stat& info) {
    return info.st_nlink > 1 || listxattr(target.c_str(), nullptr, 0) > 0;
}

} // namespace

bool ReadRegularFile(const std::string& path, size_t limit, std::string* text, bool* more) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        errno = EINVAL;
        return false;
    }
    text->clear();
    char chunk[65536];
    ssize_t n = 0;
    while (text->size() < limit &&
           ((n = read(fd, chunk, std::min(sizeof chunk, limit - text->size()))) > 0 ||
            (n < 0 && errno == EINTR)))
        if (n > 0) text->append(chunk, static_cast<size_t>(n));
    const int why = errno;
    if (more) *more = n >= 0 && text->size() == limit && read(fd, chunk, 1) > 0;
    close(fd);
    errno = why;
    return n >= 0;
}

bool SaveFile(const std::string& path, const std::string& bytes, std::string* error) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            *error = Failed("Cannot save", errno);
            return false;
        }
        // A new file: made whole or not at all, and never over one that appeared since.
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            *error = Failed("Cannot save", errno);
            return false;
        }
        bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
        const int why = errno;
        ok = close(fd) == 0 && ok;
        if (!ok) {
            unlink(path.c_str());
            *error = Failed("Cannot save", why);
        }
        return ok;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = "Cannot save: it is not a regular file";
        return false;
    }
    char resolved[PATH_MAX];
    const std::string target = realpath(path.c_str(), resolved) ? resolved : path;
    if (!KeepsMoreThanModeAndOwner(target, info)) {
        const Outcome outcome = ReplaceAtomically(target, info, bytes, error);
        if (outcome != Outcome::InPlace) return outcome == Outcome::Saved;
    }
    return WriteInPlace(target, bytes, error);
}

FileIdentity IdentityOf(const std::string& path) {
    FileIdentity identity;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return identity;
    identity.exists = true;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = info.st_size;
    identity.modified = info.st_mtim;
    return identity;
}

bool ChangedSince(const FileIdentity& then, const FileIdentity& now) {
    if (!now.exists) return false;
    return !then.exists || now.device != then.device || now.inode != then.inode ||
           now.size != then.size || now.modified.tv_sec != then.modified.tv_sec ||
           now.modified.tv_nsec != then.modified.tv_nsec;
}

std::string WriteBeside(const std::string& path, const std::string& suffix,
                        const std::string& bytes) {
    // "-100" is the longest number a name gets below.
    const std::string name = FitName(BaseName(path), suffix.size() + 4) + suffix;
    // Beside the file; where that fails for any reason (no permission, no room, no
    // folder any more), in the shell's own state directory, which is often on another
    // disk.
    for (int place = 0; place < 2; ++place) {
        const std::string folder = place == 0 ? Folder(path) : StateDirectory();
        if (folder.empty()) continue;
        const std::string written = WriteNewFile(folder + "/" + name, bytes);
        if (!written.empty()) return written;
    }
    return "";
}

} // namespace shell
