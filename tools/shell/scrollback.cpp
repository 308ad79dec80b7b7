#include "scrollback.h"

#include <curses.h>

#include <algorithm>

#include "shell.h"

namespace shell {

namespace {

bool browsing = false;
size_t viewEnd = 0; // while browsing: the output [0, viewEnd) is on show

size_t RowsOf(const std::string& line, int width) {
    const size_t w = static_cast<size_t>(std::max(width, 1));
    return std::max<size_t>(1, (line.size() + w - 1) / w);
}

// The rows that the lines [first, end) take.
size_t RowsUsed(const std::deque<std::string>& lines, size_t first, size_t end, int width) {
    size_t used = 0;
    for (size_t i = first; i < end; ++i)
        used += RowsOf(lines[i], width);
    return used;
}

// The end that puts the oldest line at the top with the screen full below it.
size_t TopEnd(const std::deque<std::string>& lines, int rows, int width) {
    size_t end = 0, used = 0;
    while (end < lines.size() && used + RowsOf(lines[end], width) <= static_cast<size_t>(rows))
        used += RowsOf(lines[end++], width);
    return std::max<size_t>(end, std::min<size_t>(1, lines.size()));
}

int OutputRows() {
    return std::max(KeyLabelRow(), 0);
}

} // namespace

size_t FirstShown(const std::deque<std::string>& lines, size_t end, int rows, int width) {
    size_t first = std::min(end, lines.size()), used = 0;
    while (first > 0 && used < static_cast<size_t>(std::max(rows, 0)))
        used += RowsOf(lines[--first], width);
    return first;
}

size_t PageBack(const std::deque<std::string>& lines, size_t end, int rows, int width) {
    end = std::min(end, lines.size());
    if (end == 0) return 0;
    const size_t first = FirstShown(lines, end, rows, width);
    // A first line shown only in part is shown whole at the bottom of the next screen.
    const bool partial = RowsUsed(lines, first, end, width) > static_cast<size_t>(rows);
    const size_t back = std::min(partial ? first + 1 : first, end - 1);
    return std::min(end, std::max(back, TopEnd(lines, rows, width)));
}

size_t PageOn(const std::deque<std::string>& lines, size_t end, int rows, int width) {
    size_t on = std::min(end, lines.size()), used = 0;
    while (on < lines.size() && used + RowsOf(lines[on], width) <= static_cast<size_t>(rows))
        used += RowsOf(lines[on++], width);
    // A line taller than the screen still moves the view on.
    return std::min(lines.size(), std::max(on, end + 1));
}

bool ScrollbackKey(const screen::Key& key) {
    const bool shifted = key.special && (key.code == KEY_SPREVIOUS || key.code == KEY_SNEXT);
    // At an empty prompt the plain keys have nothing else to do.
    const bool plain = key.special && (key.code == KEY_PPAGE || key.code == KEY_NPAGE) &&
                       (browsing || Shell.line.text().empty());
    if (!shifted && !plain) {
        if (!(key.special && key.code == KEY_RESIZE)) browsing = false;
        return false;
    }
    const size_t end = ScrollbackEnd();
    const bool back = key.code == KEY_SPREVIOUS || key.code == KEY_PPAGE;
    const size_t to = back ? PageBack(Shell.output, end, OutputRows(), screen::Width())
                           : PageOn(Shell.output, end, OutputRows(), screen::Width());
    if (to == end) screen::Bell(); // the oldest, or the newest, is on show already
    viewEnd = to;
    browsing = to < Shell.output.size();
    return true;
}

size_t ScrollbackEnd() {
    return browsing ? std::min(viewEnd, Shell.output.size()) : Shell.output.size();
}

std::string ScrollbackMarker() {
    if (!browsing) return "";
    const size_t end = ScrollbackEnd();
    const size_t first = FirstShown(Shell.output, end, OutputRows(), screen::Width());
    return "-- scrollback: lines " + std::to_string(first + 1) + "-" + std::to_string(end) +
           " of " + std::to_string(Shell.output.size()) +
           " -- S-PgUp/S-PgDn: page, any other key: the prompt";
}

void DefineScrollKeys() {
    if (key_defined("\033[5;2~") == 0) define_key("\033[5;2~", KEY_SPREVIOUS);
    if (key_defined("\033[6;2~") == 0) define_key("\033[6;2~", KEY_SNEXT);
}

} // namespace shell
