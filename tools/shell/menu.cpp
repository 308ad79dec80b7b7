#include "menu.h"

#include <curses.h>

#include <algorithm>
#include <cstring>

#include "codepage.h"
#include "screen.h"
#include "shell.h"

namespace shell {

namespace {

struct Frame {
    char top, bottom, side, topLeft, topRight, bottomLeft, bottomRight, joinLeft, joinRight, line;
};

// The frame in the box characters of the OEM page, where it has them.
Frame FrameChars() {
    return {OemOr(0x2550, '-'), OemOr(0x2550, '-'), OemOr(0x2551, '|'), OemOr(0x2554, '+'),
            OemOr(0x2557, '+'), OemOr(0x255A, '+'), OemOr(0x255D, '+'), OemOr(0x255F, '+'),
            OemOr(0x2562, '+'), OemOr(0x2500, '-')};
}

std::string ItemText(const MenuItem& item) {
    return std::string(item.Text, strnlen(item.Text, sizeof item.Text));
}

bool Choosable(const MenuItem* items, int i) {
    return !items[i].Separator;
}

// The choosable item nearest to `from` going `step` (+1 or -1), wrapping; `from` itself
// when it is the only one.
int Step(const MenuItem* items, int count, int from, int step) {
    for (int n = 1; n <= count; ++n) {
        int i = ((from + step * n) % count + count) % count;
        if (Choosable(items, i)) return i;
    }
    return from;
}

// The choosable item at or after `i` (before it, when none is after).
int Nearest(const MenuItem* items, int count, int i) {
    i = std::clamp(i, 0, count - 1);
    for (int j = i; j < count; ++j)
        if (Choosable(items, j)) return j;
    for (int j = i; j >= 0; --j)
        if (Choosable(items, j)) return j;
    return -1;
}

void Draw(const std::string& title, const MenuItem* items, int count, bool checkColumn,
          int selected, int* top) {
    const int width = screen::Width(), height = screen::Height();
    const Frame frame = FrameChars();
    size_t longest = 0;
    for (int i = 0; i < count; ++i)
        longest = std::max(longest, ItemText(items[i]).size());
    bool marks = checkColumn;
    for (int i = 0; i < count && !marks; ++i)
        marks = items[i].Checked != 0;
    const int markWidth = marks ? 2 : 0;
    const int inner = std::max<int>(static_cast<int>(title.size()) + 2,
                                    static_cast<int>(longest) + markWidth + 2);
    const int boxWidth = std::min(inner + 2, width);
    const int boxHeight = std::min(count + 2, std::max(height - 2, std::min(height, 3)));
    const int visible = std::max(1, boxHeight - 2);
    if (selected >= 0) {
        if (selected < *top) *top = selected;
        if (selected >= *top + visible) *top = selected - visible + 1;
    }
    *top = std::clamp(*top, 0, std::max(0, count - visible));

    const int x0 = (width - boxWidth) / 2, y0 = (height - boxHeight) / 2;
    const int innerWidth = std::max(0, boxWidth - 2);
    const char mark = OemOr(0x221A, '*');

    // Top edge with the title in the middle.
    screen::Fill(x0, y0, boxWidth, frame.top);
    screen::Put(x0, y0, std::string(1, frame.topLeft));
    screen::Put(x0 + boxWidth - 1, y0, std::string(1, frame.topRight));
    std::string shownTitle = " " + title + " ";
    if (static_cast<int>(shownTitle.size()) > innerWidth) shownTitle.resize(innerWidth);
    screen::Put(x0 + 1 + (innerWidth - static_cast<int>(shownTitle.size())) / 2, y0, shownTitle,
                Look::Bold);

    for (int row = 0; row < visible; ++row) {
        const int i = *top + row, y = y0 + 1 + row;
        if (i >= count) break;
        if (items[i].Separator) {
            screen::Fill(x0, y, boxWidth, frame.line);
            screen::Put(x0, y, std::string(1, frame.joinLeft));
            screen::Put(x0 + boxWidth - 1, y, std::string(1, frame.joinRight));
            continue;
        }
        std::string text = " ";
        if (marks) text += items[i].Checked ? std::string(1, mark) + " " : "  ";
        text += ItemText(items[i]);
        text.resize(static_cast<size_t>(innerWidth), ' ');
        screen::Put(x0, y, std::string(1, frame.side));
        screen::Put(x0 + 1, y, text, i == selected ? Look::Reverse : Look::Normal);
        screen::Put(x0 + boxWidth - 1, y, std::string(1, frame.side));
    }

    // Bottom edge; a list longer than the box says where it stands.
    const int yb = y0 + 1 + visible;
    screen::Fill(x0, yb, boxWidth, frame.bottom);
    screen::Put(x0, yb, std::string(1, frame.bottomLeft));
    screen::Put(x0 + boxWidth - 1, yb, std::string(1, frame.bottomRight));
    if (count > visible && selected >= 0) {
        std::string where = " " + std::to_string(selected + 1) + "/" + std::to_string(count) + " ";
        if (static_cast<int>(where.size()) <= innerWidth)
            screen::Put(x0 + 1 + (innerWidth - static_cast<int>(where.size())) / 2, yb, where);
    }
    // The cursor stays where the line put it, only hidden.
    screen::HideCursor();
}

} // namespace

int ShowMenu(const std::string& title, const MenuItem* items, int count, bool checkColumn) {
    if (!items || count <= 0) return -1;
    int selected = -1;
    for (int i = 0; i < count && selected < 0; ++i)
        if (items[i].Selected && Choosable(items, i)) selected = i;
    if (selected < 0) selected = Nearest(items, count, 0);
    int top = 0;
    for (;;) {
        DrawScreen();
        Draw(title, items, count, checkColumn, selected, &top);
        screen::Render();
        const screen::Key key = screen::ReadKey();
        const int page = std::max(1, screen::Height() - 4);
        if (!key.special) {
            if (key.code == '\r' || key.code == '\n') return selected;
            if (key.code == 27) return -1; // Esc
            continue;
        }
        if (selected < 0) {
            if (key.code == KEY_ENTER) return -1;
            if (key.code == KEY_F(10)) return -1;
            continue;
        }
        switch (key.code) {
        case KEY_UP:
            selected = Step(items, count, selected, -1);
            break;
        case KEY_DOWN:
            selected = Step(items, count, selected, +1);
            break;
        case KEY_PPAGE:
            selected = Nearest(items, count, selected - page);
            break;
        case KEY_NPAGE:
            selected = Nearest(items, count, selected + page);
            break;
        case KEY_HOME:
            selected = Nearest(items, count, 0);
            break;
        case KEY_END:
            selected = Nearest(items, count, count - 1);
            break;
        case KEY_ENTER:
            return selected;
        case KEY_F(10):
            return -1;
        default:
            break; // KEY_RESIZE among them: the loop draws again at the new size
        }
    }
}

} // namespace shell
