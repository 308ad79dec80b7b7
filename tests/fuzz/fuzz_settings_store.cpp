// The settings store over any file contents: the registry calls and the module's
// settings load and save neither crash nor leak, read back what they wrote, and a write
// keeps every line of the file it did not replace, also the lines it could not parse.
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

#include <filesystem>
#include <string>
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

std::string storeFile;

void WriteStore(const std::string& contents) {
    int fd = open(storeFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(write(fd, contents.data(), contents.size()) ==
               static_cast<ssize_t>(contents.size()));
    close(fd);
}

std::string ReadStoreFile() {
    std::string contents;
    int fd = open(storeFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return contents;
    char chunk[8192];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0)
        contents.append(chunk, static_cast<size_t>(got));
    close(fd);
    return contents;
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

int spareFd = -1; // the lowest free descriptor after start-up: a leak would raise it

std::string scratch; // the temporary $XDG_CONFIG_HOME, removed at exit

void RemoveScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A tmpfs keeps the writes (temporary file, fsync, rename) fast when there is one.
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string dir = std::string(base) + "/zarelin-fuzz-settings-XXXXXX";
    FUZZ_CHECK(mkdtemp(&dir[0]) != nullptr);
    scratch = dir;
    std::atexit(RemoveScratch);
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    unsetenv("ZARELIN_NETWORK");
    mkdir((dir + "/zarelin").c_str(), 0700);
    storeFile = ZpRegistryPath();
    FUZZ_CHECK(storeFile == dir + "/zarelin/registry.txt");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Input in = Parse(data, size);
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

    int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (spareFd < 0) spareFd = fd;
    FUZZ_CHECK(fd <= spareFd + 8);
    close(fd);
    Host = StartupInfo{};
    return 0;
}
