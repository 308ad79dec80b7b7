// The shell's one state object and the drawing of its screen.
#pragma once

#include <deque>
#include <string>

#include "line_editor.h"
#include "screen.h"

namespace shell {

class Editor;

// The longest command line: what the module's 1024-byte line buffer holds.
constexpr size_t CommandLineCapacity = 1023;

struct ShellState {
    LineEditor line{CommandLineCapacity};        // the command line, OEM
    size_t scroll = 0;                           // first index of the line shown after the prompt
    std::deque<std::string> output;              // lines shown above the prompt, OEM, oldest first
    std::deque<std::vector<Style>> outputStyles; // beside output: empty for plain text
    std::string notice;       // shown instead of the key labels until the next key, OEM
    std::string cwd;          // the current directory as the user reached it (POSIX)
    Editor* editor = nullptr; // the open editor; null on the command line
    bool quit = false;
    bool refusedRun = false; // the key before was refused: the bell has rung already
    bool refusedNow = false; // the current key was refused
};

extern ShellState Shell;

// Appends lines of UTF-8 text (split at newlines) to the output above the prompt.
void AddOutput(const std::string& utf8);
// Appends one line that is already OEM text.
void AddOutputOem(const std::string& oem);
// Appends one line of OEM text as a program drew it, a Style a character.
void AddOutputStyled(const std::string& oem, const std::vector<Style>& styles);
// Forgets the output (cls).
void ClearOutput();
// Draws the output up to line `end`, that line at row `bottom` and older ones above
// it, long lines wrapped.
void DrawOutput(int bottom, size_t end = static_cast<size_t>(-1));

// The rows of the command screen: the command line last, the key labels (or a
// notice) just above it, -1 on a screen of one row.
int CommandLineRow();
int KeyLabelRow();

// The prompt for a screen `width` columns wide, OEM, ending in '>'.
std::string Prompt(int width);

// Draws the current screen (the editor when one is open, else the command line) into
// the console buffer, the cursor included; Render() shows it.
void DrawScreen();

// Shows `utf8` in the key-label row until the next key, with a bell when asked.
void Notice(const std::string& utf8, bool bell = false);

// A character refused (a full line): one bell and one notice for a run of them, such
// as the rest of a long paste.
void Refuse(const std::string& utf8);

} // namespace shell
