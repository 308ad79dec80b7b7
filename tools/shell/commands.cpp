#include "commands.h"

#include <curses.h>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <vector>

#include "codepage.h"
#include "module.h"
#include "paths.h"
#include "screen.h"
#include "shell.h"

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

std::string WithoutQuotes(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
    return text;
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

std::string CurrentDirectory() {
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? cwd : "/";
}

void ChangeDirectory(const std::string& rest) {
    // A console takes the rest of the line as the path, blanks and all.
    std::string arg = WithoutQuotes(Trim(rest));
    if (Lower(arg.substr(0, 3)) == "/d ") arg = Trim(arg.substr(3));
    if (arg.empty()) {
        AddOutputOem(ToWindows(Shell.cwd));
        return;
    }
    std::string target;
    if (!ToPosix(arg, &target)) {
        AddOutput("The system cannot find the drive specified.");
        return;
    }
    struct stat info;
    if (stat(target.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || chdir(target.c_str()) != 0) {
        AddOutput("The system cannot find the path specified.");
        return;
    }
    Shell.cwd = CurrentDirectory();
    setenv("PWD", Shell.cwd.c_str(), 1);
}

struct Entry {
    std::string name;
    bool directory;
    unsigned long long size;
    time_t modified;
};

void ListDirectory(const std::string& rest) {
    std::string arg;
    for (const Word& word : SplitWords(rest))
        if (word.text.empty() || word.text[0] != '/') arg = word.text; // switches are ignored
    std::string path;
    if (!ToPosix(arg.empty() ? "." : arg, &path)) {
        AddOutput("The system cannot find the drive specified.");
        return;
    }
    std::string directory = path, pattern = "*";
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        // The last component is a name or a wildcard pattern in its parent.
        const size_t slash = path.rfind('/');
        directory = slash == 0 ? "/" : path.substr(0, slash);
        const size_t cut = arg.find_last_of("\\/:");
        pattern = cut == std::string::npos ? arg : arg.substr(cut + 1);
        if (pattern == "*.*") pattern = "*"; // Windows: also the names without a dot
    }
    DIR* dir = opendir(directory.c_str());
    if (!dir) {
        AddOutput("The system cannot find the path specified.");
        return;
    }
    std::vector<Entry> entries;
    while (dirent* e = readdir(dir)) {
        const std::string name = Utf8ToOem(e->d_name);
        if (name == "." || name == ".." || !MatchLastComponent(pattern.c_str(), name.c_str()))
            continue;
        struct stat s;
        if (fstatat(dirfd(dir), e->d_name, &s, 0) != 0 &&
            fstatat(dirfd(dir), e->d_name, &s, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        entries.push_back(
            {name, S_ISDIR(s.st_mode), static_cast<unsigned long long>(s.st_size), s.st_mtime});
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return Lower(a.name) < Lower(b.name); });

    AddOutputOem(" Directory of " + ToWindows(directory));
    AddOutput("");
    if (entries.empty()) {
        AddOutput("File Not Found");
        return;
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
}

void TypeFiles(const std::string& rest) {
    const std::vector<Word> words = SplitWords(rest);
    if (words.empty()) AddOutput("The syntax of the command is incorrect.");
    for (const Word& word : words) {
        std::string path;
        struct stat info;
        if (!ToPosix(word.text, &path) || stat(path.c_str(), &info) != 0) {
            AddOutput("The system cannot find the file specified.");
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            AddOutput("Access is denied.");
            continue;
        }
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            AddOutput("Access is denied.");
            continue;
        }
        std::string text(TypeLimit, '\0');
        file.read(&text[0], static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<size_t>(file.gcount()));
        if (!text.empty() && text.back() == '\n') text.pop_back();
        AddOutput(text);
        if (file.peek() != std::char_traits<char>::eof())
            AddOutput("[only the first " + std::to_string(TypeLimit >> 20) + " MB shown]");
    }
}

// Moves the finished lines of `pending` to the output.
void TakeLines(std::string& pending) {
    size_t end = pending.rfind('\n');
    if (end == std::string::npos) return;
    AddOutput(pending.substr(0, end));
    pending.erase(0, end + 1);
}

void RunExternal(const std::string& oemLine) {
    const std::string command = ShellCommand(oemLine);
    int out[2];
    if (pipe(out) != 0) {
        AddOutput(std::string("Cannot run the command: ") + std::strerror(errno));
        return;
    }
    pid_t child = fork();
    if (child < 0) {
        AddOutput(std::string("Cannot run the command: ") + std::strerror(errno));
        close(out[0]);
        close(out[1]);
        return;
    }
    if (child == 0) {
        // A session of its own: no terminal to draw on (the shell owns it), and one
        // process group for ^C to reach.
        setsid();
        int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, 0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(out[0]);
        close(out[1]);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);

    std::string pending;
    std::vector<screen::Key> typedAhead; // keys for the prompt that comes back
    int status = 0;
    bool exited = false, ended = false;
    int interrupts = 0;
    for (;;) {
        if (!ended) {
            pollfd watch = {out[0], POLLIN, 0};
            if (poll(&watch, 1, exited ? 0 : 50) > 0) {
                char chunk[4096];
                ssize_t n = read(out[0], chunk, sizeof chunk);
                if (n > 0) {
                    pending.append(chunk, static_cast<size_t>(n));
                    TakeLines(pending);
                    DrawScreen();
                    screen::Render();
                } else if (n == 0 || errno != EINTR) {
                    ended = true;
                }
                continue;
            }
        }
        // Done once sh has ended and its output is read; a job it left in the
        // background may hold the pipe open for long, and is not waited for.
        if (exited) break;
        if (waitpid(child, &status, WNOHANG) == child) {
            exited = true;
            continue;
        }
        screen::Key key;
        while (screen::ReadKeyWithin(ended ? 50 : 0, &key)) {
            if (!key.special && key.code == 3) { // ^C, and a harder one if it is ignored
                kill(-child, interrupts++ == 0 ? SIGINT : SIGKILL);
            } else if (!key.special || key.code != KEY_RESIZE) {
                typedAhead.push_back(key);
            }
            DrawScreen();
            screen::Render();
        }
    }
    for (const screen::Key& key : typedAhead)
        screen::TypeAhead(key);
    close(out[0]);
    if (!pending.empty()) AddOutput(pending);
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        AddOutput("[exit status " + std::to_string(WEXITSTATUS(status)) + "]");
    else if (WIFSIGNALED(status))
        AddOutput(std::string("[ended by signal ") + std::to_string(WTERMSIG(status)) + ": " +
                  strsignal(WTERMSIG(status)) + "]");
}

} // namespace

void RunLine(const std::string& oemLine) {
    AddOutputOem(Prompt(screen::Width()) + oemLine);
    const std::string line = Trim(oemLine);
    if (line.empty()) return;
    const size_t blank = line.find_first_of(" \t");
    std::string name = Lower(line.substr(0, blank));
    std::string rest = blank == std::string::npos ? "" : line.substr(blank + 1);
    // "cd.." and "cd\" need no blank, as in a console.
    if (name.size() > 2 && name.compare(0, 2, "cd") == 0 && (name[2] == '.' || name[2] == '\\')) {
        rest = line.substr(2);
        name = "cd";
    }
    if (name == "cd" || name == "chdir")
        ChangeDirectory(rest);
    else if (name == "dir")
        ListDirectory(rest);
    else if (name == "type")
        TypeFiles(rest);
    else if (name == "cls")
        Shell.output.clear();
    else if (name == "exit")
        Shell.quit = true;
    else
        RunExternal(line);
}

} // namespace shell
