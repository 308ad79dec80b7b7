#include "engine/text.h"

#include <cstring>

namespace zarelin {

bool CopyBounded(char* target, size_t size, const char* source, size_t length) {
    if (size == 0) return false;
    size_t n = 0;
    while (n < length && source[n] && n + 1 < size) {
        target[n] = source[n];
        ++n;
    }
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

int32_t CompareNames(const char* a, const char* b) {
    for (size_t i = 0;; ++i) {
        int32_t fa = static_cast<int32_t>(static_cast<signed char>(a[i])) & ~0x20;
        int32_t fb = static_cast<int32_t>(static_cast<signed char>(b[i])) & ~0x20;
        if (fa != fb) return fa - fb;
        // Equal folded values: a terminator on either side (the other holds a space or
        // the terminator too) ends the comparison.
        if (a[i] == 0 || b[i] == 0) return 0;
    }
}

} // namespace zarelin
