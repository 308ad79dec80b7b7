// A line of OEM text with a cursor and a fixed capacity: the command line (1023
// characters, what the module's 1024-byte buffer holds) and the file-name prompt.
#pragma once

#include <cstddef>
#include <string>

namespace shell {

class LineEditor {
  public:
    explicit LineEditor(size_t capacity) : capacity_(capacity) {}

    const std::string& text() const { return text_; }
    size_t cursor() const { return cursor_; }
    size_t capacity() const { return capacity_; }

    // Inserts at the cursor; false, changing nothing, when the line is full.
    bool Insert(char c);
    // Replaces the text, cut to the capacity, and puts the cursor at its end; false
    // when it had to be cut.
    bool Set(const std::string& text);
    void SetCursor(size_t cursor) { cursor_ = cursor < text_.size() ? cursor : text_.size(); }

    void Left() { SetCursor(cursor_ > 0 ? cursor_ - 1 : 0); }
    void Right() { SetCursor(cursor_ + 1); }
    void Home() { cursor_ = 0; }
    void End() { cursor_ = text_.size(); }
    void Backspace();
    void Delete();
    void Clear() { Set(""); }

  private:
    size_t capacity_;
    std::string text_;
    size_t cursor_ = 0;
};

// The first index of a line shown in `room` columns so that `cursor` stays in view,
// moving the previous `scroll` no more than needed; room <= 0 shows only the cursor.
size_t ScrollToShow(size_t scroll, size_t cursor, size_t length, int room);

} // namespace shell
