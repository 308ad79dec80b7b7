#include "line_editor.h"

namespace shell {

bool LineEditor::Insert(char c) {
    if (text_.size() >= capacity_) return false;
    const auto at = static_cast<std::ptrdiff_t>(cursor_);
    text_.insert(text_.begin() + at, c);
    ++cursor_;
    return true;
}

bool LineEditor::Set(const std::string& text) {
    text_ = text.substr(0, capacity_);
    cursor_ = text_.size();
    return text.size() <= capacity_;
}

void LineEditor::Backspace() {
    if (cursor_ == 0) return;
    text_.erase(--cursor_, 1);
}

void LineEditor::Delete() {
    if (cursor_ >= text_.size()) return;
    text_.erase(cursor_, 1);
}

size_t ScrollToShow(size_t scroll, size_t cursor, size_t length, int room) {
    // The cursor needs a cell of its own, so `room` cells show room - 1 characters
    // before it at most.
    const size_t last = room > 1 ? static_cast<size_t>(room) - 1 : 0;
    if (cursor < scroll) scroll = cursor;
    if (cursor - scroll > last) scroll = cursor - last;
    // Do not leave blank room at the end while text is hidden on the left.
    if (length < scroll + last) scroll = length > last ? length - last : 0;
    if (scroll > cursor) scroll = cursor;
    return scroll;
}

} // namespace shell
