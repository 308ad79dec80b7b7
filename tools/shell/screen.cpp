#include "screen.h"

#include <curses.h>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <wchar.h>

#include <cstring>
#include <deque>
#include <vector>

#include "codepage.h"
#include "stop_signals.h"
#include "zp_console.h"

namespace shell {
namespace screen {

namespace {

int width = 0;
int height = 0;
std::vector<Style> looks; // one per cell, row after row
bool cursorVisible = true;
bool unicodeTerminal = true; // false: a terminal that cannot take UTF-8 gets ASCII

Style StyleOf(Look look) {
    Style style;
    if (look == Look::Reverse || look == Look::Title) style.attrs |= Style::Reverse;
    if (look == Look::Bold || look == Look::Title) style.attrs |= Style::Bold;
    return style;
}

attr_t AttributeOf(const Style& style) {
    attr_t attributes = A_NORMAL;
    if (style.attrs & Style::Bold) attributes |= A_BOLD;
    if (style.attrs & Style::Underline) attributes |= A_UNDERLINE;
    if (style.attrs & Style::Reverse) attributes |= A_REVERSE;
    if (style.attrs & Style::Italic) attributes |= A_ITALIC;
    return attributes;
}

// The colour pair of a style, made on first use; 0 (the default) where the terminal
// has no colours or runs out of pairs. A colour the terminal lacks falls back to one
// of its first eight or sixteen.
int PairOf(const Style& style) {
    if ((style.fg < 0 && style.bg < 0) || !has_colors()) return 0;
    auto fit = [](int colour) {
        return colour < COLORS ? colour : colour % (COLORS >= 16 ? 16 : 8);
    };
    const int pair =
        alloc_pair(style.fg < 0 ? -1 : fit(style.fg), style.bg < 0 ? -1 : fit(style.bg));
    return pair < 0 ? 0 : pair;
}

// What a terminal that cannot show `c` shows instead.
wchar_t AsciiFor(char32_t c) {
    if (c >= 0x2550 && c <= 0x256C) return c == 0x2551 || c == 0x2502 ? L'|' : L'+';
    if (c == 0x2500 || c == 0x2550) return L'-';
    if (c == 0x2502) return L'|';
    if (c == 0x221A) return L'*';
    return L'?';
}

wchar_t Shown(unsigned char byte) {
    char32_t c = OemToUnicode(byte);
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return L'?';
    if (c >= 0x80 && !unicodeTerminal) return AsciiFor(c);
    if (wcwidth(static_cast<wchar_t>(c)) != 1) return L'?';
    return static_cast<wchar_t>(c);
}

} // namespace

bool Start() {
    unicodeTerminal = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    if (!initscr()) return false;
    if (has_colors()) {
        start_color();
        use_default_colors(); // -1: the terminal's own colours
    }
    raw(); // ^C and ^Z reach the shell as keys, as in a console
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    FollowTerminal();
    return true;
}

void Stop() {
    endwin();
}

void FollowTerminal() {
    width = COLS > 0 ? COLS : 1;
    height = LINES > 0 ? LINES : 1;
    ZpConsoleResize(width, height);
    ZpConsoleSize(&width, &height); // the buffer may clamp
    looks.assign(static_cast<size_t>(width) * height, Style());
}

int Width() {
    return width;
}

int Height() {
    return height;
}

void Clear() {
    int x = 0, y = 0;
    ZpConsoleCursor(&x, &y);
    ZpConsoleClear();
    ZpConsoleSetCursor(x, y);
    std::fill(looks.begin(), looks.end(), Style());
}

void PutStyled(int x, int y, const std::string& oem, const std::vector<Style>& styles) {
    if (y < 0 || y >= height) return;
    ZpConsoleWrite(x, y, oem.data(), static_cast<int>(oem.size()));
    for (int i = 0; i < static_cast<int>(oem.size()); ++i)
        if (x + i >= 0 && x + i < width)
            looks[static_cast<size_t>(y) * width + x + i] =
                static_cast<size_t>(i) < styles.size() ? styles[static_cast<size_t>(i)] : Style();
}

void Put(int x, int y, const std::string& oem, Look look) {
    PutStyled(x, y, oem, std::vector<Style>(oem.size(), StyleOf(look)));
}

void Fill(int x, int y, int count, char oem, Look look) {
    if (count > 0) Put(x, y, std::string(static_cast<size_t>(count), oem), look);
}

void SetCursor(int x, int y, bool visible) {
    ZpConsoleSetCursor(x, y);
    cursorVisible = visible;
}

void HideCursor() {
    cursorVisible = false;
}

void Render() {
    std::vector<char> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        int count = ZpConsoleRead(0, y, row.data(), width);
        for (int x = 0; x < width; ++x) {
            wchar_t text[2] = {x < count ? Shown(static_cast<unsigned char>(row[x])) : L' ', 0};
            cchar_t cell;
            const Style& style = looks[static_cast<size_t>(y) * width + x];
            int pair = PairOf(style);
            setcchar(&cell, text, AttributeOf(style), 0, &pair);
            mvadd_wch(y, x, &cell); // the last cell of the screen reports an error: harmless
        }
    }
    int x = 0, y = 0;
    ZpConsoleCursor(&x, &y);
    curs_set(cursorVisible ? 1 : 0);
    move(y, x);
    refresh();
}

void Bell() {
    beep(); // ncurses flashes the screen itself where the terminal has no bell
}

} // namespace screen
} // namespace shell

namespace shell {
namespace screen {

namespace {

std::deque<Key> typedAhead;

// A key that ncurses holds or can read at once, without waiting (but for the rest of an
// escape sequence, which it waits for as always).
bool TakeKey(Key* key) {
    timeout(0);
    wint_t code = 0;
    const int kind = get_wch(&code);
    if (kind == ERR) return false;
    *key = {kind == KEY_CODE_YES, static_cast<int>(code)};
    if (key->special && key->code == KEY_RESIZE) FollowTerminal();
    return true;
}

} // namespace

void TypeAhead(const Key& key) {
    typedAhead.push_back(key);
}

bool ReadKeyWithin(int milliseconds, Key* key) {
    if (!typedAhead.empty()) {
        *key = typedAhead.front();
        typedAhead.pop_front();
        return true;
    }
    // A signal that came while the shell was busy is honoured before it waits again.
    HonourStopSignal();
    // Keys ncurses has read already (the rest of a paste) are no longer the terminal's
    // to report ready: they are taken before waiting.
    if (TakeKey(key)) return true;
    if (milliseconds == 0) return false;
    // The terminal and the stop signals' pipe together: a signal ends the wait at once,
    // whenever it came. A resized terminal interrupts the poll, and ncurses then
    // answers KEY_RESIZE.
    pollfd watch[2] = {{STDIN_FILENO, POLLIN, 0}, {StopSignalDescriptor(), POLLIN, 0}};
    const int ready = poll(watch, watch[1].fd >= 0 ? 2 : 1, milliseconds);
    HonourStopSignal();
    // A terminal that is gone reads as ready for ever with nothing to read: the shell
    // ends as on a hangup rather than spin on it.
    int waiting = -1;
    if (ready > 0 && (watch[0].revents & POLLIN)) ioctl(STDIN_FILENO, FIONREAD, &waiting);
    if (ready > 0 && ((watch[0].revents & (POLLHUP | POLLERR | POLLNVAL)) || waiting == 0))
        StopForLostTerminal();
    return TakeKey(key);
}

Key ReadKey() {
    Key key{};
    // The wait also ends without a key when another signal (a child's end) interrupts it.
    while (!ReadKeyWithin(-1, &key)) {
    }
    return key;
}

} // namespace screen
} // namespace shell
