#include "line_editor.h"

namespace shell {

bool LineEditor::Insert(char c) {
    if (text_.size() >= capacity_) return false;
    const auto at = static_cast<std::ptrdiff_t>(cursor_);
    text_.insert(text_.begin() + at, c);
    completed_.insert(completed_.begin() + at, false);
    ++cursor_;
    return true;
}

bool LineEditor::Set(const std::string& text) {
    text_ = text.substr(0, capacity_);
    completed_.assign(text_.size(), false);
    cursor_ = text_.size();
    return text.size() <= capacity_;
}

bool LineEditor::SetCompleted(const std::string& text) {
    const std::string old = text_;
    const std::vector<bool> marks = completed_;
    const bool whole = Set(text);
    size_t head = 0;
    while (head < old.size() && head < text_.size() && old[head] == text_[head])
        ++head;
    size_t tail = 0;
    while (tail < old.size() - head && tail < text_.size() - head &&
           old[old.size() - 1 - tail] == text_[text_.size() - 1 - tail])
        ++tail;
    // What both lines share keeps its marks; the module's own text lies between.
    for (size_t i = 0; i < head; ++i)
        completed_[i] = marks[i];
    for (size_t i = head; i < text_.size() - tail; ++i)
        completed_[i] = true;
    for (size_t i = 0; i < tail; ++i)
        completed_[text_.size() - 1 - i] = marks[old.size() - 1 - i];
    return whole;
}

void LineEditor::Backspace() {
    if (cursor_ == 0) return;
    text_.erase(--cursor_, 1);
    completed_.erase(completed_.begin() + static_cast<std::ptrdiff_t>(cursor_));
}

void LineEditor::Delete() {
    if (cursor_ >= text_.size()) return;
    text_.erase(cursor_, 1);
    completed_.erase(completed_.begin() + static_cast<std::ptrdiff_t>(cursor_));
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
