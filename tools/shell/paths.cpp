#include "paths.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "codepage.h"
#include "stop_signals.h"
#include "win32.h"
#include "zp_codepage.h"
#include "zp_files.h"

namespace shell {

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool HasDrive(const std::string& word) {
    return word.size() >= 2 && word[1] == ':' && std::isalpha(static_cast<unsigned char>(word[0]));
}

// Whether each ".." of the word climbs out of a folder that exists: the path
// resolution applies ".." to the text, and "s/../x/" (a sed script) is no path.
bool ClimbsOnlyExistingFolders(const std::string& word) {
    for (size_t i = 0; i + 1 < word.size(); ++i) {
        const bool starts = i == 0 || IsSeparator(word[i - 1]) || (i == 2 && HasDrive(word));
        const bool ends = i + 2 == word.size() || IsSeparator(word[i + 2]);
        if (!starts || !ends || word.compare(i, 2, "..") != 0) continue;
        std::string folder;
        if (!ToPosix(i == 0 ? "." : word.substr(0, i), &folder) || !IsDirectory(folder))
            return false;
    }
    return true;
}

// `posix` as a relative word would give it: relative to the current directory when it
// lies below it.
std::string RelativeFor(const std::string& word, std::string posix) {
    const bool relative = !HasDrive(word) && !(!word.empty() && IsSeparator(word[0]));
    const std::string cwd = CurrentDirectory();
    if (relative && cwd.size() > 1 && posix.compare(0, cwd.size(), cwd) == 0) {
        if (posix.size() == cwd.size()) return ".";
        if (posix[cwd.size()] == '/') posix.erase(0, cwd.size() + 1);
    }
    return posix;
}

// A word with a wildcard in its last component, as the file search takes it; false
// for a word with none, or with a quoted one (no name holds '*' or '?').
bool IsPattern(const Word& word) {
    bool wild = false;
    for (size_t i = LastComponent(word.text); i < word.text.size(); ++i) {
        if (word.text[i] != '*' && word.text[i] != '?') continue;
        if (word.literal[i]) return false;
        wild = true;
    }
    return wild;
}

struct Match {
    std::string name; // OEM, as the file search gives it
    std::string path; // POSIX
};

} // namespace

size_t LastComponent(const std::string& word) {
    size_t start = HasDrive(word) ? 2 : 0;
    for (size_t i = start; i < word.size(); ++i)
        if (IsSeparator(word[i])) start = i + 1;
    return start;
}

bool IsDirectory(const std::string& posix) {
    struct stat info;
    return stat(posix.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string CurrentDirectory() {
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? cwd : "";
}

bool ToPosix(const std::string& windowsPath, std::string* posix) {
    char out[PATH_MAX];
    if (!ZpTranslatePath(windowsPath.c_str(), out, sizeof out)) return false;
    *posix = out;
    return true;
}

std::string ToWindows(const std::string& posix) {
    char out[PATH_MAX + 3];
    return ZpWindowsPath(posix.c_str(), out, sizeof out) ? out : "";
}

bool NamedPath(const std::string& word, std::string* posix) {
    if (word.empty() || !ClimbsOnlyExistingFolders(word) || !ToPosix(word, posix)) return false;
    struct stat info;
    if (lstat(posix->c_str(), &info) == 0) return true;
    const size_t slash = posix->rfind('/');
    return slash != std::string::npos && IsDirectory(slash == 0 ? "/" : posix->substr(0, slash));
}

std::string Argument(const Word& word) {
    std::string posix;
    if (word.plain || !NamedPath(word.text, &posix)) return OemToUtf8(word.text);
    posix = RelativeFor(word.text, posix);
    if (IsSeparator(word.text.back()) && posix.back() != '/') posix += '/';
    return posix;
}

bool RedirectionPath(const Word& target, std::string* path) {
    std::string lower = target.text;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "nul") {
        *path = "/dev/null";
        return true;
    }
    if (!target.plain) return NamedPath(target.text, path);
    *path = OemToUtf8(target.text);
    return true;
}

std::vector<std::string> ExpandWord(const Word& word) {
    if (!IsPattern(word)) return {Argument(word)};
    const std::string pattern = word.text.substr(LastComponent(word.text));
    std::vector<Match> matches;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(word.text.c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        char path[PATH_MAX];
        size_t seen = 0;
        do {
            if (++seen % 256 == 0) HonourStopSignal(); // a large folder
            const std::string name = data.cFileName;
            if (name == "." || name == ".." || (name[0] == '.' && pattern[0] != '.')) continue;
            if (ZpFindPosixPath(search, path, sizeof path))
                matches.push_back({name, RelativeFor(word.text, path)});
        } while (FindNextFileA(search, &data));
        FindClose(search);
    }
    if (matches.empty()) return {OemToUtf8(word.text)};
    const unsigned char* upper = ZpOemUpperTable();
    std::sort(matches.begin(), matches.end(), [upper](const Match& a, const Match& b) {
        return std::lexicographical_compare(
            a.name.begin(), a.name.end(), b.name.begin(), b.name.end(), [upper](char x, char y) {
                return upper[static_cast<unsigned char>(x)] < upper[static_cast<unsigned char>(y)];
            });
    });
    std::vector<std::string> paths;
    for (Match& match : matches)
        paths.push_back(std::move(match.path));
    return paths;
}

} // namespace shell
