#include "paths.h"

#include <limits.h>

#include <cctype>

#include "codepage.h"
#include "zp_files.h"

namespace shell {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool HasDrive(const std::string& path) {
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

std::string QuoteForSh(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The length of a redirection operator written against its file name ("2>C:\log").
size_t RedirectionLength(const std::string& word) {
    size_t n = word.size() > 1 && std::isdigit(static_cast<unsigned char>(word[0])) &&
                       (word[1] == '>' || word[1] == '<')
                   ? 1
                   : 0;
    if (n < word.size() && word[n] == '<') return n + 1;
    if (n < word.size() && word[n] == '>')
        return n + (n + 1 < word.size() && word[n + 1] == '>' ? 2 : 1);
    return 0;
}

// A path word for sh: a path from a drive or a root through the drive mapping, a
// relative one with its separators turned.
std::string TranslatePathWord(const std::string& oem) {
    std::string posix;
    const bool anchored = HasDrive(oem) || (!oem.empty() && IsSeparator(oem[0]));
    if (anchored && ToPosix(oem, &posix)) {
        if (IsSeparator(oem.back()) && posix.back() != '/') posix += '/';
        return posix;
    }
    std::string utf8 = OemToUtf8(oem);
    for (char& c : utf8)
        if (c == '\\') c = '/';
    return utf8;
}

} // namespace

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

std::vector<Word> SplitWords(const std::string& line) {
    std::vector<Word> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (i == line.size()) break;
        Word word{"", i, i};
        bool quoted = false;
        for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
            if (line[i] == '"')
                quoted = !quoted;
            else
                word.text += line[i];
        }
        word.end = i;
        words.push_back(word);
    }
    return words;
}

std::string WordAt(const std::string& line, size_t cursor) {
    std::string found;
    for (const Word& word : SplitWords(line))
        if (word.start <= cursor) found = word.text;
    return found;
}

std::string ShellCommand(const std::string& line) {
    std::string command;
    size_t copied = 0;
    for (const Word& word : SplitWords(line)) {
        const std::string raw = line.substr(word.start, word.end - word.start);
        command += OemToUtf8(line.substr(copied, word.start - copied));
        copied = word.end;
        const size_t op = RedirectionLength(word.text);
        const std::string path = word.text.substr(op);
        const bool pathLike = raw.find_first_of("\"\\") != std::string::npos || HasDrive(path);
        if (!pathLike || path.empty()) {
            command += OemToUtf8(raw);
            continue;
        }
        command += word.text.substr(0, op) + QuoteForSh(TranslatePathWord(path));
    }
    return command + OemToUtf8(line.substr(copied));
}

} // namespace shell
