#include "command_line.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "codepage.h"
#include "zp_codepage.h"
#include "zp_files.h"

namespace shell {

namespace {

const char SyntaxError[] = "The syntax of the command is incorrect.";

struct Operator {
    const char* text;
    enum { Redirect, Pipe, Separator } kind;
    int fd;
    Redirection::Kind redirection;
    Then then;
};

const Operator Operators[] = {
    {"<", Operator::Redirect, 0, Redirection::Read, Then::End},
    {">", Operator::Redirect, 1, Redirection::Write, Then::End},
    {">>", Operator::Redirect, 1, Redirection::Append, Then::End},
    {"1>", Operator::Redirect, 1, Redirection::Write, Then::End},
    {"1>>", Operator::Redirect, 1, Redirection::Append, Then::End},
    {"2>", Operator::Redirect, 2, Redirection::Write, Then::End},
    {"2>>", Operator::Redirect, 2, Redirection::Append, Then::End},
    {"2>&1", Operator::Redirect, 2, Redirection::ToOther, Then::End},
    {"1>&2", Operator::Redirect, 1, Redirection::ToOther, Then::End},
    {"|", Operator::Pipe, 0, Redirection::Read, Then::End},
    {"&", Operator::Separator, 0, Redirection::Read, Then::Always},
    {"&&", Operator::Separator, 0, Redirection::Read, Then::IfSucceeded},
    {"||", Operator::Separator, 0, Redirection::Read, Then::IfFailed},
};

// The operator a word is: only a typed word outside quotes can be one.
const Operator* OperatorOf(const Word& word) {
    if (!word.Plain()) return nullptr;
    for (const Operator& op : Operators)
        if (word.text == op.text) return &op;
    return nullptr;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A backslash the module wrote between two characters of its own lies inside a name
// (legal on Linux); one that ends what it wrote is the mark of a directory.
bool SeparatorAt(const Word& word, size_t i) {
    const char c = word.text[i];
    if (c == '/') return true;
    if (c != '\\') return false;
    return !(word.completed[i] && i + 1 < word.text.size() && word.completed[i + 1]);
}

bool OnMappedDrive(const std::string& text) {
    char root[PATH_MAX];
    return text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) &&
           text[1] == ':' && ZpDriveRoot(text[0], root, sizeof root);
}

bool IsDirectory(const std::string& path) {
    struct stat info;
    return stat(path.empty() ? "." : path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Whether a translated word names something that is there or could be made there: the
// entry itself, or one in the directory the word names for it. A word whose only
// separator is its first or its last character ("\d+") names no directory of its own.
bool Plausible(const Word& word, const std::string& posix) {
    struct stat info;
    if (lstat(posix.c_str(), &info) == 0) return true;
    bool namesFolder = false;
    for (size_t i = 1; i + 1 < word.text.size(); ++i)
        namesFolder = namesFolder || SeparatorAt(word, i);
    if (!namesFolder) return false;
    std::string path = posix;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const size_t slash = path.rfind('/');
    return slash != std::string::npos && slash > 0 && IsDirectory(path.substr(0, slash));
}

// The entry a word names through the file search's own rules, letter case ignored and
// 8.3 names followed, as a path relative to the current directory where it lies below
// it; false when the word names nothing there as written or at all.
bool Known(const Word& word, std::string* posix) {
    struct stat info;
    if (lstat(OemToUtf8(word.text).c_str(), &info) == 0 || !ToPosix(word.text, posix) ||
        lstat(posix->c_str(), &info) != 0)
        return false;
    char cwd[PATH_MAX];
    const size_t length = getcwd(cwd, sizeof cwd) ? std::strlen(cwd) : 0;
    if (length > 1 && posix->compare(0, length, cwd) == 0 && (*posix)[length] == '/')
        posix->erase(0, length + 1);
    if (SeparatorAt(word, word.text.size() - 1) && posix->back() != '/') *posix += '/';
    return true;
}

// The text with its separators turned into slashes, in UTF-8.
std::string Slashed(const Word& word, size_t from) {
    std::string oem;
    for (size_t i = from; i < word.text.size(); ++i)
        oem += SeparatorAt(word, i) ? '/' : word.text[i];
    return OemToUtf8(oem);
}

// Where the last component of the typed word begins.
size_t LastComponent(const Word& word) {
    size_t start = 0;
    for (size_t i = 0; i < word.text.size(); ++i)
        if (SeparatorAt(word, i) || (i == 1 && OnMappedDrive(word.text))) start = i + 1;
    return start;
}

} // namespace

bool ParseCommandLine(const std::string& line, const std::vector<bool>& completed,
                      std::vector<Pipeline>* pipelines, std::string* error) {
    const std::vector<Word> words = SplitWords(line, completed);
    pipelines->clear();
    Pipeline pipeline{{}, Then::End};
    Command command;
    bool empty = true; // the command has neither a word nor a redirection yet
    size_t end = 0;    // where the command's last word ends
    auto finish = [&]() {
        if (empty || command.words.empty()) return false;
        const size_t from = command.words.front().end;
        command.rest = line.substr(from, end - from);
        pipeline.commands.push_back(command);
        command = Command();
        empty = true;
        return true;
    };
    const Operator* dangling = nullptr; // a pipe or separator with no command after it yet
    for (size_t i = 0; i < words.size(); ++i) {
        const Operator* op = OperatorOf(words[i]);
        if (!op || op->kind == Operator::Redirect) {
            dangling = nullptr;
            empty = false;
        }
        if (!op) {
            command.words.push_back(words[i]);
            end = words[i].end;
            continue;
        }
        if (op->kind == Operator::Redirect) {
            Redirection redirection{op->fd, op->redirection, Word()};
            if (op->redirection != Redirection::ToOther) {
                if (i + 1 == words.size() || OperatorOf(words[i + 1])) {
                    *error = SyntaxError;
                    return false;
                }
                redirection.target = words[++i];
            }
            command.redirections.push_back(redirection);
            end = words[i].end;
            continue;
        }
        if (!finish()) {
            *error = SyntaxError;
            return false;
        }
        dangling = op;
        if (op->kind == Operator::Separator) {
            pipeline.then = op->then;
            pipelines->push_back(pipeline);
            pipeline = Pipeline{{}, Then::End};
        }
    }
    // A line may end in "&", as in cmd, but not in "|", "&&" or "||"; every command
    // needs a program.
    if ((!empty && !finish()) || (dangling && dangling->then != Then::Always)) {
        *error = SyntaxError;
        return false;
    }
    if (!pipeline.commands.empty())
        pipelines->push_back(pipeline);
    else if (dangling)
        pipelines->back().then = Then::End;
    return true;
}

std::string PosixWord(const Word& word) {
    const std::string& text = word.text;
    bool separator = false;
    size_t literal = text.size(); // the first backslash inside a completed name
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') continue;
        if (SeparatorAt(word, i))
            separator = true;
        else if (literal == text.size())
            literal = i;
    }
    const bool drive = OnMappedDrive(text);
    const bool rooted = !text.empty() && text[0] == '\\' && SeparatorAt(word, 0);
    if (!drive && !separator) {
        // An 8.3 name (a short name the module inserted) is one the file search knows.
        std::string known;
        return text.find('~') != std::string::npos && Known(word, &known) ? known : OemToUtf8(text);
    }

    std::string posix;
    if (drive || rooted) {
        // The drive mapping takes the path up to the name that holds a backslash of its
        // own; that name and what follows it are kept as written.
        size_t cut = drive ? 2 : 1;
        for (size_t i = 0; i < literal; ++i)
            if (SeparatorAt(word, i)) cut = i + 1;
        if (literal == text.size()) cut = text.size();
        if (!ToPosix(text.substr(0, cut), &posix)) return OemToUtf8(text);
        if ((cut < text.size() || SeparatorAt(word, cut - 1)) && posix.back() != '/') posix += '/';
        posix += Slashed(word, cut);
    } else {
        posix = Slashed(word, 0);
    }
    // A typed backslash is also an escape in regular expressions and the like: only a
    // word that names a place on a drive, or one the file search knows by another
    // spelling (letter case, 8.3 names), is taken for a path.
    if (drive || Plausible(word, posix)) return posix;
    std::string known;
    return literal == text.size() && Known(word, &known) ? known : OemToUtf8(text);
}

std::vector<std::string> ExpandWord(const Word& word) {
    const std::string posix = PosixWord(word);
    const size_t start = LastComponent(word);
    const std::string pattern = word.text.substr(start);
    std::vector<bool> wild;
    bool any = false;
    for (size_t i = start; i < word.text.size(); ++i) {
        const char c = word.text[i];
        wild.push_back((c == '*' || c == '?') && !word.quoted[i] && !word.completed[i]);
        any = any || wild.back();
    }
    if (!any) return {posix};

    const size_t slash = posix.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : posix.substr(0, slash + 1);
    const bool everything = pattern == "*.*" && wild[0] && wild[2];
    std::vector<std::string> names;
    if (DIR* dir = opendir(directory.empty() ? "." : directory.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            if (name[0] == '.' && pattern[0] != '.') continue; // hidden, as on Linux
            if (everything || WildcardMatch(pattern, wild, Utf8ToOem(name))) names.push_back(name);
        }
        closedir(dir);
    }
    if (names.empty()) return {posix};
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string la = Lower(a), lb = Lower(b);
        return la != lb ? la < lb : a < b;
    });
    for (std::string& name : names)
        name = directory + name;
    return names;
}

std::string RedirectionPath(const Word& target) {
    return Lower(target.text) == "nul" ? "/dev/null" : PosixWord(target);
}

bool WildcardMatch(const std::string& pattern, const std::vector<bool>& wild,
                   const std::string& name) {
    auto isWild = [&](size_t i, char c) {
        return pattern[i] == c && (wild.empty() || (i < wild.size() && wild[i]));
    };
    // The file search's own letter case, beyond ASCII too: names are in the OEM page.
    const unsigned char* upper = ZpOemUpperTable();
    auto fold = [upper](char c) { return upper[static_cast<unsigned char>(c)]; };
    // Greedy '*' with one point to come back to: linear enough for names.
    size_t p = 0, n = 0, star = std::string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && isWild(p, '*')) {
            star = p++;
            resume = n;
        } else if (p < pattern.size() && (isWild(p, '?') || fold(pattern[p]) == fold(name[n]))) {
            ++p;
            ++n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && isWild(p, '*'))
        ++p;
    return p == pattern.size();
}

} // namespace shell
