// The lines run at the command line, as a console keeps them: Up and Down step through
// them, F7 lists them, F8 finds the newest that begins as the line does. They outlive
// the shell in the state directory, so that the next shell starts with them.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

namespace shell {

constexpr size_t HistoryLinesKept = 1000;

class History {
  public:
    explicit History(size_t limit = HistoryLinesKept) : limit_(limit) {}

    // The lines, OEM, oldest first.
    const std::deque<std::string>& lines() const { return lines_; }

    // Keeps a line that was run, and starts the next recall from the newest line. A
    // blank line, a repeat of the newest and a line holding a line break are not kept.
    void Add(const std::string& oem);

    // Up: the line before the one last recalled (the newest at first). `current` is
    // the line as it stands, given back by Newer past the newest. False at the oldest.
    bool Older(const std::string& current, std::string* line);
    // Down: the line after the one last recalled; past the newest, the line that was
    // being typed. False when no line is being recalled.
    bool Newer(std::string* line);
    // F8: the nearest line before the one last recalled that begins with `prefix`,
    // going round to the newest again; false when no line does.
    bool Matching(const std::string& prefix, const std::string& current, std::string* line);
    // F7: line `index` was chosen from the list; the next Up and Down go on from it.
    void Chose(size_t index, const std::string& current);

    // Reads the file at `path` (UTF-8, one line a line) in place of the lines held; a
    // file that does not exist yet holds none. False with the reason in `error`.
    bool Load(const std::string& path, std::string* error);
    // Adds the lines this session kept to what the file holds now (another shell may
    // have written it since it was read), keeps the newest, and replaces the file with
    // a complete new one, so that a shell stopped half-way leaves the old file whole.
    bool Save(const std::string& path, std::string* error);

  private:
    static bool Keeps(const std::deque<std::string>& lines, const std::string& line);
    void Push(std::deque<std::string>* lines, const std::string& line) const;

    size_t limit_;
    std::deque<std::string> lines_; // OEM
    std::deque<std::string> added_; // this session's, not yet saved, OEM
    size_t recalled_ = 0;           // index of the line on show; lines_.size(): none
    std::string typed_;             // the line as it was before the first recall
};

// The shell's history: the keys act on the command line, and the file is kept in the
// state directory.
History& ShellHistory();
void HistoryOlder();    // Up
void HistoryNewer();    // Down
void HistoryMatching(); // F8
void HistoryMenu();     // F7
// Reads the file; a failure is said above the prompt, and the shell goes on without.
void LoadHistory();
// Writes the file; empty, or why it could not be written.
std::string SaveHistory();

} // namespace shell
