// The folders a file search reads: a local directory, one readdir a call, or a share's
// folder on a real server, read whole through the SMB backend when opened.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include <libsmbclient.h>

#include "files/files.h"
#include "network/smb.h"
#include "zp_files.h"

namespace zp {

namespace {

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

} // namespace

Folder::~Folder() {
    if (stream_) closedir(stream_);
    delete remote_;
}

DWORD Folder::Open(const Location& where) {
    if (stream_) closedir(stream_);
    stream_ = nullptr;
    delete remote_;
    remote_ = nullptr;
    next_ = 0;
    if (where.smb) {
        remote_ = new (std::nothrow) std::vector<SmbEntry>;
        if (!remote_) return ERROR_NOT_ENOUGH_MEMORY;
        return where.smb->Folder(where.share, where.path.text, remote_);
    }
    int fd = OpenDir(where.path.text);
    if (fd < 0) return ErrorFromErrno(errno);
    stream_ = fdopendir(fd);
    if (!stream_) {
        DWORD error = ErrorFromErrno(errno);
        close(fd);
        return error;
    }
    hideDots_ = IsDriveRoot(fd);
    return ERROR_SUCCESS;
}

const char* Folder::Next() {
    if (remote_) return next_ < remote_->size() ? (*remote_)[next_++].name.c_str() : nullptr;
    if (!stream_) return nullptr;
    entry_ = ReadDir(stream_);
    if (entry_) return entry_->d_name;
    // The end, or a read error (such as a directory removed meanwhile).
    closedir(stream_);
    stream_ = nullptr;
    return nullptr;
}

bool Folder::IsDirectory(struct stat* info) {
    std::memset(info, 0, sizeof *info);
    if (remote_) return (*remote_)[next_ - 1].type == SMBC_DIR; // a link is a file here
    if (entry_->d_type != DT_UNKNOWN && entry_->d_type != DT_LNK) return entry_->d_type == DT_DIR;
    // A link is what it points to; a dangling or looping link, or an entry removed
    // since, is a file.
    if (fstatat(dirfd(stream_), entry_->d_name, info, 0) != 0) {
        std::memset(info, 0, sizeof *info);
        return false;
    }
    return S_ISDIR(info->st_mode);
}

} // namespace zp

extern "C" int ZpFilesSetSystemCall(const char* name, ZpSystemCall call) {
    for (zp::SystemCall& entry : zp::systemCalls) {
        if (!name)
            entry.current = entry.standard;
        else if (std::strcmp(name, entry.name) == 0) {
            entry.current = call ? call : entry.standard;
            return 0;
        }
    }
    return name ? -1 : 0;
}
