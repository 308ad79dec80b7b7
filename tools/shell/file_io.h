// Files the shell reads and writes for the user: only regular files are read (a FIFO
// would hang the shell, a device never ends), and saving never loses the old contents
// half-way and leaves the file what it was (mode, owner, hard links, ACLs and other
// extended attributes).
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>

namespace shell {

// Reads at most `limit` bytes of the regular file at `path` into `text`, without
// waiting on it (a FIFO put in its place since it was looked at is refused with
// EINVAL). `more`, when given, tells whether the file holds more than was read. False,
// with errno set, when it cannot be read.
bool ReadRegularFile(const std::string& path, size_t limit, std::string* text,
                     bool* more = nullptr);

// Makes `bytes` the contents of the file at `path` (a symbolic link is followed). A
// new file, or one that nothing more than its mode and owner describe, is replaced at
// once by a complete copy written beside it. A file with more than one name or with
// extended attributes, or one whose folder takes no new file or whose owner a copy
// could not keep, is written in place, after a backup of its old contents. False, with
// the reason in `error`, leaves the old contents in the file or, where they could not
// be put back, in the backup that `error` names.
bool SaveFile(const std::string& path, const std::string& bytes, std::string* error);

// What a file on disk was when it was looked at: whatever changes it since (a write, a
// program that replaces it with a new file) changes one of these.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified = {}; // to the nanosecond, where the file system keeps them
};

// The identity of the file at `path` now (a symbolic link is followed); one that does
// not exist when it cannot be looked at.
FileIdentity IdentityOf(const std::string& path);

// Whether writing over the file now would lose what someone else put there since
// `then`: it is another file, or was changed, or appeared where there was none. A file
// removed since has nothing to lose.
bool ChangedSince(const FileIdentity& then, const FileIdentity& now);

// Writes `bytes` to a new file named for `path` with `suffix` ("notes.txt.recovered",
// then "notes.txt.recovered-2", ...; a name too long for that is cut short): beside
// it, or in the shell's state directory where it cannot be written there, whatever the
// reason (no permission, no room, no such folder). Its path, or empty when it could be
// written in neither.
std::string WriteBeside(const std::string& path, const std::string& suffix,
                        const std::string& bytes);

} // namespace shell
