#include "commands.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "codepage.h"
#include "command_line.h"
#include "file_io.h"
#include "help.h"
#include "module.h"
#include "paths.h"
#include "run.h"
#include "screen.h"
#include "shell.h"
#include "stop_signals.h"
#include "win32.h"
#include "zp_files.h"

namespace shell {

namespace {

constexpr size_t TypeLimit = 4 << 20; // `type` shows at most this much of a file

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return "";
    return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

// "1,234,567"
std::string Grouped(unsigned long long n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string Padded(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

bool ChangeDirectory(const std::string& rest) {
    // A console takes the rest of the line as the path, blanks and all.
    std::string arg = Trim(rest);
    if (Lower(arg.substr(0, 3)) == "/d ") arg = Trim(arg.substr(3));
    if (arg.empty()) {
        AddOutputOem(ToWindows(Shell.cwd));
        return true;
    }
    std::string target;
    if (!ToPosix(arg, &target)) {
        AddOutput("The system cannot find the drive specified.");
        return false;
    }
    struct stat info;
    if (stat(target.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || chdir(target.c_str()) != 0) {
        AddOutput("The system cannot find the path specified.");
        return false;
    }
    Shell.cwd = CurrentDirectory();
    if (Shell.cwd.empty()) Shell.cwd = "/";
    setenv("PWD", Shell.cwd.c_str(), 1);
    return true;
}

struct Entry {
    std::string name;
    bool directory;
    unsigned long long size;
    time_t modified;
};

// Lists what the file search finds, as cmd's dir does: a folder's entries, or those
// that a name or pattern matches.
bool ListDirectory(const std::vector<Word>& words) {
    std::string arg;
    for (const Word& word : words)
        if (word.text.empty() || word.text[0] != '/') arg = word.text; // switches are ignored
    std::string mask = arg.empty() ? "*" : arg, posix;
    if (!arg.empty() && NamedPath(arg, &posix) && IsDirectory(posix))
        mask = arg + (arg.back() == '\\' || arg.back() == '/' ? "*" : "\\*");
    const size_t name = LastComponent(mask);
    std::string folder;
    if (!ToPosix(name ? mask.substr(0, name) : ".", &folder)) {
        AddOutput("The system cannot find the drive specified.");
        return false;
    }
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(mask.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND) {
        AddOutput("The system cannot find the path specified.");
        return false;
    }
    std::vector<Entry> entries;
    size_t seen = 0;
    while (search != INVALID_HANDLE_VALUE) {
        if (++seen % 256 == 0) HonourStopSignal(); // a large folder
        const std::string name = data.cFileName;
        char path[PATH_MAX];
        struct stat info = {};
        if (name != "." && name != ".." && ZpFindPosixPath(search, path, sizeof path) &&
            (stat(path, &info) == 0 || lstat(path, &info) == 0))
            entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                               static_cast<unsigned long long>(info.st_size), info.st_mtime});
        if (!FindNextFileA(search, &data)) {
            FindClose(search);
            search = INVALID_HANDLE_VALUE;
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return Lower(a.name) < Lower(b.name); });

    AddOutputOem(" Directory of " + ToWindows(folder));
    AddOutput("");
    if (entries.empty()) {
        AddOutput("File Not Found");
        return false;
    }
    unsigned long long files = 0, dirs = 0, bytes = 0;
    for (const Entry& e : entries) {
        char when[32] = "";
        struct tm local;
        if (localtime_r(&e.modified, &local))
            std::strftime(when, sizeof when, "%Y-%m-%d  %H:%M", &local);
        std::string size =
            e.directory ? std::string("<DIR>         ") : Padded(Grouped(e.size), 14);
        AddOutputOem(std::string(when) + "    " + size + " " + e.name);
        if (e.directory) {
            ++dirs;
        } else {
            ++files;
            bytes += e.size;
        }
    }
    AddOutput(Padded(std::to_string(files), 16) + " File(s) " + Padded(Grouped(bytes), 14) +
              " bytes");
    AddOutput(Padded(std::to_string(dirs), 16) + " Dir(s)");
    return true;
}

// Shows files; a FIFO or a device would never end, so only regular files are read.
bool TypeFiles(const std::vector<Word>& words) {
    if (words.empty()) {
        AddOutput("The syntax of the command is incorrect.");
        return false;
    }
    size_t shown = 0;
    for (const Word& word : words) {
        std::string path;
        struct stat info;
        if (!NamedPath(word.text, &path) || stat(path.c_str(), &info) != 0) {
            AddOutput("The system cannot find the file specified.");
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            AddOutput("Access is denied.");
            continue;
        }
        if (!S_ISREG(info.st_mode)) {
            AddOutput(EscapeControls(OemToUtf8(word.text)) +
                      " is not a file: type shows only files.");
            continue;
        }
        std::string text;
        bool more = false;
        if (!ReadRegularFile(path, TypeLimit, &text, &more)) {
            AddOutput("Access is denied.");
            continue;
        }
        if (!text.empty() && text.back() == '\n') text.pop_back();
        AddOutput(text);
        if (more) AddOutput("[only the first " + std::to_string(TypeLimit >> 20) + " MB shown]");
        ++shown;
    }
    return shown == words.size();
}

const char* const BuiltIns[] = {"cd", "chdir", "dir", "type", "cls", "help", "exit"};

// The built-in a command names, with "cd.." and "cd\" taken as cmd takes them; null
// for a program.
const char* BuiltInOf(const Command& command, std::string* rest) {
    std::string name = Lower(command.words[0].text);
    *rest = command.rest;
    if (name.size() > 2 && name.compare(0, 2, "cd") == 0 && (name[2] == '.' || name[2] == '\\')) {
        *rest = command.words[0].text.substr(2) + command.rest;
        name = "cd";
    }
    for (const char* builtIn : BuiltIns)
        if (name == builtIn) return builtIn;
    return nullptr;
}

bool RunBuiltIn(const std::string& name, const Command& command, const std::string& rest) {
    const std::vector<Word> arguments(command.words.begin() + 1, command.words.end());
    if (name == "cd" || name == "chdir") return ChangeDirectory(rest);
    if (name == "dir") return ListDirectory(arguments);
    if (name == "type") return TypeFiles(arguments);
    if (name == "help") {
        std::string text = HelpText;
        text.pop_back(); // the last line's break would add an empty line
        AddOutput(text);
        return true;
    }
    if (name == "cls")
        ClearOutput();
    else
        Shell.quit = true;
    return true;
}

// Says how a program ended when it did not end well; true when it succeeded.
bool Report(int status) {
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    if (WIFEXITED(status))
        AddOutput("[exit status " + std::to_string(WEXITSTATUS(status)) + "]");
    else if (WIFSIGNALED(status))
        AddOutput(std::string("[ended by signal ") + std::to_string(WTERMSIG(status)) + ": " +
                  strsignal(WTERMSIG(status)) + "]");
    return false;
}

} // namespace

void RunLine(const std::string& oemLine) {
    AddOutputOem(Prompt(screen::Width()) + oemLine);
    std::vector<Pipeline> pipelines;
    std::string error;
    if (!ParseCommandLine(oemLine, &pipelines, &error)) {
        AddOutput(error);
        return;
    }
    bool succeeded = true;
    for (size_t i = 0; i < pipelines.size() && !Shell.quit; ++i) {
        const Then after = i > 0 ? pipelines[i - 1].then : Then::Always;
        if ((after == Then::IfSucceeded && !succeeded) || (after == Then::IfFailed && succeeded))
            continue;
        const Pipeline& pipeline = pipelines[i];
        std::string rest;
        const char* builtIn = BuiltInOf(pipeline.commands[0], &rest);
        if (builtIn && pipeline.commands.size() == 1 && pipeline.commands[0].redirections.empty()) {
            succeeded = RunBuiltIn(builtIn, pipeline.commands[0], rest);
            continue;
        }
        if (builtIn) {
            AddOutput(std::string(builtIn) +
                      " is built into this shell and cannot be piped or redirected.");
            succeeded = false;
            continue;
        }
        bool interrupted = false;
        const int status = RunPipeline(pipeline, &interrupted);
        succeeded = status != -1 && Report(status);
        if (interrupted) break; // ^C stops the rest of the line too
    }
}

} // namespace shell
