// The screen of the pseudo-terminal the programs of a line run in, kept by libvterm,
// and drawn into the console buffer, so that the console always shows what the
// programs drew. Lines that scroll off its top join the output above the prompt.
#pragma once

#include <string>
#include <vector>

#include "screen.h"

struct VTerm;
struct VTermScreen;

namespace shell {

class ProgramTerminal {
  public:
    // A screen of `rows` x `cols` whose answers and keys go to the pty master `master`.
    ProgramTerminal(int rows, int cols, int master);
    ~ProgramTerminal();
    ProgramTerminal(const ProgramTerminal&) = delete;
    ProgramTerminal& operator=(const ProgramTerminal&) = delete;

    // What the programs wrote.
    void Feed(const char* data, size_t size);
    // A key for the programs, as the terminal sends it in the modes they asked for;
    // how many bytes that took.
    size_t Key(const screen::Key& key);
    void Resize(int rows, int cols);

    // Draws the screen into the console buffer, the cursor included: a full-screen
    // program's alternate screen as it is, else the output above the rows in use.
    void Draw();
    // The programs ended: an alternate screen left behind is dropped, as terminals do,
    // and the rows in use join the output.
    void Finish();

  private:
    friend struct TerminalCallbacks; // libvterm's, in terminal.cpp

    int RowsInUse() const;
    // One row of the screen as OEM text and styles, trailing blanks left out.
    void Row(int row, std::string* oem, std::vector<Style>* styles) const;

    VTerm* vt_;
    VTermScreen* screen_;
    int master_;
    size_t written_ = 0; // bytes the keys took, all told
    int rows_, cols_;
    bool altScreen_ = false;
    bool cursorVisible_ = true;
};

} // namespace shell
