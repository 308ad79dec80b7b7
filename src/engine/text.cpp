#include "engine/text.h"

#include <cstring>

namespace zarelin {

bool CopyBounded(char* target, size_t size, const char* source, size_t length) {
    if (size == 0) return false;
    // The library's scan and copy: a name or a line is copied at every step of a search.
    size_t n = strnlen(source, length < size - 1 ? length : size - 1);
    std::memmove(target, source, n);
    target[n] = 0;
    return n == length || source[n] == 0;
}

bool AppendBounded(char* target, size_t size, const char* source, size_t length) {
    size_t used = strnlen(target, size);
    if (used >= size) return false;
    return CopyBounded(target + used, size - used, source, length);
}

int32_t SpanUntil(const char* text, const char* set) {
    return static_cast<int32_t>(std::strcspn(text, set));
}

namespace {

// A byte read as signed, with bit 5 cleared: letters lose their case, a space becomes
// the terminator's value, bytes 0x80-0xFF come out negative.
int32_t Fold(char c) {
    return static_cast<int32_t>(static_cast<signed char>(c)) & ~0x20;
}

} // namespace

int32_t CompareNames(const char* a, const char* b) {
    for (size_t i = 0;; ++i) {
        int32_t fa = Fold(a[i]);
        int32_t fb = Fold(b[i]);
        if (fa != fb) return fa - fb;
        // Equal folded values: a terminator on either side (the other holds a space or
        // the terminator too) ends the comparison.
        if (a[i] == 0 || b[i] == 0) return 0;
    }
}

bool NameLess(const char* a, const char* b) {
    for (size_t i = 0;; ++i) {
        int32_t fa = Fold(a[i]);
        int32_t fb = Fold(b[i]);
        if (fa != fb) return fa < fb;
        bool endA = a[i] == 0, endB = b[i] == 0;
        if (endA != endB) return endA;
        if (endA) return false;
    }
}

} // namespace zarelin
