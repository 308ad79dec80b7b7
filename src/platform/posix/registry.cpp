// Registry: keys and values in one text file, laid out as a registry export is.
//
//   [HKEY_CURRENT_USER\Software\Host\Zarelin]
//   "ShortFileNames"=dword:00000001      REG_DWORD of 4 bytes
//   "Title"="text"                       REG_SZ: the text and one terminating zero
//   "Blob"=hex:01,02                     REG_BINARY
//   "Odd"=hex(4):01,02                   any other type or size, as typed raw bytes
//   @="..."                              the key's unnamed value
//
// Inside quotes, \\ \" and \xHH escape; other bytes stand for themselves, so the file
// is in the ANSI code page, as the names the A calls take. A key exists when its
// section, or the section of a key below it, is in the file. Names compare without
// regard to case and keep the case they were first written in.
//
// The file is read again at every call, so hosts sharing it see each other's values,
// and replaced whole (temporary file, fsync, rename) under a lock on its directory, so
// that a crash leaves the old file or the new one and hosts writing in turn never lose
// each other's values. Lines that do not parse are ignored when reading and kept
// verbatim when writing: a damaged or hand-edited file loses nothing to a write.
#include "zp_network.h"
#include "zp_registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

// ----------------------------------------------------------------------------------
// The file calls, replaceable one at a time by tests (ZpRegistrySetSystemCall).

using OpenFn = int (*)(const char* path, int flags, unsigned mode);
using ReadFn = ssize_t (*)(int fd, void* data, size_t size);
using WriteFn = ssize_t (*)(int fd, const void* data, size_t size);
using FsyncFn = int (*)(int fd);
using RenameFn = int (*)(const char* from, const char* to);

int SystemOpen(const char* path, int flags, unsigned mode) {
    return ::open(path, flags, static_cast<mode_t>(mode));
}
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

struct SystemCall {
    const char* name;      // as ZpRegistrySetSystemCall names it
    ZpSystemCall current;  // what the store calls
    ZpSystemCall fallback; // the system's function
};

template <typename Fn> ZpSystemCall Generic(Fn fn) {
    return reinterpret_cast<ZpSystemCall>(fn);
}

enum { CallOpen, CallRead, CallWrite, CallFsync, CallRename };
SystemCall systemCalls[] = {
    {"open", Generic(SystemOpen), Generic(SystemOpen)},
    {"read", Generic(SystemRead), Generic(SystemRead)},
    {"write", Generic(SystemWrite), Generic(SystemWrite)},
    {"fsync", Generic(SystemFsync), Generic(SystemFsync)},
    {"rename", Generic(SystemRename), Generic(SystemRename)},
};

template <typename Fn> Fn Call(int which) {
    return reinterpret_cast<Fn>(systemCalls[which].current);
}

// ----------------------------------------------------------------------------------
// Names and key paths.

// Upper case in the ANSI code page (1252), the registry's way of comparing names.
unsigned char FoldCase(unsigned char c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    switch (c) {
    case 0x9A:
        return 0x8A;
    case 0x9C:
        return 0x8C;
    case 0x9E:
        return 0x8E;
    case 0xFF:
        return 0x9F;
    default:
        return c;
    }
}

bool SameName(const char* a, size_t aLength, const char* b, size_t bLength) {
    if (aLength != bLength) return false;
    for (size_t i = 0; i < aLength; ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

bool SameName(const std::string& a, const std::string& b) {
    return SameName(a.data(), a.size(), b.data(), b.size());
}

struct Root {
    HKEY handle;      // the predefined handle
    const char* name; // as written in section lines
    const char* alias;
};
const Root roots[] = {
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},
};

struct KeyPath {
    int root = 0;     // index into roots
    std::string path; // below the root: names joined by single backslashes; may be empty
};

bool SameKey(const KeyPath& a, const KeyPath& b) {
    return a.root == b.root && SameName(a.path, b.path);
}

// True when `key` lies strictly below `ancestor`.
bool IsBelow(const KeyPath& key, const KeyPath& ancestor) {
    if (key.root != ancestor.root || key.path.size() <= ancestor.path.size()) return false;
    if (ancestor.path.empty()) return true;
    return key.path[ancestor.path.size()] == '\\' &&
           SameName(key.path.data(), ancestor.path.size(), ancestor.path.data(),
                    ancestor.path.size());
}

constexpr size_t MaxKeyNameLength = 255;
constexpr size_t MaxValueNameLength = 16383;

// Appends `subKey` to `path`. As on Windows a key name may not be empty (so no leading
// or doubled backslash; one trailing backslash is ignored) nor longer than 255
// characters. Control characters are refused too: they could not be written to a
// section line.
LONG AppendSubKey(std::string& path, const char* subKey) {
    if (!subKey || !*subKey) return ERROR_SUCCESS;
    std::string names = subKey;
    if (names.back() == '\\') names.pop_back();
    size_t start = 0;
    while (true) {
        size_t end = names.find('\\', start);
        if (end == std::string::npos) end = names.size();
        if (end == start) return ERROR_BAD_PATHNAME;
        if (end - start > MaxKeyNameLength) return ERROR_INVALID_PARAMETER;
        for (size_t i = start; i < end; ++i)
            if (static_cast<unsigned char>(names[i]) < 0x20 || names[i] == 0x7F)
                return ERROR_INVALID_PARAMETER;
        if (end == names.size()) break;
        start = end + 1;
    }
    if (!path.empty()) path += '\\';
    path += names;
    return ERROR_SUCCESS;
}

// ----------------------------------------------------------------------------------
// The file's lines.

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The line without blanks at either end, nor the carriage return of a CRLF line end,
// which each line keeps so that a write gives its bytes back.
std::string Trim(const std::string& text) {
    size_t from = 0, to = text.size();
    while (from < to && IsBlank(text[from]))
        ++from;
    while (to > from && (IsBlank(text[to - 1]) || text[to - 1] == '\r'))
        --to;
    return text.substr(from, to - from);
}

// Any line that begins with "[" ends the section before it, also one that does not
// name a key: the entries after a damaged section line belong to no key.
bool StartsSection(const std::string& text) {
    std::string trimmed = Trim(text);
    return !trimmed.empty() && trimmed[0] == '[';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithFolded(const std::string& text, size_t at, const char* prefix) {
    size_t length = std::strlen(prefix);
    return text.size() - at >= length && SameName(text.data() + at, length, prefix, length);
}

bool ParseSection(const std::string& trimmed, KeyPath& key) {
    if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']') return false;
    std::string inner = trimmed.substr(1, trimmed.size() - 2);
    size_t split = inner.find('\\');
    std::string rootName = inner.substr(0, split);
    key.root = -1;
    for (int i = 0; i < static_cast<int>(sizeof roots / sizeof roots[0]); ++i)
        if (SameName(rootName, roots[i].name) || SameName(rootName, roots[i].alias)) key.root = i;
    if (key.root < 0) return false;
    key.path.clear();
    if (split == std::string::npos) return true;
    std::string names = inner.substr(split + 1);
    return !names.empty() && names.back() != '\\' &&
           AppendSubKey(key.path, names.c_str()) == ERROR_SUCCESS;
}

// Reads a quoted text starting at text[at] == '"'; `at` ends after the closing quote.
bool ParseQuoted(const std::string& text, size_t& at, std::string& out) {
    if (at >= text.size() || text[at] != '"') return false;
    out.clear();
    for (++at; at < text.size(); ++at) {
        char c = text[at];
        if (c == '"') {
            ++at;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++at == text.size()) return false;
        c = text[at];
        if (c == '\\' || c == '"') {
            out += c;
        } else if (c == 'x' && at + 2 < text.size() && HexDigit(text[at + 1]) >= 0 &&
                   HexDigit(text[at + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[at + 1]) * 16 + HexDigit(text[at + 2]));
            at += 2;
        } else {
            return false;
        }
    }
    return false;
}

// Reads 1 to 8 hex digits; `at` ends after them.
bool ParseHexNumber(const std::string& text, size_t& at, DWORD& number) {
    size_t digits = 0;
    number = 0;
    while (at < text.size() && HexDigit(text[at]) >= 0 && digits < 9) {
        number = number * 16 + HexDigit(text[at++]);
        ++digits;
    }
    return digits >= 1 && digits <= 8;
}

// Reads "aa,bb,..." (possibly empty) up to the end of the text.
bool ParseHexBytes(const std::string& text, size_t at, std::string& out) {
    out.clear();
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    while (at < text.size()) {
        if (at + 1 >= text.size() || HexDigit(text[at]) < 0 || HexDigit(text[at + 1]) < 0)
            return false;
        out += static_cast<char>(HexDigit(text[at]) * 16 + HexDigit(text[at + 1]));
        at += 2;
        while (at < text.size() && IsBlank(text[at]))
            ++at;
        if (at == text.size()) break;
        if (text[at++] != ',') return false;
        while (at < text.size() && IsBlank(text[at]))
            ++at;
    }
    return true;
}

bool ParseEntry(const std::string& trimmed, std::string& name, DWORD& type, std::string& data) {
    size_t at = 0;
    if (!trimmed.empty() && trimmed[0] == '@') {
        name.clear();
        at = 1;
    } else if (!ParseQuoted(trimmed, at, name)) {
        return false;
    }
    while (at < trimmed.size() && IsBlank(trimmed[at]))
        ++at;
    if (at >= trimmed.size() || trimmed[at++] != '=') return false;
    while (at < trimmed.size() && IsBlank(trimmed[at]))
        ++at;
    if (at < trimmed.size() && trimmed[at] == '"') {
        if (!ParseQuoted(trimmed, at, data) || at != trimmed.size()) return false;
        type = REG_SZ;
        data += '\0';
        return true;
    }
    if (StartsWithFolded(trimmed, at, "dword:")) {
        at += 6;
        DWORD number = 0;
        if (!ParseHexNumber(trimmed, at, number) || at != trimmed.size()) return false;
        type = REG_DWORD;
        data.assign(reinterpret_cast<const char*>(&number), 4); // stored little-endian
        return true;
    }
    if (StartsWithFolded(trimmed, at, "hex:")) {
        type = REG_BINARY;
        return ParseHexBytes(trimmed, at + 4, data);
    }
    if (StartsWithFolded(trimmed, at, "hex(")) {
        at += 4;
        if (!ParseHexNumber(trimmed, at, type) || trimmed.compare(at, 2, "):") != 0) return false;
        return ParseHexBytes(trimmed, at + 2, data);
    }
    return false;
}

void AppendQuoted(std::string& out, const std::string& text) {
    out += '"';
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
}

std::string FormatEntry(const std::string& name, DWORD type, const std::string& data) {
    std::string line;
    if (name.empty())
        line = "@";
    else
        AppendQuoted(line, name);
    line += '=';
    char number[16];
    if (type == REG_DWORD && data.size() == 4) {
        DWORD value;
        std::memcpy(&value, data.data(), 4);
        std::snprintf(number, sizeof number, "dword:%08x", value);
        line += number;
        return line;
    }
    if (type == REG_SZ && !data.empty() && data.find('\0') == data.size() - 1) {
        AppendQuoted(line, data.substr(0, data.size() - 1));
        return line;
    }
    if (type == REG_BINARY) {
        line += "hex:";
    } else {
        std::snprintf(number, sizeof number, "hex(%x):", type);
        line += number;
    }
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(number, sizeof number, i ? ",%02x" : "%02x",
                      static_cast<unsigned char>(data[i]));
        line += number;
    }
    return line;
}

std::string SectionLine(const KeyPath& key) {
    std::string line = std::string("[") + roots[key.root].name;
    if (!key.path.empty()) line += "\\" + key.path;
    return line + "]";
}

// The store file's contents as lines, each with what it says.
class Document {
  public:
    struct Line {
        std::string text;                           // as in the file, without the line feed
        enum Kind { Other, Section, Entry } kind{}; // Other: blank, comment or unparsed
        KeyPath key{};                              // Section: its key; Entry: its section's
        std::string name{};                         // Entry: the value's name as written
        DWORD type = REG_NONE;                      // Entry
        std::string data{};                         // Entry: the value's bytes
    };

    explicit Document(const std::string& contents) {
        size_t start = 0;
        while (start < contents.size()) {
            size_t end = contents.find('\n', start);
            if (end == std::string::npos) end = contents.size();
            // A carriage return stays with its line: dropping it on a write would take a
            // byte from a line the store promises to keep whole (one at the end of the
            // file, with no line feed after it, is not even a line end).
            lines_.push_back({contents.substr(start, end - start)});
            start = end + 1;
        }
        Parse();
    }

    std::string Text() const {
        std::string text;
        for (const Line& line : lines_)
            text += line.text + "\n";
        return text;
    }

    bool HasKey(const KeyPath& key) const {
        if (key.path.empty()) return true;
        for (const Line& line : lines_)
            if (line.kind == Line::Section && (SameKey(line.key, key) || IsBelow(line.key, key)))
                return true;
        return false;
    }

    // The last entry wins, as when a registry export is imported.
    const Line* Find(const KeyPath& key, const std::string& name) const {
        for (size_t i = lines_.size(); i-- > 0;)
            if (lines_[i].kind == Line::Entry && SameKey(lines_[i].key, key) &&
                SameName(lines_[i].name, name))
                return &lines_[i];
        return nullptr;
    }

    void AddKey(const KeyPath& key) {
        if (lines_.empty()) {
            lines_.push_back({"; Zarelin's registry keys and values, in the ANSI code page."});
        }
        if (!Trim(lines_.back().text).empty()) lines_.push_back({""});
        lines_.push_back({SectionLine(SpelledAsStored(key))});
        Parse();
    }

    void Set(const KeyPath& key, const std::string& name, DWORD type, const std::string& data) {
        for (size_t i = lines_.size(); i-- > 0;) {
            if (lines_[i].kind == Line::Entry && SameKey(lines_[i].key, key) &&
                SameName(lines_[i].name, name)) {
                lines_[i].text = FormatEntry(lines_[i].name, type, data);
                Parse();
                return;
            }
        }
        size_t section = lines_.size();
        for (size_t i = lines_.size(); i-- > 0 && section == lines_.size();)
            if (lines_[i].kind == Line::Section && SameKey(lines_[i].key, key)) section = i;
        if (section == lines_.size()) {
            AddKey(key);
            section = lines_.size() - 1;
        }
        // After the section's last non-blank line, so a blank line before the next
        // section stays where it is.
        size_t insertAt = section + 1;
        for (size_t i = section + 1; i < lines_.size() && !StartsSection(lines_[i].text); ++i)
            if (!Trim(lines_[i].text).empty()) insertAt = i + 1;
        lines_.insert(lines_.begin() + insertAt, Line{FormatEntry(name, type, data)});
        Parse();
    }

  private:
    void Parse() {
        bool inKey = false; // within a section that names a key
        KeyPath key;
        for (Line& line : lines_) {
            std::string trimmed = Trim(line.text);
            line.kind = Line::Other;
            if (!trimmed.empty() && trimmed[0] == '[') {
                inKey = ParseSection(trimmed, key);
                if (inKey) {
                    line.kind = Line::Section;
                    line.key = key;
                }
            } else if (inKey && !trimmed.empty() && trimmed[0] != ';' && trimmed[0] != '#' &&
                       ParseEntry(trimmed, line.name, line.type, line.data)) {
                line.kind = Line::Entry;
                line.key = key;
            }
        }
    }

    // The key with the names of its stored ancestors spelled as they are in the file,
    // so that a new key below "Software" does not start a second spelling "software".
    KeyPath SpelledAsStored(const KeyPath& key) const {
        KeyPath spelled = key;
        size_t best = 0;
        for (const Line& line : lines_) {
            if (line.kind != Line::Section || line.key.root != key.root) continue;
            const std::string& stored = line.key.path;
            size_t common = 0; // length of the shared leading names, in characters
            for (size_t i = 0; i <= stored.size() && i <= key.path.size(); ++i) {
                bool storedEnds = i == stored.size() || stored[i] == '\\';
                bool keyEnds = i == key.path.size() || key.path[i] == '\\';
                if (storedEnds && keyEnds) common = i;
                if (storedEnds || keyEnds) {
                    if (!(storedEnds && keyEnds)) break;
                    continue;
                }
                if (FoldCase(stored[i]) != FoldCase(key.path[i])) break;
            }
            if (common > best) {
                best = common;
                spelled.path = stored.substr(0, common) + key.path.substr(common);
            }
        }
        return spelled;
    }

    std::vector<Line> lines_;
};

// ----------------------------------------------------------------------------------
// The store file.

constexpr size_t MaxStoreSize = 16u << 20; // larger is not a settings file

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

// The code for a failed write: access denied for what the permissions forbid,
// otherwise a write fault.
LONG WriteError(int error) {
    return (error == EACCES || error == EPERM || error == EROFS) ? ERROR_ACCESS_DENIED
                                                                 : ERROR_CANTWRITE;
}

// Reads the whole store. A missing file is an empty store. A file that cannot be read
// (no permission, not a regular file, too large, a read error) answers
// ERROR_ACCESS_DENIED or ERROR_BADDB, for reads and writes alike: a write must not
// replace content it could not read.
LONG ReadStore(const std::string& file, std::string& contents) {
    contents.clear();
    if (file.empty()) return ERROR_SUCCESS;
    // Non-blocking, so that a FIFO put in the file's place cannot hang the host.
    int fd = Call<OpenFn>(CallOpen)(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return ERROR_SUCCESS;
        return (errno == EACCES || errno == EPERM) ? ERROR_ACCESS_DENIED : ERROR_BADDB;
    }
    LONG code = ERROR_SUCCESS;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) code = ERROR_BADDB;
    char chunk[8192];
    while (code == ERROR_SUCCESS) {
        ssize_t got = Call<ReadFn>(CallRead)(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got < 0) code = ERROR_BADDB;
            break;
        }
        contents.append(chunk, got);
        if (contents.size() > MaxStoreSize) code = ERROR_BADDB;
    }
    close(fd);
    if (code != ERROR_SUCCESS) contents.clear();
    return code;
}

void MakeDirectories(const std::string& dir) {
    for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        mkdir(dir.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos) break;
    }
}

// Writes `contents` to a temporary file beside `file` and renames it over `file`. On
// failure the old file is untouched and the temporary one removed.
LONG ReplaceStore(const std::string& file, int dirFd, const std::string& contents) {
    const std::string temporary = file + ".tmp";
    struct stat old;
    const bool hadFile = stat(file.c_str(), &old) == 0;
    int fd = Call<OpenFn>(CallOpen)(
        temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
        0666);
    if (fd < 0) return WriteError(errno);
    int error = 0;
    if (hadFile) fchmod(fd, old.st_mode & 07777); // keep what the user chose
    for (size_t done = 0; !error && done < contents.size();) {
        ssize_t put = Call<WriteFn>(CallWrite)(fd, contents.data() + done, contents.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0)
            error = put < 0 ? errno : ENOSPC;
        else
            done += put;
    }
    if (!error && Call<FsyncFn>(CallFsync)(fd) != 0) error = errno;
    if (close(fd) != 0 && !error) error = errno;
    if (!error && Call<RenameFn>(CallRename)(temporary.c_str(), file.c_str()) != 0) error = errno;
    if (error) {
        unlink(temporary.c_str());
        return WriteError(error);
    }
    fsync(dirFd); // the rename itself; the data is safe already
    return ERROR_SUCCESS;
}

// Applies `change` to the store's current contents and writes the result back, under
// a lock on the store's directory so that hosts sharing it take turns. `change`
// returns false when it left the document as it was; nothing is written then.
template <typename Change> LONG UpdateStore(const std::string& file, Change change) {
    if (file.empty()) return ERROR_CANTWRITE;
    const std::string dir = file.substr(0, file.rfind('/'));
    MakeDirectories(dir);
    int dirFd = Call<OpenFn>(CallOpen)(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (dirFd < 0) return WriteError(errno);
    // Without locking (a file system that has none), writes still replace the file
    // whole; only simultaneous writers could then miss each other's value.
    while (flock(dirFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    std::string contents;
    LONG code = ReadStore(file, contents);
    if (code == ERROR_SUCCESS) {
        Document document(contents);
        if (change(document)) code = ReplaceStore(file, dirFd, document.Text());
    }
    close(dirFd); // and with it the lock
    return code;
}

// ----------------------------------------------------------------------------------
// Key handles and the workgroup.

// What a key handle stands for: a heap object, known to be live while in openKeys.
struct OpenKey {
    KeyPath key;
    REGSAM access = 0; // as asked for when opened
    std::string file;  // the store it was opened in
};

std::mutex keysLock; // guards openKeys and workgroup
std::unordered_set<OpenKey*> openKeys;
std::string workgroup;

const KeyPath WorkgroupKey = {1, "System\\CurrentControlSet\\Services\\VxD\\VNETSUP"};

constexpr REGSAM MaximumAllowed = 0x02000000u;

// Copies what `handle` stands for; false for a handle that is not a key.
bool Resolve(HKEY handle, OpenKey& out) {
    for (int i = 0; i < static_cast<int>(sizeof roots / sizeof roots[0]); ++i) {
        if (handle == roots[i].handle) {
            out.key = {i, ""};
            out.access = KEY_ALL_ACCESS;
            out.file = StoreFile();
            return true;
        }
    }
    std::lock_guard<std::mutex> hold(keysLock);
    auto found = openKeys.find(reinterpret_cast<OpenKey*>(handle));
    if (found == openKeys.end()) return false;
    out = **found;
    return true;
}

std::string Workgroup() {
    // The network file names the workgroup; it may not have been read yet when the
    // module asks first. Read it before taking the lock, which loading it takes too.
    ZpNetworkReady();
    std::lock_guard<std::mutex> hold(keysLock);
    return workgroup;
}

// The host's workgroup makes its key and the keys above it exist.
bool KeyExists(const Document& document, const KeyPath& key) {
    return document.HasKey(key) ||
           ((SameKey(key, WorkgroupKey) || IsBelow(WorkgroupKey, key)) && !Workgroup().empty());
}

HKEY NewHandle(const OpenKey& key) {
    OpenKey* handle = new OpenKey(key);
    std::lock_guard<std::mutex> hold(keysLock);
    openKeys.insert(handle);
    return reinterpret_cast<HKEY>(handle);
}

// Resolves `parent` and `subKey` into `key`, with the access asked for.
LONG KeyBelow(HKEY parent, const char* subKey, REGSAM access, OpenKey& key) {
    if (!Resolve(parent, key)) return ERROR_INVALID_HANDLE;
    key.access = (access & MaximumAllowed) ? KEY_ALL_ACCESS : access;
    return AppendSubKey(key.key.path, subKey);
}

} // namespace

extern "C" {

LONG RegCreateKeyExA(HKEY parent, const CHAR* subKey, DWORD /*reserved*/, CHAR* /*className*/,
                     DWORD /*options*/, REGSAM access, SECURITY_ATTRIBUTES* /*security*/,
                     HKEY* result, DWORD* disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    OpenKey key;
    LONG code = KeyBelow(parent, subKey, access, key);
    if (code != ERROR_SUCCESS) return code;
    // An existing key opens without writing, so a read-only store still serves it.
    std::string contents;
    code = ReadStore(key.file, contents);
    if (code != ERROR_SUCCESS) return code;
    bool created = false;
    if (!KeyExists(Document(contents), key.key)) {
        code = UpdateStore(key.file, [&](Document& document) {
            if (KeyExists(document, key.key)) return false; // another host was quicker
            document.AddKey(key.key);
            return created = true;
        });
        if (code != ERROR_SUCCESS) return code;
    }
    *result = NewHandle(key);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY parent, const CHAR* subKey, DWORD /*options*/, REGSAM access,
                   HKEY* result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    OpenKey key;
    LONG code = KeyBelow(parent, subKey, access, key);
    if (code != ERROR_SUCCESS) return code;
    std::string contents;
    code = ReadStore(key.file, contents);
    if (code != ERROR_SUCCESS) return code;
    if (!KeyExists(Document(contents), key.key)) return ERROR_FILE_NOT_FOUND;
    *result = NewHandle(key);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY handle, const CHAR* name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size) {
    OpenKey key;
    if (!Resolve(handle, key)) return ERROR_INVALID_HANDLE;
    if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
    if (!(key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    std::string contents;
    LONG code = ReadStore(key.file, contents);
    if (code != ERROR_SUCCESS) return code;
    const std::string valueName = name ? name : "";
    Document document(contents);
    const Document::Line* entry = document.Find(key.key, valueName);
    DWORD valueType = REG_SZ;
    std::string value;
    if (entry) {
        valueType = entry->type;
        value = entry->data;
    } else if (SameKey(key.key, WorkgroupKey) && SameName(valueName, "Workgroup")) {
        value = Workgroup();
        if (value.empty()) return ERROR_FILE_NOT_FOUND;
        value += '\0';
    } else {
        return ERROR_FILE_NOT_FOUND;
    }
    const DWORD needed = static_cast<DWORD>(value.size()); // the store is at most 16 MiB
    if (type) *type = valueType;
    if (data) {
        // Too small: only the size needed is reported, the buffer is left alone.
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, value.data(), needed);
    }
    if (size) *size = needed;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY handle, const CHAR* name, DWORD /*reserved*/, DWORD type, const BYTE* data,
                    DWORD size) {
    OpenKey key;
    if (!Resolve(handle, key)) return ERROR_INVALID_HANDLE;
    const std::string valueName = name ? name : "";
    if ((!data && size > 0) || valueName.size() > MaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    if (size > MaxStoreSize / 4) return ERROR_INVALID_PARAMETER; // it could not be read back
    if (!(key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    const std::string value(reinterpret_cast<const char*>(data), data ? size : 0);
    return UpdateStore(key.file, [&](Document& document) {
        document.Set(key.key, valueName, type, value);
        return true;
    });
}

LONG RegCloseKey(HKEY handle) {
    for (const Root& root : roots)
        if (handle == root.handle) return ERROR_SUCCESS; // predefined keys stay open
    OpenKey* key = reinterpret_cast<OpenKey*>(handle);
    {
        std::lock_guard<std::mutex> hold(keysLock);
        if (openKeys.erase(key) == 0) return ERROR_INVALID_HANDLE;
    }
    delete key;
    return ERROR_SUCCESS;
}

const char* ZpRegistryPath(void) {
    thread_local std::string path;
    path = StoreFile();
    return path.c_str();
}

void ZpRegistrySetWorkgroup(const char* name) {
    std::lock_guard<std::mutex> hold(keysLock);
    workgroup = name ? name : "";
}

int ZpRegistrySetSystemCall(const char* name, ZpSystemCall call) {
    int found = -1;
    for (SystemCall& entry : systemCalls) {
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
