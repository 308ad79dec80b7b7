#include "history.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "codepage.h"
#include "file_io.h"
#include "menu.h"
#include "screen.h"
#include "shell.h"
#include "stop_signals.h"
#include "zarelin/host_api.h"

namespace shell {

namespace {

// A line of the command line takes at most three bytes a character in UTF-8; a file
// larger than the lines kept can be was not written by the shell, and only its start
// is read.
constexpr size_t BytesPerLine = 3 * CommandLineCapacity + 1;

bool Blank(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

// The file's lines as they stand (UTF-8), a line break at the end of the file or not.
bool ReadLines(const std::string& path, size_t limit, std::vector<std::string>* lines,
               std::string* error) {
    std::string text;
    bool more = false;
    if (!ReadRegularFile(path, limit, &text, &more)) {
        if (errno == ENOENT) return true;
        *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    // A file cut at the limit ends in part of a line: that part is not a line.
    if (more) {
        const size_t last = text.rfind('\n');
        text.erase(last == std::string::npos ? 0 : last + 1);
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines->push_back(line);
        start = end + 1;
    }
    return true;
}

bool WriteAll(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Replaces the file at `path` with `bytes`: a new file beside it, renamed over it once
// it is complete, so that no reader (and no crash) ever sees half of it.
bool ReplaceFile(const std::string& path, const std::string& bytes, std::string* error) {
    std::vector<char> temp(path.begin(), path.end());
    const char suffix[] = ".new-XXXXXX";
    temp.insert(temp.end(), suffix, suffix + sizeof suffix); // with the terminator
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = WriteAll(fd, bytes) && fsync(fd) == 0;
    const int writeErrno = errno;
    if (close(fd) != 0 || !written || rename(temp.data(), path.c_str()) != 0) {
        *error = "cannot write " + path + ": " + std::strerror(written ? errno : writeErrno);
        unlink(temp.data());
        return false;
    }
    return true;
}

} // namespace

bool History::Keeps(const std::deque<std::string>& lines, const std::string& line) {
    // A line break written raw would make two lines of one when the file is read.
    return !Blank(line) && line.find_first_of("\r\n") == std::string::npos &&
           (lines.empty() || lines.back() != line);
}

void History::Push(std::deque<std::string>* lines, const std::string& line) const {
    lines->push_back(line);
    while (lines->size() > limit_)
        lines->pop_front();
}

void History::Add(const std::string& oem) {
    if (Keeps(lines_, oem)) {
        Push(&lines_, oem);
        Push(&added_, oem);
    }
    recalled_ = lines_.size();
    typed_.clear();
}

bool History::Older(const std::string& current, std::string* line) {
    if (recalled_ == 0 || lines_.empty()) return false;
    if (recalled_ >= lines_.size()) {
        recalled_ = lines_.size();
        typed_ = current;
    }
    *line = lines_[--recalled_];
    return true;
}

bool History::Newer(std::string* line) {
    if (recalled_ >= lines_.size()) return false;
    *line = ++recalled_ == lines_.size() ? typed_ : lines_[recalled_];
    return true;
}

bool History::Matching(const std::string& prefix, const std::string& current, std::string* line) {
    const size_t n = lines_.size(), from = std::min(recalled_, n);
    // Back from the line on show to the oldest, then round from the newest to it.
    for (size_t step = 1; step <= n; ++step) {
        const size_t i = (from + 2 * n - step) % n;
        if (lines_[i].compare(0, prefix.size(), prefix) != 0) continue;
        Chose(i, current);
        *line = lines_[i];
        return true;
    }
    return false;
}

void History::Chose(size_t index, const std::string& current) {
    if (recalled_ >= lines_.size()) typed_ = current;
    recalled_ = std::min(index, lines_.size());
}

bool History::Load(const std::string& path, std::string* error) {
    std::vector<std::string> lines;
    if (!ReadLines(path, limit_ * BytesPerLine, &lines, error)) return false;
    lines_.clear();
    for (const std::string& line : lines) {
        const std::string oem = Utf8ToOem(line);
        if (Keeps(lines_, oem)) Push(&lines_, oem);
    }
    recalled_ = lines_.size();
    typed_.clear();
    return true;
}

bool History::Save(const std::string& path, std::string* error) {
    // What the file holds now is read again: lines another shell saved since this one
    // started stay, older than this session's.
    std::vector<std::string> onFile;
    if (!ReadLines(path, limit_ * BytesPerLine, &onFile, error)) return false;
    std::deque<std::string> merged; // UTF-8: the file's own lines are kept as they are
    for (const std::string& line : onFile)
        if (Keeps(merged, line)) Push(&merged, line);
    for (const std::string& line : added_) {
        const std::string utf8 = OemToUtf8(line);
        if (Keeps(merged, utf8)) Push(&merged, utf8);
    }
    std::string bytes;
    for (const std::string& line : merged)
        bytes += line + '\n';
    if (!ReplaceFile(path, bytes, error)) return false;
    added_.clear(); // saved: a second save adds them no more
    return true;
}

namespace {

std::string HistoryFile() {
    const std::string dir = StateDirectory();
    return dir.empty() ? "" : dir + "/history";
}

} // namespace

History& ShellHistory() {
    static History history;
    return history;
}

void HistoryOlder() {
    std::string line;
    if (ShellHistory().Older(Shell.line.text(), &line)) Shell.line.Set(line);
}

void HistoryNewer() {
    std::string line;
    if (ShellHistory().Newer(&line)) Shell.line.Set(line);
}

void HistoryMatching() {
    // The cursor stays after what was typed, so that F8 again looks for the same start.
    const size_t cursor = Shell.line.cursor();
    const std::string prefix = Shell.line.text().substr(0, cursor);
    std::string line;
    if (!ShellHistory().Matching(prefix, Shell.line.text(), &line)) {
        Notice("No earlier line begins so.", true);
        return;
    }
    Shell.line.Set(line);
    Shell.line.SetCursor(cursor);
}

void HistoryMenu() {
    History& history = ShellHistory();
    const std::deque<std::string>& lines = history.lines();
    if (lines.empty()) {
        Notice("No line has been run yet.", true);
        return;
    }
    // The list shows each line's start; the line chosen is taken whole.
    std::vector<MenuItem> items(lines.size(), MenuItem());
    for (size_t i = 0; i < lines.size(); ++i)
        std::strncpy(items[i].Text, lines[i].c_str(), sizeof items[i].Text - 1);
    items.back().Selected = 1;
    const int chosen =
        ShowMenu(Utf8ToOem("History"), items.data(), static_cast<int>(items.size()), false);
    if (chosen < 0) return;
    history.Chose(static_cast<size_t>(chosen), Shell.line.text());
    Shell.line.Set(lines[static_cast<size_t>(chosen)]);
}

void LoadHistory() {
    const std::string file = HistoryFile();
    std::string error;
    if (!file.empty() && !ShellHistory().Load(file, &error))
        AddOutput("The history could not be read: " + error + ".");
}

std::string SaveHistory() {
    const std::string file = HistoryFile();
    std::string error;
    if (file.empty()) return ""; // nowhere to keep it, as with the recovery notes
    return ShellHistory().Save(file, &error) ? "" : error;
}

} // namespace shell
