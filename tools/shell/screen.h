// The console screen buffer and the terminal. Everything the shell shows is drawn
// into the platform's console buffer (OEM bytes), so that the module reads back what
// the user sees, and the buffer is then copied to the terminal in Unicode. The only
// thing the buffer cannot hold, the look of a cell, is kept here beside it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace shell {

enum class Look { Normal, Reverse, Bold, Title };

// The look of a cell as a program drew it: colours of the 256-colour palette and
// attributes. The shell's own Looks are Styles too.
struct Style {
    enum : uint8_t { Bold = 1, Underline = 2, Reverse = 4, Italic = 8 };
    int16_t fg = -1; // a palette index, or -1 for the terminal's default
    int16_t bg = -1;
    uint8_t attrs = 0;

    bool operator==(const Style& other) const {
        return fg == other.fg && bg == other.bg && attrs == other.attrs;
    }
};

namespace screen {

// Takes over the terminal (ncurses). False, with the terminal untouched, when it
// cannot.
bool Start();
// Gives the terminal back.
void Stop();

// Makes the console buffer as large as the terminal, as after the terminal was resized.
void FollowTerminal();
int Width();
int Height();

// Blanks every cell.
void Clear();
// Writes OEM text at column x of row y, clipped to the row.
void Put(int x, int y, const std::string& oem, Look look = Look::Normal);
// The same with a Style a character (the rest of the row, where they run out, Normal).
void PutStyled(int x, int y, const std::string& oem, const std::vector<Style>& styles);
// Fills `count` cells of row y from column x with `oem`.
void Fill(int x, int y, int count, char oem, Look look = Look::Normal);

// Puts the console cursor at x,y; a hidden cursor is not shown on the terminal but
// stays in the buffer for the module to read.
void SetCursor(int x, int y, bool visible = true);

// Hides the cursor on the terminal, leaving it where it is in the buffer.
void HideCursor();

// Copies the buffer to the terminal.
void Render();

// Rings the terminal's bell (or flashes a terminal that has none).
void Bell();

} // namespace screen
} // namespace shell

namespace shell {
namespace screen {

// One key: a character (Unicode; 0 is Ctrl+Space) or an ncurses KEY_* code.
struct Key {
    bool special; // code is a KEY_* value
    int code;
};

// Waits for the next key. A resized terminal comes back as KEY_RESIZE, with the
// console buffer already resized to follow it. A stop signal, even one that came
// before the wait began, ends the shell instead (HonourStopSignal), and so does a
// terminal that is gone (as a hangup).
Key ReadKey();
// The same, waiting at most `milliseconds`; false when no key came.
bool ReadKeyWithin(int milliseconds, Key* key);
// Queues a key to be read before the terminal's next ones (keys typed while a
// command ran).
void TypeAhead(const Key& key);

} // namespace screen
} // namespace shell
