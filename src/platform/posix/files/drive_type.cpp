// Which drives are remote: the file system the drive's directory lies on, from the mount
// table. The table is read rather than the directory asked (statfs), because asking a
// network file system whose server is gone blocks, which is what the answer is for. It
// is read again only after a mount or an unmount: every new search of a local word asks.
#include <fcntl.h>
#include <mntent.h>
#include <poll.h>
#include <stdio.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "files.h"

namespace zp {

namespace {

// File systems whose answers come over a network.
bool IsNetworkFileSystem(const char* type) {
    static const char* const network[] = {"nfs",       "nfs4",  "cifs",  "smb3", "smbfs",
                                          "9p",        "ceph",  "afs",   "fuse", "lustre",
                                          "glusterfs", "ncpfs", "davfs", "sshfs"};
    if (std::strncmp(type, "fuse.", 5) == 0) return true; // sshfs, s3fs, rclone...
    for (const char* name : network)
        if (std::strcmp(type, name) == 0) return true;
    return false;
}

// Whether the mount point `mount` holds `path`.
bool Holds(const char* mount, const std::string& path) {
    size_t n = std::strlen(mount);
    if (n == 1 && mount[0] == '/') return true;
    return path.compare(0, n, mount) == 0 && (path.size() == n || path[n] == '/');
}

struct Mount {
    std::string dir; // where it is mounted
    bool remote;     // a network file system
};

std::mutex mountsLock; // guards the two below
std::vector<Mount> mounts;
// The mount table kept open: poll() tells of a mount or unmount, so that the table is
// read again only then, not at every search that asks.
int watch = -1;

// Reads the table again when it changed since the last reading. Called under mountsLock.
void Refresh() {
    if (watch >= 0) {
        pollfd changed = {watch, POLLPRI, 0};
        if (poll(&changed, 1, 0) <= 0) return;
    } else {
        watch = open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
    }
    mounts.clear();
    FILE* table = setmntent("/proc/self/mounts", "r");
    if (!table) return;
    char text[4096];
    mntent entry;
    while (getmntent_r(table, &entry, text, sizeof text))
        mounts.push_back({entry.mnt_dir, IsNetworkFileSystem(entry.mnt_type)});
    endmntent(table);
}

} // namespace

} // namespace zp

extern "C" UINT GetDriveTypeA(const CHAR* root) {
    std::string directory;
    if (!zp::DriveDirectory(root, &directory)) return DRIVE_NO_ROOT_DIR;
    std::lock_guard<std::mutex> hold(zp::mountsLock);
    zp::Refresh();
    if (zp::mounts.empty()) return DRIVE_UNKNOWN;
    // The innermost mount holding the directory decides; a later line mounted over an
    // earlier one at the same point wins.
    size_t longest = 0;
    bool remote = false;
    for (const zp::Mount& mount : zp::mounts) {
        if (!zp::Holds(mount.dir.c_str(), directory) || mount.dir.size() < longest) continue;
        longest = mount.dir.size();
        remote = mount.remote;
    }
    return remote ? DRIVE_REMOTE : DRIVE_FIXED;
}
