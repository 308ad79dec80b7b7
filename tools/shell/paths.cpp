#include "paths.h"

#include <limits.h>

#include <algorithm>

#include "codepage.h"
#include "zp_files.h"

namespace shell {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
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

bool Word::Plain() const {
    auto none = [](const std::vector<bool>& flags) {
        return std::find(flags.begin(), flags.end(), true) == flags.end();
    };
    return end - start == text.size() && none(quoted) && none(completed);
}

std::vector<Word> SplitWords(const std::string& line, const std::vector<bool>& completed) {
    auto wasCompleted = [&](size_t i) { return i < completed.size() && completed[i]; };
    auto separates = [&](size_t i) { return IsBlank(line[i]) && !wasCompleted(i); };
    std::vector<Word> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && separates(i))
            ++i;
        if (i == line.size()) break;
        Word word{"", i, i, {}, {}};
        bool quoted = false;
        for (; i < line.size() && (quoted || !separates(i)); ++i) {
            if (line[i] == '"') {
                quoted = !quoted;
                continue;
            }
            word.text += line[i];
            word.quoted.push_back(quoted);
            word.completed.push_back(wasCompleted(i));
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

} // namespace shell
