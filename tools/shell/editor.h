// A small text editor for one file, in which the module completes on the current line
// through the host's editor services.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "file_io.h"

namespace shell {

class Editor {
  public:
    // Opens the file at `path` (POSIX) shown as `shownName` (OEM); a file that does
    // not exist yet starts empty. Null, with a message, when it cannot be edited.
    static std::unique_ptr<Editor> Open(const std::string& path, const std::string& shownName,
                                        std::string* error);

    // Runs until the user leaves the editor.
    void Run();

    // Draws the editor into the console buffer.
    void Draw();

    // HostEditor: 0 reads the current line, 1 replaces it, 6 reports the cursor,
    // 7 moves it. Returns 1 when done, 0 for a command or record it cannot serve.
    int32_t Service(int32_t command, void* record);

    // Writes the file back, in UTF-8 with its own line ends; false (with a notice)
    // when it is read-only or cannot be written, leaving the old file whole. A file
    // changed on disk since it was read or saved here is written over only when the
    // user says so.
    bool Save();

    // Writes unsaved edits to a recovery file beside the file (the shell is being
    // stopped by `why`). What became of them, for the user, control characters
    // escaped; empty when nothing was unsaved.
    std::string Recover(const char* why);

  private:
    Editor() = default;

    // Asks whether to save before leaving; true when the editor may close.
    bool ConfirmLeave();
    // Asks whether to write over a file changed on disk; true when the user said yes.
    bool ConfirmOverwrite();
    // The file's name as messages show it: UTF-8, control characters escaped.
    std::string ShownName() const;
    // The text as saving writes it: UTF-8, with the file's own line ends.
    std::string Contents() const;
    void Complete(int preChosen);
    bool Editable();
    void InsertChar(char c);
    void SplitLine();
    void Backspace();
    void Delete();
    void KeepCursorInView(int textRows, int width);

    std::string path_;               // the file, POSIX
    std::string shownName_;          // as the title shows it, OEM
    std::vector<std::string> lines_; // OEM, never empty
    size_t row_ = 0;                 // the cursor's line
    size_t column_ = 0;              // the cursor's character index in its line
    size_t top_ = 0;                 // first line shown
    size_t left_ = 0;                // first screen column of the text shown
    std::string endOfLine_ = "\n";   // what the file's lines end with
    bool finalNewline_ = true;       // the last line ends with endOfLine_
    FileIdentity onDisk_;            // the file as it was read or last saved here
    bool modified_ = false;
    bool readOnly_ = false;
    std::string readOnlyWhy_; // UTF-8
    bool leave_ = false;
    std::string lineForModule_; // the text handed out by command 0, alive until the next
};

// Where a character index of an OEM line falls on the screen, with tabs every 8.
size_t ScreenColumn(const std::string& line, size_t index);

} // namespace shell
