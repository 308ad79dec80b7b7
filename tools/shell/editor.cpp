#include "editor.h"

#include <curses.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "codepage.h"
#include "file_io.h"
#include "module.h"
#include "screen.h"
#include "shell.h"
#include "zarelin/host_api.h"

namespace shell {

namespace {

constexpr size_t TabWidth = 8;
constexpr off_t LargestFile = 16 << 20; // a text editor, not a viewer for any file

std::string Expand(const std::string& line) {
    std::string shown;
    for (char c : line) {
        if (c == '\t')
            shown.append(TabWidth - shown.size() % TabWidth, ' ');
        else
            shown += c;
    }
    return shown;
}

} // namespace

size_t ScreenColumn(const std::string& line, size_t index) {
    size_t column = 0;
    for (size_t i = 0; i < index && i < line.size(); ++i)
        column = line[i] == '\t' ? (column / TabWidth + 1) * TabWidth : column + 1;
    return column + (index > line.size() ? index - line.size() : 0);
}

std::unique_ptr<Editor> Editor::Open(const std::string& path, const std::string& shownName,
                                     std::string* error) {
    std::unique_ptr<Editor> editor(new Editor());
    editor->path_ = path;
    editor->shownName_ = shownName;
    const std::string shown = editor->ShownName();
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            *error = "cannot open " + shown + ": " + std::strerror(errno);
            return nullptr;
        }
        editor->lines_.push_back("");
        Notice("New file: F2 creates it");
        return editor;
    }
    // Only a file can be edited: a FIFO would hang the shell, a device never ends.
    if (S_ISDIR(info.st_mode)) {
        *error = shown + " is a directory";
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = shown + " is not a regular file (a FIFO, a device or a socket)";
        return nullptr;
    }
    if (info.st_size > LargestFile) {
        *error = shown + " is too large to edit (more than 16 MB)";
        return nullptr;
    }
    // Looked at before it is read: a change in between makes saving ask, never lose it.
    editor->onDisk_ = IdentityOf(path);
    std::string text;
    if (!ReadRegularFile(path, static_cast<size_t>(LargestFile), &text)) {
        *error = "cannot read " + shown + ": " + std::strerror(errno);
        return nullptr;
    }

    // Saving must give back the bytes that were read: a file whose text the console's
    // code page cannot hold would lose characters, so it is only shown. A file without
    // write permission is read-only also for root, as the read-only attribute is.
    bool lossless = true;
    std::string oem = Utf8ToOem(text, &lossless);
    if ((info.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0) {
        editor->readOnly_ = true;
        editor->readOnlyWhy_ = "read-only file: it cannot be changed here";
    } else if (text.find('\0') != std::string::npos) {
        editor->readOnly_ = true;
        editor->readOnlyWhy_ = "binary file, read-only";
    } else if (!lossless || OemToUtf8(oem) != text) {
        editor->readOnly_ = true;
        editor->readOnlyWhy_ = "characters the console code page lacks: read-only";
    }

    editor->finalNewline_ = !oem.empty() && oem.back() == '\n';
    if (editor->finalNewline_) oem.pop_back();
    std::vector<std::string>& lines = editor->lines_;
    for (size_t start = 0;;) {
        size_t end = oem.find('\n', start);
        lines.push_back(
            oem.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    // CR LF files stay CR LF; a file that mixes both keeps its CRs as text.
    bool allCr = editor->finalNewline_ || lines.size() > 1;
    for (size_t i = 0; i < lines.size() && allCr; ++i) {
        bool ended = i + 1 < lines.size() || editor->finalNewline_;
        if (ended && (lines[i].empty() || lines[i].back() != '\r')) allCr = false;
    }
    if (allCr) {
        editor->endOfLine_ = "\r\n";
        for (size_t i = 0; i < lines.size(); ++i)
            if ((i + 1 < lines.size() || editor->finalNewline_) && !lines[i].empty())
                lines[i].pop_back();
    }
    if (editor->readOnly_) Notice(editor->readOnlyWhy_);
    return editor;
}

std::string Editor::Contents() const {
    std::string oem;
    for (size_t i = 0; i < lines_.size(); ++i) {
        oem += lines_[i];
        if (i + 1 < lines_.size() || finalNewline_) oem += endOfLine_;
    }
    return OemToUtf8(oem);
}

std::string Editor::ShownName() const {
    return EscapeControls(OemToUtf8(shownName_));
}

bool Editor::Save() {
    if (readOnly_) {
        Notice(readOnlyWhy_, true);
        return false;
    }
    if (ChangedSince(onDisk_, IdentityOf(path_)) && !ConfirmOverwrite()) {
        Notice("Not saved: " + ShownName() + " stays as it is on disk");
        return false;
    }
    std::string error;
    if (!SaveFile(path_, Contents(), &error)) {
        Notice(EscapeControls(error), true); // it may name a backup
        return false;
    }
    onDisk_ = IdentityOf(path_);
    modified_ = false;
    Notice("Saved " + ShownName());
    return true;
}

std::string Editor::Recover(const char* why) {
    if (!modified_) return "";
    const std::string kept = WriteBeside(path_, ".recovered", Contents());
    if (kept.empty())
        return "unsaved edits of " + ShownName() + " were lost (" + why + "): no file took them";
    return "unsaved edits of " + ShownName() + " were kept in " + EscapeControls(kept) + " (" +
           why + ")";
}

bool Editor::ConfirmOverwrite() {
    for (;;) {
        Notice(ShownName() + " changed on disk since it was read. Y overwrites it, N/Esc keeps it",
               true);
        DrawScreen();
        screen::Render();
        const screen::Key key = screen::ReadKey();
        if (key.special && key.code == KEY_RESIZE) continue;
        Shell.notice.clear();
        return !key.special && (key.code == 'y' || key.code == 'Y');
    }
}

bool Editor::ConfirmLeave() {
    if (!modified_) return true;
    for (;;) {
        Notice("Save changes? Y saves, N drops them, Esc stays");
        DrawScreen();
        screen::Render();
        screen::Key key = screen::ReadKey();
        if (key.special && key.code == KEY_RESIZE) continue;
        Shell.notice.clear();
        if (!key.special && (key.code == 'y' || key.code == 'Y')) return Save();
        if (!key.special && (key.code == 'n' || key.code == 'N')) return true;
        return false;
    }
}

bool Editor::Editable() {
    if (readOnly_) Notice(readOnlyWhy_, true);
    return !readOnly_;
}

void Editor::InsertChar(char c) {
    if (!Editable()) return;
    lines_[row_].insert(column_++, 1, c);
    modified_ = true;
}

void Editor::SplitLine() {
    if (!Editable()) return;
    std::string rest = lines_[row_].substr(column_);
    lines_[row_].erase(column_);
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(row_) + 1, rest);
    ++row_;
    column_ = 0;
    modified_ = true;
}

void Editor::Backspace() {
    if (column_ == 0 && row_ == 0) return;
    if (!Editable()) return;
    if (column_ > 0) {
        lines_[row_].erase(--column_, 1);
    } else {
        column_ = lines_[row_ - 1].size();
        lines_[row_ - 1] += lines_[row_];
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(row_));
        --row_;
    }
    modified_ = true;
}

void Editor::Delete() {
    if (column_ >= lines_[row_].size() && row_ + 1 >= lines_.size()) return;
    if (!Editable()) return;
    if (column_ < lines_[row_].size()) {
        lines_[row_].erase(column_, 1);
    } else {
        lines_[row_] += lines_[row_ + 1];
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(row_) + 1);
    }
    modified_ = true;
}

void Editor::KeepCursorInView(int textRows, int width) {
    const size_t rows = static_cast<size_t>(std::max(1, textRows));
    if (row_ < top_) top_ = row_;
    if (row_ >= top_ + rows) top_ = row_ - rows + 1;
    const size_t column = ScreenColumn(lines_[row_], column_);
    const size_t cells = static_cast<size_t>(std::max(1, width));
    if (column < left_) left_ = column;
    if (column >= left_ + cells) left_ = column - cells + 1;
}

void Editor::Draw() {
    const int width = screen::Width(), height = screen::Height();
    // A screen of three rows or more has a title, the text and the key labels; a
    // smaller one shows only the text.
    const bool framed = height >= 3;
    const int firstRow = framed ? 1 : 0;
    const int textRows = framed ? height - 2 : height;
    KeepCursorInView(textRows, width);
    screen::Clear();
    if (framed) {
        std::string title = " " + EscapeControls(shownName_) + "  " + std::to_string(row_ + 1) +
                            ":" + std::to_string(ScreenColumn(lines_[row_], column_) + 1) +
                            (modified_ ? "  *" : "") + (readOnly_ ? "  (read-only)" : "");
        screen::Fill(0, 0, width, ' ', Look::Title);
        screen::Put(0, 0, title, Look::Title);
        if (Shell.notice.empty()) {
            screen::Put(0, height - 1,
                        "F2 Save  Esc Leave  Tab Next  S-Tab Prev  ^Space List  F11 Menu");
        } else {
            screen::Put(0, height - 1, Shell.notice, Look::Reverse);
        }
    }
    for (int r = 0; r < textRows; ++r) {
        size_t i = top_ + static_cast<size_t>(r);
        if (i >= lines_.size()) break;
        std::string shown = Expand(lines_[i]);
        if (shown.size() > left_) screen::Put(0, firstRow + r, shown.substr(left_, width));
    }
    screen::SetCursor(static_cast<int>(ScreenColumn(lines_[row_], column_) - left_),
                      firstRow + static_cast<int>(row_ - top_));
}

void Editor::Run() {
    Shell.editor = this;
    while (!leave_) {
        DrawScreen();
        screen::Render();
        const screen::Key key = screen::ReadKey();
        Shell.notice.clear();
        const size_t page = static_cast<size_t>(std::max(1, screen::Height() - 3));
        if (!key.special) {
            switch (key.code) {
            case 27: // Esc
                leave_ = ConfirmLeave();
                break;
            case '\t':
                Complete(0);
                break;
            case 0: // Ctrl+Space
                Complete(2);
                break;
            case '\r':
            case '\n':
                SplitLine();
                break;
            case 8:
            case 127:
                Backspace();
                break;
            default:
                if (key.code >= 0x20) {
                    int oem = UnicodeToOem(static_cast<char32_t>(key.code));
                    if (oem < 0)
                        Notice("The console code page has no such character", true);
                    else
                        InsertChar(static_cast<char>(oem));
                }
                break;
            }
            continue;
        }
        switch (key.code) {
        case KEY_LEFT:
            if (column_ > 0) {
                --column_;
            } else if (row_ > 0) {
                --row_;
                column_ = lines_[row_].size();
            }
            break;
        case KEY_RIGHT:
            if (column_ < lines_[row_].size()) {
                ++column_;
            } else if (row_ + 1 < lines_.size()) {
                ++row_;
                column_ = 0;
            }
            break;
        case KEY_UP:
            if (row_ > 0) --row_;
            break;
        case KEY_DOWN:
            if (row_ + 1 < lines_.size()) ++row_;
            break;
        case KEY_PPAGE:
            row_ = row_ > page ? row_ - page : 0;
            break;
        case KEY_NPAGE:
            row_ = std::min(row_ + page, lines_.size() - 1);
            break;
        case KEY_HOME:
            column_ = 0;
            break;
        case KEY_END:
            column_ = lines_[row_].size();
            break;
        case KEY_BACKSPACE:
            Backspace();
            break;
        case KEY_DC:
            Delete();
            break;
        case KEY_ENTER:
            SplitLine();
            break;
        case KEY_BTAB:
            Complete(1);
            break;
        case KEY_F(11):
            Complete(-1);
            break;
        case KEY_F(2):
            Save();
            break;
        case KEY_F(10):
            leave_ = ConfirmLeave();
            break;
        default:
            break;
        }
        column_ = std::min(column_, lines_[row_].size());
    }
    Shell.editor = nullptr;
}

} // namespace shell
