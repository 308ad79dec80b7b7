// Which drives are remote: the file system the drive's directory lies on, from the mount
// table. The table is read rather than the directory asked (statfs), because asking a
// network file system whose server is gone blocks, which is what the answer is for.
#include <mntent.h>
#include <stdio.h>

#include <cstring>
#include <string>

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

} // namespace

} // namespace zp

extern "C" UINT GetDriveTypeA(const CHAR* root) {
    std::string directory;
    if (!zp::DriveDirectory(root, &directory)) return DRIVE_NO_ROOT_DIR;
    FILE* table = setmntent("/proc/self/mounts", "r");
    if (!table) return DRIVE_UNKNOWN;
    // The innermost mount holding the directory decides; a later line mounted over an
    // earlier one at the same point wins.
    size_t longest = 0;
    bool remote = false;
    char text[4096];
    mntent entry;
    while (getmntent_r(table, &entry, text, sizeof text)) {
        size_t n = std::strlen(entry.mnt_dir);
        if (!zp::Holds(entry.mnt_dir, directory) || n < longest) continue;
        longest = n;
        remote = zp::IsNetworkFileSystem(entry.mnt_type);
    }
    endmntent(table);
    return remote ? DRIVE_REMOTE : DRIVE_FIXED;
}
