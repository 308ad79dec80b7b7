#include "terminal.h"

#include <curses.h>
#include <unistd.h>
#include <vterm.h>

#include <algorithm>
#include <cerrno>

#include "codepage.h"
#include "shell.h"

namespace shell {

namespace {

// A colour as a palette index: a 24-bit one to the nearest of the 6x6x6 cube.
int16_t PaletteIndex(const VTermColor& colour, bool foreground) {
    if (foreground ? VTERM_COLOR_IS_DEFAULT_FG(&colour) : VTERM_COLOR_IS_DEFAULT_BG(&colour))
        return -1;
    if (VTERM_COLOR_IS_INDEXED(&colour)) return colour.indexed.idx;
    auto step = [](uint8_t value) { return value < 48 ? 0 : value < 115 ? 1 : (value - 35) / 40; };
    return static_cast<int16_t>(16 + 36 * step(colour.rgb.red) + 6 * step(colour.rgb.green) +
                                step(colour.rgb.blue));
}

Style StyleOf(const VTermScreenCell& cell) {
    Style style;
    style.fg = PaletteIndex(cell.fg, true);
    style.bg = PaletteIndex(cell.bg, false);
    if (cell.attrs.bold) style.attrs |= Style::Bold;
    if (cell.attrs.underline) style.attrs |= Style::Underline;
    if (cell.attrs.reverse) style.attrs |= Style::Reverse;
    if (cell.attrs.italic) style.attrs |= Style::Italic;
    return style;
}

// A cell's character in the OEM page: '?' for one the page lacks, a blank for none (and
// for the second half of a wide character, whose first half is already '?').
char OemOf(const VTermScreenCell& cell) {
    const uint32_t c = cell.chars[0];
    if (c == 0 || c == static_cast<uint32_t>(-1)) return ' ';
    const int oem = c < 0x20 ? -1 : UnicodeToOem(static_cast<char32_t>(c));
    return oem < 0 ? '?' : static_cast<char>(oem);
}

void Cells(int cols, const VTermScreenCell* cells, std::string* oem, std::vector<Style>* styles) {
    oem->clear();
    styles->clear();
    for (int c = 0; c < cols; ++c) {
        oem->push_back(OemOf(cells[c]));
        styles->push_back(StyleOf(cells[c]));
    }
    while (!oem->empty() && oem->back() == ' ' && styles->back().bg < 0 &&
           !(styles->back().attrs & Style::Reverse)) {
        oem->pop_back();
        styles->pop_back();
    }
}

} // namespace

struct TerminalCallbacks {
    static int PushLine(int cols, const VTermScreenCell* cells, void*) {
        std::string oem;
        std::vector<Style> styles;
        Cells(cols, cells, &oem, &styles);
        AddOutputStyled(oem, styles);
        return 1;
    }
    static int SetProperty(VTermProp prop, VTermValue* value, void* user) {
        auto* terminal = static_cast<ProgramTerminal*>(user);
        if (prop == VTERM_PROP_ALTSCREEN) terminal->altScreen_ = value->boolean;
        if (prop == VTERM_PROP_CURSORVISIBLE) terminal->cursorVisible_ = value->boolean;
        return 1;
    }
    // Answers to the programs' queries and the keys typed: small, written whole.
    static void Write(const char* bytes, size_t size, void* user) {
        auto* terminal = static_cast<ProgramTerminal*>(user);
        const int master = terminal->master_;
        terminal->written_ += size;
        while (size > 0) {
            const ssize_t n = write(master, bytes, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return; // the programs are gone, or read nothing: the key is lost
            bytes += n;
            size -= static_cast<size_t>(n);
        }
    }
};

namespace {

const VTermScreenCallbacks ScreenCallbacks = {
    nullptr,
    nullptr,
    nullptr,
    TerminalCallbacks::SetProperty,
    nullptr,
    nullptr,
    TerminalCallbacks::PushLine,
    nullptr,
};

// Keys the terminal sends as sequences, in the modes the programs set.
VTermKey VTermKeyOf(int code) {
    switch (code) {
    case KEY_UP:
        return VTERM_KEY_UP;
    case KEY_DOWN:
        return VTERM_KEY_DOWN;
    case KEY_LEFT:
        return VTERM_KEY_LEFT;
    case KEY_RIGHT:
        return VTERM_KEY_RIGHT;
    case KEY_HOME:
        return VTERM_KEY_HOME;
    case KEY_END:
        return VTERM_KEY_END;
    case KEY_PPAGE:
        return VTERM_KEY_PAGEUP;
    case KEY_NPAGE:
        return VTERM_KEY_PAGEDOWN;
    case KEY_IC:
        return VTERM_KEY_INS;
    case KEY_DC:
        return VTERM_KEY_DEL;
    case KEY_ENTER:
        return VTERM_KEY_ENTER;
    case KEY_BACKSPACE:
        return VTERM_KEY_BACKSPACE;
    case KEY_BTAB:
        return VTERM_KEY_TAB;
    default:
        if (code >= KEY_F(1) && code <= KEY_F(12))
            return static_cast<VTermKey>(VTERM_KEY_FUNCTION(code - KEY_F(0)));
        return VTERM_KEY_NONE;
    }
}

} // namespace

ProgramTerminal::ProgramTerminal(int rows, int cols, int master)
    : vt_(vterm_new(rows, cols)), screen_(vterm_obtain_screen(vt_)), master_(master), rows_(rows),
      cols_(cols) {
    vterm_set_utf8(vt_, 1);
    vterm_output_set_callback(vt_, TerminalCallbacks::Write, this);
    vterm_screen_set_callbacks(screen_, &ScreenCallbacks, this);
    vterm_screen_enable_altscreen(screen_, 1);
    vterm_screen_reset(screen_, 1);
}

ProgramTerminal::~ProgramTerminal() {
    vterm_free(vt_);
}

void ProgramTerminal::Feed(const char* data, size_t size) {
    vterm_input_write(vt_, data, size);
}

size_t ProgramTerminal::Key(const screen::Key& key) {
    const size_t before = written_;
    if (!key.special) {
        // Control characters go as they are: ^C, Enter (CR), Tab, Esc, Backspace.
        if (key.code < 0x20 || key.code == 0x7F) {
            const char byte = static_cast<char>(key.code);
            TerminalCallbacks::Write(&byte, 1, this);
        } else {
            vterm_keyboard_unichar(vt_, static_cast<uint32_t>(key.code), VTERM_MOD_NONE);
        }
    } else {
        const VTermKey vtermKey = VTermKeyOf(key.code);
        if (vtermKey != VTERM_KEY_NONE)
            vterm_keyboard_key(vt_, vtermKey,
                               key.code == KEY_BTAB ? VTERM_MOD_SHIFT : VTERM_MOD_NONE);
    }
    return written_ - before;
}

void ProgramTerminal::Resize(int rows, int cols) {
    rows_ = rows;
    cols_ = cols;
    vterm_set_size(vt_, rows, cols);
}

int ProgramTerminal::RowsInUse() const {
    VTermPos cursor;
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &cursor);
    int used = cursor.row + 1;
    for (int row = rows_ - 1; row >= used; --row) {
        std::string oem;
        std::vector<Style> styles;
        Row(row, &oem, &styles);
        if (!oem.empty()) return row + 1;
    }
    return used;
}

void ProgramTerminal::Row(int row, std::string* oem, std::vector<Style>* styles) const {
    std::vector<VTermScreenCell> cells(static_cast<size_t>(cols_));
    for (int col = 0; col < cols_; ++col)
        vterm_screen_get_cell(screen_, VTermPos{row, col}, &cells[static_cast<size_t>(col)]);
    Cells(cols_, cells.data(), oem, styles);
}

void ProgramTerminal::Draw() {
    screen::Clear();
    // A full-screen program has the whole screen; other output follows what came
    // before it, as on a terminal.
    const int used = altScreen_ ? rows_ : RowsInUse();
    const int top = std::max(0, screen::Height() - used) * !altScreen_;
    if (!altScreen_) DrawOutput(top - 1);
    std::string oem;
    std::vector<Style> styles;
    for (int row = 0; row < used && top + row < screen::Height(); ++row) {
        Row(row, &oem, &styles);
        screen::PutStyled(0, top + row, oem, styles);
    }
    VTermPos cursor;
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &cursor);
    screen::SetCursor(cursor.col, top + cursor.row, cursorVisible_);
    if (!Shell.notice.empty()) screen::Put(0, screen::Height() - 1, Shell.notice, Look::Reverse);
}

void ProgramTerminal::Finish() {
    if (altScreen_) {
        const char leave[] = "\x1b[?1049l";
        vterm_input_write(vt_, leave, sizeof leave - 1);
    }
    const int used = RowsInUse();
    std::string oem;
    std::vector<Style> styles;
    // A last row that holds nothing but the cursor is no line of output.
    VTermPos cursor;
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &cursor);
    for (int row = 0; row < used; ++row) {
        Row(row, &oem, &styles);
        if (row + 1 == used && row == cursor.row && cursor.col == 0 && oem.empty()) break;
        AddOutputStyled(oem, styles);
    }
}

} // namespace shell
