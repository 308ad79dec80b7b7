#include "shell.h"

#include <algorithm>

#include "codepage.h"
#include "editor.h"
#include "paths.h"
#include "screen.h"
#include "scrollback.h"

namespace shell {

ShellState Shell;

namespace {

// The output kept above the prompt: a scrollback's worth, however much a program
// writes. A longer line is cut; a screen shows only so much of it, wrapped.
constexpr size_t OutputLinesKept = 2000;
constexpr size_t OutputLineLength = 4096;

// Control characters and escape sequences from a program's output have no place in the
// console buffer: tabs become blanks, a carriage return starts the line again (as
// progress meters expect), the rest is dropped.
std::string Printable(const std::string& line) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c == '\t') {
            out.append(8 - out.size() % 8, ' ');
        } else if (c == '\r') {
            if (i + 1 < line.size()) out.clear();
        } else if (c == 0x1B) {
            // CSI sequences (colours, cursor moves) end at a byte from '@' to '~'.
            if (i + 1 < line.size() && line[i + 1] == '[') {
                i += 2;
                while (i < line.size() && (line[i] < '@' || line[i] > '~'))
                    ++i;
            }
        } else if (c >= 0x20 && c != 0x7F) {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void DrawKeyLabels(int row, int width) {
    static const char* const labels[][2] = {{"Tab", "Next"}, {"S-Tab", "Prev"}, {"^Space", "List"},
                                            {"F4", "Edit"},  {"F10", "Quit"},   {"F11", "Menu"}};
    int x = 0;
    for (const auto& label : labels) {
        if (x >= width) break;
        std::string key = label[0];
        screen::Put(x, row, key, Look::Bold);
        x += static_cast<int>(key.size());
        std::string text = std::string(" ") + label[1] + " ";
        screen::Put(x, row, text, Look::Reverse);
        x += static_cast<int>(text.size()) + 1;
    }
}

void DrawCommandScreen() {
    const int width = screen::Width(), height = screen::Height();
    const int lineRow = CommandLineRow();
    screen::Clear();
    // While the scrollback is browsed, the newest lines are hidden below.
    DrawOutput(KeyLabelRow() - 1, ScrollbackEnd());

    const std::string prompt = Prompt(width);
    const std::string& text = Shell.line.text();
    const int room = width - static_cast<int>(prompt.size());
    Shell.scroll = ScrollToShow(Shell.scroll, Shell.line.cursor(), text.size(), room);
    screen::Put(0, lineRow,
                prompt + text.substr(Shell.scroll, static_cast<size_t>(std::max(room, 0))));

    if (height >= 2) {
        const std::string marker = ScrollbackMarker();
        if (!marker.empty())
            screen::Put(0, KeyLabelRow(), marker, Look::Reverse);
        else if (Shell.notice.empty())
            DrawKeyLabels(KeyLabelRow(), width);
        else
            screen::Put(0, KeyLabelRow(), Shell.notice, Look::Reverse);
    }
    screen::SetCursor(static_cast<int>(prompt.size() + Shell.line.cursor() - Shell.scroll),
                      lineRow);
}

} // namespace

void AddOutputStyled(const std::string& oem, const std::vector<Style>& styles) {
    Shell.output.push_back(oem.substr(0, OutputLineLength));
    Shell.outputStyles.push_back(std::vector<Style>(
        styles.begin(), styles.begin() + std::min(styles.size(), OutputLineLength)));
    while (Shell.output.size() > OutputLinesKept) {
        Shell.output.pop_front();
        Shell.outputStyles.pop_front();
    }
}

void AddOutputOem(const std::string& oem) {
    AddOutputStyled(oem, {});
}

void ClearOutput() {
    Shell.output.clear();
    Shell.outputStyles.clear();
}

void DrawOutput(int bottom, size_t end) {
    const size_t w = static_cast<size_t>(screen::Width());
    int y = bottom;
    for (size_t i = std::min(end, Shell.output.size()); i-- > 0 && y >= 0;) {
        const std::string& line = Shell.output[i];
        const std::vector<Style>& styles = Shell.outputStyles[i];
        const size_t rows = std::max<size_t>(1, (line.size() + w - 1) / w);
        for (size_t r = rows; r-- > 0 && y >= 0; --y) {
            const size_t from = std::min(r * w, styles.size());
            screen::PutStyled(
                0, y, line.substr(r * w, w),
                std::vector<Style>(styles.begin() + from,
                                   styles.begin() + std::min(from + w, styles.size())));
        }
    }
}

void AddOutput(const std::string& utf8) {
    size_t start = 0;
    for (;;) {
        size_t end = utf8.find('\n', start);
        std::string line =
            utf8.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        AddOutputOem(Utf8ToOem(Printable(line)));
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

// The command line is the last row: the module reads 256 characters of the console
// from the start of its row, and a row below it (the key labels) would run into that
// read, so that a cursor inside the line would count as its end.
int CommandLineRow() {
    return std::max(screen::Height() - 1, 0);
}

int KeyLabelRow() {
    return screen::Height() >= 2 ? screen::Height() - 2 : -1;
}

std::string Prompt(int width) {
    std::string path = ToWindows(Shell.cwd);
    // The module takes the first '>' of the row for the prompt's end.
    std::replace(path.begin(), path.end(), '>', '?');
    std::string prompt = path + ">";
    // A long path would leave no room for the line: keep its drive and its end.
    const size_t longest = static_cast<size_t>(std::max(8, width / 2));
    if (prompt.size() > longest)
        prompt = path.substr(0, 2) + "..." + prompt.substr(prompt.size() - (longest - 5));
    return prompt;
}

void DrawScreen() {
    if (Shell.editor)
        Shell.editor->Draw();
    else
        DrawCommandScreen();
}

void Notice(const std::string& utf8, bool bell) {
    Shell.notice = Utf8ToOem(utf8);
    if (bell) screen::Bell();
}

void Refuse(const std::string& utf8) {
    Notice(utf8, !Shell.refusedRun);
    Shell.refusedNow = true;
}

} // namespace shell
