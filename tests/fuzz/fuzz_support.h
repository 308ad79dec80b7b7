// What the fuzz targets share: a check that stops the run with its reason, and the
// readable input format, a few text fields one per line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// A broken promise is a finding: say which, and abort so that libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzz {

// The input cut at each '\n'; the last line need not end with one.
inline std::vector<std::string> SplitLines(const uint8_t* data, size_t size) {
    std::vector<std::string> lines;
    const char* text = reinterpret_cast<const char*>(data);
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i == size || text[i] == '\n') {
            if (i > start || i < size) lines.emplace_back(text + start, i - start);
            start = i + 1;
        }
    }
    return lines;
}

// The fields of a line cut at `separator`.
inline std::vector<std::string> SplitFields(const std::string& line, char separator) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t end = line.find(separator, start);
        fields.push_back(line.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) return fields;
        start = end + 1;
    }
}

// A decimal number at the start of `text` (sign allowed), clamped to [low, high];
// `fallback` when there is none. `used` receives the characters it took.
inline long Number(const std::string& text, long fallback, long low, long high,
                   size_t* used = nullptr) {
    size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    size_t digitsFrom = at;
    long value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (value < 100000000) value = value * 10 + (text[at] - '0');
        ++at;
    }
    if (used) *used = at == digitsFrom ? 0 : at;
    if (at == digitsFrom) return fallback;
    if (negative) value = -value;
    return value < low ? low : value > high ? high : value;
}

// A copy of `text` in a block of exactly its size, so that ASan sees a read past its
// terminator (a std::string's spare capacity would hide one).
class ExactText {
  public:
    explicit ExactText(const std::string& text)
        : block_(static_cast<char*>(std::malloc(text.size() + 1))) {
        std::memcpy(block_, text.c_str(), text.size() + 1);
    }
    ~ExactText() { std::free(block_); }
    ExactText(const ExactText&) = delete;
    ExactText& operator=(const ExactText&) = delete;
    const char* get() const { return block_; }

  private:
    char* block_;
};

} // namespace fuzz
