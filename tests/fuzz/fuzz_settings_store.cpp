// The settings store over any file contents: the registry calls and the module's
// settings load and save neither crash nor leak, read back what they wrote, and a write
// keeps every line of the file it did not replace, also the lines it could not parse.
// The store's file calls go to a file system in memory (its own call table), so that a
// run costs no system call and no disk: the store's logic is what is fuzzed.
//
// Input: the store file's contents. A line "%%" ends them; the lines after it are
//   1   the host's registry path (default "Software\Host")
//   2   the name of a value to write below the settings key (default "Custom")
//   3   its type, a decimal number (default 1, REG_SZ)
//   4   its bytes
//   5   the workgroup the platform answers (none when absent)
//   6   a key to create below the settings key
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "engine/state.h"
#include "fuzz_support.h"
#include "host/host.h"
#include "zp_registry.h"

using namespace zarelin;

namespace {

struct Input {
    std::string file;
    std::string root = "Software\\Host";
    std::string valueName = "Custom";
    DWORD type = REG_SZ;
    std::string value = "text";
    bool hasWorkgroup = false;
    std::string workgroup;
    std::string subKey;
};

Input Parse(const uint8_t* data, size_t size) {
    Input in;
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t marker = text.rfind("\n%%\n");
    if (text.compare(0, 3, "%%\n") == 0 && marker == std::string::npos)
        marker = 0;
    else if (marker != std::string::npos)
        ++marker;
    if (marker == std::string::npos) {
        in.file = text;
        return in;
    }
    in.file = text.substr(0, marker);
    const std::string ops = text.substr(marker + 3);
    const std::vector<std::string> raw =
        fuzz::SplitLines(reinterpret_cast<const uint8_t*>(ops.data()), ops.size());
    std::vector<std::string> lines = raw;
    // Names reach the calls as C strings: each ends at its first zero byte.
    for (std::string& line : lines)
        line.resize(strnlen(line.c_str(), line.size()));
    if (lines.size() > 0) in.root = lines[0];
    if (lines.size() > 1) in.valueName = lines[1];
    if (lines.size() > 2) in.type = static_cast<DWORD>(fuzz::Number(lines[2], 1, 0, 0x7FFFFFFF));
    if (raw.size() > 3) in.value = raw[3];
    if (lines.size() > 4) {
        in.hasWorkgroup = true;
        in.workgroup = lines[4];
    }
    if (lines.size() > 5) in.subKey = lines[5];
    return in;
}

// ----------------------------------------------------------------------------------
// A file system in memory behind the store's call table: files and directories by
// path, descriptors by number.

// Fixed tables that keep their strings' room from run to run, so that the file system
// itself allocates next to nothing: the store's own allocations are what a run costs.
struct MemoryFile {
    bool used = false;
    std::string path;
    std::string contents;
};
MemoryFile files[4]; // the store file and its temporary one; more would be a fault
std::string directories[4];
size_t directoryCount = 0;
struct Descriptor {
    bool used = false;
    int file = -1; // index into files; -1 for a directory
    size_t offset = 0;
};
Descriptor descriptors[16];
constexpr int FirstDescriptor = 1000;

int FindFile(const char* path) {
    for (int i = 0; i < static_cast<int>(std::size(files)); ++i)
        if (files[i].used && files[i].path == path) return i;
    return -1;
}
bool IsDirectory(const char* path) {
    for (size_t i = 0; i < directoryCount; ++i)
        if (directories[i] == path) return true;
    return false;
}
Descriptor* Find(int fd) {
    size_t i = static_cast<size_t>(fd - FirstDescriptor);
    return fd >= FirstDescriptor && i < std::size(descriptors) && descriptors[i].used
               ? &descriptors[i]
               : nullptr;
}

int MemoryOpen(const char* path, int flags, unsigned /*mode*/) {
    int file = -1;
    if (flags & O_DIRECTORY) {
        if (!IsDirectory(path)) return errno = ENOENT, -1;
    } else if ((file = FindFile(path)) < 0) {
        if (!(flags & O_CREAT)) return errno = ENOENT, -1;
        for (int i = 0; i < static_cast<int>(std::size(files)) && file < 0; ++i)
            if (!files[i].used) file = i;
        FUZZ_CHECK(file >= 0);
        files[file].used = true;
        files[file].path = path;
        files[file].contents.clear();
    } else if (flags & O_TRUNC) {
        files[file].contents.clear();
    }
    for (size_t i = 0; i < std::size(descriptors); ++i) {
        if (descriptors[i].used) continue;
        descriptors[i] = {true, file, 0};
        return FirstDescriptor + static_cast<int>(i);
    }
    return errno = EMFILE, -1;
}
ssize_t MemoryRead(int fd, void* data, size_t size) {
    Descriptor* d = Find(fd);
    if (!d || d->file < 0) return errno = EBADF, -1;
    const std::string& contents = files[d->file].contents;
    size_t n = std::min(size, contents.size() - std::min(contents.size(), d->offset));
    std::memcpy(data, contents.data() + d->offset, n);
    d->offset += n;
    return static_cast<ssize_t>(n);
}
ssize_t MemoryWrite(int fd, const void* data, size_t size) {
    Descriptor* d = Find(fd);
    if (!d || d->file < 0) return errno = EBADF, -1;
    files[d->file].contents.append(static_cast<const char*>(data), size);
    return static_cast<ssize_t>(size);
}
int MemoryClose(int fd) {
    Descriptor* d = Find(fd);
    if (!d) return errno = EBADF, -1;
    d->used = false;
    return 0;
}
int StatOf(int file, struct stat* info) {
    std::memset(info, 0, sizeof *info);
    info->st_mode = (file < 0 ? S_IFDIR : S_IFREG) | 0600;
    if (file >= 0) info->st_size = static_cast<off_t>(files[file].contents.size());
    return 0;
}
int MemoryFstat(int fd, struct stat* info) {
    Descriptor* d = Find(fd);
    return d ? StatOf(d->file, info) : (errno = EBADF, -1);
}
int MemoryStat(const char* path, struct stat* info) {
    int file = FindFile(path);
    if (file >= 0 || IsDirectory(path)) return StatOf(file, info);
    return errno = ENOENT, -1;
}
int MemoryRename(const char* from, const char* to) {
    int source = FindFile(from), target = FindFile(to);
    if (source < 0) return errno = ENOENT, -1;
    if (target >= 0) {
        std::swap(files[target].contents, files[source].contents);
        files[source].used = false;
    } else {
        files[source].path = to;
    }
    return 0;
}
int MemoryUnlink(const char* path) {
    int file = FindFile(path);
    if (file < 0) return errno = ENOENT, -1;
    files[file].used = false;
    return 0;
}
int MemoryMkdir(const char* path, unsigned /*mode*/) {
    if (IsDirectory(path)) return errno = EEXIST, -1;
    FUZZ_CHECK(directoryCount < std::size(directories));
    directories[directoryCount++] = path;
    return 0;
}
// fsync, fchmod and flock: nothing to wait for, keep or share.
int MemoryFsync(int) {
    return 0;
}
int MemoryFchmod(int, unsigned) {
    return 0;
}
int MemoryFlock(int, int) {
    return 0;
}

template <typename Fn> void Install(const char* name, Fn fn) {
    FUZZ_CHECK(ZpRegistrySetSystemCall(name, reinterpret_cast<ZpSystemCall>(fn)) == 0);
}

std::string storeFile;

// The store file's contents, and no other file.
void WriteStore(const std::string& contents) {
    for (MemoryFile& f : files)
        f.used = false;
    files[0].used = true;
    files[0].path = storeFile;
    files[0].contents = contents;
}

std::string ReadStoreFile() {
    int file = FindFile(storeFile.c_str());
    return file < 0 ? "" : files[file].contents;
}

// The file as lines, each without its line feed; a carriage return is part of its line,
// so that a CRLF line must come back as CRLF.
std::vector<std::string> Lines(const std::string& contents) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < contents.size()) {
        size_t end = contents.find('\n', start);
        if (end == std::string::npos) end = contents.size();
        lines.push_back(contents.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// A write replaces at most `replaced` lines in place, or adds lines; every other line
// stays, in its order, whatever it says.
void CheckKept(const std::vector<std::string>& before, const std::vector<std::string>& after,
               size_t replaced) {
    if (after.size() == before.size()) {
        size_t differing = 0;
        for (size_t i = 0; i < before.size(); ++i)
            differing += before[i] != after[i];
        FUZZ_CHECK(differing <= replaced);
        return;
    }
    FUZZ_CHECK(after.size() > before.size());
    FUZZ_CHECK(after.size() - before.size() <= 4);
    size_t at = 0;
    for (const std::string& line : before) {
        while (at < after.size() && after[at] != line)
            ++at;
        FUZZ_CHECK(at < after.size());
        ++at;
    }
}

// Reads a value whole: its size first, then the bytes into a buffer of exactly that
// size. False when it is not there.
bool Query(HKEY key, const char* name, DWORD* type, std::string* data) {
    DWORD size = 0;
    LONG r = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    if (r != ERROR_SUCCESS) {
        FUZZ_CHECK(r == ERROR_FILE_NOT_FOUND);
        return false;
    }
    std::vector<BYTE> bytes(size ? size : 1);
    DWORD got = size;
    FUZZ_CHECK(RegQueryValueExA(key, name, nullptr, type, bytes.data(), &got) == ERROR_SUCCESS);
    FUZZ_CHECK(got == size);
    data->assign(reinterpret_cast<const char*>(bytes.data()), size);
    if (size > 0) {
        // One byte short draws the size needed and leaves the buffer alone.
        std::vector<BYTE> small(size - 1 ? size - 1 : 1, 0xA5);
        DWORD shortSize = size - 1;
        FUZZ_CHECK(RegQueryValueExA(key, name, nullptr, nullptr, small.data(), &shortSize) ==
                   ERROR_MORE_DATA);
        FUZZ_CHECK(shortSize == size);
        for (BYTE b : small)
            FUZZ_CHECK(b == 0xA5);
    }
    return true;
}

const char* const WorkgroupKey = "System\\CurrentControlSet\\Services\\VxD\\VNETSUP";

void CheckWorkgroup() {
    FUZZ_CHECK(std::memchr(Workgroup, 0, sizeof Workgroup) != nullptr);
    HKEY key = nullptr;
    std::string stored;
    bool found = false;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, WorkgroupKey, 0, KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
        DWORD type = 0;
        found = Query(key, "Workgroup", &type, &stored);
        FUZZ_CHECK(RegCloseKey(key) == ERROR_SUCCESS);
    }
    // What fits the module's 40 bytes is read; a longer name is no name.
    if (!found || stored.size() > sizeof Workgroup) {
        FUZZ_CHECK(Workgroup[0] == 0);
        return;
    }
    const size_t compared = std::min(stored.size(), sizeof Workgroup - 1);
    FUZZ_CHECK(std::memcmp(Workgroup, stored.data(), compared) == 0);
}

struct Option {
    const char* name;
    int32_t CompletionState::*field;
    int32_t fallback;
};
const Option options[] = {
    {"ShowHiddenShares", &CompletionState::ShowHiddenShares, 0},
    {"ShortFileNames", &CompletionState::ShortFileNames, 0},
    {"CurrentDomainOnly", &CompletionState::CurrentDomainOnly, 1},
    {"SingleEntriesInMenu", &CompletionState::SingleEntriesInMenu, 0},
};

// The options as loaded: a 4-byte value replaces the default, anything else does not.
void CheckLoaded(HKEY key) {
    for (const Option& o : options) {
        DWORD type = 0;
        std::string data;
        int32_t expected = o.fallback;
        if (key && Query(key, o.name, &type, &data) && data.size() == 4)
            std::memcpy(&expected, data.data(), 4);
        FUZZ_CHECK(State.*o.field == expected);
    }
}

// The options as saved: each a REG_DWORD of the value in memory.
void CheckSaved(HKEY key) {
    for (const Option& o : options) {
        DWORD type = 0;
        std::string data;
        FUZZ_CHECK(Query(key, o.name, &type, &data));
        FUZZ_CHECK(type == REG_DWORD && data.size() == 4);
        int32_t value;
        std::memcpy(&value, data.data(), 4);
        FUZZ_CHECK(value == State.*o.field);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("XDG_CONFIG_HOME", "/fuzz", 1); // a path only the memory file system knows
    unsetenv("ZARELIN_NETWORK");
    storeFile = ZpRegistryPath();
    FUZZ_CHECK(storeFile == "/fuzz/zarelin/registry.txt");
    Install("open", MemoryOpen);
    Install("read", MemoryRead);
    Install("write", MemoryWrite);
    Install("fsync", MemoryFsync);
    Install("rename", MemoryRename);
    Install("close", MemoryClose);
    Install("fstat", MemoryFstat);
    Install("stat", MemoryStat);
    Install("fchmod", MemoryFchmod);
    Install("unlink", MemoryUnlink);
    Install("mkdir", MemoryMkdir);
    Install("flock", MemoryFlock);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Input in = Parse(data, size);
    directoryCount = 0;
    for (const char* dir : {"/", "/fuzz", "/fuzz/zarelin"})
        directories[directoryCount++] = dir;
    WriteStore(in.file);
    ZpRegistrySetWorkgroup(in.hasWorkgroup ? in.workgroup.c_str() : nullptr);
    const std::vector<std::string> original = Lines(in.file);

    // The module's start-up: workgroup, settings key (created if missing), options.
    State.Init();
    Host = StartupInfo{};
    Host.RegistryRoot = in.root.c_str();
    LoadSettings();
    CheckWorkgroup();
    std::vector<std::string> now = Lines(ReadStoreFile());
    CheckKept(original, now, 0);

    // The settings key as the module names it, opened here too.
    const std::string path = in.root + "\\Zarelin";
    const bool moduleOpens = path.size() < 120;
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG created =
        RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, &disposition);
    FUZZ_CHECK((created == ERROR_SUCCESS) == (key != nullptr));
    if (key && moduleOpens) FUZZ_CHECK(disposition == REG_OPENED_EXISTING_KEY);
    CheckLoaded(moduleOpens ? key : nullptr);

    if (key) {
        // A value written is read back as written, and the rest of the file stays.
        now = Lines(ReadStoreFile());
        const std::string value = in.value;
        LONG set = RegSetValueExA(key, in.valueName.c_str(), 0, in.type,
                                  reinterpret_cast<const BYTE*>(value.data()),
                                  static_cast<DWORD>(value.size()));
        std::vector<std::string> written = Lines(ReadStoreFile());
        if (set == ERROR_SUCCESS) {
            CheckKept(now, written, 1);
            DWORD type = 0;
            std::string back;
            FUZZ_CHECK(Query(key, in.valueName.c_str(), &type, &back));
            FUZZ_CHECK(type == in.type);
            FUZZ_CHECK(back == value);
        } else {
            FUZZ_CHECK(written == now);
        }

        if (!in.subKey.empty()) {
            HKEY below = nullptr;
            if (RegCreateKeyExA(key, in.subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, &below, nullptr) == ERROR_SUCCESS) {
                HKEY again = nullptr;
                FUZZ_CHECK(RegOpenKeyExA(key, in.subKey.c_str(), 0, KEY_QUERY_VALUE, &again) ==
                           ERROR_SUCCESS);
                FUZZ_CHECK(RegCloseKey(again) == ERROR_SUCCESS);
                FUZZ_CHECK(RegCloseKey(below) == ERROR_SUCCESS);
            }
        }
    }

    // A toggle and the save at ClosePlugin write the options; the key is closed.
    ToggleSetting(State.ShortFileNames, "ShortFileNames");
    SaveSettings();
    if (key) {
        if (moduleOpens) CheckSaved(key);
        FUZZ_CHECK(RegCloseKey(key) == ERROR_SUCCESS);
        FUZZ_CHECK(RegCloseKey(key) == ERROR_INVALID_HANDLE);
    }

    // Every descriptor the store opened is closed, and no temporary file is left.
    for (const Descriptor& d : descriptors)
        FUZZ_CHECK(!d.used);
    for (const MemoryFile& f : files)
        FUZZ_CHECK(!f.used || f.path == storeFile);
    Host = StartupInfo{};
    // The store keeps the document it last read; an empty one in its place leaves
    // nothing of this run behind, so that libFuzzer need not look for a leak (a slow
    // rerun) after a run whose allocations and frees do not pair up.
    WriteStore("");
    DWORD needed = 0;
    RegQueryValueExA(HKEY_CURRENT_USER, "none", nullptr, nullptr, nullptr, &needed);
    return 0;
}
